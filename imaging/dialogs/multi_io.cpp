#include "imaging/dialogs/multi_io.h"

#include <algorithm>

#include "controls/kv_buttons.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/io_previews.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/scanner.h"
#include "imaging/view/mview.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/forms.h"

TQuillotMIO::TQuillotMIO(TComponent* AOwner)
    : TComponent(AOwner),
      FTWainParams(std::make_unique<TQxTWainParams>(this)),
      FPreviewFont(std::make_unique<TFont>()),
      FPrintPreviewParams(std::make_unique<TIOPrintPreviewParams>()) {}

TQuillotMIO::~TQuillotMIO() {
  Unregister();
  FAttachedMView = nullptr;
  while (!FFrames.empty()) FFrames.pop_back();
  FTWainParams.reset();
  FWia.reset();
  FPreviewFont.reset();
  FPrintPreviewParams.reset();
}

TQxWia* TQuillotMIO::GetWIAParams() {
  if (!FWia) {
    FWia = std::make_unique<TQxWia>(this);
    FWia->OnTransferProgress = [this](int32_t Percent) { return WiaProgress(Percent); };
  }
  return FWia.get();
}

bool TQuillotMIO::WiaProgress(int32_t Percent) {
  if (OnProgress) OnProgress(this, Percent);
  return !Aborting;
}

void TQuillotMIO::SetPreviewFont(const TFont* Value) {
  if (Value) FPreviewFont->Assign(*Value);
}

TQuillotMView* TQuillotMIO::MView() const { return dynamic_cast<TQuillotMView*>(FAttachedMView); }

void TQuillotMIO::Unregister() {
  if (FAttachedMView && FCallback) FAttachedMView->RemoveBitmapChangeCallback(FCallback);
  FCallback = nullptr;
}

void TQuillotMIO::SetAttachedMView(TQxView* Value) {
  if (Value && !dynamic_cast<TQuillotMView*>(Value)) Value = nullptr;
  Unregister();
  if (FAttachedMView && FAttachedMView != Value) FAttachedMView->RemoveFreeNotification(this);
  FAttachedMView = Value;
  if (!Value) return;
  Value->FreeNotification(this);
  FCallback = Value->AddBitmapChangeCallback(&TQuillotMIO::ViewChanged, this);
  while (ImageCount() < MView()->ImageCount()) InsertFrameParams(ImageCount());
}

void TQuillotMIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAttachedMView) {
    Unregister();
    FAttachedMView = nullptr;
  }
}

void TQuillotMIO::ViewChanged(void* Data, TQxView* View, bool Destroying) {
  auto* self = static_cast<TQuillotMIO*>(Data);
  if (Destroying) {
    // The view frees the registration itself.
    self->FCallback = nullptr;
    self->FAttachedMView = nullptr;
    return;
  }
  auto* mv = dynamic_cast<TQuillotMView*>(View);
  if (!mv) return;
  switch (mv->LastChangeKind) {
    case 1: self->InsertFrameParams(mv->LastChangeIndex); break;
    case 2: self->DeleteFrameParams(mv->LastChangeIndex); break;
    case 3: self->MoveFrameParams(mv->LastChangeIndex, mv->LastChangeCount); break;
    case 4: self->SwapFrameParams(mv->LastChangeIndex, mv->LastChangeCount); break;
    default: break;
  }
}

TIOParamsVals* TQuillotMIO::FrameParams(int32_t Index) const {
  if (Index < 0 || Index >= ImageCount()) return nullptr;
  return FFrames[size_t(Index)].get();
}

void TQuillotMIO::InsertFrameParams(int32_t Index) {
  auto p = std::make_unique<TIOParamsVals>();
  if (!FFrames.empty()) {
    const int32_t from = (Index >= 0 && Index < ImageCount()) ? Index : ImageCount() - 1;
    p->AssignCompression(*FFrames[size_t(from)]);
  }
  if (Index >= 0 && Index < ImageCount())
    FFrames.insert(FFrames.begin() + Index, std::move(p));
  else
    FFrames.push_back(std::move(p));
}

void TQuillotMIO::DeleteFrameParams(int32_t Index) {
  if (Index >= 0 && Index < ImageCount()) FFrames.erase(FFrames.begin() + Index);
}

void TQuillotMIO::MoveFrameParams(int32_t Index, int32_t NewIndex) {
  const int32_t count = ImageCount();
  if (Index < 0 || Index >= count || NewIndex < 0 || Index == NewIndex) return;
  auto p = std::move(FFrames[size_t(Index)]);
  FFrames.erase(FFrames.begin() + Index);
  if (NewIndex < count)
    FFrames.insert(FFrames.begin() + NewIndex, std::move(p));
  else
    FFrames.push_back(std::move(p));
}

