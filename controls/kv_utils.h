#pragma once
// What several themed controls share besides painting: one blink timer for every blinking
// control, the frame controller that keeps many controls' frames and colours alike, the
// configuration-only settings component, monitor queries, small routines and the named colours.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/kv_colors.h"
#include "platform/ui/controls.h"
#include "platform/ui/published.h"
#include "platform/ui/timer.h"

// ---- Blinking ---------------------------------------------------------------------------------------

// Asked of each registered control on every tick; a control that answers 1 is sent the blink message.
inline constexpr uint32_t KV_BLINK_QUERY = 0xB3E8;
// WParam 1: blink on, 0: off.
inline constexpr uint32_t KV_BLINK = 0xB3E9;

class TKvBlinkingControlsList {
 public:
  TKvBlinkingControlsList();
  ~TKvBlinkingControlsList();
  TKvBlinkingControlsList(const TKvBlinkingControlsList&) = delete;
  TKvBlinkingControlsList& operator=(const TKvBlinkingControlsList&) = delete;

  void RegisterControl(TControl* Control);
  void UnregisterControl(TControl* Control);
  int32_t ControlCount() const { return static_cast<int32_t>(FControls.size()); }
  bool BlinkOn() const { return FBlinkOn; }
  uint32_t IntervalOn() const { return FIntervalOn; }
  void SetIntervalOn(uint32_t Value);
  uint32_t IntervalOff() const { return FIntervalOff; }
  void SetIntervalOff(uint32_t Value);
  // The timer's handler: switches the state and tells every control that wants to blink.
  void ToggleBlink();

 private:
  bool FBlinkOn = true;
  uint32_t FIntervalOn = 500, FIntervalOff = 500;
  std::unique_ptr<TTimer> FTimer;
  std::vector<TControl*> FControls;
};

// The one list of the process; nil until a blinking control needs it.
extern TKvBlinkingControlsList* KvBlinkingList;
// The list, made on first need.
TKvBlinkingControlsList* KvNeedBlinkingList();
// Frees the list when no control is registered any more.
void KvReleaseBlinkingList();

// ---- Frame controller ------------------------------------------------------------------------------

enum class TKvFrameControllerProperty : uint8_t {
  fcpColor,
  fcpFocusColor,
  fcpDisabledColor,
  fcpReadOnlyColor,
  fcpReadOnlyColorOnFocus,
  fcpParentColor,
  fcpFlatButtonColor,
  fcpFlatButtons,
  fcpFrameColor,
  fcpFrameHotColor,
  fcpFrameHotTrack,
  fcpFrameHotStyle,
  fcpFrameSides,
  fcpFrameStyle,
  fcpFrameVisible,
  fcpFramingPreference,
  fcpAll
};
using TKvFrameControllerNotifications = TSetOf<TKvFrameControllerProperty>;
// All sixteen settings (fcpColor .. fcpFramingPreference).
inline constexpr TKvFrameControllerNotifications KvAllFrameNotifications =
    TKvFrameControllerNotifications::FromBits(0xFFFF);

// A control that applies the controller's settings itself.
class IKvFrameControllerClient {
 public:
  virtual ~IKvFrameControllerClient() = default;
  virtual void ApplyFrameController() = 0;
};

enum class TKvPathType : uint8_t { ptIniFile, ptRegistry };
enum class TKvRegKey : uint8_t {
  hkeyClassesRoot,
  hkeyCurrentUser,
  hkeyLocalMachine,
  hkeyUsers,
  hkeyPerformanceData,
  hkeyCurrentConfig,
  hkeyDynData
};
enum class TKvRegAccessKey : uint8_t {
  keyQueryValue,
  keySetValue,
  keyCreateSubKey,
  keyEnumerateSubKeys,
  keyNotify,
  keyCreateLink,
  keyRead,
  keyWrite,
  keyExecute,
  keyAllAccess
};
using TKvRegAccess = TSetOf<TKvRegAccessKey>;

// Where settings would be kept; only its configuration exists.
class TKvRegIniFile : public TComponent {
 public:
  explicit TKvRegIniFile(TComponent* AOwner);
  std::string ClassName() const override { return "TKvRegIniFile"; }
  const std::string& Path() const { return FPath; }
  void SetPath(const std::string& Value);
  TKvPathType PathType() const { return FPathType; }
  void SetPathType(TKvPathType Value);
  TKvRegKey RegKey() const { return FRegKey; }
  void SetRegKey(TKvRegKey Value);
  TKvRegAccess RegAccess() const { return FRegAccess; }
  void SetRegAccess(TKvRegAccess Value);
  // The storage must be opened again before use (set by every change above).
  bool NeedsReopen() const { return FReopen; }

