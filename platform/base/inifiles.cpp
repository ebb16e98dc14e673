#include "platform/base/inifiles.h"

#include <cmath>

#include "platform/base/files.h"
#include "platform/base/streams.h"

namespace {

// One pair of matching surrounding quotes is not part of the value.
std::string StripQuotes(const std::string& V) {
  if (V.size() >= 2 && (V.front() == '"' || V.front() == '\'') && V.back() == V.front())
    return V.substr(1, V.size() - 2);
  return V;
}

}  // namespace

const TCustomIniFile::TSection* TCustomIniFile::FindSection(const std::string& Section) const {
  std::string Name = Trim(Section);
  for (const TSection& S : FSections)
    if (SameText(S.Name, Name)) return &S;
  return nullptr;
}

TCustomIniFile::TSection* TCustomIniFile::FindSection(const std::string& Section) {
  return const_cast<TSection*>(static_cast<const TCustomIniFile*>(this)->FindSection(Section));
}

const TCustomIniFile::TLine* TCustomIniFile::FindKey(const TSection& S, const std::string& Ident) {
  std::string Key = Trim(Ident);
  for (const TLine& L : S.Lines)
    if (!L.Key.empty() && SameText(L.Key, Key)) return &L;
  return nullptr;
}

std::string TCustomIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                       const std::string& Default) const {
  const TSection* S = FindSection(Section);
  if (!S) return Default;
  const TLine* L = FindKey(*S, Ident);
  return L ? StripQuotes(L->Value) : Default;
}

void TCustomIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  std::string Key = Trim(Ident);
  if (Key.empty()) return;
  TSection* S = FindSection(Section);
  if (!S) {
    FSections.push_back(TSection{Trim(Section), {}, {}});
    S = &FSections.back();
  }
  TLine* L = const_cast<TLine*>(FindKey(*S, Key));
  if (L) {
    L->Value = Value;
  } else {
    // Behind the last key, so that blank lines and comments that close the section stay last.
    size_t At = S->Lines.size();
    while (At > 0 && S->Lines[At - 1].Key.empty()) --At;
    S->Lines.insert(S->Lines.begin() + static_cast<ptrdiff_t>(At), TLine{Key, Value});
  }
  Modified();
}

