#pragma once
// The status bar, its panes and the separator.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TKvSeparator : public TGraphicControl {
 public:
  explicit TKvSeparator(TComponent* AOwner);
  std::string ClassName() const override { return "TKvSeparator"; }

 protected:
  void Paint() override;
};

// A pane of the status bar: a sunken area showing its caption.
class TKvStatusPane : public TGraphicControl {
 public:
  explicit TKvStatusPane(TComponent* AOwner);
  std::string ClassName() const override { return "TKvStatusPane"; }

 protected:
  void Paint() override;
};

class TKvStatusBar : public TCustomControl {
 public:
  explicit TKvStatusBar(TComponent* AOwner);
  std::string ClassName() const override { return "TKvStatusBar"; }

 protected:
  void Paint() override;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvStatusProperties();
