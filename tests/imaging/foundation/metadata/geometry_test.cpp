#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/foundation/geometry_helpers.h"
#include "platform/base/types.h"

namespace {
constexpr double kPi = 3.14159265358979323846;
}

TEST(Geometry, SnapTo45) {
  const struct {
    int x, y, wx, wy;
  } cases[] = {{10, 50, 0, 50}, {50, 10, 50, 0}, {20, 25, 25, 25}, {-20, -25, -20, -20}, {-20, 25, -25, 25},
               {0, 20, 0, 20}};
  for (const auto& c : cases) {
    int x = c.x, y = c.y;
    QxSnapTo45(0, 0, x, y);
    EXPECT_EQ(x, c.wx) << c.x << "," << c.y;
    EXPECT_EQ(y, c.wy) << c.x << "," << c.y;
  }
}

TEST(Geometry, AnglesAndTurns) {
  EXPECT_NEAR(double(QxPointAngle(0, 0, 10, -10)), kPi / 4, 1e-12);
  EXPECT_NEAR(double(QxPointAngle(0, 0, -10, 10)), 5 * kPi / 4, 1e-12);
  EXPECT_NEAR(double(QxPointAngle(0, 0, -10, -10)), 3 * kPi / 4, 1e-12);
  EXPECT_NEAR(double(QxPointAngle(0, 0, 0, -5)), kPi / 2, 1e-12);
  EXPECT_NEAR(double(QxPointAngle(0, 0, 0, 5)), 3 * kPi / 2, 1e-12);
  EXPECT_EQ(double(QxPointAngle(5, 5, 5, 5)), 0.0);
  EXPECT_NEAR(double(QxAngleAtVertex(0, 0, 1, 0, 2, 0)), kPi, 1e-12);
  EXPECT_NEAR(double(QxAngleAtVertex(0, 0, 10, 0, 10, 10)), kPi / 2, 1e-12);
  EXPECT_NEAR(double(QxAngleAtVertex(0, 0, 10, 0, 10, -10)), 3 * kPi / 2, 1e-12);
  EXPECT_EQ(QxTurnDirection(0, 0, 1, 0, 2, 0), 1);
  EXPECT_EQ(QxTurnDirection(0, 0, 2, 0, 1, 0), 0);
  EXPECT_EQ(QxTurnDirection(0, 0, 1, 0, -1, 0), -1);
  // Far-apart coordinates do not overflow.
  EXPECT_EQ(QxTurnDirection(-2000000000, 0, 2000000000, 1, 2000000000, -2000000000), -1);
  EXPECT_EQ(double(QxAngleBetweenSegments(0, 0, 0, 0, 5, 5)), 0.0);
}

TEST(Geometry, Distances) {
  EXPECT_EQ(QxDistanceToSegment(0, 0, 100000, 0, 100001, 0), 1e6);
  EXPECT_DOUBLE_EQ(QxDistanceToSegment(5, 5, 0, 0, 10, 0), 5);
  EXPECT_DOUBLE_EQ(QxDistanceToSegment(13, 4, 0, 0, 10, 0), 5);
  EXPECT_DOUBLE_EQ(QxDistanceToSegment(3, 4, 0, 0, 0, 0), 5);
  const TPoint one[] = {{3, 4}};
  EXPECT_EQ(QxDistanceToPolyline(0, 0, one, 0, 0, 0, 0, 0, 1, 1, 1, false), 1e6);
  EXPECT_EQ(QxDistanceToPolyline(0, 0, one, 1, 0, 0, 0, 0, 1, 1, 1, false), 1e6);
  EXPECT_DOUBLE_EQ(QxDistanceToPolyline(0, 0, one, 1, 0, 0, 0, 0, 1, 1, 1, true), 5);
  const TPoint line[] = {{0, 0}, {10, 0}};
  EXPECT_DOUBLE_EQ(QxDistanceToPolyline(10, 7, line, 2, 0, 0, 0, 0, 2, 1, 1, false), 7);  // scaled to 0..20
  EXPECT_EQ(QxDistanceToRectOutline(5, 5, 0, 0, 10, 10, true, 1), 0);
  EXPECT_DOUBLE_EQ(QxDistanceToRectOutline(5, 5, 0, 0, 10, 10, false, 1), 5);
  EXPECT_EQ(QxDistanceToRectOutline(5, 5, 0, 0, 10, 10, false, -1), 2147483647.0);
  EXPECT_LT(QxDistanceToEllipseOutline(20, 10, 0, 0, 20, 20, false, 1), 1.5);
  EXPECT_GT(QxDistanceToEllipseOutline(10, 10, 0, 0, 20, 20, false, 1), 8);
  EXPECT_EQ(QxDistanceToEllipseOutline(10, 10, 0, 0, 20, 20, true, 1), 0);
}

