#include "controls/kv_utils.h"

#include <algorithm>

#include "platform/ui/forms.h"

using P = TKvFrameControllerProperty;

// ---- Blinking ---------------------------------------------------------------------------------------

TKvBlinkingControlsList* KvBlinkingList = nullptr;

TKvBlinkingControlsList::TKvBlinkingControlsList() : FTimer(std::make_unique<TTimer>(nullptr)) {
  FTimer->SetInterval(FIntervalOff);
  FTimer->SetOnTimer([this](TObject*) { ToggleBlink(); });
  FTimer->SetEnabled(true);
}

TKvBlinkingControlsList::~TKvBlinkingControlsList() = default;

void TKvBlinkingControlsList::RegisterControl(TControl* Control) { FControls.push_back(Control); }

void TKvBlinkingControlsList::UnregisterControl(TControl* Control) {
  auto it = std::find(FControls.begin(), FControls.end(), Control);
  if (it != FControls.end()) FControls.erase(it);
}

// A new interval takes effect from the next switch.
void TKvBlinkingControlsList::SetIntervalOn(uint32_t Value) { FIntervalOn = Value; }
void TKvBlinkingControlsList::SetIntervalOff(uint32_t Value) { FIntervalOff = Value; }

void TKvBlinkingControlsList::ToggleBlink() {
  FBlinkOn = !FBlinkOn;
  FTimer->SetInterval(FBlinkOn ? FIntervalOn : FIntervalOff);
  // A copy: a control may unregister while it blinks.
  std::vector<TControl*> controls = FControls;
  for (TControl* c : controls)
    if (std::find(FControls.begin(), FControls.end(), c) != FControls.end() && c->Perform(KV_BLINK_QUERY, 0, 0) == 1)
      c->Perform(KV_BLINK, FBlinkOn ? 1 : 0, 0);
}

TKvBlinkingControlsList* KvNeedBlinkingList() {
  if (!KvBlinkingList) KvBlinkingList = new TKvBlinkingControlsList();
  return KvBlinkingList;
}

void KvReleaseBlinkingList() {
  if (KvBlinkingList && KvBlinkingList->ControlCount() == 0) {
    delete KvBlinkingList;
    KvBlinkingList = nullptr;
  }
}

// ---- Settings component -------------------------------------------------------------------------------

TKvRegIniFile::TKvRegIniFile(TComponent* AOwner) : TComponent(AOwner) {}

void TKvRegIniFile::SetPath(const std::string& Value) {
  FPath = Value;
  FReopen = true;
}
void TKvRegIniFile::SetPathType(TKvPathType Value) {
  FPathType = Value;
  FReopen = true;
}
void TKvRegIniFile::SetRegKey(TKvRegKey Value) {
  FRegKey = Value;
  FReopen = true;
}
void TKvRegIniFile::SetRegAccess(TKvRegAccess Value) {
  FRegAccess = Value;
  FReopen = true;
}

// ---- Frame controller ------------------------------------------------------------------------------

bool KvSetOrdPropIfPublished(TComponent* Component, const std::string& Name, int64_t Value) {
  const TPropInfo* p = GetPropInfo(Component, Name);
  if (!p || !p->SetOrd) return false;
  p->SetOrd(Component, Value);
  return true;
}

namespace {
void RegisterKvFrameControllerProperties();
}  // namespace

TKvFrameController::TKvFrameController(TComponent* AOwner) : TComponent(AOwner) {
  RegisterKvFrameControllerProperties();
}

TKvFrameController::~TKvFrameController() {
  if (FRegIniFile) FRegIniFile->RemoveFreeNotification(this);
}

void TKvFrameController::RegisterControl(TControl* Control) {
  if (!Control) return;
  if (!FControls) FControls = std::make_unique<std::vector<TControl*>>();
  if (std::find(FControls->begin(), FControls->end(), Control) != FControls->end()) return;
  FControls->push_back(Control);
  PushToControl(Control, P::fcpAll);
}

void TKvFrameController::UnregisterControl(TControl* Control) {
  if (!FControls) return;
  auto it = std::find(FControls->begin(), FControls->end(), Control);
  if (it != FControls->end()) FControls->erase(it);
  if (FControls->empty()) FControls.reset();
}

void TKvFrameController::ReleasePushes() {
  if (--FHoldCount <= 0) {
    FHoldCount = 0;
    PushEverything();
  }
}

