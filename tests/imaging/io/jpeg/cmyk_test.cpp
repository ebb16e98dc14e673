#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/foundation/icc.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/foundation/bitmap.h"
#include "tests/imaging/io/io_test_util.h"

TEST(CmykConversion, ArithmeticPixels) {
  QxUseCMYKProfile = false;
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
  QxUseCMYKProfile = true;
}

// A print CMYK JPEG without a profile of its own opens through the installed printer profile: its colours
// match LittleCMS's own transform with that profile (through Pillow), not the plain arithmetic.
TEST(CmykConversion, PrintJpegOpensThroughTheInstalledProfile) {
  const char* Profile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
  if (!qvio::HavePillow() || access(Profile, R_OK) != 0) GTEST_SKIP() << "Pillow and the ghostscript profiles are needed";
  const std::string Dir = qvio::TempDir();
  const std::string Jpg = Dir + "/print.jpg", Ref = Dir + "/ref.rgb";
  // Ink patches: each of the four inks alone, mixed, none and rich black.
  ASSERT_EQ(qvio::Shell("/usr/bin/python3 -c \"\nfrom PIL import Image, ImageCms\n"
                        "inks=[(255,0,0,0),(0,255,0,0),(0,0,255,0),(0,0,0,255),(0,0,0,0),(60,120,30,10),(200,180,40,90),(255,255,255,255)]\n"
                        "im=Image.new('CMYK',(8*8,8))\n"
                        "for i,c in enumerate(inks):\n  im.paste(c,(i*8,0,i*8+8,8))\n"
                        "im.save('" + Jpg + "',quality=100,subsampling=0)\n"
                        "im=Image.open('" + Jpg + "'); im.load()\n"
                        "out=ImageCms.profileToProfile(im,ImageCms.getOpenProfile('" + std::string(Profile) +
                        "'),ImageCms.createProfile('sRGB'),renderingIntent=0,outputMode='RGB')\n"
                        "open('" + Ref + "','wb').write(out.tobytes())\n\""),
            0);
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.LoadFromFile(Jpg);
  ASSERT_FALSE(IO.Aborting);
  if (B.PixelFormat() != TQxPixelFormat::qx24RGB) B.SetPixelFormat(TQxPixelFormat::qx24RGB);
  const auto Want = qvio::ReadFile(Ref);
  const auto Got = qvio::RgbOf(B);
  ASSERT_EQ(Got.size(), Want.size());
  int Worst = 0, WorstArith = 0;
  for (size_t i = 0; i < Got.size(); ++i) Worst = std::max(Worst, std::abs(int(Got[i]) - int(Want[i])));
  EXPECT_LE(Worst, 3);
  // The arithmetic would be far off: full cyan is not (0, 255, 255) on a press.
  QxUseCMYKProfile = false;
  IO.LoadFromFile(Jpg);
  if (B.PixelFormat() != TQxPixelFormat::qx24RGB) B.SetPixelFormat(TQxPixelFormat::qx24RGB);
  const auto Arith = qvio::RgbOf(B);
  QxUseCMYKProfile = true;
  for (size_t i = 0; i < Arith.size(); ++i) WorstArith = std::max(WorstArith, std::abs(int(Arith[i]) - int(Want[i])));
  EXPECT_GT(WorstArith, 20);
  qvio::Shell("rm -rf " + Dir);
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
