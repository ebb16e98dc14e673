// The main window, headless: the open road, rebuilds through the setting controls, saving, the options
// file and the language files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/ml_functions.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/dialogs/save_dialog.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/vector/vect.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/base/inifiles.h"
#include "platform/base/strings.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/published.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/timer.h"

namespace fs = std::filesystem;

namespace {

// What a user's click on a side button does: it goes down (raising the others), then clicks.
void ClickSide(TKvBmpButton* B) {
  B->SetDown(true);
  B->Click();
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
    std::string tmplPath = (std::filesystem::temp_directory_path() / "quorvel_app_XXXXXX").string();
    char* tmpl = tmplPath.data();
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Dir = tmpl;
    fs::create_directories(Dir / "Languages");
  }
  void TearDown() override {
    RunFileDialog = [](TOpenFileNameData& D) { return RunFileChooser(D); };
    MessageBoxHook = nullptr;
    Application->ProcessMessages();
    UseTestUiClock(false);
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  // A form as start-up makes it, then pointed at the test's own directory for options and languages.
  std::unique_ptr<TFrmQuorvel> NewForm() {
    auto F = std::make_unique<TFrmQuorvel>(Application);
    F->DoCreate();
    AppDir = Dir.string() + "/";
    return F;
  }
  std::string WritePicture(const char* Name, int32_t W, int32_t H) {
    TQuillot Q(nullptr);
    TQxBitmap* B = Q.CurrentBitmap();
    B->Allocate(W, H, TQxPixelFormat::qx24RGB);
    for (int32_t y = 0; y < H; ++y) {
      auto* P = reinterpret_cast<TQxRGB*>(B->Scanline(y));
      for (int32_t x = 0; x < W; ++x) P[x] = TQxRGB{uint8_t(x * 9), uint8_t(y * 13), 200};
    }
    Q.UpdateView();
    std::string path = (Dir / Name).string();
    Q.GetIO()->SaveToFile(path);
    return path;
  }
  void AnswerDialogWith(const std::string& Name) {
    RunFileDialog = [Name](TOpenFileNameData& D) {
      D.FileName = Name;
      return true;
    };
  }
  void WriteFile(const fs::path& P, const std::string& Text) { std::ofstream(P, std::ios::binary) << Text; }
  std::vector<std::string> Lines(const fs::path& P) {
    std::ifstream in(P);
    std::vector<std::string> out;
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (!l.empty()) out.push_back(l);
    }
    return out;
  }
  void CopyLanguage(const char* Name) {
    fs::copy_file(fs::path(QV_SOURCE_DIR) / "app/Languages" / Name, Dir / "Languages" / Name,
                  fs::copy_options::overwrite_existing);
  }
  fs::path Dir;
};

int32_t ReflectionAlphaAtRow(TQuillotView* V, int32_t Row) {
  TQxBitmap* R = V->GetLayer(1)->Bitmap;
  return R->GetAlphaChannel()->GetPixel8(R->Width() / 2, Row);
}

TEST_F(MainWindowTest, OpenRebuildSaveAndFailedOpen) {
  auto F = NewForm();
  EXPECT_FALSE(F->BtnSaveAs->Enabled());
  std::string in = WritePicture("in.png", 20, 10);
  AnswerDialogWith(in);
  F->BtnOpen->Click();

  ASSERT_TRUE(F->ImageLoaded);
  EXPECT_TRUE(F->BtnSaveAs->Enabled());
  EXPECT_EQ(F->KvStatusPane1->Caption(), in);
  EXPECT_EQ(F->LastOpenDir, Dir.string());
  TQuillot* V = F->QuillotDis;
  ASSERT_EQ(V->LayerCount(), 2);
  EXPECT_EQ(F->ReflectionLayer, 1);
  EXPECT_EQ(V->GetLayer(0)->Bitmap->Width(), 20);
  EXPECT_EQ(V->GetLayer(0)->Bitmap->Height(), 20);  // bottom side, space 0
  EXPECT_EQ(V->GetLayer(1)->PosY, 10);
  EXPECT_TRUE(V->GetLayer(1)->Locked);
  EXPECT_EQ(ReflectionAlphaAtRow(V, 0), 255);

  // Start transparency 50 %: the first reflection row takes opacity 128, and the label follows.
  F->TrackBarTranBegin->SetPosition(50);
  EXPECT_EQ(F->Label1->Caption(), "50%");
  EXPECT_EQ(ReflectionAlphaAtRow(V, 0), 128);

  // Space rebuilds the base layer and the placement.
  F->SpinEditSpc->SetValue(4);
  EXPECT_EQ(V->GetLayer(0)->Bitmap->Height(), 24);
  EXPECT_EQ(V->GetLayer(1)->PosY, 14);

  // A side button rebuilds everything and stays down alone.
  ClickSide(F->BtnRight);
  EXPECT_EQ(F->SelectedSide(), qxSideRight);
  EXPECT_FALSE(F->BtnBottom->Down());
  EXPECT_EQ(V->GetLayer(0)->Bitmap->Width(), 44);
  EXPECT_EQ(V->GetLayer(0)->Bitmap->Height(), 10);
  EXPECT_EQ(V->GetLayer(1)->PosX, 24);

  // Zoom buttons scale the current zoom.
  F->BtnReal->Click();
  F->BtnZoomOut->Click();
  EXPECT_NEAR(V->ZoomX(), 120.0, 1e-9);
  F->BtnReal->Click();
  F->BtnZoomIn->Click();
  EXPECT_NEAR(V->ZoomX(), 80.0, 1e-9);

  // Save As writes what the view shows.
  std::string out = (Dir / "out.png").string();
  AnswerDialogWith(out);
  F->M_SaveAsClick(nullptr);
  TQuillot Check(nullptr);
  Check.GetIO()->LoadFromFile(out);
  EXPECT_EQ(Check.CurrentBitmap()->Width(), 44);
  EXPECT_EQ(Check.CurrentBitmap()->Height(), 10);

  // A failed open shows the box, disables saving and leaves the last result on screen.
  std::string shownText, shownCaption;
  MessageBoxHook = [&](const std::string& T, const std::string& C, uint32_t) {
    shownText = T;
    shownCaption = C;
    return IDOK;
  };
  MsError = "Oops";
  MsOpenError = "Cannot open";
  AnswerDialogWith((Dir / "missing.png").string());
  F->M_OpenClick(nullptr);
  EXPECT_FALSE(F->ImageLoaded);
  EXPECT_FALSE(F->BtnSaveAs->Enabled());
  EXPECT_EQ(shownText, "Cannot open");
  EXPECT_EQ(shownCaption, "Oops");
  EXPECT_EQ(V->LayerCount(), 2);
  F->M_FilesClick(nullptr);
  EXPECT_FALSE(F->M_SaveAs->Enabled());
  // Settings now only refresh the labels.
  F->TrackBarSize->SetPosition(30);
  EXPECT_EQ(F->Label9->Caption(), "70%");
}

