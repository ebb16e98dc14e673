#include "platform/graphics/bitmap.h"

#include <cairo.h>

#include <cstring>

#include <climits>
#include <new>
#include <utility>
#include <vector>

#include "platform/base/exceptions.h"
#include "platform/base/parallel.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/pixel_access.h"

using qvgfx::TSurface;

int BitsPerPixelOf(TPixelFormat Format) {
  switch (Format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit: return 15;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit:
    case TPixelFormat::pfDevice: return 32;
    default: return 0;
  }
}

int64_t BytesPerScanline(int64_t Width, int BitsPerPixel) {
  int Bits = BitsPerPixel == 15 ? 16 : BitsPerPixel;
  return ((Width * Bits + 31) / 32) * 4;
}

std::vector<TRGBQuad> DefaultColorTable(TPixelFormat Format) {
  auto Q = [](uint8_t R, uint8_t G, uint8_t B) { return TRGBQuad{B, G, R, 0}; };
  static const TRGBQuad Vga[16] = {Q(0, 0, 0),       Q(128, 0, 0),   Q(0, 128, 0),   Q(128, 128, 0),
                                   Q(0, 0, 128),     Q(128, 0, 128), Q(0, 128, 128), Q(192, 192, 192),
                                   Q(128, 128, 128), Q(255, 0, 0),   Q(0, 255, 0),   Q(255, 255, 0),
                                   Q(0, 0, 255),     Q(255, 0, 255), Q(0, 255, 255), Q(255, 255, 255)};
  std::vector<TRGBQuad> T;
  switch (Format) {
    case TPixelFormat::pf1bit: T = {Q(0, 0, 0), Q(255, 255, 255)}; break;
    case TPixelFormat::pf4bit: T.assign(Vga, Vga + 16); break;
    case TPixelFormat::pf8bit:
      T.assign(Vga, Vga + 16);
      for (int R = 0; R < 6; ++R)
        for (int G = 0; G < 6; ++G)
          for (int B = 0; B < 6; ++B)
            T.push_back(Q(static_cast<uint8_t>(R * 51), static_cast<uint8_t>(G * 51), static_cast<uint8_t>(B * 51)));
      for (int I = 0; I < 24; ++I) {
        uint8_t V = static_cast<uint8_t>(8 + I * 10);
        T.push_back(Q(V, V, V));
      }
      break;
    default: break;
  }
  return T;
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int32_t AWidth, int32_t AHeight, TPixelFormat Format) {
  Reallocate(AWidth, AHeight, Format, false);
}

TBitmap::~TBitmap() = default;

