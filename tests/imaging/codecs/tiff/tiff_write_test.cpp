// The TIFF writer: layouts, strips, insertion, round trips through the I/O component, and the probes.
#include <cstring>

#include "imaging/codecs/tiff_internal.h"
#include "imaging/io/quillot_io.h"
#include "tiff_test_util.h"

using namespace qvtiff;

namespace {

// Directory 0 of a written file, for looking at its entries.
struct Dir {
  std::unique_ptr<TMemoryStream> S;
  TTIFFDirectory D;
  explicit Dir(const std::vector<uint8_t>& Data, int32_t Page = 0) : S(StreamOf(Data)) {
    int32_t pages = 0;
    const uint32_t first = Data[4] | (Data[5] << 8) | (Data[6] << 16) | (uint32_t(Data[7]) << 24);
    EXPECT_TRUE(TiffWalkIFDs(S.get(), 0, true, first, Page, &D, pages));
  }
  int64_t V(uint16_t Tag) const { return D.ReadValue(Tag, -1); }
  bool Has(uint16_t Tag) const { return D.FindTag(Tag) >= 0; }
};

std::unique_ptr<TQxBitmap> WithAlpha(int32_t W, int32_t H) {
  auto b = MakeRGB(W, H);
  TQxBitmap* a = b->GetAlphaChannel();
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) a->Scanline(y)[x] = uint8_t((x * 13 + y) & 0xFF);
  return b;
}

std::vector<uint8_t> AlphaOf(TQxBitmap& B) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) out.push_back(B.HasAlphaChannel() ? B.GetAlpha(x, y) : 255);
  return out;
}

std::unique_ptr<TQxBitmap> MakeBW(int32_t W, int32_t H) {
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx1g);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b->Scanline(y);
    for (int32_t x = 0; x < W; ++x) {
      const bool white = ((x / 3 + y / 5) % 2 == 0) || (x > W / 2 && y < H / 3);
      if (white) r[x >> 3] = uint8_t(r[x >> 3] | (0x80 >> (x & 7)));
      else r[x >> 3] = uint8_t(r[x >> 3] & ~(0x80 >> (x & 7)));
    }
  }
  return b;
}

// Saves through the I/O component and loads the file back.
struct RoundTrip {
  std::unique_ptr<TQxBitmap> Back = std::make_unique<TQxBitmap>();
  bool SaveAborted = true, LoadAborted = true;
  int32_t Compression = -1;
};
RoundTrip SaveAndLoad(TQxBitmap* B, int32_t Bits, int32_t Samples, int32_t Compression, bool Native = false) {
  RegisterCoders();
  RoundTrip r;
  const std::string path = TempDir() + "/t.tif";
  TQuillotIO out(B);
  out.Params->BitsPerSample = Bits;
  out.Params->SamplesPerPixel = Samples;
  out.Params->TiffCompression = uint8_t(Compression);
  out.SaveToFile(path);
  r.SaveAborted = out.Aborting;
  TQuillotIO in(r.Back.get());
  in.Params->NativePixelFormat = Native ? 1 : 0;
  in.LoadFromFile(path);
  r.LoadAborted = in.Aborting;
  r.Compression = in.Params->TiffCompression;
  return r;
}

}  // namespace

