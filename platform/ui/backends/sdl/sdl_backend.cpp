// The SDL2 back end: real top-level windows, input, cursors and clipboard text.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/ui/backend.h"
#include "platform/ui/backends/sdl/x11_errors.h"
#include "platform/ui/backends/sdl/x11_wait.h"
#include "platform/ui/backends/sdl/x11_window_roles.h"
#include "platform/ui/ui_internal.h"

namespace {

uint16_t VirtualKeyOf(SDL_Keycode k) {
  if (k >= SDLK_a && k <= SDLK_z) return static_cast<uint16_t>('A' + (k - SDLK_a));
  if (k >= SDLK_0 && k <= SDLK_9) return static_cast<uint16_t>('0' + (k - SDLK_0));
  if (k >= SDLK_F1 && k <= SDLK_F12) return static_cast<uint16_t>(VK_F1 + (k - SDLK_F1));
  if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return static_cast<uint16_t>(VK_NUMPAD0 + 1 + (k - SDLK_KP_1));
  switch (k) {
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_APPLICATION: return VK_APPS;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_PLUS:
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    default: return 0;
  }
}

TShiftState ModState() {
  SDL_Keymod m = SDL_GetModState();
  TShiftState s;
  if (m & KMOD_SHIFT) s.Include(ssShift);
  if (m & KMOD_CTRL) s.Include(ssCtrl);
  if (m & KMOD_ALT) s.Include(ssAlt);
  uint32_t b = SDL_GetMouseState(nullptr, nullptr);
  if (b & SDL_BUTTON(SDL_BUTTON_LEFT)) s.Include(ssLeft);
  if (b & SDL_BUTTON(SDL_BUTTON_RIGHT)) s.Include(ssRight);
  if (b & SDL_BUTTON(SDL_BUTTON_MIDDLE)) s.Include(ssMiddle);
  return s;
}

class TSdlBackend : public TUiBackend {
 public:
  bool Init(std::string& Error) {
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // Finished pixels are copied to the window's surface; an accelerated framebuffer would load a GL
    // stack at start-up for nothing.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      Error = SDL_GetError();
      return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    std::string d = driver ? driver : "";
    // A driver that shows nothing is no display, unless asked for by name.
    if (!std::getenv("SDL_VIDEODRIVER") && (d == "offscreen" || d == "dummy" || d == "evdev" || d.empty())) {
      Error = "no display server (the only video driver available is \"" + d + "\")";
      SDL_Quit();
      FQuit = false;
      return false;
    }
    if (d == "x11") QvKeepRunningOnXErrors();
    FWakeEvent = SDL_RegisterEvents(1);
    SDL_StartTextInput();
    return true;
  }
  ~TSdlBackend() override {
    for (auto& [id, c] : FCursors)
      if (c) SDL_FreeCursor(c);
    for (auto& [id, w] : FWindows) SDL_DestroyWindow(w);
    if (FQuit) SDL_Quit();
  }
  std::string Name() const override { return "sdl"; }

