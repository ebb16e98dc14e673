#include "imaging/foundation/dib_bitmap.h"

#include <climits>
#include <cstring>

#include "imaging/foundation/temp_storage.h"
#include "imaging/foundation/utils.h"

TQxDibbitmap::TQxDibbitmap() = default;
TQxDibbitmap::~TQxDibbitmap() { FreeDIB(); }

uint8_t* TQxDibbitmap::Scanline(int32_t Row) {
  if (!FDib || Row < 0 || Row >= FHeight) return nullptr;
  return FDib->Bits() + static_cast<int64_t>(FRowLen) * (FHeight - Row - 1);
}

TQxPixelFormat TQxDibbitmap::PixelFormat() {
  if (FBitCount == 1) return TQxPixelFormat::qx1g;
  if (FBitCount == 24) return TQxPixelFormat::qx24RGB;
  return TQxPixelFormat::qxInvalid;
}

bool TQxDibbitmap::Allocate(int32_t AWidth, int32_t AHeight, TQxPixelFormat AFormat) {
  if (AFormat == TQxPixelFormat::qx1g) return AllocateDIB(AWidth, AHeight, 1);
  if (AFormat == TQxPixelFormat::qx24RGB) return AllocateDIB(AWidth, AHeight, 24);
  return false;
}

void TQxDibbitmap::AssignFrom(TQxBaseBitmap* Source) {
  auto* S = dynamic_cast<TQxDibbitmap*>(Source);
  if (!S || S == this) return;
  if (!AllocateDIB(S->FWidth, S->FHeight, S->FBitCount)) return;
  std::memcpy(Bits(), S->Bits(), static_cast<size_t>(FRowLen) * static_cast<size_t>(FHeight));
}

bool TQxDibbitmap::AllocateDIB(int32_t AWidth, int32_t AHeight, int32_t ABitCount) {
  // Negative sizes are refused like zero ones, and the image size must fit its 32-bit header field.
  if (AWidth <= 0 || AHeight <= 0) return false;
  int64_t Row = QxRowBytes(AWidth, ABitCount, 32);
  if (Row <= 0 || Row > INT32_MAX || Row * AHeight > UINT32_MAX) return false;
  TPixelFormat F;
  switch (ABitCount) {
    case 1: F = TPixelFormat::pf1bit; break;
    case 4: F = TPixelFormat::pf4bit; break;
    case 8: F = TPixelFormat::pf8bit; break;
    case 16: F = TPixelFormat::pf16bit; break;
    case 24: F = TPixelFormat::pf24bit; break;
    case 32: F = TPixelFormat::pf32bit; break;
    default: return false;
  }
  FreeDIB();
  FWidth = AWidth;
  FHeight = AHeight;
  FBitCount = ABitCount;
  FRowLen = static_cast<int32_t>(Row);
  FInfo.bmiHeader.biBitCount = static_cast<uint16_t>(ABitCount);
  FInfo.bmiHeader.biWidth = AWidth;
  FInfo.bmiHeader.biHeight = AHeight;
  FInfo.bmiHeader.biSizeImage = static_cast<uint32_t>(Row * AHeight);
  try {
    FDib = std::make_unique<TBitmap>(AWidth, AHeight, F);
  } catch (const std::exception&) {
    FDib.reset();
    return false;
  }
  if (ABitCount == 1) FDib->SetColorTable({FInfo.bmiColors[0], FInfo.bmiColors[1]});
  return true;
}

void TQxDibbitmap::FreeDIB() {
  FDib.reset();
  FWidth = FHeight = FBitCount = 0;
}

TQxWorkBitmap::TQxWorkBitmap(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
  if (AWidth > 0 && AHeight > 0) Allocate(AWidth, AHeight, ABitsPerPixel);
}

TQxWorkBitmap::~TQxWorkBitmap() { FreeMemory(); }

void TQxWorkBitmap::Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
  if (AWidth == FWidth && AHeight == FHeight && ABitsPerPixel == FBitsPerPixel) return;
  FreeMemory();
  if (AWidth < 0 || AHeight < 0 || ABitsPerPixel <= 0) return;
  FWidth = AWidth;
  FHeight = AHeight;
  FBitsPerPixel = ABitsPerPixel;
  FRowLen = QxRowBytes(AWidth, ABitsPerPixel, 32);
  int64_t Size = FRowLen * AHeight;
  if (Size > 0 && static_cast<uint64_t>(Size) <= SIZE_MAX) FMemory = static_cast<uint8_t*>(QxAllocHybrid(static_cast<size_t>(Size)));
}

void TQxWorkBitmap::FreeMemory() {
  if (FMemory) {
    void* P = FMemory;
    QxFreeHybrid(P);
  }
  FMemory = nullptr;
  FWidth = FHeight = FBitsPerPixel = 0;
  FRowLen = 0;
}

