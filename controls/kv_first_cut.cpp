#include "controls/kv_first_cut.h"

#include <algorithm>


namespace kvfirst {

void Frame(TCanvas* C, const TRect& R, TColor TopLeft, TColor BottomRight) {
  C->Pen()->SetColor(TopLeft);
  C->MoveTo(R.Left, R.Bottom - 1);
  C->LineTo(R.Left, R.Top);
  C->LineTo(R.Right - 1, R.Top);
  C->Pen()->SetColor(BottomRight);
  C->LineTo(R.Right - 1, R.Bottom - 1);
  C->LineTo(R.Left - 1, R.Bottom - 1);
}

void Fill(TCanvas* C, const TRect& R, TColor Color) {
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(Color);
  C->FillRect(R);
}

void DrawCaption(TCanvas* C, const TControl* Ctl, const std::string& S, TRect R, uint32_t Flags, TColor Color) {
  C->Font()->Assign(*Ctl->Font());
  C->Font()->SetColor(Color);
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, Color);
  DrawText(C, S, R, Flags);
}


void Gradient(TCanvas* C, const TRect& R, TColor From, TColor To) {
  int32_t h = R.Height();
  if (h <= 0) return;
  TColor a = ColorToRGB(From), b = ColorToRGB(To);
  for (int32_t y = 0; y < h; ++y) {
    auto mix = [&](int shift) {
      int32_t ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
      return static_cast<TColor>((ca + (cb - ca) * y / std::max(1, h - 1)) & 0xFF) << shift;
    };
    Fill(C, Rect(R.Left, R.Top + y, R.Right, R.Top + y + 1), mix(0) | mix(8) | mix(16));
  }
}


}  // namespace kvfirst
