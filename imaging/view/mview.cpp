// The thumbnail view: construction, settings, entries, storing pictures, frame playing, owned components
// and messages. Layout, selection and input are in mview_layout.cpp, painting in mview_paint.cpp and
// loading in thumb_loader.cpp.
#include "imaging/view/mview.h"
#include "imaging/view/mview_internal.h"

#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/resample.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/geometry.h"
#include "imaging/processing/proc.h"
#include "platform/ui/forms.h"

TQxMViewHooks& QxMViewHooks() {
  static TQxMViewHooks h;
  return h;
}

TQxMText::TQxMText(TQuillotMView* AView, uint8_t APosition) : Font(std::make_unique<TFont>()), View(AView),
                                                               Position(APosition) {
  if (AView) {
    TFont* src = APosition == 0 ? AView->TopTextFont() : APosition == 1 ? AView->BottomTextFont() : AView->InfoTextFont();
    if (src) Font->Assign(*src);
    FillColor = AView->Background();
  }
}

// ============================================================ construction

TQuillotMView::TQuillotMView(TComponent* AOwner) : TQxView(AOwner) {
  FTopTextFont = std::make_unique<TFont>();
  FBottomTextFont = std::make_unique<TFont>();
  FInfoTextFont = std::make_unique<TFont>();
  SetBounds(Left(), Top(), 180, 90);
  FVertScrollParams = std::make_unique<TQxScrollBarParams>();
  FHorzScrollParams = std::make_unique<TQxScrollBarParams>();
  FImageStore = std::make_unique<TQxVirtualImageList>("ILIST", UseTempFiles);
  FImageStore->CacheSize = FImageCacheSize;
  FDisplayCache = std::make_unique<TQxVirtualImageList>("ICACHE", UseTempFiles);
  FWallPaper = std::make_unique<TPicture>();
  // Thumbnails cast their shadow down and to the right.
  FSoftShadow = std::make_unique<TQxVSoftShadow>();
  FSoftShadow->OffsetX = FSoftShadow->OffsetY = 3;
  FTransitions = std::make_unique<TQxTransitionEffects>(this);
  FSyncIO = new TQuillotIO(this);
  FStarter = std::make_unique<TQxStarter>(this);
}

TQuillotMView::~TQuillotMView() {
  FDestroying = true;
  DeselectAll();
  StopLoading();
  // The loader ends first, so nothing new starts; then every running load is waited for (outside the
  // lock, because its finish step takes it). Their pictures are dropped: a view going away receives none.
  FStarter->Terminate();
  std::unique_ptr<TQxStarter> starter;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    starter = std::move(FStarter);
  }
  starter.reset();
  std::vector<std::unique_ptr<TRunningLoad>> running;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    running.swap(FRunningLoads);
  }
  running.clear();
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    FLoadResults.clear();
    FPendingLoads.clear();
    FLookAheadList.clear();
  }
  if (FPlayTimer && HandleAllocated()) KillTimer(Handle(), 1);
  FreeMultiFileIO();
  if (FMIO && QxMViewHooks().FreeMIO) QxMViewHooks().FreeMIO(FMIO);
  FMIO = nullptr;
  delete FProc;
  FProc = nullptr;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    for (int32_t i = ImageCount() - 1; i >= 0; --i) DeleteImage(i);
  }
  FTransitions.reset();
  FImageStore.reset();
  FDisplayCache.reset();
  QxDrawDibClose(FDrawDib);
  FDrawDib = nullptr;
  delete FSyncIO;
  FSyncIO = nullptr;
}

bool TQuillotMView::HandlePaletteChanged() {
  TCustomForm* main = Application ? Application->MainForm() : nullptr;
  TCanvas* c = main ? main->Canvas() : nullptr;
  if (c) {
    if (QxDrawDibRealize(FDrawDib, c, false) > 0) Invalidate();
  } else {
    Invalidate();
  }
  return true;
}

// ============================================================ settings

void TQuillotMView::SetIntProp(int32_t& Field, int32_t Value) {
  Field = Value;
  UpdateView();
}

