#pragma once
// Small controls the image dialogs need beside the themed ones: a drop-down list, a page control with
// hideable tabs, a colour field and a progress bar.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

class TDropDownList;

// A drop-down list: the closed box shows the chosen item; a click or Alt+Down opens the list in a popup
// window of its own, Up/Down/Home/End choose directly. Setting ItemIndex from code fires nothing.
class TQxComboBox : public TCustomControl {
 public:
  explicit TQxComboBox(TComponent* AOwner);
  ~TQxComboBox() override;
  std::string ClassName() const override { return "TQxComboBox"; }
  std::vector<std::string>& Items() { return FItems; }
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(std::vector<std::string> Items);
  // Values carried by the items (0 when not set).
  std::vector<int32_t>& Values() { return FValues; }
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t Index);
  // The chosen item's text.
  std::string Text() const override;
  bool DroppedDown() const { return FDropped; }
  void SetDroppedDown(bool Value);
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;

 private:
  void Choose(int32_t Index);
  std::vector<std::string> FItems;
  std::vector<int32_t> FValues;
  int32_t FItemIndex = -1;
  bool FDropped = false;
  TDropDownList* FList = nullptr;
};

class TQxPageControl;

class TQxTabSheet : public TCustomControl {
 public:
  explicit TQxTabSheet(TComponent* AOwner);
  std::string ClassName() const override { return "TQxTabSheet"; }
  TQxPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TQxPageControl* Value);
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);

 private:
  friend class TQxPageControl;
  TQxPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

// Tabs along the top; only the active sheet shows. A user's change asks OnChanging first (a veto keeps the
// page) and reports OnChange after; ActivePage set from code fires neither.
class TQxPageControl : public TCustomControl {
 public:
  explicit TQxPageControl(TComponent* AOwner);
  std::string ClassName() const override { return "TQxPageControl"; }
  int32_t PageCount() const { return static_cast<int32_t>(FPages.size()); }
  TQxTabSheet* Pages(int32_t Index) const { return FPages[static_cast<size_t>(Index)]; }
  TQxTabSheet* ActivePage() const { return FActive; }
  void SetActivePage(TQxTabSheet* Page);
  // The visible tabs in order.
  std::vector<TQxTabSheet*> VisibleTabs() const;
  // Changes the page as a click on its tab does.
  bool SelectByUser(TQxTabSheet* Page);
  TRect TabRect(int32_t VisibleIndex);
  // A tab under the pointer shows its caption in the hot-track colour.
  bool HotTrack = true;
  // The visible index of the tab under the pointer (-1 none).
  int32_t HotTab() const { return FHotTab; }
  TNotifyEvent OnChange;
  std::function<void(TObject* Sender, bool& AllowChange)> OnChanging;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void CMMouseLeave(TMessage& Message) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  void Resize() override;

 private:
  friend class TQxTabSheet;
  void Place(TQxTabSheet* Page);
  void Reshow();
  std::vector<TQxTabSheet*> FPages;
  TQxTabSheet* FActive = nullptr;
  int32_t FHotTab = -1;
};

// The arrows beside an edit: each click steps the number in the associated edit within Min..Max.
class TQxUpDown : public TCustomControl {
 public:
  explicit TQxUpDown(TComponent* AOwner);
  std::string ClassName() const override { return "TQxUpDown"; }
  // Takes its place at the right of the edit, as tall as it.
  void SetAssociate(TWinControl* Edit);
  TWinControl* Associate() const { return FAssociate; }
  int32_t Min = 0, Max = 100, Increment = 1;
  bool Thousands = true;
  int32_t Position() const;
  void SetPosition(int32_t Value);
  // One step up (Up) or down, as a click on that arrow.
  void Step(bool Up);
  TNotifyEvent OnClick;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

 private:
  TWinControl* FAssociate = nullptr;
};

// A plain container in the button-face colour, without border or caption.
class TQxPanel : public TCustomControl {
 public:
  explicit TQxPanel(TComponent* AOwner);
  std::string ClassName() const override { return "TQxPanel"; }

 protected:
  void Paint() override;
};

// A field that shows a colour (sunken edge) and reports clicks.
class TQxColorField : public TCustomControl {
 public:
  explicit TQxColorField(TComponent* AOwner);
  std::string ClassName() const override { return "TQxColorField"; }

 protected:
  void Paint() override;
};

class TQxProgressBar : public TGraphicControl {
 public:
  explicit TQxProgressBar(TComponent* AOwner);
  std::string ClassName() const override { return "TQxProgressBar"; }
  int32_t Position() const { return FPosition; }
  void SetPosition(int32_t Value);
  int32_t Max() const { return FMax; }
  void SetMax(int32_t Value) { FMax = Value > 0 ? Value : 1; }

 protected:
  void Paint() override;

 private:
  int32_t FPosition = 0;
  int32_t FMax = 100;
};

// A flat button with a small drawn glyph; with a group index it stays down until clicked again.
enum class TQxGlyphKind : uint8_t { gkPreview, gkPlay };
class TQxSpeedButton : public TCustomControl {
 public:
  explicit TQxSpeedButton(TComponent* AOwner);
  std::string ClassName() const override { return "TQxSpeedButton"; }
  TQxGlyphKind Glyph = TQxGlyphKind::gkPreview;
  int32_t GroupIndex = 0;
  bool Down() const { return FDown; }
  void SetDown(bool Value);
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;

 private:
  bool FDown = false;
  bool FPressed = false;
};
