// Reads arbitrary bytes as a PNG, natively and converted, and probes them.
#include "fuzz/io_common.inc"
#include "imaging/io/png_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int native = 0; native < 2; ++native) {
    FuzzInput in(data, size);
    IsPngStream(in.Stream);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.NativePixelFormat = uint8_t(native);
    ReadPngStream(in.Stream, bitmap, params, in.Progress, false);
  }
  return 0;
}
