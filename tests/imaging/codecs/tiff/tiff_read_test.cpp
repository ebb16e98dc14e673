// The TIFF reader on hand-made files: page selection, tags, layouts, compressions, alpha and bad input.
#include <zlib.h>

#include <cstring>

#include "imaging/io/cmyk.h"
#include "imaging/codecs/lzw.h"
#include "imaging/foundation/view_base.h"
#include "tiff_test_util.h"

using namespace qvtiff;

namespace {

std::vector<uint8_t> Gray(TQxBitmap& B) {
  std::vector<uint8_t> rgb = RgbOf(B), g;
  for (size_t i = 0; i < rgb.size(); i += 3) g.push_back(rgb[i]);
  return g;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& In) {
  uLongf n = compressBound(uLong(In.size()));
  std::vector<uint8_t> out(n);
  compress(out.data(), &n, In.data(), uLong(In.size()));
  out.resize(n);
  return out;
}

std::vector<uint8_t> Lzw(const std::vector<uint8_t>& In) {
  RegisterCoders();
  TMemoryStream s;
  void* st = nullptr;
  TiffLzwEncode(In.data(), int32_t(In.size()), &s, st);
  TiffLzwEncode(nullptr, 0, &s, st);
  return BytesOf(s);
}

}  // namespace

// Each stored layout against the colours it must give.
TEST(TiffRead, LayoutsDecodeToTheirColours) {
  // The exact arithmetic CMYK conversion, not the printer profile.
  struct Arithmetic {
    Arithmetic() { QxUseCMYKProfile = false; }
    ~Arithmetic() { QxUseCMYKProfile = true; }
  } arithmetic;
  struct Case {
    const char* Name;
    std::function<void(TiffBuilder&)> Make;
    std::vector<uint8_t> Rgb;
  };
  const std::vector<Case> cases = {
      {"rgb8", [](TiffBuilder& b) { b.Image(2, 1, 8, 3, 2, {10, 20, 30, 40, 50, 60}); }, {10, 20, 30, 40, 50, 60}},
      {"gray8", [](TiffBuilder& b) { b.Image(2, 1, 8, 1, 1, {0, 200}); }, {0, 0, 0, 200, 200, 200}},
      {"white-is-zero", [](TiffBuilder& b) { b.Image(2, 1, 8, 1, 0, {0, 200}); }, {255, 255, 255, 55, 55, 55}},
      {"gray4",
       [](TiffBuilder& b) { b.Image(4, 1, 4, 1, 1, {0x01, 0xEF}); },
       {0, 0, 0, 17, 17, 17, 238, 238, 238, 255, 255, 255}},
      {"gray2",
       [](TiffBuilder& b) { b.Image(4, 1, 2, 1, 1, {0x1B}); },
       {0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}},
      {"rgb16-big-endian",
       [](TiffBuilder& b) { b.BE = true, b.Image(1, 1, 16, 3, 2, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00}); },
       {0x12, 0xAB, 0xFF}},
      {"rgb15",
       [](TiffBuilder& b) { b.Image(1, 1, 16, 1, 2, {uint8_t((1 << 10 | 2 << 5 | 3) & 0xFF), uint8_t((1 << 10 | 2 << 5 | 3) >> 8)}); },
       {8, 16, 24}},
      {"cmyk",
       [](TiffBuilder& b) { b.Image(2, 1, 8, 4, 5, {0, 0, 0, 0, 255, 0, 0, 0}); },
       {255, 255, 255, 0, 255, 255}},
      {"palette4",
       [](TiffBuilder& b) {
         b.Image(2, 1, 4, 1, 3, {0x1F});
         std::vector<uint32_t> map(48, 0);
         map[1] = 0xFF00;          // red of entry 1
         map[16 + 15] = 0x8000;    // green of entry 15
         b.Short(320, map);
       },
       {255, 0, 0, 0, 128, 0}},
      {"bilevel-tagged-rgb",
       [](TiffBuilder& b) { b.Image(8, 1, 1, 1, 2, {0x0F}); },
       {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"cielab-white", [](TiffBuilder& b) { b.Image(1, 1, 8, 3, 8, {255, 0, 0}); }, {255, 255, 255}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TiffBuilder b;
    c.Make(b);
    ReadResult r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    std::vector<uint8_t> got = RgbOf(*r.Bitmap);
    if (std::string(c.Name) == "cielab-white") {
      ASSERT_EQ(got.size(), 3u);
      for (uint8_t v : got) EXPECT_GE(v, 250);
    } else {
      EXPECT_EQ(got, c.Rgb);
    }
  }
}

TEST(TiffRead, NativeFormatsKeepTheirSamples) {
  {
    TiffBuilder b;
    b.Image(2, 1, 8, 1, 0, {0, 200});
    ReadResult r = ReadTiff(b.Build(), {.Native = true});
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx8g);
    EXPECT_EQ(r.Bitmap->GetPixel8(0, 0), 255);
    EXPECT_EQ(r.Bitmap->GetPixel8(1, 0), 55);
  }
  {
    TiffBuilder b(true);
    b.Image(1, 1, 16, 3, 2, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00});
    ReadResult r = ReadTiff(b.Build(), {.Native = true});
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qxRGB48);
    EXPECT_EQ(r.Bitmap->GetPixel48(0, 0), (TQxRGB48{0x1234, 0xABCD, 0xFF00}));
  }
  {
    TiffBuilder b;
    b.Image(1, 1, 8, 4, 5, {10, 20, 30, 40});
    ReadResult r = ReadTiff(b.Build(), {.Native = true});
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qxCMYK);
    EXPECT_EQ(r.Bitmap->GetPixelCMYK(0, 0), (TQxCMYK{245, 235, 225, 215}));
  }
  {
    TiffBuilder b;
    b.Image(2, 1, 8, 1, 3, {1, 0});
    std::vector<uint32_t> map(768, 0);
    map[1] = 0xFFFF;
    b.Short(320, map);
    ReadResult r = ReadTiff(b.Build(), {.Native = true});
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx8p);
    EXPECT_EQ(r.Bitmap->GetPixel8(0, 0), 1);
    EXPECT_EQ(r.Bitmap->PaletteColor(1), (TQxRGB{0, 0, 255}));
    EXPECT_EQ(r.Params->ColorMapCount, 256);
  }
}

