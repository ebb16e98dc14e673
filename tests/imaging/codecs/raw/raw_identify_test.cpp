// Identification: every container kind, maker and model normalisation, and the camera table's edge cases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/codecs.h"
#include "imaging/io/file_formats.h"
#include "raw_fixture.h"

using namespace rawtest;

namespace {

// A TIFF raw file: Make, Model and a raw sub-directory of the given size.
Bytes TiffRaw(const std::string& Make, const std::string& Model, int Wide, int High, int Compression = 1,
              std::vector<Entry> More = {}, std::vector<Entry> SubMore = {}, bool Big = false) {
  std::vector<Entry> ifd0 = {Entry::Short(0x100, 64), Entry::Short(0x101, 48), Entry::Ascii(0x10F, Make),
                             Entry::Ascii(0x110, Model), Entry::Short(262, 32803), Entry::Dir(0x14A, 1)};
  ifd0.insert(ifd0.end(), More.begin(), More.end());
  std::vector<Entry> sub = {Entry::Short(0x100, uint32_t(Wide)), Entry::Short(0x101, uint32_t(High)),
                            Entry::Short(0x103, uint32_t(Compression)),
                            Entry::Data(0x111, Bytes(size_t(Wide) * High * 2 + 64, 0x11))};
  sub.insert(sub.end(), SubMore.begin(), SubMore.end());
  return MakeTiff(Big, {ifd0, sub});
}

// A CIFF heap: records of type and data; data of a sub-heap record is a heap itself.
Bytes Heap(const std::vector<std::pair<uint16_t, Bytes>>& Records, const Bytes& Lead = {}) {
  Writer w;
  w.Append(Lead);
  std::vector<std::pair<uint32_t, uint32_t>> at;
  for (const auto& r : Records) {
    at.push_back({uint32_t(w.Size()), uint32_t(r.second.size())});
    w.Append(r.second);
  }
  const uint32_t table = uint32_t(w.Size());
  w.U16(uint32_t(Records.size()));
  for (size_t i = 0; i < Records.size(); ++i) {
    w.U16(Records[i].first);
    w.U32(at[i].second);
    w.U32(at[i].first);
  }
  w.U32(table);
  return w.B;
}

Bytes CiffFile(const Bytes& HeapBytes) {
  Writer w;
  w.Text("II", false);
  w.U32(26);
  w.Text("HEAPCCDR", false);
  w.PadTo(26);
  w.Append(HeapBytes);
  return w.B;
}

Bytes MakeModel(const std::string& Make, const std::string& Model) {
  Bytes b(Make.begin(), Make.end());
  b.push_back(0);
  b.insert(b.end(), Model.begin(), Model.end());
  b.push_back(0);
  b.resize(b.size() + 64);
  return b;
}

Bytes Words(std::initializer_list<uint32_t> V, bool Big = false, bool Longs = false) {
  Writer w;
  w.Big = Big;
  for (uint32_t x : V) Longs ? w.U32(x) : w.U16(x);
  return w.B;
}

Bytes CanonCiff(const std::string& Model, int Wide, int High) {
  return CiffFile(Heap({{0x080A, MakeModel("Canon", Model)}, {0x1031, Words({0, uint32_t(Wide), uint32_t(High)})},
                        {0x1835, Words({0}, false, true)}}));
}

Bytes PhaseOne(uint32_t Width, uint32_t Height) {
  Writer w;
  w.Big = true;
  w.B.resize(5);
  w.Text("MMMMRawT", false);
  w.U32(4);  // n
  w.B.resize(w.Size() + 4 + 136);
  w.U32(Width);
  w.B.resize(w.Size() + 12);
  w.U32(Height);
  w.PadTo(1024);
  return w.B;
}

Bytes Minolta(const std::string& Model) {
  Writer w;
  w.Big = true;
  w.U8(0);
  w.Text("MRM", false);
  w.U32(4000);     // data offset - 8
  w.PadTo(12);
  w.U32(0);        // n
  w.U32(0);
  w.U32(0);        // m, at 20
  w.U16(40);       // height, at 24
  w.U16(60);       // width, at 26
  w.PadTo(36);
  w.U16(300);      // a
  w.U16(200);      // b
  w.U16(100);      // c
  w.U16(150);      // d
  w.PadTo(48);
  const Bytes t = MakeTiff(true, {{Entry::Ascii(0x10F, "MINOLTA"), Entry::Ascii(0x110, Model)}});
  w.Append(t);
  w.PadTo(6000);
  return w.B;
}

Bytes Foveon(const std::string& Maker, const std::string& Model, uint32_t W, uint32_t H) {
  Writer w;
  w.Text("FOVb", false);
  w.PadTo(248);
  w.U32(W);
  w.U32(H);
  w.PadTo(260 + 2048 + 4096 + 64);
  w.PadTo(w.Size() + 24);  // the zeros before the text: n = 0 at b + 8
  const uint32_t text = uint32_t(w.Size());
  for (const std::string& s : {std::string("CAMMANUF"), Maker, std::string("CAMMODEL"), Model}) {
    for (char c : s) w.U16(uint8_t(c));
    w.U16(0);
  }
  const uint32_t dir = uint32_t(w.Size());
  w.U32(0x12345678);
  w.U32(0x464D4143);
  w.U32(text - 24);
  w.U32(dir);
  return w.B;
}

Bytes Rollei(int Width) {
  Writer w;
  auto rec = [&](const std::string& s) {
    const size_t at = w.Size();
    w.Text(s, false);
    w.PadTo(at + 128);
  };
  rec("DSC-Image");
  rec("HDR=2048");
  rec("X  =" + std::to_string(Width));
  rec("Y  =1040");
  rec("TX =10");
  rec("TY =20");
  rec("EOHD");
  w.PadTo(4096);
  return w.B;
}

Bytes Fuji(const std::string& Model) { return FujiFile(Model, Bytes(4096, 0)); }

struct IdCase {
  const char* Name;
  std::function<Bytes()> File;
  int Result;
  const char* Maker;
  const char* Model;
  int Wide, High;
  uint32_t Pattern;
  TQxRawLoader Loader;
};

}  // namespace

