#include "imaging/foundation/kernels/layer_rows.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// Over operator on 8-bit values, rounded: the screen needs no more.
inline void OverPixel(uint8_t* D, uint8_t& DA, const uint8_t* S, int32_t SA) {
  if (SA == 255 || DA == 0) {
    D[0] = S[0];
    D[1] = S[1];
    D[2] = S[2];
    DA = uint8_t(SA);
    return;
  }
  const int32_t a1 = DA, k = a1 * (255 - SA);  // weight of what lies below, times 255
  const int32_t outA255 = SA * 255 + k;         // result alpha times 255
  for (int c = 0; c < 3; ++c) D[c] = uint8_t((S[c] * SA * 255 + D[c] * k + outA255 / 2) / outA255);
  DA = uint8_t((outA255 + 127) / 255);
}


#if defined(__x86_64__) || defined(__i386__)
// OverRow sixteen pixels at a time where every pixel of a step is left alone (weight 0) or replaced
// (weight 255, or nothing below it), as over the transparent part of a picture, or where every pixel
// below is opaque. Returns the pixels done; a step with any other pixel stops, for the general rule.
__attribute__((target("sse4.1"))) int32_t OverRowSse41(uint8_t* D, uint8_t* DA, const uint8_t* S,
                                                            const uint8_t* A, int32_t Op, int32_t N) {
  const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  const __m128i op = _mm_set1_epi8(char(Op)), zero = _mm_setzero_si128(), full = _mm_set1_epi8(-1);
  int32_t x = 0;
  for (; x + 16 <= N; x += 16) {
    const __m128i a = A ? _mm_min_epu8(op, _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + x))) : op;
    const __m128i da = _mm_loadu_si128(reinterpret_cast<const __m128i*>(DA + x));
    const __m128i none = _mm_cmpeq_epi8(a, zero);
    const __m128i copy =
        _mm_andnot_si128(none, _mm_or_si128(_mm_cmpeq_epi8(a, full), _mm_cmpeq_epi8(da, zero)));
    uint8_t* d = D + size_t(x) * 3;
    const uint8_t* s = S + size_t(x) * 3;
    const __m128i spread[3] = {spread0, spread1, spread2};
    if (_mm_movemask_epi8(_mm_or_si128(none, copy)) != 0xFFFF) {
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(da, full)) != 0xFFFF) break;
      // Over opaque pixels OverPixel is (S * a + D * (255 - a) + 127) / 255 in every case (a = 0 and
      // a = 255 included), the alpha stays 255, and the sum fits 16 bits; x / 255 is
      // (x + 1 + (x >> 8)) >> 8 for every x it can be.
      const __m128i k127 = _mm_set1_epi16(127), k255 = _mm_set1_epi16(255), one = _mm_set1_epi16(1);
      auto over = [&](__m128i vd, __m128i vs, __m128i w) {
        const __m128i t = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(vs, w), _mm_mullo_epi16(vd, _mm_sub_epi16(k255, w))),
                                        k127);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, one), _mm_srli_epi16(t, 8)), 8);
      };
      for (int k = 0; k < 3; ++k) {
        const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16 * k));
        const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
        const __m128i w = _mm_shuffle_epi8(a, spread[k]);
        const __m128i lo = over(_mm_unpacklo_epi8(vd, zero), _mm_unpacklo_epi8(vs, zero), _mm_unpacklo_epi8(w, zero));
        const __m128i hi = over(_mm_unpackhi_epi8(vd, zero), _mm_unpackhi_epi8(vs, zero), _mm_unpackhi_epi8(w, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * k), _mm_packus_epi16(lo, hi));
      }
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(DA + x), _mm_blendv_epi8(da, a, copy));
    for (int k = 0; k < 3; ++k) {
      const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 16 * k));
      const __m128i vs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * k));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16 * k), _mm_blendv_epi8(vd, vs, _mm_shuffle_epi8(copy, spread[k])));
    }
  }
  return x;
}
#endif

