#pragma once
// TImage: a windowless control that shows a picture.

#include <memory>

#include "platform/graphics/picture.h"
#include "platform/ui/controls.h"

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  ~TImage() override;
  std::string ClassName() const override { return "TImage"; }

  TPicture* Picture() const { return FPicture.get(); }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v);
  bool Center() const { return FCenter; }
  void SetCenter(bool v);
  bool Proportional() const { return FProportional; }
  void SetProportional(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  // Where the picture lands in the client area.
  TRect DestRect() const;

 protected:
  void Paint() override;

 private:
  std::unique_ptr<TPicture> FPicture;
  bool FStretch = false;
  bool FCenter = false;
  bool FProportional = false;
  bool FTransparent = false;
};
