#include <gtest/gtest.h>

#include <cstring>

#include "pcxtga_util.h"

using namespace qvio;
using namespace pcxtga;

namespace {

// A 128-byte header; the window starts at (0, 0).
std::vector<uint8_t> PcxHeader(int W, int H, int Bpp, int Planes, int Bpl, int Encoding, int HDpi = 72,
                               int VDpi = 72) {
  std::vector<uint8_t> h(128, 0);
  h[0] = 10;
  h[1] = 5;
  h[2] = uint8_t(Encoding);
  h[3] = uint8_t(Bpp);
  Put16(h, 8, uint32_t(W - 1));
  Put16(h, 10, uint32_t(H - 1));
  Put16(h, 12, uint32_t(HDpi));
  Put16(h, 14, uint32_t(VDpi));
  h[65] = uint8_t(Planes);
  Put16(h, 66, uint32_t(Bpl));
  return h;
}

std::unique_ptr<Read> ReadPcx(const std::vector<uint8_t>& Data, bool ParamsOnly = false) {
  auto r = std::make_unique<Read>();
  auto s = StreamOf(Data);
  TestProgress pr;
  ReadPcxStream(s.get(), &r->Bitmap, r->Params, s->Size(), pr.Info, ParamsOnly);
  r->Aborted = pr.Aborting;
  return r;
}

std::vector<uint8_t> WritePcx(TQxBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
  TMemoryStream s;
  TestProgress pr;
  WritePcxStream(&s, &B, P, pr.Info);
  if (Aborted) *Aborted = pr.Aborting;
  return BytesOf(s);
}

std::vector<uint8_t> Cat(std::vector<uint8_t> A, const std::vector<uint8_t>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

}  // namespace

TEST(Pcx, RoundTripEveryDepthThroughTheComponent) {
  Register();
  const std::string d = TempDir();
  struct Case {
    const char* Name;
    int32_t Bps, Spp;
    std::unique_ptr<TQxBitmap> Source;
  };
  Case cases[] = {{"1 bit", 1, 1, MakeBits(21, 5)},
                  {"4 bits", 4, 1, MakeColors(7, 5, 16)},
                  {"8 bits", 8, 1, MakeColors(13, 9, 200)},
                  {"24 bits", 8, 3, MakeRGB(19, 7)}};
  for (auto& c : cases) {
    for (uint8_t comp : {0, 1}) {
      SCOPED_TRACE(std::string(c.Name) + (comp ? " rle" : " plain"));
      const std::string f = d + "/rt.pcx";
      TQuillotIO io(c.Source.get());
      io.Params->BitsPerSample = c.Bps;
      io.Params->SamplesPerPixel = c.Spp;
      io.Params->PcxCompression = comp;
      io.Params->SetDpiX(150);
      io.Params->SetDpiY(120);
      io.SaveToFile(f);
      ASSERT_FALSE(io.Aborting);
      const auto bytes = ReadFile(f);
      ASSERT_GE(bytes.size(), 128u);
      EXPECT_EQ(bytes[2], comp);
      EXPECT_EQ(Get16(bytes, 66) % 2, 0u) << "BytesPerLine must be even";

      TQuillotIO rd;
      rd.LoadFromFile(f);
      ASSERT_FALSE(rd.Aborting);
      EXPECT_EQ(RgbOf(*rd.WorkBitmap()), RgbOf(*c.Source));
      EXPECT_EQ(rd.WorkBitmap()->PixelFormat(), c.Bps == 1 ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB);
      EXPECT_EQ(rd.Params->BitsPerSample, c.Bps);
      EXPECT_EQ(rd.Params->SamplesPerPixel, c.Spp);
      EXPECT_EQ(rd.Params->DpiX, 150);
      EXPECT_EQ(rd.Params->DpiY, 120);
    }
  }
}

TEST(Pcx, EightBitFileEndsWithMarkerAndPalette) {
  auto src = MakeColors(6, 3, 5);
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  const auto f = WritePcx(*src, p);
  ASSERT_GT(f.size(), 128u + 769u);
  EXPECT_EQ(f[f.size() - 769], 0x0C);
  // The reader takes the last 768 bytes, whatever byte stands before them.
  auto g = f;
  g[g.size() - 769] = 0x55;
  auto r = ReadPcx(g);
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(RgbOf(r->Bitmap), RgbOf(*src));
  EXPECT_EQ(r->Params.ColorMapCount, 256);
}

TEST(Pcx, EncodeLine) {
  struct Case {
    std::vector<uint8_t> In;
    std::vector<uint8_t> Out;
  } cases[] = {
      {{0xC5, 7}, {0xC1, 0xC5, 7}},               // a lone byte of 0xC0 or above needs a run code
      {{1, 1, 1, 2}, {0xC3, 1, 2}},
      {{9, 8, 7}, {9, 8, 7, 0}},                  // odd count: a 0 byte keeps the line even
      {std::vector<uint8_t>(64, 5), {0xFF, 5, 5}},  // 63 is the longest run
  };
  for (auto& c : cases) {
    std::vector<uint8_t> out(c.In.size() * 2 + 2);
    const int32_t n = PcxEncodeLine(out.data(), c.In.data(), int32_t(c.In.size()), 1, 0);
    out.resize(size_t(n));
    EXPECT_EQ(out, c.Out);
  }
  // Step and offset pick one channel of interleaved pixels.
  const uint8_t bgr[] = {1, 2, 3, 1, 2, 3, 4, 5, 6};
  uint8_t out[8];
  ASSERT_EQ(PcxEncodeLine(out, bgr, 3, 3, 2), 4);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0xC2, 3, 6, 0}));
}

