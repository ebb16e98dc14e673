#include "imaging/foundation/tiff_tags.h"

#include <algorithm>
#include <cstring>

#include "platform/base/streams.h"

namespace {

TQxEXIFMakerNoteDeviceInfo Row(const char* Sig, size_t Len, uint8_t Base, uint8_t Kind, uint8_t Order) {
  TQxEXIFMakerNoteDeviceInfo d;
  d.Signature.assign(Sig, Len);
  d.OffsetBase = Base;
  d.HeaderKind = Kind;
  d.ByteOrder = Order;
  return d;
}

}  // namespace

const TQxEXIFMakerNoteDeviceInfo QxMakerNoteDevices[9] = {
    Row("", 0, 0, 0, 0),
    Row("SONY CAM \0\0\0", 12, 0, 0, 0),
    Row("SONY DSC \0\0\0", 12, 0, 0, 0),
    Row("Nikon\0\x02\x10\0\0", 10, 1, 1, 1),
    Row("QVC\0\0\0", 6, 0, 0, 3),
    Row("EPSON\0\x01\0", 8, 0, 0, 0),
    Row("Nikon\0\x01\0", 8, 0, 0, 0),
    Row("Panasonic\0\0\0", 12, 0, 0, 0),
    Row("FUJIFILM", 8, 1, 2, 2),
};

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

namespace {

uint32_t TypeSize(uint16_t Type) {
  switch (Type) {
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11: return 4;
    case 5:
    case 10:
    case 12: return 8;
    default: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED and types past 12
  }
}

uint16_t Get16(const uint8_t* P, bool Le) { return Le ? uint16_t(P[0] | P[1] << 8) : uint16_t(P[0] << 8 | P[1]); }
uint32_t Get32(const uint8_t* P, bool Le) {
  return Le ? uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24
            : uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}
void Put16(uint8_t* P, uint32_t V, bool Le) {
  P[Le ? 0 : 1] = uint8_t(V);
  P[Le ? 1 : 0] = uint8_t(V >> 8);
}
void Put32(uint8_t* P, uint32_t V, bool Le) {
  for (int i = 0; i < 4; ++i) P[Le ? i : 3 - i] = uint8_t(V >> (8 * i));
}

// Values of a type whose elements are 2, 4 or 8 bytes (two 4-byte halves), turned from one byte order to
// the other; bytes stay as they are.
void SwapElements(uint8_t* P, uint16_t Type, uint32_t Count) {
  const uint32_t size = TypeSize(Type);
  if (size == 1) return;
  const uint32_t unit = (Type == 5 || Type == 10) ? 4 : size;
  const uint64_t n = uint64_t(Count) * size / unit;
  for (uint64_t i = 0; i < n; ++i) std::reverse(P + i * unit, P + (i + 1) * unit);
}

}  // namespace

void TQxTagsHandler::IdentifyDevice() {
  FDevice = QxMakerNoteDevices[0];
  for (int r = 1; r < 9; ++r) {
    const std::string& sig = QxMakerNoteDevices[r].Signature;
    const size_t n = std::min(FRawNote.size(), sig.size());
    if (n > 0 && std::memcmp(FRawNote.data(), sig.data(), n) == 0) {
      FDevice = QxMakerNoteDevices[r];
      return;
    }
  }
}

void TQxTagsHandler::LoadFromStream(TStream& Stream, int64_t Size, bool LittleEndian) {
  const int64_t at = Stream.Position();
  std::vector<uint8_t> note(size_t(std::max<int64_t>(0, std::min(Size, Stream.Size() - at))));
  if (!note.empty() && Stream.Read(note.data(), int64_t(note.size())) != int64_t(note.size())) note.clear();
  LoadFromBuffer(note.data(), int64_t(note.size()), at, LittleEndian);
}

