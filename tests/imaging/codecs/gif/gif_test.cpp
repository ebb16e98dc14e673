// The GIF codec: hand-built files read field by field, round trips through the I/O component, frame
// removal, refusal of bad files, and files exchanged with Pillow and ImageMagick.
#include <algorithm>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/gif.h"
#include "imaging/codecs/lzw.h"
#include "imaging/foundation/mask.h"
#include "imaging/io/io_init.h"
#include "imaging/io/quillot_io.h"
#include "tests/imaging/io/io_test_util.h"

using namespace qvio;

namespace {

struct Registered {
  Registered() { QxRegisterGifCodec(); }
} registered;

using Table = std::vector<TQxRGB>;  // blue, green, red as the bitmap model keeps them

TQxRGB Rgb(uint8_t r, uint8_t g, uint8_t b) { return TQxRGB{b, g, r}; }

// Builds GIF files block by block; image data is coded by our encoder.
struct GifFile {
  std::vector<uint8_t> b;
  void U16(int v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  }
  void Colors(const Table& t) {
    for (auto c : t) b.insert(b.end(), {c.r, c.g, c.b});
  }
  static int SizeBits(const Table& t) {
    int n = 0;
    while ((2 << n) < int(t.size())) ++n;
    return n;
  }
  GifFile& Header(int w, int h, const Table& global, int bg = 0, const char* version = "GIF89a") {
    b.insert(b.end(), version, version + 6);
    U16(w);
    U16(h);
    b.push_back(global.empty() ? 0 : uint8_t(0x80 | SizeBits(global) << 4 | SizeBits(global)));
    b.push_back(uint8_t(bg));
    b.push_back(0);
    Colors(global);
    return *this;
  }
  GifFile& Control(int disposal, bool transparent, int delay, int index) {
    b.insert(b.end(), {0x21, 0xF9, 4, uint8_t(disposal << 2 | (transparent ? 1 : 0))});
    U16(delay);
    b.insert(b.end(), {uint8_t(index), 0});
    return *this;
  }
  GifFile& Comment(const std::vector<std::string>& lines) {
    b.insert(b.end(), {0x21, 0xFE});
    for (const auto& l : lines) {
      b.push_back(uint8_t(l.size()));
      b.insert(b.end(), l.begin(), l.end());
    }
    b.push_back(0);
    return *this;
  }
  GifFile& Frame(int x, int y, int w, int h, const std::vector<uint8_t>& idx, const Table& local = {},
                 bool interlaced = false, int bits = 8) {
    b.push_back(0x2C);
    U16(x);
    U16(y);
    U16(w);
    U16(h);
    b.push_back(uint8_t((local.empty() ? 0 : 0x80 | SizeBits(local)) | (interlaced ? 0x40 : 0)));
    Colors(local);
    TMemoryStream s;
    GifLzwEncode(&s, h, w, interlaced, idx.data(), bits);
    auto d = BytesOf(s);
    b.insert(b.end(), d.begin(), d.end());
    return *this;
  }
  std::vector<uint8_t> Done() {
    b.push_back(0x3B);
    return b;
  }
};

struct ReadResult {
  std::unique_ptr<TQxBitmap> bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TQxMask> mask;
  int32_t frames = -1;
  bool aborted = false;
};

ReadResult Read(const std::vector<uint8_t>& file, TIOParamsVals& p, bool paramsOnly = false, bool noMask = false) {
  ReadResult r;
  auto s = StreamOf(file);
  TestProgress pr;
  TQxMask* m = nullptr;
  ReadGifStream(s.get(), r.bitmap.get(), r.frames, p, pr.Info, paramsOnly, m, noMask);
  r.mask.reset(m);
  r.aborted = pr.Aborting;
  return r;
}

std::vector<uint8_t> Write(TQxBitmap& b, TIOParamsVals& p, bool* aborted = nullptr) {
  TMemoryStream s;
  TestProgress pr;
  WriteGifStream(&s, &b, p, pr.Info);
  if (aborted) *aborted = pr.Aborting;
  else EXPECT_FALSE(pr.Aborting);
  return BytesOf(s);
}

std::vector<uint8_t> Ramp(int n, int mod) {
  std::vector<uint8_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[size_t(i)] = uint8_t((i * 7 + i / 5) % mod);
  return v;
}

// A 24-bit picture of at most 168 colours, which a 256-entry table holds exactly.
std::unique_ptr<TQxBitmap> FewColours(int w, int h) {
  auto b = std::make_unique<TQxBitmap>(w, h, TQxPixelFormat::qx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->SetPixel24(x, y, Rgb(uint8_t(x % 7 * 40), uint8_t(y % 6 * 50), uint8_t((x + y) % 4 * 60)));
  return b;
}

// Expected qx24RGB bytes (red, green, blue) of indexes through a table.
std::vector<uint8_t> Colours(const std::vector<uint8_t>& idx, const Table& t) {
  std::vector<uint8_t> out;
  for (auto i : idx) out.insert(out.end(), {t[i].r, t[i].g, t[i].b});
  return out;
}

const Table kGlobal{Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255), Rgb(10, 20, 30)};
const Table kLocal{Rgb(1, 2, 3), Rgb(4, 5, 6), Rgb(7, 8, 9), Rgb(200, 100, 50), Rgb(9, 9, 9), Rgb(0, 0, 0),
                   Rgb(1, 1, 1), Rgb(2, 2, 2)};

// Three frames: the first plain, the second with its own table, control values and a comment in front,
// the third interlaced and transparent. Drop leaves out frames (bit k: frame k and its control block).
std::vector<uint8_t> ThreeFrames(int drop = 0) {
  GifFile g;
  g.Header(20, 12, kGlobal, 3).Comment({"first", std::string("cut\0off", 7)});
  if (!(drop & 1)) g.Frame(0, 0, 20, 12, Ramp(240, 4), {}, false, 2);
  if (!(drop & 2)) g.Control(1, false, 25, 0);
  g.Comment({"second"});
  if (!(drop & 2)) g.Frame(3, 2, 9, 5, Ramp(45, 8), kLocal, false, 3);
  if (!(drop & 4)) g.Control(3, true, 7, 2).Frame(1, 1, 6, 7, Ramp(42, 4), {}, true, 2);
  return g.Done();
}

}  // namespace

