#pragma once
// Labels: a frame of layered borders, 3D text, text turned by an angle or laid along an arc, blinking,
// a mouse-over colour; and the link label that opens its address.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controls/kv_blits.h"
#include "controls/kv_blink_text.h"
#include "controls/kv_frame_link.h"
#include "controls/kv_colors.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/ui/themes.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

// The command line that opens an address with the desktop's default handler (an argument vector).
std::vector<std::string> KvOpenURLCommand(const std::string& Address);
// Opens an address with xdg-open, started without a shell. False when nothing could be started.
bool KvOpenURL(const std::string& Address);
// Tests replace the launcher; a set hook receives the command line instead of a process starting.
extern std::function<bool(const std::vector<std::string>& Command)> KvOpenURLHook;

enum class TRotation : uint8_t { roNone, roFlat, roCurve };
enum class TCenterPoint : uint8_t {
  cpUpperLeft, cpUpperCenter, cpUpperRight, cpLeftCenter, cpCenter, cpRightCenter, cpLowerLeft, cpLowerCenter,
  cpLowerRight
};
enum class TKvCondenseCaption : uint8_t { ccNone, ccAtEnd, ccWithinPath };

// Cursor number of the link labels' hand.
inline constexpr TCursor crKvHandPoint = 26000;

class TKvLabel : public TGraphicControl, public IKvFrameControllerClient {
 public:
  explicit TKvLabel(TComponent* AOwner);
  ~TKvLabel() override;
  std::string ClassName() const override { return "TKvLabel"; }

