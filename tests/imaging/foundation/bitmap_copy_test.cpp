// Copying, filling and resizing of TQxBitmap.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "platform/graphics/bitmap.h"

namespace {

// Gray bitmap whose pixel (x, y) is x + 16 * y.
void Ramp(TQxBitmap& b) {
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) b.Scanline(y)[x] = uint8_t(x + 16 * y);
}

}  // namespace

TEST(BitmapFill, ValuesAndOpaqueFlagPerFormat) {
  TQxBitmap g(3, 2, TQxPixelFormat::qx8g);
  g.Fill(255);
  EXPECT_TRUE(g.Opaque);
  g.SetPixel8(1, 1, 254);
  EXPECT_FALSE(g.Opaque);

  TQxBitmap bw(10, 2, TQxPixelFormat::qx1g);
  bw.Fill(0.5);  // truncated to 0: black
  EXPECT_EQ(bw.Scanline(1)[0], 0);
  EXPECT_FALSE(bw.Opaque);
  bw.Fill(1);
  EXPECT_EQ(bw.Scanline(1)[1], 255);
  EXPECT_TRUE(bw.Opaque);

  TQxBitmap f(4, 2, TQxPixelFormat::qx32f);
  f.Fill(0.25);
  EXPECT_FLOAT_EQ(f.GetPixelFloat(3, 1), 0.25f);
  f.FillRect(1, 0, 2, 0, 0.75);
  EXPECT_FLOAT_EQ(f.GetPixelFloat(1, 0), 0.75f);
  EXPECT_FLOAT_EQ(f.GetPixelFloat(3, 0), 0.25f);

  TQxBitmap c(2, 2, TQxPixelFormat::qx24RGB);
  c.Fill(0x0000FF);  // TColor red
  EXPECT_EQ(c.GetPixel24(1, 1), (TQxRGB{0, 0, 255}));
  EXPECT_FALSE(c.Opaque);
  c.Fill(0xFFFFFF);
  EXPECT_TRUE(c.Opaque);

  TQxBitmap w(2, 2, TQxPixelFormat::qxRGB48);
  w.Fill(0x0000FF);
  EXPECT_EQ(w.GetPixel48(0, 1), (TQxRGB48{65535, 0, 0}));
}

TEST(BitmapFill, ThirtyTwoBitFillKeepsTheFourthByteOnEveryRow) {
  TQxBitmap b(3, 3, TQxPixelFormat::qx32RGB);
  for (int32_t y = 0; y < 3; ++y) std::memset(b.Scanline(y), 0x5A, size_t(b.RowLen()));
  b.Fill(0x00332211);  // red 0x11, green 0x22, blue 0x33
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) {
      const uint8_t* p = b.Scanline(y) + 4 * x;
      EXPECT_EQ(p[0], 0x33);
      EXPECT_EQ(p[2], 0x11);
      EXPECT_EQ(p[3], 0x5A);
    }
}

