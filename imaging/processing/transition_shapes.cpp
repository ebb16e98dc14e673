// Transitions that reveal the to picture through one region of polygons, rounded rectangles, pie
// sectors or decorative shapes.
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "imaging/processing/transition_procs.h"
#include "imaging/processing/transition_regions.h"
#include "platform/base/numeric.h"

namespace {

constexpr uint8_t kCircle = 255;  // the circle (or diamond, or ellipse) where a shape kind is asked for

TRegion PolygonRegion(std::initializer_list<TPoint> Points) {
  std::vector<TPoint> P(Points);
  return CreatePolygonRgn(P.data(), static_cast<int>(P.size()), WINDING);
}

TRegion PolygonRegion(const std::vector<TPoint>& P) { return CreatePolygonRgn(P.data(), static_cast<int>(P.size()), WINDING); }

// The centre and Count points along the arc from StartAngle, one angle step short of EndAngle.
TRegion PieRegion(int32_t Cx, int32_t Cy, long double Radius, long double StartAngle, long double EndAngle, int32_t Count) {
  std::vector<TPoint> P{TPoint(Cx, Cy)};
  for (int32_t K = 0; K < Count; ++K) {
    long double A = StartAngle + K * (EndAngle - StartAngle) / Count;
    P.emplace_back(Cx + QxNearest(Radius * std::cos(A)), Cy + QxNearest(Radius * std::sin(A)));
  }
  return PolygonRegion(P);
}

void RotatePoints(std::vector<TPoint>& P, int32_t Cx, int32_t Cy, long double Angle) {
  long double C = std::cos(Angle), S = std::sin(Angle);
  for (TPoint& Q : P) {
    long double Dx = Q.X - Cx, Dy = Q.Y - Cy;
    Q = TPoint(Cx + QxNearest(C * Dx - S * Dy), Cy + QxNearest(S * Dx + C * Dy));
  }
}

void Union(TRegion& Into, const TRegion& Other) { CombineRgn(Into, Into, Other, RGN_OR); }

// Many regions' rectangles gathered to be copied through at once; the gathering buffer lives on so that a
// frame of hundreds of shapes allocates nothing.
class TRegionUnion {
 public:
  TRegionUnion() : Rects(Buffer()) { Rects.clear(); }
  void Add(const std::optional<TRegion>& R) {
    if (!R) return;
    Any = true;
    Rects.insert(Rects.end(), R->Rects().begin(), R->Rects().end());
  }
  // R moved by (DX, DY).
  void AddMoved(const std::optional<TRegion>& R, int32_t DX, int32_t DY) {
    if (!R) return;
    Any = true;
    for (const TRect& Q : R->Rects()) Rects.emplace_back(Q.Left + DX, Q.Top + DY, Q.Right + DX, Q.Bottom + DY);
  }
  std::optional<TRegion> Result() const { return Any ? std::optional<TRegion>(TRegion::FromRects(Rects)) : std::nullopt; }
  // The to picture through the union; nothing when no region was added.
  void CopyThrough(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H) const {
    if (Any) QxCopyThroughRects(Canvas, ToBitmap, W, H, Rects);
  }

