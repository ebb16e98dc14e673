#include "imaging/foundation/kernels/quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "imaging/foundation/bitmap.h"
#include "platform/base/numeric.h"

int32_t QxQuantizerMethod = -1;
int32_t QxQuantizerSampling = -1;

namespace {

uint32_t Key(TQxRGB c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

// Reads the picture row by row as blue, green, red pixels.
template <typename F>
void ForEachPixel(TQxBitmap* B, F f) {
  const int32_t w = B->Width(), h = B->Height();
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(row.data(), B->Scanline(y), row.size());
    for (int32_t x = 0; x < w; ++x) f(TQxRGB{row[3 * size_t(x)], row[3 * size_t(x) + 1], row[3 * size_t(x) + 2]});
  }
}

}  // namespace

// ---------------------------------------------------------------- median cut

struct TQxMedianCutState {
  struct Box {
    double error = 0;
    double mean[3] = {0, 0, 0};
    int32_t count = 0;
    int32_t h[3][32] = {};
    int32_t lo[3] = {0, 0, 0};
    int32_t hi[3] = {32, 32, 32};
  };
  std::vector<int32_t> hist;       // 32768 cells, r*1024 + g*32 + b
  std::vector<Box> boxes;          // one per colour wanted
  std::vector<uint16_t> inverse;   // cell -> box
  int32_t total = 0;
  int32_t wanted = 0;
  int32_t produced = 0;

  static int32_t Cell(int32_t r, int32_t g, int32_t b) { return r * 1024 + g * 32 + b; }

  void Stats(Box& b) const {
    if (b.count == 0) {
      b.error = 0;
      return;
    }
    double err = 0;
    for (int a = 0; a < 3; ++a) {
      double s = 0, s2 = 0;
      for (int32_t j = b.lo[a]; j < b.hi[a]; ++j) {
        s += double(j) * b.h[a][j];
        s2 += double(j) * j * b.h[a][j];
      }
      b.mean[a] = s / b.count;
      err += s2 - b.mean[a] * b.mean[a] * b.count;
    }
    b.error = err / std::max(total, 1);
  }

  // Rebuilds the three 1-D histograms of a box from the 3-D cells inside its bounds.
  void Rebuild(Box& b) const {
    std::memset(b.h, 0, sizeof(b.h));
    b.count = 0;
    for (int32_t r = b.lo[0]; r < b.hi[0]; ++r)
      for (int32_t g = b.lo[1]; g < b.hi[1]; ++g)
        for (int32_t bl = b.lo[2]; bl < b.hi[2]; ++bl) {
          const int32_t v = hist[size_t(Cell(r, g, bl))];
          if (!v) continue;
          b.h[0][r] += v;
          b.h[1][g] += v;
          b.h[2][bl] += v;
          b.count += v;
        }
  }

  static void Shrink(Box& b) {
    for (int a = 0; a < 3; ++a) {
      int32_t first = -1, last = -1;
      for (int32_t j = 0; j < 32; ++j)
        if (b.h[a][j]) {
          if (first < 0) first = j;
          last = j;
        }
      if (first < 0) {
        b.lo[a] = 32;
        b.hi[a] = 1;
      } else {
        b.lo[a] = first;
        b.hi[a] = last + 1;
      }
    }
  }

  bool AxisSplit(const Box& box, int a, Box& lower, Box& upper) const {
    if (box.hi[a] - box.lo[a] <= 1) return false;
    const int32_t lo = box.lo[a], hi = box.hi[a];
    const double mean = box.mean[a];
    int32_t start = int32_t(std::clamp<int64_t>(Round((lo + mean) * 0.5), lo, hi - 1));
    const int32_t end = int32_t(std::clamp<int64_t>(Round((hi + mean) * 0.5), start, hi - 1));
    int64_t running = 0;
    for (int32_t j = lo; j < start; ++j) running += box.h[a][j];
    double t = 0, best = -1;
    int32_t cut = start;
    for (int32_t e = start; e <= end; ++e) {
      running += box.h[a][e];
      if (running == box.count) break;
      t += double(box.h[a][e]) * e / box.count;
      const double score = double(running) / double(box.count - running) * (mean - t) * (mean - t);
      if (score > best) {
        best = score;
        cut = e;
      }
    }
    lower = box;
    upper = box;
    lower.hi[a] = cut + 1;
    upper.lo[a] = cut + 1;
    Rebuild(lower);
    if (lower.count == 0 || lower.count == box.count) return false;
    upper.count = box.count - lower.count;
    for (int k = 0; k < 3; ++k)
      for (int j = 0; j < 32; ++j) upper.h[k][j] = box.h[k][j] - lower.h[k][j];
    Shrink(lower);
    Shrink(upper);
    Stats(lower);
    Stats(upper);
    return true;
  }
};

