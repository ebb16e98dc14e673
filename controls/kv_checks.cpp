#include "controls/kv_checks.h"

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

// ---- Check box and radio button ---------------------------------------------------------------------

TKvCustomCheck::TKvCustomCheck(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvChecksProperties();
  SetTabStop(true);
  SetBounds(0, 0, 120, 17);
}

void TKvCustomCheck::SetChecked(bool v) {
  if (FChecked == v) return;
  FChecked = v;
  Invalidate();
  // The state changed: the click event announces it, from code as from the mouse.
  TCustomControl::Click();
}

void TKvCustomCheck::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  TColor bg = Parent() ? Parent()->Color() : Color();
  Fill(C, r, bg);
  int32_t y = (r.Height() - 13) / 2;
  TRect box = Rect(0, y, 13, y + 13);
  PaintMark(C, box);
  TRect tr = Rect(18, 0, r.Right, r.Bottom);
  DrawCaption(C, this, Caption(), tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
  if (Focused()) {
    C->Font()->Assign(*Font());
    int32_t w = C->TextWidth(Caption());
    DrawFocusRect(C, Rect(16, 0, std::min(r.Right, 20 + w), r.Bottom));
  }
}

void TKvCustomCheck::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE && Enabled()) {
    Key = 0;
    Click();
  }
}

void TKvCustomCheck::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_LBUTTONDOWN:
      if (CanFocus()) SetFocus();
      break;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && Enabled() && Showing()) {
        if (CanFocus()) SetFocus();
        Click();
        M.Result = 1;
        return;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
  }
  TCustomControl::Dispatch(M);
}

void TKvCheckBox::Click() { SetChecked(!FChecked); }

void TKvCheckBox::PaintMark(TCanvas* C, const TRect& Box) {
  Fill(C, Box, Enabled() ? clWindow : clBtnFace);
  C->Brush()->SetColor(kFrame);
  C->FrameRect(Box);
  if (FChecked) {
    C->Pen()->SetColor(Enabled() ? clWindowText : clGrayText);
    for (int32_t d = 0; d < 2; ++d) {
      C->MoveTo(Box.Left + 3, Box.Top + 5 + d);
      C->LineTo(Box.Left + 5, Box.Top + 7 + d);
      C->LineTo(Box.Left + 10, Box.Top + 2 + d);
    }
  }
}

void TKvRadioButton::SetChecked(bool v) {
  if (FChecked == v) return;
  if (v && Parent()) {
    for (int32_t i = 0; i < Parent()->ControlCount(); ++i) {
      auto* r = dynamic_cast<TKvRadioButton*>(Parent()->Controls(i));
      if (r && r != this && r->FChecked) {
        r->FChecked = false;
        r->Invalidate();
      }
    }
  }
  TKvCustomCheck::SetChecked(v);
}

void TKvRadioButton::Click() { SetChecked(true); }

void TKvRadioButton::PaintMark(TCanvas* C, const TRect& Box) {
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(Enabled() ? clWindow : clBtnFace);
  C->Pen()->SetColor(kFrame);
  C->Ellipse(Box);
  if (FChecked) {
    C->Brush()->SetColor(Enabled() ? clWindowText : clGrayText);
    C->Pen()->SetColor(Enabled() ? clWindowText : clGrayText);
    C->Ellipse(Box.Left + 4, Box.Top + 4, Box.Right - 4, Box.Bottom - 4);
  }
}


void RegisterKvChecksProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterOtherProperty<TKvCustomCheck>("Checked", TTypeKind::tkEnumeration);
}
