#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imaging/codecs/jpeg2000.h"
#include "imaging/codecs/jpeg2000_lib.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "tests/imaging/io/io_test_util.h"

using namespace qvio;

namespace {

struct Registered : ::testing::Environment {
  void SetUp() override { QxRegisterJpeg2000Codec(); }
};
const auto* const GEnv = ::testing::AddGlobalTestEnvironment(new Registered);

std::vector<uint8_t> Encode(TQxBitmap& B, TIOParamsVals& P, int32_t Format, bool* Aborted = nullptr) {
  TMemoryStream s;
  TestProgress pr;
  WriteJpeg2000Stream(&s, &B, P, pr.Info, Format);
  if (Aborted)
    *Aborted = pr.Aborting;
  else
    EXPECT_FALSE(pr.Aborting);
  return BytesOf(s);
}

std::unique_ptr<TQxBitmap> Decode(const std::vector<uint8_t>& Data, TIOParamsVals& P, bool& Aborted,
                                  bool ParamsOnly = false) {
  auto s = StreamOf(Data);
  auto b = std::make_unique<TQxBitmap>(3, 2, TQxPixelFormat::qx24RGB);
  TestProgress pr;
  ReadJpeg2000Stream(s.get(), b.get(), P, pr.Info, ParamsOnly);
  Aborted = pr.Aborting;
  return b;
}

// A picture made straight through the library, for layouts our writer never produces.
std::vector<uint8_t> Craft(TQxJ2kColorSpace Space, std::vector<TQxJ2kComponent> Comps,
                           TQxJ2kContainer Container = TQxJ2kContainer::JP2) {
  TQxJ2kImage img;
  img.Width = Comps[0].Width;
  img.Height = Comps[0].Height;
  img.ColorSpace = Space;
  img.Components = std::move(Comps);
  TMemoryStream s;
  EXPECT_TRUE(QxJ2kEncode(s, img, Container, "rate=1"));
  return BytesOf(s);
}

TQxJ2kComponent Plane(int32_t W, int32_t H, int32_t Precision, int32_t Type, int32_t (*Value)(int32_t, int32_t)) {
  TQxJ2kComponent c;
  c.Width = W;
  c.Height = H;
  c.Precision = Precision;
  c.Type = Type;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) c.Samples.push_back(Value(x, y));
  return c;
}

size_t ComponentCount(const std::vector<uint8_t>& Data) {
  auto s = StreamOf(Data);
  TQxJ2kImage img;
  EXPECT_TRUE(QxJ2kDecode(*s, IsJP2Stream(s.get()) ? TQxJ2kContainer::JP2 : TQxJ2kContainer::Codestream, img));
  return img.Components.size();
}

std::vector<uint8_t> GrayOf(TQxBitmap& B) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < B.Height(); ++y) {
    auto* p = reinterpret_cast<const TQxRGB*>(B.Scanline(y));
    for (int32_t x = 0; x < B.Width(); ++x) out.push_back(QxRGBToGray(p[x]));
  }
  return out;
}

std::vector<uint8_t> BitsOf(TQxBitmap& B) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) out.push_back(QxGetRowBit(B.Scanline(y), x) ? 1 : 0);
  return out;
}

std::unique_ptr<TQxBitmap> MakeBilevel(int32_t W, int32_t H) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx1g);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) QxSetRowBit(b->Scanline(y), x, ((x / 3 + y) % 3) == 0);
  return b;
}

bool MagickHasJp2() {
  return HaveTool("convert") && Shell("convert -list format | grep -q 'JP2.*rw'") == 0;
}

}  // namespace

