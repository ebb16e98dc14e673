#include <gtest/gtest.h>

#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"

namespace {

// Pixel (x, y) of a 3 x 2 stored image has gray value 10 * (y * 3 + x) + 1:
//   1 11 21
//  31 41 51
std::unique_ptr<TQxBitmap> Stored(TQxPixelFormat f) {
  auto b = std::make_unique<TQxBitmap>(3, 2, f);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint8_t v = uint8_t(10 * (y * 3 + x) + 1);
      if (f == TQxPixelFormat::qx8g) b->Scanline(y)[x] = v;
      else b->SetPixel24(x, y, TQxRGB{v, uint8_t(v + 1), uint8_t(v + 2)});
    }
  return b;
}

std::vector<std::vector<int>> Grid(TQxBitmap& b) {
  std::vector<std::vector<int>> g(b.Height(), std::vector<int>(b.Width()));
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      g[y][x] = b.PixelFormat() == TQxPixelFormat::qx8g ? b.Scanline(y)[x] : b.GetPixel24(x, y).b;
  return g;
}

}  // namespace

TEST(ExifOrientation, EveryValueTurnsTheImageUpright) {
  using G = std::vector<std::vector<int>>;
  const struct {
    int orientation;
    G upright;
  } cases[] = {
      {1, {{1, 11, 21}, {31, 41, 51}}},
      {2, {{21, 11, 1}, {51, 41, 31}}},
      {3, {{51, 41, 31}, {21, 11, 1}}},
      {4, {{31, 41, 51}, {1, 11, 21}}},
      {5, {{1, 31}, {11, 41}, {21, 51}}},   // rotate -90, then flip
      {6, {{31, 1}, {41, 11}, {51, 21}}},   // rotate -90 (clockwise)
      {7, {{51, 21}, {41, 11}, {31, 1}}},   // rotate 90, then flip
      {8, {{21, 51}, {11, 41}, {1, 31}}},   // rotate 90 (counter-clockwise)
      {9, {{1, 11, 21}, {31, 41, 51}}},
      {0, {{1, 11, 21}, {31, 41, 51}}},
  };
  for (auto f : {TQxPixelFormat::qx8g, TQxPixelFormat::qx24RGB})
    for (const auto& c : cases) {
      auto b = Stored(f);
      QxApplyExifOrientation(b.get(), c.orientation);
      EXPECT_EQ(b->PixelFormat(), f);
      EXPECT_EQ(Grid(*b), c.upright) << "orientation " << c.orientation;
    }
}

TEST(ExifOrientation, AlphaChannelTurnsWithThePixels) {
  auto b = Stored(TQxPixelFormat::qx24RGB);
  TQxBitmap* a = b->GetAlphaChannel();
  ASSERT_NE(a, nullptr);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) a->Scanline(y)[x] = uint8_t(10 * (y * 3 + x) + 1);
  QxApplyExifOrientation(b.get(), 6);
  ASSERT_TRUE(b->HasAlphaChannel());
  TQxBitmap* r = b->GetAlphaChannel();
  ASSERT_EQ(r->Width(), 2);
  EXPECT_EQ(Grid(*r), Grid(*b));
}