TEST(CameraRawIdentify, EveryContainerAndTheTableEdges) {
  const IdCase cases[] = {
      {"Phase One at offset 5, known height", [] { return PhaseOne(3100, 2060); }, 0, "Phase One", "LightPhase",
       3080, 2048, 0x94949494u, phase_one_xor_load_raw},
      {"Phase One, unknown height keeps its sizes", [] { return PhaseOne(200, 100); }, 0, "Phase One", "", 200, 100,
       0x49494949u, phase_one_xor_load_raw},
      {"CIFF PowerShot G1: four colours", [] { return CanonCiff("Canon PowerShot G1", 2144, 1560); }, 0, "Canon",
       "PowerShot G1", 2088, 1550, 0xB4B4B4B4u, canon_compressed_load_raw},
      {"CIFF other model of that width: three colours", [] { return CanonCiff("Canon PowerShot S30", 2144, 1560); },
       0, "Canon", "PowerShot S30", 2088, 1550, 0x94949494u, canon_compressed_load_raw},
      {"TIFF Canon: lossless JPEG", [] { return TiffRaw("Canon", "Canon EOS 350D DIGITAL", 40, 30); }, 0, "Canon",
       "EOS 350D DIGITAL", 40, 30, 0x61616161u, lossless_huffman_load_raw},
      {"TIFF Nikon packed", [] { return TiffRaw("NIKON CORPORATION", "NIKON D70", 40, 30); }, 0, "NIKON", "D70", 40,
       30, 0x16161616u, nikon_packed12_load_raw},
      {"TIFF Nikon compressed", [] { return TiffRaw("NIKON CORPORATION", "NIKON D70", 40, 30, 34713); }, 0, "NIKON",
       "D70", 40, 30, 0x16161616u, nikon_compressed_load_raw},
      {"TIFF Nikon without raw directory", [] {
         return MakeTiff(false, {{Entry::Ascii(0x10F, "NIKON CORPORATION"), Entry::Ascii(0x110, "NIKON D70")}});
       }, 1, "", "NIKON D70", 0, 0, 0, nullptr},
      {"TIFF Olympus: maker cut, height even", [] {
         return MakeTiff(false, {{Entry::Short(0x100, 64), Entry::Short(0x101, 47),
                                  Entry::Ascii(0x10F, "OLYMPUS OPTICAL CO.,LTD"), Entry::Ascii(0x110, "E-10"),
                                  Entry::Data(0x111, Bytes(8000, 1))}});
       }, 0, "OLYMPUS", "E-10", 64, 48, 0x94949494u, unpacked_load_raw},
      {"TIFF converted by Adobe software", [] {
         return TiffRaw("NIKON CORPORATION", "NIKON D70", 40, 30, 1, {Entry::Ascii(0x131, "Adobe Photoshop")});
       }, 1, "", "NIKON D70", 0, 0, 0, nullptr},
      {"TIFF without make, 680 x 680: Imacon", [] {
         return MakeTiff(false, {{Entry::Short(0x100, 680), Entry::Short(0x101, 680)}});
       }, 0, "Imacon", "Ixpress", 4080, 4084, 0x49494949u, imacon_flipped_load_raw},
      {"TIFF Kodak, unsupported compression", [] { return TiffRaw("Kodak", "DCS760C", 40, 30, 2); }, 1, "Kodak",
       "DCS760C", 40, 30, 0, nullptr},
      {"TIFF Kodak, block coding", [] {
         return TiffRaw("Kodak", "DCS760C", 40, 30, 65000, {}, {Entry::Short(0x106, 32803)});
       }, 0, "Kodak", "DCS760C", 40, 30, 0x61616161u, kodak_blocked_diff_load_raw},
      {"TIFF Kodak, YCbCr coding raises odd sizes", [] { return TiffRaw("Kodak", "DCS Pro 14n", 41, 31, 65000); }, 0,
       "Kodak", "DCS Pro 14n", 42, 32, 0, kodak_ycc_load_raw},
      {"TIFF maker containing Kodak", [] { return TiffRaw("EASTMAN Kodak Company", "DCS760C", 40, 30); }, 0, "Kodak",
       "DCS760C", 40, 30, 0x61616161u, kodak_easy_load_raw},
      {"TIFF upper-case MINOLTA after another word", [] { return TiffRaw("KONICA MINOLTA", "DYNAX 5D", 40, 30); }, 0,
       "MINOLTA", "DYNAX 5D", 40, 30, 0x94949494u, unpacked_load_raw},
      {"TIFF model repeating the maker", [] { return TiffRaw("Canon", "Canon EOS 10D", 40, 30); }, 0, "Canon",
       "EOS 10D", 40, 30, 0x61616161u, lossless_huffman_load_raw},
      {"TIFF Leaf", [] {
         return TiffRaw("Leaf", "Valeo 6", 40, 30, 1, {Entry::Long(0x144, 4096)});
       }, 0, "Leaf", "Valeo 6", 64, 48, 0x94949494u, unpacked_load_raw},
      {"Minolta MRM", [] { return Minolta("DiMAGE A1"); }, 0, "MINOLTA", "DiMAGE A1", 60, 40, 0x94949494u,
       msb_packed12_load_raw},
      {"Minolta DiMAGE G of unknown kind", [] { return Minolta("DiMAGE G9"); }, 0, "MINOLTA", "DiMAGE G9", 60, 40,
       0x61616161u, unpacked_load_raw},
      {"EXIF JPEG with raw data after it", [] {
         Writer w;
         w.Big = true;
         w.U16(0xFFD8);
         w.U16(0xFFE1);
         const Bytes t = TiffRaw("NIKON", "E5700", 40, 30);
         w.U16(uint32_t(t.size() + 8));
         w.Text("Exif", true);
         w.U8(0);
         w.Append(t);
         w.U8(0x00);
         w.PadTo(w.Size() + 100);
         return w.B;
       }, 0, "NIKON", "E5700", 40, 30, 0xB4B4B4B4u, nikon_packed12_load_raw},
      {"Nucore BMQ", [] {
         Writer w;
         w.Text("BM", false);
         w.PadTo(10);
         w.U32(100);
         w.U32(0);
         w.U32(30);
         w.U32(20);
         w.PadTo(38);
         w.U32(2834);
         w.U32(2834);
         w.PadTo(5000);
         return w.B;
       }, 0, "Nucore", "BMQ", 30, 20, 0x61616161u, nucore_load_raw},
      {"Nucore BR", [] {
         Writer w;
         w.Text("BR", false);
         w.PadTo(10);
         w.U32(100);
         w.U32(0);
         w.U32(30);
         w.U32(20);
         w.PadTo(5000);
         return w.B;
       }, 0, "Nucore", "RAW", 30, 20, 0x61616161u, nucore_load_raw},
      {"Contax", [] {
         Bytes b(7000000, 0);
         std::memcpy(b.data() + 25, "ARECOYK", 7);
         return b;
       }, 0, "CONTAX", "N DIGITAL", 3072, 2047, 0x61616161u, msb_packed12_load_raw},
      {"Fuji", [] { return Fuji("FinePix S5000"); }, 0, "FUJIFILM", "FinePix S5000", 2500, 2499, 0x49494949u,
       finepix_diagonal_load_raw},
      {"Rollei", [] { return Rollei(1316); }, 0, "Rollei", "d530flex", 1300, 1030, 0x16161616u, rollei_d530_load_raw},
      {"Foveon", [] { return Foveon("SIGMA", "SIGMA SD9", 40, 30); }, 0, "SIGMA", "SD9", 40, 30, 0,
       foveon_huffman_load_raw},
      {"Foveon without its marker", [] {
         Bytes b = Foveon("SIGMA", "SIGMA SD9", 40, 30);
         std::memset(b.data() + b.size() - 12, 0, 4);
         return b;
       }, 1, "", "", 0, 0, 0, nullptr},
      {"Size 62,464: DC20", [] { return Bytes(62464, 0); }, 0, "Kodak", "DC20", 249, 242, 0x8D8D8D8Du,
       kodak_easy_load_raw},
      {"Size 124,928: DC20", [] { return Bytes(124928, 0); }, 0, "Kodak", "DC20", 501, 242, 0x8D8D8D8Du,
       kodak_easy_load_raw},
      {"Size of a Sinar without 8BPS", [] { return Bytes(12582980, 0); }, 1, "Sinar", "", 0, 0, 0, nullptr},
      {"Sinar with 8BPS", [] {
         Bytes b(12582980, 0);
         std::memcpy(b.data(), "8BPS", 4);
         b[17] = 50;  // height 50 (big-endian)
         b[21] = 70;  // width 70
         return b;
       }, 0, "Sinar", "", 70, 50, 0x61616161u, unpacked_load_raw},
      {"Unknown size", [] { return Bytes(1000, 0); }, 1, "", "", 0, 0, 0, nullptr},
      {"Empty file", [] { return Bytes(); }, 1, "", "", 0, 0, 0, nullptr},
  };
  for (const IdCase& c : cases) {
    SCOPED_TRACE(c.Name);
    RawRun r(c.File());
    ASSERT_EQ(r.Identify(), c.Result);
    EXPECT_STREQ(r.C->Maker, c.Maker);
    EXPECT_STREQ(r.C->Model, c.Model);
    if (c.Result == 0) {
      EXPECT_EQ(r.C->ImageWidth, c.Wide);
      EXPECT_EQ(r.C->ImageHeight, c.High);
      EXPECT_EQ(r.C->CfaPattern, c.Pattern);
      EXPECT_EQ(r.C->SensorLoader, c.Loader);
    } else {
      EXPECT_FALSE(r.C->Error.empty());
    }
  }
}

