// TQuillotView: what the mouse and keyboard do in the view: zoom clicks, drag scrolling, rectangle,
// ellipse, polygon, lasso, magic-wand and zoom-rectangle selections, grips, moving a selection, and moving,
// resizing and rotating layers.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dib_bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/processing/proc.h"
#include "imaging/view/view.h"
#include "imaging/view/view_internal.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"

namespace {

using MI = TQxMouseInteractItems;
using SO = TQxSelectionOptionsItems;


// The elements numbered First..Last.
TQxMouseInteract Range(MI First, MI Last) {
  TQxMouseInteract s;
  for (int i = int(First); i <= int(Last); ++i) s.Include(MI(i));
  return s;
}

bool HasSelectionMode(TQxMouseInteract M) {
  return M.Contains(MI::miSelect) || M.Contains(MI::miSelectPolygon) || M.Contains(MI::miSelectCircle) ||
         M.Contains(MI::miSelectMagicWand) || M.Contains(MI::miSelectLasso);
}

bool HasLayerMode(TQxMouseInteract M) {
  return M.Contains(MI::miMoveLayers) || M.Contains(MI::miResizeLayers) || M.Contains(MI::miRotateLayers);
}

TCursor GripCursor(int32_t Grip) {
  switch (Grip) {
    case 1:
    case 3: return 1786;
    case 2:
    case 4: return 1788;
    case 5:
    case 6: return 1789;
    case 7:
    case 8: return 1787;
    default: return 0;
  }
}

// The zoom steps a click walks below 100 %.
constexpr double kZoomSteps[] = {2, 5, 10, 25, 33, 50, 75, 100};

std::string IntText(int64_t V) { return std::to_string(V); }

std::string AngleText(double A) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", A);
  return std::string(buf) + "\xC2\xB0";
}

}  // namespace

// ---- the combination rules ----

void TQuillotView::SetMouseInteract(TQxMouseInteract Value) {
  if (Value == FMouseInteract) return;
  if (FPolygonOpen && FMouseInteract.Contains(MI::miSelectPolygon)) {
    RemoveTrailingPoint();
    if (FSelectionMask) FSelectionMask->Clear();
    CommitSelection();
    FPolygonOpen = false;
    FLassoActive = false;
    Invalidate();
  }
  const TQxMouseInteract added = Value - FMouseInteract;
  struct Rule {
    MI Item;
    TQxMouseInteract Removes;
  };
  const TQxMouseInteract moveToRotate = Range(MI::miMoveLayers, MI::miRotateLayers);
  const Rule rules[] = {
      {MI::miScroll, Range(MI::miSelect, MI::miRotateLayers)},
      {MI::miSelect, TQxMouseInteract{MI::miScroll} + Range(MI::miSelectPolygon, MI::miRotateLayers)},
      {MI::miSelectPolygon, TQxMouseInteract{MI::miZoom, MI::miScroll, MI::miSelect} +
                                Range(MI::miSelectCircle, MI::miRotateLayers)},
      {MI::miSelectCircle, TQxMouseInteract{MI::miScroll, MI::miSelect, MI::miSelectPolygon} +
                               Range(MI::miSelectZoom, MI::miRotateLayers)},
      {MI::miSelectLasso, Range(MI::miScroll, MI::miSelectMagicWand) + moveToRotate},
      {MI::miSelectZoom, Range(MI::miScroll, MI::miSelectCircle) + Range(MI::miSelectMagicWand, MI::miRotateLayers)},
      {MI::miZoom, TQxMouseInteract{MI::miSelectPolygon, MI::miSelectMagicWand} + moveToRotate},
      {MI::miSelectMagicWand, Range(MI::miZoom, MI::miSelectZoom) + Range(MI::miSelectLasso, MI::miRotateLayers)},
  };
  bool ruled = false;
  for (const Rule& r : rules)
    if (added.Contains(r.Item)) {
      Value -= r.Removes;
      ruled = true;
      break;
    }
  if (!ruled) {
    const TQxMouseInteract low = Range(MI::miZoom, MI::miSelectLasso);
    if (Value.Contains(MI::miRotateLayers)) {
      Value -= low + TQxMouseInteract{MI::miResizeLayers};
    } else if (Value.Contains(MI::miMoveLayers)) {
      Value -= low;
    } else if (Value.Contains(MI::miResizeLayers)) {
      Value -= low + TQxMouseInteract{MI::miRotateLayers};
    }
  }
  if (!Value.Contains(MI::miRotateLayers))
    ApplyLayerRotations(-1);
  else
    CropLayersToOpaque(-1);
  FMouseInteract = Value;
}

// ---- helpers ----

void TQuillotView::EnterMouseHandler() {
  if (FMouseHandlerDepth++ == 0) {
    FSavedSelectionBase = FSelectionBase;
    FSelectionBase = TQxSelectionBase::qxsbClientArea;
  }
}

