// Layout with fixed metrics: line breaks, alignment, justification, zoom, caret, auto height,
// collected text; and a screenshot of rich text drawn with the machine's fonts.
#include <climits>
#include <cstring>
#include <filesystem>

#include "imaging/foundation/canvas.h"
#include "platform/graphics/bitmap.h"
#include "tests/imaging/vector/text_fixture.h"

namespace {

// A windowless control over Text, laid out once on a W x H area at Zoom.
struct TLoose {
  TQxTextControl C{nullptr};
  TBitmap Bitmap{1, 1, TPixelFormat::pf24bit};
  TLoose(const std::string& Text, uint8_t Align = 0) {
    C.Measurer = &FixedMetrics();
    C.DefaultFont.SetHeight(-10);  // cells 13 high
    C.Alignment = Align;
    LendText(C, Text);
  }
  void Layout(int32_t W, int32_t H, double Zoom = 1.0) {
    C.Zoom = Zoom;
    Bitmap.SetSize(static_cast<int32_t>(W * Zoom) + 4, static_cast<int32_t>(H * Zoom) + 4);
    C.LayoutAndDraw(Bitmap.Canvas(), 0, 0, W, H);
  }
  // Line number (0-based) of each character from its y position.
  std::vector<int32_t> Lines(int32_t LineHeight) const {
    std::vector<int32_t> L;
    for (int32_t I = 0; I < C.TextLength; ++I) L.push_back(C.CacheY[I] < 0 ? -1 : (C.CacheY[I] - 1) / LineHeight);
    return L;
  }
};

}  // namespace

TEST(TextLayout, LinesBreakAfterTheLastSpaceThatFitsAndLongWordsAreCut) {
  // W 40: the text area is 38 wide, a character fits while its x + 6 + 2 stays below 38.
  struct TCase {
    const char* Text;
    std::vector<int32_t> Lines;
  } Cases[] = {
      {"aaa bbb ccc", {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2}},
      {"aaaaaaaaaa", {0, 0, 0, 0, 0, 1, 1, 1, 1, 1}},
      {"ab\ncd", {0, 0, 0, 1, 1}},
      {"ab\n\ncd", {0, 0, 0, 1, 2, 2}},
  };
  for (const TCase& K : Cases) {
    SCOPED_TRACE(K.Text);
    TLoose L(K.Text);
    L.Layout(40, 100);
    EXPECT_EQ(L.Lines(13), K.Lines);
  }
  TLoose L("aaa bbb ccc");
  L.Layout(40, 100);
  EXPECT_EQ(L.C.CacheX[0], 1);
  EXPECT_EQ(L.C.CacheX[3], 1 + 18);
  EXPECT_EQ(L.C.CacheX[4], 1);
  EXPECT_EQ(L.C.CacheY[4], 1 + 13);
  EXPECT_EQ(L.C.CacheX[8], 1);
  EXPECT_EQ(L.C.CacheY[8], 1 + 26);
}

TEST(TextLayout, ACharacterWiderThanTheLineStopsTheLayout) {
  TLoose L("ab");
  L.C.CaretX = L.C.CaretY = 77;
  L.Layout(8, 100);
  EXPECT_EQ(L.C.CacheY[1], -1);
  EXPECT_EQ(L.C.CaretX, 77);  // nothing drawn: the caret keeps its place
  // Too small an area does nothing at all.
  TLoose S("ab");
  S.Layout(1, 100);
  EXPECT_EQ(S.C.CacheX[0], -1);
}

