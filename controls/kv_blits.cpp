#include "controls/kv_blits.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/ui/forms.h"

namespace {

// A colour copy of the destination's size holding the stretched source part, and its mask
// (white where the copy has the transparent colour).
struct TTransparentParts {
  std::unique_ptr<TBitmap> Copy;
  std::unique_ptr<TBitmap> Mask;
};

TTransparentParts MakeParts(TBitmap* Bitmap, const TRect& Dest, const TRect& Source, TColor Transparent) {
  TTransparentParts p;
  int32_t w = std::abs(Dest.Width()), h = std::abs(Dest.Height());
  p.Copy = std::make_unique<TBitmap>(w, h, TPixelFormat::pf32bit);
  StretchBlt(p.Copy->Canvas(), 0, 0, w, h, Bitmap->Canvas(), Source.Left, Source.Top, Source.Width(),
             Source.Height(), SRCCOPY);
  p.Mask = p.Copy->CreateMask(ColorToRGB(Transparent));
  return p;
}

bool Drawable(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Dest) {
  return Canvas && Bitmap && !Bitmap->Empty() && Dest.Width() != 0 && Dest.Height() != 0;
}

// Colours stepped in 16.16 fixed point per channel; step 0 is From and step Count - 1 is To.
class TColorSteps {
 public:
  TColorSteps(TColor From, TColor To, int64_t Count) {
    COLORREF a = static_cast<COLORREF>(ColorToRGB(From)), b = static_cast<COLORREF>(ColorToRGB(To));
    int32_t fa[3] = {GetRValue(a), GetGValue(a), GetBValue(a)};
    int32_t fb[3] = {GetRValue(b), GetGValue(b), GetBValue(b)};
    int64_t n = std::max<int64_t>(1, Count - 1);
    for (int i = 0; i < 3; ++i) {
      FStart[i] = int64_t(fa[i]) << 16;
      FInc[i] = (int64_t(fb[i] - fa[i]) << 16) / n;
    }
  }
  // Pixel value (0x00RRGGBB) of step I.
  uint32_t Pixel(int64_t I) const {
    int32_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = static_cast<int32_t>(std::clamp<int64_t>((FStart[k] + FInc[k] * I + 0x8000) >> 16, 0, 255));
    return ColorRefToPixel(RGB(uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])));
  }

 private:
  int64_t FStart[3] = {}, FInc[3] = {};
};

// The first step of the band that step I falls in: with Bands 1 every step is its own band.
int64_t BandStep(int64_t I, int32_t Span) { return Span <= 1 ? I : (I / Span) * Span; }

int32_t BandSpan(uint8_t Bands, bool Box) {
  if (Bands <= 1) return 1;
  if (Bands <= 8) return Bands;
  return (Box ? 256 : 255) / Bands + 1;
}

uint32_t* Row(TBitmap& B, int32_t Y) { return static_cast<uint32_t*>(B.ScanLine(Y)); }

void FillAll(TBitmap& B, uint32_t P) {
  for (int32_t y = 0; y < B.Height(); ++y) std::fill(Row(B, y), Row(B, y) + B.Width(), P);
}

// Bands across the rows (Horizontal) or the columns: one colour per row or column, from the
// edge at 0 to the far edge, or (Center) from both edges to the centre line.
void PaintLinear(TBitmap& B, bool Horizontal, bool Center, TColor Start, TColor Stop, int32_t Span) {
  int32_t w = B.Width(), h = B.Height();
  int32_t len = Horizontal ? h : w;
  std::vector<uint32_t> line(static_cast<size_t>(len));
  if (!Center) {
    TColorSteps s(Start, Stop, len);
    for (int32_t i = 0; i < len; ++i) line[i] = s.Pixel(BandStep(i, Span));
  } else {
    int32_t half = len / 2;
    TColorSteps up(Start, Stop, half + 1);
    for (int32_t i = 0; i <= half && i < len; ++i) line[i] = up.Pixel(BandStep(i, Span));
    TColorSteps down(Start, Stop, len - half);
    for (int32_t i = len - 1; i > half; --i) line[i] = down.Pixel(BandStep(len - 1 - i, Span));
  }
  if (Horizontal) {
    for (int32_t y = 0; y < h; ++y) std::fill(Row(B, y), Row(B, y) + w, line[y]);
  } else {
    // One row computed and copied down the bitmap.
    for (int32_t y = 0; y < h; ++y) std::copy(line.begin(), line.end(), Row(B, y));
  }
}

