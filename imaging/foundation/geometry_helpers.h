#pragma once
// Geometry helpers of the imaging library.

#include <cstdint>
#include <vector>

class TQxBitmap;

// Turns an image stored with an EXIF orientation value (1..8) upright; other values leave it alone. The
// alpha channel turns with it.
void QxApplyExifOrientation(TQxBitmap* Bitmap, int32_t Orientation);

// Fits W x H into BoxW x BoxH with one factor for both sides, each result truncated and at least 1;
// nothing when W or H is 0.
void QxFitSize(int32_t W, int32_t H, int32_t BoxW, int32_t BoxH, int32_t& OutW, int32_t& OutH);

// ---- points and rectangles (corners inclusive; y points down) ----
bool QxPointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
bool QxPointInRectAnyOrder(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// A in any corner order, B ordered.
bool QxRectsOverlap(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1, int32_t BX2,
                    int32_t BY2);
// 1: B crosses an edge of A; 2: B inside A; 0: otherwise.
int32_t QxRectRelation(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1, int32_t BX2,
                       int32_t BY2);
struct TRect;
struct TPoint;
void QxExtendBounds(TRect& Rect, int32_t X, int32_t Y);
// Moves (X, Y) onto the vertical, horizontal or diagonal through (X0, Y0) (30 pixels of tolerance).
void QxSnapTo45(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y);

// ---- angles in radians, counter-clockwise with y up on screen ----
long double QxArcTan2(long double Y, long double X);
long double QxArcCos(long double X);
long double QxAngleBetweenSegments(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// Direction from the first point to the second, 0 .. 2 pi.
long double QxPointAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
int32_t QxTurnDirection(int32_t AX, int32_t AY, int32_t BX, int32_t BY, int32_t CX, int32_t CY);
long double QxAngleAtVertex(int32_t AX, int32_t AY, int32_t BX, int32_t BY, int32_t CX, int32_t CY);

// ---- distances ----
double QxDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
double QxDistanceToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// 1e6 for an end point farther than 45000 on either axis.
double QxDistanceToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
double QxDistanceToPolyline(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ScaleX, double ScaleY,
                            int32_t PenWidth, bool Closed);
double QxDistanceToEllipseOutline(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Filled,
                                  int32_t PenWidth);
double QxDistanceToRectOutline(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Filled,
                               int32_t PenWidth);

// ---- polygons and curves ----
// Even-odd rule over Points[0..High].
bool QxPointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t High);
bool QxPointInScaledPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ScaleX, double ScaleY);
// Rotates Points[0..High] in place about (CX, CY) by Angle degrees.
void QxRotatePoints(TPoint* Points, int32_t High, int32_t CX, int32_t CY, double Angle);
// N points of the cubic curve P0..P3 at t = 1/N .. 1.
void QxBezierPoints(TPoint P0, TPoint P1, TPoint P2, int32_t N, std::vector<TPoint>& Points, TPoint P3);

// ---- tables ----
// t[i] = Round(64 - cos(i pi / 255) x 64): 0 .. 128, read by the blend operations.
extern int32_t QxCosineTable[256];
void QxInitCosineTable();
void QxGaussianCurve(int32_t N, double Low, double High, double Sigma, std::vector<double>& Values);

// ---- drawing ----
class TCanvas;
class TBitmap;
using TColor = int32_t;
// Top and left edges in ColorTopLeft, bottom and right in ColorBottomRight, line ends left out.
void QxDrawTwoColorFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor ColorTopLeft,
                         TColor ColorBottomRight);
// Shadow bands right of and below an image (columns X1..X2 or rows Y1..Y2). Style 1 fills with the canvas
// brush, 2 darkens with a Gaussian falloff (pixels inside Bitmap are changed in its 24-bit rows), 3 draws a
// gray ramp. Color is not used.
void QxDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       int32_t Style, TColor Color);
void QxDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                        int32_t Style, TColor Color);
// Preview backgrounds: gray stripes repeating every 4 rows, and a gray band darker at the sides with noise.
void QxMakeStripedBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height);
void QxMakeGradientBitmap(TBitmap* Bitmap, int32_t Width, int32_t Height);
class TQxCanvas;
void QxDrawTwoColorFrameQx(TQxCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor ColorTopLeft,
                           TColor ColorBottomRight);
// Darkens the area of (Left, Top, Width, Height) around the inner rectangle (nothing when it is empty).
void QxDimAroundRect(TCanvas* Canvas, int32_t Left, int32_t Top, int32_t Width, int32_t Height, int32_t InnerX1,
                     int32_t InnerY1, int32_t InnerX2, int32_t InnerY2);

// The processing library's 8-bit rectangle blur, plugged in at start-up (the foundation cannot call it
// directly); while it is missing, soft shadows come out with hard edges.
using TQxBlurRect8Proc = void (*)(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius);
extern TQxBlurRect8Proc QxBlurRect8Hook;
// A soft drop shadow around the rectangle [X1, X2) x [Y1, Y2) of a 24-bit bitmap. Color is not used.
void QxDrawSoftShadow(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color);
