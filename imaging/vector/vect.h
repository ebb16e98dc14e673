#pragma once
// TQuillotVect: the view with editable vector objects over its picture. Objects are kept in creation
// order and addressed by index (the handle); a separate drawing order says which exist and in which
// order they are drawn, hit-tested, saved and copied.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/vector/text_control.h"
#include "imaging/vector/vect_object.h"
#include "imaging/view/view.h"

class TQxBitmap;
class TQxCanvas;
class TMemoryStream;
class TTimer;
struct TQxVectReader;

enum class TQxObjectInteractItems : uint8_t {
  oiArea,
  oiPerimeter,
  oiLine,
  oiBox,
  oiEllipse,
  oiBitmap,
  oiText,
  oiEdit,
  oiDragLength,
  oiRuler,
  oiPolyline,
  oiAngle,
  oiMemo,
  oiLabelledLine,
  oiPolylinePoints,
  oiDragOnly,
  oiCustom,
};
using TQxObjectInteract = TSetOf<TQxObjectInteractItems>;

enum class TQxVUndoMode : uint8_t { qxumSeparated, qxumShared };
enum class TQxVValType : uint8_t { qxvtLENGTH, qxvtAREA, qxvtANGLE };

using TQxUserSelectObject = std::function<void(TObject* Sender, int32_t hobj)>;
using TQxVMeasureHintEvent = std::function<void(TObject* Sender, std::string& Text, double Value)>;
using TQxOnPresentMeasure =
    std::function<void(TObject* Sender, std::string& Text, double Value, TQxVValType ValType)>;
using TQxVDragLenEndEvent = std::function<void(TObject* Sender, double Value)>;
using TQxVNewObject = std::function<void(TObject* Sender, int32_t hobj)>;
using TQxVObjectMoveResizeEvent =
    std::function<void(TObject* Sender, int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY)>;
using TQxVObjectClickEvent = std::function<void(TObject* Sender, int32_t hobj)>;
using TQxDrawObjectEvent = std::function<void(TObject* Sender, int32_t hobj, TBitmap* Destination,
                                             const TRect& DestRect, bool DrawingAlpha, bool& Handled)>;

// Handles that name no index.
inline constexpr int32_t QxHandleTemplate = -1, QxHandleLast = -2, QxHandleNone = -3, QxHandleNone2 = -4;

void QxVectInit();
// Lets the I/O component read objects files and containers; a program that opens them calls it once.
void QxVectInstallFileHooks();
void QxVectFinal();
extern uint32_t QxVectClipboardFormat;
// The rectangle centred on the vertex whose half sizes reach the farther of the other two points.
void QxAngleBox(const TPoint Points[3], TRect& Rect);
// ANDs a 24-bit bitmap's pixels in the rectangle with the colour (an 8-bit one is set to its gray).
void QxAndFillRect(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color);
// Width passes of a frame along the rectangle's edges, shrinking by one each pass; alpha 255 where kept.
void QxDrawBitmapFrame(TQxBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Width,
                       TColor Color);
// Black-box width and height of one character's glyph in the canvas font.
void QxGlyphBox(TCanvas* Canvas, char C, int32_t& Height, int32_t& Width);

class TQuillotVect : public TQuillotView {
 public:
  explicit TQuillotVect(TComponent* AOwner);
  ~TQuillotVect() override;
  std::string ClassName() const override { return "TQuillotVect"; }

  // ==== objects (model) ====
  TQxVObject* ObjectRecord(int32_t Handle);
  int32_t AddObjectCopy(const TQxVObject& Source);
  void FreeObjectData(TQxVObject& Rec);
  void FreeTextData(TQxVObject& Rec);
  void FreeAllObjectRecords();
  int32_t ObjectCount() const { return int32_t(FOrder.size()); }
  // Handles bottom first.
  const std::vector<int32_t>& DrawingOrder() const { return FOrder; }
  int32_t ArrayCapacity() const { return int32_t(FObjects.capacity()); }
  int32_t LastHandle() const { return FObjects.empty() ? -3 : int32_t(FObjects.size()) - 1; }
  void ClearAllObjects();

