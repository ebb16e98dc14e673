#pragma once
// Reflection work done in one pass over a picture's rows. Each operation gives what the plain steps give
// one after another (copy, flip, gray, wave, transparency ramp, blend onto a colour, canvas enlargement),
// with fewer passes, and with rows lent from the picture or shared where they stay as they are. Each
// returns False, having written nothing the plain steps depend on, when it does not apply (formats,
// sizes, rows kept in a file; a bitmap never allocated counts as kept in a file): the caller then runs
// the plain steps.

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/graphics/color.h"

class TQxBitmap;

// What QxMirrorInto writes: the colours (as gray when Gray is set) and the alpha channel. Without Alpha
// the destination's alpha channel is left as it stands.
struct TQxMirrorParts {
  bool Colour = true;
  bool Alpha = true;
  bool Gray = false;
};

// Dst := Src mirrored left to right (Horizontal) or top to bottom, 24-bit only. A destination of another
// size or format is sized first without being filled: every pixel is written.
bool QxMirrorInto(TQxBitmap* Src, TQxBitmap* Dst, bool Horizontal, const TQxMirrorParts& Parts = {});

// Dst's colours := Src's rows in reverse order, lent where they lie rather than copied (a top or bottom
// mirror of a 24-bit picture whose rows can be lent). Dst's alpha channel is left as it stands.
bool QxLendMirroredRows(TQxBitmap* Src, TQxBitmap* Dst);

// The mirror and the wave in one pass: the wave reads Src's rows in mirrored order where they stand, so
// the mirror is never copied. With Alpha the alpha channel is mirrored too.
bool QxMirroredWaveInto(TQxBitmap* Src, TQxBitmap* Dst, bool Horizontal, int32_t Amplitude, int32_t WaveLength,
                        int32_t Phase, bool Alpha);

// How much a linear transparency ramp takes off each of N lines' alpha, in line order (255 clears the
// line): from StartOpacity at the picture's edge towards EndOpacity over SizePercent of the lines.
// FromFar: the edge is line N - 1 (left and top reflections), else line 0.
std::vector<uint8_t> QxRampCuts(int32_t N, int32_t StartOpacity, int32_t EndOpacity, bool FromFar,
                                int32_t SizePercent);

// Lowers every alpha value by its line's cut: a row's for rows, a column's with ByColumn. True when a value
// below 255 was written.
bool QxLowerAlphaByCuts(TQxBitmap* Alpha, const std::vector<uint8_t>& Cut, bool ByColumn);

// Dst's alpha channel := Src's alpha channel mirrored and lowered by the cuts (per column when
// Horizontal), Dst's colours left as they are. Rows the cuts leave as they are borrow Src's alpha rows,
// cleared rows share one clear row, and rows of one value (Src without an alpha channel) share one row.
// The channel's Opaque flag is Src's, cleared when a value below 255 was written or MarkTransparent.
// RowDone, when given, runs for each row once its alpha is in, on the thread that wrote it.
bool QxMirroredFadeInto(TQxBitmap* Src, TQxBitmap* Dst, const std::vector<uint8_t>& Cut, bool Horizontal,
                        bool MarkTransparent, const std::function<void(int32_t)>& RowDone = nullptr);

// The mirror (in gray with Gray), its fade by the cuts and the blend onto Background in one pass: what
// QxMirrorInto, QxMirroredFadeInto and QxBlendOntoColor give in turn. Src's alpha channel is not changed.
bool QxBlendedMirrorInto(TQxBitmap* Src, TQxBitmap* Dst, const std::vector<uint8_t>& Cut, bool Horizontal, bool Gray,
                         TColor Background, bool MarkTransparent);

// Dst := a canvas of NW x NH of the colour Fill, fully transparent, with Src (24-bit) copied at (OX, OY)
// with its alpha channel (opaque without one): what a copy of Src and a canvas enlargement give. With
// Onto (blue, green, red) the picture is blended onto that colour in the same pass, as a blend of the
// result would (the new area, clear, should then be filled with that colour). A canvas that grows only
// in height takes Src's rows as they are, lent. The canvas must not be smaller than Src.
bool QxPlaceOnCanvas(TQxBitmap* Src, TQxBitmap* Dst, int32_t NW, int32_t NH, int32_t OX, int32_t OY,
                     const uint8_t Fill[3], const uint8_t* Onto);

// Blends a 24-bit bitmap onto a solid colour by its alpha channel; other bitmaps are left as they are.
void QxBlendOntoColor(TQxBitmap* Bitmap, TColor Color);
