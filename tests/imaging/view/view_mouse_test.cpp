// The view's mouse and keyboard, driven by injected input in a window of the headless back end: the
// selections each mode builds and their mask pixels, grips, moving a selection, zoom clicks, and layers
// moved, resized and rotated, with undo.
#include <cmath>
#include <filesystem>

#include "imaging/foundation/mask.h"
#include "imaging/processing/proc.h"
#include "platform/base/numeric.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"
#include "view_fixture.h"

namespace {

using MI = TQxMouseInteractItems;
using SO = TQxSelectionOptionsItems;

class ViewMouse : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(100, 100, 600, 500);
    view = new TQuillotView(form.get());
    view->SetBorderStyle(TBorderStyle::bsNone);
    view->SetCenter(false);
    view->SetParent(form.get());
    view->SetBounds(0, 0, 400, 300);
    form->Show();
    view->CurrentBitmap()->Allocate(200, 150, TQxPixelFormat::qx24RGB);
    view->CurrentBitmap()->Fill(0);
    view->UpdateView();
    Application->ProcessMessages();
    std::filesystem::create_directories("screenshots");
  }
  void TearDown() override {
    form.reset();
    Application->ProcessMessages();
    UseTestUiClock(false);
  }
  void Run() { Application->ProcessMessages(); }
  // A drag in steps; the view's client origin is the form's.
  void Drag(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TShiftState Shift = {}, int Steps = 4) {
    Headless::MouseMove(form.get(), X1, Y1, Shift);
    Headless::MouseDown(form.get(), X1, Y1, TMouseButton::mbLeft, Shift);
    for (int i = 1; i <= Steps; ++i)
      Headless::MouseMove(form.get(), X1 + (X2 - X1) * i / Steps, Y1 + (Y2 - Y1) * i / Steps, Shift);
    Headless::MouseUp(form.get(), X2, Y2, TMouseButton::mbLeft, Shift);
    Run();
  }
  void Click(int32_t X, int32_t Y, TMouseButton B = TMouseButton::mbLeft, TShiftState Shift = {}) {
    Headless::Click(form.get(), X, Y, B, Shift);
    Run();
    AdvanceUiClock(1000);  // no double click with the next one
  }
  std::vector<TPoint> Points() {
    return std::vector<TPoint>(view->PolySelPoints(), view->PolySelPoints() + view->PolySelCount());
  }
  bool Sel(int32_t X, int32_t Y) { return view->SelectionMask()->IsSelected(X, Y); }
  int32_t AddLayer(int32_t W, int32_t H, int32_t X, int32_t Y) {
    const int32_t i = view->AddLayer();
    TQxLayer* l = view->GetLayer(i);
    l->Bitmap->Allocate(W, H, TQxPixelFormat::qx24RGB);
    l->Bitmap->Fill(clRed);
    l->PosX = X;
    l->PosY = Y;
    view->UpdateView();
    view->PaintView();
    return i;
  }
  std::unique_ptr<TForm> form;
  TQuillotView* view = nullptr;
};

TEST(ViewMouseInteract, CombinationRules) {
  auto v = MakeView(10, 10, 50, 50);
  struct Case {
    TQxMouseInteract Set, Kept;
  } cases[] = {
      {{MI::miZoom, MI::miSelect}, {MI::miZoom, MI::miSelect}},
      {{MI::miSelectPolygon, MI::miZoom}, {MI::miSelectPolygon}},
      {{MI::miMoveLayers, MI::miResizeLayers, MI::miRotateLayers}, {MI::miMoveLayers, MI::miRotateLayers}},
      {{MI::miMoveLayers, MI::miResizeLayers}, {MI::miMoveLayers, MI::miResizeLayers}},
      {{MI::miScroll, MI::miSelect, MI::miMovingScroll}, {MI::miScroll, MI::miMovingScroll}},
      {{MI::miSelectMagicWand, MI::miZoom, MI::miSelectLasso}, {MI::miZoom, MI::miSelectLasso}},
      {{MI::miSelectMagicWand, MI::miZoom}, {MI::miZoom}},
      {{MI::miResizeLayers, MI::miRotateLayers}, {MI::miRotateLayers}},
  };
  for (const Case& c : cases) {
    v->SetMouseInteract({});
    v->SetMouseInteract(c.Set);
    EXPECT_EQ(v->MouseInteract().bits(), c.Kept.bits()) << c.Set.bits();
  }
  // Added to what is there: the new element wins over the old ones it excludes.
  v->SetMouseInteract({MI::miSelect});
  v->SetMouseInteract({MI::miSelect, MI::miScroll});
  EXPECT_EQ(v->MouseInteract().bits(), TQxMouseInteract{MI::miScroll}.bits());
}

TEST_F(ViewMouse, RectangleDragBuildsSelectionAndFiresEventsWithCallersBase) {
  view->SetMouseInteract({MI::miSelect});
  view->SetSelectionBase(TQxSelectionBase::qxsbBitmap);
  int before = 0, changing = 0, change = 0;
  std::vector<TQxSelectionBase> seen;
  view->OnBeforeSelectionChange = [&](TObject*) { ++before, seen.push_back(view->SelectionBase()); };
  view->OnSelectionChanging = [&](TObject*) { ++changing, seen.push_back(view->SelectionBase()); };
  view->OnSelectionChange = [&](TObject*) { ++change; };
  Drag(10, 20, 50, 60);
  EXPECT_EQ(Points(), (std::vector<TPoint>{{10, 20}, {50, 20}, {50, 60}, {10, 60}}));
  EXPECT_TRUE(view->Selected());
  EXPECT_TRUE(Sel(10, 20));
  EXPECT_TRUE(Sel(49, 59));
  EXPECT_FALSE(Sel(50, 59));
  EXPECT_FALSE(Sel(49, 60));
  EXPECT_FALSE(Sel(9, 20));
  TQxMask* m = view->SelectionMask();
  EXPECT_EQ(TRect(m->X1, m->Y1, m->X2, m->Y2), TRect(10, 20, 49, 59));
  EXPECT_EQ(before, 1);
  EXPECT_GE(changing, 4);
  EXPECT_EQ(change, 1);
  for (TQxSelectionBase b : seen) EXPECT_EQ(b, TQxSelectionBase::qxsbBitmap);
  EXPECT_EQ(view->SelectionBase(), TQxSelectionBase::qxsbBitmap);
  EXPECT_FALSE(view->RectDragging());

  // Shift adds a second rectangle; one separator lies between them.
  Drag(100, 100, 120, 110, TShiftState(ssShift));
  const auto pts = Points();
  ASSERT_EQ(pts.size(), 9u);
  EXPECT_EQ(pts[4], TPoint(0xFFFFF, 0xFFFFF));
  EXPECT_TRUE(Sel(30, 30));
  EXPECT_TRUE(Sel(110, 105));

  // A click without a drag removes the selection.
  Click(150, 140);
  EXPECT_FALSE(view->Selected());
  EXPECT_TRUE(view->SelectionMask()->IsEmpty());
  EXPECT_EQ(change, 3);
}

TEST_F(ViewMouse, FixedSizeClickAndAltSquare) {
  view->SetMouseInteract({MI::miSelect});
  view->SetSelectionRatio(0);
  view->SelectionFixedWidth = 20;
  view->SelectionFixedHeight = 10;
  Click(60, 50);
  EXPECT_EQ(Points(), (std::vector<TPoint>{{50, 45}, {70, 45}, {70, 55}, {50, 55}}));
  EXPECT_TRUE(Sel(50, 45));
  EXPECT_TRUE(Sel(69, 54));
  EXPECT_FALSE(Sel(70, 54));
  // Free ratio: Alt makes a square.
  view->SetSelectionRatio(-1);
  Drag(10, 10, 40, 20, TShiftState(ssAlt));
  EXPECT_EQ(Points(), (std::vector<TPoint>{{10, 10}, {40, 10}, {40, 40}, {10, 40}}));
}

