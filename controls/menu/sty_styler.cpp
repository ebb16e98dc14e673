#include "controls/menu/sty_styler.h"

#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace StyMenus {

namespace {

[[noreturn]] void BadIndex(int32_t Index) {
  throw EInvalidPropertyIndex("Invalid property index " + std::to_string(Index) + ".");
}

TColor& Slot(TColor* Colors, int32_t Count, int32_t Index) {
  if (Index < 0 || Index >= Count) BadIndex(Index);
  return Colors[Index];
}

std::unique_ptr<TFont> SystemMenuFontCopy(TColor Color) {
  auto F = std::make_unique<TFont>();
  F->Assign(*Screen->MenuFont());
  F->SetColor(Color);
  return F;
}

void MarkTransparent(TBitmap& B) {
  B.SetTransparentMode(TTransparentMode::tmAuto);
  B.SetTransparent(true);
}

// Monochrome picture, white ground, black where Ink says so.
template <class F>
std::unique_ptr<TBitmap> MonoGlyph(int32_t W, int32_t H, F Ink) {
  auto B = std::make_unique<TBitmap>(W, H, TPixelFormat::pf1bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) B->SetPixel(X, Y, Ink(X, Y) ? 0x000000 : 0xFFFFFF);
  return B;
}

// The tiled popup texture: rose cloth from a fixed seed, with white flecks. Its bottom-left
// pixel, the colour a bitmap is transparent in, is one of the flecks, so the holes it leaves show
// white as well.
std::unique_ptr<TBitmap> Texture() {
  constexpr int32_t W = 52, H = 54;
  constexpr uint8_t Fleck = 255;
  auto B = std::make_unique<TBitmap>(W, H, TPixelFormat::pf8bit);
  std::vector<TRGBQuad> Table(256);
  for (int I = 0; I < Fleck; ++I) {
    Table[I].rgbRed = static_cast<uint8_t>(190 + I * 50 / 255);
    Table[I].rgbGreen = static_cast<uint8_t>(130 + I * 50 / 255);
    Table[I].rgbBlue = static_cast<uint8_t>(125 + I * 45 / 255);
  }
  Table[Fleck] = TRGBQuad{255, 255, 255, 0};
  B->SetColorTable(Table);
  uint32_t Seed = 0x5EED1234u;
  auto Next = [&Seed] {
    Seed = Seed * 1664525u + 1013904223u;
    return Seed >> 24;
  };
  for (int32_t Y = 0; Y < H; ++Y) {
    auto* Row = static_cast<uint8_t*>(B->ScanLine(Y));
    for (int32_t X = 0; X < W; ++X) {
      int32_t Wave = ((X * 7 + Y * 3) % W) < W / 2 ? 20 : 0;
      uint32_t N = Next();
      Row[X] = N > 252 ? Fleck : static_cast<uint8_t>(90 + Wave + N / 3);
    }
  }
  static_cast<uint8_t*>(B->ScanLine(H - 1))[0] = Fleck;
  return B;
}

}  // namespace

std::unique_ptr<TBitmap> LoadMenuBitmap(const std::string& ResourceName) {
  if (ResourceName == "ADVSUBMENUITEM") {
    // A solid triangle pointing right.
    return MonoGlyph(4, 7, [](int32_t X, int32_t Y) { return Y >= X && Y <= 6 - X; });
  }
  if (ResourceName == "ADVCHECKITEM") {
    return MonoGlyph(16, 16, [](int32_t X, int32_t Y) {
      // Short stroke down from (4, 7) to (6, 9), long stroke up to (11, 4); three pixels thick.
      int32_t Top = X <= 6 ? X + 3 : 15 - X;
      return X >= 4 && X <= 11 && Y >= Top && Y <= Top + 2;
    });
  }
  if (ResourceName == "ADVRADIOITEM") {
    return MonoGlyph(16, 16, [](int32_t X, int32_t Y) {
      bool In = X >= 5 && X <= 10 && Y >= 5 && Y <= 10;
      bool Corner = (X == 5 || X == 10) && (Y == 5 || Y == 10);
      return In && !Corner;
    });
  }
  if (ResourceName == "MENUTEXTURE") return Texture();
  return std::make_unique<TBitmap>();
}

