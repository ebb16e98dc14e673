// TQuillotView: painting through the back buffer and composition of the layers.
#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cstring>
#include <cmath>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>
#if defined(__x86_64__) || defined(__i386__)
#endif

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/resample.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/geometry.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/kernels/layer_rows.h"
#include "imaging/processing/rotate.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/io/media_frames.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "imaging/view/view_internal.h"
#include "platform/base/numeric.h"
#include "platform/base/parallel.h"
#include "platform/graphics/bitmap.h"

namespace {

// Restores a rotated layer's placement after it was drawn, whatever happened while drawing.
struct LayerGeometryGuard {
  TQxLayer* L = nullptr;
  int32_t W = 0, H = 0, X = 0, Y = 0;
  void Save(TQxLayer* Layer) {
    L = Layer;
    W = Layer->Width;
    H = Layer->Height;
    X = Layer->PosX;
    Y = Layer->PosY;
  }
  ~LayerGeometryGuard() {
    if (!L) return;
    L->Width = W;
    L->Height = H;
    L->PosX = X;
    L->PosY = Y;
  }
};

// Puts a layer's own alpha channel back after its mask-combined alpha was drawn, and keeps the
// combined alpha as the layer's cache.
struct MaskAlphaGuard {
  TQxLayer* L = nullptr;
  std::unique_ptr<TQxBitmap> Saved;  // the layer bitmap's own alpha
  bool HadAlpha = false;
  bool Active = false;
  ~MaskAlphaGuard() {
    if (!Active || !L || !L->Bitmap) return;
    std::unique_ptr<TQxBitmap> combined = L->Bitmap->SetAlphaChannel(std::move(Saved));
    if (!HadAlpha) L->Bitmap->RemoveAlphaChannel(false);
    if (combined.get() != L->MaskCache) {
      delete L->MaskCache;
      L->MaskCache = combined.release();
    } else {
      combined.release();
    }
  }
};

bool AlphaIsOpaque(TQxBitmap* B) {
  if (!B->HasAlphaChannel()) return true;
  return B->GetAlphaChannel()->Opaque;
}

}  // namespace

// ---- paint entry points ----

TCanvas* TQuillotView::ControlCanvasOrNull() { return Canvas(); }

void TQuillotView::PaintWindow(HDC) { PaintView(); }

// A playing video is drawn into the window first; the view then paints around it.
void TQuillotView::WMPaint(TMessage& Message) {
  if (TQxDirectShow* player = VideoInWindow()) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    player->RepaintVideo(dc ? dc : ControlCanvasOrNull());
  }
  TQxView::WMPaint(Message);
}

TQxDirectShow* TQuillotView::VideoInWindow() {
  if (!FIO) return nullptr;
  TQxDirectShow* player = FIO->GetDShowParams();
  if (!player || !player->RenderVideo || (player->State() != 1 && player->State() != 2)) return nullptr;
  return player;
}

// The video goes where the current layer is shown, the part of it the layer shows scaled from the layer
// bitmap's size to the video's own.
void TQuillotView::PlaceVideo(TQxDirectShow* Player) {
  TQxLayer* l = CurrentLayer();
  int32_t nw = 0, nh = 0;
  if (!l || !l->Bitmap || !Player->GetNativeVideoSize(nw, nh) || nw <= 0 || nh <= 0) return;
  const int32_t bw = l->Bitmap->Width(), bh = l->Bitmap->Height();
  if (bw <= 0 || bh <= 0) return;
  const TQxLayerScreenMap& m = l->ScreenMap;
  const double fx = double(bw) / nw, fy = double(bh) / nh;
  const TRect source(int32_t(m.SrcX / fx), int32_t(m.SrcY / fy), int32_t((m.SrcX + m.SrcW) / fx),
                     int32_t((m.SrcY + m.SrcH) / fy));
  Player->SetVideoPosition(source, TRect(m.X, m.Y, m.X + m.W, m.Y + m.H));
}

void TQuillotView::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TQuillotView::PaintView() {
  const bool windowed = HasParentWindow() && ClientWidth() > 0 && ClientHeight() > 0;
  if (!windowed && !OffscreenMode) return;
  TCanvas* canvas = ControlCanvasOrNull();
  try {
    if (ComponentState().Contains(csDesigning)) {
      QxPaintViewBackground(ComponentState(), canvas, nullptr, FBackgroundStyle, Background(), 0, 0, Width(),
                            Height(), 0, 0, 0, 0, FChessSize, FChessBrushStyle, GradientEndColor, FWallPaper.get(),
                            FWallPaperStyle);
    } else {
      const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
      if (FPaintLock == 0) {
        TRect r(0, 0, cw, ch);
        if (!FRepaintAll && canvas) {
          r = canvas->ClipRect();
          if (r.Right == 0 || r.Bottom == 0) {
            r.Right = cw;
            r.Bottom = ch;
          }
        }
        PaintClientRect(r);
        if (OnDrawCanvas && canvas) OnDrawCanvas(this, canvas, TRect(0, 0, cw, ch));
      }
      FRepaintAll = false;
      // A moving rectangle is drawn by the move itself.
      if (!(FSelectionMoveState == 0 && SelectionIsRectangle())) PaintSelection(this, false);
      if (OnPaint) OnPaint(this);
    }
  } catch (...) {
  }
  if (FDrawVersion) DrawVersionText();
  if (!ComponentState().Contains(csDesigning))
    if (TQxDirectShow* player = VideoInWindow()) PlaceVideo(player);
  if (canvas && !FHintText.empty() && EnableInteractionHints) {
    int32_t hx = FHintX, hy = FHintY;
    QxDrawHintBox(canvas, hx, hy, FHintTemplate, FHintText);
  }
  if (FHasOwner && FCursorPending) {
    FCursorPending = false;
    SetViewCursor(FViewCursor);
  }
}

void TQuillotView::EnsureBackBuffer(int32_t W, int32_t H) {
  if (!FBackBufferTBitmap) {
    FBackBufferTBitmap = std::make_unique<TBitmap>(10, 10, TPixelFormat::pf24bit);
    FBackBuffer = std::make_unique<TQxBitmap>();
    FBackBuffer->AttachTBitmap(FBackBufferTBitmap.get(), true);
  }
  if (FBackBufferTBitmap->Width() != W || FBackBufferTBitmap->Height() != H ||
      FBackBuffer->Width() != W || FBackBuffer->Height() != H) {
    FBackBufferTBitmap->SetSize(W, H);
    FBackBuffer->AttachTBitmap(FBackBufferTBitmap.get(), false);
    FBackBufferRows.clear();
    FBufferDirty = true;
    BackBufferDrawnOver(FBackBuffer.get());
  }
}

TBitmap* TQuillotView::BackBufferBitmap() {
  BackBufferDrawnOver(FBackBuffer.get());
  return FBackBufferTBitmap.get();
}

TQxBitmap* TQuillotView::BackBuffer() const {
  if (FComposeCache) FComposeCache->Shown = false;
  return FBackBuffer.get();
}

void TQuillotView::BackBufferDrawnOver(const TQxBitmap* Dest) {
  if (FComposeCache && Dest && Dest == FBackBuffer.get()) FComposeCache->Shown = false;
}

