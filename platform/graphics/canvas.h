#pragma once
// TCanvas draws on a TBitmap with the platform's exact integer rules: lines leave out their end pixel,
// filled shapes exclude their right and bottom edges. A TCanvas pointer also serves as the device
// context of the GDI-style free functions below (HDC).
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"
#include "platform/graphics/region.h"

class TCanvas;
using HDC = TCanvas*;

// ---- raster operations (ternary, for the blits) ----
constexpr uint32_t SRCCOPY = 0x00CC0020;
constexpr uint32_t SRCPAINT = 0x00EE0086;
constexpr uint32_t SRCAND = 0x008800C6;
constexpr uint32_t SRCINVERT = 0x00660046;
constexpr uint32_t SRCERASE = 0x00440328;
constexpr uint32_t NOTSRCCOPY = 0x00330008;
constexpr uint32_t NOTSRCERASE = 0x001100A6;
constexpr uint32_t MERGECOPY = 0x00C000CA;
constexpr uint32_t MERGEPAINT = 0x00BB0226;
constexpr uint32_t PATCOPY = 0x00F00021;
constexpr uint32_t PATPAINT = 0x00FB0A09;
constexpr uint32_t PATINVERT = 0x005A0049;
constexpr uint32_t DSTINVERT = 0x00550009;
constexpr uint32_t BLACKNESS = 0x00000042;
constexpr uint32_t WHITENESS = 0x00FF0062;
// The copy modes of TCanvas.CopyMode are the same values.
using TCopyMode = uint32_t;
constexpr TCopyMode cmBlackness = BLACKNESS, cmDstInvert = DSTINVERT, cmMergeCopy = MERGECOPY,
                    cmMergePaint = MERGEPAINT, cmNotSrcCopy = NOTSRCCOPY, cmNotSrcErase = NOTSRCERASE,
                    cmPatCopy = PATCOPY, cmPatInvert = PATINVERT, cmPatPaint = PATPAINT, cmSrcAnd = SRCAND,
                    cmSrcCopy = SRCCOPY, cmSrcErase = SRCERASE, cmSrcInvert = SRCINVERT, cmSrcPaint = SRCPAINT,
                    cmWhiteness = WHITENESS;

// ---- binary raster operations of the pen (SetROP2) ----
constexpr int R2_BLACK = 1, R2_NOTMERGEPEN = 2, R2_MASKNOTPEN = 3, R2_NOTCOPYPEN = 4, R2_MASKPENNOT = 5,
              R2_NOT = 6, R2_XORPEN = 7, R2_NOTMASKPEN = 8, R2_MASKPEN = 9, R2_NOTXORPEN = 10, R2_NOP = 11,
              R2_MERGENOTPEN = 12, R2_COPYPEN = 13, R2_MERGEPENNOT = 14, R2_MERGEPEN = 15, R2_WHITE = 16;

// ---- background modes, stretch modes ----
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr int BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE, STRETCH_ORSCANS = WHITEONBLACK,
              STRETCH_DELETESCANS = COLORONCOLOR, STRETCH_HALFTONE = HALFTONE;

// ---- text alignment (SetTextAlign) ----
constexpr uint32_t TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
                   TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 256;
// ---- ExtTextOut options ----
constexpr uint32_t ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_RTLREADING = 128;
// ---- DrawText flags ----
constexpr uint32_t DT_TOP = 0x0, DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4,
                   DT_BOTTOM = 0x8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_EXPANDTABS = 0x40,
                   DT_TABSTOP = 0x80, DT_NOCLIP = 0x100, DT_EXTERNALLEADING = 0x200, DT_CALCRECT = 0x400,
                   DT_NOPREFIX = 0x800, DT_INTERNAL = 0x1000, DT_EDITCONTROL = 0x2000,
                   DT_PATH_ELLIPSIS = 0x4000, DT_END_ELLIPSIS = 0x8000, DT_MODIFYSTRING = 0x10000,
                   DT_RTLREADING = 0x20000, DT_WORD_ELLIPSIS = 0x40000, DT_HIDEPREFIX = 0x100000,
                   DT_PREFIXONLY = 0x200000;

