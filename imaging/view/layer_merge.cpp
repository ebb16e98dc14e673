// QxMergeLayers and the band-by-band merge: both run the same row kernel, so a picture written from the
// bands is the one the whole merge makes.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/alpha_rows.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/file_rows.h"
#include "imaging/foundation/kernels/layer_rows.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/geometry.h"
#include "imaging/processing/proc.h"
#include "imaging/view/layer.h"
#include "imaging/view/merged_rows.h"
#include "platform/base/parallel.h"

namespace {

struct MergeSide {
  TQxBitmap* S = nullptr;
  std::unique_ptr<TQxBitmap> Owned;
  int32_t X = 0, Y = 0, W = 0, H = 0;
  int32_t Op = 255;
  bool Expand = false;  // a 1-bit layer, expanded row by row
};

void PrepareSide(TQxLayer* L, TResampleFilter Filter, MergeSide& s) {
  s.S = L->Bitmap;
  s.W = L->DisplayWidth();
  s.H = L->DisplayHeight();
  if (s.S->Width() != s.W || s.S->Height() != s.H) {
    s.Owned = std::make_unique<TQxBitmap>();
    auto proc = TQuillotProc::CreateForBitmap(L->Bitmap);
    proc->ResampleInto(s.Owned.get(), s.W, s.H, Filter);
    s.S = s.Owned.get();
  }
  // Rows are read as 24-bit or 1-bit; gray, palette, 48-bit, CMYK and the rest would be read as 1-bit
  // rows and come out scrambled, so they are converted first (alpha channel kept).
  const TQxPixelFormat f = s.S->PixelFormat();
  if (f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qx1g && !s.S->IsEmpty()) {
    auto converted = std::make_unique<TQxBitmap>();
    converted->AssignFrom(s.S);
    converted->SetPixelFormat(TQxPixelFormat::qx24RGB);
    s.Owned = std::move(converted);
    s.S = s.Owned.get();
  }
  s.X = L->PosX;
  s.Y = L->PosY;
  s.Op = L->Opacity;
  s.Expand = s.S->PixelFormat() != TQxPixelFormat::qx24RGB;
}

// Round half to even and clamp to 0..255. Adding and taking away 1.5 x 2^52 leaves the value rounded by
// the processor's default mode, as nearbyint does, without a library call per channel (|v| stays far below
// 2^51 here).
inline uint8_t RoundClampByte(double v) {
  constexpr double kMagic = 6755399441055744.0;
  const double r = (v + kMagic) - kMagic;
  return uint8_t(r < 0 ? 0 : (r > 255 ? 255 : r));
}

bool MapsRowsOf(TQxBitmap* b) {
  return b && (b->MapsRows() || (b->HasAlphaChannel() && b->GetAlphaChannel()->MapsRows()));
}

}  // namespace

// The inputs and the geometry of one merge.
struct TQxMergePlan {
  MergeSide s1, s2;
  TQxBitmap* M = nullptr;
  std::unique_ptr<TQxBitmap> ownedMask;
  int32_t wm = 0, hm = 0, xm = 0, ym = 0;
  TQxBlendOperation op = 0;
  int32_t left = 0, top = 0, W = 0, H = 0;
  TQxRGB bg{};
  std::vector<uint8_t> full;  // the alpha row of a side without alpha channel

