// Thumbnail view: cell layout, scroll bars, scrolling, hit testing, selection, mouse and keyboard.
#include <algorithm>

#include "imaging/foundation/geometry_helpers.h"
#include "imaging/view/mview.h"
#include "platform/base/numeric.h"
#include "platform/ui/forms.h"

namespace {

// Sets a flag for the duration of a scope and puts the old value back.
struct TFlagScope {
  bool& F;
  bool Old;
  TFlagScope(bool& AF, bool Value) : F(AF), Old(AF) { F = Value; }
  ~TFlagScope() { F = Old; }
};

}  // namespace

// ============================================================ layout

int32_t TQuillotMView::ViewClientWidth() const {
  if (HasParentWindow()) return ClientWidth();
  return Width();
}

int32_t TQuillotMView::ViewClientHeight() const {
  if (HasParentWindow()) return ClientHeight();
  return Height();
}

int32_t TQuillotMView::ColumnCount() const {
  if (FGridWidth == -1) return (ViewClientWidth() - FHorizBorder) / (FHorizBorder + FThumbWidth);
  return FGridWidth;
}

void TQuillotMView::ComputeLayout() {
  FContentWidth = 0;
  FContentHeight = 0;
  const int32_t cols = ColumnCount();
  int32_t c = 0, r = 0;
  for (auto& e : FEntries) {
    e->X = c * (FThumbWidth + FHorizBorder);
    e->Y = r * (FThumbHeight + FVertBorder);
    if (FDisplayMode == TQxMDisplayMode::mdGrid) {
      e->X += FHorizBorder;
      e->Y += FVertBorder;
    }
    e->Row = r;
    e->Column = c;
    FContentWidth = std::max(FContentWidth, e->X);
    FContentHeight = std::max(FContentHeight, e->Y);
    if (FDisplayMode == TQxMDisplayMode::mdSingle) {
      c = 0;
      r = 0;
    } else {
      ++c;
      if (c == cols) {
        c = 0;
        ++r;
      }
    }
  }
  FContentWidth += FThumbWidth + FHorizBorder;
  FContentHeight += FThumbHeight + FVertBorder;
}

void TQuillotMView::GetMaxViewPos(int32_t& MaxX, int32_t& MaxY) const {
  MaxX = std::max(FContentWidth - ViewClientWidth(), 0);
  MaxY = std::max(FContentHeight - ViewClientHeight(), 0);
}

void TQuillotMView::UpdateView() { Relayout(true); }

void TQuillotMView::Relayout(bool ClearThumbs) {
  if (FPaintLock > 0 || FInRelayout || FDestroying) return;
  const bool windowed = HasParentWindow();
  if (!windowed && !OffscreenMode) return;
  FInRelayout = true;
  struct TEnd {
    bool& F;
    ~TEnd() { F = false; }
  } end{FInRelayout};
  if (ClearThumbs) ClearDisplayThumbnails();
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    ComputeLayout();
  }
  for (int pass = 0; pass < 9; ++pass) {
    const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
    int32_t mx = 0, my = 0;
    GetMaxViewPos(mx, my);
    bool changed = false;
    if (FViewX > mx) {
      FViewX = mx;
      changed = true;
    }
    if (FViewY > my) {
      FViewY = my;
      changed = true;
    }
    if (changed) DoViewChange(0);
    if (!windowed) break;
    try {
      auto settle = [&](int32_t Bar, int32_t Extent, int32_t Max, int32_t Pos, double& Factor) {
        if (Max < 1) {
          QxShowScrollBar(this, Bar, false, FFlatScrollBars);
          return;
        }
        Factor = double(Extent + Max - 1) / 65536.0;
        QxSetScrollBar(this, Bar, 0, 65535, int32_t(Trunc(Extent / Factor)), int32_t(Trunc(Pos / Factor)), true,
                       FFlatScrollBars);
        QxEnableScrollBar(this, Bar, 0, FFlatScrollBars);
        QxShowScrollBar(this, Bar, true, FFlatScrollBars);
      };
      if (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth)
        settle(SB_HORZ, cw, mx, FViewX, FHScrollFactor);
      if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth)
        settle(SB_VERT, ch, my, FViewY, FVScrollFactor);
    } catch (...) {
    }
    if (ViewClientWidth() == cw && ViewClientHeight() == ch) break;
  }
  NotifyBitmapChange();
  Invalidate();
}

