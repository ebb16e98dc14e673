#include "imaging/codecs/jpeg2000_lib.h"

#include <openjpeg.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>

#include "platform/base/streams.h"

// The library calls back into plain C functions; every C++ exception is caught inside them and turned
// into the library's own failure value, so nothing unwinds through its frames.
namespace {

void Quiet(const char*, void*) {}

struct CodecDeleter {
  void operator()(opj_codec_t* C) const { opj_destroy_codec(C); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* S) const { opj_stream_destroy(S); }
};
struct ImageDeleter {
  void operator()(opj_image_t* I) const { opj_image_destroy(I); }
};
using CodecPtr = std::unique_ptr<opj_codec_t, CodecDeleter>;
using StreamPtr = std::unique_ptr<opj_stream_t, StreamDeleter>;
using ImagePtr = std::unique_ptr<opj_image_t, ImageDeleter>;

void Silence(opj_codec_t* C) {
  opj_set_info_handler(C, Quiet, nullptr);
  opj_set_warning_handler(C, Quiet, nullptr);
  opj_set_error_handler(C, Quiet, nullptr);
}

// ---- reading straight from the caller's stream ----

struct ReadBridge {
  TStream* Stream;
  int64_t Base;  // caller's position at the start: the library's offset 0
  int64_t End;
};

OPJ_SIZE_T BridgeRead(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* B = static_cast<ReadBridge*>(User);
  try {
    const int64_t pos = B->Stream->Position();
    const int64_t avail = B->End - pos;
    if (avail <= 0) return static_cast<OPJ_SIZE_T>(-1);
    const int64_t want = std::min<int64_t>(avail, static_cast<int64_t>(std::min<OPJ_SIZE_T>(Count, INT64_MAX)));
    const int64_t got = B->Stream->Read(Buffer, want);
    return got > 0 ? static_cast<OPJ_SIZE_T>(got) : static_cast<OPJ_SIZE_T>(-1);
  } catch (...) {
    return static_cast<OPJ_SIZE_T>(-1);
  }
}

OPJ_OFF_T BridgeSkip(OPJ_OFF_T Count, void* User) {
  auto* B = static_cast<ReadBridge*>(User);
  try {
    const int64_t pos = B->Stream->Position();
    const int64_t target = pos + Count;
    if (target < B->Base || target > B->End) {
      B->Stream->Seek(target < B->Base ? B->Base : B->End, TSeekOrigin::soBeginning);
      return -1;
    }
    B->Stream->Seek(target, TSeekOrigin::soBeginning);
    return Count;
  } catch (...) {
    return -1;
  }
}

OPJ_BOOL BridgeSeek(OPJ_OFF_T Offset, void* User) {
  auto* B = static_cast<ReadBridge*>(User);
  try {
    if (Offset < 0 || Offset > B->End - B->Base) return OPJ_FALSE;
    B->Stream->Seek(B->Base + Offset, TSeekOrigin::soBeginning);
    return OPJ_TRUE;
  } catch (...) {
    return OPJ_FALSE;
  }
}

// ---- writing into memory, handed to the caller's stream only when the whole encoding succeeded ----

struct WriteBridge {
  std::vector<uint8_t> Data;
  size_t Pos = 0;
};

OPJ_SIZE_T BridgeWrite(void* Buffer, OPJ_SIZE_T Count, void* User) {
  auto* B = static_cast<WriteBridge*>(User);
  try {
    if (B->Pos + Count > B->Data.size()) B->Data.resize(B->Pos + Count);
    std::memcpy(B->Data.data() + B->Pos, Buffer, Count);
    B->Pos += Count;
    return Count;
  } catch (...) {
    return static_cast<OPJ_SIZE_T>(-1);
  }
}

OPJ_OFF_T BridgeWriteSkip(OPJ_OFF_T Count, void* User) {
  auto* B = static_cast<WriteBridge*>(User);
  const int64_t target = static_cast<int64_t>(B->Pos) + Count;
  if (target < 0) return -1;
  B->Pos = static_cast<size_t>(target);
  return Count;
}

OPJ_BOOL BridgeWriteSeek(OPJ_OFF_T Offset, void* User) {
  auto* B = static_cast<WriteBridge*>(User);
  if (Offset < 0) return OPJ_FALSE;
  B->Pos = static_cast<size_t>(Offset);
  return OPJ_TRUE;
}

int64_t CeilDiv(int64_t A, int64_t B) { return (A + B - 1) / B; }

int32_t ClampToInt(int64_t V) {
  return static_cast<int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

bool ConvertImage(const opj_image_t& Src, TQxJ2kImage& Image) {
  if (Src.x1 <= Src.x0 || Src.y1 <= Src.y0 || Src.numcomps == 0 || !Src.comps) return false;
  const int64_t w = int64_t(Src.x1) - Src.x0, h = int64_t(Src.y1) - Src.y0;
  if (w > INT32_MAX || h > INT32_MAX) return false;
  Image.Width = static_cast<int32_t>(w);
  Image.Height = static_cast<int32_t>(h);
  switch (Src.color_space) {
    case OPJ_CLRSPC_GRAY: Image.ColorSpace = TQxJ2kColorSpace::Gray; break;
    case OPJ_CLRSPC_SRGB: Image.ColorSpace = TQxJ2kColorSpace::RGB; break;
    case OPJ_CLRSPC_SYCC: Image.ColorSpace = TQxJ2kColorSpace::YCbCr; break;
    case OPJ_CLRSPC_UNKNOWN:
    case OPJ_CLRSPC_UNSPECIFIED: Image.ColorSpace = TQxJ2kColorSpace::Unknown; break;
    default: Image.ColorSpace = TQxJ2kColorSpace::Other; break;
  }
  Image.Components.clear();
  Image.Components.resize(Src.numcomps);
  int32_t colour = 0;
  for (OPJ_UINT32 i = 0; i < Src.numcomps; ++i) {
    const opj_image_comp_t& c = Src.comps[i];
    TQxJ2kComponent& d = Image.Components[i];
    if (!c.data || c.w == 0 || c.h == 0 || c.w > INT32_MAX || c.h > INT32_MAX || c.dx == 0 || c.dy == 0)
      return false;
    d.Width = static_cast<int32_t>(c.w);
    d.Height = static_cast<int32_t>(c.h);
    d.Precision = static_cast<int32_t>(c.prec);
    d.Signed = c.sgnd != 0;
    d.HStep = ClampToInt(c.dx);
    d.VStep = ClampToInt(c.dy);
    d.Left = ClampToInt(int64_t(c.x0) * c.dx - Src.x0);
    d.Top = ClampToInt(int64_t(c.y0) * c.dy - Src.y0);
    d.Type = c.alpha ? QxJ2kTypeOpacity : colour++;
    d.External = c.data;
  }
  return true;
}

struct EncodeOptions {
  double Rate = 1.0;
  OPJ_PROG_ORDER Order = OPJ_PROG_UNKNOWN;
};

EncodeOptions ParseOptions(const std::string& Text) {
  EncodeOptions o;
  std::istringstream in(Text);
  std::string word;
  while (in >> word) {
    const auto eq = word.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
    if (key == "rate") {
      double v = 0;
      auto r = std::from_chars(value.data(), value.data() + value.size(), v);
      if (r.ec == std::errc()) o.Rate = v;
    } else if (key == "prg") {
      if (value == "lrcp") o.Order = OPJ_LRCP;
      else if (value == "rlcp") o.Order = OPJ_RLCP;
      else if (value == "rpcl") o.Order = OPJ_RPCL;
      else if (value == "pcrl") o.Order = OPJ_PCRL;
      else if (value == "cprl") o.Order = OPJ_CPRL;
    }
  }
  return o;
}

}  // namespace

int32_t TQxJ2kImage::ComponentByType(int32_t Type) const {
  for (size_t i = 0; i < Components.size(); ++i)
    if (Components[i].Type == Type) return static_cast<int32_t>(i);
  return -1;
}

int64_t QxJ2kSampleBudget(int64_t StreamBytes) {
  // Even a blank picture costs a few bytes per tile and resolution; a stream promising thousands of samples
  // for each of its bytes is refused before the library allocates for them.
  constexpr int64_t Floor = int64_t(1) << 24, Ceiling = int64_t(1) << 31, PerByte = 4096;
  if (StreamBytes < 0) StreamBytes = 0;
  const int64_t byData = StreamBytes > Ceiling / PerByte ? Ceiling : StreamBytes * PerByte;
  return std::clamp(byData, Floor, Ceiling);
}

bool QxJ2kDecode(TStream& Stream, TQxJ2kContainer Container, TQxJ2kImage& Image, int64_t MaxPixels) {
  // A stream that cannot tell its size is taken into memory first: the library needs the length.
  std::unique_ptr<TMemoryStream> copy;
  TStream* src = &Stream;
  try {
    if (!Stream.SizeKnown()) {
      copy = std::make_unique<TMemoryStream>();
      std::vector<uint8_t> chunk(1 << 16);
      for (;;) {
        const int64_t got = Stream.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
        if (got <= 0) break;
        copy->WriteBuffer(chunk.data(), got);
      }
      copy->SetPosition(0);
      src = copy.get();
    }
  } catch (...) {
    return false;
  }

  ReadBridge bridge{src, 0, 0};
  try {
    bridge.Base = src->Position();
    bridge.End = src->Size();
  } catch (...) {
    return false;
  }
  if (bridge.End <= bridge.Base) return false;
  const int64_t length = bridge.End - bridge.Base;

  CodecPtr codec(opj_create_decompress(Container == TQxJ2kContainer::JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) return false;
  Silence(codec.get());
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(codec.get(), &params)) return false;
  // A truncated stream is a failure, not a partly decoded picture.
  opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE);

