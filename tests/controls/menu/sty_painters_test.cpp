// Gradients, gradient boxes, bands and backgrounds of the styled menu, checked pixel by pixel.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/menu/sty_menu_util.h"
#include "controls/menu/sty_painters.h"
#include "controls/menu/sty_styler.h"

using namespace StyMenus;

namespace {

constexpr TColor kGround = 0x123456;

std::unique_ptr<TBitmap> Ground(int32_t W, int32_t H) {
  auto B = std::make_unique<TBitmap>(W, H, TPixelFormat::pf32bit);
  TBrush Br;
  Br.SetColor(kGround);
  ::FillRect(B->Canvas(), TRect(0, 0, W, H), Br);
  return B;
}

TColor Gray(int V) { return RGBToColor(uint8_t(V), uint8_t(V), uint8_t(V)); }
int GrayOf(const TBitmap& B, int32_t X, int32_t Y) { return static_cast<int>(B.GetPixel(X, Y) & 0xFF); }

TEST(StyPainters, VerticalGradientRowsStopShortOfTheEndColour) {
  auto B = Ground(3, 10);
  FillGradient(B->Canvas(), TRect(0, 0, 3, 10), TGradientDirection::gdVertical, clBlack, clWhite);
  const int Rows[] = {0, 25, 51, 76, 102, 127, 153, 178, 204, 229};
  for (int32_t Y = 0; Y < 10; ++Y)
    for (int32_t X = 0; X < 3; ++X) EXPECT_EQ(B->GetPixel(X, Y), static_cast<COLORREF>(Gray(Rows[Y]))) << X << "," << Y;
}

TEST(StyPainters, HorizontalGradientAndPlainFills) {
  auto B = Ground(4, 2);
  FillGradient(B->Canvas(), TRect(0, 0, 4, 2), TGradientDirection::gdHorizontal, Gray(0), Gray(100));
  for (int32_t X = 0; X < 4; ++X) EXPECT_EQ(GrayOf(*B, X, 1), X * 100 / 4);
  // An end colour of clNone, or one equal to the start, is a plain fill; an empty rect paints nothing.
  for (TColor End : {clNone, clRed}) {
    auto P = Ground(5, 5);
    FillGradient(P->Canvas(), TRect(1, 1, 4, 4), TGradientDirection::gdVertical, clRed, End);
    EXPECT_EQ(P->GetPixel(1, 1), static_cast<COLORREF>(clRed));
    EXPECT_EQ(P->GetPixel(3, 3), static_cast<COLORREF>(clRed));
    EXPECT_EQ(P->GetPixel(4, 4), static_cast<COLORREF>(kGround));
  }
  auto E = Ground(2, 2);
  FillGradient(E->Canvas(), TRect(0, 1, 2, 1), TGradientDirection::gdVertical, clBlack, clWhite);
  EXPECT_EQ(E->GetPixel(0, 1), static_cast<COLORREF>(kGround));
}

TEST(StyPainters, GradientPartPaintsOnlyItsSliceOfTheWholeGradient) {
  auto B = Ground(100, 2);
  FillGradientPart(B->Canvas(), TRect(0, 0, 100, 2), TRect(50, 0, 60, 2), clBlack, clWhite,
                   TGradientDirection::gdHorizontal);
  EXPECT_EQ(B->GetPixel(49, 0), static_cast<COLORREF>(kGround));
  EXPECT_EQ(B->GetPixel(60, 0), static_cast<COLORREF>(kGround));
  EXPECT_EQ(GrayOf(*B, 50, 0), 127);
  int Prev = 127;
  for (int32_t X = 51; X < 60; ++X) {
    EXPECT_GT(GrayOf(*B, X, 1), Prev);
    Prev = GrayOf(*B, X, 1);
  }
  EXPECT_LT(Prev, 153);
  // A clip outside the full rect paints nothing.
  auto C = Ground(10, 10);
  FillGradientPart(C->Canvas(), TRect(0, 0, 5, 5), TRect(5, 0, 9, 5), clBlack, clWhite,
                   TGradientDirection::gdVertical);
  EXPECT_EQ(C->GetPixel(6, 2), static_cast<COLORREF>(kGround));
}

TEST(StyPainters, GradientBoxesAndTheirMirrorHalf) {
  auto B = Ground(6, 21);
  DrawMirrorGradientFrame(B->Canvas(), TRect(0, 0, 6, 21), clRed, clNone, clBlue, clNone,
                          TGradientDirection::gdVertical, clNone, true);
  EXPECT_EQ(B->GetPixel(2, 9), static_cast<COLORREF>(clRed));
  EXPECT_EQ(B->GetPixel(2, 10), static_cast<COLORREF>(clBlue));
  EXPECT_EQ(B->GetPixel(2, 20), static_cast<COLORREF>(clBlue));
  // Without a mirror colour the box is one gradient; the border is a 1-pixel frame inside it.
  auto F = Ground(6, 6);
  DrawMirrorGradientFrame(F->Canvas(), TRect(0, 0, 6, 6), clRed, clNone, clNone, clNone,
                          TGradientDirection::gdVertical, clGreen, true);
  EXPECT_EQ(F->GetPixel(0, 3), static_cast<COLORREF>(clGreen));
  EXPECT_EQ(F->GetPixel(5, 5), static_cast<COLORREF>(clGreen));
  EXPECT_EQ(F->GetPixel(2, 4), static_cast<COLORREF>(clRed));
  // Not filled (a disabled mark box): the frame alone.
  auto N = Ground(6, 6);
  DrawGradientFrame(N->Canvas(), TRect(0, 0, 6, 6), clRed, clNone, TGradientDirection::gdVertical, clGreen, false);
  EXPECT_EQ(N->GetPixel(2, 2), static_cast<COLORREF>(kGround));
  EXPECT_EQ(N->GetPixel(0, 0), static_cast<COLORREF>(clGreen));
}

TEST(StyPainters, HorizontalBandFadesAtBothEnds) {
  auto B = Ground(100, 1);
  DrawGradientBand(B->Canvas(), TRect(0, 0, 100, 1), Gray(200), Gray(40), TGradientDirection::gdHorizontal,
                   TGradientType::gtBoth, 8, 2);
  EXPECT_EQ(B->GetPixel(1, 0), static_cast<COLORREF>(kGround));
  EXPECT_EQ(B->GetPixel(98, 0), static_cast<COLORREF>(kGround));
  for (int32_t X = 6; X < 94; ++X) ASSERT_EQ(GrayOf(*B, X, 0), 200) << X;
  // The fades run from colour-to at the outer edges towards the colour.
  const int Left[] = {40, 80, 120, 160}, Right[] = {200, 160, 120, 80};
  for (int32_t I = 0; I < 4; ++I) {
    EXPECT_EQ(GrayOf(*B, 2 + I, 0), Left[I]);
    EXPECT_EQ(GrayOf(*B, 94 + I, 0), Right[I]);
  }
}

TEST(StyPainters, BandTypesAndWidths) {
  struct Case {
    TGradientType Type;
    int32_t Width, Band;
    std::vector<int> Expect;  // gray per pixel, -1 untouched
  };
  const Case Cases[] = {
      // gtLeft: colour at the left end fading into colour-to along the band.
      {TGradientType::gtLeft, 6, 2, {200, 120, 40, 40, 40, 40}},
      {TGradientType::gtRight, 6, 2, {40, 40, 40, 40, 40, 120}},
      // A band as wide as the rect leaves no solid part.
      {TGradientType::gtBoth, 4, 9, {40, 120, 200, 120}},
      // Band width 0 with no colour-to: a plain strip.
      {TGradientType::gtBoth, 3, 0, {200, 200, 200}},
  };
  for (const Case& C : Cases) {
    auto B = Ground(C.Width, 1);
    DrawGradientBand(B->Canvas(), TRect(0, 0, C.Width, 1), Gray(200), C.Band == 0 ? clNone : Gray(40),
                     TGradientDirection::gdHorizontal, C.Type, C.Band, 0);
    for (int32_t X = 0; X < C.Width; ++X) EXPECT_EQ(GrayOf(*B, X, 0), C.Expect[X]) << int(C.Type) << " x=" << X;
  }
}

TEST(StyPainters, VerticalSplitterDoublesTheBandOfBothEnds) {
  // Band width 3 makes 6 for the length test: a 6-pixel strip has no solid part, a 7-pixel one has.
  for (int32_t H : {6, 7, 20}) {
    auto B = Ground(1, H);
    DrawGradientBand(B->Canvas(), TRect(0, 0, 1, H), Gray(210), Gray(30), TGradientDirection::gdVertical,
                     TGradientType::gtBoth, 3, 0);
    // From colour-to at each end towards the colour.
    const int Top[] = {30, 90, 150}, Bottom[] = {90, 150, 210};
    for (int32_t Y = 0; Y < 3; ++Y) {
      EXPECT_EQ(GrayOf(*B, 0, Y), Top[Y]) << H;
      EXPECT_EQ(GrayOf(*B, 0, H - 1 - Y), Bottom[Y]) << H;
    }
    for (int32_t Y = 3; Y < H - 3; ++Y) EXPECT_EQ(GrayOf(*B, 0, Y), 210) << H;
  }
}

TEST(StyPainters, PicturePositionsInsideARect) {
  TBackground Bg;
  auto Pic = std::make_unique<TBitmap>(16, 16, TPixelFormat::pf32bit);
  TPicture P;
  P.SetGraphic(std::move(Pic));
  Bg.SetImage(&P);
  struct Case {
    TBackgroundPosition Pos;
    int32_t X, Y;
  };
  const Case Cases[] = {
      {TBackgroundPosition::bpCenter, 12 + 3, 12 - 2},     {TBackgroundPosition::bpTopLeft, 3, -2},
      {TBackgroundPosition::bpBottomRight, 24 + 3, 24 - 2}, {TBackgroundPosition::bpTopCenter, 12 + 3, -2},
      {TBackgroundPosition::bpBottomLeft, 3, 24 - 2},       {TBackgroundPosition::bpTiled, 0, 0},
      {TBackgroundPosition::bpXY, 0, 0},
  };
  Bg.SetOffsetX(3);
  Bg.SetOffsetY(-2);
  for (const Case& C : Cases) {
    Bg.SetPosition(C.Pos);
    int32_t X = -1, Y = -1;
    Bg.GetPicturePosition(TRect(0, 0, 40, 40), X, Y);
    EXPECT_EQ(X, C.X) << int(C.Pos);
    EXPECT_EQ(Y, C.Y) << int(C.Pos);
  }
  // Without a picture the corner of the rect.
  TBackground Empty;
  int32_t X, Y;
  Empty.GetPicturePosition(TRect(5, 7, 40, 40), X, Y);
  EXPECT_EQ(X, 5);
  EXPECT_EQ(Y, 7);
}

TEST(StyPainters, BackgroundTilesItsPictureOverTheGradient) {
  TBackground Bg;
  auto Tile = std::make_unique<TBitmap>(3, 2, TPixelFormat::pf32bit);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) Tile->SetPixel(x, y, RGB(uint8_t(10 * x), uint8_t(100 + y), 7));
  TPicture P;
  P.SetGraphic(std::move(Tile));
  Bg.SetImage(&P);
  Bg.SetPosition(TBackgroundPosition::bpTiled);
  Bg.SetColor(clRed);
  Bg.SetMarginX(1);
  auto B = Ground(9, 5);
  PaintMenuBackground(B->Canvas(), TRect(0, 0, 9, 5), Bg, true);
  EXPECT_EQ(B->GetPixel(0, 0), static_cast<COLORREF>(kGround));  // margin
  EXPECT_EQ(B->GetPixel(8, 4), static_cast<COLORREF>(kGround));
  // The picture is transparent in its bottom-left colour, where the gradient shows through.
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 1; x < 8; ++x) {
      int32_t tx = (x - 1) % 3, ty = y % 2;
      COLORREF Want = tx == 0 && ty == 1 ? static_cast<COLORREF>(clRed) : RGB(uint8_t(10 * tx), uint8_t(100 + ty), 7);
      EXPECT_EQ(B->GetPixel(x, y), Want) << x << "," << y;
    }

  // A picture of no size is not drawn: only the gradient shows.
  TBackground Zero;
  TPicture ZP;
  ZP.SetGraphic(std::make_unique<TBitmap>(0, 4, TPixelFormat::pf32bit));
  Zero.SetImage(&ZP);
  Zero.SetPosition(TBackgroundPosition::bpTiled);
  Zero.SetColor(clBlue);
  auto Z = Ground(4, 4);
  PaintMenuBackground(Z->Canvas(), TRect(0, 0, 4, 4), Zero, true);
  EXPECT_EQ(Z->GetPixel(3, 3), static_cast<COLORREF>(clBlue));
}

