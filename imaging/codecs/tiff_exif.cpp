// Descriptive metadata of a TIFF page: main-directory tags, the EXIF and GPS directories, and the blocks
// held in single tags (IPTC, XMP, ICC profile, maker note), read into and written from TIOParamsVals.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/codecs/tiff_internal.h"
#include "imaging/foundation/annotations.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/foundation/tiff_tags.h"
#include "imaging/io/params.h"
#include "platform/base/codepage.h"
#include "platform/base/streams.h"

namespace {

// Setters of the EXIF fields that keep the present-tags list.
using TDoubleSetter = void (TIOParamsVals::*)(double);
using TIntSetter = void (TIOParamsVals::*)(int32_t);

struct TDoubleTag {
  uint16_t Tag;
  TDoubleSetter Set;
  double TIOParamsVals::*Field;
  double Absent;
};
struct TIntTag {
  uint16_t Tag;
  TIntSetter Set;
  int32_t TIOParamsVals::*Field;
  int32_t Absent;
  bool Undefined;  // FileSource and SceneType are written as UNDEFINED
};
struct TPlainIntTag {
  uint16_t Tag;
  int32_t TIOParamsVals::*Field;
};
struct TTextTag {
  uint16_t Tag;
  std::string TIOParamsVals::*Field;
};

const TDoubleTag kDoubleTags[] = {
    {33434, &TIOParamsVals::SetExifExposureTime, &TIOParamsVals::ExifExposureTime, -1},
    {33437, &TIOParamsVals::SetExifFNumber, &TIOParamsVals::ExifFNumber, -1},
    {37122, &TIOParamsVals::SetExifCompressedBitsPerPixel, &TIOParamsVals::ExifCompressedBitsPerPixel, 0},
    {37377, &TIOParamsVals::SetExifShutterSpeedValue, &TIOParamsVals::ExifShutterSpeedValue, -1},
    {37378, &TIOParamsVals::SetExifApertureValue, &TIOParamsVals::ExifApertureValue, -1},
    {37379, &TIOParamsVals::SetExifBrightnessValue, &TIOParamsVals::ExifBrightnessValue, -1000},
    {37380, &TIOParamsVals::SetExifExposureBiasValue, &TIOParamsVals::ExifExposureBiasValue, -1000},
    {37381, &TIOParamsVals::SetExifMaxApertureValue, &TIOParamsVals::ExifMaxApertureValue, -1000},
    {37382, &TIOParamsVals::SetExifSubjectDistance, &TIOParamsVals::ExifSubjectDistance, -1},
    {37386, &TIOParamsVals::SetExifFocalLength, &TIOParamsVals::ExifFocalLength, -1},
    {41486, &TIOParamsVals::SetExifFocalPlaneXResolution, &TIOParamsVals::ExifFocalPlaneXResolution, -1},
    {41487, &TIOParamsVals::SetExifFocalPlaneYResolution, &TIOParamsVals::ExifFocalPlaneYResolution, -1},
    {41493, &TIOParamsVals::SetExifExposureIndex, &TIOParamsVals::ExifExposureIndex, -1},
};

const TIntTag kIntTags[] = {
    {34850, &TIOParamsVals::SetExifExposureProgram, &TIOParamsVals::ExifExposureProgram, -1, false},
    {37383, &TIOParamsVals::SetExifMeteringMode, &TIOParamsVals::ExifMeteringMode, -1, false},
    {37384, &TIOParamsVals::SetExifLightSource, &TIOParamsVals::ExifLightSource, -1, false},
    {37385, &TIOParamsVals::SetExifFlash, &TIOParamsVals::ExifFlash, -1, false},
    {40961, &TIOParamsVals::SetExifColorSpace, &TIOParamsVals::ExifColorSpace, -1, false},
    {40962, &TIOParamsVals::SetExifPixelXDimension, &TIOParamsVals::ExifPixelXDimension, 0, false},
    {40963, &TIOParamsVals::SetExifPixelYDimension, &TIOParamsVals::ExifPixelYDimension, 0, false},
    {41488, &TIOParamsVals::SetExifFocalPlaneResolutionUnit, &TIOParamsVals::ExifFocalPlaneResolutionUnit, -1, false},
    {41495, &TIOParamsVals::SetExifSensingMethod, &TIOParamsVals::ExifSensingMethod, -1, false},
    {41728, &TIOParamsVals::SetExifFileSource, &TIOParamsVals::ExifFileSource, -1, true},
    {41729, &TIOParamsVals::SetExifSceneType, &TIOParamsVals::ExifSceneType, -1, true},
};

const TPlainIntTag kPlainIntTags[] = {
    {41986, &TIOParamsVals::ExifExposureMode},       {41987, &TIOParamsVals::ExifWhiteBalance},
    {41989, &TIOParamsVals::ExifFocalLengthIn35mmFilm}, {41990, &TIOParamsVals::ExifSceneCaptureType},
    {41991, &TIOParamsVals::ExifGainControl},        {41992, &TIOParamsVals::ExifContrast},
    {41993, &TIOParamsVals::ExifSaturation},         {41994, &TIOParamsVals::ExifSharpness},
    {41996, &TIOParamsVals::ExifSubjectDistanceRange},
};

const TTextTag kExifTextTags[] = {
    {36867, &TIOParamsVals::ExifDateTimeOriginal}, {36868, &TIOParamsVals::ExifDateTimeDigitized},
    {37520, &TIOParamsVals::ExifSubsecTime},       {37521, &TIOParamsVals::ExifSubsecTimeOriginal},
    {37522, &TIOParamsVals::ExifSubsecTimeDigitized}, {40964, &TIOParamsVals::ExifRelatedSoundFile},
    {42016, &TIOParamsVals::ExifImageUniqueID},
};

const TTextTag kXPTags[] = {
    {40091, &TIOParamsVals::ExifXPTitle},   {40092, &TIOParamsVals::ExifXPComment}, {40093, &TIOParamsVals::ExifXPAuthor},
    {40094, &TIOParamsVals::ExifXPKeywords}, {40095, &TIOParamsVals::ExifXPSubject},
};

const TTextTag kGpsRefTags[] = {
    {1, &TIOParamsVals::ExifGPSLatitudeRef},      {3, &TIOParamsVals::ExifGPSLongitudeRef},
    {9, &TIOParamsVals::ExifGPSStatus},           {10, &TIOParamsVals::ExifGPSMeasureMode},
    {12, &TIOParamsVals::ExifGPSSpeedRef},        {14, &TIOParamsVals::ExifGPSTrackRef},
    {16, &TIOParamsVals::ExifGPSImgDirectionRef}, {19, &TIOParamsVals::ExifGPSDestLatitudeRef},
    {21, &TIOParamsVals::ExifGPSDestLongitudeRef}, {23, &TIOParamsVals::ExifGPSDestBearingRef},
    {25, &TIOParamsVals::ExifGPSDestDistanceRef},
};

struct TTripleTag {
  uint16_t Tag;
  std::array<double, 3> TIOParamsVals::*Field;
};
const TTripleTag kGpsTriples[] = {
    {2, &TIOParamsVals::ExifGPSLatitude},      {4, &TIOParamsVals::ExifGPSLongitude},
    {7, &TIOParamsVals::ExifGPSTimeStamp},     {20, &TIOParamsVals::ExifGPSDestLatitude},
    {22, &TIOParamsVals::ExifGPSDestLongitude},
};
struct TGpsDouble {
  uint16_t Tag;
  double TIOParamsVals::*Field;
};
const TGpsDouble kGpsDoubles[] = {
    {6, &TIOParamsVals::ExifGPSAltitude},  {11, &TIOParamsVals::ExifGPSDOP},
    {13, &TIOParamsVals::ExifGPSSpeed},    {15, &TIOParamsVals::ExifGPSTrack},
    {17, &TIOParamsVals::ExifGPSImgDirection}, {24, &TIOParamsVals::ExifGPSDestBearing},
    {26, &TIOParamsVals::ExifGPSDestDistance},
};
const TTextTag kGpsTextTags[] = {
    {8, &TIOParamsVals::ExifGPSSatellites}, {18, &TIOParamsVals::ExifGPSMapDatum}, {29, &TIOParamsVals::ExifGPSDateStamp},
};

template <size_t N>
void ReadRationals(const TTIFFDirectory& D, uint16_t Tag, std::array<double, N>& Out, double Absent) {
  for (size_t i = 0; i < N; ++i) Out[i] = D.ReadRationalAt(Tag, uint32_t(i), Absent);
}

bool IsPresent(const TIOParamsVals& P, int32_t Tag) {
  return std::find(P.ExifTagsPresent.begin(), P.ExifTagsPresent.end(), Tag) != P.ExifTagsPresent.end();
}

const char kUnicodeCode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
const char kAsciiCode[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};

void ReadUserComment(const TTIFFDirectory& D, TIOParamsVals& P) {
  const std::string raw = D.ReadAscii(37510, false);
  if (raw.size() <= 8) {
    P.ExifUserCommentCode.assign(kUnicodeCode, 8);
    P.ExifUserComment.clear();
    return;
  }
  P.ExifUserCommentCode = raw.substr(0, 8);
  const std::string rest = raw.substr(8);
  if (P.ExifUserCommentCode == std::string(kUnicodeCode, 8)) {
    // An odd last byte is taken with a zero upper half.
    std::string even = rest;
    if (even.size() & 1) even.push_back('\0');
    std::u16string u(even.size() / 2, u'\0');
    for (size_t i = 0; i < u.size(); ++i)
      u[i] = char16_t(D.LittleEndian ? (uint8_t(even[2 * i]) | (uint8_t(even[2 * i + 1]) << 8))
                                     : ((uint8_t(even[2 * i]) << 8) | uint8_t(even[2 * i + 1])));
    while (!u.empty() && u.back() == 0) u.pop_back();
    P.ExifUserComment = Utf16ToUtf8(u);
  } else {
    std::string t = rest;
    const size_t z = t.find('\0');
    if (z != std::string::npos) t.resize(z);
    P.ExifUserComment = CodePageToUtf8(t);
  }
}

void ReadMakerNote(const TTIFFDirectory& D, TIOParamsVals& P) {
  if (!P.ExifMakerNote) P.ExifMakerNote = std::make_unique<TQxTagsHandler>();
  P.ExifMakerNote->Clear();
  const TTIFFEntry* e = D.Entry(37500);
  if (!e || e->Count == 0) return;
  std::vector<uint8_t> b = D.ReadEntryData(*e);
  // Where the note stood in the structure: offsets of cameras that count from the TIFF header are turned
  // into positions inside the note, so that a save can place them anew.
  const int64_t at = uint64_t(e->Count) * TiffTypeSize(e->Type) > 4 ? int64_t(e->Value) : 0;
  if (!b.empty()) P.ExifMakerNote->LoadFromBuffer(b.data(), int64_t(b.size()), at, D.LittleEndian);
}

}  // namespace

