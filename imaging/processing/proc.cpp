#include "imaging/processing/proc.h"

#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/view_base.h"
#include "imaging/processing/blur.h"
#include "imaging/processing/filters.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/ext_ctrls.h"

uint32_t QxRawClipboardFormat = 0;

void QxProcInit() {
  QxBlurRect8Hook = &QxBlurRect8;
  QxInitFilterPresets();
  QxRawClipboardFormat = RegisterClipboardFormat("QUILLOT RAW FORMAT");
}

void QxProcFinal() { QxFreeFilterPresets(); }

namespace {
// The processing unit's start and end steps join the library start-up wherever the component is linked.
const bool kRegistered = [] {
  QxRegisterStartStep(TQxStartStep::qxsProc, &QxProcInit, &QxProcFinal);
  // Soft shadows drawn before the start-up ran are soft too.
  QxBlurRect8Hook = &QxBlurRect8;
  return true;
}();
}  // namespace

namespace {

using F = TQxPixelFormat;

// Conversion targets of each format, in order of preference.
const std::vector<F>& PreferenceRow(F Format) {
  static const std::vector<F> rows[QxPixelFormatCount] = {
      {},
      {F::qx8g, F::qx16g, F::qx32f, F::qx24RGB},
      {F::qx24RGB, F::qxCMYK, F::qxRGB48, F::qxCIELab},
      {F::qx16g, F::qx32f, F::qx24RGB, F::qxCMYK, F::qxRGB48},
      {F::qx32f, F::qx8g, F::qxRGB48, F::qx24RGB, F::qxCMYK},
      {F::qxCMYK, F::qxCIELab, F::qxRGB48, F::qx8p, F::qx16g, F::qx8g},
      {F::qx16g, F::qx8g, F::qx24RGB, F::qxRGB48, F::qxCIELab},
      {F::qx24RGB, F::qxRGB48, F::qxCIELab, F::qx8g},
      {F::qx24RGB, F::qxCMYK, F::qxCIELab, F::qx16g},
      {F::qx24RGB, F::qxCMYK, F::qxRGB48, F::qx8g},
      {F::qx24RGB, F::qxCMYK, F::qxRGB48, F::qx8g},
  };
  const int i = static_cast<int>(Format);
  return rows[i < QxPixelFormatCount ? i : 0];
}

constexpr TColor kWhite = 0xFFFFFF;

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Construction and attachment

TQuillotProc::TQuillotProc(TComponent* AOwner) : TComponent(AOwner), autoUndo_(AOwner != nullptr) {
  workBitmap_ = new TQxBitmap();
  ownsBitmap_ = true;
}

std::unique_ptr<TQuillotProc> TQuillotProc::CreateForBitmap(TQxBitmap* Bitmap) {
  auto p = std::make_unique<TQuillotProc>(nullptr);
  p->SetAutoUndo(false);
  p->AttachBitmap(Bitmap);
  return p;
}

TQuillotProc::~TQuillotProc() {
  Unregister();
  ForgetImage();
  ClearUndo();
  ClearRedo();
  DropOwnBitmap();
}

void TQuillotProc::DropOwnBitmap() {
  if (ownsBitmap_) delete workBitmap_;
  workBitmap_ = nullptr;
  ownsBitmap_ = false;
}

void TQuillotProc::Unregister() {
  if (attachedView_) {
    attachedView_->RemoveBitmapChangeCallback(changeHandle_);
    attachedView_->RemoveFreeNotification(this);
  }
  changeHandle_ = nullptr;
}

TQxProcViewHost* TQuillotProc::Host() const { return dynamic_cast<TQxProcViewHost*>(attachedView_); }

void TQuillotProc::SetWorkBitmap(TQxBitmap* Bitmap) {
  vclBitmap_ = nullptr;
  DropOwnBitmap();
  ownsBitmap_ = false;
  workBitmap_ = Bitmap;
}

// The view's bitmap, or an own bitmap that wraps the view's TBitmap.
void TQuillotProc::FetchViewBitmap() {
  TQxBitmap* b = attachedView_->GetQxBitmap();
  if (b) {
    if (b != workBitmap_) DropOwnBitmap();
    vclBitmap_ = nullptr;
    workBitmap_ = b;
    ownsBitmap_ = false;
    return;
  }
  DropOwnBitmap();
  workBitmap_ = new TQxBitmap();
  ownsBitmap_ = true;
  vclBitmap_ = attachedView_->GetTBitmap();
  if (vclBitmap_) workBitmap_->AttachTBitmap(vclBitmap_, true);
}

void TQuillotProc::Detach() {
  // Nothing may point into a view that is going: the component falls back to a bitmap of its own.
  attachedView_ = nullptr;
  changeHandle_ = nullptr;
  vclBitmap_ = nullptr;
  if (!ownsBitmap_) {
    workBitmap_ = new TQxBitmap();
    ownsBitmap_ = true;
  }
}

void TQuillotProc::SetAttachedQuillot(TQxView* Value) {
  Unregister();
  if (!Value) {
    attachedView_ = nullptr;
    vclBitmap_ = nullptr;
    DropOwnBitmap();
    workBitmap_ = new TQxBitmap();
    ownsBitmap_ = true;
    return;
  }
  ForgetImage();
  attachedView_ = Value;
  FetchViewBitmap();
  Value->FreeNotification(this);
  changeHandle_ = Value->AddBitmapChangeCallback(&TQuillotProc::HandleViewChange, this);
}

void TQuillotProc::HandleViewChange(void* Data, TQxView* View, bool Destroying) {
  auto* self = static_cast<TQuillotProc*>(Data);
  if (!self || View != self->attachedView_) return;
  if (Destroying) {
    // The view frees the registration itself.
    self->Detach();
    return;
  }
  self->FetchViewBitmap();
}

void TQuillotProc::ForgetImage() {
  if (attachedImage_) attachedImage_->RemoveFreeNotification(this);
  attachedImage_ = nullptr;
}

void TQuillotProc::SetAttachedTImage(TImage* Value) {
  Unregister();
  attachedView_ = nullptr;
  ForgetImage();
  attachedImage_ = Value;
  if (Value) {
    DropOwnBitmap();
    workBitmap_ = new TQxBitmap();
    ownsBitmap_ = true;
    vclBitmap_ = Value->Picture()->Bitmap();
    workBitmap_->AttachTBitmap(vclBitmap_, true);
    Value->FreeNotification(this);
  } else {
    // The image's bitmap is not ours: only the wrapper is emptied.
    vclBitmap_ = nullptr;
    if (!ownsBitmap_) {
      workBitmap_ = new TQxBitmap();
      ownsBitmap_ = true;
    }
    workBitmap_->FreeImage(true);
  }
}

void TQuillotProc::AttachBitmap(TQxBitmap* Bitmap) {
  if (!Bitmap && (attachedView_ || attachedImage_)) return;
  Unregister();
  SetWorkBitmap(Bitmap);
  if (Bitmap) {
    attachedView_ = nullptr;
    ForgetImage();
  }
}

void TQuillotProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  // The view is on its way out and drops its registrations itself; it is not called again.
  if (Operation == opRemove && attachedView_ && AComponent == attachedView_) Detach();
  if (Operation == opRemove && attachedImage_ && AComponent == attachedImage_) {
    attachedImage_ = nullptr;
    vclBitmap_ = nullptr;
    if (ownsBitmap_ && workBitmap_) workBitmap_->FreeImage(true);
  }
}

