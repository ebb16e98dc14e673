// Selection: rectangles and their limits, ratios, added polygons, the magic wand, moving, the selection
// stream and stack, and a selection keeping its place across a layer switch.
#include <vector>

#include "imaging/foundation/mask.h"
#include "platform/base/streams.h"
#include "view_fixture.h"

namespace {

// A 100 x 80 picture shown at 100 %, selections given in bitmap pixels.
std::unique_ptr<TQuillotView> BitmapView() {
  auto v = MakeView(100, 80, 100, 80);
  v->SetSelectionBase(TQxSelectionBase::qxsbBitmap);
  return v;
}

std::vector<TPoint> Points(TQuillotView* v) {
  return std::vector<TPoint>(v->PolySelPoints(), v->PolySelPoints() + v->PolySelCount());
}

}  // namespace

TEST(Selection, RectanglesAreClampedAndDegenerateOnesAddNothing) {
  auto v = BitmapView();
  v->SelectRect(-5, 10, 150, 30, 0);
  ASSERT_TRUE(v->Selected());
  EXPECT_EQ(Points(v.get()), (std::vector<TPoint>{{0, 10}, {100, 10}, {100, 30}, {0, 30}}));
  TQxMask* m = v->SelectionMask();
  EXPECT_TRUE(m->IsSelected(0, 10));
  EXPECT_TRUE(m->IsSelected(99, 29));
  EXPECT_FALSE(m->IsSelected(50, 35));

  // A degenerate rectangle adds nothing, but SelectRect still clears the mask and renders the polygon.
  const std::vector<TPoint> before = Points(v.get());
  v->SelectRectEx(10, 10, 10, 50, 0, false, false);
  EXPECT_EQ(Points(v.get()), before);
  m->Clear();
  m->SetPixel(70, 70, 1);
  m->SyncBoundingBox();
  v->SelectRect(10, 10, 10, 50, 0);
  EXPECT_FALSE(m->IsSelected(70, 70));
  EXPECT_TRUE(m->IsSelected(5, 20));
}

TEST(Selection, AspectRatioAndAddedRectanglesKeepOneSeparator) {
  auto v = BitmapView();
  v->SetSelectionRatio(0.5);
  v->SelectRectEx(0, 0, 100, 10, 0, false, false);
  EXPECT_EQ(Points(v.get()), (std::vector<TPoint>{{0, 0}, {100, 0}, {100, 50}, {0, 50}}));

  v->SetSelectionRatio(-1);
  v->SelectRect(0, 0, 10, 10, 0);
  v->SelectRect(20, 20, 30, 30, 1);
  v->BeginNewPolygon();
  v->BeginNewPolygon();  // a second separator in a row is never added
  const std::vector<TPoint> p = Points(v.get());
  int separators = 0;
  for (const TPoint& q : p) separators += q.X == 0xFFFFF && q.Y == 0xFFFFF;
  EXPECT_EQ(separators, 2);
  v->RemoveTrailingPoint();
  ASSERT_GT(v->PolySelCount(), 0);
  EXPECT_FALSE(Points(v.get()).back().X == 0xFFFFF) << "no polygon ends with a separator";
  EXPECT_TRUE(v->SelectionMask()->IsSelected(5, 5));
  EXPECT_TRUE(v->SelectionMask()->IsSelected(25, 25));
  v->RemoveLastPolygon();
  EXPECT_EQ(v->PolySelCount(), 4);
  v->Deselect();
  EXPECT_FALSE(v->Selected());
  EXPECT_TRUE(v->SelectionMask()->IsEmpty());
}

TEST(Selection, MagicWandOutlinesOrFillsTheRegionUnderTheSeed) {
  for (uint8_t mode : {0, 1, 2}) {
    auto v = BitmapView();
    TQxBitmap* b = v->CurrentBitmap();
    b->Fill(0xFFFFFF);
    b->FillRect(20, 10, 39, 29, 0x0000FF);  // a red square
    v->MagicWandMode = mode;
    v->MagicWandSelect(25, 15, false);
    ASSERT_TRUE(v->Selected()) << int(mode);
    TQxMask* m = v->SelectionMask();
    EXPECT_TRUE(m->IsSelected(30, 20)) << int(mode);
    EXPECT_FALSE(m->IsSelected(50, 50)) << int(mode);
    EXPECT_FALSE(m->IsSelected(10, 5)) << int(mode);
    v->MagicWandSelect(500, 500, false);  // outside: ignored
    EXPECT_TRUE(v->Selected());
  }
}

