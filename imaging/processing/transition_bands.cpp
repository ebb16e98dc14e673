// Transitions that reveal the to picture through many rectangles: bars, shreds, speckles, blinds, grids
// and random boxes. Each frame builds its region afresh; what earlier frames copied stays in the frame.
#include <algorithm>

#include "imaging/processing/transition_procs.h"
#include "imaging/processing/transition_regions.h"
#include "platform/base/numeric.h"

namespace {

void BarsList(TComplexRegion& R, int32_t A, int32_t B, int32_t W, int32_t H, int HKind, int VKind) {
  const int32_t Bar = std::min(W, H) / 50 + 1;
  if (HKind != 0) {
    for (int32_t Y = A > W ? Bar : 0; Y < H + Bar; Y += 2 * Bar) {
      if (A <= W) {
        if (HKind == 1 || HKind == 5) R.AddRect(W - A, Y, W, Y + Bar);
        if (HKind == 2 || HKind == 4) R.AddRect(0, Y, A, Y + Bar);
        if (HKind == 3) {
          R.AddRect(0, Y + Bar, A, Y + 2 * Bar);
          R.AddRect(W - A, Y, W, Y + Bar);
        }
      } else {
        if (HKind == 1 || HKind == 4) R.AddRect(2 * W - A, Y, W, Y + Bar);
        if (HKind == 2 || HKind == 5) R.AddRect(0, Y, A - W, Y + Bar);
        R.AddRect(0, Y - Bar, W, Y);
      }
    }
  }
  if (VKind != 0) {
    for (int32_t X = B > H ? Bar : 0; X < W + Bar; X += 2 * Bar) {
      if (B <= H) {
        if (VKind == 1 || VKind == 5) R.AddRect(X, H - B, X + Bar, H);
        if (VKind == 2 || VKind == 4) R.AddRect(X, 0, X + Bar, B);
        if (VKind == 3) {
          R.AddRect(X, H - B, X + Bar, H);
          R.AddRect(X + Bar, 0, X + 2 * Bar, B);
        }
      } else {
        if (VKind == 1 || VKind == 4) R.AddRect(X, 2 * H - B, X + Bar, H);
        if (VKind == 2 || VKind == 5) R.AddRect(X, 0, X + Bar, B - H);
        R.AddRect(X - Bar, 0, X, H);
      }
    }
  }
}

void ShredList(TComplexRegion& R, int32_t A, int32_t B, int32_t W, int32_t H, int HKind, int VKind) {
  const int32_t Strip = std::min(W, H) / 200 + 1;
  if (HKind != 0) {
    int32_t Jitter = A < W ? W / 10 : 0;
    for (int32_t Y = 0; Y < H; Y += Strip) {
      int32_t L = A - Jitter + QxTransitionRandom(2 * Jitter);
      int32_t Bottom = Y + Strip + H % Strip;
      switch (HKind) {
        case 1: R.AddRect(W - L, Y, W, Bottom); break;
        case 2: R.AddRect(0, Y, L, Bottom); break;
        case 3:
          L /= 2;
          R.AddRect(W / 2 - L, Y, W / 2, Bottom);
          R.AddRect(W / 2, Y, W / 2 + L, Bottom);
          break;
        default:
          L /= 2;
          R.AddRect(W - L, Y, W, Bottom);
          R.AddRect(0, Y, L, Bottom);
      }
    }
  }
  if (VKind != 0) {
    int32_t Jitter = B < H ? H / 10 : 0;
    for (int32_t X = 0; X < W; X += Strip) {
      int32_t L = B - Jitter + QxTransitionRandom(2 * Jitter);
      int32_t Right = X + Strip + W % Strip;
      switch (VKind) {
        case 1: R.AddRect(X, H - L, Right, H); break;
        case 2: R.AddRect(X, 0, Right, L); break;
        case 3:
          L /= 2;
          R.AddRect(X, H / 2 - L, Right, H / 2);
          R.AddRect(X, H / 2, Right, H / 2 + L);
          break;
        default:
          L /= 2;
          R.AddRect(X, H - L, Right, H);
          R.AddRect(X, 0, Right, L);
      }
    }
  }
}

void SpeckleList(TComplexRegion& R, int32_t A, int32_t B, int32_t W, int32_t H, int HKind, int VKind) {
  // Cell i counted outward from the solid front is kept with chance 2/i near the front, 1/i beyond.
  auto Keep = [](int32_t I, int32_t Limit) { return QxTransitionRandom(I) <= (I <= Limit ? 1 : 0); };
  if (HKind != 0) {
    int32_t Zone = A < W ? W / 10 : 0;
    int32_t Cell = std::max(Zone / 20, 2), Cells = Zone / Cell, Limit = 3 * Zone / (4 * Cell);
    for (int32_t Y = 0; Y < H; Y += Cell / 2) {
      if (HKind == 1) {
        R.AddRect(W - A, Y, W, Y + Cell);
        for (int32_t I = Cells; I >= 1; --I)
          if (Keep(I, Limit)) R.AddRect(W - A - Cell * I, Y, W - A - Cell * I + Cell, Y + Cell);
      } else {
        R.AddRect(0, Y, A, Y + Cell);
        for (int32_t I = Cells; I >= 1; --I)
          if (Keep(I, Limit)) R.AddRect(A + Cell * (I - 1), Y, A + Cell * I, Y + Cell);
      }
    }
  }
  if (VKind != 0) {
    int32_t Zone = B < H ? H / 10 : 0;
    int32_t Cell = std::max(Zone / 20, 2), Cells = Zone / Cell, Limit = 3 * Zone / (4 * Cell);
    for (int32_t X = 0; X < W; X += Cell / 2) {
      if (VKind == 1) {
        R.AddRect(X, H - B, X + Cell, H);
        for (int32_t I = Cells; I >= 1; --I)
          if (Keep(I, Limit)) R.AddRect(X, H - B - Cell * I, X + Cell, H - B - Cell * I + Cell);
      } else {
        R.AddRect(X, 0, X + Cell, B);
        for (int32_t I = Cells; I >= 1; --I)
          if (Keep(I, Limit)) R.AddRect(X, B + Cell * (I - 1), X + Cell, B + Cell * I);
      }
    }
  }
}

// The clip-copy of the procedures built on a rectangle list: nothing when no rectangle was added.
void CopyThroughList(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H, const TComplexRegion& List) {
  if (List.Count() > 0) QxCopyThroughRects(Canvas, ToBitmap, W, H, List.Rects());
}

// The same for the bands, shreds and speckles, whose empty list leaves the copy unclipped.
void CopyThroughBands(TCanvas* Canvas, TBitmap* ToBitmap, int32_t W, int32_t H, const TComplexRegion& List) {
  if (List.Count() > 0) QxCopyThroughRects(Canvas, ToBitmap, W, H, List.Rects());
  else QxClipCopy(Canvas, ToBitmap, W, H, std::nullopt);
}

}  // namespace

