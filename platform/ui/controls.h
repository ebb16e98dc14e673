#pragma once
// Controls: the window tree, its messages, painting, input and focus.
//
// Only top-level forms become backend windows; every other control is an area of its form's
// back buffer. A control with no parent and no form works: it has no handle until asked for one,
// Invalidate does nothing, and it paints only when shown inside a showing form.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/color.h"
#include "platform/ui/component.h"
#include "platform/ui/messages.h"

class TWinControl;
class TCustomForm;
class TPopupMenu;
class TBasicAction;
class TControlActionLink;

// Window identity. 0 is no window. A handle stays unique for the life of the process, so a
// message posted to a window that went away is dropped instead of reaching another.
using HWND = uintptr_t;

using TCursor = int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;
inline constexpr TCursor crSize = -22;

enum class TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
inline constexpr TAlign alNone = TAlign::alNone;
inline constexpr TAlign alTop = TAlign::alTop;
inline constexpr TAlign alBottom = TAlign::alBottom;
inline constexpr TAlign alLeft = TAlign::alLeft;
inline constexpr TAlign alRight = TAlign::alRight;
inline constexpr TAlign alClient = TAlign::alClient;
inline constexpr TAlign alCustom = TAlign::alCustom;

enum class TAnchorKind : uint8_t { akLeft, akTop, akRight, akBottom };
using TAnchors = TSetOf<TAnchorKind>;
inline constexpr TAnchorKind akLeft = TAnchorKind::akLeft;
inline constexpr TAnchorKind akTop = TAnchorKind::akTop;
inline constexpr TAnchorKind akRight = TAnchorKind::akRight;
inline constexpr TAnchorKind akBottom = TAnchorKind::akBottom;

// Border of a control (forms have TFormBorderStyle in forms.h).
enum class TBorderStyle : uint8_t { bsNone, bsSingle };

// Horizontal text alignment; TLeftRight is its left/right part.
enum class TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
using TLeftRight = TAlignment;
inline constexpr TAlignment taLeftJustify = TAlignment::taLeftJustify;
inline constexpr TAlignment taRightJustify = TAlignment::taRightJustify;
inline constexpr TAlignment taCenter = TAlignment::taCenter;
// Vertical placement of a label's text.
enum class TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };
// Where a button's picture sits beside its caption.
enum class TButtonLayout : uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

enum class TControlStyleItem : uint8_t {
  csAcceptsControls,
  csCaptureMouse,
  csDesignInteractive,
  csClickEvents,
  csFramed,
  csSetCaption,
  csOpaque,
  csDoubleClicks,
  csFixedWidth,
  csFixedHeight,
  csNoDesignVisible,
  csReplicatable,
  csNoStdEvents,
  csDisplayDragImage,
  csReflector,
  csActionClient,
  csMenuEvents,
  csNeedsBorderPaint,
  csParentBackground
};
using TControlStyle = TSetOf<TControlStyleItem>;
inline constexpr TControlStyleItem csAcceptsControls = TControlStyleItem::csAcceptsControls;
inline constexpr TControlStyleItem csCaptureMouse = TControlStyleItem::csCaptureMouse;
inline constexpr TControlStyleItem csClickEvents = TControlStyleItem::csClickEvents;
inline constexpr TControlStyleItem csFramed = TControlStyleItem::csFramed;
inline constexpr TControlStyleItem csSetCaption = TControlStyleItem::csSetCaption;
inline constexpr TControlStyleItem csOpaque = TControlStyleItem::csOpaque;
inline constexpr TControlStyleItem csDoubleClicks = TControlStyleItem::csDoubleClicks;
inline constexpr TControlStyleItem csFixedWidth = TControlStyleItem::csFixedWidth;
inline constexpr TControlStyleItem csFixedHeight = TControlStyleItem::csFixedHeight;
inline constexpr TControlStyleItem csNoDesignVisible = TControlStyleItem::csNoDesignVisible;
inline constexpr TControlStyleItem csReplicatable = TControlStyleItem::csReplicatable;
inline constexpr TControlStyleItem csNoStdEvents = TControlStyleItem::csNoStdEvents;
inline constexpr TControlStyleItem csNeedsBorderPaint = TControlStyleItem::csNeedsBorderPaint;
inline constexpr TControlStyleItem csParentBackground = TControlStyleItem::csParentBackground;