void TQuillotMView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (HasParentWindow()) {
    if (Value != TScrollStyle::ssVertical && Value != TScrollStyle::ssBoth)
      QxShowScrollBar(this, SB_VERT, false, FFlatScrollBars);
    if (Value != TScrollStyle::ssHorizontal && Value != TScrollStyle::ssBoth)
      QxShowScrollBar(this, SB_HORZ, false, FFlatScrollBars);
  }
  Relayout(false);
}

void TQuillotMView::SetFlatScrollBars(bool Value) {
  if (Value == FFlatScrollBars) return;
  FFlatScrollBars = Value;
  if (Value && HasParentWindow()) {
    // Both bars start from the full range and hidden; the next layout shows what it needs.
    QxSetScrollRange(this, SB_HORZ, 0, 65535, false, false);
    QxSetScrollRange(this, SB_VERT, 0, 65535, false, false);
    QxShowScrollBar(this, SB_HORZ, false, true);
    QxShowScrollBar(this, SB_VERT, false, true);
  }
}

// ============================================================ scrolling

void TQuillotMView::SetViewX(int32_t X) {
  if (X == FViewX) return;
  int32_t mx = 0, my = 0;
  GetMaxViewPos(mx, my);
  FViewX = std::clamp(X, 0, mx);
  Invalidate();
  if ((FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth) && HasParentWindow())
    QxSetScrollPos(this, SB_HORZ, int32_t(Trunc(FViewX / FHScrollFactor)), true, FFlatScrollBars);
}

void TQuillotMView::SetViewY(int32_t Y) {
  if (Y == FViewY) return;
  int32_t mx = 0, my = 0;
  GetMaxViewPos(mx, my);
  FViewY = std::clamp(Y, 0, my);
  Invalidate();
  if ((FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth) && HasParentWindow())
    QxSetScrollPos(this, SB_VERT, int32_t(Trunc(FViewY / FVScrollFactor)), true, FFlatScrollBars);
}

void TQuillotMView::SetViewXY(int32_t X, int32_t Y) {
  if (X == FViewX && Y == FViewY) return;
  int32_t mx = 0, my = 0;
  GetMaxViewPos(mx, my);
  FViewX = std::clamp(X, 0, mx);
  FViewY = std::clamp(Y, 0, my);
  Invalidate();
  if (!HasParentWindow()) return;
  if (FScrollBars == TScrollStyle::ssHorizontal || FScrollBars == TScrollStyle::ssBoth)
    QxSetScrollPos(this, SB_HORZ, int32_t(Trunc(FViewX / FHScrollFactor)), true, FFlatScrollBars);
  if (FScrollBars == TScrollStyle::ssVertical || FScrollBars == TScrollStyle::ssBoth)
    QxSetScrollPos(this, SB_VERT, int32_t(Trunc(FViewY / FVScrollFactor)), true, FFlatScrollBars);
}

