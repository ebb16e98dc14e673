#pragma once
// Reading and writing single pixels of a TBitmap in its own format. "Native" values are what a pixel
// stores: a table index for pf1/pf4/pf8, packed 5-5-5 / 5-6-5 words, 0x00RRGGBB for pf24, 0xAARRGGBB
// for pf32. Raster operations work on these bits.
#include <cstdint>
#include <cstring>

#include "platform/graphics/bitmap.h"

namespace qvgfx {

struct TSurface {
  uint8_t* Top = nullptr;  // start of row 0 (the top row)
  int64_t Stride = 0;      // bytes from a row to the one below it (negative: rows are bottom-up)
  int32_t Width = 0;
  int32_t Height = 0;
  int Bpp = 0;
  TBitmap* Bmp = nullptr;

  explicit TSurface(TBitmap* B) : Bmp(B) {
    if (B && !B->Empty()) {
      Width = B->Width();
      Height = B->Height();
      Bpp = B->BitsPerPixel();
      Top = static_cast<uint8_t*>(B->ScanLine(0));
      Stride = -static_cast<int64_t>(B->RowBytes());
    }
  }
  bool Valid() const { return Top != nullptr; }
  uint8_t* Row(int32_t Y) const { return Top + Stride * Y; }

  uint32_t Get(int32_t X, int32_t Y) const {
    const uint8_t* R = Row(Y);
    switch (Bpp) {
      case 1: return (R[X >> 3] >> (7 - (X & 7))) & 1;
      case 4: return (X & 1) ? (R[X >> 1] & 0x0F) : (R[X >> 1] >> 4);
      case 8: return R[X];
      case 15:
      case 16: return static_cast<uint32_t>(R[2 * X] | (R[2 * X + 1] << 8));
      case 24: return static_cast<uint32_t>(R[3 * X] | (R[3 * X + 1] << 8) | (R[3 * X + 2] << 16));
      default: {
        uint32_t V;
        std::memcpy(&V, R + 4 * static_cast<int64_t>(X), 4);
        return V;
      }
    }
  }
  void Set(int32_t X, int32_t Y, uint32_t V) const {
    uint8_t* R = Row(Y);
    switch (Bpp) {
      case 1: {
        uint8_t M = static_cast<uint8_t>(0x80 >> (X & 7));
        if (V & 1) R[X >> 3] |= M; else R[X >> 3] &= static_cast<uint8_t>(~M);
        break;
      }
      case 4:
        if (X & 1) R[X >> 1] = static_cast<uint8_t>((R[X >> 1] & 0xF0) | (V & 0x0F));
        else R[X >> 1] = static_cast<uint8_t>((R[X >> 1] & 0x0F) | ((V & 0x0F) << 4));
        break;
      case 8: R[X] = static_cast<uint8_t>(V); break;
      case 15:
      case 16:
        R[2 * X] = static_cast<uint8_t>(V);
        R[2 * X + 1] = static_cast<uint8_t>(V >> 8);
        break;
      case 24:
        R[3 * X] = static_cast<uint8_t>(V);
        R[3 * X + 1] = static_cast<uint8_t>(V >> 8);
        R[3 * X + 2] = static_cast<uint8_t>(V >> 16);
        break;
      default: std::memcpy(R + 4 * static_cast<int64_t>(X), &V, 4); break;
    }
  }
  // The bits a pixel of this surface may hold.
  uint32_t Mask() const {
    switch (Bpp) {
      case 1: return 1;
      case 4: return 0xF;
      case 8: return 0xFF;
      case 15: return 0x7FFF;
      case 16: return 0xFFFF;
      case 24: return 0xFFFFFF;
      default: return 0xFFFFFFFF;
    }
  }
};

inline uint8_t Expand5(uint32_t V) { return static_cast<uint8_t>((V << 3) | (V >> 2)); }
inline uint8_t Expand6(uint32_t V) { return static_cast<uint8_t>((V << 2) | (V >> 4)); }

// Native value of a colour (0x00BBGGRR) for bitmap B.
inline uint32_t ColorToNative(const TBitmap& B, COLORREF C) {
  uint32_t R = GetRValue(C), G = GetGValue(C), Bl = GetBValue(C);
  switch (B.BitsPerPixel()) {
    case 1:
    case 4:
    case 8: return static_cast<uint32_t>(B.NearestIndex(C));
    case 15: return ((R >> 3) << 10) | ((G >> 3) << 5) | (Bl >> 3);
    case 16: return ((R >> 3) << 11) | ((G >> 2) << 5) | (Bl >> 3);
    default: return (R << 16) | (G << 8) | Bl;
  }
}

// Colour (0x00BBGGRR) of a native value of bitmap B.
inline COLORREF NativeToColor(const TBitmap& B, uint32_t V) {
  switch (B.BitsPerPixel()) {
    case 1:
    case 4:
    case 8: {
      const auto& T = B.ColorTable();
      if (V >= T.size()) return 0;
      return RGB(T[V].rgbRed, T[V].rgbGreen, T[V].rgbBlue);
    }
    case 15: return RGB(Expand5((V >> 10) & 31), Expand5((V >> 5) & 31), Expand5(V & 31));
    case 16: return RGB(Expand5((V >> 11) & 31), Expand6((V >> 5) & 63), Expand5(V & 31));
    default: return PixelToColorRef(V & 0xFFFFFF);
  }
}

}  // namespace qvgfx
