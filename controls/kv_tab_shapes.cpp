// The paint pipeline, the tab polygons and their regions, and the outlines of tabs and cards drawn
// through a small list of line commands.
#include <algorithm>

#include "controls/kv_tab_buttons.h"
#include "controls/kv_tab_control.h"
#include "platform/base/exceptions.h"

namespace {

enum : int32_t { cmPenColor = 0, cmNothing = 1, cmFlatColor = 2, cmMove = 3, cmLine = 4, cmShadow30 = 5, cmShadow15 = 6 };

}  // namespace

void TKvCustomTabControl::Paint() {
  FPaintedOnce = true;
  UpdateLayout();
  const TRect cr = ClientRect();
  const int32_t w = std::max(1, cr.Width()), h = std::max(1, cr.Height());
  if (FBitmap->Width() != w || FBitmap->Height() != h) {
    FBitmap->SetWidth(w);
    FBitmap->SetHeight(h);
  }
  TCanvas* C = FBitmap->Canvas();
  C->Brush()->SetColor(clBlack);
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  const TRect all(0, 0, cr.Width(), cr.Height());
  bool handled = false;
  DoPaintBackground(C, all, handled);
  if (!handled) {
    if (FTransparent) {
      KvPaintParentBackground(this, C, false);
    } else {
      C->Brush()->SetColor(ColorToRGB(FBackgroundColor));
      C->FillRect(all);
    }
  }
  PlaceButtons();
  PaintTabsAndCards();
  BitBlt(Canvas(), 0, 0, cr.Width(), cr.Height(), C, 0, 0, SRCCOPY);
}

void TKvCustomTabControl::PaintTabsAndCards() {
  const int32_t n = FTabs->Count();
  if (n > 0) {
    int32_t f = 0;
    for (int32_t i = 0; i < n; ++i) {
      if (FTabs->Items(i)->Visible && FTabs->Items(i)->Row == 0) {
        f = i;
        break;
      }
    }
    const int32_t start = f == 0 ? n - 1 : f - 1;
    int32_t row = FRowCount - 1;
    int32_t i = start;
    do {
      TKvTabData* T = FTabs->Items(i);
      if (T->Visible && TabShown(i) && i >= FFirstShown && i != FTabIndex) {
        if (row > T->Row && row > 0) {
          PaintCard(row);
          row = T->Row;
        }
        PaintTab(i);
      }
      i = i == 0 ? n - 1 : i - 1;
    } while (i != start);
    if (row == 1) PaintCard(1);
    if (FTabIndex >= 0 && FTabIndex < n && FTabIndex >= FFirstShown && TabShown(FTabIndex)) PaintTab(FTabIndex);
  }
  PaintCard(0);
}

void TKvCustomTabControl::PaintTab(int32_t Index) {
  TCanvas* C = FBitmap->Canvas();
  const TRect r = TabClientRect(Index);
  TRect clip = C->ClipRect(), dummy;
  if (!IntersectRect(dummy, r, clip)) return;
  if (const TRegion* rg = TabRegion(Index, r)) {
    if (SaveDC(C) == 0) throw Exception(SKvErrorSavingDC);
    try {
      SelectClipRgn(C, rg);
      PaintTabBackground(Index, r);
      PaintTabContent(Index, r);
    } catch (...) {
      RestoreDC(C, -1);
      throw;
    }
    RestoreDC(C, -1);
  }
  FLineCommands.clear();
  AddCommand(cmFlatColor, TPoint(0, Index));
  TabOutlineCommands(Index);
  RunLineCommands();
}

void TKvCustomTabControl::PaintCard(int32_t Row) {
  TRect c = CardRect(Row);
  if (c == TRect(0, 0, 0, 0)) return;
  if (FCardVisible) {
    c.Right += 1;
    c.Bottom += 1;
  }
  TCanvas* C = FBitmap->Canvas();
  bool handled = false;
  DoPaintCardBackground(C, Row, handled, c);
  if (!handled) {
    TColor fill = FUseColoredTabs && FTabIndex >= 0 ? FTabs->Items(FTabIndex)->Color : Color();
    C->Brush()->SetStyle(TBrushStyle::bsSolid);
    C->Brush()->SetColor(ColorToRGB(fill));
    C->FillRect(c);
  }
  if (!FShowCardFrame) return;
  FLineCommands.clear();
  AddCommand(cmFlatColor, TPoint(1, Row));
  CardFrameCommands(Row);
  RunLineCommands();
}

// ---- shapes and regions ------------------------------------------------------------------------

