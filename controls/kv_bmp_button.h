#pragma once
// The bitmap button.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "controls/kv_buttons.h"

class TImageList;

// Button with a glyph that can stay down; buttons of one GroupIndex under one parent behave as a group.
class TKvBmpButton : public TKvButton {
 public:
  explicit TKvBmpButton(TComponent* AOwner);
  ~TKvBmpButton() override;
  std::string ClassName() const override { return "TKvBmpButton"; }
  bool Down() const { return FDown; }
  void SetDown(bool v);
  int32_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int32_t v);
  // The glyph drawn on the face (not owned when set through SetGlyph; the button keeps a copy).
  TBitmap* Glyph() const { return FGlyph.get(); }
  void SetGlyph(const TBitmap* v);
  void Click() override;

 protected:
  void PaintFace(TCanvas* C, const TRect& R, bool Pressed);
  bool FDown = false;
  int32_t FGroupIndex = 0;
  std::unique_ptr<TBitmap> FGlyph;
};

// Registers the published properties of these controls (idempotent; the constructors call it).
void RegisterKvBmpButtonProperties();