TEST(Geometry, RectanglesPolygonsAndCurves) {
  EXPECT_TRUE(QxPointInRect(10, 10, 0, 0, 10, 10));
  EXPECT_FALSE(QxPointInRect(5, 5, 10, 10, 0, 0));
  EXPECT_TRUE(QxPointInRectAnyOrder(5, 5, 10, 10, 0, 0));
  EXPECT_TRUE(QxRectsOverlap(10, 10, 0, 0, 10, 10, 20, 20));
  EXPECT_FALSE(QxRectsOverlap(0, 0, 9, 9, 10, 10, 20, 20));
  EXPECT_EQ(QxRectRelation(0, 0, 100, 100, 10, 10, 20, 20), 2);
  EXPECT_EQ(QxRectRelation(0, 0, 100, 100, 90, 10, 120, 20), 1);
  EXPECT_EQ(QxRectRelation(0, 0, 100, 100, 200, 200, 300, 300), 0);
  TRect r(5, 5, 5, 5);
  QxExtendBounds(r, -1, 9);
  EXPECT_EQ(r, TRect(-1, 5, 5, 9));

  const TPoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(QxPointInPolygon(5, 5, square, 3));
  EXPECT_FALSE(QxPointInPolygon(15, 5, square, 3));
  EXPECT_TRUE(QxPointInScaledPolygon(15, 5, square, 4, 0, 0, 0, 0, 2, 1));
  EXPECT_FALSE(QxPointInScaledPolygon(5, 5, square, 0, 0, 0, 0, 0, 1, 1));

  TPoint p[] = {{10, 0}};
  QxRotatePoints(p, 0, 0, 0, 90);  // y points down: 90 degrees counter-clockwise on screen
  EXPECT_EQ(p[0], TPoint(0, -10));
  std::vector<TPoint> curve;
  QxBezierPoints({0, 0}, {0, 10}, {10, 10}, 4, curve, {10, 0});
  ASSERT_EQ(curve.size(), 4u);
  EXPECT_EQ(curve.back(), TPoint(10, 0));
  EXPECT_EQ(curve[1], TPoint(5, 8));  // t = 0.5: 7.5 rounds to even

  int32_t w = 0, h = 0;
  QxFitSize(400, 200, 100, 100, w, h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
  QxFitSize(1, 1000, 10, 10, w, h);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 10);
  QxFitSize(1190, 842, 595, 842, w, h);
  EXPECT_EQ(w, 595);
  EXPECT_EQ(h, 421);
}

TEST(Geometry, Tables) {
  EXPECT_EQ(QxCosineTable[0], 0);
  EXPECT_EQ(QxCosineTable[255], 128);
  EXPECT_EQ(QxCosineTable[127], 64 - int(std::nearbyint(std::cos(127 * kPi / 255) * 64)));
  std::vector<double> g;
  QxGaussianCurve(4, 130, 255, 0.5, g);
  ASSERT_EQ(g.size(), 4u);
  EXPECT_EQ(int(g[0]), 240);
  EXPECT_EQ(int(g[1]), 251);
  EXPECT_EQ(int(g[2]), 255);
  EXPECT_EQ(int(g[3]), 251);
}

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {
uint8_t Px(TBitmap& b, int x, int y, int c = 0) { return static_cast<uint8_t*>(b.ScanLine(y))[x * 3 + c]; }
}  // namespace