  void SelectObject(int32_t Handle);
  void AddToSelection(int32_t Handle);
  bool IsSelected(int32_t Handle) const;
  void RemoveFromSelection(int32_t Handle);
  void ClearSelection();
  void UnselectAll();
  const std::vector<int32_t>& Selection() const { return FSelection; }
  int32_t SelectedCount() const { return int32_t(FSelection.size()); }

  void SetObjUserData(int32_t Handle, void* Data);
  void SetObjUserDataLen(int32_t Handle, int32_t Length);
  void SetObjFont(int32_t Handle, const TFont& Font);
  TFontStyles ObjFontStyles(int32_t Handle);
  void SetObjText(int32_t Handle, const std::string& Text);

  void SetObjBitmapIndex(int32_t Handle, int32_t Index);
  void SetObjBitmap(int32_t Handle, TQxBitmap* Bitmap);
  void SetObjBitmapFromIcon(int32_t Handle, int32_t IconId, int32_t Width, int32_t Height);
  TQxBitmap* SharedBitmap(int32_t Index) const;
  int32_t SharedBitmapRefCount(int32_t Index) const;
  int32_t SharedBitmapSlotCount() const { return int32_t(FBitmaps.size()); }
  int32_t FindSharedBitmap(TQxBitmap* Bitmap) const;
  int32_t NewSharedBitmapSlot();
  void ReleaseSharedBitmap(int32_t Index);
  void PackSharedBitmaps();

  void ClearPolylinePoints(TQxVObject& Rec);
  void AddPolylinePoint(int32_t Handle, int32_t X, int32_t Y);
  void PolylineScale(const TQxVObject& Rec, double& SX, double& SY) const;
  void RefreshPolylineBounds(TQxVObject& Rec);
  static int32_t AnglePointCount(const TPoint Points[3]);

