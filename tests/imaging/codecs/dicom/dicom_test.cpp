#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <fstream>
#include <memory>
#include <tuple>

#include "dicom_builder.h"
#include "imaging/codecs/dicom.h"
#include "imaging/codecs/jpeg2000.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dicom_tags.h"
#include "imaging/foundation/services.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/streams.h"

using namespace dcmtest;

namespace {

struct Result {
  std::unique_ptr<TQxBitmap> Bitmap = std::make_unique<TQxBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  bool Aborted = false;
};

Result Read(const Bytes& File, int ImageIndex = 0, bool ParamsOnly = false) {
  Result r;
  TMemoryStream s;
  if (!File.empty()) s.Write(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  r.Params->ImageIndex = ImageIndex;
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  ReadDicomStream(&s, *r.Params, r.Bitmap.get(), pr, ParamsOnly);
  r.Aborted = ab;
  return r;
}

std::vector<int> Gray8(TQxBitmap& B) {
  std::vector<int> v;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) v.push_back(B.Scanline(y)[x]);
  return v;
}
std::vector<int> Gray16(TQxBitmap& B) {
  std::vector<int> v;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) v.push_back(reinterpret_cast<const uint16_t*>(B.Scanline(y))[x]);
  return v;
}
// Red, green, blue per pixel, top row first.
std::vector<int> Rgb(TQxBitmap& B) {
  std::vector<int> v;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) {
      const TQxRGB p = reinterpret_cast<const TQxRGB*>(B.Scanline(y))[x];
      v.insert(v.end(), {p.r, p.g, p.b});
    }
  return v;
}

const TQxDICOMTag* FindTag(const TIOParamsVals& P, uint16_t G, uint16_t E) {
  for (int i = 0; i < P.DicomTags->Count(); ++i)
    if (P.DicomTags->Tag(i).Group == G && P.DicomTags->Tag(i).Element == E) return &P.DicomTags->Tag(i);
  return nullptr;
}

// The stretch of the gray steps: t in [lo, hi] to the full range.
int Stretch(double T, double Lo, double Hi, double Top) { return int(std::trunc((T - Lo) / (Hi - Lo) * Top)); }

}  // namespace

TEST(DicomDictionary, OrderedAndTellingRows) {
  for (int i = 1; i < QxDicomDictionaryCount(); ++i) {
    uint16_t g0, e0, g1, e1;
    const char *v0, *v1;
    QxDicomDictionaryEntry(i - 1, g0, e0, v0);
    QxDicomDictionaryEntry(i, g1, e1, v1);
    ASSERT_LT((uint32_t(g0) << 16) | e0, (uint32_t(g1) << 16) | e1) << i;
  }
  EXPECT_STREQ(QxDicomDictionaryVR(0x0002, 0x0010), "UI");
  EXPECT_STREQ(QxDicomDictionaryVR(0x0028, 0x0010), "US");
  EXPECT_STREQ(QxDicomDictionaryVR(0x0028, 0x1050), "DS");
  EXPECT_STREQ(QxDicomDictionaryVR(0x0028, 0x1201), "OW");
  EXPECT_STREQ(QxDicomDictionaryVR(0x7FE0, 0x0010), "xs");
  EXPECT_STREQ(QxDicomDictionaryVR(0xFFFE, 0xE000), "!!");
  EXPECT_STREQ(QxDicomDictionaryVR(0xFFFE, 0xE0DD), "!!");
  EXPECT_STREQ(QxDicomDictionaryVR(0x0009, 0x1234), "xs");
  EXPECT_STREQ(QxDicomDictionaryVR(0xFFFF, 0xFFFF), "xs");
  // The standard's elements and private ones of the odd groups.
  EXPECT_GE(QxDicomDictionaryCount(), 2525);
  for (uint16_t g : {0x0009, 0x0019, 0x0021, 0x0029, 0x0043, 0x0045, 0x0047}) {
    int n = 0;
    for (int i = 0; i < QxDicomDictionaryCount(); ++i) {
      uint16_t gi, ei;
      const char* v;
      QxDicomDictionaryEntry(i, gi, ei, v);
      n += gi == g;
    }
    EXPECT_GT(n, 1) << std::hex << g;
  }
  uint16_t g, e;
  const char* v;
  QxDicomDictionaryEntry(QxDicomDictionaryCount() - 1, g, e, v);
  EXPECT_EQ(g, 0xFFFF);
  EXPECT_EQ(e, 0xFFFF);
}