// ---- DrawEdge ----
constexpr uint32_t BDR_RAISEDOUTER = 0x1, BDR_SUNKENOUTER = 0x2, BDR_RAISEDINNER = 0x4, BDR_SUNKENINNER = 0x8;
constexpr uint32_t BDR_OUTER = 0x3, BDR_INNER = 0xC, BDR_RAISED = 0x5, BDR_SUNKEN = 0xA;
constexpr uint32_t EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER, EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
                   EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER, EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr uint32_t BF_LEFT = 0x1, BF_TOP = 0x2, BF_RIGHT = 0x4, BF_BOTTOM = 0x8, BF_TOPLEFT = 0x3,
                   BF_BOTTOMRIGHT = 0xC, BF_RECT = 0xF, BF_DIAGONAL = 0x10, BF_MIDDLE = 0x800, BF_SOFT = 0x1000,
                   BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000;

// ---- gradients ----
constexpr uint32_t GRADIENT_FILL_RECT_H = 0, GRADIENT_FILL_RECT_V = 1;
struct TRIVERTEX {
  int32_t x = 0;
  int32_t y = 0;
  uint16_t Red = 0;  // 0..0xFF00, the colour in the high byte
  uint16_t Green = 0;
  uint16_t Blue = 0;
  uint16_t Alpha = 0;
};
struct GRADIENT_RECT {
  uint32_t UpperLeft = 0;
  uint32_t LowerRight = 0;
};

// ---- pens, brushes, fonts ----
enum class TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame, psUserStyle, psAlternate };
enum class TPenMode : uint8_t {
  pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot, pmMergeNotPen,
  pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum class TBrushStyle : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum class TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
enum class TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };
enum class TFontQuality : uint8_t { fqDefault, fqDraft, fqProof, fqNonAntialiased, fqAntialiased, fqClearType, fqClearTypeNatural };
enum class TFillStyle : uint8_t { fsSurface, fsBorder };

// The R2_ code of a pen mode.
int PenModeToROP2(TPenMode Mode);

class TFontStyles {
 public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> L) {
    for (TFontStyle S : L) FBits |= Bit(S);
  }
  constexpr bool Contains(TFontStyle S) const { return (FBits & Bit(S)) != 0; }
  constexpr void Include(TFontStyle S) { FBits |= Bit(S); }
  constexpr void Exclude(TFontStyle S) { FBits &= static_cast<uint8_t>(~Bit(S)); }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint8_t Bits() const { return FBits; }
  friend constexpr bool operator==(const TFontStyles&, const TFontStyles&) = default;

 private:
  static constexpr uint8_t Bit(TFontStyle S) { return static_cast<uint8_t>(1u << static_cast<unsigned>(S)); }
  uint8_t FBits = 0;
};

constexpr uint8_t ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, GREEK_CHARSET = 161;

class TGraphicsObject {
 public:
  TGraphicsObject() = default;
  TGraphicsObject(const TGraphicsObject&) = delete;
  TGraphicsObject& operator=(const TGraphicsObject&) = delete;
  virtual ~TGraphicsObject() = default;
  std::function<void(TGraphicsObject* Sender)> OnChange;

