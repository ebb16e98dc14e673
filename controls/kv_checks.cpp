#include "controls/kv_checks.h"

#include <algorithm>

#include "controls/kv_action_links.h"
#include "controls/kv_text.h"
#include "platform/base/strings.h"
#include "platform/ui/frame_controls.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

namespace {

// The colour key the drawn radio glyph leaves around its circle.
constexpr TColor kRadioKey = 32896;

std::unique_ptr<TBitmap> NewBitmap(int32_t W, int32_t H) {
  auto b = std::make_unique<TBitmap>(std::max(W, 1), std::max(H, 1), TPixelFormat::pf24bit);
  return b;
}

template <class T>
void ForEachSibling(TControl* Self, const std::function<void(T*)>& Fn) {
  if (!Self->Parent()) return;
  TWinControl* p = Self->Parent();
  for (int32_t i = 0; i < p->ControlCount(); ++i)
    if (auto* s = dynamic_cast<T*>(p->Controls(i)); s && s != Self) Fn(s);
}

}  // namespace

// ---- Glyph button base ------------------------------------------------------------------------------

TKvCustomGlyphButton::TKvCustomGlyphButton(TComponent* AOwner) : TKvCustomButton(AOwner) {
  RegisterKvChecksProperties();
  FAlignmentVertical = TAlignmentVertical::avTop;
  FBackground = NewBitmap(1, 1);
}

TKvCustomGlyphButton::~TKvCustomGlyphButton() = default;

#define KV_GLYPH_SETTER(Name, Type, Field) \
  void TKvCustomGlyphButton::Set##Name(Type v) { \
    if (Field == v) return;                  \
    Field = v;                               \
    Invalidate();                            \
  }

KV_GLYPH_SETTER(Alignment, TLeftRight, FAlignment)
KV_GLYPH_SETTER(FillColor, TColor, FFillColor)
KV_GLYPH_SETTER(FocusColor, TColor, FFocusColor)
KV_GLYPH_SETTER(FrameColor, TColor, FFrameColor)
KV_GLYPH_SETTER(DisabledColor, TColor, FDisabledColor)
KV_GLYPH_SETTER(ReadOnly, bool, FReadOnly)
KV_GLYPH_SETTER(ReadOnlyColor, TColor, FReadOnlyColor)
KV_GLYPH_SETTER(TransparentColor, TColor, FTransparentColor)
KV_GLYPH_SETTER(WinMaskColor, TColor, FWinMaskColor)
KV_GLYPH_SETTER(HotTrackStyle, TKvButtonHotTrackStyle, FHotTrackStyle)

#undef KV_GLYPH_SETTER

void TKvCustomGlyphButton::SetTransparent(bool v) {
  if (FTransparent == v) return;
  FRefreshBackground = true;
  TKvCustomButton::SetTransparent(v);
}

void TKvCustomGlyphButton::SetCustomGlyphs(const TBitmap* v) {
  if (!FCustomGlyphs) FCustomGlyphs = std::make_unique<TBitmap>();
  if (v) FCustomGlyphs->Assign(*v);
  else FCustomGlyphs = std::make_unique<TBitmap>();
  FRefreshBackground = true;
  bool has = !FCustomGlyphs->Empty();
  if (has != FUseCustomGlyphs) SetUseCustomGlyphs(has);
  Invalidate();
}

void TKvCustomGlyphButton::SetUseCustomGlyphs(bool v) {
  if (FUseCustomGlyphs == v) return;
  FUseCustomGlyphs = v;
  MeasureGlyph();
  Invalidate();
}

void TKvCustomGlyphButton::MeasureGlyph() {
  if (FUseCustomGlyphs && FCustomGlyphs && !FCustomGlyphs->Empty()) {
    FGlyphWidth = FCustomGlyphs->Width() / FGlyphStates;
    FGlyphHeight = FCustomGlyphs->Height();
  } else {
    FGlyphWidth = 13;
    FGlyphHeight = 13;
  }
}

TRect TKvCustomGlyphButton::GlyphRect() const {
  // No right-to-left reading here: the glyph goes right exactly when the caption is left of it.
  int32_t x = FAlignment == taLeftJustify ? Width() - FGlyphWidth : 0;
  int32_t y = 2;
  if (FAlignmentVertical == TAlignmentVertical::avCenter) y = (Height() - FGlyphHeight) / 2;
  else if (FAlignmentVertical == TAlignmentVertical::avBottom) y = Height() - FGlyphHeight - 2;
  return Rect(x, y, x + FGlyphWidth, y + FGlyphHeight);
}

