// The hint window: a small popup with the hint text of the control under the pointer.
#include <algorithm>

#include "platform/ui/ui_internal.h"

namespace {
class THintWindow : public TCustomForm {
 public:
  THintWindow() : TCustomForm(nullptr) {
    SetBorderStyle(TFormBorderStyle::bsNone);
    SetColor(Application->HintColor());
  }
  std::string ClassName() const override { return "THintWindow"; }
  std::string Text;

 protected:
  // A hint never takes the activation from the form under it.
  void Activate() override {}
  void Paint() override {
    TCanvas* c = Canvas();
    TRect r = ClientRect();
    TBrush b;
    b.SetColor(Application->HintColor());
    FillRect(c, r, b);
    TBrush frame;
    frame.SetColor(clInfoText);
    FrameRect(c, r, frame);
    c->Font()->Assign(*Screen->HintFont());
    SetBkMode(c, TRANSPARENT);
    SetTextColor(c, clInfoText);
    TRect tr = r;
    InflateRect(tr, -3, -2);
    DrawText(c, Text, tr, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
  }
};

THintWindow* gHint = nullptr;
}  // namespace

void ShowHintWindow(const std::string& Text, const TPoint& ScreenPos) {
  if (!gHint) gHint = new THintWindow();
  gHint->Text = Text;
  TCanvas* c = gHint->Canvas();
  c->Font()->Assign(*Screen->HintFont());
  TRect r = Rect(0, 0, 300, 0);
  DrawText(c, Text, r, DT_CALCRECT | DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
  int32_t w = r.Width() + 8, h = r.Height() + 6;
  TRect scr = Application->Backend()->ScreenRect();
  int32_t x = std::min(ScreenPos.X, scr.Right - w), y = ScreenPos.Y + 20;
  if (y + h > scr.Bottom) y = ScreenPos.Y - h - 4;
  gHint->SetBounds(x, y, w, h);
  gHint->Show();
  gHint->Invalidate();
}

void HideHintWindow() {
  if (gHint && gHint->Visible()) gHint->Hide();
}

TCustomForm* HintWindow() { return gHint && gHint->Visible() ? gHint : nullptr; }
