#include "controls/menu/sty_painters.h"

#include <algorithm>

#include "controls/menu/sty_menu_util.h"
#include "controls/menu/sty_styler.h"
#include "platform/graphics/bitmap.h"

namespace StyMenus {

namespace {

void SolidFill(TCanvas* Canvas, const TRect& R, TColor Color) {
  TBrush B;
  B.SetColor(Color);
  ::FillRect(Canvas, R, B);
}

// Channel of a colour I steps of N along from S to E (truncated, never reaching E).
uint8_t Step(uint8_t S, uint8_t E, int32_t I, int32_t N) {
  int32_t D = int32_t(E) - int32_t(S);
  return static_cast<uint8_t>(int32_t(S) + D * I / N);
}

TColor ColorAt(TColor Start, TColor End, int32_t I, int32_t N) {
  uint8_t R1, G1, B1, R2, G2, B2;
  ColorToRGBParts(Start, R1, G1, B1);
  ColorToRGBParts(End, R2, G2, B2);
  return RGBToColor(Step(R1, R2, I, N), Step(G1, G2, I, N), Step(B1, B2, I, N));
}

void Frame(TCanvas* Canvas, const TRect& R, TColor Color) {
  if (Color == clNone) return;
  TBrush B;
  B.SetColor(Color);
  ::FrameRect(Canvas, R, B);
}

}  // namespace

void FillGradient(TCanvas* Canvas, const TRect& R, TGradientDirection Direction, TColor StartColor, TColor EndColor) {
  if (EndColor == clNone) EndColor = StartColor;
  if (EndColor == StartColor) {
    SolidFill(Canvas, R, StartColor);
    return;
  }
  int32_t H = RectHeight(R), W = RectWidth(R);
  if (H <= 0) return;
  if (Direction == TGradientDirection::gdVertical) {
    for (int32_t Y = R.Top; Y < R.Bottom; ++Y)
      SolidFill(Canvas, TRect(R.Left, Y, R.Left + W, Y + 1), ColorAt(StartColor, EndColor, Y - R.Top, H));
  } else {
    for (int32_t X = R.Left; X < R.Right; ++X)
      SolidFill(Canvas, TRect(X, R.Top, X + 1, R.Bottom), ColorAt(StartColor, EndColor, X - R.Left, W));
  }
}

void FillGradientPart(TCanvas* Canvas, const TRect& Full, const TRect& Clip, TColor StartColor, TColor EndColor,
                      TGradientDirection Direction) {
  TRect I(std::max(Full.Left, Clip.Left), std::max(Full.Top, Clip.Top), std::min(Full.Right, Clip.Right),
          std::min(Full.Bottom, Clip.Bottom));
  if (RectWidth(I) <= 0 || RectHeight(I) <= 0) return;
  if (EndColor == clNone) EndColor = StartColor;
  TColor A, B;
  if (Direction == TGradientDirection::gdHorizontal) {
    int32_t N = RectWidth(Full);
    A = ColorAt(StartColor, EndColor, I.Left - Full.Left, N);
    B = ColorAt(StartColor, EndColor, I.Right - Full.Left, N);
  } else {
    int32_t N = RectHeight(Full);
    A = ColorAt(StartColor, EndColor, I.Top - Full.Top, N);
    B = ColorAt(StartColor, EndColor, I.Bottom - Full.Top, N);
  }
  FillGradient(Canvas, I, Direction, A, B);
}

void DrawGradientFrame(TCanvas* Canvas, const TRect& R, TColor Color, TColor ColorTo, TGradientDirection Direction,
                       TColor BorderColor, bool Fill) {
  if (Fill && Color != clNone) FillGradient(Canvas, R, Direction, Color, ColorTo);
  Frame(Canvas, R, BorderColor);
}

void DrawMirrorGradientFrame(TCanvas* Canvas, const TRect& R, TColor Color, TColor ColorTo, TColor MirrorColor,
                             TColor MirrorColorTo, TGradientDirection Direction, TColor BorderColor, bool Fill) {
  if (Fill && Color != clNone) {
    if (MirrorColor == clNone) {
      FillGradient(Canvas, R, Direction, Color, ColorTo);
    } else {
      int32_t Mid = R.Top + RectHeight(R) / 2;
      FillGradient(Canvas, TRect(R.Left, R.Top, R.Right, Mid), Direction, Color, ColorTo);
      FillGradient(Canvas, TRect(R.Left, Mid, R.Right, R.Bottom), Direction, MirrorColor, MirrorColorTo);
    }
  }
  Frame(Canvas, R, BorderColor);
}

void DrawGradientBand(TCanvas* Canvas, const TRect& Rect, TColor Color, TColor ColorTo, TGradientDirection Direction,
                      TGradientType BandType, int32_t BandWidth, int32_t Margin) {
  if (ColorTo == clNone) ColorTo = Color;
  TRect R = Rect;
  int32_t B = BandWidth;
  if (Direction == TGradientDirection::gdHorizontal) {
    R.Left += Margin;
    R.Right -= Margin;
    const auto H = TGradientDirection::gdHorizontal;
    if (B >= RectWidth(R)) {
      B = RectWidth(R);
    } else {
      switch (BandType) {
        case TGradientType::gtLeft: SolidFill(Canvas, TRect(R.Left + B, R.Top, R.Right, R.Bottom), ColorTo); break;
        case TGradientType::gtRight: SolidFill(Canvas, TRect(R.Left, R.Top, R.Right - B, R.Bottom), ColorTo); break;
        case TGradientType::gtBoth:
          SolidFill(Canvas, TRect(R.Left + B / 2, R.Top, R.Right - B / 2, R.Bottom), Color);
          break;
      }
    }
    if (B > 0) {
      switch (BandType) {
        case TGradientType::gtLeft: FillGradient(Canvas, TRect(R.Left, R.Top, R.Left + B, R.Bottom), H, Color, ColorTo); break;
        case TGradientType::gtRight:
          FillGradient(Canvas, TRect(R.Right - B, R.Top, R.Right, R.Bottom), H, ColorTo, Color);
          break;
        case TGradientType::gtBoth:
          FillGradient(Canvas, TRect(R.Left, R.Top, R.Left + B / 2, R.Bottom), H, ColorTo, Color);
          FillGradient(Canvas, TRect(R.Right - B / 2, R.Top, R.Right, R.Bottom), H, Color, ColorTo);
          break;
      }
    }
    return;
  }
  R.Top += Margin;
  R.Bottom -= Margin;
  const auto V = TGradientDirection::gdVertical;
  if (BandType == TGradientType::gtBoth) B *= 2;
  if (B >= RectHeight(R)) {
    B = RectHeight(R);
  } else {
    switch (BandType) {
      case TGradientType::gtLeft: SolidFill(Canvas, TRect(R.Left, R.Top, R.Right, R.Bottom - B), ColorTo); break;
      case TGradientType::gtRight: SolidFill(Canvas, TRect(R.Left, R.Top + B, R.Right, R.Bottom), ColorTo); break;
      case TGradientType::gtBoth:
        SolidFill(Canvas, TRect(R.Left, R.Top + B / 2, R.Right, R.Bottom - B / 2), Color);
        break;
    }
  }
  if (B > 0) {
    switch (BandType) {
      case TGradientType::gtLeft: FillGradient(Canvas, TRect(R.Left, R.Bottom - B, R.Right, R.Bottom), V, ColorTo, Color); break;
      case TGradientType::gtRight: FillGradient(Canvas, TRect(R.Left, R.Top, R.Right, R.Top + B), V, Color, ColorTo); break;
      case TGradientType::gtBoth:
        FillGradient(Canvas, TRect(R.Left, R.Top, R.Right, R.Top + B / 2), V, ColorTo, Color);
        FillGradient(Canvas, TRect(R.Left, R.Bottom - B / 2, R.Right, R.Bottom), V, Color, ColorTo);
        break;
    }
  }
}

void PaintMenuBackground(TCanvas* Canvas, const TRect& Rect, TBackground& Background, bool WithGradient) {
  TRect R = Rect;
  R.Left += Background.MarginX();
  R.Right -= Background.MarginX();
  R.Top += Background.MarginY();
  R.Bottom -= Background.MarginY();
  if (RectWidth(R) <= 0 || RectHeight(R) <= 0) return;
  TBitmap* Cache = Background.CacheBitmap();
  Cache->SetSize(RectWidth(R), RectHeight(R));
  TGraphic* G = Background.HasPicture() ? Background.Image()->Graphic() : nullptr;
  TBackgroundPosition Pos = Background.Position();
  bool Tiles = Pos == TBackgroundPosition::bpTiled || Pos == TBackgroundPosition::bpStretched;
  if (WithGradient && (!G || !Tiles || G->Transparent()))
    FillGradient(Cache->Canvas(), BitmapBounds(Cache), Background.GradientDirection(), Background.Color(),
                 Background.ColorTo());
  if (G) {
    TCanvas* C = Cache->Canvas();
    switch (Pos) {
      case TBackgroundPosition::bpXY: C->Draw(Background.OffsetX(), Background.OffsetY(), G); break;
      case TBackgroundPosition::bpTiled:
        if (G->Width() > 0 && G->Height() > 0)
          for (int32_t Y = 0; Y < Cache->Height(); Y += G->Height())
            for (int32_t X = 0; X < Cache->Width(); X += G->Width()) C->Draw(X, Y, G);
        break;
      case TBackgroundPosition::bpStretched: C->StretchDraw(BitmapBounds(Cache), G); break;
      default: {
        int32_t X, Y;
        Background.GetPicturePosition(BitmapBounds(Cache), X, Y);
        C->Draw(X, Y, G);
        break;
      }
    }
  }
  Canvas->Draw(R.Left, R.Top, Cache);
}

}  // namespace StyMenus
