#pragma once
// The thumbnail view's records of background loads, shared by its source files.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/mview.h"

// A cell text shortened with "..." until it fits Width on C, at the end (Side 0) or the start (Side 1);
// other sides leave it whole. Whole characters are cut, never part of a UTF-8 sequence.
std::string QxShortenCellText(TCanvas* C, const std::string& Full, int32_t Width, uint8_t Side);

struct TQuillotMView::TRunningLoad {
  std::unique_ptr<TQuillotIO> IO;
  std::unique_ptr<TQxBitmap> Bitmap;
  // The entry position while it runs, -1 finished (may be freed), -2 cancelled and still running.
  int32_t Tag = 0;
  uint64_t Serial = 0;
  std::atomic<bool> Finished{false};
  TLoadSettings Settings;
};

struct TQuillotMView::TLoadResult {
  int32_t Index = 0;
  uint64_t Serial = 0;
  std::unique_ptr<TQxBitmap> Picture;  // nil when the load failed
  std::unique_ptr<TIOParamsVals> Params;
  TColor Background = clBtnFace;
  int32_t OriginalWidth = 0, OriginalHeight = 0;
};

