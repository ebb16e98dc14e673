#include "imaging/foundation/kernels/wave_rows.h"

#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The top-left sample of the square around (sx, sy), held one pixel inside the picture, and the fractions
// of the way across it (kept as they are where the square was held in). In double: single precision makes
// four equal samples of 255 blend to 254.99998, truncated to 254.
__attribute__((always_inline)) inline void Square(const TQxWaveRows& J, double sx, double sy, int64_t& X0,
                                                  int64_t& Y0, double& ffx, double& ffy) {
  const double tx = std::trunc(sx), ty = std::trunc(sy);
  X0 = int64_t(tx);
  Y0 = int64_t(ty);
  X0 = X0 > J.W - 2 ? J.W - 2 : X0;
  X0 = X0 < 0 ? 0 : X0;
  Y0 = Y0 > J.H - 2 ? J.H - 2 : Y0;
  Y0 = Y0 < 0 ? 0 : Y0;
  ffx = sx - tx;
  ffy = sy - ty;
  if (ffx < 0) ffx += 1;
  if (ffy < 0) ffy += 1;
}

// One destination pixel at (x, y), y counted from the bottom, fetched from (sx, sy).
template <bool MirrorX>
inline void Pixel(const TQxWaveRows& J, int32_t x, int32_t y, double sx, double sy) {
  const int32_t W = J.W, H = J.H;
  int64_t X0, Y0;
  double ffx, ffy;
  Square(J, sx, sy, X0, Y0, ffx, ffy);
  uint8_t* d = J.Dst[y] + int64_t(x) * 3;
  if (W >= 2 && H >= 2) {
    // Column X of a mirrored row is column W - 1 - X of the row as stored; its right neighbour lies left.
    const int64_t at = (MirrorX ? W - 1 - X0 : X0) * 3;
    constexpr int next = MirrorX ? -3 : 3;
    const uint8_t* r0 = J.Src[Y0] + at;
    const uint8_t* r1 = J.Src[Y0 + 1] + at;
    const double gx = 1 - ffx, gy = 1 - ffy;
    for (int c = 0; c < 3; ++c) {
      const double top = gx * r0[c] + ffx * r0[c + next];
      const double bottom = gx * r1[c] + ffx * r1[c + next];
      const int32_t v = int32_t(gy * top + ffy * bottom);
      d[c] = uint8_t(v > 255 ? 255 : v);
    }
    return;
  }
  // One pixel wide or high: a sample beyond the picture counts 0.
  static const uint8_t zero[3] = {0, 0, 0};
  auto at = [&](int64_t X, int64_t Y) -> const uint8_t* {
    if (X >= W || Y >= H) return zero;
    return J.Src[Y] + (MirrorX ? W - 1 - X : X) * 3;
  };
  const uint8_t *s00 = at(X0, Y0), *s10 = at(X0 + 1, Y0), *s01 = at(X0, Y0 + 1), *s11 = at(X0 + 1, Y0 + 1);
  for (int c = 0; c < 3; ++c) {
    const double top = (1 - ffx) * s00[c] + ffx * s10[c];
    const double bottom = (1 - ffx) * s01[c] + ffx * s11[c];
    const int64_t v = int64_t(std::trunc((1 - ffy) * top + ffy * bottom));
    d[c] = v < 0 ? 0 : v > 255 ? 255 : uint8_t(v);
  }
}

// Columns x and W - 1 - x lie at the same distance from the centre, as do the two rows. Positions follow
// the formula exactly: where a position falls outside the picture the result jumps at whole numbers, so a
// rearranged sum could land elsewhere.
inline void Positions(const TQxWaveRows& J, int32_t x, double dy, double& sxa, double& sxb, double& sya,
                      double& syb) {
  const double dx = J.Dxs[x];
  const double w = std::sin(std::sqrt(dx * dx + dy * dy) / J.L2 * 2 * M_PI + J.Phi);
  // One of the two factors is 1 (the longer side's), and a quotient by 1 is the number itself: its
  // divisions, the slowest steps here, are left out.
  const double fx = J.Fx, fy = J.Fy, cx = J.Cx, cy = J.Cy;
  auto ByFx = [fx](double v) { return fx == 1.0 ? v : v / fx; };
  auto ByFy = [fy](double v) { return fy == 1.0 ? v : v / fy; };
  if (!J.Reflective) {
    const double a = w * J.Amp;
    sxa = cx + ByFx(a + dx);
    sxb = cx + ByFx(a - dx);
    sya = cy + ByFy(a + dy);
    syb = cy + ByFy(a - dy);
  } else {
    const double a = std::fabs(w) * J.Amp;
    sxa = cx + ByFx(a * dx);
    sxb = cx + ByFx(a * -dx);
    sya = cy + ByFy(a * dy);
    syb = cy + ByFy(a * -dy);
  }
}

