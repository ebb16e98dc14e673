#include "imaging/foundation/geometry_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/foundation/bitmap.h"

namespace {

// Source pixel of upright pixel (x, y) for a stored image of w x h; each case is the composition the
// orientation names (5: rotate -90 then flip, 7: rotate 90 then flip).
inline void SourceOf(int32_t o, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy) {
  switch (o) {
    case 2: sx = w - 1 - x; sy = y; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sx = x; sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
  }
}

// Reorients one bitmap's pixels (not its alpha channel) through a copy.
void Reorient(TQxBitmap* b, int32_t o) {
  const int32_t w = b->Width(), h = b->Height();
  if (w <= 0 || h <= 0) return;
  const TQxPixelFormat fmt = b->PixelFormat();
  const int32_t bits = b->BitCount();
  const bool swap = o >= 5;
  const int32_t nw = swap ? h : w, nh = swap ? w : h;
  TQxBitmap src;
  src.AssignFrom(b);
  std::unique_ptr<TQxBitmap> alpha = b->SetAlphaChannel(nullptr);
  b->Allocate(nw, nh, fmt);
  src.CopyPaletteTo(b);
  std::vector<uint8_t*> rows(h);
  for (int32_t y = 0; y < h; ++y) rows[y] = src.Scanline(y);
  const int32_t bytes = bits / 8;
  for (int32_t y = 0; y < nh; ++y) {
    uint8_t* d = b->Scanline(y);
    if (bits == 1) std::memset(d, 0, size_t((nw + 7) / 8));
    for (int32_t x = 0; x < nw; ++x) {
      int32_t sx, sy;
      SourceOf(o, x, y, w, h, sx, sy);
      if (bits == 1) {
        if (rows[sy][sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        std::memcpy(d + size_t(x) * bytes, rows[sy] + size_t(sx) * bytes, size_t(bytes));
      }
    }
  }
  if (alpha) {
    Reorient(alpha.get(), o);
    b->SetAlphaChannel(std::move(alpha));
  }
}

}  // namespace

void QxApplyExifOrientation(TQxBitmap* Bitmap, int32_t Orientation) {
  if (!Bitmap || Orientation < 2 || Orientation > 8 || Bitmap->IsEmpty()) return;
  Reorient(Bitmap, Orientation);
}

void QxFitSize(int32_t W, int32_t H, int32_t BoxW, int32_t BoxH, int32_t& OutW, int32_t& OutH) {
  if (W == 0 || H == 0) return;
  const double f = std::min(double(BoxH) / H, double(BoxW) / W);
  OutW = std::max(1, int32_t(std::trunc(W * f)));
  OutH = std::max(1, int32_t(std::trunc(H * f)));
}
