// Drawing of objects: shapes against pictures computed here by formula, the composited road (transparency,
// highlight, shadow), zoomed pen widths, and screenshots of the kinds whose look a formula does not give.
#include <cmath>
#include <filesystem>
#include <functional>

#include "imaging/io/quillot_io.h"
#include "vect_fixture.h"

namespace {

using K = TQxVObjectKind;
constexpr TColor kRed = 0x0000FF, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

TColor At(TQxBitmap& B, int X, int Y) {
  const TQxRGB c = B.GetPixel24(X, Y);
  return TColor(c.r | (c.g << 8) | (c.b << 16));
}

// Draws the one object into a white 24-bit picture in bitmap coordinates.
std::unique_ptr<TQxBitmap> Render(TQuillotVect& V, const TQxVObject& O, int W = 80, int H = 60, bool AA = false) {
  V.SetObjAntialias(AA);
  V.ClearAllObjects();
  const int32_t h = V.AddObjectCopy(O);
  auto b = std::make_unique<TQxBitmap>(W, H, TQxPixelFormat::qx24RGB);
  b->Fill(double(kWhite));
  V.DrawObjectsIntoBitmap(b.get(), false, h);
  return b;
}

std::string OutDir() {
  const std::string d = std::string(QV_SOURCE_DIR) + "/build/test-shots/vector";
  std::filesystem::create_directories(d);
  return d;
}

void Shot(TQxBitmap& B, const std::string& Name) {
  TQuillotIO io(&B);
  io.SavePngFile(OutDir() + "/" + Name + ".png");
}

// Pixels that disagree with the reference, not counting those the reference leaves open (-1).
int Mismatches(TQxBitmap& B, const std::function<int(int, int)>& Want) {
  int n = 0;
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) {
      const int w = Want(x, y);
      if (w >= 0 && At(B, x, y) != TColor(w)) ++n;
    }
  return n;
}

TQxVObject Shape(K Kind, int X1, int Y1, int X2, int Y2) {
  TQxVObject o;
  o.Kind = Kind;
  o.x1 = X1, o.y1 = Y1, o.x2 = X2, o.y2 = Y2;
  o.PenColor = kRed;
  return o;
}

}  // namespace

TEST_F(VectTest, BoxMatchesItsRectangle) {
  TQxVObject o = Shape(K::qvkBox, 10, 12, 50, 40);
  o.BrushColor = kBlue;
  o.BrushStyle = TBrushStyle::bsSolid;
  auto b = Render(*V, o);
  Shot(*b, "box");
  EXPECT_EQ(Mismatches(*b, [](int x, int y) {
              const bool in = x >= 10 && x <= 50 && y >= 12 && y <= 40;
              const bool edge = in && (x == 10 || x == 50 || y == 12 || y == 40);
              return edge ? int(kRed) : in ? int(kBlue) : int(kWhite);
            }),
            0);
}

TEST_F(VectTest, EllipseMatchesItsEquation) {
  TQxVObject o = Shape(K::qvkEllipse, 10, 10, 70, 50);
  o.BrushColor = kBlue;
  o.BrushStyle = TBrushStyle::bsSolid;
  o.PenColor = kBlue;
  auto b = Render(*V, o);
  Shot(*b, "ellipse");
  // Pixel centres well inside are filled, well outside untouched; a band of a pixel along the edge is open.
  const double cx = 40.5, cy = 30.5, rx = 30.5, ry = 20.5;
  EXPECT_EQ(Mismatches(*b, [&](int x, int y) {
              const double d = std::hypot((x + 0.5 - cx) / rx, (y + 0.5 - cy) / ry);
              const double band = 1.2 / std::min(rx, ry);
              return d < 1 - band ? int(kBlue) : d > 1 + band ? int(kWhite) : -1;
            }),
            0);
}

