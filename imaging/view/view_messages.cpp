// TQuillotView: messages, events, cursors, the linked view and the transition hooks.
#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/transitions.h"
#include "imaging/view/view.h"
#include "imaging/view/view_cursors.h"
#include "imaging/view/view_internal.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"

// ---- messages ----

void TQuillotView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case QX_WM_VIEW_IOUPDATE: HandleIOUpdate(Message); return;
    case QX_WM_VIEW_VIDEOFRAME: HandleVideoFrame(Message); return;
    case QX_WM_VIEW_VIDEOEVENT: HandleVideoEvent(Message); return;
    case QX_WM_VIEW_IOPROGRESS: HandleIOProgress(Message); return;
    case QX_WM_VIEW_IOFINISH: HandleIOFinish(Message); return;
    case QX_WM_VIEW_IMAGECHANGE: DoImageChange(); return;
    default: break;
  }
  TQxView::Dispatch(Message);
}

void TQuillotView::HandleIOUpdate(TMessage&) { UpdateView(); }

void TQuillotView::HandleIOProgress(TMessage& Message) {
  if (FOnProgress) FOnProgress(this, int32_t(Message.WParam));
}

void TQuillotView::HandleIOFinish(TMessage&) {
  if (FOnFinishWork) FOnFinishWork(this);
}

// lParam is the capture object that posted the message; one destroyed since is left alone. Frames that
// arrive while the handler runs are not queued.
void TQuillotView::HandleVideoFrame(TMessage& Message) {
  auto* ds = reinterpret_cast<TQxDirectShow*>(Message.LParam);
  if (!ds || !TQxDirectShow::IsAlive(ds)) return;
  ds->PostFrames = false;
  if (ds->Connected() && OnDShowNewFrame) OnDShowNewFrame(this);
  ds->PostFrames = true;
}

void TQuillotView::HandleVideoEvent(TMessage& Message) {
  auto* ds = reinterpret_cast<TQxDirectShow*>(Message.LParam);
  if (!ds || !TQxDirectShow::IsAlive(ds)) return;
  if (ds->Connected() && OnDShowEvent) OnDShowEvent(this);
}

void TQuillotView::WMSize(TMessage& Message) {
  TQxView::WMSize(Message);
  if (!FInUpdate) StopTransitionAndRelayout();
}

void TQuillotView::StopTransitionAndRelayout() {
  if (FTransition) FTransition->Stop();
  ChangeKind = 4;
  UpdateView();
}

void TQuillotView::WMHScroll(TMessage& Message) {
  TQxView::WMHScroll(Message);
  ApplyScrollMessage(Message, true);
}

void TQuillotView::WMVScroll(TMessage& Message) {
  TQxView::WMVScroll(Message);
  ApplyScrollMessage(Message, false);
}

void TQuillotView::WMMouseWheel(TMessage& Message) {
  TQxView::WMMouseWheel(Message);
  const int32_t delta = int16_t(Message.WParamHi());
  const TPoint screen(Message.XPos(), Message.YPos());
  const TPoint client = ScreenToClient(screen);
  ApplyWheel(delta, client.X, client.Y, (Message.WParamLo() & MK_CONTROL) != 0);
}

void TQuillotView::WMSetFocus(TMessage& Message) {
  TQxView::WMSetFocus(Message);
  Invalidate();
}

void TQuillotView::WMKillFocus(TMessage& Message) {
  TQxView::WMKillFocus(Message);
  Invalidate();
}

void TQuillotView::CMWantSpecialKey(TMessage& Message) {
  TQxView::CMWantSpecialKey(Message);
  bool handled = false;
  if (OnSpecialKey) OnSpecialKey(this, uint16_t(Message.WParam), KeyDataToShiftState(Message.LParam), handled);
  if (handled) Message.Result = 1;
}

void TQuillotView::CNKeyDown(TMessage& Message) {
  TQxView::CNKeyDown(Message);
  if (OnVirtualKey) OnVirtualKey(this, uint32_t(Message.WParam), uint32_t(Message.LParam), true);
}

void TQuillotView::CNKeyUp(TMessage& Message) {
  TQxView::CNKeyUp(Message);
  if (OnVirtualKey) OnVirtualKey(this, uint32_t(Message.WParam), uint32_t(Message.LParam), false);
}

void TQuillotView::WMSysKeyDown(TMessage& Message) {
  TQxView::WMSysKeyDown(Message);
  if (OnVirtualKey) OnVirtualKey(this, uint32_t(Message.WParam), uint32_t(Message.LParam), true);
}

