#include "platform/graphics/region.h"

#include <algorithm>

#include "platform/graphics/shapes.h"

namespace {

using Spans = qvgfx::TSpans;

struct Band {
  int32_t Top, Bottom;
  Spans S;
};

std::vector<Band> ToBands(const std::vector<TRect>& Rects) {
  std::vector<Band> B;
  for (const TRect& R : Rects) {
    if (B.empty() || B.back().Top != R.Top) B.push_back({R.Top, R.Bottom, {}});
    B.back().S.push_back({R.Left, R.Right});
  }
  return B;
}

const Spans* SpansAt(const std::vector<Band>& B, int32_t Y) {
  static const Spans None;
  auto It = std::upper_bound(B.begin(), B.end(), Y, [](int32_t V, const Band& Bd) { return V < Bd.Top; });
  if (It == B.begin()) return &None;
  --It;
  return Y < It->Bottom ? &It->S : &None;
}

// A and B are sorted, disjoint spans; one pass over their edges.
Spans CombineSpans(const Spans& A, const Spans& B, int Mode) {
  std::vector<int32_t> Xs;
  Xs.reserve(2 * (A.size() + B.size()));
  for (auto [L, R] : A) Xs.insert(Xs.end(), {L, R});
  for (auto [L, R] : B) Xs.insert(Xs.end(), {L, R});
  std::sort(Xs.begin(), Xs.end());
  Xs.erase(std::unique(Xs.begin(), Xs.end()), Xs.end());
  size_t Ia = 0, Ib = 0;
  // Whether X lies in S, for X that only grows between calls (I is S's cursor).
  auto In = [](const Spans& S, size_t& I, int32_t X) {
    while (I < S.size() && S[I].second <= X) ++I;
    return I < S.size() && X >= S[I].first;
  };
  Spans Out;
  for (size_t I = 0; I + 1 < Xs.size(); ++I) {
    bool a = In(A, Ia, Xs[I]), b = In(B, Ib, Xs[I]);
    bool r = Mode == RGN_AND ? (a && b) : Mode == RGN_OR ? (a || b) : Mode == RGN_XOR ? (a != b) : (a && !b);
    if (!r) continue;
    if (!Out.empty() && Out.back().second == Xs[I]) Out.back().second = Xs[I + 1];
    else Out.push_back({Xs[I], Xs[I + 1]});
  }
  return Out;
}

void AppendBand(std::vector<TRect>& Out, int32_t Top, int32_t Bottom, const Spans& S) {
  if (S.empty() || Bottom <= Top) return;
  // Merge with the band just above when it touches and has the same spans.
  size_t N = S.size();
  if (Out.size() >= N) {
    size_t First = Out.size() - N;
    bool Same = Out[First].Bottom == Top && (First == 0 || Out[First - 1].Top != Out[First].Top);
    for (size_t I = 0; Same && I < N; ++I) {
      const TRect& R = Out[First + I];
      Same = R.Top == Out[First].Top && R.Bottom == Top && R.Left == S[I].first && R.Right == S[I].second;
    }
    if (Same) {
      for (size_t I = 0; I < N; ++I) Out[First + I].Bottom = Bottom;
      return;
    }
  }
  for (auto [L, R] : S) Out.push_back(TRect(L, Top, R, Bottom));
}

}  // namespace

TRegion::TRegion(const TRect& R) {
  TRect N(std::min(R.Left, R.Right), std::min(R.Top, R.Bottom), std::max(R.Left, R.Right),
          std::max(R.Top, R.Bottom));
  if (!IsRectEmpty(N)) FRects.push_back(N);
  Normalize();
}