void TQuillotView::PaintClientRect(const TRect& R) {
  if (!HasParentWindow() && !OffscreenMode) return;
  const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
  if (cw <= 0 || ch <= 0) return;
  // A client's worth of pixels is drawn and copied faster by this thread alone than by waking others,
  // and a frame must not wait for a thread the machine has not scheduled. Work on the whole picture
  // (shrinking it for a filtered zoom) takes every core again.
  TParallelInlineScope onThisThread;
  EnsureBackBuffer(cw, ch);
  // A frame whose layers were just drawn in bands on every core lies in their caches: its rows are sent
  // to the window from there too.
  std::optional<TParallelInlineScope> sendOnEveryCore;
  if (FBufferDirty) {
    FComposedOnEveryCore = false;
    // A part sent ahead of a pending full repaint (an overlay taken off the window) must not leave the
    // rest of the buffer stale for that repaint: the whole buffer is composed then.
    const TRect whole(0, 0, cw, ch);
    const bool all = FRepaintAll || (R.Left <= 0 && R.Top <= 0 && R.Right >= cw && R.Bottom >= ch);
    ComposeLayersTo(FBackBuffer.get(), &FBackBufferRows, all ? &whole : &R, true, true);
    if (FComposedOnEveryCore) sendOnEveryCore.emplace(false);
    if (OnDrawBackBuffer) {
      OnDrawBackBuffer(this);
      BackBufferDrawnOver(FBackBuffer.get());
    }
    // Composed in part, the buffer still owes the rest to the next paint.
    FBufferDirty = !all;
  }
  // The buffer as a device-independent bitmap: rows bottom-up from its first byte.
  FDibInfo.bmiHeader = TQxBitmapInfoHeader();
  FDibInfo.bmiHeader.biWidth = cw;
  FDibInfo.bmiHeader.biHeight = ch;
  FDibInfo.bmiHeader.biBitCount = 24;
  const int32_t w = std::min(R.Width(), cw), h = std::min(R.Height(), ch);
  TCanvas* canvas = ControlCanvasOrNull();
  // A playing video owns the current layer's place in the window: the view draws around it.
  TRegion savedClip;
  bool hadClip = false, clipped = false;
  if (canvas && w > 0 && h > 0 && VideoInWindow()) {
    if (TQxLayer* l = CurrentLayer()) {
      hadClip = GetClipRgn(canvas, savedClip) == 1;
      ExcludeClipRect(canvas, l->ScreenMap.X, l->ScreenMap.Y, l->ScreenMap.X + l->ScreenMap.W,
                      l->ScreenMap.Y + l->ScreenMap.H);
      clipped = true;
    }
  }
  if (canvas && w > 0 && h > 0) {
    // Screens of few colours get a dithered or halftoned picture; true-colour screens a plain copy.
    const int bits = GetDeviceCaps(canvas, BITSPIXEL);
    const bool remote = GetSystemMetrics(SM_REMOTESESSION) != 0;
    if ((ForceDrawDib || bits <= 8) && !remote) {
      QxDrawDibDraw(FDrawDib, canvas, R.Left, R.Top, w, h, &FDibInfo.bmiHeader,
                    FBackBufferTBitmap->ScanLine(ch - 1), R.Left, R.Top, w, h, 0);
    } else if (bits < 24 && !remote) {
      SetStretchBltMode(canvas, HALFTONE);
      StretchBlt(canvas, R.Left, R.Top, w, h, FBackBufferTBitmap->Canvas(), R.Left, R.Top, w, h, SRCCOPY);
    } else if (FIsLinkedView && (FLinkOptions & 2)) {
      if (!FLinkBufferTBitmap) {
        FLinkBufferTBitmap = std::make_unique<TBitmap>(cw, ch, TPixelFormat::pf24bit);
        FLinkBuffer = std::make_unique<TQxBitmap>();
        FLinkBuffer->AttachTBitmap(FLinkBufferTBitmap.get(), true);
      } else if (FLinkBufferTBitmap->Width() != cw || FLinkBufferTBitmap->Height() != ch) {
        FLinkBufferTBitmap->SetSize(cw, ch);
        FLinkBuffer->AttachTBitmap(FLinkBufferTBitmap.get(), false);
      }
      BitBlt(FLinkBufferTBitmap->Canvas(), R.Left, R.Top, w, h, FBackBufferTBitmap->Canvas(), R.Left, R.Top, SRCCOPY);
      if (TQxLayer* l = CurrentLayer()) {
        const TRect outer = Bounds(l->ScreenMap.X, l->ScreenMap.Y, l->ScreenMap.W, l->ScreenMap.H);
        TRect inner;
        if (FSelected)
          inner = TRect(l->LayerToClientX(SelectionBoxLeft()), l->LayerToClientY(SelectionBoxTop()),
                        l->LayerToClientX(SelectionBoxRight() + 1), l->LayerToClientY(SelectionBoxBottom() + 1));
        QxDimAroundBitmapRect(FLinkBufferTBitmap.get(), outer, inner);
      }
      BitBlt(canvas, R.Left, R.Top, w, h, FLinkBufferTBitmap->Canvas(), R.Left, R.Top, SRCCOPY);
    } else {
      BitBlt(canvas, R.Left, R.Top, w, h, FBackBufferTBitmap->Canvas(), R.Left, R.Top, SRCCOPY);
    }
  }
  if (clipped) SelectClipRgn(canvas, hadClip ? &savedClip : nullptr);
  if (FPolygonOpen) DrawRubberSegment();
  if (HandleAllocated()) {
    // A re-created window takes the video's notifications from now on.
    if (FLastWindowHandle && FLastWindowHandle != Handle() && FIO) FIO->RebindDShowWindow();
    FLastWindowHandle = Handle();
  }
}

void TQuillotView::InvalidateRectNoErase(const TRect& R) {
  // Recomposed from the layers as they are: a caller may have changed a layer's pixels without UpdateView.
  ++FContentGeneration;
  FBufferDirty = true;
  if (HandleAllocated()) InvalidateRect(R, false);
}

void TQuillotView::SetInteractionHint(const std::string& Text, int32_t X, int32_t Y, const std::string& Template) {
  FHintText = Text;
  FHintX = X;
  FHintY = Y;
  FHintTemplate = Template;
}

void TQuillotView::SetDrawVersion(bool Value) {
  FDrawVersion = Value;
  PaintView();
}

void TQuillotView::DrawVersionText() {
  TCanvas* c = ControlCanvasOrNull();
  if (!c) return;
  c->Font()->SetName("Arial");
  c->Font()->SetHeight(13);
  c->Font()->SetColor(clBlack);
  c->Brush()->SetStyle(TBrushStyle::bsSolid);
  c->Brush()->SetColor(clWhite);
  const std::string text = std::string("Quillot Version ") + QxQuillotVersion + " - 5/9/2010";
  const TSize sz = c->TextExtent(text);
  c->TextOut(ViewClientWidth() - sz.cx, ViewClientHeight() - sz.cy, text);
}

// ---- composition ----

TResampleFilter TQuillotView::LayerFilter(TQxLayer* Layer) const {
  if (FFastPaintsLeft < 1 && (Layer->Width != 0 || Layer->Height != 0 || FZoomX != 100 || FZoomY != 100))
    return Layer->UseResampleFilter ? Layer->ResampleFilter : FZoomFilter;
  return TResampleFilter::rfNone;
}

void TQuillotView::PaintCompositionBackground(TQxBitmap* Dest, const TRect* UpdateRect) {
  TCanvas* canvas = Dest->GetCanvas();
  TBitmap* platform = Dest->GetTBitmap();
  if (!canvas) return;
  int saved = 0;
  if (UpdateRect) {
    saved = SaveDC(canvas);
    IntersectClipRect(canvas, UpdateRect->Left, UpdateRect->Top, UpdateRect->Right + 1, UpdateRect->Bottom + 1);
  }
  bool handled = false;
  if (OnDrawBackground) OnDrawBackground(this, canvas, TRect(0, 0, Dest->Width(), Dest->Height()), handled);
  if (!handled)
    QxPaintViewBackground(ComponentState(), canvas, platform, FBackgroundStyle, Background(), 0, 0, Dest->Width(),
                          Dest->Height(), FImageLeft, FImageTop, FImageLeft + FDestWidth, FImageTop + FDestHeight,
                          FChessSize, FChessBrushStyle, GradientEndColor, FWallPaper.get(), FWallPaperStyle);
  if (UpdateRect) RestoreDC(canvas, saved);
}

void TQuillotView::CombineMaskLayer(TQxLayer* Layer, TQxLayer* MaskLayer, std::unique_ptr<TQxBitmap>& SavedAlpha,
                                    std::unique_ptr<TQxBitmap>& Combined) {
  TQxBitmap* lb = Layer->Bitmap;
  if (Layer->MaskCache) {
    // The cache is attached for the drawing and taken back by the guard afterwards.
    Combined.reset(Layer->MaskCache);
    return;
  }
  TQxBitmap* mb = MaskLayer->Bitmap;
  if (mb->PixelFormat() != TQxPixelFormat::qx8g) mb->SetPixelFormat(TQxPixelFormat::qx8g);
  if (mb->HasAlphaChannel()) mb->RemoveAlphaChannel(false);
  TQxBitmap* base = FLayers[0]->Bitmap;
  const int32_t W0 = base->Width(), H0 = base->Height();
  TQxBitmap* A = lb->GetAlphaChannel();
  const int32_t bw = lb->Width(), bh = lb->Height();
  auto N = std::make_unique<TQxBitmap>(A->Width(), A->Height(), TQxPixelFormat::qx8g);
  const double dw = Layer->DisplayWidth(), dh = Layer->DisplayHeight();
  const double mdw = MaskLayer->DisplayWidth(), mdh = MaskLayer->DisplayHeight();
  const int32_t mbw = mb->Width(), mbh = mb->Height();
  std::vector<int32_t> mx(size_t(std::max(bw, 0)));
  for (int32_t j = 0; j < bw; ++j)
    mx[size_t(j)] = int32_t(Round((dw / bw * j - MaskLayer->PosX + Layer->PosX) / (mdw / mbw)));
  const bool mode1 = OutsideBaseMode == 1;
  for (int32_t r = 0; r < bh; ++r) {
    const int32_t my = int32_t(Round((dh / bh * r - MaskLayer->PosY + Layer->PosY) / (mdh / mbh)));
    uint8_t* out = N->Scanline(r);
    const uint8_t* a = A->ScanlineToRead(r);
    const bool rowOutside = mode1 && (Round((mdh / mbh) * my) + Layer->PosY < 0 || Round((mdh / mbh) * my) + Layer->PosY > H0);
    if (rowOutside) {
      std::fill(out, out + bw, uint8_t(OutsideBaseLevel));
      continue;
    }
    const bool rowIn = my >= 0 && my < mbh;
    const uint8_t* mrow = rowIn ? mb->ScanlineToRead(std::clamp(my, 0, mbh - 1)) : nullptr;
    for (int32_t j = 0; j < bw; ++j) {
      const int32_t c = mx[size_t(j)];
      int32_t m = (mrow && c >= 0 && c < mbw) ? mrow[c] : 0;
      if (mode1) {
        const int64_t bx = Round((mdw / mbw) * c) + Layer->PosX;
        if (bx < 0 || bx > W0) m = OutsideBaseLevel;
      }
      out[j] = uint8_t(std::min<int32_t>(a[j], m));
    }
  }
  Combined = std::move(N);
  (void)SavedAlpha;
}

