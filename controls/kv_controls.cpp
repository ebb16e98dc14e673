#include "controls/kv_controls.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

extern char** environ;

std::function<bool(const std::string& Address)> KvOpenURLHook;

bool KvOpenURL(const std::string& Address) {
  std::string a = Trim(Address);
  if (a.empty()) return false;
  if (KvOpenURLHook) return KvOpenURLHook(a);
  // An argument vector, never a shell line: the address cannot inject commands.
  std::string prog = "xdg-open";
  char* argv[] = {prog.data(), a.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // Reaped in the background so no zombie stays behind and the GUI never waits for the browser.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return true;
}

namespace {

void Frame(TCanvas* C, const TRect& R, TColor TopLeft, TColor BottomRight) {
  C->Pen()->SetColor(TopLeft);
  C->MoveTo(R.Left, R.Bottom - 1);
  C->LineTo(R.Left, R.Top);
  C->LineTo(R.Right - 1, R.Top);
  C->Pen()->SetColor(BottomRight);
  C->LineTo(R.Right - 1, R.Bottom - 1);
  C->LineTo(R.Left - 1, R.Bottom - 1);
}

void Fill(TCanvas* C, const TRect& R, TColor Color) {
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(Color);
  C->FillRect(R);
}

void DrawCaption(TCanvas* C, const TControl* Ctl, const std::string& S, TRect R, uint32_t Flags, TColor Color) {
  C->Font()->Assign(*Ctl->Font());
  C->Font()->SetColor(Color);
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, Color);
  DrawText(C, S, R, Flags);
}

const TColor kFace = 0xF6F0E2;
const TColor kFrame = 0xD08130;
const TColor kHot1 = 0xF3D28D;
const TColor kHot2 = 0xE1AB39;

void Gradient(TCanvas* C, const TRect& R, TColor From, TColor To) {
  int32_t h = R.Height();
  if (h <= 0) return;
  TColor a = ColorToRGB(From), b = ColorToRGB(To);
  for (int32_t y = 0; y < h; ++y) {
    auto mix = [&](int shift) {
      int32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
      return static_cast<TColor>((ca + (cb - ca) * y / std::max(1, h - 1)) & 0xFF) << shift;
    };
    Fill(C, Rect(R.Left, R.Top + y, R.Right, R.Top + y + 1), mix(0) | mix(8) | mix(16));
  }
}

}  // namespace

void RegisterKvControlProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterIntegerProperty<TKvTrackBar>("Position", [](TKvTrackBar* c, int64_t v) { c->SetPosition(int32_t(v)); },
                                       [](const TKvTrackBar* c) { return int64_t(c->Position()); });
  RegisterIntegerProperty<TKvTrackBar>("Min", [](TKvTrackBar* c, int64_t v) { c->SetMin(int32_t(v)); });
  RegisterIntegerProperty<TKvTrackBar>("Max", [](TKvTrackBar* c, int64_t v) { c->SetMax(int32_t(v)); });
  RegisterOtherProperty<TKvSpinEdit>("Value", TTypeKind::tkFloat);
  RegisterOtherProperty<TKvCustomCheck>("Checked", TTypeKind::tkEnumeration);
  RegisterOtherProperty<TKvBmpButton>("Down", TTypeKind::tkEnumeration);
  RegisterIntegerProperty<TKvBmpButton>("GroupIndex", [](TKvBmpButton* c, int64_t v) { c->SetGroupIndex(int32_t(v)); });
  RegisterStringProperty<TKvURLLabel>("URL", [](TKvURLLabel* c, const std::string& v) { c->SetURL(v); },
                                      [](const TKvURLLabel* c) { return c->URL(); });
  RegisterIntegerProperty<TKvToolButton>("ImageIndex", [](TKvToolButton* c, int64_t v) { c->SetImageIndex(int32_t(v)); });
  RegisterIntegerProperty<TKvButton>("ModalResult", [](TKvButton* c, int64_t v) { c->SetModalResult(int32_t(v)); });
  RegisterOtherProperty<TKvButton>("Default", TTypeKind::tkEnumeration);
}

// ---- Panel and group box ---------------------------------------------------------------------------

TKvPanel::TKvPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
  FControlStyle.Include(csAcceptsControls);
  SetBounds(0, 0, 185, 41);
  SetParentColor(false);
  SetColor(kFace);
}

void TKvPanel::SetFlatBorder(bool v) {
  if (FFlatBorder == v) return;
  FFlatBorder = v;
  Realign();
  Invalidate();
}

