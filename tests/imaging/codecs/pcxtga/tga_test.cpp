#include <gtest/gtest.h>

#include <cstring>

#include "pcxtga_util.h"

using namespace qvio;
using namespace pcxtga;

namespace {

std::vector<uint8_t> TgaHeader(int Type, int Depth, int W, int H, int Descriptor, int MapType = 0, int MapFirst = 0,
                               int MapLength = 0, int MapBits = 0, int IdLength = 0) {
  std::vector<uint8_t> h(18, 0);
  h[0] = uint8_t(IdLength);
  h[1] = uint8_t(MapType);
  h[2] = uint8_t(Type);
  Put16(h, 3, uint32_t(MapFirst));
  Put16(h, 5, uint32_t(MapLength));
  h[7] = uint8_t(MapBits);
  Put16(h, 12, uint32_t(W));
  Put16(h, 14, uint32_t(H));
  h[16] = uint8_t(Depth);
  h[17] = uint8_t(Descriptor);
  return h;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> A, const std::vector<uint8_t>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

void ReadInto(Read& R, const std::vector<uint8_t>& Data, bool ParamsOnly = false, bool SkipAlpha = false) {
  auto s = StreamOf(Data);
  TestProgress pr;
  TQxMask* m = nullptr;
  ReadTgaStream(s.get(), &R.Bitmap, R.Params, pr.Info, ParamsOnly, m, SkipAlpha);
  R.Mask.reset(m);
  R.Aborted = pr.Aborting;
}
std::unique_ptr<Read> ReadTga(const std::vector<uint8_t>& Data, bool ParamsOnly = false, bool SkipAlpha = false) {
  auto r = std::make_unique<Read>();
  ReadInto(*r, Data, ParamsOnly, SkipAlpha);
  return r;
}

std::vector<uint8_t> WriteTga(TQxBitmap& B, TIOParamsVals& P, TQxMask* M = nullptr) {
  TMemoryStream s;
  TestProgress pr;
  WriteTgaStream(&s, &B, P, pr.Info, M);
  EXPECT_FALSE(pr.Aborting);
  return BytesOf(s);
}

std::vector<uint8_t> MaskOf(TQxMask* M, int32_t W, int32_t H) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) v.push_back(M ? uint8_t(M->GetPixel(x, y)) : 255);
  return v;
}

// Red, green, blue and alpha of every pixel, top-down.
std::vector<uint8_t> RgbaOf(TQxBitmap& B) {
  const auto rgb = RgbOf(B), a = AlphaOf(B);
  std::vector<uint8_t> v;
  for (size_t i = 0; i < a.size(); ++i) v.insert(v.end(), {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], a[i]});
  return v;
}

// A 24-bit picture with an alpha channel that is nowhere 0.
std::unique_ptr<TQxBitmap> MakeRGBA(int32_t W, int32_t H) {
  auto b = MakeRGB(W, H);
  TQxBitmap* a = b->GetAlphaChannel();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) a->SetPixel8(x, y, uint8_t(1 + (x * 31 + y * 17) % 255));
  a->Opaque = false;
  return b;
}

std::unique_ptr<TQxBitmap> MakeGray(int32_t W, int32_t H) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t g = uint8_t((x * 13 + y * 29) & 0xFF);
      b->SetPixel24(x, y, TQxRGB{g, g, g});
    }
  return b;
}

// ImageMagick's pixels in the order the file's origin puts them (its plain dump keeps the stored order).
std::vector<uint8_t> MagickOriented(const std::string& Path, bool Alpha) {
  const std::string out = Path + ".imo";
  if (Shell("convert '" + Path + "' -auto-orient -depth 8 " + (Alpha ? "rgba" : "rgb") + ":'" + out + "'") != 0)
    return {};
  return ReadFile(out);
}

}  // namespace

