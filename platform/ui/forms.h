#pragma once
// Forms, the application object with its message loop, and the screen.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

struct TUiEvent;

class TMainMenu;
class TUiBackend;

using TModalResult = int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;

enum class TFormBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition : uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum class TWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
enum class TBorderIcon : uint8_t { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSetOf<TBorderIcon>;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TShortCutEvent = std::function<void(TMessage& Msg, bool& Handled)>;

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  std::string ClassName() const override { return "TCustomForm"; }

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons v) { FBorderIcons = v; }
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TWindowState WindowState() const { return FWindowState; }
  void SetWindowState(TWindowState Value);
  bool Scaled() const { return FScaled; }
  void SetScaled(bool v) { FScaled = v; }
  int32_t PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t v) { FPixelsPerInch = v; }
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool v) { FKeyPreview = v; }
  TMainMenu* Menu() const { return FMenu; }
  void SetMenu(TMainMenu* Value);
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  // The control that last had the focus when the form was deactivated.
  TControl* FocusedControl() const { return FActiveControl; }
  bool Active() const { return FActive; }

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  // Shows the form and runs a message loop until ModalResult is set; other forms are disabled.
  virtual TModalResult ShowModal();
  bool Modal() const { return FModal; }
  void Close();
  // Frees the form once the messages being handled are done.
  void Release();
  virtual bool CloseQuery();
  void FocusControl(TWinControl* Control);
  // Fires OnCreate; a form built in code calls it when its components exist.
  void DoCreate();
  void SetFocus() override;
  bool Showing() const override;
  void SetVisible(bool Value) override;
  // Screen position of the window (top-level forms only).
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

  TCanvas* Canvas() const { return ControlCanvas(); }
  // Back buffer of the window: the form paints itself and its children here.
  TBitmap* BackBuffer() const { return FBackBuffer.get(); }
  // Paints the invalid parts now and shows them (the message loop does this when idle).
  void PaintNow();
  // Paints now only what is invalid inside R (window coordinates), as a control's Update does; the
  // rest stays invalid for the next paint.
  void PaintNowIn(const TRect& R);
  bool NeedsPaint() const;
  // Height of the menu bar drawn at the top of the window (0 without a menu).
  int32_t MenuBarHeight() const;
  // Marks a window rectangle for repainting; marks pixels drawn outside a paint for showing.
  void InvalidateWindowRect(const TRect& R);
  void MarkDirty(const TRect& R);
  // Back-end window identity (0 while not shown).
  uintptr_t BackendWindow() const { return FBackendWindow; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TShortCutEvent OnShortCut;

  // Runs OnDestroy; called by the owner before it frees the form. A form freed with a bare delete
  // never runs OnDestroy, since its handlers may use parts of the form already gone.
  void BeforeDestruction() override;
  // True when a key (WM_KEYDOWN with shift state) is a shortcut of the form's menu and was run.
  virtual bool IsShortCut(uint16_t Key, TShiftState Shift);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void PaintWindow(HDC DC) override;
  virtual void Paint();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  virtual void Deactivate();
  void Dispatch(TMessage& Message) override;
  void CMDialogKey(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Resize() override;

 private:
  friend class TApplication;
  friend class TUiCore;
  friend class TControl;
  friend class TWinControl;
  void EnsureBackendWindow();
  void DropBackendWindow();
  void ResizeBackBuffer();
  void BoundsChanged() override;
  void DoFocusChange(TWinControl* Old, TWinControl* New);
  TRect FInvalid;
  bool FHasInvalid = false;
  TRect FDirty;
  bool FHasDirty = false;
  std::vector<TCustomForm*> FDisabledByModal;
  // The form a modal window is shown over, while ShowModal opens it.
  TCustomForm* FWindowOwner = nullptr;

  TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSizeable;
  TBorderIcons FBorderIcons{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize, TBorderIcon::biMaximize};
  TPosition FPosition = TPosition::poDesigned;
  TWindowState FWindowState = TWindowState::wsNormal;
  bool FScaled = true;
  int32_t FPixelsPerInch = 96;
  bool FKeyPreview = false;
  TMainMenu* FMenu = nullptr;
  TWinControl* FActiveControl = nullptr;
  bool FActive = false;
  TModalResult FModalResult = mrNone;
  bool FModal = false;
  bool FCreated = false;
  bool FDestroyFired = false;
  bool FPositioned = false;
  std::unique_ptr<TBitmap> FBackBuffer;
  uintptr_t FBackendWindow = 0;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
  std::string ClassName() const override { return "TForm"; }
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;
  std::string ClassName() const override { return "TApplication"; }

  // Picks the back end: QV_BACKEND=headless|sdl, else sdl when a display is present. Returns
  // false (and says why on stderr) when a real window was asked for and no display exists.
  bool Initialize();
  // Uses the given back end from now on (tests).
  void SetBackend(std::unique_ptr<TUiBackend> Backend);
  TUiBackend* Backend();
  std::string BackendName();

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& v) { FTitle = v; }
  TCustomForm* MainForm() const { return FMainForm; }
  void SetMainForm(TCustomForm* F) { FMainForm = F; }
  // Creates a form owned by the application; the first one becomes the main form.
  template <class T>
  T* CreateForm() {
    T* f = new T(this);
    if (!FMainForm) FMainForm = f;
    f->DoCreate();
    return f;
  }
  // Shows the main form and runs the message loop until Terminate or the main form closes.
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles every pending message, timer and paint, then returns without waiting.
  void ProcessMessages();
  // Handles one message or waits (blocking) until there is one or a timer is due.
  void HandleMessage();
  // Default exception handler: shows the message in a box and goes on.
  void HandleException(TObject* Sender, const std::exception& E);
  void ShowException(const std::exception& E);
  int32_t MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags);
  std::string ExeName() const;
  bool Active() const { return FActive; }
  int32_t ModalLevel() const { return FModalLevel; }
  void BringToFront();
  void Minimize() {}
  void Restore() {}

  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v) { FShowHint = v; }
  uint32_t HintPause() const { return FHintPause; }
  void SetHintPause(uint32_t v) { FHintPause = v; }
  uint32_t HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(uint32_t v) { FHintHidePause = v; }
  TColor HintColor() const { return FHintColor; }
  void SetHintColor(TColor v) { FHintColor = v; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v);
  void CancelHint();
  // The hint text showing now (empty when none).
  std::string ShownHint() const;

  TExceptionEvent OnException;
  TIdleEvent OnIdle;
  TNotifyEvent OnHint;

  // Runs a function on the GUI thread from any thread at the next message-loop turn.
  void Queue(std::function<void()> Fn);
  // Runs Fn on the GUI thread once the posted messages and the queued input are all handled, before
  // timers and painting: work that only the latest of a burst of input needs (a rebuild per repeat of a
  // held key) runs once for the whole burst.
  void QueueAfterInput(std::function<void()> Fn);
  // True while input from the back end (a key, a click, a move) is being handled.
  bool HandlingInput() const { return FInputDepth > 0; }
  // For the message loop: handles one input event, and runs what waited for the input to be handled
  // (false when nothing waited).
  void DispatchInput(const TUiEvent& Event);
  bool RunAfterInput();

 private:
  friend class TCustomForm;
  friend class TUiCore;
  std::string FTitle;
  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  bool FActive = true;
  int32_t FModalLevel = 0;
  int32_t FInputDepth = 0;
  std::vector<std::function<void()>> FAfterInput;
  bool FShowHint = true;
  uint32_t FHintPause = 500;
  uint32_t FHintHidePause = 2500;
  TColor FHintColor = clInfoBk;
  std::string FHint;
};

