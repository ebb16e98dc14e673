// Thumbnail view painting: the back buffer, the background, the pass over the cells that asks for missing
// pictures and releases far ones, and the drawing of one cell.
#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/processing/blur.h"
#include "imaging/processing/geometry.h"
#include "imaging/view/mview.h"
#include "imaging/view/mview_internal.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"

namespace {

// A bitmap that shows a stored block in place: its rows, palette and alpha rows, nothing copied.
std::unique_ptr<TQxBitmap> WrapStored(TQxVirtualImageList* Store, TQxVirtualImageInfo* Info) {
  const int32_t w = Store->ImageWidth(Info), h = Store->ImageHeight(Info);
  const TQxPixelFormat f = Store->ImagePixelFormat(Info);
  void* pixels = Store->PixelData(Info);
  if (!pixels || w < 1 || h < 1) return nullptr;
  auto src = std::make_unique<TQxBitmap>();
  src->AttachMemory(pixels, w, h, f, true, 0);
  if (f == TQxPixelFormat::qx8p) {
    if (const auto* pal = static_cast<const TQxRGB*>(Store->PaletteData(Info)))
      for (int32_t i = 0; i < 256; ++i) src->SetPaletteColor(i, pal[i]);
  }
  if (void* alpha = Store->AlphaData(Info)) {
    auto a = std::make_unique<TQxBitmap>();
    a->AttachMemory(alpha, w, h, TQxPixelFormat::qx8g, true, 0);
    a->Opaque = false;
    src->SetAlphaChannel(std::move(a));
  }
  return src;
}

void DrawInto(TQxBitmap* Src, TBitmap* Dest, int32_t X, int32_t Y, int32_t W, int32_t H, TResampleFilter Filter,
              bool EnableAlpha) {
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xt, yt;
  Src->DrawScaledToTBitmapEx(Dest, rows, xt, yt, nullptr, X, Y, W, H, 0, 0, Src->Width(), Src->Height(),
                             EnableAlpha && Src->HasAlphaChannel(), false, 255, Filter, true, 0);
}

uint32_t RGBToColor(const TQxRGB& C) { return uint32_t(C.r) | (uint32_t(C.g) << 8) | (uint32_t(C.b) << 16); }

// Byte offsets at which the characters of a UTF-8 text start, and its length in bytes last.
std::vector<size_t> CharacterStarts(const std::string& Text) {
  std::vector<size_t> at;
  for (size_t i = 0; i < Text.size(); ++i)
    if ((uint8_t(Text[i]) & 0xC0) != 0x80) at.push_back(i);
  at.push_back(Text.size());
  return at;
}

}  // namespace

std::string QxShortenCellText(TCanvas* C, const std::string& Full, int32_t Width, uint8_t Side) {
  if (Side > 1) return Full;
  const std::vector<size_t> at = CharacterStarts(Full);
  const int32_t len = int32_t(at.size()) - 1;
  std::string t = Full;
  int32_t chars = len;
  for (int32_t k = 2; QxWideTextWidth(C, t) > Width && chars >= 2; ++k) {
    const int32_t keep = Side == 0 ? len - k : len - (k - 1);
    if (keep <= 0) break;
    t = Side == 0 ? Full.substr(0, at[size_t(keep)]) + "..." : "..." + Full.substr(at[size_t(k - 1)]);
    chars = keep + 3;
  }
  return t;
}

void TQuillotMView::EnsureBackBuffer(int32_t W, int32_t H) {
  if (!FBackBufferTBitmap) {
    FBackBufferTBitmap = std::make_unique<TBitmap>(W, H, TPixelFormat::pf24bit);
    FBackBuffer = std::make_unique<TQxBitmap>();
    FBackBuffer->AttachTBitmap(FBackBufferTBitmap.get(), true);
  }
  if (FBackBufferTBitmap->Width() != W || FBackBufferTBitmap->Height() != H) {
    FBackBufferTBitmap->SetSize(W, H);
    FBackBuffer->AttachTBitmap(FBackBufferTBitmap.get(), false);
  }
}

