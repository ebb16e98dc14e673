// Measuring and painting of styled items, the side bar, and the shape and place of popups.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/menu/sty_fantasy.h"
#include "controls/menu/sty_main_menu.h"
#include "controls/menu/sty_menu_draw.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/actions.h"
#include "platform/ui/imglist.h"
#include "platform/ui/mdi.h"
#include "platform/ui/timer.h"

using namespace StyMenus;

namespace {

TMenuItem* AddItem(TComponent* Owner, TMenuItem* Parent, const std::string& Caption) {
  auto* I = new TMenuItem(Owner);
  I->SetCaption(Caption);
  Parent->Add(I);
  return I;
}

// A form whose styled menu has a File drop-down with a check item, a sub-menu, a separator and a
// disabled item, and a Help item.
struct TMenuForm {
  TForm Form{nullptr};
  TStyMainMenu* Menu;
  TStyMenuFantasyStyler* Styler;
  TMenuItem *File, *Check, *Sub, *SubA, *SubB, *Sep, *Off, *Help, *About;
  explicit TMenuForm(TFantasyStyle Style = TFantasyStyle::fsCustom) {
    Styler = new TStyMenuFantasyStyler(&Form);
    Styler->SetStyle(Style);
    Menu = new TStyMainMenu(&Form);
    Menu->BeginLoading();
    Menu->SetMenuStyler(Styler);
    File = AddItem(&Form, Menu->Items(), "&File");
    Check = AddItem(&Form, File, "&Check");
    Check->SetChecked(true);
    Check->SetShortCut(ShortCut('K', {ssCtrl}));
    Sub = AddItem(&Form, File, "&Sub");
    SubA = AddItem(&Form, Sub, "Alpha");
    SubB = AddItem(&Form, Sub, "Beta");
    Sep = AddItem(&Form, File, "-");
    Off = AddItem(&Form, File, "&Off");
    Off->SetEnabled(false);
    Help = AddItem(&Form, Menu->Items(), "&Help");
    About = AddItem(&Form, Help, "&About");
    Menu->EndLoading();
    Form.SetMenu(Menu);
  }
};

class StyMenuDrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    UseTestUiClock(true);
  }
  void TearDown() override {
    Application->OnIdle = nullptr;
    Application->ProcessMessages();
    UseTestUiClock(false);
    SetTestFontMode(false);
  }
  static std::vector<TCustomForm*> Popups() { return MenuPopupForms(); }
  static void Steps(const std::vector<std::function<void()>>& List) {
    EXPECT_EQ(Headless::WhileMenuOpen(List), List.size());
  }
  static void Save(TCustomForm* F, const std::string& Name) {
    std::filesystem::create_directories("screenshots");
    EXPECT_TRUE(Headless::SaveWindowPng(F, "screenshots/" + Name));
  }
};

TEST_F(StyMenuDrawTest, PopupItemsAreMeasuredFromTheirTextAndTheIconBar) {
  SetTestFontMode(true);
  TMenuForm M;
  TBitmap B(10, 10, TPixelFormat::pf32bit);
  TCanvas* C = B.Canvas();
  C->Font()->Assign(*Screen->MenuFont());
  auto Measure = [&](TMenuItem* It, int32_t H0) {
    int32_t W = 0, H = H0;
    MeasureStyledItem(It, C, W, H, SideBarShown(It));
    return std::pair<int32_t, int32_t>(W, H);
  };
  auto TextW = [&](const std::string& S) {
    TRect R(0, 0, 0, 0);
    DrawText(C, S, R, DT_CALCRECT | DT_SINGLELINE);
    return R.Right;
  };
  // No image, the system font: incoming height - 3 + 5, raised to even; icon bar + 15 + text + 7 + 17.
  auto [w, h] = Measure(M.Check, 19);
  EXPECT_EQ(h, 22);
  EXPECT_EQ(w, 24 + 15 + TextW("&CheckCtrl+K") + 7 + 17);
  EXPECT_EQ(Measure(M.Check, 20).second, 22);
  // A line item is the separator's width + 2 high.
  EXPECT_EQ(Measure(M.Sep, 19).second, 3);
  M.Styler->Separator()->SetWidth(4);
  EXPECT_EQ(Measure(M.Sep, 19).second, 6);
  // With the styler's own font every height is the text height + 6 (popups even).
  int32_t th = C->TextHeight("Wg");
  M.Styler->SetUseSystemFont(false);
  EXPECT_EQ(Measure(M.Check, 19).second, ((th + 6 + 1) / 2) * 2);
  EXPECT_EQ(Measure(M.File, 19).second, th + 6);
  M.Styler->SetUseSystemFont(true);
  // The Windows key: "Win+" in the text and its width once more.
  M.Check->SetShortCut(ShortCut('K', {ssCtrl}) | 0x200);
  EXPECT_EQ(MenuShortCutText(M.Check->ShortCut()), "Win+Ctrl+K");
  EXPECT_EQ(Measure(M.Check, 19).first, 24 + 15 + TextW("&CheckWin+Ctrl+K") + 7 + TextW("Win+") + 17);
  // The side bar widens the items of its drop-down, not those after a column break.
  M.Check->SetShortCut(0);
  int32_t plain = Measure(M.Check, 19).first;
  M.Styler->SideBar()->SetVisible(true);
  EXPECT_EQ(Measure(M.Check, 19).first, plain + 24 + 1);
  EXPECT_FALSE(SideBarShown(M.About));  // not the first drop-down
  M.Sub->SetBreak(true);
  EXPECT_EQ(Measure(M.Off, 19).first, 24 + 15 + TextW("&Off") + 7 + 17);
  // Bar items: the text alone, as high as a bar button.
  EXPECT_EQ(Measure(M.File, 19).first, TextW("&File"));
}

