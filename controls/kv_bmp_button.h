#pragma once
// A push button whose look comes from up to six bitmaps drawn with one colour transparent. It acts
// as a plain button or as one of a group of which at most one is down, like radio buttons.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controls/kv_colors.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

// The pictures of a bitmap button.
class TKvButtonBitmaps : public TPersistent {
 public:
  TKvButtonBitmaps();
  ~TKvButtonBitmaps() override;
  std::string ClassName() const override { return "TKvButtonBitmaps"; }

  TBitmap* Up() const { return FUp.get(); }
  void SetUp(const TBitmap* Value) { Copy(*FUp, Value); }
  TBitmap* UpAndFocused() const { return FUpAndFocused.get(); }
  void SetUpAndFocused(const TBitmap* Value) { Copy(*FUpAndFocused, Value); }
  TBitmap* Disabled() const { return FDisabled.get(); }
  void SetDisabled(const TBitmap* Value) { Copy(*FDisabled, Value); }
  TBitmap* Down() const { return FDown.get(); }
  void SetDown(const TBitmap* Value) { Copy(*FDown, Value); }
  TBitmap* StayDown() const { return FStayDown.get(); }
  void SetStayDown(const TBitmap* Value) { Copy(*FStayDown, Value); }
  TBitmap* Hot() const { return FHot.get(); }
  void SetHot(const TBitmap* Value) { Copy(*FHot, Value); }
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor Value);

  // Any picture or the transparent colour changed.
  TNotifyEvent OnChange;

 private:
  void Copy(TBitmap& To, const TBitmap* From);
  void Changed();
  std::unique_ptr<TBitmap> FUp, FUpAndFocused, FDisabled, FDown, FStayDown, FHot;
  TColor FTransparentColor = clOlive;
};

inline constexpr TButtonLayout blGlyphLeft = TButtonLayout::blGlyphLeft;
inline constexpr TButtonLayout blGlyphRight = TButtonLayout::blGlyphRight;
inline constexpr TButtonLayout blGlyphTop = TButtonLayout::blGlyphTop;
inline constexpr TButtonLayout blGlyphBottom = TButtonLayout::blGlyphBottom;

enum class TButtonStyle : uint8_t { bsAutoDetect, bsWin31, bsNew };
enum class TButtonBorder : uint8_t { bbNone, bbSingle, bbButton };
inline constexpr TButtonBorder bbNone = TButtonBorder::bbNone;
inline constexpr TButtonBorder bbSingle = TButtonBorder::bbSingle;
inline constexpr TButtonBorder bbButton = TButtonBorder::bbButton;
enum class TBtnSize : uint8_t { bszNeither, bszButtonToBitmap, bszStretchToButton, bszTileToButton };
inline constexpr TBtnSize bszNeither = TBtnSize::bszNeither;
inline constexpr TBtnSize bszButtonToBitmap = TBtnSize::bszButtonToBitmap;
inline constexpr TBtnSize bszStretchToButton = TBtnSize::bszStretchToButton;
inline constexpr TBtnSize bszTileToButton = TBtnSize::bszTileToButton;

// Sent to the controls of a button's parent when a member of its group goes down or changes its
// AllowAllUp: WParam the group index, LParam the button.
inline constexpr uint32_t KV_BMPBTN_GROUP = 9248;

class TKvBmpButton : public TCustomControl {
 public:
  enum class TLook : uint8_t { Up, Disabled, Pressed, StayDown };

  explicit TKvBmpButton(TComponent* AOwner);
  ~TKvBmpButton() override;
  std::string ClassName() const override { return "TKvBmpButton"; }

  TKvButtonBitmaps* Bitmaps() const { return FBitmaps.get(); }
  int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t Value);
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool Value);
  int32_t CaptionDownOffset() const { return FCaptionDownOffset; }
  void SetCaptionDownOffset(int32_t Value);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout Value);
  int32_t Spacing() const { return FSpacing; }
  void SetSpacing(int32_t Value);
  int32_t Margin() const { return FMargin; }
  void SetMargin(int32_t Value);
  TButtonStyle ButtonStyle() const { return FButtonStyle; }
  void SetButtonStyle(TButtonStyle Value);
  TButtonBorder ButtonBorder() const { return FButtonBorder; }
  void SetButtonBorder(TButtonBorder Value);
  TBtnSize ButtonSize() const { return FButtonSize; }
  void SetButtonSize(TBtnSize Value);
  bool ShowFocus() const { return FShowFocus; }
  void SetShowFocus(bool Value);
  bool ShowDownPattern() const { return FShowDownPattern; }
  void SetShowDownPattern(bool Value);
  // The face colour: the button's own, apart from the colour it inherits.
  TColor Color() const { return FFaceColor; }
  void SetColor(TColor Value) override;
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  TLook LookState() const { return FLook; }
  bool MouseOver() const { return FMouseOver; }
  // New style: single bevels; the old style has double ones.
  bool NewStyle() const;

  void Click() override;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Loaded() override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMLButtonDblClk(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMDialogChar(TMessage& Message) override;
  // Places glyph and caption in R: returns the caption's rectangle and, when the glyph has a
  // size, replaces R by the glyph's.
  TRect LayoutGlyphAndCaption(TRect& R, const TBitmap* Picture);

 private:
  void NotifyGroup();
  void FitToBitmap();
  void FinishPress(bool Clicked);
  void SetLook(TLook Value, bool Now);
  const TBitmap* PictureForLook(std::unique_ptr<TBitmap>& Generated) const;
  int32_t FGroupIndex = 0;
  std::unique_ptr<TKvButtonBitmaps> FBitmaps;
  bool FDown = false;
  int32_t FCaptionDownOffset = 1;
  bool FPressing = false;
  bool FAllowAllUp = false;
  TButtonLayout FLayout = blGlyphLeft;
  int32_t FSpacing = 4;
  int32_t FMargin = -1;
  TButtonStyle FButtonStyle = TButtonStyle::bsAutoDetect;
  TButtonBorder FButtonBorder = bbNone;
  TBtnSize FButtonSize = bszButtonToBitmap;
  bool FShowFocus = true;
  bool FShowDownPattern = true;
  TColor FFaceColor = clBtnFace;
  bool FFocused = false;
  TModalResult FModalResult = 0;
  TLook FLook = TLook::Up;
  bool FMouseOver = false;
  bool FFitting = false;
};

// The 8 x 8 dither of a down button's face, shared by every bitmap button (made on first need).
TBitmap* KvDownPattern();
bool KvDownPatternExists();
// A disabled look made from a picture: its dark pixels embossed in shadow and highlight.
std::unique_ptr<TBitmap> KvMakeDisabledPicture(const TBitmap& Up);

void RegisterKvBmpButtonProperties();
