// The fast roads of the reader against the plain ones they replace: the lossless-JPEG loader against the
// bit-by-bit decoder it grew from, and the fused passes after loading against the passes run one by one.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <random>

#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "raw_fixture.h"

using namespace rawtest;

namespace {

// ---- the lossless loader as it was: a 32-bit reserve filled byte by byte, a tree walk per code, and each
// sample put into the store as it is decoded --------------------------------------------------------------

void PlainLossless(TQxRawContext& C) {
  std::vector<uint16_t> curve(4096);
  read_kodak_tone_curve(C, curve.data());
  C.ByteOrder = 0x4D4D;
  if (C.Get2() != 0xFFD8) return;
  int32_t jhigh = 0, jwide = 0;
  int32_t root[2] = {0, 0};
  bool trees = false;
  for (;;) {
    const uint32_t marker = C.Get2();
    const int32_t len = int32_t(C.Get2()) - 2;
    if (marker <= 0xFF00 || len > 255 || len < 0) return;
    uint8_t data[256] = {};
    C.Read(data, len);
    const uint8_t* end = data + len;
    if (marker == 0xFFC3 && len >= 5) {
      jhigh = data[1] * 256 + data[2];
      jwide = (data[3] * 256 + data[4]) * 2;
    }
    if (marker == 0xFFC4) {
      reset_huffman_nodes(C);
      root[0] = root[1] = C.FreeNode;
      const uint8_t* p = data;
      while (p < end && *p < 2) {
        root[*p] = C.FreeNode;
        p = build_huffman_tree(C, p + 1, 0, end);
      }
      trees = true;
    }
    if (marker == 0xFFDA) break;
    if (C.PastEnd > 8) return;
  }
  if (!trees || jwide <= 0 || jhigh <= 0 || C.SensorWidth <= 0) return;
  std::vector<uint8_t> coded(size_t(std::max<int64_t>(C.FileSize - C.Tell(), 0)));
  C.Read(coded.data(), int64_t(coded.size()));
  size_t next = 0;
  int64_t pastEnd = 0;
  uint32_t buf = 0;
  int32_t cnt = 0;
  auto refill = [&] {
    while (cnt < 25) {
      uint32_t c = 0;
      if (next < coded.size()) {
        c = coded[next++];
        if (c == 0xFF && next < coded.size()) ++next;
      } else {
        ++pastEnd;
      }
      buf = buf << 8 | c;
      cnt += 8;
    }
  };
  auto take = [&](int32_t N) {
    const uint32_t v = uint32_t(((uint64_t(buf) << (32 - cnt)) & 0xFFFFFFFFu) >> (32 - N));
    cnt -= N;
    return v;
  };
  refill();
  auto difference = [&](int32_t K) {
    int32_t n = root[K];
    for (int32_t guard = 0; C.Nodes[n].Child[0] && guard < 2048; ++guard) {
      if (cnt < 1) refill();
      n = C.Nodes[n].Child[take(1)];
    }
    int32_t L = C.Nodes[n].Leaf;
    if (L <= 0) {
      refill();
      return 0;
    }
    L = std::min(L, 16);
    if (cnt < L) refill();
    const uint32_t v = take(L);
    refill();
    return (v & (1u << (L - 1))) ? int32_t(v) : int32_t(v) - int32_t((1u << L) - 1);
  };
  int32_t vpred[2] = {2048, 2048}, hpred[2] = {0, 0};
  int32_t minimum = 2147483647;
  C.BlackSum = 0;
  const int64_t sw = C.SensorWidth;
  for (int32_t jrow = 0; jrow < jhigh; ++jrow) {
    if (pastEnd > 8) break;
    int64_t idx = int64_t(jrow) * jwide;
    int64_t row = idx / sw, col = idx % sw;
    for (int32_t jcol = 0; jcol < jwide; ++jcol, ++idx) {
      const int32_t diff = difference(jcol & 1);
      if (jcol < 2) {
        vpred[jcol] += diff;
        hpred[jcol] = vpred[jcol];
      } else {
        hpred[jcol & 1] += diff;
      }
      const int32_t v = std::max(hpred[jcol & 1], 0);
      if (sw == 5108) {
        const int64_t i = idx / (1680 * int64_t(jhigh));
        if (i <= 1) {
          row = (idx / 1680) % jhigh;
          col = idx % 1680 + 1680 * i;
        } else {
          const int64_t j = idx - 3360 * int64_t(jhigh);
          row = j / 1748;
          col = j % 1748 + 3360;
        }
      }
      const int64_t r = row - C.TopBorder, c = col - C.LeftBorder;
      const int32_t cv = curve[size_t(std::min(v, 4095))];
      if (r < C.ImageHeight) {
        if (c < C.ImageWidth) {
          if (r >= 0 && c >= 0) C.Put(int32_t(r), int32_t(c), cv * 4);
          minimum = std::min(minimum, cv);
        } else {
          C.BlackSum += cv;
        }
      }
      if (sw != 5108 && ++col == sw) {
        col = 0;
        ++row;
      }
    }
  }
  if (C.ImageWidth < C.SensorWidth && C.ImageHeight > 0)
    C.BlackLevel = int32_t(C.BlackSum * 4 / (int64_t(C.SensorWidth - C.ImageWidth) * C.ImageHeight));
  if (strcasecmp(C.Maker, "KODAK") == 0 && minimum != 2147483647) C.BlackLevel = minimum * 4;
}

// Codes of 2 to 16 bits: the usual lengths get codes too long for a table look-up, so the tree is walked.
std::vector<uint8_t> LongCodes() {
  return {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 13, 14, 15, 16};
}

// Smooth rows, rows of fine noise and rows of full-range noise, so that every code length turns up.
std::vector<int> Samples(int High, int Wide, uint32_t Seed) {
  std::mt19937 g(Seed);
  std::vector<int> v(size_t(High) * Wide);
  for (int y = 0; y < High; ++y)
    for (int x = 0; x < Wide; ++x) {
      const int kind = y % 3;
      v[size_t(y) * Wide + x] = kind == 0 ? 1000 + x * 3 + y : kind == 1 ? 2000 + int(g() % 64) : int(g() % 4096);
    }
  return v;
}

struct LosslessCase {
  const char* Name;
  int High, Wide;  // of the coded picture
  int SensorWidth, ImageHeight, ImageWidth, Top, Left;
  int Half;
  const char* Maker;
  bool Long;
  double Keep;  // share of the file kept
  bool Garbage;  // the coded data replaced by random bytes
};

}  // namespace

