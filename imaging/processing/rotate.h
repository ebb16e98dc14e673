// Rotation by any angle: interpolated (qx24RGB and 8-bit planes) and nearest pixel (every format).
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"
#include "platform/graphics/color.h"

class TQxBitmap;
class TObject;

// Quality 1 bilinear, 2 bicubic; any other value samples bilinearly.
void QxRotateInterpolated24(TQxBitmap* Bitmap, TColor Background, uint8_t Quality, TObject* Sender,
                            const TQxProgressEvent& OnProgress, double Angle);
void QxRotateInterpolated8(TQxBitmap* Bitmap, uint8_t Background, uint8_t Quality, double Angle);
void QxRotateNearest(TQxBitmap* Bitmap, TColor Background, TObject* Sender, const TQxProgressEvent& OnProgress,
                     double Angle);
// Writes the turned Source into Dest (reallocated); Source is not changed.
void QxRotateInto(TQxBitmap* Source, TQxBitmap* Dest, TColor Background, TObject* Sender,
                  const TQxProgressEvent& OnProgress, double Angle);
