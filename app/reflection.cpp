// The reflection pipeline. BuildReflection runs its nine steps in order; where a step, or several in a row,
// can be done in one pass over the picture's rows, the processing library's reflection operations do it
// (imaging/processing/reflection_ops.h) and the plain step runs only when they do not apply. A view
// remembers what its last build put into its reflection layer, so that a change of one setting redoes only
// what depends on it.
#include "app/reflection.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/reflection_ops.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"
#include "platform/base/files.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"

namespace {

TQxBitmap* SourceBitmap(TQuillotView* Source) { return Source->GetLayer(0)->Bitmap; }

bool IsColumnSide(int32_t Side) { return Side == qxSideLeft || Side == qxSideRight; }

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

// The component of class T that Owner owns, made when asked and there is none.
template <class T>
T* OwnedOf(TComponent* Owner, bool Make) {
  for (int32_t i = 0; i < Owner->ComponentCount(); ++i)
    if (auto* C = dynamic_cast<T*>(Owner->Components(i))) return C;
  return Make ? new T(Owner) : nullptr;
}

// How many pictures a source view has loaded: a new picture may land in the very blocks of the last one,
// and a record of a build must not take it for the picture it was built from.
class TPictureCount : public TComponent {
 public:
  using TComponent::TComponent;
  uint64_t Loads = 0;
};

uint64_t LoadsOf(TQuillotView* Source) {
  const TPictureCount* C = OwnedOf<TPictureCount>(Source, false);
  return C ? C->Loads : 0;
}

// The settings the colours of a reflection (mirror, colour mode, wave) and its fade depend on.
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

TColourKey ColourKeyOf(const TReflectionSettings& S) {
  TColourKey K;
  K.Horizontal = IsColumnSide(S.Side);
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

// The reflection layer and the picture a build worked on, told by their blocks as they stand.
struct TBuiltBlocks {
  int32_t Layer = -1;
  TQxBitmap* Layered = nullptr;
  const uint8_t* Rows = nullptr;
  TQxBitmap* Alpha = nullptr;
  const uint8_t* AlphaRows = nullptr;
  TQxPixelFormat Format = TQxPixelFormat::qxInvalid;
  int32_t Width = 0, Height = 0;
  TQxBitmap* Picture = nullptr;
  const uint8_t* PictureRows = nullptr;
  const uint8_t* PictureAlphaRows = nullptr;
  int32_t PictureWidth = 0, PictureHeight = 0;
  uint64_t PictureLoads = 0;
  bool operator==(const TBuiltBlocks&) const = default;

  TBuiltBlocks(TQuillotView* View, TQuillotView* Source, int32_t L) {
    if (L < 0 || L >= View->LayerCount()) return;
    TQxBitmap* B = View->GetLayer(L)->Bitmap;
    TQxBitmap* P = SourceBitmap(Source);
    Layer = L;
    Layered = B;
    Rows = FirstRow(B);
    Alpha = B->HasAlphaChannel() ? B->GetAlphaChannel() : nullptr;
    AlphaRows = FirstRow(Alpha);
    Format = B->PixelFormat();
    Width = B->Width();
    Height = B->Height();
    Picture = P;
    PictureRows = FirstRow(P);
    PictureAlphaRows = P->HasAlphaChannel() ? FirstRow(P->GetAlphaChannel()) : nullptr;
    PictureWidth = P->Width();
    PictureHeight = P->Height();
    PictureLoads = LoadsOf(Source);
  }
};

// What the last build of a view put into its reflection layer: the colours and the fade (the mirrored
// alpha channel less the ramp) are made apart unless the alpha channel is removed, which blends the fade
// into the colours. The view owns its memo, so the memo goes with the view. A record holds while the
// layer and the picture are the very blocks it names.
class TReflectionMemo : public TComponent {
 public:
  using TComponent::TComponent;

  struct TBuilt {
    TBuiltBlocks Blocks;
    TColourKey Colour;
    TRampKey Ramp;
    bool Blended = false;  // the fade went into the colours
  };

  static void Remember(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, const TRampKey& Ramp,
                       int32_t Layer) {
    TBuiltBlocks Blocks(View, Source, Layer);
    if (!Blocks.Rows || !Blocks.PictureRows) return Forget(View);
    OwnedOf<TReflectionMemo>(View, true)->FBuilt = TBuilt{Blocks, ColourKeyOf(S), Ramp, S.RemoveAlpha};
  }

  static void Forget(TQuillotView* View) {
    if (auto* M = OwnedOf<TReflectionMemo>(View, false)) M->FBuilt.reset();
  }

  // The record of the view's last build when it still describes the layer; nullptr otherwise.
  static const TBuilt* Recall(TQuillotView* View, TQuillotView* Source, int32_t Layer) {
    auto* M = OwnedOf<TReflectionMemo>(View, false);
    if (!M || !M->FBuilt) return nullptr;
    if (!(M->FBuilt->Blocks == TBuiltBlocks(View, Source, Layer))) {
      M->FBuilt.reset();
      return nullptr;
    }
    return &*M->FBuilt;
  }

 private:
  std::optional<TBuilt> FBuilt;
};

// A layer that is not 24-bit but carries a fade (a black-and-white reflection is 1 bit per pixel) would
// lose it when flattened, so it becomes 24-bit first.
void FlattenCurrent(TQuillotView* View, TColor Background) {
  TQxBitmap* B = View->CurrentBitmap();
  if (B->HasAlphaChannel() && B->PixelFormat() != TQxPixelFormat::qx24RGB && !B->IsEmpty())
    B->SetPixelFormat(TQxPixelFormat::qx24RGB);
  BlendOntoColor(B, Background);
}

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

// Steps 1 and 2, and with Onto (the alpha channel removed) step 8 for the base layer when it can go in the
// same pass; true when it did.
bool RestoreEnlarged(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Space, const TColor* Onto) {
  TQxBitmap* Src = SourceBitmap(Source);
  int32_t NW = 0, NH = 0, OX = 0, OY = 0;
  if (EnlargedCanvas(Src->Width(), Src->Height(), Side, Space, NW, NH, OX, OY) && NW >= Src->Width() &&
      NH >= Src->Height()) {
    View->SetCurrentLayer(0);
    // The view takes the source's background and resolution, as the copy does; the new area is filled
    // with that background, fully transparent, as the canvas enlargement fills it.
    View->StoreBackground(Source->Background());
    View->SetDpi(Source->DpiX(), Source->DpiY());
    TQxBitmap One;
    One.Allocate(1, 1, TQxPixelFormat::qx24RGB);
    One.FillRect(0, 0, 0, 0, double(View->GetProc()->Background()));
    uint8_t BlendTo[3] = {};
    if (Onto) {
      const TQxRGB Bg = QxTColorToRGB(*Onto);
      BlendTo[0] = Bg.b, BlendTo[1] = Bg.g, BlendTo[2] = Bg.r;
    }
    if (QxPlaceOnCanvas(Src, View->CurrentBitmap(), NW, NH, OX, OY, One.Scanline(0), Onto ? BlendTo : nullptr))
      return Onto != nullptr;
  }
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

bool WaveDrawn(const TReflectionSettings& S) { return S.WaveOn && S.Amplitude != 0 && S.WaveLength != 0; }

// Steps 4 and 6 together for a colourful reflection: the wave reads the picture's rows in mirrored order.
bool MirroredWave(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer, bool Alpha) {
  if (!WaveDrawn(S) || S.ColorMode != qxColorful) return false;
  View->SetCurrentLayer(Layer);
  return QxMirroredWaveInto(SourceBitmap(Source), View->CurrentBitmap(), IsColumnSide(S.Side), S.Amplitude,
                            S.WaveLength, S.Phase, Alpha);
}

// Steps 4 and 5: a gray reflection is mirrored and made gray in one pass.
void MirrorInColorMode(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t ColorMode, int32_t Layer) {
  View->SetCurrentLayer(Layer);
  if (ColorMode == qxGray &&
      QxMirrorInto(SourceBitmap(Source), View->CurrentBitmap(), IsColumnSide(Side), TQxMirrorParts{true, true, true}))
    return;
  MirrorIntoLayer(View, Source, Side, Layer);
  ApplyColorMode(View, ColorMode, Layer);
}

// Steps 4 to 6 without touching the alpha channel: the colours lent from the picture where they are its
// rows in mirrored order. False when the plain steps must run.
bool MakeReflectionColours(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  View->SetCurrentLayer(Layer);
  TQxBitmap* Src = SourceBitmap(Source);
  TQxBitmap* Dst = View->CurrentBitmap();
  if (S.ColorMode == qxColorful && !S.WaveOn && !IsColumnSide(S.Side) && QxLendMirroredRows(Src, Dst)) return true;
  if (WaveDrawn(S) && S.ColorMode == qxColorful) return MirroredWave(View, Source, S, Layer, false);
  const bool Gray = S.ColorMode == qxGray;
  if (!QxMirrorInto(Src, Dst, IsColumnSide(S.Side), TQxMirrorParts{true, false, Gray})) return false;
  if (!Gray) ApplyColorMode(View, S.ColorMode, Layer);
  ApplyWave(View, S.Amplitude, S.WaveLength, S.WaveOn, Layer, S.Phase);
  return true;
}

std::vector<uint8_t> CutsFor(TQxBitmap* Picture, const TRampKey& R) {
  const bool Columns = IsColumnSide(R.Side);
  return QxRampCuts(Columns ? Picture->Width() : Picture->Height(), R.StartOpacity, R.EndOpacity,
                    R.Side == qxSideLeft || R.Side == qxSideTop, R.SizePercent);
}

// Step 7 from the picture's own alpha channel, mirrored and lowered by the ramp, mostly rows shared with
// the picture; the colours are left as they are. False when the plain steps must run.
bool MakeReflectionFade(TQuillotView* View, TQuillotView* Source, const TRampKey& R, int32_t Layer) {
  View->SetCurrentLayer(Layer);
  TQxBitmap* Src = SourceBitmap(Source);
  return QxMirroredFadeInto(Src, View->CurrentBitmap(), CutsFor(Src, R), IsColumnSide(R.Side),
                            R.Side == qxSideBottom);
}

// Steps 4 to 7 and the reflection's part of step 8 in one pass, for a reflection without wave whose alpha
// channel is removed. False when the plain steps must run.
bool MakeBlendedReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, const TRampKey& R,
                           int32_t Layer) {
  if (!S.RemoveAlpha || S.WaveOn || (S.ColorMode != qxColorful && S.ColorMode != qxGray)) return false;
  View->SetCurrentLayer(Layer);
  TQxBitmap* Src = SourceBitmap(Source);
  return QxBlendedMirrorInto(Src, View->CurrentBitmap(), CutsFor(Src, R), IsColumnSide(R.Side),
                             S.ColorMode == qxGray, S.Background, R.Side == qxSideBottom);
}

// Steps 4 to 7: the reflection layer's own pixels, the colours and the fade apart when the alpha channel
// is kept, else the steps one by one.
void MakeReflectionPixels(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, const TRampKey& R,
                          int32_t Layer) {
  if (!S.RemoveAlpha && MakeReflectionColours(View, Source, S, Layer) && MakeReflectionFade(View, Source, R, Layer))
    return;
  if (!MirroredWave(View, Source, S, Layer, true)) {
    MirrorInColorMode(View, Source, S.Side, S.ColorMode, Layer);
    ApplyWave(View, S.Amplitude, S.WaveLength, S.WaveOn, Layer, S.Phase);
  }
  RampLayer(View, R.StartOpacity, R.EndOpacity, Layer, R.SizePercent, R.Side);
}

// Redoes only what a change of the reflection's own settings touches, from the record of the last build:
// the colours, the fade, both or nothing. False when the whole of steps 4 to 7 must run.
bool RedoReflectionInPart(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  const TReflectionMemo::TBuilt* Built = TReflectionMemo::Recall(View, Source, Layer);
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
  return SameFade || MakeReflectionFade(View, Source, RampKeyOf(S), Layer);
}

// Steps 4 to 7 and 9, in part from the last build where Reuse allows.
void MakeReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, const TRampKey& R,
                    int32_t Layer, bool Reuse) {
  if (MakeBlendedReflection(View, Source, S, R, Layer)) {
    View->SetEnableAlphaChannel(false);
    return;
  }
  if (!Reuse || !RedoReflectionInPart(View, Source, S, Layer)) MakeReflectionPixels(View, Source, S, R, Layer);
  FlattenReflectionLayer(View, S.Background, Layer, !S.RemoveAlpha);
}

}  // namespace

