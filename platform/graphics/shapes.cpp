#include "platform/graphics/shapes.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/region.h"

namespace qvgfx {

bool TShape::Empty() const {
  for (const auto& R : Rows)
    if (!R.empty()) return false;
  return true;
}

bool TShape::Contains(int32_t X, int32_t Y) const {
  if (Y < Top || Y >= Top + static_cast<int32_t>(Rows.size())) return false;
  for (auto [A, B] : Rows[Y - Top])
    if (X >= A && X < B) return true;
  return false;
}

static void Order(int32_t& A, int32_t& B) {
  if (B < A) std::swap(A, B);
}

// Row range [Top, Bottom) cut to the window.
static bool RowRange(int64_t& Top, int64_t& Bottom, const TRect& Window) {
  Top = std::max<int64_t>(Top, Window.Top);
  Bottom = std::min<int64_t>(Bottom, Window.Bottom);
  return Top < Bottom;
}

static void AddSpan(TSpans& Row, int64_t A, int64_t B, const TRect& Window) {
  A = std::max<int64_t>(A, Window.Left);
  B = std::min<int64_t>(B, Window.Right);
  if (A < B) Row.push_back({static_cast<int32_t>(A), static_cast<int32_t>(B)});
}

TShape RectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRect& Window) {
  TShape S;
  int64_t T = Y1, B = Y2;
  if (X2 <= X1 || Y2 <= Y1 || !RowRange(T, B, Window)) return S;
  TSpans Row;
  AddSpan(Row, X1, X2, Window);
  if (Row.empty()) return S;
  S.Top = static_cast<int32_t>(T);
  S.Rows.assign(static_cast<size_t>(B - T), Row);
  return S;
}

// Rows of the ellipse in the box, symmetric about both axes. The outline runs through pixel centres on
// the ellipse of semi-axes (W - 1) / 2 and (H - 1) / 2; a pixel is inside when it lies within the
// ellipse a quarter pixel larger. In quarter-pixel units u = 4x - 2(X1 + X2 - 1), A = 2W - 1:
// u²B² + v²A² <= A²B².
TShape EllipseShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRect& Window) {
  Order(X1, X2);
  Order(Y1, Y2);
  TShape S;
  int64_t W = static_cast<int64_t>(X2) - X1, H = static_cast<int64_t>(Y2) - Y1;
  int64_t T = Y1, Bt = Y2;
  if (W <= 0 || H <= 0 || !RowRange(T, Bt, Window)) return S;
  S.Top = static_cast<int32_t>(T);
  S.Rows.resize(static_cast<size_t>(Bt - T));
  int64_t A = 2 * W - 1, B = 2 * H - 1;
  int64_t SumX = static_cast<int64_t>(X1) + X2 - 1;
  for (int64_t Y = T; Y < Bt; ++Y) {
    int64_t R = Y - Y1;
    int64_t V = 2 * (2 * R - (H - 1));
    if (std::llabs(V) > B) continue;
    int64_t U;
    if (A < (int64_t(1) << 28) && B < (int64_t(1) << 28)) {
      // largest half-pixel offset U (same parity as W - 1) with (2U)² B² <= A² (B² - V²), exactly
      __int128 Rhs = static_cast<__int128>(A) * A * (static_cast<__int128>(B) * B - static_cast<__int128>(V) * V);
      long double Est = std::sqrt(static_cast<long double>(Rhs)) / static_cast<long double>(B) / 2;
      U = static_cast<int64_t>(Est) + 1;
      while (U >= 0 && static_cast<__int128>(2 * U) * (2 * U) * B * B > Rhs) --U;
    } else {
      // figures of hundreds of millions of pixels: the nearest pixel is close enough
      long double Q = static_cast<long double>(V) / B;
      U = static_cast<int64_t>(std::floor(static_cast<long double>(A) * std::sqrt(std::max(0.0L, 1 - Q * Q)) / 2));
    }
    if ((U & 1) != ((W - 1) & 1)) --U;
    if (U < 0) continue;
    AddSpan(S.Rows[static_cast<size_t>(Y - T)], (SumX - U) / 2, (SumX + U) / 2 + 1, Window);
  }
  return S;
}

TShape RoundRectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H, const TRect& Window) {
  Order(X1, X2);
  Order(Y1, Y2);
  int64_t BW = static_cast<int64_t>(X2) - X1, BH = static_cast<int64_t>(Y2) - Y1;
  int64_t CW = std::min<int64_t>(std::abs(static_cast<int64_t>(W)), BW);
  int64_t CH = std::min<int64_t>(std::abs(static_cast<int64_t>(H)), BH);
  if (CW <= 0 || CH <= 0) return RectShape(X1, Y1, X2, Y2, Window);
  TShape S;
  int64_t T = Y1, Bt = Y2;
  if (BW <= 0 || BH <= 0 || !RowRange(T, Bt, Window)) return S;
  // Only the corner rows that can be seen are needed from the corner ellipse.
  TShape E = EllipseShape(0, 0, static_cast<int32_t>(CW), static_cast<int32_t>(CH));
  S.Top = static_cast<int32_t>(T);
  S.Rows.resize(static_cast<size_t>(Bt - T));
  int64_t Half = (CH + 1) / 2;
  for (int64_t Y = T; Y < Bt; ++Y) {
    int64_t R = Y - Y1, FromBottom = BH - 1 - R;
    int64_t Inset = 0;
    if (R < Half) {
      if (E.Rows[static_cast<size_t>(R)].empty()) continue;
      Inset = E.Rows[static_cast<size_t>(R)].front().first;
    } else if (FromBottom < Half) {
      size_t ER = static_cast<size_t>(CH - 1 - FromBottom);
      if (E.Rows[ER].empty()) continue;
      Inset = E.Rows[ER].front().first;
    }
    if (X1 + Inset < X2 - Inset) AddSpan(S.Rows[static_cast<size_t>(Y - T)], X1 + Inset, X2 - Inset, Window);
  }
  return S;
}

