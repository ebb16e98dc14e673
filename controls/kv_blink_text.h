#pragma once
// The text colour of a control that blinks with the shared timer (labels, status panes): its place in
// the blinking list, the normal and the current colour, and the shared intervals.

#include <cstdint>
#include <functional>

#include "controls/kv_utils.h"
#include "platform/ui/controls.h"

class TKvBlinkText {
 public:
  explicit TKvBlinkText(TControl* Owner, TColor Normal);
  ~TKvBlinkText();
  TKvBlinkText(const TKvBlinkText&) = delete;
  TKvBlinkText& operator=(const TKvBlinkText&) = delete;

  bool Blinking() const { return FBlinking; }
  // False stops on the normal colour; true when the control must repaint.
  bool SetBlinking(bool Value);
  TColor BlinkColor() const { return FBlinkColor; }
  void SetBlinkColor(TColor Value) { FBlinkColor = Value; }
  // The colour the text shows now, and the one it returns to.
  TColor Current() const { return FCurrent; }
  TColor Normal() const { return FNormal; }
  // A new font colour: the normal one, and the current one unless blinking.
  void Renew(TColor FontColor);
  // Both colours from the font at once.
  void Take(TColor FontColor) { FNormal = FCurrent = FontColor; }
  void Show(bool On);
  // Answers the blinking list's query and blink messages (Show runs on a blink); false for others.
  bool Answer(TMessage& M, const std::function<void(bool On)>& Show) const;
  // Shared by every blinking control of the program.
  uint16_t IntervalOff() const;
  uint16_t IntervalOn() const;
  void SetIntervalOff(uint16_t Value);
  void SetIntervalOn(uint16_t Value);

 private:
  TControl* FOwner;
  bool FBlinking = false;
  bool FOn = false;
  TColor FBlinkColor = clHighlight;
  TColor FNormal;
  TColor FCurrent;
};
