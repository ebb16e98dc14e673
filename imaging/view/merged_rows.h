#pragma once
// Two layers merged as QxMergeLayers merges them, handed out a band of rows at a time instead of held whole:
// a writer that takes the picture row by row then needs no full-size copy of it.

#include <cstdint>
#include <memory>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/file_row_source.h"
#include "imaging/foundation/types.h"
#include "platform/graphics/color.h"

class TQxLayer;

// What QxMergeLayers(Layer1, Layer2, nullptr, Destination, Filter, BackgroundColor, false) would leave in
// Destination, alpha channel included (none when every merged pixel is opaque), made as Scanline asks for
// rows. The layers must stay as they are while it lives. The rows are read on one thread (MapsRows() is
// true); a row pointer stays valid until rows of two other bands have been asked for. Writing into the rows
// changes nothing that lasts.
class TQxMergedRows : public TQxBitmap, public TQxFileRowSource {
 public:
  TQxMergedRows(TQxLayer* Layer1, TQxLayer* Layer2, TResampleFilter Filter, TColor BackgroundColor);
  ~TQxMergedRows() override;

  // From now on the rows come blended onto Color, as RemoveAlphaChannel(true, Color) would leave a merged
  // picture, and the alpha channel is gone.
  void FlattenOnto(TColor Color);

  uint8_t* Scanline(int32_t Row) override;

  // Known from the merge that decided whether the rows carry an alpha channel.
  bool AlphaPartial() override;
  // Merged on every core a row at a time into a small buffer and reordered into Dest, with no band kept.
  bool RowsRgba(int32_t First, int32_t Last, uint8_t* Dest, size_t Stride) override;

  // Rows merged so far (a row merged again after its band was let go counts again).
  int64_t RowsMerged() const;

  struct TBands;

 private:
  class TAlphaRows;
  std::unique_ptr<TBands> FBands;
};
