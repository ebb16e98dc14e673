#include "controls/kv_spin_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/kv_first_cut.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

using namespace kvfirst;

// ---- Spin edit ---------------------------------------------------------------------------------------

TKvSpinEdit::TKvSpinEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvSpinEditProperties();
  SetTabStop(true);
  SetBounds(0, 0, 60, 21);
  SetParentColor(false);
  SetColor(clWindow);
}

double TKvSpinEdit::Clamp(double v) const {
  // Equal limits leave the value free, as a spin edit without a range.
  if (FMax > FMin) v = std::clamp(v, FMin, FMax);
  return v;
}

void TKvSpinEdit::SetValue(double v) {
  v = Clamp(v);
  FEditing = false;
  if (v == FValue) {
    Invalidate();
    return;
  }
  FValue = v;
  Invalidate();
  if (OnChange) OnChange(this);
}

void TKvSpinEdit::SetMin(double v) {
  FMin = v;
  SetValue(FValue);
}

void TKvSpinEdit::SetMax(double v) {
  FMax = v;
  SetValue(FValue);
}

std::string TKvSpinEdit::Text() const {
  if (FEditing) return FEditText;
  return std::to_string(static_cast<int64_t>(Round(FValue)));
}

TRect TKvSpinEdit::UpRect() const {
  TRect r = ClientRect();
  return Rect(r.Right - 15, r.Top, r.Right, r.Top + r.Height() / 2);
}

TRect TKvSpinEdit::DownRect() const {
  TRect r = ClientRect();
  return Rect(r.Right - 15, r.Top + r.Height() / 2, r.Right, r.Bottom);
}

void TKvSpinEdit::CommitText() {
  if (!FEditing) return;
  std::string t = Trim(FEditText);
  FEditing = false;
  char* end = nullptr;
  double v = t.empty() ? FValue : std::strtod(t.c_str(), &end);
  // Text that is not a number puts the last value back.
  if (!t.empty() && (end == nullptr || *end != '\0')) v = FValue;
  SetValue(v);
}

void TKvSpinEdit::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Enabled() ? Color() : clBtnFace);
  C->Brush()->SetColor(Focused() ? kFrame : clBtnShadow);
  C->FrameRect(r);
  TRect tr = Rect(r.Left + 3, r.Top, r.Right - 16, r.Bottom);
  std::string s = Text();
  if (Focused()) s += "|";
  DrawCaption(C, this, s, tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE, Enabled() ? clWindowText : clGrayText);
  for (int up = 0; up < 2; ++up) {
    TRect b = up ? UpRect() : DownRect();
    Gradient(C, b, clWhite, kFace);
    C->Brush()->SetColor(clBtnShadow);
    C->FrameRect(b);
    int32_t cx = (b.Left + b.Right) / 2, cy = (b.Top + b.Bottom) / 2;
    C->Pen()->SetColor(Enabled() ? clBtnText : clGrayText);
    for (int32_t i = 0; i < 3; ++i) {
      int32_t y = up ? cy - 1 + i : cy + 1 - i;
      C->MoveTo(cx - i, y);
      C->LineTo(cx + i + 1, y);
    }
  }
}

void TKvSpinEdit::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus()) SetFocus();
  TPoint p = Point(X, Y);
  if (PtInRect(UpRect(), p)) {
    CommitText();
    SetValue(FValue + FIncrement);
  } else if (PtInRect(DownRect(), p)) {
    CommitText();
    SetValue(FValue - FIncrement);
  }
}

void TKvSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_UP:
      CommitText();
      SetValue(FValue + FIncrement);
      break;
    case VK_DOWN:
      CommitText();
      SetValue(FValue - FIncrement);
      break;
    case VK_RETURN: CommitText(); break;
    case VK_BACK:
      if (!FEditing) FEditText = Text(), FEditing = true;
      if (!FEditText.empty()) FEditText.pop_back();
      Invalidate();
      break;
    default: return;
  }
  Key = 0;
}

void TKvSpinEdit::KeyPress(std::string& Key) {
  TCustomControl::KeyPress(Key);
  if (Key.size() != 1) return;
  char c = Key[0];
  if ((c >= '0' && c <= '9') || c == '-') {
    if (!FEditing) {
      FEditText.clear();
      FEditing = true;
    }
    if (FEditText.size() < 12) FEditText += c;
    Invalidate();
    // Typing a whole number applies it at once, as the value changes under the user's eyes.
    char* end = nullptr;
    double v = std::strtod(FEditText.c_str(), &end);
    if (end && *end == '\0' && !FEditText.empty() && FEditText != "-") {
      if (Clamp(v) == v && v != FValue) {
        FValue = v;
        if (OnChange) OnChange(this);
      }
    }
  }
  Key.clear();
}

bool TKvSpinEdit::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  CommitText();
  SetValue(FValue + (WheelDelta > 0 ? FIncrement : -FIncrement));
  return true;
}

void TKvSpinEdit::DoExit() {
  CommitText();
  TCustomControl::DoExit();
}

void TKvSpinEdit::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
  }
  TCustomControl::Dispatch(M);
}


void RegisterKvSpinEditProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterOtherProperty<TKvSpinEdit>("Value", TTypeKind::tkFloat);
}
