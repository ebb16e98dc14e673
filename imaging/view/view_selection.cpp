// TQuillotView: the selection: rectangles, ellipses, polygons and the magic wand built into the polygon and
// the mask, moving and resizing it, the selection stream and stack, and the steps of the mouse's drags.
#include <algorithm>
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/filters.h"
#include "imaging/view/view.h"
#include "imaging/view/view_internal.h"
#include "platform/base/clock.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

// ---- selection ----

namespace {



// A short read leaves the value as it was.
template <typename T>
void Get(TStream* S, T& V) {
  T v;
  if (S->Read(&v, sizeof(T)) == int64_t(sizeof(T))) V = v;
}

}  // namespace

void TQuillotView::SetSelectionOptions(TQxSelectionOptions Value) {
  FSelectionOptions = Value;
  if (FSelOutline) {
    FSelOutline->Animated = Value.Contains(TQxSelectionOptionsItems::qxsoAnimated);
    FSelOutline->Sizeable = Value.Contains(TQxSelectionOptionsItems::qxsoSizeable);
  }
  ChangeKind = 3;
  UpdateView();
}

void TQuillotView::MapToLayer(int32_t& X, int32_t& Y) {
  if (FSelectionBase != TQxSelectionBase::qxsbClientArea) return;
  if (TQxLayer* l = CurrentLayer()) {
    X = l->ClientToLayerX(X);
    Y = l->ClientToLayerY(Y);
  }
}

void TQuillotView::AppendSelectionPoint(TPoint P) {
  FPolySelPoints.push_back(P);
  if (QxIsPolygonSeparator(P)) return;
  if (FPolySelPoints.size() == 2 && !QxIsPolygonSeparator(FPolySelPoints[0])) {
    FPolyX1 = std::min(FPolySelPoints[0].X, P.X);
    FPolyX2 = std::max(FPolySelPoints[0].X, P.X);
    FPolyY1 = std::min(FPolySelPoints[0].Y, P.Y);
    FPolyY2 = std::max(FPolySelPoints[0].Y, P.Y);
  } else if (FPolySelPoints.size() > 2) {
    FPolyX1 = std::min(FPolyX1, P.X);
    FPolyX2 = std::max(FPolyX2, P.X);
    FPolyY1 = std::min(FPolyY1, P.Y);
    FPolyY2 = std::max(FPolyY2, P.Y);
  }
}

void TQuillotView::SelectRectEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Op, bool Square,
                                bool KeepInside) {
  if (X1 == X2 || Y1 == Y2) return;
  MapToLayer(X1, Y1);
  MapToLayer(X2, Y2);
  const int32_t w = FCurrentBitmap ? FCurrentBitmap->Width() : 0, h = FCurrentBitmap ? FCurrentBitmap->Height() : 0;
  FSelected = true;
  if (Op == 1 && !FPolySelPoints.empty())
    BeginNewPolygon();
  else
    ClearPolygon();
  if (Op == 0 && FSelectionMask) FSelectionMask->Clear();
  const double ratio = FSelectionAspectRatio;
  if (Square && ratio == -1) {
    Y2 = Y1 + (X2 - X1);
  } else if (ratio > 0) {
    Y2 = Y1 + int32_t(Round((X2 - X1) * ratio));
    if (Y2 >= h)
      X2 = int32_t(Round((h - Y1 - 1 + X1 * ratio) / ratio));
    else if (Y2 < 0)
      X2 = int32_t(Round((X1 * ratio - Y1) / ratio));
  }
  if (KeepInside) {
    const int32_t dw = std::abs(X2 - X1), dh = std::abs(Y2 - Y1);
    int32_t left = std::min(X1, X2), top = std::min(Y1, Y2);
    left = std::clamp(left, 0, std::max(w - 1 - dw, 0));
    top = std::clamp(top, 0, std::max(h - 1 - dh, 0));
    const bool flipX = X1 > X2, flipY = Y1 > Y2;
    X1 = flipX ? left + dw : left;
    X2 = flipX ? left : left + dw;
    Y1 = flipY ? top + dh : top;
    Y2 = flipY ? top : top + dh;
  }
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  X1 = std::clamp(X1, 0, std::max(w - 1, 0));
  Y1 = std::clamp(Y1, 0, std::max(h - 1, 0));
  X2 = std::clamp(X2, 0, w);
  Y2 = std::clamp(Y2, 0, h);
  AppendSelectionPoint({X1, Y1});
  AppendSelectionPoint({X2, Y1});
  AppendSelectionPoint({X2, Y2});
  AppendSelectionPoint({X1, Y2});
  FOutlineVisible = true;
}

