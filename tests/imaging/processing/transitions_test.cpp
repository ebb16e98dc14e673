#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/view_base.h"
#include "imaging/processing/transition_regions.h"
#include "imaging/processing/transition_table.h"
#include "imaging/processing/transitions.h"
#include "platform/base/clock.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace {

// Two pictures that differ at every pixel: a pattern of x and y, and its complement shifted.
std::unique_ptr<TBitmap> Picture(int32_t W, int32_t H, bool Second) {
  auto B = std::make_unique<TBitmap>(W, H, TPixelFormat::pf24bit);
  for (int32_t Y = 0; Y < H; ++Y) {
    auto* R = static_cast<uint8_t*>(B->ScanLine(Y));
    for (int32_t X = 0; X < W; ++X) {
      uint8_t V = static_cast<uint8_t>((X * 7 + Y * 13) & 0x7F);
      R[X * 3] = Second ? static_cast<uint8_t>(0x80 | V) : V;
      R[X * 3 + 1] = static_cast<uint8_t>(Second ? 200 : 30);
      R[X * 3 + 2] = static_cast<uint8_t>(X ^ Y);
    }
  }
  return B;
}

uint32_t PixelAt(const TBitmap& B, int32_t X, int32_t Y) {
  const auto* R = static_cast<const uint8_t*>(B.ScanLine(Y)) + X * 3;
  return R[0] | (R[1] << 8) | (R[2] << 16);
}

// How many pixels of A differ from B.
int32_t Differing(const TBitmap& A, const TBitmap& B) {
  int32_t N = 0;
  for (int32_t Y = 0; Y < A.Height(); ++Y)
    for (int32_t X = 0; X < A.Width(); ++X) N += PixelAt(A, X, Y) != PixelAt(B, X, Y);
  return N;
}

class TTestView : public TQxView {
 public:
  TTestView() : TQxView(nullptr) { SetBounds(0, 0, 64, 48); }
  int32_t Locks = 0;
  int32_t Updates = 0;
  void IncPaintLock() override { ++Locks; }
  int32_t DecPaintLock() override { return --Locks; }
  void Update() override { ++Updates; }
};

// Paints the frame of Kind at Percent through the player, after the step-0 frame, as a transition does.
std::unique_ptr<TBitmap> FrameAt(TQxTransitionEffects& T, int32_t Step) {
  T.PaintFrame(0);
  if (Step) T.PaintFrame(Step);
  auto Out = std::make_unique<TBitmap>();
  Out->Assign(*T.FrameBitmap());
  return Out;
}

struct Player {
  TTestView View;
  TQxTransitionEffects T{&View};
  std::unique_ptr<TBitmap> From = Picture(64, 48, false), To = Picture(64, 48, true);
  TTestClock Clock{1000};
  void Start(TQxTransitionType Kind) { T.Start(Kind, *From, *To, 1000); }
};

}  // namespace

TEST(TransitionTable, RowsNamesProceduresAndClasses) {
  struct Case {
    int32_t Row;
    const char* Name;
    bool HasProc;
    uint8_t Group;
    bool Flag;
  } cases[] = {{0, "Cross Fade", false, 0, true},         {29, "Expand In to Center", false, 12, false},
               {30, "Expand from Left", true, 12, false},  {116, "Circular Wipe from Center", true, 5, true},
               {185, "Page Flip", true, 0, false},         {188, "Reverse Page Flip 2", true, 0, false},
               {189, "Zigzag Wipe To Horizon", true, 4, true}, {213, "Explosion Wipe In and Out", true, 6, true}};
  for (const Case& c : cases) {
    const TEffect& E = QxTransitionRow(c.Row);
    EXPECT_STREQ(E.Name, c.Name) << c.Row;
    EXPECT_EQ(E.DrawProc != nullptr, c.HasProc) << c.Row;
    EXPECT_EQ(E.Group, c.Group) << c.Row;
    EXPECT_EQ(E.Flag, c.Flag) << c.Row;
  }
  for (int32_t R = 30; R < QxTransitionTableSize; ++R) EXPECT_NE(QxTransitionTable[R].DrawProc, nullptr) << R;
  EXPECT_THROW(QxTransitionRow(214), EInvalidOperation);
  EXPECT_THROW(QxTransitionRow(-1), EInvalidOperation);
}