void TQuillotMView::PaintView() {
  if (FPaintLock > 0) return;
  const bool windowed = HasParentWindow();
  if (!windowed && !OffscreenMode) return;
  const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
  if (cw <= 0 || ch <= 0) return;
  if (windowed) FPostWnd = Handle();
  EnsureBackBuffer(cw, ch);
  PaintBackgroundTo(FBackBufferTBitmap.get());
  if (!windowed) return;
  TCanvas* c = Canvas();
  if (!c) return;
  // A screen of fewer than 24 bits gets a halftoned picture; a true-colour screen or a remote session a copy.
  const TQxViewUnitValues& units = QxViewValues();
  if (units.ScreenBitsPerPixel > 23 || units.RemoteSession) {
    BitBlt(c, 0, 0, cw, ch, FBackBufferTBitmap->Canvas(), 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(c, HALFTONE);
    StretchBlt(c, 0, 0, cw, ch, FBackBufferTBitmap->Canvas(), 0, 0, cw, ch, SRCCOPY);
  }
}

bool TQuillotMView::CanReloadImage(const TQxMViewEntry* E) const {
  return !E->FileName.empty() || (E->ImageID >= 0 && (OnImageIDRequest || OnImageIDRequestEx));
}

void TQuillotMView::ReleaseDisplayThumbnail(int32_t Index) {
  TQxMViewEntry* e = Entry(Index);
  if (!e) return;
  std::lock_guard<std::recursive_mutex> l(FLock);
  if (e->CacheImage) FDisplayCache->DeleteImage(e->CacheImage);
  e->CacheImage = nullptr;
}

void TQuillotMView::ClearDisplayThumbnails() {
  std::lock_guard<std::recursive_mutex> l(FLock);
  for (int32_t i = 0; i < ImageCount(); ++i) ReleaseDisplayThumbnail(i);
}

void TQuillotMView::PaintBackgroundTo(TBitmap* Bitmap) {
  CollectLoadedPictures();
  const int32_t cw = ViewClientWidth(), ch = ViewClientHeight();
  TCanvas* canvas = Bitmap->Canvas();
  QxPaintViewBackground(TComponentState{}, canvas, Bitmap, FBackgroundStyle, Background(), 0, 0, cw, ch, 0, 0, 0, 0,
                        ChessSize, ChessBrushStyle, GradientEndColor, nullptr, TQxWallPaperStyle::qxwoNormal);
  if (FWallPaper->Graphic() && !FWallPaper->Graphic()->Empty()) {
    TGraphic* g = FWallPaper->Graphic();
    switch (FWallPaperStyle) {
      case TQxWallPaperStyle::qxwoNormal: canvas->Draw(0, 0, g); break;
      case TQxWallPaperStyle::qxwoStretch: canvas->StretchDraw(TRect(0, 0, cw, ch), g); break;
      case TQxWallPaperStyle::qxwoTile:
        if (g->Width() > 0 && g->Height() > 0)
          for (int32_t y = 0; y < ch; y += g->Height())
            for (int32_t x = 0; x < cw; x += g->Width()) canvas->Draw(x, y, g);
        break;
    }
  }
  bool previously = FAllDisplayed;
  int32_t first = -1, last = -1;
  int32_t count = 0;
restart:
  count = (FDisplayMode == TQxMDisplayMode::mdSingle && ImageCount() > 0) ? 1 : ImageCount();
  int32_t start = 0;
  if (FPlaying || FDisplayMode == TQxMDisplayMode::mdSingle) {
    FPlayIndex = std::clamp(FPlayIndex, 0, std::max(ImageCount() - 1, 0));
    start = FPlayIndex;
  }
  FAllDisplayed = true;
  first = -1;
  last = ImageCount() - 1;
  int32_t painted = 0;
  for (int32_t n = 0; n < count; ++n) {
    const int32_t idx = (start + n) % ImageCount();
    if (OnDrawProgress && count > 1) OnDrawProgress(this, int32_t(Trunc(double(n) / count * 100)), idx);
    if (IsEntryVisible(idx)) {
      if (first == -1) first = idx;
      TQxMViewEntry* e = FEntries[size_t(idx)].get();
      if (!e->StoreImage && !e->CacheImage) {
        previously = false;
        if (idx == FSelectedImage || ThreadPoolSize == 0 || !QueueBackgroundLoad(idx, painted)) {
          if (!LoadImageNow(idx) && FRemoveCorrupted) {
            DeleteImage(idx);
            goto restart;
          }
        }
      }
      const bool selected = idx == FSelectedImage || (FEnableMultiSelect && IsImageSelected(idx));
      if (!e->StoreImage && !e->CacheImage) FAllDisplayed = false;
      PaintThumbnail(Bitmap, e, idx, selected && FVisibleSelection && FDisplayMode == TQxMDisplayMode::mdGrid);
      ++painted;
    } else if (first != -1 && last == ImageCount() - 1) {
      last = idx - 1;
    }
  }
  {
    std::lock_guard<std::recursive_mutex> l(FLock);
    // Loads of cells that left the view are cancelled here, on the GUI thread that moved the view.
    CollectFinishedLoads();
    if (LookAhead > 0 && ThreadPoolSize > 0 && last + 1 < ImageCount()) {
      FLookAheadList.clear();
      int32_t n = std::min(LookAhead, ImageCount() - 1 - last);
      // Entries already waiting keep their place; only the others go through the queue request, so a long
      // look-ahead costs one pass over the queue per paint.
      const std::unordered_set<int32_t> pending(FPendingLoads.begin(), FPendingLoads.end());
      for (int32_t i = last + 1; i <= last + n; ++i) {
        TQxMViewEntry* e = FEntries[size_t(i)].get();
        if (!e->StoreImage && !e->CacheImage) {
          FLookAheadList.push_back(i);
          if (!pending.count(i)) QueueBackgroundLoad(i, -1);
        }
      }
    }
    if (ReleaseDistance >= 0 && first != -1) {
      const int32_t d = std::max(LookAhead, ReleaseDistance);
      for (int32_t i = 0; i < ImageCount(); ++i) {
        if (i >= first - d && i <= last + d) continue;
        TQxMViewEntry* e = FEntries[size_t(i)].get();
        if (e->StoreImage && CanReloadImage(e) && i != FSelectedImage) {
          FImageStore->DeleteImage(e->StoreImage);
          e->StoreImage = nullptr;
        }
      }
    }
  }
  if (OnDrawProgress && count > 1) OnDrawProgress(this, 100, 0);
  if (OnAllDisplayed && FAllDisplayed && !previously) OnAllDisplayed(this);
}

void TQuillotMView::PaintThumbnail(TBitmap* Bitmap, TQxMViewEntry* E, int32_t Index, bool Selected) {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  TCanvas* C = Bitmap->Canvas();
  int32_t left = E->X - FViewX, top = E->Y - FViewY, w = FThumbWidth, h = FThumbHeight;
  const int32_t upper = FUpperGap, bottom = FBottomGap;
  if (OnBeforeImageDraw) OnBeforeImageDraw(this, Index, left, top, C);
  const bool frames = ThumbnailFrame && ThumbnailFrameSelected;
  if (frames) {
    TQxBitmap* f = Selected ? ThumbnailFrameSelected.get() : ThumbnailFrame.get();
    f->DrawScaledToTBitmap(Bitmap, left, top, FThumbWidth, FThumbHeight, 0, 0, f->Width(), f->Height(), 255);
    w = ThumbnailFrameRect.Width();
    h = ThumbnailFrameRect.Height();
    left += ThumbnailFrameRect.Left;
    top += ThumbnailFrameRect.Top;
  }
  if (OnBeforeImageDrawEx) {
    TRect r(0, 0, w, h);
    OnBeforeImageDrawEx(this, Index, left, top, Bitmap, r);
    w = r.Width();
    h = r.Height();
    left += r.Left;
    top += r.Top;
  }
  int32_t infoH = 0;
  if (ShowTexts && !E->InfoText->Text.empty()) {
    C->Font()->Assign(*E->InfoText->Font);
    infoH = QxWideTextHeight(C, E->InfoText->Text);
  }
  const int32_t ph = h - bottom - upper - infoH;
  TColor c = ThumbnailsBackground;
  if (Selected && FSelectionStyle == TQxSStyle::qxssACD)
    c = SelectionBackColor;
  else if (FDrawImageBackground)
    c = E->Background;
  if (FillThumbnail)
    QxPaintViewBackground(TComponentState{}, C, Bitmap, FThumbnailsBackgroundStyle, c, left, top, w, h, left, top,
                          left + w, top + h, ChessSize, ChessBrushStyle, GradientEndColor, nullptr,
                          TQxWallPaperStyle::qxwoNormal);

  int32_t o = 0, t = 0, l = 0, m = 0;
  if (!E->CacheImage && E->StoreImage) {
    const int32_t D = FImageStore->ImageWidth(E->StoreImage), F = FImageStore->ImageHeight(E->StoreImage);
    if (EnlargeSmallImages || D > w || F > ph)
      QxFitSize(D, F, w, std::max(ph, 1), o, t);
    else {
      o = D;
      t = F;
    }
    std::unique_ptr<TQxBitmap> src;
    if (D >= 1 && F > 0) src = WrapStored(FImageStore.get(), E->StoreImage);
    if (src) {
      l = left + std::abs(w - o) / 2;
      m = top + upper + std::abs(ph - t) / 2;
      auto dst = std::make_unique<TQxBitmap>();
      dst->SetLocation(TQxLocation::qxMemory);
      TResampleFilter filter = DisplayResampleFilter;
      if (src->PixelFormat() == TQxPixelFormat::qx1g && (o < D || t < F)) {
        dst->Allocate(o, t, TQxPixelFormat::qx24RGB);
        filter = TResampleFilter::rfFastLinear;
      } else {
        dst->Allocate(o, t, src->PixelFormat());
      }
      QxResampleBitmap(src.get(), dst.get(), filter);
      if (RoundCornersFactor > 0) {
        const int32_t r = std::min(w, h) / RoundCornersFactor;
        QxRoundAlphaCorners(dst.get(), r, r);
      }
      if (FSoftShadow->Enabled) {
        src = std::make_unique<TQxBitmap>();
        src->SetLocation(TQxLocation::qxMemory);
        dst->MoveStorageTo(src.get());
        if (src->PixelFormat() != TQxPixelFormat::qx24RGB) src->ConvertPixelFormat(TQxPixelFormat::qx24RGB);
        QxSoftShadow(src.get(), FSoftShadow->OffsetX, FSoftShadow->OffsetY, FSoftShadow->Radius,
                     FSoftShadow->Intensity, true, RGBToColor(FSoftShadow->ShadowColor));
        dst = std::make_unique<TQxBitmap>();
        dst->SetLocation(TQxLocation::qxMemory);
        dst->Allocate(o, t, TQxPixelFormat::qx24RGB);
        QxResampleBitmap(src.get(), dst.get(), TResampleFilter::rfTriangle);
        const double sx = double(o) / src->Width(), sy = double(t) / src->Height();
        const int32_t ex = (src->Width() - o) / 2, ey = (src->Height() - t) / 2;
        E->ImageRect = TRect(int32_t(Trunc(ex * sx)), int32_t(Trunc(ey * sy)), int32_t(Trunc((o + ex) * sx)) + 1,
                             int32_t(Trunc((t + ey) * sy)) + 1);
      } else {
        E->ImageRect = TRect(0, 0, o, t);
      }
      DrawInto(dst.get(), Bitmap, l, m, o, t, filter, FEnableAlphaChannel);
      if (UseDisplayCache) {
        const int32_t sw = E->StoreImage->SourceWidth, sh = E->StoreImage->SourceHeight;
        E->CacheImage = FDisplayCache->AddImage(dst.get());
        if (E->CacheImage) {
          E->CacheImage->SourceWidth = sw;
          E->CacheImage->SourceHeight = sh;
        }
      }
    } else {
      o = t = 0;
    }
  } else if (E->CacheImage) {
    o = FDisplayCache->ImageWidth(E->CacheImage);
    t = FDisplayCache->ImageHeight(E->CacheImage);
    l = left + std::abs(w - o) / 2;
    m = top + upper + std::abs(ph - t) / 2;
    if (auto src = WrapStored(FDisplayCache.get(), E->CacheImage))
      DrawInto(src.get(), Bitmap, l, m, o, t, TResampleFilter::rfNone, FEnableAlphaChannel);
  }
  if (E->StoreImage || E->CacheImage) {
    if (FThumbnailsInternalBorder) {
      C->Pen()->SetColor(FThumbnailsInternalBorderColor);
      C->Pen()->SetWidth(1);
      C->Pen()->SetStyle(TPenStyle::psSolid);
      C->Brush()->SetStyle(TBrushStyle::bsClear);
      C->Rectangle(l + E->ImageRect.Left, m + E->ImageRect.Top, l + E->ImageRect.Right, m + E->ImageRect.Bottom);
    }
    if (FillThumbnail) {
      C->Brush()->SetStyle(TBrushStyle::bsSolid);
      C->Brush()->SetColor(c);
      C->FillRect(TRect(left, top, l, top + h));
      C->FillRect(TRect(l + o, top, left + w, top + h));
      C->FillRect(TRect(l, top, l + o, m));
      C->FillRect(TRect(l, m + t, l + o, top + h));
    }
  }
  int32_t bh = 0;
  if (ShowTexts) DrawCellTexts(C, E, left, top, w, h, Selected, bh);
  if (FStyle == TQxMStyle::qxmsACD) {
    if (o > 0 && t > 0) QxDrawTwoColorFrame(C, l, m, l + o - 1, m + t - 1, TColor(0x808080), TColor(0xFFFFFF));
    if (FUpperGap + FBottomGap > 0 || (ShowTexts && !E->InfoText->Text.empty()))
      QxDrawTwoColorFrame(C, left, top, left + w - 1, top + h - bh - 1, TColor(0xFFFFFF), clBlack);
    if (ShowTexts && !E->BottomText->Text.empty())
      QxDrawTwoColorFrame(C, left, top + h - bh + 2, left + w - 1, top + h - 1, TColor(0x808080), TColor(0xFFFFFF));
  }
  if (OnImageDraw) OnImageDraw(this, Index, left, top, C);
  if (OnImageDraw2) OnImageDraw2(this, Index, left, top, TRect(l, m, l + o, m + t), C);
  if (FThumbnailsBorderWidth > 0) {
    C->Pen()->SetWidth(1);
    C->Pen()->SetStyle(TPenStyle::psSolid);
    C->Pen()->SetColor(FThumbnailsBorderColor);
    C->Brush()->SetStyle(TBrushStyle::bsClear);
    for (int32_t i = 1; i <= FThumbnailsBorderWidth; ++i) {
      if (RoundCornersFactor > 0) {
        const int32_t r = std::min(w, h) / RoundCornersFactor;
        C->RoundRect(left - i, top - i, left + w + i, top + h + i, r, r);
      } else {
        C->Rectangle(left - i, top - i, left + w + i, top + h + i);
      }
    }
  }
  if (Selected && FSelectionStyle != TQxSStyle::qxssACD && !OnBeforeImageDrawEx && !frames) {
    int32_t n = (HasParentWindow() && Focused()) ? FSelectionWidth : UnfocusedSelectionWidth;
    if (SmoothSelection) {
      TQxCanvas q(C, true, true);
      q.Pen()->SetColor(FSelectionColor);
      q.Pen()->SetWidth(float(n));
      q.Brush()->SetStyle(TBrushStyle::bsClear);
      n /= 2;
      q.RoundRect(left - n, top - n, left + w + n - 1, top + h + n - 1, 4, 4);
    } else {
      C->Pen()->SetWidth(1);
      C->Pen()->SetStyle(TPenStyle::psSolid);
      C->Pen()->SetColor(FSelectionColor);
      C->Brush()->SetStyle(TBrushStyle::bsClear);
      for (int32_t i = 1; i <= n; ++i) C->Rectangle(left - i, top - i, left + w + i, top + h + i);
    }
  }
}

void TQuillotMView::DrawCellTexts(TCanvas* C, TQxMViewEntry* E, int32_t left, int32_t top, int32_t w, int32_t h,
                                  bool Selected, int32_t& bh) {
  const bool acd = Selected && FSelectionStyle == TQxSStyle::qxssACD;
  auto prepare = [&](TQxMText* T) {
    C->Font()->Assign(*T->Font);
    C->Brush()->SetStyle(T->FillStyle);
    if (acd) {
      C->Font()->SetColor(SelectionTextColor);
      if (T->FillStyle != TBrushStyle::bsClear) C->Brush()->SetColor(SelectionBackColor);
    } else if (T->FillStyle != TBrushStyle::bsClear) {
      C->Brush()->SetColor(T->FillColor);
    }
    return QxShortenCellText(C, T->Text, w, T->EllipsisSide);
  };
  const int32_t bottom = FBottomGap;
  if (!E->TopText->Text.empty()) {
    const std::string s = prepare(E->TopText.get());
    const int32_t tw = QxWideTextWidth(C, s), th = QxWideTextHeight(C, s);
    if (FStyle == TQxMStyle::qxmsFlat && E->TopText->FillStyle != TBrushStyle::bsSolid)
      C->FillRect(TRect(left, top, left + w, top + th));
    C->TextOut(left + (w - tw) / 2, top, s);
  }
  if (!E->InfoText->Text.empty()) {
    const std::string s = prepare(E->InfoText.get());
    const int32_t tw = QxWideTextWidth(C, s), infoH = QxWideTextHeight(C, s);
    if (FStyle == TQxMStyle::qxmsFlat && E->InfoText->FillStyle == TBrushStyle::bsSolid)
      C->FillRect(TRect(left, top + h - bottom - infoH, left + w, top + h - bottom));
    C->TextOut(left + (w - tw) / 2, top + h - bottom - infoH, s);
  }
  bh = 0;
  if (!E->BottomText->Text.empty()) {
    const std::string s = prepare(E->BottomText.get());
    const int32_t tw = QxWideTextWidth(C, s);
    bh = QxWideTextHeight(C, s);
    if (E->BottomText->FillStyle == TBrushStyle::bsSolid) C->FillRect(TRect(left, top + h - bh - 1, left + w, top + h));
    C->TextOut(left + (w - tw - 2) / 2 + 1, top + h - bh - 1, s);
    bh += 3;
  }
}
