#include "imaging/foundation/view_base.h"

#include <algorithm>

#include "platform/base/exceptions.h"
#include "platform/ui/messages.h"

int32_t QxDefaultDpiX = 300;
int32_t QxDefaultDpiY = 300;

namespace {
[[noreturn]] void AbstractError() { throw Exception("Abstract Error"); }
}  // namespace

TQxView::TQxView(TComponent* AOwner) : TCustomControl(AOwner), FBackground(clBtnFace) {
  TControlStyle style = ControlStyle();
  style.Include(csAcceptsControls);
  style.Include(csOpaque);
  style.Include(csReplicatable);
  style.Include(csNeedsBorderPaint);
  SetControlStyle(style);
  TCustomControl::SetCtl3D(true);
}

TQxView::~TQxView() {
  // Every attached component hears once that the view goes; a callback may unregister itself.
  while (!FCallbacks.empty()) {
    std::unique_ptr<CallbackRecord> rec = std::move(FCallbacks.front());
    FCallbacks.erase(FCallbacks.begin());
    ++FCallbackGeneration;
    try {
      if (rec->Callback) rec->Callback(rec->Data, this, true);
    } catch (...) {
    }
  }
}

void TQxView::SetBackground(TColor Value) { FBackground = Value; }

void TQxView::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TQxView::SetCtl3D(bool Value) {
  const bool changed = Value != Ctl3D();
  TCustomControl::SetCtl3D(Value);
  if (changed) RecreateWnd();
}

void TQxView::SetDpiX(int32_t Value) {
  if (Value != 0) FDpiX = Value;
}
void TQxView::SetDpiY(int32_t Value) {
  if (Value != 0) FDpiY = Value;
}
void TQxView::SetDpi(int32_t X, int32_t Y) {
  SetDpiX(X);
  SetDpiY(Y);
}

TQxBitmap* TQxView::GetAlphaChannel() { AbstractError(); }
bool TQxView::HasAlphaChannel() { AbstractError(); }
void TQxView::RemoveAlphaChannel(bool) { AbstractError(); }
void TQxView::IncPaintLock() { AbstractError(); }
int32_t TQxView::DecPaintLockAndUpdate() { AbstractError(); }
int32_t TQxView::DecPaintLock() { AbstractError(); }

void* TQxView::AddBitmapChangeCallback(TQxViewChangeCallback Callback, void* Data) {
  FCallbacks.push_back(std::make_unique<CallbackRecord>(CallbackRecord{std::move(Callback), Data}));
  ++FCallbackGeneration;
  return FCallbacks.back().get();
}

void TQxView::RemoveBitmapChangeCallback(void* Handle) {
  if (!Handle) return;
  auto it = std::find_if(FCallbacks.begin(), FCallbacks.end(),
                         [Handle](const std::unique_ptr<CallbackRecord>& r) { return r.get() == Handle; });
  if (it == FCallbacks.end()) return;
  FCallbacks.erase(it);
  ++FCallbackGeneration;
}

void TQxView::NotifyBitmapChange() {
  // Walk a snapshot of the handles; a record removed by an earlier callback is skipped, never called
  // after it was freed.
  std::vector<CallbackRecord*> handles;
  handles.reserve(FCallbacks.size());
  for (auto& r : FCallbacks) handles.push_back(r.get());
  for (CallbackRecord* h : handles) {
    bool alive = false;
    for (auto& r : FCallbacks)
      if (r.get() == h) {
        alive = true;
        break;
      }
    if (!alive) continue;
    TQxViewChangeCallback cb = h->Callback;  // the record may go away inside the call
    if (cb) cb(h->Data, this, false);
  }
}

void TQxView::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (FBorderStyle == TBorderStyle::bsSingle) {
    if (Ctl3D())
      Params.ExStyle |= WS_EX_CLIENTEDGE;
    else
      Params.Style |= WS_BORDER;
  }
  Params.WindowClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TQxView::Dispatch(TMessage& Message) {
  TCustomControl::Dispatch(Message);
  if (Message.Msg == CM_MOUSEENTER) {
    if (OnMouseEnter) OnMouseEnter(this);
  } else if (Message.Msg == CM_MOUSELEAVE) {
    if (OnMouseLeave) OnMouseLeave(this);
  }
}

void QxSetScrollBar(TWinControl* Window, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Position,
                    bool Redraw, bool) {
  if (!Window) return;
  TScrollInfo info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = Min;
  info.nMax = Max;
  info.nPage = uint32_t(std::max(Page, 0));
  info.nPos = Position;
  Window->SetScrollInfo(Bar, info, Redraw);
}

void QxSetScrollRange(TWinControl* Window, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool) {
  if (Window) Window->SetScrollRange(Bar, Min, Max, Redraw);
}

void QxSetScrollPos(TWinControl* Window, int32_t Bar, int32_t Position, bool Redraw, bool) {
  if (Window) Window->SetScrollPos(Bar, Position, Redraw);
}

void QxEnableScrollBar(TWinControl* Window, int32_t Bar, uint32_t Arrows, bool) {
  if (Window) Window->EnableScrollBar(Bar, Arrows);
}

void QxShowScrollBar(TWinControl* Window, int32_t Bar, bool Show, bool) {
  if (Window) Window->ShowScrollBar(Bar, Show);
}
