#include "imaging/io/file_formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "imaging/foundation/helpers.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/io_init.h"
#include "imaging/io/jpeg.h"
#include "imaging/io/png_codec.h"
#include "imaging/io/pnm_codec.h"
#include "imaging/io/raw_pixels.h"
#include "platform/base/streams.h"

namespace {

void AddBuiltIns();

// Filled with the built-in entries on first use, so lookups work before the library start-up ran.
std::vector<std::unique_ptr<TQxFileFormatInfo>>& Registry() {
  static std::vector<std::unique_ptr<TQxFileFormatInfo>> list;
  static bool filled = false;
  if (!filled) {
    filled = true;
    AddBuiltIns();
  }
  return list;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> SplitExtensions(const std::string& List) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= List.size()) {
    size_t p = List.find(';', start);
    if (p == std::string::npos) p = List.size();
    if (p > start) out.push_back(List.substr(start, p - start));
    start = p + 1;
  }
  return out;
}

void AddBuiltIn(TQxFileFormatId Id, const char* Name, const char* Ext, bool Read, bool Write, uint16_t Pages) {
  auto e = std::make_unique<TQxFileFormatInfo>();
  e->FormatId = Id;
  e->DisplayName = Name;
  e->ExtensionList = Ext;
  e->IsBuiltIn = 1;
  e->PreviewPages = Pages;
  e->ReadRoutine = Read ? &QxStubReadFormat : nullptr;
  e->WriteRoutine = Write ? &QxStubWriteFormat : nullptr;
  e->ProbeRoutine = &QxStubTryFormat;
  Registry().push_back(std::move(e));
}

// Reads exactly N bytes from the position; a short read is no match.
bool ReadExact(TStream& S, void* Buf, int64_t N) { return S.Read(Buf, N) == N; }

// The first Len bytes cut at the first zero byte.
std::string CutAtZero(const uint8_t* B, size_t Len) {
  size_t n = 0;
  while (n < Len && B[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(B), n);
}

bool Probe(bool (*Fn)(TStream*), TStream& S) { return QxProbe(Fn, &S); }

}  // namespace

void QxStubReadFormat(TStream&, TQxBitmap&, TIOParamsVals&, TQxProgressInfo&, bool) {}
void QxStubWriteFormat(TStream&, TQxBitmap&, TIOParamsVals&, TQxProgressInfo&) {}
bool QxStubTryFormat(TStream&, int32_t) { return false; }

void QxInitFileFormats() {
  Registry().clear();
  AddBuiltIns();
}

