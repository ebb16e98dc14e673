#include "controls/kv_status.h"

#include <algorithm>

#include "controls/kv_text.h"
#include "platform/ui/actions.h"
#include "platform/base/numeric.h"
#include "platform/ui/published.h"

namespace {

// The flat frame of panes and of the simple status: four lines that leave the corner pixels out.
void CornerlessOutline(TCanvas* C, const TRect& R, TColor Color) {
  C->Pen()->SetColor(Color);
  KvLine(C, R.Left, R.Top + 1, R.Left, R.Bottom - 1);
  KvLine(C, R.Left + 1, R.Top, R.Right - 1, R.Top);
  KvLine(C, R.Right - 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
  KvLine(C, R.Left + 1, R.Bottom - 1, R.Right - 1, R.Bottom - 1);
}

}  // namespace

// ---- Separator --------------------------------------------------------------------------------------

TKvSeparator::TKvSeparator(TComponent* AOwner) : TGraphicControl(AOwner) {
  RegisterKvStatusProperties();
  SetBounds(0, 0, 200, 2);
  SetColor(clBtnFace);
  ComputeGradient();
}

void TKvSeparator::ComputeGradient() {
  bool horizontal = FOrientation == TOrientation::orHorizontal;
  switch (FHighlightLocation) {
    case TKvHighlightLocation::hlCenter:
      FDirection = horizontal ? TGradientDirection::gdVerticalCenter : TGradientDirection::gdHorizontalCenter;
      FFirst = Color();
      FSecond = FHighlightColor;
      break;
    case TKvHighlightLocation::hlUpperLeft:
      FDirection = horizontal ? TGradientDirection::gdVerticalEnd : TGradientDirection::gdHorizontalEnd;
      FFirst = FHighlightColor;
      FSecond = Color();
      break;
    case TKvHighlightLocation::hlLowerRight:
      FDirection = horizontal ? TGradientDirection::gdVerticalEnd : TGradientDirection::gdHorizontalEnd;
      FFirst = Color();
      FSecond = FHighlightColor;
      break;
  }
}

void TKvSeparator::SetHighlightColor(TColor v) {
  if (FHighlightColor == v) return;
  FHighlightColor = v;
  ComputeGradient();
  Invalidate();
}

void TKvSeparator::SetHighlightLocation(TKvHighlightLocation v) {
  if (FHighlightLocation == v) return;
  FHighlightLocation = v;
  ComputeGradient();
  Invalidate();
}

void TKvSeparator::SetOrientation(TOrientation v) {
  if (FOrientation == v) return;
  FOrientation = v;
  if (!ComponentState().Contains(csLoading)) SetBounds(Left(), Top(), Height(), Width());
  ComputeGradient();
  Invalidate();
}

void TKvSeparator::SetShowGradient(bool v) {
  if (FShowGradient == v) return;
  FShowGradient = v;
  Invalidate();
}

void TKvSeparator::Loaded() {
  TGraphicControl::Loaded();
  ComputeGradient();
}

void TKvSeparator::CMColorChanged(TMessage& Message) {
  TGraphicControl::CMColorChanged(Message);
  ComputeGradient();
  Invalidate();
}

void TKvSeparator::Paint() {
  TCanvas* C = Canvas();
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  if (!FShowGradient || !KvFullColorDisplay) {
    C->Brush()->SetColor(FShowGradient ? FSecond : Color());
    C->FillRect(ClientRect());
    return;
  }
  if (Width() <= 0) SetWidth(1);
  if (Height() <= 0) SetHeight(1);
  TBitmap b(Width(), Height(), TPixelFormat::pf24bit);
  KvDrawGradient(b.Canvas(), Rect(0, 0, Width(), Height()), FDirection, FFirst, FSecond, 1);
  C->Draw(0, 0, &b);
}

// ---- Status pane ------------------------------------------------------------------------------------

TKvCustomStatusPane::TKvCustomStatusPane(TComponent* AOwner) : TGraphicControl(AOwner) {
  RegisterKvStatusProperties();
  FControlStyle.Exclude(csOpaque);
  SetBounds(0, 0, 100, 20);
  SetParentColor(true);
  FFillColor = Color();
  FBlink.Take(Font()->Color());
}

TKvCustomStatusPane::~TKvCustomStatusPane() {
}

TKvStatusBar* TKvCustomStatusPane::ParentBar() const { return dynamic_cast<TKvStatusBar*>(Parent()); }

#define KV_PANE_SETTER(Name, Type, Field, After) \
  void TKvCustomStatusPane::Set##Name(Type v) {  \
    if (Field == v) return;                      \
    Field = v;                                   \
    After;                                       \
  }

