#pragma once
// TQuillotMView: many pictures shown as thumbnails, in a grid of cells or one at a time, with single or
// multiple selection, keyboard and mouse navigation, frame playing and background loading. The pictures
// live in the image store "ILIST", their ready-drawn display thumbnails in "ICACHE".
//
// Threads: everything runs on the GUI thread except the loader thread (TQxStarter), which starts
// background loads, and the I/O workers, which read and reduce pictures. Finished pictures are handed to
// the GUI thread through a posted message and stored there, so the entries, the stores and the
// multi-image I/O component are only ever changed on the GUI thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/foundation/soft_shadow.h"
#include "imaging/foundation/dib_bitmap.h"
#include "imaging/foundation/types.h"
#include "imaging/foundation/view_base.h"
#include "imaging/processing/transitions.h"
#include "imaging/view/image_store.h"
#include "imaging/view/view.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/picture.h"

class TQuillotIO;
class TQuillotProc;
class TQuillotMIO;
class TQuillotMView;
class TIOParamsVals;

enum class TQxStoreType : uint8_t { qxtNormal, qxtThumb };
enum class TQxMMouseInteractItems : uint8_t { mmiScroll, mmiSelect };
using TQxMMouseInteract = TSetOf<TQxMMouseInteractItems>;
enum class TQxMKeyInteractItems : uint8_t { mkiMoveSelected };
using TQxMKeyInteract = TSetOf<TQxMKeyInteractItems>;
enum class TQxMDisplayMode : uint8_t { mdGrid, mdSingle };
enum class TQxMStyle : uint8_t { qxmsFlat, qxmsACD };
enum class TQxSStyle : uint8_t { qxssAround, qxssACD };
enum class TQxMultiSelectionOptionsItems : uint8_t { qxmoRegion, qxmoSelectOnMouseUp, qxmoLeaveOneSelected };
using TQxMultiSelectionOptions = TSetOf<TQxMultiSelectionOptionsItems>;
// 0 none, 1 image inserted, 2 image deleted, 3 moved, 4 swapped.
using TQxMViewChange = int32_t;
// 0 previous, 1 next, 2 up, 3 down, 4 first, 5 last, 6 page down, 7 page up.
using TQxMSelectionMove = int32_t;

using TQxImageIDRequestEvent = std::function<void(TObject* Sender, int32_t ID, TBitmap*& Bitmap)>;
using TQxImageIDRequestExEvent = std::function<void(TObject* Sender, int32_t ID, TQxBitmap*& Bitmap)>;
using TQxImageDrawEvent = std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top, TCanvas* Canvas)>;
using TQxImageDrawEventEx =
    std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top, TBitmap* Dest, TRect& ThumbRect)>;
using TQxImageDraw2Event = std::function<void(TObject* Sender, int32_t idx, int32_t Left, int32_t Top,
                                              const TRect& ImageRect, TCanvas* Canvas)>;
using TQxImageSelectEvent = std::function<void(TObject* Sender, int32_t idx)>;
using TQxMProgressEvent = std::function<void(TObject* Sender, int32_t per, int32_t idx)>;
using TQxWrongImageEvent = std::function<void(TObject* Sender, TQxBitmap* OutBitmap, int32_t idx, bool& Handled)>;
using TQxPlayFrameEvent = std::function<void(TObject* Sender, int32_t frameIndex)>;

// Posted by a finished background load; the view collects every finished picture when it arrives.
inline constexpr uint32_t QX_WM_MVIEW_LOADED = WM_USER + 7020;

// What the view needs of its multi-image I/O component, which lives in the dialogs library above this
// one; the dialogs library fills these at its start-up. Unset, the view has no such component.
struct TQxMViewHooks {
  // A new component owned by View and attached to it.
  TQuillotMIO* (*CreateMIO)(TQuillotMView* View) = nullptr;
  TIOParamsVals* (*FrameParams)(TQuillotMIO* MIO, int32_t Index) = nullptr;
  bool (*AutoAdjustDPI)(TQuillotMIO* MIO) = nullptr;
  void (*SetEvents)(TQuillotMIO* MIO, const TQxProgressEvent& OnProgress, const TNotifyEvent& OnFinishWork) = nullptr;
  void (*FreeMIO)(TQuillotMIO* MIO) = nullptr;
};
TQxMViewHooks& QxMViewHooks();

