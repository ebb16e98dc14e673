// Reads arbitrary bytes as headerless pixels; the first four bytes choose the format and the layout.
#include "fuzz/io_common.inc"
#include "imaging/io/raw_pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  static const TQxPixelFormat formats[] = {TQxPixelFormat::qx1g,    TQxPixelFormat::qx8p,   TQxPixelFormat::qx8g,
                                           TQxPixelFormat::qx16g,   TQxPixelFormat::qx24RGB, TQxPixelFormat::qx32f,
                                           TQxPixelFormat::qxCMYK,  TQxPixelFormat::qxRGB48};
  FuzzInput in(data + 4, size - 4);
  TQxBitmap bitmap;
  if (!bitmap.Allocate(1 + data[0] % 37, 1 + data[1] % 19, formats[data[2] % 8])) return 0;
  TIOParamsVals params;
  params.RawBitmapEncoding = uint8_t(data[3] % 3);
  params.RawBitmapPlanar = uint8_t((data[3] >> 2) & 1);
  params.RawBitmapBGR = uint8_t((data[3] >> 3) & 1);
  params.RawBitmapRowAlign = 8 << ((data[3] >> 4) % 4);
  params.RawBitmapDataOffset = (data[3] >> 6);
  try {
    ReadRawPixelStream(in.Stream, bitmap, params, in.Progress);
  } catch (const Exception&) {
    // "Format unsupported": hexadecimal text into floats.
  }
  return 0;
}
