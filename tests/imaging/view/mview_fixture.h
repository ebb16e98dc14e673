#pragma once
// Thumbnail views for the tests: one in a window of the headless back end, pictures made on the spot.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/view/mview.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

inline std::unique_ptr<TQxBitmap> SolidPicture(int32_t W, int32_t H, TQxRGB C) {
  auto b = std::make_unique<TQxBitmap>();
  b->SetLocation(TQxLocation::qxMemory);
  b->Allocate(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) reinterpret_cast<TQxRGB*>(b->Scanline(y))[x] = C;
  return b;
}

class MViewWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(50, 50, 700, 600);
    view = new TQuillotMView(form.get());
    view->SetBorderStyle(TBorderStyle::bsNone);
    view->SetParent(form.get());
    view->SetBounds(0, 0, 400, 300);
    form->Show();
    Application->ProcessMessages();
  }
  void TearDown() override {
    form.reset();
    Application->ProcessMessages();
    UseTestUiClock(false);
  }
  // N entries with solid pictures given by the caller (none: no picture).
  void AddEntries(int32_t N, bool WithPictures = true) {
    view->IncPaintLock();
    for (int32_t i = 0; i < N; ++i) {
      view->InsertImage(view->ImageCount());
      if (WithPictures) view->SetImageBitmap(view->ImageCount() - 1, SolidPicture(20, 20, {10, 20, 30}).get());
    }
    view->DecPaintLockAndUpdate();
  }
  // Client point inside the cell of entry I.
  TPoint CellPoint(int32_t I) {
    TQxMViewEntry* e = view->Entry(I);
    return TPoint(e->X - view->ViewX() + 10, e->Y - view->ViewY() + 10);
  }
  // Clicks far enough apart in time not to make double clicks.
  void Click(int32_t I, TShiftState Shift = {}) {
    AdvanceUiClock(GetDoubleClickTime() + 1);
    const TPoint p = CellPoint(I);
    Headless::Click(form.get(), p.X, p.Y, TMouseButton::mbLeft, Shift);
    Application->ProcessMessages();
  }
  std::unique_ptr<TForm> form;
  TQuillotMView* view = nullptr;
};
