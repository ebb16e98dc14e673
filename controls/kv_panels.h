#pragma once
// Panels and group boxes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TKvPanel : public TCustomControl {
 public:
  explicit TKvPanel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvPanel"; }
  // Flat border: a single shadow line instead of the raised bevel; bsNone: no border at all.
  bool FlatBorder() const { return FFlatBorder; }
  void SetFlatBorder(bool v);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool v);

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  int32_t BorderSize() const;
  bool FFlatBorder = false;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
  bool FShowCaption = true;
};

class TKvGroupBox : public TKvPanel {
 public:
  explicit TKvGroupBox(TComponent* AOwner);
  std::string ClassName() const override { return "TKvGroupBox"; }

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvPanelsProperties();