void TKvPanel::SetBorderStyle(TBorderStyle v) {
  if (FBorderStyle == v) return;
  FBorderStyle = v;
  Realign();
  Invalidate();
}

void TKvPanel::SetShowCaption(bool v) {
  FShowCaption = v;
  Invalidate();
}

int32_t TKvPanel::BorderSize() const {
  if (FBorderStyle == TBorderStyle::bsNone) return 0;
  return FFlatBorder ? 1 : 2;
}

void TKvPanel::AdjustClientRect(TRect& Rect) {
  int32_t b = BorderSize() + BorderWidth();
  InflateRect(Rect, -b, -b);
}

void TKvPanel::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Color());
  if (FBorderStyle != TBorderStyle::bsNone) {
    if (FFlatBorder) {
      C->Brush()->SetColor(clBtnShadow);
      C->FrameRect(r);
    } else {
      Frame(C, r, clBtnHighlight, clBtnShadow);
      TRect in = r;
      InflateRect(in, -1, -1);
      Frame(C, in, Color(), clBtnFace);
    }
  }
  if (FShowCaption && !Caption().empty())
    DrawCaption(C, this, Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
}

TKvGroupBox::TKvGroupBox(TComponent* AOwner) : TKvPanel(AOwner) { FFlatBorder = true; }

void TKvGroupBox::AdjustClientRect(TRect& Rect) {
  int32_t top = Caption().empty() ? 2 : 16;
  Rect.Left += 2;
  Rect.Right -= 2;
  Rect.Top += top;
  Rect.Bottom -= 2;
}

void TKvGroupBox::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  TColor bg = Parent() ? Parent()->Color() : Color();
  Fill(C, r, bg);
  TRect box = r;
  if (!Caption().empty()) box.Top += 7;
  Fill(C, Rect(box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1), Color());
  C->Brush()->SetColor(kFrame);
  C->FrameRect(box);
  if (!Caption().empty()) {
    C->Font()->Assign(*Font());
    int32_t w = C->TextWidth(Caption()) + 6;
    TRect t = Rect(8, 0, 8 + w, 15);
    Fill(C, t, bg);
    DrawCaption(C, this, Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
  }
}

// ---- Labels ------------------------------------------------------------------------------------------

TKvLabel::TKvLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  RegisterKvControlProperties();
  SetBounds(0, 0, 65, 13);
}

void TKvLabel::SetAlignment(uint32_t v) {
  FAlignment = v;
  Invalidate();
}

void TKvLabel::SetTransparent(bool v) {
  FTransparent = v;
  Invalidate();
}

void TKvLabel::SetText(const std::string& Value) {
  TGraphicControl::SetText(Value);
  AdjustSize();
  Invalidate();
}

void TKvLabel::AdjustSize() {
  if (!AutoSize() || FAlignment != DT_LEFT) return;
  TBitmap b;
  b.SetWidth(1);
  b.SetHeight(1);
  TCanvas c(&b);
  c.Font()->Assign(*Font());
  TSize s = c.TextExtent(Caption().empty() ? " " : Caption());
  SetBounds(Left(), Top(), s.cx, s.cy);
}

void TKvLabel::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  if (!FTransparent) Fill(C, r, Color());
  DrawCaption(C, this, Caption(), r, FAlignment | DT_SINGLELINE, Enabled() ? Font()->Color() : clGrayText);
}

TKvURLLabel::TKvURLLabel(TComponent* AOwner) : TKvLabel(AOwner) {
  SetCursor(crHandPoint);
  Font()->SetColor(clBlue);
}

void TKvURLLabel::Click() {
  TKvLabel::Click();
  KvOpenURL(FURL);
}

void TKvURLLabel::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  if (!FTransparent) Fill(C, r, Color());
  C->Font()->Assign(*Font());
  TFontStyles st = Font()->Style();
  st.Include(TFontStyle::fsUnderline);
  TFont f;
  f.Assign(*Font());
  f.SetStyle(st);
  f.SetColor(FHot ? FHighlightColor : Font()->Color());
  C->Font()->Assign(f);
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, f.Color());
  DrawText(C, Caption(), r, FAlignment | DT_SINGLELINE);
}

void TKvURLLabel::CMMouseEnter(TMessage& Message) {
  TKvLabel::CMMouseEnter(Message);
  FHot = true;
  Invalidate();
}

void TKvURLLabel::CMMouseLeave(TMessage& Message) {
  TKvLabel::CMMouseLeave(Message);
  FHot = false;
  Invalidate();
}

TKvSeparator::TKvSeparator(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 150, 2); }

