// Annotation records of tag 32932: parsing the marks, rescaling text heights, building the record again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "imaging/foundation/annotations.h"
#include "imaging/foundation/bitmap.h"

namespace {

struct Record {
  std::vector<uint8_t> Bytes;
  void I32(int32_t V) {
    const auto* p = reinterpret_cast<const uint8_t*>(&V);
    Bytes.insert(Bytes.end(), p, p + 4);
  }
  void Attributes(int32_t Type, int32_t FontHeight = 0) {
    I32(5);
    I32(164);
    std::vector<uint8_t> a(164, 0);
    std::memcpy(a.data(), &Type, 4);
    std::memcpy(a.data() + 48, &FontHeight, 4);
    Bytes.insert(Bytes.end(), a.begin(), a.end());
  }
  void Named(int32_t Type, const char* Name, const std::vector<uint8_t>& Data) {
    I32(Type);
    I32(12);
    char n[8] = {};
    std::memcpy(n, Name, std::strlen(Name));
    Bytes.insert(Bytes.end(), n, n + 8);
    I32(int32_t(Data.size()));
    Bytes.insert(Bytes.end(), Data.begin(), Data.end());
  }
  Record() {
    I32(0);
    I32(1);
  }
};

std::vector<uint8_t> Ints(std::initializer_list<int32_t> V) {
  Record r;
  r.Bytes.clear();
  for (int32_t v : V) r.I32(v);
  return r.Bytes;
}

int32_t FontHeight(TQxImagingObject& O) {
  int32_t h;
  std::memcpy(&h, O.Attributes.data() + 48, 4);
  return h;
}

// Every "OiIndex" string of a record, in order.
std::vector<std::string> Indexes(const std::vector<uint8_t>& B) {
  std::vector<std::string> out;
  for (size_t i = 0; i + 13 < B.size(); ++i)
    if (std::memcmp(B.data() + i, "OiIndex", 7) == 0)
      out.emplace_back(reinterpret_cast<const char*>(B.data() + i + 12));
  return out;
}

}  // namespace

TEST(ImagingAnnot, MarksFromTheRecord) {
  Record r;
  r.Named(2, "OiGroup", {'0', 0});
  r.Attributes(0);  // type 0: no mark
  r.Attributes(3);  // a line without points
  r.Attributes(4);
  r.Named(6, "OiAnoDat", Ints({2, 2, 10, 20, 30, 40}));
  r.Attributes(7, -20);
  std::vector<uint8_t> text = Ints({0, 1000, 0, 2});  // creation scale 0
  text.insert(text.end(), {'h', 'i', 0});
  r.Named(6, "OiAnText", text);
  TQxImagingAnnot a;
  a.LoadFromBuffer(r.Bytes.data(), int64_t(r.Bytes.size()));
  ASSERT_EQ(a.ObjectsCount(), 3);
  EXPECT_EQ(a.Objects(0).MarkType(), 3);
  EXPECT_TRUE(a.Objects(0).Points.empty());
  ASSERT_EQ(a.Objects(1).Points.size(), 2u);
  EXPECT_EQ(a.Objects(1).Points[1].X, 30);
  EXPECT_EQ(a.Objects(1).Points[1].Y, 40);
  EXPECT_EQ(a.Objects(2).Text, "hi");
  EXPECT_EQ(FontHeight(a.Objects(2)), -15);

  // Cut anywhere, the record reads without going past its end.
  for (size_t n = 0; n < r.Bytes.size(); ++n) {
    TQxImagingAnnot cut;
    cut.LoadFromBuffer(r.Bytes.data(), int64_t(n));
  }
}

TEST(ImagingAnnot, RescaledFontHeightsStopAtTheIntegerRange) {
  // A creation scale of 1 multiplies the height by 7500; the extremes saturate instead of wrapping.
  for (auto [height, scale, want] : {std::tuple{-20, 0, -15}, {INT32_MAX, 1, INT32_MAX}, {INT32_MIN, 1, INT32_MIN},
                                     {INT32_MIN, -1, INT32_MAX}, {1, INT32_MIN, 0}}) {
    SCOPED_TRACE(std::to_string(height) + " at " + std::to_string(scale));
    Record r;
    r.Attributes(7, height);
    std::vector<uint8_t> text = Ints({0, 1000, scale, 2});
    text.insert(text.end(), {'h', 0});
    r.Named(6, "OiAnText", text);
    TQxImagingAnnot a;
    a.LoadFromBuffer(r.Bytes.data(), int64_t(r.Bytes.size()));
    ASSERT_EQ(a.ObjectsCount(), 1);
    EXPECT_EQ(FontHeight(a.Objects(0)), want);
  }
}

TEST(ImagingAnnot, RecordsAreBuiltAgainWithTheirIndexes) {
  TQxImagingAnnot empty;
  EXPECT_TRUE(empty.SaveToBuffer().empty());

  TQxImagingAnnot a;
  TQxImagingObject& line = a.AddObject();
  const int32_t four = 4;
  std::memcpy(line.Attributes.data(), &four, 4);
  line.Points = {{1, 2}, {3, 4}, {5, 6}};
  TQxImagingObject& image = a.AddObject();
  const int32_t one = 1;
  std::memcpy(image.Attributes.data(), &one, 4);
  image.Image = std::make_unique<TQxBitmap>(5, 3, TQxPixelFormat::qx24RGB);
  image.Image->Fill(0x00FF00);
  const std::vector<uint8_t> b = a.SaveToBuffer();
  EXPECT_EQ(Indexes(b), (std::vector<std::string>{"1", "0", "1"}));

  TQxImagingAnnot back;
  back.LoadFromBuffer(b.data(), int64_t(b.size()));
  ASSERT_EQ(back.ObjectsCount(), 2);
  ASSERT_EQ(back.Objects(0).Points.size(), 3u);
  EXPECT_EQ(back.Objects(0).Points[2].Y, 6);
  ASSERT_TRUE(back.Objects(1).Image);
  EXPECT_EQ(back.Objects(1).Image->Width(), 5);
  EXPECT_EQ(back.Objects(1).Image->GetPixel24(4, 2), (TQxRGB{0, 0xFF, 0}));
}