void TQuillotMIO::SwapFrameParams(int32_t A, int32_t B) {
  if (A < 0 || A >= ImageCount()) throw EListError("List index out of bounds (" + std::to_string(A) + ")");
  if (B < 0 || B >= ImageCount()) throw EListError("List index out of bounds (" + std::to_string(B) + ")");
  std::swap(FFrames[size_t(A)], FFrames[size_t(B)]);
}

bool TQuillotMIO::DoPreviews(int32_t Index, TQxPreviewPages Pages) {
  bool handled = false;
  if (OnDoPreviews) OnDoPreviews(this, handled);
  if (handled) return true;
  TQuillotMView* mv = MView();
  if (!mv) return false;
  if (mv->ImageCount() > 0 && mv->SelectedImage() < 0) mv->SelectImage(0);
  TQxBitmap* picture = mv->GetQxBitmap();
  if (!picture || !FrameParams(Index < 0 ? 0 : Index)) return false;
  bool result = false;
  {
    auto* f = new TfIOPreviews(this);
    struct TFree {
      TfIOPreviews* F;
      ~TFree() { delete F; }
    } release{f};
    f->LockPreviewDefault = PreviewsParams.Contains(TIOPreviewsParamsItems::ioppDefaultLockPreview);
    f->Button4->SetVisible(PreviewsParams.Contains(TIOPreviewsParamsItems::ioppApplyButton));
    f->SimplifiedPages = SimplifiedParamsDialogs;
    if (SimplifiedParamsDialogs) {
      const int32_t ppi = Screen ? Screen->PixelsPerInch() : 96;
      f->PageControl1->SetHeight(int32_t(Trunc(ppi * 1.2708333333333333)));
      f->SetHeight(int32_t(Trunc(ppi * 3.4375)));
    }
    f->BilevelMode = BilevelMode;
    f->Params = FrameParams(Index < 0 ? 0 : Index);
    f->UpdateLanguage(MsgLanguage);
    f->Font()->Assign(*FPreviewFont);
    f->Quillot1->CurrentBitmap()->CopyFrom(picture);
    f->Quillot1->UpdateView();
    if (f->SelectPages(Pages)) result = f->ShowModal() == mrOk;
  }
  if (Index < 0 && ImageCount() > 0) {
    TIOParamsVals first;
    first.AssignParams(*FFrames[0]);
    for (int32_t i = 1; i < ImageCount(); ++i) FFrames[size_t(i)]->AssignCompression(first);
  }
  UpdateAttachedView();
  return result;
}

void TQuillotMIO::DoAcquireBitmap(TQxBitmap* Bitmap, TIOParamsVals*& Params) {
  bool handled = false;
  if (OnAcquireBitmap) OnAcquireBitmap(this, Bitmap, handled);
  TQuillotMView* mv = MView();
  if (handled || !mv || !Bitmap) return;
  const int32_t index = std::clamp(AcquireIndex, 0, mv->ImageCount());
  mv->InsertImage(index);
  Params = FrameParams(index);
  TQxBitmap* pic = Bitmap;
  std::unique_ptr<TQxBitmap> made;
  if (AutoAdjustDPI && Params) {
    pic = QxAdjustDPI(Bitmap, *Params, FilteredAdjustDPI);
    if (pic != Bitmap) made.reset(pic);
  }
  mv->SetImageBitmap(index, pic);
  mv->SetFrameDelay(index, 100);
  if (OnAfterAcquireBitmap) OnAfterAcquireBitmap(this, index);
  ++AcquireIndex;
}

void TQuillotMIO::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

void TQuillotMIO::UpdateAttachedView() {
  if (TQuillotMView* mv = MView()) {
    mv->UpdateView();
    mv->DoImageChange();
  }
}

void TQuillotMIO::Register() {
  TQxMViewHooks& h = QxMViewHooks();
  h.CreateMIO = [](TQuillotMView* View) -> TQuillotMIO* {
    auto* m = new TQuillotMIO(View);
    m->SetAttachedMView(View);
    return m;
  };
  h.FrameParams = [](TQuillotMIO* M, int32_t Index) { return M->FrameParams(Index); };
  h.AutoAdjustDPI = [](TQuillotMIO* M) { return M->AutoAdjustDPI; };
  h.SetEvents = [](TQuillotMIO* M, const TQxProgressEvent& P, const TNotifyEvent& F) {
    M->OnProgress = P;
    M->OnFinishWork = F;
  };
  h.FreeMIO = [](TQuillotMIO* M) { delete M; };
}
