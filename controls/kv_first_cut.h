#pragma once
// Drawing helpers of the first-cut controls, until each family paints through the shared painters.

#include <cstdint>
#include <string>

#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"

namespace kvfirst {

void Frame(TCanvas* C, const TRect& R, TColor TopLeft, TColor BottomRight);
void Fill(TCanvas* C, const TRect& R, TColor Color);
void DrawCaption(TCanvas* C, const TControl* Ctl, const std::string& S, TRect R, uint32_t Flags, TColor Color);
void Gradient(TCanvas* C, const TRect& R, TColor From, TColor To);

inline constexpr TColor kFace = 0xF6F0E2;
inline constexpr TColor kFrame = 0xD08130;
inline constexpr TColor kHot1 = 0xF3D28D;
inline constexpr TColor kHot2 = 0xE1AB39;

}  // namespace kvfirst