TEST(TiffRead, PagesAndTheDirectoryChain) {
  TiffBuilder b;
  b.Image(1, 1, 8, 1, 1, {10});
  b.NewPage();
  b.Image(1, 1, 8, 1, 1, {20});
  const std::vector<uint8_t> two = b.Build();
  ReadResult p1 = ReadTiff(two, {.Page = 1});
  EXPECT_FALSE(p1.Aborted);
  EXPECT_EQ(p1.Pages, 2);
  EXPECT_EQ(Gray(*p1.Bitmap), std::vector<uint8_t>{20});
  EXPECT_EQ(p1.Params->ImageCount, 2);

  ReadResult p2 = ReadTiff(two, {.Page = 2});
  EXPECT_FALSE(p2.Aborted);
  EXPECT_EQ(p2.Pages, 2);
  EXPECT_TRUE(p2.Bitmap->IsEmpty());

  auto s = StreamOf(two);
  EXPECT_EQ(TiffPageCount(s.get()), 2);

  // Next offsets pointing at the directory itself, back at the first one, or past the end end the chain.
  const size_t ifd1 = two[4] | (two[5] << 8) | (two[6] << 16) | (size_t(two[7]) << 24);
  const size_t count = two[ifd1] | (two[ifd1 + 1] << 8);
  const size_t link1 = ifd1 + 2 + 12 * count;
  const size_t ifd2 = two[link1] | (two[link1 + 1] << 8) | (two[link1 + 2] << 16) | (size_t(two[link1 + 3]) << 24);
  const size_t link2 = ifd2 + 2 + 12 * (two[ifd2] | (two[ifd2 + 1] << 8));
  for (uint32_t next : {uint32_t(ifd2), uint32_t(ifd1), 0x7FFFFFF0u}) {
    std::vector<uint8_t> v = two;
    for (int i = 0; i < 4; ++i) v[link2 + i] = uint8_t(next >> (8 * i));
    auto st = StreamOf(v);
    EXPECT_EQ(TiffPageCount(st.get()), 2) << next;
  }
  std::vector<uint8_t> self = two;
  for (int i = 0; i < 4; ++i) self[link1 + i] = uint8_t(ifd1 >> (8 * i));
  auto st = StreamOf(self);
  EXPECT_EQ(TiffPageCount(st.get()), 1);
}