TEST_F(ViewMouse, GripsAreFoundAndDraggedAndTheSelectionMoves) {
  view->SetMouseInteract({MI::miSelect});
  Drag(20, 20, 60, 40);
  struct Probe {
    int32_t X, Y, Grip;
  } probes[] = {{20, 20, 1}, {60, 20, 2}, {60, 40, 3}, {20, 40, 4}, {24, 24, 1},  {21, 30, 5},
                {59, 30, 6}, {40, 21, 7}, {40, 39, 8}, {40, 30, 0}, {100, 100, 0}};
  for (const Probe& p : probes) EXPECT_EQ(view->SelectionGripAt(p.X, p.Y), p.Grip) << p.X << "," << p.Y;
  EXPECT_EQ(view->SelectionGripAtUnlessShift(20, 20, TShiftState(ssShift)), 0);
  TQxGrip hovered = TQxGrip::qxNone;
  view->OnMouseInResizingGrip = [&](TObject*, TQxGrip G) { hovered = G; };
  Headless::MouseMove(form.get(), 60, 40);
  Run();
  EXPECT_EQ(hovered, TQxGrip::qxBottomRight);
  EXPECT_EQ(view->Cursor(), 1786);

  // The bottom-right grip dragged: the right and bottom edges follow, one past the pointer.
  Drag(60, 40, 80, 70);
  EXPECT_EQ(Points(), (std::vector<TPoint>{{20, 20}, {81, 20}, {81, 71}, {20, 71}}));
  EXPECT_TRUE(Sel(80, 70));
  EXPECT_FALSE(Sel(81, 70));
  // The left grip dragged past the right edge turns the rectangle over.
  Drag(20, 45, 100, 45);
  EXPECT_EQ(Points(), (std::vector<TPoint>{{81, 20}, {100, 20}, {100, 71}, {81, 71}}));

  // Pressed inside, the selection moves; the rectangle is drawn into the mask again at the release.
  Headless::MouseMove(form.get(), 90, 40);
  Run();
  EXPECT_EQ(view->Cursor(), 1790);
  Drag(90, 40, 80, 50);
  EXPECT_EQ(Points(), (std::vector<TPoint>{{71, 30}, {90, 30}, {90, 81}, {71, 81}}));
  EXPECT_TRUE(Sel(71, 30));
  EXPECT_TRUE(Sel(89, 80));
  EXPECT_FALSE(Sel(90, 80));
  EXPECT_FALSE(Sel(81, 20));
}

TEST_F(ViewMouse, EllipseDragRendersOnRelease) {
  view->SetMouseInteract({MI::miSelectCircle});
  Drag(100, 75, 130, 95);
  EXPECT_GE(view->PolySelCount(), 50);
  EXPECT_TRUE(Sel(100, 75));
  EXPECT_TRUE(Sel(127, 75));
  EXPECT_TRUE(Sel(100, 93));
  EXPECT_FALSE(Sel(132, 75));
  EXPECT_FALSE(Sel(100, 97));
  EXPECT_FALSE(Sel(125, 93));  // outside the ellipse, inside its box
  // A tiny one still has 50 points.
  Drag(50, 50, 52, 51);
  EXPECT_EQ(view->PolySelCount(), 50);
}

TEST_F(ViewMouse, PolygonByClicksClosedByDoubleClickAndRubberLine) {
  view->SetMouseInteract({MI::miSelectPolygon});
  Click(10, 10);
  Click(100, 10);
  EXPECT_TRUE(view->PolygonOpen());
  // The rubber line runs from the pointer to the last point, inverted, and goes when the pointer moves.
  TBitmap shot;
  Headless::MouseMove(form.get(), 100, 100);
  Run();
  Application->ProcessMessages();
  ASSERT_TRUE(Headless::Snapshot(form.get(), shot));
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(form.get(), 100, 50)), clWhite);
  EXPECT_TRUE(Headless::SaveWindowPng(form.get(), "screenshots/view_polygon_rubber.png"));
  Headless::MouseMove(form.get(), 150, 100);
  Run();
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(form.get(), 100, 50)), clBlack);
  // The third point, then a double click on it: the point the double click adds is dropped.
  Headless::Click(form.get(), 100, 100);
  Headless::Click(form.get(), 100, 100);
  Run();
  EXPECT_FALSE(view->PolygonOpen());
  EXPECT_EQ(Points(), (std::vector<TPoint>{{10, 10}, {100, 10}, {100, 100}}));
  EXPECT_TRUE(Sel(90, 20));
  EXPECT_FALSE(Sel(20, 90));
  AdvanceUiClock(1000);
  // Changing the mode closes an open polygon too.
  Click(150, 10);
  Click(190, 10);
  Click(190, 50);
  Click(150, 50);
  EXPECT_TRUE(view->PolygonOpen());
  view->SetMouseInteract({MI::miSelect});
  EXPECT_FALSE(view->PolygonOpen());
  EXPECT_EQ(view->PolySelCount(), 3);
  EXPECT_TRUE(Sel(185, 15));
  EXPECT_FALSE(Sel(155, 45));
}

