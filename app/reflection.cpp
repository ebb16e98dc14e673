#include "app/reflection.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <unistd.h>

#include "app/reflection_rows.h"
#include "imaging/codecs/psd.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/wave.h"
#include "imaging/view/layer.h"
#include "imaging/view/merged_rows.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/base/files.h"
#include "platform/base/lists.h"
#include "platform/base/numeric.h"
#include "platform/base/parallel.h"
#include "platform/base/streams.h"
#include "platform/base/strings.h"

namespace {

int32_t ClampByte(long double V) {
  const auto R = static_cast<int64_t>(std::nearbyint(V));
  return static_cast<int32_t>(std::clamp<int64_t>(R, 0, 255));
}

TQxBitmap* SourceBitmap(TQuillotView* Source) { return Source->GetLayer(0)->Bitmap; }

// A step about to write every row of B: rows lent by the picture or shared are not copied first, the
// step takes a block of its own instead.
void WillWriteEveryRow(TQxBitmap* B) {
  if (B && B->HasRowTable()) B->OwnRows(0, B->Height());
}

// While a rebuild runs the view neither lays out nor paints: the processing steps ask for a repaint after
// each one, which would show a mirror not yet faded (and compose the whole picture several times). The
// window keeps the last finished picture until the one update at the end.
class TRebuildLock {
 public:
  explicit TRebuildLock(TQuillotView* View) : FView(View) {
    FView->IncUpdateLock();
    FView->IncPaintLock();
  }
  ~TRebuildLock() {
    FView->DecPaintLock();
    FView->DecUpdateLockAndUpdate();
  }
  TRebuildLock(const TRebuildLock&) = delete;
  TRebuildLock& operator=(const TRebuildLock&) = delete;

 private:
  TQuillotView* FView;
};

// A layer that is not 24-bit but carries a fade (a black-and-white reflection is 1 bit per pixel) would
// lose it when flattened, so it becomes 24-bit first.
void FlattenCurrent(TQuillotView* View, TColor Background) {
  TQxBitmap* B = View->CurrentBitmap();
  if (B->HasAlphaChannel() && B->PixelFormat() != TQxPixelFormat::qx24RGB && !B->IsEmpty())
    B->SetPixelFormat(TQxPixelFormat::qx24RGB);
  BlendOntoColor(B, Background);
}

}  // namespace

namespace {

// What the last build of a view put into its reflection layer, so that a change of one setting redoes only
// what depends on it: the colours (mirror, colour mode, wave) and the fade (the mirrored alpha channel less
// the ramp) are made apart unless the alpha channel is removed, which blends the fade into the colours.
// A record holds while the layer and the picture are the very blocks it names.
struct TColourKey {
  bool Horizontal = false;
  int32_t ColorMode = 0;
  bool WaveOn = false;
  int32_t Amplitude = 0, WaveLength = 0, Phase = 0;
  bool operator==(const TColourKey&) const = default;
};

struct TRampKey {
  int32_t Side = 0, StartOpacity = 0, EndOpacity = 0, SizePercent = 0;
  bool operator==(const TRampKey&) const = default;
};

struct TBuiltReflection {
  int32_t Layer = -1;
  TQxBitmap* Layered = nullptr;  // the layer's bitmap and its blocks
  const uint8_t* Rows = nullptr;
  TQxBitmap* Alpha = nullptr;
  const uint8_t* AlphaRows = nullptr;
  TQxPixelFormat Format = TQxPixelFormat::qxInvalid;
  int32_t Width = 0, Height = 0;
  TQxBitmap* Picture = nullptr;  // the source picture and its blocks
  const uint8_t* PictureRows = nullptr;
  const uint8_t* PictureAlphaRows = nullptr;
  int32_t PictureWidth = 0, PictureHeight = 0;
  TColourKey Colour;
  TRampKey Ramp;
  bool Blended = false;  // the fade went into the colours
};

std::map<const TQuillotView*, TBuiltReflection>& BuiltReflections() {
  static std::map<const TQuillotView*, TBuiltReflection> M;
  return M;
}

TColourKey ColourKeyOf(const TReflectionSettings& S) {
  TColourKey K;
  K.Horizontal = S.Side == qxSideLeft || S.Side == qxSideRight;
  K.ColorMode = S.ColorMode;
  K.WaveOn = S.WaveOn;
  if (S.WaveOn) K.Amplitude = S.Amplitude, K.WaveLength = S.WaveLength, K.Phase = S.Phase;
  return K;
}

TRampKey RampKeyOf(const TReflectionSettings& S) {
  return TRampKey{S.Side, S.StartOpacity(), S.EndOpacity(), S.SizePercent};
}

const uint8_t* FirstRow(TQxBitmap* B) {
  return B && !B->IsEmpty() && !B->MapsRows() ? B->ScanlineToRead(0) : nullptr;
}

// The blocks a record names, as they stand now.
TBuiltReflection Identity(TQuillotView* View, TQuillotView* Source, int32_t Layer) {
  TBuiltReflection R;
  if (Layer < 0 || Layer >= View->LayerCount()) return R;
  TQxBitmap* B = View->GetLayer(Layer)->Bitmap;
  TQxBitmap* P = SourceBitmap(Source);
  R.Layer = Layer;
  R.Layered = B;
  R.Rows = FirstRow(B);
  R.Alpha = B->HasAlphaChannel() ? B->GetAlphaChannel() : nullptr;
  R.AlphaRows = FirstRow(R.Alpha);
  R.Format = B->PixelFormat();
  R.Width = B->Width();
  R.Height = B->Height();
  R.Picture = P;
  R.PictureRows = FirstRow(P);
  R.PictureAlphaRows = P->HasAlphaChannel() ? FirstRow(P->GetAlphaChannel()) : nullptr;
  R.PictureWidth = P->Width();
  R.PictureHeight = P->Height();
  return R;
}

bool SameBlocks(const TBuiltReflection& A, const TBuiltReflection& B) {
  return A.Layer == B.Layer && A.Layered == B.Layered && A.Rows == B.Rows && A.Alpha == B.Alpha &&
         A.AlphaRows == B.AlphaRows && A.Format == B.Format && A.Width == B.Width && A.Height == B.Height &&
         A.Picture == B.Picture && A.PictureRows == B.PictureRows && A.PictureAlphaRows == B.PictureAlphaRows &&
         A.PictureWidth == B.PictureWidth && A.PictureHeight == B.PictureHeight && A.Rows && A.PictureRows;
}

void Remember(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  TBuiltReflection R = Identity(View, Source, Layer);
  R.Colour = ColourKeyOf(S);
  R.Ramp = RampKeyOf(S);
  R.Blended = S.RemoveAlpha;
  if (R.Rows && R.PictureRows) BuiltReflections()[View] = R;
}

void Forget(TQuillotView* View) { BuiltReflections().erase(View); }

// The record of the view's reflection when it still describes the layer; nullptr otherwise.
const TBuiltReflection* Recall(TQuillotView* View, TQuillotView* Source, int32_t Layer) {
  auto It = BuiltReflections().find(View);
  if (It == BuiltReflections().end()) return nullptr;
  if (!SameBlocks(It->second, Identity(View, Source, Layer))) {
    BuiltReflections().erase(It);
    return nullptr;
  }
  return &It->second;
}

}  // namespace