TEST(BitmapCopyRect, ClipsAgainstBothBitmaps) {
  TQxBitmap src(16, 4, TQxPixelFormat::qx8g);
  Ramp(src);
  struct Case {
    const char* what;
    int32_t sx, sy, dx, dy, w, h;
    int32_t probeX, probeY;  // destination pixel
    int expect;              // -1: untouched
  } cases[] = {
      {"negative DstX moves the source start", 0, 0, -10, 0, 16, 4, 0, 0, 10},
      {"negative DstX shortens the width", 0, 0, -10, 0, 16, 4, 6, 0, -1},
      {"negative SrcX is clipped, not clamped", -3, 0, 0, 0, 5, 1, 0, 0, -1},
      {"negative SrcX shifts the destination", -3, 0, 0, 0, 5, 1, 3, 0, 0},
      {"source beyond the right edge copies nothing", 20, 0, 0, 0, 4, 1, 0, 0, -1},
      {"destination beyond the edge copies nothing", 0, 0, 30, 0, 4, 1, 0, 0, -1},
      {"bottom rows past the source are not copied", 0, 2, 0, 0, 16, 4, 0, 2, -1},
  };
  for (const Case& c : cases) {
    TQxBitmap dst(16, 4, TQxPixelFormat::qx8g);
    dst.Fill(99);
    src.CopyRectTo(&dst, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
    EXPECT_EQ(dst.GetPixel8(c.probeX, c.probeY), c.expect < 0 ? 99 : c.expect) << c.what;
  }
}

TEST(BitmapCopyRect, FormatPairs) {
  TQxBitmap g(2, 1, TQxPixelFormat::qx8g);
  g.Fill(7);
  TQxBitmap rgb(2, 1, TQxPixelFormat::qx24RGB);
  rgb.Fill(0);
  g.CopyRectTo(&rgb, 0, 0, 0, 0, 2, 1);  // no such pair: nothing
  EXPECT_EQ(rgb.GetPixel24(0, 0), (TQxRGB{0, 0, 0}));

  TQxBitmap a(3, 1, TQxPixelFormat::qx32RGB), b(3, 1, TQxPixelFormat::qx32RGB);
  std::memset(a.Scanline(0), 0xAB, 12);
  std::memset(b.Scanline(0), 0, 12);
  a.CopyRectTo(&b, 1, 0, 0, 0, 2, 1);
  EXPECT_EQ(b.Scanline(0)[7], 0xAB);
  EXPECT_EQ(b.Scanline(0)[8], 0);

  TQxBitmap bits(12, 1, TQxPixelFormat::qx1g), white(12, 1, TQxPixelFormat::qx24RGB);
  bits.Fill(0);
  bits.Scanline(0)[1] = 0x80;  // pixel 8
  bits.CopyRectTo(&white, 7, 0, 0, 0, 3, 1);
  EXPECT_EQ(white.GetPixel24(0, 0), (TQxRGB{0, 0, 0}));
  EXPECT_EQ(white.GetPixel24(1, 0), (TQxRGB{255, 255, 255}));
}

TEST(BitmapMoveRect, OverlappingMoveMatchesASeparateCopy) {
  TQxBitmap a(16, 4, TQxPixelFormat::qx8g), expected(16, 4, TQxPixelFormat::qx8g);
  Ramp(a);
  Ramp(expected);
  TQxBitmap copy(6, 3, TQxPixelFormat::qx8g);
  a.CopyRectTo(&copy, 2, 0, 0, 0, 6, 3);
  expected.FillRect(2, 0, 7, 2, 0);
  copy.CopyRectTo(&expected, 0, 0, 4, 1, 6, 3);
  a.MoveRect(2, 0, 7, 2, 4, 1, 0, true);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 16; ++x) ASSERT_EQ(a.GetPixel8(x, y), expected.GetPixel8(x, y)) << x << "," << y;
}

TEST(BitmapResize, CanvasAlignmentPlacesTheOldContent) {
  TQxBitmap grow(10, 2, TQxPixelFormat::qx8g);
  Ramp(grow);
  grow.ResizeCanvas(20, 2, 200, 0, 1, 0);
  EXPECT_EQ(grow.Width(), 20);
  for (int32_t x = 0; x < 20; ++x)
    EXPECT_EQ(grow.GetPixel8(x, 1), (x >= 5 && x <= 14) ? uint8_t(x - 5 + 16) : 200) << x;

  TQxBitmap shrink(20, 2, TQxPixelFormat::qx8g);
  Ramp(shrink);
  shrink.SetAlpha(19, 0, 3);
  shrink.ResizeCanvas(10, 2, 0, 0, 2, 0);
  EXPECT_EQ(shrink.Width(), 10);
  EXPECT_EQ(shrink.GetPixel8(0, 0), 10);
  EXPECT_EQ(shrink.GetPixel8(9, 1), 19 + 16);
  EXPECT_EQ(shrink.GetAlphaChannel()->Width(), 10);
  EXPECT_EQ(shrink.GetAlpha(9, 0), 3);

  TQxBitmap tall(3, 2, TQxPixelFormat::qx24RGB);
  tall.Fill(0xFFFFFF);
  tall.ChangeHeight(5);
  EXPECT_EQ(tall.Height(), 5);
  EXPECT_EQ(tall.GetPixel24(2, 1), (TQxRGB{255, 255, 255}));
}

TEST(BitmapAssign, AssignReplacesAlphaCopyKeepsIt) {
  TQxBitmap src(4, 4, TQxPixelFormat::qx8p);
  src.SetPaletteColor(3, TQxRGB{9, 8, 7});
  src.BWConversion = 0;
  TQxBitmap dst(2, 2, TQxPixelFormat::qx24RGB);
  dst.SetAlpha(0, 0, 5);
  dst.CopyFrom(&src);
  EXPECT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.PaletteColor(3), (TQxRGB{9, 8, 7}));
  dst.AssignFrom(&src);
  EXPECT_FALSE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.BWConversion, 0);
  EXPECT_EQ(dst.PixelFormat(), TQxPixelFormat::qx8p);

  // Two file-located bitmaps copy through their files.
  TQxBitmap fa, fb;
  fa.MemoryThreshold = fb.MemoryThreshold = 0;
  ASSERT_TRUE(fa.Allocate(16, 4, TQxPixelFormat::qx8g));
  Ramp(fa);
  fb.AssignFrom(&fa);
  EXPECT_EQ(fb.Location(), TQxLocation::qxFile);
  EXPECT_EQ(fb.GetPixel8(15, 3), 15 + 48);
}

