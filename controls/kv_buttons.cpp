#include "controls/kv_buttons.h"

#include <algorithm>
#include <memory>

#include "controls/kv_text.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

namespace {

bool NoShiftKeys(intptr_t KeyData) {
  TShiftState s = KeyDataToShiftState(KeyData);
  return !s.Contains(ssShift) && !s.Contains(ssCtrl) && !s.Contains(ssAlt);
}

void Fill(TCanvas* C, const TRect& R, TColor Color) {
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(Color);
  C->FillRect(R);
}

}  // namespace

// ---- Button base ----------------------------------------------------------------------------------

TKvCustomButton::TKvCustomButton(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvButtonsProperties();
  FControlStyle = TControlStyle{csCaptureMouse, csSetCaption, csDoubleClicks, csReplicatable,
                                TControlStyleItem::csReflector};
  SetBounds(0, 0, 115, 17);
  SetTabStop(true);
}

#define KV_BUTTON_SETTER(Class, Name, Type, Field) \
  void Class::Set##Name(Type v) {                  \
    if (Field == v) return;                        \
    Field = v;                                     \
    Invalidate();                                  \
  }

KV_BUTTON_SETTER(TKvCustomButton, AlignmentVertical, TAlignmentVertical, FAlignmentVertical)
KV_BUTTON_SETTER(TKvCustomButton, HotTrackColor, TColor, FHotTrackColor)
KV_BUTTON_SETTER(TKvCustomButton, HotTrackColorType, TKvHotTrackColorType, FHotTrackColorType)
KV_BUTTON_SETTER(TKvCustomButton, HighlightColor, TColor, FHighlightColor)
KV_BUTTON_SETTER(TKvCustomButton, LightTextStyle, bool, FLightTextStyle)
KV_BUTTON_SETTER(TKvCustomButton, TextStyle, TTextStyle, FTextStyle)
KV_BUTTON_SETTER(TKvCustomButton, TextHighlightColor, TColor, FTextHighlightColor)
KV_BUTTON_SETTER(TKvCustomButton, TextShadowColor, TColor, FTextShadowColor)
KV_BUTTON_SETTER(TKvCustomButton, TextShadowDepth, int32_t, FTextShadowDepth)
KV_BUTTON_SETTER(TKvCustomButton, HotTrack, bool, FHotTrack)
KV_BUTTON_SETTER(TKvCustomButton, ThemeAware, bool, FThemeAware)
KV_BUTTON_SETTER(TKvCustomButton, Transparent, bool, FTransparent)
KV_BUTTON_SETTER(TKvButton, Alignment, TAlignment, FAlignment)
KV_BUTTON_SETTER(TKvButton, FrameColor, TColor, FFrameColor)
KV_BUTTON_SETTER(TKvButton, ShowDownPattern, bool, FShowDownPattern)
KV_BUTTON_SETTER(TKvButton, ShowFocusRect, bool, FShowFocusRect)

#undef KV_BUTTON_SETTER

void TKvCustomButton::DrawCaptionText(TCanvas* C, TRect R, uint32_t Flags) {
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  C->Font()->Assign(*Font());
  TRect m = R;
  int32_t h = DrawText(C, Caption(), m, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_CENTER);
  switch (FAlignmentVertical) {
    case TAlignmentVertical::avTop: R.Bottom = R.Top + h; break;
    case TAlignmentVertical::avCenter:
      R.Top = (R.Top + R.Bottom - h) / 2;
      R.Bottom = R.Top + h;
      break;
    case TAlignmentVertical::avBottom: R.Top = R.Bottom - h - 1; break;
  }
  auto at = [&](int32_t dx, int32_t dy, TColor color) {
    TRect r = R;
    OffsetRect(r, dx, dy);
    KvDrawTextColored(C, Caption(), r, Flags, color);
  };
  if (Enabled()) {
    if (FTextStyle == TTextStyle::tsRaised || FTextStyle == TTextStyle::tsRecessed) {
      bool raised = FTextStyle == TTextStyle::tsRaised;
      TColor ul = raised ? FTextHighlightColor : FTextShadowColor;
      TColor lr = raised ? FTextShadowColor : FTextHighlightColor;
      if (!raised || !FLightTextStyle) at(1, 1, lr);
      if (raised || !FLightTextStyle) at(-1, -1, ul);
    } else if (FTextStyle == TTextStyle::tsShadow) {
      at((Flags & DT_RIGHT) ? 0 : FTextShadowDepth, FTextShadowDepth, FTextShadowColor);
    }
    if (Flags & DT_RIGHT) OffsetRect(R, -FTextShadowDepth, 0);
    at(0, 0, Font()->Color());
  } else {
    at(1, 1, clBtnHighlight);
    at(0, 0, clBtnShadow);
  }
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

void TKvCustomButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != TMouseButton::mbLeft || !Enabled()) return;
  if (CanFocus()) SetFocus();
  if (!Focused()) return;
  FPressShown = true;
  StateChanged();
  FTracking = true;
}

void TKvCustomButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!FTracking) return;
  bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
  if (inside == FPressShown) return;
  FPressShown = inside;
  StateChanged();
}

void TKvCustomButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FTracking) return;
  FTracking = false;
  FPressShown = false;
  if (PtInRect(ClientRect(), TPoint(X, Y))) ToggleState();
  StateChanged();
}

void TKvCustomButton::CMMouseEnter(TMessage& Message) {
  if (ComponentState().Contains(csDesigning)) return;
  FMouseOver = true;
  TCustomControl::CMMouseEnter(Message);
  if (OnMouseEnter) OnMouseEnter(this);
  if (FHotTrack || ThemedLook()) InvalidateRect(HotTrackArea(), false);
}

void TKvCustomButton::CMMouseLeave(TMessage& Message) {
  if (ComponentState().Contains(csDesigning)) return;
  FMouseOver = false;
  TCustomControl::CMMouseLeave(Message);
  if (OnMouseLeave) OnMouseLeave(this);
  if (FHotTrack || ThemedLook()) InvalidateRect(HotTrackArea(), false);
}

void TKvCustomButton::CMEnabledChanged(TMessage& Message) {
  // The windowed base hands the focus back to the form when the button is disabled.
  TCustomControl::CMEnabledChanged(Message);
  Invalidate();
}

void TKvCustomButton::CMTextChanged(TMessage& Message) {
  TCustomControl::CMTextChanged(Message);
  RepaintNow();
}

void TKvCustomButton::WMSetFocus(TMessage& Message) {
  TCustomControl::WMSetFocus(Message);
  RepaintNow();
}

void TKvCustomButton::WMKillFocus(TMessage& Message) {
  TCustomControl::WMKillFocus(Message);
  RepaintNow();
}

void TKvCustomButton::WMEraseBkgnd(TMessage& Message) {
  if (!FTransparent) {
    TCustomControl::WMEraseBkgnd(Message);
    return;
  }
  KvPaintParentBackground(this, reinterpret_cast<HDC>(Message.WParam), false);
  Message.Result = 1;
}

// ---- Push button ----------------------------------------------------------------------------------

TKvButton::TKvButton(TComponent* AOwner) : TKvCustomButton(AOwner) {
  SetBounds(0, 0, 75, 25);
  SetColor(clBtnFace);
}

void TKvButton::CreateWnd() {
  TKvCustomButton::CreateWnd();
  FActive = FDefault;
}

void TKvButton::SetHotTrack(bool v) {
  if (FHotTrack == v) return;
  TKvCustomButton::SetHotTrack(v);
  SetTransparent(v);
  Invalidate();
}

void TKvButton::SetDefault(bool v) {
  FDefault = v;
  TCustomForm* f = GetParentForm(this);
  if (f && HandleAllocated()) f->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<intptr_t>(f->ActiveControl()));
  else FActive = v;
  Invalidate();
}

void TKvButton::SetDown(bool v) {
  if (!InGroup()) v = false;
  if (v == FDown) return;
  if (!v && !FAllowAllUp) return;
  FDown = v;
  FLook = v ? 3 : 0;
  Invalidate();
  if (v) NotifyGroup();
}

void TKvButton::SetGroupIndex(int32_t v) {
  if (FGroupIndex == v) return;
  FGroupIndex = v;
  NotifyGroup();
}

void TKvButton::SetAllowAllUp(bool v) {
  if (FAllowAllUp == v) return;
  FAllowAllUp = v;
  NotifyGroup();
}

void TKvButton::NotifyGroup() {
  if (FGroupIndex == 0 || !Parent()) return;
  TMessage m;
  m.Msg = KV_BUTTON_GROUP_MSG;
  m.WParam = static_cast<uintptr_t>(FGroupIndex);
  m.LParam = reinterpret_cast<intptr_t>(static_cast<TControl*>(this));
  Parent()->Broadcast(m);
}

void TKvButton::Click() {
  if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(FModalResult);
  TKvCustomButton::Click();
}

void TKvButton::ToggleState() {
  if (InGroup()) SetDown(!FDown);
  else StateChanged();
  FClicking = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } clear{FClicking};
  Click();
}

void TKvButton::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_SPACE && !Shift.Contains(ssAlt)) {
    FKeyPress = true;
    FPressShown = true;
    StateChanged();
  }
  TKvCustomButton::KeyDown(Key, Shift);
}

void TKvButton::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_SPACE) {
    FPressShown = false;
    if (FKeyPress) ToggleState();
    StateChanged();
  }
  TKvCustomButton::KeyUp(Key, Shift);
}

