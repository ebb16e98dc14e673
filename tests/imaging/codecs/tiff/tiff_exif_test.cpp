// EXIF, GPS and metadata blocks written by the TIFF writer and read back by the reader, and the EXIF block
// of the JPEG road through the foundation's routines.
#include <lcms2.h>

#include <cstring>

#include "imaging/codecs/tiff_internal.h"
#include "imaging/foundation/annotations.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/jpeg_metadata.h"
#include "imaging/io/quillot_io.h"
#include "tiff_test_util.h"

using namespace qvtiff;

namespace {

// The EXIF directory of a tags-only block, and the block read back into fresh parameters.
struct Block {
  std::vector<uint8_t> Data;
  std::unique_ptr<TMemoryStream> S;
  TTIFFDirectory Main, Exif, Gps;
  ReadResult Back;
  explicit Block(TIOParamsVals& P) {
    P.ExifHasData = 1;
    Data = WriteTiff(nullptr, P);
    S = StreamOf(Data);
    int32_t pages = 0;
    const uint32_t first = Data[4] | (Data[5] << 8) | (Data[6] << 16) | (uint32_t(Data[7]) << 24);
    EXPECT_TRUE(TiffWalkIFDs(S.get(), 0, true, first, 0, &Main, pages));
    if (int64_t e = Main.ReadValue(34665, 0)) TiffLoadDirectory(S.get(), 0, true, uint32_t(e), Exif);
    if (int64_t g = Main.ReadValue(34853, 0)) TiffLoadDirectory(S.get(), 0, true, uint32_t(g), Gps);
    Back = ReadTiff(Data, {.ParamsOnly = true});
  }
};

}  // namespace

TEST(TiffExif, ExifTagsWrittenAndReadBack) {
  TIOParamsVals p;
  p.SetExifExposureTime(0.004);
  p.SetExifBrightnessValue(-2.5);
  p.SetExifFlash(16);
  p.SetExifSceneType(1);
  p.ExifISOSpeedRatings = {100, 0};
  p.ExifMake = "Maker";
  p.ExifModel = "M1";
  p.ExifXPTitle = "Grüße";
  p.ExifDateTimeOriginal = "2026:12:10 10:00:00";
  p.ExifVersion = "0220";
  p.ExifUserComment = "Hi";
  p.ExifUserCommentCode.assign("UNICODE\0", 8);
  p.ExifXResolution = 300;
  p.ExifYResolution = 300;
  Block b(p);
  EXPECT_FALSE(b.Main.Entry(531));  // YCbCrPositioning absent: not written
  EXPECT_EQ(b.Exif.Entry(34855)->Count, 1u);
  EXPECT_EQ(b.Exif.ReadValue(34855, 0), 100);
  EXPECT_EQ(b.Exif.Entry(37510)->Count, 14u);
  EXPECT_EQ(b.Exif.Entry(41729)->Type, ttUndefined);
  EXPECT_EQ(b.Exif.Entry(36864)->Count, 4u);
  EXPECT_FALSE(b.Main.Entry(34853));  // no GPS version: no GPS directory

  const TIOParamsVals& r = *b.Back.Params;
  EXPECT_EQ(r.ExifHasData, 1);
  EXPECT_NEAR(r.ExifExposureTime, 0.004, 5e-9);
  EXPECT_DOUBLE_EQ(r.ExifBrightnessValue, -2.5);
  EXPECT_EQ(r.ExifFlash, 16);
  EXPECT_EQ(r.ExifSceneType, 1);
  EXPECT_EQ(r.ExifISOSpeedRatings[0], 100);
  EXPECT_EQ(r.ExifMake, "Maker");
  EXPECT_EQ(r.ExifModel, "M1");
  EXPECT_EQ(r.ExifXPTitle, "Grüße");
  EXPECT_EQ(r.ExifDateTimeOriginal, "2026:12:10 10:00:00");
  EXPECT_EQ(r.ExifVersion, "0220");
  EXPECT_EQ(r.ExifUserComment, "Hi");
  EXPECT_EQ(r.ExifUserCommentCode, std::string("UNICODE\0", 8));
  EXPECT_EQ(r.ExifYCbCrPositioning, -1);
  EXPECT_EQ(r.ExifFNumber, -1);
  for (int32_t tag : {0x829A, 0x9203, 0x9209, 0xA301}) EXPECT_NE(std::find(r.ExifTagsPresent.begin(), r.ExifTagsPresent.end(), tag), r.ExifTagsPresent.end()) << tag;

  // Two ISO values go as two SHORTs; an ASCII-coded comment keeps its code.
  TIOParamsVals q;
  q.ExifISOSpeedRatings = {100, 200};
  q.ExifUserComment = "caf\xC3\xA9";
  q.ExifUserCommentCode.assign("ASCII\0\0\0", 8);
  Block c(q);
  EXPECT_EQ(c.Exif.Entry(34855)->Count, 2u);
  EXPECT_EQ(c.Exif.Entry(37510)->Count, 13u);  // 8 code bytes, four code-page bytes, NUL
  EXPECT_EQ(c.Back.Params->ExifUserComment, "caf\xC3\xA9");
  EXPECT_EQ(c.Back.Params->ExifISOSpeedRatings[1], 200);
}

