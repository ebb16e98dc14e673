#pragma once
// The menu styler: a component holding the look of the owner-drawn main menu in nine parts.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/menu/sty_painters.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/picture.h"
#include "platform/ui/component.h"
#include "platform/ui/controls.h"

namespace StyMenus {

class TStyMainMenu;

using ::TAlignment;  // the platform's horizontal alignment
// dDownToUp: the side-bar caption reads from bottom to top.
enum class TDirection : uint8_t { dDownToUp, dUpToDown };
enum class TSideBarVisibleIn : uint8_t { viFirstVisible, viFirstLevel, viAnyLevel };

// Makes the published properties of the menu and its stylers known by name (once).
void RegisterStyMenuProperties();

// Re-checks the menu's window-list hook and, with Relayout, measures every item again.
void RefreshStyledMenu(TStyMainMenu* Menu, bool Relayout);

// Base of the parts that carry a two-colour gradient.
class TGradientBar : public TPersistent {
 public:
  TGradientBar();
  std::string ClassName() const override { return "TGradientBar"; }
  void Assign(TPersistent* Source) override;

  // Index 0 is Color, 1 ColorTo; any other raises EInvalidPropertyIndex.
  TColor GetColor(int32_t Index) const;
  void SetColor(int32_t Index, TColor Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { SetColor(0, Value); }
  TColor ColorTo() const { return FColorTo; }
  void SetColorTo(TColor Value) { SetColor(1, Value); }
  TGradientDirection GradientDirection() const { return FGradientDirection; }
  void SetGradientDirection(TGradientDirection Value) { FGradientDirection = Value; }

  TStyMainMenu* Menu() const { return FMenu; }
  void SetMenu(TStyMainMenu* Menu) { FMenu = Menu; }

 protected:
  void Refresh() const { RefreshStyledMenu(FMenu, false); }
  void Relayout() const { RefreshStyledMenu(FMenu, true); }
  TColor FColor = 0xD8BDAF;
  TColor FColorTo = clNone;
  TGradientDirection FGradientDirection = TGradientDirection::gdVertical;
  TStyMainMenu* FMenu = nullptr;
};

// Check and radio box colours shared by the icon bar and the selected item.
struct TMarkColors {
  TColor Color[2];
  TColor Border;
  TGradientDirection Direction = TGradientDirection::gdVertical;
};

// A gradient part that also colours the boxes behind check and radio marks.
class TMarkedBar : public TGradientBar {
 public:
  TMarkedBar(TColor Mark, TColor Border) : FCheck{{Mark, clNone}, Border}, FRadio{{Mark, clNone}, Border} {}
  // Index 0 is the colour, 1 the colour-to; a write refreshes the menu.
  TColor GetCheckColor(int32_t Index) const;
  void SetCheckColor(int32_t Index, TColor Value);
  TColor CheckColor() const { return FCheck.Color[0]; }
  TColor CheckColorTo() const { return FCheck.Color[1]; }
  TColor CheckBorder() const { return FCheck.Border; }
  void SetCheckBorder(TColor Value) { FCheck.Border = Value; }
  TGradientDirection CheckGradientDirection() const { return FCheck.Direction; }
  void SetCheckGradientDirection(TGradientDirection Value) { FCheck.Direction = Value; }
  TColor GetRadioColor(int32_t Index) const;
  void SetRadioColor(int32_t Index, TColor Value);
  TColor RadioColor() const { return FRadio.Color[0]; }
  TColor RadioColorTo() const { return FRadio.Color[1]; }
  TColor RadioBorder() const { return FRadio.Border; }
  void SetRadioBorder(TColor Value) { FRadio.Border = Value; }
  TGradientDirection RadioGradientDirection() const { return FRadio.Direction; }
  void SetRadioGradientDirection(TGradientDirection Value) { FRadio.Direction = Value; }
  const TMarkColors& Check() const { return FCheck; }
  const TMarkColors& Radio() const { return FRadio; }

 protected:
  TMarkColors FCheck, FRadio;
};

class TIconBar : public TMarkedBar {
 public:
  TIconBar();
  std::string ClassName() const override { return "TIconBar"; }
  void Assign(TPersistent* Source) override;
  TColor SeparatorColor() const { return FSeparatorColor; }
  void SetSeparatorColor(TColor Value) { FSeparatorColor = Value; }
  // Never below 16 pixels.
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Value);

