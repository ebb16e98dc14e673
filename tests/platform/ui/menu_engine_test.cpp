// The menu engine's hooks for owner-drawn menus: bar states, the lone Alt, popup windows that
// owner code shapes and moves, and sub-menus that open on the left.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/menus.h"
#include "tests/platform/ui/ui_fixture.h"

namespace {

struct OwnerDrawn {
  TForm Form{nullptr};
  TMainMenu* Menu;
  TMenuItem *File, *Open, *Sub, *Inner, *Help;
  std::vector<std::string> Ran;
  std::map<std::string, TOwnerDrawState> States;  // last state each item was painted in
  std::map<std::string, bool> OnPopup;            // whether the canvas belonged to a popup window
  std::function<void(TMenuItem*, TCanvas*)> Extra;

  OwnerDrawn() {
    Menu = new TMainMenu(&Form);
    Menu->SetOwnerDraw(true);
    File = Item("&File");
    Open = Item("&Open", File);
    Sub = Item("&Sub", File);
    Inner = Item("&Inner", Sub);
    Help = Item("&Help");
    Form.SetMenu(Menu);
  }
  TMenuItem* Item(const std::string& Caption, TMenuItem* Parent = nullptr) {
    auto* i = new TMenuItem(&Form);
    i->SetCaption(Caption);
    (Parent ? Parent : Menu->Items())->Add(i);
    i->OnClick = [this, Caption](TObject*) { Ran.push_back(Caption); };
    i->OnMeasureItem = [](TObject*, TCanvas*, int32_t& W, int32_t& H) {
      W = 60;
      H = 18;
    };
    i->OnAdvancedDrawItem = [this, i, Caption](TObject*, TCanvas* C, const TRect& R, TOwnerDrawState S) {
      States[Caption] = S;
      OnPopup[Caption] = MenuPopupOfCanvas(C) != nullptr;
      TBrush b;
      b.SetColor(S.Contains(odSelected) ? clNavy : S.Contains(odHotLight) ? clTeal : clSilver);
      FillRect(C, R, b);
      if (Extra) Extra(i, C);
    };
    return i;
  }
};

class MenuEngineTest : public UiTest {
 protected:
  static std::vector<TCustomForm*> Popups() { return MenuPopupForms(); }
  static void WhenIdle(const std::vector<std::function<void()>>& Steps) {
    EXPECT_EQ(Headless::WhileMenuOpen(Steps), Steps.size());
  }
};

TEST_F(MenuEngineTest, PointerLightsBarItemsAndPaintsThemInTheirState) {
  OwnerDrawn m;
  ShowAt(&m.Form, 300, 200);
  EXPECT_TRUE(m.States["&File"].Empty());
  EXPECT_FALSE(m.OnPopup["&File"]);
  Headless::MouseMove(&m.Form, 70, 5);
  Application->ProcessMessages();
  EXPECT_TRUE(m.States["&Help"].Contains(odHotLight));
  EXPECT_EQ(Headless::PixelAt(&m.Form, 70, 5), clTeal);
  Headless::MouseMove(&m.Form, 70, 100);
  Application->ProcessMessages();
  EXPECT_FALSE(m.States["&Help"].Contains(odHotLight));
  EXPECT_EQ(Headless::PixelAt(&m.Form, 70, 5), clSilver);
}

TEST_F(MenuEngineTest, LoneAltHoldsTheBarForTheKeyboard) {
  OwnerDrawn m;
  ShowAt(&m.Form, 300, 200);
  Headless::KeyDown(&m.Form, VK_MENU, {ssAlt});
  Headless::KeyUp(&m.Form, VK_MENU);
  WhenIdle({[&] {
              EXPECT_TRUE(Popups().empty());
              EXPECT_TRUE(m.States["&File"].Contains(odHotLight));
              Headless::KeyToTop(VK_RIGHT);
            },
            [&] {
              EXPECT_TRUE(m.States["&Help"].Contains(odHotLight));
              EXPECT_FALSE(m.States["&File"].Contains(odHotLight));
              Headless::KeyToTop(VK_LEFT);
              Headless::KeyToTop(VK_DOWN);
            },
            [&] {
              EXPECT_EQ(Popups().size(), 1u);
              EXPECT_TRUE(m.States["&File"].Contains(odSelected));
              EXPECT_TRUE(m.OnPopup["&Open"]);
              Headless::KeyToTop(VK_RETURN);
            }});
  EXPECT_EQ(m.Ran, (std::vector<std::string>{"&File", "&Open"}));
  EXPECT_FALSE(MenuIsTracking());

  // Alt with a key between is no tap; a second lone Alt leaves the bar.
  Headless::Key(&m.Form, 'Q', {ssAlt});
  Headless::KeyUp(&m.Form, VK_MENU);
  Application->ProcessMessages();
  EXPECT_FALSE(MenuIsTracking());
  Headless::KeyDown(&m.Form, VK_MENU, {ssAlt});
  Headless::KeyUp(&m.Form, VK_MENU);
  Headless::KeyToTop(VK_MENU, {ssAlt});
  Application->ProcessMessages();
  EXPECT_FALSE(MenuIsTracking());
  EXPECT_EQ(m.Ran.size(), 2u);
}

TEST_F(MenuEngineTest, OwnerCodeShapesMovesAndHearsItsPopupWindow) {
  OwnerDrawn m;
  ShowAt(&m.Form, 300, 200);
  std::vector<uint32_t> Heard;
  TRect Whole;
  m.Extra = [&](TMenuItem* It, TCanvas* C) {
    TMenuPopupWindow* W = MenuPopupOfCanvas(C);
    if (!W || It != m.Open) return;
    W->PaintWindow([](TCanvas* Win) {
      TBrush b;
      b.SetColor(clRed);
      FillRect(Win, Rect(1, 1, 2, 2), b);
    });
    if (W->UserData) return;
    EXPECT_EQ(W->ParentItem(), m.File);
    Whole = W->WindowRect();
    W->UserData = W->MenuWindowProc;
    W->MenuWindowProc = [&Heard](TMenuPopupWindow* Win, uint32_t Msg, uintptr_t WP, intptr_t LP) -> intptr_t {
      Heard.push_back(Msg);
      if (Msg == WM_ERASEBKGND) return 1;
      return Win->UserData(Win, Msg, WP, LP);
    };
    TRect Region(1, 1, Whole.Width() - 5, Whole.Height() - 1);
    W->SetWindowRegion(&Region);
    W->MoveWindow(Whole.Left + 10, Whole.Top + 20);
  };
  Headless::Key(&m.Form, 'F', {ssAlt});
  WhenIdle({[&] {
    auto P = Popups();
    ASSERT_EQ(P.size(), 1u);
    // The window shows only the region, at the place it was moved to.
    EXPECT_EQ(P[0]->BoundsRect(), Rect(Whole.Left + 11, Whole.Top + 21, Whole.Left + 10 + Whole.Width() - 5,
                                       Whole.Top + 20 + Whole.Height() - 1));
    EXPECT_EQ(Headless::PixelAt(P[0], 0, 0), clRed);
    // Items keep their place in the whole window: the first starts 3 pixels in, 2 into the region.
    EXPECT_EQ(Headless::PixelAt(P[0], 2, 2), clNavy);
    TRect open;
    ASSERT_TRUE(m.Open->ScreenRect(open));
    EXPECT_EQ(open.Left, Whole.Left + 10 + 3);
    Headless::KeyToTop(VK_ESCAPE);
  }});
  ASSERT_GE(Heard.size(), 3u);
  EXPECT_EQ(Heard[Heard.size() - 2], static_cast<uint32_t>(WM_SHOWWINDOW));
  EXPECT_EQ(Heard.back(), static_cast<uint32_t>(WM_DESTROY));
  EXPECT_NE(std::find(Heard.begin(), Heard.end(), static_cast<uint32_t>(WM_ERASEBKGND)), Heard.end());
}

TEST_F(MenuEngineTest, SubMenuWithoutRoomOnTheRightOpensOnTheLeft) {
  OwnerDrawn m;
  TRect Scr = Application->Backend()->ScreenRect();
  m.Form.SetBounds(Scr.Right - 100, 100, 100, 100);
  m.Form.Show();
  Application->ProcessMessages();
  Headless::Key(&m.Form, 'F', {ssAlt});
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RIGHT);
  WhenIdle({[&] {
    TRect drop, sub;
    ASSERT_TRUE(m.File->PopupWindowRect(drop));
    ASSERT_TRUE(m.Sub->PopupWindowRect(sub));
    EXPECT_EQ(sub.Right, drop.Left + 3);
    EXPECT_LE(drop.Right, Scr.Right);
    Headless::KeyToTop(VK_ESCAPE);
    Headless::KeyToTop(VK_ESCAPE);
  }});
  EXPECT_FALSE(MenuIsTracking());
}

}  // namespace
