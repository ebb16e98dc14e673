#pragma once
// Windows metafiles (WMF, with or without the placeable header) and enhanced metafiles (EMF): held as
// their records, sized in screen pixels, and played record by record onto a canvas through the
// platform's GDI rasteriser.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/types.h"

class TStream;
class TCanvas;

// The largest metafile read into memory.
inline constexpr int64_t QxMetafileMaxBytes = int64_t(256) << 20;

class TQxMetafile {
 public:
  // Reads the rest of Stream. False (Error says why) for data that is not a metafile this player reads;
  // the records themselves are checked while they play.
  bool LoadFromStream(TStream& Stream);
  bool LoadFromBytes(std::vector<uint8_t> Data);
  void Clear();

  bool Empty() const { return FData.empty(); }
  bool Enhanced() const { return FEnhanced; }
  // The size the picture is drawn at, in pixels; it starts as the metafile's own size at 96 pixels
  // per inch.
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetWidth(int32_t Value) { FWidth = Value; }
  void SetHeight(int32_t Value) { FHeight = Value; }
  const std::string& Error() const { return FError; }

  // Plays the records into Dest (pixels of Canvas). False when a record is malformed or points outside
  // the file: playback stops there, and what was drawn before stays.
  bool Play(TCanvas& Canvas, const TRect& Dest);

  // What the header says, for the player.
  struct THeader {
    // EMF: the picture frame in the reference device's pixels and the device's pixels per millimetre.
    double FrameLeft = 0, FrameTop = 0, FrameRight = 0, FrameBottom = 0;
    double DevPerMmX = 1, DevPerMmY = 1;
    uint32_t Records = 0;
    // WMF: the bounding box in logical units (placeable header, or the first window records),
    // where the records start and how many object slots they use.
    int32_t BoxLeft = 0, BoxTop = 0, BoxRight = 0, BoxBottom = 0;
    uint32_t RecordStart = 0;
    uint32_t Objects = 0;
  };
  const THeader& Header() const { return FHeader; }

 private:
  bool ParseEmf();
  bool ParseWmf();

  std::vector<uint8_t> FData;
  bool FEnhanced = false;
  int32_t FWidth = 0, FHeight = 0;
  THeader FHeader;
  std::string FError;
};
