#pragma once
// The tool button: a windowless button with an image and an optional caption, stay-down groups and a
// drop-down menu from an arrow part. It never takes the focus.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/kv_blits.h"
#include "controls/kv_colors.h"
#include "controls/kv_painters.h"
#include "controls/kv_utils.h"
#include "platform/ui/themes.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"

class TCustomImageList;
class TPopupMenu;

enum class TKvToolStyle : uint8_t { tsButton, tsDropDown };

// Width of the arrow part of a drop-down tool button.
inline constexpr int32_t kKvToolArrowWidth = 14;

class TKvToolButton : public TGraphicControl {
 public:
  // The looks a tool button paints.
  enum : uint8_t { lookUp = 0, lookDisabled = 1, lookPressed = 2, lookStayDown = 3, lookMenu = 4 };

  explicit TKvToolButton(TComponent* AOwner);
  ~TKvToolButton() override;
  std::string ClassName() const override { return "TKvToolButton"; }

  bool AllowAllUp() const { return FAllowAllUp; }
  virtual void SetAllowAllUp(bool v);
  bool Down() const { return FDown; }
  virtual void SetDown(bool v);
  bool Flat() const { return FFlat; }
  virtual void SetFlat(bool v);
  int32_t GroupIndex() const { return FGroupIndex; }
  virtual void SetGroupIndex(int32_t v);
  int32_t ImageIndex() const { return FImageIndex; }
  virtual void SetImageIndex(int32_t v);
  int32_t DownIndex() const { return FDownIndex; }
  virtual void SetDownIndex(int32_t v);
  int32_t DisabledIndex() const { return FDisabledIndex; }
  virtual void SetDisabledIndex(int32_t v);
  int32_t HotIndex() const { return FHotIndex; }
  virtual void SetHotIndex(int32_t v);
  TCustomImageList* Images() const { return FImages; }
  virtual void SetImages(TCustomImageList* v);
  TButtonLayout Layout() const { return FLayout; }
  virtual void SetLayout(TButtonLayout v);
  TPopupMenu* DropDownMenu() const { return FDropDownMenu; }
  virtual void SetDropDownMenu(TPopupMenu* v);
  TKvToolStyle ToolStyle() const { return FToolStyle; }
  virtual void SetToolStyle(TKvToolStyle v);
  bool ShowCaption() const { return FShowCaption; }
  virtual void SetShowCaption(bool v);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v);
  TKvVisualStyle VisualStyle() const { return FVisualStyle; }
  virtual void SetVisualStyle(TKvVisualStyle v);
  TKvGradientColorStyle GradientColorStyle() const { return FGradientColorStyle; }
  virtual void SetGradientColorStyle(TKvGradientColorStyle v);
  TColor SelectionColorStart() const { return FSelectionColorStart; }
  virtual void SetSelectionColorStart(TColor v);
  TColor SelectionColorStop() const { return FSelectionColorStop; }
  virtual void SetSelectionColorStop(TColor v);
  TColor SelectionFrameColor() const { return FSelectionFrameColor; }
  virtual void SetSelectionFrameColor(TColor v);
  bool UseToolbarButtonLayout() const { return FUseToolbarButtonLayout; }
  virtual void SetUseToolbarButtonLayout(bool v);
  bool UseToolbarButtonSize() const { return FUseToolbarButtonSize; }
  virtual void SetUseToolbarButtonSize(bool v);
  bool UseToolbarShowCaption() const { return FUseToolbarShowCaption; }
  virtual void SetUseToolbarShowCaption(bool v);
  bool UseToolbarVisualStyle() const { return FUseToolbarVisualStyle; }
  virtual void SetUseToolbarVisualStyle(bool v);
  // A size change at run time stops taking the size from a toolbar.
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

  uint8_t Look() const { return FLook; }
  bool MouseInControl() const { return FMouseInControl; }
  virtual TPoint ImageSize() const;
  // Image and caption places inside the button.
  virtual void ArrangeImageAndCaption(TRect& ImageRect, TRect& TextRect);

  void Click() override;
  // A new parent may be a toolbar that hands its settings down.
  void SetParent(TWinControl* AParent) override;

  TNotifyEvent OnDropDown;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  std::unique_ptr<TControlActionLink> CreateActionLink() override;
  void ActionChange(TObject* Sender, bool CheckDefaults) override;
  // Copies Down and ImageIndex into an action the button is assigned to.
  void AssignTo(TPersistent* Dest) override;
  virtual void RequestToolbarSettings();
  virtual void PaintFace(TRect& R);
  virtual void PaintImage(const TRect& R);
  virtual void PaintArrowPart();
  virtual void PaintCaption(const TRect& R);
  virtual void ShowDropDownMenu();
  virtual void DoDropDown();
  void Paint() override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;
  void CMTextChanged(TMessage& Message) override;
  void NotifyGroup();
  void SyncHover();
  void FitToImages();
  bool HotTrackingLook() const;
  bool Themed() const { return FVisualStyle == TKvVisualStyle::vsWinXP && ThemesEnabled(); }
  bool IsDropDown() const { return FToolStyle == TKvToolStyle::tsDropDown; }
  // A drop-down button clicks when something listens to its click.
  bool DropDownClicks() const { return static_cast<bool>(OnClick) || Action() != nullptr; }
  bool InArrowPart(int32_t X) const { return X >= Width() - kKvToolArrowWidth; }
  void SelectionColors(TColor& Frame, TColor& Start, TColor& Stop) const;

  bool FAllowAllUp = false;
  bool FDown = false;
  bool FPressing = false;
  bool FFlat = true;
  int32_t FGroupIndex = 0;
  int32_t FImageIndex = -1;
  int32_t FDownIndex = -1;
  int32_t FDisabledIndex = -1;
  int32_t FHotIndex = -1;
  TCustomImageList* FImages = nullptr;
  // Refits and repaints when the pictures or sizes of Images change.
  TChangeLink FImageChangeLink;
  TButtonLayout FLayout = TButtonLayout::blGlyphLeft;
  bool FMouseInControl = false;
  TPopupMenu* FDropDownMenu = nullptr;
  uint64_t FLastDropDownTime = 0;
  bool FClickArmed = true;
  TKvToolStyle FToolStyle = TKvToolStyle::tsButton;
  bool FShowCaption = false;
  bool FTransparent = true;
  bool FMenuShowing = false;
  TKvVisualStyle FVisualStyle = TKvVisualStyle::vsWinXP;
  TKvGradientColorStyle FGradientColorStyle = TKvGradientColorStyle::gcsSystem;
  TColor FSelectionColorStart = clBtnFace;
  TColor FSelectionColorStop = clBtnShadow;
  TColor FSelectionFrameColor = cl3DDkShadow;
  bool FUseToolbarButtonLayout = true;
  bool FUseToolbarButtonSize = true;
  bool FUseToolbarShowCaption = true;
  bool FUseToolbarVisualStyle = true;
  uint8_t FLook = lookUp;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvToolButtonProperties();
