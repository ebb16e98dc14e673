// TQuillotView: construction, owned components, coordinate maps, UpdateView, locks, bitmap binding.
#include "imaging/view/view.h"

#include <algorithm>
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/services.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/transitions.h"
#include "imaging/view/layer.h"
#include "imaging/view/psd_layers_io.h"
#include "imaging/view/view_internal.h"
#include "platform/base/numeric.h"
#include "platform/base/threads.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/forms.h"

// ---- view unit ----

namespace {

bool HookIsView(TQxView* V) { return dynamic_cast<TQuillotView*>(V) != nullptr; }
void HookIncUpdateLock(TQxView* V) {
  if (auto* q = dynamic_cast<TQuillotView*>(V)) q->IncUpdateLock();
}
void HookDecUpdateLock(TQxView* V) {
  if (auto* q = dynamic_cast<TQuillotView*>(V)) q->DecUpdateLock();
}
void HookUpdateView(TQxView* V) {
  if (auto* q = dynamic_cast<TQuillotView*>(V)) q->UpdateView();
}
bool HookHasParent(TQxView* V) {
  auto* q = dynamic_cast<TQuillotView*>(V);
  return q && q->HasParentWindow();
}
void HookPost(TQxView* V, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  QxPostToView(V, Msg, WParam, LParam);
}
TColor HookBackground(TQxView* V) { return V ? V->Background() : clBtnFace; }

void InstallHooks() {
  TQxIOViewHooks& h = QxIOViewHooks();
  h.IsQuillotView = HookIsView;
  h.IncUpdateLock = HookIncUpdateLock;
  h.DecUpdateLock = HookDecUpdateLock;
  h.UpdateView = HookUpdateView;
  h.HasParent = HookHasParent;
  h.PostToView = HookPost;
  h.GetBackground = HookBackground;
  QxInstallPsdLayerHooks();
}

// The I/O component loads a layers file into its view, or flattens it into its own bitmap when no view
// is attached.
int32_t LoadLayersThroughIO(TQuillotIO& IO, TStream& Stream) {
  if (auto* v = dynamic_cast<TQuillotView*>(IO.AttachedQuillot())) {
    v->LoadLayersFromStream(&Stream);
    return 1;
  }
  TQuillotView tmp(nullptr);
  if (!tmp.LoadLayersFromStream(&Stream) || !IO.WorkBitmap()) {
    IO.Aborting = true;
    IO.DoFinishWork();
    return 0;
  }
  tmp.MergeAllLayers();
  IO.WorkBitmap()->AssignFrom(tmp.GetLayer(0)->Bitmap);
  IO.DoFinishWork();
  return 1;
}

struct UnitRegistration {
  UnitRegistration() {
    QxRegisterStartStep(TQxStartStep::qxsView, QxViewInit, QxViewFinal);
    InstallHooks();
    QxCodecServices.QxIsLayersStream = &QxIsLayersStream;
    QxIOFormatHandler(qxffLayers).LoadStream = &LoadLayersThroughIO;
  }
};

}  // namespace

void QxPostToView(TQxView* V, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  if (!V) return;
  // The window is made on the GUI thread; a message posted before it exists would be lost.
  if (TThread::IsMainThread()) {
    if (!V->HandleAllocated() && V->Parent()) V->HandleNeeded();
    if (V->HandleAllocated()) PostMessage(V->Handle(), Msg, WParam, LParam);
    return;
  }
  if (V->HandleAllocated()) {
    PostMessage(V->Handle(), Msg, WParam, LParam);
    return;
  }
  if (Application)
    Application->Queue([V, Msg, WParam, LParam] {
      if (!V->HandleAllocated() && V->Parent()) V->HandleNeeded();
      if (V->HandleAllocated()) PostMessage(V->Handle(), Msg, WParam, LParam);
    });
}

TQxViewUnitValues& QxViewValues() {
  static TQxViewUnitValues v;
  return v;
}

