// Mouse creation and editing of vector objects.
#include <algorithm>
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/utils.h"
#include "imaging/vector/vect.h"
#include "imaging/view/view_cursors.h"
#include "platform/base/numeric.h"

namespace {
using OI = TQxObjectInteractItems;
bool IsLineKind(TQxVObjectKind K) {
  return K == TQxVObjectKind::qvkLine || K == TQxVObjectKind::qvkRuler || K == TQxVObjectKind::qvkLabelledLine;
}
}  // namespace

void TQuillotVect::ClientToBitmap(int32_t X, int32_t Y, int32_t& BX, int32_t& BY) const {
  BX = ScreenToBitmapX(X);
  BY = ScreenToBitmapY(Y);
}

namespace {
TPoint ClampToPicture(const TQuillotVect& V, int32_t X, int32_t Y) {
  const int32_t l = V.ImageLeft(), t = V.ImageTop();
  const int32_t r = l + std::max(1, V.ZoomedWidth()) - 1, b = t + std::max(1, V.ZoomedHeight()) - 1;
  return TPoint(QxClampInt(X, l, r), QxClampInt(Y, t, b));
}
}  // namespace

// ---------------------------------------------------------------- selection by click

void TQuillotVect::SelectAtPoint(TShiftState Shift, int32_t X, int32_t Y, bool OnMouseDown) {
  double d;
  const int32_t h = FindObjectAt(ScreenToBitmapX(X), ScreenToBitmapY(Y), true, d);
  if (h < 0) {
    if (!Shift.Contains(ssShift)) {
      for (int32_t s : std::vector<int32_t>(FSelection)) DoUserDeselectObject(s);
      UnselectAll();
    }
    return;
  }
  FDeferred = IsSelected(h) && FSelectOnMouseDown && OnMouseDown;
  if (FDeferred) return;
  if (!IsSelected(h)) {
    if (!Shift.Contains(ssShift)) {
      for (int32_t s : std::vector<int32_t>(FSelection)) DoUserDeselectObject(s);
      FSelection.clear();
    }
    SelectObject(h);
    DoUserSelectObject(h);
  } else if (Shift.Contains(ssShift)) {
    DoUserDeselectObject(h);
    RemoveFromSelection(h);
  } else {
    for (int32_t s : std::vector<int32_t>(FSelection))
      if (s != h) DoUserDeselectObject(s);
    ClearSelection();
    SelectObject(h);
  }
  DrawSelectionGrips();
}

int32_t TQuillotVect::GripAtPoint(int32_t X, int32_t Y, int32_t& Action) {
  for (size_t i = 0; i < FSelection.size(); ++i) {
    const int32_t h = FSelection[i];
    TQxVObject& r = FObjects[size_t(h)];
    const TRect o = ObjectClientRect(r);
    if (!QxRectsOverlap(o.Left, o.Top, o.Right, o.Bottom, ImageLeft(), ImageTop(), ImageLeft() + ZoomedWidth(),
                        ImageTop() + ZoomedHeight()))
      continue;
    const int32_t x1 = o.Left, y1 = o.Top, x2 = o.Right, y2 = o.Bottom;
    const int32_t mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
    int32_t a = 0;
    if (PointInGrip(X, Y, x1, y1))
      a = 1;
    else if (PointInGrip(X, Y, x2, y2))
      a = 2;
    else if (!CenterGrip) {
      if (ObjectDistance(r, ScreenToBitmapX(X), ScreenToBitmapY(Y)) < MoveHitDistance) a = 3;
    } else {
      int32_t p = x1, q = y1, s = x2, t = y2;
      QxOrderCorners(p, q, s, t);
      if (PointInGrip(X, Y, p + (s - p + 1) / 2, q + (t - q + 1) / 2)) a = 3;
    }
    if (!IsLineKind(r.Kind)) {
      if (PointInGrip(X, Y, x2, y1)) a = 4;
      if (PointInGrip(X, Y, x1, y2)) a = 5;
      if (PointInGrip(X, Y, x1, my)) a = 6;
      if (PointInGrip(X, Y, x2, my)) a = 7;
      if (PointInGrip(X, Y, mx, y1)) a = 8;
      if (PointInGrip(X, Y, mx, y2)) a = 9;
    }
    if (r.Kind == TQxVObjectKind::qvkAngle) {
      for (int k = 0; k < 3; ++k) {
        const TPoint& p = r.AnglePoints[k];
        if (p.X != QxAngleUnset && PointInGrip(X, Y, BitmapToScreenX(p.X), BitmapToScreenY(p.Y))) {
          a = 10 + k;
          break;
        }
      }
    }
    if (r.Kind == TQxVObjectKind::qvkLabelledLine) {
      const int32_t bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
      if (QxPointInRectAnyOrder(bx, by, r.LabelBox.Left, r.LabelBox.Top, r.LabelBox.Right, r.LabelBox.Bottom)) a = 2;
    }
    if (a != 0 && !(r.Flags & qvoSizeable)) a = 3;
    if (a != 0) {
      Action = a;
      return int32_t(i);
    }
  }
  Action = 0;
  return QxHandleNone2;
}

int32_t TQuillotVect::PolylinePointAt(int32_t X, int32_t Y) {
  if (FSelection.size() != 1) return -1;
  const TQxVObject& r = FObjects[size_t(FSelection.front())];
  if (r.Kind != TQxVObjectKind::qvkPolyline) return -1;
  for (size_t i = 0; i < r.ScreenPoints.size(); ++i)
    if (std::abs(r.ScreenPoints[i].X - X) <= 3 && std::abs(r.ScreenPoints[i].Y - Y) <= 3) return int32_t(i);
  return -1;
}

int32_t TQuillotVect::PolylineSegmentAt(int32_t X, int32_t Y) {
  if (FSelection.size() != 1) return -1;
  const TQxVObject& r = FObjects[size_t(FSelection.front())];
  if (r.Kind != TQxVObjectKind::qvkPolyline || r.ScreenPoints.size() < 2) return -1;
  const size_t n = r.ScreenPoints.size();
  for (size_t i = 0; i + 1 < n || (r.Closed && i < n); ++i) {
    const TPoint& a = r.ScreenPoints[i];
    const TPoint& b = r.ScreenPoints[(i + 1) % n];
    if (QxDistanceToSegment(X, Y, a.X, a.Y, b.X, b.Y) <= std::max(2, r.PenWidth)) return int32_t(i);
  }
  return -1;
}

bool TQuillotVect::SelectionStaysInside(TPoint Step) {
  TRect b;
  SelectionBounds(b);
  TQxBitmap* bmp = GetQxBitmap();
  const int32_t w = bmp ? bmp->Width() : 0, h = bmp ? bmp->Height() : 0;
  return b.Left + Step.X >= 0 && b.Right + Step.X <= w - 1 && b.Top + Step.Y >= 0 && b.Bottom + Step.Y <= h - 1;
}

void TQuillotVect::ResizeObjectByGrip(int32_t Handle, TPoint Step, int32_t Grip, bool KeepAspect) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  switch (Grip) {
    case 1: r->x1 += Step.X, r->y1 += Step.Y; break;
    case 2: r->x2 += Step.X, r->y2 += Step.Y; break;
    case 4: r->x2 += Step.X, r->y1 += Step.Y; break;
    case 5: r->x1 += Step.X, r->y2 += Step.Y; break;
    case 6: r->x1 += Step.X; break;
    case 7: r->x2 += Step.X; break;
    case 8: r->y1 += Step.Y; break;
    case 9: r->y2 += Step.Y; break;
    default: return;
  }
  if (!KeepAspect) return;
  const double W0 = r->EditStartRect.Right - r->EditStartRect.Left;
  const double H0 = r->EditStartRect.Bottom - r->EditStartRect.Top;
  if (Grip == 8 || Grip == 9) {
    if (r->y2 - r->y1 == 0 || H0 == 0) return;
    const int32_t W = int32_t(Round((r->y2 - r->y1) * W0 / H0));
    if (Grip == 8) r->x1 = r->x2 - W;
    else r->x2 = r->x1 + W;
  } else {
    if (r->x2 - r->x1 == 0 || W0 == 0) return;
    const int32_t H = int32_t(Round((r->x2 - r->x1) * H0 / W0));
    if (Grip == 1 || Grip == 4) r->y1 = r->y2 - H;
    else r->y2 = r->y1 + H;
  }
}

// ---------------------------------------------------------------- mouse-down

