// The processing kernels the bitmap model calls: DIB import and export, bit and row routines,
// quantizers, thresholds and the colour routines.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dib_bitmap.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "imaging/foundation/kernels/threshold.h"

namespace {

void Put32(std::vector<uint8_t>& v, size_t off, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[off + size_t(i)] = uint8_t(x >> (8 * i));
}

// A packed DIB: header, colour table (RGBQUAD each) and rows as given.
std::vector<uint8_t> Dib(int32_t w, int32_t h, int bits, uint32_t compression, const std::vector<uint32_t>& table,
                         const std::vector<uint8_t>& pixels, uint32_t clrUsed = 0) {
  std::vector<uint8_t> d(40 + table.size() * 4, 0);
  Put32(d, 0, 40);
  Put32(d, 4, uint32_t(w));
  Put32(d, 8, uint32_t(h));
  d[12] = 1;
  d[14] = uint8_t(bits);
  Put32(d, 16, compression);
  Put32(d, 32, clrUsed);
  for (size_t i = 0; i < table.size(); ++i) Put32(d, 40 + 4 * i, table[i]);
  d.insert(d.end(), pixels.begin(), pixels.end());
  return d;
}

std::unique_ptr<TQxBitmap> Colours(const std::vector<TQxRGB>& pixels, int32_t w) {
  auto b = std::make_unique<TQxBitmap>(w, int32_t(pixels.size()) / w, TQxPixelFormat::qx24RGB);
  for (size_t i = 0; i < pixels.size(); ++i) b->SetPixel24(int32_t(i) % w, int32_t(i) / w, pixels[i]);
  return b;
}

}  // namespace

TEST(BitRoutines, CopyBitsTouchesOnlyTheRun) {
  const uint8_t src[2] = {0b00011111, 0b00000000};  // bits 3..7 set
  uint8_t dst[2] = {0, 0};
  QxCopyBits(dst, src, 6, 2, 5, 3);
  EXPECT_EQ(dst[0], 0b00000011);  // bits 6, 7
  EXPECT_EQ(dst[1], 0b11100000);  // bits 8, 9, 10
  uint8_t keep[2] = {0xFF, 0xFF};
  const uint8_t zero[2] = {0, 0};
  QxCopyBits(keep, zero, 6, 2, 5, 3);
  EXPECT_EQ(keep[0], 0b11111100);
  EXPECT_EQ(keep[1], 0b00011111);
  // A run longer than the source bytes stops at their end.
  uint8_t big[4] = {0, 0, 0, 0};
  const uint8_t one[1] = {0xFF};
  QxCopyBits(big, one, 0, 1, 32, 0);
  EXPECT_EQ(big[0], 0xFF);
  EXPECT_EQ(big[1], 0);
}

TEST(BitRoutines, RowsInvertCompareAndQuantize) {
  TQxBitmap b;
  b.SetRowAlignment(8);
  ASSERT_TRUE(b.Allocate(3, 2, TQxPixelFormat::qx8g));  // odd row length: 3 bytes
  b.Fill(0);
  QxInvertRows(&b);
  EXPECT_EQ(b.GetPixel8(2, 1), 255);

  TQxBitmap c;
  c.AssignFrom(&b);
  EXPECT_TRUE(QxBitmapsEqual(&b, &c));
  c.SetPixel8(2, 0, 1);
  EXPECT_FALSE(QxBitmapsEqual(&b, &c));
  TQxBitmap wide(3, 2, TQxPixelFormat::qx8g);  // 4-byte rows against 3-byte rows
  EXPECT_FALSE(QxBitmapsEqual(&b, &wide));

  const uint8_t bits[1] = {0b10100000};
  const TQxRGB pal[2] = {{0, 0, 0}, {255, 255, 255}};
  uint8_t out[12];
  EXPECT_EQ(QxQuantizeRow(bits, out, 1, nullptr, pal, 4, 24), 12);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(out[6], 255);
  EXPECT_EQ(out[9], 0);
}

TEST(DibExport, HeaderSizesAndBottomRowFirst) {
  TQxBitmap b(10, 5, TQxPixelFormat::qx24RGB);
  b.Fill(0);
  b.SetPixel24(0, 4, TQxRGB{1, 2, 3});
  const std::vector<uint8_t> d = _CopyBitmaptoDIBEx(&b, 0, 0, 0, 0, 96, 96);
  ASSERT_EQ(d.size(), 44u + 32 * 5);
  uint32_t ppm;
  std::memcpy(&ppm, d.data() + 24, 4);
  EXPECT_EQ(ppm, 3779u);
  EXPECT_EQ(d[40], 1);  // bottom row first

  TQxBitmap back;
  EXPECT_EQ(QxCopyDIBToBitmap(d.data(), d.size(), &back), 24);
  EXPECT_EQ(back.GetPixel24(0, 4), (TQxRGB{1, 2, 3}));
  TQxDibbitmap dib;
  EXPECT_EQ(QxCopyDIBToDibbitmap(d.data(), d.size(), &dib), 24);
  ASSERT_EQ(dib.Width(), 10);
  EXPECT_EQ(dib.Scanline(4)[1], 2);
}

