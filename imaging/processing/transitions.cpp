#include "imaging/processing/transitions.h"

#include "imaging/foundation/view_base.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/timer.h"

namespace {

std::unique_ptr<TBitmap> OnePixel() {
  auto b = std::make_unique<TBitmap>();
  b->SetWidth(1);
  b->SetHeight(1);
  b->SetPixelFormat(TPixelFormat::pf24bit);
  return b;
}

void Shrink(TBitmap* B) {
  B->SetWidth(1);
  B->SetHeight(1);
}

}  // namespace

TQxTransitionEffects::TQxTransitionEffects(TQxView* AView) : view_(AView) {
  fromBitmap_ = OnePixel();
  toBitmap_ = OnePixel();
  frameBitmap_ = OnePixel();
  // Held here rather than by the view, so that neither frees it under the other.
  timer_ = new TTimer(nullptr);
  timer_->SetEnabled(false);
  timer_->SetOnTimer([this](TObject* Sender) { TimerStep(Sender); });
  timer_->SetInterval(1);
}

TQxTransitionEffects::~TQxTransitionEffects() {
  delete timer_;
  timer_ = nullptr;
}

void TQxTransitionEffects::Stop() {
  if (!running_ || TransitionType == TQxTransitionType::qxttNone) return;
  timer_->SetEnabled(false);
  running_ = false;
  Shrink(frameBitmap_.get());
  Shrink(fromBitmap_.get());
  Shrink(toBitmap_.get());
  if (view_) {
    view_->DecPaintLock();
    if (UpdateOnStop) view_->Update();
  }
  if (OnTransitionStop) OnTransitionStop(view_);
}

void TQxTransitionEffects::TimerStep(TObject* Sender) {
  // Nothing starts a transition yet, so a tick never finds one running.
  if (!running_) return;
  if (OnTransitionStep) OnTransitionStep(view_, Step);
}