// A custom cursor image: 32-bit pixels (0xAARRGGBB), top row first, with its hot spot.
struct TCursorImage {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t HotX = 0;
  int32_t HotY = 0;
  std::vector<uint32_t> Pixels;
};
using HCURSOR = std::shared_ptr<const TCursorImage>;

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;
  std::string ClassName() const override { return "TScreen"; }

  int32_t Width() const;
  int32_t Height() const;
  int32_t DesktopWidth() const { return Width(); }
  int32_t DesktopHeight() const { return Height(); }
  TRect WorkAreaRect() const { return Rect(0, 0, Width(), Height()); }
  int32_t MonitorCount() const { return 1; }
  int32_t PixelsPerInch() const { return 96; }
  // Bits per pixel of the display.
  int32_t BitsPerPixel() const { return 32; }

  // A cursor other than crDefault here overrides every control's cursor (e.g. crHourGlass).
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  // The cursor table: stock ids (negative) are built in; positive ids hold custom images.
  HCURSOR Cursors(TCursor Index) const;
  void SetCursors(TCursor Index, HCURSOR Cursor);
  bool HasCursor(TCursor Index) const;
  // The cursor being shown now.
  TCursor ShownCursor() const { return FShownCursor; }

  TCustomForm* ActiveForm() const;
  TWinControl* ActiveControl() const;
  int32_t FormCount() const { return static_cast<int32_t>(FForms.size()); }
  TCustomForm* Forms(int32_t Index) const { return FForms.at(static_cast<size_t>(Index)); }
  TFont* HintFont() const { return FHintFont.get(); }
  TFont* MenuFont() const { return FMenuFont.get(); }
  TFont* IconFont() const { return FIconFont.get(); }

 private:
  friend class TCustomForm;
  friend class TUiCore;
  TCursor FCursor = crDefault;
  TCursor FShownCursor = crDefault;
  std::map<TCursor, HCURSOR> FCursors;
  std::vector<TCustomForm*> FForms;
  std::unique_ptr<TFont> FHintFont, FMenuFont, FIconFont;
};

// Frees every form the application owns (their OnDestroy runs first); call after Run.
void DoneApplication();

extern TApplication* Application;
extern TScreen* Screen;