TEST(Jp2Probe, SignaturesAreSoughtAtTheCurrentPositionOnly) {
  const std::vector<uint8_t> jp2 = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0};
  const std::vector<uint8_t> j2k = {0xFF, 0x4F, 0xFF, 0x51, 0, 0x29};
  struct Case {
    std::vector<uint8_t> Data;
    int64_t Pos;
    bool IsJp2, IsJ2k;
  };
  std::vector<uint8_t> shifted = {7, 7, 7};
  shifted.insert(shifted.end(), jp2.begin(), jp2.end());
  const Case cases[] = {
      {jp2, 0, true, false},
      {jp2, 2, false, false},                                       // signature left behind
      {shifted, 3, true, false},                                    // found where the reader stands
      {shifted, 0, false, false},
      {std::vector<uint8_t>(jp2.begin(), jp2.begin() + 11), 0, false, false},  // one byte short
      {j2k, 0, false, true},
      {{0xFF, 0x4F, 0xFF}, 0, false, false},
      {{0xFF, 0x4F, 0xFF, 0x52}, 0, false, false},                  // SOC without SIZ
      {{}, 0, false, false},
  };
  for (const Case& c : cases) {
    auto s = StreamOf(c.Data);
    s->SetPosition(c.Pos);
    EXPECT_EQ(IsJP2Stream(s.get()), c.IsJp2) << c.Data.size() << "@" << c.Pos;
    EXPECT_EQ(s->Position(), c.Pos);
    EXPECT_EQ(IsJ2KStream(s.get()), c.IsJ2k) << c.Data.size() << "@" << c.Pos;
    EXPECT_EQ(s->Position(), c.Pos);
  }
}

TEST(Jp2Tables, YCbCrOffsetsAtTheTellingEntries) {
  QxJ2kInitYCbCrTables();
  const int32_t expect[3][5] = {{0, -179, -227, 91, 44}, {128, 0, 0, 0, 0}, {255, 178, 225, -91, -44}};
  for (const auto& e : expect) {
    EXPECT_EQ(QxJ2kCrToR[e[0]], e[1]) << e[0];
    EXPECT_EQ(QxJ2kCbToB[e[0]], e[2]) << e[0];
    EXPECT_EQ(QxJ2kCrToG[e[0]], e[3]) << e[0];
    EXPECT_EQ(QxJ2kCbToG[e[0]], e[4]) << e[0];
  }
}

TEST(Jp2Write, OptionsTextFromRateAndProgression) {
  struct Case {
    double Rate;
    uint8_t Progression;
    const char* Text;
  } cases[] = {{1.0, 0, "rate=1 prg=lrcp"}, {0.5, 1, "rate=0.5 prg=rlcp"}, {0.125, 5, "rate=0.125"}};
  for (const Case& c : cases) {
    TIOParamsVals p;
    p.J2000Rate = c.Rate;
    p.J2000Progression = c.Progression;
    EXPECT_EQ(QxJ2kOptionsText(p), c.Text);
  }
}

TEST(Jp2Codec, LosslessRoundTripsThroughTheComponentByExtension) {
  const std::string d = TempDir();
  struct Case {
    const char* Ext;
    TQxFileFormatId Id;
  } cases[] = {{".jp2", qxffJP2}, {".j2k", qxffJ2K}, {".jpc", qxffJ2K}, {".j2c", qxffJ2K}};
  for (auto [w, h] : {std::pair{37, 23}, std::pair{1, 1}, std::pair{1, 9}, std::pair{130, 3}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.Ext) + " " + std::to_string(w) + "x" + std::to_string(h));
      auto src = MakeRGB(w, h);
      TQuillotIO io(src.get());
      const std::string f = d + "/rgb" + c.Ext;
      io.SaveToFile(f);
      ASSERT_FALSE(io.Aborting);
      TQxBitmap back;
      TQuillotIO rd(&back);
      rd.LoadFromFile(f);
      ASSERT_FALSE(rd.Aborting);
      EXPECT_EQ(back.PixelFormat(), TQxPixelFormat::qx24RGB);
      EXPECT_EQ(RgbOf(back), RgbOf(*src));
      EXPECT_EQ(rd.Params->FileType, c.Id);
      EXPECT_EQ(rd.Params->SamplesPerPixel, 3);
      EXPECT_EQ(rd.Params->BitsPerSample, 8);
      EXPECT_EQ(rd.Params->DpiX, QxDefaultDpiX);
    }
  }
}

