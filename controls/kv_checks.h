#pragma once
// Check boxes and radio buttons.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

// Check box and radio button share the toggling, painting and keyboard.
class TKvCustomCheck : public TCustomControl {
 public:
  explicit TKvCustomCheck(TComponent* AOwner);
  bool Checked() const { return FChecked; }
  virtual void SetChecked(bool v);

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  virtual void PaintMark(TCanvas* C, const TRect& Box) = 0;
  bool FChecked = false;
};

class TKvCheckBox : public TKvCustomCheck {
 public:
  explicit TKvCheckBox(TComponent* AOwner) : TKvCustomCheck(AOwner) {}
  std::string ClassName() const override { return "TKvCheckBox"; }
  void Click() override;

 protected:
  void PaintMark(TCanvas* C, const TRect& Box) override;
};

class TKvRadioButton : public TKvCustomCheck {
 public:
  explicit TKvRadioButton(TComponent* AOwner) : TKvCustomCheck(AOwner) {}
  std::string ClassName() const override { return "TKvRadioButton"; }
  void SetChecked(bool v) override;
  void Click() override;

 protected:
  void PaintMark(TCanvas* C, const TRect& Box) override;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvChecksProperties();
