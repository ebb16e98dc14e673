// The common base of the library's image views: what attached processing and I/O components reach
// through (the displayed bitmap, a paint lock, resolution, bitmap-change callbacks), and the scroll-bar
// and mouse-wheel settings the views own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/color.h"
#include "platform/ui/controls.h"

class TQxBitmap;
class TBitmap;
class TCanvas;
class TQxView;

// Library-wide default resolution, given to pictures whose file carries none.
extern int32_t QxDefaultDpiX;
extern int32_t QxDefaultDpiY;

// Called with Destroying False when the view's bitmap may have changed, and once with True when the view
// goes away (the view then frees the registration itself).
using TQxViewChangeCallback = std::function<void(void* Data, TQxView* View, bool Destroying)>;

class TQxView : public TCustomControl {
 public:
  explicit TQxView(TComponent* AOwner);
  ~TQxView() override;
  std::string ClassName() const override { return "TQxView"; }

  TColor Background() const { return FBackground; }
  virtual void SetBackground(TColor Value);
  // Stores the colour without the virtual setter.
  void StoreBackground(TColor Value) { FBackground = Value; }

  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  void SetCtl3D(bool Value) override;

  int32_t DpiX() const { return FDpiX; }
  int32_t DpiY() const { return FDpiY; }
  virtual void SetDpiX(int32_t Value);
  virtual void SetDpiY(int32_t Value);
  virtual void SetDpi(int32_t X, int32_t Y);

  virtual TBitmap* GetTBitmap() { return nullptr; }
  virtual TQxBitmap* GetQxBitmap() { return nullptr; }
  // Left to the views; the base raises an abstract-method error.
  virtual TQxBitmap* GetAlphaChannel();
  virtual bool HasAlphaChannel();
  virtual void RemoveAlphaChannel(bool Merge);
  virtual void IncPaintLock();
  virtual int32_t DecPaintLockAndUpdate();
  virtual int32_t DecPaintLock();

  virtual void DoImageChange() {}
  virtual void NotifyBitmapChange();

  // Returns a handle for RemoveBitmapChangeCallback. The same callback may be registered twice.
  void* AddBitmapChangeCallback(TQxViewChangeCallback Callback, void* Data);
  // A null handle or one not registered here is ignored.
  void RemoveBitmapChangeCallback(void* Handle);
  int32_t BitmapChangeCallbackCount() const { return static_cast<int32_t>(FCallbacks.size()); }

  TCanvas* GetPaintCanvas() { return Canvas(); }

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;

  TColor FBackground;
  TBorderStyle FBorderStyle = TBorderStyle::bsSingle;
  int32_t FDpiX = 0;
  int32_t FDpiY = 0;

 private:
  struct CallbackRecord {
    TQxViewChangeCallback Callback;
    void* Data;
  };
  std::vector<std::unique_ptr<CallbackRecord>> FCallbacks;
  // Bumped whenever the list changes, so a walk notices removals made by a callback.
  uint64_t FCallbackGeneration = 0;
};

class TQxScrollBarParams {
 public:
  int32_t LineAmount = -1;  // -1: the view's default line amount
  int32_t PageAmount = -1;  // -1: a whole page
  bool LiveTracking = true;
};

class TQxMouseWheelParams {
 public:
  uint8_t ReverseDirection = 0;
  uint8_t WheelAction = 2;  // 0 nothing, 1 scroll, 2 zoom
  uint8_t StepKind = 1;     // 0 absolute step, 1 percentage
  int32_t StepSize = 8;
  uint8_t ZoomAtCursor = 0;
};

// The platform scroll-bar calls; Flat selects the flat-scroll-bar variants (drawn the same here).
void QxSetScrollBar(TWinControl* Window, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Position,
                    bool Redraw, bool Flat);
void QxSetScrollRange(TWinControl* Window, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat);
void QxSetScrollPos(TWinControl* Window, int32_t Bar, int32_t Position, bool Redraw, bool Flat);
void QxEnableScrollBar(TWinControl* Window, int32_t Bar, uint32_t Arrows, bool Flat);
void QxShowScrollBar(TWinControl* Window, int32_t Bar, bool Show, bool Flat);