bool TQuillotView::DrawCompositionLayer(int32_t i, TQxBitmap* Dest, std::vector<uint8_t*>& DestRows,
                                        const TRect* UpdateRect, bool& First, bool DrawBackground, bool DrawOverlays) {
  TQxLayer* layer = FLayers[size_t(i)];
  TQxBitmap* lb = layer->Bitmap;
  if (!layer->Visible || FDestWidth == 0 || FDestHeight == 0 || !lb ||
      (lb->Width() < MinLayerSize && lb->Height() < MinLayerSize))
    return false;

  // Mask layer: the next layer when it is a mask, or a full one outside the base in fading mode.
  TQxLayer* maskLayer = nullptr;
  std::unique_ptr<TQxLayer> tempMask;
  if (i + 1 < LayerCount() && FLayers[size_t(i + 1)]->IsMask && !layer->IsMask && layer->RotationAngle == 0) {
    maskLayer = FLayers[size_t(i + 1)];
  } else if (i > 0 && OutsideBaseMode == 1) {
    auto mb = new TQxBitmap(lb->Width(), lb->Height(), TQxPixelFormat::qx8g);
    mb->Fill(255);
    tempMask = std::make_unique<TQxLayer>(this, mb, true);
    tempMask->PosX = layer->PosX;
    tempMask->PosY = layer->PosY;
    tempMask->Width = layer->Width;
    tempMask->Height = layer->Height;
    maskLayer = tempMask.get();
  }
  MaskAlphaGuard maskGuard;
  if (maskLayer) {
    std::unique_ptr<TQxBitmap> combined, unused;
    const bool hadAlpha = lb->HasAlphaChannel();
    CombineMaskLayer(layer, maskLayer, unused, combined);
    maskGuard.L = layer;
    maskGuard.HadAlpha = hadAlpha;
    lb->GetAlphaChannel();  // the layer's own alpha, made full when missing
    maskGuard.Saved = lb->SetAlphaChannel(std::move(combined));
    maskGuard.Active = true;
  }

  const int32_t opacity = layer->Opacity;
  if (First && DrawBackground) {
    const bool opaque = !FEnableAlphaChannel || AlphaIsOpaque(lb);
    const bool covered = FImageLeft < 1 && FImageTop < 1 && FDestWidth >= Dest->Width() &&
                         FDestHeight >= Dest->Height() && opaque && opacity > 254;
    // Under an opaque picture only the margins around it show the background: painting the rest only
    // to overwrite it costs a client's worth of memory traffic. Hatch brushes are laid from the clipped
    // area, so the hatched styles keep painting the whole.
    const bool wallpaper = FWallPaper && FWallPaper->Graphic() && !FWallPaper->Graphic()->Empty();
    const bool hatched = FBackgroundStyle >= TQxBackgroundStyle::qxbsHorizontal &&
                         FBackgroundStyle <= TQxBackgroundStyle::qxbsDiagCross;
    if (!covered && opaque && opacity > 254 && !OnDrawBackground && !wallpaper && !hatched &&
        layer->RotationAngle == 0) {
      TRect u(0, 0, Dest->Width() - 1, Dest->Height() - 1);
      if (UpdateRect)
        u = TRect(std::max(u.Left, UpdateRect->Left), std::max(u.Top, UpdateRect->Top),
                  std::min(u.Right, UpdateRect->Right), std::min(u.Bottom, UpdateRect->Bottom));
      // The picture's part of the client, inclusive, where the layer lies there too.
      int32_t l = FImageLeft, t = FImageTop, r = FImageLeft + FDestWidth - 1, b = FImageTop + FDestHeight - 1;
      if (!(LayerCount() == 1 && layer->Width == 0 && layer->Height == 0 && layer->PosX == 0 && layer->PosY == 0)) {
        int32_t x = 0, y = 0, w = 0, h = 0;
        LayerScreenRect(layer, layer->Width != 0 ? layer->Width : lb->Width(),
                        layer->Height != 0 ? layer->Height : lb->Height(), x, y, w, h);
        l = std::max(l, x);
        t = std::max(t, y);
        r = std::min(r, x + w - 1);
        b = std::min(b, y + h - 1);
      }
      if (r < l || b < t) {
        PaintCompositionBackground(Dest, &u);
      } else {
        const TRect strips[4] = {TRect(u.Left, u.Top, u.Right, std::min(u.Bottom, t - 1)),
                                 TRect(u.Left, std::max(u.Top, b + 1), u.Right, u.Bottom),
                                 TRect(u.Left, std::max(u.Top, t), std::min(u.Right, l - 1), std::min(u.Bottom, b)),
                                 TRect(std::max(u.Left, r + 1), std::max(u.Top, t), u.Right, std::min(u.Bottom, b))};
        for (const TRect& strip : strips)
          if (strip.Right >= strip.Left && strip.Bottom >= strip.Top) PaintCompositionBackground(Dest, &strip);
      }
    } else if (!covered) {
      PaintCompositionBackground(Dest, UpdateRect);
    }
  }
  const TResampleFilter filter = LayerFilter(layer);
  const bool solid = First && FBackgroundStyle == TQxBackgroundStyle::qxbsSolid;
  std::vector<int32_t> xt, yt;

  if (LayerCount() == 1 && layer->Width == 0 && layer->Height == 0 && layer->PosX == 0 && layer->PosY == 0) {
    // The common case: the view's own tables, sliced at the first drawn column and row.
    int32_t x1 = FImageLeft, y1 = FImageTop;
    if (UpdateRect) {
      x1 = std::max(x1, UpdateRect->Left);
      y1 = std::max(y1, UpdateRect->Top);
    }
    const int32_t offX = x1 - FImageLeft, offY = y1 - FImageTop;
    // At 100 % the renderer's own tables are the same and let it copy whole rows.
    const bool oneToOne = FZoomX == 100 && FZoomY == 100;
    if (!oneToOne && filter == TResampleFilter::rfNone && offX < FDestWidth && offY < FDestHeight) {
      const size_t cx = size_t(FColumnCursor + offX), cy = size_t(FRowCursor + offY);
      const size_t nx = size_t(FDestWidth - offX), ny = size_t(FDestHeight - offY);
      if (cx + nx <= FColumnOfX.size() && cy + ny <= FRowOfY.size()) {
        xt.assign(FColumnOfX.begin() + cx, FColumnOfX.begin() + cx + nx);
        yt.assign(FRowOfY.begin() + cy, FRowOfY.begin() + cy + ny);
      }
    }
    lb->DrawScaledEx(Dest, DestRows, xt, yt, UpdateRect, FImageLeft, FImageTop, FDestWidth, FDestHeight, FSourceLeft,
                     FSourceTop, FSourceWidth, FSourceHeight, FEnableAlphaChannel, solid, opacity, filter, true,
                     layer->BlendOperation);
    layer->DrawnRect = TRect(FImageLeft, FImageTop, FImageLeft + FDestWidth, FImageTop + FDestHeight);
    layer->ScreenMap = {FImageLeft, FImageTop, FDestWidth, FDestHeight, FSourceLeft, FSourceTop, FSourceWidth,
                        FSourceHeight};
  } else {
    LayerGeometryGuard geometry;
    std::unique_ptr<TQxBitmap> rotated;
    TQxBitmap* drawn = lb;
    if (layer->RotationAngle != 0) {
      geometry.Save(layer);
      const int32_t w = layer->DisplayWidth(), h = layer->DisplayHeight();
      std::unique_ptr<TQxBitmap> sized;
      TQxBitmap* S = lb;
      if (lb->Width() != w || lb->Height() != h) {
        sized = std::make_unique<TQxBitmap>(w, h, lb->PixelFormat());
        QxResampleBitmap(lb, sized.get(), TResampleFilter::rfNone);
        S = sized.get();
      }
      S->GetAlphaChannel();
      rotated = std::make_unique<TQxBitmap>();
      QxRotateInto(S, rotated.get(), 0, nullptr, {}, layer->RotationAngle);
      if (!rotated->HasAlphaChannel() || rotated->GetAlphaChannel()->Width() != rotated->Width()) {
        auto ra = std::make_unique<TQxBitmap>();
        QxRotateInto(S->GetAlphaChannel(), ra.get(), 0, nullptr, {}, layer->RotationAngle);
        if (ra->Width() == rotated->Width() && ra->Height() == rotated->Height()) {
          if (ra->PixelFormat() != TQxPixelFormat::qx8g) ra->SetPixelFormat(TQxPixelFormat::qx8g);
          rotated->SetAlphaChannel(std::move(ra));
        }
      }
      drawn = rotated.get();
      layer->Width = rotated->Width();
      layer->Height = rotated->Height();
      TPoint corners[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
      QxRotatePoints(corners, 3, int32_t(Trunc(w * layer->RotationCenterX)), int32_t(Trunc(h * layer->RotationCenterY)),
                   layer->RotationAngle);
      int32_t minX = corners[0].X, minY = corners[0].Y;
      for (const TPoint& p : corners) {
        minX = std::min(minX, p.X);
        minY = std::min(minY, p.Y);
      }
      layer->PosX = geometry.X + minX;
      layer->PosY = geometry.Y + minY;
      for (int k = 0; k < 4; ++k) {
        layer->Outline[k].X =
            int32_t(Trunc((corners[k].X + geometry.X) * FScaleX)) + FImageLeft - FViewOriginX;
        layer->Outline[k].Y =
            int32_t(Trunc((corners[k].Y + geometry.Y) * FScaleY)) + FImageTop - FViewOriginY;
      }
    }
    if (i > 0 && layer->Aux.Flag != 0 && layer->Aux.Rate >= 1) {
      RefillMagnifier(layer, Dest, filter);
    }
    const int32_t dw = layer->Width != 0 ? layer->Width : drawn->Width();
    const int32_t dh = layer->Height != 0 ? layer->Height : drawn->Height();
    int32_t x = 0, y = 0, w = 0, h = 0;
    LayerScreenRect(layer, dw, dh, x, y, w, h);
    int32_t sx = 0, sy = 0, sw = drawn->Width(), sh = drawn->Height();
    layer->DrawnRect = TRect(x, y, x + w, y + h);
    if (layer->ClipToBase && dw != 0 && dh != 0) {
      TQxBitmap* base = FLayers[0]->Bitmap;
      const int32_t W0 = base->Width(), H0 = base->Height();
      if (ScreenToBitmapX(x) < 0) {
        sx = -int32_t(Trunc(double(drawn->Width()) / dw * layer->PosX));
        sw = drawn->Width() - sx;
        x = BitmapToScreenX(0);
        w = BitmapToScreenX(layer->PosX + dw) - x;
      }
      if (ScreenToBitmapY(y) < 0) {
        sy = -int32_t(Trunc(double(drawn->Height()) / dh * layer->PosY));
        sh = drawn->Height() - sy;
        y = BitmapToScreenY(0);
        h = BitmapToScreenY(layer->PosY + dh) - y;
      }
      const int32_t drawnW = layer->DrawnRect.Width(), drawnH = layer->DrawnRect.Height();
      if (W0 < ScreenToBitmapX(x + w) && drawnW != 0) {
        w = BitmapToScreenX(W0) - x;
        sw = int32_t(Trunc(double(drawn->Width()) / drawnW * w));
      }
      if (H0 < ScreenToBitmapY(y + h) && drawnH != 0) {
        h = BitmapToScreenY(H0) - y;
        sh = int32_t(Trunc(double(drawn->Height()) / drawnH * h));
      }
    }
    if (w > 0 && h > 0)
      drawn->DrawScaledEx(Dest, DestRows, xt, yt, UpdateRect, x, y, w, h, sx, sy, sw, sh, FEnableAlphaChannel, solid,
                          opacity, filter, true, layer->BlendOperation);
    layer->ScreenMap = {x, y, w, h, sx, sy, sw, sh};
  }

  if (DrawOverlays) {
    TBitmap* platform = Dest->Location() == TQxLocation::qxTBitmap ? Dest->GetTBitmap() : nullptr;
    if (platform && layer->ShowBox) {
      if (i == FCurrentLayerIndex) {
        if (FMouseInteract.Contains(TQxMouseInteractItems::miMoveLayers) ||
            FMouseInteract.Contains(TQxMouseInteractItems::miResizeLayers))
          DrawLayerBox(platform, i);
        if (FMouseInteract.Contains(TQxMouseInteractItems::miResizeLayers) && !layer->Locked)
          DrawLayerGrips(platform, i);
        if (FMouseInteract.Contains(TQxMouseInteractItems::miRotateLayers)) DrawRotationGrip(platform, i);
      } else if (BoxAllLayers) {
        DrawLayerBox(platform, i);
      }
    }
    if (platform && layer->DimOutside && i == FCurrentLayerIndex) DimOutsideLayer(platform, i);
  }
  First = false;
  return true;
}

// Plain layers are drawn band by band: every layer's rows of one band while they are still in the cache,
// instead of each layer over the whole client in turn. Every row gets the same background and layers in
// the same order, so the pixels are the same. False (nothing drawn) when a layer needs more than its own
// rows: a rotation, a mask, a magnifier, a filter, boxes or shading drawn between the layers.
bool TQuillotView::DrawLayersInBands(TQxBitmap* Dest, std::vector<uint8_t*>& DestRows, const TRect* UpdateRect,
                                     bool DrawBackground, bool DrawOverlays, bool& First) {
  if (LayerCount() < 2 || OutsideBaseMode != 0 || OnDrawBackground || Dest->MapsRows()) return false;
  if (DrawOverlays && (BoxAllLayers || FMouseInteract.Contains(TQxMouseInteractItems::miMoveLayers) ||
                       FMouseInteract.Contains(TQxMouseInteractItems::miResizeLayers) ||
                       FMouseInteract.Contains(TQxMouseInteractItems::miRotateLayers)))
    return false;
  for (TQxLayer* l : FLayers) {
    TQxBitmap* b = l->Bitmap;
    if (!b || l->RotationAngle != 0 || l->IsMask || l->Aux.Flag != 0 || (DrawOverlays && l->DimOutside) ||
        LayerFilter(l) != TResampleFilter::rfNone || b->MapsRows() ||
        (b->HasAlphaChannel() && b->GetAlphaChannel()->MapsRows()))
      return false;
  }
  // The update rectangle includes its right and bottom edges.
  int32_t x1 = 0, y1 = 0, x2 = Dest->Width() - 1, y2 = Dest->Height() - 1;
  if (UpdateRect) {
    x1 = std::max(x1, UpdateRect->Left);
    y1 = std::max(y1, UpdateRect->Top);
    x2 = std::min(x2, UpdateRect->Right);
    y2 = std::min(y2, UpdateRect->Bottom);
  }
  if (x2 < x1 || y2 < y1) return false;
  if (FZoomX < 100 || FZoomY < 100) {
    // Shrunken layers sample many more rows than they draw: drawn together, band by band on every core.
    TQxDrawBatch together;
    for (int32_t i = 0; i < LayerCount(); ++i)
      DrawCompositionLayer(i, Dest, DestRows, UpdateRect, First, DrawBackground, DrawOverlays);
    FComposedOnEveryCore = true;
    return true;
  }
  // A band's rows of the buffer and of every layer stay in the core's own cache: a quarter of it each.
  static const int64_t bandBytes = [] {
    const long l2 = sysconf(_SC_LEVEL2_CACHE_SIZE);
    return std::clamp<int64_t>(l2 > 0 ? l2 / 4 : 0, 65536, 524288);
  }();
  const int32_t band = std::max<int32_t>(8, int32_t(bandBytes / (int64_t(x2 - x1 + 1) * 3)));
  for (int32_t y = y1; y <= y2; y += band) {
    const TRect clip(x1, y, x2, std::min(y + band - 1, y2));
    bool first = true;
    for (int32_t i = 0; i < LayerCount(); ++i)
      DrawCompositionLayer(i, Dest, DestRows, &clip, first, DrawBackground, DrawOverlays);
    First = First && first;
  }
  return true;
}

void TQuillotView::LayerScreenRect(TQxLayer* Layer, int32_t DW, int32_t DH, int32_t& X, int32_t& Y, int32_t& W,
                                   int32_t& H) {
  auto edgeX = [this](int32_t bx) {
    int32_t x = BitmapToScreenX(bx);
    const int32_t back = ScreenToBitmapX(x);
    if (back < bx) ++x;
    else if (back > bx) --x;
    return x;
  };
  auto edgeY = [this](int32_t by) {
    int32_t y = BitmapToScreenY(by);
    const int32_t back = ScreenToBitmapY(y);
    if (back < by) ++y;
    else if (back > by) --y;
    return y;
  };
  X = edgeX(Layer->PosX);
  Y = edgeY(Layer->PosY);
  W = edgeX(Layer->PosX + DW) - X;
  H = edgeY(Layer->PosY + DH) - Y;
}

// ---- flattened layers for filtered zoom ----

bool TQuillotView::DrawFlattenedLayers(TQxBitmap* Dest, std::vector<uint8_t*>& DestRows, const TRect* UpdateRect,
                                       bool DrawBackground, bool DrawOverlays) {
  if (LayerCount() < 2 || OutsideBaseMode != 0 || FDestWidth <= 0 || FDestHeight <= 0 || FSourceWidth <= 0 ||
      FSourceHeight <= 0)
    return false;
  if (FImageLeft < 0 || FImageTop < 0 || FImageLeft + FDestWidth > Dest->Width() ||
      FImageTop + FDestHeight > Dest->Height())
    return false;
  if (DrawOverlays && (BoxAllLayers || FMouseInteract.Contains(TQxMouseInteractItems::miMoveLayers) ||
                       FMouseInteract.Contains(TQxMouseInteractItems::miResizeLayers) ||
                       FMouseInteract.Contains(TQxMouseInteractItems::miRotateLayers)))
    return false;
  TQxLayer* l0 = FLayers[0];
  TQxBitmap* b0 = l0->Bitmap;
  const int32_t W0 = b0->Width(), H0 = b0->Height();
  const TResampleFilter filter = LayerFilter(l0);
  if (filter == TResampleFilter::rfNone || l0->PosX != 0 || l0->PosY != 0 || l0->DisplayWidth() != W0 ||
      l0->DisplayHeight() != H0)
    return false;
  // Plain layers only: inside layer 0, at their own size, no rotation, mask, magnifier or blend operation.
  std::vector<int64_t> key;
  key.reserve(size_t(LayerCount()) * 14 + 12);
  for (TQxLayer* l : FLayers) {
    TQxBitmap* b = l->Bitmap;
    if (!b || l->RotationAngle != 0 || l->IsMask || l->Aux.Flag != 0 || l->BlendOperation != 0 || l->DimOutside ||
        LayerFilter(l) != filter)
      return false;
    const TQxPixelFormat f = b->PixelFormat();
    if (f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qx1g) return false;
    if (l->Visible && (l->DisplayWidth() != b->Width() || l->DisplayHeight() != b->Height() || l->PosX < 0 ||
                       l->PosY < 0 || l->PosX + b->Width() > W0 || l->PosY + b->Height() > H0))
      return false;
    TQxBitmap* a = b->HasAlphaChannel() ? b->GetAlphaChannel() : nullptr;
    for (int64_t v : {int64_t(reinterpret_cast<uintptr_t>(b)), int64_t(reinterpret_cast<uintptr_t>(a)),
                      int64_t(b->Width()), int64_t(b->Height()), int64_t(f), int64_t(l->PosX), int64_t(l->PosY),
                      int64_t(l->Opacity), int64_t(l->Visible)})
      key.push_back(v);
  }
  for (int64_t v : {int64_t(FContentGeneration), int64_t(FSourceLeft), int64_t(FSourceTop), int64_t(FSourceWidth),
                    int64_t(FSourceHeight), int64_t(FDestWidth), int64_t(FDestHeight), int64_t(filter),
                    int64_t(FEnableAlphaChannel)})
    key.push_back(v);

  if (!FFlatCache) FFlatCache = std::make_unique<TFlatPaintCache>();
  TFlatPaintCache& cache = *FFlatCache;
  if (cache.Key != key) {
    cache.Key.clear();
    const int32_t SL = FSourceLeft, ST = FSourceTop, SW = FSourceWidth, SH = FSourceHeight;
    const int32_t DW = FDestWidth, DH = FDestHeight;
    bool mapped = false;
    for (TQxLayer* l : FLayers)
      mapped = mapped || l->Bitmap->MapsRows() ||
               (l->Bitmap->HasAlphaChannel() && l->Bitmap->GetAlphaChannel()->MapsRows());
    const int32_t oneBand = INT32_MAX;
    // Row r of the visible part, every layer over layer 0, into D (colour) and DA (alpha).
    auto flattenRow = [&](int32_t r, uint8_t* D, uint8_t* DA, std::vector<uint8_t>& expand) {
      const int32_t y0 = ST + r;
      bool firstLayer = true;
      for (TQxLayer* l : FLayers) {
        TQxBitmap* b = l->Bitmap;
        if (!l->Visible) continue;
        const int32_t ly = y0 - l->PosY;
        const int32_t x1 = std::max(SL, l->PosX), x2 = std::min(SL + SW, l->PosX + b->Width());
        if (ly < 0 || ly >= b->Height() || x2 <= x1) continue;
        const uint8_t* P = b->ScanlineToRead(ly);
        if (b->PixelFormat() == TQxPixelFormat::qx1g) {
          expand.resize(size_t(b->Width()) * 3 + 3);
          QxExpandBitRow(P, expand.data(), b->Width());
          P = expand.data();
        }
        const uint8_t* A = FEnableAlphaChannel && b->HasAlphaChannel() ? b->GetAlphaChannel()->ScanlineToRead(ly) : nullptr;
        const int32_t op = std::clamp(l->Opacity, 0, 255);
        if (firstLayer) {
          // Layer 0 covers the whole visible part.
          std::memcpy(D, P + size_t(SL) * 3, size_t(SW) * 3);
          if (A)
            QxMinRow(DA, A + SL, uint8_t(op), SW);
          else
            std::memset(DA, op, size_t(SW));
          firstLayer = false;
          continue;
        }
        QxOverRow(D + size_t(x1 - SL) * 3, DA + (x1 - SL), P + size_t(x1 - l->PosX) * 3, A ? A + (x1 - l->PosX) : nullptr,
                op, x2 - x1);
      }
    };
    std::atomic<bool> opaque{true};
    TQxBitmap& out = cache.Scaled;
    out.FreeImage(true);
    auto scaledAlpha = std::make_unique<TQxBitmap>(DW, DH, TQxPixelFormat::qx8g);
    TParallelInlineScope everyCore(false);
    if (filter == TResampleFilter::rfFastLinear && DW < SW && DH < SH) {
      // Shrinking by averaging boxes, as the resampler does, pulling the flattened rows as each box needs
      // them: no copy of the whole picture, and the boxes run on every core.
      out.Allocate(DW, DH, TQxPixelFormat::qx24RGB);
      const double sx = double(DW) / SW, sy = double(DH) / SH;
      std::vector<int32_t> q0(static_cast<size_t>(DW)), q1(static_cast<size_t>(DW));
      std::vector<uint64_t> recipX(static_cast<size_t>(DW));
      auto reciprocal = [](int64_t n) { return uint64_t((uint64_t(1) << 32) / uint64_t(n) + 1); };
      for (int32_t i = 0; i < DW; ++i) {
        q0[size_t(i)] = int32_t(std::min<int64_t>(Trunc(i / sx), SW - 1));
        q1[size_t(i)] = int32_t(std::clamp<int64_t>(Trunc(std::min(i + 1, DW - 1) / sx + 1e-10), q0[size_t(i)], SW - 1));
        recipX[size_t(i)] = reciprocal(q1[size_t(i)] - q0[size_t(i)] + 1);
      }
      std::vector<int32_t> r0s(static_cast<size_t>(DH)), r1s(static_cast<size_t>(DH));
      for (int32_t j = 0; j < DH; ++j) {
        r0s[size_t(j)] = int32_t(std::min<int64_t>(Trunc(j / sy), SH - 1));
        r1s[size_t(j)] = int32_t(std::clamp<int64_t>(Trunc(std::min(j + 1, DH - 1) / sy), r0s[size_t(j)], SH - 1));
      }
      // Box sums of up to 257 pixels fit the 16-bit lanes of QxBoxAverages' packed sums.
      bool narrowBoxes = true;
      for (int32_t i = 0; i < DW; ++i) narrowBoxes = narrowBoxes && q1[size_t(i)] - q0[size_t(i)] < 257;
      ParallelBands(0, DH, mapped ? oneBand : 4, [&](int32_t First, int32_t Last) {
        std::vector<uint8_t> expand, row(static_cast<size_t>(SW) * 3), rowA(static_cast<size_t>(SW));
        std::vector<uint32_t> acc(static_cast<size_t>(DW) * 4), boxes(static_cast<size_t>(DW) * 4);
        std::vector<uint64_t> prefix(static_cast<size_t>(SW) + 1);
        int32_t boxesRow = -1;  // the source row whose box averages boxes holds (neighbouring screen rows share one)
        bool allOpaque = true;
        for (int32_t j = First; j < Last; ++j) {
          const int32_t r0 = r0s[size_t(j)], r1 = r1s[size_t(j)];
          std::fill(acc.begin(), acc.end(), 0u);
          for (int32_t r = r0; r <= r1; ++r) {
            if (r != boxesRow) {
              flattenRow(r, row.data(), rowA.data(), expand);
              QxBoxAverages(row.data(), rowA.data(), SW, q0.data(), q1.data(), recipX.data(), DW, narrowBoxes,
                          prefix.data(), boxes.data());
              boxesRow = r;
            }
            QxAddRow(acc.data(), boxes.data(), acc.size());
          }
          const uint64_t m = reciprocal(r1 - r0 + 1);
          uint8_t* D = out.Scanline(j);
          uint8_t* DA = scaledAlpha->Scanline(j);
          for (int32_t i = 0; i < DW; ++i) {
            for (int c = 0; c < 3; ++c) D[i * 3 + c] = uint8_t((uint64_t(acc[size_t(i) * 4 + c]) * m) >> 32);
            DA[i] = uint8_t((uint64_t(acc[size_t(i) * 4 + 3]) * m) >> 32);
            allOpaque = allOpaque && DA[i] == 255;
          }
        }
        if (!allOpaque) opaque.store(false, std::memory_order_relaxed);
      });
    } else {
      TQxBitmap flat(SW, SH, TQxPixelFormat::qx24RGB);
      auto flatAlpha = std::make_unique<TQxBitmap>(SW, SH, TQxPixelFormat::qx8g);
      ParallelBands(0, SH, mapped ? oneBand : 16, [&](int32_t First, int32_t Last) {
        std::vector<uint8_t> expand;
        bool allOpaque = true;
        for (int32_t r = First; r < Last; ++r) {
          uint8_t* DA = flatAlpha->Scanline(r);
          flattenRow(r, flat.Scanline(r), DA, expand);
          for (int32_t x = 0; x < SW && allOpaque; ++x) allOpaque = DA[x] == 255;
        }
        if (!allOpaque) opaque.store(false, std::memory_order_relaxed);
      });
      if (SW == DW && SH == DH) {
        out.AssignFrom(&flat);
        scaledAlpha->AssignFrom(flatAlpha.get());
      } else {
        out.Allocate(DW, DH, TQxPixelFormat::qx24RGB);
        QxResample(&flat, &out, filter);
        QxResampleGray8(flatAlpha.get(), scaledAlpha.get(), filter);
      }
    }
    if (!opaque.load()) {
      scaledAlpha->Opaque = false;
      out.SetAlphaChannel(std::move(scaledAlpha));
    }
    cache.Key = std::move(key);
  }

  TQxBitmap& scaled = cache.Scaled;
  if (DrawBackground && scaled.HasAlphaChannel()) PaintCompositionBackground(Dest, UpdateRect);
  else if (DrawBackground && (FImageLeft > 0 || FImageTop > 0 || FDestWidth < Dest->Width() ||
                              FDestHeight < Dest->Height()))
    PaintCompositionBackground(Dest, UpdateRect);
  std::vector<int32_t> xt, yt;
  scaled.DrawScaledEx(Dest, DestRows, xt, yt, UpdateRect, FImageLeft, FImageTop, FDestWidth, FDestHeight, 0, 0,
                      FDestWidth, FDestHeight, true, FBackgroundStyle == TQxBackgroundStyle::qxbsSolid, 255,
                      TResampleFilter::rfNone, true, 0);
  // Where each layer lies on the screen, as drawing it on its own would have recorded.
  for (int32_t i = 0; i < LayerCount(); ++i) {
    TQxLayer* l = FLayers[size_t(i)];
    if (!l->Visible) continue;
    if (i == 0) {
      l->DrawnRect = TRect(FImageLeft, FImageTop, FImageLeft + FDestWidth, FImageTop + FDestHeight);
      l->ScreenMap = {FImageLeft, FImageTop, FDestWidth, FDestHeight, FSourceLeft, FSourceTop, FSourceWidth,
                      FSourceHeight};
      continue;
    }
    int32_t x = 0, y = 0, w = 0, h = 0;
    LayerScreenRect(l, l->Bitmap->Width(), l->Bitmap->Height(), x, y, w, h);
    l->DrawnRect = TRect(x, y, x + w, y + h);
    l->ScreenMap = {x, y, w, h, 0, 0, l->Bitmap->Width(), l->Bitmap->Height()};
  }
  if (DrawOverlays) {
    TBitmap* platform = Dest->Location() == TQxLocation::qxTBitmap ? Dest->GetTBitmap() : nullptr;
    TQxLayer* cur = CurrentLayer();
    if (platform && cur && cur->DimOutside) DimOutsideLayer(platform, FCurrentLayerIndex);
  }
  return true;
}

// A magnifier layer shows an enlarged copy of what lies under its centre: of layer 0's bitmap, or of
// the picture composed so far.
void TQuillotView::RefillMagnifier(TQxLayer* Layer, TQxBitmap* Dest, TResampleFilter Filter) {
  TQxBitmap* lb = Layer->Bitmap;
  if (!FLayerResizeByMouse) {
    if (Layer->Width > 0 && lb->Width() != Layer->Width) lb->ChangeWidth(Layer->Width);
    if (Layer->Height > 0 && lb->Height() != Layer->Height) lb->ChangeHeight(Layer->Height);
  }
  const int32_t bw = lb->Width(), bh = lb->Height();
  if (bw < 1 || bh < 1) return;
  const double rate = Layer->Aux.Rate;
  const int32_t sw = int32_t(Trunc(bw / (rate / FScaleX))), sh = int32_t(Trunc(bh / (rate / FScaleY)));
  const int32_t cx = BitmapToScreenX(Layer->PosX) + int32_t(Trunc(bw * FScaleX / 2));
  const int32_t cy = BitmapToScreenY(Layer->PosY) + int32_t(Trunc(bh * FScaleY / 2));
  const int32_t L = cx - sw / 2, T = cy - sh / 2, R = L + sw, B = T + sh;
  if (Layer->Aux.Source == 0) {
    if (lb->PixelFormat() != TQxPixelFormat::qx24RGB) lb->SetPixelFormat(TQxPixelFormat::qx24RGB);
    TQxBitmap* base = FLayers[0]->Bitmap;
    const int32_t W0 = base->Width(), H0 = base->Height();
    const int32_t l = ScreenToBitmapX(L), t = ScreenToBitmapY(T);
    const int32_t srcW = ScreenToBitmapX(R) - l + 1, srcH = ScreenToBitmapY(B) - t + 1;
    // Only a region wholly inside the picture is shown; otherwise the lens keeps what it showed.
    if (l >= 0 && t >= 0 && l < W0 - srcW && t < H0 - srcH && srcW < W0 && srcH < H0) {
      lb->Fill(0);
      base->DrawScaled(lb, 0, 0, bw, bh, l, t, srcW, srcH, 255, Filter);
    }
  } else if (TCanvas* from = Dest->GetCanvas()) {
    lb->SetLocation(TQxLocation::qxTBitmap);
    if (TCanvas* to = lb->GetCanvas()) to->CopyRect(TRect(0, 0, bw, bh), from, TRect(L, T, R, B));
  }
  TQxBitmap* a = lb->GetAlphaChannel();
  if (!a) return;
  if (Layer->Aux.Style == 0) {
    a->Fill(255);
    return;
  }
  a->SetLocation(TQxLocation::qxTBitmap);
  a->Fill(0);
  a->Opaque = false;
  if (TCanvas* c = a->GetCanvas()) {
    c->Brush()->SetStyle(TBrushStyle::bsSolid);
    c->Brush()->SetColor(clWhite);
    c->Pen()->SetStyle(TPenStyle::psSolid);
    c->Pen()->SetColor(clWhite);
    c->Pen()->SetMode(TPenMode::pmCopy);
    c->Pen()->SetWidth(1);
    c->Ellipse(0, 0, bw - 1, bh - 1);
  }
}

namespace {

int64_t KeyOf(double V) { return std::bit_cast<int64_t>(V); }
int64_t KeyOf(const void* P) { return int64_t(reinterpret_cast<uintptr_t>(P)); }

}  // namespace

// Everything the composition of the back buffer depends on, or false when it depends on something that
// cannot be told (a handler, a wallpaper, magnifiers, overlays drawn between the layers).
bool TQuillotView::CompositionKey(TQxBitmap* Dest, bool DrawBackground, bool DrawOverlays, std::vector<int64_t>& Key) {
  if (!FBackBuffer || Dest != FBackBuffer.get() || OutsideBaseMode != 0 || OnDrawBackground ||
      (FWallPaper && FWallPaper->Graphic()))
    return false;
  if (DrawOverlays && (BoxAllLayers || FMouseInteract.Contains(TQxMouseInteractItems::miMoveLayers) ||
                       FMouseInteract.Contains(TQxMouseInteractItems::miResizeLayers) ||
                       FMouseInteract.Contains(TQxMouseInteractItems::miRotateLayers)))
    return false;
  Key.clear();
  Key.reserve(size_t(LayerCount()) * 32 + 48);
  for (TQxLayer* l : FLayers) {
    if (l->Aux.Flag != 0 || (DrawOverlays && l->DimOutside)) return false;
    TQxBitmap* b = l->Bitmap;
    TQxBitmap* a = b && b->HasAlphaChannel() ? b->GetAlphaChannel() : nullptr;
    for (int64_t v : {KeyOf(b), KeyOf(a), int64_t(l->PosX), int64_t(l->PosY), int64_t(l->Width), int64_t(l->Height),
                      int64_t(l->Visible), int64_t(l->Opacity), KeyOf(l->RotationAngle), KeyOf(l->RotationCenterX),
                      KeyOf(l->RotationCenterY), int64_t(l->BlendOperation), int64_t(l->IsMask),
                      int64_t(l->ClipToBase), int64_t(LayerFilter(l))})
      Key.push_back(v);
    if (b)
      for (int64_t v : {int64_t(b->Width()), int64_t(b->Height()), int64_t(b->PixelFormat()), int64_t(b->AdjustColors),
                        int64_t(b->Contrast), int64_t(b->ChannelOffsets[0]), int64_t(b->ChannelOffsets[1]),
                        int64_t(b->ChannelOffsets[2]), int64_t(b->ChannelOffsets[3]), KeyOf(b->RangeLow),
                        KeyOf(b->RangeHigh)})
        Key.push_back(v);
    if (a)
      for (int64_t v : {int64_t(a->Width()), int64_t(a->Height()), int64_t(a->PixelFormat()), int64_t(a->Opaque)})
        Key.push_back(v);
  }
  for (int64_t v :
       {int64_t(FContentGeneration), KeyOf(Dest), int64_t(Dest->Width()), int64_t(Dest->Height()),
        int64_t(DrawBackground), int64_t(DrawOverlays), KeyOf(FZoomX), KeyOf(FZoomY), int64_t(FImageLeft),
        int64_t(FImageTop), int64_t(FImageWidth), int64_t(FImageHeight), int64_t(FSourceWidth),
        int64_t(FSourceHeight), int64_t(FDestWidth), int64_t(FDestHeight), int64_t(FZoomedWidth),
        int64_t(FZoomedHeight), int64_t(FEnableAlphaChannel), int64_t(FBackgroundStyle), int64_t(Background()),
        int64_t(FChessSize), int64_t(FChessBrushStyle), int64_t(GradientEndColor), int64_t(MinLayerSize),
        int64_t(FCurrentLayerIndex), int64_t(LayerCount())})
    Key.push_back(v);
  for (int64_t v : {int64_t(FViewOriginX), int64_t(FViewOriginY), int64_t(FSourceLeft), int64_t(FSourceTop),
                    int64_t(FColumnCursor), int64_t(FRowCursor)})
    Key.push_back(v);
  return true;
}

// True where the first layer covers the whole client opaquely, so that no background shows anywhere.
bool TQuillotView::BackgroundHidden(TQxBitmap* Dest) {
  TQxLayer* l0 = FLayers.empty() ? nullptr : FLayers[0];
  if (!l0 || !l0->Visible || !l0->Bitmap || l0->Opacity < 255 || l0->PosX != 0 || l0->PosY != 0 ||
      l0->Width != 0 || l0->Height != 0 || l0->IsMask || l0->BlendOperation != 0)
    return false;
  TQxBitmap* b = l0->Bitmap;
  if (b->Width() < MinLayerSize && b->Height() < MinLayerSize) return false;
  if (FEnableAlphaChannel && !AlphaIsOpaque(b)) return false;
  return FImageLeft < 1 && FImageTop < 1 && FDestWidth >= Dest->Width() && FDestHeight >= Dest->Height();
}

// True where the background writes every pixel it covers. A hatch leaves what the buffer held between
// its lines, so what shows through a transparent picture depends on the frames before.
bool TQuillotView::BackgroundOverwrites() const {
  switch (FBackgroundStyle) {
    case TQxBackgroundStyle::qxbsHorizontal:
    case TQxBackgroundStyle::qxbsVertical:
    case TQxBackgroundStyle::qxbsFDiagonal:
    case TQxBackgroundStyle::qxbsBDiagonal:
    case TQxBackgroundStyle::qxbsCross:
    case TQxBackgroundStyle::qxbsDiagCross:
      return false;
    case TQxBackgroundStyle::qxbsChessboard:
    case TQxBackgroundStyle::qxbsPhotoLike:
      return FChessBrushStyle == TBrushStyle::bsSolid;
    default:
      return true;
  }
}

// Where the background can show in the client, as rectangles that include their right and bottom edges:
// the margins around the picture and the rows where layer 0 is not opaque. False where it could show
// elsewhere too (layer 0 see-through as a whole, moved or resized, a layer reaching outside it).
bool TQuillotView::BackgroundShowsThrough(TQxBitmap* Dest, std::vector<TRect>& Rects) {
  Rects.clear();
  TQxLayer* l0 = FLayers.empty() ? nullptr : FLayers[0];
  if (!l0 || !l0->Visible || !l0->Bitmap || l0->Opacity < 255 || l0->PosX != 0 || l0->PosY != 0 ||
      l0->Width != 0 || l0->Height != 0 || l0->IsMask || l0->BlendOperation != 0)
    return false;
  TQxBitmap* b0 = l0->Bitmap;
  const int32_t W0 = b0->Width(), H0 = b0->Height();
  if (W0 < MinLayerSize && H0 < MinLayerSize) return false;
  for (size_t i = 1; i < FLayers.size(); ++i) {
    TQxLayer* l = FLayers[i];
    if (l->Visible && l->Bitmap &&
        (l->PosX < 0 || l->PosY < 0 || l->PosX + l->DisplayWidth() > W0 || l->PosY + l->DisplayHeight() > H0))
      return false;
  }
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  const int32_t x1 = FImageLeft, y1 = FImageTop, x2 = FImageLeft + FDestWidth, y2 = FImageTop + FDestHeight;
  if (x1 < 0 || y1 < 0 || x2 > dw || y2 > dh || x2 <= x1 || y2 <= y1 || FSourceLeft < 0 || FSourceTop < 0 ||
      FSourceLeft + FDestWidth > W0 || FSourceTop + FDestHeight > H0)
    return false;
  if (x1 > 0) Rects.push_back(TRect(0, 0, x1 - 1, dh - 1));
  if (x2 < dw) Rects.push_back(TRect(x2, 0, dw - 1, dh - 1));
  if (y1 > 0) Rects.push_back(TRect(x1, 0, x2 - 1, y1 - 1));
  if (y2 < dh) Rects.push_back(TRect(x1, y2, x2 - 1, dh - 1));
  if (!FEnableAlphaChannel || AlphaIsOpaque(b0)) return true;
  TQxBitmap* a = b0->GetAlphaChannel();
  if (a->Width() != W0 || a->Height() != H0 || a->PixelFormat() != TQxPixelFormat::qx8g) return false;
  TComposeCache& cc = *FComposeCache;
  if (cc.RowsAlpha != a || cc.RowsGeneration != FContentGeneration || cc.RowsWidth != W0 ||
      cc.RowKnown.size() != size_t(H0)) {
    cc.RowsAlpha = a;
    cc.RowsGeneration = FContentGeneration;
    cc.RowsWidth = W0;
    cc.RowKnown.assign(size_t(H0), 0);
    cc.RowFirst.resize(size_t(H0));
    cc.RowLast.resize(size_t(H0));
  }
  // At 100 % client row y shows source row FSourceTop + y - y1, columns FSourceLeft on.
  const int32_t c1 = FSourceLeft, c2 = FSourceLeft + FDestWidth - 1;
  int32_t runStart = -1;
  for (int32_t y = y1; y <= y2; ++y) {
    bool shows = false;
    if (y < y2) {
      const size_t r = size_t(FSourceTop + y - y1);
      if (!cc.RowKnown[r]) {
        const uint8_t* p = a->ScanlineToRead(int32_t(r));
        int32_t first = 0, last = W0 - 1;
        while (first < W0 && p[first] == 255) ++first;
        while (last >= first && p[last] == 255) --last;
        cc.RowFirst[r] = first;
        cc.RowLast[r] = last;
        cc.RowKnown[r] = 1;
      }
      shows = cc.RowFirst[r] <= cc.RowLast[r] && cc.RowFirst[r] <= c2 && cc.RowLast[r] >= c1;
    }
    if (shows && runStart < 0) runStart = y;
    if (!shows && runStart >= 0) {
      Rects.push_back(TRect(x1, runStart, x2 - 1, y - 1));
      runStart = -1;
    }
  }
  return true;
}

void TQuillotView::ComposeLayersTo(TQxBitmap* Dest, std::vector<uint8_t*>* DestRows, const TRect* UpdateRect,
                                   bool DrawBackground, bool DrawOverlays) {
  SyncLayers();
  UpdateViewExtents();
  BuildZoomTables();
  if (ComponentState().Contains(csDesigning) || !FCurrentBitmap || FCurrentBitmap->Width() == 0 ||
      FCurrentBitmap->Height() == 0)
    return;
  if (FCurrentBitmap->HasAlphaChannel()) {
    TQxBitmap* a = FCurrentBitmap->GetAlphaChannel();
    if (a->Width() != FCurrentBitmap->Width() || a->Height() != FCurrentBitmap->Height()) return;
  }
  std::vector<uint8_t*> ownRows;
  std::vector<uint8_t*>& rows = DestRows ? *DestRows : ownRows;
  bool first = true;

  // A repaint that changes nothing the composition depends on (an expose, a scroll back, an overlay)
  // copies the last one. It is kept from the second identical composition on, so that a run of changing
  // frames pays no copy.
  std::vector<int64_t> key;
  const bool cacheable = CompositionKey(Dest, DrawBackground, DrawOverlays, key);
  if (!FComposeCache) FComposeCache = std::make_unique<TComposeCache>();
  TComposeCache& cc = *FComposeCache;
  const int32_t dw = Dest->Width(), dh = Dest->Height();
  // The update rectangle includes its right and bottom edges, as the background and the layers clip it.
  int32_t rx1 = 0, ry1 = 0, rx2 = dw - 1, ry2 = dh - 1;
  if (UpdateRect) {
    rx1 = std::max(rx1, UpdateRect->Left);
    ry1 = std::max(ry1, UpdateRect->Top);
    rx2 = std::min(rx2, UpdateRect->Right);
    ry2 = std::min(ry2, UpdateRect->Bottom);
  }
  const bool wholeDest = rx1 == 0 && ry1 == 0 && rx2 == dw - 1 && ry2 == dh - 1;
  auto keepPlaces = [this](std::vector<TComposeCache::LayerPlace>& Places) {
    Places.resize(FLayers.size());
    for (size_t i = 0; i < FLayers.size(); ++i) {
      Places[i].DrawnRect = FLayers[i]->DrawnRect;
      Places[i].ScreenMap = FLayers[i]->ScreenMap;
      std::copy(FLayers[i]->Outline, FLayers[i]->Outline + 4, Places[i].Outline);
    }
  };
  auto restorePlaces = [this](const std::vector<TComposeCache::LayerPlace>& Places) {
    for (size_t i = 0; i < FLayers.size(); ++i) {
      FLayers[i]->DrawnRect = Places[i].DrawnRect;
      FLayers[i]->ScreenMap = Places[i].ScreenMap;
      std::copy(Places[i].Outline, Places[i].Outline + 4, FLayers[i]->Outline);
    }
  };
  // What the back buffer holds once this composition is done: the composition of key where it was
  // composed whole (or moved and completed), or kept; anything else leaves it unknown.
  bool shownNow = false;
  if (cacheable && cc.Shown && cc.ShownKey == key && cc.ShownWidth == dw && cc.ShownHeight == dh &&
      cc.ShownPlaces.size() == FLayers.size()) {
    // The back buffer already shows it.
    restorePlaces(cc.ShownPlaces);
    first = false;
    shownNow = true;
  } else if (cacheable && cc.Valid && cc.Key == key && cc.Width == dw && cc.Height == dh &&
      cc.Places.size() == FLayers.size()) {
    if (rx2 >= rx1)
      for (int32_t y = ry1; y <= ry2; ++y)
        std::memcpy(Dest->Scanline(y) + size_t(rx1) * 3, cc.Pixels.data() + (size_t(y) * dw + rx1) * 3,
                    size_t(rx2 - rx1 + 1) * 3);
    restorePlaces(cc.Places);
    first = false;
    shownNow = wholeDest;
  } else {
    // A shrunken picture is sampled from many more rows than the client has: that waits on memory more
    // than it computes, and every core helps. At 100 % and above the layers are drawn band by band.
    const bool shrunk = FZoomX < 100 || FZoomY < 100;
    std::optional<TParallelInlineScope> everyCore;
    if (shrunk) everyCore.emplace(false);
    if (DrawFlattenedLayers(Dest, rows, UpdateRect, DrawBackground, DrawOverlays))
      first = false;
    else if (!DrawLayersInBands(Dest, rows, UpdateRect, DrawBackground, DrawOverlays, first))
      for (int32_t i = 0; i < LayerCount(); ++i)
        DrawCompositionLayer(i, Dest, rows, UpdateRect, first, DrawBackground, DrawOverlays);
    if (first && DrawBackground && OutsideBaseMode == 0) {
      PaintCompositionBackground(Dest, UpdateRect);
      first = false;
    }
    shownNow = cacheable && wholeDest;
    if (!cacheable || !wholeDest || cc.Key != key) {
      cc.Valid = false;
      if (cacheable && wholeDest) cc.Key = key;
      else cc.Key.clear();
    } else if (!cc.Valid && !cc.Shown) {
      // Kept aside only when the back buffer could not keep it (something was drawn over it).
      cc.Width = dw;
      cc.Height = dh;
      cc.Pixels.resize(size_t(dw) * dh * 3);
      for (int32_t y = 0; y < dh; ++y)
        std::memcpy(cc.Pixels.data() + size_t(y) * dw * 3, Dest->Scanline(y), size_t(dw) * 3);
      keepPlaces(cc.Places);
      cc.Valid = true;
    }
  }
  // A frame that depends on the frames before is composed again each time, as it always was: a hatch
  // keeps them between its lines, and a first layer with a blend operation over the whole client
  // (where no background is painted) blends onto them.
  if (shownNow && DrawBackground && !BackgroundOverwrites() && !BackgroundHidden(Dest)) shownNow = false;
  for (TQxLayer* l : FLayers)
    if (l->Visible && l->Bitmap) {
      if (l->BlendOperation != 0) shownNow = false;
      break;
    }
  if (Dest == FBackBuffer.get()) {
    cc.Shown = shownNow;
    if (shownNow) {
      if (cc.ShownKey != key) cc.ShownKey = std::move(key);
      cc.ShownWidth = dw;
      cc.ShownHeight = dh;
      keepPlaces(cc.ShownPlaces);
    }
  }

  if ((OutsideBaseMode == 2 || OutsideBaseMode == 3) && Dest->PixelFormat() == TQxPixelFormat::qx24RGB) {
    const TQxLayerScreenMap& m = FLayers[0]->ScreenMap;
    const int32_t x0 = m.X, y0 = m.Y, w0 = m.W, h0 = m.H;
    for (int32_t r = 0; r < Dest->Height(); ++r) {
      uint8_t* row = Dest->Scanline(r);
      for (int32_t c = 0; c < Dest->Width(); ++c) {
        uint8_t* p = row + size_t(c) * 3;
        if (OutsideBaseMode == 2) {
          if ((r < y0 || r > y0 + h0 || c < x0 || c > x0 + w0) && ((r + c) & 1) == 0) p[0] = p[1] = p[2] = 128;
        } else if (r < y0 || r >= y0 + h0 || c < x0 || c >= x0 + w0) {
          for (int k = 0; k < 3; ++k) p[k] = uint8_t(std::min(p[k] + OutsideBaseLevel, 255));
        }
      }
    }
  }
  if (first && DrawBackground) PaintCompositionBackground(Dest, UpdateRect);
  if (DrawOverlays) {
    DrawSelectionShading(Dest);
    DrawPixelGrid(Dest);
    const bool shaded = ShowSelection && FSelected && FOutlineVisible && FSelectionMask && !FSelectionMask->IsEmpty() &&
                        (FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoFilled) ||
                         FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoMarkOuter));
    if (shaded || DisplayGrid) BackBufferDrawnOver(Dest);
  }
  if (Dest->Location() == TQxLocation::qxTBitmap && Dest->GetTBitmap()) Dest->GetTBitmap()->Modified();
}