void TQuillotView::SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Op) {
  if (FIsLinkedView) IncPaintLock();
  SelectRectEx(X1, Y1, X2, Y2, Op, false, false);
  if (Op == 0 && FSelectionMask) FSelectionMask->Clear();
  CommitSelection();
  if (!FIsLinkedView) {
    FBufferDirty = true;
    PaintView();
  } else {
    DecPaintLock();
    PaintSelection(this, true);
    PaintView();
    PaintSelection(this, true);
  }
}

void TQuillotView::AddSelectionPoint(int32_t X, int32_t Y) {
  if (FSelectionBase == TQxSelectionBase::qxsbClientArea && FCurrentBitmap) {
    MapToLayer(X, Y);
    X = std::clamp(X, 0, FCurrentBitmap->Width());
    Y = std::clamp(Y, 0, FCurrentBitmap->Height());
  }
  AppendSelectionPoint({X, Y});
  FSelected = true;
  FPolygonOpen = true;
  FOutlineVisible = true;
  PaintSelection(this, true);
  Invalidate();
}

void TQuillotView::BeginNewPolygon() {
  if (!FPolySelPoints.empty() && !QxIsPolygonSeparator(FPolySelPoints.back()))
    AppendSelectionPoint({TQxMask::PolygonSeparator, TQxMask::PolygonSeparator});
}

void TQuillotView::CommitSelection() {
  if (!FSelectionMask) return;
  if (!FPolySelPoints.empty())
    FSelectionMask->FillPolygons(SelectionMaskValue, FPolySelPoints.data(), int32_t(FPolySelPoints.size()));
  if (FSelectionMask->IsEmpty()) {
    FSelected = false;
    ClearPolygon();
  }
}

void TQuillotView::MagicWandSelect(int32_t X, int32_t Y, bool Add) {
  if (!FCurrentBitmap || !FSelectionMask) return;
  MapToLayer(X, Y);
  const int32_t w = FCurrentBitmap->Width(), h = FCurrentBitmap->Height();
  if (X < 0 || Y < 0 || X >= w || Y >= h) return;
  if (MagicWandMode == 0) {
    int32_t count = 0;
    const std::vector<TPoint> outline =
        QxMagicWandPolygon(FCurrentBitmap, X, Y, count, MagicWandTolerance, MagicWandMaxFilter);
    if (count > 0) {
      FSelected = true;
      if (Add && !FPolySelPoints.empty()) {
        BeginNewPolygon();
      } else {
        ClearPolygon();
        FSelectionMask->Clear();
      }
      for (int32_t i = 0; i < count && i < int32_t(outline.size()); ++i)
        AppendSelectionPoint({std::clamp(outline[size_t(i)].X, 0, w), std::clamp(outline[size_t(i)].Y, 0, h)});
      if (!Add) FSelectionMask->Clear();
      CommitSelection();
      FOutlineVisible = true;
    }
  } else {
    if (!Add) {
      ClearPolygon();
      FSelectionMask->Clear();
    }
    if (MagicWandMode == 1)
      QxMagicWandMask(FCurrentBitmap, X, Y, SelectionMaskValue, FSelectionMask.get(), MagicWandTolerance,
                      MagicWandMaxFilter);
    else
      QxSelectSimilarColors(FCurrentBitmap, X, Y, SelectionMaskValue, FSelectionMask.get(), MagicWandTolerance);
    FSelected = !FSelectionMask->IsEmpty();
    FOutlineVisible = true;
  }
  Invalidate();
}

