#include "imaging/foundation/geometry_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "platform/base/types.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "imaging/foundation/canvas.h"

namespace {

// Source pixel of upright pixel (x, y) for a stored image of w x h; each case is the composition the
// orientation names (5: rotate -90 then flip, 7: rotate 90 then flip).
inline void SourceOf(int32_t o, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy) {
  switch (o) {
    case 2: sx = w - 1 - x; sy = y; break;
    case 3: sx = w - 1 - x; sy = h - 1 - y; break;
    case 4: sx = x; sy = h - 1 - y; break;
    case 5: sx = y; sy = x; break;
    case 6: sx = y; sy = h - 1 - x; break;
    case 7: sx = w - 1 - y; sy = h - 1 - x; break;
    case 8: sx = w - 1 - y; sy = x; break;
    default: sx = x; sy = y; break;
  }
}

// Reorients one bitmap's pixels (not its alpha channel) through a copy.
void Reorient(TQxBitmap* b, int32_t o) {
  const int32_t w = b->Width(), h = b->Height();
  if (w <= 0 || h <= 0) return;
  const TQxPixelFormat fmt = b->PixelFormat();
  const int32_t bits = b->BitCount();
  const bool swap = o >= 5;
  const int32_t nw = swap ? h : w, nh = swap ? w : h;
  TQxBitmap src;
  src.AssignFrom(b);
  std::unique_ptr<TQxBitmap> alpha = b->SetAlphaChannel(nullptr);
  b->Allocate(nw, nh, fmt);
  src.CopyPaletteTo(b);
  std::vector<uint8_t*> rows(h);
  for (int32_t y = 0; y < h; ++y) rows[y] = src.Scanline(y);
  const int32_t bytes = bits / 8;
  for (int32_t y = 0; y < nh; ++y) {
    uint8_t* d = b->Scanline(y);
    if (bits == 1) std::memset(d, 0, size_t((nw + 7) / 8));
    for (int32_t x = 0; x < nw; ++x) {
      int32_t sx, sy;
      SourceOf(o, x, y, w, h, sx, sy);
      if (bits == 1) {
        if (rows[sy][sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      } else {
        std::memcpy(d + size_t(x) * bytes, rows[sy] + size_t(sx) * bytes, size_t(bytes));
      }
    }
  }
  if (alpha) {
    Reorient(alpha.get(), o);
    b->SetAlphaChannel(std::move(alpha));
  }
}

}  // namespace

void QxApplyExifOrientation(TQxBitmap* Bitmap, int32_t Orientation) {
  if (!Bitmap || Orientation < 2 || Orientation > 8 || Bitmap->IsEmpty()) return;
  Reorient(Bitmap, Orientation);
}

void QxFitSize(int32_t W, int32_t H, int32_t BoxW, int32_t BoxH, int32_t& OutW, int32_t& OutH) {
  if (W == 0 || H == 0) return;
  const double f = std::min(double(BoxH) / H, double(BoxW) / W);
  OutW = std::max(1, int32_t(std::trunc(W * f)));
  OutH = std::max(1, int32_t(std::trunc(H * f)));
}

// ---------------------------------------------------------------------------------------------------------
// Points and rectangles

bool QxPointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return X1 <= X && X <= X2 && Y1 <= Y && Y <= Y2;
}

bool QxPointInRectAnyOrder(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  return QxPointInRect(X, Y, std::min(X1, X2), std::min(Y1, Y2), std::max(X1, X2), std::max(Y1, Y2));
}

bool QxRectsOverlap(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1, int32_t BX2,
                    int32_t BY2) {
  return !(std::max(AX1, AX2) < BX1 || BX2 < std::min(AX1, AX2) || std::max(AY1, AY2) < BY1 ||
           BY2 < std::min(AY1, AY2));
}

int32_t QxRectRelation(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1, int32_t BX2,
                       int32_t BY2) {
  const bool x1 = AX1 <= BX1 && BX1 <= AX2, x2 = AX1 <= BX2 && BX2 <= AX2;
  const bool y1 = AY1 <= BY1 && BY1 <= AY2, y2 = AY1 <= BY2 && BY2 <= AY2;
  if ((x1 != x2 && (y1 || y2)) || ((x1 || x2) && y1 != y2) || (x1 != x2 && y1 != y2)) return 1;
  if (x1 && x2 && y1 && y2) return 2;
  return 0;
}

void QxExtendBounds(TRect& Rect, int32_t X, int32_t Y) {
  Rect.Left = std::min(Rect.Left, X);
  Rect.Top = std::min(Rect.Top, Y);
  Rect.Right = std::max(Rect.Right, X);
  Rect.Bottom = std::max(Rect.Bottom, Y);
}

void QxSnapTo45(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y) {
  constexpr int32_t tolerance = 30;
  const int32_t dx = std::abs(X0 - X), dy = std::abs(Y0 - Y);
  if (dx + tolerance < dy) {
    X = X0;
    return;
  }
  if (dy < dx - tolerance) {
    Y = Y0;
    return;
  }
  const int32_t d = std::abs(dx - dy);
  if (X > X0 && Y > Y0) {
    if (dx >= dy) Y += d;
    else X += d;
  } else if (X < X0 && Y < Y0) {
    if (dx >= dy) X += d;
    else Y += d;
  } else if (X < X0) {
    if (dx >= dy) Y += d;
    else X -= d;
  } else if (Y < Y0) {
    if (dx >= dy) Y -= d;
    else X += d;
  }
}

// ---------------------------------------------------------------------------------------------------------
// Angles

namespace {
constexpr long double kPi = 3.141592653589793238462643383279502884L;
}

long double QxArcTan2(long double Y, long double X) { return std::atan2(Y, X); }

long double QxArcCos(long double X) {
  if (X == 1) return 0;
  if (X == -1) return kPi;
  return QxArcTan2(std::sqrt(1 - X * X), X);
}

long double QxAngleBetweenSegments(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  const long double ux = (long double)X2 - X1, uy = (long double)Y2 - Y1;
  const long double vx = (long double)X3 - X2, vy = (long double)Y3 - Y2;
  const long double lu = std::sqrt(ux * ux + uy * uy), lv = std::sqrt(vx * vx + vy * vy);
  if (lu == 0 || lv == 0) return 0;
  const long double c = (ux * vx + uy * vy) / (lu * lv);
  if (c < -1 || c > 1) return 0;
  return QxArcCos(c);
}

long double QxPointAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (X2 == X1) {
    if (Y2 < Y1) return kPi / 2;
    if (Y2 > Y1) return 3 * kPi / 2;
    return 0;
  }
  if (Y2 == Y1) return X2 < X1 ? kPi : 0;
  // The acute angle with the horizontal, from an auxiliary horizontal segment ending at the first point.
  const long double theta = QxAngleBetweenSegments(X1 - 1, Y1, X1, Y1, X1 + std::abs(X2 - X1), Y1 + std::abs(Y2 - Y1));
  const bool right = X2 > X1, up = Y2 < Y1;
  if (right && up) return theta;
  if (!right && up) return kPi - theta;
  if (!right) return kPi + theta;
  return 2 * kPi - theta;
}