int32_t TKvCustomTabControl::TabShapePoints(int32_t Index, TPoint (&P)[6]) const {
  const TRect r = TabLayoutRect(Index);
  const int32_t L = r.Left, Tp = r.Top, R = r.Right, B = r.Bottom, h = B - Tp, K = FCutCornerSize;
  int32_t n = 0;
  auto add = [&](int32_t x, int32_t y) { P[n++] = TPoint(x, y); };
  switch (FTabStyle) {
    case TKvTabStyle::tsSingleSlant:
      add(L, B), add(L, Tp + 2), add(L + 2, Tp);
      if (FSoftCorners) add(R - h - 4, Tp), add(R - h + 2, Tp + 2);
      else add(R - h, Tp);
      add(R, B);
      break;
    case TKvTabStyle::tsDoubleSlant:
      add(L, B);
      if (FSoftCorners) add(L + h - 2, Tp + 2), add(L + h + 4, Tp), add(R - h - 4, Tp), add(R - h + 2, Tp + 2);
      else add(L + h, Tp), add(R - h, Tp);
      add(R, B);
      break;
    case TKvTabStyle::tsCutCorner: add(L, B), add(L, Tp), add(R - K, Tp), add(R, Tp + K), add(R, B); break;
    case TKvTabStyle::tsRoundCorners:
      add(L, B), add(L, Tp + 2), add(L + 2, Tp), add(R - 2, Tp), add(R, Tp + 2), add(R, B);
      break;
    case TKvTabStyle::tsBackSlant:
      add(L, B);
      if (FSoftCorners) add(L + h - 2, Tp + 2), add(L + h + 4, Tp);
      else add(L + h, Tp);
      add(R - 2, Tp), add(R, Tp + 2), add(R, B);
      break;
  }
  return n;
}

const TRegion* TKvCustomTabControl::TabRegion(int32_t Index, const TRect& ClientRect) {
  if (FRegionCache->Find(ClientRect)) return FRegionCache->Add(ClientRect, nullptr);
  TPoint P[6];
  const int32_t n = TabShapePoints(Index, P);
  if (n < 3) return nullptr;
  for (int32_t i = 0; i < n; ++i) P[i] = LayoutToClient(P[i]);
  auto rgn = std::make_unique<TRegion>(CreatePolygonRgn(P, n, ALTERNATE));
  return FRegionCache->Add(ClientRect, std::move(rgn));
}

// ---- line commands -----------------------------------------------------------------------------

void TKvCustomTabControl::RunLineCommands() {
  TCanvas* C = FBitmap->Canvas();
  const std::vector<int32_t>& L = FLineCommands;
  TColor lineColor = ShiftedFlatColor();
  bool shadows = false;
  for (size_t i = 0; i < L.size(); i += L[i] >= cmFlatColor ? 3 : 1)
    if (L[i] == cmShadow30 || L[i] == cmShadow15) shadows = true;
  std::unique_ptr<TBitmap> snap;
  if (shadows) {
    snap = std::make_unique<TBitmap>();
    snap->SetPixelFormat(TPixelFormat::pf32bit);
    snap->SetWidth(FBitmap->Width());
    snap->SetHeight(FBitmap->Height());
    KvPaintParentBackground(this, snap->Canvas(), false);
  }
  C->Pen()->SetStyle(TPenStyle::psSolid);
  C->Pen()->SetWidth(1);
  // Shadow pixels stay on the card being framed and inside both pictures.
  TRect clip(0, 0, FBitmap->Width(), FBitmap->Height());
  if (FShadowClip.Right > FShadowClip.Left) IntersectRect(clip, clip, FShadowClip);
  size_t i = 0;
  while (i < L.size()) {
    const int32_t code = L[i];
    if (code < cmFlatColor) {
      if (code == cmPenColor) C->Pen()->SetColor(lineColor);
      ++i;
      continue;
    }
    if (i + 2 >= L.size()) break;
    const int32_t x = L[i + 1], y = L[i + 2];
    i += 3;
    switch (code) {
      case cmFlatColor: lineColor = ShiftedFlatColor(); break;
      case cmMove: C->MoveTo(x, y); break;
      case cmLine: C->LineTo(x, y); break;
      case cmShadow30:
      case cmShadow15: {
        const uint8_t weight = code == cmShadow30 ? 30 : 15;
        const TPoint p = C->PenPos();
        auto shade = [&](int32_t px, int32_t py) {
          if (!PtInRect(clip, TPoint(px, py))) return;
          C->SetPixels(px, py, KvMixColors(clBlack, snap->Canvas()->Pixels(px, py), weight));
        };
        if (x == p.X) {
          for (int32_t yy = std::min(p.Y, y); yy <= std::max(p.Y, y); ++yy) shade(x, yy);
        } else {
          for (int32_t xx = std::min(p.X, x); xx <= std::max(p.X, x); ++xx) shade(xx, p.Y);
        }
        C->MoveTo(x, y);
        break;
      }
      default: break;
    }
  }
}