void TQuillotView::ClosePolygon(bool Add, bool DropLastPoint) {
  if (DropLastPoint) RemoveTrailingPoint();
  if (!(Add && AddWithShift) && FSelectionMask) FSelectionMask->Clear();
  CommitSelection();
  ChangeKind = 3;
  UpdateView();
  FPolygonOpen = false;
  if (OnSelectionChange) OnSelectionChange(this);
}

int32_t TQuillotView::MoveSelection(int32_t State, int32_t DX, int32_t DY, bool Clip) {
  if (!FSelectionMask || !FCurrentBitmap) return State;
  const auto& p = FPolySelPoints;
  // A rectangle with area is drawn into the mask again from its polygon when the move ends.
  if (SelectionIsRectangle() && p[0].X != p[1].X && p[0].Y != p[3].Y) {
    FSelectionMask->Clear();
    FRenderMaskOnRelease = true;
  } else {
    FSelectionMask->Translate(DX, DY, Clip);
  }
  if (DX == 0 && DY == 0) return State;
  const int32_t w = FCurrentBitmap->Width(), h = FCurrentBitmap->Height();
  if (!p.empty()) {
    if (Clip) {
      // Shortened only when the box would leave the picture entirely.
      if (FPolyX1 + DX > w) DX = w - FPolyX1;
      if (FPolyX2 + DX < 0) DX = -FPolyX2;
      if (FPolyY1 + DY > h) DY = h - FPolyY1;
      if (FPolyY2 + DY < 0) DY = -FPolyY2;
    } else {
      if (FPolyX1 + DX < 0) DX = -FPolyX1;
      if (FPolyX2 + DX > w) DX = w - FPolyX2;
      if (FPolyY1 + DY < 0) DY = -FPolyY1;
      if (FPolyY2 + DY > h) DY = h - FPolyY2;
    }
    FPolyX1 += DX;
    FPolyX2 += DX;
    FPolyY1 += DY;
    FPolyY2 += DY;
    for (TPoint& q : FPolySelPoints) {
      if (QxIsPolygonSeparator(q)) continue;
      q.X = std::clamp(q.X + DX, 0, w);
      q.Y = std::clamp(q.Y + DY, 0, h);
    }
  }
  PaintSelection(this, true);
  if (FIsLinkedView) {
    PaintView();
    PaintSelection(this, true);
  }
  return State;
}

void TQuillotView::MoveSelectionBy(int32_t DX, int32_t DY) {
  MoveSelection(0, DX, DY, FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoCutBorders));
  CommitSelection();
}

void TQuillotView::Deselect() {
  FOutlineVisible = false;
  ClearPolygon();
  if (FSelectionMask) FSelectionMask->Clear();
  FSelected = false;
  FPolygonOpen = false;
  FLassoActive = false;
  FRectDragging = FEllipseDragging = false;
  FSelGripDragged = 0;
  FSelectionMoveState = -1;
  FRenderMaskOnRelease = false;
  RestoreCursor();
  ChangeKind = 3;
  UpdateView();
}

void TQuillotView::ClearPolygon() {
  FPolySelPoints.clear();
  FPolyX1 = FPolyY1 = FPolyX2 = FPolyY2 = 0;
}

void TQuillotView::RemoveLastPolygon() {
  while (!FPolySelPoints.empty() && !QxIsPolygonSeparator(FPolySelPoints.back())) FPolySelPoints.pop_back();
  if (!FPolySelPoints.empty()) FPolySelPoints.pop_back();  // the separator
  if (FPolySelPoints.empty()) ClearPolygon();
}

void TQuillotView::RemoveTrailingPoint() {
  if (!FPolySelPoints.empty()) FPolySelPoints.pop_back();
  while (!FPolySelPoints.empty() && QxIsPolygonSeparator(FPolySelPoints.back())) FPolySelPoints.pop_back();
}