TEST(Tga, RoundTripEveryOutputThroughTheComponent) {
  Register();
  const std::string d = TempDir();
  struct Case {
    const char* Name;
    int32_t Spp, Bps;
    uint8_t Compressed, Gray;
    std::unique_ptr<TQxBitmap> Source;
    int ImageType, Depth;
  };
  Case cases[] = {
      {"1 bit", 1, 1, 1, 0, MakeBits(13, 5), 3, 1},
      {"4 bits", 1, 4, 1, 0, MakeColors(7, 5, 16), 1, 4},
      {"8 bits", 1, 8, 0, 0, MakeColors(13, 9, 200), 1, 8},
      {"8 bits rle", 1, 8, 1, 0, MakeColors(13, 9, 200), 9, 8},
      {"8 bits gray rle", 1, 8, 1, 1, MakeGray(17, 6), 11, 8},
      {"24 bits", 3, 8, 0, 0, MakeRGB(19, 7), 2, 24},
      {"24 bits rle", 3, 8, 1, 0, MakeColors(300, 3, 5), 10, 24},
      {"32 bits", 3, 8, 1, 0, MakeRGBA(10, 6), 2, 32},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string f = d + "/rt.tga";
    TQuillotIO io(c.Source.get());
    io.Params->SamplesPerPixel = c.Spp;
    io.Params->BitsPerSample = c.Bps;
    io.Params->TgaCompressed = c.Compressed;
    io.Params->TgaGrayscale = c.Gray;
    io.SaveToFile(f);
    ASSERT_FALSE(io.Aborting);
    const auto bytes = ReadFile(f);
    ASSERT_GT(bytes.size(), 18u);
    EXPECT_EQ(bytes[2], c.ImageType);
    EXPECT_EQ(bytes[16], c.Depth);

    TQuillotIO rd;
    rd.LoadFromFile(f);
    ASSERT_FALSE(rd.Aborting);
    EXPECT_EQ(RgbOf(*rd.WorkBitmap()), RgbOf(*c.Source));
    EXPECT_EQ(AlphaOf(*rd.WorkBitmap()), AlphaOf(*c.Source));
    EXPECT_EQ(rd.WorkBitmap()->PixelFormat(), c.Depth == 1 ? TQxPixelFormat::qx1g : TQxPixelFormat::qx24RGB);
    EXPECT_EQ(rd.Params->TgaCompressed, bytes[2] >= 9 ? 1 : 0);
    EXPECT_EQ(rd.Params->TgaGrayscale, c.Gray);
  }
}

TEST(Tga, Probe) {
  struct Case {
    std::vector<uint8_t> Header;
    bool Expect;
  } cases[] = {
      {TgaHeader(2, 24, 0, 1, 0), false},
      {TgaHeader(2, 24, 1, 1, 0), true},
      {TgaHeader(2, 15, 1, 1, 0), false},
      {TgaHeader(2, 24, 1, 0, 0), false},
      {TgaHeader(4, 24, 1, 1, 0), false},
      {TgaHeader(11, 8, 1, 1, 0), true},
      {TgaHeader(1, 8, 1, 1, 0, 2), false},  // colour map type 2
      {std::vector<uint8_t>(17, 2), false},  // too short
  };
  for (auto& c : cases) {
    auto s = StreamOf(c.Header);
    EXPECT_EQ(IsTgaStream(s.get()), c.Expect);
    EXPECT_EQ(s->Position(), 0);
  }
}