 private:
  static std::vector<TRect>& Buffer() {
    thread_local std::vector<TRect> B;
    return B;
  }
  std::vector<TRect>& Rects;
  bool Any = false;
};

// Everything of the frame outside Inner.
TRegion Outside(int32_t W, int32_t H, const TRegion& Inner) {
  TRegion R = CreateRectRgn(0, 0, W, H);
  CombineRgn(R, R, Inner, RGN_XOR);
  return R;
}

// Draws the to picture through Region with the canvas's own Draw, then removes the clip.
void DrawThrough(TCanvas* Canvas, TBitmap* ToBitmap, const TRegion& Region) {
  SelectClipRgn(Canvas->Handle(), &Region);
  Canvas->Draw(0, 0, ToBitmap);
  SelectClipRgn(Canvas->Handle(), nullptr);
}

// The four triangles of the diagonal cross, each of half-width A and half-height B.
TRegion DiagonalCross(int32_t W, int32_t H, int32_t A, int32_t B) {
  int32_t Cx = W / 2, Cy = H / 2;
  TRegion R = PolygonRegion({{0, Cy - B}, {A, Cy}, {0, Cy + B}});
  Union(R, PolygonRegion({{W, Cy - B}, {W - A, Cy}, {W, Cy + B}}));
  Union(R, PolygonRegion({{Cx - A, 0}, {Cx, B}, {Cx + A, 0}}));
  Union(R, PolygonRegion({{Cx - A, H}, {Cx, H - B}, {Cx + A, H}}));
  return R;
}

// The 24-point band between two zigzag lines, across the frame (Vertical: down the frame).
TRegion ZigzagBand(int32_t W, int32_t H, int32_t w, int32_t h, int32_t p, bool Vertical) {
  int32_t S = (Vertical ? H : W) / 10, N = (Vertical ? W : H) / 10;
  int32_t B = MulDiv(N, p, 100) + (Vertical ? w : h) / 2, C = Vertical ? W / 2 : H / 2;
  std::vector<TPoint> P;
  auto Add = [&](int32_t K, int32_t Across) { P.push_back(Vertical ? TPoint(Across, K * S) : TPoint(K * S, Across)); };
  for (int32_t K = 0; K < 12; ++K) Add(K, K % 2 == 0 ? C + N - B : C - N - B);
  for (int32_t K = 11; K >= 0; --K) Add(K, K % 2 == 0 ? C + N + B : C + B - N);
  return PolygonRegion(P);
}

}  // namespace

QX_TRANSITION_PROC(QxCurvedWipeProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  TRegion R;
  switch (Row) {
    case 76: R = CreateRoundRectRgn(-2 * W, 0, 2 * w, H + 1, 2 * W, 2 * W); break;
    case 77: R = CreateRoundRectRgn(W - 2 * w, 0, 3 * W, H + 1, 2 * W, 2 * W); break;
    case 78: R = CreateRoundRectRgn(0, -2 * H, W + 1, 2 * h, 2 * H, 2 * H); break;
    case 79: R = CreateRoundRectRgn(0, H - 2 * h, W + 1, 3 * H, 2 * H, 2 * H); break;
    case 80: R = CreateRoundRectRgn(-W, -H, 3 * w / 2, 3 * h / 2, 2 * W, 2 * H); break;
    case 81: R = CreateRoundRectRgn(W - 3 * w / 2, -H, 2 * W, 3 * h / 2, 2 * W, 2 * H); break;
    case 82: R = CreateRoundRectRgn(-W, H - 3 * h / 2, 3 * w / 2, 2 * H, 2 * W, 2 * H); break;
    default: R = CreateRoundRectRgn(W - 3 * w / 2, H - 3 * h / 2, 2 * W, 2 * H, 2 * W, 2 * H); break;  // 83
  }
  QxClipCopy(Canvas, ToBitmap, W, H, R);
}