 private:
  TColor FSeparatorColor = clNone;
  int32_t FSize = 24;
};

class TSelectedItem : public TMarkedBar {
 public:
  TSelectedItem();
  std::string ClassName() const override { return "TSelectedItem"; }
  void Assign(TPersistent* Source) override;

  TColor ColorMirror() const { return FColorMirror; }
  void SetColorMirror(TColor Value) { FColorMirror = Value; }
  TColor ColorMirrorTo() const { return FColorMirrorTo; }
  void SetColorMirrorTo(TColor Value) { FColorMirrorTo = Value; }
  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor Value) { FBorderColor = Value; }
  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont* Value);
  bool UseSystemFont() const { return FUseSystemFont; }
  void SetUseSystemFont(bool Value);

 private:
  TColor FColorMirror = clNone, FColorMirrorTo = clNone;
  TColor FBorderColor = 0x6F4B4B;
  std::unique_ptr<TFont> FFont;
  bool FUseSystemFont = true;
};

// The look of one state of a menu-bar item (selected or hot).
struct TRootLook {
  TColor Color[4];  // colour, colour-to, mirror, mirror-to
  TGradientDirection Direction = TGradientDirection::gdVertical;
  TColor BorderColor;
  TColor TextColor;
};

class TRootItem : public TGradientBar {
 public:
  TRootItem();
  std::string ClassName() const override { return "TRootItem"; }
  void Assign(TPersistent* Source) override;

  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont* Value);
  bool UseSystemFont() const { return FUseSystemFont; }
  void SetUseSystemFont(bool Value);
  // Index 0..3: colour, colour-to, mirror colour, mirror colour-to.
  TColor GetSelectedColor(int32_t Index) const;
  void SetSelectedColor(int32_t Index, TColor Value);
  TColor GetHoverColor(int32_t Index) const;
  void SetHoverColor(int32_t Index, TColor Value);
  TGradientDirection SelectedGradientDirection() const { return FSelected.Direction; }
  void SetSelectedGradientDirection(TGradientDirection Value) { FSelected.Direction = Value; }
  TColor SelectedBorderColor() const { return FSelected.BorderColor; }
  void SetSelectedBorderColor(TColor Value) { FSelected.BorderColor = Value; }
  TColor SelectedTextColor() const { return FSelected.TextColor; }
  void SetSelectedTextColor(TColor Value) { FSelected.TextColor = Value; }
  TGradientDirection HoverGradientDirection() const { return FHover.Direction; }
  void SetHoverGradientDirection(TGradientDirection Value) { FHover.Direction = Value; }
  TColor HoverBorderColor() const { return FHover.BorderColor; }
  void SetHoverBorderColor(TColor Value) { FHover.BorderColor = Value; }
  TColor HoverTextColor() const { return FHover.TextColor; }
  void SetHoverTextColor(TColor Value) { FHover.TextColor = Value; }

  const TRootLook& Selected() const { return FSelected; }
  const TRootLook& Hover() const { return FHover; }

 private:
  std::unique_ptr<TFont> FFont;
  bool FUseSystemFont = true;
  TRootLook FSelected{{0xF2E8E8, 0xCDB8B9, clNone, clNone}, TGradientDirection::gdVertical, 0x947C7C, clWindowText};
  TRootLook FHover{{0xCFF6FF, 0x9DD8FF, clNone, clNone}, TGradientDirection::gdVertical, 0x6F4B4B, clWindowText};
};

// A gradient with an optional picture: the popup background and the side bar's two layers.
class TBackground : public TGradientBar {
 public:
  TBackground();
  ~TBackground() override;
  std::string ClassName() const override { return "TBackground"; }
  void Assign(TPersistent* Source) override;

  // Created on first read; a bitmap read here is marked transparent (bottom-left pixel).
  TPicture* Image();
  // Copies Value's picture; nil drops the picture object.
  void SetImage(const TPicture* Value);
  // True when the part holds a non-empty picture (does not create one).
  bool HasPicture() const;
  TBackgroundPosition Position() const { return FPosition; }
  void SetPosition(TBackgroundPosition Value) { FPosition = Value; }
  int32_t OffsetX() const { return FOffsetX; }
  void SetOffsetX(int32_t Value) { FOffsetX = Value; }
  int32_t OffsetY() const { return FOffsetY; }
  void SetOffsetY(int32_t Value) { FOffsetY = Value; }
  int32_t MarginX() const { return FMarginX; }
  void SetMarginX(int32_t Value) { FMarginX = Value; }
  int32_t MarginY() const { return FMarginY; }
  void SetMarginY(int32_t Value) { FMarginY = Value; }
  // The top-left corner for the picture inside R.
  void GetPicturePosition(const TRect& R, int32_t& X, int32_t& Y) const;
  TBitmap* CacheBitmap();

