// Editing: formats, keys, shortcuts, selection, mouse and clipboard of the formatted text control.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "imaging/foundation/helpers.h"
#include "imaging/vector/text_font_dialog.h"
#include "platform/ui/clipboard.h"
#include "tests/imaging/vector/text_fixture.h"

namespace {

TQxCharFormat Format(int32_t Height, uint8_t Style = 0, TColor Color = clBlack) {
  TQxCharFormat F;
  QxSetCharFormatFontName(F, "Arial");
  F.FontHeight = Height;
  F.FontStyle = Style;
  F.FontColor = Color;
  F.BackColor = clWhite;
  return F;
}

TQxCharFormat FormatOf(TQxTextControl& C, int32_t I) {
  TQxCharFormat F;
  C.GetCharFormat(I, F);
  return F;
}

}  // namespace

TEST(TextFormatRecord, IsStoredAsItsBytesAndComparedWithoutTheUseCount) {
  EXPECT_EQ(offsetof(TQxCharFormat, FontHeight), 260u);
  EXPECT_EQ(offsetof(TQxCharFormat, FontStyle), 264u);
  EXPECT_EQ(offsetof(TQxCharFormat, FontColor), 268u);
  EXPECT_EQ(offsetof(TQxCharFormat, BackColor), 272u);
  EXPECT_EQ(offsetof(TQxCharFormat, BrushStyle), 276u);
  EXPECT_EQ(offsetof(TQxCharFormat, Alignment), 277u);
  TQxCharFormat A = Format(-12), B = Format(-12);
  B.UseCount = 7;
  EXPECT_TRUE(QxSameCharFormat(A, B));
  B.Alignment = 2;
  EXPECT_FALSE(QxSameCharFormat(A, B));
  QxSetCharFormatFontName(A, std::string(300, 'x'));
  EXPECT_EQ(A.FontName[0], 255);
  EXPECT_EQ(QxCharFormatFontName(A).size(), 255u);
}

TEST(TextShortcuts, TableHoldsTheTwelveControlKeysInOrder) {
  QxFillTextShortcuts();
  const char* Keys = "LERJCXVFBIUG";
  for (int I = 0; I < QxTextShortcutCount; ++I) {
    EXPECT_EQ(QxTextShortcuts[I].Key, static_cast<uint16_t>(Keys[I])) << I;
    EXPECT_EQ(QxTextShortcuts[I].Shift, TShiftState{ssCtrl}) << I;
  }
}