void TQuillotMView::SetThumbWidth(int32_t Value) {
  FThumbWidth = std::max(Value, 1);
  ClearDisplayThumbnails();
  UpdateView();
}

void TQuillotMView::SetThumbHeight(int32_t Value) {
  FThumbHeight = std::max(Value, 1);
  ClearDisplayThumbnails();
  UpdateView();
}

void TQuillotMView::SetHorizBorder(int32_t Value) { SetIntProp(FHorizBorder, std::max(Value, 0)); }
void TQuillotMView::SetVertBorder(int32_t Value) { SetIntProp(FVertBorder, std::max(Value, 0)); }
void TQuillotMView::SetBottomGap(int32_t Value) { SetIntProp(FBottomGap, Value); }
void TQuillotMView::SetUpperGap(int32_t Value) { SetIntProp(FUpperGap, Value); }
void TQuillotMView::SetGridWidth(int32_t Value) { SetIntProp(FGridWidth, Value); }
void TQuillotMView::SetSelectionWidth(int32_t Value) { SetIntProp(FSelectionWidth, Value); }

void TQuillotMView::SetVisibleSelection(bool Value) {
  FVisibleSelection = Value;
  UpdateView();
}

void TQuillotMView::SetDisplayMode(TQxMDisplayMode Value) {
  if (FPlaying) {
    FSavedDisplayMode = Value;
    return;
  }
  FDisplayMode = Value;
  UpdateView();
}

void TQuillotMView::SetSelectionColor(TColor Value) {
  FSelectionColor = Value;
  UpdateView();
}

void TQuillotMView::SetRemoveCorrupted(bool Value) {
  FRemoveCorrupted = Value;
  UpdateView();
}

void TQuillotMView::SetDrawImageBackground(bool Value) {
  FDrawImageBackground = Value;
  UpdateView();
}

void TQuillotMView::SetImageCacheSize(int32_t Value) {
  FImageCacheSize = Value;
  std::lock_guard<std::recursive_mutex> l(FLock);
  FImageStore->CacheSize = Value;
}

void TQuillotMView::SetStyle(TQxMStyle Value) {
  if (Value == FStyle) return;
  FStyle = Value;
  UpdateView();
}

void TQuillotMView::SetSelectionStyle(TQxSStyle Value) {
  if (Value == FSelectionStyle) return;
  FSelectionStyle = Value;
  UpdateView();
}

void TQuillotMView::SetEnableMultiSelect(bool Value) {
  if (Value == FEnableMultiSelect) return;
  FEnableMultiSelect = Value;
  UpdateView();
}

void TQuillotMView::SetThumbnailsBorderWidth(int32_t Value) {
  if (Value == FThumbnailsBorderWidth) return;
  FThumbnailsBorderWidth = Value;
  UpdateView();
}

void TQuillotMView::SetThumbnailsBorderColor(TColor Value) {
  if (Value == FThumbnailsBorderColor) return;
  FThumbnailsBorderColor = Value;
  UpdateView();
}

void TQuillotMView::SetThumbnailsInternalBorder(bool Value) {
  if (Value == FThumbnailsInternalBorder) return;
  FThumbnailsInternalBorder = Value;
  UpdateView();
}

void TQuillotMView::SetThumbnailsInternalBorderColor(TColor Value) {
  if (Value == FThumbnailsInternalBorderColor) return;
  FThumbnailsInternalBorderColor = Value;
  UpdateView();
}

void TQuillotMView::SetWallPaper(const TPicture* Value) {
  FWallPaper->Assign(Value);
  UpdateView();
}

void TQuillotMView::SetWallPaperStyle(TQxWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  UpdateView();
}

void TQuillotMView::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  UpdateView();
}

void TQuillotMView::SetBackgroundStyle(TQxBackgroundStyle Value) {
  FBackgroundStyle = Value;
  UpdateView();
}

void TQuillotMView::SetThumbnailsBackgroundStyle(TQxBackgroundStyle Value) {
  FThumbnailsBackgroundStyle = Value;
  UpdateView();
}

