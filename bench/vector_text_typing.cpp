// Typing at the end of a 100,000-character memo shown in a 600 x 400 editor with the machine's
// fonts: each key inserts the character and repaints the editor at once, laying out the whole text
// again. One key must stay well inside a 16 ms frame. "Formats" gives every word its own colour
// and every sentence its own size, so that fonts change along the whole text.
#include <benchmark/benchmark.h>

#include <string>

#include "imaging/vector/text_control.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"

namespace {

std::string MemoText(size_t Length) {
  static const char* Words[] = {"reflection", "mirror", "fade", "picture", "of", "the", "a", "water", "light"};
  std::string T;
  size_t W = 0, Line = 0;
  while (T.size() < Length) {
    const std::string Word = Words[W++ % 9];
    T += Word;
    Line += Word.size() + 1;
    if (Line > 70) {
      T += '\n';
      Line = 0;
    } else {
      T += ' ';
    }
  }
  T.resize(Length);
  return T;
}

void TypeAtTheEnd(benchmark::State& State, bool Formats) {
  Headless::Use();
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 620, 420);
  auto* C = new TQxTextControl(&Form);
  C->SetParent(&Form);
  C->SetBounds(10, 10, 600, 400);
  C->DefaultFont.SetName("Arial");
  C->DefaultFont.SetHeight(-13);
  C->TextBuffer = MemoText(100000);
  C->BeginEdit();
  if (Formats) {
    TQxCharFormat F;
    for (int32_t I = 0; I < C->TextLength; ++I) {
      C->GetCharFormat(I, F);
      F.FontColor = static_cast<TColor>((I / 8) % 5 * 0x302010);
      F.FontHeight = -12 - (I / 100) % 4;
      C->SetCharFormat(I, F);
    }
  }
  Form.Show();
  Application->ProcessMessages();
  C->SetFocus();
  C->CaretIndex = C->TextLength;
  C->UpdateView();
  Application->ProcessMessages();
  for (auto _ : State) {
    C->HandleChar('x');
    benchmark::DoNotOptimize(C->CaretX);
  }
  State.counters["characters"] = C->TextLength;
}

void BM_TypeAtEnd(benchmark::State& State) { TypeAtTheEnd(State, false); }
void BM_TypeAtEndFormats(benchmark::State& State) { TypeAtTheEnd(State, true); }

}  // namespace

BENCHMARK(BM_TypeAtEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeAtEndFormats)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
