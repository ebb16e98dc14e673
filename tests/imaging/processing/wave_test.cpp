#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/processing/proc.h"
#include "imaging/processing/wave.h"
#include "tests/imaging/processing/proc_test_util.h"

using namespace proctest;
using F = TQxPixelFormat;

namespace {

// The ripples written out plainly in double precision, one pixel at a time.
std::vector<uint8_t> ReferenceWave(TQxBitmap* B, int Amp, int Len, int Phase, bool Reflective) {
  const int W = B->Width(), H = B->Height();
  auto src = [&](int x, int yb) -> const uint8_t* {
    static const uint8_t zero[3] = {};
    if (x >= W || yb >= H) return zero;
    return B->Scanline(H - 1 - yb) + x * 3;
  };
  std::vector<uint8_t> out(size_t(W) * H * 3);
  const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0, hw = W / 2.0, hh = H / 2.0;
  const double fx = hw < hh ? hh / hw : 1, fy = hw > hh ? hw / hh : 1;
  for (int yb = 0; yb < H; ++yb)
    for (int x = 0; x < W; ++x) {
      const double dx = (x - cx) * fx, dy = (yb - cy) * fy;
      const double w = std::sin(std::hypot(dx, dy) / (2.0 * Len) * 2 * M_PI + Phase * M_PI / 180);
      double sx, sy;
      if (Reflective) {
        sx = cx + std::fabs(w) * Amp * dx / fx;
        sy = cy + std::fabs(w) * Amp * dy / fy;
      } else {
        sx = cx + (w * Amp + dx) / fx;
        sy = cy + (w * Amp + dy) / fy;
      }
      const int x0 = std::max(std::min(int(std::trunc(sx)), W - 2), 0);
      const int y0 = std::max(std::min(int(std::trunc(sy)), H - 2), 0);
      for (int c = 0; c < 3; ++c) {
        const uint8_t s[4] = {src(x0, y0)[c], src(x0 + 1, y0)[c], src(x0, y0 + 1)[c], src(x0 + 1, y0 + 1)[c]};
        out[(size_t(H - 1 - yb) * W + x) * 3 + c] = QxBilinearByte(s, sx, sy);
      }
    }
  return out;
}

TEST(Wave, MatchesDoublePrecisionReference) {
  struct {
    int w, h, amp, len, phase;
    bool refl;
  } cases[] = {{200, 100, 10, 30, 0, false}, {61, 97, 7, 11, 123, false}, {80, 80, 1, 9, 300, true},
               {301, 257, 20, 40, 45, false}, {1, 9, 3, 5, 0, false}};
  for (auto c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " amp " << c.amp);
    auto b = Pattern(c.w, c.h, F::qx24RGB, 9);
    const std::vector<uint8_t> expected = ReferenceWave(b.get(), c.amp, c.len, c.phase, c.refl);
    TQxProgressInfo info;
    QxWaveBitmap(b.get(), c.amp, c.len, c.phase, c.refl, info);
    const std::vector<uint8_t> got = Pixels(b.get());
    ASSERT_EQ(got.size(), expected.size());
    int worst = 0;
    for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(int(got[i]) - int(expected[i])));
    EXPECT_EQ(worst, 0);
  }
}

// Four equal samples blend to themselves: a flat picture stays flat, not speckled one level darker.
TEST(Wave, FlatAreasStayFlat) {
  for (uint8_t v : {uint8_t(255), uint8_t(200), uint8_t(1)}) {
    TQxBitmap b(120, 90, F::qx24RGB);
    for (int32_t y = 0; y < 90; ++y) std::memset(b.Scanline(y), v, 120 * 3);
    TQxProgressInfo info;
    QxWaveBitmap(&b, 10, 30, 0, false, info);
    int off = 0;
    for (uint8_t p : Pixels(&b)) off += p != v;
    EXPECT_EQ(off, 0) << int(v);
  }
}

TEST(Wave, BilinearStepUsesFractionOfUnlimitedPosition) {
  const uint8_t s[4] = {0, 100, 200, 40};
  EXPECT_EQ(QxBilinearByte(s, 3.0, 5.0), 0);
  EXPECT_EQ(QxBilinearByte(s, 3.5, 2.0), 50);
  EXPECT_EQ(QxBilinearByte(s, -0.25, 0.0), 75);  // fraction -0.25 counts as 0.75
  EXPECT_EQ(QxBilinearByte(s, 0.0, 0.5), 100);
}

TEST(Wave, ComponentFrame) {
  auto b = Pattern(31, 21, F::qx24RGB);
  TQxBitmap* a = b->GetAlphaChannel();
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 31; ++x) a->SetPixel8(x, y, uint8_t(x * 8));
  const std::vector<uint8_t> alphaBefore = Pixels(a);
  const std::vector<uint8_t> before = Pixels(b.get());
  TQuillotProc p(nullptr);
  p.SetAutoUndo(true);
  p.AttachBitmap(b.get());
  p.Wave(0, 30, 0, false);
  p.Wave(10, 0, 0, false);
  EXPECT_EQ(Pixels(b.get()), before);
  EXPECT_EQ(p.UndoCount(), 1);  // the snapshot comes before the worker's check
  std::string caption;
  p.UndoCaption(0, caption);
  EXPECT_EQ(caption, "Wave");

  std::vector<int32_t> reports;
  p.OnProgress = [&](TObject*, int32_t per) { reports.push_back(per); };
  p.Wave(5, 7, 0, false);
  EXPECT_NE(Pixels(b.get()), before);
  EXPECT_EQ(Pixels(b->GetAlphaChannel()), alphaBefore);
  // The centre pixel of an odd-sized picture comes from the centre itself.
  auto c = Pattern(31, 21, F::qx24RGB);
  EXPECT_EQ(b->GetPixel24(15, 10), c->GetPixel24(15, 10));
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), 100);
  EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));

  // A gray picture is converted first and stays 24-bit.
  auto g = Pattern(16, 16, F::qx8g);
  p.AttachBitmap(g.get());
  p.Wave(3, 5, 0, false);
  EXPECT_EQ(g->PixelFormat(), F::qx24RGB);
}

}  // namespace