TEST_F(ViewMouse, LassoAndMagicWand) {
  view->SetMouseInteract({MI::miSelectLasso});
  Headless::MouseDown(form.get(), 20, 20);
  for (TPoint p : {TPoint(80, 20), TPoint(80, 80), TPoint(20, 80)}) Headless::MouseMove(form.get(), p.X, p.Y);
  Headless::MouseUp(form.get(), 20, 80);
  Run();
  EXPECT_FALSE(view->PolygonOpen());
  EXPECT_TRUE(Sel(50, 50));
  EXPECT_FALSE(Sel(90, 50));

  // A red square on black: the wand takes exactly the square.
  TQxBitmap* b = view->CurrentBitmap();
  for (int32_t y = 30; y < 60; ++y)
    for (int32_t x = 100; x < 140; ++x) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = {0, 0, 255};
  view->UpdateView();
  for (uint8_t mode : {0, 1}) {
    view->MagicWandMode = mode;
    view->SetMouseInteract({});
    view->SetMouseInteract({MI::miSelectMagicWand});
    Click(120, 45);
    TQxMask* m = view->SelectionMask();
    EXPECT_EQ(TRect(m->X1, m->Y1, m->X2, m->Y2), TRect(100, 30, 139, 59)) << int(mode);
    EXPECT_FALSE(Sel(99, 45));
    view->Deselect();
  }
}

TEST_F(ViewMouse, ZoomClicks) {
  view->SetMouseInteract({MI::miZoom});
  struct Case {
    double From;
    TMouseButton B;
    double To;
  } cases[] = {{60, TMouseButton::mbLeft, 75},   {150, TMouseButton::mbLeft, 250}, {150, TMouseButton::mbRight, 100},
               {1.5, TMouseButton::mbRight, 2}, {250, TMouseButton::mbRight, 150}};
  for (const Case& c : cases) {
    view->SetZoom(c.From);
    Click(50, 50, c.B);
    EXPECT_DOUBLE_EQ(view->ZoomX(), c.To) << c.From;
  }
  view->SetZoom(100);
  view->OnZoomIn = [&](TObject*, double& Z) { Z = view->ZoomX(); };
  Click(50, 50);
  EXPECT_DOUBLE_EQ(view->ZoomX(), 100);
}

TEST_F(ViewMouse, DragScrolls) {
  view->CurrentBitmap()->Allocate(1000, 800, TQxPixelFormat::qx24RGB);
  view->UpdateView();
  view->SetMouseInteract({MI::miScroll});
  Drag(200, 200, 150, 170);
  EXPECT_EQ(view->ViewOriginX(), 50);
  EXPECT_EQ(view->ViewOriginY(), 30);
}

TEST_F(ViewMouse, LayerMovedWithEventsAndUndo) {
  const int32_t li = AddLayer(50, 40, 30, 30);
  view->SetMouseInteract({MI::miMoveLayers});
  view->LayerUndo = true;
  std::vector<TQxLayerEvent> events;
  view->OnLayerNotify = [&](TObject*, int32_t L, TQxLayerEvent E) {
    EXPECT_EQ(L, li);
    events.push_back(E);
  };
  Drag(40, 40, 60, 50);
  TQxLayer* l = view->GetLayer(li);
  EXPECT_EQ(TPoint(l->PosX, l->PosY), TPoint(50, 40));
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events.front(), TQxLayerEvent::qxlSelected);
  EXPECT_EQ(events[1], TQxLayerEvent::qxlBeginMoving);
  EXPECT_EQ(events[2], TQxLayerEvent::qxlMoving);
  EXPECT_EQ(events.back(), TQxLayerEvent::qxlMoved);
  EXPECT_EQ(view->CurrentLayerIndex(), li);
  EXPECT_TRUE(view->HintText().empty());
  view->GetProc()->Undo();
  l = view->GetLayer(li);
  EXPECT_EQ(TPoint(l->PosX, l->PosY), TPoint(30, 30));

  // A locked layer becomes current but stays where it is.
  l->Locked = true;
  events.clear();
  Drag(40, 40, 70, 70);
  EXPECT_EQ(TPoint(l->PosX, l->PosY), TPoint(30, 30));
  for (TQxLayerEvent e : events) EXPECT_NE(e, TQxLayerEvent::qxlMoving);
}

