#pragma once
// Moving EXIF and XMP blocks in and out of a parameter object.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/foundation/metadata.h"

class TStream;
class TIOParamsVals;

// The EXIF structure is a small TIFF file; the TIFF codec reads and writes it through these hooks, which
// the library start-up fills. Without them a built-in reader takes the first image's basic tags (orientation,
// resolution and its unit) and the block itself cannot be rebuilt, so JPEG saves keep the original marker.
struct TQxExifHooks {
  // Reads the tags of the TIFF structure (Data, Length) into Params and its thumbnail into
  // Params.ExifThumbnail. Returns false when the structure cannot be read at all.
  bool (*Read)(const uint8_t* Data, size_t Length, TIOParamsVals& Params) = nullptr;
  // Writes the EXIF and GPS fields of Params (and its thumbnail) as a TIFF structure.
  bool (*Write)(const TIOParamsVals& Params, std::vector<uint8_t>& Out) = nullptr;
};
TQxExifHooks& QxExifHooks();

bool QxLoadEXIFFromBuffer(const void* Data, int32_t Length, TIOParamsVals& Params);
// False (Buffer empty) when no TIFF writer is available to build the block.
bool QxSaveEXIFToBuffer(const TIOParamsVals& Params, std::vector<uint8_t>& Buffer, bool WithHeader);
void QxCopyExif(const TIOParamsVals& Source, TIOParamsVals& Dest);
bool QxLoadEXIFFromTIFFStream(TStream& Stream, TIOParamsVals& Params);
bool QxLoadRawCameraEXIF(TStream& Stream, TIOParamsVals& Params);
bool QxLoadXMPFromBuffer(const void* Data, int32_t Length, TIOParamsVals& Params);
void QxSaveXMPToBuffer(const TIOParamsVals& Params, std::vector<uint8_t>& Buffer);
