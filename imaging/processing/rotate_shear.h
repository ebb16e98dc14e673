// Rotation by three shears (qx24RGB and 8-bit planes), 1-bit rotation by inverse mapping, quarter turns.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"

class TQxBitmap;
class TObject;

// Background packed as red << 16 | green << 8 | blue. A qx1g bitmap goes to QxRotate1Bit; other formats
// turn by nearest pixel.
void QxRotateBitmap(TQxBitmap* Bitmap, uint8_t AntiAlias, TObject* Sender, const TQxProgressEvent& OnProgress,
                    uint32_t Background, double Angle);
void QxRotatePlane8(TQxBitmap* Plane, uint8_t AntiAlias, uint8_t Background, TObject* Sender,
                    const TQxProgressEvent& OnProgress, double Angle);
void QxRotate1Bit(TQxBitmap* Bitmap, bool BackgroundBit, TQxProgressInfo& Progress, double Angle);
void QxRotatePlane8Nearest(TQxBitmap* Plane, uint8_t Background, double Angle);

// Quarter turns into Dest (allocated H x W in Source's format).
void QxTurnClockwise24(TQxBitmap* Source, TQxBitmap* Dest);
void QxTurnCounterClockwise24(TQxBitmap* Source, TQxBitmap* Dest);
void QxTurnClockwise8(TQxBitmap* Source, TQxBitmap* Dest);
void QxTurnCounterClockwise8(TQxBitmap* Source, TQxBitmap* Dest);

bool QxIsRightAngle(double Angle);
