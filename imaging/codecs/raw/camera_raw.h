#pragma once
// The camera-raw reader (read only): the sensor files of the cameras in the camera table, decoded into a
// 24-bit or 48-bit RGB picture, or their embedded preview when asked.

#include <cstdint>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;

// Fills ReadCameraRawStream and IsCameraRawStream of QxCodecServices.
void QxRegisterCameraRawCodec();

// Decodes the file at position 0 of the stream into Bitmap and fills Params; with ParamsOnly it stops after
// identifying the camera. A file it cannot decode sets the abort flag and Params.ReadError; Bitmap is then
// left as it was (or holds the preview, when the preview was asked for and found). Pictures beyond
// Params.MaxPixels, or larger than the file's bytes can code, are refused before anything is allocated.
void ReadCameraRawStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                         bool ParamsOnly);
// True when the stream is a camera-raw file of a known camera; the position is restored.
bool IsCameraRawStream(TStream* Stream);

// Turn the 45-degree layout of the Fuji sensors back into an upright picture (24-bit and 48-bit forms).
void QxRawUndiagonal24(TQxBitmap* Bitmap);
void QxRawUndiagonal48(TQxBitmap* Bitmap);
