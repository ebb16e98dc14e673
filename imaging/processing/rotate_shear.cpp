#include "imaging/processing/rotate_shear.h"

#include <cmath>
#include <vector>

#include "imaging/processing/proc_internal.h"
#include "imaging/processing/rotate.h"

using namespace qxproc;

namespace {

// A picture of C bytes per pixel in one plain buffer, top row first, rows packed.
template <int C>
struct Plain {
  int32_t w = 0, h = 0;
  std::vector<uint8_t> px;
  void Resize(int32_t W, int32_t H) {
    w = W;
    h = H;
    px.assign(size_t(int64_t(W) * H * C), 0);
  }
  uint8_t* At(int32_t x, int32_t y) { return px.data() + (int64_t(y) * w + x) * C; }
  void Fill(const uint8_t* Bg) {
    for (int64_t i = 0, n = int64_t(w) * h; i < n; ++i) std::memcpy(px.data() + i * C, Bg, C);
  }
};

template <int C>
void Load(TQxBitmap* B, Plain<C>& P) {
  P.Resize(B->Width(), B->Height());
  for (int32_t y = 0; y < P.h; ++y) std::memcpy(P.At(0, y), B->Scanline(y), size_t(P.w) * C);
}

// The bitmap takes the buffer's pixels and keeps its palette and alpha channel.
template <int C>
void Store(const Plain<C>& P, TQxBitmap* B) {
  auto t = MemoryBitmap(P.w, P.h, B->PixelFormat());
  if (t->IsEmpty()) return;
  B->CopyPaletteTo(t.get());
  for (int32_t y = 0; y < P.h; ++y)
    std::memcpy(t->Scanline(y), P.px.data() + int64_t(y) * P.w * C, size_t(P.w) * C);
  B->CopyFrom(t.get());
}

// Counter-clockwise: source (x, y) goes to (y, W - 1 - x) of an H x W picture.
template <int C>
void TurnCCW(Plain<C>& P) {
  Plain<C> d;
  d.Resize(P.h, P.w);
  for (int32_t y = 0; y < P.h; ++y)
    for (int32_t x = 0; x < P.w; ++x) std::memcpy(d.At(y, P.w - 1 - x), P.At(x, y), C);
  P = std::move(d);
}

// Clockwise: source (x, y) goes to (H - 1 - y, x).
template <int C>
void TurnCW(Plain<C>& P) {
  Plain<C> d;
  d.Resize(P.h, P.w);
  for (int32_t y = 0; y < P.h; ++y)
    for (int32_t x = 0; x < P.w; ++x) std::memcpy(d.At(P.h - 1 - y, x), P.At(x, y), C);
  P = std::move(d);
}

template <int C>
inline void Blend(uint8_t* D, const uint8_t* P, const uint8_t* S, int32_t K, int32_t R) {
  for (int c = 0; c < C; ++c) D[c] = ClampByte((int32_t(P[c]) * K + int32_t(S[c]) * R + 2048) >> 12);
}

template <int C>
void TurnBitmap(TQxBitmap* Source, TQxBitmap* Dest, bool Clockwise) {
  Plain<C> p;
  Load(Source, p);
  if (Clockwise)
    TurnCW(p);
  else
    TurnCCW(p);
  if (!Dest->Allocate(p.w, p.h, Source->PixelFormat())) return;
  Source->CopyPaletteTo(Dest);
  for (int32_t y = 0; y < p.h; ++y) std::memcpy(Dest->Scanline(y), p.At(0, y), size_t(p.w) * C);
}

// The three-shear rotation: X shear by tan(a/2), Y shear by sin a, X shear by tan(a/2).
template <int C>
void ShearRotate(TQxBitmap* Bitmap, bool AntiAlias, const uint8_t* Bg, TObject* Sender,
                 const TQxProgressEvent& OnProgress, double Angle) {
  if (Angle == 0 || Bitmap->IsEmpty()) return;
  double c = double(Trunc(Angle * 1000) % 360000) / 1000.0;
  Plain<C> T;
  Load(Bitmap, T);
  bool turned = false;
  while (c > 45) {
    c -= 90;
    TurnCCW(T);
    turned = true;
  }
  while (c < -45) {
    c += 90;
    TurnCW(T);
    turned = true;
  }
  if (c == 0) {
    if (turned) Store(T, Bitmap);
    return;
  }
  const double theta = c * M_PI / 180.0;
  const double t = std::fabs(std::sin(theta / 2) / std::cos(theta / 2));
  const double s = std::fabs(std::sin(theta));
  const int32_t W = T.w, H = T.h;
  const int32_t m = int32_t(Round(H * t + W + 1));
  const int32_t d1 = int32_t(Round((m - W) * s));
  int32_t o = int32_t(Round(m * s + H + 1));
  const int32_t d2 = int32_t(Round((o - H - d1) * t));
  o = int32_t(Round(o - 2.0 * d1));
  const int32_t wF = int32_t(Round(o * t + m + 1 - 2.0 * d2));
  if (m <= 0 || o <= 0 || wF <= 0) return;
  const double factor = 100.0 / double(H + m + o);
  const bool pos = theta > 0;

  // First shear: rows of T into A (m x H).
  Plain<C> A;
  A.Resize(m, H);
  A.Fill(Bg);
  for (int32_t y = 0; y < H; ++y) {
    const double J = pos ? y * t : (H - y) * t;
    const int32_t n = int32_t(Round(J));
    if (!AntiAlias) {
      for (int32_t x = 0; x < W; ++x)
        if (n + x >= 0 && n + x < m) std::memcpy(A.At(n + x, y), T.At(x, y), C);
    } else {
      const int32_t K = int32_t(Trunc((J - n) * 4096)), R = 4096 - K;
      const uint8_t* p = Bg;
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* sp = T.At(x, y);
        if (n + x >= 0 && n + x < m) Blend<C>(A.At(n + x, y), p, sp, K, R);
        p = sp;
      }
      if (K > 0 && n + W < m && n + W >= 0) Blend<C>(A.At(n + W, y), p, Bg, K, R);
    }
    Report(OnProgress, Sender, y * factor);
  }
  T.px.clear();
  T.px.shrink_to_fit();

