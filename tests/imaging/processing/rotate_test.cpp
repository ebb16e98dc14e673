#include <gtest/gtest.h>

#include <cmath>

#include "imaging/processing/proc.h"
#include "imaging/processing/rotate.h"
#include "imaging/processing/rotate_shear.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

TEST(Rotate, SizesOfEachEngine) {
  struct {
    const char* name;
    uint8_t antiAlias, quality;
    int32_t w, h;
  } cases[] = {
      {"interpolated", 1, 1, 112, 94},
      {"bicubic", 1, 2, 112, 94},
      {"three shears", 1, 0, 112, 94},
      {"nearest", 0, 0, 112, 93},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    auto b = Pattern(100, 50, F::qx24RGB);
    b->GetAlphaChannel()->Fill(255);
    auto p = TQuillotProc::CreateForBitmap(b.get());
    p->Rotate(30, c.antiAlias, c.quality, 0xFFFFFF);
    EXPECT_EQ(b->Width(), c.w);
    EXPECT_EQ(b->Height(), c.h);
    // The alpha channel turns with the picture; the corners outside it are transparent.
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_EQ(b->GetAlphaChannel()->Width(), c.w);
    EXPECT_EQ(b->GetAlphaChannel()->Height(), c.h);
    EXPECT_EQ(b->GetAlpha(0, 0), 0);
    EXPECT_EQ(b->GetAlpha(c.w / 2, c.h / 2), 255);
  }
  TQxBitmap s(10, 10, F::qx24RGB), d;
  s.Fill(0);
  QxRotateInto(&s, &d, 0, nullptr, {}, 90.5);
  EXPECT_EQ(d.Width(), 10);
  EXPECT_EQ(d.Height(), 10);
}

// A positive angle turns counter-clockwise: every engine must agree with the nearest-pixel mapping on a
// picture of large flat blocks, away from their edges.
TEST(Rotate, EnginesAgreeOnDirection) {
  auto make = [] {
    auto b = std::make_unique<TQxBitmap>(60, 40, F::qx24RGB);
    for (int32_t y = 0; y < 40; ++y)
      for (int32_t x = 0; x < 60; ++x)
        b->SetPixel24(x, y, TQxRGB{uint8_t(x < 30 ? 0 : 255), uint8_t(y < 20 ? 0 : 255), 128});
    return b;
  };
  auto ref = make();
  QxRotateNearest(ref.get(), 0, nullptr, {}, 25);
  for (int q : {0, 1, 2}) {
    auto b = make();
    if (q == 0)
      QxRotateBitmap(b.get(), 1, nullptr, {}, 0, 25);
    else
      QxRotateInterpolated24(b.get(), 0, uint8_t(q), nullptr, {}, 25);
    // The engines size their canvas a little differently; pixels are compared about the centres.
    const int32_t ox = (b->Width() - ref->Width()) / 2, oy = (b->Height() - ref->Height()) / 2;
    int32_t agree = 0, total = 0;
    for (int32_t y = 0; y < ref->Height(); ++y)
      for (int32_t x = 0; x < ref->Width(); ++x) {
        const int32_t bx = x + ox, by = y + oy;
        if (bx < 0 || by < 0 || bx >= b->Width() || by >= b->Height()) continue;
        ++total;
        const TQxRGB a = b->GetPixel24(bx, by), r = ref->GetPixel24(x, y);
        agree += std::abs(a.r - r.r) < 40 && std::abs(a.g - r.g) < 40 && std::abs(a.b - r.b) < 40;
      }
    EXPECT_GT(agree, total * 9 / 10) << "engine " << q;
  }
}

TEST(Rotate, BicubicClampsAndOddQualityWritesEveryPixel) {
  // A black-and-white checkerboard makes the cubic overshoot both ways.
  TQxBitmap b(16, 16, F::qx24RGB);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      const uint8_t v = ((x + y) & 1) ? 255 : 0;
      b.SetPixel24(x, y, TQxRGB{v, v, v});
    }
  TQxBitmap c;
  c.AssignFrom(&b);
  QxRotateInterpolated24(&b, 0x808080, 2, nullptr, {}, 33);
  // The centre of a black cell stays dark: a negative sum must not become a bright value.
  int32_t bright = 0;
  for (int32_t y = 6; y < b.Height() - 6; ++y)
    for (int32_t x = 6; x < b.Width() - 6; ++x) bright += b.GetPixel24(x, y).r == 255;
  EXPECT_LT(bright, (b.Width() - 12) * (b.Height() - 12) / 2);

  // Quality 7 is not a known quality; the result must still be a complete picture, bilinear here.
  TQxBitmap d;
  d.AssignFrom(&c);
  QxRotateInterpolated24(&c, 0x808080, 7, nullptr, {}, 33);
  QxRotateInterpolated24(&d, 0x808080, 1, nullptr, {}, 33);
  EXPECT_EQ(Pixels(&c), Pixels(&d));
}

