#include "controls/kv_painters.h"

#include <algorithm>
#include <vector>

#include "controls/kv_blits.h"
#include "platform/ui/themes.h"

namespace {

struct TFramePair {
  TColor UpperLeft, LowerRight;
};

// Single-band colours by frame style (fsNone .. fsFlatBold); the two-band styles use the tables below.
constexpr TFramePair kStyleColors[11] = {
    {clWindow, clWindow},             {cl3DDkShadow, cl3DDkShadow}, {clBtnShadow, clBtnHighlight},
    {clBtnHighlight, clBtnShadow},    {clNone, clNone},             {clNone, clNone},
    {clNone, clNone},                 {clNone, clNone},             {clBtnShadow, clBtnHighlight},
    {clBtnHighlight, clBtnShadow},    {clBtnShadow, clBtnShadow},
};

// Two-band tables, indexed by the lowered (3D) or down (button) flag.
constexpr TFramePair k3DOuter[2] = {{cl3DLight, cl3DDkShadow}, {clBtnShadow, clBtnHighlight}};
constexpr TFramePair k3DInner[2] = {{clBtnHighlight, clBtnShadow}, {cl3DDkShadow, cl3DLight}};
constexpr TFramePair kButtonOuter[2] = {{clBtnHighlight, cl3DDkShadow}, {clBtnText, clBtnText}};
constexpr TFramePair kButtonInner[2] = {{cl3DLight, clBtnShadow}, {clBtnShadow, clBtnShadow}};

TRect TwoBands(TCanvas* C, const TRect& R, TFramePair Outer, TFramePair Inner, TSides Sides) {
  TRect r = KvPaintSideBands(C, R, Outer.UpperLeft, Outer.LowerRight, 1, Sides);
  return KvPaintSideBands(C, r, Inner.UpperLeft, Inner.LowerRight, 1, Sides);
}

TRect Etched(TCanvas* C, const TRect& R, TColor UL, TColor LR, TSides Sides) {
  bool l = Sides.Contains(sdLeft), t = Sides.Contains(sdTop), r = Sides.Contains(sdRight),
       b = Sides.Contains(sdBottom);
  int32_t L = R.Left, T = R.Top, Rt = R.Right, B = R.Bottom;
  if (r) C->SetPixels(Rt - 1, T, LR);
  if (t && !r) C->SetPixels(Rt - 1, T, UL);
  if (b) C->SetPixels(L, B - 1, LR);
  if (l && !b) C->SetPixels(L, B - 1, UL);
  if (t && !l) C->SetPixels(L, T + 1, LR);
  if (l && !t) C->SetPixels(L + 1, T, LR);
  if (b && !r) C->SetPixels(Rt - 1, B - 2, UL);
  if (r && !b) C->SetPixels(Rt - 2, B - 1, UL);
  C->Pen()->SetWidth(1);
  TRect inner(L + 1, T + 1, Rt, B);
  KvPaintSideLines(C, inner, LR, LR, Sides);
  OffsetRect(inner, -1, -1);
  KvPaintSideLines(C, inner, UL, UL, Sides);
  return KvShrinkSides(R, Sides, 2);
}

// The brush colour of the arrow and cross glyphs.
TColor GlyphColor(uint8_t Look, bool Enabled) {
  if (!Enabled) return clBtnShadow;
  if (Look != 1) return clBlack;
  // The XP look takes the drop-down button's colour from the visual style; with none to sample,
  // the window colour is what the sample would be compared with, and the dark shadow wins.
  TColor sample = ThemesEnabled() ? clBtnText : clWindow;
  return KvColorsTooSimilar(sample, clWindow) ? cl3DDkShadow : sample;
}

void PaintGlyphPolygon(TCanvas* C, const std::vector<TPoint>& Pts, uint8_t Look, bool Enabled) {
  TColor oldBrush = C->Brush()->Color();
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(GlyphColor(Look, Enabled));
  C->Pen()->SetStyle(TPenStyle::psClear);
  if (!Pts.empty()) C->Polygon(Pts);
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Brush()->SetColor(oldBrush);
}

void GlyphCentre(const TRect& R, int32_t& Cx, int32_t& Cy) {
  Cx = R.Left + (R.Right - R.Left) / 2;
  Cy = R.Top + (R.Bottom - R.Top) / 2;
  if ((R.Bottom - R.Top) % 2 == 0) Cy -= 1;
}

// The face colour of a check or radio glyph by draw state, focus and read-only state.
TColor GlyphFill(uint8_t DrawState, bool Focused, TColor Fill, TColor Focus, TColor Disabled, bool ReadOnly,
                 bool ReadOnlyColorOnFocus, TColor ReadOnlyColor) {
  if (DrawState == kvdsPressed) return KvDarken(Focus, 20);
  if (DrawState == kvdsDisabled) return Disabled;
  if (!Focused) return ReadOnly ? ReadOnlyColor : Fill;
  return ReadOnly && ReadOnlyColorOnFocus ? ReadOnlyColor : Focus;
}

void Pixels(TCanvas* C, std::initializer_list<TPoint> Pts, TColor Color) {
  for (const TPoint& p : Pts) C->SetPixels(p.X, p.Y, Color);
}

void MixPixels(TCanvas* C, std::initializer_list<TPoint> Pts, TColor Frame, uint8_t Weight) {
  for (const TPoint& p : Pts) C->SetPixels(p.X, p.Y, KvMixColors(Frame, C->Pixels(p.X, p.Y), Weight));
}

}  // namespace

