#pragma once
// Text helpers the themed controls share: drawing a caption in one colour and measuring with a font
// outside of any paint.

#include <cstdint>
#include <string>

#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"

// DrawText on C in Color with a clear background; returns the height DrawText reports.
// The DT_ flag of a horizontal alignment.
uint32_t KvAlignmentFlag(TAlignment A);
int32_t KvDrawTextColored(TCanvas* C, const std::string& Text, TRect R, uint32_t Flags, TColor Color);
// The extent of Text in Font on a scratch canvas (screen metrics).
TSize KvTextExtentOf(const TFont& Font, const std::string& Text);
// DT_CALCRECT of Text in Font over R with Flags; R receives the measured rectangle.
int32_t KvCalcTextRect(const TFont& Font, const std::string& Text, TRect& R, uint32_t Flags);
