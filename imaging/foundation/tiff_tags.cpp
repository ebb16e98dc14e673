#include "imaging/foundation/tiff_tags.h"

#include <algorithm>
#include <cstring>

#include "platform/base/streams.h"

TQxTagsHandler::TQxTagsHandler() : FTagStream(std::make_unique<TMemoryStream>()) {}

TQxTagsHandler::~TQxTagsHandler() = default;

void TQxTagsHandler::Clear() {
  FEntries.clear();
  FEntryCount = 0;
  FRawNote.clear();
  FDevice = TQxEXIFMakerNoteDeviceInfo{};
  FTagStream->Clear();
}

void TQxTagsHandler::AssignFrom(const TQxTagsHandler& Source) {
  if (&Source == this) return;
  Clear();
  int64_t n = Source.FTagStream->Size();
  if (n > 0) FTagStream->WriteBuffer(Source.FTagStream->Memory(), n);
  IndexEntries();
  FRawNote = Source.FRawNote;
  FDevice = Source.FDevice;
}

void TQxTagsHandler::SetRawData(std::vector<uint8_t> Block) { FRawNote = std::move(Block); }

void TQxTagsHandler::IndexEntries() {
  FEntries.clear();
  FEntryCount = 0;
  int64_t size = FTagStream->Size();
  if (size < 2) return;
  const auto* p = static_cast<const uint8_t*>(FTagStream->Memory());
  uint16_t count = static_cast<uint16_t>(p[0] | (p[1] << 8));
  // The stream may be shorter than its count says: index only what it holds.
  int64_t fit = (size - 2) / 12;
  count = static_cast<uint16_t>(std::min<int64_t>(count, fit));
  FEntries.assign(p + 2, p + 2 + static_cast<size_t>(count) * 12);
  FEntryCount = count;
}
