// The common dialog base: the chooser's messages reach the component, the caller's floating-point mode
// survives, an exception from the chooser passes after clean-up, and help is asked only with a topic.
#include <gtest/gtest.h>

#include <cfenv>
#include <stdexcept>

#include "imaging/dialogs/dialog_controls.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/foundation/helpers.h"
#include "dialogs_fixture.h"

namespace {

using namespace qvdlg;

class CommonDialogTest : public DialogsTest {};

TEST_F(CommonDialogTest, TheChoosersMessagesReachTheComponent) {
  TOpenQuillotDialog d(nullptr);
  d.SetInitialDir(Dir.string());
  int shows = 0, closes = 0;
  bool windowWhileShown = false;
  d.OnShow = [&](TObject*) {
    ++shows;
    windowWhileShown = d.DialogWindow() != nullptr;
  };
  d.OnClose = [&](TObject*) { ++closes; };
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(d.ShowDialog());
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(windowWhileShown);
  EXPECT_EQ(d.DialogWindow(), nullptr);  // idle again
}

TEST_F(CommonDialogTest, FloatingPointModeAndExceptionsOfTheChooser) {
  TOpenQuillotDialog d(nullptr);
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  d.DialogFunction = [](TOpenFileNameData&) {
    std::fesetround(FE_UPWARD);
    return false;
  };
  d.ShowDialog();
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
  // A chooser that fails: the exception reaches the caller, the dialog is idle and usable again.
  d.DialogFunction = [](TOpenFileNameData&) -> bool {
    std::fesetround(FE_DOWNWARD);
    throw std::runtime_error("chooser failed");
  };
  EXPECT_THROW(d.ShowDialog(), std::runtime_error);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
  EXPECT_EQ(d.DialogWindow(), nullptr);
  d.DialogFunction = [](TOpenFileNameData& D) {
    D.FileName = "/x/y.png";
    return true;
  };
  EXPECT_TRUE(d.ShowDialog());
}

TEST_F(CommonDialogTest, HelpIsAskedOnlyWithATopic) {
  TOpenQuillotDialog d(nullptr);
  int32_t asked = -1;
  QxShowHelpTopic = [&](int32_t Topic) { asked = Topic; };
  TMessage m;
  m.Msg = QX_COMMDLG_HELP;
  EXPECT_FALSE(d.HandleHelpMessage(m));
  EXPECT_EQ(asked, -1);
  d.HelpContext = 12;
  EXPECT_TRUE(d.HandleHelpMessage(m));
  EXPECT_EQ(asked, 12);
  m.Msg = WM_USER;
  EXPECT_FALSE(d.HandleHelpMessage(m));
  QxShowHelpTopic = nullptr;
}

TEST_F(CommonDialogTest, ThePreviewWindowShowsThePictureAndEscapeClosesIt) {
  std::string path = WritePicture("seen.png", 50, 40, -1);
  TOpenQuillotDialog d(nullptr);
  d.SetInitialDir(Dir.string());
  bool opened = false;
  d.OnSelectionChange = [&](TObject*) {
    if (opened) return;
    opened = true;
    TPoint p = FormPos(d.PreviewButton);
    Headless::Click(d.DialogWindow(), p.X + 5, p.Y + 5);  // the preview window
    Headless::KeyToTop(VK_ESCAPE);                        // closes it
    Headless::KeyToTop(VK_RETURN);                        // accepts the file
  };
  Headless::TypeToTop(path);
  ASSERT_TRUE(d.ShowDialog());
  EXPECT_TRUE(opened);
  EXPECT_EQ(d.FileName(), path);
}

}  // namespace

namespace {
std::vector<uintptr_t> GCentred;
}  // namespace

// The library centres the chooser: an old-style one when it starts, an explorer-style one once it says
// it is complete; either way once, on the chooser's own window.
TEST_F(CommonDialogTest, TheChooserIsCentredByTheLibraryOnce) {
  for (const bool old : {false, true}) {
    SCOPED_TRACE(old ? "old style" : "explorer style");
    GCentred.clear();
    QxCenterWindowHook = [](uintptr_t Handle) { GCentred.push_back(Handle); };
    TOpenQuillotDialog d(nullptr);
    d.SetInitialDir(Dir.string());
    if (old) d.Options.Include(TOpenOption::ofOldStyleDialog);
    uintptr_t window = 0;
    d.OnShow = [&](TObject*) { window = d.DialogWindow()->Handle(); };
    Headless::KeyToTop(VK_ESCAPE);
    EXPECT_FALSE(d.ShowDialog());
    QxCenterWindowHook = nullptr;
    ASSERT_EQ(GCentred.size(), 1u);
    EXPECT_EQ(GCentred[0], window);
  }
}

