// Choosing a palette of at most N colours for a picture and mapping colours to it: an exact table, the
// picture's own palette, a gray ramp, a variance-based median cut or a NeuQuant network.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "imaging/foundation/types.h"

class TQxBitmap;

// -1 automatic (median cut below 128 colours, else NeuQuant), 1 median cut, anything else NeuQuant.
extern int32_t QxQuantizerMethod;
// -1 sampling factor from the picture size, else a quality 0..100.
extern int32_t QxQuantizerSampling;

struct TQxMedianCutState;
struct TQxNeuQuantState;
struct TQxMedianCutDeleter {
  void operator()(TQxMedianCutState* P) const;
};
struct TQxNeuQuantDeleter {
  void operator()(TQxNeuQuantState* P) const;
};
using TQxMedianCutPtr = std::unique_ptr<TQxMedianCutState, TQxMedianCutDeleter>;
using TQxNeuQuantPtr = std::unique_ptr<TQxNeuQuantState, TQxNeuQuantDeleter>;

// Palette receives at most N entries; the caller provides N.
TQxMedianCutPtr MedianCutCreate(TQxBitmap* Bitmap, TQxRGB* Palette, int32_t N);
int32_t MedianCutMapColor(TQxMedianCutState* State, TQxRGB Color);
int32_t MedianCutColorsProduced(TQxMedianCutState* State);
void MedianCutFree(TQxMedianCutPtr& State);

TQxNeuQuantPtr NeuQuantCreate(TQxBitmap* Bitmap, TQxRGB* Palette, int32_t Sampling, int32_t N);
int32_t NeuQuantMapColor(TQxNeuQuantState* State, TQxRGB Color);
void NeuQuantFree(TQxNeuQuantPtr& State);

// The distinct colours of a qx24RGB picture in order of first appearance (copied to the front of Palette),
// or empty when it has more than N.
std::vector<TQxRGB> QxExactColorTable(TQxBitmap* Bitmap, int32_t N, TQxRGB* Palette);
int32_t QxFindRGB(const std::vector<TQxRGB>& Table, TQxRGB Color);

class TQxQuantizer {
 public:
  TQxQuantizer(TQxBitmap* Bitmap, TQxRGB* Palette, int32_t N);  // CreateForBitmap
  ~TQxQuantizer();
  TQxQuantizer(const TQxQuantizer&) = delete;
  TQxQuantizer& operator=(const TQxQuantizer&) = delete;

  // The palette index of Colour; -1 when an exact table lacks it, the palette length when a copied
  // source palette lacks it.
  int32_t RGBIndex(TQxRGB Color);
  int32_t Method() const { return method_; }
  bool Gray() const { return gray_; }
  bool HasExactTable() const { return !exact_.empty(); }

 private:
  int32_t method_ = 0;
  TQxMedianCutPtr medianCut_;
  TQxNeuQuantPtr neuQuant_;
  bool gray_ = false;
  std::vector<TQxRGB> exact_;
  std::unordered_map<uint32_t, int32_t> exactIndex_;
  int32_t count_ = 0;
  TQxBitmap* bitmap_ = nullptr;
};
