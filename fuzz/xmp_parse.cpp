// An XMP packet from arbitrary bytes into the parameters it fills.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/foundation/metadata.h"
#include "imaging/io/jpeg_metadata.h"
#include "imaging/io/params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Give every other input the identifier in front, so the parser behind the search is reached.
  std::string block(reinterpret_cast<const char*>(data), size);
  if (size % 2 == 0) block.insert(0, QxXmpNamespace, 29);
  TIOParamsVals params;
  QxLoadXMPFromBuffer(block.data(), int32_t(block.size()), params);
  return 0;
}
