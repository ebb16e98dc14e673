// The tab control's life, properties and its answers to the mouse, the keyboard and the focus.
#include "controls/kv_tab_control.h"

#include <algorithm>

#include "controls/kv_tab_buttons.h"
#include "controls/kv_utils.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace {

constexpr uintptr_t kHotTimerId = 1;

template <class T>
bool Store(T& Field, T Value) {
  if (Field == Value) return false;
  Field = Value;
  return true;
}

}  // namespace

// ---- colour objects ----------------------------------------------------------------------------

void TKvTabColors::Changed() {
  if (FOwner) FOwner->InvalidateTabs();
}
void TKvTabColors::SetHighlightBar(TColor v) {
  if (Store(FHighlightBar, v)) Changed();
}
void TKvTabColors::SetShadow(TColor v) {
  if (Store(FShadow, v)) Changed();
}
void TKvTabColors::SetUnselected(TColor v) {
  if (Store(FUnselected, v)) Changed();
}
void TKvTabColors::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TKvTabColors*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  FHighlightBar = S->FHighlightBar;
  FShadow = S->FShadow;
  FUnselected = S->FUnselected;
  Changed();
}

void TKvTextColors::Changed() {
  if (FOwner) FOwner->InvalidateTabs();
}
void TKvTextColors::SetDisabledHighlight(TColor v) {
  if (Store(FDisabledHighlight, v)) Changed();
}
void TKvTextColors::SetDisabledShadow(TColor v) {
  if (Store(FDisabledShadow, v)) Changed();
}
void TKvTextColors::SetSelected(TColor v) {
  if (Store(FSelected, v)) Changed();
}
void TKvTextColors::SetUnselected(TColor v) {
  if (Store(FUnselected, v)) Changed();
}
void TKvTextColors::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TKvTextColors*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  FDisabledHighlight = S->FDisabledHighlight;
  FDisabledShadow = S->FDisabledShadow;
  FSelected = S->FSelected;
  FUnselected = S->FUnselected;
  Changed();
}

// ---- life --------------------------------------------------------------------------------------

TKvCustomTabControl::TKvCustomTabControl(TComponent* AOwner)
    : TCustomControl(AOwner),
      FTabs(std::make_unique<TKvTabDataList>()),
      FRegionCache(std::make_unique<TKvTabRegionCache>()),
      FTabColors(std::make_unique<TKvTabColors>(this)),
      FTextColors(std::make_unique<TKvTextColors>(this)),
      FTabFont(std::make_unique<TFont>()),
      FBitmap(std::make_unique<TBitmap>()) {
  SetBounds(Left(), Top(), 300, 100);
  FControlStyle.Include(csAcceptsControls);
  FControlStyle.Include(csCaptureMouse);
  FControlStyle.Include(csClickEvents);
  FControlStyle.Include(csDoubleClicks);
  SetTabStop(true);
  FBitmap->SetPixelFormat(TPixelFormat::pf32bit);
  FBitmap->SetWidth(300);
  FBitmap->SetHeight(100);
  FTabFont->Assign(*Font());
  FImageChangeLink.OnChange = [this](TObject*) { InvalidateTabs(); };
  SetLayoutDirty(true);
}

TKvCustomTabControl::~TKvCustomTabControl() {
  StopHotTimer();
  if (FImages) FImages->UnRegisterChanges(&FImageChangeLink);
  // The small buttons talk to this control; they go while it is whole.
  DestroyComponents();
}

bool TKvCustomTabControl::Loading() const {
  return ComponentState().Contains(csLoading) || ComponentState().Contains(csReading);
}

void TKvCustomTabControl::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.WindowClassStyle &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TKvCustomTabControl::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent != FImages) return;
  // The list is half gone already: only forget it.
  FImages = nullptr;
  TabsChanged();
}

void TKvCustomTabControl::Loaded() {
  TCustomControl::Loaded();
  FOwnHint = Hint();
  SetLayoutDirty(true);
  FTabIndex = 0;
  if (VerticalText() && !KvFontIsTrueType(*Font())) Font()->SetName("Verdana");
  SetTabIndex(FTabIndex);
}

void TKvCustomTabControl::SetLayoutDirty(bool Flag) {
  FLayoutDirty = Flag;
  if (Flag) InvalidateTabs();
}

