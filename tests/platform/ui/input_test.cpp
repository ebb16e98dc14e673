// Hints, cursors, the wheel and the caret.
#include <gtest/gtest.h>

#include "platform/ui/ui_internal.h"
#include "tests/platform/ui/ui_fixture.h"

namespace {

TEST_F(UiTest, HintShowsAfterThePauseAndGoesOnMoveOrClick) {
  TForm f(nullptr);
  auto* p = new TProbe(&f);
  p->SetParent(&f);
  p->SetBounds(10, 10, 50, 50);
  p->SetHint("Zoom in");
  p->SetShowHint(true);
  auto* q = new TProbe(&f);
  q->SetParent(&f);
  q->SetBounds(100, 10, 50, 50);
  ShowAt(&f, 200, 100);
  Headless::MouseMove(&f, 20, 20);
  Application->ProcessMessages();
  EXPECT_EQ(Application->ShownHint(), "");
  AdvanceUiClock(Application->HintPause());
  Application->ProcessMessages();
  EXPECT_EQ(Application->ShownHint(), "Zoom in");
  ASSERT_NE(HintWindow(), nullptr);
  EXPECT_TRUE(f.Active());  // the hint does not take the activation
  Headless::MouseMove(&f, 110, 20);
  Application->ProcessMessages();
  EXPECT_EQ(HintWindow(), nullptr);
  // Back on p: shown again, then gone on a click.
  Headless::MouseMove(&f, 20, 20);
  Application->ProcessMessages();
  AdvanceUiClock(Application->HintPause());
  Application->ProcessMessages();
  EXPECT_NE(HintWindow(), nullptr);
  Headless::Click(&f, 20, 20);
  Application->ProcessMessages();
  EXPECT_EQ(HintWindow(), nullptr);
}

TEST_F(UiTest, CursorComesFromTheControlTheScreenOverrideOrACustomImage) {
  TForm f(nullptr);
  auto* p = new TProbe(&f);
  p->SetParent(&f);
  p->SetBounds(10, 10, 50, 50);
  p->SetCursor(1785);
  auto img = std::make_shared<TCursorImage>();
  img->Width = img->Height = 2;
  img->Pixels.assign(4, 0xFF000000u);
  Screen->SetCursors(1785, img);
  ShowAt(&f, 200, 100);
  Headless::MouseMove(&f, 20, 20);
  Application->ProcessMessages();
  EXPECT_EQ(Screen->ShownCursor(), 1785);
  EXPECT_EQ(Screen->Cursors(1785), img);
  Headless::MouseMove(&f, 150, 50);
  Application->ProcessMessages();
  EXPECT_EQ(Screen->ShownCursor(), crArrow);
  Screen->SetCursor(crHourGlass);
  Headless::MouseMove(&f, 20, 20);
  Application->ProcessMessages();
  EXPECT_EQ(Screen->ShownCursor(), crHourGlass);
  Screen->SetCursor(crDefault);
  Screen->SetCursors(1785, nullptr);
}

TEST_F(UiTest, WheelGoesToTheControlUnderThePointerThenItsParents) {
  TForm f(nullptr);
  auto* outer = new TProbe(&f);
  outer->SetParent(&f);
  outer->SetBounds(0, 0, 100, 100);
  auto* inner = new TProbe(&f);
  inner->SetParent(outer);
  inner->SetBounds(10, 10, 30, 30);
  std::vector<std::string> got;
  TPoint where;
  outer->OnMouseWheel = [&](TObject*, TShiftState S, int32_t D, TPoint P, bool& H) {
    got.push_back("outer " + std::to_string(D) + (S.Contains(ssCtrl) ? " ctrl" : ""));
    where = P;
    H = true;
  };
  inner->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& H) {
    got.push_back("inner down");
    H = true;
  };
  ShowAt(&f, 200, 200);
  Headless::Wheel(&f, 20, 20, 1, {ssCtrl});  // away from the user: inner lets it pass
  Headless::Wheel(&f, 20, 20, -1);
  Application->ProcessMessages();
  EXPECT_EQ(got, (std::vector<std::string>{"outer 120 ctrl", "inner down"}));
  EXPECT_EQ(where, Point(120, 120));  // screen coordinates, as the platform gives them
}

TEST_F(UiTest, CaretInvertsItsRectangleInTheFocusedWindow) {
  TForm f(nullptr);
  auto* p = new TProbe(&f, clWhite);
  p->SetParent(&f);
  p->SetBounds(10, 10, 50, 50);
  ShowAt(&f, 100, 100);
  ASSERT_TRUE(CreateCaret(p->Handle(), 1, 10));
  SetCaretPos(5, 5);
  ShowCaret(p->Handle());
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(&f, 15, 15), clBlack);
  EXPECT_EQ(Headless::PixelAt(&f, 16, 15), clWhite);
  HideCaret(p->Handle());
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(&f, 15, 15), clWhite);
  DestroyCaret();
}

TEST_F(UiTest, KeyStateFollowsInjectedModifiersAndButtons) {
  TForm f(nullptr);
  ShowAt(&f, 100, 100);
  Headless::MouseDown(&f, 5, 5, TMouseButton::mbLeft, {ssShift});
  Application->ProcessMessages();
  EXPECT_LT(GetKeyState(VK_LBUTTON), 0);
  EXPECT_LT(GetAsyncKeyState(VK_SHIFT), 0);
  Headless::MouseUp(&f, 5, 5);
  Application->ProcessMessages();
  EXPECT_EQ(GetKeyState(VK_LBUTTON), 0);
  EXPECT_EQ(GetKeyState(VK_SHIFT), 0);
}

// Work queued while input is handled runs once every queued input is handled, before painting; the
// input's handlers see it waiting, the work itself does not run as input.
TEST_F(UiTest, WorkAfterInputRunsOnceTheQueuedInputIsHandled) {
  TForm f(nullptr);
  ShowAt(&f, 100, 100);
  f.SetKeyPreview(true);
  std::vector<std::string> Log;
  f.OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) {
    Log.push_back("key");
    EXPECT_TRUE(Application->HandlingInput());
    if (Log.size() == 1)
      Application->QueueAfterInput([&] {
        EXPECT_FALSE(Application->HandlingInput());
        Log.push_back("work");
      });
  };
  for (int i = 0; i < 3; ++i) Headless::KeyDown(&f, VK_RIGHT);
  EXPECT_FALSE(Application->HandlingInput());
  Application->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"key", "key", "key", "work"}));
  // Without input waiting it runs at the next turn of the loop.
  Application->QueueAfterInput([&] { Log.push_back("later"); });
  Application->ProcessMessages();
  EXPECT_EQ(Log.back(), "later");
}

}  // namespace
