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

// TQxFileFormatId and the ids of the built-in formats are in imaging/foundation/types.h.

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

