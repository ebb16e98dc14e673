#pragma once
// Targa images: colour-mapped, true-colour and gray, plain or run-length coded, with the version-2
// extension area.
#include <cstdint>

class TStream;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;
struct TQxProgressInfo;

// True when the 18 bytes at the stream position look like a Targa header; the position is restored.
bool IsTgaStream(TStream* Stream);
// Decodes the image at the stream position into a qx24RGB (qx1g for 1-bit files) bitmap. When the file
// has alpha and SkipAlpha is false, Mask (created when null) receives it as 8 bits; a mask left all zero
// is freed and set to null. A header that cannot be decoded sets the abort flag.
void ReadTgaStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                   bool ParamsOnly, TQxMask*& Mask, bool SkipAlpha);
// Encodes a qx24RGB or qx1g bitmap (other formats write nothing); Mask, when given, makes 32-bit output.
void WriteTgaStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress,
                    TQxMask* Mask);

// Run-length codes one row of Count pixels of PixelBytes bytes (1 or 3) into Dest, packets never
// crossing the row. Dest needs Count * (PixelBytes + 1) bytes. Returns the bytes written.
int32_t TgaEncodeRow(uint8_t* Dest, const uint8_t* Source, int32_t Count, int32_t PixelBytes);

// Days since 30 December 1899 with the time as a fraction, and back; false for a date the calendar lacks.
bool TgaEncodeDateTime(int32_t Year, int32_t Month, int32_t Day, int32_t Hour, int32_t Minute, int32_t Second,
                       double& Result);
void TgaDecodeDateTime(double Value, int32_t& Year, int32_t& Month, int32_t& Day, int32_t& Hour, int32_t& Minute,
                       int32_t& Second);

void QxRegisterTgaCodec();