QX_TRANSITION_PROC(QxBarsProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H, w = F.w, h = F.h;
  struct TBars {
    int32_t A, B;
    int HKind, VKind;
  };
  TBars P{};
  switch (Row) {
    case 84: P = {2 * w, 0, 2, 0}; break;
    case 85: P = {2 * w, 0, 1, 0}; break;
    case 86: P = {0, 2 * h, 0, 2}; break;
    case 87: P = {0, 2 * h, 0, 1}; break;
    case 88: P = {2 * w, 0, 4, 0}; break;
    case 89: P = {2 * w, 0, 5, 0}; break;
    case 90: P = {0, 2 * h, 0, 4}; break;
    case 91: P = {0, 2 * h, 0, 5}; break;
    case 92: P = {w, 0, 3, 0}; break;
    case 93: P = {0, h, 0, 3}; break;
    case 118: P = {2 * w, 2 * h, 2, 2}; break;
    case 119: P = {2 * w, 2 * h, 1, 2}; break;
    case 120: P = {2 * w, 2 * h, 2, 1}; break;
    case 121: P = {2 * w, 2 * h, 1, 1}; break;
    case 122: P = {2 * w, 2 * h, 4, 4}; break;
    case 123: P = {2 * w, 2 * h, 5, 4}; break;
    case 124: P = {2 * w, 2 * h, 4, 5}; break;
    case 125: P = {2 * w, 2 * h, 5, 5}; break;
    case 126: P = {w, h, 3, 2}; break;
    case 127: P = {w, h, 3, 1}; break;
    case 128: P = {w, h, 2, 3}; break;
    case 129: P = {w, h, 3, 3}; break;
    case 130: P = {w, h, 1, 3}; break;
    default: {  // 131: where both crisscrosses have reached
      TComplexRegion One, Two;
      BarsList(One, 2 * w, 2 * h, W, H, 1, 1);
      BarsList(Two, 2 * w, 2 * h, W, H, 2, 2);
      auto R = One.CreateHRGN(), Other = Two.CreateHRGN();
      if (R && Other) CombineRgn(*R, *R, *Other, RGN_AND);
      QxClipCopy(Canvas, ToBitmap, W, H, R);
      return;
    }
  }
  TComplexRegion List;
  BarsList(List, P.A, P.B, W, H, P.HKind, P.VKind);
  CopyThroughBands(Canvas, ToBitmap, W, H, List);
}

QX_TRANSITION_PROC(QxShredProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t w = F.w, h = F.h;
  struct TShred {
    int32_t A, B;
    int HKind, VKind;
  };
  TShred P{};
  switch (Row) {
    case 94: P = {w, 0, 2, 0}; break;
    case 95: P = {w, 0, 1, 0}; break;
    case 96: P = {0, h, 0, 2}; break;
    case 97: P = {0, h, 0, 1}; break;
    case 98: P = {w, h, 2, 2}; break;
    case 99: P = {w, h, 1, 2}; break;
    case 100: P = {w, h, 2, 1}; break;
    case 101: P = {w, h, 1, 1}; break;
    case 102: P = {w, h, 2, 3}; break;
    case 103: P = {w, h, 1, 3}; break;
    case 104: P = {w, h, 3, 2}; break;
    case 105: P = {w, h, 3, 1}; break;
    case 106: P = {w, h, 3, 3}; break;
    case 107: P = {w, h, 4, 4}; break;
    case 108: P = {0, h, 0, 4}; break;
    case 109: P = {w, 0, 4, 0}; break;
    case 110: P = {0, h, 0, 3}; break;
    default: P = {w, 0, 3, 0}; break;  // 111
  }
  TComplexRegion List;
  ShredList(List, P.A, P.B, F.W, F.H, P.HKind, P.VKind);
  CopyThroughBands(Canvas, ToBitmap, F.W, F.H, List);
}

