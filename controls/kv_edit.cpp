#include "controls/kv_edit.h"

#include <algorithm>

#include "controls/kv_painters.h"
#include "platform/base/strings.h"
#include "platform/ui/published.h"
#include "platform/ui/themes.h"

TKvCustomEdit::TKvCustomEdit(TComponent* AOwner) : TCustomEdit(AOwner) {
  RegisterKvEditProperties();
  TControlStyle s = ControlStyle();
  s.Exclude(csSetCaption);
  s.Include(csCaptureMouse);
  SetControlStyle(s);
}

TKvCustomEdit::~TKvCustomEdit() {
  if (FFrameController) {
    FFrameController->UnregisterControl(this);
    FFrameController->RemoveFreeNotification(this);
  }
}

void TKvCustomEdit::CreateParams(TCreateParams& P) {
  TCustomEdit::CreateParams(P);
  P.Style |= WS_CLIPCHILDREN;
}

bool TKvCustomEdit::ThemedFraming() const { return FFramingPreference == fpXPThemes && ThemesEnabled(); }

// ---- Property writes ------------------------------------------------------------------------------------

void TKvCustomEdit::SetAlignment(TLeftRight Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  SetRightAligned(Value == TLeftRight::taRightJustify);
  RecreateWnd();
}

#define KV_EDIT_FRAME(Name, Type, Field)      \
  void TKvCustomEdit::Set##Name(Type Value) { \
    if (Field == Value) return;               \
    Field = Value;                            \
    RedrawFrame();                            \
  }
KV_EDIT_FRAME(FrameColor, TColor, FFrameColor)
KV_EDIT_FRAME(FrameHotColor, TColor, FFrameHotColor)
KV_EDIT_FRAME(FrameHotStyle, TFrameStyle, FFrameHotStyle)
KV_EDIT_FRAME(FrameSides, TSides, FFrameSides)
KV_EDIT_FRAME(FrameStyle, TFrameStyle, FFrameStyle)
#undef KV_EDIT_FRAME

void TKvCustomEdit::SetFrameVisible(bool Value) {
  if (FFrameVisible == Value) return;
  FFrameVisible = Value;
  if (Value) SetCtl3D(true);
  RecreateWnd();
  RedrawFrame();
}

void TKvCustomEdit::SetFrameHotTrack(bool Value) {
  if (FFrameHotTrack == Value) return;
  FFrameHotTrack = Value;
  if (Value) {
    SetFrameVisible(true);
    if (!ComponentState().Contains(csLoading)) FFrameSides = KvAllSides;
  }
  RedrawFrame();
  Invalidate();
}

void TKvCustomEdit::SetFramingPreference(TFramingPreference Value) {
  if (FFramingPreference == Value) return;
  FFramingPreference = Value;
  if (Value == fpCustomFraming) RedrawFrame();
}

void TKvCustomEdit::SetDisabledColor(TColor Value) {
  FDisabledColor = Value;
  if (!Enabled()) UpdateColors();
}

void TKvCustomEdit::SetFocusColor(TColor Value) {
  FFocusColor = Value;
  if (Focused()) UpdateColors();
}

void TKvCustomEdit::SetReadOnlyColor(TColor Value) {
  FReadOnlyColor = Value;
  if (ReadOnly()) UpdateColors();
}

void TKvCustomEdit::SetReadOnlyColorOnFocus(bool Value) {
  FReadOnlyColorOnFocus = Value;
  UpdateColors();
}

void TKvCustomEdit::SetFlatButtons(bool Value) {
  if (FFlatButtons == Value) return;
  FFlatButtons = Value;
  RepaintNonClient();
}

void TKvCustomEdit::SetReadOnly(bool Value) {
  if (ReadOnly() == Value) return;
  TCustomEdit::SetReadOnly(Value);
  ReadOnlySwitched();
}

void TKvCustomEdit::ReadOnlySwitched() {
  if (ReadOnly())
    BecameReadOnly();
  else
    BecameEditable();
  UpdateColors();
  RepaintNonClient();
}

void TKvCustomEdit::SetFrameController(TKvFrameController* Value) {
  if (FFrameController) {
    FFrameController->UnregisterControl(this);
    FFrameController->RemoveFreeNotification(this);
  }
  FFrameController = Value;
  if (Value) {
    Value->RegisterControl(this);
    Value->FreeNotification(this);
  }
}

void TKvCustomEdit::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomEdit::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
}

// ---- Colours and frame state ----------------------------------------------------------------------------

void TKvCustomEdit::UpdateColors() {
  if (ComponentState().Contains(csLoading)) return;
  FApplyingColors = true;
  try {
    if (!Enabled())
      SetColor(FDisabledColor);
    else if (FHasFocus)
      SetColor(ReadOnly() && FReadOnlyColorOnFocus ? FReadOnlyColor : FFocusColor);
    else
      SetColor(ReadOnly() ? FReadOnlyColor : FNormalColor);
  } catch (...) {
    FApplyingColors = false;
    throw;
  }
  FApplyingColors = false;
}

