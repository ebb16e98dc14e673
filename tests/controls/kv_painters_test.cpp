// Frame, border and glyph painters: the pixels each routine owns and the rectangle it leaves.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "controls/kv_fonts.h"
#include "controls/kv_painters.h"
#include "kv_fixture.h"

namespace {

using TPix = std::pair<int, int>;

// Every pixel of B that is not white.
std::set<TPix> Painted(TBitmap& B) {
  std::set<TPix> s;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x)
      if (B.GetPixel(x, y) != 0xFFFFFF) s.insert({x, y});
  return s;
}

TEST(KvPainters, SideLinesOwnTheirCornersAndShrinkEveryChosenSide) {
  auto b = Blank(10, 8);
  TRect in = KvPaintSideLines(b->Canvas(), TRect(1, 1, 9, 7), clNone, 0x0000FF, KvAllSides);
  EXPECT_EQ(in, TRect(2, 2, 8, 6));
  // Only the lower-right colour is drawn, over the full extent of its sides.
  EXPECT_EQ(Px(*b, 8, 1), 0x0000FFu);
  EXPECT_EQ(Px(*b, 1, 6), 0x0000FFu);
  EXPECT_EQ(Px(*b, 1, 1), 0xFFFFFFu);
  EXPECT_EQ(Painted(*b).size(), 6u + 8u - 1u);

  auto c = Blank(10, 8);
  in = KvPaintSideLines(c->Canvas(), TRect(1, 1, 9, 7), 0x00FF00, 0xFF0000, TSides{sdLeft, sdTop, sdRight, sdBottom});
  EXPECT_EQ(Px(*c, 1, 1), 0x00FF00u);
  EXPECT_EQ(Px(*c, 8, 1), 0xFF0000u);  // the top-right corner is the lower-right line's
  EXPECT_EQ(Px(*c, 1, 6), 0xFF0000u);  // and so is the bottom-left one
  in = KvPaintSideLines(c->Canvas(), TRect(0, 0, 10, 8), 0, 0, TSides{sdTop});
  EXPECT_EQ(in, TRect(0, 1, 10, 8));
}

TEST(KvPainters, StyledFramesByStyle) {
  struct {
    TFrameStyleEx Style;
    int Shrink;
    TColor TopLeft, BottomRight;
  } cases[] = {
      {fsNone, 0, clWhite, clWhite},
      {fsFlat, 1, cl3DDkShadow, cl3DDkShadow},
      {fsStatus, 1, clBtnShadow, clBtnHighlight},
      {fsPopup, 1, clBtnHighlight, clBtnShadow},
      {fsFlatBold, 2, clBtnShadow, clBtnShadow},
      {fsLowered, 2, clBtnShadow, clBtnHighlight},
      {fsRaised, 2, cl3DLight, cl3DDkShadow},
      {fsButtonDown, 2, clBtnText, clBtnText},
      {fsButtonUp, 2, clBtnHighlight, cl3DDkShadow},
      {fsGroove, 2, clBtnShadow, clBtnHighlight},
      {fsBump, 2, clBtnHighlight, clBtnShadow},
  };
  for (auto& t : cases) {
    auto b = Blank(12, 10);
    TRect in = KvPaintStyledFrame(b->Canvas(), TRect(0, 0, 12, 10), t.Style);
    EXPECT_EQ(in, TRect(t.Shrink, t.Shrink, 12 - t.Shrink, 10 - t.Shrink)) << int(t.Style);
    EXPECT_EQ(Px(*b, 0, 3), Rgb(t.TopLeft)) << int(t.Style);
    EXPECT_EQ(Px(*b, 11, 9), Rgb(t.BottomRight)) << int(t.Style);
    if (t.Style == fsNone) {
      EXPECT_TRUE(Painted(*b).empty());
    }
  }
  // Two bands: the inner band of a raised frame.
  auto b = Blank(12, 10);
  KvPaintStyledFrame(b->Canvas(), TRect(0, 0, 12, 10), fsRaised);
  EXPECT_EQ(Px(*b, 1, 3), Rgb(clBtnHighlight));
  EXPECT_EQ(Px(*b, 10, 8), Rgb(clBtnShadow));
}