TEST(GifRead, FramesKeepTheirOwnFields) {
  struct Case {
    int index;
    int w, h, x, y, delay, transparent, action, interlaced, bits;
    std::vector<uint8_t> idx;
    Table table;
  };
  const Case cases[] = {
      {0, 20, 12, 0, 0, 0, 0, 0, 0, 2, Ramp(240, 4), kGlobal},
      {1, 9, 5, 3, 2, 25, 0, 1, 0, 3, Ramp(45, 8), kLocal},
      {2, 6, 7, 1, 1, 7, 1, 3, 1, 2, Ramp(42, 4), kGlobal},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    TIOParamsVals p;
    p.GifImageIndex = c.index;
    p.GifComments = {"stale"};
    auto r = Read(ThreeFrames(), p, false, true);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.frames, 3);
    EXPECT_EQ(p.GifImageCount, 3);
    EXPECT_EQ(p.ImageCount, 3);
    EXPECT_EQ(r.bitmap->PixelFormat(), TQxPixelFormat::qx24RGB);
    EXPECT_EQ(RgbOf(*r.bitmap), Colours(c.idx, c.table));
    EXPECT_EQ((std::vector<int>{p.Width, p.Height, p.OriginalWidth, p.OriginalHeight, p.GifXPos, p.GifYPos}),
              (std::vector<int>{c.w, c.h, c.w, c.h, c.x, c.y}));
    EXPECT_EQ((std::vector<int>{p.GifDelayTime, p.GifTransparent, p.GifAction, p.GifInterlaced, p.BitsPerSample,
                                p.ColorMapCount}),
              (std::vector<int>{c.delay, c.transparent, c.action, c.interlaced, c.bits, 1 << c.bits}));
    EXPECT_EQ(p.GifTranspColor, c.table[c.index == 2 ? 2 : 0]);
    EXPECT_EQ(p.GifVersion, "GIF89a");
    EXPECT_EQ((std::vector<int>{p.GifWinWidth, p.GifWinHeight, p.DpiX, p.SamplesPerPixel}),
              (std::vector<int>{20, 12, 300, 1}));
    EXPECT_EQ(p.GifBackground, kGlobal[3]);
    // Every comment block of the file, one line per sub-block, text up to its first zero byte.
    EXPECT_EQ(p.GifComments, (TQxTextList{"first", "cut", "second"}));
  }
}

