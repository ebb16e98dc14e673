#include "controls/kv_bmp_button.h"

#include <algorithm>
#include <cctype>

#include "controls/kv_blits.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

namespace {

std::unique_ptr<TBitmap> gDownPattern;
int32_t gButtonCount = 0;

bool HasImage(const TBitmap* B) { return B && !B->Empty(); }

}  // namespace

TBitmap* KvDownPattern() {
  if (!gDownPattern) {
    gDownPattern = std::make_unique<TBitmap>(8, 8, TPixelFormat::pf24bit);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 8; ++x)
        gDownPattern->SetPixel(x, y, (x % 2) == (y % 2) ? 0xFFFFFF : static_cast<COLORREF>(ColorToRGB(clBtnFace)));
  }
  return gDownPattern.get();
}

bool KvDownPatternExists() { return gDownPattern != nullptr; }

std::unique_ptr<TBitmap> KvMakeDisabledPicture(const TBitmap& Up) {
  int32_t w = Up.Width(), h = Up.Height();
  // Monochrome: the dark pixels of a colour picture (the copy's black background) are the set bits;
  // of a picture that already is monochrome, its white ones.
  std::unique_ptr<TBitmap> mono = Up.CreateMask(Up.Monochrome() ? clWhite : clBlack);
  auto out = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  TCanvas* c = out->Canvas();
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(TRect(0, 0, w, h));
  SetBkColor(c, clBlack);
  SetTextColor(c, clWhite);
  BitBlt(c, 1, 1, w, h, mono->Canvas(), 0, 0, MERGEPAINT);
  BitBlt(c, 0, 0, w, h, mono->Canvas(), 0, 0, SRCAND);
  SetBkColor(c, clBtnShadow);
  SetTextColor(c, clBlack);
  BitBlt(c, 0, 0, w, h, mono->Canvas(), 0, 0, SRCPAINT);
  out->Modified();
  return out;
}

// ---- Bitmaps ----------------------------------------------------------------------------------------

TKvButtonBitmaps::TKvButtonBitmaps() {
  for (auto* p : {&FUp, &FUpAndFocused, &FDisabled, &FDown, &FStayDown, &FHot}) {
    *p = std::make_unique<TBitmap>();
    (*p)->OnChange = [this](TGraphic*) { Changed(); };
  }
}

TKvButtonBitmaps::~TKvButtonBitmaps() = default;

void TKvButtonBitmaps::Copy(TBitmap& To, const TBitmap* From) {
  if (From)
    To.Assign(*From);
  else
    To.Assign(TBitmap());
}

void TKvButtonBitmaps::SetTransparentColor(TColor Value) {
  if (FTransparentColor == Value) return;
  FTransparentColor = Value;
  Changed();
}

void TKvButtonBitmaps::Changed() {
  if (OnChange) OnChange(this);
}

// ---- Button -------------------------------------------------------------------------------------------

TKvBmpButton::TKvBmpButton(TComponent* AOwner) : TCustomControl(AOwner), FBitmaps(std::make_unique<TKvButtonBitmaps>()) {
  RegisterKvBmpButtonProperties();
  SetControlStyle(TControlStyle{csCaptureMouse, csOpaque, csDoubleClicks});
  SetBounds(Left(), Top(), 80, 30);
  SetParentFont(true);
  SetTabStop(true);
  FBitmaps->OnChange = [this](TObject*) {
    if (FButtonSize == bszButtonToBitmap) FitToBitmap();
    Invalidate();
  };
  ++gButtonCount;
}

TKvBmpButton::~TKvBmpButton() {
  if (--gButtonCount == 0) gDownPattern.reset();
}

bool TKvBmpButton::NewStyle() const {
  // The class library reports new-style controls on every system this runs on.
  return FButtonStyle != TButtonStyle::bsWin31;
}

void TKvBmpButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  // A group's down button is raised only by another member going down.
  if (FDown && !FAllowAllUp) return;
  FDown = Value;
  FLook = Value ? TLook::StayDown : TLook::Up;
  Invalidate();
  if (Value) NotifyGroup();
}