TQxMedianCutPtr MedianCutCreate(TQxBitmap* Bitmap, TQxRGB* Palette, int32_t N) {
  TQxMedianCutPtr s(new TQxMedianCutState());
  N = std::max(N, 1);
  s->hist.assign(32768, 0);
  s->boxes.assign(size_t(N), {});
  s->inverse.assign(32768, 0);
  s->wanted = N;
  s->total = int32_t(std::min<int64_t>(int64_t(Bitmap->Width()) * Bitmap->Height(), INT32_MAX));
  TQxMedianCutState::Box& root = s->boxes[0];
  ForEachPixel(Bitmap, [&](TQxRGB c) {
    const int32_t r = c.r >> 3, g = c.g >> 3, b = c.b >> 3;
    ++s->hist[size_t(TQxMedianCutState::Cell(r, g, b))];
    ++root.h[0][r];
    ++root.h[1][g];
    ++root.h[2][b];
  });
  root.count = s->total;
  s->Stats(root);
  int32_t i = 1;
  while (i < N) {
    int32_t pick = -1;
    double best = 0;
    for (int32_t k = 0; k < i; ++k)
      if (s->boxes[size_t(k)].error > best) {
        best = s->boxes[size_t(k)].error;
        pick = k;
      }
    if (pick < 0) break;
    TQxMedianCutState::Box bestLower, bestUpper;
    double bestScore = 0;
    bool any = false;
    for (int a = 0; a < 3; ++a) {
      TQxMedianCutState::Box lo, up;
      if (!s->AxisSplit(s->boxes[size_t(pick)], a, lo, up)) continue;
      const double score = lo.error + up.error;
      if (!any || score < bestScore) {
        any = true;
        bestScore = score;
        bestLower = lo;
        bestUpper = up;
      }
    }
    if (!any) {
      s->boxes[size_t(pick)].error = 0;
      continue;
    }
    s->boxes[size_t(pick)] = bestLower;
    s->boxes[size_t(i)] = bestUpper;
    ++i;
  }
  s->produced = (s->total > 0) ? i : 0;
  for (int32_t k = 0; k < s->produced; ++k) {
    const auto& b = s->boxes[size_t(k)];
    Palette[k] = TQxRGB{uint8_t(Round(b.mean[2]) << 3), uint8_t(Round(b.mean[1]) << 3), uint8_t(Round(b.mean[0]) << 3)};
    for (int32_t r = b.lo[0]; r < b.hi[0]; ++r)
      for (int32_t g = b.lo[1]; g < b.hi[1]; ++g)
        for (int32_t bl = b.lo[2]; bl < b.hi[2]; ++bl)
          s->inverse[size_t(TQxMedianCutState::Cell(r, g, bl))] = uint16_t(k);
  }
  return s;
}

int32_t MedianCutMapColor(TQxMedianCutState* State, TQxRGB Color) {
  if (!State) return 0;
  return State->inverse[size_t(TQxMedianCutState::Cell(Color.r >> 3, Color.g >> 3, Color.b >> 3))];
}

int32_t MedianCutColorsProduced(TQxMedianCutState* State) { return State ? State->produced : 0; }

void MedianCutFree(TQxMedianCutPtr& State) { State.reset(); }
void TQxMedianCutDeleter::operator()(TQxMedianCutState* P) const { delete P; }

