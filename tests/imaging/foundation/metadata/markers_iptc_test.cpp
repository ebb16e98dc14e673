#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/foundation/metadata.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> IccChunk(uint8_t seq, uint8_t count) {
  std::vector<uint8_t> d(Bytes(std::string("ICC_PROFILE", 12)));
  d.push_back(seq);
  d.push_back(count);
  d.push_back(uint8_t('a' + seq));
  return d;
}

void Add(TQxMarkerList& m, uint8_t code, const std::vector<uint8_t>& d) {
  ASSERT_TRUE(m.AddMarker(code, d.data(), d.size()));
}

}  // namespace

TEST(MarkerList, AddRefusesBodiesLongerThanASegmentHolds) {
  TQxMarkerList m;
  std::vector<uint8_t> big(65534, 1);
  EXPECT_FALSE(m.AddMarker(0xE1, big.data(), big.size()));
  EXPECT_EQ(m.Count(), 0);
  EXPECT_TRUE(m.AddMarker(0xE1, big.data(), 65533));
  EXPECT_EQ(m.MarkerLength(0), 65533);
  EXPECT_FALSE(m.SetMarker(0, 0xE2, big.data(), big.size()));
  EXPECT_EQ(m.MarkerType(0), 0xE1);
  EXPECT_EQ(m.MarkerLength(0), 65533);
}

TEST(MarkerList, SortOrdersCodesIccChunksAndPutsExifFirstAmongApp1) {
  TQxMarkerList m;
  const auto xmp = Bytes(std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34));
  const auto exif = Bytes(std::string("Exif\0\0MM", 8));
  Add(m, 0xFE, Bytes("first comment"));
  Add(m, 0xE1, xmp);
  Add(m, 0xE2, IccChunk(3, 3));
  Add(m, 0xE2, IccChunk(1, 3));
  Add(m, 0xED, Bytes("Photoshop 3.0"));
  Add(m, 0xE1, exif);
  Add(m, 0xE2, IccChunk(2, 3));
  Add(m, 0xFE, Bytes("second comment"));
  m.Sort();
  ASSERT_EQ(m.Count(), 8);
  const uint8_t codes[] = {0xE1, 0xE1, 0xE2, 0xE2, 0xE2, 0xED, 0xFE, 0xFE};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m.MarkerType(i), codes[i]) << i;
  EXPECT_EQ(std::memcmp(m.MarkerData(0), "Exif", 4), 0);
  EXPECT_EQ(std::memcmp(m.MarkerData(1), "http", 4), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.MarkerData(2 + i)[12], i + 1);
  // Markers with equal codes keep the order the file had.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.MarkerData(6)), m.MarkerLength(6)), "first comment");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.MarkerData(7)), m.MarkerLength(7)), "second comment");
}

TEST(MarkerList, AssignCopiesAndDeleteKeepsListsInStep) {
  TQxMarkerList a, b;
  Add(a, 0xE0, Bytes("x"));
  Add(a, 0xE5, Bytes("yy"));
  b.AssignFrom(&a);
  b.AssignFrom(nullptr);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b.IndexOf(0xE5), 1);
  EXPECT_EQ(b.IndexOf(0xE7), -1);
  b.Delete(0);
  EXPECT_EQ(b.Count(), 1);
  EXPECT_EQ(b.MarkerType(0), 0xE5);
  EXPECT_EQ(b.MarkerLength(0), 2);
  EXPECT_EQ(a.Count(), 2);
}

TEST(IptcList, BlockSizesWithAndWithoutPhotoshopHeader) {
  TQxIPTCInfoList l;
  EXPECT_FALSE(l.Modified());
  l.AddRecord(2, 120, 5, "hello");
  EXPECT_TRUE(l.Modified());
  std::vector<uint8_t> b;
  l.SaveToBuffer(b, true);
  ASSERT_EQ(b.size(), 36u);
  EXPECT_EQ(std::memcmp(b.data(), "Photoshop 3.0\0008BIM\004\004", 20), 0);
  EXPECT_EQ(b[22] << 24 | b[23] << 16 | b[24] << 8 | b[25], 10);
  l.SaveToBuffer(b, false);
  ASSERT_EQ(b.size(), 18u);
  const uint8_t version[7] = {0x1C, 2, 0, 0, 2, 0, 2};
  EXPECT_EQ(std::memcmp(b.data(), version, 7), 0);
  EXPECT_EQ(b[17], 0);
}

TEST(IptcList, RoundTripSkipsVersionAndEmptyDatasetsAndKeepsLongOnes) {
  TQxIPTCInfoList l;
  std::vector<uint8_t> big(40000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
  l.AddRecord(2, 0, 2, "\0\2");
  l.AddRecord(2, 25, 0, nullptr);
  l.AddRecord(2, 5, 3, "abc");
  l.AddRecord(2, 202, int32_t(big.size()), big.data());
  for (bool header : {true, false}) {
    std::vector<uint8_t> b;
    l.SaveToBuffer(b, header);
    TQxIPTCInfoList r;
    ASSERT_TRUE(r.LoadFromBuffer(b.data(), int32_t(b.size())));
    EXPECT_FALSE(r.Modified());
    // The header-less block opens with the version dataset, which is read back like any other.
    const int first = header ? 0 : 1;
    ASSERT_EQ(r.Count(), first + 2);
    EXPECT_EQ(r.DatasetNumber(first), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.Data(first)), 3), "abc");
    EXPECT_EQ(r.DatasetNumber(first + 1), 202);
    ASSERT_EQ(r.DataLength(first + 1), 40000);
    EXPECT_EQ(std::memcmp(r.Data(first + 1), big.data(), big.size()), 0);
  }
}

TEST(IptcList, DamagedBlocksReadOnlyWhatIsInside) {
  TQxIPTCInfoList l;
  const std::string noResource = "Photoshop 3.0\0\x1C\x02\x05\x00\x01x";
  EXPECT_FALSE(l.LoadFromBuffer(noResource.data(), int32_t(noResource.size())));
  EXPECT_EQ(l.Count(), 0);

  // A dataset that runs past the end stops the reading; the one before it stays.
  const uint8_t cut[] = {0x1C, 2, 5, 0, 1, 'x', 0x1C, 2, 6, 0, 9, 'y'};
  EXPECT_TRUE(l.LoadFromBuffer(cut, sizeof(cut)));
  EXPECT_EQ(l.Count(), 1);

  // An extended length whose four bytes lie beyond the block is not read.
  const uint8_t ext[] = {0x1C, 2, 5, 0x80, 0x04, 0, 0};
  EXPECT_FALSE(l.LoadFromBuffer(ext, sizeof(ext)));
  const uint8_t huge[] = {0x1C, 2, 5, 0x80, 0x04, 0x80, 0, 0, 0, 'z'};
  EXPECT_FALSE(l.LoadFromBuffer(huge, sizeof(huge)));
  EXPECT_FALSE(l.LoadFromBuffer(nullptr, 0));
}
