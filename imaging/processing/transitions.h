// TQxTransitionEffects: the transition player a view owns. A timer composes frames between the picture
// shown before and the picture shown after, by a timing curve, and shows them at the view's top left.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/base/types.h"
#include "platform/ui/component.h"

class TBitmap;
class TTimer;
class TQxView;
class TQxBitmap;
class TCanvas;
class TQxTransitionEffects;

// 0 none, 1..30 painted by the player, 31..212 painted through the transition table, 213 pan and zoom.
enum class TQxTransitionType : uint8_t {
  qxttNone = 0,
  qxttCrossDissolve = 1,
  qxttFadeOut = 2,
  qxttFadeIn = 3,
  qxttFadeOutIn = 4,
  qxttLeftRight1 = 5,
  qxttLeftRight2 = 6,
  qxttRightLeft1 = 7,
  qxttRightLeft2 = 8,
  qxttUpDown1 = 9,
  qxttUpDown2 = 10,
  qxttDownUp1 = 11,
  qxttDownUp2 = 12,
  qxttFromUpLeft = 13,
  qxttFromUpRight = 14,
  qxttFromBottomLeft = 15,
  qxttFromBottomRight = 16,
  qxttMoveLeftRight1 = 17,
  qxttMoveLeftRight2 = 18,
  qxttMoveRightLeft1 = 19,
  qxttMoveRightLeft2 = 20,
  qxttMoveUpDown1 = 21,
  qxttMoveUpDown2 = 22,
  qxttMoveDownUp1 = 23,
  qxttMoveDownUp2 = 24,
  qxttRandomPoints = 25,
  qxttRandomBoxes = 26,
  qxttCenter1 = 27,
  qxttCenter2 = 28,
  qxttCenterZoom1 = 29,
  qxttCenterZoom2 = 30,
  qxttExpandFromLeft = 31,
  qxttExpandFromRight = 32,
  qxttExpandFromTop = 33,
  qxttExpandFromBottom = 34,
  qxttExpandFromTopLeft = 35,
  qxttExpandFromTopRight = 36,
  qxttExpandFromBottomLeft = 37,
  qxttExpandFromBottomRight = 38,
  qxttExpandInFromLeft = 39,
  qxttExpandInFromRight = 40,
  qxttExpandInFromTop = 41,
  qxttExpandInFromBottom = 42,
  qxttExpandInToVerticalCenter = 43,
  qxttExpandInToHorizon = 44,
  qxttExpandInFromSides = 45,
  qxttExpandInFromTopAndBottom = 46,
  qxttExpandOutFromHorizon = 47,
  qxttExpandOutFromVerticalCenter = 48,
  qxttWipeFromTopLeft = 49,
  qxttWipeFromTopRight = 50,
  qxttWipeFromBottomLeft = 51,
  qxttWipeFromBottomRight = 52,
  qxttWipeInFromTopAndBottom = 53,
  qxttWipeFromHorizon = 54,
  qxttWipeInFromSides = 55,
  qxttWipeOutFromVerticalCenter = 56,
  qxttBuildUpFromLeft = 57,
  qxttBuildUpFromRight = 58,
  qxttBuildUpFromTop = 59,
  qxttBuildUpFromBottom = 60,
  qxttUnrollFromLeft = 61,
  qxttUnrollFromRight = 62,
  qxttUnrollFromTop = 63,
  qxttUnrollFromBottom = 64,
  qxttSlideInFromLeft = 65,
  qxttSlideInFromRight = 66,
  qxttSlideInFromTop = 67,
  qxttSlideInFromBottom = 68,
  qxttShrinkToTopLeft = 69,
  qxttShrinkToTopRight = 70,
  qxttShrinkToBottomLeft = 71,
  qxttShrinkToBottomRight = 72,
  qxttShrinkToCenter = 73,
  qxttQuartersWipeInToCenter = 74,
  qxttQuartersExpandToCenter = 75,
  qxttQuartersSlideInToCenter = 76,
  qxttCurvedWipeFromLeft = 77,
  qxttCurvedWipeFromRight = 78,
  qxttCurvedWipeFromTop = 79,
  qxttCurvedWipeFromBottom = 80,
  qxttCurvedWipeFromTopLeft = 81,
  qxttCurvedWipeFromTopRight = 82,
  qxttCurvedWipeFromBottomLeft = 83,
  qxttCurvedWipeFromBottomRight = 84,
  qxttBarsInFromLeft = 85,
  qxttBarsInFromRight = 86,
  qxttBarsFromTop = 87,
  qxttBarsFromBottom = 88,
  qxttBarsLeftThenRight = 89,
  qxttBarsRightThenLeft = 90,
  qxttBarsTopThenBottom = 91,
  qxttBarsBottomThenTop = 92,
  qxttBarsFrombothSides = 93,
  qxttBarsFromTopAndBottom = 94,
  qxttShreddedFromLeft = 95,
  qxttShreddedFromRight = 96,
  qxttShreddedFromTop = 97,
  qxttShreddedFromBottom = 98,
  qxttShreddedFromTopAndLeft = 99,
  qxttShreddedFromTopAndRight = 100,
  qxttShreddedFromBottomAndLeft = 101,
  qxttShreddedFromBottomAndRight = 102,
  qxttShreddedFromHorizonAndLeft = 103,
  qxttShreddedFromHorizonAndRight = 104,
  qxttShreddedFromTopAndVerticalCenter = 105,
  qxttShreddedFromBottomAndVerticalCenter = 106,
  qxttShreddedFromCenter = 107,
  qxttShreddedToCenter = 108,
  qxttShreddedInToHorizon = 109,
  qxttShreddedInToVerticalCenter = 110,
  qxttShreddedOutFromHorizon = 111,
  qxttShreddedOutFromVerticalCenter = 112,
  qxttExpandingRectangles = 113,
  qxttExpandingTriangles = 114,
  qxttExpandingCircles = 115,
  qxttExpandingDiamonds = 116,
  qxttCircularWipeFromCenter = 117,
  qxttCircularWipeToCenter = 118,
  qxttCrisscrossWipeFromTopLeft = 119,
  qxttCrisscrossWipeFromTopRight = 120,
  qxttCrisscrossWipeFromBottomLeft = 121,
  qxttCrisscrossWipeFromBottomRight = 122,
  qxttCrisscrossWipeBounceFromTopLeft = 123,
  qxttCrisscrossWipeBounceFromTopRight = 124,
  qxttCrisscrossWipeBounceFromBottomLeft = 125,
  qxttCrisscrossWipeBounceFromBottomRight = 126,
  qxttCrisscrossWipeFromLeftRightAndTop = 127,
  qxttCrisscrossWipeFromLeftRightAndBottom = 128,
  qxttCrisscrossWipeFromLeftTopAndBottom = 129,
  qxttCrisscrossWipeFromTopLeftRightAndBottom = 130,
  qxttCrisscrossWipeFromRightTopAndBottom = 131,
  qxttCrisscrossWipeFromBottomLeftTopRight = 132,
  qxttWipeDiagonalFromTopLeft = 133,
  qxttWipeDiagonalFromTopRight = 134,
  qxttWipeDiagonalFromBottomLeft = 135,
  qxttWipeDiagonalFromBottomRight = 136,
  qxttDiagonalSweepClockwise = 137,
  qxttDiagonalSweepCounterClockwise = 138,
  qxttSweepClockwise = 139,
  qxttSweepCounterClockwise = 140,
  qxttStarburstClockwiseFromCenter = 141,
  qxttStarburstCounterClockwiseFromCenter = 142,
  qxttRotationalRectangle = 143,
  qxttRotationalRectangleCounterClockwise = 144,
  qxttRotationalStar = 145,
  qxttRotationalStarCounterClockwise = 146,
  qxttSpeckledWipeFromLeft = 147,
  qxttSpeckledWipeFromRight = 148,
  qxttSpeckledWipeFromTop = 149,
  qxttSpeckledWipeFromBottom = 150,
  qxttPushLeftAndSlideOut = 151,
  qxttPushRightAndSlideOut = 152,
  qxttPushUpAndSlideOut = 153,
  qxttPushDownAndSlideOut = 154,
  qxttPushAndSqueezeLeft = 155,
  qxttPushAndSqueezeRight = 156,
  qxttPushAndSqueezeUp = 157,
  qxttPushAndSqueezeDown = 158,
  qxttHorizontalBlinds = 159,
  qxttVerticalBlinds = 160,
  qxttUnevenBlindsFromLeft = 161,
  qxttUnevenBlindsFromRight = 162,
  qxttUnevenBlindsFromTop = 163,
  qxttUnevenBlindsFromBottom = 164,
  qxttRectanglesFromTheLeft = 165,
  qxttRectanglesFromTheRight = 166,
  qxttRectanglesFromTheTop = 167,
  qxttRectanglesFromTheBottom = 168,
  qxttSpirallingRectangleClockwise = 169,
  qxttSpirallingRectangleCounterClockwise = 170,
  qxttArrowWipeFromLeft = 171,
  qxttArrowWipeFromRight = 172,
  qxttArrowWipeFromTop = 173,
  qxttArrowWipeFromBottom = 174,
  qxttHorizontalBowTieWipe = 175,
  qxttVerticalBowTieWipe = 176,
  qxttDiagonalCrossFromCenter = 177,
  qxttDiagonalCrossToCenter = 178,
  qxttZigzagWipeFromHorizon = 179,
  qxttZigzagWipeFromVerticalCenter = 180,
  qxttDiamondWipeFromCenter = 181,
  qxttDiamondWipeToCenter = 182,
  qxttDiagonalBoxWipe = 183,
  qxttTriangularWipeEffect = 184,
  qxttRandomBigBoxesEffect = 185,
  qxttPageFlipEffect = 186,
  qxttPageFlipEffect2 = 187,
  qxttZigzagWipeToHorizon = 188,
  qxttZigzagWipeToVerticalCenter = 189,
  qxttRandomHearts = 190,
  qxttRandomStar5s = 191,
  qxttRandomStar6s = 192,
  qxttRandomExplosions = 193,
  qxttExpandingHearts = 194,
  qxttExpandingStar5 = 195,
  qxttExpandingStar6 = 196,
  qxttExpandingExplosions = 197,
  qxttExpandingLightningBolts = 198,
  qxttHeartWipeOut = 199,
  qxttHeartWipeIn = 200,
  qxttStar5WipeOut = 201,
  qxttStar5WipeIn = 202,
  qxttStar6WipeOut = 203,
  qxttStar6WipeIn = 204,
  qxttExplosionWipeOut = 205,
  qxttExplosionWipeIn = 206,
  qxttCrossWipeOut = 207,
  qxttCrossWipeIn = 208,
  qxttHeartWipeInAndOut = 209,
  qxttStar5WipeInAndOut = 210,
  qxttStar6WipeInAndOut = 211,
  qxttExplosionWipeInAndOut = 212,
  qxttPanZoom = 213,
};

