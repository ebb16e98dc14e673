// What is painted inside a tab: its background, image, caption, bar and focus mark, and the
// turned fonts and caption measuring the layout relies on.
#include <algorithm>

#include "controls/kv_fonts.h"
#include "controls/kv_tab_control.h"
#include "platform/base/exceptions.h"

// ---- fonts and measuring -----------------------------------------------------------------------

void TKvCustomTabControl::SelectRotatedFont() {
  TCanvas* C = FBitmap->Canvas();
  if (SaveDC(C) == 0) throw Exception(SKvErrorSavingDC);
  int32_t angle = 0;
  if (VerticalText()) angle = FTabOrientation == TKvTabOrientation::toRight ? 270 : 90;
  // The stack keeps the font the canvas had, so that RestoreFont can put it back.
  auto previous = std::make_unique<TFont>();
  previous->Assign(*C->Font());
  FFontStack.push_back(std::move(previous));
  C->Font()->Assign(*KvCreateRotatedFont(*FTabFont, angle));
}

void TKvCustomTabControl::RestoreFont() {
  TCanvas* C = FBitmap->Canvas();
  RestoreDC(C, -1);
  if (FFontStack.empty()) return;
  C->Font()->Assign(*FFontStack.back());
  FFontStack.pop_back();
}

void TKvCustomTabControl::SplitCaption(const std::string& Text, std::vector<std::string>& Lines) {
  Lines.clear();
  size_t p = 0;
  while (p < Text.size()) {
    size_t q = Text.find("\r\n", p);
    if (q == std::string::npos) {
      Lines.push_back(Text.substr(p));
      break;
    }
    Lines.push_back(Text.substr(p, q - p));
    p = q + 2;
  }
}

namespace {

// The line as drawn: the first "&" marks the accelerator ("&&" is one "&"); a lone "&" at the very
// end is kept.
std::string WithoutAccelMark(const std::string& Line) {
  size_t p = Line.find('&');
  if (p == std::string::npos || p + 1 == Line.size()) return Line;
  return Line.substr(0, p) + Line.substr(p + 1);
}

}  // namespace

TSize TKvCustomTabControl::MeasureLine(const std::string& Line, bool Horizontal) {
  TSize e(0, 0);
  if (!GetTextExtentPoint32(FBitmap->Canvas(), WithoutAccelMark(Line), &e)) e = TSize(0, 0);
  if (!Horizontal) std::swap(e.cx, e.cy);
  return e;
}

TSize TKvCustomTabControl::TextExtent(const std::string& Caption, bool Horizontal) {
  std::vector<std::string> lines;
  SplitCaption(Caption, lines);
  TSize r(0, 0);
  for (const std::string& l : lines) {
    TSize e = MeasureLine(l, Horizontal);
    if (Horizontal) {
      r.cx = std::max(r.cx, e.cx);
      r.cy += e.cy;
    } else {
      r.cx += e.cx;
      r.cy = std::max(r.cy, e.cy);
    }
  }
  return r;
}

// ---- background --------------------------------------------------------------------------------

void TKvCustomTabControl::PaintTabBackground(int32_t Index, const TRect& R) {
  TCanvas* C = FBitmap->Canvas();
  bool handled = false;
  DoPaintTabBackground(C, Index, handled, R);
  if (handled) return;
  TKvTabData* T = FTabs->Items(Index);
  TColor light, dark, current;
  if (FUseColoredTabs) {
    light = T->Color;
    dark = ColorToRGB(T->Color) == ColorToRGB(clWhite) ? clBtnFace : KvDarken(T->Color, 30);
    current = T->Color;
  } else {
    light = FTabColors->Unselected();
    dark = FTabColors->Shadow();
    current = Color();
  }
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  if (Index == FTabIndex) {
    C->Brush()->SetColor(ColorToRGB(current));
    C->FillRect(R);
    return;
  }
  if (FUseGradients && KvFullColorDisplay) {
    switch (FTabOrientation) {
      case TKvTabOrientation::toTop: KvDrawGradient(C, R, TGradientDirection::gdHorizontalEnd, light, dark, 1); break;
      case TKvTabOrientation::toLeft: KvDrawGradient(C, R, TGradientDirection::gdVerticalEnd, light, dark, 1); break;
      case TKvTabOrientation::toBottom:
        KvDrawGradient(C, R, TGradientDirection::gdHorizontalEnd, dark, light, 1);
        break;
      case TKvTabOrientation::toRight: KvDrawGradient(C, R, TGradientDirection::gdVerticalEnd, dark, light, 1); break;
    }
    return;
  }
  C->Brush()->SetColor(ColorToRGB(light));
  C->FillRect(R);
}