// While the mouse draws, resizes or moves a selection, the box of its outline; otherwise the mask's.
int32_t TQuillotView::SelectionBoxLeft() {
  if (AnyDragInProgress() && !FPolySelPoints.empty()) return FPolyX1;
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->X1 : -1;
}
int32_t TQuillotView::SelectionBoxTop() {
  if (AnyDragInProgress() && !FPolySelPoints.empty()) return FPolyY1;
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->Y1 : -1;
}
int32_t TQuillotView::SelectionBoxRight() {
  if (AnyDragInProgress() && !FPolySelPoints.empty()) return FPolyX2 - 1;
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->X2 : -1;
}
int32_t TQuillotView::SelectionBoxBottom() {
  if (AnyDragInProgress() && !FPolySelPoints.empty()) return FPolyY2 - 1;
  return FSelectionMask && !FSelectionMask->IsEmpty() ? FSelectionMask->Y2 : -1;
}

void TQuillotView::SaveSelectionToStream(TStream* Stream) {
  TQxMask* m = FSelectionMask.get();
  QxViewPut<int32_t>(Stream, m ? m->Width() : 0);
  QxViewPut<int32_t>(Stream, m ? m->Height() : 0);
  QxViewPut<int32_t>(Stream, int32_t(FPolySelPoints.size()));
  for (const TPoint& q : FPolySelPoints) {
    QxViewPut<int32_t>(Stream, q.X);
    QxViewPut<int32_t>(Stream, q.Y);
  }
  QxViewPut<int32_t>(Stream, FPolyX1);
  QxViewPut<int32_t>(Stream, FPolyY1);
  QxViewPut<int32_t>(Stream, FPolyX2);
  QxViewPut<int32_t>(Stream, FPolyY2);
  QxViewPut<uint8_t>(Stream, FSelected ? 1 : 0);
  TQxLayer* l = CurrentLayer();
  QxViewPut<int32_t>(Stream, l ? l->PosX : 0);
  QxViewPut<int32_t>(Stream, l ? l->PosY : 0);
  QxViewPut<int32_t>(Stream, m ? m->BitsPerPixel() : 1);
  QxViewPut<int32_t>(Stream, m ? m->X1 : INT32_MAX);
  QxViewPut<int32_t>(Stream, m ? m->Y1 : INT32_MAX);
  QxViewPut<int32_t>(Stream, m ? m->X2 : 0);
  QxViewPut<int32_t>(Stream, m ? m->Y2 : 0);
  QxViewPut<uint8_t>(Stream, m && m->Full ? 1 : 0);
  if (m && m->Bits()) Stream->WriteBuffer(m->Bits(), int64_t(m->Height()) * m->RowLength());
}