TRect KvShrinkSides(const TRect& R, TSides Sides, int32_t N) {
  TRect r = R;
  if (Sides.Contains(sdLeft)) r.Left += N;
  if (Sides.Contains(sdTop)) r.Top += N;
  if (Sides.Contains(sdRight)) r.Right -= N;
  if (Sides.Contains(sdBottom)) r.Bottom -= N;
  return r;
}

TRect KvPaintSideLines(TCanvas* C, const TRect& R, TColor UpperLeft, TColor LowerRight, TSides Sides) {
  C->Pen()->SetStyle(TPenStyle::psSolid);
  if (UpperLeft != clNone) {
    C->Pen()->SetColor(UpperLeft);
    if (Sides.Contains(sdLeft)) KvLine(C, R.Left, R.Top, R.Left, R.Bottom);
    if (Sides.Contains(sdTop)) KvLine(C, R.Left, R.Top, R.Right, R.Top);
  }
  if (LowerRight != clNone) {
    C->Pen()->SetColor(LowerRight);
    if (Sides.Contains(sdRight)) KvLine(C, R.Right - 1, R.Top, R.Right - 1, R.Bottom);
    if (Sides.Contains(sdBottom)) KvLine(C, R.Left, R.Bottom - 1, R.Right, R.Bottom - 1);
  }
  return KvShrinkSides(R, Sides);
}

TRect KvPaintSideBands(TCanvas* C, const TRect& R, TColor UpperLeft, TColor LowerRight, int32_t Count,
                       TSides Sides) {
  C->Pen()->SetWidth(1);
  TRect r = R;
  for (int32_t i = 0; i < Count; ++i) r = KvPaintSideLines(C, r, UpperLeft, LowerRight, Sides);
  return r;
}

TRect KvPaintCtl3DSides(TCanvas* C, const TRect& R, bool Lowered, TSides Sides) {
  return TwoBands(C, R, k3DOuter[Lowered], k3DInner[Lowered], Sides);
}

TRect KvPaintButtonFrame(TCanvas* C, const TRect& R, bool Down) { return KvPaintButtonFrameSides(C, R, Down, KvAllSides); }

TRect KvPaintButtonFrameSides(TCanvas* C, const TRect& R, bool Down, TSides Sides) {
  return TwoBands(C, R, kButtonOuter[Down], kButtonInner[Down], Sides);
}

TRect KvPaintColorButtonFrame(TCanvas* C, const TRect& R, TColor Face, bool Down) {
  return KvPaintColorButtonFrameSides(C, R, Face, Down, KvAllSides);
}

