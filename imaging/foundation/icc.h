#pragma once
// ICC colour profiles: raw bytes kept for writers, and colour transforms through LittleCMS.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"

class TStream;
class TQxBitmap;

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
