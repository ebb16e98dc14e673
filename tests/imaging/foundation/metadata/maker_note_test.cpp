// Maker notes by device layout: where the directory starts, its byte order, where its data offsets count from,
// and the same note written back at another place.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/tiff_tags.h"
#include "platform/base/streams.h"

namespace {

// A note: Prefix, then a directory of one ASCII entry whose 8 bytes of text follow the directory; the
// entry's offset is Offset(position of the text inside the note).
std::vector<uint8_t> Note(const std::string& Prefix, bool Le, const std::function<uint32_t(uint32_t)>& Offset) {
  std::vector<uint8_t> v(Prefix.begin(), Prefix.end());
  auto put = [&](uint32_t V, int Bytes) {
    for (int i = 0; i < Bytes; ++i) v.push_back(uint8_t(V >> (8 * (Le ? i : Bytes - 1 - i))));
  };
  const uint32_t text = uint32_t(v.size()) + 2 + 12 + 4;
  put(1, 2);
  put(0x0101, 2);
  put(2, 2);
  put(8, 4);
  put(Offset(text), 4);
  put(0, 4);
  for (char c : std::string("ABCDEFG")) v.push_back(uint8_t(c));
  v.push_back(0);
  return v;
}

// The text the note's one entry holds after loading, "" when its data was dropped.
std::string TextOf(TQxTagsHandler& H) {
  if (H.EntryCount() != 1) return "?";
  const uint8_t* e = H.Entries().data();
  const uint32_t count = e[4] | e[5] << 8 | e[6] << 16 | uint32_t(e[7]) << 24;
  const uint32_t value = e[8] | e[9] << 8 | e[10] << 16 | uint32_t(e[11]) << 24;
  if (count == 0) return "";
  const auto* ts = static_cast<const uint8_t*>(H.TagStream().Memory());
  return std::string(reinterpret_cast<const char*>(ts + value), count - 1);
}

}  // namespace

TEST(MakerNote, DevicesDecideLayoutByteOrderAndOffsetBase) {
  const uint32_t at = 300;  // where the note stands in its TIFF structure
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    bool ExifLe;
    int Row;
    std::string Text;
  };
  const std::string fuji("FUJIFILM\x0C\0\0\0", 12), nikon("Nikon\0\x02\x10\0\0", 10);
  const std::string nikonMM = nikon + std::string("MM\0\x2A\0\0\0\x08", 8);
  const std::vector<Case> cases = {
      // IFD 12 bytes into the note, offsets from the note's start, little-endian whatever the EXIF order.
      {"FUJIFILM", Note(fuji, true, [](uint32_t t) { return t; }), false, 8, "ABCDEFG"},
      // Embedded big-endian header: the IFD at 18, offsets from the header at 10.
      {"Nikon type 3", Note(nikonMM, false, [](uint32_t t) { return t - 10; }), true, 3, "ABCDEFG"},
      // No signature, big-endian EXIF: offsets from the TIFF structure's start.
      {"unknown, big-endian", Note("", false, [&](uint32_t t) { return t + at; }), false, 0, "ABCDEFG"},
      {"Sony", Note(std::string("SONY DSC \0\0\0", 12), true, [&](uint32_t t) { return t + at; }), true, 2, "ABCDEFG"},
      // Data outside the note: the entry keeps its tag and type, with count and value 0.
      {"offset outside", Note("", true, [](uint32_t) { return 5; }), true, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TQxTagsHandler h;
    h.LoadFromBuffer(c.Data.data(), int64_t(c.Data.size()), at, c.ExifLe);
    EXPECT_EQ(h.Device().Signature, QxMakerNoteDevices[c.Row].Signature);
    ASSERT_EQ(h.EntryCount(), 1);
    EXPECT_EQ(TextOf(h), c.Text);
    if (c.Text.empty()) continue;
    // Written at another place of another structure and read back from there: the same text.
    TMemoryStream s;
    const std::vector<uint8_t> pad(77, 0);
    s.WriteBuffer(pad.data(), int64_t(pad.size()));
    const int64_t n = h.SaveToStream(s);
    ASSERT_GT(n, 0);
    const auto* m = static_cast<const uint8_t*>(s.Memory());
    TQxTagsHandler back;
    back.LoadFromBuffer(m + 77, n, 77, true);
    EXPECT_EQ(back.Device().Signature, h.Device().Signature);
    EXPECT_EQ(TextOf(back), c.Text);
  }
}

