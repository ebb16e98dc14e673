#include <gtest/gtest.h>

#include "imaging/foundation/annotations.h"
#include "imaging/foundation/dicom_tags.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

using namespace qvio;

TEST(Params, DefaultsAndFanOutSetters) {
  TIOParamsVals p;
  EXPECT_EQ(p.Width, 0);
  EXPECT_EQ(p.DpiX, 0);
  EXPECT_EQ(p.TiffOrientation, 1);
  EXPECT_EQ(p.ExifOrientation, 0);
  EXPECT_EQ(p.IcoSizes[0], (std::array<int32_t, 2>{64, 64}));
  EXPECT_EQ(p.IcoSizes[1][0], 0);
  EXPECT_EQ(p.IcoBitCounts[0], 8);
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_GT(p.TgaDate, 40000.0);
  p.SetAllImageIndexes(3);
  for (int32_t v : {p.ImageIndex, p.TiffImageIndex, p.DcxImageIndex, p.GifImageIndex, p.IcoImageIndex, p.CurImageIndex})
    EXPECT_EQ(v, 3);
  p.SetDpiXFloat(72.9);
  EXPECT_EQ(p.DpiX, 72);
  EXPECT_EQ(p.ExifXResolution, 72.9);
  p.SetExifOrientation(6);
  EXPECT_EQ(p.TiffOrientation, 6);
  // With an owner the DPI defaults to the library default.
  TQuillotIO io;
  EXPECT_EQ(io.Params->DpiX, QxDefaultDpiX);
}

TEST(Params, AssignCopiesAndCompressionCopiesOnlySaveFields) {
  TIOParamsVals s;
  s.SetAllImageIndexes(3);
  std::vector<TQxRGB> pal = {{1, 2, 3}, {4, 5, 6}};
  s.SetColorMap(pal.data(), 2);
  s.FileName = "a.png";
  s.PngCompression = 9;
  s.JpegQuality = 33;
  s.PngTextKeys = {"k"};
  s.DicomTags->AddTag(8, 16, "CS", new uint8_t[3]{'a', 'b', 'c'}, 3);
  s.GetImagingAnnot()->AddObject();
  TIOParamsVals d;
  d.ExifThumbnail = std::make_unique<TQxBitmap>(2, 2, TQxPixelFormat::qx24RGB);
  d.GetInputICC();
  d.AssignParams(s);
  for (int32_t v : {d.ImageIndex, d.TiffImageIndex, d.DcxImageIndex, d.GifImageIndex, d.IcoImageIndex, d.CurImageIndex})
    EXPECT_EQ(v, 3);
  ASSERT_EQ(d.ColorMapCount, 2);
  EXPECT_EQ(d.ColorMap[1], (TQxRGB{4, 5, 6}));
  EXPECT_NE(d.ColorMap.data(), s.ColorMap.data());
  EXPECT_TRUE(d.ExifThumbnail);   // kept: the source has none
  EXPECT_FALSE(d.InputICC);       // freed: the source has none
  ASSERT_TRUE(d.ImagingAnnot);
  EXPECT_EQ(d.ImagingAnnot->ObjectsCount(), 1);
  s.DicomTags->Clear();
  ASSERT_EQ(d.DicomTags->Count(), 1);
  EXPECT_EQ(d.DicomTags->Tag(0).Data[2], 'c');
  EXPECT_EQ(d.DicomTags->Tag(0).Data[3], 0);
  TIOParamsVals c;
  c.AssignCompression(s);
  EXPECT_EQ(c.PngCompression, 9);
  EXPECT_EQ(c.JpegQuality, 33);
  EXPECT_EQ(c.FileName, "");
  EXPECT_EQ(c.ImageIndex, 0);
  EXPECT_EQ(c.ColorMapCount, 0);
  EXPECT_TRUE(c.PngTextKeys.empty());
}

TEST(Params, ExifTagListAndResets) {
  TIOParamsVals p;
  p.SetExifFNumber(2.8);
  p.SetExifFNumber(2.8);
  EXPECT_EQ(p.ExifTagsPresent, (std::vector<int32_t>{33437}));
  p.SetExifFNumber(-1);
  EXPECT_TRUE(p.ExifTagsPresent.empty());
  p.SetExifBrightnessValue(-1);
  EXPECT_EQ(p.ExifTagsPresent, (std::vector<int32_t>{37379}));
  p.SetExifPixelXDimension(0);
  EXPECT_EQ(p.ExifTagsPresent.size(), 1u);
  // ResetExif deletes only the first EXIF APP1 marker; XMP stays.
  const char exif[] = "Exif\0\0MM";
  const char xmp[] = "http://ns.adobe.com/xap/1.0/";
  p.JpegMarkers->AddMarker(0xE1, exif, 8);
  p.JpegMarkers->AddMarker(0xE1, xmp, sizeof xmp);
  p.JpegMarkers->AddMarker(0xE1, exif, 8);
  p.ExifWhitePoint[0] = 5;
  p.ResetExif();
  EXPECT_EQ(p.JpegMarkers->Count(), 2);
  EXPECT_EQ(p.ExifWhitePoint[0], -1);
  EXPECT_EQ(p.ExifISOSpeedRatings[1], 0);
  // ResetInfo clears what a load fills in and keeps the options.
  p.PngCompression = 2;
  p.PxmComments = {"x"};
  p.ResetInfo();
  EXPECT_TRUE(p.PxmComments.empty());
  EXPECT_EQ(p.PngCompression, 2);
}

TEST(Params, FileTypeText) {
  TIOParamsVals p;
  p.FileType = qxffBMP;
  p.BmpVersion = 1;
  EXPECT_EQ(p.FileTypeStr(), "Windows Bitmap (BMP) ver.3");
  p.FileType = qxffTGA;
  p.TgaCompressed = 0;
  EXPECT_EQ(p.FileTypeStr(), "Targa Bitmap (TGA) Uncompressed");
  p.FileType = qxffTIFF;
  p.TiffCompression = 5;
  EXPECT_EQ(p.FileTypeStr(), "TIFF Bitmap (TIF) LZW");
  p.FileType = 77;
  EXPECT_EQ(p.FileTypeStr(), "");
}
