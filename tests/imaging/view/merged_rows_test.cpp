// Layers merged band by band give, row for row, what the whole merge gives, in any reading order.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "imaging/foundation/utils.h"
#include "imaging/view/merged_rows.h"
#include "view_fixture.h"

namespace {

// A layer of its own holding a W x H picture with detail in every channel, and an alpha channel when
// Alpha is set (Kind picks its pattern: 0 ramps and holes, 1 all 255, 2 all 0).
std::unique_ptr<TQxLayer> PatternLayer(int32_t W, int32_t H, uint32_t Seed, bool Alpha, int Kind = 0) {
  auto b = new TQxBitmap(W, H, TQxPixelFormat::qx24RGB);
  std::mt19937 g(Seed);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b->Scanline(y);
    for (int32_t x = 0; x < W * 3; ++x) r[x] = uint8_t(g());
  }
  if (Alpha) {
    TQxBitmap* a = b->GetAlphaChannel();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t Ramp = uint8_t(x % 7 == 0 ? 0 : x % 5 == 0 ? 255 : (x * 9 + y * 4) & 255);
        a->Scanline(y)[x] = Kind == 1 ? 255 : Kind == 2 ? 0 : Ramp;
      }
    a->Opaque = Kind == 1;
  }
  return std::make_unique<TQxLayer>(nullptr, b, true);
}

// Rows of the whole merge and of the bands, read in Order, are the same bytes; so are the alpha rows,
// and the band merge has an alpha channel exactly when the whole merge keeps one.
void ExpectSameRows(TQxBitmap* Whole, TQxMergedRows& Bands, const std::vector<int32_t>& Order, const char* What) {
  ASSERT_EQ(Bands.Width(), Whole->Width()) << What;
  ASSERT_EQ(Bands.Height(), Whole->Height()) << What;
  ASSERT_EQ(Bands.PixelFormat(), TQxPixelFormat::qx24RGB) << What;
  ASSERT_EQ(Bands.HasAlphaChannel(), Whole->HasAlphaChannel()) << What;
  EXPECT_TRUE(Bands.MapsRows()) << What;
  const size_t Bytes = size_t(Whole->Width()) * 3;
  int32_t Wrong = 0;
  for (int32_t y : Order) {
    const uint8_t* Row = Bands.Scanline(y);
    if (std::memcmp(Row, Whole->Scanline(y), Bytes) != 0) ++Wrong;
    if (Whole->HasAlphaChannel()) {
      const uint8_t* A = Bands.GetAlphaChannel()->Scanline(y);
      if (std::memcmp(A, Whole->GetAlphaChannel()->Scanline(y), size_t(Whole->Width())) != 0) ++Wrong;
      // The colour row asked for first is still there after its alpha row.
      if (std::memcmp(Row, Whole->Scanline(y), Bytes) != 0) ++Wrong;
    }
  }
  EXPECT_EQ(Wrong, 0) << What;
  // The rows in a file's order: red, green, blue, alpha; none without an alpha channel.
  const int32_t W = Whole->Width(), H = Whole->Height();
  std::vector<uint8_t> Rgba(size_t(W) * 4 * size_t(H) + 1, 0xA5);
  ASSERT_EQ(Bands.AlphaPartial(), Bands.HasAlphaChannel()) << What;
  ASSERT_EQ(Bands.RowsRgba(0, H, Rgba.data(), size_t(W) * 4), Bands.HasAlphaChannel()) << What;
  if (!Bands.HasAlphaChannel()) return;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* C = Whole->Scanline(y);
    const uint8_t* A = Whole->GetAlphaChannel()->Scanline(y);
    const uint8_t* R = Rgba.data() + size_t(y) * size_t(W) * 4;
    for (int32_t x = 0; x < W; ++x)
      if (R[x * 4] != C[x * 3 + 2] || R[x * 4 + 1] != C[x * 3 + 1] || R[x * 4 + 2] != C[x * 3] || R[x * 4 + 3] != A[x])
        ++Wrong;
  }
  EXPECT_EQ(Rgba.back(), 0xA5) << What;
  EXPECT_EQ(Wrong, 0) << What << " in red, green, blue, alpha";
}

