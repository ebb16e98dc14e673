#include <gtest/gtest.h>
#include <zlib.h>

#include "imaging/foundation/mask.h"
#include "imaging/io/png_codec.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

using namespace qvio;

namespace {

std::unique_ptr<TQxBitmap> ReadPng(const std::vector<uint8_t>& Data, TIOParamsVals& P, bool& Aborted) {
  auto s = StreamOf(Data);
  auto b = std::make_unique<TQxBitmap>();
  TestProgress pr;
  ReadPngStream(*s, *b, P, pr.Info, false);
  Aborted = pr.Aborting;
  return b;
}

std::vector<uint8_t> WritePng(TQxBitmap& B, TIOParamsVals& P, TQxMask* Mask = nullptr) {
  TMemoryStream s;
  TestProgress pr;
  WritePngStream(s, B, P, pr.Info, Mask);
  EXPECT_FALSE(pr.Aborting);
  return BytesOf(s);
}

// A chunk with its length and CRC, so that libpng reads what a test put there.
std::vector<uint8_t> Chunk(const std::string& Type, const std::vector<uint8_t>& Data, uint32_t Length) {
  std::vector<uint8_t> c{uint8_t(Length >> 24), uint8_t(Length >> 16), uint8_t(Length >> 8), uint8_t(Length)};
  c.insert(c.end(), Type.begin(), Type.end());
  c.insert(c.end(), Data.begin(), Data.end());
  const uint32_t crc = uint32_t(crc32(0, c.data() + 4, uInt(c.size() - 4)));
  for (int i = 3; i >= 0; --i) c.push_back(uint8_t(crc >> (8 * i)));
  return c;
}

}  // namespace

TEST(Png, RoundTripTrueColourWithOptions) {
  // Interlace, filters, resolution and text chunks survive; pixels are exact.
  for (int interlaced = 0; interlaced <= 1; ++interlaced) {
    for (int filter : {0, 1, 2, 5}) {
      auto src = MakeRGB(37, 23);
      TIOParamsVals p;
      p.PngInterlaced = uint8_t(interlaced);
      p.PngFilter = uint8_t(filter);
      p.SetDpiX(96);
      p.SetDpiY(150);
      p.PngTextKeys = {"Title", "Author", "Orphan"};
      p.PngTextValues = {"Reflection", "Quorvel"};
      auto bytes = WritePng(*src, p);
      TIOParamsVals q;
      bool aborted = true;
      auto back = ReadPng(bytes, q, aborted);
      ASSERT_FALSE(aborted);
      EXPECT_EQ(back->PixelFormat(), TQxPixelFormat::qx24RGB);
      EXPECT_EQ(RgbOf(*back), RgbOf(*src));
      EXPECT_EQ(q.PngInterlaced, interlaced);
      EXPECT_EQ(q.DpiX, 96);
      EXPECT_EQ(q.DpiY, 150);
      EXPECT_EQ(q.PngTextKeys, (TQxTextList{"Title", "Author"}));
      EXPECT_EQ(q.PngTextValues, (TQxTextList{"Reflection", "Quorvel"}));
    }
  }
}

TEST(Png, RoundTripAlphaAndGrayAndBilevel) {
  auto src = MakeRGB(20, 10);
  TQxBitmap* a = src->GetAlphaChannel();
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 20; ++x) a->Scanline(y)[x] = uint8_t(x * 12);
  TQxMask mask;
  QxMaskFromBitmap(a, &mask);
  mask.UpdateFull();
  TIOParamsVals p;
  auto bytes = WritePng(*src, p, &mask);
  TIOParamsVals q;
  bool aborted = true;
  auto back = ReadPng(bytes, q, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(q.SamplesPerPixel, 4);
  EXPECT_EQ(RgbOf(*back), RgbOf(*src));
  EXPECT_EQ(AlphaOf(*back), AlphaOf(*src));

  // 8-bit gray: one sample per pixel of a gray picture writes a gray file.
  TQxBitmap gray(16, 4, TQxPixelFormat::qx8g);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 16; ++x) gray.Scanline(y)[x] = uint8_t(x * 16 + y);
  TIOParamsVals g;
  g.SamplesPerPixel = 1;
  g.BitsPerSample = 8;
  bytes = WritePng(gray, g);
  TIOParamsVals gq;
  gq.NativePixelFormat = 1;
  back = ReadPng(bytes, gq, aborted);
  EXPECT_EQ(back->PixelFormat(), TQxPixelFormat::qx8g);
  for (int32_t x = 0; x < 16; ++x) EXPECT_EQ(back->Scanline(3)[x], gray.Scanline(3)[x]);

  // 1-bit: a qx1g picture with one sample of one bit comes back as qx1g.
  TQxBitmap bw(13, 3, TQxPixelFormat::qx1g);
  for (int32_t x = 0; x < 13; x += 2) bw.Scanline(1)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  TIOParamsVals b1;
  b1.SamplesPerPixel = 1;
  b1.BitsPerSample = 1;
  bytes = WritePng(bw, b1);
  TIOParamsVals bq;
  back = ReadPng(bytes, bq, aborted);
  EXPECT_EQ(back->PixelFormat(), TQxPixelFormat::qx1g);
  EXPECT_EQ(RgbOf(*back), RgbOf(bw));
}

