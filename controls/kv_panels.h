#pragma once
// Panels and group boxes: framed containers with layered borders, gradient faces, a grid and a caption.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/kv_blits.h"
#include "controls/kv_frame_link.h"
#include "controls/kv_colors.h"
#include "controls/kv_dock.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/ui/themes.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

enum class TKvGridStyle : uint8_t { gsDots, gsDottedLines, gsSolidLines };
enum class TKvGroupBoxStyle : uint8_t { gsStandard, gsCustom, gsTopLine, gsFlat, gsBanner, gsUnderline };

// Width a border style takes on one side of a panel or label frame.
int32_t KvFrameStyleWidth(TFrameStyleEx Style, int32_t BevelWidth);
// R shrunk by the outer and inner styles on each of Sides.
TRect KvShrinkByFrame(TRect R, TFrameStyleEx Outer, TFrameStyleEx Inner, TSides Sides, int32_t BevelWidth);

// Reading order of a control's text (the class library's bidirectional modes).
enum class TBiDiMode : uint8_t { bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly };

class TKvCustomPanel : public TCustomControl, public IKvFrameControllerClient {
 public:
  explicit TKvCustomPanel(TComponent* AOwner);
  ~TKvCustomPanel() override;
  std::string ClassName() const override { return "TKvCustomPanel"; }

  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TAlignmentVertical AlignmentVertical() const { return FAlignmentVertical; }
  virtual void SetAlignmentVertical(TAlignmentVertical v);
  int32_t BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int32_t v);
  // The panel's border width lies inside its own area (painted as bands of BorderColor).
  int32_t BorderWidth() const { return FPanelBorderWidth; }
  void SetBorderWidth(int32_t v);
  bool FullRepaint() const { return FFullRepaint; }
  void SetFullRepaint(bool v) { FFullRepaint = v; }
  bool Locked() const { return FLocked; }
  void SetLocked(bool v) { FLocked = v; }
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  virtual void SetBorderInner(TFrameStyleEx v);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  virtual void SetBorderOuter(TFrameStyleEx v);
  TSides BorderSides() const { return FBorderSides; }
  virtual void SetBorderSides(TSides v);
  TColor BorderColor() const { return FBorderColor; }
  virtual void SetBorderColor(TColor v);
  TColor BorderHighlight() const { return FBorderHighlight; }
  virtual void SetBorderHighlight(TColor v);
  TColor BorderShadow() const { return FBorderShadow; }
  virtual void SetBorderShadow(TColor v);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor v);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(int32_t v);
  TKvGradientColorStyle GradientColorStyle() const { return FGradientColorStyle; }
  virtual void SetGradientColorStyle(TKvGradientColorStyle v);
  TColor GradientColorStart() const { return FGradientColorStart; }
  virtual void SetGradientColorStart(TColor v);
  TColor GradientColorStop() const { return FGradientColorStop; }
  virtual void SetGradientColorStop(TColor v);
  TGradientDirection GradientDirection() const { return FGradientDirection; }
  virtual void SetGradientDirection(TGradientDirection v);
  TColor GridColor() const { return FGridColor; }
  virtual void SetGridColor(TColor v);
  TKvGridStyle GridStyle() const { return FGridStyle; }
  virtual void SetGridStyle(TKvGridStyle v);
  uint16_t GridXSize() const { return FGridXSize; }
  virtual void SetGridXSize(uint16_t v);
  uint16_t GridYSize() const { return FGridYSize; }
  virtual void SetGridYSize(uint16_t v);
  bool ShowGrid() const { return FShowGrid; }
  virtual void SetShowGrid(bool v);
  int32_t TextMargin() const { return FTextMargin; }
  virtual void SetTextMargin(int32_t v);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v);
  TKvVisualStyle VisualStyle() const { return FVisualStyle; }
  virtual void SetVisualStyle(TKvVisualStyle v);
  bool WordWrap() const { return FWordWrap; }
  virtual void SetWordWrap(bool v);
  bool ShowDockClientCaptions() const { return FShowDockClientCaptions; }
  void SetShowDockClientCaptions(bool v) { FShowDockClientCaptions = v; }
  // Right-to-left reading: captions read from the right (the alignment mirrors with
  // bdRightToLeft), and a group box sets its caption into the top edge from the right.
  TBiDiMode BiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode v);
  bool UseRightToLeftReading() const { return FBiDiMode != TBiDiMode::bdLeftToRight; }
  // The DT_ flags of the caption's alignment and reading order.
  uint32_t CaptionTextFlags() const;
  // A dock site with UseDockManager gets a dock manager that draws captioned grabbers.
  bool DockSite() const { return FDockSite; }
  void SetDockSite(bool v);
  bool UseDockManager() const { return FUseDockManager; }
  void SetUseDockManager(bool v);
  TKvPanelDockManager* DockManager() const { return FDockManager.get(); }

  // The interior left by the frame; with the flag the border width comes off first.
  virtual TRect FrameInterior(TRect R, bool WithBorderWidth) const;
  virtual TRect PaintBounds() const { return Rect(0, 0, Width(), Height()); }
  virtual void GradientColors(TColor& Start, TColor& Stop) const;
  TPoint CursorPosition() const;
  TKvFrameController* FrameController() const { return FFrameLink.Controller(); }
  void SetFrameController(TKvFrameController* Value) { FFrameLink.SetController(Value); }
  TKvFrameControllerLink& FrameLink() { return FFrameLink; }
  const TKvFrameControllerLink& FrameLink() const { return FFrameLink; }
  // Takes the frame controller's settings this control accepts.
  void ApplyFrameController() override;
  // A bottom-aligned panel keeps its bottom edge, a right-aligned one its right edge.
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnPaint;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Paint() override;
  virtual void DrawCaption(TRect R);
  virtual void DrawGrid(TRect R);
  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  // A write that changes the frame: children move, the panel repaints.
  void FrameChanged();
  // A write that changes the gradient: transparent children show the new face too.
  void GradientChanged();

  TAlignment FAlignment = taCenter;
  TAlignmentVertical FAlignmentVertical = TAlignmentVertical::avCenter;
  int32_t FBevelWidth = 1;
  int32_t FPanelBorderWidth = 0;
  bool FFullRepaint = true;
  bool FLocked = false;
  TFrameStyleEx FBorderInner = TFrameStyleEx::fsNone;
  TFrameStyleEx FBorderOuter = TFrameStyleEx::fsRaised;
  TSides FBorderSides{TSide::sdLeft, TSide::sdTop, TSide::sdRight, TSide::sdBottom};
  TColor FBorderColor = clBtnFace;
  TColor FBorderHighlight = clBtnHighlight;
  TColor FBorderShadow = clBtnShadow;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 30;
  TKvGradientColorStyle FGradientColorStyle = TKvGradientColorStyle::gcsSystem;
  TColor FGradientColorStart = clWhite;
  TColor FGradientColorStop = clBtnFace;
  TGradientDirection FGradientDirection = TGradientDirection::gdHorizontalEnd;
  TColor FGridColor = clBtnShadow;
  TKvGridStyle FGridStyle = TKvGridStyle::gsDots;
  uint16_t FGridXSize = 8;
  uint16_t FGridYSize = 8;
  bool FShowGrid = false;
  int32_t FTextMargin = 0;
  bool FTransparent = false;
  TKvVisualStyle FVisualStyle = TKvVisualStyle::vsWinXP;
  bool FWordWrap = true;
  bool FShowDockClientCaptions = true;
  TBiDiMode FBiDiMode = TBiDiMode::bdLeftToRight;
  bool FDockSite = false;
  bool FUseDockManager = true;
  std::unique_ptr<TKvPanelDockManager> FDockManager;
  TKvFrameControllerLink FFrameLink{this};
  void UpdateDockManager();

 private:
  // Which children were enabled when the panel was last disabled.
  std::vector<std::pair<TControl*, bool>> FSavedEnabled;
};

class TKvPanel : public TKvCustomPanel {
 public:
  explicit TKvPanel(TComponent* AOwner) : TKvCustomPanel(AOwner) {}
  std::string ClassName() const override { return "TKvPanel"; }
};

class TKvCustomGroupBox : public TKvCustomPanel {
 public:
  explicit TKvCustomGroupBox(TComponent* AOwner);
  std::string ClassName() const override { return "TKvCustomGroupBox"; }
  TKvGroupBoxStyle GroupStyle() const { return FGroupStyle; }
  virtual void SetGroupStyle(TKvGroupBoxStyle v);
  // Where the caption goes (empty without a caption or in the custom style).
  TRect CaptionRect();

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  TKvGroupBoxStyle FGroupStyle = TKvGroupBoxStyle::gsFlat;
};

class TKvGroupBox : public TKvCustomGroupBox {
 public:
  explicit TKvGroupBox(TComponent* AOwner) : TKvCustomGroupBox(AOwner) {}
  std::string ClassName() const override { return "TKvGroupBox"; }
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvPanelsProperties();
