// Reads arbitrary bytes as a video file: opens it for frame access and grabs a few frames by index.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string Path = "/tmp/qv_fuzz_media_" + std::to_string(getpid()) + ".avi";
  if (FILE* F = std::fopen(Path.c_str(), "wb")) {
    std::fwrite(data, 1, size, F);
    std::fclose(F);
  }
  TQxBitmap B;
  TQuillotIO IO(&B);
  int32_t N = IO.OpenMediaFile(Path);
  for (int32_t K : {0, N / 2, N - 1}) IO.LoadMediaFrame(K);
  IO.CloseMediaFile();
  IO.LoadFromFile(Path);
  return 0;
}
