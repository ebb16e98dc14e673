// A view in a real window: a rectangle selection is dragged with the mouse (xdotool) and the selection
// mask is read back; the window is saved as a PNG for people to look at.
// Usage: view_drag_check OUTPUT.png. Exit codes: 0 pass, 1 a wrong selection, 2 no display.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  if (!Application->Initialize()) return 2;
  auto form = std::make_unique<TForm>(nullptr);
  form->SetBounds(50, 50, 500, 400);
  auto* view = new TQuillotView(form.get());
  view->SetBorderStyle(TBorderStyle::bsNone);
  view->SetCenter(false);
  view->SetParent(form.get());
  view->SetBounds(0, 0, 400, 300);
  view->CurrentBitmap()->Allocate(300, 200, TQxPixelFormat::qx24RGB);
  view->CurrentBitmap()->Fill(TColor(0x805030));
  view->SetMouseInteract({TQxMouseInteractItems::miSelect});
  form->Show();
  view->UpdateView();
  // Let the window manager (if any) place the window before the pointer goes there.
  const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
  while (std::chrono::steady_clock::now() < settle) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const TPoint a = view->ClientToScreen(TPoint(40, 30)), b = view->ClientToScreen(TPoint(160, 110));
  const fs::path done = fs::path(argv[1]).replace_extension(".done");
  fs::remove(done);
  char cmd[1024];
  std::snprintf(cmd, sizeof cmd,
                "(xdotool mousemove %d %d; sleep 0.2; xdotool mousedown 1; sleep 0.1; for i in 1 2 3 4 5 6 7 8 9 10; do "
                "xdotool mousemove %d %d; sleep 0.05; done; xdotool mousemove %d %d; sleep 0.2; xdotool mouseup 1; "
                "sleep 0.2; touch '%s') >/dev/null 2>&1 &",
                a.X, a.Y, (a.X + b.X) / 2, (a.Y + b.Y) / 2, b.X, b.Y, done.string().c_str());
  std::printf("dragging from (%d, %d) to (%d, %d) on the screen\n", a.X, a.Y, b.X, b.Y);
  std::system(cmd);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!fs::exists(done) && std::chrono::steady_clock::now() < deadline) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (int i = 0; i < 20; ++i) {
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  fs::remove(done);
  TQxMask* m = view->SelectionMask();
  std::printf("selected %d, box (%d, %d) - (%d, %d)\n", view->Selected() ? 1 : 0, m->X1, m->Y1, m->X2, m->Y2);
  TBitmap shown;
  if (Application->Backend()->ReadWindowPixels(form->BackendWindow(), shown)) {
    TQxBitmap out(shown.Width(), shown.Height(), TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < shown.Height(); ++y) {
      const uint8_t* s = static_cast<const uint8_t*>(shown.ScanLine(y));
      uint8_t* d = out.Scanline(y);
      for (int32_t x = 0; x < shown.Width(); ++x)
        for (int c = 0; c < 3; ++c) d[x * 3 + c] = s[x * 4 + c];
    }
    TQuillotIO io(&out);
    io.SaveToFile(argv[1]);
  }
  // The drag ends one pixel short of the pointer's end: the rectangle's right and bottom edges are
  // exclusive.
  const bool ok = view->Selected() && m->X1 == 40 && m->Y1 == 30 && m->X2 == 159 && m->Y2 == 109 &&
                  m->IsSelected(100, 70) && !m->IsSelected(160, 70) && !m->IsSelected(100, 29);
  form.reset();
  return ok ? 0 : 1;
}
