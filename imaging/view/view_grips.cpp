// TQuillotView: what is drawn over the picture to show and handle a selection and the current layer: the
// animated outline records, the mask border, selection grips and grid, the rubber line of an open polygon,
// the selection shading, the layer box, layer grips and the dimming around a layer, and the grip hit tests.
//
// Drawing "on the screen" goes to the control's canvas, which is the form's back buffer: it is presented
// with the form and wiped by the view's next transfer, after which the view draws it again.
#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/view/view.h"
#include "imaging/view/view_internal.h"
#include "platform/base/clock.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {


bool IsRectanglePolygon(const std::vector<TPoint>& p) {
  return p.size() == 4 && p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y && p[3].X == p[0].X;
}

}  // namespace

// ---- outline records ----

TQxSelectionOutline* TQuillotView::CreateOutlineRecord(TColor Color1, TColor Color2, bool Sizeable, bool Animated) {
  auto rec = std::make_unique<TQxSelectionOutline>();
  rec->Color1 = Color1;
  rec->Color2 = Color2;
  rec->Sizeable = Sizeable;
  rec->Animated = Animated;
  const bool designing = ComponentState().Contains(csDesigning);
  rec->Canvas = designing ? nullptr : Canvas();
  FOutlines.push_back(std::move(rec));
  if (FOutlines.size() == 1 && !designing && (FHasOwner || Parent())) {
    EnsureOutlineTimer();
    FOutlineTimer->SetEnabled(true);
  }
  return FOutlines.back().get();
}

TQxSelectionOutline* TQuillotView::OutlineRecord(int32_t Index) const {
  return Index >= 0 && Index < OutlineRecordCount() ? FOutlines[size_t(Index)].get() : nullptr;
}

void TQuillotView::ShowOutline(bool Paint) {
  FOutlineVisible = true;
  if (FSelOutline) FSelOutline->Visible = true;
  if (Paint) PaintSelection(this, true);
}

void TQuillotView::HideOutline(bool Paint) {
  FOutlineVisible = false;
  if (FSelOutline) FSelOutline->Visible = false;
  if (Paint && FPaintLock == 0) Invalidate();
}

void TQuillotView::EnsureOutlineTimer() {
  if (FOutlineTimer) return;
  FOutlineTimer = new TTimer(nullptr);
  FOutlineTimer->SetEnabled(false);
  FOutlineTimer->SetInterval(210);
  FOutlineTimer->SetOnTimer([this](TObject*) { OutlineTimerTick(); });
}

void TQuillotView::OutlineTimerTick() { PaintSelection(FOutlineTimer, true); }

bool TQuillotView::SelectionIsRectangle() const { return IsRectanglePolygon(FPolySelPoints); }