TEST_F(StyMenuDrawTest, PredicatesOfPlace) {
  TMenuForm M;
  EXPECT_TRUE(IsRootItem(M.File));
  EXPECT_FALSE(IsRootItem(M.Check));
  EXPECT_TRUE(IsTopLevelItem(M.Help));
  EXPECT_TRUE(IsFirstLevelItem(M.Check));
  EXPECT_FALSE(IsFirstLevelItem(M.SubA));
  EXPECT_TRUE(InFirstVisibleDropDown(M.Off));
  EXPECT_FALSE(InFirstVisibleDropDown(M.About));
  EXPECT_TRUE(IsFirstVisibleItem(M.Check));
  M.Check->SetVisible(false);
  EXPECT_TRUE(IsFirstVisibleItem(M.Sub));
  EXPECT_TRUE(IsLastBarItem(M.Help));
  EXPECT_FALSE(IsLastBarItem(M.File));
  EXPECT_EQ(ItemLevel(M.File), 0);
  EXPECT_EQ(ItemLevel(M.Check), 1);
  EXPECT_EQ(ItemLevel(M.SubB), 2);
  M.Styler->SideBar()->SetVisible(true);
  M.Styler->SideBar()->SetVisibleIn(TSideBarVisibleIn::viAnyLevel);
  EXPECT_TRUE(SideBarShown(M.SubA));
  EXPECT_FALSE(SideBarShown(M.File));
}

