#include "controls/kv_spin_edit.h"

#include <algorithm>
#include <cmath>

#include "controls/kv_fonts.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/ui/published.h"
#include "platform/ui/themes.h"

// ---- Spin buttons -------------------------------------------------------------------------------------

TKvSpinButtons::TKvSpinButtons(TComponent* AOwner) : TWinControl(AOwner) {
  TControlStyle s = ControlStyle();
  s.Exclude(csAcceptsControls);
  s.Exclude(csSetCaption);
  SetControlStyle(s);
  FUpRight = MakeArrowButton();
  FDownLeft = MakeArrowButton();
  FUpRight->SetStyle(cbsUp);
  FDownLeft->SetStyle(cbsDown);
  SetBounds(Left(), Top(), 16, 25);
}

TKvControlButton* TKvSpinButtons::MakeArrowButton() {
  auto* b = new TKvControlButton(this);
  b->SetParent(this);
  b->SetVisible(true);
  b->SetEnabled(true);
  b->SetRepeatClicks(true);
  b->SetNumGlyphs(2);
  b->OnClick = [this](TObject* Sender) { ArrowClicked(Sender); };
  b->OnMouseDown = [this](TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    ArrowMouseDown(Sender, Button, Shift, X, Y);
  };
  b->Glyph()->OnChange = [this, b](TGraphic*) { ArrowGlyphChanged(b); };
  return b;
}

void TKvSpinButtons::ArrowClicked(TObject* Sender) {
  if (Sender == FUpRight)
    DoUpRightClick();
  else
    DoDownLeftClick();
}

void TKvSpinButtons::ArrowMouseDown(TObject* Sender, TMouseButton Button, TShiftState, int32_t, int32_t) {
  if (Button != TMouseButton::mbLeft) return;
  TWinControl* target = nullptr;
  if (FFocusControl && FFocusControl->TabStop() && FFocusControl->CanFocus() && !FFocusControl->Focused())
    target = FFocusControl;
  else if (TabStop() && CanFocus() && !Focused())
    target = this;
  if (!target) return;
  target->SetFocus();
  // A focus change that did not happen (a handler kept the focus elsewhere) ends the click.
  if (!target->Focused())
    if (auto* b = dynamic_cast<TKvControlButton*>(Sender)) b->AbandonPress();
}

void TKvSpinButtons::ArrowGlyphChanged(TKvControlButton* B) {
  bool upRight = B == FUpRight;
  if (B->Glyph()->Empty()) {
    ResetGlyph(B, upRight);
  } else {
    B->SetStyle(cbsNone);
    (upRight ? FCustomUpRight : FCustomDownLeft) = true;
  }
  B->Invalidate();
}

void TKvSpinButtons::ResetGlyph(TKvControlButton* B, bool UpRight) {
  if (UpRight)
    B->SetStyle(FDirection == sdLeftRight ? cbsRight : cbsUp);
  else
    B->SetStyle(FDirection == sdLeftRight ? cbsLeft : cbsDown);
  (UpRight ? FCustomUpRight : FCustomDownLeft) = false;
}

void TKvSpinButtons::SetGlyphUpRight(const TBitmap* Value) { FUpRight->SetGlyph(Value); }
void TKvSpinButtons::SetGlyphDownLeft(const TBitmap* Value) { FDownLeft->SetGlyph(Value); }

void TKvSpinButtons::DoUpRightClick() {
  if (OnUpRightClick) OnUpRightClick(this);
}

void TKvSpinButtons::DoDownLeftClick() {
  if (OnDownLeftClick) OnDownLeftClick(this);
}

void TKvSpinButtons::SetColor(TColor Value) {
  TWinControl::SetColor(Value);
  FUpRight->SetColor(Value);
  FDownLeft->SetColor(Value);
}

void TKvSpinButtons::SetDelay(uint16_t Value) {
  FUpRight->SetDelay(Value);
  FDownLeft->SetDelay(Value);
}

