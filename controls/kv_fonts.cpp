#include "controls/kv_fonts.h"

#include <cctype>
#include <string>

#include "platform/graphics/bitmap.h"

std::unique_ptr<TFont> KvCreateRotatedFont(const TFont& Font, int32_t AngleDegrees,
                                           std::optional<uint8_t> Charset) {
  auto F = std::make_unique<TFont>();
  F->Assign(Font);
  F->SetOrientation(AngleDegrees * 10);
  F->SetQuality(TFontQuality::fqDefault);
  if (Charset) F->SetCharset(*Charset);
  return F;
}

bool KvFontIsTrueType(const TFont& Font) {
  if (TestFontMode()) return true;
  std::string f = MatchFontFile(Font.Name(), Font.Style());
  auto ends = [&](const char* e) {
    std::string x(e);
    if (f.size() < x.size()) return false;
    std::string tail = f.substr(f.size() - x.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == x;
  };
  return ends(".ttf") || ends(".otf") || ends(".ttc");
}

int32_t KvFontLineHeight(const TFont& Font) {
  TBitmap b(1, 1, TPixelFormat::pf32bit);
  TCanvas* c = b.Canvas();
  c->Font()->Assign(Font);
  c->RequiredState();
  TTextMetric tm;
  GetTextMetrics(c, &tm);
  return tm.tmHeight + 2;
}
