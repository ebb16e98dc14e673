// The main window's styled menu, headless: drawn by its fantasy styler, driven by keyboard and mouse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/timer.h"

namespace fs = std::filesystem;

namespace {

class MainMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    std::string tmplPath = (std::filesystem::temp_directory_path() / "quorvel_menu_XXXXXX").string();
    char* tmpl = tmplPath.data();
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Dir = tmpl;
    fs::create_directories(Dir / "Languages");
    for (const char* L : {"English.isl", "German.isl", "Spanish.isl", "Dutch.isl"})
      fs::copy_file(fs::path(QV_SOURCE_DIR) / "app/Languages" / L, Dir / "Languages" / L);
    F = std::make_unique<TFrmQuorvel>(Application);
    F->DoCreate();
    AppDir = Dir.string() + "/";
    F->SetBounds(40, 30, 740, 540);
    F->Show();
    Application->ProcessMessages();
  }
  void TearDown() override {
    Application->OnIdle = nullptr;
    F.reset();
    Application->ProcessMessages();
    UseTestUiClock(false);
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }

  // Runs Fn once the menu is open and painted; then handles what Fn queued until the menu closes.
  static void WhenOpen(const std::function<void()>& Fn) { EXPECT_EQ(Headless::WhileMenuOpen({Fn}), 1u); }
  // The main window with the open popups laid over it, as the screen shows them.
  void SaveScreen(const std::string& Name) {
    TBitmap shot;
    ASSERT_TRUE(Headless::Snapshot(F.get(), shot));
    for (TCustomForm* p : MenuPopupForms()) {
      TBitmap b;
      ASSERT_TRUE(Headless::Snapshot(p, b));
      shot.Canvas()->Draw(p->Left() - F->Left(), p->Top() - F->Top(), &b);
    }
    fs::create_directories("screenshots");
    ASSERT_TRUE(SaveBitmapToPngFile(shot, "screenshots/" + Name));
  }
  TRect BarRect(TMenuItem* It) {
    TRect r;
    EXPECT_TRUE(It->ItemRect(r));
    return r;
  }

  fs::path Dir;
  std::unique_ptr<TFrmQuorvel> F;
};

// Channel-wise colour I/N of the way from A to B, truncated.
TColor Between(TColor A, TColor B, int32_t I, int32_t N) {
  auto ch = [&](int s) {
    int a = (A >> s) & 0xFF, b = (B >> s) & 0xFF;
    return (a + (b - a) * I / N) << s;
  };
  return ch(0) | ch(8) | ch(16);
}

TEST_F(MainMenuTest, BarIsDrawnByTheFantasyStyler) {
  ASSERT_EQ(F->StyMainMenu1->MenuStyler(), F->StyMenuFantasyStyler1);
  EXPECT_EQ(F->StyMenuFantasyStyler1->Style(), StyMenus::TFantasyStyle::fsCustom);
  EXPECT_EQ(F->StyMainMenu1->Version(), "2.0.0.0");
  int32_t h = F->MenuBarHeight();
  ASSERT_GT(h, 0);
  // The bar's vertical gradient runs across the whole width, right of the last item too.
  for (int32_t x : {BarRect(F->M_Files).Left + 1, 700}) {
    EXPECT_EQ(Headless::PixelAt(F.get(), x, 0), 0xF3D28D);
    EXPECT_EQ(Headless::PixelAt(F.get(), x, h - 1), Between(0xF3D28D, 0xE1AB39, h - 1, h));
  }
  SaveScreen("menu_bar.png");

  // The pointer over a bar item lights it: a box framed in the hover border colour.
  TRect lang = BarRect(F->M_Language);
  Headless::MouseMove(F.get(), lang.Left + 5, 5);
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(F.get(), lang.Left, 5), 0xD08130);
  EXPECT_EQ(Headless::PixelAt(F.get(), lang.Left + 1, 1), 0xF3D28D);
  SaveScreen("menu_bar_hot.png");
  Headless::MouseMove(F.get(), 300, 300);
  Application->ProcessMessages();
  EXPECT_NE(Headless::PixelAt(F.get(), lang.Left, 5), 0xD08130);
}

