#include "imaging/foundation/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/resample_rows.h"
#include "platform/base/numeric.h"
#include "platform/base/system.h"

bool QxResampleForceScalar = false;

// ---------------------------------------------------------------- kernels

double QxSinc(double X) {
  if (X == 0) return 1;
  const double p = M_PI * X;
  return std::sin(p) / p;
}
double QxKernelTriangle(double X) {
  const double a = std::fabs(X);
  return a < 1 ? 1 - a : 0;
}
double QxKernelHermite(double X) {
  const double a = std::fabs(X);
  return a < 1 ? (2 * a - 3) * a * a + 1 : 0;
}
double QxKernelBell(double X) {
  const double a = std::fabs(X);
  if (a < 0.5) return 0.75 - a * a;
  if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
  return 0;
}
double QxKernelBSpline(double X) {
  const double a = std::fabs(X);
  if (a < 1) return 0.5 * a * a * a - a * a + 2.0 / 3.0;
  if (a < 2) return (2 - a) * (2 - a) * (2 - a) / 6;
  return 0;
}
double QxKernelLanczos3(double X) {
  const double a = std::fabs(X);
  return a < 3 ? QxSinc(X) * QxSinc(X / 3) : 0;
}
double QxKernelMitchell(double X) {
  const double a = std::fabs(X);
  if (a < 1) return (7 * a * a * a - 12 * a * a + 16.0 / 3.0) / 6;
  if (a < 2) return (-7.0 / 3.0 * a * a * a + 12 * a * a - 20 * a + 32.0 / 3.0) / 6;
  return 0;
}
double QxKernelNearest(double X) { return (X > -0.5 && X <= 0.5) ? 1 : 0; }
double QxKernelLinear(double X) {
  if (X >= 0 && X < 1) return 1 - X;
  if (X >= -1 && X < 0) return X + 1;
  return 0;
}

const TQxResampleKernelInfo QxResampleKernels[9] = {
    {nullptr, 0},          {QxKernelTriangle, 1.0}, {QxKernelHermite, 1.0}, {QxKernelBell, 1.5},
    {QxKernelBSpline, 2.0}, {QxKernelLanczos3, 3.0}, {QxKernelMitchell, 2.0}, {QxKernelNearest, 1.0},
    {QxKernelLinear, 1.0}};

double QxCubicKeys(double P0, double P1, double P2, double Max, double Min, double P3, double T) {
  auto W = [](double d) {
    d = std::fabs(d);
    if (d < 1) return d * d * d - 2 * d * d + 1;
    if (d < 2) return -d * d * d + 5 * d * d - 8 * d + 4;
    return 0.0;
  };
  const double r = P0 * W(T + 1) + P1 * W(T) + P2 * W(T - 1) + P3 * W(T - 2);
  return std::clamp(r, Min, Max);
}

namespace {

// Contributors of every destination index on one axis, flattened: entries [start[i], start[i+1]).
struct Contributors {
  std::vector<int32_t> start;
  std::vector<int32_t> index;
  std::vector<int32_t> weight;
  std::vector<int32_t> total;  // sum of the weights of each list
};

Contributors BuildContributors(int32_t n, int32_t m, TResampleFilter Filter) {
  const TQxResampleKernelInfo& k = QxResampleKernels[static_cast<int>(Filter)];
  Contributors c;
  c.start.reserve(size_t(m) + 1);
  c.total.reserve(size_t(m));
  const double scale = (n == 1 || m == 1) ? double(m) / n : double(m - 1) / (n - 1);
  for (int32_t i = 0; i < m; ++i) {
    c.start.push_back(int32_t(c.index.size()));
    const double center = i / scale;
    double width;
    double f = 1;
    if (scale >= 1) {
      width = k.Support;
    } else {
      width = k.Support / scale;
      f = 1 / scale;
    }
    const int64_t lo = Floor(center - width), hi = Ceil(center + width);
    int32_t sum = 0;
    for (int64_t j = lo; j <= hi; ++j) {
      const int32_t w = scale >= 1 ? int32_t(Round(k.Kernel(center - double(j)) * 256))
                                   : int32_t(Round(k.Kernel((center - double(j)) / f) * 256 / f));
      if (w == 0) continue;
      int64_t jj = j;
      if (jj < 0) jj = -jj;
      if (jj >= n) jj = 2 * int64_t(n) - 1 - jj;
      jj = std::clamp<int64_t>(jj, 0, n - 1);
      c.index.push_back(int32_t(jj));
      c.weight.push_back(w);
      sum += w;
    }
    if (int32_t(c.index.size()) == c.start.back()) {
      // Every weight rounded to 0 (a very strong reduction): take the nearest sample.
      c.index.push_back(int32_t(std::clamp<int64_t>(Round(center), 0, n - 1)));
      c.weight.push_back(256);
      sum = 256;
    }
    c.total.push_back(sum);
  }
  c.start.push_back(int32_t(c.index.size()));
  return c;
}

inline uint8_t ClampDiv(int32_t sum, int32_t total) {
  const int32_t v = sum / total;
  return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v));
}

inline uint8_t ShiftClamp(int32_t sum) {
  const uint32_t v = uint32_t(sum) >> 8;
  return uint8_t(v > 255 ? 255 : v);
}