template <bool MirrorX>
void RowPair(const TQxWaveRows& J, int32_t y) {
  const int32_t y2 = J.H - 1 - y;
  const double dy = (y - J.Cy) * J.Fy;
  for (int32_t x = 0, x2 = J.W - 1; x <= x2; ++x, --x2) {
    double sxa, sxb, sya, syb;
    Positions(J, x, dy, sxa, sxb, sya, syb);
    Pixel<MirrorX>(J, x, y, sxa, sya);
    if (x2 != x) Pixel<MirrorX>(J, x2, y, sxb, sya);
    if (y2 != y) {
      Pixel<MirrorX>(J, x, y2, sxa, syb);
      if (x2 != x) Pixel<MirrorX>(J, x2, y2, sxb, syb);
    }
  }
}

#if defined(__x86_64__)
// The same pixel with its three channels side by side in one vector: the very multiplications and
// additions in the same order (no fused multiply-add), so every byte comes out as above.
__attribute__((target("avx"), always_inline)) inline __m256d Sample(const uint8_t* p) {
  const int v = int(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

template <bool MirrorX>
__attribute__((target("avx"), always_inline)) inline void PixelAvx(const TQxWaveRows& J, int32_t x, int32_t y,
                                                                    double sx, double sy) {
  const int32_t W = J.W, H = J.H;
  if (W < 2 || H < 2) {
    Pixel<MirrorX>(J, x, y, sx, sy);
    return;
  }
  int64_t X0, Y0;
  double ffx, ffy;
  Square(J, sx, sy, X0, Y0, ffx, ffy);
  const int64_t at = (MirrorX ? W - 1 - X0 : X0) * 3;
  constexpr int next = MirrorX ? -3 : 3;
  const uint8_t* r0 = J.Src[Y0] + at;
  const uint8_t* r1 = J.Src[Y0 + 1] + at;
  const __m256d gx = _mm256_set1_pd(1 - ffx), fx4 = _mm256_set1_pd(ffx);
  const __m256d gy = _mm256_set1_pd(1 - ffy), fy4 = _mm256_set1_pd(ffy);
  const __m256d top = _mm256_add_pd(_mm256_mul_pd(gx, Sample(r0)), _mm256_mul_pd(fx4, Sample(r0 + next)));
  const __m256d bottom = _mm256_add_pd(_mm256_mul_pd(gx, Sample(r1)), _mm256_mul_pd(fx4, Sample(r1 + next)));
  const __m256d v = _mm256_add_pd(_mm256_mul_pd(gy, top), _mm256_mul_pd(fy4, bottom));
  const __m128i i = _mm_min_epi32(_mm256_cvttpd_epi32(v), _mm_set1_epi32(255));
  const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(i, i), i)));
  uint8_t* d = J.Dst[y] + int64_t(x) * 3;
  d[0] = uint8_t(bytes);
  d[1] = uint8_t(bytes >> 8);
  d[2] = uint8_t(bytes >> 16);
}

template <bool MirrorX>
__attribute__((target("avx"))) void RowPairAvx(const TQxWaveRows& J, int32_t y) {
  const int32_t y2 = J.H - 1 - y;
  const double dy = (y - J.Cy) * J.Fy;
  for (int32_t x = 0, x2 = J.W - 1; x <= x2; ++x, --x2) {
    double sxa, sxb, sya, syb;
    Positions(J, x, dy, sxa, sxb, sya, syb);
    PixelAvx<MirrorX>(J, x, y, sxa, sya);
    if (x2 != x) PixelAvx<MirrorX>(J, x2, y, sxb, sya);
    if (y2 != y) {
      PixelAvx<MirrorX>(J, x, y2, sxa, syb);
      if (x2 != x) PixelAvx<MirrorX>(J, x2, y2, sxb, syb);
    }
  }
}

bool HasAvx() {
  static const bool Has = __builtin_cpu_supports("avx");
  return Has;
}
#endif

}  // namespace

TQxWaveRows QxWaveGeometry(int32_t W, int32_t H, int32_t Amplitude, int32_t WaveLength, int32_t Phase,
                           bool Reflective, bool MirrorX, std::vector<double>& Dxs) {
  TQxWaveRows J{};
  J.W = W;
  J.H = H;
  J.Cx = (W - 1) / 2.0;
  J.Cy = (H - 1) / 2.0;
  const double hw = W / 2.0, hh = H / 2.0;
  J.Fx = hw < hh ? hh / hw : 1.0;
  J.Fy = hw > hh ? hw / hh : 1.0;
  J.Phi = Phase * M_PI / 180.0;
  J.L2 = 2.0 * WaveLength;
  J.Amp = Amplitude;
  J.Reflective = Reflective;
  J.MirrorX = MirrorX;
  Dxs.resize(static_cast<size_t>(W > 0 ? W : 0));
  for (int32_t x = 0; x < W; ++x) Dxs[size_t(x)] = (x - J.Cx) * J.Fx;
  J.Dxs = Dxs.data();
  return J;
}

void QxWaveRowPairPlain(const TQxWaveRows& J, int32_t y) {
  if (J.MirrorX)
    RowPair<true>(J, y);
  else
    RowPair<false>(J, y);
}

void QxWaveRowPair(const TQxWaveRows& J, int32_t y) {
#if defined(__x86_64__)
  if (HasAvx()) {
    if (J.MirrorX)
      RowPairAvx<true>(J, y);
    else
      RowPairAvx<false>(J, y);
    return;
  }
#endif
  QxWaveRowPairPlain(J, y);
}