void TQuillotMView::SetBackground(TColor Value) {
  TQxView::SetBackground(Value);
  UpdateView();
}

void TQuillotMView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle) {
  ChessSize = Size;
  ChessBrushStyle = BrushStyle;
}

void TQuillotMView::SetFillThumbnail(bool Value) {
  FillThumbnail = Value;
  UpdateView();
}

void TQuillotMView::SetOnProgress(TQxProgressEvent Value) {
  FOnProgress = std::move(Value);
  if (FMIO && QxMViewHooks().SetEvents) QxMViewHooks().SetEvents(FMIO, FOnProgress, FOnFinishWork);
  if (FProc) FProc->OnProgress = FOnProgress;
}

void TQuillotMView::SetOnFinishWork(TNotifyEvent Value) {
  FOnFinishWork = std::move(Value);
  if (FMIO && QxMViewHooks().SetEvents) QxMViewHooks().SetEvents(FMIO, FOnProgress, FOnFinishWork);
  if (FProc) FProc->OnFinishWork = FOnFinishWork;
}

// ============================================================ paint locks and notification

void TQuillotMView::IncPaintLock() { ++FPaintLock; }

int32_t TQuillotMView::DecPaintLockAndUpdate() {
  if (FPaintLock > 0) --FPaintLock;
  if (FPaintLock == 0) UpdateView();
  return FPaintLock;
}

int32_t TQuillotMView::DecPaintLock() {
  if (FPaintLock > 0) --FPaintLock;
  return FPaintLock;
}

void TQuillotMView::NotifyBitmapChange() {
  TQxView::NotifyBitmapChange();
  LastChangeKind = 0;
}

// ============================================================ entries

TQxMViewEntry* TQuillotMView::Entry(int32_t Index) const {
  if (Index < 0 || Index >= ImageCount()) return nullptr;
  return FEntries[size_t(Index)].get();
}

int32_t TQuillotMView::IndexOfSerial(uint64_t Serial, int32_t Hint) const {
  if (TQxMViewEntry* e = Entry(Hint); e && e->Serial == Serial) return Hint;
  for (int32_t i = 0; i < ImageCount(); ++i)
    if (FEntries[size_t(i)]->Serial == Serial) return i;
  return -1;
}

void TQuillotMView::InsertImage(int32_t Index) {
  SetPlaying(false);
  auto e = std::make_unique<TQxMViewEntry>();
  e->Owner = this;
  e->Background = Background();
  e->TopText = std::make_unique<TQxMText>(this, 0);
  e->BottomText = std::make_unique<TQxMText>(this, 1);
  e->InfoText = std::make_unique<TQxMText>(this, 2);
  int32_t pos;
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    e->Serial = FNextSerial++;
    if (Index >= 0 && Index < ImageCount()) {
      pos = Index;
      FEntries.insert(FEntries.begin() + Index, std::move(e));
    } else {
      pos = ImageCount();
      FEntries.push_back(std::move(e));
    }
  }
  LastChangeKind = 1;
  LastChangeIndex = pos;
  NotifyBitmapChange();
  Relayout(false);
}

void TQuillotMView::DeleteEntryPictures(TQxMViewEntry* E) {
  std::lock_guard<std::recursive_mutex> l(FLock);
  if (E->StoreImage) FImageStore->DeleteImage(E->StoreImage);
  if (E->CacheImage) FDisplayCache->DeleteImage(E->CacheImage);
  E->StoreImage = nullptr;
  E->CacheImage = nullptr;
}

bool TQuillotMView::DeleteImage(int32_t Index) {
  SetPlaying(false);
  if (Index < 0 || Index >= ImageCount()) return false;
  CancelLoad(Index);
  const int32_t saved = FSelectedImage;
  DeselectAll();
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    DeleteEntryPictures(FEntries[size_t(Index)].get());
    FEntries.erase(FEntries.begin() + Index);
  }
  if (!FDestroying) {
    if (saved == Index && Index == ImageCount()) {
      ChangeSelection(ImageCount() - 1);
    } else if (Index < saved) {
      ChangeSelection(saved - 1);
    } else {
      ChangeSelection(saved);
    }
  }
  LastChangeKind = 2;
  LastChangeIndex = Index;
  NotifyBitmapChange();
  return true;
}