void ResetLayers(TQuillotView* View) {
  Forget(View);
  for (int32_t i = View->LayerCount() - 1; i >= 1; --i) View->RemoveLayer(i);
  View->SetCurrentLayer(0);
  // Layer 0 is rebuilt from the new picture at once, so its old pixels are let go rather than filled, and
  // the reflection layer added next starts empty instead of as a cleared copy of the old canvas's size.
  View->CurrentBitmap()->FreeImage(true);
  View->ClearImage();
}

int32_t AddReflectionLayer(TQuillotView* View) {
  Forget(View);
  const int32_t Index = View->AddLayer();
  View->GetLayer(Index)->Locked = true;
  return Index;
}

bool LoadSourceImage(TQuillot* Source, const std::string& FileName) {
  // A new picture may land in the very blocks of the last one.
  BuiltReflections().clear();
  Source->SetCurrentLayer(0);
  TQxBitmap* B = Source->CurrentBitmap();
  B->FreeImage(true);
  // The picture goes into a block of its own rather than a platform bitmap, so that the view's layers can
  // borrow its rows.
  Source->SetLegacyBitmap(false);
  TQuillotIO* IO = Source->GetIO();
  IO->Aborting = false;
  try {
    IO->LoadFromFile(FileName);
  } catch (...) {
    B->FreeImage(true);
    return false;
  }
  if (IO->Aborting || B->IsEmpty()) {
    B->FreeImage(true);
    return false;
  }
  return true;
}

void RestoreBaseLayer(TQuillotView* View, TQuillotView* Source) {
  View->SetCurrentLayer(0);
  View->AssignFrom(Source);
}

namespace {

// The canvas size EnlargeCanvas gives and where the picture sits in it; false when it keeps the picture's
// own size.
bool EnlargedCanvas(int32_t W, int32_t H, int32_t Side, int32_t Space, int32_t& NW, int32_t& NH, int32_t& OX,
                    int32_t& OY) {
  int64_t w = W, h = H;
  OX = OY = 0;
  switch (Side) {
    case qxSideLeft: w = 2 * int64_t(W) + Space; OX = int32_t(std::max<int64_t>(0, w - W)); break;
    case qxSideTop: h = 2 * int64_t(H) + Space; OY = int32_t(std::max<int64_t>(0, h - H)); break;
    case qxSideRight: w = 2 * int64_t(W) + Space; break;
    case qxSideBottom: h = 2 * int64_t(H) + Space; break;
    default: return false;
  }
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX || (w == W && h == H)) return false;
  NW = int32_t(w);
  NH = int32_t(h);
  return true;
}

// Layer 0 of a top or bottom reflection holds the picture's rows where they lie, lent by the picture: the
// rows of the empty canvas are one shared row of the fill colour and one shared clear alpha row, and an
// opaque picture's alpha one shared opaque row. Blended onto a colour, the picture's rows are the layer's
// own. False, with the layer left empty, when the picture cannot lend its rows.
bool LendBaseRows(TQxBitmap* B, TQxBitmap* Src, TQxBitmap* SA, int32_t NH, int32_t OY, const uint8_t Fill[3],
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

// Steps 1 and 2 in one pass: the picture is copied straight into its place on the enlarged canvas, and a
// canvas of the right size is written over where it stands instead of being freed and taken again. Only
// for a 24-bit picture whose canvas grows; false leaves the work to the two steps. A canvas that only
// grows in height takes the picture's rows as they are (LendBaseRows).
// With BlendOnto the picture is blended onto that colour in the same pass, as flattening it would (the
// new area, clear, takes the colour itself).
bool RestoreEnlargedInOnePass(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space,
                              const TColor* BlendOnto) {
  TQxBitmap* Src = SourceBitmap(Source);
  const int32_t W = Src->Width(), H = Src->Height();
  int32_t NW = 0, NH = 0, OX = 0, OY = 0;
  if (Src->PixelFormat() != TQxPixelFormat::qx24RGB || Src->IsEmpty() || Src->MapsRows() ||
      !EnlargedCanvas(W, H, Side, Space, NW, NH, OX, OY) || NW < W || NH < H)
    return false;
  TQxBitmap* SA = Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  if (SA && (SA->MapsRows() || SA->Width() != W || SA->Height() != H || SA->PixelFormat() != TQxPixelFormat::qx8g))
    return false;
  View->SetCurrentLayer(0);
  TQxBitmap* B = View->CurrentBitmap();
  const bool FileBacked = B->Location() == TQxLocation::qxFile && !B->HasRowTable();
  if (FileBacked && !B->IsEmpty()) return false;

  // The view takes the source's background and resolution, as the copy does; the new area is filled
  // with that background, fully transparent, as the canvas enlargement fills it.
  View->StoreBackground(Source->Background());
  View->SetDpi(Source->DpiX(), Source->DpiY());
  TQxBitmap One;
  One.Allocate(1, 1, TQxPixelFormat::qx24RGB);
  One.FillRect(0, 0, 0, 0, double(View->GetProc()->Background()));
  uint8_t Fill[3];
  std::memcpy(Fill, One.Scanline(0), 3);
  uint8_t Onto[3] = {};
  if (BlendOnto) {
    const TQxRGB Bg = QxTColorToRGB(*BlendOnto);
    Onto[0] = Bg.b, Onto[1] = Bg.g, Onto[2] = Bg.r;
    std::memcpy(Fill, Onto, 3);
  }
  if (NW == W && Src->CanLendRows() && (!SA || SA->CanLendRows()) && LendBaseRows(B, Src, SA, NH, OY, Fill, BlendOnto ? Onto : nullptr)) return true;

  if (FileBacked) return false;
  // A canvas that grows only in width, of a picture without alpha channel: every alpha row is alike, one
  // row shared by all.
  const bool AlikeAlpha = !SA && OY == 0 && NH == H;
  if (B->PixelFormat() != TQxPixelFormat::qx24RGB || B->Width() != NW || B->Height() != NH || B->IsEmpty()) {
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
  if (!BA || BA->Width() != NW || BA->Height() != NH || BA->MapsRows() ||
      BA->PixelFormat() != TQxPixelFormat::qx8g)
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
        if (BlendOnto) QxBlendRowOntoColor(Row + Left, Alike.get() + OX, W, Onto);
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
      if (BlendOnto) QxBlendRowOntoColor(Row + Left, ARow + OX, W, Onto);
    }
  });
  B->Opaque = false;
  BA->Opaque = false;
  return true;
}

