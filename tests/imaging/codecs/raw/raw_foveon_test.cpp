// The seven passes of layered-sensor processing against a double-precision model of their arithmetic, pass
// by pass and as a whole, and the whole road of a small synthetic Foveon file against the model.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "raw_fixture.h"

using namespace rawtest;

namespace {

// ---- the model ----------------------------------------------------------------------------------------------

using Cell = std::array<double, 3>;

struct Image {
  int H = 0, W = 0;
  std::vector<Cell> V;
  Cell& At(int R, int C) { return V[size_t(R) * W + C]; }
  const Cell& At(int R, int C) const { return V[size_t(R) * W + C]; }
};

const double kTwo32 = 4294967296.0;

// x shifted right by k with the sign kept, toward zero.
double S(double X, int K) { return std::trunc(X / std::ldexp(1.0, K)); }
// The low 32 bits of a product as an unsigned number, shifted right by k.
double L(double A, double B, int K) {
  double m = std::fmod(A * B, kTwo32);
  if (m < 0) m += kTwo32;
  return std::floor(m / std::ldexp(1.0, K));
}
// A value kept in 32-bit two's complement.
double Wrap(double X) {
  double m = std::fmod(X, kTwo32);
  if (m < 0) m += kTwo32;
  return m >= kTwo32 / 2 ? m - kTwo32 : m;
}
double Clamp(double X, double Lo, double Hi) { return std::min(std::max(X, Lo), Hi); }

// Entries 1..n of a step curve from its value x repeat runs; entry 0 unused.
std::vector<double> Curve(std::initializer_list<std::pair<int, int>> Runs) {
  std::vector<double> c{0};
  for (auto [v, n] : Runs) c.insert(c.end(), size_t(n), double(v));
  return c;
}
const std::vector<double> kA = Curve({{0, 1}, {1, 1}, {2, 2}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 1}, {8, 1}, {9, 2},
                                      {10, 1}, {11, 2}, {12, 1}, {13, 2}, {14, 2}, {15, 1}, {16, 2}, {17, 2},
                                      {18, 3}, {19, 2}, {20, 3}, {21, 3}, {22, 3}, {23, 5}, {24, 5}, {25, 8},
                                      {26, 14}});
const std::vector<double> kB = Curve({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 3}, {7, 7}});
const std::vector<double> kChroma[3] = {
    Curve({{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 3}, {9, 2}, {10, 4}, {11, 3},
           {12, 6}, {13, 8}, {14, 32}}),
    Curve({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 1}, {6, 2}, {7, 3}, {8, 2}, {9, 3}, {10, 3}, {11, 5},
           {12, 9}}),
    Curve({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 1}, {9, 2}, {10, 1}, {11, 2},
           {12, 2}, {13, 2}, {14, 2}, {15, 2}, {16, 2}, {17, 2}, {18, 3}, {19, 3}, {20, 3}, {21, 4}, {22, 5},
           {23, 5}, {24, 8}, {25, 12}, {26, 37}}),
};

// What the scenes reached, so that the checks are known to cover the limits.
struct Reach {
  int Clamp1 = 0, Clamp2 = 0, Limit3 = 0, Floor4 = 0, Clamp5Hi = 0, Clamp5Lo = 0, CurveEnds = 0;
};
Reach gReach;

double Step(double I, const std::vector<double>& C) {
  const double n = double(C.size() - 1);
  if (I <= -n || I >= n) ++gReach.CurveEnds;
  if (I <= -n) return -C.back() - 1;
  if (I < 0) return -C[size_t(1 - I)];
  if (I < n) return C[size_t(1 + I)];
  return C.back() + 1;
}

const double kWeight[3][3][3] = {
    {{4141, 37726, 11265}, {-30437, 16066, -41102}, {326, -413, 362}},
    {{1770, -1316, 3480}, {-2139, 213, -4998}, {-2381, 3496, -2008}},
    {{-3838, -24025, -12968}, {20144, -12195, 30272}, {-631, -2025, 822}},
};
const double kMul[3] = {1.0321, 1.0, 1.1124};
const double kRgb[3][3] = {{7576, -2933, 1279}, {-11594, 29911, -12394}, {4000, -18850, 20772}};