TEST_F(MainMenuTest, DropDownIsShapedFramedAndPaintedByTheStyler) {
  TRect file = BarRect(F->M_Files);
  Headless::Key(F.get(), 'F', {ssAlt});
  WhenOpen([&] {
    std::vector<TCustomForm*> p = MenuPopupForms();
    ASSERT_EQ(p.size(), 1u);
    TCustomForm* w = p[0];
    // The drop-down lines up with the bar item and overlaps the bar's last row.
    EXPECT_EQ(w->Left(), F->Left() + file.Left);
    EXPECT_EQ(w->Top(), F->Top() + file.Bottom - 1);
    // Inner frame and the top edge under the item in the background colour (white).
    EXPECT_EQ(Headless::PixelAt(w, 1, 10), clWhite);
    EXPECT_EQ(Headless::PixelAt(w, 3, 0), clWhite);
    // Open... is selected: a box framed in 0xD08130 right of the icon bar's start.
    TRect open;
    ASSERT_TRUE(F->M_Open->ScreenRect(open));
    int32_t y = open.Top - w->Top() + 3;
    EXPECT_EQ(Headless::PixelAt(w, open.Left - w->Left(), y), 0xD08130);
    // The separator's flat band in 0xE6E0B0 starts at the icon bar's right edge.
    TRect sep;
    ASSERT_TRUE(F->N4->ScreenRect(sep));
    int32_t sy = sep.Top - w->Top() + sep.Height() / 2;
    int32_t sx = sep.Left - w->Left() + 24 + 4;
    EXPECT_EQ(Headless::PixelAt(w, sx, sy), 0xE6E0B0);
    SaveScreen("menu_popup.png");
    Headless::KeyToTop(VK_DOWN);
    Headless::KeyToTop(VK_ESCAPE);
  });
  EXPECT_FALSE(MenuIsTracking());
  EXPECT_TRUE(MenuPopupForms().empty());
}

TEST_F(MainMenuTest, KeyboardWalksTheBarAndChoosesItems) {
  // F10 selects the bar; Right moves to Languages; Down opens it on English, Down to German; Enter chooses.
  Headless::Key(F.get(), VK_F10);
  Headless::KeyToTop(VK_RIGHT);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  Application->ProcessMessages();
  EXPECT_FALSE(MenuIsTracking());
  EXPECT_TRUE(F->M_German->Checked());
  EXPECT_EQ(F->M_Files->Caption(), "  &Datei  ");

  // A lone Alt lights the first bar item; arrows walk the bar, Down opens, a letter chooses.
  Headless::KeyDown(F.get(), VK_MENU, {ssAlt});
  Headless::KeyUp(F.get(), VK_MENU);
  WhenOpen([&] {
    EXPECT_TRUE(MenuPopupForms().empty());
    Headless::KeyToTop(VK_RIGHT);
    Headless::KeyToTop(VK_DOWN);
    Headless::TypeToTop("q");  // no item has that accelerator: nothing happens
    Headless::KeyToTop(VK_UP);
    Headless::KeyToTop(VK_RETURN);
  });
  EXPECT_FALSE(MenuIsTracking());
  EXPECT_TRUE(F->M_Dutch->Checked());

  // Accelerators: Alt+L opens Languages, Escape closes without a change.
  Headless::Key(F.get(), 'L', {ssAlt});
  Headless::KeyToTop(VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_FALSE(MenuIsTracking());
  EXPECT_TRUE(F->M_Dutch->Checked());
}

TEST_F(MainMenuTest, MouseOpensTheDropDownAndChoosesAnItem) {
  TRect lang = BarRect(F->M_Language);
  Headless::Click(F.get(), lang.Left + 8, lang.Top + 5);
  WhenOpen([&] {
    TRect es;
    ASSERT_TRUE(F->M_Spanish->ScreenRect(es));
    std::vector<TCustomForm*> p = MenuPopupForms();
    ASSERT_EQ(p.size(), 1u);
    SaveScreen("menu_popup_languages.png");
    int32_t x = es.Left - p[0]->Left() + 30, y = es.Top - p[0]->Top() + 4;
    Headless::MouseMove(p[0], x, y);
    Headless::MouseDown(p[0], x, y);
    Headless::MouseUp(p[0], x, y);
  });
  EXPECT_FALSE(MenuIsTracking());
  EXPECT_TRUE(F->M_Spanish->Checked());
  EXPECT_FALSE(F->M_English->Checked());
}

}  // namespace
