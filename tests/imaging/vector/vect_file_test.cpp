// The objects stream and the container: round trips of every kind, files of the older versions made here
// from the stored layouts, damaged streams, and the I/O component's loads.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/processing/proc.h"
#include "platform/base/streams.h"
#include "vect_fixture.h"

namespace {

using K = TQxVObjectKind;

// A picture with an alpha channel and a few distinct pixels.
std::unique_ptr<TQxBitmap> SmallPicture(uint8_t Seed, bool Alpha) {
  auto b = std::make_unique<TQxBitmap>(6, 4, TQxPixelFormat::qx24RGB);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) b->SetPixel24(x, y, TQxRGB{uint8_t(Seed + x * 20), uint8_t(y * 50), uint8_t(Seed)});
  if (Alpha)
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) b->GetAlphaChannel()->SetPixel8(x, y, uint8_t(x < 3 ? 0 : 255));
  return b;
}

TQxCharFormat Format(const char* Face, int32_t Height, uint8_t Style, TColor Color) {
  TQxCharFormat f;
  QxSetCharFormatFontName(f, Face);
  f.FontHeight = Height;
  f.FontStyle = Style;
  f.FontColor = Color;
  f.UseCount = 1;
  return f;
}

// One object of every kind, each with fields away from the template's defaults.
void AddEveryKind(TQuillotVect& V) {
  TQxVObject t;
  t.PenColor = 0x123456;
  t.PenWidth = 3;
  t.PenStyle = TPenStyle::psDash;
  t.BrushColor = 0x00AA00;
  t.BrushStyle = TBrushStyle::bsSolid;
  t.Transparency = 200;
  t.Name = "n\xC3\xA9";  // é survives code page 1252
  t.Tag = 77;
  t.Flags = qvoSelectable | qvoVisible;
  t.Editable = false;
  t.KeepAspect = true;
  t.BlendOperation = 3;
  t.TextQuality = 5;
  t.SoftShadow = TQxVSoftShadow{true, 4.5, 3, -2, 60, TQxRGB{1, 2, 3}};
  t.Font = TQxLogFont{-14, 0, 300, 300, 700, 1, 0, 1, 0, 0, 0, 4, 0, "Liberation Sans"};
  auto add = [&](K kind, std::function<void(TQxVObject&)> f) {
    TQxVObject o;
    o.x1 = 10, o.y1 = 20, o.x2 = 60, o.y2 = 50;
    o.PenColor = t.PenColor, o.PenWidth = t.PenWidth, o.PenStyle = t.PenStyle, o.BrushColor = t.BrushColor;
    o.BrushStyle = t.BrushStyle, o.Transparency = t.Transparency, o.Name = t.Name, o.Tag = t.Tag;
    o.Flags = t.Flags, o.Editable = t.Editable, o.KeepAspect = t.KeepAspect, o.BlendOperation = t.BlendOperation;
    o.TextQuality = t.TextQuality, o.SoftShadow = t.SoftShadow;
    o.Kind = kind;
    if (f) f(o);
    const int32_t h = V.AddObjectCopy(o);
    TQxVObject* r = V.ObjectRecord(h);
    r->OwnedUserData = {uint8_t(h), 9, 8};
    r->UserDataLength = 3;
    return h;
  };
  add(K::qvkLine, [](TQxVObject& o) { o.StartShape = 1, o.EndShape = 2, o.EndShapeWidth = 7, o.EndShapeLength = 9; });
  add(K::qvkBox, nullptr);
  add(K::qvkEllipse, nullptr);
  add(K::qvkArc, [](TQxVObject& o) { o.StartAngle = 0.25, o.EndAngle = 2.5; });
  const int32_t hb = add(K::qvkBitmap, [](TQxVObject& o) { o.BitmapFrame = true, o.Text = "pic"; });
  auto pic = SmallPicture(40, true);
  V.SetObjBitmap(hb, pic.get());
  add(K::qvkText, [&](TQxVObject& o) {
    o.Text = "Gr\xC3\xBC\xC3\x9F" "e";
    o.Font = t.Font;
    o.TextAlign = 2;
    o.AutoSize = true;
    o.TextPath = {{0, 0.5}, {0.5, 0}, {1, 0.5}};
    o.CharAngle = 450;
  });
  add(K::qvkRuler, [&](TQxVObject& o) {
    o.RulerUnit = TQxUnits::qxuCENTIMETERS;
    o.RulerStyle = 0;
    o.Font = t.Font;
  });
  add(K::qvkPolyline, [](TQxVObject& o) {
    o.Points = {{0, 0}, {10, 5}, {3, 9}};
    o.PointBounds = TRect(0, 0, 10, 9);
    o.Closed = true;
  });
  add(K::qvkAngle, [&](TQxVObject& o) {
    o.AnglePoints[0] = {0, 0}, o.AnglePoints[1] = {10, 0}, o.AnglePoints[2] = {10, 10};
    o.Font = t.Font;
  });
  const int32_t hm = add(K::qvkMemo, [&](TQxVObject& o) {
    o.Text = "ab\ncd";
    o.Font = t.Font;
    o.CharFormatIndexes = std::vector<int32_t>{0, 1, 0, 1, 1};
    o.CharFormats = std::vector<TQxCharFormat>{Format("Arial", -12, 1, 0xFF), Format("Times", -20, 2, 0xFF00)};
    o.UniformFormat = false;
    o.AutoSize = true;
    o.LineSpacing = 2;
    o.MemoFrameColor = 0x777777;
    o.MemoFrameStyle = TPenStyle::psDot;
    o.TextAlign = 3;
    o.FixedCharHeight = 11;
    o.MemoBitmap = true;
    o.BitmapFrame = true;
    o.MemoMargins[0] = 1.5, o.MemoMargins[3] = 7.25;
    o.CharBackStyle = TBrushStyle::bsCross;
  });
  V.SetObjBitmap(hm, pic.get());  // the same picture: one shared slot
  add(K::qvkLabelledLine, [&](TQxVObject& o) {
    o.Text = "label";
    o.Font = t.Font;
    o.LabelColor = 0xABCDEF;
    o.LabelBrushStyle = TBrushStyle::bsHorizontal;
    o.LabelAtEnd = 0;
    o.LabelFrame = 3;
    o.StartShape = 2;
  });
}