TEST_F(MainWindowTest, OptionsRoundTripInTableOrder) {
  {
    auto F = NewForm();
    ClickSide(F->BtnLeft);
    F->SpinEditSpc->SetValue(-7);
    F->TrackBarSize->SetPosition(20);
    F->TrackBarTranBegin->SetPosition(30);
    F->TrackBarTranEnd->SetPosition(10);
    F->CheckBoxWave->SetChecked(true);
    F->SpinEditZF->SetValue(5);
    F->SpinEditBC->SetValue(40);
    F->SpinEditXW->SetValue(90);
    F->RadioButtonBW->SetChecked(true);
    F->CheckBoxRemoveAlpa->SetChecked(true);
    F->PanelBkColor->SetColor(0x123456);
    F->SetTag(3);
  }  // destruction writes the options
  std::vector<std::string> expected = {"[OPTIONS]",       "Pos=1",          "Dis=-7",      "Size=80",
                                       "TranB=30",        "TranE=90",       "Wave=1",      "Amplitude=5",
                                       "WaveLength=40",   "Phase=90",       "Color=2",     "RemoveAlpa=1",
                                       "BkColor=1193046", "[LANGUAGE]",     "Default=3"};
  EXPECT_EQ(Lines(Dir / "Options.ini"), expected);

  auto G = NewForm();
  G->LoadOptions();
  EXPECT_EQ(G->SelectedSide(), qxSideLeft);
  TReflectionSettings S = G->Settings();
  EXPECT_EQ(S.Space, -7);
  EXPECT_EQ(S.SizePercent, 80);
  EXPECT_EQ(S.TranBegin, 30);
  EXPECT_EQ(S.TranEnd, 90);
  EXPECT_TRUE(S.WaveOn);
  EXPECT_EQ(S.Amplitude, 5);
  EXPECT_EQ(S.WaveLength, 40);
  EXPECT_EQ(S.Phase, 90);
  EXPECT_EQ(S.ColorMode, qxBlackWhite);
  EXPECT_TRUE(S.RemoveAlpha);
  EXPECT_EQ(S.Background, TColor(0x123456));
  EXPECT_EQ(G->Tag(), 3);
}

TEST_F(MainWindowTest, MissingOrOddOptionsGiveDefaults) {
  WriteFile(Dir / "Options.ini", "[OPTIONS]\nPos=9\nSize=abc\nDis=900\n[LANGUAGE]\nDefault=9\n");
  auto F = NewForm();
  F->LoadOptions();
  TReflectionSettings S = F->Settings();
  EXPECT_EQ(S.Side, qxSideBottom);
  EXPECT_EQ(S.Space, 500);  // the control's own limit
  EXPECT_EQ(S.SizePercent, 100);
  EXPECT_EQ(S.TranBegin, 0);
  EXPECT_EQ(S.TranEnd, 100);
  EXPECT_EQ(S.ColorMode, qxColorful);
  EXPECT_FALSE(S.WaveOn);
  EXPECT_EQ(S.Amplitude, 10);
  EXPECT_EQ(S.WaveLength, 30);
  EXPECT_FALSE(S.RemoveAlpha);
  EXPECT_EQ(S.Background, clWhite);
  EXPECT_EQ(F->Tag(), 7);
}

TEST_F(MainWindowTest, LanguageSwitchSetsCaptionsMenusAndMessages) {
  CopyLanguage("German.isl");
  CopyLanguage("English.isl");
  auto F = NewForm();
  F->ApplyLanguage(1);
  EXPECT_EQ(F->BtnOpen->Caption(), "Ö&ffnen");
  EXPECT_EQ(F->BtnFit->Hint(), "Einpassen");
  EXPECT_EQ(F->M_Files->Caption(), "  &Datei  ");
  EXPECT_TRUE(F->M_German->Checked());
  EXPECT_FALSE(F->M_English->Checked());
  EXPECT_EQ(MsOpenError, "Die Datei kann nicht geöffnet werden");
  EXPECT_EQ(Lang, 1);
  EXPECT_EQ(F->Tag(), 1);
  EXPECT_EQ(F->Caption(), QuorvelAppTitle);

  F->M_English->Click();
  EXPECT_EQ(F->BtnOpen->Caption(), "&Open");
  EXPECT_EQ(F->M_Files->Caption(), "  &File  ");
  EXPECT_TRUE(F->M_English->Checked());
  EXPECT_EQ(Lang, 0);

  // With no program to open the home page, the user is told so in the applied language.
  F->ApplyLanguage(1);
  std::string shown, opened;
  MessageBoxHook = [&](const std::string& T, const std::string&, uint32_t) {
    shown = T;
    return IDOK;
  };
  KvOpenURLHook = [&](const std::vector<std::string>& Command) {
    opened = Command.back();
    return false;
  };
  F->BtnNewVer->Click();
  EXPECT_EQ(opened, QuorvelHomePage);
  EXPECT_EQ(shown, std::string("Es ist kein Programm installiert, das diese Adresse öffnen kann:\n") + QuorvelHomePage);
  shown.clear();
  KvOpenURLHook = [](const std::vector<std::string>&) { return true; };
  F->M_HomePage->Click();
  EXPECT_EQ(shown, "");
  KvOpenURLHook = nullptr;
  MessageBoxHook = nullptr;
  F->M_English->Click();

  // Index 7 changes nothing at all.
  F->ApplyLanguage(7);
  EXPECT_EQ(F->BtnOpen->Caption(), "&Open");
  EXPECT_EQ(Lang, 0);
}

