#include "imaging/processing/wave.h"

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "imaging/foundation/mask.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/proc_internal.h"

using namespace qxproc;

uint8_t QxBilinearByte(const uint8_t Samples[4], double SX, double SY) {
  double fx = SX - std::trunc(SX), fy = SY - std::trunc(SY);
  if (fx < 0) fx += 1;
  if (fy < 0) fy += 1;
  const double top = (1 - fx) * Samples[0] + fx * Samples[1];
  const double bottom = (1 - fx) * Samples[2] + fx * Samples[3];
  return ClampByte(Trunc((1 - fy) * top + fy * bottom));
}

namespace {

template <bool MirrorX>
struct WaveJob {
  int32_t W, H;
  double cx, cy, fx, fy, phi, L2;
  double amp;
  bool reflective;
  std::vector<const uint8_t*> src;  // bottom-up: src[y] is row H - 1 - y of the picture, mirrored with MirrorX
  std::vector<uint8_t*> dst;        // the same numbering
  std::vector<double> dxs;          // (x - cx) * fx per column

  // One destination pixel at (x, y), y counted from the bottom, fetched from (sx, sy).
  inline void Pixel(int32_t x, int32_t y, double sx, double sy) const {
    const double tx = std::trunc(sx), ty = std::trunc(sy);
    int64_t X0 = int64_t(tx), Y0 = int64_t(ty);
    X0 = X0 > W - 2 ? W - 2 : X0;
    X0 = X0 < 0 ? 0 : X0;
    Y0 = Y0 > H - 2 ? H - 2 : Y0;
    Y0 = Y0 < 0 ? 0 : Y0;
    // In double: single precision makes four equal samples of 255 blend to 254.99998, truncated to 254.
    double ffx = sx - tx, ffy = sy - ty;
    if (ffx < 0) ffx += 1;
    if (ffy < 0) ffy += 1;
    uint8_t* d = dst[y] + int64_t(x) * 3;
    if (W >= 2 && H >= 2) {
      // Column X of a mirrored row is column W - 1 - X of the row as stored; its right neighbour lies left.
      const int64_t at = (MirrorX ? W - 1 - X0 : X0) * 3;
      constexpr int next = MirrorX ? -3 : 3;
      const uint8_t* r0 = src[Y0] + at;
      const uint8_t* r1 = src[Y0 + 1] + at;
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
      return src[Y] + (MirrorX ? W - 1 - X : X) * 3;
    };
    const uint8_t *s00 = at(X0, Y0), *s10 = at(X0 + 1, Y0), *s01 = at(X0, Y0 + 1), *s11 = at(X0 + 1, Y0 + 1);
    for (int c = 0; c < 3; ++c) {
      const double top = (1 - ffx) * s00[c] + ffx * s10[c];
      const double bottom = (1 - ffx) * s01[c] + ffx * s11[c];
      d[c] = ClampByte(Trunc((1 - ffy) * top + ffy * bottom));
    }
  }

  // Rows y and H - 1 - y lie at the same distance from the centre, as do columns x and W - 1 - x, so
  // one sine serves up to four pixels. Positions follow the formula exactly: where a position falls
  // outside the picture the result jumps at whole numbers, so a rearranged sum could land elsewhere.
  inline void Positions(int32_t x, double dy, double& sxa, double& sxb, double& sya, double& syb) const {
    const double dx = dxs[x];
    const double w = std::sin(std::sqrt(dx * dx + dy * dy) / L2 * 2 * M_PI + phi);
    // One of the two factors is 1 (the longer side's), and a quotient by 1 is the number itself: its
    // divisions, the slowest steps here, are left out.
    auto ByFx = [this](double v) { return fx == 1.0 ? v : v / fx; };
    auto ByFy = [this](double v) { return fy == 1.0 ? v : v / fy; };
    if (!reflective) {
      const double a = w * amp;
      sxa = cx + ByFx(a + dx);
      sxb = cx + ByFx(a - dx);
      sya = cy + ByFy(a + dy);
      syb = cy + ByFy(a - dy);
    } else {
      const double a = std::fabs(w) * amp;
      sxa = cx + ByFx(a * dx);
      sxb = cx + ByFx(a * -dx);
      sya = cy + ByFy(a * dy);
      syb = cy + ByFy(a * -dy);
    }
  }

