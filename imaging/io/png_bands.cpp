#include "imaging/io/png_bands.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/base/parallel.h"

namespace {

constexpr size_t kWindow = 32768;
// Below this many bytes of image data the threads cost more than they save.
constexpr size_t kPayingBytes = size_t(2) << 20;

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point T) { return std::chrono::duration<double>(Clock::now() - T).count(); }

std::mutex gCostsLock;
TPngWriteCosts gCosts;

inline uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : (pb <= pc ? b : c));
}

// One row with its filter byte in front; Prev is the unfiltered row above (zeros for the first row).
void FilterRow(const TPngBandPlan& P, const uint8_t* Row, const uint8_t* Prev, uint8_t* Out) {
  const size_t n = P.RowBytes, bpp = size_t(P.PixelBytes);
  *Out++ = uint8_t(P.FilterType);
  switch (P.FilterType) {
    case 1:
      for (size_t i = 0; i < n; ++i) Out[i] = uint8_t(Row[i] - (i >= bpp ? Row[i - bpp] : 0));
      break;
    case 2:
      for (size_t i = 0; i < n; ++i) Out[i] = uint8_t(Row[i] - Prev[i]);
      break;
    case 3:
      for (size_t i = 0; i < n; ++i) Out[i] = uint8_t(Row[i] - ((i >= bpp ? Row[i - bpp] : 0) + Prev[i]) / 2);
      break;
    case 4:
      for (size_t i = 0; i < bpp && i < n; ++i) Out[i] = uint8_t(Row[i] - Prev[i]);
      for (size_t i = bpp; i < n; ++i) Out[i] = uint8_t(Row[i] - Paeth(Row[i - bpp], Prev[i], Prev[i - bpp]));
      break;
    default: std::memcpy(Out, Row, n); break;
  }
}

struct Piece {
  std::vector<uint8_t> Data;
  uLong Adler = 1;
  size_t Length = 0;  // filtered bytes it holds
  double Filter = 0, Deflate = 0;
  bool Failed = false;
};

}  // namespace

bool PngBandsPay(size_t RowBytes, int32_t Height) { return Height > 1 && (RowBytes + 1) * size_t(Height) >= kPayingBytes; }

TPngWriteCosts LastPngWriteCosts() {
  std::lock_guard<std::mutex> Lock(gCostsLock);
  return gCosts;
}

