#pragma once
// Metadata that travels with an image: JPEG marker segments, IPTC datasets, EXIF and XMP blocks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

// The APPn and COM segments of a JPEG file, in file order. A marker's data is the segment body without
// the 0xFF, the code and the two length bytes.
class TQxMarkerList {
 public:
  // A segment length field counts itself, so this is the most a marker body can hold.
  static constexpr size_t MaxMarkerLength = 65533;

  TQxMarkerList();
  ~TQxMarkerList();
  TQxMarkerList(const TQxMarkerList&) = delete;
  TQxMarkerList& operator=(const TQxMarkerList&) = delete;

  int32_t Count() const;
  uint8_t* MarkerData(int32_t Index);
  const uint8_t* MarkerData(int32_t Index) const;
  uint8_t MarkerType(int32_t Index) const;
  uint16_t MarkerLength(int32_t Index) const;
  int32_t IndexOf(uint8_t Code) const;
  // Both refuse (return false, list unchanged) a body longer than MaxMarkerLength rather than cut it.
  bool AddMarker(uint8_t Code, const void* Data, size_t Length);
  bool SetMarker(int32_t Index, uint8_t Code, const void* Data, size_t Length);
  void Clear();
  void Delete(int32_t Index);
  void AssignFrom(const TQxMarkerList* Source);
  int32_t CompareMarkers(int32_t I, int32_t J) const;
  void Exchange(int32_t I, int32_t J);
  // Orders by code (ICC chunks by sequence number), keeping markers that compare equal in their order,
  // then moves the EXIF APP1 to the place of the first APP1.
  void Sort();

 private:
  std::vector<std::vector<uint8_t>> FData;
  std::vector<uint8_t> FCodes;
};

// IPTC IIM datasets and the Photoshop resource block that carries them.
class TQxIPTCInfoList {
 public:
  TQxIPTCInfoList();
  ~TQxIPTCInfoList();
  TQxIPTCInfoList(const TQxIPTCInfoList&) = delete;
  TQxIPTCInfoList& operator=(const TQxIPTCInfoList&) = delete;

  int32_t Count() const;
  int32_t RecordNumber(int32_t Index) const;
  int32_t DatasetNumber(int32_t Index) const;
  int32_t DataLength(int32_t Index) const;
  const uint8_t* Data(int32_t Index) const;
  int32_t AddRecord(int32_t Record, int32_t Dataset, int32_t Length, const void* Data);
  void Clear();
  void AssignFrom(const TQxIPTCInfoList* Source);
  // Empty list -> empty Buffer.
  void SaveToBuffer(std::vector<uint8_t>& Buffer, bool PhotoshopHeader) const;
  bool LoadFromBuffer(const void* Buffer, int32_t Length);

  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }

 private:
  struct TEntry {
    int32_t Record;
    int32_t Dataset;
    std::vector<uint8_t> Data;
  };
  std::vector<TEntry> FEntries;
  bool FModified = false;
};

// The basic first-image tags the built-in reader understands.
struct TQxExifBasicTags {
  int32_t Orientation = 0;     // 0 when absent
  double XResolution = 0;      // 0 when absent
  double YResolution = 0;
  int32_t ResolutionUnit = 0;  // 0 when absent
};
// Parses a TIFF structure (no "Exif" header) with every offset checked; false when it is not one.
bool QxReadExifBasicTags(const uint8_t* Data, size_t Length, TQxExifBasicTags& Tags);

// Rewrites the value of the first image's orientation tag in a TIFF structure in place; false when the
// structure has no such tag.
bool QxSetExifOrientationTag(uint8_t* Data, size_t Length, int32_t Orientation);

bool QxIsEXIFHeader(const void* Data, int32_t Length);
int64_t QxFindTIFFHeader(TStream& Stream);

// The XMP namespace identifier that opens an XMP APP1 segment (without its zero byte).
extern const char QxXmpNamespace[];
const uint8_t* QxFindXMP(const void* Data, int32_t Length);
// The routines that move EXIF and XMP between blocks and a TIOParamsVals live with the parameter object
// in imaging/io/jpeg_metadata.h.
