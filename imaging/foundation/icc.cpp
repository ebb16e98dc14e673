#include "imaging/foundation/icc.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/foundation/bitmap.h"
#include "platform/base/streams.h"

int32_t QxColorLayoutBytes(TQxColorLayout Layout) {
  switch (Layout) {
    case TQxColorLayout::qxclCMYK: return 4;
    case TQxColorLayout::qxclCMYKWide:
    case TQxColorLayout::qxclRGB48:
    case TQxColorLayout::qxclRGB48Swapped: return 6;
    case TQxColorLayout::qxclGray: return 1;
    default: return 3;
  }
}

namespace {

bool IsLab(TQxColorLayout l) { return l == TQxColorLayout::qxclLab; }

cmsUInt32Number LcmsFormat(TQxColorLayout l) {
  switch (l) {
    case TQxColorLayout::qxclCMYK:
    case TQxColorLayout::qxclCMYKWide: return TYPE_CMYK_16;
    case TQxColorLayout::qxclLab: return TYPE_Lab_DBL;
    case TQxColorLayout::qxclGray: return TYPE_GRAY_16;
    case TQxColorLayout::qxclYCbCr: return TYPE_YCbCr_16;
    default: return TYPE_RGB_16;
  }
}

int Channels(TQxColorLayout l) {
  switch (l) {
    case TQxColorLayout::qxclCMYK:
    case TQxColorLayout::qxclCMYKWide: return 4;
    case TQxColorLayout::qxclGray: return 1;
    default: return 3;
  }
}

// Unpacks the caller's pixels into the library's work layout (16-bit channels, or doubles for Lab).
void Unpack(TQxColorLayout l, const uint8_t* s, void* work, int32_t count) {
  if (IsLab(l)) {
    auto* d = static_cast<double*>(work);
    for (int32_t i = 0; i < count; ++i, s += 3, d += 3) {
      d[0] = s[0] * 100.0 / 255.0;
      d[1] = static_cast<int8_t>(s[1]);
      d[2] = static_cast<int8_t>(s[2]);
    }
    return;
  }
  auto* d = static_cast<uint16_t*>(work);
  for (int32_t i = 0; i < count; ++i) {
    switch (l) {
      case TQxColorLayout::qxclBGR:
        d[0] = s[2] * 257; d[1] = s[1] * 257; d[2] = s[0] * 257;
        s += 3; d += 3;
        break;
      case TQxColorLayout::qxclCMYK:
        for (int c = 0; c < 4; ++c) d[c] = uint16_t(65535 - s[c] * 257);
        s += 4; d += 4;
        break;
      case TQxColorLayout::qxclCMYKWide:
        for (int c = 0; c < 4; ++c) d[c] = uint16_t(s[c] * 257);
        s += 6; d += 4;
        break;
      case TQxColorLayout::qxclGray:
        d[0] = s[0] * 257;
        s += 1; d += 1;
        break;
      case TQxColorLayout::qxclRGB48:
        for (int c = 0; c < 3; ++c) d[c] = uint16_t(s[2 * c] | (s[2 * c + 1] << 8));
        s += 6; d += 3;
        break;
      case TQxColorLayout::qxclRGB48Swapped:
        for (int c = 0; c < 3; ++c) d[c] = uint16_t((s[2 * c] << 8) | s[2 * c + 1]);
        s += 6; d += 3;
        break;
      default:  // RGB, YCbCr
        d[0] = s[0] * 257; d[1] = s[1] * 257; d[2] = s[2] * 257;
        s += 3; d += 3;
        break;
    }
  }
}

uint8_t SignedByte(double v) {
  return static_cast<uint8_t>(static_cast<int8_t>(std::clamp(std::trunc(v), -128.0, 127.0)));
}

void Pack(TQxColorLayout l, const void* work, uint8_t* o, int32_t count) {
  if (IsLab(l)) {
    const auto* s = static_cast<const double*>(work);
    for (int32_t i = 0; i < count; ++i, s += 3, o += 3) {
      o[0] = static_cast<uint8_t>(std::clamp(std::trunc(s[0] * 255.0 / 100.0), 0.0, 255.0));
      o[1] = SignedByte(s[1]);
      o[2] = SignedByte(s[2]);
    }
    return;
  }
  const auto* s = static_cast<const uint16_t*>(work);
  for (int32_t i = 0; i < count; ++i) {
    switch (l) {
      case TQxColorLayout::qxclBGR:
        o[0] = uint8_t(s[2] >> 8); o[1] = uint8_t(s[1] >> 8); o[2] = uint8_t(s[0] >> 8);
        o += 3; s += 3;
        break;
      case TQxColorLayout::qxclCMYK:
        for (int c = 0; c < 4; ++c) o[c] = uint8_t(255 - (s[c] >> 8));
        o += 4; s += 4;
        break;
      case TQxColorLayout::qxclCMYKWide:
        for (int c = 0; c < 4; ++c) o[c] = uint8_t(s[c] >> 8);
        o[4] = o[5] = 0;
        o += 6; s += 4;
        break;
      case TQxColorLayout::qxclGray:
        o[0] = uint8_t(s[0] >> 8);
        o += 1; s += 1;
        break;
      case TQxColorLayout::qxclRGB48:
        for (int c = 0; c < 3; ++c) { o[2 * c] = uint8_t(s[c]); o[2 * c + 1] = uint8_t(s[c] >> 8); }
        o += 6; s += 3;
        break;
      case TQxColorLayout::qxclRGB48Swapped:
        for (int c = 0; c < 3; ++c) { o[2 * c] = uint8_t(s[c] >> 8); o[2 * c + 1] = uint8_t(s[c]); }
        o += 6; s += 3;
        break;
      default:
        o[0] = uint8_t(s[0] >> 8); o[1] = uint8_t(s[1] >> 8); o[2] = uint8_t(s[2] >> 8);
        o += 3; s += 3;
        break;
    }
  }
}

size_t WorkBytes(TQxColorLayout l, int32_t count) {
  return IsLab(l) ? size_t(count) * 3 * sizeof(double) : size_t(count) * Channels(l) * sizeof(uint16_t);
}

}  // namespace