enum class TControlStateItem : uint8_t {
  csLButtonDown,
  csClicked,
  csPalette,
  csReadingState,
  csAlignmentNeeded,
  csFocusing,
  csCreating,
  csPaintCopy,
  csCustomPaint,
  csDestroyingHandle
};
using TControlState = TSetOf<TControlStateItem>;
inline constexpr TControlStateItem csLButtonDown = TControlStateItem::csLButtonDown;
inline constexpr TControlStateItem csClicked = TControlStateItem::csClicked;
inline constexpr TControlStateItem csFocusing = TControlStateItem::csFocusing;
inline constexpr TControlStateItem csCreating = TControlStateItem::csCreating;

struct TCreateParams {
  std::string Caption;
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = 0;
  uint32_t WindowClassStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
};

class TSizeConstraints {
 public:
  int32_t MinWidth = 0;
  int32_t MinHeight = 0;
  int32_t MaxWidth = 0;  // 0: no limit
  int32_t MaxHeight = 0;
};

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int32_t WheelDelta, TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
// Key is the typed character as UTF-8 (one code point); setting it empty swallows it.
using TKeyPressEvent = std::function<void(TObject* Sender, std::string& Key)>;
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;

// A canvas that draws into the control's area of its form's back buffer (or into a private
// bitmap when the control is not in a showing form).
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(class TControl* Control) : FControl(Control) {}
  TControl* Control() const { return FControl; }

 private:
  TControl* FControl;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  std::string ClassName() const override { return "TControl"; }

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }
  virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  // Client area in client coordinates (origin 0,0).
  virtual TRect ClientRect() const;
  int32_t ClientWidth() const { return ClientRect().Right; }
  int32_t ClientHeight() const { return ClientRect().Bottom; }
  void SetClientWidth(int32_t v);
  void SetClientHeight(int32_t v);
  void SetClientSize(int32_t w, int32_t h);
  // Screen position of the client origin.
  TPoint ClientOrigin() const;
  TPoint ClientToScreen(const TPoint& P) const;
  TPoint ScreenToClient(const TPoint& P) const;
  // Client point of this control in Parent's client coordinates and back.
  TPoint ClientToParent(const TPoint& P, TWinControl* AParent = nullptr) const;
  TPoint ParentToClient(const TPoint& P, TWinControl* AParent = nullptr) const;

  TSizeConstraints& Constraints() { return FConstraints; }
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors v) { FAnchors = v; }

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  // Visible with every parent visible and inside a form that is shown.
  virtual bool Showing() const;

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);

  TColor Color() const { return FColor; }
  virtual void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont& Value);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);

  // Caption and Text are the same text.
  const std::string& Caption() const { return FText; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  virtual std::string Text() const { return FText; }
  virtual void SetText(const std::string& Value);

  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value);

  TCursor Cursor() const { return FCursor; }
  virtual void SetCursor(TCursor Value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value);

  bool AutoSize() const { return FAutoSize; }
  virtual void SetAutoSize(bool Value) { FAutoSize = Value; }
  int32_t HelpContext() const { return FHelpContext; }
  void SetHelpContext(int32_t v) { FHelpContext = v; }

  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle v) { FControlStyle = v; }
  TControlState ControlState() const { return FControlState; }
  void SetControlState(TControlState v) { FControlState = v; }

  // Marks the control's area for repainting (nothing when it is not showing).
  virtual void Invalidate();
  // Paints what is invalid now.
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // Sends a message straight to the control's WndProc.
  intptr_t Perform(uint32_t Msg, uintptr_t WParam = 0, intptr_t LParam = 0);
  // Message entry; replace it to hook the control's messages (default calls WndProc).
  std::function<void(TMessage&)> WindowProc;
  virtual void WndProc(TMessage& Message);
  // Routes a message to its handler below; unknown messages go to DefaultHandler.
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  bool MouseCapture() const;
  void SetMouseCapture(bool Value);
  // The form this control is on (nil when none).
  TCustomForm* ParentForm() const;
  // The control's rectangle inside its top-level form's window, when it has one.
  bool WindowRectInForm(TRect& R) const;
  // The control's own canvas, bound to its area of the form's back buffer (or a scratch bitmap).
  TControlCanvas* ControlCanvas() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelUp;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TNotifyEvent OnResize;
  TContextPopupEvent OnContextPopup;

  // Fires OnClick (overridden by buttons and menu items); without OnClick the action runs.
  virtual void Click();
  virtual void DblClick();

  // The action the control follows, or nil; its link keeps the control in step with it.
  TBasicAction* Action() const;
  void SetAction(TBasicAction* Value);
  TControlActionLink* ActionLink() const { return FActionLink.get(); }
  // Offered an action looking for a target (the hint action); true when the control took it.
  virtual bool ExecuteAction(TBasicAction* Action) { return false; }

 protected:
  // The link class of the control (buttons that stay down link Checked and ImageIndex too).
  virtual std::unique_ptr<TControlActionLink> CreateActionLink();
  // The action changed: the control takes its caption, enabled state, hint and visibility; with
  // CheckDefaults only where the control still holds its default.
  virtual void ActionChange(TObject* Sender, bool CheckDefaults);
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
  virtual void Resize();
  // Called after the bounds changed (before Resize).
  virtual void BoundsChanged() {}
  virtual void ChangeScale(int32_t M, int32_t D) {}
  virtual void VisibleChanging() {}
  // Font or colour taken over from the parent.
  void ParentFontChanged();
  void ParentColorChanged();

  // Message handlers.
  virtual void WMMouseMove(TMessage& Message);
  virtual void WMLButtonDown(TMessage& Message);
  virtual void WMLButtonUp(TMessage& Message);
  virtual void WMLButtonDblClk(TMessage& Message);
  virtual void WMRButtonDown(TMessage& Message);
  virtual void WMRButtonUp(TMessage& Message);
  virtual void WMRButtonDblClk(TMessage& Message);
  virtual void WMMButtonDown(TMessage& Message);
  virtual void WMMButtonUp(TMessage& Message);
  virtual void WMMButtonDblClk(TMessage& Message);
  virtual void WMMouseWheel(TMessage& Message);
  virtual void WMContextMenu(TMessage& Message);
  virtual void WMCancelMode(TMessage& Message);
  virtual void CMMouseEnter(TMessage& Message);
  virtual void CMMouseLeave(TMessage& Message);
  virtual void CMEnabledChanged(TMessage& Message);
  virtual void CMVisibleChanged(TMessage& Message);
  virtual void CMTextChanged(TMessage& Message);
  virtual void CMFontChanged(TMessage& Message);
  virtual void CMColorChanged(TMessage& Message);
  virtual void CMParentColorChanged(TMessage& Message);
  virtual void CMParentFontChanged(TMessage& Message);
  virtual void CMParentShowHintChanged(TMessage& Message);
  virtual void CMHitTest(TMessage& Message);
  virtual void CMDesignHitTest(TMessage& Message);
  virtual void CMDialogChar(TMessage& Message);
  virtual void CMHintShow(TMessage& Message);
  virtual void CMSysColorChange(TMessage& Message);
  virtual void WMSize(TMessage& Message);

  TControlStyle FControlStyle;
  TControlState FControlState;

 private:
  friend class TWinControl;
  friend class TCustomForm;
  friend class TUiCore;
  void DoMouseDownMsg(TMessage& Message, TMouseButton Button, TShiftState Extra);
  void DoMouseUpMsg(TMessage& Message, TMouseButton Button);
  void FontChanged();

  TWinControl* FParent = nullptr;
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TSizeConstraints FConstraints;
  TAnchors FAnchors{akLeft, akTop};
  bool FVisible = true;
  bool FEnabled = true;
  TAlign FAlign = TAlign::alNone;
  TColor FColor = clWindow;
  bool FParentColor = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  bool FFontFromParent = false;
  std::string FText;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TCursor FCursor = crDefault;
  TPopupMenu* FPopupMenu = nullptr;
  bool FAutoSize = false;
  int32_t FHelpContext = 0;
  mutable std::unique_ptr<TControlCanvas> FControlCanvas;
  std::unique_ptr<TControlActionLink> FActionLink;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  std::string ClassName() const override { return "TWinControl"; }

  // Children in z-order, bottom first.
  int32_t ControlCount() const { return static_cast<int32_t>(FControls.size()); }
  TControl* Controls(int32_t Index) const { return FControls.at(static_cast<size_t>(Index)); }
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(const TControl* Control) const;
  // Deepest visible child at P (client coordinates); nil when none.
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false) const;

  HWND Handle();
  bool HandleAllocated() const { return FHandle != 0; }
  void HandleNeeded();
  // Destroys and creates the window again (a new handle), when it exists.
  void RecreateWnd();
  // How many times the window was created (tests and style changes read it).
  int32_t WindowCreateCount() const { return FCreateCount; }

  bool Showing() const override;
  virtual bool CanFocus() const;
  // Whether a left click gives the control the focus; controls that decide it themselves say no.
  virtual bool FocusOnClick() const { return true; }
  virtual void SetFocus();
  virtual bool Focused() const;
  int32_t TabOrder() const;
  void SetTabOrder(int32_t Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value) { FTabStop = Value; }
  // Tab-stop order of the focusable descendants.
  void GetTabOrderList(std::vector<TWinControl*>& List) const;
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent) const;
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);

  bool Ctl3D() const { return FCtl3D; }
  virtual void SetCtl3D(bool Value);
  bool ParentCtl3D() const { return FParentCtl3D; }
  void SetParentCtl3D(bool Value) { FParentCtl3D = Value; }
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool v) { FDoubleBuffered = v; }
  bool ParentBackground() const { return FControlStyle.Contains(csParentBackground); }
  void SetParentBackground(bool v);
  int32_t BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(int32_t v);
  TBrush* Brush() const { return FBrush.get(); }
  void SetColor(TColor Value) override;

  TRect ClientRect() const override;
  // Border, edge and scroll-bar widths around the client area.
  TRect NonClientInsets() const;
  // The window's styles as CreateParams gives them (recomputed on RecreateWnd).
  const TCreateParams& Params() const;

  void Invalidate() override;
  // Marks R (client coordinates) invalid.
  void InvalidateRect(const TRect& R, bool Erase = true);
  void InvalidateFrame();
  void Update() override;
  void Repaint() override;
  void RedrawWindow(const TRect* R, uint32_t Flags);
  // Moves the client contents; children move with them.
  void ScrollBy(int32_t DeltaX, int32_t DeltaY);

  // Scroll bars drawn by the layer in the non-client area.
  int32_t SetScrollInfo(int32_t Bar, const TScrollInfo& Info, bool Redraw);
  bool GetScrollInfo(int32_t Bar, TScrollInfo& Info) const;
  int32_t SetScrollPos(int32_t Bar, int32_t Pos, bool Redraw);
  int32_t GetScrollPos(int32_t Bar) const;
  bool SetScrollRange(int32_t Bar, int32_t Min, int32_t Max, bool Redraw);
  bool ShowScrollBar(int32_t Bar, bool Show);
  bool EnableScrollBar(int32_t Bar, uint32_t Arrows);
  bool ScrollBarVisible(int32_t Bar) const;
  // Mouse on the layer-drawn scroll bars; WindowPt is relative to the control's outer
  // top-left. True when the point was on a bar (the bar then sends WM_HSCROLL / WM_VSCROLL).
  bool ScrollBarMouse(uint32_t Msg, const TPoint& WindowPt);

  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();
  void Realign();
  // Sends Message to every child control (windowed and graphic); stops at the first nonzero Result.
  void Broadcast(TMessage& Message);
  void NotifyControls(uint32_t Msg);

  // Paints the window's erase, client and graphic children into its area (WM_PAINT handling).
  void PaintHandler(TMessage& Message);

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  void Loaded() override;
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  virtual void CreateHandle();
  void DestroyHandle();
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void AdjustClientRect(TRect& Rect) {}
  // Widens the non-client area beyond borders and scroll bars (a control's own buttons in its
  // frame); the client rectangle, painting and mouse routing follow it.
  virtual void AdjustNonClientInsets(TRect& Insets) const {}
  // Paints the client on the given device context (TCustomControl paints its canvas here).
  virtual void PaintWindow(HDC DC) {}
  virtual void PaintControls(HDC DC, TControl* First);
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(std::string& Key);
  virtual void DoEnter();
  virtual void DoExit();
  // Lets the form preview and then the control handle a key; true when swallowed.
  bool DoKeyDown(TMessage& Message);
  bool DoKeyUp(TMessage& Message);
  bool DoKeyPress(TMessage& Message);
  void BoundsChanged() override;

  void Dispatch(TMessage& Message) override;
  virtual void WMPaint(TMessage& Message);
  virtual void WMEraseBkgnd(TMessage& Message);
  virtual void WMNCPaint(TMessage& Message);
  virtual void WMNCHitTest(TMessage& Message);
  virtual void WMSetFocus(TMessage& Message);
  virtual void WMKillFocus(TMessage& Message);
  virtual void WMKeyDown(TMessage& Message);
  virtual void WMKeyUp(TMessage& Message);
  virtual void WMChar(TMessage& Message);
  virtual void WMSysKeyDown(TMessage& Message);
  virtual void WMSysKeyUp(TMessage& Message);
  virtual void WMSysChar(TMessage& Message);
  virtual void WMGetDlgCode(TMessage& Message);
  virtual void WMHScroll(TMessage& Message);
  virtual void WMVScroll(TMessage& Message);
  virtual void WMTimer(TMessage& Message);
  virtual void WMSetCursor(TMessage& Message);
  virtual void CNKeyDown(TMessage& Message);
  virtual void CNKeyUp(TMessage& Message);
  virtual void CNChar(TMessage& Message);
  virtual void CMWantSpecialKey(TMessage& Message);
  virtual void CMDialogKey(TMessage& Message);
  virtual void CMEnter(TMessage& Message);
  virtual void CMExit(TMessage& Message);
  virtual void CMFocusChanged(TMessage& Message);
  void CMColorChanged(TMessage& Message) override;
  void CMVisibleChanged(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;

 private:
  friend class TControl;
  friend class TCustomForm;
  friend class TUiCore;
  struct TScrollBarState {
    int32_t Min = 0, Max = 100;
    uint32_t Page = 0;
    int32_t Pos = 0, TrackPos = 0;
    bool Visible = false;
    uint32_t Disabled = 0;  // ESB_ bits
  };
  void AlignAll();
  void PaintNonClient(HDC DC, const TRect& WindowInForm);
  void PaintScrollBar(HDC DC, int32_t Bar, const TRect& R);
  TRect ScrollBarRect(int32_t Bar) const;  // window coordinates of this control

  std::vector<TControl*> FControls;
  std::vector<TWinControl*> FTabList;
  int32_t FLastClientW = -1, FLastClientH = -1;
  bool FParamsValid = false;
  HWND FHandle = 0;
  int32_t FCreateCount = 0;
  TCreateParams FParams;
  bool FTabStop = false;
  int32_t FTabOrderHint = -1;
  bool FCtl3D = true;
  bool FParentCtl3D = true;
  bool FDoubleBuffered = false;
  int32_t FBorderWidth = 0;
  std::unique_ptr<TBrush> FBrush;
  int32_t FAlignLevel = 0;
  bool FAligning = false;
  TScrollBarState FScroll[2];
  int32_t FScrollDrag = -1;       // bar being dragged by its thumb
  int32_t FScrollDragOffset = 0;  // pointer offset inside the thumb
  int32_t FScrollRepeatCode = -1;
};

