// Measuring, breaking into rows, placing, justifying, scrolling and mapping the tabs.
#include <algorithm>
#include <cstdlib>

#include "controls/kv_tab_buttons.h"
#include "controls/kv_tab_control.h"

namespace {

TSize MaxSize(TSize A, TSize B) { return TSize(std::max(A.cx, B.cx), std::max(A.cy, B.cy)); }

}  // namespace

TRect TKvCustomTabControl::ClientBounds() const {
  TRect c = ClientRect();
  return TRect(0, 0, c.Width() - 1, c.Height() - 1);
}

int32_t TKvCustomTabControl::FirstVisibleTab() const {
  for (int32_t i = 0; i < FTabs->Count(); ++i)
    if (FTabs->Items(i)->Visible) return i;
  return -1;
}

int32_t TKvCustomTabControl::LastVisibleTab() const {
  for (int32_t i = FTabs->Count() - 1; i >= 0; --i)
    if (FTabs->Items(i)->Visible) return i;
  return -1;
}

int32_t TKvCustomTabControl::TabOverlapFor(int32_t T) const {
  switch (FTabStyle) {
    case TKvTabStyle::tsSingleSlant:
    case TKvTabStyle::tsBackSlant: return T / 2;
    case TKvTabStyle::tsDoubleSlant: return T;
    default: return FTabOverlap;
  }
}

TSize TKvCustomTabControl::MinTabContentSize(const TFont& Font) {
  TCanvas* C = FBitmap->Canvas();
  TFont saved;
  saved.Assign(*C->Font());
  C->Font()->Assign(Font);
  TSize e = C->TextExtent(FTabStyle == TKvTabStyle::tsRoundCorners ? "AAA" : "A");
  C->Font()->Assign(saved);
  int32_t fh = std::abs(Font.Height());
  if (VerticalText()) return TSize(fh, e.cy);
  return TSize(e.cx, fh);
}

TSize TKvCustomTabControl::TabContentSize(int32_t Index) {
  TKvTabData* T = FTabs->Items(Index);
  if (!T->Visible) return TSize(0, 0);
  TSize img(0, 0);
  if (FImages && T->ImageIndex != -1) img = TSize(FImages->Width(), FImages->Height());
  TSize txt = T->Caption.empty() ? TSize(0, 0) : TextExtent(T->Caption, !VerticalText());
  TSize r;
  switch (FImagePosition) {
    case TKvImagePosition::ipLeft:
    case TKvImagePosition::ipRight: r = TSize(FImageMargin + img.cx + txt.cx, std::max(img.cy, txt.cy)); break;
    case TKvImagePosition::ipTop:
    case TKvImagePosition::ipBottom: r = TSize(std::max(img.cx, txt.cx), FImageMargin + img.cy + txt.cy); break;
    case TKvImagePosition::ipBack: r = MaxSize(img, txt); break;
    case TKvImagePosition::ipStretch: r = txt; break;
  }
  TSize m = MinTabContentSize(*FTabFont);
  if (FTabWidth == 0) r.cx = std::max(r.cx, m.cx);
  if (FTabHeight == 0) r.cy = std::max(r.cy, m.cy);
  return r;
}

TSize TKvCustomTabControl::TabSizeFromContent(int32_t cw, int32_t ch) const {
  const int32_t w = cw + 2, h = ch + 2, K = FCutCornerSize;
  const bool lr = Vertical(), vt = VerticalText();
  switch (FTabStyle) {
    case TKvTabStyle::tsSingleSlant:
    case TKvTabStyle::tsBackSlant:
      if (!lr) return TSize(2 * TabOverlapFor(h + 4) + w + 4 + FTabHeight / 2, h + 4);
      return TSize(w + 4, 2 * TabOverlapFor(w + 4) + h + 4 + FTabHeight / 2);
    case TKvTabStyle::tsDoubleSlant:
      if (!lr) return TSize(2 * TabOverlapFor(h) + w + 4 + FTabHeight, h + 4);
      return TSize(w + 4, 2 * TabOverlapFor(w) + h + 4 + FTabHeight);
    case TKvTabStyle::tsCutCorner:
      if (!lr) return vt ? TSize(w + 8, h + K + 5) : TSize(2 * K + w + 6, h + 5);
      return vt ? TSize(w + 5, 2 * K + h + 6) : TSize(w + K + 5, h + 8);
    case TKvTabStyle::tsRoundCorners: return vt ? TSize(w + 4, h + 14) : TSize(w + 14, h + 4);
  }
  return TSize(w, h);
}