 private:
  std::unique_ptr<TPicture> FImage;
  std::unique_ptr<TBitmap> FCache;
  TBackgroundPosition FPosition = TBackgroundPosition::bpCenter;
  int32_t FOffsetX = 0, FOffsetY = 0, FMarginX = 0, FMarginY = 0;
};

class TSeparator : public TGradientBar {
 public:
  TSeparator();
  std::string ClassName() const override { return "TSeparator"; }
  void Assign(TPersistent* Source) override;
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value) { FWidth = Value; }
  TGradientType GradientType() const { return FGradientType; }
  void SetGradientType(TGradientType Value) { FGradientType = Value; }
  int32_t GradientWidth() const { return FGradientWidth; }
  void SetGradientWidth(int32_t Value) { FGradientWidth = Value; }
  int32_t Margin() const { return FMargin; }
  void SetMargin(int32_t Value) { FMargin = Value; }

 private:
  int32_t FWidth = 1;
  TGradientType FGradientType = TGradientType::gtBoth;
  int32_t FGradientWidth = 0;
  int32_t FMargin = 2;
};

// The monochrome sub-menu arrow, check mark and radio dot.
class TMenuGlyphs : public TPersistent {
 public:
  TMenuGlyphs();
  std::string ClassName() const override { return "TMenuGlyphs"; }
  void Assign(TPersistent* Source) override;
  TBitmap* SubMenu() const { return FSubMenu.get(); }
  void SetSubMenu(const TBitmap* Value);
  TBitmap* Check() const { return FCheck.get(); }
  void SetCheck(const TBitmap* Value);
  TBitmap* Radio() const { return FRadio.get(); }
  void SetRadio(const TBitmap* Value);
  TStyMainMenu* Menu() const { return FMenu; }
  void SetMenu(TStyMainMenu* Menu) { FMenu = Menu; }

 private:
  void Store(TBitmap& Own, const TBitmap* Value);
  std::unique_ptr<TBitmap> FSubMenu, FCheck, FRadio;
  TStyMainMenu* FMenu = nullptr;
};

// The caption painted along the side bar.
class TBarCaption : public TPersistent {
 public:
  TBarCaption();
  std::string ClassName() const override { return "TBarCaption"; }
  void Assign(TPersistent* Source) override;
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont* Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value) { FAlignment = Value; }
  TDirection Direction() const { return FDirection; }
  void SetDirection(TDirection Value) { FDirection = Value; }
  TColor ShadowColor() const { return FShadowColor; }
  void SetShadowColor(TColor Value) { FShadowColor = Value; }
  int32_t Depth() const { return FDepth; }
  void SetDepth(int32_t Value) { FDepth = Value; }
  // Distance of a justified caption from the side bar's end.
  int32_t EndOffset() const { return FEndOffset; }
  TStyMainMenu* Menu() const { return FMenu; }
  void SetMenu(TStyMainMenu* Menu) { FMenu = Menu; }

 protected:
  TStyMainMenu* FMenu = nullptr;

 private:
  std::string FCaption;
  std::unique_ptr<TFont> FFont;
  TAlignment FAlignment = TAlignment::taLeftJustify;
  TDirection FDirection = TDirection::dDownToUp;
  TColor FShadowColor = clNone;
  int32_t FDepth = 1;
  int32_t FEndOffset = 6;
};