void TQuillotView::LeaveMouseHandler() {
  if (--FMouseHandlerDepth == 0) FSelectionBase = FSavedSelectionBase;
}

namespace {
struct TMouseHandlerScope {
  explicit TMouseHandlerScope(std::function<void()> Enter, std::function<void()> Leave) : leave(std::move(Leave)) {
    Enter();
  }
  ~TMouseHandlerScope() { leave(); }
  std::function<void()> leave;
};
}  // namespace

void TQuillotView::FireSelectionEvent(const TNotifyEvent& Event) {
  if (!Event) return;
  SwapSelectionBase();
  struct Back {
    TQuillotView* v;
    ~Back() { v->SwapSelectionBase(); }
  } back{this};
  Event(this);
}

void TQuillotView::ClampToCurrentLayer(int32_t& X, int32_t& Y) {
  TQxLayer* l = CurrentLayer();
  if (!l) return;
  const TRect& r = l->DrawnRect;
  X = std::clamp(X, r.Left, std::max(r.Left, r.Right));
  Y = std::clamp(Y, r.Top, std::max(r.Top, r.Bottom));
}

void TQuillotView::ApplyPendingRotations() {
  for (TQxLayer* l : FLayers)
    if (l->RotationAngle != 0) {
      ApplyLayerRotations(-1);
      return;
    }
}

void TQuillotView::ResetDragStates() {
  FRectDragging = FEllipseDragging = false;
  FSelGripDragged = 0;
  FSelectionMoveState = -1;
  FMovingLayer = FRotatingLayer = FRotationCenterLayer = -1;
  FLayerGripDragged = 0;
  FLayerResizeStarted = false;
  FLayerResizeByMouse = false;
  FLayerUndoSaved = false;
}

void TQuillotView::SnapToLastPoint(int32_t& X, int32_t& Y) {
  TQxLayer* l = CurrentLayer();
  if (!l || FPolySelPoints.empty() || QxIsPolygonSeparator(FPolySelPoints.back())) return;
  const TPoint& p = FPolySelPoints.back();
  QxSnapTo45(l->LayerToClientX(p.X), l->LayerToClientY(p.Y), X, Y);
}

int32_t TQuillotView::InsideSelectionForMove(int32_t X, int32_t Y, TShiftState Shift) {
  if (Shift.Contains(ssShift) || !FSelectionMask || FSelectionMask->IsEmpty() || FRectDragging || FPolygonOpen ||
      FEllipseDragging)
    return -1;
  TQxLayer* l = CurrentLayer();
  if (!l) return -1;
  const int32_t lx = l->ClientToLayerX(X), ly = l->ClientToLayerY(Y);
  if (lx < 0 || ly < 0 || lx >= FSelectionMask->Width() || ly >= FSelectionMask->Height()) return -1;
  if (!FSelectionMask->IsSelected(lx, ly)) return -1;
  return FSelectionOptions.Contains(SO::qxsoMoveable) ? 0 : -1;
}

bool TQuillotView::AutoScrollWhileDragging() {
  bool scrolled = false;
  FAutoScrolling = true;
  for (;;) {
    const TPoint p = ScreenToClient(GetCursorPos());
    const int32_t l = FImageLeft, t = FImageTop, r = FImageLeft + FDestWidth, b = FImageTop + FDestHeight;
    const int32_t dx = p.X < l ? p.X - l : (p.X > r ? p.X - r : 0);
    const int32_t dy = p.Y < t ? p.Y - t : (p.Y > b ? p.Y - b : 0);
    if (dx == 0 && dy == 0) break;
    const int32_t ox = FViewOriginX, oy = FViewOriginY;
    SetViewOrigin(ox + dx, oy + dy);
    if (FViewOriginX == ox && FViewOriginY == oy) break;
    scrolled = true;
    FDragStartX += ox - FViewOriginX;
    FDragStartY += oy - FViewOriginY;
    FImageDragStartX += ox - FViewOriginX;
    FImageDragStartY += oy - FViewOriginY;
    ShiftDragOrigin(dx, dy);
  }
  FAutoScrolling = false;
  return scrolled;
}

void TQuillotView::ShiftDragOrigin(int32_t DX, int32_t DY) {
  FRubberX -= DX;
  FRubberY -= DY;
  FLastClampedX -= DX;
  FLastClampedY -= DY;
  FLastMouseX -= DX;
  FLastMouseY -= DY;
}

// ---- the control's mouse and key methods ----

