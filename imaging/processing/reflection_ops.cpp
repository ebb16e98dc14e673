#include "imaging/processing/reflection_ops.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/kernels/alpha_rows.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/wave.h"
#include "platform/base/parallel.h"

namespace {

// An operation about to write every row of B: rows lent by the picture or shared are not copied first, it
// takes a block of its own instead.
void WillWriteEveryRow(TQxBitmap* B) {
  if (B && B->HasRowTable()) B->OwnRows(0, B->Height());
}

bool Is24(TQxBitmap* B) { return B->PixelFormat() == TQxPixelFormat::qx24RGB; }

// An 8-bit alpha channel of W x H held in memory, or nullptr when the bitmap has none. Ok is false when it
// has one that an operation cannot read row by row.
TQxBitmap* AlphaOf(TQxBitmap* B, int32_t W, int32_t H, bool& Ok) {
  TQxBitmap* A = B->HasAlphaChannel() ? B->GetAlphaChannel() : nullptr;
  Ok = !A || (!A->MapsRows() && A->Width() == W && A->Height() == H && A->PixelFormat() == TQxPixelFormat::qx8g);
  return A;
}

// One mirrored row of W blue-green-red pixels, as gray with Gray.
void MirrorRow(const uint8_t* s, uint8_t* d, int32_t W, bool Horizontal, bool Gray) {
  if (Gray) {
    const int32_t WR = QxGrayWeightRed, WG = QxGrayWeightGreen, WB = QxGrayWeightBlue;
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t* p = s + size_t(Horizontal ? W - 1 - x : x) * 3;
      const auto g = uint8_t((p[2] * WR + p[1] * WG + p[0] * WB) / 100);
      d[size_t(x) * 3] = d[size_t(x) * 3 + 1] = d[size_t(x) * 3 + 2] = g;
    }
  } else if (Horizontal) {
    for (int32_t x = 0; x < W; ++x) std::memcpy(d + size_t(x) * 3, s + size_t(W - 1 - x) * 3, 3);
  } else {
    std::memcpy(d, s, size_t(W) * 3);
  }
}

void MirrorAlphaRow(const uint8_t* s, uint8_t* d, int32_t W, bool Horizontal) {
  if (Horizontal)
    for (int32_t x = 0; x < W; ++x) d[x] = s[W - 1 - x];
  else
    std::memcpy(d, s, size_t(W));
}

// Src's rows where they lie on the canvas of a picture that grows only in height: the rows of the empty
// canvas are one shared row of the fill colour and one shared clear alpha row, and an opaque picture's
// alpha one shared opaque row. Blended onto a colour (Onto), the picture's rows are the canvas's own.
// False, with B left empty, when the picture cannot lend its rows.
bool LendCanvasRows(TQxBitmap* B, TQxBitmap* Src, TQxBitmap* SA, int32_t NH, int32_t OY, const uint8_t Fill[3],
                    const uint8_t* Onto) {
  const int32_t W = Src->Width(), H = Src->Height();
  auto A = std::make_unique<TQxBitmap>();
  bool Ok = B->AllocateRowTable(W, NH, TQxPixelFormat::qx24RGB) && A->AllocateRowTable(W, NH, TQxPixelFormat::qx8g) &&
            (!Onto || B->OwnRows(OY, OY + H));
  if (Ok) {
    const uint8_t Zero = 0, Full = 255;
    const auto FillRow = TQxBitmap::MakeConstantRow(B->RowLen(), W * 3, Fill, 3);
    const auto Clear = TQxBitmap::MakeConstantRow(A->RowLen(), W, &Zero, 1);
    const auto Opaque = SA ? nullptr : TQxBitmap::MakeConstantRow(A->RowLen(), W, &Full, 1);
    for (int32_t y = 0; y < NH && Ok; ++y) {
      const int32_t From = y - OY;
      if (From < 0 || From >= H) {
        B->ShareRow(y, FillRow);
        A->ShareRow(y, Clear);
        continue;
      }
      if (SA)
        Ok = A->LendRow(y, SA, From);
      else
        A->ShareRow(y, Opaque);
      if (Ok && !Onto) Ok = B->LendRow(y, Src, From);
    }
  }
  if (!Ok) {
    B->FreeImage(true);
    return false;
  }
  if (Onto) {
    ParallelBands(OY, OY + H, 32, [&](int32_t First, int32_t Last) {
      for (int32_t y = First; y < Last; ++y) {
        uint8_t* Row = B->Scanline(y);
        std::memcpy(Row, Src->ScanlineToRead(y - OY), size_t(W) * 3);
        QxBlendRowOntoColor(Row, A->ScanlineToRead(y), W, Onto);
      }
    });
  }
  B->SetAlphaChannel(std::move(A));
  B->Opaque = false;
  B->GetAlphaChannel()->Opaque = false;
  return true;
}

}  // namespace

