// Annotation records of TIFF tag 32932 from arbitrary bytes, built again from what was read.
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/annotations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TQxImagingAnnot a;
  a.LoadFromBuffer(Data, int64_t(Size));
  (void)a.SaveToBuffer();
  return 0;
}
