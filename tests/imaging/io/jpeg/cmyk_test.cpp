#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/icc.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/params.h"

TEST(CmykConversion, ArithmeticPixels) {
  const struct {
    TQxCMYK cmyk;
    TQxRGB rgb;  // b, g, r
  } toRgb[] = {
      {{255, 255, 255, 255}, {255, 255, 255}},  // no ink: white
      {{255, 255, 255, 0}, {0, 0, 0}},          // full black
      {{0, 255, 255, 255}, {255, 255, 0}},      // full cyan: red 0, green and blue 255
  };
  for (const auto& c : toRgb) EXPECT_EQ(QxCMYK2RGB(c.cmyk), c.rgb);
  EXPECT_EQ(QxRGB2CMYK(TQxRGB{255, 255, 255}), (TQxCMYK{255, 255, 255, 255}));
  EXPECT_EQ(QxRGB2CMYK(TQxRGB{0, 0, 0}), (TQxCMYK{0, 0, 0, 1}));
  EXPECT_EQ(QxRGB2CMYK(TQxRGB{0, 0, 255}), (TQxCMYK{255, 0, 0, 255}));
  EXPECT_EQ(QxCMYK2RGB(QxRGB2CMYK(TQxRGB{50, 100, 200})), (TQxRGB{49, 99, 200}));
}

TEST(CmykConversion, RowsByLayoutPair) {
  const uint8_t bgr[6] = {10, 20, 30, 255, 0, 128};
  uint8_t out[12];
  std::memset(out, 0xAA, sizeof(out));
  QxConvertColorRow(bgr, TQxColorLayout::qxclBGR, out, TQxColorLayout::qxclGray, 2, nullptr);
  EXPECT_EQ(out[0], (30 * 21 + 20 * 71 + 10 * 8) / 100);
  EXPECT_EQ(out[1], (128 * 21 + 0 * 71 + 255 * 8) / 100);

  const uint8_t rgb[3] = {1, 2, 3};
  QxConvertColorRow(rgb, TQxColorLayout::qxclRGB, out, TQxColorLayout::qxclBGR, 1, nullptr);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[2], 1);

  const uint8_t rgb48[6] = {0x11, 0xA0, 0x22, 0xB0, 0x33, 0xC0};  // little-endian words
  QxConvertColorRow(rgb48, TQxColorLayout::qxclRGB48, out, TQxColorLayout::qxclBGR, 1, nullptr);
  EXPECT_EQ(out[2], 0xA0);
  EXPECT_EQ(out[0], 0xC0);
  QxConvertColorRow(rgb48, TQxColorLayout::qxclRGB48Swapped, out, TQxColorLayout::qxclBGR, 1, nullptr);
  EXPECT_EQ(out[2], 0x11);
  EXPECT_EQ(out[0], 0x33);

  // Inks counted upwards (0 = none) read as a complemented CMYK pixel; the source stays as it was.
  const uint8_t wide[6] = {0, 0, 0, 0, 9, 9};
  QxConvertColorRow(wide, TQxColorLayout::qxclCMYKWide, out, TQxColorLayout::qxclBGR, 1, nullptr);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(wide[0], 0);

  const uint8_t ycc[3] = {128, 128, 128};
  QxConvertColorRow(ycc, TQxColorLayout::qxclYCbCr, out, TQxColorLayout::qxclBGR, 1, nullptr);
  EXPECT_EQ(out[0], 128);

  // Gray has no conversion of its own: the destination is left alone.
  std::memset(out, 0xAA, sizeof(out));
  QxConvertColorRow(bgr, TQxColorLayout::qxclGray, out, TQxColorLayout::qxclBGR, 2, nullptr);
  EXPECT_EQ(out[0], 0xAA);
}

TEST(CmykConversion, ProfilesAreUsedOnlyWhenSwitchedOnAndNotYetApplied) {
  TIOParamsVals p;
  // An input profile that swaps nothing but exists: the default road and the managed road agree on gray.
  p.GetInputICC()->LoadSRGB();
  const uint8_t bgr[3] = {0, 0, 255};
  uint8_t out[4] = {};
  QxColorManagement = false;
  QxConvertColorRow(bgr, TQxColorLayout::qxclBGR, out, TQxColorLayout::qxclCMYK, 1, &p);
  EXPECT_EQ(out[0], 255);  // arithmetic
  QxColorManagement = true;
  QxConvertColorRow(bgr, TQxColorLayout::qxclBGR, out, TQxColorLayout::qxclBGR, 1, &p);
  EXPECT_NEAR(out[2], 255, 1);
  EXPECT_TRUE(p.InputICC->IsTransformReady());
  p.InputICC->FreeTransform();
  EXPECT_TRUE(p.InputICC->Applied());
  QxConvertColorRow(bgr, TQxColorLayout::qxclBGR, out, TQxColorLayout::qxclBGR, 1, &p);
  EXPECT_FALSE(p.InputICC->IsTransformReady());  // the table, not the profile
  QxColorManagement = false;
}