enum class TQxTransitionTiming : uint8_t { qxtmLinear = 0, qxtmExponential = 1, qxtmLogarithmic = 2 };

using TQxTransitionStepEvent = std::function<void(TObject* Sender, int32_t Step)>;
using TQxOnTransitionPaint =
    std::function<void(TObject* Sender, TBitmap* Bitmap, TQxTransitionEffects* Transition, int32_t Step)>;

// Kinds 1..212 and the pan-zoom; anything else is refused by Start.
constexpr bool QxValidTransitionType(TQxTransitionType T) { return static_cast<uint8_t>(T) >= 1 && static_cast<uint8_t>(T) <= 213; }

// The step (0..1024) that a timing curve gives after Elapsed of Duration milliseconds.
int32_t QxTransitionStepAt(TQxTransitionTiming Timing, uint32_t Elapsed, int32_t Duration);

// Clears a frame to a view's background; the image view fills this in with its own background painter.
extern void (*QxPaintViewBackgroundHook)(TQxView* View, TCanvas* Canvas);

class TQxTransitionEffects : public TObject {
 public:
  // CreateForView: three 1 x 1 24-bit pictures and a disabled timer owned by the view.
  explicit TQxTransitionEffects(TQxView* AView);
  ~TQxTransitionEffects() override;
  std::string ClassName() const override { return "TQxTransitionEffects"; }

