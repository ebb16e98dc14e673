#include "controls/kv_art.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>

namespace {

struct TReadState {
  const unsigned char* Data;
  size_t Size;
  size_t Pos;
};

cairo_status_t ReadPng(void* Closure, unsigned char* Out, unsigned int Length) {
  auto* s = static_cast<TReadState*>(Closure);
  if (Length > s->Size - s->Pos) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(Out, s->Data + s->Pos, Length);
  s->Pos += Length;
  return CAIRO_STATUS_SUCCESS;
}

const TKvArtEntry* Find(const std::string& Name) {
  for (const TKvArtEntry* e = KvArtTable; e->Name; ++e)
    if (Name == e->Name) return e;
  return nullptr;
}

// Decodes the named picture and hands each pixel (0xAARRGGBB, premultiplied) to Fn.
template <class F>
bool Decode(const std::string& Name, int32_t& W, int32_t& H, F&& Fn) {
  const TKvArtEntry* e = Find(Name);
  if (!e) return false;
  TReadState st{e->Data, e->Size, 0};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(ReadPng, &st);
  bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    cairo_surface_flush(s);
    W = cairo_image_surface_get_width(s);
    H = cairo_image_surface_get_height(s);
    const unsigned char* base = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int32_t y = 0; y < H; ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(base + int64_t(y) * stride);
      for (int32_t x = 0; x < W; ++x) Fn(x, y, row[x]);
    }
  }
  cairo_surface_destroy(s);
  return ok;
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