void TKvCustomEdit::UpdateFrameState(bool MouseFlag, bool State) {
  (MouseFlag ? FMouseOver : FHasFocus) = State;
  if (MouseFlag && !State) FOverDropButton = false;
  // A flat or hot-tracked drop button changes its look with the hover and the focus.
  if (FDropShown && (FFlatButtons || FFrameHotTrack || ThemesEnabled()) && !FDropDown)
    RepaintNonClient();
  else if (FFrameHotTrack)
    RedrawFrame();
  UpdateColors();
}

void TKvCustomEdit::RedrawFrame() { KvRedrawNonClientFrame(this, ClientRect()); }

void TKvCustomEdit::RepaintNonClient() {
  if (HandleAllocated()) InvalidateFrame();
}

void TKvCustomEdit::Loaded() {
  TCustomEdit::Loaded();
  UpdateColors();
  UpdateFrameState(false, false);
}

// ---- Input --------------------------------------------------------------------------------------------

void TKvCustomEdit::KeyPress(std::string& Key) {
  if (FTabOnEnter && Key == "\r") {
    Key.clear();
    // Through the dialog-key path, where Tab moves the focus on.
    PostMessage(Handle(), CN_KEYDOWN, VK_TAB, 0);
    return;
  }
  if (!Key.empty()) {
    // The character as one code point (the key text is one UTF-8 character).
    char32_t ch = static_cast<unsigned char>(Key[0]);
    if (ch >= 0x80 && Key.size() > 1) ch = 0x80;
    if (!AcceptsChar(ch)) {
      Key.clear();
      MessageBeep(0);
      return;
    }
  }
  TCustomEdit::KeyPress(Key);
}

void TKvCustomEdit::ValidateError() {
  if (OnValidateError) {
    std::string msg;
    OnValidateError(this, msg);
    if (!msg.empty()) {
      MessageBeep(0);
      throw EKvEditError(msg);
    }
  }
  MessageBeep(0);
}

void TKvCustomEdit::ReadObsoleteProperty(const std::string& Name, const std::string& Value) {
  KvReadObsoleteFrameProperty(this, UpperCase(Name), Value);
}

void TKvCustomEdit::CMMouseEnter(TMessage& M) {
  if (ComponentState().Contains(csDesigning)) return;
  TCustomEdit::CMMouseEnter(M);
  if (OnMouseEnter) OnMouseEnter(this);
  UpdateFrameState(true, true);
}

void TKvCustomEdit::CMMouseLeave(TMessage& M) {
  if (ComponentState().Contains(csDesigning)) return;
  TCustomEdit::CMMouseLeave(M);
  if (OnMouseLeave) OnMouseLeave(this);
  UpdateFrameState(true, false);
}

void TKvCustomEdit::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE:
      TCustomEdit::Dispatch(M);
      // Enter must reach the edit to move on like Tab.
      if (FTabOnEnter) M.Result |= DLGC_WANTALLKEYS;
      return;
    case WM_SETFOCUS:
      UpdateFrameState(false, true);
      TCustomEdit::Dispatch(M);
      return;
    case WM_KILLFOCUS:
      TCustomEdit::Dispatch(M);
      UpdateFrameState(false, false);
      if (FDropShown) EndDropButtonPress();
      return;
    case CM_COLORCHANGED:
      if (!FApplyingColors) {
        // A colour set by the program or a form is the idle colour; the focus colour follows it
        // unless it was set apart.
        if (FFocusColor == FNormalColor) FFocusColor = Color();
        FNormalColor = Color();
      }
      TCustomEdit::Dispatch(M);
      if (FFrameVisible && !ThemedFraming()) RedrawFrame();
      return;
    case CM_ENABLEDCHANGED:
      TCustomEdit::Dispatch(M);
      UpdateColors();
      RepaintNonClient();
      return;
    case WM_SIZE:
      TCustomEdit::Dispatch(M);
      if (FFrameVisible && !ThemedFraming()) RedrawFrame();
      return;
    case WM_NCPAINT: {
      TCustomEdit::Dispatch(M);
      HDC dc = reinterpret_cast<HDC>(M.WParam);
      if (dc && FFrameVisible && !ThemedFraming()) {
        bool hot = FFrameHotTrack && (FMouseOver || FHasFocus);
        KvPaintControlFrame(dc, Width(), Height(), hot ? FFrameHotStyle : FFrameStyle, Color(),
                            hot ? FFrameHotColor : FFrameColor, FFrameSides);
        M.Result = 0;
      }
      if (dc && DropButtonShown()) PaintDropButton(dc);
      return;
    }
    default: break;
  }
  if (FDropShown && HandleDropButtonMessage(M)) return;
  TCustomEdit::Dispatch(M);
}

