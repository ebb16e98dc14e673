#pragma once
// Geometry helpers of the imaging library.

#include <cstdint>

class TQxBitmap;

// Turns an image stored with an EXIF orientation value (1..8) upright; other values leave it alone. The
// alpha channel turns with it.
void QxApplyExifOrientation(TQxBitmap* Bitmap, int32_t Orientation);