TQxICC::TQxICC() = default;
TQxICC::~TQxICC() { Clear(); }

void TQxICC::LoadFromBuffer(const void* Data, int32_t Length) {
  Clear();
  if (Data && Length > 0) {
    const auto* p = static_cast<const uint8_t*>(Data);
    FRaw.assign(p, p + Length);
  }
  OpenProfile();
}

void TQxICC::AssignFrom(const TQxICC* Source) {
  if (!Source || Source == this) return;
  std::vector<uint8_t> raw = Source->FRaw;
  Clear();
  FRaw = std::move(raw);
  OpenProfile();
}

void TQxICC::Clear() {
  CloseProfile();
  FRaw.clear();
  FRaw.shrink_to_fit();
  FApplied = false;
  FDescText.clear();
  FCprtText.clear();
}

void TQxICC::OpenProfile() {
  if (!FProfile && !FRaw.empty())
    FProfile = cmsOpenProfileFromMem(FRaw.data(), static_cast<cmsUInt32Number>(FRaw.size()));
  ReadTextTags();
}

void TQxICC::CloseProfile() {
  FreeTransform();
  if (FProfile) cmsCloseProfile(static_cast<cmsHPROFILE>(FProfile));
  FProfile = nullptr;
  FInLayout = FOutLayout = TQxColorLayout{};
  FIntent = FFlags = 0;
}

bool TQxICC::IsValid() const { return FProfile != nullptr; }
bool TQxICC::IsTransformReady() const { return FTransform != nullptr; }

void TQxICC::FreeTransform() {
  if (!FTransform) return;
  cmsDeleteTransform(static_cast<cmsHTRANSFORM>(FTransform));
  FTransform = nullptr;
  FTransformDest = nullptr;
  FApplied = true;
}

void TQxICC::LoadSRGB() {
  Clear();
  FProfile = cmsCreate_sRGBProfile();
}