TEST(CameraRawIdentify, ContainerDetails) {
  {
    RawRun r(PhaseOne(3100, 2060));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->SensorDataOffset, 5);
    EXPECT_EQ(r.C->TopBorder, 5);
    EXPECT_EQ(r.C->LeftBorder, 22);
    EXPECT_EQ(r.C->WhiteLevel, 65535);
  }
  {
    RawRun r(Minolta("DiMAGE A1"));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->SensorDataOffset, 4008);
    EXPECT_FLOAT_EQ(r.C->CameraRedGain, 1.5f);
    EXPECT_FLOAT_EQ(r.C->CameraBlueGain, 1.5f);
    EXPECT_EQ(r.C->WhiteLevel, 15916);
  }
  {
    RawRun r(Rollei(2568));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->SensorDataOffset, 2048 + 10 * 20 * 2);
    EXPECT_EQ(r.C->TopBorder, 2);
    EXPECT_EQ(r.C->LeftBorder, 8);
  }
  {
    RawRun r(Foveon("SIGMA", "SIGMA SD10", 2304, 1531));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->ImageWidth, 2271);
    EXPECT_EQ(r.C->ImageHeight, 1514);
    EXPECT_EQ(r.C->PixelAspectY, 1);
    EXPECT_TRUE(r.C->LayeredSensor);
    EXPECT_NEAR(r.C->ChannelGains[0], 1.179 * 2.07, 1e-5);
    EXPECT_NEAR(r.C->ColorMatrix[0][0], 1.179 * 2.07 * 2.034395, 1e-4);
  }
  {
    RawRun r(Foveon("SIGMA", "SIGMA SD9", 100, 30));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->PixelAspectY, 2);  // at least twice as wide as high
  }
  {
    RawRun r(Fuji("FinePix S5000"));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->SensorDataOffset, 4096);
    EXPECT_EQ(r.C->LoaderArgs[0], 1472);
  }
  {
    RawRun r(Bytes(62464, 0));
    ASSERT_EQ(r.Identify(), 0);
    EXPECT_EQ(r.C->SensorWidth, 256);
    EXPECT_EQ(r.C->SensorDataOffset, 257);
    EXPECT_EQ(r.C->ColorCount, 4);
    EXPECT_TRUE(r.C->HasColorMatrix);
  }
}