TEST(Jp2Codec, StreamsWithoutANameAreRecognisedByContent) {
  auto src = MakeRGB(12, 5);
  for (auto [fmt, id] : {std::pair{QxJ2kFormatJP2, qxffJP2}, std::pair{QxJ2kFormatJPC, qxffJ2K}}) {
    TIOParamsVals p;
    auto s = StreamOf(Encode(*src, p, fmt));
    TQxBitmap back;
    TQuillotIO rd(&back);
    rd.LoadFromStream(*s);
    ASSERT_FALSE(rd.Aborting) << fmt;
    EXPECT_EQ(rd.Params->FileType, id);
    EXPECT_EQ(RgbOf(back), RgbOf(*src)) << fmt;
  }
}

TEST(Jp2Codec, GrayAndBilevelRoundTrips) {
  const std::string d = TempDir();
  for (const char* ext : {".jp2", ".j2k"}) {
    SCOPED_TRACE(ext);
    // Gray: one component of the picture's gray levels, read back with equal channels.
    auto src = MakeRGB(29, 17);
    TQuillotIO io(src.get());
    io.Params->J2000ColorSpace = 0;
    io.SaveToFile(d + "/gray" + ext);
    ASSERT_FALSE(io.Aborting);
    TQxBitmap back;
    TQuillotIO rd(&back);
    rd.LoadFromFile(d + "/gray" + ext);
    ASSERT_FALSE(rd.Aborting);
    ASSERT_EQ(back.PixelFormat(), TQxPixelFormat::qx24RGB);
    EXPECT_EQ(rd.Params->SamplesPerPixel, 1);
    std::vector<uint8_t> expect;
    for (uint8_t g : GrayOf(*src)) expect.insert(expect.end(), {g, g, g});
    EXPECT_EQ(RgbOf(back), expect);

    // Bilevel: written with one bit per sample, which the caller's parameters are told, and read as qx1g.
    auto bw = MakeBilevel(21, 5);
    TQuillotIO wio(bw.get());
    wio.Params->BitsPerSample = 8;
    wio.Params->J2000ColorSpace = 1;
    wio.SaveToFile(d + "/bw" + ext);
    ASSERT_FALSE(wio.Aborting);
    EXPECT_EQ(wio.Params->BitsPerSample, 1);
    EXPECT_EQ(wio.Params->J2000ColorSpace, 0);
    rd.LoadFromFile(d + "/bw" + ext);
    ASSERT_FALSE(rd.Aborting);
    ASSERT_EQ(back.PixelFormat(), TQxPixelFormat::qx1g);
    EXPECT_EQ(BitsOf(back), BitsOf(*bw));
  }
}