TEST(GifRead, NativeFormatAndParamsOnly) {
  TIOParamsVals p;
  p.GifImageIndex = 1;
  p.NativePixelFormat = 1;
  auto r = Read(ThreeFrames(), p);
  ASSERT_FALSE(r.aborted);
  ASSERT_EQ(r.bitmap->PixelFormat(), TQxPixelFormat::qx8p);
  EXPECT_EQ(r.bitmap->PaletteColor(3), kLocal[3]);
  EXPECT_EQ(r.bitmap->GetPixel8(8, 4), Ramp(45, 8)[44]);

  TIOParamsVals q;
  q.GifImageIndex = 2;
  auto o = Read(ThreeFrames(), q, true);
  EXPECT_FALSE(o.aborted);
  EXPECT_TRUE(o.bitmap->IsEmpty());
  EXPECT_EQ(o.frames, 3);
  EXPECT_EQ(q.Width, 6);
  EXPECT_EQ(q.ColorMap, kGlobal);
}

TEST(GifRead, TwoColourFrames) {
  const Table bw{Rgb(0, 0, 0), Rgb(255, 255, 255)}, wb{Rgb(255, 255, 255), Rgb(0, 0, 0)};
  for (int w : {9, 17}) {
    SCOPED_TRACE(w);
    std::vector<uint8_t> idx(size_t(w) * 3, 0);
    idx[size_t(w) - 1] = 1;       // the last pixel of the first row
    idx[size_t(w) * 3 - 1] = 1;   // and of the last
    idx[size_t(w) + 2] = 1;
    TIOParamsVals p;
    auto r = Read(GifFile().Header(w, 3, bw).Frame(0, 0, w, 3, idx, {}, false, 1).Done(), p);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.bitmap->PixelFormat(), TQxPixelFormat::qx1g);
    EXPECT_EQ(RgbOf(*r.bitmap), Colours(idx, bw));
    TIOParamsVals q;
    auto s = Read(GifFile().Header(w, 3, wb).Frame(0, 0, w, 3, idx, {}, false, 1).Done(), q);
    EXPECT_EQ(s.bitmap->PixelFormat(), TQxPixelFormat::qx24RGB);
    EXPECT_EQ(RgbOf(*s.bitmap), Colours(idx, wb));
  }
}

TEST(GifRead, TransparencyMask) {
  const std::vector<uint8_t> idx{0, 1, 2, 3, 2, 1};
  TIOParamsVals p;
  auto r = Read(GifFile().Header(3, 2, kGlobal).Control(0, true, 0, 2).Frame(0, 0, 3, 2, idx, {}, false, 2).Done(), p);
  ASSERT_TRUE(r.mask);
  EXPECT_EQ(r.mask->BitsPerPixel(), 8);
  std::vector<int> alpha;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) alpha.push_back(r.mask->GetPixel(x, y));
  EXPECT_EQ(alpha, (std::vector<int>{255, 255, 0, 255, 0, 255}));
  // A transparent index no pixel uses gives no mask at all.
  TIOParamsVals q;
  auto s = Read(GifFile().Header(3, 2, kGlobal).Control(0, true, 0, 3).Frame(0, 0, 3, 2, {0, 1, 2, 0, 1, 2}, {}, false, 2).Done(), q);
  EXPECT_FALSE(s.aborted);
  EXPECT_TRUE(q.GifTransparent);
  EXPECT_EQ(s.mask, nullptr);
}

