#pragma once
// The spin edit: a number edit with two arrow buttons beside its text. The value changes by
// Increment or PageSize within Min and Max from the arrows (repeating while held), the arrow and
// page keys and the wheel; typed text is checked as it is typed and limited when the field is left.

#include <cstdint>
#include <functional>
#include <string>

#include "controls/kv_control_button.h"
#include "controls/kv_edit.h"

enum class TSpinDirection : uint8_t { sdUpDown, sdLeftRight };
inline constexpr TSpinDirection sdUpDown = TSpinDirection::sdUpDown;
inline constexpr TSpinDirection sdLeftRight = TSpinDirection::sdLeftRight;
enum class TSpinButtonType : uint8_t { sbUp, sbDown };
inline constexpr TSpinButtonType sbUp = TSpinButtonType::sbUp;
inline constexpr TSpinButtonType sbDown = TSpinButtonType::sbDown;

using TSpinChangingEvent = std::function<void(TObject* Sender, long double NewValue, bool& AllowChange)>;
using TSpinButtonEvent = std::function<void(TObject* Sender, TSpinButtonType Button)>;

// The two arrow buttons.
class TKvSpinButtons : public TWinControl {
 public:
  explicit TKvSpinButtons(TComponent* AOwner);
  std::string ClassName() const override { return "TKvSpinButtons"; }

  TKvControlButton* UpRightButton() const { return FUpRight; }
  TKvControlButton* DownLeftButton() const { return FDownLeft; }
  TColor Color() const { return TWinControl::Color(); }
  void SetColor(TColor Value) override;
  uint16_t Delay() const { return FUpRight->Delay(); }
  void SetDelay(uint16_t Value);
  uint16_t InitialDelay() const { return FUpRight->InitialDelay(); }
  void SetInitialDelay(uint16_t Value);
  TSpinDirection Direction() const { return FDirection; }
  void SetDirection(TSpinDirection Value);
  void SetEnabled(bool Value) override;
  bool Flat() const { return FFlat; }
  void SetFlat(bool Value);
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value);
  TOrientation Orientation() const { return FOrientation; }
  void SetOrientation(TOrientation Value);
  TBitmap* GlyphUpRight() const { return FUpRight->Glyph(); }
  void SetGlyphUpRight(const TBitmap* Value);
  TBitmap* GlyphDownLeft() const { return FDownLeft->Glyph(); }
  void SetGlyphDownLeft(const TBitmap* Value);
  TNumGlyphs NumGlyphsUpRight() const { return FUpRight->NumGlyphs(); }
  void SetNumGlyphsUpRight(TNumGlyphs Value) { FUpRight->SetNumGlyphs(Value); }
  TNumGlyphs NumGlyphsDownLeft() const { return FDownLeft->NumGlyphs(); }
  void SetNumGlyphsDownLeft(TNumGlyphs Value) { FDownLeft->SetNumGlyphs(Value); }
  bool CustomGlyphUpRight() const { return FCustomUpRight; }
  bool CustomGlyphDownLeft() const { return FCustomDownLeft; }
  // Takes the focus only as a tab stop of its own.
  bool CanFocus() const override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

  TNotifyEvent OnUpRightClick;
  TNotifyEvent OnDownLeftClick;

 protected:
  virtual TKvControlButton* MakeArrowButton();
  virtual void ArrowClicked(TObject* Sender);
  virtual void ArrowMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void ArrowGlyphChanged(TKvControlButton* Button);
  virtual void LayoutArrows(int32_t W, int32_t H);
  virtual void DoUpRightClick();
  virtual void DoDownLeftClick();
  void Loaded() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void ResetGlyph(TKvControlButton* B, bool UpRight);
  TKvControlButton* FUpRight = nullptr;
  TKvControlButton* FDownLeft = nullptr;
  TSpinDirection FDirection = sdUpDown;
  TOrientation FOrientation = orVertical;
  bool FFlat = false;
  TWinControl* FFocusControl = nullptr;
  bool FCustomUpRight = false, FCustomDownLeft = false;
};

class TKvSpinEdit : public TKvCustomEdit {
 public:
  explicit TKvSpinEdit(TComponent* AOwner);
  ~TKvSpinEdit() override;
  std::string ClassName() const override { return "TKvSpinEdit"; }

