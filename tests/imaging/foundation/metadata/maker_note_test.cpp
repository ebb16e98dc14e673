// Maker notes by device layout: where the directory starts, its byte order, where its data offsets count from,
// and the same note written back at another place.
#include <gtest/gtest.h>

#include <functional>
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
