#include "imaging/io/png_bands.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstring>
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

// Room for a band's deflated bytes, kept by its slot for the bands after; pages deflate never writes are
// never touched, so that only what is written takes memory.
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

// A band's rows and what deflating them made. Rows holds Kept rows before the band (the dictionary's rows
// and the row above them), then the band's own rows, each with its filter byte in front, so that
// unfiltered rows go to deflate as they lie.
struct Slot {
  int32_t First = 0, Last = 0;
  std::vector<uint8_t> Rows;
  Buffer Data;
  size_t Made = 0;  // bytes of Data in use
  uLong Adler = 1;
  size_t Length = 0;  // filtered bytes it holds
  double Filter = 0, Deflate = 0;
  bool Failed = false;
};

// The zlib header: deflate with a 32 KB window, the level's hint, a check that makes it divisible by 31.
unsigned ZlibHeader(int Level) {
  const unsigned LevelFlags = Level < 2 ? 0 : (Level < 6 ? 1 : (Level == 6 ? 2 : 3));
  unsigned Header = (0x78u << 8) | (LevelFlags << 6);
  return Header + (31 - Header % 31);
}

}  // namespace

bool PngBandsPay(size_t RowBytes, int32_t Height) { return Height > 1 && (RowBytes + 1) * size_t(Height) >= kPayingBytes; }

TPngWriteCosts LastPngWriteCosts() {
  std::lock_guard<std::mutex> Lock(gCostsLock);
  return gCosts;
}

namespace {

// Progress is told at every hundredth of the rows and at the end.
struct Reporter {
  const std::function<bool(int32_t)>& Done;
  int32_t H, Step, Next;
  Reporter(const std::function<bool(int32_t)>& D, int32_t Height)
      : Done(D), H(Height), Step(std::max(1, Height / 100)), Next(std::max(1, Height / 100)) {}
  bool Tell(int32_t RowsSoFar) {
    if (RowsSoFar < Next && RowsSoFar < H) return true;
    while (Next <= RowsSoFar) Next += Step;
    return Done(RowsSoFar);
  }
};

// One thread: one zlib stream through the rows, a band at a time, with no dictionaries to prime.
bool DeflateSerially(const TPngBandPlan& P, int32_t BandRows, TPngWriteCosts& Costs,
                     const std::function<void(int32_t, int32_t, uint8_t*, size_t)>& Rows,
                     const std::function<void(const uint8_t*, size_t)>& Out, Reporter& Tell) {
  const size_t Stride = P.RowBytes + 1;
  const int32_t H = P.Height;
  const bool Unfiltered = P.FilterType == 0;
  // The row above the band (zeros above the picture), then the band's rows.
  std::vector<uint8_t> Raw(size_t(BandRows + 1) * Stride, 0), Filtered(Unfiltered ? 0 : size_t(BandRows) * Stride);
  std::vector<uint8_t> Made(std::max<size_t>(size_t(64) << 10, std::min<size_t>(size_t(BandRows) * Stride, size_t(1) << 20)));
  z_stream Z{};
  if (deflateInit2(&Z, std::clamp(P.Level, 0, 9), Z_DEFLATED, 15, 9,
                   Unfiltered ? Z_DEFAULT_STRATEGY : Z_FILTERED) != Z_OK)
    return false;
  bool Ok = true;
  try {
    for (int32_t F = 0; F < H && Ok; F += BandRows) {
      const int32_t L = std::min(H, F + BandRows);
      if (F > 0) std::memcpy(Raw.data(), Raw.data() + size_t(BandRows) * Stride, Stride);
      auto T = Clock::now();
      uint8_t* First = Raw.data() + Stride;
      for (int32_t y = F; y < L; ++y) First[size_t(y - F) * Stride] = uint8_t(P.FilterType);
      Rows(F, L, First + 1, Stride);
      Costs.Rows += Since(T);
      T = Clock::now();
      const uint8_t* In = First;
      if (!Unfiltered) {
        for (int32_t y = F; y < L; ++y)
          FilterRow(P, First + size_t(y - F) * Stride + 1, First + (size_t(y - F) - 1) * Stride + 1,
                    Filtered.data() + size_t(y - F) * Stride);
        In = Filtered.data();
      }
      Costs.Filter += Since(T);
      T = Clock::now();
      Z.next_in = const_cast<Bytef*>(In);
      Z.avail_in = uInt(size_t(L - F) * Stride);
      const int Flush = L == H ? Z_FINISH : Z_NO_FLUSH;
      const double OutputBefore = Costs.Output;
      for (;;) {
        Z.next_out = Made.data();
        Z.avail_out = uInt(Made.size());
        const int R = deflate(&Z, Flush);
        if (R != Z_OK && R != Z_STREAM_END && R != Z_BUF_ERROR) {
          Ok = false;
          break;
        }
        const size_t N = Made.size() - Z.avail_out;
        if (N > 0) {
          const auto T2 = Clock::now();
          Out(Made.data(), N);
          Costs.Output += Since(T2);
        }
        if (R == Z_STREAM_END || (Flush == Z_NO_FLUSH && Z.avail_in == 0 && Z.avail_out > 0)) break;
      }
      // Handing the stream on is told apart.
      Costs.Deflate += Since(T) - (Costs.Output - OutputBefore);
      if (Ok && !Tell.Tell(L)) Ok = false;
    }
  } catch (...) {
    deflateEnd(&Z);
    throw;
  }
  deflateEnd(&Z);
  return Ok;
}

}  // namespace