// ---------------------------------------------------------------- NeuQuant

struct TQxNeuQuantState {
  int32_t n = 0;
  int32_t factor = 1;
  std::vector<std::array<int32_t, 4>> net;  // blue, green, red, palette index
  int32_t netindex[256] = {};
  std::vector<int32_t> bias, freq, radpower;
};

namespace {

int32_t Contest(TQxNeuQuantState& s, int32_t b, int32_t g, int32_t r) {
  int32_t bestd = INT32_MAX, bestbiasd = INT32_MAX, bestpos = -1, bestbiaspos = -1;
  for (int32_t i = 0; i < s.n; ++i) {
    const auto& p = s.net[size_t(i)];
    const int32_t dist = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
    if (dist < bestd) {
      bestd = dist;
      bestpos = i;
    }
    const int32_t biasdist = dist - Sar(s.bias[size_t(i)], 12);
    if (biasdist < bestbiasd) {
      bestbiasd = biasdist;
      bestbiaspos = i;
    }
    const int32_t betafreq = s.freq[size_t(i)] >> 10;
    s.freq[size_t(i)] -= betafreq;
    s.bias[size_t(i)] += betafreq << 10;
  }
  s.freq[size_t(bestpos)] += 64;
  s.bias[size_t(bestpos)] -= 65536;
  return bestbiaspos;
}

void ComputeRadpower(TQxNeuQuantState& s, int32_t rad, int32_t alpha) {
  s.radpower.assign(size_t(std::max(rad, 1)), 0);
  for (int32_t k = 0; k < rad; ++k)
    s.radpower[size_t(k)] = int32_t(int64_t(alpha) * (((int64_t(rad) * rad - int64_t(k) * k) * 256) / (int64_t(rad) * rad)));
}

}  // namespace