// ---- content -----------------------------------------------------------------------------------

TRect TKvCustomTabControl::ContentRect(int32_t Index, const TRect& R) const {
  (void)Index;
  TRect r = R;
  const int32_t w0 = R.Width(), h0 = R.Height(), K = FCutCornerSize;
  const TKvTabOrientation o = FTabOrientation;
  const bool top = o == TKvTabOrientation::toTop, bottom = o == TKvTabOrientation::toBottom;
  const bool left = o == TKvTabOrientation::toLeft;
  const bool vt = VerticalText();
  auto shrink = [&](int32_t dx, int32_t dy) { InflateRect(r, -dx, -dy); };
  auto move = [&](int32_t dx, int32_t dy) { OffsetRect(r, dx, dy); };
  switch (FTabStyle) {
    case TKvTabStyle::tsSingleSlant:
      shrink(1, 1);
      if (top || bottom) {
        r.Right -= 2 * TabOverlapFor(h0) + 2;
        move(3, 0);
        if (top) r.Top += 2;
        else r.Bottom -= 2, move(0, 1);
      } else {
        if (left) r.Top += 2 * TabOverlapFor(w0) + 2, move(0, -2);
        else r.Bottom -= 2 * TabOverlapFor(w0) + 2, move(0, 2);
        move(0, 1);
        if (left) r.Left += 2;
        else r.Right -= 2, move(1, 0);
      }
      break;
    case TKvTabStyle::tsBackSlant:
      shrink(1, 1);
      if (top || bottom) {
        r.Left += 2 * TabOverlapFor(h0) + 2;
        move(-3, 0);
        if (top) r.Top += 2;
        else r.Bottom -= 2, move(0, -1);
      } else {
        if (left) r.Bottom -= 2 * TabOverlapFor(w0) + 2, move(0, 2);
        else r.Top += 2 * TabOverlapFor(w0) + 2, move(0, -2);
        move(0, -1);
        if (left) r.Left += 2;
        else r.Right -= 2, move(1, 0);
      }
      break;
    case TKvTabStyle::tsDoubleSlant:
      if (top || bottom) {
        InflateRect(r, 1, -1);
        shrink(TabOverlapFor(h0), 0);
        move(1, 0);
        if (top) r.Top += 2;
        else r.Bottom -= 2, move(0, 1);
      } else {
        InflateRect(r, -1, 1);
        shrink(0, TabOverlapFor(w0));
        r.Bottom += 2;
        move(0, 1);
        if (left) r.Left += 2;
        else r.Right -= 2, move(1, 0);
      }
      break;
    case TKvTabStyle::tsCutCorner:
      if (top || bottom) {
        if (vt) {
          shrink(4, 1);
          if (top) r.Top += K + 3;
          else r.Bottom -= K + 3;
        } else {
          shrink(K + 3, 1);
          if (top) r.Top += 3;
          else r.Bottom -= 3, move(0, 1);
        }
      } else {
        if (vt) {
          shrink(1, K + 3);
          if (left) r.Left += 5;
          else r.Right -= 5;
        } else {
          shrink(1, 4);
          if (left) r.Left += K + 5;
          else r.Right -= K + 5, move(1, 0);
        }
      }
      break;
    case TKvTabStyle::tsRoundCorners:
      if (vt) shrink(2, 4);
      else shrink(4, 2);
      break;
  }
  shrink(1, 1);
  return r;
}

