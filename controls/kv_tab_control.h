#pragma once
// A windowed control that draws its own strip of tabs and the card below them. All geometry is
// worked out once for tabs on top (x along the strip, y growing towards the card) and mapped to the
// real side at the end.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/kv_blits.h"
#include "controls/kv_fonts.h"
#include "controls/kv_painters.h"
#include "controls/kv_tab_data.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/controls.h"
#include "platform/ui/drag.h"
#include "platform/ui/imglist.h"

class TKvCustomTabControl;
class TKvTabScroller;
class TKvTabCloseButton;
class TKvTabMenuButton;

// Colours of the tabs themselves.
class TKvTabColors : public TPersistent {
 public:
  explicit TKvTabColors(TKvCustomTabControl* Owner) : FOwner(Owner) {}
  std::string ClassName() const override { return "TKvTabColors"; }
  TColor HighlightBar() const { return FHighlightBar; }
  virtual void SetHighlightBar(TColor v);
  TColor Shadow() const { return FShadow; }
  virtual void SetShadow(TColor v);
  TColor Unselected() const { return FUnselected; }
  virtual void SetUnselected(TColor v);
  void Assign(TPersistent* Source) override;

 private:
  void Changed();
  TKvCustomTabControl* FOwner;
  TColor FHighlightBar = clHighlight;
  TColor FShadow = clBtnFace;
  TColor FUnselected = clWindow;
};

// Colours of the captions.
class TKvTextColors : public TPersistent {
 public:
  explicit TKvTextColors(TKvCustomTabControl* Owner) : FOwner(Owner) {}
  std::string ClassName() const override { return "TKvTextColors"; }
  TColor DisabledHighlight() const { return FDisabledHighlight; }
  virtual void SetDisabledHighlight(TColor v);
  TColor DisabledShadow() const { return FDisabledShadow; }
  virtual void SetDisabledShadow(TColor v);
  TColor Selected() const { return FSelected; }
  virtual void SetSelected(TColor v);
  TColor Unselected() const { return FUnselected; }
  virtual void SetUnselected(TColor v);
  void Assign(TPersistent* Source) override;

 private:
  void Changed();
  TKvCustomTabControl* FOwner;
  TColor FDisabledHighlight = clBtnHighlight;
  TColor FDisabledShadow = clBtnShadow;
  TColor FSelected = clBtnText;
  TColor FUnselected = clBtnText;
};

using TKvTabChangingEvent = std::function<void(TObject* Sender, int32_t NewIndex, bool& AllowChange)>;
using TKvTabCloseEvent = std::function<void(TObject* Sender, bool& AllowClose)>;
using TKvGetTextColorEvent =
    std::function<void(TObject* Sender, int32_t ATabIndex, TKvTextStyle AStyle, TColor& AColor, bool& Handled)>;
using TKvPaintBackgroundEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;
using TKvPaintCardBackgroundEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, int32_t ARow, const TRect& ARect, bool& Handled)>;
using TKvPaintTabBackgroundEvent =
    std::function<void(TObject* Sender, TCanvas* ACanvas, int32_t ATabIndex, const TRect& ARect, bool& Handled)>;
using TKvTabOrderChangeEvent = std::function<void(TObject* Sender, int32_t OldIndex, int32_t NewIndex)>;

class TKvCustomTabControl : public TCustomControl {
 public:
  explicit TKvCustomTabControl(TComponent* AOwner);
  ~TKvCustomTabControl() override;
  std::string ClassName() const override { return "TKvCustomTabControl"; }

  TKvTabDataList* Tabs() const { return FTabs.get(); }

