#include "controls/kv_bmp_button.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/kv_first_cut.h"
#include "platform/base/numeric.h"
#include "platform/base/strings.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/imglist.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

using namespace kvfirst;

TKvBmpButton::TKvBmpButton(TComponent* AOwner) : TKvButton(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 32, 32);
}

TKvBmpButton::~TKvBmpButton() = default;

void TKvBmpButton::SetGlyph(const TBitmap* v) {
  if (!v) {
    FGlyph.reset();
  } else {
    FGlyph = std::make_unique<TBitmap>();
    FGlyph->Assign(*v);
    FGlyph->SetTransparent(v->Transparent());
  }
  Invalidate();
}

void TKvBmpButton::SetGroupIndex(int32_t v) { FGroupIndex = v; }

void TKvBmpButton::SetDown(bool v) {
  if (FDown == v) return;
  // A grouped button is released only by another of its group going down.
  FDown = v;
  if (v && FGroupIndex != 0 && Parent()) {
    for (int32_t i = 0; i < Parent()->ControlCount(); ++i) {
      auto* b = dynamic_cast<TKvBmpButton*>(Parent()->Controls(i));
      if (b && b != this && b->FGroupIndex == FGroupIndex && b->FDown) {
        b->FDown = false;
        b->Invalidate();
      }
    }
  }
  Invalidate();
}

void TKvBmpButton::Click() {
  if (FGroupIndex != 0) SetDown(true);
  TKvButton::Click();
}

void TKvBmpButton::PaintFace(TCanvas* C, const TRect& R, bool Pressed) {
  if (FDown) {
    Gradient(C, R, kHot2, kHot1);
    C->Brush()->SetColor(kFrame);
    C->FrameRect(R);
  }
  int32_t off = (Pressed || FDown) ? 1 : 0;
  if (FGlyph && !FGlyph->Empty()) {
    int32_t x = (R.Width() - FGlyph->Width()) / 2 + off;
    int32_t y = (R.Height() - FGlyph->Height()) / 2 + off;
    C->Draw(x, y, FGlyph.get());
  } else {
    (void)Pressed;
  }
}


void RegisterKvBmpButtonProperties() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterOtherProperty<TKvBmpButton>("Down", TTypeKind::tkEnumeration);
  RegisterIntegerProperty<TKvBmpButton>("GroupIndex", [](TKvBmpButton* c, int64_t v) { c->SetGroupIndex(int32_t(v)); });
}