void TKvSpinButtons::SetInitialDelay(uint16_t Value) {
  FUpRight->SetInitialDelay(Value);
  FDownLeft->SetInitialDelay(Value);
}

void TKvSpinButtons::SetDirection(TSpinDirection Value) {
  if (FDirection == Value) return;
  FDirection = Value;
  FUpRight->SetGlyph(nullptr);
  FDownLeft->SetGlyph(nullptr);
  ResetGlyph(FUpRight, true);
  ResetGlyph(FDownLeft, false);
  Invalidate();
}

void TKvSpinButtons::SetEnabled(bool Value) {
  if (Value == Enabled()) return;
  TWinControl::SetEnabled(Value);
  FUpRight->SetEnabled(Value);
  FDownLeft->SetEnabled(Value);
}

void TKvSpinButtons::SetFlat(bool Value) {
  if (FFlat == Value) return;
  FFlat = Value;
  FUpRight->SetFlat(Value);
  FDownLeft->SetFlat(Value);
}

void TKvSpinButtons::SetFocusControl(TWinControl* Value) {
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (Value) Value->FreeNotification(this);
}

void TKvSpinButtons::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TKvSpinButtons::SetOrientation(TOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  if (!ComponentState().Contains(csLoading))
    SetBounds(Left(), Top(), Value == orVertical ? Width() / 2 : Width() * 2, Height());
  Invalidate();
}

bool TKvSpinButtons::CanFocus() const { return TabStop() && TWinControl::CanFocus(); }

void TKvSpinButtons::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  LayoutArrows(AWidth, AHeight);
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TKvSpinButtons::LayoutArrows(int32_t W, int32_t H) {
  if (!FUpRight || !FDownLeft || ComponentState().Contains(csLoading)) return;
  // The bottom row stays uncovered.
  if (FOrientation == orVertical) {
    int32_t half = H / 2;
    FUpRight->SetBounds(0, 0, W, half);
    FDownLeft->SetBounds(0, half, W, H - half - 1);
  } else {
    int32_t half = W / 2;
    FUpRight->SetBounds(half, 0, W - half, H - 1);
    FDownLeft->SetBounds(0, 0, half, H - 1);
  }
}

void TKvSpinButtons::Loaded() {
  TWinControl::Loaded();
  LayoutArrows(Width(), Height());
}

void TKvSpinButtons::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_UP) FUpRight->Click();
  if (Key == VK_DOWN) FDownLeft->Click();
  TWinControl::KeyDown(Key, Shift);
}

void TKvSpinButtons::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS;
    return;
  }
  if (M.Msg == WM_SIZE) {
    LayoutArrows(Width(), Height());
    M.Result = 0;
    return;
  }
  TWinControl::Dispatch(M);
}

// ---- Spin edit ----------------------------------------------------------------------------------------

TKvSpinEdit::TKvSpinEdit(TComponent* AOwner) : TKvCustomEdit(AOwner) {
  RegisterKvSpinEditProperties();
  FButtons = new TKvSpinButtons(this);
  FButtons->SetBounds(0, 0, 17, 17);
  FButtons->SetVisible(true);
  FButtons->SetFocusControl(this);
  FButtons->OnUpRightClick = [this](TObject* S) { UpButtonClicked(S); };
  FButtons->OnDownLeftClick = [this](TObject* S) { DownButtonClicked(S); };
  FButtons->SetParent(this);
  TControlStyle s = ControlStyle();
  s.Exclude(csSetCaption);
  SetControlStyle(s);
  SetWidth(47);
  SetAlignment(TLeftRight::taRightJustify);
  SetValue(0);
  ArrangeButtons();
}

TKvSpinEdit::~TKvSpinEdit() = default;

TKvControlButton* TKvSpinEdit::ButtonOf(TSpinButtonType Button) const {
  return Button == sbUp ? FButtons->UpRightButton() : FButtons->DownLeftButton();
}

