// Reads arbitrary bytes as an icon and as a cursor (every entry the directory names), and probes them.
#include "fuzz/io_common.inc"
#include "imaging/io/bmp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput probe(data, size);
  IsIcoStream(probe.Stream);
  IsCurStream(probe.Stream);
  IcoImageCountStream(probe.Stream);
  for (int index = 0; index < 3; ++index) {
    for (int cursor = 0; cursor < 2; ++cursor) {
      FuzzInput in(data, size);
      TQxBitmap bitmap;
      TIOParamsVals params;
      params.SetAllImageIndexes(index);
      params.NativePixelFormat = uint8_t(index == 1);
      params.IsResource = uint8_t(index == 2);
      std::unique_ptr<TQxMask> mask;
      try {
        if (cursor)
          ReadCurStream(in.Stream, bitmap, params, false, in.Progress, mask, false);
        else
          ReadIcoStream(in.Stream, bitmap, params, false, in.Progress, mask, false);
      } catch (const Exception&) {
        // "Unsupported pixel format" for native depths the bitmap model has no format for.
      }
    }
  }
  return 0;
}
