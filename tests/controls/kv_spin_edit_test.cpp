// The framed edit and the spin edit: values and their text, the range, what typing accepts, the
// arrows with auto-repeat, keys and wheel, and the order of their events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/kv_spin_edit.h"
#include "kv_fixture.h"
#include "platform/ui/clipboard.h"

namespace {

class KvSpinEditTest : public KvTest {
 protected:
  // A spin edit as the main window places it.
  TKvSpinEdit* Field(int32_t Min, int32_t Max, int32_t Value, int32_t Top = 10) {
    auto* e = Add<TKvSpinEdit>(10, Top, 70, 21);
    e->BeginLoading();
    e->SetMin(Min);
    e->SetMax(Max);
    e->SetValue(Value);
    e->SetAllowBlank(true);
    e->SetAllowKeyEdit(true);
    e->SetFlatButtons(true);
    e->SetFrameVisible(true);
    e->EndLoading();
    return e;
  }
  void Watch(TKvSpinEdit* E) {
    E->OnChange = [this, E](TObject*) { Log.push_back("change " + E->Text()); };
    E->OnChanging = [this](TObject*, long double V, bool& Allow) {
      Log.push_back("changing " + std::to_string(int(V)));
      Allow = int(V) != Refuse;
    };
    E->OnButtonClick = [this](TObject*, TSpinButtonType B) { Log.push_back(B == sbUp ? "up" : "down"); };
  }
  // Window point of the up or down arrow of E.
  TPoint Arrow(TKvSpinEdit* E, bool Up) {
    TKvControlButton* b = E->ButtonOf(Up ? sbUp : sbDown);
    TPoint p = b->ClientToScreen(TPoint(b->Width() / 2, b->Height() / 2));
    return Form->ScreenToClient(p);
  }
  void Focus(TKvSpinEdit* E) {
    E->SetFocus();
    Application->ProcessMessages();
  }
  void Key(uint16_t K, TShiftState S = {}) {
    Headless::Key(Form.get(), K, S);
    Application->ProcessMessages();
  }
  void Type(const std::string& T) {
    Headless::Type(Form.get(), T);
    Application->ProcessMessages();
  }
  std::vector<std::string> Log;
  int Refuse = -12345;
};

TEST_F(KvSpinEditTest, MainWindowFieldsAndDefaults) {
  struct {
    int32_t Min, Max, Value;
  } fields[] = {{-500, 500, 0}, {0, 100, 10}, {0, 100, 30}, {0, 359, 0}};
  int32_t top = 10;
  for (auto& f : fields) {
    auto* e = Field(f.Min, f.Max, f.Value, top);
    top += 30;
    EXPECT_EQ(e->IntValue(), f.Value);
    EXPECT_EQ(e->Text(), std::to_string(f.Value));
    EXPECT_TRUE(e->FrameVisible() && e->FlatButtons() && e->AllowBlank() && e->AllowKeyEdit());
  }
  TKvSpinEdit fresh(nullptr);
  EXPECT_EQ(fresh.Text(), "0");
  EXPECT_EQ(fresh.Width(), 47);
  EXPECT_EQ(fresh.Min(), 0);
  EXPECT_EQ(fresh.Max(), 100);
  EXPECT_EQ(fresh.Alignment(), TLeftRight::taRightJustify);
  EXPECT_FALSE(fresh.AllowKeyEdit());
  EXPECT_TRUE(fresh.IntegersOnly());
}

TEST_F(KvSpinEditTest, LeavingTheFieldLimitsWhatWasTyped) {
  auto* e = Field(-500, 500, 0);
  auto* other = Field(0, 100, 10, 60);
  ShowForm();
  Focus(e);
  Watch(e);
  EXPECT_EQ(e->SelLength(), 1);  // the text is selected on arrival
  Type("600");
  EXPECT_EQ(e->Text(), "600");
  EXPECT_EQ(Log, (std::vector<std::string>{"change 6", "change 60", "change 600"}));
  Focus(other);
  EXPECT_EQ(e->Text(), "500");
  // At Max an up arrow keeps the text: no OnChange, but the button click is announced.
  Log.clear();
  TPoint up = Arrow(e, true);
  Headless::Click(Form.get(), up.X, up.Y);
  Application->ProcessMessages();
  EXPECT_EQ(e->Text(), "500");
  EXPECT_EQ(Log, (std::vector<std::string>{"changing 501", "up"}));
  EXPECT_TRUE(e->Focused());  // the arrow gives the edit the focus
  EXPECT_EQ(e->SelLength(), 0);  // arriving with the button held selects nothing
  // A blank field stays blank with AllowBlank and reads BlankValue.
  Key('A', TShiftState(ssCtrl));
  Key(VK_BACK);
  EXPECT_EQ(e->Text(), "");
  Focus(other);
  EXPECT_EQ(e->Text(), "");
  EXPECT_EQ(e->Value(), 0);
  // Without AllowBlank, reading an empty field writes Min.
  e->SetAllowBlank(false);
  EXPECT_EQ(e->Value(), -500);
  EXPECT_EQ(e->Text(), "-500");
  // Text that is no number reads as Min and is replaced by it on leaving.
  Focus(e);
  Key('A', TShiftState(ssCtrl));
  Type("-");
  EXPECT_EQ(e->Value(), -500);
  Focus(other);
  EXPECT_EQ(e->Text(), "-500");
}

TEST_F(KvSpinEditTest, RangeRules) {
  auto* e = Add<TKvSpinEdit>(10, 10, 60, 21);
  e->SetMax(5);
  e->SetMin(5);
  e->SetValue(77);
  EXPECT_EQ(e->Value(), 77);  // equal limits: no range
  e->SetCheckRange(true);
  EXPECT_EQ(e->Value(), 5);
  e->SetValue(-3);
  EXPECT_EQ(e->Value(), 5);
  e->SetCheckRange(false);
  e->SetMax(100);
  e->SetMin(20);
  e->SetMax(10);  // below Min: Min follows
  EXPECT_EQ(e->Min(), 10);
  EXPECT_EQ(e->Max(), 10);
  e->SetMax(100);
  e->SetMin(200);
  EXPECT_EQ(e->Max(), 200);
  e->SetMin(0);
  // Decimals and IntegersOnly.
  e->SetValue(1.5L);
  EXPECT_EQ(e->Text(), "2");  // no decimals: the text rounds
  e->SetIntegersOnly(false);
  e->SetDecimals(2);
  e->SetValue(1.5L);
  EXPECT_EQ(e->Text(), "1.50");
  e->SetValue(2.5L);
  e->SetIntegersOnly(true);
  EXPECT_EQ(e->Decimals(), 0);
  EXPECT_EQ(e->Text(), "2");  // rounded half to even
  EXPECT_EQ(e->IntValue(), 2);
}

TEST_F(KvSpinEditTest, WhatTypingAccepts) {
  auto* e = Field(-500, 500, 0);
  ShowForm();
  Focus(e);
  uint32_t beeps = MessageBeepCount();
  Type("-12");
  EXPECT_EQ(e->Text(), "-12");
  Type("-");  // a second sign is refused
  Type("x.");  // letters, and the separator while only integers are allowed
  EXPECT_EQ(e->Text(), "-12");
  EXPECT_EQ(MessageBeepCount(), beeps + 3);
  Key('A', TShiftState(ssCtrl));
  Type("+7");  // the whole text selected: a sign may replace it
  EXPECT_EQ(e->Text(), "+7");
  e->SetIntegersOnly(false);
  Type(".5");
  Type(".");  // one separator only
  EXPECT_EQ(e->Text(), "+7.5");
  Focus(Field(0, 1, 0, 60));
  EXPECT_EQ(e->Text(), "8");  // no decimals shown: rounded

  // AllowKeyEdit off: no typing, Backspace or Delete; the arrows, keys and wheel still step.
  e->SetAllowKeyEdit(false);
  Focus(e);
  beeps = MessageBeepCount();
  Type("3");
  Key(VK_BACK);
  Key(VK_DELETE);
  EXPECT_EQ(e->Text(), "8");
  EXPECT_EQ(MessageBeepCount(), beeps + 3);
  Key(VK_UP);
  EXPECT_EQ(e->Text(), "9");
  Key(VK_PRIOR);
  EXPECT_EQ(e->Text(), "19");
  Key(VK_NEXT);
  Key(VK_DOWN);
  EXPECT_EQ(e->Text(), "8");
  // Paste reaches the text only when keys may edit it.
  Clipboard()->SetAsText("44");
  Key('A', TShiftState(ssCtrl));
  Key('V', TShiftState(ssCtrl));
  e->Perform(WM_PASTE, 0, 0);
  EXPECT_EQ(e->Text(), "8");
  e->SetAllowKeyEdit(true);
  e->Perform(WM_PASTE, 0, 0);
  EXPECT_EQ(e->Text(), "44");
}

TEST_F(KvSpinEditTest, KeysWheelAndEventOrder) {
  auto* e = Field(0, 100, 10);
  ShowForm();
  Focus(e);
  Watch(e);
  Key(VK_PRIOR);
  EXPECT_EQ(Log, (std::vector<std::string>{"changing 20", "change 20", "up"}));
  Log.clear();
  Refuse = 19;
  Key(VK_DOWN);  // refused: nothing changes, no click
  EXPECT_EQ(Log, (std::vector<std::string>{"changing 19"}));
  Refuse = -12345;
  Headless::Wheel(Form.get(), 20, 20, 1);
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 21);
  Headless::Wheel(Form.get(), 20, 20, 1, TShiftState(ssCtrl));
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 31);
  Headless::Wheel(Form.get(), 20, 20, -1);
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 30);
  // Read-only: steps beep and change nothing; the arrows go away.
  e->SetReadOnly(true);
  uint32_t beeps = MessageBeepCount();
  Key(VK_UP);
  EXPECT_EQ(e->IntValue(), 30);
  EXPECT_EQ(MessageBeepCount(), beeps + 1);
  EXPECT_FALSE(e->Buttons()->Visible());
  EXPECT_EQ(e->RightMargin(), 0);  // the text may use the whole width
  EXPECT_EQ(e->EditAreaRect(), e->ClientRect());
  e->SetReadOnly(false);
  EXPECT_TRUE(e->Buttons()->Visible());
  EXPECT_EQ(e->RightMargin(), e->Buttons()->Width() + 2);
}