// Steps 1 and 2, and with the alpha channel removed step 8 for the base layer when it can go in the same
// pass; true when it did.
bool RestoreEnlarged(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space,
                     const TReflectionSettings* Flatten = nullptr) {
  const TColor* Onto = Flatten && Flatten->RemoveAlpha ? &Flatten->Background : nullptr;
  if (RestoreEnlargedInOnePass(View, Source, Side, Space, Onto)) return Onto != nullptr;
  RestoreBaseLayer(View, Source);
  EnlargeCanvas(View, Source, Side, Space);
  return false;
}

// Step 8 for the layers below the reflection, all but the base layer when it was flattened already.
void FlattenBelow(TQuillotView* View, TColor Background, int32_t Count, bool KeepAlpha, bool BaseDone) {
  if (!BaseDone) {
    FlattenBaseLayers(View, Background, Count, KeepAlpha);
    return;
  }
  View->SetEnableAlphaChannel(KeepAlpha);
  if (KeepAlpha) return;
  for (int32_t i = 1; i < Count; ++i) {
    View->SetCurrentLayer(i);
    FlattenCurrent(View, Background);
  }
}

}  // namespace

void EnlargeCanvas(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space) {
  TQxBitmap* Src = SourceBitmap(Source);
  const int64_t W = Src->Width(), H = Src->Height();
  int64_t NW = W, NH = H;
  uint8_t Align = 0;
  switch (Side) {
    case qxSideLeft: NW = 2 * W + Space; Align = 2; break;
    case qxSideTop: NH = 2 * H + Space; Align = 2; break;
    case qxSideRight: NW = 2 * W + Space; break;
    case qxSideBottom: NH = 2 * H + Space; break;
    default: return;
  }
  // A space that leaves no canvas keeps the picture at its own size.
  if (NW <= 0 || NH <= 0 || NW > INT32_MAX || NH > INT32_MAX) return;
  View->SetCurrentLayer(0);
  View->GetProc()->ImageResize(int32_t(NW), int32_t(NH), Align, Align, 0);
}

void PlaceReflectionLayer(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space, int32_t Layer) {
  if (Layer < 0) return;
  TQxBitmap* Src = SourceBitmap(Source);
  const int32_t W = Src->Width(), H = Src->Height();
  TQxLayer* L = View->GetLayer(Layer);
  L->PosX = Side == qxSideRight ? W + Space : 0;
  L->PosY = Side == qxSideBottom ? H + Space : 0;
  L->Width = W;
  L->Height = H;
}

namespace {

// A rebuild finds the reflection layer as the last one left it: when it already has the picture's size
// and format, the mirror is copied into its rows in one pass, without freeing and faulting in a fresh
// block and flipping it afterwards. False when the general copy and flip must run.
// Without Colour only the alpha channel is mirrored, for a step that then writes every colour itself;
// without Alpha the layer's alpha channel is left as it stands, for a change that keeps the fade.
// With Gray the colours go in as the colour mode's gray, in the same pass.
bool MirrorInPlace(TQxBitmap* Src, TQxBitmap* Dst, bool Horizontal, bool Colour = true, bool Alpha = true,
                   bool Gray = false) {
  const int32_t W = Src->Width(), H = Src->Height();
  // A layer of another size (the first build of a picture) is sized without being filled first: every
  // pixel is written below.
  if (Src->PixelFormat() == TQxPixelFormat::qx24RGB && W > 0 && H > 0 && !Src->MapsRows() &&
      Dst->Location() != TQxLocation::qxFile &&
      (Dst->PixelFormat() != TQxPixelFormat::qx24RGB || Dst->Width() != W || Dst->Height() != H)) {
    if (!Dst->AllocateUninitialised(W, H, TQxPixelFormat::qx24RGB)) return false;
    if (Src->HasAlphaChannel()) Dst->SetAlphaChannel(TQxBitmap::CreateAlpha(W, H, Dst->Location(), false));
  }
  if (Src->PixelFormat() != TQxPixelFormat::qx24RGB || Dst->PixelFormat() != TQxPixelFormat::qx24RGB ||
      Dst->Width() != W || Dst->Height() != H || W <= 0 || H <= 0 || Src->MapsRows() || Dst->MapsRows())
    return false;
  TQxBitmap* SA = Alpha && Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  TQxBitmap* DA = nullptr;
  if (SA) {
    if (!Dst->HasAlphaChannel() || SA->MapsRows()) return false;
    DA = Dst->GetAlphaChannel();
    if (DA->Width() != W || DA->Height() != H || DA->MapsRows()) return false;
    DA->Opaque = SA->Opaque;
  } else if (Alpha) {
    Dst->RemoveAlphaChannel(false);
  }
  Dst->Opaque = Src->Opaque;
  if (Colour) WillWriteEveryRow(Dst);
  WillWriteEveryRow(DA);
  const int32_t WR = QxGrayWeightRed, WG = QxGrayWeightGreen, WB = QxGrayWeightBlue;
  ParallelBands(0, H, 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      const int32_t From = Horizontal ? y : H - 1 - y;
      if (Gray && Colour) {
        const uint8_t* s = Src->ScanlineToRead(From);
        uint8_t* d = Dst->Scanline(y);
        for (int32_t x = 0; x < W; ++x) {
          const uint8_t* p = s + size_t(Horizontal ? W - 1 - x : x) * 3;
          const auto g = uint8_t((p[2] * WR + p[1] * WG + p[0] * WB) / 100);
          d[size_t(x) * 3] = d[size_t(x) * 3 + 1] = d[size_t(x) * 3 + 2] = g;
        }
        if (DA) {
          const uint8_t* sa = SA->ScanlineToRead(From);
          uint8_t* da = DA->Scanline(y);
          if (Horizontal)
            for (int32_t x = 0; x < W; ++x) da[x] = sa[W - 1 - x];
          else
            std::memcpy(da, sa, size_t(W));
        }
        continue;
      }
      if (Horizontal) {
        if (Colour) {
          const uint8_t* s = Src->ScanlineToRead(From);
          uint8_t* d = Dst->Scanline(y);
          for (int32_t x = 0; x < W; ++x) std::memcpy(d + size_t(x) * 3, s + size_t(W - 1 - x) * 3, 3);
        }
        if (DA) {
          const uint8_t* sa = SA->ScanlineToRead(From);
          uint8_t* da = DA->Scanline(y);
          for (int32_t x = 0; x < W; ++x) da[x] = sa[W - 1 - x];
        }
      } else {
        if (Colour) std::memcpy(Dst->Scanline(y), Src->ScanlineToRead(From), size_t(W) * 3);
        if (DA) std::memcpy(DA->Scanline(y), SA->ScanlineToRead(From), size_t(W));
      }
    }
  });
  return true;
}

