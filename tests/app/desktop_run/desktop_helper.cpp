// Where the desktop check clicks, found with the program's own code and no window. Prints "Name X Y",
// the centre of each control in client pixels of its window:
//   BtnOpen, BtnSaveAs, QuillotDis (main window at 740 x 540, menu bar included);
//   List, Types, Up, Advanced (the save dialog as the program shows it; the open dialog has the same);
//   TiffCompression (the TIFF save options).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
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
#include "platform/ui/timer.h"

namespace {

void PrintCentre(const char* Name, TControl* C, TCustomForm* F, int32_t Dy = 0) {
  const TPoint P = C->ClientToScreen(Point(C->Width() / 2, C->Height() / 2));
  const TPoint O = F->ClientToScreen(Point(0, 0));
  std::printf("%s %d %d\n", Name, P.X - O.X, P.Y - O.Y + Dy);
}

int Run() {
  auto* F = new TFrmQuorvel(Application);
  F->DoCreate();
  char Tmpl[] = "/tmp/qv_layout_XXXXXX";
  if (!mkdtemp(Tmpl)) return 1;
  AppDir = std::string(Tmpl) + "/";
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  PrintCentre("BtnOpen", F->BtnOpen, F, F->MenuBarHeight());
  PrintCentre("BtnSaveAs", F->BtnSaveAs, F, F->MenuBarHeight());
  PrintCentre("QuillotDis", F->QuillotDis, F, F->MenuBarHeight());

  TSaveQuillotDialog* D = F->SaveQuillotDialog1;
  D->SetAttachedQuillotIO(F->QuillotDis->GetIO());
  D->SetInitialDir(Tmpl);
  D->DialogFunction = [](TOpenFileNameData& Data) { return RunFileChooser(Data); };
  int Result = 1;
  TTimer Look(nullptr);
  Look.SetInterval(50);
  Look.SetOnTimer([&](TObject*) {
    TFileChooser* W = D->DialogWindow();
    if (!W || !W->Showing()) return;
    Look.SetEnabled(false);
    for (int32_t i = 0; i < W->ControlCount(); ++i) {
      TControl* C = W->Controls(i);
      // The list; the parent-folder button over its right end; the type box under the name field.
      if (dynamic_cast<TItemList*>(C)) PrintCentre("List", C, W);
      else if (C->Top() < 8 && C->Width() == 24) PrintCentre("Up", C, W);
      else if (C->Left() == W->NameEdit()->Left() && C->Top() == W->NameEdit()->Top() + 29) PrintCentre("Types", C, W);
    }
    PrintCentre("Advanced", D->AdvancedButton, W);
    Result = 0;
    W->SetModalResult(mrCancel);
  });
  D->ShowDialog();

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
  std::error_code Ec;
  std::filesystem::remove_all(Tmpl, Ec);
  return Result;
}

}  // namespace

int main() {
  Headless::Use();
  return Run();
}
