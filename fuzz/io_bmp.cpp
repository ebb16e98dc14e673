// Reads arbitrary bytes as a BMP (with and without alpha, native palettes) and writes what it read back.
#include "fuzz/io_common.inc"
#include "imaging/io/bmp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int variant = 0; variant < 2; ++variant) {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.NativePixelFormat = uint8_t(variant);
    std::unique_ptr<TQxMask> mask;
    ReadBmpStream(in.Stream, bitmap, 0, params, in.Progress, false, variant == 1, mask, variant == 1);
    if (!in.Aborting && !bitmap.IsEmpty() && bitmap.Width() * int64_t(bitmap.Height()) < 100000) {
      TMemoryStream out;
      WriteBmpStream(out, bitmap, params, true, in.Progress);
    }
  }
  return 0;
}
