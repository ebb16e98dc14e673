#pragma once
// One TIFF directory held in memory: the EXIF maker note of a camera.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TMemoryStream;

// How a maker note of one camera family is laid out.
struct TQxEXIFMakerNoteDeviceInfo {
  std::string Signature;  // the bytes a maker note starts with
  uint8_t OffsetBase = 0;
  uint8_t HeaderKind = 0;
  uint8_t EmbeddedHeader[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  uint8_t ByteOrder = 0;
};

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