int32_t TKvCustomTabControl::TabLength(int32_t Index, TSize MaxContent) {
  TSize c = TabContentSize(Index);
  if (Vertical()) c.cx = std::max(c.cx, MaxContent.cx);
  else c.cy = std::max(c.cy, MaxContent.cy);
  TSize s = TabSizeFromContent(c.cx, c.cy);
  if (FTabWidth > 0) s.cx = FTabWidth;
  if (FTabHeight > 0) s.cy = FTabHeight;
  int32_t len = Vertical() ? s.cy : s.cx;
  int32_t avail = std::max(0, TabAreaLength() - 2 * FMargin);
  if (FTabStyle == TKvTabStyle::tsRoundCorners) avail = std::max(0, avail - 4);
  return std::min(len, avail);
}

void TKvCustomTabControl::CalcTabLayout() {
  const int32_t n = FTabs->Count();
  TFontStyles savedStyle = FTabFont->Style();
  if (FBoldCurrentTab) {
    TFontStyles s = savedStyle;
    s.Include(TFontStyle::fsBold);
    FTabFont->SetStyle(s);
  }
  std::vector<int32_t> lengths(static_cast<size_t>(n), 0);
  SelectRotatedFont();
  try {
    TSize maxContent(0, 0), maxTab(0, 0);
    TSize minControl = MinTabContentSize(*Font());
    std::vector<TSize> contents(static_cast<size_t>(n));
    bool any = false;
    for (int32_t i = 0; i < n; ++i) {
      if (!FTabs->Items(i)->Visible) continue;
      TSize c = TabContentSize(i);
      contents[size_t(i)] = c;
      maxContent = MaxSize(maxContent, c);
      TSize cc = MaxSize(c, minControl);
      maxTab = MaxSize(maxTab, TabSizeFromContent(cc.cx, cc.cy));
      any = true;
    }
    if (any) {
      if (FTabWidth > 0) maxTab.cx = FTabWidth;
      if (FTabHeight > 0) maxTab.cy = FTabHeight;
    }
    FFixedDimension = Vertical() ? maxTab.cx : maxTab.cy;
    for (int32_t i = 0; i < n; ++i)
      if (FTabs->Items(i)->Visible) lengths[size_t(i)] = TabLength(i, maxContent);
  } catch (...) {
    RestoreFont();
    FTabFont->SetStyle(savedStyle);
    throw;
  }
  RestoreFont();
  FTabFont->SetStyle(savedStyle);
  PlaceTabs(lengths);
  JustifyRows();
}

int32_t TKvCustomTabControl::CountRows(const std::vector<int32_t>& Lengths) {
  if (!FMultiLine) return 1;
  const int32_t n = FTabs->Count(), last = LastVisibleTab(), ov = TabOverlapFor(FFixedDimension);
  int32_t pos = FMargin, avail = std::max(0, TabAreaLength() - 2 * FMargin), rows = 1, assumed = 1;
  int32_t i = 0;
  // Every restart assumes one more row; a strip can never need more rows than it has tabs.
  while (i < n && assumed <= n + 1) {
    if (!FTabs->Items(i)->Visible) {
      ++i;
      continue;
    }
    const int32_t len = Lengths[size_t(i)];
    if (pos + len < avail) {
      pos += len - ov + 1;
      ++i;
      continue;
    }
    if (rows < assumed) {
      ++rows;
      if (pos == FMargin) ++i;
    } else if (pos > FMargin || (pos == FMargin && i < last)) {
      ++assumed;
      avail = std::max(0, avail - FRowIndent);
      i = 0;
      rows = 1;
    } else {
      ++i;
    }
    pos = FMargin;
  }
  return rows;
}

