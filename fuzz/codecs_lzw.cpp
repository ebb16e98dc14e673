// Decodes arbitrary bytes as a GIF image block and as a TIFF strip with both fill orders.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/codecs/lzw.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes pick the image's shape; the rest is the coded data.
  const int32_t w = 1 + data[0] % 64, h = 1 + (data[1] & 0x3F);
  const bool interlaced = data[1] & 0x40;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h);
  TMemoryStream s;
  s.Write(data + 2, static_cast<int64_t>(size - 2));
  s.SetPosition(0);
  GifLzwDecode(&s, h, w, interlaced, pixels.data());

  for (int32_t fillOrder : {1, 2}) {
    void* state = nullptr;
    for (int row = 0; row < h; ++row)
      if (!TiffLzwDecode(data + 2, w, state, fillOrder, static_cast<int64_t>(size - 2))) break;
    TiffLzwDecode(nullptr, 0, state, fillOrder, 0);
  }
  return 0;
}
