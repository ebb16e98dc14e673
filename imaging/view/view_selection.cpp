// TQuillotView: selection, mouse interaction, outline and layer-box members.
// The selection is built; the mouse's selection drags, the drawn outline and the grips are not yet: those
// members keep their final shape and change nothing. The outline pass that follows every paint already runs
// its timer and the delayed-filter countdowns; the layer box and the dimming around a layer are drawn.
#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/mask.h"
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

constexpr int32_t kSeparator = 0xFFFFF;

bool IsSeparator(const TPoint& P) { return P.X == kSeparator && P.Y == kSeparator; }

// A short read leaves the value as it was.
template <typename T>
void Get(TStream* S, T& V) {
  T v;
  if (S->Read(&v, sizeof(T)) == int64_t(sizeof(T))) V = v;
}

}  // namespace

void TQuillotView::SetSelectionOptions(TQxSelectionOptions Value) {
  FSelectionOptions = Value;
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
  if (IsSeparator(P)) return;
  if (FPolySelPoints.size() == 2 && !IsSeparator(FPolySelPoints[0])) {
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
  if (!FPolySelPoints.empty() && !IsSeparator(FPolySelPoints.back())) AppendSelectionPoint({kSeparator, kSeparator});
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
      if (IsSeparator(q)) continue;
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
  while (!FPolySelPoints.empty() && !IsSeparator(FPolySelPoints.back())) FPolySelPoints.pop_back();
  if (!FPolySelPoints.empty()) FPolySelPoints.pop_back();  // the separator
  if (FPolySelPoints.empty()) ClearPolygon();
}

void TQuillotView::RemoveTrailingPoint() {
  if (!FPolySelPoints.empty()) FPolySelPoints.pop_back();
  while (!FPolySelPoints.empty() && IsSeparator(FPolySelPoints.back())) FPolySelPoints.pop_back();
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

bool TQuillotView::SelectionIsRectangle() const {
  const auto& p = FPolySelPoints;
  return p.size() == 4 && p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y && p[3].X == p[0].X;
}

// Dashes of four pixels in the two selection colours; the phase moves them a pixel per timer tick.
void TQuillotView::DrawOutlineEdge(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t& Dash) {
  LineDDA(X1, Y1, X2, Y2, [&](int32_t X, int32_t Y) {
    C->SetPixels(X, Y, Dash < 4 ? FSelectionColor1 : FSelectionColor2);
    Dash = Dash >= 7 ? 0 : Dash + 1;
  });
}

void TQuillotView::PaintSelection(TComponent* Sender, bool RespectCanvasLock) {
  bool animated = false;
  TCanvas* c = ControlCanvasOrNull();
  TQxLayer* layer = CurrentLayer();
  if (HasParentWindow() && ShowSelection && FOutlineVisible && c && layer) {
    animated = FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoAnimated);
    if (animated && FOutlineTimer && Sender == FOutlineTimer) {
      FOutlinePhase = (FOutlinePhase + 1) % 10;
      ++FMaskBorderPhase;
    }
    const TRect clip = c->ClipRect();
    const bool skip = clip.Width() <= 0 || clip.Height() <= 0 || FPaintLock > 0 || (RespectCanvasLock && c->LockCount() > 0);
    if (!skip) {
      auto toClient = [&](const TPoint& P) { return TPoint(layer->LayerToClientX(P.X), layer->LayerToClientY(P.Y)); };
      if (FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoSizeable) && SelectionIsRectangle()) {
        TQxCanvas q(c, true, false);
        q.Brush()->SetStyle(SelGripBrushStyle);
        q.Brush()->SetColor(SelGripBrushColor);
        q.Pen()->SetColor(SelGripPenColor);
        q.Pen()->SetStyle(TPenStyle::psSolid);
        q.Pen()->SetMode(TPenMode::pmCopy);
        q.Pen()->SetWidth(1);
        int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
        auto grip = [&](int32_t x, int32_t y) {
          const int32_t g = SelGripSize;
          if (SelGripShape == 0)
            q.Rectangle(x - g, y - g, x + g, y + g);
          else
            q.Ellipse(x - g, y - g, x + g, y + g);
        };
        for (const TPoint& p : FPolySelPoints) {
          const TPoint cp = toClient(p);
          grip(cp.X, cp.Y);
          minX = std::min(minX, cp.X);
          maxX = std::max(maxX, cp.X);
          minY = std::min(minY, cp.Y);
          maxY = std::max(maxY, cp.Y);
        }
        if (SelGripSides) {
          grip((minX + maxX) / 2, minY);
          grip(minX, (minY + maxY) / 2);
          grip(maxX, (minY + maxY) / 2);
          grip((minX + maxX) / 2, maxY);
        }
      }
      if (FSelectionMask && !FSelectionMask->IsEmpty()) {
        // A committed selection shows the border of its pixels rather than its polygon.
        if (!(OutlineHideWhileZooming && FOutlineSkipsLeft > 0)) {
          const uint32_t t0 = GetTickCount();
          const TQxLayerScreenMap& m = layer->ScreenMap;
          FSelectionMask->DrawSelectionBorder(c, m.X, m.Y, m.W, m.H, m.SrcX, m.SrcY, m.SrcW, m.SrcH,
                                              FMaskBorderPhase, FSelectionColor1, FSelectionColor2, nullptr);
          const uint32_t elapsed = GetTickCount() - t0;
          if (OutlineTimeFactor < 0 && (FHasOwner || HasParentWindow())) {
            EnsureOutlineTimer();
            FOutlineTimer->SetInterval(
                uint32_t(std::max<int64_t>(210, int64_t(elapsed) * 100 / -int64_t(OutlineTimeFactor))));
          }
        }
      } else if (!FPolySelPoints.empty()) {
        int32_t dash = FOutlinePhase;
        if (SelectionIsRectangle()) {
          const TPoint a = toClient(FPolySelPoints[0]), b = toClient(FPolySelPoints[2]);
          const int32_t x1 = a.X, y1 = a.Y, x2 = b.X - 1, y2 = b.Y - 1;
          const int32_t xs[4] = {x2, x2, x1, x1}, ys[4] = {y1, y2, y2, y1};
          int32_t px = x1, py = y1;
          FSelScreenRect = TRect(x1, y1, x2, y2);
          static const int32_t order[4] = {1, 2, 3, 0};
          for (int e = 0; e < 4; ++e) {
            DrawOutlineEdge(c, px, py, xs[e], ys[e], dash);
            px = xs[e];
            py = ys[e];
            if (OnDrawPolygon) OnDrawPolygon(this, 0, order[e], c, px, py);
          }
        } else {
          // Edge by edge; a separator closes the polygon it ends, and the last one is closed unless it is
          // still being drawn.
          size_t first = 0;
          const size_t n = FPolySelPoints.size();
          for (size_t i = 0; i < n; ++i) {
            const TPoint& p = FPolySelPoints[i];
            if (IsSeparator(p)) {
              first = i + 1;
              continue;
            }
            const bool endOfPolygon = i + 1 == n || IsSeparator(FPolySelPoints[i + 1]);
            if (endOfPolygon && i + 1 == n && FPolygonOpen) break;
            const TPoint a = toClient(p), b = toClient(endOfPolygon ? FPolySelPoints[first] : FPolySelPoints[i + 1]);
            DrawOutlineEdge(c, a.X, a.Y, b.X, b.Y, dash);
            if (OnDrawPolygon) OnDrawPolygon(this, 0, int32_t(i), c, a.X, a.Y);
          }
        }
      }
    }
  }
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

void TQuillotView::DrawSelectionGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const int32_t n = SelectionGridSize;
  TCanvas* c = ControlCanvasOrNull();
  if (n < 2 || !c) return;
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  c->Pen()->SetColor(TColor(0xA0A0A0));
  c->Pen()->SetMode(TPenMode::pmCopy);
  c->Pen()->SetStyle(TPenStyle::psSolid);
  for (int32_t b = 1; b < n; ++b) {
    const int32_t y = Y1 + int32_t(Trunc(double(b) * (Y2 - Y1) / n));
    const int32_t x = X1 + int32_t(Trunc(double(b) * (X2 - X1) / n));
    c->MoveTo(X1, y);
    c->LineTo(X2, y);
    c->MoveTo(x, Y1);
    c->LineTo(x, Y2);
  }
}

void TQuillotView::DrawRubberSegment() {}

int32_t TQuillotView::SelectionGripAt(int32_t X, int32_t Y) {
  TQxLayer* layer = CurrentLayer();
  if (!layer || !FOutlineVisible || !FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoSizeable) ||
      !SelectionIsRectangle())
    return 0;
  for (size_t i = 0; i < FPolySelPoints.size(); ++i) {
    const int32_t cx = layer->LayerToClientX(FPolySelPoints[i].X), cy = layer->LayerToClientY(FPolySelPoints[i].Y);
    if (std::abs(X - cx) <= SelGripSize && std::abs(Y - cy) <= SelGripSize) return int32_t(i) + 1;
  }
  const int32_t l = layer->LayerToClientX(FPolySelPoints[0].X), t = layer->LayerToClientY(FPolySelPoints[0].Y);
  const int32_t r = layer->LayerToClientX(FPolySelPoints[2].X), b = layer->LayerToClientY(FPolySelPoints[2].Y);
  if (QxDistanceToSegment(X, Y, l, t, l, b) < 3) return 5;
  if (QxDistanceToSegment(X, Y, r, t, r, b) < 3) return 6;
  if (QxDistanceToSegment(X, Y, l, t, r, t) < 3) return 7;
  if (QxDistanceToSegment(X, Y, l, b, r, b) < 3) return 8;
  return 0;
}

