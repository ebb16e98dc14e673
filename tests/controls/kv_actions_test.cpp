// Actions driving the controls that show them: check boxes, tool buttons, menu items and the
// status pane's hint.
#include <string>
#include <vector>

#include "controls/kv_action_links.h"
#include "controls/kv_checks.h"
#include "controls/kv_labels.h"
#include "controls/kv_status.h"
#include "controls/kv_tool_button.h"
#include "kv_fixture.h"
#include "platform/ui/actions.h"
#include "platform/ui/menus.h"

namespace {

class KvActionTest : public KvTest {
 protected:
  void SetUp() override {
    KvTest::SetUp();
    Act = new TAction(Form.get());
    Act->SetCaption("Mirror");
    Act->SetHint("Mirror the picture");
    Act->SetAutoCheck(true);
    Act->OnExecute = [this](TObject*) { Log.push_back("execute " + std::to_string(Act->Checked())); };
    Box = Add<TKvCheckBox>(10, 10, 120, 20);
    Box->OnClick = nullptr;
    Tool = Add<TKvToolButton>(10, 40, 25, 25);
    Tool->SetGroupIndex(1);
    Tool->SetAllowAllUp(true);
    Menu = new TMainMenu(Form.get());
    Item = new TMenuItem(Form.get());
    Menu->Items()->Add(Item);
    Box->SetAction(Act);
    Tool->SetAction(Act);
    Item->SetAction(Act);
  }
  TAction* Act = nullptr;
  TKvCheckBox* Box = nullptr;
  TKvToolButton* Tool = nullptr;
  TMainMenu* Menu = nullptr;
  TMenuItem* Item = nullptr;
  std::vector<std::string> Log;
};

TEST_F(KvActionTest, OneActionKeepsCheckBoxToolButtonAndMenuItemInStep) {
  // Linking takes the action's caption and hint at once.
  EXPECT_EQ(Box->Caption(), "Mirror");
  EXPECT_EQ(Tool->Caption(), "Mirror");
  EXPECT_EQ(Item->Caption(), "Mirror");
  EXPECT_EQ(Tool->Hint(), "Mirror the picture");

  // The program checks the action: all three follow, and nothing runs the action again.
  Act->SetChecked(true);
  EXPECT_TRUE(Box->Checked());
  EXPECT_TRUE(Tool->Down());
  EXPECT_TRUE(Item->Checked());
  EXPECT_TRUE(Log.empty());

  Act->SetImageIndex(3);
  EXPECT_EQ(Tool->ImageIndex(), 3);
  EXPECT_EQ(Item->ImageIndex(), 3);
  Act->SetCaption("Flip");
  EXPECT_EQ(Box->Caption(), "Flip");
  EXPECT_EQ(Item->Caption(), "Flip");
  Act->SetEnabled(false);
  EXPECT_FALSE(Box->Enabled());
  EXPECT_FALSE(Tool->Enabled());
  EXPECT_FALSE(Item->Enabled());
  Act->SetEnabled(true);

  // A click on any client runs the action once; the auto-check moves every client.
  ShowForm();
  Headless::Click(Form.get(), 20, 20);  // the check box
  Application->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"execute 0"}));
  EXPECT_FALSE(Box->Checked());
  EXPECT_FALSE(Tool->Down());
  EXPECT_FALSE(Item->Checked());

  Item->Click();
  EXPECT_EQ(Log.back(), "execute 1");
  EXPECT_TRUE(Box->Checked());
  EXPECT_TRUE(Tool->Down());

  Headless::Click(Form.get(), 20, 50);  // the tool button
  Application->ProcessMessages();
  EXPECT_EQ(Log.size(), 3u);
  EXPECT_FALSE(Act->Checked());
  EXPECT_FALSE(Item->Checked());
  EXPECT_FALSE(Box->Checked());
}

TEST_F(KvActionTest, DisabledActionRunsNothingAndFreedActionLeavesClientsAlone) {
  // Every change of the action reaches every client, also one the program had set apart.
  Box->SetCaption("Own");
  Act->SetCaption("Other");
  EXPECT_EQ(Box->Caption(), "Other");
  EXPECT_EQ(Item->Caption(), "Other");
  // A disabled action runs nothing.
  Act->SetEnabled(false);
  EXPECT_FALSE(Act->Execute());
  EXPECT_TRUE(Log.empty());
  Act->SetEnabled(true);
  delete Act;
  Act = nullptr;
  EXPECT_EQ(Box->Action(), nullptr);
  EXPECT_EQ(Item->Action(), nullptr);
  EXPECT_EQ(Item->Caption(), "Other");
  Item->Click();  // no action, no handler: nothing happens
  EXPECT_TRUE(Log.empty());
}

TEST_F(KvActionTest, OwnClickHandlerWinsAndCheckBoxOnClickIsQuietForLinkWrites) {
  int clicks = 0;
  Box->OnClick = [&](TObject*) { ++clicks; };
  Act->SetChecked(true);
  EXPECT_EQ(clicks, 0);
  Box->SetChecked(false);  // a program write of its own fires OnClick as always
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Log.empty());
}

TEST(KvActionLinks, CheckedLinkNeedsAGlyphButton) {
  TKvLabel Label(nullptr);
  EXPECT_THROW(TKvCheckedActionLink Link(&Label), EInvalidCast);
}

TEST_F(KvActionTest, ToolButtonAssignedToActionGivesItsState) {
  auto* Other = new TAction(Form.get());
  Tool->SetAction(nullptr);
  Tool->SetDown(false);
  Tool->SetImageIndex(5);
  Tool->SetCaption("Tool");
  Other->Assign(Tool);
  EXPECT_EQ(Other->ImageIndex(), 5);
  EXPECT_EQ(Other->Caption(), "Tool");
  EXPECT_FALSE(Other->Checked());
}

TEST_F(KvTest, StatusPaneWithAutoHintShowsTheApplicationsHint) {
  auto* Bar = Add<TKvStatusBar>(0, 200, 320, 20);
  auto* Pane = new TKvStatusPane(Form.get());
  Pane->SetParent(Bar);
  Pane->SetBounds(0, 0, 200, 20);
  auto* Quiet = new TKvStatusPane(Form.get());
  Quiet->SetParent(Bar);
  Quiet->SetBounds(200, 0, 100, 20);
  Quiet->SetAutoHint(true);
  Pane->SetAutoHint(true);
  Quiet->SetAutoHint(false);
  ShowForm();
  Application->SetHint("Opens a picture");
  EXPECT_EQ(Pane->Caption(), "Opens a picture");
  EXPECT_EQ(Quiet->Caption(), "");
  // The application's own handler takes the hint instead.
  Application->OnHint = [](TObject*) {};
  Application->SetHint("Saves it");
  EXPECT_EQ(Pane->Caption(), "Opens a picture");
  Application->OnHint = nullptr;
  Application->SetHint("");
}

}  // namespace
