// Fax coding speed of a letter-size page at 200 dpi: each scheme's encoder and decoder, per page.
#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <vector>

#include "imaging/codecs/ccitt.h"
#include "platform/base/streams.h"

namespace {

constexpr int32_t kW = 1728, kH = 2200;
constexpr size_t kRowBytes = (kW + 31) / 32 * 4;

// Text-like: lines of small black blocks of varying widths over white, with blank margins between lines.
std::vector<uint8_t> Page() {
  std::vector<uint8_t> page(kRowBytes * kH, 0);
  std::mt19937 rng(1);
  for (int32_t line = 0; line * 40 + 60 < kH; ++line) {
    int32_t x = 100;
    while (x < kW - 140) {
      const int32_t w = 4 + int32_t(rng() % 20), h = 14 + int32_t(rng() % 12);
      for (int32_t y = line * 40 + 40; y < line * 40 + 40 + h; ++y)
        for (int32_t i = x; i < x + w; ++i)
          if ((i + y) % 5) page[size_t(y) * kRowBytes + size_t(i >> 3)] |= uint8_t(0x80 >> (i & 7));
      x += w + 3 + int32_t(rng() % 9);
    }
  }
  return page;
}

enum Scheme { MH, G31D, G32D, G4 };

std::vector<uint8_t> Encode(const std::vector<uint8_t>& page, Scheme s) {
  TMemoryStream ms;
  std::atomic<bool> aborting{false};
  uint8_t pending = 0;
  int32_t bits = 0;
  void* ref = nullptr;
  for (int32_t y = 0; y < kH; ++y) {
    const uint8_t* row = page.data() + size_t(y) * kRowBytes;
    switch (s) {
      case MH: CCITTEncodeMH(row, kW, &ms, aborting, 1); break;
      case G31D: CCITTEncodeMHRow(row, kW, &ms, pending, bits, aborting, 1); break;
      case G32D: CCITTEncodeG3_2D(row, kW, &ms, pending, bits, ref, aborting, 1); break;
      case G4: CCITTEncodeG4(row, kW, &ms, pending, bits, ref, aborting, 1); break;
    }
  }
  if (s == G32D) CCITTEncodeG3_2D(nullptr, kW, &ms, pending, bits, ref, aborting, 1);
  if (s == G4) CCITTEncodeG4(nullptr, kW, &ms, pending, bits, ref, aborting, 1);
  if (bits) ms.Write(&pending, 1);
  const auto* p = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(p, p + ms.Size());
}

void BM_Encode(benchmark::State& state) {
  const auto page = Page();
  size_t bytes = 0;
  for (auto _ : state) {
    auto data = Encode(page, Scheme(state.range(0)));
    bytes = data.size();
    benchmark::DoNotOptimize(data.data());
  }
  state.counters["coded_bytes"] = double(bytes);
}

void BM_Decode(benchmark::State& state) {
  const Scheme s = Scheme(state.range(0));
  const auto data = Encode(Page(), s);
  std::vector<uint8_t> row((kW + 7) / 8), ref((kW + 7) / 8);
  const int64_t len = int64_t(data.size());
  for (auto _ : state) {
    std::fill(ref.begin(), ref.end(), 0xFF);
    int64_t pos = 0, offset = 0;
    for (int32_t y = 0; y < kH; ++y) {
      switch (s) {
        case MH: offset += CCITTDecodeMH(row.data(), data.data() + offset, len - offset, kW, 1); break;
        case G31D: pos = CCITTDecode1D(row.data(), data.data(), len, kW, pos, 1); break;
        case G32D: pos = CCITTDecode2D(row.data(), data.data(), len, kW, ref.data(), pos, 1, true); break;
        case G4: pos = CCITTDecode2D(row.data(), data.data(), len, kW, ref.data(), pos, 1, false); break;
      }
      benchmark::DoNotOptimize(row.data());
    }
  }
}

}  // namespace

BENCHMARK(BM_Encode)->Arg(MH)->Arg(G31D)->Arg(G32D)->Arg(G4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Arg(MH)->Arg(G31D)->Arg(G32D)->Arg(G4)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
