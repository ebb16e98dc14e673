// The alpha row kernels give exactly what their plain loops give, at every width and offset the vector
// code splits differently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/foundation/kernels/alpha_rows.h"

// The vector row kernels against their plain formulas, on every width up to two vectors and a tail, with
// every value of a pixel, an alpha and a cut met.
TEST(AlphaRows, EqualTheirFormulas) {
  uint32_t n = 12345;
  auto Next = [&]() { return uint8_t((n = n * 1664525u + 1013904223u) >> 24); };
  for (int32_t W = 0; W <= 40; ++W) {
    for (int Round = 0; Round < 300; ++Round) {
      std::vector<uint8_t> P(static_cast<size_t>(W) * 3), A(static_cast<size_t>(W)), In(static_cast<size_t>(W)),
          Cut(static_cast<size_t>(W));
      for (auto& v : P) v = Next();
      for (auto& v : A) v = Round % 7 == 0 ? 255 : Next();
      for (auto& v : In) v = Round % 5 == 0 ? 255 : Next();
      for (auto& v : Cut) v = Next();
      const uint8_t Bg[3] = {Next(), Next(), Next()};
      std::vector<uint8_t> Want = P;
      for (int32_t x = 0; x < W; ++x)
        for (int c = 0; c < 3; ++c) {
          const int32_t p = Want[size_t(x) * 3 + c], b = Bg[c];
          Want[size_t(x) * 3 + c] = uint8_t(b + (((p - b) * A[size_t(x)]) >> 8));
        }
      QxBlendRowOntoColor(P.data(), A.data(), W, Bg);
      ASSERT_EQ(P, Want) << "width " << W;

      const uint8_t C = uint8_t(Round % 3 == 0 ? 0 : Next());
      std::vector<uint8_t> Out(static_cast<size_t>(W)), WantOut(static_cast<size_t>(W)),
          WantCols(static_cast<size_t>(W));
      uint8_t AllRow = 255, AllCols = 255, AllIn = 255;
      for (int32_t x = 0; x < W; ++x) {
        WantOut[size_t(x)] = uint8_t(std::max(0, In[size_t(x)] - C));
        WantCols[size_t(x)] = uint8_t(std::max(0, In[size_t(x)] - Cut[size_t(x)]));
        AllRow &= WantOut[size_t(x)];
        AllCols &= WantCols[size_t(x)];
        AllIn &= In[size_t(x)];
      }
      ASSERT_EQ(QxLowerRow(In.data(), Out.data(), W, C), AllRow);
      ASSERT_EQ(Out, WantOut);
      ASSERT_EQ(QxLowerRowByColumn(In.data(), Out.data(), W, Cut.data()), AllCols);
      ASSERT_EQ(Out, WantCols);
      ASSERT_EQ(QxAndOfRow(In.data(), W), AllIn);
    }
  }
}

// Two rows mixed by weights that sum to 1024, at widths around the vector code's sixteen bytes.
TEST(AlphaRows, MixRowsEqualsItsFormula) {
  uint32_t n = 777;
  auto Next = [&]() { return uint8_t((n = n * 1664525u + 1013904223u) >> 24); };
  for (size_t N : {0, 1, 15, 16, 17, 47, 100})
    for (uint32_t A : {0u, 1u, 512u, 1000u, 1024u}) {
      std::vector<uint8_t> F(N), T(N), D(N), Want(N);
      for (size_t i = 0; i < N; ++i) F[i] = Next(), T[i] = Next();
      for (size_t i = 0; i < N; ++i) Want[i] = uint8_t((F[i] * A + T[i] * (1024 - A)) >> 10);
      QxMixRows(D.data(), F.data(), T.data(), N, A, 1024 - A);
      ASSERT_EQ(D, Want) << N << " " << A;
    }
}
