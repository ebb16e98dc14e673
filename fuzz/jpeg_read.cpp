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
  for (uint8_t scale : {uint8_t(1), uint8_t(4)}) {
    s.SetPosition(0);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.JpegScale = scale;
    params.JpegAutoOrient = 1;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    try {
      ReadJpegStream(&s, nullptr, &bitmap, params, progress, false, false, true, false, true, true, -1, scale == 4);
    } catch (const EQxJpegException&) {
    }
  }
  s.SetPosition(0);
  JpegStreamLength(&s);
  return 0;
}