TEST(KvPainters, EtchedFrameOnTopAndBottomOnly) {
  auto b = Blank(12, 10);
  TRect in = KvPaintStyledFrameSides(b->Canvas(), TRect(0, 0, 12, 10), fsGroove, TSides{sdTop, sdBottom});
  EXPECT_EQ(in, TRect(0, 2, 12, 8));
  // The top-right corner takes the upper-left colour, the bottom-left the lower-right one.
  EXPECT_EQ(Px(*b, 11, 0), Rgb(clBtnShadow));
  EXPECT_EQ(Px(*b, 0, 9), Rgb(clBtnHighlight));
  EXPECT_EQ(Px(*b, 5, 0), Rgb(clBtnShadow));
  EXPECT_EQ(Px(*b, 5, 1), Rgb(clBtnHighlight));
  EXPECT_EQ(Px(*b, 5, 8), Rgb(clBtnShadow));
  EXPECT_EQ(Px(*b, 5, 9), Rgb(clBtnHighlight));
}

TEST(KvPainters, ColouredFramesDeriveFromTheFace) {
  const TColor face = 0x70A0D0;
  auto b = Blank(12, 10);
  KvPaintColoredFrame(b->Canvas(), TRect(0, 0, 12, 10), face, fsLowered);
  EXPECT_EQ(Px(*b, 0, 4), Rgb(KvDarken(face, 50)));
  EXPECT_EQ(Px(*b, 11, 9), Rgb(KvLighten(face, 100)));
  EXPECT_EQ(Px(*b, 1, 4), Rgb(KvDarken(face, 100)));
  EXPECT_EQ(Px(*b, 10, 8), Rgb(KvLighten(face, 50)));

  // The edit frame: two bands of the control colour erase, then a coloured frame unless flat.
  auto e = Blank(20, 12, clRed);
  KvPaintControlFrame(e->Canvas(), 20, 12, fsLowered, face, 0x00FF00, KvAllSides);
  EXPECT_EQ(Px(*e, 0, 5), Rgb(KvDarken(face, 50)));
  EXPECT_EQ(Px(*e, 2, 5), 0x0000FFu);
  auto f = Blank(20, 12, clRed);
  KvPaintControlFrame(f->Canvas(), 20, 12, fsFlat, face, 0x00FF00, TSides{sdLeft});
  EXPECT_EQ(Px(*f, 0, 5), 0x00FF00u);
  EXPECT_EQ(Px(*f, 19, 5), Rgb(face));
  EXPECT_EQ(Px(*f, 1, 5), Rgb(face));
  auto w = Blank(20, 12, clRed);
  KvPaintControlFrame(w->Canvas(), 20, 12, fsStatus, clWindow, 0x00FF00, KvAllSides);
  EXPECT_EQ(Px(*w, 0, 5), Rgb(clBtnShadow));
}

TEST(KvPainters, OutlinesMarksFocusAndRoundedFrames) {
  auto b = Blank(8, 8);
  EXPECT_EQ(KvPaintRectOutline(b->Canvas(), TRect(0, 0, 8, 8), 0), TRect(1, 1, 7, 7));
  EXPECT_EQ(Painted(*b).size(), 28u);

  auto m = Blank(10, 10);
  KvPaintCornerMarks(m->Canvas(), TRect(0, 0, 10, 10), 0, 3);
  // Three pixels along each arm of every corner.
  std::set<TPix> want = {{0, 2}, {0, 1}, {0, 0}, {1, 0}, {2, 0}, {7, 0}, {8, 0}, {9, 0}, {9, 1}, {9, 2},
                         {9, 7}, {9, 8}, {9, 9}, {8, 9}, {7, 9}, {2, 9}, {1, 9}, {0, 9}, {0, 8}, {0, 7}};
  EXPECT_EQ(Painted(*m), want);

  auto d = Blank(6, 5);
  KvPaintDottedFocusFrame(d->Canvas(), TRect(0, 0, 6, 5));
  std::set<TPix> dots = {{0, 1}, {5, 1}, {0, 3}, {5, 3}, {1, 0}, {1, 4}, {3, 0}, {3, 4}, {5, 0}, {5, 4}};
  EXPECT_EQ(Painted(*d), dots);

  auto r = Blank(10, 10);
  EXPECT_EQ(KvPaintRoundedFlatFrame(r->Canvas(), TRect(0, 0, 10, 10), 0, KvAllSides), TRect(2, 2, 8, 8));
  EXPECT_EQ(Px(*r, 0, 0), 0xFFFFFFu);  // the corner is cut
  EXPECT_EQ(Px(*r, 1, 1), 0u);
  EXPECT_EQ(Px(*r, 0, 2), 0u);
  auto s = Blank(10, 10);
  EXPECT_EQ(KvPaintRoundedFlatFrame(s->Canvas(), TRect(0, 0, 10, 10), 0, TSides{sdLeft}), TRect(2, 0, 10, 10));
  EXPECT_EQ(Px(*s, 0, 0), 0u);
  EXPECT_EQ(Px(*s, 1, 1), 0xFFFFFFu);
}