  // Second shear: columns of A into B (m x o).
  Plain<C> B;
  B.Resize(m, o);
  B.Fill(Bg);
  for (int32_t x = 0; x < m; ++x) {
    const double J = pos ? (m - x) * s : x * s;
    int32_t n = int32_t(Round(J));
    const int32_t K = int32_t(Round((J - n) * 4096)), R = 4096 - K;
    n -= d1;
    const uint8_t* p = Bg;
    for (int32_t y = 0; y < H; ++y) {
      const int32_t row = n + y;
      if (row < 0 || row >= o) continue;
      const uint8_t* sp = A.At(x, y);
      if (AntiAlias)
        Blend<C>(B.At(x, row), p, sp, K, R);
      else
        std::memcpy(B.At(x, row), sp, C);
      p = sp;
    }
    if (AntiAlias && K > 0 && n + H < o && n + H >= 0) Blend<C>(B.At(x, n + H), p, Bg, K, R);
    Report(OnProgress, Sender, (H + x) * factor);
  }
  A.px.clear();
  A.px.shrink_to_fit();

  // Third shear: rows of B into the result (wF x o).
  Plain<C> F;
  F.Resize(wF, o);
  F.Fill(Bg);
  for (int32_t y = 0; y < o; ++y) {
    const double J = pos ? y * t : (o - y) * t;
    int32_t n = int32_t(Round(J));
    const int32_t K = int32_t(Round((J - n) * 4096)), R = 4096 - K;
    n -= d2;
    const uint8_t* p = Bg;
    for (int32_t x = 0; x < m; ++x) {
      const int32_t col = n + x;
      if (col < 0 || col >= wF) continue;
      const uint8_t* sp = B.At(x, y);
      if (AntiAlias)
        Blend<C>(F.At(col, y), p, sp, K, R);
      else
        std::memcpy(F.At(col, y), sp, C);
      p = sp;
    }
    if (AntiAlias && K > 0 && n + m < wF && n + m >= 0) Blend<C>(F.At(n + m, y), p, Bg, K, R);
    Report(OnProgress, Sender, (H + m + y) * factor);
  }
  Store(F, Bitmap);
}

