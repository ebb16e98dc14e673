// The side bar along a popup and the popup window's shape, position and frame.
#include <algorithm>

#include "controls/menu/sty_main_menu.h"
#include "controls/menu/sty_menu_draw.h"
#include "controls/menu/sty_menu_util.h"
#include "platform/base/numeric.h"
#include "platform/ui/messages.h"

namespace StyMenus {

namespace {

constexpr int32_t kStrip = 17;

void DrawSideBarCaption(TCanvas* Canvas, const TRect& D, TSideBar& SB) {
  if (SB.Caption().empty()) return;
  SaveDC(Canvas);
  TFont Saved;
  Saved.Assign(*Canvas->Font());
  Canvas->Font()->Assign(*SB.Font());
  TSize Ext = Canvas->TextExtent(SB.Caption());
  int32_t tw = Ext.cx, th = Ext.cy, h = RectHeight(D);
  bool Up = SB.Direction() == TDirection::dDownToUp;
  auto Rotated = CreateRotatedFont(*SB.Font(), Up ? 90 : -90);
  int32_t X = static_cast<int32_t>(Round((SB.Size() - th) / 2.0 - 0.5));
  int32_t Y;
  TAlignment A = SB.Alignment();
  if (A == TAlignment::taCenter) {
    Y = static_cast<int32_t>(Round((h + tw) / 2.0 - 0.5));
  } else if ((A == TAlignment::taRightJustify) == Up) {
    Y = SB.EndOffset() + tw;
  } else {
    Y = h - SB.EndOffset();
    TBackground* Img = SB.Image();
    if (Img->HasPicture() && (Img->Position() == TBackgroundPosition::bpBottomLeft ||
                              Img->Position() == TBackgroundPosition::bpBottomRight))
      Y -= Img->Image()->Height();
  }
  if (!Up) {
    Y -= tw;
    X += th + 1;
  }
  X += D.Left;
  Y += D.Top;
  Canvas->Font()->Assign(*Rotated);
  SetBkMode(Canvas, TRANSPARENT);
  IntersectClipRect(Canvas, D.Left, D.Top, D.Right, D.Bottom + 1);
  if (SB.ShadowColor() != clNone) {
    SetTextColor(Canvas, SB.ShadowColor());
    TextOut(Canvas, X + SB.Depth(), Y - SB.Depth(), SB.Caption());
  }
  SetTextColor(Canvas, SB.Font()->Color());
  TextOut(Canvas, X, Y, SB.Caption());
  Canvas->Font()->Assign(Saved);
  RestoreDC(Canvas, -1);
  SetBkMode(Canvas, OPAQUE);
}

void DrawSideBarBorder(TCanvas* Canvas, const TRect& D, TSideBar& SB) {
  if (SB.BorderColor() == clNone) return;
  TBrush B;
  B.SetColor(SB.BorderColor());
  ::FrameRect(Canvas, TRect(D.Left, D.Top, D.Right - SB.SplitterWidth(), D.Bottom), B);
}

void DrawSideBarSplitter(TCanvas* Canvas, const TRect& D, TSideBar& SB) {
  if (SB.SplitterColor() == clNone) return;
  DrawGradientBand(Canvas, TRect(D.Right - SB.SplitterWidth(), D.Top, D.Right, D.Bottom), SB.SplitterColor(),
                   SB.SplitterColorTo(), TGradientDirection::gdVertical, SB.SplitterGradientType(),
                   SB.SplitterGradientWidth(), SB.SplitterMargin());
}

intptr_t PopupWindowProc(TMenuPopupWindow* Win, uint32_t Msg, uintptr_t WParam, intptr_t LParam) {
  if (Msg == WM_ERASEBKGND) return 1;
  TMenuPopupWindow::TProc Prev = Win->UserData;
  if ((Msg == WM_SHOWWINDOW && WParam == 0) || Msg == WM_CLOSE || Msg == WM_DESTROY) {
    Win->SetWindowRegion(nullptr);
    if (Prev) {
      Win->MenuWindowProc = Prev;
      Win->UserData = nullptr;
    }
  }
  return Prev ? Prev(Win, Msg, WParam, LParam) : 0;
}

void FrameIn(TCanvas* Canvas, const TRect& R, TColor Color) {
  TBrush B;
  B.SetColor(Color);
  ::FrameRect(Canvas, R, B);
}

}  // namespace

void DrawSideBar(TCanvas* Canvas, const TRect& P, TCustomStyMenuStyler& Styler) {
  TSideBar& SB = *Styler.SideBar();
  TRect D = P;
  D.Right = D.Left + SB.Size() + SB.SplitterWidth();
  PaintMenuBackground(Canvas, D, *SB.Background(), true);
  if (SB.Image()->Color() != clNone) PaintMenuBackground(Canvas, D, *SB.Image(), true);
  DrawSideBarCaption(Canvas, D, SB);
  DrawSideBarBorder(Canvas, D, SB);
  DrawSideBarSplitter(Canvas, D, SB);
}

bool PopupOpensRight(const TMenuItem* Item) {
  if (IsTopLevelItem(Item)) return true;
  const TMenuItem* Opener = Item->Parent();
  TMenuItem* First = nullptr;
  for (int32_t i = 0; i < Opener->Count() && !First; ++i)
    if (Opener->Items(i)->Visible()) First = Opener->Items(i);
  TRect F, O;
  if (!First || !First->ScreenRect(F) || F.Width() <= 0 || F.Height() <= 0) return true;
  if (!Opener->ScreenRect(O)) return true;
  return F.Left > O.Left || (F.Left == O.Left && F.Right > O.Right);
}

void DrawPopupFrame(TMenuItem* Item, TCanvas* Canvas) {
  TMenuPopupWindow* Win = MenuPopupOfCanvas(Canvas);
  if (!Win || IsRootItem(Item)) return;
  IStyMenuHost* Host = GetMenuHost(Item);
  TCustomStyMenuStyler* S = Host ? Host->GetActiveStyler() : nullptr;
  if (!S) return;
  TRect WR = Win->WindowRect();
  int32_t W = WR.Width(), H = WR.Height();
  int32_t Level = ItemLevel(Item);
  if (!Win->UserData) {
    Win->UserData = Win->MenuWindowProc;
    Win->MenuWindowProc = PopupWindowProc;
    TRect Region(1, 1, W - (kStrip + 1), H - 1);
    Win->SetWindowRegion(&Region);
    if (Level == 1) Win->MoveWindow(WR.Left - 1, WR.Top - 2);
    else if (Level >= 2) Win->MoveWindow(PopupOpensRight(Item) ? WR.Left - kStrip : WR.Left + kStrip, WR.Top);
  }
  // The frame follows the region's right edge at every depth: a sub-menu here has the same
  // geometry as a drop-down.
  TRect F(1, 1, W - 1 - kStrip, H - 1);
  Win->PaintWindow([&](TCanvas* C) {
    if (S->MenuBorderColor() != clNone) FrameIn(C, F, S->MenuBorderColor());
    TColor Bg = S->Background()->Color();
    if (Level == 1 && Bg != clNone) {
      TRect O;
      if (Item->Parent()->ScreenRect(O)) {
        OffsetRect(O, -WR.Left, -WR.Top);
        TBrush B;
        B.SetColor(Bg);
        ::FillRect(C, TRect(O.Left + 1, 1, O.Right - 1, 2), B);
      }
    }
    TRect Inner = F;
    InflateRect(Inner, -1, -1);
    if (Bg != clNone) FrameIn(C, Inner, Bg);
  });
}

}  // namespace StyMenus
