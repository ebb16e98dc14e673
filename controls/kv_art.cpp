#include "controls/kv_art.h"

#include <algorithm>
#include <vector>

namespace {

const TKvArtEntry* Find(const std::string& Name) {
  for (const TKvArtEntry* e = KvArtTable; e->Name; ++e)
    if (Name == e->Name) return e;
  return nullptr;
}

// Decodes the named picture and hands each pixel (0xAARRGGBB, premultiplied) to Fn.
template <class F>
bool Decode(const std::string& Name, int32_t& W, int32_t& H, F&& Fn) {
  const TKvArtEntry* e = Find(Name);
  std::vector<uint32_t> Pixels;
  if (!e || !DecodePngPixels(e->Data, e->Size, W, H, Pixels)) return false;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) Fn(x, y, Pixels[size_t(y) * size_t(W) + size_t(x)]);
  return true;
}

}  // namespace

std::unique_ptr<TBitmap> KvLoadArt(const std::string& Name) { return KvLoadArtCell(Name, 0, 1); }

std::unique_ptr<TBitmap> KvLoadArtCell(const std::string& Name, int32_t Index, int32_t Count) {
  int32_t w = 0, h = 0;
  std::unique_ptr<TBitmap> b;
  int32_t cw = 0, x0 = 0;
  bool ok = Decode(Name, w, h, [&](int32_t x, int32_t y, uint32_t p) {
    if (!b) {
      cw = w / std::max(1, Count);
      x0 = cw * Index;
      b = std::make_unique<TBitmap>(cw, h, TPixelFormat::pf24bit);
    }
    if (x >= x0 && x < x0 + cw) b->SetPixel(x - x0, y, PixelToColorRef(p & 0xFFFFFF));
  });
  if (!ok || !b) return nullptr;
  b->Modified();
  return b;
}

HCURSOR KvLoadArtCursor(const std::string& Name, int32_t HotX, int32_t HotY) {
  auto img = std::make_shared<TCursorImage>();
  int32_t w = 0, h = 0;
  bool ok = Decode(Name, w, h, [&](int32_t x, int32_t y, uint32_t p) {
    if (img->Pixels.empty()) img->Pixels.assign(size_t(w) * size_t(h), 0);
    img->Pixels[size_t(y) * size_t(w) + size_t(x)] = p;  // alpha is 0 or 255: nothing to unmultiply
  });
  if (!ok) return nullptr;
  img->Width = w;
  img->Height = h;
  img->HotX = HotX;
  img->HotY = HotY;
  return img;
}