bool QxMirrorInto(TQxBitmap* Src, TQxBitmap* Dst, bool Horizontal, const TQxMirrorParts& Parts) {
  const int32_t W = Src->Width(), H = Src->Height();
  // A destination of another size (the first build of a picture) is sized without being filled first.
  if (Is24(Src) && W > 0 && H > 0 && !Src->MapsRows() && Dst->Location() != TQxLocation::qxFile &&
      (!Is24(Dst) || Dst->Width() != W || Dst->Height() != H)) {
    if (!Dst->AllocateUninitialised(W, H, TQxPixelFormat::qx24RGB)) return false;
    if (Src->HasAlphaChannel()) Dst->SetAlphaChannel(TQxBitmap::CreateAlpha(W, H, Dst->Location(), false));
  }
  if (!Is24(Src) || !Is24(Dst) || Dst->Width() != W || Dst->Height() != H || W <= 0 || H <= 0 || Src->MapsRows() ||
      Dst->MapsRows())
    return false;
  TQxBitmap* SA = Parts.Alpha && Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  TQxBitmap* DA = nullptr;
  if (SA) {
    if (!Dst->HasAlphaChannel() || SA->MapsRows()) return false;
    DA = Dst->GetAlphaChannel();
    if (DA->Width() != W || DA->Height() != H || DA->MapsRows()) return false;
    DA->Opaque = SA->Opaque;
  } else if (Parts.Alpha) {
    Dst->RemoveAlphaChannel(false);
  }
  Dst->Opaque = Src->Opaque;
  if (Parts.Colour) WillWriteEveryRow(Dst);
  WillWriteEveryRow(DA);
  ParallelBands(0, H, 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      const int32_t From = Horizontal ? y : H - 1 - y;
      if (Parts.Colour) MirrorRow(Src->ScanlineToRead(From), Dst->Scanline(y), W, Horizontal, Parts.Gray);
      if (DA) MirrorAlphaRow(SA->ScanlineToRead(From), DA->Scanline(y), W, Horizontal);
    }
  });
  return true;
}

bool QxLendMirroredRows(TQxBitmap* Src, TQxBitmap* Dst) {
  const int32_t W = Src->Width(), H = Src->Height();
  if (!Is24(Src) || W <= 0 || H <= 0 || !Src->CanLendRows()) return false;
  std::unique_ptr<TQxBitmap> Alpha = Dst->SetAlphaChannel(nullptr);
  bool Ok = Dst->AllocateRowTable(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H && Ok; ++y) Ok = Dst->LendRow(y, Src, H - 1 - y);
  if (!Ok) {
    Dst->FreeImage(true);
    return false;
  }
  Dst->SetAlphaChannel(std::move(Alpha));
  Dst->Opaque = Src->Opaque;
  return true;
}

bool QxMirroredWaveInto(TQxBitmap* Src, TQxBitmap* Dst, bool Horizontal, int32_t Amplitude, int32_t WaveLength,
                        int32_t Phase, bool Alpha) {
  if (!QxMirrorInto(Src, Dst, Horizontal, TQxMirrorParts{false, Alpha, false})) return false;
  const int32_t H = Src->Height();
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) Rows[size_t(y)] = Src->ScanlineToRead(Horizontal ? y : H - 1 - y);
  TQxProgressInfo Progress;
  WillWriteEveryRow(Dst);
  // Not drawn: the destination has only its alpha channel so far, and the plain steps must run.
  return QxWaveFromRows(Rows, Horizontal, Dst, Amplitude, WaveLength, Phase, false, Progress);
}

