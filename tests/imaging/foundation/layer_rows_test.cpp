// The layer row kernels against the over operator and box averages worked out in the test, with the
// vector code and the plain reference on the same rows: runs the vector code takes whole (clear, opaque,
// over opaque pixels) and runs it must hand back, at every width around its sixteen-pixel steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/foundation/kernels/layer_rows.h"

namespace {

uint32_t GSeed = 99;
uint8_t Next() { return uint8_t((GSeed = GSeed * 1664525u + 1013904223u) >> 24); }

// One pixel over another: the rounded over operator on 8-bit values.
void Over(uint8_t* D, uint8_t& DA, const uint8_t* S, int32_t A) {
  if (A == 0) return;
  if (A == 255 || DA == 0) {
    std::copy(S, S + 3, D);
    DA = uint8_t(A);
    return;
  }
  const int32_t k = DA * (255 - A), out = A * 255 + k;
  for (int c = 0; c < 3; ++c) D[c] = uint8_t((S[c] * A * 255 + D[c] * k + out / 2) / out);
  DA = uint8_t((out + 127) / 255);
}

}  // namespace

TEST(LayerRows, OverRowEqualsTheOverOperator) {
  // Alpha runs: random, all clear, all opaque, and random over an opaque destination.
  for (int Kind = 0; Kind < 4; ++Kind)
    for (int32_t N : {0, 1, 15, 16, 17, 31, 32, 33, 48, 70})
      for (int32_t Op : {255, 200, 0}) {
        const size_t Count = static_cast<size_t>(N);
        std::vector<uint8_t> S(Count * 3), A(Count), D(Count * 3), DA(Count);
        for (auto& v : S) v = Next();
        for (auto& v : D) v = Next();
        for (int32_t x = 0; x < N; ++x) {
          A[size_t(x)] = Kind == 1 ? 0 : Kind == 2 ? 255 : (x % 9 == 0 ? 0 : x % 7 == 0 ? 255 : Next());
          DA[size_t(x)] = Kind == 3 ? 255 : (x % 5 == 0 ? 0 : Next());
        }
        for (bool WithAlpha : {true, false}) {
          std::vector<uint8_t> WantD = D, WantA = DA;
          for (int32_t x = 0; x < N; ++x)
            Over(&WantD[size_t(x) * 3], WantA[size_t(x)], &S[size_t(x) * 3],
                 WithAlpha ? std::min<int32_t>(A[size_t(x)], Op) : Op);
          std::vector<uint8_t> GotD = D, GotA = DA, PlainD = D, PlainA = DA;
          const uint8_t* Alpha = WithAlpha ? A.data() : nullptr;
          QxOverRow(GotD.data(), GotA.data(), S.data(), Alpha, Op, N);
          QxOverRowPlain(PlainD.data(), PlainA.data(), S.data(), Alpha, Op, N);
          ASSERT_EQ(GotD, WantD) << "kind " << Kind << " width " << N << " op " << Op;
          ASSERT_EQ(GotA, WantA) << "kind " << Kind << " width " << N << " op " << Op;
          ASSERT_EQ(PlainD, WantD);
          ASSERT_EQ(PlainA, WantA);
        }
      }
}

TEST(LayerRows, BoxAveragesEqualTheirSums) {
  for (int32_t W : {1, 5, 7, 64, 257, 300}) {
    std::vector<uint8_t> Px(size_t(W) * 3 + 16), Pa(size_t(W) + 16);
    for (auto& v : Px) v = Next();
    for (auto& v : Pa) v = Next();
    // Boxes of every width up to the row's, one pixel wide included (its reciprocal needs 33 bits).
    std::vector<int32_t> Q0, Q1;
    std::vector<uint64_t> Recip;
    for (int32_t i = 0; i < W; i += 3) {
      const int32_t Last = std::min(W - 1, i + (i % 4 == 0 ? 0 : i % 11));
      Q0.push_back(i);
      Q1.push_back(Last);
      const uint64_t Width = uint64_t(Last - i + 1);
      Recip.push_back(((uint64_t(1) << 32) + Width - 1) / Width);
    }
    const int32_t N = int32_t(Q0.size());
    std::vector<uint32_t> Want(size_t(N) * 4);
    for (int32_t i = 0; i < N; ++i)
      for (int c = 0; c < 4; ++c) {
        uint64_t Sum = 0;
        for (int32_t k = Q0[size_t(i)]; k <= Q1[size_t(i)]; ++k) Sum += c < 3 ? Px[size_t(k) * 3 + c] : Pa[size_t(k)];
        Want[size_t(i) * 4 + c] = uint32_t((Sum * Recip[size_t(i)]) >> 32);
      }
    std::vector<uint64_t> Prefix(size_t(W) + 1);
    for (bool Narrow : {true, false}) {
      if (Narrow && W > 257) continue;
      std::vector<uint32_t> Got(Want.size()), Plain(Want.size());
      QxBoxAverages(Px.data(), Pa.data(), W, Q0.data(), Q1.data(), Recip.data(), N, Narrow, Prefix.data(), Got.data());
      QxBoxAveragesPlain(Px.data(), Pa.data(), W, Q0.data(), Q1.data(), Recip.data(), N, Narrow, Prefix.data(),
                         Plain.data());
      ASSERT_EQ(Got, Want) << "width " << W << " narrow " << Narrow;
      ASSERT_EQ(Plain, Want) << "width " << W << " narrow " << Narrow;
    }
  }
}

TEST(LayerRows, MinRowLimitsEveryValueByTheOpacity) {
  for (int32_t N : {0, 1, 15, 16, 17, 40})
    for (int32_t Op : {0, 1, 128, 255}) {
      std::vector<uint8_t> A(static_cast<size_t>(N)), D(static_cast<size_t>(N) + 1, 0xA5);
      for (auto& v : A) v = Next();
      QxMinRow(D.data(), A.data(), uint8_t(Op), N);
      for (int32_t x = 0; x < N; ++x) ASSERT_EQ(D[size_t(x)], std::min<int32_t>(A[size_t(x)], Op)) << N << " " << x;
      EXPECT_EQ(D.back(), 0xA5);
    }
}
