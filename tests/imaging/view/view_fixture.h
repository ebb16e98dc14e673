#pragma once
// Small helpers for the view tests: views without a window that lay out against their own size.

#include <gtest/gtest.h>

#include <memory>

#include "imaging/foundation/bitmap.h"
#include "imaging/view/view.h"

// A parentless view in OffscreenMode, ClientW x ClientH, holding a W x H 24-bit picture.
inline std::unique_ptr<TQuillotView> MakeView(int32_t W, int32_t H, int32_t ClientW, int32_t ClientH) {
  auto v = std::make_unique<TQuillotView>(nullptr);
  v->OffscreenMode = true;
  v->SetBorderStyle(TBorderStyle::bsNone);
  v->SetBounds(0, 0, ClientW, ClientH);
  v->CurrentBitmap()->Allocate(W, H, TQxPixelFormat::qx24RGB);
  v->CurrentBitmap()->Fill(0);
  v->UpdateView();
  return v;
}

inline TQxRGB Px(TQxBitmap* B, int32_t X, int32_t Y) {
  return reinterpret_cast<TQxRGB*>(B->Scanline(Y))[X];
}