  int32_t FindObjectAt(int32_t X, int32_t Y, bool SelectableOnly, double& Distance);
  int32_t ObjectAtClient(int32_t X, int32_t Y, double& Distance);
  double ObjectDistance(const TQxVObject& Rec, int32_t X, int32_t Y);
  double BitmapObjectDistance(const TQxVObject& Rec, int32_t X, int32_t Y);
  void SelectObjectsInRect(int32_t Handle, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void SelectionBounds(TRect& Rect);
  void MoveObject(int32_t Handle, int32_t DX, int32_t DY);
  void ResizeObjectByGrip(int32_t Handle, TPoint Step, int32_t Grip, bool KeepAspect);
  int32_t CopyObjectTo(int32_t Handle, TQuillotVect* Other);
  void CopyAllObjectsTo(TQuillotVect* Other);

  // ==== published properties ====
  TQxUnits MUnit() const { return FMUnit; }
  void SetMUnit(TQxUnits Value);
  int32_t FloatDigits() const { return FFloatDigits; }
  void SetFloatDigits(int32_t Value);
  int32_t FloatPrecision() const { return FFloatPrecision; }
  void SetFloatPrecision(int32_t Value);
  bool ShareBitmaps() const { return FShareBitmaps; }
  void SetShareBitmaps(bool Value) { FShareBitmaps = Value; }
  bool ZoomObjectsWidth() const { return FZoomObjectsWidth; }
  void SetZoomObjectsWidth(bool Value);
  TResampleFilter BitmapResampleFilter() const { return FBitmapResampleFilter; }
  void SetBitmapResampleFilter(TResampleFilter Value);
  int32_t ObjUndoLimit() const { return FObjUndoLimit; }
  void SetObjUndoLimit(int32_t Value) { FObjUndoLimit = Value; }
  bool ObjAutoUndo() const { return FObjAutoUndo; }
  void SetObjAutoUndo(bool Value) { FObjAutoUndo = Value; }
  bool ObjAntialias() const { return FObjAntialias; }
  void SetObjAntialias(bool Value);
  bool SelectOnMouseDown() const { return FSelectOnMouseDown; }
  void SetSelectOnMouseDown(bool Value) { FSelectOnMouseDown = Value; }
  TPicture* ObjGripImage() const { return FGripImage.get(); }
  void SetObjGripImage(TPicture* Value);
  TQxVUndoMode ObjUndoMode() const { return FObjUndoMode; }
  void SetObjUndoMode(TQxVUndoMode Value) { FObjUndoMode = Value; }
  TQxObjectInteract ObjectInteract() const { return FObjectInteract; }
  // Object modes leave the view's own mouse modes alone.
  void SetObjectInteract(TQxObjectInteract Value) { FObjectInteract = Value; }

  // ==== events ====
  TNotifyEvent OnSelectObject;
  TQxUserSelectObject OnUserSelectObject, OnUserDeselectObject;
  TQxVMeasureHintEvent OnMeasureHint;
  TQxOnPresentMeasure OnPresentMeasure;
  TQxVDragLenEndEvent OnDragLenEnd;
  TNotifyEvent OnVectorialChanged, OnBeforeVectorialChanged;
  TQxVNewObject OnNewObject;
  TQxVObjectMoveResizeEvent OnObjectMoveResize;
  TQxVObjectClickEvent OnObjectClick, OnObjectDblClick, OnObjectOver;
  TKeyEvent OnTextKeyDown;
  TNotifyEvent OnActivateTextEdit, OnDeactivateTextEdit;
  TNotifyEvent OnTextEditCursorMoved() const;
  void SetOnTextEditCursorMoved(const TNotifyEvent& Value);
  TQxDrawObjectEvent OnBeforeDrawObject, OnAfterDrawObject;

  // ==== public settings ====
  double MeasureScale = 1.0;
  int32_t GripShape = 1;
  int32_t GripSize = 5;
  TPen GripPen;
  TBrush GripBrush;
  bool CenterGrip = false;
  double MaxHitDistance = -1;
  double MoveHitDistance = 1;
  bool FillHitBoxes = false;
  bool PlaceCentered = false;
  bool AllowMoveOutside = true;
  bool RubberBandSelect = true;
  bool EditNewText = true;
  int32_t PolylineFinish = 0;
  bool FreePoints = false;
  bool RulerTextUpright = true;
  bool AngleBelow180 = false;
  bool FastDragDrawing = true;
  bool AlphaHitTest = true;
  bool HideObjects = false;
  bool LockObjectDrawing = false;
  bool PolygonLengthToCursor = true;
  TPen RubberBandPen;

  // ==== view behaviour ====
  void CancelInteraction();
  bool IsTextEditing() const { return FEditHandle >= 0; }
  int32_t EditedHandle() const { return FEditHandle; }
  void SetEditedHandle(int32_t Handle) { FEditHandle = Handle; }
  void UnitScale(double& UX, double& UY, TQxUnits Unit) const;
  void SetMeasureScale(double Value);
  double UnitScaleX() const { return FUnitX; }
  double UnitScaleY() const { return FUnitY; }
  void DrawMeasureHint(int32_t X, int32_t Y);
  void EraseMeasureHint();
  void RedrawMeasureHint(int32_t X, int32_t Y);
  bool MeasureHintShown() const { return FHintShown; }
  double LastMeasure() const { return FLastMeasure; }
  double PolygonLength();
  double SelectionArea();

  void SaveUndoBeforeEdit();
  void SaveObjUndo();
  void DropLastObjUndo();
  // Puts the snapshot taken at the last press into the list (done by the first change after it).
  void CommitPendingUndo();
  void ClearObjUndo();
  int32_t ObjUndoCount() const { return int32_t(FUndo.size()); }
  TMemoryStream* ObjUndoSnapshot(int32_t Index) const;
  // Puts the objects of a separated snapshot back (0 the oldest); false for a bad index or stream.
  bool RestoreObjUndo(int32_t Index);
  void FastDrawTimerTick(TObject* Sender);
  bool FastDrawing() const { return FFastDrawing; }

  // overrides of the view
  void UpdateView() override;
  void DoViewChange(int32_t Change) override;
  void ShiftDragOrigin(int32_t DX, int32_t DY) override;
  void SetDpiX(int32_t Value) override;
  void SetDpiY(int32_t Value) override;
  void SetMouseInteract(TQxMouseInteract Value) override;
  void AssignFrom(TPersistent* Source);
  void AssignFrom(TQuillotVect* Source);
  void PaintView() override;
  void ComposeLayersTo(TQxBitmap* Dest, std::vector<uint8_t*>* DestRows, const TRect* UpdateRect,
                       bool DrawBackground, bool DrawOverlays) override;
  void SelectRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, uint8_t Op) override {
    TQuillotView::SelectRect(X1, Y1, X2, Y2, Op);
  }
  void AddSelectionPoint(int32_t X, int32_t Y) override { TQuillotView::AddSelectionPoint(X, Y); }

