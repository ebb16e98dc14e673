#pragma once
// Helpers shared by the view's source files.

#include <cstdint>

class TQxView;

// Posts a message to a view's window from any thread; the window is made on the GUI thread first.
void QxPostToView(TQxView* View, uint32_t Msg, uintptr_t WParam, intptr_t LParam);
// Registers the view unit's start step and hooks and runs its start once.
void QxViewEnsureUnit();
// The zoom one wheel notch asks for: a fixed step or a percentage of the present zoom; Dir is +1 or -1.
double QxWheelZoomTarget(uint8_t StepKind, int32_t StepSize, double Zoom, int32_t Dir);

#include <string>

#include "platform/base/streams.h"
#include "platform/base/types.h"

class TCanvas;
class TBitmap;

// Covers the part of Outer outside Inner with black at transparency 150.
void QxDimAroundBitmapRect(TBitmap* Bitmap, const TRect& Outer, const TRect& Inner);

// Little-endian fields of the view's streams (layer records, the layers file, selections).
template <class T>
void QxViewPut(TStream* S, T V) {
  S->WriteBuffer(&V, sizeof(T));
}
inline void QxViewPutBool(TStream* S, bool V) { QxViewPut<uint8_t>(S, V ? 1 : 0); }

#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/view/view.h"

// The point that separates polygons in a selection's point list.
inline bool QxIsPolygonSeparator(const TPoint& P) {
  return P.X == TQxMask::PolygonSeparator && P.Y == TQxMask::PolygonSeparator;
}

// The flattened, scaled picture that a filtered zoom of several layers keeps between paints.
struct TQuillotView::TFlatPaintCache {
  std::vector<int64_t> Key;
  TQxBitmap Scaled;  // the visible part, flattened and scaled to its size on the screen
};

// The composed client that repaints reuse while nothing it depends on changed: its pixels, and where each
// layer was drawn (the mouse code reads that back).
struct TQuillotView::TComposeCache {
  std::vector<int64_t> Key;
  bool Valid = false;  // Pixels and Maps hold the composition of Key
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // rows top-down, 3 bytes a pixel
  struct LayerPlace {
    TRect DrawnRect;
    TQxLayerScreenMap ScreenMap;
    TPoint Outline[4];
  };
  std::vector<LayerPlace> Places;
  // The back buffer itself: it holds the composition of ShownKey with nothing drawn over it, so a repaint
  // with the same key needs nothing and a scroll can move it and compose only the uncovered strips.
  bool Shown = false;
  std::vector<int64_t> ShownKey;
  int32_t ShownWidth = 0, ShownHeight = 0;
  std::vector<LayerPlace> ShownPlaces;
  // By row of layer 0's alpha channel, the first and last column that is not opaque (First > Last where
  // none is), worked out as rows are needed; for the alpha channel and the content generation named.
  const void* RowsAlpha = nullptr;
  uint64_t RowsGeneration = 0;
  int32_t RowsWidth = 0;
  std::vector<int32_t> RowFirst, RowLast;
  std::vector<uint8_t> RowKnown;
};