KV_PANE_SETTER(Alignment, TAlignment, FAlignment, Invalidate())
KV_PANE_SETTER(BorderWidth, int32_t, FBorderWidth, Invalidate())
KV_PANE_SETTER(FlatColor, TColor, FFlatColor, Invalidate())
KV_PANE_SETTER(FlatColorAdjustment, int32_t, FFlatColorAdjustment, Invalidate())
KV_PANE_SETTER(FrameStyle, TFrameStyle, FFrameStyle, Invalidate())
KV_PANE_SETTER(CaptionOffset, int32_t, FCaptionOffset, Invalidate(); AdjustPaneWidth())
KV_PANE_SETTER(DefaultWidth, int32_t, FDefaultWidth, AdjustPaneWidth())

#undef KV_PANE_SETTER

void TKvCustomStatusPane::SetAutoSize(bool Value) {
  if (AutoSize() == Value) return;
  TGraphicControl::SetAutoSize(Value);
  AdjustPaneWidth();
}

void TKvCustomStatusPane::SetTransparent(bool v) {
  if (FTransparent == v) return;
  FTransparent = v;
  if (v) FControlStyle.Exclude(csOpaque);
  else FControlStyle.Include(csOpaque);
  Invalidate();
}

void TKvCustomStatusPane::SetFillColor(TColor v) {
  FParentFillColor = false;
  if (FFillColor == v) return;
  FFillColor = v;
  Invalidate();
}