// Reports each percentage once, in the order it comes.
struct ProgressOnce {
  const TQxProgressEvent* ev;
  TObject* sender;
  int32_t last = -1;
  void operator()(int32_t p) {
    if (!ev || !*ev || p == last) return;
    last = p;
    (*ev)(sender, p);
  }
};

void FillFromSinglePixel(TQxBitmap* Source, TQxBitmap* Dest) {
  // A one-pixel source has no neighbours to weigh; the destination becomes that pixel.
  if (Dest->PixelFormat() == TQxPixelFormat::qx8g && Source->PixelFormat() == TQxPixelFormat::qx8g) {
    Dest->Fill(Source->Scanline(0)[0]);
    return;
  }
  const TQxRGB c = Source->GetPixelRGB(0, 0);
  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB)
    Dest->Allocate(Dest->Width(), Dest->Height(), TQxPixelFormat::qx24RGB);
  Dest->Fill(double(int32_t(c.r) | int32_t(c.g) << 8 | int32_t(c.b) << 16));
}

// The vertical pass over an intermediate of `bpp` bytes per pixel.
void VerticalPass(const std::vector<uint8_t>& inter, int32_t interRowLen, int32_t srcH, int32_t dw, int32_t dh,
                  int32_t bpp, const Contributors& cy, bool shiftOnZero, TQxBitmap* Dest,
                  const std::function<void(int32_t)>& afterRow) {
  const int32_t n = dw * bpp;
  std::vector<int32_t> acc(static_cast<size_t>(std::max(n, 1)));
  for (int32_t k = 0; k < dh; ++k) {
    std::fill(acc.begin(), acc.end(), 0);
    const int32_t s0 = cy.start[size_t(k)], s1 = cy.start[size_t(k) + 1];
    for (int32_t e = s0; e < s1; ++e) {
      const int32_t row = std::clamp(cy.index[size_t(e)], 0, srcH - 1);
      const int32_t w = cy.weight[size_t(e)];
      QxAccumulateRow(acc.data(), inter.data() + int64_t(row) * interRowLen, w, n);
    }
    const int32_t total = cy.total[size_t(k)];
    uint8_t* d = Dest->Scanline(k);
    const int32_t* a = acc.data();
    if (total != 0) {
      for (int32_t x = 0; x < n; ++x) d[x] = ClampDiv(a[x], total);
    } else {
      for (int32_t x = 0; x < n; ++x) d[x] = ShiftClamp(a[x]);
    }
    if (afterRow) afterRow(k);
  }
}

// Horizontal pass of rows [r0, r1) of a source with BPP bytes per pixel (1 or 3), reading through
// rowAt (0/255 expansion for 1-bit sources happens there).
template <int BPP, typename RowAt>
void HorizontalRows(RowAt rowAt, int32_t r0, int32_t r1, const Contributors& cx, int32_t dw, uint8_t* inter,
                    int32_t interRowLen, bool shiftOnZero, const std::function<void(int32_t)>& afterRow) {
  const int32_t* const start = cx.start.data();
  const int32_t* const weight = cx.weight.data();
  const int32_t* const total = cx.total.data();
  // Byte offsets of the contributing samples, computed once for every row.
  std::vector<int32_t> offsets(cx.index.size());
  for (size_t e = 0; e < offsets.size(); ++e) offsets[e] = cx.index[e] * BPP;
  const int32_t* const off = offsets.data();
  for (int32_t r = r0; r < r1; ++r) {
    const uint8_t* s = rowAt(r);
    uint8_t* d = inter + int64_t(r) * interRowLen;
    for (int32_t i = 0; i < dw; ++i) {
      const int32_t e0 = start[i], e1 = start[i + 1];
      int32_t sum[BPP] = {};
      for (int32_t e = e0; e < e1; ++e) {
        const uint8_t* p = s + off[e];
        const int32_t w = weight[e];
        for (int c = 0; c < BPP; ++c) sum[c] += w * p[c];
      }
      int32_t t = total[i];
      if (t == 0 && shiftOnZero) {
        for (int c = 0; c < BPP; ++c) d[i * BPP + c] = ShiftClamp(sum[c]);
        continue;
      }
      if (t == 0) t = 256;
      for (int c = 0; c < BPP; ++c) d[i * BPP + c] = ClampDiv(sum[c], t);
    }
    if (afterRow) afterRow(r - r0);
  }
}