void QxViewInit() {
  TQxViewUnitValues& v = QxViewValues();
  v.ScreenBitsPerPixel = Screen ? Screen->BitsPerPixel() : 32;
  v.RemoteSession = false;
  v.ScreenDpiX = v.ScreenDpiY = Screen ? Screen->PixelsPerInch() : 96;
  QxDefaultDpiX = 300;
  QxDefaultDpiY = 300;
  v.HasMMX = true;
  v.CxEdge = GetSystemMetrics(SM_CXEDGE);
  v.CyEdge = GetSystemMetrics(SM_CYEDGE);
  v.CxBorder = GetSystemMetrics(SM_CXBORDER);
  v.CyBorder = GetSystemMetrics(SM_CYBORDER);
  v.CyHScroll = GetSystemMetrics(SM_CYHSCROLL);
  v.CxVScroll = GetSystemMetrics(SM_CXVSCROLL);
  v.GridMinZoom = 400;
  v.Initialized = true;
  InstallHooks();
}

void QxViewFinal() { QxViewValues().Initialized = false; }

void QxViewEnsureUnit() {
  static UnitRegistration reg;
  if (!QxViewValues().Initialized) QxViewInit();
}

// ---- construction ----

TQuillotView::TQuillotView(TComponent* AOwner) : TQxView(AOwner) {
  QxViewEnsureUnit();
  FUpdateLock = 1;
  // Legacy mode: the pixels of the main bitmap live in a platform bitmap the view exposes.
  auto tb = std::make_unique<TBitmap>();
  tb->SetPixelFormat(TPixelFormat::pf24bit);
  auto main = std::make_unique<TQxBitmap>();
  main->AttachTBitmap(tb.get(), true);
  FLegacyTBitmap = tb.get();
  FCurrentBitmap = main.get();
  FImageWidth = FCurrentBitmap->Width();
  FImageHeight = FCurrentBitmap->Height();

  auto* layer0 = new TQxLayer(this, main.release(), true);
  layer0->OwnedTBitmap = tb.release();
  layer0->ShowBox = false;
  layer0->Locked = true;
  FLayers.push_back(layer0);
  FCurrentLayerIndex = 0;

  SetBounds(Left(), Top(), 105, 105);
  SetDpi(QxDefaultDpiX, QxDefaultDpiY);

  if (!ComponentState().Contains(csDesigning)) {
    FBackBufferTBitmap = std::make_unique<TBitmap>(10, 10, TPixelFormat::pf24bit);
    FBackBuffer = std::make_unique<TQxBitmap>();
    FBackBuffer->AttachTBitmap(FBackBufferTBitmap.get(), true);
  }
  LoadViewCursors();
  TControl::SetCursor(FViewCursor);

  FVertScrollParams = std::make_unique<TQxScrollBarParams>();
  FHorzScrollParams = std::make_unique<TQxScrollBarParams>();
  FWheelParams = std::make_unique<TQxMouseWheelParams>();
  FSelectionMask = std::make_unique<TQxMask>();
  FSelectionMask->Allocate(std::max(FImageWidth, 0), std::max(FImageHeight, 0), 1);
  FWallPaper = std::make_unique<TPicture>();

  FHasOwner = AOwner != nullptr;
  FSelOutline = CreateOutlineRecord(clBlack, clWhite, true, true);
  SmoothDivisor = 8;
  DecUpdateLockAndUpdate();
}

TQuillotView::~TQuillotView() {
  FAlive.reset();
  QxDrawDibClose(FDrawDib);
  StopSmoothScroll();
  SyncLayers();
  FTransition.reset();
  if (FLinkedView) SetLinkedView(nullptr, 0);
  delete FIO;
  FIO = nullptr;
  delete FProc;
  FProc = nullptr;
  delete FOutlineTimer;
  FOutlineTimer = nullptr;
  FBackBuffer.reset();
  FBackBufferTBitmap.reset();
  FVertScrollParams.reset();
  FHorzScrollParams.reset();
  FWheelParams.reset();
  FSelectionMask.reset();
  for (auto it = FLayers.rbegin(); it != FLayers.rend(); ++it) delete *it;
  FLayers.clear();
  FCurrentBitmap = nullptr;
  FLegacyTBitmap = nullptr;
  FWallPaper.reset();
  FLinkBuffer.reset();
  FLinkBufferTBitmap.reset();
}

TQuillot::TQuillot(TComponent* AOwner) : TQuillotView(AOwner) {
  GetIO();
  GetProc();
}

// ---- owned components ----