TEST(GeometryDrawing, FramesShadowsAndBackgrounds) {
  TBitmap b(20, 20, TPixelFormat::pf24bit);
  for (int y = 0; y < 20; ++y) std::memset(b.ScanLine(y), 200, 60);
  QxDrawTwoColorFrame(b.Canvas(), 2, 2, 10, 10, 0x0000FF, 0xFF0000);  // red top-left, blue bottom-right
  EXPECT_EQ(Px(b, 2, 5, 2), 255);   // left edge: red
  EXPECT_EQ(Px(b, 5, 2, 2), 255);   // top edge: red
  EXPECT_EQ(Px(b, 5, 10, 0), 255);  // bottom edge: blue
  EXPECT_EQ(Px(b, 10, 5, 0), 255);  // right edge: blue
  EXPECT_EQ(Px(b, 10, 2, 0), 200);  // the last LineTo leaves its end point out

  // A bottom band whose first row is row 0 of the bitmap darkens that row in the bitmap.
  TBitmap s(40, 10, TPixelFormat::pf24bit);
  for (int y = 0; y < 10; ++y) std::memset(s.ScanLine(y), 200, 120);
  QxDrawShadowBottom(s.Canvas(), &s, 0, 0, 30, 5, 2, 0);
  EXPECT_EQ(Px(s, 6, 0), int(200 * std::exp(-0.1 - 9.0 / 6)));  // next to the image: about 0.2
  EXPECT_EQ(Px(s, 3, 0), 200);                                  // the band starts after its depth
  EXPECT_GT(Px(s, 20, 5), Px(s, 20, 0));                         // lighter farther out

  TBitmap striped;
  QxMakeStripedBitmap(&striped, 8, 8);
  const int levels[] = {240, 251, 255, 251};
  for (int y = 0; y < 8; ++y) EXPECT_EQ(Px(striped, 3, y), levels[y % 4]) << y;
  TBitmap gradient;
  QxMakeGradientBitmap(&gradient, 64, 4);
  EXPECT_LT(Px(gradient, 0, 0), Px(gradient, 32, 0));
  EXPECT_GE(Px(gradient, 32, 0), 208);
}

TEST(GeometryDrawing, DimAroundRectLeavesTheInsideAlone) {
  TBitmap b(30, 30, TPixelFormat::pf24bit);
  for (int y = 0; y < 30; ++y) std::memset(b.ScanLine(y), 255, 90);
  QxDimAroundRect(b.Canvas(), 0, 0, 29, 29, 10, 10, 20, 20);
  EXPECT_LT(Px(b, 2, 2), 255);
  EXPECT_LT(Px(b, 25, 25), 255);
  EXPECT_LT(Px(b, 15, 2), 255);
  EXPECT_EQ(Px(b, 15, 15), 255);
  TBitmap untouched(10, 10, TPixelFormat::pf24bit);
  for (int y = 0; y < 10; ++y) std::memset(untouched.ScanLine(y), 255, 30);
  QxDimAroundRect(untouched.Canvas(), 0, 0, 9, 9, 5, 5, 5, 8);  // empty inner rectangle: nothing
  EXPECT_EQ(Px(untouched, 0, 0), 255);
}

TEST(GeometryDrawing, SoftShadowDarkensAroundButNotInside) {
  TBitmap b(40, 40, TPixelFormat::pf24bit);
  for (int y = 0; y < 40; ++y) std::memset(b.ScanLine(y), 200, 120);
  QxDrawSoftShadow(&b, 10, 10, 20, 20, 0);
  EXPECT_EQ(Px(b, 15, 15), 200);  // inside the rectangle
  EXPECT_LT(Px(b, 21, 21), 200);  // the shadow just outside
  EXPECT_EQ(Px(b, 35, 35), 200);  // beyond its reach
  QxDrawSoftShadow(&b, 35, 35, 45, 45, 0);  // reaching past the bitmap's edge is clipped
}
