// Free routines behind the size and orientation operations of TQuillotProc.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"
#include "platform/base/types.h"

class TQxBitmap;
class TObject;

// Resamples Source into Dest at Dest's current size (a copy when the sizes match), alpha included.
void QxResampleBitmap(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter, TObject* Sender = nullptr,
                      const TQxProgressEvent& OnProgress = {});
// Nearest-pixel copy into Dest at Dest's size; Dest must be allocated in Source's format.
TQxBitmap* QxStretchNearest(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender = nullptr,
                            const TQxProgressEvent& OnProgress = {});
// Direction 0 mirrors left and right, 1 top and bottom; the alpha channel follows.
void QxFlipBitmap(TQxBitmap* Bitmap, int32_t Direction);
// Smallest inclusive rectangle holding every pixel of non-zero alpha (the whole picture without alpha).
void QxOpaqueBounds(TQxBitmap* Bitmap, TRect& R);
