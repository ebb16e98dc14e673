#pragma once
// The painters every themed control draws its frames, bevels, focus marks, arrows and check and
// radio marks with, so that all controls share one look per frame style and colour. Frame
// routines take a rectangle and a side set and return the rectangle left inside what they drew.

#include <cstdint>

#include "controls/kv_colors.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"
#include "platform/ui/std_ctrls.h"

// R shrunk by N on each of Sides.
TRect KvShrinkSides(const TRect& R, TSides Sides, int32_t N = 1);

TRect KvPaintSideLines(TCanvas* Canvas, const TRect& R, TColor UpperLeft, TColor LowerRight, TSides Sides);
TRect KvPaintSideBands(TCanvas* Canvas, const TRect& R, TColor UpperLeft, TColor LowerRight, int32_t Count,
                       TSides Sides);
TRect KvPaintCtl3DSides(TCanvas* Canvas, const TRect& R, bool Lowered, TSides Sides);
// A line in the canvas pen from (X1, Y1) to (X2, Y2), the end pixel left out.
void KvLine(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
TRect KvPaintButtonFrame(TCanvas* Canvas, const TRect& R, bool Down);
TRect KvPaintButtonFrameSides(TCanvas* Canvas, const TRect& R, bool Down, TSides Sides);
TRect KvPaintColorButtonFrame(TCanvas* Canvas, const TRect& R, TColor Face, bool Down);
TRect KvPaintColorButtonFrameSides(TCanvas* Canvas, const TRect& R, TColor Face, bool Down, TSides Sides);
TRect KvPaintStyledFrame(TCanvas* Canvas, const TRect& R, TFrameStyleEx Style);
TRect KvPaintStyledFrameSides(TCanvas* Canvas, const TRect& R, TFrameStyleEx Style, TSides Sides);
TRect KvPaintColoredFrame(TCanvas* Canvas, const TRect& R, TColor Face, TFrameStyleEx Style);
TRect KvPaintColoredFrameSides(TCanvas* Canvas, const TRect& R, TColor Face, TFrameStyleEx Style, TSides Sides);
TRect KvPaintRectOutline(TCanvas* Canvas, const TRect& R, TColor Color);
TRect KvPaintCornerMarks(TCanvas* Canvas, const TRect& R, TColor Color, int32_t ArmLength);
TRect KvPaintDottedFocusFrame(TCanvas* Canvas, const TRect& R);
TRect KvPaintRoundedFlatFrame(TCanvas* Canvas, const TRect& R, TColor Color, TSides Sides);
// The complete border of panels and labels: outer style, border bands, inner style.
TRect KvPaintLayeredBorders(TCanvas* Canvas, const TRect& R, TFrameStyleEx OuterStyle, TFrameStyleEx InnerStyle,
                            int32_t BorderWidth, TSides Sides, int32_t BevelWidth, TColor BorderColor,
                            TColor HighlightColor, TColor ShadowColor, TColor FlatColor, int32_t FlatColorAdjustment,
                            TColor ControlColor, TColor ParentColor, bool Transparent);
// The non-client frame of a framed edit, over (0, 0, Width, Height).
void KvPaintControlFrame(TCanvas* Canvas, int32_t Width, int32_t Height, TFrameStyle Style, TColor ControlColor,
                         TColor FrameColor, TSides Sides);
// Asks a showing window to repaint its frame over R.
void KvRedrawNonClientFrame(TWinControl* Window, const TRect& R);

// Look 1 is the XP look, anything else the classic one. Direction: 0 up, 1 down, 2 left, 3 right.
void KvPaintDropDownArrow(TCanvas* Canvas, const TRect& R, uint8_t Look, bool Pressed, bool Enabled);
void KvPaintArrowGlyph(TCanvas* Canvas, const TRect& R, uint8_t Look, uint8_t Direction, bool Pressed, bool Enabled);
void KvPaintCloseGlyph(TCanvas* Canvas, const TRect& R, uint8_t Look, bool Pressed, bool Enabled);
void KvPaintGradientRing(TCanvas* Canvas, const TRect& R, TGradientDirection Direction, TColor StartColor,
                         TColor StopColor);

// Draw states of the check and radio glyphs.
inline constexpr uint8_t kvdsNormal = 0, kvdsPressed = 1, kvdsHot = 2, kvdsDisabled = 3;

void KvPaintCheckGlyph(TCanvas* Canvas, const TRect& R, TCheckBoxState State, uint8_t DrawState, bool Focused,
                       TKvButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor MarkColor, TColor FillColor,
                       TColor FocusColor, TColor DisabledColor, TColor HotLightColor, TColor HotDarkColor,
                       bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor);
// A 13 x 13 radio circle at R's top-left.
void KvPaintRadioGlyph(TCanvas* Canvas, const TRect& R, bool Checked, uint8_t DrawState, bool Focused,
                       TKvButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor DotColor, TColor FillColor,
                       TColor FocusColor, TColor DisabledColor, TColor HotLightColor, TColor HotDarkColor,
                       TColor BackgroundColor, bool Transparent, TColor TransparentKeyColor, bool ReadOnly,
                       bool ReadOnlyColorOnFocus, TColor ReadOnlyColor);