long double TKvSpinEdit::Value() {
  std::string t = Text();
  long double v = 0;
  if (!t.empty()) return TextToFloat(t, v) ? v : FMin;
  if (FAllowBlank) return FBlankValue;
  SetText(FloatToStr(FMin));
  return TextToFloat(Text(), v) ? v : FMin;
}

int32_t TKvSpinEdit::IntValue() {
  long double v = std::clamp<long double>(Value(), INT32_MIN, INT32_MAX);
  return static_cast<int32_t>(Round(v));
}

long double TKvSpinEdit::ClampValue(long double V) const {
  if (FMin != FMax || FCheckRange) V = std::clamp(V, std::min(FMin, FMax), std::max(FMin, FMax));
  return V;
}

void TKvSpinEdit::SetValue(long double V) {
  bool parented = Parent() != nullptr;
  int32_t selStart = SelStart(), selLength = SelLength(), len = GetTextLen();
  V = ClampValue(V);
  if (V == 0) V = 0;  // no "-0"
  SetText(FloatToStrF(V, TFloatFormat::ffFixed, 18, FDecimals));
  if (parented && selLength == 0) {
    int32_t n = GetTextLen();
    SetSelStart(selStart + (n > len ? 1 : n < len ? -1 : 0));
  }
}

void TKvSpinEdit::SetMin(long double V) {
  if (V == FMin) return;
  FMin = V;
  if (FMin > FMax) FMax = FMin;
  SetValue(Value());
  Invalidate();
}

void TKvSpinEdit::SetMax(long double V) {
  if (V == FMax) return;
  FMax = V;
  if (FMax < FMin) FMin = FMax;
  SetValue(Value());
  Invalidate();
}

void TKvSpinEdit::SetCheckRange(bool V) {
  if (FCheckRange == V) return;
  FCheckRange = V;
  SetValue(Value());
}

void TKvSpinEdit::SetDecimals(uint8_t V) {
  if (FDecimals == V) return;
  FDecimals = V;
  SetValue(Value());
}

void TKvSpinEdit::SetIntegersOnly(bool V) {
  if (FIntegersOnly == V) return;
  FIntegersOnly = V;
  if (V) {
    FDecimals = 0;
    SetValue(static_cast<long double>(Round(Value())));
  }
}

void TKvSpinEdit::SetButtonWidth(int32_t V) {
  V = std::max(0, V);
  if (FButtonWidth == V) return;
  FButtonWidth = V;
  FButtons->SetWidth(Orientation() == orVertical ? V : 2 * V);
  ArrangeButtons();
  Invalidate();
}

void TKvSpinEdit::SetOrientation(TOrientation V) {
  FButtons->SetOrientation(V);
  ArrangeButtons();
  Invalidate();
}

void TKvSpinEdit::SetFlatButtons(bool V) {
  TKvCustomEdit::SetFlatButtons(V);
  FButtons->SetFlat(V);
  ArrangeButtons();
  ApplyFlatButtonColors();
}

void TKvSpinEdit::SetFrameStyle(TFrameStyle V) {
  TKvCustomEdit::SetFrameStyle(V);
  ArrangeButtons();
}

void TKvSpinEdit::SetFrameVisible(bool V) {
  TKvCustomEdit::SetFrameVisible(V);
  ArrangeButtons();
}

void TKvSpinEdit::ArrangeButtons() {
  if (!FButtons || ComponentState().Contains(csLoading)) return;
  int32_t least = KvFontLineHeight(*Font());
  if (Height() < least) {
    // The resize comes back here.
    SetHeight(least);
    return;
  }
  int32_t w = FButtons->Width();
  if (FrameVisible() || Ctl3D())
    FButtons->SetBounds(Width() - w - 4, 0, w, Height() - 3);
  else
    FButtons->SetBounds(Width() - w - 1, 1, w, Height() - 3);
  ApplyEditMargins();
}

