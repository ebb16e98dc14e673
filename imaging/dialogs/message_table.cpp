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
