#include <gtest/gtest.h>

#include <cstring>

#include "imaging/foundation/mask.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

using namespace qvio;

namespace {

struct BmpRead {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TQxMask> Mask;
  std::unique_ptr<TIOParamsVals> P = std::make_unique<TIOParamsVals>();
  TIOParamsVals& Params = *P;
  bool Aborted = false;
};

std::unique_ptr<BmpRead> ReadBmpP(const std::vector<uint8_t>& Data, bool WithAlpha = true) {
  auto r = std::make_unique<BmpRead>();
  auto s = StreamOf(Data);
  TestProgress pr;
  ReadBmpStream(*s, *r->Bitmap, 0, r->Params, pr.Info, false, false, r->Mask, !WithAlpha);
  r->Aborted = pr.Aborting;
  if (r->Mask) r->Bitmap->GetAlphaChannel()->AlphaFromMask(r->Mask.get());
  return r;
}
// Results live until the test binary ends, so callers can hold references.
BmpRead& Keep(std::unique_ptr<BmpRead> r) {
  static std::vector<std::unique_ptr<BmpRead>> kept;
  kept.push_back(std::move(r));
  return *kept.back();
}
#define ReadBmp(...) Keep(ReadBmpP(__VA_ARGS__))

std::vector<uint8_t> WriteBmp(TQxBitmap& B, TIOParamsVals& P, bool Alpha = false) {
  TMemoryStream s;
  TestProgress pr;
  WriteBmpStream(s, B, P, Alpha, pr.Info);
  EXPECT_FALSE(pr.Aborting);
  return BytesOf(s);
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

// A little BMP with an info header, a palette and the given pixel bytes (compression as given).
std::vector<uint8_t> HandBmp(int32_t W, int32_t H, int Bits, int Compression, const std::vector<TQxRGB>& Palette,
                             const std::vector<uint8_t>& Pixels) {
  std::vector<uint8_t> v(14 + 40 + Palette.size() * 4, 0);
  v[0] = 'B';
  v[1] = 'M';
  Put32(v, 14, 40);
  Put32(v, 18, static_cast<uint32_t>(W));
  Put32(v, 22, static_cast<uint32_t>(H));
  v[26] = 1;
  v[28] = uint8_t(Bits);
  Put32(v, 30, static_cast<uint32_t>(Compression));
  Put32(v, 34, static_cast<uint32_t>(Pixels.size()));
  Put32(v, 46, static_cast<uint32_t>(Palette.size()));
  for (size_t i = 0; i < Palette.size(); ++i) {
    v[54 + i * 4] = Palette[i].b;
    v[54 + i * 4 + 1] = Palette[i].g;
    v[54 + i * 4 + 2] = Palette[i].r;
  }
  Put32(v, 10, static_cast<uint32_t>(v.size()));
  v.insert(v.end(), Pixels.begin(), Pixels.end());
  Put32(v, 2, static_cast<uint32_t>(v.size()));
  return v;
}

}  // namespace

TEST(Bmp, RoundTripEveryDepthAndHeader) {
  // Bits per pixel chosen by the parameters; versions 0..3 and RLE for 4 and 8 bits.
  auto src = MakeRGB(19, 7);
  // Few colours, so 1/4/8-bit files are exact.
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 19; ++x) src->SetPixel24(x, y, TQxRGB{uint8_t((x % 4) * 60), uint8_t((y % 4) * 30), 0});
  struct Case {
    int bps, spp, version, rle;
  } cases[] = {{4, 1, 1, 0}, {4, 1, 1, 1}, {8, 1, 1, 0}, {8, 1, 1, 1}, {8, 1, 2, 0}, {8, 3, 1, 0},
               {8, 3, 3, 0}, {8, 3, 0, 0}, {8, 3, 2, 0}};
  for (const Case& c : cases) {
    TIOParamsVals p;
    p.BitsPerSample = c.bps;
    p.SamplesPerPixel = c.spp;
    p.BmpVersion = uint8_t(c.version);
    p.BmpCompression = uint8_t(c.rle);
    p.SetDpiX(72);
    p.SetDpiY(144);
    auto bytes = WriteBmp(*src, p);
    auto& r = ReadBmp(bytes);
    ASSERT_FALSE(r.Aborted) << c.bps << "/" << c.version << "/" << c.rle;
    EXPECT_EQ(RgbOf(*r.Bitmap), RgbOf(*src)) << c.bps << "/" << c.version << "/" << c.rle;
    EXPECT_EQ(r.Params.BmpVersion, c.version == 0 ? 1 : c.version);  // both write the 40-byte header
    EXPECT_EQ(r.Params.BmpCompression, c.version == 2 ? 0 : c.rle);
    if (c.version != 2) {
      EXPECT_EQ(r.Params.DpiX, 72);
      EXPECT_EQ(r.Params.DpiY, 144);
    }
    if (c.rle && c.version != 2) {
      EXPECT_EQ(bytes[bytes.size() - 2] * 256 + bytes.back(), 1);  // 0, 1 ends the data
    }
  }
  // 1 bit from a two-colour picture keeps both colours; a qx1g picture stays qx1g.
  TQxBitmap two(9, 3, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 9; ++x) two.SetPixel24(x, y, (x + y) % 2 ? TQxRGB{0, 0, 255} : TQxRGB{0, 255, 0});
  TIOParamsVals p1;
  p1.BitsPerSample = 1;
  auto& r1 = ReadBmp(WriteBmp(two, p1));
  EXPECT_EQ(RgbOf(*r1.Bitmap), RgbOf(two));
  EXPECT_EQ(r1.Params.ColorMapCount, 2);
  TQxBitmap bw(9, 3, TQxPixelFormat::qx1g);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 9; ++x) QxSetBit(bw.Scanline(y), x, (x + y) % 2);
  TIOParamsVals pbw;
  pbw.BitsPerSample = 1;
  auto& rbw = ReadBmp(WriteBmp(bw, pbw));
  EXPECT_EQ(rbw.Bitmap->PixelFormat(), TQxPixelFormat::qx1g);
  EXPECT_EQ(RgbOf(*rbw.Bitmap), RgbOf(bw));
  // 32 bits with alpha.
  auto a = MakeRGB(5, 4);
  a->GetAlphaChannel();
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) a->SetAlpha(x, y, uint8_t(x * 50 + y));
  TIOParamsVals p32;
  auto& r32 = ReadBmp(WriteBmp(*a, p32, true));
  EXPECT_EQ(r32.Params.SamplesPerPixel, 4);
  EXPECT_EQ(RgbOf(*r32.Bitmap), RgbOf(*a));
  EXPECT_EQ(AlphaOf(*r32.Bitmap), AlphaOf(*a));
  // Formats the writer has no rows for are converted, not written as garbage.
  TQxBitmap g16(4, 2, TQxPixelFormat::qx16g);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) g16.SetPixel16(x, y, uint16_t(x * 20000 + y));
  TIOParamsVals pg;
  auto& rg = ReadBmp(WriteBmp(g16, pg));
  ASSERT_FALSE(rg.Aborted);
  EXPECT_EQ(rg.Bitmap->Width(), 4);
  EXPECT_EQ(RgbOf(*rg.Bitmap), RgbOf(g16));
}