TRect KvPaintColorButtonFrameSides(TCanvas* C, const TRect& R, TColor Face, bool Down, TSides Sides) {
  if (Down)
    return TwoBands(C, R, {KvDarken(Face, 100), KvDarken(Face, 100)}, {KvDarken(Face, 50), KvDarken(Face, 50)}, Sides);
  return TwoBands(C, R, {KvLighten(Face, 100), KvDarken(Face, 100)}, {KvLighten(Face, 40), KvDarken(Face, 50)}, Sides);
}

TRect KvPaintStyledFrame(TCanvas* C, const TRect& R, TFrameStyleEx Style) {
  return KvPaintStyledFrameSides(C, R, Style, KvAllSides);
}

TRect KvPaintStyledFrameSides(TCanvas* C, const TRect& R, TFrameStyleEx Style, TSides Sides) {
  switch (Style) {
    case fsNone: return R;
    case fsLowered:
    case fsRaised: return KvPaintCtl3DSides(C, R, Style == fsLowered, Sides);
    case fsButtonDown:
    case fsButtonUp: return KvPaintButtonFrameSides(C, R, Style == fsButtonDown, Sides);
    case fsGroove:
    case fsBump: {
      const TFramePair& p = kStyleColors[static_cast<int>(Style)];
      return Etched(C, R, p.UpperLeft, p.LowerRight, Sides);
    }
    case fsFlatBold:
      return KvPaintSideBands(C, R, kStyleColors[10].UpperLeft, kStyleColors[10].LowerRight, 2, Sides);
    case fsFlatRounded: return KvPaintRoundedFlatFrame(C, R, cl3DDkShadow, Sides);
    default: {
      const TFramePair& p = kStyleColors[static_cast<int>(Style)];
      return KvPaintSideBands(C, R, p.UpperLeft, p.LowerRight, 1, Sides);
    }
  }
}

TRect KvPaintColoredFrame(TCanvas* C, const TRect& R, TColor Face, TFrameStyleEx Style) {
  return KvPaintColoredFrameSides(C, R, Face, Style, KvAllSides);
}

TRect KvPaintColoredFrameSides(TCanvas* C, const TRect& R, TColor F, TFrameStyleEx Style, TSides Sides) {
  switch (Style) {
    case fsNone: return R;
    case fsFlat: return KvPaintSideBands(C, R, KvDarken(F, 50), KvDarken(F, 50), 1, Sides);
    case fsStatus: return KvPaintSideBands(C, R, KvDarken(F, 50), KvLighten(F, 100), 1, Sides);
    case fsPopup: return KvPaintSideBands(C, R, KvLighten(F, 100), KvDarken(F, 50), 1, Sides);
    case fsFlatBold: return KvPaintSideBands(C, R, KvDarken(F, 50), KvDarken(F, 50), 2, Sides);
    case fsLowered:
      return TwoBands(C, R, {KvDarken(F, 50), KvLighten(F, 100)}, {KvDarken(F, 100), KvLighten(F, 50)}, Sides);
    case fsRaised:
      return TwoBands(C, R, {KvLighten(F, 50), KvDarken(F, 100)}, {KvLighten(F, 100), KvDarken(F, 50)}, Sides);
    case fsButtonDown:
    case fsButtonUp: return KvPaintColorButtonFrameSides(C, R, F, Style == fsButtonDown, Sides);
    case fsGroove: return Etched(C, R, KvDarken(F, 50), KvLighten(F, 100), Sides);
    default: return Etched(C, R, KvLighten(F, 100), KvDarken(F, 50), Sides);
  }
}

TRect KvPaintRectOutline(TCanvas* C, const TRect& R, TColor Color) {
  return KvPaintSideLines(C, R, Color, Color, KvAllSides);
}

