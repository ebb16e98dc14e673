// The caller's pixel limit, checked by every reader before it allocates, on files written by other tools.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/io/quillot_io.h"
#include "tests/imaging/io/io_test_util.h"

using namespace qvio;

namespace {

struct Registered : ::testing::Environment {
  void SetUp() override { QxRegisterFurtherCodecs(); }
};
const auto* const GEnv = ::testing::AddGlobalTestEnvironment(new Registered);

}  // namespace

TEST(PixelLimit, EveryReaderRefusesOnePixelPastTheLimitAndLoadsAtIt) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is missing";
  const std::string d = TempDir();
  ASSERT_EQ(Shell("cd '" + d + "' && convert -size 8x6 gradient:red-blue src.ppm"), 0);
  struct Case {
    const char* file;
    std::string make;  // in the temporary directory, from src.ppm (8 x 6)
  };
  std::vector<Case> cases = {
      {"a.bmp", "convert src.ppm a.bmp"},          {"a.png", "convert src.ppm a.png"},
      {"a.jpg", "convert src.ppm a.jpg"},          {"a.gif", "convert src.ppm a.gif"},
      {"a.tif", "convert src.ppm a.tif"},          {"z.tif", "convert src.ppm -compress zip z.tif"},
      {"a.pcx", "convert src.ppm a.pcx"},          {"a.dcx", "convert src.ppm a.dcx"},
      {"a.tga", "convert src.ppm a.tga"},          {"a.psd", "convert src.ppm a.psd"},
      {"a.ico", "convert src.ppm a.ico"},          {"a.wbmp", "convert src.ppm a.wbmp"},
      {"a.pgm", "convert src.ppm a.pgm"},          {"a.ppm", "cp src.ppm a.ppm"},
      {"a.jp2", "opj_compress -n 2 -i src.ppm -o a.jp2"},
      {"a.dcm", "convert src.ppm a.jpg && img2dcm a.jpg a.dcm"},
      {"a.wdp", "convert src.ppm a.bmp && JxrEncApp -i a.bmp -o a.wdp -q 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    if (Shell("cd '" + d + "' && " + c.make) != 0) {
      std::printf("skipped %s: the outside tool could not write it\n", c.file);
      continue;
    }
    for (int64_t limit : {int64_t(8 * 6 - 1), int64_t(8 * 6)}) {
      TQxBitmap target;
      TQuillotIO io(&target);
      io.Params->MaxPixels = limit;
      try {
        io.LoadFromFile(d + "/" + c.file);
      } catch (const std::exception&) {
        io.Aborting = true;
      }
      EXPECT_EQ(io.Aborting.load(), limit < 8 * 6) << limit;
      if (limit == 8 * 6) {
        EXPECT_EQ(target.Width(), 8);
        EXPECT_EQ(target.Height(), 6);
      }
    }
  }
}
