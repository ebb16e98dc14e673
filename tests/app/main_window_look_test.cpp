// The main window as the user sees it: a picture opened through the tool button, the settings
// controls on both pages, the file name in the status bar.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "app/about_box.h"
#include "app/app_art.h"
#include "app/main_window.h"
#include "app/ml_functions.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/timer.h"
#include "platform/graphics/bitmap.h"
#include "controls/kv_bmp_button.h"
#include "controls/kv_utils.h"

namespace fs = std::filesystem;

namespace {

class MainWindowLook : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    std::string tmplPath = (std::filesystem::temp_directory_path() / "quorvel_look_XXXXXX").string();
    char* tmpl = tmplPath.data();
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Dir = tmpl;
  }
  void TearDown() override {
    RunFileDialog = [](TOpenFileNameData& D) { return RunFileChooser(D); };
    Application->ProcessMessages();
    UseTestUiClock(false);
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  TPoint InWindow(TCustomForm* F, TControl* C, int32_t X, int32_t Y) {
    TPoint p = C->ClientToScreen(Point(X, Y));
    TPoint f = F->ClientToScreen(Point(0, 0));
    return Point(p.X - f.X, p.Y - f.Y + F->MenuBarHeight());
  }
  fs::path Dir;
};

TEST_F(MainWindowLook, OpenedPictureWithItsNameInTheStatusBar) {
  auto F = std::make_unique<TFrmQuorvel>(Application);
  F->DoCreate();
  AppDir = Dir.string() + "/";
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  // A picture whose path is far longer than the 255 characters a fixed buffer would take.
  fs::path deep = Dir / std::string(120, 'd') / std::string(120, 'e');
  fs::create_directories(deep);
  std::string name = (deep / "a picture with a long name.png").string();
  {
    TQuillot Q(nullptr);
    TQxBitmap* B = Q.CurrentBitmap();
    B->Allocate(60, 40, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < 40; ++y) {
      auto* P = reinterpret_cast<TQxRGB*>(B->Scanline(y));
      for (int32_t x = 0; x < 60; ++x) P[x] = TQxRGB{uint8_t(x * 4), uint8_t(y * 6), 200};
    }
    Q.UpdateView();
    Q.GetIO()->SaveToFile(name);
  }
  RunFileDialog = [name](TOpenFileNameData& D) {
    D.FileName = name;
    return true;
  };
  TPoint open = InWindow(F.get(), F->BtnOpen, 20, 20);
  Headless::MouseMove(F.get(), open.X, open.Y);
  Headless::Click(F.get(), open.X, open.Y);
  Application->ProcessMessages();
  ASSERT_TRUE(F->ImageLoaded);
  EXPECT_EQ(F->KvStatusPane1->Caption(), name);
  EXPECT_TRUE(F->BtnSaveAs->Enabled());
  // The tool button did not take the focus from where it was.
  EXPECT_NE(GetFocus(), F->KvPanel1->HandleAllocated() ? F->KvPanel1->Handle() : HWND(0));
  // The grip belongs to the bar over its pane.
  EXPECT_TRUE(F->KvStatusBar1->GripWorks());
  Headless::MouseMove(F.get(), 300, 300);
  Application->ProcessMessages();
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "main_window_standard.png"));
  TRect tab = F->KvPageControl1->TabClientRect(1);
  TPoint tp = InWindow(F.get(), F->KvPageControl1, (tab.Left + tab.Right) / 2, (tab.Top + tab.Bottom) / 2);
  Headless::Click(F.get(), tp.X, tp.Y);
  Application->ProcessMessages();
  TPoint wave = InWindow(F.get(), F->CheckBoxWave, 5, 8);
  Headless::Click(F.get(), wave.X, wave.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(F->CheckBoxWave->Checked());
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "main_window_additional.png"));
}