TEST(Jp2Codec, SixteenBitSamplesComeBackAsTheirHighByte) {
  auto src = MakeRGB(19, 7);
  TIOParamsVals p;
  p.BitsPerSample = 16;
  auto bytes = Encode(*src, p, QxJ2kFormatJP2);
  TIOParamsVals q;
  bool aborted = true;
  auto back = Decode(bytes, q, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(q.BitsPerSample, 16);
  EXPECT_EQ(RgbOf(*back), RgbOf(*src));
}

TEST(Jp2Codec, LossyRateShrinksTheFileWithinTolerance) {
  auto src = std::make_unique<TQxBitmap>(96, 64, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 64; ++y) {
    auto* p = reinterpret_cast<TQxRGB*>(src->Scanline(y));
    for (int32_t x = 0; x < 96; ++x) p[x] = QxMakeRGB(uint8_t(x * 2 + y), uint8_t(y * 3), uint8_t(255 - x * 2));
  }
  for (int32_t fmt : {QxJ2kFormatJP2, QxJ2kFormatJPC}) {
    for (uint8_t order : {0, 1}) {
      TIOParamsVals p;
      p.J2000Rate = 0.1;
      p.J2000Progression = order;
      auto bytes = Encode(*src, p, fmt);
      EXPECT_LE(bytes.size(), 96u * 64 * 3 / 10 + 200);
      TIOParamsVals q;
      bool aborted = true;
      auto back = Decode(bytes, q, aborted);
      ASSERT_FALSE(aborted);
      auto a = RgbOf(*src), b = RgbOf(*back);
      ASSERT_EQ(a.size(), b.size());
      double sum = 0;
      int worst = 0;
      for (size_t i = 0; i < a.size(); ++i) {
        const int e = std::abs(int(a[i]) - int(b[i]));
        sum += e;
        worst = std::max(worst, e);
      }
      EXPECT_LT(sum / a.size(), 2.0) << fmt << "/" << int(order);
      EXPECT_LT(worst, 24) << fmt << "/" << int(order);
    }
  }
}

TEST(Jp2Codec, ColourSpaceTwoWritesTheSameRgbFile) {
  auto src = MakeRGB(11, 6);
  TIOParamsVals p1, p2;
  p2.J2000ColorSpace = 2;
  EXPECT_EQ(Encode(*src, p1, QxJ2kFormatJP2), Encode(*src, p2, QxJ2kFormatJP2));
}

TEST(Jp2Codec, OnlyRealTransparencyAddsAnOpacityComponentAndItsColoursReadBack) {
  auto src = MakeRGB(13, 9);
  TQxBitmap* a = src->GetAlphaChannel();
  for (int32_t y = 0; y < 9; ++y) std::memset(a->Scanline(y), 255, 13);
  a->Opaque = true;
  TIOParamsVals p;
  EXPECT_EQ(ComponentCount(Encode(*src, p, QxJ2kFormatJP2)), 3u);

  a->Scanline(4)[6] = 10;
  a->Opaque = false;
  for (int32_t fmt : {QxJ2kFormatJP2, QxJ2kFormatJPC}) {
    auto bytes = Encode(*src, p, fmt);
    EXPECT_EQ(ComponentCount(bytes), 4u);
    TIOParamsVals q;
    bool aborted = true;
    auto back = Decode(bytes, q, aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(q.SamplesPerPixel, 3);
    EXPECT_EQ(RgbOf(*back), RgbOf(*src)) << fmt;
    // Only the JP2 container can say which component is the opacity.
    if (fmt == QxJ2kFormatJP2) {
      ASSERT_TRUE(back->HasAlphaChannel());
      EXPECT_EQ(AlphaOf(*back), AlphaOf(*src));
    }
  }
}

TEST(Jp2Read, ComponentLayoutsAndPrecisions) {
  auto ramp = [](int32_t x, int32_t y) { return x + 16 * y; };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    TQxPixelFormat Format;
    int32_t Bits, Samples;
    std::vector<uint8_t> Expect;  // RgbOf, or BitsOf for qx1g
  };
  std::vector<Case> cases;
  {
    auto bits = [](int32_t x, int32_t y) { return (x + y) & 1; };
    std::vector<uint8_t> e;
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 16; ++x) e.push_back(uint8_t((x + y) & 1));
    cases.push_back({"1-bit gray", Craft(TQxJ2kColorSpace::Gray, {Plane(16, 3, 1, 0, bits)}),
                     TQxPixelFormat::qx1g, 1, 1, e});
  }
  auto grayExpect = [](int32_t (*V)(int32_t, int32_t), int Shift) {
    std::vector<uint8_t> e;
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 16; ++x) {
        const uint8_t g = uint8_t(Shift >= 0 ? V(x, y) >> Shift : V(x, y) << -Shift);
        e.insert(e.end(), {g, g, g});
      }
    return e;
  };
  cases.push_back({"4-bit gray", Craft(TQxJ2kColorSpace::Gray, {Plane(16, 3, 4, 0, [](int32_t x, int32_t) { return x; })}),
                   TQxPixelFormat::qx24RGB, 4, 1, grayExpect([](int32_t x, int32_t) { return x; }, -4)});
  cases.push_back({"8-bit gray", Craft(TQxJ2kColorSpace::Gray, {Plane(16, 3, 8, 0, ramp)}), TQxPixelFormat::qx24RGB, 8,
                   1, grayExpect(ramp, 0)});
  auto wide = [](int32_t x, int32_t y) { return x * 4000 + y * 77; };
  cases.push_back({"16-bit gray", Craft(TQxJ2kColorSpace::Gray, {Plane(16, 3, 16, 0, wide)}), TQxPixelFormat::qx24RGB,
                   16, 1, grayExpect(wide, 8)});
  cases.push_back({"gray and opacity",
                   Craft(TQxJ2kColorSpace::Gray, {Plane(16, 3, 8, 0, ramp), Plane(16, 3, 8, QxJ2kTypeOpacity, ramp)}),
                   TQxPixelFormat::qx24RGB, 8, 1, grayExpect(ramp, 0)});
  cases.push_back({"code stream gray", Craft(TQxJ2kColorSpace::Unknown, {Plane(16, 3, 8, 0, ramp)}, TQxJ2kContainer::Codestream),
                   TQxPixelFormat::qx24RGB, 8, 1, grayExpect(ramp, 0)});
  {
    // Y, Cb, Cr planes through the tables; the far ends of the chroma clamp.
    auto Y = [](int32_t x, int32_t) { return 40 + x * 10; };
    auto Cb = [](int32_t x, int32_t y) { return y == 0 ? 128 : (y == 1 ? 0 : 255); };
    auto Cr = [](int32_t x, int32_t y) { return y == 0 ? 128 : (y == 1 ? 255 : 10); };
    QxJ2kInitYCbCrTables();
    std::vector<uint8_t> e;
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 16; ++x) {
        const int32_t l = Y(x, y), cb = Cb(x, y), cr = Cr(x, y);
        e.push_back(QxClampByte(l + QxJ2kCrToR[cr]));
        e.push_back(QxClampByte(l + QxJ2kCbToG[cb] + QxJ2kCrToG[cr]));
        e.push_back(QxClampByte(l + QxJ2kCbToB[cb]));
      }
    EXPECT_EQ(e[0], 40);  // neutral chroma keeps the luma
    cases.push_back({"YCbCr", Craft(TQxJ2kColorSpace::YCbCr, {Plane(16, 3, 8, 0, Y), Plane(16, 3, 8, 1, Cb), Plane(16, 3, 8, 2, Cr)}),
                     TQxPixelFormat::qx24RGB, 8, 3, e});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals q;
    bool aborted = true;
    auto back = Decode(c.Data, q, aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(back->PixelFormat(), c.Format);
    EXPECT_EQ(back->Width(), 16);
    EXPECT_EQ(back->Height(), 3);
    EXPECT_EQ(q.BitsPerSample, c.Bits);
    EXPECT_EQ(q.SamplesPerPixel, c.Samples);
    EXPECT_EQ(c.Format == TQxPixelFormat::qx1g ? BitsOf(*back) : RgbOf(*back), c.Expect);
  }
}