TEST(TextCharacters, FormatsAreSharedCountedAndPurged) {
  TQxTextControl C(nullptr);
  LendText(C, "abcd");
  ASSERT_EQ(C.CharFormats.size(), 1u);
  EXPECT_EQ(C.CharFormats[0].UseCount, 4);
  // Two characters take one new format: one record, counted twice.
  C.SetCharFormat(1, Format(-20));
  C.SetCharFormat(2, Format(-20));
  ASSERT_EQ(C.CharFormats.size(), 2u);
  EXPECT_EQ(C.CharFormats[1].UseCount, 2);
  EXPECT_EQ(C.CharFormatIndexes, (std::vector<int32_t>{0, 1, 1, 0}));
  EXPECT_EQ(C.FindFormat(Format(-20)), 1);
  EXPECT_EQ(C.FindFormat(Format(-30)), -1);
  // Positions beyond the text are clamped.
  EXPECT_EQ(FormatOf(C, 99).FontHeight, C.CharFormats[0].FontHeight);
  // Deleting the characters of a format lets purging drop it and renumber the rest.
  C.SetCharFormat(3, Format(-30));
  C.DeleteChar(1);
  C.DeleteChar(1);
  EXPECT_EQ(C.CharFormats[1].UseCount, 0);
  EXPECT_EQ(C.DeleteChar(5), 5);  // beyond the end: nothing
  C.PurgeUnusedFormats();
  ASSERT_EQ(C.CharFormats.size(), 2u);
  EXPECT_EQ(C.CharFormats[1].FontHeight, -30);
  EXPECT_EQ(C.CharFormatIndexes, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(C.TextBuffer, "ad");
}

TEST(TextCharacters, TypingIntoANilTextCreatesItWithTheTypingFormat) {
  TQxTextControl C(nullptr);
  C.BeginEdit();
  EXPECT_TRUE(C.CharFormats.empty());
  C.TypingFormat = Format(-14, QxFmtItalic);
  C.InsertChar('x');
  EXPECT_EQ(C.TextBuffer, "x");
  EXPECT_EQ(C.TextLength, 1);
  EXPECT_EQ(C.CaretIndex, 1);
  ASSERT_EQ(C.CharFormats.size(), 1u);
  EXPECT_EQ(C.CharFormats[0].UseCount, 1);
  EXPECT_EQ(C.CharFormats[0].FontStyle, QxFmtItalic);
  EXPECT_EQ(C.CacheX.size(), 2u);
}

TEST(TextCharacters, BeginEditRepairsIndexesThatPointNowhere) {
  TQxTextControl C(nullptr);
  C.TextBuffer = "abc";
  C.CharFormats = {Format(-10)};
  C.CharFormatIndexes = {0, 5, -2};  // as a damaged stored memo could hold
  C.BeginEdit();
  EXPECT_EQ(C.CharFormatIndexes, (std::vector<int32_t>{0, 0, 0}));
  // A text with a list given empty gets the first format of the default font.
  C.TextBuffer = "xy";
  C.CharFormats.clear();
  C.CharFormatIndexes.clear();
  C.BeginEdit();
  ASSERT_EQ(C.CharFormats.size(), 1u);
  EXPECT_EQ(C.CharFormats[0].UseCount, 2);
  EXPECT_EQ(C.CharFormatIndexes.size(), 2u);
}

// ---- keys ---------------------------------------------------------------------------------------

struct TKeyCase {
  const char* Name;
  const char* Text;
  int32_t Caret, SelStart, SelEnd;
  uint16_t Key;
  TShiftState Shift;
  const char* WantText;
  int32_t WantCaret, WantSelStart, WantSelEnd;
};

TEST_F(TextControlTest, EveryKeyOfTheKeyTableEditsAndMoves) {
  const char* Lines = "abc\ndefgh\nij";
  const TKeyCase Cases[] = {
      {"backspace deletes the selection", "hello", 5, 1, 3, VK_BACK, {}, "hlo", 1, 0, 0},
      {"backspace deletes before the caret", "hello", 2, 0, 0, VK_BACK, {}, "hllo", 1, 0, 0},
      {"backspace at 0 does nothing", "hello", 0, 0, 0, VK_BACK, {}, "hello", 0, 0, 0},
      {"enter inserts an LF", "ab", 1, 0, 0, VK_RETURN, {}, "a\nb", 2, 0, 0},
      {"end goes to the line end", Lines, 5, 0, 0, VK_END, {}, Lines, 9, 0, 0},
      {"ctrl+end goes to the text end", Lines, 5, 0, 0, VK_END, {ssCtrl}, Lines, 12, 0, 0},
      {"home goes to the line start", Lines, 7, 0, 0, VK_HOME, {}, Lines, 4, 0, 0},
      {"home on the first line", Lines, 2, 0, 0, VK_HOME, {}, Lines, 0, 0, 0},
      {"ctrl+home goes to 0", Lines, 7, 0, 0, VK_HOME, {ssCtrl}, Lines, 0, 0, 0},
      {"left steps back", "hello", 3, 0, 0, VK_LEFT, {}, "hello", 2, 0, 0},
      {"left stops at 0", "hello", 0, 0, 0, VK_LEFT, {}, "hello", 0, 0, 0},
      {"ctrl+left goes to the word start", "one two three", 8, 0, 0, VK_LEFT, {ssCtrl}, "one two three", 4, 0, 0},
      {"right steps forward", "hello", 3, 0, 0, VK_RIGHT, {}, "hello", 4, 0, 0},
      {"right stops at the end", "hello", 5, 0, 0, VK_RIGHT, {}, "hello", 5, 0, 0},
      {"ctrl+right goes past the word", "one two", 0, 0, 0, VK_RIGHT, {ssCtrl}, "one two", 3, 0, 0},
      {"ctrl+right stops before the last character", "one two", 4, 0, 0, VK_RIGHT, {ssCtrl}, "one two", 6, 0, 0},
      {"up goes to the nearest x of the line above", Lines, 6, 0, 0, VK_UP, {}, Lines, 2, 0, 0},
      {"up on the first line does nothing", Lines, 1, 0, 0, VK_UP, {}, Lines, 1, 0, 0},
      {"down goes to the nearest x of the line below", Lines, 1, 0, 0, VK_DOWN, {}, Lines, 5, 0, 0},
      {"down on the last line does nothing", Lines, 11, 0, 0, VK_DOWN, {}, Lines, 11, 0, 0},
      {"delete removes the selection", "hello", 0, 1, 4, VK_DELETE, {}, "ho", 1, 0, 0},
      {"delete removes the character at the caret", "hello", 1, 0, 0, VK_DELETE, {}, "hllo", 1, 0, 0},
      {"delete at the end does nothing", "hello", 5, 0, 0, VK_DELETE, {}, "hello", 5, 0, 0},
      {"shift+right starts a selection", "hello", 1, 0, 0, VK_RIGHT, {ssShift}, "hello", 2, 1, 2},
      {"shift+right grows it", "hello", 2, 1, 2, VK_RIGHT, {ssShift}, "hello", 3, 1, 3},
      {"shift+left shrinks it", "hello", 3, 1, 3, VK_LEFT, {ssShift}, "hello", 2, 1, 2},
      {"a move without shift clears it", "hello", 3, 1, 3, VK_LEFT, {}, "hello", 2, 0, 0},
  };
  for (const TKeyCase& K : Cases) {
    SCOPED_TRACE(K.Name);
    Load(K.Text, K.Caret, K.SelStart, K.SelEnd);
    Key(K.Key, K.Shift);
    EXPECT_EQ(Ctl->TextBuffer, K.WantText);
    EXPECT_EQ(Ctl->TextLength, static_cast<int32_t>(std::strlen(K.WantText)));
    EXPECT_EQ(Ctl->CaretIndex, K.WantCaret);
    EXPECT_EQ(Ctl->SelStart, K.WantSelStart);
    EXPECT_EQ(Ctl->SelEnd, K.WantSelEnd);
  }
}

TEST_F(TextControlTest, InsertTogglesOverwriteAndShiftF1F2ChangeTheFontHeight) {
  Load("abc", 1);
  Key(VK_INSERT);
  EXPECT_FALSE(Ctl->InsertMode);
  Headless::Type(Form, "X");
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->TextBuffer, "aXc");
  Key(VK_INSERT);
  EXPECT_TRUE(Ctl->InsertMode);

  Load("abc", 0, 1, 3);
  Key(VK_F2, {ssShift});
  EXPECT_EQ(FormatOf(*Ctl, 0).FontHeight, -10);
  EXPECT_EQ(FormatOf(*Ctl, 1).FontHeight, -11);
  EXPECT_EQ(FormatOf(*Ctl, 2).FontHeight, -11);
  EXPECT_EQ(Ctl->TypingFormat.FontHeight, -11);
  Key(VK_F1, {ssShift});
  Key(VK_F1, {ssShift});
  EXPECT_EQ(FormatOf(*Ctl, 1).FontHeight, -9);
  Key(VK_F1);  // without Shift: nothing
  EXPECT_EQ(FormatOf(*Ctl, 1).FontHeight, -9);
  // A positive height moving to 0 becomes 1.
  Ctl->TypingFormat.FontHeight = 1;
  Ctl->SelStart = Ctl->SelEnd = 0;
  Ctl->ShrinkFont();
  EXPECT_EQ(Ctl->TypingFormat.FontHeight, 1);
}