void TQuillotView::DrawPixelGrid(TQxBitmap* Dest) {
  TQxLayer* layer = CurrentLayer();
  if (!DisplayGrid || !layer || !layer->Visible) return;
  const double minZoom = QxViewValues().GridMinZoom;
  if (FZoomX < minZoom && FZoomY < minZoom) return;
  if (FImageWidth <= 1 && FImageHeight <= 1) return;
  TCanvas* c = Dest->GetCanvas();
  if (!c) return;
  const TQxLayerScreenMap& m = layer->ScreenMap;
  if (m.SrcW <= 0 || m.SrcH <= 0) return;
  c->Pen()->SetMode(TPenMode::pmNot);
  c->Pen()->SetStyle(TPenStyle::psSolid);
  c->Pen()->SetWidth(1);
  for (int32_t i = 0; i <= m.SrcW; ++i) {
    const int32_t x = int32_t(Round(m.X + double(i) * m.W / m.SrcW));
    c->MoveTo(x, m.Y);
    c->LineTo(x, m.Y + m.H);
  }
  for (int32_t i = 0; i <= m.SrcH; ++i) {
    const int32_t y = int32_t(Round(m.Y + double(i) * m.H / m.SrcH));
    c->MoveTo(m.X, y);
    c->LineTo(m.X + m.W, y);
  }
  c->Pen()->SetMode(TPenMode::pmCopy);
  if (GridMarkX >= 0 && GridMarkY >= 0) {
    TQxCanvas q(c, true, true);
    q.Pen()->SetColor(clRed);
    q.Pen()->SetWidth(2);
    q.Brush()->SetStyle(TBrushStyle::bsClear);
    q.RoundRect(layer->LayerToClientX(GridMarkX), layer->LayerToClientY(GridMarkY),
                layer->LayerToClientX(GridMarkX + 1), layer->LayerToClientY(GridMarkY + 1), 5, 5);
  }
}