  TQxMergePlan(TQxLayer* Layer1, TQxLayer* Layer2, TQxLayer* MaskLayer, TResampleFilter Filter,
               TColor BackgroundColor, bool Union) {
    op = Layer2->BlendOperation;
    PrepareSide(Layer1, Filter, s1);
    PrepareSide(Layer2, Filter, s2);
    if (MaskLayer) {
      wm = MaskLayer->DisplayWidth();
      hm = MaskLayer->DisplayHeight();
      M = MaskLayer->Bitmap;
      if (M->Width() != wm || M->Height() != hm) {
        ownedMask = std::make_unique<TQxBitmap>(wm, hm, TQxPixelFormat::qx8g);
        QxStretchNearest(MaskLayer->Bitmap, ownedMask.get());
        M = ownedMask.get();
      }
      xm = MaskLayer->PosX;
      ym = MaskLayer->PosY;
    }
    int32_t &x1 = s1.X, &y1 = s1.Y, &x2 = s2.X, &y2 = s2.Y;
    if (x1 < 0) {
      x2 -= x1;
      xm -= x1;
      x1 = 0;
    }
    if (y1 < 0) {
      y2 -= y1;
      ym -= y1;
      y1 = 0;
    }
    if (x2 < 0) {
      x1 -= x2;
      xm -= x2;
      x2 = 0;
    }
    if (y2 < 0) {
      y1 -= y2;
      ym -= y2;
      y2 = 0;
    }
    const int32_t right = std::max(x1 + s1.W, x2 + s2.W);
    const int32_t bottom = std::max(y1 + s1.H, y2 + s2.H);
    left = Union ? std::min(x1, x2) : 0;
    top = Union ? std::min(y1, y2) : 0;
    W = right - left;
    H = bottom - top;
    bg = QxTColorToRGB(BackgroundColor);
    full.assign(size_t(std::max({s1.W, s2.W, 1})), 255);
  }

  // Some input gives its rows from a file one at a time: one thread reads them.
  bool MapsRows() const { return MapsRowsOf(s1.S) || MapsRowsOf(s2.S) || MapsRowsOf(M); }

