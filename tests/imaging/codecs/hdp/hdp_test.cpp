#include <gtest/gtest.h>

#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/hdp.h"
#include "imaging/codecs/hdp_jxr.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/exceptions.h"
#include "tests/imaging/io/io_test_util.h"

using namespace qvio;

namespace {

struct Registered : ::testing::Environment {
  void SetUp() override { QxRegisterHdpCodec(); }
};
const auto* const GEnv = ::testing::AddGlobalTestEnvironment(new Registered);

// Raw bytes of every row, without the fill at the row ends.
std::vector<uint8_t> RowsOf(TQxBitmap& B) {
  const size_t n = (size_t(B.Width()) * B.BitCount() + 7) / 8;
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < B.Height(); ++y) out.insert(out.end(), B.Scanline(y), B.Scanline(y) + n);
  return out;
}

std::unique_ptr<TQxBitmap> Make(int32_t W, int32_t H, TQxPixelFormat F) {
  auto b = std::make_unique<TQxBitmap>(W, H, F);
  const size_t n = (size_t(W) * b->BitCount() + 7) / 8;
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b->Scanline(y);
    for (size_t i = 0; i < n; ++i) r[i] = uint8_t((i * 37 + y * 101 + (i * y) % 13) & 0xFF);
    if (F == TQxPixelFormat::qx1g && (W % 8)) r[n - 1] &= uint8_t(0xFF << (8 - W % 8));
  }
  return b;
}

std::vector<uint8_t> Encode(TQxBitmap& B, TIOParamsVals& P, bool* Aborted = nullptr) {
  TMemoryStream s;
  TestProgress pr;
  WriteHDPStream(&s, &B, P, pr.Info);
  if (Aborted)
    *Aborted = pr.Aborting;
  else
    EXPECT_FALSE(pr.Aborting);
  return BytesOf(s);
}

std::unique_ptr<TQxBitmap> Decode(const std::vector<uint8_t>& Data, TIOParamsVals& P, bool& Aborted,
                                  bool ParamsOnly = false) {
  auto s = StreamOf(Data);
  auto b = std::make_unique<TQxBitmap>();
  TestProgress pr;
  ReadHDPStream(s.get(), b.get(), P, pr.Info, ParamsOnly);
  Aborted = pr.Aborting;
  return b;
}

}  // namespace

// With the service present the format registry offers the format by its extensions.
TEST(Hdp, ServiceIsThereAndFormatIsRegistered) {
  EXPECT_TRUE(WicAvailable());
  for (const char* ext : {"wdp", "hdp"}) {
    TQxFileFormatInfo* f = QxFileFormatByExtension(ext);
    ASSERT_NE(f, nullptr) << ext;
    EXPECT_EQ(f->FormatId, qxffHDP);
    EXPECT_EQ(f->DisplayName, "Microsoft HD Photo");
  }
}