// ---- flattening ----

void TQuillotView::DrawLayersTo(TQxBitmap* Target) {
  SyncLayers();
  TQxLayer* l0 = FLayers[0];
  int32_t right = l0->PosX + l0->DisplayWidth(), bottom = l0->PosY + l0->DisplayHeight();
  int32_t offX = 0, offY = 0;
  for (TQxLayer* l : FLayers) {
    if (l->ClipToBase) continue;
    right = std::max(right, l->PosX + l->DisplayWidth());
    bottom = std::max(bottom, l->PosY + l->DisplayHeight());
    if (l->PosX < 0) offX = std::max(offX, -l->PosX);
    if (l->PosY < 0) offY = std::max(offY, -l->PosY);
  }
  Target->ResizeCanvas(right + offX, bottom + offY, Background(), 255, 0, 0);

  struct Restore {
    TQuillotView* v;
    int32_t iw, ih, ox, oy;
    double zx, zy;
    ~Restore() {
      v->FImageWidth = iw;
      v->FImageHeight = ih;
      v->FViewOriginX = ox;
      v->FViewOriginY = oy;
      v->FZoomX = zx;
      v->FZoomY = zy;
      v->RecomputeScales();
      v->FAutoInvalidate = false;
      try {
        v->UpdateView();
      } catch (...) {
      }
      v->FAutoInvalidate = true;
    }
  } restore{this, FImageWidth, FImageHeight, FViewOriginX, FViewOriginY, FZoomX, FZoomY};

  FZoomX = FZoomY = 100;
  FScaleX = FInvScaleX = FScaleY = FInvScaleY = 1;
  FViewOriginX = FViewOriginY = 0;
  FImageLeft = offX;
  FImageTop = offY;
  FVisibleWidth = FZoomedWidth = FImageWidth = l0->Bitmap->Width();
  FVisibleHeight = FZoomedHeight = FImageHeight = l0->Bitmap->Height();
  ComposeLayersTo(Target, nullptr, nullptr, false, false);
}

void TQuillotView::MergeAllLayers() {
  auto tmp = std::make_unique<TQxBitmap>(FCurrentBitmap->Width(), FCurrentBitmap->Height(), TQxPixelFormat::qx24RGB);
  tmp->Fill(Background());
  DrawLayersTo(tmp.get());
  ClearLayers();
  FCurrentBitmap->AssignFrom(tmp.get());
  tmp.reset();
  UpdateView();
}