TEST(TextLayout, RightAndCentredLinesAreOffsetInTheTextArea) {
  struct TCase {
    uint8_t Align;
    int32_t X0;
  } Cases[] = {{0, 1}, {1, 1 + 24}, {2, 1 + 12}, {7, 1}};
  for (const TCase& K : Cases) {
    SCOPED_TRACE(static_cast<int>(K.Align));
    TLoose L("ab");
    L.C.CharFormats[0].Alignment = K.Align;
    L.Layout(40, 100);
    EXPECT_EQ(L.C.CacheX[0], K.X0);
    EXPECT_EQ(L.C.CacheX[1], K.X0 + 6);
  }
  // In uniform mode the control's alignment rules every paragraph.
  TLoose U("ab");
  U.C.SetUniformFormat(true);
  U.C.Alignment = 1;
  U.Layout(40, 100);
  EXPECT_EQ(U.C.CacheX[0], 25);
}

TEST(TextLayout, JustifiedLinesStretchExceptTheLastAndThoseEndingInLF) {
  TLoose L("aa bb cc");
  L.C.CharFormats[0].Alignment = 3;
  L.Layout(40, 100);
  // First line "aa bb " stretched by 38 / 32.
  const int32_t Want[] = {1, 8, 15, 22, 29, 36};
  for (int32_t I = 0; I < 6; ++I) EXPECT_EQ(L.C.CacheX[I], Want[I]) << I;
  EXPECT_EQ(L.C.CacheX[6], 1);
  EXPECT_EQ(L.C.CacheX[7], 7);  // last line left as measured

  TLoose F("ab cd\nef");
  F.C.CharFormats[0].Alignment = 3;
  F.Layout(40, 100);
  for (int32_t I = 0; I < 5; ++I) EXPECT_EQ(F.C.CacheX[I], 1 + 6 * I) << I;
}

TEST(TextLayout, ZoomKeepsTheBreaksAndScalesPositionsAndCaret) {
  TLoose A("aaa bbb ccc"), B("aaa bbb ccc");
  A.C.CaretIndex = B.C.CaretIndex = 6;
  A.Layout(40, 100);
  B.Layout(40, 100, 2.0);
  for (int32_t I = 0; I < A.C.TextLength; ++I) {
    EXPECT_EQ(B.C.CacheX[I], A.C.CacheX[I] * 2) << I;
    EXPECT_EQ(B.C.CacheY[I], A.C.CacheY[I] * 2) << I;
  }
  EXPECT_EQ(B.C.CaretX, A.C.CaretX * 2);
  EXPECT_EQ(B.C.CaretY, A.C.CaretY * 2);
  EXPECT_EQ(B.C.CaretHeight, A.C.CaretHeight * 2);
  EXPECT_EQ(A.C.CaretX, 1 + 12);
  EXPECT_EQ(A.C.CaretY, 1 + 13);
  EXPECT_EQ(A.C.CaretHeight, 13);
}

TEST(TextLayout, CaretOfAnEmptyTextAndAfterAnLFAndMarginsMoveTheTextArea) {
  TLoose E("");
  E.C.Margins[0] = 10;  // 10 % of 100
  E.C.Margins[1] = 20;  // 20 % of 50
  E.Layout(100, 50);
  EXPECT_EQ(E.C.CaretX, 11);
  EXPECT_EQ(E.C.CaretY, 11);
  EXPECT_EQ(E.C.CaretHeight, 13);

  TLoose N("ab\n");
  N.C.CaretIndex = 3;
  N.Layout(100, 50);
  EXPECT_EQ(N.C.CaretX, 1);
  EXPECT_EQ(N.C.CaretY, 1 + 13);

  TLoose S("ab");
  S.C.LineSpacing = 4;
  S.C.FixedCharHeight = 20;
  S.C.TextBuffer = "ab\ncd";
  S.C.CharFormats.clear();
  S.C.CharFormatIndexes.clear();
  S.C.BeginEdit();
  S.Layout(100, 100);
  EXPECT_EQ(S.C.CacheY[3], 1 + 20 + 4);
}

TEST(TextLayout, CollectedTextStopsAtTheFirstLineBelowTheArea) {
  TLoose L("aaa bbb ccc ddd");
  L.C.CollectText = true;
  L.Layout(40, 34);  // text area 32 high: lines at 0 and 13 fit, the third's baseline does not
  EXPECT_EQ(L.C.CollectedText, "aaa \nbbb \n");
}

