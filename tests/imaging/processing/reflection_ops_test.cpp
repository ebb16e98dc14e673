// The one-pass reflection operations against references worked out pixel by pixel in the test: the
// mirror, its fade, both blended onto a colour, and the picture placed on an enlarged canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/reflection_ops.h"

namespace {

// A 24-bit picture whose every byte differs from its neighbours, with an alpha channel when asked.
std::unique_ptr<TQxBitmap> Picture(int32_t W, int32_t H, bool Alpha, uint32_t Seed) {
  auto B = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx24RGB);
  uint32_t n = Seed;
  auto Next = [&] { return uint8_t((n = n * 1664525u + 1013904223u) >> 24); };
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W * 3; ++x) B->Scanline(y)[x] = Next();
  if (Alpha) {
    TQxBitmap* A = B->GetAlphaChannel();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) A->Scanline(y)[x] = Next();
    A->Opaque = false;
  }
  return B;
}

const uint8_t* Px(TQxBitmap* B, int32_t x, int32_t y) { return B->ScanlineToRead(y) + size_t(x) * 3; }
uint8_t AlphaAt(TQxBitmap* B, int32_t x, int32_t y) {
  return B->HasAlphaChannel() ? B->GetAlphaChannel()->ScanlineToRead(y)[x] : 255;
}
uint8_t GrayOf(const uint8_t* p) {
  return uint8_t((p[2] * QxGrayWeightRed + p[1] * QxGrayWeightGreen + p[0] * QxGrayWeightBlue) / 100);
}
uint8_t Blend(uint8_t p, uint8_t b, uint8_t a) { return uint8_t(b + (((int32_t(p) - b) * a) >> 8)); }

struct TCase {
  bool Horizontal;
  bool Alpha;
  bool Gray;
};
const TCase kCases[] = {{false, false, false}, {false, true, false}, {true, false, false},
                        {true, true, false},   {false, true, true},  {true, false, true}};

TEST(ReflectionOps, MirrorFadeAndBlendEqualTheirPixelFormulas) {
  const int32_t W = 37, H = 23;
  for (const TCase& C : kCases) {
    SCOPED_TRACE(testing::Message() << "horizontal " << C.Horizontal << " alpha " << C.Alpha << " gray " << C.Gray);
    auto Src = Picture(W, H, C.Alpha, 7);
    // Cuts of every kind: none, all, and values between, one per line.
    const int32_t N = C.Horizontal ? W : H;
    std::vector<uint8_t> Cut(static_cast<size_t>(N));
    for (int32_t i = 0; i < N; ++i) Cut[size_t(i)] = i % 5 == 0 ? 0 : i % 7 == 0 ? 255 : uint8_t(i * 11);
    auto SrcAt = [&](int32_t x, int32_t y) {
      return C.Horizontal ? std::pair(W - 1 - x, y) : std::pair(x, H - 1 - y);
    };
    auto Want = [&](int32_t x, int32_t y, int c) {
      const auto [sx, sy] = SrcAt(x, y);
      return C.Gray ? GrayOf(Px(Src.get(), sx, sy)) : Px(Src.get(), sx, sy)[c];
    };
    auto WantAlpha = [&](int32_t x, int32_t y) {
      const auto [sx, sy] = SrcAt(x, y);
      return uint8_t(std::max(0, AlphaAt(Src.get(), sx, sy) - Cut[size_t(C.Horizontal ? x : y)]));
    };

    // Destinations in memory, as a view's layers are (a bitmap never allocated counts as kept in a file).
    TQxBitmap Mirror(1, 1, TQxPixelFormat::qx24RGB);
    ASSERT_TRUE(QxMirrorInto(Src.get(), &Mirror, C.Horizontal, TQxMirrorParts{true, true, C.Gray}));
    ASSERT_TRUE(QxMirroredFadeInto(Src.get(), &Mirror, Cut, C.Horizontal, false));
    TQxBitmap Blended(1, 1, TQxPixelFormat::qx24RGB);
    ASSERT_TRUE(QxBlendedMirrorInto(Src.get(), &Blended, Cut, C.Horizontal, C.Gray, TColor(0x336699), false));
    const uint8_t Bg[3] = {0x33, 0x66, 0x99};  // blue, green, red of 0x336699
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        ASSERT_EQ(AlphaAt(&Mirror, x, y), WantAlpha(x, y)) << x << "," << y;
        ASSERT_EQ(AlphaAt(&Blended, x, y), WantAlpha(x, y)) << x << "," << y;
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(Px(&Mirror, x, y)[c], Want(x, y, c)) << x << "," << y;
          ASSERT_EQ(Px(&Blended, x, y)[c], Blend(Want(x, y, c), Bg[c], WantAlpha(x, y))) << x << "," << y;
        }
      }
    // The picture itself is never written.
    auto Again = Picture(W, H, C.Alpha, 7);
    for (int32_t y = 0; y < H; ++y)
      ASSERT_EQ(0, std::memcmp(Src->ScanlineToRead(y), Again->ScanlineToRead(y), size_t(W) * 3));
  }
}

