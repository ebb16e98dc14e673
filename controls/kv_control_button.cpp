#include "controls/kv_control_button.h"

#include <algorithm>

#include "controls/kv_blits.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/ui/themes.h"

TKvControlButton::TKvControlButton(TComponent* AOwner)
    : TGraphicControl(AOwner), FGlyph(std::make_unique<TBitmap>()) {
  RegisterKvControlButtonProperties();
  SetControlStyle(TControlStyle{csCaptureMouse});
  SetBounds(Left(), Top(), 17, 21);
  SetParentColor(false);
  SetColor(clBtnFace);
  FGlyph->OnChange = [this](TGraphic*) { GlyphChanged(); };
}

TKvControlButton::~TKvControlButton() = default;

void TKvControlButton::SetFlat(bool Value) {
  if (FFlat == Value) return;
  FFlat = Value;
  Repaint();
}

void TKvControlButton::SetGlyph(const TBitmap* Value) {
  if (Value)
    FGlyph->Assign(*Value);
  else
    FGlyph->Assign(TBitmap());
}

void TKvControlButton::GlyphChanged() {
  int32_t w = FGlyph->Width(), h = FGlyph->Height();
  if (h != 0 && w % h == 0) {
    int32_t q = w / h;
    // A strip of no width still counts one cell, so that a cell's width never divides by zero.
    FNumGlyphs = q >= 5 || q < 1 ? 1 : q;
  }
  Invalidate();
}

void TKvControlButton::SetNumGlyphs(TNumGlyphs Value) {
  Value = std::clamp(Value, 1, 4);
  if (FNumGlyphs == Value) return;
  FNumGlyphs = Value;
  Invalidate();
}

void TKvControlButton::SetStyle(TKvControlButtonStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Invalidate();
}

TPoint TKvControlButton::GlyphSize() const { return TPoint(FGlyph->Width() / std::max(1, FNumGlyphs), FGlyph->Height()); }

bool TKvControlButton::Active() const {
  return FPressed || (FMouseOver && Enabled()) || ComponentState().Contains(csDesigning);
}

void TKvControlButton::Paint() {
  TRect r = ClientRect();
  switch (FStyle) {
    case cbsNone: {
      PaintFace(r);
      if (FGlyph->Empty()) return;
      InflateRect(r, -1, -1);
      TPoint g = GlyphSize();
      TRect gr = KvCenteredRect(r, g.X, g.Y);
      if (FPressed) OffsetRect(gr, 1, ThemesEnabled() ? 0 : 1);
      PaintGlyph(gr);
      break;
    }
    case cbsDropDown: PaintDropDownButton(r); break;
    default: PaintArrowButton(r); break;
  }
}

void TKvControlButton::PaintFace(TRect& R) {
  TCanvas* c = Canvas();
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  if (FFlat) {
    if (Active()) R = KvPaintStyledFrame(c, R, FPressed ? fsStatus : fsPopup);
    c->Brush()->SetColor(Color());
  } else {
    R = FPressed ? KvPaintRectOutline(c, R, clBtnShadow) : KvPaintStyledFrame(c, R, fsRaised);
    c->Brush()->SetColor(clBtnFace);
  }
  c->FillRect(R);
}

namespace {
uint8_t ArrowDirection(TKvControlButtonStyle S) {
  switch (S) {
    case cbsUp: return 0;
    case cbsDown: return 1;
    case cbsLeft: return 2;
    default: return 3;
  }
}
}  // namespace

// The frame of an arrow or drop-down face, then its fill; R becomes the rectangle inside.
void TKvControlButton::PaintArrowFace(TRect& R, TColor Fill) {
  TCanvas* c = Canvas();
  if (!FFlat)
    R = FPressed ? KvPaintRectOutline(c, R, clBtnShadow) : KvPaintStyledFrame(c, R, fsButtonUp);
  else if (Active())
    R = KvPaintStyledFrame(c, R, FPressed ? fsStatus : fsPopup);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(Fill);
  c->FillRect(R);
}

void TKvControlButton::PaintArrowButton(TRect& R) {
  PaintArrowFace(R, Color());
  KvPaintArrowGlyph(Canvas(), R, 0, ArrowDirection(FStyle), FPressed, Enabled());
}

void TKvControlButton::PaintDropDownButton(TRect& R) {
  PaintArrowFace(R, FFlat ? Color() : clBtnFace);
  KvPaintDropDownArrow(Canvas(), R, 0, FPressed, Enabled());
}

