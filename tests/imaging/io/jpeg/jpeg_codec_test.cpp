// The codec's own rules: finding the image, scaling, resolution, markers, failures and progress.
#include "jpeg_test_util.h"

#include <cstring>

#include <lcms2.h>

#include "imaging/foundation/icc.h"
#include "imaging/foundation/metadata.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/jpeg_metadata.h"

using namespace jt;

namespace {

std::vector<uint8_t> EncodeToBytes(TQxBitmap* b, const std::function<void(TIOParamsVals&)>& setup = {}) {
  TIOParamsVals p;
  if (setup) setup(p);
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  TMemoryStream s;
  WriteJpegStream(&s, b, p, progress);
  EXPECT_FALSE(aborting);
  const auto* m = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(m, m + s.Size());
}

struct MemDecode {
  TQxBitmap Bitmap;
  TIOParamsVals Params;
  std::atomic<bool> Aborting{false};
  int32_t Rows = 0;
};

std::unique_ptr<MemDecode> DecodeBytes(const std::vector<uint8_t>& bytes,
                                       const std::function<void(TIOParamsVals&)>& setup = {},
                                       bool ParamsOnly = false) {
  auto d = std::make_unique<MemDecode>();
  if (setup) setup(d->Params);
  TMemoryStream s;
  if (!bytes.empty()) s.Write(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  TQxProgressInfo progress;
  progress.AbortFlag = &d->Aborting;
  d->Rows = ReadJpegStream(&s, nullptr, &d->Bitmap, d->Params, progress, ParamsOnly, false, true, false, true, true,
                           -1, false);
  return d;
}

std::vector<uint8_t> Small(int w = 32, int h = 24) {
  auto b = ToBitmap(Pattern(w, h));
  return EncodeToBytes(b.get());
}

// Rewrites the JFIF density of one of our files (the APP0 follows the SOI).
void SetDensity(std::vector<uint8_t>& j, uint8_t unit, uint16_t x, uint16_t y) {
  ASSERT_EQ(j[3], 0xE0);
  j[13] = unit;
  j[14] = uint8_t(x >> 8);
  j[15] = uint8_t(x);
  j[16] = uint8_t(y >> 8);
  j[17] = uint8_t(y);
}

std::vector<uint8_t> IccChunk(uint8_t seq, uint8_t count, const std::vector<uint8_t>& part) {
  std::vector<uint8_t> d = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, seq, count};
  d.insert(d.end(), part.begin(), part.end());
  return d;
}

}  // namespace

TEST(JpegCodec, ImageIsFoundWithin149LeadingBytesOnly) {
  const auto j = Small();
  for (size_t lead : {size_t(0), size_t(149), size_t(150)}) {
    std::vector<uint8_t> data(lead, 0x55);
    data.insert(data.end(), j.begin(), j.end());
    auto d = DecodeBytes(data);
    EXPECT_EQ(bool(d->Aborting), lead == 150) << lead;
    EXPECT_EQ(d->Rows, lead == 150 ? 0 : 24) << lead;
  }
  auto empty = DecodeBytes({});
  EXPECT_TRUE(empty->Aborting);
}

TEST(JpegCodec, AutomaticScaleAndParameterReads) {
  auto b = std::make_unique<TQxBitmap>(1000, 800, TQxPixelFormat::qx24RGB);
  b->Fill(0);
  const auto j = EncodeToBytes(b.get(), [](TIOParamsVals& p) { p.JpegQuality = 20; });
  const struct {
    int w, h, denom;
  } cases[] = {{100, 100, 8}, {300, 100, 2}, {2000, 2000, 1}, {0, 100, 1}};
  for (const auto& c : cases) {
    auto d = DecodeBytes(j, [&](TIOParamsVals& p) {
      p.JpegScale = 0;
      p.Width = c.w;
      p.Height = c.h;
    }, /*ParamsOnly=*/true);
    EXPECT_EQ(d->Params.JpegScaleUsed, c.denom) << c.w;
    // A parameter read reports the full size and leaves the bitmap alone.
    EXPECT_EQ(d->Params.Width, 1000);
    EXPECT_EQ(d->Params.Height, 800);
    EXPECT_TRUE(d->Bitmap.IsEmpty());
    EXPECT_EQ(d->Rows, 0);
  }
  auto scaled = DecodeBytes(j, [](TIOParamsVals& p) {
    p.JpegScale = 0;
    p.Width = 100;
    p.Height = 100;
  });
  EXPECT_EQ(scaled->Bitmap.Width(), 125);
  EXPECT_EQ(scaled->Bitmap.Height(), 100);
  EXPECT_EQ(scaled->Params.OriginalWidth, 1000);
}

