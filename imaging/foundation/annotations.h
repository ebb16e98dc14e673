#pragma once
// Annotation marks of document-imaging TIFF files (private tag 32932), kept so they survive a load and save.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TQxBitmap;
class TIOParamsVals;

struct TQxImagingPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

class TQxImagingObject {
 public:
  TQxImagingObject();
  ~TQxImagingObject();
  TQxImagingObject(const TQxImagingObject&) = delete;
  TQxImagingObject& operator=(const TQxImagingObject&) = delete;

  void AssignFrom(const TQxImagingObject& Source);
  int32_t MarkType() const;

  std::array<uint8_t, 164> Attributes{};  // as stored in the file
  std::vector<TQxImagingPoint> Points;
  std::string Text;
  bool HasText = false;
  std::unique_ptr<TQxBitmap> Image;
};

class TQxImagingAnnot {
 public:
  explicit TQxImagingAnnot(TIOParamsVals* AParent = nullptr);
  ~TQxImagingAnnot();
  TQxImagingAnnot(const TQxImagingAnnot&) = delete;
  TQxImagingAnnot& operator=(const TQxImagingAnnot&) = delete;

  void Clear();
  void AssignFrom(const TQxImagingAnnot& Source);

  int32_t ObjectsCount() const { return static_cast<int32_t>(FObjects.size()); }
  TQxImagingObject& Objects(int32_t Index) { return *FObjects.at(static_cast<size_t>(Index)); }
  TQxImagingObject& AddObject();

  // Parses the record of tag 32932 (Length bytes); every read stays inside it.
  void LoadFromBuffer(const void* Data, int64_t Length);
  // Builds the record; empty when there are no objects.
  std::vector<uint8_t> SaveToBuffer() const;

  TIOParamsVals* Parent = nullptr;
  bool Modified = false;

 private:
  std::vector<std::unique_ptr<TQxImagingObject>> FObjects;
};
