#pragma once
// Pieces shared by the TIFF reader, row conversion, writer and metadata code.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;
class TQxMask;
class TIOParamsVals;

enum : uint16_t {
  ttByte = 1,
  ttAscii = 2,
  ttShort = 3,
  ttLong = 4,
  ttRational = 5,
  ttSByte = 6,
  ttUndefined = 7,
  ttSShort = 8,
  ttSLong = 9,
  ttSRational = 10,
  ttFloat = 11,
  ttDouble = 12,
};

// Bytes one value of a field type takes (1 for unknown types).
int32_t TiffTypeSize(uint16_t Type);

struct TTIFFEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;  // the value field as a 32-bit number in the file's byte order
  uint8_t Raw[4] = {0, 0, 0, 0};  // the value field as stored
};

// One directory in memory with bounded readers of its values. Offsets count from Base.
class TTIFFDirectory {
 public:
  bool LittleEndian = true;
  TStream* Stream = nullptr;
  int64_t Base = 0;
  int64_t StreamSize = 0;
  std::vector<TTIFFEntry> Entries;

  uint16_t Get16(const uint8_t* P) const;
  uint32_t Get32(const uint8_t* P) const;
  // Reads Count bytes at Base + Offset; false (nothing promised in Buffer) when they are not all there.
  bool ReadAt(uint64_t Offset, void* Buffer, size_t Count) const;

  int32_t FindTag(uint16_t Tag) const;
  const TTIFFEntry* Entry(uint16_t Tag) const;
  // BYTE: first byte; SHORT: first 16-bit number; other types: all 32 bits.
  int64_t ReadValue(uint16_t Tag, int64_t Default) const;
  // Element of a SHORT or LONG array; Default when absent, out of range or of another type.
  int64_t ReadElement(uint16_t Tag, uint32_t Index, int64_t Default) const;
  // Every element; empty when absent or when the count cannot fit in the stream.
  std::vector<uint32_t> ReadArray(uint16_t Tag) const;
  double ReadRational(uint16_t Tag, double Default) const;
  double ReadRationalAt(uint16_t Tag, uint32_t Index, double Default) const;
  std::string ReadAscii(uint16_t Tag, bool CutAtNul) const;
  std::string ReadInlineAscii(uint16_t Tag) const;
  std::string ReadWideText(uint16_t Tag) const;  // UTF-8
  std::vector<uint8_t> ReadBytes(uint16_t Tag) const;
  // Count x type-size bytes of the entry (inline or at its offset); empty when they are not there.
  std::vector<uint8_t> ReadEntryData(const TTIFFEntry& E) const;
};

// Walks the directory chain from FirstOffset: counts pages and loads page Wanted (-1: none) into Dir.
// True when the wanted page was loaded.
bool TiffWalkIFDs(TStream* Stream, int64_t Base, bool LittleEndian, uint32_t FirstOffset, int32_t Wanted,
                  TTIFFDirectory* Dir, int32_t& PageCount);
// Loads the directory at Offset (a chain of one) with the given byte order; false when it cannot.
bool TiffLoadDirectory(TStream* Stream, int64_t Base, bool LittleEndian, uint32_t Offset, TTIFFDirectory& Dir);

// The state of one page being read.
struct TTIFFVars {
  int64_t Width = 0, Length = 0;
  int32_t SamplesPerPixel = 1, BitsPerSample = 1;
  int64_t RowsPerStrip = 0;
  int64_t TileWidth = -1, TileLength = -1;
  int32_t Photometric = 2, PlanarConfig = 1, Orientation = 1, Compression = 1;
  std::vector<uint32_t> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
  std::vector<TQxRGB> ColorMap;  // padded to 256 entries for lookups when present
  int32_t ColorMapCount = 0;
  int32_t ResolutionUnit = 2;
  double XResolution = 0, YResolution = 0;
  int32_t Predictor = 1;
  std::vector<uint8_t> JpegTables;
  int64_t T4Options = 0;
  int32_t FillOrder = 1;
  double XPosition = 0, YPosition = 0;
  std::string DocumentName, ImageDescription, PageName, Software, Artist;
  int32_t PageNumber = 0, PageTotal = 0;
  int32_t YCbCrSubH = 2, YCbCrSubV = 2;
  int64_t JpegProc = 0, JpegIFOffset = 0, JpegIFLength = 0;
  void* LzwDecode = nullptr;  // TQxTiffLzwDecodeProc
  bool LittleEndian = true;
  TIOParamsVals* Params = nullptr;
  TQxMask* Mask = nullptr;
  bool IgnoreAlpha = false;
  bool HasAlpha = false;
  int32_t SampleFormat = 1;  // 1 unsigned, 2 signed, 3 floating point
  int64_t ExtraSample0 = 0;
  int32_t ExtraCount = 0;
  std::array<int64_t, 10> Extra{};
  TStream* Stream = nullptr;
  int64_t Base = 0;
  int64_t StreamSize = 0;
  int32_t LastPercent = -1;
};