TEST_F(StyMenuDrawTest, DropDownAndSubMenuTakeTheirShapeAndPlace) {
  TMenuForm M;
  M.Styler->SetMenuBorderColor(clRed);
  M.Styler->Background()->SetColor(clWhite);
  M.Form.SetBounds(100, 100, 400, 300);
  M.Form.Show();
  Application->ProcessMessages();
  TRect file;
  ASSERT_TRUE(M.File->ItemRect(file));
  TCustomForm *Drop = nullptr, *SubW = nullptr;
  TRect First, Again;
  Headless::Key(&M.Form, 'F', {ssAlt});
  Steps({[&] {
           auto P = Popups();
           ASSERT_EQ(P.size(), 1u);
           Drop = P[0];
           // One pixel left and two up of the platform's place, less the cut-off border.
           EXPECT_EQ(Drop->Left(), 100 + file.Left);
           EXPECT_EQ(Drop->Top(), 100 + file.Bottom - 1);
           // The ring in MenuBorderColor, broken under the opening item by the background colour.
           EXPECT_EQ(Headless::PixelAt(Drop, 0, 10), clRed);
           EXPECT_EQ(Headless::PixelAt(Drop, Drop->Width() - 1, 10), clRed);
           EXPECT_EQ(Headless::PixelAt(Drop, 5, Drop->Height() - 1), clRed);
           EXPECT_EQ(Headless::PixelAt(Drop, 0, 0), clRed);
           EXPECT_EQ(Headless::PixelAt(Drop, 3, 0), clWhite);
           EXPECT_EQ(Headless::PixelAt(Drop, 1, 10), clWhite);
           // The bar item that opened it draws its bottom row in the background colour.
           EXPECT_EQ(Headless::PixelAt(&M.Form, file.Left + 3, file.Bottom - 1), clWhite);
           Save(Drop, "styled_dropdown.png");
           Headless::KeyToTop(VK_DOWN);
           Headless::KeyToTop(VK_RIGHT);
         },
         [&] {
           auto P = Popups();
           ASSERT_EQ(P.size(), 2u);
           SubW = P[1];
           // A sub-menu opening to the right moves 17 pixels left: its frame meets its parent's.
           EXPECT_EQ(SubW->Left(), Drop->Left() + Drop->Width() - 1);
           EXPECT_TRUE(PopupOpensRight(M.SubA));
           First = SubW->BoundsRect();
           // Hidden and shown again, it takes the same shape and place.
           Headless::KeyToTop(VK_LEFT);
           Headless::KeyToTop(VK_RIGHT);
         },
         [&] {
           auto P = Popups();
           ASSERT_EQ(P.size(), 2u);
           Again = P[1]->BoundsRect();
           EXPECT_EQ(Again, First);
           Headless::KeyToTop(VK_ESCAPE);
           Headless::KeyToTop(VK_ESCAPE);
         }});
  EXPECT_FALSE(MenuIsTracking());
}

TEST_F(StyMenuDrawTest, SubMenuWithoutRoomOpensLeftAndMovesRight) {
  TMenuForm M;
  TRect Scr = Application->Backend()->ScreenRect();
  M.Form.SetBounds(Scr.Right - 120, 100, 120, 200);
  M.Form.Show();
  Application->ProcessMessages();
  Headless::Key(&M.Form, 'F', {ssAlt});
  TCustomForm* Drop = nullptr;
  Steps({[&] {
           Drop = Popups().at(0);
           Headless::KeyToTop(VK_DOWN);
           Headless::KeyToTop(VK_RIGHT);
         },
         [&] {
           auto P = Popups();
           ASSERT_EQ(P.size(), 2u);
           TCustomForm* S = P[1];
           EXPECT_FALSE(PopupOpensRight(M.SubA));
           EXPECT_EQ(S->Left() + S->Width() - 1, Drop->Left());
           Headless::KeyToTop(VK_ESCAPE);
           Headless::KeyToTop(VK_ESCAPE);
         }});
}

TEST_F(StyMenuDrawTest, ClassicLookShowsTheSideBarAndCheckMarks) {
  TMenuForm M(TFantasyStyle::fsWindowsClassic);
  M.Styler->SideBar()->SetShadowColor(clRed);
  M.Form.SetBounds(100, 100, 400, 300);
  M.Form.Show();
  Application->ProcessMessages();
  Headless::Key(&M.Form, 'F', {ssAlt});
  Steps({[&] {
    TCustomForm* Drop = Popups().at(0);
    Save(Drop, "classic_dropdown.png");
    // Side bar: frame in its border colour, the splitter in grey at its right, the caption in white
    // over a red shadow near the bottom.
    int32_t X0 = 2;  // the side bar's first column in the shown window
    EXPECT_EQ(Headless::PixelAt(Drop, X0, 20), 0xA19D9D);
    EXPECT_EQ(Headless::PixelAt(Drop, X0 + 24, 20), clGray);
    int White = 0, Red = 0, WhiteTop = 1 << 30;
    for (int32_t y = 0; y < Drop->Height(); ++y)
      for (int32_t x = X0 + 1; x < X0 + 23; ++x) {
        TColor c = Headless::PixelAt(Drop, x, y);
        if (c == clWhite) {
          ++White;
          WhiteTop = std::min(WhiteTop, y);
        }
        if (c == clRed) ++Red;
      }
    EXPECT_GT(White, 20);
    EXPECT_GT(Red, 5);
    EXPECT_GT(WhiteTop, 4);
    Headless::KeyToTop(VK_ESCAPE);
  }});
}

