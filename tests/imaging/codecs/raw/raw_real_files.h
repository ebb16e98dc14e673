#pragma once
// Real camera files against the preview the camera stored in them: a decode that misreads the sensor data
// gives noise, whatever an encoder of ours would have agreed with.
#include <string>

namespace rawtest {

struct PreviewMatch {
  std::string Error;          // empty when both pictures were read
  int PreviewWidth = 0, PreviewHeight = 0;
  int DecodedWidth = 0, DecodedHeight = 0;
  double GrayCorrelation = 0;  // Pearson correlation of the gray levels, decode reduced to the preview's size
  double ChromaDistance = 0;   // mean distance of the pixels' r, g, b shares (r / (r + g + b) ...)
};

// Decodes the raw file and its own preview (TIFF thumbnail, EXIF JPEG or CIFF preview), reduces the decode to
// the preview's size by area averaging and compares the two.
PreviewMatch CompareWithOwnPreview(const std::string& Path);

// The check every real raw file with a preview passes.
inline bool LooksLikeItsPreview(const PreviewMatch& M) { return M.Error.empty() && M.GrayCorrelation >= 0.9 && M.ChromaDistance <= 0.06; }

}  // namespace rawtest