std::vector<int32_t> Orders(int32_t H, int Which) {
  std::vector<int32_t> O(size_t(std::max(H, 0)));
  for (int32_t y = 0; y < H; ++y) O[size_t(y)] = y;
  if (Which == 1) std::reverse(O.begin(), O.end());
  if (Which == 2) std::shuffle(O.begin(), O.end(), std::mt19937(7));
  return O;
}

}  // namespace

TEST(MergedRows, EveryRowAsTheWholeMergeInAnyOrder) {
  struct Case {
    const char* Name;
    int32_t W1, H1, W2, H2, X2, Y2;
    bool Alpha1, Alpha2;
    int Kind2;
    int32_t Opacity2;
    TQxBlendOperation Op;
  };
  // Tall enough for several bands; placements as the reflection sides put them, and off the canvas.
  const Case Cases[] = {
      {"below", 61, 300, 61, 300, 0, 303, false, true, 0, 255, 0},
      {"right, both translucent", 53, 290, 53, 290, 57, 0, true, true, 0, 255, 0},
      {"over, opacity", 40, 400, 40, 400, 0, 0, true, true, 0, 128, 0},
      {"blend operation", 33, 260, 33, 260, 0, 0, false, false, 0, 255, 3},
      {"negative position", 30, 270, 25, 280, -7, -9, true, false, 0, 255, 0},
      {"opaque result", 37, 270, 37, 270, 0, 0, false, true, 1, 255, 0},
      {"clear layer on top", 37, 270, 37, 270, 0, 0, false, true, 2, 255, 0},
  };
  for (const Case& c : Cases) {
    auto a = PatternLayer(c.W1, c.H1, 1, c.Alpha1);
    auto b = PatternLayer(c.W2, c.H2, 2, c.Alpha2, c.Kind2);
    b->PosX = c.X2;
    b->PosY = c.Y2;
    b->Opacity = c.Opacity2;
    b->BlendOperation = c.Op;
    TQxBitmap Whole;
    QxMergeLayers(a.get(), b.get(), nullptr, &Whole, TResampleFilter::rfNone, 0x00102030, false);
    for (int Which = 0; Which < 3; ++Which) {
      TQxMergedRows Bands(a.get(), b.get(), TResampleFilter::rfNone, 0x00102030);
      ExpectSameRows(&Whole, Bands, Orders(Whole.Height(), Which), c.Name);
    }
  }
}

// A 1-bit layer (a black-and-white reflection) and a layer shown at another size than its bitmap's.
TEST(MergedRows, OneBitAndResizedLayers) {
  auto a = PatternLayer(45, 280, 3, true);
  auto b = PatternLayer(45, 280, 4, true);
  b->Bitmap->SetPixelFormat(TQxPixelFormat::qx1g);
  b->PosY = 200;
  auto c = PatternLayer(20, 100, 5, false);
  c->Width = 45;
  c->Height = 260;
  for (TQxLayer* Top : {b.get(), c.get()}) {
    TQxBitmap Whole;
    QxMergeLayers(a.get(), Top, nullptr, &Whole, TResampleFilter::rfNone, 0, false);
    TQxMergedRows Bands(a.get(), Top, TResampleFilter::rfNone, 0);
    ExpectSameRows(&Whole, Bands, Orders(Whole.Height(), 0), Top == b.get() ? "1-bit" : "resized");
  }
}