// An implicit-VR file of DCMTK with private elements of GE's groups: their value representations come from
// the dictionary, as DCMTK's own dump gives them.
TEST(DicomDictionary, PrivateElementsOfAnImplicitFileOfDcmtk) {
  if (std::system("command -v img2dcm >/dev/null && command -v dcmodify >/dev/null && command -v dcmconv >/dev/null "
                  "&& command -v convert >/dev/null"))
    GTEST_SKIP() << "DCMTK or ImageMagick missing";
  QxRegisterDicomCodec();
  std::string dirPath = (std::filesystem::temp_directory_path() / "qvdcm_XXXXXX").string();
  char* dir = dirPath.data();
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string d = dir;
  ASSERT_EQ(std::system(("cd " + d + " && convert -size 8x6 gradient:white-black BMP3:g.bmp && img2dcm -i BMP g.bmp "
                         "g.dcm >/dev/null && dcmodify -nb -i '(0009,0010)=GEMS_IDEN_01' -i '(0009,1001)=Full' "
                         "-i '(0043,0010)=GEMS_PARM_01' -i '(0043,1001)=7' -i '(0019,0010)=GEMS_ACQU_01' "
                         "-i '(0019,1002)=3' g.dcm && dcmconv +ti g.dcm gi.dcm")
                            .c_str()),
            0);
  std::ifstream f(d + "/gi.dcm", std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  TMemoryStream s;
  s.Write(data.data(), int64_t(data.size()));
  s.SetPosition(0);
  TQxBitmap b;
  TIOParamsVals p;
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  ReadDicomStream(&s, p, &b, pr, false);
  ASSERT_FALSE(ab);
  EXPECT_EQ(b.Width(), 8);
  auto vrOf = [&](uint16_t G, uint16_t E) {
    for (int32_t i = 0; i < p.DicomTags->Count(); ++i) {
      const TQxDICOMTag& t = p.DicomTags->Tag(i);
      if (t.Group == G && t.Element == E) return std::string(t.VR, 2);
    }
    return std::string("none");
  };
  EXPECT_EQ(vrOf(0x0009, 0x1001), "LO");
  EXPECT_EQ(vrOf(0x0043, 0x1001), "SS");
  EXPECT_EQ(vrOf(0x0019, 0x1002), "SL");
  EXPECT_EQ(vrOf(0x0009, 0x0010), "LO");
}

TEST(DicomRead, EightBitGrayEverySyntaxWithAndWithoutPreamble) {
  // Window and rescale elements do not touch native 8-bit pixels; MONOCHROME1 complements them.
  const Bytes pixels{0, 10, 20, 30, 40, 50, 60, 255};
  for (Syntax syn : {Syntax::ImplicitLE, Syntax::ExplicitLE, Syntax::ExplicitBE})
    for (bool preamble : {true, false})
      for (const char* photometric : {"MONOCHROME2", "MONOCHROME1"}) {
        if (syn == Syntax::ExplicitBE && !preamble) continue;  // big-endian needs its meta group
        DicomWriter w(syn, preamble);
        w.Text(0x0010, 0x0010, "PN", "Doe^John");
        w.Image(2, 4, 8, 1, photometric);
        w.Text(0x0028, 0x1050, "DS", "100");
        w.Text(0x0028, 0x1051, "DS", "20");
        w.Text(0x0028, 0x1052, "DS", "-5");
        w.Pixels8(pixels);
        SCOPED_TRACE(std::string(SyntaxUid(syn)) + (preamble ? " preamble " : " bare ") + photometric);
        Result r = Read(w.Out);
        ASSERT_FALSE(r.Aborted);
        ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx8g);
        ASSERT_EQ(r.Bitmap->Width(), 4);
        ASSERT_EQ(r.Bitmap->Height(), 2);
        std::vector<int> want(pixels.begin(), pixels.end());
        if (std::string(photometric) == "MONOCHROME1")
          for (int& v : want) v = 255 - v;
        EXPECT_EQ(Gray8(*r.Bitmap), want);
        EXPECT_EQ(r.Params->Width, 4);
        EXPECT_EQ(r.Params->OriginalHeight, 2);
        EXPECT_EQ(r.Params->BitsPerSample, 8);
        EXPECT_EQ(r.Params->SamplesPerPixel, 1);
        EXPECT_EQ(r.Params->ImageCount, 1);
        const TQxDICOMTag* rows = FindTag(*r.Params, 0x0028, 0x0010);
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(std::string(rows->VR, 2), "US");
        EXPECT_EQ(rows->DataLength, 2);
        const TQxDICOMTag* name = FindTag(*r.Params, 0x0010, 0x0010);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(name->Data.get())), "Doe^John");
      }
}