TRect KvPaintCornerMarks(TCanvas* C, const TRect& R, TColor Color, int32_t N) {
  int32_t L = R.Left, T = R.Top, Rr = R.Right - 1, B = R.Bottom - 1;
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Pen()->SetColor(Color);
  TPoint a[] = {TPoint(L, T + N - 1), TPoint(L, T), TPoint(L + N, T)};
  TPoint b[] = {TPoint(Rr - N + 1, T), TPoint(Rr, T), TPoint(Rr, T + N)};
  TPoint c[] = {TPoint(Rr, B - N + 1), TPoint(Rr, B), TPoint(Rr - N, B)};
  TPoint d[] = {TPoint(L + N - 1, B), TPoint(L, B), TPoint(L, B - N)};
  C->Polyline(a, 3);
  C->Polyline(b, 3);
  C->Polyline(c, 3);
  C->Polyline(d, 3);
  return KvShrinkSides(R, KvAllSides);
}

TRect KvPaintDottedFocusFrame(TCanvas* C, const TRect& R) {
  for (int32_t y = R.Top + 1; y < R.Bottom; y += 2) {
    C->SetPixels(R.Left, y, clBlack);
    C->SetPixels(R.Right - 1, y, clBlack);
  }
  for (int32_t x = R.Left + 1; x < R.Right; x += 2) {
    C->SetPixels(x, R.Top, clBlack);
    C->SetPixels(x, R.Bottom - 1, clBlack);
  }
  return KvShrinkSides(R, KvAllSides);
}

TRect KvPaintRoundedFlatFrame(TCanvas* C, const TRect& R, TColor Color, TSides Sides) {
  bool l = Sides.Contains(sdLeft), t = Sides.Contains(sdTop), r = Sides.Contains(sdRight),
       b = Sides.Contains(sdBottom);
  int32_t y0 = t ? R.Top + 2 : R.Top, y1 = b ? R.Bottom - 2 : R.Bottom;
  int32_t x0 = l ? R.Left + 2 : R.Left, x1 = r ? R.Right - 2 : R.Right;
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Pen()->SetWidth(1);
  C->Pen()->SetColor(Color);
  if (l) KvLine(C, R.Left, y0, R.Left, y1);
  if (t) KvLine(C, x0, R.Top, x1, R.Top);
  if (r) KvLine(C, R.Right - 1, y0, R.Right - 1, y1);
  if (b) KvLine(C, x0, R.Bottom - 1, x1, R.Bottom - 1);
  if (l && t) C->SetPixels(R.Left + 1, R.Top + 1, Color);
  if (t && r) C->SetPixels(R.Right - 2, R.Top + 1, Color);
  if (r && b) C->SetPixels(R.Right - 2, R.Bottom - 2, Color);
  if (b && l) C->SetPixels(R.Left + 1, R.Bottom - 2, Color);
  return TRect(x0, y0, x1, y1);
}