// Blended onto a colour, the rows are those RemoveAlphaChannel(true, colour) leaves in the whole merge.
TEST(MergedRows, FlattenedAsTheWholeMergeBlendedOntoTheColour) {
  for (bool Translucent : {true, false}) {
    auto a = PatternLayer(50, 200, 6, true, Translucent ? 0 : 1);
    auto b = PatternLayer(50, 200, 7, true, Translucent ? 0 : 1);
    b->PosY = 150;
    TQxBitmap Whole;
    QxMergeLayers(a.get(), b.get(), nullptr, &Whole, TResampleFilter::rfNone, 0, false);
    TQxMergedRows Bands(a.get(), b.get(), TResampleFilter::rfNone, 0);
    // Rows already made before the change are made again.
    Bands.Scanline(0);
    Whole.RemoveAlphaChannel(true, TColor(0x3366CC));
    Bands.FlattenOnto(TColor(0x3366CC));
    EXPECT_FALSE(Bands.HasAlphaChannel());
    ExpectSameRows(&Whole, Bands, Orders(Whole.Height(), 1), Translucent ? "translucent" : "opaque");
  }
}

// Only two bands are held: a reader going down the picture merges each row once, and nothing is left for
// rows outside the picture.
TEST(MergedRows, EachRowMergedOnceOnTheWayDown) {
  auto a = PatternLayer(30, 500, 8, false);
  auto b = PatternLayer(30, 500, 9, true);
  b->PosY = 500;
  TQxMergedRows Bands(a.get(), b.get(), TResampleFilter::rfNone, 0);
  ASSERT_TRUE(Bands.HasAlphaChannel());
  for (int32_t y = 0; y < Bands.Height(); ++y) {
    Bands.Scanline(y);
    Bands.GetAlphaChannel()->Scanline(y);
  }
  EXPECT_EQ(Bands.RowsMerged(), 1000);
  EXPECT_EQ(Bands.Scanline(-1), nullptr);
  EXPECT_EQ(Bands.Scanline(1000), nullptr);
  EXPECT_EQ(Bands.GetAlphaChannel()->Scanline(1000), nullptr);
}

namespace {

// One merged pixel by the rule, worked out here: each layer's alpha limited by its opacity; where both
// cover a column, the upper one over the lower, rounded half to even (a layer that covers the column but
// not the row counts as clear background there).
struct RefSide {
  TQxBitmap* B;
  int32_t X, Y, Op;
  bool Covers(int32_t c) const { return c >= X && c < X + B->Width(); }
  bool In(int32_t r) const { return r >= Y && r < Y + B->Height(); }
  TQxRGB Colour(int32_t c, int32_t r, TQxRGB Bg) const {
    return Covers(c) && In(r) ? reinterpret_cast<TQxRGB*>(B->Scanline(r - Y))[c - X] : Bg;
  }
  int32_t Alpha(int32_t c, int32_t r) const {
    if (!Covers(c) || !In(r)) return 0;
    return B->HasAlphaChannel() ? B->GetAlphaChannel()->Scanline(r - Y)[c - X] : 255;
  }
};

uint8_t RoundByte(double v) { return uint8_t(std::clamp(std::nearbyint(v), 0.0, 255.0)); }

void RefPixel(const RefSide& S1, const RefSide& S2, int32_t c, int32_t r, TQxRGB Bg, TQxRGB& Out, uint8_t& OutA) {
  const TQxRGB P1 = S1.Colour(c, r, Bg), P2 = S2.Colour(c, r, Bg);
  const int32_t e1 = std::min(S1.Alpha(c, r), S1.Op), e2 = std::min(S2.Alpha(c, r), S2.Op);
  if (S1.Covers(c) && S2.Covers(c)) {
    if (e2 == 255 || e1 == 0) {
      Out = P2, OutA = uint8_t(e1 == 0 ? e2 : 255);
    } else if (e2 == 0) {
      Out = P1, OutA = uint8_t(e1);
    } else {
      const double fa1 = e1 / 255.0, fa2 = e2 / 255.0, t = (1 - fa2) * fa1, A = fa2 + t;
      Out.r = RoundByte((P2.r * fa2 + P1.r * t) / A);
      Out.g = RoundByte((P2.g * fa2 + P1.g * t) / A);
      Out.b = RoundByte((P2.b * fa2 + P1.b * t) / A);
      OutA = RoundByte(A * 255);
    }
  } else if (S1.Covers(c)) {
    Out = P1, OutA = uint8_t(e1);
  } else if (S2.Covers(c)) {
    Out = P2, OutA = uint8_t(e2);
  } else {
    Out = Bg, OutA = 0;
  }
}

// A layer whose alpha rows come in runs: clear rows, opaque rows, rows clear or opaque in part, and
// rows of every value, so that whole rows, parts of rows and single pixels take each road of the merge.
std::unique_ptr<TQxLayer> RunsLayer(int32_t W, int32_t H, std::mt19937& G, bool Alpha) {
  auto L = PatternLayer(W, H, G(), false);
  if (!Alpha) return L;
  TQxBitmap* a = L->Bitmap->GetAlphaChannel();
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = a->Scanline(y);
    const int Kind = int(G() % 5);
    const int32_t Cut = int32_t(G() % uint32_t(W + 1));
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t Any = uint8_t(G());
      Row[x] = Kind == 0 ? 0 : Kind == 1 ? 255 : Kind == 2 ? (x < Cut ? 0 : 255) : Kind == 3 ? (x < Cut ? 255 : Any) : Any;
    }
  }
  a->Opaque = false;
  return L;
}

}  // namespace