TEST(TiffWrite, RoundTripsOfEveryDepthAndCompression) {
  struct Case {
    const char* Name;
    std::function<std::unique_ptr<TQxBitmap>()> Make;
    int32_t Bits, Samples;
    std::vector<int32_t> Compressions;
    bool Native;
  };
  const std::vector<Case> cases = {
      {"rgb", [] { return MakeRGB(37, 23); }, 8, 3, {0, 5, 8, 9}, false},
      {"rgb-alpha", [] { return WithAlpha(37, 23); }, 8, 3, {0, 5, 8, 9}, false},
      {"gray", [] {
         auto b = std::make_unique<TQxBitmap>(19, 7, TQxPixelFormat::qx8g);
         for (int32_t y = 0; y < 7; ++y)
           for (int32_t x = 0; x < 19; ++x) b->SetPixel8(x, y, uint8_t(x * 13 + y * 7));
         return b;
       }, 8, 1, {0, 5, 8, 9}, true},
      {"gray16", [] {
         auto b = std::make_unique<TQxBitmap>(9, 5, TQxPixelFormat::qx16g);
         for (int32_t y = 0; y < 5; ++y)
           for (int32_t x = 0; x < 9; ++x) b->SetPixel16(x, y, uint16_t(x * 7001 + y * 3));
         return b;
       }, 16, 1, {0, 5, 9}, true},
      {"palette", [] {
         auto b = std::make_unique<TQxBitmap>(9, 5, TQxPixelFormat::qx8p);
         for (int32_t i = 0; i < 256; ++i) b->SetPaletteColor(i, TQxRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
         for (int32_t y = 0; y < 5; ++y)
           for (int32_t x = 0; x < 9; ++x) b->SetPixel8(x, y, uint8_t(x * 29 + y));
         return b;
       }, 8, 1, {0, 8}, true},
      {"bilevel", [] { return MakeBW(61, 17); }, 1, 1, {0, 1, 2, 3, 4, 5, 8, 9}, false},
      {"rgb48", [] {
         auto b = std::make_unique<TQxBitmap>(5, 3, TQxPixelFormat::qxRGB48);
         for (int32_t y = 0; y < 3; ++y)
           for (int32_t x = 0; x < 5; ++x) b->SetPixel48(x, y, TQxRGB48{uint16_t(x * 999), uint16_t(y * 12345), 7});
         return b;
       }, 16, 3, {0, 5, 9}, true},
      {"cmyk", [] {
         auto b = std::make_unique<TQxBitmap>(5, 3, TQxPixelFormat::qxCMYK);
         for (int32_t y = 0; y < 3; ++y)
           for (int32_t x = 0; x < 5; ++x) b->SetPixelCMYK(x, y, TQxCMYK{uint8_t(x * 40), uint8_t(y * 70), 9, 200});
         return b;
       }, 8, 4, {0, 8}, true},
  };
  for (const auto& c : cases) {
    for (int32_t comp : c.Compressions) {
      SCOPED_TRACE(std::string(c.Name) + " compression " + std::to_string(comp));
      auto src = c.Make();
      RoundTrip r = SaveAndLoad(src.get(), c.Bits, c.Samples, comp, c.Native);
      ASSERT_FALSE(r.SaveAborted);
      ASSERT_FALSE(r.LoadAborted);
      EXPECT_EQ(r.Compression, comp);
      ASSERT_EQ(r.Back->PixelFormat(), src->PixelFormat());
      ASSERT_EQ(r.Back->Width(), src->Width());
      ASSERT_EQ(r.Back->Height(), src->Height());
      const int64_t rowBytes = (int64_t(src->Width()) * src->BitCount() + 7) / 8;
      for (int32_t y = 0; y < src->Height(); ++y) {
        // Whole bytes of the row; the bits past the width of a 1-bit row are not compared.
        const int64_t full = src->BitCount() == 1 ? src->Width() / 8 : rowBytes;
        ASSERT_EQ(std::memcmp(r.Back->Scanline(y), src->Scanline(y), size_t(full)), 0) << "row " << y;
        if (src->BitCount() == 1 && src->Width() % 8) {
          const uint8_t keep = uint8_t(0xFF << (8 - src->Width() % 8));
          EXPECT_EQ(r.Back->Scanline(y)[full] & keep, src->Scanline(y)[full] & keep) << "row " << y;
        }
      }
      EXPECT_EQ(AlphaOf(*r.Back), AlphaOf(*src));
      EXPECT_EQ(RgbOf(*r.Back), RgbOf(*src));
    }
  }
}

TEST(TiffWrite, PalettesAndGrayFromColourPictures) {
  // Few colours: an exact palette; gray pictures: BlackIsZero; 4 bits packed.
  auto pal = std::make_unique<TQxBitmap>(9, 4, TQxPixelFormat::qx24RGB);
  const TQxRGB colours[3] = {{0, 0, 255}, {0, 200, 0}, {40, 50, 60}};
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 9; ++x) pal->SetPixel24(x, y, colours[(x + y) % 3]);
  for (int32_t bits : {8, 4}) {
    TIOParamsVals p;
    p.BitsPerSample = bits;
    p.SamplesPerPixel = 1;
    p.TiffCompression = 7;  // JPEG cannot take a palette: stored uncompressed
    const std::vector<uint8_t> f = WriteTiff(pal.get(), p);
    EXPECT_EQ(p.TiffCompression, 0);
    EXPECT_EQ(p.TiffPhotometric, 3);
    Dir d(f);
    EXPECT_EQ(d.V(262), 3);
    EXPECT_EQ(d.V(258), bits);
    EXPECT_EQ(d.D.Entry(320)->Count, uint32_t(3 << bits));
    ReadResult r = ReadTiff(f);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(RgbOf(*r.Bitmap), RgbOf(*pal)) << bits;
  }
  auto gray = MakeRGB(8, 8);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) gray->SetPixel24(x, y, TQxRGB{uint8_t(x * 30), uint8_t(x * 30), uint8_t(x * 30)});
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 1;
  const std::vector<uint8_t> f = WriteTiff(gray.get(), p);
  EXPECT_EQ(Dir(f).V(262), 1);
  EXPECT_FALSE(Dir(f).Has(320));
  EXPECT_EQ(RgbOf(*ReadTiff(f).Bitmap), RgbOf(*gray));
}