TQuillotIO* TQuillotView::GetIO() {
  if (!FIO) {
    FIO = new TQuillotIO(this);
    FIO->SetAttachedQuillot(this);
    FIO->OnProgress = FOnProgress;
    FIO->OnFinishWork = FOnFinishWork;
  }
  return FIO;
}

TQuillotProc* TQuillotView::GetProc() {
  if (!FProc) {
    FProc = new TQuillotProc(this);
    FProc->SetAttachedQuillot(this);
    FProc->OnProgress = FOnProgress;
    FProc->OnFinishWork = FOnFinishWork;
    FProc->OnSaveUndo = FOnSaveUndo;
  }
  return FProc;
}

void TQuillotView::SetOnProgress(const TQxProgressEvent& Value) {
  FOnProgress = Value;
  if (FIO) FIO->OnProgress = Value;
  if (FProc) FProc->OnProgress = Value;
}

void TQuillotView::SetOnFinishWork(const TNotifyEvent& Value) {
  FOnFinishWork = Value;
  if (FIO) FIO->OnFinishWork = Value;
  if (FProc) FProc->OnFinishWork = Value;
}

void TQuillotView::SetOnSaveUndo(const TQxSaveUndoEvent& Value) {
  FOnSaveUndo = Value;
  if (FProc) FProc->OnSaveUndo = Value;
}

void TQuillotView::Notification(TComponent* AComponent, TOperation Operation) {
  TQxView::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FIO) FIO = nullptr;
  if (AComponent == FProc) FProc = nullptr;
  if (AComponent == FSmoothTimer) FSmoothTimer = nullptr;
  if (AComponent == FOutlineTimer) FOutlineTimer = nullptr;
  if (AComponent == FLinkedView) FLinkedView = nullptr;
}

// ---- properties ----

void TQuillotView::SetZoomFilter(TResampleFilter Value) {
  FRequestedZoomFilter = Value;
  if (Value != FZoomFilter) {
    FZoomFilter = Value;
    UpdateView();
  }
}

void TQuillotView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  const bool vert = Value == TScrollStyle::ssVertical || Value == TScrollStyle::ssBoth;
  const bool horz = Value == TScrollStyle::ssHorizontal || Value == TScrollStyle::ssBoth;
  if (!vert) {
    QxShowScrollBar(this, SB_VERT, false, FFlatScrollBars);
    FVertBarShown = false;
  }
  if (!horz) {
    QxShowScrollBar(this, SB_HORZ, false, FFlatScrollBars);
    FHorzBarShown = false;
  }
  ChangeKind = 4;
  UpdateView();
}

void TQuillotView::SetCenter(bool Value) {
  if (Value == FCenter) return;
  FCenter = Value;
  ChangeKind = 1;
  UpdateView();
}

void TQuillotView::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  UpdateView();
}

void TQuillotView::SetFlatScrollBars(bool Value) {
  if (Value == FFlatScrollBars) return;
  FFlatScrollBars = Value;
  if (Value) {
    QxSetScrollRange(this, SB_HORZ, 0, 65535, false, true);
    QxSetScrollRange(this, SB_VERT, 0, 65535, false, true);
    QxShowScrollBar(this, SB_HORZ, false, true);
    QxShowScrollBar(this, SB_VERT, false, true);
  }
}

// ---- client size ----

bool TQuillotView::HasParentWindow() const {
  const TWinControl* p = Parent();
  if (!p) return false;
  return GetParentForm(this) != nullptr || p->HandleAllocated();
}

int32_t TQuillotView::ViewClientWidth() const {
  if (OffscreenMode) return Width();
  if (HasParentWindow()) return ClientWidth();
  return 50;
}

int32_t TQuillotView::ViewClientHeight() const {
  if (OffscreenMode) return Height();
  if (HasParentWindow()) return ClientHeight();
  return 50;
}

// ---- coordinates ----

int32_t TQuillotView::SnapZoomedX(int32_t V) const {
  V = std::max(V, 0);
  if (V < FZoomedWidth && !FColumnOfX.empty() && FScreenColumns > 0 && V < int32_t(FColumnOfX.size())) {
    int32_t c = FColumnOfX[size_t(V)];
    if (c >= 0 && c < int32_t(FXOfColumn.size())) return FXOfColumn[size_t(c)];
  }
  return V;
}

int32_t TQuillotView::SnapZoomedY(int32_t V) const {
  V = std::max(V, 0);
  if (V < FZoomedHeight && !FRowOfY.empty() && FScreenRows > 0 && V < int32_t(FRowOfY.size())) {
    int32_t r = FRowOfY[size_t(V)];
    if (r >= 0 && r < int32_t(FYOfRow.size())) return FYOfRow[size_t(r)];
  }
  return V;
}

int32_t TQuillotView::ScreenToBitmapX(int32_t X) const {
  const int32_t d = X - FImageLeft;
  if (d >= 0 && d < FScreenColumns && size_t(FColumnCursor + d) < FColumnOfX.size())
    return FColumnOfX[size_t(FColumnCursor + d)];
  return int32_t(Trunc(d * FInvScaleX + FSourceLeft));
}

int32_t TQuillotView::ScreenToBitmapY(int32_t Y) const {
  const int32_t d = Y - FImageTop;
  if (d >= 0 && d < FScreenRows && size_t(FRowCursor + d) < FRowOfY.size()) return FRowOfY[size_t(FRowCursor + d)];
  return int32_t(Trunc(d * FInvScaleY + FSourceTop));
}

int32_t TQuillotView::BitmapToScreenX(int32_t X) const {
  const int32_t d = X - FSourceLeft;
  if (d >= 0 && d < FMappedColumns && size_t(FXCursor + d) < FXOfColumn.size())
    return FXOfColumn[size_t(FXCursor + d)] + FImageLeft;
  return int32_t(
      Round((X + Round(-SnapZoomedX(FViewOriginX) * FInvScaleX)) * FScaleX + FImageLeft));
}

int32_t TQuillotView::BitmapToScreenY(int32_t Y) const {
  const int32_t d = Y - FSourceTop;
  if (d >= 0 && d < FMappedRows && size_t(FYCursor + d) < FYOfRow.size())
    return FYOfRow[size_t(FYCursor + d)] + FImageTop;
  return int32_t(Round((Y + Round(-SnapZoomedY(FViewOriginY) * FInvScaleY)) * FScaleY + FImageTop));
}

// ---- layout ----

void TQuillotView::RecomputeScales() {
  FScaleX = FZoomX / 100;
  FInvScaleX = 100 / FZoomX;
  FScaleY = FZoomY / 100;
  FInvScaleY = 100 / FZoomY;
}

void TQuillotView::ComputeImageOffset() {
  // A zoom set for a smaller picture may be too large for this one.
  const double zx = BoundedZoom(FZoomX, 2), zy = BoundedZoom(FZoomY, 1);
  if ((zx > 0 && zx != FZoomX) || (zy > 0 && zy != FZoomY)) {
    if (zx > 0) FZoomX = zx;
    if (zy > 0) FZoomY = zy;
    RecomputeScales();
  }
  FZoomedWidth = int32_t(Round(FImageWidth * FScaleX));
  FZoomedHeight = int32_t(Round(FImageHeight * FScaleY));
  FImageLeft = FImageTop = 0;
  if (ComponentState().Contains(csDesigning)) {
    FVisibleWidth = std::min(FZoomedWidth, Width());
    FVisibleHeight = std::min(FZoomedHeight, Height());
    return;
  }
  const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
  FVisibleWidth = std::min(FZoomedWidth, cw);
  FVisibleHeight = std::min(FZoomedHeight, ch);
  if (FCenter) {
    if (FVisibleWidth < cw) FImageLeft = (cw - FVisibleWidth) / 2;
    if (FVisibleHeight < ch) FImageTop = (ch - FVisibleHeight) / 2;
  }
}

void TQuillotView::UpdateViewExtents() { ComputeVisibleRects(); }

void TQuillotView::ComputeVisibleRects() {
  FSourceLeft = FSourceTop = FSourceWidth = FSourceHeight = 0;
  if (FZoomedWidth != 0) {
    const double r = double(FImageWidth) / FZoomedWidth;
    FSourceLeft = int32_t(Round(SnapZoomedX(FViewOriginX) * r));
    FSourceWidth = int32_t(Round(FVisibleWidth * r));
    if (FSourceLeft + FSourceWidth > FImageWidth) --FSourceWidth;
  }
  if (FZoomedHeight != 0) {
    const double r = double(FImageHeight) / FZoomedHeight;
    FSourceTop = int32_t(Round(SnapZoomedY(FViewOriginY) * r));
    FSourceHeight = int32_t(Round(FVisibleHeight * r));
    if (FSourceTop + FSourceHeight > FImageHeight) --FSourceHeight;
  }
  if (FZoomX > 100) {
    FDestWidth = int32_t(Trunc(FSourceWidth * FScaleX));
    if (FDestWidth < FVisibleWidth && FSourceLeft + FSourceWidth + 1 <= FImageWidth) {
      ++FSourceWidth;
      FDestWidth = int32_t(Trunc(FSourceWidth * FScaleX));
    }
  } else {
    FDestWidth = FVisibleWidth;
  }
  if (FZoomY > 100) {
    FDestHeight = int32_t(Trunc(FSourceHeight * FScaleY));
    if (FDestHeight < FVisibleHeight && FSourceTop + FSourceHeight + 1 <= FImageHeight) {
      ++FSourceHeight;
      FDestHeight = int32_t(Trunc(FSourceHeight * FScaleY));
    }
  } else {
    FDestHeight = FVisibleHeight;
  }
}

namespace {

// Fills one axis's pair of tables; entries hit several times keep the smallest value.
void BuildAxis(double Zoom, double Scale, double InvScale, int32_t Zoomed, int32_t Dest, int32_t Image,
               std::vector<int32_t>& OfZoomed, std::vector<int32_t>& OfBitmap) {
  const int64_t n = int64_t(Zoomed) + Dest;
  const int64_t k = Trunc((n + 1) * InvScale);
  OfZoomed.assign(size_t(std::max<int64_t>(n + 2, 0)), 0);
  OfBitmap.assign(size_t(std::max<int64_t>(k + 2, 0)), 0);
  const int32_t last = std::max(Image - 1, 0);
  if (Zoom > 100) {
    for (int64_t z = n; z >= 0; --z) {
      int64_t c = Trunc(z * InvScale);
      if (c >= 0 && size_t(c) < OfBitmap.size()) OfBitmap[size_t(c)] = int32_t(z);
      OfZoomed[size_t(z)] = int32_t(std::min<int64_t>(c, last));
    }
  } else {
    for (int64_t c = k; c >= 0; --c) {
      int64_t z = Trunc(c * Scale);
      OfBitmap[size_t(c)] = int32_t(z);
      if (z >= 0 && size_t(z) < OfZoomed.size()) OfZoomed[size_t(z)] = int32_t(std::min<int64_t>(c, last));
    }
  }
}

}  // namespace

void TQuillotView::BuildZoomTables() {
  if (FZoomX != FCacheZoomX || FZoomY != FCacheZoomY || FDestWidth != FCacheDestWidth ||
      FDestHeight != FCacheDestHeight || FImageWidth != FCacheImageWidth || FImageHeight != FCacheImageHeight) {
    FColumnOfX.clear();
    FRowOfY.clear();
    FXOfColumn.clear();
    FYOfRow.clear();
    FColumnCursor = FRowCursor = FXCursor = FYCursor = 0;
    FScreenColumns = FScreenRows = FMappedColumns = FMappedRows = 0;
    if (FDestWidth == 0 || FDestHeight == 0 || !FCurrentBitmap || FCurrentBitmap->Width() == 0 ||
        FCurrentBitmap->Height() == 0)
      return;
    BuildAxis(FZoomX, FScaleX, FInvScaleX, FZoomedWidth, FDestWidth, FImageWidth, FColumnOfX, FXOfColumn);
    BuildAxis(FZoomY, FScaleY, FInvScaleY, FZoomedHeight, FDestHeight, FImageHeight, FRowOfY, FYOfRow);
    FCacheZoomX = FZoomX;
    FCacheZoomY = FZoomY;
    FCacheDestWidth = FDestWidth;
    FCacheDestHeight = FDestHeight;
    FCacheImageWidth = FImageWidth;
    FCacheImageHeight = FImageHeight;
  }
  FScreenColumns = FDestWidth;
  FScreenRows = FDestHeight;
  FMappedColumns = int32_t(Trunc(FDestWidth * FInvScaleX));
  FMappedRows = int32_t(Trunc(FDestHeight * FInvScaleY));
  if (FScreenColumns > 0 && !FColumnOfX.empty()) {
    const int32_t a = std::min(SnapZoomedX(FViewOriginX), int32_t(FColumnOfX.size()) - 1);
    const int32_t b = std::min(SnapZoomedY(FViewOriginY), int32_t(FRowOfY.size()) - 1);
    FColumnCursor = a;
    FRowCursor = b;
    FXCursor = std::min(std::max(0, FColumnOfX[size_t(a)] - FSourceLeft), int32_t(FXOfColumn.size()) - 1);
    FYCursor = std::min(std::max(0, FRowOfY[size_t(b)] - FSourceTop), int32_t(FYOfRow.size()) - 1);
  }
}