TEST_F(StyMenuDrawTest, TexturedLookTilesItsTextureBehindTheItems) {
  TMenuForm M(TFantasyStyle::fsTextured);
  M.Form.SetBounds(100, 100, 400, 300);
  M.Form.Show();
  Application->ProcessMessages();
  auto Texture = LoadMenuBitmap("MENUTEXTURE");
  COLORREF Hole = Texture->GetPixel(0, Texture->Height() - 1);
  Headless::Key(&M.Form, 'F', {ssAlt});
  Steps({[&] {
    TCustomForm* Drop = Popups().at(0);
    Save(Drop, "textured_dropdown.png");
    // Item coordinates start 2 pixels into the shown window; the texture tiles from there.
    int Same = 0, Seen = 0;
    for (int32_t cy = 1; cy < 4; ++cy)
      for (int32_t cx = 30; cx < 90; ++cx) {
        COLORREF T = Texture->GetPixel(cx % 52, cy % 54);
        if (T == Hole) continue;
        ++Seen;
        Same += static_cast<COLORREF>(Headless::PixelAt(Drop, cx + 2, cy + 2)) == T;
      }
    EXPECT_GT(Seen, 100);
    EXPECT_EQ(Same, Seen);
    // The selected item is framed in red and has no fill.
    EXPECT_EQ(Headless::PixelAt(Drop, 40, 2), clRed);
    Headless::KeyToTop(VK_ESCAPE);
  }});
}

TEST_F(StyMenuDrawTest, SideBarCaptionFollowsAlignmentDirectionAndPicture) {
  SetTestFontMode(true);
  struct Case {
    TAlignment Align;
    TDirection Dir;
    bool Picture;
    int32_t Top, Bottom;  // rows the caption covers: [Top, Bottom)
  };
  // A 200-high side bar; the caption runs tw pixels along it.
  TStyMenuStyler S(nullptr);
  TSideBar* SB = S.SideBar();
  SB->SetCaption("ABC");
  SB->Font()->SetHeight(-14);
  SB->SetBorderColor(clNone);
  SB->SetSplitterColor(clNone);
  SB->Background()->SetColor(clBlack);
  TBitmap M(1, 1, TPixelFormat::pf32bit);
  M.Canvas()->Font()->Assign(*SB->Font());
  int32_t tw = M.Canvas()->TextWidth("ABC");
  const Case Cases[] = {
      {TAlignment::taLeftJustify, TDirection::dDownToUp, false, 200 - 6 - tw, 200 - 6},
      {TAlignment::taLeftJustify, TDirection::dUpToDown, false, 6, 6 + tw},
      {TAlignment::taRightJustify, TDirection::dDownToUp, false, 6, 6 + tw},
      {TAlignment::taCenter, TDirection::dUpToDown, false, (200 - tw) / 2, (200 - tw) / 2 + tw},
      {TAlignment::taLeftJustify, TDirection::dDownToUp, true, 200 - 6 - 30 - tw, 200 - 6 - 30},
  };
  for (const Case& C : Cases) {
    SB->SetAlignment(C.Align);
    SB->SetDirection(C.Dir);
    TPicture P;
    if (C.Picture) P.SetGraphic(std::make_unique<TBitmap>(20, 30, TPixelFormat::pf32bit));
    SB->Image()->SetImage(C.Picture ? &P : nullptr);
    SB->Image()->SetPosition(TBackgroundPosition::bpBottomLeft);
    SB->Image()->SetColor(clNone);
    TBitmap B(40, 200, TPixelFormat::pf32bit);
    DrawSideBar(B.Canvas(), TRect(0, 0, 60, 200), S);
    int32_t Top = 1000, Bottom = -1;
    for (int32_t y = 0; y < 200; ++y)
      for (int32_t x = 0; x < 24; ++x)
        if (B.GetPixel(x, y) == static_cast<COLORREF>(clWhite)) {
          Top = std::min(Top, y);
          Bottom = std::max(Bottom, y + 1);
        }
    SCOPED_TRACE(int(C.Align) * 10 + int(C.Dir));
    EXPECT_NEAR(Top, C.Top, 1);
    EXPECT_NEAR(Bottom, C.Bottom, 1);
  }
}

