// Sensor decoders on synthetic data: every loader must give back the sensor values its encoder wrote.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "imaging/codecs/raw/camera_raw.h"
#include "raw_fixture.h"

using namespace rawtest;

namespace {

int Value(int R, int C, int Mask) { return (R * 37 + C * 11 + ((R ^ C) * 5) + R * C) & Mask; }

std::vector<int> Random(size_t N, int Mask, uint32_t Seed) {
  std::mt19937 g(Seed);
  std::vector<int> v(N);
  for (int& x : v) x = int(g() & uint32_t(Mask));
  return v;
}

}  // namespace

TEST(CameraRawBits, ReadBitsEdges) {
  Bytes d = {0xAB, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A};
  RawRun r(d);
  EXPECT_EQ(read_bits(*r.C, -1), 0u);
  EXPECT_EQ(read_bits(*r.C, 0), 0u);
  EXPECT_EQ(read_bits(*r.C, 8), 0xABu);  // nothing consumed by read_bits(0)
  EXPECT_EQ(read_bits(*r.C, 8), 0xFFu);
  EXPECT_EQ(read_bits(*r.C, 8), 0x00u);  // without stuffing the zero byte is data
  RawRun s(d);
  s.C->SkipStuffedZero = 1;
  read_bits(*s.C, -1);
  EXPECT_EQ(read_bits(*s.C, 8), 0xABu);
  EXPECT_EQ(read_bits(*s.C, 8), 0xFFu);
  EXPECT_EQ(read_bits(*s.C, 8), 0x12u);  // FF 00 gave the eight bits of 0xFF once
  // Reading past the end gives zeros, and never shifts a 32-bit value by 32.
  RawRun e(Bytes{});
  read_bits(*e.C, -1);
  EXPECT_EQ(read_bits(*e.C, 25), 0u);
  EXPECT_EQ(read_bits(*e.C, 25), 0u);
}

TEST(CameraRawBits, SignRule) {
  EXPECT_EQ(sign_rule(0, 0), 0);
  EXPECT_EQ(sign_rule(1, 1), 1);
  EXPECT_EQ(sign_rule(0, 1), -1);
  EXPECT_EQ(sign_rule(5, 3), 5);
  EXPECT_EQ(sign_rule(2, 3), -5);
  for (int d = -300; d <= 300; ++d) {
    const int l = DiffLength(d);
    EXPECT_EQ(sign_rule(DiffBits(d, l), l), d);
  }
}

TEST(CameraRawBits, TreesDecodeTheCanonicalCode) {
  const std::vector<uint8_t> table = LosslessTable();
  MsbBits w;
  const Huffman h(table);
  const int symbols[] = {0, 16, 5, 3, 9, 1, 12, 7, 0, 15};
  for (int s : symbols) h.Put(w, s);
  RawRun r(w.Finish(1));
  reset_huffman_nodes(*r.C);
  build_huffman_tree(*r.C, table.data(), 0, table.data() + table.size());
  read_bits(*r.C, -1);
  for (int s : symbols) EXPECT_EQ(decode_symbol(*r.C, 0), s);
}

TEST(CameraRawBits, TreeOverflowIsAnError) {
  // Foveon code words that never end a branch make the tree grow past its node pool.
  Bytes f(260 + 2048 + 4096 + 64, 0);
  RawRun r(f);
  r.Store(4, 4, 0);
  try {
    foveon_huffman_load_raw(*r.C);
    FAIL() << "no overflow";
  } catch (const EQxRawError& e) {
    EXPECT_EQ(e.Message(), ": decoder table overflow");
  }
}

// ---- lossless JPEG ---------------------------------------------------------------------------------------

TEST(CameraRawDecoders, LosslessJpegExactValues) {
  const int high = 6, wide = 10;
  const std::vector<int> s = Random(size_t(high * wide), 4095, 7);
  RawRun r(LosslessJpeg(s, high, wide));
  r.Store(high, wide - 2, 0x61616161u);
  r.C->SensorWidth = wide;
  lossless_huffman_load_raw(*r.C);
  int64_t black = 0;
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) {
      if (x < wide - 2) EXPECT_EQ(r.At(y, x), s[size_t(y * wide + x)] * 4) << y << "," << x;
      else black += s[size_t(y * wide + x)];
    }
  EXPECT_EQ(r.C->BlackLevel, int(black * 4 / (2 * high)));
}

TEST(CameraRawDecoders, LosslessJpegKodakBlackIsTheMinimum) {
  const int high = 4, wide = 8;
  std::vector<int> s = Random(size_t(high * wide), 1023, 9);
  for (int& v : s) v += 100;
  RawRun r(LosslessJpeg(s, high, wide));
  std::strcpy(r.C->Maker, "KODAK");
  r.Store(high, wide, 0x61616161u);
  lossless_huffman_load_raw(*r.C);
  EXPECT_EQ(r.C->BlackLevel, *std::min_element(s.begin(), s.end()) * 4);
}

TEST(CameraRawDecoders, LosslessJpegBadMarkersGiveNoData) {
  const std::vector<int> s(16, 1000);
  Bytes good = LosslessJpeg(s, 2, 8);
  Bytes noStart = good;
  noStart[1] = 0xD7;
  Bytes longSegment = good;
  longSegment[5] = 0xFF;  // SOF3 length 0x00FF + 2 > 255 after the length itself
  longSegment[4] = 0x01;
  for (const Bytes& b : {noStart, longSegment}) {
    RawRun r(b);
    r.Store(2, 8, 0x61616161u);
    lossless_huffman_load_raw(*r.C);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 8; ++x) EXPECT_EQ(r.At(y, x), 0);
  }
}