bool DeflatePngRowsInBands(const TPngBandPlan& P,
                           const std::function<void(int32_t, int32_t, uint8_t*, size_t)>& Rows,
                           const std::function<void(const uint8_t*, size_t)>& Out,
                           const std::function<bool(int32_t)>& Done) {
  if (P.Height <= 0 || P.RowBytes == 0) return false;
  TPngWriteCosts Costs;
  Reporter Tell(Done, P.Height);
  const size_t Stride = P.RowBytes + 1;
  const int32_t H = P.Height;
  const int32_t BandRows = int32_t(std::clamp<size_t>(P.BandBytes / Stride, 1, size_t(H)));
  const int32_t Threads = std::max(1, P.Threads > 0 ? P.Threads : ParallelBandThreads());
  const int32_t Bands = (H + BandRows - 1) / BandRows;
  if (Threads < 2 || Bands < 2) {
    const bool Ok = DeflateSerially(P, BandRows, Costs, Rows, Out, Tell);
    std::lock_guard<std::mutex> Lock(gCostsLock);
    gCosts = Costs;
    return Ok;
  }
  // The filtered rows that fill a band's dictionary, and the raw row they are filtered against.
  const int32_t DictRows = int32_t(std::min<size_t>((kWindow + Stride - 1) / Stride, size_t(H)));
  const int32_t Kept = DictRows + 1;
  const int Level = std::clamp(P.Level, 0, 9);
  const int Strategy = P.FilterType == 0 ? Z_DEFAULT_STRATEGY : Z_FILTERED;
  const bool Unfiltered = P.FilterType == 0;
  const std::vector<uint8_t> Zeros(Stride, 0);
  // Three bands a thread in flight: the rows of the next are made while the cores deflate, and a thread a
  // busy machine slows holds the others up only when the ring comes round to its band.
  const int32_t SlotCount = std::min(Bands, Threads * 3);
  std::vector<Slot> Slots(static_cast<size_t>(SlotCount));

  // Where row y of a slot lies (its filter byte first); rows above the picture are zeros.
  auto At = [&](const Slot& S, int32_t y) -> const uint8_t* {
    return y < 0 ? Zeros.data() : S.Rows.data() + size_t(y - S.First + Kept) * Stride;
  };

  // Each thread keeps its deflate state from band to band: a new one would take fresh memory and its page
  // faults for every band.
  struct Deflater {
    z_stream Z{};
    bool Ready = false;
    std::vector<uint8_t> Filtered;
    ~Deflater() {
      if (Ready) deflateEnd(&Z);
    }
  };
  auto DeflateBand = [&](Slot& Pc, Deflater& Df) {
    std::vector<uint8_t>& Filtered = Df.Filtered;
    const int32_t F = Pc.First, L = Pc.Last;
    const int32_t DictFirst = std::max(0, F - DictRows);
    const auto T0 = Clock::now();
    const uint8_t* In = At(Pc, F);
    if (!Unfiltered) {
      Filtered.resize(size_t(L - DictFirst) * Stride);
      for (int32_t y = DictFirst; y < L; ++y)
        FilterRow(P, At(Pc, y) + 1, At(Pc, y - 1) + 1, Filtered.data() + size_t(y - DictFirst) * Stride);
      In = Filtered.data() + size_t(F - DictFirst) * Stride;
    }
    Pc.Length = size_t(L - F) * Stride;
    Pc.Adler = adler32(1, In, uInt(Pc.Length));
    const auto T1 = Clock::now();
    Pc.Filter = std::chrono::duration<double>(T1 - T0).count();
    z_stream& Z = Df.Z;
    // The largest hash zlib has: faster at the same level, and no larger a window.
    if (Df.Ready && deflateReset(&Z) != Z_OK) {
      deflateEnd(&Z);
      Df.Ready = false;
    }
    if (!Df.Ready) Df.Ready = deflateInit2(&Z, Level, Z_DEFLATED, -15, 9, Strategy) == Z_OK;
    if (!Df.Ready) {
      Pc.Failed = true;
      return;
    }
    // The bytes before the band, as the reader will have inflated them.
    const size_t Dict = std::min(kWindow, size_t(F - DictFirst) * Stride);
    if (Dict > 0) deflateSetDictionary(&Z, In - Dict, uInt(Dict));
    // Two bytes in front for the zlib header, four at the end for its check, and the flush markers.
    const size_t Room = deflateBound(&Z, uLong(Pc.Length)) + 64;
    if (Pc.Data.Size < Room) Pc.Data.Grow(Room, 0);
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
    Pc.Made = Made;
    Pc.Deflate = Since(T1);
  };

  // Bands whose rows are made wait in Ready; a band deflated is marked in Finished. The calling thread
  // makes the rows, writes the finished bands out in order and deflates bands itself while it waits.
  std::mutex Lock;
  std::condition_variable WorkCame, BandDone;
  std::deque<int32_t> Ready;
  std::vector<char> Finished(static_cast<size_t>(Bands), 0);
  bool Stop = false;
  auto RunBand = [&](int32_t b, Deflater& Df) {
    Slot& Pc = Slots[size_t(b % SlotCount)];
    try {
      DeflateBand(Pc, Df);
    } catch (...) {
      Pc.Failed = true;
    }
    {
      std::lock_guard<std::mutex> G(Lock);
      Finished[size_t(b)] = 1;
    }
    BandDone.notify_all();
  };
  auto Worker = [&] {
    Deflater Df;
    for (;;) {
      int32_t b = -1;
      {
        std::unique_lock<std::mutex> G(Lock);
        WorkCame.wait(G, [&] { return Stop || !Ready.empty(); });
        if (Stop) return;
        b = Ready.front();
        Ready.pop_front();
      }
      RunBand(b, Df);
    }
  };
  std::vector<std::thread> Helpers;
  for (int32_t i = 1; i < std::min(Threads, Bands); ++i) {
    try {
      Helpers.emplace_back(Worker);
    } catch (...) {
      break;  // no more threads to be had: those there are do the bands
    }
  }
  auto StopHelpers = [&] {
    {
      std::lock_guard<std::mutex> G(Lock);
      Stop = true;
    }
    WorkCame.notify_all();
    for (std::thread& T : Helpers) T.join();
    Helpers.clear();
  };

  const unsigned Header = ZlibHeader(Level);
  uLong Adler = adler32(0, nullptr, 0);
  bool Ok = true;
  int32_t NextOut = 0;
  Deflater Mine;
  // Writes band NextOut out once it is deflated; with Wait, deflates waiting bands meanwhile or sleeps
  // until it is. False when it was not ready (without Wait) or the writing must stop.
  auto WriteNext = [&](bool Wait) -> bool {
    for (;;) {
      int32_t Own = -1;
      {
        std::unique_lock<std::mutex> G(Lock);
        if (Finished[size_t(NextOut)]) break;
        if (!Wait) return false;
        if (!Ready.empty()) {
          Own = Ready.front();
          Ready.pop_front();
        } else {
          BandDone.wait(G, [&] { return Finished[size_t(NextOut)] != 0 || !Ready.empty(); });
          continue;
        }
      }
      RunBand(Own, Mine);
    }
    Slot& Pc = Slots[size_t(NextOut % SlotCount)];
    Costs.Filter += Pc.Filter;
    Costs.Deflate += Pc.Deflate;
    if (Pc.Failed) {
      Ok = false;
      return false;
    }
    const auto T = Clock::now();
    Adler = adler32_combine(Adler, Pc.Adler, z_off_t(Pc.Length));
    uint8_t* D = Pc.Data.Bytes.get();
    size_t From = 2, To = Pc.Made;
    if (NextOut == 0) {
      D[0] = uint8_t(Header >> 8);
      D[1] = uint8_t(Header & 0xFF);
      From = 0;
    }
    if (NextOut + 1 == Bands)
      for (int k = 3; k >= 0; --k) D[To++] = uint8_t(Adler >> (8 * k));
    Out(D + From, To - From);
    Costs.Output += Since(T);
    ++NextOut;
    if (!Tell.Tell(Pc.Last)) Ok = false;
    return Ok;
  };

  try {
    for (int32_t b = 0; b < Bands && Ok; ++b) {
      // The slot is free once the band that held it before is written out.
      while (Ok && NextOut <= b - SlotCount) WriteNext(true);
      if (!Ok) break;
      Slot& S = Slots[size_t(b % SlotCount)];
      S.First = b * BandRows;
      S.Last = std::min(H, S.First + BandRows);
      S.Failed = false;
      S.Rows.resize(size_t(Kept + BandRows) * Stride);
      // The kept rows come from the band before, whose slot still holds them.
      if (b > 0) {
        const Slot& Before = Slots[size_t((b - 1) % SlotCount)];
        for (int32_t y = std::max(0, S.First - Kept); y < S.First; ++y)
          std::memcpy(S.Rows.data() + size_t(y - S.First + Kept) * Stride, At(Before, y), Stride);
      }
      const auto T = Clock::now();
      uint8_t* R = S.Rows.data() + size_t(Kept) * Stride;
      for (int32_t y = S.First; y < S.Last; ++y) R[size_t(y - S.First) * Stride] = uint8_t(P.FilterType);
      Rows(S.First, S.Last, R + 1, Stride);
      Costs.Rows += Since(T);
      {
        std::lock_guard<std::mutex> G(Lock);
        Ready.push_back(b);
      }
      WorkCame.notify_one();
      while (Ok && NextOut < b && WriteNext(false)) {
      }
    }
    while (Ok && NextOut < Bands) WriteNext(true);
  } catch (...) {
    StopHelpers();
    throw;
  }
  StopHelpers();
  std::lock_guard<std::mutex> G(gCostsLock);
  gCosts = Costs;
  return Ok;
}