TEST(Tga, HandMadeFilesDecode) {
  // Three pixels A, B, C of each depth, as one row unless said otherwise.
  struct Case {
    const char* Name;
    std::vector<uint8_t> File;
    std::vector<uint8_t> Rgb;
    std::vector<uint8_t> Alpha;  // empty: no mask
  };
  std::vector<uint8_t> cmap32 = TgaHeader(1, 8, 3, 1, 0x20, 1, 1, 2, 32);
  cmap32 = Cat(cmap32, {10, 20, 30, 0, 40, 50, 60, 200, /*pixels*/ 0, 1, 2});
  Case cases[] = {
      // Bit 5 clear: the first stored row is the bottom one.
      {"bottom-up", Cat(TgaHeader(2, 24, 1, 3, 0), {1, 2, 3, 4, 5, 6, 7, 8, 9}), {9, 8, 7, 6, 5, 4, 3, 2, 1}, {}},
      {"right-to-left", Cat(TgaHeader(2, 32, 3, 1, 0x30), {1, 2, 3, 11, 4, 5, 6, 12, 7, 8, 9, 13}),
       {9, 8, 7, 6, 5, 4, 3, 2, 1}, {13, 12, 11}},
      {"16 bits", Cat(TgaHeader(2, 16, 2, 1, 0x20), {0x01, 0x7C, 0xE0, 0x03}), {255, 0, 8, 0, 255, 0}, {}},
      // Entries from index 1; index 0 keeps the preset 3-3-2 colour cube (red 28, green 28, blue 60).
      {"32-bit colour map", cmap32, {28, 28, 60, 30, 20, 10, 60, 50, 40}, {255, 0, 200}},
      {"gray without map", Cat(TgaHeader(3, 8, 3, 1, 0x20), {0, 128, 255}), {0, 0, 0, 128, 128, 128, 255, 255, 255}, {}},
      // A run of 10 that starts 4 pixels before the end of the first row.
      {"run across rows", Cat(TgaHeader(11, 8, 10, 2, 0x20), {5, 1, 2, 3, 4, 5, 6, 0x89, 9, 3, 11, 12, 13, 14}),
       {}, {}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto r = ReadTga(c.File);
    ASSERT_FALSE(r->Aborted);
    if (std::string(c.Name) == "run across rows") {
      std::vector<uint8_t> g = {1, 2, 3, 4, 5, 6, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 11, 12, 13, 14}, rgb;
      for (uint8_t v : g) rgb.insert(rgb.end(), {v, v, v});
      EXPECT_EQ(RgbOf(r->Bitmap), rgb);
      continue;
    }
    EXPECT_EQ(RgbOf(r->Bitmap), c.Rgb);
    if (c.Alpha.empty()) {
      EXPECT_EQ(r->Mask, nullptr);
    } else {
      ASSERT_NE(r->Mask, nullptr);
      EXPECT_EQ(MaskOf(r->Mask.get(), r->Bitmap.Width(), r->Bitmap.Height()), c.Alpha);
    }
  }
  auto gray = ReadTga(cases[4].File, true);
  EXPECT_EQ(gray->Params.TgaGrayscale, 1);
  EXPECT_EQ(gray->Params.BitsPerSample, 8);
  EXPECT_EQ(gray->Params.SamplesPerPixel, 1);
  auto mapped = ReadTga(cmap32, true);
  EXPECT_EQ(mapped->Params.TgaGrayscale, 0);
  ASSERT_EQ(mapped->Params.ColorMapCount, 2);
  EXPECT_EQ(mapped->Params.ColorMap[1], (TQxRGB{10, 20, 30}));
  // Asked to skip alpha, the reader makes no mask.
  EXPECT_EQ(ReadTga(cmap32, false, true)->Mask, nullptr);
}

TEST(Tga, AlphaAllZeroMeansOpaque) {
  auto zero = ReadTga(Cat(TgaHeader(2, 32, 2, 1, 0x20), {1, 2, 3, 0, 4, 5, 6, 0}));
  ASSERT_FALSE(zero->Aborted);
  EXPECT_EQ(zero->Mask, nullptr);
  auto one = ReadTga(Cat(TgaHeader(2, 32, 2, 1, 0x20), {1, 2, 3, 0, 4, 5, 6, 1}));
  ASSERT_NE(one->Mask, nullptr);
  EXPECT_EQ(MaskOf(one->Mask.get(), 2, 1), (std::vector<uint8_t>{0, 1}));
}

TEST(Tga, WriterPacketsMaskAndId) {
  // P P P Q R R gives (run 3, P), (raw 1, Q), (run 2, R).
  TQxBitmap b(6, 1, TQxPixelFormat::qx24RGB);
  const TQxRGB P{1, 2, 3}, Q{4, 5, 6}, R{7, 8, 9};
  const TQxRGB row[] = {P, P, P, Q, R, R};
  for (int x = 0; x < 6; ++x) b.SetPixel24(x, 0, row[x]);
  TIOParamsVals p;
  p.TgaCompressed = 1;
  p.TgaImageId = "abc";
  auto f = WriteTga(b, p);
  EXPECT_EQ(f[2], 10);
  EXPECT_EQ(f[0], 4);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 18, f.begin() + 22), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 22, f.begin() + 34),
            (std::vector<uint8_t>{0x82, 1, 2, 3, 0x00, 4, 5, 6, 0x81, 7, 8, 9}));
  auto r = ReadTga(f);
  EXPECT_EQ(r->Params.TgaImageId, std::string("abc\0", 4));
  // Saving what was read keeps the ID as it is rather than adding a zero byte each time.
  EXPECT_EQ(WriteTga(r->Bitmap, r->Params)[0], 4);

  // A mask makes uncompressed 32-bit output, whatever the compression asked for.
  TQxMask m;
  m.Allocate(6, 1, 8);
  for (int x = 0; x < 6; ++x) m.SetPixel(x, 0, 40 * x);
  p.TgaCompressed = 1;
  auto g = WriteTga(b, p, &m);
  EXPECT_EQ(g[2], 2);
  EXPECT_EQ(g[16], 32);
  EXPECT_EQ(g[17], 0x28);
  EXPECT_EQ(p.TgaCompressed, 0);
  auto back = ReadTga(g);
  ASSERT_NE(back->Mask, nullptr);
  EXPECT_EQ(MaskOf(back->Mask.get(), 6, 1), MaskOf(&m, 6, 1));
  EXPECT_EQ(RgbOf(back->Bitmap), RgbOf(b));

  // A raw packet takes the row's last pixel along: 128 distinct pixels are one packet.
  std::vector<uint8_t> distinct(128), coded(128 * 2);
  for (int i = 0; i < 128; ++i) distinct[i] = uint8_t(i);
  EXPECT_EQ(TgaEncodeRow(coded.data(), distinct.data(), 128, 1), 129);
  EXPECT_EQ(coded[0], 127);
  // 129 of them: 127 in a packet, then the last two.
  distinct.push_back(200);
  coded.resize(300);
  EXPECT_EQ(TgaEncodeRow(coded.data(), distinct.data(), 129, 1), 131);
  EXPECT_EQ(coded[128], 1);
}

