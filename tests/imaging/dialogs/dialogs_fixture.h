#pragma once
// Shared set-up of the dialog tests: the headless back end, every codec, the dialogs' hooks, a
// temporary folder with pictures, and the outside tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "imaging/codecs/codecs.h"
#include "imaging/dialogs/dialogs_init.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/quillot_io.h"
#include "platform/ui/backends/headless/headless.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"

namespace qvdlg {

namespace fs = std::filesystem;

inline bool HaveTool(const std::string& Tool) {
  return std::system(("command -v " + Tool + " >/dev/null 2>&1").c_str()) == 0;
}
inline bool HavePillow() { return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0; }
inline int Shell(const std::string& Cmd) { return std::system(("( " + Cmd + " ) >/dev/null 2>&1").c_str()); }
// The first line a command prints.
inline std::string Output(const std::string& Cmd) {
  std::string out;
  if (FILE* p = popen(Cmd.c_str(), "r")) {
    char buf[4096];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

// A 24-bit picture with gradients and hard edges.
// Seed < 0 gives a smooth picture that compresses to little.
inline void FillPicture(TQxBitmap& B, int32_t W, int32_t H, int32_t Seed = 0) {
  B.Allocate(W, H, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < H; ++y) {
    auto* p = reinterpret_cast<TQxRGB*>(B.Scanline(y));
    for (int32_t x = 0; x < W; ++x)
      p[x] = Seed < 0 ? TQxRGB{uint8_t((x / 64) * 25), uint8_t((y / 32) * 16), 128}
                      : TQxRGB{uint8_t((x * 7 + y * 3 + Seed) & 0xFF), uint8_t((y * 11 + Seed * 5) & 0xFF),
                               uint8_t(((x ^ y) * 5) & 0xFF)};
  }
}

// The position of a control in its form's client area.
inline TPoint FormPos(TControl* C) {
  TPoint p = Point(0, 0);
  for (TControl* c = C; c && !dynamic_cast<TCustomForm*>(c); c = c->Parent()) p.X += c->Left(), p.Y += c->Top();
  return p;
}

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Headless::Use();
    QxRegisterFurtherCodecs();
    QxRegisterDialogs();
    std::string tmplPath = (std::filesystem::temp_directory_path() / "qv_dialogs_XXXXXX").string();
    char* tmpl = tmplPath.data();
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Dir = tmpl;
  }
  void TearDown() override {
    Application->ProcessMessages();
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  // Writes a picture through our own writer, by the name's extension.
  std::string WritePicture(const std::string& Name, int32_t W, int32_t H, int32_t Seed = 0) {
    TQxBitmap b;
    FillPicture(b, W, H, Seed);
    TQuillotIO io(&b);
    std::string path = (Dir / Name).string();
    io.SaveToFile(path);
    return path;
  }
  // Where screenshots go: beside the test program, in the build tree.
  static std::string ShotPath(const std::string& Name) {
    std::error_code ec;
    fs::path dir = fs::read_symlink("/proc/self/exe", ec).parent_path() / "screenshots";
    fs::create_directories(dir, ec);
    return (dir / Name).string();
  }
  fs::path Dir;
};

}  // namespace qvdlg
