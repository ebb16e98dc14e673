// Opens a small form in a real window, reads back the pixels it shows, checks them and closes.
// Exit codes: 0 pass, 1 wrong pixels, 2 no display.
#include <cstdio>

#include "platform/ui/backend.h"
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
}  // namespace

int main() {
  if (!Application->Initialize()) return 2;
  std::printf("back end: %s\n", Application->BackendName().c_str());
  auto* f = new TForm(Application);
  Application->SetMainForm(f);
  f->SetCaption("Quorvel window check");
  f->SetColor(clRed);
  f->SetBounds(40, 40, 160, 120);
  auto* s = new TSwatch(f);
  s->SetParent(f);
  s->SetBounds(80, 60, 60, 40);
  int result = 1;
  TTimer check(nullptr);
  int tries = 0;
  check.SetInterval(100);
  check.SetOnTimer([&](TObject*) {
    TBitmap shown;
    bool ok = Application->Backend()->ReadWindowPixels(f->BackendWindow(), shown) && At(shown, 10, 10) == clRed &&
              At(shown, 100, 80) == clBlue && At(shown, 79, 80) == clRed;
    if (ok || ++tries > 50) {
      std::printf("pixels (10,10)=%06X (100,80)=%06X (79,80)=%06X: %s\n", At(shown, 10, 10) & 0xFFFFFF,
                  At(shown, 100, 80) & 0xFFFFFF, At(shown, 79, 80) & 0xFFFFFF, ok ? "ok" : "wrong");
      result = ok ? 0 : 1;
      f->Close();
    }
  });
  Application->Run();
  DoneApplication();
  return result;
}
