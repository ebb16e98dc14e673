#pragma once
// One TIFF directory held in memory: the EXIF maker note of a camera.

#include <cstdint>
#include <memory>
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
