// Backgrounds of the views: colours, hatches, the chessboard, frames and shadows, gradient, wallpaper.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/utils.h"
#include "imaging/view/view.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"

namespace {

void Fill(TCanvas* C, TColor Color, TBrushStyle Style, int32_t X, int32_t Y, int32_t W, int32_t H) {
  C->Brush()->SetColor(Color);
  C->Brush()->SetStyle(Style);
  C->FillRect(Rect(X, Y, X + W, Y + H));
}

// Where pixels may be written straight into the bitmap: inside it and inside the canvas's clipping, as
// the canvas's own drawing is (a repaint of part of a view must leave the rest of its buffer alone).
TRect DirectArea(TBitmap* B, TCanvas* C) {
  TRect r(0, 0, B->Width(), B->Height());
  if (C) {
    const TRect clip = C->ClipRect();
    r = TRect(std::max(r.Left, clip.Left), std::max(r.Top, clip.Top), std::min(r.Right, clip.Right),
              std::min(r.Bottom, clip.Bottom));
  }
  return r;
}

// Draws a shadow (Draw, in the coordinates of a copy whose top left is Area's) over a background-filled
// copy of Area and brings back the part inside the bitmap and the canvas's clipping, outside the picture:
// the shadow routines darken what lies there, and a repaint of part of a view must neither darken twice
// what it did not fill nor touch the rest of its buffer.
template <class TDraw>
void ShadowThroughCopy(TBitmap* B, TCanvas* C, TColor Background, const TRect& Area, const TRect& Picture,
                       TDraw Draw) {
  const TRect clip = DirectArea(B, C);
  const int32_t x0 = std::max(Area.Left, clip.Left), x1 = std::min(Area.Right, clip.Right);
  const int32_t y0 = std::max(Area.Top, clip.Top), y1 = std::min(Area.Bottom, clip.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  TBitmap copy(Area.Right - Area.Left, Area.Bottom - Area.Top, TPixelFormat::pf24bit);
  const TQxRGB bg = QxTColorToRGB(Background);
  for (int32_t y = 0; y < copy.Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(copy.ScanLine(y));
    for (int32_t x = 0; x < copy.Width(); ++x) {
      row[3 * x] = bg.b;
      row[3 * x + 1] = bg.g;
      row[3 * x + 2] = bg.r;
    }
  }
  Draw(&copy);
  for (int32_t y = y0; y < y1; ++y) {
    const uint8_t* from = static_cast<const uint8_t*>(copy.ScanLine(y - Area.Top));
    uint8_t* to = static_cast<uint8_t*>(B->ScanLine(y));
    for (int32_t x = x0; x < x1; ++x) {
      if (x >= Picture.Left && x < Picture.Right && y >= Picture.Top && y < Picture.Bottom) continue;
      std::memcpy(to + 3 * x, from + 3 * (x - Area.Left), 3);
    }
  }
}

// The two bands of the crop-shadow style: darkened by a Gaussian falloff right of and below the picture.
void CropShadow(TBitmap* B, TCanvas* C, TColor Background, int32_t L, int32_t T, int32_t R, int32_t Bm) {
  if (!B || B->PixelFormat() != TPixelFormat::pf24bit) {
    QxDrawShadowRight(C, nullptr, R, T, R + 5, Bm + 3, 2, Background);
    QxDrawShadowBottom(C, nullptr, L, Bm, R + 4, Bm + 5, 2, Background);
    return;
  }
  const TRect area(L, T, R + 9, Bm + 9);
  ShadowThroughCopy(B, C, Background, area, TRect(L, T, R, Bm), [&](TBitmap* Copy) {
    QxDrawShadowRight(Copy->Canvas(), Copy, R - L, 0, R + 5 - L, Bm + 3 - T, 2, Background);
    QxDrawShadowBottom(Copy->Canvas(), Copy, 0, Bm - T, R + 4 - L, Bm + 5 - T, 2, Background);
  });
}

// A soft drop shadow all round the picture, five pixels wide.
void SoftShadow(TBitmap* B, TCanvas* C, int32_t L, int32_t T, int32_t R, int32_t Bm, TColor Background) {
  if (!B || B->PixelFormat() != TPixelFormat::pf24bit) return;
  const TRect area(L - 5, T - 5, R + 6, Bm + 6);
  ShadowThroughCopy(B, C, Background, area, TRect(L, T, R, Bm), [&](TBitmap* Copy) {
    QxDrawSoftShadow(Copy, 5, 5, R - L + 5, Bm - T + 5, Background);
  });
}

void DirectChessboard(TBitmap* B, TCanvas* C, TColor Background, int32_t X, int32_t Y, int32_t W, int32_t H,
                      int32_t Size) {
  // Cells are counted from (X, Y); only the part inside the bitmap and the canvas's clipping is written.
  const TRect clip = DirectArea(B, C);
  const int32_t x0 = std::max(X, clip.Left), x1 = std::min(X + W, clip.Right);
  const int32_t y0 = std::max(Y, clip.Top), y1 = std::min(Y + H, clip.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  // The two kinds of row over the bitmap's part of the board, kept while they stay the same: a view
  // repaints the board band by band and strip by strip, many times a frame.
  const int32_t p0 = std::max(X, 0), p1 = std::min(X + W, B->Width());
  struct Pattern {
    TColor Background = 0;
    int32_t X = 0, From = 0, To = -1, Size = 0;
    std::vector<uint8_t> Rows[2];
  };
  thread_local Pattern pattern;
  if (pattern.Background != Background || pattern.X != X || pattern.From != p0 || pattern.To != p1 ||
      pattern.Size != Size) {
    const TQxRGB c0 = QxTColorToRGB(Background);
    const TQxRGB c1 = QxTColorToRGB(~Background);
    for (int band = 0; band < 2; ++band) {
      std::vector<uint8_t>& row = pattern.Rows[band];
      row.resize(size_t(p1 - p0) * 3);
      for (int32_t x = p0; x < p1; ++x) {
        const TQxRGB& c = (((x - X) / Size + band) & 1) ? c1 : c0;
        uint8_t* p = row.data() + size_t(x - p0) * 3;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
      }
    }
    pattern.Background = Background;
    pattern.X = X;
    pattern.From = p0;
    pattern.To = p1;
    pattern.Size = Size;
  }
  const size_t from = size_t(x0 - p0) * 3, bytes = size_t(x1 - x0) * 3;
  for (int32_t y = y0; y < y1; ++y) {
    uint8_t* row = static_cast<uint8_t*>(B->ScanLine(y)) + size_t(x0) * 3;
    std::memcpy(row, pattern.Rows[((y - Y) / Size) & 1].data() + from, bytes);
  }
}

void BrushChessboard(TCanvas* C, TColor Background, TBrushStyle Style, int32_t X, int32_t Y, int32_t W, int32_t H,
                     int32_t Size) {
  C->Brush()->SetStyle(Style);
  int band = 0;
  for (int32_t y = Y; y < Y + H; y += Size, ++band) {
    int cell = 0;
    for (int32_t x = X; x < X + W; x += Size, ++cell) {
      C->Brush()->SetColor(((band + cell) & 1) ? Background : TColor(~Background));
      C->Brush()->SetStyle(Style);
      C->FillRect(Rect(x, y, std::min(x + Size, X + W), std::min(y + Size, Y + H)));
    }
  }
}

void PaintWallPaper(TCanvas* C, TPicture* WallPaper, TQxWallPaperStyle Style, int32_t Width, int32_t Height) {
  if (!WallPaper || !WallPaper->Graphic() || WallPaper->Graphic()->Empty()) return;
  const TGraphic* g = WallPaper->Graphic();
  switch (Style) {
    case TQxWallPaperStyle::qxwoNormal:
      C->Draw(0, 0, g);
      break;
    case TQxWallPaperStyle::qxwoStretch:
      C->StretchDraw(Rect(0, 0, Width, Height), g);
      break;
    case TQxWallPaperStyle::qxwoTile: {
      const int32_t gw = g->Width(), gh = g->Height();
      if (gw <= 0 || gh <= 0) return;
      for (int32_t y = 0; y < Height; y += gh)
        for (int32_t x = 0; x < Width; x += gw) C->Draw(x, y, g);
      break;
    }
  }
}

}  // namespace

bool QxLoadGradientFill() { return true; }

bool QxGradientFillRect(const TRect& R, TCanvas* DC, TColor Color1, TColor Color2, bool Vertical) {
  if (!DC || !QxLoadGradientFill()) return false;
  const TColor a = ColorToRGB(Color1), b = ColorToRGB(Color2);
  TRIVERTEX v[2];
  v[0].x = R.Left;
  v[0].y = R.Top;
  v[0].Red = uint16_t((a & 0xFF) << 8);
  v[0].Green = uint16_t(((a >> 8) & 0xFF) << 8);
  v[0].Blue = uint16_t(((a >> 16) & 0xFF) << 8);
  v[0].Alpha = 0;
  v[1].x = R.Right;
  v[1].y = R.Bottom;
  v[1].Red = uint16_t((b & 0xFF) << 8);
  v[1].Green = uint16_t(((b >> 8) & 0xFF) << 8);
  v[1].Blue = uint16_t(((b >> 16) & 0xFF) << 8);
  v[1].Alpha = 0;
  GRADIENT_RECT gr;
  gr.UpperLeft = 0;
  gr.LowerRight = 1;
  return GradientFill(DC, v, 2, &gr, 1, Vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void QxPaintViewBackground(TComponentState ComponentState, TCanvas* Canvas, TBitmap* Bitmap,
                           TQxBackgroundStyle Style, TColor Background, int32_t X, int32_t Y, int32_t Width,
                           int32_t Height, int32_t ImageLeft, int32_t ImageTop, int32_t ImageRight,
                           int32_t ImageBottom, int32_t ChessSize, TBrushStyle ChessBrushStyle,
                           TColor GradientEndColor, TPicture* WallPaper, TQxWallPaperStyle WallPaperStyle) {
  if (!Canvas) return;
  const bool designing = ComponentState.Contains(csDesigning);
  const bool imageAtLeast2x2 = ImageRight - ImageLeft >= 2 && ImageBottom - ImageTop >= 2;
  const TQxViewUnitValues& units = QxViewValues();
  switch (Style) {
    case TQxBackgroundStyle::qxbsSolid: Fill(Canvas, Background, TBrushStyle::bsSolid, X, Y, Width, Height); break;
    case TQxBackgroundStyle::qxbsHorizontal:
      Fill(Canvas, Background, TBrushStyle::bsHorizontal, X, Y, Width, Height);
      break;
    case TQxBackgroundStyle::qxbsVertical: Fill(Canvas, Background, TBrushStyle::bsVertical, X, Y, Width, Height); break;
    case TQxBackgroundStyle::qxbsFDiagonal:
      Fill(Canvas, Background, TBrushStyle::bsFDiagonal, X, Y, Width, Height);
      break;
    case TQxBackgroundStyle::qxbsBDiagonal:
      Fill(Canvas, Background, TBrushStyle::bsBDiagonal, X, Y, Width, Height);
      break;
    case TQxBackgroundStyle::qxbsCross: Fill(Canvas, Background, TBrushStyle::bsCross, X, Y, Width, Height); break;
    case TQxBackgroundStyle::qxbsDiagCross:
      Fill(Canvas, Background, TBrushStyle::bsDiagCross, X, Y, Width, Height);
      break;
    case TQxBackgroundStyle::qxbsChessboard: {
      const int32_t size = std::max(ChessSize, 1);
      if (Bitmap && ChessBrushStyle == TBrushStyle::bsSolid && Bitmap->PixelFormat() == TPixelFormat::pf24bit) {
        DirectChessboard(Bitmap, Canvas, Background, X, Y, Width, Height, size);
        Bitmap->Modified();
      } else {
        BrushChessboard(Canvas, Background, ChessBrushStyle, X, Y, Width, Height, size);
      }
      break;
    }
    case TQxBackgroundStyle::qxbsDiagonals:
      Fill(Canvas, Background, TBrushStyle::bsSolid, X, Y, Width, Height);
      Canvas->Pen()->SetStyle(TPenStyle::psSolid);
      Canvas->Pen()->SetMode(TPenMode::pmCopy);
      Canvas->Pen()->SetWidth(1);
      Canvas->Pen()->SetColor(~Background);
      Canvas->MoveTo(X, Y);
      Canvas->LineTo(X + Width, Y + Height);
      Canvas->MoveTo(X + Width, Y);
      Canvas->LineTo(X, Y + Height);
      break;
    case TQxBackgroundStyle::qxbsCropped:
      if (designing) {
        Fill(Canvas, Background, TBrushStyle::bsSolid, X, Y, Width, Height);
      } else {
        Fill(Canvas, clBtnFace, TBrushStyle::bsSolid, X, Y, Width, Height);
        if (imageAtLeast2x2) {
          TRect r(ImageLeft - units.CxEdge, ImageTop - units.CyEdge, ImageRight + units.CxEdge,
                  ImageBottom + units.CyEdge);
          DrawEdge(Canvas, r, EDGE_SUNKEN, BF_RECT);
        }
      }
      break;
    case TQxBackgroundStyle::qxbsCropShadow:
      Fill(Canvas, Background, TBrushStyle::bsSolid, X, Y, Width, Height);
      if (!designing && imageAtLeast2x2) {
        CropShadow(Bitmap, Canvas, Background, ImageLeft, ImageTop, ImageRight, ImageBottom);
        if (Bitmap) Bitmap->Modified();
      }
      break;
    case TQxBackgroundStyle::qxbsGradient:
      QxGradientFillRect(Rect(X, Y, X + Width, Y + Height), Canvas, Background, GradientEndColor, true);
      break;
    case TQxBackgroundStyle::qxbsSoftShadow:
      if (designing) {
        Fill(Canvas, Background, TBrushStyle::bsSolid, X, Y, Width, Height);
      } else if (Bitmap) {
        Fill(Canvas, Background, TBrushStyle::bsSolid, X, Y, Width, Height);
        if (imageAtLeast2x2) {
          SoftShadow(Bitmap, Canvas, ImageLeft, ImageTop, ImageRight, ImageBottom, Background);
          Bitmap->Modified();
        }
      } else {
        return;  // without the bitmap nothing at all is painted
      }
      break;
    case TQxBackgroundStyle::qxbsPhotoLike:
      QxPaintViewBackground(ComponentState, Canvas, Bitmap, TQxBackgroundStyle::qxbsSolid, TColor(0xB0B0B0), X, Y,
                            Width, Height, ImageLeft, ImageTop, ImageRight, ImageBottom, ChessSize, ChessBrushStyle,
                            GradientEndColor, WallPaper, WallPaperStyle);
      Canvas->Pen()->SetStyle(TPenStyle::psSolid);
      Canvas->Pen()->SetMode(TPenMode::pmCopy);
      Canvas->Pen()->SetWidth(1);
      Canvas->Pen()->SetColor(clBlack);
      Canvas->Brush()->SetStyle(TBrushStyle::bsClear);
      Canvas->Rectangle(ImageLeft - 1, ImageTop - 1, ImageRight + 1, ImageBottom + 1);
      X = ImageLeft;
      Y = ImageTop;
      Width = ImageRight - ImageLeft;
      Height = ImageBottom - ImageTop;
      {
        const int32_t size = std::max(ChessSize, 1);
        if (Bitmap && ChessBrushStyle == TBrushStyle::bsSolid && Bitmap->PixelFormat() == TPixelFormat::pf24bit) {
          DirectChessboard(Bitmap, Canvas, Background, X, Y, Width, Height, size);
          Bitmap->Modified();
        } else {
          BrushChessboard(Canvas, Background, ChessBrushStyle, X, Y, Width, Height, size);
        }
      }
      break;
  }
  PaintWallPaper(Canvas, WallPaper, WallPaperStyle, Width, Height);
}

// ---- the view's background settings ----

void TQuillotView::SetBackground(TColor Value) {
  TQxView::SetBackground(Value);
  if (ComponentState().Contains(csDesigning)) ClearImage();
  ChangeKind = 4;
  UpdateView();
  DoImageChange();
  if (ComponentState().Contains(csDesigning)) PaintView();
}

void TQuillotView::SetBackgroundStyle(TQxBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Invalidate();
  ChangeKind = 4;
  UpdateView();
}

void TQuillotView::SetWallPaper(TPicture* Value) {
  if (!FWallPaper) FWallPaper = std::make_unique<TPicture>();
  FWallPaper->Assign(Value);
  ChangeKind = 4;
  UpdateView();
}

void TQuillotView::SetWallPaperStyle(TQxWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  ChangeKind = 4;
  UpdateView();
}

void TQuillotView::SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle) {
  FChessSize = Size;
  FChessBrushStyle = BrushStyle;
}

void TQuillotView::PaintBackgroundTo(TCanvas* Canvas) {
  QxPaintViewBackground(ComponentState(), Canvas, nullptr, FBackgroundStyle, Background(), 0, 0, Width(), Height(),
                        0, 0, 0, 0, FChessSize, FChessBrushStyle, GradientEndColor, FWallPaper.get(), FWallPaperStyle);
}
