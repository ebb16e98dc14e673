#include "controls/menu/sty_menu_draw.h"

#include <algorithm>

#include "controls/menu/sty_main_menu.h"
#include "controls/menu/sty_menu_util.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"
#include "platform/ui/mdi.h"
#include "platform/ui/messages.h"

namespace StyMenus {

namespace {

constexpr uint32_t kWinKey = 0x200;
constexpr int32_t kPopupStrip = 17;

TCustomStyMenuStyler* StylerOf(const TMenuItem* Item) {
  IStyMenuHost* H = GetMenuHost(Item);
  return H ? H->GetActiveStyler() : nullptr;
}

TMenu* ParentMenuComponent(const TMenuItem* Item) {
  // The root item of a menu stands for the menu itself.
  const TMenuItem* P = Item->Parent();
  return P && !P->Parent() ? P->GetParentMenu() : nullptr;
}

std::vector<TMenuItem*> VisibleSiblings(const TMenuItem* Item) {
  std::vector<TMenuItem*> V;
  const TMenuItem* P = Item->Parent();
  if (!P) return V;
  for (int32_t i = 0; i < P->Count(); ++i)
    if (P->Items(i)->Visible()) V.push_back(P->Items(i));
  return V;
}

bool HasVisibleChild(const TMenuItem* Item) {
  for (int32_t i = 0; i < Item->Count(); ++i)
    if (Item->Items(i)->Visible()) return true;
  return false;
}

// Size of a button of the menu bar (the platform has no metric of its own for it).
int32_t MenuButtonSize() { return GetSystemMetrics(SM_CYMENU) - 1; }

const TFont& PlatformMenuFont() { return *Screen->MenuFont(); }

// The monochrome glyph's black pixels in Color; white ones are left alone.
void DrawMonoGlyph(TCanvas* Canvas, int32_t X, int32_t Y, const TBitmap* Glyph, TColor Color) {
  if (!Glyph || Glyph->Empty()) return;
  TBrush B;
  B.SetColor(Color);
  for (int32_t Row = 0; Row < Glyph->Height(); ++Row)
    for (int32_t Col = 0; Col < Glyph->Width(); ++Col)
      if ((Glyph->GetPixel(Col, Row) & 0xFFFFFF) != 0xFFFFFF) ::FillRect(Canvas, TRect(X + Col, Y + Row, X + Col + 1, Y + Row + 1), B);
}

TMenuItem* FirstVisibleChild(const TMenuItem* Item) {
  for (int32_t i = 0; i < Item->Count(); ++i)
    if (Item->Items(i)->Visible()) return Item->Items(i);
  return nullptr;
}

// The union of the rectangles of the item's siblings, in the item's paint coordinates.
TRect PopupItemsRect(const TMenuItem* Item) {
  TRect U(0, 0, 0, 0);
  bool Any = false;
  for (TMenuItem* S : VisibleSiblings(Item)) {
    TRect R;
    if (!S->ItemRect(R)) continue;
    if (!Any) U = R;
    else UnionRect(U, U, R);
    Any = true;
  }
  OffsetRect(U, -U.Left, -U.Top);
  return U;
}

}  // namespace

// ---- predicates ----------------------------------------------------------------------------

bool IsRootItem(const TMenuItem* Item) { return dynamic_cast<TMainMenu*>(ParentMenuComponent(Item)) != nullptr; }

bool IsTopLevelItem(const TMenuItem* Item) { return ParentMenuComponent(Item) != nullptr; }

bool IsFirstLevelItem(const TMenuItem* Item) {
  TMenu* M = ParentMenuComponent(Item);
  if (dynamic_cast<TPopupMenu*>(M)) return true;
  return Item->Parent() && IsRootItem(Item->Parent());
}

bool InFirstVisibleDropDown(const TMenuItem* Item) {
  TMenu* M = Item->GetParentMenu();
  if (!dynamic_cast<TMainMenu*>(M)) return IsTopLevelItem(Item);
  TMenuItem* First = FirstVisibleChild(M->Items());
  return First && Item->Parent() == First;
}

bool IsFirstVisibleItem(const TMenuItem* Item) {
  auto V = VisibleSiblings(Item);
  return !V.empty() && V.front() == Item;
}

bool IsAfterColumnBreak(const TMenuItem* Item) {
  const TMenuItem* P = Item->Parent();
  if (!P) return false;
  for (int32_t i = P->IndexOf(Item); i >= 0; --i)
    if (P->Items(i)->Visible() && P->Items(i)->Break()) return true;
  return false;
}

bool IsLastBarItem(const TMenuItem* Item) {
  if (!IsRootItem(Item)) return false;
  auto V = VisibleSiblings(Item);
  return !V.empty() && V.back() == Item;
}

bool SideBarShown(const TMenuItem* Item) {
  TCustomStyMenuStyler* S = StylerOf(Item);
  if (!S || !S->SideBar()->Visible()) return false;
  switch (S->SideBar()->VisibleIn()) {
    case TSideBarVisibleIn::viFirstVisible: return InFirstVisibleDropDown(Item);
    case TSideBarVisibleIn::viFirstLevel: return IsFirstLevelItem(Item);
    case TSideBarVisibleIn::viAnyLevel: return !IsRootItem(Item);
  }
  return false;
}

int32_t ItemLevel(const TMenuItem* Item) {
  int32_t N = 0;
  for (const TMenuItem* P = Item->Parent(); P; P = P->Parent()) ++N;
  return N - 1;
}

std::string MenuShortCutText(TShortCut ShortCut) {
  std::string T = ShortCutToText(ShortCut);
  return (ShortCut & kWinKey) ? "Win+" + T : T;
}

// ---- measuring -----------------------------------------------------------------------------

void MeasureStyledItem(TMenuItem* Item, TCanvas* Canvas, int32_t& Width, int32_t& Height, bool SideBar) {
  TCustomStyMenuStyler* S = StylerOf(Item);
  if (!S) return;
  bool Root = IsRootItem(Item);
  if (Root) Width = Height = MenuButtonSize();
  if (Item->IsLine()) {
    Height = S->Separator()->Width() + 2;
    Width = -2;
    return;
  }
  if (!Root) Width = S->IconBar()->Size();
  TImageList* IL = Item->GetImageList();
  if (IL && (Item->ImageIndex() > -1 || !Root)) {
    if (Root) Width = IL->Width();
    else Height = std::max(Height, IL->Height());
  } else if (Item->HasBitmap() && !Item->Bitmap()->Empty()) {
    if (Root) Width = 16;
    else Height = std::max(Height, 16);
  } else {
    if (Root) Width = -7;
    else Height -= 3;
  }
  if (!Root) {
    Width += 15;
    Height += 5;
  }
  std::string Text = Item->Caption();
  if (Item->ShortCut()) Text += MenuShortCutText(Item->ShortCut());
  SaveDC(Canvas);
  TFont Saved;
  Saved.Assign(*Canvas->Font());
  if (IsTopLevelItem(Item)) {
    Canvas->Font()->Assign(S->RootItem()->UseSystemFont() ? PlatformMenuFont() : *S->RootItem()->Font());
  } else if (!S->UseSystemFont()) {
    Canvas->Font()->Assign(*S->Font());
  } else if (!S->SelectedItem()->UseSystemFont()) {
    Canvas->Font()->Assign(*S->SelectedItem()->Font());
  } else {
    Canvas->Font()->Assign(PlatformMenuFont());
  }
  TRect T(0, 0, 0, 0);
  DrawText(Canvas, Text, T, DT_CALCRECT | DT_SINGLELINE);
  Width += RectWidth(T) + 7;
  if (!S->UseSystemFont()) Height = RectHeight(T) + 6;
  if (!Root) {
    if (Item->ShortCut() & kWinKey) Width += Canvas->TextWidth("Win+");
    if (SideBar && !IsAfterColumnBreak(Item)) Width += S->SideBar()->Size() + S->SideBar()->SplitterWidth();
    Height = ((Height + 1) / 2) * 2;
    Width += kPopupStrip;
  }
  Canvas->Font()->Assign(Saved);
  RestoreDC(Canvas, -1);
}

// ---- painting ------------------------------------------------------------------------------

namespace {

struct TBody {
  TMenuItem* Item;
  TCanvas* Canvas;
  TCustomStyMenuStyler& S;
  TOwnerDrawState State;
  TRect R, K, G;
  bool Selected() const { return State.Contains(odSelected); }
  bool Disabled() const { return State.Contains(odDisabled); }
};

void DrawItemText(const TBody& B, const std::string& Text, uint32_t Format, TRect& R) {
  TCanvas* C = B.Canvas;
  std::string T = Text;
  if ((Format & DT_CALCRECT) && (T.empty() || T == "&")) T += " ";
  SetBkMode(C, TRANSPARENT);
  C->Brush()->SetStyle(TBrushStyle::bsClear);
  TCustomStyMenuStyler& S = B.S;
  if (IsTopLevelItem(B.Item)) {
    C->Font()->Assign(S.RootItem()->UseSystemFont() ? PlatformMenuFont() : *S.RootItem()->Font());
    if (B.Selected() && S.RootItem()->SelectedTextColor() != clNone)
      C->Font()->SetColor(S.RootItem()->SelectedTextColor());
    else if (B.State.Contains(odHotLight) && S.RootItem()->HoverTextColor() != clNone)
      C->Font()->SetColor(S.RootItem()->HoverTextColor());
  } else if (!B.Selected()) {
    C->Font()->Assign(S.UseSystemFont() ? PlatformMenuFont() : *S.Font());
  } else {
    C->Font()->Assign(S.SelectedItem()->UseSystemFont() ? PlatformMenuFont() : *S.SelectedItem()->Font());
  }
  if (B.Item->Default()) {
    TFontStyles St = C->Font()->Style();
    St.Include(TFontStyle::fsBold);
    C->Font()->SetStyle(St);
  }
  if (B.Disabled()) {
    if (!B.Selected()) {
      TRect O = R;
      OffsetRect(O, 1, 1);
      SetTextColor(C, clBtnHighlight);
      DrawText(C, T, O, Format);
      C->Font()->SetColor(clBtnShadow);
    } else {
      C->Font()->SetColor(ColorToRGB(clHighlight) == ColorToRGB(clBtnShadow) ? clBtnHighlight : clBtnShadow);
    }
  }
  SetTextColor(C, C->Font()->Color());
  DrawText(C, T, R, Format);
}

void DrawCheckGlyph(TBody& B) {
  bool Radio = B.Item->RadioItem();
  const TMarkColors& Sel = Radio ? B.S.SelectedItem()->Radio() : B.S.SelectedItem()->Check();
  const TMarkColors& Bar = Radio ? B.S.IconBar()->Radio() : B.S.IconBar()->Check();
  const TMarkColors& M = B.Selected() ? Sel : Bar;
  DrawGradientFrame(B.Canvas, B.K, M.Color[0], M.Color[1], M.Direction, M.Border, !B.Disabled());
  TBitmap Mark;
  Mark.Assign(Radio ? *B.S.Glyphs()->Radio() : *B.S.Glyphs()->Check());
  if (B.Selected()) {
    TBrush F;
    F.SetColor(B.S.SelectedItem()->BorderColor());
    if (B.S.SelectedItem()->BorderColor() != clNone) ::FrameRect(B.Canvas, B.R, F);
  }
  DrawMonoGlyph(B.Canvas, B.G.Left, B.G.Top, &Mark, clBtnText);
}

void DrawSubMenuArrow(TBody& B) {
  const TBitmap* Arrow = B.S.Glyphs()->SubMenu();
  int32_t Y = (B.R.Top + B.R.Bottom - 5) / 2;
  TRect A = FitRectCentered(TRect(B.R.Right - 8, Y, B.R.Right - 5, Y + 6), Arrow->Width(), Arrow->Height());
  DrawMonoGlyph(B.Canvas, A.Left, A.Top, Arrow, clBlack);
}

void DrawItemBody(TBody& B) {
  TMenuItem* It = B.Item;
  TCustomStyMenuStyler& S = B.S;
  TCanvas* C = B.Canvas;
  const TRect& R = B.R;
  bool Root = IsRootItem(It);
  TRootItem* RI = S.RootItem();
  if (Root && (B.Selected() || B.State.Contains(odHotLight))) {
    const TRootLook& L = B.Selected() ? RI->Selected() : RI->Hover();
    if (L.Color[2] == clNone) DrawGradientFrame(C, R, L.Color[0], L.Color[1], L.Direction, L.BorderColor, true);
    else DrawMirrorGradientFrame(C, R, L.Color[0], L.Color[1], L.Color[2], L.Color[3], L.Direction, L.BorderColor, true);
    if (B.Selected() && HasVisibleChild(It) && S.Background()->Color() != clNone) {
      TBrush Line;
      Line.SetColor(S.Background()->Color());
      ::FillRect(C, TRect(R.Left, R.Bottom - 1, R.Right - 1, R.Bottom), Line);
    }
  } else if (Root) {
    if (RI->Color() != clNone) {
      auto* W = dynamic_cast<TCustomForm*>(It->GetParentMenu()->WindowHandleControl());
      if (!W) return;
      TRect F(0, R.Top, W->Width(), R.Bottom);
      TRect Part = R;
      if (IsLastBarItem(It)) {
        Part.Right = F.Right;
        TCustomForm* Owner = dynamic_cast<TCustomForm*>(It->GetParentMenu()->Owner());
        if (auto* Frame = dynamic_cast<TMDIForm*>(Owner)) Owner = Frame->ActiveMDIChild();
        if (Owner && FormStyleOf(Owner) == TFormStyle::fsMDIChild && Owner->Parent()) {
          bool Maximized = false;
          Owner->Parent()->Perform(WM_MDIGETACTIVE, 0, reinterpret_cast<intptr_t>(&Maximized));
          if (Maximized) Part.Right -= 3 * MenuButtonSize();
        }
      }
      FillGradientPart(C, F, Part, RI->Color(), RI->ColorTo(), RI->GradientDirection());
    }
  } else if (B.Selected()) {
    TSelectedItem* SI = S.SelectedItem();
    DrawMirrorGradientFrame(C, R, SI->Color(), SI->ColorTo(), SI->ColorMirror(), SI->ColorMirrorTo(),
                            SI->GradientDirection(), SI->BorderColor(), true);
  }
  uint32_t Align = Root ? DT_CENTER : DT_LEFT;
  TRect Cell(R.Left, R.Top + 1, R.Left + S.IconBar()->Size(), R.Bottom - 1);
  int32_t Side = std::min(RectWidth(Cell), RectHeight(Cell));
  B.K = FitRectCentered(Cell, Side, Side);
  TImageList* IL = It->GetImageList();
  TCustomImageList* ActionIL = It->ActionImages();
  bool HasImage = IL && It->ImageIndex() >= 0 && It->ImageIndex() < IL->Count();
  bool HasActionImage = ActionIL && It->ImageIndex() != -1 && It->ImageIndex() < ActionIL->Count();
  bool HasBitmap = It->HasBitmap() && !It->Bitmap()->Empty() && !HasImage;
  bool DrawsMark = It->Checked() && !Root && !HasImage && !HasBitmap;
  if (HasImage || HasActionImage || HasBitmap || DrawsMark) {
    B.G = B.K;
    // An action's own list wins over the menu's.
    TCustomImageList* Images = HasActionImage ? ActionIL : static_cast<TCustomImageList*>(IL);
    if (It->Checked() && (HasImage || HasBitmap)) {
      const TMarkColors& M = B.Selected() ? S.SelectedItem()->Check() : S.IconBar()->Check();
      DrawGradientFrame(C, B.K, M.Color[0], M.Color[1], M.Direction, M.Border, !B.Disabled());
    }
    auto AlignOnBar = [&] {
      if (Root) OffsetRect(B.G, R.Left + 6 - B.G.Left, 0);
    };
    if (HasImage || HasActionImage) {
      B.G = FitRectCentered(B.G, Images->Width(), Images->Height());
      AlignOnBar();
      if (It->ImageIndex() >= 0 && It->ImageIndex() < Images->Count())
        Images->Draw(C, B.G.Left, B.G.Top, It->ImageIndex(), It->Enabled());
    } else {
      B.G = FitRectCentered(B.G, 16, 16);
      AlignOnBar();
      if (DrawsMark) {
        DrawCheckGlyph(B);
      } else {
        TBitmap* Bmp = It->Bitmap();
        Bmp->SetTransparentMode(TTransparentMode::tmAuto);
        Bmp->SetTransparent(true);
        C->Draw(B.G.Left, B.G.Top, Bmp);
      }
    }
  }
  if (!Root && HasVisibleChild(It)) DrawSubMenuArrow(B);
  TRect T = R;
  if (!Root) T.Left += S.IconBar()->Size() + 8;
  else if (HasImage || HasBitmap) T.Left += RectWidth(B.G);
  uint32_t Format = Align | DT_SINGLELINE | DT_EXPANDTABS;
  TRect Saved = T;
  DrawItemText(B, It->Caption(), Format | DT_CALCRECT | DT_NOCLIP, T);
  OffsetRect(T, 0, (RectHeight(Saved) - RectHeight(T)) / 2);
  if (Root) {
    T.Left = Saved.Left;
    T.Right = Saved.Right;
  }
  DrawItemText(B, It->Caption(), Format, T);
  if (!Root && It->ShortCut()) {
    T.Left = T.Right;
    T.Right = Saved.Right - 10;
    DrawItemText(B, MenuShortCutText(It->ShortCut()), DT_RIGHT, T);
  }
}

void DrawSeparator(TCanvas* Canvas, const TRect& R, TCustomStyMenuStyler& S) {
  TSeparator* Sep = S.Separator();
  int32_t L = R.Left + S.IconBar()->Size();
  int32_t M = R.Top + RectHeight(R) / 2;
  int32_t W = Sep->Width();
  DrawGradientBand(Canvas, TRect(L, M - W / 2, R.Right, M + (W + 1) / 2), Sep->Color(), Sep->ColorTo(),
                   Sep->GradientDirection(), Sep->GradientType(), Sep->GradientWidth(), Sep->Margin());
}

}  // namespace

void DrawStyledItem(TMenuItem* Item, TCanvas* Canvas, const TRect& Rect, bool SideBar, TOwnerDrawState State) {
  TCustomStyMenuStyler* S = StylerOf(Item);
  if (!S) return;
  // The canvas is the window's: its brush and font go back as they were.
  struct TKeep {
    TCanvas* C;
    TBrush Brush;
    TFont Font;
    explicit TKeep(TCanvas* Canvas) : C(Canvas) {
      Brush.Assign(*C->Brush());
      Font.Assign(*C->Font());
    }
    ~TKeep() {
      C->Brush()->Assign(Brush);
      C->Font()->Assign(Font);
    }
  } Keep(Canvas);
  bool Sb = SideBar && !IsAfterColumnBreak(Item);
  TRect R = Rect;
  TSideBar* SB = S->SideBar();
  if (Sb) R.Left += SB->Size() + SB->SplitterWidth();
  if (!IsRootItem(Item)) {
    TRect P = PopupItemsRect(Item);
    P.Right -= kPopupStrip;
    if (Sb && IsFirstVisibleItem(Item)) DrawSideBar(Canvas, P, *S);
    TIconBar* IB = S->IconBar();
    TRect I(R.Left, P.Top, R.Left + IB->Size(), P.Bottom);
    FillGradientPart(Canvas, I, R, IB->Color(), IB->ColorTo(), IB->GradientDirection());
    if (IB->SeparatorColor() != clNone) {
      TBrush Line;
      Line.SetColor(IB->SeparatorColor());
      ::FillRect(Canvas, TRect(I.Right - 1, std::max(I.Top, R.Top), I.Right, std::min(I.Bottom, R.Bottom)), Line);
    }
    TBackground* BG = S->Background();
    TRect B = R;
    B.Left = I.Right;
    TRect F(I.Right, P.Top, R.Right, P.Bottom);
    if (BG->MarginX() > 0 || BG->MarginY() > 0) {
      if (BG->Color() != clNone) {
        TBrush Fill;
        Fill.SetColor(BG->Color());
        ::FillRect(Canvas, B, Fill);
      }
      B.Left += BG->MarginX();
      B.Right -= BG->MarginX();
      B.Top += BG->MarginY();
      B.Bottom -= BG->MarginY();
    }
    FillGradientPart(Canvas, F, B, BG->Color(), BG->ColorTo(), BG->GradientDirection());
    if (BG->HasPicture()) {
      TBitmap* Work = S->WorkBitmap();
      if (Work->Width() != RectWidth(P) || Work->Height() != RectHeight(P)) {
        Work->SetSize(RectWidth(P), RectHeight(P));
        PaintMenuBackground(Work->Canvas(), P, *BG, false);
      }
      BitBlt(Canvas, B.Left, B.Top, RectWidth(B), RectHeight(B), Work->Canvas(), B.Left, B.Top, SRCCOPY);
    }
  }
  if (Item->IsLine()) {
    DrawSeparator(Canvas, R, *S);
  } else {
    TBody Body{Item, Canvas, *S, State, R, {}, {}};
    DrawItemBody(Body);
  }
  DrawPopupFrame(Item, Canvas);
}

}  // namespace StyMenus