// OverPixel along a row (see QxOverRow); with Vector, runs of sixteen pixels go through the vector code.
void OverRowWith(bool Vector, uint8_t* D, uint8_t* DA, const uint8_t* S, const uint8_t* A, int32_t Op, int32_t N) {
  // An empty row may come with no storage at all, which memcpy must not be given.
  if (N <= 0) return;
  if (!A && Op == 255) {
    std::memcpy(D, S, size_t(N) * 3);
    std::memset(DA, 255, size_t(N));
    return;
  }
  for (int32_t x = 0; x < N; ++x) {
#if defined(__x86_64__) || defined(__i386__)
    if (Vector && (x & 15) == 0 && x + 16 <= N) {
      const int32_t done = OverRowSse41(D + size_t(x) * 3, DA + x, S + size_t(x) * 3, A ? A + x : nullptr, Op, N - x);
      x += done;
      if (x >= N) break;
    }
#endif
    const int32_t a = A ? std::min<int32_t>(A[x], Op) : Op;
    if (a == 0) continue;
    uint8_t* d = D + size_t(x) * 3;
    const uint8_t* s = S + size_t(x) * 3;
    const int32_t da = DA[x];
    if (da == 255 && a != 255) {
      // OverPixel with a1 = 255: the result alpha is 255 * 255 and stays 255.
      const int32_t k = 255 * (255 - a), w = a * 255;
      d[0] = uint8_t((s[0] * w + d[0] * k + 32512) / 65025);
      d[1] = uint8_t((s[1] * w + d[1] * k + 32512) / 65025);
      d[2] = uint8_t((s[2] * w + d[2] * k + 32512) / 65025);
      continue;
    }
    OverPixel(d, DA[x], s, a);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The packed running sums four pixels a step: each pixel's bytes and alpha spread to four 16-bit lanes,
// then summed across the four 64-bit lanes and onto the sum so far. Returns the pixels done; the loads
// stop 4 bytes short of the row's end.
__attribute__((target("avx2"))) int32_t PackedRunningSumsAvx2(const uint8_t* Px, const uint8_t* Pa, int32_t W,
                                                              uint64_t* Prefix, uint64_t& Run) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alphaTo = _mm_setr_epi8(-1, -1, -1, 0, -1, -1, -1, 1, -1, -1, -1, 2, -1, -1, -1, 3);
  __m256i run = _mm256_set1_epi64x(int64_t(Run));
  int32_t k = 0;
  for (; k + 6 <= W; k += 4) {
    const __m128i bgr = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(Px + 3 * size_t(k))), spread);
    int32_t a4;
    std::memcpy(&a4, Pa + k, 4);
    const __m128i bgra = _mm_or_si128(bgr, _mm_shuffle_epi8(_mm_cvtsi32_si128(a4), alphaTo));
    __m256i v = _mm256_cvtepu8_epi16(bgra);  // four pixels, one per 64-bit lane
    // In-register running sum over the lanes: add the lane before, then the lanes two before.
    v = _mm256_add_epi64(v, _mm256_blend_epi32(_mm256_permute4x64_epi64(v, 0x90), _mm256_setzero_si256(), 0x03));
    v = _mm256_add_epi64(v, _mm256_blend_epi32(_mm256_permute4x64_epi64(v, 0x40), _mm256_setzero_si256(), 0x0F));
    v = _mm256_add_epi64(v, run);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Prefix + k + 1), v);
    run = _mm256_permute4x64_epi64(v, 0xFF);
  }
  Run = uint64_t(_mm256_extract_epi64(run, 0));
  return k;
}

// The box averages from the running sums, a box a step: the four lanes of its sum widened to 64 bits,
// times the box's reciprocal, shifted down. Boxes whose reciprocal needs 33 bits (one pixel wide) are
// left to the caller; returns the boxes done.
__attribute__((target("avx2"))) int32_t BoxAveragesFromSumsAvx2(const uint64_t* Prefix, const int32_t* Q0,
                                                                const int32_t* Q1, const uint64_t* Recip, int32_t N,
                                                                uint32_t* Out) {
  const __m256i pick = _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0);
  int32_t i = 0;
  for (; i < N && Recip[i] <= 0xFFFFFFFFu; ++i) {
    const uint64_t sum = Prefix[Q1[i] + 1] - Prefix[Q0[i]];
    const __m256i lanes = _mm256_cvtepu16_epi64(_mm_cvtsi64_si128(int64_t(sum)));
    const __m256i avg = _mm256_srli_epi64(_mm256_mul_epu32(lanes, _mm256_set1_epi64x(int64_t(Recip[i]))), 32);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + size_t(i) * 4),
                     _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(avg, pick)));
  }
  return i;
}
#endif