TEST(GifRead, BadFilesAreRefused) {
  const auto good = ThreeFrames();
  auto withByte = [&](size_t at, uint8_t v) {
    auto f = good;
    f[at] = v;
    return f;
  };
  auto huge = GifFile().Header(60000, 60000, kGlobal).Frame(0, 0, 1, 1, {0}, {}, false, 2).Done();
  huge[13 + 12 + 5] = 0x60, huge[13 + 12 + 6] = 0xEA, huge[13 + 12 + 7] = 0x60, huge[13 + 12 + 8] = 0xEA;
  const std::size_t codeSizeAt = 13 + 12 + 17 + 10;  // header, table, comment, descriptor
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    int index;
  };
  const Case cases[] = {
      {"no signature", withByte(0, 'g'), 0},
      {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 10), 0},
      {"cut in the colour table", std::vector<uint8_t>(good.begin(), good.begin() + 20), 0},
      {"file ends after the table", std::vector<uint8_t>(good.begin(), good.begin() + 25), 0},
      {"bad minimum code size", withByte(codeSizeAt, 12), 0},
      {"huge frame in a small file", huge, 0},
      {"no such frame", good, 3},
      {"empty", {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TIOParamsVals p;
    p.GifImageIndex = c.index;
    EXPECT_TRUE(Read(c.file, p).aborted);
  }
  // Every cut of a good file reads without a fault; none reports more frames than it holds.
  for (size_t n = 0; n < good.size(); ++n) {
    TIOParamsVals p;
    p.GifImageIndex = 1;
    auto r = Read(std::vector<uint8_t>(good.begin(), good.begin() + long(n)), p);
    EXPECT_LE(r.frames, 3);
  }
}

TEST(GifRead, WithoutCoderTheFrameIsRefused) {
  TIOParamsVals p;
  p.GifLzwDecompress = nullptr;
  const TQxLzwHook saved = QxGifLzwDecodeHook;
  QxGifLzwDecodeHook = nullptr;
  auto r = Read(ThreeFrames(), p);
  QxGifLzwDecodeHook = saved;
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(p.GifImageCount, 0);
}

// ------------------------------------------------------------------ writing

TEST(GifWrite, AlphaReservesTheLastIndex) {
  auto src = MakeRGB(40, 30);
  TQxBitmap* a = src->GetAlphaChannel();
  for (int x = 0; x < 40; ++x) a->SetPixel8(x, 0, 0);
  TIOParamsVals p;
  p.GifComments.clear();
  const auto f = Write(*src, p);
  EXPECT_TRUE(p.GifTransparent);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 6), "GIF89a");
  EXPECT_EQ(f[10], 0xF7);  // 256-entry table
  const size_t gce = 13 + 768;
  EXPECT_EQ((std::vector<uint8_t>(f.begin() + long(gce), f.begin() + long(gce) + 4)),
            (std::vector<uint8_t>{0x21, 0xF9, 4, 2 * 4 + 1}));
  EXPECT_EQ(f[gce + 6], 255);
  // An empty comment extension and the trailer close the file.
  EXPECT_EQ((std::vector<uint8_t>(f.end() - 4, f.end())), (std::vector<uint8_t>{0x21, 0xFE, 0, 0x3B}));
  TIOParamsVals q;
  auto r = Read(f, q);
  ASSERT_FALSE(r.aborted);
  ASSERT_TRUE(r.mask);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(r.mask->GetPixel(x, 0), 0);
  EXPECT_EQ(r.mask->GetPixel(0, 1), 255);
  // 255 colours at most, none of them at the transparent index in the opaque rows.
  TIOParamsVals n;
  n.NativePixelFormat = 1;
  auto idx = Read(f, n);
  for (int y = 1; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_LT(idx.bitmap->GetPixel8(x, y), 255);
}

