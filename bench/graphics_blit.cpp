// FillRect, BitBlt and StretchBlt of a 4096 x 4096 pf32 bitmap beside a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/graphics/canvas.h"

namespace {

constexpr int32_t N = 4096;

struct Pair {
  TBitmap Src{N, N, TPixelFormat::pf32bit};
  TBitmap Dst{N, N, TPixelFormat::pf32bit};
};

Pair& Bitmaps() {
  static Pair P;
  return P;
}

void BM_Memcpy(benchmark::State& S) {
  Pair& P = Bitmaps();
  size_t Bytes = static_cast<size_t>(P.Src.RowBytes()) * N;
  for (auto _ : S) {
    std::memcpy(P.Dst.Bits(), P.Src.Bits(), Bytes);
    benchmark::ClobberMemory();
  }
  S.SetBytesProcessed(static_cast<int64_t>(S.iterations()) * static_cast<int64_t>(Bytes));
}

void BM_FillRect(benchmark::State& S) {
  Pair& P = Bitmaps();
  TCanvas* C = P.Dst.Canvas();
  C->Brush()->SetColor(0x336699);
  for (auto _ : S) {
    C->FillRect(TRect(0, 0, N, N));
    benchmark::ClobberMemory();
  }
  S.SetBytesProcessed(static_cast<int64_t>(S.iterations()) * N * N * 4);
}

void BM_BitBlt(benchmark::State& S) {
  Pair& P = Bitmaps();
  for (auto _ : S) {
    BitBlt(P.Dst.Canvas(), 0, 0, N, N, P.Src.Canvas(), 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  S.SetBytesProcessed(static_cast<int64_t>(S.iterations()) * N * N * 4);
}

// A source one pixel smaller on each side, so every row goes through the scaling path.
void BM_StretchBlt(benchmark::State& S) {
  Pair& P = Bitmaps();
  for (auto _ : S) {
    StretchBlt(P.Dst.Canvas(), 0, 0, N, N, P.Src.Canvas(), 0, 0, N - 1, N - 1, SRCCOPY);
    benchmark::ClobberMemory();
  }
  S.SetBytesProcessed(static_cast<int64_t>(S.iterations()) * N * N * 4);
}

// Twice the size: every source pixel fills a 2 x 2 block.
void BM_StretchBlt2x(benchmark::State& S) {
  Pair& P = Bitmaps();
  for (auto _ : S) {
    StretchBlt(P.Dst.Canvas(), 0, 0, N, N, P.Src.Canvas(), 0, 0, N / 2, N / 2, SRCCOPY);
    benchmark::ClobberMemory();
  }
  S.SetBytesProcessed(static_cast<int64_t>(S.iterations()) * N * N * 4);
}

// A 24-bit picture copied into a 32-bit back buffer, as the views paint.
void BM_BitBlt24To32(benchmark::State& S) {
  Pair& P = Bitmaps();
  static TBitmap Src24(N, N, TPixelFormat::pf24bit);
  for (auto _ : S) {
    BitBlt(P.Dst.Canvas(), 0, 0, N, N, Src24.Canvas(), 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  S.SetBytesProcessed(static_cast<int64_t>(S.iterations()) * N * N * 4);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillRect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BitBlt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchBlt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchBlt2x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BitBlt24To32)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