  // ---- properties ----
  bool AlignTabs() const { return FAlignTabs; }
  virtual void SetAlignTabs(bool v);
  bool AllowTabDragging() const { return FAllowTabDragging; }
  void SetAllowTabDragging(bool v) { FAllowTabDragging = v; }
  TColor BackgroundColor() const { return FBackgroundColor; }
  virtual void SetBackgroundColor(TColor v);
  bool BoldCurrentTab() const { return FBoldCurrentTab; }
  virtual void SetBoldCurrentTab(bool v);
  int32_t CutCornerSize() const { return FCutCornerSize; }
  virtual void SetCutCornerSize(int32_t v);
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor v);
  int32_t FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(int32_t v);
  bool HotTrack() const { return FHotTrack; }
  virtual void SetHotTrack(bool v);
  TColor HotTrackColor() const { return FHotTrackColor; }
  virtual void SetHotTrackColor(TColor v);
  TKvHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  virtual void SetHotTrackColorType(TKvHotTrackColorType v);
  TKvTabHotTrackStyle HotTrackStyle() const { return FHotTrackStyle; }
  virtual void SetHotTrackStyle(TKvTabHotTrackStyle v);
  TKvHorizontalAlignment ImageAlignment() const { return FImageAlignment; }
  virtual void SetImageAlignment(TKvHorizontalAlignment v);
  TKvVerticalAlignment ImageAlignmentVertical() const { return FImageAlignmentVertical; }
  virtual void SetImageAlignmentVertical(TKvVerticalAlignment v);
  int32_t ImageMargin() const { return FImageMargin; }
  virtual void SetImageMargin(int32_t v);
  TKvImagePosition ImagePosition() const { return FImagePosition; }
  virtual void SetImagePosition(TKvImagePosition v);
  TCustomImageList* Images() const { return FImages; }
  virtual void SetImages(TCustomImageList* v);
  int32_t Margin() const { return FMargin; }
  virtual void SetMargin(int32_t v);
  bool MultiLine() const { return FMultiLine; }
  virtual void SetMultiLine(bool v);
  bool ParentBackgroundColor() const { return FParentBackgroundColor; }
  virtual void SetParentBackgroundColor(bool v);
  int32_t RowIndent() const { return FRowIndent; }
  virtual void SetRowIndent(int32_t v);
  int32_t RowOverlap() const { return FRowOverlap; }
  virtual void SetRowOverlap(int32_t v);
  bool ShowCardFrame() const { return FShowCardFrame; }
  virtual void SetShowCardFrame(bool v);
  bool ShowCloseButton() const { return FShowCloseButton; }
  virtual void SetShowCloseButton(bool v);
  bool ShowMenuButton() const { return FShowMenuButton; }
  virtual void SetShowMenuButton(bool v);
  bool ShowFocusRect() const { return FShowFocusRect; }
  virtual void SetShowFocusRect(bool v);
  bool ShowFullFrame() const { return FShowFullFrame; }
  virtual void SetShowFullFrame(bool v);
  bool ShowShadow() const { return FShowShadow; }
  virtual void SetShowShadow(bool v);
  bool SoftCorners() const { return FSoftCorners; }
  virtual void SetSoftCorners(bool v);
  TKvTabColors* TabColors() const { return FTabColors.get(); }
  virtual void SetTabColors(TKvTabColors* v);
  int32_t TabHeight() const { return FTabHeight; }
  virtual void SetTabHeight(int32_t v);
  bool TabHints() const { return FTabHints; }
  virtual void SetTabHints(bool v);
  int32_t TabIndex() const { return FTabIndex; }
  virtual void SetTabIndex(int32_t v);
  TKvTabOrientation TabOrientation() const { return FTabOrientation; }
  virtual void SetTabOrientation(TKvTabOrientation v);
  int32_t TabOverlap() const { return FTabOverlap; }
  virtual void SetTabOverlap(int32_t v);
  TKvTabSequence TabSequence() const { return FTabSequence; }
  virtual void SetTabSequence(TKvTabSequence v);
  TKvTabStyle TabStyle() const { return FTabStyle; }
  virtual void SetTabStyle(TKvTabStyle v);
  int32_t TabWidth() const { return FTabWidth; }
  virtual void SetTabWidth(int32_t v);
  TKvHorizontalAlignment TextAlignment() const { return FTextAlignment; }
  virtual void SetTextAlignment(TKvHorizontalAlignment v);
  TKvVerticalAlignment TextAlignmentVertical() const { return FTextAlignmentVertical; }
  virtual void SetTextAlignmentVertical(TKvVerticalAlignment v);
  TKvTextColors* TextColors() const { return FTextColors.get(); }
  virtual void SetTextColors(TKvTextColors* v);
  TOrientation TextOrientation() const { return FTextOrientation; }
  virtual void SetTextOrientation(TOrientation v);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool v);
  bool UseColoredTabs() const { return FUseColoredTabs; }
  virtual void SetUseColoredTabs(bool v);
  bool UseGradients() const { return FUseGradients; }
  virtual void SetUseGradients(bool v);
  // Thickness of one row of tabs; the layout overwrites it, form files store it.
  int32_t FixedDimension() const { return FFixedDimension; }
  void SetFixedDimension(int32_t v) { FFixedDimension = v; }
  bool CardVisible() const { return FCardVisible; }
  virtual void SetCardVisible(bool v);
  int32_t RegionCacheCapacity() const { return FRegionCacheCapacity; }
  virtual void SetRegionCacheCapacity(int32_t v);

  // ---- events ----
  TNotifyEvent OnChange;
  TNotifyEvent OnPageChange;
  TKvTabChangingEvent OnChanging;
  TKvTabCloseEvent OnClose;
  TKvGetTextColorEvent OnGetTextColor;
  TKvPaintBackgroundEvent OnPaintBackground;
  TKvPaintCardBackgroundEvent OnPaintCardBackground;
  TKvPaintTabBackgroundEvent OnPaintTabBackground;
  TNotifyEvent OnTabClick;
  TKvTabOrderChangeEvent OnTabOrderChange;

  // ---- geometry (client coordinates unless said) ----
  bool LayoutDirty() const { return FLayoutDirty; }
  virtual void SetLayoutDirty(bool Flag);
  void UpdateLayout();
  void CalcTabLayout();
  int32_t RowCount() const { return FRowCount; }
  int32_t FirstShownTab() const { return FFirstShown; }
  bool ScrollingNeeded() const { return FScrolling; }
  int32_t HotTab() const { return FHotTab; }
  int32_t FirstVisibleTab() const;
  int32_t LastVisibleTab() const;
  TRect TabAreaRect() const;
  int32_t TabAreaLength() const;
  int32_t TabAreaDepth() const;
  TRect CardRect(int32_t Row) const;
  TRect DisplayRect() const;
  int32_t ButtonSize();
  int32_t CloseButtonSize();
  int32_t MenuButtonSize();
  int32_t ScrollOrigin() const;
  TPoint LayoutToClient(const TPoint& P) const;
  TRect LayoutRectToClient(const TRect& R) const;
  // A tab's rectangle in layout space: moved by its row's indent, grown when it is the current
  // round-corner tab.
  TRect TabLayoutRect(int32_t Index) const;
  TRect TabClientRect(int32_t Index) const;
  bool TabShown(int32_t Index);
  int32_t TabAtPoint(int32_t X, int32_t Y);
  void Scroll(bool Forward);
  void RotateRows(int32_t Tab);
  int32_t TabOverlapFor(int32_t T) const;

  // ---- shapes and regions ----
  // Up to six layout points; the first and the last lie on the card side.
  int32_t TabShapePoints(int32_t Index, TPoint (&Points)[6]) const;
  // The clip region of a tab (nil when its shape has fewer than 3 points); owned by the cache.
  const TRegion* TabRegion(int32_t Index, const TRect& ClientRect);
  TKvTabRegionCache* RegionCache() const { return FRegionCache.get(); }
  // The line commands of the last outline or frame (code, then x and y for codes 2 and up).
  const std::vector<int32_t>& LineCommands() const { return FLineCommands; }
  void TabOutlineCommands(int32_t Index);
  void CardFrameCommands(int32_t Row);
  void RunLineCommands();
  bool HotRepaint() const { return FHotRepaint; }
  // The off-screen picture of the last paint.
  TBitmap* OffscreenBitmap() const { return FBitmap.get(); }

  // ---- text ----
  void SelectRotatedFont();
  void RestoreFont();
  static void SplitCaption(const std::string& Text, std::vector<std::string>& Lines);
  TSize MeasureLine(const std::string& Line, bool Horizontal);
  TSize TextExtent(const std::string& Caption, bool Horizontal);
  TFont* TabFont() const { return FTabFont.get(); }

  // ---- interaction ----
  bool CanSelectTab(int32_t Index);
  void CloseTab();
  void ScrollUpRight();
  void ScrollDownLeft();
  TKvTabScroller* Scroller() const { return FScroller; }
  TKvTabCloseButton* CloseButton() const { return FCloseButton; }
  TKvTabMenuButton* MenuButton() const { return FMenuButton; }

  virtual void TabsChanged();
  virtual void InvalidateTabs();
  virtual void HideAllTabs() {}
  virtual void ShowAllTabs() {}

 protected:
  virtual void DoChanging(int32_t NewIndex, bool& AllowChange);
  virtual void DoGetTextColor(int32_t Index, TKvTextStyle Style, bool& Handled, TColor& Color);
  virtual void DoTabClick();
  virtual void DoPaintBackground(TCanvas* ACanvas, const TRect& R, bool& Handled);
  virtual void DoPaintCardBackground(TCanvas* ACanvas, int32_t Row, bool& Handled, const TRect& R);
  virtual void DoPaintTabBackground(TCanvas* ACanvas, int32_t Index, bool& Handled, const TRect& R);
  virtual void CloseActiveTab() {}
  virtual void MoveActiveTab(int32_t Index) {}
  virtual void Change();
  virtual void DoTabOrderChange(int32_t OldIndex, int32_t NewIndex);
  virtual void DoPageChange();
  virtual bool CanClose();
  void SetRowCount(int32_t n) { FRowCount = n; }

  void CreateParams(TCreateParams& Params) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Loaded() override;
  void Paint() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void AdjustClientRect(TRect& Rect) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  bool FocusOnClick() const override { return false; }

  // Dragging a tab: the drag runs with this control as its source; DragOver shows the marker
  // where the tab would go, DragDrop moves it there.
  virtual void DragOver(TControl* Source, int32_t X, int32_t Y, TDragState State, bool& Accept);
  virtual void DragDrop(TControl* Source, int32_t X, int32_t Y);
  // Draws the marker inverted onto the window: a second call with R erases it.
  void DrawDragMarker(const TRect& R);
  void EraseDragMarker();
  void DragScrollTick();
  void StopDragTimer();
  static constexpr uintptr_t kDragScrollTimerId = 2;

  // Painting steps.
  void PaintTabsAndCards();
  void PaintTab(int32_t Index);
  void PaintCard(int32_t Row);
  void PaintTabBackground(int32_t Index, const TRect& R);
  void PaintTabContent(int32_t Index, const TRect& R);
  void PlaceButtons();

  bool FInternalChange = false;
  bool FLoadingFlagForTabs = false;

 private:
  friend class TKvTabColors;
  friend class TKvTextColors;
  bool Vertical() const {
    return FTabOrientation == TKvTabOrientation::toLeft || FTabOrientation == TKvTabOrientation::toRight;
  }
  bool VerticalText() const { return FTextOrientation == TOrientation::orVertical; }
  bool Reverse() const { return FTabSequence == TKvTabSequence::tsReverse; }
  bool Loading() const;
  TRect ClientBounds() const;
  TSize MinTabContentSize(const TFont& Font);
  TSize TabContentSize(int32_t Index);
  TSize TabSizeFromContent(int32_t cw, int32_t ch) const;
  int32_t TabLength(int32_t Index, TSize MaxContent);
  int32_t CountRows(const std::vector<int32_t>& Lengths);
  void PlaceTabs(const std::vector<int32_t>& Lengths);
  void JustifyRows();
  void DecideScrolling();
  int32_t AvailableForScrolling();
  void CheckDisplayRect();
  void EndHotTrack();
  // A tab change whose veto was asked already.
  void SelectWithoutAsking(int32_t Index);
  void InvalidateTabArea();
  void StopHotTimer();
  TColor ShiftedFlatColor() const;
  void PushFrameColor();
  void EnsureScroller();
  void EnsureCloseButton();
  void EnsureMenuButton();
  void AddCommand(int32_t Code) { FLineCommands.push_back(Code); }
  void AddCommand(int32_t Code, const TPoint& P) {
    FLineCommands.push_back(Code);
    FLineCommands.push_back(P.X);
    FLineCommands.push_back(P.Y);
  }
  void AddShadowCommands(const TPoint& K1, const TPoint& K2, const TPoint& K3);
  // Content, text and image rectangles of a tab (9.135 rules 2, 3, 7).
  TRect ContentRect(int32_t Index, const TRect& R) const;
  void TextAndImageRects(int32_t Index, const TRect& Content, TRect& Text, TRect& Image) const;
  TRect AlignTextBlock(int32_t Index, TRect Text);
  void DrawCaptionLines(int32_t Index, const TRect& TextRect, TColor Color, int32_t Offset);
  void DrawAccelText(int32_t X, int32_t Y, TColor Color, bool Horizontal, TCanvas* C, const std::string& Line);
  void DrawTabBar(int32_t Index, bool Hot);
  TColor TextColorFor(int32_t Index, TKvTextStyle Style, TColor Default);
  bool HotTimerRunning() const { return FHotTimer; }

  std::unique_ptr<TKvTabDataList> FTabs;
  std::unique_ptr<TKvTabRegionCache> FRegionCache;
  std::unique_ptr<TKvTabColors> FTabColors;
  std::unique_ptr<TKvTextColors> FTextColors;
  std::unique_ptr<TFont> FTabFont;
  std::unique_ptr<TBitmap> FBitmap;
  std::vector<int32_t> FLineCommands;
  std::vector<std::unique_ptr<TFont>> FFontStack;

  bool FAlignTabs = false;
  bool FAllowTabDragging = false;
  TColor FBackgroundColor = clBtnFace;
  bool FBoldCurrentTab = false;
  int32_t FCutCornerSize = 6;
  TColor FFlatColor = clBtnShadow;
  int32_t FFlatColorAdjustment = 0;
  bool FHotTrack = true;
  TColor FHotTrackColor = 1350640;
  TKvHotTrackColorType FHotTrackColorType = TKvHotTrackColorType::htctActual;
  TKvTabHotTrackStyle FHotTrackStyle = TKvTabHotTrackStyle::htsTab;
  TKvHorizontalAlignment FImageAlignment = TKvHorizontalAlignment::haCenter;
  TKvVerticalAlignment FImageAlignmentVertical = TKvVerticalAlignment::vaCenter;
  int32_t FImageMargin = 2;
  TKvImagePosition FImagePosition = TKvImagePosition::ipLeft;
  TCustomImageList* FImages = nullptr;
  TChangeLink FImageChangeLink;
  int32_t FMargin = 0;
  bool FMultiLine = false;
  bool FParentBackgroundColor = true;
  int32_t FRowIndent = 5;
  int32_t FRowOverlap = 5;
  bool FShowCardFrame = true;
  bool FShowCloseButton = false;
  bool FShowMenuButton = false;
  bool FShowFocusRect = true;
  bool FShowFullFrame = true;
  bool FShowShadow = true;
  bool FSoftCorners = false;
  int32_t FTabHeight = 0;
  bool FTabHints = false;
  int32_t FTabIndex = -1;
  TKvTabOrientation FTabOrientation = TKvTabOrientation::toTop;
  int32_t FTabOverlap = -1;
  TKvTabSequence FTabSequence = TKvTabSequence::tsStandard;
  TKvTabStyle FTabStyle = TKvTabStyle::tsSingleSlant;
  int32_t FTabWidth = 0;
  TKvHorizontalAlignment FTextAlignment = TKvHorizontalAlignment::haCenter;
  TKvVerticalAlignment FTextAlignmentVertical = TKvVerticalAlignment::vaCenter;
  TOrientation FTextOrientation = TOrientation::orHorizontal;
  bool FTransparent = false;
  bool FUseColoredTabs = false;
  bool FUseGradients = true;
  int32_t FFixedDimension = 0;

  bool FLayoutDirty = false;
  bool FCardVisible = true;
  int32_t FRowCount = 1;
  int32_t FFirstShown = 0;
  bool FScrolling = false;
  int32_t FHotTab = -1;
  std::string FOwnHint;
  TRect FLastDisplayRect{-1, -1, -1, -1};
  int32_t FRegionCacheCapacity = 1;
  bool FPaintedOnce = false;
  bool FHotRepaint = false;
  bool FHotTimer = false;
  int32_t FMouseDownTab = -1;
  int32_t FDragOverTab = -1;
  bool FMarkerShown = false;
  TRect FMarkerRect;
  bool FDragTimer = false;

 public:
  // The tab the drag was last over (-1 at rest) and the marker shown, for callers and tests.
  int32_t DragOverTab() const { return FDragOverTab; }
  bool DragMarkerShown() const { return FMarkerShown; }
  TRect DragMarker() const { return FMarkerRect; }
  // The marker's rectangle at tab Index (client coordinates).
  TRect DragMarkerRect(int32_t Index) const;

 private:
  TRect FShadowClip;
  TKvTabScroller* FScroller = nullptr;
  TKvTabCloseButton* FCloseButton = nullptr;
  TKvTabMenuButton* FMenuButton = nullptr;
};
