#pragma once
// Measuring and painting of the items of a styled menu, the popup side bar and the popup frame.

#include <cstdint>
#include <string>

#include "controls/menu/sty_styler.h"
#include "platform/ui/menus.h"

namespace StyMenus {

// The item's parent is a main menu (the item sits on the menu bar).
bool IsRootItem(const TMenuItem* Item);
// The item's parent is a menu.
bool IsTopLevelItem(const TMenuItem* Item);
bool IsFirstLevelItem(const TMenuItem* Item);
bool InFirstVisibleDropDown(const TMenuItem* Item);
bool IsFirstVisibleItem(const TMenuItem* Item);
bool IsAfterColumnBreak(const TMenuItem* Item);
bool IsLastBarItem(const TMenuItem* Item);
// Whether the popup holding Item shows the side bar.
bool SideBarShown(const TMenuItem* Item);
// 0 for a menu-bar item, 1 for an item of its drop-down, and so on.
int32_t ItemLevel(const TMenuItem* Item);
// The shortcut's text, with "Win+" in front when it carries 0x200.
std::string MenuShortCutText(TShortCut ShortCut);

void MeasureStyledItem(TMenuItem* Item, TCanvas* Canvas, int32_t& Width, int32_t& Height, bool SideBar);
void DrawStyledItem(TMenuItem* Item, TCanvas* Canvas, const TRect& Rect, bool SideBar, TOwnerDrawState State);

// The side bar over the popup P (item coordinates).
void DrawSideBar(TCanvas* Canvas, const TRect& P, TCustomStyMenuStyler& Styler);
// Shape, position and frame of the popup window that shows Item.
void DrawPopupFrame(TMenuItem* Item, TCanvas* Canvas);
bool PopupOpensRight(const TMenuItem* Item);

}  // namespace StyMenus
