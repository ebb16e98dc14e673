#include "imaging/io/quillot_io.h"
#include "imaging/io/ps_pdf.h"

#include <algorithm>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/resample.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/io_init.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/png_codec.h"
#include "imaging/io/pnm_codec.h"
#include "imaging/io/raw_pixels.h"
#include "imaging/io/scanner.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"
#include "platform/ui/ext_ctrls.h"

TQxIOViewHooks& QxIOViewHooks() {
  static TQxIOViewHooks hooks;
  return hooks;
}

TQxIOFormatHandler& QxIOFormatHandler(TQxFileFormatId FormatId) {
  static TQxIOFormatHandler handlers[32];
  // Each thread gets its own empty entry for an id out of range, so clearing it races with no one.
  thread_local TQxIOFormatHandler none;
  if (FormatId < 0 || FormatId >= 32) {
    none = TQxIOFormatHandler{};
    return none;
  }
  return handlers[FormatId];
}

namespace {

}  // namespace

// ============================================================ construction and attachment

TQuillotIO::TQuillotIO(TComponent* AOwner) : TComponent(AOwner) {
  FWorkBitmap = new TQxBitmap();
  FOwnsBitmap = true;
  Params = std::make_unique<TIOParamsVals>(this);
  FTWainParams = std::make_unique<TQxTWainParams>(this);
  FPrintPreviewParams = std::make_unique<TIOPrintPreviewParams>();
  FPreviewFont = std::make_unique<TFont>();
}

std::vector<TQxIOPlugin>& QxIOPlugins() {
  static std::vector<TQxIOPlugin> plugins;
  return plugins;
}

void QxFreeIOPlugins() { QxIOPlugins().clear(); }

TQuillotIO::TQuillotIO(TQxBitmap* Bitmap) : TQuillotIO(static_cast<TComponent*>(nullptr)) { AttachQxBitmap(Bitmap); }

TQuillotIO::~TQuillotIO() {
  WaitThreads(false);
  CloseMediaFile();
  CloseAviFile();
  ClosePsDocument();
  ClosePdfDocument();
  DetachView();
  Params.reset();
  FTWainParams.reset();
  if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
  if (FOwnsBitmap) delete FWorkBitmap;
  FWorkBitmap = nullptr;
  FWia.reset();
  FDShow.reset();
}

void TQuillotIO::DetachView() {
  if (FAttachedQuillot && FChangeHandle) FAttachedQuillot->RemoveBitmapChangeCallback(FChangeHandle);
  if (FAttachedQuillot) FAttachedQuillot->RemoveFreeNotification(this);
  FChangeHandle = nullptr;
}

void TQuillotIO::SetWorkBitmap(TQxBitmap* Bitmap) {
  FVclBitmap = nullptr;
  if (FOwnsBitmap && FWorkBitmap != Bitmap) delete FWorkBitmap;
  FOwnsBitmap = false;
  FWorkBitmap = Bitmap;
}

void TQuillotIO::SetAttachedQuillot(TQxView* View) {
  DetachView();
  if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
  FAttachedTImage = nullptr;
  FAttachedQuillot = View;
  if (!View) {
    if (FOwnsBitmap) delete FWorkBitmap;
    FWorkBitmap = new TQxBitmap();
    FOwnsBitmap = true;
    FVclBitmap = nullptr;
    return;
  }
  if (FOwnsBitmap) delete FWorkBitmap;
  FOwnsBitmap = false;
  FWorkBitmap = nullptr;
  FVclBitmap = View->GetTBitmap();
  if (TQxBitmap* b = View->GetQxBitmap()) {
    FWorkBitmap = b;
    FVclBitmap = nullptr;
  } else if (FVclBitmap) {
    FWorkBitmap = new TQxBitmap();
    FOwnsBitmap = true;
    FWorkBitmap->AttachTBitmap(FVclBitmap, true);
  }
  View->FreeNotification(this);
  FChangeHandle = View->AddBitmapChangeCallback(&TQuillotIO::HandleViewChange, this);
}