// ---- TGradientBar --------------------------------------------------------------------------

TGradientBar::TGradientBar() = default;

TColor TGradientBar::GetColor(int32_t Index) const {
  if (Index == 0) return FColor;
  if (Index == 1) return FColorTo;
  BadIndex(Index);
}

void TGradientBar::SetColor(int32_t Index, TColor Value) {
  if (Index == 0) FColor = Value;
  else if (Index == 1) FColorTo = Value;
  else BadIndex(Index);
}

void TGradientBar::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TGradientBar*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  FColor = S->FColor;
  FColorTo = S->FColorTo;
  FGradientDirection = S->FGradientDirection;
}

// ---- TMarkedBar, TIconBar ------------------------------------------------------------------

TColor TMarkedBar::GetCheckColor(int32_t Index) const { return Slot(const_cast<TColor*>(FCheck.Color), 2, Index); }
void TMarkedBar::SetCheckColor(int32_t Index, TColor Value) {
  Slot(FCheck.Color, 2, Index) = Value;
  Refresh();
}
TColor TMarkedBar::GetRadioColor(int32_t Index) const { return Slot(const_cast<TColor*>(FRadio.Color), 2, Index); }
void TMarkedBar::SetRadioColor(int32_t Index, TColor Value) {
  Slot(FRadio.Color, 2, Index) = Value;
  Refresh();
}

TIconBar::TIconBar() : TMarkedBar(0x6FC0FF, 0x6F4B4B) {
  FColor = 0xFFF9F9;
  FColorTo = 0xBBA0A1;
  FGradientDirection = TGradientDirection::gdHorizontal;
}

void TIconBar::SetSize(int32_t Value) {
  FSize = Value > 16 ? Value : 16;
  Relayout();
}

void TIconBar::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TIconBar*>(Source);
  if (!S) {
    TGradientBar::Assign(Source);
    return;
  }
  SetCheckColor(0, S->CheckColor());
  SetCheckColor(1, S->CheckColorTo());
  FCheck.Border = S->FCheck.Border;
  FCheck.Direction = S->FCheck.Direction;
  SetRadioColor(0, S->RadioColor());
  SetRadioColor(1, S->RadioColorTo());
  FRadio.Border = S->FRadio.Border;
  FRadio.Direction = S->FRadio.Direction;
  SetSize(S->FSize);
  FSeparatorColor = S->FSeparatorColor;
}

// ---- TSelectedItem -------------------------------------------------------------------------

TSelectedItem::TSelectedItem() : TMarkedBar(0x3E80FE, 0x6F4B4B), FFont(SystemMenuFontCopy(clWindowText)) {
  FColor = 0xC2EEFF;
  FColorTo = clNone;
  FGradientDirection = TGradientDirection::gdVertical;
}

void TSelectedItem::SetFont(const TFont* Value) {
  if (Value) FFont->Assign(*Value);
  Relayout();
}

void TSelectedItem::SetUseSystemFont(bool Value) {
  FUseSystemFont = Value;
  Relayout();
}

void TSelectedItem::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TSelectedItem*>(Source);
  if (!S) {
    TGradientBar::Assign(Source);
    return;
  }
  FColorMirror = S->FColorMirror;
  FColorMirrorTo = S->FColorMirrorTo;
  FBorderColor = S->FBorderColor;
  FFont->Assign(*S->FFont);
  SetUseSystemFont(S->FUseSystemFont);
  FCheck.Color[0] = S->FCheck.Color[0];
  FCheck.Color[1] = S->FCheck.Color[1];
  FCheck.Direction = S->FCheck.Direction;
  FRadio = S->FRadio;
}

// ---- TRootItem -----------------------------------------------------------------------------

TRootItem::TRootItem() : FFont(SystemMenuFontCopy(clMenuText)) {
  FColor = 0xE5D7D7;
  FColorTo = 0xF7F2F2;
  FGradientDirection = TGradientDirection::gdHorizontal;
}