void TQuillotMView::HandleScroll(TMessage& Message, bool Horizontal) {
  TFlagScope user(FInUserAction, true);
  TQxScrollBarParams* p = Horizontal ? FHorzScrollParams.get() : FVertScrollParams.get();
  const int32_t pos = Horizontal ? FViewX : FViewY;
  const int32_t line = p->LineAmount == -1 ? (Horizontal ? FThumbWidth + FHorizBorder : FThumbHeight + FVertBorder)
                                           : p->LineAmount;
  const int32_t page = p->PageAmount == -1 ? (Horizontal ? ViewClientWidth() : ViewClientHeight()) : p->PageAmount;
  const double factor = Horizontal ? FHScrollFactor : FVScrollFactor;
  int32_t mx = 0, my = 0;
  GetMaxViewPos(mx, my);
  const int32_t thumb = int32_t(Message.WParamHi());
  int32_t v = pos;
  switch (int(Message.WParamLo())) {
    case SB_LINEUP: v = pos - line; break;
    case SB_LINEDOWN: v = pos + line; break;
    case SB_PAGEUP: v = pos - page; break;
    case SB_PAGEDOWN: v = pos + page; break;
    case SB_THUMBPOSITION: v = int32_t(Trunc(thumb * factor)); break;
    case SB_THUMBTRACK:
      if (!p->LiveTracking) return;
      v = int32_t(Trunc(thumb * factor));
      break;
    case SB_TOP: v = 0; break;
    case SB_BOTTOM: v = Horizontal ? mx : my; break;
    default: break;
  }
  if (Horizontal)
    SetViewX(v);
  else
    SetViewY(v);
  DoViewChange(0);
}

void TQuillotMView::WMHScroll(TMessage& Message) {
  TQxView::WMHScroll(Message);
  HandleScroll(Message, true);
}

void TQuillotMView::WMVScroll(TMessage& Message) {
  TQxView::WMVScroll(Message);
  HandleScroll(Message, false);
}

void TQuillotMView::WMMouseWheel(TMessage& Message) {
  TQxView::WMMouseWheel(Message);
  TFlagScope user(FInUserAction, true);
  const int32_t delta = int16_t(Message.WParamHi());
  const int32_t row = FThumbHeight + FVertBorder;
  SetViewY(delta > 0 ? FViewY - row : FViewY + row);
  DoViewChange(0);
}

// ============================================================ hit testing

int32_t TQuillotMView::EntryAt(int32_t Row, int32_t Column) const { return Column + Row * ColumnCount(); }

int32_t TQuillotMView::ImageAt(int32_t X, int32_t Y) const {
  if (FDisplayMode == TQxMDisplayMode::mdSingle) return FPlayIndex;
  const int32_t row = (Y + FViewY) / (FVertBorder + FThumbHeight);
  const int32_t col = (X + FViewX) / (FHorizBorder + FThumbWidth);
  const int32_t idx = EntryAt(row, col);
  if (idx >= ImageCount()) return -1;
  if (idx < 0) return idx;
  const TQxMViewEntry* e = FEntries[size_t(idx)].get();
  const int32_t x = e->X - FViewX, y = e->Y - FViewY;
  if (X >= x && X <= x + FThumbWidth && Y >= y && Y <= y + FThumbHeight) return idx;
  return -1;
}

int32_t TQuillotMView::EntryVisibility(int32_t Index) const {
  const TQxMViewEntry* e = Entry(Index);
  if (!e) return 0;
  const int32_t x = e->X - FViewX, y = e->Y - FViewY;
  return QxRectRelation(0, 0, ViewClientWidth() - 1, ViewClientHeight() - 1, x, y, x + FThumbWidth - 1,
                        y + FThumbHeight - 1);
}

bool TQuillotMView::IsEntryVisible(int32_t Index) const {
  const TQxMViewEntry* e = Entry(Index);
  if (!e) return false;
  const int32_t x = e->X - FViewX, y = e->Y - FViewY;
  return QxRectsOverlap(x, y, x + FThumbWidth - 1, y + FThumbHeight - 1, 0, 0, Width() - 1, Height() - 1);
}

// ============================================================ selection

void TQuillotMView::DoViewChange(int32_t Change) {
  if (OnViewChange && FInUserAction) OnViewChange(this, Change);
}

void TQuillotMView::DoImageSelect(int32_t Index) {
  if (OnImageSelect && FInUserAction) OnImageSelect(this, Index);
}

void TQuillotMView::DoImageDeselect(int32_t Index) {
  if (OnImageDeselect && FInUserAction && !FDestroying) OnImageDeselect(this, Index);
}

