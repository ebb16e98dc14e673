// Message boxes, the colour dialog and the file chooser, driven by keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/dialogs.h"
#include "platform/ui/std_ctrls.h"
#include "tests/platform/ui/ui_fixture.h"

namespace fs = std::filesystem;

namespace {

class ChooserTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    Dir = fs::temp_directory_path() / ("qv_chooser_" + std::to_string(::getpid()));
    fs::remove_all(Dir);
    fs::create_directories(Dir / "sub");
    for (const char* n : {"a.png", "b.jpg", "c.png", "sub/d.png"}) std::ofstream(Dir / n) << "x";
  }
  void TearDown() override {
    fs::remove_all(Dir);
    UiTest::TearDown();
  }
  fs::path Dir;
};

TEST_F(UiTest, MessageBoxAnswersByKeys) {
  // Enter takes the default button, Escape the cancel one, Tab moves between buttons.
  Headless::KeyToTop(VK_RETURN);
  EXPECT_EQ(MessageBox(0, "Replace?", "Q", MB_YESNOCANCEL | MB_ICONQUESTION), IDYES);
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_EQ(MessageBox(0, "Replace?", "Q", MB_YESNOCANCEL), IDCANCEL);
  Headless::KeyToTop(VK_TAB);
  Headless::KeyToTop(VK_RETURN);
  EXPECT_EQ(MessageBox(0, "Replace?", "Q", MB_YESNO), IDNO);
  Headless::KeyToTop('N', {ssAlt});
  EXPECT_EQ(MessageDlg("Go?", TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}), mrNo);
  // An OK-only box closes with Escape too.
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_EQ(MessageBox(0, "Done", "Info", MB_OK | MB_ICONINFORMATION), IDOK);
}

TEST_F(UiTest, DefaultExceptionHandlerShowsTheMessageAndGoesOn) {
  std::string text;
  MessageBoxHook = [&](const std::string& T, const std::string&, uint32_t) {
    text = T;
    return IDOK;
  };
  Application->HandleException(nullptr, Exception("Can not open file"));
  MessageBoxHook = nullptr;
  EXPECT_EQ(text, "Can not open file.");
}

TEST_F(UiTest, ColorDialogPicksByArrowsAndEnter) {
  TColorDialog d(nullptr);
  d.SetColor(0x8080FF);  // first cell
  Headless::KeyToTop(VK_RIGHT);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  ASSERT_TRUE(d.Execute());
  EXPECT_EQ(d.Color(), 0x00FFFF);  // row 2, column 2
  Headless::KeyToTop(VK_RIGHT);
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.Color(), 0x00FFFF);
}

TEST_F(ChooserTest, OpensWithTheNameFieldFocusedAndAcceptsATypedFullPath) {
  TOpenFileNameData d;
  d.InitialDir = Dir.string();
  d.Filter = "Pictures (*.png)|*.png|All files (*.*)|*.*";
  d.Flags = OFN_FILEMUSTEXIST;
  std::vector<int32_t> notes;
  bool focusedOnInit = false;
  d.Hook = [&](TFileChooser* c, TMessage& M) {
    if (M.Msg == WM_NOTIFY) {
      auto* n = reinterpret_cast<TOFNotify*>(M.LParam);
      notes.push_back(n->Code);
      if (n->Code == CDN_INITDONE) focusedOnInit = c->NameEdit()->Focused();
    }
    return false;
  };
  Headless::TypeToTop((Dir / "c.png").string());
  Headless::KeyToTop(VK_RETURN);
  ASSERT_TRUE(RunFileChooser(d));
  EXPECT_EQ(d.FileName, (Dir / "c.png").string());
  EXPECT_EQ(d.FilterIndex, 1);
  EXPECT_TRUE(focusedOnInit);
  EXPECT_EQ(notes.front(), CDN_INITDONE);
  EXPECT_EQ(notes.back(), CDN_FILEOK);
}

