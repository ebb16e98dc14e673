#pragma once
// Action links of the controls that carry a checked state: check and radio buttons take the
// action's Checked without firing their click; tool buttons take Checked into Down and the
// action's image index into ImageIndex.

#include <string>

#include "platform/base/exceptions.h"
#include "platform/ui/actions.h"

class TKvCustomGlyphButton;
class TKvToolButton;

// A link was made for a client of the wrong class.
class EInvalidCast : public Exception {
 public:
  explicit EInvalidCast(std::string Msg) : Exception(std::move(Msg)) {}
};

class TKvCheckedActionLink : public TControlActionLink {
 public:
  // Raises EInvalidCast unless AClient is a glyph button.
  explicit TKvCheckedActionLink(TControl* AClient);
  bool IsCheckedLinked() override;
  void SetChecked(bool Value) override;

 private:
  TKvCustomGlyphButton* FButton;
};

class TKvToolButtonActionLink : public TControlActionLink {
 public:
  explicit TKvToolButtonActionLink(TKvToolButton* AClient);
  bool IsCheckedLinked() override;
  bool IsImageIndexLinked() override;
  void SetChecked(bool Value) override;
  void SetImageIndex(int32_t Value) override;

 private:
  TKvToolButton* FButton;
};
