// Pixel-format conversion, scaled drawing and the blend operations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/pixel_convert.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"

namespace {

constexpr TQxPixelFormat kFormats[] = {
    TQxPixelFormat::qx1g,  TQxPixelFormat::qx8p,   TQxPixelFormat::qx8g,    TQxPixelFormat::qx16g,
    TQxPixelFormat::qx24RGB, TQxPixelFormat::qx32f, TQxPixelFormat::qxCMYK, TQxPixelFormat::qxRGB48,
    TQxPixelFormat::qxCIELab, TQxPixelFormat::qx32RGB};

// A 4 x 2 picture of black and white pixels in the given format (built through qx24RGB).
std::unique_ptr<TQxBitmap> BlackWhite(TQxPixelFormat f) {
  auto b = std::make_unique<TQxBitmap>(4, 2, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const uint8_t v = ((x + y) & 1) ? 255 : 0;
      b->SetPixel24(x, y, TQxRGB{v, v, v});
    }
  b->SetPixelFormat(f);
  return b;
}

TQxRGB Blend(TQxRGB s, TQxRGB d, int op, int row = 0) {
  QxBlendPixel(s, d, TQxBlendOperation(op), row);
  return d;
}

}  // namespace

TEST(PixelConvert, GrayLevelsOfTheEdgeCases) {
  TQxBitmap b(1, 1, TQxPixelFormat::qx24RGB);
  b.SetPixel24(0, 0, TQxRGB{50, 100, 200});
  TQxBitmap g(1, 1, TQxPixelFormat::qx8g), w(1, 1, TQxPixelFormat::qx16g);
  g.ConvertFrom(&b);
  w.ConvertFrom(&b);
  EXPECT_EQ(g.GetPixel8(0, 0), 117);
  EXPECT_EQ(w.GetPixel16(0, 0), 30184);

  TQxBitmap g128(1, 1, TQxPixelFormat::qx8g);
  g128.Fill(128);
  g128.SetPixelFormat(TQxPixelFormat::qx16g);
  EXPECT_EQ(g128.GetPixel16(0, 0), 32896);
}

TEST(PixelConvert, SixteenBitGrayThroughTheDisplayRange) {
  struct Case {
    uint16_t v;
    double lo, hi;
    uint8_t expect;
  } cases[] = {{40000, 10000, 20000, 255}, {15000, 10000, 20000, 127}, {40000, 0, 0, 156}};
  for (const Case& c : cases) {
    TQxBitmap w(1, 1, TQxPixelFormat::qx16g);
    w.SetPixel16(0, 0, c.v);
    TQxBitmap rgb(1, 1, TQxPixelFormat::qx24RGB);
    rgb.RangeLow = c.lo;
    rgb.RangeHigh = c.hi;
    rgb.ConvertFrom(&w);
    EXPECT_EQ(rgb.GetPixel24(0, 0).g, c.expect) << c.v;
  }
}

TEST(PixelConvert, EveryPairConvertsAndBlackAndWhiteSurvive) {
  for (TQxPixelFormat from : kFormats)
    for (TQxPixelFormat to : kFormats) {
      auto b = BlackWhite(from);
      b->BWConversion = 0;
      b->SetPixelFormat(to);
      ASSERT_EQ(b->PixelFormat(), to);
      // Back to colour: black stays black and white stays white (CIELab within rounding).
      b->SetPixelFormat(TQxPixelFormat::qx24RGB);
      const TQxRGB black = b->GetPixel24(0, 0), white = b->GetPixel24(1, 0);
      EXPECT_LE(black.g, 2) << int(from) << " -> " << int(to);
      EXPECT_GE(white.g, 253) << int(from) << " -> " << int(to);
    }
}