TEST(DicomRead, SixteenBitGraySteps) {
  struct Case {
    const char* Name;
    std::vector<uint16_t> Samples;
    int PixelRep;
    const char* Center;
    const char* Width;
    const char* Intercept;
    const char* Photometric;
    std::vector<int> Want;
  };
  const double T = 65535;
  const std::vector<Case> cases = {
      // lo = Trunc(150 - 0.5 - 50) = 99, hi = 199; 100 maps to (0.5/100 + 0.5)... of the window.
      {"window", {0, 100, 200, 300}, 0, "150", "101", nullptr, "MONOCHROME2",
       {0, int(std::trunc(((100 - 149.5) / 100 + 0.5) * T)), 65535, 65535}},
      {"window monochrome1", {0, 100, 200, 300}, 0, "150", "101", nullptr, "MONOCHROME1",
       {65535, 65535 - int(std::trunc(((100 - 149.5) / 100 + 0.5) * T)), 0, 0}},
      // A centre of 0 is no window: a CT slice is stretched from its smallest to its largest value.
      {"ct without window", {0, 1024, 2048, 4095}, 0, "0", "400", "-1024", "MONOCHROME2",
       {0, Stretch(1024, 0, 4095, T), Stretch(2048, 0, 4095, T), 65535}},
      // The most negative value comes late: earlier samples keep their place in the stretch.
      {"negative late", {1024, 0, 2048}, 0, nullptr, nullptr, "-1024", "MONOCHROME2",
       {Stretch(1024, 0, 2048, T), 0, 65535}},
      // Unsigned samples above 32767 stay above the others.
      {"unsigned high", {0, 40000, 65535}, 0, nullptr, nullptr, nullptr, "MONOCHROME2",
       {0, Stretch(40000, 0, 65535, T), 65535}},
      {"signed", {0xFF9C, 0, 100}, 1, nullptr, nullptr, nullptr, "MONOCHROME2", {0, Stretch(100, 0, 200, T), 65535}},
      // One value everywhere: kept, not divided by zero.
      {"flat", {500, 500, 500}, 0, nullptr, nullptr, nullptr, "MONOCHROME2", {500, 500, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    for (Syntax syn : {Syntax::ImplicitLE, Syntax::ExplicitBE}) {
      DicomWriter w(syn);
      w.Image(1, int(c.Samples.size()), 12, 1, c.Photometric, c.PixelRep, 16);
      if (c.Center) w.Text(0x0028, 0x1050, "DS", c.Center);
      if (c.Width) w.Text(0x0028, 0x1051, "DS", c.Width);
      if (c.Intercept) w.Text(0x0028, 0x1052, "DS", c.Intercept);
      w.Pixels16(c.Samples);
      Result r = Read(w.Out);
      ASSERT_FALSE(r.Aborted);
      ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx16g);
      EXPECT_EQ(Gray16(*r.Bitmap), c.Want) << SyntaxUid(syn);
    }
  }
}

TEST(DicomRead, PackedTwelveBitsPaletteAndRgb) {
  {  // Packed 12-bit: three bytes hold two samples.
    DicomWriter w(Syntax::ExplicitLE);
    w.Image(1, 3, 12, 1, "MONOCHROME2", 0, 12);
    w.Pixels8({0x00, 0x10, 0x20, 0xFF, 0x0F, 0x00});  // 0x000, 0x201, 0xFFF
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx16g);
    EXPECT_EQ(Gray16(*r.Bitmap), (std::vector<int>{0, Stretch(0x201, 0, 0xFFF, 65535), 65535}));
  }
  auto lut = [](uint16_t a, uint16_t b, uint16_t c) {
    return Bytes{uint8_t(a), uint8_t(a >> 8), uint8_t(b), uint8_t(b >> 8), uint8_t(c), uint8_t(c >> 8)};
  };
  {  // 8-bit palette: entries div 257; indexes past the table's data read 0.
    DicomWriter w(Syntax::ExplicitLE);
    w.Image(1, 4, 8, 1, "PALETTE COLOR");
    w.Elem(0x0028, 0x1201, "OW", lut(65535, 0, 257 * 10));
    w.Elem(0x0028, 0x1202, "OW", lut(0, 65535, 257 * 20));
    w.Elem(0x0028, 0x1203, "OW", lut(0, 0, 257 * 30));
    w.Pixels8({0, 1, 2, 200});
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx24RGB);
    EXPECT_EQ(Rgb(*r.Bitmap), (std::vector<int>{255, 0, 0, 0, 255, 0, 10, 20, 30, 0, 0, 0}));
  }
  {  // 16-bit palette: the words themselves.
    DicomWriter w(Syntax::ExplicitLE);
    w.Image(1, 2, 16, 1, "PALETTE COLOR");
    w.Elem(0x0028, 0x1201, "OW", lut(1000, 2000, 0));
    w.Elem(0x0028, 0x1202, "OW", lut(3000, 4000, 0));
    w.Elem(0x0028, 0x1203, "OW", lut(5000, 6000, 0));
    w.Pixels16({1, 0});
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qxRGB48);
    EXPECT_EQ(r.Bitmap->GetPixel48(0, 0), (TQxRGB48{2000, 4000, 6000}));
    EXPECT_EQ(r.Bitmap->GetPixel48(1, 0), (TQxRGB48{1000, 3000, 5000}));
  }
  for (int planar : {0, 1}) {  // RGB, interleaved and in planes.
    DicomWriter w(Syntax::ImplicitLE, false);
    w.Image(1, 2, 8, 3, "RGB");
    w.US(0x0028, 0x0006, uint16_t(planar));
    w.Pixels8(planar ? Bytes{1, 4, 2, 5, 3, 6} : Bytes{1, 2, 3, 4, 5, 6});
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Rgb(*r.Bitmap), (std::vector<int>{1, 2, 3, 4, 5, 6})) << planar;
  }
  {  // Seven stored bits are scaled to eight.
    DicomWriter w(Syntax::ExplicitLE);
    w.Image(1, 2, 7, 1, "MONOCHROME2", 0, 8);
    w.Pixels8({1, 127});
    Result r = Read(w.Out);
    EXPECT_EQ(Gray8(*r.Bitmap), (std::vector<int>{2, 254}));
  }
}

TEST(DicomRead, FramesOfNativeData) {
  struct Case {
    const char* Frames;  // nullptr: no (0028,0008)
    int Index;
    int WantCount;
    int WantIndex;
  };
  for (const Case& c : {Case{"3 ", 1, 3, 1}, Case{"3", 9, 3, 2}, Case{"x", 2, 1, 0}, Case{nullptr, 1, 1, 0},
                        Case{"-4", 0, 1, 0}})
    for (bool meta : {true, false}) {
      DicomWriter w(Syntax::ExplicitLE, meta);
      w.Image(1, 2, 8);
      if (c.Frames) w.Text(0x0028, 0x0008, "IS", c.Frames);
      w.Pixels8({10, 11, 20, 21, 30, 31});
      Result r = Read(w.Out, c.Index);
      SCOPED_TRACE(c.Frames ? c.Frames : "none");
      ASSERT_FALSE(r.Aborted);
      EXPECT_EQ(r.Params->ImageCount, c.WantCount);
      EXPECT_EQ(r.Params->ImageIndex, c.WantIndex);
      EXPECT_EQ(r.Params->GifImageIndex, c.WantIndex);
      EXPECT_EQ(Gray8(*r.Bitmap), (std::vector<int>{10 * (c.WantIndex + 1), 10 * (c.WantIndex + 1) + 1}));
    }
}

TEST(DicomRead, RleFrames) {
  {  // 8-bit gray: a -128 control byte is skipped, then the gray steps stretch 10..20 to 0..255.
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
    w.Image(2, 2, 8);
    Bytes seg{0x80, 0x01, 10, 15, 0xFF, 20};
    w.Encapsulated({RleFrame({seg})}, false);
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Gray8(*r.Bitmap), (std::vector<int>{0, Stretch(15, 10, 20, 255), 255, 255}));
  }
  {  // 16-bit: the first segment holds the high bytes, the second the low bytes.
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
    w.Image(1, 3, 16);
    w.Encapsulated({RleFrame({PackBits({0x00, 0x01, 0x02}), PackBits({0x00, 0x00, 0x00})})}, false);
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Gray16(*r.Bitmap), (std::vector<int>{0, Stretch(256, 0, 512, 65535), 65535}));
  }
  {  // RGB in three segments, three frames found by offset table and by skipping fragments.
    std::vector<Bytes> frames;
    for (int f = 0; f < 3; ++f)
      frames.push_back(RleFrame({PackBits({0, uint8_t(100 + f)}), PackBits({255, 0}), PackBits({0, 255})}));
    for (bool table : {true, false})
      for (int index = 0; index < 3; ++index) {
        DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
        w.Image(1, 2, 8, 3, "RGB");
        w.Text(0x0028, 0x0008, "IS", "3");
        w.Encapsulated(frames, table);
        Result r = Read(w.Out, index);
        ASSERT_FALSE(r.Aborted);
        // The gray steps run over all three samples: 0..(100 + f) and 255 stretch together.
        const int mid = Stretch(100 + index, 0, 255, 255);
        EXPECT_EQ(Rgb(*r.Bitmap), (std::vector<int>{0, 255, 0, mid, 0, 255})) << table << index;
      }
  }
}