  void AssignPaintHandler(TQxOnTransitionPaint Handler) { OnTransitionPaint = std::move(Handler); }
  // Starts a transition of Kind from From to To (each drawn at the frame's top left over the view's
  // background; the frame takes the size of From). Kinds outside 1..212 raise EInvalidOperation; a
  // running transition is stopped first. Duration below 1 ms is taken as 1.
  void Start(TQxTransitionType Kind, const TBitmap& From, const TBitmap& To, int32_t ADuration,
             TQxTransitionTiming ATiming = TQxTransitionTiming::qxtmLinear, bool AUpdateOnStop = true);
  // Starts a pan and zoom over Source from rectangle StartRect to EndRect, in a frame of the given size.
  void StartPanZoom(TQxBitmap* Source, const TRect& StartRect, const TRect& EndRect, int32_t AFrameWidth,
                    int32_t AFrameHeight, int32_t ADuration, TQxTransitionTiming ATiming = TQxTransitionTiming::qxtmLinear,
                    bool AUpdateOnStop = true);
  // Paints the frame of kind TransitionType for step S (0..1024, clamped) into FrameBitmap.
  void PaintFrame(int32_t S);
  // Ends a running transition: timer off, pictures shrunk, the view's paint lock released, the stop event.
  void Stop();
  // The timer's handler.
  void TimerStep(TObject* Sender);

