// The layered-document probe on arbitrary bytes; the position must come back unchanged.
#include <cstdlib>

#include "fuzz/io_common.inc"
#include "imaging/codecs/psd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  for (int64_t start : {int64_t(0), int64_t(size / 2)}) {
    in.Stream.SetPosition(start);
    IsPsdStream(&in.Stream);
    if (in.Stream.Position() != start) std::abort();
  }
  return 0;
}