void TKvBmpButton::SetGroupIndex(int32_t Value) {
  if (FGroupIndex == Value) return;
  FGroupIndex = Value;
  NotifyGroup();
}

void TKvBmpButton::SetAllowAllUp(bool Value) {
  if (FAllowAllUp == Value) return;
  FAllowAllUp = Value;
  NotifyGroup();
}

void TKvBmpButton::SetMargin(int32_t Value) {
  if (Value < -1 || FMargin == Value) return;
  FMargin = Value;
  Invalidate();
}

#define KV_BB_SET(Name, Type, Field)       \
  void TKvBmpButton::Set##Name(Type Value) { \
    if (Field == Value) return;            \
    Field = Value;                         \
    Invalidate();                          \
  }
KV_BB_SET(Layout, TButtonLayout, FLayout)
KV_BB_SET(Spacing, int32_t, FSpacing)
KV_BB_SET(CaptionDownOffset, int32_t, FCaptionDownOffset)
KV_BB_SET(ShowDownPattern, bool, FShowDownPattern)
KV_BB_SET(ShowFocus, bool, FShowFocus)
KV_BB_SET(Color, TColor, FFaceColor)
#undef KV_BB_SET

#define KV_BB_FIT(Name, Type, Field)       \
  void TKvBmpButton::Set##Name(Type Value) { \
    if (Field == Value) return;            \
    Field = Value;                         \
    FitToBitmap();                         \
    Invalidate();                          \
  }
KV_BB_FIT(ButtonStyle, TButtonStyle, FButtonStyle)
KV_BB_FIT(ButtonBorder, TButtonBorder, FButtonBorder)
KV_BB_FIT(ButtonSize, TBtnSize, FButtonSize)
#undef KV_BB_FIT

void TKvBmpButton::NotifyGroup() {
  if (FGroupIndex != 0 && Parent()) {
    TMessage m;
    m.Msg = KV_BMPBTN_GROUP;
    m.WParam = static_cast<uintptr_t>(FGroupIndex);
    m.LParam = reinterpret_cast<intptr_t>(this);
    Parent()->Broadcast(m);
  } else {
    FLook = TLook::Up;
  }
}

void TKvBmpButton::FitToBitmap() {
  if (FFitting || ComponentState().Contains(csLoading) || FButtonSize == bszNeither || !HasImage(FBitmaps->Up()))
    return;
  if (FButtonSize == bszButtonToBitmap) {
    int32_t a = FButtonBorder == bbNone ? 0 : FButtonBorder == bbSingle ? 1 : NewStyle() ? 2 : 3;
    FFitting = true;
    SetBounds(Left(), Top(), FBitmaps->Up()->Width() + 2 * a, FBitmaps->Up()->Height() + 2 * a);
    FFitting = false;
  }
  Invalidate();
}

void TKvBmpButton::Loaded() {
  TCustomControl::Loaded();
  FitToBitmap();
}

void TKvBmpButton::WMSize(TMessage&) {
  // Replaces the base handling: the size follows the bitmap.
  FitToBitmap();
}

void TKvBmpButton::Click() {
  if (auto* f = dynamic_cast<TCustomForm*>(GetParentForm(this))) f->SetModalResult(FModalResult);
  TCustomControl::Click();
}

// ---- Layout and painting ----------------------------------------------------------------------------

