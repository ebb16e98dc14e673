#include "imaging/foundation/kernels/pixel_rows.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/utils.h"

namespace {

// 24-bit rows to gray with the default weights: (R*21 + G*71 + B*8) div 100 equals
// ((R*21 + G*71 + B*8) * 5243) >> 19 for every byte triple, and the sum fits in 16 bits.
void Row24To8DefaultScalar(const uint8_t* __restrict s, uint8_t* __restrict d, int32_t w) {
  for (int32_t x = 0; x < w; ++x)
    d[x] = uint8_t(((s[3 * x + 2] * 21u + s[3 * x + 1] * 71u + s[3 * x] * 8u) * 5243u) >> 19);
}

__attribute__((target("ssse3"))) void Row24To8DefaultSsse3(const uint8_t* __restrict s, uint8_t* __restrict d,
                                                           int32_t w) {
  const __m128i bA = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i bB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
  const __m128i bC = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
  const __m128i gA = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i gB = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
  const __m128i gC = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
  const __m128i rA = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i rB = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
  const __m128i rC = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
  const __m128i zero = _mm_setzero_si128();
  const __m128i k21 = _mm_set1_epi16(21), k71 = _mm_set1_epi16(71), k8 = _mm_set1_epi16(8);
  const __m128i kDiv = _mm_set1_epi16(5243);
  int32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const uint8_t* p = s + 3 * x;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i B = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, bA), _mm_shuffle_epi8(b, bB)), _mm_shuffle_epi8(c, bC));
    const __m128i G = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, gA), _mm_shuffle_epi8(b, gB)), _mm_shuffle_epi8(c, gC));
    const __m128i R = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, rA), _mm_shuffle_epi8(b, rB)), _mm_shuffle_epi8(c, rC));
    auto half = [&](__m128i r, __m128i g, __m128i bl) {
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(r, k21), _mm_mullo_epi16(g, k71)),
                                        _mm_mullo_epi16(bl, k8));
      return _mm_srli_epi16(_mm_mulhi_epu16(sum, kDiv), 3);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(R, zero), _mm_unpacklo_epi8(G, zero), _mm_unpacklo_epi8(B, zero));
    const __m128i hi = half(_mm_unpackhi_epi8(R, zero), _mm_unpackhi_epi8(G, zero), _mm_unpackhi_epi8(B, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
  }
  Row24To8DefaultScalar(s + 3 * x, d + x, w - x);
}

#define QV_BOTH(lo, hi) _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1)
#define QV_MASK(...) QV_BOTH(_mm_setr_epi8(__VA_ARGS__), _mm_setr_epi8(__VA_ARGS__))
#define QV_LOAD(p, off) \
  QV_BOTH(_mm_loadu_si128(reinterpret_cast<const __m128i*>((p) + (off))), \
          _mm_loadu_si128(reinterpret_cast<const __m128i*>((p) + 48 + (off))))
#define QV_GRAY16(r, g, bl)                                                                                  \
  _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(r, k21),         \
                                                                         _mm256_mullo_epi16(g, k71)),        \
                                                        _mm256_mullo_epi16(bl, k8)),                         \
                                       kDiv),                                                                \
                    3)

__attribute__((target("avx2"))) void Row24To8DefaultAvx2(const uint8_t* __restrict s, uint8_t* __restrict d,
                                                         int32_t w) {
  // Two groups of 16 pixels per step, one in each 128-bit lane, with the same shuffles as above.
  const __m256i bA = QV_MASK(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i bB = QV_MASK(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
  const __m256i bC = QV_MASK(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
  const __m256i gA = QV_MASK(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i gB = QV_MASK(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
  const __m256i gC = QV_MASK(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
  const __m256i rA = QV_MASK(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i rB = QV_MASK(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
  const __m256i rC = QV_MASK(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i k21 = _mm256_set1_epi16(21), k71 = _mm256_set1_epi16(71), k8 = _mm256_set1_epi16(8);
  const __m256i kDiv = _mm256_set1_epi16(5243);
  int32_t x = 0;
  for (; x + 32 <= w; x += 32) {
    const uint8_t* p = s + 3 * x;
    const __m256i a = QV_LOAD(p, 0), b = QV_LOAD(p, 16), c = QV_LOAD(p, 32);
    const __m256i B = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, bA), _mm256_shuffle_epi8(b, bB)),
                                      _mm256_shuffle_epi8(c, bC));
    const __m256i G = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, gA), _mm256_shuffle_epi8(b, gB)),
                                      _mm256_shuffle_epi8(c, gC));
    const __m256i R = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, rA), _mm256_shuffle_epi8(b, rB)),
                                      _mm256_shuffle_epi8(c, rC));
    const __m256i lo = QV_GRAY16(_mm256_unpacklo_epi8(R, zero), _mm256_unpacklo_epi8(G, zero), _mm256_unpacklo_epi8(B, zero));
    const __m256i hi = QV_GRAY16(_mm256_unpackhi_epi8(R, zero), _mm256_unpackhi_epi8(G, zero), _mm256_unpackhi_epi8(B, zero));
    // Each lane packs its own sixteen pixels in order, so the two groups land one after the other.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), _mm256_packus_epi16(lo, hi));
  }
  Row24To8DefaultSsse3(s + 3 * x, d + x, w - x);
}
#undef QV_GRAY16
#undef QV_LOAD
#undef QV_MASK
#undef QV_BOTH

