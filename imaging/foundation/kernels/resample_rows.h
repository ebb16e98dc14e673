#pragma once
// Row kernels of the two-pass resampler: a row weighed through its lists of contributors (the horizontal
// pass), and a row added into sums by one weight (the vertical pass). Vector code where the processor has
// it; each equals its plain reference (…Plain) exactly.

#include <cstdint>

// The contributors of each destination pixel i of a row: entries Start[i] .. Start[i + 1] - 1 read the
// source pixel at byte Offset[e] with weight Weight[e], and the sum is divided by Total[i] (256 where that
// is 0), clamped to 0 .. 255. ShortWeights says every weight fits 16 bits, which the vector road needs.
struct TQxRowContributors {
  const int32_t* Start;
  const int32_t* Offset;
  const int32_t* Weight;
  const int32_t* Total;
  int32_t Count;
  bool ShortWeights;
};

// One row of blue-green-red pixels S into Count pixels D. The vector road reads each pixel as four bytes:
// one byte past S's last pixel must be readable (the plain one needs none).
void QxContributeRow24(const uint8_t* S, const TQxRowContributors& C, uint8_t* D);
void QxContributeRow24Plain(const uint8_t* S, const TQxRowContributors& C, uint8_t* D);

// Acc[x] += W * S[x] for N values.
void QxAccumulateRow(int32_t* __restrict Acc, const uint8_t* __restrict S, int32_t W, int32_t N);
void QxAccumulateRowPlain(int32_t* Acc, const uint8_t* S, int32_t W, int32_t N);
