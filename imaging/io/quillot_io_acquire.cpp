// The I/O component's scanner and capture objects, and pictures scanned into the work bitmap.
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/scanner.h"

TQxWia* TQuillotIO::GetWIAParams() {
  if (!FWia) {
    FWia = std::make_unique<TQxWia>(this);
    FWia->OnTransferProgress = [this](int32_t Percent) {
      DoProgress(this, Percent);
      return !Aborting;
    };
  }
  return FWia.get();
}

TQxDirectShow* TQuillotIO::GetDShowParams() {
  if (!FDShow) {
    FDShow = std::make_unique<TQxDirectShow>();
    if (FAttachedQuillot) FDShow->SetNotifyWindow(FAttachedQuillot, QX_DSHOW_NEWFRAME, QX_DSHOW_EVENT);
  }
  return FDShow.get();
}

void TQuillotIO::RebindDShowWindow() {
  if (FAttachedQuillot && FDShow && FDShow->NotifyWindow() != FAttachedQuillot)
    FDShow->SetNotifyWindow(FAttachedQuillot, QX_DSHOW_NEWFRAME, QX_DSHOW_EVENT);
}

bool TQuillotIO::Acquire(const std::string& Device, const std::vector<std::pair<std::string, std::string>>& Options) {
  Aborting = false;
  TQxWia* wia = GetWIAParams();
  TQxBitmap scan;
  if (!wia->Scan(Device, scan, Options)) {
    Aborting = true;
    Params->ReadError = wia->LastError;
    DoFinishWork();
    return false;
  }
  Params->ResetInfo();
  Params->FileName.clear();
  Params->FileType = 0;
  Params->Width = Params->OriginalWidth = scan.Width();
  Params->Height = Params->OriginalHeight = scan.Height();
  switch (scan.PixelFormat()) {
    case TQxPixelFormat::qx1g: Params->BitsPerSample = 1, Params->SamplesPerPixel = 1; break;
    case TQxPixelFormat::qx8g: Params->BitsPerSample = 8, Params->SamplesPerPixel = 1; break;
    case TQxPixelFormat::qx16g: Params->BitsPerSample = 16, Params->SamplesPerPixel = 1; break;
    case TQxPixelFormat::qxRGB48: Params->BitsPerSample = 16, Params->SamplesPerPixel = 3; break;
    default: Params->BitsPerSample = 8, Params->SamplesPerPixel = 3; break;
  }
  const int32_t dpi = wia->LastResolution > 0 ? wia->LastResolution : QxDefaultDpiX;
  Params->SetDpiX(dpi);
  Params->SetDpiY(wia->LastResolution > 0 ? wia->LastResolution : QxDefaultDpiY);
  TIOParamsVals* out = nullptr;
  DoAcquireBitmap(&scan, out);
  DoFinishWork();
  return true;
}