void Row24To8Default(const uint8_t* s, uint8_t* d, int32_t w) {
  static const int level = __builtin_cpu_supports("avx2") ? 2 : __builtin_cpu_supports("ssse3") ? 1 : 0;
  if (level == 2)
    Row24To8DefaultAvx2(s, d, w);
  else if (level == 1)
    Row24To8DefaultSsse3(s, d, w);
  else
    Row24To8DefaultScalar(s, d, w);
}

}  // namespace

void QxRow24To8(const uint8_t* s, uint8_t* d, int32_t w) {
  const int32_t wr = QxGrayWeightRed, wg = QxGrayWeightGreen, wb = QxGrayWeightBlue;
  if (wr == 21 && wg == 71 && wb == 8) {
    Row24To8Default(s, d, w);
    return;
  }
  QxRow24To8Plain(s, d, w);
}

void QxRow24To8Plain(const uint8_t* s, uint8_t* d, int32_t w) {
  const int32_t wr = QxGrayWeightRed, wg = QxGrayWeightGreen, wb = QxGrayWeightBlue;
  for (int32_t x = 0; x < w; ++x, s += 3) d[x] = uint8_t((s[2] * wr + s[1] * wg + s[0] * wb) / 100);
}

namespace {

// Bit order of a byte reversed: movemask puts pixel 0 in bit 0, rows want it in bit 7.
struct ReverseTable {
  uint8_t t[256];
  constexpr ReverseTable() : t() {
    for (int i = 0; i < 256; ++i) {
      int r = 0;
      for (int b = 0; b < 8; ++b)
        if (i & (1 << b)) r |= 0x80 >> b;
      t[i] = uint8_t(r);
    }
  }
};
constexpr ReverseTable kReverse;

}  // namespace

// Ordered dither of one 24-bit row: bit x is set when M[x mod 8][y mod 8] < gray div 4.
void QxRow24To1Ordered(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, uint8_t* gray) {
  QxRow24To8(s, gray, w);
  uint8_t thr[16];
  for (int i = 0; i < 16; ++i) thr[i] = QxDitherMatrix[i & 7][y & 7];
  const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(thr));
  const __m128i low6 = _mm_set1_epi8(0x3F);
  int32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(gray + x));
    const __m128i level = _mm_and_si128(_mm_srli_epi16(g, 2), low6);
    const uint32_t m = uint32_t(_mm_movemask_epi8(_mm_cmpgt_epi8(level, t)));
    d[x >> 3] = kReverse.t[m & 0xFF];
    d[(x >> 3) + 1] = kReverse.t[m >> 8];
  }
  for (; x < w; x += 8) {
    uint32_t byte = 0;
    for (int i = 0; i < 8 && x + i < w; ++i) byte |= uint32_t(thr[i] < (gray[x + i] >> 2)) << (7 - i);
    d[x >> 3] = uint8_t(byte);
  }
}

