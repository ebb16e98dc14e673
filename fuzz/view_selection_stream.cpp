// Reading a selection stream from arbitrary bytes, in each restore mode.
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/bitmap.h"
#include "imaging/view/view.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TQuillotView* view = [] {
    auto* v = new TQuillotView(nullptr);
    v->OffscreenMode = true;
    v->CurrentBitmap()->Allocate(40, 30, TQxPixelFormat::qx24RGB);
    v->UpdateView();
    return v;
  }();
  if (Size < 1) return 0;
  TMemoryStream s;
  s.WriteBuffer(Data + 1, int64_t(Size - 1));
  s.SetPosition(0);
  view->LoadSelectionFromStream(&s, Data[0] % 3);
  return 0;
}