QX_TRANSITION_PROC(QxPolygonWipeProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h, Cx = W / 2, Cy = H / 2;
  TRegion R;
  switch (Row) {
    case 132: R = PolygonRegion({{0, 0}, {2 * w, 0}, {0, 2 * h}}); break;
    case 133: R = PolygonRegion({{W, 0}, {W - 2 * w, 0}, {W, 2 * h}}); break;
    case 134: R = PolygonRegion({{0, H}, {2 * w, H}, {0, H - 2 * h}}); break;
    case 135:
      DrawThrough(Canvas, ToBitmap, PolygonRegion({{W, H}, {W - 2 * w, H}, {W, H - 2 * h}}));
      return;
    case 136:
      R = PolygonRegion({{W, 0}, {0, 0}, {W, h}});
      Union(R, PolygonRegion({{W, H}, {0, H}, {0, H - h}}));
      break;
    case 137:
      R = PolygonRegion({{0, H}, {0, 0}, {w, H}});
      Union(R, PolygonRegion({{W, H}, {W, 0}, {W - w, 0}}));
      break;
    case 140:
      R = PolygonRegion({{Cx, Cy}, {0, 0}, {w, 0}});
      Union(R, PolygonRegion({{Cx, Cy}, {0, H}, {0, H - h}}));
      Union(R, PolygonRegion({{Cx, Cy}, {W, H}, {W - w, H}}));
      Union(R, PolygonRegion({{Cx, Cy}, {W, 0}, {W, h}}));
      break;
    case 141:
      R = PolygonRegion({{Cx, Cy}, {0, 0}, {0, h}});
      Union(R, PolygonRegion({{Cx, Cy}, {0, H}, {w, H}}));
      Union(R, PolygonRegion({{Cx, Cy}, {W, H}, {W, H - h}}));
      Union(R, PolygonRegion({{Cx, Cy}, {W, 0}, {W - w, 0}}));
      break;
    case 170: R = PolygonRegion({{0, Cy - h}, {2 * w, Cy}, {0, Cy + h}}); break;
    case 171: R = PolygonRegion({{W, Cy - h}, {W - 2 * w, Cy}, {W, Cy + h}}); break;
    case 172: R = PolygonRegion({{Cx - w, 0}, {Cx, 2 * h}, {Cx + w, 0}}); break;
    case 173: R = PolygonRegion({{Cx - w, H}, {Cx, H - 2 * h}, {Cx + w, H}}); break;
    case 174:
      R = PolygonRegion({{0, Cy - h}, {w, Cy}, {0, Cy + h}});
      Union(R, PolygonRegion({{W, Cy - h}, {W - w, Cy}, {W, Cy + h}}));
      break;
    case 175:
      R = PolygonRegion({{Cx - w, 0}, {Cx, 2 * h}, {Cx + w, 0}});
      Union(R, PolygonRegion({{Cx - w, H}, {Cx, H - 2 * h}, {Cx + w, H}}));
      break;
    case 176: R = Outside(W, H, DiagonalCross(W, H, (W - w) / 2, (H - h) / 2)); break;
    case 177: R = DiagonalCross(W, H, w / 2, h / 2); break;
    case 180: R = PolygonRegion({{Cx - w, Cy}, {Cx, Cy - h}, {Cx + w, Cy}, {Cx, Cy + h}}); break;
    default:  // 181
      R = Outside(W, H, PolygonRegion({{w - Cx, Cy}, {Cx, h - Cy}, {3 * Cx - w, Cy}, {Cx, 3 * Cy - h}}));
      break;
  }
  QxClipCopy(Canvas, ToBitmap, W, H, R);
}

QX_TRANSITION_PROC(QxExpandingTrianglesProc) {
  TQxTransitionFrame F(Rect, Percent);
  int32_t Nx = F.W / 10 + 1, Ny = F.H / 10 + 1, Ax = MulDiv(Nx, F.p, 50), Ay = MulDiv(Ny, F.p, 50);
  TRegionUnion All;
  for (int32_t X = Nx; X - Nx < F.W; X += 2 * Nx)
    for (int32_t Y = Ny; Y - Ny < F.H + Ny; Y += 2 * Ny) All.Add(PolygonRegion({{X - Ax, Y - Ay}, {X, Y + Ay}, {X + Ax, Y - Ay}}));
  All.CopyThrough(Canvas, ToBitmap, F.W, F.H);
}

