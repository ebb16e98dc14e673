#include "imaging/dialogs/palette_dialog.h"

#include "controls/kv_buttons.h"
#include "imaging/foundation/utils.h"
#include "platform/graphics/canvas.h"

namespace {
TColor ColorOf(TQxRGB C) { return static_cast<TColor>(C.r | (C.g << 8) | (C.b << 16)); }
}  // namespace

TQuillotPaletteDialog::TQuillotPaletteDialog(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Palette");
  SetBorderStyle(TFormBorderStyle::bsDialog);
  SetBounds(0, 0, 520, 199);
  SetPosition(TPosition::poScreenCenter);
  SetKeyPreview(true);
  CancelButton = new TKvButton(this);
  CancelButton->SetParent(this);
  CancelButton->SetCaption("&Cancel");
  CancelButton->SetModalResult(mrCancel);
  CancelButton->SetBounds(4, 136, 75, 25);
  OnKeyDown = [this](TObject*, uint16_t& Key, TShiftState) {
    if (Key == VK_ESCAPE) {
      Key = 0;
      SetModalResult(mrCancel);
    }
  };
  OnPaint = [this](TObject*) { PaintCells(); };
  OnMouseMove = [this](TObject*, TShiftState, int32_t X, int32_t Y) { TrackCell(X, Y); };
  OnClick = [this](TObject*) { ChooseCell(); };
}

void TQuillotPaletteDialog::SetPalette(const TQxRGB* P, int32_t N) {
  Palette = P;
  Count = P ? std::max(0, N) : 0;
}

bool TQuillotPaletteDialog::Execute() { return ShowModal() == mrOk; }

TRect TQuillotPaletteDialog::CellRect(int32_t I) {
  int32_t row = I / 32, col = I % 32;
  return Rect(col * 16 + 1, row * 16 + 1, col * 16 + 16, row * 16 + 16);
}

void TQuillotPaletteDialog::PaintCells() {
  TCanvas* c = Canvas();
  for (int32_t i = 0; i < Count; ++i) {
    TRect r = CellRect(i);
    c->Brush()->SetColor(ColorOf(Palette[i]));
    c->Pen()->SetColor(i == Selected ? clBlack : clWhite);
    c->Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  }
}

void TQuillotPaletteDialog::TrackCell(int32_t X, int32_t Y) {
  int32_t col = (X - 1) / 16, row = (Y - 1) / 16;
  int32_t index = row * 32 + col;
  if (index >= 0 && index < Count && index != Selected) {
    Selected = index;
    Invalidate();
  }
}

void TQuillotPaletteDialog::ChooseCell() {
  // Nothing highlighted yet: there is no entry to pick.
  if (Selected < 0 || Selected >= Count) return;
  Color = ColorOf(Palette[Selected]);
  SetModalResult(mrOk);
}
