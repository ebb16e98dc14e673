// The I/O component's PSD members reach the view's layers through these hooks: the component sits below
// the view and knows its layers only as a list.
#include "imaging/view/psd_layers_io.h"

#include <algorithm>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/layer.h"
#include "imaging/view/view.h"

namespace {

void ClearViewLayers(TQxView* View) {
  if (auto* v = dynamic_cast<TQuillotView*>(View)) v->ClearLayers();
}

// A single layer's alpha, placed where the layer lies on the picture and cut to the picture's size.
void TakeSingleLayerAlpha(TQxLayer* Layer, TQxBitmap* Bitmap) {
  if (!Layer->Bitmap || !Layer->Bitmap->HasAlphaChannel() || Bitmap->IsEmpty()) return;
  TQxBitmap Alpha;
  Alpha.AssignFrom(Layer->Bitmap->GetAlphaChannel());
  if (Alpha.Width() != Bitmap->Width() || Alpha.Height() != Bitmap->Height()) {
    if (Layer->PosX > 0 || Layer->PosY > 0)
      Alpha.ResizeCanvas(Alpha.Width() + std::max(0, Layer->PosX), Alpha.Height() + std::max(0, Layer->PosY), 0, 0, 2, 2);
    Alpha.ResizeCanvas(Bitmap->Width(), Bitmap->Height(), 0, 0, 0, 0);
  }
  Bitmap->GetAlphaChannel()->AssignFrom(&Alpha);
}

void TakePsdLayers(TQxView* View, TList& Records, TQxBitmap* Bitmap, TIOParamsVals& Params) {
  const int32_t n = Records.Count();
  auto record = [&](int32_t i) { return static_cast<TQxLayer*>(Records[i]); };
  auto* view = dynamic_cast<TQuillotView*>(View);
  if (Params.PsdLoadLayers && view && n > 0) {
    int32_t a = Params.PsdReplaceLayers ? 0 : view->AddLayer();
    // A first layer off the origin lies over a transparent base of the picture's size.
    if (record(0)->PosX != 0 || record(0)->PosY != 0) {
      TQxLayer* base = view->GetLayer(a);
      base->ResetProperties();
      base->Locked = true;
      if (base->Bitmap->Allocate(Params.Width, Params.Height, TQxPixelFormat::qx24RGB))
        base->Bitmap->GetAlphaChannel()->Fill(0);
      a = view->AddLayer();
    }
    view->GetLayer(a)->CopyPropertiesFrom(record(0));
    for (int32_t i = 1; i < n; ++i) view->GetLayer(view->AddLayer())->CopyPropertiesFrom(record(i));
    view->SetCurrentLayer(0);
  } else if (n == 1 && !Params.UseExifThumbnail && Bitmap) {
    TakeSingleLayerAlpha(record(0), Bitmap);
  }
  for (int32_t i = 0; i < n; ++i) delete record(i);
  Records.Clear();
}

bool PsdSaveLayers(TQxView* View, TQxBitmap& Merged, TList& Layers) {
  auto* view = dynamic_cast<TQuillotView*>(View);
  // A view of one layer saves its picture as a plain file, as it always has.
  if (!view || view->LayerCount() < 2) return false;
  TQxBitmap* base = view->GetLayer(0)->Bitmap;
  if (!Merged.Allocate(base->Width(), base->Height(), TQxPixelFormat::qx24RGB)) return false;
  Merged.Fill(view->Background());
  view->DrawLayersTo(&Merged);
  Merged.SetLocation(TQxLocation::qxMemory);
  const TQxPixelFormat format = base->PixelFormat();
  if (Merged.PixelFormat() != format) Merged.SetPixelFormat(format);
  for (TQxLayer* l : view->LayerList()) Layers.Add(l);
  return true;
}

}  // namespace

void QxInstallPsdLayerHooks() {
  TQxIOViewHooks& h = QxIOViewHooks();
  h.ClearLayers = ClearViewLayers;
  h.TakePsdLayers = TakePsdLayers;
  h.PsdSaveLayers = PsdSaveLayers;
}
