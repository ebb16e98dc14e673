#include "controls/kv_status.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/kv_first_cut.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

using namespace kvfirst;

TKvSeparator::TKvSeparator(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 150, 2); }

void TKvSeparator::Paint() {
  TCanvas* C = Canvas();
  int32_t w = Width();
  TColor a = ColorToRGB(kFrame), b = ColorToRGB(clBtnFace);
  // A line that fades into the face colour towards both ends.
  for (int32_t x = 0; x < w; ++x) {
    int32_t d = std::min(x, w - 1 - x);
    int32_t t = std::min(255, d * 255 * 3 / std::max(1, w));
    auto mix = [&](int s) { return static_cast<TColor>((((b >> s) & 0xFF) * (255 - t) + ((a >> s) & 0xFF) * t) / 255) << s; };
    C->SetPixels(x, 0, mix(0) | mix(8) | mix(16));
    if (Height() > 1) C->SetPixels(x, 1, clWhite);
  }
}


// ---- Status bar --------------------------------------------------------------------------------------

TKvStatusPane::TKvStatusPane(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 200, 19);
  SetAlign(alClient);
}

void TKvStatusPane::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Parent() ? Parent()->Color() : Color());
  Frame(C, r, clBtnShadow, clBtnHighlight);
  TRect tr = Rect(r.Left + 4, r.Top, r.Right - 2, r.Bottom);
  DrawCaption(C, this, Caption(), tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS, clBtnText);
}

TKvStatusBar::TKvStatusBar(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvStatusProperties();
  FControlStyle.Include(csAcceptsControls);
  SetBounds(0, 0, 300, 23);
  SetAlign(alBottom);
  SetParentColor(false);
  SetColor(kFace);
  SetBorderWidth(2);
}

void TKvStatusBar::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Color());
  C->Pen()->SetColor(kFrame);
  C->MoveTo(0, 0);
  C->LineTo(r.Right, 0);
}


void RegisterKvStatusProperties() {
  static bool done = false;
  if (done) return;
  done = true;

}