TEST(JpegCodec, ResolutionFromJfifAndExif) {
  auto j = Small();
  struct Case {
    const char* what;
    uint8_t unit;
    uint16_t density;
    bool exif300;
    int dpi;
  } cases[] = {
      {"72 per inch", 1, 72, false, 72},
      {"aspect only, EXIF 300 per inch", 0, 1, true, 300},
      {"118 per centimetre", 2, 118, false, 299},
      {"JFIF 96 per inch wins over EXIF", 1, 96, true, 96},
  };
  for (const auto& c : cases) {
    auto data = j;
    SetDensity(data, c.unit, c.density, c.density);
    if (c.exif300) {
      // Resolution 300/1 for X and Y, unit inches.
      std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 3, 0,
                                   0x1A, 0x01, 5, 0, 1, 0, 0, 0, 50, 0, 0, 0,
                                   0x1B, 0x01, 5, 0, 1, 0, 0, 0, 50, 0, 0, 0,
                                   0x28, 0x01, 3, 0, 1, 0, 0, 0, 2, 0, 0, 0,
                                   0, 0, 0, 0, 44, 1, 0, 0, 1, 0, 0, 0};
      InsertSegment(data, 0xE1, exif, 20);
    }
    auto d = DecodeBytes(data);
    ASSERT_FALSE(d->Aborting) << c.what;
    EXPECT_EQ(d->Params.DpiX, c.dpi) << c.what;
    EXPECT_EQ(d->Params.DpiY, c.dpi) << c.what;
  }
}

TEST(JpegCodec, TruncatedDataDeliversRowsAndAborts) {
  auto b = ToBitmap(Pattern(64, 64));
  auto j = EncodeToBytes(b.get(), [](TIOParamsVals& p) { p.JpegQuality = 100; });
  j.resize(j.size() / 2);
  auto d = DecodeBytes(j);
  EXPECT_TRUE(d->Aborting);
  EXPECT_EQ(d->Bitmap.Width(), 64);
  // The rows before the cut came through as a whole decode gives them.
  auto whole = DecodeBytes(EncodeToBytes(b.get(), [](TIOParamsVals& p) { p.JpegQuality = 100; }));
  const Image got = FromBitmap(d->Bitmap), want = FromBitmap(whole->Bitmap);
  for (int x = 0; x < 64 * 3; ++x) EXPECT_EQ(got.px[x], want.px[x]);
  // A small file claiming a huge picture stops where its data ends instead of making up every row.
  auto big = Small();
  for (size_t i = 2; i + 9 < big.size(); ++i)
    if (big[i] == 0xFF && big[i + 1] == 0xC0) {
      big[i + 5] = 0x3E;  // 16000 x 16000
      big[i + 6] = 0x80;
      big[i + 7] = 0x3E;
      big[i + 8] = 0x80;
      break;
    }
  auto huge = DecodeBytes(big);
  EXPECT_TRUE(huge->Aborting);
  EXPECT_LT(huge->Rows, 64);
  for (size_t cut : {size_t(2), size_t(20), size_t(200)}) {
    auto c = DecodeBytes(std::vector<uint8_t>(j.begin(), j.begin() + cut));
    EXPECT_TRUE(c->Aborting) << cut;
  }
}