bool TQuillotView::LoadSelectionFromStream(TStream* Stream, int32_t Mode) {
  if (!FSelectionMask) FSelectionMask = std::make_unique<TQxMask>();
  TQxMask* m = FSelectionMask.get();
  int32_t w = 0, h = 0, n = 0;
  Get(Stream, w);
  Get(Stream, h);
  Get(Stream, n);
  // Counts come from outside: never more points or pixels than the stream can hold.
  const int64_t left = Stream->Size() - Stream->Position();
  n = int32_t(std::clamp<int64_t>(n, 0, std::max<int64_t>(left / 8, 0)));
  FPolySelPoints.assign(size_t(n), TPoint());
  for (TPoint& q : FPolySelPoints) {
    Get(Stream, q.X);
    Get(Stream, q.Y);
  }
  Get(Stream, FPolyX1);
  Get(Stream, FPolyY1);
  Get(Stream, FPolyX2);
  Get(Stream, FPolyY2);
  uint8_t selected = FSelected ? 1 : 0;
  Get(Stream, selected);
  FSelected = selected != 0;
  int32_t sx = 0, sy = 0, depth = 1;
  Get(Stream, sx);
  Get(Stream, sy);
  Get(Stream, depth);
  if (depth != 8) depth = 1;
  const int64_t rowBytes = depth == 8 ? (int64_t(std::max(w, 0)) + 3) / 4 * 4 : (int64_t(std::max(w, 0)) + 31) / 32 * 4;
  const int64_t room = Stream->Size() - Stream->Position() - 17;  // after the box and the full flag
  if (w <= 0 || h <= 0 || int64_t(h) * rowBytes > std::max<int64_t>(room, 0)) w = h = 0;
  m->Allocate(w, h, depth);
  Get(Stream, m->X1);
  Get(Stream, m->Y1);
  Get(Stream, m->X2);
  Get(Stream, m->Y2);
  uint8_t full = 0;
  Get(Stream, full);
  m->Full = full != 0;
  if (m->Bits() && h > 0) Stream->Read(m->Bits(), int64_t(h) * m->RowLength());
  // The stored box and flag are the writer's word; the pixels are what counts.
  m->SyncBoundingBox();
  m->UpdateFull();
  IncUpdateLock();
  const int32_t cw = FCurrentBitmap ? FCurrentBitmap->Width() : 0, ch = FCurrentBitmap ? FCurrentBitmap->Height() : 0;
  if (Mode == 2) {
    // Re-based onto the current layer: each stored pixel moves by the old layer's position less the new
    // one's; what falls outside the current bitmap is cut.
    ClearPolygon();
    TQxLayer* l = CurrentLayer();
    const int64_t dx = int64_t(sx) - (l ? l->PosX : 0), dy = int64_t(sy) - (l ? l->PosY : 0);
    auto moved = std::make_unique<TQxMask>();
    moved->Allocate(cw, ch, depth);
    if (!m->IsEmpty())
      for (int32_t y = std::max(m->Y1, 0); y <= std::min(m->Y2, h - 1); ++y)
        for (int32_t x = std::max(m->X1, 0); x <= std::min(m->X2, w - 1); ++x) {
          const int32_t v = m->GetPixel(x, y);
          const int64_t nx = x + dx, ny = y + dy;
          if (v != 0 && nx >= 0 && ny >= 0 && nx < cw && ny < ch) moved->SetPixel(int32_t(nx), int32_t(ny), v);
        }
    FSelectionMask = std::move(moved);
    m = FSelectionMask.get();
    m->UpdateFull();
    m->SyncBoundingBox();
  } else if (cw != w || ch != h) {
    if (m->IsEmpty()) {
      m->ChangeSize(cw, ch);
    } else {
      if (Mode == 1) {
        int32_t dx = m->X2 >= cw ? cw - 1 - m->X2 : 0, dy = m->Y2 >= ch ? ch - 1 - m->Y2 : 0;
        if (dx != 0 || dy != 0) m->Translate(dx, dy, true);
      }
      m->ChangeSize(cw, ch);
    }
    m->UpdateFull();
    m->SyncBoundingBox();
  }
  if (m->IsEmpty()) {
    Deselect();
  } else {
    FSelected = true;
  }
  FOutlineVisible = FSelected;
  DecUpdateLockAndUpdate();
  UpdateView();
  return true;
}

void TQuillotView::PushSelection() {
  auto s = std::make_unique<TMemoryStream>();
  SaveSelectionToStream(s.get());
  FSelectionStack.push_back(std::move(s));
}

bool TQuillotView::PopSelection(bool Drop, uint8_t Mode) {
  if (FSelectionStack.empty()) return false;
  TMemoryStream* s = FSelectionStack.back().get();
  s->SetPosition(0);
  LoadSelectionFromStream(s, Mode);
  if (Drop) FSelectionStack.pop_back();
  return true;
}

const TPoint* TQuillotView::PolySelPoints() const { return FPolySelPoints.empty() ? nullptr : FPolySelPoints.data(); }
int32_t TQuillotView::PolySelCount() const { return int32_t(FPolySelPoints.size()); }

// ---- drags of the mouse ----

