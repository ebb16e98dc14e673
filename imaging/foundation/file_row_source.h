#pragma once
// What a picture whose rows are made as they are asked for (layers merged as a writer goes) can do for a
// file writer: make its rows straight into the writer's buffers in the order files store pixels, and tell
// from how it makes them whether any pixel is less than opaque. The writer then needs neither a copy of
// each row nor a scan of the alpha channel of its own.

#include <cstddef>
#include <cstdint>

class TQxFileRowSource {
 public:
  virtual ~TQxFileRowSource() = default;
  // Whether the alpha channel the picture carries now holds some value below 255.
  virtual bool AlphaPartial() = 0;
  // Rows [First, Last) as red, green, blue and alpha bytes, four a pixel, the first row at Dest and each
  // next one Stride bytes on. False, with nothing written, when the rows cannot be made so (the picture
  // carries no alpha channel now): the writer then reads them through Scanline. Called from one thread at a
  // time; it may use the shared workers.
  virtual bool RowsRgba(int32_t First, int32_t Last, uint8_t* Dest, size_t Stride) = 0;
};
