#include "imaging/foundation/locale.h"

#include <atomic>
#include <cctype>
#include <cstdlib>

namespace {
std::atomic<bool> GLocaleSet{false};
std::atomic<uint32_t> GLocale{0};

uint32_t MakeLangId(uint32_t Primary, uint32_t Sub) { return (Sub << 10) | Primary; }
}  // namespace

uint32_t QxLocaleFromPosixName(const std::string& Name) {
  // "ll_CC.codeset@modifier": the language and the country decide.
  std::string lang, country;
  size_t i = 0;
  while (i < Name.size() && std::isalpha(static_cast<unsigned char>(Name[i])))
    lang += static_cast<char>(std::tolower(static_cast<unsigned char>(Name[i++])));
  if (i < Name.size() && Name[i] == '_') {
    ++i;
    while (i < Name.size() && std::isalpha(static_cast<unsigned char>(Name[i])))
      country += static_cast<char>(std::toupper(static_cast<unsigned char>(Name[i++])));
  }
  struct TLang {
    const char* Code;
    uint32_t Primary;
  };
  static const TLang kLangs[] = {
      {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
      {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
      {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14},
      {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sv", 0x1D},
      {"th", 0x1E}, {"tr", 0x1F}, {"uk", 0x22}, {"fa", 0x29}};
  for (const TLang& l : kLangs) {
    if (lang != l.Code) continue;
    uint32_t sub = 0x01;
    if (l.Primary == 0x04) {
      // Taiwan, Hong Kong and Macau write the traditional characters.
      if (country == "TW") sub = 0x01;
      else if (country == "CN") sub = 0x02;
      else if (country == "HK") sub = 0x03;
      else if (country == "SG") sub = 0x04;
      else if (country == "MO") sub = 0x05;
      else sub = 0x02;
    }
    return MakeLangId(l.Primary, sub);
  }
  return 0;
}

uint32_t QxThreadLocale() {
  if (!GLocaleSet) {
    uint32_t id = 0;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) {
        id = QxLocaleFromPosixName(v);
        break;
      }
    }
    GLocale = id;
    GLocaleSet = true;
  }
  return GLocale;
}

void QxSetThreadLocale(uint32_t Locale) {
  GLocale = Locale;
  GLocaleSet = true;
}

uint8_t QxCharsetOfSystemLanguage() {
  switch (QxThreadLocale() & 0x3FF) {
    case 0x08: return 161;  // Greek
    case 0x19: return 204;  // Russian
    default: return 0;
  }
}
