// 24-bit to 8-bit gray and to 1-bit ordered dither of a 6000 x 4000 picture, beside a memcpy of its
// bytes. Counter "x_memcpy" is the conversion's time over the copy's (goal: at most 2).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/foundation/bitmap.h"

namespace {

constexpr int32_t kW = 6000, kH = 4000;

std::unique_ptr<TQxBitmap> NewBitmap(TQxPixelFormat f) {
  auto b = std::make_unique<TQxBitmap>();
  b->MemoryThreshold = INT64_MAX;
  b->Allocate(kW, kH, f);
  return b;
}

TQxBitmap& Source() {
  static std::unique_ptr<TQxBitmap> src = [] {
    auto b = NewBitmap(TQxPixelFormat::qx24RGB);
    uint32_t seed = 777;
    for (int32_t y = 0; y < kH; ++y) {
      uint8_t* r = b->Scanline(y);
      for (int32_t i = 0; i < b->RowLen(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        r[i] = uint8_t(seed >> 24);
      }
    }
    return b;
  }();
  return *src;
}

double MemcpySeconds() {
  static const double secs = [] {
    TQxBitmap& src = Source();
    const size_t bytes = size_t(src.RowLen()) * kH;
    std::vector<uint8_t> dst(bytes, 1);
    const uint8_t* from = src.Scanline(kH - 1);  // one block, bottom row first
    double best = 1e9;
    for (int i = 0; i < 7; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      std::memcpy(dst.data(), from, bytes);
      benchmark::DoNotOptimize(dst.data());
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
  }();
  return secs;
}

void Run(benchmark::State& state, TQxPixelFormat to, uint8_t bw) {
  TQxBitmap& src = Source();
  auto dst = NewBitmap(to);
  dst->BWConversion = bw;
  double best = 1e9;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    dst->ConvertFrom(&src);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    benchmark::DoNotOptimize(dst->Scanline(0));
  }
  state.counters["x_memcpy"] = best / MemcpySeconds();
}

void BM_Memcpy(benchmark::State& state) {
  TQxBitmap& src = Source();
  const size_t bytes = size_t(src.RowLen()) * kH;
  std::vector<uint8_t> dst(bytes, 1);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.Scanline(kH - 1), bytes);
    benchmark::DoNotOptimize(dst.data());
  }
}
void BM_To8Gray(benchmark::State& s) { Run(s, TQxPixelFormat::qx8g, 1); }
void BM_To1BitOrdered(benchmark::State& s) { Run(s, TQxPixelFormat::qx1g, 0); }

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_To8Gray)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_To1BitOrdered)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
