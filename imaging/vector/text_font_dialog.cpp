// The font chooser: an edit for the face, one for the size in points, four style boxes, a colour
// swatch that opens the colour dialog, and a sample of the result.
#include "imaging/vector/text_font_dialog.h"

#include <cstdlib>

#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/std_ctrls.h"

namespace {

// A push button or, with Toggle, a check box; Enter and Escape reach the default and cancel ones.
class TFdButton : public TCustomControl {
 public:
  TFdButton(TComponent* AOwner, TWinControl* AParent, const std::string& ACaption, const TRect& R, bool AToggle)
      : TCustomControl(AOwner), Toggle(AToggle) {
    SetParent(AParent);
    SetCaption(ACaption);
    SetBoundsRect(R);
    SetTabStop(true);
    SetColor(clBtnFace);
  }
  bool Toggle;
  bool Checked = false;
  bool Default = false, Cancel = false;
  TModalResult Result = mrNone;
  TColor Swatch = clNone;

  void Click() override {
    if (Toggle) {
      Checked = !Checked;
      Invalidate();
    }
    TCustomControl::Click();
    if (Result != mrNone)
      if (TCustomForm* F = GetParentForm(this)) F->SetModalResult(Result);
  }

 protected:
  void Paint() override {
    TCanvas* C = Canvas();
    TRect R = ClientRect();
    TBrush Face;
    Face.SetColor(clBtnFace);
    FillRect(C, R, Face);
    C->Font()->Assign(*Font());
    SetBkMode(C, TRANSPARENT);
    SetTextColor(C, clBtnText);
    if (Toggle) {
      TRect Box = Bounds(0, (R.Bottom - 13) / 2, 13, 13);
      DrawEdge(C, Box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
      TBrush W;
      W.SetColor(clWindow);
      FillRect(C, Box, W);
      if (Checked) {
        TBrush K;
        K.SetColor(clWindowText);
        TRect Mark = Box;
        InflateRect(Mark, -2, -2);
        FillRect(C, Mark, K);
      }
      TRect T = R;
      T.Left = 18;
      DrawText(C, Caption(), T, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    } else {
      TRect B = R;
      DrawEdge(C, B, FDown ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
      if (Swatch != clNone) {
        TBrush S;
        S.SetColor(Swatch);
        InflateRect(B, -3, -3);
        FillRect(C, B, S);
      } else {
        DrawText(C, Caption(), B, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      }
    }
    if (Focused()) {
      TRect F = R;
      InflateRect(F, -1, -1);
      DrawFocusRect(C, F);
    }
  }
  void MouseDown(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    FDown = B == TMouseButton::mbLeft;
    Invalidate();
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void MouseUp(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    FDown = false;
    Invalidate();
    TCustomControl::MouseUp(B, S, X, Y);
  }
  void KeyDown(uint16_t& Key, TShiftState Shift) override {
    TCustomControl::KeyDown(Key, Shift);
    if (Key == VK_SPACE) {
      Key = 0;
      Click();
    }
  }
  void Dispatch(TMessage& M) override {
    if (M.Msg == CM_DIALOGKEY && ((M.WParam == VK_RETURN && Default) || (M.WParam == VK_ESCAPE && Cancel))) {
      Click();
      M.Result = 1;
      return;
    }
    if (M.Msg == WM_SETFOCUS || M.Msg == WM_KILLFOCUS) Invalidate();
    TCustomControl::Dispatch(M);
  }

 private:
  bool FDown = false;
};

class TFdSample : public TGraphicControl {
 public:
  explicit TFdSample(TComponent* AOwner) : TGraphicControl(AOwner) {}
  TFont Sample;

 protected:
  void Paint() override {
    TCanvas* C = Canvas();
    TRect R = ClientRect();
    DrawEdge(C, R, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    TBrush W;
    W.SetColor(clWindow);
    FillRect(C, R, W);
    C->Font()->Assign(Sample);
    SetBkMode(C, TRANSPARENT);
    DrawText(C, "AaBbYyZz", R, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
};

class TFdForm : public TForm {
 public:
  explicit TFdForm(const TFont& Initial) : TForm(nullptr) {
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    SetCaption("Font");
    SetClientSize(300, 244);
    Name = new TEdit(this);
    Name->SetParent(this);
    Name->SetBounds(8, 24, 200, 21);
    Name->SetText(Initial.Name());
    Size = new TEdit(this);
    Size->SetParent(this);
    Size->SetBounds(216, 24, 76, 21);
    Size->SetText(std::to_string(Initial.Size()));
    const char* Names[4] = {"Bold", "Italic", "Underline", "Strikeout"};
    for (int I = 0; I < 4; ++I) {
      Styles[I] = new TFdButton(this, this, Names[I], Bounds(8 + (I % 2) * 100, 54 + (I / 2) * 22, 96, 20), true);
      Styles[I]->Checked = Initial.Style().Contains(static_cast<TFontStyle>(I));
      Styles[I]->OnClick = [this](TObject*) { Refresh(); };
    }
    ColorButton = new TFdButton(this, this, "Color", Bounds(216, 54, 76, 42), false);
    ColorButton->Swatch = Initial.Color();
    ColorButton->OnClick = [this](TObject*) {
      TColorDialog D(nullptr);
      D.SetColor(ColorButton->Swatch);
      if (D.Execute()) ColorButton->Swatch = D.Color();
      Refresh();
    };
    Sample = new TFdSample(this);
    Sample->SetParent(this);
    Sample->SetBounds(8, 104, 284, 92);
    auto* Ok = new TFdButton(this, this, "OK", Bounds(300 - 8 - 75 - 8 - 75, 244 - 8 - 23, 75, 23), false);
    Ok->Result = mrOk;
    Ok->Default = true;
    auto* Cancel = new TFdButton(this, this, "Cancel", Bounds(300 - 8 - 75, 244 - 8 - 23, 75, 23), false);
    Cancel->Result = mrCancel;
    Cancel->Cancel = true;
    Chosen.Assign(Initial);
    Name->OnChange = [this](TObject*) { Refresh(); };
    Size->OnChange = [this](TObject*) { Refresh(); };
    Refresh();
    SetActiveControl(Name);
  }
  // The font the fields describe now; a size that is not a positive number keeps the old one.
  void Refresh() {
    if (!Name->Text().empty()) Chosen.SetName(Name->Text());
    int Points = std::atoi(Size->Text().c_str());
    if (Points > 0 && Points <= 1638) Chosen.SetSize(Points);
    TFontStyles S;
    for (int I = 0; I < 4; ++I)
      if (Styles[I]->Checked) S.Include(static_cast<TFontStyle>(I));
    Chosen.SetStyle(S);
    Chosen.SetColor(ColorButton->Swatch);
    Sample->Sample.Assign(Chosen);
    Sample->Invalidate();
    ColorButton->Invalidate();
  }
  TEdit* Name;
  TEdit* Size;
  TFdButton* Styles[4];
  TFdButton* ColorButton;
  TFdSample* Sample;
  TFont Chosen;

 protected:
  void Paint() override {
    TForm::Paint();
    TCanvas* C = Canvas();
    C->Font()->Assign(*Font());
    SetBkMode(C, TRANSPARENT);
    SetTextColor(C, clBtnText);
    C->TextOut(8, 6, "Font:");
    C->TextOut(216, 6, "Size:");
  }
};

}  // namespace

bool TQxFontDialog::Execute() {
  TFdForm F(FFont);
  if (OnShow) OnShow(&F);
  if (F.ShowModal() != mrOk) return false;
  F.Refresh();
  FFont.Assign(F.Chosen);
  return true;
}