TEST(TextLayout, SelectedCharactersArePaintedInComplementedColours) {
  TLoose L("ab");
  L.C.SelStart = 1;
  L.C.SelEnd = 2;
  L.C.FillBrush.SetColor(clWhite);
  L.Layout(40, 20);
  // The background of the selected character's cell is black (the complement of white).
  EXPECT_EQ(ColorToRGB(L.Bitmap.Canvas()->Pixels(1 + 6 + 2, 3)), 0x000000);
  EXPECT_EQ(ColorToRGB(L.Bitmap.Canvas()->Pixels(1 + 2, 3)) != 0x000000, true);
}

TEST_F(TextControlTest, AutoHeightGrowsTheControlWhenTypingPastTheBottom) {
  Ctl->AutoHeight = true;
  Ctl->SetHeight(20);
  Load("", 0);
  const int32_t Before = Ctl->Height();
  Headless::Type(Form, "ab");
  Key(VK_RETURN);
  Headless::Type(Form, "cd");
  Key(VK_RETURN);
  Headless::Type(Form, "ef");
  Application->ProcessMessages();
  Application->ProcessMessages();
  EXPECT_GT(Ctl->Height(), Before);
  // The third line (top 26, cells 13) is inside the control now.
  EXPECT_GE(Ctl->Height(), 1 + 26 + 13);
  EXPECT_EQ(Ctl->CacheY[6], 1 + 26);
}

// ---- real fonts ---------------------------------------------------------------------------------

TEST_F(TextControlTest, ScreenshotOfRichTextWithRealFonts) {
  Ctl->Measurer = nullptr;
  Ctl->SetBounds(10, 10, 390, 240);
  Ctl->DefaultFont.SetName("Arial");
  Ctl->DefaultFont.SetHeight(-16);
  Ctl->FramePen.SetColor(clGray);
  Load("Rich text: bold, italic, underlined and red.\nA centred paragraph on yellow\n"
       "Right aligned, larger type\nJustified text stretches every line but the last one of its paragraph, "
       "so that both edges line up neatly.",
       0);
  auto Apply = [&](int32_t From, int32_t To, auto Change) {
    for (int32_t I = From; I < To; ++I) {
      TQxCharFormat F;
      Ctl->GetCharFormat(I, F);
      Change(F);
      Ctl->SetCharFormat(I, F);
    }
  };
  const std::string& T = Ctl->TextBuffer;
  auto At = [&](const char* S) { return static_cast<int32_t>(T.find(S)); };
  Apply(At("bold"), At("bold") + 4, [](TQxCharFormat& F) { F.FontStyle = QxFmtBold; });
  Apply(At("italic"), At("italic") + 6, [](TQxCharFormat& F) { F.FontStyle = QxFmtItalic; });
  Apply(At("underlined"), At("underlined") + 10, [](TQxCharFormat& F) { F.FontStyle = QxFmtUnderline; });
  Apply(At("red"), At("red") + 3, [](TQxCharFormat& F) { F.FontColor = clRed; });
  Apply(At("A centred"), At("Right"), [](TQxCharFormat& F) { F.Alignment = 2; });
  Apply(At("yellow"), At("yellow") + 6, [](TQxCharFormat& F) { F.BackColor = clYellow; });
  Apply(At("Right"), At("Justified"), [](TQxCharFormat& F) { F.Alignment = 1; });
  Apply(At("larger"), At("Justified") - 1, [](TQxCharFormat& F) {
    F.FontHeight = -22;
    QxSetCharFormatFontName(F, "Times New Roman");
  });
  Apply(At("Justified"), Ctl->TextLength, [](TQxCharFormat& F) { F.Alignment = 3; });
  Ctl->SelStart = At("neatly");
  Ctl->SelEnd = Ctl->SelStart + 6;
  Ctl->UpdateView();
  Application->ProcessMessages();
  const std::string Path = std::filesystem::current_path().string() + "/text_rich_text.png";
  ASSERT_TRUE(Headless::SaveWindowPng(Form, Path));
  std::cout << "screenshot: " << Path << "\n";
  // The justified lines reach the right edge; the red word is red.
  int32_t Reds = 0;
  TBitmap Shot;
  ASSERT_TRUE(Headless::Snapshot(Form, Shot));
  for (int32_t Y = 10; Y < 40; ++Y)
    for (int32_t X = 10; X < 400; ++X) {
      TColor P = ColorToRGB(Shot.Canvas()->Pixels(X, Y));
      if ((P & 0xFF) > 180 && ((P >> 8) & 0xFF) < 80 && ((P >> 16) & 0xFF) < 80) ++Reds;
    }
  EXPECT_GT(Reds, 10);
  // At 1.5 times the same text is laid out on two thirds of the width and drawn larger.
  Ctl->Zoom = 1.5;
  Ctl->UpdateView();
  Application->ProcessMessages();
  const std::string Zoomed = std::filesystem::current_path().string() + "/text_rich_text_zoomed.png";
  ASSERT_TRUE(Headless::SaveWindowPng(Form, Zoomed));
  std::cout << "screenshot: " << Zoomed << "\n";
}