TKvFrameControllerNotifications TKvFrameController::NotificationsOf(TControl* Control) {
  const TPropInfo* p = GetPropInfo(Control, "FrameControllerNotifications");
  if (!p || !p->GetOrd) return KvAllFrameNotifications;
  return TKvFrameControllerNotifications::FromBits(static_cast<uint64_t>(p->GetOrd(Control)));
}

void TKvFrameController::PushOne(TControl* Control, P Index) {
  auto set = [Control](const char* Name, int64_t V) { KvSetOrdPropIfPublished(Control, Name, V); };
  switch (Index) {
    case P::fcpColor: set("Color", FColor); break;
    case P::fcpFocusColor: set("FocusColor", FFocusColor); break;
    case P::fcpDisabledColor: set("DisabledColor", FDisabledColor); break;
    case P::fcpReadOnlyColor: set("ReadOnlyColor", FReadOnlyColor); break;
    case P::fcpReadOnlyColorOnFocus: set("ReadOnlyColorOnFocus", FReadOnlyColorOnFocus); break;
    case P::fcpParentColor: set("ParentColor", FParentColor); break;
    case P::fcpFlatButtonColor: set("FlatButtonColor", FFlatButtonColor); break;
    case P::fcpFlatButtons: set("FlatButtons", FFlatButtons); break;
    case P::fcpFrameColor: set("FrameColor", FFrameColor); break;
    case P::fcpFrameHotColor: set("FrameHotColor", FFrameHotColor); break;
    case P::fcpFrameHotTrack: set("FrameHotTrack", FFrameHotTrack); break;
    case P::fcpFrameHotStyle: set("FrameHotStyle", static_cast<int64_t>(FFrameHotStyle)); break;
    case P::fcpFrameSides: set("FrameSides", static_cast<int64_t>(FFrameSides.bits())); break;
    case P::fcpFrameStyle: set("FrameStyle", static_cast<int64_t>(FFrameStyle)); break;
    case P::fcpFrameVisible: set("FrameVisible", FFrameVisible); break;
    case P::fcpFramingPreference: set("FramingPreference", static_cast<int64_t>(FFramingPreference)); break;
    case P::fcpAll: break;
  }
}

void TKvFrameController::PushToControl(TControl* Control, P Index) {
  if (!Control) return;
  if (auto* client = dynamic_cast<IKvFrameControllerClient*>(Control)) {
    client->ApplyFrameController();
    return;
  }
  TKvFrameControllerNotifications accepted = NotificationsOf(Control);
  auto push = [&](P I) {
    if (accepted.Contains(I)) PushOne(Control, I);
  };
  if (Index != P::fcpAll) {
    push(Index);
    return;
  }
  push(P::fcpParentColor);
  if (!FParentColor) push(P::fcpColor);
  for (P I : {P::fcpDisabledColor, P::fcpReadOnlyColor, P::fcpReadOnlyColorOnFocus, P::fcpFocusColor,
              P::fcpFlatButtonColor, P::fcpFlatButtons, P::fcpFrameColor, P::fcpFrameHotColor, P::fcpFrameHotTrack,
              P::fcpFrameHotStyle, P::fcpFrameSides, P::fcpFrameStyle, P::fcpFrameVisible, P::fcpFramingPreference})
    push(I);
}

void TKvFrameController::PushToAll(P Index) {
  if (FHoldCount > 0 || !FControls) return;
  std::vector<TControl*> controls = *FControls;
  for (TControl* c : controls) PushToControl(c, Index);
}

void TKvFrameController::AssignFrom(TPersistent* Source) {
  auto* src = dynamic_cast<TKvFrameController*>(Source);
  if (!src) {
    TComponent::Assign(Source);
    return;
  }
  HoldPushes();
  SetColor(src->FColor);
  SetParentColor(src->FParentColor);
  SetFlatButtonColor(src->FFlatButtonColor);
  SetFlatButtons(src->FFlatButtons);
  SetDisabledColor(src->FDisabledColor);
  SetReadOnlyColor(src->FReadOnlyColor);
  SetReadOnlyColorOnFocus(src->FReadOnlyColorOnFocus);
  SetFocusColor(src->FFocusColor);
  SetFrameColor(src->FFrameColor);
  SetFrameHotColor(src->FFrameHotColor);
  SetFrameHotTrack(src->FFrameHotTrack);
  SetFrameHotStyle(src->FFrameHotStyle);
  SetFrameSides(src->FFrameSides);
  SetFrameStyle(src->FFrameStyle);
  SetFrameVisible(src->FFrameVisible);
  SetFramingPreference(src->FFramingPreference);
  SetRegIniFile(src->FRegIniFile);
  ReleasePushes();
}