TEST_F(ViewMouse, LayerResizedByGripsWithUndo) {
  const int32_t li = AddLayer(50, 40, 30, 30);
  view->SetMouseInteract({MI::miResizeLayers});
  view->SetCurrentLayer(li);
  view->LayerUndo = true;
  TQxLayer* l = view->GetLayer(li);
  EXPECT_EQ(l->DrawnRect, TRect(30, 30, 80, 70));
  EXPECT_EQ(view->LayerGripAt(80, 70), 3);
  EXPECT_EQ(view->LayerGripAt(55, 30), 7);
  Run();
  EXPECT_TRUE(Headless::SaveWindowPng(form.get(), "screenshots/view_layer_grips.png"));
  Drag(80, 70, 90, 90);
  EXPECT_EQ(l->DisplayWidth(), 60);
  EXPECT_EQ(l->DisplayHeight(), 60);
  view->GetProc()->Undo();
  l = view->GetLayer(li);
  EXPECT_EQ(l->DisplayWidth(), 50);
  EXPECT_EQ(l->DisplayHeight(), 40);
  // The top-left grip moves the position and keeps the far corner.
  view->PaintView();
  Drag(30, 30, 20, 25);
  EXPECT_EQ(TRect(l->PosX, l->PosY, l->DisplayWidth(), l->DisplayHeight()), TRect(20, 25, 60, 45));
  // A side grip dragged over the opposite side stops at a width of 1.
  view->PaintView();
  const TRect d = l->DrawnRect;
  Drag(d.Right, (d.Top + d.Bottom) / 2, d.Left - 30, (d.Top + d.Bottom) / 2);
  EXPECT_EQ(l->DisplayWidth(), 1);
  // With Alt the ratio holds.
  l->Width = 40;
  l->Height = 20;
  l->PosX = 10;
  l->PosY = 10;
  view->UpdateView();
  view->PaintView();
  Drag(50, 30, 70, 30, TShiftState(ssAlt));
  EXPECT_EQ(l->DisplayWidth(), 60);
  EXPECT_EQ(l->DisplayHeight(), 30);
}

TEST_F(ViewMouse, LayerRotatedInStepsWithUndoAndCentreGrip) {
  const int32_t li = AddLayer(40, 40, 80, 50);
  view->SetCurrentLayer(li);
  view->SetMouseInteract({MI::miResizeLayers});
  // The centre grip counts only when rotating.
  EXPECT_EQ(view->LayerGripAt(100, 70), 0);
  view->SetMouseInteract({MI::miRotateLayers});
  EXPECT_EQ(view->LayerGripAt(100, 70), 9);
  view->LayerUndo = true;
  std::vector<TQxLayerEvent> events;
  view->OnLayerNotify = [&](TObject*, int32_t, TQxLayerEvent E) { events.push_back(E); };
  // Pressed outside the layer and dragged: the angle follows, in whole steps of 45 with Shift.
  Drag(150, 10, 150, 290, TShiftState(ssShift), 8);
  TQxLayer* l = view->GetLayer(li);
  EXPECT_EQ(l->RotationAngle, -45);
  EXPECT_EQ(events.back(), TQxLayerEvent::qxlRotated);
  // Without Shift, a drag of 60 pixels down right of the centre turns by 15 degrees.
  view->GetProc()->Undo();
  l = view->GetLayer(li);
  EXPECT_EQ(l->RotationAngle, 0);
  view->PaintView();
  Drag(150, 20, 150, 80);
  EXPECT_DOUBLE_EQ(l->RotationAngle, -15);
  // The centre grip dragged moves the rotation centre.
  view->SetMouseInteract({});
  view->SetMouseInteract({MI::miRotateLayers});
  l = view->GetLayer(li);
  view->UpdateView();
  view->PaintView();
  TRect r[9];
  view->LayerGripRects(li, r);
  const int32_t gx = (r[8].Left + r[8].Right) / 2, gy = (r[8].Top + r[8].Bottom) / 2;
  Drag(gx, gy, l->DrawnRect.Left + 10, l->DrawnRect.Top + 10);
  EXPECT_NEAR(l->RotationCenterX, 10.0 / l->Bitmap->Width(), 0.05);
}

