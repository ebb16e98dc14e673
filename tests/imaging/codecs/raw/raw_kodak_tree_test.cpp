// The tree-coded Kodak form (DC40, DC50) through an encoder written from the decoder's description: known
// sensor values are coded into tree tokens, and decoding must give back exactly the picture they make.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "raw_fixture.h"

using namespace rawtest;

namespace {

struct Pair {
  int Length, Symbol;
};

// The 18 trees as length:symbol pairs in code order.
const std::vector<std::vector<Pair>> kTrees = {
    {{1, 1}, {2, 3}, {3, 4}, {4, 2}, {5, 7}, {6, 5}, {7, 6}, {7, 8}},
    {{1, 0}, {2, 1}, {3, 3}, {4, 4}, {5, 2}, {6, 7}, {7, 6}, {8, 5}, {8, 8}},
    {{2, 1}, {2, 3}, {3, 0}, {3, 2}, {3, 4}, {4, 6}, {5, 5}, {6, 7}, {6, 8}},
    {{2, 0}, {2, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 6}, {6, 7}, {7, 5}, {7, 8}},
    {{2, 1}, {2, 4}, {3, 0}, {3, 2}, {3, 3}, {4, 7}, {5, 5}, {6, 6}, {6, 8}},
    {{2, 3}, {3, 1}, {3, 2}, {3, 4}, {3, 5}, {3, 6}, {4, 7}, {5, 0}, {5, 8}},
    {{2, 3}, {2, 6}, {3, 0}, {3, 1}, {4, 4}, {4, 5}, {4, 7}, {5, 2}, {5, 8}},
    {{2, 4}, {2, 7}, {3, 3}, {3, 6}, {4, 1}, {4, 2}, {4, 5}, {5, 0}, {5, 8}},
    {{2, 6}, {3, 1}, {3, 3}, {3, 5}, {3, 7}, {3, 8}, {4, 0}, {5, 2}, {5, 4}},
    {{2, 0}, {2, 1}, {3, 2}, {3, 3}, {4, 4}, {4, 5}, {5, 6}, {5, 7}, {4, 8}},
    {{1, 0}, {2, 2}, {2, -2}},
    {{1, -3}, {1, 3}},
    {{2, -17}, {2, -5}, {2, 5}, {2, 17}},
    {{2, -7}, {2, 2}, {2, 9}, {2, 18}},
    {{2, -18}, {2, -9}, {2, -2}, {2, 7}},
    {{2, -28}, {2, 28}, {3, -49}, {3, -9}, {3, 9}, {4, 49}, {5, -79}, {5, 79}},
    {{2, -1}, {2, 13}, {2, 26}, {3, 39}, {4, -16}, {5, 55}, {6, -37}, {6, 76}},
    {{2, -26}, {2, -13}, {2, 1}, {3, -39}, {4, 16}, {5, -55}, {6, -76}, {6, 37}},
};

using Code = std::map<int, std::pair<uint32_t, int>>;  // symbol -> code, length

// A tree built depth first: a node above the current pair's length splits (first child for a 0 bit),
// otherwise it is the pair's leaf.
Code TreeCode(const std::vector<Pair>& P) {
  Code out;
  size_t next = 0;
  std::function<void(uint32_t, int)> build = [&](uint32_t Bits, int Depth) {
    if (next >= P.size()) return;
    if (Depth < P[next].Length) {
      build(Bits << 1, Depth + 1);
      build(Bits << 1 | 1, Depth + 1);
    } else {
      out[P[next++].Symbol] = {Bits, Depth};
    }
  };
  build(0, 0);
  return out;
}

const std::vector<Code>& Codes() {
  static const std::vector<Code> codes = [] {
    std::vector<Code> c;
    for (const auto& t : kTrees) c.push_back(TreeCode(t));
    return c;
  }();
  return codes;
}

constexpr int kRow = 386;

// The decoder's band buffers, as the encoder must follow them to know its predictions.
struct Bands {
  std::array<int16_t, 3 * 3 * kRow> V;
  int Last[3] = {16, 16, 16};
  Bands() { V.fill(2048); }
  int16_t& At(int C, int Y, int X) { return V[size_t((C * 3 + Y) * kRow + X)]; }
  // A new row group's scale.
  void Rescale(int C, int Mul) {
    int64_t val = int64_t((0x1000000 / Last[C] + 0x7FF) >> 12) * Mul;
    const int s = val > 65564 ? 10 : 12;
    const int64_t x = (int64_t(1) << (s - 1)) - 1;
    val <<= 12 - s;
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < kRow; ++i) At(C, y, i) = int16_t((At(C, y, i) * val + x) >> s);
    Last[C] = Mul;
  }
  int P(int C, int Y, int X) {
    if (C == 0) return (At(C, Y - 1, X + 1) + 2 * At(C, Y - 1, X) + At(C, Y, X + 1)) / 4;
    return (At(C, Y - 1, X) + At(C, Y, X + 1)) / 2;
  }
  void StartPass(int C, int Half, int Mul) { At(C, 1, Half) = At(C, 2, Half) = int16_t(Mul * 128); }
  void EndPass(int C) {
    if (C == 0)
      for (int i = kRow - 2; i >= 0; --i) At(0, 0, i + 1) = At(0, 2, i);
    else
      for (int i = 0; i < kRow; ++i) At(C, 0, i) = At(C, 2, i);
  }
};