bool WeightsFitShorts(const Contributors& cx) {
  for (int32_t w : cx.weight)
    if (w < INT16_MIN || w > INT16_MAX) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- two-pass kernel resampler

void QxResampleKernel24(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                        const TQxProgressEvent& OnProgress, int32_t ThreadCount) {
  const int32_t sw = Source->Width(), sh = Source->Height();
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  int fi = static_cast<int>(Filter);
  if (fi < 1 || fi > 8) fi = 1;
  const TResampleFilter kf = static_cast<TResampleFilter>(fi);
  const Contributors cx = BuildContributors(sw, dw, kf);
  const int32_t interRowLen = dw * 3;
  std::vector<uint8_t> inter(static_cast<size_t>(interRowLen) * size_t(sh));

  int32_t T = ThreadCount > 0 ? ThreadCount : ProcessorCoreCount();
  // A file-located source maps one row at a time, so it is read by one band.
  if (Source->MapsRows()) T = 1;
  T = std::max(T, 1);
  const double factor = 100.0 / (double(sh) + dh + 0.5);
  ProgressOnce report{&OnProgress, Sender};
  const int32_t band = sh / T;
  const std::function<const uint8_t*(int32_t)> rowAt = [Source](int32_t r) -> const uint8_t* {
    return Source->Scanline(r);
  };
  std::vector<int32_t> offsets(cx.index.size());
  for (size_t e = 0; e < offsets.size(); ++e) offsets[e] = cx.index[e] * 3;
  const TQxRowContributors rc{cx.start.data(), offsets.data(), cx.weight.data(), cx.total.data(), dw,
                              WeightsFitShorts(cx)};
  // The vector road reads a pixel as four bytes: it weighs a copy of the row with a byte to spare.
  const bool plain = QxResampleForceScalar;
  auto rows = [&](int32_t r0, int32_t r1, const std::function<void(int32_t)>& afterRow) {
    std::vector<uint8_t> padded;
    if (!plain) padded.assign(static_cast<size_t>(sw) * 3 + 4, 0);
    for (int32_t r = r0; r < r1; ++r) {
      uint8_t* d = inter.data() + int64_t(r) * interRowLen;
      if (plain) {
        QxContributeRow24Plain(rowAt(r), rc, d);
      } else {
        std::memcpy(padded.data(), rowAt(r), static_cast<size_t>(sw) * 3);
        QxContributeRow24(padded.data(), rc, d);
      }
      if (afterRow) afterRow(r - r0);
    }
  };

  std::vector<std::thread> threads;
  for (int32_t t = 0; t < T; ++t) {
    const int32_t r0 = t * band;
    const int32_t r1 = (t == T - 1) ? sh : r0 + band;
    if (r1 <= r0) continue;
    std::function<void(int32_t)> after;
    if (t == 0 && OnProgress) after = [&](int32_t r) { report(int32_t(Trunc((double(r) * T + 1) * factor))); };
    auto work = [&, r0, r1, after]() { rows(r0, r1, after); };
    if (T == 1) {
      work();
    } else {
      threads.emplace_back(work);
    }
  }
  for (auto& th : threads) th.join();

  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB) Dest->Allocate(dw, dh, TQxPixelFormat::qx24RGB);
  const Contributors cy = BuildContributors(sh, dh, kf);
  std::function<void(int32_t)> afterV;
  if (OnProgress) afterV = [&](int32_t k) { report(int32_t(Trunc((double(sh) + k + 1) * factor))); };
  VerticalPass(inter, interRowLen, sh, dw, dh, 3, cy, false, Dest, afterV);
}

void QxResampleGray8(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter) {
  if (!Source || !Dest) return;
  const int32_t sw = Source->Width(), sh = Source->Height();
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  if (Source->BitCount() != 8 || Dest->BitCount() != 8) return;
  const int fi = static_cast<int>(Filter);
  if (fi < 1 || fi > 8) {
    QxStretchGray8(Source, Dest);
    return;
  }
  if (sw < 2 && sh < 2) {
    Dest->Fill(Source->Scanline(0)[0]);
    return;
  }
  const Contributors cx = BuildContributors(sw, dw, Filter);
  std::vector<uint8_t> inter(static_cast<size_t>(dw) * size_t(sh));
  std::vector<uint8_t> rowCopy(static_cast<size_t>(sw));
  auto rowAt = [&](int32_t r) -> const uint8_t* {
    std::memcpy(rowCopy.data(), Source->Scanline(r), rowCopy.size());
    return rowCopy.data();
  };
  HorizontalRows<1>(rowAt, 0, sh, cx, dw, inter.data(), dw, true, {});
  const Contributors cy = BuildContributors(sh, dh, Filter);
  VerticalPass(inter, dw, sh, dw, dh, 1, cy, true, Dest, {});
}

void QxResample1Bit(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter) {
  if (!Source || !Dest || Source->PixelFormat() != TQxPixelFormat::qx1g) return;
  switch (Filter) {
    case TResampleFilter::rfFastLinear:
    case TResampleFilter::rfBilinear:
    case TResampleFilter::rfBicubic:
      QxStretch1BitToGray(Source, Dest);
      return;
    case TResampleFilter::rfProjectBW:
      QxProjectBits(Source, Dest, false);
      return;
    case TResampleFilter::rfProjectWB:
      QxProjectBits(Source, Dest, true);
      return;
    default:
      break;
  }
  const int32_t sw = Source->Width(), sh = Source->Height();
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB) Dest->Allocate(dw, dh, TQxPixelFormat::qx24RGB);
  int fi = static_cast<int>(Filter);
  if (fi < 1 || fi > 8) fi = 1;
  const TResampleFilter kf = static_cast<TResampleFilter>(fi);
  const Contributors cx = BuildContributors(sw, dw, kf);
  std::vector<uint8_t> inter(static_cast<size_t>(dw) * size_t(sh));
  std::vector<uint8_t> expanded(static_cast<size_t>(sw));
  auto rowAt = [&](int32_t r) -> const uint8_t* {
    const uint8_t* s = Source->Scanline(r);
    for (int32_t x = 0; x < sw; ++x) expanded[size_t(x)] = QxGetRowBit(s, x) ? 255 : 0;
    return expanded.data();
  };
  HorizontalRows<1>(rowAt, 0, sh, cx, dw, inter.data(), dw, true, {});
  const Contributors cy = BuildContributors(sh, dh, kf);
  TQxBitmap gray;
  gray.MemoryThreshold = INT64_MAX;
  if (!gray.Allocate(dw, dh, TQxPixelFormat::qx8g)) return;
  VerticalPass(inter, dw, sh, dw, dh, 1, cy, true, &gray, {});
  for (int32_t y = 0; y < dh; ++y) {
    const uint8_t* g = gray.Scanline(y);
    uint8_t* d = Dest->Scanline(y);
    for (int32_t x = 0; x < dw; ++x) std::memset(d + 3 * int64_t(x), g[x], 3);
  }
}