TEST(TiffRead, TagValuesAndTheirDefaults) {
  TiffBuilder b(true);
  b.Image(1, 1, 8, 1, 1, {0});
  b.Short(297, {1, 3});
  b.Rational(282, {{72, 1}});
  b.Rational(283, {{0, 0}});
  b.Short(296, {3});
  b.Raw(269, 2, 3, {'a', 'b', 0});
  b.Ascii(270, "abcdef");
  b.Rational(286, {{5, 2}});
  ReadResult r = ReadTiff(b.Build());
  ASSERT_FALSE(r.Aborted);
  const TIOParamsVals& p = *r.Params;
  EXPECT_EQ(p.TiffPageNumber, 1);
  EXPECT_EQ(p.TiffPageCount, 3);
  EXPECT_EQ(p.DpiX, 183);
  EXPECT_NEAR(p.ExifXResolution, 182.88, 1e-9);
  EXPECT_EQ(p.DpiY, QxDefaultDpiY);
  EXPECT_EQ(p.TiffDocumentName, std::string("ab\0", 3));
  EXPECT_EQ(p.TiffImageDescription, "abcdef");
  EXPECT_EQ(p.TiffXPos, 6);  // 2.5 x 2.54 truncated
  EXPECT_EQ(p.TiffLittleEndian, 0);
  EXPECT_EQ(p.TiffCompression, 0);
  EXPECT_EQ(p.TiffPhotometric, 1);
}

TEST(TiffRead, StripsWithoutByteCountsAndAShortLastStrip) {
  TiffBuilder b;
  const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};  // 2 x 5 gray
  b.Long(256, {2});
  b.Long(257, {5});
  b.Short(258, {8});
  b.Short(262, {1});
  b.Long(278, {2});
  const uint32_t at = b.Blob(pixels);
  b.Long(273, {at, at + 4, at + 8});
  ReadResult r = ReadTiff(b.Build());
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(Gray(*r.Bitmap), pixels);
}

TEST(TiffRead, TilesWholeAndOneByIndex) {
  // 20 x 20 gray in 16 x 16 tiles: four tiles, each filled with its index + 1 times 10.
  TiffBuilder b;
  b.Long(256, {20});
  b.Long(257, {20});
  b.Short(258, {8});
  b.Short(262, {1});
  b.Short(322, {16});
  b.Short(323, {16});
  std::vector<uint32_t> offs, counts;
  for (int t = 0; t < 4; ++t) {
    offs.push_back(b.Blob(std::vector<uint8_t>(256, uint8_t(10 * (t + 1)))));
    counts.push_back(256);
  }
  b.Long(324, offs);
  b.Long(325, counts);
  const std::vector<uint8_t> f = b.Build();
  ReadResult all = ReadTiff(f);
  ASSERT_FALSE(all.Aborted);
  ASSERT_EQ(all.Bitmap->Width(), 20);
  EXPECT_EQ(all.Bitmap->GetPixelRGB(0, 0).r, 10);
  EXPECT_EQ(all.Bitmap->GetPixelRGB(19, 0).r, 20);
  EXPECT_EQ(all.Bitmap->GetPixelRGB(0, 19).r, 30);
  EXPECT_EQ(all.Bitmap->GetPixelRGB(19, 19).r, 40);

  // The same with the picture's rows kept in a temporary file.
  {
    const int64_t keep = QxMemoryThresholdOverride;
    QxMemoryThresholdOverride = 16;
    ReadResult file = ReadTiff(f);
    QxMemoryThresholdOverride = keep;
    ASSERT_FALSE(file.Aborted);
    EXPECT_EQ(file.Bitmap->Location(), TQxLocation::qxFile);
    EXPECT_EQ(RgbOf(*file.Bitmap), RgbOf(*all.Bitmap));
  }

  ReadResult one = ReadTiff(f, {.TileIndex = 3});
  ASSERT_FALSE(one.Aborted);
  EXPECT_EQ(one.Bitmap->Width(), 16);
  EXPECT_EQ(one.Bitmap->Height(), 16);
  EXPECT_EQ(one.Bitmap->GetPixelRGB(15, 15).r, 40);
}

TEST(TiffRead, PackBitsRunsStopAtTheRowEnd) {
  // Row 1: a run of 5 (one too many) cut at 4 bytes; row 2 starts with the next control byte.
  TiffBuilder b;
  b.Image(4, 2, 8, 1, 1, {uint8_t(-4), 7, 1, 9, 8}, 32773);
  ReadResult r = ReadTiff(b.Build());
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(Gray(*r.Bitmap), (std::vector<uint8_t>{7, 7, 7, 7, 9, 8, 0, 0}));
}

