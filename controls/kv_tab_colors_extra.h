#pragma once
// Shared colour names the tab controls need before the library's colour unit provides them.

#include <cstdint>
#include <memory>

#include "platform/graphics/canvas.h"
#include "platform/graphics/color.h"

class TControl;

enum class TOrientation : uint8_t { orHorizontal, orVertical };
enum class TKvHotTrackColorType : uint8_t { htctComplement, htctActual };
enum class TGradientDirection : uint8_t {
  gdDiagonalUp,
  gdDiagonalDown,
  gdHorizontalEnd,
  gdHorizontalCenter,
  gdHorizontalBox,
  gdVerticalEnd,
  gdVerticalCenter,
  gdVerticalBox,
  gdSquareBox,
  gdBigSquareBox
};
extern bool KvFullColorDisplay;
TColor KvDarken(TColor Color, uint8_t Amount);
TColor KvShiftLightness(TColor Color, int32_t Amount);
TColor KvMixColors(TColor A, TColor B, uint8_t Weight);
TColor KvComplementColor(TColor Color, uint8_t Lightness);
void KvDrawGradient(TCanvas* Canvas, const TRect& R, TGradientDirection Direction, TColor Start, TColor Stop,
                    uint8_t Bands = 1);
void KvPaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent);
void KvPaintArrowGlyph(TCanvas* Canvas, const TRect& R, uint8_t Look, uint8_t Direction, bool Pressed, bool Enabled);
void KvPaintCloseGlyph(TCanvas* Canvas, const TRect& R, uint8_t Look, bool Pressed, bool Enabled);
bool KvFontIsTrueType(const TFont& Font);
