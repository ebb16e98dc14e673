// Reads arbitrary bytes as a layered document (merged picture, layers, native formats) and writes what it
// read back.
#include "fuzz/io_common.inc"
#include "imaging/codecs/psd.h"
#include "imaging/view/layer.h"
#include "platform/base/lists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int variant = 0; variant < 3; ++variant) {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.NativePixelFormat = uint8_t(variant != 1);
    params.UseExifThumbnail = uint8_t(variant == 2);
    TList list;
    ReadPsdStream(&in.Stream, &bitmap, params, in.Progress, variant != 0, variant != 0 ? &list : nullptr);
    std::vector<std::unique_ptr<TQxLayer>> owned;
    int64_t pixels = bitmap.IsEmpty() ? 0 : bitmap.Width() * int64_t(bitmap.Height());
    for (int32_t i = 0; i < list.Count(); ++i) {
      owned.emplace_back(static_cast<TQxLayer*>(list.Items(i)));
      TQxBitmap* b = owned.back()->Bitmap;
      pixels += b->Width() * int64_t(b->Height());
    }
    if (!in.Aborting && !bitmap.IsEmpty() && pixels < 100000) {
      TMemoryStream out;
      TList layers;
      for (auto& l : owned) layers.Add(l.get());
      std::atomic<bool> abort{false};
      TQxProgressInfo pr;
      pr.AbortFlag = &abort;
      WritePsdStream(&out, params, pr, &bitmap, &layers);
    }
  }
  return 0;
}
