#pragma once
// Small pictures as text, so pixel tests read as drawings: '.' white, '#' black, 'r' red, 'o' other.
#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

inline std::string Art(const TBitmap& B) {
  std::string S;
  for (int32_t Y = 0; Y < B.Height(); ++Y) {
    for (int32_t X = 0; X < B.Width(); ++X) {
      COLORREF C = B.GetPixel(X, Y);
      S += C == 0xFFFFFF ? '.' : C == 0 ? '#' : C == 0x0000FF ? 'r' : 'o';
    }
    S += '\n';
  }
  return S;
}

// A white pf32 bitmap with a black pen and white brush.
inline std::unique_ptr<TBitmap> WhiteBitmap(int32_t W, int32_t H, TPixelFormat F = TPixelFormat::pf32bit) {
  auto B = std::make_unique<TBitmap>(W, H, F);
  return B;
}

inline std::string Join(std::initializer_list<const char*> Rows) {
  std::string S;
  for (const char* R : Rows) (S += R) += '\n';
  return S;
}
