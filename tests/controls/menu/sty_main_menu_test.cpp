// The styled main menu: its stylers, its handlers on every item and the Window list of a frame.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/menu/sty_fantasy.h"
#include "controls/menu/sty_main_menu.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/mdi.h"
#include "platform/ui/messages.h"
#include "platform/ui/published.h"

using namespace StyMenus;

namespace {

class StyMainMenuTest : public ::testing::Test {
 protected:
  void SetUp() override { Headless::Use(); }
  void TearDown() override { Application->ProcessMessages(); }
};

TMenuItem* AddItem(TComponent* Owner, TMenuItem* Parent, const std::string& Caption) {
  auto* I = new TMenuItem(Owner);
  I->SetCaption(Caption);
  Parent->Add(I);
  return I;
}

TEST_F(StyMainMenuTest, InternalStylerStandsInForAMissingOne) {
  TForm F(nullptr);
  auto* M = new TStyMainMenu(&F);
  EXPECT_TRUE(M->OwnerDraw());
  EXPECT_EQ(M->MenuStyler(), nullptr);
  ASSERT_NE(M->GetActiveStyler(), nullptr);
  EXPECT_EQ(M->GetActiveStyler()->Name(), "InternalMenuStyler");
  EXPECT_EQ(M->GetMarker(), 255);

  auto* S = new TStyMenuFantasyStyler(&F);
  M->SetMenuStyler(S);
  EXPECT_EQ(M->GetActiveStyler(), S);
  EXPECT_EQ(S->Menu(), M);
  EXPECT_EQ(S->IconBar()->Menu(), M);
  EXPECT_EQ(M->FindComponent("InternalMenuStyler"), nullptr);
  M->SetMenuStyler(S);  // the same value again changes nothing
  EXPECT_EQ(M->GetActiveStyler(), S);
  EXPECT_EQ(M->FindComponent("InternalMenuStyler"), nullptr);

  // Clearing falls back to a new internal styler; the old styler forgets the menu.
  M->SetMenuStyler(nullptr);
  ASSERT_NE(M->GetActiveStyler(), nullptr);
  EXPECT_EQ(M->GetActiveStyler()->Name(), "InternalMenuStyler");
  EXPECT_EQ(S->Menu(), nullptr);

  // A styler freed while in use also leaves an internal one behind.
  M->SetMenuStyler(S);
  delete S;
  ASSERT_NE(M->GetActiveStyler(), nullptr);
  EXPECT_EQ(M->GetActiveStyler()->Name(), "InternalMenuStyler");
  EXPECT_EQ(M->MenuStyler(), nullptr);
}

TEST_F(StyMainMenuTest, AStylerOutlivingItsMenuIsLetGo) {
  TStyMenuFantasyStyler S(nullptr);
  {
    TForm F(nullptr);
    auto* M = new TStyMainMenu(&F);
    M->SetMenuStyler(&S);
    EXPECT_EQ(S.Menu(), M);
  }
  EXPECT_EQ(S.Menu(), nullptr);
  EXPECT_EQ(S.RootItem()->Menu(), nullptr);
  // Writes that would refresh a menu now reach none.
  S.SideBar()->SetVisible(true);
  S.RootItem()->SetSelectedColor(2, clRed);
  S.SetStyle(TFantasyStyle::fsMacOS);
}

TEST_F(StyMainMenuTest, FormFreesAStylerMadeAfterItsMenu) {
  auto* F = new TForm(nullptr);
  auto* M = new TStyMainMenu(F);
  auto* S = new TStyMenuStyler(F);
  M->SetMenuStyler(S);
  delete F;  // the styler goes first; the menu must not reach it afterwards
  SUCCEED();
}

TEST_F(StyMainMenuTest, VersionReadsTwoZeroZeroZero) {
  TStyMainMenu M(nullptr);
  EXPECT_EQ(M.Version(), "2.0.0.0");
  M.SetVersion("9.9");
  EXPECT_EQ(M.Version(), "2.0.0.0");
  // Written by name, as a form or language file would.
  const TPropInfo* P = GetPropInfo(&M, "Version");
  ASSERT_NE(P, nullptr);
  P->SetStr(&M, "1.0");
  EXPECT_EQ(P->GetStr(&M), "2.0.0.0");
  TStyMenuFantasyStyler S(nullptr);
  const TPropInfo* B = GetPropInfo(&S, "MenuBorderColor");
  ASSERT_NE(B, nullptr);
  B->SetOrd(&S, clRed);
  EXPECT_EQ(S.MenuBorderColor(), clRed);
  EXPECT_EQ(M.GetVersionNumber(), 0x02000000u);
}

TEST_F(StyMainMenuTest, LoadingHooksEveryItemAndUpdatesHookNewOnes) {
  TForm F(nullptr);
  auto* M = new TStyMainMenu(&F);
  M->BeginLoading();
  TMenuItem* File = AddItem(&F, M->Items(), "&File");
  TMenuItem* Open = AddItem(&F, File, "&Open");
  bool Own = false;
  Open->OnAdvancedDrawItem = [&](TObject*, TCanvas*, const TRect&, TOwnerDrawState) { Own = true; };
  EXPECT_FALSE(File->OnMeasureItem);
  M->EndLoading();
  EXPECT_TRUE(File->OnMeasureItem);
  EXPECT_TRUE(File->OnAdvancedDrawItem);
  EXPECT_TRUE(Open->OnMeasureItem);
  // Forced: the menu's own painter replaces any other.
  TBitmap B(50, 20, TPixelFormat::pf32bit);
  Open->OnAdvancedDrawItem(Open, B.Canvas(), TRect(0, 0, 50, 20), {});
  EXPECT_FALSE(Own);
  // Items added outside an update stay plain; inside one they get the painters at once.
  TMenuItem* Late = AddItem(&F, File, "Late");
  EXPECT_FALSE(Late->OnMeasureItem);
  M->BeginItemUpdate();
  TMenuItem* New = AddItem(&F, File, "New");
  New->SetCaption("New!");
  EXPECT_TRUE(New->OnMeasureItem);
  M->EndItemUpdate();
  EXPECT_TRUE(Late->OnMeasureItem);
  EXPECT_EQ(GetMenuHost(New), M);
  TMainMenu Plain(nullptr);
  TMenuItem* P = AddItem(&Plain, Plain.Items(), "x");
  EXPECT_EQ(GetMenuHost(P), nullptr);
}

// A frame with a Window menu and three children named b, a and a.
struct TFrame {
  TMDIForm Form{nullptr};
  TStyMainMenu* Menu;
  TMenuItem* Window;
  std::vector<TMDIChildForm*> Children;
  TFrame() {
    Menu = new TStyMainMenu(&Form);
    Window = AddItem(&Form, Menu->Items(), "&Window");
    AddItem(&Form, Window, "&Tile");
    Form.SetWindowMenu(Window);
    Form.SetMenu(Menu);
    for (const char* C : {"b", "a", "a"}) {
      auto* Child = new TMDIChildForm(&Form, &Form);
      Child->SetCaption(C);
      Children.push_back(Child);
    }
    Menu->Refresh(false);
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> v;
    for (int32_t i = 0; i < Window->Count(); ++i) v.push_back(Window->Items(i)->Caption());
    return v;
  }
};

TEST_F(StyMainMenuTest, WindowListNamesTheChildrenInOrderAndMarksTheActiveOne) {
  TFrame Fr;
  TMDIClient* Client = Fr.Form.ClientWindow();
  ASSERT_EQ(Fr.Menu->HookedClient(), Client);
  Client->Perform(WM_MDIACTIVATE, Fr.Children[0]->Handle(), 0);
  EXPECT_NE(Client->Perform(WM_MDIREFRESHMENU, 0, 0), 0);
  EXPECT_EQ(Fr.Captions(), (std::vector<std::string>{"&Tile", "-", "1 a", "2 a", "3 b"}));
  EXPECT_EQ(Fr.Window->Items(1)->ShortCut(), 0xABCD);
  for (int32_t i = 2; i < 5; ++i) {
    TMenuItem* It = Fr.Window->Items(i);
    EXPECT_TRUE(It->RadioItem());
    EXPECT_EQ(It->GroupIndex(), 205);
    EXPECT_EQ(It->Checked(), i == 4) << It->Caption();
    EXPECT_TRUE(It->OnMeasureItem);
  }
  // A second rebuild keeps the marker and replaces what follows it.
  Fr.Children[2]->SetCaption("c");
  Client->Perform(WM_MDIREFRESHMENU, 0, 0);
  EXPECT_EQ(Fr.Captions(), (std::vector<std::string>{"&Tile", "-", "1 a", "2 b", "3 c"}));

  // Choosing an entry activates its child and moves the mark.
  Fr.Window->Items(4)->Click();
  EXPECT_EQ(Fr.Form.ActiveMDIChild(), Fr.Children[2]);
  EXPECT_TRUE(Fr.Window->Items(4)->Checked());
  EXPECT_FALSE(Fr.Window->Items(3)->Checked());
}

TEST_F(StyMainMenuTest, WindowListAnswersNothingWithoutAWindowMenu) {
  TFrame Fr;
  Fr.Form.SetWindowMenu(nullptr);
  EXPECT_EQ(Fr.Form.ClientWindow()->Perform(WM_MDIREFRESHMENU, 0, 0), 0);
  EXPECT_EQ(Fr.Captions(), (std::vector<std::string>{"&Tile"}));
}

TEST_F(StyMainMenuTest, DestroyingTheMenuGivesTheClientItsProcedureBack) {
  TFrame Fr;
  TMDIClient* Client = Fr.Form.ClientWindow();
  int Seen = 0;
  // A procedure some other code installed before the menu hooked the client.
  delete Fr.Menu;
  Client->WindowProc = [&](TMessage& M) {
    ++Seen;
    M.Result = 0;
  };
  Fr.Menu = new TStyMainMenu(&Fr.Form);
  Fr.Form.SetMenu(Fr.Menu);
  Fr.Menu->Refresh(false);
  ASSERT_EQ(Fr.Menu->HookedClient(), Client);
  Client->Perform(WM_MDIGETACTIVE, 0, 0);
  EXPECT_EQ(Seen, 1);  // everything but the refresh goes on to it
  delete Fr.Menu;
  Client->Perform(WM_MDIREFRESHMENU, 0, 0);
  EXPECT_EQ(Seen, 2);
}

TEST_F(StyMainMenuTest, OrdinaryFormsGetNoHook) {
  TForm F(nullptr);
  auto* M = new TStyMainMenu(&F);
  F.SetMenu(M);
  M->Refresh(true);
  EXPECT_EQ(M->HookedClient(), nullptr);
  EXPECT_EQ(M->MdiClientWindow(), nullptr);
  EXPECT_EQ(M->RebuildWindowList(), 0);
  // A child's menu follows its frame's client.
  TFrame Fr;
  auto* ChildMenu = new TStyMainMenu(Fr.Children[0]);
  EXPECT_EQ(ChildMenu->MdiClientWindow(), Fr.Form.ClientWindow());
}

}  // namespace