// Lossless files of every format the writer takes come back byte for byte: in their own format with
// native formats on, as 24-bit colour (black-and-white as itself) with them off.
TEST(Hdp, LosslessRoundTripsThroughTheIOComponent) {
  using F = TQxPixelFormat;
  struct Case {
    F Format;
    int32_t W, H;
    int32_t Bps, Spp;
  } cases[] = {{F::qx24RGB, 37, 21, 8, 3}, {F::qx8g, 17, 33, 8, 1}, {F::qx1g, 29, 18, 1, 1},
               {F::qx16g, 16, 16, 16, 1},  {F::qxRGB48, 9, 7, 16, 3}, {F::qxCMYK, 20, 5, 8, 4},
               {F::qx24RGB, 1, 1, 8, 3}};
  const std::string f = TempDir() + "/rt.wdp";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.Format)) + " " + std::to_string(c.W) + "x" + std::to_string(c.H));
    auto src = Make(c.W, c.H, c.Format);
    TQuillotIO io(src.get());
    io.Params->HdpLossless = 1;
    io.Params->SetDpiX(150);
    io.Params->SetDpiY(120);
    io.SaveToFile(f);
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(HDPFrameCount(f.c_str()), 1);

    TQuillotIO rd;
    rd.Params->NativePixelFormat = 1;
    rd.LoadFromFile(f);
    ASSERT_FALSE(rd.Aborting);
    TQxBitmap& got = *rd.WorkBitmap();
    ASSERT_EQ(got.PixelFormat(), c.Format);
    EXPECT_EQ(RowsOf(got), RowsOf(*src));
    EXPECT_EQ(rd.Params->BitsPerSample, c.Bps);
    EXPECT_EQ(rd.Params->SamplesPerPixel, c.Spp);
    EXPECT_EQ(rd.Params->Width, c.W);
    EXPECT_EQ(rd.Params->OriginalHeight, c.H);
    EXPECT_EQ(rd.Params->DpiX, 150);
    EXPECT_EQ(rd.Params->DpiY, 120);

    TQuillotIO rgb;
    rgb.LoadFromFile(f);
    ASSERT_FALSE(rgb.Aborting);
    EXPECT_EQ(rgb.WorkBitmap()->PixelFormat(), c.Format == F::qx1g ? F::qx1g : F::qx24RGB);
    if (c.Format != F::qxCMYK) {
      EXPECT_EQ(RgbOf(*rgb.WorkBitmap()), RgbOf(*src));
    }
  }
}

TEST(Hdp, CmykFileHoldsInkAndConvertsToColour) {
  // One pixel of pure cyan ink: stored complemented in the bitmap, as ink in the file.
  TQxBitmap b(1, 1, TQxPixelFormat::qxCMYK);
  const uint8_t px[4] = {0, 255, 255, 255};
  std::memcpy(b.Scanline(0), px, 4);
  TIOParamsVals p;
  p.HdpLossless = 1;
  const auto data = Encode(b, p);
  bool aborted = false;
  TIOParamsVals q;
  auto rgb = Decode(data, q, aborted);
  ASSERT_FALSE(aborted);
  ASSERT_EQ(rgb->PixelFormat(), TQxPixelFormat::qx24RGB);
  EXPECT_EQ(RgbOf(*rgb), (std::vector<uint8_t>{0, 255, 255}));
}

TEST(Hdp, DefaultQualityIsLossyButClose) {
  auto src = MakeRGB(64, 48);
  TIOParamsVals p;
  const auto lossy = Encode(*src, p);
  p.HdpLossless = 1;
  const auto exact = Encode(*src, p);
  EXPECT_LT(lossy.size(), exact.size());
  bool aborted = false;
  TIOParamsVals q;
  auto got = Decode(lossy, q, aborted);
  ASSERT_FALSE(aborted);
  const auto a = RgbOf(*got), b = RgbOf(*src);
  ASSERT_EQ(a.size(), b.size());
  double err = 0;
  for (size_t i = 0; i < a.size(); ++i) err += std::abs(int(a[i]) - int(b[i]));
  EXPECT_LT(err / a.size(), 6.0);
}

TEST(Hdp, ParamsOnlyReadDecodesPixelsAndReadsFromStreamPosition) {
  auto src = Make(10, 6, TQxPixelFormat::qx8g);
  TIOParamsVals p;
  p.HdpLossless = 1;
  auto data = Encode(*src, p);
  std::vector<uint8_t> padded(5, 0xAA);
  padded.insert(padded.end(), data.begin(), data.end());
  auto s = StreamOf(padded);
  s->SetPosition(5);
  TQxBitmap b;
  TIOParamsVals q;
  q.NativePixelFormat = 1;
  TestProgress pr;
  ReadHDPStream(s.get(), &b, q, pr.Info, true);
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(RowsOf(b), RowsOf(*src));
  EXPECT_EQ(q.Width, 10);
}

TEST(Hdp, FormatIsDetectedByContent) {
  auto src = MakeRGB(8, 8);
  TIOParamsVals p;
  const std::string f = TempDir() + "/detect.bin";
  WriteFile(f, Encode(*src, p));
  TQuillotIO rd;
  rd.LoadFromFileDetected(f);
  ASSERT_FALSE(rd.Aborting);
  EXPECT_EQ(rd.WorkBitmap()->Width(), 8);
  EXPECT_EQ(rd.Params->FileType, qxffHDP);
}

