// Measuring, rows, placing, mapping and scrolling of tab strips. With the test font a character is
// 7 x 11 pixels, so a one-letter caption has a content of 9 x 11 (2 pixels of image margin).
#include "tests/controls/kv_tab_fixture.h"

namespace {

using TS = TKvTabStyle;
using TO = TKvTabOrientation;

TEST_F(KvTabTest, SingleSlantTopLayoutByHand) {
  auto* T = AddTabs({"A", "BB", "CCC"});
  T->UpdateLayout();
  // Height 11 + 2 + 4; width 2 x (17 div 2) + content + 2 + 4; each tab starts 17 div 2 - 1 before
  // the end of the one before it.
  EXPECT_EQ(T->FixedDimension(), 17);
  EXPECT_EQ(T->Tabs()->Items(0)->RawRect, TRect(0, 0, 31, 17));
  EXPECT_EQ(T->Tabs()->Items(1)->RawRect, TRect(24, 0, 62, 17));
  EXPECT_EQ(T->Tabs()->Items(2)->RawRect, TRect(55, 0, 100, 17));
  EXPECT_EQ(T->TabClientRect(2), TRect(55, 0, 100, 17));
  // The strip leaves two pixels for the shadow; the card starts where the tabs end.
  EXPECT_EQ(T->TabAreaRect(), TRect(0, 0, 297, 17));
  EXPECT_EQ(T->CardRect(0), TRect(0, 17, 299, 99));
  EXPECT_EQ(T->DisplayRect(), TRect(1, 18, 297, 97));
  EXPECT_EQ(T->ButtonSize(), 15);
  EXPECT_FALSE(T->ScrollingNeeded());
}

TEST_F(KvTabTest, TabSizesAndStepsOfEveryStyle) {
  struct {
    TS Style;
    int32_t Width, Height, NextStart;
  } cases[] = {
      {TS::tsSingleSlant, 31, 17, 24},  // 2 x 8 + 11 + 4; overlap 8
      {TS::tsBackSlant, 31, 17, 24},
      {TS::tsDoubleSlant, 41, 17, 25},  // 2 x 13 + 11 + 4; overlap 17
      {TS::tsCutCorner, 29, 18, 31},    // 2 x 6 + 11 + 6; TabOverlap -1 leaves 2 pixels
      {TS::tsRoundCorners, 37, 17, 39},  // content at least "AAA"; + 14
  };
  for (auto c : cases) {
    auto* T = AddTabs({"A", "A"});
    T->SetTabStyle(c.Style);
    T->UpdateLayout();
    const TRect& r0 = T->Tabs()->Items(0)->RawRect;
    EXPECT_EQ(r0.Width(), c.Width) << int(c.Style);
    EXPECT_EQ(T->FixedDimension(), c.Height) << int(c.Style);
    EXPECT_EQ(T->Tabs()->Items(1)->RawRect.Left, c.NextStart) << int(c.Style);
  }
  // TabOverlap 1 makes cut-corner tabs touch.
  auto* T = AddTabs({"A", "A"});
  T->SetTabStyle(TS::tsCutCorner);
  T->SetTabOverlap(1);
  T->UpdateLayout();
  EXPECT_EQ(T->Tabs()->Items(1)->RawRect.Left, T->Tabs()->Items(0)->RawRect.Right);
}

// Where the tabs stand, for every side, style and sequence, checked against the card and the strip
// rather than against the formulas: each tab lies in the strip, the row next to the card touches
// it, and the tabs run the way their side and sequence say.
TEST_F(KvTabTest, EverySideStyleAndSequencePlacesTabsAgainstTheCard) {
  const TS styles[] = {TS::tsSingleSlant, TS::tsDoubleSlant, TS::tsCutCorner, TS::tsRoundCorners, TS::tsBackSlant};
  const TO sides[] = {TO::toTop, TO::toLeft, TO::toBottom, TO::toRight};
  for (TS s : styles) {
    for (TO o : sides) {
      for (TKvTabSequence q : {TKvTabSequence::tsStandard, TKvTabSequence::tsReverse}) {
        const bool lr = o == TO::toLeft || o == TO::toRight;
        auto* T = AddTabs({"A", "BB", "CCC"}, lr ? 120 : 300, lr ? 300 : 120);
        T->SetTabStyle(s);
        T->SetTabOrientation(o);
        T->SetTabSequence(q);
        T->SetShowShadow(false);
        T->SetMargin(3);
        T->UpdateLayout();
        SCOPED_TRACE(testing::Message() << "style " << int(s) << " side " << int(o) << " seq " << int(q));
        ASSERT_FALSE(T->ScrollingNeeded());
        const TRect A = T->TabAreaRect(), C = T->CardRect(0);
        TRect grown = A;
        InflateRect(grown, 1, 1);
        std::vector<TRect> rs;
        for (int i = 0; i < 3; ++i) {
          TRect r = T->TabClientRect(i);
          rs.push_back(r);
          TRect both;
          IntersectRect(both, r, grown);
          EXPECT_EQ(both, r) << "tab " << i << " leaves the strip";
          switch (o) {
            case TO::toTop: EXPECT_EQ(r.Bottom, C.Top); break;
            case TO::toBottom: EXPECT_EQ(r.Top, C.Bottom); break;
            case TO::toLeft: EXPECT_EQ(r.Right, C.Left); break;
            case TO::toRight: EXPECT_EQ(r.Left, C.Right); break;
          }
        }
        // Position along the strip: x for top and bottom, upwards for left, downwards for right.
        auto along = [&](const TRect& r) {
          switch (o) {
            case TO::toLeft: return -r.Bottom;
            case TO::toRight: return r.Top;
            default: return r.Left;
          }
        };
        const bool rev = q == TKvTabSequence::tsReverse;
        EXPECT_EQ(along(rs[0]) < along(rs[1]), !rev);
        EXPECT_EQ(along(rs[1]) < along(rs[2]), !rev);
        // The first tab sits at the start of the strip (its far end in the reverse sequence).
        const int32_t m = 3 + (s == TS::tsRoundCorners ? 2 : 0);
        if (!rev) {
          switch (o) {
            case TO::toTop:
            case TO::toBottom: EXPECT_EQ(rs[0].Left, A.Left + m); break;
            case TO::toLeft: EXPECT_EQ(rs[0].Bottom, A.Bottom - m); break;
            case TO::toRight: EXPECT_EQ(rs[0].Top, A.Top + m); break;
          }
        } else {
          switch (o) {
            case TO::toTop:
            case TO::toBottom: EXPECT_EQ(rs[0].Right, A.Right - m); break;
            case TO::toLeft: EXPECT_EQ(rs[0].Top, A.Top + m); break;
            case TO::toRight: EXPECT_EQ(rs[0].Bottom, A.Bottom - m); break;
          }
        }
        delete T;
      }
    }
  }
}

TEST_F(KvTabTest, RowsBreakOnTheStrictFitTest) {
  // Two one-letter tabs end at 55; they share a row only when the strip is longer than that.
  for (int32_t length : {55, 56}) {
    auto* T = AddTabs({"A", "A"}, length + 1, 100);
    T->SetShowShadow(false);
    T->SetMultiLine(true);
    T->UpdateLayout();
    ASSERT_EQ(T->TabAreaLength(), length);
    if (length == 55) {
      EXPECT_EQ(T->RowCount(), 2);
      // Row 0 touches the card; row 1 lies 17 - 5 pixels further out and is indented by 5.
      EXPECT_EQ(T->Tabs()->Items(0)->RawRect, TRect(0, 12, 31, 29));
      EXPECT_EQ(T->Tabs()->Items(1)->Row, 1);
      EXPECT_EQ(T->Tabs()->Items(1)->RawRect, TRect(0, 0, 31, 17));
      EXPECT_EQ(T->TabClientRect(1), TRect(5, 0, 36, 17));
      EXPECT_EQ(T->CardRect(0), TRect(0, 29, 50, 99));
      EXPECT_EQ(T->CardRect(1), TRect(5, 17, 55, 87));
    } else {
      EXPECT_EQ(T->RowCount(), 1);
    }
  }
}

TEST_F(KvTabTest, ATooLongTabStandsAloneClippedToTheStrip) {
  auto* T = AddTabs({"A", "CCCCCCCCCCCCCCCCCCCC", "A"}, 101, 100);
  T->SetShowShadow(false);
  T->SetMultiLine(true);
  T->UpdateLayout();
  EXPECT_EQ(T->RowCount(), 3);
  const TKvTabData* Long = T->Tabs()->Items(1);
  EXPECT_EQ(Long->RawRect.Width(), 100);
  EXPECT_EQ(Long->RawRect.Left, 0);
  EXPECT_NE(Long->Row, T->Tabs()->Items(0)->Row);
  EXPECT_NE(Long->Row, T->Tabs()->Items(2)->Row);
}

TEST_F(KvTabTest, ANarrowControlClampsTheAvailableLength) {
  for (TS s : {TS::tsSingleSlant, TS::tsRoundCorners}) {
    auto* T = AddTabs({"A", "BB"}, 6, 60);
    T->SetTabStyle(s);
    T->SetMargin(10);
    T->SetMultiLine(true);
    T->UpdateLayout();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(T->Tabs()->Items(i)->RawRect.Width(), 0);
    ShowForm();  // painting such a strip must not fail either
  }
}

TEST_F(KvTabTest, SelectingABackRowBringsItToTheFrontInCyclicOrder) {
  auto* T = AddTabs({"A", "A", "A", "A", "A", "A"}, 71, 120);
  T->SetShowShadow(false);
  T->SetMultiLine(true);
  T->UpdateLayout();
  ASSERT_EQ(T->RowCount(), 3);
  auto rows = [&] {
    std::vector<int32_t> r;
    for (int i = 0; i < 6; ++i) r.push_back(T->Tabs()->Items(i)->Row);
    return r;
  };
  ASSERT_EQ(rows(), (std::vector<int32_t>{0, 0, 1, 1, 2, 2}));
  const int32_t frontTop = T->Tabs()->Items(0)->RawRect.Top;
  T->SetTabIndex(4);
  EXPECT_EQ(rows(), (std::vector<int32_t>{1, 1, 2, 2, 0, 0}));
  EXPECT_EQ(T->Tabs()->Items(4)->RawRect.Top, frontTop);
}

TEST_F(KvTabTest, AlignTabsStretchesEveryRowToTheStrip) {
  auto* T = AddTabs({"A", "BB", "CCC", "A", "BB"}, 121, 120);
  T->SetShowShadow(false);
  T->SetMultiLine(true);
  T->SetAlignTabs(true);
  T->UpdateLayout();
  ASSERT_GE(T->RowCount(), 2);
  const int32_t L = T->TabAreaLength() - (T->RowCount() - 1) * T->RowIndent();
  for (int32_t row = 0; row < T->RowCount(); ++row) {
    int32_t lo = 1 << 30, hi = -1;
    for (int i = 0; i < 5; ++i) {
      const TKvTabData* d = T->Tabs()->Items(i);
      if (d->Row != row) continue;
      lo = std::min(lo, d->RawRect.Left);
      hi = std::max(hi, d->RawRect.Right);
    }
    EXPECT_EQ(hi - lo, L) << row;
  }
}

TEST_F(KvTabTest, WithoutTabsTheCardFillsTheControl) {
  auto* T = AddTabs({});
  T->SetShowCloseButton(true);
  T->SetShowMenuButton(true);
  T->UpdateLayout();
  EXPECT_EQ(T->FixedDimension(), 0);
  EXPECT_EQ(T->CardRect(0), TRect(0, 0, 299, 99));
  EXPECT_EQ(T->CloseButtonSize(), 0);
  EXPECT_EQ(T->MenuButtonSize(), 0);
  EXPECT_EQ(T->TabAtPoint(5, 5), -1);
  ShowForm();
  EXPECT_EQ(T->Scroller(), nullptr);
}

TEST_F(KvTabTest, WithoutACardThereIsNoDisplayArea) {
  auto* T = AddTabs({"A"});
  T->SetCardVisible(false);
  T->UpdateLayout();
  EXPECT_EQ(T->DisplayRect(), TRect(-2, -2, -1, -1));
  EXPECT_EQ(T->TabAreaDepth(), 98);
  // Only the tab-side edge of the card can show.
  EXPECT_EQ(T->CardRect(0), TRect(-3, 0, 302, 102));
}

TEST_F(KvTabTest, AStripTooShortScrollsTabByTab) {
  auto* T = AddTabs({"AAAA", "BBBB", "CCCC", "DDDD", "EEEE", "FFFF"}, 160, 80);
  T->SetShowShadow(false);
  ShowForm();
  ASSERT_TRUE(T->ScrollingNeeded());
  ASSERT_NE(T->Scroller(), nullptr);
  EXPECT_TRUE(T->Scroller()->Visible());
  EXPECT_EQ(T->FirstShownTab(), 0);
  EXPECT_TRUE(T->TabShown(0));
  EXPECT_FALSE(T->TabShown(5));
  T->Scroll(false);  // already at the start
  EXPECT_EQ(T->FirstShownTab(), 0);
  T->Scroll(true);
  EXPECT_EQ(T->FirstShownTab(), 1);
  EXPECT_FALSE(T->TabShown(0));
  // Selecting a tab out of view scrolls it in; one before the view becomes the first shown.
  T->SetTabIndex(5);
  EXPECT_TRUE(T->TabShown(5));
  T->SetTabIndex(0);
  EXPECT_EQ(T->FirstShownTab(), 0);
  // The scroller sits at the end of the strip, inside the control.
  TRect b = T->Scroller()->BoundsRect();
  EXPECT_EQ(b.Width(), 2 * T->ButtonSize() - 1);
  EXPECT_LE(b.Right, T->Width());
}

}  // namespace
