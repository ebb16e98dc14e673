// The layers-file probe on arbitrary bytes; the position must come back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/view/view.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream s;
  if (Size) s.WriteBuffer(Data, int64_t(Size));
  for (int64_t start : {int64_t(0), int64_t(Size / 2)}) {
    s.SetPosition(start);
    QxIsLayersStream(&s);
    if (s.Position() != start) std::abort();
  }
  return 0;
}