// Steps 4 and 6 together for a colourful reflection: the wave reads the picture's rows in mirrored order
// where they stand, so the mirror is neither copied into the layer nor copied again for the wave.
bool MirroredWaveInOnePass(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer,
                           bool Alpha = true) {
  if (Layer < 0 || !S.WaveOn || S.ColorMode != qxColorful || S.Amplitude == 0 || S.WaveLength == 0) return false;
  TQxBitmap* Src = SourceBitmap(Source);
  View->SetCurrentLayer(Layer);
  TQxBitmap* Dst = View->CurrentBitmap();
  const bool Horizontal = S.Side == qxSideLeft || S.Side == qxSideRight;
  if (!MirrorInPlace(Src, Dst, Horizontal, false, Alpha)) return false;
  const int32_t H = Src->Height();
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) Rows[size_t(y)] = Src->ScanlineToRead(Horizontal ? y : H - 1 - y);
  TQxProgressInfo Progress;
  WillWriteEveryRow(Dst);
  if (QxWaveFromRows(Rows, Horizontal, Dst, S.Amplitude, S.WaveLength, S.Phase, false, Progress)) return true;
  // Not drawn: the layer has only its alpha channel so far, so the steps run one by one.
  return false;
}

void MirrorInColorMode(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t ColorMode, int32_t Layer);
bool MakeBlendedReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S,
                           const TRampKey& Ramp, int32_t Layer);

}  // namespace

void MirrorIntoLayer(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Layer) {
  if (Layer < 0) return;
  View->SetCurrentLayer(Layer);
  const bool Horizontal = Side == qxSideLeft || Side == qxSideRight;
  if (MirrorInPlace(SourceBitmap(Source), View->CurrentBitmap(), Horizontal)) return;
  View->CurrentBitmap()->AssignFrom(SourceBitmap(Source));
  View->GetProc()->Flip(Horizontal ? 0 : 1);
}

void ApplyColorMode(TQuillotView* View, int32_t ColorMode, int32_t Layer) {
  if (Layer < 0) return;
  View->SetCurrentLayer(Layer);
  if (ColorMode == qxGray)
    View->GetProc()->ConvertToGray();
  else if (ColorMode == qxBlackWhite)
    View->GetProc()->ConvertToBWOrdered();
}

namespace {

// Steps 4 and 5: a gray reflection is mirrored and made gray in one pass.
void MirrorInColorMode(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t ColorMode, int32_t Layer) {
  if (Layer < 0) return;
  View->SetCurrentLayer(Layer);
  const bool Horizontal = Side == qxSideLeft || Side == qxSideRight;
  if (ColorMode == qxGray && MirrorInPlace(SourceBitmap(Source), View->CurrentBitmap(), Horizontal, true, true, true))
    return;
  MirrorIntoLayer(View, Source, Side, Layer);
  ApplyColorMode(View, ColorMode, Layer);
}

}  // namespace

void ApplyWave(TQuillotView* View, int32_t Amplitude, int32_t WaveLength, bool WaveOn, int32_t Layer, int32_t Phase) {
  if (Layer < 0) return;
  View->SetCurrentLayer(Layer);
  if (WaveOn) View->GetProc()->Wave(Amplitude, WaveLength, Phase, false);
}

void RampLayer(TQuillotView* View, int32_t StartOpacity, int32_t EndOpacity, int32_t Layer, int32_t SizePercent,
               int32_t Side) {
  if (Layer < 0) return;
  View->SetCurrentLayer(Layer);
  ApplyTransparencyRamp(View, StartOpacity, EndOpacity, Side, SizePercent);
}

namespace {

// How much the ramp takes off each line's alpha, in line order (255 clears the line). Worked out in the
// ramp's visiting order: its running value depends on it.
std::vector<uint8_t> RampCuts(int32_t N, int32_t StartOpacity, int32_t EndOpacity, int32_t Side, int32_t P) {
  const double Step = (N == 0 || P == 0) ? 0.0 : double(StartOpacity - EndOpacity) / (double(N) * P / 100.0);
  double G = StartOpacity + Step;
  const bool FromFar = Side == qxSideLeft || Side == qxSideTop;  // visited from line N-1 down to 0
  const int32_t T = FromFar ? int32_t(std::nearbyint((long double)((100 - P) * N) / 100.0L))
                            : int32_t(std::nearbyint((long double)(P * N) / 100.0L));
  std::vector<uint8_t> Cut(size_t(N), 255);
  for (int32_t k = 0; k < N; ++k) {
    const int32_t Line = FromFar ? N - 1 - k : k;
    const bool InRamp = FromFar ? Line >= T : Line <= T;
    if (!InRamp) continue;
    G -= Step;
    Cut[size_t(Line)] = uint8_t(255 - ClampByte(G));
  }
  return Cut;
}

// The row kernels under their short names.
uint8_t LowerRow(const uint8_t* In, uint8_t* Out, int32_t W, uint8_t Cut) { return QxLowerRow(In, Out, W, Cut); }
uint8_t LowerRowByColumn(const uint8_t* In, uint8_t* Out, int32_t W, const uint8_t* Cut) {
  return QxLowerRowByColumn(In, Out, W, Cut);
}
uint8_t AndOfRow(const uint8_t* In, int32_t W) { return QxAndOfRow(In, W); }

}  // namespace

void ApplyTransparencyRamp(TQuillotView* View, int32_t StartOpacity, int32_t EndOpacity, int32_t Side,
                           int32_t SizePercent) {
  TQxBitmap* B = View->CurrentBitmap();
  const bool Horizontal = Side == qxSideLeft || Side == qxSideRight;
  const int32_t W = B->Width(), H = B->Height();
  const int32_t N = Horizontal ? W : H;
  TQxBitmap* Alpha = B->GetAlphaChannel();
  if (W <= 0 || H <= 0 || !Alpha) {
    View->UpdateView();
    return;
  }
  const std::vector<uint8_t> Cut = RampCuts(N, StartOpacity, EndOpacity, Side, SizePercent);
  // Then the channel row by row; a column side takes each pixel's cut from its column.
  std::atomic<bool> Written{false};  // a value other than 255 went in
  const bool Mapped = Alpha->MapsRows();
  ParallelBands(0, H, Mapped ? INT32_MAX : 64, [&](int32_t First, int32_t Last) {
    uint8_t All = 255;
    for (int32_t y = First; y < Last; ++y) {
      uint8_t* Row = Alpha->Scanline(y);
      if (Horizontal) {
        All &= LowerRowByColumn(Row, Row, W, Cut.data());
        continue;
      }
      const uint8_t c = Cut[size_t(y)];
      if (c == 0) {
        All &= AndOfRow(Row, W);
      } else if (c == 255) {
        std::memset(Row, 0, size_t(W));
        All = 0;
      } else {
        All &= LowerRow(Row, Row, W, c);
      }
    }
    if (All != 255) Written.store(true, std::memory_order_relaxed);
  });
  // The bottom side always marks the channel; the others only when they wrote something below 255.
  if (Side == qxSideBottom || Written.load()) Alpha->Opaque = false;
  View->UpdateView();
}