int32_t TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) const {
  return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
  WriteString(Section, Ident, IntToStr(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const {
  int32_t V;
  if (!TryStrToInt(ReadString(Section, Ident, ""), V)) return Default;
  return V != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(const std::string& Section, const std::string& Ident, double Default) const {
  std::string T = ReadString(Section, Ident, "");
  if (T.empty()) return Default;
  char Saved = DecimalSeparator;
  double R = StrToFloatDef(T, NAN);
  if (std::isnan(R)) {
    DecimalSeparator = '.';
    R = StrToFloatDef(T, Default);
    DecimalSeparator = Saved;
  }
  return R;
}

void TCustomIniFile::WriteFloat(const std::string& Section, const std::string& Ident, double Value) {
  char Saved = DecimalSeparator;
  DecimalSeparator = '.';
  std::string T = FloatToStr(Value);
  DecimalSeparator = Saved;
  WriteString(Section, Ident, T);
}

bool TCustomIniFile::SectionExists(const std::string& Section) const { return FindSection(Section) != nullptr; }

bool TCustomIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  const TSection* S = FindSection(Section);
  return S && FindKey(*S, Ident);
}

void TCustomIniFile::ReadSection(const std::string& Section, TStrings& Strings) const {
  Strings.BeginUpdate();
  Strings.Clear();
  if (const TSection* S = FindSection(Section))
    for (const TLine& L : S->Lines)
      if (!L.Key.empty()) Strings.Add(L.Key);
  Strings.EndUpdate();
}

void TCustomIniFile::ReadSections(TStrings& Strings) const {
  Strings.BeginUpdate();
  Strings.Clear();
  for (const TSection& S : FSections) Strings.Add(S.Name);
  Strings.EndUpdate();
}

void TCustomIniFile::ReadSectionValues(const std::string& Section, TStrings& Strings) const {
  Strings.BeginUpdate();
  Strings.Clear();
  if (const TSection* S = FindSection(Section))
    for (const TLine& L : S->Lines)
      if (!L.Key.empty()) Strings.Add(L.Key + "=" + StripQuotes(L.Value));
  Strings.EndUpdate();
}

void TCustomIniFile::EraseSection(const std::string& Section) {
  std::string Name = Trim(Section);
  for (size_t I = 0; I < FSections.size(); ++I)
    if (SameText(FSections[I].Name, Name)) {
      FSections.erase(FSections.begin() + static_cast<ptrdiff_t>(I));
      Modified();
      return;
    }
}

void TCustomIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  TSection* S = FindSection(Section);
  if (!S) return;
  std::string Key = Trim(Ident);
  for (size_t I = 0; I < S->Lines.size(); ++I)
    if (!S->Lines[I].Key.empty() && SameText(S->Lines[I].Key, Key)) {
      S->Lines.erase(S->Lines.begin() + static_cast<ptrdiff_t>(I));
      Modified();
      return;
    }
}

std::string TCustomIniFile::GetText() const {
  std::string R;
  for (const std::string& L : FLeading) R += L + "\r\n";
  for (const TSection& S : FSections) {
    R += "[" + S.Name + "]\r\n";
    for (const TLine& L : S.Lines) R += (L.Key.empty() ? L.Value : L.Key + "=" + L.Value) + "\r\n";
  }
  return R;
}

void TCustomIniFile::SetText(std::string_view Text) {
  FLeading.clear();
  FSections.clear();
  // Editors sometimes write the byte-order mark twice; none of them is text.
  while (Text.size() >= 3 && Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
  TStringList Lines;
  Lines.SetText(Text);
  TSection* Cur = nullptr;
  for (int32_t I = 0; I < Lines.Count(); ++I) {
    const std::string& Raw = Lines[I];
    std::string T = Trim(Raw);
    if (!T.empty() && T[0] == '[') {
      size_t E = T.find(']');
      std::string Name = Trim(E == std::string::npos ? T.substr(1) : T.substr(1, E - 1));
      // A repeated header continues the section it names.
      Cur = FindSection(Name);
      if (!Cur) {
        FSections.push_back(TSection{Name, {}, {}});
        Cur = &FSections.back();
      }
      continue;
    }
    size_t Eq = T.find('=');
    bool IsKey = !T.empty() && T[0] != ';' && T[0] != '#' && Eq != std::string::npos && Eq > 0;
    if (!Cur) {
      FLeading.push_back(Raw);
      continue;
    }
    if (IsKey) {
      std::string Key = Trim(T.substr(0, Eq));
      if (!FindKey(*Cur, Key)) {
        Cur->Lines.push_back(TLine{Key, Trim(T.substr(Eq + 1))});
        continue;
      }
    }
    // Comments, blank lines and later duplicates of a key: kept as they stand, unseen by readers.
    Cur->Lines.push_back(TLine{"", Raw});
  }
}

void TCustomIniFile::LoadFromDisk() {
  try {
    if (FileExists(FFileName)) SetText(ReadFileBytes(FFileName));
  } catch (const EStreamError&) {
    SetText("");
  }
}

void TCustomIniFile::UpdateFile() { WriteFileBytes(FFileName, GetText()); }

TIniFile::TIniFile(std::string FileName) : TCustomIniFile(std::move(FileName)) { LoadFromDisk(); }

void TIniFile::Modified() {
  try {
    UpdateFile();
  } catch (const EStreamError&) {
    throw EIniFileException("Unable to write to " + FileName());
  }
}

TMemIniFile::TMemIniFile(std::string FileName) : TCustomIniFile(std::move(FileName)) { LoadFromDisk(); }

void TMemIniFile::Rename(const std::string& FileName, bool Reload) {
  *this = TMemIniFile(FileName);
  if (!Reload) SetText("");
}
