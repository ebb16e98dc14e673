#include "controls/kv_frame_link.h"

#include "controls/kv_colors.h"

TKvFrameControllerLink::~TKvFrameControllerLink() {
  if (FController) FController->UnregisterControl(FOwner);
}

void TKvFrameControllerLink::SetController(TKvFrameController* Value) {
  if (FController == Value) return;
  if (FController) {
    FController->UnregisterControl(FOwner);
    FController->RemoveFreeNotification(FOwner);
  }
  FController = Value;
  if (FController) {
    FController->FreeNotification(FOwner);
    FController->RegisterControl(FOwner);
  }
}

void TKvFrameControllerLink::Removed(TComponent* AComponent) {
  if (AComponent == FController) FController = nullptr;
}

bool TKvFrameControllerLink::Takes(TKvFrameControllerProperty P) const {
  return FController && FController->FrameVisible() && FNotifications.Contains(P);
}

void KvApplyLayeredBorderSettings(TControl* Control, const TKvFrameControllerLink& Link, TKvLayeredBorderFields F) {
  using P = TKvFrameControllerProperty;
  TKvFrameController* c = Link.Controller();
  if (!c || !c->FrameVisible()) return;
  if (Link.Takes(P::fcpFrameStyle)) F.Outer = c->FrameStyle();
  if (Link.Takes(P::fcpFrameSides)) F.Sides = c->FrameSides();
  if (Link.Takes(P::fcpFrameColor)) {
    F.FlatColor = c->FrameColor();
    F.FlatColorAdjustment = 0;
  }
  if (Link.Takes(P::fcpColor)) Control->SetColor(c->Color());
  if (Link.Takes(P::fcpParentColor)) Control->SetParentColor(c->ParentColor());
  if (Link.Takes(P::fcpColor)) {
    F.Highlight = KvLighten(Control->Color(), 100);
    F.Shadow = KvDarken(Control->Color(), 50);
  }
  Control->Invalidate();
}