TEST(DibImport, DepthsAndTheirColourTables) {
  // 4 bits, width 7: the seventh pixel from the high nibble of the fourth byte.
  auto d4 = Dib(7, 1, 4, 0, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000}, {0x01, 0x23, 0x01, 0x20}, 4);
  TQxBitmap b;
  EXPECT_EQ(QxCopyDIBToBitmap(d4.data(), d4.size(), &b), 4);
  EXPECT_EQ(b.GetPixel24(6, 0), (TQxRGB{0, 255, 0}));
  EXPECT_EQ(b.GetPixel24(3, 0), (TQxRGB{0, 0, 255}));

  // 16-bit bit fields 5-6-5: 0xFFFF is (248, 252, 248).
  std::vector<uint8_t> d16 = Dib(2, 1, 16, 3, {0xF800, 0x7E0, 0x1F}, {0xFF, 0xFF, 0x00, 0xF8});
  EXPECT_EQ(QxCopyDIBToBitmap(d16.data(), d16.size(), &b), 16);
  EXPECT_EQ(b.GetPixel24(0, 0), (TQxRGB{248, 252, 248}));
  EXPECT_EQ(b.GetPixel24(1, 0), (TQxRGB{0, 0, 248}));

  // A 1-bit DIB whose palette makes bit 1 black reads with that palette.
  auto d1 = Dib(8, 1, 1, 0, {0xFFFFFF, 0x000000}, {0x80, 0, 0, 0});
  EXPECT_EQ(QxCopyDIBToBitmap(d1.data(), d1.size(), &b), 1);
  EXPECT_EQ(b.GetPixelRGB(0, 0).r, 0);
  EXPECT_EQ(b.GetPixelRGB(1, 0).r, 255);

  // A negative height stores the rows top-down.
  auto top = Dib(1, -2, 24, 0, {}, {9, 9, 9, 0, 1, 1, 1, 0});
  EXPECT_EQ(QxCopyDIBToBitmap(top.data(), top.size(), &b), 24);
  EXPECT_EQ(b.GetPixel24(0, 0).r, 9);
}

TEST(DibImport, MalformedDibsAreRefusedWithoutTouchingTheBitmap) {
  auto good = Dib(4, 4, 8, 0, std::vector<uint32_t>(256, 0x808080), std::vector<uint8_t>(16, 1));
  struct Case {
    const char* what;
    std::vector<uint8_t> dib;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated rows", std::vector<uint8_t>(good.begin(), good.end() - 1)});
  cases.push_back({"truncated colour table", std::vector<uint8_t>(good.begin(), good.begin() + 100)});
  cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 30)});
  auto more = good;
  Put32(more, 32, 4096);  // more colours than 8 bits can index
  cases.push_back({"colours used too large", more});
  auto zero = good;
  Put32(zero, 4, 0);
  cases.push_back({"zero width", zero});
  auto huge = good;
  Put32(huge, 8, 0x7FFFFFFF);
  cases.push_back({"huge height", huge});
  auto rle = good;
  Put32(rle, 16, 1);
  cases.push_back({"run-length compression", rle});
  auto depth = good;
  depth[14] = 7;
  cases.push_back({"odd depth", depth});
  for (const Case& c : cases) {
    TQxBitmap b(2, 2, TQxPixelFormat::qx8g);
    EXPECT_EQ(QxCopyDIBToBitmap(c.dib.data(), c.dib.size(), &b), 0) << c.what;
    EXPECT_EQ(b.Width(), 2) << c.what;
  }
  TQxBitmap b;
  EXPECT_EQ(QxCopyDIBToBitmap(nullptr, 0, &b), 0);
}

