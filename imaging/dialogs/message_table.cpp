#include "imaging/dialogs/message_table.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <mutex>

#include "imaging/dialogs/message_rows.h"

namespace {

using TRow = std::array<std::string, QxMessageCount>;
std::array<TRow, QxMessageRows>& Table() {
  static std::array<TRow, QxMessageRows> t;
  return t;
}
std::atomic<bool> GFilled{false};
std::mutex GFillLock;

std::atomic<bool> GLocaleSet{false};
std::atomic<uint32_t> GLocale{0};

uint32_t MakeLangId(uint32_t Primary, uint32_t Sub) { return (Sub << 10) | Primary; }

// Splits a row of the data (texts joined by '|') into its entries.
void StoreRow(uint8_t Row, const char* Data) {
  uint8_t index = 0;
  std::string cur;
  for (const char* p = Data;; ++p) {
    if (*p == '|' || *p == 0) {
      if (index < QxMessageCount) QxStoreMessage(Row, index, cur);
      ++index;
      cur.clear();
      if (*p == 0) break;
    } else {
      cur += *p;
    }
  }
}

}  // namespace

void QxStoreMessage(uint8_t Row, uint8_t Index, const std::string& Text) {
  if (Row >= QxMessageRows || Index >= QxMessageCount) return;
  Table()[Row][Index] = Text;
}

std::string QxStoredMessage(uint8_t Row, uint8_t Index) {
  if (Row >= QxMessageRows || Index >= QxMessageCount) return {};
  return Table()[Row][Index];
}

std::string QxMessageText(uint8_t Index, TMsgLanguage Language) {
  if (Index >= QxMessageCount) return {};
  uint8_t row = static_cast<uint8_t>(Language);
  if (Language == TMsgLanguage::msSystem) row = static_cast<uint8_t>(QxSystemMessageLanguage(QxThreadLocale()));
  if (row >= QxMessageRows) row = static_cast<uint8_t>(TMsgLanguage::msEnglish);
  const std::string& s = Table()[row][Index];
  // An untranslated entry reads in English, whichever way the row was chosen.
  if (s.empty()) return Table()[static_cast<uint8_t>(TMsgLanguage::msEnglish)][Index];
  return s;
}

void QxFillMessageTables() {
  std::lock_guard<std::mutex> g(GFillLock);
  if (GFilled) return;
  const char* const* rows = QxMessageRowData();
  for (uint8_t r = 1; r <= 21; ++r) StoreRow(r, rows[r - 1]);
  GFilled = true;
}

void QxClearMessageTables() {
  std::lock_guard<std::mutex> g(GFillLock);
  for (auto& row : Table())
    for (auto& e : row) e.clear();
  GFilled = false;
}

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

TMsgLanguage QxSystemMessageLanguage(uint32_t Locale) {
  uint32_t primary = Locale & 0x3FF, sub = Locale >> 10;
  if (Locale == 0) primary = 0x09, sub = 0x01;
  using L = TMsgLanguage;
  switch (primary) {
    case 0x04: return sub == 0x01 ? L::msChineseTraditional : sub == 0x02 ? L::msChinese : L::msEnglish;
    case 0x05: return L::msCzech;
    case 0x06: return L::msDanish;
    case 0x07: return L::msGerman;
    case 0x08: return L::msGreek;
    case 0x0A: return L::msSpanish;
    case 0x0B: return L::msFinnish;
    case 0x0C: return L::msFrench;
    case 0x0E: return L::msHungarian;
    case 0x10: return L::msItalian;
    case 0x11: return L::msJapanese;
    case 0x12: return L::msKorean;
    case 0x13: return L::msDutch;
    case 0x15: return L::msPolish;
    case 0x16: return L::msPortuguese;
    case 0x19: return L::msRussian;
    case 0x1D: return L::msSwedish;
    case 0x1F: return L::msTurkish;
    case 0x29: return L::msFarsi;
    default: return L::msEnglish;
  }
}