void TKvCustomTabControl::TabsChanged() { SetLayoutDirty(true); }

void TKvCustomTabControl::InvalidateTabs() {
  FHotRepaint = false;
  Invalidate();
}

// ---- events ------------------------------------------------------------------------------------

void TKvCustomTabControl::DoChanging(int32_t NewIndex, bool& AllowChange) {
  if (OnChanging) OnChanging(this, NewIndex, AllowChange);
}
void TKvCustomTabControl::DoGetTextColor(int32_t Index, TKvTextStyle Style, bool& Handled, TColor& Color) {
  if (OnGetTextColor) OnGetTextColor(this, Index, Style, Color, Handled);
}
void TKvCustomTabControl::DoTabClick() {
  if (OnTabClick) OnTabClick(this);
}
void TKvCustomTabControl::DoPaintBackground(TCanvas* ACanvas, const TRect& R, bool& Handled) {
  if (OnPaintBackground) OnPaintBackground(this, ACanvas, R, Handled);
}
void TKvCustomTabControl::DoPaintCardBackground(TCanvas* ACanvas, int32_t Row, bool& Handled, const TRect& R) {
  if (OnPaintCardBackground) OnPaintCardBackground(this, ACanvas, Row, R, Handled);
}
void TKvCustomTabControl::DoPaintTabBackground(TCanvas* ACanvas, int32_t Index, bool& Handled, const TRect& R) {
  if (OnPaintTabBackground) OnPaintTabBackground(this, ACanvas, Index, R, Handled);
}
void TKvCustomTabControl::Change() {
  if (OnChange) OnChange(this);
}
void TKvCustomTabControl::DoTabOrderChange(int32_t OldIndex, int32_t NewIndex) {
  if (OnTabOrderChange) OnTabOrderChange(this, OldIndex, NewIndex);
}
void TKvCustomTabControl::DoPageChange() {
  if (OnPageChange) OnPageChange(this);
}
bool TKvCustomTabControl::CanClose() {
  bool allow = false;
  if (OnClose) OnClose(this, allow);
  return allow;
}

// ---- properties --------------------------------------------------------------------------------

void TKvCustomTabControl::SetAlignTabs(bool v) {
  if (Store(FAlignTabs, v) && FMultiLine) TabsChanged();
}
void TKvCustomTabControl::SetBackgroundColor(TColor v) {
  if (!Store(FBackgroundColor, v)) return;
  FParentBackgroundColor = false;
  InvalidateTabs();
}
void TKvCustomTabControl::SetBoldCurrentTab(bool v) {
  if (Store(FBoldCurrentTab, v)) TabsChanged();
}
void TKvCustomTabControl::SetCutCornerSize(int32_t v) {
  if (v < 0) return;
  if (Store(FCutCornerSize, v) && FTabStyle == TKvTabStyle::tsCutCorner) TabsChanged();
}
TColor TKvCustomTabControl::ShiftedFlatColor() const { return KvShiftLightness(FFlatColor, FFlatColorAdjustment); }
void TKvCustomTabControl::PushFrameColor() {
  TColor c = ShiftedFlatColor();
  if (FScroller) FScroller->SetFrameColor(c);
  if (FCloseButton) FCloseButton->SetFrameColor(c);
  if (FMenuButton) FMenuButton->SetFrameColor(c);
}
void TKvCustomTabControl::SetFlatColor(TColor v) {
  if (!Store(FFlatColor, v)) return;
  PushFrameColor();
  InvalidateTabs();
}
void TKvCustomTabControl::SetFlatColorAdjustment(int32_t v) {
  if (!Store(FFlatColorAdjustment, v)) return;
  PushFrameColor();
  InvalidateTabs();
}
void TKvCustomTabControl::SetHotTrack(bool v) {
  if (Store(FHotTrack, v) && !v && !FTabHints) StopHotTimer();
}
void TKvCustomTabControl::SetHotTrackColor(TColor v) {
  if (Store(FHotTrackColor, v)) InvalidateTabs();
}
void TKvCustomTabControl::SetHotTrackColorType(TKvHotTrackColorType v) {
  if (Store(FHotTrackColorType, v)) InvalidateTabs();
}
void TKvCustomTabControl::SetHotTrackStyle(TKvTabHotTrackStyle v) {
  if (Store(FHotTrackStyle, v)) InvalidateTabs();
}
void TKvCustomTabControl::SetImageAlignment(TKvHorizontalAlignment v) {
  if (Store(FImageAlignment, v)) TabsChanged();
}
void TKvCustomTabControl::SetImageAlignmentVertical(TKvVerticalAlignment v) {
  if (Store(FImageAlignmentVertical, v)) TabsChanged();
}
void TKvCustomTabControl::SetImageMargin(int32_t v) {
  if (v >= 0 && Store(FImageMargin, v)) TabsChanged();
}
void TKvCustomTabControl::SetImagePosition(TKvImagePosition v) {
  if (Store(FImagePosition, v)) TabsChanged();
}
void TKvCustomTabControl::SetImages(TCustomImageList* v) {
  if (FImages == v) return;
  if (FImages) {
    FImages->UnRegisterChanges(&FImageChangeLink);
    FImages->RemoveFreeNotification(this);
  }
  FImages = v;
  if (v) {
    v->RegisterChanges(&FImageChangeLink);
    v->FreeNotification(this);
  }
  TabsChanged();
}
void TKvCustomTabControl::SetMargin(int32_t v) {
  if (v >= 0 && Store(FMargin, v)) TabsChanged();
}
void TKvCustomTabControl::SetMultiLine(bool v) {
  if (Store(FMultiLine, v)) TabsChanged();
}
void TKvCustomTabControl::SetParentBackgroundColor(bool v) {
  if (!Store(FParentBackgroundColor, v)) return;
  if (v && Parent()) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}
void TKvCustomTabControl::SetRowIndent(int32_t v) {
  if (v >= 0 && Store(FRowIndent, v)) TabsChanged();
}
void TKvCustomTabControl::SetRowOverlap(int32_t v) {
  if (v >= 0 && Store(FRowOverlap, v)) TabsChanged();
}
void TKvCustomTabControl::SetShowCardFrame(bool v) {
  if (Store(FShowCardFrame, v)) TabsChanged();
}
void TKvCustomTabControl::SetShowCloseButton(bool v) {
  if (!Store(FShowCloseButton, v)) return;
  EnsureCloseButton();
  FCloseButton->SetVisible(v);
  TabsChanged();
  InvalidateTabs();
}
void TKvCustomTabControl::SetShowMenuButton(bool v) {
  if (!Store(FShowMenuButton, v)) return;
  EnsureMenuButton();
  FMenuButton->SetVisible(v);
  TabsChanged();
  InvalidateTabs();
}
void TKvCustomTabControl::SetShowFocusRect(bool v) {
  if (Store(FShowFocusRect, v)) Invalidate();
}
void TKvCustomTabControl::SetShowFullFrame(bool v) {
  if (!Store(FShowFullFrame, v)) return;
  if (!v) SetShowShadow(false);
  TabsChanged();
}
void TKvCustomTabControl::SetShowShadow(bool v) {
  if (!Store(FShowShadow, v)) return;
  if (v) SetShowFullFrame(true);
  TabsChanged();
  InvalidateTabs();
}
void TKvCustomTabControl::SetSoftCorners(bool v) {
  if (Store(FSoftCorners, v)) TabsChanged();
}
void TKvCustomTabControl::SetTabColors(TKvTabColors* v) {
  if (v) FTabColors->Assign(v);
}
void TKvCustomTabControl::SetTabHeight(int32_t v) {
  if (v >= 0 && Store(FTabHeight, v)) TabsChanged();
}
void TKvCustomTabControl::SetTabHints(bool v) {
  if (Store(FTabHints, v) && !v && !FHotTrack) StopHotTimer();
}
void TKvCustomTabControl::SetTabOrientation(TKvTabOrientation v) {
  if (Store(FTabOrientation, v) && !Loading()) TabsChanged();
}
void TKvCustomTabControl::SetTabOverlap(int32_t v) {
  if (Store(FTabOverlap, v)) TabsChanged();
}
void TKvCustomTabControl::SetTabSequence(TKvTabSequence v) {
  if (Store(FTabSequence, v)) TabsChanged();
}
void TKvCustomTabControl::SetTabStyle(TKvTabStyle v) {
  if (Store(FTabStyle, v)) TabsChanged();
}
void TKvCustomTabControl::SetTabWidth(int32_t v) {
  if (v >= 0 && Store(FTabWidth, v)) TabsChanged();
}
void TKvCustomTabControl::SetTextAlignment(TKvHorizontalAlignment v) {
  if (Store(FTextAlignment, v)) TabsChanged();
}
void TKvCustomTabControl::SetTextAlignmentVertical(TKvVerticalAlignment v) {
  if (Store(FTextAlignmentVertical, v)) TabsChanged();
}
void TKvCustomTabControl::SetTextColors(TKvTextColors* v) {
  if (v) FTextColors->Assign(v);
}
void TKvCustomTabControl::SetTextOrientation(TOrientation v) {
  if (!Store(FTextOrientation, v)) return;
  if (!Loading() && !KvFontIsTrueType(*Font())) Font()->SetName("Verdana");
  TabsChanged();
}
void TKvCustomTabControl::SetTransparent(bool v) {
  if (Store(FTransparent, v)) InvalidateTabs();
}
void TKvCustomTabControl::SetUseColoredTabs(bool v) {
  if (Store(FUseColoredTabs, v)) InvalidateTabs();
}
void TKvCustomTabControl::SetUseGradients(bool v) {
  if (Store(FUseGradients, v)) InvalidateTabs();
}
void TKvCustomTabControl::SetCardVisible(bool v) {
  if (Store(FCardVisible, v)) TabsChanged();
}
void TKvCustomTabControl::SetRegionCacheCapacity(int32_t v) {
  if ((v == -1 || v > 0) && Store(FRegionCacheCapacity, v)) FRegionCache->SetCapacity(v);
}

