#pragma once
// The 37 cursors of the single-image view (ids 1778..1814), drawn as 32 x 32 cell art.

#include <cstdint>

struct TQxCursorArt {
  const char* Name;           // resource name the cursor table refers to
  int32_t HotX, HotY;
  const char* const* Rows;    // 32 rows of 32 cells: 'X' black, 'o' white, '.' clear
};

inline constexpr int QxViewCursorArtCount = 35;
inline constexpr int QxViewCursorSize = 32;
inline constexpr int QxFirstViewCursor = 1778;
inline constexpr int QxLastViewCursor = 1814;

extern const TQxCursorArt QxViewCursorArt[QxViewCursorArtCount];

// Resource name installed under a cursor id, nullptr outside 1778..1814.
const char* QxViewCursorResourceName(int32_t Id);
// The artwork of a resource name, nullptr when there is none.
const TQxCursorArt* QxFindViewCursorArt(const char* Name);