TEST_F(MainWindowTest, LanguageLinesAreSplitTrimmedAndSkipped) {
  WriteFile(Dir / "Languages/French.isl",
            "[FrmQuorvel]\n"
            "BtnFit.Hint=Ajuster\n"
            "Caption=Titel\n"
            "Label3.Caption = Amplitude =x\n"
            "Nothing.Caption=x\n"
            "BtnFit.Font.Name=Arial\n"
            "SpinEditZF.Width=77\n"
            "[Messages]\n"
            "Ms_OpenError=Cannot open#13#10the file\n");
  auto F = NewForm();
  std::string help = F->M_Help->Caption();
  F->ApplyLanguage(3);
  EXPECT_EQ(F->BtnFit->Hint(), "Ajuster");
  EXPECT_EQ(F->Caption(), "Titel");
  EXPECT_EQ(F->Label3->Caption(), "Amplitude =x");
  EXPECT_EQ(F->SpinEditZF->Width(), 77);
  EXPECT_EQ(MsOpenError, "Cannot open\r\nthe file");
  EXPECT_EQ(MsError, "Error");  // a text the file lacks stays English, never empty
  // A file without the menu captions: each switch adds two more blanks on each side.
  EXPECT_EQ(F->M_Help->Caption(), "  " + help + "  ");

  WriteFile(Dir / "Languages/Italian.isl", "[FrmQuorvel]\nKvGroupBox1.Tag=abc\n");
  EXPECT_THROW(F->ApplyLanguage(4), EConvertError);

  // Without the language folder the window and its messages are English.
  fs::remove_all(Dir / "Languages");
  F.reset();
  auto G = NewForm();
  G->ApplyLanguage(1);
  EXPECT_EQ(G->Label6->Caption(), "Position");
  EXPECT_EQ(MsError, "Error");
  EXPECT_EQ(MsOpenError, "Can not open file");
  EXPECT_EQ(G->OpenQuillotDialog1->Title, "Open Picture");
  EXPECT_EQ(G->OpenQuillotDialog1->Filter.substr(0, 15), "Picture files (");
}

// The dialogs follow the language: titles and type names from the language file, their own labels from
// the library's table.
TEST_F(MainWindowTest, DialogsFollowTheLanguage) {
  CopyLanguage("German.isl");
  auto F = NewForm();
  F->ApplyLanguage(1);
  EXPECT_EQ(F->OpenQuillotDialog1->Title, "Bild öffnen");
  EXPECT_EQ(F->SaveQuillotDialog1->Title, "Speichern unter");
  EXPECT_EQ(F->OpenQuillotDialog1->Filter.substr(0, 13), "Bilddateien (");
  EXPECT_NE(F->OpenQuillotDialog1->Filter.find("|Alle Dateien (*.*)|*.*|"), std::string::npos);
  EXPECT_EQ(F->OpenQuillotDialog1->MsgLanguage, TMsgLanguage::msGerman);
  EXPECT_EQ(F->QuillotDis->GetIO()->MsgLanguage, TMsgLanguage::msGerman);
  // No other script is left in any language's texts of the dialogs.
  for (const char* L : {"English.isl", "German.isl", "Spanish.isl", "French.isl", "Italian.isl", "Dutch.isl"}) {
    CopyLanguage(L);
    const std::vector<std::string> Lines = this->Lines(Dir / "Languages" / L);
    for (const char* Key : {"OpenQuillotDialog1.Title=", "SaveQuillotDialog1.Title=", "Ms_PictureFiles=", "Ms_AllFiles=",
                            "Ms_Video="})
      EXPECT_EQ(std::count_if(Lines.begin(), Lines.end(), [&](const std::string& l) { return l.rfind(Key, 0) == 0; }), 1)
          << L << " " << Key;
  }
}

TEST_F(MainWindowTest, AboutBoxFollowsTheLanguage) {
  CopyLanguage("German.isl");
  CopyLanguage("English.isl");
  AppDir = Dir.string() + "/";
  struct Case {
    int32_t Lang;
    const char* Caption;
  } cases[] = {{1, "Über - Quorvel Image"}, {0, "About - Quorvel Image"}, {7, "About - Quorvel Image"}};
  for (const Case& c : cases) {
    Lang = c.Lang;
    auto A = std::make_unique<TFrmAbout>(Application);
    A->DoCreate();
    EXPECT_EQ(A->Caption(), c.Caption) << c.Lang;
    EXPECT_TRUE(A->Image2->Visible());
    EXPECT_FALSE(A->Image1->Visible());
    EXPECT_FALSE(A->Image3->Visible());
    EXPECT_EQ(A->KvURLLabel1->URL(), QuorvelHomePage);
  }
  // Its links say so when nothing can open them; Escape closes the box.
  std::string shown;
  MessageBoxHook = [&](const std::string& T, const std::string&, uint32_t) {
    shown = T;
    return IDOK;
  };
  KvOpenURLHook = [](const std::vector<std::string>&) { return false; };
  Lang = 0;
  auto A = std::make_unique<TFrmAbout>(Application);
  A->DoCreate();
  A->KvURLLabel2->Click();
  EXPECT_EQ(shown, MsNoOpener + "\n" + QuorvelEmail);
  EXPECT_FALSE(A->KvURLLabel2->Visited());
  KvOpenURLHook = nullptr;
  MessageBoxHook = nullptr;
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_EQ(A->ShowModal(), mrOk);
}