TEST(DibImport, YuvConvertersFillEveryColumnAndStayInTheData) {
  // Odd widths: the last, partial group still gets its pixels; the data is exactly one frame.
  TQxBitmap b(5, 2, TQxPixelFormat::qx24RGB);
  b.Fill(0x0000FF);
  std::vector<uint8_t> yuy2(3 * 4 * 2, 0);
  for (size_t i = 0; i < yuy2.size(); i += 2) {
    yuy2[i] = 235;      // Y: white
    yuy2[i + 1] = 128;  // U / V: neutral
  }
  QxConvertYUY2(yuy2.data(), yuy2.size(), &b, true);
  EXPECT_EQ(b.GetPixel24(4, 1), (TQxRGB{255, 255, 255}));

  TQxBitmap p(5, 3, TQxPixelFormat::qx24RGB);
  p.Fill(0x0000FF);
  std::vector<uint8_t> i420(5 * 3 + 2 * 2 * 1, 128);
  for (int i = 0; i < 15; ++i) i420[size_t(i)] = 16;  // black
  QxConvertI420(i420.data(), i420.size(), &p, true);
  EXPECT_EQ(p.GetPixel24(4, 2), (TQxRGB{0, 0, 0}));

  // Short data converts what it holds and no more.
  TQxBitmap s(4, 4, TQxPixelFormat::qx24RGB);
  s.Fill(0x0000FF);
  std::vector<uint8_t> part(8, 128);
  QxConvertUYVY(part.data(), part.size(), &s, true);
  EXPECT_EQ(s.GetPixel24(0, 1), (TQxRGB{0, 0, 255}));
  uint8_t bgr[3];
  QxYUVToBGR(16, 128, 128, bgr);
  EXPECT_EQ(bgr[0], 0);
}

TEST(Quantizer, ExactTableMethodsAndGrayRamp) {
  auto three = Colours({{1, 2, 3}, {4, 5, 6}, {1, 2, 3}, {7, 8, 9}}, 2);
  std::vector<TQxRGB> pal(3);
  TQxQuantizer q(three.get(), pal.data(), 3);
  EXPECT_TRUE(q.HasExactTable());
  EXPECT_EQ(pal[2], (TQxRGB{7, 8, 9}));
  EXPECT_EQ(q.RGBIndex({4, 5, 6}), 1);
  EXPECT_EQ(q.RGBIndex({0, 0, 0}), -1);
  std::vector<TQxRGB> pal2(2);
  TQxQuantizer q2(three.get(), pal2.data(), 2);
  EXPECT_FALSE(q2.HasExactTable());
  EXPECT_EQ(q2.Method(), 1);  // fewer than 128 colours: median cut

  TQxBitmap many(256, 1, TQxPixelFormat::qx24RGB);
  for (int32_t x = 0; x < 256; ++x) many.SetPixel24(x, 0, TQxRGB{uint8_t(x), uint8_t(255 - x), uint8_t(x / 2)});
  std::vector<TQxRGB> p127(127), p128(128);
  EXPECT_EQ(TQxQuantizer(&many, p127.data(), 127).Method(), 1);
  EXPECT_EQ(TQxQuantizer(&many, p128.data(), 128).Method(), 0);

  TQxBitmap gray(4, 1, TQxPixelFormat::qx24RGB);
  for (int32_t x = 0; x < 4; ++x) gray.SetPixel24(x, 0, TQxRGB{uint8_t(x * 50), uint8_t(x * 50), uint8_t(x * 50)});
  std::vector<TQxRGB> ramp(16);
  TQxQuantizer qg(&gray, ramp.data(), 16);
  EXPECT_EQ(ramp[1].r, 16);
  EXPECT_EQ(ramp[15].r, 240);
  EXPECT_EQ(qg.RGBIndex({255, 255, 255}), 15);
}

TEST(Quantizer, MedianCutPalettesAndSmallNeuQuantPictures) {
  auto one = Colours({{13, 77, 201}, {13, 77, 201}}, 2);
  std::vector<TQxRGB> pal(8, TQxRGB{1, 1, 1});
  auto mc = MedianCutCreate(one.get(), pal.data(), 8);
  EXPECT_EQ(MedianCutColorsProduced(mc.get()), 1);
  EXPECT_EQ(pal[0], (TQxRGB{8, 72, 200}));
  EXPECT_EQ(MedianCutMapColor(mc.get(), {250, 250, 250}), 0);

  TQxBitmap many(64, 8, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 64; ++x) many.SetPixel24(x, y, TQxRGB{uint8_t(x * 4), uint8_t(y * 32), uint8_t(255 - x * 4)});
  std::vector<TQxRGB> big(300);
  auto mc2 = MedianCutCreate(&many, big.data(), 300);  // more boxes than 256
  const int32_t n = MedianCutColorsProduced(mc2.get());
  EXPECT_GT(n, 100);
  for (int32_t i = 0; i < n; ++i) EXPECT_LE(std::max({big[size_t(i)].r, big[size_t(i)].g, big[size_t(i)].b}), 248);
  EXPECT_LT(MedianCutMapColor(mc2.get(), {255, 255, 255}), 300);

  // A picture with fewer pixels than the sampling step.
  auto tiny = Colours({{0, 0, 0}, {255, 255, 255}, {255, 0, 0}}, 3);
  std::vector<TQxRGB> np(16);
  auto nq = NeuQuantCreate(tiny.get(), np.data(), -1, 16);
  const int32_t i = NeuQuantMapColor(nq.get(), {255, 255, 255});
  ASSERT_GE(i, 0);
  ASSERT_LT(i, 16);
}