QX_TRANSITION_PROC(QxExpandingDiamondsProc) {
  TQxTransitionFrame F(Rect, Percent);
  int32_t N = std::min(F.W, F.H) / 10 + 1, A = MulDiv(N, F.p, 50);
  TRegionUnion All;
  for (int32_t X = N; X - N < F.W; X += 2 * N)
    for (int32_t Y = N; Y - N < F.H; Y += 2 * N) All.Add(PolygonRegion({{X - A, Y}, {X, Y - A}, {X + A, Y}, {X, Y + A}}));
  All.CopyThrough(Canvas, ToBitmap, F.W, F.H);
}

QX_TRANSITION_PROC(QxTriangularWipeProc) {
  TQxTransitionFrame F(Rect, Percent);
  int32_t K = MulDiv(std::max(F.W, F.H), Flag ? 1 : 0, 90);
  K = K < 1 ? 1 : (K > 1 ? K / 2 : K);
  int32_t Cw = F.W / K, Ch = F.H / K, Tw = F.w / K, Th = F.h / K;
  // One triangle, moved to each corner of the grid.
  const TRegion Triangle = PolygonRegion({{-Tw, -Th}, {Tw, -Th}, {-Tw, Th}});
  TRegionUnion All;
  for (int32_t I = K; I >= 0; --I)
    for (int32_t J = K; J >= 0; --J) All.AddMoved(Triangle, J * Cw, I * Ch);
  DrawThrough(Canvas, ToBitmap, All.Result().value_or(TRegion()));
}

QX_TRANSITION_PROC(QxZigzagProc) {
  TQxTransitionFrame F(Rect, Percent);
  bool Vertical = Row == 179 || Row == 190;
  if (Row == 178 || Row == 179) {
    QxClipCopy(Canvas, ToBitmap, F.W, F.H, ZigzagBand(F.W, F.H, F.w, F.h, F.p, Vertical));
    return;
  }
  // Towards the line: the to picture everywhere, the from picture in a band that narrows to nothing.
  TQxTransitionFrame Back(Rect, 100 - F.p);
  QxCopyInPlace(Canvas, ToBitmap, 0, 0, F.W, F.H);
  QxClipCopy(Canvas, FromBitmap, F.W, F.H, ZigzagBand(F.W, F.H, Back.w, Back.h, Back.p, Vertical));
}

QX_TRANSITION_PROC(QxSweepProc) {
  TQxTransitionFrame F(Rect, Percent);
  int32_t Cx = F.W / 2, Cy = F.H / 2;
  long double Start = -Pi / 2, Turn = F.p * Pi / 50;
  TRegion R = PieRegion(Cx, Cy, std::ceil(std::hypot(static_cast<long double>(Cx), static_cast<long double>(Cy))),
                        Start, Row == 138 ? Start + Turn : Start - Turn, F.p);
  QxClipCopy(Canvas, ToBitmap, F.W, F.H, R);
}

QX_TRANSITION_PROC(QxRotationProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t w = F.w, h = F.h, Cx = F.W / 2, Cy = F.H / 2;
  bool Clockwise = Row == 142 || Row == 144 || Row == 168;
  long double Angle = F.p * Pi / 50 * (Clockwise ? 1 : -1);
  std::vector<TPoint> P;
  TPoint Centre(Cx, Cy);
  if (Row == 144 || Row == 145) {
    P = {{Cx - 2 * w, Cy},         {Cx - w / 2, Cy - h / 2}, {Cx, Cy - 2 * h},         {Cx + w / 2, Cy - h / 2},
         {Cx + 2 * w, Cy},         {Cx + w / 2, Cy + h / 2}, {Cx, Cy + 2 * h},         {Cx - w / 2, Cy + h / 2}};
  } else {
    int32_t A = w / 2, B = h / 2;
    P = {{Cx - A, Cy - B}, {Cx + A, Cy - B}, {Cx + A, Cy + B}, {Cx - A, Cy + B}};
    if (Row == 168 || Row == 169) Centre = TPoint(w, h);
  }
  RotatePoints(P, Centre.X, Centre.Y, Angle);
  QxClipCopy(Canvas, ToBitmap, F.W, F.H, PolygonRegion(P));
}

