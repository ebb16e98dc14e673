// Anti-aliased drawing: the figure is drawn by cairo into a copy of the affected part of the bitmap,
// which then goes back pixel by pixel through the canvas's clipping.
#include "platform/graphics/antialias.h"

#include <cairo.h>

#include <cmath>

#include "platform/graphics/canvas.h"
#include "platform/graphics/device.h"
#include "platform/graphics/region.h"

TARGB ColorToARGB(TColor Color, uint8_t Alpha) {
  COLORREF C = static_cast<COLORREF>(ColorToRGB(Color));
  return MakeARGB(Alpha, GetRValue(C), GetGValue(C), GetBValue(C));
}

void TAAPath::AddArc(float X, float Y, float W, float H, float Start, float Sweep) {
  FItems.push_back({0, {X, Y, W, H, Start, Sweep}});
}
void TAAPath::AddLine(float X1, float Y1, float X2, float Y2) { FItems.push_back({1, {X1, Y1, X2, Y2, 0, 0}}); }
void TAAPath::CloseFigure() { FItems.push_back({2, {0, 0, 0, 0, 0, 0}}); }

TAAGraphics::TAAGraphics(TCanvas* Canvas) : FCanvas(Canvas) {}
TAAGraphics::~TAAGraphics() = default;

namespace {

void SetColor(cairo_t* Cr, TARGB C) {
  cairo_set_source_rgba(Cr, ((C >> 16) & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0, (C & 0xFF) / 255.0, (C >> 24) / 255.0);
}

bool HatchBit(int Style, int X, int Y) {
  switch (Style) {
    case AAHatchHorizontal: return Y == 7;
    case AAHatchVertical: return X == 7;
    case AAHatchForwardDiagonal: return X == Y;
    case AAHatchBackwardDiagonal: return X + Y == 7;
    case AAHatchCross: return X == 7 || Y == 7;
    default: return X == Y || X + Y == 7;
  }
}

// Adds an arc of the ellipse in box (X, Y, W, H) between two ray angles, clockwise for a positive sweep.
void ArcPath(cairo_t* Cr, double X, double Y, double W, double H, double Start, double Sweep) {
  if (W <= 0 || H <= 0) return;
  double A = W / 2, B = H / 2, CX = X + A, CY = Y + B;
  auto Param = [&](double Deg) {
    double T = Deg * M_PI / 180.0;
    return std::atan2(A * std::sin(T), B * std::cos(T));
  };
  double T1 = Param(Start), T2;
  if (std::fabs(Sweep) >= 360) {
    T2 = T1 + (Sweep > 0 ? 2 * M_PI : -2 * M_PI);
  } else {
    T2 = Param(Start + Sweep);
    // keep the turn direction and size of the sweep
    double Want = Sweep * M_PI / 180.0;
    while (T2 - T1 - Want > M_PI) T2 -= 2 * M_PI;
    while (T2 - T1 - Want < -M_PI) T2 += 2 * M_PI;
  }
  cairo_save(Cr);
  cairo_translate(Cr, CX, CY);
  cairo_scale(Cr, A, B);
  if (T2 >= T1) cairo_arc(Cr, 0, 0, 1, T1, T2);
  else cairo_arc_negative(Cr, 0, 0, 1, T1, T2);
  cairo_restore(Cr);
}

void ApplyPen(cairo_t* Cr, const TAAPen& Pen) {
  SetColor(Cr, Pen.Color);
  cairo_set_line_width(Cr, Pen.Width);
  switch (Pen.LineCap) {
    case AACapRound: cairo_set_line_cap(Cr, CAIRO_LINE_CAP_ROUND); break;
    case AACapSquare: cairo_set_line_cap(Cr, CAIRO_LINE_CAP_SQUARE); break;
    default: cairo_set_line_cap(Cr, CAIRO_LINE_CAP_BUTT); break;
  }
  switch (Pen.LineJoin) {
    case AAJoinBevel: cairo_set_line_join(Cr, CAIRO_LINE_JOIN_BEVEL); break;
    case AAJoinRound: cairo_set_line_join(Cr, CAIRO_LINE_JOIN_ROUND); break;
    default: cairo_set_line_join(Cr, CAIRO_LINE_JOIN_MITER); break;
  }
  double W = std::max(1.0f, Pen.Width);
  std::vector<double> Dash;
  switch (Pen.DashStyle) {
    case AADashDash: Dash = {3, 1}; break;
    case AADashDot: Dash = {1, 1}; break;
    case AADashDashDot: Dash = {3, 1, 1, 1}; break;
    case AADashDashDotDot: Dash = {3, 1, 1, 1, 1, 1}; break;
    default: break;
  }
  for (double& D : Dash) D *= W;
  cairo_set_dash(Cr, Dash.empty() ? nullptr : Dash.data(), static_cast<int>(Dash.size()), 0);
}

cairo_pattern_t* BrushPattern(const TAABrush& Brush) {
  if (!Brush.Hatched) {
    TARGB C = Brush.Color;
    return cairo_pattern_create_rgba(((C >> 16) & 0xFF) / 255.0, ((C >> 8) & 0xFF) / 255.0, (C & 0xFF) / 255.0, (C >> 24) / 255.0);
  }
  cairo_surface_t* S = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_surface_flush(S);
  auto* Data = cairo_image_surface_get_data(S);
  int Stride = cairo_image_surface_get_stride(S);
  auto Premul = [](TARGB C) {
    uint32_t A = C >> 24;
    auto P = [A](uint32_t V) { return (V * A + 127) / 255; };
    return (A << 24) | (P((C >> 16) & 0xFF) << 16) | (P((C >> 8) & 0xFF) << 8) | P(C & 0xFF);
  };
  for (int Y = 0; Y < 8; ++Y)
    for (int X = 0; X < 8; ++X)
      reinterpret_cast<uint32_t*>(Data + Y * Stride)[X] = Premul(HatchBit(Brush.HatchStyle, X, Y) ? Brush.Color : Brush.HatchBack);
  cairo_surface_mark_dirty(S);
  cairo_pattern_t* P = cairo_pattern_create_for_surface(S);
  cairo_pattern_set_extend(P, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(P, CAIRO_FILTER_NEAREST);
  cairo_surface_destroy(S);
  return P;
}

}  // namespace

template <typename F>
void TAAGraphics::Paint(F&& Build, const TAAPen* Pen, const TAABrush* Brush, int FillMode) {
  if (!FCanvas) return;
  FCanvas->RequiredState();
  qvgfx::TDevice D(FCanvas);
  if (!D.Valid()) return;
  if (Pen && (Pen->Color >> 24) == 0) Pen = nullptr;
  if (Brush && (Brush->Color >> 24) == 0 && (!Brush->Hatched || (Brush->HatchBack >> 24) == 0)) Brush = nullptr;
  if (!Pen && !Brush) return;
  // Device extents of what will be drawn.
  cairo_surface_t* Probe = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
  cairo_t* PC = cairo_create(Probe);
  cairo_matrix_t M;
  cairo_matrix_init(&M, FMatrix.M11, FMatrix.M12, FMatrix.M21, FMatrix.M22, FMatrix.DX, FMatrix.DY);
  cairo_translate(PC, D.OrgX + 0.5, D.OrgY + 0.5);
  cairo_transform(PC, &M);
  Build(PC);
  double X1, Y1, X2, Y2;
  if (Pen) {
    ApplyPen(PC, *Pen);
    cairo_stroke_extents(PC, &X1, &Y1, &X2, &Y2);
  } else {
    cairo_fill_extents(PC, &X1, &Y1, &X2, &Y2);
  }
  cairo_destroy(PC);
  cairo_surface_destroy(Probe);
  TRect Area(static_cast<int32_t>(std::floor(X1)) - 1, static_cast<int32_t>(std::floor(Y1)) - 1,
             static_cast<int32_t>(std::ceil(X2)) + 2, static_cast<int32_t>(std::ceil(Y2)) + 2);
  TRect ClipBox;
  for (const TRect& R : D.Clip) UnionRect(ClipBox, ClipBox, R);
  if (!IntersectRect(Area, Area, ClipBox)) return;

  int32_t W = Area.Width(), H = Area.Height();
  cairo_surface_t* Surf = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
  cairo_surface_flush(Surf);
  unsigned char* Data = cairo_image_surface_get_data(Surf);
  int Stride = cairo_image_surface_get_stride(Surf);
  for (int32_t J = 0; J < H; ++J) {
    auto* Row = reinterpret_cast<uint32_t*>(Data + static_cast<int64_t>(J) * Stride);
    for (int32_t I = 0; I < W; ++I) Row[I] = ColorRefToPixel(D.Color(D.S.Get(Area.Left + I, Area.Top + J)));
  }
  cairo_surface_mark_dirty(Surf);
  cairo_t* Cr = cairo_create(Surf);
  cairo_set_antialias(Cr, FSmoothing == AASmoothingAntiAlias || FSmoothing == AASmoothingHighQuality
                              ? CAIRO_ANTIALIAS_DEFAULT
                              : CAIRO_ANTIALIAS_NONE);
  cairo_translate(Cr, D.OrgX + 0.5 - Area.Left, D.OrgY + 0.5 - Area.Top);
  cairo_transform(Cr, &M);
  Build(Cr);
  if (Brush) {
    cairo_pattern_t* P = BrushPattern(*Brush);
    // Hatches line up with the device pixels, whatever the transform.
    cairo_matrix_t Ctm, Shift, ToDevice;
    cairo_get_matrix(Cr, &Ctm);
    cairo_matrix_init_translate(&Shift, Area.Left, Area.Top);
    cairo_matrix_multiply(&ToDevice, &Ctm, &Shift);
    cairo_pattern_set_matrix(P, &ToDevice);
    cairo_set_source(Cr, P);
    cairo_set_fill_rule(Cr, FillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    if (Pen) cairo_fill_preserve(Cr);
    else cairo_fill(Cr);
    cairo_pattern_destroy(P);
  }
  if (Pen) {
    ApplyPen(Cr, *Pen);
    cairo_stroke(Cr);
  }
  cairo_destroy(Cr);
  cairo_surface_flush(Surf);
  bool Keep32 = D.S.Bpp == 32;
  for (int32_t J = 0; J < H; ++J) {
    const auto* Row = reinterpret_cast<const uint32_t*>(Data + static_cast<int64_t>(J) * Stride);
    for (int32_t I = 0; I < W; ++I) {
      int32_t X = Area.Left + I, Y = Area.Top + J;
      if (!D.Visible(X, Y)) continue;
      uint32_t Old = D.S.Get(X, Y);
      COLORREF C = PixelToColorRef(Row[I] & 0xFFFFFF);
      if (C == D.Color(Old)) continue;
      uint32_t V = D.Native(C);
      if (Keep32) V |= Old & 0xFF000000u;
      D.S.Set(X, Y, V);
    }
  }
  cairo_surface_destroy(Surf);
}

void TAAGraphics::DrawLine(const TAAPen& Pen, float X1, float Y1, float X2, float Y2) {
  Paint([&](cairo_t* Cr) {
    cairo_move_to(Cr, X1, Y1);
    cairo_line_to(Cr, X2, Y2);
  }, &Pen, nullptr, ALTERNATE);
}

void TAAGraphics::DrawLines(const TAAPen& Pen, const TPoint* Points, int Count) {
  if (!Points || Count < 2) return;
  Paint([&](cairo_t* Cr) {
    cairo_move_to(Cr, Points[0].X, Points[0].Y);
    for (int I = 1; I < Count; ++I) cairo_line_to(Cr, Points[I].X, Points[I].Y);
  }, &Pen, nullptr, ALTERNATE);
}

void TAAGraphics::DrawRectangle(const TAAPen& Pen, float X, float Y, float W, float H) {
  Paint([&](cairo_t* Cr) { cairo_rectangle(Cr, X, Y, W, H); }, &Pen, nullptr, ALTERNATE);
}

void TAAGraphics::FillRectangle(const TAABrush& Brush, float X, float Y, float W, float H) {
  // Fills cover the area between pixel edges, so they are drawn without the half-pixel offset.
  Paint([&](cairo_t* Cr) { cairo_rectangle(Cr, X - 0.5, Y - 0.5, W, H); }, nullptr, &Brush, ALTERNATE);
}

void TAAGraphics::DrawEllipse(const TAAPen& Pen, float X, float Y, float W, float H) {
  Paint([&](cairo_t* Cr) {
    cairo_new_sub_path(Cr);
    ArcPath(Cr, X, Y, W, H, 0, 360);
    cairo_close_path(Cr);
  }, &Pen, nullptr, ALTERNATE);
}

void TAAGraphics::FillEllipse(const TAABrush& Brush, float X, float Y, float W, float H) {
  Paint([&](cairo_t* Cr) {
    cairo_new_sub_path(Cr);
    ArcPath(Cr, X - 0.5, Y - 0.5, W, H, 0, 360);
    cairo_close_path(Cr);
  }, nullptr, &Brush, ALTERNATE);
}

void TAAGraphics::DrawPolygon(const TAAPen& Pen, const TPoint* Points, int Count) {
  if (!Points || Count < 2) return;
  Paint([&](cairo_t* Cr) {
    cairo_move_to(Cr, Points[0].X, Points[0].Y);
    for (int I = 1; I < Count; ++I) cairo_line_to(Cr, Points[I].X, Points[I].Y);
    cairo_close_path(Cr);
  }, &Pen, nullptr, ALTERNATE);
}

void TAAGraphics::FillPolygon(const TAABrush& Brush, const TPoint* Points, int Count, int FillMode) {
  if (!Points || Count < 3) return;
  Paint([&](cairo_t* Cr) {
    cairo_move_to(Cr, Points[0].X - 0.5, Points[0].Y - 0.5);
    for (int I = 1; I < Count; ++I) cairo_line_to(Cr, Points[I].X - 0.5, Points[I].Y - 0.5);
    cairo_close_path(Cr);
  }, nullptr, &Brush, FillMode);
}

void TAAGraphics::DrawArc(const TAAPen& Pen, float X, float Y, float W, float H, float Start, float Sweep) {
  Paint([&](cairo_t* Cr) {
    cairo_new_sub_path(Cr);
    ArcPath(Cr, X, Y, W, H, Start, Sweep);
  }, &Pen, nullptr, ALTERNATE);
}


void TAAGraphics::DrawPath(const TAAPen& Pen, const TAAPath& Path) {
  Paint([&](cairo_t* Cr) {
    for (const auto& It : Path.FItems) {
      if (It.Kind == 0) {
        ArcPath(Cr, It.A[0], It.A[1], It.A[2], It.A[3], It.A[4], It.A[5]);
      } else if (It.Kind == 1) {
        if (cairo_has_current_point(Cr)) cairo_line_to(Cr, It.A[0], It.A[1]);
        else cairo_move_to(Cr, It.A[0], It.A[1]);
        cairo_line_to(Cr, It.A[2], It.A[3]);
      } else {
        cairo_close_path(Cr);
      }
    }
  }, &Pen, nullptr, ALTERNATE);
}

void TAAGraphics::FillPath(const TAABrush& Brush, const TAAPath& Path) {
  Paint([&](cairo_t* Cr) {
    cairo_translate(Cr, -0.5, -0.5);
    for (const auto& It : Path.FItems) {
      if (It.Kind == 0) {
        ArcPath(Cr, It.A[0], It.A[1], It.A[2], It.A[3], It.A[4], It.A[5]);
      } else if (It.Kind == 1) {
        if (cairo_has_current_point(Cr)) cairo_line_to(Cr, It.A[0], It.A[1]);
        else cairo_move_to(Cr, It.A[0], It.A[1]);
        cairo_line_to(Cr, It.A[2], It.A[3]);
      } else {
        cairo_close_path(Cr);
      }
    }
    cairo_close_path(Cr);
  }, nullptr, &Brush, ALTERNATE);
}

void TAAGraphics::RotateTransform(float Degrees) {
  cairo_matrix_t M, R, Out;
  cairo_matrix_init(&M, FMatrix.M11, FMatrix.M12, FMatrix.M21, FMatrix.M22, FMatrix.DX, FMatrix.DY);
  cairo_matrix_init_rotate(&R, Degrees * M_PI / 180.0);
  cairo_matrix_multiply(&Out, &R, &M);
  FMatrix = {static_cast<float>(Out.xx), static_cast<float>(Out.yx), static_cast<float>(Out.xy),
             static_cast<float>(Out.yy), static_cast<float>(Out.x0), static_cast<float>(Out.y0)};
}

void TAAGraphics::TranslateTransform(float DX, float DY) {
  cairo_matrix_t M, R, Out;
  cairo_matrix_init(&M, FMatrix.M11, FMatrix.M12, FMatrix.M21, FMatrix.M22, FMatrix.DX, FMatrix.DY);
  cairo_matrix_init_translate(&R, DX, DY);
  cairo_matrix_multiply(&Out, &R, &M);
  FMatrix = {static_cast<float>(Out.xx), static_cast<float>(Out.yx), static_cast<float>(Out.xy),
             static_cast<float>(Out.yy), static_cast<float>(Out.x0), static_cast<float>(Out.y0)};
}

void TAAGraphics::ScaleTransform(float SX, float SY) {
  cairo_matrix_t M, R, Out;
  cairo_matrix_init(&M, FMatrix.M11, FMatrix.M12, FMatrix.M21, FMatrix.M22, FMatrix.DX, FMatrix.DY);
  cairo_matrix_init_scale(&R, SX, SY);
  cairo_matrix_multiply(&Out, &R, &M);
  FMatrix = {static_cast<float>(Out.xx), static_cast<float>(Out.yx), static_cast<float>(Out.xy),
             static_cast<float>(Out.yy), static_cast<float>(Out.x0), static_cast<float>(Out.y0)};
}