void Pass1(Image& I) {
  for (int r = 0; r < I.H; ++r) {
    Cell prev = I.At(r, 0);
    for (int c0 = 0; c0 < I.W; ++c0) {
      Cell& p = I.At(r, c0);
      Cell q, w[3];
      for (int c = 0; c < 3; ++c) {
        const double d = p[size_t(c)] - prev[size_t(c)];
        prev[size_t(c)] = p[size_t(c)];
        q[size_t(c)] = p[size_t(c)] + S(Wrap((d + L(d, d, 14)) * 13107), 14);
      }
      for (int c = 0; c < 3; ++c) {
        w[0][size_t(c)] = L(q[size_t(c)], q[size_t(c)], 14);
        w[2][size_t(c)] = L(q[size_t(c)], w[0][size_t(c)], 14);
        w[1][size_t(2 - c)] = L(q[size_t((c + 1) % 3)], q[size_t((c + 2) % 3)], 14);
      }
      for (int c = 0; c < 3; ++c) {
        double v = 0;
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) v = Wrap(v + Wrap(kWeight[c][i][j] * w[i][size_t(j)]));
        const double x = std::trunc((q[size_t(c)] + S(v, 14)) * kMul[c]);
        if (x > 32000) ++gReach.Clamp1;
        p[size_t(c)] = Clamp(x, 0, 32000);
      }
    }
  }
}

void Pass2(Image& I) {
  const Image src = I;
  auto h = [&](int S0, int C0) {
    const auto v = [&](int X) { return src.At(S0, X)[0]; };
    return std::floor((4 * (v(C0 - 1) + v(C0 + 1)) + 6 * v(C0) + v(C0 - 2) + v(C0 + 2) + 8) / 16);
  };
  for (int r = 2; r < I.H - 2; ++r) {
    double smp = 0;
    for (int c = 2; c < I.W - 2; ++c) {
      const double sm = S(6 * h(r, c) + 4 * (h(r - 1, c) + h(r + 1, c)) + h(r - 2, c) + h(r + 2, c) + 8, 4);
      if (c == 2) smp = sm;
      double& p0 = I.At(r, c)[0];
      const double x = p0 + S(p0 - S(7 * sm + smp, 3), 2);
      if (x > 10000) ++gReach.Clamp2;
      p0 = Clamp(x, 0, 10000);
      smp = sm;
    }
  }
}

void Pass3(Image& I) {
  for (int r = 1; r < I.H - 1; ++r) {
    Cell prev = I.At(r, 0);
    for (int c0 = 1; c0 < I.W - 1; ++c0)
      for (int c = 0; c < 3; ++c) {
        double lo = prev[size_t(c)], hi = lo;
        std::vector<double> around = {I.At(r, c0 + 1)[size_t(c)]};
        for (int dx = -1; dx <= 1; ++dx) {
          around.push_back(I.At(r - 1, c0 + dx)[size_t(c)]);
          around.push_back(I.At(r + 1, c0 + dx)[size_t(c)]);
        }
        for (double a : around) lo = std::min(lo, a), hi = std::max(hi, a);
        double& p = I.At(r, c0)[size_t(c)];
        prev[size_t(c)] = p;
        if (p < lo || p > hi) ++gReach.Limit3;
        p = Clamp(p, lo, hi);
      }
  }
}

void Pass4(Image& I) {
  const Image src = I;
  for (int r = 2; r < I.H - 2; ++r)
    for (int c0 = 2; c0 < I.W - 2; ++c0) {
      Cell& p = I.At(r, c0);
      Cell t{0, 0, 0};
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
          for (int c = 0; c < 3; ++c) t[size_t(c)] += src.At(r + dy, c0 + dx)[size_t(c)];
      const double total = 1500 + t[0] + t[1] + t[2], own = 60 + p[0] + p[1] + p[2];
      const double f = std::trunc(own * 65536 / total);
      Cell q;
      for (int c = 0; c < 3; ++c) {
        const double x = Step(S(t[size_t(c)] * f, 16) - p[size_t(c)], kA) + p[size_t(c)] - 13 - (c == 1 ? 1 : 0);
        q[size_t(c)] = x - Step(x, kB);
      }
      const double m = S(q[0] + 2 * q[1] + q[2], 2);
      for (int c = 0; c < 3; ++c) {
        const double v = q[size_t(c)] - Step(q[size_t(c)] - m, kB);
        if (v < 0) ++gReach.Floor4;
        p[size_t(c)] = std::max(0.0, v);
      }
    }
}

void Pass5(Image& I) {
  for (Cell& p : I.V) {
    const Cell v = p;
    for (int c = 0; c < 3; ++c) {
      const double x = S(kRgb[c][0] * v[0] + kRgb[c][1] * v[1] + kRgb[c][2] * v[2] + 4096, 13);
      if (x > 24000) ++gReach.Clamp5Hi;
      if (x < 0) ++gReach.Clamp5Lo;
      p[size_t(c)] = Clamp(x, 0, 24000);
    }
  }
}