QX_TRANSITION_PROC(QxShapeWipeProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h, Cx = W / 2, Cy = H / 2;
  struct TWipe {
    uint8_t Shape;
    float Factor;
  };
  static constexpr TWipe kWipes[] = {{kCircle, 1.0f},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskHeart), 1.3f},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskStar5), 1.6f},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskStar6), 1.3f},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskExplosion), 1.0f},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskCross), 3.6f}};
  bool FromCentre = Row % 2 == 0;
  TWipe Wipe = Row <= 117 ? kWipes[0] : kWipes[(Row - 200) / 2 + 1];
  if (Row == 209) Wipe.Factor = 3.5f;
  const long double Factor = Wipe.Factor;
  std::optional<TRegion> R;
  if (FromCentre) {
    if (Wipe.Factor == 1.0f && Wipe.Shape == kCircle)
      R = CreateRoundRectRgn(Cx - w, Cy - h, Cx + w, Cy + h, 9 * w / 5, 9 * h / 5);
    else if (Wipe.Factor == 1.0f)
      R = QxShapeRegion(Wipe.Shape, TRect(Cx - w, Cy - h, Cx + w, Cy + h));
    else {
      int32_t Fw = QxNearest(Factor * w), Fh = QxNearest(Factor * h);
      R = QxShapeRegion(Wipe.Shape, TRect(Cx - Fw, Cy - Fh, Cx + Fw, Cy + Fh));
    }
  } else {
    std::optional<TRegion> Inner;
    if (Wipe.Factor == 1.0f && Wipe.Shape == kCircle)
      Inner = CreateRoundRectRgn(w - Cx, h - Cy, 3 * Cx - w, 3 * Cy - h, 9 * (W - w) / 5, 9 * (H - h) / 5);
    else if (Wipe.Factor == 1.0f)
      Inner = QxShapeRegion(Wipe.Shape, TRect(w - Cx, h - Cy, 3 * Cx - w, 3 * Cy - h));
    else {
      int32_t Gx = QxNearest(Factor * (W - w)) / 2, Gy = QxNearest(Factor * (H - h)) / 2;
      Inner = QxShapeRegion(Wipe.Shape, TRect(w - Cx - Gx, h - Cy - Gy, 3 * Cx - w + Gx, 3 * Cy - h + Gy));
    }
    if (Inner) R = Outside(W, H, *Inner);
  }
  if (Wipe.Shape == static_cast<uint8_t>(TQxShapeKind::qxskCross)) QxCopyInPlace(Canvas, FromBitmap, 0, 0, W, H);
  QxClipCopy(Canvas, ToBitmap, W, H, R);
}

QX_TRANSITION_PROC(QxShapeInOutProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t Cx = F.W / 2, Cy = F.H / 2, A = F.w / 2, B = F.h / 2, X2 = 2 * Cx, Y2 = 2 * Cy;
  struct TInOut {
    uint8_t Shape;
    float Factor;
  };
  static constexpr TInOut kInOut[] = {{kCircle, 1.0f},
                                      {static_cast<uint8_t>(TQxShapeKind::qxskHeart), 1.6f},
                                      {static_cast<uint8_t>(TQxShapeKind::qxskStar5), 2.4f},
                                      {static_cast<uint8_t>(TQxShapeKind::qxskStar6), 1.6f},
                                      {static_cast<uint8_t>(TQxShapeKind::qxskExplosion), 1.1f}};
  TInOut S = Row == 182 ? kInOut[0] : kInOut[Row - 209];
  std::optional<TRegion> Outer, Inner;
  if (S.Shape == kCircle) {
    Outer = PolygonRegion({{-A, Cy}, {Cx, -B}, {X2 + A, Cy}, {Cx, Y2 + B}});
    Inner = PolygonRegion({{A, Cy}, {Cx, B}, {X2 - A, Cy}, {Cx, Y2 - B}});
  } else {
    int32_t L = QxNearest(static_cast<long double>(S.Factor) * A), M = QxNearest(static_cast<long double>(S.Factor) * B);
    Outer = QxShapeRegion(S.Shape, TRect(-L, -M, X2 + L, Y2 + M));
    Inner = QxShapeRegion(S.Shape, TRect(A, B, X2 - A, Y2 - B));
  }
  CombineRgn(*Outer, *Outer, *Inner, RGN_XOR);
  QxClipCopy(Canvas, ToBitmap, F.W, F.H, Outer);
}