TEST(PixelConvert, LosslessPairsRoundTrip) {
  TQxBitmap src(7, 3, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) src.SetPixel24(x, y, TQxRGB{uint8_t(x * 37), uint8_t(y * 91), uint8_t(x * y * 13)});
  for (TQxPixelFormat via : {TQxPixelFormat::qx32RGB, TQxPixelFormat::qxRGB48}) {
    TQxBitmap b;
    b.AssignFrom(&src);
    b.SetPixelFormat(via);
    b.SetPixelFormat(TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(b.GetPixel24(x, y), src.GetPixel24(x, y)) << int(via);
  }
  TQxBitmap g(9, 2, TQxPixelFormat::qx8g);
  for (int32_t x = 0; x < 9; ++x) g.Scanline(0)[x] = g.Scanline(1)[x] = uint8_t(x * 31);
  for (TQxPixelFormat via : {TQxPixelFormat::qx16g, TQxPixelFormat::qx24RGB, TQxPixelFormat::qx8p,
                             TQxPixelFormat::qx32f, TQxPixelFormat::qxRGB48}) {
    TQxBitmap b;
    b.AssignFrom(&g);
    b.SetPixelFormat(via);
    b.SetPixelFormat(TQxPixelFormat::qx8g);
    for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(b.GetPixel8(x, 1), uint8_t(x * 31)) << int(via);
  }
  // A palette picture with few colours keeps them exactly through 24 bits.
  TQxBitmap p(3, 1, TQxPixelFormat::qx8p);
  p.SetPaletteColor(0, TQxRGB{10, 20, 30});
  p.SetPaletteColor(1, TQxRGB{200, 100, 0});
  p.Scanline(0)[0] = 0;
  p.Scanline(0)[1] = 1;
  p.Scanline(0)[2] = 0;
  p.SetPixelFormat(TQxPixelFormat::qx24RGB);
  p.SetPixelFormat(TQxPixelFormat::qx8p);
  EXPECT_EQ(p.GetPixelRGB(1, 0), (TQxRGB{200, 100, 0}));
  EXPECT_EQ(p.GetPixelRGB(2, 0), (TQxRGB{10, 20, 30}));
}

TEST(PixelConvert, OneBitToCIELabGoesThroughColourAndLeavesTheSourceThere) {
  auto bits = BlackWhite(TQxPixelFormat::qx1g);
  auto rgb = BlackWhite(TQxPixelFormat::qx24RGB);
  TQxBitmap lab1(4, 2, TQxPixelFormat::qxCIELab), lab2(4, 2, TQxPixelFormat::qxCIELab);
  lab1.ConvertFrom(bits.get());
  lab2.ConvertFrom(rgb.get());
  EXPECT_EQ(bits->PixelFormat(), TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(lab1.Scanline(y), lab2.Scanline(y), 12), 0);
}

TEST(PixelConvert, OrderedDitherOfMidGraySetsHalfOfEveryBlock) {
  TQxBitmap g(16, 16, TQxPixelFormat::qx8g);
  g.Fill(128);
  TQxBitmap bw(16, 16, TQxPixelFormat::qx1g);
  bw.BWConversion = 0;
  bw.ConvertFrom(&g);
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 2; ++bx) {
      int set = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) set += (bw.GetPixelRGB(bx * 8 + x, by * 8 + y).r != 0);
      EXPECT_EQ(set, 32);
    }
}

TEST(PixelConvert, OrderedDitherReadsIndexesPastAShortPaletteAsBlack) {
  // A raw stream whose palette holds two white entries, over indexes 0, 1 and 200.
  TQxBitmap p(16, 8, TQxPixelFormat::qx8p);
  p.SetPaletteColor(0, TQxRGB{255, 255, 255});
  p.SetPaletteColor(1, TQxRGB{255, 255, 255});
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 16; ++x) p.Scanline(y)[x] = x < 4 ? 0 : x < 8 ? 1 : 200;
  TMemoryStream full;
  p.SaveRawToStream(&full);
  const auto* b = static_cast<const uint8_t*>(full.Memory());
  std::vector<uint8_t> cut(b, b + 16);
  const int32_t two = 2;
  cut.insert(cut.end(), reinterpret_cast<const uint8_t*>(&two), reinterpret_cast<const uint8_t*>(&two) + 4);
  cut.insert(cut.end(), b + 20, b + 26);
  cut.insert(cut.end(), b + 20 + 768, b + full.Size());
  TMemoryStream s;
  s.WriteBuffer(cut.data(), int64_t(cut.size()));
  s.SetPosition(0);
  TQxBitmap shortPal;
  ASSERT_TRUE(shortPal.LoadRawFromStream(&s));
  ASSERT_EQ(shortPal.PaletteLength(), 2);
  TQxBitmap bw(16, 8, TQxPixelFormat::qx1g);
  bw.BWConversion = 0;
  bw.ConvertFrom(&shortPal);
  int white = 0, past = 0;  // white leaves one pixel of each block (the matrix's 63) unset
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 16; ++x) (x < 8 ? white : past) += bw.GetPixelRGB(x, y).r != 0;
  EXPECT_EQ(white, 63);
  EXPECT_EQ(past, 0);
}