// One of the three texts of a cell (position 0 top, 1 bottom, 2 info).
class TQxMText {
 public:
  TQxMText(TQuillotMView* View, uint8_t Position);
  std::string Text;
  std::unique_ptr<TFont> Font;
  TColor FillColor = clBtnFace;
  TBrushStyle FillStyle = TBrushStyle::bsSolid;
  TQuillotMView* View = nullptr;
  uint8_t Position = 0;
  // 0 shortens at the end, 1 at the start, anything else not at all.
  uint8_t EllipsisSide = 1;
};

struct TQxMViewEntry {
  TQuillotMView* Owner = nullptr;
  TQxVirtualImageInfo* StoreImage = nullptr;
  TQxVirtualImageInfo* CacheImage = nullptr;
  int32_t X = 0, Y = 0;
  int32_t Row = 0, Column = 0;
  TColor Background = clBtnFace;
  std::string FileName;  // "name::n" names image n of a multi-image or video file
  int32_t ImageID = -1;
  int32_t FrameDelay = 0;
  std::unique_ptr<TQxMText> TopText, BottomText, InfoText;
  TRect ImageRect;
  // Identifies the entry across insertions and deletions (background results find their entry by it).
  uint64_t Serial = 0;
};

// The loader thread of a view: starts background loads while any are pending.
class TQxStarter {
 public:
  explicit TQxStarter(TQuillotMView* View);
  ~TQxStarter();
  void Signal();
  void Terminate();
  bool Terminated() const { return FTerminated; }

 private:
  void RunWorker();
  void WaitEvent();
  TQuillotMView* FView;
  std::mutex FEventLock;
  std::condition_variable FEventCond;
  bool FEvent = false;
  std::atomic<bool> FTerminated{false};
  std::thread FThread;
};

class TQuillotMView : public TQxView {
 public:
  explicit TQuillotMView(TComponent* AOwner);
  ~TQuillotMView() override;
  std::string ClassName() const override { return "TQuillotMView"; }