void TQuillotView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  HandleMouseDown(Button, Shift, X, Y);
}
void TQuillotView::MouseMove(TShiftState Shift, int32_t X, int32_t Y) { HandleMouseMove(Shift, X, Y); }
void TQuillotView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  HandleMouseUp(Button, Shift, X, Y);
}
void TQuillotView::KeyDown(uint16_t& Key, TShiftState Shift) { HandleKeyDown(Key, Shift); }
void TQuillotView::KeyUp(uint16_t& Key, TShiftState Shift) { HandleKeyUp(Key, Shift); }
void TQuillotView::KeyPress(std::string& Key) { HandleKeyPress(Key); }

void TQuillotView::WMLButtonDblClk(TMessage& Message) {
  TQxView::WMLButtonDblClk(Message);
  CloseOpenPolygon((Message.WParam & MK_SHIFT) != 0);
}

// Arrows and Tab come to the view as keys rather than moving the focus.
void TQuillotView::WMGetDlgCode(TMessage& Message) { Message.Result = DLGC_WANTARROWS | DLGC_WANTTAB; }

bool TQuillotView::HandlePaletteChanged() {
  TCustomForm* main = Application ? Application->MainForm() : nullptr;
  TCanvas* c = main ? main->Canvas() : nullptr;
  if (c) {
    if (QxDrawDibRealize(FDrawDib, c, false) > 0) Invalidate();
  } else {
    Invalidate();
  }
  return true;
}

// ---- mouse down ----

void TQuillotView::HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TQxView::MouseDown(Button, Shift, X, Y);
  TMouseHandlerScope scope([this] { EnterMouseHandler(); }, [this] { LeaveMouseHandler(); });
  if (TCustomForm* f = ParentForm(); f && f->Visible() && CanFocus() && !Focused()) SetFocus();
  FRequestedZoomFilter = FZoomFilter;
  const bool left = Button == TMouseButton::mbLeft;
  if (Button == TMouseButton::mbRight && Shift.Contains(ssLeft)) return;
  FLayerMoved = false;
  const bool rightLayers = Button == TMouseButton::mbRight && FSelectionOptions.Contains(SO::qxsoRightButtonSelectLayers);
  if (!left && !FMouseInteract.Contains(MI::miZoom) && !rightLayers) return;
  if (!FMouseInteract.Contains(MI::miScroll) && FDelayZoomFilter) FZoomFilter = TResampleFilter::rfNone;

  int32_t cx = X, cy = Y;
  ClampToCurrentLayer(cx, cy);
  FMouseDownX = FLastMouseX = X;
  FMouseDownY = FLastMouseY = Y;
  FDragStartX = FLastClampedX = FRubberX = cx;
  FDragStartY = FLastClampedY = FRubberY = cy;
  FImageDragStartX = std::clamp(X, FImageLeft, FImageLeft + std::max(FDestWidth, 0));
  FImageDragStartY = std::clamp(Y, FImageTop, FImageTop + std::max(FDestHeight, 0));
  FOriginAtDownX = FViewOriginX;
  FOriginAtDownY = FViewOriginY;
  FPointCountAtDown = PolySelCount();
  const bool alt = Shift.Contains(ssAlt) || AssumeAltKey;
  const bool addShift = Shift.Contains(ssShift) && AddWithShift;

  bool selectionMode = false;
  if (left) {
    selectionMode = true;
    if (FMouseInteract.Contains(MI::miSelectPolygon) || FMouseInteract.Contains(MI::miSelectLasso)) {
      ApplyPendingRotations();
      FireSelectionEvent(OnBeforeSelectionChange);
      FSelectionMoveState = InsideSelectionForMove(cx, cy, Shift);
      if (FSelectionMoveState == -1) {
        int32_t px = cx, py = cy;
        if (alt) SnapToLastPoint(px, py);
        if (!FPolygonOpen) {
          if (addShift)
            BeginNewPolygon();
          else
            Deselect();
        }
        FLassoActive = FMouseInteract.Contains(MI::miSelectLasso);
        AddSelectionPoint(px, py);
        FPolygonOpen = true;
        FRubberX = px;
        FRubberY = py;
        FireSelectionEvent(OnSelectionChanging);
      }
    } else if (FMouseInteract.Contains(MI::miSelect)) {
      ApplyPendingRotations();
      FireSelectionEvent(OnBeforeSelectionChange);
      FSelGripDragged = uint8_t(SelectionGripAtUnlessShift(X, Y, Shift));
      if (FSelGripDragged == 0) FSelectionMoveState = InsideSelectionForMove(cx, cy, Shift);
      if (FSelGripDragged != 0) {
        FGripX1 = FPolyX1;
        FGripY1 = FPolyY1;
        FGripX2 = FPolyX2;
        FGripY2 = FPolyY2;
      } else if (FSelectionMoveState == -1) {
        FRectDragging = true;
        if (FSelectionAspectRatio == 0) SelectRectDrag(cx, cy, Shift);
        FireSelectionEvent(OnSelectionChanging);
      }
    } else if (FMouseInteract.Contains(MI::miSelectZoom)) {
      FRectDragging = true;
      FireSelectionEvent(OnSelectionChanging);
      PushSelection();
    } else if (FMouseInteract.Contains(MI::miSelectCircle)) {
      ApplyPendingRotations();
      FireSelectionEvent(OnBeforeSelectionChange);
      FSelectionMoveState = InsideSelectionForMove(cx, cy, Shift);
      if (FSelectionMoveState == -1) {
        FEllipseDragging = true;
        FOutlineVisible = true;
        if (FSelectionAspectRatio == 0) SelectEllipseDrag(cx, cy, Shift);
        FireSelectionEvent(OnSelectionChanging);
      }
    } else if (FMouseInteract.Contains(MI::miSelectMagicWand)) {
      ApplyPendingRotations();
      FireSelectionEvent(OnBeforeSelectionChange);
      FSelectionMoveState = InsideSelectionForMove(cx, cy, Shift);
    } else {
      selectionMode = false;
    }
  }
  if (!selectionMode && (left || rightLayers) && HasLayerMode(FMouseInteract)) {
    FLayerUndoSaved = false;
    if (FMouseInteract.Contains(MI::miResizeLayers)) FLayerGripDragged = uint8_t(LayerGripAt(X, Y));
    TQxLayer* cur = CurrentLayer();
    if (FLayerGripDragged != 0 && cur) {
      ApplyPendingRotations();
      cur = CurrentLayer();
      FDrawnRectAtDown = cur->DrawnRect;
      std::copy(cur->Outline, cur->Outline + 4, FOutlineAtDown);
      FLayerResizeStarted = false;
      DoLayerNotify(FCurrentLayerIndex, TQxLayerEvent::qxlBeginResizing);
    } else if (FMouseInteract.Contains(MI::miMoveLayers) || FMouseInteract.Contains(MI::miRotateLayers)) {
      FLayerGripDragged = 0;
      const bool rotate = FMouseInteract.Contains(MI::miRotateLayers);
      if (rotate && cur && LayerGripAt(X, Y) == int32_t(TQxGrip::qxRotationCenter)) {
        FRotationCenterLayer = FCurrentLayerIndex;
      } else if (rotate && cur && !IsPointInLayer(X, Y, FCurrentLayerIndex)) {
        FRotatingLayer = FCurrentLayerIndex;
        FDragRotationAngle = cur->RotationAngle;
      } else {
        FMovingLayer = LayerAt(X, Y, true);
        if (FMovingLayer >= 0) {
          SetCurrentLayer(FMovingLayer);
          DoLayerNotify(FMovingLayer, TQxLayerEvent::qxlSelected);
          DoLayerNotify(FMovingLayer, TQxLayerEvent::qxlBeginMoving);
          if (!FLayers[size_t(FMovingLayer)]->Locked) SetInteractionCursor(1790);
        }
      }
    }
  }
  if (left && FMouseInteract.Contains(MI::miScroll) && IsScrollable()) SetInteractionCursor(1782);
}

