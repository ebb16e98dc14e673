// Camera-raw decoding speed: a 24-megapixel lossless-JPEG raw file (the whole reader: decoding, balance,
// demosaicing, colour and tone) beside decoding the same picture as a baseline JPEG.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"
#include "tests/imaging/codecs/raw/raw_builder.h"

using namespace rawtest;

namespace {

constexpr int kW = 6000, kH = 4000;

// A scene of broad shapes with fine texture, as 12-bit photosites: its lossless coding takes about as many
// bytes as a real 24-megapixel raw file, and its JPEG about as many as a real photograph's.
uint32_t Noise(uint32_t& R) {
  R = R * 1103515245u + 12345u;
  return (R >> 16) & 255;
}
int Scene(int X, int Y, uint32_t& R) {
  return 300 + (X * 2000) / kW + (Y * 1200) / kH + ((X / 50 + Y / 50) % 2) * 400 + int(Noise(R));
}

const Bytes& RawFile() {
  static const Bytes file = [] {
    std::vector<int> s(size_t(kW) * kH);
    uint32_t r = 7;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) s[size_t(y) * kW + x] = Scene(x, y, r);
    const Bytes jpeg = LosslessJpeg(s, kH, kW);
    // A TIFF raw file of a camera that stores lossless JPEG: the strip of its first directory holds it.
    return MakeTiff(false, {{Entry::Ascii(0x10F, "Canon"), Entry::Ascii(0x110, "Canon EOS Bench"),
                             Entry::Data(0x111, jpeg), Entry::Dir(0x14A, 1)},
                            {Entry::Long(0x100, kW), Entry::Long(0x101, kH), Entry::Short(0x103, 6)}});
  }();
  return file;
}

// The same picture as a JPEG: the raw file's own decoded result, saved with the default settings.
const Bytes& JpegFile() {
  static const Bytes file = [] {
    QxRegisterFurtherCodecs();
    const Bytes& raw = RawFile();
    TMemoryStream in;
    in.Write(raw.data(), int64_t(raw.size()));
    in.SetPosition(0);
    TQxBitmap b;
    TIOParamsVals p;
    std::atomic<bool> ab{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &ab;
    ReadCameraRawStream(&in, &b, p, pr, false);
    TMemoryStream s;
    TIOParamsVals jp;
    WriteJpegStream(&s, &b, jp, pr);
    Bytes out(size_t(s.Size()));
    s.SetPosition(0);
    s.Read(out.data(), int64_t(out.size()));
    return out;
  }();
  return file;
}

void BM_CameraRaw24MP(benchmark::State& state) {
  QxRegisterFurtherCodecs();
  const Bytes& f = RawFile();
  TMemoryStream s;
  s.Write(f.data(), int64_t(f.size()));
  for (auto _ : state) {
    TQxBitmap b;
    TIOParamsVals p;
    std::atomic<bool> ab{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &ab;
    s.SetPosition(0);
    ReadCameraRawStream(&s, &b, p, pr, false);
    if (ab || b.Width() != kW - 2) state.SkipWithError("raw file not decoded");
    benchmark::DoNotOptimize(b.Scanline(0));
  }
  state.SetLabel(std::to_string(f.size() / 1000000) + " MB file");
}

void BM_Jpeg24MP(benchmark::State& state) {
  const Bytes& f = JpegFile();
  TMemoryStream s;
  s.Write(f.data(), int64_t(f.size()));
  for (auto _ : state) {
    TQxBitmap b;
    TIOParamsVals p;
    std::atomic<bool> ab{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &ab;
    s.SetPosition(0);
    ReadJpegStream(&s, nullptr, &b, p, pr, false, false, false, false, false, false, -1, false);
    if (ab || b.Width() != kW - 2) state.SkipWithError("JPEG not decoded");
    benchmark::DoNotOptimize(b.Scanline(0));
  }
  state.SetLabel(std::to_string(f.size() / 1000000) + " MB file");
}

}  // namespace

// Both are timed alike: "Time" is the wall time a user waits for (the reader uses every core), "CPU" the
// time of all the process's threads together; the median of three runs of at least 1.5 s after a warm-up.
BENCHMARK(BM_Jpeg24MP)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5)->MinTime(1.5)->Repetitions(3)
    ->ReportAggregatesOnly(true)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_CameraRaw24MP)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.5)->MinTime(1.5)->Repetitions(3)
    ->ReportAggregatesOnly(true)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_MAIN();
