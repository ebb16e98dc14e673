#include "imaging/processing/wave.h"

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "imaging/foundation/kernels/wave_rows.h"
#include "imaging/foundation/mask.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/proc_internal.h"

using namespace qxproc;

uint8_t QxBilinearByte(const uint8_t Samples[4], double SX, double SY) {
  double fx = SX - std::trunc(SX), fy = SY - std::trunc(SY);
  if (fx < 0) fx += 1;
  if (fy < 0) fy += 1;
  const double top = (1 - fx) * Samples[0] + fx * Samples[1];
  const double bottom = (1 - fx) * Samples[2] + fx * Samples[3];
  return ClampByte(Trunc((1 - fy) * top + fy * bottom));
}

namespace {

void WaveRows(const std::vector<const uint8_t*>& Rows, bool MirrorX, TQxBitmap* Target, int32_t Amplitude,
              int32_t WaveLength, int32_t Phase, bool Reflective, TQxProgressInfo& Progress) {
  const int32_t W = Target->Width(), H = Target->Height();
  std::vector<double> dxs;
  TQxWaveRows job = QxWaveGeometry(W, H, Amplitude, WaveLength, Phase, Reflective, MirrorX, dxs);
  std::vector<const uint8_t*> src(static_cast<size_t>(H));
  std::vector<uint8_t*> dst(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) {
    src[size_t(y)] = Rows[size_t(H - 1 - y)];
    dst[size_t(y)] = Target->Scanline(H - 1 - y);
  }
  job.Src = src.data();
  job.Dst = dst.data();

  const int32_t pairs = (H + 1) / 2;
  const double factor = 100.0 / H;
  constexpr int32_t kChunk = 8;
  std::atomic<int32_t> next{0};
  std::atomic<int64_t> rowsDone{0};
  auto work = [&](bool report) {
    int32_t last = -1;
    for (;;) {
      const int32_t start = next.fetch_add(kChunk);
      if (start >= pairs) break;
      const int32_t end = std::min(pairs, start + kChunk);
      for (int32_t y = start; y < end; ++y) QxWaveRowPair(job, y);
      int64_t done = rowsDone.fetch_add(int64_t(end - start) * 2) + int64_t(end - start) * 2;
      if (report && Progress.Assigned()) {
        const int32_t per = int32_t(Trunc(std::min<int64_t>(done, H) * factor));
        if (per != last && per < 100) {
          last = per;
          Progress.Report(per);
        }
      }
    }
  };
  const int64_t pixels = int64_t(W) * H;
  unsigned n = pixels >= 65536 ? std::max(1u, std::thread::hardware_concurrency()) : 1u;
  n = std::min<unsigned>(n, unsigned(std::max(1, pairs / kChunk)));
  std::vector<std::thread> threads;
  for (unsigned i = 1; i < n; ++i) threads.emplace_back(work, false);
  work(true);
  for (auto& t : threads) t.join();
}

}  // namespace

void QxWaveBitmap(TQxBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
                  TQxProgressInfo& Progress) {
  if (Amplitude == 0 || WaveLength == 0) return;
  if (Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  auto S = MemoryBitmap(W, H, TQxPixelFormat::qx24RGB);
  if (S->IsEmpty()) return;
  for (int32_t r = 0; r < H; ++r) std::memcpy(S->Scanline(r), Bitmap->Scanline(r), size_t(W) * 3);
  // The result goes straight into a picture kept in one memory block; otherwise into a scratch copy.
  std::unique_ptr<TQxBitmap> D;
  TQxBitmap* target = Bitmap;
  if (Bitmap->Location() != TQxLocation::qxMemory || Bitmap->FragmentCount() != 0) {
    D = MemoryBitmap(W, H, TQxPixelFormat::qx24RGB);
    if (D->IsEmpty()) return;
    target = D.get();
  }
  std::vector<const uint8_t*> rows(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) rows[size_t(y)] = S->Scanline(y);
  WaveRows(rows, false, target, Amplitude, WaveLength, Phase, Reflective, Progress);
  if (D) Bitmap->CopyFrom(D.get());
}

bool QxWaveFromRows(const std::vector<const uint8_t*>& Rows, bool MirrorX, TQxBitmap* Dest, int32_t Amplitude,
                    int32_t WaveLength, int32_t Phase, bool Reflective, TQxProgressInfo& Progress) {
  if (Amplitude == 0 || WaveLength == 0) return false;
  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB || Dest->IsEmpty() || Dest->MapsRows()) return false;
  if (Rows.size() != size_t(Dest->Height())) return false;
  WaveRows(Rows, MirrorX, Dest, Amplitude, WaveLength, Phase, Reflective, Progress);
  return true;
}

void TQuillotProc::Wave(int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective) {
  int32_t x1, y1, x2, y2;
  TQxBitmap* work = nullptr;
  TQxMask* mask = nullptr;
  if (!BeginSelectionWork({TQxPixelFormat::qx24RGB}, x1, y1, x2, y2, "Wave", work, mask)) return;
  TQxProgressInfo info;
  info.OnProgress = OnProgress;
  info.Sender = this;
  QxWaveBitmap(work, Amplitude, WaveLength, Phase, Reflective, info);
  EndSelectionWork(work, mask);
  DoFinishWork();
}