void TQuillotView::WMSysKeyUp(TMessage& Message) {
  TQxView::WMSysKeyUp(Message);
  if (OnVirtualKey) OnVirtualKey(this, uint32_t(Message.WParam), uint32_t(Message.LParam), false);
}

// ---- events run with the caller's selection base ----

void TQuillotView::SwapSelectionBase() { std::swap(FSelectionBase, FSavedSelectionBase); }

void TQuillotView::DoZoomIn(double& NewZoom) {
  if (!OnZoomIn) return;
  SwapSelectionBase();
  struct Back {
    TQuillotView* v;
    ~Back() { v->SwapSelectionBase(); }
  } back{this};
  OnZoomIn(this, NewZoom);
}

void TQuillotView::DoZoomOut(double& NewZoom) {
  if (!OnZoomOut) return;
  SwapSelectionBase();
  struct Back {
    TQuillotView* v;
    ~Back() { v->SwapSelectionBase(); }
  } back{this};
  OnZoomOut(this, NewZoom);
}

void TQuillotView::DoMouseInResizingGrip(TQxGrip Grip) {
  if (!OnMouseInResizingGrip) return;
  SwapSelectionBase();
  struct Back {
    TQuillotView* v;
    ~Back() { v->SwapSelectionBase(); }
  } back{this};
  OnMouseInResizingGrip(this, Grip);
}

void TQuillotView::DoMouseInSel() {
  if (!OnMouseInSel) return;
  SwapSelectionBase();
  struct Back {
    TQuillotView* v;
    ~Back() { v->SwapSelectionBase(); }
  } back{this};
  OnMouseInSel(this);
}

void TQuillotView::DoLayerNotify(int32_t Layer, TQxLayerEvent Event) {
  if (!OnLayerNotify) return;
  SwapSelectionBase();
  struct Back {
    TQuillotView* v;
    ~Back() { v->SwapSelectionBase(); }
  } back{this};
  OnLayerNotify(this, Layer, Event);
}

// ---- cursors ----

void TQuillotView::LoadViewCursors() {
  if (!Screen) return;
  for (int32_t id = QxFirstViewCursor; id <= QxLastViewCursor; ++id)
    if (HCURSOR img = QxLoadViewCursor(QxViewCursorResourceName(id))) Screen->SetCursors(TCursor(id), img);
}

void TQuillotView::SetViewCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(this, Value);
  FSavedCursor = Value;
  FViewCursor = Value;
  TQxView::SetCursor(Value);
}

void TQuillotView::SetInteractionCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(this, Value);
  if (!FHasOwner) return;
  FViewCursor = Value;
  TQxView::SetCursor(Value);
}

void TQuillotView::RestoreCursor() { SetInteractionCursor(FSavedCursor); }

// ---- linked view ----

void TQuillotView::SetLinkedView(TQuillotView* V, uint8_t Options) {
  if (FLinkedView) {
    TQuillotView* old = FLinkedView;
    old->OnSelectionChanging = nullptr;
    old->AttachExternalBitmap(nullptr);
    old->FIsLinkedView = false;
    old->OnMouseWheel = nullptr;
    old->RemoveFreeNotification(this);
  }
  FLinkedView = V;
  if (!V) return;
  V->FIsLinkedView = true;
  V->FEnableAlphaChannel = FEnableAlphaChannel;
  V->FAutoFit = true;
  V->SetMouseInteract(TQxMouseInteract{TQxMouseInteractItems::miSelect});
  V->FSelectionBase = TQxSelectionBase::qxsbBitmap;
  V->SetSelectionOptions(
      TQxSelectionOptions{TQxSelectionOptionsItems::qxsoMoveable, TQxSelectionOptionsItems::qxsoCanScroll});
  V->AttachExternalBitmap(FCurrentBitmap);
  V->OnSelectionChanging = [this](TObject* Sender) { FollowLinkedSelection(Sender); };
  V->FLinkOptions = Options;
  if (Options & 1)
    V->OnMouseWheel = [this](TObject* Sender, TShiftState Shift, int32_t WheelDelta, TPoint MousePos, bool& Handled) {
      ZoomFromLinkedWheel(Sender, Shift, WheelDelta, MousePos, Handled);
    };
  V->FreeNotification(this);
  SyncLinkedView();
}

