#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "imaging/foundation/geometry_helpers.h"
#include "imaging/processing/blur.h"
#include "imaging/processing/filters.h"
#include "platform/graphics/bitmap.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

// Separable Gaussian in double precision with clamped ends.
std::vector<double> ReferenceBlur(const std::vector<double>& In, int W, int H, int C, double Sigma) {
  std::vector<double> k(201);
  double sum = 0;
  for (int i = 0; i <= 200; ++i) sum += k[i] = std::exp(-std::pow((i - 100) / Sigma, 2) / 2);
  for (double& v : k) v /= sum;
  auto pass = [&](const std::vector<double>& s, bool rows) {
    std::vector<double> d(s.size());
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        for (int c = 0; c < C; ++c) {
          double acc = 0;
          for (int o = -100; o <= 100; ++o) {
            const int xx = rows ? std::clamp(x + o, 0, W - 1) : x, yy = rows ? y : std::clamp(y + o, 0, H - 1);
            acc += k[o + 100] * s[(size_t(yy) * W + xx) * C + c];
          }
          d[(size_t(y) * W + x) * C + c] = acc;
        }
    return d;
  };
  return pass(pass(In, true), false);
}

TEST(Blur, MatchesDoublePrecisionReference) {
  for (F f : {F::qx8g, F::qx24RGB}) {
    for (double sigma : {0.8, 2.5}) {
      SCOPED_TRACE(testing::Message() << int(f) << " sigma " << sigma);
      auto b = Pattern(37, 23, f, 4);
      const int C = f == F::qx8g ? 1 : 3;
      const std::vector<uint8_t> before = Pixels(b.get());
      const std::vector<double> ref =
          ReferenceBlur(std::vector<double>(before.begin(), before.end()), 37, 23, C, sigma);
      QxBlurBitmap(b.get(), nullptr, sigma);
      const std::vector<uint8_t> got = Pixels(b.get());
      double worst = 0;
      for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::fabs(got[i] - ref[i]));
      EXPECT_LE(worst, 1.0);
    }
  }
}

TEST(Blur, KernelAndSmallSigma) {
  TQxGaussKernel k;
  QxGaussKernel(k, 0.2);
  EXPECT_EQ(k.Weights[100], 65536);
  EXPECT_EQ(k.Radius, 1);
  auto b = Pattern(9, 9, F::qx24RGB);
  const auto before = Pixels(b.get());
  QxBlurBitmap(b.get(), nullptr, 0.2);
  EXPECT_EQ(Pixels(b.get()), before);
  QxBlurBitmap(b.get(), nullptr, 0);
  EXPECT_EQ(Pixels(b.get()), before);
  QxGaussKernel(k, 3);
  EXPECT_GT(k.Radius, 5);
  EXPECT_EQ(k.Weights[100 + k.Radius + 1], 0);
}

TEST(Blur, RectStaysInsideItsRectangle) {
  auto b = Pattern(20, 12, F::qx8g);
  auto orig = Pattern(20, 12, F::qx8g);
  QxBlurRect8(b.get(), 5, 2, 400, 8, 2.0);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      if (x < 5 || y < 2 || y > 8) {
        ASSERT_EQ(b->GetPixel8(x, y), orig->GetPixel8(x, y)) << x << "," << y;
      }
    }
  // Pixels outside the rectangle do not contribute: a flat rectangle stays flat whatever is around it.
  TQxBitmap flat(10, 10, F::qx8g);
  flat.Fill(0);
  flat.FillRect(2, 2, 7, 7, 100);
  QxBlurRect8(&flat, 2, 2, 7, 7, 3.0);
  EXPECT_EQ(flat.GetPixel8(2, 2), 100);
  EXPECT_EQ(flat.GetPixel8(7, 5), 100);
}

TEST(Blur, SoftShadows) {
  TQxBitmap b(40, 40, F::qx24RGB);
  b.Fill(0xFFFFFF);
  EXPECT_EQ(QxObjectSoftShadow(&b, 3, -4, 2, 100, 0, 10, 10, 20, 20), 18);
  EXPECT_EQ(QxObjectSoftShadow(&b, 0, 0, 0, 100, 0, 10, 10, 20, 20), 10);

  // An opaque square; the shadow lies where the object is transparent.
  auto shadow = [](int32_t intensity) {
    auto s = std::make_unique<TQxBitmap>(30, 30, F::qx24RGB);
    s->Fill(0xFFFFFF);
    TQxBitmap* a = s->GetAlphaChannel();
    a->Fill(0);
    a->FillRect(10, 10, 19, 19, 255);
    QxSoftShadow(s.get(), 3, 3, 2.0, intensity, false, 0x102030);
    return s;
  };
  auto full = shadow(100), none = shadow(0);
  EXPECT_EQ(full->GetAlpha(15, 15), 255);
  EXPECT_EQ(full->GetPixel24(15, 15), (TQxRGB{255, 255, 255}));
  EXPECT_EQ(full->GetPixel24(21, 21), (TQxRGB{0x30, 0x20, 0x10}));
  const int s100 = full->GetAlpha(21, 21), s0 = none->GetAlpha(21, 21);
  EXPECT_GT(s100, 100);
  EXPECT_EQ(s0, s100 / 3);
  EXPECT_EQ(full->GetAlpha(0, 0), 0);

  TQxBitmap e(10, 10, F::qx24RGB);
  e.Fill(0);
  QxSoftShadow(&e, 2, 1, 1.0, 50, true, 0);
  EXPECT_EQ(e.Width(), 10 + 2 * 2 + 5);
}

}  // namespace

// The processing library lends its blur to the foundation's soft shadow: the shadow fades out over its
// band instead of stopping at a hard edge.
TEST(SoftShadow, FadesThroughTheProcessingBlur) {
  TBitmap b(60, 40, TPixelFormat::pf24bit);  // white
  QxDrawSoftShadow(&b, 10, 10, 40, 25, clBlack);
  std::set<int> levels;
  for (int32_t x = 40; x < 46; ++x) levels.insert(static_cast<uint8_t*>(b.ScanLine(15))[3 * x]);
  int between = 0;
  for (int v : levels) between += v > 0 && v < 255;
  EXPECT_GE(between, 3) << "a hard-edged shadow has no levels between black and white";
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(15))[3 * 20], 255);  // the rectangle itself is left alone
}