  void RowPair(int32_t y) const {
    const int32_t y2 = H - 1 - y;
    const double dy = (y - cy) * fy;
    for (int32_t x = 0, x2 = W - 1; x <= x2; ++x, --x2) {
      double sxa, sxb, sya, syb;
      Positions(x, dy, sxa, sxb, sya, syb);
      Pixel(x, y, sxa, sya);
      if (x2 != x) Pixel(x2, y, sxb, sya);
      if (y2 != y) {
        Pixel(x, y2, sxa, syb);
        if (x2 != x) Pixel(x2, y2, sxb, syb);
      }
    }
  }

#if defined(__x86_64__)
  // The same pixel with its three channels side by side in one vector: the very multiplications and
  // additions in the same order (no fused multiply-add), so every byte comes out as above.
  __attribute__((target("avx"), always_inline)) static inline __m256d Sample(const uint8_t* p) {
    const int v = int(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16);
    return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
  }

  __attribute__((target("avx"), always_inline)) inline void PixelAvx(int32_t x, int32_t y, double sx,
                                                                      double sy) const {
    if (W < 2 || H < 2) {
      Pixel(x, y, sx, sy);
      return;
    }
    const double tx = std::trunc(sx), ty = std::trunc(sy);
    int64_t X0 = int64_t(tx), Y0 = int64_t(ty);
    X0 = X0 > W - 2 ? W - 2 : X0;
    X0 = X0 < 0 ? 0 : X0;
    Y0 = Y0 > H - 2 ? H - 2 : Y0;
    Y0 = Y0 < 0 ? 0 : Y0;
    double ffx = sx - tx, ffy = sy - ty;
    if (ffx < 0) ffx += 1;
    if (ffy < 0) ffy += 1;
    const int64_t at = (MirrorX ? W - 1 - X0 : X0) * 3;
    constexpr int next = MirrorX ? -3 : 3;
    const uint8_t* r0 = src[Y0] + at;
    const uint8_t* r1 = src[Y0 + 1] + at;
    const __m256d gx = _mm256_set1_pd(1 - ffx), fx4 = _mm256_set1_pd(ffx);
    const __m256d gy = _mm256_set1_pd(1 - ffy), fy4 = _mm256_set1_pd(ffy);
    const __m256d top = _mm256_add_pd(_mm256_mul_pd(gx, Sample(r0)), _mm256_mul_pd(fx4, Sample(r0 + next)));
    const __m256d bottom = _mm256_add_pd(_mm256_mul_pd(gx, Sample(r1)), _mm256_mul_pd(fx4, Sample(r1 + next)));
    const __m256d v = _mm256_add_pd(_mm256_mul_pd(gy, top), _mm256_mul_pd(fy4, bottom));
    const __m128i i = _mm_min_epi32(_mm256_cvttpd_epi32(v), _mm_set1_epi32(255));
    const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(i, i), i)));
    uint8_t* d = dst[y] + int64_t(x) * 3;
    d[0] = uint8_t(bytes);
    d[1] = uint8_t(bytes >> 8);
    d[2] = uint8_t(bytes >> 16);
  }

  __attribute__((target("avx"))) void RowPairAvx(int32_t y) const {
    const int32_t y2 = H - 1 - y;
    const double dy = (y - cy) * fy;
    for (int32_t x = 0, x2 = W - 1; x <= x2; ++x, --x2) {
      double sxa, sxb, sya, syb;
      Positions(x, dy, sxa, sxb, sya, syb);
      PixelAvx(x, y, sxa, sya);
      if (x2 != x) PixelAvx(x2, y, sxb, sya);
      if (y2 != y) {
        PixelAvx(x, y2, sxa, syb);
        if (x2 != x) PixelAvx(x2, y2, sxb, syb);
      }
    }
  }
#endif
};

}  // namespace