void TKvCustomTabControl::PlaceTabs(const std::vector<int32_t>& Lengths) {
  SetRowCount(CountRows(Lengths));
  const int32_t n = FTabs->Count(), fd = FFixedDimension, ov = TabOverlapFor(fd);
  int32_t top = TabAreaDepth() - fd, row = 0;
  int32_t avail = TabAreaLength() - 2 * FMargin;
  if (FMultiLine) {
    avail -= (FRowCount - 1) * FRowIndent;
  } else {
    if (FShowCloseButton) avail -= CloseButtonSize() + 2;
    if (FShowMenuButton) avail -= MenuButtonSize() + 2;
    avail -= 2 * ButtonSize() + 2;
  }
  avail = std::max(0, avail);
  const bool rev = Reverse();
  int32_t pos = rev ? -FMargin : FMargin;
  int32_t i = 0;
  while (i < n) {
    TKvTabData* T = FTabs->Items(i);
    if (!T->Visible) {
      ++i;
      continue;
    }
    const int32_t len = Lengths[size_t(i)];
    const bool breaks = FMultiLine && (rev ? pos - len <= -avail : pos + len >= avail);
    if (breaks) {
      const int32_t start = rev ? -FMargin : FMargin;
      if (pos == start) {
        T->Row = row;
        T->RawRect = rev ? TRect(pos - len, top, pos, top + fd) : TRect(pos, top, pos + len, top + fd);
        ++i;
      } else {
        pos = start;
      }
      top -= fd - FRowOverlap;
      ++row;
      continue;
    }
    T->Row = row;
    if (rev) {
      T->RawRect = TRect(pos - len, top, pos, top + fd);
      pos = pos - len + ov - 1;
    } else {
      T->RawRect = TRect(pos, top, pos + len, top + fd);
      pos = pos + len - ov + 1;
    }
    ++i;
  }
  if (rev) {
    const int32_t shift = FMultiLine ? Width() : std::abs(pos);
    for (int32_t k = 0; k < n; ++k) {
      TKvTabData* T = FTabs->Items(k);
      if (T->Visible) OffsetRect(T->RawRect, shift, 0);
    }
  }
}

void TKvCustomTabControl::JustifyRows() {
  if (!FMultiLine || !FAlignTabs) return;
  if ((Vertical() ? FTabHeight : FTabWidth) != 0) return;
  const int32_t n = FTabs->Count();
  const bool rev = Reverse();
  const int32_t L = TabAreaLength() - 2 * FMargin - (FRowCount - 1) * FRowIndent;
  int32_t i = 0;
  while (i < n) {
    if (!FTabs->Items(i)->Visible) {
      ++i;
      continue;
    }
    // One row: consecutive visible tabs of the same Row.
    std::vector<TKvTabData*> rowTabs;
    const int32_t row = FTabs->Items(i)->Row;
    int32_t j = i;
    for (; j < n; ++j) {
      TKvTabData* T = FTabs->Items(j);
      if (!T->Visible) continue;
      if (T->Row != row) break;
      rowTabs.push_back(T);
    }
    i = j;
    int32_t used = rev ? rowTabs.front()->RawRect.Right - rowTabs.back()->RawRect.Left
                       : rowTabs.back()->RawRect.Right - rowTabs.front()->RawRect.Left;
    if (FTabStyle == TKvTabStyle::tsRoundCorners) used += 4;
    const int32_t extra = L - used;
    if (extra <= 0) continue;
    const int32_t cnt = static_cast<int32_t>(rowTabs.size());
    const int32_t q = extra / cnt;
    int32_t r = extra % cnt, acc = 0;
    for (TKvTabData* T : rowTabs) {
      int32_t add = q;
      if (r > 0) {
        ++add;
        --r;
      }
      if (rev) {
        T->RawRect.Right -= acc;
        T->RawRect.Left -= acc + add;
      } else {
        T->RawRect.Left += acc;
        T->RawRect.Right += acc + add;
      }
      acc += add;
    }
  }
}