  bool AllowBlank() const { return FAllowBlank; }
  void SetAllowBlank(bool Value) { FAllowBlank = Value; }
  bool AllowKeyEdit() const { return FAllowKeyEdit; }
  void SetAllowKeyEdit(bool Value) { FAllowKeyEdit = Value; }
  long double BlankValue() const { return FBlankValue; }
  void SetBlankValue(long double Value) { FBlankValue = Value; }
  int32_t ButtonWidth() const { return FButtonWidth; }
  virtual void SetButtonWidth(int32_t Value);
  bool CheckRange() const { return FCheckRange; }
  virtual void SetCheckRange(bool Value);
  uint8_t Decimals() const { return FDecimals; }
  virtual void SetDecimals(uint8_t Value);
  long double Increment() const { return FIncrement; }
  void SetIncrement(long double Value) { FIncrement = Value; }
  bool IntegersOnly() const { return FIntegersOnly; }
  virtual void SetIntegersOnly(bool Value);
  long double Min() const { return FMin; }
  virtual void SetMin(long double Value);
  long double Max() const { return FMax; }
  virtual void SetMax(long double Value);
  long double PageSize() const { return FPageSize; }
  void SetPageSize(long double Value) { FPageSize = Value; }
  TSpinDirection Direction() const { return FButtons->Direction(); }
  void SetDirection(TSpinDirection Value) { FButtons->SetDirection(Value); }
  TOrientation Orientation() const { return FButtons->Orientation(); }
  void SetOrientation(TOrientation Value);
  TBitmap* ButtonUpGlyph() const { return FButtons->GlyphUpRight(); }
  void SetButtonUpGlyph(const TBitmap* Value) { FButtons->SetGlyphUpRight(Value); }
  TBitmap* ButtonDownGlyph() const { return FButtons->GlyphDownLeft(); }
  void SetButtonDownGlyph(const TBitmap* Value) { FButtons->SetGlyphDownLeft(Value); }
  TNumGlyphs ButtonUpNumGlyphs() const { return FButtons->NumGlyphsUpRight(); }
  void SetButtonUpNumGlyphs(TNumGlyphs Value) { FButtons->SetNumGlyphsUpRight(Value); }
  TNumGlyphs ButtonDownNumGlyphs() const { return FButtons->NumGlyphsDownLeft(); }
  void SetButtonDownNumGlyphs(TNumGlyphs Value) { FButtons->SetNumGlyphsDownLeft(Value); }
  void SetFlatButtons(bool Value) override;
  void SetFrameStyle(TFrameStyle Value) override;
  void SetFrameVisible(bool Value) override;

  // Reading an empty field without AllowBlank writes Min's text first.
  long double Value();
  void SetValue(long double Value);
  int32_t IntValue();
  void SetIntValue(int32_t Value) { SetValue(Value); }
  TKvSpinButtons* Buttons() const { return FButtons; }
  TKvControlButton* ButtonOf(TSpinButtonType Button) const;
  TRect EditAreaRect() const override;

  virtual void StepUp(long double Amount);
  virtual void StepDown(long double Amount);

  TSpinChangingEvent OnChanging;
  TSpinButtonEvent OnButtonClick;

 protected:
  virtual void ArrangeButtons();
  virtual void ApplyEditMargins();
  bool AcceptsChar(char32_t Ch) override;
  virtual void UpButtonClicked(TObject* Sender);
  virtual void DownButtonClicked(TObject* Sender);
  virtual long double ClampValue(long double Value) const;
  virtual bool DoChanging(long double NewValue);
  virtual void DoButtonClick(TSpinButtonType Button);
  void UpdateFrameState(bool MouseFlag, bool State) override;
  void BecameReadOnly() override;
  void BecameEditable() override;
  void Loaded() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void Dispatch(TMessage& Message) override;

 private:
  void Step(long double Amount, TSpinButtonType Button);
  void ApplyFlatButtonColors();
  bool FAllowKeyEdit = false;
  bool FAllowBlank = false;
  long double FBlankValue = 0;
  TKvSpinButtons* FButtons = nullptr;
  int32_t FButtonWidth = 17;
  bool FCheckRange = false;
  uint8_t FDecimals = 0;
  long double FIncrement = 1;
  bool FIntegersOnly = true;
  long double FMin = 0;
  long double FMax = 100;
  long double FPageSize = 10;
};

void RegisterKvSpinEditProperties();
