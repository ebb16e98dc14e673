// Rubber bands dragged over a 6000 x 4000 picture shown at 100 % in an 800 x 600 view: each step of a
// box being created, and of a selection band over objects it does not reach, beside the copy of a whole
// client area of the composed frame to the window (what any repaint costs at least).
#include <benchmark/benchmark.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/vector/vect.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"

namespace {

struct TScene {
  TForm* Form = nullptr;
  TQuillotVect* View = nullptr;
  TScene() {
    Headless::Use();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(TFormBorderStyle::bsNone);
    Form->SetBounds(0, 0, 800, 600);
    View = new TQuillotVect(Form);
    View->SetParent(Form);
    View->SetBorderStyle(TBorderStyle::bsNone);
    View->SetScrollBars(TScrollStyle::ssNone);
    View->SetBounds(0, 0, 800, 600);
    TQxBitmap* b = View->GetQxBitmap();
    b->Allocate(6000, 4000, TQxPixelFormat::qx24RGB);
    for (int y = 0; y < 4000; ++y) {
      uint8_t* r = b->Scanline(y);
      for (int x = 0; x < 6000 * 3; ++x) r[x] = uint8_t(x * 7 + y * 3);
    }
    // Objects the bands never reach: a selection step changes nothing.
    for (int i = 0; i < 200; ++i) {
      TQxVObject o;
      o.Kind = i % 2 ? TQxVObjectKind::qvkBox : TQxVObjectKind::qvkEllipse;
      o.x1 = 1000 + (i * 97) % 4000, o.y1 = 1000 + (i * 61) % 2500;
      o.x2 = o.x1 + 40, o.y2 = o.y1 + 30;
      View->AddObjectCopy(o);
    }
    View->UpdateView();
    Form->Show();
    Application->ProcessMessages();
  }
  ~TScene() {
    delete Form;
    Application->ProcessMessages();
  }
};

// Steps that grow and shrink the band across most of the client area.
void Drag(benchmark::State& State, TQxObjectInteract Modes) {
  TScene s;
  s.View->SetObjectInteract(Modes);
  Headless::MouseMove(s.Form, 30, 30);
  Headless::MouseDown(s.Form, 30, 30);
  Application->ProcessMessages();
  int i = 0;
  for (auto _ : State) {
    const int k = i++ % 64;
    Headless::MouseMove(s.Form, 100 + k * 10, 80 + k * 7);
    Application->ProcessMessages();
  }
  Headless::MouseUp(s.Form, 100, 80);
  Application->ProcessMessages();
}

void BM_BoxBandStep(benchmark::State& State) { Drag(State, TQxObjectInteract{TQxObjectInteractItems::oiBox}); }
BENCHMARK(BM_BoxBandStep)->Unit(benchmark::kMicrosecond);

void BM_SelectionBandStep(benchmark::State& State) {
  Drag(State, TQxObjectInteract{TQxObjectInteractItems::oiEdit});
}
BENCHMARK(BM_SelectionBandStep)->Unit(benchmark::kMicrosecond);

// The peer: the composed frame's whole client area sent to the window again.
void BM_ClientSizeCopy(benchmark::State& State) {
  TScene s;
  for (auto _ : State) {
    s.View->PaintClientRect(TRect(0, 0, 800, 600));
    Application->ProcessMessages();
  }
}
BENCHMARK(BM_ClientSizeCopy)->Unit(benchmark::kMicrosecond);

// For scale: a step that composes every layer and object again, as a band drawn into the frame needs.
void BM_RecomposedFrame(benchmark::State& State) {
  TScene s;
  for (auto _ : State) {
    s.View->UpdateView();
    Application->ProcessMessages();
  }
}
BENCHMARK(BM_RecomposedFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
