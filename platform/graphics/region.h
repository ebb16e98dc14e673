#pragma once
// Regions kept as y-x banded rectangle lists: rows of equal x-spans, bands sorted top to bottom,
// spans sorted left to right, no two bands touching with the same spans.
#include <cstdint>
#include <vector>

#include "platform/base/types.h"

constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;

// Results of CombineRgn and the clip calls.
constexpr int RGN_ERROR = 0;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;

// Polygon fill modes.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;

class TRegion {
 public:
  TRegion() = default;
  explicit TRegion(const TRect& R);

  bool IsEmpty() const { return FRects.empty(); }
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Kind() const;
  // The bounding box; all zero for an empty region.
  TRect Bounds() const { return FBounds; }
  bool Contains(int32_t X, int32_t Y) const;
  // True when any pixel of R lies in the region.
  bool Overlaps(const TRect& R) const;
  void Offset(int32_t DX, int32_t DY);
  // The banded rectangles, top band first.
  const std::vector<TRect>& Rects() const { return FRects; }
  // Builds from rectangles of any order and overlap.
  static TRegion FromRects(const std::vector<TRect>& Rects);
  // Builds from horizontal spans: one [X1, X2) span list per row, rows from Top.
  static TRegion FromRows(int32_t Top, const std::vector<std::vector<std::pair<int32_t, int32_t>>>& Rows);
  static TRegion Combine(const TRegion& A, const TRegion& B, int Mode);

  friend bool operator==(const TRegion& A, const TRegion& B) { return A.FRects == B.FRects; }

 private:
  void Normalize();
  std::vector<TRect> FRects;
  TRect FBounds;
};

TRegion CreateRectRgn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
TRegion CreateRectRgnIndirect(const TRect& R);
// The pixels inside the ellipse that Ellipse() fills for the same bounding box.
TRegion CreateEllipticRgn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
TRegion CreateEllipticRgnIndirect(const TRect& R);
TRegion CreateRoundRectRgn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H);
// FillMode ALTERNATE or WINDING; fewer than 3 points give an empty region.
TRegion CreatePolygonRgn(const TPoint* Points, int Count, int FillMode);
TRegion CreatePolyPolygonRgn(const TPoint* Points, const int* Counts, int Polygons, int FillMode);
// Dest := Src1 op Src2 (RGN_COPY copies Src1); returns the kind of Dest or RGN_ERROR for a bad mode.
int CombineRgn(TRegion& Dest, const TRegion& Src1, const TRegion& Src2, int Mode);
int OffsetRgn(TRegion& Rgn, int32_t DX, int32_t DY);
bool PtInRegion(const TRegion& Rgn, int32_t X, int32_t Y);
bool RectInRegion(const TRegion& Rgn, const TRect& R);
int GetRgnBox(const TRegion& Rgn, TRect& Box);
bool EqualRgn(const TRegion& A, const TRegion& B);
void SetRectRgn(TRegion& Rgn, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