TEST(GifWrite, OpaquePixelsNeverTakeTheTransparentIndex) {
  // A full palette with an alpha channel: index 255 is reserved, so the opaque pixels that used it move to
  // the nearest colour left.
  TQxBitmap pal(4, 1, TQxPixelFormat::qx8p);
  for (int i = 0; i < 256; ++i) pal.SetPaletteColor(i, Rgb(uint8_t(i), uint8_t(i), uint8_t(i)));
  for (int x = 0; x < 4; ++x) pal.SetPixel8(x, 0, uint8_t(252 + x));
  pal.GetAlphaChannel()->Fill(255);
  // A 1-bit picture with an alpha channel is written from its bits: white stays white and opaque.
  TQxBitmap bw(9, 1, TQxPixelFormat::qx1g);
  bw.Scanline(0)[0] = 0xAA;
  bw.Scanline(0)[1] = 0x80;
  bw.GetAlphaChannel()->Fill(255);
  struct Case {
    const char* name;
    TQxBitmap* src;
    int bits;
    std::vector<uint8_t> rgb;
  };
  const Case cases[] = {
      {"palette", &pal, 8, {252, 252, 252, 253, 253, 253, 254, 254, 254, 254, 254, 254}},
      {"black and white", &bw, 1, Colours({1, 0, 1, 0, 1, 0, 1, 0, 1}, {Rgb(0, 0, 0), Rgb(255, 255, 255)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TIOParamsVals p;
    p.BitsPerSample = c.bits;
    TIOParamsVals q;
    auto r = Read(Write(*c.src, p), q);
    ASSERT_FALSE(r.aborted);
    EXPECT_EQ(r.mask, nullptr);
    EXPECT_EQ(RgbOf(*r.bitmap), c.rgb);
  }
}

TEST(GifWrite, FieldsAndCommentsSurvive) {
  auto src = MakeRGB(13, 9);
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.GifVersion = "GIF87a";
  p.GifXPos = 5;
  p.GifYPos = 6;
  p.GifDelayTime = 300;
  p.GifAction = 1;
  p.GifInterlaced = 1;
  const std::string longLine(300, 'x');
  p.GifComments = {"Quorvel", "", longLine, "caf\xc3\xa9"};
  TIOParamsVals q;
  auto r = Read(Write(*src, p), q);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(q.GifVersion, "GIF87a");
  EXPECT_EQ((std::vector<int>{q.GifXPos, q.GifYPos, q.GifDelayTime, q.GifAction, q.GifInterlaced, q.GifTransparent}),
            (std::vector<int>{5, 6, 300, 1, 1, 0}));
  // A long line goes on in a second sub-block; nothing is lost, the empty line is not written.
  EXPECT_EQ(q.GifComments, (TQxTextList{"Quorvel", std::string(255, 'x'), std::string(45, 'x'), "caf\xc3\xa9"}));
  EXPECT_EQ(RgbOf(*r.bitmap), RgbOf(*src));  // fewer than 256 colours: exact
}

TEST(GifWrite, RoundTripsEveryDepthThroughTheComponent) {
  const std::string d = TempDir();
  auto rgb = FewColours(31, 17);
  TQxBitmap pal(23, 11, TQxPixelFormat::qx8p);
  for (int i = 0; i < 256; ++i) pal.SetPaletteColor(i, Rgb(uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)));
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 23; ++x) pal.SetPixel8(x, y, uint8_t((x * 11 + y * 5) % 16));
  TQxBitmap bw(17, 5, TQxPixelFormat::qx1g);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 17; ++x)
      if ((x + y) % 3 == 0) bw.Scanline(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
  struct Case {
    const char* name;
    TQxBitmap* src;
    int bits;
    TQxPixelFormat loaded;
  };
  const Case cases[] = {
      {"24-bit at 8 bits", rgb.get(), 8, TQxPixelFormat::qx24RGB},
      {"palette at 4 bits", &pal, 4, TQxPixelFormat::qx24RGB},
      {"black and white at 1 bit", &bw, 1, TQxPixelFormat::qx1g},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TQuillotIO w(c.src);
    w.Params->BitsPerSample = c.bits;
    w.SaveToFile(d + "/rt.gif");
    ASSERT_FALSE(w.Aborting);
    TQuillotIO r;
    r.LoadFromFile(d + "/rt.gif");
    ASSERT_FALSE(r.Aborting);
    EXPECT_EQ(r.WorkBitmap()->PixelFormat(), c.loaded);
    EXPECT_EQ(r.Params->BitsPerSample, c.bits);
    EXPECT_EQ(RgbOf(*r.WorkBitmap()), RgbOf(*c.src));
    EXPECT_EQ(r.Params->ImageCount, 1);
  }
}

TEST(GifWrite, RefusedWithoutCoderOrTooLarge) {
  auto src = MakeRGB(4, 4);
  TIOParamsVals p;
  p.GifLzwCompress = nullptr;
  const TQxLzwHook saved = QxGifLzwEncodeHook;
  QxGifLzwEncodeHook = nullptr;
  bool aborted = false;
  const auto f = Write(*src, p, &aborted);
  QxGifLzwEncodeHook = saved;
  EXPECT_TRUE(aborted);
  EXPECT_EQ(f.back(), 10 * 0 + 0);  // the file ends after the image descriptor's packed byte
  TQxBitmap wide(70000, 1, TQxPixelFormat::qx24RGB);
  TIOParamsVals q;
  Write(wide, q, &aborted);
  EXPECT_TRUE(aborted);
}

// ------------------------------------------------------------------ frames through the component and on disk

TEST(GifFile, ComponentComposesAndKeepsCommentsOnce) {
  const std::string d = TempDir();
  WriteFile(d + "/three.gif", ThreeFrames());
  TQuillotIO io;
  io.Params->GifImageIndex = 2;
  io.LoadFromFile(d + "/three.gif");
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.WorkBitmap()->Width(), 20);
  EXPECT_EQ(io.Params->GifImageCount, 3);
  EXPECT_EQ(io.Params->GifComments, (TQxTextList{"first", "cut", "second"}));
  EXPECT_EQ(io.Params->ImageCount, 3);
}