TEST_F(TextControlTest, TypingReplacesTheSelectionAndIgnoresControlCharacters) {
  Load("hello", 0, 1, 4);
  Headless::Type(Form, "EY");
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->TextBuffer, "hEYo");
  EXPECT_EQ(Ctl->CaretIndex, 3);
  Ctl->HandleChar('\x7f');
  Ctl->HandleChar('\x05');
  EXPECT_EQ(Ctl->TextBuffer, "hEYo");
  // A character of the code page is stored as its byte.
  Headless::Type(Form, "\xC3\xA9");  // e acute
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->TextBuffer, "hEY\xE9o");
}

TEST_F(TextControlTest, ShortcutTableAlignsTogglesStylesAndCanBeChanged) {
  struct TAlignCase {
    char Key;
    uint8_t Want;
  } Aligns[] = {{'E', 2}, {'R', 1}, {'J', 3}, {'L', 0}};
  for (const TAlignCase& A : Aligns) {
    SCOPED_TRACE(A.Key);
    Load("ab\ncd\nef", 4);
    Key(static_cast<uint16_t>(A.Key), {ssCtrl});
    // The paragraph of the caret, its closing LF included, and nothing else.
    for (int32_t I = 0; I < Ctl->TextLength; ++I) EXPECT_EQ(FormatOf(*Ctl, I).Alignment, I >= 3 && I <= 5 ? A.Want : 0) << I;
    EXPECT_EQ(Ctl->TypingFormat.Alignment, A.Want);
  }
  struct TStyleCase {
    char Key;
    uint8_t Bit;
  } Styles[] = {{'B', QxFmtBold}, {'I', QxFmtItalic}, {'U', QxFmtUnderline}};
  for (const TStyleCase& S : Styles) {
    SCOPED_TRACE(S.Key);
    Load("abc", 3);
    Key(static_cast<uint16_t>(S.Key), {ssCtrl});
    EXPECT_EQ(Ctl->TypingFormat.FontStyle, S.Bit);
    Key(static_cast<uint16_t>(S.Key), {ssCtrl});
    EXPECT_EQ(Ctl->TypingFormat.FontStyle, 0);
  }
  // A program may put its own key in the table.
  QxTextShortcuts[8] = {static_cast<uint16_t>('K'), TShiftState{ssCtrl, ssShift}};
  Load("abc", 0, 0, 3);
  Key('B', {ssCtrl});
  EXPECT_EQ(FormatOf(*Ctl, 0).FontStyle, 0);
  Key('K', {ssCtrl, ssShift});
  EXPECT_EQ(FormatOf(*Ctl, 2).FontStyle, QxFmtBold);
  QxFillTextShortcuts();
}

