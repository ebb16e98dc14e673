#pragma once
// TQxCanvas draws shapes on a TCanvas either through the anti-aliased, semi-transparent drawing layer
// or, when that is unavailable or not wanted, through the canvas itself. TQxPen and TQxBrush mirror the
// canvas's pen and brush and add what the anti-aliased road can do beyond them.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/antialias.h"
#include "platform/graphics/canvas.h"

// ---- process-wide state of the anti-aliased drawing layer ----
// Switch on, library not loaded, use count 0.
void GdiPlusInitDefaults();
// Counts a user; the first one with the switch on loads the library.
void GdiPlusLoad();
// Uncounts a user; the last one unloads the library.
void GdiPlusUnload();
bool GdiPlusLoaded();
bool GdiPlusEnabled();
int32_t GdiPlusUseCount();
// Pretends the library is missing (false) or present (true), so that the fall-back road can be tested.
void GdiPlusSetLibraryAvailable(bool Available);

class TQxPen {
 public:
  explicit TQxPen(TPen* APen);
  ~TQxPen();
  TQxPen(const TQxPen&) = delete;
  TQxPen& operator=(const TQxPen&) = delete;

  // Deletes the anti-aliased pen and makes a new one from colour, width, style and line join.
  void RecreateGdiPlusPen();
  // The ARGB colour: alpha 0 for psClear, else the transparency.
  TARGB GdiPlusColor() const;

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  // 0 transparent .. 255 opaque.
  int32_t Transparency() const { return FTransparency; }
  void SetTransparency(int32_t Value);
  // Pixels; the wrapped pen gets it truncated.
  float Width() const { return FWidth; }
  void SetWidth(float Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);
  // 0 miter, 1 bevel, 2 round, 3 clipped miter.
  uint8_t LineJoin() const { return FLineJoin; }
  void SetLineJoin(uint8_t Value);
  // 0 flat, 1 round, 2 square ends.
  uint8_t LineCap() const { return FLineCap; }
  void SetLineCap(uint8_t Value);

  TPen* Pen() const { return FPen; }
  // The anti-aliased pen, or nil when the layer is not enabled.
  const TAAPen* GdiPlusPen() const { return FGdiPen.get(); }

 private:
  std::unique_ptr<TAAPen> FGdiPen;
  TPen* FPen;
  TColor FColor;
  int32_t FTransparency = 255;
  float FWidth;
  TPenStyle FStyle;
  TPenMode FMode;
  uint8_t FLineJoin = 2;
  uint8_t FLineCap = 0;
};

class TQxBrush {
 public:
  explicit TQxBrush(TBrush* ABrush);
  ~TQxBrush();
  TQxBrush(const TQxBrush&) = delete;
  TQxBrush& operator=(const TQxBrush&) = delete;

  void RecreateGdiPlusBrush();
  // The ARGB colour: alpha 0 for bsClear, else the transparency.
  TARGB GdiPlusColor() const;

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int32_t Transparency() const { return FTransparency; }
  void SetTransparency(int32_t Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  TColor HatchBackground() const { return FHatchBackground; }
  void SetHatchBackground(TColor Value);
  int32_t HatchBackgroundTransparency() const { return FHatchBackgroundTransparency; }
  void SetHatchBackgroundTransparency(int32_t Value);

  TBrush* Brush() const { return FBrush; }
  const TAABrush* GdiPlusBrush() const { return FGdiBrush.get(); }

 private:
  std::unique_ptr<TAABrush> FGdiBrush;
  TBrush* FBrush;
  TColor FColor;
  int32_t FTransparency = 255;
  TColor FHatchBackground = 0;
  int32_t FHatchBackgroundTransparency = 0;
  TBrushStyle FStyle;
};

class TQxCanvas {
 public:
  // UseGdiPlus asks for the anti-aliased road; it is taken only when the layer is enabled. Raises
  // Exception when the drawing surface cannot be had.
  TQxCanvas(TCanvas* ACanvas, bool AntiAlias, bool UseGdiPlus);
  ~TQxCanvas();
  TQxCanvas(const TQxCanvas&) = delete;
  TQxCanvas& operator=(const TQxCanvas&) = delete;

  bool UseGdiPlus() const { return FUseGdiPlus; }
  // 1..5: smoothing mode Value - 1 of the anti-aliased road (5 anti-alias, 2 high speed).
  void SetSmoothingMode(int32_t Value);
  TCanvas* Canvas() const { return FCanvas; }
  HDC GetHandle() const { return FCanvas; }
  TFont* GetFont() const { return FCanvas->Font(); }
  TQxPen* Pen() const { return FPen.get(); }
  TQxBrush* Brush() const { return FBrush.get(); }
  TAAGraphics* Graphics() const { return FGraphics.get(); }

  void MoveTo(int32_t X, int32_t Y);
  TPoint PenPos() const { return TPoint(FX, FY); }
  void SetPenPos(const TPoint& Value);
  void LineTo(int32_t X, int32_t Y);
  void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void FillRect(const TRect& Rect);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void RectangleRect(const TRect& Rect) { Rectangle(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void EllipseRect(const TRect& Rect) { Ellipse(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom); }
  // High is the index of the last point.
  void Polygon(const TPoint* Points, int32_t High);
  void Polyline(const TPoint* Points, int32_t High);
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t W, int32_t H);
  int32_t TextWidth(const std::string& Text) { return FCanvas->TextWidth(Text); }
  int32_t TextHeight(const std::string& Text) { return FCanvas->TextHeight(Text); }
  void TextOut(int32_t X, int32_t Y, const std::string& Text) { FCanvas->TextOut(X, Y, Text); }
  void TextRect(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text) { FCanvas->TextRect(Rect, X, Y, Text); }
  // The text clipped to Rect with the canvas's text flags.
  void ClippedTextOut(const TRect& Rect, int32_t X, int32_t Y, const std::string& Text);

 private:
  std::unique_ptr<TAAGraphics> FGraphics;
  TCanvas* FCanvas;
  std::unique_ptr<TQxPen> FPen;
  int32_t FX = 0, FY = 0;
  std::unique_ptr<TQxBrush> FBrush;
  bool FUseGdiPlus = false;
};

// ---- preset images ----
struct TQxPresetImage {
  int32_t DataSize = 0;
  const uint8_t* Data = nullptr;
  int32_t FileFormat = 0;  // the registry id of the format (PNG)
  TRect Rect;              // the interesting part of the image
};

// Creates the list of the four built-in PNG images (a start-up step); a second call keeps the list.
void PresetImagesInit();
// Frees them (an end step).
void PresetImagesFree();
// The list, empty before PresetImagesInit.
const std::vector<std::unique_ptr<TQxPresetImage>>& PresetImages();