void ExpectSameViews(TQuillotVect& A, TQuillotVect& B) {
  ASSERT_EQ(A.ObjectCount(), B.ObjectCount());
  for (int32_t i = 0; i < A.ObjectCount(); ++i) {
    SCOPED_TRACE(i);
    ExpectSameObject(A, *A.ObjectRecord(A.DrawingOrder()[size_t(i)]), B, *B.ObjectRecord(B.DrawingOrder()[size_t(i)]));
  }
}

// ---- a writer of the stored layouts of every version, independent of the view's own ----
struct TOldWriter {
  char V;
  std::vector<uint8_t> Out;
  void B(uint8_t x) { Out.push_back(x); }
  void I(int32_t x) {
    uint8_t b[4];
    std::memcpy(b, &x, 4);
    Out.insert(Out.end(), b, b + 4);
  }
  void D(double x) {
    uint8_t b[8];
    std::memcpy(b, &x, 8);
    Out.insert(Out.end(), b, b + 8);
  }
  void S(const std::string& s) {
    I(int32_t(s.size()));
    Out.insert(Out.end(), s.begin(), s.end());
  }
  void Font(int32_t Height) {
    B(1);
    uint8_t f[60] = {};
    std::memcpy(f, &Height, 4);
    int32_t w = 400;
    std::memcpy(f + 16, &w, 4);
    std::memcpy(f + 28, "Arial", 5);
    Out.insert(Out.end(), f, f + 60);
  }
  // The common head of a record, as far as the version stores it.
  void Head(K Kind, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (V >= '<') I(0);
    I(X1), I(Y1), I(X2), I(Y2);
    B(uint8_t(Kind));
    if (V >= 'M') B(0);
    if (V >= 'R') B(0);
    if (V > '<') {
      B(0), D(3.0), I(0), I(0);
      if (V >= 'O') I(100), B(0), B(0), B(0);
    }
    S("nm");
    I(5);              // tag
    I(0x0000FF);       // pen colour
    B(0), I(2);        // pen style, width
    I(0xFFFFFF), B(1);  // brush colour, clear
    B(15);             // flags
    if (V >= '=') I(128);
    if (V >= '@') B(0);
    if (V >= 'Q') B(0);
    if (V >= 'I') I(0);
  }
  void Line() {
    Head(K::qvkLine, 1, 2, 30, 40);
    B(1), B(2), I(10), I(20);
    if (V >= 'J') B(1);
  }
  void Text() {
    Head(K::qvkText, 5, 5, 80, 25);
    if (V >= '4') B(1);
    if (V >= '9') B(0);
    S("caf\xE9");  // code page 1252
    Font(-12);
    if (V >= '?') I(0);
    if (V >= 'J') B(1);
  }
  void Ruler() {
    Head(K::qvkRuler, 0, 0, 100, 0);
    if (V >= 'J') B(1);
    if (V >= '5') {
      B(uint8_t(TQxUnits::qxuMILLIMETERS)), B(1);
      if (V >= 'A') Font(-9);
    }
  }
  void Polyline() {
    Head(K::qvkPolyline, 0, 0, 20, 10);
    if (V >= 'J') B(1);
    if (V >= '8') {
      I(3), I(0), I(0), I(20), I(0), I(20), I(10);
      I(0), I(0), I(20), I(10);
      if (V >= ';') B(1);
    }
  }
  void Angle() {
    Head(K::qvkAngle, 0, 0, 20, 20);
    if (V >= 'J') B(1);
    if (V >= ':') I(0), I(0), I(10), I(0), I(10), I(10);
    if (V >= 'K') Font(-11);
  }
  void Memo() {
    Head(K::qvkMemo, 0, 0, 50, 30);
    S("hi");
    Font(-10);
    if (V >= 'C') B(1);
    I(0), I(0);
    I(1);
    TQxCharFormat f = Format("Arial", -10, 0, 0);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&f);
    Out.insert(Out.end(), p, p + sizeof f);
    B(1), B(0), I(0), I(0xFFFFFF), B(0), B(0), I(0);
    if (V >= 'I') B(0);
    if (V >= 'H') D(0), D(0), D(0), D(0);
    if (V >= 'L') B(0);
    if (V >= 'J') B(1);
  }
  void Group() {
    // A group holding two lines.
    Head(K::qvkNone, 0, 0, 0, 0);
    I(2);
    if (V >= 'J') B(1);
    Line();
    Line();
  }
};

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& In) {
  uLongf n = compressBound(uLong(In.size()));
  std::vector<uint8_t> out(n);
  EXPECT_EQ(compress(out.data(), &n, In.data(), uLong(In.size())), Z_OK);
  out.resize(n);
  return out;
}

