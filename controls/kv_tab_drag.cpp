// Dragging a tab to a new place: the marker, the drop and the scrolling while the pointer is past
// the ends of the strip.

#include <vector>

#include "controls/kv_tab_control.h"
#include "platform/ui/forms.h"

void TKvCustomTabControl::DragOver(TControl* Source, int32_t X, int32_t Y, TDragState State, bool& Accept) {
  if (Source != this) return;
  if (State == TDragState::dsDragLeave) {
    EraseDragMarker();
    FDragOverTab = -1;
    return;
  }
  const int32_t j = TabAtPoint(X, Y);
  if (j == -1 && HandleAllocated()) {
    FDragTimer = true;
    SetTimer(Handle(), kDragScrollTimerId, 400);
  }
  Accept = j != -1 && j != FTabIndex;
  if (j == FDragOverTab) return;
  FDragOverTab = j;
  EraseDragMarker();
  if (Accept) {
    FMarkerRect = DragMarkerRect(j);
    DrawDragMarker(FMarkerRect);
    FMarkerShown = true;
  }
}

void TKvCustomTabControl::DragDrop(TControl* Source, int32_t X, int32_t Y) {
  if (Source != this) return;
  StopDragTimer();
  EraseDragMarker();
  FDragOverTab = -1;
  const int32_t j = TabAtPoint(X, Y);
  if (j != -1) MoveActiveTab(j);
}

void TKvCustomTabControl::EraseDragMarker() {
  if (!FMarkerShown) return;
  DrawDragMarker(FMarkerRect);
  FMarkerShown = false;
}

void TKvCustomTabControl::StopDragTimer() {
  if (!FDragTimer) return;
  FDragTimer = false;
  if (HandleAllocated()) KillTimer(Handle(), kDragScrollTimerId);
}

TRect TKvCustomTabControl::DragMarkerRect(int32_t Index) const {
  const TRect t = TabClientRect(Index);
  const int32_t h = FFixedDimension / 2;
  const bool before = Reverse() ? Index > FTabIndex : Index < FTabIndex;
  const TKvTabStyle st = FTabStyle;
  const bool slantBefore = st == TKvTabStyle::tsDoubleSlant || st == TKvTabStyle::tsBackSlant;
  const bool slantAfter = st == TKvTabStyle::tsSingleSlant || st == TKvTabStyle::tsDoubleSlant;
  const bool cornered = st == TKvTabStyle::tsCutCorner || st == TKvTabStyle::tsRoundCorners;
  TRect r;
  auto horizontal = [&] {
    if (before) {
      r.Left = t.Left - 8, r.Right = t.Left + 7;
      if (slantBefore) r.Left += h, r.Right += h;
    } else {
      r.Right = t.Right + 8, r.Left = t.Right - 7;
      if (slantAfter) r.Left -= h, r.Right -= h;
      if (cornered) ++r.Left, ++r.Right;
    }
  };
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop:
      r.Top = t.Top - 2, r.Bottom = t.Top + 6;
      horizontal();
      break;
    case TKvTabOrientation::toBottom:
      r.Bottom = t.Bottom + 2, r.Top = t.Bottom - 6;
      horizontal();
      break;
    case TKvTabOrientation::toLeft:
      r.Left = t.Left - 2, r.Right = t.Left + 6;
      if (before) {
        r.Bottom = t.Bottom + 8, r.Top = t.Bottom - 7;
        if (slantBefore) r.Top -= h, r.Bottom -= h;
        if (cornered) ++r.Top, ++r.Bottom;
      } else {
        r.Top = t.Top - 8, r.Bottom = t.Top + 7;
        if (slantAfter) r.Top += h, r.Bottom += h;
      }
      break;
    case TKvTabOrientation::toRight:
      r.Right = t.Right + 3, r.Left = t.Right - 5;
      if (before) {
        r.Top = t.Top - 8, r.Bottom = t.Top + 7;
        if (slantBefore) r.Top += h + 1, r.Bottom += h + 1;
      } else {
        r.Bottom = t.Bottom + 8, r.Top = t.Bottom - 7;
        if (slantAfter) r.Top -= h, r.Bottom -= h;
        if (cornered) ++r.Top, ++r.Bottom;
      }
      break;
  }
  return r;
}

void TKvCustomTabControl::DrawDragMarker(const TRect& R) {
  const int32_t w = R.Right - R.Left, h = R.Bottom - R.Top;
  if (w <= 0 || h <= 0) return;
  TBitmap b(w, h, TPixelFormat::pf24bit);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clBtnShadow);
  c->FillRect(TRect(0, 0, w, h));
  c->Brush()->SetColor(clBlack);
  c->Pen()->SetStyle(TPenStyle::psClear);
  using P = std::vector<TPoint>;
  P a, z;
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop: a = {{0, 0}, {8, 8}, {0, 8}}, z = {{7, 8}, {15, 0}, {15, 8}}; break;
    case TKvTabOrientation::toLeft: a = {{1, 0}, {8, 0}, {8, 8}}, z = {{-1, 15}, {8, 7}, {8, 15}}; break;
    case TKvTabOrientation::toBottom: a = {{-1, 8}, {-1, -1}, {8, -1}}, z = {{7, -1}, {15, 0}, {15, 8}}; break;
    case TKvTabOrientation::toRight: a = {{0, 0}, {7, 0}, {0, 7}}, z = {{0, 7}, {8, 15}, {0, 15}}; break;
  }
  c->Polygon(a);
  c->Polygon(z);
  // The layer's screen is the form's window: invert the marker there and show it at once.
  TCustomForm* f = GetParentForm(this);
  while (f && f->Parent()) f = GetParentForm(f->Parent());
  if (!f || !f->BackBuffer()) return;
  TRect self;
  if (!WindowRectInForm(self)) return;
  const TRect in = NonClientInsets();
  const TRect target(self.Left + in.Left + R.Left, self.Top + in.Top + R.Top, self.Left + in.Left + R.Right,
                     self.Top + in.Top + R.Bottom);
  BitBlt(f->BackBuffer()->Canvas(), target.Left, target.Top, w, h, c, 0, 0, SRCINVERT);
  f->MarkDirty(target);
  f->PaintNowIn(target);
}

void TKvCustomTabControl::DragScrollTick() {
  if (HandleAllocated()) SetTimer(Handle(), kDragScrollTimerId, 300);
  if (!Dragging()) return;
  const TPoint p = ScreenToClient(GetCursorPos());
  int32_t d = 0;
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop:
    case TKvTabOrientation::toBottom: d = p.X < 0 ? -1 : p.X > Width() ? 1 : 0; break;
    case TKvTabOrientation::toLeft: d = p.Y < 0 ? 1 : p.Y > Height() ? -1 : 0; break;
    case TKvTabOrientation::toRight: d = p.Y < 0 ? -1 : p.Y > Height() ? 1 : 0; break;
  }
  if (Reverse()) d = -d;
  if (d == 0) return;
  try {
    Scroll(d > 0);
  } catch (...) {
    StopDragTimer();
    throw;
  }
}
