#pragma once
// The process-wide registry of file formats, and detection of a format by content.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;

using TQxFileFormatId = int32_t;

inline constexpr TQxFileFormatId qxffTIFF = 1;
inline constexpr TQxFileFormatId qxffGIF = 2;
inline constexpr TQxFileFormatId qxffJPEG = 3;
inline constexpr TQxFileFormatId qxffPCX = 4;
inline constexpr TQxFileFormatId qxffBMP = 5;
inline constexpr TQxFileFormatId qxffICO = 6;
inline constexpr TQxFileFormatId qxffCUR = 7;
inline constexpr TQxFileFormatId qxffPNG = 8;
inline constexpr TQxFileFormatId qxffWMF = 9;
inline constexpr TQxFileFormatId qxffEMF = 10;
inline constexpr TQxFileFormatId qxffTGA = 11;
inline constexpr TQxFileFormatId qxffPXM = 12;
inline constexpr TQxFileFormatId qxffJP2 = 13;
inline constexpr TQxFileFormatId qxffJ2K = 14;
inline constexpr TQxFileFormatId qxffAVI = 15;
inline constexpr TQxFileFormatId qxffWBMP = 16;
inline constexpr TQxFileFormatId qxffPS = 17;
inline constexpr TQxFileFormatId qxffPDF = 18;
inline constexpr TQxFileFormatId qxffDCX = 19;
inline constexpr TQxFileFormatId qxffRAW = 20;
inline constexpr TQxFileFormatId qxffRawBitmap = 21;
inline constexpr TQxFileFormatId qxffPSD = 24;
inline constexpr TQxFileFormatId qxffVect = 25;
inline constexpr TQxFileFormatId qxffLayers = 26;
inline constexpr TQxFileFormatId qxffLayersAndObjects = 27;
inline constexpr TQxFileFormatId qxffDICOM = 28;
inline constexpr TQxFileFormatId qxffHDP = 29;

// Routine shapes of formats registered at run time.
using TQxReadRoutine = void (*)(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params,
                                TQxProgressInfo& Progress, bool ParamsOnly);
using TQxWriteRoutine = void (*)(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params,
                                 TQxProgressInfo& Progress);
using TQxProbeRoutine = bool (*)(TStream& Stream, int32_t FormatId);

// Pages of the save-parameters dialog that belong to a format.
using TQxPreviewPages = uint16_t;

class TQxFileFormatInfo {
 public:
  TQxFileFormatId FormatId = 0;
  std::string DisplayName;
  std::string ExtensionList;  // upper case, no dots, ";"-separated
  uint8_t IsBuiltIn = 0;
  TQxPreviewPages PreviewPages = 0;
  TQxReadRoutine ReadRoutine = nullptr;
  TQxWriteRoutine WriteRoutine = nullptr;
  TQxProbeRoutine ProbeRoutine = nullptr;
};

// Capability markers of the built-in entries; the built-in codecs are reached by format id.
void QxStubReadFormat(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                      bool ParamsOnly);
void QxStubWriteFormat(TStream& Stream, TQxBitmap& Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);
bool QxStubTryFormat(TStream& Stream, int32_t FormatId);

void QxInitFileFormats();
void QxFreeFileFormats();
// The registry takes ownership; returns the list index.
int32_t QxRegisterFileFormat(std::unique_ptr<TQxFileFormatInfo> Entry);
void QxUnregisterFileFormat(TQxFileFormatId FormatId);
TQxFileFormatInfo* QxFileFormatByType(TQxFileFormatId FormatId);
std::string QxFileFormatExtension(TQxFileFormatId FormatId, int32_t Index);
int32_t QxFileFormatExtensionCount(TQxFileFormatId FormatId);
TQxFileFormatInfo* QxFileFormatByExtension(const std::string& Extension);
void QxUpdateGifFormatCapability();
int32_t QxFileFormatCount();
TQxFileFormatInfo* QxFileFormatAt(int32_t Index);

// Content detection: the stream position is the same on return as on entry.
TQxFileFormatId QxFindStreamFormat(TStream& Stream);
TQxFileFormatId QxFindFileFormat(const std::string& FileName, bool CheckExtension);
bool IsAviStream(TStream& Stream);

