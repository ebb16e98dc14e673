// Check boxes and radio buttons: when clicks fire, groups, read-only, keyboard, custom glyph strips.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/kv_checks.h"
#include "controls/kv_panels.h"
#include "kv_fixture.h"

namespace {

class KvChecks : public KvTest {
 protected:
  TPoint InForm(TControl* C, int32_t X, int32_t Y) {
    TPoint p = C->ClientToScreen(Point(X, Y));
    TPoint f = Form->ClientToScreen(Point(0, 0));
    return Point(p.X - f.X, p.Y - f.Y + Form->MenuBarHeight());
  }
  void ClickAt(TControl* C, int32_t X = 4, int32_t Y = 6) {
    TPoint p = InForm(C, X, Y);
    Headless::Click(Form.get(), p.X, p.Y);
    Application->ProcessMessages();
  }
  void Press(uint16_t Key, TShiftState Shift = {}) {
    Headless::Key(Form.get(), Key, Shift);
    Application->ProcessMessages();
  }
};

TEST_F(KvChecks, RadioButtonsCheckOnePerParentAndClickOnlyWhenChecked) {
  auto* P1 = Add<TKvPanel>(0, 0, 150, 100);
  auto* P2 = Add<TKvPanel>(160, 0, 150, 100);
  auto* A = Add<TKvRadioButton>(4, 4, 100, 17, P1);
  auto* B = Add<TKvRadioButton>(4, 24, 100, 17, P1);
  auto* C = Add<TKvRadioButton>(4, 4, 100, 17, P2);
  std::vector<std::string> clicks;
  A->OnClick = [&](TObject*) { clicks.push_back("A"); };
  B->OnClick = [&](TObject*) { clicks.push_back("B"); };
  C->OnClick = [&](TObject*) { clicks.push_back("C"); };
  A->SetChecked(true);
  A->SetChecked(true);  // no change: no click
  C->SetChecked(true);  // another parent: A stays checked
  EXPECT_TRUE(A->Checked());
  B->SetChecked(true);  // A goes unchecked without a click of its own
  EXPECT_FALSE(A->Checked());
  EXPECT_TRUE(C->Checked());
  EXPECT_EQ(clicks, (std::vector<std::string>{"A", "C", "B"}));
  // Only the checked button of a group is a tab stop.
  EXPECT_TRUE(B->TabStop());
  EXPECT_FALSE(A->TabStop());
}

TEST_F(KvChecks, MouseAndKeyboardCheckRadiosUnlessReadOnly) {
  ShowForm();
  auto* A = Add<TKvRadioButton>(10, 10, 100, 17);
  auto* B = Add<TKvRadioButton>(10, 30, 100, 17);
  auto* X = Add<TKvRadioButton>(10, 50, 100, 17);
  A->SetCaption("&Alpha");
  A->SetChecked(true);
  int clicks = 0;
  B->OnClick = [&](TObject*) { ++clicks; };
  ClickAt(B);
  EXPECT_TRUE(B->Checked());
  EXPECT_FALSE(A->Checked());
  EXPECT_EQ(clicks, 1);
  // Alt + the accelerator moves the focus there, which checks it.
  Press('A', TShiftState{ssAlt});
  EXPECT_TRUE(A->Checked());
  EXPECT_TRUE(A->Focused());
  // An arrow key moves the focus on within the group, and the focus checks.
  Press(VK_DOWN);
  EXPECT_TRUE(B->Checked());
  EXPECT_EQ(clicks, 2);
  // Read-only spreads to every radio of the parent; they ignore clicks and focus.
  X->SetReadOnly(true);
  EXPECT_TRUE(A->ReadOnly());
  EXPECT_TRUE(B->ReadOnly());
  ClickAt(A);
  EXPECT_FALSE(A->Checked());
  A->SetFocus();
  EXPECT_FALSE(A->Checked());
  EXPECT_TRUE(B->Checked());
}

TEST_F(KvChecks, CheckBoxStatesClicksAndKeys) {
  ShowForm();
  auto* X = Add<TKvCheckBox>(10, 10, 120, 17);
  X->SetCaption("&Wave");
  std::vector<TCheckBoxState> seen;
  X->OnClick = [&](TObject*) { seen.push_back(X->State()); };
  X->SetChecked(true);
  X->SetChecked(true);
  ClickAt(X);
  EXPECT_FALSE(X->Checked());
  X->SetAllowGrayed(true);
  ClickAt(X);
  EXPECT_EQ(X->State(), cbGrayed);
  EXPECT_FALSE(X->Checked());
  ClickAt(X);
  EXPECT_EQ(X->State(), cbChecked);
  // Space toggles on release; Escape between down and up cancels.
  X->SetFocus();
  Press(VK_SPACE);
  EXPECT_EQ(X->State(), cbUnchecked);
  Headless::KeyDown(Form.get(), VK_SPACE);
  Headless::KeyDown(Form.get(), VK_ESCAPE);
  Headless::KeyUp(Form.get(), VK_SPACE);
  Application->ProcessMessages();
  EXPECT_EQ(X->State(), cbUnchecked);
  Press('W', TShiftState{ssAlt});
  EXPECT_EQ(X->State(), cbGrayed);
  EXPECT_EQ(seen, (std::vector<TCheckBoxState>{cbChecked, cbUnchecked, cbGrayed, cbChecked, cbUnchecked, cbGrayed}));
  // Read-only ignores clicks and Space, but the program may still set it.
  X->SetReadOnly(true);
  ClickAt(X);
  Press(VK_SPACE);
  EXPECT_EQ(X->State(), cbGrayed);
  X->SetChecked(false);
  EXPECT_EQ(X->State(), cbUnchecked);
}

TEST_F(KvChecks, DraggingOffBeforeReleaseDoesNotToggle) {
  ShowForm();
  auto* X = Add<TKvCheckBox>(10, 10, 120, 17);
  TPoint in = InForm(X, 4, 6), out = InForm(X, 4, 60);
  Headless::MouseMove(Form.get(), in.X, in.Y);
  Headless::MouseDown(Form.get(), in.X, in.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(X->PressShown());
  Headless::MouseMove(Form.get(), out.X, out.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(X->PressShown());
  Headless::MouseUp(Form.get(), out.X, out.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(X->Checked());
}

TEST_F(KvChecks, CustomGlyphStripsSetTheGlyphSize) {
  auto* R = Add<TKvRadioButton>(0, 0, 100, 17);
  TBitmap strip(54, 9, TPixelFormat::pf24bit);
  R->SetCustomGlyphs(&strip);
  EXPECT_TRUE(R->UseCustomGlyphs());
  EXPECT_EQ(R->GlyphWidth(), 9);
  EXPECT_EQ(R->GlyphHeight(), 9);
  TBitmap other(60, 12, TPixelFormat::pf24bit);
  R->SetCustomGlyphs(&other);  // still on: the size stays until the strip is switched off and on
  EXPECT_EQ(R->GlyphWidth(), 9);
  R->SetUseCustomGlyphs(false);
  R->SetUseCustomGlyphs(true);
  EXPECT_EQ(R->GlyphWidth(), 10);
  EXPECT_EQ(R->GlyphHeight(), 12);
  TBitmap empty;
  R->SetCustomGlyphs(&empty);
  EXPECT_FALSE(R->UseCustomGlyphs());
  EXPECT_EQ(R->GlyphWidth(), 13);
  auto* X = Add<TKvCheckBox>(0, 20, 100, 17);
  TBitmap boxes(90, 10, TPixelFormat::pf24bit);
  X->SetCustomGlyphs(&boxes);
  EXPECT_EQ(X->GlyphWidth(), 10);  // nine states
}

TEST_F(KvChecks, GlyphSitsLeftOrRightByAlignment) {
  auto* X = Add<TKvCheckBox>(0, 0, 120, 21);
  EXPECT_EQ(X->GlyphRect(), Rect(0, 2, 13, 15));
  X->SetAlignment(taLeftJustify);
  EXPECT_EQ(X->GlyphRect(), Rect(107, 2, 120, 15));
  X->SetAlignmentVertical(avCenter);
  EXPECT_EQ(X->GlyphRect(), Rect(107, 4, 120, 17));
}

TEST_F(KvChecks, FrameControllerTurnsOnTheFlatLookAndItsColours) {
  auto* C = new TKvFrameController(Form.get());
  auto* X = Add<TKvCheckBox>(0, 0, 100, 17);
  C->SetFrameVisible(true);
  C->SetColor(0x0000FF);
  C->SetFrameColor(0x00FF00);
  C->SetFrameHotTrack(true);
  C->SetFrameHotColor(0xFF0000);
  X->SetFrameController(C);
  EXPECT_TRUE(X->HotTrack());
  EXPECT_EQ(X->FillColor(), 0x0000FF);
  EXPECT_EQ(X->FrameColor(), 0x00FF00);
  EXPECT_EQ(X->HotTrackStyle(), htsFrame);
  EXPECT_EQ(X->HotTrackColor(), 0xFF0000);
  delete C;
  EXPECT_EQ(X->FrameController(), nullptr);
}

TEST_F(KvChecks, TransparentBoxShowsItsParentAroundTheGlyph) {
  ShowForm();
  auto* P = Add<TKvPanel>(10, 10, 200, 60);
  P->SetBorderOuter(fsNone);
  P->SetColor(0x0000C0);
  auto* X = Add<TKvCheckBox>(20, 20, 150, 20, P);
  X->SetColor(0x00C000);
  X->SetTransparent(true);
  Application->ProcessMessages();
  TPoint p = InForm(X, 140, 15);
  EXPECT_EQ(Headless::PixelAt(Form.get(), p.X, p.Y), 0x0000C0);
  X->SetTransparent(false);
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(Form.get(), p.X, p.Y), 0x00C000);
}

TEST_F(KvChecks, Screenshot) {
  Form->SetBounds(50, 50, 420, 200);
  Form->SetColor(0xF6F0E2);
  ShowForm();
  const char* captions[] = {"Unchecked", "Checked", "Grayed", "Disabled", "Read-only"};
  for (int32_t i = 0; i < 5; ++i) {
    auto* X = Add<TKvCheckBox>(10, 10 + i * 22, 180, 17);
    X->SetCaption(captions[i]);
    X->SetHotTrack(i != 2);
    X->SetAllowGrayed(true);
    if (i == 1) X->SetChecked(true);
    if (i == 2) X->SetState(cbGrayed);
    if (i == 3) {
      X->SetChecked(true);
      X->SetEnabled(false);
    }
    if (i == 4) X->SetReadOnly(true);
    auto* R = Add<TKvRadioButton>(210, 10 + i * 22, 180, 17);
    R->SetCaption(std::string("Radio ") + captions[i]);
    R->SetHotTrack(i != 2);
    if (i == 1) R->SetChecked(true);
    if (i == 3) R->SetEnabled(false);
    if (i == 4) R->SetAlignment(taLeftJustify);
  }
  auto* F = Add<TKvCheckBox>(10, 130, 180, 17);
  F->SetCaption("Focused && raised");
  F->SetHotTrack(true);
  F->SetTextStyle(tsRaised);
  F->SetFocus();
  Screenshot("kv_checks");
}

}  // namespace
