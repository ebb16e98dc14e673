// Mouse creation and editing of objects and their in-place text editing, by events injected into a shown
// form: the view fills the form at 100 %, so client and picture pixels coincide.
#include <cmath>
#include <filesystem>
#include <functional>

#include "platform/ui/forms.h"
#include "platform/ui/timer.h"
#include "vect_fixture.h"

namespace {

using K = TQxVObjectKind;
using OI = TQxObjectInteractItems;

class VectMouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    Form = new TForm(nullptr);
    Form->SetBounds(50, 50, 200, 150);
    Form->SetBorderStyle(TFormBorderStyle::bsNone);
    V = new TQuillotVect(Form);
    V->SetParent(Form);
    V->SetScrollBars(TScrollStyle::ssNone);
    V->SetBorderStyle(TBorderStyle::bsNone);
    V->SetBounds(0, 0, 200, 150);
    MakePicture(*V, 200, 150);
    Form->Show();
    Pump();
    ASSERT_EQ(V->ImageLeft(), 0);
    ASSERT_EQ(V->ImageTop(), 0);
  }
  void TearDown() override {
    delete Form;
    Pump();
    UseTestUiClock(false);
  }
  void Pump() { Application->ProcessMessages(); }
  // A press, moves along the way and a release; the clock moves on so that no two presses pair up.
  void Drag(int X1, int Y1, int X2, int Y2, TShiftState S = {}) {
    AdvanceUiClock(1000);
    Headless::MouseMove(Form, X1, Y1, S);
    Headless::MouseDown(Form, X1, Y1, TMouseButton::mbLeft, S);
    Headless::MouseMove(Form, (X1 + X2) / 2, (Y1 + Y2) / 2, S);
    Headless::MouseMove(Form, X2, Y2, S);
    Headless::MouseUp(Form, X2, Y2, TMouseButton::mbLeft, S);
    Pump();
  }
  void Click(int X, int Y, TShiftState S = {}) {
    AdvanceUiClock(1000);
    Headless::Click(Form, X, Y, TMouseButton::mbLeft, S);
    Pump();
  }
  void DoubleClick(int X, int Y) {
    AdvanceUiClock(1000);
    Headless::Click(Form, X, Y);
    Headless::Click(Form, X, Y);
    Pump();
  }
  void Key(uint16_t K, TShiftState S = {}) {
    Headless::Key(Form, K, S);
    Pump();
  }
  TQxVObject& Obj(int32_t H) { return *V->ObjectRecord(H); }
  int32_t AddBox(int X1, int Y1, int X2, int Y2) {
    TQxVObject o;
    o.Kind = K::qvkBox;
    o.x1 = X1, o.y1 = Y1, o.x2 = X2, o.y2 = Y2;
    o.BrushStyle = TBrushStyle::bsSolid;
    const int32_t h = V->AddObjectCopy(o);
    V->UpdateView();
    return h;
  }
  TForm* Form = nullptr;
  TQuillotVect* V = nullptr;
};

}  // namespace

TEST_F(VectMouseTest, EveryKindIsMadeByDragging) {
  struct Case {
    OI Mode;
    K Kind;
  } cases[] = {{OI::oiLine, K::qvkLine},     {OI::oiBox, K::qvkBox},       {OI::oiEllipse, K::qvkEllipse},
               {OI::oiRuler, K::qvkRuler},   {OI::oiBitmap, K::qvkBitmap}, {OI::oiLabelledLine, K::qvkLabelledLine},
               {OI::oiText, K::qvkText},     {OI::oiMemo, K::qvkMemo}};
  V->EditNewText = false;
  int32_t created = -1, changes = 0;
  V->OnNewObject = [&](TObject*, int32_t h) { created = h; };
  V->OnVectorialChanged = [&](TObject*) { ++changes; };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Kind));
    V->SetObjectInteract(c.Mode);
    const int32_t before = V->ObjectCount();
    Drag(20, 30, 90, 70);
    ASSERT_EQ(V->ObjectCount(), before + 1);
    EXPECT_EQ(created, V->LastHandle());
    const TQxVObject& o = Obj(created);
    EXPECT_EQ(o.Kind, c.Kind);
    EXPECT_EQ(TRect(o.x1, o.y1, o.x2, o.y2), TRect(20, 30, 90, 70));
    EXPECT_EQ(V->Selection(), std::vector<int32_t>{created});
  }
  EXPECT_EQ(changes, 8);
}

