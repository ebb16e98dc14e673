// Reads arbitrary bytes as a GIF: parameters only, the first and the second frame with and without mask,
// natively and converted; then counts and drops frames of the same bytes on disk.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz/io_common.inc"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (QxRegisterGifCodec(), true);
  (void)registered;
  for (int round = 0; round < 4; ++round) {
    FuzzInput in(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.GifImageIndex = round / 2;
    params.NativePixelFormat = uint8_t(round & 1);
    TQxMask* mask = nullptr;
    int32_t frames = 0;
    try {
      ReadGifStream(&in.Stream, &bitmap, frames, params, in.Progress, round == 3, mask, round == 2);
    } catch (const Exception&) {
    }
    delete mask;
  }
  char name[] = "/tmp/fuzz_gif_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return 0;
  const bool written = size == 0 || write(fd, data, size) == static_cast<ssize_t>(size);
  close(fd);
  if (written) {
    try {
      GifRemoveFrame(name, -1, false);
      GifRemoveFrame(name, 0, true);
      GifRemoveFrame(name, -1, false);
    } catch (const Exception&) {
    }
  }
  std::remove(name);
  return 0;
}