bool TQuillotMView::IsImageSelected(int32_t Index) const {
  if (Index == FSelectedImage) return true;
  return std::find(FMultiSelection.begin(), FMultiSelection.end(), Index) != FMultiSelection.end();
}

void TQuillotMView::ChangeSelection(int32_t Index) {
  FSelectionChanged = false;
  if (FPlaying || Index < 0 || Index >= ImageCount()) return;
  if (FSelectedImage >= 0 && FSelectedBitmap) {
    std::lock_guard<std::recursive_mutex> l(FLock);
    FImageStore->ReleaseBitmap(FSelectedBitmap, true);
  }
  if (FEnableMultiSelect) {
    auto it = std::find(FMultiSelection.begin(), FMultiSelection.end(), Index);
    if (!FAddingToSelection) {
      for (int32_t i : FMultiSelection) DoImageDeselect(i);
      FMultiSelection.clear();
    } else if (it != FMultiSelection.end() &&
               (!MultiSelectionOptions.Contains(TQxMultiSelectionOptionsItems::qxmoLeaveOneSelected) ||
                FMultiSelection.size() > 1)) {
      DoImageDeselect(Index);
      FMultiSelection.erase(it);
      if (!FKeepToggled) {
        FSelectedImage = -1;
        FSelectedBitmap = nullptr;
        FSelectionChanged = true;
        return;
      }
    }
    it = std::find(FMultiSelection.begin(), FMultiSelection.end(), Index);
    if (it != FMultiSelection.end()) FMultiSelection.erase(it);
    FMultiSelection.push_back(Index);
  }
  FSelectedImage = Index;
  FSelectionChanged = true;
  FSelectedBitmap = nullptr;
  NotifyBitmapChange();
  DoImageSelect(Index);
}

void TQuillotMView::SelectImage(int32_t Index) {
  if (FPlaying || Index < 0 || Index >= ImageCount()) return;
  if (Index == FSelectedImage && !FAddingToSelection) return;
  ChangeSelection(Index);
  Relayout(false);
}

void TQuillotMView::DeselectAll() {
  if (FSelectedImage >= 0) {
    std::lock_guard<std::recursive_mutex> l(FLock);
    if (TQxMViewEntry* e = Entry(FSelectedImage); e && e->StoreImage)
      FImageStore->ReleaseRecordBitmap(e->StoreImage, true);
  }
  if (FEnableMultiSelect) {
    for (int32_t i : FMultiSelection) DoImageDeselect(i);
    FMultiSelection.clear();
  } else {
    DoImageDeselect(FSelectedImage);
  }
  FSelectedImage = -1;
  FSelectedBitmap = nullptr;
}

void TQuillotMView::DeselectAllAndUpdate() {
  DeselectAll();
  Relayout(false);
}

void TQuillotMView::SelectRangeTo(int32_t b, int32_t idx) {
  auto add = [&](int32_t i) {
    if (i != b && i != idx && i >= 0 && i < ImageCount() &&
        std::find(FMultiSelection.begin(), FMultiSelection.end(), i) == FMultiSelection.end())
      ChangeSelection(i);
  };
  if (MultiSelectionOptions.Contains(TQxMultiSelectionOptionsItems::qxmoRegion)) {
    const int32_t r1 = std::min(ImageRow(b), ImageRow(idx)), r2 = std::max(ImageRow(b), ImageRow(idx));
    const int32_t c1 = std::min(ImageColumn(b), ImageColumn(idx)), c2 = std::max(ImageColumn(b), ImageColumn(idx));
    for (int32_t r = r1; r <= r2; ++r)
      for (int32_t c = c1; c <= c2; ++c) add(EntryAt(r, c));
  } else if (b < idx) {
    for (int32_t i = b + 1; i < idx; ++i) add(i);
  } else {
    for (int32_t i = b - 1; i > idx; --i) add(i);
  }
}

