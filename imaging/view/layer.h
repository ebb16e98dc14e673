#pragma once
// One layer of a TQuillotView: its bitmap, placement over the base layer, display size, visibility,
// opacity, blend operation and optional rotation.

#include <array>
#include <cstdint>
#include <string>

#include "imaging/foundation/types.h"
#include "platform/base/types.h"
#include "platform/graphics/color.h"

class TQxBitmap;
class TBitmap;
class TQuillotView;
class TStream;

enum class TQxLayerEvent : uint8_t {
  qxlSelected,
  qxlMoved,
  qxlResized,
  qxlMoving,
  qxlResizing,
  qxlRotating,
  qxlRotated,
  qxlBeginResizing,
  qxlBeginMoving,
};

// Where the composer last drew a layer: screen rectangle (client pixels) and the source rectangle of the
// layer bitmap that went there.
struct TQxLayerScreenMap {
  int32_t X = 0, Y = 0, W = 0, H = 0;
  int32_t SrcX = 0, SrcY = 0, SrcW = 0, SrcH = 0;
  friend bool operator==(const TQxLayerScreenMap&, const TQxLayerScreenMap&) = default;
};

// Magnifier settings of a layer.
struct TQxLayerAux {
  uint8_t Flag = 0;
  double Rate = 2.0;
  uint8_t Style = 0;   // 0 rectangular, 1 round
  uint8_t Source = 1;  // 0 layer 0's bitmap, 1 the picture composed so far
};

using TQxLayerId = std::array<uint8_t, 16>;

class TQxLayer {
 public:
  // CreateForView. With Wrap the given bitmap becomes the layer's; otherwise a new bitmap of the given
  // one's size, format and storage (contents not copied), or an empty one when Bitmap is null.
  TQxLayer(TQuillotView* AView, TQxBitmap* ABitmap, bool Wrap);
  ~TQxLayer();
  TQxLayer(const TQxLayer&) = delete;
  TQxLayer& operator=(const TQxLayer&) = delete;

  int32_t Width = 0;   // display width in base pixels; 0 = the bitmap's width
  int32_t Height = 0;  // display height; 0 = the bitmap's height
  double RotationAngle = 0.0;
  TQxBitmap* MaskCache = nullptr;  // owned
  TQuillotView* View = nullptr;
  TQxBitmap* Bitmap = nullptr;  // owned when OwnsBitmap
  // The platform bitmap that holds Bitmap's pixels when the layer (or its view) made one; freed with
  // the bitmap.
  TBitmap* OwnedTBitmap = nullptr;
  bool Visible = true;
  bool ShowBox = true;
  int32_t Opacity = 255;
  int32_t PosX = 0, PosY = 0;
  TRect DrawnRect;
  bool ClipToBase = false;
  bool Locked = false;
  bool Selectable = true;
  TQxLayerAux Aux;
  TQxBlendOperation BlendOperation = 0;
  void* UserData = nullptr;
  int32_t UserDataLen = 0;  // the layer frees UserData (with std::free) only when above 0
  bool OwnsBitmap = true;
  TResampleFilter ResampleFilter = TResampleFilter::rfNone;
  bool UseResampleFilter = false;
  std::string Name;
  bool IsMask = false;
  TQxLayerScreenMap ScreenMap;
  TPoint Outline[4];
  bool DimOutside = false;
  TQxLayerId LayerId{};
  double RotationCenterX = 0.5, RotationCenterY = 0.5;

  void ResetProperties();
  void CopyPropertiesFrom(TQxLayer* Other);
  void SetRotationAngle(double Angle);
  int32_t DisplayWidth() const;
  int32_t DisplayHeight() const;

  int32_t ClientToLayerX(int32_t X) const;
  int32_t ClientToLayerY(int32_t Y) const;
  int32_t LayerToClientX(int32_t X) const;
  int32_t LayerToClientY(int32_t Y) const;

  void WriteToStream(TStream* Stream, bool WithBitmap) const;
  // Fills this layer from a record written by WriteToStream; raises EReadError on a short or
  // inconsistent record.
  void ReadFromStream(TStream* Stream);

  // Drops the cached mask alpha.
  void FreeMaskCache();
};

// A fresh random identifier.
TQxLayerId QxNewLayerId();

// Blends Layer2 over Layer1 (through MaskLayer when given) into Destination. Layers must be qx24RGB or qx1g.
void QxMergeLayers(TQxLayer* Layer1, TQxLayer* Layer2, TQxLayer* MaskLayer, TQxBitmap* Destination,
                   TResampleFilter Filter, TColor BackgroundColor, bool Union);
