#pragma once
// Rectangle, colour and font helpers of the styled menu.

#include <cstdint>
#include <memory>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace StyMenus {

inline int32_t RectWidth(const TRect& R) { return R.Right - R.Left; }
inline int32_t RectHeight(const TRect& R) { return R.Bottom - R.Top; }
// R made W by H around its old centre.
TRect FitRectCentered(const TRect& R, int32_t W, int32_t H);
// (0, 0, width, height) of the bitmap; empty for none.
TRect BitmapBounds(const TBitmap* Bitmap);
// The colour resolved to RGB (system colours too) and split.
void ColorToRGBParts(TColor Color, uint8_t& R, uint8_t& G, uint8_t& B);
inline TColor RGBToColor(uint8_t R, uint8_t G, uint8_t B) { return static_cast<TColor>(RGB(R, G, B)); }
inline int32_t Min(int32_t A, int32_t B) { return A < B ? A : B; }
inline int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }
// A font like Font turned by AngleDegrees, in the default character set; the caller frees it.
std::unique_ptr<TFont> CreateRotatedFont(const TFont& Font, int32_t AngleDegrees);

}  // namespace StyMenus