// ---- Canon CIFF ------------------------------------------------------------------------------------------

namespace {

// A Canon CIFF file whose compressed data starts at offset 540, coded with table set 0.
Bytes CanonCompressed(const std::vector<int>& V, int High, int Wide) {
  static const std::vector<uint8_t> first = {0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                             4, 3, 5, 6, 2, 7, 1, 8, 9, 0, 10, 11, 255};
  static const std::vector<uint8_t> second = {
      0, 2, 2, 2, 1, 4, 2, 1, 2, 5, 1, 1, 0, 0, 0, 139, 3, 4, 2, 5, 1, 6, 7, 8, 18, 19, 17, 20, 9, 21, 34, 0, 33, 22,
      10, 240, 35, 23, 36, 49, 50, 24, 25, 51, 37, 65, 52, 66, 53, 81, 54, 55, 56, 41, 121, 38, 26, 57, 86, 87, 40, 39,
      82, 85, 88, 67, 118, 89, 119, 84, 97, 249, 113, 120, 117, 150, 151, 73, 183, 83, 215, 116, 182, 152, 71, 72,
      149, 105, 153, 145, 250, 184, 104, 181, 185, 214, 247, 216, 103, 70, 69, 148, 137, 248, 129, 213, 246, 180, 136,
      177, 42, 68, 114, 217, 135, 102, 212, 245, 58, 167, 115, 169, 168, 134, 98, 199, 101, 200, 201, 161, 244, 209,
      233, 90, 146, 133, 166, 231, 147, 232, 193, 198, 122, 100, 225, 74, 106, 230, 179, 241, 211, 165, 138, 178, 154,
      186, 132, 164, 99, 229, 197, 243, 210, 196, 130, 170, 218, 228, 242, 202, 131, 163, 162, 195, 234, 194, 226, 227};
  const Huffman h1(first), h2(second);
  MsbBits bits;
  bits.Stuff = true;
  int carry = 0;
  int base[2] = {512, 512};
  size_t counter = 0;
  const size_t total = size_t(High) * Wide;
  for (size_t blockStart = 0; blockStart < total; blockStart += 64) {
    int diff[64];
    for (int j = 0; j < 64; ++j, ++counter) {
      if (counter % size_t(Wide) == 0) base[0] = base[1] = 512;
      const int v = V[blockStart + size_t(j)];
      diff[j] = v - base[j & 1];
      base[j & 1] = v;
    }
    const int coded0 = diff[0] - carry;
    carry = diff[0];
    const int l0 = DiffLength(coded0);
    h1.Put(bits, l0);
    if (l0) bits.Put(DiffBits(coded0, l0), l0);
    int i = 1;
    while (i < 64) {
      int n = i;
      while (n < 64 && diff[n] == 0) ++n;
      if (n == 64) {
        h2.Put(bits, 0);  // end of block
        break;
      }
      while (n - i > 15) {
        h2.Put(bits, 0xF0);
        i += 16;
      }
      const int l = DiffLength(diff[n]);
      h2.Put(bits, (n - i) << 4 | l);
      bits.Put(DiffBits(diff[n], l), l);
      i = n + 1;
    }
  }
  Bytes data = bits.Finish(1);
  data.push_back(0xFF);
  data.push_back(0x00);  // a stuffed 0xFF in the low-bit region: the file has no low bits
  Writer w;
  w.Text("II", false);
  w.U32(26);
  w.Text("HEAPCCDR", false);
  w.PadTo(540);
  w.Append(data);
  const uint32_t heap = 26;
  std::vector<std::pair<uint16_t, Bytes>> recs;
  Bytes mm = {'C', 'a', 'n', 'o', 'n', 0};
  for (char c : std::string("Canon EOS D60")) mm.push_back(uint8_t(c));
  mm.resize(mm.size() + 64, 0);
  Writer sz;
  sz.U16(0);
  sz.U16(uint32_t(Wide));
  sz.U16(uint32_t(High));
  Writer set;
  set.U32(0);
  for (const Bytes& b : {mm, sz.B, set.B}) {
    recs.push_back({0, b});
  }
  recs[0].first = 0x080A;
  recs[1].first = 0x1031;
  recs[2].first = 0x1835;
  std::vector<uint32_t> at;
  for (auto& r : recs) {
    at.push_back(uint32_t(w.Size()) - heap);
    w.Append(r.second);
  }
  const uint32_t table = uint32_t(w.Size()) - heap;
  w.U16(uint32_t(recs.size()));
  for (size_t i = 0; i < recs.size(); ++i) {
    w.U16(recs[i].first);
    w.U32(uint32_t(recs[i].second.size()));
    w.U32(at[i]);
  }
  w.U32(table);
  return w.B;
}

}  // namespace

TEST(CameraRawDecoders, CanonCompressedExactValues) {
  const int high = 16, wide = 24;
  std::vector<int> v(size_t(high * wide));
  std::mt19937 g(3);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) v[size_t(y * wide + x)] = 400 + (x / 3) * 7 + y * 3 + int(g() % 3 == 0 ? g() % 9 : 0);
  RawRun r(CanonCompressed(v, high, wide));
  ASSERT_EQ(r.Identify(), 0);
  ASSERT_EQ(r.C->SensorLoader, canon_compressed_load_raw);
  r.Store(high, wide, r.C->CfaPattern);
  r.C->SensorLoader(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), v[size_t(y * wide + x)] << 4) << y << "," << x;
}

// ---- Nikon ------------------------------------------------------------------------------------------------