  StreamPtr stream(opj_stream_create(1 << 16, OPJ_TRUE));
  if (!stream) return false;
  opj_stream_set_user_data(stream.get(), &bridge, nullptr);
  opj_stream_set_user_data_length(stream.get(), static_cast<OPJ_UINT64>(length));
  opj_stream_set_read_function(stream.get(), BridgeRead);
  opj_stream_set_skip_function(stream.get(), BridgeSkip);
  opj_stream_set_seek_function(stream.get(), BridgeSeek);

  opj_image_t* raw = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &raw)) {
    if (raw) opj_image_destroy(raw);
    return false;
  }
  ImagePtr img(raw);
  if (!img || img->numcomps == 0 || img->x1 <= img->x0 || img->y1 <= img->y0) return false;
  int64_t samples = 0;
  for (OPJ_UINT32 i = 0; i < img->numcomps; ++i) {
    const opj_image_comp_t& c = img->comps[i];
    if (c.dx == 0 || c.dy == 0) return false;
    const int64_t cw = CeilDiv(img->x1, c.dx) - CeilDiv(img->x0, c.dx);
    const int64_t ch = CeilDiv(img->y1, c.dy) - CeilDiv(img->y0, c.dy);
    samples += cw * ch;
  }
  const int64_t w = int64_t(img->x1) - img->x0, h = int64_t(img->y1) - img->y0;
  if (w > INT32_MAX || h > INT32_MAX || w * h > MaxPixels || samples > QxJ2kSampleBudget(length)) return false;

  if (!opj_decode(codec.get(), stream.get(), img.get())) return false;
  if (!opj_end_decompress(codec.get(), stream.get())) return false;
  // A palette may have widened the picture after the check above.
  samples = 0;
  for (OPJ_UINT32 i = 0; i < img->numcomps; ++i) samples += int64_t(img->comps[i].w) * img->comps[i].h;
  if (samples > QxJ2kSampleBudget(length)) return false;
  try {
    if (!ConvertImage(*img, Image)) return false;
    Image.Keep = std::shared_ptr<opj_image_t>(img.release(), ImageDeleter());
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool QxJ2kEncode(TStream& Stream, const TQxJ2kImage& Image, TQxJ2kContainer Container, const std::string& Options) {
  const size_t n = Image.Components.size();
  if (Image.Width <= 0 || Image.Height <= 0 || n == 0 || n > 16384) return false;
  const size_t pixels = size_t(Image.Width) * size_t(Image.Height);
  std::vector<opj_image_cmptparm_t> parms(n);
  for (size_t i = 0; i < n; ++i) {
    const TQxJ2kComponent& c = Image.Components[i];
    if (c.Width != Image.Width || c.Height != Image.Height || (!c.External && c.Samples.size() != pixels) ||
        c.Precision < 1 || c.Precision > 16)
      return false;
    opj_image_cmptparm_t& p = parms[i];
    std::memset(&p, 0, sizeof p);
    p.dx = p.dy = 1;
    p.w = static_cast<OPJ_UINT32>(Image.Width);
    p.h = static_cast<OPJ_UINT32>(Image.Height);
    p.prec = static_cast<OPJ_UINT32>(c.Precision);
    p.sgnd = 0;
  }
  OPJ_COLOR_SPACE cs = OPJ_CLRSPC_UNSPECIFIED;
  if (Image.ColorSpace == TQxJ2kColorSpace::Gray) cs = OPJ_CLRSPC_GRAY;
  else if (Image.ColorSpace == TQxJ2kColorSpace::RGB) cs = OPJ_CLRSPC_SRGB;
  else if (Image.ColorSpace == TQxJ2kColorSpace::YCbCr) cs = OPJ_CLRSPC_SYCC;
  ImagePtr img(opj_image_create(static_cast<OPJ_UINT32>(n), parms.data(), cs));
  if (!img) return false;
  img->x0 = img->y0 = 0;
  img->x1 = static_cast<OPJ_UINT32>(Image.Width);
  img->y1 = static_cast<OPJ_UINT32>(Image.Height);
  for (size_t i = 0; i < n; ++i) {
    img->comps[i].alpha = Image.Components[i].Type == QxJ2kTypeOpacity ? 1 : 0;
    std::memcpy(img->comps[i].data, Image.Components[i].Data(), pixels * sizeof(int32_t));
  }

  const EncodeOptions o = ParseOptions(Options);
  opj_cparameters_t cp;
  opj_set_default_encoder_parameters(&cp);
  cp.tcp_numlayers = 1;
  cp.cp_disto_alloc = 1;
  // The rate is a fraction of the uncompressed size, the library's figure its inverse; 1 or more (or no
  // number at all) puts no limit on the size and codes losslessly.
  if (std::isfinite(o.Rate) && o.Rate < 1.0)
    cp.tcp_rates[0] = static_cast<float>(1.0 / std::max(o.Rate, 1e-6));
  else
    cp.tcp_rates[0] = 0;
  if (o.Order != OPJ_PROG_UNKNOWN) cp.prog_order = o.Order;
  cp.tcp_mct = n >= 3 ? 1 : 0;
  // Small pictures cannot carry the default number of decomposition levels.
  int32_t side = std::min(Image.Width, Image.Height), levels = 0;
  while (side > 1 && levels < cp.numresolution - 1) {
    side >>= 1;
    ++levels;
  }
  cp.numresolution = levels + 1;

  CodecPtr codec(opj_create_compress(Container == TQxJ2kContainer::JP2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) return false;
  Silence(codec.get());
  if (!opj_setup_encoder(codec.get(), &cp, img.get())) return false;

  WriteBridge out;
  StreamPtr stream(opj_stream_create(1 << 16, OPJ_FALSE));
  if (!stream) return false;
  opj_stream_set_user_data(stream.get(), &out, nullptr);
  opj_stream_set_write_function(stream.get(), BridgeWrite);
  opj_stream_set_skip_function(stream.get(), BridgeWriteSkip);
  opj_stream_set_seek_function(stream.get(), BridgeWriteSeek);
  if (!opj_start_compress(codec.get(), img.get(), stream.get())) return false;
  if (!opj_encode(codec.get(), stream.get())) return false;
  if (!opj_end_compress(codec.get(), stream.get())) return false;
  stream.reset();
  if (out.Data.empty()) return false;
  try {
    Stream.WriteBuffer(out.Data.data(), static_cast<int64_t>(out.Data.size()));
  } catch (...) {
    return false;
  }
  return true;
}
