#include "imaging/foundation/tiff_tags.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "imaging/foundation/qx_streams.h"
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

// ---------------------------------------------------------------- the page editor

namespace {

constexpr int kMaxSubDepth = 4;

bool IsSubDirectory(uint16_t Tag) { return Tag == 34665 || Tag == 34853 || Tag == 40965; }

uint64_t EntryBytes(const TQxTIFFEntry& E) { return uint64_t(E.Count) * TypeSize(E.Type); }

// Reads exactly Count bytes at Offset; false when the stream does not hold them.
bool ReadAt(TStream& S, int64_t Offset, void* Buffer, int64_t Count) {
  if (Offset < 0 || Count < 0 || Offset > S.Size() || Count > S.Size() - Offset) return false;
  S.SetPosition(Offset);
  return Count == 0 || S.Read(Buffer, Count) == Count;
}

TQxTIFFEntry CopyOf(const TQxTIFFEntry& E) {
  TQxTIFFEntry c;
  c.Tag = E.Tag;
  c.Type = E.Type;
  c.Count = E.Count;
  std::memcpy(c.Value, E.Value, 4);
  c.Data = E.Data;
  c.Blocks = E.Blocks;
  if (E.Sub) {
    c.Sub = std::make_unique<TQxTIFFIFD>();
    for (const auto& s : E.Sub->Entries) c.Sub->Entries.push_back(CopyOf(s));
  }
  return c;
}

void WriteAt(TStream& S, int64_t At, const void* Data, int64_t Count) {
  S.SetPosition(At);
  if (Count > 0) S.WriteBuffer(Data, Count);
}

void PadEven(TStream& S, int64_t& Pos) {
  if (Pos & 1) {
    const uint8_t z = 0;
    WriteAt(S, Pos, &z, 1);
    ++Pos;
  }
}

}  // namespace

TQxTIFFHandler::TQxTIFFHandler() = default;
TQxTIFFHandler::~TQxTIFFHandler() = default;

uint16_t TQxTIFFHandler::OffsetTagPair(uint16_t Tag) const {
  switch (Tag) {
    case 273: return 279;
    case 324: return 325;
    case 513: return 514;
    case 48320: return FVersion == 444 ? 48321 : 0;
    case 48322: return FVersion == 444 ? 48323 : 0;
    default: return 0;
  }
}

bool TQxTIFFHandler::LoadFromFile(const std::string& FileName) {
  try {
    TQxWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    return ReadFromStream(f);
  } catch (const std::exception&) {
    return false;
  }
}

bool TQxTIFFHandler::ReadFromStream(TStream& Stream) {
  ClearPages();
  uint8_t h[8];
  if (Stream.Read(h, 8) != 8) return false;
  if (!((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))) return false;
  FBigEndian = h[0] == 'M';
  const bool le = !FBigEndian;
  FVersion = Get16(h + 2, le);
  int64_t at = Get32(h + 4, le);
  // Every directory is read once and the whole load is bounded by the file: overlapping strips or
  // directories that point back at each other cannot make a small file expand.
  FReadDirs.clear();
  FBudget = Stream.Size();
  FOverBudget = false;
  while (at > 0 && at < Stream.Size()) {
    auto page = std::make_unique<TQxTIFFIFD>();
    Stream.SetPosition(at);
    if (!ReadIFD(Stream, *page, 0)) break;
    const int64_t next = Stream.Position();
    FPages.push_back(std::move(page));
    uint8_t n[4];
    if (!ReadAt(Stream, next, n, 4)) break;
    at = Get32(n, le);
  }
  FReadDirs.clear();
  if (FOverBudget) {
    ClearPages();
    return false;
  }
  return true;
}

bool TQxTIFFHandler::Spend(uint64_t Bytes) {
  if (FOverBudget || Bytes > uint64_t(FBudget)) {
    FOverBudget = true;
    return false;
  }
  FBudget -= int64_t(Bytes);
  return true;
}

