#pragma once
// PNG reading and writing through libpng.

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;

// Bad data sets Progress's abort flag; nothing is raised.
void ReadPngStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly);
// Mask nil or full means opaque. Library errors raise EInvalidGraphic "Error on creating PNG". An 8-bit
// Alpha bitmap may stand in for Mask (which is then nil): its rows are read where they are, not copied.
void WritePngStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                    TQxMask* Mask, TQxBitmap* Alpha = nullptr);
// The signature probe; the position is restored.
bool IsPngStream(TStream& Stream);
