// DICOM decoding speed: lossless JPEG, RLE and native frames of a 512 x 512 CT-like slice, each against a
// plain copy of the decoded samples.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "imaging/codecs/dicom.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"
#include "tests/imaging/codecs/dicom/dicom_builder.h"

using namespace dcmtest;

namespace {

constexpr int kW = 512, kH = 512;

// A round body of soft tissue values on air, with fine noise: what a 12-bit scanner slice looks like.
std::vector<int> Slice() {
  std::vector<int> v(size_t(kW) * kH);
  uint32_t r = 12345;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      r = r * 1103515245u + 12345u;
      const int dx = x - kW / 2, dy = y - kH / 2;
      const bool inside = dx * dx + dy * dy < 200 * 200;
      v[size_t(y * kW + x)] = (inside ? 1000 + (x + y) % 200 : 24) + int((r >> 16) % 16);
    }
  return v;
}

void Fill(TMemoryStream& S, const Bytes& B) {
  S.SetSize(0);
  S.Write(B.data(), int64_t(B.size()));
}

void Read(TMemoryStream& S, TQxBitmap& B) {
  TIOParamsVals p;
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  S.SetPosition(0);
  ReadDicomStream(&S, p, &B, pr, false);
}

void BM_CopySamples(benchmark::State& state) {
  std::vector<uint16_t> a(size_t(kW) * kH, 7), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 2);
    benchmark::DoNotOptimize(b.data());
  }
}

void BM_LosslessJpegDecoder(benchmark::State& state) {
  LjOptions o;
  o.Precision = 12;
  const Bytes jpeg = EncodeLossless(Slice(), kW, kH, 1, o);
  TMemoryStream s;
  Fill(s, jpeg);
  std::vector<uint16_t> out(size_t(kW) * kH);
  for (auto _ : state) {
    s.SetPosition(0);
    benchmark::DoNotOptimize(QxDicomLosslessJpeg(&s, out.data(), nullptr, int64_t(jpeg.size()), kW, kH, 1, {}, nullptr));
  }
}

void BM_ReadLosslessFile(benchmark::State& state) {
  LjOptions o;
  o.Precision = 12;
  DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.70");
  w.Image(kH, kW, 12, 1, "MONOCHROME2", 0, 16);
  w.Encapsulated({EncodeLossless(Slice(), kW, kH, 1, o)}, false);
  TMemoryStream s;
  Fill(s, w.Out);
  TQxBitmap b;
  for (auto _ : state) Read(s, b);
}

void BM_ReadNativeFile(benchmark::State& state) {
  DicomWriter w(Syntax::ExplicitLE);
  w.Image(kH, kW, 12, 1, "MONOCHROME2", 0, 16);
  w.Text(0x0028, 0x1050, "DS", "1040");
  w.Text(0x0028, 0x1051, "DS", "400");
  w.Text(0x0028, 0x1052, "DS", "-1024");
  std::vector<uint16_t> px;
  for (int v : Slice()) px.push_back(uint16_t(v));
  w.Pixels16(px);
  TMemoryStream s;
  Fill(s, w.Out);
  TQxBitmap b;
  for (auto _ : state) Read(s, b);
}

void BM_ReadRleFile(benchmark::State& state) {
  Bytes hi, lo;
  for (int v : Slice()) {
    hi.push_back(uint8_t(v >> 8));
    lo.push_back(uint8_t(v));
  }
  DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
  w.Image(kH, kW, 12, 1, "MONOCHROME2", 0, 16);
  w.Encapsulated({RleFrame({PackBits(hi), PackBits(lo)})}, false);
  TMemoryStream s;
  Fill(s, w.Out);
  TQxBitmap b;
  for (auto _ : state) Read(s, b);
}

}  // namespace

BENCHMARK(BM_CopySamples);
BENCHMARK(BM_LosslessJpegDecoder);
BENCHMARK(BM_ReadLosslessFile);
BENCHMARK(BM_ReadNativeFile);
BENCHMARK(BM_ReadRleFile);
BENCHMARK_MAIN();