int32_t TKvCustomTabControl::TabAreaDepth() const {
  const bool round = FTabStyle == TKvTabStyle::tsRoundCorners;
  if (FCardVisible)
    return FFixedDimension + (FFixedDimension - FRowOverlap) * (FRowCount - 1) + (round ? 3 : 0);
  TRect B = ClientBounds();
  int32_t d = Vertical() ? B.Right - 1 : B.Bottom - 1;
  if (round && (FTabOrientation == TKvTabOrientation::toBottom || FTabOrientation == TKvTabOrientation::toRight))
    --d;
  return d;
}

TRect TKvCustomTabControl::TabAreaRect() const {
  const TRect B = ClientBounds();
  const int32_t d = TabAreaDepth();
  TRect A;
  A.Left = FTabOrientation == TKvTabOrientation::toRight ? B.Right - d : 0;
  A.Top = FTabOrientation == TKvTabOrientation::toBottom ? B.Bottom - d : 0;
  A.Right = FTabOrientation == TKvTabOrientation::toLeft ? d : B.Right;
  A.Bottom = FTabOrientation == TKvTabOrientation::toTop ? d : B.Bottom;
  if (FTabOrientation == TKvTabOrientation::toTop && !Reverse() && FShowShadow) A.Right -= 2;
  return A;
}

int32_t TKvCustomTabControl::TabAreaLength() const {
  TRect A = TabAreaRect();
  return Vertical() ? A.Bottom - A.Top : A.Right - A.Left;
}

TRect TKvCustomTabControl::CardRect(int32_t Row) const {
  TRect B = ClientBounds();
  if (FTabs->Count() == 0 && FCardVisible) return B;
  if (!FCardVisible) {
    switch (FTabOrientation) {
      case TKvTabOrientation::toTop: return TRect(B.Left - 3, B.Top, B.Right + 3, B.Bottom + 3);
      case TKvTabOrientation::toLeft: return TRect(B.Left, B.Top - 3, B.Right + 3, B.Bottom + 3);
      case TKvTabOrientation::toBottom: return TRect(B.Left - 3, B.Top - 3, B.Right + 3, B.Bottom);
      case TKvTabOrientation::toRight: return TRect(B.Left - 3, B.Top - 3, B.Right, B.Bottom + 3);
    }
  }
  const int32_t step = FFixedDimension - FRowOverlap;
  const int32_t d1 = TabAreaDepth() - step * Row, d2 = step * Row;
  int32_t i1 = FRowIndent * Row, i2 = FRowIndent * (FRowCount - Row - 1);
  if (Reverse()) std::swap(i1, i2);
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop:
      B.Top += d1, B.Bottom -= d2, B.Left += i1, B.Right -= i2;
      break;
    case TKvTabOrientation::toBottom:
      B.Top += d2, B.Bottom -= d1, B.Left += i1, B.Right -= i2;
      break;
    case TKvTabOrientation::toLeft:
      B.Left += d1, B.Right -= d2, B.Top += i2, B.Bottom -= i1;
      break;
    case TKvTabOrientation::toRight:
      B.Left += d2, B.Right -= d1, B.Top += i1, B.Bottom -= i2;
      break;
  }
  if (B.Left > B.Right || B.Top > B.Bottom) return TRect(0, 0, 0, 0);
  return B;
}

