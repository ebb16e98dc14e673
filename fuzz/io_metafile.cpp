// Plays arbitrary bytes as a WMF or EMF onto a small canvas, at the picture's own size when it is small
// and at a fixed size otherwise, and through the I/O component with its alpha pass.
#include "fuzz/io_common.inc"
#include "imaging/io/metafile.h"
#include "imaging/io/quillot_io.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TQxMetafile mf;
  if (!mf.LoadFromBytes(std::vector<uint8_t>(data, data + size))) return 0;
  int32_t w = mf.Width(), h = mf.Height();
  if (w <= 0 || h <= 0 || w > 256 || h > 256) w = h = 64;
  TBitmap target(w, h, TPixelFormat::pf24bit);
  mf.Play(*target.Canvas(), TRect(0, 0, w, h));
  FuzzInput in(data, size);
  TQxBitmap bitmap;
  TQuillotIO io(&bitmap);
  io.ImportMetafileStream(in.Stream, 48, 32, true);
  return 0;
}
