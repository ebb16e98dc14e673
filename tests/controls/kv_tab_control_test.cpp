// Changing the current tab by mouse, keyboard, accelerator and program; hot tracking and hints.
#include "tests/controls/kv_tab_fixture.h"

namespace {

using TO = TKvTabOrientation;

// Records the events of a tab control in the order they fire.
struct TEventLog {
  std::vector<std::string> Seen;
  std::vector<int32_t> Vetoed;
  void Attach(TKvCustomTabControl* T) {
    T->OnChanging = [this](TObject*, int32_t i, bool& allow) {
      Seen.push_back("changing " + std::to_string(i));
      if (std::find(Vetoed.begin(), Vetoed.end(), i) != Vetoed.end()) allow = false;
    };
    T->OnChange = [this](TObject*) { Seen.push_back("change"); };
    T->OnPageChange = [this](TObject*) { Seen.push_back("page"); };
    T->OnTabClick = [this](TObject*) { Seen.push_back("click"); };
  }
  std::vector<std::string> Take() { return std::exchange(Seen, {}); }
};

using Strings = std::vector<std::string>;

TEST_F(KvTabTest, EventOrderOfClicksKeysAndProgramWithVeto) {
  auto* T = AddTabs({"AAAA", "BBBB", "CCCC"});
  T->SetTabIndex(0);
  ShowForm();
  TEventLog log;
  log.Attach(T);
  log.Vetoed = {2};

  Click(TabCentre(T, 1));
  EXPECT_EQ(T->TabIndex(), 1);
  EXPECT_EQ(log.Take(), (Strings{"changing 1", "change", "page", "click"}));
  Click(TabCentre(T, 2));  // vetoed: nothing else fires
  EXPECT_EQ(T->TabIndex(), 1);
  EXPECT_EQ(log.Take(), (Strings{"changing 2"}));

  // The keyboard walks past the vetoed tab.
  T->SetFocus();
  Headless::Key(Form.get(), VK_RIGHT);
  Application->ProcessMessages();
  EXPECT_EQ(T->TabIndex(), 0);
  EXPECT_EQ(log.Take(), (Strings{"changing 2", "changing 0", "change", "page", "click"}));

  T->SetTabIndex(1);
  EXPECT_EQ(log.Take(), (Strings{"changing 1", "change", "page"}));
  T->SetTabIndex(1);  // the same tab again fires nothing
  T->SetTabIndex(7);  // out of range: no current tab, no events
  EXPECT_EQ(T->TabIndex(), -1);
  EXPECT_TRUE(log.Take().empty());
}

TEST_F(KvTabTest, KeysSkipDisabledTabsAndFollowTheSide) {
  auto* T = AddTabs({"AAAA", "BBBB", "CCCC", "DDDD"}, 300, 200);
  T->Tabs()->Items(1)->Enabled = false;
  T->Tabs()->Items(2)->Enabled = false;
  T->SetTabIndex(0);
  ShowForm();
  T->SetFocus();
  auto key = [&](uint16_t k) {
    Headless::Key(Form.get(), k);
    Application->ProcessMessages();
    return T->TabIndex();
  };
  EXPECT_EQ(key(VK_RIGHT), 3);
  EXPECT_EQ(key(VK_RIGHT), 0);  // past the end to the start
  EXPECT_EQ(key(VK_UP), 3);
  EXPECT_EQ(key(VK_HOME), 0);
  EXPECT_EQ(key(VK_END), 3);
  // On the left the strip runs upwards: Up goes on, Home goes to the far end.
  T->SetTabOrientation(TO::toLeft);
  EXPECT_EQ(key(VK_DOWN), 0);
  EXPECT_EQ(key(VK_UP), 3);
  EXPECT_EQ(key(VK_HOME), 3);
  EXPECT_EQ(key(VK_END), 0);
  // With every other tab disabled an arrow changes nothing and fires nothing.
  T->Tabs()->Items(3)->Enabled = false;
  TEventLog log;
  log.Attach(T);
  EXPECT_EQ(key(VK_RIGHT), 0);
  EXPECT_TRUE(log.Seen.empty());
}

TEST_F(KvTabTest, OnlyAClickOnTheCurrentTabTakesTheFocus) {
  auto* T = AddTabs({"AAAA", "BBBB"});
  auto* Other = new TKvCustomTabControl(Form.get());
  Other->SetParent(Form.get());
  Other->SetBounds(10, 200, 100, 50);
  T->SetTabIndex(0);
  ShowForm();
  Other->SetFocus();
  Click(TabCentre(T, 1));
  EXPECT_EQ(T->TabIndex(), 1);
  EXPECT_TRUE(Other->Focused());
  Click(TabCentre(T, 1));
  EXPECT_TRUE(T->Focused());

  // Without TabStop the current tab is clicked without taking the focus.
  Other->SetFocus();
  T->SetTabStop(false);
  TEventLog log;
  log.Attach(T);
  Click(TabCentre(T, 1));
  EXPECT_TRUE(Other->Focused());
  EXPECT_EQ(log.Take(), (Strings{"click"}));
}

TEST_F(KvTabTest, TheLargerCurrentRoundTabWinsWhereNeighboursOverlap) {
  auto* T = AddTabs({"A", "A"});
  T->SetTabStyle(TKvTabStyle::tsRoundCorners);
  T->SetTabOverlap(4);
  T->SetTabIndex(1);
  T->UpdateLayout();
  const TRect a = T->TabClientRect(0), b = T->TabClientRect(1);
  ASSERT_LT(b.Left, a.Right);
  const TPoint p((b.Left + a.Right) / 2, a.Bottom - 3);
  EXPECT_EQ(T->TabAtPoint(p.X, p.Y), 1);
  T->SetTabIndex(0);
  EXPECT_EQ(T->TabAtPoint(p.X, p.Y), 0);
}

TEST_F(KvTabTest, HotTrackingEndsWithinATimerTickOfLeaving) {
  UseTestUiClock(true);
  auto* T = AddTabs({"AAAA", "BBBB"});
  T->SetTabIndex(0);
  ShowForm();
  TPoint p = TabCentre(T, 1);
  Headless::MouseMove(Form.get(), p.X, p.Y);
  Application->ProcessMessages();
  EXPECT_EQ(T->HotTab(), 1);
  EXPECT_TRUE(T->HotRepaint());
  Headless::MouseMove(Form.get(), 600, 400);  // off the control: it hears nothing
  Application->ProcessMessages();
  EXPECT_EQ(T->HotTab(), 1);
  AdvanceUiClock(61);
  Application->ProcessMessages();
  EXPECT_EQ(T->HotTab(), -1);
}

TEST_F(KvTabTest, TabHintsShowEachTabsHintAndKeepTheLastForEmptyOnes) {
  auto* T = new TKvCustomTabControl(Form.get());
  T->BeginLoading();
  T->SetHint("strip");
  T->EndLoading();  // the hint it has when loaded is its own
  T->SetParent(Form.get());
  T->SetBounds(10, 10, 300, 100);
  for (const char* c : {"AAAA", "BBBB", "CCCC"}) {
    auto* d = new TKvTabData;
    d->Caption = c;
    T->Tabs()->Add(d);
  }
  T->TabsChanged();
  T->SetTabHints(true);
  T->Tabs()->Items(0)->Hint = "first";
  ShowForm();
  auto hover = [&](int i) {
    TPoint p = TabCentre(T, i);
    Headless::MouseMove(Form.get(), p.X, p.Y);
    Application->ProcessMessages();
    return T->Hint();
  };
  EXPECT_EQ(hover(0), "first");
  EXPECT_EQ(hover(1), "first");
  // The card shows the control's own hint again.
  TPoint card = At(T, 150, 60);
  Headless::MouseMove(Form.get(), card.X, card.Y);
  Application->ProcessMessages();
  EXPECT_EQ(T->Hint(), "strip");
}

TEST_F(KvTabTest, AnAcceleratorSelectsItsTabAndFocusesTheControl) {
  auto* T = AddTabs({"One", "Two", "&Three"});
  T->SetTabIndex(0);
  ShowForm();
  TEventLog log;
  log.Attach(T);
  EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, 'x', 0), 0);
  EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, 't', 0), 1);
  EXPECT_EQ(T->TabIndex(), 2);
  EXPECT_TRUE(T->Focused());
  EXPECT_EQ(log.Take(), (Strings{"changing 2", "change", "page", "click"}));
  T->Tabs()->Items(2)->Enabled = false;
  T->SetTabIndex(0);
  EXPECT_EQ(Form->Perform(CM_DIALOGCHAR, 't', 0), 0);
}

