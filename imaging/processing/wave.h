// Concentric ripples around the centre of a qx24RGB picture.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/foundation/types.h"

class TQxBitmap;

void QxWaveBitmap(TQxBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
                  TQxProgressInfo& Progress);
// The same ripples drawn into Dest (qx24RGB, Width x Height) from a picture given by its rows, top-down,
// each Width pixels of 3 bytes, read as mirrored left to right when MirrorX is set: a mirror of a picture
// is waved without being copied first. False, and nothing drawn, when there is nothing to wave or Dest
// cannot take it.
bool QxWaveFromRows(const std::vector<const uint8_t*>& Rows, bool MirrorX, TQxBitmap* Dest, int32_t Amplitude,
                    int32_t WaveLength, int32_t Phase, bool Reflective, TQxProgressInfo& Progress);
// Bilinear step: Samples are s00, s10, s01, s11.
uint8_t QxBilinearByte(const uint8_t Samples[4], double SX, double SY);
