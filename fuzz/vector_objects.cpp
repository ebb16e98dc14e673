// The vector-objects stream and the layers-and-objects container from arbitrary bytes: loaded into a view
// that keeps a few objects of its own (a refused stream must leave them whole), then drawn.
#include <cstddef>
#include <cstdint>

#include "imaging/foundation/bitmap.h"
#include "imaging/vector/vect.h"
#include "platform/base/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TQuillotVect* view = [] {
    auto* v = new TQuillotVect(nullptr);
    v->OffscreenMode = true;
    v->GetQxBitmap()->Allocate(64, 48, TQxPixelFormat::qx24RGB);
    return v;
  }();
  TMemoryStream s;
  if (Size > 1) s.WriteBuffer(Data + 1, int64_t(Size - 1));
  s.SetPosition(0);
  const bool all = Size > 0 && (Data[0] & 1);
  bool ok = false;
  try {
    ok = all ? view->LoadAllFromStream(&s) : view->LoadObjectsFromStream(&s);
  } catch (...) {
    // The layers part may raise on damaged compressed data; the view stays usable.
  }
  if (ok) {
    // What was read must draw and save without trouble.
    TQxBitmap b(40, 30, TQxPixelFormat::qx24RGB);
    view->DrawObjectsIntoBitmap(&b, (Data[0] & 2) != 0, -3);
    TMemoryStream out;
    view->SaveObjectsToStream(&out);
    view->ClearAllObjects();
  }
  return 0;
}