void TKvCustomGlyphButton::HotColors(TColor& Dark, TColor& Light) const {
  if (FHotTrackColorType == TKvHotTrackColorType::htctActual) {
    Dark = FHotTrackColor;
    Light = KvMixColors(clWhite, FHotTrackColor, 190);
  } else {
    Light = KvComplementColor(FHotTrackColor, 180);
    Dark = KvDarken(Light, 30);
  }
}

uint8_t TKvCustomGlyphButton::PrepareDrawnGlyph(TBitmap* Bitmap, TColor& Dark, TColor& Light) const {
  Dark = clBtnShadow;
  Light = clBtnHighlight;
  uint8_t state = DrawState();
  // Without the flat look the glyph keeps its plain frame and never lights up.
  if (FHotTrack) HotColors(Dark, Light);
  else if (state == kvdsHot) state = kvdsNormal;
  Bitmap->Canvas()->Brush()->SetColor(FTransparentColor);
  Bitmap->Canvas()->FillRect(Rect(0, 0, Bitmap->Width(), Bitmap->Height()));
  return state;
}

uint8_t TKvCustomGlyphButton::DrawState() const {
  if (!Enabled()) return kvdsDisabled;
  if (FPressShown) return kvdsPressed;
  if (FMouseOver) return kvdsHot;
  return kvdsNormal;
}

void TKvCustomGlyphButton::ExtractCustomGlyph(int32_t Index, TBitmap* Target, int32_t Height, int32_t Width,
                                             TBitmap* Strip) {
  Target->SetPixelFormat(TPixelFormat::pf24bit);
  Target->SetWidth(Width);
  Target->SetHeight(Height);
  Target->Canvas()->CopyRect(Rect(0, 0, Width, Height), Strip->Canvas(),
                             Rect(Index * Width, 0, (Index + 1) * Width, Height));
}

void TKvCustomGlyphButton::DrawGlyph(TCanvas* C) {
  TRect gr = GlyphRect();
  int32_t w = FGlyphWidth, h = FGlyphHeight;
  auto g = NewBitmap(w, h);
  RenderGlyph(g.get());
  auto b = NewBitmap(w, h);
  if (FTransparent) {
    b->Canvas()->CopyRect(Rect(0, 0, w, h), C, gr);
    KvBlitTransparent(b->Canvas(), g.get(), Rect(0, 0, w, h), Rect(0, 0, w, h), FTransparentColor);
  } else {
    b->Canvas()->Brush()->SetColor(Color());
    b->Canvas()->BrushCopy(Rect(0, 0, w, h), g.get(), Rect(0, 0, w, h), FTransparentColor);
  }
  auto out = NewBitmap(w, h);
  if (FUseCustomGlyphs) {
    out->Canvas()->Brush()->SetColor(clWindow);
    out->Canvas()->BrushCopy(Rect(0, 0, w, h), b.get(), Rect(0, 0, w, h), FWinMaskColor);
  } else {
    out->Canvas()->CopyRect(Rect(0, 0, w, h), b->Canvas(), Rect(0, 0, w, h));
  }
  if (FTransparent) SmoothGlyphEdges(out.get());
  C->Draw(gr.Left, gr.Top, out.get());
}

void TKvCustomGlyphButton::Paint() {
  TCanvas* screen = Canvas();
  int32_t w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  if (FRefreshBackground || FBackground->Width() != w || FBackground->Height() != h) {
    FBackground->SetWidth(w);
    FBackground->SetHeight(h);
    if (FTransparent) {
      FBackground->Canvas()->CopyRect(Rect(0, 0, w, h), screen, Rect(0, 0, w, h));
    } else {
      FBackground->Canvas()->Brush()->SetColor(Color());
      FBackground->Canvas()->FillRect(Rect(0, 0, w, h));
    }
    FRefreshBackground = false;
  }
  auto bmp = NewBitmap(w, h);
  TCanvas* c = bmp->Canvas();
  c->Font()->Assign(*Font());
  c->Brush()->SetColor(Color());
  c->Draw(0, 0, FBackground.get());
  DrawGlyph(c);
  TRect tr = ClientRect();
  InflateRect(tr, -1, -1);
  bool glyphRight = FAlignment == taLeftJustify;
  if (glyphRight) tr.Right -= FGlyphWidth + 4;
  else tr.Left += FGlyphWidth + 4;
  DrawCaptionText(c, tr, DT_WORDBREAK | DT_EXPANDTABS);
  if (Focused() && !Caption().empty()) {
    InflateRect(tr, 1, 1);
    c->Font()->Assign(*Font());
    tr.Right = tr.Left + std::min(tr.Width(), c->TextWidth(Trim(Caption())) + 3);
    KvPaintDottedFocusFrame(c, tr);
  }
  screen->Draw(0, 0, bmp.get());
}

void TKvCustomGlyphButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  FMouseOperating = true;
  TKvCustomButton::MouseDown(Button, Shift, X, Y);
}

void TKvCustomGlyphButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TKvCustomButton::MouseUp(Button, Shift, X, Y);
  FMouseOperating = false;
}

void TKvCustomGlyphButton::KeyPress(std::string& Key) {
  if (FTabOnEnter && Key == "\r") {
    Key.clear();
    if (TCustomForm* f = GetParentForm(this)) f->SelectNext(this, true, true);
    return;
  }
  TKvCustomButton::KeyPress(Key);
}

void TKvCustomGlyphButton::WMEraseBkgnd(TMessage& Message) {
  TKvCustomButton::WMEraseBkgnd(Message);
  FRefreshBackground = true;
}

void TKvCustomGlyphButton::WMSize(TMessage& Message) {
  TKvCustomButton::WMSize(Message);
  FRefreshBackground = true;
}

void TKvCustomGlyphButton::CMEnabledChanged(TMessage& Message) {
  TKvCustomButton::CMEnabledChanged(Message);
  FRefreshBackground = true;
  Repaint();
}

void TKvCustomGlyphButton::CMParentColorChanged(TMessage& Message) {
  TKvCustomButton::CMParentColorChanged(Message);
  FRefreshBackground = true;
  Repaint();
}

// ---- Radio button -----------------------------------------------------------------------------------

TKvRadioButton::TKvRadioButton(TComponent* AOwner) : TKvCustomGlyphButton(AOwner) {
  FGlyphStates = 6;
  SetTabStop(false);
}

void TKvRadioButton::SetChecked(bool v) {
  if (FChecked == v) return;
  FChecked = v;
  SetTabStop(v);
  RepaintNow();
  if (!v) return;
  ForEachSibling<TKvRadioButton>(this, [](TKvRadioButton* s) { s->SetChecked(false); });
  if (!FSuppressClicks) Click();
}

void TKvRadioButton::SetReadOnly(bool v) {
  if (FReadOnly == v) return;
  FReadOnly = v;
  RepaintNow();
  ForEachSibling<TKvRadioButton>(this, [v](TKvRadioButton* s) { s->SetReadOnly(v); });
}

void TKvRadioButton::ToggleState() {
  if (!FChecked && !FReadOnly) SetChecked(true);
}

void TKvRadioButton::WMSetFocus(TMessage& Message) {
  TKvCustomGlyphButton::WMSetFocus(Message);
  // Tabbing or an arrow key into a group selects; a click checks on release instead.
  if (!FMouseOperating && !FReadOnly) SetChecked(true);
}

void TKvRadioButton::CMDialogKey(TMessage& Message) {
  if (Message.WParam == VK_DOWN && !KeyDataToShiftState(Message.LParam).Contains(ssShift) &&
      !KeyDataToShiftState(Message.LParam).Contains(ssCtrl) && !KeyDataToShiftState(Message.LParam).Contains(ssAlt) &&
      CanFocus()) {
    if (!FSuppressClicks) Click();
    Message.Result = 1;
    return;
  }
  TKvCustomGlyphButton::CMDialogKey(Message);
}

void TKvRadioButton::Dispatch(TMessage& M) {
  if (M.Msg == CM_DIALOGCHAR && IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && CanFocus()) {
    SetFocus();
    M.Result = 1;
    return;
  }
  TKvCustomGlyphButton::Dispatch(M);
}

void TKvRadioButton::RenderGlyph(TBitmap* Bitmap) {
  if (FUseCustomGlyphs && FCustomGlyphs && !FCustomGlyphs->Empty()) {
    int32_t index = !Enabled() ? 4 : FPressShown ? 2 : 0;
    ExtractCustomGlyph(index + (FChecked ? 1 : 0), Bitmap, FGlyphHeight, FGlyphWidth, FCustomGlyphs.get());
    return;
  }
  TColor dark, light;
  uint8_t state = PrepareDrawnGlyph(Bitmap, dark, light);
  if (!FHotTrack) {
    uint32_t st = DFCS_BUTTONRADIO | DFCS_TRANSPARENT | (FChecked ? DFCS_CHECKED : 0);
    if (state == kvdsPressed) st |= DFCS_PUSHED;
    if (state == kvdsDisabled) st |= DFCS_INACTIVE;
    DrawFrameControl(Bitmap->Canvas(), Rect(0, 0, FGlyphWidth, FGlyphHeight), DFC_BUTTON, st);
    return;
  }
  KvPaintRadioGlyph(Bitmap->Canvas(), Rect(0, 0, 13, 13), FChecked, state, Focused(), FHotTrackStyle, FFrameColor,
                    FHighlightColor, FFillColor, FFocusColor, FDisabledColor, light, dark,
                    Color(), FTransparent, kRadioKey, FReadOnly, FReadOnlyColorOnFocus, FReadOnlyColor);
}