// ---- mouse move ----

void TQuillotView::ShowHoverCursor(TShiftState Shift, int32_t X, int32_t Y) {
  int32_t cx = X, cy = Y;
  ClampToCurrentLayer(cx, cy);
  TQxLayer* cur = CurrentLayer();
  if (HasSelectionMode(FMouseInteract)) {
    const int32_t grip = SelectionGripAtUnlessShift(X, Y, Shift);
    DoMouseInResizingGrip(TQxGrip(grip));
    if (grip != 0)
      SetInteractionCursor(GripCursor(grip));
    else if (InsideSelectionForMove(cx, cy, Shift) == 0)
      SetInteractionCursor(1790);
    else if (Shift.Contains(ssShift) && AddWithShift && (FSavedCursor == 1785 || FSavedCursor == 1793))
      SetInteractionCursor(FSavedCursor == 1785 ? 1791 : 1794);
    else
      RestoreCursor();
  } else if (FMouseInteract.Contains(MI::miRotateLayers)) {
    if (!cur) return;
    if (IsPointInLayer(X, Y, FCurrentLayerIndex)) {
      RestoreCursor();
      return;
    }
    const int32_t rx = cur->LayerToClientX(int32_t(Trunc(cur->Bitmap->Width() * cur->RotationCenterX)));
    const int32_t ry = cur->LayerToClientY(int32_t(Trunc(cur->Bitmap->Height() * cur->RotationCenterY)));
    if (X == rx || Y == ry) return;
    if (X < rx)
      SetInteractionCursor(Y < ry ? 1814 : 1811);
    else
      SetInteractionCursor(Y < ry ? 1812 : 1813);
  } else if (FMouseInteract.Contains(MI::miResizeLayers) || FMouseInteract.Contains(MI::miMoveLayers)) {
    const int32_t grip =
        FMouseInteract.Contains(MI::miResizeLayers) && cur && !cur->Locked ? LayerGripAt(X, Y) : 0;
    if (grip >= 1 && grip <= 8) {
      SetInteractionCursor(GripCursor(grip));
      return;
    }
    const int32_t hit = LayerAt(X, Y, true);
    if (FMouseInteract.Contains(MI::miMoveLayers) && hit >= 0 && !FLayers[size_t(hit)]->Locked)
      SetInteractionCursor(1790);
    else
      RestoreCursor();
  }
}

