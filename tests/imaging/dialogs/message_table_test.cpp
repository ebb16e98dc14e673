// The library's message table: its rows, the English fallback, and the row the system locale chooses.
#include <gtest/gtest.h>

#include "imaging/dialogs/dialogs_init.h"
#include "imaging/dialogs/message_table.h"

namespace {

using L = TMsgLanguage;

class MessageTableTest : public ::testing::Test {
 protected:
  void SetUp() override { QxRegisterDialogs(); }
  void TearDown() override { QxSetThreadLocale(0x0409); }
};

TEST_F(MessageTableTest, EveryRowHoldsItsTextsInUtf8) {
  // Rows 1..21 are full, Polish lacks only 123; msSystem and msUser rows are never stored.
  for (uint8_t row = 1; row <= 21; ++row)
    for (uint8_t i = 0; i < QxMessageCount; ++i) {
      bool hole = row == static_cast<uint8_t>(L::msPolish) && i == 123;
      EXPECT_EQ(QxStoredMessage(row, i).empty(), hole) << "row " << int(row) << " index " << int(i);
    }
  for (uint8_t i = 0; i < QxMessageCount; ++i) {
    EXPECT_TRUE(QxStoredMessage(0, i).empty());
    EXPECT_TRUE(QxStoredMessage(22, i).empty());
  }
  struct Case {
    uint8_t Index;
    L Lang;
    const char* Text;
  };
  const Case cases[] = {
      {0, L::msEnglish, "Preview"},       {11, L::msEnglish, "Value"},        {103, L::msEnglish, "Value"},
      {128, L::msEnglish, "Automatically updates your preview with the changes you have selected"},
      {145, L::msEnglish, "Fit"},         {0, L::msItalian, "Anteprima"},     {4, L::msItalian, "Annulla"},
      {5, L::msItalian, "Blocca anteprima"}, {37, L::msItalian, "Anteprima parametri"},
      {131, L::msItalian, "File grafici comuni"}, {132, L::msItalian, "Tutti"}, {0, L::msGerman, "Vorschau"},
      {4, L::msGerman, "Abbrechen"},      {5, L::msGerman, "Automatische Vorschau"},
      {37, L::msGerman, "Parameter-Vorschau"}, {131, L::msGerman, "Allgemeine Bilddateien"},
      {132, L::msGerman, "Alle Dateien"}, {0, L::msDutch, "Voorbeeld"},      {4, L::msDutch, "Annuleren"},
      {5, L::msDutch, "Voorbeeld op slot"}, {37, L::msDutch, "Parameters Voorbeeld"},
      {131, L::msDutch, "Common Graphic Files"}, {132, L::msDutch, "All Files"}, {0, L::msSpanish, "Vista Previa"},
      {3, L::msSpanish, "Aceptar"},       {131, L::msSpanish, "Common Graphic Files"},
      {132, L::msSpanish, "All Files"},   {0, L::msFinnish, "Esikatselu"}, {132, L::msFinnish, "Kaikki tiedostot"},
      {3, L::msTurkish, "Tamam"},         {43, L::msSwedish, "Originalstorlek"}, {0, L::msRussian, "Просмотр"},
      {0, L::msJapanese, "プレビュー"},   {0, L::msChinese, "预览"},          {0, L::msChineseTraditional, "預覽"},
      {0, L::msGreek, "Προεπισκόπηση"},   {0, L::msKorean, "미리 보기"},
      // msUser is filled by nothing and reads in English; so does Polish where it has no text.
      {0, L::msUser, "Preview"},          {123, L::msUser, "Rate"},           {123, L::msPolish, "Rate"},
      {0, L::msPolish, "Podgląd"}};
  for (const Case& c : cases) EXPECT_EQ(QxMessageText(c.Index, c.Lang), c.Text) << int(c.Index);
  // Out of range: nothing, not a read past the row.
  EXPECT_EQ(QxMessageText(146, L::msEnglish), "");
}

TEST_F(MessageTableTest, SystemLanguageFollowsTheLocale) {
  struct Case {
    uint32_t Locale;
    const char* Text;  // message 0
  };
  const Case cases[] = {
      {0x0407, "Vorschau"}, {0x0410, "Anteprima"}, {0x0413, "Voorbeeld"}, {0x0415, "Podgląd"},
      {0x0409, "Preview"},  {0x0401, "Preview"} /* Arabic: no row */,   {0x040D, "Preview"} /* Hebrew */,
      {0x0000, "Preview"},  {(0x01 << 10) | 0x04, "預覽"},           {(0x02 << 10) | 0x04, "预览"},
      {(0x03 << 10) | 0x04, "Preview"}, {(0x04 << 10) | 0x04, "Preview"}, {(0x05 << 10) | 0x04, "Preview"}};
  for (const Case& c : cases) {
    QxSetThreadLocale(c.Locale);
    EXPECT_EQ(QxMessageText(0, L::msSystem), c.Text) << std::hex << c.Locale;
  }
  // The Polish row has no text at 123: msSystem reads English there too rather than an empty label.
  QxSetThreadLocale(0x0415);
  EXPECT_EQ(QxMessageText(123, L::msSystem), "Rate");
}

TEST_F(MessageTableTest, PosixLocaleNamesGiveTheirLanguage) {
  struct Case {
    const char* Name;
    L Lang;
  };
  const Case cases[] = {{"de_DE.UTF-8", L::msGerman},           {"it_IT", L::msItalian},
                        {"nl_BE.utf8@euro", L::msDutch},        {"pt_BR.UTF-8", L::msPortuguese},
                        {"zh_TW.UTF-8", L::msChineseTraditional}, {"zh_CN.GB18030", L::msChinese},
                        {"zh_HK", L::msEnglish},                {"fa_IR", L::msFarsi},
                        {"C", L::msEnglish},                    {"POSIX", L::msEnglish},
                        {"", L::msEnglish},                     {"ar_EG.UTF-8", L::msEnglish}};
  for (const Case& c : cases)
    EXPECT_EQ(QxSystemMessageLanguage(QxLocaleFromPosixName(c.Name)), c.Lang) << c.Name;
}

TEST_F(MessageTableTest, FillingAgainLeavesTheTableAsItIs) {
  QxStoreMessage(1, 0, "Changed");
  QxFillMessageTables();
  EXPECT_EQ(QxMessageText(0, L::msEnglish), "Changed");
  QxStoreMessage(1, 0, "Preview");
  // Places outside the table are ignored.
  QxStoreMessage(23, 0, "x");
  QxStoreMessage(1, 146, "x");
  EXPECT_EQ(QxMessageText(0, L::msEnglish), "Preview");
}

}  // namespace