// A windowless control painted by its parent.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  std::string ClassName() const override { return "TGraphicControl"; }
  TCanvas* Canvas() const;

 protected:
  virtual void Paint() {}
  void Dispatch(TMessage& Message) override;

 private:
  friend class TWinControl;
};

// A windowed control with a canvas of its own.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  std::string ClassName() const override { return "TCustomControl"; }
  TCanvas* Canvas() const;

 protected:
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;
};

// The form a control sits on (walking up the parents), or nil.
TCustomForm* GetParentForm(const TControl* Control);
// Metrics of the layer (scroll-bar widths, borders, double-click area).
int32_t GetSystemMetrics(int32_t Index);
uint32_t GetDoubleClickTime();
// The control that owns a window handle, or nil when the window is gone.
TWinControl* FindControl(HWND Handle);
// A window without a control: its messages go to WndProc (timers of non-visual components).
HWND AllocateHWnd(std::function<void(TMessage&)> WndProc);
void DeallocateHWnd(HWND Wnd);

// Message functions. SendMessage runs at once on the calling (GUI) thread; PostMessage may be
// called from any thread and returns false when the window does not exist.
intptr_t SendMessage(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
bool PostMessage(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
bool IsWindow(HWND Wnd);
HWND GetFocus();
HWND GetCapture();
HWND SetCapture(HWND Wnd);
bool ReleaseCapture();
// Cursor position in screen coordinates as the input layer last saw it.
TPoint GetCursorPos();
// Shows Cursor as the pointer now: a WM_SETCURSOR handler that answers 1 calls it.
void SetCursorShape(TCursor Cursor);
// Caret of the focused window: one per thread as the platform has it.
bool CreateCaret(HWND Wnd, int32_t Width, int32_t Height);
bool DestroyCaret();
bool SetCaretPos(int32_t X, int32_t Y);
bool ShowCaret(HWND Wnd);
bool HideCaret(HWND Wnd);
// The platform's default beep, as for a refused keystroke; counted so that tests can hear it.
void MessageBeep(uint32_t Type = 0);
uint32_t MessageBeepCount();
// Timers: WM_TIMER (WParam = IDEvent) to the window every Elapse milliseconds of the UI clock.
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Elapse);
bool KillTimer(HWND Wnd, uintptr_t IDEvent);