TEST(MakerNote, UnreadableAndOversizedNotes) {
  // More than 256 entries: no directory, the raw bytes are kept and written back as they are.
  std::vector<uint8_t> many = {0x01, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  TQxTagsHandler h;
  h.LoadFromBuffer(many.data(), int64_t(many.size()), 0, true);
  EXPECT_EQ(h.EntryCount(), 0);
  TMemoryStream s;
  EXPECT_EQ(h.SaveToStream(s), int64_t(many.size()));
  // A note whose rewritten form passes 65000 bytes writes nothing and leaves the position.
  std::vector<uint8_t> big = {1, 0, 0x01, 0x01, 7, 0, 0xF0, 0xFF, 0, 0, 18, 0, 0, 0, 0, 0, 0, 0};
  big.resize(18 + 0xFFF0, 'x');
  TQxTagsHandler b;
  b.LoadFromBuffer(big.data(), int64_t(big.size()), 0, true);
  ASSERT_EQ(b.EntryCount(), 1);
  TMemoryStream t;
  t.WriteBuffer("abc", 3);
  EXPECT_EQ(b.SaveToStream(t), 0);
  EXPECT_EQ(t.Position(), 3);
}

// The page editor on files of ImageMagick: a big-endian two-page TIFF read and written back is the same
// picture to libtiff; one page can be written alone; tags copy only between files of one byte order.
TEST(TiffHandler, RewritesPagesAndCopiesTagsOfOneByteOrder) {
  if (std::system("command -v convert >/dev/null && command -v tiffcmp >/dev/null && command -v tiffinfo >/dev/null"))
    GTEST_SKIP() << "ImageMagick or libtiff tools missing";
  std::string tmplPath = (std::filesystem::temp_directory_path() / "qvtags_XXXXXX").string();
  char* tmpl = tmplPath.data();
  const std::string d = mkdtemp(tmpl);
  ASSERT_EQ(std::system(("cd " + d + " && convert -size 21x13 gradient:red-blue -size 21x13 xc:green -define tiff:endian=msb "
                         "-compress lzw -set comment Hello two.tif && convert -size 5x5 xc:white -define tiff:endian=lsb le.tif")
                            .c_str()),
            0);
  TQxTIFFHandler h;
  ASSERT_TRUE(h.LoadFromFile(d + "/two.tif"));
  EXPECT_TRUE(h.BigEndian());
  EXPECT_EQ(h.Version(), 42);
  ASSERT_EQ(h.PageCount(), 2);
  h.WriteFile(d + "/all.tif", 5);
  EXPECT_EQ(std::system(("tiffcmp " + d + "/two.tif " + d + "/all.tif >/dev/null").c_str()), 0);
  h.WriteFile(d + "/second.tif", 1);
  TQxTIFFHandler second;
  ASSERT_TRUE(second.LoadFromFile(d + "/second.tif"));
  EXPECT_TRUE(second.BigEndian());
  ASSERT_EQ(second.PageCount(), 1);
  EXPECT_EQ(std::system(("tiffinfo " + d + "/second.tif >/dev/null 2>&1").c_str()), 0);
  // Tags of every directory come out in ascending order.
  for (const auto& e : second.Page(0)->Entries) EXPECT_GE(e.Tag, second.Page(0)->Entries.front().Tag);
  for (size_t i = 1; i < second.Page(0)->Entries.size(); ++i)
    EXPECT_LT(second.Page(0)->Entries[i - 1].Tag, second.Page(0)->Entries[i].Tag);
  // A tag from a little-endian file into a big-endian one: nothing is copied.
  TQxTIFFHandler le;
  ASSERT_TRUE(le.LoadFromFile(d + "/le.tif"));
  le.SetTagValue(*le.Page(0), 65000, 7, 4);  // a private tag
  const int32_t before = int32_t(h.Page(0)->Entries.size());
  h.CopyTag(0, le.FindTag(0, 65000), le, 0);
  EXPECT_EQ(int32_t(h.Page(0)->Entries.size()), before);
  EXPECT_EQ(h.FindTag(0, 65000), -1);
  // Between files of one byte order the tag arrives, and libtiff reads the file with it.
  TQxTIFFHandler le2;
  ASSERT_TRUE(le2.LoadFromFile(d + "/le.tif"));
  le2.CopyTag(0, le.FindTag(0, 65000), le, 0);
  le2.WriteFile(d + "/le2.tif", -1);
  EXPECT_EQ(std::system(("tiffcmp " + d + "/le.tif " + d + "/le2.tif >/dev/null 2>&1").c_str()), 0);
  TQxTIFFHandler le3;
  ASSERT_TRUE(le3.LoadFromFile(d + "/le2.tif"));
  EXPECT_EQ(le3.GetTagValue(*le3.Page(0), 65000, 0), 7);
}

namespace {

// A little-endian TIFF whose first directory at offset 8 holds Entries (tag, type, count, value).
std::unique_ptr<TMemoryStream> CraftedTiff(const std::vector<std::array<uint32_t, 4>>& Entries, size_t FileSize) {
  std::vector<uint8_t> f(std::max<size_t>(FileSize, 8 + 2 + Entries.size() * 12 + 4), 0);
  auto put16 = [&](size_t At, uint32_t V) { f[At] = uint8_t(V), f[At + 1] = uint8_t(V >> 8); };
  auto put32 = [&](size_t At, uint32_t V) { put16(At, V & 0xFFFF), put16(At + 2, V >> 16); };
  f[0] = f[1] = 'I';
  put16(2, 42);
  put32(4, 8);
  put16(8, uint32_t(Entries.size()));
  for (size_t i = 0; i < Entries.size(); ++i) {
    const size_t at = 10 + i * 12;
    put16(at, Entries[i][0]);
    put16(at + 2, Entries[i][1]);
    put32(at + 4, Entries[i][2]);
    put32(at + 8, Entries[i][3]);
  }
  auto s = std::make_unique<TMemoryStream>();
  s->WriteBuffer(f.data(), int64_t(f.size()));
  s->SetPosition(0);
  return s;
}

}  // namespace

// Small files built to expand: each directory is read once, and the whole load stays within the file.
TEST(TiffHandler, CraftedFilesDoNotExpand) {
  // 4000 strips that all cover the same 64 KB: refused rather than loaded 4000 times.
  constexpr uint32_t kSize = 65536, kStrips = 4000;
  std::vector<uint8_t> offsets(kStrips * 4), counts(kStrips * 4);
  auto strips = CraftedTiff({{256, 3, 1, 16}, {257, 3, 1, 16}, {273, 4, kStrips, 100}, {279, 4, kStrips, 100 + kStrips * 4}},
                            kSize);
  for (uint32_t k = 0; k < kStrips; ++k) {
    const uint32_t off = 8, len = kSize - 8;
    std::memcpy(offsets.data() + k * 4, &off, 4);
    std::memcpy(counts.data() + k * 4, &len, 4);
  }
  strips->SetPosition(100);
  strips->WriteBuffer(offsets.data(), int64_t(offsets.size()));
  strips->WriteBuffer(counts.data(), int64_t(counts.size()));
  strips->SetPosition(0);
  TQxTIFFHandler h;
  EXPECT_FALSE(h.ReadFromStream(*strips));
  EXPECT_EQ(h.PageCount(), 0);

  // A 398-byte directory whose 32 EXIF pointers all point back at itself: read once, the pointers dropped.
  std::vector<std::array<uint32_t, 4>> loops(32, std::array<uint32_t, 4>{34665, 4, 1, 8});
  auto self = CraftedTiff(loops, 0);
  ASSERT_EQ(self->Size(), 398);
  TQxTIFFHandler l;
  ASSERT_TRUE(l.ReadFromStream(*self));
  ASSERT_EQ(l.PageCount(), 1);
  EXPECT_TRUE(l.Page(0)->Entries.empty());

  // A plain EXIF pointer still gives its sub-directory.
  TQxTIFFHandler ok;
  auto plain = CraftedTiff({{256, 3, 1, 2}, {257, 3, 1, 2}, {34665, 4, 1, 50}}, 60);
  ASSERT_TRUE(ok.ReadFromStream(*plain));
  ASSERT_EQ(ok.PageCount(), 1);
  const int32_t exif = ok.FindTag(0, 34665);
  ASSERT_GE(exif, 0);
  EXPECT_NE(ok.Page(0)->Entries[size_t(exif)].Sub, nullptr);
}