void TiffReadMetadata(const TTIFFDirectory& Dir, TIOParamsVals& P) {
  // IPTC: the entry's count in units of its type.
  if (const TTIFFEntry* e = Dir.Entry(33723)) {
    if (!P.IPTC) P.IPTC = std::make_unique<TQxIPTCInfoList>();
    P.IPTC->Clear();
    const std::vector<uint8_t> b = Dir.ReadEntryData(*e);
    if (!b.empty() && b.size() <= size_t(INT32_MAX)) P.IPTC->LoadFromBuffer(b.data(), int32_t(b.size()));
  } else if (P.IPTC) {
    P.IPTC->Clear();
  }
  // Annotations of the previous file must not ride along into this one.
  P.GetImagingAnnot()->Clear();
  if (Dir.Entry(32932)) {
    const std::vector<uint8_t> b = Dir.ReadBytes(32932);
    if (!b.empty()) P.GetImagingAnnot()->LoadFromBuffer(b.data(), int64_t(b.size()));
  }
  P.XmpPacket.clear();
  if (const TTIFFEntry* e = Dir.Entry(700))
    if (e->Type == ttByte || e->Type == ttUndefined) {
      const std::vector<uint8_t> b = Dir.ReadBytes(700);
      P.XmpPacket.assign(b.begin(), b.end());
    }
  if (const TTIFFEntry* e = Dir.Entry(34675)) {
    const std::vector<uint8_t> b = Dir.ReadBytes(34675);
    if (!b.empty() && b.size() <= size_t(INT32_MAX)) P.GetInputICC()->LoadFromBuffer(b.data(), int32_t(b.size()));
    (void)e;
  }

  TTIFFDirectory exif, gps;
  exif.LittleEndian = gps.LittleEndian = Dir.LittleEndian;
  const int64_t exifAt = Dir.ReadValue(34665, 0);
  if (exifAt != 0) {
    TiffLoadDirectory(Dir.Stream, Dir.Base, Dir.LittleEndian, uint32_t(exifAt), exif);
    P.ExifHasData = 1;
  }
  const int64_t gpsAt = Dir.ReadValue(34853, 0);
  if (gpsAt != 0) TiffLoadDirectory(Dir.Stream, Dir.Base, Dir.LittleEndian, uint32_t(gpsAt), gps);

  // Main directory.
  P.TiffImageDescription = P.ExifImageDescription = Dir.ReadAscii(270, true);
  P.ExifMake = Dir.ReadAscii(271, true);
  P.ExifModel = Dir.ReadAscii(272, true);
  P.SetTiffOrientation(int32_t(Dir.ReadValue(274, 1)));
  P.ExifResolutionUnit = int32_t(Dir.ReadValue(296, 2));
  P.ExifSoftware = Dir.ReadAscii(305, true);
  P.ExifDateTime = Dir.ReadAscii(306, true);
  P.ExifArtist = Dir.ReadAscii(315, true);
  ReadRationals(Dir, 318, P.ExifWhitePoint, -1);
  ReadRationals(Dir, 319, P.ExifPrimaryChromaticities, -1);
  ReadRationals(Dir, 529, P.ExifYCbCrCoefficients, -1);
  P.ExifYCbCrPositioning = int32_t(Dir.ReadValue(531, -1));
  ReadRationals(Dir, 532, P.ExifReferenceBlackWhite, -1);
  P.ExifCopyright = Dir.ReadAscii(33432, true);
  P.ExifRating = int32_t(Dir.ReadValue(18246, -1));
  for (const auto& t : kXPTags) P.*t.Field = Dir.ReadWideText(t.Tag);

  // EXIF directory.
  for (const auto& t : kDoubleTags) (P.*t.Set)(exif.ReadRational(t.Tag, t.Absent));
  for (const auto& t : kIntTags) (P.*t.Set)(int32_t(exif.ReadValue(t.Tag, t.Absent)));
  for (const auto& t : kPlainIntTags) P.*t.Field = int32_t(exif.ReadValue(t.Tag, -1));
  P.ExifDigitalZoomRatio = exif.ReadRational(41988, -1);
  for (const auto& t : kExifTextTags) P.*t.Field = exif.ReadAscii(t.Tag, true);
  P.ExifVersion = exif.ReadInlineAscii(36864);
  P.ExifFlashPixVersion = exif.ReadInlineAscii(40960);
  P.ExifISOSpeedRatings[0] = int32_t(exif.ReadElement(34855, 0, 0));
  P.ExifISOSpeedRatings[1] = int32_t(exif.ReadElement(34855, 1, 0));
  ReadUserComment(exif, P);
  ReadMakerNote(exif, P);

  // GPS directory.
  {
    const std::string v = gps.ReadInlineAscii(0);
    std::string text;
    for (size_t i = 0; i < v.size(); ++i) {
      if (i) text += '.';
      text += std::to_string(unsigned(uint8_t(v[i])));
    }
    P.ExifGPSVersionID = text;
  }
  for (const auto& t : kGpsRefTags) P.*t.Field = gps.ReadInlineAscii(t.Tag);
  P.ExifGPSAltitudeRef = std::to_string(gps.ReadValue(5, 0));
  for (const auto& t : kGpsTriples) ReadRationals(gps, t.Tag, P.*t.Field, 0);
  for (const auto& t : kGpsDoubles) P.*t.Field = gps.ReadRational(t.Tag, 0);
  for (const auto& t : kGpsTextTags) P.*t.Field = gps.ReadAscii(t.Tag, true);
}