TEST_F(KvTabTest, CaptionsSplitAndMeasureWithoutTheirAcceleratorMark) {
  auto* T = AddTabs({"A"});
  std::vector<std::string> lines;
  TKvCustomTabControl::SplitCaption("one\r\ntwo\r\n", lines);
  EXPECT_EQ(lines, (Strings{"one", "two"}));
  TKvCustomTabControl::SplitCaption("word\r\n", lines);
  EXPECT_EQ(lines, (Strings{"word"}));
  TKvCustomTabControl::SplitCaption("", lines);
  EXPECT_TRUE(lines.empty());
  T->SelectRotatedFont();
  EXPECT_EQ(T->MeasureLine("&Ab", true), TSize(14, 11));
  EXPECT_EQ(T->MeasureLine("A&&b", true), TSize(21, 11));
  EXPECT_EQ(T->MeasureLine("Ab&", true), TSize(21, 11));  // a lone mark at the end is measured
  EXPECT_EQ(T->MeasureLine("Ab", false), TSize(11, 14));
  // Lines stack downwards for horizontal text and stand side by side for vertical text.
  EXPECT_EQ(T->TextExtent("AAA\r\nB", true), TSize(21, 22));
  EXPECT_EQ(T->TextExtent("AAA\r\nB", false), TSize(22, 21));
  T->RestoreFont();
}

}  // namespace