int32_t QxTurnDirection(int32_t AX, int32_t AY, int32_t BX, int32_t BY, int32_t CX, int32_t CY) {
  // Products in 64 bits: coordinates far apart must not overflow.
  const int64_t ux = int64_t(BX) - AX, uy = int64_t(BY) - AY, vx = int64_t(CX) - AX, vy = int64_t(CY) - AY;
  if (uy * vx < ux * vy) return 1;
  if (ux * vy < uy * vx) return -1;
  if (ux * vx < 0 || uy * vy < 0) return -1;
  return ux * ux + uy * uy < vx * vx + vy * vy ? 1 : 0;
}

long double QxAngleAtVertex(int32_t AX, int32_t AY, int32_t BX, int32_t BY, int32_t CX, int32_t CY) {
  auto sq = [](int64_t dx, int64_t dy) { return (long double)(dx * dx + dy * dy); };
  const long double ab2 = sq(int64_t(BX) - AX, int64_t(BY) - AY), bc2 = sq(int64_t(CX) - BX, int64_t(CY) - BY);
  const long double ac2 = sq(int64_t(CX) - AX, int64_t(CY) - AY);
  long double ab = std::sqrt(ab2), bc = std::sqrt(bc2);
  if (ab == 0) ab = 1;
  if (bc == 0) bc = 1;
  const long double c = std::clamp((bc2 + ab2 - ac2) / (2 * ab * bc), -1.0L, 1.0L);
  const long double a = QxArcCos(c);
  return QxTurnDirection(AX, AY, BX, BY, CX, CY) == -1 ? 2 * kPi - a : a;
}

