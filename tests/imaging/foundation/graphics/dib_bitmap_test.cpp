#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/dib_bitmap.h"

TEST(QxDibbitmap, OneBitRowsAndColours) {
  TQxDibbitmap D;
  ASSERT_TRUE(D.Allocate(33, 4, TQxPixelFormat::qx1g));
  EXPECT_EQ(D.RowLen(), 8);
  EXPECT_EQ(D.BitCount(), 1);
  EXPECT_EQ(D.PixelFormat(), TQxPixelFormat::qx1g);
  EXPECT_EQ(D.BitmapInfo().bmiHeader.biSizeImage, 32u);
  EXPECT_EQ(D.Scanline(3), D.Bits());
  EXPECT_EQ(D.Scanline(0), D.Bits() + 3 * 8);
  std::memset(D.Bits(), 0, 32);
  D.Scanline(0)[0] = 0x80;  // pixel (0, 0) = 1
  EXPECT_EQ(GetPixel(D.DC(), 0, 0), 0xFFFFFFu);
  EXPECT_EQ(GetPixel(D.DC(), 1, 0), 0u);
  // Drawing through the canvas lands in the rows.
  D.DC()->Brush()->SetColor(clWhite);
  D.DC()->FillRect(TRect(8, 3, 16, 4));
  EXPECT_EQ(D.Scanline(3)[1], 0xFF);
}

TEST(QxDibbitmap, RefusesOtherFormatsAndBadSizes) {
  TQxDibbitmap D;
  ASSERT_TRUE(D.Allocate(10, 5, TQxPixelFormat::qx24RGB));
  uint8_t* Bits = D.Bits();
  EXPECT_FALSE(D.Allocate(20, 20, TQxPixelFormat::qx8g));
  EXPECT_EQ(D.Bits(), Bits);
  EXPECT_EQ(D.Width(), 10);
  EXPECT_EQ(D.RowLen(), 32);
  for (auto [W, H] : {std::pair{0, 5}, {5, 0}, {-5, 10}, {10, -1}, {70000, 70000}}) {
    EXPECT_FALSE(D.AllocateDIB(W, H, 24)) << W << "x" << H;
    EXPECT_EQ(D.Bits(), Bits) << "the section stays after a refused size";
  }
  EXPECT_EQ(D.Scanline(-1), nullptr);
  EXPECT_EQ(D.Scanline(5), nullptr);
  D.FreeDIB();
  EXPECT_EQ(D.Bits(), nullptr);
  EXPECT_EQ(D.DC(), nullptr);
  EXPECT_EQ(D.Width(), 0);
}

TEST(QxDibbitmap, AssignFromCopiesAnotherSection) {
  TQxDibbitmap A, B;
  ASSERT_TRUE(A.Allocate(3, 2, TQxPixelFormat::qx24RGB));
  A.Scanline(1)[2] = 0x7F;
  B.AssignFrom(&A);
  EXPECT_EQ(B.Width(), 3);
  EXPECT_EQ(B.Scanline(1)[2], 0x7F);
  EXPECT_EQ(B.PaletteLength(), 0);
  EXPECT_EQ(B.Palette(), nullptr);
}

TEST(QxWorkBitmap, KeepsItsBlockForTheSameSize) {
  TQxWorkBitmap W(5, 3, 24);
  ASSERT_NE(W.Memory(), nullptr);
  EXPECT_EQ(W.RowLen(), 16);
  EXPECT_EQ(W.Scanline(2), W.Memory());
  EXPECT_EQ(W.Scanline(0), W.Memory() + 32);
  W.Scanline(0)[0] = 42;
  uint8_t* M = W.Memory();
  W.Allocate(5, 3, 24);
  EXPECT_EQ(W.Memory(), M);
  EXPECT_EQ(W.Scanline(0)[0], 42);
  W.Allocate(-1, 3, 24);
  EXPECT_EQ(W.Memory(), nullptr);
  EXPECT_EQ(W.Width(), 0);
  TQxWorkBitmap Empty(0, 0, 32);
  EXPECT_EQ(Empty.Memory(), nullptr);
  EXPECT_EQ(Empty.Scanline(0), nullptr);
}

TEST(QxDrawDib, DrawsRowsStretchedOntoTheCanvas) {
  // A 2 x 2 24-bit DIB, bottom-up: bottom row blue, white; top row red, black.
  TQxBitmapInfoHeader H;
  H.biWidth = 2;
  H.biHeight = 2;
  H.biBitCount = 24;
  uint8_t Bits[16] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0};
  TBitmap Dst(4, 4);
  HDRAWDIB D = QxDrawDibOpen();
  ASSERT_TRUE(QxDrawDibDraw(D, Dst.Canvas(), 0, 0, 4, 4, &H, Bits, 0, 0, 2, 2, 0));
  EXPECT_EQ(Dst.GetPixel(0, 0), static_cast<COLORREF>(clRed));
  EXPECT_EQ(Dst.GetPixel(3, 1), 0u);
  EXPECT_EQ(Dst.GetPixel(1, 3), static_cast<COLORREF>(clBlue));
  EXPECT_EQ(Dst.GetPixel(3, 3), 0xFFFFFFu);
  // Source rectangle (1, 0, 1, 1) at its own size.
  TBitmap One(2, 2);
  ASSERT_TRUE(QxDrawDibDraw(D, One.Canvas(), 1, 1, -1, -1, &H, Bits, 1, 0, 1, 1, 0));
  EXPECT_EQ(One.GetPixel(1, 1), 0u);
  EXPECT_EQ(One.GetPixel(0, 0), 0xFFFFFFu);
  H.biCompression = 1;
  EXPECT_FALSE(QxDrawDibDraw(D, Dst.Canvas(), 0, 0, 4, 4, &H, Bits, 0, 0, 2, 2, 0));
  EXPECT_TRUE(QxDrawDibClose(D));
  EXPECT_EQ(QxDrawDibRealize(D, Dst.Canvas(), false), 0u);
}
