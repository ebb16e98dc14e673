// TQuillotProc: the non-visual component through which every image operation runs, with its undo and
// redo stacks. It works on one TQxBitmap: its own, the current bitmap of an attached view, or a bitmap a
// caller hands it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/types.h"
#include "platform/base/types.h"
#include "platform/graphics/color.h"
#include "platform/ui/component.h"

class TQxBitmap;
class TQxMask;
class TQxView;
class TStream;
class TMemoryStream;
class TBitmap;
class TImage;

// Kind of an undo or redo entry.
enum class TQxUndoSource : uint8_t {
  qxuUnknown = 0,
  qxuImage = 1,
  qxuSelection = 2,
  qxuObject = 3,
  qxuLayer = 4,
  qxuFullLayer = 5,
  qxuObjectsAndLayers = 6,
};

using TQxSaveUndoEvent = std::function<void(TObject* Sender, TQxUndoSource Source)>;
using TQxPreviewEvent = std::function<void(TObject* Sender, TComponent* PreviewForm)>;

enum class TPRPreviewsParamsItems : uint8_t { prppShowResetButton = 0, prppHardReset = 1 };
using TPRPreviewsParams = TSetOf<TPRPreviewsParamsItems>;

// What the component needs of a layered view (and of the vector view) for undo and selections. A view
// class implements it beside TQxView; the component finds it with dynamic_cast, so this library does not
// depend on the view library.
class TQxProcViewHost {
 public:
  virtual ~TQxProcViewHost() = default;

  // Layers. The record written by ProcWriteLayer starts with its 32-bit total length and the layer's
  // 16-byte identifier; ProcReadLayer reads such a record back into the layer.
  virtual int32_t ProcLayerCount() = 0;
  virtual int32_t ProcCurrentLayer() = 0;
  virtual TQxBitmap* ProcLayerBitmap(int32_t Index) = 0;
  virtual void ProcLayerId(int32_t Index, uint8_t Id[16]) = 0;
  virtual void ProcWriteLayer(int32_t Index, TStream* Stream, bool WithBitmap) = 0;
  virtual void ProcReadLayer(int32_t Index, TStream* Stream) = 0;
  // Whole layers file (compression -2) and back.
  virtual void ProcSaveLayers(TStream* Stream) = 0;
  virtual void ProcLoadLayers(TStream* Stream) = 0;

  // Selection.
  virtual void ProcSaveSelection(TStream* Stream) = 0;
  virtual void ProcLoadSelection(TStream* Stream, int32_t Mode) = 0;
  virtual TQxMask* ProcSelectionMask() = 0;
  virtual bool ProcSelected() = 0;
  virtual const TPoint* ProcPolySelPoints() = 0;
  virtual int32_t ProcPolySelCount() = 0;

  // Vector view only: objects, and objects with layers (compression -1).
  virtual bool ProcIsVectorView() { return false; }
  virtual void ProcSaveObjects(TStream* Stream) {}
  virtual void ProcLoadObjects(TStream* Stream) {}
  virtual void ProcSaveAll(TStream* Stream) {}
  virtual void ProcLoadAll(TStream* Stream) {}
};

// The processing unit's start and end steps (filter presets, the raw clipboard format), run by the
// library start-up.
void QxProcInit();
void QxProcFinal();
extern uint32_t QxRawClipboardFormat;

class TQuillotProc : public TComponent {
 public:
  // CreateWithOwner.
  explicit TQuillotProc(TComponent* AOwner = nullptr);
  // CreateForBitmap: no owner, AutoUndo off, working on Bitmap (not owned).
  static std::unique_ptr<TQuillotProc> CreateForBitmap(TQxBitmap* Bitmap);
  ~TQuillotProc() override;
  std::string ClassName() const override { return "TQuillotProc"; }

  // ---- attachment ----
  TQxView* AttachedQuillot() const { return attachedView_; }
  void SetAttachedQuillot(TQxView* Value);
  // A GUI image control whose picture bitmap the component works on.
  TImage* AttachedTImage() const { return attachedImage_; }
  void SetAttachedTImage(TImage* Value);
  void AttachBitmap(TQxBitmap* Bitmap);
  void SetWorkBitmap(TQxBitmap* Bitmap);
  TQxBitmap* WorkBitmap() const { return workBitmap_; }
  // Bitmap-change callback registered with the attached view.
  static void HandleViewChange(void* Data, TQxView* View, bool Destroying);

  // ---- properties ----
  bool AutoUndo() const { return autoUndo_; }
  void SetAutoUndo(bool Value) { autoUndo_ = Value; }
  TColor Background() const;
  void SetBackground(TColor Value);
  TMsgLanguage MsgLanguage() const { return msgLanguage_; }
  void SetMsgLanguage(TMsgLanguage Value) { msgLanguage_ = Value; }
  TPRPreviewsParams PreviewsParams() const { return previewsParams_; }
  void SetPreviewsParams(TPRPreviewsParams Value) { previewsParams_ = Value; }
  int32_t UndoLimit() const { return undoLimit_; }
  // Stored only; the stacks are trimmed when the next entry is pushed.
  void SetUndoLimit(int32_t Value) { undoLimit_ = Value; }
  bool AutoConvertFormat() const { return autoConvertFormat_; }
  void SetAutoConvertFormat(bool Value) { autoConvertFormat_ = Value; }
  // Where image snapshots keep their pixels: a temporary file (the default) or memory.
  TQxLocation SnapshotLocation() const { return snapshotLocation_; }
  void SetSnapshotLocation(TQxLocation Value) { snapshotLocation_ = Value; }

  TQxProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TQxSaveUndoEvent OnSaveUndo;
  TQxPreviewEvent OnPreview;

  // ---- undo and redo ----
  virtual bool CanUndo();
  virtual bool CanRedo();
  virtual int32_t UndoCount();
  virtual int32_t RedoCount();
  // Caption of the entry Index counted from the newest; Caption untouched outside the range.
  virtual void RedoCaption(int32_t Index, std::string& Caption);
  virtual void UndoCaption(int32_t Index, std::string& Caption);
  virtual void DoFinishWork();
  virtual void SaveUndo(TQxUndoSource Source = TQxUndoSource::qxuImage);
  virtual void SaveUndoCaptioned(const std::string& Caption, TQxUndoSource Source = TQxUndoSource::qxuImage);
  virtual void ClearLastUndo();
  virtual void ClearUndo();
  virtual void Undo(bool SaveRedoState = false);
  virtual void UndoAt(int32_t Index, bool SaveRedoState = false);
  virtual void SaveRedo(TQxUndoSource Source = TQxUndoSource::qxuImage);
  virtual void SaveRedoCaptioned(const std::string& Caption, TQxUndoSource Source = TQxUndoSource::qxuImage);
  virtual void ClearRedo();
  virtual void ClearLastRedo();
  virtual void Redo();
  virtual void RedoAt(int32_t Index);
  // Kind of undo entry Index counted from the oldest; qxuUnknown outside the range.
  TQxUndoSource UndoSourceOf(int32_t Index);
  // Frees undo entry Index counted from the newest.
  void DiscardUndo(int32_t Index);

  // ---- operation frame ----
  bool EnsurePixelFormat(TQxPixelFormatSet Accepted);
  bool BeginWork(TQxPixelFormatSet Accepted);
  void EndWork();
  // Work is WorkBitmap itself, or a new bitmap of the selection's bounding box that EndSelectionWork
  // copies back through the mask and frees.
  bool BeginSelectionWork(TQxPixelFormatSet Accepted, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2,
                          const std::string& Caption, TQxBitmap*& Work, TQxMask*& Mask);
  void EndSelectionWork(TQxBitmap* Work, TQxMask* Mask);
  virtual bool GetSelectionArea(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2, const TPoint*& PolyPoints,
                                int32_t& PolyCount, TQxMask*& Mask);

  // ---- geometry ----
  void ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HAlign = 0, uint8_t VAlign = 0,
                   int32_t FillAlpha = 255);
  void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
  void ResampleInto(TQxBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter);
  void Flip(int32_t Direction);
  void Rotate(double Angle, uint8_t AntiAlias = 1, uint8_t Quality = 0, TColor Background = -1);
  void Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
  void CropToRect(const TRect& R);
  void CropToOpaque();

  // ---- colour and pixel format ----
  void Clear();
  void ConvertToGray();
  void ConvertTo(int32_t Colors, bool Threshold);
  void ConvertToPalette(int32_t Colors, TQxRGB* Palette, bool Threshold);
  void ConvertToBWOrdered();
  void Fill(TQxRGB Color);
  void SetTransparentColors(TQxRGB MinColor, TQxRGB MaxColor, int32_t Alpha);

  // ---- wave ----
  void Wave(int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  struct Entry {
    std::unique_ptr<TQxBitmap> Snapshot;
    std::unique_ptr<TMemoryStream> Stream;
    TQxUndoSource Kind = TQxUndoSource::qxuUnknown;
    std::string Caption;
  };
  using Stack = std::vector<Entry>;

  TQxProcViewHost* Host() const;
  void Unregister();
  void DropOwnBitmap();
  void FetchViewBitmap();
  void Detach();
  void ForgetImage();
  bool SaveUndoEntry(TQxUndoSource Source);
  // Captures the present state of the kind onto the stack; false when nothing was pushed.
  bool Capture(Stack& Target, TQxUndoSource Source);
  void Push(Stack& Target, Entry&& E);
  void Restore(Entry& E);
  void RestoreLayers(TQxProcViewHost* AHost, TStream* Stream);

  bool autoUndo_;
  TQxView* attachedView_ = nullptr;
  void* changeHandle_ = nullptr;
  TColor ownBackground_ = 0;
  TMsgLanguage msgLanguage_ = TMsgLanguage::msSystem;
  TPRPreviewsParams previewsParams_{TPRPreviewsParamsItems::prppShowResetButton,
                                    TPRPreviewsParamsItems::prppHardReset};
  TQxBitmap* workBitmap_ = nullptr;
  bool ownsBitmap_ = true;
  TBitmap* vclBitmap_ = nullptr;
  TImage* attachedImage_ = nullptr;
  bool autoConvertFormat_ = true;
  TQxLocation snapshotLocation_ = TQxLocation::qxFile;
  int32_t undoLimit_ = 1;
  Stack undo_;
  Stack redo_;
};
