// The in-memory back end: windows are bitmaps, input is queued by tests.
#include "platform/ui/backends/headless/headless.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "platform/base/exceptions.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/menus.h"
#include "platform/ui/ui_internal.h"

namespace {

class THeadlessBackend : public TUiBackend {
 public:
  std::string Name() const override { return "headless"; }

  uintptr_t CreateWindow(TCustomForm* Form, const TRect& Bounds, bool Popup, bool Resizable) override {
    std::lock_guard<std::mutex> l(FMutex);
    uintptr_t id = ++FNext;
    FWindows[id].Bounds = Bounds;
    return id;
  }
  void DestroyWindow(uintptr_t Window) override {
    std::lock_guard<std::mutex> l(FMutex);
    FWindows.erase(Window);
  }
  void ShowWindow(uintptr_t Window, bool Show) override {
    std::lock_guard<std::mutex> l(FMutex);
    auto it = FWindows.find(Window);
    if (it != FWindows.end()) it->second.Shown = Show;
  }
  void SetWindowBounds(uintptr_t Window, const TRect& Bounds) override {
    std::lock_guard<std::mutex> l(FMutex);
    auto it = FWindows.find(Window);
    if (it != FWindows.end()) it->second.Bounds = Bounds;
  }
  void SetWindowTitle(uintptr_t Window, const std::string& Title) override {
    std::lock_guard<std::mutex> l(FMutex);
    auto it = FWindows.find(Window);
    if (it != FWindows.end()) it->second.Title = Title;
  }
  void Present(uintptr_t Window, const TBitmap& BackBuffer, const TRect& Dirty) override {
    std::lock_guard<std::mutex> l(FMutex);
    auto it = FWindows.find(Window);
    if (it == FWindows.end()) return;
    TBitmap& shown = it->second.Shown32;
    if (shown.Width() != BackBuffer.Width() || shown.Height() != BackBuffer.Height() ||
        shown.PixelFormat() != TPixelFormat::pf32bit) {
      shown.SetPixelFormat(TPixelFormat::pf32bit);
      shown.SetSize(BackBuffer.Width(), BackBuffer.Height());
    }
    TRect d;
    if (!IntersectRect(d, Dirty, Rect(0, 0, BackBuffer.Width(), BackBuffer.Height()))) return;
    for (int32_t y = d.Top; y < d.Bottom; ++y)
      std::memcpy(static_cast<uint8_t*>(shown.ScanLine(y)) + d.Left * 4,
                  static_cast<const uint8_t*>(BackBuffer.ScanLine(y)) + d.Left * 4, static_cast<size_t>(d.Width()) * 4);
    ++it->second.Presents;
  }
  bool NextEvent(TUiEvent& Event, int32_t TimeoutMs) override {
    std::unique_lock<std::mutex> l(FMutex);
    auto ready = [&] { return !FEvents.empty() || FWake; };
    if (!ready() && TimeoutMs != 0) {
      // Nothing can arrive but injected input or posted messages; a loop that waits with
      // neither is stuck, so waiting is bounded and then reported.
      auto limit = std::chrono::milliseconds(TimeoutMs < 0 ? 10000 : TimeoutMs);
      bool got = FCond.wait_for(l, limit, ready);
      if (!got && TimeoutMs < 0) {
        throw EInvalidOperation("The message loop waits for input that cannot come (headless back end)");
      }
    }
    if (FWake) {
      FWake = false;
      if (FEvents.empty()) return false;
    }
    if (FEvents.empty()) return false;
    Event = FEvents.front();
    FEvents.pop_front();
    if (Event.Window == kTopWindow) Event.Window = 0;
    return true;
  }
  void Wake() override {
    {
      std::lock_guard<std::mutex> l(FMutex);
      FWake = true;
    }
    FCond.notify_all();
  }
  void SetCursor(TCursor Stock, const HCURSOR& Custom) override { FCursor = Stock; }
  void CaptureMouse(bool On) override { FCaptured = On; }
  TRect ScreenRect() const override { return Rect(0, 0, 1280, 1024); }
  bool SetClipboardText(const std::string& Text) override {
    FClipboard = Text;
    FHasClip = true;
    return true;
  }
  bool GetClipboardText(std::string& Text) override {
    if (!FHasClip) return false;
    Text = FClipboard;
    return true;
  }
  bool HasClipboardText() override { return FHasClip; }
  bool ReadWindowPixels(uintptr_t Window, TBitmap& Out) override { return Snapshot(Window, Out); }