void TKvFrameController::Loaded() {
  TComponent::Loaded();
  PushEverything();
}

void TKvFrameController::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FRegIniFile) FRegIniFile = nullptr;
}

#define KV_FC_SETTER(Name, Type, Field, Index)        \
  void TKvFrameController::Set##Name(Type Value) {    \
    if (Field == Value) return;                       \
    Field = Value;                                    \
    PushToAll(P::Index);                              \
  }
KV_FC_SETTER(FlatButtonColor, TColor, FFlatButtonColor, fcpFlatButtonColor)
KV_FC_SETTER(FlatButtons, bool, FFlatButtons, fcpFlatButtons)
KV_FC_SETTER(DisabledColor, TColor, FDisabledColor, fcpDisabledColor)
KV_FC_SETTER(ReadOnlyColor, TColor, FReadOnlyColor, fcpReadOnlyColor)
KV_FC_SETTER(ReadOnlyColorOnFocus, bool, FReadOnlyColorOnFocus, fcpReadOnlyColorOnFocus)
KV_FC_SETTER(FocusColor, TColor, FFocusColor, fcpFocusColor)
KV_FC_SETTER(FrameColor, TColor, FFrameColor, fcpFrameColor)
KV_FC_SETTER(FrameHotColor, TColor, FFrameHotColor, fcpFrameHotColor)
KV_FC_SETTER(FrameHotStyle, TFrameStyle, FFrameHotStyle, fcpFrameHotStyle)
KV_FC_SETTER(FrameSides, TSides, FFrameSides, fcpFrameSides)
KV_FC_SETTER(FrameStyle, TFrameStyle, FFrameStyle, fcpFrameStyle)
KV_FC_SETTER(FrameVisible, bool, FFrameVisible, fcpFrameVisible)
KV_FC_SETTER(FramingPreference, TFramingPreference, FFramingPreference, fcpFramingPreference)
#undef KV_FC_SETTER

void TKvFrameController::SetColor(TColor Value) {
  if (FColor == Value) return;
  // A focus colour that was not set apart follows the colour.
  if (FFocusColor == FColor) FFocusColor = Value;
  FColor = Value;
  FParentColor = false;
  PushToAll(P::fcpColor);
}

void TKvFrameController::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  PushToAll(P::fcpParentColor);
  if (!Value) PushToAll(P::fcpColor);
}

void TKvFrameController::SetFrameHotTrack(bool Value) {
  if (FFrameHotTrack == Value) return;
  FFrameHotTrack = Value;
  if (Value) {
    SetFrameVisible(true);
    if (!ComponentState().Contains(csLoading)) SetFrameSides(KvAllSides);
  }
  PushToAll(P::fcpFrameHotTrack);
}

void TKvFrameController::SetRegIniFile(TKvRegIniFile* Value) {
  if (FRegIniFile == Value) return;
  if (FRegIniFile) FRegIniFile->RemoveFreeNotification(this);
  FRegIniFile = Value;
  if (Value) Value->FreeNotification(this);
}

// ---- Monitors ---------------------------------------------------------------------------------------

namespace {
TRect ScreenBounds() {
  return Screen ? Rect(0, 0, Screen->Width(), Screen->Height()) : Rect(0, 0, 0, 0);
}
}  // namespace

TRect KvWorkAreaOfWindow(TWinControl* Window) { return KvWorkAreaOfMonitor(0); }

int32_t KvWorkAreaWidthOfWindow(TWinControl* Window) { return KvWorkAreaOfWindow(Window).Width(); }

TRect KvWorkAreaOfMonitor(TKvMonitor Monitor) {
  if (Monitor != 0 || !Screen) return Rect(0, 0, 0, 0);
  return Screen->WorkAreaRect();
}

TRect KvBoundsOfMonitor(TKvMonitor Monitor) { return Monitor == 0 ? ScreenBounds() : Rect(0, 0, 0, 0); }

TKvMonitor KvMonitorAtPoint(const TPoint& Pt) {
  int32_t count = Screen ? Screen->MonitorCount() : 0;
  for (TKvMonitor m = 0; m < count; ++m)
    if (PtInRect(KvBoundsOfMonitor(m), Pt)) return m;
  return KvNoMonitor;
}

// ---- Small routines ---------------------------------------------------------------------------------