// Passes 6 and 7: the quarter-scale image, then the chroma toward it.
void Pass67(Image& I) {
  const int qh = I.H / 4, qw = I.W / 4;
  if (qh == 0 || qw == 0) return;
  Image g{qh, qw, std::vector<Cell>(size_t(qh) * qw)};
  for (int R = qh - 1; R >= 0; --R)
    for (int K = 0; K < qw; ++K)
      for (int c = 0; c < 3; ++c) {
        double s = 0;
        for (int y = 0; y < 4; ++y)
          for (int x = 0; x < 4; ++x) s += I.At(4 * R + y, 4 * K + x)[size_t(c)];
        g.At(R, K)[size_t(c)] = R + 2 > qh ? std::floor(s / 16) : S(g.At(R + 1, K)[size_t(c)] * 1840 + s * 141, 12);
      }
  const int rows = I.H & ~3, cols = I.W & ~3;
  std::vector<Cell> U(static_cast<size_t>(cols)), V(U), W(U);
  for (int r = 0; r < rows; ++r) {
    if (r % 4 == 0) {
      Cell run{0, 0, 0};
      for (int col = cols - 1; col >= 0; --col) {
        for (int c = 0; c < 3; ++c) run[size_t(c)] = S(g.At(r / 4, col / 4)[size_t(c)] * 1485 + run[size_t(c)] * 6707, 13);
        U[size_t(col)] = run;
      }
    }
    Cell run{0, 0, 0};
    for (int col = 0; col < cols; ++col) {
      for (int c = 0; c < 3; ++c) run[size_t(c)] = S(U[size_t(col)][size_t(c)] * 1485 + run[size_t(c)] * 6707, 13);
      V[size_t(col)] = run;
    }
    for (int col = 0; col < cols; ++col)
      for (int c = 0; c < 3; ++c)
        W[size_t(col)][size_t(c)] = r == 0 ? V[size_t(col)][size_t(c)]
                                           : S(W[size_t(col)][size_t(c)] * 6707 + V[size_t(col)][size_t(c)] * 1485, 13);
    for (int col = 0; col < cols; ++col) {
      Cell& p = I.At(r, col);
      const Cell& w = W[size_t(col)];
      const double i = 60 + w[0] + w[1] + w[2], j = 60 + p[0] + p[1] + p[2];
      const double f = std::trunc(j * 65536 / i);
      Cell e;
      for (int c = 0; c < 3; ++c) e[size_t(c)] = Step(S(w[size_t(c)] * f, 16) - p[size_t(c)], kChroma[c]);
      const double m = S(e[0] + e[1] + e[2], 3);
      for (int c = 0; c < 3; ++c) {
        p[size_t(c)] = std::max(0.0, p[size_t(c)] + e[size_t(c)] - m);
      }
    }
  }
}

void ModelPass(Image& I, int Pass) {
  switch (Pass) {
    case 1: Pass1(I); break;
    case 2: Pass2(I); break;
    case 3: Pass3(I); break;
    case 4: Pass4(I); break;
    case 5: Pass5(I); break;
    default: Pass67(I); break;  // pass 6 changes no cell by itself
  }
}

// ---- the reader's passes -------------------------------------------------------------------------------------

Image Passes(const Image& In, int LastPass) {
  RawRun r(Bytes{});
  r.Store(In.H, In.W, 0);
  for (int i = 0; i < In.H * In.W; ++i)
    for (int c = 0; c < 3; ++c) r.C->Pixels[i][c] = uint16_t(In.V[size_t(i)][size_t(c)]);
  foveon_interpolate(*r.C, LastPass);
  Image out = In;
  for (int i = 0; i < In.H * In.W; ++i)
    for (int c = 0; c < 3; ++c) out.V[size_t(i)][size_t(c)] = r.C->Pixels[i][c];
  return out;
}

int Differences(const Image& Got, const Image& Want, const std::string& What) {
  int off = 0;
  for (int i = 0; i < Got.H * Got.W; ++i)
    for (int c = 0; c < 3; ++c)
      if (std::abs(Got.V[size_t(i)][size_t(c)] - Want.V[size_t(i)][size_t(c)]) > 1 && ++off <= 5)
        ADD_FAILURE() << What << ": cell " << i / Got.W << "," << i % Got.W << " value " << c << ": "
                      << Got.V[size_t(i)][size_t(c)] << " vs " << Want.V[size_t(i)][size_t(c)];
  return off;
}