TColor TQuillotProc::Background() const { return attachedView_ ? attachedView_->Background() : ownBackground_; }

void TQuillotProc::SetBackground(TColor Value) {
  if (attachedView_)
    attachedView_->SetBackground(Value);
  else
    ownBackground_ = Value;
}

// ---------------------------------------------------------------------------------------------------------
// Operation frame

bool TQuillotProc::EnsurePixelFormat(TQxPixelFormatSet Accepted) {
  if (Accepted.Empty()) return true;
  const F cur = workBitmap_->PixelFormat();
  if (Accepted.Contains(cur)) return true;
  if (!autoConvertFormat_) return false;
  for (F f : PreferenceRow(cur))
    if (Accepted.Contains(f)) {
      workBitmap_->SetPixelFormat(f);
      return true;
    }
  for (int v = 10; v >= 0; --v)
    if (Accepted.Contains(F(v))) {
      workBitmap_->SetPixelFormat(F(v));
      return true;
    }
  return false;
}

bool TQuillotProc::BeginWork(TQxPixelFormatSet Accepted) {
  if (!workBitmap_) return false;
  if (vclBitmap_) workBitmap_->AttachTBitmap(vclBitmap_, false);
  return EnsurePixelFormat(Accepted);
}

void TQuillotProc::EndWork() {
  if (vclBitmap_ && workBitmap_) workBitmap_->RemoveAlphaChannel(false, kWhite);
  if (attachedView_) {
    attachedView_->Update();
    attachedView_->DoImageChange();
  } else if (vclBitmap_) {
    vclBitmap_->Modified();
  }
}

