// Repainting a 6000 x 4000 two-layer view into a 1280 x 800 client: fitted and at 100 % scrolled, each
// beside a memcpy of the client's pixels measured in the same run ("x_memcpy" is the ratio). The Compose
// cases leave out the transfer to the window. Back-to-back repaints find the drawing threads awake; the
// AfterIdle case shows a frame after the machine was idle for a frame's time, beside a copy made after
// the same pause ("x_memcpy_after_idle"). Each repaint invalidates the client, which composes it from
// the layers again (their pixels may have changed unannounced); the Scrolling cases move the picture by a
// pixel every frame, which composes the whole frame at the new origin, and the AfterChange cases tell
// the view before each frame that the layers' pixels changed (as a setting change does), which for the
// filtered fitted view means shrinking the whole picture again
// ("x_picture_memcpy" compares that with one memcpy of the 6000 x 4000 picture). ComposeFittedAfterChange
// is the fitted frame after a change without the transfer to the window.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/view/view.h"

namespace {

constexpr int32_t kClientW = 1280, kClientH = 800;
double gMemcpyNs = 0, gPictureMemcpyNs = 0, gIdleMemcpyNs = 0;

std::unique_ptr<TQuillotView> MakeTwoLayerView() {
  auto v = std::make_unique<TQuillotView>(nullptr);
  v->OffscreenMode = true;
  v->SetBorderStyle(TBorderStyle::bsNone);
  v->SetBounds(0, 0, kClientW, kClientH);
  v->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  TQxBitmap* base = v->CurrentBitmap();
  base->Allocate(6000, 4000, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 4000; ++y) {
    uint8_t* row = base->Scanline(y);
    for (int32_t x = 0; x < 6000; ++x) {
      row[x * 3] = uint8_t(x);
      row[x * 3 + 1] = uint8_t(y);
      row[x * 3 + 2] = uint8_t(x + y);
    }
  }
  v->AddLayer();
  TQxBitmap* l = v->CurrentBitmap();
  l->Allocate(3000, 2000, TQxPixelFormat::qx24RGB);
  l->Fill(0x3060C0);
  l->GetAlphaChannel()->Fill(128);
  l->GetAlphaChannel()->Opaque = false;
  v->CurrentLayer()->PosX = 1500;
  v->CurrentLayer()->PosY = 1000;
  v->SetCurrentLayer(0);
  return v;
}

double Repaint(benchmark::State& state, TQuillotView* v) {
  const TRect client(0, 0, kClientW, kClientH);
  v->PaintClientRect(client);  // warm: buffers and tables
  const uint8_t* shown = v->BackBuffer()->Scanline(0);  // asked once: asking says it may be drawn over
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    v->InvalidateRectNoErase(client);
    v->PaintClientRect(client);
    benchmark::DoNotOptimize(shown);
    benchmark::ClobberMemory();
    ++n;
  }
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / double(n ? n : 1);
}

// The composition alone, without the transfer to the window, into the buffer as handed out (which may
// have been drawn into, so the view composes or copies its kept composition); AfterChange tells the view
// before each one that the layers' pixels changed.
double Compose(benchmark::State& state, TQuillotView* v, bool AfterChange = false) {
  const TRect client(0, 0, kClientW, kClientH);
  v->PaintClientRect(client);
  std::vector<uint8_t*> rows;
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    if (AfterChange) v->UpdateView();
    v->ComposeLayersTo(v->BackBuffer(), &rows, &client, true, false);
    benchmark::DoNotOptimize(v->BackBuffer()->Scanline(0));
    ++n;
  }
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / double(n ? n : 1);
}

void BM_MemcpyClientPixels(benchmark::State& state) {
  const size_t bytes = size_t(kClientW) * kClientH * 3;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
    ++n;
  }
  gMemcpyNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / double(n);
  state.SetBytesProcessed(int64_t(bytes) * state.iterations());
}

// The same copy after the machine was idle for a frame's time: the caches hold other programs' data.
void BM_MemcpyClientPixelsAfterIdle(benchmark::State& state) {
  const size_t bytes = size_t(kClientW) * kClientH * 3;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  double total = 0;
  int64_t n = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
    auto t0 = std::chrono::steady_clock::now();
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
    total += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    ++n;
  }
  gIdleMemcpyNs = total / double(n ? n : 1);
}

void BM_MemcpyPicturePixels(benchmark::State& state) {
  const size_t bytes = size_t(6000) * 4000 * 3;
  std::vector<uint8_t> a(bytes, 1), b(bytes, 2);
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
    ++n;
  }
  gPictureMemcpyNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / double(n);
  state.SetBytesProcessed(int64_t(bytes) * state.iterations());
}

// Frames that each tell the view the layers changed first.
double RepaintAfterChange(benchmark::State& state, TQuillotView* v) {
  const TRect client(0, 0, kClientW, kClientH);
  v->PaintClientRect(client);
  const uint8_t* shown = v->BackBuffer()->Scanline(0);
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    v->UpdateView();
    v->PaintClientRect(client);
    benchmark::DoNotOptimize(shown);
    benchmark::ClobberMemory();
    ++n;
  }
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(t1 - t0).count() / double(n ? n : 1);
}