void ResetLayers(TQuillotView* View) {
  TReflectionMemo::Forget(View);
  for (int32_t i = View->LayerCount() - 1; i >= 1; --i) View->RemoveLayer(i);
  View->SetCurrentLayer(0);
  // Layer 0 is rebuilt from the new picture at once, so its old pixels are let go rather than filled, and
  // the reflection layer added next starts empty instead of as a cleared copy of the old canvas's size.
  View->CurrentBitmap()->FreeImage(true);
  View->ClearImage();
}

int32_t AddReflectionLayer(TQuillotView* View) {
  TReflectionMemo::Forget(View);
  const int32_t Index = View->AddLayer();
  View->GetLayer(Index)->Locked = true;
  return Index;
}

bool LoadSourceImage(TQuillot* Source, const std::string& FileName) {
  ++OwnedOf<TPictureCount>(Source, true)->Loads;
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
  // A JPEG cut short raises the flag too but keeps the rows it holds: the user sees the picture as far as
  // it goes, as other viewers show it. Every other reader that raises the flag has no picture to give.
  const bool CutJpeg = IO->Params->FileType == qxffJPEG && !B->IsEmpty();
  if ((IO->Aborting && !CutJpeg) || B->IsEmpty()) {
    B->FreeImage(true);
    return false;
  }
  return true;
}

