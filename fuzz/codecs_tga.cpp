// Reads arbitrary bytes as a Targa image (with and without alpha, parameters only) and writes back what it
// read with the mask it gave.
#include "fuzz/io_common.inc"
#include "imaging/codecs/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    FuzzInput in(data, size);
    IsTgaStream(&in.Stream);
  }
  for (int variant = 0; variant < 3; ++variant) {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    TQxMask* mask = nullptr;
    ReadTgaStream(&in.Stream, &bitmap, params, in.Progress, variant == 2, mask, variant == 1);
    std::unique_ptr<TQxMask> owned(mask);
    if (!in.Aborting && !bitmap.IsEmpty() && bitmap.Width() * int64_t(bitmap.Height()) < 100000) {
      TMemoryStream out;
      WriteTgaStream(&out, &bitmap, params, in.Progress, owned.get());
    }
  }
  return 0;
}