// ---------------------------------------------------------------------------------------------------------
// Distances

double QxDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double dx = double(X2) - X1, dy = double(Y2) - Y1;
  return std::sqrt(dx * dx + dy * dy);
}

double QxDistanceToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double a = double(Y1) - Y2, b = double(X2) - X1;
  const double n = std::sqrt(a * a + b * b);
  if (n == 0) return QxDistance(X, Y, X1, Y1);
  return std::fabs(X * a + Y * b + double(X1) * Y2 - double(X2) * Y1) / n;
}

double QxDistanceToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const double d1 = QxDistance(X, Y, X1, Y1);
  const double sx = double(X2) - X1, sy = double(Y2) - Y1;
  const double len2 = sx * sx + sy * sy;
  if (len2 == 0) return d1;
  const double t = ((double(X) - X1) * sx + (double(Y) - Y1) * sy) / len2;
  constexpr int64_t reach = 45001;  // keeps the squares inside 32 bits
  if (t > 1) {
    return std::abs(int64_t(X) - X2) < reach && std::abs(int64_t(Y) - Y2) < reach ? QxDistance(X, Y, X2, Y2) : 1e6;
  }
  if (t >= 0) return QxDistanceToLine(X, Y, X1, Y1, X2, Y2);
  return std::abs(int64_t(X1) - X) < reach && std::abs(int64_t(Y1) - Y) < reach ? d1 : 1e6;
}

double QxDistanceToPolyline(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ScaleX, double ScaleY,
                            int32_t PenWidth, bool Closed) {
  double result = 1e6;
  if (!Points || Count <= 0) return result;
  std::vector<TPoint> m(static_cast<size_t>(Count));
  for (int32_t i = 0; i < Count; ++i)
    m[i] = TPoint(int32_t(std::nearbyint(ScaleX * (Points[i].X - OriginX) + OffsetX)),
                  int32_t(std::nearbyint(ScaleY * (Points[i].Y - OriginY) + OffsetY)));
  const int32_t half = PenWidth / 2;
  auto segment = [&](const TPoint& a, const TPoint& b) {
    result = std::min(result, QxDistanceToSegment(X, Y, a.X, a.Y, b.X, b.Y));
    if (PenWidth > 1 && half > 1)
      for (int32_t sx = -half; sx <= half; ++sx)
        for (int32_t sy = 2; sy <= half; ++sy)
          result = std::min(result, QxDistanceToSegment(X, Y, a.X + sx, a.Y + sy, b.X + sx, b.Y + sy));
  };
  for (int32_t i = 0; i + 1 < Count; ++i) segment(m[i], m[i + 1]);
  if (Closed) segment(m[Count - 1], m[0]);
  return result;
}

double QxDistanceToEllipseOutline(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Filled,
                                  int32_t PenWidth) {
  double result = 2147483647.0;
  if (PenWidth < 0) return result;
  const int32_t half = PenWidth / 2;
  const double twoPi = 2 * 3.14159265358979323846;
  for (int32_t k = -half; k <= half; ++k) {
    const int32_t rx = k + (X2 - X1) / 2, ry = k + (Y2 - Y1) / 2;
    const int32_t px = X + k - X1 - rx, py = Y + k - Y1 - ry;
    int32_t n = int32_t(std::trunc(std::min(rx, ry) * twoPi));
    if (!Filled) n /= 8;
    n = std::max(n, 2);
    int32_t prevX = rx, prevY = 0;
    for (int32_t w = 1; w < n; ++w) {
      const double a = twoPi * w / n;
      const int32_t sx = int32_t(std::trunc(std::cos(a) * rx)), sy = int32_t(std::trunc(std::sin(a) * ry));
      if (Filled) result = std::min(result, std::trunc(QxDistanceToSegment(px, py, 0, 0, sx, sy)));
      else result = std::min(result, QxDistanceToSegment(px, py, prevX, prevY, sx, sy));
      prevX = sx;
      prevY = sy;
    }
  }
  return result;
}