TEST(PixelConvert, ConversionKeepsAlphaAndEqualFormatsWriteNothing) {
  TQxBitmap p(2, 2, TQxPixelFormat::qx8p);
  p.SetAlpha(1, 1, 33);
  p.SetPixelFormat(TQxPixelFormat::qx24RGB);
  ASSERT_TRUE(p.HasAlphaChannel());
  EXPECT_EQ(p.GetAlpha(1, 1), 33);

  TQxBitmap a(2, 1, TQxPixelFormat::qx8g), b(2, 1, TQxPixelFormat::qx8g);
  a.Fill(10);
  b.Fill(20);
  b.ConvertFrom(&a);
  EXPECT_EQ(b.GetPixel8(0, 0), 20);
}

TEST(BlendPixel, OperationsGiveTheirValues) {
  const TQxRGB red{0, 0, 255}, mid{128, 128, 128}, c200{200, 200, 200};
  EXPECT_EQ(Blend(red, mid, 16), (TQxRGB{64, 64, 180}));
  EXPECT_EQ(Blend(c200, c200, 12), (TQxRGB{110, 110, 110}));
  EXPECT_EQ(Blend(red, mid, 41, 4), red);
  EXPECT_EQ(Blend(red, mid, 41, 5), mid);
  EXPECT_EQ(Blend(red, mid, 42, 5), red);
  struct Case {
    int op;
    uint8_t s, d, expect;
  } cases[] = {{1, 200, 100, 255},  {2, 50, 200, 150},  {3, 0, 90, 90},     {4, 128, 200, 100},
               {5, 0x0F, 0xF0, 0xFF}, {6, 0x3C, 0x0F, 0x0C}, {7, 0xFF, 0x0F, 0xF0}, {8, 3, 9, 9},
               {9, 3, 9, 3},        {10, 3, 9, 6},      {11, 255, 0, 255},  {13, 200, 100, uint8_t(200 + 100 - 156)},
               {14, 100, 200, 255 - ((55 * 155) >> 7)}, {15, 100, 200, (100 * 200) >> 7},
               {18, 255, 7, 255},   {19, 0, 7, 0},      {20, 7, 255, 255},  {21, 7, 0, 0},
               {24, 5, 100, 40},    {28, 100, 100, 0},  {30, 200, 100, 244}, {43, 1, 77, 77}};
  for (const Case& c : cases) {
    const TQxRGB r = Blend({c.s, c.s, c.s}, {c.d, c.d, c.d}, c.op);
    EXPECT_EQ(r.g, c.expect) << "op " << c.op;
  }
  EXPECT_EQ(Blend({1, 2, 3}, {7, 8, 9}, 31), (TQxRGB{7, 8, 3}));
  EXPECT_EQ(Blend({1, 2, 3}, {7, 8, 9}, 39), (TQxRGB{1, 2, 9}));
  // Hue of a red source on a gray destination keeps the gray (no saturation).
  EXPECT_EQ(Blend(red, mid, 34), mid);
  // Anaglyph of equal pictures: red from the left picture, green and blue from the right one.
  const TQxRGB an = Blend(c200, c200, 40);
  EXPECT_EQ(an.r, 200);  // 0.4561+0.500484+0.176381-0.0434706-0.0879388-0.00155529 = 1.0000 (x 200)
}

TEST(DrawScaled, NegativeDestinationStartsInsideTheSource) {
  TQxBitmap src(200, 1, TQxPixelFormat::qx8g);
  for (int32_t x = 0; x < 200; ++x) src.Scanline(0)[x] = uint8_t(x);
  TQxBitmap dst(100, 1, TQxPixelFormat::qx24RGB);
  dst.Fill(0);
  src.DrawScaled(&dst, -50, 0, 100, 1, 0, 0, 200, 1);
  EXPECT_EQ(dst.GetPixel24(0, 0).g, 100);
  EXPECT_EQ(dst.GetPixel24(49, 0).g, 198);
  EXPECT_EQ(dst.GetPixel24(50, 0).g, 0);  // outside the drawn part
}