void TRootItem::SetFont(const TFont* Value) {
  if (Value) FFont->Assign(*Value);
  Relayout();
}

void TRootItem::SetUseSystemFont(bool Value) {
  FUseSystemFont = Value;
  Relayout();
}

TColor TRootItem::GetSelectedColor(int32_t Index) const {
  return Slot(const_cast<TColor*>(FSelected.Color), 4, Index);
}
void TRootItem::SetSelectedColor(int32_t Index, TColor Value) {
  Slot(FSelected.Color, 4, Index) = Value;
  Relayout();
}
TColor TRootItem::GetHoverColor(int32_t Index) const { return Slot(const_cast<TColor*>(FHover.Color), 4, Index); }
void TRootItem::SetHoverColor(int32_t Index, TColor Value) {
  Slot(FHover.Color, 4, Index) = Value;
  Relayout();
}

void TRootItem::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TRootItem*>(Source);
  if (!S) {
    TGradientBar::Assign(Source);
    return;
  }
  FFont->Assign(*S->FFont);
  FUseSystemFont = S->FUseSystemFont;
  SetSelectedColor(0, S->FSelected.Color[0]);
  SetSelectedColor(1, S->FSelected.Color[1]);
  FSelected.Direction = S->FSelected.Direction;
  FSelected.BorderColor = S->FSelected.BorderColor;
  FSelected.TextColor = S->FSelected.TextColor;
  SetHoverColor(0, S->FHover.Color[0]);
  SetHoverColor(1, S->FHover.Color[1]);
  FHover.Direction = S->FHover.Direction;
  FHover.BorderColor = S->FHover.BorderColor;
  FHover.TextColor = S->FHover.TextColor;
  SetSelectedColor(2, S->FSelected.Color[2]);
  SetSelectedColor(3, S->FSelected.Color[3]);
}

// ---- TBackground ---------------------------------------------------------------------------

TBackground::TBackground() {
  FColor = 0xFFFAFD;
  FColorTo = clNone;
  FGradientDirection = TGradientDirection::gdVertical;
}

TBackground::~TBackground() = default;

TPicture* TBackground::Image() {
  if (!FImage) FImage = std::make_unique<TPicture>();
  if (auto* B = dynamic_cast<TBitmap*>(FImage->Graphic())) MarkTransparent(*B);
  return FImage.get();
}

void TBackground::SetImage(const TPicture* Value) {
  if (Value && Value->Graphic()) {
    Image()->Assign(Value);
  } else {
    FImage.reset();
  }
  Refresh();
}

bool TBackground::HasPicture() const { return FImage && FImage->Graphic() && !FImage->Graphic()->Empty(); }

TBitmap* TBackground::CacheBitmap() {
  if (!FCache) FCache = std::make_unique<TBitmap>(0, 0, TPixelFormat::pf32bit);
  return FCache.get();
}

void TBackground::GetPicturePosition(const TRect& R, int32_t& X, int32_t& Y) const {
  X = R.Left;
  Y = R.Top;
  if (!HasPicture()) return;
  int32_t W = R.Right - R.Left, H = R.Bottom - R.Top;
  int32_t w = FImage->Graphic()->Width(), h = FImage->Graphic()->Height();
  using P = TBackgroundPosition;
  switch (FPosition) {
    case P::bpTopLeft:
    case P::bpBottomLeft: X += FOffsetX; break;
    case P::bpTopRight:
    case P::bpBottomRight: X += W + FOffsetX - w; break;
    case P::bpTopCenter:
    case P::bpBottomCenter:
    case P::bpCenter: X += (W - w) / 2 + FOffsetX; break;
    default: break;
  }
  switch (FPosition) {
    case P::bpTopLeft:
    case P::bpTopRight:
    case P::bpTopCenter: Y += FOffsetY; break;
    case P::bpBottomLeft:
    case P::bpBottomRight:
    case P::bpBottomCenter: Y += H + FOffsetY - h; break;
    case P::bpCenter: Y += (H - h) / 2 + FOffsetY; break;
    default: break;
  }
}