  // ==== virtual operations ====
  virtual void DrawLineFeedback(bool Erase);
  virtual void DrawBoxFeedback(bool Erase);
  virtual void DrawEllipseFeedback(bool Erase);
  virtual void DrawShapeFeedback();
  virtual void DrawPointsFeedback();
  virtual void DoVectorialChanged();
  virtual void PlaceTextEditor();
  virtual void DoObjectMoveResize(int32_t hobj, int32_t Grip, int32_t& DX, int32_t& DY);
  virtual void DoObjectClick(int32_t hobj);
  virtual void DoObjectDblClick(int32_t hobj);
  virtual void DoObjectOver(int32_t hobj);
  virtual void SetForceAntialias(bool Value);
  virtual void DoBeforeVectorialChanged();
  virtual void DoNewObject(int32_t hobj);
  virtual void DoUserSelectObject(int32_t hobj);
  virtual void DoUserDeselectObject(int32_t hobj);
  bool ForceAntialias() const { return FForceAntialias; }
  bool ChangeFlag() const { return FChanged; }

  // ==== drawing ====
  void PaintObjects(TBitmap* BackBuffer);
  void DrawObjectsTo(bool BitmapCoords, int32_t Handle, bool Supersample, TBitmap* Dest);
  bool DrawObject(TQxVObject& Rec, int32_t Handle, bool AlphaPass, int32_t Scale, TQxBitmap* Work, bool ToScreen,
                  bool Clip, TBitmap* Dest);
  void DrawObjectsIntoImage(bool Antialias);
  void DrawObjectsIntoBitmap(TQxBitmap* Bitmap, bool Antialias, int32_t Handle);
  int32_t ObjPenWidth(const TQxVObject& Rec, double ZX, double ZY) const;
  void DrawGrip(TQxCanvas& Canvas, int32_t X, int32_t Y, bool CenterKind);
  bool PointInGrip(int32_t PX, int32_t PY, int32_t X, int32_t Y) const;
  void DrawObjectGrips(TQxCanvas& Canvas, int32_t Handle);
  void DrawSelectionGrips();
  void DrawSelectionGripsOn(TCanvas* Canvas);
  void DrawPolylineHandles(TCanvas* Canvas);
  // Output rectangle of an object as grips and grip tests see it (client pixels).
  TRect ObjectClientRect(const TQxVObject& Rec);

  // ==== mouse ====
  void SelectAtPoint(TShiftState Shift, int32_t X, int32_t Y, bool OnMouseDown);
  int32_t GripAtPoint(int32_t X, int32_t Y, int32_t& Action);
  int32_t PolylinePointAt(int32_t X, int32_t Y);
  int32_t PolylineSegmentAt(int32_t X, int32_t Y);
  bool SelectionStaysInside(TPoint Step);
  void HandleMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void HandleMouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void HandleMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void HandleKeyDown(uint16_t& Key, TShiftState Shift) override;
  TQxVObjectKind CreationState() const { return FCreating; }
  int32_t EditAction() const { return FAction; }