TEST(JpegCodec, MarkersKeptAndWrittenBack) {
  auto j = Small();
  // A second APP0, an APP14 of our own, two comments.
  InsertSegment(j, 0xFE, {'o', 'n', 'e'}, 20);
  InsertSegment(j, 0xE0, {'J', 'F', 'X', 'X', 0, 0x13}, 20);
  InsertSegment(j, 0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1}, 20);
  InsertSegment(j, 0xFE, {'t', 'w', 'o'}, 20);
  auto d = DecodeBytes(j);
  ASSERT_FALSE(d->Aborting);
  TQxMarkerList& m = *d->Params.JpegMarkers;
  ASSERT_EQ(m.Count(), 4);  // the first APP0 is the JFIF block and is not kept
  EXPECT_GE(m.IndexOf(0xE0), 0);
  TIOParamsVals& p = d->Params;
  p.JpegColorSpace = 2;
  const auto out = EncodeToBytes(&d->Bitmap, [&](TIOParamsVals& q) { q.JpegMarkers->AssignFrom(p.JpegMarkers.get()); });
  const auto codes = SegmentCodes(out);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xE0), 2);  // JFIF and the kept one
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xEE), 0);  // APP14 never comes from the list
  auto r = DecodeBytes(out);
  ASSERT_EQ(r->Params.JpegMarkers->Count(), 3);
  // Comments keep their order ("two" came first in the file).
  EXPECT_EQ(std::memcmp(r->Params.JpegMarkers->MarkerData(1), "two", 3), 0);
  EXPECT_EQ(std::memcmp(r->Params.JpegMarkers->MarkerData(2), "one", 3), 0);
}

TEST(JpegCodec, IccChunksJoinInSequenceOrderOnlyWhenComplete) {
  std::vector<uint8_t> raw(300);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = uint8_t(i * 13);
  auto part = [&](int i) { return std::vector<uint8_t>(raw.begin() + i * 100, raw.begin() + (i + 1) * 100); };
  struct Case {
    const char* what;
    std::vector<std::vector<uint8_t>> chunks;
    bool profile;
  } cases[] = {
      {"out of order", {IccChunk(3, 3, part(2)), IccChunk(1, 3, part(0)), IccChunk(2, 3, part(1))}, true},
      {"one missing", {IccChunk(1, 3, part(0)), IccChunk(3, 3, part(2))}, false},
      {"one repeated", {IccChunk(1, 3, part(0)), IccChunk(1, 3, part(0)), IccChunk(2, 3, part(1)), IccChunk(3, 3, part(2))}, false},
      {"sequence 0", {IccChunk(0, 1, part(0))}, false},
      {"header cut short", {std::vector<uint8_t>{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1}}, false},
  };
  for (const auto& c : cases) {
    auto j = Small();
    for (auto it = c.chunks.rbegin(); it != c.chunks.rend(); ++it) InsertSegment(j, 0xE2, *it, 20);
    auto d = DecodeBytes(j);
    ASSERT_FALSE(d->Aborting) << c.what;
    const bool has = d->Params.InputICC && d->Params.InputICC->RawLength() > 0;
    EXPECT_EQ(has, c.profile) << c.what;
    if (has) {
      ASSERT_EQ(d->Params.InputICC->RawLength(), 300);
      EXPECT_EQ(std::memcmp(d->Params.InputICC->RawData(), raw.data(), 300), 0);
    }
  }
}

TEST(JpegCodec, StreamLengthWalksSegmentsWithoutLooping) {
  auto j = Small();
  std::vector<uint8_t> data = j;
  data.insert(data.end(), 100, 0xAB);  // trailing bytes are not counted
  TMemoryStream s;
  s.Write(data.data(), int64_t(data.size()));
  s.SetPosition(0);
  EXPECT_EQ(JpegStreamLength(&s), int32_t(j.size()));
  EXPECT_EQ(s.Position(), 0);
  // Segment lengths of 0 and 1 move on rather than back.
  for (uint8_t len : {uint8_t(0), uint8_t(1)}) {
    const std::vector<uint8_t> bad = {0xFF, 0xD8, 0xFF, 0xE1, 0, len, 0xFF, 0xD9};
    TMemoryStream b;
    b.Write(bad.data(), int64_t(bad.size()));
    b.SetPosition(0);
    EXPECT_EQ(JpegStreamLength(&b), 8);
    auto d = DecodeBytes(bad);
    EXPECT_TRUE(d->Aborting);
  }
  TMemoryStream f;
  f.Write(j.data(), int64_t(j.size()));
  f.SetPosition(0);
  EXPECT_EQ(JpegFindSOI(&f, false), 0);
  f.SetPosition(1);
  EXPECT_EQ(JpegFindSOI(&f, false), -1);
  EXPECT_EQ(f.Position(), 1);
}