TEST(TiffWrite, StripLayout) {
  {
    auto b = MakeRGB(640, 480);
    TIOParamsVals p;
    Dir d(WriteTiff(b.get(), p));
    EXPECT_EQ(d.V(278), 480);
    EXPECT_EQ(d.D.Entry(273)->Count, 1u);
    EXPECT_EQ(d.V(279), 921600);
    EXPECT_FALSE(d.Has(317));
  }
  {
    auto b = MakeRGB(2000, 2000);
    TIOParamsVals p;
    p.TiffCompression = 5;
    const std::vector<uint8_t> f = WriteTiff(b.get(), p);
    Dir d(f);
    EXPECT_EQ(d.V(278), 90);
    EXPECT_EQ(d.D.Entry(273)->Count, 23u);
    EXPECT_EQ(d.V(317), 2);
    EXPECT_EQ(RgbOf(*ReadTiff(f).Bitmap), RgbOf(*b));
  }
}

TEST(TiffWrite, FaxAndItsFallbacks) {
  auto bw = MakeBW(40, 10);
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  p.TiffCompression = 4;
  Dir d(WriteTiff(bw.get(), p));
  EXPECT_EQ(d.V(259), 4);
  EXPECT_EQ(d.V(262), 0);
  EXPECT_EQ(d.V(292), 0);
  EXPECT_EQ(d.V(293), 0);
  EXPECT_EQ(d.V(266), 1);
  EXPECT_EQ(d.V(284), 1);
  EXPECT_EQ(d.V(327), 0);

  // A colour picture cannot be faxed: plain RGB.
  auto rgb = MakeRGB(10, 4);
  TIOParamsVals q;
  q.TiffCompression = 4;
  const std::vector<uint8_t> f = WriteTiff(rgb.get(), q);
  Dir e(f);
  EXPECT_EQ(e.V(259), 1);
  EXPECT_EQ(e.V(262), 2);
  EXPECT_EQ(e.V(277), 3);
  EXPECT_EQ(q.TiffCompression, 0);
  EXPECT_EQ(RgbOf(*ReadTiff(f).Bitmap), RgbOf(*rgb));
}