void TKvCustomTabControl::TabOutlineCommands(int32_t Index) {
  TPoint P[6];
  const int32_t n = TabShapePoints(Index, P);
  int32_t expected = 0;
  switch (FTabStyle) {
    case TKvTabStyle::tsSingleSlant:
    case TKvTabStyle::tsBackSlant: expected = FSoftCorners ? 6 : 5; break;
    case TKvTabStyle::tsDoubleSlant: expected = FSoftCorners ? 6 : 4; break;
    case TKvTabStyle::tsCutCorner: expected = 5; break;
    case TKvTabStyle::tsRoundCorners: expected = 6; break;
  }
  if (n != expected) throw Exception(SKvBadTabShape);
  AddCommand(cmPenColor);
  TPoint Q[6];
  for (int32_t i = 0; i < n; ++i) Q[i] = LayoutToClient(P[i]);
  if (FTabStyle != TKvTabStyle::tsRoundCorners) {
    AddCommand(cmMove, Q[0]);
    for (int32_t i = 1; i < n; ++i) AddCommand(cmLine, Q[i]);
  } else if (FTabOrientation == TKvTabOrientation::toLeft) {
    AddCommand(cmMove, Q[1]), AddCommand(cmLine, Q[0]);
    AddCommand(cmMove, Q[1]), AddCommand(cmLine, Q[2]);
    AddCommand(cmMove, Q[2]), AddCommand(cmLine, Q[3]), AddCommand(cmLine, Q[4]), AddCommand(cmLine, Q[5]);
  } else {
    AddCommand(cmMove, Q[4]), AddCommand(cmLine, Q[5]);
    AddCommand(cmMove, Q[4]), AddCommand(cmLine, Q[3]);
    AddCommand(cmMove, Q[3]), AddCommand(cmLine, Q[2]), AddCommand(cmLine, Q[1]), AddCommand(cmLine, Q[0]);
  }
}

void TKvCustomTabControl::AddShadowCommands(const TPoint& K1, const TPoint& K2, const TPoint& K3) {
  if (FHotRepaint) return;
  AddCommand(cmMove, TPoint(K1.X - 1, K1.Y + 1));
  AddCommand(cmShadow30, TPoint(K2.X - 1, K2.Y - 1));
  AddCommand(cmShadow30, TPoint(K3.X, K3.Y - 1));
  AddCommand(cmMove, TPoint(K1.X - 1, K1.Y));
  AddCommand(cmShadow15, K1);
  AddCommand(cmShadow15, K2);
  AddCommand(cmShadow15, K3);
  AddCommand(cmShadow15, TPoint(K3.X, K3.Y - 1));
}