namespace {

bool MakeReflectionColours(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer);
bool MakeReflectionFade(TQuillotView* View, TQuillotView* Source, const TRampKey& S, int32_t Layer,
                        const std::function<void(int32_t)>& RowDone = nullptr);

// Steps 4 to 6 for a colourful top or bottom reflection without wave: its colours are the picture's rows
// in mirrored order, lent where they lie. The alpha channel is left as it stands. False when this does not
// apply or the picture cannot lend its rows.
bool LendReflectionColours(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0 || S.ColorMode != qxColorful || S.WaveOn || (S.Side != qxSideTop && S.Side != qxSideBottom))
    return false;
  TQxBitmap* Src = SourceBitmap(Source);
  const int32_t W = Src->Width(), H = Src->Height();
  if (Src->PixelFormat() != TQxPixelFormat::qx24RGB || W <= 0 || H <= 0 || !Src->CanLendRows()) return false;
  View->SetCurrentLayer(Layer);
  TQxBitmap* Dst = View->CurrentBitmap();
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

}  // namespace

void FlattenBaseLayers(TQuillotView* View, TColor Background, int32_t Count, bool KeepAlpha) {
  View->SetEnableAlphaChannel(KeepAlpha);
  if (KeepAlpha) return;
  for (int32_t i = 0; i < Count; ++i) {
    View->SetCurrentLayer(i);
    FlattenCurrent(View, Background);
  }
}

void FlattenReflectionLayer(TQuillotView* View, TColor Background, int32_t Layer, bool KeepAlpha) {
  View->SetEnableAlphaChannel(KeepAlpha);
  if (KeepAlpha || Layer < 0) return;
  View->SetCurrentLayer(Layer);
  FlattenCurrent(View, Background);
}

void BuildReflection(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t StartOpacity,
                     int32_t EndOpacity, int32_t SizePercent, int32_t Space, int32_t Amplitude, int32_t WaveLength,
                     int32_t Phase, int32_t ColorMode, TColor Background, int32_t Layer, bool WaveOn,
                     bool KeepAlpha) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  TReflectionSettings S;
  S.Background = Background;
  S.RemoveAlpha = !KeepAlpha;
  const bool BaseFlat = RestoreEnlarged(View, Source, Side, Space, &S);
  PlaceReflectionLayer(View, Source, Side, Space, Layer);
  S.Side = Side;
  S.ColorMode = ColorMode;
  S.WaveOn = WaveOn;
  S.Amplitude = Amplitude;
  S.WaveLength = WaveLength;
  S.Phase = Phase;
  S.SizePercent = SizePercent;
  // The opacities are given as they stand, not as transparencies.
  const TRampKey Ramp{Side, StartOpacity, EndOpacity, SizePercent};
  FlattenBelow(View, Background, Layer, KeepAlpha, BaseFlat);
  if (MakeBlendedReflection(View, Source, S, Ramp, Layer)) {
    View->SetEnableAlphaChannel(false);
  } else {
    // The colours and the fade apart, the fade mostly rows shared with the picture, when the alpha
    // channel is kept; else the steps one by one.
    if (!KeepAlpha || !MakeReflectionColours(View, Source, S, Layer) || !MakeReflectionFade(View, Source, Ramp, Layer)) {
      if (!MirroredWaveInOnePass(View, Source, S, Layer)) {
        MirrorInColorMode(View, Source, Side, ColorMode, Layer);
        ApplyWave(View, Amplitude, WaveLength, WaveOn, Layer, Phase);
      }
      RampLayer(View, StartOpacity, EndOpacity, Layer, SizePercent, Side);
    }
    FlattenReflectionLayer(View, Background, Layer, KeepAlpha);
  }
  Remember(View, Source, S, Layer);
  if (auto It = BuiltReflections().find(View); It != BuiltReflections().end()) It->second.Ramp = Ramp;
}

void BuildReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  BuildReflection(View, Source, S.Side, S.StartOpacity(), S.EndOpacity(), S.SizePercent, S.Space, S.Amplitude,
                  S.WaveLength, S.Phase, S.ColorMode, S.Background, Layer, S.WaveOn, !S.RemoveAlpha);
}

