// Resampling filters, their end pixels and the threaded horizontal pass.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/resample.h"

namespace {

void Noise(TQxBitmap& b, uint32_t seed) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* r = b.Scanline(y);
    for (int32_t i = 0; i < b.RowLen(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      r[i] = uint8_t(seed >> 24);
    }
  }
}

bool SamePixels(TQxBitmap& a, TQxBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.RowLen() != b.RowLen()) return false;
  const size_t bytes = size_t(a.Width()) * size_t(a.BitCount() / 8);
  for (int32_t y = 0; y < a.Height(); ++y)
    if (std::memcmp(a.Scanline(y), b.Scanline(y), bytes) != 0) return false;
  return true;
}

}  // namespace

TEST(Resample, KernelResultIsTheSameOnOneThreadAndOnMany) {
  TQxBitmap src(173, 97, TQxPixelFormat::qx24RGB);
  Noise(src, 7);
  const int32_t many = std::max<int32_t>(int32_t(std::thread::hardware_concurrency()), 4);
  for (TResampleFilter f : {TResampleFilter::rfTriangle, TResampleFilter::rfLanczos3, TResampleFilter::rfMitchell}) {
    for (auto size : {std::pair{61, 40}, std::pair{300, 150}}) {
      TQxBitmap one(size.first, size.second, TQxPixelFormat::qx24RGB), all(size.first, size.second, TQxPixelFormat::qx24RGB);
      QxResampleKernel24(&src, &one, f, nullptr, {}, 1);
      QxResampleKernel24(&src, &all, f, nullptr, {}, many);
      EXPECT_TRUE(SamePixels(one, all)) << "filter " << int(f) << " to " << size.first;
      TQxBitmap plain(size.first, size.second, TQxPixelFormat::qx24RGB);
      QxResampleForceScalar = true;
      QxResampleKernel24(&src, &plain, f, nullptr, {}, many);
      QxResampleForceScalar = false;
      EXPECT_TRUE(SamePixels(one, plain)) << "filter " << int(f) << " to " << size.first;
    }
  }
  // A single row goes to the last band; the other bands are empty.
  TQxBitmap row(50, 1, TQxPixelFormat::qx24RGB);
  Noise(row, 3);
  TQxBitmap a(20, 3, TQxPixelFormat::qx24RGB), b(20, 3, TQxPixelFormat::qx24RGB);
  QxResampleKernel24(&row, &a, TResampleFilter::rfTriangle, nullptr, {}, 1);
  QxResampleKernel24(&row, &b, TResampleFilter::rfTriangle, nullptr, {}, 4);
  EXPECT_TRUE(SamePixels(a, b));
}

TEST(Resample, EnlargingKeepsTheEndPixels) {
  TQxBitmap src(2, 2, TQxPixelFormat::qx24RGB);
  src.SetPixel24(0, 0, TQxRGB{10, 20, 30});
  src.SetPixel24(1, 0, TQxRGB{200, 150, 100});
  src.SetPixel24(0, 1, TQxRGB{10, 20, 30});
  src.SetPixel24(1, 1, TQxRGB{200, 150, 100});
  for (TResampleFilter f : {TResampleFilter::rfTriangle, TResampleFilter::rfLanczos3, TResampleFilter::rfHermite}) {
    TQxBitmap dst(3, 2, TQxPixelFormat::qx24RGB);
    QxResample(&src, &dst, f);
    EXPECT_EQ(dst.GetPixel24(0, 0), (TQxRGB{10, 20, 30})) << int(f);
    EXPECT_EQ(dst.GetPixel24(2, 1), (TQxRGB{200, 150, 100})) << int(f);
  }
}

TEST(Resample, UniformPicturesStayUniformWithEveryFilter) {
  TQxBitmap src(37, 23, TQxPixelFormat::qx24RGB);
  src.Fill(0x205080);
  for (int f = 1; f <= 13; ++f) {
    TQxBitmap dst(11, 50, TQxPixelFormat::qx24RGB);
    QxResample(&src, &dst, TResampleFilter(f));
    if (f >= 12) {
      EXPECT_EQ(dst.PixelFormat(), TQxPixelFormat::qx1g);
      continue;
    }
    for (int32_t y = 0; y < 50; y += 7)
      for (int32_t x = 0; x < 11; x += 3) ASSERT_EQ(dst.GetPixel24(x, y), (TQxRGB{0x20, 0x50, 0x80})) << "filter " << f;
  }
}

TEST(Resample, SinglePixelSourceFillsTheDestination) {
  TQxBitmap one(1, 1, TQxPixelFormat::qx24RGB);
  one.SetPixel24(0, 0, TQxRGB{1, 2, 3});
  TQxBitmap dst(4, 3, TQxPixelFormat::qx24RGB);
  dst.Fill(0xFFFFFF);
  QxResample(&one, &dst, TResampleFilter::rfLanczos3);
  EXPECT_EQ(dst.GetPixel24(3, 2), (TQxRGB{1, 2, 3}));

  TQxBitmap empty;
  QxResample(&empty, &dst, TResampleFilter::rfTriangle);  // nothing happens
  EXPECT_EQ(dst.GetPixel24(0, 0), (TQxRGB{1, 2, 3}));
}