TEST(TiffWrite, InsertingBeforeTheFirstPage) {
  auto a = MakeRGB(3, 3), b = MakeRGB(4, 4), c = MakeRGB(5, 5);
  TIOParamsVals p;
  TMemoryStream s;
  std::atomic<bool> flag{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &flag;
  EXPECT_EQ(WriteTiffStream(&s, 0, a.get(), p, pr), 1);
  s.SetPosition(0);
  p.TiffImageIndex = 1;
  EXPECT_EQ(WriteTiffStream(&s, 1, b.get(), p, pr), 2);
  s.SetPosition(0);
  p.TiffImageIndex = 0;
  EXPECT_EQ(WriteTiffStream(&s, 1, c.get(), p, pr), 3);
  ASSERT_FALSE(flag);
  const std::vector<uint8_t> f = BytesOf(s);
  const int32_t widths[3] = {5, 3, 4};
  for (int32_t i = 0; i < 3; ++i) {
    ReadResult r = ReadTiff(f, {.Page = i});
    EXPECT_EQ(r.Pages, 3);
    EXPECT_EQ(r.Bitmap->Width(), widths[i]);
  }
  // A stream that is no little-endian TIFF is refused.
  TMemoryStream bad;
  bad.WriteBuffer("MM\0*", 4);
  bad.SetPosition(0);
  std::atomic<bool> f2{false};
  pr.AbortFlag = &f2;
  EXPECT_EQ(WriteTiffStream(&bad, 1, a.get(), p, pr), 0);
  EXPECT_TRUE(f2);
}

TEST(TiffWrite, TagsOnlyDirectory) {
  TIOParamsVals p;
  p.TiffImageDescription = "hello there";
  p.DpiX = 150;
  p.DpiY = 75;
  Dir d(WriteTiff(nullptr, p));
  ASSERT_EQ(d.D.Entries.size(), 4u);
  EXPECT_EQ(d.D.ReadAscii(270, true), "hello there");
  EXPECT_EQ(d.D.ReadRational(282, 0), 150);
  EXPECT_EQ(d.D.ReadRational(283, 0), 75);
  EXPECT_EQ(d.V(296), 2);
}

TEST(TiffWrite, PackBitsCoding) {
  struct Case {
    std::vector<uint8_t> In, Out;
  };
  const std::vector<Case> cases = {
      {{1, 1, 1, 1, 1, 2, 3}, {0xFC, 1, 1, 2, 3}},
      {{5, 5, 5, 6}, {3, 5, 5, 5, 6}},  // runs of three stay literal
      {{}, {}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(c.In.size() + 8);
    out.resize(size_t(TiffPackBitsEncode(c.In.data(), int32_t(c.In.size()), out.data())));
    EXPECT_EQ(out, c.Out);
  }
  // Long literals are cut at 128 bytes, long runs at 128.
  std::vector<uint8_t> in;
  for (int i = 0; i < 200; ++i) in.push_back(uint8_t(i));
  in.insert(in.end(), 300, 9);
  std::vector<uint8_t> out(in.size() * 2);
  out.resize(size_t(TiffPackBitsEncode(in.data(), int32_t(in.size()), out.data())));
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[129], 71);
  EXPECT_EQ(out[129 + 73], uint8_t(-127));
}

TEST(TiffWrite, Probes) {
  auto b = MakeRGB(3, 3);
  TIOParamsVals p;
  const std::vector<uint8_t> f = WriteTiff(b.get(), p);
  auto s = StreamOf(f);
  s->SetPosition(0);
  EXPECT_TRUE(IsTiffStream(s.get()));
  EXPECT_EQ(s->Position(), 0);
  EXPECT_FALSE(IsTiffRawStream(s.get()));
  EXPECT_FALSE(IsHDPStream(s.get()));

  TiffBuilder mm(true);
  mm.Image(1, 1, 8, 1, 1, {0});
  std::vector<uint8_t> m = mm.Build();
  EXPECT_TRUE(IsTiffStream(StreamOf(m).get()));
  m[8] = 0xBA;
  EXPECT_FALSE(IsTiffStream(StreamOf(m).get()));

  TiffBuilder dng;
  dng.Image(1, 1, 8, 1, 1, {0});
  dng.Raw(50706, 1, 4, {1, 4, 0, 0});
  EXPECT_TRUE(IsTiffRawStream(StreamOf(dng.Build()).get()));

  TiffBuilder hdp;
  for (uint16_t t : {48256, 48257, 48129, 48320, 48321}) hdp.Long(t, {1});
  EXPECT_TRUE(IsHDPStream(StreamOf(hdp.Build()).get()));
  EXPECT_FALSE(IsTiffStream(StreamOf(std::vector<uint8_t>{'I', 'I', 42, 0}).get()));
}

TEST(TiffWrite, JpegPagesNewAndOldStyle) {
  // Smooth colours, so that the loss of the coding stays small and a channel mix-up would show.
  auto b = std::make_unique<TQxBitmap>(40, 24, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 40; ++x) b->SetPixel24(x, y, TQxRGB{uint8_t(40 + x * 4), uint8_t(200 - y * 5), uint8_t(230)});
  for (int32_t comp : {7, 6}) {
    SCOPED_TRACE(comp);
    TIOParamsVals p;
    p.TiffCompression = uint8_t(comp);
    p.TiffJpegQuality = 95;
    p.TiffJpegColorSpace = 2;
    bool aborted = true;
    const std::vector<uint8_t> f = WriteTiff(b.get(), p, &aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(Dir(f).V(259), comp);
    ReadResult r = ReadTiff(f);
    ASSERT_FALSE(r.Aborted);
    const std::vector<uint8_t> got = RgbOf(*r.Bitmap), want = RgbOf(*b);
    ASSERT_EQ(got.size(), want.size());
    double err = 0;
    for (size_t i = 0; i < got.size(); ++i) err += std::abs(int(got[i]) - int(want[i]));
    EXPECT_LT(err / double(got.size()), 3.0);
  }
}

TEST(TiffWrite, StreamWithHeaderBehindOtherData) {
  RegisterCoders();
  auto b = WithAlpha(7, 5);
  // Offsets of a TIFF written behind other data count from the stream's start, as the header road reads them.
  for (bool headers : {true}) {
    SCOPED_TRACE(headers);
    TMemoryStream s;
    s.WriteBuffer("junk!", 5);
    TQuillotIO out(b.get());
    out.StreamHeaders = headers;
    out.SaveToStream(s, 1);
    ASSERT_FALSE(out.Aborting);
    const int64_t end = s.Position();
    s.SetPosition(5);
    TQxBitmap back;
    TQuillotIO in(&back);
    in.StreamHeaders = headers;
    in.LoadFromStreamAs(s, 1);
    ASSERT_FALSE(in.Aborting);
    EXPECT_EQ(RgbOf(back), RgbOf(*b));
    EXPECT_EQ(AlphaOf(back), AlphaOf(*b));
    if (headers) {
      EXPECT_EQ(s.Position(), end);
    }
  }
}

namespace {

// Takes writes without keeping them, so that a file can reach past 4 GiB in a test.
class TDiscardStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t Count) override {
    FPos += Count;
    FSize = std::max(FSize, FPos);
    return Count;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    FPos = Origin == TSeekOrigin::soBeginning ? Offset : Origin == TSeekOrigin::soCurrent ? FPos + Offset : FSize + Offset;
    return FPos;
  }
  int64_t Size() override { return FSize; }
  void SetSize(int64_t NewSize) override { FSize = NewSize; }

 private:
  int64_t FPos = 0, FSize = 0;
};

}  // namespace

