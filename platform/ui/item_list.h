#pragma once
// A column of text rows that scrolls: a vertical scroll bar shows when the rows do not all fit, and the
// wheel moves them. The drop-down list of a box is the same column in a popup window of its own, above
// every other window and whole on the screen.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/forms.h"

class TItemList : public TCustomControl {
 public:
  explicit TItemList(TComponent* AOwner);
  std::string ClassName() const override { return "TItemList"; }
  static constexpr int32_t kRowHeight = 16;
  // Rows, highlighted row (-1: none) and first row shown.
  virtual int32_t ItemCount() const = 0;
  virtual std::string ItemText(int32_t Index) const = 0;
  virtual int32_t Highlighted() const = 0;
  int32_t TopIndex() const { return FTop; }
  void SetTopIndex(int32_t Index);
  int32_t VisibleRows() const;
  void EnsureVisible(int32_t Index);
  // The row under a client point (-1: none).
  int32_t ItemAt(int32_t Y) const;
  // Call when the rows changed: the scroll bar follows.
  void ItemsChanged();

 protected:
  void Paint() override;
  void Resize() override;
  bool DoMouseWheel(TShiftState Shift, int32_t WheelDelta, TPoint MousePos) override;
  void Dispatch(TMessage& M) override;
  // The highlight looks active (focused list, or a drop-down).
  virtual bool ShowsActive() const { return Focused(); }

 private:
  void UpdateScrollBar();
  int32_t FTop = 0;
};

// The popup window of a drop-down list. Open shows it under Box (over it when there is no room below),
// at most kMaxRows rows high with a scroll bar beyond that. The box keeps the keyboard and hands its keys
// to HandleKey while the list is open; a click outside the list closes it.
class TDropDownList : public TCustomForm {
 public:
  TDropDownList();
  ~TDropDownList() override;
  std::string ClassName() const override { return "TDropDownList"; }
  static constexpr int32_t kMaxRows = 12;
  void Open(TControl* Box, std::vector<std::string> Items, int32_t Index);
  void CloseUp();
  bool IsOpen() const { return Visible(); }
  TControl* Box() const { return FBox; }
  int32_t HotIndex() const { return FHot; }
  void SetHotIndex(int32_t Index);
  const std::vector<std::string>& Items() const { return FItems; }
  // Up, Down, Page Up/Down, Home, End move the highlight; Enter picks it; Escape and Tab close the list.
  // True when the key was the list's.
  bool HandleKey(uint16_t Key);
  // A row was picked (click or Enter); the list is closed already.
  std::function<void(int32_t Index)> OnPick;
  // The list closed, picked or not.
  std::function<void()> OnCloseUp;
  void Activate() override {}
  // The list open now, if any.
  static TDropDownList* Current();

 private:
  friend class TDropRows;
  class TDropRows* FRows = nullptr;
  TControl* FBox = nullptr;
  std::vector<std::string> FItems;
  int32_t FHot = -1;
};
