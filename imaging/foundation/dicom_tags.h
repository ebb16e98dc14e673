#pragma once
// Data elements met by the DICOM reader, kept for inspection after a load.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TQxDICOMTag {
  uint16_t Group = 0;
  uint16_t Element = 0;
  char VR[2] = {0, 0};
  // Owned block; one byte longer than DataLength (a terminating zero) when copied.
  std::unique_ptr<uint8_t[]> Data;
  int32_t DataLength = 0;
};

class TQxDICOMTags {
 public:
  TQxDICOMTags() = default;
  ~TQxDICOMTags() = default;
  TQxDICOMTags(const TQxDICOMTags&) = delete;
  TQxDICOMTags& operator=(const TQxDICOMTags&) = delete;

  void Clear() { FTags.clear(); }
  // Takes ownership of Data (allocated with new uint8_t[]) when Length >= 0; Length < 0 stores no data.
  int32_t AddTag(uint16_t Group, uint16_t Element, const std::string& VR, uint8_t* Data, int32_t Length);
  void AssignFrom(const TQxDICOMTags& Source);

  int32_t Count() const { return static_cast<int32_t>(FTags.size()); }
  const TQxDICOMTag& Tag(int32_t Index) const { return *FTags.at(static_cast<size_t>(Index)); }

 private:
  std::vector<std::unique_ptr<TQxDICOMTag>> FTags;
};
