#include "imaging/processing/transition_regions.h"

#include <cmath>
#include <vector>

#include "platform/base/numeric.h"

void TComplexRegion::Clear() {
  FRects.clear();
  FRects.shrink_to_fit();
  FCapacity = 0;
  FBounds = TRect(2147483647, 2147483647, -2147483647, -2147483647);
}

void TComplexRegion::AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  // Counted in steps of 500; the storage itself doubles, since a frame of speckles adds a hundred
  // thousand rectangles and growing by a fixed step would copy them all again every 500.
  if (Count() == FCapacity) FCapacity += 500;
  FRects.emplace_back(Left, Top, Right, Bottom);
  FBounds.Left = std::min(FBounds.Left, Left);
  FBounds.Top = std::min(FBounds.Top, Top);
  FBounds.Right = std::max(FBounds.Right, Right);
  FBounds.Bottom = std::max(FBounds.Bottom, Bottom);
}

std::optional<TRegion> TComplexRegion::CreateHRGN() const {
  if (FRects.empty()) return std::nullopt;
  return TRegion::FromRects(FRects);
}

namespace {

struct TUnitPoint {
  long double X, Y;
};

const TUnitPoint kStar5[] = {{0.5L, 0},     {0.62L, 0.36L}, {1, 0.36L},     {0.7L, 0.59L}, {0.81L, 0.95L}, {0.5L, 0.73L},
                             {0.19L, 0.95L}, {0.31L, 0.59L}, {0, 0.36L}, {0.39L, 0.36L}, {0.5L, 0}};
const TUnitPoint kStar6[] = {{0.5L, 0},    {0.625L, 0.25L}, {0.9L, 0.25L},   {0.75L, 0.5L},  {0.9L, 0.75L},
                             {0.625L, 0.75L}, {0.5L, 1},   {0.375L, 0.75L}, {0.1L, 0.75L}, {0.25L, 0.5L},
                             {0.1L, 0.25L},  {0.375L, 0.25L}, {0.5L, 0}};
const TUnitPoint kArrow[] = {{0, 0}, {0.4L, 0}, {0.3L, 0.1L}, {1, 0.8L}, {0.8L, 1}, {0.1L, 0.3L}, {0, 0.4L}, {0, 0}};
const TUnitPoint kLightning[] = {{1, 0.19L},     {0.61L, 0.01L}, {0.41L, 0.29L}, {0.49L, 0.31L},
                                 {0.23L, 0.55L}, {0.33L, 0.6L},  {0, 1},         {0.51L, 0.69L},
                                 {0.46L, 0.65L}, {0.78L, 0.45L}, {0.66L, 0.39L}, {1, 0.19L}};
const TUnitPoint kExplosion[] = {
    {0.33L, 0},     {0.5L, 0.26L},  {0.62L, 0.11L}, {0.67L, 0.28L}, {0.99L, 0.1L},  {0.78L, 0.35L}, {1, 0.39L},
    {0.84L, 0.54L}, {0.99L, 0.66L}, {0.75L, 0.64L}, {0.78L, 0.81L}, {0.65L, 0.71L}, {0.61L, 1},     {0.51L, 0.69L},
    {0.38L, 0.89L}, {0.35L, 0.66L}, {0.17L, 0.83L}, {0.22L, 0.59L}, {0, 0.61L},     {0.19L, 0.48L}, {0.04L, 0.37L},
    {0.22L, 0.34L}, {0.16L, 0.2L},  {0.35L, 0.25L}, {0.33L, 0.01L}};
const TUnitPoint kFeathered[] = {
    {0.85L, 1},      {0.8L, 0.95L},   {0.8L, 0.85L},   {0.775L, 0.825L}, {0.775L, 0.925L}, {0.725L, 0.875L},
    {0.725L, 0.775L}, {0.7L, 0.75L},  {0.7L, 0.85L},   {0.65L, 0.8L},    {0.65L, 0.7L},    {0.15L, 0.2L},
    {0.15L, 0.3L},   {0, 0.15L},      {0, 0},          {0.15L, 0},       {0.3L, 0.15L},    {0.2L, 0.15L},
    {0.7L, 0.65L},   {0.8L, 0.65L},   {0.85L, 0.7L},   {0.75L, 0.7L},    {0.775L, 0.725L}, {0.875L, 0.725L},
    {0.925L, 0.775L}, {0.825L, 0.775L}, {0.85L, 0.8L}, {0.95L, 0.8L},    {1, 0.85L},       {0.85L, 0.85L},
    {0.85L, 1}};

template <size_t N>
TRegion Polygon(const TUnitPoint (&Table)[N], int32_t L, int32_t T, int32_t W, int32_t H, bool MirrorX, bool MirrorY) {
  TPoint P[N];
  for (size_t I = 0; I < N; ++I) {
    long double X = MirrorX ? 1 - Table[I].X : Table[I].X;
    long double Y = MirrorY ? 1 - Table[I].Y : Table[I].Y;
    P[I] = TPoint(L + static_cast<int32_t>(Round(static_cast<long double>(W - 1) * X)),
                  T + static_cast<int32_t>(Round(static_cast<long double>(H - 1) * Y)));
  }
  return CreatePolygonRgn(P, static_cast<int>(N), WINDING);
}

TRegion Heart(int32_t L, int32_t T, int32_t M) {
  int32_t Half = M / 2, Quarter = M / 4, D = Half + 2, R = D / 2;
  auto OnCircle = [&](double A, int32_t Cx, int32_t Cy) {
    double Rad = (A - 90) * Pi / 180, Rr = R - 1;
    return TPoint(static_cast<int32_t>(Round(std::cos(Rad) * Rr + Cx)), static_cast<int32_t>(Round(std::sin(Rad) * Rr + Cy)));
  };
  TPoint P1 = OnCircle(233.14, Quarter, Quarter), P2 = OnCircle(126.86, M - Quarter, Quarter);
  TPoint Tri[3] = {TPoint(L + P1.X, T + P1.Y), TPoint(L + P2.X, T + P2.Y), TPoint(L + Half, T + M)};
  // One union of all four pieces' rectangles: a frame may hold hundreds of hearts.
  std::vector<TRect> Pieces;
  for (const TRegion& Part : {CreateEllipticRgn(L, T, L + D, T + D), CreateEllipticRgn(L + M - D, T, L + M, T + D),
                              CreatePolygonRgn(Tri, 3, WINDING), CreateRectRgn(L + R, T + R, L + M - R, T + D)})
    Pieces.insert(Pieces.end(), Part.Rects().begin(), Part.Rects().end());
  return TRegion::FromRects(Pieces);
}

TRegion Cross(int32_t L, int32_t T, int32_t W, int32_t H) {
  const double F = 0.33;
  int32_t MaxW = static_cast<int32_t>(Round(H * 0.75));
  if (W > MaxW) {
    L += (W - MaxW) / 2;
    W = MaxW;
  }
  int32_t Bar = std::min(static_cast<int32_t>(Round(W * 0.2)), static_cast<int32_t>(Round(H * 0.22)));
  int32_t X = L + (W - Bar) / 2;
  int32_t Y = T + static_cast<int32_t>(Round((H - Bar) * F));
  TRegion Result = CreateRectRgn(X, T, X + Bar, T + H);
  CombineRgn(Result, Result, CreateRectRgn(L, Y, L + W, Y + Bar), RGN_OR);
  return Result;
}

}  // namespace

