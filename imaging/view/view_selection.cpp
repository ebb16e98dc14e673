// TQuillotView: selection, mouse interaction, outline and layer-box members, and the layers file.
// The selection, the drawn outline and the grips are not built yet: these members keep their final shape,
// answer "no selection" and change nothing. The outline pass that follows every paint already runs its
// timer and the delayed-filter countdowns; the layer box and the dimming around a layer are drawn.
#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/view/view.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

// ---- selection ----

void TQuillotView::SetSelectionOptions(TQxSelectionOptions Value) { FSelectionOptions = Value; }

void TQuillotView::SelectRect(int32_t, int32_t, int32_t, int32_t, uint8_t) {}
void TQuillotView::AddSelectionPoint(int32_t, int32_t) {}
void TQuillotView::CommitSelection() {}

void TQuillotView::Deselect() {
  FSelected = false;
  FPolySelPoints.clear();
  if (FSelectionMask) FSelectionMask->Clear();
}

int32_t TQuillotView::SelectionBoxLeft() {
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->X1 : -1;
}
int32_t TQuillotView::SelectionBoxTop() {
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->Y1 : -1;
}
int32_t TQuillotView::SelectionBoxRight() {
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->X2 : -1;
}
int32_t TQuillotView::SelectionBoxBottom() {
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->Y2 : -1;
}

void TQuillotView::SaveSelectionToStream(TStream*) {}
bool TQuillotView::LoadSelectionFromStream(TStream*, int32_t) { return false; }
const TPoint* TQuillotView::PolySelPoints() const { return FPolySelPoints.empty() ? nullptr : FPolySelPoints.data(); }
int32_t TQuillotView::PolySelCount() const { return int32_t(FPolySelPoints.size()); }

// ---- mouse interaction ----

void TQuillotView::SetMouseInteract(TQxMouseInteract Value) { FMouseInteract = Value; }
void TQuillotView::ShiftDragOrigin(int32_t DX, int32_t DY) { SetViewOrigin(FViewOriginX + DX, FViewOriginY + DY); }

// ---- outline, grips, layer boxes ----

void TQuillotView::EnsureOutlineTimer() {
  if (FOutlineTimer) return;
  FOutlineTimer = new TTimer(nullptr);
  FOutlineTimer->SetEnabled(false);
  FOutlineTimer->SetInterval(210);
  FOutlineTimer->SetOnTimer([this](TObject*) { OutlineTimerTick(); });
}

void TQuillotView::OutlineTimerTick() { PaintSelection(FOutlineTimer, true); }

void TQuillotView::PaintSelection(TComponent*, bool) {
  // No outline record is drawn yet, so no pass is animated.
  const bool animated = false;
  if (FHasOwner || HasParentWindow()) {
    EnsureOutlineTimer();
    FOutlineTimer->SetEnabled(animated || FFastPaintsLeft != 0 || FOutlineSkipsLeft != 0);
  }
  if (FFastPaintsLeft > 0) {
    --FFastPaintsLeft;
    if (FFastPaintsLeft == 0) UpdateView();
  }
  if (FOutlineSkipsLeft > 0) --FOutlineSkipsLeft;
}

void TQuillotView::DrawSelectionGrid(int32_t, int32_t, int32_t, int32_t) {}
void TQuillotView::DrawRubberSegment() {}
int32_t TQuillotView::SelectionGripAt(int32_t, int32_t) { return 0; }
int32_t TQuillotView::LayerGripAt(int32_t, int32_t) { return 0; }
void TQuillotView::LayerGripRects(int32_t, TRect Rects[9]) {
  for (int i = 0; i < 9; ++i) Rects[i] = TRect();
}
void TQuillotView::DrawLayerBox(TBitmap* ABitmap, int32_t Index) {
  if (OnDrawLayerBox) {
    OnDrawLayerBox(this, ABitmap, Index);
    return;
  }
  if (!ABitmap || Index < 0 || Index >= LayerCount()) return;
  TQxLayer* l = FLayers[size_t(Index)];
  TCanvas* c = ABitmap->Canvas();
  c->Pen()->SetStyle(TPenStyle::psDot);
  c->Pen()->SetMode(TPenMode::pmNot);
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(TBrushStyle::bsClear);
  if (l->RotationAngle != 0)
    c->Polygon(l->Outline, 4);
  else
    c->Rectangle(l->DrawnRect);
  c->Pen()->SetMode(TPenMode::pmCopy);
  c->Pen()->SetStyle(TPenStyle::psSolid);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
}
void TQuillotView::DrawLayerGrips(TBitmap*, int32_t) {}
void TQuillotView::DrawRotationGrip(TBitmap*, int32_t) {}
void TQuillotView::DimOutsideLayer(TBitmap* ABitmap, int32_t Index) {
  if (!ABitmap || ABitmap->PixelFormat() != TPixelFormat::pf24bit || Index < 0 || Index >= LayerCount()) return;
  const TRect& r = FLayers[size_t(Index)]->DrawnRect;
  for (int32_t y = 0; y < ABitmap->Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(ABitmap->ScanLine(y));
    for (int32_t x = 0; x < ABitmap->Width(); ++x) {
      if (x >= r.Left && x <= r.Right && y >= r.Top && y <= r.Bottom) continue;
      if (((x ^ y) & 1) == 0) row[size_t(x) * 3] = row[size_t(x) * 3 + 1] = row[size_t(x) * 3 + 2] = 97;
    }
  }
  ABitmap->Modified();
}

