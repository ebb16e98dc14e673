// Regions for the transitions: many rectangles gathered into one region at once, and decorative shapes
// (stars, arrows, bolts, explosions, a cross, a heart) fitted into a rectangle.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/region.h"
#include "platform/ui/component.h"

// Collects rectangles and makes one region of them in a single call.
class TComplexRegion : public TObject {
 public:
  TComplexRegion() { Clear(); }
  std::string ClassName() const override { return "TComplexRegion"; }

  void Clear();
  // Appends the rectangle as given (empty ones included) and widens Bounds.
  void AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
  // Nil when no rectangle was ever added, else a region covering every rectangle; the list stays.
  std::optional<TRegion> CreateHRGN() const;

  int32_t Count() const { return static_cast<int32_t>(FRects.size()); }
  int32_t Capacity() const { return FCapacity; }
  const TRect& Bounds() const { return FBounds; }
  const std::vector<TRect>& Rects() const { return FRects; }

 private:
  std::vector<TRect> FRects;
  int32_t FCapacity = 0;
  TRect FBounds;
};

enum class TQxShapeKind : uint8_t {
  qxskStar5 = 0,
  qxskStar6 = 1,
  qxskArrowTopLeft = 2,
  qxskArrowTopRight = 3,
  qxskArrowBottomLeft = 4,
  qxskArrowBottomRight = 5,
  qxskLightning = 6,
  qxskLightningMirrored = 7,
  qxskExplosion = 8,
  qxskExplosionRotated = 9,
  qxskCross = 10,
  qxskFeatheredArrowTopLeft = 11,
  qxskFeatheredArrowTopRight = 12,
  qxskFeatheredArrowBottomLeft = 13,
  qxskFeatheredArrowBottomRight = 14,
  qxskHeart = 15,
};

// The region of shape Kind (its top bit ignored) fitted into the rectangle; nil for kinds above 15.
std::optional<TRegion> QxShapeRegion(uint8_t Kind, const TRect& Rect);
std::optional<TRegion> QxShapeRegionXYWH(uint8_t Kind, int32_t Left, int32_t Top, int32_t Width, int32_t Height);