TRect KvPaintLayeredBorders(TCanvas* C, const TRect& R, TFrameStyleEx OuterStyle, TFrameStyleEx InnerStyle,
                            int32_t BorderWidth, TSides Sides, int32_t BevelWidth, TColor BorderColor,
                            TColor HighlightColor, TColor ShadowColor, TColor FlatColor, int32_t FlatColorAdjustment,
                            TColor ControlColor, TColor ParentColor, bool Transparent) {
  TColor fc = KvShiftLightness(FlatColor, FlatColorAdjustment);
  TRect r = R;
  bool bordered = BorderWidth > 0 || InnerStyle != fsNone;
  switch (OuterStyle) {
    case fsFlat: r = KvPaintSideBands(C, r, fc, fc, 1, Sides); break;
    case fsFlatBold: r = KvPaintSideBands(C, r, fc, fc, 2, Sides); break;
    case fsFlatRounded:
      if (!Transparent) {
        TRect in = KvPaintSideBands(C, r, ParentColor, ParentColor, 1, Sides);
        TColor c = bordered ? BorderColor : ControlColor;
        KvPaintSideBands(C, in, c, c, 1, Sides);
      } else if (bordered) {
        KvPaintSideBands(C, KvShrinkSides(r, Sides), BorderColor, BorderColor, 1, Sides);
      }
      r = KvPaintRoundedFlatFrame(C, r, fc, Sides);
      break;
    case fsPopup: r = KvPaintSideBands(C, r, HighlightColor, ShadowColor, BevelWidth, Sides); break;
    case fsStatus: r = KvPaintSideBands(C, r, ShadowColor, HighlightColor, BevelWidth, Sides); break;
    default: r = KvPaintStyledFrameSides(C, r, OuterStyle, Sides); break;
  }
  if (BorderWidth > 0) r = KvPaintSideBands(C, r, BorderColor, BorderColor, BorderWidth, Sides);
  switch (InnerStyle) {
    case fsFlat: r = KvPaintSideBands(C, r, fc, fc, 1, Sides); break;
    case fsFlatBold: r = KvPaintSideBands(C, r, fc, fc, 2, Sides); break;
    case fsFlatRounded:
      if (!Transparent) {
        TRect in = KvPaintSideBands(C, r, BorderColor, BorderColor, 1, Sides);
        KvPaintSideBands(C, in, ControlColor, ControlColor, 1, Sides);
      } else {
        KvPaintSideBands(C, r, BorderColor, BorderColor, 1, Sides);
      }
      r = KvPaintRoundedFlatFrame(C, r, fc, Sides);
      break;
    case fsStatus: r = KvPaintSideBands(C, r, ShadowColor, HighlightColor, BevelWidth, Sides); break;
    case fsPopup: r = KvPaintSideBands(C, r, HighlightColor, ShadowColor, BevelWidth, Sides); break;
    default: r = KvPaintStyledFrameSides(C, r, InnerStyle, Sides); break;
  }
  return r;
}

void KvPaintControlFrame(TCanvas* C, int32_t Width, int32_t Height, TFrameStyle Style, TColor ControlColor,
                         TColor FrameColor, TSides Sides) {
  TRect r(0, 0, Width, Height);
  // Two bands of the control's colour first erase a frame drawn before in another style.
  KvPaintSideBands(C, r, ControlColor, ControlColor, 2, KvAllSides);
  if (Style == fsFlat)
    KvPaintSideBands(C, r, FrameColor, FrameColor, 1, Sides);
  else if (Style == fsFlatBold)
    KvPaintSideBands(C, r, FrameColor, FrameColor, 2, Sides);
  else if (ControlColor == clWindow)
    KvPaintStyledFrameSides(C, r, Style, Sides);
  else
    KvPaintColoredFrameSides(C, r, ControlColor, Style, Sides);
}

void KvRedrawNonClientFrame(TWinControl* Window, const TRect& R) {
  // A hidden window has no visible clip box and is left alone.
  if (!Window || !Window->Showing()) return;
  Window->RedrawWindow(&R, RDW_FRAME | RDW_INVALIDATE);
}

void KvPaintDropDownArrow(TCanvas* C, const TRect& R, uint8_t Look, bool Pressed, bool Enabled) {
  int32_t cx, cy;
  GlyphCentre(R, cx, cy);
  cy += Look == 1 ? 4 : 2;
  if (Pressed) ++cx, ++cy;
  if (Look == 1)
    PaintGlyphPolygon(C,
                      {TPoint(cx, cy), TPoint(cx - 4, cy - 5), TPoint(cx - 3, cy - 7), TPoint(cx, cy - 3),
                       TPoint(cx + 3, cy - 7), TPoint(cx + 5, cy - 5)},
                      Look, Enabled);
  else
    PaintGlyphPolygon(C, {TPoint(cx, cy), TPoint(cx - 3, cy - 4), TPoint(cx + 4, cy - 4)}, Look, Enabled);
}