TEST_F(KvSpinEditTest, HeldArrowRepeats) {
  auto* e = Field(0, 100, 10);
  ShowForm();
  Watch(e);
  TPoint down = Arrow(e, false);
  Headless::MouseDown(Form.get(), down.X, down.Y);
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 10);  // a click happens on release or by repeat
  for (int i = 0; i < 13; ++i) Wait(50);
  EXPECT_EQ(e->IntValue(), 7);  // 400, 500, 600 ms
  Headless::MouseUp(Form.get(), down.X, down.Y);
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 6);
  Wait(500);
  EXPECT_EQ(e->IntValue(), 6);
}

TEST_F(KvSpinEditTest, ArrowPressWhoseFocusChangeFailsIsDropped) {
  auto* e = Field(0, 100, 10);
  auto* other = Field(0, 100, 10, 60);
  ShowForm();
  Focus(other);
  // The edit sends the focus straight back on arrival, so the press cannot focus it.
  e->OnEnter = [other](TObject*) { other->SetFocus(); };
  Watch(e);
  TPoint down = Arrow(e, true);
  Headless::MouseDown(Form.get(), down.X, down.Y);
  Application->ProcessMessages();
  EXPECT_FALSE(e->ButtonOf(sbUp)->Pressed());
  Wait(600);  // no auto-repeat either
  Headless::MouseUp(Form.get(), down.X, down.Y);
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 10);
  EXPECT_TRUE(Log.empty());
  // Once the focus can move, the same press steps the value.
  e->OnEnter = nullptr;
  Headless::Click(Form.get(), down.X, down.Y);
  Application->ProcessMessages();
  EXPECT_EQ(e->IntValue(), 11);
  EXPECT_TRUE(e->Focused());
}

