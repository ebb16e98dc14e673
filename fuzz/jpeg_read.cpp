// Decodes arbitrary bytes as a JPEG, at full size and scaled, with metadata.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream s;
  s.Write(data, int64_t(size));
  // Full size, scaled, and raw components (as a TIFF page with JPEG compression reads them).
  for (int variant = 0; variant < 3; ++variant) {
    const uint8_t scale = variant == 1 ? 4 : 1;
    s.SetPosition(0);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.MaxPixels = int64_t(1) << 24;
    params.JpegScale = scale;
    params.JpegAutoOrient = 1;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    try {
      ReadJpegStream(&s, nullptr, &bitmap, params, progress, false, variant == 2, true, false, true, true, -1, variant == 1);
    } catch (const EQxJpegException&) {
    }
  }
  s.SetPosition(0);
  JpegStreamLength(&s);
  return 0;
}