void TBitmap::Reallocate(int32_t AWidth, int32_t AHeight, TPixelFormat Format, bool Keep, bool Initialise) {
  if (AWidth < 0 || AHeight < 0) throw EInvalidGraphic("Invalid bitmap size");
  int Bpp = BitsPerPixelOf(Format);
  if (Bpp == 0) throw EInvalidGraphic("Invalid pixel format");
  int64_t Row = BytesPerScanline(AWidth, Bpp);
  if (Row > INT32_MAX) throw EInvalidGraphic("Bitmap too large");
  int64_t Total = Row * AHeight;
  decltype(FBits) Bits;
  try {
    Bits.resize(static_cast<size_t>(Total));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory while creating a bitmap");
  } catch (const std::length_error&) {
    throw EOutOfMemory("Out of memory while creating a bitmap");
  }
  TBitmap Old;
  bool HadPixels = Keep && Initialise && !Empty();
  if (HadPixels) {
    Old.FWidth = FWidth;
    Old.FHeight = FHeight;
    Old.FRowBytes = FRowBytes;
    Old.FPixelFormat = FPixelFormat;
    Old.FBits.swap(FBits);
    Old.FColorTable = FColorTable;
  }
  bool FormatChanged = Format != FPixelFormat;
  FWidth = AWidth;
  FHeight = AHeight;
  FRowBytes = static_cast<int32_t>(Row);
  FPixelFormat = Format;
  FBits.swap(Bits);
  if (Bpp > 8) {
    FColorTable.clear();
  } else if (FormatChanged || FColorTable.size() != (static_cast<size_t>(1) << Bpp)) {
    FColorTable = DefaultColorTable(Format);
  }
  if (Empty()) return;
  const size_t PaddingFrom = static_cast<size_t>((static_cast<int64_t>(FWidth) * Bpp) / 8);
  if (!Initialise) {
    if (PaddingFrom < static_cast<size_t>(FRowBytes))
      for (int32_t Y = 0; Y < FHeight; ++Y)
        std::memset(static_cast<uint8_t*>(ScanLine(Y)) + PaddingFrom, 0, static_cast<size_t>(FRowBytes) - PaddingFrom);
    return;
  }
  // New pixels start white, as a fresh bitmap does.
  TSurface S(this);
  uint32_t White = qvgfx::ColorToNative(*this, 0xFFFFFF);
  int32_t KeepW = 0, KeepH = 0;
  if (HadPixels) {
    KeepW = std::min(FWidth, Old.FWidth);
    KeepH = std::min(FHeight, Old.FHeight);
  }
  TSurface O(&Old);
  bool Same = HadPixels && Old.BitsPerPixel() == Bpp && Old.FColorTable == FColorTable;
  // Bytes no pixel fully covers (row padding, the tail of a packed last byte) are zeroed first.
  const size_t FullBytes = static_cast<size_t>((static_cast<int64_t>(FWidth) * Bpp) / 8);
  // Rows are independent: a large bitmap is filled on every core, which also spreads the first touch of
  // fresh memory.
  const bool Large = static_cast<int64_t>(FRowBytes) * FHeight >= (int64_t(4) << 20);
  ParallelBands(0, FHeight, Large ? 64 : INT32_MAX, [&](int32_t FirstRow, int32_t LastRow) {
    for (int32_t Y = FirstRow; Y < LastRow; ++Y) {
      if (FullBytes < static_cast<size_t>(FRowBytes))
        std::memset(S.Row(Y) + FullBytes, 0, static_cast<size_t>(FRowBytes) - FullBytes);
      int32_t X = 0;
      if (Y < KeepH) {
        if (Same && Bpp >= 8) {
          std::memcpy(S.Row(Y), O.Row(Y), static_cast<size_t>(KeepW) * (Bpp == 15 ? 2 : Bpp / 8));
        } else {
          for (int32_t I = 0; I < KeepW; ++I) {
            uint32_t V = O.Get(I, Y);
            if (!Same) {
              uint32_t A = Old.BitsPerPixel() == 32 && Bpp == 32 ? (V & 0xFF000000u) : 0;
              V = qvgfx::ColorToNative(*this, qvgfx::NativeToColor(Old, V)) | A;
            }
            S.Set(I, Y, V);
          }
        }
        X = KeepW;
      }
      if (Bpp == 32 && X < FWidth) {
        auto* P = reinterpret_cast<uint32_t*>(S.Row(Y));
        std::fill(P + X, P + FWidth, White);
      } else if (Bpp == 24 && X < FWidth) {
        std::memset(S.Row(Y) + 3 * static_cast<int64_t>(X), 0xFF, 3 * static_cast<size_t>(FWidth - X));
      } else {
        for (; X < FWidth; ++X) S.Set(X, Y, White);
      }
    }
  });
}

void TBitmap::SetSizeUninitialised(int32_t AWidth, int32_t AHeight, TPixelFormat Format) {
  if (Format == TPixelFormat::pfCustom) throw EInvalidGraphic("Invalid pixel format");
  Reallocate(AWidth, AHeight, Format, false, false);
  Changed();
}

void TBitmap::GrowTo(int32_t AWidth, int32_t AHeight, int32_t OffsetX, int32_t OffsetY, const uint8_t* FillPixel) {
  const int Bpp = BitsPerPixel();
  if (Bpp < 8) throw EInvalidGraphicOperation("Cannot grow a bitmap of less than 8 bits per pixel in place");
  if (AWidth < FWidth || AHeight < FHeight || OffsetX < 0 || OffsetY < 0 ||
      static_cast<int64_t>(OffsetX) + FWidth > AWidth || static_cast<int64_t>(OffsetY) + FHeight > AHeight)
    throw EInvalidGraphicOperation("The old picture does not fit the grown one");
  const int B = Bpp == 15 ? 2 : Bpp / 8;
  // One row of the fill value, copied from wherever a new row or margin needs it.
  std::vector<uint8_t> FillRow(static_cast<size_t>(AWidth) * B);
  for (int32_t X = 0; X < AWidth; ++X) std::memcpy(FillRow.data() + static_cast<size_t>(X) * B, FillPixel, B);
  TBitmap Old;
  Old.FWidth = FWidth;
  Old.FHeight = FHeight;
  Old.FRowBytes = FRowBytes;
  Old.FPixelFormat = FPixelFormat;
  Old.FBits.swap(FBits);
  try {
    Reallocate(AWidth, AHeight, FPixelFormat, false, false);
  } catch (...) {
    FBits.swap(Old.FBits);
    FWidth = Old.FWidth;
    FHeight = Old.FHeight;
    FRowBytes = Old.FRowBytes;
    throw;
  }
  const size_t OldBytes = static_cast<size_t>(Old.FWidth) * B;
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    auto* Row = static_cast<uint8_t*>(ScanLine(Y));
    const int32_t OY = Y - OffsetY;
    if (OY < 0 || OY >= Old.FHeight || OldBytes == 0) {
      std::memcpy(Row, FillRow.data(), FillRow.size());
      continue;
    }
    const size_t Left = static_cast<size_t>(OffsetX) * B;
    std::memcpy(Row, FillRow.data(), Left);
    std::memcpy(Row + Left, Old.ScanLine(OY), OldBytes);
    std::memcpy(Row + Left + OldBytes, FillRow.data(), FillRow.size() - Left - OldBytes);
  }
  Changed();
}

void TBitmap::SetWidth(int32_t Value) { SetSize(Value, FHeight); }
void TBitmap::SetHeight(int32_t Value) { SetSize(FWidth, Value); }

void TBitmap::SetSize(int32_t AWidth, int32_t AHeight) {
  if (AWidth == FWidth && AHeight == FHeight) return;
  Reallocate(AWidth, AHeight, FPixelFormat, true);
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == FPixelFormat) return;
  if (Value == TPixelFormat::pfCustom) throw EInvalidGraphic("Invalid pixel format");
  Reallocate(FWidth, FHeight, Value, true);
  Changed();
}

int TBitmap::BitsPerPixel() const { return BitsPerPixelOf(FPixelFormat); }

void* TBitmap::ScanLine(int32_t Row) {
  if (Row < 0 || Row >= FHeight) throw EInvalidGraphicOperation("Scan line index out of range");
  return FBits.data() + static_cast<int64_t>(FHeight - 1 - Row) * FRowBytes;
}

const void* TBitmap::ScanLine(int32_t Row) const { return const_cast<TBitmap*>(this)->ScanLine(Row); }

void TBitmap::SetColorTable(const std::vector<TRGBQuad>& Table) {
  int Bpp = BitsPerPixel();
  if (Bpp > 8) return;
  FColorTable = Table;
  FColorTable.resize(static_cast<size_t>(1) << Bpp);
  Changed();
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  SetPixelFormat(Value ? TPixelFormat::pf1bit : TPixelFormat::pfDevice);
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == TTransparentMode::tmFixed && FTransparentColor != clDefault) return FTransparentColor;
  if (Empty()) return clDefault;
  return static_cast<TColor>(GetPixel(0, FHeight - 1));
}

void TBitmap::SetTransparentColor(TColor Value) {
  FTransparentColor = Value;
  FTransparentMode = Value == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == FTransparentMode) return;
  if (Value == TTransparentMode::tmAuto) {
    FTransparentColor = clDefault;
    FTransparentMode = Value;
  } else {
    FTransparentColor = TransparentColor();
    FTransparentMode = Value;
  }
  Changed();
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TCanvas>(this);
  return FCanvas.get();
}

std::unique_ptr<TBitmap> TBitmap::CreateMask(TColor ATransparentColor) const {
  auto M = std::make_unique<TBitmap>(FWidth, FHeight, TPixelFormat::pf1bit);
  COLORREF Key = static_cast<COLORREF>(ColorToRGB(ATransparentColor)) & 0xFFFFFF;
  TSurface S(const_cast<TBitmap*>(this)), D(M.get());
  for (int32_t Y = 0; Y < FHeight; ++Y)
    for (int32_t X = 0; X < FWidth; ++X) D.Set(X, Y, qvgfx::NativeToColor(*this, S.Get(X, Y)) == Key ? 1 : 0);
  return M;
}

void TBitmap::Mask(TColor ATransparentColor) {
  auto M = CreateMask(ATransparentColor);
  FPixelFormat = TPixelFormat::pf1bit;
  FRowBytes = M->FRowBytes;
  FBits.swap(M->FBits);
  FColorTable = M->FColorTable;
  Changed();
}

COLORREF TBitmap::GetPixel(int32_t X, int32_t Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0xFFFFFFFF;
  TSurface S(const_cast<TBitmap*>(this));
  return qvgfx::NativeToColor(*this, S.Get(X, Y));
}

void TBitmap::SetPixel(int32_t X, int32_t Y, COLORREF Color) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  TSurface S(this);
  S.Set(X, Y, qvgfx::ColorToNative(*this, Color & 0xFFFFFF));
}

int TBitmap::NearestIndex(COLORREF Color) const {
  int Best = 0;
  int64_t BestD = INT64_MAX;
  int R = GetRValue(Color), G = GetGValue(Color), B = GetBValue(Color);
  for (size_t I = 0; I < FColorTable.size(); ++I) {
    const TRGBQuad& Q = FColorTable[I];
    int64_t D = (int64_t)(Q.rgbRed - R) * (Q.rgbRed - R) + (int64_t)(Q.rgbGreen - G) * (Q.rgbGreen - G) +
                (int64_t)(Q.rgbBlue - B) * (Q.rgbBlue - B);
    if (D < BestD) {
      BestD = D;
      Best = static_cast<int>(I);
      if (D == 0) break;
    }
  }
  return Best;
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) const {
  if (!ACanvas || Empty()) return;
  TCanvas* Src = const_cast<TBitmap*>(this)->Canvas();
  if (Transparent()) {
    TransparentBlt(ACanvas, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), Src, 0, 0, FWidth, FHeight,
                   static_cast<COLORREF>(ColorToRGB(TransparentColor())) & 0xFFFFFF);
  } else {
    ACanvas->RequiredState();
    StretchBlt(ACanvas, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), Src, 0, 0, FWidth, FHeight,
               ACanvas->CopyMode());
  }
}