void TQuillotView::HandleMouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TQxView::MouseMove(Shift, X, Y);
  TMouseHandlerScope scope([this] { EnterMouseHandler(); }, [this] { LeaveMouseHandler(); });
  int32_t cx = X, cy = Y;
  ClampToCurrentLayer(cx, cy);
  const bool alt = Shift.Contains(ssAlt) || AssumeAltKey;
  const bool held = MouseCapture() || Shift.Contains(ssLeft) || Shift.Contains(ssRight) || Shift.Contains(ssMiddle);
  TQxLayer* cur = CurrentLayer();
  if (held) {
    if (FMouseInteract.Contains(MI::miScroll)) {
      SetViewOrigin(FOriginAtDownX - int32_t(Trunc((X - FMouseDownX) * MouseScrollRate)),
                    FOriginAtDownY - int32_t(Trunc((Y - FMouseDownY) * MouseScrollRate)));
    } else if (FSelGripDragged != 0) {
      AutoScrollWhileDragging();
      FSelGripDragged = uint8_t(
          ResizeSelectionByGrip(FSelGripDragged, cx, cy, alt || FSelectionAspectRatio > 0));
      PaintView();
      FireSelectionEvent(OnSelectionChanging);
    } else if (FSelectionMoveState == -1) {
      if (FRectDragging) {
        SelectRectDrag(cx, cy, Shift);
      } else if (FPolygonOpen) {
        AutoScrollWhileDragging();
        PaintView();
        FRubberX = cx;
        FRubberY = cy;
        DrawRubberSegment();
        if (cur) {
          AppendSelectionPoint({cur->ClientToLayerX(cx), cur->ClientToLayerY(cy)});
          FSelected = true;
        }
        PaintSelection(this, true);
        FireSelectionEvent(OnSelectionChanging);
      } else if (FEllipseDragging) {
        SelectEllipseDrag(cx, cy, Shift);
      } else if (FMovingLayer >= 0 && FMovingLayer < LayerCount() && !FLayers[size_t(FMovingLayer)]->Locked) {
        TQxLayer* l = FLayers[size_t(FMovingLayer)];
        if (LayerUndo && !FLayerUndoSaved) {
          GetProc()->SaveUndo(TQxUndoSource::qxuLayer);
          FLayerUndoSaved = true;
        }
        AutoScrollWhileDragging();
        const int32_t nx = ScreenToBitmapX(X) + l->PosX - ScreenToBitmapX(FLastMouseX);
        const int32_t ny = ScreenToBitmapY(Y) + l->PosY - ScreenToBitmapY(FLastMouseY);
        if (nx != l->PosX || ny != l->PosY) FLayerMoved = true;
        l->PosX = nx;
        l->PosY = ny;
        SetInteractionHint("X=" + IntText(nx) + " Y=" + IntText(ny), X, Y, "X=000 Y=000");
        l->FreeMaskCache();
        UpdateView();
        DoLayerNotify(FMovingLayer, TQxLayerEvent::qxlMoving);
      } else if (FRotationCenterLayer >= 0 && FRotationCenterLayer < LayerCount()) {
        TQxLayer* l = FLayers[size_t(FRotationCenterLayer)];
        const int32_t bw = std::max(l->Bitmap->Width(), 1), bh = std::max(l->Bitmap->Height(), 1);
        l->RotationCenterX = double(l->ClientToLayerX(X)) / bw;
        l->RotationCenterY = double(l->ClientToLayerY(Y)) / bh;
        SetInteractionHint("X=" + IntText(Trunc(l->DisplayWidth() * l->RotationCenterX)) +
                               " Y=" + IntText(Trunc(l->DisplayHeight() * l->RotationCenterY)),
                           X, Y, "X=000 Y=000");
        UpdateView();
      } else if (FRotatingLayer >= 0 && FRotatingLayer < LayerCount() && !FLayers[size_t(FRotatingLayer)]->Locked) {
        TQxLayer* l = FLayers[size_t(FRotatingLayer)];
        if (LayerUndo && !FLayerUndoSaved) {
          GetProc()->SaveUndo(TQxUndoSource::qxuFullLayer);
          FLayerUndoSaved = true;
        }
        double dx = (ScreenToBitmapX(X) - ScreenToBitmapX(FLastMouseX)) / 4.0;
        double dy = (ScreenToBitmapY(Y) - ScreenToBitmapY(FLastMouseY)) / 4.0;
        const int32_t rx = l->LayerToClientX(int32_t(Trunc(l->Bitmap->Width() * l->RotationCenterX)));
        const int32_t ry = l->LayerToClientY(int32_t(Trunc(l->Bitmap->Height() * l->RotationCenterY)));
        if (rx < X) dy = -dy;
        if (ry > Y) dx = -dx;
        FDragRotationAngle += dx + dy;
        double angle = FDragRotationAngle;
        if (Shift.Contains(ssShift) && LayerRotationStep != 0)
          angle = double(Trunc(angle / LayerRotationStep) * LayerRotationStep);
        l->SetRotationAngle(angle);
        SetInteractionHint(AngleText(l->RotationAngle), X, Y, "0000\xC2\xB0");
        UpdateView();
        DoLayerNotify(FRotatingLayer, TQxLayerEvent::qxlRotating);
      } else if (FLayerGripDragged != 0 && cur && !cur->Locked) {
        if (LayerUndo && !FLayerUndoSaved) {
          GetProc()->SaveUndo(TQxUndoSource::qxuLayer);
          FLayerUndoSaved = true;
        }
        if (!FLayerResizeStarted) {
          FLayerResizeRatio = double(cur->DisplayHeight()) / std::max(cur->DisplayWidth(), 1);
          FLayerResizeStarted = true;
        }
        AutoScrollWhileDragging();
        FLayerResizeByMouse = true;
        ResizeLayerByGrip(X, Y, alt);
        SetInteractionHint(IntText(cur->DisplayWidth()) + " x " + IntText(cur->DisplayHeight()), X, Y,
                           "0000 x 0000");
        UpdateView();
        DoLayerNotify(FCurrentLayerIndex, TQxLayerEvent::qxlResizing);
      }
    } else if (FSelectionMoveState == 0 && cur) {
      if (FSelectionOptions.Contains(SO::qxsoCanScroll)) AutoScrollWhileDragging();
      const int32_t dx = cur->ClientToLayerX(cx) - cur->ClientToLayerX(FLastClampedX);
      const int32_t dy = cur->ClientToLayerY(cy) - cur->ClientToLayerY(FLastClampedY);
      MoveSelection(FSelectionMoveState, dx, dy, FSelectionOptions.Contains(SO::qxsoCutBorders));
      // The shading is part of the composed picture; a moving rectangle's outline is drawn here.
      if (FSelectionOptions.Contains(SO::qxsoFilled) || FSelectionOptions.Contains(SO::qxsoMarkOuter))
        FBufferDirty = true;
      PaintView();
      if (SelectionIsRectangle()) PaintSelection(this, true);
      FireSelectionEvent(OnSelectionChanging);
    }
    FLastClampedX = cx;
    FLastClampedY = cy;
    FLastMouseX = X;
    FLastMouseY = Y;
    return;
  }

  const bool rubber = FPolygonOpen && !FLassoActive;
  if (!rubber) {
    ShowHoverCursor(Shift, X, Y);
  } else {
    DrawRubberSegment();
    int32_t px = cx, py = cy;
    if (alt) SnapToLastPoint(px, py);
    FRubberX = px;
    FRubberY = py;
    DrawRubberSegment();
    FireSelectionEvent(OnSelectionChanging);
  }
  if (FMouseInteract.Contains(MI::miMovingScroll) && (X != FLastMouseX || Y != FLastMouseY)) {
    int32_t mx = 0, my = 0;
    GetMaxViewOrigin(mx, my);
    const int32_t w = std::max(ViewClientWidth(), 1), h = std::max(ViewClientHeight(), 1);
    SmoothScrollTo(int32_t(Trunc((double(std::clamp(X, 0, w - 1)) / w - 0.02) * 1.05 * mx)),
                   int32_t(Trunc((double(std::clamp(Y, 0, h - 1)) / h - 0.02) * 1.05 * my)));
  }
  if (cur && FSelectionMask && !FSelectionMask->IsEmpty()) {
    const int32_t lx = cur->ClientToLayerX(cx), ly = cur->ClientToLayerY(cy);
    if (lx >= 0 && ly >= 0 && lx < FSelectionMask->Width() && ly < FSelectionMask->Height() &&
        FSelectionMask->IsSelected(lx, ly))
      DoMouseInSel();
  }
  if (!rubber) {
    FRubberX = cx;
    FRubberY = cy;
  }
  FLastClampedX = cx;
  FLastClampedY = cy;
  FLastMouseX = X;
  FLastMouseY = Y;
}

