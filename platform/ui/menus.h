#pragma once
// Menus: the menu bar of a form, popup menus and their items, shortcuts and owner drawing.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

class TImageList;
class TMenu;
class TCustomForm;
class TMenuActionLink;
class TCustomImageList;

// The platform menu font: one face and size for every menu, named here only.
inline constexpr const char* kMenuFontName = "DejaVu Sans";
inline constexpr int32_t kMenuFontHeight = -11;

// Key code in the low byte, scShift / scCtrl / scAlt above it.
using TShortCut = uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
inline constexpr TShortCut scNone = 0;

TShortCut ShortCut(uint16_t Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, uint16_t& Key, TShiftState& Shift);
// "Ctrl+O", "Alt+F4", "Shift+Del" ...; empty for scNone.
std::string ShortCutToText(TShortCut ShortCut);
// Parses the same texts; 0 when not understood.
TShortCut TextToShortCut(const std::string& Text);
// The accelerator character of a caption ("&Open" -> 'o', "&&" is a literal '&'), lower-case; 0 when none.
char32_t GetHotkey(const std::string& Caption);
// True when Key (a character code) is the accelerator of Caption.
bool IsAccel(uint32_t Key, const std::string& Caption);
// Caption without accelerator marks ("&&" becomes "&").
std::string StripHotkey(const std::string& Caption);

enum class TOwnerDrawStateItem : uint8_t {
  odSelected,
  odGrayed,
  odDisabled,
  odChecked,
  odFocused,
  odDefault,
  odHotLight,
  odInactive,
  odNoAccel,
  odNoFocusRect,
  odReserved1,
  odReserved2,
  odComboBoxEdit
};
using TOwnerDrawState = TSetOf<TOwnerDrawStateItem>;
inline constexpr TOwnerDrawStateItem odSelected = TOwnerDrawStateItem::odSelected;
inline constexpr TOwnerDrawStateItem odGrayed = TOwnerDrawStateItem::odGrayed;
inline constexpr TOwnerDrawStateItem odDisabled = TOwnerDrawStateItem::odDisabled;
inline constexpr TOwnerDrawStateItem odChecked = TOwnerDrawStateItem::odChecked;
inline constexpr TOwnerDrawStateItem odFocused = TOwnerDrawStateItem::odFocused;
inline constexpr TOwnerDrawStateItem odDefault = TOwnerDrawStateItem::odDefault;
inline constexpr TOwnerDrawStateItem odHotLight = TOwnerDrawStateItem::odHotLight;
inline constexpr TOwnerDrawStateItem odInactive = TOwnerDrawStateItem::odInactive;
inline constexpr TOwnerDrawStateItem odNoAccel = TOwnerDrawStateItem::odNoAccel;

enum class TMenuAutoFlag : uint8_t { maAutomatic, maManual, maParent };

using TMenuMeasureItemEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, int32_t& Width, int32_t& Height)>;
using TMenuDrawItemEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool Selected)>;
using TAdvancedMenuDrawItemEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, TOwnerDrawState State)>;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;
  std::string ClassName() const override { return "TMenuItem"; }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  bool IsLine() const { return FCaption == "-"; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool Value);
  uint8_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(uint8_t Value);
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool v) { FAutoCheck = v; }
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value);
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t Value);
  // A picture of its own, used when the menu has no image list.
  TBitmap* Bitmap();
  bool HasBitmap() const { return FBitmap != nullptr; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  // Starts a new column in a popup.
  bool Break() const { return FBreak; }
  void SetBreak(bool Value);
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v) { FHint = v; }
  TImageList* SubMenuImages() const { return FSubMenuImages; }
  void SetSubMenuImages(TImageList* v);

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TMenuItem* Items(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)); }
  TMenuItem* Parent() const { return FParent; }
  int32_t MenuIndex() const;
  void SetMenuIndex(int32_t Value);
  void Add(TMenuItem* Item);
  void Insert(int32_t Index, TMenuItem* Item);
  void Delete(int32_t Index);
  void Remove(TMenuItem* Item);
  void Clear();
  int32_t IndexOf(const TMenuItem* Item) const;
  TMenuItem* Find(const std::string& ACaption) const;
  // The menu the item belongs to (walking up the parents), or nil.
  TMenu* GetParentMenu() const;
  // Unique command number of the item (WM_COMMAND identity).
  uint32_t Command() const { return FCommand; }
  // Image list the item draws from: the nearest parent's SubMenuImages, else the menu's Images.
  TImageList* GetImageList() const;
  // Rectangle of the item in the window that shows it (menu-bar or popup), when shown.
  bool ItemRect(TRect& R) const;
  // Rectangle of the popup window that shows the item's sub-items, in screen coordinates.
  bool PopupWindowRect(TRect& R) const;
  // Rectangle of the item in screen coordinates, when shown.
  bool ScreenRect(TRect& R) const;

  // Fires OnClick (the action when OnClick is empty); with AutoCheck toggles Checked (radio
  // items: checks this one).
  virtual void Click();
  // The action the item follows, or nil; its link keeps caption, checked state, enabled state,
  // hint, image index and visibility in step with it.
  TBasicAction* Action() const;
  void SetAction(TBasicAction* Value);
  TMenuActionLink* ActionLink() const { return FActionLink.get(); }
  // The images of the action's list, when the action has one.
  TCustomImageList* ActionImages() const;
  // Sizes and paints the item, calling the owner-draw hooks when the menu is owner-drawn.
  virtual void MeasureItem(TCanvas* ACanvas, int32_t& Width, int32_t& Height);
  virtual void AdvancedDrawItem(TCanvas* ACanvas, const TRect& ARect, TOwnerDrawState State, bool TopLevel);

  TNotifyEvent OnClick;
  TMenuMeasureItemEvent OnMeasureItem;
  TMenuDrawItemEvent OnDrawItem;
  TAdvancedMenuDrawItemEvent OnAdvancedDrawItem;

 protected:
  void MenuChanged(bool Rebuild);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void ActionChange(TObject* Sender, bool CheckDefaults);

 private:
  friend class TMenu;
  friend class TUiMenuLoop;
  void TurnSiblingsOff();
  std::string FCaption;
  bool FChecked = false;
  bool FRadioItem = false;
  uint8_t FGroupIndex = 0;
  bool FAutoCheck = false;
  TShortCut FShortCut = 0;
  int32_t FImageIndex = -1;
  std::unique_ptr<TBitmap> FBitmap;
  bool FVisible = true;
  bool FEnabled = true;
  bool FBreak = false;
  bool FDefault = false;
  std::string FHint;
  TImageList* FSubMenuImages = nullptr;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParent = nullptr;
  TMenu* FMenu = nullptr;  // set on the root item
  uint32_t FCommand = 0;
  std::unique_ptr<TMenuActionLink> FActionLink;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  std::string ClassName() const override { return "TMenu"; }

  TMenuItem* Items() const { return FItems.get(); }
  TImageList* Images() const { return FImages; }
  void SetImages(TImageList* Value);
  bool OwnerDraw() const { return FOwnerDraw; }
  void SetOwnerDraw(bool Value);
  TMenuAutoFlag AutoHotkeys() const { return FAutoHotkeys; }
  void SetAutoHotkeys(TMenuAutoFlag v) { FAutoHotkeys = v; }
  // Runs the item whose shortcut matches; true when one ran.
  bool IsShortCut(uint16_t Key, TShiftState Shift);
  // Item by command number, nil when absent.
  TMenuItem* FindItem(uint32_t Command) const;
  // Called on any change of an item; Source is the item changed (nil: the whole menu).
  virtual void MenuChanged(TObject* Sender, TMenuItem* Source, bool Rebuild);
  // The window that shows the menu (the form for a main menu), or nil.
  virtual TWinControl* WindowHandleControl() const { return nullptr; }

  TNotifyEvent OnChange;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::unique_ptr<TMenuItem> FItems;
  TImageList* FImages = nullptr;
  bool FOwnerDraw = false;
  TMenuAutoFlag FAutoHotkeys = TMenuAutoFlag::maAutomatic;
};

