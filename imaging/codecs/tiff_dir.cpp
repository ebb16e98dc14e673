// Directories of a TIFF structure: the chain walk and the bounded value readers.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "imaging/codecs/tiff_internal.h"
#include "platform/base/streams.h"

namespace {
// Longer texts are taken as damage, not as text.
constexpr uint32_t kMaxText = 1u << 20;
}  // namespace

int32_t TiffTypeSize(uint16_t Type) {
  switch (Type) {
    case ttShort:
    case ttSShort: return 2;
    case ttLong:
    case ttSLong:
    case ttFloat: return 4;
    case ttRational:
    case ttSRational:
    case ttDouble: return 8;
    default: return 1;
  }
}

uint16_t TTIFFDirectory::Get16(const uint8_t* P) const {
  return LittleEndian ? uint16_t(P[0] | (P[1] << 8)) : uint16_t((P[0] << 8) | P[1]);
}

uint32_t TTIFFDirectory::Get32(const uint8_t* P) const {
  return LittleEndian ? uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24)
                      : (uint32_t(P[0]) << 24) | (uint32_t(P[1]) << 16) | (uint32_t(P[2]) << 8) | uint32_t(P[3]);
}

bool TTIFFDirectory::ReadAt(uint64_t Offset, void* Buffer, size_t Count) const {
  if (!Stream) return false;
  const uint64_t at = uint64_t(Base) + Offset;
  if (at > uint64_t(StreamSize) || Count > uint64_t(StreamSize) - at) return false;
  if (Count == 0) return true;
  Stream->SetPosition(int64_t(at));
  return Stream->Read(Buffer, int64_t(Count)) == int64_t(Count);
}

int32_t TTIFFDirectory::FindTag(uint16_t Tag) const {
  for (size_t i = 0; i < Entries.size(); ++i)
    if (Entries[i].Tag == Tag) return int32_t(i);
  return -1;
}

const TTIFFEntry* TTIFFDirectory::Entry(uint16_t Tag) const {
  const int32_t i = FindTag(Tag);
  return i < 0 ? nullptr : &Entries[size_t(i)];
}

int64_t TTIFFDirectory::ReadValue(uint16_t Tag, int64_t Default) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e) return Default;
  if (e->Type == ttByte) return e->Raw[0];
  if (e->Type == ttShort) return Get16(e->Raw);
  return e->Value;
}

int64_t TTIFFDirectory::ReadElement(uint16_t Tag, uint32_t Index, int64_t Default) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || Index >= e->Count) return Default;
  if (e->Type == ttShort) {
    if (e->Count <= 2) return Get16(e->Raw + 2 * Index);
    uint8_t b[2];
    if (!ReadAt(uint64_t(e->Value) + 2ull * Index, b, 2)) return Default;
    return Get16(b);
  }
  if (e->Type == ttLong) {
    if (e->Count == 1) return e->Value;
    uint8_t b[4];
    if (!ReadAt(uint64_t(e->Value) + 4ull * Index, b, 4)) return Default;
    return Get32(b);
  }
  return Default;
}

std::vector<uint32_t> TTIFFDirectory::ReadArray(uint16_t Tag) const {
  std::vector<uint32_t> out;
  const TTIFFEntry* e = Entry(Tag);
  if (!e || e->Count == 0 || int64_t(e->Count) > StreamSize) return out;
  const int32_t size = e->Type == ttShort ? 2 : e->Type == ttLong ? 4 : 0;
  out.assign(e->Count, 0);
  if (size == 0) return out;  // neither SHORT nor LONG: no defined value
  if (uint64_t(e->Count) * size <= 4) {
    for (uint32_t i = 0; i < e->Count; ++i) out[i] = size == 2 ? Get16(e->Raw + 2 * i) : e->Value;
    return out;
  }
  std::vector<uint8_t> raw(size_t(e->Count) * size);
  if (!ReadAt(e->Value, raw.data(), raw.size())) {
    // A table running past the end keeps the elements that are there.
    const uint64_t at = uint64_t(Base) + e->Value;
    if (at >= uint64_t(StreamSize)) return {};
    const size_t have = size_t(uint64_t(StreamSize) - at) / size * size;
    if (have == 0 || !ReadAt(e->Value, raw.data(), have)) return {};
    raw.resize(have);
    out.resize(have / size);
  }
  for (size_t i = 0; i < out.size(); ++i) out[i] = size == 2 ? Get16(&raw[2 * i]) : Get32(&raw[4 * i]);
  return out;
}

double TTIFFDirectory::ReadRational(uint16_t Tag, double Default) const {
  return ReadRationalAt(Tag, 0, Default);
}

double TTIFFDirectory::ReadRationalAt(uint16_t Tag, uint32_t Index, double Default) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || Index >= std::max<uint32_t>(e->Count, Index == 0 ? 1 : 0)) return Default;
  uint8_t b[8];
  if (!ReadAt(uint64_t(e->Value) + 8ull * Index, b, 8)) return Default;
  const int32_t num = int32_t(Get32(b));
  int32_t den = int32_t(Get32(b + 4));
  if (den == 0) den = 1;
  return double(num) / double(den);
}

std::string TTIFFDirectory::ReadAscii(uint16_t Tag, bool CutAtNul) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e) return {};
  if (e->Count <= 4) return std::string(reinterpret_cast<const char*>(e->Raw), e->Count);
  if (e->Count >= kMaxText) return {};
  std::string s(e->Count, '\0');
  if (!ReadAt(e->Value, s.data(), s.size())) return {};
  if (CutAtNul) {
    const size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
  }
  return s;
}

std::string TTIFFDirectory::ReadInlineAscii(uint16_t Tag) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || e->Count < 1 || e->Count > 4) return {};
  return std::string(reinterpret_cast<const char*>(e->Raw), e->Count);
}

