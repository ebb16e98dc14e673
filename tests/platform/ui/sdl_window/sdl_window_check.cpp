// Opens a small form in a real window, reads back the pixels it shows, checks them, checks that the
// window keeps the form's minimum size and that the keyboard comes back to it after a modal dialog, and
// closes.
// Exit codes: 0 pass, 1 wrong pixels or size, 2 no display.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ui/backend.h"
#include "platform/ui/backends/sdl/x11_errors.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

namespace {
class TSwatch : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;

 protected:
  void Paint() override {
    TBrush b;
    b.SetColor(clBlue);
    FillRect(Canvas(), ClientRect(), b);
  }
};

TColor At(const TBitmap& B, int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= B.Width() || Y >= B.Height()) return clNone;
  const uint8_t* p = static_cast<const uint8_t*>(B.ScanLine(Y)) + X * 4;
  return static_cast<TColor>(p[2] | (p[1] << 8) | (p[0] << 16));
}

// The window manager's minimum-size hint of the window, as xprop prints it ("" without xprop).
std::string MinSizeHint(const char* Title) {
  if (std::system("command -v xprop >/dev/null 2>&1") != 0) return "";
  std::string Cmd = std::string("xprop -name '") + Title + "' WM_NORMAL_HINTS 2>/dev/null";
  std::string Out;
  if (FILE* P = popen(Cmd.c_str(), "r")) {
    char Buf[256];
    while (std::fgets(Buf, sizeof Buf, P))
      if (std::string L = Buf; L.find("minimum size") != std::string::npos) Out = L;
    pclose(P);
  }
  return Out.empty() ? "none" : Out;
}

// The title of the window that has the keyboard focus ("" without xdotool).
std::string FocusedTitle() {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) return "";
  std::string Out;
  if (FILE* P = popen("xdotool getwindowfocus getwindowname 2>/dev/null", "r")) {
    char Buf[256];
    if (std::fgets(Buf, sizeof Buf, P)) Out = Buf;
    pclose(P);
  }
  while (!Out.empty() && (Out.back() == '\n' || Out.back() == '\r')) Out.pop_back();
  return Out.empty() ? "(none)" : Out;
}
}  // namespace

int main() {
  if (!Application->Initialize()) return 2;
  std::printf("back end: %s\n", Application->BackendName().c_str());
  // A request that names a window gone a moment ago must not end the program.
  if (QvSendToMissingWindowForTest()) std::printf("an event sent to a missing window was survived\n");
  auto* f = new TForm(Application);
  Application->SetMainForm(f);
  f->SetCaption("Quorvel window check");
  f->SetColor(clRed);
  f->SetBounds(40, 40, 160, 120);
  f->Constraints().MinWidth = 150;
  f->Constraints().MinHeight = 110;
  auto* s = new TSwatch(f);
  s->SetParent(f);
  s->SetBounds(80, 60, 60, 40);
  int result = 1;
  TTimer check(nullptr);
  int tries = 0;
  bool shrunk = false;
  check.SetInterval(100);
  check.SetOnTimer([&](TObject*) {
    TBitmap shown;
    bool read = Application->Backend()->ReadWindowPixels(f->BackendWindow(), shown);
    if (!shrunk) {
      bool ok = read && At(shown, 10, 10) == clRed && At(shown, 100, 80) == clBlue && At(shown, 79, 80) == clRed;
      if (ok || ++tries > 50) {
        std::printf("pixels (10,10)=%06X (100,80)=%06X (79,80)=%06X: %s\n", At(shown, 10, 10) & 0xFFFFFF,
                    At(shown, 100, 80) & 0xFFFFFF, At(shown, 79, 80) & 0xFFFFFF, ok ? "ok" : "wrong");
        if (!ok) return f->Close();
        // Made smaller than the form allows, as a window manager that ignores the hint would.
        shrunk = true;
        tries = 0;
        Application->Backend()->SetWindowBounds(f->BackendWindow(), Rect(40, 40, 90, 80));
      }
      return;
    }
    bool ok = read && shown.Width() == 150 && shown.Height() == 110 && f->Width() == 150;
    if (ok || ++tries > 50) {
      std::string hint = MinSizeHint("Quorvel window check");
      bool hinted = hint.empty() || hint.find("150 by 110") != std::string::npos;
      std::printf("window %dx%d after shrinking, form %dx%d: %s; minimum-size hint: %s\n", shown.Width(),
                  shown.Height(), f->Width(), f->Height(), ok ? "ok" : "wrong", hint.empty() ? "(no xprop)\n" : hint.c_str());
      if (!(ok && hinted)) return f->Close();
      check.SetEnabled(false);
      // A modal dialog opens and closes; the keyboard must come back to the window.
      TForm dlg(nullptr);
      dlg.SetCaption("Quorvel dialog check");
      dlg.SetBounds(60, 60, 120, 80);
      TTimer closer(nullptr);
      closer.SetInterval(300);
      closer.SetOnTimer([&](TObject*) { dlg.SetModalResult(mrOk); });
      dlg.ShowModal();
      closer.SetEnabled(false);
      Application->ProcessMessages();
      std::string focus = FocusedTitle();
      for (int i = 0; i < 20 && !focus.empty() && focus != f->Caption(); ++i) {
        Application->ProcessMessages();
        std::system("sleep 0.05");
        focus = FocusedTitle();
      }
      bool back = focus.empty() || focus == f->Caption();
      std::printf("keyboard after the dialog: %s: %s\n", focus.empty() ? "(no xdotool)" : focus.c_str(), back ? "ok" : "wrong");
      result = back ? 0 : 1;
      f->Close();
    }
  });
  Application->Run();
  DoneApplication();
  return result;
}
