// GIF coding speed: the bare LZW coders against whole-file reads and writes of the same picture.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/gif.h"
#include "imaging/codecs/lzw.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace {

constexpr int32_t kW = 1024, kH = 768;

// Soft gradients with some texture: long strings for the coder, 256 colours for the table.
std::unique_ptr<TQxBitmap> Picture() {
  auto b = std::make_unique<TQxBitmap>(kW, kH, TQxPixelFormat::qx8p);
  for (int i = 0; i < 256; ++i) b->SetPaletteColor(i, TQxRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  for (int32_t y = 0; y < kH; ++y) {
    uint8_t* p = b->Scanline(y);
    for (int32_t x = 0; x < kW; ++x) p[x] = uint8_t((x / 4 + y / 3 + ((x * y) % 7 == 0)) & 0xFF);
  }
  return b;
}

std::vector<uint8_t> Indexes(TQxBitmap& b) {
  std::vector<uint8_t> v(size_t(kW) * kH);
  for (int32_t y = 0; y < kH; ++y) std::copy(b.Scanline(y), b.Scanline(y) + kW, v.begin() + long(y) * kW);
  return v;
}

void BM_LzwEncode(benchmark::State& state) {
  auto b = Picture();
  const auto idx = Indexes(*b);
  for (auto _ : state) {
    TMemoryStream s;
    GifLzwEncode(&s, kH, kW, false, idx.data(), 8);
    benchmark::DoNotOptimize(s.Size());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}

void BM_LzwDecode(benchmark::State& state) {
  auto b = Picture();
  const auto idx = Indexes(*b);
  TMemoryStream s;
  GifLzwEncode(&s, kH, kW, false, idx.data(), 8);
  std::vector<uint8_t> out(idx.size());
  for (auto _ : state) {
    s.SetPosition(0);
    GifLzwDecode(&s, kH, kW, false, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}

void BM_ReadGif(benchmark::State& state) {
  QxRegisterGifCodec();
  auto b = Picture();
  TMemoryStream s;
  {
    TIOParamsVals p;
    TQxProgressInfo pr;
    WriteGifStream(&s, b.get(), p, pr);
  }
  for (auto _ : state) {
    s.SetPosition(0);
    TIOParamsVals p;
    p.NativePixelFormat = uint8_t(state.range(0));
    TQxProgressInfo pr;
    TQxBitmap out;
    TQxMask* m = nullptr;
    int32_t frames = 0;
    ReadGifStream(&s, &out, frames, p, pr, false, m, true);
    benchmark::DoNotOptimize(out.Scanline(0));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}

void BM_TiffLzwDecode(benchmark::State& state) {
  auto b = Picture();
  const auto idx = Indexes(*b);
  TMemoryStream s;
  void* enc = nullptr;
  TiffLzwEncode(idx.data(), int32_t(idx.size()), &s, enc);
  TiffLzwEncode(nullptr, 0, &s, enc);
  const auto* strip = static_cast<const uint8_t*>(s.Memory());
  for (auto _ : state) {
    void* dec = nullptr;
    for (int32_t y = 0; y < kH; ++y) benchmark::DoNotOptimize(TiffLzwDecode(strip, kW, dec, 1, s.Size()));
    TiffLzwDecode(nullptr, 0, dec, 1, 0);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH);
}

}  // namespace

BENCHMARK(BM_LzwEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzwDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadGif)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLzwDecode)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