TEST(CameraRawRoads, LosslessLoaderAgreesWithTheBitByBitDecoder) {
  const LosslessCase cases[] = {
      {"one coded line per sensor row", 64, 80, 80, 64, 80, 0, 0, 0, "Canon", false, 1, false},
      {"borders, masked columns and rows below", 70, 90, 90, 60, 80, 4, 6, 0, "Canon", false, 1, false},
      {"coded lines across sensor rows", 50, 96, 64, 70, 60, 2, 1, 0, "Canon", false, 1, false},
      {"half size", 70, 90, 90, 61, 81, 4, 6, 1, "Canon", false, 1, false},
      {"Kodak: the black level is the minimum", 70, 90, 90, 60, 80, 4, 6, 0, "KODAK", false, 1, false},
      {"codes longer than the look-up", 66, 80, 80, 66, 76, 0, 2, 0, "Canon", true, 1, false},
      {"cut short", 64, 80, 80, 64, 80, 0, 0, 0, "Canon", false, 0.55, false},
      {"cut short, long codes", 64, 80, 80, 64, 78, 1, 0, 0, "Canon", true, 0.4, false},
      {"damaged data", 64, 80, 80, 64, 80, 0, 0, 0, "Canon", false, 1, true},
      {"the 5108-wide layout", 4, 5108, 5108, 4, 5000, 0, 0, 0, "Canon", false, 1, false},
  };
  for (const LosslessCase& k : cases) {
    SCOPED_TRACE(k.Name);
    const std::vector<uint8_t> table = k.Long ? LongCodes() : LosslessTable();
    Bytes file = LosslessJpeg(Samples(k.High, k.Wide, 3), k.High, k.Wide, table);
    const size_t scan = 2 + 16 + 4 + 2 * (1 + table.size()) + 12;  // where the coded data starts
    if (k.Garbage) {
      std::mt19937 g(11);
      for (size_t i = scan; i < file.size(); ++i) file[i] = uint8_t(i % 97 == 0 ? 0xFF : g());
    }
    file.resize(scan + size_t(double(file.size() - scan) * k.Keep));
    auto run = [&](void (*Loader)(TQxRawContext&), bool Defer) {
      auto r = std::make_unique<RawRun>(file);
      std::strcpy(r->C->Maker, k.Maker);
      r->C->SensorWidth = k.SensorWidth;
      r->C->HalfSize = k.Half;
      r->Store((k.ImageHeight + k.Half) >> k.Half, (k.ImageWidth + k.Half) >> k.Half, 0x94949494u);
      r->C->ImageHeight = k.ImageHeight;
      r->C->ImageWidth = k.ImageWidth;
      r->C->TopBorder = k.Top;
      r->C->LeftBorder = k.Left;
      r->C->DeferPlacement = Defer;
      Loader(*r->C);
      return r;
    };
    const auto plain = run(PlainLossless, false);
    const auto fast = run(lossless_huffman_load_raw, false);
    const size_t bytes = size_t(plain->C->StoreHeight) * plain->C->StoreWidth * 8;
    EXPECT_EQ(std::memcmp(plain->C->Pixels, fast->C->Pixels, bytes), 0);
    EXPECT_EQ(fast->C->BlackSum, plain->C->BlackSum);
    EXPECT_EQ(fast->C->BlackLevel, plain->C->BlackLevel);
    // Rows left for the passes after loading are the rows the store would hold.
    const auto deferred = run(lossless_huffman_load_raw, true);
    EXPECT_EQ(deferred->C->BlackLevel, plain->C->BlackLevel);
    if (!deferred->C->PendingRow) continue;
    EXPECT_TRUE(k.Half == 0);
    std::vector<uint16_t> row(size_t(k.ImageWidth) * 4, 0xABCD);
    for (int y = 0; y < k.ImageHeight; ++y) {
      deferred->C->PendingRow(y, reinterpret_cast<uint16_t(*)[4]>(row.data()), nullptr);
      ASSERT_EQ(std::memcmp(row.data(), plain->C->Pixels + size_t(y) * k.ImageWidth, row.size() * 2), 0) << y;
    }
  }
}