TEST(Png, OddDepthForcesEightBitsAndPaletteWithTransparencyKeepsEntryZero) {
  auto src = MakeRGB(8, 8);
  TIOParamsVals p;
  p.SamplesPerPixel = 1;
  p.BitsPerSample = 4;
  WritePng(*src, p);
  EXPECT_EQ(p.BitsPerSample, 8);

  TQxMask mask;
  mask.Allocate(8, 8, 8);
  mask.Fill(255);
  mask.Scanline(0)[0] = 0;
  mask.Full = false;
  auto bytes = WritePng(*src, p, &mask);
  TIOParamsVals q;
  bool aborted = true;
  auto back = ReadPng(bytes, q, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_LE(q.ColorMapCount, 256);
  EXPECT_EQ(back->GetAlpha(0, 0), 0);
  EXPECT_EQ(back->GetAlpha(1, 0), 255);
}

TEST(Png, OnePaletteEntryOneBitStaysInBounds) {
  // A 1-bit palette file whose PLTE has a single entry, with set bits in the data.
  if (!HavePillow()) GTEST_SKIP() << "Pillow not available";
  std::string d = TempDir();
  std::string f = d + "/one.png";
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.new('P',(9,2)); "
                "im.putpalette([10,20,30]); im.putdata([0,1,1,0,1,0,1,1,1]*2); im.save('" + f + "', bits=1)\""),
            0);
  TIOParamsVals q;
  bool aborted = false;
  auto back = ReadPng(ReadFile(f), q, aborted);
  // Whatever libpng decides about the missing entry, no read leaves the palette.
  if (!aborted) {
    EXPECT_EQ(back->PixelFormat(), TQxPixelFormat::qx24RGB);
    EXPECT_EQ(back->GetPixel24(0, 0), (TQxRGB{30, 20, 10}));
  }
}

TEST(Png, BadDataAbortsAndProbeKeepsPosition) {
  auto src = MakeRGB(10, 10);
  TIOParamsVals p;
  auto bytes = WritePng(*src, p);
  for (size_t cut : {size_t(5), size_t(40), bytes.size() / 2, bytes.size() - 13}) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    TIOParamsVals q;
    bool aborted = false;
    ReadPng(part, q, aborted);
    EXPECT_TRUE(aborted) << cut;
  }
  auto s = StreamOf({0x89, 'P', 'N'});
  s->SetPosition(1);
  EXPECT_FALSE(IsPngStream(*s));
  EXPECT_EQ(s->Position(), 1);
  auto full = StreamOf(bytes);
  EXPECT_TRUE(IsPngStream(*full));
  EXPECT_EQ(full->Position(), 0);
}