// ---- the small buttons -------------------------------------------------------------------------

void TKvCustomTabControl::EnsureScroller() {
  if (FScroller) return;
  FScroller = new TKvTabScroller(this);
  FScroller->SetParent(this);
  FScroller->SetFrameColor(ShiftedFlatColor());
  FScroller->OnDownLeftClick = [this](TObject*) { ScrollDownLeft(); };
  FScroller->OnUpRightClick = [this](TObject*) { ScrollUpRight(); };
}

void TKvCustomTabControl::EnsureCloseButton() {
  if (FCloseButton) return;
  FCloseButton = new TKvTabCloseButton(this);
  FCloseButton->SetParent(this);
  FCloseButton->SetFrameColor(ShiftedFlatColor());
  FCloseButton->OnClose = [this](TObject*) { CloseTab(); };
}

void TKvCustomTabControl::EnsureMenuButton() {
  if (FMenuButton) return;
  FMenuButton = new TKvTabMenuButton(this);
  FMenuButton->SetParent(this);
  FMenuButton->SetFrameColor(ShiftedFlatColor());
}

void TKvCustomTabControl::ScrollUpRight() {
  bool forward = FTabOrientation != TKvTabOrientation::toRight;
  Scroll(Reverse() ? !forward : forward);
}

void TKvCustomTabControl::ScrollDownLeft() {
  bool forward = FTabOrientation == TKvTabOrientation::toRight;
  Scroll(Reverse() ? !forward : forward);
}

void TKvCustomTabControl::AlignControls(TControl* AControl, TRect& Rect) {
  PlaceButtons();
  TCustomControl::AlignControls(AControl, Rect);
}

// ---- selecting ---------------------------------------------------------------------------------

bool TKvCustomTabControl::CanSelectTab(int32_t Index) {
  if (FTabs->Count() == 0 || Index < 0 || Index >= FTabs->Count()) return false;
  TKvTabData* T = FTabs->Items(Index);
  if (!T->Visible) return false;
  if (!T->Enabled && !ComponentState().Contains(csDesigning)) return false;
  if (Index == FTabIndex) return true;
  bool allow = true;
  DoChanging(Index, allow);
  return allow;
}