namespace {

// Steps 4 to 7: the reflection layer's own pixels.
void MakeReflectionPixels(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (!S.RemoveAlpha && MakeReflectionColours(View, Source, S, Layer) &&
      MakeReflectionFade(View, Source, RampKeyOf(S), Layer))
    return;
  if (!MirroredWaveInOnePass(View, Source, S, Layer)) {
    MirrorInColorMode(View, Source, S.Side, S.ColorMode, Layer);
    ApplyWave(View, S.Amplitude, S.WaveLength, S.WaveOn, Layer, S.Phase);
  }
  RampLayer(View, S.StartOpacity(), S.EndOpacity(), Layer, S.SizePercent, S.Side);
}

// Steps 4 to 6 without touching the alpha channel. False when the general steps must run.
bool MakeReflectionColours(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (LendReflectionColours(View, Source, S, Layer)) return true;
  View->SetCurrentLayer(Layer);
  if (S.WaveOn && S.ColorMode == qxColorful && S.Amplitude != 0 && S.WaveLength != 0)
    return MirroredWaveInOnePass(View, Source, S, Layer, false);
  const bool Horizontal = S.Side == qxSideLeft || S.Side == qxSideRight;
  const bool Gray = S.ColorMode == qxGray;
  if (!MirrorInPlace(SourceBitmap(Source), View->CurrentBitmap(), Horizontal, true, false, Gray)) return false;
  if (!Gray) ApplyColorMode(View, S.ColorMode, Layer);
  ApplyWave(View, S.Amplitude, S.WaveLength, S.WaveOn, Layer, S.Phase);
  return true;
}

// Step 7 from the picture's own alpha channel: mirrored and lowered by the ramp, the colours left as they
// are. The channel is a table of rows, and only the rows the ramp lowers are the layer's own: of a top or
// bottom reflection, a row the ramp leaves as it is borrows the picture's alpha row, a row it clears is one
// shared clear row, and without an alpha channel of the picture the rows of one value share one row; of a
// left or right reflection of a picture without alpha channel every row is alike and shared. False when
// the general steps must run.
// RowDone, when given, runs for each row once its alpha is in, on the same thread.
bool MakeReflectionFade(TQuillotView* View, TQuillotView* Source, const TRampKey& S, int32_t Layer,
                        const std::function<void(int32_t)>& RowDone) {
  View->SetCurrentLayer(Layer);
  TQxBitmap* B = View->CurrentBitmap();
  TQxBitmap* Src = SourceBitmap(Source);
  const int32_t W = B->Width(), H = B->Height();
  if (W <= 0 || H <= 0 || Src->Width() != W || Src->Height() != H) return false;
  TQxBitmap* SA = Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  if (SA && (SA->MapsRows() || SA->Width() != W || SA->Height() != H || SA->PixelFormat() != TQxPixelFormat::qx8g))
    return false;
  const bool Horizontal = S.Side == qxSideLeft || S.Side == qxSideRight;
  const std::vector<uint8_t> Cut =
      RampCuts(Horizontal ? W : H, S.StartOpacity, S.EndOpacity, S.Side, S.SizePercent);
  auto A = std::make_unique<TQxBitmap>();
  if (!A->AllocateRowTable(W, H, TQxPixelFormat::qx8g)) return false;
  // What each row will hold; the rows of the layer's own go in one block.
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
        All &= AndOfRow(AA->ScanlineToRead(y), W);
      } else if (Horizontal) {
        const uint8_t* In = SA->ScanlineToRead(y);
        for (int32_t x = 0; x < W; ++x) Reversed[size_t(x)] = In[W - 1 - x];
        All &= LowerRowByColumn(Reversed.data(), AA->Scanline(y), W, Cut.data());
      } else {
        All &= LowerRow(SA->ScanlineToRead(H - 1 - y), AA->Scanline(y), W, Cut[size_t(y)]);
      }
      if (RowDone) RowDone(y);
    }
    if (All != 255) Written.store(true, std::memory_order_relaxed);
  });
  // As a whole build leaves the flag: the picture's own, or set for a channel made fresh, then cleared
  // where the ramp marks it.
  AA->Opaque = SA ? SA->Opaque : true;
  if (S.Side == qxSideBottom || Written.load()) AA->Opaque = false;
  return true;
}

// Steps 4 to 7 and the reflection's part of step 8 in one pass, for a reflection without wave whose alpha
// channel is removed: each row is mirrored (made gray), faded and blended onto the background while it is
// at hand. False when the general steps must run.
bool MakeBlendedReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S,
                           const TRampKey& Ramp, int32_t Layer) {
  if (!S.RemoveAlpha || S.WaveOn || (S.ColorMode != qxColorful && S.ColorMode != qxGray)) return false;
  View->SetCurrentLayer(Layer);
  TQxBitmap* Src = SourceBitmap(Source);
  TQxBitmap* Dst = View->CurrentBitmap();
  const int32_t W = Src->Width(), H = Src->Height();
  if (Src->PixelFormat() != TQxPixelFormat::qx24RGB || W <= 0 || H <= 0 || Src->MapsRows() ||
      Dst->Location() == TQxLocation::qxFile)
    return false;
  if (Dst->PixelFormat() != TQxPixelFormat::qx24RGB || Dst->Width() != W || Dst->Height() != H)
    if (!Dst->AllocateUninitialised(W, H, TQxPixelFormat::qx24RGB)) return false;
  if (Dst->MapsRows()) return false;
  Dst->Opaque = Src->Opaque;
  const bool Horizontal = S.Side == qxSideLeft || S.Side == qxSideRight;
  const bool Gray = S.ColorMode == qxGray;
  const int32_t WR = QxGrayWeightRed, WG = QxGrayWeightGreen, WB = QxGrayWeightBlue;
  const TQxRGB Bg = QxTColorToRGB(S.Background);
  const uint8_t Onto[3] = {Bg.b, Bg.g, Bg.r};
  auto Colour = [&](int32_t y) {
    const uint8_t* s = Src->ScanlineToRead(Horizontal ? y : H - 1 - y);
    uint8_t* d = Dst->Scanline(y);
    if (Gray) {
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
    QxBlendRowOntoColor(d, Dst->GetAlphaChannel()->ScanlineToRead(y), W, Onto);
  };
  WillWriteEveryRow(Dst);
  return MakeReflectionFade(View, Source, Ramp, Layer, Colour);
}

// Redoes only what a change of the reflection's own settings touches, from the record of the last build:
// the colours, the fade, both or nothing. False when the whole of steps 4 to 7 must run.
bool RedoReflectionInPart(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  const TBuiltReflection* Built = Recall(View, Source, Layer);
  if (!Built || Built->Blended || S.RemoveAlpha) return false;
  const bool SameColours = Built->Colour == ColourKeyOf(S);
  bool SameFade = Built->Ramp == RampKeyOf(S);
  View->SetCurrentLayer(Layer);
  if (SameColours && SameFade) return true;
  TQxBitmap* B = View->CurrentBitmap();
  TQxBitmap* Src = SourceBitmap(Source);
  if (!SameColours) {
    // A layer taken anew for its colours (a black-and-white one turned colourful) loses its fade. Told by
    // its format, not by the channel's address: a new channel may well land where the old one was.
    const bool Retyped = B->PixelFormat() != TQxPixelFormat::qx24RGB || B->Width() != Src->Width() ||
                         B->Height() != Src->Height();
    if (!MakeReflectionColours(View, Source, S, Layer)) return false;
    if (Retyped || !B->HasAlphaChannel()) SameFade = false;
  }
  if (!SameFade && !MakeReflectionFade(View, Source, RampKeyOf(S), Layer)) return false;
  return true;
}

// Steps 4 to 7 and the reflection's part of step 8, in part from the last build where Reuse allows.
void MakeReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer,
                    bool Reuse) {
  if (MakeBlendedReflection(View, Source, S, RampKeyOf(S), Layer)) {
    View->SetEnableAlphaChannel(false);
    return;
  }
  if (!Reuse || !RedoReflectionInPart(View, Source, S, Layer)) MakeReflectionPixels(View, Source, S, Layer);
  FlattenReflectionLayer(View, S.Background, Layer, !S.RemoveAlpha);
}

}  // namespace

void RedoReflectionLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  MakeReflection(View, Source, S, Layer, true);
  Remember(View, Source, S, Layer);
}

void RedoBaseLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  const bool BaseFlat = RestoreEnlarged(View, Source, S.Side, S.Space, &S);
  PlaceReflectionLayer(View, Source, S.Side, S.Space, Layer);
  FlattenBelow(View, S.Background, Layer, !S.RemoveAlpha, BaseFlat);
}