namespace {

// A stream that cannot tell its size, as a decompressing stream.
class UnsizedStream : public TMemoryStream {
 public:
  bool SizeKnown() override { return false; }
};

}  // namespace

TEST(GifRead, SizesAreCheckedAgainstTheDataAndTheCallersLimit) {
  const auto file = ThreeFrames();
  UnsizedStream unsized;
  unsized.WriteBuffer(file.data(), int64_t(file.size()));
  unsized.SetPosition(0);
  TIOParamsVals p;
  TestProgress pr;
  TQxMask* m = nullptr;
  int32_t frames = 0;
  TQxBitmap b;
  ReadGifStream(&unsized, &b, frames, p, pr.Info, false, m, true);
  EXPECT_FALSE(pr.Aborting);
  EXPECT_EQ(b.Width(), 20);

  TIOParamsVals small;
  small.MaxPixels = 20 * 12 - 1;
  EXPECT_TRUE(Read(file, small).aborted);
  small.MaxPixels = 20 * 12;
  EXPECT_FALSE(Read(file, small).aborted);
}

TEST(GifFile, ALogicalScreenPastTheLimitIsRefusedAndTheCanvasIsFilledByRows) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow on /usr/bin/python3 is missing";
  const std::string d = TempDir();
  // Two 6 x 4 frames, the second at (3, 2), the first disposed to the background.
  ASSERT_EQ(Shell("cd '" + d + "' && /usr/bin/python3 -c \"from PIL import Image\n"
                  "a=Image.new('RGB',(6,4),(255,0,0)); b=Image.new('RGB',(6,4),(0,0,255))\n"
                  "a.save('two.gif',save_all=True,append_images=[b],disposal=2,duration=50,optimize=False)\""),
            0);
  auto valid = ReadFile(d + "/two.gif");
  ASSERT_GT(valid.size(), 13u);
  // Pillow places both at the corner: the second frame's descriptor moves it.
  const std::vector<uint8_t> descriptor{0x2C, 0, 0, 0, 0, 6, 0, 4, 0};
  auto first = std::search(valid.begin(), valid.end(), descriptor.begin(), descriptor.end());
  ASSERT_NE(first, valid.end());
  auto second = std::search(first + 1, valid.end(), descriptor.begin(), descriptor.end());
  ASSERT_NE(second, valid.end());
  second[1] = 3;
  second[3] = 2;
  auto withScreen = [&](int W, int H) {
    auto f = valid;
    f[6] = uint8_t(W), f[7] = uint8_t(W >> 8), f[8] = uint8_t(H), f[9] = uint8_t(H >> 8);
    return f;
  };
  struct Case {
    int w, h;
    int64_t limit;
    bool loads;
  };
  for (const Case& c : {Case{65535, 65535, QxDefaultMaxPixels, false}, Case{300, 200, 300 * 200 - 1, false},
                        Case{300, 200, 300 * 200, true}}) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " within " + std::to_string(c.limit));
    auto s = StreamOf(withScreen(c.w, c.h));
    TQuillotIO io;
    io.Params->MaxPixels = c.limit;
    io.Params->GifImageIndex = 1;
    io.LoadFromStream(*s);
    EXPECT_EQ(io.Aborting.load(), !c.loads);
    if (!c.loads) continue;
    TQxBitmap* w = io.WorkBitmap();
    ASSERT_EQ(w->Width(), 300);
    ASSERT_EQ(w->Height(), 200);
    const TQxRGB bg = w->GetPixel24(299, 199);
    EXPECT_EQ(w->GetPixel24(0, 0), bg);  // where the disposed first frame was
    EXPECT_EQ(w->GetPixel24(2, 1), bg);
    EXPECT_EQ(w->GetPixel24(3, 2), Rgb(0, 0, 255));
    EXPECT_EQ(w->GetPixel24(8, 5), Rgb(0, 0, 255));
    EXPECT_EQ(w->GetPixel24(9, 5), bg);
    EXPECT_EQ(w->GetAlpha(299, 199), 0);
    EXPECT_EQ(w->GetAlpha(0, 0), 0);
    EXPECT_EQ(w->GetAlpha(3, 2), 255);
  }
}