TEST(TiffRead, DeflateAndLzwWithThePredictor) {
  // 3 x 2 RGB, differenced.
  const std::vector<uint8_t> rows = {10, 20, 30, 1, 1, 1, 2, 2, 2, 50, 60, 70, 255, 0, 1, 0, 0, 0};
  const std::vector<uint8_t> expect = {10, 20, 30, 11, 21, 31, 13, 23, 33, 50, 60, 70, 49, 60, 71, 49, 60, 71};
  for (uint32_t comp : {8u, 32946u, 5u}) {
    SCOPED_TRACE(comp);
    TiffBuilder b;
    b.Image(3, 2, 8, 3, 2, comp == 5 ? Lzw(rows) : Deflate(rows), comp);
    b.Short(317, {2});
    ReadResult r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), expect);
  }
  // Big-endian 16-bit gray with the predictor through LZW gives back the exact words.
  TiffBuilder b(true);
  const std::vector<uint8_t> be = {0x10, 0x00, 0x00, 0x01, 0xFF, 0xFF};  // 4096, +1, -1
  b.Image(3, 1, 16, 1, 1, Lzw(be), 5);
  b.Short(317, {2});
  ReadResult r = ReadTiff(b.Build(), {.Native = true});
  ASSERT_FALSE(r.Aborted);
  ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx16g);
  EXPECT_EQ(r.Bitmap->GetPixel16(0, 0), 4096);
  EXPECT_EQ(r.Bitmap->GetPixel16(1, 0), 4097);
  EXPECT_EQ(r.Bitmap->GetPixel16(2, 0), 4096);
}

TEST(TiffRead, SixteenBitGrayScalingFollowsTheSoftware) {
  for (const char* sw : {"Look@Molli v1.1 extra", "Other"}) {
    TiffBuilder b;
    b.Image(2, 1, 16, 1, 1, {0xFF, 0x0F, 0xFF, 0xFF});
    b.Ascii(305, sw);
    ReadResult r = ReadTiff(b.Build());
    const bool molli = sw[0] == 'L';
    EXPECT_EQ(r.Bitmap->GetPixelRGB(0, 0).r, molli ? 255 : 15) << sw;
    EXPECT_EQ(r.Bitmap->GetPixelRGB(1, 0).r, 255) << sw;
  }
}