// ---------------------------------------------------------------- fast linear stretch

namespace {

template <int BPP, typename RowAt>
void FastLinear(RowAt rowAt, int32_t sw, int32_t sh, TQxBitmap* Dest, int32_t dw, int32_t dh, TObject* Sender,
                const TQxProgressEvent& OnProgress) {
  const double sx = double(dw) / sw, sy = double(dh) / sh;
  std::vector<int32_t> q(static_cast<size_t>(dw)), frac(static_cast<size_t>(dw)), end(static_cast<size_t>(dw));
  for (int32_t i = 0; i < dw; ++i) {
    q[size_t(i)] = int32_t(std::min<int64_t>(Trunc(i / sx), sw - 1));
    frac[size_t(i)] = int32_t(Trunc((i / sx - Trunc(i / sx)) * 131072));
    end[size_t(i)] = int32_t(std::clamp<int64_t>(Trunc(std::min(i + 1, dw - 1) / sx + 1e-10), q[size_t(i)], sw - 1));
  }
  const int32_t rowLen = dw * BPP;
  std::vector<uint8_t> inter(static_cast<size_t>(rowLen) * size_t(sh));
  // floor(x / n) as (x * (2^32 div n + 1)) >> 32: exact while x * n < 2^32, and x is at most 255 * n.
  auto reciprocal = [](int64_t n) { return uint64_t((uint64_t(1) << 32) / uint64_t(n) + 1); };
  std::vector<uint64_t> recipX(static_cast<size_t>(dw));
  for (int32_t i = 0; i < dw; ++i) recipX[size_t(i)] = reciprocal(end[size_t(i)] - q[size_t(i)] + 1);
  const double factor = 100.0 / (double(sh) + dh + 0.5);
  const bool report = static_cast<bool>(OnProgress);
  for (int32_t r = 0; r < sh; ++r) {
    const uint8_t* s = rowAt(r);
    uint8_t* d = inter.data() + int64_t(r) * rowLen;
    if (sx > 1) {
      for (int32_t i = 0; i < dw; ++i) {
        const uint8_t* a = s + int64_t(q[size_t(i)]) * BPP;
        const uint8_t* b = s + int64_t(std::min(q[size_t(i)] + 1, sw - 1)) * BPP;
        const int32_t f = frac[size_t(i)];
        for (int c = 0; c < BPP; ++c) d[i * BPP + c] = uint8_t(a[c] + Sar((b[c] - a[c]) * f, 17));
      }
    } else {
      for (int32_t i = 0; i < dw; ++i) {
        const int32_t q0 = q[size_t(i)], q1 = end[size_t(i)];
        uint32_t sum[BPP] = {};
        for (int32_t j = q0; j <= q1; ++j)
          for (int c = 0; c < BPP; ++c) sum[c] += s[int64_t(j) * BPP + c];
        const uint64_t m = recipX[size_t(i)];
        for (int c = 0; c < BPP; ++c) d[i * BPP + c] = uint8_t((sum[c] * m) >> 32);
      }
    }
    if (report) OnProgress(Sender, int32_t(Trunc(factor * r)));
  }
  std::vector<int32_t> acc(static_cast<size_t>(rowLen));
  for (int32_t j = 0; j < dh; ++j) {
    uint8_t* d = Dest->Scanline(j);
    if (sy > 1) {
      const int32_t h = int32_t(std::min<int64_t>(Trunc(j / sy), sh - 1));
      const int32_t h1 = (j == dh - 1) ? h : std::min(h + 1, sh - 1);
      const int32_t f = int32_t(Trunc((j / sy - Trunc(j / sy)) * 131072));
      const uint8_t* a = inter.data() + int64_t(h) * rowLen;
      const uint8_t* b = inter.data() + int64_t(h1) * rowLen;
      for (int32_t x = 0; x < rowLen; ++x) d[x] = uint8_t(a[x] + Sar((b[x] - a[x]) * f, 17));
    } else {
      const int32_t r0 = int32_t(std::min<int64_t>(Trunc(j / sy), sh - 1));
      const int32_t r1 = int32_t(std::clamp<int64_t>(Trunc(std::min(j + 1, dh - 1) / sy), r0, sh - 1));
      std::fill(acc.begin(), acc.end(), 0);
      for (int32_t r = r0; r <= r1; ++r) {
        const uint8_t* a = inter.data() + int64_t(r) * rowLen;
        int32_t* ac = acc.data();
        for (int32_t x = 0; x < rowLen; ++x) ac[x] += a[x];
      }
      const int32_t n = r1 - r0 + 1;
      if (n == 1) {
        for (int32_t x = 0; x < rowLen; ++x) d[x] = uint8_t(acc[size_t(x)]);
      } else {
        const uint64_t m = reciprocal(n);
        for (int32_t x = 0; x < rowLen; ++x) d[x] = uint8_t((uint64_t(uint32_t(acc[size_t(x)])) * m) >> 32);
      }
    }
    if (report) OnProgress(Sender, int32_t(Trunc(factor * (double(sh) + j))));
  }
}

}  // namespace