void TQuillotMView::SelectAt(int32_t X, int32_t Y, TShiftState Shift) {
  const bool oldAdding = FAddingToSelection;
  if (Shift.Contains(ssCtrl) || Shift.Contains(ssShift)) FAddingToSelection = true;
  const int32_t idx = ImageAt(X, Y);
  if (idx >= 0) {
    if (FEnableMultiSelect && (idx != FSelectedImage || FAddingToSelection) && Shift.Contains(ssShift))
      SelectRangeTo(FSelectedImage, idx);
    ChangeSelection(idx);
    if (FVisibleSelection) Relayout(false);
    NotifyBitmapChange();
  }
  FAddingToSelection = oldAdding;
}

// ============================================================ mouse

void TQuillotMView::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TQxView::MouseDown(Button, Shift, X, Y);
  TFlagScope user(FInUserAction, true);
  if (FDoubleClicked) {
    FDoubleClicked = false;
    return;
  }
  if (CanFocus() && HasParentWindow()) SetFocus();
  FPressX = X;
  FPressY = Y;
  FPressViewX = FViewX;
  FPressViewY = FViewY;
  FPressIndex = FHoverIndex = ImageAt(X, Y);
  FRangeSelected = false;
  FMouseDownPending = true;
  FSelectionChanged = false;
  if (Button != TMouseButton::mbLeft || !FMouseInteract.Contains(TQxMMouseInteractItems::mmiSelect) ||
      MultiSelectionOptions.Contains(TQxMultiSelectionOptionsItems::qxmoSelectOnMouseUp))
    return;
  const int32_t idx = ImageAt(X, Y);
  if (Shift.Contains(ssShift) && FEnableMultiSelect) {
    TFlagScope keep(FKeepToggled, true);
    {
      TFlagScope adding(FAddingToSelection, false);
      DeselectAll();
      ChangeSelection(FShiftAnchor < 0 ? 0 : FShiftAnchor);
    }
    SelectAt(X, Y, TShiftState{ssShift});
    FRangeSelected = true;
  } else if (idx >= 0 && IsImageSelected(idx)) {
    FShiftAnchor = idx;
  } else {
    FShiftAnchor = idx;
    SelectAt(X, Y, Shift);
  }
}

void TQuillotMView::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TQxView::MouseMove(Shift, X, Y);
  if (!FMouseDownPending || !(Shift.Contains(ssLeft) || Shift.Contains(ssRight) || Shift.Contains(ssMiddle)))
    return;
  TFlagScope user(FInUserAction, true);
  if (FMouseInteract.Contains(TQxMMouseInteractItems::mmiSelect) && FEnableMultiSelect) {
    const int32_t idx = ImageAt(X, Y);
    if (idx != FHoverIndex && idx != -1) {
      FHoverIndex = idx;
      TFlagScope keep(FKeepToggled, true);
      {
        TFlagScope adding(FAddingToSelection, false);
        DeselectAll();
        ChangeSelection(FPressIndex < 0 ? 0 : FPressIndex);
      }
      SelectAt(X, Y, TShiftState{ssShift});
      FRangeSelected = true;
    }
  }
  if (FMouseInteract.Contains(TQxMMouseInteractItems::mmiScroll) && (X != FPressX || Y != FPressY)) {
    SetViewXY(FPressViewX + FPressX - X, FPressViewY + FPressY - Y);
    DoViewChange(0);
  }
}

void TQuillotMView::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TQxView::MouseUp(Button, Shift, X, Y);
  TFlagScope user(FInUserAction, true);
  if (!FMouseDownPending) return;
  FMouseDownPending = false;
  if (FPlaying || Button != TMouseButton::mbLeft) return;
  const bool select = FMouseInteract.Contains(TQxMMouseInteractItems::mmiSelect);
  if (MultiSelectionOptions.Contains(TQxMultiSelectionOptionsItems::qxmoSelectOnMouseUp)) {
    if (!FRangeSelected && select) SelectAt(X, Y, Shift);
  } else if (!FSelectionChanged && select) {
    SelectAt(X, Y, Shift);
  }
  if (FMouseInteract.Contains(TQxMMouseInteractItems::mmiScroll))
    SetViewXY(FPressViewX + FPressX - X, FPressViewY + FPressY - Y);
}

