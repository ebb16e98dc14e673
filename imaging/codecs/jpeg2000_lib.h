#pragma once
// The codec's own small view of the JPEG 2000 library: an image of whole components and two calls that
// move it through a TStream. Nothing of the library leaks past this header.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

enum class TQxJ2kColorSpace : uint8_t { Unknown = 0, Gray = 1, RGB = 2, YCbCr = 3, Other = 4 };

// Component types: colour channel n is n, opacity is QxJ2kTypeOpacity.
constexpr int32_t QxJ2kTypeOpacity = 0x8000;

struct TQxJ2kComponent {
  int32_t Width = 0, Height = 0;
  int32_t Precision = 8;
  bool Signed = false;
  // Offset of the first sample from the image's top-left corner, in image pixels.
  int32_t Left = 0, Top = 0;
  int32_t HStep = 1, VStep = 1;
  int32_t Type = 0;
  // Width x Height samples, row by row: a decoded picture's stay in the library's own storage (Image.Keep)
  // instead of being copied, so External points there; a picture to encode fills Samples.
  std::vector<int32_t> Samples;
  const int32_t* External = nullptr;
  const int32_t* Data() const { return External ? External : Samples.data(); }
};

struct TQxJ2kImage {
  int32_t Width = 0, Height = 0;
  TQxJ2kColorSpace ColorSpace = TQxJ2kColorSpace::Unknown;
  std::vector<TQxJ2kComponent> Components;
  std::shared_ptr<void> Keep;  // what External samples live in

  // Index of the component of that type, or -1.
  int32_t ComponentByType(int32_t Type) const;
};

enum class TQxJ2kContainer : uint8_t { JP2 = 0, Codestream = 1 };

// Decodes the picture at the stream's position. False for anything the library cannot decode in full
// (a truncated stream included), that is too large for the data the stream can hold, or that has more than
// MaxPixels pixels.
bool QxJ2kDecode(TStream& Stream, TQxJ2kContainer Container, TQxJ2kImage& Image, int64_t MaxPixels = INT64_MAX);

// Encodes Image (every component at the image size, unsigned) with an option text of "rate=<fraction of the
// uncompressed size>" and "prg=lrcp|rlcp" words. The stream gets the whole result at its position, or
// nothing when encoding fails (false).
bool QxJ2kEncode(TStream& Stream, const TQxJ2kImage& Image, TQxJ2kContainer Container, const std::string& Options);

// Largest number of samples a stream of the given remaining size may decode to.
int64_t QxJ2kSampleBudget(int64_t StreamBytes);
