// A styled menu in a real window: the bar is painted by its styler, and a drop-down opens in a
// window of its own with the shape and frame the styler gives it.
// Exit codes: 0 pass, 1 wrong pixels, 2 no display.
#include <cstdio>

#include "controls/menu/sty_fantasy.h"
#include "controls/menu/sty_main_menu.h"
#include "platform/ui/backend.h"
#include "platform/ui/forms.h"
#include "platform/ui/timer.h"

using namespace StyMenus;

namespace {
TColor At(const TBitmap& B, int32_t X, int32_t Y) {
  if (X < 0 || Y < 0 || X >= B.Width() || Y >= B.Height()) return clNone;
  const uint8_t* p = static_cast<const uint8_t*>(B.ScanLine(Y)) + X * 4;
  return static_cast<TColor>(p[2] | (p[1] << 8) | (p[0] << 16));
}

TCustomForm* OpenPopup() {
  for (int32_t i = 0; i < Screen->FormCount(); ++i)
    if (Screen->Forms(i)->ClassName() == "TPopupWindow" && Screen->Forms(i)->Visible()) return Screen->Forms(i);
  return nullptr;
}

TMenuItem* Item(TComponent* Owner, TMenuItem* Parent, const char* Caption) {
  auto* I = new TMenuItem(Owner);
  I->SetCaption(Caption);
  Parent->Add(I);
  return I;
}
}  // namespace

int main() {
  if (!Application->Initialize()) return 2;
  auto* f = new TForm(Application);
  Application->SetMainForm(f);
  f->SetCaption("Quorvel menu check");
  f->SetBounds(40, 40, 240, 160);
  constexpr TColor kBar = 0x30A0F0, kBack = 0xF0F0FF, kBorder = 0x2020C0;
  auto* styler = new TStyMenuFantasyStyler(f);
  styler->SetStyle(TFantasyStyle::fsCustom);
  styler->RootItem()->SetColor(kBar);
  styler->RootItem()->SetColorTo(clNone);
  styler->Background()->SetColor(kBack);
  styler->SetMenuBorderColor(kBorder);
  auto* menu = new TStyMainMenu(f);
  menu->BeginLoading();
  menu->SetMenuStyler(styler);
  TMenuItem* file = Item(f, menu->Items(), "&File");
  Item(f, file, "&Open");
  Item(f, file, "E&xit");
  Item(f, menu->Items(), "&Help");
  menu->EndLoading();
  f->SetMenu(menu);

  int result = 1;
  int tries = 0;
  bool barOk = false;
  TTimer check(nullptr);
  check.SetInterval(100);
  check.SetOnTimer([&](TObject*) {
    if (!barOk) {
      TBitmap shown;
      bool read = Application->Backend()->ReadWindowPixels(f->BackendWindow(), shown);
      barOk = read && At(shown, f->Width() - 5, 3) == kBar;
      if (!barOk && ++tries <= 50) return;
      std::printf("bar pixel %06X: %s\n", At(shown, f->Width() - 5, 3) & 0xFFFFFF, barOk ? "ok" : "wrong");
      if (!barOk) return f->Close();
      tries = 0;
      menu->OpenBarItem(0);  // runs until the drop-down is closed below
      f->Close();
      return;
    }
    TCustomForm* p = OpenPopup();
    TBitmap shown;
    bool read = p && Application->Backend()->ReadWindowPixels(p->BackendWindow(), shown);
    bool ok = read && shown.Width() == p->Width() && At(shown, 0, 10) == kBorder && At(shown, 1, 10) == kBack &&
              At(shown, shown.Width() - 1, 10) == kBorder;
    if (!ok && ++tries <= 50) return;
    std::printf("drop-down %dx%d, ring %06X, inner %06X: %s\n", shown.Width(), shown.Height(),
                At(shown, 0, 10) & 0xFFFFFF, At(shown, 1, 10) & 0xFFFFFF, ok ? "ok" : "wrong");
    result = ok ? 0 : 1;
    CloseMenus();
  });
  Application->Run();
  DoneApplication();
  return result;
}
