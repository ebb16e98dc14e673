// Camera-raw processing of layered (Foveon) sensors: seven integer passes that linearise the layers,
// sharpen, limit outliers, reduce chroma noise, convert to RGB and smooth the chroma at quarter scale.
#include <algorithm>
#include <vector>

#include "imaging/codecs/raw/camera_raw_internal.h"

namespace {

// Sign-kept shift, truncating toward zero.
inline int64_t S(int64_t X, int32_t K) { return X >= 0 ? X >> K : -((-X) >> K); }
// The low 32 bits of a product, unsigned, shifted.
inline int32_t L(int64_t A, int64_t B, int32_t K) { return int32_t((uint32_t(A) * uint32_t(B)) >> K); }
// A 32-bit product that wraps as in two's complement.
inline int32_t Mul32(int64_t A, int64_t B) { return int32_t(uint32_t(A) * uint32_t(B)); }

struct TCurve {
  std::vector<int16_t> V;  // V[1..n]
  int32_t N() const { return int32_t(V.size()) - 1; }
};

TCurve Expand(std::initializer_list<std::pair<int16_t, int16_t>> Runs) {
  TCurve c;
  c.V.push_back(0);
  for (const auto& r : Runs)
    for (int32_t i = 0; i < r.second; ++i) c.V.push_back(r.first);
  return c;
}

const TCurve& CurveA() {
  static const TCurve c = Expand({{0, 1}, {1, 1}, {2, 2}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 1}, {8, 1}, {9, 2},
                                  {10, 1}, {11, 2}, {12, 1}, {13, 2}, {14, 2}, {15, 1}, {16, 2}, {17, 2}, {18, 3},
                                  {19, 2}, {20, 3}, {21, 3}, {22, 3}, {23, 5}, {24, 5}, {25, 8}, {26, 14}});
  return c;
}
const TCurve& CurveB() {
  static const TCurve c = Expand({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 3}, {7, 7}});
  return c;
}
const TCurve& Chroma(int32_t K) {
  static const TCurve c0 = Expand({{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 3}, {9, 2},
                                   {10, 4}, {11, 3}, {12, 6}, {13, 8}, {14, 32}});
  static const TCurve c1 = Expand({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 1}, {6, 2}, {7, 3}, {8, 2}, {9, 3},
                                   {10, 3}, {11, 5}, {12, 9}});
  static const TCurve c2 = Expand({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 1}, {9, 2},
                                   {10, 1}, {11, 2}, {12, 2}, {13, 2}, {14, 2}, {15, 2}, {16, 2}, {17, 2}, {18, 3},
                                   {19, 3}, {20, 3}, {21, 4}, {22, 5}, {23, 5}, {24, 8}, {25, 12}, {26, 37}});
  return K == 0 ? c0 : K == 1 ? c1 : c2;
}

inline int32_t Step(int64_t I, const TCurve& C) { return apply_step_curve(int32_t(std::clamp<int64_t>(I, INT32_MIN + 1, INT32_MAX)), C.V.data(), C.N()); }

const int32_t kWeight[3][3][3] = {
    {{4141, 37726, 11265}, {-30437, 16066, -41102}, {326, -413, 362}},
    {{1770, -1316, 3480}, {-2139, 213, -4998}, {-2381, 3496, -2008}},
    {{-3838, -24025, -12968}, {20144, -12195, 30272}, {-631, -2025, 822}},
};
const double kMul[3] = {1.0321, 1.0, 1.1124};
const int32_t kRgb[3][3] = {{7576, -2933, 1279}, {-11594, 29911, -12394}, {4000, -18850, 20772}};

}  // namespace

int32_t apply_step_curve(int32_t I, const int16_t* Curve, int32_t N) {
  if (N <= 0) return I;  // no curve: the value passes unchanged
  if (I <= -N) return -Curve[N] - 1;
  if (I < 0) return -Curve[1 - I];
  if (I < N) return Curve[1 + I];
  return Curve[N] + 1;
}

