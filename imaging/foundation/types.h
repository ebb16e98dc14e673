// Small shared types of the bitmap model: pixel formats, pixel records, storage locations, resampling
// filters, message languages and the progress record handed to every long operation.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>

class TObject;

enum class TQxPixelFormat : uint8_t {
  qxInvalid = 0,
  qx1g = 1,
  qx8p = 2,
  qx8g = 3,
  qx16g = 4,
  qx24RGB = 5,
  qx32f = 6,
  qxCMYK = 7,
  qxRGB48 = 8,
  qxCIELab = 9,
  qx32RGB = 10,
};

inline constexpr int QxPixelFormatCount = 11;

// Bits per pixel and colour channels, indexed by the format value.
inline constexpr int32_t QxPixelFormatBits[QxPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
inline constexpr int32_t QxPixelFormatChannels[QxPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

// A set of pixel formats in 16 bits (bit n = format n); empty means any format.
class TQxPixelFormatSet {
 public:
  constexpr TQxPixelFormatSet() = default;
  constexpr TQxPixelFormatSet(std::initializer_list<TQxPixelFormat> formats) {
    for (TQxPixelFormat f : formats) Include(f);
  }
  constexpr void Include(TQxPixelFormat f) { bits_ = uint16_t(bits_ | (1u << unsigned(f))); }
  constexpr void Exclude(TQxPixelFormat f) { bits_ = uint16_t(bits_ & ~(1u << unsigned(f))); }
  constexpr bool Contains(TQxPixelFormat f) const { return (bits_ >> unsigned(f)) & 1u; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint16_t Bits() const { return bits_; }
  constexpr bool operator==(const TQxPixelFormatSet&) const = default;

 private:
  uint16_t bits_ = 0;
};

enum class TQxLocation : uint8_t { qxMemory = 0, qxFile = 1, qxTBitmap = 2 };

#pragma pack(push, 1)
// One 24-bit pixel or palette entry: blue, green, red.
struct TQxRGB {
  uint8_t b;
  uint8_t g;
  uint8_t r;
  constexpr bool operator==(const TQxRGB&) const = default;
};
// One qxRGB48 pixel: three little-endian words, red first (unlike TQxRGB).
struct TQxRGB48 {
  uint16_t r;
  uint16_t g;
  uint16_t b;
  constexpr bool operator==(const TQxRGB48&) const = default;
};
// Inks stored complemented: 255 = no ink.
struct TQxCMYK {
  uint8_t c;
  uint8_t m;
  uint8_t y;
  uint8_t k;
  constexpr bool operator==(const TQxCMYK&) const = default;
};
// l = L* x 255 / 100; a and b signed.
struct TQxCIELab {
  uint8_t l;
  int8_t a;
  int8_t b;
  constexpr bool operator==(const TQxCIELab&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TQxRGB) == 3 && sizeof(TQxRGB48) == 6 && sizeof(TQxCMYK) == 4 && sizeof(TQxCIELab) == 3);

enum class TQxColorLayout : uint8_t {
  qxclRGB = 0,
  qxclBGR = 1,
  qxclCMYK = 2,
  qxclCMYKWide = 3,
  qxclLab = 4,
  qxclGray = 5,
  qxclRGB48 = 6,
  qxclRGB48Swapped = 7,
  qxclYCbCr = 8,
};

enum class TResampleFilter : uint8_t {
  rfNone = 0,
  rfTriangle = 1,
  rfHermite = 2,
  rfBell = 3,
  rfBSpline = 4,
  rfLanczos3 = 5,
  rfMitchell = 6,
  rfNearest = 7,
  rfLinear = 8,
  rfFastLinear = 9,
  rfBilinear = 10,
  rfBicubic = 11,
  rfProjectBW = 12,
  rfProjectWB = 13,
};

enum class TMsgLanguage : uint8_t {
  msSystem = 0,
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msPolish,
  msJapanese,
  msCzech,
  msFinnish,
  msFarsi,
  msChinese,
  msChineseTraditional,
  msDanish,
  msTurkish,
  msKorean,
  msHungarian,
  msUser,
};

// Layer blend operation, 0..42 (0 = plain cover); see QxBlendPixel.
using TQxBlendOperation = uint8_t;

// Progress: (Sender, percent). Assigned when the std::function holds a target.
using TQxProgressEvent = std::function<void(TObject* Sender, int32_t per)>;

// Built by the caller and passed by reference to every reader, writer and long operation. A reader
// reports bad data by setting *AbortFlag instead of raising.
struct TQxProgressInfo {
  TQxProgressEvent OnProgress;
  TObject* Sender = nullptr;
  int32_t Counter = 0;
  double Factor = 0.0;   // percent per unit of Counter
  double Factor2 = 0.0;  // second factor (e.g. 100 / strips or tiles)
  std::atomic<bool>* AbortFlag = nullptr;

  bool Assigned() const { return static_cast<bool>(OnProgress); }
  // Reports per to the handler when one is assigned.
  void Report(int32_t per) const {
    if (OnProgress) OnProgress(Sender, per);
  }
  // Sets the caller's abort flag when there is one.
  void Abort() const {
    if (AbortFlag) AbortFlag->store(true);
  }
  bool Aborting() const { return AbortFlag && AbortFlag->load(); }
};

// A file format of the registry (imaging/io/file_formats.h), and the ids of the built-in ones; the
// foundation names them too (its preset pictures are PNG data).
using TQxFileFormatId = int32_t;

inline constexpr TQxFileFormatId qxffTIFF = 1;
inline constexpr TQxFileFormatId qxffGIF = 2;
inline constexpr TQxFileFormatId qxffJPEG = 3;
inline constexpr TQxFileFormatId qxffPCX = 4;
inline constexpr TQxFileFormatId qxffBMP = 5;
inline constexpr TQxFileFormatId qxffICO = 6;
inline constexpr TQxFileFormatId qxffCUR = 7;
inline constexpr TQxFileFormatId qxffPNG = 8;
inline constexpr TQxFileFormatId qxffWMF = 9;
inline constexpr TQxFileFormatId qxffEMF = 10;
inline constexpr TQxFileFormatId qxffTGA = 11;
inline constexpr TQxFileFormatId qxffPXM = 12;
inline constexpr TQxFileFormatId qxffJP2 = 13;
inline constexpr TQxFileFormatId qxffJ2K = 14;
inline constexpr TQxFileFormatId qxffAVI = 15;
inline constexpr TQxFileFormatId qxffWBMP = 16;
inline constexpr TQxFileFormatId qxffPS = 17;
inline constexpr TQxFileFormatId qxffPDF = 18;
inline constexpr TQxFileFormatId qxffDCX = 19;
inline constexpr TQxFileFormatId qxffRAW = 20;
inline constexpr TQxFileFormatId qxffRawBitmap = 21;
inline constexpr TQxFileFormatId qxffPSD = 24;
inline constexpr TQxFileFormatId qxffVect = 25;
inline constexpr TQxFileFormatId qxffLayers = 26;
inline constexpr TQxFileFormatId qxffLayersAndObjects = 27;
inline constexpr TQxFileFormatId qxffDICOM = 28;
inline constexpr TQxFileFormatId qxffHDP = 29;
