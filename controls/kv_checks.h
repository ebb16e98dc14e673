#pragma once
// Check boxes and radio buttons: a state glyph (drawn, or cut from a strip of custom glyphs) beside a
// caption, on the push-button base's press tracking and 3D caption.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/kv_buttons.h"
#include "controls/kv_frame_link.h"
#include "platform/graphics/bitmap.h"

class TKvCustomGlyphButton : public TKvCustomButton, public IKvFrameControllerClient {
 public:
  explicit TKvCustomGlyphButton(TComponent* AOwner);
  ~TKvCustomGlyphButton() override;
  std::string ClassName() const override { return "TKvCustomGlyphButton"; }

  TLeftRight Alignment() const { return FAlignment; }
  virtual void SetAlignment(TLeftRight v);
  virtual bool Checked() const { return false; }
  virtual void SetChecked(bool) {}
  // The strip of custom glyphs (copied); an empty strip turns UseCustomGlyphs off.
  TBitmap* CustomGlyphs() const { return FCustomGlyphs.get(); }
  virtual void SetCustomGlyphs(const TBitmap* v);
  bool UseCustomGlyphs() const { return FUseCustomGlyphs; }
  virtual void SetUseCustomGlyphs(bool v);
  TColor FillColor() const { return FFillColor; }
  virtual void SetFillColor(TColor v);
  TColor FocusColor() const { return FFocusColor; }
  virtual void SetFocusColor(TColor v);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor v);
  TColor DisabledColor() const { return FDisabledColor; }
  virtual void SetDisabledColor(TColor v);
  bool ReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool v);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  virtual void SetReadOnlyColor(TColor v);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool v) { FReadOnlyColorOnFocus = v; }
  TColor TransparentColor() const { return FTransparentColor; }
  virtual void SetTransparentColor(TColor v);
  TColor WinMaskColor() const { return FWinMaskColor; }
  virtual void SetWinMaskColor(TColor v);
  void SetTransparent(bool v) override;
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool v) { FTabOnEnter = v; }
  TKvButtonHotTrackStyle HotTrackStyle() const { return FHotTrackStyle; }
  void SetHotTrackStyle(TKvButtonHotTrackStyle v);

  int32_t GlyphWidth() const { return FGlyphWidth; }
  int32_t GlyphHeight() const { return FGlyphHeight; }
  // Where the glyph sits in the control.
  TRect GlyphRect() const;
  TKvFrameController* FrameController() const { return FFrameLink.Controller(); }
  void SetFrameController(TKvFrameController* Value) { FFrameLink.SetController(Value); }
  TKvFrameControllerLink& FrameLink() { return FFrameLink; }
  const TKvFrameControllerLink& FrameLink() const { return FFrameLink; }
  // Takes the frame controller's settings this control accepts.
  void ApplyFrameController() override;
  // Set by the action link while it writes Checked: the change fires no click.
  bool ClicksSuppressed() const { return FSuppressClicks; }
  void SetClicksSuppressed(bool v) { FSuppressClicks = v; }

 protected:
  std::unique_ptr<TControlActionLink> CreateActionLink() override;
  void ActionChange(TObject* Sender, bool CheckDefaults) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void RenderGlyph(TBitmap* Bitmap) = 0;
  virtual void SmoothGlyphEdges(TBitmap*) {}
  virtual void DrawGlyph(TCanvas* C);
  // Copies cell Index of the strip into Target, sized to the glyph.
  virtual void ExtractCustomGlyph(int32_t Index, TBitmap* Target, int32_t Height, int32_t Width, TBitmap* Strip);
  void StateChanged() override { RepaintNow(); }
  void RepaintNow() override { Repaint(); }
  TRect HotTrackArea() override { return GlyphRect(); }
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyPress(std::string& Key) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;
  void CMParentColorChanged(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  // Hot colours and draw state (0 normal, 1 pressed, 2 hot, 3 disabled) of the drawn looks.
  void HotColors(TColor& Dark, TColor& Light) const;
  uint8_t DrawState() const;
  // Fills a glyph bitmap with the transparent colour and gives the draw state and hot colours.
  uint8_t PrepareDrawnGlyph(TBitmap* Bitmap, TColor& Dark, TColor& Light) const;
  void MeasureGlyph();

  TLeftRight FAlignment = taRightJustify;
  std::unique_ptr<TBitmap> FCustomGlyphs;
  bool FUseCustomGlyphs = false;
  TColor FFillColor = clWindow;
  TColor FFocusColor = clWindow;
  TColor FFrameColor = clBtnShadow;
  TColor FDisabledColor = clBtnFace;
  bool FReadOnly = false;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
  TColor FTransparentColor = 32896;
  TColor FWinMaskColor = 65280;
  bool FTabOnEnter = false;
  TKvButtonHotTrackStyle FHotTrackStyle = TKvButtonHotTrackStyle::htsInterior;
  int32_t FGlyphStates = 2;
  int32_t FGlyphWidth = 13;
  int32_t FGlyphHeight = 13;
  std::unique_ptr<TBitmap> FBackground;
  bool FRefreshBackground = true;
  bool FMouseOperating = false;
  bool FSuppressClicks = false;
  TKvFrameControllerLink FFrameLink{this};
};

class TKvRadioButton : public TKvCustomGlyphButton {
 public:
  explicit TKvRadioButton(TComponent* AOwner);
  std::string ClassName() const override { return "TKvRadioButton"; }
  bool Checked() const override { return FChecked; }
  void SetChecked(bool v) override;
  void SetReadOnly(bool v) override;

 protected:
  void ToggleState() override;
  void RenderGlyph(TBitmap* Bitmap) override;
  void SmoothGlyphEdges(TBitmap* Bitmap) override;
  void Dispatch(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void CMDialogKey(TMessage& Message) override;
  bool FChecked = false;
};

class TKvCustomCheckBox : public TKvCustomGlyphButton {
 public:
  explicit TKvCustomCheckBox(TComponent* AOwner);
  std::string ClassName() const override { return "TKvCustomCheckBox"; }
  bool Checked() const override { return FState == TCheckBoxState::cbChecked; }
  void SetChecked(bool v) override;
  TCheckBoxState State() const { return FState; }
  virtual void SetState(TCheckBoxState v);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool v) { FAllowGrayed = v; }

 protected:
  void ToggleState() override;
  void RenderGlyph(TBitmap* Bitmap) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void DoExit() override;
  void Dispatch(TMessage& Message) override;
  TCheckBoxState FState = TCheckBoxState::cbUnchecked;
  bool FAllowGrayed = false;
  bool FKeyToggle = false;
};

class TKvCheckBox : public TKvCustomCheckBox {
 public:
  explicit TKvCheckBox(TComponent* AOwner) : TKvCustomCheckBox(AOwner) {}
  std::string ClassName() const override { return "TKvCheckBox"; }
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvChecksProperties();