// Reads the directory at the stream's position; leaves the stream at its next-directory field.
bool TQxTIFFHandler::ReadIFD(TStream& Stream, TQxTIFFIFD& IFD, int Depth) {
  const bool le = !FBigEndian;
  const int64_t start = Stream.Position();
  if (!FReadDirs.insert(start).second) return false;
  uint8_t c[2];
  if (!ReadAt(Stream, start, c, 2)) return false;
  const uint32_t count = Get16(c, le);
  std::vector<uint8_t> raw(size_t(count) * 12);
  if (!Spend(2 + raw.size()) || !ReadAt(Stream, start + 2, raw.data(), int64_t(raw.size()))) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* r = raw.data() + size_t(i) * 12;
    TQxTIFFEntry e;
    e.Tag = Get16(r, le);
    e.Type = Get16(r + 2, le);
    e.Count = Get32(r + 4, le);
    std::memcpy(e.Value, r + 8, 4);
    const uint64_t bytes = EntryBytes(e);
    if (bytes > 4) {
      // Data as large as the file cannot be real: the rest of the directory is dropped with it.
      if (bytes >= uint64_t(Stream.Size())) break;
      if (!Spend(bytes)) return false;
      e.Data.resize(size_t(bytes));
      if (!ReadAt(Stream, Get32(e.Value, le), e.Data.data(), int64_t(bytes))) continue;
    }
    if (IsSubDirectory(e.Tag) && Depth < kMaxSubDepth && e.Count >= 1) {
      const int64_t subAt = Get32(e.Value, le);
      // A second pointer to a directory already read (a loop or a shared copy) is dropped.
      if (FReadDirs.count(subAt)) continue;
      auto sub = std::make_unique<TQxTIFFIFD>();
      Stream.SetPosition(subAt);
      if (ReadIFD(Stream, *sub, Depth + 1)) e.Sub = std::move(sub);
      if (FOverBudget) return false;
    }
    IFD.Entries.push_back(std::move(e));
  }
  // The data that offset tags point at, sized by their partners.
  for (auto& e : IFD.Entries) {
    const uint16_t pair = OffsetTagPair(e.Tag);
    if (!pair || e.Sub) continue;
    for (uint32_t k = 0; k < e.Count; ++k) {
      const int64_t off = GetValue(IFD, FindTagInIFD(IFD, e.Tag), k);
      int64_t len = GetTagValue(IFD, pair, k);
      len = std::clamp<int64_t>(len, 0, std::max<int64_t>(0, Stream.Size() - off));
      if (!Spend(uint64_t(len))) return false;
      std::vector<uint8_t> block(static_cast<size_t>(len));
      if (!ReadAt(Stream, off, block.data(), len)) block.clear();
      e.Blocks.push_back(std::move(block));
    }
    e.Type = 4;
    e.Data.clear();
  }
  // An old-style JPEG page keeps its interchange data only.
  if (GetTagValue(IFD, 259, 0) == 6 && FindTagInIFD(IFD, 273) >= 0 && FindTagInIFD(IFD, 513) >= 0)
    for (uint16_t t : {273, 519, 520, 521}) DeleteTag(IFD, FindTagInIFD(IFD, t));
  SortIFD(IFD);
  Stream.SetPosition(start + 2 + int64_t(raw.size()));
  return true;
}

int32_t TQxTIFFHandler::FindTag(int32_t PageIndex, uint16_t Tag) const {
  if (PageIndex < 0 || PageIndex >= PageCount()) return -1;
  return FindTagInIFD(*FPages[size_t(PageIndex)], Tag);
}

int32_t TQxTIFFHandler::FindTagInIFD(const TQxTIFFIFD& IFD, uint16_t Tag) {
  for (size_t i = 0; i < IFD.Entries.size(); ++i)
    if (IFD.Entries[i].Tag == Tag) return int32_t(i);
  return -1;
}

int64_t TQxTIFFHandler::GetValue(const TQxTIFFIFD& IFD, int32_t EntryIndex, uint32_t I) const {
  if (EntryIndex < 0 || size_t(EntryIndex) >= IFD.Entries.size()) return 0;
  const TQxTIFFEntry& e = IFD.Entries[size_t(EntryIndex)];
  if (I >= e.Count) return 0;
  const bool le = !FBigEndian;
  const uint32_t size = TypeSize(e.Type);
  const uint8_t* p = EntryBytes(e) <= 4 ? e.Value : (e.Data.size() >= uint64_t(I + 1) * size ? e.Data.data() : nullptr);
  if (!p) return 0;
  p += size_t(I) * size;
  switch (e.Type) {
    case 1:
    case 2:
    case 7: return p[0];
    case 6: return int8_t(p[0]);
    case 3:
    case 8: return Get16(p, le);
    case 4:
    case 9: return Get32(p, le);
    default: return 0;
  }
}