void foveon_interpolate(TQxRawContext& C, int32_t LastPass) {
  const int32_t h = C.ImageHeight, w = C.ImageWidth;
  if (h <= 0 || w <= 0 || LastPass < 1) return;
  auto px = [&](int32_t r, int32_t c) { return C.Pixels[int64_t(r) * w + c]; };

  // Pass 1: layer linearisation.
  for (int32_t row = 0; row < h; ++row) {
    int32_t prev[3] = {px(row, 0)[0], px(row, 0)[1], px(row, 0)[2]};
    for (int32_t col = 0; col < w; ++col) {
      uint16_t* p = px(row, col);
      int32_t q[3], wt[3][3];
      for (int32_t c = 0; c < 3; ++c) {
        const int32_t d = p[c] - prev[c];
        prev[c] = p[c];
        q[c] = p[c] + int32_t(S(Mul32(d + L(d, d, 14), 13107), 14));
      }
      for (int32_t c = 0; c < 3; ++c) {
        wt[0][c] = L(q[c], q[c], 14);
        wt[2][c] = L(q[c], wt[0][c], 14);
        wt[1][2 - c] = L(q[(c + 1) % 3], q[(c + 2) % 3], 14);
      }
      for (int32_t c = 0; c < 3; ++c) {
        int32_t v = 0;
        for (int32_t i = 0; i < 3; ++i)
          for (int32_t j = 0; j < 3; ++j) v = int32_t(uint32_t(v) + uint32_t(Mul32(kWeight[c][i][j], wt[i][j])));
        const double x = double(q[c] + S(v, 14)) * kMul[c];
        p[c] = uint16_t(std::clamp<int64_t>(int64_t(x), 0, 32000));
      }
    }
  }

  // The rolling window of five smoothed rows for passes 2 and 4.
  std::vector<int32_t> store(size_t(w) * 5 * 3);
  int32_t* win[5];
  for (int32_t i = 0; i < 5; ++i) win[i] = store.data() + size_t(i) * w * 3;
  auto rotate = [&] {
    int32_t* spare = win[0];
    for (int32_t i = 0; i < 4; ++i) win[i] = win[i + 1];
    win[4] = spare;
  };

  if (LastPass < 2) return;
  // Pass 2: sharpening channel 0.
  if (h >= 5 && w >= 5) {
    int32_t smoothed = -1;
    for (int32_t row = 2; row < h - 2; ++row) {
      while (smoothed < row + 2) {
        rotate();
        const int32_t s = ++smoothed;
        for (int32_t col = 2; col < w - 2; ++col)
          win[4][col] = (4 * (px(s, col - 1)[0] + px(s, col + 1)[0]) + 6 * px(s, col)[0] + px(s, col - 2)[0] +
                         px(s, col + 2)[0] + 8) >> 4;
      }
      int32_t smp = 0;
      for (int32_t col = 2; col < w - 2; ++col) {
        const int32_t sm = int32_t(S(6 * win[2][col] + 4 * (win[1][col] + win[3][col]) + win[0][col] + win[4][col] + 8, 4));
        if (col == 2) smp = sm;
        uint16_t* p = px(row, col);
        const int64_t x = p[0] + S(p[0] - S(7 * int64_t(sm) + smp, 3), 2);
        p[0] = uint16_t(std::clamp<int64_t>(x, 0, 10000));
        smp = sm;
      }
    }
  }

  if (LastPass < 3) return;
  // Pass 3: limiting each value to its neighbourhood.
  for (int32_t row = 1; row < h - 1; ++row) {
    int32_t prev[3] = {px(row, 0)[0], px(row, 0)[1], px(row, 0)[2]};
    for (int32_t col = 1; col < w - 1; ++col) {
      uint16_t* p = px(row, col);
      for (int32_t c = 0; c < 3; ++c) {
        int32_t lo = prev[c], hi = prev[c];
        auto take = [&](int32_t v) {
          lo = std::min(lo, v);
          hi = std::max(hi, v);
        };
        take(px(row, col + 1)[c]);
        for (int32_t dx = -1; dx <= 1; ++dx) {
          take(px(row - 1, col + dx)[c]);
          take(px(row + 1, col + dx)[c]);
        }
        prev[c] = p[c];
        p[c] = uint16_t(std::clamp<int32_t>(p[c], lo, hi));
      }
    }
  }

  if (LastPass < 4) return;
  // Pass 4: chroma noise.
  if (h >= 5 && w >= 5) {
    int32_t smoothed = -1;
    for (int32_t row = 2; row < h - 2; ++row) {
      while (smoothed < row + 2) {
        rotate();
        const int32_t s = ++smoothed;
        for (int32_t col = 2; col < w - 2; ++col)
          for (int32_t c = 0; c < 3; ++c) {
            int32_t sum = 0;
            for (int32_t k = -2; k <= 2; ++k) sum += px(s, col + k)[c];
            win[4][col * 3 + c] = sum;
          }
      }
      for (int32_t col = 2; col < w - 2; ++col) {
        uint16_t* p = px(row, col);
        int64_t t[3];
        for (int32_t c = 0; c < 3; ++c) {
          t[c] = 0;
          for (int32_t i = 0; i < 5; ++i) t[c] += win[i][col * 3 + c];
        }
        const int64_t total = 1500 + t[0] + t[1] + t[2];
        const int64_t own = 60 + p[0] + p[1] + p[2];
        const int64_t f = (own << 16) / total;
        int64_t q[3];
        for (int32_t c = 0; c < 3; ++c) {
          const int64_t x = Step(S(t[c] * f, 16) - p[c], CurveA()) + p[c] - 13 - (c == 1 ? 1 : 0);
          q[c] = x - Step(x, CurveB());
        }
        const int64_t m = S(q[0] + 2 * q[1] + q[2], 2);
        for (int32_t c = 0; c < 3; ++c)
          p[c] = uint16_t(std::clamp<int64_t>(q[c] - Step(q[c] - m, CurveB()), 0, 65535));
      }
    }
  }

  if (LastPass < 5) return;
  // Pass 5: conversion to RGB.
  for (int64_t i = 0, n = int64_t(h) * w; i < n; ++i) {
    uint16_t* p = C.Pixels[i];
    const int64_t v[3] = {p[0], p[1], p[2]};
    for (int32_t c = 0; c < 3; ++c)
      p[c] = uint16_t(std::clamp<int64_t>(S(kRgb[c][0] * v[0] + kRgb[c][1] * v[1] + kRgb[c][2] * v[2] + 4096, 13), 0, 24000));
  }

  if (LastPass < 6) return;
  // Pass 6: the quarter-scale image, bottom to top.
  const int32_t qh = h / 4, qw = w / 4;
  if (qh == 0 || qw == 0) return;
  std::vector<uint16_t> grid(size_t(qh) * qw * 3);
  auto g = [&](int32_t r, int32_t k) { return grid.data() + (size_t(r) * qw + k) * 3; };
  for (int32_t r = qh - 1; r >= 0; --r)
    for (int32_t k = 0; k < qw; ++k) {
      int64_t s[3] = {0, 0, 0};
      for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
          for (int32_t c = 0; c < 3; ++c) s[c] += px(4 * r + y, 4 * k + x)[c];
      for (int32_t c = 0; c < 3; ++c)
        g(r, k)[c] = uint16_t(r + 2 > qh ? s[c] >> 4 : S(int64_t(g(r + 1, k)[c]) * 1840 + s[c] * 141, 12));
    }

  if (LastPass < 7) return;
  // Pass 7: chroma toward the smooth image.
  const int32_t rows = h & ~3, cols = w & ~3;
  int32_t* U = win[0];
  int32_t* V = win[1];
  int32_t* W = win[2];
  for (int32_t row = 0; row < rows; ++row) {
    if (row % 4 == 0) {
      int64_t run[3] = {0, 0, 0};
      for (int32_t col = cols - 1; col >= 0; --col)
        for (int32_t c = 0; c < 3; ++c) {
          run[c] = S(int64_t(g(row / 4, col / 4)[c]) * 1485 + run[c] * 6707, 13);
          U[col * 3 + c] = int32_t(run[c]);
        }
    }
    int64_t run[3] = {0, 0, 0};
    for (int32_t col = 0; col < cols; ++col)
      for (int32_t c = 0; c < 3; ++c) {
        run[c] = S(int64_t(U[col * 3 + c]) * 1485 + run[c] * 6707, 13);
        V[col * 3 + c] = int32_t(run[c]);
      }
    for (int32_t i = 0; i < cols * 3; ++i)
      W[i] = row == 0 ? V[i] : int32_t(S(int64_t(W[i]) * 6707 + int64_t(V[i]) * 1485, 13));
    for (int32_t col = 0; col < cols; ++col) {
      uint16_t* p = px(row, col);
      const int32_t* wc = W + col * 3;
      const int64_t i = 60 + int64_t(wc[0]) + wc[1] + wc[2];
      const int64_t j = 60 + int64_t(p[0]) + p[1] + p[2];
      const int64_t f = i != 0 ? (j << 16) / i : 0;
      int64_t e[3];
      for (int32_t c = 0; c < 3; ++c) e[c] = Step(S(wc[c] * f, 16) - p[c], Chroma(c));
      const int64_t m = S(e[0] + e[1] + e[2], 3);
      for (int32_t c = 0; c < 3; ++c) p[c] = uint16_t(std::clamp<int64_t>(p[c] + e[c] - m, 0, 65535));
    }
  }
}