// ---- Drop button --------------------------------------------------------------------------------------

namespace {
int32_t DropButtonWidth() { return GetSystemMetrics(SM_CXVSCROLL) - (ThemesEnabled() ? 1 : 0); }
}  // namespace

void TKvCustomEdit::SetShowDropButton(bool Value) {
  if (Value == FDropShown) return;
  FDropShown = Value;
  FOverDropButton = false;
  // The client area changes with the frame: lay the window out again.
  RecreateWnd();
  Perform(WM_SIZE, 0, 0);
  Invalidate();
}

void TKvCustomEdit::AdjustNonClientInsets(TRect& Insets) const {
  if (FDropShown) Insets.Right += DropButtonWidth();
}

TRect TKvCustomEdit::DropButtonRect() const {
  if (!FDropShown) return TRect();
  TRect in = NonClientInsets();
  int32_t right = Width() - in.Right + DropButtonWidth();
  return TRect(right - DropButtonWidth(), in.Top, right, Height() - in.Bottom);
}

bool TKvCustomEdit::PointOnDropButton(const TPoint& P) const {
  TRect in = NonClientInsets();
  return PtInRect(DropButtonRect(), TPoint(P.X + in.Left, P.Y + in.Top));
}

bool TKvCustomEdit::HandleDropButtonMessage(TMessage& M) {
  auto clientPt = [&] { return TPoint(int16_t(M.LParam & 0xFFFF), int16_t((M.LParam >> 16) & 0xFFFF)); };
  switch (M.Msg) {
    case WM_NCHITTEST: {
      TCustomEdit::Dispatch(M);
      TPoint sp(int16_t(M.LParam & 0xFFFF), int16_t((M.LParam >> 16) & 0xFFFF));
      FOverDropButton = PointOnDropButton(ScreenToClient(sp));
      if (FOverDropButton) M.Result = HTCLIENT;
      return true;
    }
    case WM_MOUSEMOVE: {
      // The platform asks for the hit test on every move; the layer leaves that to the control.
      TPoint sp = ClientToScreen(clientPt());
      Perform(WM_NCHITTEST, 0, MakeLParam(sp.X, sp.Y));
      if (FDropPressing) return true;
      return false;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!PointOnDropButton(clientPt())) return false;
      FOverDropButton = true;
      if (CanFocus() && !Focused()) SetFocus();
      OpenDropDown();
      return true;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      return PointOnDropButton(clientPt());
    case WM_LBUTTONUP:
      if (!FDropPressing) return false;
      EndDropButtonPress();
      return true;
    case WM_SETCURSOR:
      if (!FOverDropButton) return false;
      SetCursorShape(crDefault);
      M.Result = 1;
      return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (M.WParam != VK_DOWN || !(M.LParam & KF_ALTDOWN_BIT)) return false;
      OpenDropDown();
      return true;
    default: return false;
  }
}

void TKvCustomEdit::OpenDropDown() {
  FDroppedDown = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } clear{FDroppedDown};
  SetMouseCapture(true);
  FDropPressing = true;
  FDropDown = true;
  RepaintNonClient();
  DoDropDown();
  DoCloseUp();
  FDropDown = false;
  RepaintNonClient();
}

void TKvCustomEdit::EndDropButtonPress() {
  if (FDropPressing && MouseCapture()) SetMouseCapture(false);
  FDropPressing = false;
  if (FDropDown) {
    FDropDown = false;
    RepaintNonClient();
  }
}

void TKvCustomEdit::DoDropDown() {
  if (OnDropDown) OnDropDown(this);
}

void TKvCustomEdit::DoCloseUp() {
  if (OnCloseUp) OnCloseUp(this);
}

void TKvCustomEdit::PaintDropButton(TCanvas* C) {
  TRect R = DropButtonRect();
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  bool down = FDropDown, enabled = Enabled();
  bool hot = FMouseOver || FHasFocus;
  TBrush face;
  if (!FFlatButtons) {
    // The classic combo-box button: raised, flat and pushed while down.
    if (down) {
      face.SetColor(clBtnShadow);
      FrameRect(C, R, face);
      TRect in = R;
      InflateRect(in, -1, -1);
      face.SetColor(clBtnFace);
      FillRect(C, in, face);
    } else {
      TRect in = KvPaintButtonFrame(C, R, false);
      face.SetColor(clBtnFace);
      FillRect(C, in, face);
    }
    KvPaintDropDownArrow(C, R, 0, down, enabled);
    return;
  }
  TRect in = R;
  if (hot) {
    if (FFlatButtonColor == clBtnFace) {
      // One band of bevel, exchanged while down.
      TColor light = down ? clBtnShadow : clBtnHighlight, dark = down ? clBtnHighlight : clBtnShadow;
      C->Pen()->SetColor(light);
      C->MoveTo(R.Left, R.Bottom - 1);
      C->LineTo(R.Left, R.Top);
      C->LineTo(R.Right - 1, R.Top);
      C->Pen()->SetColor(dark);
      C->LineTo(R.Right - 1, R.Bottom - 1);
      C->LineTo(R.Left - 1, R.Bottom - 1);
      InflateRect(in, -1, -1);
    } else
      in = KvPaintColoredFrame(C, R, FFlatButtonColor, down ? fsLowered : fsRaised);
    face.SetColor(FFlatButtonColor);
  } else {
    face.SetColor(Color());
  }
  FillRect(C, in, face);
  KvPaintDropDownArrow(C, R, 0, down, enabled);
}

void RegisterKvEditProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  using T = TKvCustomEdit;
  auto ord = [](const char* Name, std::function<void(T*, int64_t)> Set, std::function<int64_t(const T*)> Get) {
    KvRegisterOrdProperty<T>(Name, TTypeKind::tkEnumeration, std::move(Set), std::move(Get));
  };
  ord("Color", [](T* c, int64_t v) { c->SetColor(TColor(v)); }, [](const T* c) { return int64_t(c->Color()); });
  ord("ParentColor", [](T* c, int64_t v) { c->SetParentColor(v != 0); },
      [](const T* c) { return int64_t(c->ParentColor()); });
  ord("FocusColor", [](T* c, int64_t v) { c->SetFocusColor(TColor(v)); },
      [](const T* c) { return int64_t(c->FocusColor()); });
  ord("DisabledColor", [](T* c, int64_t v) { c->SetDisabledColor(TColor(v)); },
      [](const T* c) { return int64_t(c->DisabledColor()); });
  ord("ReadOnlyColor", [](T* c, int64_t v) { c->SetReadOnlyColor(TColor(v)); },
      [](const T* c) { return int64_t(c->ReadOnlyColor()); });
  ord("ReadOnlyColorOnFocus", [](T* c, int64_t v) { c->SetReadOnlyColorOnFocus(v != 0); },
      [](const T* c) { return int64_t(c->ReadOnlyColorOnFocus()); });
  ord("FlatButtonColor", [](T* c, int64_t v) { c->SetFlatButtonColor(TColor(v)); },
      [](const T* c) { return int64_t(c->FlatButtonColor()); });
  ord("FlatButtons", [](T* c, int64_t v) { c->SetFlatButtons(v != 0); },
      [](const T* c) { return int64_t(c->FlatButtons()); });
  ord("FrameColor", [](T* c, int64_t v) { c->SetFrameColor(TColor(v)); },
      [](const T* c) { return int64_t(c->FrameColor()); });
  ord("FrameHotColor", [](T* c, int64_t v) { c->SetFrameHotColor(TColor(v)); },
      [](const T* c) { return int64_t(c->FrameHotColor()); });
  ord("FrameHotTrack", [](T* c, int64_t v) { c->SetFrameHotTrack(v != 0); },
      [](const T* c) { return int64_t(c->FrameHotTrack()); });
  ord("FrameHotStyle", [](T* c, int64_t v) { c->SetFrameHotStyle(TFrameStyle(std::clamp<int64_t>(v, 0, 10))); },
      [](const T* c) { return int64_t(c->FrameHotStyle()); });
  ord("FrameSides", [](T* c, int64_t v) { c->SetFrameSides(TSides::FromBits(uint64_t(v) & 15)); },
      [](const T* c) { return int64_t(c->FrameSides().bits()); });
  ord("FrameStyle", [](T* c, int64_t v) { c->SetFrameStyle(TFrameStyle(std::clamp<int64_t>(v, 0, 10))); },
      [](const T* c) { return int64_t(c->FrameStyle()); });
  ord("FrameVisible", [](T* c, int64_t v) { c->SetFrameVisible(v != 0); },
      [](const T* c) { return int64_t(c->FrameVisible()); });
  ord("FramingPreference", [](T* c, int64_t v) { c->SetFramingPreference(TFramingPreference(v != 0)); },
      [](const T* c) { return int64_t(c->FramingPreference()); });
  ord("FrameControllerNotifications",
      [](T* c, int64_t v) { c->SetFrameControllerNotifications(TKvFrameControllerNotifications::FromBits(uint64_t(v))); },
      [](const T* c) { return int64_t(c->FrameControllerNotifications().bits()); });
  // Older forms: accepted from text, never written.
  for (const char* old : {"FrameFlat", "FrameFocusStyle", "FrameFlatStyle"}) {
    std::string name = old;
    KvRegisterObsoleteProperty<T>(old, [name](T* c, const std::string& v) { c->ReadObsoleteProperty(name, v); });
  }
}