// The four values of the two-column block at Col (its x = Col + 1 and Col, rows 1 and 2), in decoding order.
const std::array<std::pair<int, int>, 4> kBlock = {{{1, 1}, {1, 0}, {2, 1}, {2, 0}}};

// A pass's targets: rows 1 and 2 of the band, Half values each.
using Targets = std::array<std::vector<int>, 3>;  // index 1 and 2 used

struct Usage {
  std::set<int> DiffTrees, Symbols, AbsoluteTokens, Steps, FirstBlock;
  int Runs = 0, LongRuns = 0, EndingNines = 0, ShortEnds = 0, OutsideTokens = 0;
};

class TreeEncoder {
 public:
  TreeEncoder(bool FiveBit, int Half, MsbBits& Out, Usage& Use) : FiveBit(FiveBit), Half(Half), W(Out), U(Use) {}

  // Codes one pass; B is the band state at its start and becomes the state at its end.
  void Pass(Bands& B, int C, int Mul, const Targets& T) {
    B.StartPass(C, Half, Mul);
    int tree = 1, col = Half;
    bool first = true;
    while (col > 0) {
      const int n = tree != 0 ? RunLength(B, C, col, T) : 0;
      if (n > 0) {
        if (first) U.FirstBlock.insert(0);
        Put(tree, 0);
        EncodeRun(B, C, col, n, T);
        tree = 0;
      } else {
        const int sym = EncodeValues(B, C, col, Mul, tree, T);
        if (first) U.FirstBlock.insert(sym == 8 ? 8 : 1);
        tree = sym;
      }
      first = false;
    }
    B.EndPass(C);
  }

 private:
  bool FiveBit;
  int Half;
  MsbBits& W;
  Usage& U;

  void Put(int Tree, int Symbol) {
    const auto& c = Codes()[size_t(Tree)];
    const auto it = c.find(Symbol);
    if (it == c.end()) throw std::runtime_error("no symbol " + std::to_string(Symbol) + " in tree " + std::to_string(Tree));
    W.Put(it->second.first, it->second.second);
  }

  // Values the block would get from its predictions alone, in decoding order; the band takes them.
  std::array<int, 4> Predict(Bands& B, int C, int Col) {
    std::array<int, 4> u{};
    for (int k = 0; k < 4; ++k) {
      const int y = kBlock[size_t(k)].first, x = Col + kBlock[size_t(k)].second;
      if (x < 0) continue;
      u[size_t(k)] = B.P(C, y, x);
      B.At(C, y, x) = int16_t(u[size_t(k)]);
    }
    return u;
  }

  // The step that turns the predictions into the targets, if one exists (odd repeats only).
  static bool StepFor(const std::array<int, 4>& U, const Targets& T, int Col, bool Odd, int& Step) {
    for (int s : {0, 32, -32}) {
      if (!Odd && s) break;
      bool ok = true;
      for (int k = 0; k < 4 && ok; ++k) {
        const int y = kBlock[size_t(k)].first, x = Col + kBlock[size_t(k)].second;
        if (x >= 0) ok = T[size_t(y)][size_t(x)] == U[size_t(k)] + s;
      }
      if (ok) {
        Step = s;
        return true;
      }
    }
    return false;
  }

  void SetTargets(Bands& B, int C, int Col, const Targets& T) {
    for (int k = 0; k < 4; ++k) {
      const int y = kBlock[size_t(k)].first, x = Col + kBlock[size_t(k)].second;
      if (x >= 0) B.At(C, y, x) = int16_t(T[size_t(y)][size_t(x)]);
    }
  }