void TKvSpinEdit::ApplyEditMargins() {
  if (ReadOnly()) {
    SetMargins(0, 0);
    return;
  }
  if (ComponentState().Contains(csLoading) || !FButtons) return;
  SetMargins(0, FButtons->Width() + 2);
}

TRect TKvSpinEdit::EditAreaRect() const {
  TRect r = ClientRect();
  if (!ReadOnly() && FButtons) r.Right -= FButtons->Width() + 2;
  return r;
}

void TKvSpinEdit::UpButtonClicked(TObject*) { StepUp(FIncrement); }
void TKvSpinEdit::DownButtonClicked(TObject*) { StepDown(FIncrement); }

bool TKvSpinEdit::DoChanging(long double NewValue) {
  bool allow = true;
  if (OnChanging) OnChanging(this, NewValue, allow);
  return allow;
}

void TKvSpinEdit::DoButtonClick(TSpinButtonType Button) {
  if (OnButtonClick) OnButtonClick(this, Button);
}

void TKvSpinEdit::Step(long double Amount, TSpinButtonType Button) {
  if (ReadOnly()) {
    MessageBeep(0);
    return;
  }
  long double next = Value() + Amount;
  if (!DoChanging(next)) return;
  SetValue(next);
  DoButtonClick(Button);
}

void TKvSpinEdit::StepUp(long double Amount) { Step(Amount, sbUp); }
void TKvSpinEdit::StepDown(long double Amount) { Step(-Amount, sbDown); }

bool TKvSpinEdit::AcceptsChar(char32_t Ch) {
  if (!FAllowKeyEdit && (Ch >= 32 || Ch == 8)) return false;
  if (Ch < 32) return Ch != 13;
  std::string t = Text();
  if (Ch >= '0' && Ch <= '9') return true;
  if (!FIntegersOnly && Ch == static_cast<unsigned char>(DecimalSeparator)) {
    size_t at = t.find(DecimalSeparator);
    return at == std::string::npos || SelText().find(DecimalSeparator) != std::string::npos;
  }
  if (Ch == '+' || Ch == '-') {
    bool signed_ = t.find_first_of("+-") != std::string::npos;
    return (SelStart() == 0 && !signed_) || SelLength() == GetTextLen();
  }
  return false;
}

void TKvSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  bool ctrl = Shift.Contains(ssCtrl), shift = Shift.Contains(ssShift);
  // Paste and cut reach the text only when keys may edit it.
  bool pasteOrCut = (ctrl && (Key == 'V' || Key == 'X')) || (shift && (Key == VK_INSERT || Key == VK_DELETE));
  if (pasteOrCut && (!FAllowKeyEdit || ReadOnly())) {
    Key = 0;
    return;
  }
  // Refused before the edit deletes anything.
  if (Key == VK_DELETE && !FAllowKeyEdit) {
    MessageBeep(0);
    Key = 0;
    return;
  }
  TKvCustomEdit::KeyDown(Key, Shift);
  switch (Key) {
    case VK_PRIOR: StepUp(FPageSize); break;
    case VK_NEXT: StepDown(FPageSize); break;
    case VK_UP: StepUp(FIncrement); break;
    case VK_DOWN: StepDown(FIncrement); break;
    default: return;
  }
  Key = 0;
}

void TKvSpinEdit::KeyPress(std::string& Key) {
  if ((Key == "\x16" || Key == "\x18") && (!FAllowKeyEdit || ReadOnly())) {
    Key.clear();
    return;
  }
  TKvCustomEdit::KeyPress(Key);
}

bool TKvSpinEdit::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  TKvCustomEdit::DoMouseWheel(Shift, WheelDelta, MousePos);
  long double amount = Shift.Contains(ssCtrl) ? FPageSize : FIncrement;
  if (WheelDelta > 0)
    StepUp(amount);
  else if (WheelDelta < 0)
    StepDown(amount);
  return true;
}

void TKvSpinEdit::ApplyFlatButtonColors() {
  if (!FlatButtons()) return;
  bool active = MouseInControl() || HasFocusFlag();
  FButtons->SetColor(active ? FlatButtonColor() : Color());
}