TEST(DrawScaled, TranslucencyAlphaAndClipping) {
  TQxBitmap white(2, 2, TQxPixelFormat::qx24RGB);
  white.Fill(0xFFFFFF);
  TQxBitmap dst(2, 2, TQxPixelFormat::qx24RGB);
  dst.Fill(0);
  white.DrawScaled(&dst, 0, 0, 2, 2, 0, 0, 2, 2, 128);
  EXPECT_EQ(dst.GetPixel24(1, 1).r, 127);

  // The source alpha blends per pixel; the lower of alpha and transparency wins.
  white.SetAlpha(0, 0, 0);
  white.SetAlpha(1, 0, 64);
  dst.Fill(0);
  white.DrawScaled(&dst, 0, 0, 2, 2, 0, 0, 2, 2, 128);
  EXPECT_EQ(dst.GetPixel24(0, 0).r, 0);
  EXPECT_EQ(dst.GetPixel24(1, 0).r, 63);
  EXPECT_EQ(dst.GetPixel24(1, 1).r, 127);

  // A clip rectangle limits the drawn pixels; tables handed back are reused.
  TQxBitmap src(4, 4, TQxPixelFormat::qx8g);
  src.Fill(90);
  TQxBitmap out(8, 8, TQxPixelFormat::qx24RGB);
  out.Fill(0);
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xt, yt;
  const TRect clip{2, 2, 3, 3};
  src.DrawScaledEx(&out, rows, xt, yt, &clip, 0, 0, 8, 8, 0, 0, 4, 4, false, true, 255, TResampleFilter::rfNone,
                   false, 0);
  EXPECT_EQ(out.GetPixel24(2, 2).r, 90);
  EXPECT_EQ(out.GetPixel24(3, 3).r, 90);
  EXPECT_EQ(out.GetPixel24(4, 4).r, 0);
  EXPECT_EQ(out.GetPixel24(1, 2).r, 0);
  EXPECT_EQ(xt.size(), 2u);
  EXPECT_EQ(rows.size(), 8u);
}

TEST(DrawScaled, ContrastBeyondTheIntRangeSaturates) {
  TQxBitmap src(2, 1, TQxPixelFormat::qx24RGB);
  src.SetPixel24(0, 0, TQxRGB{255, 255, 255});
  src.SetPixel24(1, 0, TQxRGB{0, 0, 0});
  src.Contrast = 200000;  // factor far above 2^31 / 255
  TQxBitmap dst(2, 1, TQxPixelFormat::qx24RGB);
  dst.Fill(0x808080);
  src.DrawScaled(&dst, 0, 0, 2, 1, 0, 0, 2, 1);
  EXPECT_EQ(dst.GetPixel24(0, 0).r, 255);
  EXPECT_EQ(dst.GetPixel24(1, 0).r, 0);
}

TEST(DrawScaled, ResampledDrawingAndStretchCopyWriteAlpha) {
  TQxBitmap src(8, 8, TQxPixelFormat::qx24RGB);
  src.Fill(0x00FF00);
  TQxBitmap dst(4, 4, TQxPixelFormat::qx24RGB);
  dst.Fill(0);
  src.DrawScaled(&dst, 0, 0, 4, 4, 0, 0, 8, 8, 255, TResampleFilter::rfTriangle);
  EXPECT_EQ(dst.GetPixel24(3, 3), (TQxRGB{0, 255, 0}));

  TQxBitmap copy(4, 4, TQxPixelFormat::qx24RGB);
  src.StretchCopyRect(&copy, 0, 0, 4, 4, 0, 0, 8, 8, TResampleFilter::rfNone, 77);
  EXPECT_EQ(copy.GetPixel24(2, 2), (TQxRGB{0, 255, 0}));
  ASSERT_TRUE(copy.HasAlphaChannel());
  EXPECT_EQ(copy.GetAlpha(3, 3), 77);
}

TEST(PixelConvert, WideRowsMatchThePerPixelRules) {
  // Rows long enough for the vector paths, with a tail that is not a whole vector.
  const int32_t w = 101, h = 9;
  TQxBitmap src(w, h, TQxPixelFormat::qx24RGB);
  uint32_t seed = 99;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      src.SetPixel24(x, y, TQxRGB{uint8_t(seed >> 8), uint8_t(seed >> 16), uint8_t(seed >> 24)});
    }
  src.SetPixel24(0, 0, TQxRGB{255, 255, 255});
  TQxBitmap gray(w, h, TQxPixelFormat::qx8g), bw(w, h, TQxPixelFormat::qx1g);
  bw.BWConversion = 0;
  gray.ConvertFrom(&src);
  bw.ConvertFrom(&src);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const TQxRGB c = src.GetPixel24(x, y);
      const int32_t g = (c.r * 21 + c.g * 71 + c.b * 8) / 100;
      ASSERT_EQ(gray.GetPixel8(x, y), g) << x << "," << y;
      ASSERT_EQ(bw.GetPixelRGB(x, y).r != 0, QxDitherMatrix[x % 8][y % 8] < g / 4) << x << "," << y;
    }
}

TEST(DrawScaled, IntoAPlatformBitmap) {
  TQxBitmap red(1, 1, TQxPixelFormat::qx24RGB);
  red.Fill(0x0000FF);
  TBitmap t(3, 3, TPixelFormat::pf24bit);
  std::memset(t.Bits(), 0, size_t(t.RowBytes()) * 3);
  red.DrawScaledToTBitmap(&t, 1, 1, 2, 2, 0, 0, 1, 1);
  EXPECT_EQ(t.GetPixel(2, 2), 0x0000FFu);
  EXPECT_EQ(t.GetPixel(0, 0), 0u);
}

