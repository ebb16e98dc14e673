// The selection and alpha mask: a 1-bit or 8-bit plane with the bounding box of its set pixels and a
// flag telling that every pixel is set.
#pragma once

#include <climits>
#include <cstdint>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "platform/base/types.h"
#include "platform/graphics/color.h"

class TQxBitmap;
class TCanvas;
class TBitmap;

// Zeroed blocks left unwritten when a vector grows: a large plane gets fresh pages of its own, which stay
// untouched until something is drawn into them, so a picture's unused selection costs no memory or time.
void* QxZeroedPlaneAlloc(size_t Bytes);
void QxZeroedPlaneFree(void* P, size_t Bytes);

template <class T>
struct TQxZeroedAllocator {
  using value_type = T;
  TQxZeroedAllocator() = default;
  template <class U>
  TQxZeroedAllocator(const TQxZeroedAllocator<U>&) {}
  T* allocate(size_t N) {
    if (N > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* P = QxZeroedPlaneAlloc(N * sizeof(T));
    if (!P) throw std::bad_alloc();
    return static_cast<T*>(P);
  }
  void deallocate(T* P, size_t N) { QxZeroedPlaneFree(P, N * sizeof(T)); }
  template <class U, class... A>
  void construct(U* P, A&&... Args) {
    if constexpr (sizeof...(A) == 0)
      ::new (static_cast<void*>(P)) U;  // the block is zero already
    else
      ::new (static_cast<void*>(P)) U(std::forward<A>(Args)...);
  }
  template <class U>
  bool operator==(const TQxZeroedAllocator<U>&) const { return true; }
};

class TQxMask {
 public:
  TQxMask();
  ~TQxMask();
  TQxMask(const TQxMask&) = delete;
  TQxMask& operator=(const TQxMask&) = delete;

  // Separates polygons in the point list of FillPolygons.
  static constexpr int32_t PolygonSeparator = 0xFFFFF;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t BitsPerPixel() const { return bitsPerPixel_; }
  int32_t RowLength() const { return rowLength_; }
  // The row block, bottom row first.
  uint8_t* Bits() { return bits_.empty() ? nullptr : bits_.data(); }

  // Bounding box of the selected area, inclusive; X1 = MaxInt when empty.
  int32_t X1 = INT32_MAX, Y1 = INT32_MAX, X2 = 0, Y2 = 0;
  bool Full = false;

  void Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel);
  void FreeStorage();
  void ChangeSize(int32_t NewWidth, int32_t NewHeight);
  uint8_t* Scanline(int32_t Y);
  int32_t GetPixel(int32_t X, int32_t Y) const;
  bool IsSelected(int32_t X, int32_t Y) const { return GetPixel(X, Y) != 0; }
  void SetPixel(int32_t X, int32_t Y, int32_t Value);
  void Fill(uint8_t Value);
  void Clear();
  bool IsEmpty() const { return X1 == INT32_MAX; }
  void EmptyBox();
  void SyncBoundingBox();
  void UpdateFull();
  int32_t FillSpan(int32_t Value, int32_t AX1, int32_t Y, int32_t AX2);
  void FillPolygon(int32_t Value, const TPoint* Points, int32_t Count);
  void FillPolygons(int32_t Value, const TPoint* Points, int32_t Count);
  void Translate(int32_t& DX, int32_t& DY, bool Clip);
  void CopyBitmap(TQxBitmap* Dest, TQxBitmap* Source, bool DestRelative, bool SourceRelative, bool CopyAlpha);
  void CopyAlpha(TQxBitmap* Dest, TQxBitmap* Source, bool DestRelative, bool SourceRelative);
  void DrawXor(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
               int32_t YSrc, int32_t WSrc, int32_t HSrc);
  void DrawSelectionBorder(TCanvas* Canvas, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                           int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Phase, TColor ColorA, TColor ColorB,
                           TRect* Rect);
  void ShadeUnselected(TBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t WDst, int32_t HDst, int32_t XSrc,
                       int32_t YSrc, int32_t WSrc, int32_t HSrc, int32_t Opacity, TColor Color);

 private:
  void ScaleToBuffer(int32_t WDst, int32_t HDst, int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc);
  uint8_t* BufferRow(int32_t Y);
  bool BufferPixel(int32_t X, int32_t Y);
  void WidenBox(int32_t X, int32_t Y);

  int32_t width_ = 0, height_ = 0, bitsPerPixel_ = 0, rowLength_ = 0;
  std::vector<uint8_t, TQxZeroedAllocator<uint8_t>> bits_;
  std::vector<uint8_t> buffer_;
  int32_t bufferWidth_ = 0, bufferHeight_ = 0, bufferRowLength_ = 0;
};

// Sets Mask from a qx1g bitmap (1 bit) or an alpha channel (qx8g, 8 bits).
void QxMaskFromBitmap(TQxBitmap* Bitmap, TQxMask* Mask);