TEST(Pcx, RunsCrossPlanesAndRows) {
  // 2 x 2, three planes of two bytes: a run of 6 after one literal fills the rest of row 0's three planes
  // and the first red byte of row 1; the data ends one byte early.
  auto f = Cat(PcxHeader(2, 2, 8, 3, 2, 1), {0x11, 0xC6, 0x10, 0x30, 0x50, 0x60, 0x70});
  auto r = ReadPcx(f);
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(RgbOf(r->Bitmap), (std::vector<uint8_t>{0x11, 0x10, 0x10, 0x10, 0x10, 0x10,
                                                     0x10, 0x50, 0x70, 0x30, 0x60, 0x00}));
}

TEST(Pcx, FourBitOddWidthAndFourPlanes) {
  // One plane of 4 bits, width 3: the last pixel is the high nibble of the second byte.
  auto f = PcxHeader(3, 1, 4, 1, 2, 0);
  for (int i = 0; i < 16; ++i) f[16 + i * 3] = uint8_t(i * 16);  // red = index * 16
  f = Cat(f, {0x12, 0x3F});
  auto r = ReadPcx(f);
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(RgbOf(r->Bitmap), (std::vector<uint8_t>{0x10, 0, 0, 0x20, 0, 0, 0x30, 0, 0}));
  EXPECT_EQ(r->Params.ColorMapCount, 16);

  // Four planes of bits: plane k gives bit k of the index.
  auto g = PcxHeader(2, 1, 1, 4, 2, 0);
  for (int i = 0; i < 16; ++i) g[16 + i * 3 + 1] = uint8_t(i * 16);  // green = index * 16
  g = Cat(g, {0x80, 0, 0x40, 0, 0xC0, 0, 0x00, 0});
  auto q = ReadPcx(g);
  ASSERT_FALSE(q->Aborted);
  EXPECT_EQ(RgbOf(q->Bitmap), (std::vector<uint8_t>{0, 5 * 16, 0, 0, 6 * 16, 0}));
  EXPECT_EQ(q->Params.BitsPerSample, 4);
  EXPECT_EQ(q->Params.SamplesPerPixel, 1);
}

TEST(Pcx, ZeroResolutionTakesTheDefault) {
  auto f = Cat(PcxHeader(8, 1, 1, 1, 2, 0, 200, 0), {0xAA, 0});
  auto r = ReadPcx(f, true);
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(r->Params.DpiX, QxDefaultDpiX);
  EXPECT_EQ(r->Params.DpiY, QxDefaultDpiY);
  EXPECT_EQ(r->Params.Width, 8);
  EXPECT_TRUE(r->Bitmap.IsEmpty());  // parameters only
}

TEST(Pcx, BadAndShortInputIsRefused) {
  auto good = Cat(PcxHeader(4, 2, 8, 1, 4, 0), std::vector<uint8_t>(8, 1));
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
  };
  auto with = [&](size_t At, uint8_t V) {
    auto v = good;
    v[At] = V;
    return v;
  };
  auto inverted = good;
  Put16(inverted, 4, 5);  // Xmin 5 beyond Xmax 3
  std::vector<Case> cases = {
      {"empty", {}},
      {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
      {"manufacturer", with(0, 11)},
      {"encoding", with(2, 2)},
      {"bits per pixel", with(3, 9)},
      {"no planes", with(65, 0)},
      {"inverted window", inverted},
      {"huge picture, tiny data", Cat(PcxHeader(60000, 60000, 8, 3, 60000, 1), {0xFF, 0})},
  };
  for (auto& c : cases) {
    auto r = ReadPcx(c.Data);
    EXPECT_TRUE(r->Aborted) << c.Name;
  }
  // Run codes past the end of the data read as zeros; the picture still loads.
  auto cut = Cat(PcxHeader(4, 3, 8, 1, 4, 1), {0xC4, 7});
  auto r = ReadPcx(cut);
  EXPECT_FALSE(r->Aborted);
  ASSERT_EQ(r->Bitmap.Width(), 4);
}

TEST(Pcx, UnsupportedDepthIsWrittenAsTwentyFourBits) {
  // A 16-bit source (5 bits x 3 samples) has no PCX layout; its colours must not be lost.
  auto src = MakeRGB(5, 4);
  TIOParamsVals p;
  p.BitsPerSample = 5;
  p.SamplesPerPixel = 3;
  bool aborted = true;
  const auto f = WritePcx(*src, p, &aborted);
  EXPECT_FALSE(aborted);
  EXPECT_EQ(f[3], 8);
  EXPECT_EQ(f[65], 3);
  auto r = ReadPcx(f);
  EXPECT_EQ(RgbOf(r->Bitmap), RgbOf(*src));
}

TEST(Pcx, OutsideToolsReadOurFiles) {
  Register();
  const bool magick = HaveTool("convert"), pillow = HavePillow();
  if (!magick && !pillow) GTEST_SKIP() << "neither ImageMagick nor Pillow is installed";
  const std::string d = TempDir();
  struct Case {
    const char* Name;
    int32_t Bps, Spp;
    std::unique_ptr<TQxBitmap> Source;
  };
  Case cases[] = {{"1", 1, 1, MakeBits(21, 5)}, {"8", 8, 1, MakeColors(13, 9, 200)}, {"24", 8, 3, MakeRGB(19, 7)}};
  for (auto& c : cases) {
    for (uint8_t comp : {0, 1}) {
      SCOPED_TRACE(std::string(c.Name) + (comp ? " rle" : " plain"));
      const std::string f = d + "/o" + c.Name + std::to_string(comp) + ".pcx";
      TQuillotIO io(c.Source.get());
      io.Params->BitsPerSample = c.Bps;
      io.Params->SamplesPerPixel = c.Spp;
      io.Params->PcxCompression = comp;
      io.SaveToFile(f);
      ASSERT_FALSE(io.Aborting);
      // ImageMagick reads a set bit of a one-plane 1-bit file as black whatever the palette; Pillow, like us,
      // as white.
      if (magick && c.Bps != 1) {
        EXPECT_EQ(MagickPixels(f, "RGB"), RgbOf(*c.Source)) << "ImageMagick";
      }
      if (pillow && comp) {
        EXPECT_EQ(PillowPixels(f, "RGB"), RgbOf(*c.Source)) << "Pillow";
      }
    }
  }
}

TEST(Pcx, WeReadFilesOfOutsideTools) {
  Register();
  const bool magick = HaveTool("convert"), pillow = HavePillow();
  if (!magick && !pillow) GTEST_SKIP() << "neither ImageMagick nor Pillow is installed";
  const std::string d = TempDir();
  auto src = MakeColors(23, 11, 40);
  TQuillotIO io(src.get());
  io.SaveToFile(d + "/src.png");
  ASSERT_FALSE(io.Aborting);
  std::vector<std::pair<std::string, std::string>> made;  // file, how
  if (magick) {
    Shell("convert " + d + "/src.png " + d + "/m24.pcx");
    Shell("convert " + d + "/src.png -type palette " + d + "/m8.pcx");
    Shell("convert " + d + "/src.png -monochrome " + d + "/m1.pcx");
    for (const char* n : {"m24", "m8", "m1"}) made.push_back({d + "/" + n + ".pcx", "magick"});
  }
  if (pillow) {
    Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + d + "/src.png').convert('RGB'); "
          "im.save('" + d + "/p24.pcx'); im.convert('P').save('" + d + "/p8.pcx'); "
          "im.convert('1').save('" + d + "/p1.pcx')\"");
    for (const char* n : {"p24", "p8", "p1"}) made.push_back({d + "/" + n + ".pcx", "pillow"});
  }
  for (auto& [f, how] : made) {
    SCOPED_TRACE(f);
    const auto expect = how == "magick" ? MagickPixels(f, "RGB") : PillowPixels(f, "RGB");
    ASSERT_FALSE(expect.empty());
    TQuillotIO rd;
    rd.LoadFromFile(f);
    ASSERT_FALSE(rd.Aborting);
    EXPECT_EQ(RgbOf(*rd.WorkBitmap()), expect);
  }
}