TEST_F(VectMouseTest, ClickPlacesTheTemplateSizeAndDragOnlyAddsNothing) {
  V->SetObjectInteract(OI::oiBox);
  Click(50, 40);
  ASSERT_EQ(V->ObjectCount(), 1);
  EXPECT_EQ(TRect(Obj(0).x1, Obj(0).y1, Obj(0).x2, Obj(0).y2), TRect(50, 40, 113, 103));
  V->PlaceCentered = true;
  Click(100, 100);
  EXPECT_EQ(TRect(Obj(1).x1, Obj(1).y1, Obj(1).x2, Obj(1).y2), TRect(69, 69, 132, 132));
  V->SetObjectInteract(TQxObjectInteract{OI::oiBox, OI::oiDragOnly});
  Click(30, 30);
  EXPECT_EQ(V->ObjectCount(), 2);
}

TEST_F(VectMouseTest, CtrlMakesSquares) {
  V->SetObjectInteract(OI::oiBox);
  Drag(10, 10, 40, 20, TShiftState(ssCtrl));
  EXPECT_EQ(TRect(Obj(0).x1, Obj(0).y1, Obj(0).x2, Obj(0).y2), TRect(10, 10, 40, 40));
  Drag(10, 10, 5, 20, TShiftState(ssCtrl));
  EXPECT_EQ(TRect(Obj(1).x1, Obj(1).y1, Obj(1).x2, Obj(1).y2), TRect(10, 10, 20, 20));
}

TEST_F(VectMouseTest, PolylineByClicksAndAngleByThreeClicks) {
  V->SetObjectInteract(OI::oiPolyline);
  int32_t created = -1;
  V->OnNewObject = [&](TObject*, int32_t h) { created = h; };
  Click(10, 10);
  Click(60, 10);
  Click(60, 50);
  AdvanceUiClock(1000);
  Headless::Click(Form, 30, 60);
  Headless::Click(Form, 30, 60);  // the double click finishes it
  Pump();
  ASSERT_EQ(created, 0);
  EXPECT_EQ(Obj(0).Kind, K::qvkPolyline);
  EXPECT_EQ(Obj(0).Points, (std::vector<TPoint>{{10, 10}, {60, 10}, {60, 50}, {30, 60}}));
  EXPECT_EQ(TRect(Obj(0).x1, Obj(0).y1, Obj(0).x2, Obj(0).y2), TRect(10, 10, 60, 60));

  V->SetObjectInteract(OI::oiAngle);
  created = -1;
  Click(10, 100);
  Click(60, 100);
  EXPECT_EQ(created, -1);
  Click(60, 140);
  ASSERT_EQ(created, 1);
  EXPECT_EQ(Obj(1).AnglePoints[0], TPoint(10, 100));
  EXPECT_EQ(Obj(1).AnglePoints[1], TPoint(60, 100));
  EXPECT_EQ(Obj(1).AnglePoints[2], TPoint(60, 140));
  EXPECT_EQ(V->Selection(), std::vector<int32_t>{1});
}