void RedoBothLayers(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  const bool BaseFlat = RestoreEnlarged(View, Source, S.Side, S.Space, &S);
  FlattenBelow(View, S.Background, Layer, !S.RemoveAlpha, BaseFlat);
  MakeReflection(View, Source, S, Layer, true);
  Remember(View, Source, S, Layer);
}

void BlendOntoColor(TQxBitmap* Bitmap, TColor Color) {
  if (!Bitmap->HasAlphaChannel() || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
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

int32_t SaveFilterIndexOf(const std::string& FileName) {
  std::string Ext = ExtractFileExt(FileName);
  // "name." has an empty extension: its key ";" would be found inside the first list.
  if (Ext.size() <= 1) return 0;
  const std::string Key = UpperCase(Ext.substr(1)) + ";";
  struct Rule {
    int32_t Number;
    bool Within;
    const char* List;
  };
  static const Rule Rules[] = {
      {1, true, "TIF;TIFF;FAX;"}, {2, false, "GIF;"},  {3, true, "JPG;JPEG;JPE;"},
      {4, false, "PCX;"},         {5, true, "BMP;DIB;RLE;"},
      {6, false, "ICO;"},         {7, false, "PNG;"},  {8, true, "TGA;TARGA;VDA;ICB;VST;PIX;"},
      {9, true, "PXM;PPM;PGM;PBM;"},
      {10, false, "WBMP;"},       {11, false, "JP2;"}, {12, true, "J2K;JPC;J2C;"},
      {13, true, "PS;EPS;"},      {14, false, "PDF;"}, {15, false, "DCX;"},
      {16, false, "PSD;"},        {17, false, "QXV;"}, {18, false, "LYR;"},
      {19, false, "ALL;"},        {20, false, "AVI;"},
  };
  for (const Rule& R : Rules) {
    const std::string List = R.List;
    if (R.Within ? List.find(Key) != std::string::npos : List == Key) return R.Number;
  }
  return 0;
}

std::string GetAppDir() { return IncludeTrailingPathDelimiter(ExeDirectory()); }

int32_t TransparencyToOpacity(int32_t Transparency) {
  return ClampByte((long double)((100 - int64_t(Transparency)) * 255) / 100.0L);
}

void FitOrActualSize(TQuillotView* View) {
  if (View->ImageWidth() > View->Width() || View->ImageHeight() > View->Height())
    View->ZoomToFit();
  else
    View->SetZoom(100);
}

namespace {

// With the alpha channel removed the layers were already blended onto the background when built; the
// view shows them without alpha, and so must the file: merging with their alpha would fade them twice.
// Their alpha channels are set aside for the merge (no copies of the layers) and put back afterwards.
class TAlphaAside {
 public:
  TAlphaAside(TQuillotView* View, bool Active) {
    if (!Active) return;
    for (int32_t i = 0; i < View->LayerCount(); ++i) {
      TQxBitmap* B = View->GetLayer(i)->Bitmap;
      if (B->HasAlphaChannel()) FAside.emplace_back(B, B->SetAlphaChannel(nullptr));
    }
  }
  ~TAlphaAside() {
    for (auto& [B, A] : FAside) B->SetAlphaChannel(std::move(A));
  }
  TAlphaAside(const TAlphaAside&) = delete;
  TAlphaAside& operator=(const TAlphaAside&) = delete;

 private:
  std::vector<std::pair<TQxBitmap*, std::unique_ptr<TQxBitmap>>> FAside;
};

// A layer over a bitmap it does not own, placed at the origin at the bitmap's own size.
std::unique_ptr<TQxLayer> WrapBitmap(TQxBitmap* B) {
  auto L = std::make_unique<TQxLayer>(nullptr, B, true);
  L->OwnsBitmap = false;
  return L;
}

// The view's layers merged in index order into layer 0 of a new view, which writes the files. Layer 0
// and the accumulated result are read where they are, never copied.
std::unique_ptr<TQuillotView> MergeForSave(TQuillotView* View, bool RemoveAlpha) {
  auto Temp = std::make_unique<TQuillotView>(nullptr);
  TQxBitmap* Dest = Temp->GetLayer(0)->Bitmap;
  const int32_t Count = View->LayerCount();
  if (Count < 2) {
    Dest->AssignFrom(View->GetLayer(0)->Bitmap);
    if (RemoveAlpha) Dest->RemoveAlphaChannel(false);
    return Temp;
  }
  TAlphaAside Aside(View, RemoveAlpha);
  TQxBitmap Spare;
  TQxBitmap* Acc = View->GetLayer(0)->Bitmap;
  for (int32_t i = 1; i < Count; ++i) {
    // The last merge lands in the temporary view; earlier ones alternate between it and a spare.
    TQxBitmap* Out = ((Count - 1 - i) % 2 == 0) ? Dest : &Spare;
    auto Base = WrapBitmap(Acc);
    QxMergeLayers(Base.get(), View->GetLayer(i), nullptr, Out, TResampleFilter::rfNone, 0, false);
    Acc = Out;
  }
  return Temp;
}

// A name beside FileName, with its extension, that no user file is expected to have.
std::string TempNameBeside(const std::string& FileName) {
  const std::string Ext = ExtractFileExt(FileName);
  const std::string Name = ExtractFileName(FileName);
  return ExtractFilePath(FileName) + "." + Name.substr(0, Name.size() - Ext.size()) + ".saving-" +
         std::to_string(::getpid()) + Ext;
}

// Writes through Write into a file beside FileName and moves it over FileName only when the writer
// succeeded, so a save that fails midway leaves the old file as it was.
// Why FileName could not be written, in words about the file the user chose: the scratch file written
// first is ours, and its name means nothing to the user.
std::string CannotSave(const std::string& FileName, const std::string& Temp, const std::string& Reason) {
  std::string Dir = ExtractFileDir(FileName);
  if (Dir.empty()) Dir = ".";
  if (access(Dir.c_str(), W_OK) != 0) {
    const int Err = errno;
    return "Cannot save \"" + FileName + "\": the folder \"" + Dir + "\" cannot be written (" +
           std::strerror(Err) + ")";
  }
  std::string Why = StringReplace(Reason, Temp, FileName, rfReplaceAll);
  return "Cannot save \"" + FileName + "\"" + (Why.empty() ? std::string() : ": " + Why);
}

void WriteReplacing(const std::string& FileName, const std::function<bool(const std::string&)>& Write) {
  const std::string Temp = TempNameBeside(FileName);
  bool Done = false;
  try {
    Done = Write(Temp) && FileExists(Temp);
  } catch (const EAbort&) {
    DeleteFile(Temp);
    throw;
  } catch (const std::exception& E) {
    DeleteFile(Temp);
    throw Exception(CannotSave(FileName, Temp, E.what()));
  } catch (...) {
    DeleteFile(Temp);
    throw;
  }
  if (!Done) {
    DeleteFile(Temp);
    throw Exception("Cannot save \"" + FileName + "\"");
  }
  if (!RenameFile(Temp, FileName)) {
    DeleteFile(Temp);
    throw Exception(CannotSave(FileName, Temp, ""));
  }
}

bool SaveThroughIO(TQuillotIO* IO, const std::string& FileName) {
  IO->Aborting = false;
  IO->SaveToFile(FileName);
  // A name no writer takes writes nothing; that is a failure the user must hear of.
  return !IO->Aborting;
}

// A PSD file with the view's layers as its layers and the merged picture as its composite. The writer
// converts layers in place, so a layer it would change is handed over as a copy.
bool SaveLayeredPsd(TQuillotView* View, TQxBitmap* Merged, TIOParamsVals& Params, const std::string& FileName) {
  std::vector<std::unique_ptr<TQxLayer>> Copies;
  TList Layers;
  for (int32_t i = 0; i < View->LayerCount(); ++i) {
    TQxLayer* L = View->GetLayer(i);
    if (L->Bitmap->PixelFormat() == TQxPixelFormat::qx24RGB && L->Bitmap->HasAlphaChannel()) {
      Layers.Add(L);
      continue;
    }
    auto C = std::make_unique<TQxLayer>(nullptr, nullptr, false);
    C->CopyPropertiesFrom(L);
    C->Bitmap->AssignFrom(L->Bitmap);
    Layers.Add(C.get());
    Copies.push_back(std::move(C));
  }
  std::atomic<bool> Abort{false};
  TQxProgressInfo Progress;
  Progress.AbortFlag = &Abort;
  {
    TFileStream Stream(FileName, fmCreate);
    WritePsdStream(&Stream, Params, Progress, Merged, &Layers);
  }
  return !Abort.load();
}

}  // namespace

namespace {

// Formats whose writers read the merged picture through its rows, in whatever order and as often as they
// need, and change nothing in it: they are written from the layers merged a band of rows at a time, with
// no merged copy held whole. GIF and ICO set a transparent colour in the picture's alpha channel first.
bool WrittenFromBands(int32_t Fmt) {
  switch (Fmt) {
    case 1: case 3: case 4: case 5: case 7: case 8: case 9: case 10: case 11: case 12: case 13: case 14: case 15:
    case 16:
      return true;
    default:
      return false;
  }
}

bool KeepsAlphaIn(int32_t Fmt, const TReflectionSettings& S) {
  return !S.RemoveAlpha && (Fmt == 1 || Fmt == 7 || Fmt == 16);
}
bool TransparentIn(int32_t Fmt) { return Fmt == 2 || Fmt == 6; }

}  // namespace

void SaveReflection(TQuillotView* View, const std::string& FileName, const TReflectionSettings& S,
                    const TSaveProgress& Progress) {
  SaveReflections(View, {FileName}, S, Progress);
}

void SaveReflections(TQuillotView* View, const std::vector<std::string>& FileNames, const TReflectionSettings& S,
                     const TSaveProgress& Progress) {
  if (FileNames.empty()) return;
  bool Bands = View->LayerCount() == 2;
  for (const std::string& Name : FileNames) Bands = Bands && WrittenFromBands(SaveFilterIndexOf(Name));
  if (!Bands) {
    SaveReflectionsFromWholeMerge(View, FileNames, S, Progress);
    return;
  }
  // The merge is made again for each file, a band at a time as the writer asks for rows; first for the
  // files that keep the alpha channel, then blended onto the background for the rest.
  TAlphaAside Aside(View, S.RemoveAlpha);
  auto Base = WrapBitmap(View->GetLayer(0)->Bitmap);
  TQxMergedRows Merged(Base.get(), View->GetLayer(1), TResampleFilter::rfNone, 0);
  TQuillotIO IO(&Merged);
  IO.Params->AssignParams(*View->GetIO()->Params);
  if (Progress) IO.OnProgress = [&Progress](TObject*, int32_t Per) { Progress(Per); };
  for (const std::string& Name : FileNames) {
    const int32_t Fmt = SaveFilterIndexOf(Name);
    if (!KeepsAlphaIn(Fmt, S)) continue;
    WriteReplacing(Name, [&](const std::string& To) {
      return Fmt == 16 ? SaveLayeredPsd(View, &Merged, *IO.Params, To) : SaveThroughIO(&IO, To);
    });
  }
  for (const std::string& Name : FileNames) {
    if (KeepsAlphaIn(SaveFilterIndexOf(Name), S)) continue;
    Merged.FlattenOnto(S.Background);
    WriteReplacing(Name, [&](const std::string& To) { return SaveThroughIO(&IO, To); });
  }
}

void SaveReflectionsFromWholeMerge(TQuillotView* View, const std::vector<std::string>& FileNames,
                                   const TReflectionSettings& S, const TSaveProgress& Progress) {
  if (FileNames.empty()) return;
  auto Temp = MergeForSave(View, S.RemoveAlpha);
  Temp->SetCurrentLayer(0);
  Temp->SetBackground(S.Background);
  TQxBitmap* Merged = Temp->GetLayer(0)->Bitmap;
  TQuillotIO* IO = Temp->GetIO();
  IO->Params->AssignParams(*View->GetIO()->Params);
  if (Progress) IO->OnProgress = [&Progress](TObject*, int32_t Per) { Progress(Per); };

  // One merge serves every file: first the files that keep the alpha channel, then the picture is
  // blended onto the background once for the rest, and last GIF and ICO, whose transparent colour
  // changes the picture's alpha channel.
  for (const std::string& Name : FileNames) {
    const int32_t Fmt = SaveFilterIndexOf(Name);
    if (!KeepsAlphaIn(Fmt, S)) continue;
    WriteReplacing(Name, [&](const std::string& To) {
      return Fmt == 16 ? SaveLayeredPsd(View, Merged, *IO->Params, To) : SaveThroughIO(IO, To);
    });
  }
  bool Flattened = false;
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& Name : FileNames) {
      const int32_t Fmt = SaveFilterIndexOf(Name);
      if (KeepsAlphaIn(Fmt, S) || TransparentIn(Fmt) != (pass == 1)) continue;
      if (!Flattened) {
        Temp->RemoveAlphaChannel(true);
        Flattened = true;
      }
      if (TransparentIn(Fmt)) {
        const TQxRGB Bg = QxTColorToRGB(S.Background);
        Temp->GetProc()->SetTransparentColors(Bg, Bg, 0);
      }
      WriteReplacing(Name, [&](const std::string& To) { return SaveThroughIO(IO, To); });
    }
  }
}
