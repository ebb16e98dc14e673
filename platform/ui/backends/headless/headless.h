#pragma once
// Driving forms without a display: inject input, read back pixels, write a window to PNG.
//
// Input is queued and handled by the message loop (ProcessMessages, a modal loop, Run), so a
// test can queue keys before opening a modal window. The Now variants handle them at once.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"

namespace Headless {

// True when the application runs on the headless back end.
bool Active();
// Switches the application to the headless back end (keeps it when already there).
void Use();

// Queued input to a form's window; (X, Y) in window pixels (client area of the form plus its
// menu bar). Shift adds modifier keys held.
void MouseMove(TCustomForm* Form, int32_t X, int32_t Y, TShiftState Shift = {});
void MouseDown(TCustomForm* Form, int32_t X, int32_t Y, TMouseButton Button = TMouseButton::mbLeft,
               TShiftState Shift = {});
void MouseUp(TCustomForm* Form, int32_t X, int32_t Y, TMouseButton Button = TMouseButton::mbLeft,
             TShiftState Shift = {});
// Move, down and up.
void Click(TCustomForm* Form, int32_t X, int32_t Y, TMouseButton Button = TMouseButton::mbLeft,
           TShiftState Shift = {});
void Wheel(TCustomForm* Form, int32_t X, int32_t Y, int32_t Notches, TShiftState Shift = {});
void KeyDown(TCustomForm* Form, uint16_t Key, TShiftState Shift = {});
void KeyUp(TCustomForm* Form, uint16_t Key, TShiftState Shift = {});
// Key down, the character it types (letters, digits, space, Enter...) and key up.
void Key(TCustomForm* Form, uint16_t Key, TShiftState Shift = {});
// Types text: each character as its key (when it has one) and character events.
void Type(TCustomForm* Form, const std::string& Text);
void Close(TCustomForm* Form);
void Resize(TCustomForm* Form, int32_t Width, int32_t Height);
// Input to whichever window is on top when the event is handled (a modal box opened later).
void KeyToTop(uint16_t Key, TShiftState Shift = {});
void TypeToTop(const std::string& Text);

// Pixels last presented for a form (a 32-bit copy); false when the form has no window.
bool Snapshot(TCustomForm* Form, TBitmap& Out);
TColor PixelAt(TCustomForm* Form, int32_t X, int32_t Y);
bool SaveWindowPng(TCustomForm* Form, const std::string& Path);
// Events queued and not yet handled.
int32_t PendingEvents();

// Handles messages while a menu is open, running each step in turn once the menu's windows have
// painted and every queued event is handled (steps queue input for the next). Returns how many
// steps ran; it stops when the menu closes.
size_t WhileMenuOpen(const std::vector<std::function<void()>>& Steps);

}  // namespace Headless