TEST(TransitionTable, SizeRuleAndMulDiv) {
  struct Case {
    TRect R;
    int32_t P, W, H, w, h;
  } cases[] = {{{0, 0, 200, 100}, 50, 200, 100, 100, 50}, {{0, 0, 100, 300}, 10, 100, 300, 10, 30},
               {{0, 0, 200, 100}, 0, 200, 100, 0, 0},     {{0, 0, 200, 100}, 100, 200, 100, 200, 100},
               {{0, 0, 200, 100}, -5, 200, 100, 0, 0},    {{0, 0, 200, 100}, 150, 200, 100, 200, 100},
               {{10, 10, 13, 17}, 33, 3, 7, 1, 2}};
  for (const Case& c : cases) {
    int32_t W, H, w, h;
    QxScaledSize(c.R, c.P, W, H, w, h);
    EXPECT_EQ(std::vector<int32_t>({W, H, w, h}), std::vector<int32_t>({c.W, c.H, c.w, c.h})) << c.P;
  }
  EXPECT_EQ(MulDiv(5, 3, 2), 8);    // 7.5 away from zero
  EXPECT_EQ(MulDiv(-5, 3, 2), -8);
  EXPECT_EQ(MulDiv(7, 1, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 4, 2), -1);
}

TEST(TransitionRegions, RectangleListsAndShapes) {
  TComplexRegion L;
  EXPECT_FALSE(L.CreateHRGN().has_value());
  L.AddRect(5, 5, 5, 9);  // empty, still a region
  auto Empty = L.CreateHRGN();
  ASSERT_TRUE(Empty.has_value());
  EXPECT_TRUE(Empty->IsEmpty());
  for (int I = 0; I < 600; ++I) L.AddRect(I, 0, I + 2, 1);
  EXPECT_EQ(L.Capacity(), 1000);
  EXPECT_EQ(L.Bounds(), TRect(0, 0, 601, 9));
  EXPECT_EQ(L.CreateHRGN()->Bounds(), TRect(0, 0, 601, 1));

  EXPECT_FALSE(QxShapeRegion(16, TRect(0, 0, 10, 10)).has_value());
  // The top bit is ignored: 131 is the arrow to the top right.
  EXPECT_EQ(*QxShapeRegion(131, TRect(0, 0, 40, 40)), *QxShapeRegion(3, TRect(0, 0, 40, 40)));
  // The arrow to the top left has its tip in the top-left corner, the mirrored one in the top right.
  auto TopLeft = *QxShapeRegion(2, TRect(0, 0, 41, 41)), TopRight = *QxShapeRegion(3, TRect(0, 0, 41, 41));
  EXPECT_TRUE(TopLeft.Contains(2, 2));
  EXPECT_FALSE(TopLeft.Contains(38, 2));
  EXPECT_TRUE(TopRight.Contains(38, 2));
  // Square-box shapes stay square in a wide box; the explosion stretches.
  EXPECT_EQ(QxShapeRegion(0, TRect(0, 0, 200, 100))->Bounds().Left, 50);
  EXPECT_LT(QxShapeRegion(8, TRect(0, 0, 200, 100))->Bounds().Left, 10);
  auto Heart = *QxShapeRegion(15, TRect(0, 0, 100, 100));
  EXPECT_TRUE(Heart.Contains(25, 25));   // the left lobe
  EXPECT_TRUE(Heart.Contains(50, 90));   // towards the point
  EXPECT_FALSE(Heart.Contains(50, 2));   // the dip between the lobes
  auto Cross = *QxShapeRegion(10, TRect(0, 0, 100, 100));
  EXPECT_EQ(Cross.Bounds(), TRect(12, 0, 87, 100));  // 75 wide, centred
}

