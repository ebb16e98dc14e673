// Pixel-format conversion helpers, the ordered-dither matrix and the layer blend operations shared by
// the bitmap's renderers and the views' layer merging.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"

// The 8 x 8 Bayer index matrix, indexed [x mod 8][y mod 8] with x the column.
extern const uint8_t QxDitherMatrix[8][8];

// Combines Source into Dest by one of the 43 blend operations (0 = cover); Row is the destination row,
// used by the two row-interleaving operations. Operations above 42 leave Dest unchanged.
void QxBlendPixel(TQxRGB Source, TQxRGB& Dest, TQxBlendOperation Operation, int32_t Row);

// CMYK pixels go through these hooks; the I/O library installs its profile-aware conversions at start-up.
// Until then the plain arithmetic conversions are used.
using TQxCMYKToRGBFunc = TQxRGB (*)(TQxCMYK Color);
using TQxRGBToCMYKFunc = TQxCMYK (*)(TQxRGB Color);
extern TQxCMYKToRGBFunc QxCMYKToRGBHook;
extern TQxRGBToCMYKFunc QxRGBToCMYKHook;
TQxRGB QxCMYKToRGBArithmetic(TQxCMYK Color);
TQxCMYK QxRGBToCMYKArithmetic(TQxRGB Color);
inline TQxRGB QxPixelCMYKToRGB(TQxCMYK Color) { return QxCMYKToRGBHook(Color); }
inline TQxCMYK QxPixelRGBToCMYK(TQxRGB Color) { return QxRGBToCMYKHook(Color); }

// CIELab pixels (l = L* x 255 / 100, a and b signed) to and from 24-bit colour.
TQxRGB QxPixelCIELabToRGB(TQxCIELab Color);
TQxCIELab QxPixelRGBToCIELab(TQxRGB Color);

// Gray levels of a colour: Y8 with the library gray weights, Y16 and the float level with fixed weights.
int32_t QxGrayY8(int32_t R, int32_t G, int32_t B);
int32_t QxGrayY16(int32_t R, int32_t G, int32_t B);
float QxGrayFloat(int32_t R, int32_t G, int32_t B);
