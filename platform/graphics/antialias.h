#pragma once
// Anti-aliased, semi-transparent drawing on a canvas's bitmap (cairo underneath), in the manner of a
// retained graphics object: pens and brushes with ARGB colours, float coordinates, paths, a world
// transform. Pixels outside the canvas's clip region are left alone; the viewport origin applies.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/color.h"

class TCanvas;

using TARGB = uint32_t;  // alpha in the top byte, then red, green, blue
constexpr TARGB MakeARGB(uint8_t A, uint8_t R, uint8_t G, uint8_t B) {
  return (static_cast<TARGB>(A) << 24) | (static_cast<TARGB>(R) << 16) | (static_cast<TARGB>(G) << 8) | B;
}
// A TColor (system colours resolved) with the given alpha.
TARGB ColorToARGB(TColor Color, uint8_t Alpha);

// Smoothing modes: 0 default, 1 high speed, 2 high quality, 3 none, 4 anti-alias.
constexpr int AASmoothingDefault = 0, AASmoothingHighSpeed = 1, AASmoothingHighQuality = 2, AASmoothingNone = 3,
              AASmoothingAntiAlias = 4;
// Dash styles: solid, dash, dot, dash-dot, dash-dot-dot.
constexpr int AADashSolid = 0, AADashDash = 1, AADashDot = 2, AADashDashDot = 3, AADashDashDotDot = 4;
// Line joins: miter, bevel, round, clipped miter.
constexpr int AAJoinMiter = 0, AAJoinBevel = 1, AAJoinRound = 2, AAJoinMiterClipped = 3;
// Line caps: flat, round, square.
constexpr int AACapFlat = 0, AACapRound = 1, AACapSquare = 2;
// Hatch styles: horizontal, vertical, forward diagonal, backward diagonal, cross, diagonal cross.
constexpr int AAHatchHorizontal = 0, AAHatchVertical = 1, AAHatchForwardDiagonal = 2, AAHatchBackwardDiagonal = 3,
              AAHatchCross = 4, AAHatchDiagonalCross = 5;

struct TAAPen {
  TARGB Color = 0xFF000000;
  float Width = 1.0f;
  int DashStyle = AADashSolid;
  int LineJoin = AAJoinMiter;
  int LineCap = AACapFlat;
};

struct TAABrush {
  TARGB Color = 0xFFFFFFFF;
  bool Hatched = false;
  int HatchStyle = AAHatchHorizontal;
  TARGB HatchBack = 0;
};

class TAAPath {
 public:
  // Adds an elliptical arc of the box (X, Y, W, H) from Start by Sweep degrees (clockwise on screen).
  void AddArc(float X, float Y, float W, float H, float Start, float Sweep);
  void AddLine(float X1, float Y1, float X2, float Y2);
  void CloseFigure();

 private:
  friend class TAAGraphics;
  struct Item {
    int Kind;  // 0 arc, 1 line, 2 close
    float A[6];
  };
  std::vector<Item> FItems;
};

// The 2 x 3 matrix of the world transform: (x, y) -> (M11 x + M21 y + DX, M12 x + M22 y + DY).
struct TAAMatrix {
  float M11 = 1, M12 = 0, M21 = 0, M22 = 1, DX = 0, DY = 0;
};

class TAAGraphics {
 public:
  explicit TAAGraphics(TCanvas* Canvas);
  ~TAAGraphics();
  TAAGraphics(const TAAGraphics&) = delete;
  TAAGraphics& operator=(const TAAGraphics&) = delete;

  TCanvas* Canvas() const { return FCanvas; }
  int SmoothingMode() const { return FSmoothing; }
  void SetSmoothingMode(int Mode) { FSmoothing = Mode; }

  void DrawLine(const TAAPen& Pen, float X1, float Y1, float X2, float Y2);
  void DrawLines(const TAAPen& Pen, const TPoint* Points, int Count);
  void DrawRectangle(const TAAPen& Pen, float X, float Y, float W, float H);
  void FillRectangle(const TAABrush& Brush, float X, float Y, float W, float H);
  void DrawEllipse(const TAAPen& Pen, float X, float Y, float W, float H);
  void FillEllipse(const TAABrush& Brush, float X, float Y, float W, float H);
  void DrawPolygon(const TAAPen& Pen, const TPoint* Points, int Count);
  // FillMode ALTERNATE or WINDING.
  void FillPolygon(const TAABrush& Brush, const TPoint* Points, int Count, int FillMode);
  void DrawArc(const TAAPen& Pen, float X, float Y, float W, float H, float Start, float Sweep);
  void DrawPath(const TAAPen& Pen, const TAAPath& Path);
  void FillPath(const TAABrush& Brush, const TAAPath& Path);

  TAAMatrix Transform() const { return FMatrix; }
  void SetTransform(const TAAMatrix& M) { FMatrix = M; }
  void ResetTransform() { FMatrix = TAAMatrix(); }
  // Each prepends to the transform, so it acts on coordinates before the existing one.
  void RotateTransform(float Degrees);
  void TranslateTransform(float DX, float DY);
  void ScaleTransform(float SX, float SY);
  void Flush() {}

 private:
  struct Impl;
  template <typename F>
  void Paint(F&& Build, const TAAPen* Pen, const TAABrush* Brush, int FillMode);
  TCanvas* FCanvas;
  int FSmoothing = AASmoothingDefault;
  TAAMatrix FMatrix;
};
