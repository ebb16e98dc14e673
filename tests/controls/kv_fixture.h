#pragma once
// Shared set-up for the themed-control tests: the headless back end on a stopped clock, a form
// to put controls on, and pixel helpers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

class KvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(50, 50, 320, 240);
  }
  void TearDown() override {
    Form.reset();
    Application->ProcessMessages();
    UseTestUiClock(false);
  }
  template <class T>
  T* Add(int32_t L, int32_t Top, int32_t W, int32_t H, TWinControl* Parent = nullptr) {
    T* c = new T(Form.get());
    c->SetParent(Parent ? Parent : Form.get());
    c->SetBounds(L, Top, W, H);
    return c;
  }
  void ShowForm() {
    Form->Show();
    Application->ProcessMessages();
  }
  // Runs the message loop after moving the clock by Ms.
  static void Wait(uint64_t Ms) {
    AdvanceUiClock(Ms);
    Application->ProcessMessages();
  }
  // A PNG of the form in the build tree; returns its path.
  std::string Screenshot(const std::string& Name) {
    Application->ProcessMessages();
    // Tests run in their build folder, so the pictures land in the build tree.
    std::string path = Name + ".png";
    EXPECT_TRUE(Headless::SaveWindowPng(Form.get(), path));
    return path;
  }
  std::unique_ptr<TForm> Form;
};

// A white 32-bit bitmap to paint on.
inline std::unique_ptr<TBitmap> Blank(int32_t W, int32_t H, TColor Fill = clWhite) {
  auto b = std::make_unique<TBitmap>(W, H, TPixelFormat::pf32bit);
  b->Canvas()->Brush()->SetColor(Fill);
  b->Canvas()->FillRect(TRect(0, 0, W, H));
  return b;
}

inline COLORREF Px(TBitmap& B, int32_t X, int32_t Y) { return B.GetPixel(X, Y); }
inline COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }
