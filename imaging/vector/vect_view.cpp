// TQuillotVect as a component: construction, properties, measurement units and hint, object undo,
// keyboard and focus, and the unit's start and end.
#include <algorithm>
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/proc.h"
#include "imaging/vector/vect.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/timer.h"

void QxVectInstallFileHooks();

uint32_t QxVectClipboardFormat = 0;

void QxVectInit() {
  QxVectClipboardFormat = RegisterClipboardFormat("QUILLOT VECT");
  QxFillTextShortcuts();
  QxRegisterCustomObjectClass("", nullptr);  // creates the empty registry
}

void QxVectFinal() { QxFreeCustomObjectClasses(); }

namespace {
const bool kRegistered = [] {
  QxRegisterStartStep(TQxStartStep::qxsVect, &QxVectInit, &QxVectFinal);
  QxVectInstallFileHooks();
  return true;
}();
}  // namespace

// ---------------------------------------------------------------- life cycle

TQuillotVect::TQuillotVect(TComponent* AOwner) : TQuillotView(AOwner) {
  QxVectInstallFileHooks();
  // Objects are drawn anti-aliased and translucent through the drawing layer.
  GdiPlusLoad();
  FEditHandle = -1;
  FEdit = new TQxEdit(this);
  FEdit->SetVisible(false);
  FMemo = new TQxTextControl(this);
  FMemo->SetVisible(false);
  FGripImage = std::make_unique<TPicture>();
  FHintBitmap = std::make_unique<TBitmap>(1, 1, TPixelFormat::pf24bit);
  FHintFont.SetColor(clBlack);
  FHintFont.SetStyle({TFontStyle::fsBold});
  FHintBrush.SetColor(TColor(0x60FFFF));
  FHintBrush.SetStyle(TBrushStyle::bsSolid);
  GripPen.SetColor(clBlack);
  GripBrush.SetColor(clWhite);
  GripBrush.SetStyle(TBrushStyle::bsSolid);
  RubberBandPen.SetColor(clBlack);
  RubberBandPen.SetMode(TPenMode::pmNot);
  RubberBandPen.SetWidth(1);
  RecomputeUnitScales();
  InitTemplate();
  FTimer = std::make_unique<TTimer>(nullptr);
  FTimer->SetEnabled(false);
  FTimer->SetInterval(50);
  FTimer->SetOnTimer([this](TObject* S) { FastDrawTimerTick(S); });
  FTimer->SetEnabled(false);
}

TQuillotVect::~TQuillotVect() {
  FDestroying = true;
  EndTextEdit();
  FEditHandle = -1;
  FTimer.reset();
  FreeAllObjectRecords();
  FObjects.clear();
  FSelection.clear();
  FBitmaps.clear();
  FUndo.clear();
  GdiPlusUnload();
}

void TQuillotVect::InitTemplate() {
  TQxVObject& t = FTemplate;
  t = TQxVObject{};
  t.x1 = 0, t.y1 = 0, t.x2 = 63, t.y2 = 63;
  TFont f;
  f.SetName("Arial");
  t.Font = QxLogFontOf(f);
  t.PenColor = f.Color() < 0 ? clBlack : f.Color();
  t.RulerUnit = FMUnit;
  SetObjBitmapFromIcon(QxHandleTemplate, 0, 64, 64);
}

// ---------------------------------------------------------------- properties

void TQuillotVect::SetMUnit(TQxUnits Value) {
  FMUnit = Value;
  FTemplate.RulerUnit = Value;
  RecomputeUnitScales();
  RedrawMeasureHint(-1000000, -1000000);
}

void TQuillotVect::SetFloatDigits(int32_t Value) {
  FFloatDigits = Value;
  RedrawMeasureHint(-1000000, -1000000);
}

void TQuillotVect::SetFloatPrecision(int32_t Value) {
  FFloatPrecision = Value;
  RedrawMeasureHint(-1000000, -1000000);
}

void TQuillotVect::SetZoomObjectsWidth(bool Value) {
  FZoomObjectsWidth = Value;
  UpdateView();
}

void TQuillotVect::SetBitmapResampleFilter(TResampleFilter Value) {
  FBitmapResampleFilter = Value;
  UpdateView();
}

void TQuillotVect::SetObjAntialias(bool Value) {
  if (Value == FObjAntialias) return;
  FObjAntialias = Value;
  UpdateView();
}

void TQuillotVect::SetObjGripImage(TPicture* Value) {
  FGripImage->Assign(Value);
  if (TGraphic* g = FGripImage->Graphic()) GripSize = std::max(g->Width(), g->Height()) / 2;
}

TNotifyEvent TQuillotVect::OnTextEditCursorMoved() const { return FMemo->OnCursorMoved; }
void TQuillotVect::SetOnTextEditCursorMoved(const TNotifyEvent& Value) { FMemo->OnCursorMoved = Value; }

void TQuillotVect::SetPaintDirty() {
  if (FDestroying) return;
  UpdateView();
}

// ---------------------------------------------------------------- units and measures

void TQuillotVect::UnitScale(double& UX, double& UY, TQxUnits Unit) const {
  if (Unit == TQxUnits::qxuPIXELS) {
    UX = UY = 1;
  } else {
    const double dx = DpiX() > 0 ? DpiX() : 1, dy = DpiY() > 0 ? DpiY() : 1;
    double f = 1;
    switch (Unit) {
      case TQxUnits::qxuINCHES: f = 1; break;
      case TQxUnits::qxuKM: f = 2.54 / 100000; break;
      case TQxUnits::qxuMETERS: f = 2.54 / 100; break;
      case TQxUnits::qxuCENTIMETERS: f = 2.54; break;
      case TQxUnits::qxuMILLIMETERS: f = 2.54 * 10; break;
      case TQxUnits::qxuMICRONS: f = 2.54 * 10000; break;
      case TQxUnits::qxuNANOMETERS: f = 2.54 * 10000000; break;
      case TQxUnits::qxuFEET: f = 1.0 / 12; break;
      case TQxUnits::qxuYARDS: f = 1.0 / 36; break;
      case TQxUnits::qxuMILES: f = 1.0 / 63360; break;
      default: break;
    }
    UX = f / dx;
    UY = f / dy;
  }
  UX *= MeasureScale;
  UY *= MeasureScale;
}

void TQuillotVect::RecomputeUnitScales() { UnitScale(FUnitX, FUnitY, FMUnit); }

void TQuillotVect::SetMeasureScale(double Value) {
  MeasureScale = Value;
  RecomputeUnitScales();
}

void TQuillotVect::SetDpiX(int32_t Value) {
  TQuillotView::SetDpiX(Value);
  RecomputeUnitScales();
  RedrawMeasureHint(-1000000, -1000000);
  UpdateView();
}

void TQuillotVect::SetDpiY(int32_t Value) {
  TQuillotView::SetDpiY(Value);
  RecomputeUnitScales();
  RedrawMeasureHint(-1000000, -1000000);
  UpdateView();
}

double TQuillotVect::SelectionArea() {
  const TPoint* pts = PolySelPoints();
  const int32_t n = PolySelCount();
  if (pts && n > 2) {
    double sum = 0;
    int32_t first = 0;
    for (int32_t i = 0; i < n; ++i) {
      if (pts[i].X == 0xFFFFF) {
        first = i + 1;
        continue;
      }
      const bool last = i + 1 >= n || pts[i + 1].X == 0xFFFFF;
      const TPoint& a = pts[i];
      const TPoint& b = last ? pts[first] : pts[i + 1];
      sum += double(a.X - b.X) * double(b.Y + a.Y);
    }
    return std::abs(sum * FUnitX * FUnitY / 2);
  }
  TQxMask* m = SelectionMask();
  if (!m || m->IsEmpty()) return 0;
  if (m->BitsPerPixel() != 1) return 0;
  int64_t count = 0;
  for (int32_t y = m->Y1; y <= m->Y2; ++y)
    for (int32_t x = m->X1; x <= m->X2; ++x)
      if (m->GetPixel(x, y)) ++count;
  return double(count) * FUnitX * FUnitY;
}

double TQuillotVect::PolygonLength() {
  const TPoint* pts = PolySelPoints();
  const int32_t n = PolySelCount();
  if (!pts || n <= 0) return 0;
  double len = 0;
  auto seg = [&](const TPoint& a, const TPoint& b) {
    const double dx = std::abs(b.X - a.X) * FUnitX, dy = (b.Y - a.Y) * FUnitY;
    len += std::sqrt(dx * dx + dy * dy);
  };
  int32_t first = 0;
  for (int32_t i = 0; i + 1 < n; ++i) {
    if (pts[i].X == 0xFFFFF) {
      first = i + 1;
      continue;
    }
    if (pts[i + 1].X == 0xFFFFF)
      seg(pts[i], pts[first]);
    else
      seg(pts[i], pts[i + 1]);
  }
  if (pts[n - 1].X == 0xFFFFF) return len;
  if (!PolygonOpen()) {
    if (n > 2) seg(pts[n - 1], pts[first]);
  } else if (PolygonLengthToCursor) {
    // Still being drawn: the open segment runs to the pointer.
    seg(pts[n - 1], TPoint(ScreenToBitmapX(RubberX()), ScreenToBitmapY(RubberY())));
  }
  return len;
}

// What the window shows: hints and rubber bands go over the frame already sent there, never into the
// back buffer that repaints take their pixels from.
TCanvas* TQuillotVect::ViewCanvas() {
  if (!HasParentWindow() || ViewClientWidth() <= 0 || ViewClientHeight() <= 0) return nullptr;
  return Canvas();
}

void TQuillotVect::DrawMeasureHint(int32_t X, int32_t Y) {
  if (!FHintShown) return;
  if (X == -1000000) X = FHintLastX;
  if (Y == -1000000) Y = FHintLastY;
  X = std::max(0, X);
  Y = std::max(0, Y);
  double value = 0;
  std::string text;
  const TQxVValType kind = FObjectInteract.Contains(TQxObjectInteractItems::oiArea) ? TQxVValType::qxvtAREA
                                                                                     : TQxVValType::qxvtLENGTH;
  if (FObjectInteract.Contains(TQxObjectInteractItems::oiArea)) {
    value = SelectionArea();
  } else if (FObjectInteract.Contains(TQxObjectInteractItems::oiPerimeter)) {
    value = PolygonLength();
  } else if (FObjectInteract.Contains(TQxObjectInteractItems::oiDragLength)) {
    const double dx = (X - FDragStart.X + 1) * FUnitX * InvScaleX();
    const double dy = (Y - FDragStart.Y + 1) * FUnitY * InvScaleY();
    value = std::sqrt(dx * dx + dy * dy);
  }
  if (value == 0) value = FLastMeasure;
  FLastMeasure = value;
  text = QxFloatToTextF(value, TQxFloatFormat::ffFixed, FFloatPrecision, FFloatDigits) + " " + QxUnitName(FMUnit);
  if (kind == TQxVValType::qxvtAREA) text += "\xC2\xB2";
  if (OnMeasureHint) OnMeasureHint(this, text, value);
  if (OnPresentMeasure) OnPresentMeasure(this, text, value, kind);
  if (TCanvas* c = ViewCanvas()) {
    int32_t x = X, y = Y;
    QxDrawTextBox(c, x, y, TColor(8421504), TColor(0xFFFFFF), ViewClientHeight(), ViewClientWidth(),
                  FHintBitmap.get(), &FHintBrush, &FHintFont, text);
    // The box was moved inside the client; its saved pixels belong where it went.
    FHintSavedX = x;
    FHintSavedY = y;
  }
  FHintLastX = X;
  FHintLastY = Y;
}

