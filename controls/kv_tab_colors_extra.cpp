#include "controls/kv_tab_colors_extra.h"

#include <algorithm>
#include <cmath>

bool KvFullColorDisplay = true;

namespace {
TColor Mix(TColor A, TColor B, double w) {
  COLORREF a = ColorToRGB(A), b = ColorToRGB(B);
  auto ch = [&](int s) { return uint8_t(std::lround(((a >> s) & 0xFF) * w + ((b >> s) & 0xFF) * (1 - w))); };
  return TColor(RGB(ch(0), ch(8), ch(16)));
}
}  // namespace

TColor KvDarken(TColor Color, uint8_t Amount) { return Mix(clBlack, Color, Amount / 240.0); }
TColor KvShiftLightness(TColor Color, int32_t Amount) {
  if (Amount == 0) return Color;
  return Amount < 0 ? Mix(clBlack, Color, -Amount / 240.0) : Mix(clWhite, Color, Amount / 240.0);
}
TColor KvMixColors(TColor A, TColor B, uint8_t Weight) { return Mix(A, B, Weight / 255.0); }
TColor KvComplementColor(TColor Color, uint8_t) {
  COLORREF c = ColorToRGB(Color);
  return TColor(0xFFFFFF - c);
}
void KvDrawGradient(TCanvas* C, const TRect& R, TGradientDirection D, TColor Start, TColor Stop, uint8_t) {
  const bool vert = D == TGradientDirection::gdVerticalEnd;
  int32_t n = vert ? R.Width() : R.Height();
  for (int32_t i = 0; i < n; ++i) {
    C->Brush()->SetColor(Mix(Stop, Start, n > 1 ? double(i) / (n - 1) : 0));
    C->FillRect(vert ? TRect(R.Left + i, R.Top, R.Left + i + 1, R.Bottom) : TRect(R.Left, R.Top + i, R.Right, R.Top + i + 1));
  }
}
void KvPaintParentBackground(TControl*, TCanvas* C, bool) {
  C->Brush()->SetColor(clBtnFace);
  C->FillRect(TRect(0, 0, C->Bitmap()->Width(), C->Bitmap()->Height()));
}
void KvPaintArrowGlyph(TCanvas* C, const TRect& R, uint8_t, uint8_t, bool, bool) {
  C->Pixels(R.Left, R.Top);
}
void KvPaintCloseGlyph(TCanvas* C, const TRect& R, uint8_t, bool, bool) { C->Pixels(R.Left, R.Top); }
bool KvFontIsTrueType(const TFont&) { return true; }
