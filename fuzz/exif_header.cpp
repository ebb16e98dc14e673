// Reads arbitrary bytes as an EXIF block: the header test, the basic-tag reader and the orientation patch.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/foundation/metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t skip = QxIsEXIFHeader(data, int32_t(size)) && size >= 6 ? 6 : 0;
  std::vector<uint8_t> tiff(data + skip, data + size);
  TQxExifBasicTags tags;
  QxReadExifBasicTags(tiff.data(), tiff.size(), tags);
  QxSetExifOrientationTag(tiff.data(), tiff.size(), 1);
  return 0;
}
