// The camera-raw cells' luminance kernel: the vector code (two cells at a time) and the plain reference
// on rows of every length around the pair, starting on odd cells, with the extremes of 16-bit values.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "imaging/foundation/kernels/cell_rows.h"

TEST(CellRows, LumaEqualsItsReferenceAndItsFormula) {
  uint32_t Seed = 77;
  auto Next = [&] { return uint16_t((Seed = Seed * 1664525u + 1013904223u) >> 16); };
  for (int32_t N : {0, 1, 2, 3, 7, 8, 9, 33})
    for (int32_t First : {0, 1}) {
      std::vector<uint16_t> Cells(size_t(First + N) * 4);
      for (size_t i = 0; i < Cells.size(); ++i) Cells[i] = i % 9 == 0 ? 65535 : i % 7 == 0 ? 0 : Next();
      std::vector<uint16_t> Plain = Cells;
      std::vector<int32_t> Histogram(8192, 0), PlainHistogram(8192, 0);
      QxCellLumaRow(reinterpret_cast<uint16_t(*)[4]>(Cells.data()) + First, N, Histogram.data());
      QxCellLumaRowPlain(reinterpret_cast<uint16_t(*)[4]>(Plain.data()) + First, N, PlainHistogram.data());
      ASSERT_EQ(Cells, Plain) << "n " << N << " first " << First;
      ASSERT_EQ(Histogram, PlainHistogram) << "n " << N << " first " << First;
      int32_t Counted = 0;
      for (int32_t h : Histogram) Counted += h;
      EXPECT_EQ(Counted, N);
    }
  // The brightest cell (sqrt(3) * 65535 / 2 = 56754.5) and a 3-4-5 triangle (2.5) truncate.
  uint16_t Two[2][4] = {{65535, 65535, 65535, 1}, {3, 4, 0, 1}};
  std::vector<int32_t> Histogram(8192, 0);
  QxCellLumaRow(Two, 2, Histogram.data());
  EXPECT_EQ(Two[0][3], 56754);
  EXPECT_EQ(Two[1][3], 2);
  EXPECT_EQ(Histogram[56754 >> 3], 1);
  EXPECT_EQ(Histogram[0], 1);
}