void TQuillotVect::HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TQuillotView::HandleMouseDown(Button, Shift, X, Y);
  const bool dbl = Shift.Contains(ssDouble);
  FSkipNextMove = dbl;
  FSnapshot = false;
  FRawDown = TPoint(X, Y);
  FDragStart = ClampToPicture(*this, X, Y);
  if (Button != TMouseButton::mbLeft || IsImageEmpty()) return;
  FButtonDown = true;
  if (FEditHandle >= 0) {
    EndTextEdit();
    FEditHandle = -1;
    UpdateView();
  }
  FGrabbedSegment = -1;
  const bool continuing = FCreating == TQxVObjectKind::qvkPolyline || FCreating == TQxVObjectKind::qvkAngle;
  if (!continuing) {
    FChanged = false;
    SaveUndoBeforeEdit();
  }
  TPoint pt(X, Y);
  const TQxObjectInteract oi = FObjectInteract;
  FMeasuring = false;
  if (oi.Contains(OI::oiLine)) FCreating = TQxVObjectKind::qvkLine;
  else if (oi.Contains(OI::oiLabelledLine)) FCreating = TQxVObjectKind::qvkLabelledLine;
  else if (oi.Contains(OI::oiRuler)) FCreating = TQxVObjectKind::qvkRuler;
  else if (oi.Contains(OI::oiBox)) FCreating = TQxVObjectKind::qvkBox;
  else if (oi.Contains(OI::oiEllipse)) FCreating = TQxVObjectKind::qvkEllipse;
  else if (oi.Contains(OI::oiBitmap)) FCreating = TQxVObjectKind::qvkBitmap;
  else if (oi.Contains(OI::oiText)) FCreating = TQxVObjectKind::qvkText;
  else if (oi.Contains(OI::oiMemo)) FCreating = TQxVObjectKind::qvkMemo;
  else if (oi.Contains(OI::oiDragLength)) {
    FCreating = TQxVObjectKind::qvkLine;
    FMeasuring = true;
    FHintShown = true;
  } else if (oi.Contains(OI::oiCustom)) FCreating = TQxVObjectKind::qvkCustom;
  else if (oi.Contains(OI::oiAngle)) {
    if (!dbl) {
      int32_t bx, by;
      ClientToBitmap(X, Y, bx, by);
      if (FCreating != TQxVObjectKind::qvkAngle) {
        FChanged = true;
        FCreating = TQxVObjectKind::qvkAngle;
        FTemplate.Kind = TQxVObjectKind::qvkAngle;
        FTemplate.AnglePoints[0] = TPoint(bx, by);
        FTemplate.AnglePoints[1] = FTemplate.AnglePoints[2] = TPoint(QxAngleUnset, QxAngleUnset);
        FTemplate.x1 = FTemplate.y1 = 1000000;
        FTemplate.x2 = FTemplate.y2 = -1000000;
        FAngleHandle = AddObjectCopy(FTemplate);
        UnselectAll();
      } else if (TQxVObject* r = ObjectRecord(FAngleHandle)) {
        if (r->AnglePoints[1].X == QxAngleUnset) {
          if (Shift.Contains(ssCtrl)) QxSnapTo45(r->AnglePoints[0].X, r->AnglePoints[0].Y, bx, by);
          r->AnglePoints[1] = TPoint(bx, by);
          FDragStart = TPoint(BitmapToScreenX(bx), BitmapToScreenY(by));
        } else {
          if (Shift.Contains(ssCtrl)) QxSnapTo45(r->AnglePoints[1].X, r->AnglePoints[1].Y, bx, by);
          r->AnglePoints[2] = TPoint(bx, by);
          TRect box;
          QxAngleBox(r->AnglePoints, box);
          r->x1 = box.Left, r->y1 = box.Top, r->x2 = box.Right, r->y2 = box.Bottom;
          FTemplate.x1 = box.Left, FTemplate.y1 = box.Top, FTemplate.x2 = box.Right, FTemplate.y2 = box.Bottom;
          SelectObject(QxHandleLast);
          DoVectorialChanged();
          DoNewObject(FAngleHandle);
          FCreating = TQxVObjectKind::qvkNone;
          FAngleHandle = -1;
        }
      }
      UpdateView();
    }
  } else if (oi.Contains(OI::oiPolyline)) {
    if (!FreePoints) pt = ClampToPicture(*this, X, Y);
    if (FCreating == TQxVObjectKind::qvkPolyline && FPolyHandle >= 0) {
      if (Shift.Contains(ssCtrl)) {
        QxSnapTo45(FLastPolyPoint.X, FLastPolyPoint.Y, pt.X, pt.Y);
        FDragStart = pt;
      }
      FLastPolyPoint = pt;
      AddPolylinePoint(FPolyHandle, ScreenToBitmapX(pt.X), ScreenToBitmapY(pt.Y));
      if (dbl && PolylineFinish == 0) {
        TQxVObject* r = ObjectRecord(FPolyHandle);
        FTemplate.x1 = r->x1, FTemplate.y1 = r->y1, FTemplate.x2 = r->x2, FTemplate.y2 = r->y2;
        SelectObject(FPolyHandle);
        DoVectorialChanged();
        FChanged = false;
        DoNewObject(FPolyHandle);
        FCreating = TQxVObjectKind::qvkNone;
        FPolyHandle = -1;
      }
    } else {
      FCreating = TQxVObjectKind::qvkPolyline;
      ClearPolylinePoints(FTemplate);
      FTemplate.Kind = TQxVObjectKind::qvkPolyline;
      FTemplate.x1 = FTemplate.y1 = 1000000;
      FTemplate.x2 = FTemplate.y2 = -1000000;
      FChanged = true;
      FPolyHandle = AddObjectCopy(FTemplate);
      AddPolylinePoint(FPolyHandle, ScreenToBitmapX(pt.X), ScreenToBitmapY(pt.Y));
      FLastPolyPoint = pt;
      UnselectAll();
    }
    UpdateView();
  } else if (oi.Contains(OI::oiPolylinePoints)) {
    if (!FreePoints) pt = ClampToPicture(*this, X, Y);
    FGrabbedPoint = PolylinePointAt(pt.X, pt.Y);
    if (FGrabbedPoint < 0) FGrabbedSegment = PolylineSegmentAt(pt.X, pt.Y);
  } else if (oi.Contains(OI::oiEdit)) {
    if (!dbl) {
      int32_t action = 0;
      GripAtPoint(X, Y, action);
      if ((action == 0 || (action == 3 && !CenterGrip)) && FSelectOnMouseDown) {
        SelectAtPoint(Shift, X, Y, true);
        GripAtPoint(X, Y, action);
      }
      FAction = action;
      if (action != 0)
        for (int32_t h : FSelection) {
          TQxVObject& r = FObjects[size_t(h)];
          r.EditStartRect = TRect(r.x1, r.y1, r.x2, r.y2);
        }
    } else {
      double d;
      const int32_t h = FindObjectAt(ScreenToBitmapX(X), ScreenToBitmapY(Y), true, d);
      if (h >= 0) {
        DoObjectDblClick(h);
        const TQxVObject& r = FObjects[size_t(h)];
        if ((r.Kind == TQxVObjectKind::qvkText || r.Kind == TQxVObjectKind::qvkMemo) && d == 0) {
          for (int32_t s : std::vector<int32_t>(FSelection))
            if (s != h) DoUserDeselectObject(s);
          const bool was = IsSelected(h);
          FSelection.clear();
          SelectObject(h);
          if (!was) DoUserSelectObject(h);
          FEditHandle = h;
          StartTextEdit();
          UpdateView();
        }
      }
    }
    double d;
    const int32_t h = ObjectAtClient(X, Y, d);
    if (h >= 0 && d == 0 && FObjects[size_t(h)].Kind == TQxVObjectKind::qvkCustom && FObjects[size_t(h)].Custom)
      FObjects[size_t(h)].Custom->MouseDown(Button, Shift, X, Y);
  }
  FCurrent = pt.X == X && pt.Y == Y && FCreating != TQxVObjectKind::qvkPolyline ? FDragStart : pt;
  if (FCreating != TQxVObjectKind::qvkNone && FCreating != TQxVObjectKind::qvkPolyline &&
      FCreating != TQxVObjectKind::qvkAngle)
    FCurrent = FDragStart;
  FStepSum = TPoint(0, 0);
  FMoved = false;
}