std::vector<uint8_t> QxRampCuts(int32_t N, int32_t StartOpacity, int32_t EndOpacity, bool FromFar,
                                int32_t SizePercent) {
  const int32_t P = SizePercent;
  const double Step = (N == 0 || P == 0) ? 0.0 : double(StartOpacity - EndOpacity) / (double(N) * P / 100.0);
  double G = StartOpacity + Step;
  // Worked out in the ramp's visiting order, from the picture's edge outwards: the running value depends
  // on it.
  const int32_t T = FromFar ? int32_t(std::nearbyint((long double)((100 - P) * N) / 100.0L))
                            : int32_t(std::nearbyint((long double)(P * N) / 100.0L));
  std::vector<uint8_t> Cut(size_t(std::max(N, 0)), 255);
  for (int32_t k = 0; k < N; ++k) {
    const int32_t Line = FromFar ? N - 1 - k : k;
    const bool InRamp = FromFar ? Line >= T : Line <= T;
    if (!InRamp) continue;
    G -= Step;
    const auto o = std::clamp<int64_t>(static_cast<int64_t>(std::nearbyint((long double)G)), 0, 255);
    Cut[size_t(Line)] = uint8_t(255 - o);
  }
  return Cut;
}

bool QxLowerAlphaByCuts(TQxBitmap* Alpha, const std::vector<uint8_t>& Cut, bool ByColumn) {
  const int32_t W = Alpha->Width(), H = Alpha->Height();
  std::atomic<bool> Written{false};  // a value other than 255 went in
  ParallelBands(0, H, Alpha->MapsRows() ? INT32_MAX : 64, [&](int32_t First, int32_t Last) {
    uint8_t All = 255;
    for (int32_t y = First; y < Last; ++y) {
      uint8_t* Row = Alpha->Scanline(y);
      if (ByColumn) {
        All &= QxLowerRowByColumn(Row, Row, W, Cut.data());
        continue;
      }
      const uint8_t c = Cut[size_t(y)];
      if (c == 0) {
        All &= QxAndOfRow(Row, W);
      } else if (c == 255) {
        std::memset(Row, 0, size_t(W));
        All = 0;
      } else {
        All &= QxLowerRow(Row, Row, W, c);
      }
    }
    if (All != 255) Written.store(true, std::memory_order_relaxed);
  });
  return Written.load();
}

bool QxMirroredFadeInto(TQxBitmap* Src, TQxBitmap* B, const std::vector<uint8_t>& Cut, bool Horizontal,
                        bool MarkTransparent, const std::function<void(int32_t)>& RowDone) {
  const int32_t W = B->Width(), H = B->Height();
  if (W <= 0 || H <= 0 || Src->Width() != W || Src->Height() != H) return false;
  bool Readable = true;
  TQxBitmap* SA = AlphaOf(Src, W, H, Readable);
  if (!Readable || Cut.size() != size_t(Horizontal ? W : H)) return false;
  auto A = std::make_unique<TQxBitmap>();
  if (!A->AllocateRowTable(W, H, TQxPixelFormat::qx8g)) return false;
  // What each row will hold; the rows of the channel's own go in one block.
  enum : uint8_t { kOwn, kLent, kShared };
  std::vector<uint8_t> Kind(size_t(H), kOwn);
  int32_t Lo = H, Hi = -1;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t c = Horizontal ? 0 : Cut[size_t(y)];
    if (!SA || c == 255) {
      Kind[size_t(y)] = kShared;
    } else if (!Horizontal && c == 0) {
      Kind[size_t(y)] = kLent;
    } else {
      Lo = std::min(Lo, y);
      Hi = std::max(Hi, y);
    }
  }
  if (Hi >= Lo && !A->OwnRows(Lo, Hi + 1)) return false;
  const uint8_t Zero = 0;
  std::shared_ptr<uint8_t[]> Clear, Alike;
  std::map<uint8_t, std::shared_ptr<uint8_t[]>> Constant;
  if (Horizontal && !SA) {
    // Without an alpha channel of its own the picture is opaque: a column side's rows are all alike.
    std::vector<uint8_t> Values(static_cast<size_t>(W));
    for (int32_t x = 0; x < W; ++x) Values[size_t(x)] = uint8_t(255 - Cut[size_t(x)]);
    Alike = TQxBitmap::MakeConstantRow(A->RowLen(), W, Values.data(), W);
  }
  for (int32_t y = 0; y < H; ++y) {
    if (Kind[size_t(y)] == kLent) {
      // A picture that cannot lend its rows has them copied (lowered by nothing).
      if (!A->LendRow(y, SA, H - 1 - y)) {
        Kind[size_t(y)] = kOwn;
        A->Scanline(y);
      }
    } else if (Kind[size_t(y)] == kShared) {
      if (Alike) {
        A->ShareRow(y, Alike);
      } else if (Cut[size_t(y)] == 255) {
        if (!Clear) Clear = TQxBitmap::MakeConstantRow(A->RowLen(), W, &Zero, 1);
        A->ShareRow(y, Clear);
      } else {
        const uint8_t v = uint8_t(255 - Cut[size_t(y)]);
        auto& R = Constant[v];
        if (!R) R = TQxBitmap::MakeConstantRow(A->RowLen(), W, &v, 1);
        A->ShareRow(y, R);
      }
    }
  }
  B->SetAlphaChannel(std::move(A));
  TQxBitmap* AA = B->GetAlphaChannel();
  std::atomic<bool> Written{false};
  ParallelBands(0, H, 64, [&](int32_t First, int32_t Last) {
    uint8_t All = 255;
    std::vector<uint8_t> Reversed(Horizontal && SA ? size_t(W) : 0);
    for (int32_t y = First; y < Last; ++y) {
      if (Kind[size_t(y)] != kOwn) {
        All &= QxAndOfRow(AA->ScanlineToRead(y), W);
      } else if (Horizontal) {
        MirrorAlphaRow(SA->ScanlineToRead(y), Reversed.data(), W, true);
        All &= QxLowerRowByColumn(Reversed.data(), AA->Scanline(y), W, Cut.data());
      } else {
        All &= QxLowerRow(SA->ScanlineToRead(H - 1 - y), AA->Scanline(y), W, Cut[size_t(y)]);
      }
      if (RowDone) RowDone(y);
    }
    if (All != 255) Written.store(true, std::memory_order_relaxed);
  });
  // The picture's own flag, or set for a channel made fresh, then cleared where the ramp marks it.
  AA->Opaque = SA ? SA->Opaque : true;
  if (MarkTransparent || Written.load()) AA->Opaque = false;
  return true;
}

