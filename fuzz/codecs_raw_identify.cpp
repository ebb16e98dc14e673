// Reads arbitrary bytes as a camera-raw file: the probe, then identification with the metadata and preview
// readers of every container (parameters only), then the whole reader asking for the embedded preview.
#include "fuzz/io_common.inc"
#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/codecs.h"

namespace {
struct RawInit {
  RawInit() {
    QxRegisterFurtherCodecs();
  }
};
RawInit rawInit;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    FuzzInput in(data, size);
    IsCameraRawStream(&in.Stream);
  }
  {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    try {
      ReadCameraRawStream(&in.Stream, &bitmap, params, in.Progress, true);
    } catch (const EOutOfMemory&) {
    }
  }
  {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.RawUseExifThumbnail = 1;
    try {
      ReadCameraRawStream(&in.Stream, &bitmap, params, in.Progress, true);
    } catch (const EOutOfMemory&) {
    }
  }
  return 0;
}
