// Black and white by a threshold on the gray level, given or taken from the picture.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"

class TQxBitmap;

// Dest: a qx1g bitmap of the source's size. Threshold 0..255, -1 the average colour's gray level,
// -2 maximum entropy.
void QxConvertToBWThreshold(TQxBitmap* Source, TQxBitmap* Dest, int32_t Threshold, TQxProgressInfo& Progress);
void QxLuminanceHistogram(TQxBitmap* Source, int32_t (&Histogram)[256]);
// Gray level of one pixel of any format, as the threshold conversion sees it.
int32_t QxPixelGrayLevel(TQxBitmap* Source, const uint8_t* Row, int32_t X);
