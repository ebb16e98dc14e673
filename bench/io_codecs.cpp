// Decoding and encoding a 6000 x 4000 PNG and BMP through TQuillotIO, beside ImageMagick's convert, Pillow
// and a bare libpng read of the same files, in the same run. Compare the times as ratios.
#include <benchmark/benchmark.h>
#include <png.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/streams.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
const std::string kDir = "/tmp/qv_bench_io_codecs";
const std::string kPng = kDir + "/in.png";
const std::string kBmp = kDir + "/in.bmp";

// A photo-like picture: smooth gradients with a little texture, so PNG filters and zlib have real work.
std::unique_ptr<TQxBitmap>& Source() {
  static std::unique_ptr<TQxBitmap> b;
  if (!b) {
    b = std::make_unique<TQxBitmap>(kWidth, kHeight, TQxPixelFormat::qx24RGB);
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = b->Scanline(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int n = int(seed >> 29);
        row[3 * x] = uint8_t((x / 24 + y / 40 + n) & 0xFF);
        row[3 * x + 1] = uint8_t((y * 255 / kHeight + n) & 0xFF);
        row[3 * x + 2] = uint8_t(((x + y) / 40 + n) & 0xFF);
      }
    }
  }
  return b;
}

void Prepare() {
  static bool done = false;
  if (done) return;
  done = true;
  std::system(("mkdir -p " + kDir).c_str());
  TQuillotIO io(Source().get());
  io.SaveToFile(kPng);
  io.SaveToFile(kBmp);
}

bool Have(const std::string& cmd) { return std::system(("(" + cmd + ") >/dev/null 2>&1").c_str()) == 0; }

// Times a command per iteration; the process start is part of the measurement.
void TimeCommand(benchmark::State& state, const std::string& cmd) {
  Prepare();
  if (!Have("command -v " + cmd.substr(0, cmd.find(' ')))) {
    state.SkipWithError("tool not available");
    return;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    std::system(("(" + cmd + ") >/dev/null 2>&1").c_str());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
}

// Pillow is timed inside Python, so the interpreter's start is left out.
void TimePillow(benchmark::State& state, const std::string& body) {
  Prepare();
  if (!Have("/usr/bin/python3 -c 'import PIL'")) {
    state.SkipWithError("Pillow not available");
    return;
  }
  const std::string out = kDir + "/pillow.time";
  const std::string cmd = "/usr/bin/python3 -c \"import time, io\nfrom PIL import Image\nsrc = Image.open('" + kBmp +
                          "'); src.load()\nt = time.perf_counter()\n" + body +
                          "\nopen('" + out + "', 'w').write(str(time.perf_counter() - t))\"";
  for (auto _ : state) {
    std::system(cmd.c_str());
    std::ifstream f(out);
    double secs = 0;
    f >> secs;
    state.SetIterationTime(secs);
  }
}

void BM_QuillotPngDecode(benchmark::State& state) {
  Prepare();
  TQuillotIO io;
  for (auto _ : state) io.LoadFromFile(kPng);
  if (io.Aborting) state.SkipWithError("load failed");
}
void BM_QuillotPngEncode(benchmark::State& state) {
  Prepare();
  TQuillotIO io(Source().get());
  for (auto _ : state) io.SaveToFile(kDir + "/out.png");
}
void BM_QuillotBmpDecode(benchmark::State& state) {
  Prepare();
  TQuillotIO io;
  for (auto _ : state) io.LoadFromFile(kBmp);
  if (io.Aborting) state.SkipWithError("load failed");
}
void BM_QuillotBmpEncode(benchmark::State& state) {
  Prepare();
  TQuillotIO io(Source().get());
  for (auto _ : state) io.SaveToFile(kDir + "/out.bmp");
}

// The floor for PNG: libpng straight from a FILE into a fresh picture buffer, blue-green-red like ours.
void BM_BareLibpngDecode(benchmark::State& state) {
  Prepare();
  for (auto _ : state) {
    std::vector<uint8_t> rows(size_t(kWidth) * 3 * kHeight);
    FILE* f = std::fopen(kPng.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      state.SkipWithError("libpng failed");
      break;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    for (int y = 0; y < kHeight; ++y) png_read_row(png, rows.data() + size_t(y) * kWidth * 3, nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
  }
}

void BM_MagickPngDecode(benchmark::State& state) { TimeCommand(state, "convert " + kPng + " -depth 8 rgb:/dev/null"); }
void BM_MagickBmpDecode(benchmark::State& state) { TimeCommand(state, "convert " + kBmp + " -depth 8 rgb:/dev/null"); }
// ImageMagick reads the BMP first in both encodes (the same input for either format).
void BM_MagickPngEncode(benchmark::State& state) {
  TimeCommand(state, "convert " + kBmp + " -quality 55 " + kDir + "/im.png");
}
void BM_MagickBmpEncode(benchmark::State& state) { TimeCommand(state, "convert " + kBmp + " " + kDir + "/im.bmp"); }
void BM_PillowPngDecode(benchmark::State& state) { TimePillow(state, "Image.open('" + kPng + "').load()"); }
void BM_PillowBmpDecode(benchmark::State& state) { TimePillow(state, "Image.open('" + kBmp + "').load()"); }
// Compression level 5, as our default.
void BM_PillowPngEncode(benchmark::State& state) { TimePillow(state, "src.save(io.BytesIO(), 'PNG', compress_level=5)"); }
void BM_PillowBmpEncode(benchmark::State& state) { TimePillow(state, "src.save(io.BytesIO(), 'BMP')"); }

}  // namespace

BENCHMARK(BM_QuillotPngDecode)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareLibpngDecode)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MagickPngDecode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_PillowPngDecode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_QuillotPngEncode)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_MagickPngEncode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_PillowPngEncode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_QuillotBmpDecode)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MagickBmpDecode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_PillowBmpDecode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_QuillotBmpEncode)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MagickBmpEncode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_PillowBmpEncode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK_MAIN();