TEST(Png, RefusesSizesItsDataCannotHoldAndChunksPastTheLimits) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not available";
  const std::string f = TempDir() + "/small.png";
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; Image.new('RGB',(4,4),(9,8,7)).save('" + f + "')\""), 0);
  const auto valid = ReadFile(f);
  ASSERT_GT(valid.size(), 33u);
  const std::vector<uint8_t> ihdrData(valid.begin() + 16, valid.begin() + 29);
  auto withIhdr = [&](uint32_t W, uint32_t H) {
    auto d = ihdrData;
    for (int i = 0; i < 4; ++i) {
      d[size_t(i)] = uint8_t(W >> (24 - 8 * i));
      d[size_t(4 + i)] = uint8_t(H >> (24 - 8 * i));
    }
    auto out = std::vector<uint8_t>(valid.begin(), valid.begin() + 8);
    const auto c = Chunk("IHDR", d, 13);
    out.insert(out.end(), c.begin(), c.end());
    return out;
  };
  auto rest = [&](std::vector<uint8_t> head, const std::vector<uint8_t>& extra) {
    head.insert(head.end(), extra.begin(), extra.end());
    head.insert(head.end(), valid.begin() + 33, valid.end());
    return head;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    int64_t maxPixels;
    bool loads;
  };
  std::vector<uint8_t> manyTexts, fewTexts;
  for (int i = 0; i < 1100; ++i) {
    const auto t = Chunk("tEXt", {'k', 0, 'v'}, 3);
    manyTexts.insert(manyTexts.end(), t.begin(), t.end());
    if (i < 10) fewTexts.insert(fewTexts.end(), t.begin(), t.end());
  }
  const std::vector<Case> cases = {
      {"as written", valid, QxDefaultMaxPixels, true},
      {"65535 x 65535 from a few hundred bytes", rest(withIhdr(65535, 65535), {}), QxDefaultMaxPixels, false},
      {"more pixels than the caller allows", valid, 15, false},
      {"exactly what the caller allows", valid, 16, true},
      {"a text chunk declaring 1.5 GB", rest(withIhdr(4, 4), Chunk("tEXt", {}, 0x60000000u)), QxDefaultMaxPixels, false},
      {"ten text chunks", rest(withIhdr(4, 4), fewTexts), QxDefaultMaxPixels, true},
      {"more text chunks than the cache holds", rest(withIhdr(4, 4), manyTexts), QxDefaultMaxPixels, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIOParamsVals q;
    q.MaxPixels = c.maxPixels;
    bool aborted = false;
    auto b = ReadPng(c.data, q, aborted);
    EXPECT_EQ(aborted, !c.loads);
    if (c.loads) {
      EXPECT_EQ(b->GetPixel24(3, 3), (TQxRGB{7, 8, 9}));
    }
  }
}

TEST(Png, ReadsEveryColourTypeAndDepthFromPillow) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not available";
  std::string d = TempDir();
  // One Python run writes every case and Pillow's own decoding of it (RGBA bytes).
  // Gray 1/2/4/8, palette 1/2/4/8, RGB, gray+alpha, RGBA, interlaced, tRNS on palette and RGB.
  WriteText(d + "/mk.py", R"PY(
import sys
from PIL import Image
d = sys.argv[1]
src = Image.new('RGB', (23, 11))
src.putdata([((x*11) % 256, (y*23) % 256, ((x+y)*7) % 256) for y in range(11) for x in range(23)])
cases = [('1', {}), ('L', {}), ('L', {'bits': 2}), ('L', {'bits': 4}), ('P', {}), ('P', {'bits': 1}),
         ('P', {'bits': 2}), ('P', {'bits': 4}), ('RGB', {}), ('LA', {}), ('RGBA', {}),
         ('RGB', {'interlace': 1}), ('P', {'transparency': 3}), ('RGB', {'transparency': (0, 0, 0)})]
for i, (m, kw) in enumerate(cases):
    if m == 'P':
        im = src.quantize(2 if kw.get('bits') == 1 else 16)
    elif m == 'LA':
        im = src.convert('L').convert('LA')
        im.putalpha(Image.linear_gradient('L').resize((23, 11)))
    elif m == 'RGBA':
        im = src.convert('RGBA')
        im.putalpha(Image.linear_gradient('L').resize((23, 11)).transpose(Image.ROTATE_180))
    else:
        im = src.convert(m)
    f = '%s/c%d.png' % (d, i)
    im.save(f, **kw)
    back = Image.open(f)
    back.load()
    open(f + '.rgba', 'wb').write(back.convert('RGBA').tobytes())
print(len(cases))
)PY");
  ASSERT_EQ(Shell("/usr/bin/python3 " + d + "/mk.py " + d), 0);
  // Pillow writes no Adam7 files: ImageMagick interlaces the RGB and RGBA cases (14, 15), Pillow decodes them.
  int cases = 14;
  if (HaveTool("convert")) {
    ASSERT_EQ(Shell("cd '" + d + "' && convert c8.png -interlace PNG c14.png && convert c10.png -interlace PNG c15.png && "
                    "/usr/bin/python3 -c \"from PIL import Image\nfor n in (14, 15):\n    f='c%d.png' % n; "
                    "open(f + '.rgba', 'wb').write(Image.open(f).convert('RGBA').tobytes())\""),
              0);
    cases = 16;
  }
  for (int i = 0; i < cases; ++i) {
    std::string f = d + "/c" + std::to_string(i) + ".png";
    TIOParamsVals q;
    bool aborted = true;
    auto back = ReadPng(ReadFile(f), q, aborted);
    ASSERT_FALSE(aborted) << f;
    auto expect = ReadFile(f + ".rgba");
    auto rgb = RgbOf(*back);
    auto alpha = AlphaOf(*back);
    ASSERT_EQ(rgb.size() / 3, expect.size() / 4) << f;
    int mismatches = 0;
    for (size_t k = 0; k < alpha.size(); ++k)
      if (rgb[k * 3] != expect[k * 4] || rgb[k * 3 + 1] != expect[k * 4 + 1] || rgb[k * 3 + 2] != expect[k * 4 + 2] ||
          alpha[k] != expect[k * 4 + 3])
        ++mismatches;
    EXPECT_EQ(mismatches, 0) << "case " << i;
    if (i >= 14) {
      EXPECT_EQ(q.PngInterlaced, 1);
    }
  }
}

