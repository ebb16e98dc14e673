// Pages of a page control: membership, order, selection, closing, colours, loading and Ctrl+Tab.
#include "tests/controls/kv_tab_fixture.h"

namespace {

class KvPageTest : public KvTabTest {
 protected:
  TKvPageControl* AddPages(int32_t N) {
    PC = new TKvPageControl(Form.get());
    PC->SetParent(Form.get());
    PC->SetBounds(10, 10, 300, 200);
    for (int32_t i = 0; i < N; ++i) {
      auto* S = new TKvTabSheet(Form.get());
      S->SetCaption("Page" + std::to_string(i));
      S->SetPageControl(PC);
      Sheets.push_back(S);
    }
    return PC;
  }
  // A focusable control on page i.
  TKvCustomTabControl* Inner(int32_t i) {
    auto* c = new TKvCustomTabControl(Form.get());
    c->SetParent(Sheets[size_t(i)]);
    c->SetBounds(5, 5, 60, 40);
    return c;
  }
  void Shown(std::vector<bool> Expect) {
    std::vector<bool> v;
    for (auto* s : Sheets) v.push_back(s->Visible());
    EXPECT_EQ(v, Expect);
  }
  TKvPageControl* PC = nullptr;
  std::vector<TKvTabSheet*> Sheets;
};

using Strings = std::vector<std::string>;

TEST_F(KvPageTest, SelectingATabShowsItsPageOnly) {
  AddPages(3);
  PC->SetActivePage(Sheets[0]);
  ShowForm();
  Shown({true, false, false});
  Strings log;
  PC->OnChanging = [&](TObject*, int32_t i, bool&) {
    log.push_back("changing " + std::to_string(i) + " active " + std::to_string(PC->ActivePageIndex()));
  };
  PC->OnChange = [&](TObject*) { log.push_back("change " + std::to_string(PC->ActivePageIndex())); };
  Click(TabCentre(PC, 2));
  EXPECT_EQ(PC->ActivePage(), Sheets[2]);
  EXPECT_EQ(PC->TabIndex(), 2);
  Shown({false, false, true});
  // The page switches inside the veto question, before the change is announced.
  EXPECT_EQ(log, (Strings{"changing 2 active 0", "change 2"}));
  // The page fills the card inside its frame.
  EXPECT_EQ(Sheets[2]->BoundsRect(), PC->DisplayRect());
}

TEST_F(KvPageTest, AVetoedPageStaysHidden) {
  AddPages(2);
  PC->SetActivePage(Sheets[0]);
  PC->OnChanging = [](TObject*, int32_t, bool& allow) { allow = false; };
  PC->SetActivePage(Sheets[1]);
  EXPECT_EQ(PC->ActivePage(), Sheets[0]);
  Shown({true, false});
}

TEST_F(KvPageTest, PageIndexMovesPagesAndRefusesBadValues) {
  AddPages(3);
  PC->SetActivePage(Sheets[0]);
  std::vector<std::pair<int32_t, int32_t>> moves;
  PC->OnTabOrderChange = [&](TObject*, int32_t a, int32_t b) { moves.push_back({a, b}); };
  Sheets[0]->SetPageIndex(2);
  EXPECT_EQ(PC->Pages(2), Sheets[0]);
  EXPECT_EQ(PC->TabIndex(), 2);  // the current tab follows its page
  EXPECT_EQ(PC->Tabs()->Items(0)->Caption, "Page1");
  Sheets[1]->SetPageIndex(0);  // announced even when nothing moves
  EXPECT_EQ(moves, (std::vector<std::pair<int32_t, int32_t>>{{0, 2}, {0, 0}}));
  for (int32_t bad : {3, -1}) {
    try {
      Sheets[1]->SetPageIndex(bad);
      ADD_FAILURE();
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()),
                std::to_string(bad) + " is an invalid PageIndex value. PageIndex must be between 0 and 2");
    }
  }
  EXPECT_EQ(PC->Pages(0), Sheets[1]);
  try {
    Sheets[1]->SetVisible(true);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "You cannot change the Visible property of a page");
  }
}