  // Merges destination rows [First, Last) into Row(y) and AlphaRow(y); without Colour only the alpha is
  // worked out. False when some alpha written is below 255. A set Stop ends the work early.
  template <bool Colour, class RowFn, class AlphaFn>
  bool Rows(int32_t First, int32_t Last, RowFn Row, AlphaFn AlphaRow, const std::atomic<bool>* Stop = nullptr) {
    const int32_t x1 = s1.X, y1 = s1.Y, x2 = s2.X, y2 = s2.Y;
    auto alphaRow = [this](MergeSide& s, int32_t r) -> const uint8_t* {
      return s.S->HasAlphaChannel() ? s.S->GetAlphaChannel()->ScanlineToRead(r) : full.data();
    };
    std::vector<uint8_t> row1(Colour && s1.Expand ? size_t(std::max(s1.W, 0)) * 3 + 3 : 0);
    std::vector<uint8_t> row2(Colour && s2.Expand ? size_t(std::max(s2.W, 0)) * 3 + 3 : 0);
    auto colourRow = [](MergeSide& s, std::vector<uint8_t>& scratch, int32_t r) -> const TQxRGB* {
      const uint8_t* row = s.S->ScanlineToRead(r);
      if (!s.Expand) return reinterpret_cast<const TQxRGB*>(row);
      QxExpandBitRow(row, scratch.data(), s.W);
      return reinterpret_cast<const TQxRGB*>(scratch.data());
    };
    // Whole runs of columns are copied where the rule leaves one layer's pixels as they are; a negative
    // opacity keeps to the rule pixel by pixel.
    const bool Spans = s1.Op >= 0 && s2.Op >= 0;
    bool opaque = true;
    for (int32_t y = First; y < Last; ++y) {
      if (Stop && Stop->load(std::memory_order_relaxed)) break;
      const int32_t r = y + top;
      const bool in1 = r - y1 >= 0 && r - y1 < s1.H;
      const bool in2 = r - y2 >= 0 && r - y2 < s2.H;
      const TQxRGB* p1 = Colour && in1 ? colourRow(s1, row1, r - y1) : nullptr;
      const uint8_t* a1 = in1 ? alphaRow(s1, r - y1) : nullptr;
      const TQxRGB* p2 = Colour && in2 ? colourRow(s2, row2, r - y2) : nullptr;
      const uint8_t* a2 = in2 ? alphaRow(s2, r - y2) : nullptr;
      const uint8_t* mrow = (M && r - ym >= 0 && r - ym < hm) ? M->ScanlineToRead(r - ym) : nullptr;
      TQxRGB* d = Colour ? reinterpret_cast<TQxRGB*>(Row(y)) : nullptr;
      uint8_t* da = AlphaRow(y);
      // The rule pixel by pixel over columns [C0, C1).
      auto Pixels = [&](int32_t C0, int32_t C1) {
        for (int32_t c = C0; c < C1; ++c) {
          const int32_t j1 = c - x1, j2 = c - x2;
          const bool cov1 = j1 >= 0 && j1 < s1.W;
          const bool cov2 = j2 >= 0 && j2 < s2.W;
          TQxRGB P1 = bg, P2 = bg;
          int32_t al1 = 0, al2 = 0;
          if (cov1 && in1) {
            if constexpr (Colour) P1 = p1[j1];
            al1 = a1[j1];
          }
          if (cov2 && in2) {
            if constexpr (Colour) P2 = p2[j2];
            al2 = a2[j2];
          }
          int32_t m = 255;
          if (M) {
            int32_t mc = c - xm;
            m = (mrow && mc >= 0 && mc < wm) ? mrow[mc] : 0;
          }
          TQxRGB scratch;
          TQxRGB& out = Colour ? d[c - left] : scratch;
          uint8_t& outA = da[c - left];
          if (cov1 && cov2) {
            const int32_t e1 = std::min(al1, s1.Op);
            const int32_t e2 = M ? std::min({al2, m, s2.Op}) : std::min(al2, s2.Op);
            // Where one side is fully opaque or fully transparent the weighted mean is that side's colour
            // exactly (its rounding error is far below half a step), so it is taken as it stands.
            if (op == 0 && (e2 == 255 || e1 == 0)) {
              if constexpr (Colour) out = P2;
              outA = uint8_t(e1 == 0 ? e2 : 255);
            } else if (op == 0 && e2 == 0) {
              if constexpr (Colour) out = P1;
              outA = uint8_t(e1);
            } else {
              const double fa1 = e1 / 255.0;
              const double fa2 = e2 / 255.0;
              const double t = (1 - fa2) * fa1;
              const double A = fa2 + t;
              if constexpr (Colour) {
                TQxRGB B = P2;
                if (op != 0) {
                  B = P1;
                  QxBlendPixel(P2, B, op, r);
                }
                if (A != 0) {
                  out.r = RoundClampByte((B.r * fa2 + P1.r * t) / A);
                  out.g = RoundClampByte((B.g * fa2 + P1.g * t) / A);
                  out.b = RoundClampByte((B.b * fa2 + P1.b * t) / A);
                } else {
                  out = B;
                }
              }
              outA = RoundClampByte(A * 255);
            }
          } else if (cov1) {
            if constexpr (Colour) out = P1;
            outA = uint8_t(std::min(al1, s1.Op));
          } else if (cov2) {
            if constexpr (Colour) out = P2;
            outA = uint8_t(M ? std::min({al2, m, s2.Op}) : std::min(al2, s2.Op));
          } else {
            if constexpr (Colour) out = bg;
            outA = 0;
          }
          opaque = opaque && outA == 255;
        }
      };
      if (!Spans) {
        Pixels(left, left + W);
        continue;
      }
      // Columns where the same layers cover the row, each taken whole where its alpha allows.
      int32_t Cuts[6] = {left, left + W, x1, x1 + s1.W, x2, x2 + s2.W};
      for (int32_t& k : Cuts) k = std::clamp(k, left, left + W);
      std::sort(std::begin(Cuts), std::end(Cuts));
      for (int k = 0; k + 1 < 6; ++k) {
        const int32_t C0 = Cuts[k], C1 = Cuts[k + 1], N = C1 - C0;
        if (N <= 0) continue;
        const bool cov1 = C0 >= x1 && C0 < x1 + s1.W;
        const bool cov2 = C0 >= x2 && C0 < x2 + s2.W;
        TQxRGB* dc = Colour ? d + (C0 - left) : nullptr;
        uint8_t* dA = da + (C0 - left);
        // One layer's colours and its alpha limited by its opacity; clear background where it has no row.
        auto Take = [&](bool In, const TQxRGB* P, const uint8_t* A, int32_t Op, int32_t J) {
          if (!In) {
            if constexpr (Colour) std::fill(dc, dc + N, bg);
            std::memset(dA, 0, size_t(N));
            opaque = false;
            return;
          }
          if constexpr (Colour) std::memcpy(dc, P + J, size_t(N) * 3);
          QxMinRow(dA, A + J, uint8_t(std::min(Op, 255)), N);
          if (opaque) {
            uint8_t Lo = 0, Hi = 0;
            QxRowRange(dA, N, Lo, Hi);
            opaque = Lo == 255;
          }
        };
        if (!cov1 && !cov2) {
          Take(false, nullptr, nullptr, 0, 0);
        } else if (!cov2) {
          Take(in1, p1, a1, s1.Op, C0 - x1);
        } else if (!cov1) {
          if (M) Pixels(C0, C1);
          else Take(in2, p2, a2, s2.Op, C0 - x2);
        } else if (op != 0) {
          Pixels(C0, C1);
        } else {
          // The smallest and largest alpha of each layer here, after its opacity.
          uint8_t Lo1 = 0, Hi1 = 0, Lo2 = 0, Hi2 = 0;
          if (in1) QxRowRange(a1 + (C0 - x1), N, Lo1, Hi1);
          if (in2 && !M) QxRowRange(a2 + (C0 - x2), N, Lo2, Hi2);
          const int32_t Min1 = std::min<int32_t>(Lo1, s1.Op), Max1 = std::min<int32_t>(Hi1, s1.Op);
          const int32_t Min2 = std::min<int32_t>(Lo2, s2.Op), Max2 = std::min<int32_t>(Hi2, s2.Op);
          if (Max1 == 0 && (!in2 || !M)) {
            // Nothing below: the upper layer as it stands.
            Take(in2, p2, a2, s2.Op, C0 - x2);
          } else if (in2 && !M && Min2 == 255) {
            // The upper layer hides what lies below.
            if constexpr (Colour) std::memcpy(dc, p2 + (C0 - x2), size_t(N) * 3);
            std::memset(dA, 255, size_t(N));
          } else if ((!in2 || (!M && Max2 == 0)) && Min1 > 0) {
            // The upper layer is clear and every pixel below shows.
            Take(in1, p1, a1, s1.Op, C0 - x1);
          } else {
            Pixels(C0, C1);
          }
        }
      }
    }
    return opaque;
  }
};

