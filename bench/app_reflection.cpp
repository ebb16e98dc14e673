// A whole reflection build of a 6000 x 4000 picture, and the partial rebuild a transparency change runs,
// each beside five copies of the picture's bytes in the same run. Peak memory is reported as a multiple
// of the picture's 24-bit size.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <vector>

#include "app/reflection.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/processing/proc.h"
#include "imaging/view/view.h"

namespace {

constexpr int32_t kW = 6000, kH = 4000;
constexpr size_t kBytes = size_t(kW) * kH * 3;

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

struct Scene {
  std::unique_ptr<TQuillot> Source = std::make_unique<TQuillot>(nullptr);
  std::unique_ptr<TQuillot> View = std::make_unique<TQuillot>(nullptr);
  int32_t Layer = -1;
  TReflectionSettings S;
  Scene() {
    TQxBitmap* B = Source->GetLayer(0)->Bitmap;
    B->Allocate(kW, kH, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < kH; ++y) {
      uint8_t* R = B->Scanline(y);
      for (int32_t x = 0; x < kW * 3; ++x) R[x] = uint8_t(x * 7 + y);
    }
    Source->UpdateView();
    View->ResetToBlank();
    ResetLayers(View.get());
    Layer = AddReflectionLayer(View.get());
    // As the main window does: it offers no undo.
    View->GetProc()->SetAutoUndo(false);
  }
};

Scene& TheScene() {
  static Scene S;
  return S;
}

void BM_FullBuild(benchmark::State& State) {
  const long Before = PeakKiB();
  Scene& Sc = TheScene();
  // The first build after opening faults in fresh memory; the timed ones are the rebuilds a side change runs.
  BuildReflection(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
  for (auto _ : State) BuildReflection(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
  State.counters["peak_x_picture"] = double(PeakKiB() - Before) * 1024.0 / double(kBytes);
}

void BM_TransparencyRebuild(benchmark::State& State) {
  Scene& Sc = TheScene();
  BuildReflection(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
  int32_t T = 0;
  for (auto _ : State) {
    Sc.S.TranBegin = (T++ % 50);
    RedoReflectionLayer(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
  }
}

void BM_FiveCopies(benchmark::State& State) {
  std::vector<uint8_t> A(kBytes, 1), B(kBytes, 2);
  for (auto _ : State) {
    for (int i = 0; i < 5; ++i) {
      std::memcpy(B.data(), A.data(), kBytes);
      benchmark::ClobberMemory();
    }
  }
}

}  // namespace

// The build comes first so that its peak memory is measured before the copy buffers exist.
BENCHMARK(BM_FullBuild)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_TransparencyRebuild)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FiveCopies)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