QX_TRANSITION_PROC(QxShapeGridProc) {
  TQxTransitionFrame F(Rect, Percent);
  struct TGrid {
    uint8_t Shape;
    double Factor;
  };
  static constexpr TGrid kGrids[] = {{static_cast<uint8_t>(TQxShapeKind::qxskHeart), 3.0},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskStar5), 4.0},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskStar6), 4.0},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskExplosion), 4.0},
                                     {static_cast<uint8_t>(TQxShapeKind::qxskLightning), 6.0}};
  TGrid G = Row == 114 ? TGrid{kCircle, 3.0} : kGrids[Row - 195];
  int32_t N = std::min(F.W, F.H) / 10 + 1, R = MulDiv(QxNearest(N * G.Factor), F.p, 200);
  // Every cell holds the same shape: it is made once, in the first cell, and moved by whole even steps,
  // which keep its outline exactly (the rounding of halves included).
  const std::optional<TRegion> Shape = G.Shape == kCircle ? std::optional<TRegion>(CreateEllipticRgn(0, 0, 2 * R, 2 * R))
                                                          : QxShapeRegion(G.Shape, TRect(0, 0, 2 * R, 2 * R));
  TRegionUnion All;
  for (int32_t X = N; X - N < F.W; X += 2 * N)
    for (int32_t Y = N; Y - N < F.H; Y += 2 * N) All.AddMoved(Shape, X - R, Y - R);
  All.CopyThrough(Canvas, ToBitmap, F.W, F.H);
}

QX_TRANSITION_PROC(QxRandomShapesProc) {
  TQxTransitionFrame F(Rect, Percent);
  struct TRandom {
    uint8_t Shape;
    int32_t Divisor;
    double Factor;
  };
  static constexpr TRandom kRandom[] = {{static_cast<uint8_t>(TQxShapeKind::qxskHeart), 12, 0.6},
                                        {static_cast<uint8_t>(TQxShapeKind::qxskStar5), 14, 0.4},
                                        {static_cast<uint8_t>(TQxShapeKind::qxskStar6), 14, 0.4},
                                        {static_cast<uint8_t>(TQxShapeKind::qxskExplosion), 18, 0.5}};
  TRandom S = kRandom[Row - 191];
  if (Row == 194 && F.p % 2 == 1) S.Shape = static_cast<uint8_t>(TQxShapeKind::qxskExplosionRotated);
  int32_t A = std::min(F.W, F.H) / S.Divisor + 1;
  // A small frame would give a grid step of 0; one pixel keeps the loops moving.
  int32_t D = std::max<int32_t>(static_cast<int32_t>(Trunc(A * S.Factor)), 1);
  // One shape moved to each chosen cell, as in the shape grids.
  const std::optional<TRegion> Shape = QxShapeRegion(S.Shape, TRect(0, 0, 2 * A, 2 * A));
  TRegionUnion All;
  {
    TQxSeedScope Seed(QxTransitionSeedOf(ToBitmap));
    for (int32_t X = D; X - D < F.W; X += 2 * D)
      for (int32_t Y = D; Y - D < F.H; Y += 2 * D)
        if (QxTransitionRandom(100) < F.p) All.AddMoved(Shape, X - A, Y - A);
  }
  All.CopyThrough(Canvas, ToBitmap, F.W, F.H);
}