TQxNeuQuantPtr NeuQuantCreate(TQxBitmap* Bitmap, TQxRGB* Palette, int32_t Sampling, int32_t N) {
  TQxNeuQuantPtr s(new TQxNeuQuantState());
  N = std::max(N, 1);
  s->n = N;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  const int64_t pixels = int64_t(w) * h;
  if (Sampling == -1)
    s->factor = pixels < 2000 ? 1 : int32_t(std::clamp<int64_t>(Round(13.0 * double(pixels - 2000) / 148000.0 + 2), 1, 30));
  else
    s->factor = int32_t(Trunc((100.0 - std::clamp(Sampling, 0, 100)) / 100.0 * 29)) + 1;
  s->net.resize(size_t(N));
  s->bias.assign(size_t(N), 0);
  s->freq.assign(size_t(N), 65536 / N);
  for (int32_t i = 0; i < N; ++i) {
    const int32_t v = int32_t(int64_t(i) * 4096 / N);
    s->net[size_t(i)] = {v, v, v, 0};
  }
  if (pixels > 0) {
    // The pixels as blue, green, red bytes, one read per row.
    std::vector<uint8_t> data(static_cast<size_t>(pixels) * 3);
    for (int32_t y = 0; y < h; ++y) std::memcpy(data.data() + int64_t(y) * w * 3, Bitmap->Scanline(y), size_t(w) * 3);
    const int32_t alphadec = 30 + (s->factor - 1) / 3;
    const int64_t samples = (pixels * 3) / (3 * int64_t(s->factor));
    int64_t delta = std::max<int64_t>(samples / 100, 1);
    int32_t alpha = 1024;
    int32_t radius = (N / 8) * 64;
    int32_t rad = radius > 127 ? radius >> 6 : 0;
    ComputeRadpower(*s, rad, alpha);
    const int64_t bytes = pixels * 3;
    int64_t step = 499;
    if (bytes % 499 == 0) {
      step = 491;
      if (bytes % 491 == 0) {
        step = 487;
        if (bytes % 487 == 0) step = 503;
      }
    }
    int64_t pix = 0;
    for (int64_t i = 0; i < samples;) {
      const uint8_t* p = data.data() + pix * 3;
      const int32_t b = p[0] << 4, g = p[1] << 4, r = p[2] << 4;
      const int32_t j = Contest(*s, b, g, r);
      auto& nj = s->net[size_t(j)];
      nj[0] -= (nj[0] - b) * alpha / 1024;
      nj[1] -= (nj[1] - g) * alpha / 1024;
      nj[2] -= (nj[2] - r) * alpha / 1024;
      if (rad > 0) {
        for (int32_t k = 1; k < rad; ++k) {
          const int32_t a = s->radpower[size_t(k)];
          for (int32_t jj : {j + k, j - k}) {
            if (jj < 0 || jj >= N) continue;
            auto& q = s->net[size_t(jj)];
            q[0] -= int32_t(int64_t(q[0] - b) * a / 262144);
            q[1] -= int32_t(int64_t(q[1] - g) * a / 262144);
            q[2] -= int32_t(int64_t(q[2] - r) * a / 262144);
          }
        }
      }
      // Wrapping by modulo keeps the walk inside pictures smaller than the step.
      pix = (pix + step) % pixels;
      ++i;
      if (i % delta == 0) {
        alpha -= alpha / alphadec;
        radius -= radius / 30;
        rad = radius >> 6;
        if (rad <= 1) rad = 0;
        ComputeRadpower(*s, rad, alpha);
      }
    }
  }
  for (int32_t i = 0; i < N; ++i) {
    auto& q = s->net[size_t(i)];
    for (int c = 0; c < 3; ++c) q[size_t(c)] = std::min((q[size_t(c)] + 8) >> 4, 255);
    q[3] = i;
    Palette[i] = TQxRGB{uint8_t(std::max(q[0], 0)), uint8_t(std::max(q[1], 0)), uint8_t(std::max(q[2], 0))};
  }
  // Sort by green and index the green values.
  int32_t previouscol = 0, startpos = 0;
  for (int32_t i = 0; i < N; ++i) {
    int32_t smallpos = i, smallval = s->net[size_t(i)][1];
    for (int32_t j = i + 1; j < N; ++j)
      if (s->net[size_t(j)][1] < smallval) {
        smallpos = j;
        smallval = s->net[size_t(j)][1];
      }
    if (smallpos != i) std::swap(s->net[size_t(i)], s->net[size_t(smallpos)]);
    smallval = std::clamp(smallval, 0, 255);
    if (smallval != previouscol) {
      s->netindex[previouscol] = (startpos + i) >> 1;
      for (int32_t j = previouscol + 1; j < smallval; ++j) s->netindex[j] = i;
      previouscol = smallval;
      startpos = i;
    }
  }
  s->netindex[previouscol] = (startpos + N - 1) >> 1;
  for (int32_t j = previouscol + 1; j < 256; ++j) s->netindex[j] = N - 1;
  return s;
}

int32_t NeuQuantMapColor(TQxNeuQuantState* State, TQxRGB Color) {
  if (!State) return -1;
  const int32_t b = Color.b, g = Color.g, r = Color.r, n = State->n;
  int32_t bestd = 1000, best = -1;
  int32_t i = State->netindex[g], j = i - 1;
  while (i < n || j >= 0) {
    if (i < n) {
      const auto& p = State->net[size_t(i)];
      int32_t dist = p[1] - g;
      if (dist >= bestd) {
        i = n;
      } else {
        ++i;
        dist = std::abs(dist) + std::abs(p[0] - b);
        if (dist < bestd) {
          dist += std::abs(p[2] - r);
          if (dist < bestd) {
            bestd = dist;
            best = p[3];
          }
        }
      }
    }
    if (j >= 0) {
      const auto& p = State->net[size_t(j)];
      int32_t dist = g - p[1];
      if (dist >= bestd) {
        j = -1;
      } else {
        --j;
        dist = std::abs(dist) + std::abs(p[0] - b);
        if (dist < bestd) {
          dist += std::abs(p[2] - r);
          if (dist < bestd) {
            bestd = dist;
            best = p[3];
          }
        }
      }
    }
  }
  return best;
}