// ============================================================ keyboard

void TQuillotMView::KeyDown(uint16_t& Key, TShiftState Shift) {
  TQxView::KeyDown(Key, Shift);
  TFlagScope user(FInUserAction, true);
  if (FPlaying || !FKeyInteract.Contains(TQxMKeyInteractItems::mkiMoveSelected)) return;
  int32_t move;
  switch (Key) {
    case 33: move = 7; break;
    case 34: move = 6; break;
    case 35: move = 5; break;
    case 36: move = 4; break;
    case 37: move = 0; break;
    case 38: move = 2; break;
    case 39: move = 1; break;
    case 40: move = 3; break;
    default: return;
  }
  const bool modifier = Shift.Contains(ssCtrl) || Shift.Contains(ssShift);
  {
    const bool multi = FEnableMultiSelect && modifier;
    TFlagScope adding(FAddingToSelection, multi ? true : FAddingToSelection);
    TFlagScope keep(FKeepToggled, multi ? true : FKeepToggled);
    MoveSelection(move);
    DoViewChange(0);
  }
  if (FEnableMultiSelect && !modifier) FShiftAnchor = FSelectedImage;
  Relayout(false);
}

void TQuillotMView::MoveSelection(TQxMSelectionMove Move) {
  const int32_t count = ImageCount();
  if (count == 0) return;
  const int32_t cols = ColumnCount();
  const int32_t rows = (ViewClientHeight() - FVertBorder) / (FVertBorder + FThumbHeight);
  const int32_t page = cols * rows;
  const int32_t sel = FSelectedImage;
  int32_t target = -1;
  int kind = 0;  // 0 none, 1 previous, 2 next, 3 top, 4 bottom, 5 origin
  switch (Move) {
    case 0:
      if (sel < 0) return;
      target = sel - 1;
      kind = 1;
      break;
    case 1:
      target = sel < 0 ? 0 : sel + 1;
      kind = 2;
      break;
    case 2:
      if (sel < 0) return;
      if (FGridWidth == 0) {
        target = sel - 1;
      } else if (sel - cols >= 0) {
        target = sel - cols;
      }
      kind = 3;
      break;
    case 3:
      if (FGridWidth == 0) {
        target = sel + 1;
      } else if (sel + cols < count) {
        target = sel + cols;
      }
      kind = 4;
      break;
    case 4: target = 0; kind = 5; break;
    case 5: target = count - 1; kind = 4; break;
    case 6: target = std::min(sel + page, count - 1); kind = 4; break;
    case 7:
      if (sel < 0) return;
      target = std::max(sel - page, 0);
      kind = 3;
      break;
    default: return;
  }
  if (target >= 0) SelectImage(target);
  if (FSelectedImage < 0 || EntryVisibility(FSelectedImage) == 2) return;
  const TQxMViewEntry* e = Entry(FSelectedImage);
  const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
  switch (kind) {
    case 1: SetViewXY(e->X - FHorizBorder, e->Y - FVertBorder); break;
    case 2:
      SetViewXY(e->X + FThumbWidth + FHorizBorder - cw, e->Y + FThumbHeight + FVertBorder - ch);
      break;
    case 3:
      SetViewY(e->Y - FVertBorder);
      if (EntryVisibility(FSelectedImage) != 2) SetViewX(e->X - FHorizBorder);
      break;
    case 4:
      SetViewY(e->Y + FThumbHeight + FVertBorder - ch);
      if (EntryVisibility(FSelectedImage) != 2) SetViewX(e->X + FThumbWidth + FHorizBorder - cw);
      break;
    case 5: SetViewXY(0, 0); break;
    default: break;
  }
}
