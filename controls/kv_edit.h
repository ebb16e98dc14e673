#pragma once
// The framed single-line edit: a frame of its own in any frame style on chosen sides, with hot
// tracking; colours for the disabled, focused and read-only states; a link to a frame controller;
// and Enter moving on like Tab.

#include <cstdint>
#include <functional>
#include <string>

#include "controls/kv_colors.h"
#include "controls/kv_utils.h"
#include "platform/base/exceptions.h"
#include "platform/ui/std_ctrls.h"


// Raised by a validation message.
class EKvEditError : public Exception {
 public:
  explicit EKvEditError(std::string Msg) : Exception(std::move(Msg)) {}
};

using TKvValidateErrorEvent = std::function<void(TObject* Sender, std::string& Message)>;

class TKvCustomEdit : public TCustomEdit {
 public:
  explicit TKvCustomEdit(TComponent* AOwner);
  ~TKvCustomEdit() override;
  std::string ClassName() const override { return "TKvCustomEdit"; }

  TLeftRight Alignment() const { return FAlignment; }
  virtual void SetAlignment(TLeftRight Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }
  TColor DisabledColor() const { return FDisabledColor; }
  virtual void SetDisabledColor(TColor Value);
  TColor FocusColor() const { return FFocusColor; }
  virtual void SetFocusColor(TColor Value);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  TColor FrameHotColor() const { return FFrameHotColor; }
  virtual void SetFrameHotColor(TColor Value);
  TKvFrameController* FrameController() const { return FFrameController; }
  virtual void SetFrameController(TKvFrameController* Value);
  TKvFrameControllerNotifications FrameControllerNotifications() const { return FNotifications; }
  void SetFrameControllerNotifications(TKvFrameControllerNotifications Value) { FNotifications = Value; }
  bool FrameHotTrack() const { return FFrameHotTrack; }
  virtual void SetFrameHotTrack(bool Value);
  TFrameStyle FrameHotStyle() const { return FFrameHotStyle; }
  virtual void SetFrameHotStyle(TFrameStyle Value);
  TSides FrameSides() const { return FFrameSides; }
  virtual void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  virtual void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return FFrameVisible; }
  virtual void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return FFramingPreference; }
  virtual void SetFramingPreference(TFramingPreference Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  virtual void SetReadOnlyColor(TColor Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool Value);
  bool FlatButtons() const { return FFlatButtons; }
  virtual void SetFlatButtons(bool Value);
  TColor FlatButtonColor() const { return FFlatButtonColor; }
  void SetFlatButtonColor(TColor Value) { FFlatButtonColor = Value; }
  // The read-only state the edit shows and keeps.
  void SetReadOnly(bool Value);
  bool MouseInControl() const { return FMouseOver; }
  bool HasFocusFlag() const { return FHasFocus; }
  // The colour a Color write by the program or a form set as the idle colour.
  TColor NormalColor() const { return FNormalColor; }
  // The own frame is left to the visual style (never here: visual styles are off).
  virtual bool ThemedFraming() const;
  // Where the text lies (the client rectangle; a composed edit leaves room for its parts).
  virtual TRect EditAreaRect() const { return ClientRect(); }
  virtual std::string DisplayText() const { return Text(); }
  // Raises the validation error: OnValidateError may give the message.
  void ValidateError();
  // Values older versions of the library stored in forms: read, applied, never written.
  void ReadObsoleteProperty(const std::string& Name, const std::string& Value);

  // The drop button in the frame at the right: shown by deriving controls (none of the program's).
  bool ShowDropButton() const { return FDropShown; }
  void SetShowDropButton(bool Value);
  virtual bool DropButtonShown() const { return FDropShown; }
  // True while the button is down.
  virtual bool DropButtonState() const { return FDropDown; }
  bool DroppedDown() const { return FDroppedDown; }
  bool OverDropButton() const { return FOverDropButton; }
  // The button's place relative to the control's outer top-left (empty when not shown).
  TRect DropButtonRect() const;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TKvValidateErrorEvent OnValidateError;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

 protected:
  virtual void UpdateColors();
  virtual void UpdateFrameState(bool MouseFlag, bool State);
  virtual void RedrawFrame();
  void RepaintNonClient();
  virtual void BecameReadOnly() {}
  virtual void BecameEditable() {}
  virtual bool EffectiveReadOnly() const { return ReadOnly(); }
  virtual void ReadOnlySwitched();
  virtual void PaintDropButton(TCanvas* Canvas);
  // Press of the drop button: capture, down, OnDropDown, OnCloseUp, up.
  void OpenDropDown();
  void EndDropButtonPress();
  virtual void DoDropDown();
  virtual void DoCloseUp();
  void AdjustNonClientInsets(TRect& Insets) const override;
  // Asked for every typed character after Enter was dealt with: false refuses it with a beep.
  virtual bool AcceptsChar(char32_t Ch) { return true; }
  TColor FaceColor() const override { return Color(); }
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void CreateParams(TCreateParams& Params) override;
  void KeyPress(std::string& Key) override;
  // Whether the text is selected on arrival is the deriving control's choice.
  void DoEnter() override { TWinControl::DoEnter(); }
  void Dispatch(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;

 private:
  TLeftRight FAlignment = TLeftRight::taLeftJustify;
  bool FTabOnEnter = false;
  TColor FDisabledColor = clBtnFace;
  TColor FFocusColor = clWindow;
  TColor FNormalColor = clWindow;
  TColor FFrameColor = clBtnShadow;
  TColor FFrameHotColor = clBtnShadow;
  TKvFrameController* FFrameController = nullptr;
  TKvFrameControllerNotifications FNotifications = KvAllFrameNotifications;
  bool FFrameHotTrack = false;
  TFrameStyle FFrameHotStyle = fsFlatBold;
  TSides FFrameSides = KvAllSides;
  TFrameStyle FFrameStyle = fsFlat;
  TFramingPreference FFramingPreference = fpXPThemes;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
  bool FMouseOver = false;
  bool FHasFocus = false;
  bool FApplyingColors = false;
  bool FFlatButtons = false;
  TColor FFlatButtonColor = clBtnFace;
  bool FFrameVisible = false;
  bool FDropShown = false;
  bool FDropDown = false;
  bool FOverDropButton = false;
  bool FDroppedDown = false;
  // The press of the drop button holds the mouse until the release.
  bool FDropPressing = false;
  // Whether a client point lies on the drop button (hit test of the platform's own).
  bool PointOnDropButton(const TPoint& ClientPt) const;
  bool HandleDropButtonMessage(TMessage& M);
};

void RegisterKvEditProperties();