void TQuillotIO::HandleViewChange(void* Data, TQxView* View, bool Destroying) {
  auto* self = static_cast<TQuillotIO*>(Data);
  if (Destroying) {
    // The view frees the registration; never touch its bitmap again.
    self->FChangeHandle = nullptr;
    self->FAttachedQuillot = nullptr;
    if (!self->FOwnsBitmap) {
      self->FWorkBitmap = new TQxBitmap();
      self->FOwnsBitmap = true;
    }
    self->FVclBitmap = nullptr;
    return;
  }
  if (!self->FAttachedQuillot) return;
  if (self->FWorkBitmap && !self->FOwnsBitmap) {
    self->FWorkBitmap = View->GetQxBitmap();
    self->FVclBitmap = nullptr;
  } else if (self->FVclBitmap) {
    self->FVclBitmap = View->GetTBitmap();
    if (self->FOwnsBitmap && self->FWorkBitmap) self->FWorkBitmap->AttachTBitmap(self->FVclBitmap, true);
  }
  self->Params->SetDpiX(View->DpiX());
  self->Params->SetDpiY(View->DpiY());
}

void TQuillotIO::AttachQxBitmap(TQxBitmap* Bitmap) {
  if (!Bitmap && (FAttachedQuillot || FAttachedTImage)) return;
  DetachView();
  SetWorkBitmap(Bitmap);
  FAttachedQuillot = nullptr;
  if (FAttachedTImage) FAttachedTImage->RemoveFreeNotification(this);
  FAttachedTImage = nullptr;
}

void TQuillotIO::SetAttachedTImage(TImage* Image) {
  DetachView();
  FAttachedQuillot = nullptr;
  if (FAttachedTImage && FAttachedTImage != Image) FAttachedTImage->RemoveFreeNotification(this);
  FAttachedTImage = Image;
  if (Image) {
    // The wrapper is ours; the picture's bitmap stays the image's.
    SetWorkBitmap(nullptr);
    FWorkBitmap = new TQxBitmap();
    FOwnsBitmap = true;
    FVclBitmap = Image->Picture()->Bitmap();
    FWorkBitmap->AttachTBitmap(FVclBitmap, true);
    Image->FreeNotification(this);
  } else {
    FVclBitmap = nullptr;
    if (!FOwnsBitmap) {
      FWorkBitmap = new TQxBitmap();
      FOwnsBitmap = true;
    }
    FWorkBitmap->FreeImage(true);
  }
}

void TQuillotIO::SetBitmapNoAttach(TQxBitmap* Bitmap) { SetWorkBitmap(Bitmap); }

void TQuillotIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && FAttachedQuillot && AComponent == FAttachedQuillot) {
    FChangeHandle = nullptr;
    FAttachedQuillot = nullptr;
    if (!FOwnsBitmap) {
      FWorkBitmap = new TQxBitmap();
      FOwnsBitmap = true;
    }
    FVclBitmap = nullptr;
  }
  if (Operation == opRemove && FAttachedTImage && AComponent == FAttachedTImage) {
    // The image's bitmap goes with it: the wrapper lets go of it.
    FAttachedTImage = nullptr;
    FVclBitmap = nullptr;
    if (FOwnsBitmap) FWorkBitmap->FreeImage(true);
  }
}

TColor TQuillotIO::Background() const {
  if (FAttachedQuillot) {
    if (QxIOViewHooks().GetBackground) return QxIOViewHooks().GetBackground(FAttachedQuillot);
    return FAttachedQuillot->Background();
  }
  return FOwnBackground;
}

void TQuillotIO::SetBackground(TColor Value) {
  if (!FAttachedQuillot) FOwnBackground = Value;
}

