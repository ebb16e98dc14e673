#pragma once
// The Windows bitmap family: BMP (RLE4, RLE8, OS/2 headers, bit fields), icons and cursors.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;

// DataSize <= 0: take the size of the file header. Mask receives the alpha of 32-bit images unless
// IgnoreAlpha; it is created when null and reset again when not needed.
void ReadBmpStream(TStream& Stream, TQxBitmap& Bitmap, int32_t DataSize, TIOParamsVals& Params,
                   TQxProgressInfo& Progress, bool ParamsOnly, bool NoFileHeader, std::unique_ptr<TQxMask>& Mask,
                   bool IgnoreAlpha);
void WriteBmpStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool WriteAlpha,
                    TQxProgressInfo& Progress);

bool IsIcoStream(TStream& Stream);
bool IsCurStream(TStream& Stream);
int32_t IcoImageCountStream(TStream& Stream);
void ReadIcoStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask, bool WithoutMask);
void ReadCurStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TQxProgressInfo& Progress, std::unique_ptr<TQxMask>& Mask, bool WithoutMask);
using TQxIcoSize = std::array<int32_t, 2>;  // width, height
void WriteIcoStream(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                    const std::vector<TQxIcoSize>& Sizes, const std::vector<int32_t>& BitCounts);