TEST_F(ChooserTest, ArrowsBackspaceAndTypeFilterNavigate) {
  TOpenFileNameData d;
  d.InitialDir = Dir.string();
  d.Filter = "Pictures (*.png)|*.png|All files (*.*)|*.*";
  std::vector<std::string> seen;
  int folderChanges = 0, typeChanges = 0;
  d.Hook = [&](TFileChooser* c, TMessage& M) {
    if (M.Msg != WM_NOTIFY) return false;
    auto* n = reinterpret_cast<TOFNotify*>(M.LParam);
    if (n->Code == CDN_INITDONE) seen = c->Entries();
    if (n->Code == CDN_FOLDERCHANGE) ++folderChanges;
    if (n->Code == CDN_TYPECHANGE) ++typeChanges;
    return false;
  };
  // Entries: "sub/", "a.png", "c.png". Down onto sub/, Enter opens it, Backspace (empty name) goes
  // back, Down Down selects a.png, Enter accepts it.
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  Headless::KeyToTop(VK_BACK);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_RETURN);
  ASSERT_TRUE(RunFileChooser(d));
  EXPECT_EQ(seen, (std::vector<std::string>{"sub/", "a.png", "c.png"}));
  EXPECT_EQ(folderChanges, 2);
  EXPECT_EQ(d.FileName, (Dir / "a.png").string());

  // The type box: Tab from the name field to OK, Cancel, then the types; Down shows every file.
  TOpenFileNameData d2;
  d2.InitialDir = Dir.string();
  d2.Filter = d.Filter;
  d2.Hook = [&](TFileChooser* c, TMessage& M) {
    if (M.Msg == WM_NOTIFY && reinterpret_cast<TOFNotify*>(M.LParam)->Code == CDN_TYPECHANGE) {
      ++typeChanges;
      seen = c->Entries();
    }
    return false;
  };
  for (int i = 0; i < 3; ++i) Headless::KeyToTop(VK_TAB);
  Headless::KeyToTop(VK_DOWN);
  Headless::KeyToTop(VK_ESCAPE);
  EXPECT_FALSE(RunFileChooser(d2));
  EXPECT_EQ(typeChanges, 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"sub/", "a.png", "b.jpg", "c.png"}));
}

TEST_F(ChooserTest, FileOkVetoAndOverwritePrompt) {
  TOpenFileNameData d;
  d.Save = true;
  d.InitialDir = Dir.string();
  d.Filter = "PNG (*.png)|*.png";
  d.DefaultExt = "png";
  d.Flags = OFN_OVERWRITEPROMPT;
  int vetoes = 0;
  d.Hook = [&](TFileChooser* c, TMessage& M) {
    if (M.Msg == WM_NOTIFY && reinterpret_cast<TOFNotify*>(M.LParam)->Code == CDN_FILEOK && vetoes++ == 0) {
      M.Result = 1;  // keep the chooser open once
      return true;
    }
    return false;
  };
  std::vector<std::string> asked;
  MessageBoxHook = [&](const std::string& T, const std::string&, uint32_t) {
    asked.push_back(T);
    return asked.size() == 1 ? IDNO : IDYES;
  };
  Headless::TypeToTop("new");
  Headless::KeyToTop(VK_RETURN);  // vetoed by the hook
  Headless::KeyToTop(VK_RETURN);  // accepted: new.png
  ASSERT_TRUE(RunFileChooser(d));
  EXPECT_EQ(d.FileName, (Dir / "new.png").string());
  EXPECT_TRUE(asked.empty());
  // An existing name asks first; No keeps the chooser open, Yes accepts.
  TOpenFileNameData e = d;
  e.Hook = nullptr;
  e.FileName = "a";
  Headless::KeyToTop(VK_RETURN);
  Headless::KeyToTop(VK_RETURN);
  ASSERT_TRUE(RunFileChooser(e));
  MessageBoxHook = nullptr;
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(e.FileName, (Dir / "a.png").string());
}

}  // namespace
