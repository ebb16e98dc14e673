// Packed-DIB import on arbitrary bytes; the first byte chooses whether the tail is handed over as
// separate pixel data (the video-frame road).
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const bool separateBits = Data[0] & 1;
  ++Data;
  --Size;
  TQxBitmap b;
  b.MemoryThreshold = INT64_MAX;
  if (separateBits && Size > 40) {
    const size_t split = 40 + (Data[39] % 64);
    if (split < Size) QxCopyDIBToBitmap(Data, split, &b, Data + split, Size - split);
  } else {
    QxCopyDIBToBitmap(Data, Size, &b);
  }
  return 0;
}