TEST(CameraRawIdentify, TextsLongerThanTheirFieldsAreCutAt63) {
  const std::string make(100, 'Q'), model(90, 'M');
  RawRun r(TiffRaw(make, model, 40, 30));
  r.Identify();
  EXPECT_EQ(std::string(r.C->Maker), std::string(63, 'Q'));
  EXPECT_EQ(std::string(r.C->Model), std::string(63, 'M'));
}

TEST(CameraRawIdentify, DirectoryLoopsAndDeepHeapsEnd) {
  // A directory chain that points back at itself.
  Bytes t = MakeTiff(false, {{Entry::Ascii(0x10F, "NIKON"), Entry::Ascii(0x110, "D70")}});
  const uint16_t n = uint16_t(t[8] | t[9] << 8);
  const size_t next = 8 + 2 + 12 * size_t(n);
  t[next] = 8;
  RawRun loop(t);
  EXPECT_EQ(loop.Identify(), 1);
  // A heap whose sub-heap record points back at the heap itself.
  Bytes h = Heap({{0x080A, MakeModel("Canon", "Canon EOS D60")}, {0x300A, Bytes(8, 0)}});
  Bytes file = CiffFile(h);
  // Make the sub-heap record cover the whole heap, so that it finds itself again.
  const size_t table = 26 + (h[h.size() - 4] | h[h.size() - 3] << 8);
  const size_t rec = table + 2 + 10;
  const uint32_t whole = uint32_t(h.size());
  file[rec + 2] = uint8_t(whole);
  file[rec + 3] = uint8_t(whole >> 8);
  std::memset(&file[rec + 6], 0, 4);
  RawRun deep(file);
  EXPECT_EQ(deep.Identify(), 1);  // no sensor size: not supported, but the walk ended
  EXPECT_STREQ(deep.C->Maker, "Canon");
}

