#pragma once
// Row kernels of a view's layers drawn together: one layer over what lies below, and the box averages
// of a shrunken row. Each has a plain reference (…Plain) that the vector code must equal.

#include <cstddef>
#include <cstdint>

// D[x] = min(A[x], Op).
void QxMinRow(uint8_t* __restrict D, const uint8_t* __restrict A, uint8_t Op, int32_t N);
// A[k] += B[k].
void QxAddRow(uint32_t* __restrict A, const uint32_t* __restrict B, size_t N);

// The over operator along a row, rounded on 8-bit values: N blue-green-red pixels S, each weighted
// min(A[x], Op) (Op alone without A), over D and its alpha DA. Pixels over opaque ones divide by a
// constant, which spares the general division.
void QxOverRow(uint8_t* D, uint8_t* DA, const uint8_t* S, const uint8_t* A, int32_t Op, int32_t N);
void QxOverRowPlain(uint8_t* D, uint8_t* DA, const uint8_t* S, const uint8_t* A, int32_t Op, int32_t N);

// The average of each box Q0[i]..Q1[i] of a row of 3-byte pixels Px with their alphas Pa, per channel: the
// sum times Recip[i] (2^32 / the box's width, rounded up) shifted down by 32. Out gets four values a box.
// Narrow boxes (at most 257 pixels) are summed from running sums of the four channels packed in 16-bit
// lanes of one word, kept in Prefix (W + 1 words): a difference of two running sums is exact in every lane
// even where the running sums themselves wrapped, as long as the box's own sums fit.
void QxBoxAverages(const uint8_t* Px, const uint8_t* Pa, int32_t W, const int32_t* Q0, const int32_t* Q1,
                   const uint64_t* Recip, int32_t N, bool Narrow, uint64_t* Prefix, uint32_t* Out);
void QxBoxAveragesPlain(const uint8_t* Px, const uint8_t* Pa, int32_t W, const int32_t* Q0, const int32_t* Q1,
                        const uint64_t* Recip, int32_t N, bool Narrow, uint64_t* Prefix, uint32_t* Out);