QX_TRANSITION_PROC(QxSpeckleProc) {
  TQxTransitionFrame F(Rect, Percent);
  int HKind = Row == 146 ? 2 : Row == 147 ? 1 : 0;
  int VKind = Row == 148 ? 2 : Row == 149 ? 1 : 0;
  TComplexRegion List;
  SpeckleList(List, F.w, F.h, F.W, F.H, HKind, VKind);
  CopyThroughBands(Canvas, ToBitmap, F.W, F.H, List);
}

QX_TRANSITION_PROC(QxBlindsProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H;
  bool Horizontal = Row == 158;
  int32_t N = (Horizontal ? H : W) / 40 + 1, A = MulDiv(N, F.p, 100), Limit = Horizontal ? H : W;
  TComplexRegion List;
  for (int32_t C = N; C - N < Limit; C += 2 * N) {
    if (Horizontal) List.AddRect(0, C - A, W, C + A);
    else List.AddRect(C - A, 0, C + A, H);
  }
  CopyThroughList(Canvas, ToBitmap, W, H, List);
}

namespace {

// Blinds whose pitch is the progress N itself, from the side the row names.
void AddUnevenBlinds(TComplexRegion& List, int32_t Row, int32_t W, int32_t H, int32_t N, int32_t A) {
  switch (Row) {
    case 0:  // from the left
      for (int32_t X = 0; X < W; X += N) List.AddRect(X, 0, X + A, H);
      break;
    case 1:  // from the right
      for (int32_t X = W; X > 0; X -= N) List.AddRect(X - A, 0, X, H);
      break;
    case 2:  // from the top
      for (int32_t Y = 0; Y < H; Y += N) List.AddRect(0, Y, W, Y + A);
      break;
    default:  // from the bottom
      for (int32_t Y = H; Y > 0; Y -= N) List.AddRect(0, Y - A, W, Y);
  }
}

}  // namespace

QX_TRANSITION_PROC(QxUnevenBlindsProc) {
  TQxTransitionFrame F(Rect, Percent);
  int32_t N = Row <= 161 ? F.w : F.h;
  if (N == 0) return;
  TComplexRegion List;
  AddUnevenBlinds(List, Row - 160, F.W, F.H, N, MulDiv(N, F.p, 100));
  CopyThroughList(Canvas, ToBitmap, F.W, F.H, List);
}

QX_TRANSITION_PROC(QxSideRectanglesProc) {
  TQxTransitionFrame F(Rect, Percent);
  const int32_t W = F.W, H = F.H;
  bool Sideways = Row <= 165;
  int32_t N = Sideways ? F.w : F.h, M = Sideways ? H / 20 : W / 20;
  if (N == 0 || M == 0) return;
  TComplexRegion List;
  int32_t A = MulDiv(M, F.p, 100);
  for (int32_t C = -M; C < (Sideways ? H : W); C += 3 * M) {
    if (Sideways) List.AddRect(0, C - A, W, C + A);
    else List.AddRect(C - A, 0, C + A, H);
  }
  AddUnevenBlinds(List, Row - 164, W, H, N, MulDiv(N, F.p, 100));
  CopyThroughList(Canvas, ToBitmap, W, H, List);
}

QX_TRANSITION_PROC(QxExpandingRectanglesProc) {
  TQxTransitionFrame F(Rect, Percent);
  int32_t N = std::min(F.W, F.H) / 10 + 1, A = MulDiv(N, F.p, 100);
  TComplexRegion List;
  for (int32_t Cx = N; Cx - N < F.W; Cx += 2 * N)
    for (int32_t Cy = N; Cy - N < F.H; Cy += 2 * N) List.AddRect(Cx - A, Cy - A, Cx + A, Cy + A);
  CopyThroughList(Canvas, ToBitmap, F.W, F.H, List);
}

QX_TRANSITION_PROC(QxRandomBigBoxesProc) {
  TQxTransitionFrame F(Rect, Percent);
  TComplexRegion List;
  {
    // One seed for the whole transition: a box once shown stays shown as the progress grows.
    TQxSeedScope Seed(QxTransitionSeedOf(ToBitmap));
    int32_t C = std::min(F.W, F.H) / 20 + 1;
    for (int32_t Cx = C; Cx - C < F.W; Cx += 2 * C)
      for (int32_t Cy = C; Cy - C < F.H; Cy += 2 * C)
        if (QxTransitionRandom(100) < F.p) List.AddRect(Cx - C, Cy - C, Cx + C, Cy + C);
  }
  CopyThroughList(Canvas, ToBitmap, F.W, F.H, List);
}