 protected:
  void Changed() {
    if (OnChange) OnChange(this);
  }
};

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);
  void Assign(const TPen& Source);

 private:
  TColor FColor = clBlack;
  int32_t FWidth = 1;
  TPenStyle FStyle = TPenStyle::psSolid;
  TPenMode FMode = TPenMode::pmCopy;
};

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  // A pattern bitmap (not owned; its top-left 8 x 8 pixels tile the fill); nil for none.
  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* Value);
  void Assign(const TBrush& Source);

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = TBrushStyle::bsSolid;
  TBitmap* FBitmap = nullptr;
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  // Points; Size and Height convert through PixelsPerInch.
  int32_t Size() const;
  void SetSize(int32_t Value);
  // Pixels; negative is the character height, positive the cell height.
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  uint8_t Charset() const { return FCharset; }
  void SetCharset(uint8_t Value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch Value);
  TFontQuality Quality() const { return FQuality; }
  void SetQuality(TFontQuality Value);
  // Escapement of the text line in tenths of degrees, counter-clockwise.
  int32_t Orientation() const { return FOrientation; }
  void SetOrientation(int32_t Value);
  int32_t PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t Value) { FPixelsPerInch = Value; }
  void Assign(const TFont& Source);
  friend bool operator==(const TFont& A, const TFont& B);

 private:
  std::string FName = "Tahoma";
  int32_t FHeight = -11;
  TColor FColor = clWindowText;
  TFontStyles FStyle;
  uint8_t FCharset = DEFAULT_CHARSET;
  TFontPitch FPitch = TFontPitch::fpDefault;
  TFontQuality FQuality = TFontQuality::fqDefault;
  int32_t FOrientation = 0;
  int32_t FPixelsPerInch = 96;
};

struct TTextMetric {
  int32_t tmHeight = 0;
  int32_t tmAscent = 0;
  int32_t tmDescent = 0;
  int32_t tmInternalLeading = 0;
  int32_t tmExternalLeading = 0;
  int32_t tmAveCharWidth = 0;
  int32_t tmMaxCharWidth = 0;
};

// Text measured and drawn with a fixed-metric face instead of the machine's fonts: every character
// is (|Height| * 6 + 5) / 10 wide (at least 1), ascent is 80 % of the cell and descent the rest,
// and a glyph draws as a filled box. Layout tests switch it on.
void SetTestFontMode(bool Enabled);
bool TestFontMode();
// The file of the face that fontconfig matches for Name (empty when nothing matches).
std::string MatchFontFile(const std::string& Name, TFontStyles Style = {});

struct TCanvasState;

enum class TCanvasStates : uint8_t { csHandleValid, csFontValid, csPenValid, csBrushValid };

class TCanvas {
 public:
  // A canvas drawing on Bitmap (not owned); Bitmap may be given later with SetBitmap.
  explicit TCanvas(TBitmap* Bitmap = nullptr);
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  virtual ~TCanvas();

  TBitmap* Bitmap() const { return FBitmap; }
  void SetBitmap(TBitmap* Value);
  HDC Handle() { return this; }
  bool HandleAllocated() const { return FBitmap != nullptr; }
  // Vertical flip of the device: with it on, everything drawn on or copied from this canvas at row Y
  // uses the bitmap's row Height - 1 - Y (for bitmaps whose users read the rows top-down).
  void SetVerticalFlip(bool Value);
  bool VerticalFlip() const;

