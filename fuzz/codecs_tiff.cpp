// Reads arbitrary bytes as TIFF: pages, sub-images, single tiles, EXIF thumbnails, native formats and alpha,
// counts the pages, runs the probes, and writes a small decoded page back and reads it again.
#include "fuzz/io_common.inc"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/tiff.h"

namespace {
struct Register {
  Register() {
    QxRegisterLzwCoders();
    QxRegisterCCITTCoders();
    QxRegisterTiffCodec();
  }
};
static Register registerCoders;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int variant = 0; variant < 4; ++variant) {
    FuzzInput in(data, size);
    IsTiffStream(&in.Stream);
    IsTiffRawStream(&in.Stream);
    IsHDPStream(&in.Stream);
    if (variant == 0) TiffPageCount(&in.Stream);
    in.Stream.SetPosition(0);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.NativePixelFormat = uint8_t(variant & 1);
    params.TiffImageIndex = variant == 3 ? 1 : 0;
    params.TiffSubImageIndex = variant == 2 ? 0 : -1;
    params.TiffTileIndex = variant == 2 ? 1 : -1;
    int32_t pages = 0;
    TQxMask* mask = nullptr;
    ReadTiffStream(&bitmap, &in.Stream, pages, params, in.Progress, false, mask, true, variant == 1, variant == 3);
    delete mask;
    if (!in.Aborting && !bitmap.IsEmpty() && int64_t(bitmap.Width()) * bitmap.Height() < 20000) {
      TMemoryStream out;
      std::atomic<bool> abort{false};
      TQxProgressInfo pr;
      pr.AbortFlag = &abort;
      WriteTiffStream(&out, 0, &bitmap, params, pr);
      out.SetPosition(0);
      TQxBitmap back;
      TIOParamsVals p2;
      TQxMask* m2 = nullptr;
      ReadTiffStream(&back, &out, pages, p2, pr, false, m2, true, false, false);
      delete m2;
    }
  }
  return 0;
}
