#include <gtest/gtest.h>

#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/temp_storage.h"
#include "imaging/processing/filters.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

TEST(Filters, Presets) {
  QxInitFilterPresets();
  const char* names[] = {"None",        "Blur",        "Edges",      "Emboss",    "High Pass 1",
                         "High Pass 2", "High Pass 3", "Low Pass 1", "Low Pass 2"};
  const TQxFilterPreset values[] = {
      {{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0},         {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9},
      {{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1},        {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1},
      {{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1},     {{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1},
      {{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1},     {{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10},
      {{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16}};
  ASSERT_EQ(QxFilterPresets.size(), 9u);
  ASSERT_EQ(QxFilterPresetNames.size(), 9u);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(QxFilterPresetNames[i], names[i]);
    EXPECT_EQ(0, std::memcmp(&QxFilterPresets[i], &values[i], sizeof(TQxFilterPreset))) << names[i];
  }
}

TEST(Filters, Convolve3x3) {
  QxInitFilterPresets();
  auto b = Pattern(17, 11, F::qx8g);
  const auto before = Pixels(b.get());
  QxConvolve3x3(b.get(), QxFilterPresets[0], 0, 0, 17, 11);
  EXPECT_EQ(Pixels(b.get()), before);

  TQxBitmap flat(8, 8, F::qx8g);
  flat.Fill(77);
  QxConvolve3x3(&flat, QxFilterPresets[2], 0, 0, 8, 8);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) ASSERT_EQ(flat.GetPixel8(x, y), 0);

  auto c = Pattern(6, 6, F::qx24RGB);
  const auto c0 = Pixels(c.get());
  QxConvolve3x3(c.get(), QxFilterPresets[1], 0, 0, 6, 6);
  EXPECT_EQ(Pixels(c.get()), c0);

  // Low Pass 2 at an edge pixel repeats the edge rows and columns; |s| div divisor, limited to 255.
  auto d = Pattern(5, 4, F::qx8g, 8);
  auto o = Pattern(5, 4, F::qx8g, 8);
  QxConvolve3x3(d.get(), QxFilterPresets[8], 0, 0, 5, 4);
  auto px = [&](int x, int y) { return int(o->GetPixel8(std::clamp(x, 0, 4), std::clamp(y, 0, 3))); };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      const int s = px(x - 1, y - 1) + 2 * px(x, y - 1) + px(x + 1, y - 1) + 2 * px(x - 1, y) + 4 * px(x, y) +
                    2 * px(x + 1, y) + px(x - 1, y + 1) + 2 * px(x, y + 1) + px(x + 1, y + 1);
      ASSERT_EQ(d->GetPixel8(x, y), std::min(s / 16, 255)) << x << "," << y;
    }
}

// Large enough to be split into bands filtered in parallel; the band borders must see original rows.
TEST(Filters, Convolve3x3InBandsEqualsPlainReference) {
  const TQxFilterPreset emboss = {{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1};
  auto b = Pattern(700, 500, F::qx8g, 12);
  auto o = Pattern(700, 500, F::qx8g, 12);
  QxConvolve3x3(b.get(), emboss, 5, 7, 690, 493);
  auto px = [&](int x, int y) { return int(o->GetPixel8(std::clamp(x, 0, 699), std::clamp(y, 0, 499))); };
  for (int y = 0; y < 500; ++y)
    for (int x = 0; x < 700; ++x) {
      int expected = px(x, y);
      if (x >= 5 && x < 690 && y >= 7 && y < 493) {
        int s = 0;
        for (int j = 0; j < 9; ++j) s += emboss.Values[j] * px(x - 1 + j % 3, y - 1 + j / 3);
        expected = std::min(std::abs(s), 255);
      }
      ASSERT_EQ(b->GetPixel8(x, y), expected) << x << "," << y;
    }
}

TEST(Filters, Convolve3x3ClipsItsRectangle) {
  QxInitFilterPresets();
  auto b = Pattern(9, 7, F::qx8g);
  auto o = Pattern(9, 7, F::qx8g);
  // A rectangle reaching outside the picture on every side filters the picture and reads nothing else.
  QxConvolve3x3(b.get(), QxFilterPresets[1], -4, -3, 50, 40);
  auto ref = Pattern(9, 7, F::qx8g);
  QxConvolve3x3(ref.get(), QxFilterPresets[1], 0, 0, 9, 7);
  EXPECT_EQ(Pixels(b.get()), Pixels(ref.get()));
  // Wholly outside: nothing happens.
  QxConvolve3x3(o.get(), QxFilterPresets[1], 20, 20, 30, 30);
  QxConvolve3x3(o.get(), QxFilterPresets[1], -30, -30, -20, -20);
  EXPECT_EQ(Pixels(o.get()), Pixels(Pattern(9, 7, F::qx8g).get()));
}

// Two colours: a ring of one colour holding a diagonal neighbour that must not join.
std::unique_ptr<TQxBitmap> Shapes() {
  auto b = std::make_unique<TQxBitmap>(10, 8, F::qx24RGB);
  b->Fill(0xFFFFFF);
  for (int32_t y = 2; y <= 4; ++y)
    for (int32_t x = 2; x <= 5; ++x) b->SetPixel24(x, y, TQxRGB{0, 0, 0});
  b->SetPixel24(6, 5, TQxRGB{0, 0, 0});  // only diagonal to the block
  b->SetPixel24(9, 7, TQxRGB{4, 4, 4});  // similar, far away
  return b;
}

TEST(Filters, MagicWandMask) {
  auto b = Shapes();
  TQxMask m;
  m.Allocate(10, 8, 8);
  QxMagicWandMask(b.get(), 3, 3, 255, &m, 0, false);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x)
      EXPECT_EQ(m.GetPixel(x, y) != 0, x >= 2 && x <= 5 && y >= 2 && y <= 4) << x << "," << y;

  TQxMask d;
  d.Allocate(10, 8, 8);
  QxMagicWandMask(b.get(), 3, 3, 255, &d, 0, true);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x)
      EXPECT_EQ(d.GetPixel(x, y) != 0, x >= 1 && x <= 6 && y >= 1 && y <= 5) << x << "," << y;

  TQxMask e;
  e.Allocate(10, 8, 8);
  QxMagicWandMask(b.get(), 10, 3, 255, &e, 0, false);
  QxMagicWandMask(b.get(), -1, 3, 255, &e, 0, false);
  EXPECT_TRUE(e.IsEmpty());
}

TEST(Filters, MagicWandPolygonOfOnePixel) {
  TQxBitmap b(8, 8, F::qx24RGB);
  b.Fill(0);
  b.SetPixel24(3, 5, TQxRGB{255, 255, 255});
  int32_t count = -1;
  const std::vector<TPoint> pts = QxMagicWandPolygon(&b, 3, 5, count, 0, false);
  const TPoint expected[] = {{3, 5}, {4, 5}, {4, 5}, {4, 6}, {4, 6}, {3, 6}, {3, 6}, {3, 5}};
  ASSERT_EQ(count, 8);
  ASSERT_EQ(pts.size(), 8u);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(pts[i].X, expected[i].X) << i;
    EXPECT_EQ(pts[i].Y, expected[i].Y) << i;
  }
  QxMagicWandPolygon(&b, 9, 0, count, 0, false);
  EXPECT_EQ(count, 0);
}

TEST(Filters, SelectSimilarColors) {
  auto b = Shapes();
  TQxMask m;
  m.Allocate(10, 8, 8);
  QxSelectSimilarColors(b.get(), 3, 3, 255, &m, 4);
  EXPECT_NE(m.GetPixel(6, 5), 0);
  EXPECT_NE(m.GetPixel(9, 7), 0);
  EXPECT_EQ(m.GetPixel(0, 0), 0);
  // A seed outside the picture is refused instead of read.
  TQxMask n;
  n.Allocate(10, 8, 8);
  QxSelectSimilarColors(b.get(), 10, 0, 255, &n, 4);
  QxSelectSimilarColors(b.get(), 0, -1, 255, &n, 4);
  EXPECT_TRUE(n.IsEmpty());
}

}  // namespace

namespace {

// A black picture with a white disc, in memory or in a temporary file.
std::unique_ptr<TQxBitmap> Disc(bool InFile) {
  auto b = std::make_unique<TQxBitmap>();
  if (InFile) b->MemoryThreshold = 0;
  b->Allocate(300, 200, F::qx24RGB);
  for (int32_t y = 0; y < 200; ++y) {
    uint8_t* r = b->Scanline(y);
    for (int32_t x = 0; x < 300; ++x) {
      const uint8_t v = (x - 150) * (x - 150) + (y - 100) * (y - 100) < 80 * 80 ? 255 : 0;
      r[3 * x] = r[3 * x + 1] = r[3 * x + 2] = v;
    }
  }
  return b;
}

}  // namespace

// Pixel-by-pixel readers of a picture kept in a temporary file read each row from the file about once
// per visit, not once per pixel, and find what they find in memory.
TEST(Filters, TwoColourAndMagicWandOnFilePictures) {
  auto mem = Disc(false), file = Disc(true);
  ASSERT_EQ(file->Location(), TQxLocation::qxFile);
  ASSERT_NE(file->FileBuffer(), nullptr);

  int64_t before = file->FileBuffer()->MapCalls();
  TQxRGB a1{}, a2{}, b1{}, b2{};
  auto fromFile = QxTwoColorBitmap(file.get(), a1, a2);
  auto fromMem = QxTwoColorBitmap(mem.get(), b1, b2);
  ASSERT_TRUE(fromFile && fromMem);
  EXPECT_LE(file->FileBuffer()->MapCalls() - before, 2 * 200);
  EXPECT_EQ(a1, b1);
  EXPECT_EQ(a2, b2);
  for (int32_t y = 0; y < 200; ++y)
    EXPECT_EQ(std::memcmp(fromFile->Scanline(y), fromMem->Scanline(y), size_t(fromMem->RowLen())), 0) << y;

  TQxMask fm, mm;
  fm.Allocate(300, 200, 8);
  mm.Allocate(300, 200, 8);
  before = file->FileBuffer()->MapCalls();
  QxMagicWandMask(file.get(), 150, 100, 255, &fm, 10, false);
  QxMagicWandMask(mem.get(), 150, 100, 255, &mm, 10, false);
  EXPECT_LE(file->FileBuffer()->MapCalls() - before, 8 * 200);
  int32_t inside = 0;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) {
      ASSERT_EQ(fm.GetPixel(x, y), mm.GetPixel(x, y)) << x << "," << y;
      inside += mm.GetPixel(x, y) != 0;
    }
  EXPECT_NEAR(inside, 3.14159 * 80 * 80, 400);
}