TEST_F(TextControlTest, BoldToggleTakesTheStyleOfTheFirstSelectedCharacter) {
  Load("abcd", 0);
  Ctl->SetCharFormat(1, Format(-10, QxFmtBold));
  Ctl->SetCharFormat(2, Format(-10, 0));
  Ctl->SetCharFormat(3, Format(-10, QxFmtBold | QxFmtItalic));
  Ctl->SelStart = 1;
  Ctl->SelEnd = 4;
  Key('B', {ssCtrl});
  for (int32_t I = 1; I < 4; ++I) EXPECT_EQ(FormatOf(*Ctl, I).FontStyle, 0) << I;
  // The typing format keeps its style when a selection was toggled.
  EXPECT_EQ(Ctl->TypingFormat.FontStyle, 0);
  // Formats nobody uses any more go when purged.
  Ctl->PurgeUnusedFormats();
  for (const TQxCharFormat& F : Ctl->CharFormats) EXPECT_GT(F.UseCount, 0);
  EXPECT_EQ(Ctl->FindFormat(Format(-10, QxFmtBold)), -1);
}

TEST_F(TextControlTest, FontAndColourDialogsApplyToTheSelectionUnlessUniform) {
  Load("abcd", 0, 1, 3);
  Headless::Key(Form, 'F', {ssCtrl});
  Headless::TypeToTop("Serif");
  Headless::KeyToTop(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(QxCharFormatFontName(FormatOf(*Ctl, 1)), "Serif");
  EXPECT_EQ(QxCharFormatFontName(FormatOf(*Ctl, 2)), "Serif");
  EXPECT_NE(QxCharFormatFontName(FormatOf(*Ctl, 3)), "Serif");
  EXPECT_EQ(QxCharFormatFontName(Ctl->TypingFormat), "Serif");

  const TColor Before = FormatOf(*Ctl, 1).BackColor;
  Headless::Key(Form, 'G', {ssCtrl});
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  Application->ProcessMessages();
  const TColor After = FormatOf(*Ctl, 1).BackColor;
  EXPECT_NE(After, Before);
  EXPECT_EQ(FormatOf(*Ctl, 2).BackColor, After);
  EXPECT_EQ(Ctl->TypingFormat.BackColor, After);

  // Uniform mode opens neither dialog.
  Ctl->SetUniformFormat(true);
  const size_t Records = Ctl->CharFormats.size();
  Key('F', {ssCtrl});
  Key('G', {ssCtrl});
  EXPECT_EQ(Ctl->CharFormats.size(), Records);
  EXPECT_EQ(FormatOf(*Ctl, 1).BackColor, After);
}

// ---- mouse --------------------------------------------------------------------------------------

TEST_F(TextControlTest, MousePlacesTheCaretSelectsByShiftAndDragAndWordsByDoubleClick) {
  Load("one two three", 0);
  int Moved = 0;
  Ctl->OnCursorMoved = [&](TObject*) { ++Moved; };
  // Client (10 + 1 + 6 * 4, 11 + 3) is the left half of 't' of "two"; window = client of the form.
  const int32_t Y = 10 + 5;
  Headless::Click(Form, 10 + 1 + 6 * 4 + 1, Y);
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->CaretIndex, 4);
  EXPECT_GE(Moved, 1);
  Headless::Click(Form, 10 + 1 + 6 * 7 + 1, Y, TMouseButton::mbLeft, {ssShift});
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->SelStart, 4);
  EXPECT_EQ(Ctl->SelEnd, 7);
  // A drag from the first character to the fourth.
  Headless::MouseDown(Form, 10 + 2, Y);
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->CaretIndex, 0);
  Headless::MouseMove(Form, 10 + 1 + 6 * 3 + 1, Y);
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->CaretIndex, 3);
  Headless::MouseUp(Form, 10 + 1 + 6 * 3 + 1, Y);
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->SelStart, 0);
  EXPECT_EQ(Ctl->SelEnd, 3);
  // A double click on "three" selects it.
  Headless::Click(Form, 10 + 1 + 6 * 10, Y);
  Headless::Click(Form, 10 + 1 + 6 * 10, Y);
  Application->ProcessMessages();
  EXPECT_EQ(Ctl->SelStart, 8);
  EXPECT_EQ(Ctl->SelEnd, 13);
  EXPECT_EQ(Ctl->CaretIndex, 13);
}

