// The menu styler's parts, their copies and indexed colours, and the fantasy styler's looks.
#include <gtest/gtest.h>

#include <memory>

#include "controls/menu/sty_fantasy.h"
#include "controls/menu/sty_styler.h"

using namespace StyMenus;

namespace {

TEST(StyStyler, DefaultsAndStoredLimits) {
  TStyMenuStyler S(nullptr);
  EXPECT_EQ(S.MenuBorderColor(), 0x7C7C94);
  EXPECT_TRUE(S.UseSystemFont());
  EXPECT_EQ(S.IconBar()->Size(), 24);
  S.IconBar()->SetSize(10);
  EXPECT_EQ(S.IconBar()->Size(), 16);
  TRootItem* R = S.RootItem();
  for (int32_t i = 2; i < 4; ++i) {
    EXPECT_EQ(R->GetSelectedColor(i), clNone);
    EXPECT_EQ(R->GetHoverColor(i), clNone);
  }
  EXPECT_EQ(S.SideBar()->SplitterColorTo(), clNone);
  EXPECT_EQ(S.SideBar()->SplitterColor(), clGray);
  EXPECT_FALSE(S.SideBar()->Visible());
  EXPECT_EQ(S.Separator()->GradientDirection(), TGradientDirection::gdHorizontal);
  EXPECT_EQ(S.Background()->Position(), TBackgroundPosition::bpCenter);
  EXPECT_EQ(S.SideBar()->Font()->Name(), "Tahoma");
  EXPECT_TRUE(S.SideBar()->Font()->Style().Contains(TFontStyle::fsItalic));
  EXPECT_EQ(S.SideBar()->EndOffset(), 6);
  // Parts of a styler that serves no menu take writes without effect elsewhere.
  S.SideBar()->SetVisible(true);
  S.IconBar()->SetCheckColor(1, clRed);
  S.Glyphs()->SetCheck(S.Glyphs()->Radio());
  EXPECT_EQ(S.Menu(), nullptr);
}

TEST(StyStyler, IndexedColoursRejectIndexesOutsideTheirRange) {
  TStyMenuStyler S(nullptr);
  S.RootItem()->SetSelectedColor(3, clRed);
  EXPECT_EQ(S.RootItem()->GetSelectedColor(3), clRed);
  S.Background()->SetColor(1, clBlue);
  EXPECT_EQ(S.Background()->ColorTo(), clBlue);
  try {
    S.IconBar()->SetCheckColor(2, clRed);
    FAIL() << "no exception";
  } catch (const EInvalidPropertyIndex& E) {
    EXPECT_STREQ(E.what(), "Invalid property index 2.");
  }
  EXPECT_THROW(S.RootItem()->GetHoverColor(4), EInvalidPropertyIndex);
  EXPECT_THROW(S.SelectedItem()->GetRadioColor(-1), EInvalidPropertyIndex);
  EXPECT_THROW(S.Separator()->GetColor(2), EInvalidPropertyIndex);
}

TEST(StyStyler, PartCopiesTakeOnlyTheirOwnValues) {
  TSelectedItem A, B;
  A.SetColor(clRed);
  A.SetBorderColor(clGreen);
  A.SetCheckColor(0, clYellow);
  A.SetCheckBorder(clAqua);
  A.SetUseSystemFont(false);
  A.Font()->SetHeight(-19);
  B.Assign(&A);
  EXPECT_EQ(B.Color(), 0xC2EEFF);  // the gradient colours stay
  EXPECT_EQ(B.BorderColor(), clGreen);
  EXPECT_EQ(B.CheckColor(), clYellow);
  EXPECT_EQ(B.CheckBorder(), 0x6F4B4B);  // not among the copied values
  EXPECT_FALSE(B.UseSystemFont());
  EXPECT_EQ(B.Font()->Height(), -19);

  // A plain gradient bar copies into any part; a separator takes its own values and the gradient.
  TSeparator S1, S2;
  S1.SetWidth(3);
  S1.SetColor(clLime);
  S2.Assign(&S1);
  EXPECT_EQ(S2.Width(), 3);
  EXPECT_EQ(S2.Color(), clLime);
  TIconBar I;
  I.Assign(&S1);
  EXPECT_EQ(I.Color(), clLime);

  // Glyphs copy all three pictures and keep them transparent.
  TMenuGlyphs G1, G2;
  auto Big = std::make_unique<TBitmap>(9, 5, TPixelFormat::pf1bit);
  G1.SetSubMenu(Big.get());
  G2.Assign(&G1);
  EXPECT_EQ(G2.SubMenu()->Width(), 9);
  EXPECT_EQ(G2.Check()->Width(), 16);
  EXPECT_TRUE(G2.SubMenu()->Transparent());
  EXPECT_TRUE(G2.Radio()->Transparent());

  // Unrelated classes raise.
  EXPECT_THROW(G2.Assign(&S1), EComponentError);
  TBarCaption C;
  EXPECT_THROW(C.Assign(&G1), EComponentError);
}

TEST(StyStyler, SideBarCopiesItsCaptionAndBackgrounds) {
  TSideBar A, B;
  A.SetCaption("Side");
  A.SetDirection(TDirection::dUpToDown);
  A.SetSize(30);
  A.SetSplitterColor(clRed);
  A.Image()->SetColor(clBlue);
  A.SetVisibleIn(TSideBarVisibleIn::viAnyLevel);
  B.Assign(&A);
  EXPECT_EQ(B.Caption(), "Side");
  EXPECT_EQ(B.Direction(), TDirection::dUpToDown);
  EXPECT_EQ(B.Size(), 30);
  // A background copies its picture and placement, not its gradient; nor are the splitter
  // colours and VisibleIn copied.
  EXPECT_EQ(B.Image()->Color(), 0xFFFAFD);
  EXPECT_EQ(B.SplitterColor(), clGray);
  EXPECT_EQ(B.VisibleIn(), TSideBarVisibleIn::viFirstVisible);
}

TEST(StyStyler, BackgroundPictureComesAndGoes) {
  TBackground Bg;
  TPicture P;
  P.SetGraphic(std::make_unique<TBitmap>(4, 4, TPixelFormat::pf32bit));
  Bg.SetImage(&P);
  EXPECT_TRUE(Bg.HasPicture());
  EXPECT_TRUE(Bg.Image()->Graphic()->Transparent());
  Bg.SetImage(nullptr);
  EXPECT_FALSE(Bg.HasPicture());
  ASSERT_NE(Bg.Image(), nullptr);
  EXPECT_EQ(Bg.Image()->Graphic(), nullptr);
}

TEST(StyStyler, StylerCopiesFromPlainStylersOnly) {
  TStyMenuStyler A(nullptr), B(nullptr);
  A.IconBar()->SetSize(30);
  A.SideBar()->SetCaption("X");
  A.SetUseSystemFont(false);
  A.Font()->SetHeight(-17);
  A.SetMenuBorderColor(clRed);
  B.Assign(&A);
  EXPECT_EQ(B.IconBar()->Size(), 30);
  EXPECT_EQ(B.SideBar()->Caption(), "X");
  EXPECT_FALSE(B.UseSystemFont());
  EXPECT_EQ(B.Font()->Height(), -17);
  EXPECT_EQ(B.MenuBorderColor(), 0x7C7C94);
  TStyMenuFantasyStyler F(nullptr);
  EXPECT_THROW(B.Assign(&F), EComponentError);
  F.Assign(&A);  // any styler takes a plain one
  EXPECT_EQ(F.IconBar()->Size(), 30);
}

// ---- fantasy looks --------------------------------------------------------------------------

struct TLook {
  TFantasyStyle Style;
  TColor Bg, BgTo, Border, Font, Root, RootTo, Sel, SelTo, Hover, HoverTo, Item, ItemTo, ItemBorder, Icon, IconTo,
      Sep, SepTo;
};

// The key colours of every look.
const TLook kLooks[] = {
    {TFantasyStyle::fsArctic, clWindow, clNone, clSilver, clSilver, clWhite, clInactiveCaptionText,
     clInactiveCaptionText, clWhite, clNone, clNone, clWhite, clInactiveCaptionText, clSilver, 0xEFEFEF, clWhite,
     clSilver, clWhite},
    {TFantasyStyle::fsAquaBlue, clWhite, clWhite, clNone, 0x26B0FB, 0xD08130, 0xFEF17E, 0xE6E0B0, 0xF9FFBF, 0xE6E0B0,
     0xF9FFBF, 0xFEF17E, 0xD08130, 0xD08130, 0xE6E0B0, clWhite, 0xE6E0B0, 0xE6E0B0},
    {TFantasyStyle::fsChocolate, clWindow, clBtnFace, clGray, clMaroon, clBtnFace, clWhite, clBtnFace, clWhite,
     0xD9FFFF, 0xC1FFFE, 0xC1FFFE, 0xD9FFFF, 0x94CCCB, 0xD7EDED, 0x8AC2C1, 0x7A868A, clNone},
    {TFantasyStyle::fsMacOS, clWhite, 0xF3F3F3, clGray, clBlack, clWhite, 0xF3F3F3, 0xF19546, 0xC34907, clSilver,
     0xBBBBBB, 0xF19546, 0xC34907, clNone, 0xF3F3F3, clWhite, clWhite, clWhite},
    {TFantasyStyle::fsSilverFox, 0xD1C9C8, 0xD1C9C8, 0x666666, clBlack, clWhite, 0xC5BAB7, 0xF1F3F4, clNone,
     0xD2BDB5, clNone, 0xD2BDB5, clNone, 0x6A240A, clWhite, 0xE4DCDA, 0xA6A6A6, clNone},
    {TFantasyStyle::fsSoftSand, 0xE7F7FF, clNone, clBlack, clGray, 0xE7F7FF, clWhite, 0xE7F7FF, clNone, 0xE7F7FF,
     clNone, 0xB5DEF7, 0xE7F7FF, clNone, 0xB5DEF7, clNone, 0x0884BD, 0x0884BD},
    {TFantasyStyle::fsTerminalGreen, clWindow, clNone, 0x00C000, clGreen, 0xF7FFF7, clNone, 0x00C000, clNone,
     0xF7FFF7, clNone, 0xF7FFF7, clNone, 0x00C000, 0x00A000, clNone, 0x00C000, clNone},
    {TFantasyStyle::fsTextured, clNone, clNone, 0x0000B0, clWhite, 0xCFD5F3, 0xCFD5F3, clNone, clNone, clNone, clNone,
     clNone, clNone, clRed, 0xCFD5F3, 0xCFD5F3, clWhite, clNone},
    {TFantasyStyle::fsWindowsClassic, clMenu, clMenu, clBlack, clBlack, clMenu, clNone, 0xA1684A, clNone, 0xA1684A,
     clNone, 0xA1684A, clNone, clNone, clMenu, clNone, clBlack, clNone},
    {TFantasyStyle::fsWhidbey, 0xF9FCFC, 0xF9FCFC, 0x7A868A, -1, 0xD9E6E7, 0xD9E6E7, 0xF4F9F9, clNone, 0xEFD3C6,
     clNone, 0xEED2C1, clNone, 0xC56A31, 0xFBFEFE, 0xACC3C4, 0xB8C2C5, clNone},
};

TEST(StyFantasy, EveryLookSetsItsKeyColours) {
  for (const TLook& L : kLooks) {
    TStyMenuFantasyStyler S(nullptr);
    TColor FontBefore = S.Font()->Color();
    S.SetStyle(L.Style);
    SCOPED_TRACE(int(L.Style));
    EXPECT_EQ(S.Style(), L.Style);
    EXPECT_EQ(S.Background()->Color(), L.Bg);
    EXPECT_EQ(S.Background()->ColorTo(), L.BgTo);
    EXPECT_EQ(S.MenuBorderColor(), L.Border);
    EXPECT_EQ(S.Font()->Color(), L.Font == -1 ? FontBefore : L.Font);
    EXPECT_EQ(S.RootItem()->Color(), L.Root);
    EXPECT_EQ(S.RootItem()->ColorTo(), L.RootTo);
    EXPECT_EQ(S.RootItem()->GetSelectedColor(0), L.Sel);
    EXPECT_EQ(S.RootItem()->GetSelectedColor(1), L.SelTo);
    EXPECT_EQ(S.RootItem()->GetHoverColor(0), L.Hover);
    EXPECT_EQ(S.RootItem()->GetHoverColor(1), L.HoverTo);
    EXPECT_EQ(S.SelectedItem()->Color(), L.Item);
    EXPECT_EQ(S.SelectedItem()->ColorTo(), L.ItemTo);
    EXPECT_EQ(S.SelectedItem()->BorderColor(), L.ItemBorder);
    EXPECT_EQ(S.IconBar()->Color(), L.Icon);
    EXPECT_EQ(S.IconBar()->ColorTo(), L.IconTo);
    EXPECT_EQ(S.Separator()->Color(), L.Sep);
    EXPECT_EQ(S.Separator()->ColorTo(), L.SepTo);
    EXPECT_EQ(S.IconBar()->Size(), 24);
    // Only the classic look shows the side bar.
    EXPECT_EQ(S.SideBar()->Visible(), L.Style == TFantasyStyle::fsWindowsClassic);
    if (L.Style != TFantasyStyle::fsWhidbey) {
      EXPECT_FALSE(S.SelectedItem()->UseSystemFont());
    }
  }
}

TEST(StyFantasy, FullListsOfTheTellingLooks) {
  TStyMenuFantasyStyler S(nullptr);
  S.SetStyle(TFantasyStyle::fsWindowsClassic);
  EXPECT_EQ(S.SideBar()->Caption(), "Zamb Menu");
  EXPECT_EQ(S.SideBar()->Image()->Color(), 0xEDC6A9);
  EXPECT_EQ(S.SideBar()->Image()->ColorTo(), 0x6A240A);
  EXPECT_EQ(S.SideBar()->Background()->GradientDirection(), TGradientDirection::gdHorizontal);
  EXPECT_EQ(S.RootItem()->SelectedTextColor(), clWhite);
  EXPECT_EQ(S.RootItem()->Font()->Size(), 8);
  EXPECT_EQ(S.SelectedItem()->Font()->Color(), clWhite);
  EXPECT_EQ(S.IconBar()->CheckBorder(), clNone);

  // Whidbey touches no font and nothing of the side bar: the classic values stay.
  S.SetStyle(TFantasyStyle::fsWhidbey);
  EXPECT_TRUE(S.SideBar()->Visible());
  EXPECT_EQ(S.SideBar()->Caption(), "Zamb Menu");
  EXPECT_EQ(S.SelectedItem()->Font()->Color(), clWhite);
  EXPECT_EQ(S.IconBar()->CheckColor(), 0xE8E6E1);
  EXPECT_EQ(S.SelectedItem()->RadioBorder(), clBlack);
  EXPECT_EQ(S.RootItem()->HoverBorderColor(), 0xC66931);

  // Textured tiles its texture with no gradient behind; a later look clears it, Whidbey does not.
  S.SetStyle(TFantasyStyle::fsTextured);
  ASSERT_TRUE(S.Background()->HasPicture());
  EXPECT_EQ(S.Background()->Position(), TBackgroundPosition::bpTiled);
  EXPECT_EQ(S.Background()->Image()->Width(), 52);
  EXPECT_EQ(S.Background()->Image()->Height(), 54);
  EXPECT_EQ(S.RootItem()->Font()->Size(), 10);
  EXPECT_TRUE(S.RootItem()->Font()->Style().Contains(TFontStyle::fsItalic));
  EXPECT_TRUE(S.SelectedItem()->Font()->Style().Contains(TFontStyle::fsBold));
  S.SetStyle(TFantasyStyle::fsWhidbey);
  EXPECT_TRUE(S.Background()->HasPicture());
  S.SetStyle(TFantasyStyle::fsChocolate);
  EXPECT_FALSE(S.Background()->HasPicture());
}

TEST(StyFantasy, CustomOnlyResetsTheMirrorColours) {
  TStyMenuFantasyStyler S(nullptr);
  // Created at run time and never given a look: the plain defaults, although Style reads Arctic.
  EXPECT_EQ(S.Style(), TFantasyStyle::fsArctic);
  EXPECT_EQ(S.Background()->Color(), 0xFFFAFD);
  EXPECT_EQ(S.IconBar()->Color(), 0xFFF9F9);
  for (int32_t i = 0; i < 4; ++i) {
    S.RootItem()->SetSelectedColor(i, clRed);
    S.RootItem()->SetHoverColor(i, clRed);
  }
  S.SelectedItem()->SetColorMirror(clRed);
  S.SelectedItem()->SetColorMirrorTo(clRed);
  S.SetStyle(TFantasyStyle::fsCustom);
  for (int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(S.RootItem()->GetSelectedColor(i), clRed);
    EXPECT_EQ(S.RootItem()->GetHoverColor(i), clRed);
    EXPECT_EQ(S.RootItem()->GetSelectedColor(i + 2), clNone);
    EXPECT_EQ(S.RootItem()->GetHoverColor(i + 2), clNone);
  }
  EXPECT_EQ(S.SelectedItem()->ColorMirror(), clNone);
  EXPECT_EQ(S.SelectedItem()->ColorMirrorTo(), clNone);
  EXPECT_EQ(S.Background()->Color(), 0xFFFAFD);
}

}  // namespace
