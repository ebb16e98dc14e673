#include "imaging/processing/filters.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "imaging/foundation/mask.h"
#include "imaging/processing/proc_internal.h"

using namespace qxproc;

std::vector<TQxFilterPreset> QxFilterPresets;
std::vector<std::string> QxFilterPresetNames;

void QxAddFilterPreset(const TQxFilterPreset& Preset, const std::string& Name) {
  QxFilterPresets.push_back(Preset);
  QxFilterPresetNames.push_back(Name);
}

void QxInitFilterPresets() {
  QxFreeFilterPresets();
  QxAddFilterPreset({{0, 0, 0, 0, 1, 0, 0, 0, 0}, 0}, "None");
  QxAddFilterPreset({{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9}, "Blur");
  QxAddFilterPreset({{1, 1, 1, 1, -8, 1, 1, 1, 1}, 1}, "Edges");
  QxAddFilterPreset({{-1, 0, 1, -1, 1, 1, -1, 0, 1}, 1}, "Emboss");
  QxAddFilterPreset({{0, -1, 0, -1, 5, -1, 0, -1, 0}, 1}, "High Pass 1");
  QxAddFilterPreset({{-1, -1, -1, -1, 9, -1, -1, -1, -1}, 1}, "High Pass 2");
  QxAddFilterPreset({{1, -2, 1, -2, 5, -2, 1, -2, 1}, 1}, "High Pass 3");
  QxAddFilterPreset({{1, 1, 1, 1, 1, 1, 1, 1, 1}, 10}, "Low Pass 1");
  QxAddFilterPreset({{1, 2, 1, 2, 4, 2, 1, 2, 1}, 16}, "Low Pass 2");
}

void QxFreeFilterPresets() {
  QxFilterPresets.clear();
  QxFilterPresetNames.clear();
}

void QxConvolve3x3(TQxBitmap* Bitmap, const TQxFilterPreset& Preset, int32_t X1, int32_t Y1, int32_t X2,
                   int32_t Y2) {
  if (!Bitmap || Bitmap->PixelFormat() != TQxPixelFormat::qx8g || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  // The rectangle is clipped to the picture rather than trusted.
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  const int32_t XL = std::min(X2, W) - 1, YL = std::min(Y2, H) - 1;
  if (X1 > XL || Y1 > YL) return;
  const int32_t div = Preset.Divisor == 0 ? 1 : Preset.Divisor;
  const int32_t* k = Preset.Values;

  // Rows are locked so that every location gives stable pointers; LockRow takes storage rows, which the
  // origin flag numbers from the other end.
  const int32_t r0 = std::max(Y1 - 1, 0), r1 = std::min(YL + 1, H - 1);
  auto storage = [&](int32_t y) { return Bitmap->Origin ? H - 1 - y : y; };
  std::vector<uint8_t*> rows(H, nullptr);
  for (int32_t y = r0; y <= r1; ++y) rows[y] = Bitmap->LockRow(storage(y));
  auto row = [&](int32_t y) { return rows[std::clamp(y, r0, r1)]; };
  const int32_t rw = XL - X1 + 1, rh = YL - Y1 + 1;
  const size_t W8 = size_t(W);

  // Rows are filtered in place: each band keeps copies of the original rows it still needs, and the rows
  // at its borders are copied before any band starts writing.
  auto one = [&](const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* d, int32_t x) {
    const int32_t xl = x > 0 ? x - 1 : 0, xr = x < W - 1 ? x + 1 : W - 1;
    const int32_t s = k[0] * p0[xl] + k[1] * p0[x] + k[2] * p0[xr] + k[3] * p1[xl] + k[4] * p1[x] +
                      k[5] * p1[xr] + k[6] * p2[xl] + k[7] * p2[x] + k[8] * p2[xr];
    const int32_t v = std::abs(s) / div;
    d[x] = uint8_t(v > 255 ? 255 : v);
  };
  const int32_t k0 = k[0], k1 = k[1], k2 = k[2], k3 = k[3], k4 = k[4], k5 = k[5], k6 = k[6], k7 = k[7], k8 = k[8];
  // Inner columns need no edge repeat, so that loop has no branches and vectorises.
  const int32_t in0 = std::max(X1, 1), in1 = std::min(XL, W - 2);
  auto filterRow = [&](const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* d) {
    if (in0 > in1) {
      for (int32_t x = X1; x <= XL; ++x) one(p0, p1, p2, d, x);
      return;
    }
    for (int32_t x = X1; x < in0; ++x) one(p0, p1, p2, d, x);
    for (int32_t x = in0; x <= in1; ++x) {
      const int32_t s = k0 * p0[x - 1] + k1 * p0[x] + k2 * p0[x + 1] + k3 * p1[x - 1] + k4 * p1[x] +
                        k5 * p1[x + 1] + k6 * p2[x - 1] + k7 * p2[x] + k8 * p2[x + 1];
      const int32_t v = (s < 0 ? -s : s) / div;
      d[x] = uint8_t(v > 255 ? 255 : v);
    }
    for (int32_t x = in1 + 1; x <= XL; ++x) one(p0, p1, p2, d, x);
  };
  const int64_t work = int64_t(rw) * rh;
  unsigned n = work >= (1 << 18) ? std::max(1u, std::thread::hardware_concurrency()) : 1u;
  n = std::min<unsigned>(n, unsigned(rh));
  const int32_t band = (rh + int32_t(n) - 1) / int32_t(n);
  struct Border {
    std::vector<uint8_t> above, below;  // original rows a - 1 and b, clamped to the picture
  };
  std::vector<Border> borders(n);
  for (unsigned i = 0; i < n; ++i) {
    const int32_t a = Y1 + int32_t(i) * band, e = std::min(YL + 1, a + band);
    if (a >= e) continue;
    const uint8_t* up = row(a - 1);
    const uint8_t* dn = row(e);
    borders[i].above.assign(up, up + W8);
    borders[i].below.assign(dn, dn + W8);
  }
  auto doBand = [&](unsigned i) {
    const int32_t a = Y1 + int32_t(i) * band, e = std::min(YL + 1, a + band);
    if (a >= e) return;
    std::vector<uint8_t> prev = borders[i].above, cur(row(a), row(a) + W8), out(W8);
    for (int32_t y = a; y < e; ++y) {
      const uint8_t* next = y + 1 < e ? row(y + 1) : borders[i].below.data();
      std::memcpy(out.data(), cur.data(), W8);
      filterRow(prev.data(), cur.data(), next, out.data());
      std::swap(prev, cur);
      if (y + 1 < e) cur.assign(next, next + W8);
      std::memcpy(rows[y] + X1, out.data() + X1, size_t(rw));
    }
  };
  if (n <= 1) {
    doBand(0);
  } else {
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < n; ++i) threads.emplace_back(doBand, i);
    doBand(0);
    for (auto& t : threads) t.join();
  }
  for (int32_t y = r0; y <= r1; ++y) Bitmap->UnlockRow(storage(y));
}

// ---------------------------------------------------------------------------------------------------------
// Magic wand

namespace {

struct SeedFill {
  int32_t W = 0, H = 0;
  int32_t MinX = 0, MinY = 0, MaxX = -1, MaxY = -1;
  std::vector<uint8_t> visited;  // one bit per pixel, W div 8 + 1 bytes per row
  int32_t stride = 0;

  bool Visited(int32_t x, int32_t y) const { return GetBit(&visited[size_t(y) * stride], x); }

  // Heckbert's scan-line seed fill over 4-connected pixels that match the seed colour.
  bool Run(TQxBitmap* B, int32_t X, int32_t Y, int32_t Tolerance) {
    W = B->Width();
    H = B->Height();
    if (X < 0 || Y < 0 || X >= W || Y >= H) return false;
    stride = W / 8 + 1;
    visited.assign(size_t(stride) * H, 0);
    MinX = MaxX = X;
    MinY = MaxY = Y;
    const TQxRGB seed = B->GetPixelRGB(X, Y);
    // Rows are read through a one-row colour cache: GetPixelRGB works for every format.
    std::vector<TQxRGB> cache(W);
    int32_t cachedRow = -1;
    auto matches = [&](int32_t x, int32_t y) {
      if (y != cachedRow) {
        for (int32_t i = 0; i < W; ++i) cache[i] = B->GetPixelRGB(i, y);
        cachedRow = y;
      }
      const TQxRGB c = cache[x];
      return std::abs(c.r - seed.r) <= Tolerance && std::abs(c.g - seed.g) <= Tolerance &&
             std::abs(c.b - seed.b) <= Tolerance;
    };
    auto inside = [&](int32_t x, int32_t y) { return !Visited(x, y) && matches(x, y); };
    auto set = [&](int32_t x, int32_t y) {
      SetBit(&visited[size_t(y) * stride], x, true);
      MinX = std::min(MinX, x);
      MaxX = std::max(MaxX, x);
      MinY = std::min(MinY, y);
      MaxY = std::max(MaxY, y);
    };
    struct Seg {
      int32_t y, xl, xr, dy;
    };
    std::vector<Seg> stack;
    stack.reserve(size_t(2) * W);
    auto push = [&](int32_t y, int32_t xl, int32_t xr, int32_t dy) {
      if (y + dy >= 0 && y + dy < H) stack.push_back({y, xl, xr, dy});
    };
    push(Y, X, X, 1);
    push(Y + 1, X, X, -1);
    while (!stack.empty()) {
      Seg s = stack.back();
      stack.pop_back();
      const int32_t y = s.y + s.dy, x1 = s.xl, x2 = s.xr, dy = s.dy;
      int32_t x = x1;
      for (; x >= 0 && inside(x, y); --x) set(x, y);
      int32_t l;
      bool skip = x >= x1;
      if (!skip) {
        l = x + 1;
        if (l < x1) push(y, l, x1 - 1, -dy);
        x = x1 + 1;
      } else {
        l = x1;  // unused until reassigned below
      }
      do {
        if (!skip) {
          for (; x < W && inside(x, y); ++x) set(x, y);
          push(y, l, x - 1, dy);
          if (x > x2 + 1) push(y, x2 + 1, x - 1, -dy);
        }
        skip = false;
        for (++x; x <= x2 && !inside(x, y); ++x) {
        }
        l = x;
      } while (x <= x2);
    }
    return true;
  }
};

}  // namespace

void QxMagicWandMask(TQxBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TQxMask* Mask, int32_t Tolerance,
                     bool Dilate) {
  if (!Bitmap || !Mask) return;
  SeedFill f;
  if (!f.Run(Bitmap, X, Y, Tolerance)) return;
  for (int32_t y = f.MinY; y <= f.MaxY; ++y)
    for (int32_t x = f.MinX; x <= f.MaxX; ++x) {
      if (!f.Visited(x, y)) continue;
      if (!Dilate) {
        Mask->SetPixel(x, y, Value);
        continue;
      }
      for (int32_t v = std::max(y - 1, 0); v <= std::min(y + 1, f.H - 1); ++v)
        for (int32_t u = std::max(x - 1, 0); u <= std::min(x + 1, f.W - 1); ++u) Mask->SetPixel(u, v, Value);
    }
}

std::vector<TPoint> QxMagicWandPolygon(TQxBitmap* Bitmap, int32_t X, int32_t Y, int32_t& Count, int32_t Tolerance,
                                       bool Dilate) {
  Count = 0;
  std::vector<TPoint> result;
  if (!Bitmap) return result;
  SeedFill f;
  if (!f.Run(Bitmap, X, Y, Tolerance)) return result;
  const int32_t bw = f.MaxX - f.MinX + 1, bh = f.MaxY - f.MinY + 1;
  std::vector<uint8_t> region(size_t(bw) * bh, 0);
  for (int32_t y = f.MinY; y <= f.MaxY; ++y)
    for (int32_t x = f.MinX; x <= f.MaxX; ++x) {
      if (!f.Visited(x, y)) continue;
      const int32_t u = x - f.MinX, v = y - f.MinY;
      if (!Dilate) {
        region[size_t(v) * bw + u] = 1;
        continue;
      }
      for (int32_t vv = std::max(v - 1, 0); vv <= std::min(v + 1, bh - 1); ++vv)
        for (int32_t uu = std::max(u - 1, 0); uu <= std::min(u + 1, bw - 1); ++uu) region[size_t(vv) * bw + uu] = 1;
    }
  // Each region pixel becomes a 4 x 4 block of a grid with a two-cell margin.
  const int32_t gw = 4 * bw + 4, gh = 4 * bh + 4;
  std::vector<uint8_t> g(size_t(gw) * gh, 0);
  auto G = [&](int32_t x, int32_t y) -> uint8_t& { return g[size_t(y) * gw + x]; };
  for (int32_t v = 0; v < bh; ++v)
    for (int32_t u = 0; u < bw; ++u)
      if (region[size_t(v) * bw + u])
        for (int32_t yy = 4 * v + 2; yy <= 4 * v + 5; ++yy)
          for (int32_t xx = 4 * u + 2; xx <= 4 * u + 5; ++xx) G(xx, yy) = 1;
  // Border cells: the cell just outside each run of filled cells, in the four directions.
  for (int32_t y = 0; y < gh; ++y) {
    for (int32_t x = 1; x < gw; ++x)
      if (G(x, y) == 1 && G(x - 1, y) != 1) G(x - 1, y) = 3;
    for (int32_t x = gw - 2; x >= 0; --x)
      if (G(x, y) == 1 && G(x + 1, y) != 1) G(x + 1, y) = 3;
  }
  for (int32_t x = 0; x < gw; ++x) {
    for (int32_t y = 1; y < gh; ++y)
      if (G(x, y) == 1 && G(x, y - 1) != 1) G(x, y - 1) = 3;
    for (int32_t y = gh - 2; y >= 0; --y)
      if (G(x, y) == 1 && G(x, y + 1) != 1) G(x, y + 1) = 3;
  }
  int32_t k0 = INT32_MAX, s0 = INT32_MAX;
  for (int32_t y = 0; y < gh; ++y)
    for (int32_t x = 1; x < gw; ++x)
      if (G(x, y) == 3) {
        k0 = std::min(k0, x);
        s0 = std::min(s0, y);
      }
  if (k0 == INT32_MAX) return result;
  int32_t sx = -1, sy = -1;
  int64_t best = INT64_MAX;
  for (int32_t y = 0; y < gh; ++y)
    for (int32_t x = 1; x < gw; ++x)
      if (G(x, y) == 3) {
        const int64_t d = int64_t(x - k0) * (x - k0) + int64_t(y - s0) * (y - s0);
        if (d < best) {
          best = d;
          sx = x;
          sy = y;
        }
      }
  G(sx, sy) = 2;
  static const int32_t stepX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
  static const int32_t stepY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
  static const uint8_t codeOf[8] = {0, 2, 4, 6, 1, 3, 5, 7};
  auto isBorder = [&](int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < gw && y < gh && G(x, y) == 3; };
  std::vector<uint8_t> codes;
  int32_t cx = sx, cy = sy, dir = 4;
  for (;;) {
    if (isBorder(cx + stepX[dir], cy + stepY[dir])) {
      cx += stepX[dir];
      cy += stepY[dir];
      G(cx, cy) = 2;
      codes.push_back(codeOf[dir]);
    }
    int32_t found = -1;
    for (int32_t d = 0; d < 8; ++d)
      if (isBorder(cx + stepX[d], cy + stepY[d])) {
        found = d;
        break;
      }
    if (found < 0) break;
    cx += stepX[found];
    cy += stepY[found];
    G(cx, cy) = 2;
    codes.push_back(codeOf[found]);
    dir = found;
  }
  for (int32_t d = 0; d < 8; ++d)
    if (cx + stepX[d] == sx && cy + stepY[d] == sy && !(cx == sx && cy == sy)) {
      codes.push_back(codeOf[d]);
      break;
    }
  static const int32_t moveX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
  static const int32_t moveY[8] = {0, -1, -1, -1, 0, 1, 1, 1};
  int32_t px = sx + 4 * f.MinX - 1, py = sy + 4 * f.MinY - 1;
  result.push_back(TPoint{px, py});
  uint8_t prev = codes.empty() ? 0 : codes[0];
  for (uint8_t c : codes) {
    if (c != prev) result.push_back(TPoint{px, py});
    prev = c;
    px += moveX[c];
    py += moveY[c];
  }
  for (TPoint& p : result) {
    p.X >>= 2;
    p.Y >>= 2;
  }
  Count = int32_t(result.size());
  return result;
}

void QxSelectSimilarColors(TQxBitmap* Bitmap, int32_t X, int32_t Y, int32_t Value, TQxMask* Mask,
                           int32_t Tolerance) {
  if (!Bitmap || !Mask) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  // The seed must lie in the picture.
  if (X < 0 || Y < 0 || X >= W || Y >= H) return;
  const TQxRGB seed = Bitmap->GetPixelRGB(X, Y);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TQxRGB c = Bitmap->GetPixelRGB(x, y);
      if (std::abs(c.r - seed.r) <= Tolerance && std::abs(c.g - seed.g) <= Tolerance &&
          std::abs(c.b - seed.b) <= Tolerance)
        Mask->SetPixel(x, y, Value);
    }
}
