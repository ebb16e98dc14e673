#pragma once
// The track bar: a framed track, optional ticks and a thumb drawn from bitmaps. It moves by keys,
// by dragging the thumb and by paging toward a click on the track while the button is held, and
// announces each change through OnChanging (which may refuse it) and OnChange.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/kv_colors.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/timer.h"

enum class TTickStyle : uint8_t { tkStandard, tkOwnerDraw };
inline constexpr TTickStyle tkStandard = TTickStyle::tkStandard;
inline constexpr TTickStyle tkOwnerDraw = TTickStyle::tkOwnerDraw;

enum class TThumbStyle : uint8_t { tsBox, tsCustom, tsMixer, tsPointer, tsFlat, tsXPPointer, tsXPBox };
inline constexpr TThumbStyle tsBox = TThumbStyle::tsBox;
inline constexpr TThumbStyle tsCustom = TThumbStyle::tsCustom;
inline constexpr TThumbStyle tsMixer = TThumbStyle::tsMixer;
inline constexpr TThumbStyle tsPointer = TThumbStyle::tsPointer;
inline constexpr TThumbStyle tsFlat = TThumbStyle::tsFlat;
inline constexpr TThumbStyle tsXPPointer = TThumbStyle::tsXPPointer;
inline constexpr TThumbStyle tsXPBox = TThumbStyle::tsXPBox;

enum class TPointerType : uint8_t { ptStandard, ptWin95 };
inline constexpr TPointerType ptStandard = TPointerType::ptStandard;
inline constexpr TPointerType ptWin95 = TPointerType::ptWin95;

class TKvTrackBar;
using TDrawTickEvent = std::function<void(TKvTrackBar* TrackBar, TCanvas* Canvas, TPoint Location, int32_t Index)>;

// Cursor ids of the track bar's two cursors in the screen's cursor table.
inline constexpr TCursor crKvTrackBarH = 0x4B60;
inline constexpr TCursor crKvTrackBarV = 0x4B61;

class TKvTrackBar : public TCustomControl {
 public:
  explicit TKvTrackBar(TComponent* AOwner);
  ~TKvTrackBar() override;
  std::string ClassName() const override { return "TKvTrackBar"; }