TEST(Languages, DetectFromTheLocale) {
  const char* saved = std::getenv("LC_ALL");
  std::string keep = saved ? saved : "";
  struct Case {
    const char* Locale;
    int32_t Index;
  } cases[] = {{"de_DE.UTF-8", 1}, {"es_ES", 2}, {"fr_CA.UTF-8", 3}, {"it_IT@euro", 4},
               {"nl_BE", 5},       {"en_GB", 0}, {"nb_NO.UTF-8", 7}, {"C", 0}};
  for (const Case& c : cases) {
    setenv("LC_ALL", c.Locale, 1);
    EXPECT_EQ(DetectSystemLanguage(), c.Index) << c.Locale;
  }
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST(Languages, SplitAtSeparator) {
  TStringList L;
  SplitAtSeparator("a=b=c", "=", L);
  ASSERT_EQ(L.Count(), 2);
  EXPECT_EQ(L[0], "b=c");
  EXPECT_EQ(L[1], "a");
  SplitAtSeparator("plain", "=", L);
  ASSERT_EQ(L.Count(), 1);
  EXPECT_EQ(L[0], "plain");
}

TEST(Languages, EveryLanguageFileNamesOnlyRealComponents) {
  // A misspelt component in a shipped file would silently leave a text untranslated.
  Headless::Use();
  TFrmQuorvel F(nullptr);
  TFrmAbout A(nullptr);
  for (const char* name : {"English", "German", "Spanish", "French", "Italian", "Dutch"}) {
    TMemIniFile ini(std::string(QV_SOURCE_DIR) + "/app/Languages/" + name + ".isl");
    for (TComponent* form : std::initializer_list<TComponent*>{&F, &A}) {
      TStringList keys;
      ini.ReadSection(form->Name(), keys);
      EXPECT_GT(keys.Count(), 0) << name;
      for (int32_t i = 0; i < keys.Count(); ++i) {
        std::string k = keys[i];
        size_t dot = k.find('.');
        TComponent* c = dot == std::string::npos ? form : form->FindComponent(k.substr(0, dot));
        ASSERT_NE(c, nullptr) << name << ": " << k;
        EXPECT_NE(GetPropInfo(c, k.substr(dot == std::string::npos ? 0 : dot + 1)), nullptr) << name << ": " << k;
      }
    }
    EXPECT_FALSE(ini.ReadString("Messages", "Ms_OpenError", "").empty()) << name;
  }
}

}  // namespace

namespace {

// Window point of a control's client point (the form's menu bar lies above its client area).
TPoint InWindow(TFrmQuorvel* F, TControl* C, int32_t X, int32_t Y) {
  TPoint p = C->ClientToParent(Point(X, Y), F);
  return Point(p.X, p.Y + F->MenuBarHeight());
}

TEST_F(MainWindowTest, MouseAndKeyboardDriveTheControls) {
  auto F = NewForm();
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  AnswerDialogWith(WritePicture("in.png", 30, 12));
  TPoint open = InWindow(F.get(), F->BtnOpen, 20, 20);
  Headless::Click(F.get(), open.X, open.Y);
  Application->ProcessMessages();
  ASSERT_TRUE(F->ImageLoaded);

  // A click at the far end of the size track bar pages toward it, and repeats while held.
  TKvTrackBar* T = F->TrackBarSize;
  TPoint end = InWindow(F.get(), T, T->TrackRect().Right - 2, T->TrackRect().Top + 1);
  Headless::MouseDown(F.get(), end.X, end.Y);
  Application->ProcessMessages();
  EXPECT_EQ(T->Position(), 1);
  EXPECT_EQ(F->Label9->Caption(), "99%");
  AdvanceUiClock(200);
  Application->ProcessMessages();
  AdvanceUiClock(100);
  Application->ProcessMessages();
  Headless::MouseUp(F.get(), end.X, end.Y);
  Application->ProcessMessages();
  EXPECT_EQ(T->Position(), 3);
  EXPECT_EQ(F->Label9->Caption(), "97%");
  // The focused track bar follows the arrow keys.
  Headless::Key(F.get(), VK_LEFT);
  Application->ProcessMessages();
  EXPECT_EQ(T->Position(), 2);

  // The side buttons and the second tab's check box.
  TPoint top = InWindow(F.get(), F->BtnTop, 10, 10);
  Headless::Click(F.get(), top.X, top.Y);
  Application->ProcessMessages();
  EXPECT_EQ(F->SelectedSide(), qxSideTop);
  EXPECT_EQ(F->QuillotDis->GetLayer(0)->Bitmap->Height(), 24);
  TRect tab = F->KvPageControl1->TabClientRect(1);
  TPoint tp = InWindow(F.get(), F->KvPageControl1, (tab.Left + tab.Right) / 2, (tab.Top + tab.Bottom) / 2);
  Headless::Click(F.get(), tp.X, tp.Y);
  Application->ProcessMessages();
  EXPECT_EQ(F->KvPageControl1->ActivePage(), F->TabSheet2);
  TPoint wave = InWindow(F.get(), F->CheckBoxWave, 5, 8);
  Headless::Click(F.get(), wave.X, wave.Y);
  Application->ProcessMessages();
  EXPECT_TRUE(F->CheckBoxWave->Checked());
  // Typing into the focused spin edit.
  TPoint amp = InWindow(F.get(), F->SpinEditZF, 10, 10);
  Headless::Click(F.get(), amp.X, amp.Y);
  Headless::Key(F.get(), 'A', TShiftState(ssCtrl));
  Headless::Type(F.get(), "25");
  Headless::Key(F.get(), VK_UP);
  Application->ProcessMessages();
  EXPECT_EQ(F->Settings().Amplitude, 26);
}

TEST_F(MainWindowTest, ThemedControlsAsPlaced) {
  auto F = NewForm();
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  // The track bars' geometry: track (13, 10, 168, 14), thumb at 50 at (81, 3, 99, 21).
  TKvTrackBar* T = F->TrackBarTranBegin;
  EXPECT_EQ(T->Width(), 181);
  EXPECT_EQ(T->TrackRect(), Rect(13, 10, 168, 14));
  T->SetPosition(50);
  EXPECT_EQ(T->ThumbRect(), Rect(81, 3, 99, 21));
  EXPECT_EQ(F->Label1->Caption(), "50%");
  // The spin edits as placed.
  struct {
    TKvSpinEdit* E;
    int32_t Min, Max;
  } spins[] = {{F->SpinEditSpc, -500, 500}, {F->SpinEditZF, 0, 100}, {F->SpinEditBC, 0, 100}, {F->SpinEditXW, 0, 359}};
  for (auto& s : spins) {
    EXPECT_EQ(s.E->Min(), s.Min);
    EXPECT_EQ(s.E->Max(), s.Max);
    EXPECT_TRUE(s.E->AllowBlank() && s.E->AllowKeyEdit() && s.E->FlatButtons() && s.E->FrameVisible());
  }
  // The side buttons: 33 x 23, group 2, the bottom one down.
  EXPECT_EQ(F->BtnTop->Width(), 33);
  EXPECT_EQ(F->BtnTop->Height(), 23);
  EXPECT_TRUE(F->BtnBottom->Down());
  EXPECT_EQ(F->BtnLeft->Bitmaps()->TransparentColor(), clOlive);
  Application->ProcessMessages();
  // For looking at: the window with its controls (in the build tree).
  fs::create_directories("screenshots");
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "screenshots/main_window_controls.png"));
}