TEST(GifFile, RemoveFrame) {
  const std::string d = TempDir();
  const std::string f = d + "/a.gif";
  auto src = ThreeFrames();
  src[5] = '7';  // GIF87a on disk
  WriteFile(f, src);
  EXPECT_EQ(GifRemoveFrame(f.c_str(), -1, false), 3);
  EXPECT_EQ(ReadFile(f), src);
  EXPECT_EQ(GifRemoveFrame(f.c_str(), -1, true), 3);
  auto rewritten = src;
  rewritten[5] = 'a';
  EXPECT_EQ(ReadFile(f), rewritten);

  // Frame 2 and the control block in front of it go; frame 1 keeps its own.
  EXPECT_EQ(GifRemoveFrame(f.c_str(), 2, true), 2);
  TIOParamsVals p;
  p.GifImageIndex = 1;
  auto r = Read(ReadFile(f), p);
  ASSERT_FALSE(r.aborted);
  EXPECT_EQ(r.frames, 2);
  EXPECT_EQ(p.GifDelayTime, 25);
  EXPECT_EQ(ReadFile(f), ThreeFrames(4));
  EXPECT_EQ(GifRemoveFrame(f.c_str(), 0, true), 1);
  EXPECT_EQ(ReadFile(f), ThreeFrames(5));

  // Not a GIF, or blocks that run past the end: 0 or the count so far, and the file stays as it was.
  const std::string txt = d + "/b.gif";
  WriteText(txt, "not a picture at all");
  EXPECT_EQ(GifRemoveFrame(txt.c_str(), 0, true), 0);
  EXPECT_EQ(ReadFile(txt).size(), 20u);
  std::vector<uint8_t> cut(src.begin(), src.end() - 5);
  WriteFile(d + "/c.gif", cut);
  EXPECT_EQ(GifRemoveFrame((d + "/c.gif").c_str(), 0, true), 2);
  EXPECT_EQ(ReadFile(d + "/c.gif"), cut);
  EXPECT_THROW(GifRemoveFrame((d + "/missing.gif").c_str(), -1, false), Exception);
}

// ------------------------------------------------------------------ outside readers and writers

TEST(GifInterop, PillowReadsOurFiles) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow on /usr/bin/python3 is missing";
  const std::string d = TempDir();
  auto src = FewColours(37, 21);
  for (int interlaced = 0; interlaced < 2; ++interlaced) {
    TIOParamsVals p;
    p.GifInterlaced = uint8_t(interlaced);
    WriteFile(d + "/o.gif", Write(*src, p));
    EXPECT_EQ(PillowPixels(d + "/o.gif", "RGB"), RgbOf(*src)) << interlaced;
  }
  // Transparency: the pixels with alpha 0 come out transparent, the rest opaque with their colour.
  TQxBitmap* a = src->GetAlphaChannel();
  for (int y = 0; y < 21; ++y) a->SetPixel8(3, y, 0);
  TIOParamsVals p;
  WriteFile(d + "/t.gif", Write(*src, p));
  const auto px = PillowPixels(d + "/t.gif", "RGBA");
  ASSERT_EQ(px.size(), size_t(37 * 21 * 4));
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 37; ++x) ASSERT_EQ(px[size_t(y * 37 + x) * 4 + 3], x == 3 ? 0 : 255) << x << "," << y;
}