// Nearest inverse mapping with cosine and sine cut to four decimals; Put(dest row, x, source x, source y)
// is called for every destination pixel, with a source outside the picture given as -1, -1.
template <class Fn>
void NearestMap(int32_t W, int32_t H, double Angle, int32_t& W2, int32_t& H2, bool SizeOnly, Fn&& Put,
                TQxProgressInfo* Progress) {
  const double a = -Angle / 57.295779513082320877;
  const double ca = Trunc(std::cos(a) * 10000) / 10000.0;
  const double sa = Trunc(std::sin(a) * 10000) / 10000.0;
  W2 = int32_t(Trunc(std::fabs(W * ca) + std::fabs(H * sa)));
  H2 = int32_t(Trunc(std::fabs(W * sa) + std::fabs(H * ca)));
  if (SizeOnly || W2 <= 0 || H2 <= 0) return;
  std::vector<int32_t> px(W2), py(W2);
  const double hw2 = W2 / 2.0 - 0.5, hh2 = H2 / 2.0 - 0.5;
  for (int32_t k = 0; k < W2; ++k) {
    px[k] = int32_t(Trunc(ca * (k - hw2)));
    py[k] = int32_t(Trunc(-sa * (k - hw2)));
  }
  for (int32_t j = 0; j < H2; ++j) {
    const double u = j - hh2;
    const int32_t bx = int32_t(Trunc((W / 2.0 - 0.5) + sa * u));
    const int32_t by = int32_t(Trunc((H / 2.0 - 0.5) + ca * u));
    for (int32_t k = 0; k < W2; ++k) {
      const int32_t sx = bx + px[k], sy = by + py[k];
      if (sx >= 0 && sx < W && sy >= 0 && sy < H)
        Put(j, k, sx, sy);
      else
        Put(j, k, -1, -1);
    }
    if (Progress && Progress->Assigned()) Progress->Report(int32_t(Trunc(j * 100.0 / H2)));
  }
}

}  // namespace

bool QxIsRightAngle(double Angle) {
  const double i = std::trunc(Angle);
  return i == Angle && std::fmod(i, 90.0) == 0;
}

void QxTurnClockwise24(TQxBitmap* Source, TQxBitmap* Dest) { TurnBitmap<3>(Source, Dest, true); }
void QxTurnCounterClockwise24(TQxBitmap* Source, TQxBitmap* Dest) { TurnBitmap<3>(Source, Dest, false); }
void QxTurnClockwise8(TQxBitmap* Source, TQxBitmap* Dest) { TurnBitmap<1>(Source, Dest, true); }
void QxTurnCounterClockwise8(TQxBitmap* Source, TQxBitmap* Dest) { TurnBitmap<1>(Source, Dest, false); }

void QxRotateBitmap(TQxBitmap* Bitmap, uint8_t AntiAlias, TObject* Sender, const TQxProgressEvent& OnProgress,
                    uint32_t Background, double Angle) {
  if (Angle == 0) return;
  const TQxPixelFormat f = Bitmap->PixelFormat();
  if (f == TQxPixelFormat::qx1g) {
    const bool bit = (Background & 0xFF) && (Background & 0xFF00) && (Background & 0xFF0000);
    TQxProgressInfo info;
    info.OnProgress = OnProgress;
    info.Sender = Sender;
    QxRotate1Bit(Bitmap, bit, info, Angle);
    return;
  }
  if (f != TQxPixelFormat::qx24RGB) {
    // Gray, CMYK and the other formats have no shear path; they turn pixel by pixel instead of being
    // handed to the 1-bit rotation.
    QxRotateNearest(Bitmap, PackedToTColor(Background), Sender, OnProgress, Angle);
    return;
  }
  const uint8_t bg[3] = {uint8_t(Background), uint8_t(Background >> 8), uint8_t(Background >> 16)};
  ShearRotate<3>(Bitmap, AntiAlias != 0, bg, Sender, OnProgress, Angle);
}