TEST_F(MainWindowTest, SettingPagesSwitchByMouseAndKeys) {
  auto F = NewForm();
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  TKvPageControl* P = F->KvPageControl1;
  ASSERT_EQ(P->ActivePage(), F->TabSheet1);
  EXPECT_GT(P->FixedDimension(), 0);  // the stored 19 is measured again at the first paint
  fs::create_directories("screenshots");
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "screenshots/main_window_pages.png"));
  auto centre = [&](int32_t i) {
    TRect r = P->TabClientRect(i);
    return InWindow(F.get(), P, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  };
  // A click on the current tab focuses the page control; the arrows then switch pages.
  TPoint t0 = centre(0);
  Headless::Click(F.get(), t0.X, t0.Y);
  Application->ProcessMessages();
  ASSERT_TRUE(P->Focused());
  Headless::Key(F.get(), VK_RIGHT);
  Application->ProcessMessages();
  EXPECT_EQ(P->ActivePage(), F->TabSheet2);
  EXPECT_TRUE(F->CheckBoxWave->Showing());
  EXPECT_FALSE(F->TrackBarSize->Showing());
  Headless::Key(F.get(), VK_LEFT);
  Application->ProcessMessages();
  EXPECT_EQ(P->ActivePage(), F->TabSheet1);
  // Ctrl+Tab from a control on the page switches to the next page.
  F->TrackBarSize->SetFocus();
  Headless::Key(F.get(), VK_TAB, TShiftState(ssCtrl));
  Application->ProcessMessages();
  EXPECT_EQ(P->ActivePage(), F->TabSheet2);
  TPoint t1 = centre(0);
  Headless::Click(F.get(), t1.X, t1.Y);
  Application->ProcessMessages();
  EXPECT_EQ(P->ActivePage(), F->TabSheet1);
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "screenshots/main_window_pages_back.png"));
}

}  // namespace

namespace {

// Open and save go through the library's dialogs: the frame picked in the open preview is the one loaded,
// a name without an extension takes the chosen type's, and the save options chosen with the advanced
// button reach the file.
TEST_F(MainWindowTest, OpenAndSaveThroughTheLibraryDialogs) {
  auto F = NewForm();
  std::string in = WritePicture("in.png", 40, 30);
  AnswerDialogWith(in);
  F->BtnOpen->Click();
  ASSERT_TRUE(F->ImageLoaded);

  std::map<int32_t, uintmax_t> sizes;
  for (int32_t quality : {20, 95}) {
    F->QuillotDis->GetIO()->OnDoPreviews = [quality, &F](TObject*, bool& Handled) {
      F->QuillotDis->GetIO()->Params->JpegQuality = quality;
      Handled = true;
    };
    std::string name = (Dir / ("plain" + std::to_string(quality))).string();
    RunFileDialog = [&F, name](TOpenFileNameData& D) {
      F->SaveQuillotDialog1->AdvancedClick();
      D.FileName = name;
      D.FilterIndex = 3;  // JPEG
      return true;
    };
    F->M_SaveAsClick(nullptr);
    ASSERT_TRUE(fs::exists(name + ".jpg")) << quality;
    sizes[quality] = fs::file_size(name + ".jpg");
  }
  EXPECT_LT(sizes[20], sizes[95]);
  F->QuillotDis->GetIO()->OnDoPreviews = nullptr;

  // The open dialog's frame: three frames written by Pillow, the third picked.
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) GTEST_SKIP() << "Pillow is not installed";
  std::string gif = (Dir / "anim.gif").string();
  std::ofstream((Dir / "frames.py").string())
      << "from PIL import Image\n"
         "fr=[Image.new('RGB',(12,8),c) for c in ((255,0,0),(0,255,0),(0,0,255))]\n"
         "fr[0].save('" << gif << "',save_all=True,append_images=fr[1:])\n";
  ASSERT_EQ(std::system(("/usr/bin/python3 " + (Dir / "frames.py").string()).c_str()), 0);
  RunFileDialog = [&F, gif](TOpenFileNameData& D) {
    F->OpenQuillotDialog1->PreviewFrameIndex = 2;
    D.FileName = gif;
    return true;
  };
  F->BtnOpen->Click();
  ASSERT_TRUE(F->ImageLoaded);
  TQxRGB c = F->Source->CurrentBitmap()->GetPixelRGB(3, 3);
  EXPECT_EQ(c.b, 255);
  EXPECT_EQ(c.r, 0);
}

}  // namespace

