#pragma once
// JPEG 2000 pictures, both as JP2 files and as bare code streams. The coding itself happens in the
// library behind jpeg2000_lib.h; this unit turns its components into a TQxBitmap and back.

#include <cstdint>
#include <string>

class TStream;
class TQxBitmap;
class TIOParamsVals;
struct TQxProgressInfo;

// Writer format codes.
constexpr int32_t QxJ2kFormatJP2 = 0;
constexpr int32_t QxJ2kFormatJPC = 1;

// The JP2 signature box at the stream's position; the position is restored.
bool IsJP2Stream(TStream* Stream);
// SOC followed by SIZ at the stream's position; the position is restored.
bool IsJ2KStream(TStream* Stream);

// Decodes the picture at the stream's position. Anything that cannot be decoded sets Progress's abort
// flag and leaves Bitmap alone; nothing is raised.
void ReadJpeg2000Stream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                        bool ParamsOnly);
// Encodes a qx24RGB or qx1g bitmap at the stream's position as a JP2 file (FormatCode 0) or a code stream
// (1). A qx1g bitmap sets Params.BitsPerSample to 1 and Params.J2000ColorSpace to 0. An encoding that
// fails writes nothing and sets the abort flag.
void WriteJpeg2000Stream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                         int32_t FormatCode);

// The encoder's option text for Params: "rate=<J2000Rate> prg=lrcp|rlcp".
std::string QxJ2kOptionsText(const TIOParamsVals& Params);

// YCbCr to RGB offsets indexed by the chroma byte.
extern int32_t QxJ2kCrToR[256];
extern int32_t QxJ2kCbToB[256];
extern int32_t QxJ2kCrToG[256];
extern int32_t QxJ2kCbToG[256];
void QxJ2kInitYCbCrTables();

void Jpeg2000Init();
void Jpeg2000Final();

// Fills the JPEG 2000 entries of QxCodecServices and the start step; builds the tables at once so that
// a caller that never runs the start-up still reads YCbCr pictures right.
void QxRegisterJpeg2000Codec();
