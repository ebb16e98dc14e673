// TImage: shows a picture, stretched, centred or proportional.
#include "platform/ui/ext_ctrls.h"

#include <algorithm>

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FControlStyle.Include(csReplicatable);
  SetBounds(0, 0, 105, 105);
  FPicture->OnChange = [this](TPicture*) { Invalidate(); };
}

TImage::~TImage() = default;

void TImage::SetStretch(bool v) {
  if (v == FStretch) return;
  FStretch = v;
  Invalidate();
}
void TImage::SetCenter(bool v) {
  if (v == FCenter) return;
  FCenter = v;
  Invalidate();
}
void TImage::SetProportional(bool v) {
  if (v == FProportional) return;
  FProportional = v;
  Invalidate();
}
void TImage::SetTransparent(bool v) {
  if (v == FTransparent) return;
  FTransparent = v;
  if (FPicture->Graphic()) FPicture->Graphic()->SetTransparent(v);
  Invalidate();
}

TRect TImage::DestRect() const {
  TGraphic* g = FPicture->Graphic();
  int32_t cw = ClientWidth(), ch = ClientHeight();
  if (!g || g->Empty()) return Rect(0, 0, 0, 0);
  int32_t w = g->Width(), h = g->Height();
  if (FStretch || (FProportional && (w > cw || h > ch))) {
    if (FProportional && w > 0 && h > 0) {
      // Keep the aspect ratio inside the client area.
      if (int64_t(cw) * h > int64_t(ch) * w) {
        w = static_cast<int32_t>(int64_t(w) * ch / h);
        h = ch;
      } else {
        h = static_cast<int32_t>(int64_t(h) * cw / w);
        w = cw;
      }
    } else {
      w = cw;
      h = ch;
    }
  }
  TRect r = Rect(0, 0, w, h);
  if (FCenter) OffsetRect(r, (cw - w) / 2, (ch - h) / 2);
  return r;
}

void TImage::Paint() {
  TGraphic* g = FPicture->Graphic();
  if (!g || g->Empty()) return;
  g->Draw(Canvas(), DestRect());
}
