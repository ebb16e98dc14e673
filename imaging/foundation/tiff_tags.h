#pragma once
// One TIFF directory held in memory: the EXIF maker note of a camera.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class TMemoryStream;
class TStream;

// How a maker note of one camera family is laid out.
struct TQxEXIFMakerNoteDeviceInfo {
  std::string Signature;  // the bytes a maker note starts with
  uint8_t OffsetBase = 0;
  uint8_t HeaderKind = 0;
  uint8_t EmbeddedHeader[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  uint8_t ByteOrder = 0;
};

// The known maker-note layouts: row 0 is the default, rows 1.. are tried in order by their signatures.
extern const TQxEXIFMakerNoteDeviceInfo QxMakerNoteDevices[9];

class TQxTagsHandler {
 public:
  TQxTagsHandler();
  ~TQxTagsHandler();
  TQxTagsHandler(const TQxTagsHandler&) = delete;
  TQxTagsHandler& operator=(const TQxTagsHandler&) = delete;

  void Clear();
  void AssignFrom(const TQxTagsHandler& Source);
  // Takes the block over (empty = no raw note).
  void SetRawData(std::vector<uint8_t> Block);
  // Copies the entries of the tag stream into the entry table; a short stream gives the entries it holds.
  void IndexEntries();
  // The device row whose signature starts the raw note (row 0 when none does).
  void IdentifyDevice();
  // Reads the Size bytes of a note at the stream's position, position 0 being the start of the TIFF structure
  // that holds it; LittleEndian is that structure's byte order. The entries go to the tag stream with their
  // data, offsets made positions in it. A note whose directory cannot be read keeps its raw bytes only.
  void LoadFromStream(TStream& Stream, int64_t Size, bool LittleEndian);
  // The same for a note already in memory that stood at Position of its TIFF structure.
  void LoadFromBuffer(const uint8_t* Data, int64_t Size, int64_t Position, bool LittleEndian);
  // Writes the note at the stream's position, its data offsets counted as its device counts them, position 0
  // being the start of the TIFF structure being written; returns the bytes written (0 and the position
  // unchanged when it would pass 65000 bytes). A note without entries is written as its raw bytes.
  int64_t SaveToStream(TStream& Stream);

  // The normalised form: 16-bit count, 12-byte little-endian entries, then the out-of-line data.
  TMemoryStream& TagStream() { return *FTagStream; }
  const std::vector<uint8_t>& RawNote() const { return FRawNote; }
  const TQxEXIFMakerNoteDeviceInfo& Device() const { return FDevice; }
  TQxEXIFMakerNoteDeviceInfo& Device() { return FDevice; }
  uint16_t EntryCount() const { return FEntryCount; }
  const std::vector<uint8_t>& Entries() const { return FEntries; }

 private:
  std::vector<uint8_t> FRawNote;
  TQxEXIFMakerNoteDeviceInfo FDevice;
  std::unique_ptr<TMemoryStream> FTagStream;
  std::vector<uint8_t> FEntries;
  uint16_t FEntryCount = 0;
};

class TStream;

// One directory of the page editor: entries with their data held in memory, in the file's byte order.
struct TQxTIFFIFD;
struct TQxTIFFEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Value[4] = {0, 0, 0, 0};           // an inline value as stored
  std::vector<uint8_t> Data;                  // data of more than four bytes
  std::unique_ptr<TQxTIFFIFD> Sub;            // ExifIFD, GPSInfo and Interoperability directories
  std::vector<std::vector<uint8_t>> Blocks;   // strip, tile or image data a data-offset tag points at
};
struct TQxTIFFIFD {
  std::vector<TQxTIFFEntry> Entries;
};

// A whole TIFF-structured file (pages with all their data) in memory, for copying tags into a page and
// writing the file again. Version 444 is an HD Photo container, whose image and alpha data are carried too.
class TQxTIFFHandler {
 public:
  TQxTIFFHandler();
  ~TQxTIFFHandler();
  TQxTIFFHandler(const TQxTIFFHandler&) = delete;
  TQxTIFFHandler& operator=(const TQxTIFFHandler&) = delete;

  bool LoadFromFile(const std::string& FileName);
  // The TIFF must start at the stream's position 0; false for a header without "II" or "MM" and for a file
  // whose directories and data, each read once, would take more bytes than the stream holds.
  bool ReadFromStream(TStream& Stream);
  bool BigEndian() const { return FBigEndian; }
  uint16_t Version() const { return FVersion; }
  int32_t PageCount() const { return int32_t(FPages.size()); }
  TQxTIFFIFD* Page(int32_t Index) { return Index >= 0 && Index < PageCount() ? FPages[size_t(Index)].get() : nullptr; }

  // The entry index of Tag in a page or directory, −1 when missing.
  int32_t FindTag(int32_t PageIndex, uint16_t Tag) const;
  static int32_t FindTagInIFD(const TQxTIFFIFD& IFD, uint16_t Tag);
  // Value I of an entry: bytes, shorts and longs as unsigned numbers; other types 0.
  int64_t GetValue(const TQxTIFFIFD& IFD, int32_t EntryIndex, uint32_t I) const;
  int64_t GetTagValue(const TQxTIFFIFD& IFD, uint16_t Tag, uint32_t I) const;
  // Replaces Tag with one value of Type (LONG, SHORT, BYTE and their signed forms, FLOAT, DOUBLE, RATIONAL).
  void SetTagValue(TQxTIFFIFD& IFD, uint16_t Tag, double Value, uint16_t Type);
  void DeleteTag(TQxTIFFIFD& IFD, int32_t EntryIndex);
  void DeletePage(int32_t PageIndex);
  void ClearPages();
  static void SortIFD(TQxTIFFIFD& IFD);
  // Copies an entry of Source's page into a page of this file, replacing one of the same tag; nothing when an
  // index is out of range or the two files differ in byte order.
  void CopyTag(int32_t SourcePage, int32_t SourceEntryIndex, const TQxTIFFHandler& Source, int32_t DestPage);
  // Writes the file at the stream's position (which must be 0): every page, or only PageIndex when it names one.
  void WriteStream(TStream& Stream, int32_t PageIndex);
  void WriteFile(const std::string& FileName, int32_t PageIndex);

  // The byte-count partner of a data-offset tag, 0 for other tags.
  uint16_t OffsetTagPair(uint16_t Tag) const;

 private:
  bool ReadIFD(TStream& Stream, TQxTIFFIFD& IFD, int Depth);
  // Charges Bytes against what the reading may still load; false (and the reading fails) past it.
  bool Spend(uint64_t Bytes);
  // Writes the directory at DataPos and its data after it; returns the place of its next-directory field.
  int64_t WriteIFD(TStream& Stream, TQxTIFFIFD& IFD, int64_t& DataPos);

  bool FBigEndian = false;
  uint16_t FVersion = 42;
  std::vector<std::unique_ptr<TQxTIFFIFD>> FPages;
  // While reading: the directories read so far (each is read once) and the bytes still allowed.
  std::set<int64_t> FReadDirs;
  int64_t FBudget = 0;
  bool FOverBudget = false;
};