void RestoreBaseLayer(TQuillotView* View, TQuillotView* Source) {
  View->SetCurrentLayer(0);
  View->AssignFrom(Source);
}

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

void MirrorIntoLayer(TQuillotView* View, TQuillotView* Source, int32_t Side, int32_t Layer) {
  if (Layer < 0) return;
  View->SetCurrentLayer(Layer);
  // A layer that already has the picture's size and format takes the mirror in one pass, without a fresh
  // block being faulted in and flipped afterwards.
  if (QxMirrorInto(SourceBitmap(Source), View->CurrentBitmap(), IsColumnSide(Side))) return;
  View->CurrentBitmap()->AssignFrom(SourceBitmap(Source));
  View->GetProc()->Flip(IsColumnSide(Side) ? 0 : 1);
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
  TQxBitmap* Alpha = B->GetAlphaChannel();
  if (B->Width() > 0 && B->Height() > 0 && Alpha) {
    const bool Columns = IsColumnSide(Side);
    const std::vector<uint8_t> Cut = QxRampCuts(Columns ? B->Width() : B->Height(), StartOpacity, EndOpacity,
                                                Side == qxSideLeft || Side == qxSideTop, SizePercent);
    // The bottom side always marks the channel; the others only when they wrote something below 255.
    if (QxLowerAlphaByCuts(Alpha, Cut, Columns) || Side == qxSideBottom) Alpha->Opaque = false;
  }
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
  TReflectionSettings S;
  S.Side = Side, S.SizePercent = SizePercent, S.Space = Space, S.ColorMode = ColorMode;
  S.WaveOn = WaveOn, S.Amplitude = Amplitude, S.WaveLength = WaveLength, S.Phase = Phase;
  S.Background = Background, S.RemoveAlpha = !KeepAlpha;
  // The opacities are given as they stand, not as transparencies.
  const TRampKey Ramp{Side, StartOpacity, EndOpacity, SizePercent};

  // 1 RestoreBaseLayer and 2 EnlargeCanvas, with the base layer's part of 8 when it goes in the same pass.
  const bool BaseFlat = RestoreEnlarged(View, Source, Side, Space, KeepAlpha ? nullptr : &Background);
  // 3 PlaceReflectionLayer.
  PlaceReflectionLayer(View, Source, Side, Space, Layer);
  // 8 FlattenBaseLayers: the layers below the reflection do not depend on it.
  FlattenBelow(View, Background, Layer, KeepAlpha, BaseFlat);
  // 4 MirrorIntoLayer, 5 ApplyColorMode, 6 ApplyWave, 7 RampLayer and 9 FlattenReflectionLayer.
  MakeReflection(View, Source, S, Ramp, Layer, false);
  TReflectionMemo::Remember(View, Source, S, Ramp, Layer);
}

