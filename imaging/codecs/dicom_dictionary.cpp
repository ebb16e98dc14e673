// The data dictionary the DICOM reader uses for the value representation of implicit-VR elements.
// Ordered by group, then element: looked up by bisection.
#include <algorithm>

#include "imaging/codecs/dicom.h"

namespace {

struct TDictEntry {
  uint16_t Group;
  uint16_t Element;
  char VR[3];
};

// The standard's elements and the private ones of the odd groups, kept as data of their own.
constexpr TDictEntry kDictionary[] = {
#include "imaging/codecs/dicom_dictionary.inc"
};

constexpr uint32_t KeyOf(uint16_t Group, uint16_t Element) { return (uint32_t(Group) << 16) | Element; }

}  // namespace

const char* QxDicomDictionaryVR(uint16_t Group, uint16_t Element) {
  const uint32_t key = KeyOf(Group, Element);
  const auto* end = std::end(kDictionary);
  const auto* it = std::lower_bound(std::begin(kDictionary), end, key, [](const TDictEntry& e, uint32_t k) {
    return KeyOf(e.Group, e.Element) < k;
  });
  if (it != end && KeyOf(it->Group, it->Element) == key) return it->VR;
  return "xs";
}

int32_t QxDicomDictionaryCount() { return int32_t(std::size(kDictionary)); }

void QxDicomDictionaryEntry(int32_t Index, uint16_t& Group, uint16_t& Element, const char*& VR) {
  const TDictEntry& e = kDictionary[std::clamp<int32_t>(Index, 0, QxDicomDictionaryCount() - 1)];
  Group = e.Group;
  Element = e.Element;
  VR = e.VR;
}