  // ==== file ====
  void SaveObjectsToStream(TStream* Stream);
  bool LoadObjectsFromStream(TStream* Stream);
  bool LoadObjectsFromFile(const std::string& FileName);
  static bool IsVectObjectsStream(TStream* Stream);
  void SaveAllToStream(TStream* Stream, int32_t LayersCompression);
  bool LoadAllFromStream(TStream* Stream);
  bool LoadAllFromFile(const std::string& FileName);
  static bool IsVectAllStream(TStream* Stream);
  void WriteObjectRecord(TStream* Stream, int32_t Handle);
  int32_t ReadObjectRecord(TStream* Stream, char Version, bool WithBitmaps);
  void ObjectsExtent(TRect& Rect);

  // ==== in-place text ====
  void StartTextEdit();
  void EndTextEdit();
  TQxEdit* TextEditor() const { return FEdit; }
  TQxTextControl* MemoEditor() const { return FMemo; }

  // ==== processing undo host ====
  bool ProcIsVectorView() override { return true; }
  void ProcSaveObjects(TStream* Stream) override { SaveObjectsToStream(Stream); }
  void ProcLoadObjects(TStream* Stream) override;
  void ProcSaveAll(TStream* Stream) override { SaveAllToStream(Stream, -1); }
  void ProcLoadAll(TStream* Stream) override;

