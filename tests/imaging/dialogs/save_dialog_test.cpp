// The save dialog: the name's extension follows the type, the advanced button follows the format, cancel
// takes back what the parameters dialog changed, and files saved with its options open elsewhere.
#include <gtest/gtest.h>

#include "controls/kv_buttons.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/dialogs/save_dialog.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/ui/std_ctrls.h"
#include "platform/ui/timer.h"
#include "dialogs_fixture.h"

namespace {

using namespace qvdlg;

class SaveDialogTest : public DialogsTest {
 protected:
  void SetUp() override {
    DialogsTest::SetUp();
    Picture = std::make_unique<TQxBitmap>();
    FillPicture(*Picture, 96, 64);
    IO = std::make_unique<TQuillotIO>(Picture.get());
  }
  std::unique_ptr<TQxBitmap> Picture;
  std::unique_ptr<TQuillotIO> IO;
};

TEST_F(SaveDialogTest, TheNameFollowsTheChosenType) {
  TSaveQuillotDialog d(nullptr);
  d.SetAttachedQuillotIO(IO.get());
  d.SetInitialDir(Dir.string());
  d.SetFilterIndex(3);  // JPEG
  std::vector<std::string> names;
  bool advancedOn = false, timerOn = false;
  d.OnTypeChange = [&](TObject*) {
    timerOn = d.Timer()->Enabled();
    names.push_back(d.FileSpec());
    advancedOn = d.AdvancedButton->Enabled();
  };
  Headless::TypeToTop("holiday.photo.jpg");
  for (int i = 0; i < 3; ++i) Headless::KeyToTop(VK_TAB);  // name, OK, Cancel, types
  Headless::KeyToTop(VK_DOWN);                             // PCX
  Headless::KeyToTop(VK_DOWN);                             // BMP
  Headless::KeyToTop(VK_DOWN);                             // ICO
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(d.ShowDialog());
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], "holiday.pcx");
  EXPECT_EQ(names[1], "holiday.bmp");
  EXPECT_EQ(names[2], "holiday.ico");
  EXPECT_FALSE(advancedOn);  // icons have no parameters page
  // The state timer ran while the chooser was open and stops with it.
  EXPECT_TRUE(timerOn);
  EXPECT_FALSE(d.Timer()->Enabled());
}

TEST_F(SaveDialogTest, ANameWithoutExtensionTakesTheTypes) {
  TSaveQuillotDialog d(nullptr);
  d.SetAttachedQuillotIO(IO.get());
  d.SetInitialDir(Dir.string());
  d.SetFilterIndex(7);  // PNG
  Headless::TypeToTop("plain");
  Headless::KeyToTop(VK_RETURN);
  ASSERT_TRUE(d.ShowDialog());
  EXPECT_EQ(d.FileName(), (Dir / "plain.png").string());
  // With the name given in code and no chooser at all, the dialog still adds it.
  d.DialogFunction = [](TOpenFileNameData& D) {
    D.FileName = "/tmp/other";
    D.FilterIndex = 1;
    return true;
  };
  d.SetFilterIndex(1);
  ASSERT_TRUE(d.ShowDialog());
  EXPECT_EQ(d.FileName(), "/tmp/other.tif");
}

TEST_F(SaveDialogTest, TheAdvancedButtonFollowsTheFormat) {
  TSaveQuillotDialog d(nullptr);
  d.SetAttachedQuillotIO(IO.get());
  const std::pair<const char*, bool> cases[] = {
      {"tif", true},  {"gif", true},  {"jpg", true},  {"pcx", true},  {"bmp", true},   {"png", true},
      {"tga", true},  {"jp2", true},  {"j2k", true},  {"ico", false}, {"ppm", false},  {"wbmp", false},
      {"ps", false},  {"pdf", false}, {"dcx", false}, {"psd", false}, {"qxv", false},  {"lyr", false},
      {"all", false}, {"wdp", false}, {"xyz", false}};
  for (auto& c : cases) {
    d.SetFileName(std::string("/tmp/a.") + c.first);
    d.UpdateAdvanced();
    EXPECT_EQ(d.AdvancedButton->Enabled(), c.second) << c.first;
    TQxFileFormatInfo* e = QxFileFormatByExtension(c.first);
    EXPECT_EQ(IO->Params->FileType, e ? e->FormatId : 0) << c.first;
  }
}

