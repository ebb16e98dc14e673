#pragma once
// Shared state of the windowing layer's own sources (not for other libraries).

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

class TUiMenuLoop;

class TUiCore {
 public:
  // Handle table (any thread may look up; only the GUI thread adds and removes).
  static HWND NewHandle(TWinControl* Control, std::function<void(TMessage&)> Proc);
  static void FreeHandle(HWND Wnd);
  static bool Deliver(HWND Wnd, TMessage& M);

  // Posted-message queue.
  static bool Post(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
  static void QueueFn(std::function<void()> Fn);
  static bool DispatchPosted();

  // Timers.
  static uintptr_t SetTimer(HWND Wnd, uintptr_t Id, uint32_t Elapse);
  static bool KillTimer(HWND Wnd, uintptr_t Id);
  static void KillTimersOf(HWND Wnd);
  static bool FireDueTimers();
  // Milliseconds until the next timer (-1: none).
  static int64_t NextTimerDelay();

  // Input from the back end.
  static void HandleEvent(const TUiEvent& E);
  static TCustomForm* FormOfWindow(uintptr_t BackendWindow);
  static void RegisterFormWindow(uintptr_t BackendWindow, TCustomForm* Form);
  static void UnregisterFormWindow(uintptr_t BackendWindow);
  // An open drop-down list closes at a press elsewhere (true: the press was on its box and is used up)
  // and when its box's window loses the focus.
  static bool DropDownTakesMouseDown(TCustomForm* F, const TPoint& WindowPt);
  static void DropDownOwnerLostFocus(TCustomForm* F);
  // The top-level form showing on top (the last activated that is visible), or nil.
  static TCustomForm* TopForm();

  // State that must forget a control when it goes.
  static void ControlDestroyed(TControl* C);
  static TControl* Capture;
  static TControl* MouseControl;
  static TWinControl* Focus;
  static TShiftState Shift;
  static TPoint CursorScreen;
  static TUiMenuLoop* MenuLoop;
  // Control whose hint shows, and the hint text.
  static TControl* HintControl;
  static std::string HintText;
  static bool HintShowing;
  static uint64_t HintDue;
  static uint64_t HintHideDue;

  // Painting.
  static bool PaintAll();
  static void UpdateCursor(TControl* Over);
  // Shows C as the pointer now (a WM_SETCURSOR handler that answers 1 chose it).
  static void ShowCursor(TCursor C);
  static std::vector<TCustomForm*>& Forms();
  static void ProcessReleases();
  static std::vector<TCustomForm*> PendingRelease;
  // UTF-8 text of the character being delivered by WM_CHAR.
  static std::string& CharText();
};

// The back end in use, without making one (any thread; nil before the first window).
TUiBackend* CurrentBackend();

// The caret rectangle of a window (client coordinates) when it shows.
bool CaretRect(HWND Wnd, TRect& R);

// A control area's canvas is bound to its form's back buffer (or a scratch bitmap).
void BindControlCanvas(TControl* C, TControlCanvas* Canvas, bool ForPaint);
// Window-coordinate rectangle of a control's outer bounds inside its form.
bool ControlWindowRect(const TControl* C, TRect& R);
// Window-coordinate origin of a control's client area.
bool ControlClientOrigin(const TControl* C, TPoint& P);
// Paints a windowed control and its children inside U (window coordinates) into the back buffer.
void PaintControlTree(TWinControl* W, const TRect& U);
// The hint popup.
void ShowHintWindow(const std::string& Text, const TPoint& ScreenPos);
void HideHintWindow();
TCustomForm* HintWindow();
// Starts resizing F from its bottom-right corner with the mouse (the system's size command): the
// pointer's moves resize the form until the button goes up.
void BeginFormSizing(TCustomForm* F);
// Default look of a raised button face (message boxes, scroll bars).
void DrawButtonFace(HDC DC, const TRect& R, bool Down, bool Enabled);