 protected:
  void Dispatch(TMessage& Message) override;
  void WMSize(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;

 private:
  friend class TQxVectTestAccess;
  struct TSlot {
    std::unique_ptr<TQxBitmap> Bitmap;
    int32_t RefCount = 0;
  };
  void GrowArrays();
  void InitTemplate();
  void RecomputeUnitScales();
  void OutputPoint(bool ToScreen, int32_t Scale, int32_t X, int32_t Y, int32_t& OX, int32_t& OY) const;
  void DrawKind(TQxVObject& Rec, int32_t Handle, TQxCanvas& Q, TBitmap* Dest, TQxBitmap* Work, bool AlphaPass,
                int32_t Scale, bool ToScreen, double ZX, double ZY, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                int32_t PenW);
  void DrawLineEnd(TQxCanvas& Q, TQxVObject& Rec, int32_t EX, int32_t EY, int32_t OX, int32_t OY, uint8_t Shape,
                   int32_t W, int32_t L);
  void DrawRuler(TQxCanvas& Q, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TQxLogFont& Font,
                 TRect* Extent, double InvZY, double InvZX, uint8_t Style, int32_t PenWidth, TColor Color,
                 TQxUnits Unit, double Length);
  void DrawAngle(TQxCanvas& Q, const TPoint Points[3], const TQxLogFont& Font, double InvZY, double InvZX,
                 int32_t Scale, bool ToScreen, TRect* Extent, int32_t PenWidth, TColor Color);
  void DrawLineLabel(TQxCanvas& Q, TQxVObject& Rec, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double ZY,
                     int32_t Scale, bool ToScreen);
  void DrawTextObject(TQxCanvas& Q, TQxVObject& Rec, int32_t Handle, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2, double ZX, double ZY, bool AlphaPass);
  void DrawBitmapObject(TQxCanvas& Q, TQxVObject& Rec, TBitmap* Dest, TQxBitmap* Work, int32_t X1, int32_t Y1,
                        int32_t X2, int32_t Y2, int32_t PenW);
  void DrawComposited(TQxVObject& Rec, int32_t Handle, TBitmap* Dest, bool ToScreen, int32_t Scale);
  void EnsureWork(int32_t W, int32_t H);
  void ReadRecordInto(struct TQxVectReader& R, char Version, bool WithBitmaps, int Depth);
  void EditTextChanged(TObject* Sender);
  void EditKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void MemoKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  TCanvas* ViewCanvas();
  void CoverAlpha(TQxBitmap& Colors, TQxBitmap& Alpha, int32_t Handle);
  // Rubber band over the window's frame: its kind and client end points.
  enum class TBand : uint8_t { None, Line, Box, Ellipse, Ruler, Angle };
  void ShowBand(TBand Kind, TPoint A, TPoint B);
  void HideBand();
  void RedrawBand();
  void DrawBand(TCanvas* C);
  TRect BandRect() const;
  bool InZoomDelay() const;
  TBand FBand = TBand::None;
  TPoint FBandA{0, 0}, FBandB{0, 0};
  void ClientToBitmap(int32_t X, int32_t Y, int32_t& BX, int32_t& BY) const;
  void FinishMouseCreate(TShiftState Shift);
  void FinishMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void CloseMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void SetPaintDirty();

  std::vector<TQxVObject> FObjects;
  std::vector<int32_t> FOrder;
  std::vector<int32_t> FSelection;
  std::vector<TSlot> FBitmaps;
  TQxVObject FTemplate;

  TQxObjectInteract FObjectInteract;
  TQxUnits FMUnit = TQxUnits::qxuPIXELS;
  int32_t FFloatDigits = 2, FFloatPrecision = 15;
  bool FShareBitmaps = true, FZoomObjectsWidth = true, FObjAntialias = true, FSelectOnMouseDown = true;
  TResampleFilter FBitmapResampleFilter = TResampleFilter::rfNone;
  int32_t FObjUndoLimit = 1;
  bool FObjAutoUndo = false;
  TQxVUndoMode FObjUndoMode = TQxVUndoMode::qxumSeparated;
  std::unique_ptr<TPicture> FGripImage;
  double FUnitX = 1, FUnitY = 1;

  // measurement hint
  bool FHintShown = false;
  int32_t FHintLastX = 0, FHintLastY = 0;
  int32_t FHintSavedX = 0, FHintSavedY = 0;  // where the pixels under the box came from
  double FLastMeasure = 0;
  std::unique_ptr<TBitmap> FHintBitmap;
  TFont FHintFont;
  TBrush FHintBrush;

  // interaction
  TQxVObjectKind FCreating = TQxVObjectKind::qvkNone;
  bool FMeasuring = false;
  int32_t FPolyHandle = -1, FAngleHandle = -1;
  TPoint FLastPolyPoint{0, 0};
  int32_t FAction = 0;
  int32_t FEditHandle = -1;
  int32_t FHoverHandle = -1;
  int32_t FCustomHover = -1;
  TPoint FDragStart{0, 0};     // client point of the mouse-down, clamped to the picture
  TPoint FRawDown{0, 0};
  TPoint FCurrent{0, 0};
  TPoint FRawPoint{0, 0};
  TPoint FStepSum{0, 0};
  bool FMoved = false, FDeferred = false, FSkipNextMove = false, FButtonDown = false;
  int32_t FGrabbedPoint = -1, FGrabbedSegment = -1;
  bool FChanged = false, FBeforeFired = false, FSnapshot = false;
  bool FForceAntialias = false;
  bool FFastDrawing = false;
  bool FDestroying = false;
  bool FDraggingObjects = false;

  TQxEdit* FEdit = nullptr;
  TQxTextControl* FMemo = nullptr;
  std::vector<std::unique_ptr<TMemoryStream>> FUndo;
  std::unique_ptr<TMemoryStream> FPendingUndo;
  std::unique_ptr<TTimer> FTimer;
  std::unique_ptr<TQxBitmap> FWork;
  std::unique_ptr<TBitmap> FWorkTBitmap, FWorkAlphaTBitmap;
  TRect FWorkDirty{0, 0, 0, 0};  // part of the work bitmap an earlier object may have written
};