int64_t TQxTIFFHandler::GetTagValue(const TQxTIFFIFD& IFD, uint16_t Tag, uint32_t I) const {
  return GetValue(IFD, FindTagInIFD(IFD, Tag), I);
}

void TQxTIFFHandler::SetTagValue(TQxTIFFIFD& IFD, uint16_t Tag, double Value, uint16_t Type) {
  DeleteTag(IFD, FindTagInIFD(IFD, Tag));
  const bool le = !FBigEndian;
  TQxTIFFEntry e;
  e.Tag = Tag;
  e.Type = Type;
  e.Count = 1;
  uint8_t b[8] = {0};
  switch (Type) {
    case 1:
    case 6: b[0] = uint8_t(int64_t(Value)); break;
    case 3:
    case 8: Put16(b, uint32_t(int64_t(Value)), le); break;
    case 5:
    case 10:
      Put32(b, uint32_t(int64_t(Value * 10000)), le);
      Put32(b + 4, 10000, le);
      break;
    case 11: {
      const float f = float(Value);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      Put32(b, u, le);
      break;
    }
    case 12: {
      uint64_t u;
      std::memcpy(&u, &Value, 8);
      Put32(b, uint32_t(le ? u : u >> 32), le);
      Put32(b + 4, uint32_t(le ? u >> 32 : u), le);
      break;
    }
    default: Put32(b, uint32_t(int64_t(Value)), le); break;
  }
  if (TypeSize(Type) > 4)
    e.Data.assign(b, b + 8);
  else
    std::memcpy(e.Value, b, 4);
  IFD.Entries.push_back(std::move(e));
}

void TQxTIFFHandler::DeleteTag(TQxTIFFIFD& IFD, int32_t EntryIndex) {
  if (EntryIndex < 0 || size_t(EntryIndex) >= IFD.Entries.size()) return;
  IFD.Entries.erase(IFD.Entries.begin() + EntryIndex);
}

void TQxTIFFHandler::DeletePage(int32_t PageIndex) {
  if (PageIndex >= 0 && PageIndex < PageCount()) FPages.erase(FPages.begin() + PageIndex);
}

void TQxTIFFHandler::ClearPages() { FPages.clear(); }

void TQxTIFFHandler::SortIFD(TQxTIFFIFD& IFD) {
  std::stable_sort(IFD.Entries.begin(), IFD.Entries.end(),
                   [](const TQxTIFFEntry& A, const TQxTIFFEntry& B) { return A.Tag < B.Tag; });
}

void TQxTIFFHandler::CopyTag(int32_t SourcePage, int32_t SourceEntryIndex, const TQxTIFFHandler& Source,
                             int32_t DestPage) {
  if (SourcePage < 0 || SourcePage >= Source.PageCount() || DestPage < 0 || DestPage >= PageCount()) return;
  const TQxTIFFIFD& from = *Source.FPages[size_t(SourcePage)];
  if (SourceEntryIndex < 0 || size_t(SourceEntryIndex) >= from.Entries.size()) return;
  if (Source.FBigEndian != FBigEndian) return;
  TQxTIFFIFD& to = *FPages[size_t(DestPage)];
  const TQxTIFFEntry& e = from.Entries[size_t(SourceEntryIndex)];
  DeleteTag(to, FindTagInIFD(to, e.Tag));
  to.Entries.push_back(CopyOf(e));
}

