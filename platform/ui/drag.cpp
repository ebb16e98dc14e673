#include "platform/ui/drag.h"

#include <cstdlib>
#include <functional>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

namespace {

struct TDragObject {
  TControl* Source = nullptr;
  std::function<void(TMessage&)> SavedProc;
  TPoint Start;  // screen
  int32_t Threshold = kDefaultDragThreshold;
  bool Started = false;
  TControl* Target = nullptr;
  bool Accepted = false;
};

TDragObject* gDrag = nullptr;

// The deepest enabled, visible control of the source's form under a screen point.
TControl* FindDragTarget(const TPoint& Screen) {
  TCustomForm* f = GetParentForm(gDrag->Source);
  if (!f) return nullptr;
  if (!PtInRect(f->ClientRect(), f->ScreenToClient(Screen))) return nullptr;
  TControl* result = f;
  TWinControl* w = f;
  while (w) {
    TControl* c = w->ControlAtPos(w->ScreenToClient(Screen), false, true);
    if (!c) break;
    result = c;
    w = dynamic_cast<TWinControl*>(c);
  }
  return result;
}

bool SendDrag(TControl* Target, TDragMessage Msg, const TPoint& Screen) {
  if (!Target) return false;
  TDragRec rec;
  rec.Msg = Msg;
  rec.Source = gDrag->Source;
  rec.Target = Target;
  rec.Pos = Target->ScreenToClient(Screen);
  Target->Perform(CM_DRAG, static_cast<uintptr_t>(Msg), reinterpret_cast<intptr_t>(&rec));
  return rec.Accept;
}

void EndDrag(bool Drop, const TPoint& Screen) {
  TDragObject d = *gDrag;
  // Restore the source before anything runs that may start another drag.
  d.Source->WindowProc = d.SavedProc;
  delete gDrag;
  gDrag = nullptr;
  if (d.Source->MouseCapture()) d.Source->SetMouseCapture(false);
  if (!d.Started || !d.Target) return;
  TDragObject* keep = &d;
  gDrag = keep;
  if (Drop && d.Accepted)
    SendDrag(d.Target, TDragMessage::dmDragDrop, Screen);
  else
    SendDrag(d.Target, TDragMessage::dmDragLeave, Screen);
  gDrag = nullptr;
}

void DragMoveTo(const TPoint& Screen) {
  if (!gDrag->Started) {
    if (std::abs(Screen.X - gDrag->Start.X) < gDrag->Threshold && std::abs(Screen.Y - gDrag->Start.Y) < gDrag->Threshold)
      return;
    gDrag->Started = true;
  }
  TControl* t = FindDragTarget(Screen);
  if (t != gDrag->Target) {
    if (gDrag->Target) SendDrag(gDrag->Target, TDragMessage::dmDragLeave, Screen);
    gDrag->Target = t;
    gDrag->Accepted = false;
    if (t) gDrag->Accepted = SendDrag(t, TDragMessage::dmDragEnter, Screen);
  }
  if (gDrag->Target) gDrag->Accepted = SendDrag(gDrag->Target, TDragMessage::dmDragMove, Screen);
}

void DragWindowProc(TMessage& M) {
  if (!gDrag) return;
  TControl* src = gDrag->Source;
  auto screenOf = [&] {
    return src->ClientToScreen(TPoint(int16_t(M.LParam & 0xFFFF), int16_t((M.LParam >> 16) & 0xFFFF)));
  };
  switch (M.Msg) {
    case WM_MOUSEMOVE: DragMoveTo(screenOf()); return;
    case WM_LBUTTONUP: {
      bool started = gDrag->Started;
      TPoint sp = screenOf();
      auto saved = gDrag->SavedProc;
      EndDrag(true, sp);
      // A press that never became a drag is an ordinary click: the control sees its release.
      if (!started) {
        if (saved)
          saved(M);
        else
          src->WndProc(M);
      }
      return;
    }
    case WM_KEYDOWN:
      if (M.WParam == VK_ESCAPE) {
        EndDrag(false, GetCursorPos());
        return;
      }
      break;
    case WM_CANCELMODE: EndDrag(false, GetCursorPos()); break;
    default: break;
  }
  if (gDrag && gDrag->SavedProc)
    gDrag->SavedProc(M);
  else
    src->WndProc(M);
}

}  // namespace

void BeginDrag(TControl* Source, bool Immediate, int32_t Threshold) {
  if (!Source || gDrag) return;
  gDrag = new TDragObject;
  gDrag->Source = Source;
  gDrag->SavedProc = Source->WindowProc;
  gDrag->Start = GetCursorPos();
  gDrag->Threshold = Threshold < 0 ? kDefaultDragThreshold : Threshold;
  Source->WindowProc = DragWindowProc;
  Source->SetMouseCapture(true);
  if (Immediate) {
    gDrag->Started = true;
    DragMoveTo(gDrag->Start);
  }
}

bool Dragging() { return gDrag && gDrag->Started; }

TControl* DragSource() { return gDrag ? gDrag->Source : nullptr; }

void CancelDrag() {
  if (gDrag) EndDrag(false, GetCursorPos());
}