// The grids and random cells make one shape and move it to every cell: a shape made in place must be
// that shape moved, for every kind and the circle, at odd and even offsets, inside and outside the frame.
TEST(TransitionRegions, ShapesMovedToACellEqualShapesMadeThere) {
  for (int32_t R : {1, 2, 5, 16, 33, 61, 80})
    for (auto [X, Y] : {std::pair{-7, 3}, {13, -40}, {101, 57}, {1001, 998}}) {
      for (uint8_t Kind = 0; Kind <= 15; ++Kind) {
        TRegion Moved = *QxShapeRegion(Kind, TRect(0, 0, 2 * R, 2 * R));
        Moved.Offset(X, Y);
        EXPECT_EQ(*QxShapeRegion(Kind, TRect(X, Y, X + 2 * R, Y + 2 * R)), Moved) << int(Kind) << " r " << R << " at " << X << "," << Y;
      }
      TRegion Circle = CreateEllipticRgn(0, 0, 2 * R, 2 * R);
      Circle.Offset(X, Y);
      EXPECT_EQ(CreateEllipticRgn(X, Y, X + 2 * R, Y + 2 * R), Circle) << "circle r " << R << " at " << X << "," << Y;
    }
}

// Copying through a list of rectangles, row by row on a plain picture, gives what a clip copy through
// their union gives: overlaps, rectangles reaching outside the frame, empty and inverted ones.
TEST(TransitionTable, CopyThroughRectanglesEqualsAClipCopyThroughTheirUnion) {
  // Wide ones, and tall narrow ones that touch or overlap in equal rows (joined before copying).
  const std::vector<TRect> Rects = {{-5, -5, 10, 8},  {4, 2, 30, 6},   {20, 20, 90, 70}, {40, 10, 41, 47},
                                    {7, 30, 7, 40},   {30, 5, 25, 9},  {0, 47, 64, 60},  {63, 0, 70, 1},
                                    {12, 9, 16, 30},  {10, 9, 13, 30}, {16, 9, 18, 30},  {19, 9, 21, 30},
                                    {10, 12, 14, 20}, {50, -3, 53, 7}, {62, 40, 66, 52}};
  auto From = Picture(64, 48, false), To = Picture(64, 48, true);
  auto Fresh = [&] {
    auto B = std::make_unique<TBitmap>();
    B->Assign(*From);
    return B;
  };
  auto Direct = Fresh(), Clipped = Fresh();
  QxCopyThroughRects(Direct->Canvas(), To.get(), 64, 48, Rects);
  QxClipCopy(Clipped->Canvas(), To.get(), 64, 48, TRegion::FromRects(Rects));
  EXPECT_EQ(Differing(*Direct, *Clipped), 0);
  EXPECT_GT(Differing(*Direct, *From), 0);
  // A narrower copy leaves the columns past it alone.
  auto Narrow = Fresh();
  QxCopyThroughRects(Narrow->Canvas(), To.get(), 30, 48, Rects);
  EXPECT_EQ(PixelAt(*Narrow, 50, 30), PixelAt(*From, 50, 30));
  EXPECT_EQ(PixelAt(*Narrow, 25, 30), PixelAt(*To, 25, 30));
  // With the canvas's origin moved the copy goes through the region, and lands where the clip copy does.
  auto MovedDirect = Fresh(), MovedClipped = Fresh();
  SetViewportOrgEx(MovedDirect->Canvas()->Handle(), 6, -3, nullptr);
  SetViewportOrgEx(MovedClipped->Canvas()->Handle(), 6, -3, nullptr);
  QxCopyThroughRects(MovedDirect->Canvas(), To.get(), 64, 48, Rects);
  QxClipCopy(MovedClipped->Canvas(), To.get(), 64, 48, TRegion::FromRects(Rects));
  EXPECT_EQ(Differing(*MovedDirect, *MovedClipped), 0);
  EXPECT_NE(Differing(*MovedDirect, *Direct), 0);
}