TEST(DicomRleSegment, ControlBytesAndCut) {
  const Bytes data{0x02, 1, 2, 3, 0x80, 0xFD, 9, 0x00, 7};
  TMemoryStream s;
  s.Write(data.data(), int64_t(data.size()));
  s.SetPosition(0);
  uint8_t out[10];
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(QxDicomUnpackRLE(&s, out, 9), 9);
  EXPECT_EQ(Bytes(out, out + 10), (Bytes{1, 2, 3, 9, 9, 9, 9, 7, 0xEE, 0xEE}));
  s.SetPosition(0);
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(QxDicomUnpackRLE(&s, out, 5), 7);  // a run cut at the count
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{1, 2, 3, 9, 9, 0xEE}));
}

namespace {

std::vector<int> TestSamples(int W, int H, int C, int Max, int Seed) {
  std::vector<int> v;
  uint32_t r = uint32_t(Seed) * 2654435761u + 1;
  for (int i = 0; i < W * H * C; ++i) {
    r = r * 1103515245u + 12345u;
    const int smooth = ((i / C) % W) * 3 + ((i / C) / W) * 5 + (i % C) * 40;
    v.push_back((smooth + int((r >> 16) % 9)) % (Max + 1));
  }
  return v;
}

bool DecodeLj(const Bytes& Jpeg, int W, int H, int C, bool Words, std::vector<int>& Out) {
  TMemoryStream s;
  s.Write(Jpeg.data(), int64_t(Jpeg.size()));
  s.SetPosition(0);
  std::vector<uint8_t> o8(size_t(W * H * C));
  std::vector<uint16_t> o16(size_t(W * H * C));
  const bool ok = QxDicomLosslessJpeg(&s, Words ? o16.data() : nullptr, Words ? nullptr : o8.data(),
                                      int64_t(Jpeg.size()), W, H, C, {}, nullptr);
  Out.clear();
  for (size_t i = 0; i < o8.size(); ++i) Out.push_back(Words ? o16[i] : o8[i]);
  return ok;
}

}  // namespace

TEST(DicomLosslessJpeg, EveryPredictorPrecisionAndTableLayout) {
  for (int predictor = 1; predictor <= 7; ++predictor) {
    SCOPED_TRACE(predictor);
    std::vector<int> got;
    LjOptions o;
    o.Predictor = predictor;
    auto g8 = TestSamples(13, 7, 1, 255, predictor);
    ASSERT_TRUE(DecodeLj(EncodeLossless(g8, 13, 7, 1, o), 13, 7, 1, false, got));
    EXPECT_EQ(got, g8);
    o.Precision = 16;
    auto g16 = TestSamples(11, 6, 1, 65535, predictor);
    for (int& v : g16) v = (v * 257) & 0xFFFF;
    ASSERT_TRUE(DecodeLj(EncodeLossless(g16, 11, 6, 1, o), 11, 6, 1, true, got));
    EXPECT_EQ(got, g16);
    o.Precision = 12;
    auto g12 = TestSamples(9, 5, 1, 4095, predictor);
    ASSERT_TRUE(DecodeLj(EncodeLossless(g12, 9, 5, 1, o), 9, 5, 1, true, got));
    EXPECT_EQ(got, g12);
  }
  // Three components: one table serves all; with three, component k takes table k whatever the scan says.
  auto rgb = TestSamples(10, 4, 3, 255, 7);
  for (int tables : {1, 3}) {
    LjOptions o;
    o.Tables = tables;
    o.MisleadingSelectors = tables == 3;
    o.Predictor = 4;
    std::vector<int> got;
    ASSERT_TRUE(DecodeLj(EncodeLossless(rgb, 10, 4, 3, o), 10, 4, 3, false, got)) << tables;
    EXPECT_EQ(got, rgb) << tables;
  }
  {  // Restart intervals of whole rows.
    LjOptions o;
    o.Predictor = 6;
    o.RestartRows = 2;
    auto g = TestSamples(8, 9, 1, 255, 3);
    std::vector<int> got;
    ASSERT_TRUE(DecodeLj(EncodeLossless(g, 8, 9, 1, o), 8, 9, 1, false, got));
    EXPECT_EQ(got, g);
  }
  {  // A difference of category 16: the first 16-bit sample 0 lies 32768 below its prediction.
    LjOptions o;
    o.Precision = 16;
    std::vector<int> g{0, 0, 40000, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    std::vector<int> got;
    const Bytes jpeg = EncodeLossless(g, 16, 1, 1, o);
    ASSERT_TRUE(DecodeLj(jpeg, 16, 1, 1, true, got));
    EXPECT_EQ(got, g);
  }
}

TEST(DicomLosslessJpeg, RefusesBadStreams) {
  LjOptions o;
  auto g = TestSamples(6, 6, 1, 255, 1);
  const Bytes good = EncodeLossless(g, 6, 6, 1, o);
  std::vector<int> got;
  ASSERT_TRUE(DecodeLj(good, 6, 6, 1, false, got));
  auto find = [&](const Bytes& B, uint8_t Marker) {
    for (size_t i = 0; i + 1 < B.size(); ++i)
      if (B[i] == 0xFF && B[i + 1] == Marker) return i;
    return size_t(0);
  };
  std::vector<std::pair<const char*, Bytes>> bad;
  bad.push_back({"short", Bytes(good.begin(), good.begin() + 31)});
  {
    Bytes b = good;
    b[2] = 0x12;  // no marker where one is due
    bad.push_back({"no marker", b});
  }
  {
    Bytes b = good;
    const size_t at = find(b, 0xC4);
    b[at + 2] = 0x7F;  // a segment running past the data
    bad.push_back({"long segment", b});
  }
  {
    Bytes b = good;
    const size_t at = find(b, 0xC4);
    b[at + 5 + 16 + 3] = 17;  // a symbol above 16
    bad.push_back({"symbol", b});
  }
  {
    Bytes b = good;
    const size_t at = find(b, 0xC4);
    b[at + 1] = 0xFE;  // the table becomes a comment: no table at all
    bad.push_back({"no table", b});
  }
  for (const auto& [name, bytes] : bad) EXPECT_FALSE(DecodeLj(bytes, 6, 6, 1, false, got)) << name;
  // A frame of another size than the buffer was made for.
  EXPECT_FALSE(DecodeLj(good, 5, 6, 1, false, got));
  EXPECT_FALSE(DecodeLj(good, 6, 6, 1, true, got));
}

TEST(DicomRead, LosslessJpegFrames) {
  {  // RGB: rows top-down, red first in the file, blue-green-red in the bitmap; no gray steps.
    auto rgb = TestSamples(5, 3, 3, 255, 2);
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.70");
    w.Image(3, 5, 8, 3, "RGB");
    w.Encapsulated({EncodeLossless(rgb, 5, 3, 3, LjOptions{})}, false);
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Rgb(*r.Bitmap), rgb);
  }
  {  // 16-bit gray, second of two frames by the offset table, then stretched.
    LjOptions o;
    o.Precision = 16;
    std::vector<int> f0{5, 5, 5, 5}, f1{100, 200, 300, 500};
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.57");
    w.Image(2, 2, 16);
    w.Text(0x0028, 0x0008, "IS", "2");
    w.Encapsulated({EncodeLossless(f0, 2, 2, 1, o), EncodeLossless(f1, 2, 2, 1, o)}, true);
    Result r = Read(w.Out, 1);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Gray16(*r.Bitmap), (std::vector<int>{0, Stretch(200, 100, 500, 65535), Stretch(300, 100, 500, 65535), 65535}));
  }
  {  // A frame whose header disagrees with Rows and Columns is refused.
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.70");
    w.Image(4, 4, 8);
    w.Encapsulated({EncodeLossless(TestSamples(5, 3, 1, 255, 2), 5, 3, 1, LjOptions{})}, false);
    EXPECT_TRUE(Read(w.Out).Aborted);
  }
}