TEST(TiffRead, AlphaSamplesFillTheMask) {
  {
    TiffBuilder b;
    b.Image(2, 1, 8, 4, 2, {1, 2, 3, 100, 4, 5, 6, 200});
    b.Short(338, {2});
    const std::vector<uint8_t> f = b.Build();
    ReadResult r = ReadTiff(f);
    ASSERT_TRUE(r.Mask);
    EXPECT_EQ(MaskOf(*r.Mask), (std::vector<uint8_t>{100, 200}));
    EXPECT_EQ(RgbOf(*r.Bitmap), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    ReadResult n = ReadTiff(f, {.IgnoreAlpha = true});
    EXPECT_FALSE(n.Mask);
    EXPECT_EQ(RgbOf(*n.Bitmap), RgbOf(*r.Bitmap));
  }
  // Five samples: associated alpha divides the colours, unassociated does not.
  for (uint32_t kind : {1u, 2u}) {
    TiffBuilder b;
    b.Image(1, 1, 8, 5, 2, {64, 32, 16, 128, 7});
    b.Short(338, {kind, 0});
    ReadResult r = ReadTiff(b.Build());
    ASSERT_TRUE(r.Mask) << kind;
    EXPECT_EQ(MaskOf(*r.Mask), std::vector<uint8_t>{128});
    EXPECT_EQ(RgbOf(*r.Bitmap), kind == 1 ? (std::vector<uint8_t>{127, 63, 31}) : (std::vector<uint8_t>{64, 32, 16}));
  }
  // A palette index with its alpha.
  TiffBuilder b;
  b.Image(1, 1, 8, 2, 3, {5, 0});
  std::vector<uint32_t> map(768, 0);
  map[256 + 5] = 0xFFFF;
  b.Short(320, map);
  ReadResult r = ReadTiff(b.Build());
  ASSERT_TRUE(r.Mask);
  EXPECT_EQ(MaskOf(*r.Mask), std::vector<uint8_t>{0});
  EXPECT_EQ(RgbOf(*r.Bitmap), (std::vector<uint8_t>{0, 255, 0}));
}

TEST(TiffRead, TiledAlphaLandsUnderItsOwnPixels) {
  TiffBuilder b;
  b.Long(256, {20});
  b.Long(257, {16});
  b.Short(258, {8, 8, 8, 8});
  b.Short(262, {2});
  b.Short(277, {4});
  b.Short(338, {2});
  b.Short(322, {16});
  b.Short(323, {16});
  std::vector<uint32_t> offs;
  for (int t = 0; t < 2; ++t) {
    std::vector<uint8_t> tile(16 * 16 * 4, 0);
    for (size_t i = 3; i < tile.size(); i += 4) tile[i] = uint8_t(t ? 99 : 11);
    offs.push_back(b.Blob(tile));
  }
  b.Long(324, offs);
  b.Long(325, {1024, 1024});
  ReadResult r = ReadTiff(b.Build());
  ASSERT_TRUE(r.Mask);
  EXPECT_EQ(r.Mask->Scanline(5)[15], 11);
  EXPECT_EQ(r.Mask->Scanline(5)[16], 99);
  EXPECT_EQ(r.Mask->Scanline(15)[19], 99);
}

TEST(TiffRead, PlanarRgb) {
  TiffBuilder b;
  b.Long(256, {2});
  b.Long(257, {1});
  b.Short(258, {8, 8, 8});
  b.Short(262, {2});
  b.Short(277, {3});
  b.Short(284, {2});
  b.Long(273, {b.Blob({1, 2}), b.Blob({3, 4}), b.Blob({5, 6})});
  b.Long(279, {2, 2, 2});
  ReadResult r = ReadTiff(b.Build());
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(RgbOf(*r.Bitmap), (std::vector<uint8_t>{1, 3, 5, 2, 4, 6}));
}

// Layouts of plain sample arithmetic decode; the others are refused with the reason, never loaded black.
TEST(TiffRead, NarrowGraySixteenBitPaletteAndRefusedLayouts) {
  {
    // 3-bit gray 0..7: the levels repeat their bits, 7 gives 255.
    TiffBuilder b;
    b.Image(8, 1, 3, 1, 1, {0x05, 0x39, 0x77});
    ReadResult r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Gray(*r.Bitmap), (std::vector<uint8_t>{0, 36, 73, 109, 146, 182, 219, 255}));
  }
  {
    // A 16-bit index into a colour map of 65536 entries.
    TiffBuilder b;
    b.Image(2, 1, 16, 1, 3, {0x00, 0x00, 0x34, 0x12});
    std::vector<uint32_t> map(3 * 65536, 0);
    map[0x1234] = 0xFF00;                  // red of entry 0x1234
    map[2 * 65536 + 0] = 0x8000;           // blue of entry 0
    b.Short(320, map);
    ReadResult r = ReadTiff(b.Build());
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), (std::vector<uint8_t>{0, 0, 128, 255, 0, 0}));
  }
  struct Case {
    const char* Name;
    std::function<void(TiffBuilder&)> Make;
  };
  const std::vector<Case> refused = {
      {"ICC Lab", [](TiffBuilder& b) { b.Image(1, 1, 8, 3, 9, {1, 2, 3}); }},
      {"ITU Lab", [](TiffBuilder& b) { b.Image(1, 1, 8, 3, 10, {1, 2, 3}); }},
      {"32-bit integer gray", [](TiffBuilder& b) { b.Image(1, 1, 32, 1, 1, {1, 2, 3, 4}); }},
      {"planar gray with alpha",
       [](TiffBuilder& b) {
         b.Long(256, {1});
         b.Long(257, {1});
         b.Short(258, {8, 8});
         b.Short(262, {1});
         b.Short(277, {2});
         b.Short(284, {2});
         b.Long(273, {b.Blob({1}), b.Blob({2})});
         b.Long(279, {1, 1});
       }},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.Name);
    TiffBuilder b;
    c.Make(b);
    ReadResult r = ReadTiff(b.Build());
    EXPECT_TRUE(r.Aborted);
    EXPECT_NE(r.Params->ReadError.find("not supported"), std::string::npos) << r.Params->ReadError;
  }
}