  // How many blocks from Col on the run copies (with steps on odd repeats) reproduce.
  int RunLength(const Bands& B0, int C, int Col, const Targets& T) {
    Bands b = B0;
    int n = 0;
    for (int col = Col; col > 0; ++n) {
      col -= 2;
      int step;
      if (!StepFor(Predict(b, C, col), T, col, n & 1, step)) break;
      SetTargets(b, C, col, T);
    }
    return n;
  }

  void EncodeRun(Bands& B, int C, int& Col, int N, const Targets& T) {
    ++U.Runs;
    if (N > 8) ++U.LongRuns;
    int done = 0;
    for (bool again = true; again;) {
      const int left = N - done, blocks = (Col + 1) / 2;
      int nreps;
      if (Col <= 2) {
        nreps = 1;  // no count so close to the end: one block
        ++U.ShortEnds;
      } else if (left > 8 || left == blocks) {
        Put(9, 8);  // eight blocks and another count
        nreps = 9;
      } else {
        Put(9, left - 1);
        nreps = left;
      }
      for (int rep = 0; rep < 8 && rep < nreps && Col > 0; ++rep, ++done) {
        if (done >= N) throw std::logic_error("run overrun");
        Col -= 2;
        int step;
        StepFor(Predict(B, C, Col), T, Col, rep & 1, step);
        if (rep & 1) {
          Put(10, step / 16);
          U.Steps.insert(step);
        }
        SetTargets(B, C, Col, T);
      }
      again = nreps == 9;
      if (again && Col == 0) {
        ++U.EndingNines;  // nothing is left: no further count follows
        again = false;
      }
    }
  }

  // One block by differences from the predictions or by absolute values; returns the symbol used.
  int EncodeValues(Bands& B, int C, int& Col, int Mul, int Tree, const Targets& T) {
    const int col = Col - 2;
    for (int s = 1; s <= 7; ++s) {
      Bands b = B;
      std::array<int, 4> tok{};
      bool ok = true;
      for (int k = 0; k < 4 && ok; ++k) {
        const int y = kBlock[size_t(k)].first, x = col + kBlock[size_t(k)].second;
        if (x < 0) {
          tok[size_t(k)] = kTrees[size_t(s + 10)][0].Symbol;  // read and dropped
          ++U.OutsideTokens;
          continue;
        }
        const int r = T[size_t(y)][size_t(x)] - b.P(C, y, x);
        ok = r % 16 == 0 && Codes()[size_t(s + 10)].count(r / 16);
        tok[size_t(k)] = r / 16;
        b.At(C, y, x) = int16_t(T[size_t(y)][size_t(x)]);
      }
      if (!ok) continue;
      Put(Tree, s);
      for (int t : tok) {
        Put(s + 10, t);
        U.Symbols.insert(t);
      }
      U.DiffTrees.insert(s + 10);
      B = b;
      Col = col;
      return s;
    }
    std::array<int, 4> tok{};
    for (int k = 0; k < 4; ++k) {
      const int y = kBlock[size_t(k)].first, x = col + kBlock[size_t(k)].second;
      if (x < 0) {
        ++U.OutsideTokens;
        continue;
      }
      const int v = T[size_t(y)][size_t(x)];
      const int t = Mul ? v / Mul : -1;
      if (!Mul || v % Mul || (FiveBit ? (t - 4) % 8 || t < 4 || t > 252 : (t - 2) % 4 || t < 2 || t > 254))
        throw std::runtime_error("a value no token gives: " + std::to_string(v));
      tok[size_t(k)] = FiveBit ? (t - 4) / 8 : (t - 2) / 4;
    }
    Put(Tree, 8);
    for (int t : tok) {
      W.Put(uint32_t(t), FiveBit ? 5 : 6);
      U.AbsoluteTokens.insert(t);
    }
    SetTargets(B, C, col, T);
    Col = col;
    return 8;
  }
};

// Random targets that the coding can carry: runs of predictions (with steps), differences of the trees'
// symbols, and multiples of the scale; every run of the pass at ForceEnd runs to its end.
class Designer {
 public:
  Designer(bool FiveBit, int Half, uint32_t Seed) : FiveBit(FiveBit), Half(Half), G(Seed) {}

