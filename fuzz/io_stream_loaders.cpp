// Arbitrary bytes through the I/O component's stream loaders with every codec registered: detection by
// content along the whole chain, then the reader it picks, natively and converted.
#include "fuzz/io_common.inc"
#include "imaging/codecs/codecs.h"
#include "imaging/io/quillot_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    QxRegisterFurtherCodecs();
    return true;
  }();
  (void)registered;
  for (int native = 0; native < 2; ++native) {
    FuzzInput in(data, size);
    TQxBitmap target;
    TQuillotIO io(&target);
    // Sizes that a fuzzer's few bytes may claim stay within what the sanitizers can allocate.
    io.Params->MaxPixels = int64_t(1) << 22;
    io.Params->NativePixelFormat = uint8_t(native);
    try {
      io.LoadFromStream(in.Stream);
    } catch (const Exception&) {
      // A reader's clear refusal.
    }
  }
  return 0;
}
