#pragma once
// Colour conversions shared by the codecs: single CMYK/RGB pixels and whole rows between pixel layouts.

#include <cstdint>

#include "imaging/foundation/types.h"

class TIOParamsVals;
class TQxICC;

// Converts Count pixels of one layout into another, colour-managed through Params' profiles when allowed.
using TQxColorRowConverter = void (*)(const void* Src, TQxColorLayout SrcLayout, void* Dest,
                                      TQxColorLayout DestLayout, int32_t Count, TIOParamsVals* Params);

// The row converter codecs call; QxConvertColorRow unless replaced.
extern TQxColorRowConverter QxColorRowConverter;
// Decoded rows are converted from the file's profile when set (off at start).
extern bool QxColorManagement;
// Single CMYK pixels go through the CMYK profile when one is prepared (on at start).
extern bool QxUseCMYKProfile;

// The CMYK profile: the system's installed CMYK printer profile (the one the PostScript interpreter's
// package ships) on first need, or the one given here. Returns true when the profile opened and both
// transforms were built. Without any, the conversions use arithmetic.
bool QxSetCMYKProfile(const void* Data, int32_t Length);
// True when the CMYK and sRGB profiles are prepared and usable; the first call prepares them.
bool QxInitCMYKProfiles();
// Frees the shared profiles (library shutdown).
void QxFreeCMYKProfiles();

TQxRGB QxCMYK2RGB(TQxCMYK Color);
TQxCMYK QxRGB2CMYK(TQxRGB Color);

// The source is never written to, whatever the layout.
void QxConvertColorRow(const void* Src, TQxColorLayout SrcLayout, void* Dest, TQxColorLayout DestLayout,
                       int32_t Count, TIOParamsVals* Params);