void QxResampleFastLinear(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender, const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest) return;
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
  if (sw == dw && sh == dh) {
    Dest->AssignFrom(Source);
    return;
  }
  if (Source->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB) Dest->Allocate(dw, dh, TQxPixelFormat::qx24RGB);
  auto rowAt = [Source](int32_t r) -> const uint8_t* { return Source->Scanline(r); };
  FastLinear<3>(rowAt, sw, sh, Dest, dw, dh, Sender, OnProgress);
}

void QxStretchGray8(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender, const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest) return;
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
  if (Source->BitCount() != 8 || Dest->BitCount() != 8) return;
  if (sw == dw && sh == dh) {
    for (int32_t y = 0; y < sh; ++y) {
      std::vector<uint8_t> row(Source->Scanline(y), Source->Scanline(y) + sw);
      std::memcpy(Dest->Scanline(y), row.data(), size_t(sw));
    }
    return;
  }
  std::vector<uint8_t> rowCopy(static_cast<size_t>(sw));
  auto rowAt = [&](int32_t r) -> const uint8_t* {
    std::memcpy(rowCopy.data(), Source->Scanline(r), rowCopy.size());
    return rowCopy.data();
  };
  FastLinear<1>(rowAt, sw, sh, Dest, dw, dh, Sender, OnProgress);
}

void QxStretch1BitToGray(TQxBitmap* Source, TQxBitmap* Dest, TObject* Sender, const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest || Source->PixelFormat() != TQxPixelFormat::qx1g) return;
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
  if (Dest->PixelFormat() != TQxPixelFormat::qx24RGB) Dest->Allocate(dw, dh, TQxPixelFormat::qx24RGB);
  const double sx = double(dw) / sw, sy = double(dh) / sh;
  if (sx < 1 && sy < 1) {
    QxResample1BitToGray(Source, 0, 0, sw - 1, sh - 1, Dest);
    return;
  }
  std::vector<uint8_t> expanded(static_cast<size_t>(sw));
  auto bitRow = [&](int32_t r) -> const uint8_t* {
    const uint8_t* s = Source->Scanline(r);
    for (int32_t x = 0; x < sw; ++x) expanded[size_t(x)] = QxGetRowBit(s, x) ? 255 : 0;
    return expanded.data();
  };
  // Linear interpolation both ways on the 0/255 values (a copy at 1:1).
  TQxBitmap gray;
  gray.MemoryThreshold = INT64_MAX;
  if (!gray.Allocate(dw, dh, TQxPixelFormat::qx8g)) return;
  const double factor = 100.0 / (double(sh) + dh + 0.5);
  std::vector<int32_t> q(static_cast<size_t>(dw)), frac(static_cast<size_t>(dw));
  for (int32_t i = 0; i < dw; ++i) {
    q[size_t(i)] = int32_t(std::min<int64_t>(Trunc(i / sx), sw - 1));
    frac[size_t(i)] = int32_t(Trunc((i / sx - Trunc(i / sx)) * 131072));
  }
  std::vector<uint8_t> inter(static_cast<size_t>(dw) * size_t(sh));
  for (int32_t r = 0; r < sh; ++r) {
    const uint8_t* s = bitRow(r);
    uint8_t* d = inter.data() + int64_t(r) * dw;
    for (int32_t i = 0; i < dw; ++i) {
      const int32_t a = s[q[size_t(i)]], b = s[std::min(q[size_t(i)] + 1, sw - 1)];
      d[i] = uint8_t(a + Sar((b - a) * frac[size_t(i)], 17));
    }
    if (OnProgress) OnProgress(Sender, int32_t(Trunc(factor * r)));
  }
  for (int32_t j = 0; j < dh; ++j) {
    const int32_t h = int32_t(std::min<int64_t>(Trunc(j / sy), sh - 1));
    const int32_t h1 = (j == dh - 1) ? h : std::min(h + 1, sh - 1);
    const int32_t f = int32_t(Trunc((j / sy - Trunc(j / sy)) * 131072));
    const uint8_t* a = inter.data() + int64_t(h) * dw;
    const uint8_t* b = inter.data() + int64_t(h1) * dw;
    uint8_t* d = Dest->Scanline(j);
    for (int32_t x = 0; x < dw; ++x) std::memset(d + 3 * int64_t(x), uint8_t(a[x] + Sar((b[x] - a[x]) * f, 17)), 3);
    if (OnProgress) OnProgress(Sender, int32_t(Trunc(factor * (double(sh) + j))));
  }
}