  int32_t Min() const { return FMin; }
  void SetMin(int32_t Value);
  int32_t Max() const { return FMax; }
  void SetMax(int32_t Value);
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t Value);
  uint16_t PageSize() const { return FPageSize; }
  void SetPageSize(uint16_t Value) { FPageSize = Value; }
  TOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TOrientation Value);
  TTickStyle TickStyle() const { return FTickStyle; }
  void SetTickStyle(TTickStyle Value);
  TColor TickColor() const { return FTickColor; }
  void SetTickColor(TColor Value);
  TPositiveInteger TickStep() const { return FTickStep; }
  void SetTickStep(TPositiveInteger Value);
  TColor HighlightColor() const { return FHighlightColor; }
  void SetHighlightColor(TColor Value);
  TColor HotTrackColor() const { return FHotTrackColor; }
  void SetHotTrackColor(TColor Value);
  TKvHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  void SetHotTrackColorType(TKvHotTrackColorType Value);
  bool ShowTicks() const { return FShowTicks; }
  void SetShowTicks(bool Value);
  bool TabOnEnter() const { return FTabOnEnter; }
  void SetTabOnEnter(bool Value) { FTabOnEnter = Value; }
  TThumbStyle ThumbStyle() const { return FThumbStyle; }
  void SetThumbStyle(TThumbStyle Value);
  TPointerType PointerType() const { return FPointerType; }
  void SetPointerType(TPointerType Value);
  TColor TrackColor() const { return FTrackColor; }
  void SetTrackColor(TColor Value);
  uint16_t TrackOffset() const { return FTrackOffset; }
  void SetTrackOffset(uint16_t Value);
  TFrameStyle TrackFrame() const { return FTrackFrame; }
  void SetTrackFrame(TFrameStyle Value);
  TColor TrackFrameColor() const { return FTrackFrameColor; }
  void SetTrackFrameColor(TColor Value);
  uint16_t TrackWidth() const { return FTrackWidth; }
  void SetTrackWidth(uint16_t Value);
  bool ShowFocusRect() const { return FShowFocusRect; }
  void SetShowFocusRect(bool Value) { FShowFocusRect = Value; }
  // The picture of the tsCustom thumb: three equal cells (image, mask, disabled image).
  TBitmap* CustomThumb() const { return FCustomThumb.get(); }
  void SetCustomThumb(const TBitmap* Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);

  // Geometry as the control paints it now (client coordinates).
  TRect TrackRect() const;
  TRect ThumbRect() const;
  int32_t ThumbLength() const { return FThumbLength; }
  // A length above 0 fits the thumb images to that extent along the track (their ends kept, the
  // middle stretched or cut); 0 takes the length of the bitmap.
  void SetThumbLength(int32_t Value);
  int32_t ThumbThickness() const { return FThumbThickness; }
  bool Sliding() const { return FSliding; }
  bool Paging() const { return FPaging; }
  bool MouseOverThumb() const { return FMouseOverThumb; }
  const TBitmap* ThumbImage() const { return FThumb.get(); }
  const TBitmap* HotThumbImage() const { return FHotThumb.get(); }

  TNotifyEvent OnChange;
  TPositionChangingEvent OnChanging;
  TDrawTickEvent OnDrawTick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  virtual void PaintTrack(TCanvas* Canvas);
  virtual void PaintTicks(TCanvas* Canvas);
  virtual void PaintThumb(TCanvas* Canvas);
  // Asked before every change that keys or the mouse make; descendants may refuse.
  virtual bool PositionAllowed(int32_t NewPosition) { return true; }
  virtual void DoChange();
  virtual bool DoChanging(int32_t NewPosition);
  virtual void DoDrawTick(TCanvas* Canvas, TPoint Location, int32_t Index);
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMEnabledChanged(TMessage& Message) override;
  void CMParentColorChanged(TMessage& Message) override;
  void CMDesignHitTest(TMessage& Message) override;
  void RepeatTimerFired();

 private:
  void BuildThumbImages();
  void LookChanged();
  void RebuildBackground();
  bool Vertical() const { return FOrientation == orVertical; }
  int32_t Travel() const;
  TRect ComputeThumbRect() const;

  static constexpr int32_t FEndMargin = 4;
  int32_t FMax = 10;
  int32_t FMin = 0;
  TOrientation FOrientation = orHorizontal;
  uint16_t FPageSize = 1;
  int32_t FPosition = 0;
  TTickStyle FTickStyle = tkStandard;
  TColor FTickColor = clBtnShadow;
  TPositiveInteger FTickStep = 1;
  TColor FHighlightColor = clHighlight;
  TColor FHotTrackColor = 1350640;
  TKvHotTrackColorType FHotTrackColorType = htctActual;
  bool FShowTicks = true;
  bool FSliding = false;
  bool FPaging = false;
  bool FPagingUp = false;
  std::unique_ptr<TTimer> FRepeatTimer;
  int32_t FLastX = 0, FLastY = 0;
  bool FTabOnEnter = false;
  int32_t FGrabX = 0, FGrabY = 0;
  int32_t FThumbThickness = 0;
  TRect FThumbRect;
  TThumbStyle FThumbStyle = tsPointer;
  int32_t FThumbLength = 0;
  int32_t FThumbLengthSetting = 0;
  int32_t FHalfThumb = 0;
  TPointerType FPointerType = ptStandard;
  TColor FTrackColor = cl3DLight;
  uint16_t FTrackOffset = 20;
  TFrameStyle FTrackFrame = fsStatus;
  TColor FTrackFrameColor = clBtnShadow;
  uint16_t FTrackWidth = 8;
  bool FShowFocusRect = true;
  std::unique_ptr<TBitmap> FThumb, FHotThumb, FMask, FDisabledThumb, FBackground;
  bool FBackgroundStale = true;
  std::unique_ptr<TBitmap> FCustomThumb;
  bool FMouseOverThumb = false;
  bool FTransparent = false;
  bool FSettingCursor = false;
};

void RegisterKvTrackBarProperties();
