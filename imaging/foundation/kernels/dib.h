// Moving pixels between TQxBitmap and other layouts (packed DIBs, YUV video frames, platform bitmaps),
// and the bit, row and byte routines that flips, 1-bit conversions, the mask and several codecs share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/foundation/types.h"

class TQxBitmap;
class TQxDibbitmap;
class TBitmap;
class TQxQuantizer;

// ---- packed DIBs ----
// A packed DIB (40-byte header, colour table, bottom-up rows) of the rectangle X1..X2-1, Y1..Y2-1
// (X2 = 0: the width, Y2 = 0: the height). Empty when it cannot be built.
std::vector<uint8_t> _CopyBitmaptoDIBEx(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                        int32_t DpiX, int32_t DpiY);
// Reads a packed DIB of Length bytes into Bitmap (qx1g for 1 bit, qx24RGB otherwise). Bits, when given,
// holds the pixel data (BitsLength bytes) instead of the bytes after the colour table. Returns the bit
// count, 0 when the DIB is missing or malformed (the bitmap is then left as it was).
int32_t QxCopyDIBToBitmap(const uint8_t* DIB, size_t Length, TQxBitmap* Bitmap, const uint8_t* Bits = nullptr,
                          size_t BitsLength = 0);

// The same into a DIB-section bitmap (1 bit for a 1-bit DIB, else 24 bits); returns the bit count.
int32_t QxCopyDIBToDibbitmap(const uint8_t* DIB, size_t Length, TQxDibbitmap* Dest, const uint8_t* Bits = nullptr,
                             size_t BitsLength = 0);

// ---- YUV video frames into an already sized qx24RGB bitmap; Length bytes of Data ----
void QxYUVToBGR(uint8_t Y, uint8_t U, uint8_t V, uint8_t* Dest);
void QxConvertI420(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertYV12(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertYVU9(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertYUY2(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertUYVY(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertYVYU(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertY211(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertY41P(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertIYU1(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertIYU2(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);
void QxConvertCLJR(const uint8_t* Data, size_t Length, TQxBitmap* Bitmap, bool TopDown);

// ---- platform bitmaps ----
std::unique_ptr<TBitmap> QxCloneVclBitmap(TBitmap* Source);
void QxCopyVclBitmap(TBitmap* Source, TBitmap* Dest);
void QxExpandVclBitmap1To24(TBitmap* Source, TBitmap* Dest, const TQxProgressInfo& Progress);

// ---- bits and rows (bit 0 is the most significant bit of byte 0) ----
void QxCopyBits(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t SourceBytes, int32_t BitCount,
                int32_t SourceBit);
void QxCopyBitsEach(uint8_t* Dest, const uint8_t* Source, int32_t DestBit, int32_t BitCount, int32_t SourceBit);
inline int32_t QxGetRowBit(const uint8_t* Row, int32_t N) { return Row[N >> 3] & (0x80 >> (N & 7)); }
inline void QxSetRowBit(uint8_t* Row, int32_t N, int32_t Value) {
  if (Value)
    Row[N >> 3] = uint8_t(Row[N >> 3] | (0x80 >> (N & 7)));
  else
    Row[N >> 3] = uint8_t(Row[N >> 3] & ~(0x80 >> (N & 7)));
}
void QxInvertBytes(uint8_t* Buffer, int32_t Count);
void QxInvertRows(TQxBitmap* Bitmap);
// 24 bytes per source byte: white for a set bit, black for a clear one.
void QxExpandBitRow(const uint8_t* Source, uint8_t* Dest, int32_t Count);
void QxCopySwapRB(uint8_t* Dest, const uint8_t* Source, int32_t Count);
void QxSwapRB(uint8_t* Pixels, int32_t Count);
void QxSwapRBRow(uint8_t* Row, int32_t Ignored, int32_t Count);
void QxSwapRB48(uint16_t* Pixels, int32_t Count);
int32_t QxQuantizeRow(const uint8_t* Source, uint8_t* Dest, int32_t SourceBits, TQxQuantizer* Quantizer,
                      const TQxRGB* Palette, int32_t Count, int32_t DestBits);
bool QxBitmapsEqual(TQxBitmap* A, TQxBitmap* B);
