// Dragging tabs within a form: reordering the pages of a page control, moving a sheet to another
// page control, the marker on the way; and pages that give up their windows.
#include "tests/controls/kv_tab_fixture.h"

namespace {

class KvTabDragTest : public KvTabTest {
 protected:
  TKvPageControl* Pages(const std::vector<std::string>& Captions, int32_t Left, int32_t Top) {
    auto* pc = new TKvPageControl(Form.get());
    pc->SetParent(Form.get());
    pc->SetBounds(Left, Top, 300, 150);
    pc->SetAllowTabDragging(true);
    for (const std::string& c : Captions) {
      auto* s = new TKvTabSheet(Form.get());
      s->SetCaption(c);
      s->SetPageControl(pc);
    }
    pc->SetActivePage(pc->Pages(0));
    return pc;
  }
  static std::vector<std::string> Captions(TKvPageControl* Pc) {
    std::vector<std::string> v;
    for (int32_t i = 0; i < Pc->PageCount(); ++i) v.push_back(Pc->Pages(i)->Caption());
    return v;
  }
  // Presses at From and moves in steps to To with the left button held.
  void DragTo(TPoint From, TPoint To) {
    Headless::MouseDown(Form.get(), From.X, From.Y);
    Application->ProcessMessages();
    for (int i = 1; i <= 4; ++i) {
      Headless::MouseMove(Form.get(), From.X + (To.X - From.X) * i / 4, From.Y + (To.Y - From.Y) * i / 4,
                          {ssLeft});
      Application->ProcessMessages();
    }
  }
  void Screenshot(const std::string& Name) {
    // Tests run in their build folder, so the picture lands in the build tree.
    EXPECT_TRUE(Headless::SaveWindowPng(Form.get(), Name + ".png"));
  }
  void Release(TPoint At) {
    Headless::MouseUp(Form.get(), At.X, At.Y);
    Application->ProcessMessages();
  }
};

using Strings = std::vector<std::string>;

TEST_F(KvTabDragTest, DraggedTabMovesItsPageWithAMarkerOnTheWay) {
  auto* pc = Pages({"Standard", "Additional", "Colours"}, 10, 10);
  ShowForm();
  TPoint from = TabCentre(pc, 0), to = TabCentre(pc, 2);
  DragTo(from, to);
  EXPECT_TRUE(Dragging());
  EXPECT_EQ(pc->DragOverTab(), 2);
  ASSERT_TRUE(pc->DragMarkerShown());
  EXPECT_EQ(pc->DragMarker(), pc->DragMarkerRect(2));
  // The marker sits after tab 2 (it comes later than the current one), just above the tab's top.
  TRect t = pc->TabClientRect(2);
  EXPECT_EQ(pc->DragMarker().Top, t.Top - 2);
  EXPECT_EQ(pc->DragMarker().Right - pc->DragMarker().Left, 15);
  Screenshot("kv_tab_drag_marker");
  Release(to);
  EXPECT_FALSE(Dragging());
  EXPECT_FALSE(pc->DragMarkerShown());
  EXPECT_EQ(pc->DragOverTab(), -1);
  EXPECT_EQ(Captions(pc), (Strings{"Additional", "Colours", "Standard"}));
  EXPECT_EQ(pc->ActivePage()->Caption(), "Standard");
  EXPECT_EQ(pc->TabIndex(), 2);
  Screenshot("kv_tab_drag_dropped");
}

TEST_F(KvTabDragTest, DropsOnItselfOrOffTheTabsChangeNothing) {
  auto* pc = Pages({"A", "B", "C"}, 10, 10);
  ShowForm();
  TPoint a = TabCentre(pc, 0);
  // Away and back onto its own tab: no marker, nothing moves.
  DragTo(a, TPoint(a.X, a.Y + 60));
  EXPECT_FALSE(pc->DragMarkerShown());
  Headless::MouseMove(Form.get(), a.X + 1, a.Y, {ssLeft});
  Application->ProcessMessages();
  EXPECT_FALSE(pc->DragMarkerShown());
  Release(TPoint(a.X + 1, a.Y));
  EXPECT_EQ(Captions(pc), (Strings{"A", "B", "C"}));
  // Off every tab, on the page.
  DragTo(a, TPoint(a.X + 40, a.Y + 70));
  Release(TPoint(a.X + 40, a.Y + 70));
  EXPECT_EQ(Captions(pc), (Strings{"A", "B", "C"}));
  // A short wiggle below the threshold is a plain click.
  Click(TabCentre(pc, 1));
  EXPECT_EQ(pc->ActivePage()->Caption(), "B");
  EXPECT_EQ(Captions(pc), (Strings{"A", "B", "C"}));
  // Without AllowTabDragging no drag starts.
  pc->SetAllowTabDragging(false);
  DragTo(TabCentre(pc, 1), TabCentre(pc, 2));
  EXPECT_FALSE(Dragging());
  Release(TabCentre(pc, 2));
  EXPECT_EQ(Captions(pc), (Strings{"A", "B", "C"}));
}

TEST_F(KvTabDragTest, SheetDraggedOntoAnotherPageControlMovesThere) {
  auto* left = Pages({"One", "Two", "Three"}, 10, 10);
  auto* right = Pages({"Alpha", "Beta"}, 320, 10);
  ShowForm();
  left->SetActivePage(left->Pages(1));
  Application->ProcessMessages();
  TPoint to = TabCentre(right, 1);
  DragTo(TabCentre(left, 1), to);
  Release(to);
  EXPECT_EQ(Captions(left), (Strings{"One", "Three"}));
  EXPECT_EQ(Captions(right), (Strings{"Alpha", "Two", "Beta"}));
  EXPECT_EQ(right->ActivePage()->Caption(), "Two");
  EXPECT_EQ(right->ActivePage()->Parent(), right);
  // The page control it left shows its next page.
  EXPECT_EQ(left->ActivePage()->Caption(), "Three");
  EXPECT_TRUE(left->ActivePage()->Visible());
}

TEST_F(KvTabDragTest, SaveResourcesLetsHiddenPagesGiveUpTheirWindows) {
  auto* pc = Pages({"A", "B", "C"}, 10, 10);
  ShowForm();
  for (int32_t i = 0; i < 3; ++i) pc->Pages(i)->HandleNeeded();
  pc->SetSaveResources(true);
  EXPECT_TRUE(pc->Pages(0)->HandleAllocated());
  EXPECT_FALSE(pc->Pages(1)->HandleAllocated());
  EXPECT_FALSE(pc->Pages(2)->HandleAllocated());
  Click(TabCentre(pc, 2));
  EXPECT_TRUE(pc->Pages(2)->HandleAllocated());
  EXPECT_FALSE(pc->Pages(0)->HandleAllocated());
  // Off again: pages keep the windows they get.
  pc->SetSaveResources(false);
  Click(TabCentre(pc, 0));
  EXPECT_TRUE(pc->Pages(2)->HandleAllocated());
}

}  // namespace