  TPen* Pen() { return &FPen; }
  TBrush* Brush() { return &FBrush; }
  TFont* Font() { return &FFont; }
  void SetPen(const TPen& Value) { FPen.Assign(Value); }
  void SetBrush(const TBrush& Value) { FBrush.Assign(Value); }
  void SetFont(const TFont& Value) { FFont.Assign(Value); }

  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }
  // Flags added to every ExtTextOut of TextOut/TextRect (ETO_OPAQUE, ETO_CLIPPED, ETO_RTLREADING).
  uint32_t TextFlags() const { return FTextFlags; }
  void SetTextFlags(uint32_t Value) { FTextFlags = Value; }

  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(const TPoint& Value) { FPenPos = Value; }
  void MoveTo(int32_t X, int32_t Y);
  // A line from the pen position to (X, Y), without the end pixel.
  void LineTo(int32_t X, int32_t Y);
  void Polyline(const TPoint* Points, int Count);
  void Polyline(const std::vector<TPoint>& Points) { Polyline(Points.data(), static_cast<int>(Points.size())); }
  // Filled with the brush under the current fill mode, outlined with the pen.
  void Polygon(const TPoint* Points, int Count);
  void Polygon(const std::vector<TPoint>& Points) { Polygon(Points.data(), static_cast<int>(Points.size())); }
  void PolyBezier(const TPoint* Points, int Count);
  void Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
  void Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  // Counter-clockwise from the ray through (X3, Y3) to the ray through (X4, Y4).
  void Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void Pie(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void Chord(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3, int32_t X4, int32_t Y4);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  // Dotted XOR frame; drawing it twice restores the pixels.
  void DrawFocusRect(const TRect& R);
  void FloodFill(int32_t X, int32_t Y, TColor Color, TFillStyle FillStyle);

  TColor Pixels(int32_t X, int32_t Y);
  void SetPixels(int32_t X, int32_t Y, TColor Value);

  void TextOut(int32_t X, int32_t Y, const std::string& Text);
  // Text clipped to R, its reference point at (X, Y).
  void TextRect(const TRect& R, int32_t X, int32_t Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  int32_t TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int32_t TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

  // Source's rectangle stretched into Dest with CopyMode.
  void CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect);
  void Draw(int32_t X, int32_t Y, const TGraphic* Graphic);
  void StretchDraw(const TRect& R, const TGraphic* Graphic);
  // Copies Source's rectangle, pixels of colour AColor replaced by the brush.
  void BrushCopy(const TRect& Dest, TBitmap* Source, const TRect& SourceRect, TColor AColor);

  // The clip box in logical coordinates (the bitmap's bounds when nothing clips).
  TRect ClipRect();

  void Lock() { ++FLockCount; }
  void Unlock() {
    if (FLockCount > 0) --FLockCount;
  }
  int LockCount() const { return FLockCount; }
  bool TryLock() {
    ++FLockCount;
    return true;
  }

  // Makes the device-context state follow the pen, brush and font again when they changed, as every
  // drawing method does before it draws (background and text colours, background mode).
  void RequiredState();
  // Snapshot of everything SaveDC keeps, for GDI-style code.
  int SaveState();
  bool RestoreState(int Index);

  std::function<void(TCanvas* Sender)> OnChange;
  std::function<void(TCanvas* Sender)> OnChanging;

 private:
  friend struct TCanvasAccess;
  void Changing();
  void Changed();

  TBitmap* FBitmap = nullptr;
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
  TPoint FPenPos;
  TCopyMode FCopyMode = cmSrcCopy;
  uint32_t FTextFlags = 0;
  int FLockCount = 0;
  bool FPenValid = false, FBrushValid = false, FFontValid = false;
  std::unique_ptr<TCanvasState> FState;
  std::vector<std::unique_ptr<TCanvasState>> FSaved;
};

// ---- GDI-style calls on a canvas (the device context state beyond pen, brush and font) ----
COLORREF SetBkColor(HDC DC, TColor Color);  // returns the previous colour
COLORREF GetBkColor(HDC DC);
COLORREF SetTextColor(HDC DC, TColor Color);
COLORREF GetTextColor(HDC DC);
int SetBkMode(HDC DC, int Mode);
int GetBkMode(HDC DC);
int SetROP2(HDC DC, int Rop2);  // overrides the pen mode until the pen changes
int GetROP2(HDC DC);
int SetPolyFillMode(HDC DC, int Mode);
int GetPolyFillMode(HDC DC);
int SetStretchBltMode(HDC DC, int Mode);
int GetStretchBltMode(HDC DC);
constexpr int BITSPIXEL = 12, LOGPIXELSX = 88, LOGPIXELSY = 90;
// BITSPIXEL: the depth of the bitmap the canvas draws on (a window's is 32); LOGPIXELSX/Y: 96.
// 0 for other indexes or no canvas.
int GetDeviceCaps(HDC DC, int Index);
uint32_t SetTextAlign(HDC DC, uint32_t Align);
uint32_t GetTextAlign(HDC DC);
bool SetBrushOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
// The viewport origin: logical (0, 0) lands on the device pixel (X, Y).
bool SetViewportOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool GetViewportOrgEx(HDC DC, TPoint* Origin);
bool OffsetViewportOrgEx(HDC DC, int32_t DX, int32_t DY, TPoint* Old);
bool SetWindowOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool GetWindowOrgEx(HDC DC, TPoint* Origin);
// Returns a level for RestoreDC (0 on failure); RestoreDC(-1) restores the last one.
int SaveDC(HDC DC);
bool RestoreDC(HDC DC, int SavedDC);

