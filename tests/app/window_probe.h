#pragma once
// What the real-window runs' helpers share: a scratch folder for the options the main window writes when
// it closes, the point of a control in pixels of its window, and the save dialog as the program shows it,
// looked at once it is up and then cancelled. All without a window (headless).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "app/main_window.h"
#include "imaging/dialogs/save_dialog.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

// A folder of its own under the temporary folder, made the program's folder (AppDir) while it lives and
// removed with it. Made once the main window has read its options, and kept alive past the window, which
// writes them there as it goes.
class TScratchAppDir {
 public:
  TScratchAppDir() : FPath((std::filesystem::temp_directory_path() / "qv_layout_XXXXXX").string()) {
    FMade = mkdtemp(FPath.data()) != nullptr;
    if (FMade) AppDir = FPath + "/";
  }
  ~TScratchAppDir() {
    std::error_code Ec;
    if (FMade) std::filesystem::remove_all(FPath, Ec);
  }
  TScratchAppDir(const TScratchAppDir&) = delete;
  TScratchAppDir& operator=(const TScratchAppDir&) = delete;
  bool Made() const { return FMade; }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  bool FMade = false;
};

// Prints "Name X Y": the point (X, Y) of C in client pixels of the window W, moved down by Dy.
inline void PrintPoint(const char* Name, TControl* C, TControl* W, int32_t X, int32_t Y, int32_t Dy = 0) {
  const TPoint P = C->ClientToScreen(Point(X, Y));
  const TPoint O = W->ClientToScreen(Point(0, 0));
  std::printf("%s %d %d\n", Name, P.X - O.X, P.Y - O.Y + Dy);
}

inline void PrintCentre(const char* Name, TControl* C, TControl* W, int32_t Dy = 0) {
  PrintPoint(Name, C, W, C->Width() / 2, C->Height() / 2, Dy);
}

// Shows the main window's save dialog in Folder, hands it to Look once it is up, and cancels it. 0 when
// Look was called, 1 when the dialog never showed.
inline int LookAtSaveDialog(TFrmQuorvel* F, const std::string& Folder,
                            const std::function<void(TSaveQuillotDialog*, TFileChooser*)>& Look) {
  TSaveQuillotDialog* D = F->SaveQuillotDialog1;
  D->SetAttachedQuillotIO(F->QuillotDis->GetIO());
  D->SetInitialDir(Folder);
  D->DialogFunction = [](TOpenFileNameData& Data) { return RunFileChooser(Data); };
  int Result = 1;
  TTimer Timer(nullptr);
  Timer.SetInterval(50);
  Timer.SetOnTimer([&](TObject*) {
    TFileChooser* W = D->DialogWindow();
    if (!W || !W->Showing()) return;
    Timer.SetEnabled(false);
    Look(D, W);
    Result = 0;
    W->SetModalResult(mrCancel);
  });
  D->ShowDialog();
  return Result;
}
