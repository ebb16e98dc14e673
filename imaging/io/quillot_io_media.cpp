// The I/O component's frames of video files: any video the media libraries read, and AVI files through
// the same road.
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/numeric.h"

int32_t TQuillotIO::OpenMediaFile(const std::string& FileName) {
  CloseMediaFile();
  Aborting = true;
  FMedia = std::make_unique<TQxDirectShow>();
  FMedia->SourceMediaFile = FileName;
  FMedia->GrabFrames = true;
  FMedia->MaxPixels = Params->MaxPixels;
  FMedia->Connect();
  FMedia->Pause();
  FMedia->SetTimeFormat(5);
  const int64_t D = FMedia->Duration();
  // A video without a duration stays open (and Aborting set) until the next open or close.
  if (D == 0) return 0;
  FMedia->SetTimeFormat(1);
  int64_t Frames = FMedia->Duration();
  const int64_t A = FMedia->AvgTimePerFrame();
  FMediaStep = 1;
  if (Frames == D) {
    // The frame format was refused: step through media time instead.
    FMedia->SetTimeFormat(5);
    if (A != 0) {
      Frames = D / A;
      FMediaStep = A;
    }
  }
  if (Frames <= 0) return 0;
  FMediaFrames = static_cast<int32_t>(std::min<int64_t>(Frames, INT32_MAX));
  FMediaDelay = static_cast<double>(D) / 10000000.0 / static_cast<double>(Frames) * 1000.0;
  Aborting = false;
  Params->MediaFileFrameCount = FMediaFrames;
  Params->FileType = 0;
  Params->FileName = FileName;
  int32_t W = 0, H = 0;
  std::string Name;
  FMedia->GetVideoFormat(W, H, Name);
  Params->Width = Params->OriginalWidth = W;
  Params->Height = Params->OriginalHeight = H;
  return FMediaFrames;
}

void TQuillotIO::LoadMediaFrame(int32_t Index) {
  if (!FMedia || !FWorkBitmap) return;
  // Frames past the video would only repeat its last one.
  if (Index < 0 || Index >= FMediaFrames) return;
  Params->SetAllImageIndexes(Index);
  FMedia->SetPosition(static_cast<int64_t>(Index) * FMediaStep);
  if (!FMedia->GrabFrame(FWorkBitmap, true)) {
    Aborting = true;
    return;
  }
  Params->MediaFileFrameDelay = static_cast<int32_t>(Round(FMediaDelay));
  UpdateView();
}

void TQuillotIO::CloseMediaFile() {
  FMedia.reset();
  FMediaFrames = 0;
}

int32_t TQuillotIO::OpenAviFile(const std::string& FileName) {
  Aborting = false;
  CloseAviFile();
  Params->AviFrameCount = 0;
  Params->FileName = FileName;
  Params->FileType = 0;
  FAvi = std::make_unique<TQxDirectShow>();
  FAvi->SourceMediaFile = FileName;
  FAvi->MaxPixels = Params->MaxPixels;
  FAvi->Connect();
  FAvi->SetTimeFormat(1);
  const int64_t Frames = FAvi->Connected() ? FAvi->Duration() : 0;
  const int64_t A = FAvi->AvgTimePerFrame();
  if (Frames <= 0) {
    CloseAviFile();
    Aborting = true;
    return 0;
  }
  FAviFrames = static_cast<int32_t>(std::min<int64_t>(Frames, INT32_MAX));
  Params->AviFrameCount = FAviFrames;
  Params->AviFrameDelay = A > 0 ? static_cast<int32_t>(Trunc(1000.0 / (10000000.0 / static_cast<double>(A)))) : 0;
  return FAviFrames;
}

void TQuillotIO::LoadAviFrame(int32_t Index) {
  Aborting = false;
  if (MakeConsistentBitmap({}) && FAvi && Index >= 0 && Index < FAviFrames) {
    FAvi->SetPosition(Index);
    if (FAvi->GrabFrame(FWorkBitmap, false)) {
      Params->BitsPerSample = 8;
      Params->SamplesPerPixel = 3;
      Params->SetDpiX(QxDefaultDpiX);
      Params->SetDpiY(QxDefaultDpiY);
      Params->Width = Params->OriginalWidth = FWorkBitmap->Width();
      Params->Height = Params->OriginalHeight = FWorkBitmap->Height();
      UpdateView();
    } else {
      Aborting = true;
    }
  }
  DoFinishWork();
}

void TQuillotIO::CloseAviFile() {
  FAvi.reset();
  FAviFrames = 0;
}
