#pragma once
// Helpers of the PCX, DCX and Targa tests: hand-made files and pictures with a known number of colours.

#include <memory>
#include <vector>

#include "imaging/codecs/pcx.h"
#include "imaging/codecs/tga.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "tests/imaging/io/io_test_util.h"

namespace pcxtga {

inline void Register() {
  static const bool once = [] {
    QxRegisterPcxCodecs();
    QxRegisterTgaCodec();
    return true;
  }();
  (void)once;
}

inline void Put16(std::vector<uint8_t>& v, size_t At, uint32_t X) {
  v[At] = uint8_t(X);
  v[At + 1] = uint8_t(X >> 8);
}
inline uint32_t Get16(const std::vector<uint8_t>& v, size_t At) { return v[At] | (v[At + 1] << 8); }
inline uint32_t Get32(const std::vector<uint8_t>& v, size_t At) {
  return v[At] | (v[At + 1] << 8) | (v[At + 2] << 16) | (uint32_t(v[At + 3]) << 24);
}

// A picture of exactly Colors colours (Colors <= 256), in blocks so that runs occur.
inline std::unique_ptr<TQxBitmap> MakeColors(int32_t W, int32_t H, int32_t Colors) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* p = reinterpret_cast<TQxRGB*>(b->Scanline(y));
    for (int32_t x = 0; x < W; ++x) {
      const int32_t i = ((x / 2) + y * 3) % Colors;
      p[x] = TQxRGB{uint8_t(i * 37), uint8_t(255 - i), uint8_t(i * 11 + 3)};
    }
  }
  return b;
}

// A 1-bit picture with a diagonal pattern.
inline std::unique_ptr<TQxBitmap> MakeBits(int32_t W, int32_t H) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx1g);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b->Scanline(y);
    for (int32_t x = 0; x < W; ++x) {
      const bool on = ((x + y) % 3) == 0 || x == W - 1;
      if (on)
        r[x >> 3] = uint8_t(r[x >> 3] | (0x80 >> (x & 7)));
      else
        r[x >> 3] = uint8_t(r[x >> 3] & ~(0x80 >> (x & 7)));
    }
  }
  return b;
}

// The outcome of one direct reader call.
struct Read {
  TQxBitmap Bitmap;
  TIOParamsVals Params;
  std::unique_ptr<TQxMask> Mask;
  bool Aborted = false;
};

}  // namespace pcxtga