// ---- mouse up ----

void TQuillotView::HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TQxView::MouseUp(Button, Shift, X, Y);
  TMouseHandlerScope scope([this] { EnterMouseHandler(); }, [this] { LeaveMouseHandler(); });
  SetInteractionHint("", X, Y, "");
  int32_t cx = X, cy = Y;
  ClampToCurrentLayer(cx, cy);
  const bool moved = cx != FDragStartX || cy != FDragStartY;
  const bool left = Button == TMouseButton::mbLeft;
  const bool addShift = Shift.Contains(ssShift) && AddWithShift;
  bool changed = false;
  auto updateSelection = [this] {
    ChangeKind = 3;
    UpdateView();
  };
  if (FMouseInteract.Contains(MI::miZoom) && !moved && !IsImageEmpty() &&
      (left || Button == TMouseButton::mbRight)) {
    const double z = FZoomX;
    double nz = z;
    if (left) {
      if (FMouseInteract.Contains(MI::miScroll)) RestoreCursor();
      if (z >= 100) {
        nz = z + 100;
      } else {
        for (double s : kZoomSteps)
          if (s > z) {
            nz = s;
            break;
          }
      }
      DoZoomIn(nz);
    } else {
      if (z >= 200) {
        nz = z - 100;
      } else {
        nz = 2;
        for (double s : kZoomSteps)
          if (s < z) nz = s;
      }
      DoZoomOut(nz);
    }
    if (nz != FZoomX || nz != FZoomY) ZoomAroundPoint(X, Y, nz, false);
    FPolygonOpen = false;
  } else if (left) {
    if (FMouseInteract.Contains(MI::miScroll) && IsScrollable()) {
      SetViewOrigin(FOriginAtDownX - int32_t(Trunc((X - FMouseDownX) * MouseScrollRate)),
                    FOriginAtDownY - int32_t(Trunc((Y - FMouseDownY) * MouseScrollRate)));
      RestoreCursor();
    }
    if (FMouseInteract.Contains(MI::miSelectZoom) && FRectDragging) {
      if (FSelectionMask) FSelectionMask->Clear();
      CommitSelection();
      FitZoomToSelection(ZoomSelectionUniform, true);
      FRectDragging = false;
      PopSelection(true, 1);
    }
    if (FMouseInteract.Contains(MI::miSelect)) {
      // A click (no drag) clears the selection, except where a click makes a fixed-size rectangle.
      if (!moved && FSelGripDragged == 0 && FSelectionMoveState != 0 && FSelectionAspectRatio != 0) {
        if (FSelected || !FPolySelPoints.empty()) Deselect();
      } else if (FRectDragging || FSelGripDragged != 0) {
        if (FSelectionMask && !addShift) FSelectionMask->Clear();
        CommitSelection();
      }
      changed = true;
      FRectDragging = false;
      FSelGripDragged = 0;
      if (FIsLinkedView)
        Invalidate();
      else
        updateSelection();
    }
    if (FMouseInteract.Contains(MI::miSelectCircle)) {
      if (!moved && FSelectionMoveState != 0 && FSelectionAspectRatio != 0) {
        if (FSelected || !FPolySelPoints.empty()) Deselect();
      } else if (FEllipseDragging) {
        if (FSelectionMask && !addShift) FSelectionMask->Clear();
        CommitSelection();
      }
      changed = true;
      FEllipseDragging = false;
      updateSelection();
    }
    if (FMouseInteract.Contains(MI::miSelectLasso)) {
      if (!moved && FSelectionMoveState != 0) {
        FPolygonOpen = FLassoActive = false;
        Deselect();
      } else if (FLassoActive) {
        if (FSelectionMask && !addShift) FSelectionMask->Clear();
        CommitSelection();
      }
      FLassoActive = false;
      FPolygonOpen = false;
      changed = true;
      updateSelection();
    }
    if (FMouseInteract.Contains(MI::miSelectPolygon)) {
      if (FSelectionMoveState == 0) changed = true;
      updateSelection();
    }
    if (FMouseInteract.Contains(MI::miSelectMagicWand)) {
      if (FSelectionMoveState != 0) {
        SetInteractionCursor(crHourGlass);
        MagicWandSelect(cx, cy, addShift);
        RestoreCursor();
      }
      changed = true;
      updateSelection();
    }
  }
  // Ends of drags, whichever button drove them.
  if (FRenderMaskOnRelease && left) {
    FRenderMaskOnRelease = false;
    if (FSelectionMask) FSelectionMask->Clear();
    CommitSelection();
    updateSelection();
  }
  const bool mouseMoved = X != FMouseDownX || Y != FMouseDownY;
  if (FMovingLayer >= 0) {
    RestoreCursor();
    if (FLayerMoved) DoLayerNotify(FCurrentLayerIndex, TQxLayerEvent::qxlMoved);
    FLayerMoved = false;
    Invalidate();
  }
  if (FRotatingLayer >= 0) {
    if (mouseMoved) DoLayerNotify(FRotatingLayer, TQxLayerEvent::qxlRotated);
    Invalidate();
  }
  if (left && FMouseInteract.Contains(MI::miRotateLayers) && !mouseMoved && FRotationCenterLayer < 0) {
    const int32_t hit = LayerAt(X, Y, true);
    if (hit >= 0) {
      SetCurrentLayer(hit);
      DoLayerNotify(hit, TQxLayerEvent::qxlSelected);
    }
  }
  if (FLayerGripDragged != 0) {
    FLayerResizeByMouse = false;
    if (mouseMoved) DoLayerNotify(FCurrentLayerIndex, TQxLayerEvent::qxlResized);
    UpdateView();
  }
  ResetDragStates();
  if (changed && OnSelectionChange) OnSelectionChange(this);
  if (Button == TMouseButton::mbRight && FSelectionOptions.Contains(SO::qxsoRightButtonTerminatePolySelect) &&
      FPolygonOpen)
    ClosePolygon(Shift.Contains(ssShift), false);
  FZoomFilter = FRequestedZoomFilter;
}