TEST_F(StyMenuDrawTest, SideBarShadowIsDrawnOnlyWithAColour) {
  SetTestFontMode(true);
  TStyMenuStyler S(nullptr);
  TSideBar* SB = S.SideBar();
  SB->SetCaption("AB");
  SB->Background()->SetColor(clBlack);
  auto Count = [&](TColor Shadow) {
    SB->SetShadowColor(Shadow);
    TBitmap B(30, 120, TPixelFormat::pf32bit);
    DrawSideBar(B.Canvas(), TRect(0, 0, 30, 120), S);
    int N = 0;
    for (int32_t y = 0; y < 120; ++y)
      for (int32_t x = 0; x < 24; ++x) N += B.GetPixel(x, y) == static_cast<COLORREF>(clRed);
    return N;
  };
  EXPECT_EQ(Count(clNone), 0);
  EXPECT_GT(Count(clRed), 0);
}

TEST_F(StyMenuDrawTest, LastBarItemReachesTheEndUnlessAMaximizedChildShowsItsButtons) {
  TMDIForm Frame(nullptr);
  auto* Menu = new TStyMainMenu(&Frame);
  Menu->BeginLoading();
  AddItem(&Frame, Menu->Items(), "&Window");
  Menu->EndLoading();
  Frame.SetMenu(Menu);
  auto* Child = new TMDIChildForm(&Frame, &Frame);
  Frame.SetBounds(50, 50, 300, 120);
  Frame.Show();
  Application->ProcessMessages();
  const TColor Bar = ColorToRGB(clMenuBar);
  int32_t Buttons = 3 * (GetSystemMetrics(SM_CYMENU) - 1);
  EXPECT_NE(Headless::PixelAt(&Frame, 295, 5), Bar);
  Child->SetMaximized(true);
  Menu->RedrawBar();
  Application->ProcessMessages();
  EXPECT_EQ(Headless::PixelAt(&Frame, 295, 5), Bar);
  EXPECT_EQ(Headless::PixelAt(&Frame, 300 - Buttons, 5), Bar);
  EXPECT_NE(Headless::PixelAt(&Frame, 300 - Buttons - 1, 5), Bar);
}

TEST_F(StyMenuDrawTest, MarksImagesAndDisabledText) {
  SetTestFontMode(true);  // solid glyph boxes: text pixels take exactly the text colour
  TForm F(nullptr);
  auto* Menu = new TStyMainMenu(&F);
  auto* Images = new TImageList(&F);
  Images->SetWidth(16);
  Images->SetHeight(16);
  TBitmap Red(16, 16, TPixelFormat::pf32bit);
  TBrush Br;
  Br.SetColor(clRed);
  ::FillRect(Red.Canvas(), TRect(0, 0, 16, 16), Br);
  Images->AddMasked(&Red, clFuchsia);
  Menu->SetImages(Images);
  Menu->BeginLoading();
  TMenuItem* File = AddItem(&F, Menu->Items(), "&File");
  TMenuItem* Pic = AddItem(&F, File, "Pic");
  TMenuItem* Mark = AddItem(&F, File, "Mark");
  TMenuItem* Off = AddItem(&F, File, "Off");
  Menu->EndLoading();
  Pic->SetImageIndex(0);
  Pic->SetChecked(true);
  Mark->SetChecked(true);
  TIconBar* IB = Menu->GetActiveStyler()->IconBar();
  auto Paint = [&](TMenuItem* It, TOwnerDrawState St) {
    auto B = std::make_unique<TBitmap>(120, 24, TPixelFormat::pf32bit);
    Br.SetColor(clLime);
    ::FillRect(B->Canvas(), TRect(0, 0, 120, 24), Br);
    DrawStyledItem(It, B->Canvas(), TRect(0, 0, 120, 24), false, St);
    return B;
  };
  auto Count = [](const TBitmap& B, TRect R, TColor C) {
    int N = 0;
    for (int32_t y = R.Top; y < R.Bottom; ++y)
      for (int32_t x = R.Left; x < R.Right; ++x) N += B.GetPixel(x, y) == static_cast<COLORREF>(ColorToRGB(C));
    return N;
  };
  // A checked item with an image: the check box behind the image, no mark.
  auto P = Paint(Pic, {});
  EXPECT_EQ(P->GetPixel(1, 10), static_cast<COLORREF>(IB->CheckBorder()));
  EXPECT_EQ(P->GetPixel(2, 2), static_cast<COLORREF>(IB->CheckColor()));
  EXPECT_EQ(P->GetPixel(10, 10), static_cast<COLORREF>(clRed));
  EXPECT_EQ(Count(*P, TRect(4, 4, 20, 20), clBtnText), 0);
  // Without an image: the box and the check glyph in the button-text colour.
  auto M = Paint(Mark, {});
  EXPECT_EQ(M->GetPixel(1, 10), static_cast<COLORREF>(IB->CheckBorder()));
  EXPECT_GT(Count(*M, TRect(4, 4, 20, 20), clBtnText), 10);
  // Radio items show the dot instead.
  Mark->SetRadioItem(true);
  auto R = Paint(Mark, {});
  EXPECT_GT(Count(*R, TRect(9, 9, 15, 15), clBtnText), 20);
  EXPECT_EQ(Count(*R, TRect(4, 4, 9, 9), clBtnText), 0);
  // Disabled, not selected: a highlight copy one pixel down and right under the shadow text.
  auto D = Paint(Off, TOwnerDrawState{odDisabled});
  EXPECT_GT(Count(*D, TRect(32, 0, 120, 24), clBtnHighlight), 5);
  EXPECT_GT(Count(*D, TRect(32, 0, 120, 24), clBtnShadow), 5);
  // Selected: the selection box in the selected item's border colour around the row.
  TSelectedItem* SI = Menu->GetActiveStyler()->SelectedItem();
  auto S = Paint(Off, TOwnerDrawState{odSelected});
  EXPECT_EQ(S->GetPixel(60, 0), static_cast<COLORREF>(SI->BorderColor()));
  EXPECT_EQ(S->GetPixel(60, 5), static_cast<COLORREF>(SI->Color()));
}