// Header, no bitmap slots, then the deflated records.
std::vector<uint8_t> OldStream(char Version, const std::function<void(TOldWriter&)>& Records, int32_t Count,
                               double Scale = 2.0) {
  TOldWriter rec{Version, {}};
  rec.I(Count);
  Records(rec);
  TOldWriter h{Version, {}};
  h.Out = {'Q', 'X', 'V', uint8_t(Version)};
  h.I(0);
  if (Version == '1') h.I(int32_t(Scale));
  else h.D(Scale);
  h.I(0);
  auto z = Deflate(rec.Out);
  h.Out.insert(h.Out.end(), z.begin(), z.end());
  const int32_t total = int32_t(h.Out.size());
  std::memcpy(h.Out.data() + 4, &total, 4);
  return h.Out;
}

bool LoadBytes(TQuillotVect& V, const std::vector<uint8_t>& Bytes) {
  TMemoryStream s;
  if (!Bytes.empty()) s.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
  s.SetPosition(0);
  return V.LoadObjectsFromStream(&s);
}

}  // namespace

TEST_F(VectTest, EveryKindSurvivesTheObjectsStream) {
  AddEveryKind(*V);
  V->SetMeasureScale(2.5);
  TMemoryStream s;
  V->SaveObjectsToStream(&s);
  TQuillotVect W(nullptr);
  s.SetPosition(0);
  ASSERT_TRUE(TQuillotVect::IsVectObjectsStream(&s));
  ASSERT_TRUE(W.LoadObjectsFromStream(&s));
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_EQ(W.MeasureScale, 2.5);
  ExpectSameViews(*V, W);
  // The bitmap and the memo share one picture: one slot with two references, as before.
  const int32_t hb = W.DrawingOrder()[4], hm = W.DrawingOrder()[9];
  EXPECT_EQ(W.ObjectRecord(hb)->BitmapIndex, W.ObjectRecord(hm)->BitmapIndex);
  EXPECT_EQ(W.SharedBitmapRefCount(W.ObjectRecord(hb)->BitmapIndex), 2);
  // The alpha channel travels with the picture.
  TQxBitmap* p = W.SharedBitmap(W.ObjectRecord(hb)->BitmapIndex);
  ASSERT_TRUE(p && p->HasAlphaChannel());
  EXPECT_EQ(p->GetAlpha(0, 0), 0);
  EXPECT_EQ(p->GetAlpha(5, 3), 255);
}