void BoxAveragesWith(bool Vector, const uint8_t* Px, const uint8_t* Pa, int32_t W, const int32_t* Q0,
                     const int32_t* Q1, const uint64_t* Recip, int32_t N, bool Narrow, uint64_t* Prefix,
                     uint32_t* Out) {
  if (Narrow) {
    uint64_t run = 0;
    Prefix[0] = 0;
    int32_t k0 = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (Vector) k0 = PackedRunningSumsAvx2(Px, Pa, W, Prefix, run);
#endif
    for (int32_t k = k0; k < W; ++k) {
      const uint8_t* p = Px + size_t(k) * 3;
      run += uint64_t(p[0]) | uint64_t(p[1]) << 16 | uint64_t(p[2]) << 32 | uint64_t(Pa[k]) << 48;
      Prefix[k + 1] = run;
    }
    int32_t i0 = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (Vector) i0 = BoxAveragesFromSumsAvx2(Prefix, Q0, Q1, Recip, N, Out);
#endif
    for (int32_t i = i0; i < N; ++i) {
      const uint64_t sum = Prefix[Q1[i] + 1] - Prefix[Q0[i]];
      const uint64_t m = Recip[i];
      uint32_t* o = Out + size_t(i) * 4;
      o[0] = uint32_t(((sum & 0xFFFF) * m) >> 32);
      o[1] = uint32_t((((sum >> 16) & 0xFFFF) * m) >> 32);
      o[2] = uint32_t((((sum >> 32) & 0xFFFF) * m) >> 32);
      o[3] = uint32_t(((sum >> 48) * m) >> 32);
    }
    return;
  }
  for (int32_t i = 0; i < N; ++i) {
    uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int32_t k = Q0[i]; k <= Q1[i]; ++k) {
      s0 += Px[3 * k];
      s1 += Px[3 * k + 1];
      s2 += Px[3 * k + 2];
      s3 += Pa[k];
    }
    const uint64_t m = Recip[i];
    uint32_t* o = Out + size_t(i) * 4;
    o[0] = uint32_t((s0 * m) >> 32);
    o[1] = uint32_t((s1 * m) >> 32);
    o[2] = uint32_t((s2 * m) >> 32);
    o[3] = uint32_t((s3 * m) >> 32);
  }
}

#if defined(__x86_64__) || defined(__i386__)
bool HasSse41() {
  static const bool Has = __builtin_cpu_supports("sse4.1");
  return Has;
}
bool HasAvx2() {
  static const bool Has = __builtin_cpu_supports("avx2");
  return Has;
}
#else
bool HasSse41() { return false; }
bool HasAvx2() { return false; }
#endif

}  // namespace

void QxMinRow(uint8_t* __restrict D, const uint8_t* __restrict A, uint8_t Op, int32_t N) {
  int32_t x = 0;
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__)
  const __m128i V = _mm_set1_epi8(char(Op));
  for (; x + 16 <= N; x += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D + x),
                     _mm_min_epu8(V, _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + x))));
#endif
  for (; x < N; ++x) D[x] = std::min(A[x], Op);
}

void QxOverRow(uint8_t* D, uint8_t* DA, const uint8_t* S, const uint8_t* A, int32_t Op, int32_t N) {
  OverRowWith(HasSse41(), D, DA, S, A, Op, N);
}

void QxOverRowPlain(uint8_t* D, uint8_t* DA, const uint8_t* S, const uint8_t* A, int32_t Op, int32_t N) {
  OverRowWith(false, D, DA, S, A, Op, N);
}

void QxAddRow(uint32_t* __restrict A, const uint32_t* __restrict B, size_t N) {
  for (size_t k = 0; k < N; ++k) A[k] += B[k];
}

void QxBoxAverages(const uint8_t* Px, const uint8_t* Pa, int32_t W, const int32_t* Q0, const int32_t* Q1,
                   const uint64_t* Recip, int32_t N, bool Narrow, uint64_t* Prefix, uint32_t* Out) {
  BoxAveragesWith(HasAvx2(), Px, Pa, W, Q0, Q1, Recip, N, Narrow, Prefix, Out);
}

void QxBoxAveragesPlain(const uint8_t* Px, const uint8_t* Pa, int32_t W, const int32_t* Q0, const int32_t* Q1,
                        const uint64_t* Recip, int32_t N, bool Narrow, uint64_t* Prefix, uint32_t* Out) {
  BoxAveragesWith(false, Px, Pa, W, Q0, Q1, Recip, N, Narrow, Prefix, Out);
}
