#pragma once
// One vector object of TQuillotVect and what it is made of: kinds, flags, the logical font it keeps, its
// soft shadow and the base class of custom objects. Records live in the view's growing array and are
// addressed by index; nothing keeps a pointer to a record across an append.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/foundation/soft_shadow.h"
#include "imaging/foundation/types.h"
#include "imaging/vector/text_control.h"
#include "platform/base/types.h"
#include "platform/graphics/canvas.h"

class TQuillotVect;
class TStream;
class TBitmap;

enum class TQxVObjectKind : uint8_t {
  qvkNone = 0,
  qvkLine,
  qvkBox,
  qvkEllipse,
  qvkArc,
  qvkBitmap,
  qvkText,
  qvkRuler,
  qvkPolyline,
  qvkAngle,
  qvkMemo,
  qvkLabelledLine,
  qvkCustom,
};

// Bits of the flags byte.
inline constexpr uint8_t qvoSelectable = 1, qvoMovable = 2, qvoSizeable = 4, qvoVisible = 8;

enum class TQxUnits : uint8_t {
  qxuPIXELS,
  qxuINCHES,
  qxuKM,
  qxuMETERS,
  qxuCENTIMETERS,
  qxuMILLIMETERS,
  qxuMICRONS,
  qxuNANOMETERS,
  qxuFEET,
  qxuYARDS,
  qxuMILES,
};
inline constexpr int QxUnitCount = 11;
// "pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers", "feet", "yards", "miles".
const char* QxUnitName(TQxUnits Unit);

// The 60-byte logical font an object keeps; the face is UTF-8 here and in the code page of its character
// set in the stored 60 bytes.
struct TQxLogFont {
  int32_t Height = 0, Width = 0, Escapement = 0, Orientation = 0, Weight = 400;
  uint8_t Italic = 0, Underline = 0, StrikeOut = 0, CharSet = 1, OutPrecision = 0, ClipPrecision = 0,
          Quality = 0, PitchAndFamily = 0;
  std::string FaceName;
  bool operator==(const TQxLogFont&) const = default;
};
inline constexpr int QxLogFontSize = 60;
void QxLogFontToBytes(const TQxLogFont& F, uint8_t Out[QxLogFontSize]);
TQxLogFont QxLogFontFromBytes(const uint8_t In[QxLogFontSize]);
// The code page of a font's character set: Greek 1253, Russian 1251, otherwise 1252.
uint32_t QxCodePageOfCharset(uint8_t Charset);
// Bold from weight 700.
TFontStyles QxLogFontStyles(const TQxLogFont& F);
TQxLogFont QxLogFontOf(const TFont& Font);
// The logical font into a canvas font (colour left alone).
void QxApplyLogFont(const TQxLogFont& F, TFont& Font);
// Font-quality table: index 0..6 -> logical-font quality (4, 5, 6, 0, 1, 3, 2).
uint8_t QxFontQualityOf(uint8_t TextQuality);

struct TQxDPoint {
  double X = 0, Y = 0;
  bool operator==(const TQxDPoint&) const = default;
};

// An object drawn and driven by a program's own class, registered by name.
class TQxVCustomObject {
 public:
  TQxVCustomObject() = default;
  virtual ~TQxVCustomObject() = default;
  TQuillotVect* Owner = nullptr;
  int32_t Handle = -1;
  bool Flag = false;