TEST_F(VectTest, EveryKindSurvivesTheContainerWithItsLayers) {
  AddEveryKind(*V);
  V->GetQxBitmap()->SetPixel24(3, 4, TQxRGB{9, 8, 7});
  TMemoryStream s;
  V->SaveAllToStream(&s, -1);
  s.SetPosition(0);
  ASSERT_TRUE(TQuillotVect::IsVectAllStream(&s));
  EXPECT_FALSE(TQuillotVect::IsVectObjectsStream(&s));
  TQuillotVect W(nullptr);
  ASSERT_TRUE(W.LoadAllFromStream(&s));
  ExpectSameViews(*V, W);
  EXPECT_EQ(W.GetQxBitmap()->Width(), 200);
  EXPECT_EQ(W.GetQxBitmap()->GetPixel24(3, 4), (TQxRGB{9, 8, 7}));
}

TEST_F(VectTest, EmptyViewWritesHeaderTemplateSlotAndZeroCount) {
  TMemoryStream s;
  V->SaveObjectsToStream(&s);
  const uint8_t* d = static_cast<const uint8_t*>(s.Memory());
  ASSERT_GE(s.Size(), 24);
  EXPECT_EQ(std::memcmp(d, "QXVR", 4), 0);
  int32_t total, slots, count;
  std::memcpy(&total, d + 4, 4);
  EXPECT_EQ(total, s.Size());
  std::memcpy(&slots, d + 16, 4);
  EXPECT_EQ(slots, 1);  // only the template's picture
  std::memcpy(&count, d + 20, 4);
  EXPECT_EQ(count, 0);  // written without an image
  std::vector<uint8_t> out(16);
  uLongf n = 16;
  ASSERT_EQ(uncompress(out.data(), &n, d + 24, uLong(s.Size() - 24)), Z_OK);
  ASSERT_EQ(n, 4u);
  EXPECT_EQ(std::memcmp(out.data(), "\0\0\0\0", 4), 0);
}

// Every version letter the reader takes, written here from the stored layouts; the fields a version
// lacks take their stated defaults.
TEST_F(VectTest, ReadsEveryOlderVersion) {
  for (char v = '1'; v <= 'R'; ++v) {
    SCOPED_TRACE(std::string(1, v));
    auto bytes = OldStream(v, [](TOldWriter& w) {
      w.Line();
      w.Text();
      w.Ruler();
      w.Polyline();
      w.Angle();
      w.Memo();
      w.Group();
    }, 7);
    TQuillotVect W(nullptr);
    ASSERT_TRUE(LoadBytes(W, bytes));
    ASSERT_EQ(W.ObjectCount(), 8);  // the group adds its two lines, not itself
    EXPECT_EQ(W.MeasureScale, 2.0);
    const TQxVObject& line = *W.ObjectRecord(0);
    EXPECT_EQ(line.Kind, K::qvkLine);
    EXPECT_EQ(line.x2, 30);
    EXPECT_EQ(line.EndShape, 2);
    EXPECT_EQ(line.Transparency, v >= '=' ? 128 : 255);
    EXPECT_EQ(line.SoftShadow.OffsetX, v <= '<' ? 2 : 0);
    EXPECT_EQ(line.Name.value_or(""), "nm");
    const TQxVObject& text = *W.ObjectRecord(1);
    EXPECT_EQ(text.Text.value_or(""), "caf\xC3\xA9");
    EXPECT_EQ(text.TextAlign, v >= '4' ? 1 : 0);
    EXPECT_EQ(text.CharAngle, -10);
    const TQxVObject& ruler = *W.ObjectRecord(2);
    EXPECT_EQ(ruler.RulerStyle, v >= '5' ? 1 : 2);
    ASSERT_TRUE(ruler.Font.has_value());
    EXPECT_EQ(ruler.Font->Height, v >= 'A' ? -9 : 12);
    const TQxVObject& poly = *W.ObjectRecord(3);
    EXPECT_EQ(poly.Points.size(), v >= '8' ? 3u : 0u);
    EXPECT_EQ(poly.Closed, v >= ';');
    const TQxVObject& angle = *W.ObjectRecord(4);
    EXPECT_EQ(angle.AnglePoints[1], v >= ':' ? TPoint(10, 0) : TPoint(50, 0));
    EXPECT_EQ(angle.Font->Height, v >= 'K' ? -11 : 10);
    const TQxVObject& memo = *W.ObjectRecord(5);
    EXPECT_EQ(memo.Text.value_or(""), "hi");
    ASSERT_TRUE(memo.CharFormats.has_value());
    EXPECT_EQ(memo.CharFormats->size(), 1u);
    EXPECT_EQ(W.ObjectRecord(6)->Kind, K::qvkLine);
    EXPECT_EQ(W.ObjectRecord(7)->Kind, K::qvkLine);
  }
}

