// Thumbnails of 500 photo-sized JPEGs (2400 x 1600, made here): the thumbnail view's background loading
// beside ImageMagick's convert -thumbnail and, when installed, vipsthumbnail, on the same files and the same
// 128 x 128 box. The outside tools run one process per file, as many at a time as there are cores, and once
// more with the JPEG size hint that lets their decoder scale down too.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/view/mview.h"
#include "platform/base/streams.h"

namespace {

constexpr int kCount = 500, kWidth = 2400, kHeight = 1600, kBox = 128;

struct TFolder {
  std::string Dir, Out;
  ~TFolder() {
    std::error_code ec;
    if (!Dir.empty()) std::filesystem::remove_all(Dir, ec);
  }
};

TFolder& Folder() {
  static TFolder f;
  if (!f.Dir.empty()) return f;
  std::string t = (std::filesystem::temp_directory_path() / "qv_bench_thumbs_XXXXXX").string();
  if (!mkdtemp(t.data())) return f;
  f.Dir = t;
  f.Out = t + "/out";
  std::filesystem::create_directory(f.Out);
  TQxBitmap b(kWidth, kHeight, TQxPixelFormat::qx24RGB);
  for (int i = 0; i < kCount; ++i) {
    // A smooth scene with fine texture, different in every file.
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = b.Scanline(y);
      for (int x = 0; x < kWidth; ++x) {
        row[3 * x] = uint8_t((x + i * 37) / 10 + ((x * y) & 15));
        row[3 * x + 1] = uint8_t(y * 255 / kHeight + ((x ^ (y + i)) & 7));
        row[3 * x + 2] = uint8_t(((x / 40 + y / 40 + i) & 1) * 90 + (x + y) / 40);
      }
    }
    TIOParamsVals p;
    p.JpegQuality = 85;
    std::atomic<bool> aborting{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborting;
    char name[32];
    std::snprintf(name, sizeof name, "/p%03d.jpg", i);
    TFileStream s(f.Dir + name, fmCreate);
    WriteJpegStream(&s, &b, p, progress);
  }
  return f;
}

// The view as a browser uses it: every entry queued, loaded on the pool, reduced to the box and stored.
void RunView(benchmark::State& state, int32_t Pool) {
  TFolder& f = Folder();
  if (f.Dir.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  for (auto _ : state) {
    TQuillotMView v(nullptr);
    v.OffscreenMode = true;
    v.SetBounds(0, 0, 1400, 800);
    v.SetThumbWidth(kBox);
    v.SetThumbHeight(kBox);
    v.SetGridWidth(-1);
    v.StoreType = TQxStoreType::qxtThumb;
    v.ThreadPoolSize = Pool;
    v.LookAhead = kCount;
    v.ReleaseDistance = -1;
    v.IncPaintLock();
    for (int i = 0; i < kCount; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/p%03d.jpg", i);
      v.InsertImage(i);
      v.SetImageFileName(i, f.Dir + name);
    }
    v.DecPaintLockAndUpdate();
    v.PaintView();
    while (v.LoadsInFlight() > 0) {
      v.CollectLoadedPictures();
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    v.CollectLoadedPictures();
    int stored = 0;
    for (int i = 0; i < kCount; ++i) stored += v.Entry(i)->StoreImage != nullptr;
    if (stored != kCount) state.SkipWithError("not every thumbnail arrived");
  }
  state.counters["files"] = kCount;
}

void BM_ViewThumbnails(benchmark::State& state) { RunView(state, int32_t(std::thread::hardware_concurrency())); }
void BM_ViewThumbnailsOneThread(benchmark::State& state) { RunView(state, 1); }

bool Have(const std::string& Cmd) { return std::system((Cmd + " >/dev/null 2>&1").c_str()) == 0; }

void TimeShell(benchmark::State& state, const std::string& Probe, const std::string& Cmd) {
  TFolder& f = Folder();
  if (f.Dir.empty() || !Have(Probe)) {
    state.SkipWithError(("not available: " + Probe).c_str());
    return;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(Cmd.c_str());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    if (rc != 0) state.SkipWithError("the tool failed");
  }
}

std::string ConvertTool() { return std::filesystem::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert"; }

std::string PerFile(const std::string& Body) {
  const std::string n = std::to_string(std::thread::hardware_concurrency());
  return "cd " + Folder().Dir + " && ls *.jpg | xargs -P " + n + " -I{} " + Body + " >/dev/null 2>&1";
}

void BM_ConvertThumbnail(benchmark::State& state) {
  TimeShell(state, ConvertTool() + " -version",
            PerFile(ConvertTool() + " {} -thumbnail " + std::to_string(kBox) + "x" + std::to_string(kBox) +
                    " out/{}.png"));
}

void BM_ConvertThumbnailSizeHint(benchmark::State& state) {
  const std::string box = std::to_string(kBox) + "x" + std::to_string(kBox);
  TimeShell(state, ConvertTool() + " -version",
            PerFile(ConvertTool() + " -define jpeg:size=" + std::to_string(2 * kBox) + "x" + std::to_string(2 * kBox) +
                    " {} -thumbnail " + box + " out/{}.png"));
}

void BM_Vipsthumbnail(benchmark::State& state) {
  TimeShell(state, "vipsthumbnail --vips-version",
            PerFile("vipsthumbnail {} -s " + std::to_string(kBox) + " -o out/%s.png"));
}

}  // namespace

BENCHMARK(BM_ViewThumbnails)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ViewThumbnailsOneThread)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ConvertThumbnail)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_ConvertThumbnailSizeHint)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

BENCHMARK_MAIN();