  uintptr_t CreateWindow(TCustomForm* Form, const TRect& B, bool Popup, bool Resizable) override {
    uint32_t flags = SDL_WINDOW_HIDDEN;
    if (Popup) flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_POPUP_MENU;
    if (Resizable) flags |= SDL_WINDOW_RESIZABLE;
    SDL_Window* w = SDL_CreateWindow(Form->Caption().c_str(), B.Left, B.Top, std::max(1, B.Width()),
                                     std::max(1, B.Height()), flags);
    if (!w) throw EInvalidOperation(std::string("Cannot create a window: ") + SDL_GetError());
    uintptr_t id = SDL_GetWindowID(w);
    FWindows[id] = w;
    FWait.Attach(w);
    return id;
  }
  void DestroyWindow(uintptr_t Window) override {
    auto it = FWindows.find(Window);
    if (it == FWindows.end()) return;
    SDL_DestroyWindow(it->second);
    FWindows.erase(it);
    FMinSizes.erase(Window);
  }
  void ShowWindow(uintptr_t Window, bool Show) override {
    if (SDL_Window* w = Win(Window)) {
      if (Show) SDL_ShowWindow(w);
      else SDL_HideWindow(w);
    }
  }
  void SetWindowBounds(uintptr_t Window, const TRect& B) override {
    if (SDL_Window* w = Win(Window)) {
      SDL_SetWindowPosition(w, B.Left, B.Top);
      SDL_SetWindowSize(w, std::max(1, B.Width()), std::max(1, B.Height()));
    }
  }
  void SetWindowTitle(uintptr_t Window, const std::string& Title) override {
    if (SDL_Window* w = Win(Window)) SDL_SetWindowTitle(w, Title.c_str());
  }
  void SetMinimumSize(uintptr_t Window, int32_t W, int32_t H) override {
    if (SDL_Window* w = Win(Window)) {
      FMinSizes[Window] = TMinSize{std::max(1, W), std::max(1, H), nullptr};
      SDL_SetWindowMinimumSize(w, std::max(1, W), std::max(1, H));
    }
  }
  // Making and first showing a window's surface drops its size hints, so the window manager is told the minimum again.
  void KeepMinimumSize(uintptr_t Window, SDL_Window* w, SDL_Surface* s) {
    auto it = FMinSizes.find(Window);
    if (it == FMinSizes.end() || it->second.Surface == s) return;
    it->second.Surface = s;
    SDL_SetWindowMinimumSize(w, it->second.W, it->second.H);
  }
  void RaiseWindow(uintptr_t Window) override {
    if (SDL_Window* w = Win(Window)) {
      SDL_RaiseWindow(w);
      // Raising alone leaves the keyboard with a window that may just have closed (a dialog).
      if (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN) SDL_SetWindowInputFocus(w);
    }
  }

  void SetWindowOwner(uintptr_t Window, uintptr_t Owner, bool Modal) override {
    if (SDL_Window* w = Win(Window)) QvMarkDialogWindow(w, Win(Owner), Modal);
  }

