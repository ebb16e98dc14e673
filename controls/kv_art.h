#pragma once
// The controls' artwork, embedded in the library as PNG data and decoded on demand.

#include <cstddef>
#include <memory>
#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/ui/forms.h"

struct TKvArtEntry {
  const char* Name;
  const unsigned char* Data;
  size_t Size;
};
// Ends with an entry whose Name is nil.
extern const TKvArtEntry KvArtTable[];

// The picture of that name as a 24-bit bitmap; nil when there is none or it does not decode.
std::unique_ptr<TBitmap> KvLoadArt(const std::string& Name);
// A cell of a strip picture: the Index-th of Count equal cells side by side.
std::unique_ptr<TBitmap> KvLoadArtCell(const std::string& Name, int32_t Index, int32_t Count);
// A cursor image with its alpha; nil when there is none.
HCURSOR KvLoadArtCursor(const std::string& Name, int32_t HotX, int32_t HotY);
