#pragma once
// A soft shadow under a drawn thing: the vector objects' shadows and the thumbnail view's share it.
#include <cstdint>

#include "imaging/foundation/types.h"

struct TQxVSoftShadow {
  bool Enabled = false;
  double Radius = 3.0;
  int32_t OffsetX = 0, OffsetY = 0;
  int32_t Intensity = 100;
  TQxRGB ShadowColor{0, 0, 0};
};
