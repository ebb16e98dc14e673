// Colour maths and the colour scheme, checked against Python's colorsys where it can say.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "controls/kv_colors.h"
#include "platform/ui/themes.h"

namespace {

// Runs Script with python3 on Input; empty when python3 is missing.
// Tests may run at once in one folder, so each names its own files.
std::string RunPython(const std::string& Name, const std::string& Script, const std::string& Input) {
  std::string py = Name + ".py", in = Name + ".in";
  std::ofstream(py) << Script;
  std::ofstream(in) << Input;
  std::string out;
  FILE* f = popen(("python3 " + py + " < " + in + " 2>/dev/null").c_str(), "r");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  pclose(f);
  return out;
}

std::vector<TColor> SampleColors() {
  std::vector<TColor> v;
  const int steps[] = {0, 1, 37, 64, 127, 128, 129, 200, 254, 255};
  for (int r : steps)
    for (int g : steps)
      for (int b : steps) v.push_back(static_cast<TColor>(RGB(r, g, b)));
  return v;
}

TEST(KvColors, RgbToHslMatchesColorsysOnThe240Scale) {
  const char* script =
      "import colorsys,sys\n"
      "for line in sys.stdin:\n"
      "  r,g,b=[int(x) for x in line.split()]\n"
      "  h,l,s=colorsys.rgb_to_hls(r/255,g/255,b/255)\n"
      "  print(round(h*240),round(s*240),round(l*240))\n";
  std::ostringstream in;
  std::vector<TColor> colors = SampleColors();
  for (TColor c : colors) in << int(GetRValue(c)) << ' ' << int(GetGValue(c)) << ' ' << int(GetBValue(c)) << '\n';
  std::istringstream out(RunPython("kv_rgb_to_hsl", script, in.str()));
  if (out.str().empty()) GTEST_SKIP() << "python3 is not available";
  for (TColor c : colors) {
    int h, s, l;
    ASSERT_TRUE(out >> h >> s >> l);
    uint8_t H, S, L;
    KvRgbToHsl(c, H, S, L);
    // colorsys gives hue 1.0 where this scale wraps to 240; both are a full turn.
    EXPECT_EQ(H % 240, h % 240) << std::hex << c;
    EXPECT_EQ(S, s) << std::hex << c;
    EXPECT_EQ(L, l) << std::hex << c;
  }
}

TEST(KvColors, HslToRgbMatchesColorsysWithTheHueOver239) {
  const char* script =
      "import colorsys,sys\n"
      "for line in sys.stdin:\n"
      "  h,s,l=[int(x) for x in line.split()]\n"
      "  r,g,b=colorsys.hls_to_rgb(h/239,min(l/240,1.0),s/240)\n"
      "  print(*[round(min(max(x,0),1)*255) for x in (r,g,b)])\n";
  std::ostringstream in;
  std::vector<std::array<int, 3>> hsl;
  for (int h : {0, 1, 20, 40, 80, 119, 120, 160, 200, 238})
    for (int s : {0, 60, 120, 240})
      for (int l : {0, 30, 119, 120, 121, 200, 240}) hsl.push_back({h, s, l});
  for (auto& t : hsl) in << t[0] << ' ' << t[1] << ' ' << t[2] << '\n';
  std::istringstream out(RunPython("kv_hsl_to_rgb", script, in.str()));
  if (out.str().empty()) GTEST_SKIP() << "python3 is not available";
  for (auto& t : hsl) {
    int r, g, b;
    ASSERT_TRUE(out >> r >> g >> b);
    COLORREF c = static_cast<COLORREF>(KvHslToRgb(uint8_t(t[0]), uint8_t(t[1]), uint8_t(t[2])));
    // The two formulas reach the channel by different sums: at most one step apart.
    EXPECT_NEAR(GetRValue(c), r, 1) << t[0] << ' ' << t[1] << ' ' << t[2];
    EXPECT_NEAR(GetGValue(c), g, 1) << t[0] << ' ' << t[1] << ' ' << t[2];
    EXPECT_NEAR(GetBValue(c), b, 1) << t[0] << ' ' << t[1] << ' ' << t[2];
  }
}

TEST(KvColors, ExactValuesOfTheScale) {
  struct {
    TColor C;
    uint8_t H, S, L;
  } rgb2hsl[] = {{0x0000FF, 0, 240, 120}, {0xFFFFFF, 0, 0, 240}, {0x808080, 0, 0, 120}, {0x000000, 0, 0, 0}};
  for (auto& t : rgb2hsl) {
    uint8_t h, s, l;
    KvRgbToHsl(t.C, h, s, l);
    EXPECT_EQ(h, t.H) << std::hex << t.C;
    EXPECT_EQ(s, t.S) << std::hex << t.C;
    EXPECT_EQ(l, t.L) << std::hex << t.C;
  }
  EXPECT_EQ(KvHslToRgb(0, 240, 120), 0x0000FF);
  EXPECT_EQ(KvHslToRgb(239, 240, 120), 0x0000FF);  // h = 1: the seventh sextant, red again
  EXPECT_EQ(KvHslToRgb(77, 0, 120), KvHslToRgb(200, 0, 120));
  EXPECT_EQ(KvHslToRgb(77, 0, 120), 0x808080);
  EXPECT_EQ(KvHslToRgb(100, 240, 0), 0);
  // System colours are resolved first.
  uint8_t h1, s1, l1, h2, s2, l2;
  KvRgbToHsl(clBtnFace, h1, s1, l1);
  KvRgbToHsl(ColorToRGB(clBtnFace), h2, s2, l2);
  EXPECT_EQ(h1, h2);
  EXPECT_EQ(l1, l2);
}

TEST(KvColors, LightnessShiftsMixesAndComplements) {
  EXPECT_EQ(KvDarken(0x3366CC, 255), 0);
  EXPECT_EQ(KvLighten(0x3366CC, 240), 0xFFFFFF);
  EXPECT_EQ(KvShiftLightness(clBtnFace, 0), clBtnFace);  // not even resolved
  EXPECT_EQ(KvShiftLightness(0x3366CC, -30), KvDarken(0x3366CC, 30));
  EXPECT_EQ(KvShiftLightness(0x3366CC, 30), KvLighten(0x3366CC, 30));
  EXPECT_EQ(KvHueOf(KvDarken(0x3366CC, 40)), KvHueOf(0x3366CC));

  EXPECT_EQ(KvMixColors(0x123456, 0xABCDEF, 255), 0x123456);
  EXPECT_EQ(KvMixColors(0x123456, 0xABCDEF, 0), 0xABCDEF);
  // Weight 77: about 30 % of A. 255 * 77 / 255 = 77 of white over black.
  EXPECT_EQ(KvMixColors(0xFFFFFF, 0x000000, 77), 0x4D4D4D);

  EXPECT_TRUE(KvColorsTooSimilar(0x3366CC, 0x3366CC));
  EXPECT_FALSE(KvColorsTooSimilar(0x000000, 0xFFFFFF));

  // Hue 119 turns to 239, 120 to 0 (red).
  EXPECT_EQ(KvComplementColor(KvHslToRgb(120, 240, 120), 120), KvHslToRgb(0, 240, 120));
  TColor c119 = -1;
  for (int b = 0; b < 256 && c119 < 0; ++b)
    if (KvHueOf(static_cast<TColor>(RGB(0, 255, uint8_t(b)))) == 119) c119 = static_cast<TColor>(RGB(0, 255, uint8_t(b)));
  ASSERT_GE(c119, 0);
  EXPECT_EQ(KvComplementColor(c119, 120), KvHslToRgb(239, 240, 120));
}

TEST(KvColors, SchemeNamesAndColourSets) {
  struct {
    const char* Name;
    uint8_t Scheme;
  } names[] = {{"HomeStead", 1}, {"HOMESTEAD", 1}, {"metallic", 2}, {"NormalColor", 0}, {"", 0}};
  for (auto& n : names) EXPECT_EQ(KvXPColorSchemeOfName(n.Name), n.Scheme) << n.Name;
  KvReadXPColorNameHook = [] { return std::string("Metallic"); };
  EXPECT_EQ(KvDetectXPColorScheme(), 2);
  KvReadXPColorNameHook = nullptr;
  EXPECT_EQ(KvDetectXPColorScheme(), 0);

  ASSERT_FALSE(ThemesEnabled());
  TColor frame, start, stop;
  // Visual styles are off: the Office style takes the classic colours too.
  KvSelectionColors(gcsMSOffice, frame, start, stop);
  EXPECT_EQ(frame, clHighlight);
  EXPECT_EQ(stop, KvMixColors(clHighlight, clWindow, 77));
  EXPECT_EQ(start, KvLighten(stop, 20));
  bool full = KvFullColorDisplay;
  KvFullColorDisplay = false;
  KvSelectionColors(gcsSystem, frame, start, stop);
  EXPECT_EQ(start, stop);
  KvFullColorDisplay = full;

  KvPanelGradientColors(gcsSystem, start, stop);
  EXPECT_EQ(start, clWindow);
  EXPECT_EQ(stop, KvDarken(clBtnFace, 10));
  KvBarGradientColors(gcsSystem, stop, start, frame);
  EXPECT_EQ(stop, KvDarken(clBtnFace, 20));
  EXPECT_EQ(start, clWindow);
  EXPECT_EQ(frame, KvDarken(clBtnFace, 40));
  EXPECT_EQ(KvXPThemeColor(6), clBtnFace);
  EXPECT_TRUE(KvFullColorDisplay);
}

}  // namespace
