// Reads arbitrary bytes as PBM/PGM/PPM, natively and converted, and probes them.
#include "fuzz/io_common.inc"
#include "imaging/io/pnm_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int native = 0; native < 2; ++native) {
    FuzzInput in(data, size);
    IsPxmStream(in.Stream);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.NativePixelFormat = uint8_t(native);
    ReadPxmStream(in.Stream, bitmap, params, false, in.Progress);
    if (!in.Aborting && !bitmap.IsEmpty() && bitmap.Width() * int64_t(bitmap.Height()) < 100000) {
      TMemoryStream out;
      WritePxmStream(out, bitmap, params, in.Progress);
    }
  }
  return 0;
}
