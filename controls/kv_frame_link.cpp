#include "controls/kv_frame_link.h"

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
