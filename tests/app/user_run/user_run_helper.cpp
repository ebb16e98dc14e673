// What the user-run script needs from the program's own code, without a window:
//   user_run_helper layout
//     prints "Name X Y" for the controls the script clicks: the centre of each in window pixels of the
//     main window as it opens (740 x 540, menu bar included), and the thumbs of the track bars;
//   user_run_helper savelayout
//     prints "AdvancedButton X Y": the centre of the save dialog's advanced button in window pixels of the
//     dialog as the main window shows it;
//   user_run_helper build IN OUT SIDE SPACE SIZE TRANB TRANE COLOR REMOVE_ALPHA BKCOLOR
//     builds the reflection of IN with those settings through the headless pipeline and saves it as OUT.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "app/main_window.h"
#include "app/reflection.h"
#include "imaging/codecs/codecs.h"
#include "imaging/dialogs/save_dialog.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"
#include "tests/app/window_probe.h"

namespace {

class TThumbOf : public TKvTrackBar {
 public:
  using TKvTrackBar::ThumbRect;
};

int Layout() {
  // The options it writes at the end go to a scratch folder, not beside this program.
  auto* F = new TFrmQuorvel(Application);
  F->DoCreate();
  TScratchAppDir Scratch;
  if (!Scratch.Made()) return 1;
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  const int32_t Bar = F->MenuBarHeight();
  PrintCentre("BtnLeft", F->BtnLeft, F, Bar);
  PrintCentre("BtnTop", F->BtnTop, F, Bar);
  PrintCentre("BtnRight", F->BtnRight, F, Bar);
  PrintCentre("BtnBottom", F->BtnBottom, F, Bar);
  PrintCentre("SpinEditSpc", F->SpinEditSpc, F, Bar);
  PrintCentre("RadioButtonH", F->RadioButtonH, F, Bar);
  PrintCentre("RadioButtonColor", F->RadioButtonColor, F, Bar);
  PrintCentre("QuillotDis", F->QuillotDis, F, Bar);
  for (TKvTrackBar* T : {F->TrackBarSize, F->TrackBarTranBegin, F->TrackBarTranEnd}) {
    const TRect R = static_cast<TThumbOf*>(T)->ThumbRect();
    PrintPoint((T->Name() + "Thumb").c_str(), T, F, (R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2, Bar);
  }
  delete F;
  return 0;
}

int SaveLayout() {
  auto* F = new TFrmQuorvel(Application);
  F->DoCreate();
  TScratchAppDir Scratch;
  if (!Scratch.Made()) return 1;
  const int Result = LookAtSaveDialog(F, Scratch.Path(), [](TSaveQuillotDialog* D, TFileChooser* W) {
    PrintCentre("AdvancedButton", D->AdvancedButton, W);
  });
  delete F;
  return Result;
}

int Build(char** A) {
  TReflectionSettings S;
  S.Side = std::atoi(A[2]);
  S.Space = std::atoi(A[3]);
  S.SizePercent = std::atoi(A[4]);
  S.TranBegin = std::atoi(A[5]);
  S.TranEnd = std::atoi(A[6]);
  S.ColorMode = std::atoi(A[7]);
  S.RemoveAlpha = std::atoi(A[8]) != 0;
  S.Background = static_cast<TColor>(std::strtol(A[9], nullptr, 10));
  TQuillot Source(nullptr), View(nullptr);
  if (!LoadSourceImage(&Source, A[0])) {
    std::fprintf(stderr, "cannot read %s\n", A[0]);
    return 1;
  }
  ResetLayers(&View);
  const int32_t Layer = AddReflectionLayer(&View);
  BuildReflection(&View, &Source, S, Layer);
  SaveReflection(&View, A[1], S);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Headless::Use();
  QxRegisterFurtherCodecs();
  try {
    if (argc == 2 && std::string(argv[1]) == "layout") return Layout();
    if (argc == 2 && std::string(argv[1]) == "savelayout") return SaveLayout();
    if (argc == 12 && std::string(argv[1]) == "build") return Build(argv + 2);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: user_run_helper layout | savelayout | build IN OUT SIDE SPACE SIZE TRANB TRANE COLOR "
                       "REMOVE_ALPHA BKCOLOR\n");
  return 2;
}