void TKvCustomTabControl::TextAndImageRects(int32_t Index, const TRect& Content, TRect& Text, TRect& Image) const {
  const TKvTabData* T = FTabs->Items(Index);
  int32_t iw = 0, ih = 0;
  if (FImages && T->ImageIndex != -1) iw = FImages->Width(), ih = FImages->Height();
  const int32_t m = T->ImageIndex != -1 ? FImageMargin : 0;
  Text = Content;
  Image = Content;
  switch (FImagePosition) {
    case TKvImagePosition::ipLeft: Text.Left += iw + m, Image.Right = Image.Left + iw; break;
    case TKvImagePosition::ipTop: Text.Top += ih + m, Image.Bottom = Image.Top + ih; break;
    case TKvImagePosition::ipRight: Text.Right -= iw + m, Image.Left = Image.Right - iw; break;
    case TKvImagePosition::ipBottom: Text.Bottom -= ih + m, Image.Top = Image.Bottom - ih; break;
    default: break;
  }
}

TRect TKvCustomTabControl::AlignTextBlock(int32_t Index, TRect Text) {
  const TSize e = TextExtent(FTabs->Items(Index)->Caption, !VerticalText());
  const int32_t w = Text.Width(), h = Text.Height();
  if (VerticalText()) {
    const bool right = FTabOrientation == TKvTabOrientation::toRight;
    switch (FTextAlignment) {
      case TKvHorizontalAlignment::haLeft:
        if (right) Text.Right = Text.Left + e.cx;
        break;
      case TKvHorizontalAlignment::haCenter: InflateRect(Text, -((w - e.cx) / 2), 0); break;
      case TKvHorizontalAlignment::haRight:
        if (!right) Text.Left = Text.Right - e.cx;
        break;
    }
  } else {
    switch (FTextAlignmentVertical) {
      case TKvVerticalAlignment::vaCenter: InflateRect(Text, 0, -((h - e.cy) / 2)); break;
      case TKvVerticalAlignment::vaBottom: Text.Top = Text.Bottom - e.cy; break;
      case TKvVerticalAlignment::vaTop: break;
    }
  }
  return Text;
}

TColor TKvCustomTabControl::TextColorFor(int32_t Index, TKvTextStyle Style, TColor Default) {
  bool handled = false;
  TColor c = Default;
  DoGetTextColor(Index, Style, handled, c);
  return c;
}

void TKvCustomTabControl::DrawTabBar(int32_t Index, bool Hot) {
  TRect r = TabClientRect(Index);
  InflateRect(r, 1, 1);
  switch (FTabOrientation) {
    case TKvTabOrientation::toTop: r.Bottom = r.Top + 6; break;
    case TKvTabOrientation::toLeft: r.Right = r.Left + 6; break;
    case TKvTabOrientation::toBottom: r.Top = r.Bottom - 4; break;
    case TKvTabOrientation::toRight: r.Left = r.Right - 4; break;
  }
  TColor c = FTabColors->HighlightBar();
  if (Hot)
    c = FHotTrackColorType == TKvHotTrackColorType::htctActual ? FHotTrackColor : KvComplementColor(FHotTrackColor, 140);
  TCanvas* C = FBitmap->Canvas();
  const TColor oldBrush = C->Brush()->Color();
  const TPenStyle oldPen = C->Pen()->Style();
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
  C->Brush()->SetColor(c);
  C->Pen()->SetStyle(TPenStyle::psClear);
  C->Rectangle(r);
  C->Brush()->SetColor(oldBrush);
  C->Pen()->SetStyle(oldPen);
}