TEST(Hdp, FormatsWithoutCounterpartRaiseAndWriteNothing) {
  for (TQxPixelFormat f : {TQxPixelFormat::qx8p, TQxPixelFormat::qx32RGB}) {
    TQxBitmap b(4, 4, f);
    TIOParamsVals p;
    TMemoryStream s;
    TestProgress pr;
    try {
      WriteHDPStream(&s, &b, p, pr.Info);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Assertion failure");
    }
    EXPECT_EQ(s.Size(), 0);
  }
}

TEST(Hdp, BadInputIsRefused) {
  auto src = MakeRGB(40, 40);
  TIOParamsVals p;
  const auto good = Encode(*src, p);
  ASSERT_GT(good.size(), 100u);

  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"tiff header", {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}});
  for (size_t n : {size_t(4), size_t(8), size_t(20), good.size() / 2, good.size() - 1})
    cases.push_back({"cut at " + std::to_string(n), std::vector<uint8_t>(good.begin(), good.begin() + n)});
  {
    auto d = good;  // directory offset past the end
    d[4] = d[5] = d[6] = 0xFF;
    cases.push_back({"directory offset", d});
  }
  // Every directory entry's value in turn made huge: sizes, offsets and counts all stay checked.
  const uint32_t ifd = good[4] | good[5] << 8 | good[6] << 16 | uint32_t(good[7]) << 24;
  const uint16_t count = uint16_t(good[ifd] | good[ifd + 1] << 8);
  for (uint16_t i = 0; i < count; ++i) {
    auto d = good;
    const size_t e = ifd + 2 + size_t(i) * 12;
    const uint16_t tag = uint16_t(d[e] | d[e + 1] << 8);
    if (tag == 0xBC01) continue;  // pixel format: a byte array in place
    for (size_t k = 8; k < 12; ++k) d[e + k] = 0xFF;
    if (tag == 0xBC80 || tag == 0xBC81 || tag == 0xBCC0 || tag == 0xBCC1)
      cases.push_back({"tag " + std::to_string(tag), d});
  }
  for (const auto& [name, data] : cases) {
    SCOPED_TRACE(name);
    bool aborted = false;
    TIOParamsVals q;
    Decode(data, q, aborted);
    EXPECT_TRUE(aborted);
  }
  EXPECT_EQ(HDPFrameCount((TempDir() + "/missing.wdp").c_str()), 0);
  const std::string f = TempDir() + "/notjxr.wdp";
  WriteFile(f, {'I', 'I', 42, 0});
  EXPECT_EQ(HDPFrameCount(f.c_str()), 0);
}

TEST(Hdp, ContainerCheckBoundsPixelCountByData) {
  auto src = MakeRGB(16, 16);
  TIOParamsVals p;
  auto d = Encode(*src, p);
  int32_t w = 0, h = 0;
  ASSERT_TRUE(QxHdpCheckContainer(d.data(), d.size(), w, h));
  EXPECT_EQ(w, 16);
  // A 60000 x 60000 picture cannot come out of a few hundred bytes.
  const uint32_t ifd = d[4] | d[5] << 8 | d[6] << 16 | uint32_t(d[7]) << 24;
  const uint16_t count = uint16_t(d[ifd] | d[ifd + 1] << 8);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t e = ifd + 2 + size_t(i) * 12;
    const uint16_t tag = uint16_t(d[e] | d[e + 1] << 8);
    if (tag == 0xBC80 || tag == 0xBC81) {
      d[e + 2] = 4;
      d[e + 8] = 0x60;
      d[e + 9] = 0xEA;
      d[e + 10] = d[e + 11] = 0;
    }
  }
  EXPECT_FALSE(QxHdpCheckContainer(d.data(), d.size(), w, h));
}