double QxDistanceToRectOutline(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Filled,
                               int32_t PenWidth) {
  double result = 2147483647.0;
  if (PenWidth < 0) return result;
  const int32_t half = PenWidth / 2;
  for (int32_t k = -half; k <= half; ++k) {
    const int32_t l = X1 + k, t = Y1 + k, r = X2 + k, b = Y2 + k;
    if (Filled && QxPointInRectAnyOrder(X, Y, l, t, r, b)) return 0;
    result = std::min({result, QxDistanceToSegment(X, Y, l, t, r, t), QxDistanceToSegment(X, Y, r, t, r, b),
                       QxDistanceToSegment(X, Y, r, b, l, b), QxDistanceToSegment(X, Y, l, b, l, t)});
  }
  return result;
}

// ---------------------------------------------------------------------------------------------------------
// Polygons and curves

namespace {
template <class P>
bool EvenOdd(double X, double Y, const std::vector<P>& pts) {
  bool inside = false;
  const size_t n = pts.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = pts[i].first, yi = pts[i].second, xj = pts[j].first, yj = pts[j].second;
    if (((Y >= yi && Y < yj) || (Y >= yj && Y < yi)) && X < xi + (xj - xi) * (Y - yi) / (yj - yi)) inside = !inside;
  }
  return inside;
}
}  // namespace

bool QxPointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t High) {
  if (!Points || High < 0) return false;
  std::vector<std::pair<double, double>> pts;
  for (int32_t i = 0; i <= High; ++i) pts.emplace_back(Points[i].X, Points[i].Y);
  return EvenOdd(X, Y, pts);
}

bool QxPointInScaledPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ScaleX, double ScaleY) {
  if (!Points || Count <= 0) return false;
  std::vector<std::pair<double, double>> pts;
  for (int32_t i = 0; i < Count; ++i)
    pts.emplace_back((double(Points[i].X) - OriginX) * ScaleX + OffsetX, (double(Points[i].Y) - OriginY) * ScaleY + OffsetY);
  return EvenOdd(X, Y, pts);
}

void QxRotatePoints(TPoint* Points, int32_t High, int32_t CX, int32_t CY, double Angle) {
  if (!Points) return;
  const double a = -Angle * 3.14159265358979323846 / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  for (int32_t i = 0; i <= High; ++i) {
    const double x = double(Points[i].X) - CX, y = double(Points[i].Y) - CY;
    Points[i].X = CX + int32_t(std::trunc(c * x - s * y));
    Points[i].Y = CY + int32_t(std::trunc(s * x + c * y));
  }
}

void QxBezierPoints(TPoint P0, TPoint P1, TPoint P2, int32_t N, std::vector<TPoint>& Points, TPoint P3) {
  Points.clear();
  if (N <= 0) return;
  const double step = 1.0 / N;
  double t = 0;
  for (int32_t i = 0; i < N; ++i) {
    t += step;
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
    Points.emplace_back(int32_t(std::nearbyint(P0.X * a + P1.X * b + P2.X * c + P3.X * d)),
                        int32_t(std::nearbyint(P0.Y * a + P1.Y * b + P2.Y * c + P3.Y * d)));
  }
}

// ---------------------------------------------------------------------------------------------------------
// Tables

int32_t QxCosineTable[256];

void QxInitCosineTable() {
  for (int i = 0; i < 256; ++i)
    QxCosineTable[i] = int32_t(std::nearbyint(64.0 - std::cos(i * 3.14159265358979323846 / 255.0) * 64.0));
}

namespace {
// Filled whenever this code is linked, so that a reader never sees an empty table.
const bool kCosineTableReady = (QxInitCosineTable(), true);
}  // namespace

void QxGaussianCurve(int32_t N, double Low, double High, double Sigma, std::vector<double>& Values) {
  Values.assign(static_cast<size_t>(std::max(N, 0)), 0.0);
  if (N <= 0) return;
  double peak = -100000;
  for (int32_t k = 0; k < N; ++k) {
    const double t = 2.0 * k / N - 1.0;
    Values[k] = std::exp(-0.5 * Sigma * Sigma * t * t) / (Sigma * std::sqrt(2 * 3.14159265358979323846));
    peak = std::max(peak, Values[k]);
  }
  for (auto& v : Values) v = v / peak * (High - Low) + Low;
}

