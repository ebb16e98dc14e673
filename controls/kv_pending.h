#pragma once
// TEMPORARY stand-ins for the shared colour maths and painters until they land; deleted at merge.
#include <cstdint>
#include "platform/base/types.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"

enum class TFrameStyleEx : uint8_t { fsNone, fsFlat, fsGroove, fsBump, fsLowered, fsButtonDown, fsRaised, fsButtonUp, fsStatus, fsPopup, fsFlatBold, fsFlatRounded };
using TFrameStyle = TFrameStyleEx;
enum class TSide : uint8_t { sdLeft, sdTop, sdRight, sdBottom };
using TSides = TSetOf<TSide>;
enum class TGradientDirection : uint8_t { gdDiagonalUp, gdDiagonalDown, gdHorizontalEnd, gdHorizontalCenter, gdHorizontalBox, gdVerticalEnd, gdVerticalCenter, gdVerticalBox, gdSquareBox, gdBigSquareBox };
enum class TAlignmentVertical : uint8_t { avTop, avCenter, avBottom };
enum class TTextStyle : uint8_t { tsNormal, tsRaised, tsRecessed, tsShadow };
enum class TOrientation : uint8_t { orHorizontal, orVertical };
enum class TKvGradientColorStyle : uint8_t { gcsSystem, gcsMSOffice, gcsCustom };
enum class TKvVisualStyle : uint8_t { vsClassic, vsWinXP, vsGradient };
enum class TKvHotTrackColorType : uint8_t { htctComplement, htctActual };
enum class TKvButtonHotTrackStyle : uint8_t { htsInterior, htsFrame };

extern bool KvFullColorDisplay;
TColor KvDarken(TColor C, uint8_t Amount);
TColor KvLighten(TColor C, uint8_t Amount);
TColor KvShiftLightness(TColor C, int32_t Amount);
TColor KvMixColors(TColor A, TColor B, uint8_t Weight);
bool KvColorsTooSimilar(TColor A, TColor B);
TColor KvComplementColor(TColor C, uint8_t Lightness);
void KvSelectionColors(TKvGradientColorStyle S, TColor& Frame, TColor& Start, TColor& Stop);
void KvPanelGradientColors(TKvGradientColorStyle S, TColor& Start, TColor& Stop);
void KvBarGradientColors(TKvGradientColorStyle S, TColor& Stop, TColor& Start, TColor& Frame);
TColor KvXPThemeColor(uint8_t Kind);
bool KvThemesActive();

TRect KvPaintSideLines(TCanvas* C, TRect R, TColor UL, TColor LR, TSides Sides);
TRect KvPaintSideBands(TCanvas* C, TRect R, TColor UL, TColor LR, int32_t Count, TSides Sides);
TRect KvPaintButtonFrame(TCanvas* C, TRect R, bool Down);
TRect KvPaintColorButtonFrame(TCanvas* C, TRect R, TColor Face, bool Down);
TRect KvPaintStyledFrame(TCanvas* C, TRect R, TFrameStyleEx S);
TRect KvPaintStyledFrameSides(TCanvas* C, TRect R, TFrameStyleEx S, TSides Sides);
TRect KvPaintColoredFrame(TCanvas* C, TRect R, TColor Face, TFrameStyleEx S);
TRect KvPaintRectOutline(TCanvas* C, TRect R, TColor Color);
TRect KvPaintCornerMarks(TCanvas* C, TRect R, TColor Color, int32_t Arm);
TRect KvPaintDottedFocusFrame(TCanvas* C, TRect R);
TRect KvPaintLayeredBorders(TCanvas* C, TRect R, TFrameStyleEx Outer, TFrameStyleEx Inner, int32_t BorderWidth,
                            TSides Sides, int32_t BevelWidth, TColor BorderColor, TColor Highlight, TColor Shadow,
                            TColor Flat, int32_t FlatAdjustment, TColor ControlColor, TColor ParentColor,
                            bool Transparent);
void KvPaintGradientRing(TCanvas* C, TRect R, TGradientDirection D, TColor Start, TColor Stop);
void KvPaintCheckGlyph(TCanvas* C, TRect R, TCheckBoxState State, uint8_t DrawState, bool Focused,
                       TKvButtonHotTrackStyle Hot, TColor Frame, TColor Mark, TColor Fill, TColor Focus,
                       TColor Disabled, TColor HotLight, TColor HotDark, bool ReadOnly, bool ReadOnlyOnFocus,
                       TColor ReadOnlyColor);
void KvPaintRadioGlyph(TCanvas* C, TRect R, bool Checked, uint8_t DrawState, bool Focused,
                       TKvButtonHotTrackStyle Hot, TColor Frame, TColor Dot, TColor Fill, TColor Focus,
                       TColor Disabled, TColor HotLight, TColor HotDark, TColor Background, bool Transparent,
                       TColor Key, bool ReadOnly, bool ReadOnlyOnFocus, TColor ReadOnlyColor);
bool KvFontIsTrueType(const TFont& F);
void KvDrawGradient(TCanvas* C, TRect R, TGradientDirection D, TColor Start, TColor Stop, uint8_t Bands);
void KvBlitTransparent(TCanvas* C, TBitmap* B, TRect Dest, TRect Src, TColor Transparent);
void KvPaintParentBackground(TControl* Control, TCanvas* C, bool InvalidateParent);
std::string KvStripAccelerators(const std::string& S);
TRect KvCenteredRect(TRect R, int32_t W, int32_t H);
void KvInvalidateTransparentChildren(TWinControl* W);

// Blinking list
inline constexpr uint32_t KV_BLINK_QUERY = 0xB3E8;
inline constexpr uint32_t KV_BLINK = 0xB3E9;
class TKvBlinkingControlsList {
 public:
  void RegisterControl(TControl* C);
  void UnregisterControl(TControl* C);
  int32_t ControlCount() const;
  uint16_t IntervalOn = 500, IntervalOff = 500;
};
extern TKvBlinkingControlsList* KvBlinkingList;
TKvBlinkingControlsList* KvNeedBlinkingList();
void KvReleaseBlinkingList();
