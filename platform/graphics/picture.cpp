#include "platform/graphics/picture.h"

#include "platform/graphics/bitmap.h"

void TGraphic::SetTransparent(bool Value) {
  if (Value != FTransparent) {
    FTransparent = Value;
    Changed();
  }
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Attach() {
  if (FGraphic) FGraphic->OnChange = [this](TGraphic*) { Changed(); };
}

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(const TGraphic* Value) {
  SetGraphic(Value ? Value->Clone() : std::unique_ptr<TGraphic>());
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value) {
  FGraphic = std::move(Value);
  Attach();
  Changed();
}

TBitmap* TPicture::Bitmap() {
  auto* B = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!B) {
    FGraphic = std::make_unique<TBitmap>();
    Attach();
    B = static_cast<TBitmap*>(FGraphic.get());
    Changed();
  }
  return B;
}

void TPicture::Assign(const TPicture* Source) { SetGraphic(Source ? Source->Graphic() : nullptr); }

int32_t TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
int32_t TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }
