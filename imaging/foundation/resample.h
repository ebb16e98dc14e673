// Changing the size of a picture: separable kernels (the horizontal pass spread over threads), a fast
// linear stretch, area-weighted interpolation and two projections that keep thin lines of line art.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"

class TQxBitmap;

using TQxResampleKernel = double (*)(double X);

struct TQxResampleKernelInfo {
  TQxResampleKernel Kernel;
  double Support;
};

double QxSinc(double X);
double QxKernelTriangle(double X);
double QxKernelHermite(double X);
double QxKernelBell(double X);
double QxKernelBSpline(double X);
double QxKernelLanczos3(double X);
double QxKernelMitchell(double X);
double QxKernelNearest(double X);
double QxKernelLinear(double X);

// Indexed by the filter value 1..8 (entry 0 unused).
extern const TQxResampleKernelInfo QxResampleKernels[9];

// Resamples Source into Dest at Dest's current size. Dest's format is set as the filter needs.
void QxResample(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter, TObject* Sender = nullptr,
                const TQxProgressEvent& OnProgress = {});
// The two-pass kernel resampler of a qx24RGB source with an explicit band count (0 = one per core).
void QxResampleKernel24(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                        const TQxProgressEvent& OnProgress, int32_t ThreadCount);
// Keeps the kernel resampler on its plain integer loops (the vector loops give the same bytes).
extern bool QxResampleForceScalar;
// One byte per pixel (qx8g images and alpha planes); Dest is an 8-bit bitmap of the target size.
void QxResampleGray8(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter);
// qx1g source; Dest qx24RGB, or qx1g for the projection filters.
void QxResample1Bit(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter);
void QxResampleFastLinear(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender = nullptr,
                          const TQxProgressEvent& OnProgress = {});
void QxStretchGray8(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender = nullptr,
                    const TQxProgressEvent& OnProgress = {});
void QxStretch1BitToGray(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender = nullptr,
                         const TQxProgressEvent& OnProgress = {});
// Area average of the inclusive rectangle of a qx1g source into the whole qx24RGB Dest.
void QxResample1BitToGray(TQxBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TQxBitmap* Dest);
TQxBitmap* QxProjectBits(TQxBitmap* Source, TQxBitmap* Dest, bool KeepWhite, TObject* Sender = nullptr,
                         const TQxProgressEvent& OnProgress = {});
TQxBitmap* QxProjectRGB(TQxBitmap* Source, TQxBitmap* Dest, bool KeepWhite, TObject* Sender = nullptr,
                        const TQxProgressEvent& OnProgress = {});
void QxResampleInterp8(TQxBitmap* Source, TQxBitmap* Dest, bool Cubic, TObject* Sender = nullptr,
                       const TQxProgressEvent& OnProgress = {});
void QxResampleInterp16(TQxBitmap* Source, TQxBitmap* Dest, bool Cubic, TObject* Sender = nullptr,
                        const TQxProgressEvent& OnProgress = {});
double QxCubicKeys(double P0, double P1, double P2, double Max, double Min, double P3, double T);
