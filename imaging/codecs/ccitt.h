#pragma once
// Fax coding of bilevel rows: Modified Huffman, T.4 one- and two-dimensional, T.6.
//
// Rows are packed 8 pixels per byte, first pixel in the most significant bit. Decoders deliver
// 1 = white, 0 = black; encoders take 0 = white, 1 = black. FillOrder is the TIFF value: decoders read
// least significant bit first unless it is 1, encoders write least significant bit first only when it is 2.
//
// Decoders never fail: unknown codes are skipped, runs are cut at the row's end and the end of the data
// ends the row. They read at most DataLen bytes. Dest and RefRow hold at least (Width + 7) / 8 bytes.
#include <atomic>
#include <cstdint>

class TStream;

// Decode trees, built once at library start-up and freed at its end. Decoders build them on first use
// when the start-up has not run.
void CCITTInitTables();
void CCITTFreeTables();

// One Modified Huffman row from bit 0 of Data; returns the bytes used (a last partial byte counts as one,
// never more than DataLen). The next row starts that many bytes further on.
int32_t CCITTDecodeMH(uint8_t* Dest, const uint8_t* Data, int64_t DataLen, int32_t Width, int32_t FillOrder);

// One one-dimensional row starting at bit BitPos; returns the bit position after it.
int64_t CCITTDecode1D(uint8_t* Dest, const uint8_t* Data, int64_t DataLen, int32_t Width, int64_t BitPos,
                      int32_t FillOrder);

// One two-dimensional row against RefRow (decoder convention; white before a page's first row), or a
// one-dimensional one when the row begins with an EOL and tag bit 1. RefRow receives the decoded row.
// EolFill: twelve or more zero bits and a one bit are an EOL with fill. Returns the bit position after
// the row (at an EOL met inside the row, the EOL's start).
int64_t CCITTDecode2D(uint8_t* Dest, const uint8_t* Data, int64_t DataLen, int32_t Width, uint8_t* RefRow,
                      int64_t BitPos, int32_t FillOrder, bool EolFill);

// Encoders read (Width + 7) / 8 bytes of Data. A short write sets Aborting.
//
// PendingByte/PendingBits carry the bits (0 to 7, already in output bit order, unused bits zero) of a
// last incomplete byte from call to call. RefRow is the encoder's own copy of the previous row: nullptr
// before the first row, freed and nullptr again after the call with Data nullptr. A caller that stops
// early releases it with CCITTFreeRefRow.

// One Modified Huffman row, ending on a byte boundary.
void CCITTEncodeMH(const uint8_t* Data, int32_t Width, TStream* Stream, std::atomic<bool>& Aborting,
                   int32_t FillOrder);
// One T.4 one-dimensional row behind an EOL, after the carried bits; its last partial byte goes to the carry.
void CCITTEncodeMHRow(const uint8_t* Data, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                      int32_t& PendingBits, std::atomic<bool>& Aborting, int32_t FillOrder);
// One T.4 two-dimensional row per call (the first one-dimensional), each behind an EOL and tag bit;
// Data nullptr writes the closing EOL. The carried bits stay for the caller to write.
void CCITTEncodeG3_2D(const uint8_t* Data, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                      int32_t& PendingBits, void*& RefRow, std::atomic<bool>& Aborting, int32_t FillOrder);
// One T.6 row per call; Data nullptr writes the end-of-block and pads to a byte boundary (carry empty).
void CCITTEncodeG4(const uint8_t* Data, int32_t Width, TStream* Stream, uint8_t& PendingByte,
                   int32_t& PendingBits, void*& RefRow, std::atomic<bool>& Aborting, int32_t FillOrder);

// Frees an encoder's reference row and sets it to nullptr (nothing when it is nullptr).
void CCITTFreeRefRow(void*& RefRow);

// Fills the CCITT entries of QxCodecServices and the qxsCCITT start step (in codecs.h as well).
void QxRegisterCCITTCoders();