int64_t TQxTIFFHandler::WriteIFD(TStream& Stream, TQxTIFFIFD& IFD, int64_t& DataPos) {
  const bool le = !FBigEndian;
  SortIFD(IFD);
  const int64_t start = DataPos;
  // An interchange-format JPEG without strip offsets gets one pointing at its scan.
  const bool addStrip = FindTagInIFD(IFD, 513) >= 0 && FindTagInIFD(IFD, 273) < 0;
  const size_t n = IFD.Entries.size() + (addStrip ? 1 : 0);
  DataPos = start + 2 + int64_t(n) * 12 + 4;
  struct TOut {
    uint16_t Tag, Type;
    uint32_t Count;
    uint8_t Value[4];
  };
  std::vector<TOut> out;
  for (TQxTIFFEntry& e : IFD.Entries) {
    TOut o{e.Tag, e.Type, e.Count, {0, 0, 0, 0}};
    if (e.Sub) {
      PadEven(Stream, DataPos);
      const int64_t at = DataPos;
      WriteIFD(Stream, *e.Sub, DataPos);
      o.Type = e.Type == 13 ? 13 : 4;
      o.Count = 1;
      Put32(o.Value, uint32_t(at), le);
    } else if (OffsetTagPair(e.Tag) && !e.Blocks.empty()) {
      std::vector<uint32_t> where;
      for (const auto& b : e.Blocks) {
        where.push_back(uint32_t(DataPos));
        WriteAt(Stream, DataPos, b.data(), int64_t(b.size()));
        if (e.Tag == 513 && addStrip) {
          size_t k = 0;
          while (k + 1 < b.size() && !(b[k] == 0xFF && b[k + 1] == 0xDA)) ++k;
          TOut s{273, 4, 1, {0, 0, 0, 0}};
          Put32(s.Value, uint32_t(DataPos + int64_t(k + 1 < b.size() ? k : b.size())), le);
          out.push_back(s);
        }
        DataPos += int64_t(b.size());
      }
      o.Type = 4;
      o.Count = uint32_t(where.size());
      if (where.size() == 1) {
        Put32(o.Value, where[0], le);
      } else {
        PadEven(Stream, DataPos);
        std::vector<uint8_t> arr(where.size() * 4);
        for (size_t k = 0; k < where.size(); ++k) Put32(arr.data() + 4 * k, where[k], le);
        Put32(o.Value, uint32_t(DataPos), le);
        WriteAt(Stream, DataPos, arr.data(), int64_t(arr.size()));
        DataPos += int64_t(arr.size());
      }
    } else if (EntryBytes(e) > 4) {
      PadEven(Stream, DataPos);
      Put32(o.Value, uint32_t(DataPos), le);
      WriteAt(Stream, DataPos, e.Data.data(), int64_t(e.Data.size()));
      DataPos += int64_t(e.Data.size());
    } else {
      std::memcpy(o.Value, e.Value, 4);
    }
    out.push_back(o);
  }
  std::stable_sort(out.begin(), out.end(), [](const TOut& A, const TOut& B) { return A.Tag < B.Tag; });
  std::vector<uint8_t> dir(2 + out.size() * 12 + 4, 0);
  Put16(dir.data(), uint32_t(out.size()), le);
  for (size_t k = 0; k < out.size(); ++k) {
    uint8_t* p = dir.data() + 2 + k * 12;
    Put16(p, out[k].Tag, le);
    Put16(p + 2, out[k].Type, le);
    Put32(p + 4, out[k].Count, le);
    std::memcpy(p + 8, out[k].Value, 4);
  }
  WriteAt(Stream, start, dir.data(), int64_t(dir.size()));
  return start + int64_t(dir.size()) - 4;
}

void TQxTIFFHandler::WriteStream(TStream& Stream, int32_t PageIndex) {
  const bool le = !FBigEndian;
  const int64_t base = Stream.Position();
  uint8_t h[8] = {uint8_t(FBigEndian ? 'M' : 'I'), uint8_t(FBigEndian ? 'M' : 'I')};
  Put16(h + 2, FVersion, le);
  Put32(h + 4, uint32_t(base + 8), le);
  WriteAt(Stream, base, h, 8);
  std::vector<TQxTIFFIFD*> pages;
  if (PageIndex >= 0 && PageIndex < PageCount())
    pages.push_back(FPages[size_t(PageIndex)].get());
  else
    for (auto& p : FPages) pages.push_back(p.get());
  int64_t pos = base + 8;
  for (size_t k = 0; k < pages.size(); ++k) {
    const int64_t nextField = WriteIFD(Stream, *pages[k], pos);
    PadEven(Stream, pos);
    // The next-directory field of this page: the next page's place, or 0 after the last.
    uint8_t next[4];
    Put32(next, k + 1 < pages.size() ? uint32_t(pos) : 0, le);
    WriteAt(Stream, nextField, next, 4);
  }
  Stream.SetPosition(pos);
}

void TQxTIFFHandler::WriteFile(const std::string& FileName, int32_t PageIndex) {
  TQxWideFileStream f(FileName, fmCreate);
  WriteStream(f, PageIndex);
}