// netpbm writes few colours as one plane of 2 bits or as 2 and 3 planes of 1 bit; pcxtoppm's reading is the
// reference.
TEST(Pcx, NarrowPlanesOfNetpbmDecode) {
  Register();
  if (!HaveTool("ppmtopcx") || !HaveTool("pcxtoppm") || !HaveTool("convert"))
    GTEST_SKIP() << "netpbm or ImageMagick not installed";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 13x5 xc:'#3060c0' -fill '#f0e020' -draw 'rectangle 0,0 3,2' "
                  "-fill '#10a010' -draw 'rectangle 6,0 8,4' -fill white -draw 'point 12,4' -depth 8 four.ppm"),
            0);
  struct Case {
    const char* Option;
    int Bpp, Planes;
  } cases[] = {{"-packed", 2, 1}, {"-planes=2", 1, 2}, {"-planes=3", 1, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Option);
    ASSERT_EQ(Shell("cd '" + d + "' && ppmtopcx " + std::string(c.Option) + " four.ppm > x.pcx && "
                    "pcxtoppm x.pcx > back.ppm"),
              0);
    const auto file = ReadFile(d + "/x.pcx");
    ASSERT_EQ(file[3], c.Bpp);
    ASSERT_EQ(file[65], c.Planes);
    TQuillotIO rd;
    rd.LoadFromFile(d + "/x.pcx");
    ASSERT_FALSE(rd.Aborting);
    EXPECT_EQ(RgbOf(*rd.WorkBitmap()), MagickPixels(d + "/back.ppm", "RGB"));
    EXPECT_EQ(RgbOf(*rd.WorkBitmap()), MagickPixels(d + "/four.ppm", "RGB"));
  }
}

// One plane of 5, 6 or 7 bits packs its indexes across byte edges and takes the 256-colour palette; a layout
// with more bits than an index or a pixel of bytes can hold is refused with the reason.
TEST(Pcx, OnePlaneOfOddWidthsAndRefusedLayouts) {
  for (int bpp : {5, 6, 7}) {
    SCOPED_TRACE(bpp);
    // Indexes 1, 2, ..., 8 packed most significant bit first.
    const int w = 8;
    std::vector<uint8_t> bits((w * bpp + 7) / 8 + 1, 0);
    for (int x = 0; x < w; ++x)
      for (int b = 0; b < bpp; ++b)
        if (((x + 1) >> (bpp - 1 - b)) & 1) bits[size_t(x * bpp + b) / 8] |= uint8_t(0x80 >> ((x * bpp + b) % 8));
    auto f = Cat(PcxHeader(w, 1, bpp, 1, int(bits.size()), 0), bits);
    std::vector<uint8_t> pal(769, 0);
    pal[0] = 12;
    for (int i = 0; i < 256; ++i) pal[1 + i * 3] = uint8_t(i * 10);  // red = index * 10
    f = Cat(f, pal);
    auto r = ReadPcx(f);
    ASSERT_FALSE(r->Aborted);
    std::vector<uint8_t> expect;
    for (int x = 0; x < w; ++x) expect.insert(expect.end(), {uint8_t((x + 1) * 10), 0, 0});
    EXPECT_EQ(RgbOf(r->Bitmap), expect);
  }
  // Three planes of 4 bits: twelve bits a pixel.
  auto r = ReadPcx(Cat(PcxHeader(2, 1, 4, 3, 2, 0), std::vector<uint8_t>(6, 0x12)));
  EXPECT_TRUE(r->Aborted);
  EXPECT_NE(r->Params.ReadError.find("not supported"), std::string::npos);
}
