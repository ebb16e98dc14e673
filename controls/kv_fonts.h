#pragma once
// The one way the controls and the menu library make a font turned by an angle.

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/graphics/canvas.h"

// A new font like Font, turned by AngleDegrees counter-clockwise (escapement in tenths of a degree).
// The character set is the font's own unless one is given (the menu library asks for the default set).
// Weight, slant, underline, strike-out, face and pitch follow Font; quality and precision are defaults.
std::unique_ptr<TFont> KvCreateRotatedFont(const TFont& Font, int32_t AngleDegrees,
                                           std::optional<uint8_t> Charset = std::nullopt);

// True when the font is drawn from outlines (TrueType or OpenType), not from a bitmap face.
bool KvFontIsTrueType(const TFont& Font);
// The font's text height plus 2: the least height of a one-line edit in that font.
int32_t KvFontLineHeight(const TFont& Font);
