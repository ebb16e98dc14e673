#include "controls/kv_buttons.h"

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

// ---- Buttons -----------------------------------------------------------------------------------------

TKvButton::TKvButton(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvButtonsProperties();
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
  SetParentColor(false);
  SetColor(kFace);
}

void TKvButton::SetDefault(bool v) {
  FDefault = v;
  Invalidate();
}

void TKvButton::Click() {
  TCustomControl::Click();
  if (FModalResult != mrNone)
    if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(FModalResult);
}

void TKvButton::PaintFace(TCanvas* C, const TRect& R, bool Pressed) {
  TRect tr = R;
  if (Pressed) OffsetRect(tr, 1, 1);
  DrawCaption(C, this, Caption(), tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
}

void TKvButton::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  bool hot = Enabled() && (FMouseIn || Pressed());
  if (Pressed())
    Gradient(C, r, kHot2, kHot1);
  else if (hot)
    Gradient(C, r, kHot1, kHot2);
  else
    Gradient(C, r, clWhite, Color());
  C->Brush()->SetColor((hot || Focused() || FDefault) && Enabled() ? kFrame : clBtnShadow);
  C->FrameRect(r);
  PaintFace(C, r, Pressed());
  if (Focused()) {
    TRect fr = r;
    InflateRect(fr, -3, -3);
    DrawFocusRect(C, fr);
  }
}

void TKvButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft && Enabled()) {
    FPressed = true;
    FMouseIn = true;
    if (CanFocus()) SetFocus();
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TKvButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  FPressed = false;
  Invalidate();
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TKvButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE && Enabled()) {
    Key = 0;
    Click();
  }
}

void TKvButton::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_BUTTON; return;
    case CM_DIALOGKEY:
      if (M.WParam == VK_RETURN && (Focused() || FDefault) && Enabled() && Showing()) {
        Click();
        M.Result = 1;
        return;
      }
      break;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && Enabled() && Showing()) {
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

void TKvButton::CMMouseEnter(TMessage& Message) {
  TCustomControl::CMMouseEnter(Message);
  FMouseIn = true;
  Invalidate();
}

void TKvButton::CMMouseLeave(TMessage& Message) {
  TCustomControl::CMMouseLeave(Message);
  FMouseIn = false;
  Invalidate();
}

void TKvButton::CMEnabledChanged(TMessage& Message) {
  TCustomControl::CMEnabledChanged(Message);
  FPressed = false;
  Invalidate();
}

TKvToolButton::TKvToolButton(TComponent* AOwner) : TKvButton(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 60, 60);
}

void TKvToolButton::SetImages(TImageList* v) {
  if (FImages == v) return;
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = v;
  if (FImages) FImages->FreeNotification(this);
  Invalidate();
}

void TKvToolButton::SetImageIndex(int32_t v) {
  FImageIndex = v;
  Invalidate();
}

void TKvToolButton::SetDisabledImageIndex(int32_t v) {
  FDisabledImageIndex = v;
  Invalidate();
}

void TKvToolButton::Notification(TComponent* AComponent, TOperation Operation) {
  TKvButton::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FImages) FImages = nullptr;
}

void TKvToolButton::PaintFace(TCanvas* C, const TRect& R, bool Pressed) {
  int32_t textH = Caption().empty() ? 0 : 16;
  int32_t off = Pressed ? 1 : 0;
  if (FImages) {
    int32_t idx = (!Enabled() && FDisabledImageIndex >= 0) ? FDisabledImageIndex : FImageIndex;
    if (idx >= 0 && idx < FImages->Count()) {
      int32_t x = (R.Width() - FImages->Width()) / 2 + off;
      int32_t y = std::max(2, (R.Height() - textH - FImages->Height()) / 2) + off;
      FImages->Draw(C, x, y, idx, Enabled() || FDisabledImageIndex >= 0);
    }
  }
  if (textH) {
    TRect tr = Rect(R.Left + off, R.Bottom - textH - 2 + off, R.Right + off, R.Bottom - 2 + off);
    DrawCaption(C, this, Caption(), tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
  }
}


void RegisterKvButtonsProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterIntegerProperty<TKvToolButton>("ImageIndex", [](TKvToolButton* c, int64_t v) { c->SetImageIndex(int32_t(v)); });
  RegisterIntegerProperty<TKvButton>("ModalResult", [](TKvButton* c, int64_t v) { c->SetModalResult(int32_t(v)); });
  RegisterOtherProperty<TKvButton>("Default", TTypeKind::tkEnumeration);
}