void Ratios(benchmark::State& state, double ns) {
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
  if (gPictureMemcpyNs > 0) state.counters["x_picture_memcpy"] = ns / gPictureMemcpyNs;
}

void BM_RepaintFitted(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->ZoomToFit();
  const double ns = Repaint(state, v.get());
  state.counters["zoom"] = v->ZoomX();
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
}

void BM_Repaint100Scrolled(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->SetZoom(100);
  v->SetViewOrigin(2000, 1500);
  const double ns = Repaint(state, v.get());
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
}

// One frame after the machine was idle for a frame's time, as when painting at 60 frames a second
// rather than back to back.
void BM_Repaint100AfterIdle(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->SetZoom(100);
  v->SetViewOrigin(2000, 1500);
  const TRect client(0, 0, kClientW, kClientH);
  v->PaintClientRect(client);
  const uint8_t* shown = v->BackBuffer()->Scanline(0);
  double total = 0;
  int64_t n = 0;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
    auto t0 = std::chrono::steady_clock::now();
    v->InvalidateRectNoErase(client);
    v->PaintClientRect(client);
    benchmark::DoNotOptimize(shown);
    benchmark::ClobberMemory();
    total += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    ++n;
  }
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = total / double(n ? n : 1) / gMemcpyNs;
  if (gIdleMemcpyNs > 0) state.counters["x_memcpy_after_idle"] = total / double(n ? n : 1) / gIdleMemcpyNs;
}

// Scrolling by a pixel each frame: every frame is composed from the layers.
void BM_Repaint100Scrolling(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->SetZoom(100);
  v->SetViewOrigin(2000, 1500);
  const TRect client(0, 0, kClientW, kClientH);
  v->PaintClientRect(client);
  const uint8_t* shown = v->BackBuffer()->Scanline(0);
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    v->SetViewOrigin(2000 + int32_t(n & 1), 1500);  // paints
    benchmark::DoNotOptimize(shown);
    benchmark::ClobberMemory();
    ++n;
  }
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / double(n);
  Ratios(state, ns);
}

// As the program shows a reflection below the picture: layer 0 is see-through from row 3000 on, over the
// chessboard. Scrolled within the opaque rows (range 0) and where 400 of the 800 client rows show the
// see-through part (range 1), by a pixel each frame.
void BM_Repaint100ScrollingSeeThrough(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  TQxBitmap* a = v->GetLayer(0)->Bitmap->GetAlphaChannel();
  for (int32_t y = 0; y < 4000; ++y) std::memset(a->Scanline(y), y < 3000 ? 255 : (y - 3000) / 4, 6000);
  a->Opaque = false;
  v->UpdateView();
  v->SetZoom(100);
  const int32_t top = state.range(0) ? 2600 : 1500;
  v->SetViewOrigin(2000, top);
  const TRect client(0, 0, kClientW, kClientH);
  v->PaintClientRect(client);
  const uint8_t* shown = v->BackBuffer()->Scanline(0);
  v->SetViewOrigin(2001, top);  // the rows' transparency is looked at once
  auto t0 = std::chrono::steady_clock::now();
  int64_t n = 0;
  for (auto _ : state) {
    v->SetViewOrigin(2000 + int32_t(n & 1), top);  // paints
    benchmark::DoNotOptimize(shown);
    benchmark::ClobberMemory();
    ++n;
  }
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / double(n);
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
}

void BM_RepaintFittedAfterChange(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->ZoomToFit();
  Ratios(state, RepaintAfterChange(state, v.get()));
}

// Fitted with the program's filter: the layers are flattened and shrunk by averaging boxes.
void BM_RepaintFittedFiltered(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->SetZoomFilter(TResampleFilter::rfFastLinear);
  v->ZoomToFit();
  Ratios(state, Repaint(state, v.get()));
}

void BM_RepaintFittedFilteredAfterChange(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->SetZoomFilter(TResampleFilter::rfFastLinear);
  v->ZoomToFit();
  Ratios(state, RepaintAfterChange(state, v.get()));
}

void BM_ComposeFitted(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->ZoomToFit();
  const double ns = Compose(state, v.get());
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
}

// The fitted composition right after a pixel change, without the transfer to the window.
void BM_ComposeFittedAfterChange(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->ZoomToFit();
  const double ns = Compose(state, v.get(), true);
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
}

void BM_Compose100Scrolled(benchmark::State& state) {
  auto v = MakeTwoLayerView();
  v->SetZoom(100);
  v->SetViewOrigin(2000, 1500);
  const double ns = Compose(state, v.get());
  if (gMemcpyNs > 0) state.counters["x_memcpy"] = ns / gMemcpyNs;
}

}  // namespace

BENCHMARK(BM_MemcpyClientPixels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyClientPixelsAfterIdle)->Unit(benchmark::kMicrosecond)->Iterations(60);
BENCHMARK(BM_MemcpyPicturePixels)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepaintFitted)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repaint100Scrolled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repaint100AfterIdle)->Unit(benchmark::kMicrosecond)->Iterations(60);
BENCHMARK(BM_Repaint100Scrolling)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Repaint100ScrollingSeeThrough)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);
BENCHMARK(BM_RepaintFittedAfterChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepaintFittedFiltered)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepaintFittedFilteredAfterChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeFitted)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ComposeFittedAfterChange)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Compose100Scrolled)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