TEST(Tga, ExtensionAreaAndFooter) {
  auto b = MakeRGB(3, 2);
  TIOParamsVals p;
  p.TgaAuthor = "Ann \xC3\x96tker";  // stored in code page 1252
  p.TgaJobName = "job 7";
  ASSERT_TRUE(TgaEncodeDateTime(2021, 3, 4, 5, 6, 7, p.TgaDate));
  p.TgaBackground = TQxRGB{3, 2, 1};
  p.TgaAspectRatio = 1.0;
  p.TgaGamma = 2.2;
  p.TgaXPos = 12;
  p.TgaYPos = 34;
  auto f = WriteTga(*b, p);
  const size_t n = f.size();
  ASSERT_EQ(std::string(reinterpret_cast<const char*>(&f[n - 18]), 18), std::string("TRUEVISION-XFILE.\0", 18));
  const size_t ext = Get32(f, n - 26);
  ASSERT_EQ(ext + 495 + 26, n);
  EXPECT_EQ(Get16(f, ext), 495u);
  EXPECT_EQ(f[ext + 2 + 4], 0xD6);  // the O with diaeresis as one byte
  EXPECT_EQ(Get16(f, ext + 474), 10000u);
  EXPECT_EQ(Get16(f, ext + 476), 10000u);
  EXPECT_EQ(Get16(f, ext + 478), 22000u);
  EXPECT_EQ(Get16(f, ext + 480), 10000u);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + long(ext) + 470, f.begin() + long(ext) + 474),
            (std::vector<uint8_t>{0, 1, 2, 3}));

  Read r;
  ReadInto(r, f);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(r.Params.TgaAuthor, p.TgaAuthor);
  EXPECT_EQ(r.Params.TgaJobName, p.TgaJobName);
  EXPECT_DOUBLE_EQ(r.Params.TgaDate, p.TgaDate);
  EXPECT_EQ(r.Params.TgaBackground, p.TgaBackground);
  EXPECT_DOUBLE_EQ(r.Params.TgaAspectRatio, 1.0);
  EXPECT_DOUBLE_EQ(r.Params.TgaGamma, 2.2);
  EXPECT_EQ(r.Params.TgaXPos, 12);
  EXPECT_EQ(r.Params.TgaYPos, 34);

  // A date the calendar lacks, and a file without footer, leave today and the defaults.
  const double today = TIOParamsVals().TgaDate;
  auto bad = f;
  Put16(bad, ext + 367, 2);
  Put16(bad, ext + 369, 30);
  Read rb;
  ReadInto(rb, bad);
  EXPECT_EQ(rb.Params.TgaDate, today);
  EXPECT_EQ(rb.Params.TgaAuthor, p.TgaAuthor);
  Read plain;
  plain.Params.TgaGamma = 5;
  plain.Params.TgaAspectRatio = 3;
  plain.Params.TgaAuthor = "someone";
  plain.Params.TgaDate = 1;
  ReadInto(plain, std::vector<uint8_t>(f.begin(), f.begin() + long(ext)));
  ASSERT_FALSE(plain.Aborted);
  EXPECT_EQ(RgbOf(plain.Bitmap), RgbOf(*b));
  EXPECT_EQ(plain.Params.TgaDate, today);
  EXPECT_EQ(plain.Params.TgaGamma, 2.2);
  EXPECT_EQ(plain.Params.TgaAspectRatio, 1.0);
  EXPECT_EQ(plain.Params.TgaAuthor, "");
}