 private:
  std::string FPath;
  TKvPathType FPathType = TKvPathType::ptIniFile;
  TKvRegKey FRegKey = TKvRegKey::hkeyCurrentUser;
  TKvRegAccess FRegAccess{TKvRegAccessKey::keyAllAccess};
  bool FReopen = true;
};

class TKvFrameController : public TComponent {
 public:
  explicit TKvFrameController(TComponent* AOwner);
  ~TKvFrameController() override;
  std::string ClassName() const override { return "TKvFrameController"; }

  void RegisterControl(TControl* Control);
  void UnregisterControl(TControl* Control);
  int32_t ControlCount() const { return FControls ? static_cast<int32_t>(FControls->size()) : 0; }
  void HoldPushes() { ++FHoldCount; }
  void ReleasePushes();
  void PushEverything() { PushToAll(TKvFrameControllerProperty::fcpAll); }
  // Copies every setting of another controller in one push; other sources as the base class does.
  void AssignFrom(TPersistent* Source);
  // The settings a control accepts: its published FrameControllerNotifications, or all of them.
  static TKvFrameControllerNotifications NotificationsOf(TControl* Control);

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TColor FlatButtonColor() const { return FFlatButtonColor; }
  void SetFlatButtonColor(TColor Value);
  bool FlatButtons() const { return FFlatButtons; }
  void SetFlatButtons(bool Value);
  TColor DisabledColor() const { return FDisabledColor; }
  void SetDisabledColor(TColor Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  void SetReadOnlyColor(TColor Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  void SetReadOnlyColorOnFocus(bool Value);
  TColor FocusColor() const { return FFocusColor; }
  void SetFocusColor(TColor Value);
  TColor FrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor Value);
  TColor FrameHotColor() const { return FFrameHotColor; }
  void SetFrameHotColor(TColor Value);
  bool FrameHotTrack() const { return FFrameHotTrack; }
  void SetFrameHotTrack(bool Value);
  TFrameStyle FrameHotStyle() const { return FFrameHotStyle; }
  void SetFrameHotStyle(TFrameStyle Value);
  TSides FrameSides() const { return FFrameSides; }
  void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return FFrameVisible; }
  void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return FFramingPreference; }
  void SetFramingPreference(TFramingPreference Value);
  TKvRegIniFile* RegIniFile() const { return FRegIniFile; }
  void SetRegIniFile(TKvRegIniFile* Value);
  // Values older forms stored ("FrameFlat", "FrameFocusStyle", "FrameFlatStyle"): applied, never
  // written.
  void ReadObsoleteProperty(const std::string& Name, const std::string& Value);

 protected:
  virtual void PushToControl(TControl* Control, TKvFrameControllerProperty Index);
  virtual void PushToAll(TKvFrameControllerProperty Index);
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void PushOne(TControl* Control, TKvFrameControllerProperty Index);
  TColor FColor = clWindow;
  TColor FDisabledColor = clBtnFace;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
  TColor FFlatButtonColor = clBtnFace;
  bool FFlatButtons = true;
  TColor FFocusColor = clWindow;
  TColor FFrameColor = clBtnShadow;
  TColor FFrameHotColor = clBtnShadow;
  TFrameStyle FFrameHotStyle = fsFlatBold;
  bool FFrameHotTrack = false;
  TSides FFrameSides = KvAllSides;
  TFrameStyle FFrameStyle = fsFlat;
  bool FFrameVisible = false;
  TFramingPreference FFramingPreference = fpXPThemes;
  bool FParentColor = false;
  TKvRegIniFile* FRegIniFile = nullptr;
  int32_t FHoldCount = 0;
  std::unique_ptr<std::vector<TControl*>> FControls;
};