// Every source, destination and weight through the row blends, at 1:1 (whole rows) and scaled (gathered
// columns), against d + ((s - d) * w >> 8). The picture is large enough to be drawn in bands.
TEST(DrawScaled, TranslucentRowsMatchThePerPixelRule) {
  constexpr int32_t N = 256;
  TQxBitmap src(N + 19, N, TQxPixelFormat::qx24RGB);  // an odd width leaves a tail after the vector steps
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N + 19; ++x) src.SetPixel24(x, y, TQxRGB{uint8_t(x), uint8_t(255 - x), uint8_t(x * 7)});
  for (int32_t y = 0; y < N; ++y)
    for (int32_t x = 0; x < N + 19; ++x) src.SetAlpha(x, y, uint8_t((x * 5 + y * 3) & 255));
  src.GetAlphaChannel()->Opaque = false;
  // Weight 255 (an opaque pixel at full opacity) replaces what lies below.
  auto expect = [](int32_t s, int32_t d, int32_t w) { return w == 255 ? uint8_t(s) : uint8_t(d + (((s - d) * w) >> 8)); };
  for (const int32_t t : {0, 1, 127, 128, 254, 255})
    for (const bool scaled : {false, true})
      for (const bool withAlpha : {false, true}) {
        if (t == 255 && !withAlpha) continue;  // opaque: a plain copy
        TQxBitmap dst(N + 19, N, TQxPixelFormat::qx24RGB);
        for (int32_t y = 0; y < N; ++y)
          for (int32_t x = 0; x < N + 19; ++x) dst.SetPixel24(x, y, TQxRGB{uint8_t(y), uint8_t(y ^ 0x55), uint8_t(255 - y)});
        std::vector<uint8_t*> rows;
        std::vector<int32_t> xt, yt;
        // Scaled: every destination column reads source column x / 2 + 3.
        const int32_t srcW = scaled ? (N + 19) / 2 : N + 19;
        src.DrawScaledEx(&dst, rows, xt, yt, nullptr, 0, 0, N + 19, N, scaled ? 3 : 0, 0, srcW, N, withAlpha, false, t,
                         TResampleFilter::rfNone, true, 0);
        for (int32_t y = 0; y < N; ++y)
          for (int32_t x = 0; x < N + 19; ++x) {
            const int32_t sx = scaled ? int32_t(x * (double(srcW) / (N + 19))) + 3 : x;
            const TQxRGB s = src.GetPixel24(sx, y);
            const int32_t w = withAlpha ? std::min<int32_t>(t, src.GetAlpha(sx, y)) : t;
            const TQxRGB got = dst.GetPixel24(x, y);
            ASSERT_EQ(got.b, expect(s.b, y, w)) << t << scaled << withAlpha << " at " << x << "," << y;
            ASSERT_EQ(got.g, expect(s.g, y ^ 0x55, w)) << t << scaled << withAlpha << " at " << x << "," << y;
            ASSERT_EQ(got.r, expect(s.r, 255 - y, w)) << t << scaled << withAlpha << " at " << x << "," << y;
          }
      }
}

// Large conversions run in bands on all cores; a file-located destination is converted a row at a time.
// Both must give the same bytes.
TEST(PixelConvert, BandedConversionsEqualTheRowByRowRoad) {
  constexpr int32_t W = 301, H = 260;  // more than 65536 pixels
  TQxBitmap src(W, H, TQxPixelFormat::qx24RGB);
  uint32_t seed = 5;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t i = 0; i < W * 3; ++i) {
      seed = seed * 1664525u + 1013904223u;
      src.Scanline(y)[i] = uint8_t(seed >> 24);
    }
  for (const TQxPixelFormat f : {TQxPixelFormat::qx8g, TQxPixelFormat::qx1g, TQxPixelFormat::qx16g,
                                 TQxPixelFormat::qx32f, TQxPixelFormat::qxRGB48, TQxPixelFormat::qx32RGB}) {
    TQxBitmap banded, serial;
    banded.MemoryThreshold = INT64_MAX;
    serial.MemoryThreshold = 0;  // a temporary file
    ASSERT_TRUE(banded.Allocate(W, H, f));
    ASSERT_TRUE(serial.Allocate(W, H, f));
    ASSERT_EQ(serial.Location(), TQxLocation::qxFile);
    banded.BWConversion = serial.BWConversion = 0;
    banded.ConvertFrom(&src);
    serial.ConvertFrom(&src);
    const size_t bytes = size_t((int64_t(W) * banded.BitCount() + 7) / 8);
    std::vector<uint8_t> row(bytes);
    for (int32_t y = 0; y < H; ++y) {
      std::memcpy(row.data(), serial.Scanline(y), bytes);
      ASSERT_EQ(std::memcmp(banded.Scanline(y), row.data(), bytes), 0) << int(f) << " row " << y;
    }
  }
}

