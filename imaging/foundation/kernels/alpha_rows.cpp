#include "imaging/foundation/kernels/alpha_rows.h"

#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QX_ROWS_X86 1
#endif

namespace {

#if defined(QX_ROWS_X86) && defined(__SSE2__)
uint8_t AndOfVector(__m128i All) {
  All = _mm_and_si128(All, _mm_srli_si128(All, 8));
  All = _mm_and_si128(All, _mm_srli_si128(All, 4));
  All = _mm_and_si128(All, _mm_srli_si128(All, 2));
  All = _mm_and_si128(All, _mm_srli_si128(All, 1));
  return uint8_t(_mm_cvtsi128_si32(All) & 0xFF);
}
#endif

inline uint8_t Lower(uint8_t V, uint8_t Cut) { return V > Cut ? uint8_t(V - Cut) : uint8_t(0); }

inline uint8_t BlendByte(uint8_t P, uint8_t B, uint8_t A) {
  // Arithmetic shift floors towards minus infinity, also for negative differences.
  return uint8_t(int32_t(B) + (((int32_t(P) - int32_t(B)) * int32_t(A)) >> 8));
}

void BlendPlain(uint8_t* P, const uint8_t* A, int32_t W, const uint8_t Bg[3]) {
  for (int32_t x = 0; x < W; ++x, P += 3)
    for (int c = 0; c < 3; ++c) P[c] = BlendByte(P[c], Bg[c], A[x]);
}

#if defined(QX_ROWS_X86)
// Sixteen bytes at once: the difference from the background is taken by its size and sign, so that the
// products fit 16-bit lanes; a negative one rounds away from 0, which is the floor of the signed value.
__attribute__((target("ssse3"))) inline __m128i Blend16(__m128i P, __m128i B, __m128i A) {
  const __m128i Zero = _mm_setzero_si128();
  const __m128i Up = _mm_max_epu8(P, B);
  const __m128i Above = _mm_cmpeq_epi8(Up, P);  // p >= bg
  const __m128i D = _mm_or_si128(_mm_subs_epu8(P, B), _mm_subs_epu8(B, P));
  const __m128i R255 = _mm_set1_epi16(255);
  auto Half = [&](__m128i D16, __m128i A16, __m128i& UpPart, __m128i& DownPart) {
    const __m128i Prod = _mm_mullo_epi16(D16, A16);
    UpPart = _mm_srli_epi16(Prod, 8);
    DownPart = _mm_srli_epi16(_mm_add_epi16(Prod, R255), 8);
  };
  __m128i UpLo, DownLo, UpHi, DownHi;
  Half(_mm_unpacklo_epi8(D, Zero), _mm_unpacklo_epi8(A, Zero), UpLo, DownLo);
  Half(_mm_unpackhi_epi8(D, Zero), _mm_unpackhi_epi8(A, Zero), UpHi, DownHi);
  const __m128i Plus = _mm_add_epi8(B, _mm_packus_epi16(UpLo, UpHi));
  const __m128i Minus = _mm_sub_epi8(B, _mm_packus_epi16(DownLo, DownHi));
  return _mm_or_si128(_mm_and_si128(Above, Plus), _mm_andnot_si128(Above, Minus));
}

__attribute__((target("ssse3"))) void BlendSsse3(uint8_t* P, const uint8_t* A, int32_t W, const uint8_t Bg[3]) {
  // Sixteen pixels are 48 bytes: three vectors, each with its own spread of the alpha values and its own
  // phase of the background's three bytes.
  const __m128i S0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i S1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i S2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  alignas(16) uint8_t Pattern[48];
  for (int i = 0; i < 48; ++i) Pattern[i] = Bg[i % 3];
  const __m128i B0 = _mm_load_si128(reinterpret_cast<const __m128i*>(Pattern));
  const __m128i B1 = _mm_load_si128(reinterpret_cast<const __m128i*>(Pattern + 16));
  const __m128i B2 = _mm_load_si128(reinterpret_cast<const __m128i*>(Pattern + 32));
  int32_t x = 0;
  for (; x + 16 <= W; x += 16) {
    const __m128i Alpha = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + x));
    __m128i* Q = reinterpret_cast<__m128i*>(P + size_t(x) * 3);
    _mm_storeu_si128(Q, Blend16(_mm_loadu_si128(Q), B0, _mm_shuffle_epi8(Alpha, S0)));
    _mm_storeu_si128(Q + 1, Blend16(_mm_loadu_si128(Q + 1), B1, _mm_shuffle_epi8(Alpha, S1)));
    _mm_storeu_si128(Q + 2, Blend16(_mm_loadu_si128(Q + 2), B2, _mm_shuffle_epi8(Alpha, S2)));
  }
  BlendPlain(P + size_t(x) * 3, A + x, W - x, Bg);
}

