#pragma once
// TQuillotView: the single-image view. A picture held as a stack of layers, zoomed, scrolled and painted
// over a background into the control's client area through a back buffer. It works with or without a
// window: a view with no parent lays out against a 50 x 50 client (or its own size in OffscreenMode) and
// paints only in OffscreenMode.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/dib_bitmap.h"
#include "imaging/foundation/types.h"
#include "imaging/foundation/view_base.h"
#include "imaging/processing/proc.h"
#include "imaging/processing/transitions.h"
#include "imaging/view/layer.h"
#include "platform/base/streams.h"
#include "platform/base/types.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/color.h"
#include "platform/ui/controls.h"
#include "platform/ui/messages.h"
#include "platform/ui/timer.h"

class TQuillotIO;
class TQxDirectShow;
class TQxMask;
class TPicture;
class TBitmap;
class TMemoryStream;
class TQxCanvas;
class TStream;
class TQxSelectionOutline;

enum class TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

enum class TQxBackgroundStyle : uint8_t {
  qxbsSolid = 0,
  qxbsHorizontal = 1,
  qxbsVertical = 2,
  qxbsFDiagonal = 3,
  qxbsBDiagonal = 4,
  qxbsCross = 5,
  qxbsDiagCross = 6,
  qxbsChessboard = 7,
  qxbsDiagonals = 8,
  qxbsCropped = 9,
  qxbsCropShadow = 10,
  qxbsGradient = 11,
  qxbsSoftShadow = 12,
  qxbsPhotoLike = 13,
};

enum class TQxWallPaperStyle : uint8_t { qxwoNormal = 0, qxwoStretch = 1, qxwoTile = 2 };

enum class TQxMouseInteractItems : uint8_t {
  miZoom,
  miScroll,
  miSelect,
  miSelectPolygon,
  miSelectCircle,
  miSelectZoom,
  miSelectMagicWand,
  miSelectLasso,
  miMoveLayers,
  miResizeLayers,
  miRotateLayers,
  miMovingScroll,
};
using TQxMouseInteract = TSetOf<TQxMouseInteractItems>;

enum class TQxSelectionBase : uint8_t { qxsbClientArea, qxsbBitmap };

enum class TQxSelectionOptionsItems : uint8_t {
  qxsoAnimated,
  qxsoSizeable,
  qxsoMoveable,
  qxsoFilled,
  qxsoCutBorders,
  qxsoMarkOuter,
  qxsoCanScroll,
  qxsoSelectTranspLayers,
  qxsoRightButtonSelectLayers,
  qxsoRightButtonTerminatePolySelect,
};
using TQxSelectionOptions = TSetOf<TQxSelectionOptionsItems>;

enum class TQxGrip : uint8_t {
  qxNone = 0,
  qxTopLeft,
  qxTopRight,
  qxBottomRight,
  qxBottomLeft,
  qxLeftSide,
  qxRightSide,
  qxTopSide,
  qxBottomSide,
  qxRotationCenter,
};

using TViewChangeEvent = std::function<void(TObject* Sender, int32_t Change)>;
using TViewChangingEvent = std::function<void(TObject* Sender, int32_t Change, double newValue)>;
using TQxZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TQxOnDrawCanvas = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect)>;
using TQxOnDrawBackground =
    std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;
