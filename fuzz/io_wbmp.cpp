// Reads arbitrary bytes as a WBMP and writes what it read back.
#include "fuzz/io_common.inc"
#include "imaging/io/pnm_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  TQxBitmap bitmap;
  TIOParamsVals params;
  ReadWbmpStream(in.Stream, bitmap, params, false, in.Progress);
  if (!in.Aborting && !bitmap.IsEmpty()) {
    TMemoryStream out;
    WriteWbmpStream(out, bitmap, in.Progress);
  }
  return 0;
}