  Targets Pass(const Bands& B0, int C, int Mul, bool RunToEnd) {
    Bands b = B0;
    b.StartPass(C, Half, Mul);
    Targets t;
    t[1].assign(size_t(Half), 0);
    t[2].assign(size_t(Half), 0);
    const int hi = std::min(30000, 1500 * Mul), lo = -300;
    int runLeft = 0, rep = 0;
    bool lastRun = false;
    for (int col = Half; col > 0;) {
      const int blocks = (col + 1) / 2;
      col -= 2;
      if (RunToEnd && blocks <= 9 && (runLeft > 0 || !lastRun)) {
        if (runLeft == 0) rep = 0;
        runLeft = blocks;
      }
      if (runLeft == 0) {
        const int pick = int(G() % 10);
        if (pick < 3 && !lastRun) {
          runLeft = 1 + int(G() % 20);
          rep = 0;
        } else {
          lastRun = false;
          if (pick < 8 && Diff(b, C, col, t, lo, hi)) continue;
          Absolute(b, C, col, Mul, t, hi);
          continue;
        }
      }
      std::array<int, 4> u{};
      for (int k = 0; k < 4; ++k) {
        const int y = kBlock[size_t(k)].first, x = col + kBlock[size_t(k)].second;
        if (x < 0) continue;
        u[size_t(k)] = b.P(C, y, x);
        b.At(C, y, x) = int16_t(u[size_t(k)]);
      }
      int step = (rep & 1) ? std::array<int, 3>{0, 32, -32}[G() % 3] : 0;
      for (int k = 0; k < 4; ++k)
        if (u[size_t(k)] + step < lo || u[size_t(k)] + step > hi) step = 0;
      for (int k = 0; k < 4; ++k) {
        const int y = kBlock[size_t(k)].first, x = col + kBlock[size_t(k)].second;
        if (x < 0) continue;
        b.At(C, y, x) = int16_t(u[size_t(k)] + step);
        t[size_t(y)][size_t(x)] = u[size_t(k)] + step;
      }
      ++rep;
      --runLeft;
      lastRun = true;
    }
    return t;
  }

 private:
  bool FiveBit;
  int Half;
  std::mt19937 G;

  bool Diff(Bands& B, int C, int Col, Targets& T, int Lo, int Hi) {
    const auto& tree = kTrees[size_t(11 + G() % 7)];
    Bands b = B;
    Targets t = T;
    for (int k = 0; k < 4; ++k) {
      const int y = kBlock[size_t(k)].first, x = Col + kBlock[size_t(k)].second;
      if (x < 0) continue;
      const int v = tree[G() % tree.size()].Symbol * 16 + b.P(C, y, x);
      if (v < Lo || v > Hi) return false;
      b.At(C, y, x) = int16_t(v);
      t[size_t(y)][size_t(x)] = v;
    }
    B = b;
    T = t;
    return true;
  }

  void Absolute(Bands& B, int C, int Col, int Mul, Targets& T, int Hi) {
    const int most = FiveBit ? 31 : 63;
    for (int k = 0; k < 4; ++k) {
      const int y = kBlock[size_t(k)].first, x = Col + kBlock[size_t(k)].second;
      if (x < 0) continue;
      int j = int(G() % uint32_t(most + 1));
      if (G() % 8 == 0) j = G() % 2 ? 0 : most;  // the ends of the token's range
      int v = (FiveBit ? j * 8 + 4 : j * 4 + 2) * Mul;
      while (v > Hi && j > 0) v = (FiveBit ? --j * 8 + 4 : --j * 4 + 2) * Mul;
      B.At(C, y, x) = int16_t(v);
      T[size_t(y)][size_t(x)] = v;
    }
  }
};

struct Coded {
  Bytes Data;
  std::vector<size_t> GroupEnd;  // bytes holding each row group completely
  std::vector<int> Picture;      // High x Wide, as the decoder must store it
  Usage Use;
};