// Every painted kind: its first frame shows the from picture and its frame at 100 % the to picture, but
// where the kind itself leaves something (listed with the reason); the view always ends on the to picture.
TEST(Transitions, EveryKindStartsAtFromAndEndsAtTo) {
  const std::vector<int> FirstNotFrom = {
      3,       // fades in from the background colour
      6, 10};  // the red line stands at the leading edge, x = 0 or y = 0
  const std::vector<int> LastNotTo = {
      2,                                // fades out to the background colour
      8, 12, 187,                       // the line stands at the finished edge
      25,                               // random points repeat, a few never land
      139, 140,                         // the pie stops one step short of the full turn
      180,                              // the zigzag band reaches 11 tenths of H div 10
      192,                              // random hearts do not tile the frame
      196, 197, 198, 199, 200,          // expanding shapes do not tile the frame
      201, 203, 205, 207, 209,          // shapes from the centre do not cover the corners
      202, 204, 206, 208,               // shapes to the centre keep a point of their least size
      211, 212};                        // rings whose inner shape keeps a point
  auto In = [](const std::vector<int>& L, int K) { return std::find(L.begin(), L.end(), K) != L.end(); };
  Player P;
  std::vector<int32_t> Shown;  // per painted picture: its pixels that differ from the to picture
  P.T.AssignPaintHandler([&](TObject*, TBitmap* B, TQxTransitionEffects*, int32_t) { Shown.push_back(Differing(*B, *P.To)); });
  for (int Kind = 1; Kind <= 212; ++Kind) {
    P.Start(static_cast<TQxTransitionType>(Kind));
    auto First = FrameAt(P.T, 0);
    auto Last = FrameAt(P.T, 1024);
    std::string Name = Kind > 30 ? QxTransitionRow(Kind - 1).Name : "built in";
    EXPECT_EQ(Differing(*First, *P.From) == 0, !In(FirstNotFrom, Kind)) << "kind " << Kind << " " << Name;
    EXPECT_EQ(Differing(*Last, *P.To) == 0, !In(LastNotTo, Kind)) << "kind " << Kind << " " << Name;
    // Whatever the last frame held, the transition's end shows the to picture itself.
    Shown.clear();
    P.Clock.Advance(1000);
    P.T.TimerStep(nullptr);
    ASSERT_EQ(Shown.size(), 2u);
    EXPECT_EQ(Shown[1], 0) << "kind " << Kind;
    EXPECT_FALSE(P.T.Running());
  }
}

TEST(Transitions, BuiltInKindsFollowTheirArithmetic) {
  Player P;
  P.View.SetBackground(0x102030);
  P.Start(TQxTransitionType::qxttCrossDissolve);
  auto Half = FrameAt(P.T, 512);
  EXPECT_EQ(PixelAt(*Half, 5, 7) & 0xFF, ((PixelAt(*P.From, 5, 7) & 0xFF) * 512 + (PixelAt(*P.To, 5, 7) & 0xFF) * 512) >> 10);
  P.Start(TQxTransitionType::qxttFadeOutIn);
  EXPECT_EQ(PixelAt(*FrameAt(P.T, 512), 9, 9), 0x302010u);  // the background colour alone at the turn
  P.Start(TQxTransitionType::qxttFadeOut);
  EXPECT_EQ(PixelAt(*FrameAt(P.T, 1024), 3, 3), 0x302010u);
  // Wipe left to right at a quarter: x = (256 x 64) shr 10 = 16 columns of the to picture.
  P.Start(TQxTransitionType::qxttLeftRight1);
  auto Quarter = FrameAt(P.T, 256);
  EXPECT_EQ(PixelAt(*Quarter, 15, 20), PixelAt(*P.To, 15, 20));
  EXPECT_EQ(PixelAt(*Quarter, 16, 20), PixelAt(*P.From, 16, 20));
  // Its second form draws the red line at x = 16.
  P.Start(TQxTransitionType::qxttLeftRight2);
  EXPECT_EQ(PixelAt(*FrameAt(P.T, 256), 16, 20), 0xFF0000u);
  // Push left to right at a quarter: each row is to[48, 64) then from[0, 48).
  P.Start(TQxTransitionType::qxttMoveLeftRight1);
  auto Push = FrameAt(P.T, 256);
  EXPECT_EQ(PixelAt(*Push, 0, 10), PixelAt(*P.To, 48, 10));
  EXPECT_EQ(PixelAt(*Push, 16, 10), PixelAt(*P.From, 0, 10));
}