TEST_F(SaveDialogTest, OnlyIOAndViewComponentsAttach) {
  TSaveQuillotDialog d(nullptr);
  try {
    d.ShowDialog();
    ADD_FAILURE() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Cannot execute TSaveQuillotDialog with AttachedQuillotIO empty.");
  }
  d.SetAttachedQuillotIO(IO.get());
  d.SetAttachedQuillotIO(nullptr);
  TTimer unrelated(nullptr);
  d.SetAttachedQuillotIO(&unrelated);
  EXPECT_EQ(d.AttachedQuillotIO(), IO.get());
  {
    TQuillotIO other(static_cast<TComponent*>(nullptr));
    other.MsgLanguage = TMsgLanguage::msGerman;
    d.SetAttachedQuillotIO(&other);
    EXPECT_EQ(d.MsgLanguage, TMsgLanguage::msGerman);
  }
  // The attached component went away: the dialog forgets it.
  EXPECT_EQ(d.AttachedQuillotIO(), nullptr);
  TQuillotView view(nullptr);
  d.SetAttachedQuillotIO(&view);
  EXPECT_EQ(d.AttachedQuillotIO(), &view);
}

struct TShots : DialogsTest {
  using DialogsTest::ShotPath;
  static std::string Path(const std::string& N) { return ShotPath(N); }
};

// Runs the save dialog: types Name, clicks the advanced button, types Quality into the parameters
// dialog's quality field and confirms it, then ends the save dialog with EndKey.
bool SaveWithQuality(TSaveQuillotDialog& D, const std::string& Name, const std::string& Quality, uint16_t EndKey,
                     const std::string& Shot = "") {
  D.OnShow = [&, Quality, EndKey, Shot](TObject*) {
    TFileChooser* w = D.DialogWindow();
    TPoint p = FormPos(D.AdvancedButton);
    Headless::Click(w, p.X + 10, p.Y + 10);
    Headless::TypeToTop(Quality);
    Headless::KeyToTop(VK_RETURN);
    Headless::KeyToTop(EndKey);
    if (!Shot.empty()) {
      w->Repaint();
      Headless::SaveWindowPng(w, TShots::Path(Shot));
    }
  };
  Headless::TypeToTop(Name);
  return D.ShowDialog();
}

TEST_F(SaveDialogTest, CancelTakesBackTheAdvancedChoices) {
  IO->Params->JpegQuality = 80;
  TSaveQuillotDialog d(nullptr);
  d.SetAttachedQuillotIO(IO.get());
  d.SetInitialDir(Dir.string());
  d.SetFilterIndex(3);
  int32_t seen = 0;
  IO->OnIOPreview = [&](TObject*, TObject*) { seen = IO->Params->JpegQuality; };
  EXPECT_FALSE(SaveWithQuality(d, "cancelled", "30", VK_ESCAPE));
  EXPECT_EQ(seen, 80);
  EXPECT_EQ(IO->Params->JpegQuality, 80);
}

TEST_F(SaveDialogTest, JpegQualityChosenInTheDialogReachesTheFile) {
  std::map<std::string, uintmax_t> sizes;
  for (const char* q : {"30", "95"}) {
    TSaveQuillotDialog d(nullptr);
    d.SetAttachedQuillotIO(IO.get());
    d.SetInitialDir(Dir.string());
    d.SetFilterIndex(3);
    ASSERT_TRUE(SaveWithQuality(d, std::string("q") + q, q, VK_RETURN,
                                std::string("save_dialog_q") + q + ".png"));
    EXPECT_EQ(d.FileName(), (Dir / (std::string("q") + q + ".jpg")).string());
    EXPECT_EQ(IO->Params->JpegQuality, std::stoi(q));
    IO->Aborting = false;
    IO->SaveToFile(d.FileName());
    ASSERT_FALSE(IO->Aborting);
    sizes[q] = fs::file_size(d.FileName());
    if (HavePillow()) {
      EXPECT_EQ(Output("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + d.FileName() +
                       "'); im.load(); print(im.format, im.size)\""),
                "JPEG (96, 64)\n");
    }
  }
  EXPECT_LT(sizes["30"], sizes["95"]);
  if (!HavePillow()) GTEST_SKIP() << "Pillow is not installed: the files were not decoded elsewhere";
}

}  // namespace