TRect KvCenteredRect(const TRect& R, int32_t Width, int32_t Height) {
  int32_t l = (R.Left + R.Right - Width) / 2, t = (R.Top + R.Bottom - Height) / 2;
  return TRect(l, t, l + Width, t + Height);
}

std::string KvStripAccelerators(const std::string& Text) {
  // An "&" goes unless another "&" follows it, so "&&" in the middle becomes one "&"; the last
  // character always stays (a trailing "&&" stays "&&").
  std::string out;
  size_t n = Text.size();
  for (size_t i = 0; i < n; ++i)
    if (i + 1 == n || Text[i] != '&' || Text[i + 1] == '&') out += Text[i];
  return out;
}

void KvNotifyDesignerModified(TControl* Control) {
  // Forms are never designed here: there is no designer to tell.
  (void)Control;
}

bool KvIsWindowsVersion(int32_t Version) {
  (void)Version;
  return false;
}

void KvInvalidateTransparentChildren(TWinControl* Container) {
  if (!Container) return;
  for (int32_t i = 0; i < Container->ControlCount(); ++i) {
    TControl* c = Container->Controls(i);
    const TPropInfo* p = GetPropInfo(c, "Transparent");
    if (p && p->GetOrd && p->GetOrd(c) == 1) c->Invalidate();
  }
}

// ---- Named colours ---------------------------------------------------------------------------------

const TKvColorName KvColorNames[KvColorNameCount] = {
    {0x000000, "Black"},
    {0x003399, "Brown"},
    {0x003333, "Olive Green"},
    {0x003300, "Dark Green"},
    {0x663300, "Dark Teal"},
    {0x800000, "Dark Blue"},
    {0x993333, "Indigo"},
    {0x333333, "Gray 80%"},
    {0x000080, "Dark Red"},
    {0x0066FF, "Orange"},
    {0x008080, "Dark Yellow"},
    {0x008000, "Green"},
    {0x808000, "Teal"},
    {0xFF0000, "Blue"},
    {0x996666, "Blue Gray"},
    {0x808080, "Gray 50%"},
    {0x0000FF, "Red"},
    {0x0099FF, "Light Orange"},
    {0x00CC99, "Lime"},
    {0x669933, "Sea Green"},
    {0x999933, "Aqua"},
    {0xFF6633, "Light Blue"},
    {0x800080, "Violet"},
    {0x999999, "Gray 40%"},
    {0xFF00FF, "Pink"},
    {0x00CCFF, "Gold"},
    {0x00FFFF, "Yellow"},
    {0x00FF00, "Bright Green"},
    {0xFFFF00, "Turquoise"},
    {0xFFCC00, "Sky Blue"},
    {0x663399, "Plum"},
    {0xC0C0C0, "Gray 25%"},
    {0xCC99FF, "Rose"},
    {0x99CCFF, "Tan"},
    {0x99FFFF, "Light Yellow"},
    {0xCCFFCC, "Light Green"},
    {0xFFFFCC, "Light Turquoise"},
    {0xFFCC99, "Pale Blue"},
    {0xFF99CC, "Lavender"},
    {0xFFFFFF, "White"},
    {clSystemColor | 0x00, "Scroll Bar"},
    {clSystemColor | 0x01, "Background"},
    {clSystemColor | 0x02, "Active Caption"},
    {clSystemColor | 0x03, "Inactive Caption"},
    {clSystemColor | 0x04, "Menu"},
    {clSystemColor | 0x05, "Window"},
    {clSystemColor | 0x06, "Window Frame"},
    {clSystemColor | 0x07, "Menu Text"},
    {clSystemColor | 0x08, "Window Text"},
    {clSystemColor | 0x09, "Caption Text"},
    {clSystemColor | 0x0A, "Active Border"},
    {clSystemColor | 0x0B, "Inactive Border"},
    {clSystemColor | 0x0C, "App WorkSpace"},
    {clSystemColor | 0x0D, "Highlight"},
    {clSystemColor | 0x0E, "Highlight Text"},
    {clSystemColor | 0x0F, "Button Face"},
    {clSystemColor | 0x10, "Button Shadow"},
    {clSystemColor | 0x11, "Gray Text"},
    {clSystemColor | 0x12, "Button Text"},
    {clSystemColor | 0x13, "Inactive Caption Text"},
    {clSystemColor | 0x14, "Button Highlight"},
    {clSystemColor | 0x15, "3D Dark Shadow"},
    {clSystemColor | 0x16, "3D Light"},
    {clSystemColor | 0x17, "Info Text"},
    {clSystemColor | 0x18, "Info Background"},
    {clSystemColor | 0x1A, "Hot Light"},
    {clSystemColor | 0x1B, "Gradient Active Caption"},
    {clSystemColor | 0x1C, "Gradient Inactive Caption"},
    {clSystemColor | 0x1D, "Menu Highlight"},
    {clSystemColor | 0x1E, "Menu Bar"},
};