void TKvRadioButton::SmoothGlyphEdges(TBitmap* Bitmap) {
  static const TPoint heavy[] = {{4, 0}, {8, 0}, {2, 1}, {10, 1}, {1, 2}, {11, 2}, {0, 4}, {12, 4},
                                 {0, 8}, {12, 8}, {1, 10}, {11, 10}, {2, 11}, {10, 11}, {4, 12}, {8, 12}};
  static const TPoint light[] = {{3, 0}, {9, 0}, {0, 3}, {12, 3}, {0, 9}, {12, 9}, {3, 12}, {9, 12}};
  TCanvas* c = Bitmap->Canvas();
  for (const TPoint& p : heavy) c->SetPixels(p.X, p.Y, KvMixColors(FFrameColor, c->Pixels(p.X, p.Y), 128));
  for (const TPoint& p : light) c->SetPixels(p.X, p.Y, KvMixColors(FFrameColor, c->Pixels(p.X, p.Y), 40));
}

// ---- Check box --------------------------------------------------------------------------------------

TKvCustomCheckBox::TKvCustomCheckBox(TComponent* AOwner) : TKvCustomGlyphButton(AOwner) { FGlyphStates = 9; }

void TKvCustomCheckBox::SetChecked(bool v) { SetState(v ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }

void TKvCustomCheckBox::SetState(TCheckBoxState v) {
  if (FState == v) return;
  FState = v;
  RepaintNow();
  if (!FSuppressClicks) Click();
}

void TKvCustomCheckBox::ToggleState() {
  if (FMouseOperating && FReadOnly) return;
  switch (FState) {
    case TCheckBoxState::cbUnchecked:
      SetState(FAllowGrayed ? TCheckBoxState::cbGrayed : TCheckBoxState::cbChecked);
      break;
    case TCheckBoxState::cbChecked: SetState(TCheckBoxState::cbUnchecked); break;
    case TCheckBoxState::cbGrayed: SetState(TCheckBoxState::cbChecked); break;
  }
}

void TKvCustomCheckBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (!FReadOnly && (Key == VK_SPACE || Key == VK_ESCAPE)) {
    FKeyToggle = Key == VK_SPACE;
    FPressShown = Key == VK_SPACE;
    RepaintNow();
  }
  TKvCustomGlyphButton::KeyDown(Key, Shift);
}

void TKvCustomCheckBox::KeyUp(uint16_t& Key, TShiftState Shift) {
  if (!FReadOnly && Key == VK_SPACE) {
    FPressShown = false;
    if (FKeyToggle) {
      FKeyToggle = false;
      ToggleState();
    }
    RepaintNow();
  }
  TKvCustomGlyphButton::KeyUp(Key, Shift);
}

void TKvCustomCheckBox::DoExit() {
  FPressShown = false;
  TKvCustomGlyphButton::DoExit();
}

void TKvCustomCheckBox::Dispatch(TMessage& M) {
  if (M.Msg == CM_DIALOGCHAR && IsAccel(static_cast<uint32_t>(M.WParam), Caption()) && CanFocus()) {
    SetFocus();
    if (Focused()) {
      ToggleState();
      RepaintNow();
    }
    M.Result = 1;
    return;
  }
  TKvCustomGlyphButton::Dispatch(M);
}