TEST(Jp2Read, ParamsOnlyFillsTheParametersAndLeavesTheBitmap) {
  auto src = MakeRGB(40, 30);
  TIOParamsVals p;
  auto bytes = Encode(*src, p, QxJ2kFormatJP2);
  TIOParamsVals q;
  q.SetDpiX(72);
  q.SetColorMap(nullptr, 4);
  bool aborted = true;
  auto back = Decode(bytes, q, aborted, true);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(back->Width(), 3);
  EXPECT_EQ(back->Height(), 2);
  EXPECT_EQ(q.Width, 40);
  EXPECT_EQ(q.Height, 30);
  EXPECT_EQ(q.OriginalWidth, 40);
  EXPECT_EQ(q.OriginalHeight, 30);
  EXPECT_EQ(q.BitsPerSample, 8);
  EXPECT_EQ(q.SamplesPerPixel, 3);
  EXPECT_EQ(q.DpiX, QxDefaultDpiX);
  EXPECT_EQ(q.DpiY, QxDefaultDpiY);
  EXPECT_EQ(q.ColorMapCount, 0);
  EXPECT_EQ(q.ImageCount, 1);
}

namespace {
// A stream that cannot say how long it is, like a decompressing one.
class TSizelessStream : public TStream {
 public:
  explicit TSizelessStream(const std::vector<uint8_t>& Data) : FInner(StreamOf(Data)) {}
  int64_t Read(void* Buffer, int64_t Count) override { return FInner->Read(Buffer, Count); }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return FInner->Seek(Offset, Origin); }
  bool SizeKnown() override { return false; }

