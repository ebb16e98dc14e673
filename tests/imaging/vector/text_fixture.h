#pragma once
// Shared set-up of the text editor tests: fixed character metrics and a control on a shown form.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/vector/text_control.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

// Every character 6 pixels wide ('i' 3, 'W' 10, one more when bold); cells |height| + 3 high with
// 3 pixels of internal leading and a descent of 2.
class TFixedMeasurer : public TQxTextMeasurer {
 public:
  int32_t CharWidth(TCanvas* C, char Ch) override {
    int32_t W = Ch == 'i' ? 3 : Ch == 'W' ? 10 : 6;
    return C->Font()->Style().Contains(TFontStyle::fsBold) ? W + 1 : W;
  }
  void FontMetrics(TCanvas* C, int32_t& Height, int32_t& Leading, int32_t& Descent) override {
    Height = std::abs(C->Font()->Height()) + 3;
    Leading = 3;
    Descent = 2;
  }
};

inline TFixedMeasurer& FixedMetrics() {
  static TFixedMeasurer M;
  return M;
}

// Lends Text to the control the way a memo does and starts editing.
inline void LendText(TQxTextControl& C, const std::string& Text) {
  C.TextBuffer = Text;
  C.CharFormats.clear();
  C.CharFormatIndexes.clear();
  C.BeginEdit();
}

class TextControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    QxTextControlInit();
    QxFillTextShortcuts();
    Form = new TForm(nullptr);
    Form->SetBounds(100, 100, 420, 300);
    Ctl = new TQxTextControl(Form);
    Ctl->SetParent(Form);
    Ctl->SetBounds(10, 10, 200, 120);
    Ctl->Measurer = &FixedMetrics();
    Ctl->DefaultFont.SetHeight(-10);
    Form->Show();
    Application->ProcessMessages();
    Ctl->SetFocus();
    Application->ProcessMessages();
  }
  void TearDown() override {
    delete Form;
    Application->ProcessMessages();
    UseTestUiClock(false);
  }
  // Text, caret and selection as a test starts them; painted so that the caret moves can read
  // the laid-out positions.
  void Load(const std::string& Text, int32_t Caret = 0, int32_t SelStart = 0, int32_t SelEnd = 0) {
    LendText(*Ctl, Text);
    Ctl->CaretIndex = Caret;
    Ctl->SelStart = SelStart;
    Ctl->SelEnd = SelEnd;
    Paint();
  }
  void Paint() {
    Ctl->Invalidate();
    Application->ProcessMessages();
  }
  void Key(uint16_t K, TShiftState S = {}) {
    Headless::Key(Form, K, S);
    Application->ProcessMessages();
  }
  TForm* Form = nullptr;
  TQxTextControl* Ctl = nullptr;
};
