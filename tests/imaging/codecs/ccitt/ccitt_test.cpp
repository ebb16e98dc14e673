#include <gtest/gtest.h>

#include "imaging/codecs/ccitt.h"
#include "imaging/foundation/services.h"
#include "tests/imaging/codecs/ccitt/ccitt_test_util.h"

using namespace ccitt_test;

namespace {

std::vector<uint8_t> ReverseEach(std::vector<uint8_t> v) {
  for (auto& b : v) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
      if (b & (1 << i)) r |= uint8_t(0x80 >> i);
    b = r;
  }
  return v;
}

const char* const EOL = "000000000001";

// ---- round trips ------------------------------------------------------------------------------------------

struct TRoundTrip {
  TScheme Scheme;
  int FillOrder;
};

class CCITTRoundTrip : public ::testing::TestWithParam<TRoundTrip> {};

TEST_P(CCITTRoundTrip, DecodedRowsAreTheComplementOfTheEncodedRows) {
  const auto p = GetParam();
  for (int width : {1, 7, 8, 9, 33, 64, 1728, 3001, 6000}) {
    const int height = width > 2000 ? 12 : 40;
    const TImage img = MakeImage(width, height, uint32_t(width * 7 + int(p.Scheme)));
    std::atomic<bool> aborting{false};
    const auto data = Encode(img, width, p.Scheme, p.FillOrder, aborting);
    ASSERT_FALSE(aborting);
    const TImage back = Decode(data, width, height, p.Scheme, p.FillOrder);
    for (int y = 0; y < height; ++y)
      ASSERT_EQ(back[y], Masked(Complement(img[y]), width)) << "width " << width << " row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(AllSchemes, CCITTRoundTrip,
                         ::testing::Values(TRoundTrip{TScheme::MH, 1}, TRoundTrip{TScheme::MH, 2},
                                           TRoundTrip{TScheme::G3_1D, 1}, TRoundTrip{TScheme::G3_1D, 2},
                                           TRoundTrip{TScheme::G3_2D, 1}, TRoundTrip{TScheme::G3_2D, 2},
                                           TRoundTrip{TScheme::G4, 1}, TRoundTrip{TScheme::G4, 2}));

// Every run length of both colours, the repeated 2560 make-up codes included.
TEST(CCITTRuns, EveryRunLengthCodesAndDecodesBack) {
  std::vector<int> lengths;
  for (int r = 0; r <= 2700; ++r) lengths.push_back(r);
  for (int r : {5119, 5120, 5121, 7681, 10000}) lengths.push_back(r);
  for (int r : lengths) {
    for (bool blackFirst : {false, true}) {
      if (blackFirst && r == 0) continue;
      const int width = r + 1;
      std::vector<uint8_t> row(RowBytes(width), 0);
      for (int x = 0; x < width; ++x)
        if ((x < r) == blackFirst) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      TMemoryStream ms;
      std::atomic<bool> aborting{false};
      row.resize((width + 31) / 32 * 4);
      CCITTEncodeMH(row.data(), width, &ms, aborting, 1);
      const auto data = Bytes(ms);
      std::vector<uint8_t> dest(RowBytes(width));
      ASSERT_EQ(CCITTDecodeMH(dest.data(), data.data(), int64_t(data.size()), width, 1), int32_t(data.size()));
      row.resize(RowBytes(width));
      ASSERT_EQ(Masked(dest, width), Masked(Complement(row), width)) << "run " << r << " black first " << blackFirst;
    }
  }
}

// ---- exact codes ------------------------------------------------------------------------------------------

struct TExactCase {
  const char* Name;
  TScheme Scheme;
  int Width;
  std::vector<std::vector<int>> BlackRanges;  // per row: pairs [from, to)
  std::string Bits;                           // the whole strip, carried bits flushed
};

TEST(CCITTEncode, WritesTheExpectedCodes) {
  const std::string eol = EOL;
  const std::vector<TExactCase> cases = {
      {"MH row that begins black starts with a white run of 0", TScheme::MH, 8, {{0, 8}}, "00110101 000101"},
      {"MH rows each end on a byte boundary", TScheme::MH, 8, {{3, 5}, {}}, "1000 11 1000 000000 10011"},
      {"runs past 2560 repeat the 2560 make-up code", TScheme::MH, 6000, {{}},
       "000000011111 000000011111 011010010 00001011"},
      {"black run past 2560", TScheme::MH, 6000, {{0, 6000}},
       "00110101 000000011111 000000011111 0000001001101 000001100100"},
      {"T.4 one-dimensional rows each follow an EOL", TScheme::G3_1D, 8, {{3, 5}, {}},
       eol + "1000 11 1000" + eol + "10011"},
      {"T.6 data ends with two EOLs and zero bits to the byte", TScheme::G4, 8, {{}},
       "1" + eol + eol},
      {"T.6 row that begins black: horizontal mode with a first run of 0", TScheme::G4, 16, {{0, 10}},
       "001 00110101 0000100 1" + eol + eol},
      {"T.6 pass and vertical modes", TScheme::G4, 16, {{2, 6}, {9, 12}},
       // row 1: V? reference white: horizontal W2 B4, then V0 to the end
       "001 0111 011 1"
       // row 2: b1=2, b2=6 < a1=9: pass; then a1=9 b1=16: horizontal W3 B3; then V0
       "0001 001 1000 10 1" +
           eol + eol},
      {"T.4 two-dimensional: first row one-dimensional, one EOL at the end", TScheme::G3_2D, 8, {{}, {}},
       eol + "1 10011" + eol + "0 1" + eol},
  };
  for (const auto& c : cases) {
    TImage img;
    for (const auto& ranges : c.BlackRanges) {
      std::vector<uint8_t> row(RowBytes(c.Width), 0);
      for (size_t i = 0; i + 1 < ranges.size(); i += 2)
        for (int x = ranges[i]; x < ranges[i + 1]; ++x) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
      img.push_back(row);
    }
    std::atomic<bool> aborting{false};
    EXPECT_EQ(Encode(img, c.Width, c.Scheme, 1, aborting), BitsToBytes(c.Bits)) << c.Name;
    EXPECT_EQ(Encode(img, c.Width, c.Scheme, 2, aborting), ReverseEach(BitsToBytes(c.Bits))) << c.Name;
    EXPECT_FALSE(aborting) << c.Name;
  }
}

TEST(CCITTEncode, CarryAndReferenceRowLifeCycle) {
  const std::vector<uint8_t> white(4, 0);
  TMemoryStream ms;
  std::atomic<bool> aborting{false};
  uint8_t pending = 0;
  int32_t bits = 0;
  void* ref = nullptr;
  // T.4: EOL, tag 1, white 8 = 18 bits: two bytes out, two bits carried.
  CCITTEncodeG3_2D(white.data(), 8, &ms, pending, bits, ref, aborting, 1);
  EXPECT_EQ(ms.Size(), 2);
  EXPECT_EQ(bits, 2);
  EXPECT_EQ(pending, 0xC0);  // the last "11" of 10011
  EXPECT_NE(ref, nullptr);
  CCITTEncodeG3_2D(nullptr, 8, &ms, pending, bits, ref, aborting, 1);
  EXPECT_EQ(ref, nullptr);
  EXPECT_EQ(bits, 6);  // 18 + 12 bits: the caller writes the last partial byte
  // FillOrder 2 keeps the carried bits in the low end of the byte.
  CCITTEncodeG3_2D(white.data(), 8, &ms, pending = 0, bits = 0, ref, aborting, 2);
  EXPECT_EQ(bits, 2);
  EXPECT_EQ(pending, 0x03);
  CCITTFreeRefRow(ref);
  EXPECT_EQ(ref, nullptr);
  // T.6 ends with nothing carried.
  CCITTEncodeG4(white.data(), 8, &ms, pending = 0, bits = 0, ref, aborting, 1);
  CCITTEncodeG4(nullptr, 8, &ms, pending, bits, ref, aborting, 1);
  EXPECT_EQ(bits, 0);
  EXPECT_EQ(ref, nullptr);
  EXPECT_FALSE(aborting);
}

TEST(CCITTEncode, ShortWriteSetsTheAbortFlag) {
  const TImage img = MakeImage(200, 8, 3);
  for (TScheme s : {TScheme::MH, TScheme::G3_1D, TScheme::G3_2D, TScheme::G4}) {
    std::atomic<bool> aborting{false};
    TShortStream ms(3);
    uint8_t pending = 0;
    int32_t bits = 0;
    void* ref = nullptr;
    for (const auto& row0 : img) {
      auto row = row0;
      row.resize(28);
      switch (s) {
        case TScheme::MH: CCITTEncodeMH(row.data(), 200, &ms, aborting, 1); break;
        case TScheme::G3_1D: CCITTEncodeMHRow(row.data(), 200, &ms, pending, bits, aborting, 1); break;
        case TScheme::G3_2D: CCITTEncodeG3_2D(row.data(), 200, &ms, pending, bits, ref, aborting, 1); break;
        case TScheme::G4: CCITTEncodeG4(row.data(), 200, &ms, pending, bits, ref, aborting, 1); break;
      }
    }
    CCITTFreeRefRow(ref);
    EXPECT_TRUE(aborting) << int(s);
  }
}

TEST(CCITTEncode, ServiceEntriesAreTheEncoders) {
  QxRegisterCCITTCoders();
  ASSERT_NE(QxCodecServices.CCITTEncodeG4, nullptr);
  ASSERT_NE(QxCodecServices.CCITTEncodeG3_2D, nullptr);
  const TImage img = MakeImage(100, 10, 5);
  for (bool g4 : {true, false}) {
    auto coder = g4 ? QxCodecServices.CCITTEncodeG4 : QxCodecServices.CCITTEncodeG3_2D;
    TMemoryStream ms;
    std::atomic<bool> aborting{false};
    void* ref = nullptr;
    int32_t bits = 0;
    uint8_t pending = 0;
    for (const auto& row0 : img) {
      auto row = row0;
      row.resize(16);
      coder(row.data(), 100, &ms, 1, aborting, ref, bits, pending);
    }
    coder(nullptr, 100, &ms, 1, aborting, ref, bits, pending);
    if (bits) ms.Write(&pending, 1);
    std::atomic<bool> a2{false};
    EXPECT_EQ(Bytes(ms), Encode(img, 100, g4 ? TScheme::G4 : TScheme::G3_2D, 1, a2));
    EXPECT_EQ(ref, nullptr);
  }
}

// ---- decoding hand-built streams --------------------------------------------------------------------------

TEST(CCITTDecode, ModifiedHuffmanCountsWholeBytes) {
  const auto data = BitsToBytes("1000 11 1000 000000 10011");
  std::vector<uint8_t> row(1);
  ASSERT_EQ(CCITTDecodeMH(row.data(), data.data(), int64_t(data.size()), 8, 1), 2);
  EXPECT_EQ(row[0], 0xE7);
  ASSERT_EQ(CCITTDecodeMH(row.data(), data.data() + 2, int64_t(data.size()) - 2, 8, 1), 1);
  EXPECT_EQ(row[0], 0xFF);
  // Data that runs out: never more bytes than there are.
  const auto cut = BitsToBytes("1000");
  EXPECT_EQ(CCITTDecodeMH(row.data(), cut.data(), 1, 8, 1), 1);
  EXPECT_EQ(CCITTDecodeMH(row.data(), cut.data(), 0, 8, 1), 0);
  EXPECT_EQ(row[0], 0xFF);
}

TEST(CCITTDecode, OneDimensionalRowsAndEOLs) {
  struct TCase {
    const char* Name;
    std::string Bits;
    int Width;
    std::vector<uint8_t> Row;
    int64_t Pos;
  };
  const std::string eol = EOL;
  const std::vector<TCase> cases = {
      {"EOL at the start is skipped", eol + "1000 11 1000", 8, {0xE7}, 22},
      {"EOL with fill zeros at the start is skipped", "0000000" + eol + "1000 11 1000", 8, {0xE7}, 29},
      {"a second EOL right behind the first gives a white row", eol + eol + "1000 11 1000", 8, {0xFF}, 24},
      {"an EOL inside a black run fills it to the end", "1000" + eol, 16, {0xE0, 0x00}, 16},
      {"data that ends inside a black run fills it to the end", "1000", 16, {0xE0, 0x00}, 8},
      {"a make-up code at the row's end takes its terminating code", "11011 00110101 10011", 64,
       {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 13},
      {"invalid codes are skipped", "000000001 1000 11 1000", 8, {0xE7}, 19},
      {"32 zero bits are skipped until they end in an EOL at the row's start", std::string(40, '0') + "1 1000 11 1000", 8,
       {0xE7}, 51},
      {"runs past the width are cut", "1000 000011000", 8, {0xE0}, 13},
  };
  for (const auto& c : cases) {
    const auto data = BitsToBytes(c.Bits);
    std::vector<uint8_t> row(c.Row.size());
    EXPECT_EQ(CCITTDecode1D(row.data(), data.data(), int64_t(data.size()), c.Width, 0, 1), c.Pos) << c.Name;
    EXPECT_EQ(row, c.Row) << c.Name;
  }
}

TEST(CCITTDecode, TwoDimensionalRowMeetingAnEOLLeavesThePositionThere) {
  const std::string eol = EOL;
  const auto data = BitsToBytes(eol + "1 10011"                       // 1-D white row
                                + eol + "0 001 0111 10 0000010"       // W2 B3, VL3, then an EOL
                                + eol + "1 1000 11 1000");            // that EOL with tag 1
  std::vector<uint8_t> ref(1, 0xFF), row(1);
  int64_t pos = CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), 8, ref.data(), 0, 1, true);
  EXPECT_EQ(pos, 18);
  EXPECT_EQ(row[0], 0xFF);
  pos = CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), 8, ref.data(), pos, 1, true);
  EXPECT_EQ(pos, 47);
  EXPECT_EQ(row[0], 0xC0);  // the black colour under way fills to the end
  EXPECT_EQ(ref[0], 0xC0);
  pos = CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), 8, ref.data(), pos, 1, true);
  EXPECT_EQ(pos, 70);
  EXPECT_EQ(row[0], 0xE7);
}

