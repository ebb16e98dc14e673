// Drawing Inkscape's EMF and WMF of a test drawing (kept with the fuzz seeds) through TQuillotIO at its own
// size and ten times larger, with and without the alpha pass, beside a bare fill of a bitmap of the same
// size as the floor. Compare the times as ratios.
#include <benchmark/benchmark.h>

#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dib_bitmap.h"
#include "imaging/io/quillot_io.h"

namespace {

const std::string kDir = std::string(QV_SOURCE_DIR) + "/fuzz/corpus/io_metafile/";

void Import(benchmark::State& State, const char* File) {
  const int32_t scale = static_cast<int32_t>(State.range(0));
  const bool alpha = State.range(1) != 0;
  TQxBitmap b;
  TQuillotIO io(&b);
  for (auto _ : State) {
    io.ImportMetafile(kDir + File, 240 * scale, -1, alpha);
    benchmark::DoNotOptimize(b.Scanline(0));
  }
  State.counters["pixels"] = double(b.Width()) * b.Height();
}

void BM_Emf(benchmark::State& State) { Import(State, "drawing.emf"); }
void BM_Wmf(benchmark::State& State) { Import(State, "drawing.wmf"); }

// Filling a section of the same size: what any drawing at that size costs at least.
void BM_FillOnly(benchmark::State& State) {
  const int32_t scale = static_cast<int32_t>(State.range(0));
  for (auto _ : State) {
    TQxDibbitmap d;
    d.AllocateDIB(240 * scale, 160 * scale, 24);
    d.DC()->Brush()->SetColor(clWhite);
    d.DC()->FillRect(TRect(0, 0, 240 * scale, 160 * scale));
    benchmark::DoNotOptimize(d.Bits());
  }
}

}  // namespace

BENCHMARK(BM_Emf)->Args({1, 0})->Args({1, 1})->Args({10, 0})->Args({10, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Wmf)->Args({1, 0})->Args({10, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillOnly)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
