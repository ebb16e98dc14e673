#include <gtest/gtest.h>

#include "imaging/processing/proc.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

TEST(ColorOps, GrayAndBlackAndWhite) {
  TQxBitmap b(9, 3, F::qx24RGB);
  b.SetPixel24(0, 0, TQxRGB{10, 200, 100});  // blue, green, red
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(&b);
  p.ConvertToGray();
  const uint8_t g = uint8_t((100 * 21 + 200 * 71 + 10 * 8) / 100);
  EXPECT_EQ(b.GetPixel24(0, 0), (TQxRGB{g, g, g}));
  EXPECT_EQ(b.PixelFormat(), F::qx24RGB);
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "ConvertToGray");

  for (auto [color, bits] : {std::pair{TColor(0xFFFFFF), 0xFF}, {TColor(0xFCFBFC), 0xFF}, {TColor(0), 0x00}}) {
    TQxBitmap w(16, 16, F::qx24RGB);
    w.Fill(color);
    w.GetAlphaChannel()->Fill(7);
    p.AttachBitmap(&w);
    p.ConvertToBWOrdered();
    ASSERT_EQ(w.PixelFormat(), F::qx1g);
    for (int32_t y = 0; y < 16; ++y) EXPECT_EQ(w.Scanline(y)[0], bits) << y;
    EXPECT_EQ(w.GetAlpha(3, 3), 7);  // the alpha channel stays
  }
}

TEST(ColorOps, AutoConvertFormat) {
  auto b = Pattern(8, 8, F::qx8p);
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(b.get());
  p.SetAutoConvertFormat(false);
  const auto before = Pixels(b.get());
  p.ConvertToGray();
  EXPECT_EQ(b->PixelFormat(), F::qx8p);
  EXPECT_EQ(Pixels(b.get()), before);
  EXPECT_EQ(p.UndoCount(), 1);  // taken before the format check
  p.SetAutoConvertFormat(true);
  p.ConvertToGray();
  EXPECT_EQ(b->PixelFormat(), F::qx24RGB);

  // qx8g's row: qx16g and qx32f are refused, so 24-bit is chosen.
  auto g = Pattern(8, 8, F::qx8g);
  p.AttachBitmap(g.get());
  p.SetTransparentColors(TQxRGB{0, 0, 0}, TQxRGB{0, 0, 0}, 0);
  EXPECT_EQ(g->PixelFormat(), F::qx24RGB);
}

TEST(ColorOps, TransparentColorsFillAndClear) {
  TQxBitmap b(4, 2, F::qx24RGB);
  b.Fill(0xFFFFFF);
  b.SetPixel24(1, 0, TQxRGB{254, 255, 255});
  b.GetAlphaChannel()->Fill(200);
  b.SetAlpha(2, 1, 90);
  TQuillotProc p(nullptr);
  p.AttachBitmap(&b);
  p.SetTransparentColors(TQxRGB{255, 255, 255}, TQxRGB{255, 255, 255}, 0);
  EXPECT_EQ(b.GetAlpha(0, 0), 0);
  EXPECT_EQ(b.GetAlpha(2, 1), 0);
  EXPECT_EQ(b.GetAlpha(1, 0), 200);

  TQxBitmap one(12, 2, F::qx1g);
  one.Fill(1);
  p.AttachBitmap(&one);
  p.Fill(TQxRGB{255, 255, 0});  // red is 0: the bits clear
  EXPECT_EQ(one.Scanline(0)[0], 0);
  EXPECT_EQ(one.Scanline(1)[1] & 0xF0, 0);

  TQxBitmap c(5, 5, F::qx24RGB);
  c.Fill(0);
  p.AttachBitmap(&c);
  p.SetAutoUndo(true);
  p.SetBackground(0x00FFFF);  // yellow
  p.Clear();
  EXPECT_EQ(c.GetPixel24(4, 4), (TQxRGB{0, 255, 255}));
  p.Fill(TQxRGB{3, 2, 1});
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "Fill (1, 2, 3)");
  EXPECT_EQ(c.GetPixel24(0, 0), (TQxRGB{3, 2, 1}));
}

TEST(ColorOps, ConvertToAndPalette) {
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  auto b = Pattern(10, 10, F::qx24RGB);
  p.AttachBitmap(b.get());
  TQxRGB pal[4] = {};
  p.ConvertToPalette(0, pal, false);
  EXPECT_EQ(p.UndoCount(), 0);
  const auto before = Pixels(b.get());
  p.ConvertTo(2000, false);
  EXPECT_EQ(p.UndoCount(), 1);
  EXPECT_EQ(Pixels(b.get()), before);
  p.ConvertToPalette(2, pal, true);
  EXPECT_EQ(b->PixelFormat(), F::qx1g);
  EXPECT_EQ(pal[0], (TQxRGB{0, 0, 0}));
  EXPECT_EQ(pal[1], (TQxRGB{255, 255, 255}));
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "ConvertToPalette");
}

}  // namespace