namespace {

Bytes NikonCompressed(const std::vector<int>& V, int High, int Wide, int CurveLength, uint32_t& CurveAt,
                      uint32_t& DataAt) {
  const std::vector<uint8_t> table = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 4, 3, 6, 2, 7, 1, 0, 8, 9, 11, 10, 12};
  Writer w;
  w.Big = true;
  w.U32(0);
  CurveAt = uint32_t(w.Size());
  const int vp[4] = {100, 200, 300, 400};
  for (int x : vp) w.U16(uint32_t(x));
  w.U16(uint32_t(CurveLength));
  for (int i = 0; i < CurveLength; ++i) w.U16(uint32_t(i * 3 + 1));
  DataAt = uint32_t(w.Size());
  const Huffman h(table);
  MsbBits bits;
  int vpred[4] = {100, 200, 300, 400};
  for (int y = 0; y < High; ++y) {
    int hpred[2] = {0, 0};
    for (int x = 0; x < Wide; ++x) {
      const int v = V[size_t(y * Wide + x)];
      int d;
      if (x < 2) {
        int& p = vpred[2 * (y & 1) + x];
        d = v - p;
        p = v;
      } else {
        d = v - hpred[x & 1];
      }
      hpred[x & 1] = v;
      const int l = DiffLength(d);
      h.Put(bits, l);
      if (l) bits.Put(DiffBits(d, l), l);
    }
  }
  w.Append(bits.Finish());
  w.PadTo(w.Size() + 16);
  return w.B;
}

}  // namespace

TEST(CameraRawDecoders, NikonCompressedThroughItsCurve) {
  const int high = 6, wide = 12;
  std::vector<int> v = Random(size_t(high * wide), 511, 5);
  for (int length : {600, 300}) {  // a curve shorter than the values clamps to its last entry
    uint32_t curveAt, dataAt;
    RawRun r(NikonCompressed(v, high, wide, length, curveAt, dataAt));
    r.C->ToneCurveOffset = int32_t(curveAt);
    r.C->SensorDataOffset = int32_t(dataAt);
    r.C->ByteOrder = 0x4D4D;
    r.Store(high, wide - 2, 0x16161616u);
    r.C->SensorWidth = wide;
    r.C->LeftBorder = 1;
    nikon_compressed_load_raw(*r.C);
    for (int y = 0; y < high; ++y)
      for (int x = 1; x < wide - 1; ++x)
        ASSERT_EQ(r.At(y, x - 1), (std::min(v[size_t(y * wide + x)], length - 1) * 3 + 1) << 2) << length;
  }
  // A curve of no entries passes the values unchanged, never indexing before the table.
  uint32_t curveAt, dataAt;
  RawRun r(NikonCompressed(v, high, wide, 0, curveAt, dataAt));
  r.C->ToneCurveOffset = int32_t(curveAt);
  r.C->SensorDataOffset = int32_t(dataAt);
  r.C->ByteOrder = 0x4D4D;
  r.Store(high, wide, 0x16161616u);
  nikon_compressed_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), v[size_t(y * wide + x)] << 2);
}

// ---- the packed and simple forms ------------------------------------------------------------------------

namespace {

struct SimpleCase {
  const char* Name;
  TQxRawLoader Loader;
  int High, Wide, SensorWide;
  std::function<void(TQxRawContext&)> Setup;
  std::function<Bytes(int High, int Wide, int SensorWide)> Encode;
  std::function<int(int Row, int Col)> Expect;
};

Bytes MsbPack(const std::vector<int>& V, int Bits) {
  MsbBits b;
  for (int v : V) b.Put(uint32_t(v), Bits);
  return b.Finish();
}

int V12(int R, int C) { return Value(R, C, 4095); }
int V10(int R, int C) { return Value(R, C, 1023); }

Bytes Words16(int High, int Wide, bool Big, const std::function<int(int, int)>& F) {
  Writer w;
  w.Big = Big;
  for (int y = 0; y < High; ++y)
    for (int x = 0; x < Wide; ++x) w.U16(uint32_t(F(y, x)));
  return w.B;
}

int W16(int R, int C) { return (Value(R, C, 4095) * 13 + 7) & 0xFFFF; }

std::vector<uint32_t> Keystream(uint32_t Key, size_t Count, bool& Started, uint32_t (&Pad)[128], int& P) {
  std::vector<uint32_t> out;
  if (!Started) {
    for (int p = 0; p < 4; ++p) Pad[p] = Key = Key * 48828125u + 1;
    Pad[3] = Pad[3] << 1 | (Pad[0] ^ Pad[2]) >> 31;
    for (int p = 4; p < 127; ++p) Pad[p] = (Pad[p - 4] ^ Pad[p - 2]) << 1 | (Pad[p - 3] ^ Pad[p - 1]) >> 31;
    for (int p = 0; p < 127; ++p) Pad[p] = __builtin_bswap32(Pad[p]);
    P = 127;
    Started = true;
  }
  for (size_t i = 0; i < Count; ++i, ++P) {
    Pad[P & 127] = Pad[(P + 1) & 127] ^ Pad[(P + 65) & 127];
    out.push_back(Pad[P & 127]);
  }
  return out;
}

void XorLe(Bytes& B, size_t At, const std::vector<uint32_t>& K) {
  for (size_t i = 0; i < K.size(); ++i)
    for (int k = 0; k < 4; ++k) B[At + 4 * i + size_t(k)] ^= uint8_t(K[i] >> (8 * k));
}

}  // namespace

