// The table of transition effects and the draw procedures it names. A procedure paints one frame of
// a transition from the frame's previous content, the from picture and the to picture, for a progress
// in percent; the transition player calls it through the table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/region.h"

class TBitmap;
class TCanvas;

using TQxTransitionDrawProc = void (*)(TCanvas* Canvas, TBitmap* FromBitmap, TBitmap* ToBitmap, const TRect& Rect,
                                       bool Flag, int32_t Percent);

struct TEffect {
  const char* Name;
  TQxTransitionDrawProc DrawProc;  // nil for the kinds the player paints itself
  uint8_t Group;
  bool Flag;
};

inline constexpr int32_t QxTransitionTableSize = 214;
extern const std::array<TEffect, QxTransitionTableSize> QxTransitionTable;

// The table row Row: refused with a clear error when the table has no such row.
const TEffect& QxTransitionRow(int32_t Row);

// The frame size W x H of Rect and the progress sizes w, h for Percent (clamped to 0..100): the longer
// side is scaled by the percentage and the other follows in proportion.
void QxScaledSize(const TRect& Rect, int32_t Percent, int32_t& W, int32_t& H, int32_t& w, int32_t& h);

// Stretches the part Source (left, top, right, bottom) of Bitmap onto Dest (left, top, right, bottom)
// of Canvas, mirrored as asked.
void QxMirrorStretch(TCanvas* Canvas, TRect Dest, TBitmap* Bitmap, TRect Source, bool MirrorLeftRight,
                     bool MirrorTopBottom);

// Clips Canvas to Region, copies the whole to picture and removes the clip; without a region the copy
// is not clipped.
void QxClipCopy(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H, const std::optional<TRegion>& Region);

// Copies the to picture's pixels under every rectangle (left, top, right, bottom) of Rects within W x H,
// as a clip copy through their union does: row by row where Canvas is a plain 24-bit picture, else through
// the united region.
void QxCopyThroughRects(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H, const std::vector<TRect>& Rects);

// The transitions' own pseudo-random generator: uniform in 0..N-1 (0 when N <= 0), with a seed that
// the random-cell procedures save, set and restore.
int32_t QxTransitionRandom(int32_t N);
uint32_t QxTransitionRandSeed();
void QxSetTransitionRandSeed(uint32_t Seed);