  // ---- published properties
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  TQxStoreType StoreType = TQxStoreType::qxtNormal;
  int32_t ThumbWidth() const { return FThumbWidth; }
  void SetThumbWidth(int32_t Value);
  int32_t ThumbHeight() const { return FThumbHeight; }
  void SetThumbHeight(int32_t Value);
  int32_t HorizBorder() const { return FHorizBorder; }
  void SetHorizBorder(int32_t Value);
  int32_t VertBorder() const { return FVertBorder; }
  void SetVertBorder(int32_t Value);
  int32_t BottomGap() const { return FBottomGap; }
  void SetBottomGap(int32_t Value);
  int32_t UpperGap() const { return FUpperGap; }
  void SetUpperGap(int32_t Value);
  bool VisibleSelection() const { return FVisibleSelection; }
  void SetVisibleSelection(bool Value);
  TQxMMouseInteract MouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TQxMMouseInteract Value) { FMouseInteract = Value; }
  TQxMKeyInteract KeyInteract() const { return FKeyInteract; }
  virtual void SetKeyInteract(TQxMKeyInteract Value) { FKeyInteract = Value; }
  TQxMDisplayMode DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TQxMDisplayMode Value);
  int32_t GridWidth() const { return FGridWidth; }
  void SetGridWidth(int32_t Value);
  int32_t SelectionWidth() const { return FSelectionWidth; }
  void SetSelectionWidth(int32_t Value);
  TColor SelectionColor() const { return FSelectionColor; }
  void SetSelectionColor(TColor Value);
  bool RemoveCorrupted() const { return FRemoveCorrupted; }
  void SetRemoveCorrupted(bool Value);
  bool DrawImageBackground() const { return FDrawImageBackground; }
  void SetDrawImageBackground(bool Value);
  int32_t ImageCacheSize() const { return FImageCacheSize; }
  void SetImageCacheSize(int32_t Value);
  TQxTransitionType TransitionEffect = TQxTransitionType::qxttNone;
  int32_t TransitionDuration = 1000;
  TQxMStyle Style() const { return FStyle; }
  void SetStyle(TQxMStyle Value);
  TQxSStyle SelectionStyle() const { return FSelectionStyle; }
  void SetSelectionStyle(TQxSStyle Value);
  TColor ThumbnailsBackground = clBtnFace;
  bool EnableMultiSelect() const { return FEnableMultiSelect; }
  void SetEnableMultiSelect(bool Value);
  TQxMultiSelectionOptions MultiSelectionOptions;
  int32_t ThumbnailsBorderWidth() const { return FThumbnailsBorderWidth; }
  void SetThumbnailsBorderWidth(int32_t Value);
  TColor ThumbnailsBorderColor() const { return FThumbnailsBorderColor; }
  void SetThumbnailsBorderColor(TColor Value);
  bool ThumbnailsInternalBorder() const { return FThumbnailsInternalBorder; }
  void SetThumbnailsInternalBorder(bool Value);
  TColor ThumbnailsInternalBorderColor() const { return FThumbnailsInternalBorderColor; }
  void SetThumbnailsInternalBorderColor(TColor Value);
  TPicture* WallPaper() const { return FWallPaper.get(); }
  void SetWallPaper(const TPicture* Value);
  TQxWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TQxWallPaperStyle Value);
  int32_t ThreadPoolSize = 5;  // 0: no background loading
  bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  TQxBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TQxBackgroundStyle Value);
  TQxBackgroundStyle ThumbnailsBackgroundStyle() const { return FThumbnailsBackgroundStyle; }
  void SetThumbnailsBackgroundStyle(TQxBackgroundStyle Value);
  bool FlatScrollBars() const { return FFlatScrollBars; }
  void SetFlatScrollBars(bool Value);
  // The view's own transition player; the view never starts it.
  TQxTransitionEffects* Transitions() const { return FTransitions.get(); }
  HDRAWDIB DrawDibHandle() const { return FDrawDib; }
  // The system palette changed: realizes the DrawDib palette against the main form and repaints.
  bool HandlePaletteChanged();
  std::string QuillotVersion() const { return QxQuillotVersion; }
  void SetQuillotVersion(const std::string&) {}
  void SetBackground(TColor Value) override;

  // ---- events
  TViewChangeEvent OnViewChange;
  TQxImageIDRequestEvent OnImageIDRequest;
  TQxImageIDRequestExEvent OnImageIDRequestEx;
  TQxImageDrawEvent OnBeforeImageDraw;
  TQxImageDrawEvent OnImageDraw;
  TQxImageDrawEventEx OnBeforeImageDrawEx;
  TQxImageDraw2Event OnImageDraw2;
  TQxImageSelectEvent OnImageSelect;
  TQxImageSelectEvent OnImageDeselect;
  TQxProgressEvent OnIOProgress;
  TQxMProgressEvent OnDrawProgress;
  TQxWrongImageEvent OnWrongImage;
  TNotifyEvent OnAllDisplayed;
  TQxPlayFrameEvent OnPlayFrame;
  virtual TQxProgressEvent OnProgress() const { return FOnProgress; }
  virtual void SetOnProgress(TQxProgressEvent Value);
  virtual TNotifyEvent OnFinishWork() const { return FOnFinishWork; }
  virtual void SetOnFinishWork(TNotifyEvent Value);

  // ---- public settings
  TResampleFilter ThumbnailResampleFilter = TResampleFilter::rfFastLinear;
  TResampleFilter DisplayResampleFilter = TResampleFilter::rfNone;
  bool EnlargeSmallImages = true;
  bool UseEmbeddedThumbnails = true;
  bool AutoOrient = false;
  int32_t RoundCornersFactor = 0;
  bool FillThumbnail = true;
  int32_t UnfocusedSelectionWidth = 1;
  bool SmoothSelection = true;
  TColor SelectionBackColor = clHighlight;
  TColor SelectionTextColor = clHighlightText;
  bool PlayLoop = true;
  bool UseDisplayCache = true;
  int32_t ChessSize = 16;
  TBrushStyle ChessBrushStyle = TBrushStyle::bsSolid;
  TColor GradientEndColor = TColor(0xFF0000);
  bool ShowTexts = true;
  std::unique_ptr<TQxBitmap> ThumbnailFrame, ThumbnailFrameSelected;
  TRect ThumbnailFrameRect;
  int32_t ReleaseDistance = 15;  // -1: never release
  int32_t LookAhead = 0;
  bool WrongImageShellIcon = true;
  TQxVSoftShadow* SoftShadow() const { return FSoftShadow.get(); }
  TQxScrollBarParams* VertScrollParams() const { return FVertScrollParams.get(); }
  TQxScrollBarParams* HorzScrollParams() const { return FHorzScrollParams.get(); }
  TFont* TopTextFont() const { return FTopTextFont.get(); }
  TFont* BottomTextFont() const { return FBottomTextFont.get(); }
  TFont* InfoTextFont() const { return FInfoTextFont.get(); }
  void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
  void SetFillThumbnail(bool Value);

  // ---- entries
  int32_t ImageCount() const { return static_cast<int32_t>(FEntries.size()); }
  TQxMViewEntry* Entry(int32_t Index) const;
  void InsertImage(int32_t Index);
  bool DeleteImage(int32_t Index);
  void ClearImages();
  void FillFromMultiImageFile(const std::string& FileName);
  void SetImageFileName(int32_t Index, const std::string& Name);
  std::string GetImageFileName(int32_t Index) const;
  // Gives the entry an ID whose picture OnImageIDRequest or OnImageIDRequestEx supply.
  void SetImageID(int32_t Index, int32_t ID);
  void SetFrameDelay(int32_t Index, int32_t Milliseconds);
  void SetImageBitmap(int32_t Index, TQxBitmap* Bitmap);
  void SetImageTBitmap(int32_t Index, TBitmap* Bitmap);
  void SetImageSourceWidth(int32_t Index, int32_t Value);
  void SetImageSourceHeight(int32_t Index, int32_t Value);
  int32_t ImageRow(int32_t Index) const;
  int32_t ImageColumn(int32_t Index) const;
  TQxBitmap* LockImageBitmap(int32_t Index);
  TQxBitmap* GetQxBitmap() override;
  TBitmap* GetTBitmap() override;
  TQxBitmap* GetAlphaChannel() override { return nullptr; }
  bool HasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  TQxVirtualImageList* ImageStore() const { return FImageStore.get(); }
  TQxVirtualImageList* DisplayCache() const { return FDisplayCache.get(); }
  bool UseTempFiles = true;

  // ---- selection
  int32_t SelectedImage() const { return FSelectedImage; }
  const std::vector<int32_t>& MultiSelection() const { return FMultiSelection; }
  void SelectImage(int32_t Index);
  void SelectAt(int32_t X, int32_t Y, TShiftState Shift);
  void ChangeSelection(int32_t Index);
  void DeselectAll();
  void DeselectAllAndUpdate();
  bool IsImageSelected(int32_t Index) const;
  void MoveSelection(TQxMSelectionMove Move);
  virtual void DoImageSelect(int32_t Index);
  virtual void DoImageDeselect(int32_t Index);
  virtual void DoViewChange(int32_t Change);

  // ---- geometry
  void ComputeLayout();
  void Relayout(bool ClearDisplayThumbnails);
  virtual void UpdateView();
  void GetMaxViewPos(int32_t& MaxX, int32_t& MaxY) const;
  void SetViewX(int32_t X);
  void SetViewY(int32_t Y);
  void SetViewXY(int32_t X, int32_t Y);
  int32_t ViewX() const { return FViewX; }
  int32_t ViewY() const { return FViewY; }
  int32_t ContentWidth() const { return FContentWidth; }
  int32_t ContentHeight() const { return FContentHeight; }
  double HScrollFactor() const { return FHScrollFactor; }
  double VScrollFactor() const { return FVScrollFactor; }
  int32_t ColumnCount() const;
  int32_t ImageAt(int32_t X, int32_t Y) const;
  int32_t EntryAt(int32_t Row, int32_t Column) const;
  int32_t EntryVisibility(int32_t Index) const;
  bool IsEntryVisible(int32_t Index) const;
  // The client size used for layout: the window's client area, or the control's size without a window.
  int32_t ViewClientWidth() const;
  int32_t ViewClientHeight() const;

  // ---- paint locks
  void IncPaintLock() override;
  int32_t DecPaintLockAndUpdate() override;
  int32_t DecPaintLock() override;
  void NotifyBitmapChange() override;

  // ---- painting
  virtual void PaintView();
  virtual void PaintBackgroundTo(TBitmap* Bitmap);
  void PaintThumbnail(TBitmap* Bitmap, TQxMViewEntry* Entry, int32_t Index, bool Selected);
  void ClearDisplayThumbnails();
  void ReleaseDisplayThumbnail(int32_t Index);
  bool CanReloadImage(const TQxMViewEntry* Entry) const;
  TBitmap* BackBufferBitmap() const { return FBackBufferTBitmap.get(); }
  bool AllDisplayed() const { return FAllDisplayed; }
  // Paints into the back buffer even without a window (tests, snapshots).
  bool OffscreenMode = false;

  // ---- playing
  void SetPlaying(bool On);
  void PlayStep();
  bool Playing() const { return FPlaying; }
  int32_t PlayIndex() const { return FPlayIndex; }

  // ---- loading
  bool LoadImageNow(int32_t Index);
  bool QueueBackgroundLoad(int32_t Index, int32_t Position);
  void CancelLoad(int32_t Index);
  virtual void StopLoading();
  virtual void HandleWrongImage(TQxBitmap* Bitmap, int32_t Index);
  int32_t PendingLoadIndex(int32_t Index);
  // Stores every background picture that has arrived; runs on the GUI thread.
  void CollectLoadedPictures();
  // Loads waiting or running, and pictures not yet collected (for callers that wait for the view).
  int32_t LoadsInFlight();
  std::recursive_mutex& Lock() { return FLock; }

  // ---- last change, read by the multi-image I/O component
  TQxMViewChange LastChangeKind = 0;
  int32_t LastChangeIndex = 0;
  int32_t LastChangeCount = 0;

  // ---- owned components
  virtual TQuillotMIO* GetMIO();
  virtual TQuillotProc* GetProc();
  TQuillotIO* SyncIO() const { return FSyncIO; }

  bool InUserAction() const { return FInUserAction; }
  bool IsDestroying() const { return FDestroying; }

 protected:
  void Dispatch(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void PaintWindow(HDC DC) override;

 private:
  friend class TQxStarter;
  struct TRunningLoad;
  struct TLoadResult;
  // The settings a load reads, copied on the GUI thread so that workers never read the view's own.
  struct TLoadSettings {
    TQxStoreType StoreType = TQxStoreType::qxtNormal;
    int32_t ThumbWidth = 100, ThumbHeight = 100;
    bool EnlargeSmallImages = true;
    TResampleFilter Filter = TResampleFilter::rfFastLinear;
    bool UseEmbeddedThumbnails = true;
    bool AutoOrient = false;
  };
  TLoadSettings CurrentLoadSettings() const;

  void SetIntProp(int32_t& Field, int32_t Value);
  void HandleScroll(TMessage& Message, bool Horizontal);
  void SelectRangeTo(int32_t From, int32_t To);
  bool HasParentWindow() const;
  void EnsureBackBuffer(int32_t W, int32_t H);
  void DrawCellTexts(TCanvas* C, TQxMViewEntry* E, int32_t left, int32_t top, int32_t w, int32_t h, bool Selected,
                     int32_t& bh);
  void DeleteEntryPictures(TQxMViewEntry* E);
  int32_t IndexOfSerial(uint64_t Serial, int32_t Hint) const;

  // loading internals
  void PrepareIO(TQuillotIO* IO, TColor Background, const TLoadSettings& S);
  void ReadPlainFile(TQuillotIO* IO, const std::string& Name, int32_t ThumbWidth);
  TQuillotIO* GetMultiFileIO(const std::string& Name, int32_t& Image);
  void LoadFrame(TQuillotIO* IO, int32_t Image, int32_t& Delay);
  void FreeMultiFileIO();
  void PrunePendingLoads();
  void CollectFinishedLoads();
  bool IsInLookAhead(int32_t Index) const;
  void StarterPass();
  bool StarterIdle();
  void HandleLoadFinished(TRunningLoad* Load);
  // Reduces a picture to the thumbnail box for storing; nil when it is stored as it is.
  std::unique_ptr<TQxBitmap> ReduceForStore(TQxBitmap* B, bool Background, const TLoadSettings& S);
  void StorePicture(int32_t Index, TQxBitmap* Bitmap);
  void CopyParamsToMIO(int32_t Index, const TIOParamsVals& Params);

  // settings
  TScrollStyle FScrollBars = TScrollStyle::ssBoth;
  int32_t FThumbWidth = 100, FThumbHeight = 100;
  int32_t FHorizBorder = 4, FVertBorder = 4;
  int32_t FBottomGap = 0, FUpperGap = 0;
  bool FVisibleSelection = true;
  TQxMMouseInteract FMouseInteract{TQxMMouseInteractItems::mmiSelect};
  TQxMKeyInteract FKeyInteract{TQxMKeyInteractItems::mkiMoveSelected};
  TQxMDisplayMode FDisplayMode = TQxMDisplayMode::mdGrid;
  int32_t FGridWidth = 0;
  int32_t FSelectionWidth = 2;
  TColor FSelectionColor = TColor(0xFFA0A0);
  bool FRemoveCorrupted = false;
  bool FDrawImageBackground = false;
  int32_t FImageCacheSize = 10;
  TQxMStyle FStyle = TQxMStyle::qxmsACD;
  TQxSStyle FSelectionStyle = TQxSStyle::qxssAround;
  bool FEnableMultiSelect = false;
  int32_t FThumbnailsBorderWidth = 0;
  TColor FThumbnailsBorderColor = clBtnFace;
  bool FThumbnailsInternalBorder = false;
  TColor FThumbnailsInternalBorderColor = clBlack;
  std::unique_ptr<TPicture> FWallPaper;
  TQxWallPaperStyle FWallPaperStyle = TQxWallPaperStyle::qxwoNormal;
  bool FEnableAlphaChannel = true;
  TQxBackgroundStyle FBackgroundStyle = TQxBackgroundStyle::qxbsSolid;
  TQxBackgroundStyle FThumbnailsBackgroundStyle = TQxBackgroundStyle::qxbsSolid;
  bool FFlatScrollBars = false;
  std::unique_ptr<TQxTransitionEffects> FTransitions;
  HDRAWDIB FDrawDib = QxDrawDibOpen();
  TQxProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;

  // state
  std::unique_ptr<TBitmap> FBackBufferTBitmap;
  std::unique_ptr<TQxBitmap> FBackBuffer;
  int32_t FViewX = 0, FViewY = 0;
  double FHScrollFactor = 1.0, FVScrollFactor = 1.0;
  int32_t FContentWidth = 0, FContentHeight = 0;
  std::unique_ptr<TQxVirtualImageList> FImageStore, FDisplayCache;
  TQuillotIO* FSyncIO = nullptr;  // owned by the view as a component
  std::unique_ptr<TQxScrollBarParams> FVertScrollParams, FHorzScrollParams;
  std::vector<std::unique_ptr<TQxMViewEntry>> FEntries;
  uint64_t FNextSerial = 1;
  int32_t FSelectedImage = -1;
  std::vector<int32_t> FMultiSelection;
  TQxBitmap* FSelectedBitmap = nullptr;
  int32_t FShiftAnchor = 0;
  bool FAddingToSelection = false, FKeepToggled = false, FRangeSelected = false, FSelectionChanged = false;
  bool FMouseDownPending = false, FDoubleClicked = false;
  int32_t FPressX = 0, FPressY = 0, FPressViewX = 0, FPressViewY = 0, FPressIndex = 0, FHoverIndex = 0;
  bool FInUserAction = false;
  bool FPlaying = false, FInPlayStep = false;
  int32_t FPlayIndex = 0;
  uintptr_t FPlayTimer = 0;
  TQxMDisplayMode FSavedDisplayMode = TQxMDisplayMode::mdGrid;
  int32_t FSavedSelection = -1;
  int32_t FPaintLock = 0;
  bool FInRelayout = false;
  std::atomic<bool> FDestroying{false};
  bool FAllDisplayed = false;
  std::unique_ptr<TFont> FTopTextFont, FBottomTextFont, FInfoTextFont;
  std::unique_ptr<TQxVSoftShadow> FSoftShadow;
  TQuillotMIO* FMIO = nullptr;
  TQuillotProc* FProc = nullptr;

  // loading state, guarded by FLock
  std::recursive_mutex FLock;
  std::vector<int32_t> FPendingLoads;
  std::vector<std::unique_ptr<TRunningLoad>> FRunningLoads;
  std::vector<int32_t> FLookAheadList;
  std::vector<std::unique_ptr<TLoadResult>> FLoadResults;
  std::vector<TQuillotIO*> FMultiFileIO;
  HWND FPostWnd = 0;
  TLoadSettings FLoadSettings;  // as of the last queue request
  std::unique_ptr<TQxStarter> FStarter;
};