// Codes a picture of High x Wide photosites with the given scales per row group and colour.
Coded Encode(bool FiveBit, int High, int Wide, const std::vector<std::array<int, 3>>& Muls, uint32_t Seed) {
  const int half = Wide / 2;
  Coded out;
  MsbBits bits;
  Bands bands;
  TreeEncoder enc(FiveBit, half, bits, out.Use);
  Designer design(FiveBit, half, Seed);
  out.Picture.assign(size_t(High) * Wide, 0);
  auto store = [&](int Y, int X, int V) {
    if (Y < High && X < Wide) out.Picture[size_t(Y) * Wide + X] = V;
  };
  for (int row = 0, g = 0; row < High; row += 4, ++g) {
    const auto& mul = Muls[size_t(g) % Muls.size()];
    for (int c = 0; c < 3; ++c) bits.Put(uint32_t(mul[size_t(c)]), 6);
    for (int c = 0; c < 3; ++c) {
      bands.Rescale(c, mul[size_t(c)]);
      for (int pass = 0; pass < (c == 0 ? 2 : 1); ++pass) {
        const Targets t = design.Pass(bands, c, mul[size_t(c)], pass == 0 && g % 2 == 0);
        enc.Pass(bands, c, mul[size_t(c)], t);
        for (int y = 0; y < 2; ++y)
          for (int x = 0; x < half; ++x) {
            // A 16-bit store, as the picture keeps it.
            const int v = uint16_t(std::max((t[size_t(y + 1)][size_t(x)] << 4) / mul[size_t(c)], 0));
            if (c == 0) store(row + 2 * pass + y, 2 * x + y, v);
            else store(row + 2 * y + c - 1, 2 * x + 2 - c, v);
          }
      }
    }
    // The photosites between the first colour's take their own value doubled about 2048 and the mean of
    // their two neighbours; the first and last columns take their one neighbour twice.
    for (int y = row; y < row + 4 && y < High; ++y)
      for (int x = 0; x < Wide; ++x) {
        if (((x + y) & 1) == 0) continue;
        const int* p = &out.Picture[size_t(y) * Wide];
        const int left = x > 0 ? p[x - 1] : p[x + 1], right = x < Wide - 1 ? p[x + 1] : p[x - 1];
        out.Picture[size_t(y) * Wide + x] = std::clamp((p[x] - 2048) * 2 + (left + right) / 2, 0, 65535);
      }
    out.GroupEnd.push_back(bits.Out.size() + (bits.N ? 1 : 0));
  }
  out.Data = bits.Finish();
  out.Data.resize(out.Data.size() + 8, 0);
  return out;
}

void Decode(RawRun& R, const char* Model, int High, int Wide) {
  std::strcpy(R.C->Model, Model);
  R.Store(High, Wide, 0x94949494u);
  kodak_tree_coded_load_raw(*R.C);
}

}  // namespace

TEST(CameraRawKodakTree, TheEncodersCodesAreTheTrees) {
  // Complete prefix codes, and the shapes the pairs give (the ninth pair of tree 9 is shorter again).
  for (const Code& c : Codes()) {
    double kraft = 0;
    for (const auto& [s, code] : c) kraft += std::ldexp(1.0, -code.second);
    EXPECT_DOUBLE_EQ(kraft, 1.0);
  }
  EXPECT_EQ(Codes()[9].at(8), std::make_pair(0xFu, 4));
  EXPECT_EQ(Codes()[9].at(7), std::make_pair(0x1Du, 5));
  EXPECT_EQ(Codes()[10].at(-2), std::make_pair(3u, 2));
}