// ---- update ----

void TQuillotView::FreeMaskCaches() {
  if (FNotedLayer < 0) {
    for (TQxLayer* l : FLayers) l->FreeMaskCache();
  } else if (FNotedLayer < LayerCount()) {
    FLayers[size_t(FNotedLayer)]->FreeMaskCache();
  }
  FNotedLayer = -1;
}

void TQuillotView::UpdateView() {
  const TComponentState state = ComponentState();
  if (FUpdateLock > 0 || state.Contains(csDesigning) || !(state - TComponentState(TComponentStateItem::csFreeNotification)).Empty()) {
    ChangeKind = 0;
    return;
  }
  struct Finally {
    TQuillotView* v;
    ~Finally() {
      v->ChangeKind = 0;
      v->FInUpdate = false;
    }
  } finally{this};
  FInUpdate = true;
  // Only an update of any kind may have changed the layers' pixels. Centring, zoom, selection and layout
  // (scroll bars, background, size) leave them as they are; what they change is part of the caches' keys.
  if (ChangeKind == 0) ++FContentGeneration;
  FreeMaskCaches();
  SyncLayers();
  AutoZoom();

  if (FCurrentBitmap && (FCurrentBitmap->Width() != FLastBitmapWidth || FCurrentBitmap->Height() != FLastBitmapHeight)) {
    FLastBitmapWidth = FCurrentBitmap->Width();
    FLastBitmapHeight = FCurrentBitmap->Height();
    if (FSelectionMask->Width() != FLastBitmapWidth || FSelectionMask->Height() != FLastBitmapHeight) {
      if (FSelected) {
        FSelectionMask->ChangeSize(FLastBitmapWidth, FLastBitmapHeight);
        FSelectionMask->UpdateFull();
        FSelectionMask->SyncBoundingBox();
      } else {
        FSelectionMask->Allocate(FLastBitmapWidth, FLastBitmapHeight, FSelectionMask->BitsPerPixel() == 8 ? 8 : 1);
      }
    }
    if (FCurrentBitmap->HasAlphaChannel()) {
      TQxBitmap* a = FCurrentBitmap->GetAlphaChannel();
      if (a->Width() != FLastBitmapWidth || a->Height() != FLastBitmapHeight) {
        a->Allocate(FLastBitmapWidth, FLastBitmapHeight, TQxPixelFormat::qx8g);
        a->Fill(255);
      }
    }
  }

  // A view without a window lays out against its fallback client size; only the window steps wait.
  if (!state.Contains(csDesigning) && HasParentWindow()) {
    const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
    int32_t mx = 0, my = 0;
    GetMaxViewOrigin(mx, my);
    bool moved = false;
    if (mx < FViewOriginX) {
      DoViewChanging(0, mx);
      FViewOriginX = mx;
      moved = true;
    }
    if (my < FViewOriginY) {
      DoViewChanging(1, my);
      FViewOriginY = my;
      moved = true;
    }
    if (moved) DoViewChange(0);
    ScrollBarsUpdate();
    if ((cw != ViewClientWidth() || ch != ViewClientHeight()) && !FUpdateRepeat) {
      const uint8_t kind = ChangeKind;
      FUpdateRepeat = true;
      ChangeKind = kind;
      UpdateView();
      FUpdateRepeat = false;
      FInUpdate = true;
      ChangeKind = kind;
    }
  }
  ComputeImageOffset();
  FBufferDirty = true;
  FRepaintAll = true;
  if (HasParentWindow() && !NoAutoInvalidate && FAutoInvalidate) Invalidate();
  if (FLinkedView && FLinkedView->FPaintLock == 0) {
    if (ChangeKind == 0) FLinkedView->UpdateView();
    SyncLinkedView();
  }
}

