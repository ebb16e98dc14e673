#include "imaging/io/jpeg_metadata.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

namespace {

// One call of the plugged-in TIFF reader on a stream, with its own abort flag; true when it did not abort.
bool ReadTiff(TQxBitmap* Bitmap, TStream* Stream, TIOParamsVals& Params, bool ParamsOnly, bool Thumbnail) {
  auto read = QxCodecServices.ReadTiffStream;
  if (!read) return false;
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  int32_t pages = 0;
  TQxMask* mask = nullptr;
  try {
    read(Bitmap, Stream, pages, Params, progress, ParamsOnly, mask, true, false, Thumbnail);
  } catch (...) {
    aborting = true;
  }
  delete mask;
  return !aborting;
}

void PrepareThumbnail(TIOParamsVals& Params) {
  if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TQxBitmap>();
  else Params.ExifThumbnail->FreeImage(true);
}

// Without a TIFF codec: the basic tags of the first image.
bool LoadBasicTags(const uint8_t* Data, size_t Length, TIOParamsVals& Params) {
  TQxExifBasicTags tags;
  if (!QxReadExifBasicTags(Data, Length, tags)) return false;
  if (tags.Orientation) Params.SetExifOrientation(tags.Orientation);
  if (tags.ResolutionUnit) Params.ExifResolutionUnit = tags.ResolutionUnit;
  if (tags.XResolution > 0) Params.SetDpiXFloat(tags.XResolution);
  if (tags.YResolution > 0) Params.SetDpiYFloat(tags.YResolution);
  return true;
}

}  // namespace

bool QxLoadEXIFFromBuffer(const void* Data, int32_t Length, TIOParamsVals& Params) {
  if (!QxIsEXIFHeader(Data, Length) || Length < 6) return false;
  const auto* tiff = static_cast<const uint8_t*>(Data) + 6;
  const size_t n = size_t(Length) - 6;
  PrepareThumbnail(Params);
  if (!QxCodecServices.ReadTiffStream) {
    LoadBasicTags(tiff, n, Params);
    Params.ExifHasData = 1;
    return true;
  }
  TIOParamsVals temp(Params.Owner);
  TMemoryStream stream;
  stream.Write(tiff, int64_t(n));
  stream.SetPosition(0);
  ReadTiff(nullptr, &stream, temp, true, false);
  QxCopyExif(temp, Params);
  Params.ExifHasData = 1;
  temp.SetAllImageIndexes(1);
  stream.SetPosition(0);
  if (!ReadTiff(Params.ExifThumbnail.get(), &stream, temp, false, true)) Params.ExifThumbnail->FreeImage(true);
  QxApplyExifOrientation(Params.ExifThumbnail.get(), temp.TiffOrientation);
  return true;
}

bool QxSaveEXIFToBuffer(TIOParamsVals& Params, std::vector<uint8_t>& Buffer, bool WithHeader) {
  Buffer.clear();
  auto write = QxCodecServices.WriteTiffStream;
  if (!write) return false;
  TMemoryStream stream;
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  try {
    write(&stream, 0, nullptr, Params, progress);
    if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
      stream.SetPosition(0);
      TIOParamsVals temp;
      temp.SetAllImageIndexes(1);
      temp.TiffCompression = 6;
      write(&stream, 1, Params.ExifThumbnail.get(), temp, progress);
    }
  } catch (...) {
    return false;
  }
  if (aborting) return false;
  if (WithHeader) Buffer.assign({'E', 'x', 'i', 'f', 0, 0});
  const auto* p = static_cast<const uint8_t*>(stream.Memory());
  Buffer.insert(Buffer.end(), p, p + stream.Size());
  return true;
}

