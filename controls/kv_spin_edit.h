#pragma once
// The spin edit.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

// Integer edit with up and down buttons. The value is a double so that callers round it.
class TKvSpinEdit : public TCustomControl {
 public:
  explicit TKvSpinEdit(TComponent* AOwner);
  std::string ClassName() const override { return "TKvSpinEdit"; }
  double Value() const { return FValue; }
  void SetValue(double v);
  double Min() const { return FMin; }
  void SetMin(double v);
  double Max() const { return FMax; }
  void SetMax(double v);
  double Increment() const { return FIncrement; }
  void SetIncrement(double v) { FIncrement = v; }
  // The text being typed (the value's text when not editing).
  std::string Text() const override;
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void Dispatch(TMessage& Message) override;
  void DoExit() override;
  double Clamp(double v) const;
  void CommitText();
  TRect UpRect() const;
  TRect DownRect() const;
  double FValue = 0, FMin = 0, FMax = 100, FIncrement = 1;
  std::string FEditText;
  bool FEditing = false;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvSpinEditProperties();