 private:
  std::unique_ptr<TMemoryStream> FInner;
};
}  // namespace

TEST(Jp2Read, DecodesWhereTheStreamStandsAndFromSizelessStreams) {
  auto src = MakeRGB(24, 10);
  for (int32_t fmt : {QxJ2kFormatJP2, QxJ2kFormatJPC}) {
    TIOParamsVals p;
    auto bytes = Encode(*src, p, fmt);
    std::vector<uint8_t> framed = {1, 2, 3, 4, 5};
    framed.insert(framed.end(), bytes.begin(), bytes.end());
    framed.insert(framed.end(), {9, 9, 9});  // whatever follows the picture
    auto s = StreamOf(framed);
    s->SetPosition(5);
    TQxBitmap b;
    TIOParamsVals q;
    TestProgress pr;
    ReadJpeg2000Stream(s.get(), &b, q, pr.Info, false);
    ASSERT_FALSE(pr.Aborting) << fmt;
    EXPECT_EQ(RgbOf(b), RgbOf(*src)) << fmt;

    TSizelessStream z(bytes);
    TQxBitmap c;
    TestProgress pz;
    ReadJpeg2000Stream(&z, &c, q, pz.Info, false);
    ASSERT_FALSE(pz.Aborting) << fmt;
    EXPECT_EQ(RgbOf(c), RgbOf(*src)) << fmt;
  }
}

TEST(Jp2Read, ProgressRunsPerRowAndAnAbortStopsTheRows) {
  auto src = MakeRGB(8, 50);
  TIOParamsVals p;
  auto bytes = Encode(*src, p, QxJ2kFormatJP2);
  auto s = StreamOf(bytes);
  TQxBitmap b;
  TestProgress pr;
  std::vector<int32_t> seen;
  pr.Info.OnProgress = [&](TObject*, int32_t per) {
    seen.push_back(per);
    if (seen.size() == 10) pr.Aborting = true;
  };
  ReadJpeg2000Stream(s.get(), &b, p, pr.Info, false);
  EXPECT_TRUE(pr.Aborting);
  ASSERT_EQ(seen.size(), 10u);
  EXPECT_EQ(seen.front(), 0);
  EXPECT_EQ(seen.back(), 18);  // row 9 of 50
}

TEST(Jp2Read, BadInputSetsTheAbortFlagAndLeavesTheBitmap) {
  auto src = MakeRGB(33, 21);
  TIOParamsVals p;
  const auto jp2 = Encode(*src, p, QxJ2kFormatJP2);
  const auto j2k = Encode(*src, p, QxJ2kFormatJPC);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!'}},
      {"signature only", std::vector<uint8_t>(jp2.begin(), jp2.begin() + 12)},
      {"SOC and SIZ only", std::vector<uint8_t>(j2k.begin(), j2k.begin() + 4)},
  };
  for (const auto* full : {&jp2, &j2k})
    for (size_t cut : {full->size() / 8, full->size() / 2, full->size() - 40, full->size() - 2})
      cases.push_back({(full == &jp2 ? "jp2 cut at " : "j2k cut at ") + std::to_string(cut),
                       std::vector<uint8_t>(full->begin(), full->begin() + cut)});
  {
    // A header that promises 50000 x 50000 pixels (and one tile of that size) from a file of a few hundred
    // bytes: refused before anything of that size is allocated.
    std::vector<uint8_t> huge = j2k;
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) huge[at + i] = uint8_t(v >> (24 - 8 * i));
    };
    // SIZ: marker(2) length(2) Rsiz(2) Xsiz Ysiz XOsiz YOsiz XTsiz YTsiz ...
    put32(8, 50000);
    put32(12, 50000);
    put32(24, 50000);
    put32(28, 50000);
    cases.push_back({"huge", huge});
  }
  for (const auto& [name, data] : cases) {
    TIOParamsVals q;
    bool aborted = false;
    auto back = Decode(data, q, aborted);
    EXPECT_TRUE(aborted) << name;
    EXPECT_EQ(back->Width(), 3) << name;
    EXPECT_EQ(back->Height(), 2) << name;
  }
}