// Which stored layout a chunky page has (0: none that can be decoded).
int32_t TiffChunkyCase(const TTIFFVars& V);
// Whether TiffDecodePlanarRows has a conversion for the page's planes.
bool TiffPlanarDecodable(const TTIFFVars& V);
std::string TiffUtf16ToUtf8(const uint16_t* Units, size_t Count);

// Converts Rows rows of a chunky strip or tile into Bitmap at (X, Row). DecodeWidth is the stored row's
// width in pixels (the tile width for tiles), StoreWidth the pixels that fall inside the bitmap. False when
// a row failed to decompress (the abort flag is then set). Progress fires when the percentage changes
// from V.LastPercent, which the caller resets where a new run of reports begins.
bool TiffDecodeRows(TTIFFVars& V, TQxBitmap* Bitmap, int64_t Row, int64_t X, const uint8_t* Data, size_t DataLength,
                    int64_t DecodeWidth, int64_t StoreWidth, int64_t Rows, TQxProgressInfo& Progress);
// The same for planar data: one strip per plane.
bool TiffDecodePlanarRows(TTIFFVars& V, TQxBitmap* Bitmap, int64_t Row, TQxProgressInfo& Progress, int64_t Rows,
                          int64_t Width, const std::vector<std::vector<uint8_t>>& Planes);

// Metadata of a page (EXIF, GPS, IPTC, XMP, ICC, annotations, maker note) into Params.
void TiffReadMetadata(const TTIFFDirectory& Dir, TIOParamsVals& Params);

// ---- writer side ----
struct TTiffWriteEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;  // little-endian value field
};

// Collects entries and writes out-of-line values at even positions of the output stream.
class TTiffWriter {
 public:
  TTiffWriter(TStream* S, std::atomic<bool>* Abort) : Stream(S), Aborting(Abort) {}
  TStream* Stream;
  std::atomic<bool>* Aborting;
  std::vector<TTiffWriteEntry> Entries;

  void Write(const void* Data, int64_t Count);
  void AlignEven();
  // A stream position or byte count as the file's 32 bits; past 4 GiB the save is refused (EWriteError).
  uint32_t Offset32(int64_t Value);
  // Adds or replaces the entry of Tag.
  void Add(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value);
  // Values of up to four bytes go into the entry, longer ones at the next even position.
  void AddData(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Data, size_t Bytes);
  void AddShort(uint16_t Tag, uint32_t Value) { Add(Tag, ttShort, 1, Value & 0xFFFF); }
  void AddLong(uint16_t Tag, uint32_t Value) { Add(Tag, ttLong, 1, Value); }
  void AddShorts(uint16_t Tag, const std::vector<uint16_t>& Values);
  void AddLongs(uint16_t Tag, const std::vector<uint32_t>& Values);
  void AddAscii(uint16_t Tag, const std::string& Text);
  void AddRational(uint16_t Tag, double Value) { AddRationals(Tag, &Value, 1); }
  void AddRationals(uint16_t Tag, const double* Values, int32_t Count);
  // Writes the directory (entries sorted by tag) at the next even position; returns its position.
  int64_t WriteDirectory(uint32_t NextOffset);
};

// EXIF mode: the descriptive main-directory tags, the EXIF directory and the GPS directory.
void TiffWriteExifTags(TTiffWriter& W, TIOParamsVals& Params);
// IPTC, XMP, annotations and ICC profile of a page with a bitmap.
void TiffWriteMetadataBlocks(TTiffWriter& W, TIOParamsVals& Params);