TEST_F(VectTest, LinesMatchTheirSegments) {
  struct Case {
    int X1, Y1, X2, Y2, Width;
  } cases[] = {{5, 5, 70, 5, 1}, {5, 5, 5, 50, 1}, {5, 5, 70, 50, 1}, {70, 8, 8, 52, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.X2 * 1000 + c.Y2);
    TQxVObject o = Shape(K::qvkLine, c.X1, c.Y1, c.X2, c.Y2);
    o.PenWidth = c.Width;
    auto b = Render(*V, o);
    const double half = c.Width / 2.0;
    // Distance of a pixel centre to the segment; Inner tells whether it lies beside the segment rather than
    // beyond an end (where the pen's end caps decide).
    bool inner = false;
    auto dist = [&](int x, int y) {
      const double px = x + 0.5, py = y + 0.5, ax = c.X1 + 0.5, ay = c.Y1 + 0.5, bx = c.X2 + 0.5, by = c.Y2 + 0.5;
      const double u = ((px - ax) * (bx - ax) + (py - ay) * (by - ay)) / ((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
      inner = u > 0.05 && u < 0.95;
      const double t = std::clamp(u, 0.0, 1.0);
      return std::hypot(px - (ax + t * (bx - ax)), py - (ay + t * (by - ay)));
    };
    EXPECT_EQ(Mismatches(*b, [&](int x, int y) {
                const double d = dist(x, y);
                return d > half * 1.415 + 0.5 ? int(kWhite) : inner && d < std::max(0.0, half - 0.6) ? int(kRed) : -1;
              }),
              0);
    // The line is there: every column it spans has a pixel of the pen.
    int covered = 0;
    for (int x = std::min(c.X1, c.X2) + 1; x < std::max(c.X1, c.X2); ++x)
      for (int y = 0; y < b->Height(); ++y)
        if (At(*b, x, y) == kRed) {
          ++covered;
          break;
        }
    EXPECT_GE(covered, std::abs(c.X2 - c.X1) - 2);
  }
}

TEST_F(VectTest, TransparentBoxBlendsPenAndBrush) {
  TQxVObject o = Shape(K::qvkBox, 10, 10, 50, 40);
  o.BrushColor = 0x000000;
  o.BrushStyle = TBrushStyle::bsSolid;
  o.Transparency = 128;
  auto b = Render(*V, o);
  const TQxRGB inside = b->GetPixel24(30, 25);
  EXPECT_NEAR(inside.r, 127, 2);
  EXPECT_NEAR(inside.g, 127, 2);
  // A text with transparency goes the composited road; it also ends up half-covered.
  TQxVObject t = Shape(K::qvkText, 5, 5, 75, 55);
  t.Text = "MMMM";
  t.Font = TQxLogFont{0, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"};
  t.PenColor = 0;
  t.PenStyle = TPenStyle::psClear;
  t.Transparency = 128;
  auto tb = Render(*V, t);
  Shot(*tb, "text_transparent");
  int darkest = 255;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) darkest = std::min<int>(darkest, tb->GetPixel24(x, y).g);
  EXPECT_NEAR(darkest, 127, 3);
}

TEST_F(VectTest, HighlightBoxAndsThePictureWithItsBrush) {
  TQxVObject o = Shape(K::qvkBox, 10, 10, 50, 40);
  o.Highlight = true;
  o.PenWidth = 4;
  o.BrushColor = 0x00FFFF;  // yellow
  auto b = Render(*V, o);
  Shot(*b, "highlight");
  EXPECT_EQ(At(*b, 30, 25), TColor(0x00FFFF));  // white AND yellow
  EXPECT_EQ(At(*b, 10, 25), kRed);             // a one-pixel outline
  EXPECT_EQ(At(*b, 12, 25), TColor(0x00FFFF));
  EXPECT_EQ(At(*b, 5, 5), kWhite);
}

TEST_F(VectTest, SoftShadowDarkensBesideTheObject) {
  TQxVObject o = Shape(K::qvkBox, 10, 10, 40, 30);
  o.BrushColor = kBlue;
  o.BrushStyle = TBrushStyle::bsSolid;
  o.SoftShadow = TQxVSoftShadow{true, 3.0, 6, 6, 100, TQxRGB{0, 0, 0}};
  auto b = Render(*V, o);
  Shot(*b, "shadow");
  EXPECT_EQ(At(*b, 25, 20), kBlue);
  EXPECT_LT(b->GetPixel24(44, 34).g, 200);  // in the shadow, past the box
  EXPECT_EQ(At(*b, 5, 5), kWhite);          // the other side stays clear
}

TEST_F(VectTest, ZoomedPenWidthFollowsTheZoom) {
  V->SetBounds(0, 0, 300, 300);
  V->OffscreenMode = true;
  MakePicture(*V, 60, 60);
  TQxVObject o = Shape(K::qvkLine, 0, 10, 59, 10);
  V->AddObjectCopy(o);
  for (double zoom : {300.0, 50.0}) {
    SCOPED_TRACE(zoom);
    V->SetZoom(zoom);
    EXPECT_EQ(V->ObjPenWidth(o, zoom / 100, zoom / 100), zoom > 100 ? 3 : 1);
  }
}

TEST_F(VectTest, AngleShowsItsDegreesAndBitmapWithoutPictureIsCrossed) {
  std::string shown;
  V->OnPresentMeasure = [&](TObject*, std::string& Text, double, TQxVValType) { shown = Text; };
  TQxVObject a = Shape(K::qvkAngle, 0, 0, 10, 10);
  a.AnglePoints[0] = {10, 10}, a.AnglePoints[1] = {50, 10}, a.AnglePoints[2] = {50, 50};
  a.Font = TQxLogFont{-10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"};
  auto b = Render(*V, a);
  Shot(*b, "angle");
  // Both arms, and the degrees written at the vertex ("90.00°" in the screenshot).
  EXPECT_EQ(At(*b, 30, 10), kRed);
  EXPECT_EQ(At(*b, 50, 40), kRed);
  int text = 0;
  for (int y = 11; y < 25; ++y)
    for (int x = 52; x < 80; ++x) text += At(*b, x, y) != kWhite;
  EXPECT_GT(text, 10);
  TQxVObject x = Shape(K::qvkBitmap, 10, 10, 50, 50);
  auto c = Render(*V, x);
  Shot(*c, "bitmap_without_picture");
  EXPECT_EQ(At(*c, 30, 30), kRed);  // the diagonals cross in the middle
  EXPECT_EQ(At(*c, 10, 30), kRed);
  EXPECT_EQ(At(*c, 20, 30), kWhite);
}

TEST_F(VectTest, RulerPresentsItsLengthInItsUnit) {
  V->SetDpiX(254);
  V->SetDpiY(254);
  std::string shown;
  double value = 0;
  V->OnPresentMeasure = [&](TObject*, std::string& Text, double Value, TQxVValType) {
    shown = Text;
    value = Value;
  };
  TQxVObject r = Shape(K::qvkRuler, 10, 30, 110, 30);
  r.RulerUnit = TQxUnits::qxuMILLIMETERS;
  r.RulerStyle = 2;
  r.Font = TQxLogFont{-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"};
  auto b = Render(*V, r, 130, 60);
  Shot(*b, "ruler_length");
  EXPECT_NEAR(value, 10.0, 1e-9);  // 100 pixels at 254 dpi
  EXPECT_EQ(shown, "10.00 mm");
  r.RulerStyle = 0;
  r.RulerUnit = TQxUnits::qxuPIXELS;
  r.x2 = 40;
  auto t = Render(*V, r, 130, 60);
  Shot(*t, "ruler_ticks");
  EXPECT_EQ(At(*t, 25, 30), kRed);
}

// The look of the remaining kinds, at 200 % in a view, anti-aliased: written for a person to check.
TEST_F(VectTest, ScreenshotOfEveryKind) {
  V->SetBounds(0, 0, 420, 320);
  V->OffscreenMode = true;
  MakePicture(*V, 210, 160, 0xE0F0FF);
  V->SetZoom(200);
  auto add = [&](K Kind, int X1, int Y1, int X2, int Y2, const std::function<void(TQxVObject&)>& F) {
    TQxVObject o = Shape(Kind, X1, Y1, X2, Y2);
    o.Font = TQxLogFont{-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"};
    if (F) F(o);
    return V->AddObjectCopy(o);
  };
  add(K::qvkLine, 5, 5, 60, 30, [](TQxVObject& o) { o.EndShape = 2, o.StartShape = 1, o.PenWidth = 2; });
  add(K::qvkArc, 70, 5, 110, 35, [](TQxVObject& o) { o.StartAngle = 0, o.EndAngle = 3; });
  add(K::qvkText, 120, 5, 200, 25, [](TQxVObject& o) {
    o.Text = "Text";
    o.BrushStyle = TBrushStyle::bsSolid;
    o.BrushColor = 0xCCFFCC;
  });
  add(K::qvkText, 5, 40, 90, 90, [](TQxVObject& o) {
    o.Text = "along a path";
    o.TextPath = {{0, 1}, {0.5, 0}, {1, 1}};
    o.PenStyle = TPenStyle::psClear;
  });
  add(K::qvkText, 100, 40, 200, 70, [](TQxVObject& o) {
    o.Text = "turned";
    o.Font->Escapement = 200;
    o.PenStyle = TPenStyle::psClear;
  });
  add(K::qvkRuler, 10, 100, 100, 130, [](TQxVObject& o) { o.RulerStyle = 2; });
  add(K::qvkPolyline, 110, 80, 200, 120, [](TQxVObject& o) {
    o.Points = {{0, 0}, {10, 8}, {20, 0}, {30, 8}};
    o.PointBounds = TRect(0, 0, 30, 8);
    o.Closed = true;
    o.BrushStyle = TBrushStyle::bsSolid;
    o.BrushColor = 0x80C0FF;
  });
  add(K::qvkMemo, 110, 125, 205, 155, [](TQxVObject& o) {
    o.Text = "memo\nlines";
    o.BrushStyle = TBrushStyle::bsSolid;
    o.BrushColor = 0xFFFFE0;
    o.MemoFrameColor = 0;
  });
  add(K::qvkLabelledLine, 10, 135, 80, 155, [](TQxVObject& o) {
    o.Text = "label";
    o.LabelFrame = 2;
  });
  add(K::qvkEllipse, 150, 60, 200, 78, [](TQxVObject& o) {
    o.BrushStyle = TBrushStyle::bsSolid;
    o.BrushColor = 0x00C000;
    o.Transparency = 140;
    o.SoftShadow = TQxVSoftShadow{true, 3, 4, 4, 80, TQxRGB{40, 0, 0}};
  });
  V->SelectObject(V->DrawingOrder()[6]);
  V->UpdateView();
  V->PaintView();
  TBitmap* bb = V->BackBufferBitmap();
  ASSERT_NE(bb, nullptr);
  TQxBitmap shot;
  shot.AttachTBitmap(bb, false);
  TQxBitmap copy;
  copy.AssignFrom(&shot);
  shot.AttachTBitmap(nullptr, false);
  Shot(copy, "every_kind_200");
  // Something was drawn where each object lies (zoomed 2x).
  for (int32_t h : V->DrawingOrder()) {
    const TQxVObject& o = *V->ObjectRecord(h);
    EXPECT_LT(o.DrawnExtent.Left, o.DrawnExtent.Right) << int(o.Kind);
  }
}

// A ruler in millimetres at 254 dpi has a tick every pixel across the line: long ones every 10, middle
// ones halfway, short ones between, each running both ways from the line, and a number by each long one.
TEST_F(VectTest, RulerTicksStepByTenthsOfItsUnit) {
  V->SetDpiX(254);
  V->SetDpiY(254);
  TQxVObject r = Shape(K::qvkRuler, 10, 40, 110, 40);
  r.RulerUnit = TQxUnits::qxuMILLIMETERS;
  r.RulerStyle = 0;
  r.Font = TQxLogFont{-10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"};
  auto b = Render(*V, r, 130, 80);
  Shot(*b, "ruler_mm_ticks");
  struct Tick {
    int X, Half;
  };
  for (const Tick& t : {Tick{20, 12}, Tick{15, 8}, Tick{11, 6}, Tick{100, 12}}) {
    SCOPED_TRACE(t.X);
    EXPECT_EQ(At(*b, t.X, 40 - t.Half + 1), kRed);
    EXPECT_EQ(At(*b, t.X, 40 + t.Half - 1), kRed);
    EXPECT_EQ(At(*b, t.X, 40 + t.Half + 2), kWhite);  // the numbers stand on the other side
  }
  // Nothing past the line's end.
  EXPECT_EQ(At(*b, 112, 34), kWhite);
  // Numbers stand beside the long ticks, away from the line.
  int ink = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 15; x < 26; ++x) ink += y < 27 && At(*b, x, y) != kWhite;
  EXPECT_GT(ink, 0);
}

// A wide line ends in round caps; a thin one stops at its end.
TEST_F(VectTest, WideLinesHaveRoundEnds) {
  TQxVObject o = Shape(K::qvkLine, 20, 30, 60, 30);
  o.PenWidth = 9;
  auto wide = Render(*V, o, 80, 60, true);
  EXPECT_NE(At(*wide, 62, 30), kWhite);  // within the cap's half width beyond the end
  EXPECT_EQ(At(*wide, 64, 26), kWhite);  // the corner a square end would fill
  EXPECT_EQ(At(*wide, 67, 30), kWhite);
  o.PenWidth = 1;
  auto thin = Render(*V, o, 80, 60, true);
  EXPECT_EQ(At(*thin, 62, 30), kWhite);
}

