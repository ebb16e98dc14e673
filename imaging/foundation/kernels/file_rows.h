#pragma once
// Row kernels that make rows as files store them and look over alpha rows at the speed of memory. Vector
// code where the processor has it; each equals its plain reference (…Plain) byte for byte.

#include <cstdint>

// The smallest and largest of N bytes (255 and 0 for no bytes): all opaque when the smallest is 255, all
// clear when the largest is 0.
void QxRowRange(const uint8_t* A, int32_t N, uint8_t& Min, uint8_t& Max);
void QxRowRangePlain(const uint8_t* A, int32_t N, uint8_t& Min, uint8_t& Max);

// N blue-green-red pixels with their alpha bytes to red, green, blue, alpha, four bytes a pixel.
void QxBgrAlphaToRgba(const uint8_t* Bgr, const uint8_t* A, uint8_t* Rgba, int32_t N);
void QxBgrAlphaToRgbaPlain(const uint8_t* Bgr, const uint8_t* A, uint8_t* Rgba, int32_t N);
