#include "imaging/io/png_bands.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/base/parallel.h"  // ParallelBandThreads

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

// Room for a band's deflated bytes, left untouched until deflate writes them, so that only what is
// written takes memory.
struct Buffer {
  std::unique_ptr<uint8_t[]> Bytes;
  size_t Size = 0;
  void Grow(size_t To, size_t Keep) {
    std::unique_ptr<uint8_t[]> More(new uint8_t[To]);
    if (Keep > 0) std::memcpy(More.get(), Bytes.get(), Keep);
    Bytes = std::move(More);
    Size = To;
  }
};

struct Piece {
  Buffer Data;
  size_t Made = 0;  // bytes of Data in use
  uLong Adler = 1;
  size_t Length = 0;  // filtered bytes it holds
  double Filter = 0, Deflate = 0;
  bool Failed = false;
};

// A batch of rows: Kept rows of the batch before (the dictionary's rows and the row above them), then the
// batch's own rows, each with room for its filter byte in front, so that unfiltered rows go to deflate as
// they lie.
struct Batch {
  int32_t First = 0, Last = 0;
  std::vector<uint8_t> Rows;
  std::vector<Piece> Pieces;
};

}  // namespace

bool PngBandsPay(size_t RowBytes, int32_t Height) { return Height > 1 && (RowBytes + 1) * size_t(Height) >= kPayingBytes; }

TPngWriteCosts LastPngWriteCosts() {
  std::lock_guard<std::mutex> Lock(gCostsLock);
  return gCosts;
}

