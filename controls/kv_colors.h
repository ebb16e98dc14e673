#pragma once
// Colour arithmetic of the themed controls, the library-wide colour state and the enumerations
// every control of the library shares.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/graphics/color.h"
#include "platform/ui/component.h"

// ---- Shared enumerations ------------------------------------------------------------------------------

enum class TFrameStyleEx : uint8_t {
  fsNone,
  fsFlat,
  fsGroove,
  fsBump,
  fsLowered,
  fsButtonDown,
  fsRaised,
  fsButtonUp,
  fsStatus,
  fsPopup,
  fsFlatBold,
  fsFlatRounded
};
// The published FrameStyle properties take fsNone .. fsFlatBold.
using TFrameStyle = TFrameStyleEx;
inline constexpr TFrameStyleEx fsNone = TFrameStyleEx::fsNone;
inline constexpr TFrameStyleEx fsFlat = TFrameStyleEx::fsFlat;
inline constexpr TFrameStyleEx fsGroove = TFrameStyleEx::fsGroove;
inline constexpr TFrameStyleEx fsBump = TFrameStyleEx::fsBump;
inline constexpr TFrameStyleEx fsLowered = TFrameStyleEx::fsLowered;
inline constexpr TFrameStyleEx fsButtonDown = TFrameStyleEx::fsButtonDown;
inline constexpr TFrameStyleEx fsRaised = TFrameStyleEx::fsRaised;
inline constexpr TFrameStyleEx fsButtonUp = TFrameStyleEx::fsButtonUp;
inline constexpr TFrameStyleEx fsStatus = TFrameStyleEx::fsStatus;
inline constexpr TFrameStyleEx fsPopup = TFrameStyleEx::fsPopup;
inline constexpr TFrameStyleEx fsFlatBold = TFrameStyleEx::fsFlatBold;
inline constexpr TFrameStyleEx fsFlatRounded = TFrameStyleEx::fsFlatRounded;

enum class TSide : uint8_t { sdLeft, sdTop, sdRight, sdBottom };
// Held as a 4-bit mask: left 1, top 2, right 4, bottom 8.
using TSides = TSetOf<TSide>;
inline constexpr TSide sdLeft = TSide::sdLeft;
inline constexpr TSide sdTop = TSide::sdTop;
inline constexpr TSide sdRight = TSide::sdRight;
inline constexpr TSide sdBottom = TSide::sdBottom;
inline constexpr TSides KvAllSides{TSide::sdLeft, TSide::sdTop, TSide::sdRight, TSide::sdBottom};

enum class TFramingPreference : uint8_t { fpCustomFraming, fpXPThemes };
inline constexpr TFramingPreference fpCustomFraming = TFramingPreference::fpCustomFraming;
inline constexpr TFramingPreference fpXPThemes = TFramingPreference::fpXPThemes;

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
inline constexpr TGradientDirection gdDiagonalUp = TGradientDirection::gdDiagonalUp;
inline constexpr TGradientDirection gdDiagonalDown = TGradientDirection::gdDiagonalDown;
inline constexpr TGradientDirection gdHorizontalEnd = TGradientDirection::gdHorizontalEnd;
inline constexpr TGradientDirection gdHorizontalCenter = TGradientDirection::gdHorizontalCenter;
inline constexpr TGradientDirection gdHorizontalBox = TGradientDirection::gdHorizontalBox;
inline constexpr TGradientDirection gdVerticalEnd = TGradientDirection::gdVerticalEnd;
inline constexpr TGradientDirection gdVerticalCenter = TGradientDirection::gdVerticalCenter;
inline constexpr TGradientDirection gdVerticalBox = TGradientDirection::gdVerticalBox;
inline constexpr TGradientDirection gdSquareBox = TGradientDirection::gdSquareBox;
inline constexpr TGradientDirection gdBigSquareBox = TGradientDirection::gdBigSquareBox;

enum class TAlignmentVertical : uint8_t { avTop, avCenter, avBottom };
inline constexpr TAlignmentVertical avTop = TAlignmentVertical::avTop;
inline constexpr TAlignmentVertical avCenter = TAlignmentVertical::avCenter;
inline constexpr TAlignmentVertical avBottom = TAlignmentVertical::avBottom;

