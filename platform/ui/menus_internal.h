#pragma once
// The menu tracking loop shared by the menu bar, popup menus and the input router.

#include <cstdint>

#include "platform/ui/backend.h"
#include "platform/ui/forms.h"

class TMenuItem;

class TUiMenuLoop {
 public:
  // Input while a menu is open; true when the menu took it.
  static bool HandleMouse(TCustomForm* F, const TUiEvent& E);
  static bool HandleKey(TCustomForm* F, const TUiEvent& E);
  // A press on the form's menu bar opens the item there and tracks the menu.
  static void BarMouseDown(TCustomForm* F, const TPoint& WindowPt);
  // The pointer moved over the window with no menu open: the bar item under it lights up.
  static void BarMouseMove(TCustomForm* F, const TPoint& WindowPt);
  // Alt pressed and let go alone: the first bar item lights up and the keyboard walks the bar.
  static void ActivateBar(TCustomForm* F);
  // The form goes away: the menu forgets it.
  static void FormGone(TCustomForm* F);
  // Opens bar item Index (keyboard: the first sub-item is selected).
  static void OpenBar(TCustomForm* F, int32_t Index, bool Keyboard);
  // Alt + character on the bar; true when an item matched.
  static bool BarAccelerator(TCustomForm* F, uint32_t Code);
  static void CloseAll();
  static bool OwnsWindow(TCustomForm* F);
  // Paints the menu bar of a form into its back buffer.
  static void PaintBar(TCustomForm* F, HDC DC);
  // Bar item rectangles (window coordinates).
  static bool BarItemRect(TCustomForm* F, int32_t Index, TRect& R);
};
