// The selection mask: pixels, bounding box, full flag, polygons, moving and copying through it.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"

namespace {

int32_t CountSet(const TQxMask& m) {
  int32_t n = 0;
  for (int32_t y = 0; y < m.Height(); ++y)
    for (int32_t x = 0; x < m.Width(); ++x) n += m.IsSelected(x, y);
  return n;
}

}  // namespace

TEST(Mask, PixelsBoxAndFullFlag) {
  TQxMask m;
  m.Allocate(20, 20, 1);
  EXPECT_TRUE(m.IsEmpty());
  m.SetPixel(5, 7, 1);
  EXPECT_EQ((std::vector<int32_t>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int32_t>{5, 7, 5, 7}));
  m.SetPixel(5, 7, 0);
  EXPECT_FALSE(m.IsSelected(5, 7));
  EXPECT_FALSE(m.IsEmpty());  // the box stays until it is synchronised
  m.SyncBoundingBox();
  EXPECT_TRUE(m.IsEmpty());
  m.SetPixel(0, 0, 1);
  m.SetPixel(7, 0, 1);
  EXPECT_EQ(m.GetPixel(0, 0), 128);
  EXPECT_EQ(m.GetPixel(7, 0), 1);
  EXPECT_EQ(m.GetPixel(-1, 0), 0);

  m.Fill(255);
  EXPECT_TRUE(m.Full);
  m.SetPixel(3, 3, 0);
  EXPECT_FALSE(m.Full);
  m.Clear();
  EXPECT_FALSE(m.Full);
  EXPECT_TRUE(m.IsEmpty());

  TQxMask g;
  g.Allocate(4, 4, 8);
  g.Fill(255);
  g.SetPixel(1, 1, 255);
  EXPECT_TRUE(g.Full);
  g.SetPixel(1, 1, 254);
  EXPECT_FALSE(g.Full);
}

TEST(Mask, PolygonFillIsEvenOddWithExclusiveEdges) {
  TQxMask m;
  m.Allocate(20, 20, 1);
  const TPoint tri[] = {{0, 0}, {10, 0}, {0, 10}};
  m.FillPolygon(1, tri, 3);
  EXPECT_EQ(CountSet(m), 55);
  for (int32_t y = 0; y < 10; ++y) {
    EXPECT_TRUE(m.IsSelected(9 - y, y)) << y;
    EXPECT_FALSE(m.IsSelected(10 - y, y)) << y;
  }
  EXPECT_EQ((std::vector<int32_t>{m.X1, m.Y1, m.X2, m.Y2}), (std::vector<int32_t>{0, 0, 9, 9}));

  // Two squares in one list, and a self-crossing star whose centre stays empty.
  TQxMask two;
  two.Allocate(20, 20, 8);
  const TPoint pts[] = {{0, 0}, {3, 0}, {3, 3}, {0, 3}, {TQxMask::PolygonSeparator, 0},
                        {10, 10}, {12, 10}, {12, 12}, {10, 12}};
  two.FillPolygons(255, pts, 9);
  EXPECT_EQ(CountSet(two), 9 + 4);
  TQxMask star;
  star.Allocate(100, 100, 1);
  const TPoint s[] = {{50, 5}, {79, 95}, {2, 38}, {98, 38}, {21, 95}};
  star.FillPolygon(1, s, 5);
  EXPECT_FALSE(star.IsSelected(50, 55));
  EXPECT_TRUE(star.IsSelected(50, 20));
}

TEST(Mask, PolygonReachingPastTheMaskFillsOnlyItsRowsAsATallerMaskWould) {
  // Self-crossing polygons keep the edge order they had where their edges entered, so the rows above the
  // mask still decide the pairs; a mask 300 rows taller, with the polygon moved down, is the reference.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> x(-40, 80), yy(-300, 90);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    std::vector<TPoint> pts(size_t(3 + round % 7));
    for (TPoint& p : pts) p = {x(rng), yy(rng)};
    TQxMask m, tall;
    m.Allocate(50, 60, 8);
    tall.Allocate(50, 360, 8);
    m.FillPolygon(255, pts.data(), int32_t(pts.size()));
    for (TPoint& p : pts) p.Y += 300;
    tall.FillPolygon(255, pts.data(), int32_t(pts.size()));
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x0 = 0; x0 < 50; ++x0) ASSERT_EQ(m.IsSelected(x0, y), tall.IsSelected(x0, y + 300)) << x0 << "," << y;
  }
  // Coordinates across the whole integer range walk only the mask's rows.
  TQxMask m;
  m.Allocate(30, 20, 1);
  const TPoint huge[] = {{-2000000000, -2000000000}, {2000000000, -2000000000}, {2000000000, 2000000000},
                         {-2000000000, 2000000000}};
  m.FillPolygon(1, huge, 4);
  EXPECT_EQ(CountSet(m), 30 * 20);
  const TPoint sliver[] = {{INT32_MIN + 1, INT32_MIN + 1}, {INT32_MAX, INT32_MAX}, {INT32_MIN + 1, INT32_MAX}};
  TQxMask s;
  s.Allocate(30, 20, 1);
  s.FillPolygon(1, sliver, 3);
  EXPECT_TRUE(s.IsSelected(0, 19));
  EXPECT_FALSE(s.IsSelected(29, 0));
}