TEST_F(VectMouseTest, SelectMoveAndResizeByGrips) {
  const int32_t a = AddBox(10, 10, 40, 30), b = AddBox(100, 50, 140, 80);
  V->SetObjectInteract(OI::oiEdit);
  std::vector<int32_t> selected, deselected;
  V->OnUserSelectObject = [&](TObject*, int32_t h) { selected.push_back(h); };
  V->OnUserDeselectObject = [&](TObject*, int32_t h) { deselected.push_back(h); };
  Click(20, 20);
  EXPECT_EQ(V->Selection(), std::vector<int32_t>{a});
  Click(120, 60, TShiftState(ssShift));
  EXPECT_EQ(V->Selection(), (std::vector<int32_t>{a, b}));
  EXPECT_EQ(selected, (std::vector<int32_t>{a, b}));
  // Pressing on one of the selected objects and dragging moves both.
  int before = 0;
  V->OnBeforeVectorialChanged = [&](TObject*) { ++before; };
  Drag(20, 20, 30, 25);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(TRect(Obj(a).x1, Obj(a).y1, Obj(a).x2, Obj(a).y2), TRect(20, 15, 50, 35));
  EXPECT_EQ(TRect(Obj(b).x1, Obj(b).y1, Obj(b).x2, Obj(b).y2), TRect(110, 55, 150, 85));
  // Releasing without moving keeps only that one.
  Click(30, 25);
  EXPECT_EQ(V->Selection(), std::vector<int32_t>{a});
  EXPECT_EQ(deselected, std::vector<int32_t>{b});
  // Shift-click on a selected object deselects it.
  Click(30, 25, TShiftState(ssShift));
  EXPECT_TRUE(V->Selection().empty());
  EXPECT_EQ(deselected, (std::vector<int32_t>{b, a}));
  // The bottom-right grip resizes; with keep aspect the first ratio holds.
  Click(30, 25);
  Drag(50, 35, 70, 40);
  EXPECT_EQ(TRect(Obj(a).x1, Obj(a).y1, Obj(a).x2, Obj(a).y2), TRect(20, 15, 70, 40));
  Obj(a).KeepAspect = true;
  Drag(70, 40, 120, 40);
  EXPECT_EQ(TRect(Obj(a).x1, Obj(a).y1, Obj(a).x2, Obj(a).y2), TRect(20, 15, 120, 65));
}

TEST_F(VectMouseTest, MovesStopAtTheEdgeOnlyWhenAsked) {
  const int32_t a = AddBox(10, 10, 40, 30);
  V->SetObjectInteract(OI::oiEdit);
  Click(20, 20);
  V->AllowMoveOutside = false;
  Drag(20, 20, 5, 20);  // 8 to the left, then 7 more would cross the edge
  EXPECT_EQ(Obj(a).x1, 2);
  V->AllowMoveOutside = true;
  Drag(20, 20, 5, 20);
  EXPECT_EQ(Obj(a).x1, -13);
}

TEST_F(VectMouseTest, PolylinePointsAreDeletedWithCtrlAndInsertedOnSegments) {
  TQxVObject p;
  p.Kind = K::qvkPolyline;
  p.x1 = 1000000, p.y1 = 1000000, p.x2 = -1000000, p.y2 = -1000000;
  const int32_t h = V->AddObjectCopy(p);
  V->AddPolylinePoint(h, 10, 10);
  V->AddPolylinePoint(h, 10, 10);  // the same point twice adds it once
  V->AddPolylinePoint(h, 90, 10);
  V->AddPolylinePoint(h, 90, 90);
  ASSERT_EQ(Obj(h).Points.size(), 3u);
  V->SelectObject(h);
  V->SetObjectInteract(TQxObjectInteract{OI::oiEdit, OI::oiPolylinePoints});
  V->UpdateView();
  V->PaintView();
  Click(90, 90, TShiftState(ssCtrl));
  EXPECT_EQ(Obj(h).Points.size(), 2u);
  V->PaintView();
  Click(90, 10, TShiftState(ssCtrl));  // two left: stays
  EXPECT_EQ(Obj(h).Points.size(), 2u);
  Click(50, 10);  // on the segment
  ASSERT_EQ(Obj(h).Points.size(), 3u);
  EXPECT_EQ(Obj(h).Points[1], TPoint(50, 10));
}

TEST_F(VectMouseTest, ClickOnNothingLeavesTheUndoListAlone) {
  AddBox(10, 10, 40, 30);
  V->SetObjAutoUndo(true);
  V->SetObjectInteract(OI::oiEdit);
  Drag(20, 20, 30, 30);
  ASSERT_EQ(V->ObjUndoCount(), 1);
  TMemoryStream* first = V->ObjUndoSnapshot(0);
  Click(150, 120);
  EXPECT_EQ(V->ObjUndoCount(), 1);
  EXPECT_EQ(V->ObjUndoSnapshot(0), first);
  // The snapshot holds the box where it was before the drag.
  ASSERT_TRUE(V->RestoreObjUndo(0));
  EXPECT_EQ(Obj(V->DrawingOrder()[0]).x1, 10);
}

