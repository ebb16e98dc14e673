#include "imaging/foundation/kernels/file_rows.h"

#include <algorithm>
#include <cstddef>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QX_FILE_ROWS_X86 1
#endif

void QxRowRangePlain(const uint8_t* A, int32_t N, uint8_t& Min, uint8_t& Max) {
  uint8_t Lo = 255, Hi = 0;
  for (int32_t x = 0; x < N; ++x) {
    Lo = std::min(Lo, A[x]);
    Hi = std::max(Hi, A[x]);
  }
  Min = Lo;
  Max = Hi;
}

void QxBgrAlphaToRgbaPlain(const uint8_t* Bgr, const uint8_t* A, uint8_t* Rgba, int32_t N) {
  for (int32_t x = 0; x < N; ++x, Bgr += 3, Rgba += 4) {
    Rgba[0] = Bgr[2];
    Rgba[1] = Bgr[1];
    Rgba[2] = Bgr[0];
    Rgba[3] = A[x];
  }
}

#if defined(QX_FILE_ROWS_X86) && defined(__SSE2__)

void QxRowRange(const uint8_t* A, int32_t N, uint8_t& Min, uint8_t& Max) {
  __m128i Lo = _mm_set1_epi8(char(0xFF)), Hi = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 16 <= N; x += 16) {
    const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + x));
    Lo = _mm_min_epu8(Lo, V);
    Hi = _mm_max_epu8(Hi, V);
  }
  alignas(16) uint8_t L[16], H[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(L), Lo);
  _mm_store_si128(reinterpret_cast<__m128i*>(H), Hi);
  uint8_t TailLo = 255, TailHi = 0;
  QxRowRangePlain(A + x, N - x, TailLo, TailHi);
  Min = std::min(TailLo, *std::min_element(L, L + 16));
  Max = std::max(TailHi, *std::max_element(H, H + 16));
}

namespace {

// Sixteen pixels a step: 48 colour bytes and 16 alpha bytes become 64 bytes.
__attribute__((target("ssse3"))) int32_t BgrAlphaToRgbaSsse3(const uint8_t* Bgr, const uint8_t* A, uint8_t* Rgba,
                                                             int32_t N) {
  // Four pixels of three bytes, reversed into the first twelve of every four bytes; the fourth is left clear
  // for the alpha byte.
  const __m128i Shuffle = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
  // The alpha bytes of four pixels into the fourth byte of each.
  const __m128i Spread[4] = {_mm_setr_epi8(-1, -1, -1, 0, -1, -1, -1, 1, -1, -1, -1, 2, -1, -1, -1, 3),
                             _mm_setr_epi8(-1, -1, -1, 4, -1, -1, -1, 5, -1, -1, -1, 6, -1, -1, -1, 7),
                             _mm_setr_epi8(-1, -1, -1, 8, -1, -1, -1, 9, -1, -1, -1, 10, -1, -1, -1, 11),
                             _mm_setr_epi8(-1, -1, -1, 12, -1, -1, -1, 13, -1, -1, -1, 14, -1, -1, -1, 15)};
  int32_t x = 0;
  // The last step reads 48 colour bytes from pixel x, so it stops where those bytes stop.
  for (; x + 16 <= N; x += 16) {
    const uint8_t* S = Bgr + size_t(x) * 3;
    const __m128i C0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S));
    const __m128i C1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 16));
    const __m128i C2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + 32));
    const __m128i Al = _mm_loadu_si128(reinterpret_cast<const __m128i*>(A + x));
    // Pixels 0-3 start at byte 0, 4-7 at 12, 8-11 at 24, 12-15 at 36.
    const __m128i P0 = C0;
    const __m128i P1 = _mm_alignr_epi8(C1, C0, 12);
    const __m128i P2 = _mm_alignr_epi8(C2, C1, 8);
    const __m128i P3 = _mm_srli_si128(C2, 4);
    const __m128i Px[4] = {P0, P1, P2, P3};
    uint8_t* D = Rgba + size_t(x) * 4;
    for (int k = 0; k < 4; ++k)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(D + 16 * k),
                       _mm_or_si128(_mm_shuffle_epi8(Px[k], Shuffle), _mm_shuffle_epi8(Al, Spread[k])));
  }
  return x;
}

bool HasSsse3() {
  static const bool Has = __builtin_cpu_supports("ssse3");
  return Has;
}

}  // namespace

void QxBgrAlphaToRgba(const uint8_t* Bgr, const uint8_t* A, uint8_t* Rgba, int32_t N) {
  const int32_t Done = HasSsse3() ? BgrAlphaToRgbaSsse3(Bgr, A, Rgba, N) : 0;
  QxBgrAlphaToRgbaPlain(Bgr + size_t(Done) * 3, A + Done, Rgba + size_t(Done) * 4, N - Done);
}

#else

void QxRowRange(const uint8_t* A, int32_t N, uint8_t& Min, uint8_t& Max) { QxRowRangePlain(A, N, Min, Max); }
void QxBgrAlphaToRgba(const uint8_t* Bgr, const uint8_t* A, uint8_t* Rgba, int32_t N) {
  QxBgrAlphaToRgbaPlain(Bgr, A, Rgba, N);
}

#endif