  void Push(const TUiEvent& E) {
    {
      std::lock_guard<std::mutex> l(FMutex);
      FEvents.push_back(E);
    }
    FCond.notify_all();
  }
  int32_t Pending() {
    std::lock_guard<std::mutex> l(FMutex);
    return static_cast<int32_t>(FEvents.size());
  }
  bool Snapshot(uintptr_t Window, TBitmap& Out) {
    std::lock_guard<std::mutex> l(FMutex);
    auto it = FWindows.find(Window);
    if (it == FWindows.end()) return false;
    Out.Assign(&it->second.Shown32);
    return true;
  }

  static constexpr uintptr_t kTopWindow = ~uintptr_t(0);

 private:
  struct TWin {
    TRect Bounds;
    bool Shown = false;
    std::string Title;
    TBitmap Shown32;
    int64_t Presents = 0;
  };
  std::mutex FMutex;
  std::condition_variable FCond;
  std::map<uintptr_t, TWin> FWindows;
  std::deque<TUiEvent> FEvents;
  uintptr_t FNext = 0;
  bool FWake = false;
  TCursor FCursor = crArrow;
  bool FCaptured = false;
  std::string FClipboard;
  bool FHasClip = false;
};

THeadlessBackend* Be() {
  Headless::Use();
  return static_cast<THeadlessBackend*>(Application->Backend());
}

void Push(TCustomForm* Form, TUiEvent E) {
  THeadlessBackend* be = Be();
  E.Window = Form ? Form->BackendWindow() : THeadlessBackend::kTopWindow;
  if (Form && !E.Window) return;  // the form is not shown
  be->Push(E);
}

uint16_t KeyOfChar(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<uint16_t>(c - 'a' + 'A');
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return static_cast<uint16_t>(c);
  switch (c) {
    case ' ': return VK_SPACE;
    case '\r':
    case '\n': return VK_RETURN;
    case '\t': return VK_TAB;
    case '\b': return VK_BACK;
    case '.': return VK_OEM_PERIOD;
    case ',': return VK_OEM_COMMA;
    case '-': return VK_OEM_MINUS;
    default: return 0;
  }
}

const char* CharOfKey(uint16_t Key, TShiftState Shift, char& Buf) {
  if (Shift.Contains(ssCtrl) || Shift.Contains(ssAlt)) {
    if (Shift.Contains(ssAlt) && !Shift.Contains(ssCtrl) && Key >= 'A' && Key <= 'Z') {
      Buf = static_cast<char>(Key - 'A' + 'a');
      return &Buf;
    }
    return nullptr;
  }
  if (Key >= 'A' && Key <= 'Z') {
    Buf = static_cast<char>(Shift.Contains(ssShift) ? Key : Key - 'A' + 'a');
    return &Buf;
  }
  if (Key >= '0' && Key <= '9') {
    Buf = static_cast<char>(Key);
    return &Buf;
  }
  switch (Key) {
    case VK_SPACE: Buf = ' '; return &Buf;
    case VK_RETURN: Buf = '\r'; return &Buf;
    case VK_ESCAPE: Buf = 27; return &Buf;
    case VK_BACK: Buf = 8; return &Buf;
    case VK_TAB: Buf = 9; return &Buf;
    default: return nullptr;
  }
}

void KeyEvents(TCustomForm* Form, uint16_t Key, TShiftState Shift) {
  TUiEvent d;
  d.Type = TUiEvent::Kind::KeyDown;
  d.Key = Key;
  d.Shift = Shift;
  Push(Form, d);
  char buf = 0;
  if (CharOfKey(Key, Shift, buf)) {
    TUiEvent c;
    c.Type = TUiEvent::Kind::Char;
    c.Text = std::string(1, buf);
    c.Shift = Shift;
    Push(Form, c);
  }
  TUiEvent u;
  u.Type = TUiEvent::Kind::KeyUp;
  u.Key = Key;
  u.Shift = Shift;
  Push(Form, u);
}

void TypeText(TCustomForm* Form, const std::string& Text) {
  for (size_t i = 0; i < Text.size();) {
    unsigned char c = static_cast<unsigned char>(Text[i]);
    size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
    std::string ch = Text.substr(i, n);
    i += n;
    uint16_t key = n == 1 ? KeyOfChar(ch[0]) : 0;
    TShiftState s;
    if (n == 1 && ch[0] >= 'A' && ch[0] <= 'Z') s.Include(ssShift);
    if (key) {
      TUiEvent d;
      d.Type = TUiEvent::Kind::KeyDown;
      d.Key = key;
      d.Shift = s;
      Push(Form, d);
    }
    TUiEvent e;
    e.Type = TUiEvent::Kind::Char;
    e.Text = ch;
    e.Shift = s;
    Push(Form, e);
    if (key) {
      TUiEvent u;
      u.Type = TUiEvent::Kind::KeyUp;
      u.Key = key;
      u.Shift = s;
      Push(Form, u);
    }
  }
}

}  // namespace