TEST(Resample, StrongNearestReductionTakesTheNearestSample) {
  TQxBitmap src(1024, 2, TQxPixelFormat::qx24RGB);
  src.Fill(0x0000C8);  // red 200 everywhere
  TQxBitmap dst(2, 2, TQxPixelFormat::qx24RGB);
  dst.Fill(0);
  QxResample(&src, &dst, TResampleFilter::rfNearest);  // scale 1/1023
  EXPECT_EQ(dst.GetPixel24(0, 0).r, 200);
  EXPECT_EQ(dst.GetPixel24(1, 1).r, 200);

  TQxBitmap g(1024, 2, TQxPixelFormat::qx8g), gd(2, 2, TQxPixelFormat::qx8g);
  g.Fill(90);
  QxResampleGray8(&g, &gd, TResampleFilter::rfNearest);
  EXPECT_EQ(gd.GetPixel8(1, 0), 90);
}

TEST(Resample, ProjectionIgnoresMiddleGrayAndKeepsThinLines) {
  TQxBitmap src(8, 8, TQxPixelFormat::qx24RGB);
  src.Fill(0x808080);
  TQxBitmap bw(4, 4, TQxPixelFormat::qx24RGB);
  QxResample(&src, &bw, TResampleFilter::rfProjectBW);
  ASSERT_EQ(bw.PixelFormat(), TQxPixelFormat::qx1g);
  EXPECT_EQ(bw.GetPixelRGB(2, 2).r, 255);  // 128 is not black
  TQxBitmap wb(4, 4, TQxPixelFormat::qx24RGB);
  QxResample(&src, &wb, TResampleFilter::rfProjectWB);
  EXPECT_EQ(wb.GetPixelRGB(2, 2).r, 0);  // nor white

  // A one-pixel black line survives a 4:1 reduction.
  src.Fill(0xFFFFFF);
  for (int32_t y = 0; y < 8; ++y) src.SetPixel24(3, y, TQxRGB{0, 0, 0});
  TQxBitmap line(2, 2, TQxPixelFormat::qx1g);
  QxResample(&src, &line, TResampleFilter::rfProjectBW);
  EXPECT_EQ(line.GetPixelRGB(1, 1).r, 0);
  EXPECT_EQ(line.GetPixelRGB(0, 1).r, 255);
}

TEST(Resample, BilinearOnPaletteGoesThroughColour) {
  TQxBitmap p(6, 6, TQxPixelFormat::qx8p);
  p.SetPaletteColor(0, TQxRGB{5, 6, 7});
  p.Fill(0);
  TQxBitmap dst(3, 3, TQxPixelFormat::qx8p);
  QxResample(&p, &dst, TResampleFilter::rfBilinear);
  EXPECT_EQ(dst.PixelFormat(), TQxPixelFormat::qx24RGB);
  EXPECT_EQ(dst.GetPixel24(1, 1), (TQxRGB{5, 6, 7}));

  TQxBitmap g(6, 4, TQxPixelFormat::qx8g), gd(4, 9, TQxPixelFormat::qx8g);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x) g.Scanline(y)[x] = uint8_t(40 * x);
  QxResample(&g, &gd, TResampleFilter::rfBicubic);
  EXPECT_LT(gd.GetPixel8(0, 4), gd.GetPixel8(3, 4));  // the ramp keeps its direction
}

TEST(Resample, ProgressStaysBelowHundredAndNeverGoesBack) {
  TQxBitmap src(64, 40, TQxPixelFormat::qx24RGB);
  Noise(src, 11);
  TQxBitmap dst(30, 20, TQxPixelFormat::qx24RGB);
  std::vector<int32_t> seen;
  QxResample(&src, &dst, TResampleFilter::rfLanczos3, nullptr,
             [&](TObject*, int32_t per) { seen.push_back(per); });
  ASSERT_FALSE(seen.empty());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_LT(seen[i], 100);
    if (i) {
      EXPECT_GT(seen[i], seen[i - 1]);
    }
  }
}

TEST(Resample, FastLinearAveragesWhenReducingAndCopiesAtOneToOne) {
  TQxBitmap src(4, 1, TQxPixelFormat::qx24RGB);
  for (int32_t x = 0; x < 4; ++x) src.SetPixel24(x, 0, TQxRGB{uint8_t(x * 10), 0, 0});
  TQxBitmap same(4, 1, TQxPixelFormat::qx24RGB);
  QxResampleFastLinear(&src, &same);
  EXPECT_TRUE(SamePixels(src, same));
  TQxBitmap half(2, 1, TQxPixelFormat::qx24RGB);
  QxResampleFastLinear(&src, &half);
  EXPECT_EQ(half.GetPixel24(0, 0).b, 10);  // columns 0..2 inclusive average
  EXPECT_EQ(half.GetPixel24(1, 0).b, 20);  // the last column takes its own sample
}