// ---- Values of older forms --------------------------------------------------------------------------

namespace {
std::string UpperAscii(std::string S) {
  for (char& c : S)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return S;
}
}  // namespace

bool KvTextIsTrue(const std::string& Text) {
  std::string t = UpperAscii(Text);
  return t == "TRUE" || t == "1";
}

bool KvStringToColor(const std::string& Text, TColor& Color) {
  static const struct {
    const char* Name;
    TColor Value;
  } kNames[] = {
      {"CLBLACK", clBlack},
      {"CLMAROON", clMaroon},
      {"CLGREEN", clGreen},
      {"CLOLIVE", clOlive},
      {"CLNAVY", clNavy},
      {"CLPURPLE", clPurple},
      {"CLTEAL", clTeal},
      {"CLGRAY", clGray},
      {"CLSILVER", clSilver},
      {"CLRED", clRed},
      {"CLLIME", clLime},
      {"CLYELLOW", clYellow},
      {"CLBLUE", clBlue},
      {"CLFUCHSIA", clFuchsia},
      {"CLAQUA", clAqua},
      {"CLWHITE", clWhite},
      {"CLLTGRAY", clLtGray},
      {"CLDKGRAY", clDkGray},
      {"CLMONEYGREEN", clMoneyGreen},
      {"CLSKYBLUE", clSkyBlue},
      {"CLCREAM", clCream},
      {"CLMEDGRAY", clMedGray},
      {"CLNONE", clNone},
      {"CLDEFAULT", clDefault},
      {"CLSCROLLBAR", clScrollBar},
      {"CLBACKGROUND", clBackground},
      {"CLACTIVECAPTION", clActiveCaption},
      {"CLINACTIVECAPTION", clInactiveCaption},
      {"CLMENU", clMenu},
      {"CLWINDOW", clWindow},
      {"CLWINDOWFRAME", clWindowFrame},
      {"CLMENUTEXT", clMenuText},
      {"CLWINDOWTEXT", clWindowText},
      {"CLCAPTIONTEXT", clCaptionText},
      {"CLACTIVEBORDER", clActiveBorder},
      {"CLINACTIVEBORDER", clInactiveBorder},
      {"CLAPPWORKSPACE", clAppWorkSpace},
      {"CLHIGHLIGHT", clHighlight},
      {"CLHIGHLIGHTTEXT", clHighlightText},
      {"CLBTNFACE", clBtnFace},
      {"CLBTNSHADOW", clBtnShadow},
      {"CLGRAYTEXT", clGrayText},
      {"CLBTNTEXT", clBtnText},
      {"CLINACTIVECAPTIONTEXT", clInactiveCaptionText},
      {"CLBTNHIGHLIGHT", clBtnHighlight},
      {"CL3DDKSHADOW", cl3DDkShadow},
      {"CL3DLIGHT", cl3DLight},
      {"CLINFOTEXT", clInfoText},
      {"CLINFOBK", clInfoBk},
      {"CLHOTLIGHT", clHotLight},
      {"CLGRADIENTACTIVECAPTION", clGradientActiveCaption},
      {"CLGRADIENTINACTIVECAPTION", clGradientInactiveCaption},
      {"CLMENUHIGHLIGHT", clMenuHighlight},
      {"CLMENUBAR", clMenuBar}};
  std::string t = UpperAscii(Text);
  for (const auto& n : kNames)
    if (t == n.Name) {
      Color = n.Value;
      return true;
    }
  if (t.empty()) return false;
  size_t start = 0;
  int base = 10;
  bool negative = false;
  if (t[0] == '$') start = 1, base = 16;
  else if (t.size() > 2 && t[0] == '0' && t[1] == 'X') start = 2, base = 16;
  else if (t[0] == '-') start = 1, negative = true;
  if (start >= t.size()) return false;
  uint64_t v = 0;
  for (size_t i = start; i < t.size(); ++i) {
    int d = t[i] >= '0' && t[i] <= '9' ? t[i] - '0' : base == 16 && t[i] >= 'A' && t[i] <= 'F' ? t[i] - 'A' + 10 : -1;
    if (d < 0) return false;
    v = v * base + uint64_t(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  Color = TColor(negative ? uint32_t(-int64_t(v)) : uint32_t(v));
  return true;
}

bool KvFrameStyleFromIdent(const std::string& Text, TFrameStyle& Style) {
  static const char* kNames[] = {"FSNONE",    "FSFLAT",     "FSGROOVE", "FSBUMP",  "FSLOWERED", "FSBUTTONDOWN",
                                 "FSRAISED",  "FSBUTTONUP", "FSSTATUS", "FSPOPUP", "FSFLATBOLD"};
  std::string t = UpperAscii(Text);
  for (int i = 0; i < 11; ++i)
    if (t == kNames[i]) {
      Style = static_cast<TFrameStyle>(i);
      return true;
    }
  return false;
}

void TKvFrameController::ReadObsoleteProperty(const std::string& Name, const std::string& Value) {
  KvReadObsoleteFrameProperty(this, UpperAscii(Name), Value);
}

namespace {
void RegisterKvFrameControllerProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  using T = TKvFrameController;
  auto colour = [](const char* Name, void (T::*Set)(TColor), TColor (T::*Get)() const) {
    KvRegisterOrdProperty<T>(Name, TTypeKind::tkInteger, [Set](T* c, int64_t v) { (c->*Set)(TColor(v)); },
                             [Get](const T* c) { return int64_t((c->*Get)()); });
  };
  auto flag = [](const char* Name, void (T::*Set)(bool), bool (T::*Get)() const) {
    KvRegisterOrdProperty<T>(Name, TTypeKind::tkEnumeration, [Set](T* c, int64_t v) { (c->*Set)(v != 0); },
                             [Get](const T* c) { return int64_t((c->*Get)()); });
  };
  auto style = [](const char* Name, void (T::*Set)(TFrameStyle), TFrameStyle (T::*Get)() const) {
    KvRegisterOrdProperty<T>(Name, TTypeKind::tkEnumeration,
                             [Set](T* c, int64_t v) { (c->*Set)(static_cast<TFrameStyle>(v)); },
                             [Get](const T* c) { return int64_t((c->*Get)()); });
  };
  colour("Color", &T::SetColor, &T::Color);
  colour("DisabledColor", &T::SetDisabledColor, &T::DisabledColor);
  colour("ReadOnlyColor", &T::SetReadOnlyColor, &T::ReadOnlyColor);
  colour("FlatButtonColor", &T::SetFlatButtonColor, &T::FlatButtonColor);
  colour("FocusColor", &T::SetFocusColor, &T::FocusColor);
  colour("FrameColor", &T::SetFrameColor, &T::FrameColor);
  colour("FrameHotColor", &T::SetFrameHotColor, &T::FrameHotColor);
  flag("ParentColor", &T::SetParentColor, &T::ParentColor);
  flag("ReadOnlyColorOnFocus", &T::SetReadOnlyColorOnFocus, &T::ReadOnlyColorOnFocus);
  flag("FlatButtons", &T::SetFlatButtons, &T::FlatButtons);
  flag("FrameHotTrack", &T::SetFrameHotTrack, &T::FrameHotTrack);
  flag("FrameVisible", &T::SetFrameVisible, &T::FrameVisible);
  style("FrameHotStyle", &T::SetFrameHotStyle, &T::FrameHotStyle);
  style("FrameStyle", &T::SetFrameStyle, &T::FrameStyle);
  KvRegisterOrdProperty<T>("FrameSides", TTypeKind::tkSet,
                           [](T* c, int64_t v) { c->SetFrameSides(TSides::FromBits(uint64_t(v))); },
                           [](const T* c) { return int64_t(c->FrameSides().bits()); });
  KvRegisterOrdProperty<T>("FramingPreference", TTypeKind::tkEnumeration,
                           [](T* c, int64_t v) { c->SetFramingPreference(static_cast<TFramingPreference>(v)); },
                           [](const T* c) { return int64_t(c->FramingPreference()); });
  for (const char* old : {"FrameFlat", "FrameFocusStyle", "FrameFlatStyle"}) {
    std::string name = old;
    KvRegisterObsoleteProperty<T>(old, [name](T* c, const std::string& v) { c->ReadObsoleteProperty(name, v); });
  }
}
}  // namespace
