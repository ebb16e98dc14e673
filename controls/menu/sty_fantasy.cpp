#include "controls/menu/sty_fantasy.h"

#include "controls/menu/sty_main_menu.h"

namespace StyMenus {

namespace {

constexpr auto gdV = TGradientDirection::gdVertical;
constexpr auto gdH = TGradientDirection::gdHorizontal;

// The values of a plain preset; the seven such looks share one order of writes.
struct TPlainPreset {
  TFantasyStyle Style;
  TColor Background[2];
  TColor MenuBorder;
  TColor FontColor;
  TColor Root[2], RootSelected[2], RootHover[2];
  TColor RootSelectedBorder, RootSelectedText, RootHoverBorder, RootHoverText;
  TColor Selected[2];
  TColor SelectedBorder, SelectedText;
  TColor Icon[2];
  TColor IconCheck, IconCheckBorder;
  TColor Separator[2];
};

const TPlainPreset kPlain[] = {
    {TFantasyStyle::fsArctic, {clWindow, clNone}, clSilver, clSilver, {clWhite, clInactiveCaptionText},
     {clInactiveCaptionText, clWhite}, {clNone, clNone}, clSilver, clBlack, clSilver, clBlack,
     {clWhite, clInactiveCaptionText}, clSilver, clBlack, {0xEFEFEF, clWhite}, 0xEFEFEF, clSilver,
     {clSilver, clWhite}},
    {TFantasyStyle::fsAquaBlue, {clWhite, clWhite}, clNone, 0x26B0FB, {0xD08130, 0xFEF17E}, {0xE6E0B0, 0xF9FFBF},
     {0xE6E0B0, 0xF9FFBF}, 0xD08130, clBlack, 0xD08130, clBlack, {0xFEF17E, 0xD08130}, 0xD08130, clBlack,
     {0xE6E0B0, clWhite}, 0xFEF17E, 0xD08130, {0xE6E0B0, 0xE6E0B0}},
    {TFantasyStyle::fsChocolate, {clWindow, clBtnFace}, clGray, clMaroon, {clBtnFace, clWhite}, {clBtnFace, clWhite},
     {0xD9FFFF, 0xC1FFFE}, clGray, clMaroon, 0x94CCCB, clMaroon, {0xC1FFFE, 0xD9FFFF}, 0x94CCCB, clMaroon,
     {0xD7EDED, 0x8AC2C1}, 0xC1FFFE, 0x94CCCB, {0x7A868A, clNone}},
    {TFantasyStyle::fsMacOS, {clWhite, 0xF3F3F3}, clGray, clBlack, {clWhite, 0xF3F3F3}, {0xF19546, 0xC34907},
     {clSilver, 0xBBBBBB}, clNone, clWhite, clNone, clBlack, {0xF19546, 0xC34907}, clNone, clWhite,
     {0xF3F3F3, clWhite}, 0xF19546, clGray, {clWhite, clWhite}},
    {TFantasyStyle::fsSilverFox, {0xD1C9C8, 0xD1C9C8}, 0x666666, clBlack, {clWhite, 0xC5BAB7}, {0xF1F3F4, clNone},
     {0xD2BDB5, clNone}, 0x666666, clBlack, 0x6A240A, clBlack, {0xD2BDB5, clNone}, 0x6A240A, clBlack,
     {clWhite, 0xE4DCDA}, 0xD2BDB5, 0x6A240A, {0xA6A6A6, clNone}},
    {TFantasyStyle::fsSoftSand, {0xE7F7FF, clNone}, clBlack, clGray, {0xE7F7FF, clWhite}, {0xE7F7FF, clNone},
     {0xE7F7FF, clNone}, 0x0884BD, clBlack, 0x0884BD, clBlack, {0xB5DEF7, 0xE7F7FF}, clNone, clBlack,
     {0xB5DEF7, clNone}, 0xE7F7FF, 0x0884BD, {0x0884BD, 0x0884BD}},
    {TFantasyStyle::fsTerminalGreen, {clWindow, clNone}, 0x00C000, clGreen, {0xF7FFF7, clNone}, {0x00C000, clNone},
     {0xF7FFF7, clNone}, 0x00C000, clWhite, 0x00C000, clGreen, {0xF7FFF7, clNone}, 0x00C000, clGreen,
     {0x00A000, clNone}, 0xF7FFF7, 0x00C000, {0x00C000, clNone}},
};

void ClearRootFont(TRootItem* R, TColor Color, int32_t Size, TFontStyles Style) {
  R->Font()->SetColor(Color);
  R->Font()->SetSize(Size);
  R->Font()->SetStyle(Style);
}

void SetMarks(TIconBar* I, TColor Check, TColor CheckTo, TColor CheckBorder, TColor Radio, TColor RadioTo,
              TColor RadioBorder) {
  I->SetCheckColor(0, Check);
  I->SetCheckColor(1, CheckTo);
  I->SetCheckBorder(CheckBorder);
  I->SetRadioColor(0, Radio);
  I->SetRadioColor(1, RadioTo);
  I->SetRadioBorder(RadioBorder);
}

void SetMarks(TSelectedItem* S, TColor Check, TColor CheckTo, TColor CheckBorder, TColor Radio, TColor RadioTo,
              TColor RadioBorder) {
  S->SetCheckBorder(CheckBorder);
  S->SetCheckColor(0, Check);
  S->SetCheckColor(1, CheckTo);
  S->SetRadioBorder(RadioBorder);
  S->SetRadioColor(0, Radio);
  S->SetRadioColor(1, RadioTo);
}

void ApplyPlain(TCustomStyMenuStyler& S, const TPlainPreset& P) {
  S.Background()->SetColor(P.Background[0]);
  S.Background()->SetColorTo(P.Background[1]);
  S.Background()->SetGradientDirection(gdV);
  S.SetMenuBorderColor(P.MenuBorder);
  S.Background()->SetImage(nullptr);
  S.Font()->SetColor(P.FontColor);
  TRootItem* R = S.RootItem();
  R->SetColor(P.Root[0]);
  R->SetColorTo(P.Root[1]);
  R->SetGradientDirection(gdV);
  ClearRootFont(R, clBlack, 8, {});
  R->SetSelectedColor(0, P.RootSelected[0]);
  R->SetSelectedColor(1, P.RootSelected[1]);
  R->SetSelectedBorderColor(P.RootSelectedBorder);
  R->SetSelectedTextColor(P.RootSelectedText);
  R->SetHoverColor(0, P.RootHover[0]);
  R->SetHoverColor(1, P.RootHover[1]);
  R->SetHoverBorderColor(P.RootHoverBorder);
  R->SetHoverTextColor(P.RootHoverText);
  TSelectedItem* Sel = S.SelectedItem();
  Sel->SetColor(P.Selected[0]);
  Sel->SetColorTo(P.Selected[1]);
  Sel->SetGradientDirection(gdV);
  Sel->SetBorderColor(P.SelectedBorder);
  Sel->Font()->SetColor(P.SelectedText);
  Sel->Font()->SetStyle({});
  Sel->SetUseSystemFont(false);
  SetMarks(Sel, P.IconCheck, clNone, P.IconCheckBorder, P.IconCheck, clNone, P.IconCheckBorder);
  TIconBar* I = S.IconBar();
  I->SetColor(P.Icon[0]);
  I->SetColorTo(P.Icon[1]);
  I->SetSize(24);
  SetMarks(I, P.IconCheck, clNone, P.IconCheckBorder, P.IconCheck, clNone, P.IconCheckBorder);
  S.Separator()->SetColor(P.Separator[0]);
  S.Separator()->SetColorTo(P.Separator[1]);
  S.SideBar()->SetVisible(false);
}

void ApplyWindowsClassic(TCustomStyMenuStyler& S) {
  S.Background()->SetColor(clMenu);
  S.Background()->SetColorTo(clMenu);
  S.Background()->SetGradientDirection(gdH);
  S.SetMenuBorderColor(clBlack);
  S.Background()->SetImage(nullptr);
  S.Font()->SetColor(clBlack);
  TRootItem* R = S.RootItem();
  R->SetColor(clMenu);
  R->SetColorTo(clNone);
  R->SetGradientDirection(gdV);
  ClearRootFont(R, clBlack, 8, {});
  R->SetSelectedColor(0, 0xA1684A);
  R->SetSelectedColor(1, clNone);
  R->SetSelectedBorderColor(clNone);
  R->SetSelectedTextColor(clWhite);
  R->SetHoverColor(0, 0xA1684A);
  R->SetHoverColor(1, clNone);
  R->SetHoverBorderColor(clNone);
  R->SetHoverTextColor(clWhite);
  TSelectedItem* Sel = S.SelectedItem();
  Sel->SetColor(0xA1684A);
  Sel->SetColorTo(clNone);
  Sel->SetGradientDirection(gdH);
  Sel->SetBorderColor(clNone);
  Sel->Font()->SetColor(clWhite);
  Sel->Font()->SetStyle({});
  Sel->SetUseSystemFont(false);
  SetMarks(Sel, clNone, clNone, clNone, clNone, clNone, clNone);
  TIconBar* I = S.IconBar();
  I->SetColor(clMenu);
  I->SetColorTo(clNone);
  I->SetSize(24);
  SetMarks(I, clNone, clNone, clNone, clNone, clNone, clNone);
  S.Separator()->SetColor(clBlack);
  S.Separator()->SetColorTo(clNone);
  TSideBar* SB = S.SideBar();
  SB->SetVisible(true);
  SB->SetCaption("Zamb Menu");
  SB->Image()->SetColor(0xEDC6A9);
  SB->Image()->SetColorTo(0x6A240A);
  SB->Background()->SetGradientDirection(gdH);
  SB->Font()->SetColor(clWhite);
}

void ApplyTextured(TCustomStyMenuStyler& S) {
  S.Background()->SetColor(clNone);
  S.Background()->SetColorTo(clNone);
  S.Background()->SetGradientDirection(gdV);
  S.SetMenuBorderColor(0x0000B0);
  {
    TPicture Texture;
    Texture.SetGraphic(LoadMenuBitmap("MENUTEXTURE"));
    S.Background()->SetImage(&Texture);
  }
  S.Background()->SetPosition(TBackgroundPosition::bpTiled);
  S.Font()->SetColor(clWhite);
  TRootItem* R = S.RootItem();
  R->SetColor(0xCFD5F3);
  R->SetColorTo(0xCFD5F3);
  R->SetGradientDirection(gdV);
  ClearRootFont(R, clBlack, 10, {TFontStyle::fsBold, TFontStyle::fsItalic});
  R->SetSelectedColor(0, clNone);
  R->SetSelectedColor(1, clNone);
  R->SetSelectedBorderColor(0x0000B0);
  R->SetSelectedTextColor(0x0000B0);
  R->SetHoverColor(0, clNone);
  R->SetHoverColor(1, clNone);
  R->SetHoverBorderColor(0x0000B0);
  R->SetHoverTextColor(clBlack);
  TSelectedItem* Sel = S.SelectedItem();
  Sel->SetColor(clNone);
  Sel->SetColorTo(clNone);
  Sel->SetGradientDirection(gdV);
  Sel->SetUseSystemFont(false);
  Sel->SetBorderColor(clRed);
  Sel->Font()->SetColor(clRed);
  Sel->Font()->SetStyle({TFontStyle::fsBold});
  SetMarks(Sel, clNone, clNone, clNone, clNone, clNone, clNone);
  TIconBar* I = S.IconBar();
  I->SetColor(0xCFD5F3);
  I->SetColorTo(0xCFD5F3);
  I->SetSize(24);
  SetMarks(I, clNone, clNone, clNone, clNone, clNone, clNone);
  S.Separator()->SetColor(clWhite);
  S.Separator()->SetColorTo(clNone);
  S.Separator()->SetGradientDirection(gdH);
  S.SideBar()->SetVisible(false);
}

void ApplyWhidbey(TCustomStyMenuStyler& S) {
  S.Background()->SetColor(0xF9FCFC);
  S.Background()->SetColorTo(0xF9FCFC);
  S.SetMenuBorderColor(0x7A868A);
  TRootItem* R = S.RootItem();
  R->SetColor(0xD9E6E7);
  R->SetColorTo(0xD9E6E7);
  R->SetSelectedColor(0, 0xF4F9F9);
  R->SetSelectedColor(1, clNone);
  R->SetSelectedBorderColor(0x7A868A);
  R->SetHoverColor(0, 0xEFD3C6);
  R->SetHoverColor(1, clNone);
  R->SetHoverBorderColor(0xC66931);
  R->SetHoverTextColor(clWindowText);
  R->SetSelectedTextColor(clBlack);
  TSelectedItem* Sel = S.SelectedItem();
  Sel->SetColor(0xEED2C1);
  Sel->SetColorTo(clNone);
  Sel->SetBorderColor(0xC56A31);
  SetMarks(Sel, 0xC56A31, clNone, clBlack, 0xC56A31, clNone, clBlack);
  TIconBar* I = S.IconBar();
  I->SetColor(0xFBFEFE);
  I->SetColorTo(0xACC3C4);
  I->SetSize(24);
  I->SetCheckColor(0, 0xE8E6E1);
  I->SetCheckColor(1, clNone);
  I->SetCheckBorder(0xC56A31);
  S.Separator()->SetColor(0xB8C2C5);
  S.Separator()->SetColorTo(clNone);
}

}  // namespace

TStyMenuFantasyStyler::TStyMenuFantasyStyler(TComponent* AOwner) : TCustomStyMenuStyler(AOwner) {
  if (ComponentState().Contains(csDesigning)) SetStyle(TFantasyStyle::fsCustom);
}

void TStyMenuFantasyStyler::SetStyle(TFantasyStyle Value) {
  FStyle = Value;
  TRootItem* R = RootItem();
  R->SetSelectedColor(2, clNone);
  R->SetSelectedColor(3, clNone);
  R->SetHoverColor(2, clNone);
  R->SetHoverColor(3, clNone);
  SelectedItem()->SetColorMirror(clNone);
  SelectedItem()->SetColorMirrorTo(clNone);
  switch (Value) {
    case TFantasyStyle::fsTextured: ApplyTextured(*this); break;
    case TFantasyStyle::fsWindowsClassic: ApplyWindowsClassic(*this); break;
    case TFantasyStyle::fsWhidbey: ApplyWhidbey(*this); break;
    case TFantasyStyle::fsCustom: break;
    default:
      for (const TPlainPreset& P : kPlain)
        if (P.Style == Value) ApplyPlain(*this, P);
      break;
  }
  if (Menu()) RedrawStyledMenuBar(Menu());
}

}  // namespace StyMenus
