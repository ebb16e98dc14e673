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

TShape RectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  TShape S;
  if (X2 <= X1 || Y2 <= Y1) return S;
  S.Top = Y1;
  S.Rows.assign(static_cast<size_t>(Y2 - Y1), TSpans{{X1, X2}});
  return S;
}

// Rows of the ellipse in the box, symmetric about both axes. The outline runs through pixel centres on
// the ellipse of semi-axes (W - 1) / 2 and (H - 1) / 2; a pixel is inside when it lies within the
// ellipse a quarter pixel larger. In quarter-pixel units u = 4x - 2(X1 + X2 - 1), A = 2W - 1:
// u²B² + v²A² <= A²B².
TShape EllipseShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Order(X1, X2);
  Order(Y1, Y2);
  TShape S;
  int64_t W = static_cast<int64_t>(X2) - X1, H = static_cast<int64_t>(Y2) - Y1;
  if (W <= 0 || H <= 0) return S;
  S.Top = Y1;
  S.Rows.resize(static_cast<size_t>(H));
  int64_t A = 2 * W - 1, B = 2 * H - 1;
  int64_t SumX = static_cast<int64_t>(X1) + X2 - 1;
  for (int64_t R = 0; R < H; ++R) {
    int64_t V = 2 * (2 * R - (H - 1));
    if (V > 0) {
      S.Rows[R] = S.Rows[H - 1 - R];
      continue;
    }
    __int128 Rhs = static_cast<__int128>(A) * A * (static_cast<__int128>(B) * B - static_cast<__int128>(V) * V);
    if (Rhs < 0) continue;
    // largest half-pixel offset H2 (same parity as W - 1) with (2 H2)² B² <= Rhs
    long double Est = std::sqrt(static_cast<long double>(Rhs)) / static_cast<long double>(B) / 2;
    int64_t U = static_cast<int64_t>(Est) + 1;
    while (U >= 0 && static_cast<__int128>(2 * U) * (2 * U) * B * B > Rhs) --U;
    if ((U & 1) != ((W - 1) & 1)) --U;
    if (U < 0) continue;
    int32_t L = static_cast<int32_t>((SumX - U) / 2), Rt = static_cast<int32_t>((SumX + U) / 2);
    S.Rows[R].push_back({L, Rt + 1});
  }
  return S;
}

TShape RoundRectShape(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H) {
  Order(X1, X2);
  Order(Y1, Y2);
  int32_t BW = X2 - X1, BH = Y2 - Y1;
  W = std::min(std::abs(W), BW);
  H = std::min(std::abs(H), BH);
  if (W <= 0 || H <= 0) return RectShape(X1, Y1, X2, Y2);
  TShape E = EllipseShape(0, 0, W, H);
  TShape S;
  if (BW <= 0 || BH <= 0) return S;
  S.Top = Y1;
  S.Rows.resize(static_cast<size_t>(BH));
  int32_t Half = (H + 1) / 2;
  for (int32_t R = 0; R < BH; ++R) {
    int32_t Inset = 0;
    int32_t FromBottom = BH - 1 - R;
    if (R < Half) {
      if (E.Rows[R].empty()) continue;
      Inset = E.Rows[R].front().first;
    } else if (FromBottom < Half) {
      int32_t ER = H - 1 - FromBottom;
      if (E.Rows[ER].empty()) continue;
      Inset = E.Rows[ER].front().first;
    }
    if (X1 + Inset < X2 - Inset) S.Rows[R].push_back({X1 + Inset, X2 - Inset});
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

TShape PolygonShape(const TPoint* Points, const int* Counts, int Polygons, int FillMode) {
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
  if (Edges.empty() || MaxY <= MinY) return S;
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
    auto Add = [&Row](int64_t A, int64_t B) {
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

TShape BoundaryOf(const TShape& S) {
  auto In = [&S](int32_t X, int32_t Y) { return S.Contains(X, Y); };
  return Filter(S, [&](int32_t X, int32_t Y) {
    return !In(X - 1, Y) || !In(X + 1, Y) || !In(X, Y - 1) || !In(X, Y + 1);
  });
}

TShape Subtract(const TShape& A, const TShape& B) {
  return Filter(A, [&](int32_t X, int32_t Y) { return !B.Contains(X, Y); });
}

}  // namespace qvgfx
