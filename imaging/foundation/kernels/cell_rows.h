#pragma once
// Row kernels of the camera-raw loader's cells: four 16-bit values a pixel, red, green and blue in the
// first three. Vector code where the processor has it; each equals its plain reference (…Plain) exactly.

#include <cstdint>

// The luminance of N cells into their fourth value, min(sqrt(r² + g² + b²) / 2, 65535) truncated, each
// counted in Histogram (8192 bins of 8 levels).
void QxCellLumaRow(uint16_t (*Cells)[4], int32_t N, int32_t* Histogram);
void QxCellLumaRowPlain(uint16_t (*Cells)[4], int32_t N, int32_t* Histogram);