bool DeflatePngRowsInBands(const TPngBandPlan& P, const std::function<void(int32_t, int32_t, uint8_t*)>& Rows,
                           const std::function<void(const uint8_t*, size_t)>& Out,
                           const std::function<bool(int32_t)>& Done) {
  if (P.Height <= 0 || P.RowBytes == 0) return false;
  TPngWriteCosts Costs;
  const size_t Stride = P.RowBytes + 1;
  const int32_t H = P.Height;
  const int32_t BandRows = int32_t(std::clamp<size_t>(P.BandBytes / Stride, 1, size_t(H)));
  const int32_t Threads = std::max(1, ParallelBandThreads());
  // Two bands per thread, so that a thread a busy machine slows holds the others up less.
  const int32_t GroupBands = Threads > 1 ? Threads * 2 : 1;
  const int32_t GroupRows = int32_t(std::min<int64_t>(int64_t(BandRows) * GroupBands, H));
  // The filtered rows that fill a band's dictionary, and the raw row they are filtered against.
  const int32_t DictRows = int32_t(std::min<size_t>((kWindow + Stride - 1) / Stride, size_t(H)));
  const int32_t KeptRows = DictRows + 1;
  const int Level = std::clamp(P.Level, 0, 9);
  const int Strategy = P.FilterType == 0 ? Z_DEFAULT_STRATEGY : Z_FILTERED;

  // Raw rows of the batch, after the rows of the batch before that the first bands look back at.
  std::vector<uint8_t> Raw(size_t(KeptRows + GroupRows) * P.RowBytes);
  const std::vector<uint8_t> Zeros(P.RowBytes, 0);
  int32_t First = 0;  // first row of the batch
  auto RawRow = [&](int32_t y) -> const uint8_t* {
    return y < 0 ? Zeros.data() : Raw.data() + size_t(y - First + KeptRows) * P.RowBytes;
  };

  // The zlib header: deflate with a 32 KB window, the level's hint, a check that makes it divisible by 31.
  const unsigned LevelFlags = Level < 2 ? 0 : (Level < 6 ? 1 : (Level == 6 ? 2 : 3));
  unsigned Header = (0x78u << 8) | (LevelFlags << 6);
  Header += 31 - Header % 31;
  const uint8_t Head[2] = {uint8_t(Header >> 8), uint8_t(Header & 0xFF)};
  auto T = Clock::now();
  Out(Head, 2);
  Costs.Output += Since(T);

  uLong Adler = adler32(0, nullptr, 0);
  std::vector<Piece> Pieces;
  int32_t PrevCount = 0;
  bool Ok = true;
  for (; First < H && Ok; First += PrevCount) {
    const int32_t Last = std::min(H, First + GroupRows);
    // The batch before's last rows move to the front.
    if (PrevCount > 0) std::memmove(Raw.data(), Raw.data() + size_t(PrevCount) * P.RowBytes, size_t(KeptRows) * P.RowBytes);
    T = Clock::now();
    Rows(First, Last, Raw.data() + size_t(KeptRows) * P.RowBytes);
    Costs.Rows += Since(T);
    const int32_t Bands = (Last - First + BandRows - 1) / BandRows;
    Pieces.assign(size_t(Bands), Piece{});
    ParallelBands(0, Bands, 1, [&](int32_t B0, int32_t B1) {
      std::vector<uint8_t> Filtered;
      for (int32_t b = B0; b < B1; ++b) {
        Piece& Pc = Pieces[size_t(b)];
        const int32_t F = First + b * BandRows, L = std::min(Last, F + BandRows);
        const int32_t DictFirst = std::max(0, F - DictRows);
        auto T0 = Clock::now();
        Filtered.resize(size_t(L - DictFirst) * Stride);
        for (int32_t y = DictFirst; y < L; ++y) FilterRow(P, RawRow(y), RawRow(y - 1), Filtered.data() + size_t(y - DictFirst) * Stride);
        const uint8_t* In = Filtered.data() + size_t(F - DictFirst) * Stride;
        Pc.Length = size_t(L - F) * Stride;
        Pc.Adler = adler32(1, In, uInt(Pc.Length));
        auto T1 = Clock::now();
        Pc.Filter = std::chrono::duration<double>(T1 - T0).count();
        z_stream Z{};
        if (deflateInit2(&Z, Level, Z_DEFLATED, -15, 8, Strategy) != Z_OK) {
          Pc.Failed = true;
          continue;
        }
        const size_t Dict = std::min(kWindow, size_t(F - DictFirst) * Stride);
        if (Dict > 0) deflateSetDictionary(&Z, In - Dict, uInt(Dict));
        // Room for the worst case and the flush markers; grown if ever short.
        Pc.Data.resize(deflateBound(&Z, uLong(Pc.Length)) + 64);
        Z.next_in = const_cast<Bytef*>(In);
        Z.avail_in = uInt(Pc.Length);
        const int Flush = L == H ? Z_FINISH : Z_SYNC_FLUSH;
        size_t Made = 0;
        for (;;) {
          Z.next_out = Pc.Data.data() + Made;
          Z.avail_out = uInt(Pc.Data.size() - Made);
          const int R = deflate(&Z, Flush);
          Made = Pc.Data.size() - Z.avail_out;
          if (R == Z_STREAM_END || (Flush == Z_SYNC_FLUSH && R == Z_OK && Z.avail_in == 0 && Z.avail_out > 0)) break;
          if (R != Z_OK && R != Z_BUF_ERROR) {
            Pc.Failed = true;
            break;
          }
          Pc.Data.resize(Pc.Data.size() * 2);
        }
        deflateEnd(&Z);
        Pc.Data.resize(Made);
        Pc.Deflate = Since(T1);
      }
    });
    T = Clock::now();
    for (Piece& Pc : Pieces) {
      if (Pc.Failed) {
        Ok = false;
        break;
      }
      Out(Pc.Data.data(), Pc.Data.size());
      Adler = adler32_combine(Adler, Pc.Adler, z_off_t(Pc.Length));
      Costs.Filter += Pc.Filter;
      Costs.Deflate += Pc.Deflate;
    }
    Costs.Output += Since(T);
    PrevCount = Last - First;
    if (Ok && !Done(Last)) Ok = false;
  }
  if (Ok) {
    const uint8_t Tail[4] = {uint8_t(Adler >> 24), uint8_t(Adler >> 16), uint8_t(Adler >> 8), uint8_t(Adler)};
    T = Clock::now();
    Out(Tail, 4);
    Costs.Output += Since(T);
  }
  std::lock_guard<std::mutex> Lock(gCostsLock);
  gCosts = Costs;
  return Ok;
}