namespace {

#if defined(__SSE2__)
// d + (s - d) * a >> 8 for 16 bytes, each with its own a. The floor of that equals
// (d * (256 - a) + s * a) >> 8, whose terms never pass 255 * 256 and so fit unsigned 16-bit lanes.
inline __m128i Blend16(__m128i vd, __m128i vs, __m128i va) {
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(256), one = _mm_set1_epi16(1);
  __m128i res[2];
  for (int h = 0; h < 2; ++h) {
    __m128i al = h ? _mm_unpackhi_epi8(va, zero) : _mm_unpacklo_epi8(va, zero);
    al = _mm_add_epi16(al, _mm_srli_epi16(_mm_add_epi16(al, one), 8));  // 255 -> 256
    const __m128i dd = h ? _mm_unpackhi_epi8(vd, zero) : _mm_unpacklo_epi8(vd, zero);
    const __m128i ss = h ? _mm_unpackhi_epi8(vs, zero) : _mm_unpacklo_epi8(vs, zero);
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(dd, _mm_sub_epi16(full, al)), _mm_mullo_epi16(ss, al));
    res[h] = _mm_srli_epi16(sum, 8);
  }
  return _mm_packus_epi16(res[0], res[1]);
}
#endif

}  // namespace

void QxBlendBytes(uint8_t* d, const uint8_t* s, const uint8_t* a, size_t N) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= N; i += 16) {
    const __m128i r = Blend16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), r);
  }
#endif
  for (; i < N; ++i) d[i] = uint8_t(d[i] + (((int32_t(s[i]) - d[i]) * QxBlendWeight(a[i])) >> 8));
}

namespace {

// The pixels from x on, one by one.
void BlendRow24From(int32_t x, uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T, int32_t N) {
  for (; x < N; ++x)
    for (int k = 0; k < 3; ++k) {
      const int32_t w = QxBlendWeight(a ? std::min<int32_t>(T, a[x]) : T);
      uint8_t& dp = d[3 * x + k];
      dp = uint8_t(dp + (((int32_t(s[3 * x + k]) - dp) * w) >> 8));
    }
}

#if defined(__x86_64__) || defined(__i386__)
// QxBlendRow24 with the weights spread over the pixels' three bytes by byte shuffles, 16 pixels a step.
__attribute__((target("ssse3"))) int32_t BlendRow24Ssse3(uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T,
                                                          int32_t N) {
  const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  const __m128i vt = _mm_set1_epi8(char(T));
  int32_t x = 0;
  for (; x + 16 <= N; x += 16) {
    const __m128i w = a ? _mm_min_epu8(vt, _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x))) : vt;
    uint8_t* dp = d + 3 * x;
    const uint8_t* sp = s + 3 * x;
    const __m128i spread[3] = {spread0, spread1, spread2};
    for (int k = 0; k < 3; ++k) {
      const __m128i r = Blend16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(dp + 16 * k)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(sp + 16 * k)),
                                _mm_shuffle_epi8(w, spread[k]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dp + 16 * k), r);
    }
  }
  return x;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// Blend16 on 32 bytes.
__attribute__((target("avx2"))) inline __m256i Blend32(__m256i vd, __m256i vs, __m256i va) {
  const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi16(256), one = _mm256_set1_epi16(1);
  __m256i alo = _mm256_unpacklo_epi8(va, zero), ahi = _mm256_unpackhi_epi8(va, zero);
  alo = _mm256_add_epi16(alo, _mm256_srli_epi16(_mm256_add_epi16(alo, one), 8));  // 255 -> 256
  ahi = _mm256_add_epi16(ahi, _mm256_srli_epi16(_mm256_add_epi16(ahi, one), 8));
  const __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(vd, zero), _mm256_sub_epi16(full, alo)),
                                      _mm256_mullo_epi16(_mm256_unpacklo_epi8(vs, zero), alo));
  const __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(vd, zero), _mm256_sub_epi16(full, ahi)),
                                      _mm256_mullo_epi16(_mm256_unpackhi_epi8(vs, zero), ahi));
  return _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8));
}

// BlendRow24Ssse3 32 pixels a step. Each 128-bit half of the three 32-byte blocks takes its weights from
// the first or the second sixteen pixels' weights with one of the three spreads.
__attribute__((target("avx2"))) int32_t BlendRow24Avx2(uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T,
                                                        int32_t N) {
  const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  const __m256i s01 = _mm256_setr_m128i(spread0, spread1), s20 = _mm256_setr_m128i(spread2, spread0),
                s12 = _mm256_setr_m128i(spread1, spread2);
  const __m128i vt = _mm_set1_epi8(char(T));
  int32_t x = 0;
  for (; x + 32 <= N; x += 32) {
    const __m128i w0 = a ? _mm_min_epu8(vt, _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x))) : vt;
    const __m128i w1 = a ? _mm_min_epu8(vt, _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x + 16))) : vt;
    const __m256i weights[3] = {_mm256_shuffle_epi8(_mm256_setr_m128i(w0, w0), s01),
                                _mm256_shuffle_epi8(_mm256_setr_m128i(w0, w1), s20),
                                _mm256_shuffle_epi8(_mm256_setr_m128i(w1, w1), s12)};
    uint8_t* dp = d + 3 * x;
    const uint8_t* sp = s + 3 * x;
    for (int k = 0; k < 3; ++k) {
      const __m256i r = Blend32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(dp + 32 * k)),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sp + 32 * k)), weights[k]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dp + 32 * k), r);
    }
  }
  return x;
}
#endif