void TKvCustomTabControl::SetTabIndex(int32_t v) {
  if (Loading()) {
    FTabIndex = v;
    return;
  }
  auto repaintButtons = [this] {
    if (FCloseButton && FShowCloseButton) FCloseButton->Invalidate();
    if (FMenuButton && FShowMenuButton) FMenuButton->Invalidate();
  };
  if (v < 0 || v >= FTabs->Count()) {
    FTabIndex = -1;
    InvalidateTabs();
    repaintButtons();
    return;
  }
  const int32_t old = FTabIndex;
  const bool allowed = v == FTabIndex || FInternalChange || CanSelectTab(v);
  if (allowed) {
    bool moved = false;
    FTabIndex = v;
    if (FScrolling) {
      if (v < FFirstShown) {
        FFirstShown = v;
        InvalidateTabs();
      } else {
        while (FTabIndex > FFirstShown && FFirstShown < FTabs->Count() - 1 && !TabShown(FTabIndex)) {
          ++FFirstShown;
          moved = true;
        }
      }
    } else {
      RotateRows(FTabIndex);
    }
    if (moved || FTabIndex != old) {
      InvalidateTabs();
      if (FScroller) FScroller->Invalidate();
    }
    if (FTabIndex != old) {
      Change();
      DoPageChange();
      if (ComponentState().Contains(csDesigning) && FPaintedOnce) KvNotifyDesignerModified(this);
    }
  }
  repaintButtons();
}

void TKvCustomTabControl::SelectWithoutAsking(int32_t Index) {
  FInternalChange = true;
  try {
    SetTabIndex(Index);
  } catch (...) {
    FInternalChange = false;
    throw;
  }
  FInternalChange = false;
}

void TKvCustomTabControl::CloseTab() {
  if (FTabIndex != -1 && CanClose()) CloseActiveTab();
}

int32_t TKvCustomTabControl::TabAtPoint(int32_t X, int32_t Y) {
  UpdateLayout();
  const int32_t n = FTabs->Count();
  if (n == 0 || FFirstShown < 0) return -1;
  auto hit = [&](int32_t i) {
    if (!TabShown(i)) return false;
    TRect r = TabClientRect(i);
    if (!PtInRect(r, TPoint(X, Y))) return false;
    const TRegion* rg = TabRegion(i, r);
    return rg && rg->Contains(X, Y);
  };
  if (FTabIndex >= 0 && FTabIndex < n && hit(FTabIndex)) return FTabIndex;
  int32_t i = FFirstShown;
  do {
    if (i != FTabIndex && hit(i)) return i;
    i = (i + 1) % n;
  } while (i != FFirstShown);
  return -1;
}

// ---- mouse -------------------------------------------------------------------------------------

void TKvCustomTabControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != TMouseButton::mbLeft) return;
  const bool designing = ComponentState().Contains(csDesigning);
  if (!Enabled() && !designing) return;
  const int32_t i = TabAtPoint(X, Y);
  FMouseDownTab = i;
  if (i < 0 || !FTabs->Items(i)->Enabled) return;
  if (i == FTabIndex && TabStop() && !designing) {
    if (CanFocus()) SetFocus();
    if (!Focused()) return;
  }
  SetTabIndex(i);
  if (FTabIndex == i) DoTabClick();
}

void TKvCustomTabControl::StopHotTimer() {
  if (!FHotTimer) return;
  FHotTimer = false;
  if (HandleAllocated()) KillTimer(Handle(), kHotTimerId);
}

void TKvCustomTabControl::InvalidateTabArea() {
  TRect a = TabAreaRect();
  InvalidateRect(TRect(a.Left, a.Top, a.Right + 1, a.Bottom + 1), false);
}

void TKvCustomTabControl::EndHotTrack() {
  StopHotTimer();
  FHotTab = -1;
  InvalidateTabArea();
  SetHint(FOwnHint);
}

void TKvCustomTabControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (FAllowTabDragging && Shift.Contains(ssLeft) && FMouseDownTab >= 0 && FMouseDownTab < FTabs->Count() &&
      FTabs->Items(FMouseDownTab)->Enabled && !DragSource())
    BeginDrag(this, false);
  if (ComponentState().Contains(csDesigning) || (!FHotTrack && !FTabHints)) return;
  const int32_t i = TabAtPoint(X, Y);
  if (i >= 0) {
    if (i == FHotTab) return;
    FHotTab = i;
    if (FHotTrack) {
      InvalidateTabArea();
      FHotRepaint = true;
    }
    if (FTabHints) {
      if (Application) Application->CancelHint();
      if (!FTabs->Items(i)->Hint.empty()) SetHint(FTabs->Items(i)->Hint);
    }
    if (!FHotTimer) {
      FHotTimer = true;
      SetTimer(Handle(), kHotTimerId, 60);
    }
    return;
  }
  const bool inside = PtInRect(TabAreaRect(), TPoint(X, Y));
  const std::string own = FOwnHint;
  if (FTabHints) {
    if ((FHotTab >= 0 || inside) && Application) Application->CancelHint();
    // The empty part of the strip shows no hint.
    if (inside) FOwnHint.clear();
  }
  EndHotTrack();
  if (FTabHints && inside) FOwnHint = own;
}

