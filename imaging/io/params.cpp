#include "imaging/io/params.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>

#include "imaging/foundation/annotations.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/dicom_tags.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/io_init.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"

namespace {

// Today at midnight as days since 30 December 1899.
double TodayDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // Days from 1899-12-30 to the civil date (proleptic Gregorian).
  int y = local.tm_year + 1900, m = local.tm_mon + 1, d = local.tm_mday;
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days1970 = era * 146097L + static_cast<long>(doe) - 719468L;
  return static_cast<double>(days1970 + 25569L);
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TIOParamsVals::TIOParamsVals(TQuillotIO* AOwner)
    : Owner(AOwner),
      JpegMarkers(std::make_unique<TQxMarkerList>()),
      DicomTags(std::make_unique<TQxDICOMTags>()),
      IPTC(std::make_unique<TQxIPTCInfoList>()),
      ExifMakerNote(std::make_unique<TQxTagsHandler>()) {
  SetDefaultParams();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetAllImageIndexes(int32_t Value) {
  ImageIndex = TiffImageIndex = DcxImageIndex = GifImageIndex = IcoImageIndex = CurImageIndex = Value;
}

void TIOParamsVals::SetImageCount(int32_t Value) {
  ImageCount = TiffImageCount = AviFrameCount = GifImageCount = MediaFileFrameCount = Value;
}

void TIOParamsVals::SetAutoOrient(uint8_t Value) { AutoOrient = TiffAutoOrient = JpegAutoOrient = Value; }

void TIOParamsVals::SetUseExifThumbnail(uint8_t Value) { UseExifThumbnail = JpegUseExifThumbnail = Value; }

void TIOParamsVals::SetTiffOrientation(int32_t Value) { TiffOrientation = ExifOrientation = Value; }

void TIOParamsVals::SetExifOrientation(int32_t Value) { ExifOrientation = TiffOrientation = Value; }

void TIOParamsVals::SetDpiX(int32_t Value) {
  DpiX = Value;
  ExifXResolution = Value;
  if (Owner && Owner->AttachedQuillot()) {
    TQxView* v = Owner->AttachedQuillot();
    auto& h = QxIOViewHooks();
    if (h.IsQuillotView && h.IsQuillotView(v)) {
      if (h.IncUpdateLock) h.IncUpdateLock(v);
      v->SetDpiX(Value);
      if (h.DecUpdateLock) h.DecUpdateLock(v);
    }
  }
}

void TIOParamsVals::SetDpiY(int32_t Value) {
  DpiY = Value;
  ExifYResolution = Value;
  if (Owner && Owner->AttachedQuillot()) {
    TQxView* v = Owner->AttachedQuillot();
    auto& h = QxIOViewHooks();
    if (h.IsQuillotView && h.IsQuillotView(v)) {
      if (h.IncUpdateLock) h.IncUpdateLock(v);
      v->SetDpiY(Value);
      if (h.DecUpdateLock) h.DecUpdateLock(v);
    }
  }
}

void TIOParamsVals::SetDpiXFloat(double Value) {
  SetDpiX(QxTruncDpi(Value));
  ExifXResolution = Value;
}

void TIOParamsVals::SetDpiYFloat(double Value) {
  SetDpiY(QxTruncDpi(Value));
  ExifYResolution = Value;
}

TQxICC* TIOParamsVals::GetInputICC() {
  if (!InputICC) InputICC = std::make_unique<TQxICC>();
  return InputICC.get();
}

TQxICC* TIOParamsVals::GetOutputICC() {
  if (!OutputICC) OutputICC = std::make_unique<TQxICC>();
  return OutputICC.get();
}

TQxICC* TIOParamsVals::GetDefaultICC() {
  if (!DefaultICC) {
    DefaultICC = std::make_unique<TQxICC>();
    DefaultICC->LoadSRGB();
  }
  return DefaultICC.get();
}

TQxImagingAnnot* TIOParamsVals::GetImagingAnnot() {
  if (!ImagingAnnot) ImagingAnnot = std::make_unique<TQxImagingAnnot>(this);
  return ImagingAnnot.get();
}

void TIOParamsVals::FreeImagingAnnot() { ImagingAnnot.reset(); }
void TIOParamsVals::FreeInputICC() { InputICC.reset(); }

void TIOParamsVals::FreeColorMap() {
  ColorMap.clear();
  ColorMap.shrink_to_fit();
  ColorMapCount = 0;
}

void TIOParamsVals::SetColorMap(const TQxRGB* Colors, int32_t Count) {
  FreeColorMap();
  if (Count <= 0) return;
  ColorMap.assign(static_cast<size_t>(Count), TQxRGB{0, 0, 0});
  if (Colors) std::copy(Colors, Colors + Count, ColorMap.begin());
  ColorMapCount = Count;
}

void TIOParamsVals::SetDefaultParams() {
  // 1
  FreeColorMap();
  FileName.clear();
  FileType = 0;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  NativePixelFormat = 0;
  // 2
  if (Owner) {
    if (TBitmap* b = Owner->GetTBitmap()) {
      Width = b->Width();
      Height = b->Height();
    }
    SetDpiX(QxDefaultDpiX);
    SetDpiY(QxDefaultDpiY);
  }
  // 3
  ImageIndex = 0;
  ImageCount = 0;
  UseExifThumbnail = 0;
  IsResource = 0;
  AutoOrient = 0;
  // 4 GIF
  GifVersion = "GIF89a";
  SetAllImageIndexes(0);
  GifXPos = GifYPos = 0;
  GifDelayTime = 0;
  GifTransparent = 0;
  GifTranspColor = TQxRGB{0, 0, 0};
  GifInterlaced = 0;
  GifWinWidth = GifWinHeight = 0;
  GifRatio = 0;
  GifBackground = TQxRGB{0, 0, 0};
  GifLzwDecompress = QxGifLzwDecodeHook;
  GifLzwCompress = QxGifLzwEncodeHook;
  GifImageCount = 0;
  GifComments.clear();
  GifAction = 2;
  // 5 TIFF
  TiffCompression = 0;
  TiffSubImageIndex = -1;
  TiffPhotometric = 2;
  TiffPlanarConfig = 1;
  TiffXPos = TiffYPos = 0;
  TiffTileIndex = -1;
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TiffPageNumber = -1;
  TiffPageCount = -1;
  SetTiffOrientation(1);
  TiffLzwDecompress = QxTiffLzwDecodeHook;
  TiffLzwCompress = QxTiffLzwEncodeHook;
  TiffAutoOrient = 0;
  TiffJpegQuality = 80;
  TiffJpegColorSpace = 2;
  TiffZipCompression = 1;
  TiffImageCount = 0;
  TiffFillOrder = 1;
  TiffLittleEndian = 1;
  // 6 JPEG
  JpegColorSpace = 2;
  JpegQuality = 80;
  JpegDCTMethod = 0;
  JpegSubsampling = 1;
  JpegOptimalHuffman = 0;
  JpegSmooth = 0;
  JpegProgressive = 0;
  JpegScale = 1;
  JpegMarkers->Clear();
  JpegScaleUsed = 1;
  JpegAutoOrient = 0;
  OriginalWidth = OriginalHeight = 0;
  SetUseExifThumbnail(0);
  // 7 JPEG 2000, BMP, PCX
  J2000ColorSpace = 1;
  J2000Rate = 1.0;
  J2000Progression = 0;
  BmpVersion = 1;
  BmpCompression = 0;
  BmpAlphaChannel = 0;
  PcxVersion = 5;
  PcxCompression = 1;
  // 8 icons
  IcoBackground = TQxRGB{255, 255, 255};
  for (auto& s : IcoSizes) s = {0, 0};
  IcoSizes[0] = {64, 64};
  IcoBitCounts.fill(0);
  IcoBitCounts[0] = 8;
  // 9 cursors
  CurXHotSpot = CurYHotSpot = 0;
  CurBackground = TQxRGB{255, 255, 255};
  // 10 PNG, DICOM, PSD, HD Photo
  PngInterlaced = 0;
  PngBackground = TQxRGB{0, 0, 0};
  PngFilter = 0;
  PngCompression = 5;
  PngTextKeys.clear();
  PngTextValues.clear();
  DicomTags->Clear();
  PsdLoadLayers = 0;
  PsdReplaceLayers = 1;
  HdpImageQuality = 0.9;
  HdpLossless = 0;
  // 11 TGA, AVI, IPTC, PNM comments
  TgaXPos = TgaYPos = 0;
  TgaCompressed = 1;
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaDate = TodayDate();
  TgaJobName.clear();
  TgaBackground = TQxRGB{0, 0, 0};
  TgaAspectRatio = 1.0;
  TgaGamma = 2.2;
  TgaGrayscale = 0;
  AviFrameCount = 0;
  AviFrameDelay = 0;
  IPTC->Clear();
  PxmComments.clear();
  // 12
  ResetExif();
  // 13 PostScript, PDF
  PsPaperWidth = 595;
  PsPaperHeight = 842;
  PsCompression = 1;
  PsTitle = "No Title";
  PdfPaperWidth = 595;
  PdfPaperHeight = 842;
  PdfCompression = 2;
  PdfTitle.clear();
  PdfAuthor.clear();
  PdfSubject.clear();
  PdfKeywords.clear();
  PdfCreator.clear();
  PdfProducer.clear();
  // 14
  ImagingAnnot.reset();
  InputICC.reset();
  DefaultICC.reset();
  OutputICC.reset();
  // 15 camera raw, raw pixels, XMP
  RawHalfSize = 0;
  RawGamma = 0.6;
  RawBright = 1.0;
  RawRedScale = 1.0;
  RawBlueScale = 1.0;
  RawFastInterpolation = 1;
  RawAutoWhiteBalance = 0;
  RawCameraWhiteBalance = 0;
  RawFourColors = 0;
  RawCamera.clear();
  RawUseExifThumbnail = 0;
  RawMatchPreviewColors = 0;
  RawBitmapBGR = 0;
  RawBitmapPlanar = 0;
  RawBitmapRowAlign = 8;
  RawBitmapDataOffset = 0;
  RawBitmapEncoding = 0;
  XmpPacket.clear();
}

void TIOParamsVals::ResetInfo() {
  ReadError.clear();
  IPTC->Clear();
  ImagingAnnot.reset();
  JpegMarkers->Clear();
  ResetExif();
  GifComments.clear();
  DicomTags->Clear();
  PngTextKeys.clear();
  PngTextValues.clear();
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TgaImageId.clear();
  TgaAuthor.clear();
  TgaJobName.clear();
  PxmComments.clear();
  XmpPacket.clear();
  InputICC.reset();
}

void TIOParamsVals::ResetExif() {
  ExifTagsPresent.clear();
  ExifHasData = 0;
  ExifThumbnail.reset();
  ExifOrientation = 0;
  ExifImageDescription.clear();
  ExifMake.clear();
  ExifModel.clear();
  ExifXResolution = 0;
  ExifYResolution = 0;
  ExifResolutionUnit = 0;
  ExifSoftware.clear();
  ExifArtist.clear();
  ExifDateTime.clear();
  ExifWhitePoint.fill(-1);
  ExifPrimaryChromaticities.fill(-1);
  ExifYCbCrCoefficients.fill(-1);
  ExifYCbCrPositioning = -1;
  ExifReferenceBlackWhite.fill(-1);
  ExifCopyright.clear();
  ExifExposureTime = -1;
  ExifFNumber = -1;
  ExifExposureProgram = -1;
  ExifISOSpeedRatings = {0, 0};
  ExifVersion.clear();
  ExifDateTimeOriginal.clear();
  ExifDateTimeDigitized.clear();
  ExifCompressedBitsPerPixel = 0;
  ExifShutterSpeedValue = -1;
  ExifApertureValue = -1;
  ExifBrightnessValue = -1000;
  ExifExposureBiasValue = -1000;
  ExifMaxApertureValue = -1000;
  ExifSubjectDistance = -1;
  ExifMeteringMode = -1;
  ExifLightSource = -1;
  ExifFlash = -1;
  ExifFocalLength = -1;
  ExifSubsecTime.clear();
  ExifSubsecTimeOriginal.clear();
  ExifSubsecTimeDigitized.clear();
  ExifFlashPixVersion.clear();
  ExifColorSpace = -1;
  ExifPixelXDimension = 0;
  ExifPixelYDimension = 0;
  ExifRelatedSoundFile.clear();
  ExifFocalPlaneXResolution = -1;
  ExifFocalPlaneYResolution = -1;
  ExifFocalPlaneResolutionUnit = -1;
  ExifExposureIndex = -1;
  ExifSensingMethod = -1;
  ExifFileSource = -1;
  ExifSceneType = -1;
  ExifUserComment.clear();
  ExifUserCommentCode.clear();
  ExifMakerNote->Clear();
  ExifRating = -1;
  ExifXPTitle.clear();
  ExifXPComment.clear();
  ExifXPAuthor.clear();
  ExifXPKeywords.clear();
  ExifXPSubject.clear();
  ExifExposureMode = -1;
  ExifWhiteBalance = -1;
  ExifDigitalZoomRatio = -1;
  ExifFocalLengthIn35mmFilm = -1;
  ExifSceneCaptureType = -1;
  ExifGainControl = -1;
  ExifContrast = -1;
  ExifSaturation = -1;
  ExifSharpness = -1;
  ExifSubjectDistanceRange = -1;
  ExifImageUniqueID.clear();
  ExifGPSVersionID.clear();
  ExifGPSLatitudeRef.clear();
  ExifGPSLatitude.fill(0);
  ExifGPSLongitudeRef.clear();
  ExifGPSLongitude.fill(0);
  ExifGPSAltitudeRef.clear();
  ExifGPSAltitude = 0;
  ExifGPSTimeStamp.fill(0);
  ExifGPSSatellites.clear();
  ExifGPSStatus.clear();
  ExifGPSMeasureMode.clear();
  ExifGPSDOP = 0;
  ExifGPSSpeedRef.clear();
  ExifGPSSpeed = 0;
  ExifGPSTrackRef.clear();
  ExifGPSTrack = 0;
  ExifGPSImgDirectionRef.clear();
  ExifGPSImgDirection = 0;
  ExifGPSMapDatum.clear();
  ExifGPSDestLatitudeRef.clear();
  ExifGPSDestLatitude.fill(0);
  ExifGPSDestLongitudeRef.clear();
  ExifGPSDestLongitude.fill(0);
  ExifGPSDestBearingRef.clear();
  ExifGPSDestBearing = 0;
  ExifGPSDestDistanceRef.clear();
  ExifGPSDestDistance = 0;
  ExifGPSDateStamp.clear();
  // Only the first EXIF APP1 goes with the block; XMP and further EXIF markers stay.
  for (int32_t i = 0; i < JpegMarkers->Count(); ++i) {
    if (JpegMarkers->MarkerType(i) == 0xE1 &&
        QxIsEXIFHeader(JpegMarkers->MarkerData(i), JpegMarkers->MarkerLength(i))) {
      JpegMarkers->Delete(i);
      break;
    }
  }
}

void TIOParamsVals::AddExifTag(int32_t Tag) {
  if (std::find(ExifTagsPresent.begin(), ExifTagsPresent.end(), Tag) == ExifTagsPresent.end())
    ExifTagsPresent.push_back(Tag);
}

void TIOParamsVals::RemoveExifTag(int32_t Tag) {
  auto it = std::find(ExifTagsPresent.begin(), ExifTagsPresent.end(), Tag);
  if (it != ExifTagsPresent.end()) ExifTagsPresent.erase(it);
}

void TIOParamsVals::SetExifDouble(double& Field, double V, double Absent, int32_t Tag) {
  Field = V;
  if (V == Absent)
    RemoveExifTag(Tag);
  else
    AddExifTag(Tag);
}

void TIOParamsVals::SetExifInt(int32_t& Field, int32_t V, int32_t Absent, int32_t Tag) {
  Field = V;
  if (V == Absent)
    RemoveExifTag(Tag);
  else
    AddExifTag(Tag);
}

void TIOParamsVals::SetExifExposureTime(double V) { SetExifDouble(ExifExposureTime, V, -1.0, 0x829A); }
void TIOParamsVals::SetExifFNumber(double V) { SetExifDouble(ExifFNumber, V, -1.0, 0x829D); }
void TIOParamsVals::SetExifShutterSpeedValue(double V) { SetExifDouble(ExifShutterSpeedValue, V, -1.0, 0x9201); }
void TIOParamsVals::SetExifApertureValue(double V) { SetExifDouble(ExifApertureValue, V, -1.0, 0x9202); }
void TIOParamsVals::SetExifSubjectDistance(double V) { SetExifDouble(ExifSubjectDistance, V, -1.0, 0x9206); }
void TIOParamsVals::SetExifFocalLength(double V) { SetExifDouble(ExifFocalLength, V, -1.0, 0x920A); }
void TIOParamsVals::SetExifFocalPlaneXResolution(double V) {
  SetExifDouble(ExifFocalPlaneXResolution, V, -1.0, 0xA20E);
}
void TIOParamsVals::SetExifFocalPlaneYResolution(double V) {
  SetExifDouble(ExifFocalPlaneYResolution, V, -1.0, 0xA20F);
}
void TIOParamsVals::SetExifExposureIndex(double V) { SetExifDouble(ExifExposureIndex, V, -1.0, 0xA215); }
void TIOParamsVals::SetExifBrightnessValue(double V) { SetExifDouble(ExifBrightnessValue, V, -1000.0, 0x9203); }
void TIOParamsVals::SetExifExposureBiasValue(double V) {
  SetExifDouble(ExifExposureBiasValue, V, -1000.0, 0x9204);
}
void TIOParamsVals::SetExifMaxApertureValue(double V) { SetExifDouble(ExifMaxApertureValue, V, -1000.0, 0x9205); }
void TIOParamsVals::SetExifCompressedBitsPerPixel(double V) {
  SetExifDouble(ExifCompressedBitsPerPixel, V, 0.0, 0x9102);
}
void TIOParamsVals::SetExifExposureProgram(int32_t V) { SetExifInt(ExifExposureProgram, V, -1, 0x8822); }
void TIOParamsVals::SetExifMeteringMode(int32_t V) { SetExifInt(ExifMeteringMode, V, -1, 0x9207); }
void TIOParamsVals::SetExifLightSource(int32_t V) { SetExifInt(ExifLightSource, V, -1, 0x9208); }
void TIOParamsVals::SetExifFlash(int32_t V) { SetExifInt(ExifFlash, V, -1, 0x9209); }
void TIOParamsVals::SetExifColorSpace(int32_t V) { SetExifInt(ExifColorSpace, V, -1, 0xA001); }
void TIOParamsVals::SetExifFocalPlaneResolutionUnit(int32_t V) {
  SetExifInt(ExifFocalPlaneResolutionUnit, V, -1, 0xA210);
}
void TIOParamsVals::SetExifSensingMethod(int32_t V) { SetExifInt(ExifSensingMethod, V, -1, 0xA217); }
void TIOParamsVals::SetExifFileSource(int32_t V) { SetExifInt(ExifFileSource, V, -1, 0xA300); }
void TIOParamsVals::SetExifSceneType(int32_t V) { SetExifInt(ExifSceneType, V, -1, 0xA301); }
void TIOParamsVals::SetExifPixelXDimension(int32_t V) { SetExifInt(ExifPixelXDimension, V, 0, 0xA002); }
void TIOParamsVals::SetExifPixelYDimension(int32_t V) { SetExifInt(ExifPixelYDimension, V, 0, 0xA003); }

void TIOParamsVals::AssignCompression(const TIOParamsVals& S) {
  BitsPerSample = S.BitsPerSample;
  SamplesPerPixel = S.SamplesPerPixel;
  TiffCompression = S.TiffCompression;
  TiffPhotometric = S.TiffPhotometric;
  TiffPlanarConfig = S.TiffPlanarConfig;
  SetTiffOrientation(S.TiffOrientation);
  TiffLzwDecompress = S.TiffLzwDecompress;
  TiffLzwCompress = S.TiffLzwCompress;
  TiffAutoOrient = S.TiffAutoOrient;
  TiffJpegQuality = S.TiffJpegQuality;
  TiffJpegColorSpace = S.TiffJpegColorSpace;
  TiffZipCompression = S.TiffZipCompression;
  TiffFillOrder = S.TiffFillOrder;
  GifInterlaced = S.GifInterlaced;
  GifLzwDecompress = S.GifLzwDecompress;
  GifLzwCompress = S.GifLzwCompress;
  JpegColorSpace = S.JpegColorSpace;
  JpegQuality = S.JpegQuality;
  JpegDCTMethod = S.JpegDCTMethod;
  JpegSubsampling = S.JpegSubsampling;
  JpegOptimalHuffman = S.JpegOptimalHuffman;
  JpegSmooth = S.JpegSmooth;
  JpegProgressive = S.JpegProgressive;
  J2000ColorSpace = S.J2000ColorSpace;
  J2000Rate = S.J2000Rate;
  J2000Progression = S.J2000Progression;
  PcxVersion = S.PcxVersion;
  PcxCompression = S.PcxCompression;
  BmpVersion = S.BmpVersion;
  BmpCompression = S.BmpCompression;
  BmpAlphaChannel = S.BmpAlphaChannel;
  PngInterlaced = S.PngInterlaced;
  PngFilter = S.PngFilter;
  PngCompression = S.PngCompression;
  TgaCompressed = S.TgaCompressed;
  TgaGrayscale = S.TgaGrayscale;
  PsCompression = S.PsCompression;
  PdfCompression = S.PdfCompression;
}

void TIOParamsVals::AssignParams(const TIOParamsVals& S) {
  if (&S == this) return;
  // 1
  FileName = S.FileName;
  FileType = S.FileType;
  BitsPerSample = S.BitsPerSample;
  SamplesPerPixel = S.SamplesPerPixel;
  Width = S.Width;
  Height = S.Height;
  SetDpiX(S.DpiX);
  SetDpiY(S.DpiY);
  NativePixelFormat = S.NativePixelFormat;
  MaxPixels = S.MaxPixels;
  // 2: a distinct copy of the colour map
  FreeColorMap();
  if (S.ColorMapCount > 0) SetColorMap(S.ColorMap.data(), std::min<int32_t>(S.ColorMapCount, static_cast<int32_t>(S.ColorMap.size())));
  // 3: every remaining value field
  ImageCount = S.ImageCount;
  UseExifThumbnail = S.UseExifThumbnail;
  IsResource = S.IsResource;
  AutoOrient = S.AutoOrient;
  OriginalWidth = S.OriginalWidth;
  OriginalHeight = S.OriginalHeight;
  TiffCompression = S.TiffCompression;
  TiffSubImageIndex = S.TiffSubImageIndex;
  TiffPhotometric = S.TiffPhotometric;
  TiffPlanarConfig = S.TiffPlanarConfig;
  TiffXPos = S.TiffXPos;
  TiffYPos = S.TiffYPos;
  TiffTileIndex = S.TiffTileIndex;
  TiffDocumentName = S.TiffDocumentName;
  TiffImageDescription = S.TiffImageDescription;
  TiffPageName = S.TiffPageName;
  TiffPageNumber = S.TiffPageNumber;
  TiffPageCount = S.TiffPageCount;
  TiffLzwDecompress = S.TiffLzwDecompress;
  TiffLzwCompress = S.TiffLzwCompress;
  TiffAutoOrient = S.TiffAutoOrient;
  TiffJpegQuality = S.TiffJpegQuality;
  TiffJpegColorSpace = S.TiffJpegColorSpace;
  TiffZipCompression = S.TiffZipCompression;
  TiffImageCount = S.TiffImageCount;
  TiffFillOrder = S.TiffFillOrder;
  TiffLittleEndian = S.TiffLittleEndian;
  GifVersion = S.GifVersion;
  GifXPos = S.GifXPos;
  GifYPos = S.GifYPos;
  GifDelayTime = S.GifDelayTime;
  GifTransparent = S.GifTransparent;
  GifTranspColor = S.GifTranspColor;
  GifInterlaced = S.GifInterlaced;
  GifWinWidth = S.GifWinWidth;
  GifWinHeight = S.GifWinHeight;
  GifBackground = S.GifBackground;
  GifRatio = S.GifRatio;
  GifComments = S.GifComments;
  GifAction = S.GifAction;
  GifLzwDecompress = S.GifLzwDecompress;
  GifLzwCompress = S.GifLzwCompress;
  GifImageCount = S.GifImageCount;
  JpegColorSpace = S.JpegColorSpace;
  JpegQuality = S.JpegQuality;
  JpegDCTMethod = S.JpegDCTMethod;
  JpegSubsampling = S.JpegSubsampling;
  JpegOptimalHuffman = S.JpegOptimalHuffman;
  JpegSmooth = S.JpegSmooth;
  JpegProgressive = S.JpegProgressive;
  JpegScale = S.JpegScale;
  JpegMarkers->AssignFrom(S.JpegMarkers.get());
  JpegScaleUsed = S.JpegScaleUsed;
  JpegAutoOrient = S.JpegAutoOrient;
  J2000ColorSpace = S.J2000ColorSpace;
  J2000Rate = S.J2000Rate;
  J2000Progression = S.J2000Progression;
  PcxVersion = S.PcxVersion;
  PcxCompression = S.PcxCompression;
  BmpVersion = S.BmpVersion;
  BmpCompression = S.BmpCompression;
  BmpAlphaChannel = S.BmpAlphaChannel;
  IcoBackground = S.IcoBackground;
  CurXHotSpot = S.CurXHotSpot;
  CurYHotSpot = S.CurYHotSpot;
  CurBackground = S.CurBackground;
  PngInterlaced = S.PngInterlaced;
  PngBackground = S.PngBackground;
  PngFilter = S.PngFilter;
  PngCompression = S.PngCompression;
  PngTextKeys = S.PngTextKeys;
  PngTextValues = S.PngTextValues;
  DicomTags->AssignFrom(*S.DicomTags);
  TgaXPos = S.TgaXPos;
  TgaYPos = S.TgaYPos;
  TgaCompressed = S.TgaCompressed;
  TgaImageId = S.TgaImageId;
  TgaAuthor = S.TgaAuthor;
  TgaDate = S.TgaDate;
  TgaJobName = S.TgaJobName;
  TgaBackground = S.TgaBackground;
  TgaAspectRatio = S.TgaAspectRatio;
  TgaGamma = S.TgaGamma;
  TgaGrayscale = S.TgaGrayscale;
  IPTC->AssignFrom(S.IPTC.get());
  PxmComments = S.PxmComments;
  // EXIF block
  ExifTagsPresent = S.ExifTagsPresent;
  ExifHasData = S.ExifHasData;
  ExifImageDescription = S.ExifImageDescription;
  ExifMake = S.ExifMake;
  ExifModel = S.ExifModel;
  ExifXResolution = S.ExifXResolution;
  ExifYResolution = S.ExifYResolution;
  ExifResolutionUnit = S.ExifResolutionUnit;
  ExifSoftware = S.ExifSoftware;
  ExifArtist = S.ExifArtist;
  ExifDateTime = S.ExifDateTime;
  ExifWhitePoint = S.ExifWhitePoint;
  ExifPrimaryChromaticities = S.ExifPrimaryChromaticities;
  ExifYCbCrCoefficients = S.ExifYCbCrCoefficients;
  ExifYCbCrPositioning = S.ExifYCbCrPositioning;
  ExifReferenceBlackWhite = S.ExifReferenceBlackWhite;
  ExifCopyright = S.ExifCopyright;
  ExifExposureTime = S.ExifExposureTime;
  ExifFNumber = S.ExifFNumber;
  ExifExposureProgram = S.ExifExposureProgram;
  ExifISOSpeedRatings = S.ExifISOSpeedRatings;
  ExifVersion = S.ExifVersion;
  ExifDateTimeOriginal = S.ExifDateTimeOriginal;
  ExifDateTimeDigitized = S.ExifDateTimeDigitized;
  ExifCompressedBitsPerPixel = S.ExifCompressedBitsPerPixel;
  ExifShutterSpeedValue = S.ExifShutterSpeedValue;
  ExifApertureValue = S.ExifApertureValue;
  ExifBrightnessValue = S.ExifBrightnessValue;
  ExifExposureBiasValue = S.ExifExposureBiasValue;
  ExifMaxApertureValue = S.ExifMaxApertureValue;
  ExifSubjectDistance = S.ExifSubjectDistance;
  ExifMeteringMode = S.ExifMeteringMode;
  ExifLightSource = S.ExifLightSource;
  ExifFlash = S.ExifFlash;
  ExifFocalLength = S.ExifFocalLength;
  ExifSubsecTime = S.ExifSubsecTime;
  ExifSubsecTimeOriginal = S.ExifSubsecTimeOriginal;
  ExifSubsecTimeDigitized = S.ExifSubsecTimeDigitized;
  ExifFlashPixVersion = S.ExifFlashPixVersion;
  ExifColorSpace = S.ExifColorSpace;
  ExifPixelXDimension = S.ExifPixelXDimension;
  ExifPixelYDimension = S.ExifPixelYDimension;
  ExifRelatedSoundFile = S.ExifRelatedSoundFile;
  ExifFocalPlaneXResolution = S.ExifFocalPlaneXResolution;
  ExifFocalPlaneYResolution = S.ExifFocalPlaneYResolution;
  ExifFocalPlaneResolutionUnit = S.ExifFocalPlaneResolutionUnit;
  ExifExposureIndex = S.ExifExposureIndex;
  ExifSensingMethod = S.ExifSensingMethod;
  ExifFileSource = S.ExifFileSource;
  ExifSceneType = S.ExifSceneType;
  ExifUserComment = S.ExifUserComment;
  ExifUserCommentCode = S.ExifUserCommentCode;
  ExifMakerNote->AssignFrom(*S.ExifMakerNote);
  ExifRating = S.ExifRating;
  ExifXPTitle = S.ExifXPTitle;
  ExifXPComment = S.ExifXPComment;
  ExifXPAuthor = S.ExifXPAuthor;
  ExifXPKeywords = S.ExifXPKeywords;
  ExifXPSubject = S.ExifXPSubject;
  ExifExposureMode = S.ExifExposureMode;
  ExifWhiteBalance = S.ExifWhiteBalance;
  ExifDigitalZoomRatio = S.ExifDigitalZoomRatio;
  ExifFocalLengthIn35mmFilm = S.ExifFocalLengthIn35mmFilm;
  ExifSceneCaptureType = S.ExifSceneCaptureType;
  ExifGainControl = S.ExifGainControl;
  ExifContrast = S.ExifContrast;
  ExifSaturation = S.ExifSaturation;
  ExifSharpness = S.ExifSharpness;
  ExifSubjectDistanceRange = S.ExifSubjectDistanceRange;
  ExifImageUniqueID = S.ExifImageUniqueID;
  ExifGPSVersionID = S.ExifGPSVersionID;
  ExifGPSLatitudeRef = S.ExifGPSLatitudeRef;
  ExifGPSLatitude = S.ExifGPSLatitude;
  ExifGPSLongitudeRef = S.ExifGPSLongitudeRef;
  ExifGPSLongitude = S.ExifGPSLongitude;
  ExifGPSAltitudeRef = S.ExifGPSAltitudeRef;
  ExifGPSAltitude = S.ExifGPSAltitude;
  ExifGPSTimeStamp = S.ExifGPSTimeStamp;
  ExifGPSSatellites = S.ExifGPSSatellites;
  ExifGPSStatus = S.ExifGPSStatus;
  ExifGPSMeasureMode = S.ExifGPSMeasureMode;
  ExifGPSDOP = S.ExifGPSDOP;
  ExifGPSSpeedRef = S.ExifGPSSpeedRef;
  ExifGPSSpeed = S.ExifGPSSpeed;
  ExifGPSTrackRef = S.ExifGPSTrackRef;
  ExifGPSTrack = S.ExifGPSTrack;
  ExifGPSImgDirectionRef = S.ExifGPSImgDirectionRef;
  ExifGPSImgDirection = S.ExifGPSImgDirection;
  ExifGPSMapDatum = S.ExifGPSMapDatum;
  ExifGPSDestLatitudeRef = S.ExifGPSDestLatitudeRef;
  ExifGPSDestLatitude = S.ExifGPSDestLatitude;
  ExifGPSDestLongitudeRef = S.ExifGPSDestLongitudeRef;
  ExifGPSDestLongitude = S.ExifGPSDestLongitude;
  ExifGPSDestBearingRef = S.ExifGPSDestBearingRef;
  ExifGPSDestBearing = S.ExifGPSDestBearing;
  ExifGPSDestDistanceRef = S.ExifGPSDestDistanceRef;
  ExifGPSDestDistance = S.ExifGPSDestDistance;
  ExifGPSDateStamp = S.ExifGPSDateStamp;
  AviFrameCount = S.AviFrameCount;
  AviFrameDelay = S.AviFrameDelay;
  PsPaperWidth = S.PsPaperWidth;
  PsPaperHeight = S.PsPaperHeight;
  PsCompression = S.PsCompression;
  PsTitle = S.PsTitle;
  PdfPaperWidth = S.PdfPaperWidth;
  PdfPaperHeight = S.PdfPaperHeight;
  PdfCompression = S.PdfCompression;
  PdfTitle = S.PdfTitle;
  PdfAuthor = S.PdfAuthor;
  PdfSubject = S.PdfSubject;
  PdfKeywords = S.PdfKeywords;
  PdfCreator = S.PdfCreator;
  PdfProducer = S.PdfProducer;
  RawHalfSize = S.RawHalfSize;
  RawGamma = S.RawGamma;
  RawBright = S.RawBright;
  RawRedScale = S.RawRedScale;
  RawBlueScale = S.RawBlueScale;
  RawFastInterpolation = S.RawFastInterpolation;
  RawAutoWhiteBalance = S.RawAutoWhiteBalance;
  RawCameraWhiteBalance = S.RawCameraWhiteBalance;
  RawFourColors = S.RawFourColors;
  RawCamera = S.RawCamera;
  RawUseExifThumbnail = S.RawUseExifThumbnail;
  RawMatchPreviewColors = S.RawMatchPreviewColors;
  RawBitmapBGR = S.RawBitmapBGR;
  RawBitmapPlanar = S.RawBitmapPlanar;
  RawBitmapRowAlign = S.RawBitmapRowAlign;
  RawBitmapDataOffset = S.RawBitmapDataOffset;
  RawBitmapEncoding = S.RawBitmapEncoding;
  PsdLoadLayers = S.PsdLoadLayers;
  PsdReplaceLayers = S.PsdReplaceLayers;
  HdpImageQuality = S.HdpImageQuality;
  HdpLossless = S.HdpLossless;
  XmpPacket = S.XmpPacket;
  IcoSizes = S.IcoSizes;
  IcoBitCounts = S.IcoBitCounts;
  // 4: the six indexes end equal to the source's
  SetAllImageIndexes(S.TiffImageIndex);
  SetAllImageIndexes(S.GifImageIndex);
  SetAllImageIndexes(S.DcxImageIndex);
  SetAllImageIndexes(S.IcoImageIndex);
  SetAllImageIndexes(S.CurImageIndex);
  SetTiffOrientation(S.TiffOrientation);
  SetUseExifThumbnail(S.JpegUseExifThumbnail);
  // 5
  if (S.ImagingAnnot)
    GetImagingAnnot()->AssignFrom(*S.ImagingAnnot);
  else
    ImagingAnnot.reset();
  if (S.InputICC)
    GetInputICC()->AssignFrom(S.InputICC.get());
  else
    InputICC.reset();
  if (S.DefaultICC)
    GetDefaultICC()->AssignFrom(S.DefaultICC.get());
  else
    DefaultICC.reset();
  if (S.OutputICC)
    GetOutputICC()->AssignFrom(S.OutputICC.get());
  else
    OutputICC.reset();
  // 6: a source without thumbnail leaves ours
  if (S.ExifThumbnail) {
    if (!ExifThumbnail) ExifThumbnail = std::make_unique<TQxBitmap>();
    ExifThumbnail->AssignFrom(S.ExifThumbnail.get());
  }
}

std::string TIOParamsVals::FileTypeStr() const {
  std::string s;
  if (TQxFileFormatInfo* e = QxFileFormatByType(FileType))
    s = e->DisplayName + " (" + Upper(QxFileFormatExtension(FileType, 0)) + ")";
  switch (FileType) {
    case qxffTIFF: {
      static const char* const w[] = {" Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D",
                                      " Group 4 Fax",  " LZW",     " Jpeg v.5",    " Jpeg",
                                      " PackBits RLE", " ZIP",     " Deflate"};
      if (TiffCompression <= 10) s += w[TiffCompression];
      break;
    }
    case qxffGIF:
      if (GifInterlaced) s += " Interlaced";
      break;
    case qxffJPEG: {
      static const char* const w[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
      if (JpegColorSpace <= 4) s += w[JpegColorSpace];
      break;
    }
    case qxffPCX:
      if (PcxCompression == 0) s += " Uncompressed";
      break;
    case qxffBMP: {
      static const char* const w[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      if (BmpVersion <= 3) s += w[BmpVersion];
      break;
    }
    case qxffPNG:
      if (PngInterlaced) s += " Interlaced";
      break;
    case qxffTGA:
      s += TgaCompressed ? " Compressed" : " Uncompressed";
      break;
    case qxffJP2:
    case qxffJ2K: {
      static const char* const w[] = {" Gray level", " RGB", " YCbCr"};
      if (J2000ColorSpace <= 2) s += w[J2000ColorSpace];
      break;
    }
    case qxffRAW:
      s += " (" + RawCamera + ")";
      break;
    default:
      break;
  }
  return s;
}

bool QxPictureFits(const TIOParamsVals& P, int64_t Width, int64_t Height, int64_t DataBytes, double PixelsPerByte) {
  if (Width <= 0 || Height <= 0 || Width > INT32_MAX || Height > INT32_MAX) return false;
  const int64_t pixels = Width * Height;  // both below 2^31: no overflow
  if (pixels > P.MaxPixels) return false;
  if (DataBytes < 0 || PixelsPerByte < 0) return true;
  return static_cast<double>(pixels) <= static_cast<double>(DataBytes) * PixelsPerByte;
}

int32_t QxTruncDpi(double Value) {
  if (std::isnan(Value)) return 0;
  return static_cast<int32_t>(std::trunc(std::clamp<double>(Value, INT32_MIN, INT32_MAX)));
}
