// Handles, the posted-message queue, timers, the UI clock and input routing.
#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/base/clock.h"
#include "platform/ui/menus.h"
#include "platform/ui/menus_internal.h"
#include "platform/ui/timer.h"
#include "platform/ui/ui_internal.h"

TControl* TUiCore::Capture = nullptr;
TControl* TUiCore::MouseControl = nullptr;
TWinControl* TUiCore::Focus = nullptr;
TShiftState TUiCore::Shift;
TPoint TUiCore::CursorScreen;
TUiMenuLoop* TUiCore::MenuLoop = nullptr;
TControl* TUiCore::HintControl = nullptr;
std::string TUiCore::HintText;
bool TUiCore::HintShowing = false;
uint64_t TUiCore::HintDue = 0;
uint64_t TUiCore::HintHideDue = UINT64_MAX;
std::vector<TCustomForm*> TUiCore::PendingRelease;

namespace {

struct THandleEntry {
  TWinControl* Control = nullptr;
  std::function<void(TMessage&)> Proc;
};

std::mutex& HandleMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<HWND, THandleEntry>& HandleTable() {
  static std::unordered_map<HWND, THandleEntry> t;
  return t;
}
HWND gNextHandle = 0x1000;

struct TPosted {
  HWND Wnd = 0;
  TMessage Msg;
  std::function<void()> Fn;
};
std::mutex& QueueMutex() {
  static std::mutex m;
  return m;
}
std::deque<TPosted>& Queue() {
  static std::deque<TPosted> q;
  return q;
}

struct TTimerEntry {
  HWND Wnd;
  uintptr_t Id;
  uint32_t Elapse;
  uint64_t Due;
};
std::vector<TTimerEntry>& Timers() {
  static std::vector<TTimerEntry> t;
  return t;
}

std::unique_ptr<TTestClock> gTestClock;

std::map<uintptr_t, TCustomForm*>& WindowForms() {
  static std::map<uintptr_t, TCustomForm*> m;
  return m;
}

// Double-click detection.
struct TClickMemory {
  TControl* Target = nullptr;
  TMouseButton Button = TMouseButton::mbLeft;
  uint64_t Time = 0;
  TPoint Pos;
  bool Valid = false;
} gLastClick;

// Scroll-bar drag in progress (window control, bar).
TWinControl* gScrollControl = nullptr;
// A key press handled before it reached the control types no character.
bool gSuppressChar = false;
bool gAltTap = false;

uint32_t MouseKeys(TShiftState S) {
  uint32_t k = 0;
  if (S.Contains(ssLeft)) k |= MK_LBUTTON;
  if (S.Contains(ssRight)) k |= MK_RBUTTON;
  if (S.Contains(ssMiddle)) k |= MK_MBUTTON;
  if (S.Contains(ssShift)) k |= MK_SHIFT;
  if (S.Contains(ssCtrl)) k |= MK_CONTROL;
  if (S.Contains(ssAlt)) k |= MK_ALT;
  return k;
}

TShiftState ButtonBit(TMouseButton B) {
  switch (B) {
    case TMouseButton::mbLeft: return TShiftState(ssLeft);
    case TMouseButton::mbRight: return TShiftState(ssRight);
    case TMouseButton::mbMiddle: return TShiftState(ssMiddle);
  }
  return {};
}

TControl* ControlAtWindowPoint(TCustomForm* F, const TPoint& P) {
  TPoint origin;
  if (!ControlClientOrigin(F, origin)) return nullptr;
  TPoint cp(P.X - origin.X, P.Y - origin.Y);
  if (!PtInRect(F->ClientRect(), cp)) return nullptr;
  TControl* c = F->ControlAtPos(cp, true, true);
  // Descend through windowed children.
  TControl* result = c ? c : F;
  while (auto* w = dynamic_cast<TWinControl*>(c)) {
    TPoint wo;
    if (!ControlClientOrigin(w, wo)) break;
    TPoint wp(P.X - wo.X, P.Y - wo.Y);
    if (!PtInRect(w->ClientRect(), wp)) break;  // on its frame or scroll bars
    TControl* inner = w->ControlAtPos(wp, true, true);
    if (!inner) break;
    result = inner;
    c = inner;
  }
  return result;
}

bool EffectivelyEnabled(const TControl* C) {
  for (const TControl* p = C; p; p = p->Parent())
    if (!p->Enabled()) return false;
  return true;
}

intptr_t PointLParam(const TControl* C, const TPoint& WindowPt) {
  TPoint o;
  ControlClientOrigin(C, o);
  return MakeLParam(WindowPt.X - o.X, WindowPt.Y - o.Y);
}

uint32_t DownMsg(TMouseButton B, bool Dbl) {
  switch (B) {
    case TMouseButton::mbLeft: return Dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    case TMouseButton::mbRight: return Dbl ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN;
    case TMouseButton::mbMiddle: return Dbl ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN;
  }
  return WM_LBUTTONDOWN;
}
uint32_t UpMsg(TMouseButton B) {
  switch (B) {
    case TMouseButton::mbLeft: return WM_LBUTTONUP;
    case TMouseButton::mbRight: return WM_RBUTTONUP;
    case TMouseButton::mbMiddle: return WM_MBUTTONUP;
  }
  return WM_LBUTTONUP;
}

intptr_t KeyData(TShiftState S, bool Up) {
  intptr_t d = 1;
  if (S.Contains(ssAlt)) d |= KF_ALTDOWN_BIT;
  if (Up) d |= intptr_t(0xC0000000u);
  return d;
}

void SetMouseControl(TControl* C) {
  if (C == TUiCore::MouseControl) return;
  TControl* old = TUiCore::MouseControl;
  TUiCore::MouseControl = C;
  if (old) old->Perform(CM_MOUSELEAVE, 0, 0);
  if (C) C->Perform(CM_MOUSEENTER, 0, 0);
  // A new control under the pointer restarts the hint.
  if (TUiCore::HintShowing) HideHintWindow();
  TUiCore::HintShowing = false;
  TUiCore::HintText.clear();
  TUiCore::HintControl = C;
  TUiCore::HintDue = UiTickCount() + (Application ? Application->HintPause() : 500);
}

// A form being resized from its bottom-right corner, with the pointer and size where it began.
struct TFormSizing {
  TCustomForm* Form = nullptr;
  TPoint Start;
  int32_t Width = 0, Height = 0;
};
TFormSizing gSizing;

void RouteMouse(TCustomForm* F, const TUiEvent& E) {
  TPoint wp(E.X, E.Y);
  TUiCore::CursorScreen = Point(F->Left() + E.X, F->Top() + E.Y);
  TUiCore::Shift = E.Shift;
  if (gSizing.Form == F && (E.Type == TUiEvent::Kind::MouseMove || E.Type == TUiEvent::Kind::MouseUp)) {
    F->SetBounds(F->Left(), F->Top(), gSizing.Width + E.X - gSizing.Start.X, gSizing.Height + E.Y - gSizing.Start.Y);
    if (E.Type == TUiEvent::Kind::MouseUp) gSizing.Form = nullptr;
    return;
  }
  if (TUiCore::MenuLoop && TUiMenuLoop::HandleMouse(F, E)) return;
  if (!F->Enabled()) return;
  if (E.Type == TUiEvent::Kind::MouseDown) gAltTap = false;
  if (E.Type == TUiEvent::Kind::MouseMove && F->Menu()) TUiMenuLoop::BarMouseMove(F, wp);

  // Menu bar.
  if (E.Type == TUiEvent::Kind::MouseDown && F->Menu() && E.Y >= 0 && E.Y < F->MenuBarHeight() && !TUiCore::Capture) {
    TUiMenuLoop::BarMouseDown(F, wp);
    return;
  }

  // Scroll-bar drag keeps the bar's control.
  if (gScrollControl) {
    TWinControl* w = gScrollControl;
    uint32_t msg = E.Type == TUiEvent::Kind::MouseUp ? WM_LBUTTONUP : WM_MOUSEMOVE;
    if (E.Type == TUiEvent::Kind::MouseMove || E.Type == TUiEvent::Kind::MouseUp) {
      TRect wr;
      ControlWindowRect(w, wr);
      w->ScrollBarMouse(msg, Point(wp.X - wr.Left, wp.Y - wr.Top));
      if (msg == WM_LBUTTONUP) gScrollControl = nullptr;
      return;
    }
  }

  TControl* target = TUiCore::Capture;
  TControl* under = ControlAtWindowPoint(F, wp);
  if (!target) target = under;
  if (!target) return;
  if (!TUiCore::Capture) SetMouseControl(under);

  if (E.Type != TUiEvent::Kind::MouseWheel && !TUiCore::Capture && !EffectivelyEnabled(target)) return;

  // Scroll bars of a windowed control are in its frame.
  if (!TUiCore::Capture && E.Type == TUiEvent::Kind::MouseDown && E.Button == TMouseButton::mbLeft) {
    if (auto* w = dynamic_cast<TWinControl*>(target)) {
      TRect wr;
      if (ControlWindowRect(w, wr) && w->ScrollBarMouse(WM_LBUTTONDOWN, Point(wp.X - wr.Left, wp.Y - wr.Top))) {
        gScrollControl = w;
        return;
      }
    }
  }

  switch (E.Type) {
    case TUiEvent::Kind::MouseMove: {
      target->Perform(WM_MOUSEMOVE, MouseKeys(E.Shift), PointLParam(target, wp));
      TUiCore::UpdateCursor(under ? under : target);
      break;
    }
    case TUiEvent::Kind::MouseDown: {
      if (TUiCore::HintShowing) Application->CancelHint();
      TShiftState s = E.Shift + ButtonBit(E.Button);
      TUiCore::Shift = s;
      uint64_t now = UiTickCount();
      bool dbl = gLastClick.Valid && gLastClick.Target == target && gLastClick.Button == E.Button &&
                 now - gLastClick.Time <= GetDoubleClickTime() &&
                 std::abs(gLastClick.Pos.X - wp.X) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                 std::abs(gLastClick.Pos.Y - wp.Y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2 &&
                 target->ControlStyle().Contains(csDoubleClicks);
      gLastClick = {target, E.Button, now, wp, !dbl};
      // Clicking a windowed control that can take the focus gives it the focus; a windowless
      // control (a tool button, a label) leaves the focus where it is.
      TWinControl* focusTarget = dynamic_cast<TWinControl*>(target);
      if (focusTarget && focusTarget != F && focusTarget->FocusOnClick() && focusTarget->CanFocus() &&
          !focusTarget->Focused() &&
          E.Button == TMouseButton::mbLeft)
        focusTarget->SetFocus();
      target->Perform(DownMsg(E.Button, dbl), MouseKeys(s), PointLParam(target, wp));
      break;
    }
    case TUiEvent::Kind::MouseUp: {
      TShiftState s = E.Shift - ButtonBit(E.Button);
      TUiCore::Shift = s;
      target->Perform(UpMsg(E.Button), MouseKeys(s), PointLParam(target, wp));
      if (E.Button == TMouseButton::mbRight) {
        // The context menu asks the control under the pointer, then its parents.
        TControl* c = under;
        TPoint sp = TUiCore::CursorScreen;
        while (c) {
          if (c->Perform(WM_CONTEXTMENU, 0, MakeLParam(sp.X, sp.Y)) != 0) break;
          c = c->Parent();
        }
      }
      break;
    }
    case TUiEvent::Kind::MouseWheel: {
      TPoint sp = TUiCore::CursorScreen;
      uintptr_t wparam = MakeWParam(static_cast<int>(MouseKeys(E.Shift)), E.WheelDelta);
      uint32_t msg = E.Horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL;
      for (TControl* c = target; c; c = c->Parent()) {
        if (!EffectivelyEnabled(c)) continue;
        if (c->Perform(msg, wparam, MakeLParam(sp.X, sp.Y)) != 0) break;
      }
      break;
    }
    default: break;
  }
}

void RouteKey(TCustomForm* F, const TUiEvent& E) {
  TUiCore::Shift = E.Shift;
  if (E.Type == TUiEvent::Kind::KeyDown) gSuppressChar = false;
  // Alt pressed and let go with nothing between activates the menu bar.
  if (E.Type == TUiEvent::Kind::KeyDown) gAltTap = E.Key == VK_MENU && !TUiCore::MenuLoop;
  if (E.Type == TUiEvent::Kind::Char && E.Shift.Contains(ssAlt)) gAltTap = false;
  if (E.Type == TUiEvent::Kind::KeyUp && E.Key == VK_MENU && gAltTap) {
    gAltTap = false;
    if (F->Menu() && F->Enabled() && !TUiCore::MenuLoop) {
      TUiMenuLoop::ActivateBar(F);
      return;
    }
  }
  if (TUiCore::MenuLoop && TUiMenuLoop::HandleKey(F, E)) {
    // The menu took the key, so its character is owed to nobody; once the menu took the character
    // (an item chosen by its letter), the next one typed, wherever it goes, is the user's.
    if (E.Type == TUiEvent::Kind::KeyDown) gSuppressChar = true;
    if (E.Type == TUiEvent::Kind::Char) gSuppressChar = false;
    return;
  }
  if (!F->Enabled()) return;
  TWinControl* target = F->ActiveControl();
  if (!target || !target->Showing() || !EffectivelyEnabled(target)) target = F;
  bool alt = E.Shift.Contains(ssAlt);
  switch (E.Type) {
    case TUiEvent::Kind::KeyDown: {
      if (TUiCore::HintShowing) Application->CancelHint();
      gSuppressChar = true;
      // F10 selects the menu bar, as a lone Alt does; Down, Enter or a letter then opens an item.
      if (E.Key == VK_F10 && !alt && F->Menu()) {
        TUiMenuLoop::ActivateBar(F);
        return;
      }
      uint32_t cn = alt ? CN_SYSKEYDOWN : CN_KEYDOWN;
      if (target->Perform(cn, E.Key, KeyData(E.Shift, false)) != 0) return;
      gSuppressChar = false;
      target->Perform(alt ? WM_SYSKEYDOWN : WM_KEYDOWN, E.Key, KeyData(E.Shift, false));
      break;
    }
    case TUiEvent::Kind::KeyUp: {
      if (target->Perform(CN_KEYUP, E.Key, KeyData(E.Shift, true)) != 0) return;
      target->Perform(alt ? WM_SYSKEYUP : WM_KEYUP, E.Key, KeyData(E.Shift, true));
      break;
    }
    case TUiEvent::Kind::Char: {
      if (gSuppressChar) {
        gSuppressChar = false;
        return;
      }
      if (E.Text.empty()) return;
      // Character code: the first byte for ASCII, else the code point.
      uint32_t code = static_cast<unsigned char>(E.Text[0]);
      if (code >= 0x80) {
        const unsigned char* s = reinterpret_cast<const unsigned char*>(E.Text.data());
        if ((s[0] & 0xE0) == 0xC0 && E.Text.size() >= 2) code = ((s[0] & 0x1F) << 6) | (s[1] & 0x3F);
        else if ((s[0] & 0xF0) == 0xE0 && E.Text.size() >= 3)
          code = ((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F);
        else if (E.Text.size() >= 4)
          code = ((s[0] & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) | (s[3] & 0x3F);
      }
      if (alt) {
        // Alt + character: accelerators of the controls, then of the menu bar.
        if (F->Perform(CM_DIALOGCHAR, code, KeyData(E.Shift, false)) != 0) return;
        if (F->Menu() && TUiMenuLoop::BarAccelerator(F, code)) return;
        return;
      }
      TUiCore::CharText() = E.Text;
      if (target->Perform(CN_CHAR, code, KeyData(E.Shift, false)) != 0) return;
      target->Perform(WM_CHAR, code, KeyData(E.Shift, false));
      break;
    }
    default: break;
  }
}

}  // namespace

std::string& TUiCore::CharText() {
  static std::string s;
  return s;
}

// ---- handles --------------------------------------------------------------------------------

HWND TUiCore::NewHandle(TWinControl* Control, std::function<void(TMessage&)> Proc) {
  std::lock_guard<std::mutex> l(HandleMutex());
  HWND h = ++gNextHandle;
  HandleTable()[h] = {Control, std::move(Proc)};
  return h;
}

void TUiCore::FreeHandle(HWND Wnd) {
  {
    std::lock_guard<std::mutex> l(HandleMutex());
    HandleTable().erase(Wnd);
  }
  KillTimersOf(Wnd);
}

bool TUiCore::Deliver(HWND Wnd, TMessage& M) {
  THandleEntry e;
  {
    std::lock_guard<std::mutex> l(HandleMutex());
    auto it = HandleTable().find(Wnd);
    if (it == HandleTable().end()) return false;
    e = it->second;
  }
  if (e.Control) {
    if (e.Control->WindowProc) e.Control->WindowProc(M);
    else e.Control->WndProc(M);
  } else if (e.Proc) {
    e.Proc(M);
  }
  return true;
}

TWinControl* FindControl(HWND Handle) {
  std::lock_guard<std::mutex> l(HandleMutex());
  auto it = HandleTable().find(Handle);
  return it == HandleTable().end() ? nullptr : it->second.Control;
}

bool IsWindow(HWND Wnd) {
  std::lock_guard<std::mutex> l(HandleMutex());
  return HandleTable().count(Wnd) != 0;
}

HWND AllocateHWnd(std::function<void(TMessage&)> WndProc) { return TUiCore::NewHandle(nullptr, std::move(WndProc)); }
void DeallocateHWnd(HWND Wnd) { TUiCore::FreeHandle(Wnd); }

intptr_t SendMessage(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  TMessage m;
  m.Msg = Msg;
  m.WParam = WParam;
  m.LParam = LParam;
  if (!TUiCore::Deliver(Wnd, m)) return 0;
  return m.Result;
}

bool PostMessage(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam) { return TUiCore::Post(Wnd, Msg, WParam, LParam); }

// ---- posted messages ------------------------------------------------------------------------

bool TUiCore::Post(HWND Wnd, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  if (Wnd != 0 && !IsWindow(Wnd)) return false;
  {
    std::lock_guard<std::mutex> l(QueueMutex());
    TPosted p;
    p.Wnd = Wnd;
    p.Msg.Msg = Msg;
    p.Msg.WParam = WParam;
    p.Msg.LParam = LParam;
    Queue().push_back(std::move(p));
  }
  if (TUiBackend* be = CurrentBackend()) be->Wake();
  return true;
}

void TUiCore::QueueFn(std::function<void()> Fn) {
  {
    std::lock_guard<std::mutex> l(QueueMutex());
    TPosted p;
    p.Fn = std::move(Fn);
    Queue().push_back(std::move(p));
  }
  if (TUiBackend* be = CurrentBackend()) be->Wake();
}

bool TUiCore::DispatchPosted() {
  TPosted p;
  {
    std::lock_guard<std::mutex> l(QueueMutex());
    if (Queue().empty()) return false;
    p = std::move(Queue().front());
    Queue().pop_front();
  }
  if (p.Fn) {
    p.Fn();
    return true;
  }
  if (p.Wnd == 0) {
    if (p.Msg.Msg == WM_QUIT && Application) Application->Terminate();
    return true;
  }
  Deliver(p.Wnd, p.Msg);
  return true;
}

// ---- clock and timers -----------------------------------------------------------------------

uint64_t UiTickCount() { return GetTickCount64(); }

void UseTestUiClock(bool On) {
  if (On && !gTestClock) gTestClock = std::make_unique<TTestClock>(GetTickCount64());
  if (!On) gTestClock.reset();
}

void AdvanceUiClock(uint64_t Milliseconds) {
  if (gTestClock) gTestClock->Advance(Milliseconds);
}

bool UiClockIsTest() { return gTestClock != nullptr; }

uintptr_t TUiCore::SetTimer(HWND Wnd, uintptr_t Id, uint32_t Elapse) {
  if (Elapse == 0) Elapse = 1;
  uint64_t due = UiTickCount() + Elapse;
  for (auto& t : Timers())
    if (t.Wnd == Wnd && t.Id == Id) {
      t.Elapse = Elapse;
      t.Due = due;
      return Id;
    }
  Timers().push_back({Wnd, Id, Elapse, due});
  return Id;
}

bool TUiCore::KillTimer(HWND Wnd, uintptr_t Id) {
  auto& v = Timers();
  auto it = std::find_if(v.begin(), v.end(), [&](const TTimerEntry& t) { return t.Wnd == Wnd && t.Id == Id; });
  if (it == v.end()) return false;
  v.erase(it);
  return true;
}

void TUiCore::KillTimersOf(HWND Wnd) {
  auto& v = Timers();
  v.erase(std::remove_if(v.begin(), v.end(), [&](const TTimerEntry& t) { return t.Wnd == Wnd; }), v.end());
}

bool TUiCore::FireDueTimers() {
  uint64_t now = UiTickCount();
  // Collect first: handlers may add or kill timers.
  std::vector<std::pair<HWND, uintptr_t>> due;
  for (auto& t : Timers())
    if (t.Due <= now) {
      due.emplace_back(t.Wnd, t.Id);
      // A late timer fires once, not once per missed interval.
      t.Due = now + t.Elapse;
    }
  for (const auto& d : due) {
    HWND w = d.first;
    uintptr_t id = d.second;
    bool alive = std::any_of(Timers().begin(), Timers().end(),
                             [&](const TTimerEntry& t) { return t.Wnd == w && t.Id == id; });
    if (!alive) continue;
    SendMessage(w, WM_TIMER, id, 0);
  }
  // Hints become due on the same clock.
  if (HintControl && !HintShowing && now >= HintDue && Application && Application->ShowHint()) {
    TControl* c = HintControl;
    bool show = c->ShowHint();
    if (!c->Hint().empty() && show) {
      TMessage m;
      m.Msg = CM_HINTSHOW;
      c->WndProc(m);
      if (m.Result == 0) {
        HintShowing = true;
        HintText = c->Hint();
        Application->SetHint(c->Hint());
        ShowHintWindow(HintText, CursorScreen);
        HintHideDue = now + Application->HintHidePause();
      }
    }
    if (!HintShowing) HintDue = UINT64_MAX;
  } else if (HintShowing && now >= HintHideDue) {
    // Shown long enough: it goes and stays away until the pointer moves to another control.
    HideHintWindow();
    HintShowing = false;
    HintDue = UINT64_MAX;
    HintHideDue = UINT64_MAX;
  }
  return !due.empty();
}

int64_t TUiCore::NextTimerDelay() {
  uint64_t now = UiTickCount();
  int64_t best = -1;
  for (auto& t : Timers()) {
    int64_t d = t.Due <= now ? 0 : static_cast<int64_t>(t.Due - now);
    if (best < 0 || d < best) best = d;
  }
  if (HintControl && !HintShowing && HintDue != UINT64_MAX) {
    int64_t d = HintDue <= now ? 0 : static_cast<int64_t>(HintDue - now);
    if (best < 0 || d < best) best = d;
  }
  if (HintShowing && HintHideDue != UINT64_MAX) {
    int64_t d = HintHideDue <= now ? 0 : static_cast<int64_t>(HintHideDue - now);
    if (best < 0 || d < best) best = d;
  }
  return best;
}

uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Elapse) {
  if (!IsWindow(Wnd)) return 0;
  return TUiCore::SetTimer(Wnd, IDEvent, Elapse);
}
bool KillTimer(HWND Wnd, uintptr_t IDEvent) { return TUiCore::KillTimer(Wnd, IDEvent); }

// ---- input ----------------------------------------------------------------------------------

TCustomForm* TUiCore::FormOfWindow(uintptr_t BackendWindow) {
  auto it = WindowForms().find(BackendWindow);
  return it == WindowForms().end() ? nullptr : it->second;
}
void TUiCore::RegisterFormWindow(uintptr_t BackendWindow, TCustomForm* Form) { WindowForms()[BackendWindow] = Form; }
void TUiCore::UnregisterFormWindow(uintptr_t BackendWindow) { WindowForms().erase(BackendWindow); }

TCustomForm* TUiCore::TopForm() {
  auto& v = Forms();
  for (auto it = v.rbegin(); it != v.rend(); ++it)
    if ((*it)->Showing() && (*it)->Enabled() && *it != HintWindow()) return *it;
  return nullptr;
}

void TUiCore::HandleEvent(const TUiEvent& E) {
  TCustomForm* F = E.Window ? FormOfWindow(E.Window) : TopForm();
  if (!F) {
    // The character of a key handled elsewhere is used up even when nobody gets it.
    if (E.Type == TUiEvent::Kind::Char || E.Type == TUiEvent::Kind::KeyDown) gSuppressChar = false;
    return;
  }
  switch (E.Type) {
    case TUiEvent::Kind::MouseMove:
    case TUiEvent::Kind::MouseDown:
    case TUiEvent::Kind::MouseUp:
    case TUiEvent::Kind::MouseWheel:
      if (E.Type == TUiEvent::Kind::MouseDown && !F->Enabled() && !TUiCore::MenuLoop)
        if (TCustomForm* top = TopForm(); top && top != F) top->Activate();
      if (E.Type == TUiEvent::Kind::MouseDown && DropDownTakesMouseDown(F, Point(E.X, E.Y))) break;
      RouteMouse(F, E);
      break;
    case TUiEvent::Kind::KeyDown:
    case TUiEvent::Kind::KeyUp:
    case TUiEvent::Kind::Char: RouteKey(F, E); break;
    case TUiEvent::Kind::CloseRequest:
      if (TUiCore::MenuLoop) TUiMenuLoop::CloseAll();
      if (F->Enabled()) F->Close();
      break;
    case TUiEvent::Kind::Resized:
      if (E.Width > 0 && E.Height > 0 && (E.Width != F->Width() || E.Height != F->Height())) {
        F->TWinControl::SetBounds(F->Left(), F->Top(), E.Width, E.Height);
        // A window made smaller than the form's constraints allow (no window manager enforcing them)
        // is given back the size the form kept, so nothing of the form is cut off.
        if (F->Width() != E.Width || F->Height() != E.Height)
          if (TUiBackend* Be = Application ? Application->Backend() : nullptr) Be->SetWindowBounds(F->FBackendWindow, F->BoundsRect());
      }
      F->Invalidate();
      break;
    case TUiEvent::Kind::Moved: F->FLeft = E.X; F->FTop = E.Y; break;
    case TUiEvent::Kind::FocusGained:
      // A window that takes no input while a modal one is up hands the focus on to that one.
      if (!F->Enabled()) {
        if (TCustomForm* top = TopForm(); top && top != F) top->Activate();
        break;
      }
      F->Activate();
      break;
    case TUiEvent::Kind::FocusLost:
      DropDownOwnerLostFocus(F);
      if (TUiCore::MenuLoop && !TUiMenuLoop::OwnsWindow(F)) TUiMenuLoop::CloseAll();
      break;
    case TUiEvent::Kind::MouseLeftWindow:
      if (!Capture) SetMouseControl(nullptr);
      if (F->Menu()) TUiMenuLoop::BarMouseMove(F, Point(-1, -1));
      break;
    case TUiEvent::Kind::Expose: F->Invalidate(); break;
    default: break;
  }
}

void TUiCore::UpdateCursor(TControl* Over) {
  if (!Over || !Screen) return;
  TCursor c = Screen->Cursor();
  if (c == crDefault) {
    // The windowed control may answer WM_SETCURSOR itself.
    TWinControl* w = dynamic_cast<TWinControl*>(Over);
    if (!w) w = Over->Parent();
    if (w && w->Perform(WM_SETCURSOR, w->HandleAllocated() ? w->Handle() : 0, HTCLIENT) != 0) return;
    c = Over->Cursor();
    for (TControl* p = Over; c == crDefault && p; p = p->Parent()) c = p->Cursor();
  }
  if (c == crDefault) c = crArrow;
  Screen->FShownCursor = c;
  if (Application && Application->Backend()) Application->Backend()->SetCursor(c, Screen->Cursors(c));
}

void TUiCore::ShowCursor(TCursor C) {
  Screen->FShownCursor = C;
  if (Application && Application->Backend()) Application->Backend()->SetCursor(C, Screen->Cursors(C));
}

void TUiCore::ControlDestroyed(TControl* C) {
  if (gSizing.Form == C) gSizing.Form = nullptr;
  if (Capture == C) {
    Capture = nullptr;
    if (Application && Application->Backend()) Application->Backend()->CaptureMouse(false);
  }
  if (MouseControl == C) MouseControl = nullptr;
  if (Focus == C) Focus = nullptr;
  if (HintControl == C) {
    HintControl = nullptr;
    if (HintShowing) HideHintWindow();
    HintShowing = false;
  }
  if (gLastClick.Target == C) gLastClick.Valid = false, gLastClick.Target = nullptr;
  if (gScrollControl == C) gScrollControl = nullptr;
}

std::vector<TCustomForm*>& TUiCore::Forms() {
  static std::vector<TCustomForm*> v;
  return v;
}

bool TUiCore::PaintAll() {
  bool any = false;
  auto forms = Forms();
  for (TCustomForm* f : forms)
    // A paint handler may free a form: only those still listed are painted.
    if (std::find(Forms().begin(), Forms().end(), f) != Forms().end() && f->NeedsPaint()) {
      f->PaintNow();
      any = true;
    }
  return any;
}

void TUiCore::ProcessReleases() {
  while (!PendingRelease.empty()) {
    TCustomForm* f = PendingRelease.back();
    PendingRelease.pop_back();
    f->BeforeDestruction();
    delete f;
  }
}

// ---- input state queries --------------------------------------------------------------------

HWND GetFocus() { return TUiCore::Focus && TUiCore::Focus->HandleAllocated() ? TUiCore::Focus->Handle() : 0; }

HWND GetCapture() {
  if (!TUiCore::Capture) return 0;
  auto* w = dynamic_cast<TWinControl*>(TUiCore::Capture);
  if (!w) w = TUiCore::Capture->Parent();
  return w && w->HandleAllocated() ? w->Handle() : 0;
}

HWND SetCapture(HWND Wnd) {
  HWND old = GetCapture();
  TWinControl* w = FindControl(Wnd);
  if (w) w->SetMouseCapture(true);
  return old;
}

bool ReleaseCapture() {
  if (TUiCore::Capture) TUiCore::Capture->SetMouseCapture(false);
  return true;
}

TPoint GetCursorPos() { return TUiCore::CursorScreen; }

TShiftState GetShiftState() { return TUiCore::Shift; }

bool GetKeyDown(uint16_t VirtualKey) {
  TShiftState s = TUiCore::Shift;
  switch (VirtualKey) {
    case VK_SHIFT: return s.Contains(ssShift);
    case VK_CONTROL: return s.Contains(ssCtrl);
    case VK_MENU: return s.Contains(ssAlt);
    case VK_LBUTTON: return s.Contains(ssLeft);
    case VK_RBUTTON: return s.Contains(ssRight);
    case VK_MBUTTON: return s.Contains(ssMiddle);
    default: return false;
  }
}

int16_t GetKeyState(int32_t VirtualKey) {
  return GetKeyDown(static_cast<uint16_t>(VirtualKey)) ? static_cast<int16_t>(0x8000) : 0;
}
int16_t GetAsyncKeyState(int32_t VirtualKey) { return GetKeyState(VirtualKey); }

TShiftState KeysToShiftState(uint32_t Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s.Include(ssShift);
  if (Keys & MK_CONTROL) s.Include(ssCtrl);
  if (Keys & MK_LBUTTON) s.Include(ssLeft);
  if (Keys & MK_RBUTTON) s.Include(ssRight);
  if (Keys & MK_MBUTTON) s.Include(ssMiddle);
  if (Keys & MK_ALT) s.Include(ssAlt);
  else if (TUiCore::Shift.Contains(ssAlt)) s.Include(ssAlt);
  return s;
}

TShiftState KeyDataToShiftState(intptr_t KeyData) {
  TShiftState s;
  if (TUiCore::Shift.Contains(ssShift)) s.Include(ssShift);
  if (TUiCore::Shift.Contains(ssCtrl)) s.Include(ssCtrl);
  if (KeyData & KF_ALTDOWN_BIT) s.Include(ssAlt);
  return s;
}

// ---- caret ----------------------------------------------------------------------------------

namespace {
struct TCaretState {
  HWND Wnd = 0;
  int32_t W = 0, H = 0, X = 0, Y = 0;
  int32_t HideCount = 1;
} gCaret;
}  // namespace

bool CreateCaret(HWND Wnd, int32_t Width, int32_t Height) {
  gCaret = {Wnd, Width, Height, 0, 0, 1};
  return true;
}
bool DestroyCaret() {
  if (TWinControl* w = FindControl(gCaret.Wnd)) w->Invalidate();
  gCaret = {};
  return true;
}
bool SetCaretPos(int32_t X, int32_t Y) {
  if (!gCaret.Wnd) return false;
  gCaret.X = X;
  gCaret.Y = Y;
  if (TWinControl* w = FindControl(gCaret.Wnd)) w->Invalidate();
  return true;
}
bool ShowCaret(HWND Wnd) {
  if (!gCaret.Wnd || (Wnd && Wnd != gCaret.Wnd)) return false;
  if (gCaret.HideCount > 0) --gCaret.HideCount;
  if (TWinControl* w = FindControl(gCaret.Wnd)) w->Invalidate();
  return true;
}
bool HideCaret(HWND Wnd) {
  if (!gCaret.Wnd || (Wnd && Wnd != gCaret.Wnd)) return false;
  ++gCaret.HideCount;
  if (TWinControl* w = FindControl(gCaret.Wnd)) w->Invalidate();
  return true;
}

bool CaretRect(HWND Wnd, TRect& R) {
  if (!gCaret.Wnd || gCaret.Wnd != Wnd || gCaret.HideCount > 0) return false;
  R = Bounds(gCaret.X, gCaret.Y, std::max(1, gCaret.W), gCaret.H);
  return true;
}

void BeginFormSizing(TCustomForm* F) {
  TPoint p = TUiCore::CursorScreen;
  gSizing.Form = F;
  gSizing.Start = Point(p.X - F->Left(), p.Y - F->Top());
  gSizing.Width = F->Width();
  gSizing.Height = F->Height();
}

void SetCursorShape(TCursor Cursor) {
  if (!Screen) return;
  TUiCore::ShowCursor(Cursor);
}
