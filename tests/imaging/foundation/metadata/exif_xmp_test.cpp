#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/foundation/metadata.h"

namespace {

// A one-IFD TIFF structure with orientation, resolutions and unit.
std::vector<uint8_t> Tiff(bool big, int orientation, uint32_t xres, uint32_t unit) {
  std::vector<uint8_t> t;
  auto u16 = [&](uint32_t v) {
    if (big) { t.push_back(uint8_t(v >> 8)); t.push_back(uint8_t(v)); }
    else { t.push_back(uint8_t(v)); t.push_back(uint8_t(v >> 8)); }
  };
  auto u32 = [&](uint32_t v) {
    if (big) { u16(v >> 16); u16(v & 0xFFFF); }
    else { u16(v & 0xFFFF); u16(v >> 16); }
  };
  t.push_back(big ? 'M' : 'I');
  t.push_back(big ? 'M' : 'I');
  u16(42);
  u32(8);
  u16(4);
  const uint32_t rational = 8 + 2 + 4 * 12 + 4;
  u16(0x0112); u16(3); u32(1); u16(uint32_t(orientation)); u16(0);
  u16(0x011A); u16(5); u32(1); u32(rational);
  u16(0x011B); u16(5); u32(1); u32(rational);
  u16(0x0128); u16(3); u32(1); u16(unit); u16(0);
  u32(0);
  u32(xres); u32(1);
  return t;
}

}  // namespace

TEST(ExifBlock, HeaderAndBasicTagsInBothByteOrders) {
  EXPECT_TRUE(QxIsEXIFHeader("Exif\0\0", 6));
  EXPECT_FALSE(QxIsEXIFHeader("Exif", 4));
  EXPECT_FALSE(QxIsEXIFHeader("Exig\0\0", 6));
  for (bool big : {false, true}) {
    auto t = Tiff(big, 6, 300, 2);
    TQxExifBasicTags tags;
    ASSERT_TRUE(QxReadExifBasicTags(t.data(), t.size(), tags));
    EXPECT_EQ(tags.Orientation, 6);
    EXPECT_DOUBLE_EQ(tags.XResolution, 300);
    EXPECT_DOUBLE_EQ(tags.YResolution, 300);
    EXPECT_EQ(tags.ResolutionUnit, 2);
    ASSERT_TRUE(QxSetExifOrientationTag(t.data(), t.size(), 1));
    ASSERT_TRUE(QxReadExifBasicTags(t.data(), t.size(), tags));
    EXPECT_EQ(tags.Orientation, 1);
  }
}

TEST(ExifBlock, OffsetsOutsideTheBlockAreNotFollowed) {
  auto t = Tiff(false, 3, 72, 2);
  TQxExifBasicTags tags;
  // Every cut of the structure parses without reading past its end.
  for (size_t n = 0; n < t.size(); ++n) {
    std::vector<uint8_t> cut(t.begin(), t.begin() + n);
    QxReadExifBasicTags(cut.data(), cut.size(), tags);
    QxSetExifOrientationTag(cut.data(), cut.size(), 1);
  }
  t[4] = 0xF0;  // first IFD far beyond the end
  EXPECT_FALSE(QxReadExifBasicTags(t.data(), t.size(), tags));
  EXPECT_FALSE(QxReadExifBasicTags(reinterpret_cast<const uint8_t*>("II*\0"), 4, tags));
}

TEST(XmpBlock, PacketFollowsTheIdentifier) {
  const std::string id("http://ns.adobe.com/xap/1.0/\0", 29);
  EXPECT_EQ(QxFindXMP(id.data(), int32_t(id.size())), nullptr);
  const std::string block = id + "<x:xmpmeta/>";
  const uint8_t* p = QxFindXMP(block.data(), int32_t(block.size()));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<const char*>(p) - block.data(), 29);
  const std::string other = std::string("http://ns.adobe.com/xmp/extension/\0", 35) + "rest";
  EXPECT_EQ(QxFindXMP(other.data(), int32_t(other.size())), nullptr);
  // No zero byte: no packet, and nothing read past the block.
  const std::string noZero = "http://ns.adobe.com/xap/1.0/ and no terminator";
  EXPECT_EQ(QxFindXMP(noZero.data(), int32_t(noZero.size())), nullptr);
}

#include "platform/base/streams.h"

TEST(ExifBlock, TiffHeaderSearchFromTheStreamPosition) {
  std::vector<uint8_t> data(50, 'x');
  const auto t = Tiff(true, 1, 72, 2);
  data.insert(data.end(), t.begin(), t.end());
  TMemoryStream s;
  s.Write(data.data(), int64_t(data.size()));
  s.SetPosition(10);
  EXPECT_EQ(QxFindTIFFHeader(s), 40);
  EXPECT_EQ(s.Position(), 10);
  // A header whose first directory lies beyond the stream does not count.
  data[50 + 4] = 0x7F;
  TMemoryStream bad;
  bad.Write(data.data(), int64_t(data.size()));
  bad.SetPosition(0);
  EXPECT_EQ(QxFindTIFFHeader(bad), -1);
}
