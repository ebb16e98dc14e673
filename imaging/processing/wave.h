// Concentric ripples around the centre of a qx24RGB picture.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"

class TQxBitmap;

void QxWaveBitmap(TQxBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
                  TQxProgressInfo& Progress);
// Bilinear step: Samples are s00, s10, s01, s11.
uint8_t QxBilinearByte(const uint8_t Samples[4], double SX, double SY);