TEST(Rotate, GrayPictureTurnsByPixelsNotBits) {
  // Before, anything that was not 24-bit was handed to the 1-bit rotation.
  auto g = Pattern(7, 5, F::qx8g);
  auto expected = Pattern(7, 5, F::qx8g);
  QxRotateBitmap(g.get(), 1, nullptr, {}, 0, 90);
  TQxBitmap e;
  QxRotateInto(expected.get(), &e, 0, nullptr, {}, 90);
  ASSERT_EQ(g->PixelFormat(), F::qx8g);
  EXPECT_EQ(Pixels(g.get()), Pixels(&e));
  auto cmyk = Pattern(7, 5, F::qxCMYK);
  QxRotateBitmap(cmyk.get(), 1, nullptr, {}, 0, -90);
  EXPECT_EQ(cmyk->PixelFormat(), F::qxCMYK);
  EXPECT_EQ(cmyk->Width(), 5);
  EXPECT_EQ(cmyk->Height(), 7);
}

TEST(Rotate, OneBit) {
  // 180 degrees of a picture 13 wide: every row reversed, nothing from beyond the last pixel.
  auto b = Pattern(13, 4, F::qx1g);
  for (int32_t y = 0; y < 4; ++y) b->Scanline(y)[1] |= 0x07;
  auto orig = Pattern(13, 4, F::qx1g);
  TQxProgressInfo info;
  QxRotate1Bit(b.get(), false, info, 180);
  auto bit = [](TQxBitmap* m, int x, int y) { return (m->Scanline(y)[x >> 3] >> (7 - (x & 7))) & 1; };
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 13; ++x) ASSERT_EQ(bit(b.get(), x, y), bit(orig.get(), 12 - x, 3 - y));

  // 45 degrees with a white background gives white corners; the nearest engine gives black ones.
  TQxBitmap k(20, 20, F::qx1g);
  k.Fill(0);
  TQxBitmap n;
  n.AssignFrom(&k);
  QxRotate1Bit(&k, true, info, 45);
  EXPECT_EQ(bit(&k, 0, 0), 1);
  EXPECT_EQ(bit(&k, k.Width() / 2, k.Height() / 2), 0);
  QxRotateNearest(&n, 0xFFFFFF, nullptr, {}, 45);
  EXPECT_EQ(bit(&n, 0, 0), 0);
}

TEST(Rotate, AntiAliasBlendsOnlyWithAntiAlias) {
  TQxBitmap a(40, 30, F::qx24RGB), b(40, 30, F::qx24RGB);
  a.Fill(0x0000FF);
  b.Fill(0x0000FF);
  QxRotateBitmap(&a, 0, nullptr, {}, 0xFFFFFF, 30);
  QxRotateBitmap(&b, 1, nullptr, {}, 0xFFFFFF, 30);
  auto mixed = [](TQxBitmap* m) {
    int32_t n = 0;
    for (int32_t y = 0; y < m->Height(); ++y)
      for (int32_t x = 0; x < m->Width(); ++x) {
        const TQxRGB c = m->GetPixel24(x, y);
        n += !(c == TQxRGB{255, 255, 255}) && !(c == TQxRGB{0, 0, 255});
      }
    return n;
  };
  EXPECT_EQ(mixed(&a), 0);
  EXPECT_GT(mixed(&b), 0);
  // The alpha plane turned with the same angle has the picture's size.
  TQxBitmap plane(40, 30, F::qx8g);
  plane.Fill(255);
  QxRotatePlane8(&plane, 1, 0, nullptr, {}, 30);
  EXPECT_EQ(plane.Width(), b.Width());
  EXPECT_EQ(plane.Height(), b.Height());
}

TEST(Rotate, ComponentCaptionAndBackgroundProperty) {
  auto b = Pattern(20, 10, F::qx24RGB);
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(b.get());
  p.SetBackground(0x00FF00);
  p.Rotate(30, 0, 0, -1);
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "Rotate 30.00");
  EXPECT_EQ(b->GetPixel24(0, 0), (TQxRGB{0, 255, 0}));
  const int32_t w = b->Width();
  p.Rotate(0, 0, 0, -1);
  EXPECT_EQ(b->Width(), w);
  EXPECT_EQ(p.UndoCount(), 1);
}

}  // namespace