// The view in the window: fitting after 100 % leaves no dead scroll bar, and at fitted zoom no lighter
// row shows where the picture meets its reflection.
TEST_F(MainWindowTest, FittedViewHasNoDeadScrollBarAndNoSeam) {
  auto F = NewForm();
  F->Show();
  Application->ProcessMessages();
  TQuillot Q(nullptr);
  TQxBitmap* B = Q.CurrentBitmap();
  B->Allocate(1000, 700, TQxPixelFormat::qx24RGB);
  B->Fill(0x202020);
  Q.UpdateView();
  const std::string Name = (Dir / "dark.png").string();
  Q.GetIO()->SaveToFile(Name);
  F->OpenFile(Name);
  Application->ProcessMessages();
  TQuillot* V = F->QuillotDis;
  ASSERT_LT(V->ZoomX(), 100);
  F->BtnRealClick(nullptr);
  Application->ProcessMessages();
  EXPECT_TRUE(V->ScrollBarVisible(SB_VERT));
  F->BtnFitClick(nullptr);
  Application->ProcessMessages();
  EXPECT_FALSE(V->ScrollBarVisible(SB_VERT));
  EXPECT_FALSE(V->ScrollBarVisible(SB_HORZ));

  // Rows just above and below the seam: the dark picture, then the reflection at full opacity.
  const int32_t Seam = V->BitmapToScreenY(700), X = V->BitmapToScreenX(500);
  TQxBitmap* Shown = V->BackBuffer();
  for (int32_t y = Seam - 3; y < Seam + 2; ++y) {
    const TQxRGB c = Shown->GetPixel24(X, y);
    EXPECT_LT(c.g, 48) << "row " << y << " of the screen, the seam at " << Seam;
  }
}

// A 1 x 1 picture and its reflection are two pixels; at 100 % the view shows both, for every side.
TEST_F(MainWindowTest, OnePixelPictureShowsWithItsReflectionAtActualSize) {
  auto F = NewForm();
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  TQuillot Q(nullptr);
  TQxBitmap* B = Q.CurrentBitmap();
  B->Allocate(1, 1, TQxPixelFormat::qx24RGB);
  reinterpret_cast<TQxRGB*>(B->Scanline(0))[0] = TQxRGB{200, 60, 200};  // alike in either channel order
  Q.UpdateView();
  const std::string Name = (Dir / "dot.png").string();
  Q.GetIO()->SaveToFile(Name);
  F->OpenFile(Name);
  Application->ProcessMessages();
  TQuillot* V = F->QuillotDis;
  for (TKvBmpButton* Side : {F->BtnLeft, F->BtnTop, F->BtnRight, F->BtnBottom}) {
    ClickSide(Side);
    Application->ProcessMessages();
    F->BtnRealClick(nullptr);
    Application->ProcessMessages();
    ASSERT_EQ(V->ZoomX(), 100);
    TQxBitmap* Canvas = V->GetLayer(0)->Bitmap;
    ASSERT_EQ(Canvas->Width() * Canvas->Height(), 2) << Side->Name();
    // The reflection starts fully opaque: both pixels show the picture's colour.
    for (int32_t y = 0; y < Canvas->Height(); ++y)
      for (int32_t x = 0; x < Canvas->Width(); ++x) {
        const TQxRGB c = V->BackBuffer()->GetPixel24(V->BitmapToScreenX(x), V->BitmapToScreenY(y));
        EXPECT_TRUE(std::abs(c.r - 200) + std::abs(c.g - 60) + std::abs(c.b - 200) < 8)
            << Side->Name() << " pixel " << x << "," << y << " shows " << int(c.r) << "," << int(c.g) << "," << int(c.b);
      }
  }
}

// A setting change paints nothing while it rebuilds; the finished picture is painted afterwards.
TEST_F(MainWindowTest, RebuildsPaintOnlyTheFinishedPicture) {
  auto F = NewForm();
  F->Show();
  Application->ProcessMessages();
  F->OpenFile(WritePicture("p.png", 300, 200));
  Application->ProcessMessages();
  int32_t Paints = 0;
  F->QuillotDis->OnDrawBackBuffer = [&](TObject*) { ++Paints; };
  F->TrackBarSize->SetPosition(40);
  F->TrackBarTranBegin->SetPosition(30);
  F->BtnLeft->Click();
  F->CheckBoxRemoveAlpa->SetChecked(true);
  F->SpinEditSpc->SetValue(12);
  EXPECT_EQ(Paints, 0);
  Application->ProcessMessages();
  EXPECT_EQ(Paints, 1);
}