TEST(CameraRawDecoders, SimpleFormsExactValues) {
  const SimpleCase cases[] = {
      {"unpacked big-endian 16", unpacked_load_raw, 4, 6, 8, [](TQxRawContext& C) { C.LoaderArgs[0] = 0; C.LoaderArgs[1] = 0; },
       [](int h, int, int sw) { return Words16(h, sw, true, W16); }, [](int r, int c) { return W16(r, c); }},
      {"unpacked big-endian high 12", unpacked_load_raw, 4, 6, 8, [](TQxRawContext& C) { C.LoaderArgs[0] = 0; C.LoaderArgs[1] = 2; },
       [](int h, int, int sw) { return Words16(h, sw, true, W16); }, [](int r, int c) { return W16(r, c) >> 2; }},
      {"unpacked big-endian low 12", unpacked_load_raw, 4, 6, 6, [](TQxRawContext& C) { C.LoaderArgs[0] = 0; C.LoaderArgs[1] = -2; },
       [](int h, int, int sw) { return Words16(h, sw, true, V12); }, [](int r, int c) { return V12(r, c) << 2; }},
      {"unpacked big-endian 10", unpacked_load_raw, 4, 6, 6, [](TQxRawContext& C) { C.LoaderArgs[0] = 0; C.LoaderArgs[1] = -4; },
       [](int h, int, int sw) { return Words16(h, sw, true, V10); }, [](int r, int c) { return V10(r, c) << 4; }},
      {"unpacked little-endian high 12", unpacked_load_raw, 4, 6, 6, [](TQxRawContext& C) { C.LoaderArgs[0] = 1; C.LoaderArgs[1] = 2; },
       [](int h, int, int sw) { return Words16(h, sw, false, W16); }, [](int r, int c) { return W16(r, c) >> 2; }},
      {"eight bit", eight_bit_load_raw, 3, 5, 7, nullptr,
       [](int h, int, int sw) {
         Bytes b;
         for (int y = 0; y < h; ++y)
           for (int x = 0; x < sw; ++x) b.push_back(uint8_t(Value(y, x, 255)));
         return b;
       },
       [](int r, int c) { return Value(r, c, 255) << 6; }},
      {"MSB packed 12", msb_packed12_load_raw, 4, 8, 14, nullptr,
       [](int h, int w, int sw) {
         MsbBits b;
         for (int y = 0; y < h; ++y) {
           for (int x = 0; x < w; ++x) b.Put(uint32_t(V12(y, x)), 12);
           for (int k = w * 3 / 2; k < sw; ++k) b.Put(0xA5, 8);
         }
         return b.Finish();
       },
       [](int r, int c) { return V12(r, c) << 2; }},
      {"Nikon packed 12 with the skipped byte of every tenth column", nikon_packed12_load_raw, 3, 20, 20,
       [](TQxRawContext& C) { C.StripCompression = 34713; std::strcpy(C.Model, "D100"); },
       [](int h, int w, int) {
         MsbBits b;
         for (int y = 0; y < h; ++y)
           for (int x = 0; x < w; ++x) {
             b.Put(uint32_t(V12(y, x)), 12);
             if (x % 10 == 9) b.Put(0x5A, 8);
           }
         return b.Finish();
       },
       [](int r, int c) { return V12(r, c) << 2; }},
      {"Coolpix 950: interlaced 10-bit rows", coolpix950_load_raw, 5, 6, 6, nullptr,
       [](int h, int w, int) {
         MsbBits b;
         for (int i = 0; i < h; ++i) {
           const int row = i * 2 % h;
           for (int x = 0; x < w; ++x) b.Put(uint32_t(V10(row, x)), 10);
           for (int k = 0; k < 28; ++k) b.Put(0x33, 8);
         }
         return b.Finish();
       },
       [](int r, int c) { return V10(r, c) << 4; }},
      {"Casio packed 10", casio_packed10_load_raw, 2, 20, 20, nullptr,
       [](int h, int, int) {
         Bytes all;
         for (int y = 0; y < h; ++y) {
           std::vector<int> v(2576);
           for (int x = 0; x < 2576; ++x) v[size_t(x)] = V10(y, x);
           Bytes row = MsbPack(v, 10);
           row.resize(3232, 0);
           all.insert(all.end(), row.begin(), row.end());
         }
         return all;
       },
       [](int r, int c) { return V10(r, c) << 4; }},
      {"Nucore", nucore_load_raw, 3, 5, 5, nullptr,
       [](int h, int w, int) { return Words16(h, w, false, V12); }, [](int r, int c) { return V12(r, c) << 2; }},
      {"PowerShot packed 10", powershot_packed10_load_raw, 3, 12, 16, nullptr,
       [](int h, int, int sw) {
         Bytes all;
         for (int y = 0; y < h; ++y) {
           std::vector<int> v(static_cast<size_t>(sw));
           for (int x = 0; x < sw; ++x) v[size_t(x)] = V10(y, x);
           Bytes s = MsbPack(v, 10);
           for (size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
           all.insert(all.end(), s.begin(), s.end());
         }
         return all;
       },
       [](int r, int c) { return V10(r, c) * 16; }},
      {"PowerShot 600", powershot600_load_raw, 5, 854, 896, nullptr,
       [](int h, int, int) {
         Bytes all;
         for (int i = 0, row = 0; i < h; ++i) {
           for (int g = 0; g < 112; ++g) {
             int v[8];
             for (int k = 0; k < 8; ++k) v[k] = V10(row, 8 * g + k);
             const uint8_t b[10] = {uint8_t(v[0] >> 2), uint8_t((v[0] & 3) << 6 | (v[1] & 3) << 4 | (v[2] & 3) << 2 | (v[3] & 3)),
                                    uint8_t(v[1] >> 2), uint8_t(v[2] >> 2), uint8_t(v[3] >> 2), uint8_t(v[4] >> 2),
                                    uint8_t(v[5] >> 2), uint8_t(v[6] >> 2), uint8_t(v[7] >> 2),
                                    uint8_t((v[4] & 3) | (v[5] & 3) << 2 | (v[6] & 3) << 4 | (v[7] & 3) << 6)};
             all.insert(all.end(), b, b + 10);
           }
           row += 2;
           if (row >= h) row = 1;
         }
         return all;
       },
       [](int r, int c) { return V10(r, c) * 16; }},
      {"Coolpix 2100", coolpix2100_load_raw, 4, 16, 16, nullptr,
       [](int h, int w, int) {
         Bytes all;
         auto row = [&](int y) {
           for (int g = 0; g < w; g += 8) {
             int o[8];
             for (int k = 0; k < 8; ++k) o[k] = V12(y, g + k);
             uint8_t b[12];
             b[3] = uint8_t(o[0] >> 4);
             b[2] = uint8_t((o[0] & 15) << 4 | o[1] >> 8);
             b[1] = uint8_t(o[1]);
             b[0] = uint8_t(o[2] >> 4);
             b[7] = uint8_t((o[2] & 15) << 4 | o[3] >> 8);
             b[6] = uint8_t(o[3]);
             b[5] = uint8_t(o[4] >> 4);
             b[4] = uint8_t((o[4] & 15) << 4 | o[5] >> 8);
             b[11] = uint8_t(o[5]);
             b[10] = uint8_t(o[6] >> 4);
             b[9] = uint8_t((o[6] & 15) << 4 | o[7] >> 8);
             b[8] = uint8_t(o[7]);
             all.insert(all.end(), b, b + 12);
           }
         };
         for (int y = 0; y < h; y += 2) row(y);
         all.resize(all.size() + 424, 0x77);
         for (int y = 1; y < h; y += 2) row(y);
         return all;
       },
       [](int r, int c) { return V12(r, c) << 2; }},
      {"Imacon, mirrored from the bottom", imacon_flipped_load_raw, 3, 5, 5, nullptr,
       [](int h, int w, int) {
         Writer x;
         x.PadTo(49384);
         for (int row = h - 1; row >= 0; --row)
           for (int k = 0; k < 4090; ++k) x.U16(k < w ? uint32_t(W16(row, w - 1 - k)) : 0u);
         return x.B;
       },
       [](int r, int c) { return W16(r, c); }},
      {"Kodak rotated rows", kodak_rotated_rows_load_raw, 5, 20, 20, nullptr,
       [](int h, int, int) {
         Bytes all;
         static const int mul[4] = {162, 192, 187, 92}, add[4] = {0, 636, 424, 212};
         for (int y = 0; y < h; ++y) {
           Bytes row(848);
           const int shift = y * mul[y & 3] + add[y & 3];
           for (int c = 0; c < 848; ++c) row[size_t((c + shift) % 848)] = uint8_t(Value(y, c, 255));
           all.insert(all.end(), row.begin(), row.end());
         }
         return all;
       },
       [](int r, int c) { return Value(r, c, 255) << 6; }},
  };
  for (const SimpleCase& c : cases) {
    SCOPED_TRACE(c.Name);
    RawRun r(c.Encode(c.High, c.Wide, c.SensorWide));
    r.C->SensorWidth = c.SensorWide;
    r.Store(c.High, c.Wide, 0x94949494u);
    if (c.Setup) c.Setup(*r.C);
    c.Loader(*r.C);
    for (int y = 0; y < c.High; ++y)
      for (int x = 0; x < c.Wide; ++x) ASSERT_EQ(r.At(y, x), c.Expect(y, x) & 0xFFFF) << y << "," << x;
  }
}

TEST(CameraRawDecoders, OlympusInterlacedFields) {
  const int high = 6, wide = 8;
  MsbBits even, odd;
  for (int y = 0; y < high; y += 2)
    for (int x = 0; x < wide; ++x) even.Put(uint32_t(V12(y, x)), 12);
  for (int y = 1; y < high; y += 2)
    for (int x = 0; x < wide; ++x) odd.Put(uint32_t(V12(y, x)), 12);
  Bytes file(100, 0);
  Bytes a = even.Finish();
  file.insert(file.end(), a.begin(), a.end());
  file.resize(100 + 2048, 0);  // 3 x 8 x 6 / 4 = 36, raised to 2048
  Bytes b = odd.Finish();
  file.insert(file.end(), b.begin(), b.end());
  file.resize(file.size() + 8, 0);
  RawRun r(file);
  r.C->SensorDataOffset = 100;
  r.Store(high, wide, 0x94949494u);
  olympus_interlaced12_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), V12(y, x) << 2) << y << "," << x;
}