TEST_F(StyMenuDrawTest, ItemsOfPlainMenusAreLeftAlone) {
  TMainMenu Plain(nullptr);
  TMenuItem* It = AddItem(&Plain, Plain.Items(), "x");
  TBitmap B(20, 20, TPixelFormat::pf32bit);
  TBrush Br;
  Br.SetColor(clLime);
  ::FillRect(B.Canvas(), TRect(0, 0, 20, 20), Br);
  int32_t W = 5, H = 7;
  MeasureStyledItem(It, B.Canvas(), W, H, false);
  EXPECT_EQ(W, 5);
  EXPECT_EQ(H, 7);
  DrawStyledItem(It, B.Canvas(), TRect(0, 0, 20, 20), false, {});
  EXPECT_EQ(B.GetPixel(10, 10), static_cast<COLORREF>(clLime));
}

}  // namespace

TEST_F(StyMenuDrawTest, ItemOfAnActionDrawsFromTheActionsImages) {
  TForm F(nullptr);
  auto Solid = [&](TImageList* L, TColor C) {
    TBitmap B(16, 16, TPixelFormat::pf32bit);
    TBrush Br;
    Br.SetColor(C);
    ::FillRect(B.Canvas(), TRect(0, 0, 16, 16), Br);
    L->AddMasked(&B, clFuchsia);
  };
  auto* MenuImages = new TImageList(&F);
  Solid(MenuImages, clRed);
  Solid(MenuImages, clGreen);
  auto* ActionImages = new TImageList(&F);
  Solid(ActionImages, clBlue);
  auto* List = new TActionList(&F);
  List->SetImages(ActionImages);
  auto* Act = new TAction(&F);
  Act->SetActionList(List);
  Act->SetCaption("Act");
  auto* Menu = new TStyMainMenu(&F);
  Menu->SetImages(MenuImages);
  Menu->BeginLoading();
  TMenuItem* File = AddItem(&F, Menu->Items(), "&File");
  TMenuItem* It = AddItem(&F, File, "");
  Menu->EndLoading();
  It->SetAction(Act);
  EXPECT_EQ(It->ActionImages(), ActionImages);
  auto PixelOf = [&](int32_t Index) {
    Act->SetImageIndex(Index);
    TBitmap B(120, 24, TPixelFormat::pf32bit);
    DrawStyledItem(It, B.Canvas(), TRect(0, 0, 120, 24), false, {});
    return B.GetPixel(10, 10);
  };
  // The action's list has the picture: it wins over the menu's.
  EXPECT_EQ(PixelOf(0), static_cast<COLORREF>(clBlue));
  // Past the action's list, the menu's list still serves.
  EXPECT_EQ(PixelOf(1), static_cast<COLORREF>(clGreen));
  EXPECT_EQ(It->Caption(), "Act");
}