void QxCopyExif(const TIOParamsVals& S, TIOParamsVals& D) {
  D.ExifTagsPresent = S.ExifTagsPresent;
  D.ExifImageDescription = S.TiffImageDescription;
  D.ExifMake = S.ExifMake;
  D.ExifModel = S.ExifModel;
  D.SetExifOrientation(S.ExifOrientation);
  D.SetDpiXFloat(S.ExifXResolution);
  D.SetDpiYFloat(S.ExifYResolution);
#define QX_COPY(f) D.f = S.f
  QX_COPY(ExifResolutionUnit); QX_COPY(ExifSoftware); QX_COPY(ExifArtist); QX_COPY(ExifDateTime);
  QX_COPY(ExifRating); QX_COPY(ExifXPTitle); QX_COPY(ExifXPComment); QX_COPY(ExifXPAuthor);
  QX_COPY(ExifXPKeywords); QX_COPY(ExifXPSubject); QX_COPY(ExifWhitePoint); QX_COPY(ExifPrimaryChromaticities);
  QX_COPY(ExifYCbCrCoefficients); QX_COPY(ExifYCbCrPositioning); QX_COPY(ExifReferenceBlackWhite);
  QX_COPY(ExifCopyright);
  QX_COPY(ExifExposureTime); QX_COPY(ExifFNumber); QX_COPY(ExifExposureProgram); QX_COPY(ExifISOSpeedRatings);
  QX_COPY(ExifVersion); QX_COPY(ExifDateTimeOriginal); QX_COPY(ExifDateTimeDigitized);
  QX_COPY(ExifCompressedBitsPerPixel); QX_COPY(ExifShutterSpeedValue); QX_COPY(ExifApertureValue);
  QX_COPY(ExifBrightnessValue); QX_COPY(ExifExposureBiasValue); QX_COPY(ExifMaxApertureValue);
  QX_COPY(ExifSubjectDistance); QX_COPY(ExifMeteringMode); QX_COPY(ExifLightSource); QX_COPY(ExifFlash);
  QX_COPY(ExifFocalLength); QX_COPY(ExifSubsecTime); QX_COPY(ExifSubsecTimeOriginal);
  QX_COPY(ExifSubsecTimeDigitized); QX_COPY(ExifFlashPixVersion); QX_COPY(ExifColorSpace);
  QX_COPY(ExifPixelXDimension); QX_COPY(ExifPixelYDimension); QX_COPY(ExifRelatedSoundFile);
  QX_COPY(ExifFocalPlaneXResolution); QX_COPY(ExifFocalPlaneYResolution); QX_COPY(ExifFocalPlaneResolutionUnit);
  QX_COPY(ExifExposureIndex); QX_COPY(ExifSensingMethod); QX_COPY(ExifFileSource); QX_COPY(ExifSceneType);
  QX_COPY(ExifUserComment); QX_COPY(ExifUserCommentCode);
  QX_COPY(ExifExposureMode); QX_COPY(ExifWhiteBalance); QX_COPY(ExifDigitalZoomRatio);
  QX_COPY(ExifFocalLengthIn35mmFilm); QX_COPY(ExifSceneCaptureType); QX_COPY(ExifGainControl);
  QX_COPY(ExifContrast); QX_COPY(ExifSaturation); QX_COPY(ExifSharpness); QX_COPY(ExifSubjectDistanceRange);
  QX_COPY(ExifImageUniqueID);
  QX_COPY(ExifGPSVersionID); QX_COPY(ExifGPSLatitudeRef); QX_COPY(ExifGPSLatitude); QX_COPY(ExifGPSLongitudeRef);
  QX_COPY(ExifGPSLongitude); QX_COPY(ExifGPSAltitudeRef); QX_COPY(ExifGPSAltitude); QX_COPY(ExifGPSTimeStamp);
  QX_COPY(ExifGPSSatellites); QX_COPY(ExifGPSStatus); QX_COPY(ExifGPSMeasureMode); QX_COPY(ExifGPSDOP);
  QX_COPY(ExifGPSSpeedRef); QX_COPY(ExifGPSSpeed); QX_COPY(ExifGPSTrackRef); QX_COPY(ExifGPSTrack);
  QX_COPY(ExifGPSImgDirectionRef); QX_COPY(ExifGPSImgDirection); QX_COPY(ExifGPSMapDatum);
  QX_COPY(ExifGPSDestLatitudeRef); QX_COPY(ExifGPSDestLatitude); QX_COPY(ExifGPSDestLongitudeRef);
  QX_COPY(ExifGPSDestLongitude); QX_COPY(ExifGPSDestBearingRef); QX_COPY(ExifGPSDestBearing);
  QX_COPY(ExifGPSDestDistanceRef); QX_COPY(ExifGPSDestDistance); QX_COPY(ExifGPSDateStamp);
#undef QX_COPY
  if (S.ExifMakerNote) {
    if (!D.ExifMakerNote) D.ExifMakerNote = std::make_unique<TQxTagsHandler>();
    D.ExifMakerNote->AssignFrom(*S.ExifMakerNote);
  }
}