TEST(CameraRawRoads, LosslessLoaderStopsWhereTheBitByBitDecoderStops) {
  // A damaged file is decoded up to the same line whatever the size of the bit reserve: every cut point of
  // a small file, with short lines so that a line starts near each of them.
  for (const bool longCodes : {false, true}) {
    const std::vector<uint8_t> table = longCodes ? LongCodes() : LosslessTable();
    const int high = 40, wide = 4;
    const Bytes whole = LosslessJpeg(Samples(high, wide, 8), high, wide, table);
    const size_t scan = 2 + 16 + 4 + 2 * (1 + table.size()) + 12;
    for (size_t keep = scan; keep <= whole.size(); ++keep) {
      SCOPED_TRACE(keep);
      const Bytes file(whole.begin(), whole.begin() + ptrdiff_t(keep));
      auto run = [&](void (*Loader)(TQxRawContext&)) {
        auto r = std::make_unique<RawRun>(file);
        std::strcpy(r->C->Maker, "Canon");
        r->Store(high, wide, 0x94949494u);
        Loader(*r->C);
        return r;
      };
      const auto plain = run(PlainLossless), fast = run(lossless_huffman_load_raw);
      ASSERT_EQ(std::memcmp(plain->C->Pixels, fast->C->Pixels, size_t(high) * wide * 8), 0);
    }
  }
}

