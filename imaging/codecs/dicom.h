#pragma once
// The DICOM reader (read only): the data set's elements go to TIOParamsVals::DicomTags, the requested frame
// into the bitmap. Native, RLE, lossless JPEG, baseline JPEG and (through QxCodecServices) JPEG 2000 pixel
// data are decoded; gray images are rescaled, windowed and stretched to their full range.

#include <cstdint>

#include "imaging/foundation/types.h"

class TStream;
class TObject;
class TQxBitmap;
class TIOParamsVals;

// Fills ReadDicomStream, DicomFrameCount and IsDicomStream of QxCodecServices.
void QxRegisterDicomCodec();

// True when "DICM" stands 128 bytes after the stream's position; the position is restored.
bool IsDicomStream(TStream* Stream);
// Parses the data set at the stream's position into Params (appending to its DicomTags) and, unless
// ParamsOnly or Bitmap is nullptr, decodes frame Params.ImageIndex (clamped to the last frame) into Bitmap.
// A file it cannot decode sets the progress record's abort flag; nothing is thrown.
void ReadDicomStream(TStream* Stream, TIOParamsVals& Params, TQxBitmap* Bitmap, TQxProgressInfo& Progress,
                     bool ParamsOnly);
// Frames of a DICOM file; 0 when it cannot be opened or parsed.
int32_t DicomFrameCount(const char* FileName);

// The value representation the data dictionary gives a tag: two characters, "xs" when it depends on the
// context or the tag is unknown, "!!" for the item and delimitation tags.
const char* QxDicomDictionaryVR(uint16_t Group, uint16_t Element);
// Entries of the dictionary, in order (tests check the order that the bisection relies on).
int32_t QxDicomDictionaryCount();
void QxDicomDictionaryEntry(int32_t Index, uint16_t& Group, uint16_t& Element, const char*& VR);

// ---- decoders of encapsulated pixel data --------------------------------------------------------

// Decodes the lossless JPEG stream of Length bytes at the stream's position into Out8 (precision 8) or
// Out16 (other precisions): Components samples per pixel, interleaved, row after row, top row first. The
// frame must be Width x Height with Components components (8-bit precision for bytes); anything else, bad
// markers, tables or scans give false.
bool QxDicomLosslessJpeg(TStream* Stream, uint16_t* Out16, uint8_t* Out8, int64_t Length, int32_t Width,
                         int32_t Height, int32_t Components, const TQxProgressEvent& OnProgress, TObject* Sender);

// Decodes one PackBits segment from the stream's position into Count bytes of Out, stopping early at the
// end of the stream (the rest of Out is left as it was). Returns the bytes read from the stream.
int64_t QxDicomUnpackRLE(TStream* Stream, uint8_t* Out, int64_t Count);
