#pragma once
// TGraphic, the base of every picture kind, and TPicture, which holds one of them.
#include <functional>
#include <memory>

#include "platform/base/types.h"
#include "platform/graphics/color.h"

class TCanvas;
class TBitmap;

class TGraphic {
 public:
  TGraphic() = default;
  TGraphic(const TGraphic&) = delete;
  TGraphic& operator=(const TGraphic&) = delete;
  virtual ~TGraphic() = default;

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual void SetWidth(int32_t Value) = 0;
  virtual void SetHeight(int32_t Value) = 0;
  virtual bool Empty() const = 0;
  // Draws the whole picture stretched into Rect; Transparent pictures leave their transparent colour out.
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) const = 0;
  // Copies Source when it is a kind this class understands; false otherwise.
  virtual bool Assign(const TGraphic* Source) = 0;
  // A fresh picture of the same class and content.
  virtual std::unique_ptr<TGraphic> Clone() const = 0;

  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);

  std::function<void(TGraphic* Sender)> OnChange;

 protected:
  void Changed();
  bool FTransparent = false;
};

class TPicture {
 public:
  TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;
  ~TPicture();

  // The held picture, or nil.
  TGraphic* Graphic() const { return FGraphic.get(); }
  // Stores a copy of Value (nil empties the picture).
  void SetGraphic(const TGraphic* Value);
  // Takes Value over.
  void SetGraphic(std::unique_ptr<TGraphic> Value);
  // The held picture as a bitmap; an empty bitmap replaces a picture of another kind.
  TBitmap* Bitmap();
  void Assign(const TPicture* Source);
  int32_t Width() const;
  int32_t Height() const;

  std::function<void(TPicture* Sender)> OnChange;

 private:
  void Changed();
  void Attach();
  std::unique_ptr<TGraphic> FGraphic;
};
