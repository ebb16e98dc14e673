#pragma once
// TQuillotPaletteDialog: the entries of a palette as a grid of cells; a click picks the highlighted one.
#include <cstdint>

#include "imaging/foundation/types.h"
#include "platform/ui/forms.h"

class TKvButton;

class TQuillotPaletteDialog : public TForm {
 public:
  explicit TQuillotPaletteDialog(TComponent* AOwner);
  std::string ClassName() const override { return "TQuillotPaletteDialog"; }

  // The entries are not copied: the caller keeps them alive while the dialog shows.
  void SetPalette(const TQxRGB* Palette, int32_t Count);
  bool Execute();

  const TQxRGB* Palette = nullptr;
  int32_t Count = 0;
  int32_t Selected = -1;
  TColor Color = clBlack;
  TKvButton* CancelButton = nullptr;

  void PaintCells();
  void TrackCell(int32_t X, int32_t Y);
  void ChooseCell();
  // Where entry Index is drawn (right and bottom edges excluded).
  static TRect CellRect(int32_t Index);
};