TEST(KvPainters, LayeredBordersStackOuterBorderAndInner) {
  auto b = Blank(20, 20);
  TRect in = KvPaintLayeredBorders(b->Canvas(), TRect(0, 0, 20, 20), fsFlat, fsFlatBold, 2, KvAllSides, 1,
                                   0x00FF00, clWhite, clGray, 0x0000FF, 0, clWindow, clBtnFace, false);
  EXPECT_EQ(in, TRect(5, 5, 15, 15));
  EXPECT_EQ(Px(*b, 0, 10), 0x0000FFu);
  EXPECT_EQ(Px(*b, 1, 10), 0x00FF00u);
  EXPECT_EQ(Px(*b, 2, 10), 0x00FF00u);
  EXPECT_EQ(Px(*b, 3, 10), 0x0000FFu);
  EXPECT_EQ(Px(*b, 4, 10), 0x0000FFu);
  // A flat-colour adjustment shifts the lightness of the flat bands only.
  auto c = Blank(20, 20);
  KvPaintLayeredBorders(c->Canvas(), TRect(0, 0, 20, 20), fsPopup, fsNone, 0, KvAllSides, 2, 0, 0xFFFF00, 0x008000,
                        0x0000FF, -40, clWindow, clBtnFace, false);
  EXPECT_EQ(Px(*c, 1, 10), 0xFFFF00u);
  EXPECT_EQ(Px(*c, 18, 10), 0x008000u);
}

TEST(KvPainters, ArrowGlyphsAndTheirColours) {
  // Classic up arrow in a 16 x 16 rect: the triangle (8, 5), (12, 10), (4, 10).
  auto b = Blank(16, 16);
  b->Canvas()->Brush()->SetColor(0x123456);
  KvPaintArrowGlyph(b->Canvas(), TRect(0, 0, 16, 16), 0, 0, false, true);
  EXPECT_EQ(Px(*b, 8, 7), 0u);
  EXPECT_EQ(Px(*b, 8, 11), 0xFFFFFFu);
  EXPECT_EQ(b->Canvas()->Brush()->Color(), 0x123456);
  // Disabled arrows take the button shadow.
  auto d = Blank(16, 16);
  KvPaintArrowGlyph(d->Canvas(), TRect(0, 0, 16, 16), 0, 1, false, false);
  EXPECT_EQ(Px(*d, 8, 8), Rgb(clBtnShadow));
  // Pressed moves it one pixel right and down.
  auto p = Blank(16, 16);
  KvPaintArrowGlyph(p->Canvas(), TRect(0, 0, 16, 16), 0, 0, true, true);
  EXPECT_EQ(Painted(*p).size(), Painted(*b).size());
  EXPECT_TRUE(Painted(*p).count({9, 8}));
  // A direction of 4 or more draws nothing and still restores the brush.
  auto n = Blank(16, 16);
  n->Canvas()->Brush()->SetColor(0x654321);
  KvPaintArrowGlyph(n->Canvas(), TRect(0, 0, 16, 16), 0, 4, false, true);
  EXPECT_TRUE(Painted(*n).empty());
  EXPECT_EQ(n->Canvas()->Brush()->Color(), 0x654321);

  auto x = Blank(16, 16);
  KvPaintCloseGlyph(x->Canvas(), TRect(0, 0, 16, 16), 0, false, true);
  EXPECT_EQ(Px(*x, 8, 7), 0u);  // the centre of the cross
  auto dd = Blank(16, 16);
  KvPaintDropDownArrow(dd->Canvas(), TRect(0, 0, 16, 16), 0, false, true);
  EXPECT_EQ(Px(*dd, 8, 8), 0u);
}

