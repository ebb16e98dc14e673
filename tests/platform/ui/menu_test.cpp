// Menus driven by keyboard and mouse, shortcuts, radio groups and owner drawing.
#include <gtest/gtest.h>

#include "platform/ui/menus.h"
#include "platform/ui/std_ctrls.h"
#include "tests/platform/ui/ui_fixture.h"

namespace {

struct MenuForm {
  TForm Form{nullptr};
  TMainMenu* Menu;
  TMenuItem *File, *Open, *Sep, *Exit, *Lang, *English, *German;
  std::vector<std::string> Ran;

  MenuForm() {
    Menu = new TMainMenu(&Form);
    File = Item("&File");
    Open = Item("&Open...", File);
    Open->SetShortCut(ShortCut('O', {ssCtrl}));
    Sep = Item("-", File);
    Exit = Item("E&xit", File);
    Exit->SetShortCut(ShortCut(VK_F4, {ssAlt}));
    Lang = Item("&Languages");
    English = Item("English", Lang);
    German = Item("German", Lang);
    for (auto* i : {English, German}) {
      i->SetRadioItem(true);
      i->SetGroupIndex(1);
      i->SetAutoCheck(true);
    }
    English->SetChecked(true);
    Form.SetMenu(Menu);
  }
  TMenuItem* Item(const std::string& Caption, TMenuItem* Parent = nullptr) {
    auto* i = new TMenuItem(&Form);
    i->SetCaption(Caption);
    (Parent ? Parent : Menu->Items())->Add(i);
    i->OnClick = [this, Caption](TObject*) { Ran.push_back(Caption); };
    return i;
  }
};

TEST_F(UiTest, MenuBarTakesItsHeightFromTheClientArea) {
  MenuForm m;
  ShowAt(&m.Form, 300, 200);
  EXPECT_EQ(m.Form.ClientHeight(), 200 - GetSystemMetrics(SM_CYMENU));
  TPoint o = m.Form.ClientToScreen(Point(0, 0));
  EXPECT_EQ(o, Point(100, 100 + GetSystemMetrics(SM_CYMENU)));
}

TEST_F(UiTest, MenuDrivenByKeyboard) {
  MenuForm m;
  ShowAt(&m.Form, 300, 200);
  // Alt+F opens File with its first item selected; Down skips the separator... to Exit after Open.
  Headless::Key(&m.Form, 'F', {ssAlt});
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&File", "E&xit"}));
  EXPECT_FALSE(MenuIsTracking());

  // F10 selects the bar without opening File; Right moves along it, Down opens Languages on its first
  // item, Down and Enter pick German; the radio group keeps one check.
  m.Ran.clear();
  Headless::Key(&m.Form, VK_F10);
  Headless::KeyToTop(VK_RIGHT);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&Languages", "German"}));
  EXPECT_TRUE(m.German->Checked());
  EXPECT_FALSE(m.English->Checked());

  // Escape closes without running anything.
  m.Ran.clear();
  Headless::Key(&m.Form, 'F', {ssAlt});
  Headless::KeyToTop(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&File"}));
  EXPECT_FALSE(MenuIsTracking());
}

// An item chosen by its letter uses up that letter only: a character typed next that has no key of its
// own (a slash opening a path) reaches the field.
TEST_F(UiTest, CharacterAfterAMenuAcceleratorIsNotLost) {
  MenuForm m;
  auto* Edit = new TEdit(&m.Form);
  Edit->SetParent(&m.Form);
  Edit->SetBounds(10, 10, 200, 21);
  ShowAt(&m.Form, 300, 200);
  Edit->SetFocus();
  Headless::Key(&m.Form, 'F', {ssAlt});
  Headless::TypeToTop("o");
  Application->ProcessMessages();
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&File", "&Open..."}));
  Headless::Type(&m.Form, "/tmp");
  Application->ProcessMessages();
  EXPECT_EQ(Edit->Text(), "/tmp");
}

TEST_F(UiTest, MenuShortcutsRunTheirItemsAndSkipDisabledOnes) {
  MenuForm m;
  ShowAt(&m.Form, 300, 200);
  Headless::Key(&m.Form, 'O', {ssCtrl});
  Headless::Key(&m.Form, VK_F4, {ssAlt});
  Application->ProcessMessages();
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&Open...", "E&xit"}));
  m.Open->SetEnabled(false);
  m.Ran.clear();
  Headless::Key(&m.Form, 'O', {ssCtrl});
  Application->ProcessMessages();
  EXPECT_TRUE(m.Ran.empty());
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F4, {ssAlt})), "Alt+F4");
  EXPECT_EQ(TextToShortCut("Ctrl+O"), ShortCut('O', {ssCtrl}));
}

