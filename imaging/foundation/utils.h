#pragma once
// Small routines shared by the whole imaging library, and its gray weights.
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/color.h"

class TCanvas;
class TBrush;
class TFont;

// Gray weights in percent (sum 100), set by the library start-up.
extern int32_t QxGrayWeightRed;
extern int32_t QxGrayWeightGreen;
extern int32_t QxGrayWeightBlue;
// Background picture of the library's dialogs: 0 none, 1 striped, 2 gradient.
extern uint8_t QxDialogsBackground;
// Sets the weights to 21, 71, 8 and QxDialogsBackground to 0.
void QxResetGrayWeights();

// A set of 32-bit values in 2^Bits buckets.
class THash1Item {
 public:
  uint32_t Value = 0;
  THash1Item* Next = nullptr;
  uint32_t Extra = 0;
};

class THash1 {
 public:
  explicit THash1(int32_t Bits);
  THash1(const THash1&) = delete;
  THash1& operator=(const THash1&) = delete;
  ~THash1();
  uint32_t BucketOf(uint32_t Value) const { return Value & (FBucketCount - 1); }
  // True when Value was new; Bucket gets its bucket and NewItem the chain item made for it (or nullptr).
  bool Insert(uint32_t Value, uint32_t& Bucket, THash1Item*& NewItem);
  bool AddValue(uint32_t Value);
  int32_t Count() const { return FCount; }
  int32_t Bits() const { return FBits; }
  uint32_t BucketCount() const { return FBucketCount; }

 private:
  std::vector<uintptr_t> FValues;  // kind 1: the value; kind 2: the first THash1Item
  std::vector<uint8_t> FKinds;
  std::vector<uint32_t> FExtras;
  int32_t FBits;
  uint32_t FBucketCount;
  int32_t FCount = 0;
};

inline int32_t QxMaxInt(int32_t A, int32_t B) { return A > B ? A : B; }
inline int32_t QxMinInt(int32_t A, int32_t B) { return A < B ? A : B; }
inline double QxMaxDouble(double A, double B) { return B > A ? B : A; }
inline double QxMinDouble(double A, double B) { return B < A ? B : A; }
inline int32_t QxClampInt(int32_t Value, int32_t Low, int32_t High) {
  return Value <= Low ? Low : (Value >= High ? High : Value);
}
inline uint8_t QxClampByte(int32_t Value) {
  return Value < 0 ? 0 : (Value > 255 ? 255 : static_cast<uint8_t>(Value));
}
inline void QxSwapInt(int32_t& A, int32_t& B) {
  int32_t T = A;
  A = B;
  B = T;
}
inline void QxSwapBytes(uint8_t& A, uint8_t& B) {
  uint8_t T = A;
  A = B;
  B = T;
}
void QxOrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2);
// Ceiling and floor by truncation and the sign of the fraction.
int32_t QxRoundUp(long double X);
int32_t QxRoundDown(long double X);

inline TQxRGB QxMakeRGB(uint8_t R, uint8_t G, uint8_t B) { return TQxRGB{B, G, R}; }
inline uint32_t QxMakeCMYK(uint8_t Cyan, uint8_t Magenta, uint8_t Yellow, uint8_t Black) {
  return uint32_t(Cyan) | (uint32_t(Magenta) << 8) | (uint32_t(Yellow) << 16) | (uint32_t(Black) << 24);
}
inline bool QxSameRGB(const TQxRGB& A, const TQxRGB& B) { return A.r == B.r && A.g == B.g && A.b == B.b; }
inline uint8_t QxRGBToGray(const TQxRGB& C) {
  return static_cast<uint8_t>((C.r * QxGrayWeightRed + C.g * QxGrayWeightGreen + C.b * QxGrayWeightBlue) / 100);
}
// Exchanges bytes 0 and 2 and clears byte 3: TColor <-> TQxRGB packed in 32 bits.
inline uint32_t QxSwapRedBlue(uint32_t Color) {
  return ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
}
// System colours resolved first.
void QxTColorToRGB(TColor Color, TQxRGB& Result);
TQxRGB QxTColorToRGB(TColor Color);
// 0xAARRGGBB.
uint32_t QxTColorToARGB(TColor Color, uint8_t Alpha);

// 1-bit rows: leftmost pixel in the most significant bit.
inline bool QxGetBit(const void* Row, int32_t X) {
  return (static_cast<const uint8_t*>(Row)[X >> 3] & (0x80u >> (X & 7))) != 0;
}
inline void QxSetBit(void* Row, int32_t X, int32_t Value) {
  uint8_t& B = static_cast<uint8_t*>(Row)[X >> 3];
  if (Value != 0)
    B = static_cast<uint8_t>(B | (0x80u >> (X & 7)));
  else
    B = static_cast<uint8_t>(B & ~(0x80u >> (X & 7)));
}
inline bool QxGetRowBit(const void* Row, int32_t X) { return QxGetBit(Row, X); }
inline void QxSetRowBit(void* Row, int32_t X, int32_t Value) { QxSetBit(Row, X, Value); }

int32_t QxMaskBitWidth(uint32_t Mask);
// A sample of Bits (1..16) bits widened or narrowed to 8 bits; narrower samples repeat their bits, so that full
// intensity stays 255 (31 of 5 bits gives 255, not 248).
inline uint8_t QxWidenTo8(uint32_t Value, int32_t Bits) {
  if (Bits <= 0) return 0;
  if (Bits >= 8) return static_cast<uint8_t>(Value >> (Bits - 8));
  uint32_t out = (Value & ((1u << Bits) - 1)) << (8 - Bits);
  for (int32_t s = Bits; s < 8; s *= 2) out |= out >> s;
  return static_cast<uint8_t>(out);
}
int32_t QxBitsForCount(uint32_t N);
// Bytes per row of Width pixels of BitsPerPixel aligned to AlignBits (8, 16 or 32), in 64 bits.
int64_t QxRowBytes(int64_t Width, int32_t BitsPerPixel, int32_t AlignBits);
int32_t QxVclPixelFormatBits(TPixelFormat Format);
TQxPixelFormat QxVclToPixelFormat(TPixelFormat Format);
int64_t QxVclRowBytes(int64_t Width, TPixelFormat Format);

void QxReverseBits8(uint8_t& B);
void QxReverseBits32(uint32_t& V);
inline uint32_t QxSwap16(uint32_t V) { return (V & 0xFFFF0000u) | ((V & 0xFF) << 8) | ((V >> 8) & 0xFF); }
void QxSwap16Array(void* P, int64_t Count);
inline uint32_t QxSwap32(uint32_t V) {
  return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}

long double QxIntPower(long double Base, int32_t Exponent);
long double QxFloatPower(long double Base, long double Exponent);
double QxPowerDouble(double Base, double Exponent);

// A framed text box at (X + 6, Y + 6), moved to fit inside the client area (X and Y come back adjusted);
// the canvas pixels under it are first copied into SaveBitmap (made 24-bit of the box size) when given.
void QxDrawTextBox(TCanvas* Canvas, int32_t& X, int32_t& Y, TColor FrameColor1, TColor FrameColor2,
                   int32_t ClientHeight, int32_t ClientWidth, TBitmap* SaveBitmap, TBrush* Brush, TFont* Font,
                   const std::string& Text);
// A semi-transparent light-yellow hint box as wide as the wider of SizeText and Text.
void QxDrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& SizeText, const std::string& Text);