TEST(TiffRead, BadInputIsRefused) {
  auto good = [] {
    TiffBuilder b;
    b.Image(2, 2, 8, 1, 1, {1, 2, 3, 4});
    return b;
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
  };
  std::vector<Case> cases;
  {
    std::vector<uint8_t> v = good().Build();
    v[0] = v[1] = 'X';
    cases.push_back({"byte order", v});
  }
  {
    TiffBuilder b = good();
    b.Short(258, {8, 16, 8});
    cases.push_back({"unequal bits", b.Build()});
  }
  {
    TiffBuilder b;
    b.Long(256, {0});
    b.Long(257, {2});
    b.Long(273, {8});
    cases.push_back({"zero width", b.Build()});
  }
  {
    TiffBuilder b;
    b.Long(256, {2});
    b.Long(257, {2});
    cases.push_back({"no strips", b.Build()});
  }
  {
    // Pixels that no 200-byte file can hold, uncompressed or deflated.
    for (uint32_t comp : {1u, 8u}) {
      TiffBuilder b;
      b.Long(256, {100000});
      b.Long(257, {100000});
      b.Short(258, {8, 8, 8});
      b.Short(277, {3});
      b.Short(259, {comp});
      b.Long(273, {8});
      cases.push_back({comp == 1 ? "huge raw" : "huge deflate", b.Build()});
    }
  }
  {
    TiffBuilder b;
    b.Image(4, 4, 8, 1, 1, {0x78, 0x9C, 0x01, 0x02, 0x03}, 8);
    cases.push_back({"broken deflate", b.Build()});
  }
  for (const auto& c : cases) {
    ReadResult r = ReadTiff(c.Data);
    EXPECT_TRUE(r.Aborted) << c.Name;
  }
  // Every truncation of a good file ends cleanly.
  const std::vector<uint8_t> f = good().Build();
  for (size_t n = 0; n < f.size(); ++n) {
    std::vector<uint8_t> cut(f.begin(), f.begin() + long(n));
    ReadTiff(cut);
  }
}

TEST(TiffRead, SubImageFromSubIfds) {
  // The main page points at a second directory, appended after it, through a LONG SubIFDs of count 1.
  TiffBuilder b;
  b.Image(1, 1, 8, 1, 1, {10});
  b.Long(330, {0});
  std::vector<uint8_t> f = b.Build();
  if (f.size() & 1) f.push_back(0);
  const uint32_t strip = uint32_t(f.size());
  f.insert(f.end(), {77, 88});
  const uint32_t ifd = uint32_t(f.size());
  auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { for (int k = 0; k < 4; ++k) f.push_back(uint8_t(v >> (8 * k))); };
  const uint32_t entries[][3] = {{256, 4, 2}, {257, 4, 1}, {258, 3, 8}, {262, 3, 1}, {273, 4, strip}, {279, 4, 2}};
  put16(6);
  for (const auto& e : entries) {
    put16(e[0]);
    put16(e[1]);
    put32(1);
    put32(e[2]);
  }
  put32(0);
  // Patch the SubIFDs value of the main directory.
  const uint32_t main = f[4] | (f[5] << 8) | (f[6] << 16) | (uint32_t(f[7]) << 24);
  const uint32_t n = f[main] | (f[main + 1] << 8);
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t* e = &f[main + 2 + 12 * i];
    if ((e[0] | (e[1] << 8)) == 330)
      for (int k = 0; k < 4; ++k) e[8 + k] = uint8_t(ifd >> (8 * k));
  }
  ReadResult r = ReadTiff(f, {.SubIndex = 0});
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(Gray(*r.Bitmap), (std::vector<uint8_t>{77, 88}));
  EXPECT_EQ(r.Pages, 1);
  ReadResult top = ReadTiff(f);
  EXPECT_EQ(Gray(*top.Bitmap), std::vector<uint8_t>{10});
}

// A strip whose LZW codes clear the table and end, then go on: once crashed the reader on the next row.
TEST(TiffRead, LzwClearThenEndInAStripLoadsWithoutCrashing) {
  TiffBuilder b;
  b.Image(64, 5, 8, 1, 1, {0x10, 0x06, 0x24, 0x30, 0x28, 0x04, 0x04, 0x28}, 5);
  ReadResult r = ReadTiff(b.Build());
  if (!r.Aborted) {
    ASSERT_TRUE(r.Bitmap);
    EXPECT_EQ(r.Bitmap->Width(), 64);
    EXPECT_EQ(r.Bitmap->Height(), 5);
  }
}