#if defined(__x86_64__) || defined(__i386__)
// BlendRow24Avx2's arithmetic 64 pixels a step: each pixel's weight goes to its three bytes with one byte
// permutation per 64 bytes, and the even and odd bytes are weighed in 16-bit lanes in place, without
// unpacking: (d << 8) + (s - d) * w wraps in 16 bits to d * (256 - w) + s * w, which is below 65536.
__attribute__((target("avx512bw,avx512vbmi"))) int32_t BlendRow24Avx512(uint8_t* d, const uint8_t* s,
                                                                          const uint8_t* a, int32_t T, int32_t N) {
  alignas(64) static const auto spreads = [] {
    std::array<uint8_t, 192> t{};
    for (int i = 0; i < 192; ++i) t[size_t(i)] = uint8_t(i / 3);
    return t;
  }();
  const __m512i spread[3] = {_mm512_load_si512(spreads.data()), _mm512_load_si512(spreads.data() + 64),
                             _mm512_load_si512(spreads.data() + 128)};
  const __m512i vt = _mm512_set1_epi8(char(T)), low = _mm512_set1_epi16(0x00FF), one = _mm512_set1_epi16(1);
  int32_t x = 0;
  for (; x + 64 <= N; x += 64) {
    const __m512i w = a ? _mm512_min_epu8(vt, _mm512_loadu_si512(a + x)) : vt;
    uint8_t* dp = d + 3 * x;
    const uint8_t* sp = s + 3 * x;
    for (int k = 0; k < 3; ++k) {
      const __m512i vw = _mm512_permutexvar_epi8(spread[k], w);
      const __m512i vd = _mm512_loadu_si512(dp + 64 * k), vs = _mm512_loadu_si512(sp + 64 * k);
      const __m512i de = _mm512_and_si512(vd, low), se = _mm512_and_si512(vs, low);
      const __m512i dodd = _mm512_srli_epi16(vd, 8), sodd = _mm512_srli_epi16(vs, 8);
      __m512i we = _mm512_and_si512(vw, low), wodd = _mm512_srli_epi16(vw, 8);
      we = _mm512_add_epi16(we, _mm512_srli_epi16(_mm512_add_epi16(we, one), 8));  // 255 -> 256
      wodd = _mm512_add_epi16(wodd, _mm512_srli_epi16(_mm512_add_epi16(wodd, one), 8));
      const __m512i even =
          _mm512_add_epi16(_mm512_slli_epi16(de, 8), _mm512_mullo_epi16(_mm512_sub_epi16(se, de), we));
      const __m512i odd =
          _mm512_add_epi16(_mm512_andnot_si512(low, vd), _mm512_mullo_epi16(_mm512_sub_epi16(sodd, dodd), wodd));
      // even >> 8 in the low bytes, odd's high bytes as they are: A | (~B & C) with B the low-byte mask.
      _mm512_storeu_si512(dp + 64 * k, _mm512_ternarylogic_epi64(_mm512_srli_epi16(even, 8), low, odd, 0xF2));
    }
  }
  return x;
}
#endif

}  // namespace

void QxBlendRow24Plain(uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T, int32_t N) {
  BlendRow24From(0, d, s, a, T, N);
}

void QxBlendRow24(uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T, int32_t N) {
  int32_t x = 0;
#if defined(__x86_64__) || defined(__i386__)
  static const bool avx512 = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  static const bool avx2 = __builtin_cpu_supports("avx2");
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (avx512) x = BlendRow24Avx512(d, s, a, T, N);
  if (avx2 && x + 32 <= N) x += BlendRow24Avx2(d + 3 * x, s + 3 * x, a ? a + x : nullptr, T, N - x);
  if (ssse3 && x < N) x += BlendRow24Ssse3(d + 3 * x, s + 3 * x, a ? a + x : nullptr, T, N - x);
#endif
  BlendRow24From(x, d, s, a, T, N);
}