void TKvSeparator::Paint() {
  TCanvas* C = Canvas();
  int32_t w = Width();
  TColor a = ColorToRGB(kFrame), b = ColorToRGB(clBtnFace);
  // A line that fades into the face colour towards both ends.
  for (int32_t x = 0; x < w; ++x) {
    int32_t d = std::min(x, w - 1 - x);
    int32_t t = std::min(255, d * 255 * 3 / std::max(1, w));
    auto mix = [&](int s) { return static_cast<TColor>((((b >> s) & 0xFF) * (255 - t) + ((a >> s) & 0xFF) * t) / 255) << s; };
    C->SetPixels(x, 0, mix(0) | mix(8) | mix(16));
    if (Height() > 1) C->SetPixels(x, 1, clWhite);
  }
}

// ---- Buttons -----------------------------------------------------------------------------------------

TKvButton::TKvButton(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
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

TKvBmpButton::TKvBmpButton(TComponent* AOwner) : TKvButton(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 32, 32);
}

TKvBmpButton::~TKvBmpButton() = default;

void TKvBmpButton::SetGlyph(const TBitmap* v) {
  if (!v) {
    FGlyph.reset();
  } else {
    FGlyph = std::make_unique<TBitmap>();
    FGlyph->Assign(*v);
    FGlyph->SetTransparent(v->Transparent());
  }
  Invalidate();
}

void TKvBmpButton::SetGroupIndex(int32_t v) { FGroupIndex = v; }

void TKvBmpButton::SetDown(bool v) {
  if (FDown == v) return;
  // A grouped button is released only by another of its group going down.
  FDown = v;
  if (v && FGroupIndex != 0 && Parent()) {
    for (int32_t i = 0; i < Parent()->ControlCount(); ++i) {
      auto* b = dynamic_cast<TKvBmpButton*>(Parent()->Controls(i));
      if (b && b != this && b->FGroupIndex == FGroupIndex && b->FDown) {
        b->FDown = false;
        b->Invalidate();
      }
    }
  }
  Invalidate();
}

void TKvBmpButton::Click() {
  if (FGroupIndex != 0) SetDown(true);
  TKvButton::Click();
}

void TKvBmpButton::PaintFace(TCanvas* C, const TRect& R, bool Pressed) {
  if (FDown) {
    Gradient(C, R, kHot2, kHot1);
    C->Brush()->SetColor(kFrame);
    C->FrameRect(R);
  }
  int32_t off = (Pressed || FDown) ? 1 : 0;
  if (FGlyph && !FGlyph->Empty()) {
    int32_t x = (R.Width() - FGlyph->Width()) / 2 + off;
    int32_t y = (R.Height() - FGlyph->Height()) / 2 + off;
    C->Draw(x, y, FGlyph.get());
  } else {
    TKvButton::PaintFace(C, R, Pressed || FDown);
  }
}

// ---- Check box and radio button ---------------------------------------------------------------------

TKvCustomCheck::TKvCustomCheck(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
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

// ---- Track bar ---------------------------------------------------------------------------------------

TKvTrackBar::TKvTrackBar(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
  SetTabStop(true);
  SetBounds(0, 0, 150, 25);
}

void TKvTrackBar::SetMin(int32_t v) {
  FMin = v;
  if (FMax < FMin) FMax = FMin;
  if (FPosition < FMin) SetPosition(FMin);
  Invalidate();
}

void TKvTrackBar::SetMax(int32_t v) {
  FMax = v;
  if (FMin > FMax) FMin = FMax;
  if (FPosition > FMax) SetPosition(FMax);
  Invalidate();
}

void TKvTrackBar::SetPosition(int32_t v) {
  if (v == FPosition) return;
  v = std::clamp(v, FMin, FMax);
  if (v == FPosition) return;
  FPosition = v;
  Invalidate();
  if (OnChange) OnChange(this);
}

TRect TKvTrackBar::ChannelRect() const {
  int32_t cy = Height() / 2;
  return Rect(6, cy - 2, std::max(7, Width() - 6), cy + 2);
}

TRect TKvTrackBar::ThumbRect() const {
  TRect ch = ChannelRect();
  int32_t span = ch.Width() - 1;
  int32_t range = FMax - FMin;
  int32_t x = ch.Left + (range > 0 ? int32_t(int64_t(FPosition - FMin) * span / range) : 0);
  int32_t cy = Height() / 2;
  return Rect(x - 5, cy - 9, x + 6, cy + 9);
}

int32_t TKvTrackBar::PositionAt(int32_t X) const {
  TRect ch = ChannelRect();
  int32_t span = std::max(1, ch.Width() - 1);
  int64_t rel = std::clamp(X - ch.Left, 0, span);
  return FMin + int32_t((rel * (FMax - FMin) + span / 2) / span);
}

void TKvTrackBar::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Parent() ? Parent()->Color() : Color());
  TRect ch = ChannelRect();
  Fill(C, ch, clWindow);
  Frame(C, ch, clBtnShadow, clBtnHighlight);
  TRect th = ThumbRect();
  if (Enabled())
    Gradient(C, th, kHot1, kHot2);
  else
    Fill(C, th, clBtnFace);
  C->Brush()->SetColor(Enabled() ? kFrame : clBtnShadow);
  C->FrameRect(th);
  if (Focused()) {
    TRect fr = r;
    DrawFocusRect(C, fr);
  }
}

void TKvTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  if (CanFocus()) SetFocus();
  FDragging = true;
  SetPosition(PositionAt(X));
}

void TKvTrackBar::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (FDragging) SetPosition(PositionAt(X));
}

void TKvTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FDragging = false;
}

void TKvTrackBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_LEFT:
    case VK_UP: SetPosition(FPosition - 1); break;
    case VK_RIGHT:
    case VK_DOWN: SetPosition(FPosition + 1); break;
    case VK_PRIOR: SetPosition(FPosition - FPageSize); break;
    case VK_NEXT: SetPosition(FPosition + FPageSize); break;
    case VK_HOME: SetPosition(FMin); break;
    case VK_END: SetPosition(FMax); break;
    default: return;
  }
  Key = 0;
}

bool TKvTrackBar::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  SetPosition(FPosition + (WheelDelta > 0 ? -1 : 1));
  return true;
}

void TKvTrackBar::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
  }
  TCustomControl::Dispatch(M);
}

// ---- Spin edit ---------------------------------------------------------------------------------------

TKvSpinEdit::TKvSpinEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
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

// ---- Page control ------------------------------------------------------------------------------------

TKvTabSheet::TKvTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle.Include(csAcceptsControls);
  SetAlign(alClient);
  SetVisible(false);
  SetParentColor(false);
  SetColor(kFace);
}

TKvTabSheet::~TKvTabSheet() { SetPageControl(nullptr); }

void TKvTabSheet::SetPageControl(TKvPageControl* v) {
  if (FPageControl == v) return;
  if (FPageControl) FPageControl->RemovePage(this);
  FPageControl = v;
  if (v) {
    SetParent(v);
    v->InsertPage(this);
  }
}

int32_t TKvTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  auto& p = FPageControl->FPages;
  auto it = std::find(p.begin(), p.end(), this);
  return it == p.end() ? -1 : int32_t(it - p.begin());
}

void TKvTabSheet::SetTabVisible(bool v) {
  FTabVisible = v;
  if (FPageControl) FPageControl->TabsChanged();
}

void TKvTabSheet::SetText(const std::string& Value) {
  TCustomControl::SetText(Value);
  if (FPageControl) FPageControl->TabsChanged();
}

void TKvTabSheet::Paint() { Fill(Canvas(), ClientRect(), Color()); }

TKvPageControl::TKvPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
  FControlStyle.Include(csAcceptsControls);
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
  SetParentColor(false);
  SetColor(kFace);
}

TKvPageControl::~TKvPageControl() {
  for (TKvTabSheet* p : FPages) p->FPageControl = nullptr;
}

void TKvPageControl::InsertPage(TKvTabSheet* Page) {
  FPages.push_back(Page);
  if (!FActivePage) SetActivePage(Page);
  TabsChanged();
}

void TKvPageControl::RemovePage(TKvTabSheet* Page) {
  auto it = std::find(FPages.begin(), FPages.end(), Page);
  if (it == FPages.end()) return;
  FPages.erase(it);
  if (FActivePage == Page) {
    FActivePage = nullptr;
    if (!FPages.empty()) SetActivePage(FPages.front());
  }
  TabsChanged();
}

void TKvPageControl::TabsChanged() { Invalidate(); }

void TKvPageControl::SetTabHeight(int32_t v) {
  FTabHeight = std::max(8, v);
  Realign();
  Invalidate();
}

void TKvPageControl::SetActivePage(TKvTabSheet* Page) {
  if (Page && Page->FPageControl != this) return;
  if (Page == FActivePage) return;
  TKvTabSheet* old = FActivePage;
  FActivePage = Page;
  if (Page) Page->SetVisible(true);
  if (old) old->SetVisible(false);
  Invalidate();
  if (OnChange) OnChange(this);
}

