#include "platform/ui/item_list.h"

#include <algorithm>

#include "platform/graphics/canvas.h"
#include "platform/ui/ui_internal.h"

// ---- TItemList ----

TItemList::TItemList(TComponent* AOwner) : TCustomControl(AOwner) { SetColor(clWindow); }

int32_t TItemList::VisibleRows() const { return std::max(1, ClientHeight() / kRowHeight); }

void TItemList::SetTopIndex(int32_t Index) {
  Index = std::clamp(Index, 0, std::max(0, ItemCount() - VisibleRows()));
  if (Index == FTop) return;
  FTop = Index;
  UpdateScrollBar();
  Invalidate();
}

void TItemList::EnsureVisible(int32_t Index) {
  if (Index < 0) return;
  int32_t top = FTop;
  if (Index < top) top = Index;
  if (Index >= top + VisibleRows()) top = Index - VisibleRows() + 1;
  SetTopIndex(top);
}

int32_t TItemList::ItemAt(int32_t Y) const {
  if (Y < 0) return -1;
  int32_t i = FTop + Y / kRowHeight;
  return i < ItemCount() ? i : -1;
}

void TItemList::ItemsChanged() {
  FTop = std::clamp(FTop, 0, std::max(0, ItemCount() - VisibleRows()));
  UpdateScrollBar();
  Invalidate();
}

void TItemList::UpdateScrollBar() {
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = std::max(0, ItemCount() - 1);
  si.nPage = static_cast<uint32_t>(VisibleRows());
  si.nPos = FTop;
  bool need = ItemCount() > VisibleRows();
  if (need != ScrollBarVisible(SB_VERT)) ShowScrollBar(SB_VERT, need);
  // Showing the bar narrows the rows; their count per page stays.
  si.nPage = static_cast<uint32_t>(VisibleRows());
  SetScrollInfo(SB_VERT, si, true);
}

void TItemList::Resize() {
  TCustomControl::Resize();
  ItemsChanged();
}