TEST_F(KvSpinEditTest, FramedEditColoursAndFrame) {
  auto* e = Field(0, 100, 10);
  auto* other = Field(0, 100, 10, 60);
  e->SetColor(0xE0FFFF);  // idle colour, and the focus colour that was not set apart
  EXPECT_EQ(e->NormalColor(), 0xE0FFFF);
  EXPECT_EQ(e->FocusColor(), 0xE0FFFF);
  e->SetFocusColor(0xFFE0E0);
  e->SetDisabledColor(0xC0C0C0);
  e->SetReadOnlyColor(0xD0F0D0);
  ShowForm();
  Focus(e);
  EXPECT_EQ(e->Color(), 0xFFE0E0);
  Focus(other);
  EXPECT_EQ(e->Color(), 0xE0FFFF);
  e->SetEnabled(false);
  EXPECT_EQ(e->Color(), 0xC0C0C0);
  e->SetEnabled(true);
  EXPECT_EQ(e->Color(), 0xE0FFFF);
  e->SetReadOnly(true);
  EXPECT_EQ(e->Color(), 0xD0F0D0);
  Focus(e);
  EXPECT_EQ(e->Color(), 0xFFE0E0);
  e->SetReadOnlyColorOnFocus(true);
  EXPECT_EQ(e->Color(), 0xD0F0D0);
  e->SetReadOnly(false);
  // The own frame: flat in FrameColor on the outer pixels.
  e->SetFrameColor(0x0000FF);
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(Form.get(), e->Left(), e->Top() + 10) & 0xFFFFFF, 0x0000FF);
  // Hot tracking: visible frame on every side, the hot style while focused.
  e->SetFrameSides(TSides{sdLeft});
  e->SetFrameHotTrack(true);
  EXPECT_EQ(e->FrameSides(), KvAllSides);
  e->SetFrameHotColor(0x00FF00);
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(Form.get(), e->Left() + 1, e->Top() + 10) & 0xFFFFFF, 0x00FF00);  // two bands
  // Old forms' FrameFlat: hot tracking with status and lowered styles.
  EXPECT_TRUE(SetPropertyFromText(other, "FrameFlat", "True"));
  EXPECT_TRUE(other->FrameHotTrack());
  EXPECT_EQ(other->FrameStyle(), fsStatus);
  EXPECT_EQ(other->FrameHotStyle(), fsLowered);
  // Enter moves on like Tab.
  e->SetTabOnEnter(true);
  Focus(e);
  Key(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_TRUE(other->Focused());
}