TEST(Tga, BadInputIsRefused) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
  } cases[] = {
      {"empty", {}},
      {"short header", std::vector<uint8_t>(10, 2)},
      {"image type", Cat(TgaHeader(4, 24, 1, 1, 0), {1, 2, 3})},
      {"pixel depth", Cat(TgaHeader(2, 15, 1, 1, 0), {1, 2, 3})},
      {"no width", Cat(TgaHeader(2, 24, 0, 1, 0), {1, 2, 3})},
      {"huge picture, tiny data", Cat(TgaHeader(10, 32, 65535, 65535, 0), {0xFF, 1, 2, 3, 4})},
  };
  for (auto& c : cases) EXPECT_TRUE(ReadTga(c.Data)->Aborted) << c.Name;
  // Data that ends early reads as black; the picture still loads.
  auto cut = ReadTga(Cat(TgaHeader(2, 24, 4, 4, 0x20), {9, 9, 9, 9, 9}));
  EXPECT_FALSE(cut->Aborted);
  ASSERT_EQ(cut->Bitmap.Width(), 4);
  EXPECT_EQ(cut->Bitmap.GetPixel24(1, 0), (TQxRGB{9, 9, 0}));
  EXPECT_EQ(cut->Bitmap.GetPixel24(3, 3), (TQxRGB{0, 0, 0}));
  // Other pixel formats are not written.
  TQxBitmap g(2, 2, TQxPixelFormat::qx8g);
  TIOParamsVals p;
  EXPECT_TRUE(WriteTga(g, p).empty());
}

TEST(Tga, OutsideToolsReadOurFiles) {
  Register();
  const bool magick = HaveTool("convert"), pillow = HavePillow();
  if (!magick && !pillow) GTEST_SKIP() << "neither ImageMagick nor Pillow is installed";
  const std::string d = TempDir();
  struct Case {
    const char* Name;
    int32_t Spp, Bps;
    uint8_t Compressed, Gray;
    std::unique_ptr<TQxBitmap> Source;
  };
  Case cases[] = {
      {"24", 3, 8, 0, 0, MakeRGB(19, 7)},         {"24rle", 3, 8, 1, 0, MakeColors(300, 3, 5)},
      {"32", 3, 8, 0, 0, MakeRGBA(10, 6)},        {"8", 1, 8, 0, 0, MakeColors(13, 9, 200)},
      {"8rle", 1, 8, 1, 0, MakeColors(13, 9, 200)}, {"gray", 1, 8, 1, 1, MakeGray(17, 6)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string f = d + "/o" + c.Name + ".tga";
    TQuillotIO io(c.Source.get());
    io.Params->SamplesPerPixel = c.Spp;
    io.Params->BitsPerSample = c.Bps;
    io.Params->TgaCompressed = c.Compressed;
    io.Params->TgaGrayscale = c.Gray;
    io.SaveToFile(f);
    ASSERT_FALSE(io.Aborting);
    const bool alpha = c.Source->HasAlphaChannel();
    const auto expect = alpha ? RgbaOf(*c.Source) : RgbOf(*c.Source);
    if (magick) {
      EXPECT_EQ(MagickPixels(f, alpha ? "RGBA" : "RGB"), expect) << "ImageMagick";
    }
    if (pillow) {
      EXPECT_EQ(PillowPixels(f, alpha ? "RGBA" : "RGB"), expect) << "Pillow";
    }
  }
}

TEST(Tga, WeReadFilesOfOutsideTools) {
  Register();
  const bool magick = HaveTool("convert"), pillow = HavePillow();
  if (!magick && !pillow) GTEST_SKIP() << "neither ImageMagick nor Pillow is installed";
  const std::string d = TempDir();
  auto rgb = MakeColors(23, 11, 40);
  auto rgba = MakeRGBA(9, 5);
  TQuillotIO io(rgb.get());
  io.SaveToFile(d + "/rgb.png");
  TQuillotIO ia(rgba.get());
  ia.SaveToFile(d + "/rgba.png");
  ASSERT_FALSE(io.Aborting || ia.Aborting);
  std::vector<std::pair<std::string, bool>> made;  // file, by ImageMagick
  if (magick) {
    Shell("convert " + d + "/rgb.png " + d + "/m24.tga");
    Shell("convert " + d + "/rgb.png -compress RLE " + d + "/m24rle.tga");
    Shell("convert " + d + "/rgba.png " + d + "/m32.tga");
    Shell("convert " + d + "/rgb.png -colorspace gray -type grayscale " + d + "/mgray.tga");
    Shell("convert " + d + "/rgb.png -type palette " + d + "/m8.tga");
    for (const char* n : {"m24", "m24rle", "m32", "mgray", "m8"}) made.push_back({d + "/" + n + ".tga", true});
  }
  if (pillow) {
    Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + d + "/rgb.png').convert('RGB'); "
          "im.save('" + d + "/p24.tga'); im.save('" + d + "/p24rle.tga', compression='tga_rle'); "
          "im.convert('L').save('" + d + "/pgray.tga', compression='tga_rle'); "
          "im.convert('P').save('" + d + "/p8.tga'); "
          "Image.open('" + d + "/rgba.png').convert('RGBA').save('" + d + "/p32rle.tga', compression='tga_rle')\"");
    for (const char* n : {"p24", "p24rle", "pgray", "p8", "p32rle"}) made.push_back({d + "/" + n + ".tga", false});
  }
  for (auto& [f, byMagick] : made) {
    SCOPED_TRACE(f);
    const bool alpha = f.find("32") != std::string::npos;
    const auto expect = byMagick ? MagickOriented(f, alpha) : PillowPixels(f, alpha ? "RGBA" : "RGB");
    ASSERT_FALSE(expect.empty());
    TQuillotIO rd;
    rd.LoadFromFile(f);
    ASSERT_FALSE(rd.Aborting);
    EXPECT_EQ(alpha ? RgbaOf(*rd.WorkBitmap()) : RgbOf(*rd.WorkBitmap()), expect);
  }
}

