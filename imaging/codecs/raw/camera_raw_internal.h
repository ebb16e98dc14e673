#pragma once
// The working record of one camera-raw read and the routines of the reader's stages. Shared by the
// camera_raw*.cpp units and their tests; nothing here outlives one call of the reader or the probe.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <memory>
#include <string>
#include <vector>

#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/types.h"
#include "platform/base/exceptions.h"

class TStream;
class TQxBitmap;
class TIOParamsVals;

QV_EXCEPTION_CLASS(EQxRawError, Exception)

struct TQxRawContext;
using TQxRawLoader = void (*)(TQxRawContext&);

struct TQxRawNode {
  int32_t Child[2] = {0, 0};  // 0: none (node 0 is always a root, never a child)
  int32_t Leaf = 0;
};

// Zeroed working memory. Large blocks come straight from the system in huge pages, faulted in by every
// core at once: a 24-megapixel store is 192 MB, and touching it page by page on one thread costs more than
// decoding into it.
struct TQxRawPages {
  void* Memory = nullptr;
  size_t Bytes = 0;
  bool Mapped = false;
  TQxRawPages() = default;
  TQxRawPages(const TQxRawPages&) = delete;
  TQxRawPages& operator=(const TQxRawPages&) = delete;
  ~TQxRawPages() { Release(); }
  // Touch: fault the pages in now, on every core (else the first writer does).
  void Allocate(size_t Size, bool Touch = true);  // throws std::bad_alloc
  void Release();
  void Swap(TQxRawPages& Other) {
    std::swap(Memory, Other.Memory);
    std::swap(Bytes, Other.Bytes);
    std::swap(Mapped, Other.Mapped);
  }
};

// The passes after loading run fused, over bands of rows on every core; false runs them one after another
// over the whole store, the plain form they must agree with.
extern bool QxRawFusedPasses;

struct TQxRawContext {
  // StoreHeight x StoreWidth cells of four values, zero when allocated.
  TQxRawPages Store;
  uint16_t (*Pixels)[4] = nullptr;
  void AllocateStore(int64_t Cells, bool Touch = true);  // throws std::bad_alloc
  void FreeStore() {
    Store.Release();
    Pixels = nullptr;
  }
  // Rows a loader has decoded but not put into the store: PendingRow gives row Row as the store would hold
  // it, every cell of the row written; with Balance (65536 values a channel) each value v of channel c is
  // given as Balance[c * 65536 + v]. The reader sets DeferPlacement when the passes after loading can take
  // rows this way; place_pending_rows puts them into the store for any other reader of it.
  bool DeferPlacement = false;
  std::function<void(int32_t Row, uint16_t (*Cells)[4], const uint16_t* Balance)> PendingRow;
  TQxRawPages PendingMemory;
  std::atomic<int64_t> PendingDecoded{0};  // the loader's own count behind PendingRow
  // Set by the reader when the passes after loading can run while the loader decodes: a loader that leaves
  // its rows pending calls it once they are (Rows 0), then as rows from the top are finished, and with
  // every row at the end. PendingRow must not be asked for a row before it is handed on.
  std::function<void(int32_t Rows)> RowsDecoded;
  TStream* Stream = nullptr;
  TQxBufferedReadStream* Buffered = nullptr;  // Stream, when it is the read-ahead one
  uint16_t ByteOrder = 0x4949;
  char Maker[64] = {}, Model[64] = {}, ModelExtra[64] = {};
  int32_t SensorDataOffset = 0;
  int32_t ToneCurveOffset = 0, ToneCurveCount = 0;
  int32_t StripCompression = 0;
  int32_t KodakColorFormat = 0;
  int32_t SensorHeight = 0, SensorWidth = 0;
  int32_t TopBorder = 0, LeftBorder = 0;
  int32_t ImageHeight = 0, ImageWidth = 0;
  int32_t ColorCount = 3;
  int32_t BlackLevel = 0, WhiteLevel = 16384;
  int32_t StoreHeight = 0, StoreWidth = 0;
  int32_t HalfSize = 0;
  int32_t MakerIsCanon = 0, CmySensor = 0, LayeredSensor = 0, HasColorMatrix = 0;
  int32_t EdgeTrim = 0;
  int32_t Orientation = 0;
  int32_t PixelAspectX = 1, PixelAspectY = 1;
  int32_t SkipStuffedZero = 0;
  uint32_t CfaPattern = 0x94949494u;
  uint16_t WhiteSamples[8][8] = {};
  TQxRawLoader SensorLoader = nullptr;
  int32_t LoaderArgs[3] = {0, 0, 0};  // the form of a loader with variants (byte order and shift, sizes)
  float Gamma = 0.6f, Brightness = 1.0f, RedScale = 1.0f, BlueScale = 1.0f;
  int32_t SplitGreens = 0, MonoDocument = 0, QuickInterpolate = 0, AutoBalance = 0, CameraBalance = 0,
          FujiSecondary = 0;
  float CameraRedGain = 0, CameraBlueGain = 0;
  float ChannelGains[4] = {1, 1, 1, 1};
  float ColorMatrix[3][4] = {};
  int32_t LumaHistogram[8192] = {};
  uint32_t BitBuffer = 0;
  int32_t BitCount = 0;
  TQxRawNode Nodes[2048];
  int32_t FreeNode = 0;
  int32_t SecondRoot = 0;
  int32_t KodakRoots[18] = {};
  int32_t LeafCounter = 0;
  bool DiagonalLayout = false;
  TQxProgressInfo Progress;

