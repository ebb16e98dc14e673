#pragma once
// The track bar.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TKvTrackBar : public TCustomControl {
 public:
  explicit TKvTrackBar(TComponent* AOwner);
  std::string ClassName() const override { return "TKvTrackBar"; }
  int32_t Min() const { return FMin; }
  void SetMin(int32_t v);
  int32_t Max() const { return FMax; }
  void SetMax(int32_t v);
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t v);
  int32_t PageSize() const { return FPageSize; }
  void SetPageSize(int32_t v) { FPageSize = v < 1 ? 1 : v; }
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void Dispatch(TMessage& Message) override;
  TRect ChannelRect() const;
  TRect ThumbRect() const;
  int32_t PositionAt(int32_t X) const;
  int32_t FMin = 0, FMax = 10, FPosition = 0, FPageSize = 2;
  bool FDragging = false;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvTrackBarProperties();
