// Transparent blits, gradients and the parent's image under a control.
#include <gtest/gtest.h>

#include "controls/kv_blits.h"
#include "kv_fixture.h"

namespace {

// A 3 x 3 glyph: olive everywhere but a red centre and a blue top-left.
std::unique_ptr<TBitmap> Glyph() {
  auto g = Blank(3, 3, clOlive);
  g->SetPixel(1, 1, 0x0000FF);
  g->SetPixel(0, 0, 0xFF0000);
  return g;
}

TEST(KvBlits, TransparentBlitsLeaveTheKeyColourOut) {
  for (bool masked : {false, true}) {
    auto g = Glyph();
    auto b = Blank(8, 8, clWhite);
    if (masked)
      KvBlitTransparentMasked(b->Canvas(), g.get(), TRect(2, 2, 5, 5), TRect(0, 0, 3, 3), clOlive);
    else
      KvBlitTransparent(b->Canvas(), g.get(), TRect(2, 2, 5, 5), TRect(0, 0, 3, 3), clOlive);
    EXPECT_EQ(Px(*b, 3, 3), 0x0000FFu) << masked;
    EXPECT_EQ(Px(*b, 2, 2), 0xFF0000u) << masked;
    EXPECT_EQ(Px(*b, 4, 2), 0xFFFFFFu) << masked;
    EXPECT_EQ(Px(*b, 1, 1), 0xFFFFFFu) << masked;
  }
  // Stretched: the 3 x 3 picture fills 6 x 6.
  auto g = Glyph();
  auto b = Blank(8, 8);
  KvStretchTransparent(b->Canvas(), g.get(), TRect(0, 0, 6, 6), clOlive);
  EXPECT_EQ(Px(*b, 2, 2), 0x0000FFu);
  EXPECT_EQ(Px(*b, 3, 3), 0x0000FFu);
  EXPECT_EQ(Px(*b, 1, 1), 0xFF0000u);
  EXPECT_EQ(Px(*b, 5, 0), 0xFFFFFFu);
}

TEST(KvBlits, TilesClipTheLastRowAndColumn) {
  auto g = Glyph();
  auto b = Blank(10, 10);
  KvTileTransparent(b->Canvas(), g.get(), TRect(1, 1, 8, 6), clOlive);
  for (int x : {1, 4, 7})
    for (int y : {1, 4}) EXPECT_EQ(Px(*b, x, y), 0xFF0000u) << x << ',' << y;
  EXPECT_EQ(Px(*b, 5, 5), 0x0000FFu);
  EXPECT_EQ(Px(*b, 8, 8), 0xFFFFFFu);  // the last column would have its centre here: clipped
  EXPECT_EQ(Px(*b, 8, 2), 0xFFFFFFu);
  EXPECT_EQ(Px(*b, 5, 6), 0xFFFFFFu);
}

TEST(KvBlits, GradientShapesRunBetweenTheirColours) {
  const TColor a = 0x0000FF, z = 0xFF0000;
  struct {
    TGradientDirection D;
    TPoint StartAt, StopAt;
  } cases[] = {
      {gdHorizontalEnd, TPoint(5, 0), TPoint(5, 19)},    {gdHorizontalCenter, TPoint(5, 19), TPoint(5, 10)},
      {gdVerticalEnd, TPoint(0, 5), TPoint(29, 5)},      {gdVerticalCenter, TPoint(0, 5), TPoint(15, 5)},
      {gdDiagonalUp, TPoint(0, 19), TPoint(29, 0)},      {gdDiagonalDown, TPoint(0, 0), TPoint(29, 19)},
      {gdSquareBox, TPoint(0, 0), TPoint(15, 10)},       {gdBigSquareBox, TPoint(29, 19), TPoint(15, 10)},
      {gdHorizontalBox, TPoint(0, 10), TPoint(15, 10)}, {gdVerticalBox, TPoint(15, 0), TPoint(15, 10)},
  };
  for (auto& t : cases) {
    auto b = Blank(32, 22);
    KvDrawGradient(b->Canvas(), TRect(1, 1, 31, 21), t.D, a, z, 1);
    EXPECT_EQ(Px(*b, 1 + t.StartAt.X, 1 + t.StartAt.Y), Rgb(a)) << int(t.D);
    EXPECT_EQ(Px(*b, 1 + t.StopAt.X, 1 + t.StopAt.Y), Rgb(z)) << int(t.D);
    EXPECT_EQ(Px(*b, 0, 0), 0xFFFFFFu) << int(t.D);
    EXPECT_EQ(Px(*b, 31, 21), 0xFFFFFFu) << int(t.D);
  }
  // Horizontal bands: one colour per row, changing down the rows.
  auto h = Blank(30, 20);
  KvDrawGradient(h->Canvas(), TRect(0, 0, 30, 20), gdHorizontalEnd, a, z, 1);
  EXPECT_EQ(Px(*h, 0, 7), Px(*h, 29, 7));
  EXPECT_NE(Px(*h, 0, 7), Px(*h, 0, 8));
  // The centre shape is its own mirror image.
  auto c = Blank(30, 21);
  KvDrawGradient(c->Canvas(), TRect(0, 0, 30, 21), gdHorizontalCenter, a, z, 1);
  EXPECT_EQ(Px(*c, 3, 4), Px(*c, 3, 16));
  // Box shapes: mirrored in both directions.
  auto x = Blank(30, 20);
  KvDrawGradient(x->Canvas(), TRect(0, 0, 30, 20), gdBigSquareBox, a, z, 1);
  EXPECT_EQ(Px(*x, 3, 4), Px(*x, 26, 15));
}

TEST(KvBlits, GradientEdgeCases) {
  auto b = Blank(10, 10);
  KvDrawGradient(b->Canvas(), TRect(2, 2, 8, 2), gdHorizontalEnd, 0, 0xFF, 1);
  KvDrawGradient(b->Canvas(), TRect(2, 2, 2, 8), gdVerticalEnd, 0, 0xFF, 1);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(Px(*b, x, y), 0xFFFFFFu);
  // Right left of left: the absolute width is used, drawn from the rect's left.
  KvDrawGradient(b->Canvas(), TRect(2, 2, -2, 6), gdVerticalEnd, 0x00FF00, 0x00FF00, 1);
  EXPECT_EQ(Px(*b, 2, 3), 0x00FF00u);
  EXPECT_EQ(Px(*b, 5, 3), 0x00FF00u);
  EXPECT_EQ(Px(*b, 6, 3), 0xFFFFFFu);
  // A box on 4 x 4 is a plain fill of the start colour.
  auto s = Blank(4, 4);
  KvDrawGradient(s->Canvas(), TRect(0, 0, 4, 4), gdSquareBox, 0x0000FF, 0xFF0000, 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(*s, x, y), 0x0000FFu);
  // Wider bands: runs of at least that many rows share one colour.
  auto w = Blank(4, 40);
  KvDrawGradient(w->Canvas(), TRect(0, 0, 4, 40), gdHorizontalEnd, 0, 0xFFFFFF, 4);
  EXPECT_EQ(Px(*w, 0, 0), Px(*w, 0, 3));
  EXPECT_NE(Px(*w, 0, 3), Px(*w, 0, 4));
}

// A windowed parent that paints a pattern of its own.
class TStriped : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;

 protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(0x00FF00);
    Canvas()->FillRect(TRect(0, 0, 40, Height()));
  }
};

class TOnParent : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::unique_ptr<TBitmap> Got;

 protected:
  void Paint() override {
    Got = Blank(Width(), Height(), clBlack);
    KvPaintParentBackground(this, Got->Canvas(), false);
    Canvas()->Draw(0, 0, Got.get());
  }
};

using KvBlitsOnForm = KvTest;

TEST_F(KvBlitsOnForm, ParentBackgroundIsThePartOfTheParentUnderTheControl) {
  auto* p = Add<TStriped>(10, 10, 100, 60);
  p->SetColor(0x0000FF);
  auto* c = Add<TOnParent>(30, 5, 20, 20, p);
  ShowForm();
  ASSERT_TRUE(c->Got);
  EXPECT_EQ(Px(*c->Got, 0, 0), 0x00FF00u);   // parent x 30: its own painting
  EXPECT_EQ(Px(*c->Got, 9, 5), 0x00FF00u);   // x 39
  EXPECT_EQ(Px(*c->Got, 10, 5), 0x0000FFu);  // x 40: its erased background
  // And the window shows exactly that.
  EXPECT_EQ(Headless::PixelAt(Form.get(), 10 + 30 + 15, 10 + 5 + 5) & 0xFFFFFF, 0x0000FF);
  // Without a parent the device context is left as it is.
  TOnParent orphan(nullptr);
  auto b = Blank(5, 5, clBlack);
  KvPaintParentBackgroundDC(&orphan, b->Canvas(), true);
  EXPECT_EQ(Px(*b, 2, 2), 0u);
}

}  // namespace