  // Properties of the plain label.
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  void SetAutoSize(bool Value) override;
  TTextLayout Layout() const { return FLayout; }
  virtual void SetLayout(TTextLayout v);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);

  int32_t Angle() const { return FAngle; }
  virtual void SetAngle(int32_t v);
  TRotation Rotation() const { return FRotation; }
  virtual void SetRotation(TRotation v);
  TCenterPoint CenterPoint() const { return FCenterPoint; }
  virtual void SetCenterPoint(TCenterPoint v);
  TTextStyle TextStyle() const { return FTextStyle; }
  virtual void SetTextStyle(TTextStyle v);
  bool LightTextStyle() const { return FLightTextStyle; }
  virtual void SetLightTextStyle(bool v);
  TColor HighlightColor() const { return FHighlightColor; }
  virtual void SetHighlightColor(TColor v);
  TColor ShadowColor() const { return FShadowColor; }
  virtual void SetShadowColor(TColor v);
  int32_t ShadowDepth() const { return FShadowDepth; }
  virtual void SetShadowDepth(int32_t v);
  int32_t TextMargin() const { return FTextMargin; }
  virtual void SetTextMargin(int32_t v);
  TKvCondenseCaption CondenseCaption() const { return FCondenseCaption; }
  virtual void SetCondenseCaption(TKvCondenseCaption v);
  TFrameStyleEx BorderInner() const { return FBorderInner; }
  virtual void SetBorderInner(TFrameStyleEx v);
  TFrameStyleEx BorderOuter() const { return FBorderOuter; }
  virtual void SetBorderOuter(TFrameStyleEx v);
  TSides BorderSides() const { return FBorderSides; }
  virtual void SetBorderSides(TSides v);
  int32_t BorderWidth() const { return FBorderWidth; }
  virtual void SetBorderWidth(int32_t v);
  int32_t BevelWidth() const { return FBevelWidth; }
  virtual void SetBevelWidth(int32_t v);
  TColor BorderColor() const { return FBorderColor; }
  virtual void SetBorderColor(TColor v);
  TColor BorderHighlight() const { return FBorderHighlight; }
  virtual void SetBorderHighlight(TColor v);
  TColor BorderShadow() const { return FBorderShadow; }
  virtual void SetBorderShadow(TColor v);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor v);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(int32_t v);
  bool Blinking() const { return FBlink.Blinking(); }
  virtual void SetBlinking(bool v);
  TColor BlinkColor() const { return FBlink.BlinkColor(); }
  virtual void SetBlinkColor(TColor v);
  uint16_t BlinkIntervalOff() const;
  virtual void SetBlinkIntervalOff(uint16_t v);
  uint16_t BlinkIntervalOn() const;
  virtual void SetBlinkIntervalOn(uint16_t v);
  bool FlyByEnabled() const { return FFlyByEnabled; }
  virtual void SetFlyByEnabled(bool v);
  TColor FlyByColor() const { return FFlyByColor; }
  virtual void SetFlyByColor(TColor v);
  // The colour the text is drawn in now (the font's, BlinkColor or the fly-by colour).
  TColor CurrentTextColor() const { return FBlink.Current(); }

  virtual TRect FrameInterior(TRect R, bool WithBorderWidth) const;
  // A text extent (width, height) grown by the frame, the shadow and the turn.
  virtual TRect GrowForFrame(TRect R) const;
  TPoint RotationOrigin() const;
  TPoint ArcRadii() const;
  TKvFrameController* FrameController() const { return FFrameLink.Controller(); }
  void SetFrameController(TKvFrameController* Value) { FFrameLink.SetController(Value); }
  TKvFrameControllerLink& FrameLink() { return FFrameLink; }
  const TKvFrameControllerLink& FrameLink() const { return FFrameLink; }
  // Takes the frame controller's settings this control accepts.
  void ApplyFrameController() override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Paint() override;
  void Loaded() override;
  virtual void ShowBlinkState(bool On);
  virtual void AdjustLabelBounds();
  void DrawLabelText();
  void PaintCaptionOnArc();
  void PlaceForLayout(TRect& R, uint32_t Flags);
  uint32_t TextFlags() const;
  void Dispatch(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMTextChanged(TMessage& Message) override;
  void CMFontChanged(TMessage& Message) override;
  void CMParentColorChanged(TMessage& Message) override;
  // Text and its 3D passes (colours by the style) with one drawing routine.
  void DrawStyledPasses(const std::function<void(int32_t DX, int32_t DY, TColor Color)>& Draw, int32_t ShadowOffset);

  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = TTextLayout::tlTop;
  bool FShowAccelChar = true;
  bool FTransparent = false;
  bool FWordWrap = false;
  int32_t FAngle = 0;
  TRotation FRotation = TRotation::roNone;
  TCenterPoint FCenterPoint = TCenterPoint::cpCenter;
  TTextStyle FTextStyle = TTextStyle::tsNormal;
  bool FLightTextStyle = false;
  TColor FHighlightColor = clBtnHighlight;
  TColor FShadowColor = clBtnShadow;
  int32_t FShadowDepth = 2;
  int32_t FTextMargin = 0;
  TKvCondenseCaption FCondenseCaption = TKvCondenseCaption::ccNone;
  TFrameStyleEx FBorderInner = TFrameStyleEx::fsNone;
  TFrameStyleEx FBorderOuter = TFrameStyleEx::fsNone;
  TSides FBorderSides{TSide::sdLeft, TSide::sdTop, TSide::sdRight, TSide::sdBottom};
  int32_t FBorderWidth = 0;
  int32_t FBevelWidth = 1;
  TColor FBorderColor = clBtnFace;
  TColor FBorderHighlight = clBtnHighlight;
  TColor FBorderShadow = clBtnShadow;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 30;
  bool FFlyByEnabled = false;
  TColor FFlyByColor = clHighlight;
  TColor FRememberedColor = clWindowText;
  bool FIgnoreParentColor = false;
  bool FFontFromFlyBy = false;
  TKvFrameControllerLink FFrameLink{this};
  TKvBlinkText FBlink{this, Font()->Color()};
};

class TKvURLLabel : public TKvLabel {
 public:
  explicit TKvURLLabel(TComponent* AOwner);
  std::string ClassName() const override { return "TKvURLLabel"; }
  const std::string& URL() const { return FURL; }
  void SetURL(const std::string& v);
  bool Visited() const { return FVisited; }
  virtual void SetVisited(bool v);
  TColor UnvisitedColor() const { return FUnvisitedColor; }
  virtual void SetUnvisitedColor(TColor v);
  TColor VisitedColor() const { return FVisitedColor; }
  virtual void SetVisitedColor(TColor v);
  // OnClick first, then the address (or the caption) is opened.
  void Click() override;

 protected:
  virtual void ApplyLinkColor();
  std::string FURL;
  bool FVisited = false;
  TColor FUnvisitedColor = clHighlight;
  TColor FVisitedColor = 8388736;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvLabelsProperties();