void TQuillotView::Update() {
  UpdateView();
  TQxView::Update();
}

void TQuillotView::IncUpdateLock() { ++FUpdateLock; }

void TQuillotView::DecUpdateLockAndUpdate() {
  if (FUpdateLock > 0) --FUpdateLock;
  if (FUpdateLock == 0) UpdateView();
}

void TQuillotView::DecUpdateLock() {
  if (FUpdateLock > 0) --FUpdateLock;
}

void TQuillotView::IncPaintLock() { ++FPaintLock; }

int32_t TQuillotView::DecPaintLockAndUpdate() {
  if (FPaintLock > 0) --FPaintLock;
  if (FPaintLock == 0) UpdateView();
  return FPaintLock;
}

int32_t TQuillotView::DecPaintLock() {
  if (FPaintLock > 0) --FPaintLock;
  return FPaintLock;
}

void TQuillotView::DoViewChange(int32_t Change) {
  if (OnViewChange) OnViewChange(this, Change);
  if (FLinkedView) SyncLinkedView();
}

void TQuillotView::DoViewChanging(int32_t Change, double NewValue) {
  if (OnViewChanging) OnViewChanging(this, Change, NewValue);
}

// ---- content ----

TBitmap* TQuillotView::GetTBitmap() { return FLegacyBitmap ? FLegacyTBitmap : nullptr; }

TQxBitmap* TQuillotView::GetQxBitmap() { return FCurrentBitmap; }

TQxBitmap* TQuillotView::GetAlphaChannel() { return FCurrentBitmap->GetAlphaChannel(); }

bool TQuillotView::HasAlphaChannel() { return FCurrentBitmap->HasAlphaChannel(); }

void TQuillotView::RemoveAlphaChannel(bool Merge) { FCurrentBitmap->RemoveAlphaChannel(Merge, Background()); }

void TQuillotView::ClearImage() {
  if (FCurrentBitmap->Width() > 0 && FCurrentBitmap->Height() > 0) FCurrentBitmap->Fill(Background());
  RemoveAlphaChannel(false);
  UpdateView();
}

void TQuillotView::ResetToBlank() {
  if (FTransition) FTransition->Stop();
  if (FCurrentBitmap->PixelFormat() == TQxPixelFormat::qxInvalid || FCurrentBitmap->IsEmpty()) {
    FCurrentBitmap->Allocate(1, 1, TQxPixelFormat::qx24RGB);
  } else {
    FCurrentBitmap->ChangeWidth(1);
    FCurrentBitmap->ChangeHeight(1);
  }
  ClearImage();
}

bool TQuillotView::IsImageEmpty() { return FCurrentBitmap->Width() < 2 && FCurrentBitmap->Height() < 2; }

void TQuillotView::AssignFrom(TPersistent* Source) {
  if (!Source) {
    ClearImage();
    return;
  }
  if (auto* v = dynamic_cast<TQuillotView*>(Source)) {
    AssignFrom(v);
    return;
  }
}

void TQuillotView::AssignFrom(TQuillotView* Source) {
  if (!Source) {
    ClearImage();
    return;
  }
  FCurrentBitmap->AssignFrom(Source->FCurrentBitmap);
  StoreBackground(Source->Background());
  SetDpi(Source->DpiX(), Source->DpiY());
  UpdateView();
  DoImageChange();
}

void TQuillotView::AssignFrom(TBitmap* Source) {
  if (!Source) {
    ClearImage();
    return;
  }
  FCurrentBitmap->CopyFromTBitmap(Source);
  if (FCurrentBitmap->PixelFormat() != TQxPixelFormat::qx1g && FCurrentBitmap->PixelFormat() != TQxPixelFormat::qx24RGB)
    FCurrentBitmap->SetPixelFormat(TQxPixelFormat::qx24RGB);
  UpdateView();
  DoImageChange();
}

void TQuillotView::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  SetViewBounds(ALeft, ATop, AWidth, AHeight);
}

