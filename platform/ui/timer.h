#pragma once
// A component that fires OnTimer on the GUI thread every Interval milliseconds of the UI clock.

#include <cstdint>

#include "platform/ui/component.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  std::string ClassName() const override { return "TTimer"; }

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t Value);
  // Setting the handler also (re)starts or stops the timer, as it needs one to run.
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value);

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  bool FEnabled = true;
  uint32_t FInterval = 1000;
  TNotifyEvent FOnTimer;
  uintptr_t FTimerId = 0;
};

// The clock timers run on, in milliseconds. Tests may stop it and move it by hand.
uint64_t UiTickCount();
// Freezes the UI clock at its present value; AdvanceUiClock moves it (firing nothing by itself:
// the message loop fires what became due).
void UseTestUiClock(bool On);
void AdvanceUiClock(uint64_t Milliseconds);
bool UiClockIsTest();