TEST(ReflectionOps, LentMirrorRowsAreThePicturesRows) {
  auto Src = Picture(16, 9, false, 3);
  TQxBitmap Dst;
  ASSERT_TRUE(QxLendMirroredRows(Src.get(), &Dst));
  for (int32_t y = 0; y < 9; ++y) EXPECT_EQ(Dst.ScanlineToRead(y), Src->ScanlineToRead(8 - y));
  // A picture of another format is not lent.
  TQxBitmap Gray(16, 9, TQxPixelFormat::qx8g);
  TQxBitmap Other;
  EXPECT_FALSE(QxLendMirroredRows(&Gray, &Other));
}

TEST(ReflectionOps, RampCutsAndLowering) {
  // Four lines from opacity 255 to 0 over the whole size: the edge line keeps everything, the far line
  // loses all but a quarter (127.5 rounds to the even 128); from the far side the order turns round.
  EXPECT_EQ(QxRampCuts(4, 255, 0, false, 100), (std::vector<uint8_t>{0, 64, 127, 191}));
  EXPECT_EQ(QxRampCuts(4, 255, 0, true, 100), (std::vector<uint8_t>{191, 127, 64, 0}));
  // Half the size: the lines past the ramp are cleared.
  EXPECT_EQ(QxRampCuts(4, 255, 255, false, 50), (std::vector<uint8_t>{0, 0, 0, 255}));
  EXPECT_TRUE(QxRampCuts(0, 255, 0, false, 100).empty());

  // The answer tells whether the channel holds a value below 255 afterwards.
  TQxBitmap A(3, 2, TQxPixelFormat::qx8g);
  std::fill_n(A.Scanline(0), 3, uint8_t(255));
  std::fill_n(A.Scanline(1), 3, uint8_t(255));
  EXPECT_FALSE(QxLowerAlphaByCuts(&A, {0, 0}, false));
  std::fill_n(A.Scanline(1), 3, uint8_t(200));
  EXPECT_TRUE(QxLowerAlphaByCuts(&A, {10, 0, 250}, true));
  EXPECT_EQ((std::vector<uint8_t>(A.Scanline(0), A.Scanline(0) + 3)), (std::vector<uint8_t>{245, 255, 5}));
  EXPECT_EQ((std::vector<uint8_t>(A.Scanline(1), A.Scanline(1) + 3)), (std::vector<uint8_t>{190, 200, 0}));
}

TEST(ReflectionOps, PictureOnAnEnlargedCanvas) {
  struct TPlace {
    int32_t NW, NH, OX, OY;
    bool Alpha, Blend;
  };
  // Growing in height only (rows lent), in width only, and both ways at an offset; with and without the
  // picture's own alpha channel, and blended onto a colour.
  const TPlace kPlaces[] = {{11, 20, 0, 0, false, false}, {11, 20, 0, 9, true, false}, {25, 7, 14, 0, false, false},
                            {25, 7, 0, 0, true, true},    {15, 12, 2, 3, true, false}, {11, 20, 0, 9, false, true}};
  const uint8_t Fill[3] = {1, 2, 3}, Onto[3] = {200, 100, 50};
  for (const TPlace& P : kPlaces) {
    SCOPED_TRACE(testing::Message() << P.NW << "x" << P.NH << " at " << P.OX << "," << P.OY);
    auto Src = Picture(11, 7, P.Alpha, 5);
    TQxBitmap Dst(1, 1, TQxPixelFormat::qx24RGB);
    ASSERT_TRUE(QxPlaceOnCanvas(Src.get(), &Dst, P.NW, P.NH, P.OX, P.OY, Fill, P.Blend ? Onto : nullptr));
    ASSERT_EQ(Dst.Width(), P.NW);
    ASSERT_EQ(Dst.Height(), P.NH);
    for (int32_t y = 0; y < P.NH; ++y)
      for (int32_t x = 0; x < P.NW; ++x) {
        const bool In = x >= P.OX && x < P.OX + 11 && y >= P.OY && y < P.OY + 7;
        const uint8_t a = In ? AlphaAt(Src.get(), x - P.OX, y - P.OY) : 0;
        ASSERT_EQ(AlphaAt(&Dst, x, y), a) << x << "," << y;
        for (int c = 0; c < 3; ++c) {
          const uint8_t Base = In ? Px(Src.get(), x - P.OX, y - P.OY)[c] : P.Blend ? Onto[c] : Fill[c];
          ASSERT_EQ(Px(&Dst, x, y)[c], P.Blend && In ? Blend(Base, Onto[c], a) : Base) << x << "," << y;
        }
      }
  }
  // A canvas smaller than the picture is refused.
  auto Src = Picture(11, 7, false, 5);
  TQxBitmap Dst;
  EXPECT_FALSE(QxPlaceOnCanvas(Src.get(), &Dst, 10, 7, 0, 0, Fill, nullptr));
}

}  // namespace