void TQuillotMView::ClearImages() {
  DeselectAllAndUpdate();
  StopLoading();
  for (int32_t i = ImageCount() - 1; i >= 0; --i) DeleteImage(i);
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    FImageStore = std::make_unique<TQxVirtualImageList>("ILIST", UseTempFiles);
    FImageStore->CacheSize = FImageCacheSize;
    FDisplayCache = std::make_unique<TQxVirtualImageList>("ICACHE", UseTempFiles);
    FLoadResults.clear();
  }
  FreeMultiFileIO();
  UpdateView();
}

void TQuillotMView::FillFromMultiImageFile(const std::string& FileName) {
  ClearImages();
  const int32_t n = QxImageCount(FileName);
  IncPaintLock();
  for (int32_t i = 0; i < n; ++i) {
    InsertImage(i);
    SetImageFileName(i, FileName + "::" + std::to_string(i));
  }
  DecPaintLockAndUpdate();
}

void TQuillotMView::SetImageFileName(int32_t Index, const std::string& Name) {
  TQxMViewEntry* e = Entry(Index);
  if (!e) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  e->FileName = Name;
  e->ImageID = -1;
}

std::string TQuillotMView::GetImageFileName(int32_t Index) const {
  TQxMViewEntry* e = Entry(Index);
  return e ? e->FileName : std::string();
}

void TQuillotMView::SetImageID(int32_t Index, int32_t ID) {
  TQxMViewEntry* e = Entry(Index);
  if (!e) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  e->ImageID = ID;
}

void TQuillotMView::SetFrameDelay(int32_t Index, int32_t Milliseconds) {
  if (TQxMViewEntry* e = Entry(Index)) e->FrameDelay = Milliseconds;
}

int32_t TQuillotMView::ImageRow(int32_t Index) const {
  TQxMViewEntry* e = Entry(Index);
  return e ? e->Row : 0;
}

int32_t TQuillotMView::ImageColumn(int32_t Index) const {
  TQxMViewEntry* e = Entry(Index);
  return e ? e->Column : 0;
}

void TQuillotMView::SetImageSourceWidth(int32_t Index, int32_t Value) {
  TQxMViewEntry* e = Entry(Index);
  if (!e) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  if (e->StoreImage) FImageStore->SetSourceWidth(e->StoreImage, Value);
}

void TQuillotMView::SetImageSourceHeight(int32_t Index, int32_t Value) {
  TQxMViewEntry* e = Entry(Index);
  if (!e) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  if (e->StoreImage) FImageStore->SetSourceHeight(e->StoreImage, Value);
}

TQuillotMView::TLoadSettings TQuillotMView::CurrentLoadSettings() const {
  TLoadSettings s;
  s.StoreType = StoreType;
  s.ThumbWidth = FThumbWidth;
  s.ThumbHeight = FThumbHeight;
  s.EnlargeSmallImages = EnlargeSmallImages;
  s.Filter = ThumbnailResampleFilter;
  s.UseEmbeddedThumbnails = UseEmbeddedThumbnails;
  s.AutoOrient = AutoOrient;
  return s;
}

