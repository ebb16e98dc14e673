#pragma once
// Push buttons and the tool button.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TImageList;

// Push button with a modal result and a default flag.
class TKvButton : public TCustomControl {
 public:
  explicit TKvButton(TComponent* AOwner);
  std::string ClassName() const override { return "TKvButton"; }
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  bool HotTrack() const { return FHotTrack; }
  void SetHotTrack(bool v) { FHotTrack = v; }
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;
  // Face and caption; derived buttons add their glyphs.
  virtual void PaintFace(TCanvas* C, const TRect& R, bool Pressed);
  bool Pressed() const { return FPressed && FMouseIn; }
  bool FDefault = false;
  TModalResult FModalResult = mrNone;
  bool FHotTrack = false;
  bool FPressed = false;
  bool FMouseIn = false;
};

// Flat tool-bar button: an image of an image list over its caption.
class TKvToolButton : public TKvButton {
 public:
  explicit TKvToolButton(TComponent* AOwner);
  std::string ClassName() const override { return "TKvToolButton"; }
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* v);
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t v);
  // Image shown while disabled (-1: the normal one, grayed).
  int32_t DisabledImageIndex() const { return FDisabledImageIndex; }
  void SetDisabledImageIndex(int32_t v);

 protected:
  void PaintFace(TCanvas* C, const TRect& R, bool Pressed) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  TImageList* FImages = nullptr;
  int32_t FImageIndex = -1;
  int32_t FDisabledImageIndex = -1;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvButtonsProperties();