void TBackground::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TBackground*>(Source);
  if (!S) {
    TGradientBar::Assign(Source);
    return;
  }
  SetImage(S->FImage.get());
  FOffsetX = S->FOffsetX;
  FOffsetY = S->FOffsetY;
  FPosition = S->FPosition;
}

// ---- TSeparator ----------------------------------------------------------------------------

TSeparator::TSeparator() {
  FColor = 0x8F6D6E;
  FColorTo = clNone;
  FGradientDirection = TGradientDirection::gdHorizontal;
}

void TSeparator::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TSeparator*>(Source)) {
    FWidth = S->FWidth;
    FGradientType = S->FGradientType;
    FGradientWidth = S->FGradientWidth;
    FMargin = S->FMargin;
  }
  TGradientBar::Assign(Source);
}

// ---- TMenuGlyphs ---------------------------------------------------------------------------

TMenuGlyphs::TMenuGlyphs()
    : FSubMenu(LoadMenuBitmap("ADVSUBMENUITEM")),
      FCheck(LoadMenuBitmap("ADVCHECKITEM")),
      FRadio(LoadMenuBitmap("ADVRADIOITEM")) {
  MarkTransparent(*FSubMenu);
  MarkTransparent(*FCheck);
  MarkTransparent(*FRadio);
}

void TMenuGlyphs::Store(TBitmap& Own, const TBitmap* Value) {
  if (Value) Own.Assign(*Value);
  MarkTransparent(Own);
  RefreshStyledMenu(FMenu, false);
}

void TMenuGlyphs::SetSubMenu(const TBitmap* Value) { Store(*FSubMenu, Value); }
void TMenuGlyphs::SetCheck(const TBitmap* Value) { Store(*FCheck, Value); }
void TMenuGlyphs::SetRadio(const TBitmap* Value) { Store(*FRadio, Value); }

void TMenuGlyphs::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TMenuGlyphs*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  SetSubMenu(S->FSubMenu.get());
  SetCheck(S->FCheck.get());
  SetRadio(S->FRadio.get());
}

// ---- TBarCaption, TSideBar -----------------------------------------------------------------

TBarCaption::TBarCaption() : FFont(std::make_unique<TFont>()) {
  FFont->SetName("Tahoma");
  FFont->SetSize(14);
  FFont->SetColor(clWhite);
  FFont->SetStyle({TFontStyle::fsBold, TFontStyle::fsItalic});
}

void TBarCaption::SetFont(const TFont* Value) {
  if (Value) FFont->Assign(*Value);
  RefreshStyledMenu(FMenu, true);
}

void TBarCaption::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TBarCaption*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  FEndOffset = S->FEndOffset;
  FAlignment = S->FAlignment;
  FCaption = S->FCaption;
  FFont->Assign(*S->FFont);
  FShadowColor = S->FShadowColor;
  FDepth = S->FDepth;
  FDirection = S->FDirection;
}

TSideBar::TSideBar() : FImage(std::make_unique<TBackground>()), FBackground(std::make_unique<TBackground>()) {}

void TSideBar::SetVisible(bool Value) {
  FVisible = Value;
  if (FMenu) RefreshStyledMenu(FMenu, true);
}

void TSideBar::SetImage(TBackground* Value) {
  FImage->Assign(Value);
  RefreshStyledMenu(FMenu, true);
}

void TSideBar::SetBackground(TBackground* Value) {
  FBackground->Assign(Value);
  if (FBackground->HasPicture() && dynamic_cast<TBitmap*>(FBackground->Image()->Graphic()))
    MarkTransparent(*FBackground->CacheBitmap());
  RefreshStyledMenu(FMenu, true);
}

void TSideBar::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TSideBar*>(Source)) {
    SetVisible(S->FVisible);
    FImage->Assign(S->FImage.get());
    FBackground->Assign(S->FBackground.get());
    FSize = S->FSize;
    FSplitterWidth = S->FSplitterWidth;
    FSplitterMargin = S->FSplitterMargin;
    FSplitterGradientWidth = S->FSplitterGradientWidth;
    FSplitterGradientType = S->FSplitterGradientType;
    FBorderColor = S->FBorderColor;
  }
  TBarCaption::Assign(Source);
}

