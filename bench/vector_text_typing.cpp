// Typing at the end of a 100,000-character memo shown in a 600 x 400 editor with the machine's
// fonts: each key inserts the character and repaints the editor at once, laying out the whole text
// again. One key must stay well inside a 16 ms frame. "Arrow" moves the caret instead, which
// clears every cached measurement. "Formats" gives every word its own colour
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

enum class TWhat { Type, Arrow };

void AtTheEnd(benchmark::State& State, bool Formats, TWhat What) {
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
  bool Left = true;
  for (auto _ : State) {
    if (What == TWhat::Type) {
      C->HandleChar('x');
    } else {
      // A caret move measures the whole text again.
      C->HandleKeyDown(Left ? VK_LEFT : VK_RIGHT, {});
      C->Update();
      Left = !Left;
    }
    benchmark::DoNotOptimize(C->CaretX);
  }
  State.counters["characters"] = C->TextLength;
}

void BM_TypeAtEnd(benchmark::State& State) { AtTheEnd(State, false, TWhat::Type); }
void BM_TypeAtEndFormats(benchmark::State& State) { AtTheEnd(State, true, TWhat::Type); }
void BM_ArrowAtEnd(benchmark::State& State) { AtTheEnd(State, false, TWhat::Arrow); }

}  // namespace

BENCHMARK(BM_TypeAtEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypeAtEndFormats)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArrowAtEnd)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