TEST_F(VectTest, OldBitmapSlotsWithBmpAndSeparateAlpha) {
  auto pic = SmallPicture(100, false);
  for (char v : {'2', '8'}) {
    SCOPED_TRACE(std::string(1, v));
    TMemoryStream img;
    {
      TQuillotIO io(pic.get());
      if (v == '2') io.SaveBmpStream(img);
      else io.SavePngStream(img);
    }
    TOldWriter rec{v, {}};
    rec.I(1);
    rec.Head(K::qvkBitmap, 0, 0, 11, 7);
    rec.I(0);  // slot
    if (v >= 'B') rec.B(0);
    if (v >= 'F') rec.S("");
    TOldWriter h{v, {}};
    h.Out = {'Q', 'X', 'V', uint8_t(v)};
    h.I(0), h.D(1.0), h.I(1), h.I(1);
    const uint8_t* p = static_cast<const uint8_t*>(img.Memory());
    h.Out.insert(h.Out.end(), p, p + img.Size());
    if (v == '8') {
      // Alpha rows, bottom row first.
      std::vector<uint8_t> rows;
      TQxBitmap a(6, 4, TQxPixelFormat::qx8g);
      for (int y = 3; y >= 0; --y)
        for (int x = 0; x < a.RowLen(); ++x) rows.push_back(uint8_t(y * 10 + x));
      auto z = Deflate(rows);
      h.I(int32_t(z.size()));
      h.Out.insert(h.Out.end(), z.begin(), z.end());
    }
    auto z = Deflate(rec.Out);
    h.Out.insert(h.Out.end(), z.begin(), z.end());
    const int32_t total = int32_t(h.Out.size());
    std::memcpy(h.Out.data() + 4, &total, 4);
    TQuillotVect W(nullptr);
    ASSERT_TRUE(LoadBytes(W, h.Out));
    ASSERT_EQ(W.ObjectCount(), 1);
    TQxBitmap* b = W.SharedBitmap(W.ObjectRecord(0)->BitmapIndex);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Width(), 6);
    EXPECT_EQ(b->GetPixel24(2, 1), pic->GetPixel24(2, 1));
    if (v == '8') {
      ASSERT_TRUE(b->HasAlphaChannel());
      EXPECT_EQ(b->GetAlpha(2, 1), 12);
    }
  }
}

TEST_F(VectTest, VersionOneKeepsTheScaleAsAnInteger) {
  auto bytes = OldStream('1', [](TOldWriter& w) { w.Line(); }, 1, 3.0);
  ASSERT_TRUE(LoadBytes(*V, bytes));
  EXPECT_EQ(V->MeasureScale, 3.0);
}