TEST(TiffExif, GpsDirectory) {
  TIOParamsVals p;
  p.ExifGPSVersionID = "2.2.0.0";
  p.ExifGPSLatitudeRef = std::string("N\0", 2);
  p.ExifGPSLatitude = {51, 30, 12.5};
  p.ExifGPSAltitudeRef = "1";
  p.ExifGPSAltitude = 120.25;
  p.ExifGPSMapDatum = "WGS-84";
  Block b(p);
  ASSERT_TRUE(b.Gps.Entry(0));
  EXPECT_EQ(b.Gps.Entry(0)->Count, 4u);
  EXPECT_EQ(std::vector<uint8_t>(b.Gps.Entry(0)->Raw, b.Gps.Entry(0)->Raw + 4), (std::vector<uint8_t>{2, 2, 0, 0}));
  EXPECT_EQ(b.Gps.Entry(1)->Count, 2u);
  const TIOParamsVals& r = *b.Back.Params;
  EXPECT_EQ(r.ExifGPSVersionID, "2.2.0.0");
  EXPECT_EQ(r.ExifGPSLatitudeRef, std::string("N\0", 2));
  EXPECT_EQ(r.ExifGPSLatitude, (std::array<double, 3>{51, 30, 12.5}));
  EXPECT_EQ(r.ExifGPSAltitudeRef, "1");
  EXPECT_DOUBLE_EQ(r.ExifGPSAltitude, 120.25);
  EXPECT_EQ(r.ExifGPSMapDatum, "WGS-84");
}

TEST(TiffExif, PageWithoutExifGivesAbsentValues) {
  TiffBuilder b;
  b.Image(1, 1, 8, 1, 1, {0});
  TIOParamsVals p;
  p.ExifHasData = 0;
  ReadResult r = ReadTiff(b.Build(), {.ParamsOnly = true});
  EXPECT_EQ(r.Params->ExifHasData, 0);
  EXPECT_EQ(r.Params->ExifExposureTime, -1);
  EXPECT_EQ(r.Params->ExifBrightnessValue, -1000);
  EXPECT_EQ(r.Params->ExifGPSVersionID, "");
}