// ---------------------------------------------------------------------------------------------------------
// Drawing

void QxDrawTwoColorFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor ColorTopLeft,
                         TColor ColorBottomRight) {
  if (!Canvas) return;
  TPen* pen = Canvas->Pen();
  pen->SetMode(TPenMode::pmCopy);
  pen->SetStyle(TPenStyle::psSolid);
  pen->SetWidth(1);
  pen->SetColor(ColorTopLeft);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  pen->SetColor(ColorBottomRight);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

namespace {

// Multiplies one pixel's channels by f: in the bitmap's 24-bit rows when it lies inside, else on the canvas.
void Darken(TCanvas* canvas, TBitmap* bitmap, int32_t x, int32_t y, double f) {
  if (bitmap && bitmap->PixelFormat() == TPixelFormat::pf24bit && x >= 0 && y >= 0 && x < bitmap->Width() &&
      y < bitmap->Height()) {
    uint8_t* p = static_cast<uint8_t*>(bitmap->ScanLine(y)) + size_t(x) * 3;
    for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::trunc(p[c] * f));
    return;
  }
  if (!canvas) return;
  const TColor col = canvas->Pixels(x, y);
  if (col < 0) return;  // outside the canvas
  const int32_t r = int32_t(std::trunc((col & 0xFF) * f)), g = int32_t(std::trunc(((col >> 8) & 0xFF) * f)),
                b = int32_t(std::trunc(((col >> 16) & 0xFF) * f));
  canvas->SetPixels(x, y, TColor(r | g << 8 | b << 16));
}

TColor Gray(int32_t v) {
  v = std::clamp(v, 0, 255);
  return TColor(v | v << 8 | v << 16);
}

// The gray ramp of style 3 along a band of length `along` and depth `across`.
void Ramp(TCanvas* canvas, int32_t X1, int32_t Y1, int32_t along, int32_t across, bool right) {
  if (!canvas || along <= 0 || across <= 0) return;
  int32_t start = 0;
  for (int32_t i = 0; i <= along; ++i) {
    const int32_t level = std::clamp(int32_t(std::trunc(std::exp(double(along - 3 * i) / along) / std::exp(1.0) * 255)), 0, 255);
    if (i > (along - across) + 1) ++start;
    for (int32_t j = start; j <= across; ++j) {
      const int32_t g = std::max(int32_t(std::trunc(std::exp(double(j) / across) / std::exp(1.0) * 255)), level);
      if (right) canvas->SetPixels(X1 + j, Y1 + i, Gray(g));
      else canvas->SetPixels(X1 + i, Y1 + j, Gray(g));
    }
  }
}

}  // namespace

void QxDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       int32_t Style, TColor Color) {
  const int32_t w = X2 - X1 + 1;
  if (w <= 0) return;
  switch (Style) {
    case 1:
      if (Canvas) Canvas->FillRect(TRect(X1, Y1 + w, X2, Y2 + 1));
      break;
    case 2:
      for (int32_t i = 0; i < w; ++i) {
        const double s = (w - i) / (w / 3.0);
        const double f = std::exp(-0.1 - s * s / 6);
        for (int32_t y = Y1 + w; y <= Y2 + 3 + i - w; ++y) Darken(Canvas, Bitmap, X1 + i, y, f);
      }
      break;
    case 3:
      Ramp(Canvas, X1, Y1, Y2 - Y1 + 1, w, true);
      break;
    default:
      break;
  }
}

void QxDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                        int32_t Style, TColor Color) {
  const int32_t h = Y2 - Y1 + 1;
  if (h <= 0) return;
  switch (Style) {
    case 1:
      if (Canvas) Canvas->FillRect(TRect(X1 + h, Y1, X2 + 1, Y2));
      break;
    case 2:
      for (int32_t j = 0; j < h; ++j) {
        const double s = (j - h) / (h / 3.0);
        const double f = std::exp(-0.1 - s * s / 6);
        for (int32_t x = X1 + h; x <= X2 + 1 + j - h; ++x) Darken(Canvas, Bitmap, x, Y1 + j, f);
      }
      break;
    case 3:
      Ramp(Canvas, X1, Y1, X2 - X1 + 1, h, false);
      break;
    default:
      break;
  }
}

void QxMakeStripedBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!Bitmap) return;
  Bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  Bitmap->SetSize(Width, Height);
  std::vector<double> levels;
  QxGaussianCurve(4, 130, 255, 0.5, levels);
  for (int32_t y = 0; y < Height; ++y) {
    auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    std::memset(row, int(std::trunc(levels[y % 4])), size_t(Width) * 3);
  }
  Bitmap->Modified();
}

void QxMakeGradientBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!Bitmap || Width <= 0) return;
  Bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  Bitmap->SetSize(Width, Height);
  std::vector<double> levels;
  QxGaussianCurve(Width, 160, 208, 3, levels);
  int32_t noise = 0;
  for (int32_t y = 0; y < Height; ++y) {
    auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    int32_t run = 0;
    for (int32_t x = 0; x < Width; ++x) {
      if (++run > std::rand() % Width + 100) {
        noise = std::rand() % 11;
        run = 0;
      }
      std::memset(row + size_t(x) * 3, uint8_t(int32_t(std::trunc(levels[x])) + noise), 3);
    }
  }
  Bitmap->Modified();
}

void QxDrawTwoColorFrameQx(TQxCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor ColorTopLeft,
                           TColor ColorBottomRight) {
  if (!Canvas) return;
  TQxPen* pen = Canvas->Pen();
  pen->SetMode(TPenMode::pmCopy);
  pen->SetStyle(TPenStyle::psSolid);
  pen->SetWidth(1);
  pen->SetColor(ColorTopLeft);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  pen->SetColor(ColorBottomRight);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

void QxDimAroundRect(TCanvas* Canvas, int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t InnerX1,
                     int32_t InnerY1, int32_t InnerX2, int32_t InnerY2) {
  if (!Canvas || InnerX1 >= InnerX2 || InnerY1 >= InnerY2) return;
  TQxCanvas c(Canvas, false, true);
  c.Brush()->SetColor(clBlack);
  c.Brush()->SetStyle(TBrushStyle::bsSolid);
  c.Brush()->SetTransparency(150);
  const int32_t bottom = Top + Height + 1;
  c.FillRect(TRect(Left, Top, InnerX1 + 2, bottom));
  c.FillRect(TRect(InnerX2, Top, Left + Width + 1, bottom));
  c.FillRect(TRect(InnerX1 + 1, Top, InnerX2 + 1, InnerY1 + 2));
  c.FillRect(TRect(InnerX1 + 1, InnerY2 + 1, InnerX2 + 1, bottom));
}

TQxBlurRect8Proc QxBlurRect8Hook = nullptr;

void QxDrawSoftShadow(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color) {
  if (!Bitmap || Bitmap->PixelFormat() != TPixelFormat::pf24bit || X2 < X1 || Y2 < Y1) return;
  const int32_t mw = X2 - X1 + 11, mh = Y2 - Y1 + 11;
  TQxBitmap mask(mw, mh, TQxPixelFormat::qx8g);
  for (int32_t y = 0; y < mh; ++y) {
    uint8_t* row = mask.Scanline(y);
    for (int32_t x = 0; x < mw; ++x) row[x] = (x >= 5 && x <= X2 - X1 + 7 && y >= 5 && y <= Y2 - Y1 + 7) ? 255 : 0;
  }
  if (QxBlurRect8Hook) QxBlurRect8Hook(&mask, 0, 0, mw - 1, mh - 1, 2.5);
  for (int32_t y = std::max(Y1 - 5, 0); y <= std::min(Y2 + 5, Bitmap->Height() - 1); ++y) {
    auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    const uint8_t* m = mask.Scanline(y - Y1 + 5);
    for (int32_t x = std::max(X1 - 5, 0); x <= std::min(X2 + 5, Bitmap->Width() - 1); ++x) {
      if (x >= X1 && x < X2 && y >= Y1 && y < Y2) continue;
      const double f = 1.0 - m[x - X1 + 5] / 255.0;
      for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t(std::trunc(row[3 * x + c] * f));
    }
  }
  Bitmap->Modified();
}