TEST_F(KvPageTest, HiddenTabsAndTheCurrentTab) {
  AddPages(3);
  PC->SetActivePage(Sheets[1]);
  Strings log;
  PC->OnChanging = [&](TObject*, int32_t i, bool&) { log.push_back("changing " + std::to_string(i)); };
  PC->OnChange = [&](TObject*) { log.push_back("change"); };
  PC->OnPageChange = [&](TObject*) { log.push_back("page"); };
  // Hiding a tab before the active page lowers TabIndex but keeps the page.
  Sheets[0]->SetTabVisible(false);
  EXPECT_EQ(PC->TabIndex(), 0);
  EXPECT_EQ(PC->ActivePage(), Sheets[1]);
  EXPECT_EQ(log, (Strings{"changing 0", "change", "page"}));
  EXPECT_EQ(Sheets[0]->TabIndex(), -1);
  EXPECT_EQ(PC->PageForTabIndex(1), Sheets[2]);
  // Hiding the active page's own tab leaves the page shown with no current tab.
  Sheets[1]->SetTabVisible(false);
  EXPECT_EQ(PC->TabIndex(), -1);
  EXPECT_EQ(PC->ActivePage(), Sheets[1]);
  EXPECT_TRUE(Sheets[1]->Visible());
  // Out-of-range ActivePageIndex clears the tab and keeps the page.
  Sheets[1]->SetTabVisible(true);
  PC->SetActivePageIndex(7);
  EXPECT_EQ(PC->TabIndex(), -1);
  EXPECT_EQ(PC->ActivePage(), Sheets[1]);
}

TEST_F(KvPageTest, NextPageWrapsOverVisibleTabs) {
  AddPages(4);
  Sheets[2]->SetTabVisible(false);
  EXPECT_EQ(PC->FindNextPage(Sheets[3], true, true), Sheets[0]);
  EXPECT_EQ(PC->FindNextPage(Sheets[0], false, true), Sheets[3]);
  EXPECT_EQ(PC->FindNextPage(Sheets[1], true, true), Sheets[3]);
  EXPECT_EQ(PC->FindNextPage(Sheets[1], true, false), Sheets[2]);
  EXPECT_EQ(PC->FindNextPage(nullptr, true, true), Sheets[0]);
  EXPECT_EQ(PC->FindNextPage(nullptr, false, true), Sheets[3]);
}

TEST_F(KvPageTest, CtrlTabSwitchesOnlyThePageControlHoldingTheFocus) {
  AddPages(3);
  PC->SetActivePage(Sheets[2]);
  auto* Outside = AddTabs({"X"});
  Outside->SetBounds(320, 10, 100, 60);
  std::vector<TKvCustomTabControl*> inner;
  for (int i = 0; i < 3; ++i) inner.push_back(Inner(i));
  ShowForm();
  auto ctrlTab = [&](TShiftState extra) {
    TShiftState s = extra;
    s.Include(ssCtrl);
    Headless::Key(Form.get(), VK_TAB, s);
    Application->ProcessMessages();
    return PC->ActivePageIndex();
  };
  Outside->SetFocus();
  EXPECT_EQ(ctrlTab({}), 2);  // the focus is elsewhere on the form
  inner[2]->SetFocus();
  EXPECT_EQ(ctrlTab({}), 0);  // from the last page to the first
  EXPECT_TRUE(inner[0]->Focused());  // the focus moves onto the new page
  EXPECT_EQ(ctrlTab(TShiftState(ssShift)), 2);
  PC->SetFocus();
  EXPECT_EQ(ctrlTab({}), 0);
}