void TBitmap::Assign(const TBitmap& Source) {
  if (&Source == this) return;
  FWidth = Source.FWidth;
  FHeight = Source.FHeight;
  FRowBytes = Source.FRowBytes;
  FPixelFormat = Source.FPixelFormat;
  FHandleType = Source.FHandleType;
  FTransparentMode = Source.FTransparentMode;
  FTransparentColor = Source.FTransparentColor;
  FBits = Source.FBits;
  FColorTable = Source.FColorTable;
  FTransparent = Source.FTransparent;
  Changed();
}

bool TBitmap::Assign(const TGraphic* Source) {
  if (!Source) {
    SetSize(0, 0);
    return true;
  }
  if (auto* B = dynamic_cast<const TBitmap*>(Source)) {
    Assign(*B);
    return true;
  }
  // Any other picture is drawn onto a white bitmap of its size.
  Reallocate(Source->Width(), Source->Height(), TPixelFormat::pfDevice, false);
  if (!Empty()) Source->Draw(Canvas(), TRect(0, 0, FWidth, FHeight));
  Changed();
  return true;
}

std::unique_ptr<TGraphic> TBitmap::Clone() const {
  auto B = std::make_unique<TBitmap>();
  B->Assign(*this);
  return B;
}

namespace {

struct TPngReadState {
  const unsigned char* Data;
  size_t Size;
  size_t Pos;
};

cairo_status_t ReadPngData(void* Closure, unsigned char* Out, unsigned int Length) {
  auto* s = static_cast<TPngReadState*>(Closure);
  if (Length > s->Size - s->Pos) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(Out, s->Data + s->Pos, Length);
  s->Pos += Length;
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool DecodePngPixels(const unsigned char* Data, size_t Size, int32_t& Width, int32_t& Height,
                     std::vector<uint32_t>& Pixels) {
  TPngReadState St{Data, Size, 0};
  cairo_surface_t* S = cairo_image_surface_create_from_png_stream(ReadPngData, &St);
  const bool Ok = cairo_surface_status(S) == CAIRO_STATUS_SUCCESS;
  if (Ok) {
    cairo_surface_flush(S);
    Width = cairo_image_surface_get_width(S);
    Height = cairo_image_surface_get_height(S);
    const unsigned char* Base = cairo_image_surface_get_data(S);
    const int Stride = cairo_image_surface_get_stride(S);
    Pixels.resize(size_t(Width) * size_t(Height));
    for (int32_t Y = 0; Y < Height; ++Y)
      std::memcpy(Pixels.data() + size_t(Y) * size_t(Width), Base + int64_t(Y) * Stride, size_t(Width) * 4);
  }
  cairo_surface_destroy(S);
  return Ok;
}

bool SaveBitmapToPngFile(const TBitmap& Bitmap, const std::string& Path, bool AlphaChannel) {
  if (Bitmap.Empty()) return false;
  bool Alpha = AlphaChannel && Bitmap.BitsPerPixel() == 32;
  cairo_surface_t* Surf =
      cairo_image_surface_create(Alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, Bitmap.Width(), Bitmap.Height());
  if (cairo_surface_status(Surf) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(Surf);
    return false;
  }
  cairo_surface_flush(Surf);
  unsigned char* Data = cairo_image_surface_get_data(Surf);
  int Stride = cairo_image_surface_get_stride(Surf);
  TSurface S(const_cast<TBitmap*>(&Bitmap));
  for (int32_t Y = 0; Y < Bitmap.Height(); ++Y) {
    auto* Out = reinterpret_cast<uint32_t*>(Data + static_cast<int64_t>(Stride) * Y);
    for (int32_t X = 0; X < Bitmap.Width(); ++X) {
      uint32_t V = S.Get(X, Y);
      COLORREF C = qvgfx::NativeToColor(Bitmap, V);
      uint32_t R = GetRValue(C), G = GetGValue(C), B = GetBValue(C), A = 255;
      if (Alpha) {
        A = V >> 24;
        R = (R * A + 127) / 255;
        G = (G * A + 127) / 255;
        B = (B * A + 127) / 255;
      }
      Out[X] = (A << 24) | (R << 16) | (G << 8) | B;
    }
  }
  cairo_surface_mark_dirty(Surf);
  bool Ok = cairo_surface_write_to_png(Surf, Path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(Surf);
  return Ok;
}
