#include "controls/kv_labels.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "controls/kv_fonts.h"
#include "controls/kv_panels.h"
#include "controls/kv_text.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/ui/published.h"

extern char** environ;

std::function<bool(const std::vector<std::string>& Command)> KvOpenURLHook;

std::vector<std::string> KvOpenURLCommand(const std::string& Address) { return {"xdg-open", Trim(Address)}; }

bool KvOpenURL(const std::string& Address) {
  if (Trim(Address).empty()) return false;
  std::vector<std::string> cmd = KvOpenURLCommand(Address);
  if (KvOpenURLHook) return KvOpenURLHook(cmd);
  // An argument vector, never a shell line: the address cannot inject commands.
  std::vector<char*> argv;
  for (std::string& a : cmd) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  // Reaped in the background so no zombie stays behind and the GUI never waits for the browser.
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  return true;
}

namespace {

int32_t N(double X) { return static_cast<int32_t>(Round(X)); }

constexpr double kPi = std::numbers::pi;

// How far a border style grows an auto-sized label on one side.
int32_t GrowthOf(TFrameStyleEx S, int32_t BevelWidth) {
  switch (S) {
    case TFrameStyleEx::fsNone:
    case TFrameStyleEx::fsFlatBold:
    case TFrameStyleEx::fsFlatRounded: return 0;
    case TFrameStyleEx::fsFlat: return 1;
    case TFrameStyleEx::fsStatus:
    case TFrameStyleEx::fsPopup: return BevelWidth;
    default: return 2;
  }
}

// The code points of a UTF-8 text, each as its own string.
std::vector<std::string> Characters(const std::string& S) {
  std::vector<std::string> out;
  for (size_t i = 0; i < S.size();) {
    unsigned char c = static_cast<unsigned char>(S[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 4;
    out.push_back(S.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

// ---- Label ------------------------------------------------------------------------------------------

TKvLabel::TKvLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  RegisterKvLabelsProperties();
  FControlStyle.Include(csOpaque);
  FControlStyle.Include(csReplicatable);
  SetBounds(0, 0, 65, 17);
  TGraphicControl::SetAutoSize(true);
  FIgnoreParentColor = true;
  SetColor(clBtnFace);
  SetParentColor(true);
  FIgnoreParentColor = false;
  FBlink.Take(Font()->Color());
}

TKvLabel::~TKvLabel() {
}

#define KV_LABEL_SETTER(Name, Type, Field, After) \
  void TKvLabel::Set##Name(Type v) {              \
    if (Field == v) return;                       \
    Field = v;                                    \
    After;                                        \
  }

KV_LABEL_SETTER(Alignment, TAlignment, FAlignment, Invalidate())
KV_LABEL_SETTER(Layout, TTextLayout, FLayout, Invalidate())
KV_LABEL_SETTER(ShowAccelChar, bool, FShowAccelChar, AdjustLabelBounds(); Invalidate())
KV_LABEL_SETTER(WordWrap, bool, FWordWrap, AdjustLabelBounds(); Invalidate())
KV_LABEL_SETTER(CenterPoint, TCenterPoint, FCenterPoint, Invalidate())
KV_LABEL_SETTER(TextStyle, TTextStyle, FTextStyle, Invalidate())
KV_LABEL_SETTER(LightTextStyle, bool, FLightTextStyle, Invalidate())
KV_LABEL_SETTER(HighlightColor, TColor, FHighlightColor, Invalidate())
KV_LABEL_SETTER(ShadowColor, TColor, FShadowColor, Invalidate())
KV_LABEL_SETTER(ShadowDepth, int32_t, FShadowDepth, Invalidate())
KV_LABEL_SETTER(TextMargin, int32_t, FTextMargin, Invalidate())
KV_LABEL_SETTER(BorderInner, TFrameStyleEx, FBorderInner, Invalidate())
KV_LABEL_SETTER(BorderOuter, TFrameStyleEx, FBorderOuter, Invalidate())
KV_LABEL_SETTER(BorderSides, TSides, FBorderSides, Invalidate())
KV_LABEL_SETTER(BorderWidth, int32_t, FBorderWidth, Invalidate())
KV_LABEL_SETTER(BevelWidth, int32_t, FBevelWidth, Invalidate())
KV_LABEL_SETTER(BorderColor, TColor, FBorderColor, Invalidate())
KV_LABEL_SETTER(BorderHighlight, TColor, FBorderHighlight, Invalidate())
KV_LABEL_SETTER(BorderShadow, TColor, FBorderShadow, Invalidate())
KV_LABEL_SETTER(FlatColor, TColor, FFlatColor, Invalidate())
KV_LABEL_SETTER(FlatColorAdjustment, int32_t, FFlatColorAdjustment, Invalidate())
KV_LABEL_SETTER(FlyByColor, TColor, FFlyByColor, Invalidate())

#undef KV_LABEL_SETTER

void TKvLabel::SetTransparent(bool v) {
  if (FTransparent == v) return;
  FTransparent = v;
  if (v) FControlStyle.Exclude(csOpaque);
  else FControlStyle.Include(csOpaque);
  Invalidate();
}

void TKvLabel::SetAutoSize(bool Value) {
  if (AutoSize() == Value) return;
  TGraphicControl::SetAutoSize(Value);
  AdjustLabelBounds();
}

void TKvLabel::SetCondenseCaption(TKvCondenseCaption v) {
  if (FCondenseCaption == v) return;
  FCondenseCaption = v;
  // A condensed caption fits the label, so the label stops fitting the caption.
  if (v != TKvCondenseCaption::ccNone) SetAutoSize(false);
  Invalidate();
}

void TKvLabel::SetAngle(int32_t v) {
  if (v == FAngle) return;
  // Every angle lands in 0..359, also far below -360.
  FAngle = ((v % 360) + 360) % 360;
  bool loading = ComponentState().Contains(csLoading);
  if (!loading && v != 0 && !KvFontIsTrueType(*Font())) Font()->SetName("Verdana");
  if (FAngle != 0 && FRotation == TRotation::roNone) FRotation = TRotation::roFlat;
  AdjustLabelBounds();
  Repaint();
}

void TKvLabel::SetRotation(TRotation v) {
  if (FRotation == v) return;
  if (!ComponentState().Contains(csLoading) && v != TRotation::roNone && !KvFontIsTrueType(*Font()))
    Font()->SetName("Verdana");
  FRotation = v;
  if (v != TRotation::roCurve) FAngle = 0;
  if (v == TRotation::roFlat) FCenterPoint = TCenterPoint::cpCenter;
  AdjustLabelBounds();
  Invalidate();
}

void TKvLabel::SetBlinking(bool v) {
  if (FBlink.SetBlinking(v)) Repaint();
}

void TKvLabel::SetBlinkColor(TColor v) {
  if (FBlink.BlinkColor() == v) return;
  FBlink.SetBlinkColor(v);
  Invalidate();
}

uint16_t TKvLabel::BlinkIntervalOff() const { return FBlink.IntervalOff(); }
uint16_t TKvLabel::BlinkIntervalOn() const { return FBlink.IntervalOn(); }
void TKvLabel::SetBlinkIntervalOff(uint16_t v) { FBlink.SetIntervalOff(v); }
void TKvLabel::SetBlinkIntervalOn(uint16_t v) { FBlink.SetIntervalOn(v); }

void TKvLabel::ShowBlinkState(bool On) {
  FBlink.Show(On);
  Repaint();
}

void TKvLabel::SetFlyByEnabled(bool v) {
  if (FFlyByEnabled == v) return;
  FFlyByEnabled = v;
  if (!v && FFontFromFlyBy) {
    FFontFromFlyBy = false;
    Font()->SetColor(FRememberedColor);
  }
  Invalidate();
}

TRect TKvLabel::FrameInterior(TRect R, bool WithBorderWidth) const {
  if (WithBorderWidth) InflateRect(R, -FBorderWidth, -FBorderWidth);
  return KvShrinkByFrame(R, FBorderOuter, FBorderInner, FBorderSides, FBevelWidth);
}

TRect TKvLabel::GrowForFrame(TRect R) const {
  int32_t side = GrowthOf(FBorderOuter, FBevelWidth) + FBorderWidth + GrowthOf(FBorderInner, FBevelWidth);
  int32_t w = R.Right, h = R.Bottom;
  if (FBorderSides.Contains(TSide::sdLeft)) w += side;
  if (FBorderSides.Contains(TSide::sdRight)) w += side;
  if (FBorderSides.Contains(TSide::sdTop)) h += side;
  if (FBorderSides.Contains(TSide::sdBottom)) h += side;
  if (FRotation == TRotation::roNone && FTextStyle == TTextStyle::tsShadow) {
    w += FShadowDepth;
    h += FShadowDepth;
  }
  if (FRotation == TRotation::roFlat && FAngle != 0 && FAngle != 180) {
    if (FTextStyle == TTextStyle::tsShadow) {
      w += FShadowDepth / 2;
      h += FShadowDepth / 2;
    }
    // The bounding box of the turned extent: |cos| and |sin| of the whole angle, so that every
    // quadrant measures alike.
    double a = FAngle * kPi / 180.0;
    double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
    int32_t nw = N(c * w + s * h), nh = N(s * w + c * h);
    w = nw;
    h = nh;
  }
  return Rect(R.Left, R.Top, w, h);
}

uint32_t TKvLabel::TextFlags() const {
  uint32_t f = KvAlignmentFlag(FAlignment) | DT_EXPANDTABS;
  if (FWordWrap) f |= DT_WORDBREAK;
  if (!FShowAccelChar) f |= DT_NOPREFIX;
  if (FCondenseCaption == TKvCondenseCaption::ccAtEnd) f |= DT_END_ELLIPSIS;
  else if (FCondenseCaption == TKvCondenseCaption::ccWithinPath) f |= DT_PATH_ELLIPSIS;
  return f;
}

void TKvLabel::AdjustLabelBounds() {
  if (ComponentState().Contains(csReading) || ComponentState().Contains(csLoading) || !AutoSize()) return;
  TRect r = FrameInterior(ClientRect(), true);
  OffsetRect(r, -r.Left, -r.Top);
  std::string text = Caption();
  if (text.empty() || (FShowAccelChar && text == "&")) text += ' ';
  uint32_t flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0) | (!FShowAccelChar ? DT_NOPREFIX : 0);
  if (FCondenseCaption == TKvCondenseCaption::ccAtEnd) flags |= DT_END_ELLIPSIS;
  else if (FCondenseCaption == TKvCondenseCaption::ccWithinPath) flags |= DT_PATH_ELLIPSIS;
  KvCalcTextRect(*Font(), text, r, flags);
  TRect e = GrowForFrame(Rect(0, 0, r.Width(), r.Height()));
  int32_t left = Left();
  if (FAlignment == taRightJustify) left += Width() - e.Right;
  SetBounds(left, Top(), e.Right, e.Bottom);
}

TPoint TKvLabel::RotationOrigin() const {
  int32_t b = FBorderWidth, w = Width(), h = Height();
  if (FRotation == TRotation::roFlat) return Point(w / 2, h / 2);
  switch (FCenterPoint) {
    case TCenterPoint::cpUpperLeft: return Point(b, b);
    case TCenterPoint::cpUpperCenter: return Point(w / 2, b);
    case TCenterPoint::cpUpperRight: return Point(w, b);
    case TCenterPoint::cpLeftCenter: return Point(b, h / 2);
    case TCenterPoint::cpCenter: return Point(w / 2, h / 2);
    case TCenterPoint::cpRightCenter: return Point(w - b, h / 2);
    case TCenterPoint::cpLowerLeft: return Point(b, h - b);
    case TCenterPoint::cpLowerCenter: return Point(w / 2, h - b);
    case TCenterPoint::cpLowerRight: return Point(w - b, h - b);
  }
  return Point(w / 2, h / 2);
}

TPoint TKvLabel::ArcRadii() const {
  int32_t a = 2 * FBorderWidth, w = Width(), h = Height();
  switch (FCenterPoint) {
    case TCenterPoint::cpUpperCenter:
    case TCenterPoint::cpLowerCenter: return Point(w / 2 - a, h - a);
    case TCenterPoint::cpLeftCenter:
    case TCenterPoint::cpRightCenter: return Point(w - a, h / 2 - a);
    case TCenterPoint::cpCenter: return Point(w / 2 - a, h / 2 - a);
    default: return Point(w - a, h - a);
  }
}

void TKvLabel::Paint() {
  TCanvas* C = Canvas();
  TColor parent = Parent() ? Parent()->Color() : Color();
  TRect r = KvPaintLayeredBorders(C, Rect(0, 0, Width(), Height()), FBorderOuter, FBorderInner, FBorderWidth,
                                  FBorderSides, FBevelWidth, FBorderColor, FBorderHighlight, FBorderShadow,
                                  FFlatColor, FFlatColorAdjustment, Color(), parent, FTransparent);
  if (!FTransparent) {
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(Color());
    C->FillRect(r);
  }
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  if (FRotation == TRotation::roCurve) PaintCaptionOnArc();
  else DrawLabelText();
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

void TKvLabel::DrawStyledPasses(const std::function<void(int32_t, int32_t, TColor)>& Draw, int32_t ShadowOffset) {
  if (!Enabled()) {
    Draw(1, 1, clBtnHighlight);
    Draw(0, 0, clBtnShadow);
    return;
  }
  if (FTextStyle == TTextStyle::tsRaised || FTextStyle == TTextStyle::tsRecessed) {
    bool raised = FTextStyle == TTextStyle::tsRaised;
    if (!raised || !FLightTextStyle) Draw(1, 1, raised ? FShadowColor : FHighlightColor);
    if (raised || !FLightTextStyle) Draw(-1, -1, raised ? FHighlightColor : FShadowColor);
  } else if (FTextStyle == TTextStyle::tsShadow) {
    Draw(ShadowOffset, ShadowOffset, FShadowColor);
  }
  Draw(0, 0, FBlink.Current());
}

void TKvLabel::PlaceForLayout(TRect& R, uint32_t Flags) {
  if (FLayout != TTextLayout::tlTop) {
    TRect m = R;
    int32_t h = KvCalcTextRect(*Font(), Caption(), m, Flags);
    int32_t free = R.Height() - h;
    OffsetRect(R, 0, FLayout == TTextLayout::tlBottom ? free : free / 2);
  }
  if (FTextStyle == TTextStyle::tsShadow) {
    if (Flags & DT_RIGHT) OffsetRect(R, -FShadowDepth, 0);
    if (FLayout == TTextLayout::tlBottom) OffsetRect(R, 0, -FShadowDepth);
  }
}

void TKvLabel::DrawLabelText() {
  TCanvas* C = Canvas();
  TRect r = FrameInterior(ClientRect(), true);
  InflateRect(r, -FTextMargin, -FTextMargin);
  uint32_t flags = TextFlags();
  C->Font()->Assign(*Font());
  if (FRotation == TRotation::roNone) {
    TRect placed = r;
    PlaceForLayout(placed, flags);
    DrawStyledPasses(
        [&](int32_t dx, int32_t dy, TColor color) {
          TRect p = placed;
          OffsetRect(p, dx, dy);
          KvDrawTextColored(C, Caption(), p, flags, color);
        },
        FShadowDepth);
    return;
  }
  int32_t s = FTextStyle == TTextStyle::tsShadow ? FShadowDepth / 2 : 0;
  int32_t pp = C->TextHeight("Pp");
  int32_t tw = C->TextWidth(Caption()) + s;
  int32_t th = pp + s;
  double q = pp / 4.0;
  double a = (FAngle + 90) * kPi / 180.0;
  TPoint p = RotationOrigin();
  uint32_t align = TA_BASELINE | TA_LEFT;
  switch (FAngle) {
    case 0:
      align = TA_TOP | TA_LEFT;
      if (FAlignment == taCenter) align = TA_TOP | TA_CENTER;
      else if (FAlignment == taRightJustify) p.X = r.Right - tw - s;
      else p.X = r.Left + s;
      p.Y -= th / 2;
      break;
    case 90:
      p.X -= N(std::cos(a) * q);
      if (FAlignment == taCenter) p.Y = r.Bottom - (r.Bottom - tw) / 2;
      else if (FAlignment == taRightJustify) p.Y = r.Top + tw + s;
      else p.Y = r.Bottom - s;
      break;
    case 180:
      if (FAlignment == taCenter) p.X = r.Right - (r.Right - tw) / 2;
      else if (FAlignment == taRightJustify) p.X = r.Left + tw;
      else p.X = r.Right - s;
      p.Y -= th / 4;
      break;
    case 270:
      p.X -= N(std::cos(a) * q);
      if (FAlignment == taCenter) p.Y = (r.Bottom - tw) / 2;
      else if (FAlignment == taRightJustify) p.Y = r.Bottom - tw - s;
      else p.Y = r.Top + s;
      break;
    default:
      p.X -= N(std::cos(a) * q);
      p.Y += N(std::sin(a) * q);
      align = TA_BASELINE | TA_CENTER;
      break;
  }
  std::unique_ptr<TFont> turned = KvCreateRotatedFont(*Font(), FAngle);
  C->Font()->Assign(*turned);
  uint32_t old = SetTextAlign(C, align);
  if (FTextStyle == TTextStyle::tsShadow && Enabled()) p = Point(p.X - s, p.Y - s);
  DrawStyledPasses(
      [&](int32_t dx, int32_t dy, TColor color) {
        C->Font()->SetColor(color);
        C->TextRect(r, p.X + dx, p.Y + dy, Caption());
      },
      s);
  SetTextAlign(C, old);
}

void TKvLabel::PaintCaptionOnArc() {
  TCanvas* C = Canvas();
  TPoint o = RotationOrigin();
  TPoint radii = ArcRadii();
  // The step along the arc divides by the horizontal radius: a label too small for one has no arc.
  if (radii.X <= 0) return;
  C->Font()->Assign(*Font());
  double r = FAngle * kPi / 180.0;
  int32_t h = C->TextHeight("Yy");
  double step = (C->TextWidth("w") + 2) / static_cast<double>(radii.X);
  uint32_t old = SetTextAlign(C, TA_BASELINE | TA_CENTER);
  for (const std::string& ch : Characters(Caption())) {
    int32_t x = o.X - N(std::sin(r) * (radii.X - h));
    int32_t y = o.Y - N(std::cos(r) * (radii.Y - h));
    std::unique_ptr<TFont> turned = KvCreateRotatedFont(*Font(), 0);
    turned->SetOrientation(N(r * 1800.0 / kPi));
    C->Font()->Assign(*turned);
    DrawStyledPasses(
        [&](int32_t dx, int32_t dy, TColor color) {
          C->Font()->SetColor(color);
          C->TextOut(x + dx, y + dy, ch);
        },
        FShadowDepth);
    r -= step;
  }
  SetTextAlign(C, old);
}

void TKvLabel::Loaded() {
  TGraphicControl::Loaded();
  if (FAngle != 0 && FRotation == TRotation::roNone) FRotation = TRotation::roFlat;
  if (FRotation != TRotation::roNone && !KvFontIsTrueType(*Font())) Font()->SetName("Verdana");
  FBlink.Take(Font()->Color());
  AdjustLabelBounds();
}

void TKvLabel::Dispatch(TMessage& M) {
  if (FBlink.Answer(M, [this](bool On) { ShowBlinkState(On); })) return;
  TGraphicControl::Dispatch(M);
}

void TKvLabel::CMMouseEnter(TMessage& Message) {
  TGraphicControl::CMMouseEnter(Message);
  if (ComponentState().Contains(csDesigning)) return;
  if (OnMouseEnter) OnMouseEnter(this);
  if (FFlyByEnabled && !FFontFromFlyBy) {
    FRememberedColor = Font()->Color();
    FFontFromFlyBy = true;
    Font()->SetColor(FFlyByColor);
  }
}

void TKvLabel::CMMouseLeave(TMessage& Message) {
  TGraphicControl::CMMouseLeave(Message);
  if (OnMouseLeave) OnMouseLeave(this);
  if (FFlyByEnabled && FFontFromFlyBy) {
    FFontFromFlyBy = false;
    Font()->SetColor(FRememberedColor);
  }
}

void TKvLabel::CMTextChanged(TMessage& Message) {
  TGraphicControl::CMTextChanged(Message);
  AdjustLabelBounds();
  Repaint();
}

void TKvLabel::CMFontChanged(TMessage& Message) {
  TGraphicControl::CMFontChanged(Message);
  if (ComponentState().Contains(csLoading)) return;
  if (!FBlink.Blinking()) FBlink.Take(Font()->Color());
  if (!KvFontIsTrueType(*Font())) FAngle = 0;
  AdjustLabelBounds();
  Invalidate();
}

void TKvLabel::CMParentColorChanged(TMessage& Message) {
  if (FIgnoreParentColor) return;
  TGraphicControl::CMParentColorChanged(Message);
  Invalidate();
}

// ---- Link label -------------------------------------------------------------------------------------

TKvURLLabel::TKvURLLabel(TComponent* AOwner) : TKvLabel(AOwner) {
  FTextStyle = TTextStyle::tsNormal;
  TFontStyles st = Font()->Style();
  st.Include(TFontStyle::fsUnderline);
  Font()->SetStyle(st);
  Font()->SetColor(clHighlight);
  if (Screen && !Screen->HasCursor(crKvHandPoint)) Screen->SetCursors(crKvHandPoint, Screen->Cursors(crHandPoint));
  SetCursor(crKvHandPoint);
}

void TKvURLLabel::SetURL(const std::string& v) { FURL = v; }

void TKvURLLabel::ApplyLinkColor() { Font()->SetColor(FVisited ? FVisitedColor : FUnvisitedColor); }

void TKvURLLabel::SetVisited(bool v) {
  FVisited = v;
  ApplyLinkColor();
  Invalidate();
}

void TKvURLLabel::SetUnvisitedColor(TColor v) {
  FUnvisitedColor = v;
  ApplyLinkColor();
  Invalidate();
}

void TKvURLLabel::SetVisitedColor(TColor v) {
  FVisitedColor = v;
  ApplyLinkColor();
  Invalidate();
}

void TKvURLLabel::Click() {
  TKvLabel::Click();
  // A blank address opens the caption itself.
  std::string target = Trim(FURL).empty() ? Caption() : FURL;
  if (Trim(target).empty()) return;
  if (KvOpenURL(target)) SetVisited(true);
}

// ---- Published properties ---------------------------------------------------------------------------

void RegisterKvLabelsProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  KvRegisterFrameLinkProperty<TKvLabel>();
  RegisterStringProperty<TKvURLLabel>("URL", [](TKvURLLabel* c, const std::string& v) { c->SetURL(v); },
                                      [](const TKvURLLabel* c) { return c->URL(); });
  RegisterIntegerProperty<TKvLabel>("Angle", [](TKvLabel* c, int64_t v) { c->SetAngle(int32_t(v)); },
                                    [](const TKvLabel* c) { return int64_t(c->Angle()); });
  RegisterIntegerProperty<TKvLabel>("ShadowDepth", [](TKvLabel* c, int64_t v) { c->SetShadowDepth(int32_t(v)); },
                                    [](const TKvLabel* c) { return int64_t(c->ShadowDepth()); });
  RegisterIntegerProperty<TKvLabel>("TextMargin", [](TKvLabel* c, int64_t v) { c->SetTextMargin(int32_t(v)); },
                                    [](const TKvLabel* c) { return int64_t(c->TextMargin()); });
  for (const char* n : {"Alignment", "Layout", "Rotation", "CenterPoint", "TextStyle", "LightTextStyle",
                        "CondenseCaption", "BorderInner", "BorderOuter", "Blinking", "FlyByEnabled",
                        "WordWrap", "ShowAccelChar"})
    RegisterOtherProperty<TKvLabel>(n, TTypeKind::tkEnumeration);
  KvRegisterTransparentProperty<TKvLabel>();
  RegisterOtherProperty<TKvURLLabel>("Visited", TTypeKind::tkEnumeration);
}

// ---- Frame controller -------------------------------------------------------------------------------

void TKvLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove) FFrameLink.Removed(AComponent);
}

void TKvLabel::ApplyFrameController() {
  KvApplyLayeredBorderSettings(this, FFrameLink,
                               {FBorderOuter, FBorderSides, FFlatColor, FFlatColorAdjustment, FBorderHighlight,
                                FBorderShadow});
}