void TQuillotView::SetViewBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  const bool sizeChanged = AWidth != Width() || AHeight != Height();
  TQxView::SetBounds(ALeft, ATop, AWidth, AHeight);
  const TComponentState s = ComponentState();
  if (FCurrentBitmap && (s.Contains(csLoading) || s.Contains(csReading) || s.Contains(csDesigning))) {
    FCurrentBitmap->Allocate(std::max(Width(), 1), std::max(Height(), 1), TQxPixelFormat::qx24RGB);
    ClearImage();
  }
  // A parentless view gets no size message; its layout follows its bounds here.
  if (sizeChanged && FCurrentBitmap && !HasParentWindow() && OffscreenMode && !FInUpdate) {
    ChangeKind = 4;
    UpdateView();
  }
}

void TQuillotView::DoImageChange() {
  // An I/O worker may report a finished load; the event belongs to the GUI thread.
  if (!TThread::IsMainThread()) {
    if (HandleAllocated()) {
      PostMessage(Handle(), QX_WM_VIEW_IMAGECHANGE, 0, 0);
    } else if (Application) {
      // No window to post to: the GUI thread runs it at its next turn, unless the view is gone by then.
      std::weak_ptr<bool> alive = FAlive;
      Application->Queue([this, alive] {
        if (alive.lock()) DoImageChange();
      });
    }
    return;
  }
  TQxView::DoImageChange();
  if (OnImageChange) OnImageChange(this);
}

void TQuillotView::AttachExternalBitmap(TQxBitmap* Bitmap) {
  if (FCurrentLayerIndex < 0) return;
  TQxLayer* layer = FLayers[size_t(FCurrentLayerIndex)];
  if (!Bitmap) {
    if (layer->OwnsBitmap) {
      delete layer->Bitmap;
      delete layer->OwnedTBitmap;
    }
    layer->OwnsBitmap = true;
    layer->OwnedTBitmap = nullptr;
    FCurrentBitmap = new TQxBitmap();
    layer->Bitmap = FCurrentBitmap;
    FLegacyTBitmap = nullptr;
    return;
  }
  if (layer->OwnsBitmap) {
    delete layer->Bitmap;
    delete layer->OwnedTBitmap;
    layer->OwnedTBitmap = nullptr;
  }
  layer->Bitmap = Bitmap;
  layer->OwnsBitmap = false;
  FCurrentBitmap = Bitmap;
  FLegacyTBitmap = Bitmap->Location() == TQxLocation::qxTBitmap ? Bitmap->GetTBitmap() : nullptr;
  NotifyBitmapChange();
  UpdateView();
}

void TQuillotView::SetLegacyBitmap(bool Value) {
  if (Value == FLegacyBitmap) return;
  TQxLayer* layer = CurrentLayer();
  if (!Value) {
    FCurrentBitmap->SetLocation(TQxLocation::qxFile);
    FLegacyTBitmap = nullptr;
    if (layer && layer->OwnedTBitmap) {
      delete layer->OwnedTBitmap;
      layer->OwnedTBitmap = nullptr;
    }
  } else {
    FCurrentBitmap->SetLocation(TQxLocation::qxTBitmap);
    FLegacyTBitmap = FCurrentBitmap->GetTBitmap();
  }
  FLegacyBitmap = Value;
  NotifyBitmapChange();
  UpdateView();
}

// ---- TQxProcViewHost ----

TQxBitmap* TQuillotView::ProcLayerBitmap(int32_t Index) {
  if (Index < 0 || Index >= LayerCount()) return nullptr;
  return Index == FCurrentLayerIndex ? FCurrentBitmap : FLayers[size_t(Index)]->Bitmap;
}

void TQuillotView::ProcLayerId(int32_t Index, uint8_t Id[16]) {
  if (Index < 0 || Index >= LayerCount()) return;
  std::copy(FLayers[size_t(Index)]->LayerId.begin(), FLayers[size_t(Index)]->LayerId.end(), Id);
}

void TQuillotView::ProcWriteLayer(int32_t Index, TStream* Stream, bool WithBitmap) {
  if (Index < 0 || Index >= LayerCount()) return;
  SyncLayers();
  FLayers[size_t(Index)]->WriteToStream(Stream, WithBitmap);
}

void TQuillotView::ProcReadLayer(int32_t Index, TStream* Stream) {
  if (Index < 0 || Index >= LayerCount()) return;
  SyncLayers();
  FLayers[size_t(Index)]->ReadFromStream(Stream);
}
