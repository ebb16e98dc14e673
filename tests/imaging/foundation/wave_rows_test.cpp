// The wave's row kernel: the vector sampler (three channels side by side) and the plain reference draw
// the same bytes on pictures one pixel wide or high, odd and even, wide and tall, read mirrored or not,
// with ripples that reach past the edges, from rows that start at odd addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

#include "imaging/foundation/kernels/wave_rows.h"

namespace {

struct Picture {
  int32_t W, H;
  std::vector<std::vector<uint8_t>> Src, A, B;  // each row one byte off the start of its block
  std::vector<const uint8_t*> SrcRows;
  std::vector<uint8_t*> ARows, BRows;
  std::vector<double> Dxs;
  TQxWaveRows Job{};

  Picture(int32_t W_, int32_t H_, uint32_t Seed, bool Mirror, bool Reflective, int32_t Amp, int32_t Length,
          int32_t Phase)
      : W(W_), H(H_) {
    for (int32_t y = 0; y < H; ++y) {
      std::vector<uint8_t> Row(size_t(W) * 3 + 1);
      for (auto& v : Row) v = uint8_t((Seed = Seed * 1664525u + 1013904223u) >> 24);
      Src.push_back(Row);
      A.emplace_back(size_t(W) * 3 + 1, 0);
      B.emplace_back(size_t(W) * 3 + 1, 0);
    }
    for (int32_t y = 0; y < H; ++y) {
      SrcRows.push_back(Src[size_t(y)].data() + 1);
      ARows.push_back(A[size_t(y)].data() + 1);
      BRows.push_back(B[size_t(y)].data() + 1);
    }
    Job = QxWaveGeometry(W, H, Amp, Length, Phase, Reflective, Mirror, Dxs);
    Job.Src = SrcRows.data();
  }
};

}  // namespace

TEST(WaveRows, VectorSamplerEqualsThePlainOne) {
  uint32_t Seed = 5;
  for (auto [W, H] : {std::pair{0, 3}, {1, 1}, {1, 6}, {5, 1}, {2, 2}, {3, 3}, {7, 4}, {17, 9}, {33, 10}, {6, 31}})
    for (bool Mirror : {false, true})
      for (bool Reflective : {false, true})
        for (auto [Amp, Length, Phase] : {std::tuple{3, 4, 0}, {-20, 3, 90}, {2, 1, 45}}) {
          Picture P(W, H, ++Seed, Mirror, Reflective, Amp, Length, Phase);
          TQxWaveRows Vector = P.Job, Plain = P.Job;
          Vector.Dst = P.ARows.data();
          Plain.Dst = P.BRows.data();
          for (int32_t y = 0; y < (H + 1) / 2; ++y) {
            QxWaveRowPair(Vector, y);
            QxWaveRowPairPlain(Plain, y);
          }
          ASSERT_EQ(P.A, P.B) << W << " x " << H << " mirror " << Mirror << " reflective " << Reflective
                              << " amplitude " << Amp;
        }
}

TEST(WaveRows, AStillSurfaceGivesThePictureBack) {
  // Amplitude 0 moves no pixel: both roads read each one back, from the right end of the row when mirrored.
  // The last column and row sample a square clamped one pixel in with its fraction kept (0), so they
  // repeat the column and row before them.
  for (int32_t Side : {5, 6})
    for (bool Mirror : {false, true}) {
      Picture P(Side, Side, 9, Mirror, false, 0, 3, 30);
      TQxWaveRows Vector = P.Job, Plain = P.Job;
      Vector.Dst = P.ARows.data();
      Plain.Dst = P.BRows.data();
      for (int32_t y = 0; y < (Side + 1) / 2; ++y) {
        QxWaveRowPair(Vector, y);
        QxWaveRowPairPlain(Plain, y);
      }
      for (int32_t y = 0; y < Side; ++y)
        for (int32_t x = 0; x < Side; ++x)
          for (int c = 0; c < 3; ++c) {
            const int32_t X = std::min(x, Side - 2), Y = std::min(y, Side - 2);
            const uint8_t Want = P.SrcRows[size_t(Y)][(Mirror ? Side - 1 - X : X) * 3 + c];
            ASSERT_EQ(P.ARows[size_t(y)][x * 3 + c], Want) << Side << " mirror " << Mirror << " at " << x << "," << y;
            ASSERT_EQ(P.BRows[size_t(y)][x * 3 + c], Want) << Side << " mirror " << Mirror << " at " << x << "," << y;
          }
    }
}