bool QxLoadEXIFFromTIFFStream(TStream& Stream, TIOParamsVals& Params) {
  const int64_t start = Stream.Position();
  PrepareThumbnail(Params);
  if (QxCodecServices.ReadTiffStream) {
    ReadTiff(nullptr, &Stream, Params, true, false);
  } else {
    // A TIFF structure keeps its offsets within 4 GB; read what the stream holds, up to that.
    const int64_t n = std::min<int64_t>(Stream.Size() - start, int64_t(64) << 20);
    if (n > 0) {
      std::vector<uint8_t> data(static_cast<size_t>(n));
      const int64_t got = Stream.Read(data.data(), n);
      if (got > 0) LoadBasicTags(data.data(), size_t(got), Params);
    }
  }
  Stream.SetPosition(start);
  return true;
}

bool QxLoadRawCameraEXIF(TStream& Stream, TIOParamsVals& Params) {
  const int64_t start = Stream.Position();
  PrepareThumbnail(Params);
  if (!QxCodecServices.ReadTiffStream) {
    QxLoadEXIFFromTIFFStream(Stream, Params);
    Params.ExifHasData = 1;
    return true;
  }
  TIOParamsVals temp(Params.Owner);
  ReadTiff(nullptr, &Stream, temp, true, false);
  QxCopyExif(temp, Params);
  Params.ExifHasData = 1;
  TQxBitmap a, b;
  temp.SetAllImageIndexes(0);
  Stream.SetPosition(start);
  ReadTiff(&a, &Stream, temp, false, true);
  temp.SetAllImageIndexes(1);
  Stream.SetPosition(start);
  ReadTiff(&b, &Stream, temp, false, true);
  const int32_t wa = a.IsEmpty() ? 0 : a.Width(), wb = b.IsEmpty() ? 0 : b.Width();
  if (wa > 0 && (wa < wb || wb == 0) && !a.IsAllZero()) Params.ExifThumbnail->AssignFrom(&a);
  else if (wb > 0 && (wb < wa || wa == 0) && !b.IsAllZero()) Params.ExifThumbnail->AssignFrom(&b);
  Stream.SetPosition(start);
  return true;
}

bool QxLoadXMPFromBuffer(const void* Data, int32_t Length, TIOParamsVals& Params) {
  const uint8_t* packet = QxFindXMP(Data, Length);
  if (!packet) return false;
  const auto* base = static_cast<const uint8_t*>(Data);
  Params.XmpPacket.assign(reinterpret_cast<const char*>(packet), size_t(Length) - size_t(packet - base));
  return true;
}

void QxSaveXMPToBuffer(const TIOParamsVals& Params, std::vector<uint8_t>& Buffer) {
  Buffer.assign(QxXmpNamespace, QxXmpNamespace + 29);  // with its zero byte
  Buffer.insert(Buffer.end(), Params.XmpPacket.begin(), Params.XmpPacket.end());
}
