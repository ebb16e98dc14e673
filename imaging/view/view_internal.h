#pragma once
// Helpers shared by the view's source files.

#include <cstdint>

class TQxView;

// Posts a message to a view's window from any thread; the window is made on the GUI thread first.
void QxPostToView(TQxView* View, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
// Registers the view unit's start step and hooks and runs its start once.
void QxViewEnsureUnit();

#include <string>

#include "platform/base/types.h"

class TCanvas;
class TBitmap;

// Covers the part of Outer outside Inner with black at transparency 150.
void QxDimAroundBitmapRect(TBitmap* Bitmap, const TRect& Outer, const TRect& Inner);
