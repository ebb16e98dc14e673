#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/canvas.h"
#include "platform/base/exceptions.h"

namespace {

// Every test starts from the start-up defaults with the layer present and loaded once.
class QxCanvasTest : public testing::Test {
 protected:
  void SetUp() override {
    GdiPlusSetLibraryAvailable(true);
    GdiPlusInitDefaults();
    GdiPlusLoad();
  }
  void TearDown() override {
    GdiPlusSetLibraryAvailable(true);
    GdiPlusInitDefaults();
  }
};

std::string Pixels(const TBitmap& B) {
  std::string S;
  for (int32_t Y = 0; Y < B.Height(); ++Y) {
    for (int32_t X = 0; X < B.Width(); ++X) {
      COLORREF C = B.GetPixel(X, Y);
      S += C == 0xFFFFFF ? '.' : C == 0 ? '#' : C == 0x0000FF ? 'r' : 'o';
    }
    S += '\n';
  }
  return S;
}

}  // namespace

TEST_F(QxCanvasTest, UseCountKeepsTheLayerLoadedUntilTheLastUser) {
  EXPECT_TRUE(GdiPlusEnabled());
  GdiPlusLoad();
  EXPECT_EQ(GdiPlusUseCount(), 2);
  GdiPlusUnload();
  EXPECT_TRUE(GdiPlusLoaded());
  GdiPlusUnload();
  EXPECT_FALSE(GdiPlusLoaded());
  EXPECT_FALSE(GdiPlusEnabled());
}

TEST_F(QxCanvasTest, WithoutTheLayerEverythingGoesThroughTheCanvas) {
  GdiPlusInitDefaults();
  GdiPlusSetLibraryAvailable(false);
  GdiPlusLoad();
  EXPECT_FALSE(GdiPlusLoaded());
  TBitmap A(12, 12), B(12, 12);
  TQxCanvas C(A.Canvas(), true, true);
  EXPECT_FALSE(C.UseGdiPlus());
  EXPECT_EQ(C.Graphics(), nullptr);
  C.SetSmoothingMode(5);  // does nothing
  EXPECT_EQ(C.Pen()->GdiPlusPen(), nullptr);
  C.Brush()->SetColor(clRed);
  C.Rectangle(1, 1, 10, 9);
  C.DrawLine(0, 11, 5, 11);  // a two-point polygon: both ends drawn
  B.Canvas()->Brush()->SetColor(clRed);
  B.Canvas()->Rectangle(1, 1, 10, 9);
  for (int X = 0; X <= 5; ++X) B.SetPixel(X, 11, 0);
  EXPECT_EQ(Pixels(A), Pixels(B));
}

TEST_F(QxCanvasTest, RectangleOrdersCornersAndIsOnePixelSmallerInside) {
  TBitmap A(14, 14), B(14, 14);
  for (TBitmap* Bm : {&A, &B}) {
    TQxCanvas C(Bm->Canvas(), false, true);
    ASSERT_TRUE(C.UseGdiPlus());
    C.Brush()->SetColor(clRed);
    if (Bm == &A) C.Rectangle(10, 10, 0, 0);
    else C.Rectangle(0, 0, 10, 10);
  }
  EXPECT_EQ(Pixels(A), Pixels(B));
  // A 9 x 9 rectangle at (0, 0): outline on 0 and 9, the fill inside it.
  EXPECT_EQ(A.GetPixel(0, 0), 0u);
  EXPECT_EQ(A.GetPixel(9, 9), 0u);
  EXPECT_EQ(A.GetPixel(9, 4), 0u);
  EXPECT_EQ(A.GetPixel(4, 4), static_cast<COLORREF>(clRed));
  EXPECT_EQ(A.GetPixel(10, 10), 0xFFFFFFu);
  EXPECT_EQ(A.GetPixel(10, 4), 0xFFFFFFu);
}

TEST_F(QxCanvasTest, ClearPenAndBrushDrawNothingAndThePenComesBack) {
  TBitmap A(12, 12);
  TQxCanvas C(A.Canvas(), true, true);
  C.Pen()->SetStyle(TPenStyle::psClear);
  C.Brush()->SetStyle(TBrushStyle::bsClear);
  C.Rectangle(1, 1, 10, 10);
  C.Ellipse(1, 1, 10, 10);
  C.DrawLine(0, 0, 11, 11);
  EXPECT_EQ(Pixels(A), Pixels(TBitmap(12, 12)));
  EXPECT_EQ(C.Pen()->GdiPlusColor() >> 24, 0u);
  // Leaving psClear shows the pen again without another colour write.
  C.Pen()->SetStyle(TPenStyle::psSolid);
  EXPECT_EQ(C.Pen()->GdiPlusPen()->Color >> 24, 255u);
  C.DrawLine(0, 5, 11, 5);
  EXPECT_EQ(A.GetPixel(5, 5), 0u);
}

