// Reads arbitrary bytes as JPEG 2000 (JP2 file or code stream) and probes them.
#include "fuzz/io_common.inc"
#include "imaging/codecs/jpeg2000.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (QxRegisterJpeg2000Codec(), true);
  (void)registered;
  FuzzInput in(data, size);
  IsJP2Stream(&in.Stream);
  IsJ2KStream(&in.Stream);
  TQxBitmap bitmap;
  TIOParamsVals params;
  ReadJpeg2000Stream(&in.Stream, &bitmap, params, in.Progress, false);
  return 0;
}