TEST_F(VectMouseTest, ViewMouseModesTakeTheObjectModesAway) {
  V->SetObjectInteract(TQxObjectInteract{OI::oiBox, OI::oiArea, OI::oiDragOnly});
  V->SetMouseInteract(TQxMouseInteract{TQxMouseInteractItems::miZoom});
  EXPECT_EQ(V->ObjectInteract(), (TQxObjectInteract{OI::oiArea, OI::oiDragOnly}));
}

// ---- in-place text ----

TEST_F(VectMouseTest, NewTextIsEditedByKeysAndCommittedByEnter) {
  V->SetObjectInteract(OI::oiText);
  int activated = 0, deactivated = 0, changed = 0;
  V->OnActivateTextEdit = [&](TObject*) { ++activated; };
  V->OnDeactivateTextEdit = [&](TObject*) { ++deactivated; };
  Drag(20, 30, 120, 50);
  ASSERT_TRUE(V->IsTextEditing());
  EXPECT_TRUE(V->TextEditor()->Visible());
  EXPECT_EQ(activated, 1);
  V->OnVectorialChanged = [&](TObject*) { ++changed; };
  Headless::Type(Form, "Hi there");
  Pump();
  Key(VK_RETURN);
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_FALSE(V->TextEditor()->Visible());
  EXPECT_EQ(Obj(0).Text.value_or(""), "Hi there");
  EXPECT_EQ(deactivated, 1);
  EXPECT_GE(changed, 1);
}

TEST_F(VectMouseTest, EscUndoesTheLastChangeAndStillEnds) {
  TQxVObject t;
  t.Kind = K::qvkText;
  t.x1 = 10, t.y1 = 10, t.x2 = 150, t.y2 = 30;
  t.Text = "old";
  V->AddObjectCopy(t);
  V->UpdateView();
  V->SetObjectInteract(OI::oiEdit);
  int deactivated = 0, changed = 0;
  V->OnDeactivateTextEdit = [&](TObject*) { ++deactivated; };
  V->OnVectorialChanged = [&](TObject*) { ++changed; };
  DoubleClick(50, 20);
  ASSERT_TRUE(V->IsTextEditing());
  EXPECT_EQ(V->TextEditor()->Text(), "old");
  Headless::Type(Form, "x");
  Pump();
  Key(VK_ESCAPE);
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_EQ(Obj(0).Text.value_or(""), "old");
  EXPECT_EQ(deactivated, 1);
  EXPECT_GE(changed, 1);
}

TEST_F(VectMouseTest, F2EditsOnlyEditableTextsAndMemos) {
  const int32_t box = AddBox(10, 10, 40, 30);
  TQxVObject t;
  t.Kind = K::qvkText;
  t.x1 = 60, t.y1 = 60, t.x2 = 150, t.y2 = 80;
  t.Text = "locked";
  t.Editable = false;
  const int32_t txt = V->AddObjectCopy(t);
  V->SetFocus();
  Pump();
  V->SelectObject(box);
  Key(VK_F2);
  EXPECT_FALSE(V->IsTextEditing());
  V->ClearSelection();
  V->SelectObject(txt);
  Key(VK_F2);
  EXPECT_FALSE(V->IsTextEditing());
  EXPECT_FALSE(V->TextEditor()->Visible());
}

