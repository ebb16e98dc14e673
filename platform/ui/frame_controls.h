#pragma once
// The system's classic frame controls of the button kind: the check-box and radio-button marks that
// controls draw themselves when no visual style is in use.

#include <cstdint>

#include "platform/base/types.h"
#include "platform/graphics/canvas.h"

inline constexpr uint32_t DFC_BUTTON = 4;
inline constexpr uint32_t DFCS_BUTTONCHECK = 0x0000;
inline constexpr uint32_t DFCS_BUTTONRADIO = 0x0004;
inline constexpr uint32_t DFCS_BUTTON3STATE = 0x0008;
inline constexpr uint32_t DFCS_INACTIVE = 0x0100;
inline constexpr uint32_t DFCS_PUSHED = 0x0200;
inline constexpr uint32_t DFCS_CHECKED = 0x0400;
inline constexpr uint32_t DFCS_TRANSPARENT = 0x0800;

// Draws a 13 x 13 check box (a 12 x 12 radio button) at R's top-left in the classic sunken look:
// checked, pushed (face-coloured inside), inactive (grey mark). A three-state check shows its mark
// grey on the face colour. A transparent radio leaves the pixels around its circle alone. False for
// kinds other than these.
bool DrawFrameControl(HDC DC, const TRect& R, uint32_t Type, uint32_t State);