TEST_F(KvSpinEditTest, FrameControllerSettings) {
  auto* e = Field(0, 100, 10);
  auto* fc = new TKvFrameController(Form.get());
  fc->SetFrameStyle(fsGroove);
  fc->SetFrameColor(0x123456);
  e->SetFrameController(fc);
  EXPECT_EQ(e->FrameStyle(), fsGroove);
  EXPECT_EQ(e->FrameColor(), 0x123456);
  EXPECT_FALSE(e->FrameVisible());  // the controller's setting
  fc->SetFrameVisible(true);
  EXPECT_TRUE(e->FrameVisible());
  TKvFrameControllerNotifications n = KvAllFrameNotifications;
  n.Exclude(TKvFrameControllerProperty::fcpFrameStyle);
  e->SetFrameControllerNotifications(n);
  fc->SetFrameStyle(fsBump);
  EXPECT_EQ(e->FrameStyle(), fsGroove);
  delete fc;  // the link goes with it
  EXPECT_EQ(e->FrameController(), nullptr);
}

TEST_F(KvSpinEditTest, Screenshot) {
  auto* a = Field(-500, 500, 0, 10);
  auto* b = Field(0, 100, 10, 40);
  auto* c = Field(0, 100, 30, 70);
  c->SetEnabled(false);
  auto* d = Add<TKvSpinEdit>(10, 100, 70, 21);
  d->SetValue(42);
  auto* h = Add<TKvSpinEdit>(10, 130, 90, 21);
  h->SetOrientation(orHorizontal);
  h->SetValue(7);
  ShowForm();
  Focus(b);
  Headless::MouseMove(Form.get(), a->Left() + 10, a->Top() + 10);
  Application->ProcessMessages();
  Screenshot("kv_spin_edit");
}

}  // namespace
