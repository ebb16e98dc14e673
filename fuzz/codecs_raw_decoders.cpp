// Feeds arbitrary bytes to every camera-raw sensor loader over a small picture whose size and pattern come
// from the first bytes, then runs the colour stages on what they decoded; and reads the bytes as a whole file.
#include <cstring>
#include <vector>

#include "fuzz/io_common.inc"
#include "imaging/codecs/raw/camera_raw.h"
#include "imaging/codecs/raw/camera_raw_internal.h"
#include "imaging/codecs/codecs.h"

namespace {

struct RawInit {
  RawInit() {
    QxRegisterFurtherCodecs();
  }
};
RawInit rawInit;

struct Form {
  TQxRawLoader Loader;
  int32_t Args[3];
};

const Form kForms[] = {
    {canon_compressed_load_raw, {}},   {nikon_compressed_load_raw, {}},   {nikon_packed12_load_raw, {}},
    {lossless_huffman_load_raw, {}},   {foveon_huffman_load_raw, {}},     {sony_keyed_load_raw, {}},
    {phase_one_xor_load_raw, {}},      {finepix_s2_diagonal_load_raw, {}}, {finepix_diagonal_load_raw, {2048, 2047, 3080}},
    {finepix_diagonal_load_raw, {1472, 1423, 2152}}, {finepix_f700_diagonal_load_raw, {}}, {powershot600_load_raw, {}},
    {powershot_packed10_load_raw, {}}, {coolpix950_load_raw, {}},         {coolpix2100_load_raw, {}},
    {msb_packed12_load_raw, {}},       {unpacked_load_raw, {0, -4, 0}},   {unpacked_load_raw, {1, 2, 0}},
    {olympus_interlaced12_load_raw, {}}, {eight_bit_load_raw, {}},        {casio_packed10_load_raw, {}},
    {nucore_load_raw, {}},             {rollei_d530_load_raw, {}},        {imacon_flipped_load_raw, {}},
    {kodak_easy_load_raw, {}},         {kodak_blocked_diff_load_raw, {}}, {kodak_ycc_load_raw, {}},
    {kodak_tree_coded_load_raw, {}},   {kodak_jpeg_pair_load_raw, {}},    {kodak_rotated_rows_load_raw, {}},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  const uint8_t* h = data;
  const Form& form = kForms[h[0] % (sizeof(kForms) / sizeof(kForms[0]))];
  FuzzInput in(data + 12, size - 12);
  auto ctx = std::make_unique<TQxRawContext>();
  TQxRawContext& C = *ctx;
  QxRawPrepareContext(C);
  C.Stream = &in.Stream;
  C.FileSize = int64_t(size - 12);
  C.ByteOrder = (h[1] & 1) ? 0x4949 : 0x4D4D;
  C.ImageHeight = 1 + h[2] % 64;
  C.ImageWidth = 1 + h[3] % 96;
  C.SensorHeight = C.ImageHeight + h[4] % 8;
  C.SensorWidth = C.ImageWidth + h[5] % 8;
  C.TopBorder = h[6] % 4;
  C.LeftBorder = h[7] % 4;
  static const uint32_t patterns[] = {0x94949494u, 0x61616161u, 0x16161616u, 0xB4B4B4B4u, 0xE1E4E1E4u, 0};
  C.CfaPattern = patterns[h[8] % 6];
  C.ColorCount = C.CfaPattern == 0xB4B4B4B4u || C.CfaPattern == 0xE1E4E1E4u ? 4 : 3;
  C.HalfSize = C.CfaPattern && (h[9] & 1) ? 1 : 0;
  C.SensorDataOffset = h[10];
  C.ToneCurveOffset = h[11];
  C.ToneCurveCount = h[11];
  C.StripCompression = (h[9] & 2) ? 34713 : 1;
  std::strcpy(C.Maker, (h[9] & 4) ? "KODAK" : "Canon");
  std::strcpy(C.Model, (h[9] & 8) ? "E4300" : "DC40");
  std::memcpy(C.LoaderArgs, form.Args, sizeof(C.LoaderArgs));
  C.StoreHeight = (C.ImageHeight + C.HalfSize) >> C.HalfSize;
  C.StoreWidth = (C.ImageWidth + C.HalfSize) >> C.HalfSize;
  C.AllocateStore(int64_t(C.StoreHeight) * C.StoreWidth);
  C.Progress = in.Progress;
  // Some runs leave the loader's rows pending and take the fused passes after it.
  const bool fused = (h[1] & 64) && !(h[1] & 2) && C.CfaPattern && !C.HalfSize;
  C.DeferPlacement = fused;
  if (fused && (h[1] & 128)) C.RowsDecoded = [](int32_t) {};  // rows handed on as they are decoded
  try {
    C.Seek(C.SensorDataOffset);
    form.Loader(C);
    C.ImageHeight = C.StoreHeight;
    C.ImageWidth = C.StoreWidth;
    if (!fused) place_pending_rows(C);
    if (h[1] & 2) {
      foveon_interpolate(C);
    } else if (fused) {
      C.AutoBalance = h[1] & 4;
      compute_channel_gains(C);
      if (C.ColorCount == 4) derive_cmyg_matrix(C);
      C.EdgeTrim = 1;
      balance_interpolate_convert(C, nullptr, (h[1] & 128) ? 2 : 0);
    } else {
      C.AutoBalance = h[1] & 4;
      apply_channel_gains(C);
      if (C.CfaPattern && !C.HalfSize) {
        C.EdgeTrim = 1;
        vng_interpolate(C);
      }
    }
    if (!fused) {
      if (C.ColorCount == 4) derive_cmyg_matrix(C);
      convert_camera_colors(C);
    }
    TQxBitmap bitmap;
    TIOParamsVals params;
    C.DiagonalLayout = h[1] & 8;
    write_ppm(C, &bitmap, params, h[1] & 16);
  } catch (const EQxRawError&) {
  } catch (const Exception&) {
  }
  {
    FuzzInput whole(data, size);
    TQxBitmap bitmap;
    TIOParamsVals params;
    params.RawHalfSize = h[1] & 32 ? 1 : 0;
    try {
      ReadCameraRawStream(&whole.Stream, &bitmap, params, whole.Progress, false);
    } catch (const Exception&) {
    }
  }
  return 0;
}