TEST(CCITTDecode, TwoDimensionalDataEndingInsideARowLeavesTheRestWhite) {
  const auto data = BitsToBytes("001 1000 11 0000010");  // W3 B2, VL3: black from 13 on
  std::vector<uint8_t> ref(2, 0xFF), row(2);
  EXPECT_EQ(CCITTDecode2D(row.data(), data.data(), 2, 16, ref.data(), 0, 1, false), 16);
  EXPECT_EQ(row, (std::vector<uint8_t>{0xE7, 0xFF}));
}

TEST(CCITTDecode, UncompressedMode) {
  // B, WB, WWWWW, exit after one white with the tag for the next colour, then V0 to the end.
  for (int tag : {0, 1}) {
    const auto data = BitsToBytes(std::string("0000001111 1 01 000001 00000001 ") + char('0' + tag) + " 1");
    std::vector<uint8_t> ref(2, 0xFF), row(2);
    CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), 12, ref.data(), 0, 1, false);
    EXPECT_EQ(row, (std::vector<uint8_t>{0x5F, uint8_t(tag ? 0x8F : 0xFF)})) << "tag " << tag;
  }
}

TEST(CCITTDecode, TablesRebuildAfterBeingFreed) {
  CCITTInitTables();
  CCITTInitTables();
  CCITTFreeTables();
  const auto data = BitsToBytes("1000 11 1000");
  std::vector<uint8_t> row(1);
  EXPECT_EQ(CCITTDecodeMH(row.data(), data.data(), int64_t(data.size()), 8, 1), 2);
  EXPECT_EQ(row[0], 0xE7);
  CCITTFreeTables();
  CCITTFreeTables();
}

