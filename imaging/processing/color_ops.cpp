// Colour and pixel-format operations of the processing component; the per-pixel work is done by the
// colour kernels.
#include <cstdio>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/processing/proc.h"

void TQuillotProc::Clear() {
  if (!BeginWork({})) return;
  if (AutoUndo()) SaveUndoCaptioned("Clear");
  WorkBitmap()->Fill(Background());
  EndWork();
  DoFinishWork();
}

void TQuillotProc::ConvertToGray() {
  int32_t x1, y1, x2, y2;
  TQxBitmap* work = nullptr;
  TQxMask* mask = nullptr;
  if (!BeginSelectionWork({TQxPixelFormat::qx24RGB}, x1, y1, x2, y2, "ConvertToGray", work, mask)) return;
  QxGrayRect(work, x1, y1, x2, y2, OnProgress, this);
  EndSelectionWork(work, mask);
  DoFinishWork();
}

void TQuillotProc::ConvertTo(int32_t Colors, bool Threshold) {
  if (!BeginWork({TQxPixelFormat::qx24RGB})) return;
  if (AutoUndo()) {
    char caption[48];
    std::snprintf(caption, sizeof caption, "ConvertTo %d", Colors);
    SaveUndoCaptioned(caption);
  }
  TQxProgressInfo info;
  info.OnProgress = OnProgress;
  info.Sender = this;
  if (Colors < 3) {
    if (Threshold)
      QxThresholdBW(WorkBitmap(), -1, info);
    else
      QxOrderedDitherBW(WorkBitmap(), info);
  } else if (Colors <= 1024) {
    QxQuantizeInPlace(WorkBitmap(), Colors, nullptr, this, OnProgress);
  }
  EndWork();
  DoFinishWork();
}

void TQuillotProc::ConvertToPalette(int32_t Colors, TQxRGB* Palette, bool Threshold) {
  if (Colors == 0) return;
  if (!BeginWork({TQxPixelFormat::qx24RGB})) return;
  if (AutoUndo()) SaveUndoCaptioned("ConvertToPalette");
  TQxProgressInfo info;
  info.OnProgress = OnProgress;
  info.Sender = this;
  if (Colors < 3) {
    if (Threshold)
      QxThresholdBW(WorkBitmap(), -1, info);
    else
      QxOrderedDitherBW(WorkBitmap(), info);
    if (Palette) {
      Palette[0] = TQxRGB{0, 0, 0};
      if (Colors > 1) Palette[1] = TQxRGB{255, 255, 255};
    }
  } else if (Colors <= 1024) {
    QxQuantizeInPlace(WorkBitmap(), Colors, Palette, this, OnProgress);
  }
  EndWork();
  DoFinishWork();
}

void TQuillotProc::ConvertToBWOrdered() {
  if (!BeginWork({TQxPixelFormat::qx24RGB})) return;
  if (AutoUndo()) SaveUndoCaptioned("ConvertToBWOrdered");
  TQxProgressInfo info;
  info.OnProgress = OnProgress;
  info.Sender = this;
  QxOrderedDitherBW(WorkBitmap(), info);
  EndWork();
  DoFinishWork();
}

void TQuillotProc::Fill(TQxRGB Color) {
  char caption[64];
  std::snprintf(caption, sizeof caption, "Fill (%d, %d, %d)", Color.r, Color.g, Color.b);
  int32_t x1, y1, x2, y2;
  TQxBitmap* work = nullptr;
  TQxMask* mask = nullptr;
  if (!BeginSelectionWork({}, x1, y1, x2, y2, caption, work, mask)) return;
  QxFillRectRGB(work, x1, y1, x2, y2, QxPackRGB(Color), OnProgress, this);
  EndSelectionWork(work, mask);
  DoFinishWork();
}

void TQuillotProc::SetTransparentColors(TQxRGB MinColor, TQxRGB MaxColor, int32_t Alpha) {
  int32_t x1, y1, x2, y2;
  TQxBitmap* work = nullptr;
  TQxMask* mask = nullptr;
  if (!BeginSelectionWork({TQxPixelFormat::qx1g, TQxPixelFormat::qx24RGB}, x1, y1, x2, y2, "SetTransparentColors",
                          work, mask))
    return;
  QxSetAlphaRange(work, x1, y1, x2, y2, QxPackRGB(MinColor), QxPackRGB(MaxColor), Alpha, OnProgress, this);
  EndSelectionWork(work, mask);
  DoFinishWork();
}
