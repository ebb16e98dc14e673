#include <gtest/gtest.h>

#include "art.h"
#include <tuple>

#include "platform/base/exceptions.h"

TEST(Bitmap, RowsAreBottomUpAndPaddedToFourBytes) {
  struct Case {
    TPixelFormat F;
    int32_t RowBytes;
  } Cases[] = {{TPixelFormat::pf1bit, 8},   {TPixelFormat::pf4bit, 20},  {TPixelFormat::pf8bit, 36},
               {TPixelFormat::pf15bit, 68}, {TPixelFormat::pf16bit, 68}, {TPixelFormat::pf24bit, 100},
               {TPixelFormat::pf32bit, 132}};
  for (const Case& C : Cases) {
    TBitmap B(33, 3, C.F);
    EXPECT_EQ(B.RowBytes(), C.RowBytes) << static_cast<int>(C.F);
    auto* R0 = static_cast<uint8_t*>(B.ScanLine(0));
    EXPECT_EQ(static_cast<uint8_t*>(B.ScanLine(1)), R0 - C.RowBytes);
    EXPECT_EQ(static_cast<uint8_t*>(B.ScanLine(2)), B.Bits());
  }
}

TEST(Bitmap, RefusesNegativeSizesAndBadRows) {
  TBitmap B(4, 4);
  EXPECT_THROW(B.SetSize(-1, 4), EInvalidGraphic);
  EXPECT_EQ(B.Width(), 4);
  EXPECT_THROW(B.ScanLine(4), EInvalidGraphicOperation);
  EXPECT_THROW(TBitmap(1, -2), EInvalidGraphic);
}

TEST(Bitmap, ResizeKeepsContentAndNewPixelsAreWhite) {
  TBitmap B(3, 2);
  B.SetPixel(2, 1, clRed);
  B.SetSize(5, 3);
  EXPECT_EQ(B.GetPixel(2, 1), static_cast<COLORREF>(clRed));
  EXPECT_EQ(B.GetPixel(4, 2), 0xFFFFFFu);
  EXPECT_EQ(B.GetPixel(0, 0), 0xFFFFFFu);
}

TEST(Bitmap, FormatChangesConvertPixels) {
  TBitmap B(4, 1, TPixelFormat::pf24bit);
  COLORREF Cs[4] = {0x000000, 0xFFFFFF, 0x0000FF, 0x336699};
  for (int I = 0; I < 4; ++I) B.SetPixel(I, 0, Cs[I]);
  B.SetPixelFormat(TPixelFormat::pf8bit);  // the table holds the 6x6x6 cube, so these survive
  B.SetPixelFormat(TPixelFormat::pf32bit);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(B.GetPixel(I, 0), Cs[I]) << I;
  B.SetPixelFormat(TPixelFormat::pf16bit);
  EXPECT_EQ(B.GetPixel(1, 0), 0xFFFFFFu);
  B.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(B.GetPixel(0, 0), 0u);
  EXPECT_EQ(B.GetPixel(1, 0), 0xFFFFFFu);
  EXPECT_EQ(B.GetPixel(2, 0), 0u);  // red is nearer to black than to white
}

TEST(Bitmap, MaskMarksTheTransparentColourWhite) {
  TBitmap B(3, 1);
  B.SetPixel(1, 0, clRed);
  auto M = B.CreateMask(clRed);
  EXPECT_TRUE(M->Monochrome());
  EXPECT_EQ(Art(*M), "#.#\n");
}

TEST(Lines, LeaveOutTheEndPixel) {
  auto B = WhiteBitmap(6, 4);
  TCanvas* C = B->Canvas();
  C->MoveTo(0, 0);
  C->LineTo(4, 0);
  C->MoveTo(5, 0);
  C->LineTo(5, 3);
  C->MoveTo(0, 1);
  C->LineTo(2, 3);
  EXPECT_EQ(Art(*B), Join({"####.#", "#....#", ".#...#", "......"}));
  EXPECT_EQ(C->PenPos(), TPoint(2, 3));
}