bool QxBlendedMirrorInto(TQxBitmap* Src, TQxBitmap* Dst, const std::vector<uint8_t>& Cut, bool Horizontal, bool Gray,
                         TColor Background, bool MarkTransparent) {
  const int32_t W = Src->Width(), H = Src->Height();
  if (!Is24(Src) || W <= 0 || H <= 0 || Src->MapsRows() || Dst->Location() == TQxLocation::qxFile) return false;
  if (!Is24(Dst) || Dst->Width() != W || Dst->Height() != H)
    if (!Dst->AllocateUninitialised(W, H, TQxPixelFormat::qx24RGB)) return false;
  if (Dst->MapsRows()) return false;
  Dst->Opaque = Src->Opaque;
  const TQxRGB Bg = QxTColorToRGB(Background);
  const uint8_t Onto[3] = {Bg.b, Bg.g, Bg.r};
  WillWriteEveryRow(Dst);
  // Each row is mirrored and blended while it is at hand, once its faded alpha is in.
  return QxMirroredFadeInto(Src, Dst, Cut, Horizontal, MarkTransparent, [&](int32_t y) {
    uint8_t* d = Dst->Scanline(y);
    MirrorRow(Src->ScanlineToRead(Horizontal ? y : H - 1 - y), d, W, Horizontal, Gray);
    QxBlendRowOntoColor(d, Dst->GetAlphaChannel()->ScanlineToRead(y), W, Onto);
  });
}

bool QxPlaceOnCanvas(TQxBitmap* Src, TQxBitmap* B, int32_t NW, int32_t NH, int32_t OX, int32_t OY,
                     const uint8_t FillColour[3], const uint8_t* Onto) {
  const int32_t W = Src->Width(), H = Src->Height();
  if (!Is24(Src) || Src->IsEmpty() || Src->MapsRows() || NW < W || NH < H || OX < 0 || OY < 0 || OX > NW - W ||
      OY > NH - H)
    return false;
  bool Readable = true;
  TQxBitmap* SA = AlphaOf(Src, W, H, Readable);
  if (!Readable) return false;
  const bool FileBacked = B->Location() == TQxLocation::qxFile && !B->HasRowTable();
  if (FileBacked && !B->IsEmpty()) return false;
  // Blended onto a colour, the new area takes that colour too.
  uint8_t Fill[3];
  std::memcpy(Fill, Onto ? Onto : FillColour, 3);
  if (NW == W && Src->CanLendRows() && (!SA || SA->CanLendRows()) && LendCanvasRows(B, Src, SA, NH, OY, Fill, Onto))
    return true;
  if (FileBacked) return false;
  // A canvas that grows only in width, of a picture without alpha channel: every alpha row is alike, one
  // row shared by all.
  const bool AlikeAlpha = !SA && OY == 0 && NH == H;
  if (!Is24(B) || B->Width() != NW || B->Height() != NH || B->IsEmpty()) {
    // The alpha channel is kept aside and sized anew too, rather than freed and made again filled.
    std::unique_ptr<TQxBitmap> OldAlpha = B->SetAlphaChannel(nullptr);
    B->AllocateUninitialised(NW, NH, TQxPixelFormat::qx24RGB);
    if (B->IsEmpty() || B->MapsRows()) return false;
    if (OldAlpha && !AlikeAlpha && OldAlpha->AllocateUninitialised(NW, NH, TQxPixelFormat::qx8g))
      B->SetAlphaChannel(std::move(OldAlpha));
  }
  std::shared_ptr<uint8_t[]> Alike;
  if (AlikeAlpha) {
    auto A = std::make_unique<TQxBitmap>();
    if (A->AllocateRowTable(NW, NH, TQxPixelFormat::qx8g)) {
      std::vector<uint8_t> Values(static_cast<size_t>(NW), 0);
      std::memset(Values.data() + OX, 255, size_t(W));
      Alike = TQxBitmap::MakeConstantRow(A->RowLen(), NW, Values.data(), NW);
      for (int32_t y = 0; y < NH; ++y) A->ShareRow(y, Alike);
      B->SetAlphaChannel(std::move(A));
    }
  }
  // Every value of the channel is written below.
  if (!B->HasAlphaChannel()) B->SetAlphaChannel(TQxBitmap::CreateAlpha(NW, NH, B->Location(), false));
  TQxBitmap* BA = B->GetAlphaChannel();
  if (!BA || BA->Width() != NW || BA->Height() != NH || BA->MapsRows() || BA->PixelFormat() != TQxPixelFormat::qx8g)
    return false;
  WillWriteEveryRow(B);
  if (!Alike) WillWriteEveryRow(BA);
  std::vector<uint8_t> FillRow(size_t(NW) * 3);
  for (int32_t x = 0; x < NW; ++x) std::memcpy(FillRow.data() + size_t(x) * 3, Fill, 3);

  const size_t Left = size_t(OX) * 3, Mid = size_t(W) * 3, RowBytes = size_t(NW) * 3;
  ParallelBands(0, NH, 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      uint8_t* Row = B->Scanline(y);
      const int32_t From = y - OY;
      if (Alike) {
        std::memcpy(Row, FillRow.data(), Left);
        std::memcpy(Row + Left, Src->ScanlineToRead(From), Mid);
        std::memcpy(Row + Left + Mid, FillRow.data(), RowBytes - Left - Mid);
        if (Onto) QxBlendRowOntoColor(Row + Left, Alike.get() + OX, W, Onto);
        continue;
      }
      uint8_t* ARow = BA->Scanline(y);
      if (From < 0 || From >= H) {
        std::memcpy(Row, FillRow.data(), RowBytes);
        std::memset(ARow, 0, size_t(NW));
        continue;
      }
      std::memcpy(Row, FillRow.data(), Left);
      std::memcpy(Row + Left, Src->ScanlineToRead(From), Mid);
      std::memcpy(Row + Left + Mid, FillRow.data(), RowBytes - Left - Mid);
      std::memset(ARow, 0, size_t(OX));
      if (SA)
        std::memcpy(ARow + OX, SA->ScanlineToRead(From), size_t(W));
      else
        std::memset(ARow + OX, 255, size_t(W));
      std::memset(ARow + OX + W, 0, size_t(NW - OX - W));
      if (Onto) QxBlendRowOntoColor(Row + Left, ARow + OX, W, Onto);
    }
  });
  B->Opaque = false;
  BA->Opaque = false;
  return true;
}

void QxBlendOntoColor(TQxBitmap* Bitmap, TColor Color) {
  if (!Bitmap->HasAlphaChannel() || !Is24(Bitmap)) return;
  const TQxRGB Bg = QxTColorToRGB(Color);
  const uint8_t Comp[3] = {Bg.b, Bg.g, Bg.r};
  TQxBitmap* Alpha = Bitmap->GetAlphaChannel();
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const bool Mapped = Bitmap->MapsRows() || Alpha->MapsRows();
  // A clear pixel takes the background, an opaque one loses a little towards it, as the blend always did.
  ParallelBands(0, H, Mapped ? INT32_MAX : 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) QxBlendRowOntoColor(Bitmap->Scanline(y), Alpha->Scanline(y), W, Comp);
  });
}
