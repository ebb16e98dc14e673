#pragma once
// The status bar with its size grip and simple text, the status pane and the separator.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/kv_blink_text.h"
#include "controls/kv_panels.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

enum class TKvHighlightLocation : uint8_t { hlCenter, hlUpperLeft, hlLowerRight };

// A line as a two-colour gradient, its highlight in the middle or at one end.
class TKvSeparator : public TGraphicControl {
 public:
  explicit TKvSeparator(TComponent* AOwner);
  std::string ClassName() const override { return "TKvSeparator"; }
  TColor HighlightColor() const { return FHighlightColor; }
  virtual void SetHighlightColor(TColor v);
  TKvHighlightLocation HighlightLocation() const { return FHighlightLocation; }
  virtual void SetHighlightLocation(TKvHighlightLocation v);
  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation v);
  bool ShowGradient() const { return FShowGradient; }
  virtual void SetShowGradient(bool v);
  // The gradient the separator paints: direction and its two colours.
  TGradientDirection GradientDirectionUsed() const { return FDirection; }
  TColor FirstColor() const { return FFirst; }
  TColor SecondColor() const { return FSecond; }

 protected:
  void Paint() override;
  void Loaded() override;
  void CMColorChanged(TMessage& Message) override;
  void ComputeGradient();
  TColor FHighlightColor = clHighlight;
  TKvHighlightLocation FHighlightLocation = TKvHighlightLocation::hlCenter;
  TOrientation FOrientation = TOrientation::orHorizontal;
  bool FShowGradient = true;
  TGradientDirection FDirection = TGradientDirection::gdVerticalCenter;
  TColor FFirst = clBtnFace;
  TColor FSecond = clHighlight;
};

class TKvStatusBar;

class TKvCustomStatusPane : public TGraphicControl, public IKvFrameControllerClient {
 public:
  explicit TKvCustomStatusPane(TComponent* AOwner);
  ~TKvCustomStatusPane() override;
  std::string ClassName() const override { return "TKvCustomStatusPane"; }

  TAlignment Alignment() const { return FAlignment; }
  virtual void SetAlignment(TAlignment v);
  bool AutoHint() const { return FAutoHint; }
  void SetAutoHint(bool v) { FAutoHint = v; }
  // With AutoHint, the application's hint action shows its hint as the caption.
  bool ExecuteAction(TBasicAction* Action) override;
  void SetAutoSize(bool Value) override;
  bool Blinking() const { return FBlink.Blinking(); }
  virtual void SetBlinking(bool v);
  TColor BlinkColor() const { return FBlink.BlinkColor(); }
  virtual void SetBlinkColor(TColor v);
  uint16_t BlinkIntervalOff() const;
  virtual void SetBlinkIntervalOff(uint16_t v);
  uint16_t BlinkIntervalOn() const;
  virtual void SetBlinkIntervalOn(uint16_t v);
  int32_t BorderWidth() const { return FBorderWidth; }
  virtual void SetBorderWidth(int32_t v);
  int32_t CaptionOffset() const { return FCaptionOffset; }
  virtual void SetCaptionOffset(int32_t v);
  int32_t DefaultWidth() const { return FDefaultWidth; }
  virtual void SetDefaultWidth(int32_t v);
  TColor FillColor() const { return FFillColor; }
  virtual void SetFillColor(TColor v);
  bool ParentFillColor() const { return FParentFillColor; }
  virtual void SetParentFillColor(bool v);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor v);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(int32_t v);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  virtual void SetFrameStyle(TFrameStyle v);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v);
  // The colour the caption shows in now (the font's, or BlinkColor while the blink is on).
  TColor CaptionColor() const { return FBlink.Current(); }

  virtual int32_t TextWidthNeeded();
  virtual TRect TextRect() const;
  // The rectangle reaches the right edge of a status bar that shows its size grip.
  virtual bool InGripArea(const TRect& R) const;
  TKvFrameController* FrameController() const { return FFrameLink.Controller(); }
  void SetFrameController(TKvFrameController* Value) { FFrameLink.SetController(Value); }
  TKvFrameControllerLink& FrameLink() { return FFrameLink; }
  const TKvFrameControllerLink& FrameLink() const { return FFrameLink; }
  // Takes the frame controller's settings this control accepts.
  void ApplyFrameController() override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Paint() override;
  virtual void DrawPaneText(const std::string& Text);
  virtual void DrawPaneFrame();
  virtual void ShowBlinkState(bool On);
  void AdjustPaneWidth();
  void Loaded() override;
  void Dispatch(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMTextChanged(TMessage& Message) override;
  void CMFontChanged(TMessage& Message) override;
  void CMColorChanged(TMessage& Message) override;
  void CMParentColorChanged(TMessage& Message) override;
  void CMHitTest(TMessage& Message) override;
  TKvStatusBar* ParentBar() const;

  TAlignment FAlignment = taLeftJustify;
  bool FAutoHint = false;
  int32_t FBorderWidth = 1;
  int32_t FCaptionOffset = 2;
  int32_t FDefaultWidth = 40;
  TColor FFillColor = clBtnFace;
  bool FParentFillColor = true;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 30;
  TFrameStyle FFrameStyle = TFrameStyleEx::fsFlat;
  bool FTransparent = true;
  TKvFrameControllerLink FFrameLink{this};
  TKvBlinkText FBlink{this, Font()->Color()};
};

