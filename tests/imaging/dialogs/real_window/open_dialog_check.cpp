// The open dialog in a real window: a picture's path is typed with the X test extension (xdotool), the
// preview loads it, and the pixels the window shows are read back from the display.
// Exit codes: 0 pass, 1 wrong pixels or no preview, 2 no display, 77 no xdotool.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "controls/kv_labels.h"
#include "imaging/codecs/codecs.h"
#include "imaging/dialogs/dialogs_init.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/vector/vect.h"
#include "imaging/view/view.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

namespace fs = std::filesystem;

namespace {
TColor At(const TBitmap& B, int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= B.Width() || Y >= B.Height()) return clNone;
  const uint8_t* p = static_cast<const uint8_t*>(B.ScanLine(Y)) + X * 4;
  return static_cast<TColor>(p[2] | (p[1] << 8) | (p[0] << 16));
}
TPoint FormPos(TControl* C) {
  TPoint p = Point(0, 0);
  for (TControl* c = C; c && !dynamic_cast<TCustomForm*>(c); c = c->Parent()) p.X += c->Left(), p.Y += c->Top();
  return p;
}
}  // namespace

int main() {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
    std::printf("xdotool is not installed: skipped\n");
    return 77;
  }
  if (!Application->Initialize()) return 2;
  std::printf("back end: %s\n", Application->BackendName().c_str());
  QxRegisterFurtherCodecs();
  QxRegisterDialogs();

  std::string tmplPath = (std::filesystem::temp_directory_path() / "qv_open_check_XXXXXX").string();

  char* tmpl = tmplPath.data();
  if (!mkdtemp(tmpl)) return 1;
  const fs::path dir = tmpl;
  const std::string path = (dir / "blue.png").string();
  {
    TQxBitmap b;
    b.Allocate(120, 90, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < 90; ++y) {
      auto* p = reinterpret_cast<TQxRGB*>(b.Scanline(y));
      for (int32_t x = 0; x < 120; ++x) p[x] = TQxRGB{255, 0, 0};  // blue, green, red
    }
    TQuillotIO io(&b);
    io.SaveToFile(path);
  }

  TOpenQuillotDialog d(nullptr);
  d.Title = "Quorvel open check";
  d.MsgLanguage = TMsgLanguage::msEnglish;
  d.SetInitialDir(dir.string());
  int result = 1;
  int tries = 0;
  TTimer typing(nullptr), check(nullptr);
  typing.SetEnabled(false);
  check.SetEnabled(false);
  typing.SetInterval(300);
  typing.SetOnTimer([&](TObject*) {
    typing.SetEnabled(false);
    // Real key events from the X server, into the chooser's focused name field.
    std::string cmd = "xdotool search --sync --name 'Quorvel open check' windowfocus --sync type --delay 15 '" +
                      path + "' >/dev/null 2>&1 &";
    if (std::system(cmd.c_str()) != 0) std::printf("xdotool did not start\n");
    check.SetEnabled(true);
  });
  check.SetInterval(100);
  check.SetOnTimer([&](TObject*) {
    TFileChooser* w = d.DialogWindow();
    if (!w) return;
    TBitmap shown;
    bool read = Application->Backend()->ReadWindowPixels(w->BackendWindow(), shown);
    TQuillotView* v = d.PreviewView();
    TPoint c = FormPos(v);
    c.X += v->Width() / 2, c.Y += v->Height() / 2;
    bool loaded = d.PicLabel1->Caption() == "120 x 90 pixel";
    TColor mid = read ? At(shown, c.X, c.Y) : clNone;
    bool ok = loaded && mid == static_cast<TColor>(0xFF0000);
    if (ok || ++tries > 80) {
      std::printf("typed: %s\npreview: \"%s\", pixel at (%d,%d) = %06X: %s\n", w->Spec().c_str(),
                  d.PicLabel1->Caption().c_str(), c.X, c.Y, static_cast<unsigned>(mid) & 0xFFFFFF,
                  ok ? "ok" : "wrong");
      result = ok ? 0 : 1;
      check.SetEnabled(false);
      w->SetModalResult(mrCancel);
    }
  });
  d.OnShow = [&](TObject*) { typing.SetEnabled(true); };
  d.ShowDialog();
  std::error_code ec;
  fs::remove_all(dir, ec);
  DoneApplication();
  return result;
}