TEST(TiffExif, MetadataBlocksOfAnImagePage) {
  auto bmp = MakeRGB(4, 4);
  for (int32_t len : {4, 5}) {
    TIOParamsVals p;
    p.IPTC = std::make_unique<TQxIPTCInfoList>();
    std::vector<uint8_t> text(size_t(len), 'x');
    p.IPTC->AddRecord(2, 120, len, text.data());
    p.XmpPacket = "<x:xmpmeta>packet</x:xmpmeta>";
    {
      cmsHPROFILE h = cmsCreate_sRGBProfile();
      cmsUInt32Number n = 0;
      cmsSaveProfileToMem(h, nullptr, &n);
      std::vector<uint8_t> raw(n);
      cmsSaveProfileToMem(h, raw.data(), &n);
      cmsCloseProfile(h);
      p.GetInputICC()->LoadFromBuffer(raw.data(), int32_t(n));
    }
    const std::vector<uint8_t> f = WriteTiff(bmp.get(), p);
    auto s = StreamOf(f);
    TTIFFDirectory d;
    TiffLoadDirectory(s.get(), 0, true, f[4] | (f[5] << 8) | (f[6] << 16) | (uint32_t(f[7]) << 24), d);
    // 7 bytes of version record and 5 of header before the text: 16 bytes give 4 LONGs, 17 give 5.
    EXPECT_EQ(d.Entry(33723)->Count, uint32_t(len == 4 ? 4 : 5));
    ReadResult r = ReadTiff(f);
    ASSERT_TRUE(r.Params->IPTC);
    int32_t found = -1;
    for (int32_t i = 0; i < r.Params->IPTC->Count(); ++i)
      if (r.Params->IPTC->RecordNumber(i) == 2 && r.Params->IPTC->DatasetNumber(i) == 120) found = i;
    ASSERT_GE(found, 0);
    EXPECT_EQ(r.Params->IPTC->DataLength(found), len);
    EXPECT_EQ(r.Params->XmpPacket, p.XmpPacket);
    ASSERT_TRUE(r.Params->InputICC);
    EXPECT_TRUE(r.Params->InputICC->IsValid());
    EXPECT_EQ(r.Params->InputICC->RawLength(), p.InputICC->RawLength());
  }
}

TEST(TiffExif, ExifBlockWithThumbnailThroughTheFoundation) {
  RegisterCoders();
  TIOParamsVals p;
  p.ExifHasData = 1;
  p.ExifMake = "Camera";
  p.SetExifOrientation(6);
  p.SetExifFNumber(2.8);
  p.ExifThumbnail = MakeRGB(40, 30);
  std::vector<uint8_t> block;
  ASSERT_TRUE(QxSaveEXIFToBuffer(p, block, true));
  ASSERT_GT(block.size(), 6u);
  EXPECT_EQ(std::memcmp(block.data(), "Exif\0\0", 6), 0);

  TIOParamsVals back;
  ASSERT_TRUE(QxLoadEXIFFromBuffer(block.data(), int32_t(block.size()), back));
  EXPECT_EQ(back.ExifMake, "Camera");
  EXPECT_EQ(back.ExifOrientation, 6);
  EXPECT_NEAR(back.ExifFNumber, 2.8, 1e-8);
  ASSERT_TRUE(back.ExifThumbnail);
  ASSERT_FALSE(back.ExifThumbnail->IsEmpty());
  // The loader turns the thumbnail upright for orientation 6.
  EXPECT_EQ(back.ExifThumbnail->Width() * back.ExifThumbnail->Height(), 40 * 30);
}