  void Present(uintptr_t Window, const TBitmap& BB, const TRect& Dirty) override {
    SDL_Window* w = Win(Window);
    if (!w) return;
    SDL_Surface* s = SDL_GetWindowSurface(w);
    if (!s) return;
    TRect d;
    if (!IntersectRect(d, Dirty, Rect(0, 0, std::min(BB.Width(), s->w), std::min(BB.Height(), s->h)))) return;
    if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
    for (int32_t y = d.Top; y < d.Bottom; ++y) {
      const uint8_t* src = static_cast<const uint8_t*>(BB.ScanLine(y)) + d.Left * 4;
      uint8_t* dst = static_cast<uint8_t*>(s->pixels) + y * s->pitch + d.Left * s->format->BytesPerPixel;
      if (s->format->format == SDL_PIXELFORMAT_RGB888 || s->format->format == SDL_PIXELFORMAT_ARGB8888) {
        std::memcpy(dst, src, static_cast<size_t>(d.Width()) * 4);
      } else {
        SDL_ConvertPixels(d.Width(), 1, SDL_PIXELFORMAT_ARGB8888, src, d.Width() * 4, s->format->format, dst, s->pitch);
      }
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    SDL_Rect r{d.Left, d.Top, d.Width(), d.Height()};
    SDL_UpdateWindowSurfaceRects(w, &r, 1);
    KeepMinimumSize(Window, w, s);
    // The start-up benchmark times the program to its first pixels on the screen.
    if (!FFirstPresentNoted && std::getenv("QV_FIRST_PAINT_NOTE")) {
      std::printf("painted\n");
      std::fflush(stdout);
    }
    FFirstPresentNoted = true;
  }

  bool NextEvent(TUiEvent& E, int32_t TimeoutMs) override {
    const uint64_t Start = SDL_GetTicks64();
    for (;;) {
      SDL_Event e;
      int got = 0;
      if (TimeoutMs == 0 || FWait.Attached()) {
        got = SDL_PollEvent(&e);
        // A poll stops at the end of what one pump brought in; events queued since then are still there.
        if (!got && TimeoutMs != 0 && SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) continue;
        if (!got && TimeoutMs != 0) {
          int32_t Left = -1;
          if (TimeoutMs > 0) {
            Left = TimeoutMs - static_cast<int32_t>(SDL_GetTicks64() - Start);
            if (Left <= 0) return false;
          }
          FWait.Wait(Left);
          continue;
        }
      } else {
        got = TimeoutMs < 0 ? SDL_WaitEvent(&e) : SDL_WaitEventTimeout(&e, TimeoutMs);
      }
      if (!got) return false;
      if (e.type == SDL_MOUSEMOTION) TakeLatestMotion(e);
      if (Translate(e, E)) return true;
      if (e.type == FWakeEvent) return false;
      // Events we do not use: look again without waiting.
      TimeoutMs = 0;
    }
  }

  void Wake() override {
    SDL_Event e;
    std::memset(&e, 0, sizeof(e));
    e.type = FWakeEvent;
    SDL_PushEvent(&e);
    FWait.Wake();
  }

  void SetCursor(TCursor Stock, const HCURSOR& Custom) override {
    SDL_Cursor* c = nullptr;
    if (Custom) {
      auto it = FCustom.find(Custom.get());
      if (it == FCustom.end()) {
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(Custom->Pixels.data()), Custom->Width,
                                                            Custom->Height, 32, Custom->Width * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
        SDL_Cursor* made = s ? SDL_CreateColorCursor(s, Custom->HotX, Custom->HotY) : nullptr;
        if (s) SDL_FreeSurface(s);
        FCustom[Custom.get()] = {Custom, made};
        c = made;
      } else {
        c = it->second.second;
      }
    }
    if (!c) {
      SDL_SystemCursor sc = SDL_SYSTEM_CURSOR_ARROW;
      switch (Stock) {
        case crCross: sc = SDL_SYSTEM_CURSOR_CROSSHAIR; break;
        case crIBeam: sc = SDL_SYSTEM_CURSOR_IBEAM; break;
        case crSizeNESW: sc = SDL_SYSTEM_CURSOR_SIZENESW; break;
        case crSizeNS:
        case crVSplit: sc = SDL_SYSTEM_CURSOR_SIZENS; break;
        case crSizeNWSE: sc = SDL_SYSTEM_CURSOR_SIZENWSE; break;
        case crSizeWE:
        case crHSplit: sc = SDL_SYSTEM_CURSOR_SIZEWE; break;
        case crHourGlass:
        case crSQLWait: sc = SDL_SYSTEM_CURSOR_WAIT; break;
        case crAppStart: sc = SDL_SYSTEM_CURSOR_WAITARROW; break;
        case crNo:
        case crNoDrop: sc = SDL_SYSTEM_CURSOR_NO; break;
        case crHandPoint: sc = SDL_SYSTEM_CURSOR_HAND; break;
        case crSizeAll: sc = SDL_SYSTEM_CURSOR_SIZEALL; break;
        default: break;
      }
      auto& slot = FCursors[sc];
      if (!slot) slot = SDL_CreateSystemCursor(sc);
      c = slot;
    }
    if (Stock == crNone && !Custom) {
      SDL_ShowCursor(SDL_DISABLE);
      return;
    }
    SDL_ShowCursor(SDL_ENABLE);
    if (c && c != FShown) {
      SDL_SetCursor(c);
      FShown = c;
    }
  }

  void CaptureMouse(bool On) override { SDL_CaptureMouse(On ? SDL_TRUE : SDL_FALSE); }

  TRect ScreenRect() const override {
    SDL_Rect r;
    if (SDL_GetDisplayBounds(0, &r) != 0) return Rect(0, 0, 1280, 1024);
    return Bounds(r.x, r.y, r.w, r.h);
  }

  bool SetClipboardText(const std::string& Text) override { return SDL_SetClipboardText(Text.c_str()) == 0; }
  bool GetClipboardText(std::string& Text) override {
    if (!SDL_HasClipboardText()) return false;
    char* t = SDL_GetClipboardText();
    if (!t) return false;
    Text = t;
    SDL_free(t);
    return true;
  }
  bool HasClipboardText() override { return SDL_HasClipboardText() == SDL_TRUE; }

  bool ReadWindowPixels(uintptr_t Window, TBitmap& Out) override {
    SDL_Window* w = Win(Window);
    if (!w) return false;
    SDL_Surface* s = SDL_GetWindowSurface(w);
    if (!s) return false;
    Out.SetPixelFormat(TPixelFormat::pf32bit);
    Out.SetSize(s->w, s->h);
    if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
    for (int32_t y = 0; y < s->h; ++y)
      SDL_ConvertPixels(s->w, 1, s->format->format, static_cast<uint8_t*>(s->pixels) + y * s->pitch, s->pitch,
                        SDL_PIXELFORMAT_ARGB8888, Out.ScanLine(y), s->w * 4);
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    return true;
  }

 private:
  // Moves that queued up while the program was busy (a drag over a slider whose every step rebuilds a
  // picture) count as one: only the latest position is delivered. A move is skipped only when the very
  // next event is another move in the same window, so clicks and keys keep their order.
  static void TakeLatestMotion(SDL_Event& e) {
    SDL_Event next;
    while (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
           next.type == SDL_MOUSEMOTION && next.motion.windowID == e.motion.windowID &&
           next.motion.state == e.motion.state) {
      if (SDL_PeepEvents(&next, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION) != 1) break;
      e = next;
    }
  }

  SDL_Window* Win(uintptr_t id) {
    auto it = FWindows.find(id);
    return it == FWindows.end() ? nullptr : it->second;
  }

  bool Translate(const SDL_Event& e, TUiEvent& E) {
    E = TUiEvent();
    switch (e.type) {
      case SDL_MOUSEMOTION:
        E.Type = TUiEvent::Kind::MouseMove;
        E.Window = e.motion.windowID;
        E.X = e.motion.x;
        E.Y = e.motion.y;
        E.Shift = ModState();
        return true;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (e.button.button != SDL_BUTTON_LEFT && e.button.button != SDL_BUTTON_RIGHT &&
            e.button.button != SDL_BUTTON_MIDDLE)
          return false;
        E.Type = e.type == SDL_MOUSEBUTTONDOWN ? TUiEvent::Kind::MouseDown : TUiEvent::Kind::MouseUp;
        E.Window = e.button.windowID;
        E.X = e.button.x;
        E.Y = e.button.y;
        E.Button = e.button.button == SDL_BUTTON_LEFT    ? TMouseButton::mbLeft
                   : e.button.button == SDL_BUTTON_RIGHT ? TMouseButton::mbRight
                                                         : TMouseButton::mbMiddle;
        E.Shift = ModState() - TShiftState{ssLeft, ssRight, ssMiddle};
        return true;
      case SDL_MOUSEWHEEL: {
        E.Type = TUiEvent::Kind::MouseWheel;
        E.Window = e.wheel.windowID;
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        E.X = x;
        E.Y = y;
        int dy = e.wheel.y, dx = e.wheel.x;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) dy = -dy, dx = -dx;
        if (dy == 0 && dx == 0) return false;
        E.Horizontal = dy == 0;
        E.WheelDelta = (dy != 0 ? dy : dx) * WHEEL_DELTA;
        E.Shift = ModState();
        return true;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        uint16_t vk = VirtualKeyOf(e.key.keysym.sym);
        if (!vk) return false;
        E.Type = e.type == SDL_KEYDOWN ? TUiEvent::Kind::KeyDown : TUiEvent::Kind::KeyUp;
        E.Window = e.key.windowID;
        E.Key = vk;
        E.Shift = ModState();
        if (e.type == SDL_KEYDOWN) {
          // Keys that type a control character get their character as well, as on the platform.
          const char* ch = nullptr;
          switch (vk) {
            case VK_RETURN: ch = "\r"; break;
            case VK_BACK: ch = "\b"; break;
            case VK_ESCAPE: ch = "\x1b"; break;
            case VK_TAB: ch = "\t"; break;
          }
          if (ch && !E.Shift.Contains(ssCtrl) && !E.Shift.Contains(ssAlt)) {
            TUiEvent c;
            c.Type = TUiEvent::Kind::Char;
            c.Window = E.Window;
            c.Text.assign(1, *ch);
            c.Shift = E.Shift;
            FPendingChar = c;
            FHasPendingChar = true;
          }
          // Alt + letter gives its character for accelerators (text input gives none).
          if (E.Shift.Contains(ssAlt) && !E.Shift.Contains(ssCtrl) && vk >= 'A' && vk <= 'Z') {
            TUiEvent c;
            c.Type = TUiEvent::Kind::Char;
            c.Window = E.Window;
            c.Text = std::string(1, static_cast<char>(vk - 'A' + 'a'));
            c.Shift = E.Shift;
            FPendingChar = c;
            FHasPendingChar = true;
          }
        }
        if (FHasPendingChar) {
          SDL_Event again;
          std::memset(&again, 0, sizeof(again));
          again.type = FWakeEvent;
          again.user.code = 1;
          SDL_PushEvent(&again);
        }
        return true;
      }
      case SDL_TEXTINPUT: {
        if (SDL_GetModState() & KMOD_ALT) return false;
        E.Type = TUiEvent::Kind::Char;
        E.Window = e.text.windowID;
        E.Shift = ModState();
        // One code point per event.
        std::string t = e.text.text;
        if (t.empty()) return false;
        unsigned char c0 = static_cast<unsigned char>(t[0]);
        size_t n = c0 < 0x80 ? 1 : (c0 & 0xE0) == 0xC0 ? 2 : (c0 & 0xF0) == 0xE0 ? 3 : 4;
        E.Text = t.substr(0, n);
        for (size_t i = n; i < t.size();) {
          unsigned char c = static_cast<unsigned char>(t[i]);
          size_t k = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
          FMoreText.push_back(t.substr(i, k));
          i += k;
        }
        FMoreWindow = E.Window;
        if (!FMoreText.empty()) {
          SDL_Event again;
          std::memset(&again, 0, sizeof(again));
          again.type = FWakeEvent;
          again.user.code = 1;
          SDL_PushEvent(&again);
        }
        return true;
      }
      case SDL_WINDOWEVENT:
        E.Window = e.window.windowID;
        switch (e.window.event) {
          case SDL_WINDOWEVENT_CLOSE: E.Type = TUiEvent::Kind::CloseRequest; return true;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            E.Type = TUiEvent::Kind::Resized;
            E.Width = e.window.data1;
            E.Height = e.window.data2;
            return true;
          case SDL_WINDOWEVENT_MOVED:
            E.Type = TUiEvent::Kind::Moved;
            E.X = e.window.data1;
            E.Y = e.window.data2;
            return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED: E.Type = TUiEvent::Kind::FocusGained; return true;
          case SDL_WINDOWEVENT_FOCUS_LOST: E.Type = TUiEvent::Kind::FocusLost; return true;
          case SDL_WINDOWEVENT_LEAVE: E.Type = TUiEvent::Kind::MouseLeftWindow; return true;
          case SDL_WINDOWEVENT_EXPOSED: E.Type = TUiEvent::Kind::Expose; return true;
          default: return false;
        }
      default:
        if (e.type == FWakeEvent && e.user.code == 1) {
          if (FHasPendingChar) {
            FHasPendingChar = false;
            E = FPendingChar;
            return true;
          }
          if (!FMoreText.empty()) {
            E.Type = TUiEvent::Kind::Char;
            E.Window = FMoreWindow;
            E.Text = FMoreText.front();
            FMoreText.erase(FMoreText.begin());
            return true;
          }
        }
        return false;
    }
  }

  uint32_t FWakeEvent = 0;
  TQvX11Wait FWait;
  bool FQuit = true;
  bool FFirstPresentNoted = false;
  std::map<uintptr_t, SDL_Window*> FWindows;
  struct TMinSize {
    int32_t W, H;
    SDL_Surface* Surface;  // the surface the hint was last given for
  };
  std::map<uintptr_t, TMinSize> FMinSizes;
  std::map<int, SDL_Cursor*> FCursors;
  std::map<const TCursorImage*, std::pair<HCURSOR, SDL_Cursor*>> FCustom;
  SDL_Cursor* FShown = nullptr;
  TUiEvent FPendingChar;
  bool FHasPendingChar = false;
  std::vector<std::string> FMoreText;
  uintptr_t FMoreWindow = 0;
};

}  // namespace

std::unique_ptr<TUiBackend> CreateSdlBackend(std::string& Error) {
  auto be = std::make_unique<TSdlBackend>();
  if (!be->Init(Error)) return nullptr;
  return be;
}
