// Flip, gray, wave and a 3x3 convolution of a 6000 x 4000 24-bit picture through the processing component,
// with and without the undo snapshot, beside ImageMagick doing the same from its own pixel cache, and beside
// one plain copy of the pixels. Ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/processing/filters.h"
#include "imaging/processing/proc.h"

namespace {

constexpr int32_t kW = 6000, kH = 4000;

TQxBitmap* Picture() {
  static TQxBitmap* b = [] {
    auto* p = new TQxBitmap(kW, kH, TQxPixelFormat::qx24RGB);
    uint32_t s = 7;
    for (int32_t y = 0; y < kH; ++y) {
      uint8_t* r = p->Scanline(y);
      for (int32_t x = 0; x < kW * 3; ++x) {
        s = s * 1103515245u + 12345u;
        r[x] = uint8_t((x / 3 + y) / 8 + ((s >> 16) & 15));
      }
    }
    return p;
  }();
  return b;
}

std::string Dir() {
  static std::string d = [] {
    char tmpl[] = "/tmp/qvbenchXXXXXX";
    const char* r = mkdtemp(tmpl);
    return std::string(r ? r : "/tmp");
  }();
  return d;
}

bool HaveMagick() {
  static int ok = -1;
  if (ok < 0) {
    ok = std::system("convert -version >/dev/null 2>&1") == 0;
    if (ok) {
      const std::string ppm = Dir() + "/in.ppm";
      {
        std::ofstream f(ppm, std::ios::binary);
        f << "P6\n" << kW << " " << kH << "\n255\n";
        std::vector<char> row(size_t(kW) * 3);
        for (int32_t y = 0; y < kH; ++y) {
          const uint8_t* r = Picture()->Scanline(y);
          for (int32_t x = 0; x < kW; ++x) {
            row[x * 3] = char(r[x * 3 + 2]);
            row[x * 3 + 1] = char(r[x * 3 + 1]);
            row[x * 3 + 2] = char(r[x * 3]);
          }
          f.write(row.data(), std::streamsize(row.size()));
        }
      }
      ok = std::system(("convert " + ppm + " " + Dir() + "/in.mpc").c_str()) == 0;
      std::remove(ppm.c_str());
    }
  }
  return ok == 1;
}

// A working copy per benchmark, so that the operations never change the shared picture.
struct Work {
  TQxBitmap bitmap;
  std::unique_ptr<TQuillotProc> proc;
  explicit Work(bool Undo) {
    bitmap.AssignFrom(Picture());
    proc = std::make_unique<TQuillotProc>(nullptr);
    proc->AttachBitmap(&bitmap);
    proc->SetAutoUndo(Undo);
  }
};

void Convolve24(TQxBitmap* B) {
  // The convolution works on 8-bit planes: split, filter each, merge.
  static const TQxFilterPreset lowPass2 = {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16};
  const int32_t w = B->Width(), h = B->Height();
  // The planes are allocated once; the timing covers splitting, filtering and merging.
  static TQxBitmap planes[3];
  for (auto& p : planes) {
    if (p.Width() == w && p.Height() == h) continue;
    p.MemoryThreshold = INT64_MAX;
    p.SetLocation(TQxLocation::qxMemory);
    p.Allocate(w, h, TQxPixelFormat::qx8g);
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = B->Scanline(y);
    uint8_t* d0 = planes[0].Scanline(y);
    uint8_t* d1 = planes[1].Scanline(y);
    uint8_t* d2 = planes[2].Scanline(y);
    for (int32_t x = 0; x < w; ++x) {
      d0[x] = s[x * 3];
      d1[x] = s[x * 3 + 1];
      d2[x] = s[x * 3 + 2];
    }
  }
  for (auto& p : planes) QxConvolve3x3(&p, lowPass2, 0, 0, w, h);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = B->Scanline(y);
    const uint8_t* s0 = planes[0].Scanline(y);
    const uint8_t* s1 = planes[1].Scanline(y);
    const uint8_t* s2 = planes[2].Scanline(y);
    for (int32_t x = 0; x < w; ++x) {
      d[x * 3] = s0[x];
      d[x * 3 + 1] = s1[x];
      d[x * 3 + 2] = s2[x];
    }
  }
}