// Clipping. Regions are given in device coordinates; rectangles in logical ones.
int SelectClipRgn(HDC DC, const TRegion* Rgn);  // nil removes the clip region
int ExtSelectClipRgn(HDC DC, const TRegion* Rgn, int Mode);
int IntersectClipRect(HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
int ExcludeClipRect(HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
int GetClipBox(HDC DC, TRect* R);
// 1 and a copy of the clip region, or 0 when the canvas has none.
int GetClipRgn(HDC DC, TRegion& Rgn);
bool PtVisible(HDC DC, int32_t X, int32_t Y);
bool RectVisible(HDC DC, const TRect& R);
bool FillRgn(HDC DC, const TRegion& Rgn, const TBrush& Brush);
bool PaintRgn(HDC DC, const TRegion& Rgn);
bool FrameRgn(HDC DC, const TRegion& Rgn, const TBrush& Brush, int32_t W, int32_t H);
bool InvertRgn(HDC DC, const TRegion& Rgn);
bool InvertRect(HDC DC, const TRect& R);

// Blits. Colour to monochrome: the source background colour becomes 1; monochrome to colour: 0 becomes
// the destination text colour and 1 its background colour. Any of the 256 ternary operations works.
bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc, uint32_t Rop);
bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc,
                int32_t WSrc, int32_t HSrc, uint32_t Rop);
bool PatBlt(HDC DC, int32_t X, int32_t Y, int32_t W, int32_t H, uint32_t Rop);
// Pixels of Transparent leave the destination unchanged.
bool TransparentBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc,
                    int32_t WSrc, int32_t HSrc, COLORREF Transparent);
// Draws Src through a monochrome Mask: mask 1 leaves the destination, mask 0 takes the source.
bool TransparentStretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc,
                           int32_t YSrc, int32_t WSrc, int32_t HSrc, HDC Mask, int32_t XMask, int32_t YMask);
bool GradientFill(HDC DC, const TRIVERTEX* Vertices, uint32_t NVertices, const GRADIENT_RECT* Rects,
                  uint32_t NRects, uint32_t Mode);

COLORREF SetPixel(HDC DC, int32_t X, int32_t Y, TColor Color);
COLORREF GetPixel(HDC DC, int32_t X, int32_t Y);
bool MoveToEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool LineTo(HDC DC, int32_t X, int32_t Y);
// Calls Proc for every pixel of the line from (X1, Y1) to (X2, Y2), the end pixel left out.
void LineDDA(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const std::function<void(int32_t X, int32_t Y)>& Proc);
bool DrawEdge(HDC DC, TRect& R, uint32_t Edge, uint32_t Flags);
bool DrawFocusRect(HDC DC, const TRect& R);
int FillRect(HDC DC, const TRect& R, const TBrush& Brush);
int FrameRect(HDC DC, const TRect& R, const TBrush& Brush);

// Text on the device context: alignment from SetTextAlign, colours and background mode from the DC.
bool ExtTextOut(HDC DC, int32_t X, int32_t Y, uint32_t Options, const TRect* R, const std::string& Text,
                const int32_t* Dx = nullptr);
bool TextOut(HDC DC, int32_t X, int32_t Y, const std::string& Text);
bool GetTextExtentPoint32(HDC DC, const std::string& Text, TSize* Size);
bool GetTextMetrics(HDC DC, TTextMetric* TM);
// Lays out and draws text in R; DT_CALCRECT only measures and sets R. Returns the text height.
int DrawText(HDC DC, const std::string& Text, TRect& R, uint32_t Format);