TEST(KvPainters, GradientRingOnlyOnFullColourScreens) {
  auto b = Blank(12, 12);
  bool full = KvFullColorDisplay;
  KvFullColorDisplay = false;
  KvPaintGradientRing(b->Canvas(), TRect(0, 0, 12, 12), gdDiagonalDown, 0x0000FF, 0xFF0000);
  EXPECT_TRUE(Painted(*b).empty());
  KvFullColorDisplay = full;
  KvPaintGradientRing(b->Canvas(), TRect(0, 0, 12, 12), gdDiagonalDown, 0x0000FF, 0xFF0000);
  EXPECT_EQ(Px(*b, 0, 0), 0x0000FFu);
  EXPECT_EQ(Px(*b, 11, 11), 0xFF0000u);
  EXPECT_EQ(Px(*b, 5, 5), 0xFFFFFFu);  // inside the ring
  EXPECT_NE(Px(*b, 1, 6), 0xFFFFFFu);
}

TEST(KvPainters, CheckGlyphPixelMap) {
  const TColor frame = 0x202020, mark = 0x0000FF, fill = 0xFFFFFF, focus = 0xE0FFE0;
  auto b = Blank(13, 13, clBlack);
  KvPaintCheckGlyph(b->Canvas(), TRect(0, 0, 13, 13), cbChecked, kvdsNormal, false, htsInterior, frame, mark, fill,
                    focus, clBtnFace, 0, 0, false, false, clInfoBk);
  std::set<TPix> marks = {{3, 5}, {3, 6}, {3, 7}, {4, 6}, {4, 7}, {4, 8}, {5, 7}, {5, 8}, {5, 9}, {6, 6}, {6, 7},
                          {6, 8}, {7, 5}, {7, 6}, {7, 7}, {8, 4}, {8, 5}, {8, 6}, {9, 3}, {9, 4}, {9, 5}};
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 13; ++x) {
      bool edge = x == 0 || y == 0 || x == 12 || y == 12;
      COLORREF want = edge ? Rgb(frame) : marks.count({x, y}) ? Rgb(mark) : Rgb(fill);
      EXPECT_EQ(Px(*b, x, y), want) << x << ',' << y;
    }
  struct {
    uint8_t DrawState;
    bool Focused, ReadOnly, OnFocus;
    TColor Face;
  } faces[] = {{kvdsPressed, false, false, false, KvDarken(focus, 20)},
               {kvdsDisabled, true, false, false, clBtnFace},
               {kvdsNormal, true, false, false, focus},
               {kvdsNormal, false, true, false, clInfoBk},
               {kvdsNormal, true, true, false, focus},
               {kvdsNormal, true, true, true, clInfoBk}};
  for (auto& f : faces) {
    auto c = Blank(13, 13);
    KvPaintCheckGlyph(c->Canvas(), TRect(0, 0, 13, 13), cbUnchecked, f.DrawState, f.Focused, htsInterior, frame, mark,
                      fill, focus, clBtnFace, 0, 0, f.ReadOnly, f.OnFocus, clInfoBk);
    EXPECT_EQ(Px(*c, 6, 6), Rgb(f.Face)) << int(f.DrawState) << f.Focused << f.ReadOnly << f.OnFocus;
  }
  // Grayed: the inner rect less two more pixels is filled with the mark colour.
  auto g = Blank(13, 13);
  KvPaintCheckGlyph(g->Canvas(), TRect(0, 0, 13, 13), cbGrayed, kvdsNormal, false, htsInterior, frame, mark, fill,
                    focus, clBtnFace, 0, 0, false, false, clInfoBk);
  EXPECT_EQ(Px(*g, 3, 3), Rgb(mark));
  EXPECT_EQ(Px(*g, 2, 2), Rgb(fill));
  // Hot with a frame: the frame and an inner outline take the hot dark colour.
  auto h = Blank(13, 13);
  KvPaintCheckGlyph(h->Canvas(), TRect(0, 0, 13, 13), cbUnchecked, kvdsHot, false, htsFrame, frame, mark, fill, focus,
                    clBtnFace, 0x00FFFF, 0x008080, false, false, clInfoBk);
  EXPECT_EQ(Px(*h, 0, 6), 0x008080u);
  EXPECT_EQ(Px(*h, 1, 6), 0x008080u);
  EXPECT_EQ(Px(*h, 2, 6), Rgb(fill));
}