bool DeflatePngRowsInBands(const TPngBandPlan& P,
                           const std::function<void(int32_t, int32_t, uint8_t*, size_t)>& Rows,
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
  const int32_t Kept = DictRows + 1;
  const int Level = std::clamp(P.Level, 0, 9);
  const int Strategy = P.FilterType == 0 ? Z_DEFAULT_STRATEGY : Z_FILTERED;
  const bool Unfiltered = P.FilterType == 0;
  const std::vector<uint8_t> Zeros(Stride, 0);

  // Where row y of batch B lies (its filter byte first); rows above the picture are zeros.
  auto At = [&](const Batch& B, int32_t y) -> const uint8_t* {
    return y < 0 ? Zeros.data() : B.Rows.data() + size_t(y - B.First + Kept) * Stride;
  };

  // The bands of a batch on threads of their own, so that the rows of the next batch, made meanwhile on
  // the calling thread, may use the shared workers.
  auto DeflateBand = [&](Batch& B, int32_t b, std::vector<uint8_t>& Filtered) {
    Piece& Pc = B.Pieces[size_t(b)];
    const int32_t F = B.First + b * BandRows, L = std::min(B.Last, F + BandRows);
    const int32_t DictFirst = std::max(0, F - DictRows);
    const auto T0 = Clock::now();
    const uint8_t* In = At(B, F);
    if (!Unfiltered) {
      Filtered.resize(size_t(L - DictFirst) * Stride);
      for (int32_t y = DictFirst; y < L; ++y)
        FilterRow(P, At(B, y) + 1, At(B, y - 1) + 1, Filtered.data() + size_t(y - DictFirst) * Stride);
      In = Filtered.data() + size_t(F - DictFirst) * Stride;
    }
    Pc.Length = size_t(L - F) * Stride;
    Pc.Adler = adler32(1, In, uInt(Pc.Length));
    const auto T1 = Clock::now();
    Pc.Filter = std::chrono::duration<double>(T1 - T0).count();
    z_stream Z{};
    // The largest hash zlib has: faster at the same level, and no larger a window.
    if (deflateInit2(&Z, Level, Z_DEFLATED, -15, 9, Strategy) != Z_OK) {
      Pc.Failed = true;
      return;
    }
    // The bytes before the band, as the reader will have inflated them.
    const size_t Dict = std::min(kWindow, size_t(F - DictFirst) * Stride);
    if (Dict > 0) deflateSetDictionary(&Z, In - Dict, uInt(Dict));
    // Two bytes in front for the zlib header, four at the end for its check, and the flush markers.
    Pc.Data.Grow(deflateBound(&Z, uLong(Pc.Length)) + 64, 0);
    Z.next_in = const_cast<Bytef*>(In);
    Z.avail_in = uInt(Pc.Length);
    // A sync flush ends the band on a byte boundary without ending the stream; the last band ends it.
    const int Flush = L == H ? Z_FINISH : Z_SYNC_FLUSH;
    size_t Made = 2;
    for (;;) {
      Z.next_out = Pc.Data.Bytes.get() + Made;
      Z.avail_out = uInt(Pc.Data.Size - 4 - Made);
      const int R = deflate(&Z, Flush);
      Made = Pc.Data.Size - 4 - Z.avail_out;
      if (R == Z_STREAM_END || (Flush == Z_SYNC_FLUSH && R == Z_OK && Z.avail_in == 0 && Z.avail_out > 0)) break;
      if (R != Z_OK && R != Z_BUF_ERROR) {
        Pc.Failed = true;
        break;
      }
      Pc.Data.Grow(Pc.Data.Size * 2, Made);
    }
    deflateEnd(&Z);
    Pc.Made = Made;
    Pc.Deflate = Since(T1);
  };
  auto DeflateBatch = [&](Batch& B) {
    const int32_t Bands = (B.Last - B.First + BandRows - 1) / BandRows;
    B.Pieces.clear();
    B.Pieces.resize(size_t(Bands));
    std::atomic<int32_t> Next{0};
    auto Work = [&] {
      std::vector<uint8_t> Filtered;
      for (int32_t b; (b = Next.fetch_add(1)) < Bands;) {
        try {
          DeflateBand(B, b, Filtered);
        } catch (...) {
          B.Pieces[size_t(b)].Failed = true;
        }
      }
    };
    std::vector<std::thread> Helpers;
    for (int32_t i = 1; i < std::min(Threads, Bands); ++i) {
      try {
        Helpers.emplace_back(Work);
      } catch (...) {
        break;  // no more threads to be had: those there are do the bands
      }
    }
    Work();
    for (std::thread& T : Helpers) T.join();
  };

  // Fills batch B from row First on; the kept rows come from Before, the batch before it.
  auto Fill = [&](Batch& B, const Batch* Before, int32_t First) {
    B.First = First;
    B.Last = std::min(H, First + GroupRows);
    B.Rows.resize(size_t(Kept + GroupRows) * Stride);
    if (Before)
      for (int32_t y = std::max(0, First - Kept); y < First; ++y)
        std::memcpy(B.Rows.data() + size_t(y - First + Kept) * Stride, At(*Before, y), Stride);
    const auto T = Clock::now();
    uint8_t* R = B.Rows.data() + size_t(Kept) * Stride;
    for (int32_t y = B.First; y < B.Last; ++y) R[size_t(y - First) * Stride] = uint8_t(P.FilterType);
    Rows(B.First, B.Last, R + 1, Stride);
    Costs.Rows += Since(T);
  };

  // The zlib header: deflate with a 32 KB window, the level's hint, a check that makes it divisible by 31.
  const unsigned LevelFlags = Level < 2 ? 0 : (Level < 6 ? 1 : (Level == 6 ? 2 : 3));
  unsigned Header = (0x78u << 8) | (LevelFlags << 6);
  Header += 31 - Header % 31;
  uLong Adler = adler32(0, nullptr, 0);
  bool Ok = true, First = true;

  // The next batch's rows are made while the cores deflate the batch before.
  Batch Batches[2];
  int Cur = 0;
  Fill(Batches[0], nullptr, 0);
  while (Ok) {
    Batch& B = Batches[Cur];
    Batch& Next = Batches[1 - Cur];
    const bool More = B.Last < H;
    std::future<void> Deflating;
    try {
      // On one core the two would only take turns.
      if (Threads > 1) Deflating = std::async(std::launch::async, [&] { DeflateBatch(B); });
    } catch (...) {
    }
    if (!Deflating.valid()) DeflateBatch(B);
    if (More) {
      try {
        Fill(Next, &B, B.Last);
      } catch (...) {
        if (Deflating.valid()) Deflating.wait();
        throw;
      }
    }
    if (Deflating.valid()) Deflating.get();
    const auto T = Clock::now();
    for (size_t i = 0; i < B.Pieces.size() && Ok; ++i) {
      Piece& Pc = B.Pieces[i];
      if (Pc.Failed) {
        Ok = false;
        break;
      }
      Adler = adler32_combine(Adler, Pc.Adler, z_off_t(Pc.Length));
      Costs.Filter += Pc.Filter;
      Costs.Deflate += Pc.Deflate;
      uint8_t* D = Pc.Data.Bytes.get();
      size_t From = 2, To = Pc.Made;
      if (First) {
        D[0] = uint8_t(Header >> 8);
        D[1] = uint8_t(Header & 0xFF);
        From = 0;
      }
      First = false;
      if (!More && i + 1 == B.Pieces.size())
        for (int k = 3; k >= 0; --k) D[To++] = uint8_t(Adler >> (8 * k));
      Out(D + From, To - From);
      Pc.Data = Buffer{};
    }
    Costs.Output += Since(T);
    if (Ok && !Done(B.Last)) Ok = false;
    if (!More) break;
    Cur = 1 - Cur;
  }
  std::lock_guard<std::mutex> Lock(gCostsLock);
  gCosts = Costs;
  return Ok;
}
