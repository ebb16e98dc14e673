#include "imaging/foundation/metadata.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "platform/base/streams.h"

// ---------------------------------------------------------------------------------------------------------
// TQxMarkerList

TQxMarkerList::TQxMarkerList() = default;
TQxMarkerList::~TQxMarkerList() = default;

int32_t TQxMarkerList::Count() const { return static_cast<int32_t>(FCodes.size()); }

uint8_t* TQxMarkerList::MarkerData(int32_t Index) {
  auto& d = FData.at(Index);
  return d.empty() ? nullptr : d.data();
}

const uint8_t* TQxMarkerList::MarkerData(int32_t Index) const {
  const auto& d = FData.at(Index);
  return d.empty() ? nullptr : d.data();
}

uint8_t TQxMarkerList::MarkerType(int32_t Index) const { return FCodes.at(Index); }

uint16_t TQxMarkerList::MarkerLength(int32_t Index) const {
  return static_cast<uint16_t>(FData.at(Index).size());
}

int32_t TQxMarkerList::IndexOf(uint8_t Code) const {
  for (size_t i = 0; i < FCodes.size(); ++i)
    if (FCodes[i] == Code) return static_cast<int32_t>(i);
  return -1;
}

bool TQxMarkerList::AddMarker(uint8_t Code, const void* Data, size_t Length) {
  if (Length > MaxMarkerLength || (Length > 0 && !Data)) return false;
  const auto* p = static_cast<const uint8_t*>(Data);
  FData.emplace_back(p, p + Length);
  FCodes.push_back(Code);
  return true;
}

bool TQxMarkerList::SetMarker(int32_t Index, uint8_t Code, const void* Data, size_t Length) {
  if (Length > MaxMarkerLength || (Length > 0 && !Data)) return false;
  const auto* p = static_cast<const uint8_t*>(Data);
  FData.at(Index).assign(p, p + Length);
  FCodes[Index] = Code;
  return true;
}

void TQxMarkerList::Clear() {
  FData.clear();
  FCodes.clear();
}

void TQxMarkerList::Delete(int32_t Index) {
  FData.at(Index);
  FData.erase(FData.begin() + Index);
  FCodes.erase(FCodes.begin() + Index);
}

void TQxMarkerList::AssignFrom(const TQxMarkerList* Source) {
  if (!Source || Source == this) return;
  FData = Source->FData;
  FCodes = Source->FCodes;
}

static bool IsIccChunk(const std::vector<uint8_t>& d) {
  return d.size() > 13 && std::memcmp(d.data(), "ICC_PROFILE", 12) == 0;
}

int32_t TQxMarkerList::CompareMarkers(int32_t I, int32_t J) const {
  const uint8_t a = FCodes.at(I), b = FCodes.at(J);
  if (a == 0xE2 && b == 0xE2 && IsIccChunk(FData[I]) && IsIccChunk(FData[J]))
    return int32_t(FData[I][12]) - int32_t(FData[J][12]);
  return int32_t(a) - int32_t(b);
}

void TQxMarkerList::Exchange(int32_t I, int32_t J) {
  std::swap(FData.at(I), FData.at(J));
  std::swap(FCodes[I], FCodes[J]);
}

void TQxMarkerList::Sort() {
  // Stable, so that two COM or two APP1 segments stay in the order the file had them.
  std::vector<int32_t> order(FCodes.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [this](int32_t i, int32_t j) { return CompareMarkers(i, j) < 0; });
  std::vector<std::vector<uint8_t>> data;
  std::vector<uint8_t> codes;
  data.reserve(order.size());
  for (int32_t i : order) {
    data.push_back(std::move(FData[i]));
    codes.push_back(FCodes[i]);
  }
  FData = std::move(data);
  FCodes = std::move(codes);

  const int32_t k = IndexOf(0xE1);
  if (k < 0) return;
  for (int32_t m = k + 1; m < Count(); ++m)
    if (FCodes[m] == 0xE1 && QxIsEXIFHeader(FData[m].data(), static_cast<int32_t>(FData[m].size())))
      Exchange(k, m);
}

// ---------------------------------------------------------------------------------------------------------
// TQxIPTCInfoList

TQxIPTCInfoList::TQxIPTCInfoList() = default;
TQxIPTCInfoList::~TQxIPTCInfoList() = default;

int32_t TQxIPTCInfoList::Count() const { return static_cast<int32_t>(FEntries.size()); }
int32_t TQxIPTCInfoList::RecordNumber(int32_t Index) const { return FEntries.at(Index).Record; }
int32_t TQxIPTCInfoList::DatasetNumber(int32_t Index) const { return FEntries.at(Index).Dataset; }
int32_t TQxIPTCInfoList::DataLength(int32_t Index) const {
  return static_cast<int32_t>(FEntries.at(Index).Data.size());
}
const uint8_t* TQxIPTCInfoList::Data(int32_t Index) const {
  const auto& d = FEntries.at(Index).Data;
  return d.empty() ? nullptr : d.data();
}