std::optional<TRegion> QxShapeRegion(uint8_t Kind, const TRect& Rect) {
  return QxShapeRegionXYWH(Kind, Rect.Left, Rect.Top, Rect.Width(), Rect.Height());
}

std::optional<TRegion> QxShapeRegionXYWH(uint8_t Kind, int32_t L, int32_t T, int32_t W, int32_t H) {
  Kind &= 127;
  if (Kind > 15) return std::nullopt;
  auto Square = [&] {
    int32_t M = std::min(W, H);
    L += (W - M) / 2;
    T += (H - M) / 2;
    W = H = M;
  };
  switch (Kind) {
    case 0: Square(); return Polygon(kStar5, L, T, W, H, false, false);
    case 1: Square(); return Polygon(kStar6, L, T, W, H, false, false);
    case 2:
    case 3:
    case 4:
    case 5: Square(); return Polygon(kArrow, L, T, W, H, Kind == 3 || Kind == 5, Kind == 4 || Kind == 5);
    case 6:
    case 7:
      if (W > H) {
        L += (W - H) / 2;
        W = H;
      }
      return Polygon(kLightning, L, T, W, H, Kind == 7, false);
    case 8:
    case 9: return Polygon(kExplosion, L, T, W, H, Kind == 9, Kind == 9);
    case 10: return Cross(L, T, W, H);
    case 15: Square(); return Heart(L, T, W);
    default: Square(); return Polygon(kFeathered, L, T, W, H, Kind == 12 || Kind == 14, Kind == 13 || Kind == 14);
  }
}
