#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstring>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/icc.h"
#include "platform/base/streams.h"

namespace {

// An sRGB profile saved as version 2, whose description and rights tags are plain ASCII text.
std::vector<uint8_t> SrgbV2Profile() {
  cmsHPROFILE h = cmsCreate_sRGBProfile();
  cmsSetProfileVersion(h, 2.1);
  cmsMLU* desc = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(desc, "en", "US", "Test sRGB");
  cmsWriteTag(h, cmsSigProfileDescriptionTag, desc);
  cmsMLU* cprt = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(cprt, "en", "US", "No rights reserved");
  cmsWriteTag(h, cmsSigCopyrightTag, cprt);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(h, nullptr, &n);
  std::vector<uint8_t> out(n);
  cmsSaveProfileToMem(h, out.data(), &n);
  cmsMLUfree(desc);
  cmsMLUfree(cprt);
  cmsCloseProfile(h);
  return out;
}

std::vector<uint8_t> GrayProfile() {
  cmsToneCurve* g = cmsBuildGamma(nullptr, 2.2);
  cmsHPROFILE h = cmsCreateGrayProfile(cmsD50_xyY(), g);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(h, nullptr, &n);
  std::vector<uint8_t> out(n);
  cmsSaveProfileToMem(h, out.data(), &n);
  cmsFreeToneCurve(g);
  cmsCloseProfile(h);
  return out;
}

}  // namespace

TEST(IccProfile, ReadsTextsAndKeepsRawBytes) {
  auto raw = SrgbV2Profile();
  TQxICC icc;
  icc.LoadFromBuffer(raw.data(), int32_t(raw.size()));
  EXPECT_TRUE(icc.IsValid());
  EXPECT_EQ(icc.DescText(), "Test sRGB");
  EXPECT_EQ(icc.CprtText(), "No rights reserved");
  TMemoryStream s;
  icc.SaveToStream(s, false);
  ASSERT_EQ(s.Size(), int64_t(raw.size()) + 4);
  const auto* p = static_cast<const uint8_t*>(s.Memory());
  EXPECT_EQ(uint32_t(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24), raw.size());
  EXPECT_EQ(std::memcmp(p + 4, raw.data(), raw.size()), 0);

  TQxICC copy;
  copy.AssignFrom(&icc);
  EXPECT_TRUE(copy.IsValid());
  EXPECT_EQ(copy.RawLength(), icc.RawLength());
  EXPECT_EQ(copy.DescText(), "Test sRGB");
}

TEST(IccProfile, BrokenTagTablesGiveNoTexts) {
  auto raw = SrgbV2Profile();
  struct Case {
    const char* what;
    size_t keep;          // bytes kept
    uint32_t count;       // tag count written at 128, 0 = unchanged
    uint32_t tagOffset;   // offset of the first tag, 0 = unchanged
  } cases[] = {
      {"128 bytes", 128, 0, 0},
      {"count over 1000", raw.size(), 1001, 0},
      {"count past the end", 200, 50, 0},
      {"offset past the end", raw.size(), 0, 0x7FFFFFF0},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> d(raw.begin(), raw.begin() + c.keep);
    if (c.count) { d[128] = uint8_t(c.count >> 24); d[129] = uint8_t(c.count >> 16); d[130] = uint8_t(c.count >> 8); d[131] = uint8_t(c.count); }
    if (c.tagOffset)
      for (size_t e = 132; e + 12 <= d.size() && e < 132 + 12 * 20; e += 12) {
        d[e + 4] = uint8_t(c.tagOffset >> 24); d[e + 5] = uint8_t(c.tagOffset >> 16);
        d[e + 6] = uint8_t(c.tagOffset >> 8); d[e + 7] = uint8_t(c.tagOffset);
      }
    TQxICC icc;
    icc.LoadFromBuffer(d.data(), int32_t(d.size()));
    EXPECT_EQ(icc.RawLength(), int32_t(d.size())) << c.what;
    EXPECT_TRUE(icc.DescText().empty()) << c.what;
    EXPECT_TRUE(icc.CprtText().empty()) << c.what;
  }
}

