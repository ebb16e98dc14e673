#pragma once
// The frames of a multi-image file as a row of thumbnails: one is selected, arrows and clicks choose,
// and playing shows the frames one after another at their delays.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/io/params.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/controls.h"

class TTimer;
class TQxBitmap;

class TQxFrameStrip : public TCustomControl {
 public:
  explicit TQxFrameStrip(TComponent* AOwner);
  ~TQxFrameStrip() override;
  std::string ClassName() const override { return "TQxFrameStrip"; }

  int32_t ThumbWidth = 175;
  int32_t ThumbHeight = 189;
  int32_t HorizBorder = 4;
  int32_t VertBorder = 4;
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;

  void ClearImages();
  // One entry per image of the file, each with the parameters it was read with; returns the count.
  int32_t FillFromMultiImageFile(const std::string& FileName);
  int32_t ImageCount() const { return static_cast<int32_t>(FFrames.size()); }
  int32_t SelectedImage() const { return FSelected; }
  void SelectImage(int32_t Index);
  void MoveSelection(bool First);
  // The parameters of frame Index (nil outside the range).
  TIOParamsVals* FrameParams(int32_t Index);
  // The full picture of the selected frame (nil when none).
  TQxBitmap* SelectedPicture();
  bool Playing() const { return FPlaying; }
  void SetPlaying(bool Value);

  std::function<void(TObject* Sender, int32_t Index)> OnImageSelect;
  TNotifyEvent OnAllDisplayed;
  std::function<void(TObject* Sender, int32_t Percent)> OnProgress;

 protected:
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void Dispatch(TMessage& Message) override;

 private:
  struct TFrame {
    std::unique_ptr<TQxBitmap> Picture;
    std::unique_ptr<TBitmap> Thumb;
    std::unique_ptr<TIOParamsVals> Params;
  };
  TRect CellRect(int32_t Index) const;
  void NextFrame();
  std::vector<TFrame> FFrames;
  int32_t FSelected = -1;
  int32_t FFirstShown = 0;
  bool FPlaying = false;
  TTimer* FTimer = nullptr;
};

// A picture scaled to fit W x H (kept in proportion) as a 24-bit bitmap.
std::unique_ptr<TBitmap> QxThumbnailOf(TQxBitmap* Picture, int32_t W, int32_t H);
