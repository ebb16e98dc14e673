#pragma once
// LZW coders of GIF (whole image per call, on the stream) and TIFF (state kept by the caller between calls).
// Codecs reach them only through the hooks of the I/O unit and the copies in TIOParamsVals; the typed
// accessors below pick the parameter object's coder first and the global hook when that is empty.

#include <cstdint>

class TStream;
class TIOParamsVals;

// Decodes one GIF image from the minimum-code-size byte into Buffer (Width x Height indexes, row by row).
// Success leaves the stream after the image's block terminator; failure leaves it where it was.
using TQxGifLzwDecodeProc = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                     uint8_t* Buffer);
// Writes the minimum-code-size byte, the data sub-blocks and the zero-length terminator.
using TQxGifLzwEncodeProc = void (*)(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced,
                                     const uint8_t* Buffer, int32_t BitsPerPixel);
// Hands out the next RowBytes bytes of a strip of DataLen bytes (nullptr on failure). State starts empty;
// a call with Data nullptr frees it and sets it to nullptr.
using TQxTiffLzwDecodeProc = uint8_t* (*)(const uint8_t* Data, int32_t RowBytes, void*& State, int32_t FillOrder,
                                          int64_t DataLen);
// Compresses Count bytes onto Stream; State starts empty; a call with Data nullptr ends the strip, frees the
// state and sets it to nullptr.
using TQxTiffLzwEncodeProc = void (*)(const uint8_t* Data, int32_t Count, TStream* Stream, void*& State);

void GifLzwDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer);
void GifLzwEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Buffer,
                  int32_t BitsPerPixel);
uint8_t* TiffLzwDecode(const uint8_t* Data, int32_t RowBytes, void*& State, int32_t FillOrder, int64_t DataLen);
void TiffLzwEncode(const uint8_t* Data, int32_t Count, TStream* Stream, void*& State);

// The coder a codec uses for Params: its own field, else the global hook, else nullptr.
TQxGifLzwDecodeProc QxGifLzwDecoder(const TIOParamsVals& Params);
TQxGifLzwEncodeProc QxGifLzwEncoder(const TIOParamsVals& Params);
TQxTiffLzwDecodeProc QxTiffLzwDecoder(const TIOParamsVals& Params);
TQxTiffLzwEncodeProc QxTiffLzwEncoder(const TIOParamsVals& Params);
