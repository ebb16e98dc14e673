#pragma once
// TIOParamsVals: every parameter of every format for one image, filled by readers and read by writers.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"

class TQuillotIO;
class TQxBitmap;
class TQxMarkerList;
class TQxIPTCInfoList;
class TQxICC;
class TQxTagsHandler;
class TQxImagingAnnot;
class TQxDICOMTags;

// The LZW coders of GIF and TIFF are plugged in by the codecs; their shape belongs to them, this object
// only stores and copies the pointers.
using TQxLzwHook = void (*)();

// Readers refuse pictures of more pixels than this before allocating; 2^30 lets a 24-bit picture of 2 GB
// through. Callers that mean to open larger pictures raise TIOParamsVals::MaxPixels.
inline constexpr int64_t QxDefaultMaxPixels = int64_t(1) << 30;

// A plain list of texts (keywords, values, comment lines).
using TQxTextList = std::vector<std::string>;

class TIOParamsVals {
 public:
  explicit TIOParamsVals(TQuillotIO* AOwner = nullptr);
  ~TIOParamsVals();
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  // ---- bulk operations
  void SetDefaultParams();
  void ResetInfo();
  void ResetExif();
  void AssignParams(const TIOParamsVals& Source);
  void AssignCompression(const TIOParamsVals& Source);
  void FreeColorMap();
  std::string FileTypeStr() const;

  // ---- fan-out setters
  void SetAllImageIndexes(int32_t Value);
  void SetImageCount(int32_t Value);
  void SetAutoOrient(uint8_t Value);
  void SetUseExifThumbnail(uint8_t Value);
  void SetRawUseExifThumbnail(uint8_t Value) { RawUseExifThumbnail = Value; }
  void SetTiffOrientation(int32_t Value);
  void SetExifOrientation(int32_t Value);

  // ---- resolution
  void SetDpiX(int32_t Value);
  void SetDpiY(int32_t Value);
  void SetDpiXFloat(double Value);
  void SetDpiYFloat(double Value);

  // ---- objects created on first use
  TQxICC* GetInputICC();
  TQxICC* GetOutputICC();
  TQxICC* GetDefaultICC();
  TQxImagingAnnot* GetImagingAnnot();
  void FreeImagingAnnot();
  void FreeInputICC();

  // Replaces the colour map by Count entries (copied when Colors is not null, else zeroed).
  void SetColorMap(const TQxRGB* Colors, int32_t Count);

  // ---- EXIF present-tag list and the setters that keep it
  void AddExifTag(int32_t Tag);
  void RemoveExifTag(int32_t Tag);
  void SetExifExposureTime(double V);
  void SetExifFNumber(double V);
  void SetExifShutterSpeedValue(double V);
  void SetExifApertureValue(double V);
  void SetExifSubjectDistance(double V);
  void SetExifFocalLength(double V);
  void SetExifFocalPlaneXResolution(double V);
  void SetExifFocalPlaneYResolution(double V);
  void SetExifExposureIndex(double V);
  void SetExifBrightnessValue(double V);
  void SetExifExposureBiasValue(double V);
  void SetExifMaxApertureValue(double V);
  void SetExifCompressedBitsPerPixel(double V);
  void SetExifExposureProgram(int32_t V);
  void SetExifMeteringMode(int32_t V);
  void SetExifLightSource(int32_t V);
  void SetExifFlash(int32_t V);
  void SetExifColorSpace(int32_t V);
  void SetExifFocalPlaneResolutionUnit(int32_t V);
  void SetExifSensingMethod(int32_t V);
  void SetExifFileSource(int32_t V);
  void SetExifSceneType(int32_t V);
  void SetExifPixelXDimension(int32_t V);
  void SetExifPixelYDimension(int32_t V);
  void SetExifISOSpeedRatings(int32_t Index, int32_t V) { ExifISOSpeedRatings[Index] = V; }
  int32_t GetExifISOSpeedRatings(int32_t Index) const { return ExifISOSpeedRatings[Index]; }
  void SetExifWhitePoint(int32_t Index, double V) { ExifWhitePoint[Index] = V; }
  double GetExifWhitePoint(int32_t Index) const { return ExifWhitePoint[Index]; }
  void SetExifPrimaryChromaticities(int32_t Index, double V) { ExifPrimaryChromaticities[Index] = V; }
  double GetExifPrimaryChromaticities(int32_t Index) const { return ExifPrimaryChromaticities[Index]; }
  void SetExifYCbCrCoefficients(int32_t Index, double V) { ExifYCbCrCoefficients[Index] = V; }
  double GetExifYCbCrCoefficients(int32_t Index) const { return ExifYCbCrCoefficients[Index]; }
  void SetExifReferenceBlackWhite(int32_t Index, double V) { ExifReferenceBlackWhite[Index] = V; }
  double GetExifReferenceBlackWhite(int32_t Index) const { return ExifReferenceBlackWhite[Index]; }