TEST(Bmp, HandMadeEdgeFiles) {
  // Top-down 32-bit with alpha on the same rows as the pixels.
  std::vector<uint8_t> px = {1, 2, 3, 10, 4, 5, 6, 20, 7, 8, 9, 30, 10, 11, 12, 40};
  auto td = HandBmp(2, 2, 32, 0, {}, px);
  Put32(td, 22, static_cast<uint32_t>(-2));
  auto& r = ReadBmp(td);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(r.Bitmap->GetPixel24(0, 0), (TQxRGB{1, 2, 3}));
  EXPECT_EQ(r.Bitmap->GetAlpha(1, 0), 20);
  EXPECT_EQ(r.Bitmap->GetAlpha(0, 1), 30);
  // Fourth bytes all 0 or all 255: no alpha channel.
  for (uint8_t fill : {uint8_t(0), uint8_t(255)}) {
    std::vector<uint8_t> p2 = px;
    for (size_t i = 3; i < p2.size(); i += 4) p2[i] = fill;
    auto& rr = ReadBmp(HandBmp(2, 2, 32, 0, {}, p2));
    EXPECT_FALSE(rr.Bitmap->HasAlphaChannel()) << int(fill);
  }
  // 1 bit with palette white, black is complemented so that 0 stays black.
  auto& inv = ReadBmp(HandBmp(8, 1, 1, 0, {{255, 255, 255}, {0, 0, 0}}, {0xF0, 0, 0, 0}));
  EXPECT_EQ(inv.Bitmap->Scanline(0)[0], 0x0F);
  auto& keep = ReadBmp(HandBmp(8, 1, 1, 0, {{0, 0, 0}, {255, 255, 255}}, {0xF0, 0, 0, 0}));
  EXPECT_EQ(keep.Bitmap->Scanline(0)[0], 0xF0);
  // Palette indexes beyond the colour map read as black instead of past the map.
  auto& pal = ReadBmp(HandBmp(4, 1, 8, 0, {{0, 0, 255}, {0, 255, 0}}, {0, 1, 200, 255}));
  ASSERT_FALSE(pal.Aborted);
  EXPECT_EQ(pal.Bitmap->GetPixel24(1, 0), (TQxRGB{0, 255, 0}));
  EXPECT_EQ(pal.Bitmap->GetPixel24(3, 0), (TQxRGB{0, 0, 0}));
  // RLE8: a delta after some pixels continues at x + dx; a delta past the last row ends the picture.
  std::vector<TQxRGB> gp(4);
  for (int i = 0; i < 4; ++i) gp[i] = TQxRGB{uint8_t(i * 60), uint8_t(i * 60), uint8_t(i * 60)};
  auto& rle = ReadBmp(HandBmp(6, 3, 8, 1, gp, {2, 1, 0, 2, 2, 0, 1, 3, 0, 0, 0, 2, 0, 9, 3, 3, 0, 1}));
  ASSERT_FALSE(rle.Aborted);
  EXPECT_EQ(rle.Bitmap->GetPixel24(0, 2), gp[1]);  // first stored row is the bottom row
  EXPECT_EQ(rle.Bitmap->GetPixel24(4, 2), gp[3]);
  EXPECT_EQ(rle.Bitmap->GetPixel24(2, 2), gp[0]);
  // RLE4 with an odd literal run: the last index sits in the high nibble.
  auto& rle4 = ReadBmp(HandBmp(5, 1, 4, 2, gp, {0, 3, 0x12, 0x30, 2, 0x33, 0, 1}));
  ASSERT_FALSE(rle4.Aborted);
  EXPECT_EQ(rle4.Bitmap->GetPixel24(0, 0), gp[1]);
  EXPECT_EQ(rle4.Bitmap->GetPixel24(2, 0), gp[3]);
  EXPECT_EQ(rle4.Bitmap->GetPixel24(4, 0), gp[3]);
  // A depth or compression the reader cannot read is refused, not loaded blank.
  for (auto [bits, comp] : {std::pair{2, 0}, std::pair{24, 1}, std::pair{8, 4}, std::pair{1, 1}}) {
    auto& bad = ReadBmp(HandBmp(2, 2, bits, comp, {}, std::vector<uint8_t>(32, 0)));
    EXPECT_TRUE(bad.Aborted) << bits << "/" << comp;
  }
  // Truncated rows, a missing signature and a garbage header size set Aborting.
  auto full = HandBmp(4, 4, 24, 0, {}, std::vector<uint8_t>(48, 9));
  std::vector<uint8_t> cut(full.begin(), full.end() - 20);
  EXPECT_TRUE(ReadBmp(cut).Aborted);
  auto nosig = full;
  nosig[0] = 'X';
  EXPECT_TRUE(ReadBmp(nosig).Aborted);
  auto tiny = full;
  Put32(tiny, 14, 3);
  EXPECT_TRUE(ReadBmp(tiny).Aborted);
}

