// Linked into every test binary. Each test process works in its build folder and keeps its scratch files
// in a folder of its own there, removed when it ends, so a test run leaves the source tree and /tmp as it
// found them whoever starts it and from wherever. Outside tools a test runs inherit the same folder.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct TTestScratch {
  std::filesystem::path Dir;
  TTestScratch() {
    namespace fs = std::filesystem;
    std::error_code E;
    fs::current_path(QV_TEST_BINARY_DIR, E);
    Dir = fs::path(QV_TEST_BINARY_DIR) / ("scratch-" + std::to_string(::getpid()));
    fs::create_directories(Dir, E);
    ::setenv("TMPDIR", Dir.c_str(), 1);
    ::setenv("TEST_TMPDIR", Dir.c_str(), 1);
  }
  ~TTestScratch() {
    std::error_code E;
    std::filesystem::remove_all(Dir, E);
  }
};

TTestScratch Scratch;

}  // namespace