TEST(Lines, ClosedPolylineUnderXorTouchesEachPixelOnce) {
  auto B = WhiteBitmap(5, 5);
  TCanvas* C = B->Canvas();
  C->Pen()->SetMode(TPenMode::pmNotXor);  // black pen: XOR that turns white to black
  TPoint P[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
  C->Polyline(P, 5);
  EXPECT_EQ(Art(*B), Join({"#####", "#...#", "#...#", "#...#", "#####"}));
}

TEST(Lines, WidePensAndStyles) {
  auto B = WhiteBitmap(12, 5);
  TCanvas* C = B->Canvas();
  C->Pen()->SetWidth(3);
  C->MoveTo(2, 2);
  C->LineTo(9, 2);
  // round ends of radius 1.5 around (2, 2) and (9, 2)
  EXPECT_EQ(Art(*B), Join({"............", ".##########.", ".##########.", ".##########.", "............"}));
  auto D = WhiteBitmap(30, 1);
  C = D->Canvas();
  C->Pen()->SetStyle(TPenStyle::psDot);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  C->MoveTo(0, 0);
  C->LineTo(12, 0);
  EXPECT_EQ(Art(*D).substr(0, 13), "###...###...." );
  C->Pen()->SetStyle(TPenStyle::psClear);
  C->MoveTo(20, 0);
  C->LineTo(29, 0);
  EXPECT_EQ(Art(*D).substr(20, 9), ".........");
}

TEST(Shapes, RectangleExcludesRightAndBottom) {
  auto B = WhiteBitmap(7, 6);
  TCanvas* C = B->Canvas();
  C->Brush()->SetColor(clRed);
  C->Rectangle(1, 1, 6, 5);
  EXPECT_EQ(Art(*B), Join({".......", ".#####.", ".#rrr#.", ".#rrr#.", ".#####.", "......."}));
  // Reversed corners give the same picture.
  auto B2 = WhiteBitmap(7, 6);
  B2->Canvas()->Brush()->SetColor(clRed);
  B2->Canvas()->Rectangle(6, 5, 1, 1);
  EXPECT_EQ(Art(*B2), Art(*B));
  // Without a pen the fill is one pixel smaller on the right and bottom.
  auto B3 = WhiteBitmap(7, 6);
  B3->Canvas()->Brush()->SetColor(clRed);
  B3->Canvas()->Pen()->SetStyle(TPenStyle::psClear);
  B3->Canvas()->Rectangle(1, 1, 6, 5);
  EXPECT_EQ(Art(*B3), Join({".......", ".rrrr..", ".rrrr..", ".rrrr..", ".......", "......."}));
}

TEST(Shapes, FiguresFarLargerThanTheBitmapCostOnlyTheBitmap) {
  // Huge coordinates (a deep zoom) must neither hang nor allocate for the invisible part.
  TBitmap B(8, 6);
  TCanvas* C = B.Canvas();
  C->Brush()->SetColor(clRed);
  C->Rectangle(-2000000000, 2, 2000000000, 2000000000);
  EXPECT_EQ(Art(B), Join({"........", "........", "########", "rrrrrrrr", "rrrrrrrr", "rrrrrrrr"}));
  C->Ellipse(-1000000000, -1000000000, 1000000000, 1000000000);
  C->MoveTo(-2000000000, -2000000000);
  C->LineTo(2000000000, 2000000000);
  EXPECT_EQ(B.GetPixel(3, 3), 0u);  // the diagonal passes through the bitmap
  C->Pen()->SetWidth(3);
  C->MoveTo(-2000000000, 1);
  C->LineTo(2000000000, 1);
  EXPECT_EQ(Art(B).substr(0, 18), "########\n########\n");
  TPoint P[] = {{-2000000000, 0}, {2000000000, 0}, {0, 2000000000}};
  C->Polygon(P, 3);
  // A long dotted line keeps its pattern where it enters the bitmap.
  TBitmap D(12, 1);
  D.Canvas()->Pen()->SetStyle(TPenStyle::psDot);
  D.Canvas()->Brush()->SetStyle(TBrushStyle::bsClear);
  D.Canvas()->MoveTo(-600000, 0);
  D.Canvas()->LineTo(12, 0);
  EXPECT_EQ(Art(D), "###...###...\n");
  // A picture stretched a million times over: only the visible columns are mapped.
  TBitmap S(2, 1);
  S.SetPixel(1, 0, clRed);
  TBitmap T(4, 1);
  StretchBlt(T.Canvas(), -1000000000, 0, 2000000000, 1, S.Canvas(), 0, 0, 2, 1, SRCCOPY);
  EXPECT_EQ(Art(T), "rrrr\n");
}

TEST(Shapes, FillRectFrameRectAndFocusRect) {
  auto B = WhiteBitmap(6, 5);
  TCanvas* C = B->Canvas();
  C->Brush()->SetColor(clRed);
  C->FillRect(TRect(0, 0, 2, 2));
  C->FillRect(TRect(3, 3, 2, 2));  // empty: nothing
  C->Brush()->SetColor(clBlack);
  C->FrameRect(TRect(2, 1, 6, 5));
  EXPECT_EQ(Art(*B), Join({"rr....", "rr####", "..#..#", "..#..#", "..####"}));
  std::string Before = Art(*B);
  C->DrawFocusRect(TRect(0, 0, 6, 5));
  EXPECT_NE(Art(*B), Before);
  C->DrawFocusRect(TRect(0, 0, 6, 5));
  EXPECT_EQ(Art(*B), Before);
}

TEST(Shapes, EllipsesAreSymmetricAndFillTheirBox) {
  for (auto [W, H] : {std::pair{1, 1}, {2, 2}, {3, 5}, {7, 7}, {10, 6}, {11, 20}, {40, 13}}) {
    TBitmap B(W + 2, H + 2);
    B.Canvas()->Ellipse(1, 1, W + 1, H + 1);
    std::string A = Art(B);
    std::vector<std::string> Rows;
    for (size_t P = 0; P < A.size(); P = A.find('\n', P) + 1) Rows.push_back(A.substr(P, A.find('\n', P) - P));
    for (int Y = 0; Y < H + 2; ++Y) {
      std::string R = Rows[static_cast<size_t>(Y)];
      EXPECT_EQ(R, std::string(R.rbegin(), R.rend())) << W << "x" << H << " row " << Y;
      EXPECT_EQ(R, Rows[static_cast<size_t>(H + 1 - Y)]) << W << "x" << H << " row " << Y;
    }
    // touches all four sides of the box, nothing outside it
    EXPECT_NE(Rows[1].find('#'), std::string::npos);
    EXPECT_NE(Rows[static_cast<size_t>(H)].find('#'), std::string::npos);
    EXPECT_EQ(Rows[0].find('#'), std::string::npos);
    EXPECT_EQ(Rows[static_cast<size_t>(H + 1)].find('#'), std::string::npos);
    bool Left = false, Right = false;
    for (const auto& R : Rows) {
      Left |= R[1] == '#';
      Right |= R[static_cast<size_t>(W)] == '#';
      EXPECT_EQ(R[0], '.');
    }
    EXPECT_TRUE(Left && Right) << W << "x" << H;
  }
  TBitmap B(9, 9);
  B.Canvas()->Brush()->SetColor(clRed);
  B.Canvas()->Ellipse(1, 1, 8, 8);
  EXPECT_EQ(Art(B), Join({".........", "...###...", "..#rrr#..", ".#rrrrr#.", ".#rrrrr#.", ".#rrrrr#.",
                          "..#rrr#..", "...###...", "........."}));
}

TEST(Shapes, DottedEllipseAlternatesAlongTheCurve) {
  TBitmap B(30, 30);
  TCanvas* C = B.Canvas();
  C->Pen()->SetStyle(TPenStyle::psDot);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  C->Ellipse(2, 2, 28, 28);
  TBitmap Solid(30, 30);
  Solid.Canvas()->Brush()->SetStyle(TBrushStyle::bsClear);
  Solid.Canvas()->Ellipse(2, 2, 28, 28);
  int Dots = 0, Outline = 0;
  for (int Y = 0; Y < 30; ++Y)
    for (int X = 0; X < 30; ++X) {
      bool S = Solid.GetPixel(X, Y) == 0, D = B.GetPixel(X, Y) == 0;
      Outline += S;
      Dots += D;
      EXPECT_TRUE(S || !D) << "dot off the outline at " << X << "," << Y;
    }
  EXPECT_GT(Dots, Outline * 4 / 10);
  EXPECT_LT(Dots, Outline * 6 / 10);
}

TEST(Shapes, AlternateAndWindingFill) {
  // A square wound twice: the inner square is covered twice.
  TPoint P[] = {{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}, {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
  for (int Mode : {ALTERNATE, WINDING}) {
    TBitmap B(9, 9);
    TCanvas* C = B.Canvas();
    C->Pen()->SetStyle(TPenStyle::psClear);
    C->Brush()->SetColor(clBlack);
    SetPolyFillMode(C, Mode);
    C->Polygon(P, 10);
    EXPECT_EQ(B.GetPixel(1, 1), 0u);
    EXPECT_EQ(B.GetPixel(4, 4), Mode == WINDING ? 0u : 0xFFFFFFu) << Mode;
    EXPECT_EQ(B.GetPixel(8, 4), 0xFFFFFFu);  // right edge excluded
  }
}

TEST(Shapes, PolygonOutlineIncludesTheLastVertex) {
  TBitmap B(5, 5);
  B.Canvas()->Brush()->SetColor(clRed);
  TPoint P[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  B.Canvas()->Polygon(P, 4);
  EXPECT_EQ(Art(B), Join({"#####", "#rrr#", "#rrr#", "#rrr#", "#####"}));
}

TEST(Shapes, RoundRectArcPieAndChord) {
  TBitmap B(10, 8);
  B.Canvas()->RoundRect(0, 0, 10, 8, 4, 4);
  EXPECT_EQ(Art(B).substr(0, 11), ".########.\n");
  EXPECT_EQ(B.GetPixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(B.GetPixel(0, 3), 0u);
  // A quarter pie on the upper right: its fill stays in that quarter.
  TBitmap P(21, 21);
  P.Canvas()->Brush()->SetColor(clRed);
  P.Canvas()->Pie(0, 0, 21, 21, 20, 10, 10, 0);
  EXPECT_EQ(P.GetPixel(14, 6), static_cast<COLORREF>(clRed));
  EXPECT_EQ(P.GetPixel(6, 6), 0xFFFFFFu);
  EXPECT_EQ(P.GetPixel(14, 14), 0xFFFFFFu);
  EXPECT_EQ(P.GetPixel(20, 10), 0u);
  TBitmap A(21, 21);
  A.Canvas()->Arc(0, 0, 21, 21, 20, 10, 10, 0);
  EXPECT_EQ(A.GetPixel(10, 0), 0u);
  EXPECT_EQ(A.GetPixel(0, 10), 0xFFFFFFu);
  EXPECT_EQ(A.GetPixel(10, 10), 0xFFFFFFu);
  TBitmap Ch(21, 21);
  Ch.Canvas()->Brush()->SetColor(clRed);
  Ch.Canvas()->Chord(0, 0, 21, 21, 20, 10, 10, 0);
  EXPECT_EQ(Ch.GetPixel(16, 4), static_cast<COLORREF>(clRed)) << Art(Ch);
  EXPECT_EQ(Ch.GetPixel(12, 8), 0xFFFFFFu);  // beyond the chord
}

TEST(Brushes, HatchAndPatternFollowTheBrushOrigin) {
  TBitmap B(8, 8);
  TCanvas* C = B.Canvas();
  C->Brush()->SetStyle(TBrushStyle::bsHorizontal);
  C->Brush()->SetColor(clBlack);
  SetBkMode(C, TRANSPARENT);
  B.Canvas()->Brush()->SetColor(clBlack);
  C->Brush()->SetStyle(TBrushStyle::bsHorizontal);
  C->FillRect(TRect(0, 0, 8, 8));
  std::string A = Art(B);
  EXPECT_EQ(A, Join({"........", "........", "........", "........", "........", "........", "........", "########"}));
  TBitmap Pat(2, 2, TPixelFormat::pf1bit);
  Pat.SetPixel(0, 0, 0);
  Pat.SetPixel(1, 1, 0);
  TBitmap D(4, 2);
  D.Canvas()->Brush()->SetBitmap(&Pat);
  D.Canvas()->Font()->SetColor(clRed);  // mono pattern: 0 takes the text colour
  D.Canvas()->FillRect(TRect(0, 0, 4, 2));
  EXPECT_EQ(Art(D), "r.r.\n.r.r\n");
  SetBrushOrgEx(D.Canvas(), 1, 0, nullptr);
  D.Canvas()->FillRect(TRect(0, 0, 4, 2));
  EXPECT_EQ(Art(D), ".r.r\nr.r.\n");
}

TEST(PenModes, EveryBinaryRasterOperation) {
  // Pen bit P over destination bit D on a monochrome bitmap: columns (P, D) = (0,0) (0,1) (1,0) (1,1).
  for (int Rop = R2_BLACK; Rop <= R2_WHITE; ++Rop) {
    TBitmap B(4, 1, TPixelFormat::pf1bit);
    B.SetPixel(0, 0, 0);
    B.SetPixel(2, 0, 0);
    TCanvas* C = B.Canvas();
    C->Pen()->SetColor(clBlack);
    SetROP2(C, Rop);
    C->MoveTo(0, 0);
    C->LineTo(2, 0);
    C->Pen()->SetColor(clWhite);
    SetROP2(C, Rop);
    C->MoveTo(2, 0);
    C->LineTo(4, 0);
    int Table = Rop - 1;
    for (int I = 0; I < 4; ++I) {
      int P = I >> 1, D = I & 1;
      int Want = (Table >> (P << 1 | D)) & 1;
      EXPECT_EQ(B.GetPixel(I, 0), Want ? 0xFFFFFFu : 0u) << "R2 " << Rop << " P" << P << " D" << D;
    }
  }
  EXPECT_EQ(PenModeToROP2(TPenMode::pmNot), R2_NOT);
  EXPECT_EQ(PenModeToROP2(TPenMode::pmXor), R2_XORPEN);
}

TEST(RasterOps, EveryTernaryOperationFollowsItsTruthTable) {
  // Eight columns hold every (P, S, D) combination; each of the 256 operations must give its bits.
  TBitmap Src(8, 1, TPixelFormat::pf1bit), Pat(8, 1, TPixelFormat::pf1bit);
  for (int I = 0; I < 8; ++I) {
    Src.SetPixel(I, 0, (I >> 1) & 1 ? 0xFFFFFF : 0);
    Pat.SetPixel(I, 0, (I >> 2) & 1 ? 0xFFFFFF : 0);
  }
  for (int Op = 0; Op < 256; ++Op) {
    TBitmap Dst(8, 1, TPixelFormat::pf1bit);
    for (int I = 0; I < 8; ++I) Dst.SetPixel(I, 0, I & 1 ? 0xFFFFFF : 0);
    TCanvas* C = Dst.Canvas();
    C->Brush()->SetBitmap(&Pat);
    C->Font()->SetColor(clBlack);
    C->Brush()->SetColor(clWhite);
    BitBlt(C, 0, 0, 8, 1, Src.Canvas(), 0, 0, static_cast<uint32_t>(Op) << 16);
    for (int I = 0; I < 8; ++I)
      ASSERT_EQ(Dst.GetPixel(I, 0), (Op >> I) & 1 ? 0xFFFFFFu : 0u) << "op " << Op << " column " << I;
  }
  struct Named {
    uint32_t Rop;
    uint8_t Index;
  } Names[] = {{SRCCOPY, 0xCC}, {SRCPAINT, 0xEE}, {SRCAND, 0x88}, {SRCINVERT, 0x66}, {SRCERASE, 0x44},
               {NOTSRCCOPY, 0x33}, {NOTSRCERASE, 0x11}, {MERGECOPY, 0xC0}, {MERGEPAINT, 0xBB}, {PATCOPY, 0xF0},
               {PATPAINT, 0xFB}, {PATINVERT, 0x5A}, {DSTINVERT, 0x55}, {BLACKNESS, 0x00}, {WHITENESS, 0xFF}};
  for (const Named& N : Names) EXPECT_EQ(N.Rop >> 16, N.Index);
}

TEST(RasterOps, ColourBlitsOnTrueColour) {
  TBitmap S(2, 1), D(2, 1);
  S.SetPixel(0, 0, 0x00F0F0);
  S.SetPixel(1, 0, 0x0F0F0F);
  D.SetPixel(0, 0, 0x0FFF00);
  D.SetPixel(1, 0, 0xFF0F00);
  TBitmap A;
  A.Assign(D);
  BitBlt(A.Canvas(), 0, 0, 2, 1, S.Canvas(), 0, 0, SRCAND);
  EXPECT_EQ(A.GetPixel(0, 0), 0x00F000u);
  EXPECT_EQ(A.GetPixel(1, 0), 0x0F0F00u);
  A.Assign(D);
  BitBlt(A.Canvas(), 0, 0, 2, 1, S.Canvas(), 0, 0, SRCPAINT);
  EXPECT_EQ(A.GetPixel(0, 0), 0x0FFFF0u);
  A.Assign(D);
  BitBlt(A.Canvas(), 0, 0, 2, 1, S.Canvas(), 0, 0, MERGEPAINT);  // NOT source OR dest
  EXPECT_EQ(A.GetPixel(0, 0), 0xFFFF0Fu);
}

TEST(Blits, MonochromeConversionsUseTheDeviceColours) {
  TBitmap Colour(3, 1);
  Colour.SetPixel(1, 0, clRed);
  TBitmap Mono(3, 1, TPixelFormat::pf1bit);
  SetBkColor(Colour.Canvas(), clRed);  // the source background colour becomes 1 (white)
  BitBlt(Mono.Canvas(), 0, 0, 3, 1, Colour.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(Art(Mono), "#.#\n");
  TBitmap Back(3, 1);
  SetTextColor(Back.Canvas(), clRed);    // 0 bits
  SetBkColor(Back.Canvas(), clBlack);    // 1 bits
  BitBlt(Back.Canvas(), 0, 0, 3, 1, Mono.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(Art(Back), "r#r\n");
}

TEST(Blits, StretchScalesMirrorsAndSkipsTheTransparentColour) {
  TBitmap S(2, 1);
  S.SetPixel(0, 0, clBlack);
  S.SetPixel(1, 0, clRed);
  TBitmap D(4, 2);
  StretchBlt(D.Canvas(), 0, 0, 4, 2, S.Canvas(), 0, 0, 2, 1, SRCCOPY);
  EXPECT_EQ(Art(D), "##rr\n##rr\n");
  StretchBlt(D.Canvas(), 4, 0, -4, 1, S.Canvas(), 0, 0, 2, 1, SRCCOPY);
  EXPECT_EQ(Art(D), "rr##\n##rr\n");
  TBitmap T(4, 1);
  TransparentBlt(T.Canvas(), 0, 0, 4, 1, S.Canvas(), 0, 0, 2, 1, 0x000000);
  EXPECT_EQ(Art(T), "..rr\n");
  // Overlapping copy inside one bitmap.
  TBitmap O(4, 1);
  O.SetPixel(0, 0, clBlack);
  O.SetPixel(1, 0, clRed);
  BitBlt(O.Canvas(), 1, 0, 3, 1, O.Canvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(Art(O), "##r.\n");
}

TEST(Blits, StretchedRowsMatchNearestNeighbourSampling) {
  // Wide enough for the block-copy runs, in every format that takes the row path.
  for (TPixelFormat F : {TPixelFormat::pf32bit, TPixelFormat::pf24bit, TPixelFormat::pf8bit}) {
    TBitmap S(100, 3, F);
    for (int Y = 0; Y < 3; ++Y)
      for (int X = 0; X < 100; ++X) S.SetPixel(X, Y, RGB(static_cast<uint8_t>(X * 51 % 256), static_cast<uint8_t>(Y * 102), 0));
    for (auto [W, H, Flip] : {std::tuple{157, 5, false}, {64, 3, false}, {101, 7, false}, {130, 3, true}}) {
      TBitmap D(W, H, F);
      int32_t X0 = Flip ? W : 0, DW = Flip ? -W : W;
      StretchBlt(D.Canvas(), X0, 0, DW, H, S.Canvas(), 0, 0, 100, 3, SRCCOPY);
      for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
          int SX = static_cast<int>(static_cast<int64_t>(X) * 100 / W), SY = Y * 3 / H;
          if (Flip) SX = 99 - SX;
          ASSERT_EQ(D.GetPixel(X, Y), S.GetPixel(SX, SY)) << W << "x" << H << " at " << X << "," << Y;
        }
    }
  }
}

// 24-bit stretches move pixels four bytes at a time: through a clip of narrow stripes, every pixel
// between the stripes and right of the last keeps its colour, and the source's last column is read.
TEST(Blits, StretchedTwentyFourBitRowsStayInsideTheirClip) {
  TBitmap S(37, 2, TPixelFormat::pf24bit);
  for (int Y = 0; Y < 2; ++Y)
    for (int X = 0; X < 37; ++X) S.SetPixel(X, Y, RGB(static_cast<uint8_t>(X * 7), static_cast<uint8_t>(Y * 90 + 1), static_cast<uint8_t>(255 - X)));
  TRegion Stripes;
  for (int X = 0; X < 80; X += 5) CombineRgn(Stripes, Stripes, CreateRectRgn(X, 0, X + 2 + X % 3, 4), RGN_OR);
  for (auto [W, Flip] : {std::pair{80, false}, {80, true}, {23, false}, {23, true}, {37, true}}) {
    TBitmap D(80, 4, TPixelFormat::pf24bit);
    D.Canvas()->Brush()->SetColor(static_cast<TColor>(0x5A5A5A));
    D.Canvas()->FillRect(TRect(0, 0, 80, 4));
    SelectClipRgn(D.Canvas()->Handle(), &Stripes);
    StretchBlt(D.Canvas(), Flip ? W : 0, 0, Flip ? -W : W, 4, S.Canvas(), 0, 0, 37, 2, SRCCOPY);
    for (int Y = 0; Y < 4; ++Y)
      for (int X = 0; X < 80; ++X) {
        int SX = static_cast<int>(static_cast<int64_t>(X) * 37 / W);
        if (Flip) SX = 36 - SX;
        TColor Want = X < W && Stripes.Contains(X, Y) ? S.GetPixel(SX, Y / 2) : static_cast<TColor>(0x5A5A5A);
        ASSERT_EQ(D.GetPixel(X, Y), Want) << W << (Flip ? " mirrored" : "") << " at " << X << "," << Y;
      }
  }
}

TEST(Blits, TwentyFourAndThirtyTwoBitRowsConvert) {
  TBitmap S24(40, 2, TPixelFormat::pf24bit), S32(40, 2, TPixelFormat::pf32bit);
  for (int X = 0; X < 40; ++X) {
    S24.SetPixel(X, 1, RGB(static_cast<uint8_t>(X), 7, 200));
    S32.SetPixel(X, 1, RGB(9, static_cast<uint8_t>(X * 3), 1));
  }
  for (bool Stretch : {false, true}) {
    TBitmap D32(40, 2, TPixelFormat::pf32bit), D24(40, 2, TPixelFormat::pf24bit);
    StretchBlt(D32.Canvas(), 0, 0, 40, 2, S24.Canvas(), 0, 0, Stretch ? 20 : 40, 2, SRCCOPY);
    StretchBlt(D24.Canvas(), 0, 0, 40, 2, S32.Canvas(), 0, 0, Stretch ? 20 : 40, 2, SRCCOPY);
    for (int X = 0; X < 40; ++X) {
      int SX = Stretch ? X / 2 : X;
      ASSERT_EQ(D32.GetPixel(X, 1), S24.GetPixel(SX, 1)) << X;
      ASSERT_EQ(D24.GetPixel(X, 1), S32.GetPixel(SX, 1)) << X;
      ASSERT_EQ(static_cast<uint8_t*>(D32.ScanLine(1))[4 * X + 3], 0);  // no alpha from 24-bit rows
    }
  }
}

// A window-sized copy from 24 to 32 bits is spread over the cores and widened many pixels a step;
// every width leaves a different tail.
TEST(Blits, LargeTwentyFourToThirtyTwoBitCopiesKeepEveryPixel) {
  for (int W : {16, 17, 18, 34, 517, 1024, 1281}) {
    const int H = 131;
    TBitmap S24(W, H, TPixelFormat::pf24bit), D32(W, H, TPixelFormat::pf32bit);
    for (int Y = 0; Y < H; ++Y) {
      uint8_t* Row = static_cast<uint8_t*>(S24.ScanLine(Y));
      for (int I = 0; I < 3 * W; ++I) Row[I] = static_cast<uint8_t>(I * 31 + Y * 7 + 1);
    }
    BitBlt(D32.Canvas(), 0, 0, W, H, S24.Canvas(), 0, 0, SRCCOPY);
    for (int Y = 0; Y < H; ++Y) {
      const uint8_t* In = static_cast<uint8_t*>(S24.ScanLine(Y));
      const uint8_t* Out = static_cast<uint8_t*>(D32.ScanLine(Y));
      for (int X = 0; X < W; ++X) {
        ASSERT_EQ(Out[4 * X], In[3 * X]) << W << " at " << X << "," << Y;
        ASSERT_EQ(Out[4 * X + 1], In[3 * X + 1]) << W << " at " << X << "," << Y;
        ASSERT_EQ(Out[4 * X + 2], In[3 * X + 2]) << W << " at " << X << "," << Y;
        ASSERT_EQ(Out[4 * X + 3], 0) << W << " at " << X << "," << Y;
      }
    }
  }
}

// Large stretched copies run in bands; a row that repeats the source row above it must still be right
// at the first row of every band.
TEST(Blits, LargeStretchedCopiesMatchTheNearestSourcePixel) {
  for (TPixelFormat F : {TPixelFormat::pf32bit, TPixelFormat::pf24bit}) {
    const int SW = 301, SH = 150, DW = 640, DH = 457;
    TBitmap S(SW, SH, F), D(DW, DH, F);
    for (int Y = 0; Y < SH; ++Y)
      for (int X = 0; X < SW; ++X) S.SetPixel(X, Y, RGB(static_cast<uint8_t>(X), static_cast<uint8_t>(Y), static_cast<uint8_t>(X ^ Y)));
    StretchBlt(D.Canvas(), 0, 0, DW, DH, S.Canvas(), 0, 0, SW, SH, SRCCOPY);
    for (int Y = 0; Y < DH; ++Y)
      for (int X = 0; X < DW; X += 7)
        ASSERT_EQ(D.GetPixel(X, Y), S.GetPixel(X * SW / DW, Y * SH / DH)) << X << "," << Y;
  }
}

TEST(Blits, DrawHonoursTransparency) {
  TBitmap S(2, 2);
  S.SetPixel(0, 0, clRed);
  S.SetTransparent(true);  // auto mode: the bottom-left colour (white) is transparent
  TBitmap D(2, 2);
  D.Canvas()->Brush()->SetColor(clBlack);
  D.Canvas()->FillRect(TRect(0, 0, 2, 2));
  D.Canvas()->Draw(0, 0, &S);
  EXPECT_EQ(Art(D), "r#\n##\n");
}

TEST(Blits, GradientFillInterpolates) {
  TBitmap B(3, 1);
  TRIVERTEX V[2] = {{0, 0, 0, 0, 0, 0}, {3, 1, 0xFF00, 0xFF00, 0xFF00, 0}};
  GRADIENT_RECT R{0, 1};
  GradientFill(B.Canvas(), V, 2, &R, 1, GRADIENT_FILL_RECT_H);
  EXPECT_EQ(B.GetPixel(0, 0), 0u);
  EXPECT_EQ(B.GetPixel(1, 0), 0x555555u);
  EXPECT_EQ(B.GetPixel(2, 0), 0xAAAAAAu);
}

TEST(Bitmap, GrowToRefusesWhatDoesNotFit) {
  TBitmap b(4, 2, TPixelFormat::pf24bit);
  const uint8_t fill[3] = {1, 2, 3};
  EXPECT_THROW(b.GrowTo(3, 2, 0, 0, fill), EInvalidGraphicOperation);  // smaller
  EXPECT_THROW(b.GrowTo(6, 2, 3, 0, fill), EInvalidGraphicOperation);  // old picture past the edge
  TBitmap mono(4, 2, TPixelFormat::pf1bit);
  EXPECT_THROW(mono.GrowTo(8, 2, 0, 0, fill), EInvalidGraphicOperation);
  EXPECT_EQ(b.Width(), 4);
  b.GrowTo(5, 3, 1, 1, fill);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[0], 1);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(1))[3], 0xFF);  // white from the start
}