void TQuillotVect::EraseMeasureHint() {
  if (FHintShown && FHintBitmap->Width() >= 2) {
    if (TCanvas* c = ViewCanvas()) {
      BitBlt(c, FHintSavedX, FHintSavedY, FHintBitmap->Width(), FHintBitmap->Height(), FHintBitmap->Canvas(), 0, 0,
             SRCCOPY);
    }
  }
  FHintBitmap->SetSize(1, FHintBitmap->Height() > 0 ? FHintBitmap->Height() : 1);
}

void TQuillotVect::RedrawMeasureHint(int32_t X, int32_t Y) {
  EraseMeasureHint();
  DrawMeasureHint(X, Y);
}

// ---------------------------------------------------------------- object undo

void TQuillotVect::SaveUndoBeforeEdit() {
  FSnapshot = FObjAutoUndo;
  if (!FObjAutoUndo) return;
  if (FObjUndoMode == TQxVUndoMode::qxumSeparated) {
    // Held back until something changes: a press that changes nothing must not push an older snapshot
    // out of a full list.
    if (FObjUndoLimit <= 0) return;
    FPendingUndo = std::make_unique<TMemoryStream>();
    SaveObjectsToStream(FPendingUndo.get());
  } else {
    GetProc()->SaveUndo(TQxUndoSource::qxuObject);
  }
}

void TQuillotVect::CommitPendingUndo() {
  if (!FPendingUndo) return;
  while (!FUndo.empty() && int32_t(FUndo.size()) >= FObjUndoLimit) FUndo.erase(FUndo.begin());
  FUndo.push_back(std::move(FPendingUndo));
  if (OnSaveUndo()) OnSaveUndo()(this, TQxUndoSource::qxuObject);
}

void TQuillotVect::SaveObjUndo() {
  if (FObjUndoLimit <= 0) return;
  auto s = std::make_unique<TMemoryStream>();
  SaveObjectsToStream(s.get());
  while (!FUndo.empty() && int32_t(FUndo.size()) >= FObjUndoLimit) FUndo.erase(FUndo.begin());
  FUndo.push_back(std::move(s));
  if (OnSaveUndo()) OnSaveUndo()(this, TQxUndoSource::qxuObject);
}

void TQuillotVect::DropLastObjUndo() {
  if (!FUndo.empty()) FUndo.pop_back();
}

void TQuillotVect::ClearObjUndo() { FUndo.clear(); }

TMemoryStream* TQuillotVect::ObjUndoSnapshot(int32_t Index) const {
  return Index >= 0 && Index < int32_t(FUndo.size()) ? FUndo[size_t(Index)].get() : nullptr;
}

bool TQuillotVect::RestoreObjUndo(int32_t Index) {
  TMemoryStream* s = ObjUndoSnapshot(Index);
  if (!s) return false;
  s->SetPosition(0);
  return LoadObjectsFromStream(s);
}

void TQuillotVect::ClearAllObjects() {
  CancelInteraction();
  const bool autoUndo = FObjAutoUndo;
  SaveUndoBeforeEdit();
  (void)autoUndo;
  FreeAllObjectRecords();
  FObjects.clear();
  FObjects.shrink_to_fit();
  FOrder.shrink_to_fit();
  FSelection.clear();
  // The template keeps its bitmap; every other shared bitmap goes.
  std::unique_ptr<TQxBitmap> keep;
  if (FTemplate.BitmapIndex >= 0 && FTemplate.BitmapIndex < int32_t(FBitmaps.size()))
    keep = std::move(FBitmaps[size_t(FTemplate.BitmapIndex)].Bitmap);
  FBitmaps.clear();
  FTemplate.BitmapIndex = -1;
  if (keep) {
    FBitmaps.push_back({std::move(keep), 1});
    FTemplate.BitmapIndex = 0;
  }
  DoVectorialChanged();
  UpdateView();
}