// Every language's captions fit where the window puts them: a label ends before the control beside it, a
// check box's or radio button's text within its group, a tool button's caption within the button. Both
// pages are pictured for each language.
TEST_F(MainWindowLook, CaptionsOfEveryLanguageFit) {
  fs::create_directories(Dir / "Languages");
  for (const char* L : {"English", "German", "Spanish", "French", "Italian", "Dutch"})
    fs::copy_file(fs::path(QV_SOURCE_DIR) / "app/Languages" / (std::string(L) + ".isl"),
                  Dir / "Languages" / (std::string(L) + ".isl"));
  auto F = std::make_unique<TFrmQuorvel>(Application);
  F->DoCreate();
  AppDir = Dir.string() + "/";
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  TBitmap Measure;
  auto Width = [&](TControl* C, const std::string& Text) {
    Measure.Canvas()->Font()->Assign(*C->Font());
    return Measure.Canvas()->TextWidth(KvStripAccelerators(Text));
  };
  const char* Names[] = {"english", "german", "spanish", "french", "italian", "dutch"};
  for (int32_t Lang = 0; Lang < 6; ++Lang) {
    F->ApplyLanguage(Lang);
    Application->ProcessMessages();
    SCOPED_TRACE(Names[Lang]);
    // Labels and the control that follows each on its row (nil: the group's right edge).
    struct {
      TKvLabel* Label;
      TControl* Next;
    } Rows[] = {{F->Label6, nullptr},       {F->Label8, F->SpinEditSpc},  {F->Label7, nullptr},
                {F->Label10, nullptr},      {F->Label12, nullptr},        {F->Label14, nullptr},
                {F->Label11, nullptr},      {F->Label3, F->SpinEditZF},   {F->Label4, F->SpinEditBC},
                {F->Label5, F->SpinEditXW}};
    for (auto& R : Rows) {
      const int32_t Right = R.Next ? R.Next->Left() - 2 : R.Label->Parent()->Width() - 4;
      EXPECT_LE(R.Label->Left() + Width(R.Label, R.Label->Caption()), Right) << R.Label->Name() << " \""
                                                                             << R.Label->Caption() << "\"";
    }
    for (TControl* C : std::initializer_list<TControl*>{F->CheckBoxRemoveAlpa, F->CheckBoxWave, F->RadioButtonColor,
                                                        F->RadioButtonH, F->RadioButtonBW}) {
      const std::string Text = C->Caption();
      EXPECT_LE(C->Left() + 20 + Width(C, Text), std::min(C->Left() + C->Width(), C->Parent()->Width() - 4))
          << C->Name() << " \"" << Text << "\"";
    }
    for (TKvToolButton* B : {F->BtnOpen, F->BtnSaveAs, F->BtnNewVer})
      EXPECT_LE(Width(B, B->Caption()) + 8, B->Width()) << B->Name() << " \"" << B->Caption() << "\"";
    // Check and radio boxes share one column on both pages, the "Wave" heading box included.
    for (TControl* C : std::initializer_list<TControl*>{F->CheckBoxWave, F->Label3, F->RadioButtonColor, F->CheckBoxRemoveAlpa})
      EXPECT_EQ(C->Left(), 14) << C->Name();
    // Tool buttons stay apart.
    EXPECT_LE(F->BtnOpen->Left() + F->BtnOpen->Width(), F->BtnSaveAs->Left());
    EXPECT_LE(F->BtnSaveAs->Left() + F->BtnSaveAs->Width(), F->BtnNewVer->Left());
    F->KvPageControl1->SetActivePage(F->TabSheet1);
    Application->ProcessMessages();
    EXPECT_TRUE(Headless::SaveWindowPng(F.get(), std::string("main_window_") + Names[Lang] + "_standard.png"));
    F->KvPageControl1->SetActivePage(F->TabSheet2);
    Application->ProcessMessages();
    EXPECT_TRUE(Headless::SaveWindowPng(F.get(), std::string("main_window_") + Names[Lang] + "_additional.png"));
  }
}

// The banner picture is stretched to the top bar; it is drawn anew at each size so that its lettering
// keeps its shape however wide the window grows.
TEST_F(MainWindowLook, BannerLetteringKeepsItsShapeAsTheWindowWidens) {
  auto F = std::make_unique<TFrmQuorvel>(Application);
  F->DoCreate();
  AppDir = Dir.string() + "/";  // after start-up, which points it at the program's folder
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  for (int32_t W : {1300, 600, 740}) {
    F->SetBounds(0, 0, W, 540);
    Application->ProcessMessages();
    const TBitmap* B = F->Image1->Picture()->Bitmap();
    EXPECT_EQ(B->Width(), F->Image1->Width()) << W;
    EXPECT_EQ(B->Height(), F->Image1->Height()) << W;
    // The lettering starts right of the tool buttons.
    int32_t firstInk = -1;
    for (int32_t x = 0; x < B->Width() && firstInk < 0; ++x)
      for (int32_t y = 20; y < 50; ++y)
        if (GetRValue(B->GetPixel(x, y)) < 0xA0) { firstInk = x; break; }
    EXPECT_GT(firstInk, F->BtnNewVer->Left() + F->BtnNewVer->Width()) << W;
    if (W == 1300) {
      EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "main_window_wide.png"));
    }
  }
}