TEST(DicomRead, BaselineJpegAndUnsupportedSyntaxes) {
  // A gray JPEG written by the I/O component's own encoder, in a fragment and straight in the value.
  TQxBitmap src(8, 8, TQxPixelFormat::qx8g);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src.Scanline(y)[x] = uint8_t(x < 4 ? 40 : 200);
  TMemoryStream js;
  TIOParamsVals jp;
  jp.JpegQuality = 95;
  jp.JpegColorSpace = 1;
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  WriteJpegStream(&js, &src, jp, pr);
  ASSERT_FALSE(ab);
  Bytes jpeg(size_t(js.Size()));
  js.SetPosition(0);
  js.Read(jpeg.data(), int64_t(jpeg.size()));
  ASSERT_EQ(jpeg[3], 0xE0);  // an APP0 segment follows the start of image
  for (bool inValue : {false, true}) {
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.50");
    w.Image(8, 8, 8);
    if (inValue) {
      Bytes v = jpeg;
      if (v.size() % 2) v.push_back(0);
      w.Pixels8(v);
      w.Text(0x7FE1, 0x0010, "LO", "after");  // parsing goes on past a JPEG value
    } else {
      w.Encapsulated({jpeg}, false);
    }
    Result r = Read(w.Out);
    ASSERT_FALSE(r.Aborted) << inValue;
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx8g);
    // Stretched by the gray steps: the dark half near 0, the light half near 255.
    EXPECT_LT(r.Bitmap->Scanline(4)[1], 16) << inValue;
    EXPECT_GT(r.Bitmap->Scanline(4)[6], 239) << inValue;
    EXPECT_EQ(FindTag(*r.Params, 0x7FE1, 0x0010) != nullptr, inValue);
  }
  {  // A gray JPEG 2000 frame arriving as 24-bit pixels ends up gray and stretched.
    auto saved = QxCodecServices.ReadJpeg2000Stream;
    QxCodecServices.ReadJpeg2000Stream = [](TStream*, TQxBitmap* B, TIOParamsVals&, TQxProgressInfo&, bool) {
      B->Allocate(2, 1, TQxPixelFormat::qx24RGB);
      B->SetPixel24(0, 0, TQxRGB{10, 10, 10});
      B->SetPixel24(1, 0, TQxRGB{20, 20, 20});
    };
    DicomWriter w(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.91");
    w.Image(1, 2, 8);
    w.Encapsulated({jpeg}, false);
    Result r = Read(w.Out);
    QxCodecServices.ReadJpeg2000Stream = saved;
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->PixelFormat(), TQxPixelFormat::qx8g);
    EXPECT_EQ(Gray8(*r.Bitmap), (std::vector<int>{0, 255}));
  }
  // MPEG-2, and JPEG 2000 while no codec is registered for it: refused.
  for (const char* ts : {"1.2.840.10008.1.2.4.100", "1.2.840.10008.1.2.4.91"}) {
    auto saved = QxCodecServices.ReadJpeg2000Stream;
    QxCodecServices.ReadJpeg2000Stream = nullptr;
    DicomWriter w(Syntax::ExplicitLE, true, ts);
    w.Image(8, 8, 8);
    w.Encapsulated({jpeg}, false);
    EXPECT_TRUE(Read(w.Out).Aborted) << ts;
    QxCodecServices.ReadJpeg2000Stream = saved;
  }
}

