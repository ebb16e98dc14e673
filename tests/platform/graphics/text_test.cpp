#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "art.h"
#include "platform/graphics/antialias.h"

namespace {

// The box of pixels that are not white.
TRect InkBox(const TBitmap& B) {
  TRect R(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
  for (int32_t Y = 0; Y < B.Height(); ++Y)
    for (int32_t X = 0; X < B.Width(); ++X)
      if (B.GetPixel(X, Y) != 0xFFFFFF) {
        R.Left = std::min(R.Left, X);
        R.Top = std::min(R.Top, Y);
        R.Right = std::max(R.Right, X + 1);
        R.Bottom = std::max(R.Bottom, Y + 1);
      }
  return R;
}

struct TestFont {
  TestFont() { SetTestFontMode(true); }
  ~TestFont() { SetTestFontMode(false); }
};

}  // namespace

TEST(Text, FontMatchedByNameLandsWhereTextExtentSays) {
  if (MatchFontFile("DejaVu Sans").empty()) GTEST_SKIP() << "no DejaVu Sans font installed";
  EXPECT_NE(MatchFontFile("DejaVu Sans").find("DejaVuSans"), std::string::npos);
  TBitmap B(120, 40);
  TCanvas* C = B.Canvas();
  C->Font()->SetName("DejaVu Sans");
  C->Font()->SetHeight(-20);
  C->Font()->SetColor(clBlack);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  TSize E = C->TextExtent("Quorvel");
  EXPECT_GT(E.cx, 60);
  EXPECT_GE(E.cy, 20);
  C->TextOut(10, 5, "Quorvel");
  TRect Ink = InkBox(B);
  EXPECT_GE(Ink.Left, 10);
  EXPECT_LE(Ink.Left, 13);
  EXPECT_LE(Ink.Right, 10 + E.cx + 1);
  EXPECT_GE(Ink.Right, 10 + E.cx - 4);
  EXPECT_GE(Ink.Top, 5);
  EXPECT_LE(Ink.Bottom, 5 + E.cy);
  EXPECT_EQ(C->PenPos(), TPoint(10 + E.cx, 5));
  // A larger font is larger; bold is wider.
  C->Font()->SetHeight(-30);
  EXPECT_GT(C->TextWidth("Quorvel"), E.cx);
  C->Font()->SetHeight(-20);
  C->Font()->SetStyle({TFontStyle::fsBold});
  EXPECT_GT(C->TextWidth("Quorvel"), E.cx);
}

// A character the named face lacks is drawn, like the whole text of a face that has it, from another
// installed face (the program's Chinese texts in a Latin face must not come out as empty boxes).
TEST(Text, CharactersAFaceLacksComeFromAFaceThatHasThem) {
  const std::string Cjk = "\u6253\u5f00\u6587\u4ef6";  // "open file"
  const std::string Latin = "DejaVu Sans", Chinese = "WenQuanYi Micro Hei";
  if (MatchFontFile(Latin).find("DejaVuSans") == std::string::npos ||
      MatchFontFile(Chinese).find("wqy") == std::string::npos)
    GTEST_SKIP() << "needs DejaVu Sans and WenQuanYi Micro Hei";
  auto Draw = [&](const std::string& Face, const std::string& Text, TSize* Extent) {
    auto B = std::make_unique<TBitmap>(160, 40);
    TCanvas* C = B->Canvas();
    C->Font()->SetName(Face);
    C->Font()->SetHeight(-20);
    C->Font()->SetColor(clBlack);
    C->Brush()->SetStyle(TBrushStyle::bsClear);
    *Extent = C->TextExtent(Text);
    C->TextOut(4, 4, Text);
    return B;
  };
  TSize EL, EC;
  auto InLatin = Draw(Latin, Cjk, &EL);
  auto InChinese = Draw(Chinese, Cjk, &EC);
  EXPECT_EQ(EL.cx, EC.cx);
  int Diff = 0;
  for (int32_t Y = 0; Y < 40; ++Y)
    for (int32_t X = 0; X < 160; ++X) Diff += InLatin->GetPixel(X, Y) != InChinese->GetPixel(X, Y);
  EXPECT_EQ(Diff, 0);
  // Latin text in the same line keeps its own face: its advance is the Latin face's.
  TSize ELatinOnly, EMixed;
  Draw(Latin, "Ab", &ELatinOnly);
  Draw(Latin, "Ab" + Cjk, &EMixed);
  EXPECT_EQ(EMixed.cx, ELatinOnly.cx + EL.cx);
}

TEST(Text, OpaqueBackgroundFillsTheCell) {
  TestFont T;
  TBitmap B(30, 12);
  TCanvas* C = B.Canvas();
  C->Font()->SetHeight(-10);
  C->Brush()->SetColor(clRed);
  C->TextOut(2, 1, "a b");
  TSize E = C->TextExtent("a b");
  EXPECT_EQ(E, TSize(18, 10));
  EXPECT_EQ(B.GetPixel(2 + 7, 1), static_cast<COLORREF>(clRed));  // the space's cell
  EXPECT_EQ(B.GetPixel(2, 5), 0u);                                // a glyph box
  EXPECT_EQ(B.GetPixel(2 + 18, 5), 0xFFFFFFu);
  EXPECT_EQ(InkBox(B), TRect(2, 1, 20, 11));
}

TEST(Text, AlignmentFlagsMoveTheReferencePoint) {
  TestFont T;
  struct Case {
    uint32_t Align;
    TRect Ink;
  } Cases[] = {
      {TA_LEFT | TA_TOP, TRect(20, 10, 32, 18)},       // cell (20,10)-(32,20), glyphs from row +1 to baseline
      {TA_RIGHT | TA_TOP, TRect(8, 10, 19, 18)},
      {TA_CENTER | TA_BASELINE, TRect(14, 2, 25, 10)},
      {TA_LEFT | TA_BOTTOM, TRect(20, 0, 31, 8)},
  };
  for (const Case& K : Cases) {
    TBitmap B(50, 30);
    TCanvas* C = B.Canvas();
    C->Font()->SetHeight(-10);
    C->Brush()->SetStyle(TBrushStyle::bsClear);
    SetTextAlign(C, K.Align);
    ExtTextOut(C, 20, 10, 0, nullptr, "ab");
    TRect Ink = InkBox(B);
    EXPECT_EQ(Ink.Left, K.Ink.Left) << K.Align;
    EXPECT_EQ(Ink.Bottom, K.Ink.Bottom) << K.Align;
  }
}

TEST(Text, DrawTextLaysOutCalculatesAndClips) {
  TestFont T;
  TBitmap B(40, 30);
  TCanvas* C = B.Canvas();
  C->Font()->SetHeight(-10);  // 6 x 10 cells
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  TRect R(0, 0, 100, 0);
  EXPECT_EQ(DrawText(C, "ab\ncde", R, DT_CALCRECT), 20);
  EXPECT_EQ(R, TRect(0, 0, 18, 20));
  R = TRect(0, 0, 100, 0);
  DrawText(C, "&File", R, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(R.Right, 24);
  R = TRect(0, 0, 14, 0);
  DrawText(C, "aa bb cc", R, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(R.Bottom, 30);
  // Centred in both directions.
  R = TRect(0, 0, 40, 30);
  DrawText(C, "ab", R, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  TRect Ink = InkBox(B);
  EXPECT_EQ(Ink.Left, 14);
  EXPECT_EQ(Ink.Top, 11);
  // Clipped to the rectangle.
  TBitmap Small(40, 10);
  R = TRect(0, 0, 8, 10);
  Small.Canvas()->Font()->SetHeight(-10);
  DrawText(Small.Canvas(), "abcdef", R, DT_SINGLELINE);
  EXPECT_EQ(InkBox(Small).Right, 8);
  TRect E(0, 0, 24, 10);
  DrawText(C, "abcdefgh", E, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_EQ(E.Right, 24);
}

TEST(Text, HugeTextIsDrawnWhereItMeetsTheBitmap) {
  TestFont T;
  TBitmap B(20, 20);
  TCanvas* C = B.Canvas();
  C->Font()->SetHeight(-100000);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  C->TextOut(-30000, -75000, "ab");  // the inside of the first glyph box covers the bitmap
  EXPECT_EQ(InkBox(B), TRect(0, 0, 20, 20));
  SetTextAlign(C, TA_UPDATECP);
  C->MoveTo(100, 100);
  C->Font()->SetHeight(-10);
  ExtTextOut(C, 0, 0, 0, nullptr, "abc");
  EXPECT_EQ(C->PenPos(), TPoint(118, 100));
}

TEST(Text, EscapementTurnsTheLine) {
  TestFont T;
  TBitmap B(30, 40);
  TCanvas* C = B.Canvas();
  C->Font()->SetHeight(-10);
  C->Font()->SetOrientation(900);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  C->TextOut(5, 35, "abc");
  TRect Ink = InkBox(B);
  EXPECT_EQ(Ink.Bottom, 35);   // runs upwards from the reference point
  EXPECT_LE(Ink.Top, 35 - 17);
  EXPECT_LE(Ink.Right - Ink.Left, 10);
}

TEST(AntiAlias, BlendsEdgesHonoursAlphaAndClipping) {
  TBitmap B(20, 20);
  TCanvas* C = B.Canvas();
  TAAGraphics G(C);
  G.SetSmoothingMode(AASmoothingAntiAlias);
  TAAPen P;
  P.Color = MakeARGB(255, 0, 0, 0);
  P.Width = 1;
  G.DrawLine(P, 0, 0, 19, 7);
  bool Gray = false;
  for (int X = 0; X < 20; ++X)
    for (int Y = 0; Y < 20; ++Y) {
      COLORREF Cc = B.GetPixel(X, Y);
      Gray |= Cc != 0 && Cc != 0xFFFFFF;
    }
  EXPECT_TRUE(Gray);
  // A half-transparent red fill over white.
  TBitmap F(4, 4);
  TAAGraphics G2(F.Canvas());
  TAABrush Br;
  Br.Color = MakeARGB(128, 255, 0, 0);
  G2.FillRectangle(Br, 0, 0, 4, 4);
  EXPECT_EQ(F.GetPixel(1, 1), RGB(255, 127, 127));
  // Clipped to the canvas region.
  TBitmap K(4, 4);
  IntersectClipRect(K.Canvas(), 0, 0, 2, 4);
  TAAGraphics G3(K.Canvas());
  Br.Color = MakeARGB(255, 0, 0, 0);
  G3.FillRectangle(Br, 0, 0, 4, 4);
  EXPECT_EQ(Art(K), "##..\n##..\n##..\n##..\n");
  // Without anti-aliasing only the two colours appear.
  TBitmap N(20, 20);
  TAAGraphics G4(N.Canvas());
  G4.SetSmoothingMode(AASmoothingHighSpeed);
  G4.DrawEllipse(P, 2, 2, 15, 11);
  for (int X = 0; X < 20; ++X)
    for (int Y = 0; Y < 20; ++Y) {
      COLORREF Cc = N.GetPixel(X, Y);
      EXPECT_TRUE(Cc == 0 || Cc == 0xFFFFFF) << X << "," << Y;
    }
}

TEST(Png, WritesAReadableFile) {
  TBitmap B(5, 3);
  B.SetPixel(4, 2, clRed);
  std::string Path = testing::TempDir() + "/qv_graphics_test.png";
  ASSERT_TRUE(SaveBitmapToPngFile(B, Path));
  std::ifstream In(Path, std::ios::binary);
  char Sig[8] = {};
  In.read(Sig, 8);
  EXPECT_EQ(std::string(Sig + 1, 3), "PNG");
  if (std::system("command -v python3 >/dev/null && python3 -c 'import PIL' 2>/dev/null") == 0) {
    std::string Cmd = "python3 -c \"from PIL import Image; im=Image.open('" + Path +
                      "').convert('RGB'); import sys; sys.exit(0 if im.size==(5,3) and im.getpixel((4,2))==(255,0,0) "
                      "and im.getpixel((0,0))==(255,255,255) else 1)\"";
    EXPECT_EQ(std::system(Cmd.c_str()), 0);
  }
  std::remove(Path.c_str());
  EXPECT_FALSE(SaveBitmapToPngFile(TBitmap(), Path));
}
