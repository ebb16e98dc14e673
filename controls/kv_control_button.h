#pragma once
// A small windowless button used as a part of other controls: an arrow, a drop-down button or a
// plain face with a glyph. It can repeat its click while it is held.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/kv_colors.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/timer.h"

enum class TKvControlButtonStyle : uint8_t { cbsNone, cbsLeft, cbsUp, cbsRight, cbsDown, cbsDropDown };
inline constexpr TKvControlButtonStyle cbsNone = TKvControlButtonStyle::cbsNone;
inline constexpr TKvControlButtonStyle cbsLeft = TKvControlButtonStyle::cbsLeft;
inline constexpr TKvControlButtonStyle cbsUp = TKvControlButtonStyle::cbsUp;
inline constexpr TKvControlButtonStyle cbsRight = TKvControlButtonStyle::cbsRight;
inline constexpr TKvControlButtonStyle cbsDown = TKvControlButtonStyle::cbsDown;
inline constexpr TKvControlButtonStyle cbsDropDown = TKvControlButtonStyle::cbsDropDown;

// Cells in a glyph strip, 1 to 4; the second cell is the disabled look.
using TNumGlyphs = int32_t;

class TKvControlButton : public TGraphicControl {
 public:
  explicit TKvControlButton(TComponent* AOwner);
  ~TKvControlButton() override;
  std::string ClassName() const override { return "TKvControlButton"; }

  bool Flat() const { return FFlat; }
  void SetFlat(bool Value);
  // The picture for cbsNone; writing copies it.
  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(const TBitmap* Value);
  TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TNumGlyphs Value);
  bool RepeatClicks() const { return FRepeatClicks; }
  void SetRepeatClicks(bool Value) { FRepeatClicks = Value; }
  uint16_t InitialDelay() const { return FInitialDelay; }
  void SetInitialDelay(uint16_t Value) { FInitialDelay = Value; }
  uint16_t Delay() const { return FDelay; }
  void SetDelay(uint16_t Value) { FDelay = Value; }
  TKvControlButtonStyle Style() const { return FStyle; }
  void SetStyle(TKvControlButtonStyle Value);
  bool Pressed() const { return FPressed; }
  // Called from OnMouseDown: the press that is starting is dropped (no pressed look, no click,
  // no repeat).
  void AbandonPress() { FPressAbandoned = true; }
  bool MouseOver() const { return FMouseOver; }
  // The size of one glyph cell.
  virtual TPoint GlyphSize() const;
  // The glyph's change notice; a container may put its own in place (Glyph()->OnChange).
  void GlyphChanged();

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Paint() override;
  virtual void PaintFace(TRect& R);
  virtual void PaintArrowButton(TRect& R);
  virtual void PaintDropDownButton(TRect& R);
  virtual void PaintGlyph(const TRect& R);
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void RepeatTimerFired();
  void SyncHover();

 private:
  bool Active() const;
  void PaintArrowFace(TRect& R, TColor Fill);
  bool FPressed = false;
  bool FTracking = false;
  bool FPressAbandoned = false;
  bool FFlat = false;
  std::unique_ptr<TBitmap> FGlyph;
  TNumGlyphs FNumGlyphs = 1;
  bool FRepeatClicks = false;
  bool FMouseOver = false;
  std::unique_ptr<TTimer> FRepeatTimer;
  uint16_t FInitialDelay = 400;
  uint16_t FDelay = 100;
  TKvControlButtonStyle FStyle = cbsNone;
};

void RegisterKvControlButtonProperties();