// A smooth scene with noise and single outliers, or a hard one of bright and dark patches.
Image Scene(int H, int W, bool Hard, uint32_t Seed) {
  std::mt19937 g(Seed);
  Image I{H, W, std::vector<Cell>(size_t(H) * W)};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < 3; ++c) {
        double v;
        if (Hard) {
          const uint32_t k = g() % 6;
          v = k == 0 ? 0 : k == 1 ? 40000 + g() % 25000 : k == 2 ? g() % 300 : double(g() % 20000);
        } else {
          v = 600 + 250 * c + 3000.0 * x / W + 1500.0 * y / H + double(g() % 300);
          if (g() % 23 == 0) v += g() % 2 ? 2500 : -550;  // an outlier the third pass limits
        }
        I.At(y, x)[size_t(c)] = std::floor(v);
      }
  return I;
}

}  // namespace

TEST(CameraRawFoveon, EachPassWithinOneOfTheModel) {
  gReach = {};
  struct Case {
    int H, W;
    bool Hard;
  };
  const Case cases[] = {{13, 17, false}, {16, 20, false}, {12, 13, true}, {17, 16, true},
                        // too small for the smoothing passes, and for the quarter-scale ones
                        {4, 9, false}, {3, 6, true}, {5, 5, false}};
  for (const Case& k : cases)
    for (uint32_t seed : {3u, 4u}) {
      const Image in = Scene(k.H, k.W, k.Hard, seed + uint32_t(k.H * 100 + k.W));
      Image whole = in;
      for (int pass = 1; pass <= 7; ++pass) {
        // The model's pass on what the reader's passes before it left.
        const std::string what = std::to_string(k.H) + "x" + std::to_string(k.W) + (k.Hard ? " hard" : "") +
                                 " seed " + std::to_string(seed) + " pass " + std::to_string(pass);
        Image want = Passes(in, pass - 1);
        if (pass == 7) want = Passes(in, 5);  // the model keeps its quarter-scale image inside pass 7
        if (pass != 6) ModelPass(want, pass);
        EXPECT_EQ(Differences(Passes(in, pass), want, what), 0);
        if (pass != 6) ModelPass(whole, pass);
      }
      EXPECT_EQ(Differences(Passes(in, 7), whole, "whole"), 0);
    }
  // The scenes reached the limits the passes set and both ends of the step curves.
  EXPECT_GT(gReach.Clamp1, 0);
  EXPECT_GT(gReach.Clamp2, 0);
  EXPECT_GT(gReach.Limit3, 0);
  EXPECT_GT(gReach.Floor4, 0);
  EXPECT_GT(gReach.Clamp5Hi, 0);
  EXPECT_GT(gReach.Clamp5Lo, 0);
  EXPECT_GT(gReach.CurveEnds, 0);
}

namespace {

// A SIGMA file of High x Wide cells: differences (multiples of 8) with 10-bit codes, then the property
// texts that name the camera.
Bytes FoveonFile(const std::vector<int>& X, int High, int Wide) {
  Writer w;
  w.Text("FOVb", false);
  w.PadTo(248);
  w.U32(uint32_t(Wide));
  w.U32(uint32_t(High));
  w.PadTo(260);
  for (int i = 0; i < 1024; ++i) w.U16(uint32_t(uint16_t((i - 512) * 8)));
  for (int i = 0; i < 1024; ++i) w.U32(10u << 27 | uint32_t(i));
  for (int y = 0; y < High; ++y) {
    std::vector<int> bits;
    int pred[3] = {0, 0, 0};
    for (int x = 0; x < Wide; ++x)
      for (int c = 0; c < 3; ++c) {
        const int v = X[size_t((y * Wide + x) * 3 + c)];
        const int code = (v - pred[c]) / 8 + 512;
        if ((v - pred[c]) % 8 || code < 0 || code > 1023) throw std::runtime_error("no code for a difference");
        pred[c] = v;
        for (int k = 9; k >= 0; --k) bits.push_back((code >> k) & 1);
      }
    // Rows start on a 32-bit word; a row that ends on one has the reader skip a further word.
    const bool exact = bits.size() % 32 == 0;
    while (bits.size() % 32) bits.push_back(0);
    if (exact && y + 1 < High) bits.insert(bits.end(), 32, 0);
    for (size_t i = 0; i < bits.size(); i += 8) {
      int b = 0;
      for (int k = 0; k < 8; ++k) b = b << 1 | bits[i + size_t(k)];
      w.U8(uint32_t(b));
    }
  }
  w.PadTo(w.Size() + 8 + 24);
  const uint32_t text = uint32_t(w.Size());
  for (const std::string s : {"CAMMANUF", "SIGMA", "CAMMODEL", "SIGMA SD9"}) {
    for (char c : s) w.U16(uint8_t(c));
    w.U16(0);
  }
  const uint32_t dir = uint32_t(w.Size());
  w.U32(0);
  w.U32(0x464D4143);
  w.U32(text - 24);
  w.U32(dir);
  return w.B;
}

}  // namespace

