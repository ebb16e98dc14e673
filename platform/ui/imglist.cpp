// TImageList: equally sized pictures kept as 32-bit pixels with alpha.
#include "platform/ui/imglist.h"

#include <algorithm>

#include "platform/graphics/pixel_access.h"

namespace {
// Reads pixel (x, y) of any bitmap as 0x00RRGGBB through its canvas-independent colour access.
uint32_t PixelRGB(const TBitmap* B, int32_t X, int32_t Y, bool& HasAlpha, uint8_t& Alpha) {
  if (B->PixelFormat() == TPixelFormat::pf32bit) {
    const uint8_t* p = static_cast<const uint8_t*>(B->ScanLine(Y)) + X * 4;
    HasAlpha = true;
    Alpha = p[3];
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
  }
  HasAlpha = false;
  Alpha = 255;
  TColor c = const_cast<TBitmap*>(B)->Canvas()->Pixels(X, Y);
  return (uint32_t(c & 0xFF) << 16) | (uint32_t(c) & 0xFF00) | ((uint32_t(c) >> 16) & 0xFF);
}
}  // namespace

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::SetWidth(int32_t v) {
  if (v == FWidth || v <= 0) return;
  FWidth = v;
  Clear();
}

void TCustomImageList::SetHeight(int32_t v) {
  if (v == FHeight || v <= 0) return;
  FHeight = v;
  Clear();
}

void TCustomImageList::RegisterChanges(TChangeLink* Link) {
  if (Link && std::find(FLinks.begin(), FLinks.end(), Link) == FLinks.end()) FLinks.push_back(Link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* Link) {
  FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), Link), FLinks.end());
}

void TCustomImageList::Changed() {
  for (TChangeLink* l : std::vector<TChangeLink*>(FLinks))
    if (l->OnChange) l->OnChange(this);
  if (OnChange) OnChange(this);
}

int32_t TCustomImageList::Add(const TBitmap* Image, const TBitmap* Mask) {
  if (!Image || Image->Width() <= 0 || Image->Height() <= 0) return -1;
  int32_t first = Count();
  int32_t pieces = std::max(1, Image->Width() / FWidth);
  bool allZeroAlpha = true;
  if (Image->PixelFormat() == TPixelFormat::pf32bit)
    for (int32_t y = 0; y < Image->Height() && allZeroAlpha; ++y)
      for (int32_t x = 0; x < Image->Width(); ++x)
        if (static_cast<const uint8_t*>(Image->ScanLine(y))[x * 4 + 3] != 0) {
          allZeroAlpha = false;
          break;
        }
  for (int32_t k = 0; k < pieces; ++k) {
    std::vector<uint32_t> px(static_cast<size_t>(FWidth) * FHeight, 0);
    for (int32_t y = 0; y < FHeight && y < Image->Height(); ++y)
      for (int32_t x = 0; x < FWidth && k * FWidth + x < Image->Width(); ++x) {
        bool ha;
        uint8_t a;
        uint32_t rgb = PixelRGB(Image, k * FWidth + x, y, ha, a);
        // A 32-bit picture whose alpha is all zero carries no alpha.
        if (!ha || allZeroAlpha) a = 255;
        if (Mask) {
          bool mha;
          uint8_t ma;
          if (PixelRGB(Mask, std::min(k * FWidth + x, Mask->Width() - 1), std::min(y, Mask->Height() - 1), mha, ma) != 0)
            a = 0;
        }
        px[static_cast<size_t>(y) * FWidth + x] = (uint32_t(a) << 24) | rgb;
      }
    FImages.push_back(std::move(px));
  }
  Changed();
  return first;
}

int32_t TCustomImageList::AddMasked(const TBitmap* Image, TColor MaskColor) {
  int32_t first = Add(Image, nullptr);
  if (first < 0) return first;
  uint32_t key = (uint32_t(MaskColor & 0xFF) << 16) | (uint32_t(MaskColor) & 0xFF00) | ((uint32_t(MaskColor) >> 16) & 0xFF);
  if (MaskColor == clDefault || MaskColor == clNone) {
    // The bottom-left pixel names the transparent colour.
    key = FImages[static_cast<size_t>(first)][static_cast<size_t>(FHeight - 1) * FWidth] & 0xFFFFFF;
  }
  for (size_t i = static_cast<size_t>(first); i < FImages.size(); ++i)
    for (uint32_t& p : FImages[i])
      if ((p & 0xFFFFFF) == key) p &= 0xFFFFFF;
  Changed();
  return first;
}

void TCustomImageList::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count()) return;
  FImages.erase(FImages.begin() + Index);
  Changed();
}

void TCustomImageList::Clear() {
  FImages.clear();
  Changed();
}

void TCustomImageList::Replace(int32_t Index, const TBitmap* Image) {
  if (Index < 0 || Index >= Count()) return;
  TCustomImageList tmp(nullptr);
  tmp.FWidth = FWidth;
  tmp.FHeight = FHeight;
  if (tmp.Add(Image) < 0) return;
  FImages[static_cast<size_t>(Index)] = std::move(tmp.FImages[0]);
  Changed();
}

bool TCustomImageList::GetBitmap(int32_t Index, TBitmap* Image) const {
  if (!Image || Index < 0 || Index >= Count()) return false;
  Image->SetPixelFormat(TPixelFormat::pf32bit);
  Image->SetSize(FWidth, FHeight);
  const auto& px = FImages[static_cast<size_t>(Index)];
  for (int32_t y = 0; y < FHeight; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Image->ScanLine(y));
    for (int32_t x = 0; x < FWidth; ++x) {
      uint32_t p = px[static_cast<size_t>(y) * FWidth + x];
      row[x * 4 + 0] = p & 0xFF;
      row[x * 4 + 1] = (p >> 8) & 0xFF;
      row[x * 4 + 2] = (p >> 16) & 0xFF;
      row[x * 4 + 3] = p >> 24;
    }
  }
  return true;
}

void TCustomImageList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled) const {
  Draw(Canvas, X, Y, Index, TDrawingStyle::dsNormal, TImageType::itImage, Enabled);
}

void TCustomImageList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, TDrawingStyle, TImageType,
                            bool Enabled) const {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  const auto& px = FImages[static_cast<size_t>(Index)];
  for (int32_t y = 0; y < FHeight; ++y)
    for (int32_t x = 0; x < FWidth; ++x) {
      uint32_t p = px[static_cast<size_t>(y) * FWidth + x];
      uint32_t a = p >> 24;
      if (a == 0) continue;
      uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (!Enabled) {
        // Disabled pictures are drawn as a light gray shape.
        uint32_t l = (r * 30 + g * 59 + b * 11) / 100;
        r = g = b = 128 + l / 2;
      }
      if (a < 255) {
        TColor d = ColorToRGB(Canvas->Pixels(X + x, Y + y));
        uint32_t dr = d & 0xFF, dg = (d >> 8) & 0xFF, db = (d >> 16) & 0xFF;
        r = (r * a + dr * (255 - a) + 127) / 255;
        g = (g * a + dg * (255 - a) + 127) / 255;
        b = (b * a + db * (255 - a) + 127) / 255;
      }
      Canvas->SetPixels(X + x, Y + y, static_cast<TColor>(r | (g << 8) | (b << 16)));
    }
}