void TQuillotView::SelectRectDrag(int32_t X, int32_t Y, TShiftState Shift) {
  AutoScrollWhileDragging();
  int32_t sx = FDragStartX, sy = FDragStartY;
  if (FSelectionAspectRatio == 0) {
    // A fixed-size rectangle centred on the mouse, exactly the fixed size at any zoom.
    const int32_t fw = int32_t(Round(SelectionFixedWidth * FScaleX)), fh = int32_t(Round(SelectionFixedHeight * FScaleY));
    sx = X - fw / 2;
    sy = Y - fh / 2;
    X = sx + fw;
    Y = sy + fh;
  }
  uint8_t op = 0;
  if (Shift.Contains(ssShift) && AddWithShift) {
    if (PolySelCount() != FPointCountAtDown) RemoveLastPolygon();
    op = 1;
  }
  SelectRectEx(sx, sy, X, Y, op, Shift.Contains(ssAlt) || AssumeAltKey,
               !FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoSizeable));
  PaintView();
  FireSelectionEvent(OnSelectionChanging);
}

void TQuillotView::SelectEllipseDrag(int32_t X, int32_t Y, TShiftState Shift) {
  AutoScrollWhileDragging();
  if (!FCurrentBitmap) return;
  int32_t sx = FDragStartX, sy = FDragStartY;
  const double ratio = FSelectionAspectRatio;
  if (ratio == 0) {
    sx = X;
    sy = Y;
    X += int32_t(Round(SelectionFixedWidth * FScaleX)) / 2;
    Y += int32_t(Round(SelectionFixedHeight * FScaleY)) / 2;
  }
  if (Shift.Contains(ssShift) && AddWithShift) {
    if (PolySelCount() != FPointCountAtDown) RemoveLastPolygon();
    BeginNewPolygon();
  } else {
    ClearPolygon();
  }
  const int32_t ax = std::abs(sx - X), ay = std::abs(sy - Y);
  double rx = ax, ry = ay;
  if ((Shift.Contains(ssAlt) || AssumeAltKey) && ratio == -1) {
    rx = ry = std::max(ax, ay);
  } else if (ratio > 0) {
    rx = std::max(ax, ay);
    ry = double(Round(rx * ratio));
  }
  const int32_t e = int32_t(Trunc(rx * FInvScaleX)), f = int32_t(Trunc(ry * FInvScaleY));
  int32_t cx = sx, cy = sy;
  MapToLayer(cx, cy);
  const int32_t w = FCurrentBitmap->Width(), h = FCurrentBitmap->Height();
  const double twoPi = 2 * 3.14159265358979323846;
  const int32_t n = std::max<int32_t>(int32_t(Trunc(std::min(e, f) * twoPi)), 50);
  for (int32_t k = 0; k < n; ++k) {
    const double a = twoPi * k / n;
    AppendSelectionPoint({std::clamp(int32_t(Round(cx + std::cos(a) * e)), 0, w),
                          std::clamp(int32_t(Round(cy + std::sin(a) * f)), 0, h)});
  }
  FSelected = true;
  FOutlineVisible = true;
  PaintView();
  FireSelectionEvent(OnSelectionChanging);
}