void QxResample1BitToGray(TQxBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TQxBitmap* Dest) {
  if (!Source || !Dest) return;
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
  if (Source->PixelFormat() != TQxPixelFormat::qx1g || Dest->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  X1 = std::clamp(X1, 0, sw - 1);
  X2 = std::clamp(X2, X1, sw - 1);
  Y1 = std::clamp(Y1, 0, sh - 1);
  Y2 = std::clamp(Y2, Y1, sh - 1);
  const double fx = double(X2 - X1 + 1) / dw, fy = double(Y2 - Y1 + 1) / dh;
  std::vector<int32_t> c0(static_cast<size_t>(dw)), c1(static_cast<size_t>(dw));
  for (int32_t i = 0; i < dw; ++i) {
    c0[size_t(i)] = int32_t(std::clamp<int64_t>(X1 + Trunc(fx * i - fx / 2), X1, X2));
    c1[size_t(i)] = int32_t(std::clamp<int64_t>(X1 + Trunc(fx * i + fx / 2), c0[size_t(i)], X2));
  }
  std::vector<std::vector<uint8_t>> rows;
  for (int32_t i = 0; i < dh; ++i) {
    const int32_t r0 = int32_t(std::clamp<int64_t>(Trunc(fy * i - fy / 2), 0, Y2 - Y1));
    const int32_t r1 = int32_t(std::clamp<int64_t>(Trunc(fy * i + double(Trunc(fy)) / 2), r0, Y2 - Y1));
    rows.clear();
    for (int32_t r = r0; r <= r1; ++r) {
      const uint8_t* s = Source->Scanline(Y1 + r);
      rows.emplace_back(s, s + Source->RowLen());
    }
    uint8_t* d = Dest->Scanline(i);
    for (int32_t k = 0; k < dw; ++k) {
      int64_t set = 0;
      for (const auto& row : rows)
        for (int32_t x = c0[size_t(k)]; x <= c1[size_t(k)]; ++x) set += QxGetRowBit(row.data(), x) ? 1 : 0;
      const int64_t count = int64_t(rows.size()) * (c1[size_t(k)] - c0[size_t(k)] + 1);
      std::memset(d + 3 * int64_t(k), uint8_t(255 * set / count), 3);
    }
  }
}

// ---------------------------------------------------------------- projections

namespace {

TQxBitmap* Project(TQxBitmap* Source, TQxBitmap* Dest, bool KeepWhite, bool Rgb, TObject* Sender,
                   const TQxProgressEvent& OnProgress) {
  const int32_t sw = Source->Width(), sh = Source->Height();
  int32_t dw = Dest->Width(), dh = Dest->Height();
  if (Dest->PixelFormat() != TQxPixelFormat::qx1g) Dest->Allocate(dw, dh, TQxPixelFormat::qx1g);
  dw = Dest->Width();
  dh = Dest->Height();
  if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return Dest;
  const uint8_t sMode = Source->AccessMode, dMode = Dest->AccessMode;
  Source->AccessMode = 1;
  Dest->AccessMode = 2;
  std::vector<int32_t> c(static_cast<size_t>(dw));
  for (int32_t k = 0; k < dw; ++k) c[size_t(k)] = int32_t(std::min<int64_t>(Trunc(double(sw) / dw * k), sw - 1));
  const double sy = double(sh) / dh;
  const double factor = 100.0 / (dh + 0.5);
  std::vector<uint8_t> out(static_cast<size_t>(Dest->RowLen()));
  for (int32_t j = 0; j < dh; ++j) {
    const int32_t r0 = j == 0 ? 0 : int32_t(std::clamp<int64_t>(Trunc(sy * (j - 1)), 0, sh - 1));
    const int32_t r1 = j == 0 ? 0 : int32_t(std::clamp<int64_t>(Trunc(sy * j), r0, sh - 1));
    std::fill(out.begin(), out.end(), KeepWhite ? 0 : 0xFF);
    std::vector<bool> hit(static_cast<size_t>(dw), false);
    for (int32_t r = r0; r <= r1; ++r) {
      const uint8_t* s = Source->Scanline(r);
      for (int32_t k = 0; k < dw; ++k) {
        if (hit[size_t(k)] && !Rgb) continue;
        const int32_t x0 = k == 0 ? 0 : c[size_t(k) - 1], x1 = k == 0 ? 0 : c[size_t(k)];
        for (int32_t x = x0; x <= x1; ++x) {
          bool found;
          if (Rgb) {
            const uint8_t* p = s + 3 * int64_t(x);
            found = KeepWhite ? (p[0] > 128 && p[1] > 128 && p[2] > 128) : (p[0] < 128 && p[1] < 128 && p[2] < 128);
          } else {
            const bool set = QxGetRowBit(s, x) != 0;
            found = KeepWhite ? set : !set;
          }
          if (found) {
            hit[size_t(k)] = true;
            if (!Rgb) break;
          }
        }
      }
    }
    for (int32_t k = 0; k < dw; ++k)
      if (hit[size_t(k)]) QxSetRowBit(out.data(), k, KeepWhite ? 1 : 0);
    std::memcpy(Dest->Scanline(j), out.data(), out.size());
    if (OnProgress) OnProgress(Sender, int32_t(Trunc(factor * j)));
  }
  Source->AccessMode = sMode;
  Dest->AccessMode = dMode;
  return Dest;
}

}  // namespace

TQxBitmap* QxProjectBits(TQxBitmap* Source, TQxBitmap* Dest, bool KeepWhite, TObject* Sender,
                         const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest || Source->PixelFormat() != TQxPixelFormat::qx1g) return Dest;
  return Project(Source, Dest, KeepWhite, false, Sender, OnProgress);
}