enum class TTextStyle : uint8_t { tsNormal, tsRaised, tsRecessed, tsShadow };
inline constexpr TTextStyle tsNormal = TTextStyle::tsNormal;
inline constexpr TTextStyle tsRaised = TTextStyle::tsRaised;
inline constexpr TTextStyle tsRecessed = TTextStyle::tsRecessed;
inline constexpr TTextStyle tsShadow = TTextStyle::tsShadow;

enum class TOrientation : uint8_t { orHorizontal, orVertical };
inline constexpr TOrientation orHorizontal = TOrientation::orHorizontal;
inline constexpr TOrientation orVertical = TOrientation::orVertical;

enum class TKvGradientColorStyle : uint8_t { gcsSystem, gcsMSOffice, gcsCustom };
inline constexpr TKvGradientColorStyle gcsSystem = TKvGradientColorStyle::gcsSystem;
inline constexpr TKvGradientColorStyle gcsMSOffice = TKvGradientColorStyle::gcsMSOffice;
inline constexpr TKvGradientColorStyle gcsCustom = TKvGradientColorStyle::gcsCustom;

enum class TKvVisualStyle : uint8_t { vsClassic, vsWinXP, vsGradient };
inline constexpr TKvVisualStyle vsClassic = TKvVisualStyle::vsClassic;
inline constexpr TKvVisualStyle vsWinXP = TKvVisualStyle::vsWinXP;
inline constexpr TKvVisualStyle vsGradient = TKvVisualStyle::vsGradient;

enum class TKvHotTrackColorType : uint8_t { htctComplement, htctActual };
inline constexpr TKvHotTrackColorType htctComplement = TKvHotTrackColorType::htctComplement;
inline constexpr TKvHotTrackColorType htctActual = TKvHotTrackColorType::htctActual;

enum class TKvButtonHotTrackStyle : uint8_t { htsInterior, htsFrame };
inline constexpr TKvButtonHotTrackStyle htsInterior = TKvButtonHotTrackStyle::htsInterior;
inline constexpr TKvButtonHotTrackStyle htsFrame = TKvButtonHotTrackStyle::htsFrame;

// An integer of 1 or more (the track bar's TickStep).
using TPositiveInteger = int32_t;
using TPositionChangingEvent = std::function<void(TObject* Sender, int32_t NewPos, bool& AllowChange)>;

// ---- Library-wide colour state ----------------------------------------------------------------------

// The screen shows more than 256 colours; when false, painters use flat colours only.
extern bool KvFullColorDisplay;
// 0 blue, 1 olive, 2 silver.
extern uint8_t KvXPColorScheme;
// Runs the start-up measurement once (later calls do nothing); every painter's unit calls it.
void KvInitColorState();

// ---- Colour arithmetic (HSL on a 0..240 scale) --------------------------------------------------------

void KvRgbToHsl(TColor Color, uint8_t& H, uint8_t& S, uint8_t& L);
uint8_t KvHueOf(TColor Color);
TColor KvHslToRgb(uint8_t H, uint8_t S, uint8_t L);
TColor KvDarken(TColor Color, uint8_t Amount);
TColor KvLighten(TColor Color, uint8_t Amount);
TColor KvShiftLightness(TColor Color, int32_t Amount);
// Weight is A's share, 0..255.
TColor KvMixColors(TColor A, TColor B, uint8_t Weight);
bool KvColorsTooSimilar(TColor A, TColor B);
TColor KvComplementColor(TColor Color, uint8_t Lightness);

bool KvHasMoreThan256Colors();
uint8_t KvDetectXPColorScheme();
// The scheme a desktop colour name selects (compared in upper case).
uint8_t KvXPColorSchemeOfName(const std::string& ColorName);
// Where the desktop colour name comes from; empty when the desktop has none (the default here).
extern std::function<std::string()> KvReadXPColorNameHook;

void KvSelectionColors(TKvGradientColorStyle Style, TColor& Frame, TColor& Start, TColor& Stop);
void KvPanelGradientColors(TKvGradientColorStyle Style, TColor& Start, TColor& Stop);
void KvBarGradientColors(TKvGradientColorStyle Style, TColor& Stop, TColor& Start, TColor& Frame);
TColor KvXPThemeColor(uint8_t ElementKind);