// Frames at 50 % whose revealed area can be worked out independently of the painters.
TEST(Transitions, RevealedAreasAtHalfway) {
  Player P;
  const int32_t W = 64, H = 48;
  auto Check = [&](TQxTransitionType Kind, const std::function<int(int32_t, int32_t)>& Expect, const char* What) {
    P.Start(Kind);
    auto F = FrameAt(P.T, 512);  // 50 %
    int Wrong = 0;
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X) {
        int E = Expect(X, Y);  // 1 to, 0 from, -1 either (an outline pixel)
        if (E < 0) continue;
        uint32_t Want = E ? PixelAt(*P.To, X, Y) : PixelAt(*P.From, X, Y);
        Wrong += PixelAt(*F, X, Y) != Want;
      }
    EXPECT_EQ(Wrong, 0) << What;
    P.T.Stop();
  };
  // At 50 %: w = 32, h = 24.
  Check(TQxTransitionType::qxttWipeFromTopLeft, [](int32_t X, int32_t Y) { return X < 32 && Y < 24; }, "wipe from top left");
  Check(TQxTransitionType::qxttWipeFromHorizon, [](int32_t X, int32_t Y) { return Y >= 12 && Y < 36; }, "wipe from horizon");
  // Horizontal blinds: n = 48 div 40 + 1 = 2, a = 1, centres 2, 6, 10, ... cover rows c - 1 .. c.
  Check(TQxTransitionType::qxttHorizontalBlinds, [](int32_t, int32_t Y) { return Y % 4 == 1 || Y % 4 == 2; }, "horizontal blinds");
  // Expanding rectangles: n = 48 div 10 + 1 = 5, a = MulDiv(5, 50, 100) = 3 about centres 5, 15, 25, ...
  Check(TQxTransitionType::qxttExpandingRectangles, [](int32_t X, int32_t Y) { return (X % 10 >= 2 && X % 10 < 8) && (Y % 10 >= 2 && Y % 10 < 8); },
        "expanding rectangles");
  // Bars in from the left at 50 %: A = 2w = W, every bar of 48 div 50 + 1 = 1 row from x = 0 to W, every
  // second row.
  Check(TQxTransitionType::qxttBarsInFromLeft, [](int32_t, int32_t Y) { return Y % 2 == 0; }, "bars in from left");
  // Diamond from the centre: |x - 32| / 32 + |y - 24| / 24 < 1, outline pixels either way.
  Check(TQxTransitionType::qxttDiamondWipeFromCenter, [](int32_t X, int32_t Y) {
    double D = std::abs(X + 0.5 - 32) / 32 + std::abs(Y + 0.5 - 24) / 24;
    return D < 0.93 ? 1 : D > 1.07 ? 0 : -1;
  }, "diamond from centre");
  // Circular wipe from the centre: the rounded rectangle (0, 0, 64, 48) with corner ellipses 57 x 43.
  Check(TQxTransitionType::qxttCircularWipeFromCenter, [](int32_t X, int32_t Y) {
    double Dx = std::max(0.0, std::abs(X + 0.5 - 32) - (32 - 28.5)), Dy = std::max(0.0, std::abs(Y + 0.5 - 24) - (24 - 21.5));
    double D = Dx * Dx / (28.5 * 28.5) + Dy * Dy / (21.5 * 21.5);
    return D < 0.85 ? 1 : D > 1.15 ? 0 : -1;
  }, "circle from centre");
  // Slide in from the left at 50 %: the to picture drawn at (w - W) = -32.
  P.Start(TQxTransitionType::qxttSlideInFromLeft);
  auto Slide = FrameAt(P.T, 512);
  EXPECT_EQ(PixelAt(*Slide, 0, 5), PixelAt(*P.To, 32, 5));
  EXPECT_EQ(PixelAt(*Slide, 31, 5), PixelAt(*P.To, 63, 5));
  EXPECT_EQ(PixelAt(*Slide, 32, 5), PixelAt(*P.From, 32, 5));
}

