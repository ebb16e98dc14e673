#pragma once
// Hook points through which the higher subsystems plug into the foundation: the start and end steps
// of the library start-up, the further codecs, the vector objects, the layers file and the message
// tables. Until a subsystem fills its hooks, the defaults do nothing or report "not available"
// (probes answer false, readers and writers set the abort flag, counts are 0).
#include <atomic>
#include <cstdint>

class TStream;
class TList;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;
struct TQxProgressInfo;

// ---- start-up steps, in the order QxStaticInit runs them ---------------------------------------
enum class TQxStartStep : uint8_t {
  qxsGdiPlus = 0,      // canvas-wrapper defaults
  qxsGrayWeights,      // gray weights 21/71/8
  qxsUtils,            // QxUtilsInit
  qxsJpeg2000,         // Jpeg2000Init / Jpeg2000Final
  qxsVect,             // QxVectInit / QxVectFinal
  qxsIO,               // QxIOInitialize / QxIOFinalize
  qxsProc,             // QxProcInit / QxProcFinal
  qxsView,             // QxViewInit / QxViewFinal
  qxsCCITT,            // CCITTInitTables / CCITTFreeTables
  qxsTextControl,      // QxTextControlInit / QxTextControlFinal
  qxsPresetImages,     // PresetImagesInit / PresetImagesFree
};
constexpr int QxStartStepCount = 11;

using TQxStepProc = void (*)();

// Fills the start and end routine of a step (either may be nullptr); a later call replaces an earlier
// one. The foundation's own steps (canvas defaults, gray weights, utilities, preset images) are built in;
// registering for them adds a routine that runs right after the built-in start (and before the built-in
// end). Register before QxStaticInit.
void QxRegisterStartStep(TQxStartStep Step, TQxStepProc Init, TQxStepProc Final);
// Removes every registration (tests).
void QxClearStartSteps();

// Routines the utilities step calls when present.
struct TQxUtilsHooks {
  TQxStepProc FillMessageTables = nullptr;   // QxFillMessageTables (message tables)
  TQxStepProc InitCosineTable = nullptr;     // runs after the built-in cosine table
  TQxStepProc FreeColorManagement = nullptr; // releases the colour-management library
};
extern TQxUtilsHooks QxUtilsHooks;

// ---- further codecs ------------------------------------------------------------------------------
struct TQxCodecServices {
  // Readers and writers (argument orders as declared by the codecs).
  void (*ReadTiffStream)(TQxBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals& Params,
                         TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& Mask, bool FromPosition,
                         bool Flag, bool ThumbnailMode) = nullptr;
  int32_t (*WriteTiffStream)(TStream* Stream, int32_t PageIndex, TQxBitmap* Bitmap, TIOParamsVals& Params,
                             TQxProgressInfo& Progress) = nullptr;
  int32_t (*TiffPageCount)(TStream* Stream) = nullptr;
  void (*ReadGifStream)(TStream* Stream, TQxBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                        TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& Mask, bool Flag) = nullptr;
  void (*WriteGifStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                         TQxProgressInfo& Progress) = nullptr;
  int32_t (*GifRemoveFrame)(const char* FileName, int32_t Index, bool Save) = nullptr;
  void (*ReadPcxStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, int64_t DataSize,
                        TQxProgressInfo& Progress, bool ParamsOnly) = nullptr;
  void (*WritePcxStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                         TQxProgressInfo& Progress) = nullptr;
  void (*ReadDcxStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                        bool ParamsOnly) = nullptr;
  void (*InsertDcxPage)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                        TQxProgressInfo& Progress) = nullptr;
  int32_t (*DcxPageCount)(TStream* Stream) = nullptr;
  void (*ReadTgaStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                        bool ParamsOnly, TQxMask*& Mask, bool Flag) = nullptr;
  void (*WriteTgaStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                         TQxMask* Mask) = nullptr;
  void (*ReadPsdStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                        bool LoadLayers, TList* Layers) = nullptr;
  void (*WritePsdStream)(TStream* Stream, TIOParamsVals& Params, TQxProgressInfo& Progress, TQxBitmap* Merged,
                         TList* Layers) = nullptr;
  void (*ReadJpeg2000Stream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                             TQxProgressInfo& Progress, bool ParamsOnly) = nullptr;
  void (*WriteJpeg2000Stream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                              TQxProgressInfo& Progress, int32_t Kind) = nullptr;
  void (*ReadHDPStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                        bool ParamsOnly) = nullptr;
  void (*WriteHDPStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                         TQxProgressInfo& Progress) = nullptr;
  int32_t (*HDPFrameCount)(const char* FileName) = nullptr;
  bool (*WicAvailable)() = nullptr;
  void (*ReadCameraRawStream)(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                              TQxProgressInfo& Progress, bool ParamsOnly) = nullptr;
  void (*ReadDicomStream)(TStream* Stream, TIOParamsVals& Params, TQxBitmap* Bitmap, TQxProgressInfo& Progress,
                          bool ParamsOnly) = nullptr;
  int32_t (*DicomFrameCount)(const char* FileName) = nullptr;

  // Probes; each restores the stream position.
  bool (*IsHDPStream)(TStream* Stream) = nullptr;
  bool (*IsTiffStream)(TStream* Stream) = nullptr;
  bool (*IsTiffRawStream)(TStream* Stream) = nullptr;
  bool (*IsDicomStream)(TStream* Stream) = nullptr;
  bool (*IsTgaStream)(TStream* Stream) = nullptr;
  bool (*IsJP2Stream)(TStream* Stream) = nullptr;
  bool (*IsJ2KStream)(TStream* Stream) = nullptr;
  bool (*IsDcxStream)(TStream* Stream) = nullptr;
  bool (*IsPsdStream)(TStream* Stream) = nullptr;
  bool (*IsCameraRawStream)(TStream* Stream) = nullptr;

  // CCITT coders: (Row or nullptr, Width, Stream, FillOrder, Aborting, RefLine, BitCount, PendingByte).
  void (*CCITTEncodeG4)(const void* Row, int32_t Width, TStream* Stream, int32_t FillOrder,
                        std::atomic<bool>& Aborting, void*& RefLine, int32_t& BitCount,
                        uint8_t& PendingByte) = nullptr;
  void (*CCITTEncodeG3_2D)(const void* Row, int32_t Width, TStream* Stream, int32_t FillOrder,
                           std::atomic<bool>& Aborting, void*& RefLine, int32_t& BitCount,
                           uint8_t& PendingByte) = nullptr;

  // The vector-object and layers files (content detection).
  bool (*IsVectObjectsStream)(TStream* Stream) = nullptr;
  bool (*IsVectAllStream)(TStream* Stream) = nullptr;
  bool (*QxIsLayersStream)(TStream* Stream) = nullptr;
};
extern TQxCodecServices QxCodecServices;

// Null-safe callers of the probes and counts: false or 0 while a codec is not available.
bool QxProbe(bool (*Probe)(TStream*), TStream* Stream);
int32_t QxCount(int32_t (*Count)(TStream*), TStream* Stream);
