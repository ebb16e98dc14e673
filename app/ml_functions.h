#pragma once
// Run-time translation of forms from INI language files, and the system language. Knows nothing of the
// reflection program.

#include <cstdint>
#include <string>

class TComponent;
class TStrings;

inline constexpr int32_t LOCALE_SENGLANGUAGE = 0x1001;

// Locale information of the system default locale; only the English language name is known here,
// taken from LC_ALL, else LANG. Empty when unknown.
std::string GetSystemLocaleInfo(int32_t LCType);
// 0 English, 1 German, 2 Spanish, 3 French, 4 Italian, 5 Dutch; 7 when none of these.
int32_t DetectSystemLanguage();
// Fills List with the text after the first Separator, then the text before it; one item (the whole
// text) when Separator does not occur.
void SplitAtSeparator(const std::string& Text, const std::string& Separator, TStrings& List);
// Sets one published property (integer, string or string list) from text; anything else is skipped.
// A bad integer raises EConvertError.
void SetComponentProperty(TComponent* Component, const std::string& PropName, const std::string& Value);
// Applies the lines Component.Property=Value of the section named after Form's Name.
bool ApplyLanguageSection(TComponent* Form, const std::string& FileName);
// "#13#10" in a language file stands for a line break.
std::string ExpandLineBreaks(const std::string& Text);