void TKvCustomTabControl::DrawAccelText(int32_t X, int32_t Y, TColor Color, bool Horizontal, TCanvas* C,
                                        const std::string& Line) {
  std::vector<std::string> pieces;
  const size_t p = Line.find('&');
  if (p == std::string::npos) {
    pieces.push_back(Line);
  } else if (p + 1 < Line.size() && Line[p + 1] == '&') {
    pieces = {Line.substr(0, p + 1), std::string(), Line.substr(p + 2)};
  } else if (p + 1 >= Line.size()) {
    // A lone "&" at the very end marks nothing and is not drawn.
    pieces = {Line.substr(0, p), std::string(), std::string()};
  } else {
    pieces = {Line.substr(0, p), Line.substr(p + 1, 1), Line.substr(p + 2)};
  }
  const bool right = FTabOrientation == TKvTabOrientation::toRight;
  const TFontStyles base = FTabFont->Style();
  for (size_t k = 0; k < pieces.size(); ++k) {
    TFontStyles s = base;
    if (k == 1) s.Include(TFontStyle::fsUnderline);
    FTabFont->SetStyle(s);
    SelectRotatedFont();
    SetTextColor(C, ColorToRGB(Color));
    SetBkMode(C, TRANSPARENT);
    C->Brush()->SetStyle(TBrushStyle::bsClear);
    if (!pieces[k].empty()) TextOut(C, X, Y, pieces[k]);
    if (pieces.size() > 1 && !pieces[k].empty()) {
      TSize e(0, 0);
      GetTextExtentPoint32(C, pieces[k], &e);
      if (Horizontal) X += e.cx;
      else if (right) Y += e.cx;
      else Y -= e.cx;
    }
    RestoreFont();
    FTabFont->SetStyle(base);
  }
  C->Brush()->SetStyle(TBrushStyle::bsSolid);
}

void TKvCustomTabControl::DrawCaptionLines(int32_t Index, const TRect& TextRect, TColor Color, int32_t Offset) {
  const TFontStyles saved = FTabFont->Style();
  if (Index == FTabIndex && FBoldCurrentTab) {
    TFontStyles s = saved;
    s.Include(TFontStyle::fsBold);
    FTabFont->SetStyle(s);
  }
  TCanvas* C = FBitmap->Canvas();
  SelectRotatedFont();
  try {
    const TRect r = TextRect;
    const int32_t width = r.Width(), height = r.Height();
    std::vector<std::string> lines;
    SplitCaption(FTabs->Items(Index)->Caption, lines);
    const bool horizontal = !VerticalText(), right = FTabOrientation == TKvTabOrientation::toRight;
    int32_t accX = 0, accY = 0;
    for (const std::string& line : lines) {
      const TSize e = line.empty() ? TSize(0, 0) : TextExtent(line, horizontal);
      TPoint o;
      if (!horizontal && right) {
        int32_t dy = 0;
        if (FTextAlignmentVertical == TKvVerticalAlignment::vaCenter) dy = (height - e.cy) / 2;
        else if (FTextAlignmentVertical == TKvVerticalAlignment::vaBottom) dy = height - e.cy;
        o = TPoint(r.Right - accX, r.Top + dy);
      } else if (!horizontal) {
        int32_t dy = 0;
        if (FTextAlignmentVertical == TKvVerticalAlignment::vaTop) dy = height - e.cy;
        else if (FTextAlignmentVertical == TKvVerticalAlignment::vaCenter) dy = (height - e.cy) / 2;
        o = TPoint(r.Left + accX, r.Bottom - dy);
      } else {
        int32_t dx = 0;
        if (FTextAlignment == TKvHorizontalAlignment::haCenter) dx = (width - e.cx) / 2;
        else if (FTextAlignment == TKvHorizontalAlignment::haRight) dx = width - e.cx;
        o = TPoint(r.Left + dx, r.Top + accY);
      }
      DrawAccelText(o.X + Offset, o.Y + Offset, Color, horizontal, C, line);
      if (horizontal) accY += e.cy;
      else accX += e.cx;
    }
  } catch (...) {
    RestoreFont();
    FTabFont->SetStyle(saved);
    throw;
  }
  RestoreFont();
  FTabFont->SetStyle(saved);
}

