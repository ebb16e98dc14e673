#pragma once
// A list of equally sized pictures drawn by index (tool buttons, menus).

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/component.h"

enum class TDrawingStyle : uint8_t { dsFocus, dsSelected, dsNormal, dsTransparent };
enum class TImageType : uint8_t { itImage, itMask };

// A listener of an image list: its OnChange runs whenever the list's pictures change.
class TChangeLink {
 public:
  TNotifyEvent OnChange;
};

class TCustomImageList : public TComponent {
 public:
  explicit TCustomImageList(TComponent* AOwner);
  ~TCustomImageList() override;
  std::string ClassName() const override { return "TCustomImageList"; }

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetWidth(int32_t v);
  void SetHeight(int32_t v);
  int32_t Count() const { return static_cast<int32_t>(FImages.size()); }
  TColor BkColor() const { return FBkColor; }
  void SetBkColor(TColor v) { FBkColor = v; }
  bool Masked() const { return FMasked; }
  void SetMasked(bool v) { FMasked = v; }

  // Adds a picture (cut into Width-wide pieces when wider); returns the first index.
  // Pixels of the mask colour (or alpha 0 in a 32-bit picture) are transparent.
  int32_t Add(const TBitmap* Image, const TBitmap* Mask = nullptr);
  int32_t AddMasked(const TBitmap* Image, TColor MaskColor);
  void Delete(int32_t Index);
  void Clear();
  void Replace(int32_t Index, const TBitmap* Image);
  // Copies picture Index into Image (32-bit with alpha).
  bool GetBitmap(int32_t Index, TBitmap* Image) const;
  // Draws picture Index with its top-left at (X, Y); disabled pictures are drawn grayed.
  void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled = true) const;
  void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, TDrawingStyle Style, TImageType Type,
            bool Enabled) const;

  TNotifyEvent OnChange;
  // Listeners besides OnChange (not owned; a listener unregisters before it goes).
  void RegisterChanges(TChangeLink* Link);
  void UnRegisterChanges(TChangeLink* Link);

 private:
  void Changed();
  std::vector<TChangeLink*> FLinks;
  int32_t FWidth = 16;
  int32_t FHeight = 16;
  TColor FBkColor = clNone;
  bool FMasked = true;
  // 0xAARRGGBB, top row first.
  std::vector<std::vector<uint32_t>> FImages;
};

class TImageList : public TCustomImageList {
 public:
  explicit TImageList(TComponent* AOwner) : TCustomImageList(AOwner) {}
  std::string ClassName() const override { return "TImageList"; }
};
