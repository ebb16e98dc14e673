// Where the close-down check looks, found with the program's own code and no window. Prints
// "BtnNewVer LEFT TOP RIGHT BOTTOM": the toolbar button that opens the home page, in window pixels of
// the main window as it opens (740 x 540, menu bar included).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/forms.h"

int main() {
  Headless::Use();
  auto* F = new TFrmQuorvel(Application);
  F->DoCreate();
  // The options it writes at the end go to a scratch folder, not beside this program.
  std::string TmplPath = (std::filesystem::temp_directory_path() / "qv_close_layout_XXXXXX").string();
  if (!mkdtemp(TmplPath.data())) return 1;
  AppDir = TmplPath + "/";
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  const TPoint O = F->ClientToScreen(Point(0, 0));
  const TPoint P = F->BtnNewVer->ClientToScreen(Point(0, 0));
  const int32_t X = P.X - O.X, Y = P.Y - O.Y + F->MenuBarHeight();
  std::printf("BtnNewVer %d %d %d %d\n", X, Y, X + F->BtnNewVer->Width(), Y + F->BtnNewVer->Height());
  delete F;
  std::error_code Ec;
  std::filesystem::remove_all(TmplPath, Ec);
  return 0;
}
