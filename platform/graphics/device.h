#pragma once
// Internal: the device-context state behind a TCanvas and the clipped pixel writer every drawing
// routine goes through.
#include <algorithm>
#include <cstdint>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/graphics/canvas.h"
#include "platform/graphics/pixel_access.h"
#include "platform/graphics/shapes.h"

struct TCanvasState {
  COLORREF BkColor = 0xFFFFFF;
  COLORREF TextColor = 0;
  int BkMode = OPAQUE;
  int Rop2 = R2_COPYPEN;
  int PolyFillMode = ALTERNATE;
  int StretchMode = BLACKONWHITE;
  uint32_t TextAlign = 0;
  TPoint BrushOrg;
  TPoint ViewportOrg;
  TPoint WindowOrg;
  bool FlipY = false;
  bool HasClip = false;
  TRegion Clip;  // device coordinates
};

struct TCanvasAccess {
  static TCanvasState& State(TCanvas* C) { return *C->FState; }
  static TPoint& PenPos(TCanvas* C) { return C->FPenPos; }
  static void Changing(TCanvas* C) { C->Changing(); }
  static void Changed(TCanvas* C) { C->Changed(); }
};

namespace qvgfx {

// Fills beyond the size of the caches bypass them, as a large memcpy does.
constexpr int64_t StreamingBytes = int64_t(16) << 20;

inline void FillRow32(uint32_t* P, int64_t N, uint32_t V, bool Stream) {
#if defined(__SSE2__)
  if (Stream && N >= 16) {
    while ((reinterpret_cast<uintptr_t>(P) & 15) != 0 && N > 0) {
      *P++ = V;
      --N;
    }
    __m128i X = _mm_set1_epi32(static_cast<int>(V));
    for (; N >= 8; N -= 8, P += 8) {
      _mm_stream_si128(reinterpret_cast<__m128i*>(P), X);
      _mm_stream_si128(reinterpret_cast<__m128i*>(P + 4), X);
    }
    while (N-- > 0) *P++ = V;
    return;
  }
#endif
  std::fill(P, P + N, V);
}

inline void StreamFence() {
#if defined(__SSE2__)
  _mm_sfence();
#endif
}

// Binary raster operation: T is the R2_ code minus 1, bit (P << 1 | D) of T gives the result bit.
inline uint32_t ApplyRop2(int T, uint32_t P, uint32_t D) {
  switch (T) {
    case 12: return P;
    case 6: return P ^ D;
    case 5: return ~D;
    case 10: return D;
    case 0: return 0;
    case 15: return 0xFFFFFFFFu;
    default: break;
  }
  uint32_t R = 0;
  if (T & 1) R |= ~P & ~D;
  if (T & 2) R |= ~P & D;
  if (T & 4) R |= P & ~D;
  if (T & 8) R |= P & D;
  return R;
}

// Ternary raster operation: bit (P << 2 | S << 1 | D) of the operation's index byte.
inline uint32_t ApplyRop3(uint8_t Op, uint32_t P, uint32_t S, uint32_t D) {
  uint32_t R = 0;
  if (Op & 0x01) R |= ~P & ~S & ~D;
  if (Op & 0x02) R |= ~P & ~S & D;
  if (Op & 0x04) R |= ~P & S & ~D;
  if (Op & 0x08) R |= ~P & S & D;
  if (Op & 0x10) R |= P & ~S & ~D;
  if (Op & 0x20) R |= P & ~S & D;
  if (Op & 0x40) R |= P & S & ~D;
  if (Op & 0x80) R |= P & S & D;
  return R;
}

class TDevice {
 public:
  explicit TDevice(TCanvas* C);
  bool Valid() const { return S.Valid() && !Clip.empty(); }
  // First and last-plus-one logical row or column of [A, B) that can reach the bitmap.
  int32_t RowFrom(int32_t A) const { return static_cast<int32_t>(std::max<int64_t>(A, int64_t(Bounds.Top) - OrgY)); }
  int32_t RowTo(int32_t B) const { return static_cast<int32_t>(std::min<int64_t>(B, int64_t(Bounds.Bottom) - OrgY)); }
  int32_t ColFrom(int32_t A) const { return static_cast<int32_t>(std::max<int64_t>(A, int64_t(Bounds.Left) - OrgX)); }
  int32_t ColTo(int32_t B) const { return static_cast<int32_t>(std::min<int64_t>(B, int64_t(Bounds.Right) - OrgX)); }
  // The bitmap grown by two pixels: shapes are built only this far.
  TRect Window() const { return TRect(Bounds.Left - 2, Bounds.Top - 2, Bounds.Right + 2, Bounds.Bottom + 2); }
  // Device position of a logical point.
  int32_t DX(int32_t X) const { return X + OrgX; }
  int32_t DY(int32_t Y) const { return Y + OrgY; }
  uint32_t Native(COLORREF C) const { return ColorToNative(*S.Bmp, C & 0xFFFFFF); }
  COLORREF Color(uint32_t V) const { return NativeToColor(*S.Bmp, V); }

