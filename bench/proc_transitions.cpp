// One 50 % frame of every transition kind at 1920 x 1080, beside a memcpy of the frame's pixels. At 60
// frames a second on one core a frame may take about 10 such copies; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/view_base.h"
#include "imaging/processing/transition_table.h"
#include "imaging/processing/transitions.h"
#include "platform/graphics/bitmap.h"

namespace {

constexpr int32_t kW = 1920, kH = 1080;

class TBenchView : public TQxView {
 public:
  TBenchView() : TQxView(nullptr) {}
  void IncPaintLock() override {}
  int32_t DecPaintLock() override { return 0; }
  void Update() override {}
};

std::unique_ptr<TBitmap> Picture(uint32_t Seed) {
  auto B = std::make_unique<TBitmap>(kW, kH, TPixelFormat::pf24bit);
  for (int32_t Y = 0; Y < kH; ++Y) {
    auto* R = static_cast<uint8_t*>(B->ScanLine(Y));
    for (int32_t X = 0; X < kW * 3; ++X) {
      Seed = Seed * 1103515245u + 12345u;
      R[X] = static_cast<uint8_t>(X / 5 + Y / 3 + ((Seed >> 16) & 15));
    }
  }
  return B;
}

struct TFixture {
  TBenchView View;
  TQxTransitionEffects T{&View};
  std::unique_ptr<TBitmap> From = Picture(1), To = Picture(2);
};

TFixture& Fixture() {
  static TFixture* F = new TFixture();
  return *F;
}

void Frame(benchmark::State& State, int Kind) {
  TFixture& F = Fixture();
  F.T.Start(static_cast<TQxTransitionType>(Kind), *F.From, *F.To, 1000);
  F.T.PaintFrame(0);
  for (auto _ : State) F.T.PaintFrame(512);
  F.T.Stop();
}

void Copy(benchmark::State& State) {
  std::vector<uint8_t> A(static_cast<size_t>(kW) * kH * 3, 1), B(A.size());
  for (auto _ : State) {
    std::memcpy(B.data(), A.data(), A.size());
    benchmark::DoNotOptimize(B.data());
  }
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> Times;
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs) {
      // Names carry suffixes such as /real_time; the table is keyed by the part before them.
      std::string Name = R.benchmark_name();
      if (size_t At = Name.find("/real_time"); At != std::string::npos) Name.resize(At);
      Times[Name] = R.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(Runs);
  }
};

std::string NameOf(int Kind) {
  return "frame/" + std::to_string(Kind) + " " + (Kind > 30 ? QxTransitionRow(Kind - 1).Name : "built in");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("copy/frame", Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
  for (int Kind = 1; Kind <= 212; ++Kind)
    benchmark::RegisterBenchmark(NameOf(Kind).c_str(), [Kind](benchmark::State& S) { Frame(S, Kind); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  RatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  auto& T = Reporter.Times;
  if (T.count("copy/frame")) {
    std::vector<std::pair<double, std::string>> Ratios;
    for (int Kind = 1; Kind <= 212; ++Kind)
      if (T.count(NameOf(Kind))) Ratios.emplace_back(T[NameOf(Kind)] / T["copy/frame"], NameOf(Kind));
    std::sort(Ratios.rbegin(), Ratios.rend());
    std::printf("\nframe / memcpy of the frame, slowest first (goal: at most 10):\n");
    for (auto& [R, N] : Ratios) std::printf("  %6.1fx  %s\n", R, N.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
