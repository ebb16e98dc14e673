#pragma once
// Row kernels of pixel-format conversion and drawing: 24-bit rows to gray and to ordered black and white,
// and rows blended over others by a weight per pixel. Vector code where the processor has it; each
// equals its plain reference (…Plain) byte for byte.

#include <cstddef>
#include <cstdint>

// The weight a pixel of weight A (0 .. 255) mixes in, out of 256: 255, fully opaque, replaces what lies
// below instead of leaving 1/256 of it.
constexpr int32_t QxBlendWeight(int32_t A) { return A + ((A + 1) >> 8); }

// w blue-green-red pixels to gray: (R * wr + G * wg + B * wb) div 100 with the library's gray weights.
void QxRow24To8(const uint8_t* s, uint8_t* d, int32_t w);
void QxRow24To8Plain(const uint8_t* s, uint8_t* d, int32_t w);
// Ordered dither of one 24-bit row y to 1 bit a pixel, through gray (w bytes of scratch): bit x is set
// when QxDitherMatrix[x mod 8][y mod 8] < gray div 4.
void QxRow24To1Ordered(const uint8_t* s, uint8_t* d, int32_t w, int32_t y, uint8_t* gray);

// d += (s - d) * QxBlendWeight(a) >> 8 for N bytes, each with its own a; the shift floors.
void QxBlendBytes(uint8_t* d, const uint8_t* s, const uint8_t* a, size_t N);
// N 3-byte source pixels blended over d, each weighted min(T, a[x]), or T alone without a.
void QxBlendRow24(uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T, int32_t N);
void QxBlendRow24Plain(uint8_t* d, const uint8_t* s, const uint8_t* a, int32_t T, int32_t N);