class TKvStatusPane : public TKvCustomStatusPane {
 public:
  explicit TKvStatusPane(TComponent* AOwner) : TKvCustomStatusPane(AOwner) {}
  std::string ClassName() const override { return "TKvStatusPane"; }
};

class TKvStatusBar : public TKvCustomPanel {
 public:
  explicit TKvStatusBar(TComponent* AOwner);
  ~TKvStatusBar() override;
  std::string ClassName() const override { return "TKvStatusBar"; }

  bool AutoScalePanes() const { return FAutoScalePanes; }
  void SetAutoScalePanes(bool v) { FAutoScalePanes = v; }
  bool AutoStyle() const { return FAutoStyle; }
  void SetAutoStyle(bool v) { FAutoStyle = v; }
  bool ShowSizeGrip() const { return FShowSizeGrip; }
  virtual void SetShowSizeGrip(bool v);
  const std::string& SimpleCaption() const { return FSimpleCaption; }
  virtual void SetSimpleCaption(const std::string& v);
  bool SimpleStatus() const { return FSimpleStatus; }
  virtual void SetSimpleStatus(bool v);
  TFrameStyle SimpleFrameStyle() const { return FSimpleFrameStyle; }
  virtual void SetSimpleFrameStyle(TFrameStyle v);
  void SetBorderInner(TFrameStyleEx v) override;
  void SetBorderOuter(TFrameStyleEx v) override;
  void SetBorderSides(TSides v) override;
  void GradientColors(TColor& Start, TColor& Stop) const override;
  // The area panes are laid out in: one pixel above and beside the bar's own area, reaching one below.
  TRect BarClientRect() const;
  // The grip may work now: the bar's form is sizeable and not maximized.
  bool GripWorks() const { return FGripWorks; }
  // Where a press starts a resize of the form (client coordinates).
  TRect GripHotRect() const { return Rect(Width() - 13, 0, Width(), Height()); }

 protected:
  virtual void DrawSimpleFrame(TRect R);
  virtual void ApplyAutoStyle();
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  void Loaded() override;
  void CreateWnd() override;
  void WMSize(TMessage& Message) override;
  void Dispatch(TMessage& Message) override;
  void WMSetCursor(TMessage& Message) override;
  void UpdateGripWorks();
  void AutoStyleOverridden();
  void DrawSizeGrip(TRect R);
  void ScalePanes();

  bool FAutoScalePanes = false;
  bool FAutoStyle = true;
  bool FShowSizeGrip = true;
  std::string FSimpleCaption;
  TFrameStyle FSimpleFrameStyle = TFrameStyleEx::fsFlat;
  bool FSimpleStatus = false;
  bool FGripWorks = false;
  bool FFirstResize = true;
  int32_t FLastWidth = 0;
  int32_t FWidthChange = 0;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvStatusProperties();