void TKvButton::WMKillFocus(TMessage& Message) {
  TKvCustomButton::WMKillFocus(Message);
  FKeyPress = false;
  FPressShown = false;
  StateChanged();
}

void TKvButton::CMDialogKey(TMessage& Message) {
  bool enter = Message.WParam == VK_RETURN && FActive;
  bool escape = Message.WParam == VK_ESCAPE && FCancel;
  if ((enter || escape) && NoShiftKeys(Message.LParam) && CanFocus()) {
    Click();
    Message.Result = 1;
    return;
  }
  TKvCustomButton::CMDialogKey(Message);
}

void TKvButton::CMFocusChanged(TMessage& Message) {
  auto* focused = reinterpret_cast<TControl*>(Message.LParam);
  bool active = dynamic_cast<TKvButton*>(focused) ? focused == this : FDefault;
  if (active != FActive) {
    FActive = active;
    RepaintNow();
  }
  TKvCustomButton::CMFocusChanged(Message);
}

void TKvButton::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && CanFocus()) {
        Click();
        M.Result = 1;
        return;
      }
      break;
    case KV_BUTTON_GROUP_MSG: {
      auto* sender = dynamic_cast<TKvButton*>(reinterpret_cast<TControl*>(M.LParam));
      if (sender && sender != this && static_cast<int32_t>(M.WParam) == FGroupIndex) {
        if (sender->FDown && FDown) {
          FDown = false;
          FLook = 0;
          Invalidate();
        }
        FAllowAllUp = sender->FAllowAllUp;
      }
      return;
    }
  }
  TKvCustomButton::Dispatch(M);
}

TRect TKvButton::CaptionRect() {
  TRect r = ClientRect();
  InflateRect(r, -5, -5);
  bool classic = !ThemedLook() && !FHotTrack;
  if (classic && ((InGroup() && (StayDownLook() || FPressShown)) || (!InGroup() && FPressShown))) OffsetRect(r, 1, 1);
  return r;
}

void TKvButton::PaintCaption() {
  uint32_t flags = DT_WORDBREAK | DT_EXPANDTABS;
  if (FAlignment == taRightJustify) flags |= DT_RIGHT;
  else if (FAlignment == taCenter) flags |= DT_CENTER;
  DrawCaptionText(Canvas(), CaptionRect(), flags);
}

void TKvButton::MakeDownPattern(TBitmap* Bitmap) {
  Bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  Bitmap->SetWidth(8);
  Bitmap->SetHeight(8);
  TColor dots = ColorToRGB(Color()) == 0xC0C0C0 ? TColor(0x808080) : TColor(0xC0C0C0);
  TCanvas* c = Bitmap->Canvas();
  Fill(c, Rect(0, 0, 8, 8), Color());
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x)
      if ((x % 2) == (y % 2)) c->SetPixels(x, y, dots);
}