// A held arrow key's repeats that queued up while a rebuild ran, and a key pressed during a drag, cost one
// rebuild with the latest value; a click on Save right behind them still saves the latest picture.
TEST_F(MainWindowTest, QueuedKeysCoalesceIntoOneRebuild) {
  auto F = NewForm();
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  F->OpenFile(WritePicture("p.png", 40, 30));
  Application->ProcessMessages();
  ASSERT_TRUE(F->ImageLoaded);
  TKvTrackBar* T = F->TrackBarSize;
  T->SetFocus();
  Application->ProcessMessages();
  ASSERT_EQ(T->Position(), 0);

  // The reflection a whole build gives for the form's settings as they stand.
  auto Expected = [&](TQuillot& V) {
    TQuillot Src(nullptr);
    Src.CurrentBitmap()->AssignFrom(F->Source->CurrentBitmap());
    ResetLayers(&V);
    const int32_t L = AddReflectionLayer(&V);
    BuildReflection(&V, &Src, F->Settings(), L);
    return L;
  };
  auto SameReflection = [&](TQuillot& V, int32_t L) {
    TQxBitmap* A = F->QuillotDis->GetLayer(F->ReflectionLayer)->Bitmap->GetAlphaChannel();
    TQxBitmap* B = V.GetLayer(L)->Bitmap->GetAlphaChannel();
    for (int32_t y = 0; y < B->Height(); ++y)
      for (int32_t x = 0; x < B->Width(); ++x)
        if (A->GetPixel8(x, y) != B->GetPixel8(x, y)) return false;
    return A->Height() == B->Height();
  };

  for (const int32_t Repeats : {1, 9}) {
    SCOPED_TRACE(Repeats);
    const int32_t Before = F->Rebuilds, From = T->Position();
    for (int32_t i = 0; i < Repeats; ++i) Headless::KeyDown(F.get(), VK_RIGHT);
    Headless::KeyUp(F.get(), VK_RIGHT);
    Application->ProcessMessages();
    EXPECT_EQ(T->Position(), From + Repeats);
    EXPECT_EQ(F->Label9->Caption(), std::to_string(100 - From - Repeats) + "%");
    EXPECT_EQ(F->Rebuilds - Before, 1);
    TQuillot V(nullptr);
    const int32_t L = Expected(V);
    EXPECT_TRUE(SameReflection(V, L));
  }

  // A click on Save queued right behind the keys saves the picture of the last key.
  const std::string Out = (Dir / "out.png").string(), Want = (Dir / "want.png").string();
  AnswerDialogWith(Out);
  for (int32_t i = 0; i < 4; ++i) Headless::KeyDown(F.get(), VK_LEFT);
  TPoint Save = F->BtnSaveAs->ClientToParent(Point(20, 20), F.get());
  Headless::Click(F.get(), Save.X, Save.Y + F->MenuBarHeight());
  Application->ProcessMessages();
  EXPECT_EQ(T->Position(), 6);
  TQuillot V(nullptr);
  Expected(V);
  SaveReflection(&V, Want, F->Settings());
  std::ifstream A(Out, std::ios::binary), B(Want, std::ios::binary);
  const std::string GotBytes((std::istreambuf_iterator<char>(A)), {});
  const std::string WantBytes((std::istreambuf_iterator<char>(B)), {});
  EXPECT_FALSE(GotBytes.empty());
  EXPECT_TRUE(GotBytes == WantBytes);
}

// A file of vector objects opens in the program as the picture its objects draw.
TEST_F(MainWindowTest, VectorObjectsFileOpensAsItsDrawing) {
  TQuillotVect W(nullptr);
  TQxVObject box;
  box.Kind = TQxVObjectKind::qvkBox;
  box.x1 = 2, box.y1 = 3, box.x2 = 30, box.y2 = 12;
  box.PenColor = 0x0000FF;
  box.BrushColor = 0x00FF00;
  box.BrushStyle = TBrushStyle::bsSolid;
  W.AddObjectCopy(box);
  TMemoryStream s;
  W.SaveObjectsToStream(&s);
  const std::string Name = (Dir / "box.qxv").string();
  s.SaveToFile(Name);

  auto F = NewForm();
  AnswerDialogWith(Name);
  F->BtnOpen->Click();
  ASSERT_TRUE(F->ImageLoaded);
  EXPECT_EQ(F->QuillotDis->GetLayer(1)->Bitmap->Width(), 31);  // the reflection has the drawing's size
}

namespace {

// Where a control shows on the screen, cut by every parent it sits in.
TRect ShownPart(TControl* C) {
  TPoint o = C->ClientToScreen(Point(0, 0));
  TRect r = Bounds(o.X, o.Y, C->Width(), C->Height());
  for (TWinControl* p = C->Parent(); p; p = p->Parent()) {
    TPoint po = p->ClientToScreen(Point(0, 0));
    TRect pr = Bounds(po.X, po.Y, p->ClientWidth(), p->ClientHeight());
    if (!IntersectRect(r, r, pr)) return TRect();
  }
  return r;
}

void ExpectWhole(TWinControl* Parent, const std::string& Page) {
  for (int32_t i = 0; i < Parent->ControlCount(); ++i) {
    TControl* c = Parent->Controls(i);
    // Unnamed children are parts of a compound control (a spin edit's buttons), placed by it.
    if (!c->Visible() || c->Name().empty()) continue;
    TPoint o = c->ClientToScreen(Point(0, 0));
    EXPECT_EQ(ShownPart(c), Bounds(o.X, o.Y, c->Width(), c->Height())) << Page << ": " << c->Name() << " is cut off";
    if (auto* w = dynamic_cast<TWinControl*>(c)) ExpectWhole(w, Page);
  }
}

// At the smallest size the window can be given, every control of both setting pages shows whole.
TEST_F(MainWindowTest, MinimumSizeShowsEveryControlWhole) {
  auto F = NewForm();
  F->Show();
  F->SetBounds(0, 0, F->Constraints().MinWidth, F->Constraints().MinHeight);
  Application->ProcessMessages();
  ASSERT_EQ(F->Width(), F->Constraints().MinWidth);
  for (TKvTabSheet* Page : {F->TabSheet1, F->TabSheet2}) {
    F->KvPageControl1->SetActivePage(Page);
    Application->ProcessMessages();
    ExpectWhole(F->KvPanel1, Page->Caption());
    ExpectWhole(F->KvPageControl1, Page->Caption());
  }
  fs::create_directories("screenshots");
  F->KvPageControl1->SetActivePage(F->TabSheet1);
  Application->ProcessMessages();
  EXPECT_TRUE(Headless::SaveWindowPng(F.get(), "screenshots/main_window_minimum_size.png"));
}

}  // namespace

