// Damaged and impossible raw files are refused with a reason, before any large allocation; a file cut short
// fails instead of showing its missing part as black.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "platform/base/streams.h"
#include "raw_builder.h"

using namespace rawtest;

namespace {

// A Nikon D70 file of 12-bit packed photosites whose raw directory states the given size; Rows rows of
// data are actually stored.
Bytes NikonStating(int Wide, int High, int Rows) {
  MsbBits b;
  for (int i = 0; i < Rows * Wide; ++i) b.Put(uint32_t(1000 + i % 700), 12);
  Bytes data = b.Finish();
  return MakeTiff(false, {{Entry::Ascii(0x10F, "NIKON CORPORATION"), Entry::Ascii(0x110, "NIKON D70"),
                           Entry::Short(262, 32803), Entry::Dir(0x14A, 1)},
                          {Entry::Long(0x100, uint32_t(Wide)), Entry::Long(0x101, uint32_t(High)),
                           Entry::Short(0x103, 1), Entry::Data(0x111, data)}});
}

// A Canon CIFF file: make and model, a sensor size record, and a sub-heap record that may point back at
// the heap itself (a loop the walk must end).
Bytes Ciff(int Wide, int High, bool SelfNested) {
  Writer w;
  w.Text("II", false);
  w.U32(26);
  w.Text("HEAPCCDR", false);
  w.PadTo(26);
  const std::string make = "Canon", model = "Canon PowerShot G2";
  Bytes names(make.begin(), make.end());
  names.push_back(0);
  names.insert(names.end(), model.begin(), model.end());
  names.resize(names.size() + 65, 0);
  Writer sizes;
  sizes.U16(0);
  sizes.U16(uint32_t(Wide));
  sizes.U16(uint32_t(High));
  const uint32_t namesAt = 0, sizesAt = uint32_t(names.size());
  const uint32_t table = sizesAt + uint32_t(sizes.Size()) + 64;
  Bytes heap = names;
  heap.insert(heap.end(), sizes.B.begin(), sizes.B.end());
  heap.resize(table, 0x55);  // a little sensor data
  Writer t;
  t.U16(SelfNested ? 3 : 2);
  t.U16(0x080A), t.U32(uint32_t(names.size())), t.U32(namesAt);
  t.U16(0x1031), t.U32(uint32_t(sizes.Size())), t.U32(sizesAt);
  if (SelfNested) t.U16(0x300A), t.U32(0), t.U32(0);  // the whole heap again, as its own sub-heap
  heap.insert(heap.end(), t.B.begin(), t.B.end());
  Writer end;
  end.U32(table);
  heap.insert(heap.end(), end.B.begin(), end.B.end());
  if (SelfNested) {
    // The sub-heap record covers the heap from its start: patch its length now that the size is known.
    const size_t rec = table + 2 + 20;
    const uint32_t whole = uint32_t(heap.size());
    for (int k = 0; k < 4; ++k) heap[rec + 2 + k] = uint8_t(whole >> (8 * k));
  }
  w.Append(heap);
  return w.B;
}

// The Phase One header: "MMMMRawT", then the sizes at fixed distances.
Bytes PhaseOne(uint32_t Wide, uint32_t High) {
  Writer w;
  w.Big = true;
  w.Text("MMMMRawT", false);
  w.U32(0);
  w.B.resize(w.B.size() + 136, 0);
  w.U32(Wide);
  w.B.resize(w.B.size() + 12, 0);
  w.U32(High);
  w.B.resize(w.B.size() + 400, 0x11);
  return w.B;
}

// A Kodak DC120 file whose sensor data is a JPEG of half the rows, stored with the bytes of every 16-bit pair
// exchanged.
Bytes Dc120() {
  TQxBitmap picture(848, 488, TQxPixelFormat::qx24RGB);
  for (int y = 0; y < 488; ++y)
    for (int x = 0; x < 848; ++x) {
      uint8_t* p = picture.Scanline(y) + 3 * x;
      p[0] = uint8_t(x / 4), p[1] = uint8_t(y / 2), p[2] = uint8_t((x + y) / 6);
    }
  TMemoryStream jpeg;
  TQuillotIO io(&picture);
  io.SaveJpegStream(jpeg);
  Bytes data(size_t(jpeg.Size()));
  jpeg.SetPosition(0);
  jpeg.Read(data.data(), int64_t(data.size()));
  for (size_t i = 0; i + 1 < data.size(); i += 2) std::swap(data[i], data[i + 1]);
  return MakeTiff(false, {{Entry::Ascii(0x10F, "Eastman Kodak Company"), Entry::Ascii(0x110, "Kodak DC120 ZOOM Digital Camera"),
                           Entry::Dir(0x14A, 1)},
                          {Entry::Short(0x100, 848), Entry::Short(0x101, 976), Entry::Short(0x103, 7),
                           Entry::Data(0x111, data)}});
}

// A Fuji FinePix S7000 file holding just what its loader reads: 3080 rows of 2048 little-endian 16-bit
// samples after a small header. Its turned grid needs a store of 3587 x 3588 cells, more cells than the
// file has bytes.
Bytes FujiS7000() {
  Bytes data;
  data.reserve(size_t(3080) * 2048 * 2);
  for (int row = 0; row < 3080; ++row)
    for (int col = 0; col < 2048; ++col) {
      const int v = 600 + (row * 7 + col * 3) % 3000;
      data.push_back(uint8_t(v));
      data.push_back(uint8_t(v >> 8));
    }
  return FujiFile("FinePix S7000", data);
}

struct Result {
  bool Aborted = false;
  std::string Error;
  int Width = 0;
};

Result Read(const Bytes& File, int64_t MaxPixels = QxDefaultMaxPixels) {
  QxRegisterFurtherCodecs();
  TMemoryStream s;
  s.Write(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  TQxBitmap bmp;
  TIOParamsVals p;
  p.MaxPixels = MaxPixels;
  std::atomic<bool> ab{false};
  TQxProgressInfo pr;
  pr.AbortFlag = &ab;
  ReadCameraRawStream(&s, &bmp, p, pr, false);
  return {bool(ab), p.ReadError, bmp.Width()};
}

TEST(CameraRawRefusals, DamagedAndImpossibleFilesGiveAReadError) {
  const Bytes whole = NikonStating(64, 40, 40), dc120 = Dc120();
  {
    const Result r = Read(dc120);  // the same file whole is read
    EXPECT_FALSE(r.Aborted) << r.Error;
    EXPECT_EQ(r.Width, 846);
  }
  {
    const Bytes fuji = FujiS7000();
    ASSERT_LT(fuji.size(), size_t(3587) * 3588);
    const Result r = Read(fuji);  // a sound file of a turned sensor is not taken for an impossible one
    EXPECT_FALSE(r.Aborted) << r.Error;
    EXPECT_GT(r.Width, 3000);
  }
  struct Case {
    const char* Name;
    Bytes File;
    int64_t MaxPixels;
    const char* Why;  // part of the error; nullptr: the file is read
  };
  const Case cases[] = {
      {"a sound file", whole, QxDefaultMaxPixels, nullptr},
      {"the same beyond the caller's pixel limit", whole, 64 * 40 - 1, "pixel limit"},
      {"11585 x 11585 stated in a small file", NikonStating(11585, 11585, 1), QxDefaultMaxPixels, "larger than its data"},
      {"65535 x 65535 stated in a CIFF heap", Ciff(65535, 65535, false), QxDefaultMaxPixels, "larger than its data"},
      {"a huge Phase One header", PhaseOne(60000, 60000), QxDefaultMaxPixels, "larger than its data"},
      {"a size no field can hold", PhaseOne(0x7FFFFFFF, 3), QxDefaultMaxPixels, "Camera RAW"},
      {"a heap nested in itself", Ciff(64, 48, true), QxDefaultMaxPixels, "Camera RAW"},
      {"sensor data cut at four fifths", Bytes(whole.begin(), whole.begin() + ptrdiff_t(whole.size() * 4 / 5)),
       QxDefaultMaxPixels, "ends before"},
      {"sensor data missing its last row", Bytes(whole.begin(), whole.end() - 100), QxDefaultMaxPixels, "ends before"},
      {"a JPEG-coded DC120 cut short", Bytes(dc120.begin(), dc120.begin() + ptrdiff_t(dc120.size() * 6 / 10)),
       QxDefaultMaxPixels, "ends before"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Result r = Read(c.File, c.MaxPixels);
    if (!c.Why) {
      EXPECT_FALSE(r.Aborted) << r.Error;
      EXPECT_EQ(r.Width, 62);
      continue;
    }
    EXPECT_TRUE(r.Aborted);
    EXPECT_NE(r.Error.find(c.Why), std::string::npos) << r.Error;
    EXPECT_EQ(r.Width, 0);  // the caller's bitmap is left as it was
  }
}

}  // namespace