// ---- keyboard ----------------------------------------------------------------------------------

void TKvCustomTabControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int32_t n = FTabs->Count();
  if (n == 0) return;
  UpdateLayout();
  int32_t t = FTabIndex;
  const bool left = FTabOrientation == TKvTabOrientation::toLeft;
  if (Key == VK_HOME || Key == VK_END) {
    const bool reversed = left != Reverse();
    const bool upwards = (Key == VK_HOME) != reversed;
    for (int32_t k = 0; k < n; ++k) {
      const int32_t i = upwards ? k : n - 1 - k;
      if (i == FTabIndex || CanSelectTab(i)) {
        t = i;
        break;
      }
    }
  } else if (Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP || Key == VK_DOWN) {
    bool next = left ? (Key == VK_LEFT || Key == VK_UP) : (Key == VK_RIGHT || Key == VK_DOWN);
    if (Reverse()) next = !next;
    int32_t i = FTabIndex;
    for (int32_t k = 0; k < n; ++k) {
      if (next) i = i + 1 >= n ? 0 : i + 1;
      else i = i <= 0 ? n - 1 : i - 1;
      if (i == FTabIndex) break;
      if (CanSelectTab(i)) {
        t = i;
        break;
      }
    }
  } else {
    return;
  }
  if (t == FTabIndex) return;
  SelectWithoutAsking(t);
  DoTabClick();
}

// ---- messages ----------------------------------------------------------------------------------

void TKvCustomTabControl::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case WM_ERASEBKGND: M.Result = 1; return;
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS; return;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateTabs();
      break;
    case CM_DRAG: {
      auto* r = reinterpret_cast<TDragRec*>(M.LParam);
      if (r->Msg == TDragMessage::dmDragDrop) {
        DragDrop(r->Source, r->Pos.X, r->Pos.Y);
      } else {
        r->Accept = false;
        DragOver(r->Source, r->Pos.X, r->Pos.Y, DragStateOf(r->Msg), r->Accept);
      }
      return;
    }
    case WM_TIMER:
      if (M.WParam == kDragScrollTimerId) {
        DragScrollTick();
        return;
      }
      if (M.WParam == kHotTimerId && FHotTimer) {
        TPoint p = ScreenToClient(GetCursorPos());
        if (TabAtPoint(p.X, p.Y) < 0) EndHotTrack();
        return;
      }
      break;
    case WM_SIZE:
      TCustomControl::Dispatch(M);
      TabsChanged();
      return;
    case CM_FONTCHANGED:
      FTabFont->Assign(*Font());
      TabsChanged();
      break;
    case CM_PARENTCOLORCHANGED:
      TCustomControl::Dispatch(M);
      if (FParentBackgroundColor && Parent() && FBackgroundColor != Parent()->Color()) {
        FBackgroundColor = Parent()->Color();
        InvalidateTabs();
      }
      return;
    case CM_COLORCHANGED:
      if (FUseColoredTabs) {
        NotifyControls(CM_PARENTCOLORCHANGED);
      } else {
        TCustomControl::Dispatch(M);
        InvalidateTabs();
      }
      return;
    case CM_DESIGNHITTEST: {
      const int32_t i = TabAtPoint(M.XPos(), M.YPos());
      M.Result = i >= 0 && i != FTabIndex ? 1 : 0;
      return;
    }
    case CM_DIALOGCHAR:
      if (CanFocus()) {
        for (int32_t i = 0; i < FTabs->Count(); ++i) {
          TKvTabData* T = FTabs->Items(i);
          if (!T->Enabled || !T->Visible || !IsAccel(static_cast<uint32_t>(M.WParam), T->Caption)) continue;
          M.Result = 1;
          SetFocus();
          if (Focused()) {
            SetTabIndex(i);
            if (FTabIndex == i) DoTabClick();
          }
          return;
        }
      }
      break;
  }
  TCustomControl::Dispatch(M);
}