// The whole merge and the bands against the rule, pixel by pixel, over layouts drawn at random: layers
// side by side, overlapping in part or whole, of every opacity, with alpha rows in runs.
TEST(MergedRows, EveryPixelAsTheRuleGivesIt) {
  std::mt19937 G(41);
  const TColor BgColour = 0x00405060;
  const TQxRGB Bg = QxTColorToRGB(BgColour);
  for (int Trial = 0; Trial < 60; ++Trial) {
    const int32_t Ops[] = {255, 255, 0, 1, 128, 254};
    auto a = RunsLayer(1 + int32_t(G() % 70), 1 + int32_t(G() % 40), G, G() % 4 != 0);
    auto b = RunsLayer(1 + int32_t(G() % 70), 1 + int32_t(G() % 40), G, G() % 4 != 0);
    a->PosX = int32_t(G() % 30), a->PosY = int32_t(G() % 20);
    b->PosX = int32_t(G() % 30), b->PosY = int32_t(G() % 20);
    a->Opacity = Ops[G() % 6], b->Opacity = Ops[G() % 6];
    TQxBitmap Whole;
    QxMergeLayers(a.get(), b.get(), nullptr, &Whole, TResampleFilter::rfNone, BgColour, false);
    const RefSide S1{a->Bitmap, a->PosX, a->PosY, a->Opacity}, S2{b->Bitmap, b->PosX, b->PosY, b->Opacity};
    const int32_t W = std::max(S1.X + S1.B->Width(), S2.X + S2.B->Width());
    const int32_t H = std::max(S1.Y + S1.B->Height(), S2.Y + S2.B->Height());
    ASSERT_EQ(Whole.Width(), W);
    ASSERT_EQ(Whole.Height(), H);
    int32_t Wrong = 0;
    bool Opaque = true;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        TQxRGB Want{};
        uint8_t WantA = 0;
        RefPixel(S1, S2, x, y, Bg, Want, WantA);
        Opaque = Opaque && WantA == 255;
        const uint8_t GotA = Whole.HasAlphaChannel() ? Whole.GetAlphaChannel()->Scanline(y)[x] : 255;
        if (!(reinterpret_cast<TQxRGB*>(Whole.Scanline(y))[x] == Want) || GotA != WantA) ++Wrong;
      }
    EXPECT_EQ(Wrong, 0) << "trial " << Trial;
    EXPECT_EQ(Whole.HasAlphaChannel(), !Opaque) << "trial " << Trial;
    TQxMergedRows Bands(a.get(), b.get(), TResampleFilter::rfNone, BgColour);
    ExpectSameRows(&Whole, Bands, Orders(Whole.Height(), 0), "random layout");
  }
}