TEST(CameraRawIdentify, CanonWhiteBalanceRecords) {
  // EOS D30 with white-balance index 0: the automatic balance.
  Bytes wb(64, 0);
  wb[14] = 0;
  RawRun d30(CiffFile(Heap({{0x080A, MakeModel("Canon", "Canon EOS D30")}, {0x102A, wb}})));
  d30.Identify();
  EXPECT_EQ(d30.C->CameraRedGain, -1);
  // An index beyond the remap table reads the first set instead of memory before the record.
  Bytes idx(64, 0);
  idx[14] = 200;
  Bytes gains(200, 0);
  gains[80] = 2;  // r = 2
  gains[82] = 6;  // red 6 / 2
  gains[84] = 9;  // blue 9
  gains[86] = 3;  // / 3
  RawRun g(CiffFile(Heap({{0x080A, MakeModel("Canon", "Canon PowerShot S45")}, {0x102A, idx}, {0x0032, gains}})));
  g.Identify();
  EXPECT_FLOAT_EQ(g.C->CameraRedGain, 3.0f);
  EXPECT_FLOAT_EQ(g.C->CameraBlueGain, 3.0f);
}

TEST(CameraRawIdentify, NikonMakerNoteGains) {
  // Maker note with the "Nikon" header and its own little TIFF structure.
  Writer note;
  note.Text("Nikon", true);
  note.U8(2);
  note.U8(0x10);
  note.U8(0);
  note.U8(0);
  const Bytes inner = MakeTiff(false, {{Entry::Short(0x1017, 512), Entry::Short(0x1018, 384)}});
  note.Append(inner);
  const Bytes file = MakeTiff(false, {{Entry::Short(0x100, 64), Entry::Short(0x101, 48), Entry::Ascii(0x10F, "NIKON"),
                                       Entry::Ascii(0x110, "NIKON D70"), Entry::Dir(0x14A, 1), Entry::Dir(0x8769, 2)},
                                      {Entry::Short(0x100, 40), Entry::Short(0x101, 30), Entry::Data(0x111, Bytes(3000, 0))},
                                      {Entry::Data(0x927C, note.B)}});
  RawRun r(file);
  ASSERT_EQ(r.Identify(), 0);
  EXPECT_FLOAT_EQ(r.C->CameraRedGain, 2.0f);
  EXPECT_FLOAT_EQ(r.C->CameraBlueGain, 1.5f);
}