TQxBitmap* QxProjectRGB(TQxBitmap* Source, TQxBitmap* Dest, bool KeepWhite, TObject* Sender,
                        const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest || Source->PixelFormat() != TQxPixelFormat::qx24RGB) return Dest;
  return Project(Source, Dest, KeepWhite, true, Sender, OnProgress);
}

// ---------------------------------------------------------------- area-weighted interpolation

namespace {

struct Piece {
  double len;
  int32_t src;
  int32_t dst;
  double t;
};

std::vector<Piece> AxisPieces(int32_t n, int32_t m) {
  std::vector<Piece> pieces;
  pieces.reserve(size_t(n) + size_t(m) + 2);
  const double g = double(n) / m;
  double pos = 0;
  int32_t d = 0;
  while (d < m) {
    const double nextDst = d == m - 1 ? double(n) : g * (d + 1);
    int32_t src = int32_t(std::floor(pos + 1e-9));
    src = std::clamp(src, 0, n - 1);
    const double nextSrc = src + 1.0;
    if (nextSrc >= nextDst - 1e-4) {
      const bool atBorder = std::fabs(nextSrc - nextDst) < 1e-4;
      pieces.push_back({nextDst - pos, src, d, atBorder ? 1.0 : nextDst - src});
      pos = atBorder ? nextSrc : nextDst;
      ++d;
    } else {
      pieces.push_back({nextSrc - pos, src, d, 1.0});
      pos = nextSrc;
    }
  }
  return pieces;
}

template <typename T, int MaxV>
void Interp(TQxBitmap* Source, TQxBitmap* Dest, int32_t s, bool Cubic, TObject* Sender,
            const TQxProgressEvent& OnProgress) {
  const int32_t sw = Source->Width(), sh = Source->Height(), dw = Dest->Width(), dh = Dest->Height();
  const double gx = double(sw) / dw, gy = double(sh) / dh;
  const bool ix = gx < 1, iy = gy < 1;
  const std::vector<Piece> px = AxisPieces(sw, dw), py = AxisPieces(sh, dh);
  // Four-row window of source rows converted to doubles.
  struct Slot {
    int32_t row = -1;
    std::vector<double> v;
  };
  Slot slots[4];
  int32_t nextSlot = 0;
  auto rowOf = [&](int32_t r) -> const std::vector<double>& {
    r = std::clamp(r, 0, sh - 1);
    for (auto& sl : slots)
      if (sl.row == r) return sl.v;
    Slot& sl = slots[nextSlot];
    nextSlot = (nextSlot + 1) & 3;
    sl.row = r;
    sl.v.resize(size_t(sw) * s);
    const uint8_t* p = Source->Scanline(r);
    for (int64_t i = 0; i < int64_t(sw) * s; ++i) {
      T val;
      std::memcpy(&val, p + i * int64_t(sizeof(T)), sizeof(T));
      sl.v[size_t(i)] = double(val);
    }
    return sl.v;
  };
  auto S = [&](const std::vector<double>& row, int32_t x, int32_t c) {
    return row[size_t(std::clamp(x, 0, sw - 1)) * s + size_t(c)];
  };
  std::vector<double> acc(static_cast<size_t>(dw) * s, 0.0);
  const double area = gx * gy;
  for (size_t yi = 0; yi < py.size(); ++yi) {
    const Piece& yp = py[yi];
    const int32_t y = yp.src;
    const double ty = iy ? yp.t : 0;
    const std::vector<double>* rows[4];
    for (int k = 0; k < 4; ++k) rows[k] = &rowOf(y - 1 + k);
    for (const Piece& xp : px) {
      const int32_t x = xp.src;
      const double tx = ix ? xp.t : 0;
      for (int32_t c = 0; c < s; ++c) {
        double V;
        if (!ix && !iy) {
          V = S(*rows[1], x, c);
        } else if (!Cubic) {
          auto lin = [&](const std::vector<double>& r) { return (1 - tx) * S(r, x, c) + tx * S(r, x + 1, c); };
          V = (1 - ty) * lin(*rows[1]) + ty * lin(*rows[2]);
        } else {
          auto cub = [&](const std::vector<double>& r) {
            if (!ix) return S(r, x, c);
            return double(Round(QxCubicKeys(S(r, x - 1, c), S(r, x, c), S(r, x + 1, c), MaxV, 0, S(r, x + 2, c), tx)));
          };
          if (iy)
            V = QxCubicKeys(cub(*rows[0]), cub(*rows[1]), cub(*rows[2]), MaxV, 0, cub(*rows[3]), ty);
          else
            V = cub(*rows[1]);
        }
        acc[size_t(xp.dst) * s + size_t(c)] += xp.len * yp.len * V;
      }
    }
    const bool lastOfRow = yi + 1 == py.size() || py[yi + 1].dst != yp.dst;
    if (lastOfRow) {
      uint8_t* d = Dest->Scanline(yp.dst);
      for (size_t i = 0; i < acc.size(); ++i) {
        const T v = T(std::clamp<int64_t>(Round(acc[i] / area), 0, MaxV));
        std::memcpy(d + i * sizeof(T), &v, sizeof(T));
      }
      std::fill(acc.begin(), acc.end(), 0.0);
      if (OnProgress) OnProgress(Sender, int32_t(Trunc(double(yp.dst + 1) / dh * 100)));
    }
  }
}

}  // namespace

