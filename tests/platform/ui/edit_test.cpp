// The edit base: typing, caret movement, selection, clipboard and one-level undo.
#include <gtest/gtest.h>

#include "platform/ui/clipboard.h"
#include "platform/ui/std_ctrls.h"
#include "tests/platform/ui/ui_fixture.h"

namespace {

TEST_F(UiTest, EditTypesSelectsCopiesPastesAndUndoes) {
  TForm f(nullptr);
  auto* e = new TEdit(&f);
  e->SetParent(&f);
  e->SetBounds(10, 10, 150, 24);
  int changes = 0;
  e->OnChange = [&](TObject*) { ++changes; };
  ShowAt(&f, 200, 100);
  ASSERT_TRUE(e->Focused());
  Headless::Type(&f, "hello wörld");
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "hello wörld");
  EXPECT_EQ(e->SelStart(), 11);
  EXPECT_EQ(changes, 11);
  // Ctrl+Shift+Left selects the last word; Ctrl+C copies it; End, Ctrl+V pastes it.
  Headless::Key(&f, VK_LEFT, {ssCtrl, ssShift});
  Headless::Key(&f, 'C', {ssCtrl});
  Headless::Key(&f, VK_END);
  Headless::Key(&f, 'V', {ssCtrl});
  Application->ProcessMessages();
  EXPECT_EQ(Clipboard()->AsText(), "wörld");
  EXPECT_EQ(e->Text(), "hello wörldwörld");
  // One level of undo, and undo of the undo.
  Headless::Key(&f, 'Z', {ssCtrl});
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "hello wörld");
  Headless::Key(&f, 'Z', {ssCtrl});
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "hello wörldwörld");
  // Home, Shift+Right x5, Backspace deletes the selection; MaxLength caps typing.
  Headless::Key(&f, VK_HOME);
  for (int i = 0; i < 5; ++i) Headless::Key(&f, VK_RIGHT, {ssShift});
  Headless::Key(&f, VK_BACK);
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), " wörldwörld");
  e->SetMaxLength(12);
  Headless::Type(&f, "abc");
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "a wörldwörld");
  // Read-only refuses typing but still copies.
  e->SetReadOnly(true);
  Headless::Type(&f, "x");
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "a wörldwörld");
}

TEST_F(UiTest, PastingTakesTheFirstLineOnly) {
  TForm f(nullptr);
  auto* e = new TEdit(&f);
  e->SetParent(&f);
  ShowAt(&f, 200, 100);
  Clipboard()->SetAsText("one\r\ntwo");
  e->PasteFromClipboard();
  EXPECT_EQ(e->Text(), "one");
}

TEST(ClipboardFormats, PrivateFormatsStayInProcessAndTextGetsCrLf) {
  uint32_t f1 = RegisterClipboardFormat("QUILLOT TEXTMEMO");
  EXPECT_EQ(RegisterClipboardFormat("QUILLOT TEXTMEMO"), f1);
  EXPECT_NE(RegisterClipboardFormat("QUILLOT VECT"), f1);
  EXPECT_GE(f1, 0xC000u);
  ASSERT_TRUE(OpenClipboard());
  EXPECT_FALSE(OpenClipboard());  // already open
  EmptyClipboard();
  SetClipboardData(f1, {1, 2, 3});
  SetClipboardData(CF_TEXT, {'a', '\r', '\n', 'b', 0});
  CloseClipboard();
  std::vector<uint8_t> got;
  ASSERT_TRUE(GetClipboardData(f1, got));
  EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Clipboard()->AsText(), "a\nb");
  Clipboard()->SetAsText("x\ny");
  ASSERT_TRUE(GetClipboardData(CF_TEXT, got));
  EXPECT_EQ(got, (std::vector<uint8_t>{'x', '\r', '\n', 'y', 0}));
  EXPECT_FALSE(IsClipboardFormatAvailable(f1));  // emptied by SetAsText
}

}  // namespace