  // ===================== fields =====================
  TQuillotIO* Owner = nullptr;

  // common
  int32_t BitsPerSample = 8;
  std::string FileName;
  // Why the last read refused its file when a reader can say more than the abort flag; emptied with the
  // information.
  std::string ReadError;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t DpiX = 0;
  int32_t DpiY = 0;
  int32_t FileType = 0;
  int32_t ImageIndex = 0;
  int32_t ImageCount = 0;
  uint8_t UseExifThumbnail = 0;
  uint8_t IsResource = 0;
  uint8_t AutoOrient = 0;
  int32_t OriginalWidth = 0;
  int32_t OriginalHeight = 0;

  // TIFF
  uint8_t TiffCompression = 0;
  int32_t TiffImageIndex = 0;
  int32_t TiffSubImageIndex = -1;
  uint8_t TiffPhotometric = 2;
  int32_t TiffPlanarConfig = 1;
  int32_t TiffXPos = 0;
  int32_t TiffYPos = 0;
  int32_t TiffTileIndex = -1;
  std::string TiffDocumentName;
  std::string TiffImageDescription;
  std::string TiffPageName;
  int32_t TiffPageNumber = -1;
  int32_t TiffPageCount = -1;
  int32_t TiffOrientation = 1;
  TQxLzwHook TiffLzwDecompress = nullptr;
  TQxLzwHook TiffLzwCompress = nullptr;
  uint8_t TiffAutoOrient = 0;
  int32_t TiffJpegQuality = 80;
  uint8_t TiffJpegColorSpace = 2;
  int32_t TiffZipCompression = 1;
  int32_t TiffImageCount = 0;
  int32_t TiffFillOrder = 1;
  uint8_t TiffLittleEndian = 1;

  // DCX and GIF
  int32_t DcxImageIndex = 0;
  std::string GifVersion = "GIF89a";
  int32_t GifImageIndex = 0;
  int32_t GifXPos = 0;
  int32_t GifYPos = 0;
  int32_t GifDelayTime = 0;
  uint8_t GifTransparent = 0;
  TQxRGB GifTranspColor{0, 0, 0};
  uint8_t GifInterlaced = 0;
  int32_t GifWinWidth = 0;
  int32_t GifWinHeight = 0;
  TQxRGB GifBackground{0, 0, 0};
  int32_t GifRatio = 0;
  TQxTextList GifComments;
  uint8_t GifAction = 2;
  TQxLzwHook GifLzwDecompress = nullptr;
  TQxLzwHook GifLzwCompress = nullptr;
  int32_t GifImageCount = 0;

  // JPEG, JPEG 2000, PCX, BMP
  uint8_t JpegColorSpace = 2;
  int32_t JpegQuality = 80;
  uint8_t JpegDCTMethod = 0;
  uint8_t JpegSubsampling = 1;
  uint8_t JpegOptimalHuffman = 0;
  int32_t JpegSmooth = 0;
  uint8_t JpegProgressive = 0;
  uint8_t JpegScale = 1;
  std::unique_ptr<TQxMarkerList> JpegMarkers;
  int32_t JpegScaleUsed = 1;
  int32_t JpegWarningCount = 0;
  int32_t JpegWarningCode = 0;
  uint8_t JpegAutoOrient = 0;
  uint8_t JpegUseExifThumbnail = 0;
  uint8_t J2000ColorSpace = 1;
  double J2000Rate = 1.0;
  uint8_t J2000Progression = 0;
  int32_t PcxVersion = 5;
  uint8_t PcxCompression = 1;
  uint8_t BmpVersion = 1;
  uint8_t BmpCompression = 0;
  uint8_t BmpAlphaChannel = 0;

