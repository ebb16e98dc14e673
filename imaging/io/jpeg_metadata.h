#pragma once
// Moving EXIF and XMP blocks in and out of a parameter object.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/foundation/metadata.h"

class TStream;
class TIOParamsVals;

// The EXIF structure is a small TIFF file, read and written by the TIFF codec through QxCodecServices.
// While no TIFF codec is plugged in, the first image's basic tags (orientation, resolution and its unit) are
// read by a small built-in reader, and a block cannot be rebuilt: JPEG saves then keep the file's own EXIF
// marker, with its orientation tag brought up to date.
bool QxLoadEXIFFromBuffer(const void* Data, int32_t Length, TIOParamsVals& Params);
// False (Buffer empty) when no TIFF writer is plugged in to build the block.
bool QxSaveEXIFToBuffer(TIOParamsVals& Params, std::vector<uint8_t>& Buffer, bool WithHeader);
void QxCopyExif(const TIOParamsVals& Source, TIOParamsVals& Dest);
bool QxLoadEXIFFromTIFFStream(TStream& Stream, TIOParamsVals& Params);
bool QxLoadRawCameraEXIF(TStream& Stream, TIOParamsVals& Params);
bool QxLoadXMPFromBuffer(const void* Data, int32_t Length, TIOParamsVals& Params);
void QxSaveXMPToBuffer(const TIOParamsVals& Params, std::vector<uint8_t>& Buffer);