  // Identification's view of the file.
  uint8_t Head[32] = {};
  int64_t FileSize = 0;
  int32_t HeaderLength = 0;
  int64_t BlackSum = 0;
  int64_t PastEnd = 0;  // bytes asked for beyond the end of the stream
  // Directory entries and heap records the parsers may still read: nested directories and heaps of a
  // damaged file could otherwise multiply into years of work.
  int64_t ParseBudget = 0;
  bool Spend() { return --ParseBudget >= 0; }
  uint32_t SonyPad[128] = {};
  int32_t SonyIndex = 0;
  int32_t CanonTreeSet = -1;  // set chosen by CIFF record 0x1835; -1 before
  std::vector<double> ToneTable;
  // Decoding tables derived from the Huffman trees (speed only; the trees stay the reference).
  struct TFastTable {
    std::vector<int32_t> Entry;  // per 10-bit prefix: leaf << 8 | bits used, or -1
  } Fast[2];
  std::string Error;  // why the file is not supported

  // ---- reading, by ByteOrder --------------------------------------------------------------------------
  // The next byte, -1 at the end (counted in PastEnd).
  inline int32_t GetC() {
    uint8_t b;
    if (Buffered ? Buffered->ReadByte(b) : ReadOne(b)) return b;
    ++PastEnd;
    return -1;
  }
  bool ReadOne(uint8_t& B);
  uint16_t Get2();
  uint32_t Get4();
  uint16_t Sget2(const uint8_t* s) const;
  uint32_t Sget4(const uint8_t* s) const;
  int64_t Read(void* Buffer, int64_t Count);
  void Seek(int64_t Position);
  void Skip(int64_t Count);
  int64_t Tell();

  void SetText(char* Field, const char* Text);
  void ReadText(char* Field);  // 64 bytes from the stream, cut at 63

  // Puts a photosite of the visible image into its cell by the colour pattern; outside the image nothing.
  inline void Put(int32_t Row, int32_t Col, int32_t Value) {
    if (uint32_t(Row) >= uint32_t(ImageHeight) || uint32_t(Col) >= uint32_t(ImageWidth)) return;
    const int64_t cell = int64_t(Row >> HalfSize) * StoreWidth + (Col >> HalfSize);
    Pixels[cell][ColorAt(Row, Col)] = uint16_t(Value);
  }
  inline int32_t ColorAt(int32_t Row, int32_t Col) const {
    return int32_t(CfaPattern >> ((((Row << 1) & 14) + (Col & 1)) << 1) & 3);
  }
  inline uint16_t* CellAt(int32_t Row, int32_t Col) {
    if (uint32_t(Row) >= uint32_t(ImageHeight) || uint32_t(Col) >= uint32_t(ImageWidth)) return nullptr;
    return Pixels[int64_t(Row >> HalfSize) * StoreWidth + (Col >> HalfSize)];
  }
  void ReportRow(int32_t Row);
  void StartProgress(int32_t Rows);
};

// ---- identification (camera_raw.cpp) -------------------------------------------------------------
void QxRawPrepareContext(TQxRawContext& C);
int32_t identify_camera(TQxRawContext& C);

// ---- containers (camera_raw_containers.cpp) ------------------------------------------------------
void parse_tiff_directories(TQxRawContext& C, int32_t Base);
void parse_ciff_heap(TQxRawContext& C, int32_t Offset, int32_t Length, int32_t Depth = 0);
void parse_rollei_header(TQxRawContext& C);
void parse_foveon(TQxRawContext& C);
bool nikon_data_is_compressed(TQxRawContext& C);
bool is_coolpix990(TQxRawContext& C);
bool is_coolpix2100(TQxRawContext& C);
bool is_dimage_z2(TQxRawContext& C);
void QxReadCiffMetadata(TQxBufferedReadStream& Stream, TIOParamsVals& Params);

// ---- camera table (camera_raw_table.cpp) ---------------------------------------------------------
// False when the camera ends up unsupported.
bool QxApplyCameraTable(TQxRawContext& C);