void TKvControlButton::PaintGlyph(const TRect& R) {
  int32_t w = R.Width(), h = R.Height();
  if (w <= 0 || h <= 0) return;
  TRect cell(0, 0, w, h);
  if (FNumGlyphs >= 2 && !Enabled()) cell = TRect(w, 0, 2 * w, h);
  // Never read past the strip, whatever its cells claim.
  cell.Right = std::min(cell.Right, FGlyph->Width());
  cell.Bottom = std::min(cell.Bottom, FGlyph->Height());
  if (cell.Width() <= 0 || cell.Height() <= 0) return;
  TBitmap off(w, h, TPixelFormat::pf32bit);
  BitBlt(off.Canvas(), 0, 0, w, h, Canvas(), R.Left, R.Top, SRCCOPY);
  KvBlitTransparent(off.Canvas(), FGlyph.get(), TRect(0, 0, cell.Width(), cell.Height()), cell,
                    FGlyph->TransparentColor());
  Canvas()->Draw(R.Left, R.Top, &off);
}

void TKvControlButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  FPressAbandoned = false;
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (FPressAbandoned) {
    FPressAbandoned = false;
    return;
  }
  if (Button == TMouseButton::mbLeft && Enabled()) {
    if (!FPressed) {
      FPressed = true;
      Invalidate();
    }
    FTracking = true;
  }
  if (FRepeatClicks) {
    if (!FRepeatTimer) {
      FRepeatTimer = std::make_unique<TTimer>(nullptr);
      FRepeatTimer->SetEnabled(false);
      FRepeatTimer->SetOnTimer([this](TObject*) { RepeatTimerFired(); });
    }
    FRepeatTimer->SetInterval(FInitialDelay);
    FRepeatTimer->SetEnabled(true);
  }
}

void TKvControlButton::RepeatTimerFired() {
  FRepeatTimer->SetInterval(FDelay);
  if (FPressed && MouseCapture()) {
    try {
      Click();
    } catch (...) {
      FRepeatTimer->SetEnabled(false);
      throw;
    }
  }
}

void TKvControlButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (FTracking) {
    FTracking = false;
    bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
    FPressed = false;
    FMouseOver = false;
    Repaint();
    if (inside) Click();
    SyncHover();
  }
  if (FRepeatTimer) FRepeatTimer->SetEnabled(false);
}

void TKvControlButton::SyncHover() {
  if (!(FFlat || ThemesEnabled()) || !Enabled() || !Parent()) return;
  TControl* under = Parent()->ControlAtPos(Parent()->ScreenToClient(GetCursorPos()), true);
  Perform(under == this ? CM_MOUSEENTER : CM_MOUSELEAVE, 0, 0);
}

void TKvControlButton::CMMouseEnter(TMessage& M) {
  if (ComponentState().Contains(csDesigning)) return;
  FMouseOver = true;
  TGraphicControl::CMMouseEnter(M);
  if (OnMouseEnter) OnMouseEnter(this);
  if (FFlat || ThemesEnabled()) Repaint();
}

void TKvControlButton::CMMouseLeave(TMessage& M) {
  FMouseOver = false;
  TGraphicControl::CMMouseLeave(M);
  if (OnMouseLeave) OnMouseLeave(this);
  if (FFlat || ThemesEnabled()) Repaint();
}

void RegisterKvControlButtonProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  KvRegisterOrdProperty<TKvControlButton>(
      "Flat", TTypeKind::tkEnumeration, [](TKvControlButton* c, int64_t v) { c->SetFlat(v != 0); },
      [](const TKvControlButton* c) { return int64_t(c->Flat()); });
  KvRegisterOrdProperty<TKvControlButton>(
      "NumGlyphs", TTypeKind::tkInteger, [](TKvControlButton* c, int64_t v) { c->SetNumGlyphs(int32_t(v)); },
      [](const TKvControlButton* c) { return int64_t(c->NumGlyphs()); });
  KvRegisterOrdProperty<TKvControlButton>(
      "RepeatClicks", TTypeKind::tkEnumeration, [](TKvControlButton* c, int64_t v) { c->SetRepeatClicks(v != 0); },
      [](const TKvControlButton* c) { return int64_t(c->RepeatClicks()); });
  KvRegisterOrdProperty<TKvControlButton>(
      "InitialDelay", TTypeKind::tkInteger, [](TKvControlButton* c, int64_t v) { c->SetInitialDelay(uint16_t(v)); },
      [](const TKvControlButton* c) { return int64_t(c->InitialDelay()); });
  KvRegisterOrdProperty<TKvControlButton>(
      "Delay", TTypeKind::tkInteger, [](TKvControlButton* c, int64_t v) { c->SetDelay(uint16_t(v)); },
      [](const TKvControlButton* c) { return int64_t(c->Delay()); });
  KvRegisterOrdProperty<TKvControlButton>(
      "Style", TTypeKind::tkEnumeration,
      [](TKvControlButton* c, int64_t v) { c->SetStyle(static_cast<TKvControlButtonStyle>(std::clamp<int64_t>(v, 0, 5))); },
      [](const TKvControlButton* c) { return int64_t(c->Style()); });
}