void TKvCustomStatusPane::SetParentFillColor(bool v) {
  if (FParentFillColor == v) return;
  FParentFillColor = v;
  if (Parent() && !ComponentState().Contains(csReading)) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

uint16_t TKvCustomStatusPane::BlinkIntervalOff() const { return FBlink.IntervalOff(); }
uint16_t TKvCustomStatusPane::BlinkIntervalOn() const { return FBlink.IntervalOn(); }
void TKvCustomStatusPane::SetBlinkIntervalOff(uint16_t v) { FBlink.SetIntervalOff(v); }
void TKvCustomStatusPane::SetBlinkIntervalOn(uint16_t v) { FBlink.SetIntervalOn(v); }

void TKvCustomStatusPane::SetBlinking(bool v) {
  if (FBlink.SetBlinking(v)) Repaint();
}

void TKvCustomStatusPane::SetBlinkColor(TColor v) {
  if (FBlink.BlinkColor() == v) return;
  FBlink.SetBlinkColor(v);
  Invalidate();
}

void TKvCustomStatusPane::ShowBlinkState(bool On) {
  FBlink.Show(On);
  Repaint();
}

int32_t TKvCustomStatusPane::TextWidthNeeded() {
  if (Caption().empty()) return FDefaultWidth;
  // The whole caption is measured: long file names must show whole.
  TRect r = ClientRect();
  KvCalcTextRect(*Font(), Caption(), r, DT_EXPANDTABS | DT_NOPREFIX);
  return 2 * FBorderWidth + r.Width() + FCaptionOffset + 6;
}

void TKvCustomStatusPane::AdjustPaneWidth() {
  if (ComponentState().Contains(csReading) || ComponentState().Contains(csLoading) || !AutoSize()) return;
  SetWidth(TextWidthNeeded());
}

TRect TKvCustomStatusPane::TextRect() const {
  int32_t frame = 2;
  switch (FFrameStyle) {
    case TFrameStyleEx::fsNone: frame = 0; break;
    case TFrameStyleEx::fsFlat:
    case TFrameStyleEx::fsStatus:
    case TFrameStyleEx::fsPopup: frame = 1; break;
    default: break;
  }
  TRect r = ClientRect();
  InflateRect(r, -(FBorderWidth + frame), -(FBorderWidth + frame));
  return r;
}

void TKvCustomStatusPane::Paint() {
  DrawPaneFrame();
  DrawPaneText(Caption());
}

void TKvCustomStatusPane::DrawPaneFrame() {
  TCanvas* C = Canvas();
  TRect r = Rect(0, 0, Width(), Height());
  if (!FTransparent) {
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(r);
  }
  C->Pen()->SetWidth(1);
  C->Pen()->SetStyle(TPenStyle::psSolid);
  InflateRect(r, -FBorderWidth, -FBorderWidth);
  TKvStatusBar* bar = ParentBar();
  if (bar && bar->VisualStyle() == TKvVisualStyle::vsGradient) {
    if (bar->BorderWidth() >= Left()) return;
    TColor stop, start, frame;
    KvBarGradientColors(bar->GradientColorStyle(), stop, start, frame);
    C->Pen()->SetColor(frame);
    KvLine(C, r.Left, r.Top + 1, r.Left, r.Bottom - 1);
  } else if (FFrameStyle == TFrameStyleEx::fsFlat) {
    CornerlessOutline(C, r, KvShiftLightness(FFlatColor, FFlatColorAdjustment));
  } else {
    KvPaintStyledFrame(C, r, FFrameStyle);
  }
}

void TKvCustomStatusPane::DrawPaneText(const std::string& Text) {
  TCanvas* C = Canvas();
  C->Font()->Assign(*Font());
  C->Font()->SetColor(FBlink.Current());
  TRect r = TextRect();
  int32_t x = r.Left + FCaptionOffset + 1;
  uint32_t align = TA_LEFT;
  if (FAlignment == taRightJustify) {
    x = r.Right - FCaptionOffset - 1;
    align = TA_RIGHT;
  } else if (FAlignment == taCenter) {
    x = r.Left + r.Width() / 2;
    align = TA_CENTER;
  }
  int32_t y = r.Top + (r.Height() - C->TextHeight("Pp")) / 2;
  if (FTransparent) {
    C->Brush()->SetStyle(TBrushStyle::bsClear);
  } else {
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(FFillColor);
  }
  uint32_t oldAlign = SetTextAlign(C, align);
  if (!Enabled()) {
    C->Font()->SetColor(clBtnHighlight);
    C->TextRect(r, x + 1, y + 1, Text);
    C->Font()->SetColor(clBtnShadow);
    C->Brush()->SetStyle(TBrushStyle::bsClear);
  }
  C->TextRect(r, x, y, Text);
  SetTextAlign(C, oldAlign);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

bool TKvCustomStatusPane::InGripArea(const TRect& R) const {
  TKvStatusBar* bar = ParentBar();
  if (!bar || !bar->ShowSizeGrip()) return false;
  int32_t right = ClientToScreen(Point(R.Right, 0)).X;
  int32_t barRight = bar->ClientToScreen(Point(bar->ClientWidth(), 0)).X;
  return right >= barRight;
}

void TKvCustomStatusPane::CMHitTest(TMessage& Message) {
  TGraphicControl::CMHitTest(Message);
  if (!InGripArea(ClientRect())) return;
  TKvStatusBar* bar = ParentBar();
  int32_t x = bar->ClientWidth() - Left();
  TPoint p(Message.LParamLo(), Message.LParamHi());
  // The grip's strip belongs to the bar: a press there resizes the form.
  if (PtInRect(Rect(x - 12, 0, x, Height()), p) && bar->GripWorks()) Message.Result = HTTRANSPARENT;
}

void TKvCustomStatusPane::Loaded() {
  TGraphicControl::Loaded();
  if (!ParentColor()) FTransparent = false;
  FBlink.Take(Font()->Color());
  AdjustPaneWidth();
}

void TKvCustomStatusPane::Dispatch(TMessage& M) {
  if (FBlink.Answer(M, [this](bool On) { ShowBlinkState(On); })) return;
  TGraphicControl::Dispatch(M);
}

void TKvCustomStatusPane::CMMouseEnter(TMessage& Message) {
  TGraphicControl::CMMouseEnter(Message);
  if (!ComponentState().Contains(csDesigning) && OnMouseEnter) OnMouseEnter(this);
}

void TKvCustomStatusPane::CMMouseLeave(TMessage& Message) {
  TGraphicControl::CMMouseLeave(Message);
  if (OnMouseLeave) OnMouseLeave(this);
}

void TKvCustomStatusPane::CMTextChanged(TMessage& Message) {
  TGraphicControl::CMTextChanged(Message);
  Invalidate();
  AdjustPaneWidth();
}

void TKvCustomStatusPane::CMFontChanged(TMessage& Message) {
  TGraphicControl::CMFontChanged(Message);
  if (ComponentState().Contains(csLoading)) return;
  FBlink.Renew(Font()->Color());
  AdjustPaneWidth();
  Invalidate();
}

void TKvCustomStatusPane::CMColorChanged(TMessage& Message) {
  TGraphicControl::CMColorChanged(Message);
  if (FParentFillColor) FFillColor = Color();
  Invalidate();
}

void TKvCustomStatusPane::CMParentColorChanged(TMessage& Message) {
  TGraphicControl::CMParentColorChanged(Message);
  if (FParentFillColor) FFillColor = Color();
  Invalidate();
}

// ---- Status bar -------------------------------------------------------------------------------------

TKvStatusBar::TKvStatusBar(TComponent* AOwner) : TKvCustomPanel(AOwner) {
  RegisterKvStatusProperties();
  FBorderInner = TFrameStyleEx::fsNone;
  FBorderOuter = TFrameStyleEx::fsNone;
  FBorderSides = KvAllSides;
  FPanelBorderWidth = 0;
  SetAlign(alBottom);
  SetHeight(19);
}

TKvStatusBar::~TKvStatusBar() = default;

void TKvStatusBar::SetBorderInner(TFrameStyleEx v) {
  if (v == FBorderInner) return;
  TKvCustomPanel::SetBorderInner(v);
  AutoStyleOverridden();
}

void TKvStatusBar::SetBorderOuter(TFrameStyleEx v) {
  if (v == FBorderOuter) return;
  TKvCustomPanel::SetBorderOuter(v);
  AutoStyleOverridden();
}

void TKvStatusBar::SetBorderSides(TSides v) {
  if (v == FBorderSides) return;
  TKvCustomPanel::SetBorderSides(v);
  AutoStyleOverridden();
}

// A border written from a form stream is overruled by the auto style after loading; a later one
// ends the auto style.
void TKvStatusBar::AutoStyleOverridden() {
  if (!ComponentState().Contains(csLoading)) FAutoStyle = false;
}

void TKvStatusBar::ApplyAutoStyle() {
  bool keep = FAutoStyle;
  SetBorderInner(TFrameStyleEx::fsNone);
  SetBorderOuter(TFrameStyleEx::fsNone);
  SetBorderSides(KvAllSides);
  SetHeight(19);
  SetBorderWidth(0);
  FAutoStyle = keep;
}

void TKvStatusBar::Loaded() {
  TKvCustomPanel::Loaded();
  if (FAutoStyle) ApplyAutoStyle();
}

void TKvStatusBar::CreateWnd() {
  TKvCustomPanel::CreateWnd();
  UpdateGripWorks();
}

void TKvStatusBar::SetShowSizeGrip(bool v) {
  if (FShowSizeGrip == v) return;
  FShowSizeGrip = v;
  UpdateGripWorks();
  Invalidate();
}

void TKvStatusBar::SetSimpleCaption(const std::string& v) {
  if (FSimpleCaption == v) return;
  FSimpleCaption = v;
  Invalidate();
}

void TKvStatusBar::SetSimpleFrameStyle(TFrameStyle v) {
  if (FSimpleFrameStyle == v) return;
  FSimpleFrameStyle = v;
  Invalidate();
}

void TKvStatusBar::SetSimpleStatus(bool v) {
  if (FSimpleStatus == v) return;
  FSimpleStatus = v;
  DisableAlign();
  for (int32_t i = 0; i < ControlCount(); ++i) Controls(i)->SetVisible(!v);
  EnableAlign();
  Realign();
  Invalidate();
}

void TKvStatusBar::GradientColors(TColor& Start, TColor& Stop) const {
  // Darker at the top, the window colour at the bottom: the reverse of a panel.
  if (FGradientColorStyle == TKvGradientColorStyle::gcsCustom) {
    Start = FGradientColorStop;
    Stop = FGradientColorStart;
  } else {
    TColor frame;
    KvBarGradientColors(FGradientColorStyle, Start, Stop, frame);
  }
}

TRect TKvStatusBar::BarClientRect() const {
  TRect r = Rect(0, 0, Width(), Height());
  r.Bottom += 1;
  if (FSimpleStatus) {
    r.Top = 2;
  } else {
    r.Top = 1;
    r.Left -= 1;
    r.Right += 1;
  }
  return r;
}

void TKvStatusBar::AdjustClientRect(TRect& Rect) {
  Rect = BarClientRect();
  TKvCustomPanel::AdjustClientRect(Rect);
}

void TKvStatusBar::UpdateGripWorks() {
  TCustomForm* f = GetParentForm(this);
  FGripWorks = f &&
               (f->BorderStyle() == TFormBorderStyle::bsSizeable || f->BorderStyle() == TFormBorderStyle::bsSizeToolWin) &&
               f->WindowState() != TWindowState::wsMaximized;
}

void TKvStatusBar::DrawSimpleFrame(TRect R) {
  if (FVisualStyle == TKvVisualStyle::vsGradient) return;
  TCanvas* C = Canvas();
  C->Pen()->SetWidth(1);
  if (FSimpleFrameStyle == TFrameStyleEx::fsFlat) CornerlessOutline(C, R, KvShiftLightness(FFlatColor, FFlatColorAdjustment));
  else KvPaintStyledFrame(C, R, FSimpleFrameStyle);
}

void TKvStatusBar::Paint() {
  TKvCustomPanel::Paint();
  if (!FSimpleStatus) return;
  TRect r = BarClientRect();
  r.Bottom -= 1;
  DrawSimpleFrame(r);
  InflateRect(r, -1, -1);
  if (FSimpleCaption.empty()) return;
  TCanvas* C = Canvas();
  C->Font()->Assign(*Font());
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  int32_t y = r.Top + (r.Height() - C->TextHeight("Pp")) / 2;
  C->TextRect(r, r.Left + 2, y, FSimpleCaption);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

void TKvStatusBar::DrawSizeGrip(TRect R) {
  TCanvas* C = Canvas();
  TColor light = clBtnHighlight, dark = clBtnShadow;
  if (FVisualStyle == TKvVisualStyle::vsGradient) {
    TColor stop;
    KvBarGradientColors(FGradientColorStyle, stop, light, dark);
  }
  static const int32_t squares[6][2] = {{5, 12}, {5, 8}, {5, 4}, {9, 8}, {9, 4}, {13, 4}};
  int32_t rr = R.Right, rb = R.Bottom;
  C->Pen()->SetWidth(1);
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  for (int32_t pass = 0; pass < 2; ++pass) {
    TColor c = pass == 0 ? light : dark;
    C->Pen()->SetColor(c);
    C->Brush()->SetColor(c);
    for (const auto& s : squares) {
      int32_t l = rr - s[0] - pass, t = rb - s[1] - pass;
      C->Rectangle(l, t, l + 2, t + 2);
    }
  }
}

void TKvStatusBar::Dispatch(TMessage& M) {
  if (M.Msg == WM_LBUTTONDOWN && !ComponentState().Contains(csDesigning) && FGripWorks && FShowSizeGrip &&
      PtInRect(GripHotRect(), Point(M.LParamLo(), M.LParamHi()))) {
    ReleaseCapture();
    if (TCustomForm* f = GetParentForm(this)) f->Perform(WM_SYSCOMMAND, SC_SIZE | 8, 0);
    return;
  }
  TKvCustomPanel::Dispatch(M);
  if (M.Msg == WM_PAINT) {
    // The grip goes over the panes, after everything else is painted.
    TRect r = BarClientRect();
    r.Bottom -= 1;
    UpdateGripWorks();
    if (FShowSizeGrip && FGripWorks) DrawSizeGrip(r);
  }
}

void TKvStatusBar::WMSetCursor(TMessage& Message) {
  if (FShowSizeGrip && FGripWorks && !ComponentState().Contains(csDesigning) &&
      PtInRect(GripHotRect(), ScreenToClient(GetCursorPos()))) {
    SetCursorShape(crSizeNWSE);
    Message.Result = 1;
    return;
  }
  TKvCustomPanel::WMSetCursor(Message);
}

void TKvStatusBar::WMSize(TMessage& Message) {
  TKvCustomPanel::WMSize(Message);
  ScalePanes();
}


void TKvStatusBar::ScalePanes() {
  int32_t w = Width();
  if (FFirstResize) {
    FFirstResize = false;
    FWidthChange = 0;
  } else {
    FWidthChange = w - FLastWidth;
  }
  // A recorded width of 0 gives no ratio to scale by: the panes keep their widths then.
  if (FAutoScalePanes && ControlCount() > 0 && FWidthChange != 0 && FLastWidth > 0) {
    DisableAlign();
    for (int32_t i = 0; i < ControlCount(); ++i) {
      TControl* c = Controls(i);
      float ratio = static_cast<float>(c->Width()) / static_cast<float>(FLastWidth);
      c->SetWidth(c->Width() + static_cast<int32_t>(Round(static_cast<double>(FWidthChange) * ratio)));
    }
    EnableAlign();
  }
  FLastWidth = w;
}

// ---- Published properties ---------------------------------------------------------------------------

void RegisterKvStatusProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  KvRegisterFrameLinkProperty<TKvCustomStatusPane>();
  RegisterStringProperty<TKvStatusBar>("SimpleCaption",
                                       [](TKvStatusBar* c, const std::string& v) { c->SetSimpleCaption(v); },
                                       [](const TKvStatusBar* c) { return c->SimpleCaption(); });
  RegisterIntegerProperty<TKvCustomStatusPane>(
      "DefaultWidth", [](TKvCustomStatusPane* c, int64_t v) { c->SetDefaultWidth(int32_t(v)); },
      [](const TKvCustomStatusPane* c) { return int64_t(c->DefaultWidth()); });
  RegisterIntegerProperty<TKvCustomStatusPane>(
      "CaptionOffset", [](TKvCustomStatusPane* c, int64_t v) { c->SetCaptionOffset(int32_t(v)); },
      [](const TKvCustomStatusPane* c) { return int64_t(c->CaptionOffset()); });
  for (const char* n : {"AutoScalePanes", "AutoStyle", "ShowSizeGrip", "SimpleStatus", "SimpleFrameStyle"})
    RegisterOtherProperty<TKvStatusBar>(n, TTypeKind::tkEnumeration);
  for (const char* n : {"Alignment", "AutoHint", "Blinking", "FrameStyle", "ParentFillColor"})
    RegisterOtherProperty<TKvCustomStatusPane>(n, TTypeKind::tkEnumeration);
  KvRegisterTransparentProperty<TKvCustomStatusPane>();
  for (const char* n : {"HighlightLocation", "Orientation", "ShowGradient"})
    RegisterOtherProperty<TKvSeparator>(n, TTypeKind::tkEnumeration);
}

// ---- Frame controller -------------------------------------------------------------------------------

void TKvCustomStatusPane::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove) FFrameLink.Removed(AComponent);
}

void TKvCustomStatusPane::ApplyFrameController() {
  using P = TKvFrameControllerProperty;
  TKvFrameController* c = FFrameLink.Controller();
  if (!c || !c->FrameVisible()) return;
  if (FFrameLink.Takes(P::fcpFrameStyle)) SetFrameStyle(c->FrameStyle());
  if (FFrameLink.Takes(P::fcpFrameColor)) {
    FFlatColor = c->FrameColor();
    FFlatColorAdjustment = 0;
  }
  if (FFrameLink.Takes(P::fcpColor)) SetFillColor(c->Color());
  if (FFrameLink.Takes(P::fcpParentColor)) SetParentColor(c->ParentColor());
  Invalidate();
}

bool TKvCustomStatusPane::ExecuteAction(TBasicAction* Action) {
  auto* hint = dynamic_cast<THintAction*>(Action);
  if (FAutoHint && hint) {
    SetCaption(hint->Hint());
    return true;
  }
  return TGraphicControl::ExecuteAction(Action);
}