bool TQuillotIO::NativePixelFormat() const { return Params ? Params->NativePixelFormat != 0 : false; }
void TQuillotIO::SetNativePixelFormat(bool Value) {
  if (Params) Params->NativePixelFormat = Value ? 1 : 0;
}

TBitmap* TQuillotIO::GetTBitmap() {
  if (FWorkBitmap && FWorkBitmap->Location() == TQxLocation::qxTBitmap) return FWorkBitmap->GetTBitmap();
  return FVclBitmap;
}

void TQuillotIO::SetBilevelConversion(uint8_t Value) {
  if (FWorkBitmap) FWorkBitmap->BWConversion = Value;
  BilevelMode = Value;
}

// ============================================================ workers

bool TQuillotIO::IsInsideIOThread() {
  std::lock_guard<std::mutex> l(FThreadLock);
  return std::find(FThreadList.begin(), FThreadList.end(), std::this_thread::get_id()) != FThreadList.end();
}

bool TQuillotIO::OnWorker() { return IsInsideIOThread(); }

bool TQuillotIO::RunAsync(std::function<void()> Work) {
  if (FOwnsBitmap || !AsyncMode || IsInsideIOThread()) return false;
  {
    std::lock_guard<std::mutex> l(FThreadLock);
    ++FPendingThreads;
  }
  try {
    std::thread([this, Work = std::move(Work)]() mutable {
      {
        std::lock_guard<std::mutex> l(FThreadLock);
        FThreadList.push_back(std::this_thread::get_id());
      }
      try {
        Work();
      } catch (...) {
        Aborting = true;
      }
      Work = nullptr;  // what the call held goes before the component may
      std::lock_guard<std::mutex> l(FThreadLock);
      FThreadList.erase(std::find(FThreadList.begin(), FThreadList.end(), std::this_thread::get_id()));
      if (--FPendingThreads == 0) FThreadsDone.notify_all();
    }).detach();
  } catch (...) {
    std::lock_guard<std::mutex> l(FThreadLock);
    if (--FPendingThreads == 0) FThreadsDone.notify_all();
    throw;
  }
  return true;
}

int32_t TQuillotIO::PendingWorkers() {
  std::lock_guard<std::mutex> l(FThreadLock);
  return FPendingThreads;
}

void TQuillotIO::WaitThreads(bool Abort) {
  std::unique_lock<std::mutex> l(FThreadLock);
  if (Abort) Aborting = true;
  FThreadsDone.wait(l, [this] { return FPendingThreads == 0; });
}

// ============================================================ services

TQxProgressInfo TQuillotIO::MakeProgress(bool WithCallback) {
  TQxProgressInfo p;
  if (WithCallback) {
    p.OnProgress = [this](TObject* Sender, int32_t per) { DoProgress(Sender, per); };
    p.Sender = this;
  }
  p.AbortFlag = &Aborting;
  return p;
}

bool TQuillotIO::MakeConsistentBitmap(TQxPixelFormatSet Allowed) {
  if (!FWorkBitmap) return false;
  if (FVclBitmap) FWorkBitmap->AttachTBitmap(FVclBitmap, false);
  if (Allowed.Empty()) return true;
  return Allowed.Contains(FWorkBitmap->PixelFormat());
}

void TQuillotIO::DoProgress(TObject* Sender, int32_t per) {
  if (!OnProgress) return;
  auto& h = QxIOViewHooks();
  if (FAttachedQuillot && h.HasParent && h.HasParent(FAttachedQuillot) && h.PostToView && OnWorker()) {
    h.PostToView(FAttachedQuillot, QX_WM_IOPROGRESS, static_cast<uintptr_t>(per), 0);
    return;
  }
  OnProgress(Sender, per);
}

void TQuillotIO::DoFinishWork() {
  DoProgress(this, 100);
  if (!OnFinishWork) return;
  auto& h = QxIOViewHooks();
  if (FAttachedQuillot && h.HasParent && h.HasParent(FAttachedQuillot) && h.PostToView && OnWorker()) {
    h.PostToView(FAttachedQuillot, QX_WM_IOFINISH, 0, 0);
    return;
  }
  OnFinishWork(this);
}