TEST(JpegCodec, EncoderFailures) {
  TQxBitmap empty;
  TIOParamsVals p;
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  TMemoryStream s;
  WriteJpegStream(&s, &empty, p, progress);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(s.Size(), 0);

  TQxBitmap wide(70000, 1, TQxPixelFormat::qx24RGB);
  aborting = false;
  try {
    WriteJpegStream(&s, &wide, p, progress);
    FAIL() << "no exception";
  } catch (const EQxJpegException& e) {
    EXPECT_STREQ(e.what(), "Maximum supported image dimension is ? pixels");
  }
  EXPECT_EQ(QxJpegMessageText(67), "Application transferred too few scanlines");
  EXPECT_EQ(QxJpegMessageText(1000), "Corrupted");
  EXPECT_EQ(QxJpegMessageText(-1), "Corrupted");
}

TEST(JpegCodec, ProgressRisesToOneHundred) {
  auto b = ToBitmap(Pattern(40, 200));
  std::vector<int32_t> seen;
  TIOParamsVals p;
  std::atomic<bool> aborting{false};
  TQxProgressInfo progress;
  progress.AbortFlag = &aborting;
  progress.OnProgress = [&](TObject*, int32_t per) { seen.push_back(per); };
  TMemoryStream s;
  WriteJpegStream(&s, b.get(), p, progress);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());  // reported only on a change

  // Aborting from the handler stops the encoder at the end of the row.
  TMemoryStream t;
  progress.OnProgress = [&](TObject*, int32_t per) {
    if (per >= 50) aborting = true;
  };
  WriteJpegStream(&t, b.get(), p, progress);
  EXPECT_TRUE(aborting);
}

TEST(JpegSaveMarkers, BlocksRebuiltFromTheParameters) {
  TIOParamsVals p;
  p.IPTC->SetModified(false);  // as after loading a file without IPTC data
  // A Photoshop block with a resolution resource, then an IPTC change.
  std::vector<uint8_t> ps = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0,
                             '8', 'B', 'I', 'M', 0x03, 0xED, 0, 0, 0, 0, 0, 16};
  ps.insert(ps.end(), 16, 0);
  ASSERT_TRUE(p.JpegMarkers->AddMarker(0xED, ps.data(), ps.size()));
  p.DpiX = 300;
  p.DpiY = 150;
  QxPrepareJpegMarkers(p);
  const uint8_t* res = p.JpegMarkers->MarkerData(0) + 26;
  EXPECT_EQ(res[0] << 8 | res[1], 300);
  EXPECT_EQ(res[8] << 8 | res[9], 150);

  p.IPTC->AddRecord(2, 5, 5, "title");
  QxPrepareJpegMarkers(p);
  ASSERT_EQ(p.JpegMarkers->Count(), 1);
  TQxIPTCInfoList back;
  ASSERT_TRUE(back.LoadFromBuffer(p.JpegMarkers->MarkerData(0), p.JpegMarkers->MarkerLength(0)));
  EXPECT_EQ(back.DatasetNumber(0), 5);
  p.IPTC->Clear();
  QxPrepareJpegMarkers(p);
  EXPECT_EQ(p.JpegMarkers->Count(), 0);

  // Blocks too long for a marker leave the file's own marker in place.
  p.XmpPacket = "<old/>";
  QxPrepareJpegMarkers(p);
  ASSERT_EQ(p.JpegMarkers->Count(), 1);
  p.XmpPacket.assign(70000, 'x');
  QxPrepareJpegMarkers(p);
  ASSERT_EQ(p.JpegMarkers->Count(), 1);
  EXPECT_EQ(p.JpegMarkers->MarkerLength(0), 29 + 6);
}