TRect TKvCustomTabControl::DisplayRect() const {
  if (!FCardVisible) return TRect(-2, -2, -1, -1);
  TRect R = CardRect(0);
  if (!FShowCardFrame) {
    R.Right += 1;
    R.Bottom += 1;
  } else if (FShowFullFrame) {
    R.Left += 1;
    R.Top += 1;
    if (FTabOrientation == TKvTabOrientation::toTop && !Reverse() && FShowShadow) {
      R.Right -= 2;
      R.Bottom -= 2;
    }
  } else {
    if (FTabOrientation != TKvTabOrientation::toRight) R.Top += 1;
    R.Right += 1;
    R.Bottom += 1;
  }
  return R;
}

void TKvCustomTabControl::CheckDisplayRect() {
  TRect R = DisplayRect();
  if (R == FLastDisplayRect) return;
  FLastDisplayRect = R;
  Realign();
}

void TKvCustomTabControl::AdjustClientRect(TRect& Rect) {
  TRect R = DisplayRect();
  // The display rectangle is inclusive on no side: children get what lies inside the frame.
  Rect = R;
}

int32_t TKvCustomTabControl::ButtonSize() {
  TCanvas* C = FBitmap->Canvas();
  SelectRotatedFont();
  int32_t s = C->TextExtent("A").cy;
  RestoreFont();
  s += VerticalText() ? 2 : 4;
  const int32_t limit = FFixedDimension - 2;
  const bool grow = Vertical() ? (VerticalText() && FTabWidth > 0) : (!VerticalText() && FTabHeight > 0);
  return grow ? std::max(s, limit) : std::min(s, limit);
}

int32_t TKvCustomTabControl::CloseButtonSize() {
  return FShowCloseButton && FTabs->Count() > 0 ? ButtonSize() : 0;
}

int32_t TKvCustomTabControl::MenuButtonSize() { return FShowMenuButton && FTabs->Count() > 0 ? ButtonSize() : 0; }

int32_t TKvCustomTabControl::ScrollOrigin() const {
  if (FFirstShown < 0 || FFirstShown >= FTabs->Count()) return 0;
  const TRect& R = FTabs->Items(FFirstShown)->RawRect;
  const int32_t m = FMargin + (FTabStyle == TKvTabStyle::tsRoundCorners ? 2 : 0);
  return Reverse() ? R.Right + m : R.Left - m;
}

TPoint TKvCustomTabControl::LayoutToClient(const TPoint& P) const {
  const int32_t o = ScrollOrigin(), x = P.X, y = P.Y;
  const TRect A = TabAreaRect();
  if (!Reverse()) {
    switch (FTabOrientation) {
      case TKvTabOrientation::toTop: return TPoint(x - o + A.Left, y + A.Top);
      case TKvTabOrientation::toBottom: return TPoint(x - o + A.Left, A.Bottom - y);
      case TKvTabOrientation::toLeft: return TPoint(y + A.Left, A.Bottom - (x - o));
      case TKvTabOrientation::toRight: return TPoint(A.Right - y, x - o + A.Top);
    }
  }
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop: return TPoint(A.Right - (o - x), y + A.Top);
    case TKvTabOrientation::toBottom: return TPoint(A.Right - (o - x), A.Bottom - y);
    case TKvTabOrientation::toLeft: return TPoint(y + A.Left, (o - x) + A.Top);
    case TKvTabOrientation::toRight: return TPoint(A.Right - y, A.Bottom - (o - x));
  }
  return P;
}

TRect TKvCustomTabControl::LayoutRectToClient(const TRect& R) const {
  TPoint a = LayoutToClient(TPoint(R.Left, R.Top)), b = LayoutToClient(TPoint(R.Right, R.Bottom));
  return TRect(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X), std::max(a.Y, b.Y));
}

