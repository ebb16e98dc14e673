#pragma once
// Shared set-up for the windowing tests: the headless back end on a stopped clock.

#include <gtest/gtest.h>

#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
  }
  void TearDown() override {
    Application->ProcessMessages();
    UseTestUiClock(false);
  }
  // Shows a form of the given client size at (100, 100) and paints it.
  static void ShowAt(TCustomForm* F, int32_t W, int32_t H) {
    F->SetBounds(100, 100, W, H);
    F->Show();
    Application->ProcessMessages();
  }
};

// A windowed control that paints itself one colour and logs what it gets.
class TProbe : public TCustomControl {
 public:
  explicit TProbe(TComponent* O, TColor Fill = clRed) : TCustomControl(O), FillColor(Fill) { SetTabStop(true); }
  TColor FillColor;
  std::vector<std::string>* Log = nullptr;
  std::string Tag;
  int Paints = 0;
  TRect LastClip;
  intptr_t DlgCode = 0;

 protected:
  void Paint() override {
    ++Paints;
    TBrush b;
    b.SetColor(FillColor);
    FillRect(Canvas(), ClientRect(), b);
    GetClipBox(Canvas(), &LastClip);
    Note("paint");
  }
  void Dispatch(TMessage& M) override {
    switch (M.Msg) {
      case WM_SETFOCUS: Note("setfocus"); break;
      case WM_KILLFOCUS: Note("killfocus"); break;
      case CM_ENTER: Note("enter"); break;
      case CM_EXIT: Note("exit"); break;
      case CM_MOUSEENTER: Note("mouseenter"); break;
      case CM_MOUSELEAVE: Note("mouseleave"); break;
      case WM_LBUTTONDOWN: Note("ldown"); break;
      case WM_LBUTTONUP: Note("lup"); break;
      case WM_LBUTTONDBLCLK: Note("ldbl"); break;
      case WM_GETDLGCODE: M.Result = DlgCode; return;
    }
    TCustomControl::Dispatch(M);
  }
  void KeyDown(uint16_t& Key, TShiftState Shift) override {
    Note("keydown " + std::to_string(Key));
    TCustomControl::KeyDown(Key, Shift);
  }
  void KeyPress(std::string& Key) override {
    Note("char " + std::to_string(Key.empty() ? 0 : static_cast<unsigned char>(Key[0])));
    TCustomControl::KeyPress(Key);
  }
  void Note(const std::string& s) {
    if (Log) Log->push_back(Tag + ":" + s);
  }
};
