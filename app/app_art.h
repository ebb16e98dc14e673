#pragma once
// The main window's glyphs, embedded in the program as PNG data by the build (app/art).

#include <cstddef>
#include <memory>
#include <string>

#include "platform/graphics/bitmap.h"

struct TAppArtEntry {
  const char* Name;
  const unsigned char* Data;
  size_t Size;
};
// Ends with an entry whose Name is nil.
extern const TAppArtEntry AppArtTable[];

// The named picture drawn over a bitmap of its size filled with Fill (24-bit); nil when there is none.
std::unique_ptr<TBitmap> AppArtOver(const std::string& Name, TColor Fill);