// ---- clipboard ----------------------------------------------------------------------------------

TEST_F(TextControlTest, CopyGivesPlainTextWithCRLFAndTheFormatsOfEveryCharacter) {
  Load("a\n\n\nb", 0, 1, 4);
  Key('C', {ssCtrl});
  std::vector<uint8_t> Text;
  ASSERT_TRUE(OpenClipboard());
  ASSERT_TRUE(GetClipboardData(CF_TEXT, Text));
  std::vector<uint8_t> Memo;
  ASSERT_TRUE(GetClipboardData(QxTextMemoClipboardFormat, Memo));
  CloseClipboard();
  EXPECT_EQ(Text, (std::vector<uint8_t>{'\r', '\n', '\r', '\n', '\r', '\n', 0}));
  EXPECT_LE(Text.size(), 2u * 3 + 1);
  ASSERT_EQ(Memo.size(), 281u * 3 + 1);
  EXPECT_EQ(Memo[3], 0);
  TQxCharFormat F;
  std::memcpy(&F, Memo.data() + 4, sizeof F);
  EXPECT_TRUE(QxSameCharFormat(F, FormatOf(*Ctl, 1)));
  EXPECT_EQ(F.UseCount, 5);  // copied whole
  // Without a selection nothing is copied.
  Ctl->SelStart = Ctl->SelEnd = 0;
  Clipboard()->SetAsText("kept");
  Ctl->CopyToClipboard();
  EXPECT_EQ(Clipboard()->AsText(), "kept");
}

