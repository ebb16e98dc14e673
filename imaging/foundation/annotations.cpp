#include "imaging/foundation/annotations.h"

#include <cstring>

#include "imaging/foundation/bitmap.h"

TQxImagingObject::TQxImagingObject() = default;
TQxImagingObject::~TQxImagingObject() = default;

int32_t TQxImagingObject::MarkType() const {
  int32_t t;
  std::memcpy(&t, Attributes.data(), 4);
  return t;
}

void TQxImagingObject::AssignFrom(const TQxImagingObject& Source) {
  if (&Source == this) return;
  Attributes = Source.Attributes;
  Points = Source.Points;
  Text = Source.Text;
  HasText = Source.HasText;
  if (Source.Image) {
    Image = std::make_unique<TQxBitmap>();
    Image->AssignFrom(Source.Image.get());
  } else {
    Image.reset();
  }
}

TQxImagingAnnot::TQxImagingAnnot(TIOParamsVals* AParent) : Parent(AParent) {}
TQxImagingAnnot::~TQxImagingAnnot() = default;

void TQxImagingAnnot::Clear() {
  FObjects.clear();
  Modified = false;
}

TQxImagingObject& TQxImagingAnnot::AddObject() {
  FObjects.push_back(std::make_unique<TQxImagingObject>());
  return *FObjects.back();
}

void TQxImagingAnnot::AssignFrom(const TQxImagingAnnot& Source) {
  if (&Source == this) return;
  FObjects.clear();
  for (const auto& o : Source.FObjects) AddObject().AssignFrom(*o);
  Modified = Source.Modified;
}
