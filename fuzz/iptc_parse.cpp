// Reads arbitrary bytes as an IPTC block, and writes back what was read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/foundation/metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TQxIPTCInfoList list;
  list.LoadFromBuffer(data, int32_t(size));
  std::vector<uint8_t> out;
  list.SaveToBuffer(out, size % 2 == 0);
  TQxIPTCInfoList again;
  again.LoadFromBuffer(out.data(), int32_t(out.size()));
  return 0;
}