void TKvSpinEdit::UpdateFrameState(bool MouseFlag, bool State) {
  TKvCustomEdit::UpdateFrameState(MouseFlag, State);
  ApplyFlatButtonColors();
}

void TKvSpinEdit::BecameReadOnly() {
  FButtons->SetVisible(false);
  ArrangeButtons();
}

void TKvSpinEdit::BecameEditable() {
  FButtons->SetVisible(true);
  ArrangeButtons();
}

void TKvSpinEdit::Loaded() {
  TKvCustomEdit::Loaded();
  ArrangeButtons();
}

void TKvSpinEdit::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_PASTE:
    case WM_CUT:
      if (!FAllowKeyEdit || ReadOnly()) return;
      break;
    case WM_SETFOCUS:
      TKvCustomEdit::Dispatch(M);
      ApplyEditMargins();
      // Not while a button is held: the click that gave the focus (on the text or an arrow) goes on.
      if (AutoSelect() && (GetKeyState(VK_LBUTTON) & 0x8000) == 0) SelectAll();
      return;
    case WM_KILLFOCUS:
      TKvCustomEdit::Dispatch(M);
      ApplyEditMargins();
      // A typed value is limited and written again as the field is left.
      if (!(FAllowBlank && Text().empty())) SetValue(Value());
      return;
    case WM_SIZE:
      TKvCustomEdit::Dispatch(M);
      ArrangeButtons();
      return;
    case CM_COLORCHANGED:
      TKvCustomEdit::Dispatch(M);
      FButtons->SetColor(Color());
      ApplyFlatButtonColors();
      return;
    case CM_ENABLEDCHANGED:
      TKvCustomEdit::Dispatch(M);
      ApplyEditMargins();
      FButtons->SetEnabled(Enabled());
      if (FlatButtons()) FButtons->SetColor(Color());
      return;
    case CM_FONTCHANGED:
      TKvCustomEdit::Dispatch(M);
      if (HandleAllocated()) ApplyEditMargins();
      FButtons->SetEnabled(Enabled());
      return;
    default: break;
  }
  TKvCustomEdit::Dispatch(M);
}

void RegisterKvSpinEditProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  using T = TKvSpinEdit;
  RegisterIntegerProperty<T>("Value", [](T* c, int64_t v) { c->SetValue(static_cast<long double>(v)); },
                             [](const T* c) { return int64_t(const_cast<T*>(c)->IntValue()); });
  RegisterIntegerProperty<T>("Min", [](T* c, int64_t v) { c->SetMin(static_cast<long double>(v)); },
                             [](const T* c) { return int64_t(Round(c->Min())); });
  RegisterIntegerProperty<T>("Max", [](T* c, int64_t v) { c->SetMax(static_cast<long double>(v)); },
                             [](const T* c) { return int64_t(Round(c->Max())); });
  RegisterIntegerProperty<T>("ButtonWidth", [](T* c, int64_t v) { c->SetButtonWidth(int32_t(v)); },
                             [](const T* c) { return int64_t(c->ButtonWidth()); });
  KvRegisterOrdProperty<T>("AllowBlank", TTypeKind::tkEnumeration, [](T* c, int64_t v) { c->SetAllowBlank(v != 0); },
                           [](const T* c) { return int64_t(c->AllowBlank()); });
  KvRegisterOrdProperty<T>("AllowKeyEdit", TTypeKind::tkEnumeration,
                           [](T* c, int64_t v) { c->SetAllowKeyEdit(v != 0); },
                           [](const T* c) { return int64_t(c->AllowKeyEdit()); });
  // Older forms stored this; it is read and dropped.
  TPropInfo p;
  p.Name = "FlatButtonParentColor";
  p.Kind = TTypeKind::tkLString;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  p.SetStr = [](TComponent*, const std::string&) {};
  RegisterPropInfo(std::move(p));
}