  // ICO, CUR, PNG, DICOM, TGA
  int32_t IcoImageIndex = 0;
  TQxRGB IcoBackground{255, 255, 255};
  int32_t CurImageIndex = 0;
  int32_t CurXHotSpot = 0;
  int32_t CurYHotSpot = 0;
  TQxRGB CurBackground{255, 255, 255};
  uint8_t PngInterlaced = 0;
  TQxRGB PngBackground{0, 0, 0};
  uint8_t PngFilter = 0;
  int32_t PngCompression = 5;
  TQxTextList PngTextKeys;
  TQxTextList PngTextValues;
  std::unique_ptr<TQxDICOMTags> DicomTags;
  int32_t TgaXPos = 0;
  int32_t TgaYPos = 0;
  uint8_t TgaCompressed = 1;
  std::string TgaImageId;
  std::string TgaAuthor;
  double TgaDate = 0;
  std::string TgaJobName;
  TQxRGB TgaBackground{0, 0, 0};
  double TgaAspectRatio = 1.0;
  double TgaGamma = 2.2;
  uint8_t TgaGrayscale = 0;

  // metadata
  std::unique_ptr<TQxIPTCInfoList> IPTC;
  std::unique_ptr<TQxImagingAnnot> ImagingAnnot;  // on demand
  TQxTextList PxmComments;

  // ---- EXIF and GPS block
  std::vector<int32_t> ExifTagsPresent;
  uint8_t ExifHasData = 0;
  int32_t ExifOrientation = 0;
  std::unique_ptr<TQxBitmap> ExifThumbnail;
  std::string ExifImageDescription;
  std::string ExifMake;
  std::string ExifModel;
  double ExifXResolution = 0;
  double ExifYResolution = 0;
  int32_t ExifResolutionUnit = 0;
  std::string ExifSoftware;
  std::string ExifArtist;
  std::string ExifDateTime;
  std::array<double, 2> ExifWhitePoint{-1, -1};
  std::array<double, 6> ExifPrimaryChromaticities{-1, -1, -1, -1, -1, -1};
  std::array<double, 3> ExifYCbCrCoefficients{-1, -1, -1};
  int32_t ExifYCbCrPositioning = -1;
  std::array<double, 6> ExifReferenceBlackWhite{-1, -1, -1, -1, -1, -1};
  std::string ExifCopyright;
  double ExifExposureTime = -1;
  double ExifFNumber = -1;
  int32_t ExifExposureProgram = -1;
  std::array<int32_t, 2> ExifISOSpeedRatings{0, 0};
  std::string ExifVersion;
  std::string ExifDateTimeOriginal;
  std::string ExifDateTimeDigitized;
  double ExifCompressedBitsPerPixel = 0;
  double ExifShutterSpeedValue = -1;
  double ExifApertureValue = -1;
  double ExifBrightnessValue = -1000;
  double ExifExposureBiasValue = -1000;
  double ExifMaxApertureValue = -1000;
  double ExifSubjectDistance = -1;
  int32_t ExifMeteringMode = -1;
  int32_t ExifLightSource = -1;
  int32_t ExifFlash = -1;
  double ExifFocalLength = -1;
  std::string ExifSubsecTime;
  std::string ExifSubsecTimeOriginal;
  std::string ExifSubsecTimeDigitized;
  std::string ExifFlashPixVersion;
  int32_t ExifColorSpace = -1;
  int32_t ExifPixelXDimension = 0;
  int32_t ExifPixelYDimension = 0;
  std::string ExifRelatedSoundFile;
  double ExifFocalPlaneXResolution = -1;
  double ExifFocalPlaneYResolution = -1;
  int32_t ExifFocalPlaneResolutionUnit = -1;
  double ExifExposureIndex = -1;
  int32_t ExifSensingMethod = -1;
  int32_t ExifFileSource = -1;
  int32_t ExifSceneType = -1;
  std::string ExifUserComment;      // UTF-8
  std::string ExifUserCommentCode;  // the 8-byte character-code prefix
  std::unique_ptr<TQxTagsHandler> ExifMakerNote;
  int32_t ExifRating = -1;
  std::string ExifXPTitle;
  std::string ExifXPComment;
  std::string ExifXPAuthor;
  std::string ExifXPKeywords;
  std::string ExifXPSubject;
  int32_t ExifExposureMode = -1;
  int32_t ExifWhiteBalance = -1;
  double ExifDigitalZoomRatio = -1;
  int32_t ExifFocalLengthIn35mmFilm = -1;
  int32_t ExifSceneCaptureType = -1;
  int32_t ExifGainControl = -1;
  int32_t ExifContrast = -1;
  int32_t ExifSaturation = -1;
  int32_t ExifSharpness = -1;
  int32_t ExifSubjectDistanceRange = -1;
  std::string ExifImageUniqueID;
  std::string ExifGPSVersionID;
  std::string ExifGPSLatitudeRef;
  std::array<double, 3> ExifGPSLatitude{0, 0, 0};
  std::string ExifGPSLongitudeRef;
  std::array<double, 3> ExifGPSLongitude{0, 0, 0};
  std::string ExifGPSAltitudeRef;
  double ExifGPSAltitude = 0;
  std::array<double, 3> ExifGPSTimeStamp{0, 0, 0};
  std::string ExifGPSSatellites;
  std::string ExifGPSStatus;
  std::string ExifGPSMeasureMode;
  double ExifGPSDOP = 0;
  std::string ExifGPSSpeedRef;
  double ExifGPSSpeed = 0;
  std::string ExifGPSTrackRef;
  double ExifGPSTrack = 0;
  std::string ExifGPSImgDirectionRef;
  double ExifGPSImgDirection = 0;
  std::string ExifGPSMapDatum;
  std::string ExifGPSDestLatitudeRef;
  std::array<double, 3> ExifGPSDestLatitude{0, 0, 0};
  std::string ExifGPSDestLongitudeRef;
  std::array<double, 3> ExifGPSDestLongitude{0, 0, 0};
  std::string ExifGPSDestBearingRef;
  double ExifGPSDestBearing = 0;
  std::string ExifGPSDestDistanceRef;
  double ExifGPSDestDistance = 0;
  std::string ExifGPSDateStamp;