// ---------------------------------------------------------------- mouse-move

void TQuillotVect::HandleMouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FSkipNextMove && FButtonDown) {
    FSkipNextMove = false;
    return;
  }
  EraseMeasureHint();
  TQuillotView::HandleMouseMove(Shift, X, Y);
  FRawPoint = TPoint(X, Y);
  // The view's constrain setting acts as a held Alt.
  const bool alt = Shift.Contains(ssAlt) || AssumeAltKey;
  if (FButtonDown) {
    if (X == FRawDown.X && Y == FRawDown.Y) return;
    // The band of the last step comes off before the view may scroll under it.
    HideBand();
    if (FCreating != TQxVObjectKind::qvkNone || FAction != 0 || FGrabbedPoint >= 0 ||
        FObjectInteract.Contains(OI::oiEdit))
      AutoScrollWhileDragging();
    TPoint pt = ClampToPicture(*this, X, Y);
    if (FCreating != TQxVObjectKind::qvkNone) {
      FMoved = true;
      const bool sized = (FTemplate.Flags & qvoSizeable) != 0;
      if (!sized && FCreating != TQxVObjectKind::qvkPolyline && FCreating != TQxVObjectKind::qvkAngle) {
        // Placed at the pointer with the template's size.
        FDragStart = FCurrent = pt;
        return;
      }
      switch (FCreating) {
        case TQxVObjectKind::qvkLine:
        case TQxVObjectKind::qvkLabelledLine:
          if (FMeasuring) pt = TPoint(X, Y);
          if (Shift.Contains(ssCtrl)) QxSnapTo45(FDragStart.X, FDragStart.Y, pt.X, pt.Y);
          FCurrent = pt;
          DrawLineFeedback(false);
          break;
        case TQxVObjectKind::qvkBox:
        case TQxVObjectKind::qvkCustom:
        case TQxVObjectKind::qvkEllipse:
          if (Shift.Contains(ssCtrl)) {
            const int32_t dx = pt.X - FDragStart.X, dy = pt.Y - FDragStart.Y;
            const int32_t d = std::abs(dy) < std::abs(dx) ? dx : dy;
            FCurrent = TPoint(FDragStart.X + d, FDragStart.Y + d);
          } else {
            FCurrent = pt;
          }
          if (FCreating == TQxVObjectKind::qvkEllipse) DrawEllipseFeedback(false);
          else DrawBoxFeedback(false);
          break;
        case TQxVObjectKind::qvkBitmap: {
          FCurrent = pt;
          TQxBitmap* b = SharedBitmap(FTemplate.BitmapIndex);
          if ((alt || FTemplate.KeepAspect) && b && b->Width() > 0)
            FCurrent.Y = FDragStart.Y + int32_t(std::trunc(double(b->Height()) / b->Width() * (FCurrent.X - FDragStart.X)));
          DrawBoxFeedback(false);
          break;
        }
        case TQxVObjectKind::qvkText:
        case TQxVObjectKind::qvkMemo:
          FCurrent = pt;
          DrawBoxFeedback(false);
          break;
        case TQxVObjectKind::qvkRuler:
          if (Shift.Contains(ssCtrl)) QxSnapTo45(FDragStart.X, FDragStart.Y, pt.X, pt.Y);
          FCurrent = pt;
          DrawShapeFeedback();
          break;
        case TQxVObjectKind::qvkPolyline:
          if (FreePoints) pt = TPoint(X, Y);
          AddPolylinePoint(FPolyHandle, ScreenToBitmapX(pt.X), ScreenToBitmapY(pt.Y));
          FLastPolyPoint = pt;
          UpdateView();
          break;
        case TQxVObjectKind::qvkAngle:
          FCurrent = pt;
          DrawPointsFeedback();
          break;
        default:
          break;
      }
    } else if (FAction != 0) {
      DoBeforeVectorialChanged();
      FMoved = true;
      FDraggingObjects = true;
      TPoint p = pt;
      if (Shift.Contains(ssCtrl) && !FSelection.empty() && (FAction == 1 || FAction == 2)) {
        TQxVObject& r = FObjects[size_t(FSelection.front())];
        if (IsLineKind(r.Kind)) {
          const int32_t ox = FAction == 1 ? r.x2 : r.x1, oy = FAction == 1 ? r.y2 : r.y1;
          QxSnapTo45(BitmapToScreenX(ox), BitmapToScreenY(oy), p.X, p.Y);
        }
      }
      const TPoint offset(int32_t(std::trunc((p.X - FDragStart.X) * InvScaleX())),
                          int32_t(std::trunc((p.Y - FDragStart.Y) * InvScaleY())));
      TPoint step(offset.X - FStepSum.X, offset.Y - FStepSum.Y);
      FStepSum = offset;
      for (int32_t h : std::vector<int32_t>(FSelection)) {
        TQxVObject* r = ObjectRecord(h);
        if (!r) continue;
        const bool keep = alt || r->KeepAspect;
        DoObjectMoveResize(h, FAction, step.X, step.Y);
        r = ObjectRecord(h);
        if ((r->Flags & qvoSizeable) && ((FAction >= 1 && FAction <= 2) || (FAction >= 4 && FAction <= 9))) {
          ResizeObjectByGrip(h, step, FAction, keep);
        } else if ((r->Flags & qvoSizeable) && FAction >= 10 && FAction <= 12) {
          TPoint& ap = r->AnglePoints[FAction - 10];
          if (ap.X != QxAngleUnset) ap.X += step.X, ap.Y += step.Y;
          TRect box;
          QxAngleBox(r->AnglePoints, box);
          r->x1 = box.Left, r->y1 = box.Top, r->x2 = box.Right, r->y2 = box.Bottom;
        } else if ((r->Flags & qvoMovable) && FAction == 3 && (AllowMoveOutside || SelectionStaysInside(step))) {
          MoveObject(h, step.X, step.Y);
        }
      }
      UpdateView();
    } else if (FObjectInteract.Contains(OI::oiPolylinePoints) && FGrabbedPoint >= 0 && FSelection.size() == 1) {
      FMoved = true;
      TQxVObject& r = FObjects[size_t(FSelection.front())];
      const TPoint offset(int32_t(std::trunc((pt.X - FDragStart.X) * InvScaleX())),
                          int32_t(std::trunc((pt.Y - FDragStart.Y) * InvScaleY())));
      const TPoint step(offset.X - FStepSum.X, offset.Y - FStepSum.Y);
      FStepSum = offset;
      if (FGrabbedPoint < int32_t(r.Points.size())) {
        double sx, sy;
        PolylineScale(r, sx, sy);
        r.Points[size_t(FGrabbedPoint)].X += int32_t(Round(step.X / (sx != 0 ? sx : 1)));
        r.Points[size_t(FGrabbedPoint)].Y += int32_t(Round(step.Y / (sy != 0 ? sy : 1)));
        RefreshPolylineBounds(r);
      }
      UpdateView();
    } else if (FObjectInteract.Contains(OI::oiEdit) && !FObjectInteract.Contains(OI::oiPolylinePoints) &&
               RubberBandSelect) {
      FCurrent = pt;
      const std::vector<int32_t> before = FSelection;
      if (!Shift.Contains(ssShift)) FSelection.clear();
      int32_t a = ScreenToBitmapX(FDragStart.X), b = ScreenToBitmapY(FDragStart.Y);
      int32_t c = ScreenToBitmapX(pt.X), d = ScreenToBitmapY(pt.Y);
      QxOrderCorners(a, b, c, d);
      SelectObjectsInRect(QxHandleNone, a, b, c, d);
      if (OnSelectObject) OnSelectObject(this);
      FMoved = true;
      // Grips are part of the composed frame: only a changed selection needs a new one.
      if (FSelection != before) DrawSelectionGrips();
      DrawBoxFeedback(false);
    }
    EraseMeasureHint();
    DrawMeasureHint(FRawPoint.X, FRawPoint.Y);
    return;
  }
  // No button held.
  if (FCreating == TQxVObjectKind::qvkPolyline && FPolyHandle >= 0) {
    TPoint pt(X, Y);
    if (Shift.Contains(ssCtrl)) QxSnapTo45(FLastPolyPoint.X, FLastPolyPoint.Y, pt.X, pt.Y);
    FCurrent = pt;
    DrawLineFeedback(false);
  } else if (FCreating == TQxVObjectKind::qvkAngle) {
    TPoint pt(X, Y);
    if (Shift.Contains(ssCtrl)) QxSnapTo45(FDragStart.X, FDragStart.Y, pt.X, pt.Y);
    FCurrent = pt;
    DrawPointsFeedback();
  } else if (OnObjectOver) {
    double d;
    const int32_t h = FindObjectAt(ScreenToBitmapX(X), ScreenToBitmapY(Y), false, d);
    if (h >= 0) DoObjectOver(h);
  }
  if (FObjectInteract.Contains(OI::oiPolylinePoints)) {
    if (PolylinePointAt(X, Y) >= 0)
      SetInteractionCursor(Shift.Contains(ssCtrl) ? 1792 : 1790);
    else if (PolylineSegmentAt(X, Y) >= 0)
      SetInteractionCursor(1791);
    else
      RestoreCursor();
  } else if (FObjectInteract.Contains(OI::oiEdit)) {
    int32_t a = 0;
    GripAtPoint(X, Y, a);
    static const TCursor kCursor[13] = {0, 1786, 1786, 1790, 1788, 1788, 1789, 1789, 1787, 1787, 1788, 1788, 1788};
    if (a == 0) RestoreCursor();
    else SetInteractionCursor(kCursor[a]);
  }
  DrawMeasureHint(X, Y);
  if (FCreating == TQxVObjectKind::qvkNone) {
    double d;
    int32_t h = ObjectAtClient(X, Y, d);
    if (d != 0) h = -1;
    if (h != FCustomHover) {
      if (TQxVObject* p = ObjectRecord(FCustomHover); p && FCustomHover >= 0 && p->Custom) p->Custom->MouseLeave();
      if (TQxVObject* n = ObjectRecord(h); n && h >= 0 && n->Custom) n->Custom->MouseEnter();
      FCustomHover = h;
    }
    if (TQxVObject* c = ObjectRecord(FCustomHover); c && FCustomHover >= 0 && c->Custom)
      c->Custom->MouseMove(Shift, X, Y);
  }
}