// Writes a published ordinal property when the control has one with a setter; false otherwise.
bool KvSetOrdPropIfPublished(TComponent* Component, const std::string& Name, int64_t Value);
// Registers an ordinal published property (Boolean, enumeration, set, colour) with its accessors.
template <class T>
void KvRegisterOrdProperty(const std::string& Name, TTypeKind Kind, std::function<void(T*, int64_t)> Set,
                           std::function<int64_t(const T*)> Get) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = Kind;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  p.SetOrd = [Set](TComponent* c, int64_t v) { Set(static_cast<T*>(c), v); };
  if (Get) p.GetOrd = [Get](const TComponent* c) { return Get(static_cast<const T*>(c)); };
  RegisterPropInfo(std::move(p));
}
// A value that older versions of the library wrote into forms: read from its text through Read,
// never written.
template <class T>
void KvRegisterObsoleteProperty(const std::string& Name, std::function<void(T*, const std::string&)> Read) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TTypeKind::tkLString;
  p.AppliesTo = [](const TComponent* c) { return dynamic_cast<const T*>(c) != nullptr; };
  p.SetStr = [Read](TComponent* c, const std::string& v) { Read(static_cast<T*>(c), v); };
  RegisterPropInfo(std::move(p));
}
// A TFrameStyle by its identifier ("fsLowered"), any case.
bool KvFrameStyleFromIdent(const std::string& Text, TFrameStyle& Style);
// The Boolean text of a form value ("True", "1").
bool KvTextIsTrue(const std::string& Text);

// The old stored frame properties of a control with frame styles: "FrameFlat" turns hot tracking on with
// the status and lowered styles, "FrameFocusStyle" is the hot style, "FrameFlatStyle" is read and dropped.
template <class TFramed>
void KvReadObsoleteFrameProperty(TFramed* C, const std::string& UpperName, const std::string& Value) {
  if (UpperName == "FRAMEFLAT") {
    const bool On = KvTextIsTrue(Value);
    C->SetFrameHotTrack(On);
    if (On) {
      C->SetFrameStyle(fsStatus);
      C->SetFrameHotStyle(fsLowered);
    }
  } else if (UpperName == "FRAMEFOCUSSTYLE") {
    TFrameStyle St;
    if (KvFrameStyleFromIdent(Value, St)) C->SetFrameHotStyle(St);
  }
}
// A colour as forms store it: a colour name ("clBtnFace") or a number (decimal, "$" or "0x" hex).
bool KvStringToColor(const std::string& Text, TColor& Color);

// "Transparent" with its accessors, so that KvInvalidateTransparentChildren finds the control.
template <class T>
void KvRegisterTransparentProperty() {
  KvRegisterOrdProperty<T>("Transparent", TTypeKind::tkEnumeration, [](T* c, int64_t v) { c->SetTransparent(v != 0); },
                           [](const T* c) { return int64_t(c->Transparent()); });
}

// ---- Monitors ---------------------------------------------------------------------------------------

// A monitor by its number on the screen (0 the first); -1 is none.
using TKvMonitor = int32_t;
inline constexpr TKvMonitor KvNoMonitor = -1;
TRect KvWorkAreaOfWindow(TWinControl* Window);
int32_t KvWorkAreaWidthOfWindow(TWinControl* Window);
TRect KvWorkAreaOfMonitor(TKvMonitor Monitor);
TRect KvBoundsOfMonitor(TKvMonitor Monitor);
TKvMonitor KvMonitorAtPoint(const TPoint& P);

// ---- Small routines ---------------------------------------------------------------------------------

TRect KvCenteredRect(const TRect& R, int32_t Width, int32_t Height);
// Drops single "&" accelerator marks; "&&" becomes "&"; the last character always stays.
std::string KvStripAccelerators(const std::string& Text);
inline int32_t KvMinInt(int32_t A, int32_t B) { return A < B ? A : B; }
inline int32_t KvMaxInt(int32_t A, int32_t B) { return A > B ? A : B; }
// Tells a form designer that the control's form changed; nothing at run time.
void KvNotifyDesignerModified(TControl* Control);
// Whether the system is the given Windows version (0 95 .. 6 Server 2003); never on this platform.
bool KvIsWindowsVersion(int32_t Version);
// Invalidates every child of Container whose published Transparent property is on.
void KvInvalidateTransparentChildren(TWinControl* Container);

// ---- Named colours ---------------------------------------------------------------------------------

struct TKvColorName {
  TColor Color;
  const char* Name;
};
inline constexpr int32_t KvColorNameCount = 70;
// Rows 0 to 39 the palette, 40 to 69 the system colours.
extern const TKvColorName KvColorNames[KvColorNameCount];
