// The pixel row kernels equal their plain references byte for byte at every width around the vector
// code's steps (16, 32 and 64 pixels), for every weight kind: clear, opaque and between.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/foundation/kernels/pixel_rows.h"

namespace {
uint32_t GSeed = 4242;
uint8_t Next() { return uint8_t((GSeed = GSeed * 1664525u + 1013904223u) >> 24); }
std::vector<uint8_t> Random(size_t N) {
  std::vector<uint8_t> V(N);
  for (auto& v : V) v = Next();
  return V;
}
}  // namespace

TEST(PixelRows, GrayAndBlendsEqualTheirReferences) {
  for (int32_t N : {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 130, 200}) {
    const size_t Count = static_cast<size_t>(N);
    const std::vector<uint8_t> S = Random(Count * 3 + 64);
    std::vector<uint8_t> Gray(Count + 64), Want(Count + 64);
    QxRow24To8(S.data(), Gray.data(), N);
    QxRow24To8Plain(S.data(), Want.data(), N);
    ASSERT_EQ(Gray, Want) << N;
    for (int32_t T : {255, 128, 0})
      for (bool WithAlpha : {true, false}) {
        std::vector<uint8_t> A = Random(Count + 64);
        for (size_t i = 0; i < Count; i += 5) A[i] = i % 2 ? 255 : 0;
        const std::vector<uint8_t> D = Random(Count * 3 + 64);
        std::vector<uint8_t> Got = D, Plain = D;
        QxBlendRow24(Got.data(), S.data(), WithAlpha ? A.data() : nullptr, T, N);
        QxBlendRow24Plain(Plain.data(), S.data(), WithAlpha ? A.data() : nullptr, T, N);
        ASSERT_EQ(Got, Plain) << N << " " << T;
      }
    // Bytes with their own weights, against the formula.
    const std::vector<uint8_t> A = Random(Count * 3), D = Random(Count * 3);
    std::vector<uint8_t> Got = D, Formula = D;
    QxBlendBytes(Got.data(), S.data(), A.data(), Count * 3);
    for (size_t i = 0; i < Count * 3; ++i)
      Formula[i] = uint8_t(Formula[i] + (((int32_t(S[i]) - Formula[i]) * QxBlendWeight(A[i])) >> 8));
    ASSERT_EQ(Got, Formula) << N;
  }
  EXPECT_EQ(QxBlendWeight(255), 256);
  EXPECT_EQ(QxBlendWeight(254), 254);
}
