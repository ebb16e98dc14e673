// Where the desktop check clicks, found with the program's own code and no window. Prints "Name X Y",
// the centre of each control in client pixels of its window:
//   BtnOpen, BtnSaveAs, QuillotDis (main window at 740 x 540, menu bar included);
//   List, Types, Up, Advanced (the save dialog as the program shows it; the open dialog has the same);
//   TiffCompression (the TIFF save options).
#include <string>

#include "app/main_window.h"
#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/io_previews.h"
#include "imaging/dialogs/save_dialog.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/item_list.h"
#include "tests/app/window_probe.h"

namespace {

int Run() {
  auto* F = new TFrmQuorvel(Application);
  F->DoCreate();
  TScratchAppDir Scratch;
  if (!Scratch.Made()) return 1;
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  PrintCentre("BtnOpen", F->BtnOpen, F, F->MenuBarHeight());
  PrintCentre("BtnSaveAs", F->BtnSaveAs, F, F->MenuBarHeight());
  PrintCentre("QuillotDis", F->QuillotDis, F, F->MenuBarHeight());

  const int Result = LookAtSaveDialog(F, Scratch.Path(), [](TSaveQuillotDialog* D, TFileChooser* W) {
    for (int32_t i = 0; i < W->ControlCount(); ++i) {
      TControl* C = W->Controls(i);
      // The list; the parent-folder button over its right end; the type box under the name field.
      if (dynamic_cast<TItemList*>(C)) PrintCentre("List", C, W);
      else if (C->Top() < 8 && C->Width() == 24) PrintCentre("Up", C, W);
      else if (C->Left() == W->NameEdit()->Left() && C->Top() == W->NameEdit()->Top() + 29) PrintCentre("Types", C, W);
    }
    PrintCentre("Advanced", D->AdvancedButton, W);
  });

  TQuillotIO IO(static_cast<TQxBitmap*>(nullptr));
  IO.Params->FileType = qxffTIFF;
  TfIOPreviews P(nullptr);
  P.Params = IO.Params.get();
  P.UpdateLanguage(TMsgLanguage::msEnglish);
  if (P.SelectPages(8)) {
    P.Show();
    Application->ProcessMessages();
    PrintCentre("TiffCompression", P.ComboBox2, &P);
    P.Hide();
  }
  delete F;
  return Result;
}

}  // namespace

int main() {
  Headless::Use();
  return Run();
}