TRect TKvBmpButton::LayoutGlyphAndCaption(TRect& R, const TBitmap* Picture) {
  TBitmap scratch(1, 1, TPixelFormat::pf32bit);
  TCanvas* c = scratch.Canvas();
  c->Font()->Assign(*Font());
  int32_t aw = R.Width(), ah = R.Height();
  int32_t gw = 0, gh = 0;
  if (HasImage(Picture) && FButtonSize == bszNeither) gw = Picture->Width(), gh = Picture->Height();
  TRect text(0, 0, 0, 0);
  if (!Caption().empty()) {
    text = TRect(0, 0, aw, 0);
    DrawText(c, Caption(), text, DT_CALCRECT | DT_SINGLELINE);
  }
  int32_t tw = text.Width(), th = text.Height();
  bool across = FLayout == blGlyphLeft || FLayout == blGlyphRight;
  int32_t gx = 0, gy = 0, tx = 0, ty = 0;
  if (across) {
    gy = ah / 2 - gh / 2;
    ty = ah / 2 - th / 2;
  } else {
    gx = aw / 2 - gw / 2;
    tx = aw / 2 - tw / 2;
  }
  int32_t s = FSpacing, m = FMargin;
  if (tw == 0 || gw == 0) s = 0;
  int32_t a = across ? aw : ah, g = across ? gw : gh, t = across ? tw : th;
  if (m == -1) {
    if (s == -1) {
      m = (a - (g + t)) / 3;
      s = m;
    } else {
      m = a / 2 - (g + s + t) / 2;
    }
  } else if (s == -1) {
    s = (a - (m + g)) / 2 - t / 2;
  }
  switch (FLayout) {
    case blGlyphLeft:
      gx = m;
      tx = m + gw + s;
      break;
    case blGlyphRight:
      gx = aw - m - gw;
      tx = gx - s - tw;
      break;
    case blGlyphTop:
      gy = m;
      ty = m + gh + s;
      break;
    case blGlyphBottom:
      gy = ah - m - gh;
      ty = gy - s - th;
      break;
  }
  OffsetRect(text, R.Left + tx - text.Left, R.Top + ty - text.Top);
  if (gw != 0 || gh != 0) R = TRect(R.Left + gx, R.Top + gy, R.Left + gx + gw, R.Top + gy + gh);
  return text;
}

const TBitmap* TKvBmpButton::PictureForLook(std::unique_ptr<TBitmap>& Generated) const {
  const TKvButtonBitmaps& b = *FBitmaps;
  switch (FLook) {
    case TLook::Up:
      if (FMouseOver && HasImage(b.Hot())) return b.Hot();
      if (FFocused && FShowFocus && HasImage(b.UpAndFocused())) return b.UpAndFocused();
      return b.Up();
    case TLook::Disabled:
      if (HasImage(b.Disabled())) return b.Disabled();
      if (!HasImage(b.Up())) return nullptr;
      Generated = KvMakeDisabledPicture(*b.Up());
      return Generated.get();
    case TLook::Pressed: return HasImage(b.Down()) ? b.Down() : b.Up();
    case TLook::StayDown:
      if (HasImage(b.StayDown())) return b.StayDown();
      return HasImage(b.Down()) ? b.Down() : b.Up();
  }
  return b.Up();
}