void PaintDiagonal(TBitmap& B, bool Up, TColor Start, TColor Stop, int32_t Span) {
  int32_t w = B.Width(), h = B.Height();
  if (ColorToRGB(Start) == ColorToRGB(Stop)) {
    FillAll(B, TColorSteps(Start, Stop, 1).Pixel(0));
    return;
  }
  int64_t n = static_cast<int64_t>(std::sqrt(double(int64_t(w) * w + int64_t(h) * h))) + 1;
  TColorSteps s(Start, Stop, n);
  // Position along the diagonal: 0 at the start corner, Den at the opposite one.
  int64_t den = int64_t(w - 1) * w + int64_t(h - 1) * h;
  std::vector<uint32_t> pal(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) pal[i] = s.Pixel(BandStep(i, Span));
  for (int32_t y = 0; y < h; ++y) {
    uint32_t* p = Row(B, y);
    int64_t yy = Up ? int64_t(h - 1 - y) * h : int64_t(y) * h;
    for (int32_t x = 0; x < w; ++x) {
      int64_t num = int64_t(x) * w + yy;
      int64_t i = den > 0 ? (num * (n - 1) + den / 2) / den : 0;
      p[x] = pal[static_cast<size_t>(i)];
    }
  }
}

// Concentric rectangles, Stop at the core and Start at the outer edge. Only the top-left quarter is
// computed; the other three are its mirror images.
void PaintBox(TBitmap& B, int32_t CoreX, int32_t CoreY, TColor Start, TColor Stop, int32_t Span) {
  int32_t w = B.Width(), h = B.Height();
  TColorSteps flat(Start, Start, 1);
  if (ColorToRGB(Start) == ColorToRGB(Stop) || w < 5 || h <= 4) {
    FillAll(B, flat.Pixel(0));
    return;
  }
  int32_t hx = (w - 1) / 2, hy = (h - 1) / 2;
  // The walk from the core stops where it first meets an edge; what lies beyond keeps Start.
  int32_t rings = std::max(0, std::min(hx - CoreX, hy - CoreY));
  TColorSteps s(Start, Stop, rings + 1);
  int32_t qw = (w + 1) / 2, qh = (h + 1) / 2;
  for (int32_t y = 0; y < qh; ++y) {
    int32_t ry = std::max(0, hy - y - CoreY);
    uint32_t* top = Row(B, y);
    uint32_t* bottom = Row(B, h - 1 - y);
    for (int32_t x = 0; x < qw; ++x) {
      int32_t rx = std::max(0, hx - x - CoreX);
      int32_t r = std::max(rx, ry);
      uint32_t p = r >= rings ? flat.Pixel(0) : s.Pixel(BandStep(rings - r, Span));
      top[x] = top[w - 1 - x] = bottom[x] = bottom[w - 1 - x] = p;
    }
  }
}

// Controls whose parent's image is being painted under them; guards against a parent that
// paints the same control again.
std::vector<const TControl*>& ParentPainting() {
  static std::vector<const TControl*> v;
  return v;
}

}  // namespace

void KvBlitTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Dest, const TRect& Source, TColor Transparent) {
  if (!Drawable(Canvas, Bitmap, Dest)) return;
  TTransparentParts p = MakeParts(Bitmap, Dest, Source, Transparent);
  int32_t w = p.Copy->Width(), h = p.Copy->Height();
  TransparentStretchBlt(Canvas, std::min(Dest.Left, Dest.Right), std::min(Dest.Top, Dest.Bottom), w, h,
                        p.Copy->Canvas(), 0, 0, w, h, p.Mask->Canvas(), 0, 0);
}

void KvBlitTransparentMasked(TCanvas* Canvas, TBitmap* Bitmap, const TRect& Dest, const TRect& Source,
                             TColor Transparent) {
  if (!Drawable(Canvas, Bitmap, Dest)) return;
  TTransparentParts p = MakeParts(Bitmap, Dest, Source, Transparent);
  int32_t w = p.Copy->Width(), h = p.Copy->Height();
  TCanvas* cc = p.Copy->Canvas();
  if ((ColorToRGB(Transparent) & 0xFFFFFF) != 0) {
    // Transparent pixels of the copy become black, so that the OR below leaves the canvas there.
    SetBkColor(cc, clBlack);
    SetTextColor(cc, clWhite);
    BitBlt(cc, 0, 0, w, h, p.Mask->Canvas(), 0, 0, SRCAND);
  }
  int32_t x = std::min(Dest.Left, Dest.Right), y = std::min(Dest.Top, Dest.Bottom);
  COLORREF oldBk = SetBkColor(Canvas, clWhite), oldText = SetTextColor(Canvas, clBlack);
  StretchBlt(Canvas, x, y, w, h, p.Mask->Canvas(), 0, 0, w, h, SRCAND);
  StretchBlt(Canvas, x, y, w, h, cc, 0, 0, w, h, SRCPAINT);
  SetBkColor(Canvas, static_cast<TColor>(oldBk));
  SetTextColor(Canvas, static_cast<TColor>(oldText));
}

void KvTileTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, TColor Transparent) {
  if (!Canvas || !Bitmap || Bitmap->Empty()) return;
  int32_t bw = Bitmap->Width(), bh = Bitmap->Height();
  for (int32_t y = R.Top; y < R.Bottom; y += bh)
    for (int32_t x = R.Left; x < R.Right; x += bw) {
      int32_t w = std::min(bw, R.Right - x), h = std::min(bh, R.Bottom - y);
      KvBlitTransparentMasked(Canvas, Bitmap, TRect(x, y, x + w, y + h), TRect(0, 0, w, h), Transparent);
    }
}

void KvStretchTransparent(TCanvas* Canvas, TBitmap* Bitmap, const TRect& R, TColor Transparent) {
  if (!Bitmap) return;
  KvBlitTransparentMasked(Canvas, Bitmap, R, TRect(0, 0, Bitmap->Width(), Bitmap->Height()), Transparent);
}

void KvDrawGradient(TCanvas* Canvas, const TRect& R, TGradientDirection Direction, TColor Start, TColor Stop,
                    uint8_t Bands) {
  int32_t w = std::abs(R.Width()), h = std::abs(R.Height());
  if (!Canvas || w == 0 || h == 0) return;
  // Painted off-screen and shown with one copy, so no partial band ever shows.
  TBitmap b(w, h, TPixelFormat::pf32bit);
  bool box = Direction == gdHorizontalBox || Direction == gdVerticalBox || Direction == gdSquareBox ||
             Direction == gdBigSquareBox;
  int32_t span = BandSpan(Bands, box);
  switch (Direction) {
    case gdDiagonalUp: PaintDiagonal(b, true, Start, Stop, span); break;
    case gdDiagonalDown: PaintDiagonal(b, false, Start, Stop, span); break;
    case gdHorizontalEnd: PaintLinear(b, true, false, Start, Stop, span); break;
    case gdHorizontalCenter: PaintLinear(b, true, true, Start, Stop, span); break;
    case gdVerticalEnd: PaintLinear(b, false, false, Start, Stop, span); break;
    case gdVerticalCenter: PaintLinear(b, false, true, Start, Stop, span); break;
    case gdSquareBox: PaintBox(b, 0, 0, Start, Stop, span); break;
    case gdHorizontalBox: PaintBox(b, w / 4, 0, Start, Stop, span); break;
    case gdVerticalBox: PaintBox(b, 0, h / 4, Start, Stop, span); break;
    case gdBigSquareBox: PaintBox(b, w / 4, h / 4, Start, Stop, span); break;
  }
  b.Modified();
  BitBlt(Canvas, R.Left, R.Top, w, h, b.Canvas(), 0, 0, SRCCOPY);
}

void KvPaintParentBackgroundDC(TControl* Control, HDC DC, bool InvalidateParent) {
  if (!Control || !DC) return;
  TWinControl* parent = Control->Parent();
  if (!parent) return;
  auto& busy = ParentPainting();
  if (std::find(busy.begin(), busy.end(), Control) != busy.end()) return;
  bool designing = Control->ComponentState().Contains(csDesigning);
  int saved = SaveDC(DC);
  busy.push_back(Control);
  struct TUndo {
    HDC DC;
    int Saved;
    ~TUndo() {
      ParentPainting().pop_back();
      RestoreDC(DC, Saved);
    }
  } undo{DC, saved};
  OffsetViewportOrgEx(DC, -Control->Left(), -Control->Top(), nullptr);
  TRect pc = parent->ClientRect();
  IntersectClipRect(DC, pc.Left, pc.Top, pc.Right, pc.Bottom);
  try {
    parent->Perform(WM_ERASEBKGND, reinterpret_cast<uintptr_t>(DC), 0);
    parent->Perform(WM_PAINT, reinterpret_cast<uintptr_t>(DC), 0);
  } catch (...) {
    if (!designing) throw;
  }
  if (InvalidateParent && !designing && !dynamic_cast<TCustomControl*>(parent) &&
      !dynamic_cast<TCustomForm*>(parent))
    parent->Invalidate();
}

void KvPaintParentBackground(TControl* Control, TCanvas* Canvas, bool InvalidateParent) {
  KvPaintParentBackgroundDC(Control, Canvas, InvalidateParent);
}