TEST(Jp2Read, DamagedBytesNeverReadOutOfBounds) {
  // Each byte of a small file flipped in turn: the reader either refuses or gives a picture of the
  // promised size. The sanitizer builds watch the memory.
  auto src = MakeRGB(9, 7);
  TIOParamsVals p;
  for (int32_t fmt : {QxJ2kFormatJP2, QxJ2kFormatJPC}) {
    const auto good = Encode(*src, p, fmt);
    for (size_t i = 0; i < good.size(); ++i) {
      auto bad = good;
      bad[i] ^= 0xA5;
      TIOParamsVals q;
      bool aborted = false;
      auto back = Decode(bad, q, aborted);
      if (!aborted) {
        EXPECT_EQ(back->Width(), q.Width) << i;
        EXPECT_EQ(back->Height(), q.Height) << i;
      }
    }
  }
}

namespace {
class TFullDiskStream : public TMemoryStream {
 public:
  int64_t Write(const void*, int64_t) override { return 0; }
};
}  // namespace

TEST(Jp2Write, WhatCannotBeWrittenIsReportedAndLeavesNothing) {
  auto rgb = MakeRGB(6, 4);
  TQxBitmap empty;
  TQxBitmap gray8(6, 4, TQxPixelFormat::qx8g);
  struct Case {
    const char* Name;
    TQxBitmap* Bitmap;
    uint8_t ColorSpace;
    int32_t Format;
  } cases[] = {
      {"unknown colour model", rgb.get(), 7, QxJ2kFormatJP2},
      {"unknown format code", rgb.get(), 1, 2},
      {"empty bitmap", &empty, 1, QxJ2kFormatJP2},
      {"pixel format left unconverted", &gray8, 1, QxJ2kFormatJPC},
  };
  for (const Case& c : cases) {
    TIOParamsVals p;
    p.J2000ColorSpace = c.ColorSpace;
    bool aborted = false;
    auto bytes = Encode(*c.Bitmap, p, c.Format, &aborted);
    EXPECT_TRUE(aborted) << c.Name;
    EXPECT_TRUE(bytes.empty()) << c.Name;
  }
  TFullDiskStream full;
  TIOParamsVals p;
  TestProgress pr;
  WriteJpeg2000Stream(&full, rgb.get(), p, pr.Info, QxJ2kFormatJP2);
  EXPECT_TRUE(pr.Aborting);
}

TEST(Jp2Outside, ImageMagickReadsOurFiles) {
  if (!MagickHasJp2()) GTEST_SKIP() << "ImageMagick with JPEG 2000 is not installed";
  const std::string d = TempDir();
  auto src = MakeRGB(31, 17);
  for (int32_t fmt : {QxJ2kFormatJP2, QxJ2kFormatJPC}) {
    TIOParamsVals p;
    const std::string f = d + (fmt == QxJ2kFormatJP2 ? "/ours.jp2" : "/ours.j2k");
    WriteFile(f, Encode(*src, p, fmt));
    EXPECT_EQ(MagickPixels(f, "RGB"), RgbOf(*src)) << f;
  }
  // Gray, read as gray levels.
  TIOParamsVals g;
  g.J2000ColorSpace = 0;
  WriteFile(d + "/gray.jp2", Encode(*src, g, QxJ2kFormatJP2));
  std::vector<uint8_t> expect;
  for (uint8_t v : GrayOf(*src)) expect.insert(expect.end(), {v, v, v});
  EXPECT_EQ(MagickPixels(d + "/gray.jp2", "RGB"), expect);
}