TEST(Png, NativeFormatsAndResolution) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not available";
  std::string d = TempDir();
  std::string f16 = d + "/g16.png", fp = d + "/p8.png", fd = d + "/dpi.png";
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.new('I;16',(4,2)); "
                "im.putdata([0,1000,40000,65535]*2); im.save('" + f16 + "')\""), 0);
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; im=Image.new('P',(4,1)); "
                "im.putpalette([255,0,0, 0,255,0, 0,0,255]+[7]*759); im.putdata([0,1,2,1]); im.save('" + fp + "', bits=8)\""), 0);
  ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; Image.new('RGB',(2,2)).save('" + fd + "', dpi=(96,96))\""), 0);
  TIOParamsVals q;
  q.NativePixelFormat = 1;
  bool aborted = true;
  auto b = ReadPng(ReadFile(f16), q, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(b->PixelFormat(), TQxPixelFormat::qx16g);
  EXPECT_EQ(b->GetPixel16(2, 0), 40000);
  EXPECT_EQ(b->GetPixel16(3, 1), 65535);
  TIOParamsVals q8;
  b = ReadPng(ReadFile(f16), q8, aborted);
  EXPECT_EQ(b->PixelFormat(), TQxPixelFormat::qx24RGB);
  EXPECT_EQ(b->GetPixel24(2, 0), (TQxRGB{40000 >> 8, 40000 >> 8, 40000 >> 8}));
  TIOParamsVals qp;
  qp.NativePixelFormat = 1;
  b = ReadPng(ReadFile(fp), qp, aborted);
  EXPECT_EQ(b->PixelFormat(), TQxPixelFormat::qx8p);
  EXPECT_EQ(b->Scanline(0)[2], 2);
  EXPECT_EQ(b->PaletteColor(2), (TQxRGB{255, 0, 0}));
  TIOParamsVals qd;
  ReadPng(ReadFile(fd), qd, aborted);
  EXPECT_EQ(qd.DpiX, 96);
}