TEST(Bmp, ReadsFilesFromImageMagickAndPillow) {
  if (!HaveTool("convert") || !HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow not available";
  std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 21x13 gradient:red-blue -swirl 90 -write src.png +delete "
                  "-size 21x13 gradient:'#00000000'-'#ff8000ff' -swirl 90 srca.png"),
            0);
  // One ImageMagick run and one Pillow run write every variant.
  const std::vector<std::string> made = {"m1.bmp", "m4.bmp", "m8.bmp", "m8rle.bmp", "m16.bmp", "m16x.bmp", "m24.bmp",
                                         "os2.bmp", "os2p.bmp", "m32.bmp", "p1.bmp", "p8.bmp", "p24.bmp", "p32.bmp"};
  ASSERT_EQ(Shell("cd '" + d + "' && convert src.png "
                  "\\( +clone -monochrome -write BMP3:m1.bmp +delete \\) "
                  "\\( +clone -colors 16 -write BMP3:m4.bmp +delete \\) "
                  "\\( +clone -colors 200 -write BMP3:m8.bmp +delete \\) "
                  "\\( +clone -colors 200 -compress RLE -write BMP3:m8rle.bmp +compress +delete \\) "
                  "\\( +clone -define bmp:subtype=RGB565 -write m16.bmp +delete \\) "
                  "\\( +clone -define bmp:subtype=RGB555 -write m16x.bmp +define bmp:subtype +delete \\) "
                  "\\( +clone -write BMP3:m24.bmp +delete \\) "
                  "\\( +clone -write BMP2:os2.bmp +delete \\) "
                  "\\( +clone -colors 16 -write BMP2:os2p.bmp +delete \\) "
                  "\\( srca.png -write BMP:m32.bmp +delete \\) null:"),
            0);
  ASSERT_EQ(Shell("cd '" + d + "' && /usr/bin/python3 -c \"from PIL import Image; s=Image.open('src.png'); "
                  "s.convert('1').save('p1.bmp'); s.convert('P').save('p8.bmp'); s.convert('RGB').save('p24.bmp'); "
                  "Image.open('srca.png').convert('RGBA').save('p32.bmp')\""),
            0);
  // Pillow's decoding of every file in one run.
  WriteText(d + "/dump.py",
            "import sys\nfrom PIL import Image\nfor f in sys.argv[1:]:\n"
            "    open(f + '.rgb', 'wb').write(Image.open(f).convert('RGB').tobytes())\n");
  std::string names;
  for (const auto& m : made) names += " '" + d + "/" + m + "'";
  ASSERT_EQ(Shell("/usr/bin/python3 '" + d + "/dump.py'" + names), 0);
  for (const std::string& name : made) {
    const std::string f = d + "/" + name;
    auto& r = ReadBmp(ReadFile(f));
    ASSERT_FALSE(r.Aborted) << name;
    const bool alpha = name == "m32.bmp" || name == "p32.bmp";
    // Pillow takes 32-bit BI_RGB files as opaque; ImageMagick reads their fourth byte as we do.
    auto expect = alpha ? MagickPixels(f, "RGBA") : ReadFile(f + ".rgb");
    ASSERT_FALSE(expect.empty()) << name;
    auto rgb = RgbOf(*r.Bitmap);
    if (name == "m16.bmp" || name == "m16x.bmp") {
      // Pillow scales a field by 255/31 and truncates; bit replication is at most one level above that.
      ASSERT_EQ(rgb.size(), expect.size());
      int far = 0;
      for (size_t i = 0; i < rgb.size(); ++i) far += rgb[i] < expect[i] || rgb[i] > expect[i] + 1;
      EXPECT_EQ(far, 0) << name;
    } else if (!alpha) {
      EXPECT_EQ(rgb, expect) << name;
    } else {
      auto a = AlphaOf(*r.Bitmap);
      int bad = 0;
      for (size_t i = 0; i < a.size(); ++i)
        if (rgb[i * 3] != expect[i * 4] || rgb[i * 3 + 1] != expect[i * 4 + 1] || rgb[i * 3 + 2] != expect[i * 4 + 2] ||
            a[i] != expect[i * 4 + 3])
          ++bad;
      EXPECT_EQ(bad, 0) << name;
    }
  }
}