// Push and squeeze: the from picture sampled to the part that is left (destination i from source
// i * W / (W - w)), the to picture's far part beside it, at progresses whose sampling is uneven too.
TEST(Transitions, PushAndSqueezeSampleTheFromPicture) {
  Player P;
  const int32_t W = 64, H = 48;
  for (int32_t Step : {512, 307, 900})
    for (int Kind = 155; Kind <= 158; ++Kind) {
      int32_t Fw, Fh, w, h;
      QxScaledSize(TRect(0, 0, W, H), static_cast<int32_t>(Round(Step / 1024.0L * 100)), Fw, Fh, w, h);
      P.Start(static_cast<TQxTransitionType>(Kind));
      auto F = FrameAt(P.T, Step);
      int Wrong = 0;
      for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X) {
          uint32_t Want;
          switch (Kind) {
            case 155: Want = X < W - w ? PixelAt(*P.From, X * W / (W - w), Y) : PixelAt(*P.To, X - (W - w), Y); break;
            case 156: Want = X >= w ? PixelAt(*P.From, (X - w) * W / (W - w), Y) : PixelAt(*P.To, X + W - w, Y); break;
            case 157: Want = Y < H - h ? PixelAt(*P.From, X, Y * H / (H - h)) : PixelAt(*P.To, X, Y - (H - h)); break;
            default: Want = Y >= h ? PixelAt(*P.From, X, (Y - h) * H / (H - h)) : PixelAt(*P.To, X, Y + H - h); break;
          }
          Wrong += PixelAt(*F, X, Y) != Want;
        }
      EXPECT_EQ(Wrong, 0) << "kind " << Kind << " step " << Step;
      P.T.Stop();
    }
}

TEST(Transitions, TimingCurves) {
  using T = TQxTransitionTiming;
  struct Case {
    T Timing;
    uint32_t Elapsed;
    int32_t Step;
  } cases[] = {{T::qxtmLinear, 0, 0},           {T::qxtmLinear, 500, 512},       {T::qxtmLinear, 1000, 1024},
               {T::qxtmLinear, 5000, 1024},     {T::qxtmExponential, 0, 6},      {T::qxtmExponential, 1000, 1003},
               {T::qxtmLogarithmic, 1000, 1024}, {T::qxtmLogarithmic, 0, 0},     {T::qxtmLogarithmic, 3, 0},
               {T::qxtmLogarithmic, 100, 556}};
  for (const Case& c : cases) EXPECT_EQ(QxTransitionStepAt(c.Timing, c.Elapsed, 1000), c.Step) << c.Elapsed;
  // A duration of 0 is one millisecond, never a division by zero.
  EXPECT_EQ(QxTransitionStepAt(T::qxtmLinear, 1, 0), 1024);
}

TEST(Transitions, TicksEventsAndStop) {
  Player P;
  std::vector<std::string> Log;
  P.T.OnTransitionStep = [&](TObject*, int32_t S) { Log.push_back("step " + std::to_string(S)); };
  P.T.AssignPaintHandler([&](TObject*, TBitmap* B, TQxTransitionEffects*, int32_t S) {
    Log.push_back("paint " + std::to_string(S) + (B == P.T.ToBitmap() ? " to" : ""));
  });
  P.T.OnTransitionStop = [&](TObject* Sender) { Log.push_back(Sender == &P.View ? "stop" : "stop?"); };
  P.Start(TQxTransitionType::qxttCrossDissolve);
  EXPECT_EQ(P.View.Locks, 1);
  EXPECT_TRUE(P.T.Running());
  P.T.TimerStep(nullptr);  // paints step 0, then computes the next step from 0 ms
  P.Clock.Advance(250);
  P.T.TimerStep(nullptr);
  P.Clock.Advance(750);
  P.T.TimerStep(nullptr);  // elapsed = duration: one more frame, the final picture, the stop
  EXPECT_EQ(Log, (std::vector<std::string>{"step 0", "paint 0", "step 0", "paint 0", "step 256", "paint 256",
                                           "paint 1024 to", "stop"}));
  EXPECT_FALSE(P.T.Running());
  EXPECT_EQ(P.T.Step, 1024);
  EXPECT_EQ(P.View.Locks, 0);
  EXPECT_EQ(P.View.Updates, 1);
  EXPECT_EQ(P.T.FrameBitmap()->Width(), 1);
  // Stop when idle changes nothing and fires nothing.
  Log.clear();
  P.T.Stop();
  EXPECT_TRUE(Log.empty());
  // Stopped midway: the stop event, the paint lock released once.
  P.Start(TQxTransitionType::qxttUpDown1);
  P.Clock.Advance(300);
  P.T.TimerStep(nullptr);
  P.T.Stop();
  EXPECT_EQ(Log.back(), "stop");
  EXPECT_EQ(P.View.Locks, 0);
  // Kinds outside the table are refused before anything changes.
  EXPECT_THROW(P.T.Start(static_cast<TQxTransitionType>(0), *P.From, *P.To, 100), EInvalidOperation);
  EXPECT_THROW(P.T.Start(static_cast<TQxTransitionType>(250), *P.From, *P.To, 100), EInvalidOperation);
  EXPECT_FALSE(P.T.Running());
}