void TKvCustomTabControl::PaintTabContent(int32_t Index, const TRect& R) {
  TKvTabData* T = FTabs->Items(Index);
  const TRect content = ContentRect(Index, R);
  TRect text, image;
  TextAndImageRects(Index, content, text, image);
  TCanvas* C = FBitmap->Canvas();

  if (FImages && T->ImageIndex != -1) {
    const int32_t iw = FImages->Width(), ih = FImages->Height();
    int32_t x = content.Left, y = content.Top;
    if (FImagePosition != TKvImagePosition::ipStretch) {
      x = image.Left, y = image.Top;
      if (FImageAlignment == TKvHorizontalAlignment::haCenter) x += (image.Width() - iw) / 2;
      else if (FImageAlignment == TKvHorizontalAlignment::haRight) x += image.Width() - iw;
      if (FImageAlignmentVertical == TKvVerticalAlignment::vaCenter) y += (image.Height() - ih) / 2;
      else if (FImageAlignmentVertical == TKvVerticalAlignment::vaBottom) y += image.Height() - ih;
    }
    if (T->DisabledIndex == -1) FImages->Draw(C, x, y, T->ImageIndex, T->Enabled);
    else if (T->Enabled) FImages->Draw(C, x, y, T->ImageIndex, true);
    else FImages->Draw(C, x, y, T->DisabledIndex, true);
  }

  const bool hasCaption = !T->Caption.empty();
  TRect aligned = hasCaption ? AlignTextBlock(Index, text) : text;
  if (T->Enabled) {
    TColor c;
    if (FHotTrack && Index == FHotTab) {
      c = TextColorFor(Index, TKvTextStyle::tsHotTrack,
                       FHotTrackStyle == TKvTabHotTrackStyle::htsText ? FHotTrackColor : FTextColors->Selected());
      if (FHotTrackStyle == TKvTabHotTrackStyle::htsTab) DrawTabBar(Index, true);
    } else if (Index == FTabIndex) {
      c = TextColorFor(Index, TKvTextStyle::tsSelected, FTextColors->Selected());
      if (FHotTrack && FHotTrackStyle == TKvTabHotTrackStyle::htsTab) DrawTabBar(Index, false);
    } else {
      c = TextColorFor(Index, TKvTextStyle::tsUnselected, FTextColors->Unselected());
    }
    if (hasCaption) DrawCaptionLines(Index, aligned, c, 0);
  } else {
    TColor hi = TextColorFor(Index, TKvTextStyle::tsDisabledHighlight, FTextColors->DisabledHighlight());
    if (hasCaption) DrawCaptionLines(Index, aligned, hi, 1);
    TColor sh = TextColorFor(Index, TKvTextStyle::tsDisabledShadow, FTextColors->DisabledShadow());
    if (hasCaption) DrawCaptionLines(Index, aligned, sh, 0);
  }

  if (FShowFocusRect && Index == FTabIndex && Focused()) {
    TRect f = aligned;
    if (Vertical()) InflateRect(f, 0, 1);
    else InflateRect(f, 1, 0), f.Bottom += 1;
    if (FTabStyle == TKvTabStyle::tsRoundCorners) {
      switch (FTabOrientation) {
        case TKvTabOrientation::toTop: f.Top += 1; break;
        case TKvTabOrientation::toLeft: f.Left += 2; break;
        case TKvTabOrientation::toBottom: f.Bottom -= 1; break;
        case TKvTabOrientation::toRight: f.Right -= 2; break;
      }
    }
    C->DrawFocusRect(f);
  }
}