// Bit-field channels widen by repeating their bits, so that a full field reads 255; the one-bit alpha field of
// A1R5G5B5 becomes the alpha channel.
TEST(Bmp, BitFieldsWidenToFullIntensityAndKeepTheirAlphaBit) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick convert is not installed";
  const std::string d = TempDir();
  // White, pure primaries and a ramp, left half opaque, right half transparent.
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 32x5 gradient:black-white \\( -size 32x1 xc:white xc:red xc:lime "
                  "-append \\) -append \\( -size 16x8 xc:white -size 16x8 xc:black +append \\) -alpha off "
                  "-compose copy_opacity -composite src.png && "
                  "convert src.png -alpha off -define bmp:subtype=RGB565 m565.bmp && "
                  "convert src.png -alpha off -define bmp:subtype=RGB555 m555.bmp && "
                  "convert src.png -define bmp:subtype=ARGB1555 m1555.bmp"),
            0);
  // A 5-bit field v reads (v << 3) | (v >> 2), a 6-bit one (v << 2) | (v >> 4); computed here from the words.
  for (const char* name : {"m565.bmp", "m555.bmp", "m1555.bmp"}) {
    SCOPED_TRACE(name);
    const auto file = ReadFile(d + "/" + name);
    auto& r = ReadBmp(file);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->Width(), 32);
    ASSERT_EQ(r.Bitmap->Height(), 8);
    const bool g6 = std::string(name) == "m565.bmp";
    const size_t off = file[10] | (file[11] << 8);
    const int32_t rowLen = 64;
    int bad = 0, bright = 0;
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 32; ++x) {
        const uint8_t* w = file.data() + off + static_cast<size_t>(7 - y) * rowLen + x * 2;
        const uint32_t px = w[0] | (w[1] << 8);
        const uint32_t rv = g6 ? px >> 11 : (px >> 10) & 31, gv = g6 ? (px >> 5) & 63 : (px >> 5) & 31,
                       bv = px & 31;
        const uint8_t re = uint8_t((rv << 3) | (rv >> 2)), be = uint8_t((bv << 3) | (bv >> 2)),
                      ge = g6 ? uint8_t((gv << 2) | (gv >> 4)) : uint8_t((gv << 3) | (gv >> 2));
        const TQxRGB c = reinterpret_cast<const TQxRGB*>(r.Bitmap->Scanline(y))[x];
        bad += c.r != re || c.g != ge || c.b != be;
        bright += c.r == 255;
      }
    EXPECT_EQ(bad, 0);
    EXPECT_GE(bright, 32 + 32 + 1);  // the white and red rows, and the ramp's end
  }
  // The alpha bit: the left half opaque, the right half transparent.
  auto& a = ReadBmp(ReadFile(d + "/m1555.bmp"));
  ASSERT_TRUE(a.Bitmap->HasAlphaChannel());
  auto alpha = AlphaOf(*a.Bitmap);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 32; ++x) ASSERT_EQ(alpha[static_cast<size_t>(y) * 32 + x], x < 16 ? 255 : 0) << x << "," << y;
  // Without the alpha option the same file is opaque.
  EXPECT_FALSE(ReadBmp(ReadFile(d + "/m1555.bmp"), false).Bitmap->HasAlphaChannel());
}