int TRegion::Kind() const {
  if (FRects.empty()) return NULLREGION;
  return FRects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

bool TRegion::Contains(int32_t X, int32_t Y) const {
  for (const TRect& R : FRects) {
    if (R.Top > Y) break;
    if (PtInRect(R, TPoint(X, Y))) return true;
  }
  return false;
}

bool TRegion::Overlaps(const TRect& R) const {
  TRect T;
  for (const TRect& Q : FRects)
    if (IntersectRect(T, Q, R)) return true;
  return false;
}

void TRegion::Offset(int32_t DX, int32_t DY) {
  for (TRect& R : FRects) OffsetRect(R, DX, DY);
  Normalize();
}

void TRegion::Normalize() {
  FBounds = TRect();
  for (const TRect& R : FRects) UnionRect(FBounds, FBounds, R);
}

TRegion TRegion::FromRows(int32_t Top, const std::vector<std::vector<std::pair<int32_t, int32_t>>>& Rows) {
  TRegion G;
  for (size_t I = 0; I < Rows.size(); ++I) {
    int32_t Y = Top + static_cast<int32_t>(I);
    AppendBand(G.FRects, Y, Y + 1, Rows[I]);
  }
  G.Normalize();
  return G;
}

TRegion TRegion::FromRects(const std::vector<TRect>& Rects) {
  // Rectangles a row or a few high (the bands of many polygons) go into one bucket per row: no sort over
  // all their edges. The sweep below serves tall rectangles, whose rows would be too many to list.
  int64_t Cover = 0, NonEmpty = 0;
  int32_t Top = 0, Bottom = 0;
  for (const TRect& R : Rects)
    if (!IsRectEmpty(R)) {
      Top = NonEmpty ? std::min(Top, R.Top) : R.Top;
      Bottom = NonEmpty ? std::max(Bottom, R.Bottom) : R.Bottom;
      Cover += int64_t(R.Bottom) - R.Top;
      ++NonEmpty;
    }
  if (NonEmpty == 0) return TRegion();
  const int64_t Limit = 4 * NonEmpty + 65536, H = int64_t(Bottom) - Top;
  if (Cover <= Limit && H <= Limit) {
    std::vector<uint32_t> Start(static_cast<size_t>(H) + 1, 0);
    for (const TRect& R : Rects)
      if (!IsRectEmpty(R))
        for (int32_t Y = R.Top; Y < R.Bottom; ++Y) ++Start[static_cast<size_t>(Y - Top) + 1];
    for (size_t I = 1; I < Start.size(); ++I) Start[I] += Start[I - 1];
    std::vector<uint32_t> At(Start.begin(), Start.end() - 1);
    Spans Flat(static_cast<size_t>(Cover));
    for (const TRect& R : Rects)
      if (!IsRectEmpty(R))
        for (int32_t Y = R.Top; Y < R.Bottom; ++Y) Flat[At[static_cast<size_t>(Y - Top)]++] = {R.Left, R.Right};
    TRegion G;
    Spans S;
    for (int64_t I = 0; I < H; ++I) {
      auto First = Flat.begin() + Start[static_cast<size_t>(I)], Last = Flat.begin() + Start[static_cast<size_t>(I) + 1];
      std::sort(First, Last);
      S.clear();
      for (auto It = First; It != Last; ++It) {
        if (!S.empty() && It->first <= S.back().second) S.back().second = std::max(S.back().second, It->second);
        else S.push_back(*It);
      }
      AppendBand(G.FRects, Top + static_cast<int32_t>(I), Top + static_cast<int32_t>(I) + 1, S);
    }
    G.Normalize();
    return G;
  }
  // A sweep from the top: each band unites the spans of the rectangles that cross it.
  std::vector<const TRect*> Live;
  Live.reserve(Rects.size());
  std::vector<int32_t> Ys;
  Ys.reserve(2 * Rects.size());
  for (const TRect& R : Rects)
    if (!IsRectEmpty(R)) {
      Live.push_back(&R);
      Ys.insert(Ys.end(), {R.Top, R.Bottom});
    }
  std::sort(Ys.begin(), Ys.end());
  Ys.erase(std::unique(Ys.begin(), Ys.end()), Ys.end());
  std::sort(Live.begin(), Live.end(), [](const TRect* A, const TRect* B) { return A->Top < B->Top; });
  TRegion G;
  std::vector<const TRect*> Active;
  Spans Raw, S;
  size_t Next = 0;
  for (size_t I = 0; I + 1 < Ys.size(); ++I) {
    const int32_t Y = Ys[I];
    while (Next < Live.size() && Live[Next]->Top <= Y) Active.push_back(Live[Next++]);
    Active.erase(std::remove_if(Active.begin(), Active.end(), [Y](const TRect* R) { return R->Bottom <= Y; }),
                 Active.end());
    Raw.clear();
    for (const TRect* R : Active) Raw.push_back({R->Left, R->Right});
    std::sort(Raw.begin(), Raw.end());
    S.clear();
    for (auto [L, R] : Raw) {
      if (!S.empty() && L <= S.back().second) S.back().second = std::max(S.back().second, R);
      else S.push_back({L, R});
    }
    AppendBand(G.FRects, Y, Ys[I + 1], S);
  }
  G.Normalize();
  return G;
}

TRegion TRegion::Combine(const TRegion& A, const TRegion& B, int Mode) {
  if (Mode == RGN_COPY) return A;
  std::vector<Band> BA = ToBands(A.FRects), BB = ToBands(B.FRects);
  std::vector<int32_t> Ys;
  for (const Band& Bd : BA) Ys.insert(Ys.end(), {Bd.Top, Bd.Bottom});
  for (const Band& Bd : BB) Ys.insert(Ys.end(), {Bd.Top, Bd.Bottom});
  std::sort(Ys.begin(), Ys.end());
  Ys.erase(std::unique(Ys.begin(), Ys.end()), Ys.end());
  TRegion G;
  for (size_t I = 0; I + 1 < Ys.size(); ++I)
    AppendBand(G.FRects, Ys[I], Ys[I + 1], CombineSpans(*SpansAt(BA, Ys[I]), *SpansAt(BB, Ys[I]), Mode));
  G.Normalize();
  return G;
}

static TRegion FromShape(const qvgfx::TShape& S) { return TRegion::FromRows(S.Top, S.Rows); }

TRegion CreateRectRgn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) { return TRegion(TRect(X1, Y1, X2, Y2)); }
TRegion CreateRectRgnIndirect(const TRect& R) { return TRegion(R); }
TRegion CreateEllipticRgn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return FromShape(qvgfx::EllipseShape(X1, Y1, X2, Y2));
}
TRegion CreateEllipticRgnIndirect(const TRect& R) { return CreateEllipticRgn(R.Left, R.Top, R.Right, R.Bottom); }
TRegion CreateRoundRectRgn(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H) {
  return FromShape(qvgfx::RoundRectShape(X1, Y1, X2, Y2, W, H));
}
TRegion CreatePolygonRgn(const TPoint* Points, int Count, int FillMode) {
  if (!Points || Count < 3) return TRegion();
  return FromShape(qvgfx::PolygonShape(Points, &Count, 1, FillMode));
}
TRegion CreatePolyPolygonRgn(const TPoint* Points, const int* Counts, int Polygons, int FillMode) {
  if (!Points || !Counts || Polygons <= 0) return TRegion();
  for (int I = 0; I < Polygons; ++I)
    if (Counts[I] < 2) return TRegion();
  return FromShape(qvgfx::PolygonShape(Points, Counts, Polygons, FillMode));
}

int CombineRgn(TRegion& Dest, const TRegion& Src1, const TRegion& Src2, int Mode) {
  if (Mode < RGN_AND || Mode > RGN_COPY) return RGN_ERROR;
  Dest = TRegion::Combine(Src1, Src2, Mode);
  return Dest.Kind();
}

int OffsetRgn(TRegion& Rgn, int32_t DX, int32_t DY) {
  Rgn.Offset(DX, DY);
  return Rgn.Kind();
}
bool PtInRegion(const TRegion& Rgn, int32_t X, int32_t Y) { return Rgn.Contains(X, Y); }
bool RectInRegion(const TRegion& Rgn, const TRect& R) { return Rgn.Overlaps(R); }
int GetRgnBox(const TRegion& Rgn, TRect& Box) {
  Box = Rgn.Bounds();
  return Rgn.Kind();
}
bool EqualRgn(const TRegion& A, const TRegion& B) { return A == B; }
void SetRectRgn(TRegion& Rgn, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) { Rgn = CreateRectRgn(X1, Y1, X2, Y2); }
