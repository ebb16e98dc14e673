#include "controls/menu/sty_menu_util.h"

#include "controls/kv_fonts.h"

namespace StyMenus {

TRect FitRectCentered(const TRect& R, int32_t W, int32_t H) {
  TRect Out;
  Out.Right = (R.Left + R.Right + W) / 2;
  Out.Bottom = (R.Top + R.Bottom + H) / 2;
  Out.Left = Out.Right - W;
  Out.Top = Out.Bottom - H;
  return Out;
}

TRect BitmapBounds(const TBitmap* Bitmap) {
  if (!Bitmap) return TRect(0, 0, 0, 0);
  return TRect(0, 0, Bitmap->Width(), Bitmap->Height());
}

void ColorToRGBParts(TColor Color, uint8_t& R, uint8_t& G, uint8_t& B) {
  uint32_t C = static_cast<uint32_t>(ColorToRGB(Color));
  R = GetRValue(C);
  G = GetGValue(C);
  B = GetBValue(C);
}

std::unique_ptr<TFont> CreateRotatedFont(const TFont& Font, int32_t AngleDegrees) {
  return KvCreateRotatedFont(Font, AngleDegrees, DEFAULT_CHARSET);
}

}  // namespace StyMenus