  TBitmap* FromBitmap() const { return fromBitmap_.get(); }
  TBitmap* ToBitmap() const { return toBitmap_.get(); }
  TBitmap* FrameBitmap() const { return frameBitmap_.get(); }
  TTimer* Timer() const { return timer_; }
  TQxView* View() const { return view_; }
  bool Running() const { return running_; }

  TQxBitmap* PanZoomSource = nullptr;
  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  int32_t Step = 0;
  int32_t RandomDrawn = 0;
  TQxTransitionType TransitionType = TQxTransitionType::qxttNone;
  int32_t Duration = 1000;
  uint32_t StartTick = 0;
  bool UpdateOnStop = false;
  TRect PanZoomStart{};
  TRect PanZoomEnd{};
  TQxTransitionTiming Timing = TQxTransitionTiming::qxtmLinear;

  TNotifyEvent OnTransitionStop;
  TQxTransitionStepEvent OnTransitionStep;
  TQxOnTransitionPaint OnTransitionPaint;

 private:
  void PrepareFrame(int32_t W, int32_t H);
  void BuildRowTables();
  void BeginRunning(int32_t ADuration, TQxTransitionTiming ATiming, bool AUpdateOnStop);
  void PaintRows(int32_t S);
  void PaintBlit(int32_t S);
  void PaintRandom(int32_t S);
  void PaintPanZoom(int32_t S);
  void PaintTable(int32_t S);
  void ShowOnView(TBitmap* B);

  std::unique_ptr<TBitmap> fromBitmap_;
  std::unique_ptr<TBitmap> toBitmap_;
  std::unique_ptr<TBitmap> frameBitmap_;
  TQxView* view_ = nullptr;
  TTimer* timer_ = nullptr;
  bool running_ = false;
  // Row addresses of the three pictures, index 0 = top row.
  std::vector<uint8_t*> fromRows_, toRows_, frameRows_;
};