bool TQuillotProc::GetSelectionArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                                    const TPoint*& PolyPoints, int32_t& PolyCount, TQxMask*& Mask) {
  if (vclBitmap_) workBitmap_->AttachTBitmap(vclBitmap_, false);
  PolyPoints = nullptr;
  PolyCount = 0;
  Mask = nullptr;
  X1 = Y1 = 0;
  X2 = workBitmap_->Width();
  Y2 = workBitmap_->Height();
  TQxProcViewHost* host = Host();
  if (!host) return false;
  Mask = host->ProcSelectionMask();
  if (!host->ProcSelected()) return false;
  if (Mask && !Mask->IsEmpty()) {
    X1 = Mask->X1;
    Y1 = Mask->Y1;
    X2 = Mask->X2 + 1;
    Y2 = Mask->Y2 + 1;
  }
  PolyPoints = host->ProcPolySelPoints();
  PolyCount = host->ProcPolySelCount();
  return true;
}

bool TQuillotProc::BeginSelectionWork(TQxPixelFormatSet Accepted, int32_t& X1, int32_t& Y1, int32_t& X2,
                                      int32_t& Y2, const std::string& Caption, TQxBitmap*& Work,
                                      TQxMask*& Mask) {
  Work = nullptr;
  Mask = nullptr;
  // The snapshot holds the picture as it was, before any format conversion.
  if (autoUndo_) SaveUndoCaptioned(Caption, TQxUndoSource::qxuImage);
  if (!BeginWork(Accepted)) return false;
  const TPoint* poly;
  int32_t polyCount;
  GetSelectionArea(X1, Y1, X2, Y2, poly, polyCount, Mask);
  TQxBitmap* b = workBitmap_;
  if (!Mask || Mask->IsEmpty()) {
    Work = b;
    X1 = Y1 = 0;
    X2 = b->Width();
    Y2 = b->Height();
    return true;
  }
  const int32_t w = Mask->X2 - Mask->X1 + 1, h = Mask->Y2 - Mask->Y1 + 1;
  auto* work = new TQxBitmap();
  if (work->Allocate(w, h, b->PixelFormat())) {
    b->CopyPaletteTo(work);
    b->CopyRectTo(work, Mask->X1, Mask->Y1, 0, 0, w, h);
    if (b->HasAlphaChannel()) b->GetAlphaChannel()->CopyRectTo(work->GetAlphaChannel(), Mask->X1, Mask->Y1, 0, 0, w, h);
  }
  Work = work;
  X1 = Y1 = 0;
  X2 = work->Width();
  Y2 = work->Height();
  return true;
}

void TQuillotProc::EndSelectionWork(TQxBitmap* Work, TQxMask* Mask) {
  if (Work && Work != workBitmap_) {
    if (Mask && !Work->IsEmpty()) {
      Mask->CopyBitmap(workBitmap_, Work, false, true, false);
      if (Work->HasAlphaChannel() && !Work->GetAlphaChannel()->Opaque) {
        Mask->CopyAlpha(workBitmap_, Work, false, true);
        workBitmap_->GetAlphaChannel()->Opaque = false;
      }
    }
    delete Work;
  }
  EndWork();
}

void TQuillotProc::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

// ---------------------------------------------------------------------------------------------------------
// Undo and redo

bool TQuillotProc::CanUndo() { return !undo_.empty(); }
bool TQuillotProc::CanRedo() { return !redo_.empty(); }
int32_t TQuillotProc::UndoCount() { return int32_t(undo_.size()); }
int32_t TQuillotProc::RedoCount() { return int32_t(redo_.size()); }

