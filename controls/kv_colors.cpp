#include "controls/kv_colors.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "platform/base/numeric.h"
#include "platform/ui/forms.h"
#include "platform/ui/themes.h"

bool KvFullColorDisplay = true;
uint8_t KvXPColorScheme = 0;
std::function<std::string()> KvReadXPColorNameHook;

namespace {

int KvColorUseCount = 0;

struct TXPSchemeColors {
  TColor SelFrame, SelStart, SelStop, GradStart, GradStop;
};
constexpr TXPSchemeColors kXPSchemes[3] = {
    {0x800000, 0xC2EEFF, 0xA0D9FF, 0xFFEFE3, 0xEABB99},
    {0x385D3F, 0xC2EEFF, 0xA0D9FF, 0xEDFFFF, 0x92C7B8},
    {0x6F4B4B, 0xC2EEFF, 0xA0D9FF, 0xFFF9F9, 0xD0BCBD},
};

const TXPSchemeColors& CurrentScheme() { return kXPSchemes[KvXPColorScheme < 3 ? KvXPColorScheme : 0]; }

bool XPBranch(TKvGradientColorStyle Style) { return Style == gcsMSOffice && ThemesEnabled(); }

uint8_t ByteOf(double X) { return static_cast<uint8_t>(std::clamp<int64_t>(Round(X), 0, 255)); }

// Runs the start-up measurement when the library is loaded, as the unit's initialization does.
struct TKvColorStart {
  TKvColorStart() { KvInitColorState(); }
} KvColorStart;

}  // namespace

void KvInitColorState() {
  if (KvColorUseCount++ > 0) return;
  KvFullColorDisplay = KvHasMoreThan256Colors();
  KvXPColorScheme = KvDetectXPColorScheme();
}

void KvRgbToHsl(TColor Color, uint8_t& H, uint8_t& S, uint8_t& L) {
  COLORREF c = static_cast<COLORREF>(ColorToRGB(Color));
  double r = GetRValue(c) / 255.0, g = GetGValue(c) / 255.0, b = GetBValue(c) / 255.0;
  double mx = r > g ? r : g;
  if (b > mx) mx = b;
  double mn = r < g ? r : g;
  if (b < mn) mn = b;
  double l = (mx + mn) / 2, s = 0, h = 0;
  if (mx != mn) {
    double d = mx - mn;
    s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    if (r == mx)
      h = (g - b) / d;
    else if (g == mx)
      h = (b - r) / d + 2;
    else
      h = (r - g) / d + 4;
    h /= 6;
    if (h < 0) h += 1;
  }
  H = ByteOf(h * 240);
  S = ByteOf(s * 240);
  L = ByteOf(l * 240);
}

uint8_t KvHueOf(TColor Color) {
  uint8_t h, s, l;
  KvRgbToHsl(Color, h, s, l);
  return h;
}

TColor KvHslToRgb(uint8_t H, uint8_t S, uint8_t L) {
  double h = H / 239.0, s = S / 240.0, l = L / 240.0;
  double m2 = l < 0.5 ? l * (1 + s) : l + s - l * s;
  if (m2 <= 0) return 0;
  double m1 = 2 * l - m2;
  double v = (m2 - m1) / m2;
  double h6 = h * 6;
  int sextant = static_cast<int>(h6);
  double f = h6 - sextant;
  double step = m2 * v * f;
  double up = m1 + step, down = m2 - step;
  double r, g, b;
  switch (sextant) {
    case 0: r = m2, g = up, b = m1; break;
    case 1: r = down, g = m2, b = m1; break;
    case 2: r = m1, g = m2, b = up; break;
    case 3: r = m1, g = down, b = m2; break;
    case 4: r = up, g = m1, b = m2; break;
    case 5: r = m2, g = m1, b = down; break;
    default: r = m2, g = up, b = m1; break;
  }
  auto chan = [](double x) { return ByteOf(std::min(x, 1.0) * 255); };
  return static_cast<TColor>(RGB(chan(r), chan(g), chan(b)));
}