// A one-bit file whose two palette entries are colours keeps them.
TEST(Bmp, OneBitPaletteOfTwoColoursIsKept) {
  if (!HaveTool("convert") || !HaveTool("ppmtobmp")) GTEST_SKIP() << "ImageMagick or netpbm not installed";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 13x5 xc:'#3060c0' -fill '#f0e020' -draw 'rectangle 0,0 5,2' "
                  "-depth 8 two.ppm && ppmtobmp -bpp 1 two.ppm > nb.bmp && "
                  "convert two.ppm -type palette -colors 2 BMP3:im.bmp"),
            0);
  const auto expect = MagickPixels(d + "/two.ppm", "RGB");
  for (const char* name : {"nb.bmp", "im.bmp"}) {
    SCOPED_TRACE(name);
    const auto file = ReadFile(d + "/" + name);
    ASSERT_EQ(file[28], 1);  // one bit per pixel as written
    auto& r = ReadBmp(file);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), expect);
    // With native pixel formats the indexes stay, under the file's palette.
    auto n = std::make_unique<BmpRead>();
    n->Params.NativePixelFormat = 1;
    auto s = StreamOf(file);
    TestProgress pr;
    ReadBmpStream(*s, *n->Bitmap, 0, n->Params, pr.Info, false, false, n->Mask, true);
    ASSERT_EQ(n->Bitmap->PixelFormat(), TQxPixelFormat::qx8p);
    EXPECT_EQ(RgbOf(*n->Bitmap), expect);
  }
}