void TQuillotProc::UndoCaption(int32_t Index, std::string& Caption) {
  if (Index >= 0 && Index < UndoCount()) Caption = undo_[undo_.size() - 1 - Index].Caption;
}

void TQuillotProc::RedoCaption(int32_t Index, std::string& Caption) {
  if (Index >= 0 && Index < RedoCount()) Caption = redo_[redo_.size() - 1 - Index].Caption;
}

TQxUndoSource TQuillotProc::UndoSourceOf(int32_t Index) {
  if (Index < 0 || Index >= UndoCount()) return TQxUndoSource::qxuUnknown;
  return undo_[Index].Kind;
}

void TQuillotProc::DiscardUndo(int32_t Index) {
  if (Index < 0 || Index >= UndoCount()) return;
  undo_.erase(undo_.begin() + (undo_.size() - 1 - Index));
}

void TQuillotProc::Push(Stack& Target, Entry&& E) {
  // A negative limit keeps nothing, like 0.
  const size_t limit = undoLimit_ > 0 ? size_t(undoLimit_) : 0;
  while (!Target.empty() && Target.size() >= limit) Target.erase(Target.begin());
  if (limit == 0) return;
  Target.push_back(std::move(E));
}

bool TQuillotProc::Capture(Stack& Target, TQxUndoSource Source) {
  if (undoLimit_ <= 0) return false;
  TQxProcViewHost* host = Host();
  Entry e;
  e.Kind = Source;
  switch (Source) {
    case TQxUndoSource::qxuImage: {
      TQxBitmap* b = workBitmap_;
      if (b->Width() < 2 || b->Height() < 2) return false;
      e.Snapshot = std::make_unique<TQxBitmap>();
      if (snapshotLocation_ == TQxLocation::qxMemory) {
        e.Snapshot->MemoryThreshold = INT64_MAX;
      } else {
        e.Snapshot->MemoryThreshold = 0;
      }
      e.Snapshot->SetLocation(snapshotLocation_);
      e.Snapshot->AssignFrom(b);
      e.Snapshot->SnapshotLayer = host ? host->ProcCurrentLayer() : -1;
      break;
    }
    case TQxUndoSource::qxuSelection:
      if (!host) return false;
      e.Stream = std::make_unique<TMemoryStream>();
      host->ProcSaveSelection(e.Stream.get());
      break;
    case TQxUndoSource::qxuObject:
      if (!host || !host->ProcIsVectorView()) return false;
      e.Stream = std::make_unique<TMemoryStream>();
      host->ProcSaveObjects(e.Stream.get());
      break;
    case TQxUndoSource::qxuLayer:
    case TQxUndoSource::qxuFullLayer: {
      if (!host) return false;
      e.Stream = std::make_unique<TMemoryStream>();
      const int32_t cur = host->ProcCurrentLayer();
      for (int32_t i = 0, n = host->ProcLayerCount(); i < n; ++i)
        host->ProcWriteLayer(i, e.Stream.get(), Source == TQxUndoSource::qxuFullLayer && i == cur);
      break;
    }
    case TQxUndoSource::qxuObjectsAndLayers:
      if (!host) return false;
      e.Stream = std::make_unique<TMemoryStream>();
      if (host->ProcIsVectorView())
        host->ProcSaveAll(e.Stream.get());
      else
        host->ProcSaveLayers(e.Stream.get());
      break;
    default:
      return false;
  }
  Push(Target, std::move(e));
  return true;
}

void TQuillotProc::SaveUndo(TQxUndoSource Source) { SaveUndoEntry(Source); }

bool TQuillotProc::SaveUndoEntry(TQxUndoSource Source) {
  if (undoLimit_ <= 0) return false;
  if (Source == TQxUndoSource::qxuImage && !BeginWork({})) return false;
  const bool pushed = Capture(undo_, Source);
  if (OnSaveUndo) OnSaveUndo(this, Source);
  return pushed;
}