// The thumbnail a picture is stored as, or nil when it is stored as it is. Background loads convert
// other formats to 24 bits and filter them; the synchronous road copies them in their own format.
std::unique_ptr<TQxBitmap> TQuillotMView::ReduceForStore(TQxBitmap* B, bool Background, const TLoadSettings& S) {
  const int32_t bw = B->Width(), bh = B->Height();
  if (S.StoreType == TQxStoreType::qxtNormal) return nullptr;
  if (!S.EnlargeSmallImages && bw <= S.ThumbWidth && bh <= S.ThumbHeight) return nullptr;
  int32_t tw = S.ThumbWidth, th = S.ThumbHeight;
  if (bw != 0 && bh != 0) QxFitSize(bw, bh, S.ThumbWidth, S.ThumbHeight, tw, th);
  if (tw == bw && th == bh) return nullptr;
  auto t = std::make_unique<TQxBitmap>();
  t->SetLocation(TQxLocation::qxMemory);
  t->Allocate(tw, th, TQxPixelFormat::qx24RGB);
  if (!Background && B->HasAlphaChannel()) QxFillTransparent(B, 0x808080);
  const TQxPixelFormat f = B->PixelFormat();
  if (f == TQxPixelFormat::qx1g) {
    QxResample1BitToGray(B, 0, 0, bw - 1, bh - 1, t.get());
  } else if (Background) {
    if (f != TQxPixelFormat::qx24RGB && S.Filter != TResampleFilter::rfNone)
      B->ConvertPixelFormat(TQxPixelFormat::qx24RGB);
    if (S.Filter != TResampleFilter::rfNone) {
      QxResample(B, t.get(), S.Filter);
    } else {
      t->Allocate(tw, th, B->PixelFormat());
      B->CopyPaletteTo(t.get());
      QxStretchNearest(B, t.get());
    }
  } else if (f == TQxPixelFormat::qx24RGB) {
    if (S.Filter == TResampleFilter::rfNone)
      QxStretchNearest(B, t.get());
    else
      QxResample(B, t.get(), S.Filter);
  } else {
    t->Allocate(tw, th, f);
    B->CopyPaletteTo(t.get());
    QxStretchNearest(B, t.get());
  }
  if (B->HasAlphaChannel()) {
    TQxBitmap* a = B->GetAlphaChannel();
    TQxBitmap* ta = t->GetAlphaChannel();
    ta->Allocate(tw, th, TQxPixelFormat::qx8g);
    const TResampleFilter af =
        S.Filter == TResampleFilter::rfNone ? TResampleFilter::rfFastLinear : S.Filter;
    QxResampleGray8(a, ta, af);
    ta->Opaque = a->Opaque;
  }
  return t;
}

void TQuillotMView::StorePicture(int32_t Index, TQxBitmap* Bitmap) {
  TQxMViewEntry* e = Entry(Index);
  if (!e || !Bitmap) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  if (e->StoreImage) FImageStore->DeleteImage(e->StoreImage);
  if (e->CacheImage) FDisplayCache->DeleteImage(e->CacheImage);
  e->StoreImage = nullptr;
  e->CacheImage = nullptr;
  e->StoreImage = FImageStore->AddImage(Bitmap);
  if (Index == FSelectedImage) {
    FSelectedBitmap = nullptr;
    NotifyBitmapChange();
  }
}

void TQuillotMView::SetImageBitmap(int32_t Index, TQxBitmap* Bitmap) {
  if (!Bitmap || !Entry(Index)) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  std::unique_ptr<TQxBitmap> t = ReduceForStore(Bitmap, false, CurrentLoadSettings());
  StorePicture(Index, t ? t.get() : Bitmap);
  if (TQxMViewEntry* e = Entry(Index); e && e->StoreImage) {
    e->StoreImage->SourceWidth = Bitmap->Width();
    e->StoreImage->SourceHeight = Bitmap->Height();
  }
}

void TQuillotMView::SetImageTBitmap(int32_t Index, TBitmap* Bitmap) {
  if (!Bitmap) return;
  TQxBitmap tmp;
  tmp.AttachTBitmap(Bitmap, false);
  SetImageBitmap(Index, &tmp);
}

TQxBitmap* TQuillotMView::GetQxBitmap() {
  if (FSelectedImage < 0) return nullptr;
  if (!FSelectedBitmap) FSelectedBitmap = LockImageBitmap(FSelectedImage);
  return FSelectedBitmap;
}

TBitmap* TQuillotMView::GetTBitmap() {
  TQxBitmap* b = GetQxBitmap();
  return b ? b->GetTBitmap() : nullptr;
}

// ============================================================ playing

void TQuillotMView::SetPlaying(bool On) {
  if (On == FPlaying) return;
  if (On) {
    FSavedDisplayMode = FDisplayMode;
    FSavedSelection = FSelectedImage;
    DeselectAllAndUpdate();
  }
  FPlaying = On;
  PlayStep();
  if (!FPlaying) {
    SetDisplayMode(FSavedDisplayMode);
    SelectImage(FSavedSelection);
  }
}