namespace {

template <bool MirrorX>
void WaveRows(const std::vector<const uint8_t*>& Rows, TQxBitmap* Target, int32_t Amplitude, int32_t WaveLength,
              int32_t Phase, bool Reflective, TQxProgressInfo& Progress) {
  const int32_t W = Target->Width(), H = Target->Height();
  WaveJob<MirrorX> job;
  job.W = W;
  job.H = H;
  job.cx = (W - 1) / 2.0;
  job.cy = (H - 1) / 2.0;
  const double hw = W / 2.0, hh = H / 2.0;
  job.fx = hw < hh ? hh / hw : 1.0;
  job.fy = hw > hh ? hw / hh : 1.0;
  job.phi = Phase * M_PI / 180.0;
  job.L2 = 2.0 * WaveLength;
  job.amp = Amplitude;
  job.reflective = Reflective;
  job.dxs.resize(W);
  for (int32_t x = 0; x < W; ++x) job.dxs[x] = (x - job.cx) * job.fx;
  job.src.resize(H);
  job.dst.resize(H);
  for (int32_t y = 0; y < H; ++y) {
    job.src[y] = Rows[size_t(H - 1 - y)];
    job.dst[y] = Target->Scanline(H - 1 - y);
  }

  const int32_t pairs = (H + 1) / 2;
  const double factor = 100.0 / H;
  constexpr int32_t kChunk = 8;
#if defined(__x86_64__)
  static const bool avx = __builtin_cpu_supports("avx");
#endif
  std::atomic<int32_t> next{0};
  std::atomic<int64_t> rowsDone{0};
  auto work = [&](bool report) {
    int32_t last = -1;
    for (;;) {
      const int32_t start = next.fetch_add(kChunk);
      if (start >= pairs) break;
      const int32_t end = std::min(pairs, start + kChunk);
      for (int32_t y = start; y < end; ++y) {
#if defined(__x86_64__)
        if (avx) {
          job.RowPairAvx(y);
          continue;
        }
#endif
        job.RowPair(y);
      }
      int64_t done = rowsDone.fetch_add(int64_t(end - start) * 2) + int64_t(end - start) * 2;
      if (report && Progress.Assigned()) {
        const int32_t per = int32_t(Trunc(std::min<int64_t>(done, H) * factor));
        if (per != last && per < 100) {
          last = per;
          Progress.Report(per);
        }
      }
    }
  };
  const int64_t pixels = int64_t(W) * H;
  unsigned n = pixels >= 65536 ? std::max(1u, std::thread::hardware_concurrency()) : 1u;
  n = std::min<unsigned>(n, unsigned(std::max(1, pairs / kChunk)));
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < n; ++i) threads.emplace_back(work, false);
  work(true);
  for (auto& t : threads) t.join();
}

}  // namespace

void QxWaveBitmap(TQxBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
                  TQxProgressInfo& Progress) {
  if (Amplitude == 0 || WaveLength == 0) return;
  if (Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  auto S = MemoryBitmap(W, H, TQxPixelFormat::qx24RGB);
  if (S->IsEmpty()) return;
  for (int32_t r = 0; r < H; ++r) std::memcpy(S->Scanline(r), Bitmap->Scanline(r), size_t(W) * 3);
  // The result goes straight into a picture kept in one memory block; otherwise into a scratch copy.
  std::unique_ptr<TQxBitmap> D;
  TQxBitmap* target = Bitmap;
  if (Bitmap->Location() != TQxLocation::qxMemory || Bitmap->FragmentCount() != 0) {
    D = MemoryBitmap(W, H, TQxPixelFormat::qx24RGB);
    if (D->IsEmpty()) return;
    target = D.get();
  }
  std::vector<const uint8_t*> rows(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) rows[size_t(y)] = S->Scanline(y);
  WaveRows<false>(rows, target, Amplitude, WaveLength, Phase, Reflective, Progress);
  if (D) Bitmap->CopyFrom(D.get());
}

bool QxWaveFromRows(const std::vector<const uint8_t*>& Rows, bool MirrorX, TQxBitmap* Dest, int32_t Amplitude,
                    int32_t WaveLength, int32_t Phase, bool Reflective, TQxProgressInfo& Progress) {
  if (Amplitude == 0 || WaveLength == 0) return false;
  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB || Dest->IsEmpty() || Dest->MapsRows()) return false;
  if (Rows.size() != size_t(Dest->Height())) return false;
  if (MirrorX)
    WaveRows<true>(Rows, Dest, Amplitude, WaveLength, Phase, Reflective, Progress);
  else
    WaveRows<false>(Rows, Dest, Amplitude, WaveLength, Phase, Reflective, Progress);
  return true;
}

void TQuillotProc::Wave(int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective) {
  int32_t x1, y1, x2, y2;
  TQxBitmap* work = nullptr;
  TQxMask* mask = nullptr;
  if (!BeginSelectionWork({TQxPixelFormat::qx24RGB}, x1, y1, x2, y2, "Wave", work, mask)) return;
  TQxProgressInfo info;
  info.OnProgress = OnProgress;
  info.Sender = this;
  QxWaveBitmap(work, Amplitude, WaveLength, Phase, Reflective, info);
  EndSelectionWork(work, mask);
  DoFinishWork();
}