TEST_F(UiTest, MenuChosenByMouseInItsDropDown) {
  MenuForm m;
  ShowAt(&m.Form, 300, 200);
  TRect bar;
  ASSERT_TRUE(m.File->ItemRect(bar));
  // The drop-down opens under the bar item; its items start 3 pixels into it.
  Headless::MouseDown(&m.Form, bar.Left + 2, bar.Top + 2);
  Headless::MouseUp(&m.Form, bar.Left + 2, bar.Top + 2);
  // Once the drop-down is open (the menu loop goes idle), click Exit in its window.
  bool sent = false;
  Application->OnIdle = [&](TObject*, bool&) {
    if (sent || !MenuIsTracking()) return;
    sent = true;
    TRect pr, ir;
    ASSERT_TRUE(m.File->PopupWindowRect(pr));
    ASSERT_TRUE(m.Exit->ItemRect(ir));
    TCustomForm* popup = nullptr;
    for (int32_t i = 0; i < Screen->FormCount(); ++i)
      if (Screen->Forms(i)->BoundsRect() == pr && Screen->Forms(i) != &m.Form) popup = Screen->Forms(i);
    ASSERT_NE(popup, nullptr);
    Headless::MouseMove(popup, ir.Left + 5, ir.Top + 3);
    Headless::MouseDown(popup, ir.Left + 5, ir.Top + 3);
    Headless::MouseUp(popup, ir.Left + 5, ir.Top + 3);
  };
  Application->ProcessMessages();
  Application->OnIdle = nullptr;
  EXPECT_TRUE(sent);
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&File", "E&xit"}));
  EXPECT_FALSE(MenuIsTracking());
}

TEST_F(UiTest, PopupMenuOnRightClickAndOwnerDrawHooks) {
  TForm f(nullptr);
  auto* p = new TProbe(&f);
  p->SetParent(&f);
  p->SetBounds(0, 0, 100, 100);
  auto* pm = new TPopupMenu(&f);
  pm->SetOwnerDraw(true);
  std::vector<std::string> ran;
  int measured = 0, drawn = 0;
  for (const char* c : {"One", "Two"}) {
    auto* i = new TMenuItem(&f);
    i->SetCaption(c);
    i->OnClick = [&ran, c](TObject*) { ran.push_back(c); };
    i->OnMeasureItem = [&](TObject*, TCanvas*, int32_t& W, int32_t& H) {
      ++measured;
      W = 80;
      H = 20;
    };
    i->OnAdvancedDrawItem = [&](TObject*, TCanvas* C, const TRect& R, TOwnerDrawState) {
      ++drawn;
      EXPECT_EQ(R.Width(), 80);
      EXPECT_EQ(R.Height(), 20);
    };
    pm->Items()->Add(i);
  }
  bool popped = false;
  pm->OnPopup = [&](TObject*) { popped = true; };
  p->SetPopupMenu(pm);
  ShowAt(&f, 200, 200);
  Headless::Click(&f, 10, 10, TMouseButton::mbRight);
  // Keys once the popup has shown and painted.
  Application->OnIdle = [&](TObject*, bool&) {
    if (!MenuIsTracking() || Headless::PendingEvents() > 0) return;
    Headless::KeyToTop(VK_DOWN);
    Headless::KeyToTop(VK_DOWN);
    Headless::KeyToTop(VK_RETURN);
  };
  Application->ProcessMessages();
  Application->OnIdle = nullptr;
  EXPECT_TRUE(popped);
  EXPECT_EQ(measured, 2);
  EXPECT_GE(drawn, 2);
  EXPECT_EQ(ran, (std::vector<std::string>{"Two"}));
  EXPECT_EQ(pm->PopupComponent(), p);
}

TEST(MenuText, HotkeysAndStripping) {
  EXPECT_EQ(GetHotkey("&Open"), U'o');
  EXPECT_EQ(GetHotkey("Black && White"), 0u);
  EXPECT_EQ(GetHotkey("E&xit"), U'x');
  EXPECT_TRUE(IsAccel('X', "E&xit"));
  EXPECT_EQ(StripHotkey("Black && &White"), "Black & White");
}

}  // namespace