void QxMergeLayers(TQxLayer* Layer1, TQxLayer* Layer2, TQxLayer* MaskLayer, TQxBitmap* Destination,
                   TResampleFilter Filter, TColor BackgroundColor, bool Union) {
  TQxMergePlan Plan(Layer1, Layer2, MaskLayer, Filter, BackgroundColor, Union);
  if (Destination->Width() != Plan.W || Destination->Height() != Plan.H ||
      Destination->PixelFormat() != TQxPixelFormat::qx24RGB)
    Destination->Allocate(Plan.W, Plan.H, TQxPixelFormat::qx24RGB);
  TQxBitmap* dalpha = Destination->GetAlphaChannel();
  dalpha->Opaque = false;
  std::atomic<bool> allOpaque{true};
  // Rows are independent; bands of them run on the processor's cores unless a bitmap maps its rows
  // from a file one at a time.
  const bool oneThread = Plan.MapsRows() || MapsRowsOf(Destination);
  ParallelBands(0, Plan.H, oneThread ? INT32_MAX : 16, [&](int32_t First, int32_t Last) {
    const bool opaque = Plan.Rows<true>(
        First, Last, [&](int32_t y) { return Destination->Scanline(y); },
        [&](int32_t y) { return dalpha->Scanline(y); });
    if (!opaque) allOpaque.store(false, std::memory_order_relaxed);
  });
  dalpha->Opaque = allOpaque.load();
  if (dalpha->Opaque) Destination->RemoveAlphaChannel(false);
}

// ---- TQxMergedRows ----

namespace {
constexpr int32_t kBandRows = 128;
}