// ---- bad input --------------------------------------------------------------------------------------------

// Garbage and cut-off streams: the decoders stay inside the data and the row, and always move on.
TEST(CCITTDecode, CorruptAndTruncatedDataEndsCleanly) {
  std::mt19937 rng(11);
  std::vector<std::vector<uint8_t>> inputs;
  for (int n : {1, 2, 3, 5, 17, 300}) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    inputs.push_back(v);
    for (auto& b : v) b &= uint8_t(rng());  // mostly zero bits: EOL-like and missing codes
    inputs.push_back(v);
  }
  std::atomic<bool> aborting{false};
  const TImage img = MakeImage(100, 6, 9);
  for (TScheme s : {TScheme::G3_2D, TScheme::G4}) {
    const auto good = Encode(img, 100, s, 1, aborting);
    for (size_t n = 0; n < good.size(); ++n) inputs.emplace_back(good.begin(), good.begin() + n);
  }
  for (const auto& in : inputs) {
    for (int width : {1, 13, 100}) {
      for (int fo : {1, 2}) {
        std::vector<uint8_t> row(RowBytes(width)), ref(RowBytes(width), 0xFF);
        const int64_t limit = int64_t(in.size()) * 8;
        int64_t p1 = 0, p2 = 0, p3 = 0;
        for (int y = 0; y < 8; ++y) {
          const int64_t n1 = CCITTDecode1D(row.data(), in.data(), int64_t(in.size()), width, p1, fo);
          const int64_t n2 = CCITTDecode2D(row.data(), in.data(), int64_t(in.size()), width, ref.data(), p2, fo, true);
          const int64_t n3 = CCITTDecode2D(row.data(), in.data(), int64_t(in.size()), width, ref.data(), p3, fo, false);
          ASSERT_TRUE(n1 > p1 || p1 >= limit);
          ASSERT_TRUE(n2 > p2 || p2 >= limit);
          ASSERT_LE(n1, std::max(limit, p1));
          ASSERT_LE(n2, std::max(limit, p2));
          ASSERT_LE(n3, std::max(limit, p3));
          p1 = n1, p2 = n2, p3 = n3;
        }
        ASSERT_LE(CCITTDecodeMH(row.data(), in.data(), int64_t(in.size()), width, fo), int32_t(in.size()));
      }
    }
  }
}

// A long stretch of zero bits is crossed in one step, not one bit per code lookup.
TEST(CCITTDecode, LongZeroStretchesEndTheRowAtTheDataEnd) {
  std::vector<uint8_t> zeros(1 << 20, 0);
  zeros.back() = 0x01;  // an EOL at the very end
  const int64_t limit = int64_t(zeros.size()) * 8;
  std::vector<uint8_t> row(2), ref(2, 0xFF);
  EXPECT_EQ(CCITTDecode1D(row.data(), zeros.data(), int64_t(zeros.size()), 16, 0, 1), limit);
  EXPECT_EQ(row, (std::vector<uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(CCITTDecode2D(row.data(), zeros.data(), int64_t(zeros.size()), 16, ref.data(), 0, 1, true), limit);
  EXPECT_EQ(row, (std::vector<uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(CCITTDecodeMH(row.data(), zeros.data(), int64_t(zeros.size()), 16, 2), int32_t(zeros.size()));
}

}  // namespace