TEST(Bmp, OutsideReadersAgreeWithOurFiles) {
  if (!HaveTool("convert") || !HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow not available";
  std::string d = TempDir();
  auto src = MakeRGB(23, 9);
  struct Case {
    const char* name;
    int bps, spp, version, rle;
  } cases[] = {{"o1", 1, 1, 1, 0}, {"o4", 4, 1, 1, 0}, {"o4r", 4, 1, 1, 1}, {"o8", 8, 1, 1, 0},
               {"o8r", 8, 1, 1, 1}, {"o24", 8, 3, 1, 0}, {"os2", 8, 3, 2, 0}, {"v3", 8, 3, 3, 0}};
  for (const Case& c : cases) {
    TIOParamsVals p;
    p.BitsPerSample = c.bps;
    p.SamplesPerPixel = c.spp;
    p.BmpVersion = uint8_t(c.version);
    p.BmpCompression = uint8_t(c.rle);
    std::string f = d + "/" + c.name + ".bmp";
    WriteFile(f, WriteBmp(*src, p));
    auto ours = RgbOf(*ReadBmp(ReadFile(f)).Bitmap);
    EXPECT_EQ(PillowPixels(f, "RGB"), ours) << c.name;
    if (c.version != 3) {
      EXPECT_EQ(MagickPixels(f, "RGB"), ours) << c.name;
    }
  }
}

// ---------------------------------------------------------------- icons and cursors

namespace {

std::unique_ptr<TQxBitmap> ReadIcon(const std::vector<uint8_t>& Data, TIOParamsVals& P, bool Cursor, bool& Aborted) {
  auto s = StreamOf(Data);
  auto b = std::make_unique<TQxBitmap>();
  std::unique_ptr<TQxMask> m;
  TestProgress pr;
  if (Cursor)
    ReadCurStream(*s, *b, P, false, pr.Info, m, false);
  else
    ReadIcoStream(*s, *b, P, false, pr.Info, m, false);
  Aborted = pr.Aborting;
  if (m) b->GetAlphaChannel()->AlphaFromMask(m.get());
  return b;
}

}  // namespace

TEST(Ico, WriterDirectoryAndRoundTrip) {
  auto src = MakeRGB(40, 40);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x) src->SetAlpha(x, y, x < 20 ? 255 : 0);
  TIOParamsVals p;
  std::vector<TQxIcoSize> sizes = {{32, 32}, {16, 16}, {24, 24}};
  std::vector<int32_t> bits = {8, 32, 4};
  TMemoryStream s;
  TestProgress pr;
  WriteIcoStream(s, *src, p, pr.Info, sizes, bits);
  ASSERT_FALSE(pr.Aborting);
  auto bytes = BytesOf(s);
  ASSERT_GE(bytes.size(), 6u + 3 * 16);
  EXPECT_EQ(bytes[4], 3);
  EXPECT_EQ(bytes[6 + 2], 255);    // 8 bits: colour count 255
  EXPECT_EQ(bytes[22 + 2], 0);     // 32 bits: colour count 0
  EXPECT_EQ(bytes[22 + 6], 32);
  EXPECT_EQ(bytes[38 + 2], 16);
  auto ms = StreamOf(bytes);
  EXPECT_TRUE(IsIcoStream(*ms));
  EXPECT_FALSE(IsCurStream(*ms));
  for (int idx = 0; idx < 3; ++idx) {
    TIOParamsVals q;
    q.SetAllImageIndexes(idx);
    bool aborted = true;
    auto b = ReadIcon(bytes, q, false, aborted);
    ASSERT_FALSE(aborted) << idx;
    EXPECT_EQ(b->Width(), sizes[idx][0]);
    // Left half opaque, right half transparent, in every entry.
    EXPECT_EQ(b->HasAlphaChannel() ? b->GetAlpha(1, 1) : 255, 255) << idx;
    ASSERT_TRUE(b->HasAlphaChannel()) << idx;
    EXPECT_EQ(b->GetAlpha(sizes[idx][0] - 1, 1), 0) << idx;
    EXPECT_EQ(q.IcoSizes[2][0], 24);
  }
  // Any pixel format is accepted: the writer converts first.
  TQxBitmap gray(8, 8, TQxPixelFormat::qx8g);
  TMemoryStream s2;
  TestProgress pr2;
  WriteIcoStream(s2, gray, p, pr2.Info, {{8, 8}}, {24});
  EXPECT_FALSE(pr2.Aborting);
  EXPECT_GT(s2.Size(), 40);
}