TEST(KvPainters, RadioGlyphTransparentOutsideAndItsDot) {
  const TColor frame = 0x404040, dot = 0x0000FF, fill = 0xFFFFFF, key = 0xFF00FF;
  auto b = Blank(20, 20, clBlack);
  KvPaintRadioGlyph(b->Canvas(), TRect(2, 3, 15, 16), true, kvdsNormal, false, htsInterior, frame, dot, fill, fill,
                    clBtnFace, 0, 0, clBtnFace, true, key, false, false, clInfoBk);
  std::set<TPix> outside = {{0, 0},  {1, 0},  {2, 0},  {10, 0}, {11, 0}, {12, 0},  {0, 1},   {1, 1},
                            {11, 1}, {12, 1}, {0, 2},  {12, 2}, {0, 10}, {12, 10}, {0, 11},  {1, 11},
                            {11, 11}, {12, 11}, {0, 12}, {1, 12}, {2, 12}, {10, 12}, {11, 12}, {12, 12}};
  std::set<TPix> edges = {{4, 0},  {8, 0},  {2, 1},  {10, 1}, {1, 2},  {11, 2}, {0, 4}, {12, 4},
                          {0, 8},  {12, 8}, {1, 10}, {11, 10}, {2, 11}, {10, 11}, {4, 12}, {8, 12},
                          {3, 0},  {9, 0},  {0, 3},  {12, 3}, {0, 9},  {12, 9}, {3, 12}, {9, 12}};
  EXPECT_EQ(outside.size(), 24u);
  for (auto p : outside) EXPECT_EQ(Px(*b, 2 + p.first, 3 + p.second), Rgb(key)) << p.first << ',' << p.second;
  for (auto p : edges) EXPECT_EQ(Px(*b, 2 + p.first, 3 + p.second), Rgb(key)) << p.first << ',' << p.second;
  EXPECT_EQ(Px(*b, 2 + 6, 3 + 0), Rgb(frame));
  EXPECT_EQ(Px(*b, 2 + 5, 3 + 0), Rgb(KvLighten(frame, 10)));
  // The dot: a 3 x 3 square and four arms in the dot colour, eight blended corners.
  for (auto p : {TPix{5, 5}, TPix{7, 7}, TPix{6, 4}, TPix{4, 6}, TPix{8, 6}, TPix{6, 8}})
    EXPECT_EQ(Px(*b, 2 + p.first, 3 + p.second), Rgb(dot));
  EXPECT_EQ(Px(*b, 2 + 5, 3 + 4), Rgb(KvMixColors(dot, fill, 153)));
  EXPECT_EQ(Px(*b, 2 + 3, 3 + 3), Rgb(fill));
  // Shading of the inner ring against the face.
  EXPECT_EQ(Px(*b, 2 + 4, 3 + 1), Rgb(KvMixColors(frame, fill, 128)));
  EXPECT_EQ(Px(*b, 2 + 6, 3 + 1), Rgb(KvMixColors(frame, fill, 40)));
  // Opaque on a background: the edges blend the frame into it.
  auto o = Blank(13, 13, clBlack);
  KvPaintRadioGlyph(o->Canvas(), TRect(0, 0, 13, 13), false, kvdsNormal, false, htsInterior, frame, dot, fill, fill,
                    clBtnFace, 0, 0, 0x00FF00, false, key, false, false, clInfoBk);
  EXPECT_EQ(Px(*o, 0, 0), 0x00FF00u);
  EXPECT_EQ(Px(*o, 4, 0), Rgb(KvMixColors(frame, 0x00FF00, 128)));
  EXPECT_EQ(Px(*o, 3, 0), Rgb(KvMixColors(frame, 0x00FF00, 40)));
  EXPECT_EQ(Px(*o, 6, 6), Rgb(fill));
}

TEST(KvPainters, FontsTurnedAndMeasured) {
  TFont f;
  f.SetStyle(TFontStyles{TFontStyle::fsBold});
  auto r = KvCreateRotatedFont(f, 90);
  EXPECT_EQ(r->Orientation(), 900);
  EXPECT_TRUE(r->Style().Contains(TFontStyle::fsBold));
  EXPECT_EQ(r->Name(), f.Name());
  SetTestFontMode(true);
  TFont t;
  t.SetHeight(-10);
  TBitmap b(1, 1, TPixelFormat::pf32bit);
  b.Canvas()->Font()->Assign(t);
  TTextMetric tm;
  GetTextMetrics(b.Canvas(), &tm);
  EXPECT_EQ(KvFontLineHeight(t), tm.tmHeight + 2);
  EXPECT_TRUE(KvFontIsTrueType(t));
  SetTestFontMode(false);
}

}  // namespace