TRect TKvCustomTabControl::TabLayoutRect(int32_t Index) const {
  const TKvTabData* T = FTabs->Items(Index);
  TRect R = T->RawRect;
  if (T->Row > 0) OffsetRect(R, (Reverse() ? -1 : 1) * T->Row * FRowIndent, 0);
  if (FTabStyle == TKvTabStyle::tsRoundCorners && Index == FTabIndex) {
    R.Left -= 2;
    R.Right += 2;
    R.Top -= 2;
  }
  return R;
}

TRect TKvCustomTabControl::TabClientRect(int32_t Index) const { return LayoutRectToClient(TabLayoutRect(Index)); }

int32_t TKvCustomTabControl::AvailableForScrolling() {
  int32_t a = TabAreaLength() - 2 * FMargin;
  if (FShowCloseButton) a -= CloseButtonSize() + 2;
  if (FShowMenuButton) a -= MenuButtonSize() + 2;
  return a;
}

void TKvCustomTabControl::DecideScrolling() {
  FScrolling = false;
  if (FMultiLine) return;
  const int32_t first = FirstVisibleTab(), last = LastVisibleTab();
  if (first < 0) return;
  const int32_t end = Reverse() ? FTabs->Items(first)->RawRect.Right : FTabs->Items(last)->RawRect.Right;
  FScrolling = AvailableForScrolling() < end;
}

bool TKvCustomTabControl::TabShown(int32_t Index) {
  if (Index < 0 || Index >= FTabs->Count()) return false;
  const TKvTabData* T = FTabs->Items(Index);
  if (!T->Visible) return false;
  if (!FScrolling) return true;
  int32_t window = TabAreaLength() - 2 * ButtonSize() - 2 * FMargin;
  if (FShowCloseButton) window -= CloseButtonSize() + 2;
  if (FShowMenuButton) window -= MenuButtonSize() + 2;
  const int32_t o = ScrollOrigin();
  if (Reverse()) return T->RawRect.Right <= o && o - T->RawRect.Left <= window;
  return T->RawRect.Left >= o && T->RawRect.Right - o <= window;
}

void TKvCustomTabControl::Scroll(bool Forward) {
  const int32_t old = FFirstShown, n = FTabs->Count();
  bool found = false;
  if (Forward) {
    if (FFirstShown < n - 1 && !TabShown(LastVisibleTab())) {
      while (FFirstShown < n - 1) {
        ++FFirstShown;
        if (TabShown(FFirstShown)) {
          found = true;
          break;
        }
      }
    }
  } else if (FFirstShown > 0 && !TabShown(FirstVisibleTab())) {
    while (FFirstShown > 0) {
      --FFirstShown;
      if (TabShown(FFirstShown)) {
        found = true;
        break;
      }
    }
  }
  if (!found) {
    FFirstShown = old;
    return;
  }
  InvalidateTabs();
}

void TKvCustomTabControl::RotateRows(int32_t Tab) {
  if (!FMultiLine || Tab < 0 || Tab >= FTabs->Count()) return;
  int32_t R = 0;
  for (int32_t i = 0; i < FTabs->Count(); ++i) R = std::max(R, FTabs->Items(i)->Row);
  ++R;
  std::vector<TRect> rowRects(static_cast<size_t>(R));
  std::vector<bool> seen(static_cast<size_t>(R), false);
  for (int32_t i = 0; i < FTabs->Count(); ++i) {
    TKvTabData* T = FTabs->Items(i);
    if (!T->Visible || seen[size_t(T->Row)]) continue;
    seen[size_t(T->Row)] = true;
    rowRects[size_t(T->Row)] = T->RawRect;
  }
  const int32_t shift = (R - FTabs->Items(Tab)->Row) % R;
  if (shift == 0) return;
  for (int32_t i = 0; i < FTabs->Count(); ++i) {
    TKvTabData* T = FTabs->Items(i);
    if (!T->Visible) continue;
    T->Row = (T->Row + shift) % R;
    T->RawRect.Top = rowRects[size_t(T->Row)].Top;
    T->RawRect.Bottom = rowRects[size_t(T->Row)].Bottom;
  }
  FRegionCache->Clear();
}