void QxResampleInterp8(TQxBitmap* Source, TQxBitmap* Dest, bool Cubic, TObject* Sender,
                       const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest) return;
  const TQxPixelFormat f = Source->PixelFormat();
  if (f != TQxPixelFormat::qx8g && f != TQxPixelFormat::qx24RGB) return;
  if (Source->Width() < 1 || Source->Height() < 1 || Dest->Width() < 1 || Dest->Height() < 1) return;
  if (Dest->PixelFormat() != f) Dest->Allocate(Dest->Width(), Dest->Height(), f);
  Interp<uint8_t, 255>(Source, Dest, f == TQxPixelFormat::qx8g ? 1 : 3, Cubic, Sender, OnProgress);
}

void QxResampleInterp16(TQxBitmap* Source, TQxBitmap* Dest, bool Cubic, TObject* Sender,
                        const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest) return;
  const TQxPixelFormat f = Source->PixelFormat();
  if (f != TQxPixelFormat::qx16g && f != TQxPixelFormat::qxRGB48) return;
  if (Source->Width() < 1 || Source->Height() < 1 || Dest->Width() < 1 || Dest->Height() < 1) return;
  if (Dest->PixelFormat() != f) Dest->Allocate(Dest->Width(), Dest->Height(), f);
  Interp<uint16_t, 65535>(Source, Dest, f == TQxPixelFormat::qx16g ? 1 : 3, Cubic, Sender, OnProgress);
}

// ---------------------------------------------------------------- dispatch

void QxResample(TQxBitmap* Source, TQxBitmap* Dest, TResampleFilter Filter, TObject* Sender,
                const TQxProgressEvent& OnProgress) {
  if (!Source || !Dest || Source == Dest) return;
  const int32_t sw = Source->Width(), sh = Source->Height();
  if (sw == 0 || sh == 0) return;
  if (Dest->Width() < 1 || Dest->Height() < 1) return;
  if (sw < 2 && sh < 2) {
    FillFromSinglePixel(Source, Dest);
    return;
  }
  const TQxPixelFormat f = Source->PixelFormat();
  if (Filter == TResampleFilter::rfBilinear || Filter == TResampleFilter::rfBicubic) {
    const bool cubic = Filter == TResampleFilter::rfBicubic;
    if (f == TQxPixelFormat::qx24RGB || f == TQxPixelFormat::qx8g) {
      QxResampleInterp8(Source, Dest, cubic, Sender, OnProgress);
      return;
    }
    if (f == TQxPixelFormat::qx16g || f == TQxPixelFormat::qxRGB48) {
      QxResampleInterp16(Source, Dest, cubic, Sender, OnProgress);
      return;
    }
    Filter = TResampleFilter::rfTriangle;
  }
  if (f == TQxPixelFormat::qx8g) {
    if (Dest->PixelFormat() != TQxPixelFormat::qx8g) Dest->Allocate(Dest->Width(), Dest->Height(), TQxPixelFormat::qx8g);
    QxResampleGray8(Source, Dest, Filter);
    return;
  }
  TQxBitmap* src = Source;
  std::unique_ptr<TQxBitmap> tmp;
  if (f != TQxPixelFormat::qx24RGB) {
    tmp = std::make_unique<TQxBitmap>();
    tmp->MemoryThreshold = Source->MemoryThreshold;
    if (!tmp->Allocate(sw, sh, TQxPixelFormat::qx24RGB)) return;
    tmp->ConvertFrom(Source);
    src = tmp.get();
  }
  const bool project = Filter == TResampleFilter::rfProjectBW || Filter == TResampleFilter::rfProjectWB;
  if (!project && Dest->PixelFormat() != TQxPixelFormat::qx24RGB)
    Dest->Allocate(Dest->Width(), Dest->Height(), TQxPixelFormat::qx24RGB);
  switch (Filter) {
    case TResampleFilter::rfFastLinear:
      QxResampleFastLinear(src, Dest, Sender, OnProgress);
      break;
    case TResampleFilter::rfProjectBW:
      QxProjectRGB(src, Dest, false, Sender, OnProgress);
      break;
    case TResampleFilter::rfProjectWB:
      QxProjectRGB(src, Dest, true, Sender, OnProgress);
      break;
    default:
      QxResampleKernel24(src, Dest, Filter, Sender, OnProgress, 0);
      break;
  }
}
