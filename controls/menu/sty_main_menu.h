#pragma once
// The owner-drawn main menu: every item is measured and painted through a menu styler, and on a
// multiple-document frame the Window menu lists the open children.

#include <cstdint>
#include <string>

#include "controls/menu/sty_styler.h"
#include "platform/ui/menus.h"

class TWinControl;

namespace StyMenus {

// What the item painters need of the menu they draw.
class IStyMenuHost {
 public:
  virtual ~IStyMenuHost() = default;
  // Rebuilds the items: every item is measured again.
  virtual void UpdateItems() = 0;
  virtual TMenu* GetOwnerMenu() = 0;
  virtual TCustomStyMenuStyler* GetMenuStyler() = 0;
  virtual TCustomStyMenuStyler* GetActiveStyler() = 0;
  virtual void SetMenuStyler(TCustomStyMenuStyler* Value) = 0;
  virtual uint8_t GetMarker() = 0;
  virtual void SetMarker(uint8_t Value) = 0;
};

// The host of the item's menu when that menu is a TStyMainMenu; nil otherwise.
IStyMenuHost* GetMenuHost(const TMenuItem* Item);

class TStyMainMenu : public TMainMenu, public IStyMenuHost {
 public:
  explicit TStyMainMenu(TComponent* AOwner);
  ~TStyMainMenu() override;
  std::string ClassName() const override { return "TStyMainMenu"; }

  TCustomStyMenuStyler* MenuStyler() const { return FMenuStyler; }
  void SetMenuStyler(TCustomStyMenuStyler* Value) override;
  // "major.minor.release.build"; writes are ignored.
  std::string Version() const;
  void SetVersion(const std::string&) {}
  virtual uint32_t GetVersionNumber() const { return 0x02000000; }

  // Brackets a Window-list rebuild: items changed inside get the handlers at once.
  void BeginItemUpdate();
  void EndItemUpdate();
  // Installs the painters on Item alone, or on every item (descending when Recursive).
  void HookItems(TMenuItem* Item, bool Recursive, bool Forced);
  // The client window whose messages this menu follows (the MDI client of its form), or nil.
  TWinControl* MdiClientWindow();
  // Rebuilds the Window menu from the frame's children; the platform handle of the menu (here
  // its command number) or 0 when the form has no such menu.
  intptr_t RebuildWindowList();
  void WindowListClick(TObject* Sender);
  TWinControl* HookedClient() const { return FHookedClient; }

  // IStyMenuHost
  void UpdateItems() override;
  TMenu* GetOwnerMenu() override { return this; }
  TCustomStyMenuStyler* GetMenuStyler() override { return FMenuStyler; }
  TCustomStyMenuStyler* GetActiveStyler() override { return FActiveStyler; }
  uint8_t GetMarker() override { return FMarker; }
  void SetMarker(uint8_t Value) override { FMarker = Value; }

  void MenuChanged(TObject* Sender, TMenuItem* Source, bool Rebuild) override;
  // Re-checks the client-window hook, measuring every item again when Relayout.
  void Refresh(bool Relayout);
  // Paints the menu bar again.
  void RedrawBar();

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void CreateInternalStyler();
  void StylerFontChanged();
  void Unhook();
  TCustomStyMenuStyler* FMenuStyler = nullptr;
  TStyMenuStyler* FInternalStyler = nullptr;
  TCustomStyMenuStyler* FActiveStyler = nullptr;
  bool FUpdating = false;
  int32_t FUpdateCount = 0;
  TWinControl* FHookedClient = nullptr;
  uint8_t FMarker = 255;
};

void RedrawStyledMenuBar(TStyMainMenu* Menu);

// The measure and draw handlers every item of a styled menu carries.
void StyledMeasureItem(TObject* Sender, TCanvas* Canvas, int32_t& Width, int32_t& Height);
void StyledDrawItem(TObject* Sender, TCanvas* Canvas, const TRect& Rect, TOwnerDrawState State);

}  // namespace StyMenus
