#pragma once
// TBitmap: rows bottom-up in one block, each padded to 4 bytes, with a colour table for pf1/pf4/pf8.
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/large_blocks.h"
#include "platform/graphics/color.h"
#include "platform/graphics/picture.h"

enum class TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum class TTransparentMode : uint8_t { tmAuto, tmFixed };
enum class TBitmapHandleType : uint8_t { bmDIB, bmDDB };

struct TRGBQuad {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;
  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

// Bits per pixel of a format; pfDevice counts as 32, pfCustom as 0.
int BitsPerPixelOf(TPixelFormat Format);
// Bytes of one row padded to 4 bytes, in 64 bits.
int64_t BytesPerScanline(int64_t Width, int BitsPerPixel);

class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int32_t AWidth, int32_t AHeight, TPixelFormat Format = TPixelFormat::pf24bit);
  ~TBitmap() override;

  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  // Keeps the content that still fits; new pixels are white. Negative sizes raise EInvalidGraphic.
  void SetSize(int32_t AWidth, int32_t AHeight);
  // A new picture whose every pixel the caller is about to write: only row padding is set (to 0).
  void SetSizeUninitialised(int32_t AWidth, int32_t AHeight, TPixelFormat Format);
  // Grows to AWidth x AHeight (no smaller than now) in one pass over the pixels: the old picture lands at
  // (OffsetX, OffsetY) and every other pixel takes the native value FillPixel (BytesPerPixel bytes).
  // Formats of less than 8 bits per pixel raise EInvalidGraphicOperation.
  void GrowTo(int32_t AWidth, int32_t AHeight, int32_t OffsetX, int32_t OffsetY, const uint8_t* FillPixel);
  bool Empty() const override { return FWidth == 0 || FHeight == 0; }

  TPixelFormat PixelFormat() const { return FPixelFormat; }
  // Converts the pixels to the new format (indexed formats take the nearest table entry).
  void SetPixelFormat(TPixelFormat Value);
  int BitsPerPixel() const;
  int32_t RowBytes() const { return FRowBytes; }
  // Row 0 is the top row; rows lie bottom-up, so ScanLine(1) = ScanLine(0) - RowBytes().
  void* ScanLine(int32_t Row);
  const void* ScanLine(int32_t Row) const;
  // The start of the block, i.e. the bottom row.
  uint8_t* Bits() { return FBits.empty() ? nullptr : FBits.data(); }
  const uint8_t* Bits() const { return FBits.empty() ? nullptr : FBits.data(); }

  // Colour table of pf1/pf4/pf8 (2, 16, 256 entries by default); empty for the direct formats.
  const std::vector<TRGBQuad>& ColorTable() const { return FColorTable; }
  void SetColorTable(const std::vector<TRGBQuad>& Table);

  bool Monochrome() const { return FPixelFormat == TPixelFormat::pf1bit; }
  void SetMonochrome(bool Value);
  TBitmapHandleType HandleType() const { return FHandleType; }
  void SetHandleType(TBitmapHandleType Value) { FHandleType = Value; }

  // tmAuto: the colour of the bottom-left pixel; tmFixed: the stored colour.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return FTransparentMode; }
  void SetTransparentMode(TTransparentMode Value);

  TCanvas* Canvas();

  // Turns the bitmap into a monochrome mask: white where it held TransparentColor, black elsewhere.
  void Mask(TColor ATransparentColor);
  // A new monochrome mask of the same size, as Mask() would make, the bitmap left unchanged.
  std::unique_ptr<TBitmap> CreateMask(TColor ATransparentColor) const;

  // Pixel colour as 0x00BBGGRR (index formats through the table).
  COLORREF GetPixel(int32_t X, int32_t Y) const;
  // Stores the colour (index formats: the nearest table entry); outside the bitmap nothing happens.
  void SetPixel(int32_t X, int32_t Y, COLORREF Color);
  // The index of the table entry nearest to Color.
  int NearestIndex(COLORREF Color) const;

  void Draw(TCanvas* ACanvas, const TRect& Rect) const override;
  bool Assign(const TGraphic* Source) override;
  void Assign(const TBitmap& Source);
  std::unique_ptr<TGraphic> Clone() const override;

  // Handle-management calls of the GUI library; pixels stay in memory here, so they do nothing.
  void Dormant() {}
  void FreeImage() {}
  void ReleaseHandle() {}

  // Notifies OnChange after pixels were written directly through ScanLine.
  void Modified() { Changed(); }

 private:
  friend class TCanvas;
  // Without Initialise the pixels are left unset (padding still zeroed) and Keep is ignored.
  void Reallocate(int32_t AWidth, int32_t AHeight, TPixelFormat Format, bool Keep, bool Initialise = true);
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FRowBytes = 0;
  TPixelFormat FPixelFormat = TPixelFormat::pfDevice;
  TBitmapHandleType FHandleType = TBitmapHandleType::bmDIB;
  TTransparentMode FTransparentMode = TTransparentMode::tmAuto;
  TColor FTransparentColor = clDefault;
  // Pixel rows are always written in full after allocation, so they skip the zero fill. Large blocks are
  // shared with every other bitmap kind (see large_blocks.h): freed ones serve the next picture of that size.
  template <class T>
  struct TNoInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
      using other = TNoInitAllocator<U>;
    };
    T* allocate(size_t N) {
      if (N <= SIZE_MAX / sizeof(T) && N * sizeof(T) >= LargeBlockMinBytes)
        if (void* P = AllocLargeBlock(N * sizeof(T), false)) return static_cast<T*>(P);
      return std::allocator<T>::allocate(N);
    }
    void deallocate(T* P, size_t N) {
      if (N * sizeof(T) >= LargeBlockMinBytes && FreeLargeBlock(P)) return;
      std::allocator<T>::deallocate(P, N);
    }
    template <class U, class... Args>
    void construct(U* P, Args&&... A) {
      if constexpr (sizeof...(Args) == 0)
        ::new (static_cast<void*>(P)) U;
      else
        ::new (static_cast<void*>(P)) U(std::forward<Args>(A)...);
    }
  };
  std::vector<uint8_t, TNoInitAllocator<uint8_t>> FBits;
  std::vector<TRGBQuad> FColorTable;
  std::unique_ptr<TCanvas> FCanvas;
};

// The default colour tables: black/white, the 16 VGA colours, and a 256-entry halftone table.
std::vector<TRGBQuad> DefaultColorTable(TPixelFormat Format);

// Writes the bitmap as an 8-bit RGB (pf32: RGBA when AlphaChannel) PNG file; false on failure.
bool SaveBitmapToPngFile(const TBitmap& Bitmap, const std::string& Path, bool AlphaChannel = false);
// Decodes PNG data held in memory (the artwork embedded in the program) into premultiplied 0xAARRGGBB
// pixels, rows top first; false when it does not decode.
bool DecodePngPixels(const unsigned char* Data, size_t Size, int32_t& Width, int32_t& Height,
                     std::vector<uint32_t>& Pixels);