TEST(Transitions, PanZoomStretchesInsideAndCentresWhatLeavesThePicture) {
  Player P;
  P.View.SetBackground(0x00FF00);
  TQxBitmap Src;
  Src.Allocate(100, 50, TQxPixelFormat::qx24RGB);
  Src.Fill(0x0000FF);
  // Inside the picture: the rectangle stretched over the whole frame, nothing cleared.
  P.T.StartPanZoom(&Src, TRect(0, 0, 100, 50), TRect(10, 10, 60, 35), 40, 20, 1000);
  P.T.PaintFrame(512);
  EXPECT_EQ(PixelAt(*P.T.FrameBitmap(), 0, 0), 0xFF0000u);  // red in blue-green-red order
  EXPECT_EQ(PixelAt(*P.T.FrameBitmap(), 39, 19), 0xFF0000u);
  P.T.Stop();
  // Leaving on the left: clipped to 0, aspect kept (a 50 x 50 source in a 40 x 20 frame is 20 wide),
  // centred over the background.
  P.T.StartPanZoom(&Src, TRect(-50, 0, 50, 50), TRect(-50, 0, 50, 50), 40, 20, 1000);
  P.T.PaintFrame(0);
  EXPECT_EQ(PixelAt(*P.T.FrameBitmap(), 2, 10), 0x00FF00u);
  EXPECT_EQ(PixelAt(*P.T.FrameBitmap(), 20, 10), 0xFF0000u);
  EXPECT_EQ(PixelAt(*P.T.FrameBitmap(), 37, 10), 0x00FF00u);
}

// Frames asked for after the end (the pictures are then released to one pixel) paint nothing, whether
// the caller asks or a step handler stops the player, starts a smaller one or releases the view's frame.
TEST(Transitions, FramesAfterTheEndTouchNothing) {
  for (auto Kind : {TQxTransitionType::qxttCrossDissolve, TQxTransitionType::qxttLeftRight1,
                    TQxTransitionType::qxttMoveUpDown1, TQxTransitionType::qxttRandomBoxes,
                    TQxTransitionType::qxttCenterZoom1, TQxTransitionType::qxttCrisscrossWipeFromTopRight}) {
    Player P;
    P.Start(Kind);
    P.T.PaintFrame(300);
    P.T.Stop();
    P.T.PaintFrame(600);
    EXPECT_EQ(P.T.FrameBitmap()->Width(), 1);
    EXPECT_FALSE(P.T.Running());

    Player Q;
    Q.T.OnTransitionStep = [&](TObject*, int32_t) { Q.T.Stop(); };
    Q.Start(Kind);
    Q.T.TimerStep(nullptr);
    EXPECT_FALSE(Q.T.Running());
    EXPECT_EQ(Q.View.Locks, 0);

    Player R;
    auto Small = Picture(8, 6, false);
    bool Restarted = false;
    R.T.OnTransitionStep = [&](TObject*, int32_t) {
      if (Restarted) return;
      Restarted = true;
      R.T.Start(Kind, *Small, *Small, 1000);
    };
    R.Start(Kind);
    R.T.TimerStep(nullptr);
    EXPECT_TRUE(R.T.Running());
    EXPECT_EQ(R.T.FrameBitmap()->Width(), 8);
    R.T.Stop();

    Player S;
    int Painted = 0;
    S.T.OnTransitionPaint = [&](TObject*, TBitmap*, TQxTransitionEffects*, int32_t) {
      ++Painted;
      S.T.Stop();
    };
    S.Start(Kind);
    S.Clock.Advance(2000);
    S.T.TimerStep(nullptr);
    EXPECT_EQ(Painted, 1);
    EXPECT_FALSE(S.T.Running());
  }
}
