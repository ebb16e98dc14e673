#pragma once
// ICC colour profiles: raw bytes kept for writers, and colour transforms through LittleCMS.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStream;
class TQxBitmap;
enum class TQxPixelFormat : uint8_t;

// Pixel layouts a transform reads and writes; shared with the row colour conversion.
enum class TQxColorLayout : uint8_t {
  qxclRGB = 0,           // red, green, blue
  qxclBGR = 1,           // blue, green, red (TQxRGB)
  qxclCMYK = 2,          // four inks, 255 = no ink
  qxclCMYKWide = 3,      // four inks, 0 = no ink, then two unused bytes
  qxclLab = 4,           // the qxCIELab rows
  qxclGray = 5,          // one gray byte
  qxclRGB48 = 6,         // red, green, blue as little-endian words
  qxclRGB48Swapped = 7,  // red, green, blue as big-endian words
  qxclYCbCr = 8,         // Y, Cb, Cr
};

// Bytes one pixel of the layout takes.
int32_t QxColorLayoutBytes(TQxColorLayout Layout);

class TQxICC {
 public:
  TQxICC();
  ~TQxICC();
  TQxICC(const TQxICC&) = delete;
  TQxICC& operator=(const TQxICC&) = delete;

  void LoadFromBuffer(const void* Data, int32_t Length);
  void AssignFrom(const TQxICC* Source);
  void Clear();
  void OpenProfile();
  void CloseProfile();
  bool IsValid() const;
  bool IsTransformReady() const;
  void FreeTransform();
  void SaveToStream(TStream& Stream, bool NoLength) const;
  // Converts Count pixels from this profile to Dest's. The input is never written to. False when no
  // transform can be made for the two profiles and layouts (Output then untouched).
  bool Transform(TQxICC* Dest, TQxColorLayout InputLayout, TQxColorLayout OutputLayout, int32_t Intent,
                 int32_t Flags, const void* Input, void* Output, int32_t Count);
  bool ConvertBitmap(TQxBitmap* Bitmap, TQxPixelFormat DestFormat, TQxICC* Dest);
  void LoadSRGB();
  void ReadTextTags();

  const std::string& DescText() const { return FDescText; }
  const std::string& CprtText() const { return FCprtText; }
  // Pixels were already converted with a transform of this profile.
  bool Applied() const { return FApplied; }
  const uint8_t* RawData() const { return FRaw.empty() ? nullptr : FRaw.data(); }
  int32_t RawLength() const { return static_cast<int32_t>(FRaw.size()); }

 private:
  std::vector<uint8_t> FRaw;
  bool FApplied = false;
  void* FProfile = nullptr;    // cmsHPROFILE
  void* FTransform = nullptr;  // cmsHTRANSFORM
  void* FTransformDest = nullptr;
  TQxColorLayout FInLayout{}, FOutLayout{};
  int32_t FIntent = 0, FFlags = 0;
  std::string FDescText;
  std::string FCprtText;
};
