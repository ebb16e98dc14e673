// Reads arbitrary bytes as a video file: opens it for frame access and grabs a few frames by index.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"

namespace {
// The media reader opens files by name: one scratch file per process, removed when the run ends. The
// name is kept in plain storage so that it outlives every static object the exit handler may follow.
char GScratch[4096];
void RemoveScratch() { std::remove(GScratch); }
const std::string& ScratchPath() {
  static const std::string Path = [] {
    const char* T = std::getenv("TMPDIR");
    std::string P = std::string(T && *T ? T : "/tmp") + "/qv_fuzz_media_" + std::to_string(getpid()) + ".avi";
    std::snprintf(GScratch, sizeof GScratch, "%s", P.c_str());
    std::atexit(RemoveScratch);
    return P;
  }();
  return Path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& Path = ScratchPath();
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
