// Searches arbitrary bytes for an XMP packet.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/foundation/metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Give every input the identifier now and then, so the search behind it is reached.
  std::string block(reinterpret_cast<const char*>(data), size);
  if (size % 3 == 0) block.insert(0, QxXmpNamespace, 24);
  const uint8_t* p = QxFindXMP(block.data(), int32_t(block.size()));
  if (p) {
    volatile uint8_t last = p == reinterpret_cast<const uint8_t*>(block.data()) + block.size() ? 0 : *p;
    (void)last;
  }
  return 0;
}
