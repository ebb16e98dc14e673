// Gradients and glyphs of the themed controls: what a panel, a group box or a check box costs per paint.
#include <benchmark/benchmark.h>

#include "controls/kv_blits.h"
#include "controls/kv_painters.h"

namespace {

void BM_Gradient(benchmark::State& State) {
  auto dir = static_cast<TGradientDirection>(State.range(0));
  TBitmap b(400, 300, TPixelFormat::pf32bit);
  for (auto _ : State) KvDrawGradient(b.Canvas(), TRect(0, 0, 400, 300), dir, 0xFFEFE3, 0xEABB99, 1);
  State.SetItemsProcessed(State.iterations() * 400 * 300);
}
BENCHMARK(BM_Gradient)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);

void BM_RadioGlyph(benchmark::State& State) {
  TBitmap b(20, 20, TPixelFormat::pf32bit);
  for (auto _ : State)
    KvPaintRadioGlyph(b.Canvas(), TRect(2, 2, 15, 15), true, kvdsHot, true, htsInterior, 0x404040, 0x0000FF,
                      clWindow, clWindow, clBtnFace, 0x00FFFF, 0x0080FF, clBtnFace, false, clOlive, false, false,
                      clInfoBk);
}
BENCHMARK(BM_RadioGlyph)->Unit(benchmark::kMicrosecond);

void BM_TransparentBlit(benchmark::State& State) {
  TBitmap pic(33, 23, TPixelFormat::pf24bit), dest(40, 30, TPixelFormat::pf32bit);
  for (auto _ : State) KvBlitTransparent(dest.Canvas(), &pic, TRect(2, 2, 35, 25), TRect(0, 0, 33, 23), clOlive);
}
BENCHMARK(BM_TransparentBlit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
