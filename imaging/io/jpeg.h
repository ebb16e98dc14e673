#pragma once
// The JPEG codec: decoding into a TQxBitmap and a TIOParamsVals, encoding a bitmap, and keeping the file's
// marker segments (EXIF, IPTC, XMP, ICC) through a load and save.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/foundation/types.h"
#include "platform/base/exceptions.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;

struct jpeg_decompress_struct;
struct jpeg_compress_struct;

QV_EXCEPTION_CLASS(EQxJpegException, Exception)

// Decodes from the stream's position. Bad data sets the progress record's abort flag; returns the rows
// delivered (0 with ParamsOnly). TablesStream (may be nullptr or Stream) holds abbreviated tables read first;
// an error in it raises EQxJpegException.
int32_t ReadJpegStream(TStream* Stream, TStream* TablesStream, TQxBitmap* Bitmap, TIOParamsVals& Params,
                       TQxProgressInfo& Progress, bool ParamsOnly, bool KeepYCbCr, bool ReadMetadata,
                       bool ComplementCMYK, bool DropAppliedProfile, bool ReadICC, int32_t MaxLines,
                       bool NativeFormat);
// Encodes the whole bitmap with Params' JPEG settings and markers; an empty bitmap sets the abort flag,
// library errors raise EQxJpegException, short writes set the abort flag.
void WriteJpegStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress);

// Position of the start-of-image sequence (within 150 bytes with Scan), -1 when none; position restored.
int64_t JpegFindSOI(TStream* Stream, bool Scan);
// Bytes from the position through the end-of-image marker; position restored.
int32_t JpegStreamLength(TStream* Stream);
// Joins the ICC profile chunks of the APP2 segments into Params' input profile; position restored.
void ReadJpegICCProfile(TStream* Stream, TIOParamsVals& Params);

// The marker work of a JPEG save before WriteJpegStream: the Photoshop resolution resource, then the IPTC,
// EXIF and XMP markers rebuilt from Params. A block too long for a marker leaves the file's own marker.
void QxPrepareJpegMarkers(TIOParamsVals& Params);

// The text of a JPEG library message code ("Corrupted" for an unknown one).
std::string QxJpegMessageText(int32_t Code);

// Stream managers: 64 KB buffers over a TStream; the abort flag (may be nullptr) is set when the stream
// is empty at the first read or takes fewer bytes than written.
void JpegSetStreamSourceManager(jpeg_decompress_struct* Decompressor, TStream* Stream, std::atomic<bool>* Aborting);
void JpegFreeStreamSource(jpeg_decompress_struct* Decompressor);
void JpegSetStreamDest(jpeg_compress_struct* Compressor, TStream* Stream, std::atomic<bool>* Aborting);
void JpegFreeStreamDest(jpeg_compress_struct* Compressor);

// A thin decoder interface for callers that drive the decompressor themselves. Create the error manager
// before the decompressor and free everything in reverse order. A library error inside any of these
// raises EQxJpegException.
struct TQxJpegErrorManager;
using TQxJpegFillRoutine = int (*)(jpeg_decompress_struct* Decompressor);
jpeg_decompress_struct* JpegAllocDecompress();
void JpegFreeDecompress(jpeg_decompress_struct* Context);
TQxJpegErrorManager* JpegCreateErrorManager(jpeg_decompress_struct* Context);
void JpegFreeErrorManager(TQxJpegErrorManager* Manager);
void JpegCreateDecompress(jpeg_decompress_struct* Context);
void JpegDestroyDecompress(jpeg_decompress_struct* Context);
void JpegSetStreamSource(jpeg_decompress_struct* Context, TStream* Source);
void JpegSetFillRoutine(jpeg_decompress_struct* Context, TQxJpegFillRoutine Routine);
void JpegSetSourceBuffer(jpeg_decompress_struct* Context, const uint8_t* Data, size_t Length);
int32_t JpegReadHeader(jpeg_decompress_struct* Context, bool ImageRequired);
bool JpegStartDecompress(jpeg_decompress_struct* Context);
int32_t JpegOutputWidth(jpeg_decompress_struct* Context);
int32_t JpegOutputHeight(jpeg_decompress_struct* Context);
int32_t JpegOutputComponents(jpeg_decompress_struct* Context);
int32_t JpegOutputScanline(jpeg_decompress_struct* Context);
uint8_t** JpegAllocSampleRows(jpeg_decompress_struct* Context, int32_t Pool, uint32_t RowLength, uint32_t Rows);
uint32_t JpegReadScanlines(jpeg_decompress_struct* Context, uint8_t** Rows, uint32_t Count);
bool JpegFinishDecompress(jpeg_decompress_struct* Context);