// ---- the passes after loading -----------------------------------------------------------------------------

namespace {

Bytes CanonTiffRaw(const std::vector<int>& S, int High, int Wide) {
  return MakeTiff(false, {{Entry::Ascii(0x10F, "Canon"), Entry::Ascii(0x110, "Canon EOS Test"),
                           Entry::Data(0x111, LosslessJpeg(S, High, Wide)), Entry::Dir(0x14A, 1)},
                          {Entry::Long(0x100, uint32_t(Wide)), Entry::Long(0x101, uint32_t(High)), Entry::Short(0x103, 6)}});
}

Bytes NikonPacked(const std::string& Model, const std::vector<int>& V, int High, int Wide) {
  MsbBits b;
  for (int i = 0; i < High * Wide; ++i) b.Put(uint32_t(V[size_t(i)]), 12);
  Bytes data = b.Finish();
  data.resize(data.size() + 16, 0);
  return MakeTiff(false, {{Entry::Ascii(0x10F, "NIKON CORPORATION"), Entry::Ascii(0x110, "NIKON " + Model),
                           Entry::Short(262, 32803), Entry::Dir(0x14A, 1)},
                          {Entry::Short(0x100, uint32_t(Wide)), Entry::Short(0x101, uint32_t(High)),
                           Entry::Short(0x103, 1), Entry::Data(0x111, data)}});
}

std::vector<uint8_t> Read(const Bytes& File, const std::function<void(TIOParamsVals&)>& Set, bool Fused) {
  QxRegisterFurtherCodecs();
  QxRawFusedPasses = Fused;
  TMemoryStream s;
  s.Write(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  TQxBitmap b;
  TIOParamsVals p;
  if (Set) Set(p);
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  ReadCameraRawStream(&s, &b, p, pr, false);
  QxRawFusedPasses = true;
  std::vector<uint8_t> out;
  if (ab) {
    // Only a file cut short may fail, and then on both roads with the same error.
    EXPECT_NE(p.ReadError.find("ends before"), std::string::npos) << p.ReadError;
    return out;
  }
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.Scanline(y);
    out.insert(out.end(), row, row + size_t(b.Width()) * (b.PixelFormat() == TQxPixelFormat::qxRGB48 ? 6 : 3));
  }
  return out;
}

}  // namespace

