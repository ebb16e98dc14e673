// Inflates arbitrary bytes through the buffer routine and the decompression stream.
#include <vector>

#include "fuzz/io_common.inc"
#include "imaging/io/zstreams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t* out = nullptr;
  int32_t count = 0;
  try {
    ZDecompressBuffer(data, int32_t(size), out, 0, count);
    delete[] out;
  } catch (const EZLibError&) {
  }
  FuzzInput in(data, size);
  try {
    TZDecompressionStream z(in.Stream);
    std::vector<uint8_t> buf(4096);
    int64_t total = 0;
    while (total < (int64_t(1) << 24)) {
      int64_t n = z.Read(buf.data(), int64_t(buf.size()));
      if (n <= 0) break;
      total += n;
    }
  } catch (const EZLibError&) {
  }
  return 0;
}