// A palette picture keeps its palette and its indexes in 8- and 4-bit icons (no second quantizing); an
// outside reader sees the palette's colours.
TEST(Ico, PalettePictureKeepsItsPaletteAndIndexes) {
  const int32_t W = 24, H = 16, Colours = 14;
  TQxBitmap src(W, H, TQxPixelFormat::qx8p);
  for (int32_t k = 0; k < Colours; ++k) src.SetPaletteColor(k, TQxRGB{uint8_t(10 + k), uint8_t(100 + 3 * k), uint8_t(200 - k)});
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) src.Scanline(y)[x] = uint8_t((x + 3 * y) % Colours);
  for (int32_t bits : {8, 4}) {
    SCOPED_TRACE(bits);
    TIOParamsVals p;
    TMemoryStream s;
    TestProgress pr;
    WriteIcoStream(s, src, p, pr.Info, {{W, H}}, {bits});
    ASSERT_FALSE(pr.Aborting);
    const auto bytes = BytesOf(s);
    const size_t pal = 6 + 16 + 40, rows = pal + size_t(4) * (1u << bits);
    const size_t rowLen = size_t(((W * bits + 31) / 32) * 4);
    ASSERT_GE(bytes.size(), rows + rowLen * H);
    for (int32_t k = 0; k < Colours; ++k) {
      const TQxRGB c = src.PaletteColor(k);
      EXPECT_EQ((std::array<int, 3>{bytes[pal + 4 * k], bytes[pal + 4 * k + 1], bytes[pal + 4 * k + 2]}),
                (std::array<int, 3>{c.b, c.g, c.r}))
          << k;
    }
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* r = &bytes[rows + rowLen * size_t(H - 1 - y)];
        const int idx = bits == 8 ? r[x] : ((x & 1) ? r[x / 2] & 0x0F : r[x / 2] >> 4);
        ASSERT_EQ(idx, src.Scanline(y)[x]) << x << "," << y;
      }
    if (HavePillow()) {
      const std::string dir = TempDir(), f = dir + "/pal.ico";
      WriteFile(f, bytes);
      const auto rgb = PillowPixels(f, "RGB");
      ASSERT_EQ(rgb.size(), size_t(W * H * 3));
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
          const TQxRGB c = src.PaletteColor(src.Scanline(y)[x]);
          const uint8_t* o = &rgb[size_t(y * W + x) * 3];
          ASSERT_EQ((std::array<int, 3>{o[0], o[1], o[2]}), (std::array<int, 3>{c.r, c.g, c.b})) << x << "," << y;
        }
      Shell("rm -rf " + dir);
    }
  }
}