TColor KvDarken(TColor Color, uint8_t Amount) {
  uint8_t h, s, l;
  KvRgbToHsl(Color, h, s, l);
  return KvHslToRgb(h, s, static_cast<uint8_t>(std::max(0, l - Amount)));
}

TColor KvLighten(TColor Color, uint8_t Amount) {
  uint8_t h, s, l;
  KvRgbToHsl(Color, h, s, l);
  return KvHslToRgb(h, s, static_cast<uint8_t>(std::min(255, l + Amount)));
}

TColor KvShiftLightness(TColor Color, int32_t Amount) {
  if (Amount == 0) return Color;
  int32_t m = std::min(std::abs(Amount), 255);
  return Amount < 0 ? KvDarken(Color, static_cast<uint8_t>(m)) : KvLighten(Color, static_cast<uint8_t>(m));
}

TColor KvMixColors(TColor A, TColor B, uint8_t Weight) {
  COLORREF a = static_cast<COLORREF>(ColorToRGB(A)), b = static_cast<COLORREF>(ColorToRGB(B));
  float w = Weight / 255.0f;
  auto mix = [w](uint8_t x, uint8_t y) { return ByteOf(x * double(w) + (1 - double(w)) * y); };
  return static_cast<TColor>(RGB(mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)),
                                 mix(GetBValue(a), GetBValue(b))));
}

bool KvColorsTooSimilar(TColor A, TColor B) {
  uint8_t ha, sa, la, hb, sb, lb;
  KvRgbToHsl(A, ha, sa, la);
  KvRgbToHsl(B, hb, sb, lb);
  return std::abs(ha - hb) < 20 && std::abs(la - lb) < 60;
}

TColor KvComplementColor(TColor Color, uint8_t Lightness) {
  uint8_t h = KvHueOf(Color);
  h = h < 120 ? static_cast<uint8_t>(h + 120) : static_cast<uint8_t>(h - 120);
  return KvHslToRgb(h, 240, Lightness);
}

bool KvHasMoreThan256Colors() {
  // Windows on this platform are 32-bit back buffers; the screen reports the same depth.
  return Screen == nullptr || Screen->BitsPerPixel() > 8;
}

uint8_t KvXPColorSchemeOfName(const std::string& ColorName) {
  std::string u = ColorName;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (u == "HOMESTEAD") return 1;
  if (u == "METALLIC") return 2;
  return 0;
}

uint8_t KvDetectXPColorScheme() {
  return KvXPColorSchemeOfName(KvReadXPColorNameHook ? KvReadXPColorNameHook() : std::string());
}

void KvSelectionColors(TKvGradientColorStyle Style, TColor& Frame, TColor& Start, TColor& Stop) {
  if (XPBranch(Style)) {
    Frame = CurrentScheme().SelFrame;
    Start = CurrentScheme().SelStart;
    Stop = CurrentScheme().SelStop;
  } else {
    Frame = clHighlight;
    Stop = KvMixColors(clHighlight, clWindow, 77);
    Start = KvLighten(Stop, 20);
  }
  if (!KvFullColorDisplay) Start = Stop;
}

void KvPanelGradientColors(TKvGradientColorStyle Style, TColor& Start, TColor& Stop) {
  if (XPBranch(Style)) {
    Start = CurrentScheme().GradStart;
    Stop = CurrentScheme().GradStop;
  } else {
    Start = clWindow;
    Stop = KvDarken(clBtnFace, 10);
  }
}

void KvBarGradientColors(TKvGradientColorStyle Style, TColor& Stop, TColor& Start, TColor& Frame) {
  if (XPBranch(Style)) {
    Stop = CurrentScheme().GradStop;
    Start = CurrentScheme().GradStart;
    Frame = Stop;
  } else {
    Stop = KvDarken(clBtnFace, 20);
    Start = clWindow;
    Frame = KvDarken(clBtnFace, 40);
  }
}

TColor KvXPThemeColor(uint8_t ElementKind) {
  if (!ThemesEnabled()) return clBtnFace;
  // Only the group-box text colour is ever asked for; the platform has no style to read it from.
  return ElementKind == 6 ? clBtnText : clWhite;
}