// ImageMagick writes a 16-bit file at depth 5; each channel widens by repeating its bits, so white stays 255.
TEST(Tga, SixteenBitFileOfImageMagickWidensByBitReplication) {
  Register();
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 32x3 gradient:black-white -size 32x1 xc:white xc:'#ff0000' "
                  "-append -depth 5 m16.tga"),
            0);
  const auto file = ReadFile(d + "/m16.tga");
  ASSERT_GT(file.size(), 18u);
  ASSERT_EQ(file[16], 16);
  TQuillotIO rd;
  rd.LoadFromFile(d + "/m16.tga");
  ASSERT_FALSE(rd.Aborting);
  const auto got = RgbOf(*rd.WorkBitmap());
  // ImageMagick scales by 255/31 and rounds: replication is within one level of it and equal at 0 and 31.
  const auto im = MagickOriented(d + "/m16.tga", false);
  ASSERT_EQ(got.size(), im.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_LE(std::abs(got[i] - im[i]), 1) << i;
    if (im[i] == 0 || im[i] == 255) {
      ASSERT_EQ(got[i], im[i]) << i;
    }
  }
  // Two white rows and the red one: at least 7 × 32 bytes of full intensity.
  EXPECT_GE(std::count(got.begin(), got.end(), uint8_t(255)), 7 * 32);
}

// Gray pictures of 16 bits (types 3 and 11) hold a gray byte and an alpha byte per pixel, as Pillow writes
// and reads them.
TEST(Tga, SixteenBitGrayWithAlphaFromPillow) {
  Register();
  if (!HavePillow()) GTEST_SKIP() << "Pillow not installed";
  const ScopedTempDir d;
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.new('LA',(7,5)); "
                  "im.putdata([((i*37)&255,(i*53+9)&255) for i in range(35)]); "
                  "im.save('" + (d / "la.tga") + "'); im.save('" + (d / "larle.tga") + "', compression='tga_rle')\""),
            0);
  for (const char* name : {"la.tga", "larle.tga"}) {
    SCOPED_TRACE(name);
    const auto file = ReadFile(d / name);
    ASSERT_GT(file.size(), 18u);
    ASSERT_EQ(file[2], name[2] == 'r' ? 11 : 3);
    ASSERT_EQ(file[16], 16);
    TQuillotIO rd;
    rd.LoadFromFile(d / name);
    ASSERT_FALSE(rd.Aborting);
    const auto expect = PillowPixels(d / name, "RGBA");
    ASSERT_EQ(expect.size(), 7u * 5 * 4);
    EXPECT_EQ(RgbaOf(*rd.WorkBitmap()), expect);
  }
}