int32_t TKvPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TKvPageControl::SetActivePageIndex(int32_t Index) {
  if (Index >= 0 && Index < PageCount()) SetActivePage(FPages[size_t(Index)]);
}

TRect TKvPageControl::TabRect(int32_t Index) {
  if (Index < 0 || Index >= PageCount()) return Rect(0, 0, 0, 0);
  TBitmap b;
  b.SetWidth(1);
  b.SetHeight(1);
  TCanvas c(&b);
  c.Font()->Assign(*Font());
  int32_t x = 2;
  for (int32_t i = 0; i < PageCount(); ++i) {
    if (!FPages[size_t(i)]->TabVisible()) {
      if (i == Index) return Rect(0, 0, 0, 0);
      continue;
    }
    int32_t w = c.TextWidth(FPages[size_t(i)]->Caption()) + 16;
    if (i == Index) return Rect(x, 2, x + w, FTabHeight);
    x += w;
  }
  return Rect(0, 0, 0, 0);
}

void TKvPageControl::SelectNextPage(bool GoForward) {
  int32_t n = PageCount();
  if (n == 0) return;
  int32_t i = ActivePageIndex();
  for (int32_t k = 0; k < n; ++k) {
    i = (i + (GoForward ? 1 : n - 1)) % n;
    if (FPages[size_t(i)]->TabVisible()) {
      SetActivePage(FPages[size_t(i)]);
      return;
    }
  }
}

void TKvPageControl::AdjustClientRect(TRect& Rect) {
  Rect.Top += FTabHeight;
  InflateRect(Rect, -1, -1);
}

void TKvPageControl::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Parent() ? Parent()->Color() : Color());
  TRect body = Rect(0, FTabHeight - 1, r.Right, r.Bottom);
  Fill(C, body, Color());
  C->Brush()->SetColor(kFrame);
  C->FrameRect(body);
  for (int32_t i = 0; i < PageCount(); ++i) {
    TRect t = TabRect(i);
    if (t.Width() <= 0) continue;
    bool active = FPages[size_t(i)] == FActivePage;
    if (active) {
      t.Top -= 2;
      t.Bottom += 1;
      Fill(C, t, Color());
    } else {
      Gradient(C, Rect(t.Left, t.Top, t.Right, t.Bottom - 1), clWhite, kFace);
    }
    C->Pen()->SetColor(kFrame);
    C->MoveTo(t.Left, t.Bottom - 1);
    C->LineTo(t.Left, t.Top);
    C->LineTo(t.Right - 1, t.Top);
    C->LineTo(t.Right - 1, t.Bottom);
    DrawCaption(C, this, FPages[size_t(i)]->Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
         Enabled() ? clBtnText : clGrayText);
    if (active && Focused()) {
      TRect fr = t;
      InflateRect(fr, -3, -3);
      DrawFocusRect(C, fr);
    }
  }
}

void TKvPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  for (int32_t i = 0; i < PageCount(); ++i) {
    if (PtInRect(TabRect(i), Point(X, Y))) {
      SetActivePage(FPages[size_t(i)]);
      if (CanFocus()) SetFocus();
      return;
    }
  }
}

void TKvPageControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_LEFT || Key == VK_RIGHT) {
    SelectNextPage(Key == VK_RIGHT);
    Key = 0;
  }
}

void TKvPageControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS; return;
    case CM_DIALOGKEY:
      if (M.WParam == VK_TAB && GetKeyState(VK_CONTROL) < 0 && Showing()) {
        SelectNextPage(GetKeyState(VK_SHIFT) >= 0);
        M.Result = 1;
        return;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
  }
  TCustomControl::Dispatch(M);
}

// ---- Status bar --------------------------------------------------------------------------------------

TKvStatusPane::TKvStatusPane(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 200, 19);
  SetAlign(alClient);
}

void TKvStatusPane::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Parent() ? Parent()->Color() : Color());
  Frame(C, r, clBtnShadow, clBtnHighlight);
  TRect tr = Rect(r.Left + 4, r.Top, r.Right - 2, r.Bottom);
  DrawCaption(C, this, Caption(), tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS, clBtnText);
}

TKvStatusBar::TKvStatusBar(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvControlProperties();
  FControlStyle.Include(csAcceptsControls);
  SetBounds(0, 0, 300, 23);
  SetAlign(alBottom);
  SetParentColor(false);
  SetColor(kFace);
  SetBorderWidth(2);
}

void TKvStatusBar::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Color());
  C->Pen()->SetColor(kFrame);
  C->MoveTo(0, 0);
  C->LineTo(r.Right, 0);
}
