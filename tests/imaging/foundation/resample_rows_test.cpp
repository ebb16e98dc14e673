// The resampler's row kernels against sums worked out in the test, with the vector code and the plain
// reference on the same rows: lists of contributors of odd and even lengths (the vector road takes them
// two at a time), empty ones, weights past 16 bits, sums that clamp, and rows starting at odd addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/foundation/kernels/resample_rows.h"

namespace {

uint32_t GSeed = 2024;
uint32_t Next() { return GSeed = GSeed * 1664525u + 1013904223u; }

struct Lists {
  std::vector<int32_t> Start{0}, Offset, Weight, Total;
};

// Count destination pixels over a source of Width pixels, each with 0 .. 7 contributors.
Lists MakeLists(int32_t Width, int32_t Count, bool Wide) {
  Lists L;
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t K = Width == 0 ? 0 : int32_t(Next() >> 29);
    int32_t Sum = 0;
    for (int32_t k = 0; k < K; ++k) {
      L.Offset.push_back(int32_t((Next() >> 8) % uint32_t(Width)) * 3);
      // Negative lobes, ordinary weights, and (Wide) some past what 16 bits hold.
      int32_t W = int32_t((Next() >> 16) % 600) - 200;
      if (Wide && k == 1) W = 40000;
      L.Weight.push_back(W);
      Sum += W;
    }
    L.Total.push_back(i % 5 == 0 ? 0 : std::max(Sum, 1));
    L.Start.push_back(int32_t(L.Offset.size()));
  }
  return L;
}

}  // namespace

TEST(ResampleRows, ContributedRowsEqualTheirSums) {
  for (int32_t Width : {0, 1, 2, 7, 33})
    for (int32_t Count : {0, 1, 2, 3, 15, 64})
      for (bool Wide : {false, true})
        for (size_t Skew : {0u, 1u, 3u}) {
          if (Width == 0 && Count > 0) continue;
          const Lists L = MakeLists(Width, Count, Wide);
          // The row with exactly the one byte to spare the vector road reads, at an odd address.
          std::vector<uint8_t> Row(Skew + size_t(Width) * 3 + 1);
          for (auto& v : Row) v = uint8_t(Next() >> 24);
          const uint8_t* S = Row.data() + Skew;
          const TQxRowContributors C{L.Start.data(), L.Offset.data(), L.Weight.data(), L.Total.data(), Count, !Wide};
          std::vector<uint8_t> Want(size_t(Count) * 3);
          for (int32_t i = 0; i < Count; ++i)
            for (int c = 0; c < 3; ++c) {
              int64_t Sum = 0;
              for (int32_t e = L.Start[size_t(i)]; e < L.Start[size_t(i) + 1]; ++e)
                Sum += int64_t(L.Weight[size_t(e)]) * S[L.Offset[size_t(e)] + c];
              const int64_t T = L.Total[size_t(i)] == 0 ? 256 : L.Total[size_t(i)];
              Want[size_t(i) * 3 + c] = uint8_t(std::clamp<int64_t>(Sum / T, 0, 255));
            }
          std::vector<uint8_t> Got(Skew + Want.size()), Plain(Want.size());
          QxContributeRow24(S, C, Got.data() + Skew);
          QxContributeRow24Plain(S, C, Plain.data());
          const std::vector<uint8_t> GotRow(Got.begin() + std::ptrdiff_t(Skew), Got.end());
          ASSERT_EQ(GotRow, Want) << "width " << Width << " count " << Count << " wide " << Wide << " skew " << Skew;
          ASSERT_EQ(Plain, Want) << "width " << Width << " count " << Count << " wide " << Wide;
        }
}

TEST(ResampleRows, AccumulatedRowsEqualTheirSums) {
  for (int32_t N : {0, 1, 7, 8, 9, 15, 31, 33, 100})
    for (int32_t W : {-300, 0, 1, 256, 32767})
      for (size_t Skew : {0u, 1u, 3u}) {
        std::vector<uint8_t> Src(Skew + size_t(N));
        std::vector<int32_t> Acc(Skew + size_t(N));
        for (auto& v : Src) v = uint8_t(Next() >> 24);
        for (auto& v : Acc) v = int32_t(Next() >> 12) - (1 << 19);
        std::vector<int32_t> Want(Acc.begin() + std::ptrdiff_t(Skew), Acc.end()), Plain = Want;
        for (int32_t x = 0; x < N; ++x) Want[size_t(x)] += W * Src[Skew + size_t(x)];
        QxAccumulateRow(Acc.data() + Skew, Src.data() + Skew, W, N);
        QxAccumulateRowPlain(Plain.data(), Src.data() + Skew, W, N);
        const std::vector<int32_t> Got(Acc.begin() + std::ptrdiff_t(Skew), Acc.end());
        ASSERT_EQ(Got, Want) << "n " << N << " w " << W << " skew " << Skew;
        ASSERT_EQ(Plain, Want) << "n " << N << " w " << W;
      }
}