void KvPaintArrowGlyph(TCanvas* C, const TRect& R, uint8_t Look, uint8_t Direction, bool Pressed, bool Enabled) {
  int32_t cx, cy;
  GlyphCentre(R, cx, cy);
  bool xp = Look == 1;
  switch (Direction) {
    case 0: cy += xp ? 4 : 2; break;
    case 1: cy += 2; break;
    case 2: cx -= xp ? 1 : 2; break;
    case 3: cx -= xp ? 3 : 2; break;
    default: break;
  }
  if (Pressed && Enabled) ++cx, ++cy;
  std::vector<TPoint> p;
  if (xp) {
    switch (Direction) {
      case 0:
        p = {TPoint(cx, cy - 5), TPoint(cx + 4, cy), TPoint(cx + 1, cy), TPoint(cx, cy - 2), TPoint(cx - 1, cy),
             TPoint(cx - 4, cy)};
        break;
      case 1:
        p = {TPoint(cx, cy), TPoint(cx - 3, cy - 4), TPoint(cx, cy - 4), TPoint(cx, cy - 3), TPoint(cx + 1, cy - 4),
             TPoint(cx + 4, cy - 4)};
        break;
      case 2:
        p = {TPoint(cx, cy), TPoint(cx + 4, cy - 4), TPoint(cx + 4, cy - 1), TPoint(cx + 3, cy), TPoint(cx + 4, cy + 1),
             TPoint(cx + 4, cy + 4)};
        break;
      case 3:
        p = {TPoint(cx + 4, cy), TPoint(cx, cy + 4), TPoint(cx, cy + 1), TPoint(cx + 1, cy), TPoint(cx, cy - 1),
             TPoint(cx, cy - 4)};
        break;
      default: break;
    }
  } else {
    switch (Direction) {
      case 0: p = {TPoint(cx, cy - 5), TPoint(cx + 4, cy), TPoint(cx - 4, cy)}; break;
      case 1: p = {TPoint(cx, cy + 1), TPoint(cx - 3, cy - 3), TPoint(cx + 4, cy - 3)}; break;
      case 2: p = {TPoint(cx, cy), TPoint(cx + 4, cy - 4), TPoint(cx + 4, cy + 4)}; break;
      case 3: p = {TPoint(cx + 4, cy), TPoint(cx, cy + 4), TPoint(cx, cy - 4)}; break;
      default: break;
    }
  }
  PaintGlyphPolygon(C, p, Look, Enabled);
}

void KvPaintCloseGlyph(TCanvas* C, const TRect& R, uint8_t Look, bool Pressed, bool Enabled) {
  int32_t cx, cy;
  GlyphCentre(R, cx, cy);
  if (Pressed && Enabled) ++cx, ++cy;
  PaintGlyphPolygon(C,
                    {TPoint(cx, cy - 1), TPoint(cx + 3, cy - 4), TPoint(cx + 5, cy - 4), TPoint(cx + 5, cy - 3),
                     TPoint(cx + 2, cy), TPoint(cx + 5, cy + 4), TPoint(cx + 5, cy + 5), TPoint(cx + 3, cy + 5),
                     TPoint(cx, cy + 1), TPoint(cx - 3, cy + 5), TPoint(cx - 4, cy + 5), TPoint(cx - 4, cy + 3),
                     TPoint(cx - 1, cy), TPoint(cx - 4, cy - 3), TPoint(cx - 4, cy - 4), TPoint(cx - 3, cy - 5)},
                    Look, Enabled);
}

void KvPaintGradientRing(TCanvas* C, const TRect& R, TGradientDirection Direction, TColor StartColor,
                         TColor StopColor) {
  if (!KvFullColorDisplay) return;
  int saved = SaveDC(C);
  TRect in = R;
  InflateRect(in, -2, -2);
  ExcludeClipRect(C, in.Left, in.Top, in.Right, in.Bottom);
  KvDrawGradient(C, R, Direction, StartColor, StopColor, 1);
  RestoreDC(C, saved);
}