namespace {
void AddBuiltIns() {
  AddBuiltIn(qxffTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", true, true, 8);
  AddBuiltIn(qxffGIF, "CompuServe Bitmap", "GIF", true, true, 16);
  AddBuiltIn(qxffJPEG, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", true, true, 4);
  AddBuiltIn(qxffPCX, "PaintBrush", "PCX", true, true, 64);
  AddBuiltIn(qxffBMP, "Windows Bitmap", "BMP;DIB;RLE", true, true, 32);
  AddBuiltIn(qxffRawBitmap, "Raw Bitmap", "", true, true, 0);
  AddBuiltIn(qxffICO, "Windows Icon", "ICO", true, true, 0);
  AddBuiltIn(qxffCUR, "Windows Cursor", "CUR", true, false, 0);
  AddBuiltIn(qxffPNG, "Portable Network Graphics", "PNG", true, true, 128);
  AddBuiltIn(qxffDICOM, "DICOM Bitmap", "DCM;DIC;DICOM;V2", true, false, 0);
  AddBuiltIn(qxffWMF, "Windows Metafile", "WMF", true, false, 0);
  AddBuiltIn(qxffEMF, "Enhanced Windows Metafile", "EMF", true, false, 0);
  AddBuiltIn(qxffTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", true, true, 256);
  AddBuiltIn(qxffPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", true, true, 0);
  AddBuiltIn(qxffWBMP, "Wireless Bitmap", "WBMP", true, true, 0);
  AddBuiltIn(qxffJP2, "JPEG2000", "JP2", true, true, 512);
  AddBuiltIn(qxffJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", true, true, 512);
  AddBuiltIn(qxffPS, "PostScript Level 2", "PS;EPS", false, true, 0);
  AddBuiltIn(qxffPDF, "Adobe PDF", "PDF", false, true, 0);
  AddBuiltIn(qxffDCX, "Multipage PCX", "DCX", true, true, 0);
  AddBuiltIn(qxffRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", true, false, 0);
  AddBuiltIn(qxffPSD, "Photoshop PSD", "PSD", true, true, 0);
  AddBuiltIn(qxffVect, "Vectorial objects", "QXV", true, true, 0);
  AddBuiltIn(qxffLayers, "Layers", "LYR", true, true, 0);
  AddBuiltIn(qxffLayersAndObjects, "Layers and objects", "ALL", true, true, 0);
  if (QxCodecServices.WicAvailable && QxCodecServices.WicAvailable())
    AddBuiltIn(qxffHDP, "Microsoft HD Photo", "WDP;HDP", true, true, 0);
}
}  // namespace

void QxFreeFileFormats() { Registry().clear(); }

int32_t QxRegisterFileFormat(std::unique_ptr<TQxFileFormatInfo> Entry) {
  Registry().push_back(std::move(Entry));
  return static_cast<int32_t>(Registry().size()) - 1;
}

void QxUnregisterFileFormat(TQxFileFormatId FormatId) {
  auto& r = Registry();
  auto it = std::find_if(r.begin(), r.end(), [&](const auto& e) { return e->FormatId == FormatId; });
  if (it != r.end()) r.erase(it);
}

int32_t QxFileFormatCount() { return static_cast<int32_t>(Registry().size()); }

TQxFileFormatInfo* QxFileFormatAt(int32_t Index) {
  if (Index < 0 || Index >= QxFileFormatCount()) return nullptr;
  return Registry()[static_cast<size_t>(Index)].get();
}

TQxFileFormatInfo* QxFileFormatByType(TQxFileFormatId FormatId) {
  for (auto& e : Registry())
    if (e->FormatId == FormatId) return e.get();
  return nullptr;
}

std::string QxFileFormatExtension(TQxFileFormatId FormatId, int32_t Index) {
  TQxFileFormatInfo* e = QxFileFormatByType(FormatId);
  if (!e || Index < 0) return {};
  auto list = SplitExtensions(e->ExtensionList);
  return Index < static_cast<int32_t>(list.size()) ? list[static_cast<size_t>(Index)] : std::string();
}

int32_t QxFileFormatExtensionCount(TQxFileFormatId FormatId) {
  TQxFileFormatInfo* e = QxFileFormatByType(FormatId);
  return e ? static_cast<int32_t>(SplitExtensions(e->ExtensionList).size()) : 0;
}

TQxFileFormatInfo* QxFileFormatByExtension(const std::string& Extension) {
  std::string ext = Lower(Extension);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  if (ext.empty()) return nullptr;
  for (auto& e : Registry())
    for (const auto& x : SplitExtensions(e->ExtensionList))
      if (Lower(x) == ext) return e.get();
  return nullptr;
}

void QxUpdateGifFormatCapability() {
  if (TQxFileFormatInfo* e = QxFileFormatByType(qxffGIF)) {
    e->ReadRoutine = QxGifLzwDecodeHook ? &QxStubReadFormat : nullptr;
    e->WriteRoutine = QxGifLzwEncodeHook ? &QxStubWriteFormat : nullptr;
  }
}

bool IsAviStream(TStream& Stream) {
  int64_t p = Stream.Position();
  uint8_t b[12];
  bool ok = false;
  try {
    ok = ReadExact(Stream, b, 12) && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "AVI ", 4) == 0;
  } catch (...) {
    ok = false;
  }
  Stream.SetPosition(p);
  return ok;
}

TQxFileFormatId QxFindStreamFormat(TStream& Stream) {
  int64_t P = 0;
  try {
    P = Stream.Position();
  } catch (...) {
    return 0;
  }
  TQxFileFormatId result = 0;
  auto& pr = QxCodecServices;
  try {
    const int64_t S = Stream.Size();
    uint8_t b[16];
    auto head = [&](int64_t n) {
      Stream.SetPosition(P);
      bool ok = ReadExact(Stream, b, n);
      Stream.SetPosition(P);
      return ok;
    };
    if (S > 12 && head(12) && CutAtZero(b, 5) == "JFIF")
      result = qxffJPEG;
    else if (S > 13 && head(3) && std::memcmp(b, "GIF", 3) == 0)
      result = qxffGIF;
    else if (S > 12 && head(5) && CutAtZero(b, 5) == "PCX2")
      result = qxffPCX;
    else if (S > 4 && head(4) && CutAtZero(b, 4) == "PCX")
      result = qxffPCX;
    else if (S > 14 && head(2) && b[0] == 0x42 && b[1] == 0x4D)
      result = qxffBMP;
    else if (S > 128 && head(2) && b[0] == 0x0A && b[1] <= 5)
      result = qxffPCX;
    else if (S > 12 && head(5) && CutAtZero(b, 5) == "TIFF")
      result = qxffTIFF;
    else if (Probe(pr.IsHDPStream, Stream))
      result = qxffHDP;
    else if (Probe(pr.IsTiffStream, Stream) && !Probe(pr.IsTiffRawStream, Stream))
      result = qxffTIFF;
    else if (S > 8 && IsPngStream(Stream))
      result = qxffPNG;
    else if (Probe(pr.IsDicomStream, Stream))
      result = qxffDICOM;
    else if (IsIcoStream(Stream))
      result = qxffICO;
    else if (IsCurStream(Stream))
      result = qxffCUR;
    else if (Probe(pr.IsTgaStream, Stream))
      result = qxffTGA;
    else if (IsPxmStream(Stream))
      result = qxffPXM;
    else if (Probe(pr.IsJP2Stream, Stream))
      result = qxffJP2;
    else if (Probe(pr.IsJ2KStream, Stream))
      result = qxffJ2K;
    else if (IsAviStream(Stream))
      result = qxffAVI;
    else if (Probe(pr.IsDcxStream, Stream))
      result = qxffDCX;
    else if (IsWmfStream(Stream))
      result = qxffWMF;
    else if (IsEmfStream(Stream))
      result = qxffEMF;
    else if (Probe(pr.IsPsdStream, Stream))
      result = qxffPSD;
    else if (Probe(pr.IsVectObjectsStream, Stream))
      result = qxffVect;
    else if (Probe(pr.QxIsLayersStream, Stream))
      result = qxffLayers;
    else if (Probe(pr.IsVectAllStream, Stream))
      result = qxffLayersAndObjects;
    else if ((Stream.SetPosition(P), JpegFindSOI(&Stream, true) >= 0))
      result = qxffJPEG;
    if (result == 0) {
      for (int32_t i = 0; i < QxFileFormatCount() && result == 0; ++i) {
        TQxFileFormatInfo* e = QxFileFormatAt(i);
        if (!e->ProbeRoutine) continue;
        Stream.SetPosition(P);
        if (e->ProbeRoutine(Stream, e->FormatId)) result = e->FormatId;
      }
      Stream.SetPosition(P);
      if (result == 0 && Probe(pr.IsCameraRawStream, Stream)) result = qxffRAW;
    }
  } catch (...) {
    result = 0;
  }
  try {
    Stream.SetPosition(P);
  } catch (...) {
  }
  return result;
}

TQxFileFormatId QxFindFileFormat(const std::string& FileName, bool CheckExtension) {
  if (FileName.empty() || !QxFileExistsW(FileName)) return 0;
  TQxFileFormatId result = 0;
  try {
    TQxWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    result = QxFindStreamFormat(f);
  } catch (...) {
    result = 0;
  }
  TQxFileFormatInfo* entry = QxFileFormatByExtension(QxLowerFileExtW(FileName, true));
  if (entry && entry->FormatId == qxffRAW && result == qxffTIFF) result = qxffRAW;
  if (entry && !entry->IsBuiltIn) return entry->FormatId;
  if (CheckExtension && result != 0) {
    if (!entry)
      result = 0;
    else if (result == qxffICO || result == qxffCUR)
      result = entry->FormatId;
    else if (entry->FormatId != result)
      result = 0;
  }
  return result;
}
