// A picture with 1,000 vector objects: painting the view (drawn directly, and every object translucent
// text or shadowed so that each goes through the work bitmap), and writing and reading the objects stream.
#include <benchmark/benchmark.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/vector/vect.h"
#include "platform/base/streams.h"
#include "platform/ui/backends/headless/headless.h"

namespace {

std::unique_ptr<TQuillotVect> MakeView(int Count, bool Composited) {
  Headless::Use();
  auto v = std::make_unique<TQuillotVect>(nullptr);
  v->OffscreenMode = true;
  v->SetBounds(0, 0, 800, 600);
  v->GetQxBitmap()->Allocate(800, 600, TQxPixelFormat::qx24RGB);
  v->GetQxBitmap()->Fill(double(0xFFFFFF));
  const TQxVObjectKind kinds[] = {TQxVObjectKind::qvkLine, TQxVObjectKind::qvkBox, TQxVObjectKind::qvkEllipse,
                                  TQxVObjectKind::qvkText, TQxVObjectKind::qvkPolyline};
  for (int i = 0; i < Count; ++i) {
    TQxVObject o;
    o.Kind = kinds[i % 5];
    o.x1 = (i * 37) % 760, o.y1 = (i * 53) % 560;
    o.x2 = o.x1 + 10 + i % 30, o.y2 = o.y1 + 8 + i % 25;
    o.PenColor = TColor(i * 0x010203 & 0xFFFFFF);
    o.BrushStyle = i % 2 ? TBrushStyle::bsSolid : TBrushStyle::bsClear;
    o.BrushColor = 0x80C0FF;
    o.Text = "text";
    o.Font = TQxLogFont{-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"};
    if (o.Kind == TQxVObjectKind::qvkPolyline) {
      o.Points = {{0, 0}, {5, 9}, {10, 2}, {15, 8}};
      o.PointBounds = TRect(0, 0, 15, 9);
    }
    if (Composited) o.SoftShadow.Enabled = true, o.SoftShadow.OffsetX = o.SoftShadow.OffsetY = 3;
    v->AddObjectCopy(o);
  }
  return v;
}

void BM_PaintObjects(benchmark::State& State) {
  auto v = MakeView(int(State.range(0)), State.range(1) != 0);
  for (auto _ : State) {
    v->UpdateView();
    v->PaintView();
  }
  State.SetItemsProcessed(State.iterations() * State.range(0));
}
BENCHMARK(BM_PaintObjects)->Args({1000, 0})->Args({100, 1})->Unit(benchmark::kMillisecond);

void BM_SaveObjects(benchmark::State& State) {
  auto v = MakeView(1000, false);
  for (auto _ : State) {
    TMemoryStream s;
    v->SaveObjectsToStream(&s);
    benchmark::DoNotOptimize(s.Size());
  }
}
BENCHMARK(BM_SaveObjects)->Unit(benchmark::kMillisecond);

void BM_LoadObjects(benchmark::State& State) {
  auto v = MakeView(1000, false);
  TMemoryStream s;
  v->SaveObjectsToStream(&s);
  for (auto _ : State) {
    s.SetPosition(0);
    benchmark::DoNotOptimize(v->LoadObjectsFromStream(&s));
  }
}
BENCHMARK(BM_LoadObjects)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