void KvPaintCheckGlyph(TCanvas* C, const TRect& R, TCheckBoxState State, uint8_t DrawState, bool Focused,
                       TKvButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor MarkColor, TColor FillColor,
                       TColor FocusColor, TColor DisabledColor, TColor HotLightColor, TColor HotDarkColor,
                       bool ReadOnly, bool ReadOnlyColorOnFocus, TColor ReadOnlyColor) {
  bool hot = DrawState == kvdsHot;
  if (hot && HotTrackStyle == htsFrame) FrameColor = HotDarkColor;
  TRect in = KvPaintRectOutline(C, R, FrameColor);
  if (DrawState == kvdsDisabled) MarkColor = clBtnShadow;
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(GlyphFill(DrawState, Focused, FillColor, FocusColor, DisabledColor, ReadOnly,
                                 ReadOnlyColorOnFocus, ReadOnlyColor));
  C->FillRect(in);
  if (State == cbChecked) {
    static constexpr int8_t kMark[21][2] = {{3, 5}, {3, 6}, {3, 7}, {4, 6}, {4, 7}, {4, 8}, {5, 7},
                                            {5, 8}, {5, 9}, {6, 6}, {6, 7}, {6, 8}, {7, 5}, {7, 6},
                                            {7, 7}, {8, 4}, {8, 5}, {8, 6}, {9, 3}, {9, 4}, {9, 5}};
    for (const auto& m : kMark) C->SetPixels(R.Left + m[0], R.Top + m[1], MarkColor);
  } else if (State == cbGrayed) {
    TRect g = in;
    InflateRect(g, -2, -2);
    C->Brush()->SetColor(MarkColor);
    C->FillRect(g);
  }
  if (hot) {
    if (HotTrackStyle == htsInterior)
      KvPaintGradientRing(C, in, gdDiagonalDown, HotLightColor, HotDarkColor);
    else
      KvPaintRectOutline(C, in, HotDarkColor);
  }
}

