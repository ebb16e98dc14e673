#include "imaging/io/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/base/streams.h"

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int16_t S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
int32_t S32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

// MulDiv: rounded, in 64 bits.
int32_t MulDivRound(int64_t A, int64_t B, int64_t C) {
  if (C == 0) return 0;
  int64_t n = A * B;
  int64_t q = (n >= 0) == (C > 0) ? (std::llabs(n) + std::llabs(C) / 2) / std::llabs(C)
                                  : -((std::llabs(n) + std::llabs(C) / 2) / std::llabs(C));
  return static_cast<int32_t>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr uint32_t EmfSignature = 0x464D4520;

}  // namespace

void TQxMetafile::Clear() {
  FData.clear();
  FEnhanced = false;
  FWidth = FHeight = 0;
  FHeader = THeader();
  FError.clear();
}

bool TQxMetafile::LoadFromStream(TStream& Stream) {
  Clear();
  std::vector<uint8_t> data;
  const int64_t left = Stream.Size() - Stream.Position();
  if (left > QxMetafileMaxBytes) {
    FError = "The metafile is too large";
    return false;
  }
  if (left > 0) {
    data.resize(static_cast<size_t>(left));
    data.resize(static_cast<size_t>(Stream.Read(data.data(), left)));
  }
  return LoadFromBytes(std::move(data));
}

bool TQxMetafile::LoadFromBytes(std::vector<uint8_t> Data) {
  Clear();
  if (static_cast<int64_t>(Data.size()) > QxMetafileMaxBytes) {
    FError = "The metafile is too large";
    return false;
  }
  FData = std::move(Data);
  bool ok = false;
  if (FData.size() >= 44 && U32(FData.data()) == 1 && U32(FData.data() + 40) == EmfSignature)
    ok = ParseEmf();
  else
    ok = ParseWmf();
  if (!ok) {
    std::string e = FError.empty() ? "Not a metafile" : FError;
    Clear();
    FError = e;
  }
  return ok;
}

bool TQxMetafile::ParseEmf() {
  FEnhanced = true;
  const uint8_t* d = FData.data();
  const uint64_t n = FData.size();
  const uint32_t size = U32(d + 4);
  if (size < 88 || size > n || (size & 3) != 0) {
    FError = "The metafile's header record is damaged";
    return false;
  }
  const uint32_t bytes = U32(d + 48);
  const uint32_t records = U32(d + 52);
  // A count or size beyond the file means a damaged or cut file.
  if (bytes > n || bytes < size || static_cast<uint64_t>(records) * 8 > n) {
    FError = "The metafile's record count or size is larger than the file";
    return false;
  }
  FData.resize(bytes);
  THeader& h = FHeader;
  h.Records = records;
  const int32_t fl = S32(d + 24), ft = S32(d + 28), fr = S32(d + 32), fb = S32(d + 36);
  const int32_t devx = S32(d + 72), devy = S32(d + 76), mmx = S32(d + 80), mmy = S32(d + 84);
  if (devx <= 0 || devy <= 0 || mmx <= 0 || mmy <= 0) {
    FError = "The metafile's reference device is damaged";
    return false;
  }
  h.DevPerMmX = static_cast<double>(devx) / mmx;
  h.DevPerMmY = static_cast<double>(devy) / mmy;
  // The frame is in hundredths of a millimetre.
  h.FrameLeft = fl / 100.0 * h.DevPerMmX;
  h.FrameTop = ft / 100.0 * h.DevPerMmY;
  h.FrameRight = fr / 100.0 * h.DevPerMmX;
  h.FrameBottom = fb / 100.0 * h.DevPerMmY;
  FWidth = MulDivRound(static_cast<int64_t>(fr) - fl, 96, 2540);
  FHeight = MulDivRound(static_cast<int64_t>(fb) - ft, 96, 2540);
  if (FWidth < 0 || FHeight < 0) FWidth = FHeight = 0;
  return true;
}

bool TQxMetafile::ParseWmf() {
  FEnhanced = false;
  const uint8_t* d = FData.data();
  const uint64_t n = FData.size();
  THeader& h = FHeader;
  uint32_t start = 0;
  int32_t inch = 96;
  bool placeable = false;
  if (n >= 22 && U32(d) == PlaceableKey) {
    placeable = true;
    h.BoxLeft = S16(d + 6);
    h.BoxTop = S16(d + 8);
    h.BoxRight = S16(d + 10);
    h.BoxBottom = S16(d + 12);
    inch = U16(d + 14);
    start = 22;
  }
  if (n < start + 18) {
    FError = "Not a metafile";
    return false;
  }
  const uint8_t* m = d + start;
  const uint16_t type = U16(m), hsize = U16(m + 2);
  if ((type != 1 && type != 2) || hsize != 9) {
    FError = "Not a metafile";
    return false;
  }
  const uint64_t words = U32(m + 6);
  const uint64_t maxrec = U32(m + 12);
  // Some writers count the placeable header in the size, so the size is held against the whole file.
  if (words * 2 > n || maxrec * 2 > n) {
    FError = "The metafile's record count or size is larger than the file";
    return false;
  }
  if (words >= 9 && start + words * 2 < n) FData.resize(static_cast<size_t>(start + words * 2));
  h.Objects = U16(m + 10);
  h.RecordStart = start + 18;
  if (placeable) {
    if (inch == 0) inch = 1440;
    const int32_t mmw = MulDivRound(static_cast<int64_t>(h.BoxRight) - h.BoxLeft, 2540, inch);
    const int32_t mmh = MulDivRound(static_cast<int64_t>(h.BoxBottom) - h.BoxTop, 2540, inch);
    FWidth = std::abs(MulDivRound(mmw, 96, 2540));
    FHeight = std::abs(MulDivRound(mmh, 96, 2540));
    return true;
  }
  // Without the placeable header the picture is as large as its first window, one unit a pixel.
  bool haveExt = false;
  uint64_t p = h.RecordStart;
  while (p + 6 <= FData.size()) {
    const uint64_t rs = static_cast<uint64_t>(U32(d + p)) * 2;
    const uint16_t fn = U16(d + p + 4);
    if (rs < 6 || p + rs > FData.size() || fn == 0) break;
    if (fn == 0x020B && rs >= 10 && !haveExt) {
      h.BoxTop = S16(d + p + 6);
      h.BoxLeft = S16(d + p + 8);
    } else if (fn == 0x020C && rs >= 10) {
      h.BoxBottom = h.BoxTop + S16(d + p + 6);
      h.BoxRight = h.BoxLeft + S16(d + p + 8);
      haveExt = true;
      break;
    }
    p += rs;
  }
  FWidth = std::abs(h.BoxRight - h.BoxLeft);
  FHeight = std::abs(h.BoxBottom - h.BoxTop);
  return true;
}