// Zooming in from Fit many times, by the button and by the wheel over the picture, stops at the largest
// zoom the view can show (once the crash of a wrapped size or gigabyte tables); zooming out stops too.
TEST_F(MainWindowTest, ZoomingFarInAndOutStopsAtTheBounds) {
  auto F = NewForm();
  F->SetBounds(0, 0, 740, 540);
  F->Show();
  Application->ProcessMessages();
  AnswerDialogWith(WritePicture("wide.png", 2400, 30));
  F->M_OpenClick(nullptr);
  Application->ProcessMessages();
  ASSERT_TRUE(F->ImageLoaded);
  TQuillotView* V = F->QuillotDis;
  F->BtnFit->Click();
  for (int i = 0; i < 150; ++i) {
    F->BtnZoomOut->Click();  // "Zoom in"
    Application->ProcessMessages();
  }
  EXPECT_LE(V->ZoomedWidth(), TQuillotView::MaxZoomedSize);
  EXPECT_DOUBLE_EQ(V->ZoomX(), V->BoundedZoom(1e300));  // the largest zoom for this picture
  const double top = V->ZoomX();
  V->WheelParams()->WheelAction = 2;
  TPoint mid = InWindow(F.get(), V, V->Width() / 2, V->Height() / 2);
  for (int i = 0; i < 20; ++i) Headless::Wheel(F.get(), mid.X, mid.Y, -1);
  Application->ProcessMessages();
  EXPECT_DOUBLE_EQ(V->ZoomX(), top);
  for (int i = 0; i < 150; ++i) F->BtnZoomIn->Click();  // "Zoom out"
  Application->ProcessMessages();
  EXPECT_GE(V->ZoomX(), TQuillotView::MinZoom);
}

// A JPEG cut short opens and shows the rows it holds, as other viewers show it; one cut before any
// picture data is refused with the open-error message.
TEST_F(MainWindowTest, JpegCutShortShowsWhatItHolds) {
  auto F = NewForm();
  const std::string Full = WritePicture("full.jpg", 64, 64);
  std::ifstream In(Full, std::ios::binary);
  const std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  const size_t Scan = Bytes.find("\xFF\xDA");
  ASSERT_NE(Scan, std::string::npos);
  const fs::path Cut = Dir / "cut.jpg", Head = Dir / "head.jpg";
  WriteFile(Cut, Bytes.substr(0, Scan + (Bytes.size() - Scan) / 2));
  WriteFile(Head, Bytes.substr(0, Scan + 14));
  int32_t Boxes = 0;
  MessageBoxHook = [&](const std::string&, const std::string&, uint32_t) {
    ++Boxes;
    return IDOK;
  };

  AnswerDialogWith(Cut.string());
  F->BtnOpen->Click();
  ASSERT_TRUE(F->ImageLoaded);
  EXPECT_EQ(Boxes, 0);
  TQxBitmap* P = F->QuillotDis->GetLayer(0)->Bitmap;
  EXPECT_EQ(P->Width(), 64);
  const TQxRGB Top = P->GetPixel24(1, 1);  // written as blue 9, green 13, red 200
  EXPECT_NEAR(Top.r, 200, 24);
  EXPECT_NEAR(Top.g, 13, 24);
  EXPECT_NEAR(Top.b, 9, 24);

  AnswerDialogWith(Head.string());
  F->BtnOpen->Click();
  EXPECT_FALSE(F->ImageLoaded);
  EXPECT_EQ(Boxes, 1);
}

// The file chooser's own labels, buttons and messages follow the chosen language, and fall back to
// English where a language file lacks them.
TEST_F(MainWindowTest, FileChooserSpeaksTheChosenLanguage) {
  CopyLanguage("German.isl");
  auto F = NewForm();
  F->ApplyLanguage(1);
  EXPECT_EQ(FileChooserTexts.FileName, "Datei&name:");
  EXPECT_EQ(FileChooserTexts.FileNotFound,
            "Die Datei wurde nicht gefunden.\nÜberprüfen Sie den Dateinamen, und wiederholen Sie den Vorgang.");
  TOpenFileNameData D;
  D.Filter = "Bilder|*.png";
  D.InitialDir = Dir.string();
  auto C = std::make_unique<TFileChooser>(Application, D);
  C->Show();
  Application->ProcessMessages();
  std::vector<std::string> Captions;
  for (int32_t i = 0; i < C->ControlCount(); ++i) Captions.push_back(C->Controls(i)->Caption());
  EXPECT_NE(std::find(Captions.begin(), Captions.end(), "Ö&ffnen"), Captions.end());
  EXPECT_NE(std::find(Captions.begin(), Captions.end(), "Abbrechen"), Captions.end());
  fs::create_directories("screenshots");
  EXPECT_TRUE(Headless::SaveWindowPng(C.get(), "screenshots/file_chooser_german.png"));
  C.reset();
  // A language file without the chooser's texts leaves them English.
  WriteFile(Dir / "Languages" / "German.isl", "[Messages]\nMs_Error=Fehler\n");
  F->ApplyLanguage(1);
  EXPECT_EQ(FileChooserTexts.FileName, "File &name:");
  EXPECT_EQ(FileChooserTexts.Cancel, "Cancel");
}
