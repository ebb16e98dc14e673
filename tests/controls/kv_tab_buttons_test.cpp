// The scroller, close and menu buttons at the end of a tab strip.
#include <filesystem>

#include "tests/controls/kv_tab_fixture.h"

namespace {

class KvTabButtonsTest : public KvTabTest {
 protected:
  // A single-row strip far too short for its tabs.
  TKvCustomTabControl* Scrolling(TKvTabOrientation Side = TKvTabOrientation::toTop) {
    const bool lr = Side == TKvTabOrientation::toLeft || Side == TKvTabOrientation::toRight;
    std::vector<std::string> captions;
    for (int i = 0; i < 12; ++i) captions.push_back("TAB" + std::to_string(i));
    auto* T = AddTabs(captions, lr ? 80 : 160, lr ? 200 : 80);
    T->SetTabOrientation(Side);
    T->SetShowShadow(false);
    ShowForm();
    return T;
  }
  void Down(TControl* C, int32_t X, int32_t Y) {
    TPoint p = At(C, X, Y);
    Headless::MouseDown(Form.get(), p.X, p.Y);
    Application->ProcessMessages();
  }
  void Move(TControl* C, int32_t X, int32_t Y) {
    TPoint p = At(C, X, Y);
    Headless::MouseMove(Form.get(), p.X, p.Y);
    Application->ProcessMessages();
  }
  void Up(TControl* C, int32_t X, int32_t Y) {
    TPoint p = At(C, X, Y);
    Headless::MouseUp(Form.get(), p.X, p.Y);
    Application->ProcessMessages();
  }
  // Black (enabled arrow) pixels in a part of a control as the window shows it.
  int32_t BlackPixels(TControl* C, const TRect& R) {
    TBitmap shot;
    if (!Headless::Snapshot(Form.get(), shot)) return -1;
    int32_t n = 0;
    for (int32_t y = R.Top; y < R.Bottom; ++y)
      for (int32_t x = R.Left; x < R.Right; ++x) {
        TPoint p = At(C, x, y);
        if (shot.Canvas()->Pixels(p.X, p.Y) == clBlack) ++n;
      }
    return n;
  }
  void Wait(uint64_t Ms) {
    AdvanceUiClock(Ms);
    Application->ProcessMessages();
  }
};

TEST_F(KvTabButtonsTest, AShortClickScrollsOneTabAtTheRelease) {
  auto* T = Scrolling();
  TKvTabScroller* S = T->Scroller();
  ASSERT_NE(S, nullptr);
  const int32_t w = S->Width(), h = S->Height();
  // At the start the back half is drawn disabled.
  EXPECT_EQ(BlackPixels(S, TRect(0, 0, w / 2, h)), 0);
  EXPECT_GT(BlackPixels(S, TRect(w / 2, 0, w, h)), 0);
  Down(S, w - 3, h / 2);
  EXPECT_EQ(T->FirstShownTab(), 0);
  EXPECT_TRUE(S->PressedInside());
  Up(S, w - 3, h / 2);
  EXPECT_EQ(T->FirstShownTab(), 1);
  EXPECT_GT(BlackPixels(S, TRect(0, 0, w / 2, h)), 0);
  // The back half goes back, and does nothing at the start.
  Down(S, 2, h / 2);
  Up(S, 2, h / 2);
  EXPECT_EQ(T->FirstShownTab(), 0);
  Down(S, 2, h / 2);
  Up(S, 2, h / 2);
  EXPECT_EQ(T->FirstShownTab(), 0);
}

TEST_F(KvTabButtonsTest, HoldingAHalfRepeatsWhileThePointerStaysInIt) {
  UseTestUiClock(true);
  auto* T = Scrolling();
  TKvTabScroller* S = T->Scroller();
  const int32_t w = S->Width(), h = S->Height();
  Down(S, w - 3, h / 2);
  Wait(399);
  EXPECT_EQ(T->FirstShownTab(), 0);
  Wait(1);
  EXPECT_EQ(T->FirstShownTab(), 1);  // first repeat after 400 ms
  Wait(100);
  EXPECT_EQ(T->FirstShownTab(), 2);  // then every 100 ms
  Move(S, 2, h / 2);                 // into the other half: shown unpressed, paused
  EXPECT_FALSE(S->PressedInside());
  Wait(100);
  EXPECT_EQ(T->FirstShownTab(), 2);
  Move(S, w - 3, h / 2);
  Wait(100);
  EXPECT_EQ(T->FirstShownTab(), 3);
  Move(S, w + 30, h / 2);
  Up(S, w + 30, h / 2);  // released outside: no more scrolling
  Wait(500);
  EXPECT_EQ(T->FirstShownTab(), 3);
}

TEST_F(KvTabButtonsTest, AVerticalScrollerKeepsItsPressedHalf) {
  auto* T = Scrolling(TKvTabOrientation::toLeft);
  TKvTabScroller* S = T->Scroller();
  ASSERT_NE(S, nullptr);
  ASSERT_EQ(S->Orientation(), TOrientation::orVertical);
  const int32_t w = S->Width(), h = S->Height();
  EXPECT_GT(h, w);
  Down(S, w / 2, h - 2);
  EXPECT_FALSE(S->UpRightPressed());
  Move(S, 1, h / 2 + 1);
  EXPECT_TRUE(S->PressedInside());
  Move(S, w / 2, h / 2);
  EXPECT_FALSE(S->PressedInside());
  Move(S, w / 2, h - 1);
  // The bottom half of left tabs scrolls back in the standard sequence: nothing to do at the start.
  Up(S, w / 2, h - 1);
  EXPECT_EQ(T->FirstShownTab(), 0);
  Down(S, w / 2, 1);
  Up(S, w / 2, 1);
  EXPECT_EQ(T->FirstShownTab(), 1);
}

TEST_F(KvTabButtonsTest, TheCloseButtonAsksBeforeClosing) {
  auto* PC = new TKvPageControl(Form.get());
  PC->SetParent(Form.get());
  PC->SetBounds(10, 10, 300, 150);
  for (int i = 0; i < 2; ++i) {
    auto* s = new TKvTabSheet(Form.get());
    s->SetCaption("P" + std::to_string(i));
    s->SetPageControl(PC);
  }
  PC->SetActivePageIndex(1);
  PC->SetShowCloseButton(true);
  ShowForm();
  TKvTabCloseButton* B = PC->CloseButton();
  ASSERT_NE(B, nullptr);
  EXPECT_TRUE(B->Visible());
  EXPECT_EQ(B->Width(), PC->ButtonSize());
  int asked = 0;
  bool allow = false;
  PC->OnClose = [&](TObject*, bool& a) {
    ++asked;
    a = allow;
  };
  auto click = [&] {
    Down(B, 3, 3);
    Up(B, 3, 3);
  };
  click();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(PC->PageCount(), 2);
  allow = true;
  Down(B, 3, 3);
  Move(B, 40, 40);
  EXPECT_FALSE(B->PressedInside());
  EXPECT_TRUE(B->MouseIsDown());
  Up(B, 40, 40);  // released outside: nothing
  EXPECT_EQ(asked, 1);
  click();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(PC->PageCount(), 1);
  // Without a current tab the button still asks, and nothing closes.
  PC->SetTabIndex(-1);
  click();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(PC->PageCount(), 1);
}

TEST_F(KvTabButtonsTest, TheMenuListsVisibleTabsAndSelectsThroughTheVeto) {
  TImageList images(nullptr);
  auto* T = AddTabs({"A", "B", "C", "D"});
  T->SetImages(&images);
  T->Tabs()->Items(1)->Visible = false;
  T->Tabs()->Items(2)->Enabled = false;
  T->Tabs()->Items(2)->ImageIndex = 4;
  T->Tabs()->Items(2)->DisabledIndex = 5;
  T->Tabs()->Items(3)->ImageIndex = 6;
  T->SetTabIndex(3);
  T->SetShowMenuButton(true);
  TKvTabMenuButton* M = T->MenuButton();
  ASSERT_NE(M, nullptr);
  M->BuildMenu();
  TMenuItem* root = M->Menu()->Items();
  ASSERT_EQ(root->Count(), 3);
  EXPECT_EQ(root->Items(0)->Caption(), "A");
  EXPECT_EQ(root->Items(1)->Caption(), "C");
  EXPECT_FALSE(root->Items(1)->Enabled());
  EXPECT_EQ(root->Items(1)->ImageIndex(), 5);
  EXPECT_EQ(root->Items(2)->ImageIndex(), 6);
  EXPECT_TRUE(root->Items(2)->Checked());
  EXPECT_FALSE(root->Items(0)->Checked());
  EXPECT_EQ(M->Menu()->Images(), &images);
  T->OnChanging = [](TObject*, int32_t, bool& allow) { allow = false; };
  root->Items(0)->Click();
  EXPECT_EQ(T->TabIndex(), 3);
  T->OnChanging = nullptr;
  root->Items(0)->Click();
  EXPECT_EQ(T->TabIndex(), 0);
  // Rebuilding replaces the items.
  M->BuildMenu();
  EXPECT_EQ(root->Count(), 3);
}

TEST_F(KvTabButtonsTest, TabsFollowTheirImageList) {
  auto* images = new TImageList(nullptr);
  auto* T = AddTabs({"A", "B"});
  T->Tabs()->Items(0)->ImageIndex = 0;
  T->SetImages(images);
  ShowForm();
  ASSERT_FALSE(Form->NeedsPaint());
  images->SetWidth(30);  // a change of the list repaints the tabs
  EXPECT_TRUE(Form->NeedsPaint());
  Application->ProcessMessages();
  delete images;  // the control forgets a list that goes
  EXPECT_EQ(T->Images(), nullptr);
  Application->ProcessMessages();
}

TEST_F(KvTabButtonsTest, ScreenshotOfTheButtonsOnEverySide) {
  SetTestFontMode(false);
  std::filesystem::create_directories("screenshots");
  Form->SetBounds(0, 0, 4 * 210 + 10, 230);
  const TKvTabOrientation sides[] = {TKvTabOrientation::toTop, TKvTabOrientation::toLeft,
                                     TKvTabOrientation::toBottom, TKvTabOrientation::toRight};
  for (int o = 0; o < 4; ++o) {
    std::vector<std::string> captions;
    for (int i = 0; i < 8; ++i) captions.push_back("Tab " + std::to_string(i));
    auto* T = AddTabs(captions, 200, 220);
    T->SetBounds(5 + o * 210, 5, 200, 220);
    T->SetTabOrientation(sides[o]);
    T->SetShowCloseButton(true);
    T->SetShowMenuButton(true);
    T->SetTabIndex(1);
  }
  ShowForm();
  ASSERT_TRUE(Headless::SaveWindowPng(Form.get(), "screenshots/tabs_buttons.png"));
}

}  // namespace
