#pragma once
// Pixel sets of the filled shapes, shared by the canvas and the region constructors. A shape is a list
// of rows from Top down, each a sorted list of half-open [X1, X2) spans.
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

// Box with exclusive right and bottom, any corner order.
TShape EllipseShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
TShape RoundRectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H);
TShape PolygonShape(const TPoint* Points, const int* Counts, int Polygons, int FillMode);
TShape RectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The pixels of S whose left, right, upper or lower neighbour is outside S: a one-pixel outline.
TShape BoundaryOf(const TShape& S);
// A minus B.
TShape Subtract(const TShape& A, const TShape& B);
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
