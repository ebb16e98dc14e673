#include "controls/kv_text.h"

namespace {

// One scratch canvas stands for the screen's device context when nothing is being painted.
TCanvas& ScreenCanvas() {
  static TBitmap bmp;
  static TCanvas c(&bmp);
  if (bmp.Width() == 0) {
    bmp.SetWidth(1);
    bmp.SetHeight(1);
  }
  return c;
}

}  // namespace

int32_t KvDrawTextColored(TCanvas* C, const std::string& Text, TRect R, uint32_t Flags, TColor Color) {
  C->Font()->SetColor(Color);
  C->RequiredState();
  SetBkMode(C, TRANSPARENT);
  SetTextColor(C, Color);
  return DrawText(C, Text, R, Flags);
}

TSize KvTextExtentOf(const TFont& Font, const std::string& Text) {
  TCanvas& c = ScreenCanvas();
  c.Font()->Assign(Font);
  return c.TextExtent(Text);
}

int32_t KvCalcTextRect(const TFont& Font, const std::string& Text, TRect& R, uint32_t Flags) {
  TCanvas& c = ScreenCanvas();
  c.Font()->Assign(Font);
  return DrawText(&c, Text, R, Flags | DT_CALCRECT);
}

uint32_t KvAlignmentFlag(TAlignment A) {
  switch (A) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}
