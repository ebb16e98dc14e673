#include "platform/base/numeric.h"

#include <gtest/gtest.h>

#include "platform/base/types.h"

TEST(Numeric, RoundIsHalfToEven) {
  struct Case { double In; int64_t Out; };
  for (Case C : {Case{127.5, 128}, {178.5, 178}, {50.5, 50}, {0.5, 0}, {1.5, 2}, {-0.5, 0}, {-1.5, -2},
                 {-2.5, -2}, {2.4999, 2}, {-3.7, -4}, {1e10 + 0.5, 10000000000}})
    EXPECT_EQ(Round(C.In), C.Out) << C.In;
  EXPECT_EQ(Round(static_cast<long double>(178.5L)), 178);
  EXPECT_EQ(Round(7), 7);
}

TEST(Numeric, TruncFloorCeilFrac) {
  EXPECT_EQ(Trunc(-2.7), -2);
  EXPECT_EQ(Trunc(2.7), 2);
  EXPECT_EQ(Floor(-2.1), -3);
  EXPECT_EQ(Ceil(-2.1), -2);
  EXPECT_EQ(Ceil(2.1), 3);
  EXPECT_DOUBLE_EQ(Frac(-2.25), -0.25);
}

TEST(Numeric, IntegerDivisionTruncatesAndShiftsAreLogical) {
  EXPECT_EQ(Div(-7, 2), -3);
  EXPECT_EQ(Mod(-7, 2), -1);
  EXPECT_EQ(Shr(int32_t(-1), 28), 15);
  EXPECT_EQ(Shr(int32_t(-256), 4), 0x0FFFFFF0);
  EXPECT_EQ(Sar(int32_t(-256), 4), -16);
  EXPECT_EQ(Shl(int32_t(-1), 4), -16);
  EXPECT_EQ(EnsureRange(300, 0, 255), 255);
}

TEST(Geometry, RectHelpers) {
  TRect R;
  EXPECT_TRUE(IntersectRect(R, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
  EXPECT_EQ(R, Rect(5, 5, 10, 10));
  EXPECT_FALSE(IntersectRect(R, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));  // edges exclusive
  EXPECT_EQ(R, TRect());
  EXPECT_TRUE(UnionRect(R, Rect(0, 0, 0, 0), Rect(1, 2, 3, 4)));
  EXPECT_EQ(R, Rect(1, 2, 3, 4));
  EXPECT_TRUE(PtInRect(Rect(0, 0, 2, 2), Point(1, 1)));
  EXPECT_FALSE(PtInRect(Rect(0, 0, 2, 2), Point(2, 1)));
  R = Rect(1, 1, 3, 3);
  InflateRect(R, 1, 2);
  OffsetRect(R, 10, 0);
  EXPECT_EQ(R, Rect(10, -1, 14, 5));
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 5, 9)));
}