TEST(Selection, MovingARectangleMovesItsPixels) {
  auto v = BitmapView();
  v->SelectRect(10, 10, 20, 20, 0);
  v->MoveSelectionBy(5, -3);
  TQxMask* m = v->SelectionMask();
  EXPECT_TRUE(m->IsSelected(15, 7));
  EXPECT_FALSE(m->IsSelected(12, 18));
  EXPECT_EQ(Points(v.get()).front(), (TPoint{15, 7}));
  // Without cutting, a move past the edge stops at it.
  v->MoveSelectionBy(500, 0);
  EXPECT_EQ(Points(v.get())[1].X, 100);
}

TEST(Selection, StreamStackAndLayerSwitch) {
  auto v = BitmapView();
  EXPECT_FALSE(v->PopSelection(true, 0));
  v->SelectRect(10, 10, 20, 20, 0);
  TMemoryStream s;
  v->SaveSelectionToStream(&s);
  EXPECT_EQ(s.Size(), 58 + 8 * 4 + int64_t(80) * v->SelectionMask()->RowLength());
  v->Deselect();
  s.SetPosition(0);
  EXPECT_TRUE(v->LoadSelectionFromStream(&s, 0));
  EXPECT_TRUE(v->Selected());
  EXPECT_TRUE(v->SelectionMask()->IsSelected(15, 15));

  // A selection on a layer at (10, 20) keeps its place over the picture on a layer at (0, 0).
  v->AddLayer();
  v->CurrentLayer()->PosX = 10;
  v->CurrentLayer()->PosY = 20;
  v->SelectRect(0, 0, 5, 5, 0);
  v->SetCurrentLayer(0);
  TQxMask* m = v->SelectionMask();
  EXPECT_TRUE(m->IsSelected(12, 22));
  EXPECT_FALSE(m->IsSelected(2, 2));
  EXPECT_FALSE(v->PopSelection(true, 2)) << "the switch took its own entry back";
}

// Grips of a rectangle selection and of the current layer, found under the mouse.
TEST(SelectionGrips, HitTestsFindCornersSidesAndTheRotationCentre) {
  auto v = BitmapView();  // 100 % with the picture filling the client: client = bitmap pixels
  v->SelectRect(20, 10, 60, 40, 0);
  EXPECT_EQ(v->SelectionGripAt(20, 10), 1);
  EXPECT_EQ(v->SelectionGripAt(64, 36), 3);  // within the grip's size
  EXPECT_EQ(v->SelectionGripAt(21, 25), 5);  // near the left side
  EXPECT_EQ(v->SelectionGripAt(40, 41), 8);
  EXPECT_EQ(v->SelectionGripAt(40, 25), 0);
  v->Deselect();
  EXPECT_EQ(v->SelectionGripAt(20, 10), 0);

  v->AddLayer();
  v->CurrentLayer()->Bitmap->Allocate(40, 20, TQxPixelFormat::qx24RGB);
  v->CurrentLayer()->PosX = 10;
  v->CurrentLayer()->PosY = 10;
  v->UpdateView();
  v->PaintClientRect(TRect(0, 0, 100, 80));
  TRect r[9];
  v->LayerGripRects(1, r);
  EXPECT_EQ(r[0], TRect(5, 5, 15, 15));
  EXPECT_EQ(r[5], TRect(45, 15, 55, 25));  // the middle of the right side
  EXPECT_EQ(v->LayerGripAt(50, 30), 3);
  EXPECT_EQ(v->LayerGripAt(30, 20), 0) << "the rotation centre counts only while layers may be turned";
  TQxMouseInteract mi = v->MouseInteract();
  mi.Include(TQxMouseInteractItems::miRotateLayers);
  v->SetMouseInteract(mi);
  EXPECT_EQ(v->LayerGripAt(30, 20), 9);

  std::vector<int32_t> grips;
  v->OnDrawLayerGrip = [&](TObject*, TBitmap*, int32_t, int32_t Grip, TRect) { grips.push_back(Grip); };
  TBitmap b(100, 80, TPixelFormat::pf24bit);
  v->DrawLayerGrips(&b, 1);
  EXPECT_EQ(grips, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(b.Canvas()->Pixels(10, 10), clWhite) << "a handler replaces the default grips";
}