void TQuillotProc::SaveUndoCaptioned(const std::string& Caption, TQxUndoSource Source) {
  if (!BeginWork({}) || workBitmap_->Width() < 2 || workBitmap_->Height() < 2) return;
  if (SaveUndoEntry(Source)) undo_.back().Caption = Caption;
}

void TQuillotProc::SaveRedo(TQxUndoSource Source) {
  if (Source == TQxUndoSource::qxuImage && !BeginWork({})) return;
  Capture(redo_, Source);
}

void TQuillotProc::SaveRedoCaptioned(const std::string& Caption, TQxUndoSource Source) {
  if (!BeginWork({}) || workBitmap_->Width() < 2 || workBitmap_->Height() < 2) return;
  if (Capture(redo_, Source)) redo_.back().Caption = Caption;
}

void TQuillotProc::ClearLastUndo() {
  if (!undo_.empty()) undo_.pop_back();
}
void TQuillotProc::ClearUndo() { undo_.clear(); }
void TQuillotProc::ClearRedo() { redo_.clear(); }
void TQuillotProc::ClearLastRedo() {
  if (!redo_.empty()) redo_.pop_back();
}

void TQuillotProc::Undo(bool SaveRedoState) { UndoAt(0, SaveRedoState); }

void TQuillotProc::UndoAt(int32_t Index, bool SaveRedoState) {
  if (!BeginWork({}) || Index < 0 || Index >= UndoCount()) return;
  const size_t pos = undo_.size() - 1 - Index;
  if (SaveRedoState) SaveRedo(undo_[pos].Kind);
  Restore(undo_[pos]);
}

void TQuillotProc::Redo() { RedoAt(0); }

void TQuillotProc::RedoAt(int32_t Index) {
  if (!BeginWork({}) || Index < 0 || Index >= RedoCount()) return;
  Restore(redo_[redo_.size() - 1 - Index]);
}

void TQuillotProc::Restore(Entry& E) {
  TQxProcViewHost* host = Host();
  if (E.Stream) E.Stream->SetPosition(0);
  switch (E.Kind) {
    case TQxUndoSource::qxuImage: {
      if (!E.Snapshot) return;
      TQxBitmap* target = workBitmap_;
      if (host && E.Snapshot->SnapshotLayer >= 0 && host->ProcLayerCount() > 0) {
        TQxBitmap* layer = host->ProcLayerBitmap(std::min(E.Snapshot->SnapshotLayer, host->ProcLayerCount() - 1));
        if (layer) target = layer;
      }
      target->AssignFrom(E.Snapshot.get());
      EndWork();
      break;
    }
    case TQxUndoSource::qxuSelection:
      if (host) host->ProcLoadSelection(E.Stream.get(), 1);
      break;
    case TQxUndoSource::qxuObject:
      if (host && host->ProcIsVectorView()) host->ProcLoadObjects(E.Stream.get());
      break;
    case TQxUndoSource::qxuLayer:
    case TQxUndoSource::qxuFullLayer:
      if (host) {
        RestoreLayers(host, E.Stream.get());
        if (attachedView_) attachedView_->Update();
      }
      break;
    case TQxUndoSource::qxuObjectsAndLayers:
      if (!host) break;
      if (host->ProcIsVectorView())
        host->ProcLoadAll(E.Stream.get());
      else
        host->ProcLoadLayers(E.Stream.get());
      break;
    default:
      break;
  }
}

void TQuillotProc::RestoreLayers(TQxProcViewHost* AHost, TStream* Stream) {
  const int64_t size = Stream->Size();
  while (Stream->Position() < size) {
    const int64_t start = Stream->Position();
    int32_t length = 0;
    uint8_t id[16];
    if (Stream->Read(&length, 4) != 4 || Stream->Read(id, 16) != 16) break;
    // A record shorter than its own header would never advance.
    if (length < 20 || start + length > size) break;
    int32_t found = -1;
    for (int32_t i = 0, n = AHost->ProcLayerCount(); i < n && found < 0; ++i) {
      uint8_t other[16];
      AHost->ProcLayerId(i, other);
      if (std::equal(id, id + 16, other)) found = i;
    }
    Stream->SetPosition(start);
    if (found >= 0) AHost->ProcReadLayer(found, Stream);
    Stream->SetPosition(start + length);
  }
}