TEST(CameraRawIdentify, ProbeAndFormatDetection) {
  QxRegisterFurtherCodecs();
  const Bytes file = TiffRaw("NIKON CORPORATION", "NIKON D70", 40, 30);
  TMemoryStream s;
  s.Write(file.data(), int64_t(file.size()));
  s.SetPosition(3);
  EXPECT_TRUE(IsCameraRawStream(&s));
  EXPECT_EQ(s.Position(), 3);
  s.SetPosition(0);
  EXPECT_EQ(QxFindStreamFormat(s), qxffRAW);
  const Bytes junk(5000, 7);
  TMemoryStream j;
  j.Write(junk.data(), int64_t(junk.size()));
  j.SetPosition(0);
  EXPECT_FALSE(IsCameraRawStream(&j));
}

// Writes the synthetic containers as seeds for the fuzz targets:
//   QV_RAW_SEEDS=fuzz/corpus/codecs_raw_identify test_codecs_raw --gtest_also_run_disabled_tests
//     --gtest_filter='*WriteFuzzSeeds'
TEST(CameraRawIdentify, DISABLED_WriteFuzzSeeds) {
  const char* dir = std::getenv("QV_RAW_SEEDS");
  if (!dir) GTEST_SKIP() << "QV_RAW_SEEDS names no folder";
  const std::pair<const char*, Bytes> seeds[] = {
      {"phase_one", PhaseOne(40, 30)},
      {"ciff_canon", CanonCiff("Canon EOS D60", 16, 8)},
      {"tiff_nikon", TiffRaw("NIKON CORPORATION", "NIKON D70", 8, 6)},
      {"tiff_nikon_compressed", TiffRaw("NIKON CORPORATION", "NIKON D70", 8, 6, 34713)},
      {"tiff_kodak_blocks", TiffRaw("Kodak", "DCS760C", 8, 6, 65000, {}, {Entry::Short(0x106, 32803)})},
      {"tiff_kodak_ycc", TiffRaw("Kodak", "DCS Pro 14n", 8, 6, 65000)},
      {"tiff_canon", TiffRaw("Canon", "Canon EOS 10D", 8, 6)},
      {"tiff_leaf", TiffRaw("Leaf", "Valeo 6", 8, 6, 1, {Entry::Long(0x144, 64)})},
      {"minolta", Minolta("DiMAGE A1")},
      {"rollei", Rollei(16)},
      {"foveon", Foveon("SIGMA", "SIGMA SD9", 8, 6)},
      {"fuji", Fuji("FinePix E550")},
  };
  for (const auto& [name, bytes] : seeds) {
    TFileStream f(std::string(dir) + "/" + name, fmCreate);
    f.Write(bytes.data(), int64_t(bytes.size()));
  }
}