// ---------------------------------------------------------------- interaction state

void TQuillotVect::CancelInteraction() {
  HideBand();
  FHoverHandle = -1;
  FCreating = TQxVObjectKind::qvkNone;
  FMeasuring = false;
  FAction = 0;
  const bool was = FEditHandle >= 0;
  EndTextEdit();
  if (was) {
    FEditHandle = -1;
    if (!FDestroying) UpdateView();
  }
}

void TQuillotVect::FastDrawTimerTick(TObject*) {
  if (QxPrimaryMouseDown() || FButtonDown) return;
  FTimer->SetEnabled(false);
  FFastDrawing = false;
  UpdateView();
}

void TQuillotVect::PaintView() {
  if (!FTimer->Enabled() && !(FFastDrawing && FastDragDrawing) && FButtonDown && FastDragDrawing) {
    FFastDrawing = true;
    FTimer->SetEnabled(true);
  }
  TQuillotView::PaintView();
  FHintBitmap->SetSize(1, 1);
  // The paint put the bare frame back under the band.
  if (FBand != TBand::None) RedrawBand();
  if (!InZoomDelay()) DrawMeasureHint(-1000000, -1000000);
}

void TQuillotVect::UpdateView() {
  TQuillotView::UpdateView();
  if (FEditHandle >= 0) PlaceTextEditor();
}

void TQuillotVect::DoViewChange(int32_t Change) {
  TQuillotView::DoViewChange(Change);
  if (FEditHandle >= 0) PlaceTextEditor();
}

void TQuillotVect::ShiftDragOrigin(int32_t DX, int32_t DY) {
  TQuillotView::ShiftDragOrigin(DX, DY);
  FCurrent.X += DX;
  FCurrent.Y += DY;
}

void TQuillotVect::SetMouseInteract(TQxMouseInteract Value) {
  TQuillotView::SetMouseInteract(Value);
  if (!Value.Empty()) {
    for (int b = int(TQxObjectInteractItems::oiLine); b <= int(TQxObjectInteractItems::oiPolylinePoints); ++b)
      FObjectInteract.Exclude(TQxObjectInteractItems(b));
    FObjectInteract.Exclude(TQxObjectInteractItems::oiCustom);
  }
  CancelInteraction();
}

void TQuillotVect::AssignFrom(TPersistent* Source) {
  if (auto* v = dynamic_cast<TQuillotVect*>(Source)) {
    AssignFrom(v);
    return;
  }
  TQuillotView::AssignFrom(Source);
  if (!Source) {
    CancelInteraction();
    ClearAllObjects();
  }
}

void TQuillotVect::AssignFrom(TQuillotVect* Source) {
  if (!Source) {
    TQuillotView::AssignFrom(static_cast<TPersistent*>(nullptr));
    CancelInteraction();
    ClearAllObjects();
    return;
  }
  TQuillotView::AssignFrom(static_cast<TQuillotView*>(Source));
  CancelInteraction();
  ClearAllObjects();
  Source->CopyAllObjectsTo(this);
  SetMeasureScale(Source->MeasureScale);
  DoVectorialChanged();
  UpdateView();
}

void TQuillotVect::ComposeLayersTo(TQxBitmap* Dest, std::vector<uint8_t*>* DestRows, const TRect* UpdateRect,
                                   bool DrawBackground, bool DrawOverlays) {
  TQuillotView::ComposeLayersTo(Dest, DestRows, UpdateRect, DrawBackground, DrawOverlays);
  // Objects go on screen pictures only; a merge into a layer's bitmap (no background, no overlays) must
  // not get them in screen coordinates.
  if (HideObjects || FOrder.empty() || !Dest || !(DrawBackground || DrawOverlays)) return;
  if (TBitmap* tb = Dest->GetTBitmap()) {
    PaintObjects(tb);
    BackBufferDrawnOver(Dest);
  }
}

