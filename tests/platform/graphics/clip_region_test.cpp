#include <gtest/gtest.h>

#include "art.h"

TEST(Regions, CombineGivesBandedRectangles) {
  TRegion A = CreateRectRgn(0, 0, 4, 4), B = CreateRectRgn(2, 2, 6, 6), R;
  EXPECT_EQ(CombineRgn(R, A, B, RGN_AND), SIMPLEREGION);
  EXPECT_EQ(R.Rects(), std::vector<TRect>({TRect(2, 2, 4, 4)}));
  EXPECT_EQ(CombineRgn(R, A, B, RGN_OR), COMPLEXREGION);
  EXPECT_EQ(R.Rects(), std::vector<TRect>({TRect(0, 0, 4, 2), TRect(0, 2, 6, 4), TRect(2, 4, 6, 6)}));
  CombineRgn(R, A, B, RGN_XOR);
  EXPECT_EQ(R.Rects(), std::vector<TRect>({TRect(0, 0, 4, 2), TRect(0, 2, 2, 4), TRect(4, 2, 6, 4), TRect(2, 4, 6, 6)}));
  CombineRgn(R, A, B, RGN_DIFF);
  EXPECT_EQ(R.Rects(), std::vector<TRect>({TRect(0, 0, 4, 2), TRect(0, 2, 2, 4)}));
  EXPECT_EQ(CombineRgn(R, A, A, RGN_DIFF), NULLREGION);
  EXPECT_EQ(CombineRgn(R, A, B, 99), RGN_ERROR);
  // Touching bands with equal spans merge.
  TRegion T = TRegion::FromRects({TRect(0, 0, 2, 1), TRect(0, 1, 2, 3)});
  EXPECT_EQ(T.Rects(), std::vector<TRect>({TRect(0, 0, 2, 3)}));
  EXPECT_TRUE(PtInRegion(A, 3, 3));
  EXPECT_FALSE(PtInRegion(A, 4, 3));
  OffsetRgn(A, 10, 0);
  EXPECT_EQ(A.Bounds(), TRect(10, 0, 14, 4));
}

TEST(Regions, ShapesMatchTheFilledFigures) {
  TRegion E = CreateEllipticRgn(1, 1, 8, 8);
  TBitmap B(9, 9);
  B.Canvas()->Ellipse(1, 1, 8, 8);
  for (int Y = 0; Y < 9; ++Y)
    for (int X = 0; X < 9; ++X) {
      bool Painted = B.GetPixel(X, Y) == 0;
      if (Painted) {
        EXPECT_TRUE(E.Contains(X, Y)) << X << "," << Y;
      }
    }
  TPoint Tri[] = {{0, 0}, {4, 0}, {0, 4}};
  TRegion P = CreatePolygonRgn(Tri, 3, ALTERNATE);
  EXPECT_TRUE(P.Contains(0, 0));
  EXPECT_TRUE(P.Contains(3, 0));
  EXPECT_FALSE(P.Contains(4, 0));
  EXPECT_FALSE(P.Contains(3, 3));
  EXPECT_TRUE(CreatePolygonRgn(Tri, 2, ALTERNATE).IsEmpty());
  TRegion RR = CreateRoundRectRgn(0, 0, 10, 10, 4, 4);
  EXPECT_FALSE(RR.Contains(0, 0));
  EXPECT_TRUE(RR.Contains(5, 0));
  EXPECT_TRUE(RR.Contains(9, 5));
  EXPECT_FALSE(RR.Contains(10, 5));
}

TEST(Clipping, RegionsRectanglesAndSavedStates) {
  TBitmap B(6, 4);
  TCanvas* C = B.Canvas();
  C->Brush()->SetColor(clBlack);
  TRegion R = CreateRectRgn(1, 1, 3, 3);
  int Saved = SaveDC(C);
  EXPECT_EQ(SelectClipRgn(C, &R), SIMPLEREGION);
  C->FillRect(TRect(0, 0, 6, 4));
  EXPECT_EQ(Art(B), Join({"......", ".##...", ".##...", "......"}));
  EXPECT_EQ(C->ClipRect(), TRect(1, 1, 3, 3));
  RestoreDC(C, Saved);
  EXPECT_EQ(C->ClipRect(), TRect(0, 0, 6, 4));
  ExcludeClipRect(C, 0, 0, 5, 4);
  C->Brush()->SetColor(clRed);
  C->FillRect(TRect(0, 0, 6, 4));
  EXPECT_EQ(Art(B), Join({".....r", ".##..r", ".##..r", ".....r"}));
  SelectClipRgn(C, nullptr);
  // Lines, ellipses and text all stop at the clip too.
  IntersectClipRect(C, 0, 0, 2, 4);
  C->MoveTo(0, 3);
  C->LineTo(6, 3);
  EXPECT_EQ(Art(B).substr(3 * 7), "##...r\n");
}

TEST(Clipping, ViewportOriginMovesDrawingAndClipRectangles) {
  TBitmap B(6, 4);
  TCanvas* C = B.Canvas();
  SetViewportOrgEx(C, 3, 1, nullptr);
  C->Brush()->SetColor(clBlack);
  C->FillRect(TRect(0, 0, 2, 2));
  EXPECT_EQ(Art(B), Join({"......", "...##.", "...##.", "......"}));
  IntersectClipRect(C, 0, 0, 1, 1);  // logical: device (3, 1)..(4, 2)
  C->Brush()->SetColor(clRed);
  C->FillRect(TRect(-3, -1, 3, 3));
  EXPECT_EQ(Art(B), Join({"......", "...r#.", "...##.", "......"}));
  EXPECT_EQ(C->ClipRect(), TRect(0, 0, 1, 1));
  EXPECT_EQ(C->Pixels(0, 0), clRed);
}

TEST(CanvasState, RawColoursStickUntilTheBrushOrFontChanges) {
  TBitmap B(1, 1);
  TCanvas* C = B.Canvas();
  C->Brush()->SetColor(clRed);
  C->RequiredState();
  EXPECT_EQ(GetBkColor(C), static_cast<COLORREF>(clRed));
  SetBkColor(C, clBlack);
  C->FillRect(TRect(0, 0, 0, 0));  // a drawing call does not undo it
  EXPECT_EQ(GetBkColor(C), 0u);
  C->Brush()->SetColor(clLime);
  EXPECT_EQ(GetBkColor(C), static_cast<COLORREF>(clLime));
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  EXPECT_EQ(GetBkMode(C), TRANSPARENT);
  C->Pen()->SetMode(TPenMode::pmXor);
  EXPECT_EQ(GetROP2(C), R2_XORPEN);
}