TEST_F(KvPageTest, ClosingTheActivePageSelectsItsNeighbour) {
  AddPages(3);
  PC->SetActivePage(Sheets[1]);
  PC->CloseTab();  // no OnClose handler: nothing closes
  EXPECT_EQ(PC->PageCount(), 3);
  PC->OnClose = [](TObject*, bool& allow) { allow = true; };
  PC->CloseTab();
  EXPECT_EQ(PC->PageCount(), 2);
  EXPECT_EQ(PC->ActivePage(), Sheets[0]);
  EXPECT_TRUE(Sheets[0]->Visible());
  PC->CloseTab();  // the first page: the new first page follows
  EXPECT_EQ(PC->ActivePage(), Sheets[2]);
  EXPECT_EQ(PC->TabIndex(), 0);
}

TEST_F(KvPageTest, ARemovedActivePageIsHiddenAndLeavesNoTab) {
  AddPages(2);
  PC->SetActivePage(Sheets[1]);
  int pageChanges = 0;
  PC->OnPageChange = [&](TObject*) { ++pageChanges; };
  Sheets[1]->SetPageControl(nullptr);
  EXPECT_EQ(PC->ActivePage(), nullptr);
  EXPECT_FALSE(Sheets[1]->Visible());
  EXPECT_EQ(PC->TabIndex(), -1);
  EXPECT_EQ(PC->PageCount(), 1);
  EXPECT_EQ(pageChanges, 1);
  // A page of another page control cannot be made active here.
  auto* Other = new TKvPageControl(Form.get());
  Other->SetParent(Form.get());
  Sheets[1]->SetPageControl(Other);
  PC->SetActivePage(Sheets[1]);
  EXPECT_EQ(PC->ActivePage(), nullptr);
  delete Sheets[1];
}

TEST_F(KvPageTest, ASheetColourTurnsColouredTabsOnAndBack) {
  AddPages(2);
  PC->SetColor(0xE0E0E0);
  PC->SetActivePage(Sheets[0]);
  EXPECT_FALSE(PC->UseColoredTabs());
  Sheets[1]->SetColor(0x80FF80);
  EXPECT_TRUE(PC->UseColoredTabs());
  EXPECT_EQ(PC->Tabs()->Items(1)->Color, 0x80FF80);
  PC->SetUseColoredTabs(false);
  EXPECT_EQ(Sheets[0]->Color(), 0xE0E0E0);
  EXPECT_EQ(Sheets[1]->Color(), 0xE0E0E0);
  // The front card shows the current page's colour.
  Sheets[0]->SetColor(0xE0E0E0);
  ShowForm();
  TRect c = PC->CardRect(0);
  EXPECT_EQ(PC->OffscreenBitmap()->Canvas()->Pixels(c.Left + 10, c.Top + 10), 0xE0E0E0);
}

TEST_F(KvPageTest, LoadingActivatesTheDefaultPageSilently) {
  PC = new TKvPageControl(Form.get());
  PC->BeginLoading();
  Strings log;
  PC->OnChanging = [&](TObject*, int32_t, bool&) { log.push_back("changing"); };
  PC->OnChange = [&](TObject*) { log.push_back("change"); };
  PC->OnPageChange = [&](TObject*) { log.push_back("page"); };
  PC->SetParent(Form.get());
  PC->SetBounds(10, 10, 300, 200);
  for (int i = 0; i < 3; ++i) {
    auto* S = new TKvTabSheet(Form.get());
    S->SetPageControl(PC);
    Sheets.push_back(S);
  }
  PC->SetActivePage(Sheets[0]);
  PC->SetActivePageDefault(Sheets[2]);
  PC->EndLoading();
  EXPECT_EQ(PC->ActivePage(), Sheets[2]);
  EXPECT_EQ(PC->TabIndex(), 2);
  Shown({false, false, true});
  EXPECT_EQ(log, Strings{});
  delete Sheets[2];
  EXPECT_EQ(PC->ActivePageDefault(), nullptr);
}

}  // namespace