TEST(TextLayout, FormatsFromDamagedDataLayOutWithoutHarm) {
  // Heights and styles a damaged memo or clipboard block may hold, drawn with the machine's fonts.
  TQxTextControl C(nullptr);
  C.BeginEdit();
  const int32_t Heights[] = {INT32_MIN, INT32_MAX, 0, 100000, -100000, 1};
  for (int32_t H : Heights) {
    TQxCharFormat F;
    F.FontHeight = H;
    F.FontStyle = 0xFF;
    F.BrushStyle = 0xEE;
    F.Alignment = 0x99;
    F.FontName[0] = 255;  // a name of 255 bytes, all 0xFF
    std::memset(F.FontName + 1, 0xFF, 255);
    C.TypingFormat = F;
    C.InsertChar('W');
    C.InsertChar(' ');
  }
  TBitmap B(80, 80, TPixelFormat::pf24bit);
  C.LayoutAndDraw(B.Canvas(), 0, 0, 80, 80);
  C.Zoom = 3;
  C.LayoutAndDraw(B.Canvas(), 0, 0, 26, 26);
  SUCCEED();
}

TEST_F(TextControlTest, ClearFillShowsThePictureUnderTheControlAndSolidFillCoversIt) {
  TBitmap Under(420, 300, TPixelFormat::pf24bit);
  Under.Canvas()->Brush()->SetColor(clRed);
  Under.Canvas()->FillRect(TRect(0, 0, 420, 300));
  Ctl->BackgroundBitmap = &Under;
  Ctl->FramePen.SetStyle(TPenStyle::psClear);
  Ctl->FillBrush.SetStyle(TBrushStyle::bsClear);
  Load("", 0);
  const int32_t X = 10 + 150, Y = 10 + 100;  // inside the control, away from any text
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(Form, X, Y)), 0x0000FF);
  Ctl->FillBrush.SetStyle(TBrushStyle::bsSolid);
  Ctl->FillBrush.SetColor(clLime);
  Paint();
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(Form, X, Y)), 0x00FF00);
  // A hatch draws its lines over the picture and leaves it between them.
  Ctl->FillBrush.SetStyle(TBrushStyle::bsCross);
  Ctl->FillBrush.SetColor(clBlue);
  Paint();
  int32_t Red = 0, Blue = 0;
  for (int32_t I = 0; I < 16; ++I) {
    TColor P = ColorToRGB(Headless::PixelAt(Form, X + I, Y));
    Red += P == 0x0000FF;
    Blue += P == 0xFF0000;
  }
  EXPECT_GT(Red, 0);
  EXPECT_GT(Blue, 0);
}