void NeuQuantFree(TQxNeuQuantPtr& State) { State.reset(); }
void TQxNeuQuantDeleter::operator()(TQxNeuQuantState* P) const { delete P; }

// ---------------------------------------------------------------- exact table

std::vector<TQxRGB> QxExactColorTable(TQxBitmap* Bitmap, int32_t N, TQxRGB* Palette) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return {};
  std::vector<TQxRGB> table;
  std::unordered_map<uint32_t, int32_t> seen;
  bool overflow = false;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  for (int32_t y = 0; y < h && !overflow; ++y) {
    std::memcpy(row.data(), Bitmap->Scanline(y), row.size());
    for (int32_t x = 0; x < w; ++x) {
      const TQxRGB c{row[3 * size_t(x)], row[3 * size_t(x) + 1], row[3 * size_t(x) + 2]};
      if (seen.count(Key(c))) continue;
      if (int32_t(table.size()) >= N) {
        overflow = true;
        break;
      }
      seen.emplace(Key(c), int32_t(table.size()));
      table.push_back(c);
    }
  }
  if (overflow || table.empty()) return {};
  if (Palette) std::copy(table.begin(), table.end(), Palette);
  return table;
}

int32_t QxFindRGB(const std::vector<TQxRGB>& Table, TQxRGB Color) {
  for (size_t i = 0; i < Table.size(); ++i)
    if (Table[i] == Color) return int32_t(i);
  return -1;
}

// ---------------------------------------------------------------- quantizer

TQxQuantizer::TQxQuantizer(TQxBitmap* Bitmap, TQxRGB* Palette, int32_t N) : count_(std::max(N, 1)), bitmap_(Bitmap) {
  if (!Bitmap) return;
  gray_ = Bitmap->IsGrayScale();
  const TQxPixelFormat f = Bitmap->PixelFormat();
  if (f == TQxPixelFormat::qx24RGB && !gray_) {
    exact_ = QxExactColorTable(Bitmap, count_, Palette);
    if (!exact_.empty()) {
      exactIndex_.reserve(exact_.size());
      for (size_t i = 0; i < exact_.size(); ++i) exactIndex_.emplace(Key(exact_[i]), int32_t(i));
      return;
    }
    const bool median = QxQuantizerMethod == 1 || (QxQuantizerMethod == -1 && count_ < 128);
    if (median) {
      method_ = 1;
      medianCut_ = MedianCutCreate(Bitmap, Palette, count_);
    } else {
      method_ = 0;
      neuQuant_ = NeuQuantCreate(Bitmap, Palette, QxQuantizerSampling, count_);
    }
  } else if (f == TQxPixelFormat::qx8p) {
    const int32_t len = Bitmap->PaletteLength();
    for (int32_t i = 0; i < count_; ++i) Palette[i] = i < len ? Bitmap->PaletteColor(i) : TQxRGB{0, 0, 0};
  } else if (gray_) {
    for (int32_t i = 0; i < count_; ++i) {
      const uint8_t v = uint8_t(std::min<int64_t>(Trunc(256.0 / count_ * i), 255));
      Palette[i] = TQxRGB{v, v, v};
    }
  }
}

TQxQuantizer::~TQxQuantizer() = default;

int32_t TQxQuantizer::RGBIndex(TQxRGB Color) {
  if (!exact_.empty()) {
    auto it = exactIndex_.find(Key(Color));
    return it == exactIndex_.end() ? -1 : it->second;
  }
  if (gray_) return int32_t(int64_t(Color.r) * count_ / 256);
  if (medianCut_) return MedianCutMapColor(medianCut_.get(), Color);
  if (neuQuant_) return NeuQuantMapColor(neuQuant_.get(), Color);
  if (bitmap_ && bitmap_->PixelFormat() == TQxPixelFormat::qx8p) {
    const int32_t len = bitmap_->PaletteLength();
    for (int32_t i = 0; i < len; ++i)
      if (bitmap_->PaletteColor(i) == Color) return i;
    return len;
  }
  return 0;
}