using TQxLayerNotify = std::function<void(TObject* Sender, int32_t layer, TQxLayerEvent event)>;
using TQxMouseInResizingGripEvent = std::function<void(TObject* Sender, TQxGrip Grip)>;
using TQxSpecialKeyEvent =
    std::function<void(TObject* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;
using TQxVirtualKeyEvent = std::function<void(TObject* Sender, uint32_t VirtualKey, uint32_t KeyData, bool KeyDown)>;
using TQxSetCursorEvent = std::function<void(TObject* Sender, TCursor& Cursor)>;
using TQxOnDrawPolygon =
    std::function<void(TObject* Sender, int32_t polygon, int32_t point, TCanvas* Canvas, int32_t x, int32_t y)>;
using TQxDrawLayerBoxEvent = std::function<void(TObject* Sender, TBitmap* ABitmap, int32_t layer)>;
using TQxDrawLayerGrip =
    std::function<void(TObject* Sender, TBitmap* ABitmap, int32_t layer, int32_t grip, const TRect& rect)>;

// The library version the view reports.
inline constexpr const char* QxQuillotVersion = "3.1.2";

// Posted by the I/O worker and the video objects; handled by the view on the GUI thread.
inline constexpr uint32_t QX_WM_VIEW_IOUPDATE = WM_USER + 7000;
inline constexpr uint32_t QX_WM_VIEW_VIDEOFRAME = WM_USER + 7001;
inline constexpr uint32_t QX_WM_VIEW_VIDEOEVENT = WM_USER + 7002;
inline constexpr uint32_t QX_WM_VIEW_IOPROGRESS = WM_USER + 7003;
inline constexpr uint32_t QX_WM_VIEW_IOFINISH = WM_USER + 7004;
// Private: an image change asked for on another thread, delivered on the GUI thread.
inline constexpr uint32_t QX_WM_VIEW_IMAGECHANGE = WM_USER + 7010;

// Paints the background of a view area (every style, then the wallpaper).
void QxPaintViewBackground(TComponentState ComponentState, TCanvas* Canvas, TBitmap* Bitmap,
                           TQxBackgroundStyle Style, TColor Background, int32_t X, int32_t Y, int32_t Width,
                           int32_t Height, int32_t ImageLeft, int32_t ImageTop, int32_t ImageRight,
                           int32_t ImageBottom, int32_t ChessSize, TBrushStyle ChessBrushStyle,
                           TColor GradientEndColor, TPicture* WallPaper, TQxWallPaperStyle WallPaperStyle);
// A two-colour linear gradient, Color1 at the top (left when not Vertical).
bool QxGradientFillRect(const TRect& R, TCanvas* DC, TColor Color1, TColor Color2, bool Vertical);
bool QxLoadGradientFill();

// Start and end steps of the view unit (library start-up).
void QxViewInit();
void QxViewFinal();
// Values the view unit's start records.
struct TQxViewUnitValues {
  int32_t ScreenBitsPerPixel = 32;
  bool RemoteSession = false;
  int32_t ScreenDpiX = 96, ScreenDpiY = 96;
  bool HasMMX = true;
  int32_t CxEdge = 2, CyEdge = 2, CxBorder = 1, CyBorder = 1, CyHScroll = 16, CxVScroll = 16;
  double GridMinZoom = 400;
  bool Initialized = false;
};
TQxViewUnitValues& QxViewValues();

class TQuillotView : public TQxView, public TQxProcViewHost {
 public:
  // CreateWithOwner.
  explicit TQuillotView(TComponent* AOwner);
  ~TQuillotView() override;
  std::string ClassName() const override { return "TQuillotView"; }

  // ==== components ====
  TQuillotIO* GetIO();
  TQuillotProc* GetProc();
  TQuillotIO* IO() const { return FIO; }
  TQuillotProc* Proc() const { return FProc; }
  const TQxProgressEvent& OnProgress() const { return FOnProgress; }
  virtual void SetOnProgress(const TQxProgressEvent& Value);
  const TNotifyEvent& OnFinishWork() const { return FOnFinishWork; }
  virtual void SetOnFinishWork(const TNotifyEvent& Value);
  const TQxSaveUndoEvent& OnSaveUndo() const { return FOnSaveUndo; }
  void SetOnSaveUndo(const TQxSaveUndoEvent& Value);

  // ==== published properties ====
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value) { FAutoFit = Value; }
  bool AutoStretch() const { return FAutoStretch; }
  void SetAutoStretch(bool Value) { FAutoStretch = Value; }
  bool AutoShrink() const { return FAutoShrink; }
  void SetAutoShrink(bool Value) { FAutoShrink = Value; }
  bool DelayZoomFilter() const { return FDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
  bool DoubleBuffer() const { return FDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { FDoubleBuffer = Value; }
  bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  bool FlatScrollBars() const { return FFlatScrollBars; }
  void SetFlatScrollBars(bool Value);

  TViewChangeEvent OnViewChange;
  TViewChangingEvent OnViewChanging;
  TQxZoomEvent OnZoomIn, OnZoomOut;

  // ==== public options ====
  bool OffscreenMode = false;
  int32_t FastPaintCount = 4, OutlineSkipCount = 2;
  int32_t SmoothDivisor = 8;
  bool KeepScrollBars = false;
  bool ZoomSelectionUniform = true;
  bool ForceDrawDib = false;
  bool DisplayGrid = false;
  int32_t GridMarkX = -1, GridMarkY = -1;
  bool OutlineHideWhileZooming = true;
  bool NoAutoInvalidate = false;
  int32_t OutlineTimeFactor = -20;
  int32_t ShadeLevel = -1;
  TColor ShadeColor = clWhite;
  int32_t MinLayerSize = 2;
  bool ShowSelection = true;
  uint8_t OutsideBaseMode = 0;
  int32_t OutsideBaseLevel = 60;
  bool BoxAllLayers = false;
  bool RespectSelectable = true;
  bool LayerRotateAntialias = false;
  uint8_t LayerRotateQuality = 0;

  // ==== geometry state (read) ====
  double ZoomX() const { return FZoomX; }
  double ZoomY() const { return FZoomY; }
  double ScaleX() const { return FScaleX; }
  double ScaleY() const { return FScaleY; }
  double InvScaleX() const { return FInvScaleX; }
  double InvScaleY() const { return FInvScaleY; }
  int32_t ViewOriginX() const { return FViewOriginX; }
  int32_t ViewOriginY() const { return FViewOriginY; }
  int32_t ImageLeft() const { return FImageLeft; }
  int32_t ImageTop() const { return FImageTop; }
  int32_t ImageWidth() const { return FImageWidth; }
  int32_t ImageHeight() const { return FImageHeight; }
  int32_t ZoomedWidth() const { return FZoomedWidth; }
  int32_t ZoomedHeight() const { return FZoomedHeight; }
  int32_t VisibleWidth() const { return FVisibleWidth; }
  int32_t VisibleHeight() const { return FVisibleHeight; }
  int32_t SourceLeft() const { return FSourceLeft; }
  int32_t SourceTop() const { return FSourceTop; }
  int32_t SourceWidth() const { return FSourceWidth; }
  int32_t SourceHeight() const { return FSourceHeight; }
  int32_t DestWidth() const { return FDestWidth; }
  int32_t DestHeight() const { return FDestHeight; }
  double ScrollRatioX() const { return FScrollRatioX; }
  double ScrollRatioY() const { return FScrollRatioY; }
  bool HorzBarShown() const { return FHorzBarShown; }
  bool VertBarShown() const { return FVertBarShown; }
  bool InUpdate() const { return FInUpdate; }
  uint8_t ChangeKind = 0;  // one-shot argument of the next UpdateView
  int32_t UpdateLock() const { return FUpdateLock; }
  int32_t PaintLock() const { return FPaintLock; }
  bool BufferDirty() const { return FBufferDirty; }
  bool RepaintAll() const { return FRepaintAll; }
  bool HasOwner() const { return FHasOwner; }
  int32_t DelayZoomTicks() const { return FFastPaintsLeft; }
  int32_t OutlineSkipsLeft() const { return FOutlineSkipsLeft; }
  TResampleFilter RequestedZoomFilter() const { return FRequestedZoomFilter; }
  TQxScrollBarParams* VertScrollParams() const { return FVertScrollParams.get(); }
  TQxScrollBarParams* HorzScrollParams() const { return FHorzScrollParams.get(); }
  TQxMouseWheelParams* WheelParams() const { return FWheelParams.get(); }
  // Zoom tables, for inspection.
  const std::vector<int32_t>& ColumnOfX() const { return FColumnOfX; }
  const std::vector<int32_t>& RowOfY() const { return FRowOfY; }
  const std::vector<int32_t>& XOfColumn() const { return FXOfColumn; }
  const std::vector<int32_t>& YOfRow() const { return FYOfRow; }

  // ==== coordinates ====
  int32_t ScreenToBitmapX(int32_t X) const;
  int32_t ScreenToBitmapY(int32_t Y) const;
  int32_t BitmapToScreenX(int32_t X) const;
  int32_t BitmapToScreenY(int32_t Y) const;
  int32_t SnapZoomedX(int32_t V) const;
  int32_t SnapZoomedY(int32_t V) const;
  virtual int32_t ViewClientWidth() const;
  virtual int32_t ViewClientHeight() const;
  virtual bool HasParentWindow() const;

  // ==== update and locks ====
  virtual void UpdateView();
  // The control's update as the processing component and the transitions call it when they changed the
  // picture: the view's UpdateView, then a paint of what is invalid now.
  void Update() override;
  virtual void ComputeImageOffset();
  virtual void UpdateViewExtents();
  void ComputeVisibleRects();
  virtual void BuildZoomTables();
  void IncUpdateLock();
  void DecUpdateLockAndUpdate();
  void DecUpdateLock();
  void IncPaintLock() override;
  int32_t DecPaintLockAndUpdate() override;
  int32_t DecPaintLock() override;
  virtual void DoViewChange(int32_t Change);
  virtual void DoViewChanging(int32_t Change, double NewValue);

  // ==== zoom, origin, scrolling ====
  void SetZoom(double Zoom);
  void SetZoomX(double Zoom);
  void SetZoomY(double Zoom);
  virtual void ApplyZoom(double Zoom);
  virtual void ApplyZoomX(double Zoom);
  virtual void ApplyZoomY(double Zoom);
  void ZoomToFit();
  double GetFitZoom();
  // The zoom (percent) nearest to Zoom at which the zoom tables and zoomed sizes of the current picture stay
  // sound; Axis 0 bounds by both sides, 2 by the width, 1 by the height. 0 for a zoom that is not a number.
  double BoundedZoom(double Zoom, int Axis = 0) const;
  static constexpr double MinZoom = 0.01;
  static constexpr double MaxZoom = 100000;
  static constexpr int32_t MaxZoomedSize = 1 << 22;
  void GetFrameMargins(int32_t& MX, int32_t& MY);
  double ChooseAutoZoom(int32_t W, int32_t H, bool Shrink, bool Stretch, int32_t AW, int32_t AH);
  void ZoomAroundPoint(int32_t X, int32_t Y, double Zoom, bool Centre);
  void FitZoomToSelection(bool Uniform, bool Notify);
  void SetViewOrigin(int32_t X, int32_t Y);
  void SetViewOriginX(int32_t X);
  void SetViewOriginY(int32_t Y);
  void GetMaxViewOrigin(int32_t& MaxX, int32_t& MaxY);
  void ScrollHorizontal(uint8_t Kind, int32_t Position);
  void ScrollVertical(uint8_t Kind, int32_t Position);
  bool IsScrollable();
  void SmoothScrollTo(int32_t X, int32_t Y);
  void StopSmoothScroll();
  void SmoothScrollStep();
  bool SmoothScrolling() const { return FSmoothTimer != nullptr; }
  void ApplyWheel(int32_t Delta, int32_t X, int32_t Y, bool Ctrl);
  void HideHorzScrollBar();
  void HideVertScrollBar();

  // ==== painting ====
  virtual void PaintView();
  void PaintClientRect(const TRect& R);
  // The I/O component's player when it renders into this window and is paused or running, else nil.
  TQxDirectShow* VideoInWindow();
  void PlaceVideo(TQxDirectShow* Player);
  virtual void ComposeLayersTo(TQxBitmap* Dest, std::vector<uint8_t*>* DestRows, const TRect* UpdateRect,
                               bool DrawBackground, bool DrawOverlays);
  void InvalidateRectNoErase(const TRect& R);
  // The back buffer, for drawing into it: a later repaint composes again rather than reuse or move what
  // it holds.
  TBitmap* BackBufferBitmap();
  TQxBitmap* BackBuffer() const;
  // Tells the view that Dest, if it is the back buffer, was drawn over after its composition.
  void BackBufferDrawnOver(const TQxBitmap* Dest);
  void SetInteractionHint(const std::string& Text, int32_t X, int32_t Y, const std::string& Template);
  const std::string& HintText() const { return FHintText; }
  bool DrawVersion() const { return FDrawVersion; }
  void SetDrawVersion(bool Value);
  bool EnableInteractionHints = true;
  void DrawVersionText();

  TNotifyEvent OnPaint;
  TNotifyEvent OnDrawBackBuffer;
  TQxOnDrawCanvas OnDrawCanvas;
  TQxOnDrawBackground OnDrawBackground;

  // ==== backgrounds ====
  void SetBackground(TColor Value) override;
  TQxBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TQxBackgroundStyle Value);
  TPicture* WallPaper() const { return FWallPaper.get(); }
  void SetWallPaper(TPicture* Value);
  TQxWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TQxWallPaperStyle Value);
  int32_t ChessSize() const { return FChessSize; }
  TBrushStyle ChessBrushStyle() const { return FChessBrushStyle; }
  void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
  TColor GradientEndColor = clBlue;
  void PaintBackgroundTo(TCanvas* Canvas);

  // ==== messages, events, cursors, linked view, binding ====
  bool LegacyBitmap() const { return FLegacyBitmap; }
  void SetLegacyBitmap(bool Value);
  TBitmap* LegacyTBitmap() const { return FLegacyTBitmap; }
  TBitmap* GetTBitmap() override;
  TQxBitmap* GetQxBitmap() override;
  TQxBitmap* GetAlphaChannel() override;
  bool HasAlphaChannel() override;
  void RemoveAlphaChannel(bool Merge) override;
  void ClearImage();
  void ResetToBlank();
  virtual bool IsImageEmpty();
  void AssignFrom(TPersistent* Source);
  void AssignFrom(TQuillotView* Source);
  void AssignFrom(TBitmap* Source);
  void SetViewBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void DoImageChange() override;
  void AttachExternalBitmap(TQxBitmap* Bitmap);
  void SetSelectionColor1(TColor Color);
  void SetSelectionColor2(TColor Color);
  TColor SelectionColor1() const { return FSelectionColor1; }
  TColor SelectionColor2() const { return FSelectionColor2; }

  TCursor Cursor() const { return FViewCursor; }
  void SetViewCursor(TCursor Value);
  void SetCursor(TCursor Value) override { SetViewCursor(Value); }
  TCursor SavedCursor() const { return FSavedCursor; }
  void SetInteractionCursor(TCursor Value);
  void RestoreCursor();
  bool CursorPending() const { return FCursorPending; }
  static void LoadViewCursors();

  TQuillotView* LinkedView() const { return FLinkedView; }
  void SetLinkedView(TQuillotView* View, uint8_t Options);
  uint8_t LinkOptions() const { return FLinkOptions; }
  bool IsLinkedView() const { return FIsLinkedView; }
  void SyncLinkedView();
  void FollowLinkedSelection(TObject* Sender);
  void ZoomFromLinkedWheel(TObject* Sender, TShiftState Shift, int32_t WheelDelta, TPoint MousePos,
                           bool& Handled);
  void SetSelectionRatio(double Ratio);

  std::string QuillotVersion() const { return QxQuillotVersion; }
  void SetQuillotVersion(const std::string&) {}

  TNotifyEvent OnImageChange;
  TQxSpecialKeyEvent OnSpecialKey;
  TQxVirtualKeyEvent OnVirtualKey;
  TQxSetCursorEvent OnSetCursor;
  TNotifyEvent OnDShowNewFrame, OnDShowEvent;
  TQxLayerNotify OnLayerNotify;
  TQxMouseInResizingGripEvent OnMouseInResizingGrip;
  TNotifyEvent OnMouseInSel;
  // Transition hooks; the transition object is made on the first write.
  TNotifyEvent OnTransitionStop() const;
  void SetOnTransitionStop(const TNotifyEvent& Value);
  TQxTransitionStepEvent OnTransitionStep() const;
  void SetOnTransitionStep(const TQxTransitionStepEvent& Value);
  TQxOnTransitionPaint OnTransitionPaint() const;
  void SetOnTransitionPaint(const TQxOnTransitionPaint& Value);
  TQxTransitionEffects* Transition() const { return FTransition.get(); }
  void StopTransitionAndRelayout();

  void DoZoomIn(double& NewZoom);
  void DoZoomOut(double& NewZoom);
  void DoMouseInResizingGrip(TQxGrip Grip);
  void DoMouseInSel();
  virtual void DoLayerNotify(int32_t Layer, TQxLayerEvent Event);
  void SwapSelectionBase();

  // ==== layers ====
  int32_t LayerCount() const { return int32_t(FLayers.size()); }
  TQxLayer* GetLayer(int32_t Index) const;
  TQxLayer* CurrentLayer() const;
  int32_t CurrentLayerIndex() const { return FCurrentLayerIndex; }
  TQxBitmap* CurrentBitmap() const { return FCurrentBitmap; }
  virtual void SetCurrentLayer(int32_t Index);
  int32_t AddLayer();
  void RemoveLayer(int32_t Index);
  void ClearLayers();
  void SyncLayers();
  int32_t LayerAt(int32_t X, int32_t Y, bool HonourSelectable);
  bool IsPointInLayer(int32_t X, int32_t Y, int32_t Index);
  void DrawLayersTo(TQxBitmap* Target);
  void MergeAllLayers();
  void ApplyLayerSizes(int32_t Index);
  void CropLayersToOpaque(int32_t Index);
  void ApplyLayerRotations(int32_t Index);
  // The layer list as the PSD codec takes it (read-only view of the pointers).
  std::vector<TQxLayer*> LayerList() const;
  // Takes over Layers (replacing or appending), as a layered-file reader hands them in.
  void AdoptLayers(std::vector<TQxLayer*>& Layers, bool Replace);

  // ==== layers file ====
  // The layers file. Compression -1 stores zlib-deflated raw bitmap streams, -2 raw ones, any other value
  // the file format of that id (TIFF becomes PNG). A load replaces every layer and returns false only for
  // a stream that is not a layers file (nothing changed) or has a version below 1.
  void SaveLayersToStream(TStream* Stream, int32_t Compression);
  bool LoadLayersFromStream(TStream* Stream);
  bool LoadLayersFromFile(const std::string& FileName);
  void SaveLayersToFile(const std::string& FileName, int32_t Compression);

  // ==== selection ====
  bool Selected() const { return FSelected; }
  TQxMask* SelectionMask() const { return FSelectionMask.get(); }
  TQxSelectionBase SelectionBase() const { return FSelectionBase; }
  // Outside the mouse handlers the saved copy follows, so events fired later see the caller's setting.
  void SetSelectionBase(TQxSelectionBase Value) {
    FSelectionBase = Value;
    if (FMouseHandlerDepth == 0) FSavedSelectionBase = Value;
  }
  TQxSelectionOptions SelectionOptions() const { return FSelectionOptions; }
  void SetSelectionOptions(TQxSelectionOptions Value);
  double SelectionAspectRatio() const { return FSelectionAspectRatio; }
  int32_t SelectionFixedWidth = 0, SelectionFixedHeight = 0;
  virtual void SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Op);
  virtual void AddSelectionPoint(int32_t X, int32_t Y);
  virtual void CommitSelection();
  void Deselect();
  int32_t SelectionBoxLeft();
  int32_t SelectionBoxTop();
  int32_t SelectionBoxRight();
  int32_t SelectionBoxBottom();
  // Builds without committing: Op 0 replaces, 1 adds. Coordinates follow SelectionBase.
  void SelectRectEx(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Op, bool Square, bool KeepInside);
  void BeginNewPolygon();
  void MagicWandSelect(int32_t X, int32_t Y, bool Add);
  void ClosePolygon(bool Add, bool DropLastPoint);
  void MoveSelectionBy(int32_t DX, int32_t DY);
  // Moves mask and polygon by bitmap pixels; Clip cuts at the bitmap's borders instead of keeping the
  // selection inside. State (the mouse's drag state) comes back unchanged.
  int32_t MoveSelection(int32_t State, int32_t DX, int32_t DY, bool Clip);
  // Mouse drag steps in client coordinates, from the drag start.
  void SelectRectDrag(int32_t X, int32_t Y, TShiftState Shift);
  void SelectEllipseDrag(int32_t X, int32_t Y, TShiftState Shift);
  // Drags selection grip Grip (1..8) to the client point; returns the grip, exchanged when the rectangle
  // turned over.
  int32_t ResizeSelectionByGrip(int32_t Grip, int32_t X, int32_t Y, bool KeepRatio);
  // Ends an open polygon (not a lasso), dropping its last point.
  void CloseOpenPolygon(bool Add);
  void ClearPolygon();
  void RemoveLastPolygon();
  void RemoveTrailingPoint();
  void PushSelection();
  bool PopSelection(bool Drop, uint8_t Mode);
  // Grips and grid drawn over a selection, and the current layer's grips.
  TColor SelGripPenColor = clBlack;
  TColor SelGripBrushColor = TColor(0xBAFFFF);
  TBrushStyle SelGripBrushStyle = TBrushStyle::bsSolid;
  int32_t SelGripSize = 5;
  uint8_t SelGripShape = 1;  // 0 square, 1 circle
  bool SelGripSides = true;
  int32_t SelectionGridSize = 1;
  TColor LayerGripPenColor = clBlack;
  TColor LayerGripBrushColor = TColor(0xBAFFFF);
  TBrushStyle LayerGripBrushStyle = TBrushStyle::bsSolid;
  int32_t LayerGripSize = 5;
  uint8_t LayerGripShape = 1;
  int32_t SelectionMaskDepth = 1;
  int32_t SelectionMaskValue = 1;
  bool AddWithShift = true;
  uint8_t MagicWandMode = 0;  // 0 outline polygon, 1 flood-filled mask, 2 every similar pixel
  int32_t MagicWandTolerance = 15;
  bool MagicWandMaxFilter = false;
  void SaveSelectionToStream(TStream* Stream);
  bool LoadSelectionFromStream(TStream* Stream, int32_t Mode);
  const TPoint* PolySelPoints() const;
  int32_t PolySelCount() const;
  TNotifyEvent OnBeforeSelectionChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnSelectionChange;
  bool AssumeAltKey = false;  // drags behave as with Alt held: squares, circles, kept ratios, 45 degrees

  // ==== mouse interaction ====
  TQxMouseInteract MouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TQxMouseInteract Value);
  virtual void ShiftDragOrigin(int32_t DX, int32_t DY);
  virtual void HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void HandleMouseMove(TShiftState Shift, int32_t X, int32_t Y);
  virtual void HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void HandleKeyDown(uint16_t& Key, TShiftState Shift);
  virtual void HandleKeyUp(uint16_t& Key, TShiftState Shift);
  virtual void HandleKeyPress(std::string& Key);
  bool AutoScrollWhileDragging();
  // -1, or 0 when a press at the client point would move the selection.
  int32_t InsideSelectionForMove(int32_t X, int32_t Y, TShiftState Shift);
  void ResizeLayerByGrip(int32_t X, int32_t Y, bool KeepRatio);
  bool HandlePaletteChanged();
  double MouseScrollRate = 1.0;   // pixels scrolled per pixel dragged
  int32_t LayerRotationStep = 45;  // degrees a Shift-rotation snaps to
  uint8_t LayerResizeKeepRatio = 1;  // 1 with Alt, 2 always, 3 on corner grips, else never
  bool LayerUndo = false;            // an undo entry of the layer before a layer drag's first step
  // Drag state, for inspection.
  bool RectDragging() const { return FRectDragging; }
  bool EllipseDragging() const { return FEllipseDragging; }
  bool PolygonOpen() const { return FPolygonOpen; }
  bool LassoActive() const { return FLassoActive; }
  uint8_t SelGripDragged() const { return FSelGripDragged; }
  int32_t SelectionMoveState() const { return FSelectionMoveState; }
  int32_t MovingLayer() const { return FMovingLayer; }
  int32_t RotatingLayer() const { return FRotatingLayer; }
  int32_t RotationCenterLayer() const { return FRotationCenterLayer; }
  uint8_t LayerGripDragged() const { return FLayerGripDragged; }
  int32_t DragStartX() const { return FDragStartX; }
  int32_t DragStartY() const { return FDragStartY; }
  int32_t RubberX() const { return FRubberX; }
  int32_t RubberY() const { return FRubberY; }

  // ==== selection outline, grips, layer boxes ====
  // Outline records drawn by PaintSelection; the first is the view's own selection polygon.
  TQxSelectionOutline* CreateOutlineRecord(TColor Color1, TColor Color2, bool Sizeable, bool Animated);
  TQxSelectionOutline* SelectionOutline() const { return FSelOutline; }
  int32_t OutlineRecordCount() const { return int32_t(FOutlines.size()); }
  TQxSelectionOutline* OutlineRecord(int32_t Index) const;
  void ShowOutline(bool Paint);
  void HideOutline(bool Paint);
  void PaintSelection(TComponent* Sender, bool RespectCanvasLock);
  virtual void DrawSelectionGrid(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void DrawRubberSegment();
  int32_t SelectionGripAt(int32_t X, int32_t Y);
  int32_t SelectionGripAtUnlessShift(int32_t X, int32_t Y, TShiftState Shift);
  int32_t LayerGripAt(int32_t X, int32_t Y);
  void LayerGripRects(int32_t Index, TRect Rects[9]);
  void DrawLayerBox(TBitmap* ABitmap, int32_t Index);
  void DrawLayerGrips(TBitmap* ABitmap, int32_t Index);
  void DrawRotationGrip(TBitmap* ABitmap, int32_t Index);
  void DimOutsideLayer(TBitmap* ABitmap, int32_t Index);
  void OutlineTimerTick();
  TTimer* OutlineTimer() const { return FOutlineTimer; }
  TQxOnDrawPolygon OnDrawPolygon;
  TQxDrawLayerBoxEvent OnDrawLayerBox;
  TQxDrawLayerGrip OnDrawLayerGrip;

  // ==== TQxProcViewHost ====
  int32_t ProcLayerCount() override { return LayerCount(); }
  int32_t ProcCurrentLayer() override { return FCurrentLayerIndex; }
  TQxBitmap* ProcLayerBitmap(int32_t Index) override;
  void ProcLayerId(int32_t Index, uint8_t Id[16]) override;
  void ProcWriteLayer(int32_t Index, TStream* Stream, bool WithBitmap) override;
  void ProcReadLayer(int32_t Index, TStream* Stream) override;
  void ProcSaveLayers(TStream* Stream) override { SaveLayersToStream(Stream, -2); }
  void ProcLoadLayers(TStream* Stream) override { LoadLayersFromStream(Stream); }
  void ProcSaveSelection(TStream* Stream) override { SaveSelectionToStream(Stream); }
  void ProcLoadSelection(TStream* Stream, int32_t Mode) override { LoadSelectionFromStream(Stream, Mode); }
  TQxMask* ProcSelectionMask() override { return SelectionMask(); }
  bool ProcSelected() override { return FSelected; }
  const TPoint* ProcPolySelPoints() override { return PolySelPoints(); }
  int32_t ProcPolySelCount() override { return PolySelCount(); }

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(std::string& Key) override;
  void WMLButtonDblClk(TMessage& Message) override;
  void WMGetDlgCode(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Dispatch(TMessage& Message) override;
  void PaintWindow(HDC DC) override;
  void WMPaint(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  void WMSysKeyDown(TMessage& Message) override;
  void WMSysKeyUp(TMessage& Message) override;
  void CNKeyDown(TMessage& Message) override;
  void CNKeyUp(TMessage& Message) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void HandleIOUpdate(TMessage& Message);
  void HandleIOProgress(TMessage& Message);
  void HandleIOFinish(TMessage& Message);
  void HandleVideoFrame(TMessage& Message);
  void HandleVideoEvent(TMessage& Message);

 private:
  friend class TQxLayer;
  void ScrollBarsUpdate();
  void UpdateScrollBar(bool Horizontal, int32_t Max);
  void AutoZoom();
  void RecomputeScales();
  void ZoomSetterCommon(int Axis, double Zoom);
  void ApplyZoomAxis(int Axis, double Zoom);
  void ViewOriginChanged();
  void DelayedFilterCountdown(bool AnyAxisNot100);
  void ApplyScrollMessage(TMessage& Message, bool Horizontal);
  void PaintCompositionBackground(TQxBitmap* Dest, const TRect* UpdateRect);
  bool DrawCompositionLayer(int32_t Index, TQxBitmap* Dest, std::vector<uint8_t*>& DestRows,
                            const TRect* UpdateRect, bool& First, bool DrawBackground, bool DrawOverlays);
  void CombineMaskLayer(TQxLayer* Layer, TQxLayer* MaskLayer, std::unique_ptr<TQxBitmap>& SavedAlpha,
                        std::unique_ptr<TQxBitmap>& Combined);
  void DrawPixelGrid(TQxBitmap* Dest);
  void RefillMagnifier(TQxLayer* Layer, TQxBitmap* Dest, TResampleFilter Filter);
  TResampleFilter LayerFilter(TQxLayer* Layer) const;
  // A layer's rectangle on the screen, each edge corrected by one pixel towards the layer.
  void LayerScreenRect(TQxLayer* Layer, int32_t DW, int32_t DH, int32_t& X, int32_t& Y, int32_t& W, int32_t& H);
  // Filtered zoom of several plain layers: they are flattened at the picture's resolution and scaled
  // once (kept until the layers, the zoom or the visible part change). Scaling each layer on its own
  // lets the background show through where two layers meet. False when the layers need the general road.
  bool DrawFlattenedLayers(TQxBitmap* Dest, std::vector<uint8_t*>& DestRows, const TRect* UpdateRect,
                           bool DrawBackground, bool DrawOverlays);
  bool DrawLayersInBands(TQxBitmap* Dest, std::vector<uint8_t*>& DestRows, const TRect* UpdateRect,
                         bool DrawBackground, bool DrawOverlays, bool& First);
  struct TFlatPaintCache;
  std::unique_ptr<TFlatPaintCache> FFlatCache;
  uint64_t FContentGeneration = 0;  // bumped by every update, invalidation and scroll: pixels may have changed
  // The whole client as last composed from the layers and the background (no overlays), reused while
  // nothing it depends on changed.
  struct TComposeCache;
  std::unique_ptr<TComposeCache> FComposeCache;
  bool CompositionKey(TQxBitmap* Dest, bool DrawBackground, bool DrawOverlays, std::vector<int64_t>& Key);
  bool BackgroundHidden(TQxBitmap* Dest);
  bool BackgroundOverwrites() const;
  bool BackgroundShowsThrough(TQxBitmap* Dest, std::vector<TRect>& Rects);
  void FreeMaskCaches();
  TCanvas* ControlCanvasOrNull();
  void EnsureBackBuffer(int32_t W, int32_t H);
  void EnsureOutlineTimer();

  // Expires with the view; work queued for the GUI thread checks it first.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

  // components
  TQuillotIO* FIO = nullptr;
  TQuillotProc* FProc = nullptr;
  TQxProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;
  TQxSaveUndoEvent FOnSaveUndo;

  // properties and state of the view itself
  TResampleFilter FRequestedZoomFilter = TResampleFilter::rfNone;
  TResampleFilter FZoomFilter = TResampleFilter::rfNone;
  double FScrollRatioX = 1.0, FScrollRatioY = 1.0;
  bool FVertBarShown = false, FHorzBarShown = false;
  bool FUpdateRepeat = false;
  bool FInUpdate = false;
  double FCacheZoomX = -1, FCacheZoomY = -1;
  int32_t FCacheDestWidth = -1, FCacheDestHeight = -1, FCacheImageWidth = -1, FCacheImageHeight = -1;
  int32_t FSourceLeft = 0, FSourceTop = 0, FSourceWidth = 0, FSourceHeight = 0;
  int32_t FDestWidth = 0, FDestHeight = 0;
  int32_t FLastBitmapWidth = 0, FLastBitmapHeight = 0;
  bool FFlatScrollBars = false;
  int32_t FFastPaintsLeft = 0, FOutlineSkipsLeft = 0;
  bool FBufferDirty = true;
  bool FComposedOnEveryCore = false;  // the last composition drew its layers in bands on every core
  int32_t FViewOriginX = 0, FViewOriginY = 0;
  double FZoomX = 100, FZoomY = 100;
  double FScaleX = 1, FInvScaleX = 1, FScaleY = 1, FInvScaleY = 1;
  TScrollStyle FScrollBars = TScrollStyle::ssBoth;
  int32_t FPaintLock = 0;
  int32_t FImageLeft = 0, FImageTop = 0;
  int32_t FVisibleWidth = 0, FVisibleHeight = 0;
  int32_t FZoomedWidth = 0, FZoomedHeight = 0;
  bool FAutoInvalidate = true;
  int32_t FUpdateLock = 0;
  TTimer* FSmoothTimer = nullptr;
  std::vector<std::unique_ptr<TTimer>> FRetiredTimers;
  int32_t FSmoothTargetX = 0, FSmoothTargetY = 0;
  std::unique_ptr<TQxScrollBarParams> FVertScrollParams, FHorzScrollParams;
  std::unique_ptr<TQxMouseWheelParams> FWheelParams;
  bool FEnableAlphaChannel = true;
  TQxBitmap* FCurrentBitmap = nullptr;
  int32_t FImageWidth = 0, FImageHeight = 0;
  std::vector<int32_t> FColumnOfX, FRowOfY, FXOfColumn, FYOfRow;
  int32_t FColumnCursor = 0, FRowCursor = 0, FXCursor = 0, FYCursor = 0;  // offsets into the tables
  int32_t FScreenColumns = 0, FScreenRows = 0, FMappedColumns = 0, FMappedRows = 0;
  bool FHasOwner = false;
  bool FCenter = true, FAutoFit = false, FAutoStretch = false, FAutoShrink = false;
  bool FDelayZoomFilter = false, FDoubleBuffer = true;
  int32_t FLastClientWidth = 0, FLastClientHeight = 0;

  // painting
  bool FRepaintAll = true;
  bool FDrawVersion = false;
  std::string FHintText, FHintTemplate;
  int32_t FHintX = 0, FHintY = 0;
  std::unique_ptr<TBitmap> FBackBufferTBitmap;
  std::unique_ptr<TQxBitmap> FBackBuffer;
  std::vector<uint8_t*> FBackBufferRows;
  std::unique_ptr<TBitmap> FLinkBufferTBitmap;
  std::unique_ptr<TQxBitmap> FLinkBuffer;
  HWND FLastWindowHandle = 0;
  int32_t FNotedLayer = -1;  // layer whose mask cache the next update drops (-1: all)

  // backgrounds
  TQxBackgroundStyle FBackgroundStyle = TQxBackgroundStyle::qxbsSolid;
  std::unique_ptr<TPicture> FWallPaper;
  TQxWallPaperStyle FWallPaperStyle = TQxWallPaperStyle::qxwoNormal;
  int32_t FChessSize = 16;
  TBrushStyle FChessBrushStyle = TBrushStyle::bsSolid;

  // cursors, the legacy bitmap, the linked view and transitions
  bool FLegacyBitmap = true;
  TBitmap* FLegacyTBitmap = nullptr;
  TCursor FSavedCursor = 1785;
  TCursor FViewCursor = 1785;
  TQuillotView* FLinkedView = nullptr;
  uint8_t FLinkOptions = 0;
  bool FSyncGuard = false;
  bool FIsLinkedView = false;
  std::unique_ptr<TQxTransitionEffects> FTransition;
  bool FCursorPending = true;
  TColor FSelectionColor1 = clBlack, FSelectionColor2 = clWhite;

  // layers
  std::vector<TQxLayer*> FLayers;  // owned
  int32_t FCurrentLayerIndex = 0;

  // selection and painting state
  bool FSelected = false;
  bool FLayerResizeByMouse = false;  // a magnifier keeps its bitmap size while the mouse resizes it
  bool FLoadingLayers = false;
  int32_t FPolyX1 = 0, FPolyY1 = 0, FPolyX2 = 0, FPolyY2 = 0;  // the polygon's bounding box
  bool FOutlineVisible = false;
  int32_t FOutlinePhase = 0, FMaskBorderPhase = 0;
  TRect FSelScreenRect;
  bool SelectionIsRectangle() const;
  void SetLayerGripTools(TQxCanvas& Q) const;
  void DrawOutlineEdge(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t& Dash);
  bool FPolygonOpen = false;
  bool FRenderMaskOnRelease = false;  // a moved rectangle is drawn into the mask again at mouse up
  std::vector<std::unique_ptr<TMemoryStream>> FSelectionStack;
  void AppendSelectionPoint(TPoint P);
  void MapToLayer(int32_t& X, int32_t& Y);
  HDRAWDIB FDrawDib = QxDrawDibOpen();
  TQxDibInfo FDibInfo;  // describes the back buffer for DrawDib
  std::unique_ptr<TQxMask> FSelectionMask;
  TQxSelectionBase FSelectionBase = TQxSelectionBase::qxsbClientArea;
  TQxSelectionBase FSavedSelectionBase = TQxSelectionBase::qxsbClientArea;
  TQxSelectionOptions FSelectionOptions{TQxSelectionOptionsItems::qxsoAnimated, TQxSelectionOptionsItems::qxsoSizeable,
                                        TQxSelectionOptionsItems::qxsoMoveable, TQxSelectionOptionsItems::qxsoCanScroll};
  double FSelectionAspectRatio = -1;
  std::vector<TPoint> FPolySelPoints;

  // mouse interaction
  TQxMouseInteract FMouseInteract;
  int32_t FMouseHandlerDepth = 0;
  int32_t FDragStartX = 0, FDragStartY = 0, FImageDragStartX = 0, FImageDragStartY = 0;
  int32_t FMouseDownX = 0, FMouseDownY = 0, FLastMouseX = 0, FLastMouseY = 0;
  int32_t FLastClampedX = 0, FLastClampedY = 0, FRubberX = 0, FRubberY = 0;
  int32_t FOriginAtDownX = 0, FOriginAtDownY = 0, FPointCountAtDown = 0;
  bool FRectDragging = false, FEllipseDragging = false, FLassoActive = false;
  uint8_t FSelGripDragged = 0;
  int32_t FSelectionMoveState = -1;
  int32_t FMovingLayer = -1, FRotatingLayer = -1, FRotationCenterLayer = -1;
  uint8_t FLayerGripDragged = 0;
  bool FLayerMoved = false, FLayerUndoSaved = false;
  double FDragRotationAngle = 0, FLayerResizeRatio = 1;
  bool FLayerResizeStarted = false;
  TRect FDrawnRectAtDown;
  TPoint FOutlineAtDown[4];
  int32_t FGripX1 = 0, FGripY1 = 0, FGripX2 = 0, FGripY2 = 0;  // the rectangle when a grip drag began
  bool FAutoScrolling = false;
  void EnterMouseHandler();
  void LeaveMouseHandler();
  void FireSelectionEvent(const TNotifyEvent& Event);
  void ClampToCurrentLayer(int32_t& X, int32_t& Y);
  void ApplyPendingRotations();
  void ResetDragStates();
  bool AnyDragInProgress() const;
  void DrawSelectionShading(TQxBitmap* Dest);
  void SnapToLastPoint(int32_t& X, int32_t& Y);
  void ShowHoverCursor(TShiftState Shift, int32_t X, int32_t Y);

  // selection outline
  TTimer* FOutlineTimer = nullptr;
  std::vector<std::unique_ptr<TQxSelectionOutline>> FOutlines;
  TQxSelectionOutline* FSelOutline = nullptr;
};

// One outline the view draws: a polygon in layer-bitmap pixels (polygons separated by the point
// (0xFFFFF, 0xFFFFF)) with its dash colours and animation phase. The view's own selection keeps its points
// in the view; other records carry theirs here.
class TQxSelectionOutline {
 public:
  std::vector<TPoint> Points;
  TColor Color1 = clBlack, Color2 = clWhite;
  bool Sizeable = true, Animated = true, Visible = true;
  int32_t Phase = 0;
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  TCanvas* Canvas = nullptr;
};

// True when the stream holds a layers file (magic and a version above 0); the position is kept.
bool QxIsLayersStream(TStream* Stream);

// The composite: a view with its I/O and processing components made at construction.
class TQuillot : public TQuillotView {
 public:
  explicit TQuillot(TComponent* AOwner);
  std::string ClassName() const override { return "TQuillot"; }
};
