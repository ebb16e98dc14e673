#include "app/app_art.h"

#include <vector>

#include "platform/graphics/canvas.h"

std::unique_ptr<TBitmap> AppArtOver(const std::string& Name, TColor Fill) {
  const TAppArtEntry* E = AppArtTable;
  while (E->Name && Name != E->Name) ++E;
  int32_t W = 0, H = 0;
  std::vector<uint32_t> Pixels;
  if (!E->Name || !DecodePngPixels(E->Data, E->Size, W, H, Pixels)) return nullptr;
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(TPixelFormat::pf24bit);
  B->SetWidth(W);
  B->SetHeight(H);
  TCanvas* C = B->Canvas();
  C->Brush()->SetColor(Fill);
  C->FillRect(Rect(0, 0, W, H));
  // The glyphs are drawn whole or not at all: a pixel shows where it is opaque.
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const uint32_t P = Pixels[size_t(y) * size_t(W) + size_t(x)];
      if (P >> 24 == 255) C->SetPixels(x, y, TColor(((P >> 16) & 0xFF) | (P & 0xFF00) | ((P & 0xFF) << 16)));
    }
  return B;
}