// ============================================================ writing

namespace {

void AddWide(TTiffWriter& W, uint16_t Tag, const std::string& Text) {
  if (Text.empty()) return;
  const std::u16string u = Utf8ToUtf16(Text);
  std::vector<uint8_t> b;
  for (char16_t c : u) {
    b.push_back(uint8_t(c));
    b.push_back(uint8_t(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  W.AddData(Tag, ttByte, uint32_t(b.size()), b.data(), b.size());
}

// A short text kept in the entry's value field as it is (no NUL added); longer ones go out of line.
void AddInlineText(TTiffWriter& W, uint16_t Tag, uint16_t Type, const std::string& Text, bool Always) {
  if (Text.empty() && !Always) return;
  W.AddData(Tag, Type, uint32_t(Text.size()), Text.data(), Text.size());
}

template <size_t N>
void AddRationalsIfAny(TTiffWriter& W, uint16_t Tag, const std::array<double, N>& V) {
  for (double d : V)
    if (d != -1) {
      W.AddRationals(Tag, V.data(), int32_t(N));
      return;
    }
}

void AddUserComment(TTiffWriter& W, const TIOParamsVals& P) {
  std::string code = P.ExifUserCommentCode;
  if (code.empty()) code.assign(kUnicodeCode, 8);
  if (P.ExifUserComment.empty() || code.size() != 8) return;
  std::vector<uint8_t> b(code.begin(), code.end());
  if (code == std::string(kUnicodeCode, 8)) {
    for (char16_t c : Utf8ToUtf16(P.ExifUserComment)) {
      b.push_back(uint8_t(c));
      b.push_back(uint8_t(c >> 8));
    }
    b.push_back(0);
    b.push_back(0);
  } else if (code == std::string(kAsciiCode, 8)) {
    const std::string t = Utf8ToCodePage(P.ExifUserComment);
    b.insert(b.end(), t.begin(), t.end());
    b.push_back(0);
  } else {
    return;  // a character code this writer cannot produce
  }
  W.AddData(37510, ttUndefined, uint32_t(b.size()), b.data(), b.size());
}

void AddMakerNote(TTiffWriter& W, const TIOParamsVals& P) {
  if (!P.ExifMakerNote) return;
  TQxTagsHandler& note = *P.ExifMakerNote;
  if (note.EntryCount() == 0 && note.RawNote().size() < 13) return;
  // Written where it lands, so that offsets counted from the TIFF header point at its data again.
  W.AlignEven();
  const int64_t at = W.Stream->Position();
  const int64_t bytes = note.SaveToStream(*W.Stream);
  if (bytes > 0) W.Add(37500, ttUndefined, uint32_t(bytes), uint32_t(at));
}

}  // namespace

void TiffWriteExifTags(TTiffWriter& W, TIOParamsVals& P) {
  W.AddAscii(270, P.ExifImageDescription);
  if (P.ExifXResolution != 0) W.AddRational(282, P.ExifXResolution);
  if (P.ExifYResolution != 0) W.AddRational(283, P.ExifYResolution);
  W.AddShort(274, uint32_t(P.TiffOrientation));
  W.AddShort(296, 2);
  W.AddAscii(305, P.ExifSoftware);
  if (P.ExifRating >= 0) W.AddShort(18246, uint32_t(P.ExifRating));
  for (const auto& t : kXPTags) AddWide(W, t.Tag, P.*t.Field);
  W.AddAscii(315, P.ExifArtist);
  W.AddAscii(271, P.ExifMake);
  W.AddAscii(272, P.ExifModel);
  W.AddAscii(306, P.ExifDateTime);
  if (P.ExifWhitePoint[0] != -1 || P.ExifWhitePoint[1] != -1) W.AddRationals(318, P.ExifWhitePoint.data(), 2);
  if (P.ExifYCbCrPositioning != -1) W.AddShort(531, uint32_t(P.ExifYCbCrPositioning));
  AddRationalsIfAny(W, 319, P.ExifPrimaryChromaticities);
  AddRationalsIfAny(W, 529, P.ExifYCbCrCoefficients);
  AddRationalsIfAny(W, 532, P.ExifReferenceBlackWhite);
  W.AddAscii(33432, P.ExifCopyright);

  // EXIF directory: values in ascending tag order, the user comment and maker note last.
  TTiffWriter E(W.Stream, W.Aborting);
  struct TItem {
    uint16_t Tag;
    int Kind;  // 0 double, 1 int, 2 plain int, 3 text, 4 zoom, 5 ISO, 6 version, 7 flashpix
    size_t Index;
  };
  std::vector<TItem> items;
  for (size_t i = 0; i < std::size(kDoubleTags); ++i) items.push_back({kDoubleTags[i].Tag, 0, i});
  for (size_t i = 0; i < std::size(kIntTags); ++i) items.push_back({kIntTags[i].Tag, 1, i});
  for (size_t i = 0; i < std::size(kPlainIntTags); ++i) items.push_back({kPlainIntTags[i].Tag, 2, i});
  for (size_t i = 0; i < std::size(kExifTextTags); ++i) items.push_back({kExifTextTags[i].Tag, 3, i});
  items.push_back({41988, 4, 0});
  items.push_back({34855, 5, 0});
  items.push_back({36864, 6, 0});
  items.push_back({40960, 7, 0});
  std::sort(items.begin(), items.end(), [](const TItem& a, const TItem& b) { return a.Tag < b.Tag; });
  for (const TItem& it : items) {
    switch (it.Kind) {
      case 0: {
        const auto& t = kDoubleTags[it.Index];
        if (IsPresent(P, t.Tag)) E.AddRational(t.Tag, P.*t.Field);
        break;
      }
      case 1: {
        const auto& t = kIntTags[it.Index];
        if (!IsPresent(P, t.Tag)) break;
        if (t.Undefined) E.Add(t.Tag, ttUndefined, 1, uint32_t(P.*t.Field));
        else E.AddShort(t.Tag, uint32_t(P.*t.Field));
        break;
      }
      case 2: {
        const auto& t = kPlainIntTags[it.Index];
        if (P.*t.Field != -1) E.AddShort(t.Tag, uint32_t(P.*t.Field));
        break;
      }
      case 3: {
        const auto& t = kExifTextTags[it.Index];
        E.AddAscii(t.Tag, P.*t.Field);
        break;
      }
      case 4:
        if (P.ExifDigitalZoomRatio != -1) E.AddRational(41988, P.ExifDigitalZoomRatio);
        break;
      case 5:
        if (P.ExifISOSpeedRatings[1] != 0)
          E.AddShorts(34855, {uint16_t(P.ExifISOSpeedRatings[0]), uint16_t(P.ExifISOSpeedRatings[1])});
        else if (P.ExifISOSpeedRatings[0] != 0)
          E.AddShort(34855, uint32_t(P.ExifISOSpeedRatings[0]));
        break;
      case 6: AddInlineText(E, 36864, ttUndefined, P.ExifVersion, true); break;
      case 7: AddInlineText(E, 40960, ttUndefined, P.ExifFlashPixVersion, false); break;
      default: break;
    }
  }
  AddUserComment(E, P);
  AddMakerNote(E, P);
  const int64_t exifAt = E.WriteDirectory(0);
  W.AddLong(34665, uint32_t(exifAt));

  if (!P.ExifGPSVersionID.empty()) {
    TTiffWriter G(W.Stream, W.Aborting);
    std::vector<uint8_t> ver;
    size_t from = 0;
    const std::string& v = P.ExifGPSVersionID;
    for (;;) {
      const size_t dot = v.find('.', from);
      ver.push_back(uint8_t(QxTextToIntDef(v.substr(from, dot == std::string::npos ? std::string::npos : dot - from), 0)));
      if (dot == std::string::npos) break;
      from = dot + 1;
    }
    G.AddData(0, ttByte, uint32_t(ver.size()), ver.data(), ver.size());
    for (const auto& t : kGpsRefTags) AddInlineText(G, t.Tag, ttAscii, P.*t.Field, true);
    G.Add(5, ttByte, 1, uint32_t(uint8_t(QxTextToIntDef(P.ExifGPSAltitudeRef, 0))));
    for (const auto& t : kGpsTriples) G.AddRationals(t.Tag, (P.*t.Field).data(), 3);
    for (const auto& t : kGpsDoubles) G.AddRational(t.Tag, P.*t.Field);
    for (const auto& t : kGpsTextTags) G.AddAscii(t.Tag, P.*t.Field);
    const int64_t gpsAt = G.WriteDirectory(0);
    W.AddLong(34853, uint32_t(gpsAt));
  }
}

void TiffWriteMetadataBlocks(TTiffWriter& W, TIOParamsVals& P) {
  if (P.IPTC) {
    std::vector<uint8_t> b;
    P.IPTC->SaveToBuffer(b, false);
    if (!b.empty()) {
      const uint32_t count = uint32_t((b.size() + 3) / 4);
      b.resize(size_t(count) * 4, 0);
      W.AddData(33723, ttLong, count, b.data(), b.size());
    }
  }
  if (!P.XmpPacket.empty()) W.AddData(700, ttByte, uint32_t(P.XmpPacket.size()), P.XmpPacket.data(), P.XmpPacket.size());
  const std::vector<uint8_t> annotations = P.GetImagingAnnot()->SaveToBuffer();
  if (!annotations.empty())
    W.AddData(32932, ttByte, uint32_t(annotations.size()), annotations.data(), annotations.size());
  if (P.InputICC && P.InputICC->IsValid() && !P.InputICC->Applied() && P.InputICC->RawLength() > 0)
    W.AddData(34675, ttUndefined, uint32_t(P.InputICC->RawLength()), P.InputICC->RawData(),
              size_t(P.InputICC->RawLength()));
}
