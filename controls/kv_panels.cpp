#include "controls/kv_panels.h"

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

// ---- Panel and group box ---------------------------------------------------------------------------

TKvPanel::TKvPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvPanelsProperties();
  FControlStyle.Include(csAcceptsControls);
  SetBounds(0, 0, 185, 41);
  SetParentColor(false);
  SetColor(kFace);
}

void TKvPanel::SetFlatBorder(bool v) {
  if (FFlatBorder == v) return;
  FFlatBorder = v;
  Realign();
  Invalidate();
}

void TKvPanel::SetBorderStyle(TBorderStyle v) {
  if (FBorderStyle == v) return;
  FBorderStyle = v;
  Realign();
  Invalidate();
}

void TKvPanel::SetShowCaption(bool v) {
  FShowCaption = v;
  Invalidate();
}

int32_t TKvPanel::BorderSize() const {
  if (FBorderStyle == TBorderStyle::bsNone) return 0;
  return FFlatBorder ? 1 : 2;
}

void TKvPanel::AdjustClientRect(TRect& Rect) {
  int32_t b = BorderSize() + BorderWidth();
  InflateRect(Rect, -b, -b);
}

void TKvPanel::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Color());
  if (FBorderStyle != TBorderStyle::bsNone) {
    if (FFlatBorder) {
      C->Brush()->SetColor(clBtnShadow);
      C->FrameRect(r);
    } else {
      Frame(C, r, clBtnHighlight, clBtnShadow);
      TRect in = r;
      InflateRect(in, -1, -1);
      Frame(C, in, Color(), clBtnFace);
    }
  }
  if (FShowCaption && !Caption().empty())
    DrawCaption(C, this, Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
}

TKvGroupBox::TKvGroupBox(TComponent* AOwner) : TKvPanel(AOwner) { FFlatBorder = true; }

void TKvGroupBox::AdjustClientRect(TRect& Rect) {
  int32_t top = Caption().empty() ? 2 : 16;
  Rect.Left += 2;
  Rect.Right -= 2;
  Rect.Top += top;
  Rect.Bottom -= 2;
}

void TKvGroupBox::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  TColor bg = Parent() ? Parent()->Color() : Color();
  Fill(C, r, bg);
  TRect box = r;
  if (!Caption().empty()) box.Top += 7;
  Fill(C, Rect(box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1), Color());
  C->Brush()->SetColor(kFrame);
  C->FrameRect(box);
  if (!Caption().empty()) {
    C->Font()->Assign(*Font());
    int32_t w = C->TextWidth(Caption()) + 6;
    TRect t = Rect(8, 0, 8 + w, 15);
    Fill(C, t, bg);
    DrawCaption(C, this, Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE, Enabled() ? clBtnText : clGrayText);
  }
}


void RegisterKvPanelsProperties() {
  static bool done = false;
  if (done) return;
  done = true;

}