TEST(CameraRawDecoders, RolleiTwoCounters) {
  const int high = 8, wide = 16;
  const int n = high * wide, second = n * 5 / 8;
  Bytes file;
  int p = 0, q = second;
  auto val = [&](int pos) { return V10(pos / wide, pos % wide); };
  for (int g = 0; g < n / 8; ++g) {
    const uint32_t buffer = uint32_t(val(q) << 20 | val(q + 1) << 10 | val(q + 2));
    q += 3;
    for (int k = 0; k < 5; ++k) {
      const int a = val(p++);
      const int piece = int(buffer >> (24 - 6 * k)) & 63;
      file.push_back(uint8_t(piece << 2 | a >> 8));
      file.push_back(uint8_t(a));
    }
  }
  RawRun r(file);
  r.C->SensorWidth = wide;
  r.C->SensorHeight = high;
  r.Store(high, wide, 0x16161616u);
  rollei_d530_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), V10(y, x) << 4) << y << "," << x;
}

TEST(CameraRawDecoders, PhaseOneXor) {
  const int high = 3, wide = 6, sensor = 8;
  const uint16_t akey = 0x1234, bkey = 0xBEEF;
  Writer w;
  w.Big = true;
  w.PadTo(50);  // the data offset
  w.U32(0);
  w.U32(0);
  const uint32_t n = uint32_t(high * sensor * 2);
  w.U32(n);
  const size_t data = w.Size();
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < sensor; x += 2) {
      const int o0 = W16(y, x), o1 = W16(y, x + 1);
      const uint16_t a = uint16_t((o1 & 0xAAAA) | (o0 & 0x5555)), b = uint16_t((o0 & 0xAAAA) | (o1 & 0x5555));
      w.U16(a ^ akey);
      w.U16(b ^ bkey);
    }
  w.PadTo(50 + 12 + n + 296);
  w.U16(akey);
  w.U16(bkey);
  ASSERT_EQ(data, 62u);
  RawRun r(w.B);
  r.C->SensorDataOffset = 50;
  r.C->SensorWidth = sensor;
  r.C->ByteOrder = 0x4D4D;
  r.Store(high, wide, 0x49494949u);
  r.C->LeftBorder = 1;
  phase_one_xor_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), W16(y, x + 1)) << y << "," << x;
}

