// Message boxes, the colour dialog and the file chooser, driven by keys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/dialogs.h"
#include "platform/ui/item_list.h"
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

// A long folder: the list shows a scroll bar, the wheel and the bar move it, and the button at the top
// goes to the parent folder.
TEST_F(ChooserTest, LongListScrollsByWheelAndBarAndTheUpButtonGoesToTheParent) {
  for (int i = 0; i < 40; ++i) std::ofstream(Dir / ("f" + std::to_string(100 + i) + ".png")) << "x";
  TOpenFileNameData d;
  d.InitialDir = Dir.string();
  d.Filter = "Pictures (*.png)|*.png";
  TFileChooser c(nullptr, d);
  ShowAt(&c, 520, 340);
  TItemList* list = nullptr;
  TControl* up = nullptr;
  for (int32_t i = 0; i < c.ControlCount(); ++i) {
    if (auto* l = dynamic_cast<TItemList*>(c.Controls(i))) list = l;
    if (c.Controls(i)->Top() < 8) up = c.Controls(i);
  }
  ASSERT_TRUE(list && up);
  ASSERT_EQ(c.Entries().size(), 43u);  // sub/, a.png, c.png and the 40
  EXPECT_TRUE(list->ScrollBarVisible(SB_VERT));
  TPoint in = Point(list->Left() + 40, list->Top() + 40);
  Headless::Wheel(&c, in.X, in.Y, -2);
  Application->ProcessMessages();
  EXPECT_EQ(list->TopIndex(), 6);
  // A click on the bar's lower arrow, then far below the thumb: a row, then a page on.
  TRect outer = Bounds(list->Left(), list->Top(), list->Width(), list->Height());
  Headless::Click(&c, outer.Right - 5, outer.Bottom - 5);
  Application->ProcessMessages();
  EXPECT_EQ(list->TopIndex(), 7);
  Headless::Click(&c, outer.Right - 5, outer.Bottom - 25);
  Application->ProcessMessages();
  EXPECT_EQ(list->TopIndex(), 7 + list->VisibleRows());
  // The end stops the wheel; the last row is whole.
  Headless::Wheel(&c, in.X, in.Y, -30);
  Application->ProcessMessages();
  EXPECT_EQ(list->TopIndex() + list->VisibleRows(), 43);
  // A row picked after scrolling is the one under the pointer.
  Headless::Click(&c, in.X, list->Top() + 2 + TItemList::kRowHeight / 2);
  Application->ProcessMessages();
  EXPECT_EQ(c.SelectedIndex(), list->TopIndex());
  TWinControl* focused = c.ActiveControl();
  Headless::Click(&c, up->Left() + up->Width() / 2, up->Top() + up->Height() / 2);
  Application->ProcessMessages();
  EXPECT_EQ(fs::path(c.Directory()), Dir.parent_path());
  EXPECT_EQ(c.ActiveControl(), focused);  // a tool button: typing goes on where it went
  c.Hide();
}

// "Files of type" drops down a list window of its own, whole on the screen, scrolled when long; a click
// picks, Escape closes only the list.
TEST_F(ChooserTest, TypeBoxDropsDownAListWindow) {
  TOpenFileNameData d;
  d.InitialDir = Dir.string();
  for (int i = 1; i <= 30; ++i) d.Filter += "Type " + std::to_string(i) + "|*.t" + std::to_string(i) + "|";
  d.Filter += "Pictures (*.png)|*.png";
  TFileChooser c(nullptr, d);
  c.SetPosition(TPosition::poDesigned);
  ShowAt(&c, 520, 340);
  TWinControl* box = nullptr;
  for (int32_t i = 0; i < c.ControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(c.Controls(i)); w && w->TabOrder() == 3) box = w;
  ASSERT_NE(box, nullptr);
  auto openList = [&] {
    Headless::Click(&c, box->Left() + 20, box->Top() + 10);
    Application->ProcessMessages();
    return TDropDownList::Current();
  };
  TDropDownList* l = openList();
  ASSERT_NE(l, nullptr);
  ASSERT_TRUE(l->IsOpen());
  EXPECT_EQ(l->HotIndex(), 0);
  EXPECT_EQ(l->Height(), TDropDownList::kMaxRows * TItemList::kRowHeight + 2);
  TRect scr = Application->Backend()->ScreenRect();
  TRect lr = l->BoundsRect(), whole;
  EXPECT_TRUE(IntersectRect(whole, lr, scr) && whole == lr);
  EXPECT_EQ(lr.Left, box->ClientToScreen(Point(0, 0)).X);
  // The list's rows scroll; End shows the last.
  Headless::Key(&c, VK_END);
  Application->ProcessMessages();
  EXPECT_EQ(l->HotIndex(), 30);
  Headless::Key(&c, VK_UP);
  Headless::Key(&c, VK_ESCAPE);
  Application->ProcessMessages();
  EXPECT_FALSE(l->IsOpen());
  EXPECT_TRUE(c.Showing());
  EXPECT_EQ(c.ModalResult(), mrNone);
  EXPECT_EQ(c.TypeIndex(), 1);
  // The labels' Alt keys lead back to the name field and to the types.
  Headless::Key(&c, 'N', TShiftState(ssAlt));
  Application->ProcessMessages();
  EXPECT_TRUE(c.NameEdit()->Focused());
  Headless::Key(&c, 'T', TShiftState(ssAlt));
  Application->ProcessMessages();
  EXPECT_TRUE(box->Focused());
  // Opened again, a click on the second row picks it; a click elsewhere only closes the list.
  l = openList();
  ASSERT_TRUE(l && l->IsOpen());
  Headless::Click(l, 20, TItemList::kRowHeight + 8);
  Application->ProcessMessages();
  EXPECT_FALSE(l->IsOpen());
  EXPECT_EQ(c.TypeIndex(), 2);
  l = openList();
  ASSERT_TRUE(l && l->IsOpen());
  Headless::Click(&c, 300, 10);
  Application->ProcessMessages();
  EXPECT_FALSE(l->IsOpen());
  // A click on the box of an open list closes it, as a second click on a drop-down's button does.
  l = openList();
  ASSERT_TRUE(l && l->IsOpen());
  EXPECT_EQ(openList(), nullptr);
  EXPECT_EQ(c.TypeIndex(), 2);
  c.Hide();
}

}  // namespace