class TSideBar : public TBarCaption {
 public:
  TSideBar();
  std::string ClassName() const override { return "TSideBar"; }
  void Assign(TPersistent* Source) override;
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  TSideBarVisibleIn VisibleIn() const { return FVisibleIn; }
  void SetVisibleIn(TSideBarVisibleIn Value) { FVisibleIn = Value; }
  TBackground* Image() const { return FImage.get(); }
  void SetImage(TBackground* Value);
  TBackground* Background() const { return FBackground.get(); }
  void SetBackground(TBackground* Value);
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Value) { FSize = Value; }
  TColor SplitterColor() const { return FSplitterColor; }
  void SetSplitterColor(TColor Value) { FSplitterColor = Value; }
  TColor SplitterColorTo() const { return FSplitterColorTo; }
  void SetSplitterColorTo(TColor Value) { FSplitterColorTo = Value; }
  int32_t SplitterWidth() const { return FSplitterWidth; }
  void SetSplitterWidth(int32_t Value) { FSplitterWidth = Value; }
  int32_t SplitterMargin() const { return FSplitterMargin; }
  void SetSplitterMargin(int32_t Value) { FSplitterMargin = Value; }
  int32_t SplitterGradientWidth() const { return FSplitterGradientWidth; }
  void SetSplitterGradientWidth(int32_t Value) { FSplitterGradientWidth = Value; }
  TGradientType SplitterGradientType() const { return FSplitterGradientType; }
  void SetSplitterGradientType(TGradientType Value) { FSplitterGradientType = Value; }
  TColor BorderColor() const { return FBorderColor; }
  void SetBorderColor(TColor Value) { FBorderColor = Value; }

 private:
  bool FVisible = false;
  TSideBarVisibleIn FVisibleIn = TSideBarVisibleIn::viFirstVisible;
  std::unique_ptr<TBackground> FImage, FBackground;
  int32_t FSize = 24;
  TColor FSplitterColor = clGray, FSplitterColorTo = clNone;
  int32_t FSplitterWidth = 1, FSplitterMargin = 0, FSplitterGradientWidth = 0;
  TGradientType FSplitterGradientType = TGradientType::gtBoth;
  TColor FBorderColor = 0xA19D9D;
};

class TCustomStyMenuStyler : public TComponent {
 public:
  explicit TCustomStyMenuStyler(TComponent* AOwner);
  ~TCustomStyMenuStyler() override;
  std::string ClassName() const override { return "TCustomStyMenuStyler"; }
  void Assign(TPersistent* Source) override;

  TBackground* Background() const { return FBackground.get(); }
  void SetBackground(TBackground* Value);
  TIconBar* IconBar() const { return FIconBar.get(); }
  void SetIconBar(TIconBar* Value);
  TSelectedItem* SelectedItem() const { return FSelectedItem.get(); }
  void SetSelectedItem(TSelectedItem* Value);
  TRootItem* RootItem() const { return FRootItem.get(); }
  void SetRootItem(TRootItem* Value);
  TMenuGlyphs* Glyphs() const { return FGlyphs.get(); }
  void SetGlyphs(TMenuGlyphs* Value);
  TSideBar* SideBar() const { return FSideBar.get(); }
  void SetSideBar(TSideBar* Value);
  TSeparator* Separator() const { return FSeparator.get(); }
  void SetSeparator(TSeparator* Value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont* Value);
  bool UseSystemFont() const { return FUseSystemFont; }
  void SetUseSystemFont(bool Value);
  TColor MenuBorderColor() const { return FMenuBorderColor; }
  void SetMenuBorderColor(TColor Value) { FMenuBorderColor = Value; }

  // Called by the menu that draws with this styler: every part learns the menu.
  void AttachMenu(TStyMainMenu* Menu);
  TStyMainMenu* Menu() const { return FMenu; }
  // The popup background picture composed at the popup's size.
  TBitmap* WorkBitmap() const { return FWorkBitmap.get(); }
  // Fired when Font changes (the attached menu listens).
  TNotifyEvent OnFontChange;

 protected:
  virtual bool AcceptsAssignFrom(TPersistent* Source) const;

 private:
  // A part written through its property: copied into the styler's own, then the menu refreshed.
  void CopyPart(TPersistent& Own, TPersistent* Value, bool Relayout);
  std::unique_ptr<TSideBar> FSideBar;
  std::unique_ptr<TBackground> FBackground;
  std::unique_ptr<TIconBar> FIconBar;
  std::unique_ptr<TSelectedItem> FSelectedItem;
  std::unique_ptr<TRootItem> FRootItem;
  std::unique_ptr<TMenuGlyphs> FGlyphs;
  std::unique_ptr<TSeparator> FSeparator;
  std::unique_ptr<TFont> FFont;
  bool FUseSystemFont = true;
  TColor FMenuBorderColor = 0x7C7C94;
  TStyMainMenu* FMenu = nullptr;
  std::unique_ptr<TBitmap> FWorkBitmap;
};

class TStyMenuStyler : public TCustomStyMenuStyler {
 public:
  explicit TStyMenuStyler(TComponent* AOwner) : TCustomStyMenuStyler(AOwner) {}
  std::string ClassName() const override { return "TStyMenuStyler"; }
};

// The built-in glyph and texture pictures.
std::unique_ptr<TBitmap> LoadMenuBitmap(const std::string& ResourceName);

}  // namespace StyMenus
