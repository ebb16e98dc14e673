#pragma once
// Geometry helpers of the imaging library.

#include <cstdint>

class TQxBitmap;

// Turns an image stored with an EXIF orientation value (1..8) upright; other values leave it alone. The
// alpha channel turns with it.
void QxApplyExifOrientation(TQxBitmap* Bitmap, int32_t Orientation);

// Fits W x H into BoxW x BoxH with one factor for both sides, each result truncated and at least 1;
// nothing when W or H is 0.
void QxFitSize(int32_t W, int32_t H, int32_t BoxW, int32_t BoxH, int32_t& OutW, int32_t& OutH);
