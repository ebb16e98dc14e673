#pragma once
// The image data of a PNG file deflated in bands on every core. Each band is a raw deflate stream primed
// with the 32 KB that precede it and ended with a sync flush, so that the bands joined end to end, under
// one zlib header and one Adler-32, are a single valid zlib stream that every reader inflates.

#include <cstddef>
#include <cstdint>
#include <functional>

struct TPngBandPlan {
  int32_t Height = 0;
  size_t RowBytes = 0;       // one row as stored, without its filter byte
  int32_t PixelBytes = 1;    // the distance the Sub and Paeth filters look back, at least 1
  int32_t FilterType = 0;    // the filter byte of every row: 0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth
  int32_t Level = 6;         // zlib level, 0..9
  size_t BandBytes = size_t(256) << 10;  // filtered bytes a band aims at
  int32_t Threads = 0;       // threads that deflate; 0: as many as the processes' cores. One makes one
                             // stream with no bands.
};

// True when a picture of these rows is worth the threads; smaller ones take libpng's own road.
bool PngBandsPay(size_t RowBytes, int32_t Height);

// Rows(First, Last, Dest, Stride) stores rows [First, Last) unfiltered, RowBytes each, the first at Dest and
// each next one Stride bytes on; it is called on the calling thread only, for batches of rows in order,
// while the bands made of the rows before are being deflated on the other cores.
// Out(Data, Size) receives the zlib stream in order, in pieces of about a band's deflated size.
// Done(RowsSoFar) is told as the stream goes out, at least at every hundredth of the rows and at the end, and
// returns false to stop; the result is then false.
bool DeflatePngRowsInBands(const TPngBandPlan& Plan,
                           const std::function<void(int32_t, int32_t, uint8_t*, size_t)>& Rows,
                           const std::function<void(const uint8_t*, size_t)>& Out,
                           const std::function<bool(int32_t)>& Done);

// Where the time of the last banded write went, in seconds of thread time summed over the threads:
// making the rows, filtering them, deflating them and handing the stream on.
struct TPngWriteCosts {
  double Rows = 0, Filter = 0, Deflate = 0, Output = 0;
};
TPngWriteCosts LastPngWriteCosts();
