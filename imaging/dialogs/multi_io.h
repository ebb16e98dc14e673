#pragma once
// TQuillotMIO: the companion of a thumbnail view that keeps one parameter object per image of the view,
// in the view's order, and shows the save-parameters dialog for them.

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/foundation/types.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "platform/ui/component.h"

class TQuillotMView;
class TQxTWainParams;
class TQxWia;

class TQxView;
class TQxBitmap;
class TFont;

using TQxAfterAcquireBitmapEvent = std::function<void(TObject* Sender, int32_t index)>;

class TQuillotMIO : public TComponent {
 public:
  explicit TQuillotMIO(TComponent* AOwner = nullptr);
  ~TQuillotMIO() override;
  std::string ClassName() const override { return "TQuillotMIO"; }

  TQxView* AttachedMView() const { return FAttachedMView; }
  // Follows the view (nil detaches); non-thumbnail views are taken as nil.
  void SetAttachedMView(TQxView* Value);

  bool SimplifiedParamsDialogs = true;
  TMsgLanguage MsgLanguage = TMsgLanguage::msSystem;
  TIOPreviewsParams PreviewsParams;
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  void SetPreviewFont(const TFont* Value);
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  uint8_t BilevelMode = 1;
  TQxDialogsMeasureUnit DialogsMeasureUnit = TQxDialogsMeasureUnit::qxduInches;
  int32_t AcquireIndex = 0;

  TQxDoPreviewsEvent OnDoPreviews;
  TQxProgressEvent OnProgress;
  TQxAcquireBitmapEvent OnAcquireBitmap;
  TQxAfterAcquireBitmapEvent OnAfterAcquireBitmap;
  TNotifyEvent OnFinishWork;

  int32_t ImageCount() const { return static_cast<int32_t>(FFrames.size()); }
  // Nil for an index outside the list.
  TIOParamsVals* FrameParams(int32_t Index) const;
  void InsertFrameParams(int32_t Index);
  void DeleteFrameParams(int32_t Index);
  void MoveFrameParams(int32_t Index, int32_t NewIndex);
  // Out-of-range indexes raise EListError.
  void SwapFrameParams(int32_t A, int32_t B);

  // The save-parameters dialog for frame Index (-1: frame 0, then its save options go to every frame).
  bool DoPreviews(int32_t Index, TQxPreviewPages Pages);
  virtual void DoAcquireBitmap(TQxBitmap* Bitmap, TIOParamsVals*& Params);
  virtual void ResetAbort() { FAbortRequest = 0; }
  virtual void DoFinishWork();
  // The scanner object, made on first use; its transfers report their progress through OnProgress and
  // stop when Aborting is set.
  virtual TQxWia* GetWIAParams();
  bool WiaProgress(int32_t Percent);
  bool Aborting = false;
  TQxTWainParams* TWainParams() const { return FTWainParams.get(); }
  TIOPrintPreviewParams* PrintPreviewParams() const { return FPrintPreviewParams.get(); }
  void UpdateAttachedView();

  // Fills the thumbnail view's hooks so that views create and use this component.
  static void Register();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  static void ViewChanged(void* Data, TQxView* View, bool Destroying);
  TQuillotMView* MView() const;
  void Unregister();

  TQxView* FAttachedMView = nullptr;
  void* FCallback = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> FFrames;
  std::unique_ptr<TQxTWainParams> FTWainParams;
  std::unique_ptr<TQxWia> FWia;
  std::unique_ptr<TFont> FPreviewFont;
  int32_t FAbortRequest = 0;
  std::unique_ptr<TIOPrintPreviewParams> FPrintPreviewParams;
};