TEST(CameraRawFoveon, AFileThroughTheWholeRoad) {
  QxRegisterFurtherCodecs();
  // Square cells, and cells twice as wide as high (every output row twice).
  for (auto [high, wide] : {std::pair{12, 20}, std::pair{8, 20}}) {
    SCOPED_TRACE(wide);
    std::mt19937 g(uint32_t(high * wide));
    Image in{high, wide, std::vector<Cell>(size_t(high) * wide)};
    std::vector<int> x;
    for (int y = 0; y < high; ++y)
      for (int c0 = 0; c0 < wide; ++c0)
        for (int c = 0; c < 3; ++c) {
          int v = 600 + 250 * c + 3000 * c0 / wide + 1000 * y / high + int(g() % 400);
          if (g() % 29 == 0) v += 1200;
          v &= ~7;
          x.push_back(v);
          in.At(y, c0)[size_t(c)] = v;
        }
    TMemoryStream s;
    const Bytes file = FoveonFile(x, high, wide);
    s.Write(file.data(), int64_t(file.size()));
    s.SetPosition(0);
    TQxBitmap bitmap;
    TIOParamsVals params;
    std::atomic<bool> aborted{false};
    TQxProgressInfo progress;
    progress.AbortFlag = &aborted;
    ReadCameraRawStream(&s, &bitmap, params, progress, false);
    ASSERT_FALSE(aborted) << params.ReadError;
    EXPECT_EQ(params.RawCamera.substr(0, 9), "SIGMA SD9");

    // The model: the seven passes, the camera's matrix (single-precision, scaled by its gains), the
    // white level, the luminance histogram and the tone curve.
    for (int pass : {1, 2, 3, 4, 5, 7}) ModelPass(in, pass);
    const float gains[3] = {1.179f, 1.0f, 0.713f};
    const double M[3][3] = {{2.034395, -0.727533, -0.3067457},
                            {-0.2287194, 1.231793, -0.0028293},
                            {-0.0086152, -0.153336, 1.161781}};
    std::vector<std::array<double, 4>> px;
    std::vector<int> hist(8192, 0);
    for (const Cell& p : in.V) {
      std::array<double, 4> o{};
      for (int r = 0; r < 3; ++r) {
        double sum = 0;
        for (int k = 0; k < 3; ++k) sum += p[size_t(k)] * double(gains[r] * float(M[r][k]));
        o[size_t(r)] = std::trunc(Clamp(sum, 0, 5600));
      }
      o[3] = std::trunc(std::min(std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]) / 2, 65535.0));
      ++hist[size_t(o[3]) >> 3];
      px.push_back(o);
    }
    const int64_t perc = int64_t(double(wide) * high * 0.01);
    int v = 8191;
    for (int64_t total = 0; v > 0; --v)
      if ((total += hist[size_t(v)]) > perc) break;
    const double white = v ? v * 16.0 : 1.0, scale = 442 / white;
    const int aspect = 2 * high < wide ? 2 : 1;
    ASSERT_EQ(bitmap.Width(), wide);
    ASSERT_EQ(bitmap.Height(), high * aspect);
    int off = 0;
    for (int y = 0; y < high * aspect; ++y)
      for (int c0 = 0; c0 < wide; ++c0) {
        const auto& p = px[size_t(y / aspect) * wide + c0];
        const double t = p[3] ? std::pow(2 * p[3] / white, 0.6 - 1) * scale : 0;
        const uint8_t* got = bitmap.Scanline(y) + 3 * c0;  // blue, green, red
        for (int c = 0; c < 3; ++c)
          if (std::abs(got[2 - c] - std::min(std::trunc(p[size_t(c)] * t), 255.0)) > 1 && ++off <= 5)
            ADD_FAILURE() << y << "," << c0 << " colour " << c << ": " << int(got[2 - c]) << " vs "
                          << std::min(std::trunc(p[size_t(c)] * t), 255.0);
      }
    EXPECT_EQ(off, 0);
  }
}