void TQuillotView::LayerGripRects(int32_t Index, TRect Rects[9]) {
  for (int i = 0; i < 9; ++i) Rects[i] = TRect();
  if (Index < 0 || Index >= LayerCount()) return;
  const TQxLayer* L = FLayers[size_t(Index)];
  const int32_t s = LayerGripSize;
  TPoint pts[8];
  if (L->RotationAngle == 0) {
    const int32_t l = L->DrawnRect.Left, t = L->DrawnRect.Top, r = L->DrawnRect.Right, b = L->DrawnRect.Bottom;
    const TPoint q[8] = {{l, t}, {r, t}, {r, b}, {l, b}, {l, (t + b) / 2}, {r, (t + b) / 2}, {(l + r) / 2, t}, {(l + r) / 2, b}};
    std::copy(q, q + 8, pts);
  } else {
    const TPoint* o = L->Outline;
    auto mid = [](TPoint a, TPoint b) { return TPoint((a.X + b.X) / 2, (a.Y + b.Y) / 2); };
    const TPoint q[8] = {o[0], o[1], o[2], o[3], mid(o[0], o[3]), mid(o[1], o[2]), mid(o[0], o[1]), mid(o[2], o[3])};
    std::copy(q, q + 8, pts);
  }
  for (int i = 0; i < 8; ++i) Rects[i] = TRect(pts[i].X - s, pts[i].Y - s, pts[i].X + s, pts[i].Y + s);
  const int32_t cx = L->LayerToClientX(int32_t(Round(L->Bitmap ? L->Bitmap->Width() * L->RotationCenterX : 0)));
  const int32_t cy = L->LayerToClientY(int32_t(Round(L->Bitmap ? L->Bitmap->Height() * L->RotationCenterY : 0)));
  Rects[8] = TRect(cx - s, cy - s, cx + s, cy + s);
}

int32_t TQuillotView::LayerGripAt(int32_t X, int32_t Y) {
  if (!CurrentLayer()) return 0;
  TRect r[9];
  LayerGripRects(FCurrentLayerIndex, r);
  for (int i = 0; i < 9; ++i)
    if (X >= r[i].Left && X <= r[i].Right && Y >= r[i].Top && Y <= r[i].Bottom) {
      if (i == 8 && !FMouseInteract.Contains(TQxMouseInteractItems::miRotateLayers)) return 0;
      return i + 1;
    }
  return 0;
}

void TQuillotView::SetLayerGripTools(TQxCanvas& Q) const {
  Q.Pen()->SetStyle(TPenStyle::psSolid);
  Q.Pen()->SetMode(TPenMode::pmCopy);
  Q.Pen()->SetWidth(1);
  Q.Pen()->SetColor(LayerGripPenColor);
  Q.Brush()->SetStyle(LayerGripBrushStyle);
  Q.Brush()->SetColor(LayerGripBrushColor);
}

void TQuillotView::DrawLayerGrips(TBitmap* ABitmap, int32_t Index) {
  if (!ABitmap || Index < 0 || Index >= LayerCount()) return;
  TRect r[9];
  LayerGripRects(Index, r);
  if (OnDrawLayerGrip) {
    for (int32_t g = 0; g < 9; ++g) OnDrawLayerGrip(this, ABitmap, Index, g, r[g]);
    return;
  }
  TQxCanvas q(ABitmap->Canvas(), true, false);
  SetLayerGripTools(q);
  for (int i = 0; i < 8; ++i) {
    if (LayerGripShape == 0)
      q.RectangleRect(r[i]);
    else
      q.EllipseRect(r[i]);
  }
}

void TQuillotView::DrawRotationGrip(TBitmap* ABitmap, int32_t Index) {
  if (!ABitmap || Index < 0 || Index >= LayerCount()) return;
  TRect r[9];
  LayerGripRects(Index, r);
  TQxCanvas q(ABitmap->Canvas(), true, false);
  SetLayerGripTools(q);
  q.EllipseRect(r[8]);
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