void TQuillotIO::UpdateView() {
  if (FVclBitmap && FWorkBitmap) FWorkBitmap->RemoveAlphaChannel(false, 0xFFFFFF);
  if (FAttachedQuillot) {
    auto& h = QxIOViewHooks();
    if (!OnWorker()) {
      if (h.UpdateView) h.UpdateView(FAttachedQuillot);
    } else if (h.HasParent && h.HasParent(FAttachedQuillot) && h.PostToView) {
      h.PostToView(FAttachedQuillot, QX_WM_IOREFRESH, 0, 0);
    }
    FAttachedQuillot->DoImageChange();
  } else if (FVclBitmap) {
    FVclBitmap->Modified();
  }
}

void TQuillotIO::UpdateViewDPI() {
  auto& h = QxIOViewHooks();
  if (FAttachedQuillot && h.IsQuillotView && h.IsQuillotView(FAttachedQuillot)) {
    if (h.IncUpdateLock) h.IncUpdateLock(FAttachedQuillot);
    FAttachedQuillot->SetDpi(Params->DpiX, Params->DpiY);
    if (h.DecUpdateLock) h.DecUpdateLock(FAttachedQuillot);
  }
}

void TQuillotIO::ApplyDefaultDpi() {
  if (Params->DpiX < 2) Params->SetDpiX(QxDefaultDpiX);
  if (Params->DpiY < 2) Params->SetDpiY(QxDefaultDpiY);
}

namespace {

// Nearest-neighbour stretch of any format into Dest (already allocated).
void StretchNearest(TQxBitmap* Src, TQxBitmap* Dest) {
  const int32_t sw = Src->Width(), sh = Src->Height(), dw = Dest->Width(), dh = Dest->Height();
  const int32_t bpp = Src->BitCount();
  for (int32_t y = 0; y < dh; ++y) {
    const uint8_t* s = Src->Scanline(static_cast<int32_t>(static_cast<int64_t>(y) * sh / dh));
    uint8_t* d = Dest->Scanline(y);
    for (int32_t x = 0; x < dw; ++x) {
      const int32_t sx = static_cast<int32_t>(static_cast<int64_t>(x) * sw / dw);
      if (bpp == 1) {
        bool bit = (s[sx >> 3] & (0x80 >> (sx & 7))) != 0;
        if (bit)
          d[x >> 3] = uint8_t(d[x >> 3] | (0x80 >> (x & 7)));
        else
          d[x >> 3] = uint8_t(d[x >> 3] & ~(0x80 >> (x & 7)));
      } else {
        const int32_t b = bpp / 8;
        std::memcpy(d + static_cast<size_t>(x) * b, s + static_cast<size_t>(sx) * b, static_cast<size_t>(b));
      }
    }
  }
}

}  // namespace

