// Small helpers shared by the processing sources.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "platform/base/numeric.h"
#include "platform/graphics/color.h"

namespace qxproc {

inline int32_t BytesPerPixel(TQxPixelFormat F) { return QxPixelFormatBits[static_cast<int>(F)] / 8; }

inline bool GetBit(const uint8_t* Row, int32_t X) { return (Row[X >> 3] & (0x80 >> (X & 7))) != 0; }
inline void SetBit(uint8_t* Row, int32_t X, bool V) {
  if (V)
    Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
  else
    Row[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
}

inline uint8_t ClampByte(int64_t V) { return V < 0 ? 0 : V > 255 ? 255 : uint8_t(V); }

// TColor (red in the low byte, system colours resolved) to red << 16 | green << 8 | blue.
inline uint32_t TColorToPacked(TColor C) {
  uint32_t v = static_cast<uint32_t>(ColorToRGB(C));
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}
inline TColor PackedToTColor(uint32_t P) {
  return static_cast<TColor>(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16));
}

// A scratch bitmap kept in memory so that rows are reached without the temporary-file mapping.
inline std::unique_ptr<TQxBitmap> MemoryBitmap(int32_t W, int32_t H, TQxPixelFormat F) {
  auto b = std::make_unique<TQxBitmap>();
  b->MemoryThreshold = INT64_MAX;
  b->SetLocation(TQxLocation::qxMemory);
  b->Allocate(W, H, F);
  return b;
}

// Reports Trunc(Done * Factor) when a handler is assigned.
inline void Report(const TQxProgressEvent& OnProgress, TObject* Sender, double Value) {
  if (OnProgress) OnProgress(Sender, static_cast<int32_t>(Trunc(Value)));
}

}  // namespace qxproc