// A shrunken view samples every fifth row and column: the sampled pixels, copied or blended, are the
// nearest-neighbour rule's, read beside an independent reference.
TEST(DrawScaled, ShrunkenRowsMatchTheNearestNeighbourRule) {
  constexpr int32_t SW = 2000, SH = 1000, DW = 400, DH = 200;
  TQxBitmap src(SW, SH, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < SH; ++y)
    for (int32_t x = 0; x < SW; ++x) {
      src.SetPixel24(x, y, TQxRGB{uint8_t(x), uint8_t(y), uint8_t(x * 3 + y)});
      src.SetAlpha(x, y, uint8_t((x + y * 7) & 255));
    }
  src.GetAlphaChannel()->Opaque = false;
  for (const int32_t t : {255, 128}) {
    TQxBitmap dst(DW, DH, TQxPixelFormat::qx24RGB);
    dst.Fill(0x102030);
    const TQxRGB under = dst.GetPixel24(0, 0);
    std::vector<uint8_t*> rows;
    std::vector<int32_t> xt, yt;
    src.DrawScaledEx(&dst, rows, xt, yt, nullptr, 0, 0, DW, DH, 0, 0, SW, SH, t != 255, false, t,
                     TResampleFilter::rfNone, true, 0);
    for (int32_t y = 0; y < DH; ++y)
      for (int32_t x = 0; x < DW; ++x) {
        const int32_t sx = int32_t(x * (double(SW) / DW)), sy = int32_t(y * (double(SH) / DH));
        const TQxRGB s = src.GetPixel24(sx, sy), got = dst.GetPixel24(x, y);
        const int32_t w = t == 255 ? 256 : std::min<int32_t>(t, src.GetAlpha(sx, sy));
        auto mix = [&](int32_t sv, int32_t dv) { return w == 256 ? uint8_t(sv) : uint8_t(dv + (((sv - dv) * w) >> 8)); };
        ASSERT_EQ(got.b, mix(s.b, under.b)) << t << " at " << x << "," << y;
        ASSERT_EQ(got.g, mix(s.g, under.g)) << t << " at " << x << "," << y;
        ASSERT_EQ(got.r, mix(s.r, under.r)) << t << " at " << x << "," << y;
      }
  }
}

// Every source value over every destination value at every weight: the vector blend is the scalar rule.
TEST(DrawScaled, BlendOfEveryValuePairAndWeightIsTheScalarRule) {
  TQxBitmap src(256, 256, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) src.SetPixel24(x, y, TQxRGB{uint8_t(x), uint8_t(255 - x), uint8_t(x ^ 0xA5)});
  for (int32_t t = 0; t < 255; ++t) {
    TQxBitmap dst(256, 256, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < 256; ++y) {
      uint8_t* row = dst.Scanline(y);
      std::memset(row, y, 256 * 3);
    }
    std::vector<uint8_t*> rows;
    std::vector<int32_t> xt, yt;
    src.DrawScaledEx(&dst, rows, xt, yt, nullptr, 0, 0, 256, 256, 0, 0, 256, 256, false, false, t,
                     TResampleFilter::rfNone, true, 0);
    for (int32_t y = 0; y < 256; ++y) {
      const uint8_t* row = dst.Scanline(y);
      const uint8_t* s = src.Scanline(y);
      for (int32_t i = 0; i < 256 * 3; ++i)
        ASSERT_EQ(row[i], uint8_t(y + (((int32_t(s[i]) - y) * t) >> 8))) << "weight " << t << " byte " << i << " row " << y;
    }
  }
}

