#pragma once
// Bitmap operations of the themed controls besides frames: blits with one colour transparent,
// two-colour gradients in ten shapes, and a parent's image painted under a transparent control.

#include <cstdint>

#include "controls/kv_colors.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"

// The Source part of Bitmap stretched into Dest; pixels of Transparent leave the canvas unchanged.
void KvBlitTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Dest, const TRect& Source, TColor Transparent);
// The same result through an AND mask and an OR copy.
void KvBlitTransparentMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Dest, const TRect& Source,
                             TColor Transparent);
// Bitmap repeated over R from its top-left; the last row and column of tiles are clipped.
void KvTileTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, TColor Transparent);
// The whole bitmap stretched into R.
void KvStretchTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, TColor Transparent);

// Fills R with a gradient from Start to Stop in one of ten shapes. Bands is the number of colour
// steps one band spans at least (every control passes 1: a band per colour).
void KvDrawGradient(TCanvas* Canvas, const TRect& R, TGradientDirection Direction, TColor Start, TColor Stop,
                    uint8_t Bands = 1);

// Paints the part of Control's parent that lies under Control onto DC (Control's client
// coordinates). InvalidateParent also invalidates a parent that is neither a custom control nor a form.
void KvPaintParentBackgroundDC(TControl* Control, HDC DC, bool InvalidateParent);
void KvPaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent);