TEST_F(ViewMouse, KeysAndDialogCodes) {
  EXPECT_EQ(view->Perform(WM_GETDLGCODE, 0, 0) & (DLGC_WANTARROWS | DLGC_WANTTAB), DLGC_WANTARROWS | DLGC_WANTTAB);
  view->SetFocus();
  EXPECT_EQ(view->Cursor(), 1785);
  Headless::KeyDown(form.get(), VK_SHIFT, TShiftState(ssShift));
  Run();
  EXPECT_EQ(view->Cursor(), 1791);
  Headless::KeyUp(form.get(), VK_SHIFT);
  Run();
  EXPECT_EQ(view->Cursor(), 1785);
  // Arrows reach the view's key handler.
  uint16_t got = 0;
  view->OnKeyDown = [&](TObject*, uint16_t& K, TShiftState) { got = K; };
  Headless::Key(form.get(), VK_LEFT);
  Run();
  EXPECT_EQ(got, VK_LEFT);
}

TEST_F(ViewMouse, SelectionShadingFilledAndMarkOuter) {
  view->CurrentBitmap()->Fill(TColor(0x404040));
  view->UpdateView();
  view->SelectRect(10, 10, 30, 30, 0);
  TQxSelectionOptions o = view->SelectionOptions();
  o.Include(SO::qxsoMarkOuter);
  view->SetSelectionOptions(o);
  view->PaintView();
  TQxBitmap* bb = view->BackBuffer();
  EXPECT_EQ(Px(bb, 20, 20).r, 0x40);  // inside: as it is
  const TQxRGB out1 = Px(bb, 50, 50), out2 = Px(bb, 51, 50);
  EXPECT_TRUE(out1.r != 0x40 || out2.r != 0x40);  // outside: the checker shading
  Run();
  EXPECT_TRUE(Headless::SaveWindowPng(form.get(), "screenshots/view_selection_mark_outer.png"));
  o.Exclude(SO::qxsoMarkOuter);
  o.Include(SO::qxsoFilled);
  view->SetSelectionOptions(o);
  view->PaintView();
  EXPECT_EQ(Px(bb, 20, 20).r, 0xBF);  // inverted inside
  EXPECT_EQ(Px(bb, 50, 50).r, 0x40);
  Run();
  EXPECT_TRUE(Headless::SaveWindowPng(form.get(), "screenshots/view_selection_filled.png"));
}

TEST_F(ViewMouse, OutlineRecordsAndGridDuringDrag) {
  EXPECT_EQ(view->OutlineRecordCount(), 1);
  TQxSelectionOutline* extra = view->CreateOutlineRecord(clRed, clBlue, false, false);
  extra->Points = {{150, 100}, {190, 100}, {190, 140}, {150, 140}};
  int drawn = 0;
  view->OnDrawPolygon = [&](TObject*, int32_t Polygon, int32_t, TCanvas*, int32_t, int32_t) {
    if (Polygon == 1) ++drawn;
  };
  view->PaintView();
  Run();
  EXPECT_EQ(drawn, 4);
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(form.get(), 150, 100)), clRed);
  view->SelectionGridSize = 3;
  view->SetMouseInteract({MI::miSelect});
  Headless::MouseDown(form.get(), 10, 10);
  Headless::MouseMove(form.get(), 70, 70);
  Run();
  // Two grid lines each way at a third and two thirds, while the drag lasts.
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(form.get(), 40, 29)), TColor(0xA0A0A0));
  Headless::MouseUp(form.get(), 70, 70);
  Run();
  Application->ProcessMessages();
  EXPECT_NE(ColorToRGB(Headless::PixelAt(form.get(), 40, 29)), TColor(0xA0A0A0));
  EXPECT_TRUE(Headless::SaveWindowPng(form.get(), "screenshots/view_selection_grips.png"));
}

}  // namespace

TEST(MaskCopyAlpha, UnselectedPixelsOfTheBoxKeepTheirAlpha) {
  TQxMask m;
  m.Allocate(4, 1, 1);
  m.SetPixel(0, 0, 1);
  m.SetPixel(3, 0, 1);
  m.SyncBoundingBox();
  TQxBitmap dest(4, 1, TQxPixelFormat::qx24RGB), work(4, 1, TQxPixelFormat::qx24RGB);
  dest.GetAlphaChannel()->Fill(200);
  work.GetAlphaChannel()->Fill(10);
  m.CopyAlpha(&dest, &work, false, false);
  TQxBitmap* a = dest.GetAlphaChannel();
  EXPECT_EQ(a->Scanline(0)[0], 10);
  EXPECT_EQ(a->Scanline(0)[1], 200);
  EXPECT_EQ(a->Scanline(0)[2], 200);
  EXPECT_EQ(a->Scanline(0)[3], 10);
}

