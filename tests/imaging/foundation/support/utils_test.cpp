#include "imaging/foundation/utils.h"

#include <gtest/gtest.h>

TEST(QxUtils, ClampAndRounding) {
  EXPECT_EQ(QxClampInt(5, 10, 20), 10);
  EXPECT_EQ(QxClampInt(25, 10, 20), 20);
  EXPECT_EQ(QxClampInt(15, 10, 20), 15);
  EXPECT_EQ(QxClampByte(-3), 0);
  EXPECT_EQ(QxClampByte(256), 255);
  EXPECT_EQ(QxRoundUp(2.1L), 3);
  EXPECT_EQ(QxRoundUp(-2.1L), -2);
  EXPECT_EQ(QxRoundUp(4.0L), 4);
  EXPECT_EQ(QxRoundDown(-2.1L), -3);
  EXPECT_EQ(QxRoundDown(2.9L), 2);
  int32_t X1 = 5, Y1 = 1, X2 = 2, Y2 = 8;
  QxOrderCorners(X1, Y1, X2, Y2);
  EXPECT_EQ(X1, 2);
  EXPECT_EQ(X2, 5);
  EXPECT_EQ(Y1, 1);
  EXPECT_EQ(Y2, 8);
  EXPECT_DOUBLE_EQ(QxMaxDouble(1, 2), 2);
}

TEST(QxUtils, BitCountsAndRowLengths) {
  struct MaskCase { uint32_t Mask; int32_t Width; };
  for (MaskCase C : {MaskCase{0xF800, 5}, {0x07E0, 6}, {0x001F, 5}, {0xFF000000u, 8}, {0x80000000u, 1},
                     {0xFFFFFFFFu, 32}, {0, 0}})
    EXPECT_EQ(QxMaskBitWidth(C.Mask), C.Width) << std::hex << C.Mask;
  struct CountCase { uint32_t N; int32_t Bits; };
  for (CountCase C : {CountCase{256, 8}, {5, 3}, {1, 0}, {0, -1}, {2, 1}, {3, 2}, {0x80000001u, 32}})
    EXPECT_EQ(QxBitsForCount(C.N), C.Bits) << C.N;
  struct RowCase { int64_t W; int32_t Bpp, Align; int64_t Bytes; };
  for (RowCase C : {RowCase{3, 24, 32, 12}, {3, 24, 8, 9}, {10, 1, 32, 4}, {10, 1, 8, 2}, {3, 8, 16, 4},
                    {100000, 48, 32, 600000}, {0x40000000, 32, 32, 0x100000000}})  // no 32-bit wrap
    EXPECT_EQ(QxRowBytes(C.W, C.Bpp, C.Align), C.Bytes) << C.W << "x" << C.Bpp << "/" << C.Align;
  EXPECT_EQ(QxVclRowBytes(3, TPixelFormat::pf24bit), 12);
  EXPECT_EQ(QxVclPixelFormatBits(TPixelFormat::pfCustom), 0);
  EXPECT_EQ(QxVclToPixelFormat(TPixelFormat::pf4bit), TQxPixelFormat::qx8p);
  EXPECT_EQ(QxVclToPixelFormat(TPixelFormat::pf32bit), TQxPixelFormat::qx24RGB);
}

TEST(QxUtils, BitsBytesAndColours) {
  uint8_t Row[2] = {0, 0};
  QxSetBit(Row, 9, 1);
  EXPECT_EQ(Row[1], 64);
  EXPECT_TRUE(QxGetBit(Row, 9));
  QxSetBit(Row, 9, 0);
  EXPECT_EQ(Row[1], 0);
  uint8_t B = 0x01;
  QxReverseBits8(B);
  EXPECT_EQ(B, 0x80);
  uint32_t V = 0x00000001;
  QxReverseBits32(V);
  EXPECT_EQ(V, 0x80000000u);
  EXPECT_EQ(QxSwap16(0xAABB1234u), 0xAABB3412u);
  EXPECT_EQ(QxSwap32(0x11223344u), 0x44332211u);
  uint8_t W[4] = {1, 2, 3, 4};
  QxSwap16Array(W, 2);
  EXPECT_EQ(W[0], 2);
  EXPECT_EQ(W[3], 3);
  EXPECT_EQ(QxSwapRedBlue(0xFF123456u), 0x00563412u);
  EXPECT_EQ(QxMakeCMYK(1, 2, 3, 4), 0x04030201u);
  TQxRGB C = QxTColorToRGB(0x00336699);
  EXPECT_EQ(C, QxMakeRGB(0x99, 0x66, 0x33));
  EXPECT_EQ(QxTColorToARGB(0x00336699, 0x80), 0x80996633u);
  QxResetGrayWeights();
  EXPECT_EQ(QxRGBToGray(QxMakeRGB(255, 255, 255)), 255);
  EXPECT_EQ(QxRGBToGray(QxMakeRGB(100, 0, 0)), 21);
}

TEST(QxUtils, Powers) {
  EXPECT_DOUBLE_EQ(static_cast<double>(QxIntPower(2, 10)), 1024);
  EXPECT_DOUBLE_EQ(static_cast<double>(QxIntPower(2, -2)), 0.25);
  EXPECT_DOUBLE_EQ(static_cast<double>(QxFloatPower(0, 3.5)), 0);
  EXPECT_NEAR(static_cast<double>(QxFloatPower(2, 0.5)), 1.41421356, 1e-8);
  EXPECT_DOUBLE_EQ(QxPowerDouble(3, -2), 1.0 / 9);
  EXPECT_DOUBLE_EQ(QxPowerDouble(0, -1), 0);
  EXPECT_DOUBLE_EQ(QxPowerDouble(5, 0), 1);
  EXPECT_NEAR(QxPowerDouble(8, 1.0 / 3), 2, 1e-12);
}

TEST(QxUtils, HashCountsEachValueOnceAlsoInSharedBuckets) {
  THash1 H(4);
  EXPECT_TRUE(H.AddValue(7));
  EXPECT_FALSE(H.AddValue(7));
  EXPECT_TRUE(H.AddValue(7 + 16));  // same bucket: becomes a chain
  EXPECT_TRUE(H.AddValue(7 + 32));
  EXPECT_FALSE(H.AddValue(7 + 16));
  EXPECT_FALSE(H.AddValue(7));
  uint32_t Bucket;
  THash1Item* Item;
  EXPECT_TRUE(H.Insert(7 + 48, Bucket, Item));
  EXPECT_EQ(Bucket, 7u);
  ASSERT_NE(Item, nullptr);
  EXPECT_EQ(Item->Value, 55u);
  EXPECT_EQ(H.Count(), 4);
}
