#include <gtest/gtest.h>

#include "imaging/foundation/mask.h"
#include "imaging/io/bmp_codec.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/png_codec.h"
#include "imaging/io/pnm_codec.h"
#include "imaging/io/quillot_io.h"
#include "io_test_util.h"

using namespace qvio;

TEST(Registry, LookupsByExtensionAndId) {
  QxInitFileFormats();
  for (const char* e : {".JPG", "jpg", "Jpg", "jpeg"}) {
    ASSERT_NE(QxFileFormatByExtension(e), nullptr) << e;
    EXPECT_EQ(QxFileFormatByExtension(e)->FormatId, qxffJPEG) << e;
  }
  EXPECT_EQ(QxFileFormatByExtension(""), nullptr);
  EXPECT_EQ(QxFileFormatByExtension("win"), nullptr);
  EXPECT_EQ(QxFileFormatByExtension("pix")->FormatId, qxffTGA);
  EXPECT_EQ(QxFileFormatExtension(qxffTIFF, 0), "TIF");
  EXPECT_EQ(QxFileFormatExtension(qxffTIFF, 6), "");
  EXPECT_EQ(QxFileFormatExtensionCount(qxffRawBitmap), 0);
  EXPECT_EQ(QxFileFormatExtensionCount(qxffRAW), 13);
  EXPECT_EQ(QxFileFormatByType(qxffCUR)->WriteRoutine, nullptr);
  EXPECT_EQ(QxFileFormatByType(qxffAVI), nullptr);
  // Formats registered at run time come after the built-ins; a duplicate id is found only by extension.
  auto e = std::make_unique<TQxFileFormatInfo>();
  e->FormatId = 100;
  e->ExtensionList = "XYZ;JPG";
  int32_t idx = QxRegisterFileFormat(std::move(e));
  EXPECT_EQ(QxFileFormatAt(idx)->FormatId, 100);
  EXPECT_EQ(QxFileFormatByExtension("xyz")->FormatId, 100);
  EXPECT_EQ(QxFileFormatByExtension("jpg")->FormatId, qxffJPEG);
  QxUnregisterFileFormat(100);
  EXPECT_EQ(QxFileFormatByType(100), nullptr);
  // Without an LZW decoder the GIF entry cannot be read.
  QxUpdateGifFormatCapability();
  EXPECT_EQ(QxFileFormatByType(qxffGIF)->ReadRoutine, nullptr);
  QxInitFileFormats();
}

namespace {

// One small file of each format this library writes, as bytes.
std::vector<std::pair<TQxFileFormatId, std::vector<uint8_t>>> SampleFiles() {
  auto src = MakeRGB(12, 9);
  std::vector<std::pair<TQxFileFormatId, std::vector<uint8_t>>> out;
  TestProgress pr;
  {
    TIOParamsVals p;
    TMemoryStream s;
    WritePngStream(s, *src, p, pr.Info, nullptr);
    out.emplace_back(qxffPNG, BytesOf(s));
  }
  {
    TIOParamsVals p;
    TMemoryStream s;
    WriteBmpStream(s, *src, p, false, pr.Info);
    out.emplace_back(qxffBMP, BytesOf(s));
  }
  {
    TIOParamsVals p;
    TMemoryStream s;
    WriteIcoStream(s, *src, p, pr.Info, {{12, 9}}, {24});
    out.emplace_back(qxffICO, BytesOf(s));
    auto cur = BytesOf(s);
    cur[2] = 2;
    out.emplace_back(qxffCUR, cur);
  }
  {
    TIOParamsVals p;
    TMemoryStream s;
    WritePxmStream(s, *src, p, pr.Info);
    out.emplace_back(qxffPXM, BytesOf(s));
  }
  return out;
}

}  // namespace

TEST(Detection, FindsContentWithWrongExtensionAndRestoresPosition) {
  QxInitFileFormats();
  std::string d = TempDir();
  for (auto& [id, bytes] : SampleFiles()) {
    // At a position P > 0 inside a larger stream, detection answers and leaves P.
    std::vector<uint8_t> padded(7, 0xEE);
    padded.insert(padded.end(), bytes.begin(), bytes.end());
    auto s = StreamOf(padded);
    s->SetPosition(7);
    EXPECT_EQ(QxFindStreamFormat(*s), id);
    EXPECT_EQ(s->Position(), 7);
    // By file, with a lying extension: found without the extension check, refused with it.
    std::string f = d + "/sample" + std::to_string(id) + ".tga";
    WriteFile(f, bytes);
    EXPECT_EQ(QxFindFileFormat(f, false), id);
    // With the check, a known other extension refuses the content, except that it names icons and cursors.
    EXPECT_EQ(QxFindFileFormat(f, true), id == qxffICO || id == qxffCUR ? qxffTGA : 0);
    // The component loads it by content.
    TQuillotIO io;
    io.LoadFromFileDetected(f);
    EXPECT_FALSE(io.Aborting) << id;
    EXPECT_EQ(io.WorkBitmap()->Width(), 12) << id;
    EXPECT_EQ(io.Params->FileType, id);
  }
  // Icon content: the extension decides between icon and cursor, and any other known extension overrides.
  auto samples = SampleFiles();
  WriteFile(d + "/i.cur", samples[2].second);
  WriteFile(d + "/i.bmp", samples[2].second);
  EXPECT_EQ(QxFindFileFormat(d + "/i.cur", true), qxffCUR);
  EXPECT_EQ(QxFindFileFormat(d + "/i.bmp", true), qxffBMP);
  EXPECT_EQ(QxFindFileFormat(d + "/missing.png", false), 0);
  EXPECT_EQ(QxFindFileFormat("", false), 0);
}

TEST(Detection, ShortStreamsNeverMatch) {
  // Short reads never match a signature: every prefix of a real file, at every length.
  for (auto& [id, bytes] : SampleFiles()) {
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(8), size_t(14), size_t(22)}) {
      std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size())));
      auto s = StreamOf(part);
      TQxFileFormatId got = QxFindStreamFormat(*s);
      EXPECT_EQ(s->Position(), 0);
      // Up to the length each signature test needs, nothing may match.
      const size_t need = id == qxffPNG ? 8 : (id == qxffBMP ? 14 : (id == qxffPXM ? 0 : 22));
      if (n <= need) {
        EXPECT_NE(got, id) << id << " at " << n;
      }
    }
  }
  auto ten = StreamOf({'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_NE(QxFindStreamFormat(*ten), qxffBMP);
  auto avi = StreamOf({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' ', 0, 0, 0, 0});
  EXPECT_TRUE(IsAviStream(*avi));
  EXPECT_EQ(avi->Position(), 0);
}
