#pragma once
// The painting primitives every surface of the styled menu is drawn with: gradients, gradient
// boxes, separator bands and backgrounds with pictures.

#include <cstdint>

#include "platform/graphics/canvas.h"

namespace StyMenus {

// gdVertical: one colour per row, changing downwards; gdHorizontal: one colour per column.
enum class TGradientDirection : uint8_t { gdVertical, gdHorizontal };
// Where a separator or splitter band fades.
enum class TGradientType : uint8_t { gtLeft, gtRight, gtBoth };
enum class TBackgroundPosition : uint8_t {
  bpTopLeft,
  bpTopRight,
  bpBottomLeft,
  bpBottomRight,
  bpTopCenter,
  bpBottomCenter,
  bpTiled,
  bpStretched,
  bpCenter,
  bpXY
};

class TBackground;

// A two-colour gradient over R; an end colour of clNone (or equal to the start) is a plain fill.
void FillGradient(TCanvas* Canvas, const TRect& R, TGradientDirection Direction, TColor StartColor, TColor EndColor);
// The Clip part of a gradient laid over Full.
void FillGradientPart(TCanvas* Canvas, const TRect& Full, const TRect& Clip, TColor StartColor, TColor EndColor,
                      TGradientDirection Direction);
// A gradient box (when Fill and Color is not clNone) with a 1-pixel frame in BorderColor.
void DrawGradientFrame(TCanvas* Canvas, const TRect& R, TColor Color, TColor ColorTo, TGradientDirection Direction,
                       TColor BorderColor, bool Fill);
// The same with the lower half painted from MirrorColor to MirrorColorTo.
void DrawMirrorGradientFrame(TCanvas* Canvas, const TRect& R, TColor Color, TColor ColorTo, TColor MirrorColor,
                             TColor MirrorColorTo, TGradientDirection Direction, TColor BorderColor, bool Fill);
// A separator (horizontal) or splitter (vertical) band with fading ends.
void DrawGradientBand(TCanvas* Canvas, const TRect& R, TColor Color, TColor ColorTo, TGradientDirection Direction,
                      TGradientType BandType, int32_t BandWidth, int32_t Margin);
// The gradient and picture of a background part, composed in the part's cache bitmap.
void PaintMenuBackground(TCanvas* Canvas, const TRect& R, TBackground& Background, bool WithGradient);

}  // namespace StyMenus