// ---------------------------------------------------------------- mouse-up

void TQuillotVect::FinishMouseCreate(TShiftState) {
  TQxVObject& t = FTemplate;
  const TQxVObjectKind kind = FCreating;
  if (kind != TQxVObjectKind::qvkPolyline) {
    if (FCurrent.X == FDragStart.X && FCurrent.Y == FDragStart.Y) {
      const int32_t w = t.x2 - t.x1, h = t.y2 - t.y1;
      int32_t bx = ScreenToBitmapX(FDragStart.X), by = ScreenToBitmapY(FDragStart.Y);
      if (PlaceCentered) bx -= w / 2, by -= h / 2;
      t.x1 = bx, t.y1 = by, t.x2 = bx + w, t.y2 = by + h;
    } else {
      t.x1 = ScreenToBitmapX(FDragStart.X), t.y1 = ScreenToBitmapY(FDragStart.Y);
      t.x2 = ScreenToBitmapX(FCurrent.X), t.y2 = ScreenToBitmapY(FCurrent.Y);
    }
  }
  t.Kind = kind;
  if (FMeasuring) {
    EraseMeasureHint();
    FHintShown = false;
    if (OnDragLenEnd) OnDragLenEnd(this, FLastMeasure);
    return;
  }
  DoBeforeVectorialChanged();
  int32_t h = FPolyHandle;
  if (kind != TQxVObjectKind::qvkPolyline) h = AddObjectCopy(t);
  if (kind == TQxVObjectKind::qvkCustom && !FTemplate.Custom) {
    // A custom object without an instance draws nothing; it still exists for the program to fill.
  }
  UnselectAll();
  DoNewObject(h);
  SelectObject(h);
  FChanged = true;
  if (EditNewText && (kind == TQxVObjectKind::qvkText || kind == TQxVObjectKind::qvkMemo)) {
    FEditHandle = h;
    StartTextEdit();
  } else {
    DoVectorialChanged();
  }
}