TEST(Threshold, LevelsAndAutomaticThresholds) {
  TQxBitmap g(5, 1, TQxPixelFormat::qx8g);
  for (int32_t x = 0; x < 5; ++x) g.Scanline(0)[x] = uint8_t(x * 60);
  auto bitsOf = [](TQxBitmap& b) {
    std::string s;
    for (int32_t x = 0; x < b.Width(); ++x) s += b.GetPixelRGB(x, 0).r ? '1' : '0';
    return s;
  };
  struct Case {
    int32_t t;
    const char* expect;
  } cases[] = {{0, "11111"}, {256, "00000"}, {120, "00111"}, {-1, "00111"}};
  for (const Case& c : cases) {
    TQxBitmap bw(5, 1, TQxPixelFormat::qx1g);
    TQxProgressInfo none;
    QxConvertToBWThreshold(&g, &bw, c.t, none);
    EXPECT_EQ(bitsOf(bw), c.expect) << c.t;
  }
  TQxBitmap flat(3, 3, TQxPixelFormat::qx8g);
  flat.Fill(77);
  TQxBitmap bw(3, 3, TQxPixelFormat::qx1g);
  TQxProgressInfo none;
  QxConvertToBWThreshold(&flat, &bw, -2, none);
  EXPECT_EQ(bitsOf(bw), "111");

  TQxBitmap w(2, 1, TQxPixelFormat::qxRGB48);
  w.SetPixel48(0, 0, TQxRGB48{0x80FF, 0x80FF, 0x80FF});
  w.SetPixel48(1, 0, TQxRGB48{0x7FFF, 0x7FFF, 0x7FFF});
  EXPECT_EQ(QxPixelGrayLevel(&w, w.Scanline(0), 0), 128);
  EXPECT_EQ(QxPixelGrayLevel(&w, w.Scanline(0), 1), 127);

  TQxBitmap rows(1, 100, TQxPixelFormat::qx8g), rbw(1, 100, TQxPixelFormat::qx1g);
  int32_t last = -1;
  TQxProgressInfo prog;
  prog.OnProgress = [&](TObject*, int32_t p) { last = p; };
  QxConvertToBWThreshold(&rows, &rbw, 10, prog);
  EXPECT_EQ(last, 99);
}

TEST(ColorOps, DitherTwoColoursRemapAndHsl) {
  TQxBitmap white(9, 9, TQxPixelFormat::qx24RGB);
  white.Fill(0xFEFEFE);
  white.SetAlpha(0, 0, 5);
  TQxProgressInfo none;
  QxOrderedDitherBW(&white, none);
  ASSERT_EQ(white.PixelFormat(), TQxPixelFormat::qx1g);
  EXPECT_TRUE(white.HasAlphaChannel());
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(white.GetPixelRGB(x, y).r, 255);

  auto bw = Colours({{255, 255, 255}, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}}, 2);
  TQxRGB c1, c2;
  auto two = QxTwoColorBitmap(bw.get(), c1, c2);
  ASSERT_TRUE(two);
  EXPECT_EQ(c1, (TQxRGB{0, 0, 0}));
  EXPECT_EQ(c2, (TQxRGB{255, 255, 255}));
  EXPECT_EQ(two->GetPixelRGB(0, 0).r, 255);  // white is bit 1
  EXPECT_EQ(two->GetPixelRGB(1, 0).r, 0);
  auto one = Colours({{3, 3, 3}, {3, 3, 3}}, 2);
  EXPECT_FALSE(QxTwoColorBitmap(one.get(), c1, c2));

  auto rgb = Colours({{1, 2, 3}}, 1);
  QxRemapChannels(rgb.get(), "rgb");
  EXPECT_EQ(rgb->GetPixel24(0, 0), (TQxRGB{3, 2, 1}));

  for (uint32_t c : {0xFF0000u, 0x00FF00u, 0x123456u, 0x808080u, 0xC0FFEEu}) {
    double h, s, l;
    QxRGBToHSL(h, s, l, c);
    EXPECT_EQ(QxPackRGB(QxHSLToRGB(h, s, l)), c);
  }
  int32_t r, g, b;
  TQxBitmap w48(2, 2, TQxPixelFormat::qxRGB48);
  w48.Fill(0xFFFFFF);
  QxAverageColor(&w48, r, g, b);
  EXPECT_EQ(r, 255);
}