TEST(Ico, ReadsImageMagickIconsWithPngEntriesAndCursors) {
  if (!HaveTool("convert") || !HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow not available";
  std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 256x256 gradient:'#ff000080'-'#0000ffff' -swirl 60 big.png && "
                  "convert big.png -define icon:auto-resize=256,32 i.ico && "
                  "/usr/bin/python3 -c \"from PIL import Image; im=Image.open('i.ico'); im.size=(32,32); im.load(); "
                  "open('i32.rgba','wb').write(im.convert('RGBA').tobytes()); im=Image.open('i.ico'); im.size=(256,256); "
                  "im.load(); open('i256.rgba','wb').write(im.convert('RGBA').tobytes())\""),
            0);
  auto ico = ReadFile(d + "/i.ico");
  for (int idx = 0; idx < 2; ++idx) {
    TIOParamsVals q;
    q.SetAllImageIndexes(idx);
    bool aborted = true;
    auto b = ReadIcon(ico, q, false, aborted);
    ASSERT_FALSE(aborted);
    auto expect = ReadFile(d + (b->Width() == 256 ? "/i256.rgba" : "/i32.rgba"));
    auto rgb = RgbOf(*b);
    auto a = AlphaOf(*b);
    ASSERT_EQ(a.size() * 4, expect.size());
    int bad = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i] != expect[i * 4 + 3]) ++bad;
      else if (a[i] != 0 && (rgb[i * 3] != expect[i * 4] || rgb[i * 3 + 2] != expect[i * 4 + 2])) ++bad;
    }
    EXPECT_EQ(bad, 0) << b->Width();
  }
  // A cursor: the same directory with type 2 and a hot spot; a BMP-style 32x32 entry.
  ASSERT_EQ(Shell("cd '" + d + "' && convert big.png -resize 32x32 -colors 16 -alpha off BMP3:small.bmp && "
                  "convert small.bmp -define icon:auto-resize=32 s.ico"),
            0);
  auto cur = ReadFile(d + "/s.ico");
  ASSERT_GT(cur.size(), 22u);
  cur[2] = 2;
  cur[6 + 4] = 5;
  cur[6 + 6] = 7;
  auto cs = StreamOf(cur);
  EXPECT_TRUE(IsCurStream(*cs));
  EXPECT_FALSE(IsIcoStream(*cs));
  TIOParamsVals q;
  bool aborted = true;
  auto b = ReadIcon(cur, q, true, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(q.CurXHotSpot, 5);
  EXPECT_EQ(q.CurYHotSpot, 7);
  EXPECT_EQ(b->Width(), 32);
  EXPECT_EQ(RgbOf(*b), PillowPixels(d + "/small.bmp", "RGB"));
}

TEST(Ico, IconStartingWithBmpSignatureAndBadIndexes) {
  auto src = MakeRGB(6, 6);
  TIOParamsVals p;
  TMemoryStream s;
  TestProgress pr;
  WriteBmpStream(s, *src, p, false, pr.Info);
  TIOParamsVals q;
  bool aborted = true;
  auto b = ReadIcon(BytesOf(s), q, false, aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(RgbOf(*b), RgbOf(*src));
  // An index out of range changes nothing and is not an error.
  TMemoryStream is;
  WriteIcoStream(is, *src, p, pr.Info, {{6, 6}}, {24});
  TIOParamsVals qi;
  qi.SetAllImageIndexes(3);
  auto none = ReadIcon(BytesOf(is), qi, false, aborted);
  EXPECT_FALSE(aborted);
  EXPECT_TRUE(none->IsEmpty());
}

// Files other programs read as Pillow does: masks of a 40-byte BI_BITFIELDS header come before its colour
// table, and a one-entry palette keeps its colour.
TEST(Bmp, MasksBeforeTheColourTableAndOneEntryPalettes) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow not installed";
  const ScopedTempDir d;
  // 5 x 3 pixels of 5-6-5 bits, rows padded to 12 bytes; a colour table of three entries after the masks.
  std::vector<uint8_t> px;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      const uint16_t v = uint16_t((x * 6) << 11 | (y * 20 + x) << 5 | (31 - x * 7));
      px.insert(px.end(), {uint8_t(v), uint8_t(v >> 8)});
    }
    px.insert(px.end(), {0, 0});
  }
  std::vector<uint8_t> fields = HandBmp(5, 3, 16, 3, {TQxRGB{9, 9, 9}, TQxRGB{3, 2, 1}, TQxRGB{0, 0, 200}}, px);
  const std::vector<uint8_t> masks{0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
  fields.insert(fields.begin() + 54, masks.begin(), masks.end());
  Put32(fields, 10, 14 + 40 + 12 + 3 * 4);
  Put32(fields, 2, uint32_t(fields.size()));
  // One bit per pixel under a single blue entry.
  const std::vector<uint8_t> one = HandBmp(9, 2, 1, 0, {TQxRGB{255, 0, 0}}, std::vector<uint8_t>(8, 0));
  for (const auto& [name, file] : {std::pair{"fields.bmp", fields}, std::pair{"one.bmp", one}}) {
    SCOPED_TRACE(name);
    WriteFile(d / name, file);
    auto& r = ReadBmp(file);
    ASSERT_FALSE(r.Aborted);
    const auto want = PillowPixels(d / name, "RGB"), got = RgbOf(*r.Bitmap);
    ASSERT_EQ(got.size(), want.size());
    // Five and six bits widen by repeating their bits, where Pillow scales and rounds: within one level.
    for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::abs(got[i] - want[i]), 1) << i;
  }
}