uint8_t* TQxWorkBitmap::Scanline(int32_t Row) const {
  if (!FMemory || Row < 0 || Row >= FHeight) return nullptr;
  return FMemory + FRowLen * (FHeight - Row - 1);
}

// ---------------------------------------------------------------- DrawDib

namespace {
int GDrawDibToken = 0;
}

HDRAWDIB QxDrawDibOpen() { return &GDrawDibToken; }
bool QxDrawDibClose(HDRAWDIB Handle) { return Handle != nullptr; }
uint32_t QxDrawDibRealize(HDRAWDIB Handle, HDC DC, bool Background) { return 0; }

bool QxDrawDibDraw(HDRAWDIB Handle, HDC DC, int32_t XDst, int32_t YDst, int32_t DXDst, int32_t DYDst,
                   const TQxBitmapInfoHeader* Header, const void* Bits, int32_t XSrc, int32_t YSrc, int32_t DXSrc,
                   int32_t DYSrc, uint32_t Flags) {
  if (!Handle || !DC || !Header || !Bits || Header->biCompression != BI_RGB) return false;
  int32_t W = Header->biWidth, H = Header->biHeight < 0 ? -Header->biHeight : Header->biHeight;
  bool TopDown = Header->biHeight < 0;
  int Bpp = Header->biBitCount;
  TPixelFormat F;
  switch (Bpp) {
    case 1: F = TPixelFormat::pf1bit; break;
    case 4: F = TPixelFormat::pf4bit; break;
    case 8: F = TPixelFormat::pf8bit; break;
    case 16: F = TPixelFormat::pf15bit; break;  // a 16-bit BI_RGB DIB holds 5-5-5 pixels
    case 24: F = TPixelFormat::pf24bit; break;
    case 32: F = TPixelFormat::pf32bit; break;
    default: return false;
  }
  if (W <= 0 || H <= 0) return false;
  if (DXSrc < 0) DXSrc = W;
  if (DYSrc < 0) DYSrc = H;
  if (DXDst < 0) DXDst = DXSrc;
  if (DYDst < 0) DYDst = DYSrc;
  // Only the part of the source rectangle inside the rows is read.
  int32_t X0 = std::max(0, XSrc), Y0 = std::max(0, YSrc);
  int32_t X1 = static_cast<int32_t>(std::min<int64_t>(W, static_cast<int64_t>(XSrc) + DXSrc));
  int32_t Y1 = static_cast<int32_t>(std::min<int64_t>(H, static_cast<int64_t>(YSrc) + DYSrc));
  if (X0 >= X1 || Y0 >= Y1 || DXSrc == 0 || DYSrc == 0) return true;
  int64_t Row = QxRowBytes(W, Bpp, 32);
  TBitmap Tmp(DXSrc, DYSrc, F);
  if (Bpp <= 8) {
    uint32_t N = Header->biClrUsed ? std::min<uint32_t>(Header->biClrUsed, 1u << Bpp) : (1u << Bpp);
    const auto* Table = reinterpret_cast<const TRGBQuad*>(reinterpret_cast<const uint8_t*>(Header) + Header->biSize);
    Tmp.SetColorTable(std::vector<TRGBQuad>(Table, Table + N));
  }
  const auto* Src = static_cast<const uint8_t*>(Bits);
  int64_t Used = (static_cast<int64_t>(X1) * (Bpp == 16 ? 16 : Bpp) + 7) / 8;
  for (int32_t Y = Y0; Y < Y1; ++Y) {
    const uint8_t* R = Src + Row * (TopDown ? Y : (H - 1 - Y));
    auto* D = static_cast<uint8_t*>(Tmp.ScanLine(Y - YSrc));
    if (XSrc == 0) {
      std::memcpy(D, R, static_cast<size_t>(std::min<int64_t>(Used, Tmp.RowBytes())));
    } else {
      for (int32_t X = X0; X < X1; ++X) {
        // Whole-byte formats copy pixel by pixel; bit formats go through the colour.
        if (Bpp >= 8) {
          int B = Bpp == 16 ? 2 : Bpp / 8;
          std::memcpy(D + static_cast<int64_t>(X - XSrc) * B, R + static_cast<int64_t>(X) * B, static_cast<size_t>(B));
        } else {
          uint32_t V = Bpp == 1 ? (R[X >> 3] >> (7 - (X & 7))) & 1 : ((X & 1) ? R[X >> 1] & 15 : R[X >> 1] >> 4);
          const TRGBQuad& Q = Tmp.ColorTable()[std::min<size_t>(V, Tmp.ColorTable().size() - 1)];
          Tmp.SetPixel(X - XSrc, Y - YSrc, RGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue));
        }
      }
    }
  }
  return StretchBlt(DC, XDst, YDst, DXDst, DYDst, Tmp.Canvas(), 0, 0, DXSrc, DYSrc, SRCCOPY);
}