// ---- keys ----

void TQuillotView::HandleKeyDown(uint16_t& Key, TShiftState Shift) {
  TQxView::KeyDown(Key, Shift);
  if (Shift.Contains(ssShift) && AddWithShift) {
    if (FViewCursor == 1785)
      SetInteractionCursor(1791);
    else if (FViewCursor == 1793)
      SetInteractionCursor(1794);
  }
}

void TQuillotView::HandleKeyUp(uint16_t& Key, TShiftState Shift) {
  TQxView::KeyUp(Key, Shift);
  if (!Shift.Contains(ssShift) && AddWithShift) RestoreCursor();
}

void TQuillotView::HandleKeyPress(std::string& Key) { TQxView::KeyPress(Key); }

// ---- layers by grip ----

void TQuillotView::ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepRatio) {
  TQxLayer* l = CurrentLayer();
  if (!l) return;
  int32_t grip = FLayerGripDragged;
  int32_t f = ScreenToBitmapX(X), g = ScreenToBitmapY(Y);
  const int32_t L = FDrawnRectAtDown.Left, T = FDrawnRectAtDown.Top, R = FDrawnRectAtDown.Right,
                B = FDrawnRectAtDown.Bottom;
  const int32_t w = l->DisplayWidth(), h = l->DisplayHeight();
  const bool keep = (LayerResizeKeepRatio == 1 && KeepRatio) || LayerResizeKeepRatio == 2 ||
                    (LayerResizeKeepRatio == 3 && grip >= 1 && grip <= 4);
  if (keep) {
    const double r = FLayerResizeRatio;
    switch (grip) {
      case 1:
      case 3: g = ScreenToBitmapY(T + int32_t(Trunc((X - L) * r))); break;
      case 2: g = ScreenToBitmapY(T + int32_t(Trunc(r * (R - X)))); break;
      case 4:
      case 5:
        g = ScreenToBitmapY(B + int32_t(Trunc(r * (L - X))));
        grip = 4;
        break;
      case 6:
        g = ScreenToBitmapY(T + int32_t(Trunc((X - L) * r)));
        grip = 3;
        break;
      case 7:
      case 8:
        if (r != 0) f = ScreenToBitmapX(L + int32_t(Trunc((Y - T) / r)));
        grip = grip == 7 ? 1 : 3;
        break;
      default: break;
    }
  }
  auto leftEdge = [&] {
    l->Width = std::max(1, l->PosX + w - f);
    if (l->Width > 1) l->PosX = f;
  };
  auto topEdge = [&] {
    l->Height = std::max(1, l->PosY + h - g);
    if (l->Height > 1) l->PosY = g;
  };
  auto rightFromStart = [&] { l->Width = std::max(1, f - ScreenToBitmapX(L)); };
  auto bottomFromStart = [&] { l->Height = std::max(1, g - ScreenToBitmapY(T)); };
  switch (grip) {
    case 1:
      leftEdge();
      topEdge();
      break;
    case 2:
      l->Width = std::max(1, f - l->PosX);
      topEdge();
      break;
    case 3:
      rightFromStart();
      bottomFromStart();
      break;
    case 4:
      leftEdge();
      bottomFromStart();
      break;
    case 5: {
      const int32_t lastX = ScreenToBitmapX(FLastMouseX);
      l->Width = std::max(1, w + lastX - f);
      if (l->Width > 1) l->PosX += f - lastX;
      break;
    }
    case 6: rightFromStart(); break;
    case 7: topEdge(); break;
    case 8: l->Height = std::max(1, h + g - ScreenToBitmapY(FLastMouseY)); break;
    default: return;
  }
  if (!keep) FLayerResizeRatio = double(l->DisplayHeight()) / std::max(l->DisplayWidth(), 1);
}