TEST(Jp2Outside, WeReadImageMagickFiles) {
  if (!MagickHasJp2()) GTEST_SKIP() << "ImageMagick with JPEG 2000 is not installed";
  const std::string d = TempDir();
  auto src = MakeRGB(27, 14);
  auto rgb = RgbOf(*src);
  std::string ppm = "P6\n27 14\n255\n";
  ppm.append(rgb.begin(), rgb.end());
  WriteText(d + "/src.ppm", ppm);
  std::string pgm = "P5\n27 14\n255\n";
  for (uint8_t v : GrayOf(*src)) pgm.push_back(char(v));
  WriteText(d + "/src.pgm", pgm);
  for (const char* ext : {"jp2", "j2k"}) {
    SCOPED_TRACE(ext);
    const std::string f = d + "/magick." + ext, fg = d + "/magick_gray." + ext;
    ASSERT_EQ(Shell("convert '" + d + "/src.ppm' -quality 0 '" + f + "'"), 0);
    ASSERT_EQ(Shell("convert '" + d + "/src.pgm' -quality 0 '" + fg + "'"), 0);
    TQxBitmap back;
    TQuillotIO rd(&back);
    rd.LoadFromFile(f);
    ASSERT_FALSE(rd.Aborting);
    EXPECT_EQ(RgbOf(back), MagickPixels(f, "RGB"));
    EXPECT_EQ(RgbOf(back), rgb);
    rd.LoadFromFile(fg);
    ASSERT_FALSE(rd.Aborting);
    EXPECT_EQ(RgbOf(back), MagickPixels(fg, "RGB"));
  }
}

// opj_compress writes an RGBA picture as four components with a channel definition box marking the fourth as
// opacity: it becomes the alpha channel.
TEST(Jp2Outside, OpacityComponentOfOpjCompressIsTheAlphaChannel) {
  if (!HaveTool("opj_compress") || !HaveTool("convert")) GTEST_SKIP() << "OpenJPEG tools or ImageMagick missing";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 48x40 gradient:'#ff0000ff'-'#0030c020' -swirl 50 -depth 8 "
                  "rgba.png && opj_compress -i rgba.png -o rgba.jp2 && opj_decompress -i rgba.jp2 -o back.png"),
            0);
  const std::vector<uint8_t> file = ReadFile(d + "/rgba.jp2");
  ASSERT_NE(std::search(file.begin(), file.end(), std::begin("cdef"), std::begin("cdef") + 4), file.end());
  // OpenJPEG's own decoder is the reference.
  const std::vector<uint8_t> expect = MagickPixels(d + "/back.png", "RGBA");
  TQxBitmap back;
  TQuillotIO rd(&back);
  rd.LoadFromFile(d + "/rgba.jp2");
  ASSERT_FALSE(rd.Aborting);
  ASSERT_TRUE(back.HasAlphaChannel());
  EXPECT_EQ(RgbaMismatches(back, expect), 0);
}

// A bare code stream has no channel definition: the component after the colour ones is still the opacity,
// as OpenJPEG's own decoder takes it.
TEST(Jp2Outside, CodeStreamsOfColourAndOpacityKeepTheirAlpha) {
  if (!HaveTool("opj_compress") || !HaveTool("convert")) GTEST_SKIP() << "OpenJPEG tools or ImageMagick missing";
  const ScopedTempDir d;
  ASSERT_EQ(Shell("cd '" + d.Path + "' && convert -size 48x40 gradient:'#ff0000ff'-'#0030c020' -swirl 50 -depth 8 "
                  "rgba.png && convert rgba.png -colorspace gray -type GrayscaleAlpha graya.png"),
            0);
  for (const char* name : {"rgba", "graya"}) {
    SCOPED_TRACE(name);
    const std::string n = name;
    ASSERT_EQ(Shell("cd '" + d.Path + "' && opj_compress -i " + n + ".png -o " + n + ".j2k && opj_decompress -i " +
                    n + ".j2k -o " + n + "_back.png"),
              0);
    const std::vector<uint8_t> expect = MagickPixels(d / (n + "_back.png"), "RGBA");
    ASSERT_EQ(expect.size(), 48u * 40 * 4);
    TQxBitmap back;
    TQuillotIO rd(&back);
    rd.LoadFromFile(d / (n + ".j2k"));
    ASSERT_FALSE(rd.Aborting);
    ASSERT_TRUE(back.HasAlphaChannel());
    EXPECT_EQ(RgbaMismatches(back, expect), 0);
  }
}
