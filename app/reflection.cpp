#include "app/reflection.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <unistd.h>

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

void ResetLayers(TQuillotView* View) {
  for (int32_t i = View->LayerCount() - 1; i >= 1; --i) View->RemoveLayer(i);
  View->SetCurrentLayer(0);
  // Layer 0 is rebuilt from the new picture at once, so its old pixels are let go rather than filled, and
  // the reflection layer added next starts empty instead of as a cleared copy of the old canvas's size.
  View->CurrentBitmap()->FreeImage(true);
  View->ClearImage();
}

int32_t AddReflectionLayer(TQuillotView* View) {
  const int32_t Index = View->AddLayer();
  View->GetLayer(Index)->Locked = true;
  return Index;
}

bool LoadSourceImage(TQuillot* Source, const std::string& FileName) {
  Source->SetCurrentLayer(0);
  TQxBitmap* B = Source->CurrentBitmap();
  B->FreeImage(true);
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

// Steps 1 and 2 in one pass: the picture is copied straight into its place on the enlarged canvas, and a
// canvas of the right size is written over where it stands instead of being freed and taken again. Only
// for a 24-bit picture whose canvas grows; false leaves the work to the two steps.
bool RestoreEnlargedInOnePass(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space) {
  TQxBitmap* Src = SourceBitmap(Source);
  const int32_t W = Src->Width(), H = Src->Height();
  int32_t NW = 0, NH = 0, OX = 0, OY = 0;
  if (Src->PixelFormat() != TQxPixelFormat::qx24RGB || Src->IsEmpty() || Src->MapsRows() ||
      !EnlargedCanvas(W, H, Side, Space, NW, NH, OX, OY) || NW < W || NH < H)
    return false;
  TQxBitmap* SA = Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  if (SA && (SA->MapsRows() || SA->Width() != W || SA->Height() != H)) return false;
  View->SetCurrentLayer(0);
  TQxBitmap* B = View->CurrentBitmap();
  if (B->Location() == TQxLocation::qxFile) return false;
  if (B->PixelFormat() != TQxPixelFormat::qx24RGB || B->Width() != NW || B->Height() != NH || B->IsEmpty()) {
    // The alpha channel is kept aside and sized anew too, rather than freed and made again filled.
    std::unique_ptr<TQxBitmap> OldAlpha = B->SetAlphaChannel(nullptr);
    B->AllocateUninitialised(NW, NH, TQxPixelFormat::qx24RGB);
    if (B->IsEmpty() || B->MapsRows()) return false;
    if (OldAlpha && OldAlpha->AllocateUninitialised(NW, NH, TQxPixelFormat::qx8g)) B->SetAlphaChannel(std::move(OldAlpha));
  }
  // Every value of the channel is written below.
  if (!B->HasAlphaChannel()) B->SetAlphaChannel(TQxBitmap::CreateAlpha(NW, NH, B->Location(), false));
  TQxBitmap* BA = B->GetAlphaChannel();
  if (!BA || BA->Width() != NW || BA->Height() != NH || BA->MapsRows() ||
      BA->PixelFormat() != TQxPixelFormat::qx8g)
    return false;

  // The view takes the source's background and resolution, as the copy does; the new area is filled
  // with that background, fully transparent, as the canvas enlargement fills it.
  View->StoreBackground(Source->Background());
  View->SetDpi(Source->DpiX(), Source->DpiY());
  TQxBitmap One;
  One.Allocate(1, 1, TQxPixelFormat::qx24RGB);
  One.FillRect(0, 0, 0, 0, double(View->GetProc()->Background()));
  uint8_t Fill[3];
  std::memcpy(Fill, One.Scanline(0), 3);
  std::vector<uint8_t> FillRow(size_t(NW) * 3);
  for (int32_t x = 0; x < NW; ++x) std::memcpy(FillRow.data() + size_t(x) * 3, Fill, 3);

  const size_t Left = size_t(OX) * 3, Mid = size_t(W) * 3, RowBytes = size_t(NW) * 3;
  ParallelBands(0, NH, 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      uint8_t* Row = B->Scanline(y);
      uint8_t* ARow = BA->Scanline(y);
      const int32_t From = y - OY;
      if (From < 0 || From >= H) {
        std::memcpy(Row, FillRow.data(), RowBytes);
        std::memset(ARow, 0, size_t(NW));
        continue;
      }
      std::memcpy(Row, FillRow.data(), Left);
      std::memcpy(Row + Left, Src->Scanline(From), Mid);
      std::memcpy(Row + Left + Mid, FillRow.data(), RowBytes - Left - Mid);
      std::memset(ARow, 0, size_t(OX));
      if (SA)
        std::memcpy(ARow + OX, SA->Scanline(From), size_t(W));
      else
        std::memset(ARow + OX, 255, size_t(W));
      std::memset(ARow + OX + W, 0, size_t(NW - OX - W));
    }
  });
  B->Opaque = false;
  BA->Opaque = false;
  return true;
}

// Steps 1 and 2.
void RestoreEnlarged(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space) {
  if (RestoreEnlargedInOnePass(View, Source, Side, Space)) return;
  RestoreBaseLayer(View, Source);
  EnlargeCanvas(View, Source, Side, Space);
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
// Without Colour only the alpha channel is mirrored, for a step that then writes every colour itself.
bool MirrorInPlace(TQxBitmap* Src, TQxBitmap* Dst, bool Horizontal, bool Colour = true) {
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
  TQxBitmap* SA = Src->HasAlphaChannel() ? Src->GetAlphaChannel() : nullptr;
  TQxBitmap* DA = nullptr;
  if (SA) {
    if (!Dst->HasAlphaChannel() || SA->MapsRows()) return false;
    DA = Dst->GetAlphaChannel();
    if (DA->Width() != W || DA->Height() != H || DA->MapsRows()) return false;
    DA->Opaque = SA->Opaque;
  } else {
    Dst->RemoveAlphaChannel(false);
  }
  Dst->Opaque = Src->Opaque;
  ParallelBands(0, H, 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      const int32_t From = Horizontal ? y : H - 1 - y;
      if (Horizontal) {
        if (Colour) {
          const uint8_t* s = Src->Scanline(From);
          uint8_t* d = Dst->Scanline(y);
          for (int32_t x = 0; x < W; ++x) std::memcpy(d + size_t(x) * 3, s + size_t(W - 1 - x) * 3, 3);
        }
        if (DA) {
          const uint8_t* sa = SA->Scanline(From);
          uint8_t* da = DA->Scanline(y);
          for (int32_t x = 0; x < W; ++x) da[x] = sa[W - 1 - x];
        }
      } else {
        if (Colour) std::memcpy(Dst->Scanline(y), Src->Scanline(From), size_t(W) * 3);
        if (DA) std::memcpy(DA->Scanline(y), SA->Scanline(From), size_t(W));
      }
    }
  });
  return true;
}

// Steps 4 and 6 together for a colourful reflection: the wave reads the picture's rows in mirrored order
// where they stand, so the mirror is neither copied into the layer nor copied again for the wave.
bool MirroredWaveInOnePass(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0 || !S.WaveOn || S.ColorMode != qxColorful || S.Amplitude == 0 || S.WaveLength == 0) return false;
  TQxBitmap* Src = SourceBitmap(Source);
  View->SetCurrentLayer(Layer);
  TQxBitmap* Dst = View->CurrentBitmap();
  const bool Horizontal = S.Side == qxSideLeft || S.Side == qxSideRight;
  if (!MirrorInPlace(Src, Dst, Horizontal, false)) return false;
  const int32_t H = Src->Height();
  std::vector<const uint8_t*> Rows(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) Rows[size_t(y)] = Src->Scanline(Horizontal ? y : H - 1 - y);
  TQxProgressInfo Progress;
  if (QxWaveFromRows(Rows, Horizontal, Dst, S.Amplitude, S.WaveLength, S.Phase, false, Progress)) return true;
  // Not drawn: the layer has only its alpha channel so far, so the steps run one by one.
  return false;
}

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