  // Calls F(Y, X1, X2) for each visible piece of the device span [X1, X2) of row Y.
  template <typename F>
  void Span(int32_t Y, int32_t X1, int32_t X2, F&& Fn) const {
    if (X2 <= X1 || Y < Bounds.Top || Y >= Bounds.Bottom) return;
    for (auto It = FirstClipFor(Y); It != Clip.end(); ++It) {
      const TRect& R = *It;
      if (R.Top > Y) break;
      if (Y >= R.Bottom) continue;
      int32_t A = std::max(X1, R.Left), B = std::min(X2, R.Right);
      if (A < B) Fn(Y, A, B);
    }
  }
  bool Visible(int32_t X, int32_t Y) const {
    if (!PtInRect(Bounds, TPoint(X, Y))) return false;
    for (auto It = FirstClipFor(Y); It != Clip.end(); ++It) {
      const TRect& R = *It;
      if (R.Top > Y) break;
      if (PtInRect(R, TPoint(X, Y))) return true;
    }
    return false;
  }

  // The pen's binary raster operation on one device pixel.
  void Plot(int32_t X, int32_t Y, uint32_t P, int Rop2) const {
    if (!Visible(X, Y)) return;
    S.Set(X, Y, ApplyRop2(Rop2 - 1, P, S.Get(X, Y)) & S.Mask());
  }
  // A solid span with a binary raster operation (device coordinates).
  void FillSpan(int32_t Y, int32_t X1, int32_t X2, uint32_t P, int Rop2, bool Stream = false) const;
  // A shape (device coordinates) with a solid value.
  void FillShape(const TShape& Sh, uint32_t P, int Rop2) const {
    int64_t Bytes = 0;
    if (S.Bpp == 32)
      for (const auto& R : Sh.Rows)
        for (auto [A, B] : R) Bytes += 4 * static_cast<int64_t>(B - A);
    bool Stream = Bytes > StreamingBytes;
    for (size_t I = 0; I < Sh.Rows.size(); ++I)
      for (auto [A, B] : Sh.Rows[I]) FillSpan(Sh.Top + static_cast<int32_t>(I), A, B, P, Rop2, Stream);
    if (Stream) StreamFence();
  }

  TSurface S;
  TCanvasState& St;
  std::vector<TRect> Clip;  // banded, device coordinates, inside the bitmap
  // The first clip rectangle that can hold row Y. A clip of thousands of bands (a transition's shapes) would
  // otherwise be walked from the top for every row.
  std::vector<TRect>::const_iterator FirstClipFor(int32_t Y) const {
    if (Clip.size() < 8 || !ClipBottomsSorted) return Clip.begin();
    return std::partition_point(Clip.begin(), Clip.end(), [Y](const TRect& R) { return R.Bottom <= Y; });
  }
  bool ClipBottomsSorted = true;
  TRect Bounds;             // the bitmap
  int32_t OrgX = 0, OrgY = 0;
};

// The brush as a source of pattern values at device pixels.
class TBrushSource {
 public:
  TBrushSource(const TDevice& D, const TBrush& B);
  bool Empty() const { return FKind == 0; }
  bool Solid() const { return FKind == 1; }
  uint32_t SolidValue() const { return FSolid; }
  // False when the pixel is left alone (transparent hatch background).
  bool At(int32_t X, int32_t Y, uint32_t& P) const;

 private:
  int FKind = 0;  // 0 none, 1 solid, 2 hatch, 3 pattern
  uint32_t FSolid = 0, FBack = 0;
  bool FOpaque = true;
  int FHatch = 0;
  int32_t FOrgX = 0, FOrgY = 0;
  std::vector<uint32_t> FPattern;
  int32_t FPW = 0, FPH = 0;
};

// Fills a device shape with the brush under a binary raster operation.
void FillShapeWithBrush(const TDevice& D, const TShape& Sh, const TBrushSource& B, int Rop2);

}  // namespace qvgfx
