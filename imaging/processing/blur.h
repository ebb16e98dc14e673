// Separable Gaussian blur with integer weights, and soft shadows built on it.
#pragma once

#include <cstdint>

#include "imaging/foundation/types.h"

class TQxBitmap;
class TObject;

// Taps and weights for offsets -100..100; weights on the scale 65536 = 1.0.
struct TQxGaussKernel {
  uint8_t Radius = 1;
  double Taps[201];
  int32_t Weights[201];
};

void QxGaussKernel(TQxGaussKernel& Kernel, double Sigma);
void QxBlurRow8(const TQxGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t Count);
void QxBlurRow24(const TQxGaussKernel& Kernel, const uint8_t* Source, uint8_t* Dest, int32_t Count);
void QxBlurBitmap(TQxBitmap* Bitmap, TObject* Sender, double Radius, const TQxProgressEvent& OnProgress = {});
// Inclusive rectangle of a qx8g bitmap; pixels outside it neither change nor contribute.
void QxBlurRect8(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius);
// ShadowColour packed as red << 16 | green << 8 | blue.
void QxSoftShadow(TQxBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                  bool Enlarge, uint32_t ShadowColour, const TQxProgressEvent& OnProgress = {},
                  TObject* Sender = nullptr);
// Returns the margin the shadow needs around the object rectangle.
int32_t QxObjectSoftShadow(TQxBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                           uint32_t ShadowColour, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
