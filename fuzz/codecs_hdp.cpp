// Reads arbitrary bytes as an HD Photo file, in native and in 24-bit pixel formats, and probes them.
#include "fuzz/io_common.inc"
#include "imaging/codecs/hdp.h"
#include "imaging/codecs/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (QxRegisterHdpCodec(), true);
  (void)registered;
  FuzzInput in(data, size);
  IsHDPStream(&in.Stream);
  TQxBitmap bitmap;
  TIOParamsVals params;
  params.NativePixelFormat = size & 1;
  ReadHDPStream(&in.Stream, &bitmap, params, in.Progress, false);
  return 0;
}