void TKvCustomCheckBox::RenderGlyph(TBitmap* Bitmap) {
  int32_t row = static_cast<int32_t>(FState);
  if (FUseCustomGlyphs && FCustomGlyphs && !FCustomGlyphs->Empty()) {
    int32_t index = row + (!Enabled() ? 6 : FPressShown ? 3 : 0);
    ExtractCustomGlyph(index, Bitmap, FGlyphHeight, FGlyphWidth, FCustomGlyphs.get());
    return;
  }
  TColor dark, light;
  uint8_t state = PrepareDrawnGlyph(Bitmap, dark, light);
  if (!FHotTrack) {
    uint32_t st = FState == cbGrayed ? DFCS_BUTTON3STATE | DFCS_CHECKED : FState == cbChecked ? DFCS_CHECKED : 0;
    if (state == kvdsPressed) st |= DFCS_PUSHED;
    if (state == kvdsDisabled) st |= DFCS_INACTIVE;
    DrawFrameControl(Bitmap->Canvas(), Rect(0, 0, FGlyphWidth, FGlyphHeight), DFC_BUTTON, DFCS_BUTTONCHECK | st);
    return;
  }
  KvPaintCheckGlyph(Bitmap->Canvas(), Rect(0, 0, 13, 13), FState, state, Focused(), FHotTrackStyle, FFrameColor,
                    FHighlightColor, FFillColor, FFocusColor, FDisabledColor, light, dark,
                    FReadOnly, FReadOnlyColorOnFocus, FReadOnlyColor);
}

// ---- Published properties ---------------------------------------------------------------------------

void RegisterKvChecksProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  KvRegisterFrameLinkProperty<TKvCustomGlyphButton>();
  for (const char* n : {"Checked", "Alignment", "UseCustomGlyphs", "ReadOnly", "ReadOnlyColorOnFocus", "TabOnEnter",
                        "HotTrack", "HotTrackStyle", "TextStyle"})
    RegisterOtherProperty<TKvCustomGlyphButton>(n, TTypeKind::tkEnumeration);
  KvRegisterTransparentProperty<TKvCustomGlyphButton>();
  // Older forms called HotTrack "Flat".
  KvRegisterObsoleteProperty<TKvCustomGlyphButton>(
      "Flat", [](TKvCustomGlyphButton* c, const std::string& v) { c->SetHotTrack(KvTextIsTrue(v)); });
  RegisterOtherProperty<TKvCustomGlyphButton>("CustomGlyphs", TTypeKind::tkClass);
  RegisterOtherProperty<TKvCustomCheckBox>("State", TTypeKind::tkEnumeration);
  RegisterOtherProperty<TKvCustomCheckBox>("AllowGrayed", TTypeKind::tkEnumeration);
}

// ---- Frame controller -------------------------------------------------------------------------------

void TKvCustomGlyphButton::Notification(TComponent* AComponent, TOperation Operation) {
  TKvCustomButton::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove) FFrameLink.Removed(AComponent);
}

void TKvCustomGlyphButton::ApplyFrameController() {
  using P = TKvFrameControllerProperty;
  TKvFrameController* c = FFrameLink.Controller();
  if (!c || !c->FrameVisible()) return;
  FHotTrack = true;
  if (FFrameLink.Takes(P::fcpColor)) FFillColor = c->Color();
  if (FFrameLink.Takes(P::fcpFrameColor)) FFrameColor = c->FrameColor();
  if (FFrameLink.Takes(P::fcpFocusColor)) FFocusColor = c->FocusColor();
  if (FFrameLink.Takes(P::fcpDisabledColor)) FDisabledColor = c->DisabledColor();
  if (FFrameLink.Takes(P::fcpReadOnlyColor)) FReadOnlyColor = c->ReadOnlyColor();
  if (FFrameLink.Takes(P::fcpReadOnlyColorOnFocus)) FReadOnlyColorOnFocus = c->ReadOnlyColorOnFocus();
  if (FFrameLink.Takes(P::fcpFrameHotTrack))
    FHotTrackStyle = c->FrameHotTrack() ? TKvButtonHotTrackStyle::htsFrame : TKvButtonHotTrackStyle::htsInterior;
  if (FFrameLink.Takes(P::fcpFrameHotColor) && FHotTrackStyle == TKvButtonHotTrackStyle::htsFrame)
    FHotTrackColor = c->FrameHotColor();
  Invalidate();
}

std::unique_ptr<TControlActionLink> TKvCustomGlyphButton::CreateActionLink() {
  return std::make_unique<TKvCheckedActionLink>(this);
}

void TKvCustomGlyphButton::ActionChange(TObject* Sender, bool CheckDefaults) {
  TKvCustomButton::ActionChange(Sender, CheckDefaults);
  auto* a = dynamic_cast<TCustomAction*>(Sender);
  if (!a) return;
  if (CheckDefaults && Checked()) return;
  // A change that comes from the action must not run the action again.
  bool was = FSuppressClicks;
  FSuppressClicks = true;
  struct TRestore {
    bool& Flag;
    bool Was;
    ~TRestore() { Flag = Was; }
  } restore{FSuppressClicks, was};
  SetChecked(a->Checked());
}
