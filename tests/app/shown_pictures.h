// Screenshots of what a real window showed: rows of 32-bit pixels (blue, green, red, unused) saved as a
// picture file, the format chosen by the name's extension.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "platform/graphics/bitmap.h"

// Row(y) gives the first pixel of row y.
template <class RowFn>
void SaveShownPicture(int32_t Width, int32_t Height, RowFn Row, const std::string& Name) {
  TQxBitmap B(Width, Height, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < Height; ++y) {
    const auto* s = reinterpret_cast<const uint8_t*>(Row(y));
    uint8_t* d = B.Scanline(y);
    for (int32_t x = 0; x < Width; ++x) {
      d[x * 3] = s[x * 4];
      d[x * 3 + 1] = s[x * 4 + 1];
      d[x * 3 + 2] = s[x * 4 + 2];
    }
  }
  TQuillotIO IO(&B);
  IO.SaveToFile(Name);
}

inline void SaveShownPicture(const TBitmap& Shown, const std::string& Name) {
  SaveShownPicture(Shown.Width(), Shown.Height(), [&](int32_t y) { return Shown.ScanLine(y); }, Name);
}