void BuildReflection(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  BuildReflection(View, Source, S.Side, S.StartOpacity(), S.EndOpacity(), S.SizePercent, S.Space, S.Amplitude,
                  S.WaveLength, S.Phase, S.ColorMode, S.Background, Layer, S.WaveOn, !S.RemoveAlpha);
}

void RedoReflectionLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  MakeReflection(View, Source, S, RampKeyOf(S), Layer, true);
  TReflectionMemo::Remember(View, Source, S, RampKeyOf(S), Layer);
}

void RedoBaseLayer(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  const bool BaseFlat = RestoreEnlarged(View, Source, S.Side, S.Space, S.RemoveAlpha ? &S.Background : nullptr);
  PlaceReflectionLayer(View, Source, S.Side, S.Space, Layer);
  FlattenBelow(View, S.Background, Layer, !S.RemoveAlpha, BaseFlat);
}

void RedoBothLayers(TQuillotView* View, TQuillotView* Source, const TReflectionSettings& S, int32_t Layer) {
  if (Layer < 0) return;
  TRebuildLock Lock(View);
  const bool BaseFlat = RestoreEnlarged(View, Source, S.Side, S.Space, S.RemoveAlpha ? &S.Background : nullptr);
  FlattenBelow(View, S.Background, Layer, !S.RemoveAlpha, BaseFlat);
  MakeReflection(View, Source, S, RampKeyOf(S), Layer, true);
  TReflectionMemo::Remember(View, Source, S, RampKeyOf(S), Layer);
}

void BlendOntoColor(TQxBitmap* Bitmap, TColor Color) { QxBlendOntoColor(Bitmap, Color); }

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
  const auto R = static_cast<int64_t>(std::nearbyint((long double)((100 - int64_t(Transparency)) * 255) / 100.0L));
  return static_cast<int32_t>(std::clamp<int64_t>(R, 0, 255));
}

void FitOrActualSize(TQuillotView* View) {
  if (View->ImageWidth() > View->Width() || View->ImageHeight() > View->Height())
    View->ZoomToFit();
  else
    View->SetZoom(100);
}