// ---------------------------------------------------------------- events

void TQuillotVect::DoVectorialChanged() {
  CommitPendingUndo();
  FChanged = true;
  FBeforeFired = false;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

void TQuillotVect::DoBeforeVectorialChanged() {
  CommitPendingUndo();
  if (!FBeforeFired && OnBeforeVectorialChanged) OnBeforeVectorialChanged(this);
  FBeforeFired = true;
}

void TQuillotVect::DoObjectMoveResize(int32_t hobj, int32_t Grip, int32_t& DX, int32_t& DY) {
  if (OnObjectMoveResize) OnObjectMoveResize(this, hobj, Grip & 0x7F, DX, DY);
}
void TQuillotVect::DoObjectClick(int32_t hobj) {
  if (OnObjectClick) OnObjectClick(this, hobj);
}
void TQuillotVect::DoObjectDblClick(int32_t hobj) {
  if (OnObjectDblClick) OnObjectDblClick(this, hobj);
}
void TQuillotVect::DoObjectOver(int32_t hobj) {
  if (OnObjectOver) OnObjectOver(this, hobj);
}
void TQuillotVect::SetForceAntialias(bool Value) {
  FForceAntialias = Value;
  UpdateView();
}
void TQuillotVect::DoNewObject(int32_t hobj) {
  if (OnNewObject) OnNewObject(this, hobj);
}
void TQuillotVect::DoUserSelectObject(int32_t hobj) {
  if (OnUserSelectObject) OnUserSelectObject(this, hobj);
}
void TQuillotVect::DoUserDeselectObject(int32_t hobj) {
  if (OnUserDeselectObject) OnUserDeselectObject(this, hobj);
}

// ---------------------------------------------------------------- keyboard and focus

void TQuillotVect::HandleKeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == 27) {
    EndTextEdit();
    FEditHandle = -1;
  } else if (Key == 113 && !FSelection.empty()) {
    const TQxVObject& r = FObjects[size_t(FSelection.front())];
    if (r.Kind == TQxVObjectKind::qvkText || r.Kind == TQxVObjectKind::qvkMemo) {
      FEditHandle = FSelection.front();
      StartTextEdit();
    }
  }
  TQuillotView::HandleKeyDown(Key, Shift);
}

void TQuillotVect::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    Message.Result = 129;
    return;
  }
  TQuillotView::Dispatch(Message);
  if (Message.Msg == WM_KEYDOWN && FSelection.size() == 1) {
    TQxVObject& r = FObjects[size_t(FSelection.front())];
    if (r.Kind == TQxVObjectKind::qvkCustom && r.Custom) {
      TShiftState s;
      if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
      if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
      if (Message.LParam & (1 << 29)) s.Include(ssAlt);
      r.Custom->KeyDown(uint16_t(Message.WParam), s);
    }
  }
}

void TQuillotVect::WMSize(TMessage& Message) {
  TQuillotView::WMSize(Message);
  CancelInteraction();
  UpdateView();
}

void TQuillotVect::WMKillFocus(TMessage& Message) {
  TQuillotView::WMKillFocus(Message);
  Invalidate();
}

void TQuillotVect::WMSetFocus(TMessage& Message) {
  TQuillotView::WMSetFocus(Message);
  if (FEditHandle >= 0) {
    if (TQxVObject* r = ObjectRecord(FEditHandle)) {
      if (r->Kind == TQxVObjectKind::qvkMemo && FMemo->CanFocus() && FMemo->Visible())
        FMemo->SetFocus();
      else if (r->Kind == TQxVObjectKind::qvkText && FEdit->CanFocus() && FEdit->Visible())
        FEdit->SetFocus();
    }
  }
  Invalidate();
}
