#include "platform/ui/frame_controls.h"

namespace {

void Fill(HDC DC, const TRect& R, TColor Color) {
  TBrush b;
  b.SetColor(Color);
  FillRect(DC, R, b);
}

void CheckBox(HDC DC, const TRect& R, uint32_t State) {
  TRect r = Rect(R.Left, R.Top, R.Left + 13, R.Top + 13);
  DrawEdge(DC, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  bool three = (State & DFCS_BUTTON3STATE) != 0;
  bool dim = (State & (DFCS_PUSHED | DFCS_INACTIVE)) != 0 || (three && (State & DFCS_CHECKED));
  Fill(DC, r, dim ? clBtnFace : clWindow);
  if (!(State & DFCS_CHECKED)) return;
  TColor mark = (State & DFCS_INACTIVE) || three ? clBtnShadow : clWindowText;
  // A three pixel thick tick: down to the bottom-left third, then up to the top-right.
  for (int32_t dy = 0; dy < 3; ++dy) {
    LineDDA(r.Left + 1, r.Top + 3 + dy, r.Left + 3, r.Top + 5 + dy, [&](int32_t x, int32_t y) { SetPixel(DC, x, y, mark); });
    LineDDA(r.Left + 3, r.Top + 5 + dy, r.Left + 8, r.Top + dy, [&](int32_t x, int32_t y) { SetPixel(DC, x, y, mark); });
  }
}

void RadioButton(HDC DC, const TRect& R, uint32_t State) {
  int32_t l = R.Left, t = R.Top;
  TCanvas* c = DC;
  if (!(State & DFCS_TRANSPARENT)) Fill(DC, Rect(l, t, l + 12, t + 12), clBtnFace);
  bool dim = (State & (DFCS_PUSHED | DFCS_INACTIVE)) != 0;
  c->Pen()->SetStyle(TPenStyle::psSolid);
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Pen()->SetColor(dim ? clBtnFace : clWindow);
  c->Brush()->SetColor(dim ? clBtnFace : clWindow);
  c->Ellipse(l + 1, t + 1, l + 11, t + 11);
  // Sunken ring: shadow and dark shadow on the upper-left half, highlight and light on the lower-right.
  auto ring = [&](int32_t inset, TColor UpperLeft, TColor LowerRight) {
    int32_t a = l + inset, b = t + inset, e = l + 12 - inset, f = t + 12 - inset;
    c->Pen()->SetColor(UpperLeft);
    c->Arc(a, b, e, f, e, b, a, f);
    c->Pen()->SetColor(LowerRight);
    c->Arc(a, b, e, f, a, f, e, b);
  };
  ring(0, clBtnShadow, clBtnHighlight);
  ring(1, cl3DDkShadow, cl3DLight);
  if (!(State & DFCS_CHECKED)) return;
  TColor dot = (State & DFCS_INACTIVE) ? clBtnShadow : clWindowText;
  c->Pen()->SetColor(dot);
  c->Brush()->SetColor(dot);
  c->Ellipse(l + 4, t + 4, l + 8, t + 8);
}

}  // namespace

bool DrawFrameControl(HDC DC, const TRect& R, uint32_t Type, uint32_t State) {
  if (!DC || Type != DFC_BUTTON) return false;
  if (State & DFCS_BUTTONRADIO) RadioButton(DC, R, State);
  else CheckBox(DC, R, State);
  return true;
}
