// Loads arbitrary bytes as an ICC profile: the tag-table reader and the colour library's parser.
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/icc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TQxICC icc;
  icc.LoadFromBuffer(data, int32_t(size));
  if (icc.IsValid()) {
    TQxICC srgb;
    srgb.LoadSRGB();
    const uint8_t in[6] = {1, 2, 3, 250, 128, 0};
    uint8_t out[6];
    icc.Transform(&srgb, TQxColorLayout::qxclBGR, TQxColorLayout::qxclBGR, 0, 0, in, out, 2);
  }
  return 0;
}