TEST(CameraRawRoads, FusedPassesGiveThePlainPassesResult) {
  // Large enough for several bands of rows on every core, and for the passes that run while the loader
  // decodes to be able to overtake it (the rows they must wait for).
  const int high = 300, wide = 900;  // past the size from which balance goes by table
  std::vector<int> s(size_t(high) * wide);
  std::mt19937 g(5);
  for (int y = 0; y < high; ++y)
    for (int x = 0; x < wide; ++x) s[size_t(y) * wide + x] = 300 + x * 4 + y * 3 + ((x / 40 + y / 40) % 2) * 600 + int(g() % 256);
  const Bytes canon = CanonTiffRaw(s, high, wide), d70 = NikonPacked("D70", s, high, wide),
              e5700 = NikonPacked("E5700", s, high, wide);
  // The lossless data cut short (the loader stops partway), and a stream whose frame header is lost (the
  // loader hands on no rows at all).
  const Bytes canonCut(canon.begin(), canon.begin() + ptrdiff_t(canon.size() * 6 / 10));
  Bytes canonBroken = canon;
  for (size_t i = 0; i + 1 < canonBroken.size(); ++i)
    if (canonBroken[i] == 0xFF && canonBroken[i + 1] == 0xC3) {
      canonBroken[i + 1] = 0x00;
      break;
    }
  struct Variant {
    const char* Name;
    const Bytes* File;
    std::function<void(TIOParamsVals&)> Set;
  };
  const Variant variants[] = {
      {"lossless rows taken straight from the loader while it decodes", &canon, nullptr},
      {"the same again (the passes may run ahead of the loader)", &canon, nullptr},
      {"and again", &canon, nullptr},
      {"lossless, 48 bits", &canon, [](TIOParamsVals& p) { p.NativePixelFormat = 1; }},
      {"lossless, automatic balance", &canon, [](TIOParamsVals& p) { p.RawAutoWhiteBalance = 1; }},
      {"lossless, four colours", &canon, [](TIOParamsVals& p) { p.RawFourColors = 1; }},
      {"lossless, half size (not fused)", &canon, [](TIOParamsVals& p) { p.RawHalfSize = 1; }},
      {"lossless cut short", &canonCut, nullptr},
      {"lossless without its frame header", &canonBroken, nullptr},
      {"packed rows from the store", &d70, nullptr},
      {"packed, automatic balance and red scale", &d70,
       [](TIOParamsVals& p) {
         p.RawAutoWhiteBalance = 1;
         p.RawRedScale = 1.5;
       }},
      {"four-colour sensor through its matrix", &e5700, nullptr},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.Name);
    const std::vector<uint8_t> fused = Read(*v.File, v.Set, true), plain = Read(*v.File, v.Set, false);
    if (v.File == &canonCut) {
      // The loader runs out of data: both roads refuse the file rather than show a part of it.
      EXPECT_TRUE(fused.empty());
      EXPECT_TRUE(plain.empty());
      continue;
    }
    ASSERT_FALSE(plain.empty());
    ASSERT_EQ(fused.size(), plain.size());
    size_t differ = 0;
    for (size_t i = 0; i < plain.size(); ++i) differ += fused[i] != plain[i];
    EXPECT_EQ(differ, 0u);
  }
}

TEST(CameraRawRoads, LuminanceAndOutputKeepTheirArithmetic) {
  // Random cells through the colour conversion (no matrix: the luminance alone) and the 24-bit output,
  // against the arithmetic written out cell by cell.
  const int high = 9, wide = 37;
  RawRun r(Bytes{});
  r.Store(high, wide, 0x94949494u);
  std::mt19937 g(21);
  std::vector<std::array<uint16_t, 4>> cells(size_t(high) * wide);
  for (auto& c : cells) {
    for (int k = 0; k < 3; ++k) c[size_t(k)] = uint16_t(g() % 4 == 0 ? 65535 - g() % 7 : g() % 65536);
    c[3] = 0;
  }
  std::memcpy(r.C->Pixels, cells.data(), cells.size() * 8);
  r.C->EdgeTrim = 1;
  r.C->WhiteLevel = 65535;
  convert_camera_colors(*r.C);
  std::vector<int32_t> histogram(8192, 0);
  for (int y = 1; y < high - 1; ++y)
    for (int x = 1; x < wide - 1; ++x) {
      const auto& c = cells[size_t(y) * wide + x];
      const double x0 = c[0], x1 = c[1], x2 = c[2];
      const uint16_t luma = uint16_t(std::min(std::sqrt(x0 * x0 + x1 * x1 + x2 * x2) / 2, 65535.0));
      ASSERT_EQ(r.Cell(y, x)[3], luma) << y << "," << x;
      ++histogram[size_t(luma >> 3)];
    }
  EXPECT_TRUE(std::equal(histogram.begin(), histogram.end(), r.C->LumaHistogram));
  std::vector<std::array<uint16_t, 4>> converted(cells.size());
  std::memcpy(converted.data(), r.C->Pixels, cells.size() * 8);
  TQxBitmap b;
  TIOParamsVals p;
  std::strcpy(r.C->Maker, "Canon");
  write_ppm(*r.C, &b, p, false);
  ASSERT_EQ(b.Width(), wide - 2);
  for (int y = 0; y < high - 2; ++y)
    for (int x = 0; x < wide - 2; ++x) {
      const auto& c = converted[size_t(y + 1) * wide + x + 1];
      const double t = r.C->ToneTable[c[3]];
      const uint8_t* o = b.Scanline(y) + 3 * x;
      for (int k = 0; k < 3; ++k) ASSERT_EQ(o[2 - k], uint8_t(uint32_t(std::min(c[size_t(k)] * t, 255.0)))) << y << "," << x;
    }
}

