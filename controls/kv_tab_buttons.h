#pragma once
// The three small buttons at the end of a tab strip: the scroller, the close button and the menu
// button. Each follows a press the same way: it shows pressed while the pointer stays in the
// pressed area and acts when the button is released there.

#include <cstdint>
#include <memory>
#include <string>

#include "controls/kv_tab_control.h"
#include "platform/ui/controls.h"
#include "platform/ui/menus.h"
#include "platform/ui/timer.h"

// The face all three buttons share.
void KvPaintButtonFace(TCanvas* Canvas, const TRect& R, TKvCustomTabControl* TabControl, TColor FrameColor,
                       bool Pressed);

// What the three have in common: the owning tab control, the frame colour and the press state.
class TKvTabButtonBase : public TCustomControl {
 public:
  explicit TKvTabButtonBase(TComponent* AOwner);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor v);
  bool MouseIsDown() const { return FMouseDown; }
  bool PressedInside() const { return FPressedInside; }
  TKvCustomTabControl* TabControl() const { return FTabControl; }

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  bool FocusOnClick() const override { return false; }
  // The area a press stays pressed in (client coordinates).
  virtual TRect PressedArea() const { return ClientRect(); }
  virtual void Pressed(int32_t X, int32_t Y) {}
  virtual void Released() {}
  virtual void Clicked() = 0;

  TKvCustomTabControl* FTabControl;
  TColor FFrameColor = clBtnShadow;
  bool FMouseDown = false;
  bool FPressedInside = false;
};

class TKvTabScroller : public TKvTabButtonBase {
 public:
  explicit TKvTabScroller(TComponent* AOwner);
  ~TKvTabScroller() override;
  std::string ClassName() const override { return "TKvTabScroller"; }
  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation v);
  // True when the up/right half is the one held down.
  bool UpRightPressed() const { return FUpRight; }
  TTimer* RepeatTimer() const { return FTimer; }
  void RepeatTick();
  TNotifyEvent OnUpRightClick;
  TNotifyEvent OnDownLeftClick;

 protected:
  virtual void DownLeftClick();
  virtual void UpRightClick();
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  TRect PressedArea() const override;
  void Pressed(int32_t X, int32_t Y) override;
  void Released() override;
  void Clicked() override;

 private:
  TOrientation FOrientation = TOrientation::orHorizontal;
  bool FUpRight = false;
  TTimer* FTimer = nullptr;
};

class TKvTabCloseButton : public TKvTabButtonBase {
 public:
  explicit TKvTabCloseButton(TComponent* AOwner) : TKvTabButtonBase(AOwner) {}
  std::string ClassName() const override { return "TKvTabCloseButton"; }
  TNotifyEvent OnClose;

 protected:
  void Paint() override;
  void Clicked() override { Click(); }

 public:
  void Click() override;
};

class TKvTabMenuButton : public TKvTabButtonBase {
 public:
  explicit TKvTabMenuButton(TComponent* AOwner);
  ~TKvTabMenuButton() override;
  std::string ClassName() const override { return "TKvTabMenuButton"; }
  TPopupMenu* Menu() const { return FMenu; }
  // Rebuilds the menu from the tabs and pops it up beside the button.
  virtual void DisplayMenu();
  // Fills the menu with one item per visible tab (the first step of DisplayMenu).
  void BuildMenu();
  void MenuItemClick(TObject* Sender);

 protected:
  void Paint() override;
  void Clicked() override { DisplayMenu(); }

 private:
  TPopupMenu* FMenu = nullptr;
};
