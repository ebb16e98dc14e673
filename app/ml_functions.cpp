#include "app/ml_functions.h"

#include <cstdlib>
#include <vector>

#include "platform/base/inifiles.h"
#include "platform/base/strings.h"
#include "platform/ui/component.h"
#include "platform/ui/published.h"

namespace {

struct TLangName {
  const char* Code;
  const char* Name;
};

// ISO 639 codes of the locale names to the English language names the detection looks for.
constexpr TLangName kLanguages[] = {
    {"en", "English"},   {"de", "German"},    {"es", "Spanish"},   {"fr", "French"},    {"it", "Italian"},
    {"nl", "Dutch"},     {"nb", "Norwegian"}, {"nn", "Norwegian"}, {"no", "Norwegian"}, {"sv", "Swedish"},
    {"da", "Danish"},    {"fi", "Finnish"},   {"pt", "Portuguese"}, {"pl", "Polish"},   {"ru", "Russian"},
    {"cs", "Czech"},     {"hu", "Hungarian"}, {"tr", "Turkish"},   {"el", "Greek"},     {"ja", "Japanese"},
    {"zh", "Chinese"},   {"ko", "Korean"},    {"c", "English"},    {"posix", "English"}};

std::string LocaleName() {
  for (const char* var : {"LC_ALL", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return "";
}

}  // namespace

std::string GetSystemLocaleInfo(int32_t LCType) {
  if (LCType != LOCALE_SENGLANGUAGE) return "";
  std::string loc = LowerCase(LocaleName());
  size_t cut = loc.find_first_of("_.@");
  std::string code = loc.substr(0, cut);
  for (const TLangName& l : kLanguages)
    if (code == l.Code) return std::string(l.Name).substr(0, 18);
  return "";
}

int32_t DetectSystemLanguage() {
  std::string name = LowerCase(GetSystemLocaleInfo(LOCALE_SENGLANGUAGE));
  const char* names[] = {"english", "german", "spanish", "french", "italian", "dutch"};
  for (int32_t i = 0; i < 6; ++i)
    if (name.find(names[i]) != std::string::npos) return i;
  return 7;
}

void SplitAtSeparator(const std::string& Text, const std::string& Separator, TStrings& List) {
  List.Clear();
  size_t p = Separator.empty() ? std::string::npos : Text.find(Separator);
  if (p == std::string::npos) {
    List.Add(Text);
    return;
  }
  List.Add(Text.substr(p + Separator.size()));
  List.Add(Text.substr(0, p));
}

void SetComponentProperty(TComponent* Component, const std::string& PropName, const std::string& Value) {
  if (!Component) return;
  const TPropInfo* info = GetPropInfo(Component, PropName);
  if (!info) return;
  if (info->IsStrings) {
    // Every "||" starts a new line.
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
      size_t p = Value.find("||", start);
      lines.push_back(Value.substr(start, p == std::string::npos ? std::string::npos : p - start));
      if (p == std::string::npos) break;
      start = p + 2;
    }
    SetStringsProperty(Component, info->Name, lines);
    return;
  }
  switch (info->Kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkString:
    case TTypeKind::tkLString: SetPropertyFromText(Component, info->Name, Value); break;
    default: break;
  }
}

bool ApplyLanguageSection(TComponent* Form, const std::string& FileName) {
  TMemIniFile ini(FileName);
  TStringList lines;
  ini.ReadSectionValues(Form->Name(), lines);
  TStringList parts;
  for (int32_t i = 0; i < lines.Count(); ++i) {
    SplitAtSeparator(lines[i], "=", parts);
    if (parts.Count() < 2) continue;  // a line without "=" names no property
    std::string key = Trim(parts[1]);
    std::string value = Trim(parts[0]);
    size_t dot = key.find('.');
    std::string compName = dot == std::string::npos ? std::string() : Trim(key.substr(0, dot));
    std::string propName = Trim(dot == std::string::npos ? key : key.substr(dot + 1));
    TComponent* target = compName.empty() ? Form : Form->FindComponent(compName);
    SetComponentProperty(target, propName, value);
  }
  return true;
}

std::string ExpandLineBreaks(const std::string& Text) { return StringReplace(Text, "#13#10", "\r\n", rfReplaceAll); }
