// Resampling a 6000 x 4000 24-bit picture to 1500 x 1000, beside Pillow's resize with the matching filter
// run in the same process tree. Counter "pillow_over_ours" > 1 means faster than Pillow.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/resample.h"

namespace {

constexpr int32_t kW = 6000, kH = 4000, kDW = 1500, kDH = 1000;

TQxBitmap& Source() {
  static std::unique_ptr<TQxBitmap> src = [] {
    auto b = std::make_unique<TQxBitmap>();
    b->MemoryThreshold = INT64_MAX;
    b->Allocate(kW, kH, TQxPixelFormat::qx24RGB);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kH; ++y) {
      uint8_t* r = b->Scanline(y);
      for (int32_t i = 0; i < kW * 3; ++i) {
        seed = seed * 1664525u + 1013904223u;
        r[i] = uint8_t(seed >> 24);
      }
    }
    return b;
  }();
  return *src;
}

// Seconds per resize in Pillow, or 0 when Pillow cannot be run.
double PillowSeconds(const std::string& filter) {
  static std::map<std::string, double> cache;
  if (auto it = cache.find(filter); it != cache.end()) return it->second;
  const std::string cmd =
      "/usr/bin/python3 -c \""
      "import os,time\n"
      "from PIL import Image\n"
      "im=Image.frombytes('RGB',(6000,4000),os.urandom(6000*4000*3))\n"
      "f=getattr(Image,'" + filter + "')\n"
      "im.resize((1500,1000),f)\n"
      "n=5\n"
      "t=time.perf_counter()\n"
      "for i in range(n): im.resize((1500,1000),f)\n"
      "print((time.perf_counter()-t)/n)\" 2>/dev/null";
  double secs = 0;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    if (std::fscanf(p, "%lf", &secs) != 1) secs = 0;
    pclose(p);
  }
  cache[filter] = secs;
  return secs;
}

void Run(benchmark::State& state, TResampleFilter filter, const char* pillowFilter) {
  TQxBitmap& src = Source();
  TQxBitmap dst;
  dst.MemoryThreshold = INT64_MAX;
  dst.Allocate(kDW, kDH, TQxPixelFormat::qx24RGB);
  double total = 0;
  int64_t n = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    QxResample(&src, &dst, filter);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ++n;
    benchmark::DoNotOptimize(dst.Scanline(0));
  }
  const double pillow = PillowSeconds(pillowFilter);
  if (pillow > 0 && n > 0) state.counters["pillow_over_ours"] = pillow / (total / double(n));
}

void BM_FastLinear(benchmark::State& s) { Run(s, TResampleFilter::rfFastLinear, "BOX"); }
void BM_Triangle(benchmark::State& s) { Run(s, TResampleFilter::rfTriangle, "BILINEAR"); }
void BM_Lanczos3(benchmark::State& s) { Run(s, TResampleFilter::rfLanczos3, "LANCZOS"); }

}  // namespace

BENCHMARK(BM_FastLinear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Triangle)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
