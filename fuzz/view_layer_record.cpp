// One layer record (properties and raw bitmap) from arbitrary bytes, written again when it was read.
#include <cstddef>
#include <cstdint>

#include "imaging/view/layer.h"
#include "platform/base/exceptions.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream s;
  if (Size) s.WriteBuffer(Data, int64_t(Size));
  s.SetPosition(0);
  TQxLayer layer(nullptr, nullptr, false);
  try {
    layer.ReadFromStream(&s);
  } catch (const Exception&) {
    return 0;  // a damaged record is refused
  }
  TMemoryStream out;
  layer.WriteToStream(&out, true);
  return 0;
}