std::unique_ptr<TUiBackend> CreateHeadlessBackend() { return std::make_unique<THeadlessBackend>(); }

namespace Headless {

bool Active() { return dynamic_cast<THeadlessBackend*>(Application->Backend()) != nullptr; }

void Use() {
  if (!Active()) Application->SetBackend(CreateHeadlessBackend());
}

void MouseMove(TCustomForm* Form, int32_t X, int32_t Y, TShiftState Shift) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::MouseMove;
  e.X = X;
  e.Y = Y;
  e.Shift = Shift;
  Push(Form, e);
}

void MouseDown(TCustomForm* Form, int32_t X, int32_t Y, TMouseButton Button, TShiftState Shift) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::MouseDown;
  e.X = X;
  e.Y = Y;
  e.Button = Button;
  e.Shift = Shift;
  Push(Form, e);
}

void MouseUp(TCustomForm* Form, int32_t X, int32_t Y, TMouseButton Button, TShiftState Shift) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::MouseUp;
  e.X = X;
  e.Y = Y;
  e.Button = Button;
  e.Shift = Shift;
  Push(Form, e);
}

void Click(TCustomForm* Form, int32_t X, int32_t Y, TMouseButton Button, TShiftState Shift) {
  MouseMove(Form, X, Y, Shift);
  MouseDown(Form, X, Y, Button, Shift);
  MouseUp(Form, X, Y, Button, Shift);
}

void Wheel(TCustomForm* Form, int32_t X, int32_t Y, int32_t Notches, TShiftState Shift) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::MouseWheel;
  e.X = X;
  e.Y = Y;
  e.WheelDelta = Notches * WHEEL_DELTA;
  e.Shift = Shift;
  Push(Form, e);
}

void KeyDown(TCustomForm* Form, uint16_t Key, TShiftState Shift) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::KeyDown;
  e.Key = Key;
  e.Shift = Shift;
  Push(Form, e);
}

void KeyUp(TCustomForm* Form, uint16_t Key, TShiftState Shift) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::KeyUp;
  e.Key = Key;
  e.Shift = Shift;
  Push(Form, e);
}

void Key(TCustomForm* Form, uint16_t Key, TShiftState Shift) { KeyEvents(Form, Key, Shift); }
void Type(TCustomForm* Form, const std::string& Text) { TypeText(Form, Text); }
void KeyToTop(uint16_t Key, TShiftState Shift) { KeyEvents(nullptr, Key, Shift); }
void TypeToTop(const std::string& Text) { TypeText(nullptr, Text); }

void Close(TCustomForm* Form) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::CloseRequest;
  Push(Form, e);
}

void Resize(TCustomForm* Form, int32_t Width, int32_t Height) {
  TUiEvent e;
  e.Type = TUiEvent::Kind::Resized;
  e.Width = Width;
  e.Height = Height;
  Push(Form, e);
}

bool Snapshot(TCustomForm* Form, TBitmap& Out) {
  if (!Form || !Form->BackendWindow()) return false;
  return Be()->Snapshot(Form->BackendWindow(), Out);
}

TColor PixelAt(TCustomForm* Form, int32_t X, int32_t Y) {
  TBitmap b;
  Snapshot(Form, b);
  if (X < 0 || Y < 0 || X >= b.Width() || Y >= b.Height()) return clNone;
  const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(Y)) + X * 4;
  return static_cast<TColor>(p[2] | (p[1] << 8) | (p[0] << 16));
}

bool SaveWindowPng(TCustomForm* Form, const std::string& Path) {
  TBitmap b;
  Snapshot(Form, b);
  if (b.Width() == 0) return false;
  return SaveBitmapToPngFile(b, Path);
}

int32_t PendingEvents() { return Be()->Pending(); }

size_t WhileMenuOpen(const std::vector<std::function<void()>>& Steps) {
  size_t Next = 0;
  auto Saved = Application->OnIdle;
  Application->OnIdle = [&](TObject*, bool&) {
    if (Next >= Steps.size() || !MenuIsTracking() || PendingEvents() > 0) return;
    for (TCustomForm* P : MenuPopupForms())
      if (P->NeedsPaint()) return;
    Steps[Next++]();
  };
  Application->ProcessMessages();
  Application->OnIdle = Saved;
  return Next;
}

}  // namespace Headless
