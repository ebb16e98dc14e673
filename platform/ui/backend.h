#pragma once
// The back ends under the windowing layer: only top-level windows reach them.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/types.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/forms.h"

// An input event a back end delivers to the layer (coordinates are window pixels).
struct TUiEvent {
  enum class Kind : uint8_t {
    None,
    MouseMove,
    MouseDown,
    MouseUp,
    MouseWheel,
    KeyDown,
    KeyUp,
    Char,
    CloseRequest,
    Resized,
    Moved,
    FocusGained,
    FocusLost,
    MouseLeftWindow,
    Expose,
    Wake
  };
  Kind Type = Kind::None;
  uintptr_t Window = 0;  // back-end window id
  int32_t X = 0, Y = 0;
  TMouseButton Button = TMouseButton::mbLeft;
  int32_t WheelDelta = 0;      // multiples of WHEEL_DELTA, positive away from the user
  bool Horizontal = false;     // wheel
  uint16_t Key = 0;            // virtual key
  std::string Text;            // Char: one code point, UTF-8
  TShiftState Shift;           // modifiers at the time
  int32_t Width = 0, Height = 0;  // Resized
};

class TUiBackend {
 public:
  virtual ~TUiBackend() = default;
  virtual std::string Name() const = 0;
  // Creates a top-level window for a form (Popup: borderless, no task-bar entry).
  virtual uintptr_t CreateWindow(TCustomForm* Form, const TRect& ScreenBounds, bool Popup, bool Resizable) = 0;
  virtual void DestroyWindow(uintptr_t Window) = 0;
  virtual void ShowWindow(uintptr_t Window, bool Show) = 0;
  virtual void SetWindowBounds(uintptr_t Window, const TRect& ScreenBounds) = 0;
  virtual void SetWindowTitle(uintptr_t Window, const std::string& Title) = 0;
  virtual void SetMinimumSize(uintptr_t Window, int32_t W, int32_t H) {}
  virtual void RaiseWindow(uintptr_t Window) {}
  // Makes a window not yet shown a dialog of Owner (0: none): kept above it by the window manager and
  // typed as a dialog; Modal while the owner takes no input.
  virtual void SetWindowOwner(uintptr_t Window, uintptr_t Owner, bool Modal) {}
  // Shows the back buffer's Dirty part (window coordinates).
  virtual void Present(uintptr_t Window, const TBitmap& BackBuffer, const TRect& Dirty) = 0;
  // Next input event; waits up to TimeoutMs (-1 forever, 0 not at all). False when none.
  virtual bool NextEvent(TUiEvent& Event, int32_t TimeoutMs) = 0;
  // Wakes a NextEvent that is waiting; callable from any thread.
  virtual void Wake() = 0;
  virtual void SetCursor(TCursor Stock, const HCURSOR& Custom) {}
  virtual void CaptureMouse(bool On) {}
  virtual TRect ScreenRect() const { return Rect(0, 0, 1280, 1024); }
  virtual bool SetClipboardText(const std::string& Text) { return false; }
  virtual bool GetClipboardText(std::string& Text) { return false; }
  virtual bool HasClipboardText() { return false; }
  // The pixels the window shows now, as 32-bit rows (false when the back end cannot tell).
  virtual bool ReadWindowPixels(uintptr_t Window, TBitmap& Out) { return false; }
};

std::unique_ptr<TUiBackend> CreateHeadlessBackend();
// nullptr (and a reason) when no display can be opened.
std::unique_ptr<TUiBackend> CreateSdlBackend(std::string& Error);
