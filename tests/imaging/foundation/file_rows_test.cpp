// The file row kernels against their plain references and against values worked out here, at every width
// around the sixteen-pixel steps of the vector code and at every offset of the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/foundation/kernels/file_rows.h"

namespace {

uint32_t GSeed = 7;
uint8_t Next() { return uint8_t((GSeed = GSeed * 1664525u + 1013904223u) >> 24); }

}  // namespace

TEST(FileRows, BgrAlphaToRgbaReordersEveryPixel) {
  for (int32_t N : {0, 1, 15, 16, 17, 31, 32, 33, 64, 101})
    for (int32_t Offset : {0, 1, 3}) {
      const size_t Count = size_t(N);
      std::vector<uint8_t> Bgr(Count * 3 + 3), A(Count + 3);
      for (auto& v : Bgr) v = Next();
      for (auto& v : A) v = Next();
      const uint8_t* S = Bgr.data() + Offset;
      const uint8_t* Al = A.data() + Offset;
      // One byte past the row on each side shows a write out of place.
      std::vector<uint8_t> Out(Count * 4 + 2, 0xA5), Plain(Count * 4 + 2, 0xA5);
      QxBgrAlphaToRgba(S, Al, Out.data() + 1, N);
      QxBgrAlphaToRgbaPlain(S, Al, Plain.data() + 1, N);
      EXPECT_EQ(Out, Plain) << N << " pixels at " << Offset;
      for (size_t x = 0; x < Count; ++x) {
        const uint8_t Want[4] = {S[x * 3 + 2], S[x * 3 + 1], S[x * 3], Al[x]};
        for (int k = 0; k < 4; ++k) ASSERT_EQ(Out[1 + x * 4 + size_t(k)], Want[k]) << N << " pixel " << x;
      }
      EXPECT_EQ(Out.front(), 0xA5);
      EXPECT_EQ(Out.back(), 0xA5);
    }
}

TEST(FileRows, RowRangeFindsTheSmallestAndLargest) {
  // Rows all opaque, all clear and random, with one odd value at every place a vector step can hold it.
  for (int32_t N : {0, 1, 15, 16, 17, 33, 64, 70})
    for (int Kind = 0; Kind < 3; ++Kind)
      for (int32_t Odd = -1; Odd < N; ++Odd) {
        std::vector<uint8_t> A(static_cast<size_t>(N));
        for (auto& v : A) v = Kind == 0 ? 255 : (Kind == 1 ? 0 : uint8_t(1 + Next() % 254));
        if (Odd >= 0) A[size_t(Odd)] = Kind == 1 ? 9 : 0;
        uint8_t Lo = 1, Hi = 1, PlainLo = 2, PlainHi = 2;
        QxRowRange(A.data(), N, Lo, Hi);
        QxRowRangePlain(A.data(), N, PlainLo, PlainHi);
        uint8_t WantLo = 255, WantHi = 0;
        for (uint8_t v : A) WantLo = std::min(WantLo, v), WantHi = std::max(WantHi, v);
        ASSERT_EQ(Lo, WantLo) << N << " " << Kind << " " << Odd;
        ASSERT_EQ(Hi, WantHi) << N << " " << Kind << " " << Odd;
        ASSERT_EQ(PlainLo, WantLo);
        ASSERT_EQ(PlainHi, WantHi);
      }
}