// A camera's thumbnail directory: only the interchange-format pointer and length, no size tags.
TEST(TiffExif, ThumbnailOfInterchangeFormatOnly) {
  RegisterCoders();
  auto thumb = MakeRGB(32, 24);
  TMemoryStream js;
  {
    TIOParamsVals jp;
    std::atomic<bool> flag{false};
    TQxProgressInfo pr;
    pr.AbortFlag = &flag;
    WriteJpegStream(&js, thumb.get(), jp, pr);
    ASSERT_FALSE(flag);
  }
  TiffBuilder b;
  b.Ascii(271, "Cam");
  b.NewPage();
  b.Short(259, {6});
  b.Long(513, {b.Blob(BytesOf(js))});
  b.Long(514, {uint32_t(js.Size())});
  const std::vector<uint8_t> f = b.Build();
  auto s = StreamOf(f);
  TIOParamsVals p;
  p.TiffImageIndex = 1;
  TQxBitmap bmp;
  std::atomic<bool> flag{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &flag;
  TQxMask* mask = nullptr;
  int32_t pages = 0;
  ReadTiffStream(&bmp, s.get(), pages, p, pr, false, mask, true, true, true);
  delete mask;
  EXPECT_FALSE(flag);
  EXPECT_EQ(pages, 2);
  EXPECT_EQ(bmp.Width(), 32);
  EXPECT_EQ(bmp.Height(), 24);
}

// Annotation marks ride in tag 32932 through a save and a load; a file without them clears old ones.
TEST(TiffExif, AnnotationsSurviveAndDoNotLinger) {
  auto bmp = MakeRGB(4, 4);
  TIOParamsVals p;
  TQxImagingObject& line = p.GetImagingAnnot()->AddObject();
  const int32_t type = 3;
  std::memcpy(line.Attributes.data(), &type, 4);
  line.Points = {{1, 1}, {3, 2}};
  const std::vector<uint8_t> f = WriteTiff(bmp.get(), p);
  ReadResult r = ReadTiff(f);
  TQxImagingAnnot* a = r.Params->GetImagingAnnot();
  ASSERT_EQ(a->ObjectsCount(), 1);
  ASSERT_EQ(a->Objects(0).Points.size(), 2u);
  EXPECT_EQ(a->Objects(0).Points[1].X, 3);

  TIOParamsVals plain;
  const std::vector<uint8_t> g = WriteTiff(bmp.get(), plain);
  ReadResult again = ReadTiff(g);
  EXPECT_EQ(again.Params->GetImagingAnnot()->ObjectsCount(), 0);
}

// A camera maker note whose data offsets count from the TIFF header (written by exiftool, in both byte
// orders) is placed anew on a save: exiftool reads every one of its tags from our JPEG and TIFF files as it
// read them from its own.
TEST(TiffExif, MakerNoteOfExiftoolSurvivesLoadAndSave) {
  if (!HaveTool("exiftool") || !HaveTool("convert")) GTEST_SKIP() << "exiftool or ImageMagick missing";
  RegisterCoders();
  const std::string d = TempDir();
  // A Canon-style directory in the EXIF block's byte order: the owner name lies outside the entries; exiftool's
  // -F sets its offset right.
  auto note = [](bool Le) {
    std::vector<uint8_t> mn;
    auto put = [&](uint32_t V, int Bytes) {
      for (int i = 0; i < Bytes; ++i) mn.push_back(uint8_t(V >> (8 * (Le ? i : Bytes - 1 - i))));
    };
    put(3, 2);
    const uint32_t entries[3][4] = {{0x0009, 2, 14, 42}, {0x0010, 4, 1, 0x80001234}, {0x0015, 4, 1, 0x90000000}};
    for (const auto& e : entries) {
      put(e[0], 2);
      put(e[1], 2);
      put(e[2], 4);
      put(e[3], 4);
    }
    put(0, 4);
    const std::string owner = "Tester Owner";
    mn.insert(mn.end(), owner.begin(), owner.end());
    mn.insert(mn.end(), 2, 0);
    return mn;
  };
  WriteFile(d + "/II.bin", note(true));
  WriteFile(d + "/MM.bin", note(false));
  for (const char* order : {"II", "MM"}) {
    SCOPED_TRACE(order);
    const std::string src = d + "/" + order + ".jpg";
    ASSERT_EQ(Shell("cd '" + d + "' && convert -size 32x24 gradient:red-blue " + src + " && exiftool -q -overwrite_original "
                    "-ExifByteOrder=" + order + " -Make=Canon '-Model=Canon EOS 40D' '-MakerNotes<=" + order + ".bin' " + src +
                    " && exiftool -q -F -overwrite_original '-Canon:OwnerName=Tester Owner' " + src),
              0);
    auto tags = [&](const std::string& File) {
      const std::string out = File + ".mn";
      Shell("exiftool -a -s -G1 -MakerNotes:all '" + File + "' > '" + out + "'");
      const std::vector<uint8_t> t = ReadFile(out);
      return std::string(t.begin(), t.end());
    };
    const std::string before = tags(src);
    ASSERT_NE(before.find("Tester Owner"), std::string::npos) << before;
    TQxBitmap b;
    TQuillotIO io(&b);
    io.LoadFromFile(src);
    ASSERT_FALSE(io.Aborting);
    for (const char* ext : {".jpg", ".tif"}) {
      const std::string out = d + "/out_" + order + ext;
      io.SaveToFile(out);
      ASSERT_FALSE(io.Aborting) << ext;
      EXPECT_EQ(tags(out), before) << ext;
      // A second load and save of our own file keeps it too.
      TQxBitmap b2;
      TQuillotIO again(&b2);
      again.LoadFromFile(out);
      ASSERT_FALSE(again.Aborting);
      again.SaveToFile(out + ext);
      EXPECT_EQ(tags(out + ext), before) << ext;
    }
  }
}