bool TQuillotView::AnyDragInProgress() const {
  return FRectDragging || FEllipseDragging || FPolygonOpen || FSelGripDragged != 0 || FSelectionMoveState == 0;
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
  if (HasParentWindow() && ShowSelection && c && layer) {
    const bool tick = FOutlineTimer && Sender == FOutlineTimer && !AnyDragInProgress();
    for (int32_t index = 0; index < OutlineRecordCount(); ++index) {
      TQxSelectionOutline* rec = FOutlines[size_t(index)].get();
      const bool own = rec == FSelOutline;
      // The view's own record takes its points, visibility and flags from the view's selection.
      const std::vector<TPoint>& pts = own ? FPolySelPoints : rec->Points;
      const bool visible = own ? FOutlineVisible : rec->Visible;
      if (!visible) continue;
      const bool recAnimated =
          own ? FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoAnimated) : rec->Animated;
      const bool sizeable = own ? FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoSizeable) : rec->Sizeable;
      int32_t& phase = own ? FOutlinePhase : rec->Phase;
      const TColor savedC1 = FSelectionColor1, savedC2 = FSelectionColor2;
      if (recAnimated) {
        animated = true;
        if (tick) {
          phase = phase + 1 >= 10 ? 0 : phase + 1;
          ++FMaskBorderPhase;
        }
      }
      const TRect clip = c->ClipRect();
      if (clip.Width() <= 0 || clip.Height() <= 0 || FPaintLock > 0 || (RespectCanvasLock && c->LockCount() > 0) ||
          FAutoScrolling)
        continue;
      auto toClient = [&](const TPoint& P) { return TPoint(layer->LayerToClientX(P.X), layer->LayerToClientY(P.Y)); };
      const bool rectangle = IsRectanglePolygon(pts);
      const bool rectMove = FSelectionMoveState == 0 && rectangle;
      if (sizeable && rectangle && !FRectDragging && FSelectionMoveState != 0) {
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
        for (const TPoint& p : pts) {
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
        // The grid shows only while the rectangle is dragged or moved (drawn with the outline below).
      }
      if (own && FSelectionMask && !FSelectionMask->IsEmpty() && !FRectDragging && !FEllipseDragging &&
          !FPolygonOpen && FSelGripDragged == 0 && !rectMove) {
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
        continue;
      }
      if (pts.empty()) continue;
      if (!own) {
        FSelectionColor1 = rec->Color1;
        FSelectionColor2 = rec->Color2;
      }
      int32_t dash = phase;
      if (rectangle) {
        const TPoint a = toClient(pts[0]), b = toClient(pts[2]);
        const int32_t x1 = a.X, y1 = a.Y, x2 = b.X - 1, y2 = b.Y - 1;
        const int32_t xs[4] = {x2, x2, x1, x1}, ys[4] = {y1, y2, y2, y1};
        int32_t px = x1, py = y1;
        FSelScreenRect = TRect(x1, y1, x2, y2);
        static const int32_t order[4] = {1, 2, 3, 0};
        for (int e = 0; e < 4; ++e) {
          DrawOutlineEdge(c, px, py, xs[e], ys[e], dash);
          px = xs[e];
          py = ys[e];
          if (OnDrawPolygon) OnDrawPolygon(this, index, order[e], c, px, py);
        }
        if (own && (FRectDragging || rectMove)) DrawSelectionGrid(x1, y1, x2, y2);
      } else {
        // Edge by edge; a separator closes the polygon it ends, and the last one is closed unless it is
        // still being drawn.
        size_t first = 0;
        const size_t n = pts.size();
        for (size_t i = 0; i < n; ++i) {
          const TPoint& p = pts[i];
          if (QxIsPolygonSeparator(p)) {
            first = i + 1;
            continue;
          }
          const bool endOfPolygon = i + 1 == n || QxIsPolygonSeparator(pts[i + 1]);
          if (endOfPolygon && i + 1 == n && own && FPolygonOpen) break;
          const TPoint a = toClient(p), b = toClient(endOfPolygon ? pts[first] : pts[i + 1]);
          DrawOutlineEdge(c, a.X, a.Y, b.X, b.Y, dash);
          if (OnDrawPolygon) OnDrawPolygon(this, index, int32_t(i), c, a.X, a.Y);
        }
      }
      FSelectionColor1 = savedC1;
      FSelectionColor2 = savedC2;
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
  c->Pen()->SetWidth(1);
  for (int32_t b = 1; b < n; ++b) {
    const int32_t y = Y1 + int32_t(Trunc(double(b) * (Y2 - Y1) / n));
    const int32_t x = X1 + int32_t(Trunc(double(b) * (X2 - X1) / n));
    c->MoveTo(X1, y);
    c->LineTo(X2, y);
    c->MoveTo(x, Y1);
    c->LineTo(x, Y2);
  }
}

void TQuillotView::DrawRubberSegment() {
  if (!FPolygonOpen || FLassoActive) return;
  TCanvas* c = ControlCanvasOrNull();
  TQxLayer* layer = CurrentLayer();
  if (!c || !layer || FPolySelPoints.empty() || QxIsPolygonSeparator(FPolySelPoints.back())) return;
  const TPoint& last = FPolySelPoints.back();
  c->Pen()->SetMode(TPenMode::pmNot);
  c->Pen()->SetWidth(1);
  c->Pen()->SetStyle(TPenStyle::psSolid);
  c->MoveTo(FRubberX, FRubberY);
  c->LineTo(layer->LayerToClientX(last.X), layer->LayerToClientY(last.Y));
  c->Pen()->SetMode(TPenMode::pmCopy);
}

// ---- selection shading ----

void TQuillotView::DrawSelectionShading(TQxBitmap* Dest) {
  TQxLayer* layer = CurrentLayer();
  if (!ShowSelection || !FSelected || !FOutlineVisible || !layer || !FSelectionMask || FSelectionMask->IsEmpty())
    return;
  const bool filled = FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoFilled);
  const bool outer = FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoMarkOuter);
  if (!filled && !outer) return;
  TBitmap* platform = Dest->Location() == TQxLocation::qxTBitmap ? Dest->GetTBitmap() : nullptr;
  if (!platform) return;
  const TQxLayerScreenMap& m = layer->ScreenMap;
  if (filled) FSelectionMask->DrawXor(platform->Canvas(), m.X, m.Y, m.W, m.H, m.SrcX, m.SrcY, m.SrcW, m.SrcH);
  if (outer)
    FSelectionMask->ShadeUnselected(platform, m.X, m.Y, m.W, m.H, m.SrcX, m.SrcY, m.SrcW, m.SrcH, ShadeLevel,
                                    ShadeColor);
}

// ---- grip hit tests ----

int32_t TQuillotView::SelectionGripAt(int32_t X, int32_t Y) {
  TQxLayer* layer = CurrentLayer();
  if (!layer || !FOutlineVisible || !FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoSizeable) ||
      !SelectionIsRectangle() || FRectDragging)
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

int32_t TQuillotView::SelectionGripAtUnlessShift(int32_t X, int32_t Y, TShiftState Shift) {
  return Shift.Contains(ssShift) ? 0 : SelectionGripAt(X, Y);
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

// ---- layer box, grips and dimming ----

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
