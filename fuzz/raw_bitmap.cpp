// The raw bitmap stream reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/bitmap.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemoryStream s;
  if (Size) s.WriteBuffer(Data, int64_t(Size));
  s.SetPosition(0);
  TQxBitmap b;
  b.MemoryThreshold = INT64_MAX;
  if (b.LoadRawFromStream(&s) && !b.IsEmpty()) {
    // Touch every row so a wrong layout shows.
    volatile uint8_t sink = 0;
    for (int32_t y = 0; y < b.Height(); ++y) sink = uint8_t(sink ^ b.Scanline(y)[b.RowLen() - 1]);
    TMemoryStream out;
    b.SaveRawToStream(&out);
  }
  return 0;
}