namespace {
void AppendUtf8(std::string& Out, uint32_t C) {
  if (C < 0x80) {
    Out += char(C);
  } else if (C < 0x800) {
    Out += char(0xC0 | (C >> 6));
    Out += char(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += char(0xE0 | (C >> 12));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  } else {
    Out += char(0xF0 | (C >> 18));
    Out += char(0x80 | ((C >> 12) & 0x3F));
    Out += char(0x80 | ((C >> 6) & 0x3F));
    Out += char(0x80 | (C & 0x3F));
  }
}
}  // namespace

std::string TiffUtf16ToUtf8(const uint16_t* Units, size_t Count) {
  std::string out;
  for (size_t i = 0; i < Count; ++i) {
    uint32_t c = Units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < Count && Units[i + 1] >= 0xDC00 && Units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (Units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string TTIFFDirectory::ReadWideText(uint16_t Tag) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e) return {};
  if (e->Count <= 4) {
    const uint16_t c = uint16_t(e->Value & 0xFFFF);
    return TiffUtf16ToUtf8(&c, 1);
  }
  if (e->Count >= kMaxText) return {};
  const size_t n = (e->Count - 2) / 2;
  std::vector<uint8_t> raw(n * 2);
  if (!ReadAt(e->Value, raw.data(), raw.size())) return {};
  // These tags are little-endian UTF-16 whatever the file's byte order.
  std::vector<uint16_t> units(n);
  for (size_t i = 0; i < n; ++i) units[i] = uint16_t(raw[2 * i] | (raw[2 * i + 1] << 8));
  while (!units.empty() && units.back() == 0) units.pop_back();
  return TiffUtf16ToUtf8(units.data(), units.size());
}

std::vector<uint8_t> TTIFFDirectory::ReadBytes(uint16_t Tag) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || e->Count == 0) return {};
  if (e->Count <= 4) return std::vector<uint8_t>(e->Raw, e->Raw + e->Count);
  // Nothing is allocated for a block the stream cannot hold.
  if (int64_t(e->Count) > StreamSize) return {};
  std::vector<uint8_t> out(e->Count);
  if (!ReadAt(e->Value, out.data(), out.size())) return {};
  return out;
}

std::vector<uint8_t> TTIFFDirectory::ReadEntryData(const TTIFFEntry& E) const {
  const uint64_t bytes = uint64_t(E.Count) * uint64_t(TiffTypeSize(E.Type));
  if (bytes == 0 || bytes > uint64_t(StreamSize)) return {};
  if (bytes <= 4) return std::vector<uint8_t>(E.Raw, E.Raw + bytes);
  std::vector<uint8_t> out(static_cast<size_t>(bytes));
  if (!ReadAt(E.Value, out.data(), out.size())) return {};
  return out;
}

namespace {

bool ReadEntries(TStream* Stream, uint16_t Count, bool LittleEndian, TTIFFDirectory& Dir) {
  std::vector<uint8_t> raw(size_t(Count) * 12);
  if (Stream->Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) return false;
  Dir.LittleEndian = LittleEndian;
  Dir.Entries.resize(Count);
  for (size_t i = 0; i < Count; ++i) {
    const uint8_t* p = &raw[i * 12];
    TTIFFEntry& e = Dir.Entries[i];
    e.Tag = Dir.Get16(p);
    e.Type = Dir.Get16(p + 2);
    e.Count = Dir.Get32(p + 4);
    e.Value = Dir.Get32(p + 8);
    std::memcpy(e.Raw, p + 8, 4);
  }
  return true;
}

}  // namespace

bool TiffWalkIFDs(TStream* Stream, int64_t Base, bool LittleEndian, uint32_t FirstOffset, int32_t Wanted,
                  TTIFFDirectory* Dir, int32_t& PageCount) {
  const int64_t size = Stream->Size();
  TTIFFDirectory conv;
  conv.LittleEndian = LittleEndian;
  uint32_t offset = FirstOffset;
  int32_t page = 0;
  bool loaded = false;
  std::unordered_set<uint32_t> seen;
  while (offset != 0) {
    // A chain that comes back to any directory already met would never end.
    if (!seen.insert(offset).second) break;
    const int64_t at = Base + int64_t(offset);
    if (at + 2 > size) break;
    Stream->SetPosition(at);
    uint8_t b[4];
    if (Stream->Read(b, 2) != 2) break;
    const uint16_t count = conv.Get16(b);
    if (count == 0) break;
    if (page == Wanted && Dir) {
      if (at + 2 + int64_t(count) * 12 > size) break;
      Dir->Stream = Stream;
      Dir->Base = Base;
      Dir->StreamSize = size;
      if (!ReadEntries(Stream, count, LittleEndian, *Dir)) break;
    } else {
      Stream->SetPosition(at + 2 + int64_t(count) * 12);
    }
    if (at + 2 + int64_t(count) * 12 >= size) {
      if (page == Wanted && Dir) Dir->Entries.clear();
      break;
    }
    if (Stream->Read(b, 4) != 4) {
      if (page == Wanted && Dir) Dir->Entries.clear();
      break;
    }
    uint32_t next = conv.Get32(b);
    if (next == offset || Base + int64_t(next) < Base + 8 || Base + int64_t(next) >= size) next = 0;
    if (page == Wanted && Dir) loaded = true;
    ++PageCount;
    ++page;
    offset = next;
  }
  return loaded;
}

bool TiffLoadDirectory(TStream* Stream, int64_t Base, bool LittleEndian, uint32_t Offset, TTIFFDirectory& Dir) {
  int32_t pages = 0;
  return TiffWalkIFDs(Stream, Base, LittleEndian, Offset, 0, &Dir, pages);
}
