// Named 3x3 convolution presets, the 3x3 convolution of an 8-bit plane, and the magic wand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"

class TQxBitmap;
class TQxMask;

// Nine coefficients row by row (top-left first) and a divisor (0 counts as 1).
struct TQxFilterPreset {
  int32_t Values[9];
  int32_t Divisor;
};
static_assert(sizeof(TQxFilterPreset) == 40);

// The nine presets and their names, filled by QxInitFilterPresets at library start-up.
extern std::vector<TQxFilterPreset> QxFilterPresets;
extern std::vector<std::string> QxFilterPresetNames;
void QxAddFilterPreset(const TQxFilterPreset& Preset, const std::string& Name);
void QxInitFilterPresets();
void QxFreeFilterPresets();

// Filters the rectangle (X2, Y2 exclusive) of a qx8g bitmap in place.
void QxConvolve3x3(TQxBitmap* Bitmap, const TQxFilterPreset& Preset, int32_t X1, int32_t Y1, int32_t X2,
                   int32_t Y2);

// Outline of the 4-connected area of similar colour around (X, Y); Count points, empty when the seed lies
// outside the picture.
std::vector<TPoint> QxMagicWandPolygon(TQxBitmap* Bitmap, int32_t X, int32_t Y, int32_t& Count,
                                       int32_t Tolerance, bool Dilate);
void QxMagicWandMask(TQxBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TQxMask* Mask, int32_t Tolerance,
                     bool Dilate);
// Every pixel of the picture similar to the seed, connected or not.
void QxSelectSimilarColors(TQxBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TQxMask* Mask,
                           int32_t Tolerance);