TEST_F(TextControlTest, PasteBetweenTwoControlsKeepsEveryFormatAndCutRemoves) {
  Load("xyz", 0);
  Ctl->SetCharFormat(0, Format(-12, QxFmtBold, clRed));
  Ctl->SetCharFormat(1, Format(-14, QxFmtItalic, clGreen));
  Ctl->SetCharFormat(2, Format(-16, QxFmtUnderline, clBlue));
  Ctl->SelStart = 0;
  Ctl->SelEnd = 3;
  Key('X', {ssCtrl});
  EXPECT_EQ(Ctl->TextBuffer, "");

  auto* Other = new TQxTextControl(Form);
  Other->SetParent(Form);
  Other->SetBounds(220, 10, 180, 100);
  Other->Measurer = &FixedMetrics();
  LendText(*Other, "ab");
  Other->SetFocus();
  Other->CaretIndex = 1;
  Headless::Key(Form, 'V', {ssCtrl});
  Application->ProcessMessages();
  EXPECT_EQ(Other->TextBuffer, "axyzb");
  EXPECT_EQ(FormatOf(*Other, 1).FontStyle, QxFmtBold);
  EXPECT_EQ(FormatOf(*Other, 2).FontHeight, -14);
  EXPECT_EQ(FormatOf(*Other, 2).FontColor, clGreen);
  EXPECT_EQ(FormatOf(*Other, 3).FontStyle, QxFmtUnderline);
  // The typing format ends as the last pasted character's.
  EXPECT_EQ(Other->TypingFormat.FontColor, clBlue);
  for (const TQxCharFormat& F : Other->CharFormats) EXPECT_GE(F.UseCount, 1);
}

TEST_F(TextControlTest, PlainTextPastesWithoutCarriageReturnsInTheTypingFormat) {
  ASSERT_TRUE(OpenClipboard());
  EmptyClipboard();
  SetClipboardData(CF_TEXT, {'a', '\r', '\n', 'b', 0});
  CloseClipboard();
  Load("", 0);
  Ctl->TypingFormat = Format(-18, QxFmtItalic);
  Ctl->Perform(WM_PASTE, 0, 0);
  EXPECT_EQ(Ctl->TextBuffer, "a\nb");
  for (int32_t I = 0; I < 3; ++I) EXPECT_EQ(FormatOf(*Ctl, I).FontHeight, -18);
  // Text other programs give as UTF-8 arrives in the code page.
  Clipboard()->SetAsText("\xC3\xA9t\xC3\xA9");
  Load("", 0);
  Ctl->PasteFromClipboard();
  EXPECT_EQ(Ctl->TextBuffer, "\xE9t\xE9");
}

TEST_F(TextControlTest, CutAndCopyMessagesRunTheirShortcuts) {
  Load("hello", 0, 1, 3);
  Ctl->Perform(WM_COPY, 0, 0);
  EXPECT_EQ(Clipboard()->AsText(), "el");
  EXPECT_EQ(Ctl->TextBuffer, "hello");
  Ctl->Perform(WM_CUT, 0, 0);
  EXPECT_EQ(Ctl->TextBuffer, "hlo");
  EXPECT_EQ(Clipboard()->AsText(), "el");
  // While another holds the clipboard, cut keeps the text and paste leaves it as it is.
  Load("hello", 0, 1, 3);
  ASSERT_TRUE(OpenClipboard());
  Ctl->Perform(WM_CUT, 0, 0);
  Ctl->Perform(WM_PASTE, 0, 0);
  CloseClipboard();
  EXPECT_EQ(Ctl->TextBuffer, "hello");
}