TEST(CameraRawRoads, BalanceByTableKeepsItsArithmetic) {
  // Large stores are balanced through a table of every value: the same single-precision arithmetic.
  for (const int side : {64, 512}) {
    SCOPED_TRACE(side);
    RawRun r(Bytes{});
    r.Store(side, side, 0x94949494u);
    std::mt19937 g(4);
    std::vector<uint16_t> before(size_t(side) * side * 4);
    for (uint16_t& v : before) v = uint16_t(g() % 3 == 0 ? 0 : g() % 65536);
    std::memcpy(r.C->Pixels, before.data(), before.size() * 2);
    r.C->BlackLevel = 123;
    r.C->WhiteLevel = 60000;
    r.C->HasColorMatrix = 1;
    const float gains[4] = {1.7f, 1.0f, 2.3f, 1.9f};
    std::copy(gains, gains + 4, r.C->ChannelGains);
    apply_channel_gains(*r.C);
    const uint16_t* after = r.C->Pixels[0];
    for (size_t i = 0; i < before.size(); ++i) {
      const int c = int(i % 4), x = before[i];
      const int want = c == 3 || !x ? x : std::clamp(int(float(x - 123) * gains[c]), 0, 60000 - 123);
      ASSERT_EQ(after[i], want) << i;
    }
  }
}

TEST(CameraRawRoads, GainsAndMatricesFromDamagedFilesStayInRange) {
  // Gains and matrix entries read from a damaged file can be enormous or not numbers at all: the values
  // end at the white level or at black, never past what a sample holds.
  for (const int side : {64, 512}) {
    SCOPED_TRACE(side);
    RawRun r(Bytes{});
    r.Store(side, side, 0x94949494u);
    for (int64_t i = 0; i < int64_t(side) * side; ++i)
      for (int c = 0; c < 4; ++c) r.C->Pixels[i][c] = uint16_t(1000 + (i + c) % 3000);
    r.C->BlackLevel = 0;
    r.C->WhiteLevel = 70000;
    r.C->HasColorMatrix = 1;
    const float gains[4] = {1e30f, -1e30f, std::nanf(""), 1.0f};
    std::copy(gains, gains + 4, r.C->ChannelGains);
    apply_channel_gains(*r.C);
    for (int64_t i = 0; i < int64_t(side) * side; ++i) {
      ASSERT_EQ(r.C->Pixels[i][0], 65535) << i;
      ASSERT_EQ(r.C->Pixels[i][1], 0) << i;
      ASSERT_EQ(r.C->Pixels[i][2], 0) << i;
    }
    r.C->ColorCount = 3;
    for (auto& row : r.C->ColorMatrix) std::fill(std::begin(row), std::end(row), 0.0f);
    r.C->ColorMatrix[0][0] = 1e30f;
    r.C->ColorMatrix[1][0] = std::nanf("");
    r.C->ColorMatrix[2][0] = -1e30f;
    convert_camera_colors(*r.C);
    const int64_t mid = int64_t(side / 2) * side + side / 2;
    EXPECT_EQ(r.C->Pixels[mid][0], 65535);
    EXPECT_EQ(r.C->Pixels[mid][1], 0);
    EXPECT_EQ(r.C->Pixels[mid][2], 0);
  }
}
