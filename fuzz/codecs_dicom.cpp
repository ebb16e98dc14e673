// Reads arbitrary bytes as a DICOM file at every frame index, and feeds them to the lossless JPEG and RLE
// decoders on their own.
#include <vector>

#include "fuzz/io_common.inc"
#include "imaging/codecs/dicom.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    FuzzInput in(data, size);
    IsDicomStream(&in.Stream);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.ImageIndex = size ? data[size - 1] % 4 : 0;
    ReadDicomStream(&in.Stream, params, &bitmap, in.Progress, false);
  }
  // The decoders' frame must match the buffer; the seeds hold 6 x 6 gray and 10 x 4 RGB streams.
  struct Layout {
    int W, H, C;
    bool Words;
  };
  for (const Layout& l : {Layout{6, 6, 1, false}, Layout{6, 6, 1, true}, Layout{10, 4, 3, false}}) {
    FuzzInput in(data, size);
    std::vector<uint8_t> o8(size_t(l.W * l.H * l.C));
    std::vector<uint16_t> o16(o8.size());
    QxDicomLosslessJpeg(&in.Stream, l.Words ? o16.data() : nullptr, l.Words ? nullptr : o8.data(), int64_t(size), l.W,
                        l.H, l.C, {}, nullptr);
  }
  {
    FuzzInput in(data, size);
    std::vector<uint8_t> out(64);
    QxDicomUnpackRLE(&in.Stream, out.data(), int64_t(out.size()));
  }
  return 0;
}