// ---- shared decoder machinery and loaders (camera_raw_decoders.cpp) -------------------------------
uint32_t read_bits(TQxRawContext& C, int32_t N);
void reset_huffman_nodes(TQxRawContext& C);
const uint8_t* build_huffman_tree(TQxRawContext& C, const uint8_t* Table, int32_t Depth, const uint8_t* End);
void build_canon_trees(TQxRawContext& C, int32_t Set);
int32_t decode_symbol(TQxRawContext& C, int32_t Root);
int32_t sign_rule(uint32_t V, int32_t L);

void canon_compressed_load_raw(TQxRawContext& C);
void nikon_compressed_load_raw(TQxRawContext& C);
void nikon_packed12_load_raw(TQxRawContext& C);
void lossless_huffman_load_raw(TQxRawContext& C);
// True when the gains cannot depend on the sensor data: the loader leaves the black and white levels as
// they are and no balance is measured on the picture.
bool gains_known_before_loading(const TQxRawContext& C);
// True when the loader leaves its rows pending when asked (DeferPlacement): it writes no store.
bool loader_defers_placement(const TQxRawContext& C);
// The most photosites one byte of the file can give with the chosen loader (its coding's greatest
// expansion), so that a size field the data cannot fill is refused before allocating.
double loader_pixels_per_byte(const TQxRawContext& C);
// True when the loader asked for more bytes than the file holds: the picture is cut off.
bool loader_ran_out_of_data(const TQxRawContext& C);
void foveon_huffman_load_raw(TQxRawContext& C);
void sony_keyed_load_raw(TQxRawContext& C);
void sony_keystream_xor(TQxRawContext& C, uint32_t* Words, int32_t Count, bool Start, uint32_t Key);
void phase_one_xor_load_raw(TQxRawContext& C);
void finepix_s2_diagonal_load_raw(TQxRawContext& C);
void finepix_diagonal_load_raw(TQxRawContext& C);  // LoaderArgs: ncol, icol, nrow; skip when LoaderArgs[0]=1472
void finepix_f700_diagonal_load_raw(TQxRawContext& C);
void powershot600_load_raw(TQxRawContext& C);
void powershot_packed10_load_raw(TQxRawContext& C);
void coolpix950_load_raw(TQxRawContext& C);
void coolpix2100_load_raw(TQxRawContext& C);
void msb_packed12_load_raw(TQxRawContext& C);
void unpacked_load_raw(TQxRawContext& C);  // LoaderArgs: 0 big-endian / 1 little-endian, shift
void olympus_interlaced12_load_raw(TQxRawContext& C);
void eight_bit_load_raw(TQxRawContext& C);
void casio_packed10_load_raw(TQxRawContext& C);
void nucore_load_raw(TQxRawContext& C);
void rollei_d530_load_raw(TQxRawContext& C);
void imacon_flipped_load_raw(TQxRawContext& C);

// ---- Kodak (camera_raw_kodak.cpp) ------------------------------------------------------------------
void read_kodak_tone_curve(TQxRawContext& C, uint16_t* Curve);
void kodak_easy_load_raw(TQxRawContext& C);
void kodak_blocked_diff_load_raw(TQxRawContext& C);
void kodak_ycc_load_raw(TQxRawContext& C);
void kodak_tree_coded_load_raw(TQxRawContext& C);
void kodak_jpeg_pair_load_raw(TQxRawContext& C);
void kodak_rotated_rows_load_raw(TQxRawContext& C);
int32_t read_tree_token(TQxRawContext& C, int32_t Tree);

// ---- colour and output (camera_raw_color.cpp) ----------------------------------------------------
void set_dc20_matrix(TQxRawContext& C, float Weight);
void set_f828_matrix(TQxRawContext& C);
void set_e950_matrix(TQxRawContext& C);
void set_foveon_matrix(TQxRawContext& C);
void derive_cmyg_matrix(TQxRawContext& C);
void place_pending_rows(TQxRawContext& C);
void compute_channel_gains(TQxRawContext& C);  // the gains alone; apply_channel_gains applies them too
void apply_channel_gains(TQxRawContext& C);
// Gains, vng_interpolate and convert_camera_colors fused; Wait(Row), when given, returns once the row can be
// read (the loader may still be decoding the rows below it). Threads > 0 runs the bands on that many
// threads of their own instead of every core.
void balance_interpolate_convert(TQxRawContext& C, const std::function<void(int32_t Row)>& Wait = nullptr,
                                 int32_t Threads = 0);
void vng_interpolate(TQxRawContext& C);
void convert_camera_colors(TQxRawContext& C);
void write_ppm(TQxRawContext& C, TQxBitmap* Bitmap, TIOParamsVals& Params, bool Deep);

// ---- Foveon (camera_raw_foveon.cpp) ---------------------------------------------------------------
// LastPass below 7 stops after that pass, so that each pass can be checked on its own.
void foveon_interpolate(TQxRawContext& C, int32_t LastPass = 7);
int32_t apply_step_curve(int32_t I, const int16_t* Curve, int32_t N);
