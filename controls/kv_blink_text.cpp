#include "controls/kv_blink_text.h"

TKvBlinkText::TKvBlinkText(TControl* Owner, TColor Normal) : FOwner(Owner), FNormal(Normal), FCurrent(Normal) {
  KvNeedBlinkingList()->RegisterControl(Owner);
}

TKvBlinkText::~TKvBlinkText() {
  if (KvBlinkingList) KvBlinkingList->UnregisterControl(FOwner);
  KvReleaseBlinkingList();
}

bool TKvBlinkText::SetBlinking(bool Value) {
  if (FBlinking == Value) return false;
  FBlinking = Value;
  if (Value) return false;
  FOn = false;
  FCurrent = FNormal;
  return true;
}

void TKvBlinkText::Renew(TColor FontColor) {
  FNormal = FontColor;
  if (!FBlinking) FCurrent = FontColor;
}

void TKvBlinkText::Show(bool On) {
  FOn = On;
  FCurrent = On ? FBlinkColor : FNormal;
}

uint16_t TKvBlinkText::IntervalOff() const { return KvBlinkingList ? uint16_t(KvBlinkingList->IntervalOff()) : 500; }
uint16_t TKvBlinkText::IntervalOn() const { return KvBlinkingList ? uint16_t(KvBlinkingList->IntervalOn()) : 500; }
void TKvBlinkText::SetIntervalOff(uint16_t Value) { KvNeedBlinkingList()->SetIntervalOff(Value); }
void TKvBlinkText::SetIntervalOn(uint16_t Value) { KvNeedBlinkingList()->SetIntervalOn(Value); }

bool TKvBlinkText::Answer(TMessage& M, const std::function<void(bool On)>& Show) const {
  if (M.Msg == KV_BLINK_QUERY) {
    M.Result = FBlinking ? 1 : 0;
    return true;
  }
  if (M.Msg != KV_BLINK) return false;
  if (FBlinking) Show(M.WParam != 0);
  return true;
}
