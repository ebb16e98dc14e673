#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>

#include "imaging/io/png_bands.h"
#include "imaging/io/png_codec.h"
#include "io_test_util.h"

using namespace qvio;

namespace {

// Rows with flat runs, ramps and noise, so that every filter and long and short matches all occur.
std::vector<uint8_t> TestRows(size_t RowBytes, int32_t H) {
  std::vector<uint8_t> r(RowBytes * size_t(H));
  uint32_t n = 12345;
  for (int32_t y = 0; y < H; ++y)
    for (size_t x = 0; x < RowBytes; ++x) {
      n = n * 1664525u + 1013904223u;
      const size_t i = size_t(y) * RowBytes + x;
      r[i] = (y / 3) % 4 == 0 ? uint8_t(x / 7) : (y % 5 == 1 ? uint8_t(n >> 24) : uint8_t(x * 3 + y + (n >> 30)));
    }
  return r;
}

// Undoes the filters, as a reader does.
std::vector<uint8_t> Unfilter(const std::vector<uint8_t>& F, size_t RowBytes, int32_t Bpp, std::vector<int>& Types) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> prev(RowBytes, 0), cur(RowBytes);
  for (size_t at = 0; at + RowBytes + 1 <= F.size(); at += RowBytes + 1) {
    const int t = F[at];
    Types.push_back(t);
    const uint8_t* s = &F[at + 1];
    for (size_t i = 0; i < RowBytes; ++i) {
      const int a = i >= size_t(Bpp) ? cur[i - Bpp] : 0, b = prev[i], c = i >= size_t(Bpp) ? prev[i - Bpp] : 0;
      int pred = 0;
      if (t == 1) pred = a;
      if (t == 2) pred = b;
      if (t == 3) pred = (a + b) / 2;
      if (t == 4) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        pred = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
      }
      cur[i] = uint8_t(s[i] + pred);
    }
    out.insert(out.end(), cur.begin(), cur.end());
    prev = cur;
  }
  return out;
}

}  // namespace

TEST(PngBands, BandsJoinIntoOneZlibStreamOfTheRows) {
  // Small bands make many bands and many batches; rows wider than the window give one-row dictionaries.
  struct Case {
    size_t rowBytes;
    int32_t height, bpp, filter, level;
    size_t bandBytes;
  } cases[] = {
      {301, 400, 3, 0, 5, 2000},   {301, 400, 3, 1, 6, 2000},      {64, 2000, 4, 4, 9, 700},
      {120, 900, 1, 2, 1, 50},     {40000, 9, 4, 4, 5, 1},         {40000, 9, 4, 3, 0, 90000},
      {1000, 1, 2, 1, 5, 1 << 20}, {17, 5000, 1, 0, 5, 1 << 20},
  };
  // One thread makes one stream; several deflate bands side by side; 0 takes every core.
  for (int32_t threads : {1, 3, 0})
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rowBytes << "x" << c.height << " filter " << c.filter << " level " << c.level
                                    << " threads " << threads);
    const std::vector<uint8_t> rows = TestRows(c.rowBytes, c.height);
    TPngBandPlan plan;
    plan.Height = c.height;
    plan.RowBytes = c.rowBytes;
    plan.PixelBytes = c.bpp;
    plan.FilterType = c.filter;
    plan.Level = c.level;
    plan.BandBytes = c.bandBytes;
    plan.Threads = threads;
    std::vector<uint8_t> z;
    int32_t next = 0, reported = 0;
    const bool ok = DeflatePngRowsInBands(
        plan,
        [&](int32_t First, int32_t Last, uint8_t* Dest, size_t Stride) {
          EXPECT_EQ(First, next);  // in order, each row once
          EXPECT_GT(Last, First);
          for (int32_t y = First; y < Last; ++y, Dest += Stride)
            std::memcpy(Dest, rows.data() + size_t(y) * c.rowBytes, c.rowBytes);
          next = Last;
        },
        [&](const uint8_t* D, size_t N) { z.insert(z.end(), D, D + N); },
        [&](int32_t SoFar) {
          EXPECT_GT(SoFar, reported);
          reported = SoFar;
          return true;
        });
    ASSERT_TRUE(ok);
    EXPECT_EQ(reported, c.height);
    EXPECT_EQ(next, c.height);
    // zlib's own inflater checks the header, every block, the end and the Adler-32.
    std::vector<uint8_t> f((c.rowBytes + 1) * size_t(c.height));
    uLongf got = uLongf(f.size());
    ASSERT_EQ(uncompress(f.data(), &got, z.data(), uLong(z.size())), Z_OK);
    ASSERT_EQ(got, f.size());
    std::vector<int> types;
    EXPECT_EQ(Unfilter(f, c.rowBytes, c.bpp, types), rows);
    EXPECT_EQ(types, std::vector<int>(size_t(c.height), c.filter));
    EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0);
  }
}