struct TQxMergedRows::TBands {
  struct Slot {
    int32_t First = -1, Last = -1;
    uint64_t Used = 0;
    std::vector<uint8_t> Colour, Alpha;
  };

  TQxMergePlan Plan;
  int32_t ColourRowLen = 0, AlphaRowLen = 0;
  bool HasAlpha = false;
  bool Flatten = false;
  int32_t FlatBg[3] = {0, 0, 0};  // blue, green, red
  Slot Slots[2];
  uint64_t Clock = 0;
  int64_t Merged = 0;

  TBands(TQxLayer* Layer1, TQxLayer* Layer2, TResampleFilter Filter, TColor BackgroundColor)
      : Plan(Layer1, Layer2, nullptr, Filter, BackgroundColor, false) {}

  // Whether any merged pixel is less than opaque, from the alpha alone; stops at the first one found.
  bool AnyTranslucent() {
    std::atomic<bool> Found{false};
    const int32_t W = std::max(Plan.W, 0);
    ParallelBands(0, Plan.H, Plan.MapsRows() ? INT32_MAX : 64, [&](int32_t First, int32_t Last) {
      std::vector<uint8_t> Scratch(size_t(W) + 1);
      for (int32_t y = First; y < Last && !Found.load(std::memory_order_relaxed); ++y) {
        const bool Opaque = Plan.Rows<false>(
            y, y + 1, [](int32_t) { return static_cast<uint8_t*>(nullptr); },
            [&](int32_t) { return Scratch.data(); });
        if (!Opaque) Found.store(true, std::memory_order_relaxed);
      }
    });
    return Found.load();
  }

  Slot& Fetch(int32_t Row) {
    Slot* Hit = nullptr;
    for (Slot& S : Slots)
      if (Row >= S.First && Row < S.Last) Hit = &S;
    if (!Hit) {
      Slot& Recent = Slots[0].Used >= Slots[1].Used ? Slots[0] : Slots[1];
      Hit = &(Slots[0].Used <= Slots[1].Used ? Slots[0] : Slots[1]);
      // A reader going upwards (bottom-up files) gets the band that ends at its row.
      const bool Upwards = Recent.First >= 0 && Row < Recent.First;
      const int32_t First = Upwards ? std::max(0, Row - kBandRows + 1) : Row;
      const int32_t Last = std::min(Plan.H, First + kBandRows);
      MergeBand(*Hit, First, Last);
    }
    Hit->Used = ++Clock;
    return *Hit;
  }

  void MergeBand(Slot& S, int32_t First, int32_t Last) {
    const size_t Rows = size_t(Last - First);
    if (S.Colour.size() < Rows * size_t(ColourRowLen)) S.Colour.assign(size_t(kBandRows) * size_t(ColourRowLen), 0);
    if (S.Alpha.size() < Rows * size_t(AlphaRowLen)) S.Alpha.assign(size_t(kBandRows) * size_t(AlphaRowLen), 0);
    S.First = S.Last = -1;
    uint8_t* C = S.Colour.data();
    uint8_t* A = S.Alpha.data();
    const int32_t W = Plan.W;
    ParallelBands(First, Last, Plan.MapsRows() ? INT32_MAX : 16, [&](int32_t F, int32_t L) {
      auto Row = [&](int32_t y) { return C + size_t(y - First) * size_t(ColourRowLen); };
      auto ARow = [&](int32_t y) { return A + size_t(y - First) * size_t(AlphaRowLen); };
      Plan.Rows<true>(F, L, Row, ARow);
      if (!Flatten || !HasAlpha) return;
      // As RemoveAlphaChannel(true, colour) blends a merged picture.
      const uint8_t Bg[3] = {uint8_t(FlatBg[0]), uint8_t(FlatBg[1]), uint8_t(FlatBg[2])};
      for (int32_t y = F; y < L; ++y) QxBlendRowOntoColor(Row(y), ARow(y), W, Bg);
    });
    S.First = First;
    S.Last = Last;
    Merged += Last - First;
  }