TEST(CameraRawKodakTree, KnownValuesComeBackExactly) {
  struct Case {
    const char* Model;
    int High, Wide;
    std::vector<std::array<int, 3>> Muls;
  };
  const Case cases[] = {
      // The full width, a scale that stays, then scales that shrink and grow the bands (the third group
      // rescales colour 0 from 1 to 63, where the rescaling takes its 10-bit shift).
      {"DC50", 12, 768, {{16, 16, 16}, {1, 40, 7}, {63, 63, 12}}},
      {"DC40", 12, 768, {{16, 16, 16}, {1, 40, 7}, {63, 63, 12}}},
      // Narrow pictures: an odd number of columns per band row (its last block has one column outside the
      // band), and a height that cuts the last row group.
      {"DC50", 8, 22, {{20, 9, 33}, {5, 61, 16}}},
      {"DC40", 6, 24, {{30, 17, 2}}},
  };
  Usage all;
  for (const Case& k : cases)
    for (uint32_t seed : {1u, 2u}) {
      SCOPED_TRACE(std::string(k.Model) + " " + std::to_string(k.Wide) + " seed " + std::to_string(seed));
      const Coded coded = Encode(k.Model[2] != '4', k.High, k.Wide, k.Muls, seed * 7919u + uint32_t(k.Wide));
      RawRun r(coded.Data);
      Decode(r, k.Model, k.High, k.Wide);
      int off = 0;
      for (int y = 0; y < k.High; ++y)
        for (int x = 0; x < k.Wide; ++x)
          if (r.At(y, x) != coded.Picture[size_t(y) * k.Wide + x] && ++off <= 5)
            ADD_FAILURE() << "(" << y << "," << x << "): " << r.At(y, x) << " vs " << coded.Picture[size_t(y) * k.Wide + x];
      EXPECT_EQ(off, 0);
      EXPECT_EQ(r.C->PastEnd, 0);  // the data is used up to its end, not beyond
      const Usage& u = coded.Use;
      all.DiffTrees.insert(u.DiffTrees.begin(), u.DiffTrees.end());
      all.Symbols.insert(u.Symbols.begin(), u.Symbols.end());
      all.AbsoluteTokens.insert(u.AbsoluteTokens.begin(), u.AbsoluteTokens.end());
      all.Steps.insert(u.Steps.begin(), u.Steps.end());
      all.FirstBlock.insert(u.FirstBlock.begin(), u.FirstBlock.end());
      all.Runs += u.Runs;
      all.LongRuns += u.LongRuns;
      all.EndingNines += u.EndingNines;
      all.ShortEnds += u.ShortEnds;
      all.OutsideTokens += u.OutsideTokens;
    }
  // The scenes reached every corner of the coding.
  EXPECT_EQ(all.DiffTrees.size(), 7u);
  for (int s : {-79, 79, -76, 76, -1, 1, -3, 3}) EXPECT_TRUE(all.Symbols.count(s)) << s;
  for (int t : {0, 31, 63}) EXPECT_TRUE(all.AbsoluteTokens.count(t)) << t;
  EXPECT_EQ(all.Steps, (std::set<int>{-32, 0, 32}));
  EXPECT_EQ(all.FirstBlock, (std::set<int>{0, 1, 8}));  // a band's first block by run, difference and value
  EXPECT_GT(all.LongRuns, 0);
  EXPECT_GT(all.EndingNines, 0);
  EXPECT_GT(all.ShortEnds, 0);
  EXPECT_GT(all.OutsideTokens, 0);
}

TEST(CameraRawKodakTree, ShortDataKeepsTheGroupsItHolds) {
  const int high = 12, wide = 64;
  const Coded coded = Encode(true, high, wide, {{16, 16, 16}, {9, 30, 50}}, 77);
  for (size_t cut : {size_t(0), coded.GroupEnd[0], coded.GroupEnd[1] / 2 + coded.GroupEnd[0] / 2}) {
    SCOPED_TRACE(cut);
    RawRun r(Bytes(coded.Data.begin(), coded.Data.begin() + ptrdiff_t(cut)));
    Decode(r, "DC50", high, wide);
    // Every row group whose data is all there is exact; nothing is read far past the end.
    const int whole = cut >= coded.GroupEnd[0] ? 4 : 0;
    for (int y = 0; y < whole; ++y)
      for (int x = 0; x < wide; ++x) ASSERT_EQ(r.At(y, x), coded.Picture[size_t(y) * wide + x]) << y << "," << x;
    EXPECT_LE(r.C->PastEnd, 64);
  }
}

// Writes coded DC40 pictures as seeds for the sensor-loader fuzz target (its 12-byte head picks the
// tree-coded loader, the size and a model whose absolute values take 6 bits):
//   QV_RAW_SEEDS=fuzz/corpus/codecs_raw_decoders test_codecs_raw --gtest_also_run_disabled_tests
//     --gtest_filter='*TreeCodedFuzzSeeds'
TEST(CameraRawKodakTree, DISABLED_TreeCodedFuzzSeeds) {
  const char* dir = std::getenv("QV_RAW_SEEDS");
  if (!dir) GTEST_SKIP() << "QV_RAW_SEEDS names no folder";
  for (auto [high, wide] : {std::pair{8, 64}, std::pair{8, 94}}) {
    const Coded coded = Encode(false, high, wide, {{16, 16, 16}, {3, 50, 9}}, uint32_t(wide));
    Bytes file = {27, 0, uint8_t(high - 1), uint8_t(wide - 1), 0, 0, 0, 0, 0, 0, 0, 0};
    file.insert(file.end(), coded.Data.begin(), coded.Data.end());
    TFileStream f(std::string(dir) + "/loader_27_coded_" + std::to_string(wide), fmCreate);
    f.Write(file.data(), int64_t(file.size()));
  }
}