static int64_t CeilDiv(int64_t N, int64_t D) {
  if (D < 0) {
    N = -N;
    D = -D;
  }
  return N >= 0 ? (N + D - 1) / D : -((-N) / D);
}

TShape PolygonShape(const TPoint* Points, const int* Counts, int Polygons, int FillMode, const TRect& Window) {
  struct Edge {
    int64_t XA, YA, XB, YB;
    int Dir;
  };
  std::vector<Edge> Edges;
  int64_t MinY = INT64_MAX, MaxY = INT64_MIN;
  const TPoint* P = Points;
  for (int Poly = 0; Poly < Polygons; ++Poly) {
    int N = Counts[Poly];
    for (int I = 0; I < N; ++I) {
      TPoint A = P[I], B = P[(I + 1) % N];
      MinY = std::min<int64_t>(MinY, A.Y);
      MaxY = std::max<int64_t>(MaxY, A.Y);
      if (A.Y == B.Y) continue;
      Edges.push_back({A.X, A.Y, B.X, B.Y, B.Y > A.Y ? 1 : -1});
    }
    P += N;
  }
  TShape S;
  if (Edges.empty() || MaxY <= MinY || !RowRange(MinY, MaxY, Window)) return S;
  S.Top = static_cast<int32_t>(MinY);
  S.Rows.resize(static_cast<size_t>(MaxY - MinY));
  std::vector<std::pair<int64_t, int>> X;
  for (int64_t Y = MinY; Y < MaxY; ++Y) {
    X.clear();
    for (const Edge& E : Edges) {
      int64_t Lo = std::min(E.YA, E.YB), Hi = std::max(E.YA, E.YB);
      if (Y < Lo || Y >= Hi) continue;
      // the first pixel at or right of the crossing
      int64_t Cx = E.XA + CeilDiv((Y - E.YA) * (E.XB - E.XA), E.YB - E.YA);
      X.push_back({Cx, E.Dir});
    }
    std::sort(X.begin(), X.end());
    TSpans& Row = S.Rows[static_cast<size_t>(Y - MinY)];
    auto Add = [&Row, &Window](int64_t A, int64_t B) {
      A = std::max<int64_t>(A, Window.Left);
      B = std::min<int64_t>(B, Window.Right);
      if (B <= A) return;
      if (!Row.empty() && Row.back().second >= A) Row.back().second = static_cast<int32_t>(std::max<int64_t>(B, Row.back().second));
      else Row.push_back({static_cast<int32_t>(A), static_cast<int32_t>(B)});
    };
    if (FillMode == WINDING) {
      int Wind = 0;
      for (size_t I = 0; I + 1 < X.size(); ++I) {
        Wind += X[I].second;
        if (Wind != 0) Add(X[I].first, X[I + 1].first);
      }
    } else {
      for (size_t I = 0; I + 1 < X.size(); I += 2) Add(X[I].first, X[I + 1].first);
    }
  }
  return S;
}

TSpans SpanAnd(const TSpans& A, const TSpans& B) {
  TSpans R;
  size_t I = 0, J = 0;
  while (I < A.size() && J < B.size()) {
    int32_t L = std::max(A[I].first, B[J].first), H = std::min(A[I].second, B[J].second);
    if (L < H) R.push_back({L, H});
    if (A[I].second < B[J].second) ++I;
    else ++J;
  }
  return R;
}

TSpans SpanDiff(const TSpans& A, const TSpans& B) {
  TSpans R;
  size_t J = 0;
  for (auto [L, H] : A) {
    int32_t Cur = L;
    while (J < B.size() && B[J].second <= Cur) ++J;
    size_t K = J;
    while (K < B.size() && B[K].first < H) {
      if (B[K].first > Cur) R.push_back({Cur, B[K].first});
      Cur = std::max(Cur, B[K].second);
      if (B[K].second >= H) break;
      ++K;
    }
    if (Cur < H) R.push_back({Cur, H});
  }
  return R;
}

static const TSpans& RowOf(const TShape& S, int64_t Y) {
  static const TSpans None;
  if (Y < S.Top || Y >= S.Top + static_cast<int64_t>(S.Rows.size())) return None;
  return S.Rows[static_cast<size_t>(Y - S.Top)];
}

TShape BoundaryOf(const TShape& S) {
  TShape R;
  R.Top = S.Top;
  R.Rows.resize(S.Rows.size());
  for (size_t I = 0; I < S.Rows.size(); ++I) {
    const TSpans& Row = S.Rows[I];
    // Inside: the pixel and its four neighbours all belong to the shape.
    TSpans Narrow;
    for (auto [L, H] : Row)
      if (L + 1 < H - 1) Narrow.push_back({L + 1, H - 1});
    int64_t Y = S.Top + static_cast<int64_t>(I);
    TSpans Inside = SpanAnd(SpanAnd(Narrow, RowOf(S, Y - 1)), RowOf(S, Y + 1));
    R.Rows[I] = SpanDiff(Row, Inside);
  }
  return R;
}

TShape Subtract(const TShape& A, const TShape& B) {
  TShape R;
  R.Top = A.Top;
  R.Rows.resize(A.Rows.size());
  for (size_t I = 0; I < A.Rows.size(); ++I) R.Rows[I] = SpanDiff(A.Rows[I], RowOf(B, A.Top + static_cast<int64_t>(I)));
  return R;
}

}  // namespace qvgfx