// Nearest sampling through column and row tables, against the tables handed back: every drawn pixel is
// its table's source pixel, blended by min(transparency, alpha); every other pixel is left alone. Over
// shrinking and enlarging zooms, odd sizes, source offsets, destinations and clips that start inside the
// picture, caller tables that reach the last column or run backwards, and formats other than 24-bit.
TEST(DrawScaled, NearestSamplingTakesItsTablesPixels) {
  constexpr int32_t W = 613, H = 401;
  struct Case {
    TQxPixelFormat f;
    int32_t dstX, dstY, dstW, dstH, srcX, srcY, srcW, srcH;
    int32_t t;
    bool alpha;
    bool clip;
    int table;  // 0 built by the drawing, 1 a caller's rising table reaching the last column, 2 one running backwards
  };
  const TQxPixelFormat rgb = TQxPixelFormat::qx24RGB;
  const Case cases[] = {
      {rgb, 0, 0, 43, 28, 0, 0, W, H, 255, false, false, 0},      // 7 %
      {rgb, 5, 3, 122, 80, 0, 0, W, H, 255, false, false, 0},     // 20 %
      {rgb, -40, -9, 202, 132, 17, 11, 590, 380, 255, false, true, 0},
      {rgb, 1, 2, 300, 199, 3, 0, 605, 401, 255, false, false, 0},  // 49 %
      {rgb, 0, 0, 607, 397, 0, 0, W, H, 255, false, true, 0},     // 99 %
      {rgb, 0, 0, 255, 170, 300, 200, 170, 113, 255, false, false, 0},  // 150 %: rows and columns repeat
      {rgb, 0, 0, 122, 80, 0, 0, W, H, 128, false, false, 0},
      {rgb, 3, 0, 122, 80, 0, 0, W, H, 255, true, false, 0},
      {rgb, 0, 0, 300, 199, 1, 1, 611, 399, 77, true, true, 0},
      {rgb, 0, 0, 257, 99, 0, 0, W, H, 255, false, false, 1},
      {rgb, 0, 0, 257, 99, 0, 0, W, H, 200, true, false, 1},
      {rgb, 0, 0, 257, 99, 0, 0, W, H, 255, false, false, 2},
      {rgb, 0, 0, 257, 99, 0, 0, W, H, 90, true, false, 2},
      {TQxPixelFormat::qx8g, 2, 2, 122, 80, 0, 0, W, H, 255, false, false, 0},
      {TQxPixelFormat::qx8g, 0, 0, 300, 199, 5, 0, 600, 401, 128, true, true, 0},
      {TQxPixelFormat::qx8p, 0, 0, 122, 80, 0, 0, W, H, 255, false, false, 0},
      {TQxPixelFormat::qx32RGB, 0, 0, 122, 80, 0, 0, W, H, 255, false, false, 0},
  };
  TQxBitmap rgbSrc(W, H, rgb);
  uint32_t seed = 7;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      seed = seed * 1664525u + 1013904223u;
      rgbSrc.SetPixel24(x, y, TQxRGB{uint8_t(seed >> 8), uint8_t(seed >> 16), uint8_t(seed >> 24)});
    }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << int(c.f) << " dest " << c.dstX << "," << c.dstY << " " << c.dstW
                                    << "x" << c.dstH << " table " << c.table << " t " << c.t << " alpha " << c.alpha);
    TQxBitmap src(W, H, c.f);
    if (c.f == TQxPixelFormat::qx8p) {
      for (int i = 0; i < 256; ++i) src.SetPaletteColor(i, TQxRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    }
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* row = src.Scanline(y);
      if (c.f == rgb) std::memcpy(row, rgbSrc.Scanline(y), size_t(W) * 3);
      else if (c.f == TQxPixelFormat::qx32RGB)
        for (int32_t x = 0; x < W; ++x) std::memcpy(row + 4 * x, rgbSrc.Scanline(y) + 3 * x, 3);
      else
        for (int32_t x = 0; x < W; ++x) row[x] = rgbSrc.Scanline(y)[3 * x + 1];
    }
    if (c.alpha) {
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) src.SetAlpha(x, y, uint8_t((x * 7 + y * 13) & 255));
      src.GetAlphaChannel()->Opaque = false;
    }
    auto sourcePixel = [&](int32_t sx, int32_t sy) {
      const uint8_t* p = src.Scanline(sy);
      switch (c.f) {
        case TQxPixelFormat::qx24RGB: return TQxRGB{p[3 * sx], p[3 * sx + 1], p[3 * sx + 2]};
        case TQxPixelFormat::qx32RGB: return TQxRGB{p[4 * sx], p[4 * sx + 1], p[4 * sx + 2]};
        case TQxPixelFormat::qx8p: return src.PaletteColor(p[sx]);
        default: return TQxRGB{p[sx], p[sx], p[sx]};
      }
    };
    constexpr int32_t DW = 333, DH = 211;
    TQxBitmap dst(DW, DH, rgb);
    auto background = [](int32_t x, int32_t y) { return TQxRGB{uint8_t(x * 3 + y), uint8_t(y * 5), uint8_t(x ^ y)}; };
    for (int32_t y = 0; y < DH; ++y)
      for (int32_t x = 0; x < DW; ++x) dst.SetPixel24(x, y, background(x, y));
    const TRect clip{7, 13, 190, 150};
    std::vector<uint8_t*> rows;
    std::vector<int32_t> xt, yt;
    if (c.table != 0) {
      yt.resize(size_t(c.dstH));
      for (int32_t y = 0; y < c.dstH; ++y) yt[size_t(y)] = y * (H - 1) / (c.dstH - 1);
      xt.resize(size_t(c.dstW));
      for (int32_t x = 0; x < c.dstW; ++x) {
        const int32_t rising = std::min(W - 1, x * 3);  // the last columns all read the last pixel
        xt[size_t(x)] = c.table == 1 ? rising : W - 1 - rising;
      }
    }
    src.DrawScaledEx(&dst, rows, xt, yt, c.clip ? &clip : nullptr, c.dstX, c.dstY, c.dstW, c.dstH, c.srcX, c.srcY,
                     c.srcW, c.srcH, true, false, c.t, TResampleFilter::rfNone, false, 0);
    ASSERT_FALSE(xt.empty());
    ASSERT_FALSE(yt.empty());
    const int32_t x1 = std::max({c.dstX, 0, c.clip ? clip.Left : 0});
    const int32_t y1 = std::max({c.dstY, 0, c.clip ? clip.Top : 0});
    int mismatches = 0;
    for (int32_t y = 0; y < DH && mismatches < 5; ++y)
      for (int32_t x = 0; x < DW && mismatches < 5; ++x) {
        TQxRGB want = background(x, y);
        const int32_t i = x - x1, j = y - y1;
        if (i >= 0 && j >= 0 && i < int32_t(xt.size()) && j < int32_t(yt.size())) {
          const int32_t sx = xt[size_t(i)], sy = yt[size_t(j)];
          const TQxRGB s = sourcePixel(sx, sy);
          const int32_t a = c.alpha ? std::min<int32_t>(c.t, src.GetAlpha(sx, sy)) : c.t;
          const int32_t w = a == 255 ? 256 : a;  // opaque replaces
          auto mix = [w](uint8_t s, uint8_t d) { return uint8_t(d + (((int32_t(s) - d) * w) >> 8)); };
          want = TQxRGB{mix(s.b, want.b), mix(s.g, want.g), mix(s.r, want.r)};
        }
        const TQxRGB got = dst.GetPixel24(x, y);
        if (got.b != want.b || got.g != want.g || got.r != want.r) {
          ADD_FAILURE() << "at " << x << "," << y;
          ++mismatches;
        }
      }
  }
}