void TQuillotVect::HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TQuillotView::HandleMouseUp(Button, Shift, X, Y);
  FSkipNextMove = Shift.Contains(ssDouble);
  const bool wasDown = FButtonDown;
  if (Button == TMouseButton::mbLeft) FButtonDown = false;
  FDraggingObjects = false;
  if (Button != TMouseButton::mbLeft || !wasDown) return;
  // An angle or a clicked polyline goes on being built: only the closing steps below run for it.
  const bool building = FCreating == TQxVObjectKind::qvkAngle ||
                        (FCreating == TQxVObjectKind::qvkPolyline && PolylineFinish != 2);
  if (!building) {
    HideBand();
    FinishMouseUp(Button, Shift, X, Y);
    if (FEditHandle >= 0) return;
  }
  CloseMouseUp(Button, Shift, X, Y);
}

void TQuillotVect::FinishMouseUp(TMouseButton, TShiftState Shift, int32_t X, int32_t Y) {
  const bool notMoved = ClampToPicture(*this, X, Y).X == FDragStart.X && ClampToPicture(*this, X, Y).Y == FDragStart.Y;
  // While an object is edited in place, the handling ends here.
  if (FEditHandle >= 0) return;
  const bool skip = notMoved && FObjectInteract.Contains(OI::oiDragOnly) && !FObjectInteract.Contains(OI::oiEdit) &&
                    !FObjectInteract.Contains(OI::oiPerimeter) && !FObjectInteract.Contains(OI::oiArea);
  if (!skip) {
    if (FCreating != TQxVObjectKind::qvkNone) {
      FinishMouseCreate(Shift);
      if (FCreating == TQxVObjectKind::qvkPolyline) FPolyHandle = -1;
    } else {
      if ((FAction != 0 && (FMoved || FAction != 3)) ||
          (!FObjectInteract.Contains(OI::oiEdit) && !FObjectInteract.Contains(OI::oiPolylinePoints)) || FMoved) {
        if (FAction != 0) {
          for (int32_t h : FSelection) {
            TQxVObject& r = FObjects[size_t(h)];
            if (!IsLineKind(r.Kind) && r.Kind != TQxVObjectKind::qvkPolyline) QxOrderCorners(r.x1, r.y1, r.x2, r.y2);
          }
          DoVectorialChanged();
        } else if (FMoved && FGrabbedPoint >= 0) {
          DoVectorialChanged();
        }
      } else if (!FSelectOnMouseDown || FDeferred) {
        SelectAtPoint(Shift, X, Y, false);
      }
    }
    // Point editing of the one selected polyline.
    if (FSelection.size() == 1 && FObjects[size_t(FSelection.front())].Kind == TQxVObjectKind::qvkPolyline) {
      TQxVObject& r = FObjects[size_t(FSelection.front())];
      if (FGrabbedPoint >= 0 && Shift.Contains(ssCtrl) && r.Points.size() > 2 &&
          FGrabbedPoint < int32_t(r.Points.size())) {
        r.Points.erase(r.Points.begin() + FGrabbedPoint);
        RefreshPolylineBounds(r);
        DoVectorialChanged();
      } else if (FGrabbedSegment >= 0 && FGrabbedSegment < int32_t(r.Points.size())) {
        double sx, sy;
        PolylineScale(r, sx, sy);
        if (sx == 0) sx = 1;
        if (sy == 0) sy = 1;
        const int32_t bx = ScreenToBitmapX(X), by = ScreenToBitmapY(Y);
        const int32_t px = int32_t(Round((bx + r.PointBounds.Left * sx - r.x1) / sx));
        const int32_t py = int32_t(Round((by + r.PointBounds.Top * sy - r.y1) / sy));
        r.Points.insert(r.Points.begin() + FGrabbedSegment + 1, TPoint(px, py));
        RefreshPolylineBounds(r);
        FGrabbedSegment = -1;
        DoVectorialChanged();
      }
    }
    FGrabbedPoint = -1;
    UpdateView();
    FCreating = TQxVObjectKind::qvkNone;
    FMeasuring = false;
    FAction = 0;
    if (FMoved) {
      FMoved = false;
      Invalidate();
    }
    if (FObjectInteract.Contains(OI::oiEdit)) {
      double d;
      const int32_t h = ObjectAtClient(X, Y, d);
      if (h >= 0) DoObjectClick(h);
    }
  } else {
    FCreating = TQxVObjectKind::qvkNone;
    FAction = 0;
  }
}

void TQuillotVect::CloseMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  // A press that changed nothing leaves no undo step behind.
  if (FSnapshot && FObjAutoUndo && !FChanged) {
    if (FObjUndoMode == TQxVUndoMode::qxumSeparated) {
      FPendingUndo.reset();
    } else if (TQuillotProc* p = GetProc()) {
      // Entries are indexed from the oldest; discarding counts from the newest.
      const int32_t n = p->UndoCount();
      for (int32_t i = n - 1; i >= 0; --i)
        if (p->UndoSourceOf(i) == TQxUndoSource::qxuObject) {
          p->DiscardUndo(n - 1 - i);
          break;
        }
    }
  }
  FSnapshot = false;
  if (FChanged) CommitPendingUndo();
  FPendingUndo.reset();
  double d;
  const int32_t h = ObjectAtClient(X, Y, d);
  if (h >= 0 && d == 0 && FObjects[size_t(h)].Kind == TQxVObjectKind::qvkCustom && FObjects[size_t(h)].Custom)
    FObjects[size_t(h)].Custom->MouseUp(Button, Shift, X, Y);
  DrawMeasureHint(X, Y);
}