void TItemList::Paint() {
  TCanvas* c = Canvas();
  TBrush bg;
  bg.SetColor(clWindow);
  FillRect(c, ClientRect(), bg);
  c->Font()->Assign(*Font());
  SetBkMode(c, TRANSPARENT);
  int32_t n = ItemCount(), hi = Highlighted();
  for (int32_t i = FTop; i < n; ++i) {
    int32_t y = (i - FTop) * kRowHeight;
    if (y >= ClientHeight()) break;
    TRect r = Rect(0, y, ClientWidth(), y + kRowHeight);
    bool sel = i == hi;
    if (sel) {
      TBrush hb;
      hb.SetColor(ShowsActive() ? clHighlight : clBtnFace);
      FillRect(c, r, hb);
    }
    SetTextColor(c, sel && ShowsActive() ? clHighlightText : clWindowText);
    TRect tr = r;
    tr.Left += 4;
    DrawText(c, ItemText(i), tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
}

bool TItemList::DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  // Three rows a notch, as lists commonly scroll.
  SetTopIndex(FTop - WheelDelta / WHEEL_DELTA * 3);
  return true;
}

void TItemList::Dispatch(TMessage& M) {
  if (M.Msg == WM_VSCROLL) {
    int32_t page = VisibleRows();
    switch (static_cast<int32_t>(M.WParam & 0xFFFF)) {
      case SB_LINEUP: SetTopIndex(FTop - 1); break;
      case SB_LINEDOWN: SetTopIndex(FTop + 1); break;
      case SB_PAGEUP: SetTopIndex(FTop - page); break;
      case SB_PAGEDOWN: SetTopIndex(FTop + page); break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: SetTopIndex(static_cast<int32_t>((M.WParam >> 16) & 0xFFFF)); break;
      default: break;
    }
    M.Result = 0;
    return;
  }
  TCustomControl::Dispatch(M);
}

// ---- TDropDownList ----

namespace {
TDropDownList* gOpenList = nullptr;
}

class TDropRows : public TItemList {
 public:
  TDropRows(TDropDownList* L) : TItemList(L), FList(L) {}
  int32_t ItemCount() const override { return static_cast<int32_t>(FList->FItems.size()); }
  std::string ItemText(int32_t I) const override { return FList->FItems[static_cast<size_t>(I)]; }
  int32_t Highlighted() const override { return FList->FHot; }

 protected:
  bool ShowsActive() const override { return true; }
  void CreateParams(TCreateParams& P) override {
    TItemList::CreateParams(P);
    P.Style |= WS_BORDER;
  }
  void MouseMove(TShiftState S, int32_t X, int32_t Y) override {
    TItemList::MouseMove(S, X, Y);
    int32_t i = ItemAt(Y);
    if (i >= 0 && X >= 0 && X < ClientWidth()) FList->SetHotIndex(i);
  }
  void MouseUp(TMouseButton B, TShiftState S, int32_t X, int32_t Y) override {
    TItemList::MouseUp(B, S, X, Y);
    int32_t i = ItemAt(Y);
    if (B != TMouseButton::mbLeft || i < 0 || X < 0 || X >= ClientWidth()) return;
    TDropDownList* l = FList;
    l->CloseUp();
    if (l->OnPick) l->OnPick(i);
  }

 private:
  TDropDownList* FList;
};

TDropDownList::TDropDownList() : TCustomForm(nullptr) {
  SetBorderStyle(TFormBorderStyle::bsNone);
  SetColor(clWindow);
  FRows = new TDropRows(this);
  FRows->SetParent(this);
  FRows->SetAlign(TAlign::alClient);
}

TDropDownList::~TDropDownList() {
  if (gOpenList == this) gOpenList = nullptr;
}

TDropDownList* TDropDownList::Current() { return gOpenList; }

void TDropDownList::Open(TControl* Box, std::vector<std::string> Items, int32_t Index) {
  if (gOpenList && gOpenList != this) gOpenList->CloseUp();
  if (Items.empty() || !Box) return;
  FBox = Box;
  FItems = std::move(Items);
  FHot = std::clamp(Index, -1, static_cast<int32_t>(FItems.size()) - 1);
  FRows->Font()->Assign(*Box->Font());
  int32_t rows = std::min<int32_t>(kMaxRows, static_cast<int32_t>(FItems.size()));
  int32_t h = rows * TItemList::kRowHeight + 2;
  TPoint below = Box->ClientToScreen(Point(0, Box->Height()));
  TPoint above = Box->ClientToScreen(Point(0, 0));
  TRect scr = Application->Backend()->ScreenRect();
  // Under the box when it fits, else over it; always whole on the screen.
  int32_t y = below.Y + h <= scr.Bottom || above.Y - h < scr.Top ? below.Y : above.Y - h;
  y = std::clamp(y, scr.Top, std::max<int32_t>(scr.Top, scr.Bottom - h));
  int32_t w = std::min(std::max(Box->Width(), 60), scr.Width());
  int32_t x = std::clamp(below.X, scr.Left, std::max<int32_t>(scr.Left, scr.Right - w));
  SetBounds(x, y, w, std::min(h, scr.Height()));
  gOpenList = this;
  Show();
  FRows->ItemsChanged();
  FRows->EnsureVisible(FHot);
}

void TDropDownList::CloseUp() {
  if (gOpenList == this) gOpenList = nullptr;
  if (!Visible()) return;
  Hide();
  if (OnCloseUp) OnCloseUp();
}

void TDropDownList::SetHotIndex(int32_t Index) {
  Index = std::clamp(Index, -1, static_cast<int32_t>(FItems.size()) - 1);
  if (Index == FHot) return;
  FHot = Index;
  FRows->EnsureVisible(Index);
  FRows->Invalidate();
}

bool TDropDownList::HandleKey(uint16_t Key) {
  if (!IsOpen()) return false;
  int32_t n = static_cast<int32_t>(FItems.size()), page = FRows->VisibleRows();
  switch (Key) {
    case VK_UP: SetHotIndex(std::max(0, FHot - 1)); return true;
    case VK_DOWN: SetHotIndex(std::min(n - 1, FHot + 1)); return true;
    case VK_PRIOR: SetHotIndex(std::max(0, FHot - page)); return true;
    case VK_NEXT: SetHotIndex(std::min(n - 1, FHot + page)); return true;
    case VK_HOME: SetHotIndex(0); return true;
    case VK_END: SetHotIndex(n - 1); return true;
    case VK_RETURN: {
      int32_t i = FHot;
      CloseUp();
      if (i >= 0 && OnPick) OnPick(i);
      return true;
    }
    case VK_ESCAPE:
    case VK_TAB: CloseUp(); return Key == VK_ESCAPE;
    default: return false;
  }
}

// A mouse press outside the open list closes it; one on the list's own box only closes it.
bool TUiCore::DropDownTakesMouseDown(TCustomForm* F, const TPoint& WindowPt) {
  TDropDownList* l = gOpenList;
  if (!l || F == l) return false;
  TControl* box = l->Box();
  bool onBox = false;
  if (box && GetParentForm(box) == F) {
    TPoint p = box->ClientToScreen(Point(0, 0));
    TPoint at = Point(F->Left() + WindowPt.X, F->Top() + WindowPt.Y);
    onBox = PtInRect(Bounds(p.X, p.Y, box->Width(), box->Height()), at);
  }
  l->CloseUp();
  return onBox;
}

void TUiCore::DropDownOwnerLostFocus(TCustomForm* F) {
  if (TDropDownList* l = gOpenList)
    if (l->Box() && GetParentForm(l->Box()) == F) l->CloseUp();
}
