// Colour routines of the processing library: gray, fills, transparency, quantizing in place, black and
// white, average colour, two-colour test, palette lookup, channel remapping, histogram matching, rounded
// alpha corners and the HSL conversions. Packed colours are red * 65536 + green * 256 + blue.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/foundation/types.h"

class TQxBitmap;

void QxGrayRect(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                const TQxProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void QxFillRectRGB(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t Color,
                   const TQxProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
void QxSetAlphaRange(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint32_t MinColor,
                     uint32_t MaxColor, int32_t Alpha, const TQxProgressEvent& OnProgress = {},
                     TObject* Sender = nullptr);
void QxQuantizeInPlace(TQxBitmap* Bitmap, int32_t Colors, TQxRGB* Palette, TObject* Sender = nullptr,
                       const TQxProgressEvent& OnProgress = {});
void QxOrderedDitherBW(TQxBitmap* Bitmap, TQxProgressInfo& Progress);
void QxThresholdBW(TQxBitmap* Bitmap, int32_t Threshold, TQxProgressInfo& Progress);
void QxAverageColor(TQxBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);
std::unique_ptr<TQxBitmap> QxTwoColorBitmap(TQxBitmap* Bitmap, TQxRGB& Color1, TQxRGB& Color2);
int32_t QxNearestPaletteIndex(const TQxRGB* Palette, int32_t Count, uint32_t Color);
void QxFillTransparent(TQxBitmap* Bitmap, uint32_t Color);
void QxRemapChannels(TQxBitmap* Bitmap, const std::string& Code, TObject* Sender = nullptr,
                     const TQxProgressEvent& OnProgress = {});
void QxMatchHistogram(TQxBitmap* Reference, TQxBitmap* Target);
void QxMatchChannel(TQxBitmap* Target, int32_t Channel, const int32_t* Histogram, int32_t Count);
void QxRoundAlphaCorners(TQxBitmap* Bitmap, int32_t RX, int32_t RY);
void QxRGBToHSL(double& Hue, double& Saturation, double& Lightness, uint32_t Color);
TQxRGB QxHSLToRGB(double Hue, double Saturation, double Lightness);
double QxHueToRGB(double T, double Q, double P);
inline uint32_t QxPackRGB(TQxRGB C) { return uint32_t(C.r) << 16 | uint32_t(C.g) << 8 | C.b; }
inline TQxRGB QxUnpackRGB(uint32_t C) { return TQxRGB{uint8_t(C), uint8_t(C >> 8), uint8_t(C >> 16)}; }
