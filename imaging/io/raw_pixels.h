#pragma once
// Headerless pixel data whose geometry the caller states, and the metafile probes.

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;

// Fills the prepared Bitmap (size and pixel format set) from the stream's position.
void ReadRawPixelStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
bool IsWmfStream(TStream& Stream);
bool IsEmfStream(TStream& Stream);