TEST(Mask, DegeneratePolygonsAndSpansLeaveTheRestAlone) {
  TQxMask m;
  m.Allocate(10, 10, 1);
  const TPoint sq[] = {{1, 1}, {4, 1}, {4, 4}, {1, 4}};
  const TPoint flat[] = {{6, 6}, {8, 6}, {9, 6}};  // no area
  const TPoint pts[] = {sq[0], sq[1], sq[2], sq[3], {TQxMask::PolygonSeparator, 0}, flat[0], flat[1], flat[2]};
  m.FillPolygons(1, pts, 8);
  EXPECT_EQ(CountSet(m), 9);
  EXPECT_FALSE(m.IsEmpty());
  EXPECT_EQ(m.X2, 3);

  TQxMask alone;
  alone.Allocate(10, 10, 1);
  alone.FillPolygon(1, flat, 3);
  EXPECT_TRUE(alone.IsEmpty());  // the view relies on an empty box for a lone degenerate polygon

  // A span above or below the mask writes nothing instead of smearing the edge row.
  EXPECT_EQ(alone.FillSpan(1, 0, -3, 9), 0);
  EXPECT_EQ(alone.FillSpan(1, 0, 10, 9), 0);
  EXPECT_EQ(CountSet(alone), 0);
  EXPECT_EQ(alone.FillSpan(1, -5, 2, 20), 10);
}

TEST(Mask, TranslateAndChangeSize) {
  TQxMask m;
  m.Allocate(100, 10, 1);
  for (int32_t x = 20; x < 30; ++x) m.SetPixel(x, 2, 1);
  int32_t dx = -50, dy = 0;
  m.Translate(dx, dy, false);
  EXPECT_EQ(dx, -20);
  EXPECT_TRUE(m.IsSelected(0, 2));
  EXPECT_TRUE(m.IsSelected(9, 2));
  EXPECT_FALSE(m.IsSelected(10, 2));
  EXPECT_EQ(m.X1, 0);

  TQxMask c;
  c.Allocate(200, 5, 8);
  c.SetPixel(150, 1, 255);
  c.ChangeSize(100, 5);
  EXPECT_EQ(c.X1, 99);
  EXPECT_EQ(c.X2, 99);
}

TEST(Mask, CopyThroughTheMaskStaysInsideBothBitmaps) {
  TQxBitmap src(4, 4, TQxPixelFormat::qx24RGB), dst(4, 4, TQxPixelFormat::qx24RGB);
  src.Fill(0xFFFFFF);
  dst.Fill(0);
  TQxMask m;
  m.Allocate(10, 10, 8);
  m.SetPixel(1, 1, 255);
  m.SetPixel(2, 1, 128);
  m.SetPixel(9, 9, 255);  // outside both bitmaps
  m.CopyBitmap(&dst, &src, false, false, true);
  EXPECT_EQ(dst.GetPixel24(1, 1).r, 254);  // 0 + floor(255 * 255 / 256)
  EXPECT_EQ(dst.GetPixel24(2, 1).r, 127);
  EXPECT_EQ(dst.GetPixel24(0, 0).r, 0);
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.GetAlpha(2, 1), 128);
  EXPECT_EQ(dst.GetAlpha(3, 3), 255);  // inside the box, unselected: kept as it was
  EXPECT_EQ(dst.GetAlpha(0, 0), 255);  // outside the box: untouched

  // Relative addressing with a box larger than the source.
  TQxBitmap small(2, 2, TQxPixelFormat::qx8g), big(10, 10, TQxPixelFormat::qx8g);
  small.Fill(70);
  big.Fill(0);
  TQxMask one;
  one.Allocate(10, 10, 1);
  for (int32_t y = 3; y < 8; ++y)
    for (int32_t x = 3; x < 8; ++x) one.SetPixel(x, y, 1);
  one.CopyBitmap(&big, &small, false, true, false);
  EXPECT_EQ(big.GetPixel8(4, 4), 70);
  EXPECT_EQ(big.GetPixel8(5, 5), 0);
}

TEST(Mask, FromBitmapAndBack) {
  TQxBitmap a(9, 3, TQxPixelFormat::qx8g);
  a.Fill(255);
  a.SetPixel8(8, 2, 40);
  TQxMask m;
  QxMaskFromBitmap(&a, &m);
  EXPECT_EQ(m.BitsPerPixel(), 8);
  EXPECT_EQ(m.GetPixel(8, 2), 40);
  EXPECT_FALSE(m.Full);
  TQxBitmap back;
  back.AlphaFromMask(&m);
  EXPECT_EQ(back.PixelFormat(), TQxPixelFormat::qx8g);
  EXPECT_EQ(back.GetPixel8(8, 2), 40);
}

// Planes large enough to get pages of their own (and small ones from the heap) come clear, however they
// were used before: allocated again, grown, shrunk.
TEST(Mask, EveryPlaneStartsClear) {
  auto AllClear = [](const TQxMask& m) {
    const uint8_t* p = const_cast<TQxMask&>(m).Bits();
    const size_t n = size_t(m.RowLength()) * size_t(m.Height());
    for (size_t i = 0; i < n; ++i)
      if (p[i]) return false;
    return true;
  };
  for (const auto& [w, h, bits] : std::vector<std::tuple<int32_t, int32_t, int32_t>>{
           {30, 20, 1}, {30, 20, 8}, {6000, 1400, 1}, {1500, 1200, 8}}) {
    TQxMask m;
    for (int round = 0; round < 2; ++round) {
      m.Allocate(w, h, bits);
      ASSERT_TRUE(AllClear(m)) << w << "x" << h << "x" << bits << " round " << round;
      m.Fill(0xFF);
    }
    m.Allocate(w, h, bits);
    m.SetPixel(w - 1, h - 1, 1);
    m.ChangeSize(w + 17, h + 9);
    EXPECT_EQ(CountSet(m), 1) << "growing adds clear pixels only";
  }
}