TEST(TextClipboard, ShortOrEmptyPrivateBlocksAreRefused) {
  std::string Text;
  std::vector<TQxCharFormat> Formats;
  EXPECT_FALSE(QxParseTextMemoClip({}, Text, Formats));
  EXPECT_FALSE(QxParseTextMemoClip({'a', 'b'}, Text, Formats));  // no NUL
  std::vector<uint8_t> Short(3 + 280 + 100, 0);
  Short[0] = 'a';
  Short[1] = 'b';
  Short[2] = 0;
  EXPECT_FALSE(QxParseTextMemoClip(Short, Text, Formats));  // two characters, one record and a bit
  EXPECT_FALSE(QxParseTextMemoClip({0}, Text, Formats));
  std::vector<uint8_t> Good(3 + 280 * 2, 0);
  Good[0] = 'a';
  Good[1] = 'b';
  Good[3 + 260] = 0xF0;  // height of the first record
  ASSERT_TRUE(QxParseTextMemoClip(Good, Text, Formats));
  EXPECT_EQ(Text, "ab");
  ASSERT_EQ(Formats.size(), 2u);
  EXPECT_EQ(Formats[0].FontHeight & 0xFF, 0xF0);
}

// ---- the single-line editor ---------------------------------------------------------------------

TEST_F(TextControlTest, SingleLineEditorDropsTabsAndWantsNavigationKeys) {
  auto* E = new TQxEdit(Form);
  E->SetParent(Form);
  E->SetBounds(220, 150, 150, 21);
  int KeyUps = 0;
  E->OnKeyUp = [&](TObject*, uint16_t&, TShiftState) { ++KeyUps; };
  E->SetFocus();
  Headless::Type(Form, "a\tb");
  Application->ProcessMessages();
  EXPECT_EQ(E->Text(), "ab");
  KeyUps = 0;
  EXPECT_EQ(E->Perform(CM_WANTSPECIALKEY, VK_LEFT, 0), 1);
  EXPECT_EQ(E->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 1);
  EXPECT_EQ(E->Perform(CM_WANTSPECIALKEY, VK_RETURN, 0), 0);
  EXPECT_EQ(KeyUps, 2);
  EXPECT_EQ(Ctl->Perform(CM_WANTSPECIALKEY, VK_HOME, 0), 1);
}

TEST_F(TextControlTest, FontChooserShowsItsFieldsAndCancelKeepsTheFont) {
  TQxFontDialog D(nullptr);
  D.Font().SetName("Arial");
  D.Font().SetSize(14);
  D.Font().SetStyle({TFontStyle::fsItalic});
  D.Font().SetColor(clNavy);
  const std::string Path = std::filesystem::current_path().string() + "/text_font_dialog.png";
  bool Saved = false;
  D.OnShow = [&](TObject* Sender) {
    auto* F = static_cast<TForm*>(Sender);
    F->SetKeyPreview(true);
    F->OnKeyDown = [&, F](TObject*, uint16_t& K, TShiftState) {
      if (K != VK_F12) return;
      F->Repaint();
      Saved = Headless::SaveWindowPng(F, Path);
    };
  };
  Headless::KeyToTop(VK_F12);
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(D.Execute());
  EXPECT_TRUE(Saved);
  std::cout << "screenshot: " << Path << "\n";
  EXPECT_EQ(D.Font().Size(), 14);
  // Bold by Tab to the first style box and Space, a new size, then OK.
  Headless::KeyToTop(VK_TAB);
  Headless::TypeToTop("20");
  Headless::KeyToTop(VK_TAB);
  Headless::KeyToTop(VK_SPACE);
  Headless::KeyToTop(VK_RETURN);
  ASSERT_TRUE(D.Execute());
  EXPECT_EQ(D.Font().Name(), "Arial");
  EXPECT_EQ(D.Font().Size(), 20);
  EXPECT_TRUE(D.Font().Style().Contains(TFontStyle::fsBold));
  EXPECT_TRUE(D.Font().Style().Contains(TFontStyle::fsItalic));
  EXPECT_EQ(D.Font().Color(), clNavy);
}
