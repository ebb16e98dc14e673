// The camera table: per camera the picture geometry, colour-filter pattern, levels, gains and sensor loader.
// The rows are data, tried in order; the few cameras whose values depend on the file itself name a
// finishing step, written below the table.
#include <cstring>
#include <strings.h>

#include "imaging/codecs/raw/camera_raw_internal.h"

namespace {

enum class TCond : uint8_t { ModelIs, ModelStarts, MakerIs, MakerIsAnyCase, CanonSensorWidth, SinarHeader };
enum class TFinish : uint8_t {
  None, CanonG1, CanonG2, CanonKiss, NikonD1X, NikonD100, NikonE950, NikonE990, NikonE2100, NikonE4300,
  GainsAt2032, Minolta, PhaseOne, Sinar, Leaf, SonyF828, Kodak, Rollei, Sigma,
};

struct TLoaderForm {
  TQxRawLoader Routine = nullptr;
  int32_t Args[3] = {0, 0, 0};
};
// The forms of the unpacked loader: byte order (0 big-endian, 1 little-endian) and shift.
constexpr TLoaderForm kBig16{unpacked_load_raw, {0, 0, 0}};
constexpr TLoaderForm kBigHigh12{unpacked_load_raw, {0, 2, 0}};
constexpr TLoaderForm kBigLow12{unpacked_load_raw, {0, -2, 0}};
constexpr TLoaderForm kBig10{unpacked_load_raw, {0, -4, 0}};
constexpr TLoaderForm kLittleHigh12{unpacked_load_raw, {1, 2, 0}};

// A value of 0 leaves the field as identification set it.
struct TCameraRow {
  TCond Cond;
  const char* A = nullptr;
  const char* B = nullptr;  // a second model name with the same values
  int32_t N = 0;            // characters compared (ModelStarts) or the sensor width (CanonSensorWidth)
  int32_t Height = 0, Width = 0;
  int32_t SensorHeight = 0, SensorWidth = 0;
  int32_t Top = 0, Left = 0;
  int32_t Colors = 0;
  uint32_t Pattern = 0;
  int32_t Black = 0, White = 0;
  float Gains[4] = {0, 0, 0, 0};
  TLoaderForm Loader = {};
  int32_t DataOffset = 0;
  TFinish Finish = TFinish::None;
};

constexpr uint32_t P(uint8_t b) { return uint32_t(b) * 0x01010101u; }

const TCameraRow kCameras[] = {
    {.Cond = TCond::ModelIs, .A = "PowerShot 600", .Height = 613, .Width = 854, .Colors = 4, .Pattern = 0xE1E4E1E4,
     .Gains = {1.137f, 1.257f}, .Loader = {powershot600_load_raw}},
    {.Cond = TCond::ModelIs, .A = "PowerShot A5", .B = "PowerShot A5 Zoom", .Height = 776, .Width = 960,
     .SensorWidth = 992, .Colors = 4, .Pattern = 0x1E4E1E4E, .Gains = {1.5842f, 1.2966f, 1.0419f},
     .Loader = {powershot_packed10_load_raw}},
    {.Cond = TCond::ModelIs, .A = "PowerShot A50", .Height = 968, .Width = 1290, .SensorWidth = 1320, .Colors = 4,
     .Pattern = 0x1B4E4B1E, .Gains = {1.75f, 1.381f, 0, 1.182f}, .Loader = {powershot_packed10_load_raw}},
    {.Cond = TCond::ModelIs, .A = "PowerShot Pro70", .Height = 1024, .Width = 1552, .Colors = 4,
     .Pattern = 0x1E4B4E1B, .Gains = {1.389f, 1.343f, 0, 1.034f}, .Loader = {powershot_packed10_load_raw}},
    {.Cond = TCond::ModelIs, .A = "PowerShot Pro90 IS", .Width = 1896, .Colors = 4, .Pattern = P(0xB4),
     .Gains = {1.496f, 1.509f, 0, 1.009f}},
    {.Cond = TCond::CanonSensorWidth, .N = 2144, .Height = 1550, .Width = 2088, .Top = 8, .Left = 4,
     .Finish = TFinish::CanonG1},
    {.Cond = TCond::CanonSensorWidth, .N = 2224, .Height = 1448, .Width = 2176, .Top = 6, .Left = 48,
     .Gains = {1.592f, 0, 1.261f}},
    {.Cond = TCond::CanonSensorWidth, .N = 2376, .Height = 1720, .Width = 2312, .Top = 6, .Left = 12,
     .Finish = TFinish::CanonG2},
    {.Cond = TCond::CanonSensorWidth, .N = 2672, .Height = 1960, .Width = 2616, .Top = 6, .Left = 12,
     .Gains = {1.895f, 0, 1.403f}},
    {.Cond = TCond::CanonSensorWidth, .N = 3152, .Height = 2056, .Width = 3088, .Top = 12, .Left = 64,
     .White = 16000, .Finish = TFinish::CanonKiss},
    {.Cond = TCond::CanonSensorWidth, .N = 3160, .Height = 2328, .Width = 3112, .Top = 12, .Left = 44,
     .Gains = {1.85f, 0, 1.53f}},
    {.Cond = TCond::CanonSensorWidth, .N = 3344, .Height = 2472, .Width = 3288, .Top = 6, .Left = 4,
     .Gains = {1.621f, 0, 1.528f}},
    {.Cond = TCond::ModelIs, .A = "EOS-1D", .Height = 1662, .Width = 2496, .Gains = {1.976f, 0, 1.282f},
     .DataOffset = 288912},
    {.Cond = TCond::ModelIs, .A = "EOS-1DS", .Height = 2718, .Width = 4082, .White = 14464,
     .Gains = {1.66f, 0, 1.13f}, .DataOffset = 289168},
    {.Cond = TCond::ModelIs, .A = "EOS-1D Mark II", .B = "EOS 20D", .Height = 2348, .Width = 3522,
     .SensorHeight = 2360, .SensorWidth = 3596, .Top = 12, .Left = 74, .Colors = 3, .Pattern = P(0x94),
     .Gains = {1.95f, 0, 1.36f}},
    {.Cond = TCond::ModelIs, .A = "EOS-1Ds Mark II", .Height = 3336, .Width = 5010, .SensorHeight = 3349,
     .SensorWidth = 5108, .Top = 13, .Left = 98, .Colors = 3, .Pattern = P(0x94), .White = 14848,
     .Gains = {1.609f, 0, 1.848f}},
    {.Cond = TCond::ModelIs, .A = "EOS D2000C", .Black = 800, .Gains = {0, 0, 1.25f}},
    {.Cond = TCond::ModelIs, .A = "D1", .Pattern = P(0x16), .Gains = {0.838f, 0, 1.095f}},
    {.Cond = TCond::ModelIs, .A = "D1H", .Pattern = P(0x16), .Gains = {2.301f, 0, 1.129f}},
    {.Cond = TCond::ModelIs, .A = "D1X", .Width = 4024, .Pattern = P(0x16), .Gains = {1.91f, 0, 1.22f},
     .Finish = TFinish::NikonD1X},
    {.Cond = TCond::ModelIs, .A = "D100", .Pattern = P(0x61), .White = 15632, .Gains = {2.374f, 0, 1.677f},
     .Finish = TFinish::NikonD100},
    {.Cond = TCond::ModelIs, .A = "D2H", .Width = 2482, .Left = 6, .Pattern = P(0x49), .Gains = {2.8f, 0, 1.2f}},
    {.Cond = TCond::ModelIs, .A = "D70", .Pattern = P(0x16), .Gains = {2.043f, 0, 1.625f}},
    {.Cond = TCond::ModelIs, .A = "E950", .Height = 1203, .Width = 1616, .Colors = 4, .Pattern = P(0x4B),
     .Gains = {1.18193f, 0, 1.16452f, 1.1725f}, .Loader = {coolpix950_load_raw}, .Finish = TFinish::NikonE950},
    {.Cond = TCond::ModelIs, .A = "E990", .Height = 1540, .Width = 2064, .Colors = 4, .Finish = TFinish::NikonE990},
    {.Cond = TCond::ModelIs, .A = "E2100", .Width = 1616, .Finish = TFinish::NikonE2100},
    {.Cond = TCond::ModelIs, .A = "E4300", .Height = 1710, .Width = 2288, .Pattern = P(0x16),
     .Finish = TFinish::NikonE4300},
    {.Cond = TCond::ModelIs, .A = "E4500", .Height = 1708, .Width = 2288, .Colors = 4, .Pattern = P(0xB4),
     .Gains = {1.3f, 1.3f, 0, 1.148f}},
    {.Cond = TCond::ModelIs, .A = "E5000", .B = "E5700", .Colors = 4, .Pattern = P(0xB4),
     .Gains = {1.3f, 1.3f, 0, 1.148f}},
    {.Cond = TCond::ModelIs, .A = "E5400", .Pattern = P(0x16), .Gains = {1.7f, 0, 1.344f}},
    {.Cond = TCond::ModelIs, .A = "E8700", .B = "E8800", .Pattern = P(0x16), .Gains = {2.131f, 0, 1.3f}},
    {.Cond = TCond::ModelIs, .A = "FinePixS2Pro", .Height = 3584, .Width = 3583, .Pattern = P(0x61), .Black = 512,
     .Gains = {1.424f, 0, 1.718f}, .Loader = {finepix_s2_diagonal_load_raw}},
    {.Cond = TCond::ModelIs, .A = "FinePix S5000", .Height = 2499, .Width = 2500, .Pattern = P(0x49),
     .White = 63488, .Gains = {1.639f, 0, 1.438f}, .Loader = {finepix_diagonal_load_raw, {1472, 1423, 2152}}},
    {.Cond = TCond::ModelIs, .A = "FinePix S7000", .Height = 3587, .Width = 3588, .Pattern = P(0x49),
     .White = 63488, .Gains = {1.62f, 0, 1.38f}, .Loader = {finepix_diagonal_load_raw, {2048, 2047, 3080}}},
    {.Cond = TCond::ModelIs, .A = "FinePix E550", .Height = 3587, .Width = 3588, .Pattern = P(0x49),
     .White = 63488, .Gains = {1.45f, 0, 1.25f}, .Loader = {finepix_diagonal_load_raw, {2048, 2047, 3080}}},
    {.Cond = TCond::ModelIs, .A = "FinePix F700", .B = "FinePix S20Pro", .Height = 2523, .Width = 2524,
     .Pattern = P(0x49), .White = 15872, .Gains = {1.639f, 0, 1.438f}, .Loader = {finepix_f700_diagonal_load_raw}},
    {.Cond = TCond::ModelIs, .A = "Digital Camera KD-400Z", .Height = 1712, .Width = 2312, .SensorWidth = 2336,
     .White = 15856, .Gains = {1.42f, 0, 1.25f}, .Loader = kBig10, .DataOffset = 4034,
     .Finish = TFinish::GainsAt2032},
    {.Cond = TCond::ModelIs, .A = "Digital Camera KD-510Z", .Height = 1956, .Width = 2607, .SensorWidth = 2624,
     .Pattern = P(0x61), .White = 15856, .Gains = {1.42f, 0, 1.25f}, .Loader = kBig10, .DataOffset = 4032,
     .Finish = TFinish::GainsAt2032},
    {.Cond = TCond::MakerIsAnyCase, .A = "MINOLTA", .Finish = TFinish::Minolta},
    {.Cond = TCond::ModelIs, .A = "*ist D", .Height = 2024, .Width = 3040, .Gains = {1.76f, 1.07f},
     .Loader = kBigLow12, .DataOffset = 65536},
    {.Cond = TCond::ModelIs, .A = "Optio S", .Height = 1544, .Width = 2068, .SensorWidth = 3136,
     .Gains = {1.506f, 0, 1.152f}, .Loader = {msb_packed12_load_raw}},
    {.Cond = TCond::ModelIs, .A = "Optio S4", .Height = 1737, .Width = 2324, .SensorWidth = 3520,
     .Gains = {1.308f, 0, 1.275f}, .Loader = {msb_packed12_load_raw}},
    {.Cond = TCond::MakerIs, .A = "Phase One", .White = 65535, .Loader = {phase_one_xor_load_raw},
     .Finish = TFinish::PhaseOne},
    {.Cond = TCond::ModelIs, .A = "Ixpress", .Height = 4084, .Width = 4080, .Pattern = P(0x49), .White = 65535,
     .Gains = {1.963f, 0, 1.43f}, .Loader = {imacon_flipped_load_raw}},
    {.Cond = TCond::SinarHeader, .A = "Sinar", .Pattern = P(0x61), .White = 65535, .Loader = kBig16,
     .DataOffset = 68, .Finish = TFinish::Sinar},
    {.Cond = TCond::MakerIs, .A = "Leaf", .White = 65535, .Gains = {1.1629f, 0, 1.3556f}, .Loader = kBig16,
     .Finish = TFinish::Leaf},
    {.Cond = TCond::ModelIs, .A = "DIGILUX 2", .B = "DMC-LC1", .Height = 1928, .Width = 2568,
     .Gains = {1.883f, 0, 1.367f}, .Loader = kLittleHigh12, .DataOffset = 1024},
    {.Cond = TCond::ModelIs, .A = "E-1", .Pattern = P(0x61), .Gains = {1.57f, 0, 1.48f}, .Loader = kLittleHigh12},
    {.Cond = TCond::ModelIs, .A = "E-10", .Gains = {1.43f, 0, 1.77f}, .Loader = kBigHigh12},
    {.Cond = TCond::ModelStarts, .A = "E-20", .N = 4, .Black = 640, .Gains = {1.43f, 0, 1.77f},
     .Loader = kBigHigh12},
    {.Cond = TCond::ModelIs, .A = "C5050Z", .Pattern = P(0x16), .Gains = {1.533f, 0, 1.88f},
     .Loader = {olympus_interlaced12_load_raw}},
    {.Cond = TCond::ModelIs, .A = "C5060WZ", .Gains = {2.285f, 0, 1.023f}, .Loader = {olympus_interlaced12_load_raw}},
    {.Cond = TCond::ModelIs, .A = "C8080WZ", .Pattern = P(0x16), .Gains = {2.335f, 0, 1.323f},
     .Loader = {olympus_interlaced12_load_raw}},
    {.Cond = TCond::ModelIs, .A = "N DIGITAL", .Height = 2047, .Width = 3072, .Pattern = P(0x61),
     .Gains = {1.366f, 0, 1.251f}, .Loader = {msb_packed12_load_raw}, .DataOffset = 6656},
    {.Cond = TCond::ModelIs, .A = "DSC-F828", .Height = 2460, .Width = 3288, .SensorWidth = 3360, .Left = 5,
     .Colors = 4, .Pattern = P(0xB4), .Gains = {1.512f, 1.02f, 1.405f}, .Loader = {sony_keyed_load_raw},
     .Finish = TFinish::SonyF828},
    {.Cond = TCond::MakerIsAnyCase, .A = "KODAK", .Finish = TFinish::Kodak},
    {.Cond = TCond::MakerIs, .A = "Rollei", .Pattern = P(0x16), .Gains = {1.8f, 0, 1.3f},
     .Loader = {rollei_d530_load_raw}, .Finish = TFinish::Rollei},
    {.Cond = TCond::MakerIs, .A = "SIGMA", .White = 5600, .Gains = {1.179f, 0, 0.713f},
     .Loader = {foveon_huffman_load_raw}, .Finish = TFinish::Sigma},
    {.Cond = TCond::ModelIs, .A = "PC-CAM 600", .Height = 768, .Width = 1024, .Pattern = P(0x49),
     .Gains = {1.14f, 0, 2.73f}, .Loader = {eight_bit_load_raw}, .DataOffset = 1024},
    {.Cond = TCond::ModelIs, .A = "QV-2000UX", .Height = 1208, .Width = 1632, .Loader = {eight_bit_load_raw},
     .DataOffset = 3264},
    {.Cond = TCond::ModelIs, .A = "QV-3*00EX", .Height = 1546, .Width = 2070, .SensorWidth = 2080,
     .Loader = {eight_bit_load_raw}},
    {.Cond = TCond::ModelIs, .A = "QV-4000", .Height = 1700, .Width = 2260, .Loader = kBigHigh12},
    {.Cond = TCond::ModelIs, .A = "QV-5700", .Height = 1924, .Width = 2576, .Loader = {casio_packed10_load_raw}},
    {.Cond = TCond::ModelIs, .A = "EX-P600", .Height = 2142, .Width = 2844, .SensorWidth = 4288,
     .Gains = {2.356f, 1.069f}, .Loader = {msb_packed12_load_raw}},
    {.Cond = TCond::MakerIs, .A = "Nucore", .Pattern = P(0x61), .Loader = {nucore_load_raw}},
};

// The Kodak professional models before the loader is chosen by the file's compression.
enum class TKodakCond : uint8_t { ModelIs, ModelIsAnyCase, ExtraStarts };
struct TKodakRow {
  TKodakCond Cond;
  const char* Name;
  int32_t WidthLess = 0, Left = 0, CurveCount = 0, Black = 0;
  bool Mono = false, Cmy = false;
  float Gains[4] = {0, 0, 0, 0};
};
const TKodakRow kKodak[] = {
    {TKodakCond::ModelIs, "NC2000F", 4, 1, 176, 0, false, false, {1.509f, 0, 2.686f}},
    {TKodakCond::ModelIs, "EOSDCS3B", 4, 2, 0, 0, false, false, {1.629f, 0, 2.767f}},
    {TKodakCond::ModelIs, "EOSDCS1", 4, 2, 0, 0, false, false, {1.386f, 0, 2.405f}},
    {TKodakCond::ModelIs, "DCS315C", 0, 0, 0, 32, false, false, {0, 1.068f, 1.036f}},
    {TKodakCond::ModelIs, "DCS330C", 0, 0, 0, 32, false, false, {0, 1.012f, 1.804f}},
    {TKodakCond::ModelIs, "DCS420", 4, 2, 0, 0, false, false, {1.327f, 0, 2.074f}},
    {TKodakCond::ModelIs, "DCS460", 4, 2, 0, 0, false, false, {1.724f, 0, 2.411f}},
    {TKodakCond::ModelIs, "DCS460A", 4, 2, 0, 0, true, false, {}},
    {TKodakCond::ModelIs, "DCS520C", 0, 0, 0, 720, false, false, {1.006f, 0, 1.858f}},
    {TKodakCond::ModelIs, "DCS560C", 0, 0, 0, 750, false, false, {0, 1.053f, 1.703f}},
    {TKodakCond::ModelIs, "DCS620C", 0, 0, 0, 720, false, false, {0, 1.002f, 1.818f}},
    {TKodakCond::ModelIs, "DCS62$", 0, 0, 0, 740, false, true, {1.486f, 0, 1.28f}},
    {TKodakCond::ModelIs, "DCS660C", 0, 0, 0, 855, false, false, {1.156f, 0, 1.626f}},
    {TKodakCond::ModelIs, "DCS660M", 0, 0, 0, 855, true, false, {}},
    {TKodakCond::ModelIs, "DCS72$", 0, 0, 0, 0, false, true, {1.35f, 0, 1.18f}},
    {TKodakCond::ModelIs, "DCS760C", 0, 0, 0, 0, false, false, {1.06f, 0, 1.72f}},
    {TKodakCond::ModelIs, "DCS760M", 0, 0, 0, 0, true, false, {}},
    {TKodakCond::ModelIs, "ProBack", 0, 0, 0, 0, false, false, {1.06f, 0, 1.385f}},
    {TKodakCond::ExtraStarts, "PB645C", 0, 0, 0, 0, false, false, {1.0497f, 0, 1.3306f}},
    {TKodakCond::ExtraStarts, "PB645H", 0, 0, 0, 0, false, false, {1.201f, 0, 1.5061f}},
    {TKodakCond::ExtraStarts, "PB645M", 0, 0, 0, 0, false, false, {1.01755f, 0, 1.5424f}},
    {TKodakCond::ModelIsAnyCase, "DCS Pro 14n", 0, 0, 0, 0, false, false, {0, 1.0323f, 1.258f}},
    {TKodakCond::ModelIsAnyCase, "DCS Pro 14nx", 0, 0, 0, 0, false, false, {1.336f, 0, 1.3155f}},
    {TKodakCond::ModelIsAnyCase, "DCS Pro SLR/c", 0, 0, 0, 0, false, false, {1.425f, 0, 1.293f}},
    {TKodakCond::ModelIsAnyCase, "DCS Pro SLR/n", 0, 0, 0, 0, false, false, {1.324f, 0, 1.483f}},
};

bool Is(const char* Text, const char* What) { return std::strcmp(Text, What) == 0; }

void SetGains(TQxRawContext& C, const float* G) {
  for (int32_t i = 0; i < 4; ++i)
    if (G[i] != 0) C.ChannelGains[i] = G[i];
}

void ReadCameraGains(TQxRawContext& C, int32_t At) {
  C.ByteOrder = 0x4D4D;
  if (At >= 0) C.Seek(At);
  const double a = C.Get2(), b = C.Get2(), c = C.Get2(), d = C.Get2();
  C.CameraRedGain = c != 0 ? float(a / c) : 0;
  C.CameraBlueGain = d != 0 ? float(b / d) : 0;
}

bool Matches(TQxRawContext& C, const TCameraRow& R) {
  switch (R.Cond) {
    case TCond::ModelIs: return Is(C.Model, R.A) || (R.B && Is(C.Model, R.B));
    case TCond::ModelStarts: return std::strncmp(C.Model, R.A, size_t(R.N)) == 0;
    case TCond::MakerIs: return Is(C.Maker, R.A);
    case TCond::MakerIsAnyCase: return strcasecmp(C.Maker, R.A) == 0;
    case TCond::CanonSensorWidth: return C.MakerIsCanon && C.SensorWidth == R.N;
    case TCond::SinarHeader: return Is(C.Maker, R.A) && std::memcmp(C.Head, "8BPS", 4) == 0;
  }
  return false;
}

void FinishMinolta(TQxRawContext& C) {
  C.SensorLoader = unpacked_load_raw;
  C.LoaderArgs[0] = 0;
  C.LoaderArgs[1] = -2;
  C.WhiteLevel = 15860;
  const float gains[4] = {1.42f, 0, 1.25f, 0};
  if (std::strncmp(C.Model, "DiMAGE A", 8) == 0) {
    C.SensorLoader = msb_packed12_load_raw;
    C.WhiteLevel = C.Model[8] == '1' ? 15916 : 16380;
    SetGains(C, gains);
  } else if (std::strncmp(C.Model, "DiMAGE G", 8) != 0) {
    SetGains(C, gains);
  } else {
    int32_t gainsAt = -1;
    switch (C.Model[8]) {
      case '4':
        C.SensorDataOffset = 5056;
        gainsAt = 2078;
        C.ImageHeight = 1716;
        C.ImageWidth = 2304;
        break;
      case '5':
        C.SensorDataOffset = 4016;
        gainsAt = 1936;
        C.ImageHeight = 1956;
        C.ImageWidth = 2607;
        C.SensorWidth = 2624;
        break;
      case '6':
        C.SensorDataOffset = 4032;
        gainsAt = 2030;
        C.ImageHeight = 2136;
        C.ImageWidth = 2848;
        break;
    }
    C.CfaPattern = P(0x61);
    C.SensorLoader = unpacked_load_raw;
    C.LoaderArgs[0] = 0;
    C.LoaderArgs[1] = -4;
    C.WhiteLevel = 15856;
    ReadCameraGains(C, gainsAt);
    SetGains(C, gains);
  }
}

void FinishPhaseOne(TQxRawContext& C) {
  struct TPhase {
    int32_t SensorHeight;
    const char* Model;
    int32_t Height, Width, Top, Left;
    float Gains[4];
  };
  static const TPhase kPhase[] = {
      {2060, "LightPhase", 2048, 3080, 5, 22, {1.331f, 0, 1.154f}},
      {2682, "H10", 2672, 4012, 5, 26, {}},
      {4128, "H20", 4098, 4098, 20, 26, {1.963f, 0, 1.43f}},
      {5488, "H25", 5458, 4098, 20, 26, {2.8f, 0, 1.2f}},
  };
  for (const TPhase& p : kPhase)
    if (C.SensorHeight == p.SensorHeight) {
      C.SetText(C.Model, p.Model);
      C.ImageHeight = p.Height;
      C.ImageWidth = p.Width;
      C.TopBorder = p.Top;
      C.LeftBorder = p.Left;
      SetGains(C, p.Gains);
    }
  C.CfaPattern = (C.TopBorder & 1) ? P(0x94) : P(0x49);
}

// False: the Kodak file's compression is not one the reader decodes.
bool FinishKodak(TQxRawContext& C) {
  C.CfaPattern = P(0x61);
  for (const TKodakRow& k : kKodak) {
    bool hit = false;
    switch (k.Cond) {
      case TKodakCond::ModelIs: hit = Is(C.Model, k.Name); break;
      case TKodakCond::ModelIsAnyCase: hit = strcasecmp(C.Model, k.Name) == 0; break;
      case TKodakCond::ExtraStarts: hit = std::strncmp(C.ModelExtra, k.Name, 6) == 0; break;
    }
    if (!hit) continue;
    C.ImageWidth -= k.WidthLess;
    if (k.Left) C.LeftBorder = k.Left;
    if (k.CurveCount) C.ToneCurveCount = k.CurveCount;
    if (k.Black) C.BlackLevel = k.Black;
    if (k.Mono) {
      C.ColorCount = 1;
      C.CfaPattern = 0;
    }
    if (k.Cmy) C.CmySensor = 1;
    SetGains(C, k.Gains);
    break;
  }
  switch (C.StripCompression) {
    case 0:
    case 1: C.SensorLoader = kodak_easy_load_raw; break;
    case 7: C.SensorLoader = lossless_huffman_load_raw; break;
    case 32867: break;
    case 65000:
      if (C.KodakColorFormat == 32803) {
        C.SensorLoader = kodak_blocked_diff_load_raw;
      } else {
        C.SensorLoader = kodak_ycc_load_raw;
        C.ImageHeight = (C.ImageHeight + 1) & ~1;
        C.ImageWidth = (C.ImageWidth + 1) & ~1;
        C.CfaPattern = 0;
      }
      break;
    default:
      C.Error = "Camera RAW: the Kodak data compression " + std::to_string(C.StripCompression) + " is not supported";
      return false;
  }
  const bool small = C.FileSize < 100000;
  if (Is(C.Model, "DC20")) {
    C.ImageHeight = 242;
    C.ImageWidth = small ? 249 : 501;
    C.SensorWidth = small ? 256 : 512;
    C.SensorDataOffset = C.SensorWidth + 1;
    C.ColorCount = 4;
    C.CfaPattern = P(0x8D);
    set_dc20_matrix(C, 0.5f);
    const float g[4] = {0, 1.179f, 1.209f, 1.036f};
    SetGains(C, g);
    C.SensorLoader = kodak_easy_load_raw;
  } else if (std::strstr(C.Model, "DC25")) {
    C.SetText(C.Model, "DC25");
    C.ImageHeight = 242;
    C.ImageWidth = small ? 249 : 501;
    C.SensorWidth = small ? 256 : 512;
    C.SensorDataOffset = small ? 15681 : 15937;
    C.ColorCount = 4;
    C.CfaPattern = P(0xB4);
    C.SensorLoader = kodak_easy_load_raw;
  } else if (Is(C.Model, "Digital Camera 40")) {
    C.SetText(C.Model, "DC40");
    C.ImageHeight = 512;
    C.ImageWidth = 768;
    C.SensorDataOffset = 1152;
    C.SensorLoader = kodak_tree_coded_load_raw;
  } else if (std::strstr(C.Model, "DC50")) {
    C.SetText(C.Model, "DC50");
    C.ImageHeight = 512;
    C.ImageWidth = 768;
    C.SensorDataOffset = 19712;
    C.SensorLoader = kodak_tree_coded_load_raw;
  } else if (std::strstr(C.Model, "DC120")) {
    C.SetText(C.Model, "DC120");
    C.ImageHeight = 976;
    C.ImageWidth = 848;
    C.SensorLoader = C.StripCompression == 7 ? kodak_jpeg_pair_load_raw : kodak_rotated_rows_load_raw;
  }
  return true;
}

bool Finish(TQxRawContext& C, TFinish F) {
  switch (F) {
    case TFinish::None: break;
    case TFinish::CanonG1:
      if (Is(C.Model, "PowerShot G1")) {
        C.ColorCount = 4;
        C.CfaPattern = P(0xB4);
        const float g[4] = {1.446f, 1.405f, 1.016f, 0};
        SetGains(C, g);
      } else {
        const float g[4] = {1.785f, 0, 1.266f, 0};
        SetGains(C, g);
      }
      break;
    case TFinish::CanonG2: {
      const bool g2 = Is(C.Model, "PowerShot G2") || Is(C.Model, "PowerShot S40");
      const float a[4] = {1.965f, 0, 1.208f, 0}, b[4] = {1.855f, 0, 1.339f, 0};
      SetGains(C, g2 ? a : b);
      break;
    }
    case TFinish::CanonKiss: {
      const float a[4] = {2.242f, 0, 1.245f, 0}, b[4] = {1.882f, 0, 1.094f, 0};
      SetGains(C, Is(C.Model, "EOS Kiss Digital") ? b : a);
      break;
    }
    case TFinish::NikonD1X: C.PixelAspectY = 2; break;
    case TFinish::NikonD100:
      if (C.StripCompression == 34713 && C.SensorLoader == nikon_packed12_load_raw) {
        C.ImageWidth += 3;
        C.SensorWidth = C.ImageWidth + 3;
      }
      break;
    case TFinish::NikonE950: set_e950_matrix(C); break;
    case TFinish::NikonE990:
      if (is_coolpix990(C)) {
        C.CfaPattern = P(0xB4);
        const float g[4] = {1.196f, 1.246f, 1.018f, 0};
        SetGains(C, g);
        set_e950_matrix(C);
      } else {
        C.SetText(C.Model, "E995");
        C.CfaPattern = P(0xE1);
        const float g[4] = {1.253f, 1.178f, 0, 1.035f};
        SetGains(C, g);
      }
      break;
    case TFinish::NikonE2100:
      if (is_coolpix2100(C)) {
        C.ImageHeight = 1206;
        const float g[4] = {1.945f, 0, 1.04f, 0};
        SetGains(C, g);
        C.SensorLoader = coolpix2100_load_raw;
      } else {
        C.SetText(C.Model, "E2500");
        C.ImageHeight = 1204;
        C.ColorCount = 4;
        C.CfaPattern = P(0x4B);
        const float g[4] = {1.3f, 1.3f, 0, 1.148f};
        SetGains(C, g);
      }
      break;
    case TFinish::NikonE4300:
      if (is_dimage_z2(C)) {
        C.SetText(C.Maker, "Minolta");
        C.SetText(C.Model, "DiMAGE Z2");
        C.SensorLoader = coolpix2100_load_raw;
      }
      break;
    case TFinish::GainsAt2032: ReadCameraGains(C, 2032); break;
    case TFinish::Minolta: FinishMinolta(C); break;
    case TFinish::PhaseOne: FinishPhaseOne(C); break;
    case TFinish::Sinar:
      C.Seek(14);
      C.ImageHeight = int32_t(C.Get4());
      C.ImageWidth = int32_t(C.Get4());
      break;
    case TFinish::Leaf:
      if (C.ImageHeight > C.ImageWidth) C.CfaPattern = P(0x16);
      break;
    case TFinish::SonyF828: set_f828_matrix(C); break;
    case TFinish::Kodak: return FinishKodak(C);
    case TFinish::Rollei:
      if (C.SensorWidth == 1316) {
        C.ImageHeight = 1030;
        C.ImageWidth = 1300;
        C.TopBorder = 1;
        C.LeftBorder = 6;
      } else if (C.SensorWidth == 2568) {
        C.ImageHeight = 1960;
        C.ImageWidth = 2560;
        C.TopBorder = 2;
        C.LeftBorder = 8;
      }
      break;
    case TFinish::Sigma:
      if (C.SensorHeight == 763) {
        C.ImageHeight = 756;
        C.TopBorder = 2;
      } else if (C.SensorHeight == 1531) {
        C.ImageHeight = 1514;
        C.TopBorder = 7;
      }
      if (C.SensorWidth == 1152) {
        C.ImageWidth = 1136;
        C.LeftBorder = 8;
      } else if (C.SensorWidth == 2304) {
        C.ImageWidth = 2271;
        C.LeftBorder = 17;
      }
      C.CfaPattern = 0;
      C.LayeredSensor = 1;
      if (Is(C.Model, "SD10")) {
        C.ChannelGains[0] *= 2.07f;
        C.ChannelGains[2] *= 2.3f;
      }
      if (2 * C.ImageHeight < C.ImageWidth) C.PixelAspectY = 2;
      set_foveon_matrix(C);
      break;
  }
  return true;
}

}  // namespace

bool QxApplyCameraTable(TQxRawContext& C) {
  for (const TCameraRow& r : kCameras) {
    if (!Matches(C, r)) continue;
    if (r.Height) C.ImageHeight = r.Height;
    if (r.Width) C.ImageWidth = r.Width;
    if (r.SensorHeight) C.SensorHeight = r.SensorHeight;
    if (r.SensorWidth) C.SensorWidth = r.SensorWidth;
    if (r.Top) C.TopBorder = r.Top;
    if (r.Left) C.LeftBorder = r.Left;
    if (r.Colors) C.ColorCount = r.Colors;
    if (r.Pattern) C.CfaPattern = r.Pattern;
    if (r.Black) C.BlackLevel = r.Black;
    if (r.White) C.WhiteLevel = r.White;
    SetGains(C, r.Gains);
    if (r.Loader.Routine) {
      C.SensorLoader = r.Loader.Routine;
      std::memcpy(C.LoaderArgs, r.Loader.Args, sizeof(C.LoaderArgs));
    }
    if (r.DataOffset) C.SensorDataOffset = r.DataOffset;
    return Finish(C, r.Finish);
  }
  return true;
}