// ---- the styler ----------------------------------------------------------------------------

TCustomStyMenuStyler::TCustomStyMenuStyler(TComponent* AOwner)
    : TComponent(AOwner),
      FSideBar(std::make_unique<TSideBar>()),
      FBackground(std::make_unique<TBackground>()),
      FIconBar(std::make_unique<TIconBar>()),
      FSelectedItem(std::make_unique<TSelectedItem>()),
      FRootItem(std::make_unique<TRootItem>()),
      FGlyphs(std::make_unique<TMenuGlyphs>()),
      FSeparator(std::make_unique<TSeparator>()),
      FFont(SystemMenuFontCopy(clMenuText)),
      FWorkBitmap(std::make_unique<TBitmap>(0, 0, TPixelFormat::pf32bit)) {
  RegisterStyMenuProperties();
  FFont->OnChange = [this](TGraphicsObject*) {
    if (OnFontChange) OnFontChange(this);
  };
}

TCustomStyMenuStyler::~TCustomStyMenuStyler() { FFont->OnChange = nullptr; }

void TCustomStyMenuStyler::CopyPart(TPersistent& Own, TPersistent* Value, bool Relayout) {
  Own.Assign(Value);
  RefreshStyledMenu(FMenu, Relayout);
}

void TCustomStyMenuStyler::SetBackground(TBackground* Value) { CopyPart(*FBackground, Value, false); }
void TCustomStyMenuStyler::SetIconBar(TIconBar* Value) { CopyPart(*FIconBar, Value, false); }
void TCustomStyMenuStyler::SetSelectedItem(TSelectedItem* Value) { CopyPart(*FSelectedItem, Value, false); }
void TCustomStyMenuStyler::SetRootItem(TRootItem* Value) { CopyPart(*FRootItem, Value, false); }
void TCustomStyMenuStyler::SetGlyphs(TMenuGlyphs* Value) { CopyPart(*FGlyphs, Value, false); }
void TCustomStyMenuStyler::SetSideBar(TSideBar* Value) { CopyPart(*FSideBar, Value, true); }
void TCustomStyMenuStyler::SetSeparator(TSeparator* Value) { CopyPart(*FSeparator, Value, false); }
void TCustomStyMenuStyler::SetFont(const TFont* Value) {
  if (Value) FFont->Assign(*Value);
  RefreshStyledMenu(FMenu, true);
}
void TCustomStyMenuStyler::SetUseSystemFont(bool Value) {
  FUseSystemFont = Value;
  RefreshStyledMenu(FMenu, true);
}

void TCustomStyMenuStyler::AttachMenu(TStyMainMenu* Menu) {
  FMenu = Menu;
  FBackground->SetMenu(Menu);
  FIconBar->SetMenu(Menu);
  FSelectedItem->SetMenu(Menu);
  FRootItem->SetMenu(Menu);
  FGlyphs->SetMenu(Menu);
  FSideBar->SetMenu(Menu);
  FSeparator->SetMenu(Menu);
  RefreshStyledMenu(Menu, false);
}

bool TCustomStyMenuStyler::AcceptsAssignFrom(TPersistent* Source) const {
  return dynamic_cast<TStyMenuStyler*>(Source) != nullptr;
}

void TCustomStyMenuStyler::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TCustomStyMenuStyler*>(Source);
  if (!S || !AcceptsAssignFrom(Source)) {
    TComponent::Assign(Source);
    return;
  }
  SetBackground(S->Background());
  SetIconBar(S->IconBar());
  SetSelectedItem(S->SelectedItem());
  SetRootItem(S->RootItem());
  SetGlyphs(S->Glyphs());
  SetSideBar(S->SideBar());
  SetSeparator(S->Separator());
  FFont->Assign(*S->Font());
  FUseSystemFont = S->FUseSystemFont;
}

}  // namespace StyMenus