void TKvBmpButton::Paint() {
  bool designing = ComponentState().Contains(csDesigning);
  if (!Enabled() && !designing) {
    FLook = TLook::Disabled;
    FPressing = false;
  } else if (Enabled() && FLook == TLook::Disabled) {
    FLook = TLook::Up;
  }
  int32_t w = std::max(1, Width()), h = std::max(1, Height());
  TBitmap off(w, h, TPixelFormat::pf32bit);
  TCanvas* c = off.Canvas();
  TRect r = ClientRect();
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(FFaceColor);
  int32_t b = NewStyle() ? 1 : 2;
  bool down = FLook == TLook::Pressed || FLook == TLook::StayDown;
  switch (FButtonBorder) {
    case bbNone:
      c->FillRect(r);
      KvPaintParentBackground(this, c, false);
      if (designing) KvPaintDottedFocusFrame(c, r);
      break;
    case bbSingle:
      c->FillRect(r);
      r = KvPaintRectOutline(c, r, clBlack);
      break;
    case bbButton: {
      c->FillRect(r);
      if (FFocused && FShowFocus) r = KvPaintRectOutline(c, r, clBlack);
      if (b == 2)
        r = KvPaintColorButtonFrame(c, r, FFaceColor, down);
      else
        r = KvPaintSideBands(c, r, down ? clBtnShadow : clBtnHighlight, down ? clBtnShadow : cl3DDkShadow, 1,
                             KvAllSides);
      InflateRect(r, -1, -1);
      break;
    }
  }
  if (FLook == TLook::StayDown && FShowDownPattern && FButtonBorder != bbNone) {
    TRect p = r;
    p.Right -= NewStyle() ? 2 : 1;
    p.Bottom -= NewStyle() ? 2 : 1;
    InflateRect(p, b, b);
    c->Brush()->SetBitmap(KvDownPattern());
    c->FillRect(p);
    c->Brush()->SetBitmap(nullptr);
  }
  std::unique_ptr<TBitmap> generated;
  const TBitmap* pic = nullptr;
  if (HasImage(FBitmaps->Up()) || (HasImage(FBitmaps->Disabled()) && FLook == TLook::Disabled))
    pic = PictureForLook(generated);
  TRect glyph = r;
  TRect text = LayoutGlyphAndCaption(glyph, pic);
  if (HasImage(pic)) {
    auto* p = const_cast<TBitmap*>(pic);
    TColor key = FBitmaps->TransparentColor();
    switch (FButtonSize) {
      case bszNeither: KvBlitTransparentMasked(c, p, glyph, TRect(0, 0, p->Width(), p->Height()), key); break;
      case bszButtonToBitmap: KvBlitTransparent(c, p, r, TRect(0, 0, p->Width(), p->Height()), key); break;
      case bszStretchToButton: KvStretchTransparent(c, p, r, key); break;
      case bszTileToButton: KvTileTransparent(c, p, r, key); break;
    }
  }
  if (!Caption().empty()) {
    c->Font()->Assign(*Font());
    c->Brush()->SetStyle(TBrushStyle::bsClear);
    SetBkMode(c, TRANSPARENT);
    uint32_t flags = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (FLook == TLook::Disabled) {
      TRect t1 = text;
      OffsetRect(t1, 1, 1);
      SetTextColor(c, clWhite);
      DrawText(c, Caption(), t1, flags);
      TRect t2 = text;
      SetTextColor(c, 0x808080);
      DrawText(c, Caption(), t2, flags);
    } else {
      TRect t = text;
      if (down) OffsetRect(t, FCaptionDownOffset, FCaptionDownOffset);
      SetTextColor(c, Font()->Color());
      DrawText(c, Caption(), t, flags);
    }
    if (FFocused && FShowFocus) {
      TRect f = text;
      InflateRect(f, 2, 2);
      c->Brush()->SetStyle(TBrushStyle::bsSolid);
      c->Brush()->SetColor(clBtnFace);
      c->DrawFocusRect(f);
    }
  }
  Canvas()->Draw(0, 0, &off);
}

// ---- Input ----------------------------------------------------------------------------------------------

void TKvBmpButton::SetLook(TLook Value, bool Now) {
  if (FLook == Value) return;
  FLook = Value;
  if (Now)
    Repaint();
  else
    Invalidate();
}

void TKvBmpButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Enabled() && !Focused() && Showing() && CanFocus()) SetFocus();
  if (Button == TMouseButton::mbLeft && Enabled() && Focused()) {
    if (!FDown) SetLook(TLook::Pressed, true);
    FPressing = true;
  }
}

void TKvBmpButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!FPressing) return;
  bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
  SetLook(FDown ? TLook::StayDown : inside ? TLook::Pressed : TLook::Up, true);
}

void TKvBmpButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FPressing) return;
  FPressing = false;
  NotifyGroup();
  bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
  FinishPress(inside);
}

void TKvBmpButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_RETURN) {
    Click();
  } else if (Key == VK_SPACE && Enabled()) {
    if (!FDown) SetLook(TLook::Pressed, true);
    FPressing = true;
  }
}