TEST(JpegThinInterface, DecodesRowsAndRaisesOnBadData) {
  auto b = ToBitmap(Pattern(40, 30));
  const auto j = EncodeToBytes(b.get());
  TMemoryStream s;
  s.Write(j.data(), int64_t(j.size()));
  s.SetPosition(0);
  jpeg_decompress_struct* c = JpegAllocDecompress();
  TQxJpegErrorManager* e = JpegCreateErrorManager(c);
  JpegCreateDecompress(c);
  JpegSetStreamSource(c, &s);
  EXPECT_EQ(JpegReadHeader(c, true), 1);  // a header with an image
  EXPECT_TRUE(JpegStartDecompress(c));
  EXPECT_EQ(JpegOutputWidth(c), 40);
  EXPECT_EQ(JpegOutputHeight(c), 30);
  EXPECT_EQ(JpegOutputComponents(c), 3);
  uint8_t** rows = JpegAllocSampleRows(c, 1, 40 * 3, 1);
  uint32_t total = 0;
  while (JpegOutputScanline(c) < 30) total += JpegReadScanlines(c, rows, 1);
  EXPECT_EQ(total, 30u);
  EXPECT_TRUE(JpegFinishDecompress(c));
  JpegDestroyDecompress(c);

  // The same context again on data that is no JPEG: the library's error arrives as an exception.
  const std::vector<uint8_t> junk(100, 0x42);
  TMemoryStream bad;
  bad.Write(junk.data(), int64_t(junk.size()));
  bad.SetPosition(0);
  JpegCreateDecompress(c);
  JpegSetStreamSource(c, &bad);
  EXPECT_THROW(JpegReadHeader(c, true), EQxJpegException);
  JpegDestroyDecompress(c);
  JpegFreeErrorManager(e);
  JpegFreeDecompress(c);
}

TEST(JpegCodec, ColourManagedDecodeDropsTheAppliedProfile) {
  // An sRGB profile in one APP2 chunk: decoding through it and the default sRGB keeps the colours.
  cmsHPROFILE h = cmsCreate_sRGBProfile();
  cmsUInt32Number n = 0;
  cmsSaveProfileToMem(h, nullptr, &n);
  std::vector<uint8_t> profile(n);
  cmsSaveProfileToMem(h, profile.data(), &n);
  cmsCloseProfile(h);
  auto b = ToBitmap(Pattern(32, 24));
  auto j = EncodeToBytes(b.get(), [](TIOParamsVals& p) { p.JpegQuality = 100; });
  InsertSegment(j, 0xE2, IccChunk(1, 1, profile), 20);
  auto plain = DecodeBytes(j);
  ASSERT_EQ(plain->Params.JpegMarkers->IndexOf(0xE2), 0);  // kept when nothing was converted
  QxColorManagement = true;
  auto managed = DecodeBytes(j);
  QxColorManagement = false;
  ASSERT_FALSE(managed->Aborting);
  ASSERT_TRUE(managed->Params.InputICC);
  EXPECT_TRUE(managed->Params.InputICC->Applied());
  EXPECT_EQ(managed->Params.JpegMarkers->IndexOf(0xE2), -1);
  EXPECT_LT(MeanDiff(FromBitmap(managed->Bitmap), FromBitmap(plain->Bitmap)), 1.0);
}

TEST(JpegCodec, ThumbnailRequestWithoutThumbnailDecodesThePicture) {
  std::vector<uint8_t> j(40, 0x00);  // data in front of the image stays skipped after the first pass
  const auto img = Small(32, 24);
  j.insert(j.end(), img.begin(), img.end());
  InsertSegment(j, 0xE1, ExifBody(6), 40 + 20);
  auto d = DecodeBytes(j, [](TIOParamsVals& p) { p.SetUseExifThumbnail(1); });
  ASSERT_FALSE(d->Aborting);
  EXPECT_EQ(d->Rows, 24);
  EXPECT_EQ(d->Bitmap.Width(), 32);
  EXPECT_EQ(d->Params.JpegUseExifThumbnail, 1);  // the request stays for the next load
  EXPECT_EQ(d->Params.ExifOrientation, 6);       // reported, not applied: auto-orientation is off
}