void TKvCustomTabControl::UpdateLayout() {
  if (!FLayoutDirty) return;
  SetLayoutDirty(false);
  CalcTabLayout();
  FRegionCache->Clear();
  const int32_t n = FTabs->Count();
  DecideScrolling();
  if (FScrolling) {
    const int32_t old = FFirstShown;
    int32_t f = std::max(0, FFirstShown);
    bool ok = false;
    for (; f < n; ++f) {
      FFirstShown = f;
      if (TabShown(f)) {
        ok = true;
        break;
      }
    }
    if (!ok) {
      for (f = std::min(old - 1, n - 1); f >= 0; --f) {
        FFirstShown = f;
        if (TabShown(f)) {
          ok = true;
          break;
        }
      }
    }
    if (!ok) FFirstShown = FirstVisibleTab();
  } else {
    FFirstShown = FirstVisibleTab();
  }
  int32_t t = (FirstVisibleTab() >= 0 && FTabIndex >= 0) ? FTabIndex : -1;
  while (t >= 0 && t < n && !CanSelectTab(t)) ++t;
  if (t >= n) {
    t = FTabIndex == n ? n - 1 : FTabIndex;
    while (t >= 0 && !CanSelectTab(t)) --t;
  }
  if (t != FTabIndex && t != -1) SelectWithoutAsking(t);
  CheckDisplayRect();
}

void TKvCustomTabControl::PlaceButtons() {
  if (Loading()) return;
  const int32_t s = ButtonSize();
  const int32_t closeS = CloseButtonSize(), menuS = MenuButtonSize();
  const TRect A = TabAreaRect();
  const int32_t M = FMargin;
  int32_t P = 0;
  auto place = [&](TWinControl* B, int32_t w, int32_t h) {
    const int32_t size = Vertical() ? h : w;
    int32_t x = 0, y = 0;
    if (!Reverse()) {
      switch (FTabOrientation) {
        case TKvTabOrientation::toTop:
          x = A.Right - size - M - P + (FShowShadow ? -1 : 1), y = A.Bottom - h - 2;
          break;
        case TKvTabOrientation::toBottom: x = A.Right - size + 1 - M - P, y = A.Top + 2; break;
        case TKvTabOrientation::toLeft: x = A.Right - w - 2, y = A.Top + M + P; break;
        case TKvTabOrientation::toRight: x = A.Left + 2, y = A.Bottom - size + 1 - M - P; break;
      }
    } else {
      switch (FTabOrientation) {
        case TKvTabOrientation::toTop: x = A.Left + M + P, y = A.Bottom - h - 2; break;
        case TKvTabOrientation::toBottom: x = A.Left + M + P, y = A.Top + 2; break;
        case TKvTabOrientation::toLeft: x = A.Right - w - 2, y = A.Bottom - size + 1 - M - P; break;
        case TKvTabOrientation::toRight: x = A.Left + 2, y = A.Top + M + P; break;
      }
    }
    B->SetBounds(x, y, w, h);
    P += size + 2;
  };
  if (FCloseButton) {
    FCloseButton->SetVisible(FShowCloseButton);
    if (FShowCloseButton) place(FCloseButton, closeS, closeS);
  }
  if (FMenuButton) {
    FMenuButton->SetVisible(FShowMenuButton);
    if (FShowMenuButton) place(FMenuButton, menuS, menuS);
  }
  if (FScrolling) EnsureScroller();
  if (FScroller) {
    const int32_t w = Vertical() ? s : 2 * s - 1, h = Vertical() ? 2 * s - 1 : s;
    FScroller->SetOrientation(Vertical() ? TOrientation::orVertical : TOrientation::orHorizontal);
    if (FScrolling) place(FScroller, w, h);
    else FScroller->SetBounds(-(w + 1), -(h + 1), w, h);
  }
}