TEST(IccProfile, TransformLeavesInputAndWritesEveryOutputLayout) {
  auto raw = SrgbV2Profile();
  TQxICC src, dst;
  src.LoadFromBuffer(raw.data(), int32_t(raw.size()));
  dst.LoadSRGB();
  const uint8_t in[6] = {10, 20, 200, 255, 255, 255};  // blue, green, red; then white
  const uint8_t before[6] = {10, 20, 200, 255, 255, 255};
  uint8_t bgr[6] = {};
  ASSERT_TRUE(src.Transform(&dst, TQxColorLayout::qxclBGR, TQxColorLayout::qxclBGR, 0, 0, in, bgr, 2));
  EXPECT_EQ(std::memcmp(in, before, 6), 0);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(bgr[i], in[i], 2) << i;
  EXPECT_TRUE(src.IsTransformReady());

  // White in other layouts: every output is written.
  uint8_t rgb48[12];
  std::memset(rgb48, 0, sizeof(rgb48));
  ASSERT_TRUE(src.Transform(&dst, TQxColorLayout::qxclBGR, TQxColorLayout::qxclRGB48, 0, 0, in, rgb48, 2));
  EXPECT_GE(rgb48[6] | rgb48[7] << 8, 65000);
  uint8_t lab[6];
  std::memset(lab, 0x55, sizeof(lab));
  TQxICC labDest;
  cmsHPROFILE labProfile = cmsCreateLab4Profile(nullptr);
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(labProfile, nullptr, &n);
  std::vector<uint8_t> labRaw(n);
  cmsSaveProfileToMem(labProfile, labRaw.data(), &n);
  cmsCloseProfile(labProfile);
  labDest.LoadFromBuffer(labRaw.data(), int32_t(labRaw.size()));
  ASSERT_TRUE(src.Transform(&labDest, TQxColorLayout::qxclBGR, TQxColorLayout::qxclLab, 0, 0, in, lab, 2));
  EXPECT_GE(lab[3], 253);  // L* of white is 100
  EXPECT_NEAR(int8_t(lab[4]), 0, 1);

  auto grayRaw = GrayProfile();
  TQxICC gray;
  gray.LoadFromBuffer(grayRaw.data(), int32_t(grayRaw.size()));
  uint8_t g[2] = {1, 1};
  ASSERT_TRUE(src.Transform(&gray, TQxColorLayout::qxclBGR, TQxColorLayout::qxclGray, 0, 0, in, g, 2));
  EXPECT_GE(g[1], 254);
}

TEST(IccProfile, ConvertBitmapRefusesPalettesAndMarksTheProfileApplied) {
  auto raw = SrgbV2Profile();
  TQxICC src, dst;
  src.LoadFromBuffer(raw.data(), int32_t(raw.size()));
  dst.LoadSRGB();
  TQxBitmap pal(4, 2, TQxPixelFormat::qx8p);
  pal.Scanline(0)[0] = 7;
  EXPECT_FALSE(src.ConvertBitmap(&pal, TQxPixelFormat::qx24RGB, &dst));
  EXPECT_EQ(pal.PixelFormat(), TQxPixelFormat::qx8p);
  EXPECT_EQ(pal.Scanline(0)[0], 7);
  EXPECT_FALSE(src.Applied());

  TQxBitmap b(3, 2, TQxPixelFormat::qx24RGB);
  for (int y = 0; y < 2; ++y) std::memset(b.Scanline(y), 128, 9);
  ASSERT_TRUE(src.ConvertBitmap(&b, TQxPixelFormat::qx24RGB, &dst));
  EXPECT_TRUE(src.Applied());
  EXPECT_FALSE(src.IsTransformReady());
  EXPECT_NEAR(b.Scanline(1)[4], 128, 2);
  src.Clear();
  EXPECT_FALSE(src.Applied());
  EXPECT_FALSE(src.IsValid());
}