bool HasSsse3() {
  static const bool Has = __builtin_cpu_supports("ssse3");
  return Has;
}
#endif

}  // namespace

uint8_t QxLowerRow(const uint8_t* In, uint8_t* Out, int32_t W, uint8_t Cut) {
  int32_t x = 0;
  uint8_t All = 255;
#if defined(QX_ROWS_X86) && defined(__SSE2__)
  const __m128i C = _mm_set1_epi8(char(Cut));
  __m128i Acc = _mm_set1_epi8(char(0xFF));
  for (; x + 16 <= W; x += 16) {
    const __m128i V = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(In + x)), C);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + x), V);
    Acc = _mm_and_si128(Acc, V);
  }
  All = AndOfVector(Acc);
#endif
  for (; x < W; ++x) {
    Out[x] = Lower(In[x], Cut);
    All &= Out[x];
  }
  return All;
}

uint8_t QxLowerRowByColumn(const uint8_t* In, uint8_t* Out, int32_t W, const uint8_t* Cut) {
  int32_t x = 0;
  uint8_t All = 255;
#if defined(QX_ROWS_X86) && defined(__SSE2__)
  __m128i Acc = _mm_set1_epi8(char(0xFF));
  for (; x + 16 <= W; x += 16) {
    const __m128i V = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(In + x)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(Cut + x)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + x), V);
    Acc = _mm_and_si128(Acc, V);
  }
  All = AndOfVector(Acc);
#endif
  for (; x < W; ++x) {
    Out[x] = Lower(In[x], Cut[x]);
    All &= Out[x];
  }
  return All;
}

uint8_t QxAndOfRow(const uint8_t* In, int32_t W) {
  int32_t x = 0;
  uint8_t All = 255;
#if defined(QX_ROWS_X86) && defined(__SSE2__)
  __m128i Acc = _mm_set1_epi8(char(0xFF));
  for (; x + 16 <= W; x += 16) Acc = _mm_and_si128(Acc, _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + x)));
  All = AndOfVector(Acc);
#endif
  for (; x < W; ++x) All &= In[x];
  return All;
}

void QxBlendRowOntoColor(uint8_t* P, const uint8_t* A, int32_t W, const uint8_t Bg[3]) {
#if defined(QX_ROWS_X86)
  if (HasSsse3()) {
    BlendSsse3(P, A, W, Bg);
    return;
  }
#endif
  BlendPlain(P, A, W, Bg);
}

void QxMixRows(uint8_t* D, const uint8_t* F, const uint8_t* T, size_t N, uint32_t A, uint32_t B) {
  size_t I = 0;
#if defined(QX_ROWS_X86) && defined(__SSE2__)
  const __m128i Weights = _mm_set1_epi32(static_cast<int32_t>(A | (B << 16)));
  const __m128i Zero = _mm_setzero_si128();
  for (; I + 16 <= N; I += 16) {
    const __m128i Fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(F + I));
    const __m128i Tv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(T + I));
    const __m128i F0 = _mm_unpacklo_epi8(Fv, Zero), F1 = _mm_unpackhi_epi8(Fv, Zero);
    const __m128i T0 = _mm_unpacklo_epi8(Tv, Zero), T1 = _mm_unpackhi_epi8(Tv, Zero);
    // Pairs (F, T) against (A, B): one multiply-add gives F * A + T * B in 32 bits.
    const __m128i R0 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(F0, T0), Weights), 10);
    const __m128i R1 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(F0, T0), Weights), 10);
    const __m128i R2 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(F1, T1), Weights), 10);
    const __m128i R3 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(F1, T1), Weights), 10);
    const __m128i Lo = _mm_packs_epi32(R0, R1), Hi = _mm_packs_epi32(R2, R3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(D + I), _mm_packus_epi16(Lo, Hi));
  }
#endif
  for (; I < N; ++I) D[I] = static_cast<uint8_t>((F[I] * A + T[I] * B) >> 10);
}
