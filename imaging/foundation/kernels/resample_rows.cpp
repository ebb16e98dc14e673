#include "imaging/foundation/kernels/resample_rows.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QX_RESAMPLE_X86 1
#endif

namespace {

inline uint8_t ClampDiv(int32_t Sum, int32_t Total) {
  const int32_t v = Sum / Total;
  return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

#if defined(QX_RESAMPLE_X86)
// Two contributors at a time: the two pixels' bytes are interleaved and multiplied with their weights in
// one step. The integer sums equal the plain ones.
__attribute__((target("sse4.1"))) void ContributeRow24Sse41(const uint8_t* S, const TQxRowContributors& C,
                                                            uint8_t* D) {
  const int32_t* const start = C.Start;
  const int32_t* const off = C.Offset;
  const int32_t* const weight = C.Weight;
  const int32_t* const total = C.Total;
  const __m128i zero = _mm_setzero_si128();
  for (int32_t i = 0; i < C.Count; ++i) {
    int32_t e = start[i];
    const int32_t e1 = start[i + 1];
    __m128i acc = zero;
    for (; e + 1 < e1; e += 2) {
      uint32_t p0, p1;
      std::memcpy(&p0, S + off[e], 4);
      std::memcpy(&p1, S + off[e + 1], 4);
      const __m128i px = _mm_cvtepu8_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p0)), _mm_cvtsi32_si128(int(p1))));
      const __m128i wt = _mm_set1_epi32(int32_t(uint32_t(uint16_t(weight[e])) | uint32_t(weight[e + 1]) << 16));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(px, wt));
    }
    int32_t sum[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sum), acc);
    if (e < e1) {
      const uint8_t* p = S + off[e];
      const int32_t w = weight[e];
      sum[0] += w * p[0];
      sum[1] += w * p[1];
      sum[2] += w * p[2];
    }
    int32_t t = total[i];
    if (t == 0) t = 256;
    D[3 * i] = ClampDiv(sum[0], t);
    D[3 * i + 1] = ClampDiv(sum[1], t);
    D[3 * i + 2] = ClampDiv(sum[2], t);
  }
}

bool HasSse41() {
  static const bool Has = __builtin_cpu_supports("sse4.1");
  return Has;
}
#endif

}  // namespace

void QxContributeRow24Plain(const uint8_t* S, const TQxRowContributors& C, uint8_t* D) {
  for (int32_t i = 0; i < C.Count; ++i) {
    int32_t sum[3] = {};
    for (int32_t e = C.Start[i]; e < C.Start[i + 1]; ++e) {
      const uint8_t* p = S + C.Offset[e];
      for (int c = 0; c < 3; ++c) sum[c] += C.Weight[e] * p[c];
    }
    const int32_t t = C.Total[i] == 0 ? 256 : C.Total[i];
    for (int c = 0; c < 3; ++c) D[3 * i + c] = ClampDiv(sum[c], t);
  }
}

void QxContributeRow24(const uint8_t* S, const TQxRowContributors& C, uint8_t* D) {
#if defined(QX_RESAMPLE_X86)
  if (C.ShortWeights && HasSse41()) {
    ContributeRow24Sse41(S, C, D);
    return;
  }
#endif
  QxContributeRow24Plain(S, C, D);
}

void QxAccumulateRowPlain(int32_t* Acc, const uint8_t* S, int32_t W, int32_t N) {
  for (int32_t x = 0; x < N; ++x) Acc[x] += W * S[x];
}

// The plain loop, which the compiler vectorises for the widest vectors the processor has.
#if defined(QX_RESAMPLE_X86)
__attribute__((target_clones("avx2", "default")))
#endif
void QxAccumulateRow(int32_t* __restrict Acc, const uint8_t* __restrict S, int32_t W, int32_t N) {
  for (int32_t x = 0; x < N; ++x) Acc[x] += W * S[x];
}