void TKvButton::Paint() {
  TCanvas* C = Canvas();
  TRect f = ClientRect();
  int32_t inset = FHotTrack ? 3 : 4;
  InflateRect(f, -inset, -inset);
  if (InGroup() && (StayDownLook() || FPressShown)) OffsetRect(f, 1, 1);
  TRect r = ClientRect();
  C->Pen()->SetWidth(1);
  C->Pen()->SetStyle(TPenStyle::psSolid);
  if (FHotTrack) {
    TColor dark = KvDarken(clBtnFace, 20), light = KvLighten(clBtnFace, 20);
    C->Pen()->SetColor(dark);
    KvLine(C, r.Left, r.Top + 2, r.Left, r.Bottom - 2);
    KvLine(C, r.Left + 2, r.Top, r.Right - 2, r.Top);
    C->Pen()->SetColor(light);
    KvLine(C, r.Right - 1, r.Top + 2, r.Right - 1, r.Bottom - 2);
    KvLine(C, r.Left + 2, r.Bottom - 1, r.Right - 2, r.Bottom - 1);
    C->SetPixels(r.Left + 1, r.Top + 1, dark);
    C->SetPixels(r.Right - 2, r.Top + 1, dark);
    C->SetPixels(r.Left + 1, r.Bottom - 2, dark);
    C->SetPixels(r.Right - 2, r.Bottom - 2, light);
    InflateRect(r, -1, -1);
    TColor frame = FFrameColor;
    if (!Enabled()) frame = Color() == clBtnFace ? KvLighten(clBtnShadow, 30) : KvDarken(Color(), 80);
    C->Pen()->SetColor(frame);
    KvLine(C, r.Left, r.Top + 1, r.Left, r.Bottom - 1);
    KvLine(C, r.Left + 1, r.Top, r.Right - 1, r.Top);
    KvLine(C, r.Right - 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
    KvLine(C, r.Left + 1, r.Bottom - 1, r.Right - 1, r.Bottom - 1);
    InflateRect(r, -1, -1);
    auto face = [&] {
      C->Pen()->SetColor(KvDarken(Color(), 20));
      KvLine(C, r.Left, r.Bottom - 2, r.Right, r.Bottom - 2);
      C->Pen()->SetColor(KvDarken(Color(), 30));
      KvLine(C, r.Left, r.Bottom - 1, r.Right, r.Bottom - 1);
      TRect g = r;
      g.Bottom -= 2;
      if (KvFullColorDisplay)
        KvDrawGradient(C, g, TGradientDirection::gdHorizontalEnd, KvLighten(Color(), 30), KvDarken(Color(), 10), 1);
      else
        Fill(C, g, Color());
    };
    if (!Enabled()) {
      Fill(C, r, Color());
    } else if (StayDownLook() || FPressShown) {
      Fill(C, r, KvDarken(Color(), 10));
    } else if (FMouseOver) {
      face();
      if (FHotTrackColorType == TKvHotTrackColorType::htctActual) {
        KvPaintGradientRing(C, r, TGradientDirection::gdHorizontalEnd, KvMixColors(0xFFFFFF, FHotTrackColor, 190),
                            FHotTrackColor);
      } else {
        TColor k = KvComplementColor(FHotTrackColor, 180);
        KvPaintGradientRing(C, r, TGradientDirection::gdHorizontalEnd, k, KvDarken(k, 30));
      }
    } else if (InGroup() || (!FActive && !Focused())) {
      face();
    } else {
      face();
      TColor back = KvLighten(Color(), 30);
      TColor fore = KvColorsTooSimilar(FHighlightColor, clBtnFace) ? KvDarken(FHighlightColor, 30) : FHighlightColor;
      KvPaintGradientRing(C, r, TGradientDirection::gdHorizontalEnd, KvMixColors(fore, back, 60),
                          KvMixColors(fore, back, 160));
    }
  } else {
    if ((!InGroup() && (FActive || Focused()) && !FPressShown) || FClicking)
      r = KvPaintSideLines(C, r, clWindowFrame, clWindowFrame, KvAllSides);
    bool sunk = StayDownLook() || FPressShown;
    if (Color() == clBtnFace) {
      if (!InGroup()) r = KvPaintButtonFrame(C, r, FPressShown);
      else r = KvPaintStyledFrame(C, r, sunk ? TFrameStyleEx::fsLowered : TFrameStyleEx::fsButtonUp);
    } else if (!InGroup()) {
      r = KvPaintColorButtonFrame(C, r, Color(), FPressShown);
    } else {
      r = sunk ? KvPaintColoredFrame(C, r, Color(), TFrameStyleEx::fsLowered) : KvPaintColorButtonFrame(C, r, Color(), false);
    }
  }
  if (InGroup() && StayDownLook() && FShowDownPattern) {
    TBitmap pattern;
    MakeDownPattern(&pattern);
    C->Brush()->SetBitmap(&pattern);
    C->FillRect(r);
    C->Brush()->SetBitmap(nullptr);
  }
  C->Font()->Assign(*Font());
  C->Brush()->SetColor(Color());
  PaintCaption();
  if (Focused() && FShowFocusRect) KvPaintDottedFocusFrame(C, f);
}

// ---- Published properties ---------------------------------------------------------------------------

void RegisterKvButtonsProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterIntegerProperty<TKvButton>("ModalResult", [](TKvButton* c, int64_t v) { c->SetModalResult(int32_t(v)); },
                                     [](const TKvButton* c) { return int64_t(c->ModalResult()); });
  RegisterIntegerProperty<TKvButton>("GroupIndex", [](TKvButton* c, int64_t v) { c->SetGroupIndex(int32_t(v)); },
                                     [](const TKvButton* c) { return int64_t(c->GroupIndex()); });
  RegisterIntegerProperty<TKvCustomButton>(
      "TextShadowDepth", [](TKvCustomButton* c, int64_t v) { c->SetTextShadowDepth(int32_t(v)); },
      [](const TKvCustomButton* c) { return int64_t(c->TextShadowDepth()); });
  for (const char* n : {"Default", "Cancel", "AllowAllUp", "Down", "Alignment", "ShowDownPattern", "ShowFocusRect",
                        "DropDownOnEnter"})
    RegisterOtherProperty<TKvButton>(n, TTypeKind::tkEnumeration);
  for (const char* n : {"AlignmentVertical", "HotTrack", "HotTrackColorType", "LightTextStyle", "TextStyle",
                        "ThemeAware"})
    RegisterOtherProperty<TKvCustomButton>(n, TTypeKind::tkEnumeration);
}