void TQuillotMView::PlayStep() {
  if (FInPlayStep || FDestroying) return;
  FInPlayStep = true;
  struct TGuard {
    bool& F;
    ~TGuard() { F = false; }
  } guard{FInPlayStep};
  if (FPlayTimer != 0) {
    if (HandleAllocated()) KillTimer(Handle(), 1);
    FPlayTimer = 0;
  }
  if (!FPlaying) return;
  if (FDisplayMode != TQxMDisplayMode::mdSingle) {
    FDisplayMode = TQxMDisplayMode::mdSingle;
    UpdateView();
  }
  FPlayIndex = std::min(FPlayIndex, ImageCount() - 1);
  if (ImageCount() == 0) return;
  if (FPlayIndex < 0) FPlayIndex = 0;
  if (OnPlayFrame) OnPlayFrame(this, FPlayIndex);
  PaintView();
  const int32_t shown = FPlayIndex;
  if (FPlayIndex == ImageCount() - 1) {
    FPlayIndex = 0;
    NotifyBitmapChange();
    if (!PlayLoop) {
      FPlaying = false;
      return;
    }
  } else {
    ++FPlayIndex;
  }
  const int32_t delay = std::max(FEntries[size_t(shown)]->FrameDelay, 10);
  if (HasParentWindow()) FPlayTimer = SetTimer(Handle(), 1, uint32_t(delay));
}

// ============================================================ owned components

TQuillotMIO* TQuillotMView::GetMIO() {
  if (!FMIO && QxMViewHooks().CreateMIO) {
    FMIO = QxMViewHooks().CreateMIO(this);
    if (FMIO && QxMViewHooks().SetEvents) QxMViewHooks().SetEvents(FMIO, FOnProgress, FOnFinishWork);
  }
  return FMIO;
}

TQuillotProc* TQuillotMView::GetProc() {
  if (!FProc) {
    FProc = new TQuillotProc(nullptr);
    FProc->SetAttachedQuillot(this);
    FProc->OnProgress = FOnProgress;
    FProc->OnFinishWork = FOnFinishWork;
  } else {
    if (FSelectedImage == -1) SelectImage(0);
    if (!FSelectedBitmap) FProc->SetAttachedQuillot(this);
  }
  return FProc;
}

void TQuillotMView::CopyParamsToMIO(int32_t Index, const TIOParamsVals& Params) {
  TQuillotMIO* mio = GetMIO();
  if (!mio || !QxMViewHooks().FrameParams) return;
  if (TIOParamsVals* p = QxMViewHooks().FrameParams(mio, Index)) p->AssignParams(Params);
}

// ============================================================ messages

bool TQuillotMView::HasParentWindow() const {
  const TWinControl* p = Parent();
  if (!p) return false;
  return GetParentForm(this) != nullptr || p->HandleAllocated();
}

void TQuillotMView::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case QX_WM_MVIEW_LOADED: CollectLoadedPictures(); return;
    case WM_ERASEBKGND: Message.Result = 0; return;
    case WM_TIMER: PlayStep(); return;
    case WM_LBUTTONDBLCLK: FDoubleClicked = true; break;
    default: break;
  }
  TQxView::Dispatch(Message);
}

void TQuillotMView::WMSize(TMessage& Message) {
  TQxView::WMSize(Message);
  Relayout(false);
}

void TQuillotMView::WMSetFocus(TMessage& Message) {
  TQxView::WMSetFocus(Message);
  Invalidate();
}

void TQuillotMView::WMKillFocus(TMessage& Message) {
  TQxView::WMKillFocus(Message);
  Invalidate();
}

void TQuillotMView::CMWantSpecialKey(TMessage& Message) {
  TQxView::CMWantSpecialKey(Message);
  if (Message.WParam >= 33 && Message.WParam <= 40) Message.Result = 1;
}

void TQuillotMView::PaintWindow(HDC) { PaintView(); }
