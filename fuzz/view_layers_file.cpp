// Loading a layers file from arbitrary bytes into a view without a window.
#include <cstddef>
#include <cstdint>

#include "imaging/view/view.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TQuillotView* view = [] {
    auto* v = new TQuillotView(nullptr);
    v->OffscreenMode = true;
    return v;
  }();
  TMemoryStream s;
  if (Size) s.WriteBuffer(Data, int64_t(Size));
  s.SetPosition(0);
  try {
    view->LoadLayersFromStream(&s);
  } catch (...) {
    // Damaged compressed data raises; the view stays usable.
  }
  return 0;
}
