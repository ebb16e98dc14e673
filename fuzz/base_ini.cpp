// Parses arbitrary bytes as an INI file, reads everything back, and checks that writing the contents out
// and parsing them again gives the same sections, keys and values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/inifiles.h"

namespace {
[[noreturn]] void Mismatch() { __builtin_trap(); }

std::string Dump(const TMemIniFile& Ini) {
  std::string R;
  TStringList Sections, Keys;
  Ini.ReadSections(Sections);
  for (int32_t I = 0; I < Sections.Count(); ++I) {
    R += "[" + Sections[I] + "]\n";
    Ini.ReadSection(Sections[I], Keys);
    for (int32_t K = 0; K < Keys.Count(); ++K) {
      R += Keys[K] + "=" + Ini.ReadString(Sections[I], Keys[K], "") + "\n";
      (void)Ini.ReadInteger(Sections[I], Keys[K], 0);
      (void)Ini.ReadFloat(Sections[I], Keys[K], 0);
      (void)Ini.ReadBool(Sections[I], Keys[K], false);
    }
  }
  return R;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TMemIniFile Ini("");
  Ini.SetText(std::string_view(reinterpret_cast<const char*>(Data), Size));
  std::string First = Dump(Ini);
  TMemIniFile Again("");
  Again.SetText(Ini.GetText());
  if (Dump(Again) != First) Mismatch();
  Ini.WriteString("Fuzz", "Key", "Value");
  if (Ini.ReadString("fuzz", "KEY", "") != "Value") Mismatch();
  return 0;
}
