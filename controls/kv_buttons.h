#pragma once
// Push buttons: the windowed button base (press tracking, hover, 3D caption text) and the push button
// with default, cancel, modal result and stay-down groups.

#include <cstdint>
#include <functional>
#include <string>

#include "controls/kv_blits.h"
#include "controls/kv_colors.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/ui/themes.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

// Message a stay-down push button sends its siblings when it goes down (WParam group, LParam sender).
inline constexpr uint32_t KV_BUTTON_GROUP_MSG = 9249;

class TKvCustomButton : public TCustomControl {
 public:
  explicit TKvCustomButton(TComponent* AOwner);
  std::string ClassName() const override { return "TKvCustomButton"; }

  TAlignmentVertical AlignmentVertical() const { return FAlignmentVertical; }
  virtual void SetAlignmentVertical(TAlignmentVertical v);
  TColor HotTrackColor() const { return FHotTrackColor; }
  void SetHotTrackColor(TColor v);
  TKvHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  void SetHotTrackColorType(TKvHotTrackColorType v);
  TColor HighlightColor() const { return FHighlightColor; }
  virtual void SetHighlightColor(TColor v);
  bool LightTextStyle() const { return FLightTextStyle; }
  virtual void SetLightTextStyle(bool v);
  TTextStyle TextStyle() const { return FTextStyle; }
  virtual void SetTextStyle(TTextStyle v);
  TColor TextHighlightColor() const { return FTextHighlightColor; }
  virtual void SetTextHighlightColor(TColor v);
  TColor TextShadowColor() const { return FTextShadowColor; }
  virtual void SetTextShadowColor(TColor v);
  int32_t TextShadowDepth() const { return FTextShadowDepth; }
  virtual void SetTextShadowDepth(int32_t v);
  bool HotTrack() const { return FHotTrack; }
  virtual void SetHotTrack(bool v);
  bool ThemeAware() const { return FThemeAware; }
  virtual void SetThemeAware(bool v);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v);

  bool MouseOver() const { return FMouseOver; }
  // The press is being shown (left button or Space held on the button).
  bool PressShown() const { return FPressShown; }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  virtual void StateChanged() {}
  virtual void RepaintNow() { Repaint(); }
  virtual TRect HotTrackArea() { return ClientRect(); }
  // The caption in R with the text style; Flags are DrawText flags.
  virtual void DrawCaptionText(TCanvas* C, TRect R, uint32_t Flags);
  // A press ended over the button.
  virtual void ToggleState() = 0;
  bool ThemedLook() const { return FThemeAware && ThemesEnabled(); }

  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;
  void CMTextChanged(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;

  TAlignmentVertical FAlignmentVertical = TAlignmentVertical::avCenter;
  TColor FHotTrackColor = 1350640;
  TKvHotTrackColorType FHotTrackColorType = TKvHotTrackColorType::htctActual;
  TColor FHighlightColor = clHighlight;
  bool FLightTextStyle = false;
  TTextStyle FTextStyle = TTextStyle::tsNormal;
  TColor FTextHighlightColor = clBtnHighlight;
  TColor FTextShadowColor = clBtnShadow;
  int32_t FTextShadowDepth = 2;
  bool FTracking = false;
  bool FHotTrack = false;
  bool FMouseOver = false;
  bool FPressShown = false;
  bool FThemeAware = true;
  bool FTransparent = false;
};

class TKvButton : public TKvCustomButton {
 public:
  explicit TKvButton(TComponent* AOwner);
  std::string ClassName() const override { return "TKvButton"; }

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool v);
  bool Down() const { return FDown; }
  void SetDown(bool v);
  int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t v);
  bool ShowDownPattern() const { return FShowDownPattern; }
  void SetShowDownPattern(bool v);
  bool ShowFocusRect() const { return FShowFocusRect; }
  void SetShowFocusRect(bool v);
  bool DropDownOnEnter() const { return FDropDownOnEnter; }
  void SetDropDownOnEnter(bool v) { FDropDownOnEnter = v; }
  TColor FrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor v);
  void SetHotTrack(bool v) override;
  // The button acts as the form's default button now.
  bool Active() const { return FActive; }

  void Click() override;

 protected:
  virtual TRect CaptionRect();
  virtual void PaintCaption();
  // The 8 x 8 dither a stay-down group button is filled with.
  virtual void MakeDownPattern(TBitmap* Bitmap);
  void Paint() override;
  void StateChanged() override { Invalidate(); }
  void ToggleState() override;
  void CreateWnd() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void CMDialogKey(TMessage& Message) override;
  void CMFocusChanged(TMessage& Message) override;
  void NotifyGroup();
  bool InGroup() const { return FGroupIndex != 0; }
  bool StayDownLook() const { return FLook == 3; }

  TAlignment FAlignment = taCenter;
  bool FDefault = false;
  bool FCancel = false;
  TModalResult FModalResult = mrNone;
  bool FAllowAllUp = false;
  bool FDown = false;
  int32_t FGroupIndex = 0;
  uint8_t FLook = 0;  // up 0, stay-down 3
  bool FShowDownPattern = true;
  bool FShowFocusRect = true;
  bool FDropDownOnEnter = true;
  TColor FFrameColor = cl3DDkShadow;
  bool FActive = false;
  bool FClicking = false;
  bool FKeyPress = false;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvButtonsProperties();
