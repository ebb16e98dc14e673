#pragma once
// Layered documents of format id 24 (PSD, version 1): merged picture, resolution, IPTC, ICC, XMP and
// thumbnail resources, and the layers as TQxLayer objects.

#include <cstdint>
#include <vector>

class TStream;
class TList;
class TQxBitmap;
class TIOParamsVals;
struct TQxProgressInfo;

// Reads the 26-byte header at the position and restores it.
bool IsPsdStream(TStream* Stream);

// Bitmap (may be null) receives the merged picture; Layers (may be null) receives new TQxLayer objects the
// caller owns. A file that cannot be used sets the progress record's abort flag.
void ReadPsdStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool LoadLayers, TList* Layers);

// Writes Merged and the TQxLayer objects of Layers (may be null or empty) at the stream's position. The
// layers' bitmaps are converted to the merged picture's mode and given an alpha channel in place.
void WritePsdStream(TStream* Stream, TIOParamsVals& Params, TQxProgressInfo& Progress, TQxBitmap* Merged,
                    TList* Layers);

// PackBits of one row, appended to Dest.
void QxPackBitsRow(const uint8_t* Row, int32_t Count, std::vector<uint8_t>& Dest);
// Unpacks Packed into Dest, never writing past DestLen nor reading past PackedLen. Returns the bytes
// written; a row that runs short leaves the rest of Dest as it was.
int32_t QxUnpackBitsRow(const uint8_t* Packed, int32_t PackedLen, uint8_t* Dest, int32_t DestLen);
