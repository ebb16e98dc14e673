#pragma once
// The 37 cursors of the single-image view (ids 1778..1814): 32 x 32 pictures in cursors/, embedded in the
// library by the build, black and white on clear.

#include <cstddef>
#include <cstdint>

#include "platform/ui/forms.h"

// An embedded cursor picture by its resource name (the file name without .png).
struct TQxCursorPng {
  const char* Name;
  const unsigned char* Data;
  size_t Size;
};
// Ends with an entry whose Name is nil.
extern const TQxCursorPng QxViewCursorPngs[];

inline constexpr int QxViewCursorSize = 32;
inline constexpr int QxFirstViewCursor = 1778;
inline constexpr int QxLastViewCursor = 1814;

// Resource name installed under a cursor id, nullptr outside 1778..1814.
const char* QxViewCursorResourceName(int32_t Id);
// The cursor of a resource name with its hot spot; nil when there is no such picture or it does not decode.
HCURSOR QxLoadViewCursor(const char* Name);