class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* AOwner);
  std::string ClassName() const override { return "TMainMenu"; }
  TWinControl* WindowHandleControl() const override;
  // Opens the drop-down of a menu-bar item as if clicked (keyboard and tests).
  void OpenBarItem(int32_t Index);
};

enum class TPopupAlignment : uint8_t { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;
  std::string ClassName() const override { return "TPopupMenu"; }
  // Shows the menu at screen point (X, Y) and tracks it until an item is chosen or the menu closes.
  virtual void Popup(int32_t X, int32_t Y);
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* v) { FPopupComponent = v; }
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool v) { FAutoPopup = v; }
  TPopupAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TPopupAlignment v) { FAlignment = v; }
  TNotifyEvent OnPopup;

 private:
  TComponent* FPopupComponent = nullptr;
  bool FAutoPopup = true;
  TPopupAlignment FAlignment = TPopupAlignment::paLeft;
};

// A popup window of an open menu as owner-draw code sees it. Items are painted in the window's
// client coordinates, which start 3 pixels inside the window.
class TMenuPopupWindow {
 public:
  using TProc = std::function<intptr_t(TMenuPopupWindow* Window, uint32_t Msg, uintptr_t WParam, intptr_t LParam)>;
  virtual ~TMenuPopupWindow() = default;
  // The whole window in screen coordinates, parts that a region hides included.
  virtual TRect WindowRect() const = 0;
  // Only Region (window coordinates) shows from now on; nil shows the whole window. During a
  // paint the change takes effect, with a repaint, once the paint is done.
  virtual void SetWindowRegion(const TRect* Region) = 0;
  virtual bool HasWindowRegion() const = 0;
  // Moves the whole window's top-left corner to the screen point (X, Y).
  virtual void MoveWindow(int32_t X, int32_t Y) = 0;
  // Runs Paint on a canvas of the whole window (window coordinates, borders included).
  virtual void PaintWindow(const std::function<void(TCanvas* Canvas)>& Paint) = 0;
  // The item whose sub-items the window shows.
  virtual TMenuItem* ParentItem() const = 0;
  // Messages of the window: WM_ERASEBKGND (wparam: the canvas) before the items paint, answered
  // non-zero once the background is done; WM_SHOWWINDOW (wparam 0) when it hides; WM_DESTROY.
  // Whoever replaces it keeps the procedure it replaced in UserData.
  TProc MenuWindowProc;
  TProc UserData;
};
// The popup window whose items are being painted on Canvas, or nil (a menu-bar paint).
TMenuPopupWindow* MenuPopupOfCanvas(TCanvas* Canvas);

// The windows of the open menu, outermost first (empty when none is open).
std::vector<TCustomForm*> MenuPopupForms();

// True while a menu (bar drop-down or popup) is open and tracking input.
bool MenuIsTracking();
// Closes any open menu without choosing.
void CloseMenus();
