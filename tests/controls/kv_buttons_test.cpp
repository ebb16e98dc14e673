// Push buttons: default and cancel keys, stay-down groups, press tracking, modal results, 3D captions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/kv_buttons.h"
#include "controls/kv_panels.h"
#include "kv_fixture.h"
#include "platform/ui/std_ctrls.h"

namespace {

class KvButtons : public KvTest {
 protected:
  TPoint InForm(TControl* C, int32_t X, int32_t Y) {
    TPoint p = C->ClientToScreen(Point(X, Y));
    TPoint f = Form->ClientToScreen(Point(0, 0));
    return Point(p.X - f.X, p.Y - f.Y + Form->MenuBarHeight());
  }
  void Press(uint16_t Key, TShiftState Shift = {}) {
    Headless::Key(Form.get(), Key, Shift);
    Application->ProcessMessages();
  }
};

TEST_F(KvButtons, EnterClicksTheActiveDefaultAndEscapeTheCancelButton) {
  ShowForm();
  auto* Ok = Add<TKvButton>(10, 10, 75, 25);
  auto* Cancel = Add<TKvButton>(90, 10, 75, 25);
  auto* Other = Add<TKvButton>(170, 10, 75, 25);
  auto* Edit = Add<TEdit>(10, 50, 100, 21);
  Ok->SetDefault(true);
  Ok->SetModalResult(mrOk);
  Cancel->SetCancel(true);
  Cancel->SetModalResult(mrCancel);
  std::vector<std::string> clicks;
  Ok->OnClick = [&](TObject*) { clicks.push_back("ok"); };
  Cancel->OnClick = [&](TObject*) { clicks.push_back("cancel"); };
  Other->OnClick = [&](TObject*) { clicks.push_back("other"); };
  Edit->SetFocus();
  Application->ProcessMessages();
  EXPECT_TRUE(Ok->Active());
  Press(VK_RETURN);
  EXPECT_EQ(Form->ModalResult(), mrOk);
  Press(VK_ESCAPE);
  EXPECT_EQ(Form->ModalResult(), mrCancel);
  Press(VK_RETURN, TShiftState{ssCtrl});  // shift keys: no default button
  // Focusing another push button makes it the one Enter clicks; an edit gives it back.
  Other->SetFocus();
  Application->ProcessMessages();
  EXPECT_FALSE(Ok->Active());
  EXPECT_TRUE(Other->Active());
  Press(VK_RETURN);
  Edit->SetFocus();
  Application->ProcessMessages();
  EXPECT_TRUE(Ok->Active());
  EXPECT_FALSE(Other->Active());
  EXPECT_EQ(clicks, (std::vector<std::string>{"ok", "cancel", "other"}));
}

TEST_F(KvButtons, PressTrackingAndSpace) {
  ShowForm();
  auto* B = Add<TKvButton>(10, 10, 75, 25);
  int clicks = 0;
  B->OnClick = [&](TObject*) { ++clicks; };
  TPoint in = InForm(B, 10, 10), out = InForm(B, 10, 60);
  Headless::MouseMove(Form.get(), in.X, in.Y);
  Headless::MouseDown(Form.get(), in.X, in.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(B->PressShown());
  EXPECT_TRUE(B->Focused());
  Headless::MouseMove(Form.get(), out.X, out.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(B->PressShown());
  Headless::MouseUp(Form.get(), out.X, out.Y);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 0);
  Headless::Click(Form.get(), in.X, in.Y);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  Headless::KeyDown(Form.get(), VK_SPACE);
  Application->ProcessMessages();
  EXPECT_TRUE(B->PressShown());
  EXPECT_EQ(clicks, 1);
  Headless::KeyUp(Form.get(), VK_SPACE);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 2);
  B->SetCaption("&Go");
  Press('G', TShiftState{ssAlt});
  EXPECT_EQ(clicks, 3);
}

TEST_F(KvButtons, StayDownGroups) {
  ShowForm();
  auto* P = Add<TKvPanel>(0, 0, 300, 100);
  auto* A = Add<TKvButton>(10, 10, 60, 25, P);
  auto* B = Add<TKvButton>(80, 10, 60, 25, P);
  auto* Lone = Add<TKvButton>(150, 10, 60, 25, P);
  Lone->SetDown(true);  // outside a group a button never stays down
  EXPECT_FALSE(Lone->Down());
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  A->SetDown(true);
  B->SetDown(true);
  EXPECT_FALSE(A->Down());
  EXPECT_TRUE(B->Down());
  B->SetDown(false);  // AllowAllUp is off: the last one stays down
  EXPECT_TRUE(B->Down());
  int clicks = 0;
  B->OnClick = [&](TObject*) { ++clicks; };
  TPoint p = InForm(B, 10, 10);
  Headless::Click(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(B->Down());
  EXPECT_EQ(clicks, 1);  // stays down and still clicks
  A->SetAllowAllUp(true);  // the group takes it over
  EXPECT_TRUE(B->AllowAllUp());
  Headless::Click(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(B->Down());
}

TEST_F(KvButtons, ClassicDefaultButtonGetsTheWindowFrameLine) {
  ShowForm();
  auto* B = Add<TKvButton>(10, 10, 75, 25);
  auto corner = [&] {
    Application->ProcessMessages();
    TPoint o = Form->ClientToScreen(Point(0, 0)), p = B->ClientToScreen(Point(0, 0));
    return Headless::PixelAt(Form.get(), p.X - o.X, p.Y - o.Y + Form->MenuBarHeight());
  };
  EXPECT_EQ(corner(), ColorToRGB(clBtnHighlight));  // the plain raised frame
  B->SetDefault(true);
  EXPECT_EQ(corner(), ColorToRGB(clWindowFrame));
}

TEST_F(KvButtons, HotTrackMakesTheButtonTransparent) {
  auto* B = Add<TKvButton>(10, 10, 75, 25);
  EXPECT_FALSE(B->Transparent());
  B->SetHotTrack(true);
  EXPECT_TRUE(B->Transparent());
}

TEST_F(KvButtons, RaisedCaptionDrawsItsPasses) {
  SetTestFontMode(true);
  ShowForm();
  auto* B = Add<TKvButton>(10, 10, 100, 30);
  B->SetCaption("X");
  B->Font()->SetColor(clBlack);
  B->SetTextHighlightColor(0x0000FF);
  B->SetTextShadowColor(0x00FF00);
  B->SetTextStyle(tsRaised);
  auto count = [&](TColor c) {
    Application->ProcessMessages();
    TBitmap shot;
    Headless::Snapshot(Form.get(), shot);
    int n = 0;
    TPoint o = InForm(B, 0, 0);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 100; ++x) n += Px(shot, o.X + x, o.Y + y) == Rgb(c);
    return n;
  };
  EXPECT_GT(count(0x0000FF), 0);  // upper-left pass
  EXPECT_GT(count(0x00FF00), 0);  // lower-right pass
  B->SetLightTextStyle(true);
  B->Invalidate();
  EXPECT_GT(count(0x0000FF), 0);
  EXPECT_EQ(count(0x00FF00), 0);
  SetTestFontMode(false);
}

TEST_F(KvButtons, Screenshot) {
  Form->SetBounds(50, 50, 360, 150);
  Form->SetColor(0xF6F0E2);
  ShowForm();
  auto* Def = Add<TKvButton>(10, 10, 80, 25);
  Def->SetCaption("&Default");
  Def->SetDefault(true);
  auto* Flat = Add<TKvButton>(100, 10, 80, 25);
  Flat->SetCaption("&Ok");
  Flat->SetHotTrack(true);
  Flat->SetDefault(true);
  auto* Dis = Add<TKvButton>(190, 10, 80, 25);
  Dis->SetCaption("Disabled");
  Dis->SetEnabled(false);
  auto* G1 = Add<TKvButton>(10, 50, 80, 25);
  auto* G2 = Add<TKvButton>(100, 50, 80, 25);
  G1->SetCaption("Down");
  G2->SetCaption("Up");
  G1->SetGroupIndex(1);
  G2->SetGroupIndex(1);
  G1->SetDown(true);
  auto* Shadow = Add<TKvButton>(190, 50, 80, 25);
  Shadow->SetCaption("Shadow");
  Shadow->SetTextStyle(tsShadow);
  Shadow->SetColor(0xE0C0A0);
  auto* FlatDis = Add<TKvButton>(10, 90, 80, 25);
  FlatDis->SetCaption("Flat off");
  FlatDis->SetHotTrack(true);
  FlatDis->SetEnabled(false);
  auto* Focus = Add<TKvButton>(100, 90, 80, 25);
  Focus->SetCaption("Focused");
  Focus->SetFocus();
  Screenshot("kv_buttons");
}

}  // namespace
