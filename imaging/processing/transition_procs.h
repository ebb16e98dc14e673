// The draw procedures of the transition table, by family, and what they share.
#pragma once

#include <cstdint>

#include "imaging/processing/transition_table.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/base/numeric.h"

// The sizes every procedure works with, from the frame rectangle and the clamped percentage.
struct TQxTransitionFrame {
  int32_t W = 0, H = 0, w = 0, h = 0, p = 0;
  TQxTransitionFrame(const TRect& Rect, int32_t Percent);
};

// A family's procedure paints the rows of its family; the table gives each row a procedure of its own
// that calls the family with the row's index.
#define QX_TRANSITION_PROC(Name)                                                                              \
  void Name(int32_t Row, TCanvas* Canvas, TBitmap* FromBitmap, TBitmap* ToBitmap, const TRect& Rect, bool Flag, \
            int32_t Percent)

// Geometric families: copies, stretches and shifts of rectangles.
QX_TRANSITION_PROC(QxExpandProc);
QX_TRANSITION_PROC(QxExpandInProc);
QX_TRANSITION_PROC(QxShrinkProc);
QX_TRANSITION_PROC(QxSlideInProc);
QX_TRANSITION_PROC(QxWipeProc);
QX_TRANSITION_PROC(QxQuartersProc);
QX_TRANSITION_PROC(QxBuildUpProc);
QX_TRANSITION_PROC(QxUnrollProc);
QX_TRANSITION_PROC(QxPushProc);
QX_TRANSITION_PROC(QxPageFlipProc);
// Bands and cells.
QX_TRANSITION_PROC(QxBarsProc);
QX_TRANSITION_PROC(QxShredProc);
QX_TRANSITION_PROC(QxSpeckleProc);
QX_TRANSITION_PROC(QxBlindsProc);
QX_TRANSITION_PROC(QxUnevenBlindsProc);
QX_TRANSITION_PROC(QxSideRectanglesProc);
QX_TRANSITION_PROC(QxExpandingRectanglesProc);
QX_TRANSITION_PROC(QxRandomBigBoxesProc);
// Polygons, curves and shapes.
QX_TRANSITION_PROC(QxCurvedWipeProc);
QX_TRANSITION_PROC(QxPolygonWipeProc);
QX_TRANSITION_PROC(QxExpandingTrianglesProc);
QX_TRANSITION_PROC(QxExpandingDiamondsProc);
QX_TRANSITION_PROC(QxTriangularWipeProc);
QX_TRANSITION_PROC(QxZigzagProc);
QX_TRANSITION_PROC(QxSweepProc);
QX_TRANSITION_PROC(QxRotationProc);
QX_TRANSITION_PROC(QxShapeWipeProc);
QX_TRANSITION_PROC(QxShapeInOutProc);
QX_TRANSITION_PROC(QxShapeGridProc);
QX_TRANSITION_PROC(QxRandomShapesProc);

// A value rounded to the nearest integer, halves to even.
inline int32_t QxNearest(long double V) { return static_cast<int32_t>(Round(V)); }

// Rectangle helpers in (x, y, width, height) form.
inline void QxCopyFrom(TCanvas* C, TBitmap* Src, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t SX, int32_t SY) {
  BitBlt(C->Handle(), X, Y, W, H, Src->Canvas()->Handle(), SX, SY, SRCCOPY);
}
inline void QxCopyInPlace(TCanvas* C, TBitmap* Src, int32_t X, int32_t Y, int32_t W, int32_t H) {
  QxCopyFrom(C, Src, X, Y, W, H, X, Y);
}
inline void QxStretchFrom(TCanvas* C, int32_t X, int32_t Y, int32_t W, int32_t H, TBitmap* Src, int32_t SX, int32_t SY,
                          int32_t SW, int32_t SH) {
  StretchBlt(C->Handle(), X, Y, W, H, Src->Canvas()->Handle(), SX, SY, SW, SH, SRCCOPY);
}

// Keeps the generator's sequence as the caller had it while a procedure draws from a seed of its own.
class TQxSeedScope {
 public:
  explicit TQxSeedScope(uint32_t Seed) : FSaved(QxTransitionRandSeed()) { QxSetTransitionRandSeed(Seed); }
  ~TQxSeedScope() { QxSetTransitionRandSeed(FSaved); }
  TQxSeedScope(const TQxSeedScope&) = delete;
  TQxSeedScope& operator=(const TQxSeedScope&) = delete;

 private:
  uint32_t FSaved;
};

// The seed of one transition's random cells: the same for every frame drawn towards one picture.
inline uint32_t QxTransitionSeedOf(const TBitmap* ToBitmap) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ToBitmap));
}