enum Op { kFlip, kGray, kWave, kConvolve };

void Step(Work& w, Op op, bool undo) {
    switch (op) {
      case kFlip:
        w.proc->Flip(1);
        break;
      case kGray:
        w.proc->ConvertToGray();
        break;
      case kWave:
        w.proc->Wave(10, 30, 0, false);
        break;
      case kConvolve:
        if (undo) w.proc->SaveUndoCaptioned("Convolve");
        Convolve24(&w.bitmap);
        break;
    }
}

void Run(benchmark::State& state, Op op, bool undo) {
  Work w(undo);
  Step(w, op, undo);  // untimed: first touch of the scratch memory
  for (auto _ : state) {
    Step(w, op, undo);
    benchmark::ClobberMemory();
  }
}

void Magick(benchmark::State& state, const char* Args) {
  if (!HaveMagick()) {
    state.SkipWithError("ImageMagick convert is missing");
    return;
  }
  const std::string cmd = "convert " + Dir() + "/in.mpc " + Args + " null: 2>/dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("convert failed");
}

void Copy(benchmark::State& state) {
  const size_t n = size_t(kW) * 3 * kH;
  std::vector<uint8_t> a(n, 1), b(n, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
}

// A copy into freshly allocated memory, page faults included: what any new copy of the picture costs.
void FreshCopy(benchmark::State& state) {
  const size_t n = size_t(kW) * 3 * kH;
  static std::vector<uint8_t> src(n, 1);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> d(new uint8_t[n]);
    std::memcpy(d.get(), src.data(), n);
    benchmark::DoNotOptimize(d.get());
    benchmark::ClobberMemory();
  }
}

const char* kOps[] = {"Flip", "ConvertToGray", "Wave", "Convolve3x3"};
const char* kMagickArgs[] = {"-flip", "-colorspace Gray", "-wave 10x30", "-convolve 1,2,1,2,4,2,1,2,1"};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run>& reports) override {
    for (const Run& r : reports)
      if (!r.error_occurred) {
        // Names carry suffixes such as /real_time; the table is keyed by the part before them.
        std::string name = r.benchmark_name();
        for (const char* cut : {"/iterations", "/real_time"}) {
          const size_t at = name.find(cut);
          if (at != std::string::npos) name.resize(at);
        }
        times[name] = r.GetAdjustedRealTime();
      }
    ConsoleReporter::ReportRuns(reports);
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < 4; ++i) {
    const Op op = Op(i);
    benchmark::RegisterBenchmark((std::string("ours/") + kOps[i]).c_str(), [op](benchmark::State& s) { Run(s, op, false); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark((std::string("ours+undo/") + kOps[i]).c_str(), [op](benchmark::State& s) { Run(s, op, true); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    const char* args = kMagickArgs[i];
    benchmark::RegisterBenchmark((std::string("magick/") + kOps[i]).c_str(), [args](benchmark::State& s) { Magick(s, args); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3);
  }
  benchmark::RegisterBenchmark("copy/72MB", Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("copy/fresh memory", FreshCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.times;
  std::printf("\nratios (higher is better for us):\n");
  for (const char* op : kOps) {
    const std::string o = std::string("ours/") + op, u = std::string("ours+undo/") + op,
                      m = std::string("magick/") + op;
    if (t.count(o) && t.count(m)) std::printf("  %-14s ImageMagick / ours = %.1fx\n", op, t[m] / t[o]);
    if (t.count(o) && t.count(u) && t.count("copy/72MB") && t.count("copy/fresh memory"))
      std::printf("  %-14s undo snapshot adds %.2f memcpy of the pixels, %.2f copies into fresh memory\n", op,
                  (t[u] - t[o]) / t["copy/72MB"], (t[u] - t[o]) / t["copy/fresh memory"]);
  }
  benchmark::Shutdown();
  std::string rm = "rm -rf " + Dir();
  if (Dir() != "/tmp") (void)std::system(rm.c_str());
  return 0;
}