// The caller's pixel limit refuses a frame before it is decoded; the decoding child gets time by the size.
TEST(Hdp, PixelLimitAndDecodingTimeFollowThePictureSize) {
  auto src = MakeRGB(16, 12);
  TIOParamsVals p;
  const auto d = Encode(*src, p);
  for (int64_t limit : {int64_t(16 * 12 - 1), int64_t(16 * 12)}) {
    bool aborted = false;
    TIOParamsVals q;
    q.MaxPixels = limit;
    Decode(d, q, aborted);
    EXPECT_EQ(aborted, limit < 16 * 12) << limit;
  }
  EXPECT_EQ(QxHdpChildSeconds(0, 0), 5u);
  EXPECT_EQ(QxHdpChildSeconds(16, 12), 8u);
  EXPECT_EQ(QxHdpChildSeconds(4000, 3000), 5u + 3 * 12);
  EXPECT_EQ(QxHdpChildSeconds(INT32_MAX, INT32_MAX), 3600u);
}

// Coded data that makes the coding library crash: the read fails and the program goes on.
TEST(Hdp, DamagedCodedDataIsRefusedWithoutTakingDownTheProgram) {
  const auto data = ReadFile(std::string(QV_TEST_DATA_DIR) + "/damaged_coefficients.wdp");
  ASSERT_FALSE(data.empty());
  for (uint8_t native : {0, 1}) {
    bool aborted = false;
    TIOParamsVals q;
    q.NativePixelFormat = native;
    Decode(data, q, aborted);
    EXPECT_TRUE(aborted);
  }
}

// The writer's codec options change the coding but every combination still reads back as the picture.
TEST(Hdp, CodecOptionsWriteReadableFiles) {
  auto src = MakeRGB(33, 17);
  struct Case {
    int32_t Quality, Overlap, Subsampling;
    bool Frequency;
  } cases[] = {{1, 0, 3, false}, {1, 2, 3, true}, {40, 1, 1, true}, {40, 1, 2, false}};
  std::vector<size_t> sizes;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.Quality) + " " + std::to_string(c.Overlap) + " " + std::to_string(c.Subsampling));
    TMemoryStream s;
    {
      TQxWICWriter w;
      ASSERT_TRUE(w.Open(&s, qxffHDP));
      w.UseCodecOptions = true;
      w.Quality = c.Quality;
      w.Overlap = c.Overlap;
      w.Subsampling = c.Subsampling;
      w.FrequencyOrder = c.Frequency;
      ASSERT_TRUE(w.WriteFrame(src.get(), nullptr));
      ASSERT_TRUE(w.Close());
    }
    bool aborted = false;
    TIOParamsVals q;
    auto got = Decode(BytesOf(s), q, aborted);
    ASSERT_FALSE(aborted);
    if (c.Quality == 1) {
      EXPECT_EQ(RgbOf(*got), RgbOf(*src));
    } else {
      const auto a = RgbOf(*got), b = RgbOf(*src);
      double err = 0;
      for (size_t i = 0; i < a.size(); ++i) err += std::abs(int(a[i]) - int(b[i]));
      EXPECT_LT(err / a.size(), 20.0);
    }
    sizes.push_back(size_t(s.Size()));
  }
  EXPECT_LT(sizes[2], sizes[0]);
}

// 32bppBGRA files of jxrlib's encoder, with planar and with interleaved alpha, load with their alpha.
TEST(Hdp, BgraFilesOfJxrEncAppLoadWithAlpha) {
  if (!HaveTool("JxrEncApp") || !HaveTool("convert")) GTEST_SKIP() << "jxrlib tools or ImageMagick missing";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 40x24 gradient:'#ff2000ff'-'#0030c020' -swirl 40 -depth 8 "
                  "-define tiff:alpha=unassociated src.tif"),
            0);
  const std::vector<uint8_t> expect = MagickPixels(d + "/src.tif", "RGBA");
  for (const char* mode : {"2", "3"}) {
    SCOPED_TRACE(mode);
    const std::string f = d + "/a" + mode + ".wdp";
    ASSERT_EQ(Shell("cd '" + d + "' && JxrEncApp -i src.tif -o x.jxr -c 22 -a " + mode + " -q 1 && mv x.jxr '" + f +
                    "'"),
              0);
    TQxBitmap b;
    TQuillotIO io(&b);
    io.LoadFromFile(f);
    ASSERT_FALSE(io.Aborting);
    ASSERT_EQ(b.Width(), 40);
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(RgbaMismatches(b, expect), 0);  // lossless
  }
}