int32_t TQxIPTCInfoList::AddRecord(int32_t Record, int32_t Dataset, int32_t Length, const void* Data) {
  TEntry e{Record, Dataset, {}};
  if (Length > 0 && Data) {
    const auto* p = static_cast<const uint8_t*>(Data);
    e.Data.assign(p, p + Length);
  }
  FEntries.push_back(std::move(e));
  FModified = true;
  return Count() - 1;
}

void TQxIPTCInfoList::Clear() {
  FEntries.clear();
  FModified = true;
}

void TQxIPTCInfoList::AssignFrom(const TQxIPTCInfoList* Source) {
  if (!Source) return;
  if (Source != this) FEntries = Source->FEntries;
  FModified = true;
}

static void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

void TQxIPTCInfoList::SaveToBuffer(std::vector<uint8_t>& Buffer, bool PhotoshopHeader) const {
  Buffer.clear();
  if (FEntries.empty()) return;
  if (PhotoshopHeader) {
    static const char head[] = "Photoshop 3.0";
    Buffer.assign(head, head + 14);  // with its zero byte
    const uint8_t res[12] = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0, 0, 0, 0};
    Buffer.insert(Buffer.end(), res, res + 12);
  } else {
    const uint8_t version[7] = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
    Buffer.assign(version, version + 7);
  }
  uint32_t total = 0;
  for (const auto& e : FEntries) {
    if ((e.Record == 2 && e.Dataset == 0) || e.Data.empty()) continue;
    const uint32_t len = static_cast<uint32_t>(e.Data.size());
    Buffer.push_back(0x1C);
    Buffer.push_back(uint8_t(e.Record));
    Buffer.push_back(uint8_t(e.Dataset));
    uint32_t head = 5;
    if (len < 32768) {
      Buffer.push_back(uint8_t(len >> 8));
      Buffer.push_back(uint8_t(len));
    } else {
      Buffer.push_back(0x80);
      Buffer.push_back(0x04);
      uint8_t b[4];
      PutBE32(b, len);
      Buffer.insert(Buffer.end(), b, b + 4);
      head = 9;
    }
    Buffer.insert(Buffer.end(), e.Data.begin(), e.Data.end());
    total += head + len;
  }
  if (Buffer.size() % 2) Buffer.push_back(0);
  if (PhotoshopHeader) PutBE32(Buffer.data() + 22, total);
}

bool TQxIPTCInfoList::LoadFromBuffer(const void* Buffer, int32_t Length) {
  Clear();
  if (Length <= 0 || !Buffer) return false;
  const auto* p = static_cast<const uint8_t*>(Buffer);
  const size_t n = static_cast<size_t>(Length);
  bool result = false;
  size_t b = 0;
  if (n >= 13 && std::memcmp(p, "Photoshop 3.0", 13) == 0) {
    static const uint8_t sig[6] = {'8', 'B', 'I', 'M', 0x04, 0x04};
    const uint8_t* f = std::search(p, p + n, sig, sig + 6);
    b = f == p + n ? n : size_t(f - p) + 6;
  }
  while (b < n && p[b] != 0x1C) ++b;
  while (b + 1 < n && p[b + 1] == 0x1C) ++b;
  while (b < n && p[b] == 0x1C) {
    if (b + 5 >= n) break;
    const int32_t record = p[b + 1], dataset = p[b + 2];
    uint64_t len;
    size_t start;
    if (p[b + 3] & 0x80) {
      // The extended length needs its four bytes inside the block.
      if (b + 9 > n) break;
      len = (uint32_t(p[b + 5]) << 24) | (uint32_t(p[b + 6]) << 16) | (uint32_t(p[b + 7]) << 8) | p[b + 8];
      len = static_cast<uint64_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(len))));
      start = b + 9;
    } else {
      len = (uint32_t(p[b + 3]) << 8) | p[b + 4];
      start = b + 5;
    }
    if (start + len > n) break;
    AddRecord(record, dataset, static_cast<int32_t>(len), p + start);
    result = true;
    b = start + len;
    if (b >= n) break;
  }
  FModified = false;
  return result;
}

// ---------------------------------------------------------------------------------------------------------
// EXIF and XMP blocks

bool QxIsEXIFHeader(const void* Data, int32_t Length) {
  // Only a block that holds the whole header counts.
  return Data && Length >= 5 && std::memcmp(Data, "Exif\0", 5) == 0;
}