void TQuillotView::SyncLinkedView() {
  if (FSyncGuard || FPaintLock > 0 || !FLinkedView) return;
  FSyncGuard = true;
  struct Guard {
    bool& g;
    ~Guard() { g = false; }
  } guard{FSyncGuard};
  PaintView();
  const int32_t l = ScreenToBitmapX(FImageLeft), t = ScreenToBitmapY(FImageTop);
  const int32_t r = ScreenToBitmapX(FImageLeft + FVisibleWidth), b = ScreenToBitmapY(FImageTop + FVisibleHeight);
  FLinkedView->SelectionFixedWidth = r - l;
  FLinkedView->SelectionFixedHeight = b - t;
  FLinkedView->SetSelectionRatio(0);
  FLinkedView->SelectRect(l, t, r, b, 0);
}

void TQuillotView::FollowLinkedSelection(TObject*) {
  if (FSyncGuard || !FLinkedView) return;
  FSyncGuard = true;
  struct Guard {
    bool& g;
    ~Guard() { g = false; }
  } guard{FSyncGuard};
  const int32_t x1 = FLinkedView->SelectionBoxLeft(), y1 = FLinkedView->SelectionBoxTop();
  // Each axis scales by its own zoom.
  SetViewOrigin(int32_t(Round(x1 * FZoomX / 100)), int32_t(Round(y1 * FZoomY / 100)));
}

void TQuillotView::ZoomFromLinkedWheel(TObject*, TShiftState, int32_t WheelDelta, TPoint MousePos, bool& Handled) {
  if (!FLinkedView) return;
  const TQxMouseWheelParams& p = *FLinkedView->FWheelParams;
  int32_t dir = WheelDelta > 0 ? -1 : 1;
  if (p.ReverseDirection) dir = -dir;
  double z = QxWheelZoomTarget(p.StepKind, p.StepSize, FZoomX, dir);
  if (z > FZoomX)
    DoZoomIn(z);
  else if (z < FZoomX)
    DoZoomOut(z);
  if (p.ZoomAtCursor)
    ZoomAroundPoint(MousePos.X, MousePos.Y, z, false);
  else
    SetZoom(z);
  Handled = true;
}

void TQuillotView::SetSelectionRatio(double Ratio) {
  if (Ratio == FSelectionAspectRatio) return;
  FSelectionAspectRatio = Ratio;
  TQxSelectionOptions o = FSelectionOptions;
  if (Ratio != 0)
    o.Include(TQxSelectionOptionsItems::qxsoSizeable);
  else
    o.Exclude(TQxSelectionOptionsItems::qxsoSizeable);
  SetSelectionOptions(o);
}

void TQuillotView::SetSelectionColor1(TColor Color) {
  FSelectionColor1 = Color;
  if (FSelOutline) FSelOutline->Color1 = Color;
}
void TQuillotView::SetSelectionColor2(TColor Color) {
  FSelectionColor2 = Color;
  if (FSelOutline) FSelOutline->Color2 = Color;
}

// ---- transitions ----

namespace {
// Pan-zoom frames that leave the picture are cleared with the image view's own background.
[[maybe_unused]] const bool kTransitionBackgroundHooked = (QxPaintViewBackgroundHook = [](TQxView* View, TCanvas* Canvas) {
  if (auto* V = dynamic_cast<TQuillotView*>(View)) {
    V->PaintBackgroundTo(Canvas);
    return;
  }
  Canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
  Canvas->Brush()->SetColor(View->Background());
  Canvas->FillRect(Canvas->ClipRect());
}, true);
}  // namespace

TNotifyEvent TQuillotView::OnTransitionStop() const { return FTransition ? FTransition->OnTransitionStop : nullptr; }
void TQuillotView::SetOnTransitionStop(const TNotifyEvent& Value) {
  if (!FTransition) FTransition = std::make_unique<TQxTransitionEffects>(this);
  FTransition->OnTransitionStop = Value;
}
TQxTransitionStepEvent TQuillotView::OnTransitionStep() const {
  return FTransition ? FTransition->OnTransitionStep : nullptr;
}
void TQuillotView::SetOnTransitionStep(const TQxTransitionStepEvent& Value) {
  if (!FTransition) FTransition = std::make_unique<TQxTransitionEffects>(this);
  FTransition->OnTransitionStep = Value;
}
TQxOnTransitionPaint TQuillotView::OnTransitionPaint() const {
  return FTransition ? FTransition->OnTransitionPaint : nullptr;
}
void TQuillotView::SetOnTransitionPaint(const TQxOnTransitionPaint& Value) {
  if (!FTransition) FTransition = std::make_unique<TQxTransitionEffects>(this);
  FTransition->AssignPaintHandler(Value);
}