TEST(CameraRawDecoders, SonyKeyedRows) {
  const int high = 3, wide = 12, sensor = 16, left = 2;
  Bytes file(862144 + size_t(high) * sensor * 2 + 16, 0);
  file[200896] = 5;
  const uint32_t key = 0x01020304;
  for (int k = 0; k < 4; ++k) file[200895 + 20 + size_t(k)] = uint8_t(key >> (24 - 8 * k));
  const uint32_t key2 = 0xCAFEF00D;
  Bytes head(40, 0x42);
  for (int k = 0; k < 4; ++k) head[22 + size_t(k)] = uint8_t(key2 >> (8 * k));
  uint32_t pad[128];
  int p = 0;
  bool started = false;
  XorLe(head, 0, Keystream(key, 10, started, pad, p));
  std::copy(head.begin(), head.end(), file.begin() + 164600);
  started = false;
  int64_t black = 0;
  for (int y = 0; y < high; ++y) {
    const size_t at = 862144 + size_t(y) * sensor * 2;
    for (int x = 0; x < sensor; ++x) {
      const int v = W16(y, x);
      file[at + 2 * size_t(x)] = uint8_t(v >> 8);
      file[at + 2 * size_t(x) + 1] = uint8_t(v);
      if (x < left || x >= left + wide) black += v;
    }
    XorLe(file, at, Keystream(key2, sensor / 2, started, pad, p));
  }
  RawRun r(file);
  r.C->SensorWidth = sensor;
  r.Store(high, wide, 0xB4B4B4B4u);
  r.C->LeftBorder = left;
  sony_keyed_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), W16(y, x + left)) << y << "," << x;
  EXPECT_EQ(r.C->BlackLevel, int(black / ((3343 - wide) * high)));
}

TEST(CameraRawDecoders, FujiDiagonalPlacements) {
  // Each form puts the photosites of a turned grid where its placement rule says; positions outside the
  // store are dropped, not written past it.
  struct Form {
    const char* Name;
    TQxRawLoader Loader;
    int Args[3];
    size_t Skip;
    int RowWords;
    bool Big;
    std::function<std::pair<int, int>(int Row, int Col)> Where;
    std::function<int(int Word)> Stored;
    int Cols;
    int From;
  };
  const Form forms[] = {
      {"S2", finepix_s2_diagonal_load_raw, {0, 0, 0}, 141376, 2944, true,
       [](int r, int c) { return std::make_pair(r + (c + 1) / 2, 2143 - r + c / 2); }, [](int w) { return (w << 2) & 0xFFFF; }, 2880, 0},
      {"S5000", finepix_diagonal_load_raw, {1472, 1423, 2152}, 11824, 1472, false,
       [](int r, int c) { return std::make_pair(1423 - c + r / 2, c + (r + 1) / 2); }, [](int w) { return (w << 2) & 0xFFFF; }, 1424, 0},
      {"S7000", finepix_diagonal_load_raw, {2048, 2047, 3080}, 0, 2048, false,
       [](int r, int c) { return std::make_pair(2047 - c + r / 2, c + (r + 1) / 2); }, [](int w) { return (w << 2) & 0xFFFF; }, 2048, 0},
      {"F700", finepix_f700_diagonal_load_raw, {0, 0, 0}, 0, 2944, false,
       [](int r, int c) { return std::make_pair(1439 - c + r / 2, c + (r + 1) / 2); }, [](int w) { return w; }, 1440, 16},
  };
  for (const Form& f : forms) {
    SCOPED_TRACE(f.Name);
    const int rows = 12, high = 2200, wide = 2200;
    Writer w;
    w.Big = f.Big;
    w.PadTo(f.Skip);
    for (int r = 0; r < rows; ++r)
      for (int k = 0; k < f.RowWords; ++k) w.U16(uint32_t((r * 131 + k * 7) & 0x3FFF));
    RawRun run(w.B);
    run.Store(high, wide, 0x49494949u);
    std::copy(f.Args, f.Args + 3, run.C->LoaderArgs);
    f.Loader(*run.C);
    EXPECT_TRUE(run.C->DiagonalLayout);
    int checked = 0;
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < f.Cols; c += 97) {
        const auto [y, x] = f.Where(r, c);
        if (y < 0 || y >= high || x < 0 || x >= wide) continue;
        ASSERT_EQ(run.At(y, x), f.Stored((r * 131 + (c + f.From) * 7) & 0x3FFF)) << r << "," << c;
        ++checked;
      }
    EXPECT_GT(checked, 20);
  }
}

// ---- Foveon --------------------------------------------------------------------------------------------------