// The descriptive and EXIF tags of a picture (here written by exiftool into a JPEG) go into the HD Photo
// container's directory on a save: exiftool reads them back, and the picture still decodes the same.
TEST(Hdp, SaveKeepsExifAndTiffTags) {
  if (!HaveTool("exiftool") || !HaveTool("convert")) GTEST_SKIP() << "exiftool or ImageMagick missing";
  QxRegisterTiffCodec();  // EXIF blocks are TIFF structures
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 40x24 gradient:red-blue -quality 100 src.jpg && exiftool -q "
                  "-overwrite_original -Make=Quorvelcam -Model=Q1 '-Artist=A. Tester' '-DateTimeOriginal=2024:05:06 "
                  "07:08:09' -ExposureTime=0.004 -FNumber=5.6 -ISO=200 src.jpg"),
            0);
  const char* kTags = "-Make -Model -Artist -DateTimeOriginal -ExposureTime -FNumber -ISO";
  auto tags = [&](const std::string& File) {
    Shell(std::string("exiftool -s -s ") + kTags + " '" + File + "' > '" + File + ".tags'");
    const std::vector<uint8_t> t = ReadFile(File + ".tags");
    return std::string(t.begin(), t.end());
  };
  const std::string before = tags(d + "/src.jpg");
  ASSERT_NE(before.find("Quorvelcam"), std::string::npos);
  TQxBitmap b;
  TQuillotIO io(&b);
  io.LoadFromFile(d + "/src.jpg");
  ASSERT_FALSE(io.Aborting);
  io.Params->HdpLossless = 1;
  io.SaveToFile(d + "/out.wdp");
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(tags(d + "/out.wdp"), before);
  // Our reader and the coding library's own decoder still read the picture.
  TQxBitmap back;
  TQuillotIO rd(&back);
  rd.LoadFromFile(d + "/out.wdp");
  ASSERT_FALSE(rd.Aborting);
  EXPECT_EQ(RgbOf(back), RgbOf(b));
  EXPECT_EQ(rd.Params->ExifArtist, "A. Tester");
  if (HaveTool("JxrDecApp")) {
    ASSERT_EQ(Shell("cd '" + d + "' && cp out.wdp o.jxr && JxrDecApp -i o.jxr -o o.bmp"), 0);
    EXPECT_EQ(MagickPixels(d + "/o.bmp", "RGB"), RgbOf(b));
  }
}

// With the thumbnail option the frame is read at a sixteenth of its size, as jxrlib's own decoder gives it;
// the original size stays in the parameters.
TEST(Hdp, ThumbnailOptionReadsTheReducedFrame) {
  if (!HaveTool("JxrEncApp") || !HaveTool("JxrDecApp") || !HaveTool("convert"))
    GTEST_SKIP() << "jxrlib tools or ImageMagick missing";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 200x120 gradient:red-blue -swirl 90 -depth 8 -type truecolor "
                  "BMP3:src.bmp && JxrEncApp -i src.bmp -o x.jxr -q 1 && cp x.jxr t.wdp && "
                  "JxrDecApp -i x.jxr -o small.bmp -T 4"),
            0);
  TQxBitmap b;
  TQuillotIO io(&b);
  io.Params->UseExifThumbnail = 1;
  io.LoadFromFile(d + "/t.wdp");
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(b.Width(), 13);
  EXPECT_EQ(b.Height(), 8);
  EXPECT_EQ(io.Params->Width, 13);
  EXPECT_EQ(io.Params->OriginalWidth, 200);
  EXPECT_EQ(io.Params->OriginalHeight, 120);
  EXPECT_EQ(RgbOf(b), MagickPixels(d + "/small.bmp", "RGB"));
  // Without it, the whole frame.
  TQuillotIO whole(&b);
  whole.LoadFromFile(d + "/t.wdp");
  EXPECT_EQ(b.Width(), 200);
}
