#pragma once
// Pixel sets of the filled shapes, shared by the canvas and the region constructors. A shape is a list
// of rows from Top down, each a sorted list of half-open [X1, X2) spans.
#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/base/types.h"

namespace qvgfx {

using TSpans = std::vector<std::pair<int32_t, int32_t>>;

struct TShape {
  int32_t Top = 0;
  std::vector<TSpans> Rows;
  bool Empty() const;
  bool Contains(int32_t X, int32_t Y) const;
};

// No limit on the pixels a shape may hold.
constexpr TRect NoWindow(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);

// Boxes have exclusive right and bottom edges and any corner order. Only the part of a shape inside
// Window is built, so that figures far larger than the bitmap cost no more than the bitmap; callers
// pass the bitmap grown by a pixel or two, so that the cut edges lie outside what is drawn.
TShape EllipseShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRect& Window = NoWindow);
TShape RoundRectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H,
                      const TRect& Window = NoWindow);
TShape PolygonShape(const TPoint* Points, const int* Counts, int Polygons, int FillMode,
                    const TRect& Window = NoWindow);
TShape RectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRect& Window = NoWindow);
// The pixels of S whose left, right, upper or lower neighbour is outside S: a one-pixel outline.
TShape BoundaryOf(const TShape& S);
// A minus B.
TShape Subtract(const TShape& A, const TShape& B);
// Spans of one row: A minus B, A and B.
TSpans SpanDiff(const TSpans& A, const TSpans& B);
TSpans SpanAnd(const TSpans& A, const TSpans& B);
// Pixels of S kept when Keep(X, Y) is true.
template <typename F>
TShape Filter(const TShape& S, F&& Keep) {
  TShape R;
  R.Top = S.Top;
  R.Rows.resize(S.Rows.size());
  for (size_t I = 0; I < S.Rows.size(); ++I) {
    int32_t Y = S.Top + static_cast<int32_t>(I);
    for (auto [A, B] : S.Rows[I]) {
      int32_t Start = A;
      for (int32_t X = A; X <= B; ++X) {
        bool In = X < B && Keep(X, Y);
        if (!In) {
          if (X > Start) R.Rows[I].push_back({Start, X});
          Start = X + 1;
        }
      }
    }
  }
  return R;
}

}  // namespace qvgfx