namespace {

TEST_F(ViewMouse, SelectionUndoneFromBeforeChangeEvent) {
  // An application that keeps an undo entry of the selection before each mouse change can take it back.
  view->SetMouseInteract({MI::miSelect});
  view->OnBeforeSelectionChange = [&](TObject*) { view->GetProc()->SaveUndo(TQxUndoSource::qxuSelection); };
  Drag(10, 10, 40, 40);
  Drag(100, 50, 150, 90);
  EXPECT_TRUE(Sel(120, 70));
  EXPECT_FALSE(Sel(20, 20));
  view->GetProc()->Undo();
  EXPECT_TRUE(Sel(20, 20));
  EXPECT_FALSE(Sel(120, 70));
}

TEST_F(ViewMouse, DragPastTheEdgeScrollsAndMovingScrollFollowsThePointer) {
  view->CurrentBitmap()->Allocate(1000, 800, TQxPixelFormat::qx24RGB);
  view->CurrentBitmap()->Fill(0);
  view->UpdateView();
  view->SetMouseInteract({MI::miSelect});
  Headless::MouseMove(form.get(), 100, 100);
  Headless::MouseDown(form.get(), 100, 100);
  Headless::MouseMove(form.get(), 200, 150);
  Headless::MouseMove(form.get(), 420, 150);  // past the view's right edge
  Headless::MouseUp(form.get(), 420, 150);
  Run();
  EXPECT_GT(view->ViewOriginX(), 0);
  EXPECT_EQ(view->ViewOriginY(), 0);
  // The drag start moved with the picture: the selection begins where the press was.
  EXPECT_EQ(Points()[0], TPoint(100, 100));
  EXPECT_GT(Points()[1].X, 400);

  view->SetMouseInteract({MI::miMovingScroll});
  view->SetViewOrigin(0, 0);
  Headless::MouseMove(form.get(), 390, 290);
  Run();
  for (int i = 0; i < 100 && view->SmoothScrolling(); ++i) {
    AdvanceUiClock(50);
    Run();
  }
  int32_t mx = 0, my = 0;
  view->GetMaxViewOrigin(mx, my);
  EXPECT_GT(view->ViewOriginX(), mx * 3 / 4);
  EXPECT_GT(view->ViewOriginY(), my * 3 / 4);
}

TEST_F(ViewMouse, ShiftAddsEllipseAndWandRegions) {
  view->SetMouseInteract({MI::miSelectCircle});
  Drag(40, 40, 60, 60);
  Drag(140, 40, 160, 60, TShiftState(ssShift));
  EXPECT_TRUE(Sel(40, 40));
  EXPECT_TRUE(Sel(140, 40));
  // Shift-dragging inside a selection adds rather than moving it.
  EXPECT_EQ(view->InsideSelectionForMove(40, 40, TShiftState(ssShift)), -1);
  EXPECT_EQ(view->InsideSelectionForMove(40, 40, {}), 0);
  TQxSelectionOptions o = view->SelectionOptions();
  o.Exclude(SO::qxsoMoveable);
  view->SetSelectionOptions(o);
  EXPECT_EQ(view->InsideSelectionForMove(40, 40, {}), -1);
}

}  // namespace