// A bad stream says so and leaves the objects as they were.
TEST_F(VectTest, DamagedStreamsFailAndKeepTheView) {
  AddEveryKind(*V);
  TMemoryStream good;
  V->SaveObjectsToStream(&good);
  std::vector<uint8_t> bytes(static_cast<const uint8_t*>(good.Memory()),
                             static_cast<const uint8_t*>(good.Memory()) + good.Size());
  struct Case {
    const char* What;
    std::function<std::vector<uint8_t>()> Make;
  };
  const auto hugeCount = OldStream('R', [](TOldWriter& w) { w.Line(); }, 1000000);
  const auto hugeGroup = OldStream('R', [](TOldWriter& w) {
    w.Head(K::qvkNone, 0, 0, 0, 0);
    w.I(1 << 30);
  }, 1);
  const auto deepGroups = OldStream('R', [](TOldWriter& w) {
    for (int i = 0; i < 100; ++i) {
      w.Head(K::qvkNone, 0, 0, 0, 0);
      w.I(1);
      w.B(1);
    }
    w.Line();
  }, 1);
  const auto hugeString = OldStream('R', [](TOldWriter& w) {
    w.I(0), w.I(0), w.I(0), w.I(0), w.I(0), w.B(1), w.B(0), w.B(0), w.B(0), w.D(3), w.I(0), w.I(0), w.I(0);
    w.B(0), w.B(0), w.B(0);
    w.I(0x7FFFFFF0);
  }, 1);
  const auto badKind = OldStream('R', [](TOldWriter& w) { w.Head(K(200), 0, 0, 1, 1); }, 1);
  const auto unknownClass = OldStream('R', [](TOldWriter& w) {
    w.Head(K::qvkCustom, 0, 0, 5, 5);
    w.B(0), w.B(0), w.S(""), w.B(0), w.I(0), w.B(1);
    w.B(1), w.S("NoSuchClass");
  }, 1);
  const Case cases[] = {
      {"truncated", [&] { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(bytes.size()) / 2); }},
      {"total beyond end",
       [&] {
         auto b = bytes;
         int32_t t = int32_t(b.size()) + 100;
         std::memcpy(b.data() + 4, &t, 4);
         return b;
       }},
      {"garbage objects",
       [&] {
         auto b = bytes;
         for (size_t i = b.size() - 20; i < b.size(); ++i) b[i] ^= 0x5A;
         return b;
       }},
      {"object count beyond data", [&] { return hugeCount; }},
      {"group count beyond data", [&] { return hugeGroup; }},
      {"groups nested too deep", [&] { return deepGroups; }},
      {"string length beyond data", [&] { return hugeString; }},
      {"unknown kind", [&] { return badKind; }},
      {"custom class not registered", [&] { return unknownClass; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_FALSE(LoadBytes(*V, c.Make()));
    ASSERT_EQ(V->ObjectCount(), 11);
    EXPECT_EQ(V->ObjectRecord(0)->Kind, K::qvkLine);
    EXPECT_EQ(V->SharedBitmapRefCount(V->ObjectRecord(4)->BitmapIndex), 2);
  }
  // A foreign magic or a version out of range: refused at once.
  for (const char* head : {"QXW1", "QXV0", "QXVS"}) {
    std::vector<uint8_t> b(bytes);
    std::memcpy(b.data(), head, 4);
    EXPECT_FALSE(LoadBytes(*V, b)) << head;
    TMemoryStream s;
    s.WriteBuffer(b.data(), int64_t(b.size()));
    s.SetPosition(0);
    EXPECT_FALSE(TQuillotVect::IsVectObjectsStream(&s)) << head;
  }
}

TEST_F(VectTest, ContainerProbeAndBadContainers) {
  // A plain layers file is no container: its first int32 is larger than the file.
  TMemoryStream layers;
  V->SaveLayersToStream(&layers, -1);
  layers.SetPosition(0);
  EXPECT_FALSE(TQuillotVect::IsVectAllStream(&layers));
  TQuillotVect W(nullptr);
  EXPECT_FALSE(W.LoadAllFromStream(&layers));
  // A container whose objects part is damaged changes neither the layers nor the objects.
  AddEveryKind(*V);
  TMemoryStream s;
  V->SaveAllToStream(&s, -1);
  uint8_t* d = static_cast<uint8_t*>(s.Memory());
  int32_t off;
  std::memcpy(&off, d, 4);
  d[off + 3] = 'Z';
  MakePicture(W, 7, 5);
  s.SetPosition(0);
  EXPECT_FALSE(W.LoadAllFromStream(&s));
  EXPECT_EQ(W.GetQxBitmap()->Width(), 7);
  EXPECT_EQ(W.ObjectCount(), 0);
  // An objects part that passes the probe and fails further in (its length runs past the end) takes
  // back the layers already read.
  d[off + 3] = 'R';
  const int32_t huge = 0x7FFFFFF0;
  std::memcpy(d + off + 4, &huge, 4);
  s.SetPosition(0);
  ASSERT_TRUE(TQuillotVect::IsVectAllStream(&s));
  s.SetPosition(0);
  EXPECT_FALSE(W.LoadAllFromStream(&s));
  EXPECT_EQ(W.GetQxBitmap()->Width(), 7);
  EXPECT_EQ(W.GetQxBitmap()->Height(), 5);
  EXPECT_EQ(W.ObjectCount(), 0);
}

// Through the I/O component: an attached vector view takes the objects; without one the objects are
// drawn into a picture of their extent; a stream that is not one fails and says so.
TEST_F(VectTest, IOComponentLoadsObjectsAndContainers) {
  TQxVObject box;
  box.Kind = K::qvkBox;
  box.x1 = 2, box.y1 = 3, box.x2 = 20, box.y2 = 9;
  box.PenColor = 0x0000FF;
  box.BrushColor = 0x00FF00;
  box.BrushStyle = TBrushStyle::bsSolid;
  V->AddObjectCopy(box);
  TMemoryStream s;
  V->SaveObjectsToStream(&s);

  TQuillotVect W(nullptr);
  MakePicture(W, 50, 50);
  TQuillotIO* io = W.GetIO();
  s.SetPosition(0);
  EXPECT_EQ(QxFindStreamFormat(s), qxffVect);
  s.SetPosition(0);
  io->LoadFromStreamAs(s, qxffVect);
  EXPECT_FALSE(io->Aborting);
  EXPECT_EQ(W.ObjectCount(), 1);
  EXPECT_EQ(W.GetQxBitmap()->Width(), 21);  // the objects' extent
  EXPECT_EQ(W.GetQxBitmap()->GetAlpha(0, 0), 0);

  TQxBitmap plain(4, 4, TQxPixelFormat::qx24RGB);
  TQuillotIO bare(&plain);
  s.SetPosition(0);
  bare.LoadFromStreamAs(s, qxffVect);
  ASSERT_FALSE(bare.Aborting);
  EXPECT_EQ(plain.Width(), 21);
  const TQxRGB fill = plain.GetPixel24(10, 6);  // the box's fill, drawn in
  EXPECT_LE(fill.r + fill.b, 4);
  EXPECT_GE(fill.g, 0xF8);
  // What the objects cover is opaque, the rest of their extent stays transparent, and the smoothed
  // outline is as opaque as it covers its pixels, in its own colour, not the ground's.
  ASSERT_TRUE(plain.HasAlphaChannel());
  EXPECT_EQ(plain.GetAlpha(10, 6), 255);
  EXPECT_EQ(plain.GetAlpha(0, 0), 0);
  EXPECT_EQ(plain.GetAlpha(10, 0), 0);
  EXPECT_GT(plain.GetAlpha(2, 3), 128);
  EXPECT_GT(plain.GetAlpha(20, 9), 64);
  EXPECT_LT(plain.GetAlpha(1, 8), 64);
  const TQxRGB edge = plain.GetPixel24(2, 5);
  EXPECT_GT(plain.GetAlpha(2, 5), 200);
  EXPECT_GT(edge.r, 2 * std::max(edge.g, edge.b));

  TMemoryStream all;
  V->SaveAllToStream(&all, -1);
  all.SetPosition(0);
  EXPECT_EQ(QxFindStreamFormat(all), qxffLayersAndObjects);
  all.SetPosition(0);
  TQuillotVect X(nullptr);
  X.GetIO()->LoadFromStreamAs(all, qxffLayersAndObjects);
  EXPECT_FALSE(X.GetIO()->Aborting);
  EXPECT_EQ(X.ObjectCount(), 1);
  EXPECT_EQ(X.GetQxBitmap()->Width(), 200);

  TMemoryStream junk;
  junk.WriteBuffer("QXVE not really", 15);
  junk.SetPosition(0);
  io->LoadFromStreamAs(junk, qxffVect);
  EXPECT_TRUE(io->Aborting);
  EXPECT_FALSE(io->Params->ReadError.empty());
  EXPECT_EQ(W.ObjectCount(), 1);
}

// Object undo through the processing component restores every field and the shared pictures.
TEST_F(VectTest, SharedUndoRestoresObjectsExactly) {
  AddEveryKind(*V);
  TQuillotVect Before(nullptr);
  {
    TMemoryStream s;
    V->SaveObjectsToStream(&s);
    s.SetPosition(0);
    ASSERT_TRUE(Before.LoadObjectsFromStream(&s));
  }
  TQuillotProc* p = V->GetProc();
  p->SetUndoLimit(5);
  p->SaveUndo(TQxUndoSource::qxuObject);
  V->ObjectRecord(0)->x1 = 999;
  V->ObjectRecord(9)->CharFormats->clear();
  V->ClearAllObjects();
  EXPECT_EQ(V->ObjectCount(), 0);
  p->Undo();
  ExpectSameViews(Before, *V);
  // And with the layers.
  p->SaveUndo(TQxUndoSource::qxuObjectsAndLayers);
  V->GetQxBitmap()->Allocate(3, 3, TQxPixelFormat::qx24RGB);
  V->ClearAllObjects();
  p->Undo();
  EXPECT_EQ(V->GetQxBitmap()->Width(), 200);
  ExpectSameViews(Before, *V);
}

TEST_F(VectTest, SeparatedUndoKeepsTheNewestSnapshotsUpToTheLimit) {
  V->SetObjAutoUndo(true);
  V->SetObjUndoLimit(1);
  TQxVObject line;
  line.Kind = K::qvkLine;
  V->AddObjectCopy(line);
  V->SaveObjUndo();
  V->AddObjectCopy(line);
  V->SaveObjUndo();
  ASSERT_EQ(V->ObjUndoCount(), 1);
  V->ClearAllObjects();  // itself a snapshot of the two lines
  ASSERT_EQ(V->ObjUndoCount(), 1);
  ASSERT_TRUE(V->RestoreObjUndo(0));
  EXPECT_EQ(V->ObjectCount(), 2);
}

// Writes the fuzz target's seeds (a first byte choosing objects stream or container) when asked.
TEST_F(VectTest, WritesFuzzSeedsWhenAsked) {
  const char* dir = std::getenv("QV_VECT_SEED_DIR");
  if (!dir) GTEST_SKIP() << "QV_VECT_SEED_DIR not set";
  auto save = [&](const std::string& Name, uint8_t First, const uint8_t* P, size_t N) {
    FILE* f = std::fopen((std::string(dir) + "/" + Name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputc(First, f);
    std::fwrite(P, 1, N, f);
    std::fclose(f);
  };
  AddEveryKind(*V);
  TMemoryStream s, a;
  V->SaveObjectsToStream(&s);
  save("every_kind.qxv", 0, static_cast<const uint8_t*>(s.Memory()), size_t(s.Size()));
  V->SaveAllToStream(&a, -1);
  save("every_kind.all", 1, static_cast<const uint8_t*>(a.Memory()), size_t(a.Size()));
  for (char v : {'1', '5', '<', 'I', 'R'}) {
    auto b = OldStream(v, [](TOldWriter& w) {
      w.Line();
      w.Text();
      w.Memo();
      w.Group();
    }, 4);
    save(std::string("old_") + (v == '<' ? std::string("lt") : std::string(1, v)) + ".qxv", 0, b.data(), b.size());
  }
}

// A container whose object picture cannot be read loads with that picture empty; saving afterwards
// stores no picture for the slot (it used to fail), and the result reads back.
TEST_F(VectTest, UnreadablePictureIsSavedAsNone) {
  TMemoryStream in;
  in.LoadFromFile(std::string(QV_TEST_DATA_DIR) + "/unreadable_picture.all");
  in.SetPosition(0);
  ASSERT_TRUE(V->LoadAllFromStream(&in));
  TMemoryStream out;
  ASSERT_NO_THROW(V->SaveObjectsToStream(&out));
  out.SetPosition(0);
  TQuillotVect W(nullptr);
  ASSERT_TRUE(W.LoadObjectsFromStream(&out));
  EXPECT_EQ(W.ObjectCount(), V->ObjectCount());
}
