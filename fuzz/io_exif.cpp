// Arbitrary bytes as EXIF with the TIFF codec registered: an APP1 block, a TIFF structure in a stream, and
// a camera-raw file searched for its TIFF header, each read into a parameter object with its thumbnail.
#include "fuzz/io_common.inc"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/metadata.h"
#include "imaging/io/jpeg_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    QxRegisterFurtherCodecs();
    return true;
  }();
  (void)registered;
  if (size > (1u << 20)) return 0;
  try {
    std::vector<uint8_t> block{'E', 'x', 'i', 'f', 0, 0};
    block.insert(block.end(), data, data + size);
    TIOParamsVals params;
    params.MaxPixels = int64_t(1) << 22;
    QxLoadEXIFFromBuffer(block.data(), int32_t(block.size()), params);
  } catch (const Exception&) {
  }
  try {
    FuzzInput in(data, size);
    TIOParamsVals params;
    params.MaxPixels = int64_t(1) << 22;
    QxLoadEXIFFromTIFFStream(in.Stream, params);
  } catch (const Exception&) {
  }
  try {
    FuzzInput in(data, size);
    const int64_t at = QxFindTIFFHeader(in.Stream);
    if (at >= 0) {
      in.Stream.SetPosition(at);
      TIOParamsVals params;
      params.MaxPixels = int64_t(1) << 22;
      QxLoadRawCameraEXIF(in.Stream, params);
    }
  } catch (const Exception&) {
  }
  return 0;
}