void TQuillotIO::AdjustDPI() {
  if (!MakeConsistentBitmap({})) return;
  TIOParamsVals& P = *Params;
  if (P.DpiX == P.DpiY || P.DpiX <= 0 || P.DpiY <= 0 || FWorkBitmap->Width() == 0 || FWorkBitmap->Height() == 0 ||
      P.Width <= 0 || P.Height <= 0)
    return;
  if (P.Height < P.Width) {
    P.Height = static_cast<int32_t>(Trunc(static_cast<double>(P.Height) / P.DpiY * P.DpiX));
    P.DpiY = P.DpiX;
  } else {
    P.Width = static_cast<int32_t>(Trunc(static_cast<double>(P.Width) / P.DpiX * P.DpiY));
    P.DpiX = P.DpiY;
  }
  if (P.Width <= 0 || P.Height <= 0) return;
  std::unique_ptr<TQxBitmap> alpha;
  if (FWorkBitmap->HasAlphaChannel()) {
    alpha = std::make_unique<TQxBitmap>();
    alpha->AssignFrom(FWorkBitmap->GetAlphaChannel());
  }
  TQxBitmap nb;
  if (FilteredAdjustDPI) {
    FWorkBitmap->SetPixelFormat(TQxPixelFormat::qx24RGB);
    nb.Allocate(P.Width, P.Height, TQxPixelFormat::qx24RGB);
    QxResample(FWorkBitmap, &nb, TResampleFilter::rfFastLinear);
  } else {
    nb.Allocate(P.Width, P.Height, FWorkBitmap->PixelFormat());
    FWorkBitmap->CopyPaletteTo(&nb);
    StretchNearest(FWorkBitmap, &nb);
  }
  FWorkBitmap->AssignFrom(&nb);
  if (alpha) StretchNearest(alpha.get(), FWorkBitmap->GetAlphaChannel());
}

TQxBitmap* QxAdjustDPI(TQxBitmap* Bitmap, TIOParamsVals& Params, bool Filtered) {
  if (!Bitmap || Params.DpiX == Params.DpiY || Params.DpiX <= 0 || Params.DpiY <= 0 || Bitmap->Width() == 0 ||
      Bitmap->Height() == 0)
    return Bitmap;
  int32_t w = Params.Width, h = Params.Height;
  if (h < w) {
    h = static_cast<int32_t>(Trunc(static_cast<double>(h) / Params.DpiY * Params.DpiX));
    Params.SetDpiY(Params.DpiX);
  } else {
    w = static_cast<int32_t>(Trunc(static_cast<double>(w) / Params.DpiX * Params.DpiY));
    Params.SetDpiX(Params.DpiY);
  }
  Params.Width = w;
  Params.Height = h;
  if (w <= 0 || h <= 0) return Bitmap;
  auto* nb = new TQxBitmap();
  if (Filtered) {
    TQxBitmap src;
    src.AssignFrom(Bitmap);
    src.SetPixelFormat(TQxPixelFormat::qx24RGB);
    nb->Allocate(w, h, TQxPixelFormat::qx24RGB);
    QxResample(&src, nb, TResampleFilter::rfFastLinear);
  } else {
    nb->Allocate(w, h, Bitmap->PixelFormat());
    Bitmap->CopyPaletteTo(nb);
    StretchNearest(Bitmap, nb);
  }
  return nb;
}

void TQuillotIO::AcquireBitmapEvent(TQxBitmap* ABitmap, bool& Handled) {
  if (OnAcquireBitmap) OnAcquireBitmap(this, ABitmap, Handled);
}

void TQuillotIO::DoAcquireBitmap(TQxBitmap* ABitmap, TIOParamsVals*& OutParams) {
  if (!MakeConsistentBitmap({})) return;
  bool handled = false;
  AcquireBitmapEvent(ABitmap, handled);
  if (handled) return;
  OutParams = Params.get();
  FWorkBitmap->AssignFrom(ABitmap);
  if (AutoAdjustDPI) AdjustDPI();
  UpdateView();
}

void TQuillotIO::SetPreviewFont(const TFont* Value) {
  if (Value) FPreviewFont->Assign(*Value);
}

bool (*QxPreviewsDialogHook)(TQuillotIO& IO, uint16_t PageSet) = nullptr;

bool TQuillotIO::DoPreviews(uint16_t PageSet) {
  bool handled = false;
  if (OnDoPreviews) {
    OnDoPreviews(this, handled);
    if (handled) return true;
  }
  // The parameters dialog belongs to the dialogs library; without it there is nothing to show.
  if (!QxPreviewsDialogHook) return false;
  const bool ok = QxPreviewsDialogHook(*this, PageSet);
  // The dialog may have changed the picture (its Apply button works on it): the view shows it again.
  UpdateView();
  return ok;
}