namespace {

TEST_F(ViewMouse, ZoomRectangleKeepsTheSelection) {
  view->SelectRect(5, 5, 15, 15, 0);
  view->SetMouseInteract({MI::miSelectZoom});
  Drag(20, 20, 120, 95);
  // 100 x 75 pixels fill the 400 x 300 control at 400 %.
  EXPECT_DOUBLE_EQ(view->ZoomX(), 400);
  EXPECT_TRUE(Sel(10, 10));
  EXPECT_FALSE(Sel(50, 50));
}

TEST_F(ViewMouse, HoverEventsCursorsAndRightButtonClose) {
  view->SelectRect(10, 10, 50, 50, 0);
  view->SetMouseInteract({MI::miSelect});
  int inSel = 0;
  view->OnMouseInSel = [&](TObject*) { ++inSel; };
  Headless::MouseMove(form.get(), 30, 30);
  Headless::MouseMove(form.get(), 100, 100);
  Run();
  EXPECT_EQ(inSel, 1);
  EXPECT_EQ(view->Cursor(), 1785);
  Headless::MouseMove(form.get(), 100, 101, TShiftState(ssShift));
  Run();
  EXPECT_EQ(view->Cursor(), 1791);

  // Rotation cursors by the quadrant around the current layer's centre.
  const int32_t li = AddLayer(40, 40, 80, 50);
  view->SetCurrentLayer(li);
  view->SetMouseInteract({MI::miRotateLayers});
  struct Q {
    int32_t X, Y;
    TCursor C;
  } qs[] = {{60, 30, 1814}, {60, 120, 1811}, {150, 30, 1812}, {150, 120, 1813}, {100, 70, 1785}};
  for (const Q& q : qs) {
    Headless::MouseMove(form.get(), q.X, q.Y);
    Run();
    EXPECT_EQ(view->Cursor(), q.C) << q.X << "," << q.Y;
  }

  // A right click ends a polygon when the options say so.
  view->SetCurrentLayer(0);
  view->SetMouseInteract({MI::miSelectPolygon});
  TQxSelectionOptions o = view->SelectionOptions();
  o.Include(SO::qxsoRightButtonTerminatePolySelect);
  view->SetSelectionOptions(o);
  Click(10, 100);
  Click(60, 100);
  Click(60, 140);
  EXPECT_TRUE(view->PolygonOpen());
  Click(100, 100, TMouseButton::mbRight);
  EXPECT_FALSE(view->PolygonOpen());
  EXPECT_TRUE(Sel(55, 105));
}

}  // namespace

namespace {

TEST_F(ViewMouse, MovingRectangleShowsItsOutlineAndGrid) {
  view->CurrentBitmap()->Fill(TColor(0x808080));
  view->UpdateView();
  view->SetMouseInteract({MI::miSelect});
  view->SelectionGridSize = 2;
  Drag(20, 20, 60, 40);
  Headless::MouseMove(form.get(), 40, 30);
  Headless::MouseDown(form.get(), 40, 30);
  Headless::MouseMove(form.get(), 50, 35);
  Run();
  EXPECT_EQ(view->SelectionMoveState(), 0);
  // The outline's top edge at its new place, its old one gone, and the grid's middle line.
  int dashes = 0;
  for (int32_t x = 30; x < 49; ++x) {  // the grid's vertical line crosses at 49
    const TColor c = ColorToRGB(Headless::PixelAt(form.get(), x, 25));
    dashes += c == clBlack || c == clWhite;
  }
  EXPECT_EQ(dashes, 19);
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(form.get(), 25, 20)), TColor(0x808080));
  EXPECT_EQ(ColorToRGB(Headless::PixelAt(form.get(), 40, 34)), TColor(0xA0A0A0));
  Headless::MouseUp(form.get(), 50, 35);
  Run();
  EXPECT_TRUE(Sel(30, 25));
  EXPECT_FALSE(Sel(29, 25));
}

}  // namespace

namespace {

TEST_F(ViewMouse, DraggingTheLinkedViewsRectangleScrollsTheMainView) {
  view->CurrentBitmap()->Allocate(800, 600, TQxPixelFormat::qx24RGB);
  view->CurrentBitmap()->Fill(TColor(0x336699));
  view->UpdateView();
  auto* linked = new TQuillotView(form.get());
  linked->SetBorderStyle(TBorderStyle::bsNone);
  linked->SetCenter(false);
  linked->SetParent(form.get());
  linked->SetBounds(420, 0, 160, 120);
  view->SetLinkedView(linked, 0);
  linked->UpdateView();
  Run();
  // The linked view shows the whole picture at 20 %; its rectangle is the main view's visible part.
  ASSERT_DOUBLE_EQ(linked->ZoomX(), 20);
  EXPECT_EQ(linked->SelectionBoxLeft(), 0);
  EXPECT_EQ(linked->SelectionBoxRight(), view->ScreenToBitmapX(view->ImageLeft() + view->VisibleWidth()) - 1);
  // Pressed inside the rectangle and dragged 20 client pixels right and 10 down: 100 and 50 picture pixels.
  Drag(420 + 30, 20, 420 + 50, 30);
  EXPECT_EQ(view->ViewOriginX(), 100);
  EXPECT_EQ(view->ViewOriginY(), 50);
  EXPECT_EQ(linked->SelectionBoxLeft(), 100);
  view->SetLinkedView(nullptr, 0);
}

}  // namespace