TEST(BitmapCopyFromTBitmap, SixteenBitPixelsExpandToBytes) {
  TBitmap t(2, 1, TPixelFormat::pf16bit);
  uint8_t* row = static_cast<uint8_t*>(t.ScanLine(0));
  row[0] = row[1] = 0xFF;
  row[2] = 0x1F;  // blue only
  row[3] = 0x00;
  TQxBitmap b;
  b.CopyFromTBitmap(&t);
  ASSERT_EQ(b.PixelFormat(), TQxPixelFormat::qx24RGB);
  EXPECT_EQ(b.GetPixel24(0, 0), (TQxRGB{248, 252, 248}));
  EXPECT_EQ(b.GetPixel24(1, 0), (TQxRGB{248, 0, 0}));
}

// A canvas that only grows is rebuilt in one pass, in memory and in a platform bitmap alike: the old
// pixels land at the aligned offset, every new pixel takes the fill value, the alpha channel its own.
TEST(BitmapResize, GrowingCanvasPlacesOldPixelsAndFillsTheRest) {
  struct Case {
    TQxLocation Location;
    TQxPixelFormat Format;
    int32_t HAlign, VAlign;
  };
  const Case cases[] = {
      {TQxLocation::qxMemory, TQxPixelFormat::qx8g, 0, 0},     {TQxLocation::qxMemory, TQxPixelFormat::qx24RGB, 1, 2},
      {TQxLocation::qxMemory, TQxPixelFormat::qx24RGB, 2, 1},  {TQxLocation::qxTBitmap, TQxPixelFormat::qx24RGB, 0, 0},
      {TQxLocation::qxTBitmap, TQxPixelFormat::qx24RGB, 1, 2}, {TQxLocation::qxTBitmap, TQxPixelFormat::qx8g, 2, 1},
  };
  constexpr int32_t W = 5, H = 3, NW = 10, NH = 8;
  for (const Case& c : cases) {
    TQxBitmap b;
    b.SetLocation(c.Location);
    ASSERT_TRUE(b.Allocate(W, H, c.Format));
    const bool rgb = c.Format == TQxPixelFormat::qx24RGB;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        if (rgb)
          b.SetPixel24(x, y, TQxRGB{uint8_t(x), uint8_t(y), 7});
        else
          b.SetPixel8(x, y, uint8_t(x + 16 * y));
        b.SetAlpha(x, y, uint8_t(100 + x));
      }
    b.ResizeCanvas(NW, NH, rgb ? 0x102030 : 200, 9, c.HAlign, c.VAlign);
    const std::string what = std::to_string(int(c.Location)) + "/" + std::to_string(int(c.Format)) + " align " +
                             std::to_string(c.HAlign) + "," + std::to_string(c.VAlign);
    ASSERT_EQ(b.Width(), NW) << what;
    ASSERT_EQ(b.Height(), NH) << what;
    ASSERT_EQ(b.GetAlphaChannel()->Width(), NW) << what;
    const int32_t ox = c.HAlign == 1 ? (NW - W) / 2 : c.HAlign == 2 ? NW - W : 0;
    const int32_t oy = c.VAlign == 1 ? (NH - H) / 2 : c.VAlign == 2 ? NH - H : 0;
    for (int32_t y = 0; y < NH; ++y)
      for (int32_t x = 0; x < NW; ++x) {
        const bool old = x >= ox && x < ox + W && y >= oy && y < oy + H;
        const int32_t sx = x - ox, sy = y - oy;
        if (rgb) {
          const TQxRGB want = old ? TQxRGB{uint8_t(sx), uint8_t(sy), 7} : TQxRGB{0x10, 0x20, 0x30};
          ASSERT_EQ(b.GetPixel24(x, y), want) << what << " at " << x << "," << y;
        } else {
          ASSERT_EQ(b.GetPixel8(x, y), old ? uint8_t(sx + 16 * sy) : 200) << what << " at " << x << "," << y;
        }
        ASSERT_EQ(b.GetAlpha(x, y), old ? uint8_t(100 + sx) : 9) << what << " at " << x << "," << y;
      }
  }
}