void TKvBmpButton::KeyUp(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (!FPressing) return;
  FPressing = false;
  FLook = FDown ? TLook::StayDown : TLook::Up;
  FinishPress(true);
}

void TKvBmpButton::FinishPress(bool Clicked) {
  if (FGroupIndex == 0) {
    FLook = TLook::Up;
    Repaint();
  } else {
    if (Clicked) SetDown(!FDown);
    // A down button that stays down, or a press that ended outside, shows its resting look.
    SetLook(FDown ? TLook::StayDown : TLook::Up, true);
  }
  if (Clicked) Click();
}

void TKvBmpButton::WMLButtonDblClk(TMessage& M) {
  TCustomControl::WMLButtonDblClk(M);
  if (FDown) DblClick();
}

void TKvBmpButton::CMDialogChar(TMessage& M) {
  if (Enabled() && IsAccel(static_cast<uint32_t>(M.WParam), Caption())) {
    Click();
    M.Result = 1;
    return;
  }
  TCustomControl::Dispatch(M);
}

void TKvBmpButton::CMMouseEnter(TMessage& M) {
  if (ComponentState().Contains(csDesigning)) return;
  FMouseOver = true;
  TCustomControl::CMMouseEnter(M);
  if (OnMouseEnter) OnMouseEnter(this);
  if (HasImage(FBitmaps->Hot())) Invalidate();
}

void TKvBmpButton::CMMouseLeave(TMessage& M) {
  FMouseOver = false;
  TCustomControl::CMMouseLeave(M);
  if (OnMouseLeave) OnMouseLeave(this);
  if (HasImage(FBitmaps->Hot())) Invalidate();
}

void TKvBmpButton::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case KV_BMPBTN_GROUP: {
      auto* sender = reinterpret_cast<TKvBmpButton*>(M.LParam);
      if (sender != this && static_cast<int32_t>(M.WParam) == FGroupIndex && FGroupIndex != 0) {
        if (sender->FDown && FDown) {
          FDown = false;
          FLook = TLook::Up;
          Invalidate();
        }
        FAllowAllUp = sender->FAllowAllUp;
      }
      M.Result = 0;
      return;
    }
    case CM_DIALOGCHAR: CMDialogChar(M); return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::Dispatch(M);
      FFocused = M.Msg == WM_SETFOCUS;
      Invalidate();
      return;
    case CM_ENABLEDCHANGED:
    case CM_FONTCHANGED:
    case CM_TEXTCHANGED:
    case CM_SYSCOLORCHANGE:
      TCustomControl::Dispatch(M);
      Invalidate();
      return;
    default: break;
  }
  TCustomControl::Dispatch(M);
}

void RegisterKvBmpButtonProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  using T = TKvBmpButton;
  KvRegisterOrdProperty<T>("Down", TTypeKind::tkEnumeration, [](T* c, int64_t v) { c->SetDown(v != 0); },
                           [](const T* c) { return int64_t(c->Down()); });
  KvRegisterOrdProperty<T>("AllowAllUp", TTypeKind::tkEnumeration, [](T* c, int64_t v) { c->SetAllowAllUp(v != 0); },
                           [](const T* c) { return int64_t(c->AllowAllUp()); });
  RegisterIntegerProperty<T>("GroupIndex", [](T* c, int64_t v) { c->SetGroupIndex(int32_t(v)); },
                             [](const T* c) { return int64_t(c->GroupIndex()); });
  RegisterIntegerProperty<T>("Spacing", [](T* c, int64_t v) { c->SetSpacing(int32_t(v)); },
                             [](const T* c) { return int64_t(c->Spacing()); });
  RegisterIntegerProperty<T>("Margin", [](T* c, int64_t v) { c->SetMargin(int32_t(v)); },
                             [](const T* c) { return int64_t(c->Margin()); });
  RegisterIntegerProperty<T>("ModalResult", [](T* c, int64_t v) { c->SetModalResult(int32_t(v)); },
                             [](const T* c) { return int64_t(c->ModalResult()); });
}
