// Content detection on arbitrary bytes from two start positions; the position must come back unchanged.
#include <cstdlib>

#include "fuzz/io_common.inc"
#include "imaging/io/file_formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  for (int64_t start : {int64_t(0), int64_t(size / 3)}) {
    in.Stream.SetPosition(start);
    QxFindStreamFormat(in.Stream);
    if (in.Stream.Position() != start) std::abort();
    IsAviStream(in.Stream);
  }
  return 0;
}
