#pragma once
// TIFF files: reading a page (or only its parameters, or counting pages), writing a page as a new file or
// inserted into an existing one, and the probes that format detection and the camera-raw and HD Photo
// codecs use. EXIF blocks of JPEG and camera-raw files are TIFF structures too and come through here.

#include <cstdint>
#include <string>

class TStream;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;
struct TQxProgressInfo;

// Reads page Params.TiffImageIndex (or its SubIFD Params.TiffSubImageIndex) into Bitmap. Bad data sets the
// abort flag of Progress; a page past the end only sets PageCount. With BaseAtPosition the file's offsets
// count from the stream position at the call. A non-null AlphaMask afterwards holds the page's alpha
// channel (8 bits, 255 opaque); the caller frees it. ExifThumbnail reads the small thumbnail page of an
// EXIF block.
void ReadTiffStream(TQxBitmap* Bitmap, TStream* Stream, int32_t& PageCount, TIOParamsVals& Params,
                    TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& AlphaMask, bool BaseAtPosition,
                    bool IgnoreAlpha, bool ExifThumbnail);

// Writes one page: a new little-endian file at the stream position, or (InsertMode) a page inserted into
// the TIFF the stream holds, before page Params.TiffImageIndex (appended when past the end or negative).
// Bitmap nullptr writes a directory of tags only. Returns the pages of the file afterwards, 0 when insert
// mode refuses the stream. Params' BitsPerSample, SamplesPerPixel, TiffPhotometric and TiffCompression are
// rewritten to describe what was written.
int32_t WriteTiffStream(TStream* Stream, int32_t InsertMode, TQxBitmap* Bitmap, TIOParamsVals& Params,
                        TQxProgressInfo& Progress);

// Pages of the TIFF at the stream position.
int32_t TiffPageCount(TStream* Stream);

// Probes; each restores the stream position.
bool IsTiffStream(TStream* Stream);
bool IsTiffRawStream(TStream* Stream);  // TIFF-based camera raw or DNG
bool IsHDPStream(TStream* Stream);
// Copies the descriptive, EXIF and GPS tags of Params into page PageIndex of the TIFF-structured file read from
// InStream (from its position) or from InFileName, and writes the whole file to OutStream (at InStream's
// position when it is the same stream) or to OutFileName.
bool CopyTiffExifTags(TStream* InStream, TStream* OutStream, const std::string& InFileName,
                      const std::string& OutFileName, int32_t PageIndex, TIOParamsVals& Params);

// PackBits coding of one row of Count bytes; returns the bytes written to Dest (at most Count + Count / 128 + 1).
int32_t TiffPackBitsEncode(const uint8_t* Row, int32_t Count, uint8_t* Dest);
