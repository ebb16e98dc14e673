#include "imaging/io/cmyk.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <fstream>
#include <iterator>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "imaging/foundation/icc.h"
#include "imaging/io/params.h"

TQxColorRowConverter QxColorRowConverter = QxConvertColorRow;
bool QxColorManagement = false;
bool QxUseCMYKProfile = true;

namespace {

// Conversions read the profiles under a shared lock; replacing or freeing them takes it alone.
struct SharedProfiles {
  std::shared_mutex Lock;
  std::unique_ptr<TQxICC> Cmyk;
  std::unique_ptr<TQxICC> Srgb;
  std::atomic<bool> Ready{false};
  // The installed printer profile is tried once; a profile given later still replaces it.
  std::atomic<bool> TriedInstalled{false};
};

// CMYK output profiles of the system's printing packages, first found first used.
constexpr const char* kInstalledCMYKProfiles[] = {"/usr/share/color/icc/ghostscript/default_cmyk.icc",
                                                  "/usr/share/color/icc/ghostscript/ps_cmyk.icc"};

SharedProfiles& Shared() {
  static SharedProfiles s;
  return s;
}

int32_t Clamp255(int32_t v) { return std::clamp(v, 0, 255); }

// sRGB <-> CIE L*a*b* with the library's byte layout (l = L* x 255 / 100, a and b signed).
TQxCIELab RGBToLab(TQxRGB c) {
  auto lin = [](double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  const double R = lin(c.r), G = lin(c.g), B = lin(c.b);
  const double X = (0.412453 * R + 0.35758 * G + 0.180423 * B) / 0.95047;
  const double Y = 0.212671 * R + 0.71516 * G + 0.072169 * B;
  const double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 1.088883;
  auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
  const double L = Y <= 0.008856 ? 903.3 * Y : 116.0 * f(Y) - 16.0;
  const double a = 500.0 * (f(X) - f(Y)), b = 200.0 * (f(Y) - f(Z));
  TQxCIELab r;
  r.l = uint8_t(Clamp255(int32_t(std::trunc(L * 255.0 / 100.0))));
  r.a = int8_t(std::clamp(std::trunc(a), -128.0, 127.0));
  r.b = int8_t(std::clamp(std::trunc(b), -128.0, 127.0));
  return r;
}

TQxRGB LabToRGB(TQxCIELab c) {
  const double L = c.l * 100.0 / 255.0;
  double fy = (L + 16.0) / 116.0, fx = fy + c.a / 500.0, fz = fy - c.b / 200.0;
  auto inv = [](double f) {
    const double f3 = f * f * f;
    return f3 > 0.008856 ? f3 : (f - 0.13793103448) / 7.787;
  };
  const double X = inv(fx) * 0.95047, Y = inv(fy), Z = inv(fz) * 1.08883;
  double rgb[3] = {3.2406 * X - 1.5372 * Y - 0.4986 * Z, -0.9689 * X + 1.8758 * Y + 0.0415 * Z,
                   0.0557 * X - 0.204 * Y + 1.057 * Z};
  uint8_t out[3];
  for (int i = 0; i < 3; ++i) {
    double v = rgb[i];
    v = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
    out[i] = uint8_t(std::clamp(std::nearbyint(v * 255.0), 0.0, 255.0));
  }
  return TQxRGB{out[2], out[1], out[0]};
}

TQxRGB YCbCrToRGB(int32_t Y, int32_t Cb, int32_t Cr) {
  const int32_t r = int32_t(std::trunc(Y + 1.402 * (Cr - 128)));
  const int32_t g = int32_t(std::trunc(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128)));
  const int32_t b = int32_t(std::trunc(Y + 1.772 * (Cb - 128)));
  return TQxRGB{uint8_t(Clamp255(b)), uint8_t(Clamp255(g)), uint8_t(Clamp255(r))};
}

}  // namespace

bool QxSetCMYKProfile(const void* Data, int32_t Length) {
  auto& s = Shared();
  std::unique_lock<std::shared_mutex> guard(s.Lock);
  s.Ready = false;
  auto cmyk = std::make_unique<TQxICC>();
  cmyk->LoadFromBuffer(Data, Length);
  if (!cmyk->IsValid()) return false;
  auto srgb = std::make_unique<TQxICC>();
  srgb->LoadSRGB();
  // Prime both transforms now, so that later conversions only use them and threads may share them.
  const TQxCMYK k{255, 255, 255, 255};
  TQxRGB rgb{};
  TQxCMYK back{};
  if (!cmyk->Transform(srgb.get(), TQxColorLayout::qxclCMYK, TQxColorLayout::qxclBGR, 0, 0, &k, &rgb, 1) ||
      !srgb->Transform(cmyk.get(), TQxColorLayout::qxclBGR, TQxColorLayout::qxclCMYK, 0, 0, &rgb, &back, 1))
    return false;
  s.Cmyk = std::move(cmyk);
  s.Srgb = std::move(srgb);
  s.Ready = true;
  return true;
}

bool QxInitCMYKProfiles() {
  auto& s = Shared();
  if (s.Ready) return true;
  if (s.TriedInstalled.exchange(true)) return s.Ready;
  for (const char* Path : kInstalledCMYKProfiles) {
    std::ifstream f(Path, std::ios::binary);
    if (!f) continue;
    std::vector<char> Data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (Data.size() < 128 || Data.size() > (64u << 20)) continue;
    // A printer profile of CMYK colours.
    if (std::memcmp(Data.data() + 12, "prtr", 4) != 0 || std::memcmp(Data.data() + 16, "CMYK", 4) != 0) continue;
    if (QxSetCMYKProfile(Data.data(), int32_t(Data.size()))) return true;
  }
  return s.Ready;
}