TEST(DicomRead, NestedImageAndParamsOnly) {
  // An icon in a sequence of undefined length neither describes nor replaces the main picture.
  DicomWriter w(Syntax::ExplicitLE);
  w.Image(1, 2, 8);
  w.Elem(0x0088, 0x0200, "SQ", {}, 0xFFFFFFFF);
  w.Tag4(0xFFFE, 0xE000, 0xFFFFFFFF);
  w.Image(1, 1, 8);
  w.Pixels8({77, 0});
  w.Tag4(0xFFFE, 0xE00D, 0);
  w.Tag4(0xFFFE, 0xE0DD, 0);
  w.Pixels8({5, 6});
  Result r = Read(w.Out);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(Gray8(*r.Bitmap), (std::vector<int>{5, 6}));
  // Encapsulated pixel data inside the icon closes its own level.
  DicomWriter e(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
  e.Image(1, 2, 8);
  e.Elem(0x0088, 0x0200, "SQ", {}, 0xFFFFFFFF);
  e.Tag4(0xFFFE, 0xE000, 0xFFFFFFFF);
  e.Encapsulated({RleFrame({PackBits({9})})}, false);
  e.Tag4(0xFFFE, 0xE00D, 0);
  e.Tag4(0xFFFE, 0xE0DD, 0);
  e.Encapsulated({RleFrame({PackBits({10, 20})})}, false);
  Result er = Read(e.Out);
  ASSERT_FALSE(er.Aborted);
  EXPECT_EQ(Gray8(*er.Bitmap), (std::vector<int>{0, 255}));
  // Parameters only: no pixels, the same description.
  Result p = Read(w.Out, 0, true);
  EXPECT_FALSE(p.Aborted);
  EXPECT_TRUE(p.Bitmap->IsEmpty());
  EXPECT_EQ(p.Params->Width, 2);
  // A data set without pixel data gives its tags, and the load fails: there is no picture.
  DicomWriter n(Syntax::ImplicitLE, false);
  n.Text(0x0010, 0x0010, "PN", "Nobody");
  Result q = Read(n.Out);
  EXPECT_TRUE(q.Aborted);
  EXPECT_NE(FindTag(*q.Params, 0x0010, 0x0010), nullptr);
}

TEST(DicomRead, CorruptAndTruncatedInputIsRefused) {
  DicomWriter w(Syntax::ExplicitLE);
  w.Image(16, 16, 16);
  std::vector<uint16_t> px(256);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint16_t(i * 7);
  w.Pixels16(px);
  const Bytes good = w.Out;
  ASSERT_FALSE(Read(good).Aborted);
  // Cut anywhere inside the pixel data (beyond the two bytes tolerated): refused.
  for (size_t cut : {good.size() - 3, good.size() - 100, good.size() - 500}) EXPECT_TRUE(Read(Bytes(good.begin(), good.begin() + long(cut))).Aborted) << cut;
  // Any cut at all: no crash, no exception.
  for (size_t cut = 0; cut < good.size(); cut += 7) Read(Bytes(good.begin(), good.begin() + long(cut)));
  {  // A huge picture claimed by a tiny file is refused before allocating.
    DicomWriter h(Syntax::ExplicitLE);
    h.Image(65535, 65535, 16);
    h.Pixels16({1, 2, 3});
    EXPECT_TRUE(Read(h.Out).Aborted);
    DicomWriter e(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
    e.Image(65535, 65535, 8);
    e.Encapsulated({RleFrame({Bytes{0x81, 0}})}, false);
    EXPECT_TRUE(Read(e.Out).Aborted);
    DicomWriter l(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.70");
    l.Image(65535, 65535, 8);
    l.Encapsulated({EncodeLossless(TestSamples(6, 6, 1, 255, 1), 6, 6, 1, LjOptions{})}, false);
    EXPECT_TRUE(Read(l.Out).Aborted);
  }
  {  // Encapsulated data without the item tag of its frame, or with fewer fragments than the index.
    DicomWriter m(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
    m.Image(1, 2, 8);
    m.Elem(0x7FE0, 0x0010, "OB", {}, 0xFFFFFFFF);
    m.Tag4(0xFFFE, 0xE000, 0);
    m.Tag4(0xFFFE, 0xE0DD, 0);
    EXPECT_TRUE(Read(m.Out).Aborted);
    DicomWriter f(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.5");
    f.Image(1, 2, 8);
    f.Text(0x0028, 0x0008, "IS", "4");
    f.Encapsulated({RleFrame({PackBits({1, 2})})}, false);
    EXPECT_TRUE(Read(f.Out, 3).Aborted);
  }
  {  // Extreme numbers: the gray steps stay finite and a far frame index lands past the end.
    DicomWriter x(Syntax::ExplicitLE);
    x.Image(1, 2, 16);
    x.Text(0x0028, 0x0008, "IS", "2147483647");
    x.Text(0x0028, 0x1050, "DS", "1e300");
    x.Text(0x0028, 0x1051, "DS", "-1e300");
    x.Text(0x0028, 0x1053, "DS", "1e308\\2");
    x.Pixels16({1, 60000});
    Result first = Read(x.Out);
    EXPECT_FALSE(first.Aborted);
    EXPECT_EQ(first.Params->ImageCount, 2147483647);
    EXPECT_TRUE(Read(x.Out, 2000000000).Aborted);
  }
  {  // A layout the reader does not decode is a failure, not an empty picture.
    DicomWriter c(Syntax::ExplicitLE);
    c.Image(1, 1, 8, 4, "CMYK");
    c.Pixels8({1, 2, 3, 4});
    EXPECT_TRUE(Read(c.Out).Aborted);
  }
}

TEST(DicomCodec, ThroughTheIOComponent) {
  QxRegisterDicomCodec();
  DicomWriter w(Syntax::ExplicitLE);
  w.Image(2, 3, 8);
  w.Text(0x0028, 0x0008, "IS", "2");
  w.Pixels8({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  std::string dirPath = (std::filesystem::temp_directory_path() / "qvdcm_XXXXXX").string();
  char* dir = dirPath.data();
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/scan.dcm", odd = std::string(dir) + "/scan.bin";
  for (const std::string& p : {path, odd}) {
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(w.Out.data()), std::streamsize(w.Out.size()));
  }
  {  // A bare data set is parsed from where reading begins.
    DicomWriter b(Syntax::ImplicitLE, false);
    b.Image(1, 2, 8);
    b.Pixels8({4, 9});
    TMemoryStream bs;
    bs.Write("junk!!!", 7);
    bs.Write(b.Out.data(), int64_t(b.Out.size()));
    bs.SetPosition(7);
    TQxBitmap bm;
    TIOParamsVals bp;
    std::atomic<bool> ab{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &ab;
    ReadDicomStream(&bs, bp, &bm, pr, false);
    ASSERT_FALSE(ab);
    EXPECT_EQ(Gray8(bm), (std::vector<int>{4, 9}));
  }
  {  // A bitmap kept in a platform bitmap is filled through a copy, as 24-bit pixels.
    TMemoryStream bs;
    bs.Write(w.Out.data(), int64_t(w.Out.size()));
    bs.SetPosition(0);
    TQxBitmap bm(1, 1, TQxPixelFormat::qx24RGB);
    bm.SetLocation(TQxLocation::qxTBitmap);
    ASSERT_EQ(bm.Location(), TQxLocation::qxTBitmap);
    TIOParamsVals bp;
    std::atomic<bool> ab{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &ab;
    ReadDicomStream(&bs, bp, &bm, pr, false);
    ASSERT_FALSE(ab);
    ASSERT_EQ(bm.PixelFormat(), TQxPixelFormat::qx24RGB);
    EXPECT_EQ(Rgb(bm), (std::vector<int>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6}));
  }
  TMemoryStream s;
  s.Write(w.Out.data(), int64_t(w.Out.size()));
  s.SetPosition(5);
  EXPECT_FALSE(IsDicomStream(&s));
  EXPECT_EQ(s.Position(), 5);
  s.SetPosition(0);
  EXPECT_TRUE(IsDicomStream(&s));
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(QxFindStreamFormat(s), qxffDICOM);

  TQuillotIO io;
  io.Params->ImageIndex = 1;
  io.LoadFromFile(path);
  ASSERT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params->FileType, qxffDICOM);
  EXPECT_EQ(io.WorkBitmap()->Width(), 3);
  EXPECT_EQ(io.WorkBitmap()->Scanline(0)[0], 7);
  EXPECT_EQ(DicomFrameCount(path.c_str()), 2);
  EXPECT_EQ(QxImageCount(path), 2);
  EXPECT_EQ(DicomFrameCount((std::string(dir) + "/missing.dcm").c_str()), 0);
  io.LoadFromFileDetected(odd);
  EXPECT_FALSE(io.Aborting);
  EXPECT_EQ(io.Params->FileType, qxffDICOM);
  std::remove(path.c_str());
  std::remove(odd.c_str());
  rmdir(dir);
}

namespace {

bool HaveTools(const std::string& Names) {
  return std::system(("for t in " + Names + "; do command -v $t >/dev/null || exit 1; done").c_str()) == 0;
}
int Sh(const std::string& Cmd) { return std::system(("( " + Cmd + " ) >/dev/null 2>&1").c_str()); }

Bytes Load(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
void Save(const std::string& Path, const Bytes& B) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
}

// The samples of a binary PGM or PPM (of up to 8 bits), top row first.
std::vector<int> PnmSamples(const std::string& Path) {
  const Bytes b = Load(Path);
  size_t at = 2;
  int fields = 0;
  while (fields < 3 && at < b.size()) {
    while (at < b.size() && std::isspace(b[at])) ++at;
    if (at < b.size() && b[at] == '#') {
      while (at < b.size() && b[at] != '\n') ++at;
      continue;
    }
    while (at < b.size() && std::isdigit(b[at])) ++at;
    ++fields;
  }
  return std::vector<int>(b.begin() + long(std::min(at + 1, b.size())), b.end());
}

// A directory of the test's files, removed at the end.
struct Dir {
  std::string Path;
  Dir() {
    char t[] = "/tmp/qvdcm_XXXXXX";
    Path = mkdtemp(t);
  }
  ~Dir() { Sh("rm -rf '" + Path + "'"); }
  std::string operator/(const std::string& N) const { return Path + "/" + N; }
};

}  // namespace

// JPEG 2000 frames from OpenJPEG under both its transfer syntaxes (lossless only, and lossy); a signed 16-bit
// frame keeps its 16 bits and is stretched over the 16-bit gray steps.
TEST(DicomOutside, Jpeg2000FramesOfEitherSyntaxAndSixteenSignedBits) {
  if (!HaveTools("opj_compress")) GTEST_SKIP() << "OpenJPEG tools missing";
  QxRegisterJpeg2000Codec();
  const Dir d;
  const int w = 40, h = 30;
  struct Case {
    const char* Name;
    int Bits;
    bool Signed;
  };
  for (const Case c : {Case{"8-bit", 8, false}, Case{"16-bit signed", 16, true}, Case{"12-bit", 12, false}}) {
    SCOPED_TRACE(c.Name);
    // A body-like picture: air far below zero around a brighter ellipse.
    std::vector<int> v;
    Bytes raw;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double r = std::hypot((x - 20) / 18.0, (y - 15) / 12.0);
        int s = r < 1 ? 40 + (x * 37 + y * 11) % 200 : 0;
        if (c.Bits == 16) s = r < 1 ? -200 + (x * 397 + y * 113) % 1700 : -1024;
        if (c.Bits == 12) s = s * 16 + x;
        v.push_back(s);
        if (c.Bits == 8) raw.push_back(uint8_t(s));
        else raw.insert(raw.end(), {uint8_t(s), uint8_t(uint32_t(s) >> 8)});
      }
    Save(d / "in.rawl", raw);
    ASSERT_EQ(Sh("cd '" + d.Path + "' && opj_compress -i in.rawl -o f.j2k -n 3 -F " + std::to_string(w) + "," +
                  std::to_string(h) + ",1," + std::to_string(c.Bits) + "," + (c.Signed ? "s" : "u")),
              0);
    const Bytes j2k = Load(d / "f.j2k");
    const int lo = *std::min_element(v.begin(), v.end()), hi = *std::max_element(v.begin(), v.end());
    for (const char* ts : {"1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.91"}) {
      SCOPED_TRACE(ts);
      DicomWriter dw(Syntax::ExplicitLE, true, ts);
      dw.Image(h, w, c.Bits, 1, "MONOCHROME2", c.Signed ? 1 : 0);
      dw.Encapsulated({j2k}, true);
      Result r = Read(dw.Out);
      ASSERT_FALSE(r.Aborted);
      const bool wide = c.Bits > 8;
      ASSERT_EQ(r.Bitmap->PixelFormat(), wide ? TQxPixelFormat::qx16g : TQxPixelFormat::qx8g);
      std::vector<int> want;
      for (int s : v) want.push_back(Stretch(s, lo, hi, wide ? 65535 : 255));
      EXPECT_EQ(wide ? Gray16(*r.Bitmap) : Gray8(*r.Bitmap), want);
    }
  }
}

// Baseline JPEG of RGB components: with the Adobe segment DCMTK writes, and without any segment that names a
// transform, where only the data set's RGB tells; both read as djpeg reads the stream with its Adobe segment.
TEST(DicomOutside, BaselineJpegOfUntransformedRgb) {
  if (!HaveTools("convert img2dcm dcmcjpeg djpeg")) GTEST_SKIP() << "DCMTK, djpeg or ImageMagick missing";
  const Dir d;
  ASSERT_EQ(Sh("cd '" + d.Path + "' && convert -size 24x16 xc:white -fill '#ff0000' -draw 'rectangle 0,0 11,7' "
                "-fill '#2040c0' -draw 'rectangle 12,8 23,15' BMP3:w.bmp && img2dcm -i BMP w.bmp w.dcm && "
                "dcmcjpeg +eb +cr w.dcm wj.dcm"),
            0);
  const Bytes file = Load(d / "wj.dcm");
  const std::vector<uint8_t> soi{0xFF, 0xD8, 0xFF}, eoi{0xFF, 0xD9};
  const auto s = std::search(file.begin(), file.end(), soi.begin(), soi.end());
  const auto e = std::search(s, file.end(), eoi.begin(), eoi.end());
  ASSERT_NE(e, file.end());
  const Bytes adobe(s, e + 2);
  ASSERT_EQ(adobe[3], 0xEE);
  Save(d / "adobe.jpg", adobe);
  ASSERT_EQ(Sh("cd '" + d.Path + "' && djpeg -pnm -outfile adobe.ppm adobe.jpg"), 0);
  const std::vector<int> want = PnmSamples(d / "adobe.ppm");
  ASSERT_EQ(want.size(), 24u * 16 * 3);
  // The same stream with the Adobe segment dropped and components numbered 1, 2, 3.
  Bytes bare(adobe.begin(), adobe.begin() + 2);
  bare.insert(bare.end(), adobe.begin() + 4 + (adobe[4] << 8 | adobe[5]), adobe.end());
  for (size_t i = 2; i + 1 < bare.size(); ++i) {
    if (bare[i] == 0xFF && bare[i + 1] == 0xC0) {
      for (int k = 0; k < 3; ++k) bare[i + 10 + 3 * k] = uint8_t(k + 1);
    } else if (bare[i] == 0xFF && bare[i + 1] == 0xDA) {
      for (int k = 0; k < 3; ++k) bare[i + 5 + 2 * k] = uint8_t(k + 1);
      break;
    }
  }
  for (const auto& [name, jpeg] : {std::pair{"adobe", adobe}, std::pair{"bare", bare}}) {
    SCOPED_TRACE(name);
    DicomWriter dw(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.4.50");
    dw.Image(16, 24, 8, 3, "RGB");
    dw.Encapsulated({jpeg}, true);
    Result r = Read(dw.Out);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(Rgb(*r.Bitmap), want);
    EXPECT_GT(Rgb(*r.Bitmap)[3 * (15 * 24 + 2) + 1], 240);  // the white corner is white
  }
}

// DCMTK writes 8-bit RGB in Explicit VR Big Endian as 16-bit words: each word's two bytes come the other way
// round, and reading undoes it.
TEST(DicomOutside, BigEndianEightBitRgbInWords) {
  if (!HaveTools("convert img2dcm dcmconv dcm2pnm")) GTEST_SKIP() << "DCMTK or ImageMagick missing";
  const Dir d;
  ASSERT_EQ(Sh("cd '" + d.Path + "' && convert -size 13x7 gradient:'#ff2000'-'#0040ff' -fill white -draw "
                "'point 1,1' BMP3:c.bmp && img2dcm -i BMP c.bmp c.dcm && dcmconv +tb c.dcm cb.dcm && "
                "dcm2pnm +op cb.dcm cb.ppm"),
            0);
  const Bytes big = Load(d / "cb.dcm");
  const std::string ow = "OW";
  ASSERT_NE(std::search(big.begin(), big.end(), ow.begin(), ow.end()), big.end());
  Result r = Read(big);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(Rgb(*r.Bitmap), PnmSamples(d / "cb.ppm"));
  EXPECT_EQ(Rgb(*r.Bitmap), Rgb(*Read(Load(d / "c.dcm")).Bitmap));
}

// Files that decode to no picture fail with a reason: objects without pixel data and deflated data sets.
TEST(DicomRead, FilesWithoutAPictureFailWithAReason) {
  DicomWriter report(Syntax::ExplicitLE);
  report.Text(0x0008, 0x0060, "CS", "SR");
  report.Text(0x0010, 0x0010, "PN", "Nobody");
  DicomWriter deflated(Syntax::ExplicitLE, true, "1.2.840.10008.1.2.1.99");
  deflated.Put(Bytes{0x63, 0x60, 0x00, 0x01, 0x46, 0x20, 0x00});
  for (const auto& [name, file, why] : {std::tuple{"report", report.Out, "no picture"},
                                        std::tuple{"deflated", deflated.Out, "Deflated"}}) {
    SCOPED_TRACE(name);
    Result r = Read(file);
    EXPECT_TRUE(r.Aborted);
    EXPECT_TRUE(r.Bitmap->IsEmpty());
    EXPECT_NE(r.Params->ReadError.find(why), std::string::npos) << r.Params->ReadError;
  }
  // Reading the fields alone of a file without pixels is no failure.
  EXPECT_FALSE(Read(report.Out, 0, true).Aborted);
}
