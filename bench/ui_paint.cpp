// The window layer's own cost of a full repaint: a 1280x800 form with 120 child controls that
// each fill themselves, repainted through the paint pass, beside a plain copy of the same pixels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"

namespace {
class TFill : public TCustomControl {
 public:
  TFill(TComponent* O, TColor C) : TCustomControl(O), FColor(C) {}

 protected:
  void Paint() override {
    TBrush b;
    b.SetColor(FColor);
    FillRect(Canvas(), ClientRect(), b);
  }
  TColor FColor;
};

TForm* MakeForm() {
  Headless::Use();
  auto* f = new TForm(nullptr);
  f->SetBounds(0, 0, 1280, 800);
  for (int i = 0; i < 120; ++i) {
    auto* c = new TFill(f, static_cast<TColor>(0x101010 * (i % 15)));
    c->SetParent(f);
    c->SetBounds((i % 12) * 106, (i / 12) * 80, 100, 74);
  }
  f->Show();
  Application->ProcessMessages();
  return f;
}

void BM_RepaintForm(benchmark::State& state) {
  TForm* f = MakeForm();
  for (auto _ : state) {
    f->Invalidate();
    f->PaintNow();
  }
  delete f;
}
BENCHMARK(BM_RepaintForm)->Unit(benchmark::kMillisecond);

// The floor: writing every pixel of the window once (fill) and showing it (copy).
void BM_FillAndCopyPixels(benchmark::State& state) {
  std::vector<uint32_t> a(1280 * 800), b(1280 * 800);
  uint32_t v = 0;
  for (auto _ : state) {
    std::fill(a.begin(), a.end(), ++v);
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_FillAndCopyPixels)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
