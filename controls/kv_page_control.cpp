#include "controls/kv_page_control.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/kv_first_cut.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

using namespace kvfirst;

// ---- Page control ------------------------------------------------------------------------------------

TKvTabSheet::TKvTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle.Include(csAcceptsControls);
  SetAlign(alClient);
  SetVisible(false);
  SetParentColor(false);
  SetColor(kFace);
}

TKvTabSheet::~TKvTabSheet() { SetPageControl(nullptr); }

void TKvTabSheet::SetPageControl(TKvPageControl* v) {
  if (FPageControl == v) return;
  if (FPageControl) FPageControl->RemovePage(this);
  FPageControl = v;
  if (v) {
    SetParent(v);
    v->InsertPage(this);
  }
}

int32_t TKvTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  auto& p = FPageControl->FPages;
  auto it = std::find(p.begin(), p.end(), this);
  return it == p.end() ? -1 : int32_t(it - p.begin());
}

void TKvTabSheet::SetTabVisible(bool v) {
  FTabVisible = v;
  if (FPageControl) FPageControl->TabsChanged();
}

void TKvTabSheet::SetText(const std::string& Value) {
  TCustomControl::SetText(Value);
  if (FPageControl) FPageControl->TabsChanged();
}

void TKvTabSheet::Paint() { Fill(Canvas(), ClientRect(), Color()); }

TKvPageControl::TKvPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  RegisterKvPageControlProperties();
  FControlStyle.Include(csAcceptsControls);
  SetTabStop(true);
  SetBounds(0, 0, 289, 193);
  SetParentColor(false);
  SetColor(kFace);
}

TKvPageControl::~TKvPageControl() {
  for (TKvTabSheet* p : FPages) p->FPageControl = nullptr;
}

void TKvPageControl::InsertPage(TKvTabSheet* Page) {
  FPages.push_back(Page);
  if (!FActivePage) SetActivePage(Page);
  TabsChanged();
}

void TKvPageControl::RemovePage(TKvTabSheet* Page) {
  auto it = std::find(FPages.begin(), FPages.end(), Page);
  if (it == FPages.end()) return;
  FPages.erase(it);
  if (FActivePage == Page) {
    FActivePage = nullptr;
    if (!FPages.empty()) SetActivePage(FPages.front());
  }
  TabsChanged();
}

void TKvPageControl::TabsChanged() { Invalidate(); }

void TKvPageControl::SetTabHeight(int32_t v) {
  FTabHeight = std::max(8, v);
  Realign();
  Invalidate();
}

void TKvPageControl::SetActivePage(TKvTabSheet* Page) {
  if (Page && Page->FPageControl != this) return;
  if (Page == FActivePage) return;
  TKvTabSheet* old = FActivePage;
  FActivePage = Page;
  if (Page) Page->SetVisible(true);
  if (old) old->SetVisible(false);
  Invalidate();
  if (OnChange) OnChange(this);
}

int32_t TKvPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TKvPageControl::SetActivePageIndex(int32_t Index) {
  if (Index >= 0 && Index < PageCount()) SetActivePage(FPages[size_t(Index)]);
}

TRect TKvPageControl::TabRect(int32_t Index) {
  if (Index < 0 || Index >= PageCount()) return Rect(0, 0, 0, 0);
  TBitmap b;
  b.SetWidth(1);
  b.SetHeight(1);
  TCanvas c(&b);
  c.Font()->Assign(*Font());
  int32_t x = 2;
  for (int32_t i = 0; i < PageCount(); ++i) {
    if (!FPages[size_t(i)]->TabVisible()) {
      if (i == Index) return Rect(0, 0, 0, 0);
      continue;
    }
    int32_t w = c.TextWidth(FPages[size_t(i)]->Caption()) + 16;
    if (i == Index) return Rect(x, 2, x + w, FTabHeight);
    x += w;
  }
  return Rect(0, 0, 0, 0);
}

void TKvPageControl::SelectNextPage(bool GoForward) {
  int32_t n = PageCount();
  if (n == 0) return;
  int32_t i = ActivePageIndex();
  for (int32_t k = 0; k < n; ++k) {
    i = (i + (GoForward ? 1 : n - 1)) % n;
    if (FPages[size_t(i)]->TabVisible()) {
      SetActivePage(FPages[size_t(i)]);
      return;
    }
  }
}

void TKvPageControl::AdjustClientRect(TRect& Rect) {
  Rect.Top += FTabHeight;
  InflateRect(Rect, -1, -1);
}

void TKvPageControl::Paint() {
  TCanvas* C = Canvas();
  TRect r = ClientRect();
  Fill(C, r, Parent() ? Parent()->Color() : Color());
  TRect body = Rect(0, FTabHeight - 1, r.Right, r.Bottom);
  Fill(C, body, Color());
  C->Brush()->SetColor(kFrame);
  C->FrameRect(body);
  for (int32_t i = 0; i < PageCount(); ++i) {
    TRect t = TabRect(i);
    if (t.Width() <= 0) continue;
    bool active = FPages[size_t(i)] == FActivePage;
    if (active) {
      t.Top -= 2;
      t.Bottom += 1;
      Fill(C, t, Color());
    } else {
      Gradient(C, Rect(t.Left, t.Top, t.Right, t.Bottom - 1), clWhite, kFace);
    }
    C->Pen()->SetColor(kFrame);
    C->MoveTo(t.Left, t.Bottom - 1);
    C->LineTo(t.Left, t.Top);
    C->LineTo(t.Right - 1, t.Top);
    C->LineTo(t.Right - 1, t.Bottom);
    DrawCaption(C, this, FPages[size_t(i)]->Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
         Enabled() ? clBtnText : clGrayText);
    if (active && Focused()) {
      TRect fr = t;
      InflateRect(fr, -3, -3);
      DrawFocusRect(C, fr);
    }
  }
}

void TKvPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  for (int32_t i = 0; i < PageCount(); ++i) {
    if (PtInRect(TabRect(i), Point(X, Y))) {
      SetActivePage(FPages[size_t(i)]);
      if (CanFocus()) SetFocus();
      return;
    }
  }
}

void TKvPageControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_LEFT || Key == VK_RIGHT) {
    SelectNextPage(Key == VK_RIGHT);
    Key = 0;
  }
}

void TKvPageControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS; return;
    case CM_DIALOGKEY:
      if (M.WParam == VK_TAB && GetKeyState(VK_CONTROL) < 0 && Showing()) {
        SelectNextPage(GetKeyState(VK_SHIFT) >= 0);
        M.Result = 1;
        return;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
  }
  TCustomControl::Dispatch(M);
}


void RegisterKvPageControlProperties() {
  static bool done = false;
  if (done) return;
  done = true;

}