void QxRotatePlane8(TQxBitmap* Plane, uint8_t AntiAlias, uint8_t Background, TObject* Sender,
                    const TQxProgressEvent& OnProgress, double Angle) {
  const TQxPixelFormat f = Plane->PixelFormat();
  if (f != TQxPixelFormat::qx8g && f != TQxPixelFormat::qx8p) return;
  ShearRotate<1>(Plane, AntiAlias != 0, &Background, Sender, OnProgress, Angle);
}

void QxRotate1Bit(TQxBitmap* Bitmap, bool BackgroundBit, TQxProgressInfo& Progress, double Angle) {
  if (Bitmap->PixelFormat() != TQxPixelFormat::qx1g || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  auto src = MemoryBitmap(W, H, TQxPixelFormat::qx1g);
  if (src->IsEmpty()) return;
  for (int32_t y = 0; y < H; ++y) std::memcpy(src->Scanline(y), Bitmap->Scanline(y), src->RowLen());
  std::unique_ptr<TQxBitmap> dst;
  auto rows = [&](TQxBitmap* b) {
    std::vector<uint8_t*> r(b->Height());
    for (int32_t y = 0; y < b->Height(); ++y) r[y] = b->Scanline(y);
    return r;
  };
  const std::vector<uint8_t*> s = rows(src.get());
  if (Angle == 90 || Angle == -90 || Angle == 270 || Angle == 180 || Angle == -180) {
    const bool half = Angle == 180 || Angle == -180;
    dst = MemoryBitmap(half ? W : H, half ? H : W, TQxPixelFormat::qx1g);
    if (dst->IsEmpty()) return;
    dst->Fill(0);
    const std::vector<uint8_t*> d = rows(dst.get());
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        if (!GetBit(s[y], x)) continue;
        if (half)
          SetBit(d[H - 1 - y], W - 1 - x, true);
        else if (Angle == 90)
          SetBit(d[W - 1 - x], y, true);
        else
          SetBit(d[x], H - 1 - y, true);
      }
  } else {
    int32_t W2, H2;
    NearestMap(W, H, Angle, W2, H2, true, [](int32_t, int32_t, int32_t, int32_t) {}, nullptr);
    if (W2 <= 0 || H2 <= 0) return;
    dst = MemoryBitmap(W2, H2, TQxPixelFormat::qx1g);
    if (dst->IsEmpty()) return;
    dst->Fill(0);
    const std::vector<uint8_t*> d = rows(dst.get());
    NearestMap(
        W, H, Angle, W2, H2, false,
        [&](int32_t j, int32_t k, int32_t sx, int32_t sy) {
          if (sx < 0 ? BackgroundBit : GetBit(s[sy], sx)) SetBit(d[j], k, true);
        },
        &Progress);
  }
  Bitmap->AssignFrom(dst.get());
}

void QxRotatePlane8Nearest(TQxBitmap* Plane, uint8_t Background, double Angle) {
  const TQxPixelFormat f = Plane->PixelFormat();
  if ((f != TQxPixelFormat::qx8g && f != TQxPixelFormat::qx8p) || Plane->IsEmpty()) return;
  Plain<1> s;
  Load(Plane, s);
  const int32_t W = s.w, H = s.h;
  Plain<1> d;
  if (Angle == 90 || Angle == -90 || Angle == 270 || Angle == 180 || Angle == -180) {
    d = s;
    if (Angle == 90)
      TurnCCW(d);
    else if (Angle == 180 || Angle == -180) {
      TurnCCW(d);
      TurnCCW(d);
    } else
      TurnCW(d);
  } else {
    int32_t W2, H2;
    NearestMap(W, H, Angle, W2, H2, true, [](int32_t, int32_t, int32_t, int32_t) {}, nullptr);
    if (W2 <= 0 || H2 <= 0) return;
    d.Resize(W2, H2);
    NearestMap(
        W, H, Angle, W2, H2, false,
        [&](int32_t j, int32_t k, int32_t sx, int32_t sy) { *d.At(k, j) = sx < 0 ? Background : *s.At(sx, sy); },
        nullptr);
  }
  Store(d, Plane);
}
