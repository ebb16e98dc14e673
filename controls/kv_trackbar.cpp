#include "controls/kv_trackbar.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/kv_first_cut.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

using namespace kvfirst;

// ---- Track bar ---------------------------------------------------------------------------------------

TKvTrackBar::TKvTrackBar(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvTrackBarProperties();
  SetTabStop(true);
  SetBounds(0, 0, 150, 25);
}

void TKvTrackBar::SetMin(int32_t v) {
  FMin = v;
  if (FMax < FMin) FMax = FMin;
  if (FPosition < FMin) SetPosition(FMin);
  Invalidate();
}

void TKvTrackBar::SetMax(int32_t v) {
  FMax = v;
  if (FMin > FMax) FMin = FMax;
  if (FPosition > FMax) SetPosition(FMax);
  Invalidate();
}

void TKvTrackBar::SetPosition(int32_t v) {
  if (v == FPosition) return;
  v = std::clamp(v, FMin, FMax);
  if (v == FPosition) return;
  FPosition = v;
  Invalidate();
  if (OnChange) OnChange(this);
}

TRect TKvTrackBar::ChannelRect() const {
  int32_t cy = Height() / 2;
  return Rect(6, cy - 2, std::max(7, Width() - 6), cy + 2);
}

TRect TKvTrackBar::ThumbRect() const {
  TRect ch = ChannelRect();
  int32_t span = ch.Width() - 1;
  int32_t range = FMax - FMin;
  int32_t x = ch.Left + (range > 0 ? int32_t(int64_t(FPosition - FMin) * span / range) : 0);
  int32_t cy = Height() / 2;
  return Rect(x - 5, cy - 9, x + 6, cy + 9);
}

int32_t TKvTrackBar::PositionAt(int32_t X) const {
  TRect ch = ChannelRect();
  int32_t span = std::max(1, ch.Width() - 1);
  int64_t rel = std::clamp(X - ch.Left, 0, span);
  return FMin + int32_t((rel * (FMax - FMin) + span / 2) / span);
}

void TKvTrackBar::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Parent() ? Parent()->Color() : Color());
  TRect ch = ChannelRect();
  Fill(C, ch, clWindow);
  Frame(C, ch, clBtnShadow, clBtnHighlight);
  TRect th = ThumbRect();
  if (Enabled())
    Gradient(C, th, kHot1, kHot2);
  else
    Fill(C, th, clBtnFace);
  C->Brush()->SetColor(Enabled() ? kFrame : clBtnShadow);
  C->FrameRect(th);
  if (Focused()) {
    TRect fr = r;
    DrawFocusRect(C, fr);
  }
}

void TKvTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus()) SetFocus();
  FDragging = true;
  SetPosition(PositionAt(X));
}

void TKvTrackBar::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (FDragging) SetPosition(PositionAt(X));
}

void TKvTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FDragging = false;
}

void TKvTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_LEFT:
    case VK_UP: SetPosition(FPosition - 1); break;
    case VK_RIGHT:
    case VK_DOWN: SetPosition(FPosition + 1); break;
    case VK_PRIOR: SetPosition(FPosition - FPageSize); break;
    case VK_NEXT: SetPosition(FPosition + FPageSize); break;
    case VK_HOME: SetPosition(FMin); break;
    case VK_END: SetPosition(FMax); break;
    default: return;
  }
  Key = 0;
}

bool TKvTrackBar::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  SetPosition(FPosition + (WheelDelta > 0 ? -1 : 1));
  return true;
}

void TKvTrackBar::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
  }
  TCustomControl::Dispatch(M);
}


void RegisterKvTrackBarProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterIntegerProperty<TKvTrackBar>("Position", [](TKvTrackBar* c, int64_t v) { c->SetPosition(int32_t(v)); },
                                       [](const TKvTrackBar* c) { return int64_t(c->Position()); });
  RegisterIntegerProperty<TKvTrackBar>("Min", [](TKvTrackBar* c, int64_t v) { c->SetMin(int32_t(v)); });
  RegisterIntegerProperty<TKvTrackBar>("Max", [](TKvTrackBar* c, int64_t v) { c->SetMax(int32_t(v)); });
}
