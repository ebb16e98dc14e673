#include "controls/kv_action_links.h"

#include "controls/kv_checks.h"
#include "controls/kv_tool_button.h"

TKvCheckedActionLink::TKvCheckedActionLink(TControl* AClient)
    : TControlActionLink(AClient), FButton(dynamic_cast<TKvCustomGlyphButton*>(AClient)) {
  if (!FButton) throw EInvalidCast("Invalid class typecast");
}

bool TKvCheckedActionLink::IsCheckedLinked() {
  return TControlActionLink::IsCheckedLinked() && FButton->Checked() == CustomAction()->Checked();
}

void TKvCheckedActionLink::SetChecked(bool Value) {
  if (!IsCheckedLinked()) return;
  // The action already ran or is being set: the control's own click must not run it again.
  struct TRestore {
    TKvCustomGlyphButton* B;
    ~TRestore() { B->SetClicksSuppressed(false); }
  } restore{FButton};
  FButton->SetClicksSuppressed(true);
  FButton->SetChecked(Value);
}

TKvToolButtonActionLink::TKvToolButtonActionLink(TKvToolButton* AClient)
    : TControlActionLink(AClient), FButton(AClient) {}

bool TKvToolButtonActionLink::IsCheckedLinked() {
  return TControlActionLink::IsCheckedLinked() && FButton->Down() == CustomAction()->Checked();
}

bool TKvToolButtonActionLink::IsImageIndexLinked() {
  return TControlActionLink::IsImageIndexLinked() && FButton->ImageIndex() == CustomAction()->ImageIndex();
}

void TKvToolButtonActionLink::SetChecked(bool Value) {
  if (IsCheckedLinked()) FButton->SetDown(Value);
}

void TKvToolButtonActionLink::SetImageIndex(int32_t Value) {
  if (IsImageIndexLinked()) FButton->SetImageIndex(Value);
}