TEST(CameraRawDecoders, FoveonHuffmanExactValues) {
  const int high = 3, wide = 5;
  const int diffs[8] = {0, 1, -1, 7, -7, 120, -120, 900};
  Writer w;
  w.PadTo(260);
  for (int i = 0; i < 1024; ++i) w.U16(uint32_t(uint16_t(i < 8 ? diffs[i] : 0)));
  for (int i = 0; i < 1024; ++i) w.U32(i < 8 ? (3u << 27 | uint32_t(i)) : 0u);
  // Symbols chosen so that every sum stays positive; each row starts on a fresh 32-bit word.
  std::mt19937 g(11);
  std::vector<int> expect(size_t(high * wide * 3));
  for (int y = 0; y < high; ++y) {
    std::vector<int> bits;
    int pred[3] = {0, 0, 0};
    for (int x = 0; x < wide; ++x)
      for (int c = 0; c < 3; ++c) {
        int s = int(g() % 8);
        if (pred[c] + diffs[s] <= 0) s = 7;
        pred[c] += diffs[s];
        expect[size_t((y * wide + x) * 3 + c)] = pred[c];
        for (int k = 2; k >= 0; --k) bits.push_back((s >> k) & 1);
      }
    const bool exact = bits.size() % 32 == 0;
    while (bits.size() % 32) bits.push_back(0);
    if (exact && y + 1 < high) bits.insert(bits.end(), 32, 0);  // the word a row ending on a boundary skips
    for (size_t i = 0; i < bits.size(); i += 8) {
      int b = 0;
      for (int k = 0; k < 8; ++k) b = b << 1 | bits[i + size_t(k)];
      w.U8(uint32_t(b));
    }
  }
  w.PadTo(w.Size() + 8);
  RawRun r(w.B);
  r.C->ByteOrder = 0x4949;
  r.Store(high, wide, 0);
  foveon_huffman_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(r.Cell(y, x)[c], expect[size_t((y * wide + x) * 3 + c)]) << y << "," << x;
}

// ---- Kodak ---------------------------------------------------------------------------------------------------

namespace {

// The block coder's stream: lengths as nibbles, then the bits low-order first, in 32-bit words whose byte
// pairs are exchanged, read when the reader runs short.
struct BlockWriter {
  Bytes Out;
  void Block(const std::vector<int>& Diffs) {
    const int len = int(Diffs.size());
    std::vector<int> lengths;
    for (int d : Diffs) lengths.push_back(DiffLength(d));
    for (int i = 0; i < len / 2; ++i) Out.push_back(uint8_t(lengths[size_t(2 * i)] | lengths[size_t(2 * i + 1)] << 4));
    std::vector<int> bits;
    for (size_t i = 0; i < Diffs.size(); ++i)
      for (int b = 0; b < lengths[i]; ++b) bits.push_back(int(DiffBits(Diffs[i], lengths[i]) >> b) & 1);
    size_t pos = 0;
    auto take = [&](int N) {
      uint32_t v = 0;
      for (int k = 0; k < N; ++k, ++pos)
        if (pos < bits.size()) v |= uint32_t(bits[pos]) << k;
      return v;
    };
    int valid = 0;
    if (len % 8 == 4) {
      const uint32_t v = take(16);
      Out.push_back(uint8_t(v >> 8));
      Out.push_back(uint8_t(v));
      valid = 16;
    }
    for (int l : lengths) {
      if (valid < l) {
        const uint32_t v = take(32);
        Out.push_back(uint8_t(v >> 8));
        Out.push_back(uint8_t(v));
        Out.push_back(uint8_t(v >> 24));
        Out.push_back(uint8_t(v >> 16));
        valid += 32;
      }
      valid -= l;
    }
  }
};

}  // namespace

TEST(CameraRawDecoders, KodakBlockCodedRows) {
  for (int wide : {256, 252, 300}) {  // a full block, a block that starts with 16 bits, and two blocks
    SCOPED_TRACE(wide);
    const int high = 3;
    std::vector<int> v = Random(size_t(high * wide), 4095, uint32_t(wide));
    BlockWriter bw;
    for (int y = 0; y < high; ++y)
      for (int c0 = 0; c0 < wide; c0 += 256) {
        const int len = std::min(256, wide - c0);
        std::vector<int> d;
        int pred[2] = {0, 0};
        for (int x = c0; x < c0 + len; ++x) {
          const int s = v[size_t(y * wide + x)];
          d.push_back(s - pred[x & 1]);
          pred[x & 1] = s;
        }
        bw.Block(d);
      }
    bw.Out.resize(bw.Out.size() + 16, 0);
    RawRun r(bw.Out);
    r.Store(high, wide, 0x61616161u);
    kodak_blocked_diff_load_raw(*r.C);
    for (int y = 0; y < high; ++y)
      for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), v[size_t(y * wide + x)] * 4) << y << "," << x;
  }
}

TEST(CameraRawDecoders, KodakRawBlock) {
  // A length nibble above 12 makes the whole block raw: six words per eight values.
  const int wide = 16;
  std::vector<int> v(wide);
  for (int x = 0; x < wide; ++x) v[size_t(x)] = (x * 397 + 3400) & 0xFFF;
  v[0] = 0xDAB;  // its high nibble 13 lands in the first length byte
  Writer w;
  w.Big = true;
  for (int g = 0; g < wide; g += 8) {
    const int* s = &v[size_t(g)];
    const uint32_t words[6] = {uint32_t((s[0] >> 8) << 12 | s[2]), uint32_t((s[1] >> 8) << 12 | s[3]),
                               uint32_t(((s[0] >> 4) & 15) << 12 | s[4]), uint32_t(((s[1] >> 4) & 15) << 12 | s[5]),
                               uint32_t((s[0] & 15) << 12 | s[6]), uint32_t((s[1] & 15) << 12 | s[7])};
    for (uint32_t x : words) w.U16(x);
  }
  w.PadTo(w.Size() + 16);
  RawRun r(w.B);
  r.Store(1, wide, 0x61616161u);
  kodak_blocked_diff_load_raw(*r.C);
  for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(0, x), v[size_t(x)] * 4) << x;
}