  // multi-frame, PostScript, PDF, camera raw
  int32_t AviFrameCount = 0;
  int32_t AviFrameDelay = 0;
  int32_t MediaFileFrameCount = 0;
  int32_t MediaFileFrameDelay = 0;
  int32_t PsPaperWidth = 595;
  int32_t PsPaperHeight = 842;
  uint8_t PsCompression = 1;
  std::string PsTitle = "No Title";
  int32_t PdfPaperWidth = 595;
  int32_t PdfPaperHeight = 842;
  uint8_t PdfCompression = 2;
  std::string PdfTitle;
  std::string PdfAuthor;
  std::string PdfSubject;
  std::string PdfKeywords;
  std::string PdfCreator;
  std::string PdfProducer;
  uint8_t RawHalfSize = 0;
  double RawGamma = 0.6;
  double RawBright = 1.0;
  double RawRedScale = 1.0;
  double RawBlueScale = 1.0;
  uint8_t RawFastInterpolation = 1;
  uint8_t RawAutoWhiteBalance = 0;
  uint8_t RawCameraWhiteBalance = 0;
  uint8_t RawFourColors = 0;
  std::string RawCamera;
  uint8_t RawUseExifThumbnail = 0;
  uint8_t RawMatchPreviewColors = 0;

  // raw pixels, PSD, HD Photo and trailing fields
  uint8_t RawBitmapBGR = 0;
  uint8_t RawBitmapPlanar = 0;
  int32_t RawBitmapRowAlign = 8;
  int32_t RawBitmapDataOffset = 0;
  uint8_t RawBitmapEncoding = 0;
  uint8_t PsdLoadLayers = 0;
  uint8_t PsdReplaceLayers = 1;
  double HdpImageQuality = 0.9;
  uint8_t HdpLossless = 0;
  std::string XmpPacket;
  uint8_t NativePixelFormat = 0;
  int64_t MaxPixels = QxDefaultMaxPixels;  // a caller's setting: kept by SetDefaultParams
  std::vector<TQxRGB> ColorMap;  // the file's palette; empty = none
  int32_t ColorMapCount = 0;
  std::array<std::array<int32_t, 2>, 16> IcoSizes{};
  std::array<int32_t, 16> IcoBitCounts{};
  std::unique_ptr<TQxICC> InputICC;    // on demand
  std::unique_ptr<TQxICC> DefaultICC;  // on demand
  std::unique_ptr<TQxICC> OutputICC;   // on demand

 private:
  void SetExifDouble(double& Field, double V, double Absent, int32_t Tag);
  void SetExifInt(int32_t& Field, int32_t V, int32_t Absent, int32_t Tag);
};

// Whether a reader may allocate a Width x Height picture: both sizes positive, no more than P.MaxPixels
// pixels, and no more pixels than DataBytes of coded data can describe when one byte codes at most
// PixelsPerByte pixels (the coding's greatest expansion). A negative DataBytes (a stream of unknown size)
// or PixelsPerByte skips the data check.
bool QxPictureFits(const TIOParamsVals& P, int64_t Width, int64_t Height, int64_t DataBytes, double PixelsPerByte);

// A resolution read from a file as whole dots per inch: truncated; NaN gives 0 and values past the integer
// range are clamped to it.
int32_t QxTruncDpi(double Value);