int32_t TQuillotView::ResizeSelectionByGrip(int32_t Grip, int32_t X, int32_t Y, bool KeepRatio) {
  if (!SelectionIsRectangle() || !FCurrentBitmap) return Grip;
  MapToLayer(X, Y);
  const int32_t w = FCurrentBitmap->Width(), h = FCurrentBitmap->Height();
  const int32_t X1 = FGripX1, Y1 = FGripY1, X2 = FGripX2, Y2 = FGripY2;
  double r = 1;
  if (KeepRatio) {
    if (FSelectionAspectRatio > 0) {
      r = 1 / FSelectionAspectRatio;
    } else {
      const int32_t hh = Y2 - Y1 + 1;
      if (hh == 0) return Grip;
      r = double(X2 - X1 + 1) / hh;
    }
    if (r == 0) return Grip;
    // The free coordinate follows the dragged one; a pixel at a time inward until it fits.
    const int32_t limit = std::max(w, h) + std::abs(X) + std::abs(Y) + 2;
    switch (Grip) {
      case 1:
      case 5:
        Y = int32_t(Round(Y2 + 1 + (X - X2 - 1) / r));
        for (int32_t i = 0; Y < 0 && i < limit; ++i) Y = int32_t(Round(Y2 + 1 + (++X - X2 - 1) / r));
        Grip = 1;
        break;
      case 2:
        Y = int32_t(Round(Y2 + (X1 - X - 1) / r));
        for (int32_t i = 0; Y < 0 && i < limit; ++i) Y = int32_t(Round(Y2 + (X1 - --X - 1) / r));
        break;
      case 3:
      case 6:
        Y = int32_t(Round(Y1 + (X - X1 + 1) / r - 1));
        Grip = 3;
        break;
      case 4:
        Y = int32_t(Round(Y1 + 1 + (X2 - X + 1) / r));
        for (int32_t i = 0; Y > h && i < limit; ++i) Y = int32_t(Round(Y1 + 1 + (X2 - ++X + 1) / r));
        break;
      case 7:
        X = int32_t(Round(X2 + 1 + (Y - Y2 - 1) * r));
        for (int32_t i = 0; X < 0 && i < limit; ++i) X = int32_t(Round(X2 + 1 + (++Y - Y2 - 1) * r));
        Grip = 1;
        break;
      case 8:
        X = int32_t(Round(X1 - 1 + (Y - Y1 + 1) * r));
        for (int32_t i = 0; X > w && i < limit; ++i) X = int32_t(Round(X1 - 1 + (--Y - Y1 + 1) * r));
        Grip = 3;
        break;
      default: break;
    }
  }
  if (Grip == 2 || Grip == 3 || Grip == 6) ++X;
  if (Grip == 3 || Grip == 4 || Grip == 8) ++Y;
  int32_t L = FPolySelPoints[0].X, T = FPolySelPoints[0].Y, R = FPolySelPoints[2].X, B = FPolySelPoints[2].Y;
  if (Grip == 2 || Grip == 3 || Grip == 6) R = X == L ? L + 1 : X;
  if (Grip == 1 || Grip == 4 || Grip == 5) L = X == R ? R - 1 : X;
  if (Grip == 1 || Grip == 2 || Grip == 7) T = Y == B ? B - 1 : Y;
  if (Grip == 3 || Grip == 4 || Grip == 8) B = Y == T ? T + 1 : Y;
  if (L > R) {
    static const int32_t swapX[9] = {0, 2, 1, 4, 3, 6, 5, 7, 8};
    Grip = swapX[std::clamp(Grip, 0, 8)];
  }
  if (T > B) {
    static const int32_t swapY[9] = {0, 4, 3, 2, 1, 5, 6, 8, 7};
    Grip = swapY[std::clamp(Grip, 0, 8)];
  }
  ClearPolygon();
  QxOrderCorners(L, T, R, B);
  if (KeepRatio) {
    const double c = 1 / r;
    if (B >= h)
      R = int32_t(Round((c * L + h - T - 1) / c));
    else if (T < 0)
      L = int32_t(Round((c * R - B) / c));
    else if (R >= w)
      B = int32_t(Round(c * (w - L - 1) + T));
    else if (L < 0)
      T = int32_t(Round(B - c * R));
  }
  L = std::clamp(L, 0, w);
  R = std::clamp(R, 0, w);
  T = std::clamp(T, 0, h);
  B = std::clamp(B, 0, h);
  QxOrderCorners(L, T, R, B);
  AppendSelectionPoint({L, T});
  AppendSelectionPoint({R, T});
  AppendSelectionPoint({R, B});
  AppendSelectionPoint({L, B});
  FSelected = true;
  FOutlineVisible = true;
  return Grip;
}

void TQuillotView::CloseOpenPolygon(bool Add) {
  if (FPolygonOpen && !FLassoActive) ClosePolygon(Add, true);
}
