#pragma once
// Two light pixel containers beside TQxBitmap: TQxDibbitmap, a 1- or 24-bit bottom-up bitmap that the
// canvas layer draws into and from directly, and TQxWorkBitmap, a bare buffer of rows for the
// resampler. Also the DrawDib-style painting of device-independent rows.
#include <cstdint>
#include <memory>

#include "imaging/foundation/bitmap.h"
#include "platform/graphics/canvas.h"

constexpr uint32_t BI_RGB = 0;

// The header of a device-independent bitmap, in file order.
struct TQxBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // positive: rows bottom-up
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

// Header and the two colour entries of a 1-bit section: 0 black, 1 white.
struct TQxDibInfo {
  TQxBitmapInfoHeader bmiHeader;
  TRGBQuad bmiColors[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
};

class TQxDibbitmap : public TQxBaseBitmap {
 public:
  TQxDibbitmap();
  ~TQxDibbitmap() override;
  TQxDibbitmap(const TQxDibbitmap&) = delete;
  TQxDibbitmap& operator=(const TQxDibbitmap&) = delete;

  uint8_t* Scanline(int32_t Row) override;
  int32_t BitCount() override { return FBitCount; }
  int32_t Height() override { return FHeight; }
  int32_t Width() override { return FWidth; }
  TQxPixelFormat PixelFormat() override;
  int32_t RowLen() override { return FRowLen; }
  TQxRGB* Palette() override { return nullptr; }
  TQxRGB PaletteColor(int32_t Index) override { return TQxRGB{0, 0, 0}; }
  void SetPaletteColor(int32_t Index, TQxRGB Color) override {}
  int32_t PaletteLength() override { return 0; }
  // qx1g gives a 1-bit section, qx24RGB a 24-bit one; any other format gives False and changes nothing.
  bool Allocate(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) override;
  // Copies only another TQxDibbitmap.
  void AssignFrom(TQxBaseBitmap* Source) override;
  void CopyPaletteTo(TQxBaseBitmap* Dest) override {}

  // False for a zero or negative size or when the pixels cannot be had.
  bool AllocateDIB(int32_t AWidth, int32_t AHeight, int32_t ABitCount);
  void FreeDIB();

  // The canvas drawing on the section (nil when none), the section itself and its pixels.
  HDC DC() const { return FDib ? FDib->Canvas() : nullptr; }
  TBitmap* DIB() const { return FDib.get(); }
  uint8_t* Bits() const { return FDib ? FDib->Bits() : nullptr; }
  const TQxDibInfo& BitmapInfo() const { return FInfo; }

 private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitCount = 0;
  int32_t FRowLen = 0;
  std::unique_ptr<TBitmap> FDib;
  TQxDibInfo FInfo;
};

class TQxWorkBitmap {
 public:
  TQxWorkBitmap(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
  ~TQxWorkBitmap();
  TQxWorkBitmap(const TQxWorkBitmap&) = delete;
  TQxWorkBitmap& operator=(const TQxWorkBitmap&) = delete;

  // Keeps the block when nothing changes; otherwise a new, uncleared block (Memory nil when there is no
  // memory, or for a negative size).
  void Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
  void FreeMemory();
  // Bottom-up like a DIB.
  uint8_t* Scanline(int32_t Row) const;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t BitsPerPixel() const { return FBitsPerPixel; }
  int64_t RowLen() const { return FRowLen; }
  uint8_t* Memory() const { return FMemory; }

 private:
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FBitsPerPixel = 0;
  int64_t FRowLen = 0;
  uint8_t* FMemory = nullptr;
};

// Painting device-independent rows onto a canvas.
using HDRAWDIB = void*;
HDRAWDIB QxDrawDibOpen();
bool QxDrawDibClose(HDRAWDIB Handle);
// Draws the source rectangle of the rows described by Header (1, 4 and 8 bits with their colour table
// following the header, 16, 24 or 32 bits; bottom-up for a positive height) stretched onto the
// destination rectangle. A destination extent of -1 takes the source extent.
bool QxDrawDibDraw(HDRAWDIB Handle, HDC DC, int32_t XDst, int32_t YDst, int32_t DXDst, int32_t DYDst,
                   const TQxBitmapInfoHeader* Header, const void* Bits, int32_t XSrc, int32_t YSrc, int32_t DXSrc,
                   int32_t DYSrc, uint32_t Flags);
// Colours are never realised into a palette here: 0 colours changed.
uint32_t QxDrawDibRealize(HDRAWDIB Handle, HDC DC, bool Background);