namespace {
struct TiffReader {
  const uint8_t* p;
  size_t n;
  bool big;
  bool ok = true;
  uint32_t U16(size_t at) {
    if (at + 2 > n) { ok = false; return 0; }
    return big ? (uint32_t(p[at]) << 8 | p[at + 1]) : (uint32_t(p[at + 1]) << 8 | p[at]);
  }
  uint32_t U32(size_t at) {
    if (at + 4 > n) { ok = false; return 0; }
    return big ? (uint32_t(p[at]) << 24 | uint32_t(p[at + 1]) << 16 | uint32_t(p[at + 2]) << 8 | p[at + 3])
               : (uint32_t(p[at + 3]) << 24 | uint32_t(p[at + 2]) << 16 | uint32_t(p[at + 1]) << 8 | p[at]);
  }
};
}  // namespace

bool QxReadExifBasicTags(const uint8_t* Data, size_t Length, TQxExifBasicTags& Tags) {
  Tags = {};
  if (!Data || Length < 8) return false;
  TiffReader r{Data, Length, false};
  if (Data[0] == 'M' && Data[1] == 'M') r.big = true;
  else if (!(Data[0] == 'I' && Data[1] == 'I')) return false;
  if (r.U16(2) != 42) return false;
  const uint32_t ifd = r.U32(4);
  const uint32_t count = r.U16(ifd);
  if (!r.ok) return false;
  auto rational = [&](uint32_t off) -> double {
    const uint32_t num = r.U32(off), den = r.U32(off + 4);
    return r.ok && den ? double(num) / double(den) : 0.0;
  };
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = size_t(ifd) + 2 + size_t(i) * 12;
    if (e + 12 > Length) break;
    const uint32_t tag = r.U16(e), type = r.U16(e + 2);
    switch (tag) {
      case 0x0112:  // orientation
        if (type == 3) Tags.Orientation = int32_t(r.U16(e + 8));
        break;
      case 0x0128:  // resolution unit
        if (type == 3) Tags.ResolutionUnit = int32_t(r.U16(e + 8));
        break;
      case 0x011A:  // X resolution
      case 0x011B:  // Y resolution
        if (type == 5) {
          const double v = rational(r.U32(e + 8));
          (tag == 0x011A ? Tags.XResolution : Tags.YResolution) = v;
          r.ok = true;
        }
        break;
      default:
        break;
    }
  }
  return true;
}

const char QxXmpNamespace[] = "http://ns.adobe.com/xap/1.0/";

const uint8_t* QxFindXMP(const void* Data, int32_t Length) {
  if (!Data || Length < 30 || std::memcmp(Data, QxXmpNamespace, 24) != 0) return nullptr;
  const auto* p = static_cast<const uint8_t*>(Data);
  // The packet begins after the identifier's zero byte; a block without one has no packet.
  const void* z = std::memchr(p, 0, static_cast<size_t>(Length));
  return z ? static_cast<const uint8_t*>(z) + 1 : nullptr;
}

bool QxSetExifOrientationTag(uint8_t* Data, size_t Length, int32_t Orientation) {
  if (!Data || Length < 8) return false;
  TiffReader r{Data, Length, false};
  if (Data[0] == 'M' && Data[1] == 'M') r.big = true;
  else if (!(Data[0] == 'I' && Data[1] == 'I')) return false;
  if (r.U16(2) != 42) return false;
  const uint32_t ifd = r.U32(4);
  const uint32_t count = r.U16(ifd);
  if (!r.ok) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = size_t(ifd) + 2 + size_t(i) * 12;
    if (e + 12 > Length) break;
    if (r.U16(e) == 0x0112 && r.U16(e + 2) == 3) {
      uint8_t* v = Data + e + 8;
      if (r.big) {
        v[0] = uint8_t(Orientation >> 8);
        v[1] = uint8_t(Orientation);
      } else {
        v[0] = uint8_t(Orientation);
        v[1] = uint8_t(Orientation >> 8);
      }
      return true;
    }
  }
  return false;
}

int64_t QxFindTIFFHeader(TStream& Stream) {
  const int64_t p = Stream.Position();
  const int64_t size = Stream.Size();
  std::vector<uint8_t> buf(131072);
  const int64_t n = std::max<int64_t>(0, Stream.Read(buf.data(), int64_t(buf.size())));
  Stream.SetPosition(p);
  for (int64_t i = 0; i + 8 <= n; ++i) {
    const uint8_t* b = buf.data() + i;
    const bool ii = b[0] == 'I' && b[1] == 'I', mm = b[0] == 'M' && b[1] == 'M';
    if (!ii && !mm) continue;
    TiffReader r{b, 8, mm};
    const uint32_t magic = r.U16(2), ifd = r.U32(4);
    if (int64_t(ifd) < size && (magic == 42 || magic == 0x4F52 || magic == 0x5352)) return i;
  }
  return -1;
}