void QxFreeCMYKProfiles() {
  auto& s = Shared();
  std::unique_lock<std::shared_mutex> guard(s.Lock);
  s.Ready = false;
  s.TriedInstalled = false;
  s.Cmyk.reset();
  s.Srgb.reset();
}

TQxRGB QxCMYK2RGB(TQxCMYK Color) {
  if (QxUseCMYKProfile && QxInitCMYKProfiles()) {
    auto& s = Shared();
    std::shared_lock<std::shared_mutex> guard(s.Lock);
    TQxRGB out{};
    if (s.Cmyk && s.Srgb && s.Cmyk->Transform(s.Srgb.get(), TQxColorLayout::qxclCMYK, TQxColorLayout::qxclBGR, 0, 0, &Color, &out, 1))
      return out;
  }
  return TQxRGB{uint8_t(Color.y * Color.k / 255), uint8_t(Color.m * Color.k / 255),
                uint8_t(Color.c * Color.k / 255)};
}

TQxCMYK QxRGB2CMYK(TQxRGB Color) {
  if (QxUseCMYKProfile && QxInitCMYKProfiles()) {
    auto& s = Shared();
    std::shared_lock<std::shared_mutex> guard(s.Lock);
    TQxCMYK out{};
    if (s.Cmyk && s.Srgb && s.Srgb->Transform(s.Cmyk.get(), TQxColorLayout::qxclBGR, TQxColorLayout::qxclCMYK, 0, 0, &Color, &out, 1))
      return out;
  }
  int32_t k = std::max({Color.r, Color.g, Color.b});
  if (k == 0) k = 1;
  return TQxCMYK{uint8_t(Color.r * 255 / k), uint8_t(Color.g * 255 / k), uint8_t(Color.b * 255 / k), uint8_t(k)};
}

void QxConvertColorRow(const void* Src, TQxColorLayout SrcLayout, void* Dest, TQxColorLayout DestLayout,
                       int32_t Count, TIOParamsVals* Params) {
  if (!Src || !Dest || Count <= 0) return;
  if (QxColorManagement && Params) {
    TQxICC* profile = Params->InputICC.get();
    if (Params->OutputICC && !(profile && profile->IsValid())) profile = Params->OutputICC.get();
    if (profile && profile->IsValid() && !profile->Applied()) {
      TQxICC* def = Params->GetDefaultICC();
      if (def && def->IsValid() &&
          profile->Transform(def, SrcLayout, DestLayout, 0, 0, Src, Dest, Count))
        return;
    }
  }
  const auto* s = static_cast<const uint8_t*>(Src);
  auto* d = static_cast<uint8_t*>(Dest);
  using L = TQxColorLayout;
  switch (SrcLayout) {
    case L::qxclRGB:
      if (DestLayout != L::qxclBGR) return;
      for (int32_t i = 0; i < Count; ++i, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
      }
      return;
    case L::qxclBGR:
      switch (DestLayout) {
        case L::qxclBGR:
          std::memmove(d, s, size_t(Count) * 3);
          return;
        case L::qxclCMYK:
          for (int32_t i = 0; i < Count; ++i, s += 3, d += 4) {
            const TQxCMYK c = QxRGB2CMYK(TQxRGB{s[0], s[1], s[2]});
            std::memcpy(d, &c, 4);
          }
          return;
        case L::qxclLab:
          for (int32_t i = 0; i < Count; ++i, s += 3, d += 3) {
            const TQxCIELab c = RGBToLab(TQxRGB{s[0], s[1], s[2]});
            std::memcpy(d, &c, 3);
          }
          return;
        case L::qxclGray:
          for (int32_t i = 0; i < Count; ++i, s += 3, ++d) *d = uint8_t((s[2] * 21 + s[1] * 71 + s[0] * 8) / 100);
          return;
        default:
          return;
      }
    default:
      break;
  }
  if (DestLayout != L::qxclBGR) return;
  for (int32_t i = 0; i < Count; ++i, d += 3) {
    TQxRGB c{};
    switch (SrcLayout) {
      case L::qxclCMYK: {
        TQxCMYK k;
        std::memcpy(&k, s, 4);
        c = QxCMYK2RGB(k);
        s += 4;
        break;
      }
      case L::qxclCMYKWide:
        // Inks counted upwards: complemented into a local copy, so the caller's row stays as it was.
        c = QxCMYK2RGB(TQxCMYK{uint8_t(255 - s[0]), uint8_t(255 - s[1]), uint8_t(255 - s[2]), uint8_t(255 - s[3])});
        s += 6;
        break;
      case L::qxclLab: {
        TQxCIELab l;
        std::memcpy(&l, s, 3);
        c = LabToRGB(l);
        s += 3;
        break;
      }
      case L::qxclRGB48:
        c = TQxRGB{s[5], s[3], s[1]};
        s += 6;
        break;
      case L::qxclRGB48Swapped:
        c = TQxRGB{s[4], s[2], s[0]};
        s += 6;
        break;
      case L::qxclYCbCr:
        c = YCbCrToRGB(s[0], s[1], s[2]);
        s += 3;
        break;
      default:
        return;  // gray and others: nothing to do
    }
    d[0] = c.b;
    d[1] = c.g;
    d[2] = c.r;
  }
}