  virtual void Created() {}
  virtual void Reserved() {}
  virtual void SetHandle(int32_t AHandle) { Handle = AHandle; }
  virtual void SaveToStream(TStream& Stream) {}
  // False when the stored data cannot be read back.
  virtual bool LoadFromStream(TStream& Stream) { return true; }
  virtual std::unique_ptr<TQxVCustomObject> Clone() = 0;
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {}
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {}
  virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y) {}
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}
  virtual void KeyDown(uint16_t Key, TShiftState Shift) {}
  virtual void Paint(TBitmap* Dest, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double ZoomX, double ZoomY,
                     bool AlphaPass) {}
};
using TQxVCustomObjectFactory = std::function<std::unique_ptr<TQxVCustomObject>()>;
// Registers a class under Name; a second registration of the same name replaces the first.
void QxRegisterCustomObjectClass(const std::string& Name, TQxVCustomObjectFactory Factory);
std::unique_ptr<TQxVCustomObject> QxCreateCustomObject(const std::string& Name);
// The name the instance's class was registered with (found through a clone's type), empty when none.
std::string QxCustomObjectClassName(const TQxVCustomObject& Instance);
void QxFreeCustomObjectClasses();

struct TQxVObject {
  int32_t x1 = 0, y1 = 0, x2 = 63, y2 = 63;
  TQxVObjectKind Kind = TQxVObjectKind::qvkNone;
  int32_t Transparency = 255;
  void* UserData = nullptr;            // caller's block, not owned
  std::vector<uint8_t> OwnedUserData;  // a block the record owns (read from a stream, or given a length)
  int32_t UserDataLength = 0;
  bool KeepAspect = false;
  uint8_t BlendOperation = 0;
  uint8_t StartShape = 0, EndShape = 0;
  int32_t EndShapeWidth = 10, EndShapeLength = 20;
  TColor LabelColor = 0xFFFFFF;
  TBrushStyle LabelBrushStyle = TBrushStyle::bsSolid;
  uint8_t LabelAtEnd = 1;
  uint8_t LabelFrame = 1;
  TRect LabelBox{0, 0, 0, 0};
  TColor PenColor = 0;
  TPenStyle PenStyle = TPenStyle::psSolid;
  int32_t PenWidth = 1;
  TColor BrushColor = 0xFFFFFF;
  TBrushStyle BrushStyle = TBrushStyle::bsClear;
  bool Highlight = false;
  double StartAngle = 0, EndAngle = 6.283185307179586;
  int32_t BitmapIndex = -1;
  bool BitmapFrame = false;
  std::optional<std::string> Text;  // UTF-8; a memo's text is the editor's 8-bit text
  std::optional<TQxLogFont> Font;
  uint8_t TextQuality = 0;
  uint8_t TextAlign = 0;
  bool AutoSize = false;
  bool UniformFormat = true;
  std::vector<TQxDPoint> TextPath;
  int32_t CharAngle = -10;
  bool Editable = true;
  std::optional<std::vector<int32_t>> CharFormatIndexes;
  std::optional<std::vector<TQxCharFormat>> CharFormats;
  int32_t LineSpacing = 0;
  TColor MemoFrameColor = 0xFFFFFF;
  TPenStyle MemoFrameStyle = TPenStyle::psSolid;
  int32_t FixedCharHeight = 0;
  bool MemoBitmap = false;
  double MemoMargins[4] = {0, 0, 0, 0};
  TBrushStyle CharBackStyle = TBrushStyle::bsSolid;
  std::optional<std::string> Name;
  int32_t Tag = 0;
  uint8_t Flags = 15;
  TQxUnits RulerUnit = TQxUnits::qxuPIXELS;
  uint8_t RulerStyle = 2;
  std::vector<TPoint> Points;  // polyline points in their stored coordinates
  TRect PointBounds{0, 0, 0, 0};
  bool Closed = false;
  std::vector<TPoint> ScreenPoints;  // output points of the last drawing
  TPoint AnglePoints[3] = {{0, 0}, {50, 0}, {50, 50}};
  TRect EditStartRect{0, 0, 0, 0};
  TRect DrawnExtent{0, 0, 0, 0};
  int32_t DrawnMargin = 0;
  TQxVSoftShadow SoftShadow;
  std::unique_ptr<TQxVCustomObject> Custom;

  const void* UserDataPtr() const { return OwnedUserData.empty() ? UserData : OwnedUserData.data(); }
};

inline constexpr int32_t QxAngleUnset = -1000000;