TEST(StyMenuUtil, RectsColoursAndTurnedFonts) {
  TRect R = FitRectCentered(TRect(0, 0, 10, 10), 4, 2);
  EXPECT_EQ(R, TRect(3, 4, 7, 6));
  EXPECT_EQ(FitRectCentered(TRect(0, 0, 5, 5), 2, 2), TRect(1, 1, 3, 3));
  EXPECT_EQ(BitmapBounds(nullptr), TRect(0, 0, 0, 0));
  TBitmap B(7, 3);
  EXPECT_EQ(BitmapBounds(&B), TRect(0, 0, 7, 3));
  uint8_t r, g, b;
  ColorToRGBParts(clWhite, r, g, b);
  EXPECT_EQ(r + g + b, 3 * 255);
  ColorToRGBParts(0x30A0F0, r, g, b);
  EXPECT_EQ(r, 0xF0);
  EXPECT_EQ(g, 0xA0);
  EXPECT_EQ(b, 0x30);
  TFont F;
  F.SetName("Tahoma");
  F.SetStyle({TFontStyle::fsBold});
  F.SetCharset(ANSI_CHARSET);
  auto T = CreateRotatedFont(F, 90);
  EXPECT_EQ(T->Orientation(), 900);
  EXPECT_EQ(T->Charset(), DEFAULT_CHARSET);
  EXPECT_TRUE(T->Style().Contains(TFontStyle::fsBold));
  EXPECT_EQ(T->Name(), "Tahoma");
}

}  // namespace