TEST_F(QxCanvasTest, FractionalWidthReachesTheAntiAliasedPen) {
  TBitmap A(20, 12);
  TQxCanvas C(A.Canvas(), false, true);
  C.Pen()->SetWidth(2.5f);
  EXPECT_FLOAT_EQ(C.Pen()->GdiPlusPen()->Width, 2.5f);
  EXPECT_EQ(A.Canvas()->Pen()->Width(), 2);
  C.Pen()->SetWidth(3);
  C.DrawLine(2, 5, 17, 5);
  int Rows = 0;
  for (int Y = 0; Y < 12; ++Y) Rows += A.GetPixel(10, Y) == 0;
  EXPECT_EQ(Rows, 3);
}

TEST_F(QxCanvasTest, RoundRectCornersAreLimitedToTheRectangle) {
  TBitmap A(24, 16), B(24, 16);
  TQxCanvas CA(A.Canvas(), false, true), CB(B.Canvas(), false, true);
  CA.RoundRect(2, 2, 20, 14, 100, 100);
  CB.RoundRect(2, 2, 20, 14, 18, 12);
  EXPECT_EQ(Pixels(A), Pixels(B));
  EXPECT_NE(Pixels(A), Pixels(TBitmap(24, 16)));
}

TEST_F(QxCanvasTest, TinyEllipsesWithWidePensStayVisible) {
  TBitmap A(20, 20);
  TQxCanvas C(A.Canvas(), false, true);
  C.Pen()->SetWidth(4);
  C.Ellipse(10, 10, 11, 11);
  EXPECT_NE(Pixels(A), Pixels(TBitmap(20, 20)));
}

TEST_F(QxCanvasTest, ArcRunsBetweenTheRays) {
  TBitmap A(40, 40);
  TQxCanvas C(A.Canvas(), false, true);
  // From the ray to the right round to the ray upwards: the upper-right quarter.
  C.Arc(0, 0, 39, 39, 39, 19, 19, 0);
  int UpperRight = 0, Others = 0;
  for (int Y = 0; Y < 40; ++Y)
    for (int X = 0; X < 40; ++X)
      if (A.GetPixel(X, Y) != 0xFFFFFF) (X > 21 && Y < 17 ? UpperRight : Others)++;
  EXPECT_GT(UpperRight, 20);
  EXPECT_LT(Others, 6);
}

TEST_F(QxCanvasTest, TransparencyBlendsAndHatchesFill) {
  TBitmap A(16, 16);
  TQxCanvas C(A.Canvas(), false, true);
  C.Pen()->SetStyle(TPenStyle::psClear);
  C.Brush()->SetColor(clBlack);
  C.Brush()->SetTransparency(128);
  C.FillRect(TRect(0, 0, 9, 9));
  EXPECT_EQ(A.GetPixel(3, 3), RGB(127, 127, 127));
  C.Brush()->SetTransparency(255);
  C.Brush()->SetStyle(TBrushStyle::bsCross);
  C.Brush()->SetHatchBackground(clRed);
  C.Brush()->SetHatchBackgroundTransparency(255);
  C.FillRect(TRect(0, 0, 16, 16));
  EXPECT_EQ(A.GetPixel(7, 3), 0u);
  EXPECT_EQ(A.GetPixel(3, 3), static_cast<COLORREF>(clRed));
}

TEST_F(QxCanvasTest, AFailingSurfaceRaises) {
  TCanvas NoBitmap;
  try {
    TQxCanvas C(&NoBitmap, true, true);
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Cannot create TQxCanvas. GdipCreateFromHDC failed.");
  }
  TQxCanvas Fallback(&NoBitmap, true, false);  // the plain road needs no surface up front
  EXPECT_FALSE(Fallback.UseGdiPlus());
}

TEST(PresetImages, FourPngImagesWithTheirRectangles) {
  PresetImagesFree();
  EXPECT_TRUE(PresetImages().empty());
  PresetImagesInit();
  PresetImagesInit();
  ASSERT_EQ(PresetImages().size(), 4u);
  struct Want {
    int32_t Size, W, H, ColourType;
    TRect R;
  } Wants[] = {{9376, 162, 159, 6, TRect(18, 29, 140, 119)},
               {1055, 112, 100, 2, TRect(13, 1, 95, 98)},
               {1252, 163, 108, 3, TRect(30, 14, 147, 92)},
               {3329, 150, 150, 3, TRect(17, 17, 131, 131)}};
  for (size_t I = 0; I < 4; ++I) {
    const TQxPresetImage& P = *PresetImages()[I];
    EXPECT_EQ(P.DataSize, Wants[I].Size);
    EXPECT_EQ(P.Rect, Wants[I].R);
    EXPECT_EQ(P.FileFormat, 8);
    ASSERT_EQ(std::memcmp(P.Data, "\x89PNG\r\n\x1a\n", 8), 0);
    auto BE = [&](int Off) { return (P.Data[Off] << 24) | (P.Data[Off + 1] << 16) | (P.Data[Off + 2] << 8) | P.Data[Off + 3]; };
    EXPECT_EQ(BE(16), Wants[I].W);
    EXPECT_EQ(BE(20), Wants[I].H);
    EXPECT_EQ(P.Data[25], Wants[I].ColourType);
  }
  PresetImagesFree();
  EXPECT_TRUE(PresetImages().empty());
}