void TKvCustomTabControl::CardFrameCommands(int32_t Row) {
  const TRect c = CardRect(Row);
  FShadowClip = TRect(c.Left, c.Top, c.Right + 1, c.Bottom + 1);
  const TPoint K0(c.Left, c.Top), K1(c.Right, c.Top), K2(c.Right, c.Bottom), K3(c.Left, c.Bottom);
  const bool topStdShadow = FTabOrientation == TKvTabOrientation::toTop && !Reverse() && FShowShadow;
  auto mv = [&](TPoint p) { AddCommand(cmMove, p); };
  auto ln = [&](TPoint p) { AddCommand(cmLine, p); };
  auto pt = [](int32_t x, int32_t y) { return TPoint(x, y); };
  AddCommand(cmPenColor);
  const bool plain = FTabIndex < 0 || Row > 0 || !TabShown(FTabIndex);
  if (plain) {
    if (topStdShadow) {
      mv(K0), ln(pt(K1.X - 2, K1.Y)), ln(pt(K2.X - 2, K2.Y - 2)), ln(pt(K3.X, K3.Y - 2)), ln(K0);
      AddShadowCommands(K1, K2, K3);
    } else {
      mv(K0), ln(K1);
      if (FShowFullFrame) ln(K2), ln(K3), ln(K0);
    }
    return;
  }
  TPoint P[6];
  const int32_t n = TabShapePoints(FTabIndex, P);
  const TPoint G1 = LayoutToClient(TPoint(P[0].X + 1, P[0].Y)), G2 = LayoutToClient(P[n - 1]);
  const bool full = FShowFullFrame;
  if (FTabStyle != TKvTabStyle::tsRoundCorners) {
    switch (FTabOrientation) {
      case TKvTabOrientation::toTop:
        if (topStdShadow && full) {
          mv(K0), ln(G1), mv(G2), ln(pt(K1.X - 2, K1.Y)), ln(pt(K2.X - 2, K2.Y - 2)), ln(pt(K3.X, K3.Y - 2)),
              ln(pt(K0.X, K0.Y - 1));
          AddShadowCommands(K1, K2, K3);
        } else if (topStdShadow) {
          mv(K0), ln(G1), mv(G2), ln(pt(K1.X - 2, K1.Y));
          AddShadowCommands(K1, K2, K3);
        } else if (full) {
          mv(K0), ln(G1), mv(G2), ln(K1), ln(K2), ln(K3), ln(K0);
        } else {
          mv(K0), ln(G1), mv(G2), ln(pt(K1.X + 1, K1.Y));
        }
        break;
      case TKvTabOrientation::toLeft:
        if (full) mv(K0), ln(K1), ln(K2), ln(K3), ln(G1), mv(G2), ln(K0);
        else mv(pt(K3.X - 1, K3.Y)), ln(pt(G1.X - 1, G1.Y)), mv(pt(G2.X - 1, G2.Y)), ln(pt(K0.X - 1, K0.Y));
        break;
      case TKvTabOrientation::toBottom:
        if (full) mv(K0), ln(K1), ln(K2), ln(pt(G2.X - 1, G2.Y)), mv(pt(G1.X - 1, G1.Y)), ln(K3), ln(K0);
        else
          mv(pt(K2.X, K2.Y + 1)), ln(pt(G2.X - 1, G2.Y + 1)), mv(pt(G1.X - 1, G2.Y + 1)), ln(pt(K3.X, K3.Y + 1));
        break;
      case TKvTabOrientation::toRight:
        if (full) mv(K0), ln(K1), ln(G1), mv(G2), ln(K2), ln(K3), ln(K0);
        else mv(pt(K1.X + 1, K1.Y)), ln(pt(G1.X + 1, G1.Y)), mv(pt(G2.X + 1, G2.Y)), ln(pt(K2.X + 1, K2.Y + 1));
        break;
    }
    return;
  }
  auto dot = [&](TPoint p) { mv(p), ln(p), ln(pt(p.X + 1, p.Y)); };
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop:
      if (topStdShadow) {
        mv(pt(K3.X, K3.Y - 2)), ln(K0), ln(G1), mv(G2), ln(pt(K1.X - 2, K1.Y)), ln(pt(K2.X - 2, K2.Y - 2)),
            ln(pt(K3.X - 1, K3.Y - 2));
        AddShadowCommands(K1, K2, K3);
        AddCommand(cmPenColor);
        dot(G2);
      } else if (full) {
        mv(K3), ln(K0), ln(G1), mv(G2), ln(K1), ln(K2), ln(pt(K3.X - 1, K3.Y));
        dot(G2);
      } else {
        mv(K0), ln(G1), mv(G2), ln(pt(K1.X + 1, K1.Y));
        dot(G2);
      }
      break;
    case TKvTabOrientation::toLeft:
      if (full) mv(K3), ln(G1), mv(G2), ln(K0), ln(K1), ln(K2), ln(pt(K3.X - 1, K3.Y));
      else mv(pt(K3.X - 1, K3.Y)), ln(pt(G1.X - 1, G1.Y)), mv(pt(G2.X - 1, G2.Y)), ln(pt(K0.X - 1, K0.Y));
      break;
    case TKvTabOrientation::toBottom:
      if (full) mv(K3), ln(K0), ln(K1), ln(K2), ln(pt(G2.X - 1, G2.Y)), mv(pt(G1.X - 1, G1.Y)), ln(K3);
      else
        mv(pt(K2.X, K2.Y + 1)), ln(pt(G2.X - 1, G2.Y + 1)), mv(pt(G1.X - 1, G2.Y + 1)),
            ln(pt(K3.X - 1, K3.Y + 1));
      break;
    case TKvTabOrientation::toRight:
      if (full) mv(K3), ln(K0), ln(pt(K1.X + 1, K1.Y)), mv(K1), ln(G1), mv(G2), ln(K2), ln(pt(K3.X - 1, K3.Y));
      else mv(pt(K1.X + 1, K1.Y)), ln(pt(G1.X + 1, G1.Y)), mv(pt(G2.X + 1, G2.Y)), ln(pt(K2.X + 1, K2.Y + 1));
      break;
  }
}