  uint8_t* ColourRow(int32_t Row) {
    if (Row < 0 || Row >= Plan.H) return nullptr;
    Slot& S = Fetch(Row);
    return S.Colour.data() + size_t(Row - S.First) * size_t(ColourRowLen);
  }
  uint8_t* AlphaRow(int32_t Row) {
    if (Row < 0 || Row >= Plan.H) return nullptr;
    Slot& S = Fetch(Row);
    return S.Alpha.data() + size_t(Row - S.First) * size_t(AlphaRowLen);
  }
};

class TQxMergedRows::TAlphaRows : public TQxBitmap {
 public:
  TAlphaRows(TBands* Bands, int32_t W, int32_t H) : FBands(Bands) {
    DescribeRowsMadeOnDemand(W, H, TQxPixelFormat::qx8g);
  }
  uint8_t* Scanline(int32_t Row) override { return FBands->AlphaRow(Row); }

 private:
  TBands* FBands;
};

TQxMergedRows::TQxMergedRows(TQxLayer* Layer1, TQxLayer* Layer2, TResampleFilter Filter, TColor BackgroundColor)
    : FBands(std::make_unique<TBands>(Layer1, Layer2, Filter, BackgroundColor)) {
  const int32_t W = FBands->Plan.W, H = FBands->Plan.H;
  DescribeRowsMadeOnDemand(W, H, TQxPixelFormat::qx24RGB);
  FBands->ColourRowLen = RowLen();
  auto Alpha = std::make_unique<TAlphaRows>(FBands.get(), W, H);
  FBands->AlphaRowLen = Alpha->RowLen();
  if (FBands->ColourRowLen <= 0 || FBands->AlphaRowLen <= 0 || W <= 0 || H <= 0) {
    // Nothing to merge: an empty picture, as an empty merge leaves.
    FBands->Plan.H = 0;
    return;
  }
  FBands->HasAlpha = FBands->AnyTranslucent();
  if (FBands->HasAlpha) SetAlphaChannel(std::move(Alpha));
}

TQxMergedRows::~TQxMergedRows() { SetAlphaChannel(nullptr); }

void TQxMergedRows::FlattenOnto(TColor Color) {
  if (FBands->Flatten) return;
  const TColor c = ColorToRGB(Color);
  FBands->FlatBg[0] = (c >> 16) & 0xFF;
  FBands->FlatBg[1] = (c >> 8) & 0xFF;
  FBands->FlatBg[2] = c & 0xFF;
  FBands->Flatten = true;
  for (auto& S : FBands->Slots) S.First = S.Last = -1;
  SetAlphaChannel(nullptr);
}

uint8_t* TQxMergedRows::Scanline(int32_t Row) { return FBands->ColourRow(Row); }

int64_t TQxMergedRows::RowsMerged() const { return FBands->Merged; }

bool TQxMergedRows::AlphaPartial() { return FBands->HasAlpha && !FBands->Flatten; }

bool TQxMergedRows::RowsRgba(int32_t First, int32_t Last, uint8_t* Dest, size_t Stride) {
  TBands& B = *FBands;
  if (!AlphaPartial()) return false;
  First = std::max(First, 0);
  Last = std::min(Last, B.Plan.H);
  if (Last <= First) return true;
  const int32_t W = B.Plan.W;
  ParallelBands(First, Last, B.Plan.MapsRows() ? INT32_MAX : 8, [&](int32_t F, int32_t L) {
    // One row's colours and alpha stay in the cache between the merge and the reordering.
    std::vector<uint8_t> Colour(size_t(B.ColourRowLen)), Alpha(size_t(B.AlphaRowLen));
    for (int32_t y = F; y < L; ++y) {
      B.Plan.Rows<true>(
          y, y + 1, [&](int32_t) { return Colour.data(); }, [&](int32_t) { return Alpha.data(); });
      QxBgrAlphaToRgba(Colour.data(), Alpha.data(), Dest + size_t(y - First) * Stride, W);
    }
  });
  B.Merged += Last - First;
  return true;
}