void ApplyTransparencyRamp(TQuillotView* View, int32_t StartOpacity, int32_t EndOpacity, int32_t Side,
                           int32_t SizePercent) {
  TQxBitmap* B = View->CurrentBitmap();
  const bool Horizontal = Side == qxSideLeft || Side == qxSideRight;
  const int32_t W = B->Width(), H = B->Height();
  const int32_t N = Horizontal ? W : H;
  const int32_t P = SizePercent;
  TQxBitmap* Alpha = B->GetAlphaChannel();
  if (W <= 0 || H <= 0 || !Alpha) {
    View->UpdateView();
    return;
  }

  const double Step = (N == 0 || P == 0) ? 0.0 : double(StartOpacity - EndOpacity) / (double(N) * P / 100.0);
  double G = StartOpacity + Step;
  const bool FromFar = Side == qxSideLeft || Side == qxSideTop;  // visited from line N-1 down to 0
  const int32_t T = FromFar ? int32_t(std::nearbyint((long double)((100 - P) * N) / 100.0L))
                            : int32_t(std::nearbyint((long double)(P * N) / 100.0L));

  auto NextOpacity = [&]() {
    G -= Step;
    return ClampByte(G);
  };

  // How much each line loses, worked out in visiting order (the ramp's running value depends on it);
  // 256 clears the line.
  std::vector<int32_t> Cut(size_t(N), 256);
  for (int32_t k = 0; k < N; ++k) {
    const int32_t Line = FromFar ? N - 1 - k : k;
    const bool InRamp = FromFar ? Line >= T : Line <= T;
    if (InRamp) Cut[size_t(Line)] = 255 - NextOpacity();
  }
  // Then the channel row by row; a column side takes each pixel's cut from its column.
  std::atomic<bool> Written{false};  // a value other than 255 went in
  const bool Mapped = Alpha->MapsRows();
  ParallelBands(0, H, Mapped ? INT32_MAX : 64, [&](int32_t First, int32_t Last) {
    bool Lowered = false;
    for (int32_t y = First; y < Last; ++y) {
      uint8_t* Row = Alpha->Scanline(y);
      if (Horizontal) {
        for (int32_t x = 0; x < W; ++x) {
          const int32_t v = std::max(0, int32_t(Row[x]) - Cut[size_t(x)]);
          Row[x] = uint8_t(v);
          Lowered = Lowered || v != 255;
        }
      } else {
        const int32_t c = Cut[size_t(y)];
        if (c == 0) {
          for (int32_t x = 0; x < W && !Lowered; ++x) Lowered = Row[x] != 255;
          continue;
        }
        if (c >= 255) {
          std::memset(Row, 0, size_t(W));
        } else {
          for (int32_t x = 0; x < W; ++x) Row[x] = uint8_t(std::max(0, int32_t(Row[x]) - c));
        }
        Lowered = true;
      }
    }
    if (Lowered) Written.store(true, std::memory_order_relaxed);
  });
  // The bottom side always marks the channel; the others only when they wrote something below 255.
  if (Side == qxSideBottom || Written.load()) Alpha->Opaque = false;
  View->UpdateView();
}

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
  RestoreEnlarged(View, Source, Side, Space);
  PlaceReflectionLayer(View, Source, Side, Space, Layer);
  TReflectionSettings S;
  S.Side = Side;
  S.ColorMode = ColorMode;
  S.WaveOn = WaveOn;
  S.Amplitude = Amplitude;
  S.WaveLength = WaveLength;
  S.Phase = Phase;
  if (!MirroredWaveInOnePass(View, Source, S, Layer)) {
    MirrorIntoLayer(View, Source, Side, Layer);
    ApplyColorMode(View, ColorMode, Layer);
    ApplyWave(View, Amplitude, WaveLength, WaveOn, Layer, Phase);
  }
  RampLayer(View, StartOpacity, EndOpacity, Layer, SizePercent, Side);
  FlattenBaseLayers(View, Background, Layer, KeepAlpha);
  FlattenReflectionLayer(View, Background, Layer, KeepAlpha);
}

void BuildReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  BuildReflection(View, Source, S.Side, S.StartOpacity(), S.EndOpacity(), S.SizePercent, S.Space, S.Amplitude,
                  S.WaveLength, S.Phase, S.ColorMode, S.Background, Layer, S.WaveOn, !S.RemoveAlpha);
}

namespace {

// Steps 4 to 7: the reflection layer's own pixels.
void MakeReflectionPixels(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (!MirroredWaveInOnePass(View, Source, S, Layer)) {
    MirrorIntoLayer(View, Source, S.Side, Layer);
    ApplyColorMode(View, S.ColorMode, Layer);
    ApplyWave(View, S.Amplitude, S.WaveLength, S.WaveOn, Layer, S.Phase);
  }
  RampLayer(View, S.StartOpacity(), S.EndOpacity(), Layer, S.SizePercent, S.Side);
}

}  // namespace

void RedoReflectionLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  MakeReflectionPixels(View, Source, S, Layer);
  FlattenReflectionLayer(View, S.Background, Layer, !S.RemoveAlpha);
}

void RedoBaseLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  RestoreEnlarged(View, Source, S.Side, S.Space);
  PlaceReflectionLayer(View, Source, S.Side, S.Space, Layer);
  FlattenBaseLayers(View, S.Background, Layer, !S.RemoveAlpha);
}

void RedoBothLayers(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  RestoreEnlarged(View, Source, S.Side, S.Space);
  MakeReflectionPixels(View, Source, S, Layer);
  FlattenBaseLayers(View, S.Background, Layer, !S.RemoveAlpha);
  FlattenReflectionLayer(View, S.Background, Layer, !S.RemoveAlpha);
}

void BlendOntoColor(TQxBitmap* Bitmap, TColor Color) {
  if (!Bitmap->HasAlphaChannel() || Bitmap->PixelFormat() != TQxPixelFormat::qx24RGB) return;
  const TQxRGB Bg = QxTColorToRGB(Color);
  const int32_t Comp[3] = {Bg.b, Bg.g, Bg.r};
  TQxBitmap* Alpha = Bitmap->GetAlphaChannel();
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const bool Mapped = Bitmap->MapsRows() || Alpha->MapsRows();
  ParallelBands(0, H, Mapped ? INT32_MAX : 32, [&](int32_t First, int32_t Last) {
    for (int32_t y = First; y < Last; ++y) {
      uint8_t* P = Bitmap->Scanline(y);
      const uint8_t* A = Alpha->Scanline(y);
      for (int32_t x = 0; x < W; ++x, P += 3) {
        const int32_t a = A[x];
        // Opaque and clear pixels are most of a reflection: they keep their colour or take the background's.
        if (a == 0) {
          P[0] = uint8_t(Comp[0]), P[1] = uint8_t(Comp[1]), P[2] = uint8_t(Comp[2]);
          continue;
        }
        for (int32_t c = 0; c < 3; ++c) {
          const int32_t bg = Comp[c];
          // Arithmetic shift floors towards minus infinity, also for negative differences.
          P[c] = uint8_t(bg + (((int32_t(P[c]) - bg) * a) >> 8));
        }
      }
    }
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
void WriteReplacing(const std::string& FileName, const std::function<bool(const std::string&)>& Write) {
  const std::string Temp = TempNameBeside(FileName);
  bool Done = false;
  try {
    Done = Write(Temp) && FileExists(Temp);
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
    throw Exception("Cannot save \"" + FileName + "\"");
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

void SaveReflection(TQuillotView* View, const std::string& FileName, const TReflectionSettings& S) {
  SaveReflections(View, {FileName}, S);
}

void SaveReflections(TQuillotView* View, const std::vector<std::string>& FileNames, const TReflectionSettings& S) {
  if (FileNames.empty()) return;
  bool Bands = View->LayerCount() == 2;
  for (const std::string& Name : FileNames) Bands = Bands && WrittenFromBands(SaveFilterIndexOf(Name));
  if (!Bands) {
    SaveReflectionsFromWholeMerge(View, FileNames, S);
    return;
  }
  // The merge is made again for each file, a band at a time as the writer asks for rows; first for the
  // files that keep the alpha channel, then blended onto the background for the rest.
  TAlphaAside Aside(View, S.RemoveAlpha);
  auto Base = WrapBitmap(View->GetLayer(0)->Bitmap);
  TQxMergedRows Merged(Base.get(), View->GetLayer(1), TResampleFilter::rfNone, 0);
  TQuillotIO IO(&Merged);
  IO.Params->AssignParams(*View->GetIO()->Params);
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
                                   const TReflectionSettings& S) {
  if (FileNames.empty()) return;
  auto Temp = MergeForSave(View, S.RemoveAlpha);
  Temp->SetCurrentLayer(0);
  Temp->SetBackground(S.Background);
  TQxBitmap* Merged = Temp->GetLayer(0)->Bitmap;
  TQuillotIO* IO = Temp->GetIO();
  IO->Params->AssignParams(*View->GetIO()->Params);

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