// The chosen side button differs plainly from the others on screen, wherever the choice moves.
TEST_F(MainWindowLook, ChosenSideButtonStandsOut) {
  auto F = std::make_unique<TFrmQuorvel>(Application);
  F->DoCreate();
  AppDir = Dir.string() + "/";  // after start-up, which points it at the program's folder
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  auto Distance = [](TColor A, TColor B) {
    return std::abs(GetRValue(A) - GetRValue(B)) + std::abs(GetGValue(A) - GetGValue(B)) +
           std::abs(GetBValue(A) - GetBValue(B));
  };
  TKvBmpButton* Sides[] = {F->BtnLeft, F->BtnTop, F->BtnRight, F->BtnBottom};
  for (TKvBmpButton* Chosen : {F->BtnBottom, F->BtnLeft}) {
    TPoint C = InWindow(F.get(), Chosen, 16, 11);
    Headless::Click(F.get(), C.X, C.Y);
    Headless::MouseMove(F.get(), 100, 300);  // away, so no button shows hot
    Application->ProcessMessages();
    ASSERT_TRUE(Chosen->Down());
    TBitmap Shot;
    ASSERT_TRUE(Headless::Snapshot(F.get(), Shot));
    // Face (a corner of the button away from its glyph) and frame (its outer edge), on screen.
    auto At = [&](TKvBmpButton* B, int32_t X, int32_t Y) {
      TPoint P = InWindow(F.get(), B, X, Y);
      return static_cast<TColor>(Shot.GetPixel(P.X, P.Y));
    };
    for (TKvBmpButton* Other : Sides) {
      if (Other == Chosen) continue;
      EXPECT_GT(Distance(At(Chosen, 30, 19), At(Other, 30, 19)), 120) << Chosen->Name() << " / " << Other->Name();
      EXPECT_GT(Distance(At(Chosen, 1, 11), At(Other, 1, 11)), 120) << Chosen->Name() << " / " << Other->Name();
    }
  }
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "main_window_chosen_side.png"));
}

TEST_F(MainWindowLook, AboutBoxClosesWithEnterOnItsDefaultButton) {
  AppDir = Dir.string() + "/";
  auto A = std::make_unique<TFrmAbout>(Application);
  A->DoCreate();
  A->Show();
  Application->ProcessMessages();
  EXPECT_TRUE(A->BtnOk->Active());
  // The right-aligned labels end at one edge, before the links.
  EXPECT_EQ(A->LabelHomepage->Left() + A->LabelHomepage->Width(), A->LabelEmail->Left() + A->LabelEmail->Width());
  EXPECT_LT(A->LabelHomepage->Left() + A->LabelHomepage->Width(), A->KvURLLabel1->Left());
  EXPECT_GT(A->LabelHomepage->Left() + A->LabelHomepage->Width(), A->KvURLLabel1->Left() - 12);
  EXPECT_TRUE(Headless::SaveWindowPng(A.get(), "about_box.png"));
  A->Hide();
  Headless::KeyToTop(VK_RETURN);
  EXPECT_EQ(A->ShowModal(), mrOk);
  Headless::KeyToTop(VK_ESCAPE);  // no cancel button: Escape leaves the box open until OK
  Headless::KeyToTop(VK_RETURN);
  EXPECT_EQ(A->ShowModal(), mrOk);
}

}  // namespace

// The side glyphs embedded as pictures: the picture's square and, on the reflection's side, its paler
// mirror, everything else the fill.
TEST(SideGlyphs, SquareAndMirrorOverTheFill) {
  struct TSide {
    const char* Name;
    int32_t PicX, PicY, MirX, MirY;
  };
  const TSide kSides[] = {{"side_left", 12, 7, 1, 7},
                          {"side_top", 7, 12, 7, 1},
                          {"side_right", 2, 7, 13, 7},
                          {"side_bottom", 7, 2, 7, 13}};
  for (const TSide& S : kSides) {
    auto G = AppArtOver(S.Name, clOlive);
    ASSERT_TRUE(G) << S.Name;
    ASSERT_EQ(G->Width(), 24);
    ASSERT_EQ(G->Height(), 24);
    for (int32_t y = 0; y < 24; ++y)
      for (int32_t x = 0; x < 24; ++x) {
        const bool Pic = x >= S.PicX && x < S.PicX + 10 && y >= S.PicY && y < S.PicY + 10;
        const bool Mir = x >= S.MirX && x < S.MirX + 10 && y >= S.MirY && y < S.MirY + 10;
        const TColor Want = Pic ? TColor(0xC08040) : Mir ? TColor(0xF0D8B8) : clOlive;
        ASSERT_EQ(G->Canvas()->Pixels(x, y), Want) << S.Name << " " << x << "," << y;
      }
  }
  EXPECT_FALSE(AppArtOver("no_such_glyph", clOlive));
}
