// The dimming of a linked view around the part the main view shows.
#include <algorithm>

#include "imaging/view/view_internal.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

// Blends colour (r, g, b) over the pixels of R with weight A / 255.
void BlendRect(TBitmap* B, TRect R, uint8_t Red, uint8_t Green, uint8_t Blue, int A) {
  if (!B || B->PixelFormat() != TPixelFormat::pf24bit) return;
  R.Left = std::max(R.Left, 0);
  R.Top = std::max(R.Top, 0);
  R.Right = std::min(R.Right, B->Width());
  R.Bottom = std::min(R.Bottom, B->Height());
  for (int32_t y = R.Top; y < R.Bottom; ++y) {
    uint8_t* p = static_cast<uint8_t*>(B->ScanLine(y)) + size_t(R.Left) * 3;
    for (int32_t x = R.Left; x < R.Right; ++x, p += 3) {
      p[0] = uint8_t((p[0] * (255 - A) + Blue * A) / 255);
      p[1] = uint8_t((p[1] * (255 - A) + Green * A) / 255);
      p[2] = uint8_t((p[2] * (255 - A) + Red * A) / 255);
    }
  }
}

}  // namespace

void QxDimAroundBitmapRect(TBitmap* Bitmap, const TRect& Outer, const TRect& Inner) {
  if (IsRectEmpty(Inner)) {
    BlendRect(Bitmap, Outer, 0, 0, 0, 150);
    return;
  }
  BlendRect(Bitmap, TRect(Outer.Left, Outer.Top, Outer.Right, std::min(Inner.Top, Outer.Bottom)), 0, 0, 0, 150);
  BlendRect(Bitmap, TRect(Outer.Left, std::max(Inner.Bottom, Outer.Top), Outer.Right, Outer.Bottom), 0, 0, 0, 150);
  const int32_t top = std::max(Inner.Top, Outer.Top), bottom = std::min(Inner.Bottom, Outer.Bottom);
  BlendRect(Bitmap, TRect(Outer.Left, top, std::min(Inner.Left, Outer.Right), bottom), 0, 0, 0, 150);
  BlendRect(Bitmap, TRect(std::max(Inner.Right, Outer.Left), top, Outer.Right, bottom), 0, 0, 0, 150);
}
