#include "platform/base/codepage.h"

#include <gtest/gtest.h>

TEST(CodePage, KnownCharactersOfEachPage) {
  EXPECT_EQ(CodePageToUtf8("\x80 caf\xE9", 1252), "€ café");
  EXPECT_EQ(CodePageToUtf8("\x8A\xB9", 1250), "Šą");
  EXPECT_EQ(CodePageToUtf8("\xCF\xF0\xE8", 1251), "При");
  EXPECT_EQ(CodePageToUtf8("\xC1\xE1", 1253), "Αα");
  EXPECT_EQ(CodePageToUtf8("\xD0\xFE", 1254), "Ğş");
  EXPECT_EQ(Utf8ToCodePage("Grüße €", 1252), "Gr\xFC\xDF\x65 \x80");
  EXPECT_EQ(Utf8ToCodePage("日本", 1252), "??");
  EXPECT_EQ(Utf8ToCodePage("a\xFF" "b", 1252), "a?b");  // broken UTF-8
}

TEST(CodePage, EveryByteSurvivesARoundTrip) {
  std::string All;
  for (int B = 1; B < 256; ++B) All += static_cast<char>(B);
  for (uint32_t Cp : {1250u, 1251u, 1252u, 1253u, 1254u}) {
    std::string U = CodePageToUtf8(All, Cp);
    EXPECT_TRUE(IsValidUtf8(U));
    EXPECT_EQ(Utf8ToCodePage(U, Cp), All) << Cp;
  }
}

TEST(CodePage, Utf16) {
  std::string S = "a€𝄞";
  std::u16string W = Utf8ToUtf16(S);
  ASSERT_EQ(W.size(), 4u);  // the clef takes a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(W), S);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  const unsigned char Be[] = {0x00, 0x41, 0x20, 0xAC, 0x00};
  EXPECT_EQ(Utf16BytesToUtf8(Be, sizeof Be, true), "A€");
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));  // cut short
}
