#pragma once
// The portable anymap formats (P1..P6) and the wireless bitmap (WBMP type 0).

#include <cstdint>
#include <string>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;

bool IsPxmStream(TStream& Stream);
void ReadPxmStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress);
void WritePxmStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
void ReadWbmpStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                    TQxProgressInfo& Progress);
void WriteWbmpStream(TStream& Stream, TQxBitmap& Bitmap, TQxProgressInfo& Progress);

void PxmReadToken(TStream& Stream, std::string& Token);
int32_t WbmpReadMultiByteInt(TStream& Stream);