TEST(CameraRawDecoders, KodakYccBlocks) {
  const int high = 4, wide = 12;
  BlockWriter bw;
  std::vector<int> ys(size_t(high * wide)), cbs(size_t(high * wide)), crs(size_t(high * wide));
  std::mt19937 g(21);
  for (int row = 0; row < high; row += 2) {
    std::vector<int> d;
    int y1 = 0, y3 = 0, cb = 0, cr = 0;
    for (int col = 0; col < wide; col += 2) {
      int y[4];
      for (int& x : y) x = 200 + int(g() % 1500);
      const int ncb = int(g() % 400) - 200, ncr = int(g() % 400) - 200;
      d.push_back(y[0] - y1);
      d.push_back(y[1] - y[0]);
      d.push_back(y[2] - y3);
      d.push_back(y[3] - y[2]);
      d.push_back(ncb - cb);
      d.push_back(ncr - cr);
      y1 = y[1];
      y3 = y[3];
      cb = ncb;
      cr = ncr;
      for (int k = 0; k < 4; ++k) {
        const size_t at = size_t((row + k / 2) * wide + col + (k & 1));
        ys[at] = y[k];
        cbs[at] = cb;
        crs[at] = cr;
      }
    }
    bw.Block(d);
  }
  bw.Out.resize(bw.Out.size() + 16, 0);
  RawRun r(bw.Out);
  r.Store(high, wide, 0);
  kodak_ycc_load_raw(*r.C);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) {
      const size_t at = size_t(y * wide + x);
      EXPECT_EQ(r.Cell(y, x)[0], std::max(ys[at] + crs[at], 0) * 4);
      EXPECT_EQ(r.Cell(y, x)[1], ys[at] * 4);
      EXPECT_EQ(r.Cell(y, x)[2], std::max(ys[at] + cbs[at], 0) * 4);
    }
}

TEST(CameraRawDecoders, KodakEasyAndItsBlack) {
  const int high = 3, wide = 6, sensor = 10, left = 2;
  Bytes file;
  int64_t black = 0;
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < sensor; ++x) {
      file.push_back(uint8_t(Value(y, x, 255)));
      if (x < left || x >= left + wide) black += Value(y, x, 255);
    }
  for (const char* model : {"DCS315C", "DC25"}) {
    RawRun r(file);
    std::strcpy(r.C->Model, model);
    r.C->SensorWidth = sensor;
    r.Store(high, wide, 0x61616161u);
    r.C->LeftBorder = left;
    kodak_easy_load_raw(*r.C);
    for (int y = 0; y < high; ++y)
      for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), Value(y, x + left, 255) * 4);
    EXPECT_EQ(r.C->BlackLevel, std::string(model) == "DC25" ? 0 : int(black * 4 / ((sensor - wide) * high)));
  }
}

TEST(CameraRawDecoders, KodakToneCurveFromTheFile) {
  Writer w;
  w.Big = true;
  w.PadTo(12);
  w.U16(1);
  w.U16(0x090D);
  w.U16(3);
  w.U32(3);
  w.U32(40);  // three entries at 40
  w.PadTo(40);
  w.U16(10);
  w.U16(20);
  w.U16(30);
  w.PadTo(64);
  RawRun r(w.B);
  std::strcpy(r.C->Maker, "Kodak");
  r.C->ByteOrder = 0x4D4D;
  r.C->ToneCurveOffset = 1;
  r.C->SensorDataOffset = 50;
  uint16_t curve[4096];
  read_kodak_tone_curve(*r.C, curve);
  EXPECT_EQ(curve[0], 10);
  EXPECT_EQ(curve[2], 30);
  EXPECT_EQ(curve[4095], 30);  // the last value repeats
  EXPECT_EQ(r.C->WhiteLevel, 120);
  EXPECT_EQ(r.C->Tell(), 50);
  // A curve that ends at the top of its 16 bits gives the white level of a 16-bit sample, no more.
  w.Put16(44, 0xFFFF);
  RawRun top(w.B);
  std::strcpy(top.C->Maker, "KODAK");
  top.C->ByteOrder = 0x4D4D;
  top.C->ToneCurveOffset = 1;
  read_kodak_tone_curve(*top.C, curve);
  EXPECT_EQ(top.C->WhiteLevel, 65535);
  // Another maker: the identity, and the stream stays where it was.
  RawRun o(w.B);
  std::strcpy(o.C->Maker, "Canon");
  o.C->Seek(7);
  read_kodak_tone_curve(*o.C, curve);
  EXPECT_EQ(curve[1234], 1234);
  EXPECT_EQ(o.C->Tell(), 7);
}

TEST(CameraRawDecoders, KodakTreeCodedStaysInsideItsBands) {
  // Random data must decode to some picture without leaving the store or the band buffers.
  for (uint32_t seed : {1u, 2u, 3u}) {
    const std::vector<int> v = Random(20000, 255, seed);
    RawRun r(Bytes(v.begin(), v.end()));
    std::strcpy(r.C->Model, seed == 2 ? "DC40" : "DC50");
    r.Store(64, 768, 0x61616161u);
    kodak_tree_coded_load_raw(*r.C);
    EXPECT_GT(r.C->FreeNode, 0);
  }
}
