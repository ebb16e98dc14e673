#include "imaging/foundation/kernels/cell_rows.h"

#include <algorithm>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void QxCellLumaRowPlain(uint16_t (*Cells)[4], int32_t N, int32_t* Histogram) {
  for (int32_t i = 0; i < N; ++i) {
    uint16_t* p = Cells[i];
    const double x0 = p[0], x1 = p[1], x2 = p[2];
    p[3] = uint16_t(std::min(std::sqrt(x0 * x0 + x1 * x1 + x2 * x2) / 2, 65535.0));
    ++Histogram[p[3] >> 3];
  }
}

void QxCellLumaRow(uint16_t (*Cells)[4], int32_t N, int32_t* Histogram) {
  int32_t i = 0;
#ifdef __SSE2__
  // Two cells at a time, the same double arithmetic (a half times is exactly a division by 2).
  const __m128d half = _mm_set1_pd(0.5), top = _mm_set1_pd(65535.0);
  for (; i + 1 < N; i += 2) {
    uint16_t* p = Cells[i];
    uint16_t* q = Cells[i + 1];
    const __m128d x0 = _mm_set_pd(q[0], p[0]), x1 = _mm_set_pd(q[1], p[1]), x2 = _mm_set_pd(q[2], p[2]);
    const __m128d s = _mm_add_pd(_mm_add_pd(_mm_mul_pd(x0, x0), _mm_mul_pd(x1, x1)), _mm_mul_pd(x2, x2));
    const __m128i l = _mm_cvttpd_epi32(_mm_min_pd(_mm_mul_pd(_mm_sqrt_pd(s), half), top));
    p[3] = uint16_t(_mm_cvtsi128_si32(l));
    q[3] = uint16_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(l, 1)));
    ++Histogram[p[3] >> 3];
    ++Histogram[q[3] >> 3];
  }
#endif
  QxCellLumaRowPlain(Cells + i, N - i, Histogram);
}