bool TQxICC::Transform(TQxICC* Dest, TQxColorLayout InputLayout, TQxColorLayout OutputLayout, int32_t Intent,
                       int32_t Flags, const void* Input, void* Output, int32_t Count) {
  if (!Dest || !Input || !Output || Count <= 0) return FTransform != nullptr;
  if (!FTransform || InputLayout != FInLayout || OutputLayout != FOutLayout || Intent != FIntent ||
      Flags != FFlags || Dest->FProfile != FTransformDest) {
    FreeTransform();
    if (!FProfile || !Dest->FProfile) return false;
    // Without the one-pixel cache a transform may be shared by threads.
    FTransform = cmsCreateTransform(static_cast<cmsHPROFILE>(FProfile), LcmsFormat(InputLayout),
                                    static_cast<cmsHPROFILE>(Dest->FProfile), LcmsFormat(OutputLayout),
                                    INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE | cmsFLAGS_HIGHRESPRECALC);
    if (!FTransform) return false;
    FTransformDest = Dest->FProfile;
    FInLayout = InputLayout;
    FOutLayout = OutputLayout;
    FIntent = Intent;
    FFlags = Flags;
  }
  std::vector<uint8_t> in(WorkBytes(InputLayout, Count)), out(WorkBytes(OutputLayout, Count));
  Unpack(InputLayout, static_cast<const uint8_t*>(Input), in.data(), Count);
  cmsDoTransform(static_cast<cmsHTRANSFORM>(FTransform), in.data(), out.data(), static_cast<cmsUInt32Number>(Count));
  Pack(OutputLayout, out.data(), static_cast<uint8_t*>(Output), Count);
  return true;
}

static uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A zero-terminated text at Offset, only when it ends inside both the tag and the profile and is shorter
// than 1000 characters.
static bool TagText(const std::vector<uint8_t>& raw, size_t offset, size_t end, std::string& out) {
  end = std::min(end, raw.size());
  if (offset >= end) return false;
  const auto* s = raw.data() + offset;
  const void* z = std::memchr(s, 0, end - offset);
  if (!z) return false;
  const size_t len = static_cast<const uint8_t*>(z) - s;
  if (len >= 1000) return false;
  out.assign(reinterpret_cast<const char*>(s), len);
  return true;
}

void TQxICC::ReadTextTags() {
  FDescText.clear();
  FCprtText.clear();
  const size_t n = FRaw.size();
  if (n <= 132) return;
  const uint32_t count = BE32(FRaw.data() + 128);
  if (count > 1000) return;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = 132 + size_t(i) * 12;
    if (e + 12 > n) break;
    const uint8_t* t = FRaw.data() + e;
    const uint32_t offset = BE32(t + 4), size = BE32(t + 8);
    if (offset > n || size > n || int32_t(offset) < 0 || int32_t(size) < 0) break;
    const size_t end = size_t(offset) + size;
    if (std::memcmp(t, "cprt", 4) == 0 && size < 1000)
      TagText(FRaw, size_t(offset) + 8, end, FCprtText);
    else if (std::memcmp(t, "desc", 4) == 0 && size < 1000)
      TagText(FRaw, size_t(offset) + 12, end, FDescText);
  }
}

void TQxICC::SaveToStream(TStream& Stream, bool NoLength) const {
  if (!NoLength) {
    const uint32_t n = static_cast<uint32_t>(FRaw.size());
    const uint8_t le[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    Stream.WriteBuffer(le, 4);
  }
  if (!FRaw.empty()) Stream.WriteBuffer(FRaw.data(), int64_t(FRaw.size()));
}

static bool LayoutOf(TQxPixelFormat f, TQxColorLayout& l) {
  switch (f) {
    case TQxPixelFormat::qx8g: l = TQxColorLayout::qxclGray; return true;
    case TQxPixelFormat::qx24RGB: l = TQxColorLayout::qxclBGR; return true;
    case TQxPixelFormat::qxCMYK: l = TQxColorLayout::qxclCMYK; return true;
    case TQxPixelFormat::qxRGB48: l = TQxColorLayout::qxclRGB48; return true;
    case TQxPixelFormat::qxCIELab: l = TQxColorLayout::qxclLab; return true;
    default: return false;
  }
}

bool TQxICC::ConvertBitmap(TQxBitmap* Bitmap, TQxPixelFormat DestFormat, TQxICC* Dest) {
  TQxColorLayout in, out;
  if (!Bitmap || !LayoutOf(Bitmap->PixelFormat(), in) || !LayoutOf(DestFormat, out)) return false;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  TQxBitmap converted(w, h, DestFormat);
  for (int32_t y = 0; y < h; ++y)
    // A transform that cannot be made leaves the bitmap as it was.
    if (!Transform(Dest, in, out, 0, 0, Bitmap->Scanline(y), converted.Scanline(y), w)) return false;
  FreeTransform();
  Bitmap->CopyFrom(&converted);
  return true;
}
