#pragma once
// Dragging a control with the mouse inside its form: the source holds the mouse, and every
// control under the pointer is asked (CM_DRAG) whether it takes the drop, then given it.

#include <cstdint>

#include "platform/base/types.h"
#include "platform/ui/messages.h"

class TControl;

inline constexpr uint32_t CM_DRAG = CM_BASE + 41;

enum class TDragMessage : uint8_t { dmDragEnter, dmDragLeave, dmDragMove, dmDragDrop };
enum class TDragState : uint8_t { dsDragEnter, dsDragLeave, dsDragMove };

// What CM_DRAG carries (LParam points at it): Pos is in the target's client coordinates; a target
// that takes the drop sets Accept.
struct TDragRec {
  TDragMessage Msg = TDragMessage::dmDragMove;
  TControl* Source = nullptr;
  TControl* Target = nullptr;
  TPoint Pos;
  bool Accept = false;
};

// How far the pointer moves before a drag that is not immediate begins.
inline constexpr int32_t kDefaultDragThreshold = 5;

// Starts dragging Source (which holds the mouse from now on until the left button is released
// or Escape is pressed). Not immediate: the drag begins once the pointer moved Threshold pixels
// (the default when negative); a release before that ends nothing but the wait.
void BeginDrag(TControl* Source, bool Immediate, int32_t Threshold = -1);
// Whether a drag (begun, not just waiting) is running, and of what.
bool Dragging();
TControl* DragSource();
// Ends the drag without a drop.
void CancelDrag();
// The state as a control's CM_DRAG handler maps it.
inline TDragState DragStateOf(TDragMessage M) {
  return M == TDragMessage::dmDragEnter   ? TDragState::dsDragEnter
         : M == TDragMessage::dmDragLeave ? TDragState::dsDragLeave
                                          : TDragState::dsDragMove;
}
