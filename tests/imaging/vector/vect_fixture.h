#pragma once
// Shared set-up of the vector-object tests: a view with a white picture, and a field-by-field comparison
// of object records.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/vector/vect.h"
#include "platform/ui/backends/headless/headless.h"

inline void MakePicture(TQuillotVect& V, int32_t W, int32_t H, uint32_t Color = 0xFFFFFF) {
  TQxBitmap* b = V.GetQxBitmap();
  b->Allocate(W, H, TQxPixelFormat::qx24RGB);
  b->Fill(double(Color));
  V.UpdateView();
}

// Every field a stream keeps (the bitmap index is compared by the picture it names).
inline void ExpectSameObject(TQuillotVect& A, const TQxVObject& a, TQuillotVect& B, const TQxVObject& b) {
  EXPECT_EQ(a.x1, b.x1);
  EXPECT_EQ(a.y1, b.y1);
  EXPECT_EQ(a.x2, b.x2);
  EXPECT_EQ(a.y2, b.y2);
  EXPECT_EQ(a.Kind, b.Kind);
  EXPECT_EQ(a.Transparency, b.Transparency);
  EXPECT_EQ(a.OwnedUserData, b.OwnedUserData);
  EXPECT_EQ(a.KeepAspect, b.KeepAspect);
  EXPECT_EQ(a.BlendOperation, b.BlendOperation);
  EXPECT_EQ(a.PenColor, b.PenColor);
  EXPECT_EQ(a.PenStyle, b.PenStyle);
  EXPECT_EQ(a.PenWidth, b.PenWidth);
  EXPECT_EQ(a.BrushColor, b.BrushColor);
  EXPECT_EQ(a.BrushStyle, b.BrushStyle);
  EXPECT_EQ(a.Highlight, b.Highlight);
  EXPECT_EQ(a.TextQuality, b.TextQuality);
  EXPECT_EQ(a.Name.value_or(""), b.Name.value_or(""));
  EXPECT_EQ(a.Tag, b.Tag);
  EXPECT_EQ(a.Flags, b.Flags);
  EXPECT_EQ(a.Editable, b.Editable);
  EXPECT_EQ(a.SoftShadow.Enabled, b.SoftShadow.Enabled);
  EXPECT_EQ(a.SoftShadow.Radius, b.SoftShadow.Radius);
  EXPECT_EQ(a.SoftShadow.OffsetX, b.SoftShadow.OffsetX);
  EXPECT_EQ(a.SoftShadow.OffsetY, b.SoftShadow.OffsetY);
  EXPECT_EQ(a.SoftShadow.Intensity, b.SoftShadow.Intensity);
  EXPECT_EQ(a.SoftShadow.ShadowColor, b.SoftShadow.ShadowColor);
  using K = TQxVObjectKind;
  const K k = a.Kind;
  if (k == K::qvkLine || k == K::qvkLabelledLine) {
    EXPECT_EQ(a.StartShape, b.StartShape);
    EXPECT_EQ(a.EndShape, b.EndShape);
    EXPECT_EQ(a.EndShapeWidth, b.EndShapeWidth);
    EXPECT_EQ(a.EndShapeLength, b.EndShapeLength);
  }
  if (k == K::qvkLabelledLine) {
    EXPECT_EQ(a.LabelColor, b.LabelColor);
    EXPECT_EQ(a.LabelBrushStyle, b.LabelBrushStyle);
    EXPECT_EQ(a.LabelAtEnd, b.LabelAtEnd);
    EXPECT_EQ(a.LabelFrame, b.LabelFrame);
  }
  if (k == K::qvkArc) {
    EXPECT_EQ(a.StartAngle, b.StartAngle);
    EXPECT_EQ(a.EndAngle, b.EndAngle);
  }
  if (k == K::qvkBitmap || (k == K::qvkMemo && a.MemoBitmap)) {
    TQxBitmap* pa = A.SharedBitmap(a.BitmapIndex);
    TQxBitmap* pb = B.SharedBitmap(b.BitmapIndex);
    ASSERT_EQ(pa == nullptr, pb == nullptr);
    if (pa) {
      EXPECT_EQ(pa->Width(), pb->Width());
      EXPECT_EQ(pa->Height(), pb->Height());
      EXPECT_EQ(pa->GetPixel24(0, 0), pb->GetPixel24(0, 0));
      EXPECT_EQ(pa->HasAlphaChannel(), pb->HasAlphaChannel());
    }
    EXPECT_EQ(a.BitmapFrame, b.BitmapFrame);
  }
  if (k == K::qvkText || k == K::qvkLabelledLine || k == K::qvkCustom || k == K::qvkMemo || k == K::qvkBitmap) {
    EXPECT_EQ(a.Text.value_or(""), b.Text.value_or(""));
  }
  if (k == K::qvkText || k == K::qvkLabelledLine || k == K::qvkCustom || k == K::qvkMemo || k == K::qvkRuler ||
      k == K::qvkAngle) {
    EXPECT_EQ(a.Font.has_value(), b.Font.has_value());
    if (a.Font && b.Font) {
      EXPECT_TRUE(*a.Font == *b.Font);
    }
  }
  if (k == K::qvkText || k == K::qvkLabelledLine || k == K::qvkCustom) {
    EXPECT_EQ(a.TextAlign, b.TextAlign);
    EXPECT_EQ(a.AutoSize, b.AutoSize);
    EXPECT_EQ(a.TextPath, b.TextPath);
    if (!a.TextPath.empty()) {
      EXPECT_EQ(a.CharAngle, b.CharAngle);
    }
  }
  if (k == K::qvkMemo) {
    EXPECT_EQ(a.CharFormatIndexes, b.CharFormatIndexes);
    ASSERT_EQ(a.CharFormats.has_value(), b.CharFormats.has_value());
    if (a.CharFormats) {
      ASSERT_EQ(a.CharFormats->size(), b.CharFormats->size());
      for (size_t i = 0; i < a.CharFormats->size(); ++i)
        EXPECT_EQ(0, std::memcmp(&(*a.CharFormats)[i], &(*b.CharFormats)[i], sizeof(TQxCharFormat)));
    }
    EXPECT_EQ(a.UniformFormat, b.UniformFormat);
    EXPECT_EQ(a.AutoSize, b.AutoSize);
    EXPECT_EQ(a.LineSpacing, b.LineSpacing);
    EXPECT_EQ(a.MemoFrameColor, b.MemoFrameColor);
    EXPECT_EQ(a.MemoFrameStyle, b.MemoFrameStyle);
    EXPECT_EQ(a.TextAlign, b.TextAlign);
    EXPECT_EQ(a.FixedCharHeight, b.FixedCharHeight);
    EXPECT_EQ(a.MemoBitmap, b.MemoBitmap);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.MemoMargins[i], b.MemoMargins[i]);
    EXPECT_EQ(a.CharBackStyle, b.CharBackStyle);
  }
  if (k == K::qvkRuler) {
    EXPECT_EQ(a.RulerUnit, b.RulerUnit);
    EXPECT_EQ(a.RulerStyle, b.RulerStyle);
  }
  if (k == K::qvkPolyline) {
    EXPECT_EQ(a.Points, b.Points);
    EXPECT_EQ(a.PointBounds, b.PointBounds);
    EXPECT_EQ(a.Closed, b.Closed);
  }
  if (k == K::qvkAngle) {
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(a.AnglePoints[i], b.AnglePoints[i]);
    }
  }
}

class VectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    V = std::make_unique<TQuillotVect>(nullptr);
    MakePicture(*V, 200, 150);
  }
  std::unique_ptr<TQuillotVect> V;
};