TEST(GifInterop, WeReadPillowAndMagickFiles) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow on /usr/bin/python3 is missing";
  const std::string d = TempDir();
  // An animation of three palette frames of different sizes, the second interlaced by ImageMagick below.
  ASSERT_EQ(Shell("cd '" + d + "' && /usr/bin/python3 -c \"from PIL import Image\n"
                  "fr=[]\n"
                  "for k,(w,h) in enumerate([(41,23),(41,23),(41,23)]):\n"
                  "  im=Image.new('P',(w,h)); im.putpalette([(i*37+k*50)%256 for i in range(768)])\n"
                  "  im.putdata([(x*x+y*3+k*7)%256 for y in range(h) for x in range(w)]); fr.append(im)\n"
                  "fr[0].save('anim.gif',save_all=True,append_images=fr[1:],duration=[100,200,300],"
                  "comment=b'made here',loop=0,disposal=1)\n"
                  "for k,f in enumerate(fr): f.convert('RGB').save('f%d.png'%k)\""),
            0);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    TIOParamsVals p;
    p.GifImageIndex = k;
    auto s = StreamOf(ReadFile(d + "/anim.gif"));
    TestProgress pr;
    TQxMask* m = nullptr;
    int32_t frames = 0;
    TQxBitmap b;
    ReadGifStream(s.get(), &b, frames, p, pr.Info, false, m, true);
    ASSERT_FALSE(pr.Aborting);
    EXPECT_EQ(frames, 3);
    // Pillow may store a later frame as the changed rectangle only; compare where it lies.
    const auto want = PillowPixels(d + "/f" + std::to_string(k) + ".png", "RGB");
    const auto got = RgbOf(b);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(got[size_t(y * b.Width() + x) * 3 + c], want[size_t((y + p.GifYPos) * 41 + x + p.GifXPos) * 3 + c])
              << x << "," << y;
    if (k == 0) {
      EXPECT_EQ(p.GifComments, (TQxTextList{"made here"}));
    }
  }
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is missing";
  ASSERT_EQ(Shell("cd '" + d + "' && convert f1.png -interlace GIF il.gif"), 0);
  TQuillotIO io;
  io.LoadFromFile(d + "/il.gif");
  ASSERT_FALSE(io.Aborting);
  EXPECT_TRUE(io.Params->GifInterlaced);
  // ImageMagick may nudge a few colours while it builds its table: Pillow's reading of the same file is the reference.
  EXPECT_EQ(RgbOf(*io.WorkBitmap()), PillowPixels(d + "/il.gif", "RGB"));
}

// A frame disposed with "restore to previous" leaves the canvas as it was before it, as ImageMagick composes
// the animation.
TEST(GifFile, RestoreToPreviousTakesTheFrameOffTheCanvas) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is missing";
  const ScopedTempDir d;
  GifFile g;
  g.Header(12, 8, kGlobal);
  g.Control(1, false, 10, 0).Frame(0, 0, 12, 8, std::vector<uint8_t>(96, 0), {}, false, 2);
  g.Control(3, false, 10, 0).Frame(2, 1, 5, 4, std::vector<uint8_t>(20, 1), {}, false, 2);
  g.Control(3, false, 10, 0).Frame(6, 3, 4, 4, std::vector<uint8_t>(16, 2), {}, false, 2);
  g.Control(1, false, 10, 0).Frame(1, 5, 3, 2, std::vector<uint8_t>(6, 3), {}, false, 2);
  WriteFile(d / "restore.gif", g.Done());
  ASSERT_EQ(Shell("cd '" + d.Path + "' && convert restore.gif -coalesce -depth 8 rgb:f%d.rgb"), 0);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    TQuillotIO io;
    io.Params->GifImageIndex = k;
    io.LoadFromFile(d / "restore.gif");
    ASSERT_FALSE(io.Aborting);
    const auto want = ReadFile(d / ("f" + std::to_string(k) + ".rgb"));
    ASSERT_EQ(want.size(), 12u * 8 * 3);
    EXPECT_EQ(RgbOf(*io.WorkBitmap()), want);
  }
}

// A lone frame without pixels is a failed load that says why, not an empty success.
TEST(GifRead, AnEmptyOnlyFrameIsRefusedWithAReason) {
  GifFile g;
  g.Header(0, 5, kGlobal).Frame(0, 0, 0, 5, {}, {}, false, 2);
  TIOParamsVals p;
  ReadResult r = Read(g.Done(), p);
  EXPECT_TRUE(r.aborted);
  EXPECT_NE(p.ReadError.find("empty"), std::string::npos) << p.ReadError;
  TIOParamsVals q;
  EXPECT_FALSE(Read(g.Done(), q, true).aborted);  // its fields can still be read
}
