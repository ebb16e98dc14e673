#pragma once
// The themed controls of the main window: panels, group boxes, buttons, track bar, spin edit, check and
// radio buttons, page control, status bar, separator and labels. The theme service reports "not enabled",
// so every control paints its plain face.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TImageList;

// Opens an address with the desktop's default handler (xdg-open, started with an argument vector).
// Returns false when nothing could be started.
bool KvOpenURL(const std::string& Address);
// Tests replace the launcher; a set hook is called instead of starting a process.
extern std::function<bool(const std::string& Address)> KvOpenURLHook;

class TKvPanel : public TCustomControl {
 public:
  explicit TKvPanel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvPanel"; }
  // Flat border: a single shadow line instead of the raised bevel; bsNone: no border at all.
  bool FlatBorder() const { return FFlatBorder; }
  void SetFlatBorder(bool v);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);
  bool ShowCaption() const { return FShowCaption; }
  void SetShowCaption(bool v);

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  int32_t BorderSize() const;
  bool FFlatBorder = false;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
  bool FShowCaption = true;
};

class TKvGroupBox : public TKvPanel {
 public:
  explicit TKvGroupBox(TComponent* AOwner);
  std::string ClassName() const override { return "TKvGroupBox"; }

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
};

class TKvLabel : public TGraphicControl {
 public:
  explicit TKvLabel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvLabel"; }
  uint32_t Alignment() const { return FAlignment; }  // DT_LEFT, DT_CENTER or DT_RIGHT
  void SetAlignment(uint32_t v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  void SetText(const std::string& Value) override;

 protected:
  void Paint() override;
  void AdjustSize();
  uint32_t FAlignment = 0;
  bool FTransparent = true;
};

// A link: a click opens URL.
class TKvURLLabel : public TKvLabel {
 public:
  explicit TKvURLLabel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvURLLabel"; }
  const std::string& URL() const { return FURL; }
  void SetURL(const std::string& v) { FURL = v; }
  TColor HighlightColor() const { return FHighlightColor; }
  void SetHighlightColor(TColor v) { FHighlightColor = v; }
  void Click() override;

 protected:
  void Paint() override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  std::string FURL;
  TColor FHighlightColor = clHighlight;
  bool FHot = false;
};

class TKvSeparator : public TGraphicControl {
 public:
  explicit TKvSeparator(TComponent* AOwner);
  std::string ClassName() const override { return "TKvSeparator"; }

 protected:
  void Paint() override;
};

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

// Button with a glyph that can stay down; buttons of one GroupIndex under one parent behave as a group.
class TKvBmpButton : public TKvButton {
 public:
  explicit TKvBmpButton(TComponent* AOwner);
  ~TKvBmpButton() override;
  std::string ClassName() const override { return "TKvBmpButton"; }
  bool Down() const { return FDown; }
  void SetDown(bool v);
  int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t v);
  // The glyph drawn on the face (not owned when set through SetGlyph; the button keeps a copy).
  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(const TBitmap* v);
  void Click() override;

 protected:
  void PaintFace(TCanvas* C, const TRect& R, bool Pressed) override;
  bool FDown = false;
  int32_t FGroupIndex = 0;
  std::unique_ptr<TBitmap> FGlyph;
};

// Check box and radio button share the toggling, painting and keyboard.
class TKvCustomCheck : public TCustomControl {
 public:
  explicit TKvCustomCheck(TComponent* AOwner);
  bool Checked() const { return FChecked; }
  virtual void SetChecked(bool v);

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  virtual void PaintMark(TCanvas* C, const TRect& Box) = 0;
  bool FChecked = false;
};

class TKvCheckBox : public TKvCustomCheck {
 public:
  explicit TKvCheckBox(TComponent* AOwner) : TKvCustomCheck(AOwner) {}
  std::string ClassName() const override { return "TKvCheckBox"; }
  void Click() override;

 protected:
  void PaintMark(TCanvas* C, const TRect& Box) override;
};

class TKvRadioButton : public TKvCustomCheck {
 public:
  explicit TKvRadioButton(TComponent* AOwner) : TKvCustomCheck(AOwner) {}
  std::string ClassName() const override { return "TKvRadioButton"; }
  void SetChecked(bool v) override;
  void Click() override;

 protected:
  void PaintMark(TCanvas* C, const TRect& Box) override;
};

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

// Integer edit with up and down buttons. The value is a double so that callers round it.
class TKvSpinEdit : public TCustomControl {
 public:
  explicit TKvSpinEdit(TComponent* AOwner);
  std::string ClassName() const override { return "TKvSpinEdit"; }
  double Value() const { return FValue; }
  void SetValue(double v);
  double Min() const { return FMin; }
  void SetMin(double v);
  double Max() const { return FMax; }
  void SetMax(double v);
  double Increment() const { return FIncrement; }
  void SetIncrement(double v) { FIncrement = v; }
  // The text being typed (the value's text when not editing).
  std::string Text() const override;
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void Dispatch(TMessage& Message) override;
  void DoExit() override;
  double Clamp(double v) const;
  void CommitText();
  TRect UpRect() const;
  TRect DownRect() const;
  double FValue = 0, FMin = 0, FMax = 100, FIncrement = 1;
  std::string FEditText;
  bool FEditing = false;
};

class TKvPageControl;

class TKvTabSheet : public TCustomControl {
 public:
  explicit TKvTabSheet(TComponent* AOwner);
  ~TKvTabSheet() override;
  std::string ClassName() const override { return "TKvTabSheet"; }
  TKvPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TKvPageControl* v);
  int32_t PageIndex() const;
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool v);
  void SetText(const std::string& Value) override;

 protected:
  friend class TKvPageControl;
  void Paint() override;
  TKvPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

class TKvPageControl : public TCustomControl {
 public:
  explicit TKvPageControl(TComponent* AOwner);
  ~TKvPageControl() override;
  std::string ClassName() const override { return "TKvPageControl"; }
  int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
  TKvTabSheet* Pages(int32_t Index) const { return FPages.at(static_cast<size_t>(Index)); }
  TKvTabSheet* ActivePage() const { return FActivePage; }
  void SetActivePage(TKvTabSheet* Page);
  int32_t ActivePageIndex() const;
  void SetActivePageIndex(int32_t Index);
  int32_t TabHeight() const { return FTabHeight; }
  void SetTabHeight(int32_t v);
  // Tab rectangle of a page in client coordinates (empty when its tab is hidden).
  TRect TabRect(int32_t Index);
  void SelectNextPage(bool GoForward);
  TNotifyEvent OnChange;
  void TabsChanged();

 protected:
  friend class TKvTabSheet;
  void InsertPage(TKvTabSheet* Page);
  void RemovePage(TKvTabSheet* Page);
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  std::vector<TKvTabSheet*> FPages;
  TKvTabSheet* FActivePage = nullptr;
  int32_t FTabHeight = 22;
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

// Registers the controls' own published properties (idempotent; the constructors call it).
void RegisterKvControlProperties();