TEST(PngBands, PrimedBandsCompressAboutAsWellAsOneStream) {
  // Without the previous band's bytes as dictionary every band would start cold.
  const size_t rowBytes = 3000;
  const int32_t h = 400;
  std::vector<uint8_t> rows(rowBytes * h);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t((i % rowBytes) * 7 / 5);
  TPngBandPlan plan;
  plan.Height = h;
  plan.RowBytes = rowBytes;
  plan.Level = 5;
  plan.BandBytes = 4 * (rowBytes + 1);
  std::vector<uint8_t> z;
  ASSERT_TRUE(DeflatePngRowsInBands(
      plan,
      [&](int32_t First, int32_t Last, uint8_t* D, size_t Stride) {
        for (int32_t y = First; y < Last; ++y, D += Stride) std::memcpy(D, &rows[size_t(y) * rowBytes], rowBytes);
      },
      [&](const uint8_t* D, size_t N) { z.insert(z.end(), D, D + N); }, [](int32_t) { return true; }));
  std::vector<uint8_t> filtered;
  for (int32_t y = 0; y < h; ++y) {
    filtered.push_back(0);
    filtered.insert(filtered.end(), rows.begin() + y * rowBytes, rows.begin() + (y + 1) * rowBytes);
  }
  std::vector<uint8_t> one(compressBound(uLong(filtered.size())));
  uLongf n = uLongf(one.size());
  ASSERT_EQ(compress2(one.data(), &n, filtered.data(), uLong(filtered.size()), 5), Z_OK);
  // 100 bands: a cold start costs each a few hundred bytes, a primed one a handful.
  EXPECT_LT(z.size(), n + 100 * 24);
}

TEST(PngBands, StopsWhenAsked) {
  for (int32_t threads : {1, 0}) {
    TPngBandPlan plan;
    plan.Height = 1000;
    plan.RowBytes = 100;
    plan.BandBytes = 1000;
    plan.Threads = threads;
    int calls = 0;
    int32_t made = 0;
    EXPECT_FALSE(DeflatePngRowsInBands(
        plan, [&](int32_t, int32_t Last, uint8_t*, size_t) { made = Last; }, [](const uint8_t*, size_t) {},
        [&](int32_t) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2) << threads;
    EXPECT_LT(made, 1000) << threads;
  }
}

TEST(PngBands, LargePicturesWrittenInBandsReadTheSameEverywhere) {
  // Large enough for the banded road; every filter it takes, with and without alpha.
  const int32_t W = 1100, H = 700;
  ASSERT_TRUE(PngBandsPay(size_t(W) * 3, H));
  auto src = MakeRGB(W, H);
  TQxBitmap alpha(W, H, TQxPixelFormat::qx8g);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) alpha.Scanline(y)[x] = uint8_t(y < H / 2 ? 255 : (x + 2 * y) & 255);
  const std::string dir = TempDir();
  for (int withAlpha = 0; withAlpha <= 1; ++withAlpha)
    for (int filter : {0, 1, 2}) {
      SCOPED_TRACE(testing::Message() << "alpha " << withAlpha << " filter " << filter);
      TIOParamsVals p;
      p.PngFilter = uint8_t(filter);
      p.PngCompression = 5;
      TMemoryStream s;
      TestProgress pr;
      int32_t lastPercent = -1;
      pr.Info.OnProgress = [&](TObject*, int32_t Percent) { lastPercent = Percent; };
      WritePngStream(s, *src, p, pr.Info, nullptr, withAlpha ? &alpha : nullptr);
      ASSERT_FALSE(pr.Aborting);
      EXPECT_EQ(lastPercent, 100);
      const std::string f = dir + "/big.png";
      WriteFile(f, BytesOf(s));
      if (HaveTool("pngcheck")) {
        EXPECT_EQ(Shell("pngcheck -q '" + f + "'"), 0);
      }
      std::vector<uint8_t> want;
      const std::vector<uint8_t> rgb = RgbOf(*src);
      for (size_t i = 0; i < size_t(W) * H; ++i) {
        want.insert(want.end(), rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3);
        want.push_back(withAlpha ? alpha.Scanline(int32_t(i / W))[i % W] : 255);
      }
      TIOParamsVals q;
      TestProgress rp;
      TQxBitmap back;
      auto in = StreamOf(BytesOf(s));
      ReadPngStream(*in, back, q, rp.Info, false);
      ASSERT_FALSE(rp.Aborting);
      EXPECT_EQ(RgbaMismatches(back, want), 0);
      if (HavePillow()) {
        EXPECT_TRUE(PillowPixels(f, "RGBA") == want);
      }
      if (HaveTool("convert")) {
        EXPECT_TRUE(MagickPixels(f, "RGBA") == want);
      }
    }
  std::filesystem::remove_all(dir);
}
