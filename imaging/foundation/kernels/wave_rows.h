#pragma once
// The row kernel of the wave: concentric ripples drawn into a picture of blue-green-red pixels, each pixel
// sampled bilinearly from where the ripple moves it. In vector code where the processor has it (the three
// channels of a pixel side by side); that equals the plain reference (…Plain) byte for byte.

#include <cstdint>
#include <vector>

struct TQxWaveRows {
  int32_t W, H;
  double Cx, Cy;        // the centre, (W - 1) / 2 and (H - 1) / 2
  double Fx, Fy;        // what makes the picture square: the longer side's is 1
  double Phi, L2, Amp;  // the phase in radians, twice the wave length, the amplitude
  bool Reflective;      // the ripple pushes outwards by its size rather than along its sign
  bool MirrorX;         // the source rows are read right to left
  const uint8_t* const* Src;  // H rows, Src[y] is row y counted from the bottom
  uint8_t* const* Dst;        // the same numbering
  const double* Dxs;          // (x - Cx) * Fx of each column
};

// The ripples of Amplitude and WaveLength, Phase degrees on, over a picture of W x H; Dxs keeps the columns'
// distances that the result points to. Src and Dst are left to the caller.
TQxWaveRows QxWaveGeometry(int32_t W, int32_t H, int32_t Amplitude, int32_t WaveLength, int32_t Phase,
                           bool Reflective, bool MirrorX, std::vector<double>& Dxs);

// Rows y and H - 1 - y of Dst (y < (H + 1) / 2): the two lie at the same distance from the centre, so
// one sine serves up to four pixels.
void QxWaveRowPair(const TQxWaveRows& J, int32_t y);
void QxWaveRowPairPlain(const TQxWaveRows& J, int32_t y);
