// TTimer: a message-loop timer of the GUI thread.
#include "platform/ui/timer.h"

#include "platform/ui/controls.h"

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
  if (FTimerId) {
    KillTimer(FTimerId, 1);
    DeallocateHWnd(FTimerId);
  }
}

void TTimer::UpdateTimer() {
  if (FTimerId) KillTimer(FTimerId, 1);
  if (FInterval != 0 && FEnabled && FOnTimer) {
    if (!FTimerId)
      FTimerId = AllocateHWnd([this](TMessage& M) {
        if (M.Msg == WM_TIMER) Timer();
      });
    SetTimer(FTimerId, 1, FInterval);
  }
}

void TTimer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
  if (Value == FInterval) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::Timer() {
  if (FOnTimer) FOnTimer(this);
}