// Offsets and byte counts have 32 bits: a page that would lie past 4 GiB is refused, never cut to 32 bits.
TEST(TiffWrite, OffsetsPastFourGigabytesAreRefused) {
  RegisterCoders();
  auto b = MakeRGB(64, 48);
  for (int64_t at : {int64_t(UINT32_MAX) - 100, int64_t(UINT32_MAX) + 100}) {
    for (uint8_t compression : {uint8_t(1), uint8_t(5), uint8_t(7)}) {
      SCOPED_TRACE(std::to_string(at) + " compression " + std::to_string(compression));
      TDiscardStream s;
      s.SetSize(at);
      s.SetPosition(at);
      TIOParamsVals p;
      p.TiffCompression = compression;
      std::atomic<bool> aborting{false};
      TQxProgressInfo pr;
      pr.AbortFlag = &aborting;
      try {
        WriteTiffStream(&s, 0, b.get(), p, pr);
        FAIL() << "written past 4 GiB";
      } catch (const EWriteError& e) {
        EXPECT_NE(std::string(e.Message()).find("4 GB"), std::string::npos);
      }
      EXPECT_TRUE(aborting);
    }
  }
  // Just below the limit the same page is written.
  TDiscardStream s;
  s.SetSize(int64_t(UINT32_MAX) - 200000);
  s.SetPosition(s.Size());
  TIOParamsVals p;
  std::atomic<bool> aborting{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &aborting;
  WriteTiffStream(&s, 0, b.get(), p, pr);
  EXPECT_FALSE(aborting);
}
