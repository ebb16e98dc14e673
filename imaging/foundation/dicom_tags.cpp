#include "imaging/foundation/dicom_tags.h"

#include <cstring>

int32_t TQxDICOMTags::AddTag(uint16_t Group, uint16_t Element, const std::string& VR, uint8_t* Data,
                             int32_t Length) {
  auto t = std::make_unique<TQxDICOMTag>();
  t->Group = Group;
  t->Element = Element;
  if (VR.size() == 2) {
    t->VR[0] = VR[0];
    t->VR[1] = VR[1];
  }
  if (Length >= 0) {
    t->Data.reset(Data);
    t->DataLength = Length;
  } else {
    delete[] Data;
  }
  FTags.push_back(std::move(t));
  return Count() - 1;
}

void TQxDICOMTags::AssignFrom(const TQxDICOMTags& Source) {
  if (&Source == this) return;
  Clear();
  for (const auto& s : Source.FTags) {
    auto t = std::make_unique<TQxDICOMTag>();
    t->Group = s->Group;
    t->Element = s->Element;
    t->VR[0] = s->VR[0];
    t->VR[1] = s->VR[1];
    if (s->DataLength > 0 && s->Data) {
      // The copy gets a terminating zero of its own instead of reading past the source's block.
      t->Data.reset(new uint8_t[static_cast<size_t>(s->DataLength) + 1]);
      std::memcpy(t->Data.get(), s->Data.get(), static_cast<size_t>(s->DataLength));
      t->Data[static_cast<size_t>(s->DataLength)] = 0;
      t->DataLength = s->DataLength;
    }
    FTags.push_back(std::move(t));
  }
}