void TQxTagsHandler::LoadFromBuffer(const uint8_t* Data, int64_t Size, int64_t Position, bool LittleEndian) {
  Clear();
  if (!Data || Size <= 1) return;
  FRawNote.assign(Data, Data + Size);
  IdentifyDevice();
  const uint8_t* d = FRawNote.data();
  int64_t pos = int64_t(FDevice.Signature.size()), base = 0;
  if (FDevice.HeaderKind == 1) {
    if (pos + 8 > Size) return;
    base = pos;
    std::memcpy(FDevice.EmbeddedHeader, d + pos, 8);
    pos += 8;
  } else if (FDevice.HeaderKind == 2) {
    if (pos + 4 > Size) return;
    pos = pos + int64_t(Get32(d + pos, true)) - 8;
  }
  bool le = LittleEndian;
  switch (FDevice.ByteOrder) {
    case 1: le = FDevice.EmbeddedHeader[0] == 'I' && FDevice.EmbeddedHeader[1] == 'I'; break;
    case 2: le = true; break;
    case 3: le = false; break;
    default: break;
  }
  // A note that holds no readable directory keeps its raw bytes: it is written back as it came.
  if (pos < 0 || pos + 2 > Size) return;
  uint32_t n = Get16(d + pos, le);
  // A note in the other byte order than its EXIF block (as some writers leave it) shows by its count.
  if (FDevice.ByteOrder == 0 && (n > 256 || pos + 2 + int64_t(n) * 12 > Size)) {
    const uint32_t other = Get16(d + pos, !le);
    if (other <= 256 && pos + 2 + int64_t(other) * 12 <= Size) {
      le = !le;
      n = other;
    }
  }
  pos += 2;
  if (n > 256 || Size < int64_t(n) * 12 || pos + int64_t(n) * 12 > Size) return;
  std::vector<uint8_t> stream(2 + size_t(n) * 12);
  Put16(stream.data(), n, true);
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t e[12];
    std::memcpy(e, d + pos + int64_t(i) * 12, 12);
    const uint16_t tag = Get16(e, le), type = Get16(e + 2, le);
    uint32_t count = Get32(e + 4, le), value = Get32(e + 8, le);
    const uint64_t bytes = uint64_t(count) * TypeSize(type);
    const size_t slot = 2 + size_t(i) * 12;
    Put16(stream.data() + slot, tag, true);
    Put16(stream.data() + slot + 2, type, true);
    if (bytes > 4) {
      // Where the data lies inside the note.
      const int64_t off = FDevice.OffsetBase == 0 ? int64_t(value) - Position : int64_t(value) + base;
      if (off < 0 || off >= Size || uint64_t(Size - off) < bytes) {
        count = value = 0;
      } else {
        value = uint32_t(stream.size());
        stream.insert(stream.end(), d + off, d + off + bytes);
        SwapElements(stream.data() + value, le ? 0 : type, le ? 0 : count);
      }
      Put32(stream.data() + slot + 4, count, true);
      Put32(stream.data() + slot + 8, value, true);
    } else {
      uint8_t* out = stream.data() + slot;
      Put32(out + 4, count, true);
      // An inline value keeps its bytes; its elements turn little-endian.
      std::memcpy(out + 8, e + 8, 4);
      if (!le) SwapElements(out + 8, type, count);
    }
  }
  FTagStream->Clear();
  FTagStream->WriteBuffer(stream.data(), int64_t(stream.size()));
  IndexEntries();
}

int64_t TQxTagsHandler::SaveToStream(TStream& Stream) {
  const int64_t P = Stream.Position();
  const int64_t size = FTagStream->Size();
  const auto* ts = static_cast<const uint8_t*>(FTagStream->Memory());
  if (FEntryCount == 0 || size < 2) {
    if (FRawNote.empty() || FRawNote.size() > 65000) return 0;
    Stream.WriteBuffer(FRawNote.data(), int64_t(FRawNote.size()));
    return int64_t(FRawNote.size());
  }
  std::vector<uint8_t> out(FDevice.Signature.begin(), FDevice.Signature.end());
  bool le = true;
  int64_t ifdStart = int64_t(out.size());
  if (FDevice.HeaderKind == 1) {
    uint8_t h[8];
    std::memcpy(h, FDevice.EmbeddedHeader, 8);
    le = h[0] == 'I' && h[1] == 'I';
    Put32(h + 4, 8, le);
    out.insert(out.end(), h, h + 8);
    ifdStart = int64_t(out.size());
  } else if (FDevice.HeaderKind == 2) {
    // The reader's layout: a little-endian offset of the directory from the note's start follows the
    // signature; data offsets count from the note's start.
    const uint32_t ifd = uint32_t(out.size() + 4);
    uint8_t v[4];
    Put32(v, ifd, true);
    out.insert(out.end(), v, v + 4);
    ifdStart = int64_t(out.size());
  }
  const uint32_t n = FEntryCount;
  out.resize(size_t(ifdStart) + 2 + size_t(n) * 12 + 4, 0);
  Put16(out.data() + ifdStart, n, le);
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* e = FEntries.data() + size_t(i) * 12;
    const uint16_t tag = Get16(e, true), type = Get16(e + 2, true);
    const uint32_t count = Get32(e + 4, true), value = Get32(e + 8, true);
    const uint64_t bytes = uint64_t(count) * TypeSize(type);
    uint8_t* slot = out.data() + ifdStart + 2 + size_t(i) * 12;
    Put16(slot, tag, le);
    Put16(slot + 2, type, le);
    Put32(slot + 4, count, le);
    if (bytes > 4) {
      if (out.size() > 65000 || bytes > 65000) return 0;
      const int64_t D = int64_t(out.size());
      if (uint64_t(size) >= uint64_t(value) + bytes) out.insert(out.end(), ts + value, ts + value + bytes);
      else out.resize(out.size() + size_t(bytes), 0);
      if (!le) SwapElements(out.data() + D, type, count);
      if (out.size() & 1) out.push_back(0);
      // Offset base 0 counts from the TIFF structure's start; base 1 from the embedded header, or from the
      // note's start for devices without one.
      int64_t where = D;
      if (FDevice.OffsetBase == 0) where = P + D;
      else if (FDevice.HeaderKind == 1) where = D - int64_t(FDevice.Signature.size());
      slot = out.data() + ifdStart + 2 + size_t(i) * 12;
      Put32(slot + 8, uint32_t(where), le);
    } else {
      std::memcpy(slot + 8, e + 8, 4);
      if (!le) SwapElements(slot + 8, type, count);
    }
  }
  if (out.size() > 65000) return 0;
  Stream.WriteBuffer(out.data(), int64_t(out.size()));
  return int64_t(out.size());
}
