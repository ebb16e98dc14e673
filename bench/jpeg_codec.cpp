// Decoding and encoding a 6000 x 4000 JPEG: our codec beside djpeg/cjpeg and Pillow on the same files.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
const std::string kJpeg = "/tmp/qv_bench_jpeg_codec.jpg";
const std::string kPpm = "/tmp/qv_bench_jpeg_codec.ppm";

std::unique_ptr<TQxBitmap>& Source() {
  static std::unique_ptr<TQxBitmap> b;
  if (!b) {
    b = std::make_unique<TQxBitmap>(kWidth, kHeight, TQxPixelFormat::qx24RGB);
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = b->Scanline(y);
      for (int x = 0; x < kWidth; ++x) {
        row[3 * x] = uint8_t(x * 7 + y);
        row[3 * x + 1] = uint8_t((x ^ y) >> 2);
        row[3 * x + 2] = uint8_t(y * 255 / kHeight);
      }
    }
  }
  return b;
}

void Prepare() {
  static bool done = false;
  if (done) return;
  done = true;
  TIOParamsVals p;
  p.JpegQuality = 90;
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  {
    TFileStream s(kJpeg, fmCreate);
    WriteJpegStream(&s, Source().get(), p, progress);
  }
  std::ofstream ppm(kPpm, std::ios::binary);
  ppm << "P6\n" << kWidth << " " << kHeight << "\n255\n";
  std::string row(size_t(kWidth) * 3, '\0');
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* r = Source()->Scanline(y);
    for (int x = 0; x < kWidth; ++x) {
      row[3 * x] = char(r[3 * x + 2]);
      row[3 * x + 1] = char(r[3 * x + 1]);
      row[3 * x + 2] = char(r[3 * x]);
    }
    ppm.write(row.data(), std::streamsize(row.size()));
  }
}

bool Have(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

// Times a command per iteration; the process start is part of the measurement.
void TimeCommand(benchmark::State& state, const std::string& cmd) {
  Prepare();
  if (!Have(cmd)) {
    state.SkipWithError(("not available: " + cmd).c_str());
    return;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    std::system((cmd + " >/dev/null 2>&1").c_str());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
}

// Pillow timed inside one interpreter, without its start.
void TimePillow(benchmark::State& state, const std::string& work) {
  Prepare();
  const std::string script = "import time; from PIL import Image\nt=time.perf_counter()\n" + work +
                             "\nprint(time.perf_counter()-t)";
  for (auto _ : state) {
    FILE* f = popen(("/usr/bin/python3 -c '" + script + "' 2>/dev/null").c_str(), "r");
    double seconds = 0;
    if (!f || std::fscanf(f, "%lf", &seconds) != 1) {
      if (f) pclose(f);
      state.SkipWithError("Pillow not available");
      return;
    }
    pclose(f);
    state.SetIterationTime(seconds);
  }
}

// A fresh bitmap per decode, as a load makes: the first touch of 72 MB of pixel memory is part of it.
void BM_QuorvelDecode(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    TQxBitmap b;
    TIOParamsVals p;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    TFileStream s(kJpeg, fmOpenRead);
    benchmark::DoNotOptimize(
        ReadJpegStream(&s, nullptr, &b, p, progress, false, false, true, false, true, true, -1, false));
  }
}

// The same bitmap again: the decoding itself.
void BM_QuorvelDecodeReused(benchmark::State& state) {
  Prepare();
  TQxBitmap b;
  for (auto _ : state) {
    TIOParamsVals p;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    TFileStream s(kJpeg, fmOpenRead);
    benchmark::DoNotOptimize(
        ReadJpegStream(&s, nullptr, &b, p, progress, false, false, true, false, true, true, -1, false));
  }
}

// djpeg keeps one row at a time; to a file it hands all pixels over, as a load must.
void BM_DjpegDecode(benchmark::State& state) { TimeCommand(state, "djpeg -outfile /dev/null " + kJpeg); }
void BM_DjpegDecodeToFile(benchmark::State& state) {
  TimeCommand(state, "djpeg -outfile /tmp/qv_bench_djpeg.ppm " + kJpeg);
}

void BM_PillowDecode(benchmark::State& state) {
  TimePillow(state, "im = Image.open(\"" + kJpeg + "\"); im.load()");
}

void BM_QuorvelEncode(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    TIOParamsVals p;
    p.JpegQuality = 90;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    TFileStream s("/tmp/qv_bench_jpeg_out.jpg", fmCreate);
    WriteJpegStream(&s, Source().get(), p, progress);
  }
}

void BM_CjpegEncode(benchmark::State& state) {
  TimeCommand(state, "cjpeg -quality 90 -outfile /dev/null " + kPpm);
}

void BM_PillowEncode(benchmark::State& state) {
  TimePillow(state, "im = Image.open(\"" + kPpm + "\"); im.load(); t=time.perf_counter(); im.save(\"/tmp/qv_bench_pil.jpg\", quality=90)");
}

}  // namespace

BENCHMARK(BM_QuorvelDecode)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QuorvelDecodeReused)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DjpegDecode)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_DjpegDecodeToFile)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_PillowDecode)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_QuorvelEncode)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CjpegEncode)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_PillowEncode)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

BENCHMARK_MAIN();