void KvPaintRadioGlyph(TCanvas* Canvas, const TRect& R, bool Checked, uint8_t DrawState, bool Focused,
                       TKvButtonHotTrackStyle HotTrackStyle, TColor FrameColor, TColor DotColor, TColor FillColor,
                       TColor FocusColor, TColor DisabledColor, TColor HotLightColor, TColor HotDarkColor,
                       TColor BackgroundColor, bool Transparent, TColor TransparentKeyColor, bool ReadOnly,
                       bool ReadOnlyColorOnFocus, TColor ReadOnlyColor) {
  TBitmap bmp(13, 13, TPixelFormat::pf32bit);
  TCanvas* C = bmp.Canvas();
  bool hot = DrawState == kvdsHot, full = KvFullColorDisplay;
  // 1. The face.
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(GlyphFill(DrawState, Focused, FillColor, FocusColor, DisabledColor, ReadOnly,
                                 ReadOnlyColorOnFocus, ReadOnlyColor));
  C->FillRect(TRect(0, 0, 13, 13));
  // 2. The hot look.
  if (hot && HotTrackStyle == htsFrame) FrameColor = HotDarkColor;
  TColor L = full ? KvLighten(FrameColor, 10) : FrameColor;
  if (hot && full) {
    if (HotTrackStyle == htsFrame) {
      Pixels(C, {{5, 1}, {6, 1}, {7, 1}, {1, 5}, {11, 5}, {1, 6}, {11, 6}, {1, 7}, {11, 7}, {5, 11}, {6, 11}, {7, 11}},
             L);
      Pixels(C, {{4, 1}, {8, 1}, {1, 4}, {11, 4}, {1, 8}, {11, 8}, {4, 11}, {8, 11}}, FrameColor);
    } else {
      int saved = SaveDC(C);
      ExcludeClipRect(C, 4, 4, 9, 9);
      ExcludeClipRect(C, 5, 3, 8, 10);
      ExcludeClipRect(C, 3, 5, 10, 8);
      KvDrawGradient(C, TRect(0, 0, 13, 13), gdDiagonalDown, HotLightColor, HotDarkColor, 1);
      RestoreDC(C, saved);
    }
  }
  // 3. Outside the circle.
  TColor K = Transparent ? TransparentKeyColor : BackgroundColor;
  Pixels(C, {{0, 0}, {1, 0}, {2, 0}, {10, 0}, {11, 0}, {12, 0}, {0, 1}, {1, 1}, {11, 1}, {12, 1}, {0, 2}, {12, 2},
             {0, 10}, {12, 10}, {0, 11}, {1, 11}, {11, 11}, {12, 11}, {0, 12}, {1, 12}, {2, 12}, {10, 12}, {11, 12},
             {12, 12}},
         K);
  // 4. The edge, blended into the background.
  TColor E1, E2;
  if (Transparent)
    E1 = E2 = TransparentKeyColor;
  else if (full)
    E1 = KvMixColors(FrameColor, BackgroundColor, 128), E2 = KvMixColors(FrameColor, BackgroundColor, 40);
  else
    E1 = FrameColor, E2 = BackgroundColor;
  Pixels(C, {{4, 0}, {8, 0}, {2, 1}, {10, 1}, {1, 2}, {11, 2}, {0, 4}, {12, 4}, {0, 8}, {12, 8}, {1, 10}, {11, 10},
             {2, 11}, {10, 11}, {4, 12}, {8, 12}},
         E1);
  Pixels(C, {{3, 0}, {9, 0}, {0, 3}, {12, 3}, {0, 9}, {12, 9}, {3, 12}, {9, 12}}, E2);
  Pixels(C, {{6, 0}, {3, 1}, {9, 1}, {1, 3}, {11, 3}, {0, 6}, {12, 6}, {1, 9}, {11, 9}, {3, 11}, {9, 11}, {6, 12}},
         FrameColor);
  Pixels(C, {{5, 0}, {7, 0}, {2, 2}, {10, 2}, {0, 5}, {12, 5}, {0, 7}, {12, 7}, {2, 10}, {10, 10}, {5, 12}, {7, 12}},
         L);
  // 5. Inner shading.
  if (full && hot && HotTrackStyle == htsFrame) {
    MixPixels(C, {{3, 2}, {9, 2}, {2, 3}, {10, 3}, {2, 9}, {10, 9}, {3, 10}, {9, 10}}, FrameColor, 150);
    MixPixels(C, {{4, 2}, {8, 2}, {2, 4}, {10, 4}, {2, 8}, {10, 8}, {4, 10}, {8, 10}}, FrameColor, 80);
  } else if (full) {
    MixPixels(C, {{4, 1}, {8, 1}, {1, 4}, {11, 4}, {1, 8}, {11, 8}, {4, 11}, {8, 11}}, FrameColor, 128);
    MixPixels(C, {{5, 1}, {7, 1}, {3, 2}, {9, 2}, {2, 3}, {10, 3}, {1, 5}, {11, 5}, {1, 7}, {11, 7}, {2, 9}, {10, 9},
                  {3, 10}, {9, 10}, {5, 11}, {7, 11}},
              FrameColor, 80);
    MixPixels(C, {{6, 1}, {1, 6}, {11, 6}, {6, 11}}, FrameColor, 40);
  } else {
    Pixels(C, {{4, 1}, {8, 1}, {1, 4}, {11, 4}, {1, 8}, {11, 8}, {4, 11}, {8, 11}}, FrameColor);
    Pixels(C, {{5, 1}, {7, 1}, {3, 2}, {9, 2}, {2, 3}, {10, 3}, {1, 5}, {11, 5}, {1, 7}, {11, 7}, {2, 9}, {10, 9},
               {3, 10}, {9, 10}, {5, 11}, {7, 11}},
           clSilver);
  }
  // 6. The dot.
  if (Checked) {
    TColor dot = DrawState == kvdsDisabled ? clBtnShadow : DotColor;
    TColor d2 = full ? KvMixColors(dot, C->Pixels(4, 4), 153) : dot;
    C->Brush()->SetColor(dot);
    C->FillRect(TRect(5, 5, 8, 8));
    Pixels(C, {{6, 4}, {4, 6}, {8, 6}, {6, 8}}, dot);
    Pixels(C, {{5, 4}, {7, 4}, {4, 5}, {8, 5}, {4, 7}, {8, 7}, {5, 8}, {7, 8}}, d2);
  }
  BitBlt(Canvas, R.Left, R.Top, 13, 13, C, 0, 0, SRCCOPY);
}

void KvLine(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  C->MoveTo(X1, Y1);
  C->LineTo(X2, Y2);
}