TEST(Png, OurFilesPassOutsideReaders) {
  std::string d = TempDir();
  auto src = MakeRGB(31, 17);
  TQxBitmap* a = src->GetAlphaChannel();
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 31; ++x) a->Scanline(y)[x] = uint8_t(255 - x * 8);
  TQxMask mask;
  QxMaskFromBitmap(a, &mask);
  mask.UpdateFull();
  struct Case {
    const char* name;
    int spp, bps, interlace;
    bool alpha;
  } cases[] = {{"rgb", 3, 8, 0, false}, {"rgba", 3, 8, 1, true}, {"pal", 1, 8, 0, false}, {"bw", 1, 1, 0, false}};
  for (const Case& c : cases) {
    TIOParamsVals p;
    p.SamplesPerPixel = c.spp;
    p.BitsPerSample = c.bps;
    p.PngInterlaced = uint8_t(c.interlace);
    p.PngBackground = TQxRGB{10, 20, 30};
    std::string f = d + "/" + c.name + ".png";
    WriteFile(f, WritePng(*src, p, c.alpha ? &mask : nullptr));
    if (HaveTool("pngcheck")) {
      EXPECT_EQ(Shell("pngcheck -q '" + f + "'"), 0) << c.name;
    }
    TIOParamsVals q;
    bool aborted = true;
    auto ours = ReadPng(ReadFile(f), q, aborted);
    ASSERT_FALSE(aborted);
    auto rgb = RgbOf(*ours);
    if (HavePillow()) {
      auto pil = PillowPixels(f, "RGB");
      EXPECT_EQ(pil, rgb) << c.name;
    }
    if (HaveTool("convert")) {
      auto im = MagickPixels(f, "RGB");
      EXPECT_EQ(im, rgb) << c.name;
    }
  }
}

TEST(Png, ComponentBackgroundComesFromTheFile) {
  std::string d = TempDir();
  auto src = MakeRGB(4, 4);
  TIOParamsVals p;
  p.PngBackground = TQxRGB{0x33, 0x22, 0x11};
  WriteFile(d + "/bg.png", WritePng(*src, p));
  TQuillotIO io;
  io.LoadFromFile(d + "/bg.png");
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params->PngBackground, (TQxRGB{0x33, 0x22, 0x11}));
  EXPECT_EQ(io.Background(), TColor(0x11 | (0x22 << 8) | (0x33 << 16)));
}

// netpbm writes a two-colour picture as a 1-bit palette with a tRNS chunk; its transparent entry stays transparent.
TEST(Png, OneBitPaletteWithTransparencyFromNetpbm) {
  if (!HaveTool("pnmtopng") || !HaveTool("convert")) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 11x5 xc:'#3060c0' -fill '#f0e020' -draw 'rectangle 0,0 4,2' "
                  "-depth 8 two.ppm && pnmtopng -transparent '#3060c0' two.ppm > t.png"),
            0);
  const auto file = ReadFile(d + "/t.png");
  ASSERT_GT(file.size(), 26u);
  ASSERT_EQ(file[24], 1);  // bit depth 1
  ASSERT_EQ(file[25], 3);  // palette
  TIOParamsVals q;
  bool aborted = true;
  auto back = ReadPng(file, q, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(RgbOf(*back), MagickPixels(d + "/two.ppm", "RGB"));
  ASSERT_TRUE(back->HasAlphaChannel());
  const auto alpha = AlphaOf(*back);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 11; ++x)
      EXPECT_EQ(alpha[static_cast<size_t>(y) * 11 + x], x <= 4 && y <= 2 ? 255 : 0) << x << "," << y;
}

// A one-bit gray picture with a transparent gray key (netpbm writes bitmaps so): the key's pixels are
// transparent, as ImageMagick reads them.
TEST(Png, OneBitGrayWithTransparentKey) {
  if (!HaveTool("pnmtopng") || !HaveTool("convert")) GTEST_SKIP() << "netpbm or ImageMagick not installed";
  const ScopedTempDir d;
  WriteText(d / "b.pbm", "P1\n7 3\n1 0 0 1 1 0 1\n0 1 0 0 1 1 0\n1 1 1 0 0 0 0\n");
  for (const char* key : {"black", "white"}) {
    SCOPED_TRACE(key);
    ASSERT_EQ(Shell("pnmtopng -transparent " + std::string(key) + " '" + (d / "b.pbm") + "' > '" + (d / "k.png") + "'"), 0);
    const auto file = ReadFile(d / "k.png");
    ASSERT_GT(file.size(), 26u);
    ASSERT_EQ(file[24], 1);  // bit depth 1
    ASSERT_EQ(file[25], 0);  // gray
    TIOParamsVals q;
    bool aborted = true;
    auto back = ReadPng(file, q, aborted);
    ASSERT_FALSE(aborted);
    ASSERT_TRUE(back->HasAlphaChannel());
    const auto expect = MagickPixels(d / "k.png", "RGBA");
    ASSERT_EQ(expect.size(), 7u * 3 * 4);
    EXPECT_EQ(RgbaMismatches(*back, expect), 0);
  }
}