// Drawings kept by a batch and drawn together band by band give the pixels of the same drawings made one
// after another, a resampled drawing between them (drawn from a copy of its own, at once) included.
TEST(DrawScaled, ABatchDrawsWhatTheDrawingsInTurnDraw) {
  auto picture = [](int32_t w, int32_t h, int32_t k, bool alpha) {
    auto b = std::make_unique<TQxBitmap>(w, h, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) b->SetPixel24(x, y, TQxRGB{uint8_t(x * k + y), uint8_t(y * 3 - x), uint8_t(x ^ (y * k))});
    if (alpha) {
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) b->SetAlpha(x, y, uint8_t(x + y * 2));
      b->GetAlphaChannel()->Opaque = false;
    }
    return b;
  };
  auto base = picture(1500, 1100, 3, false), over = picture(700, 500, 5, true), gray = picture(300, 200, 7, false);
  gray->SetPixelFormat(TQxPixelFormat::qx8g);
  auto draw = [&](TQxBitmap* dst) {
    base->DrawScaled(dst, 0, 0, 300, 220, 0, 0, 1500, 1100);
    over->DrawScaled(dst, 40, 30, 140, 100, 0, 0, 700, 500, 200);
    base->DrawScaled(dst, 100, 100, 120, 90, 300, 200, 600, 450, 255, TResampleFilter::rfTriangle);
    gray->DrawScaled(dst, 150, 10, 77, 51, 0, 0, 300, 200, 128);
  };
  TQxBitmap inTurn(320, 240, TQxPixelFormat::qx24RGB), together(320, 240, TQxPixelFormat::qx24RGB);
  inTurn.Fill(0x102030);
  together.Fill(0x102030);
  draw(&inTurn);
  {
    TQxDrawBatch batch;
    draw(&together);
    EXPECT_EQ(TQxDrawBatch::Current(), &batch);
  }
  EXPECT_EQ(TQxDrawBatch::Current(), nullptr);
  for (int32_t y = 0; y < 240; ++y)
    ASSERT_EQ(std::memcmp(inTurn.Scanline(y), together.Scanline(y), 320 * 3), 0) << "row " << y;
}
