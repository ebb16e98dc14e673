// Reads arbitrary bytes as a PCX image and as a DCX file, writes back what it read and inserts a page into
// the bytes as a DCX.
#include "fuzz/io_common.inc"
#include "imaging/codecs/pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The whole input, and a length shorter than the stream as a DCX page would give.
  for (int64_t dataSize : {int64_t(size), int64_t(size / 2 + 64)}) {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    ReadPcxStream(&in.Stream, &bitmap, params, dataSize, in.Progress, false);
    if (!in.Aborting && !bitmap.IsEmpty() && bitmap.Width() * int64_t(bitmap.Height()) < 100000) {
      TMemoryStream out;
      WritePcxStream(&out, &bitmap, params, in.Progress);
    }
  }
  {
    FuzzInput in(data, size);
    IsDcxStream(&in.Stream);
    DcxPageCount(&in.Stream);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.DcxImageIndex = int32_t(size % 3);
    ReadDcxStream(&in.Stream, &bitmap, params, in.Progress, false);
  }
  {
    FuzzInput in(data, size);
    TQxBitmap page(3, 2, TQxPixelFormat::qx24RGB);
    page.Fill(0);
    TIOParamsVals params;
    params.DcxImageIndex = int32_t(size % 2);
    InsertDcxPage(&in.Stream, &page, params, in.Progress);
  }
  return 0;
}