TEST_F(VectMouseTest, AutoSizeTextGrowsWhileTypingAndFitsAtTheEnd) {
  TQxVObject t;
  t.Kind = K::qvkText;
  t.x1 = 10, t.y1 = 10, t.x2 = 20, t.y2 = 30;
  t.AutoSize = true;
  t.Text = "";
  V->AddObjectCopy(t);
  V->SetFocus();
  V->SelectObject(0);
  Key(VK_F2);
  ASSERT_TRUE(V->IsTextEditing());
  Headless::Type(Form, "WWW");
  Pump();
  TCanvas c;
  TBitmap b(1, 1);
  c.SetBitmap(&b);
  c.SetFont(*V->TextEditor()->Font());
  const int32_t w = c.TextWidth("WWW"), m = c.TextWidth("M");
  EXPECT_EQ(Obj(0).x2, 10 + w + m);
  Key(VK_RETURN);
  EXPECT_EQ(Obj(0).x2, 10 + w);
}

TEST_F(VectMouseTest, MemoIsEditedInPlaceAndKeepsItsFormats) {
  TQxVObject m;
  m.Kind = K::qvkMemo;
  m.x1 = 10, m.y1 = 10, m.x2 = 150, m.y2 = 100;
  m.Text = "ab";
  V->AddObjectCopy(m);
  V->UpdateView();
  V->SetObjectInteract(OI::oiEdit);
  DoubleClick(50, 50);
  ASSERT_TRUE(V->IsTextEditing());
  EXPECT_TRUE(V->MemoEditor()->Visible());
  Headless::Type(Form, "cd");
  Pump();
  Key(VK_ESCAPE);
  EXPECT_FALSE(V->IsTextEditing());
  const TQxVObject& o = Obj(0);
  ASSERT_TRUE(o.Text.has_value());
  EXPECT_NE(o.Text->find("cd"), std::string::npos);
  ASSERT_TRUE(o.CharFormatIndexes.has_value());
  EXPECT_EQ(o.CharFormatIndexes->size(), o.Text->size());
  ASSERT_TRUE(o.CharFormats.has_value());
  EXPECT_FALSE(o.CharFormats->empty());
  // A screenshot of the memo drawn again by the view.
  V->UpdateView();
  V->PaintView();
  EXPECT_TRUE(Headless::SaveWindowPng(Form, std::string(QV_SOURCE_DIR) + "/build/test-shots/vector/memo_after_edit.png"));
}

namespace {
// Whether a pixel of the band's colour lies within one pixel of (X, Y) on the window.
bool BlackNear(TForm* F, int X, int Y) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (ColorToRGB(Headless::PixelAt(F, X + dx, Y + dy)) == clBlack) return true;
  return false;
}
}  // namespace

// Rubber bands go over the frame the window shows while the button is held, in a view without any
// object yet, and the band of the step before is gone.
TEST_F(VectMouseTest, BandsFollowTheDragInAnEmptyView) {
  std::filesystem::create_directories("screenshots");
  struct Case {
    const char* Name;
    TQxObjectInteract Modes;
    TPoint OnFirst, GoneAfter, OnSecond;
  };
  const Case cases[] = {
      {"box", {OI::oiBox}, {50, 20}, {80, 40}, {120, 60}},
      {"ellipse", {OI::oiEllipse}, {20, 40}, {50, 60}, {70, 100}},
      {"line", {OI::oiLine}, {50, 40}, {50, 40}, {70, 60}},
      {"selection", {OI::oiEdit}, {50, 20}, {80, 40}, {120, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    V->SetObjectInteract(c.Modes);
    ASSERT_EQ(V->ObjectCount(), 0);
    AdvanceUiClock(1000);
    Headless::MouseMove(Form, 20, 20);
    Headless::MouseDown(Form, 20, 20);
    Headless::MouseMove(Form, 80, 60);
    Pump();
    EXPECT_TRUE(BlackNear(Form, c.OnFirst.X, c.OnFirst.Y));
    EXPECT_EQ(ColorToRGB(Headless::PixelAt(Form, 45, 35)), clWhite);
    EXPECT_TRUE(Headless::SaveWindowPng(Form, std::string("screenshots/vect_band_") + c.Name + "_1.png"));
    Headless::MouseMove(Form, 120, 100);
    Pump();
    EXPECT_FALSE(BlackNear(Form, c.GoneAfter.X, c.GoneAfter.Y));
    EXPECT_TRUE(BlackNear(Form, c.OnSecond.X, c.OnSecond.Y));
    EXPECT_TRUE(Headless::SaveWindowPng(Form, std::string("screenshots/vect_band_") + c.Name + "_2.png"));
    // A repaint in the middle of the drag keeps the band.
    V->Invalidate();
    Pump();
    EXPECT_TRUE(BlackNear(Form, c.OnSecond.X, c.OnSecond.Y));
    Headless::MouseUp(Form, 120, 100);
    Pump();
    V->ClearAllObjects();
    Pump();
    // Nothing of the band is left once the button is up and the objects are gone.
    EXPECT_FALSE(BlackNear(Form, c.OnSecond.X, c.OnSecond.Y));
  }
}

// A measured drag shows its length in a box beside the pointer on the window, and moving on puts back
// exactly the pixels the box covered.
TEST_F(VectMouseTest, MeasuredLengthHintIsOnTheWindowAndErasedInPlace) {
  std::filesystem::create_directories("screenshots");
  // Stripes: pixels put back one place off show.
  TQxBitmap* b = V->GetQxBitmap();
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) b->SetPixel24(x, y, TQxRGB{uint8_t(x * 37), uint8_t(y * 11), 200});
  V->UpdateView();
  Pump();
  TBitmap bare;
  ASSERT_TRUE(Headless::Snapshot(Form, bare));
  V->SetObjectInteract({OI::oiDragLength});
  double ended = -1;
  V->OnDragLenEnd = [&](TObject*, double Value) { ended = Value; };
  AdvanceUiClock(1000);
  Headless::MouseMove(Form, 20, 20);
  Headless::MouseDown(Form, 20, 20);
  Headless::MouseMove(Form, 79, 20);
  Pump();
  auto hintPixels = [&](int X1, int Y1, int X2, int Y2) {
    TBitmap shot;
    EXPECT_TRUE(Headless::Snapshot(Form, shot));
    int n = 0;
    for (int y = Y1; y < Y2; ++y)
      for (int x = X1; x < X2; ++x) n += ColorToRGB(shot.Canvas()->Pixels(x, y)) == TColor(0x60FFFF);
    return n;
  };
  EXPECT_GT(hintPixels(85, 25, 200, 60), 100);
  EXPECT_TRUE(Headless::SaveWindowPng(Form, "screenshots/vect_measured_line.png"));
  Headless::MouseMove(Form, 40, 100);
  Pump();
  EXPECT_GT(hintPixels(45, 105, 200, 150), 100);
  // Where the first box was, the picture is back as it was, pixel for pixel.
  TBitmap now;
  ASSERT_TRUE(Headless::Snapshot(Form, now));
  int wrong = 0;
  for (int y = 22; y < 60; ++y)
    for (int x = 84; x < 200; ++x) wrong += now.Canvas()->Pixels(x, y) != bare.Canvas()->Pixels(x, y);
  EXPECT_EQ(wrong, 0);
  Headless::MouseUp(Form, 40, 100);
  Pump();
  EXPECT_NEAR(ended, std::hypot(21.0, 81.0), 1e-9);
  EXPECT_EQ(hintPixels(0, 0, 200, 150), 0);
  EXPECT_EQ(V->ObjectCount(), 0);
}

// The length of a selection polygon being drawn runs to the pointer when asked, and never closes it.
TEST_F(VectMouseTest, PolygonLengthRunsToThePointerOnlyWhenAsked) {
  V->SetMouseInteract({TQxMouseInteractItems::miSelectPolygon});
  Click(10, 10);
  Click(50, 10);
  Click(50, 40);
  Headless::MouseMove(Form, 10, 40);
  Pump();
  ASSERT_TRUE(V->PolygonOpen());
  EXPECT_DOUBLE_EQ(V->PolygonLength(), 40 + 30 + 40);
  V->PolygonLengthToCursor = false;
  EXPECT_DOUBLE_EQ(V->PolygonLength(), 40 + 30);
  // Closed, the last point goes back to the first whatever the setting.
  DoubleClick(10, 40);
  ASSERT_FALSE(V->PolygonOpen());
  EXPECT_DOUBLE_EQ(V->PolygonLength(), 40 + 30 + 40 + 30);
}
