// Thumbnails of 500 photo-sized JPEGs (2400 x 1600, made here): the thumbnail view's background loading
// beside ImageMagick's convert -thumbnail and vipsthumbnail (`make bench` installs it), on the same files and
// the same 128 x 128 box. The outside tools run one process per file, as many at a time as the view has
// workers (every core this process may use, then one), and ImageMagick once more with the JPEG size hint
// that lets its decoder scale down too. The view's time beside vipsthumbnail's with the same number of
// workers, measured in the same run, is the counter "x_vipsthumbnail".
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include <sched.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/view/mview.h"
#include "platform/base/streams.h"

namespace {

constexpr int kCount = 500, kWidth = 2400, kHeight = 1600, kBox = 128;

// The cores this process may run on (taskset narrows them).
int32_t Cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  return int32_t(std::max(1u, std::thread::hardware_concurrency()));
}

// Seconds per run of each outside tool, by number of workers.
std::map<int32_t, double> gVips;

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
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
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
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    int stored = 0;
    for (int i = 0; i < kCount; ++i) stored += v.Entry(i)->StoreImage != nullptr;
    if (stored != kCount) state.SkipWithError("not every thumbnail arrived");
  }
  state.counters["files"] = kCount;
  state.counters["workers"] = Pool;
  auto it = gVips.find(Pool);
  if (it != gVips.end() && it->second > 0 && state.iterations() > 0)
    state.counters["x_vipsthumbnail"] = total / double(state.iterations()) / it->second;
}

void BM_ViewThumbnails(benchmark::State& state) { RunView(state, Cores()); }
void BM_ViewThumbnailsOneThread(benchmark::State& state) { RunView(state, 1); }

bool Have(const std::string& Cmd) { return std::system((Cmd + " >/dev/null 2>&1").c_str()) == 0; }

// Times Cmd; with Workers > 0 its seconds per run are kept as vipsthumbnail's for that many workers.
void TimeShell(benchmark::State& state, const std::string& Probe, const std::string& Cmd, int32_t Workers = 0) {
  TFolder& f = Folder();
  if (f.Dir.empty() || !Have(Probe)) {
    state.SkipWithError(("not available: " + Probe).c_str());
    return;
  }
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(Cmd.c_str());
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    if (rc != 0) state.SkipWithError("the tool failed");
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  if (Workers > 0 && state.iterations() > 0) gVips[Workers] = total / double(state.iterations());
}

std::string ConvertTool() { return std::filesystem::exists("/usr/bin/convert") ? "/usr/bin/convert" : "convert"; }

std::string PerFile(const std::string& Body, int32_t Workers = Cores()) {
  const std::string n = std::to_string(Workers);
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

void Vipsthumbnail(benchmark::State& state, int32_t Workers) {
  TimeShell(state, "vipsthumbnail --vips-version",
            PerFile("vipsthumbnail {} -s " + std::to_string(kBox) + " -o out/%s.png", Workers), Workers);
}
void BM_Vipsthumbnail(benchmark::State& state) { Vipsthumbnail(state, Cores()); }
void BM_VipsthumbnailOneWorker(benchmark::State& state) { Vipsthumbnail(state, 1); }

}  // namespace

// vipsthumbnail first: the view's runs are compared with it.
BENCHMARK(BM_Vipsthumbnail)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_VipsthumbnailOneWorker)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_ViewThumbnails)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ViewThumbnailsOneThread)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ConvertThumbnail)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();
BENCHMARK(BM_ConvertThumbnailSizeHint)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

BENCHMARK_MAIN();
