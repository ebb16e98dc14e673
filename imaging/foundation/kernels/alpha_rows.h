#pragma once
// Alpha row kernels (lowering by a cut, blending onto a colour), in vector code where the processor has
// it; every one gives exactly what its plain loop gives.

#include <cstddef>
#include <cstdint>

// Out = In less Cut, not below 0 (In and Out may be one row). Returns the AND of the values written: 255
// only when every one stayed opaque.
uint8_t QxLowerRow(const uint8_t* In, uint8_t* Out, int32_t W, uint8_t Cut);
// The same with a cut per column.
uint8_t QxLowerRowByColumn(const uint8_t* In, uint8_t* Out, int32_t W, const uint8_t* Cut);
uint8_t QxAndOfRow(const uint8_t* In, int32_t W);
// Blends W blue-green-red pixels onto the background (Bg: blue, green, red) by their alpha in place:
// bg + floor((p - bg) * a / 256) per channel.
void QxBlendRowOntoColor(uint8_t* P, const uint8_t* A, int32_t W, const uint8_t Bg[3]);
// D = (F * A + T * B) >> 10 byte by byte, with A + B = 1024: one picture mixed into another.
void QxMixRows(uint8_t* D, const uint8_t* F, const uint8_t* T, size_t N, uint32_t A, uint32_t B);
