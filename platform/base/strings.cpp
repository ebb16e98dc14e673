#include "platform/base/strings.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/base/streams.h"

char DecimalSeparator = '.';

// ---- TStrings -----------------------------------------------------------------------------------

void TStrings::CheckIndex(int32_t Index, int32_t Limit) const {
  if (Index < 0 || Index >= Limit) throw EStringListError(Format("List index out of bounds (%d)", Index));
}

int TStrings::CompareStrings(const std::string& A, const std::string& B) const {
  return FCaseSensitive ? CompareStr(A, B) : CompareText(A, B);
}

const std::string& TStrings::Strings(int32_t Index) const {
  CheckIndex(Index, Count());
  return FItems[static_cast<size_t>(Index)].FString;
}

void TStrings::SetStrings(int32_t Index, const std::string& S) {
  CheckIndex(Index, Count());
  Changing();
  FItems[static_cast<size_t>(Index)].FString = S;
  Changed();
}

void* TStrings::Objects(int32_t Index) const {
  CheckIndex(Index, Count());
  return FItems[static_cast<size_t>(Index)].FObject;
}

void TStrings::SetObjects(int32_t Index, void* Obj) {
  CheckIndex(Index, Count());
  Changing();
  FItems[static_cast<size_t>(Index)].FObject = Obj;
  Changed();
}

void TStrings::InsertItem(int32_t Index, const std::string& S, void* Obj) {
  Changing();
  FItems.insert(FItems.begin() + Index, TStringItem{S, Obj});
  Changed();
}

int32_t TStrings::Add(const std::string& S) {
  int32_t I = Count();
  Insert(I, S);
  return I;
}

int32_t TStrings::AddObject(const std::string& S, void* Obj) {
  int32_t I = Add(S);
  FItems[static_cast<size_t>(I)].FObject = Obj;
  return I;
}

void TStrings::Insert(int32_t Index, const std::string& S) {
  CheckIndex(Index, Count() + 1);
  InsertItem(Index, S, nullptr);
}

void TStrings::InsertObject(int32_t Index, const std::string& S, void* Obj) {
  Insert(Index, S);
  FItems[static_cast<size_t>(Index)].FObject = Obj;
}

void TStrings::Delete(int32_t Index) {
  CheckIndex(Index, Count());
  Changing();
  FItems.erase(FItems.begin() + Index);
  Changed();
}

void TStrings::Clear() {
  if (FItems.empty()) return;
  Changing();
  FItems.clear();
  Changed();
}

void TStrings::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1, Count());
  CheckIndex(Index2, Count());
  Changing();
  std::swap(FItems[static_cast<size_t>(Index1)], FItems[static_cast<size_t>(Index2)]);
  Changed();
}

void TStrings::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex, Count());
  CheckIndex(NewIndex, Count());
  Changing();
  TStringItem Item = FItems[static_cast<size_t>(CurIndex)];
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, Item);
  Changed();
}

int32_t TStrings::IndexOf(const std::string& S) const {
  for (int32_t I = 0; I < Count(); ++I)
    if (CompareStrings(FItems[static_cast<size_t>(I)].FString, S) == 0) return I;
  return -1;
}

int32_t TStrings::IndexOfObject(void* Obj) const {
  for (int32_t I = 0; I < Count(); ++I)
    if (FItems[static_cast<size_t>(I)].FObject == Obj) return I;
  return -1;
}

void TStrings::AddStrings(const TStrings& Other) {
  BeginUpdate();
  std::vector<TStringItem> Copy = Other.FItems;  // Other may be this list
  for (const TStringItem& It : Copy) AddObject(It.FString, It.FObject);
  EndUpdate();
}

void TStrings::Assign(const TStrings& Other) {
  if (this == &Other) return;
  BeginUpdate();
  Clear();
  FNameValueSeparator = Other.FNameValueSeparator;
  FDelimiter = Other.FDelimiter;
  FQuoteChar = Other.FQuoteChar;
  FStrictDelimiter = Other.FStrictDelimiter;
  FLineBreak = Other.FLineBreak;
  AddStrings(Other);
  EndUpdate();
}

bool TStrings::Equals(const TStrings& Other) const {
  if (Count() != Other.Count()) return false;
  for (int32_t I = 0; I < Count(); ++I)
    if (FItems[static_cast<size_t>(I)].FString != Other.FItems[static_cast<size_t>(I)].FString) return false;
  return true;
}

std::string TStrings::Names(int32_t Index) const {
  const std::string& S = Strings(Index);
  size_t P = S.find(FNameValueSeparator);
  return P == std::string::npos || P == 0 ? std::string() : S.substr(0, P);
}

std::string TStrings::ValueFromIndex(int32_t Index) const {
  const std::string& S = Strings(Index);
  size_t P = S.find(FNameValueSeparator);
  return P == std::string::npos ? std::string() : S.substr(P + 1);
}

int32_t TStrings::IndexOfName(const std::string& Name) const {
  for (int32_t I = 0; I < Count(); ++I) {
    const std::string& S = FItems[static_cast<size_t>(I)].FString;
    size_t P = S.find(FNameValueSeparator);
    if (P != std::string::npos && CompareStrings(S.substr(0, P), Name) == 0) return I;
  }
  return -1;
}

std::string TStrings::Values(const std::string& Name) const {
  int32_t I = IndexOfName(Name);
  return I < 0 ? std::string() : ValueFromIndex(I);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  int32_t I = IndexOfName(Name);
  if (Value.empty()) {
    if (I >= 0) Delete(I);
    return;
  }
  std::string Line = Name + FNameValueSeparator + Value;
  if (I < 0)
    Add(Line);
  else
    SetStrings(I, Line);
}

std::string TStrings::Text() const {
  std::string R;
  for (const TStringItem& It : FItems) {
    R += It.FString;
    R += FLineBreak;
  }
  return R;
}

void TStrings::SetText(std::string_view Value) {
  BeginUpdate();
  Clear();
  size_t I = 0;
  while (I < Value.size()) {
    size_t J = I;
    while (J < Value.size() && Value[J] != '\r' && Value[J] != '\n') ++J;
    Add(std::string(Value.substr(I, J - I)));
    if (J < Value.size() && Value[J] == '\r') ++J;
    if (J < Value.size() && Value[J] == '\n') ++J;
    I = J;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText() const {
  std::string R;
  bool First = true;
  for (const TStringItem& It : FItems) {
    if (!First) R += FDelimiter;
    First = false;
    const std::string& S = It.FString;
    bool NeedQuote = S.empty() && Count() == 1;
    for (char C : S)
      if (C == FQuoteChar || C == FDelimiter || (!FStrictDelimiter && static_cast<unsigned char>(C) <= ' '))
        NeedQuote = true;
    if (!NeedQuote) {
      R += S;
      continue;
    }
    R += FQuoteChar;
    for (char C : S) {
      if (C == FQuoteChar) R += C;
      R += C;
    }
    R += FQuoteChar;
  }
  return R;
}

void TStrings::SetDelimitedText(std::string_view Value) {
  BeginUpdate();
  Clear();
  size_t I = 0;
  auto IsBlank = [&](char C) { return !FStrictDelimiter && static_cast<unsigned char>(C) <= ' '; };
  while (I < Value.size() && IsBlank(Value[I])) ++I;
  while (I < Value.size()) {
    std::string Item;
    if (Value[I] == FQuoteChar) {
      ++I;
      while (I < Value.size()) {
        if (Value[I] == FQuoteChar) {
          if (I + 1 < Value.size() && Value[I + 1] == FQuoteChar) {
            Item += FQuoteChar;
            I += 2;
            continue;
          }
          ++I;
          break;
        }
        Item += Value[I++];
      }
    } else {
      while (I < Value.size() && Value[I] != FDelimiter && !IsBlank(Value[I])) Item += Value[I++];
    }
    Add(Item);
    while (I < Value.size() && IsBlank(Value[I])) ++I;
    if (I < Value.size() && Value[I] == FDelimiter) {
      ++I;
      while (I < Value.size() && IsBlank(Value[I])) ++I;
      if (I == Value.size()) Add("");
    }
  }
  EndUpdate();
}

std::string TStrings::CommaText() const {
  TStrings Tmp;
  Tmp.FItems = FItems;
  return Tmp.DelimitedText();
}

void TStrings::SetCommaText(std::string_view Value) {
  char D = FDelimiter, Q = FQuoteChar;
  bool S = FStrictDelimiter;
  FDelimiter = ',';
  FQuoteChar = '"';
  FStrictDelimiter = false;
  SetDelimitedText(Value);
  FDelimiter = D;
  FQuoteChar = Q;
  FStrictDelimiter = S;
}

void TStrings::LoadFromStream(TStream* Stream) {
  int64_t Size = Stream->Size() - Stream->Position();
  std::string Buf(static_cast<size_t>(Size > 0 ? Size : 0), '\0');
  if (Size > 0) Stream->ReadBuffer(Buf.data(), Size);
  std::string_view V(Buf);
  if (V.size() >= 3 && V.substr(0, 3) == "\xEF\xBB\xBF") V.remove_prefix(3);
  SetText(V);
}

void TStrings::SaveToStream(TStream* Stream) const {
  std::string T = Text();
  Stream->WriteBuffer(T.data(), static_cast<int64_t>(T.size()));
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&F);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream F(FileName, fmCreate);
  SaveToStream(&F);
}

void TStrings::BeginUpdate() { ++FUpdateCount; }

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

// ---- TStringList --------------------------------------------------------------------------------

void TStringList::Changing() {
  if (FUpdateCount == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

bool TStringList::Find(const std::string& S, int32_t& Index) const {
  int32_t L = 0, H = Count() - 1;
  bool Found = false;
  while (L <= H) {
    int32_t I = L + (H - L) / 2;
    int C = CompareStrings(FItems[static_cast<size_t>(I)].FString, S);
    if (C < 0) {
      L = I + 1;
    } else {
      H = I - 1;
      if (C == 0) {
        Found = true;
        if (FDuplicates != TDuplicates::dupAccept) L = I;
      }
    }
  }
  Index = L;
  return Found;
}

int32_t TStringList::Add(const std::string& S) {
  if (!FSorted) return TStrings::Add(S);
  int32_t I;
  if (Find(S, I)) {
    if (FDuplicates == TDuplicates::dupIgnore) return I;
    if (FDuplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(I, S, nullptr);
  return I;
}

void TStringList::Insert(int32_t Index, const std::string& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  TStrings::Insert(Index, S);
}

void TStringList::SetStrings(int32_t Index, const std::string& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  TStrings::SetStrings(Index, S);
}

int32_t TStringList::IndexOf(const std::string& S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int32_t I;
  return Find(S, I) ? I : -1;
}

void TStringList::Sort() {
  CustomSort([](TStringList* List, int32_t A, int32_t B) {
    return List->CompareStrings(List->FItems[static_cast<size_t>(A)].FString,
                                List->FItems[static_cast<size_t>(B)].FString);
  });
}

void TStringList::CustomSort(const std::function<int(TStringList*, int32_t, int32_t)>& Compare) {
  if (Count() < 2) return;
  Changing();
  // Sort a permutation, so the comparer sees the list as it stands.
  std::vector<int32_t> Order(static_cast<size_t>(Count()));
  for (int32_t I = 0; I < Count(); ++I) Order[static_cast<size_t>(I)] = I;
  std::stable_sort(Order.begin(), Order.end(), [&](int32_t A, int32_t B) { return Compare(this, A, B) < 0; });
  std::vector<TStringItem> Sorted;
  Sorted.reserve(FItems.size());
  for (int32_t I : Order) Sorted.push_back(FItems[static_cast<size_t>(I)]);
  FItems.swap(Sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (FSorted == Value) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (FCaseSensitive == Value) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

// ---- string helpers -----------------------------------------------------------------------------

std::string IntToStr(int64_t Value) { return std::to_string(Value); }

std::string IntToHex(uint64_t Value, int Digits) {
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%0*llX", Digits < 0 ? 0 : (Digits > 16 ? 16 : Digits),
                static_cast<unsigned long long>(Value));
  return Buf;
}

bool TryStrToInt64(std::string_view S, int64_t& Value) {
  std::string T = Trim(S);
  if (T.empty()) return false;
  size_t I = 0;
  bool Neg = false;
  if (T[I] == '+' || T[I] == '-') {
    Neg = T[I] == '-';
    ++I;
  }
  int Base = 10;
  if (I < T.size() && T[I] == '$') {
    Base = 16;
    ++I;
  } else if (I + 1 < T.size() && T[I] == '0' && (T[I + 1] == 'x' || T[I + 1] == 'X')) {
    Base = 16;
    I += 2;
  }
  if (I >= T.size()) return false;
  uint64_t Acc = 0;
  const uint64_t Limit = Neg ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; I < T.size(); ++I) {
    int D;
    char C = T[I];
    if (C >= '0' && C <= '9')
      D = C - '0';
    else if (Base == 16 && C >= 'a' && C <= 'f')
      D = C - 'a' + 10;
    else if (Base == 16 && C >= 'A' && C <= 'F')
      D = C - 'A' + 10;
    else
      return false;
    if (Acc > (Limit - uint64_t(D)) / uint64_t(Base)) return false;
    Acc = Acc * uint64_t(Base) + uint64_t(D);
  }
  Value = Neg ? static_cast<int64_t>(0 - Acc) : static_cast<int64_t>(Acc);
  return true;
}

bool TryStrToInt(std::string_view S, int32_t& Value) {
  int64_t V;
  if (!TryStrToInt64(S, V) || V < INT32_MIN || V > INT32_MAX) return false;
  Value = static_cast<int32_t>(V);
  return true;
}

int32_t StrToInt(std::string_view S) {
  int32_t V;
  if (!TryStrToInt(S, V)) throw EConvertError(Format("'%s' is not a valid integer value", std::string(S).c_str()));
  return V;
}

int32_t StrToIntDef(std::string_view S, int32_t Default) {
  int32_t V;
  return TryStrToInt(S, V) ? V : Default;
}

int64_t StrToInt64Def(std::string_view S, int64_t Default) {
  int64_t V;
  return TryStrToInt64(S, V) ? V : Default;
}

bool TextToFloat(std::string_view S, long double& Value) {
  std::string T = Trim(S);
  if (T.empty()) return false;
  // Accept only digits, sign, exponent and the program's separator; strtold uses '.' always.
  std::string C;
  bool SeenSep = false;
  for (size_t I = 0; I < T.size(); ++I) {
    char Ch = T[I];
    if (Ch == DecimalSeparator) {
      if (SeenSep) return false;
      SeenSep = true;
      C += '.';
    } else if ((Ch >= '0' && Ch <= '9') || Ch == '+' || Ch == '-' || Ch == 'e' || Ch == 'E') {
      C += Ch;
    } else {
      return false;
    }
  }
  errno = 0;
  char* End = nullptr;
  long double V = std::strtold(C.c_str(), &End);
  if (End == C.c_str() || *End != '\0' || errno == ERANGE || !std::isfinite(V)) return false;
  Value = V;
  return true;
}

double StrToFloat(std::string_view S) {
  long double V;
  if (!TextToFloat(S, V))
    throw EConvertError(Format("'%s' is not a valid floating point value", std::string(S).c_str()));
  return static_cast<double>(V);
}

double StrToFloatDef(std::string_view S, double Default) {
  long double V;
  return TextToFloat(S, V) ? static_cast<double>(V) : Default;
}

static std::string WithSeparator(std::string S) {
  if (DecimalSeparator != '.')
    for (char& C : S)
      if (C == '.') C = DecimalSeparator;
  return S;
}

std::string FloatToStr(long double Value) { return FloatToStrF(Value, TFloatFormat::ffGeneral, 15, 0); }

std::string FloatToStrF(long double Value, TFloatFormat Fmt, int Precision, int Digits) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
  if (Precision < 1) Precision = 1;
  if (Precision > 18) Precision = 18;
  char Buf[128];
  switch (Fmt) {
    case TFloatFormat::ffGeneral: {
      // Plain notation unless the exponent is below -5 or at least Precision.
      std::snprintf(Buf, sizeof Buf, "%.*Le", Precision - 1, Value);
      const char* E = std::strchr(Buf, 'e');
      int Exp = E ? std::atoi(E + 1) : 0;
      if (Value == 0) return "0";
      if (Exp < -5 || Exp >= Precision) {
        std::string M(Buf, E ? static_cast<size_t>(E - Buf) : std::strlen(Buf));
        if (M.find('.') != std::string::npos) {
          while (!M.empty() && M.back() == '0') M.pop_back();
          if (!M.empty() && M.back() == '.') M.pop_back();
        }
        char EB[32];
        std::snprintf(EB, sizeof EB, "E%c%02d", Exp < 0 ? '-' : '+', Exp < 0 ? -Exp : Exp);
        return WithSeparator(M + EB);
      }
      int Dec = Precision - 1 - Exp;
      if (Dec < 0) Dec = 0;
      std::snprintf(Buf, sizeof Buf, "%.*Lf", Dec, Value);
      std::string R(Buf);
      if (R.find('.') != std::string::npos) {
        while (!R.empty() && R.back() == '0') R.pop_back();
        if (!R.empty() && R.back() == '.') R.pop_back();
      }
      if (R == "-0") R = "0";
      return WithSeparator(R);
    }
    case TFloatFormat::ffExponent: {
      std::snprintf(Buf, sizeof Buf, "%.*Le", Precision - 1, Value);
      std::string R(Buf);
      size_t E = R.find('e');
      int Exp = std::atoi(R.c_str() + E + 1);
      char EB[32];
      std::snprintf(EB, sizeof EB, "E%c%0*d", Exp < 0 ? '-' : '+', Digits < 1 ? 1 : (Digits > 4 ? 4 : Digits),
                    Exp < 0 ? -Exp : Exp);
      return WithSeparator(R.substr(0, E) + EB);
    }
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber:
    case TFloatFormat::ffCurrency: {
      if (Digits < 0) Digits = 0;
      if (Digits > 18) Digits = 18;
      std::snprintf(Buf, sizeof Buf, "%.*Lf", Digits, Value);
      return WithSeparator(Buf);
    }
  }
  return {};
}

bool StrToBoolDef(std::string_view S, bool Default) {
  if (SameText(S, "true")) return true;
  if (SameText(S, "false")) return false;
  int64_t V;
  if (TryStrToInt64(S, V)) return V != 0;
  return Default;
}

std::string BoolToStr(bool Value, bool UseBoolStrs) {
  if (UseBoolStrs) return Value ? "True" : "False";
  return Value ? "-1" : "0";
}

std::string FormatV(const char* Fmt, va_list Args) {
  va_list Copy;
  va_copy(Copy, Args);
  int N = std::vsnprintf(nullptr, 0, Fmt, Copy);
  va_end(Copy);
  if (N < 0) return {};
  std::string R(static_cast<size_t>(N) + 1, '\0');
  std::vsnprintf(R.data(), R.size(), Fmt, Args);
  R.resize(static_cast<size_t>(N));
  return R;
}

std::string Format(const char* Fmt, ...) {
  va_list Args;
  va_start(Args, Fmt);
  std::string R = FormatV(Fmt, Args);
  va_end(Args);
  return R;
}

std::string UpperCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 32);
  return R;
}

std::string LowerCase(std::string_view S) {
  std::string R(S);
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  return R;
}

static bool IsTrimmed(char C) { return static_cast<unsigned char>(C) <= ' '; }

std::string Trim(std::string_view S) {
  size_t B = 0, E = S.size();
  while (B < E && IsTrimmed(S[B])) ++B;
  while (E > B && IsTrimmed(S[E - 1])) --E;
  return std::string(S.substr(B, E - B));
}

std::string TrimLeft(std::string_view S) {
  size_t B = 0;
  while (B < S.size() && IsTrimmed(S[B])) ++B;
  return std::string(S.substr(B));
}

std::string TrimRight(std::string_view S) {
  size_t E = S.size();
  while (E > 0 && IsTrimmed(S[E - 1])) --E;
  return std::string(S.substr(0, E));
}

int CompareStr(std::string_view A, std::string_view B) {
  int C = A.compare(B);
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

int CompareText(std::string_view A, std::string_view B) {
  size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    unsigned char X = static_cast<unsigned char>(A[I]), Y = static_cast<unsigned char>(B[I]);
    if (X >= 'a' && X <= 'z') X = static_cast<unsigned char>(X - 32);
    if (Y >= 'a' && Y <= 'z') Y = static_cast<unsigned char>(Y - 32);
    if (X != Y) return X < Y ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

bool SameText(std::string_view A, std::string_view B) { return A.size() == B.size() && CompareText(A, B) == 0; }

int32_t Pos(std::string_view Sub, std::string_view S) {
  if (Sub.empty()) return 0;
  size_t P = S.find(Sub);
  return P == std::string_view::npos ? 0 : static_cast<int32_t>(P + 1);
}

std::string Copy(std::string_view S, int64_t Index, int64_t Count) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || Index > static_cast<int64_t>(S.size())) return {};
  int64_t Avail = static_cast<int64_t>(S.size()) - (Index - 1);
  return std::string(S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count < Avail ? Count : Avail)));
}

std::string QuotedStr(std::string_view S) {
  std::string R = "'";
  for (char C : S) {
    if (C == '\'') R += '\'';
    R += C;
  }
  return R + "'";
}

std::string DequotedStr(std::string_view S, char Quote) {
  if (S.size() < 2 || S.front() != Quote || S.back() != Quote) return std::string(S);
  std::string R;
  for (size_t I = 1; I + 1 < S.size(); ++I) {
    R += S[I];
    if (S[I] == Quote && I + 2 < S.size() && S[I + 1] == Quote) ++I;
  }
  return R;
}

std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern,
                          uint8_t Flags) {
  if (OldPattern.empty()) return std::string(S);
  std::string Hay = (Flags & rfIgnoreCase) ? UpperCase(S) : std::string(S);
  std::string Pat = (Flags & rfIgnoreCase) ? UpperCase(OldPattern) : std::string(OldPattern);
  std::string R;
  size_t I = 0;
  while (I <= S.size()) {
    size_t P = Hay.find(Pat, I);
    if (P == std::string::npos) break;
    R.append(S.substr(I, P - I));
    R.append(NewPattern);
    I = P + Pat.size();
    if (!(Flags & rfReplaceAll)) break;
  }
  if (I < S.size()) R.append(S.substr(I));
  return R;
}

bool StartsText(std::string_view Sub, std::string_view S) {
  return S.size() >= Sub.size() && SameText(S.substr(0, Sub.size()), Sub);
}

bool EndsText(std::string_view Sub, std::string_view S) {
  return S.size() >= Sub.size() && SameText(S.substr(S.size() - Sub.size()), Sub);
}

// ---- paths --------------------------------------------------------------------------------------

std::string ExtractFilePath(std::string_view FileName) {
  size_t P = FileName.rfind('/');
  return P == std::string_view::npos ? std::string() : std::string(FileName.substr(0, P + 1));
}

std::string ExtractFileDir(std::string_view FileName) {
  size_t P = FileName.rfind('/');
  if (P == std::string_view::npos) return {};
  if (P == 0) return "/";
  return std::string(FileName.substr(0, P));
}

std::string ExtractFileName(std::string_view FileName) {
  size_t P = FileName.rfind('/');
  return std::string(P == std::string_view::npos ? FileName : FileName.substr(P + 1));
}

std::string ExtractFileExt(std::string_view FileName) {
  size_t P = FileName.find_last_of("./");
  if (P == std::string_view::npos || FileName[P] != '.') return {};
  return std::string(FileName.substr(P));
}

std::string ChangeFileExt(std::string_view FileName, std::string_view Extension) {
  size_t P = FileName.find_last_of("./");
  if (P == std::string_view::npos || FileName[P] != '.') return std::string(FileName) + std::string(Extension);
  return std::string(FileName.substr(0, P)) + std::string(Extension);
}

std::string IncludeTrailingPathDelimiter(std::string_view S) {
  std::string R(S);
  if (R.empty() || R.back() != PathDelim) R += PathDelim;
  return R;
}

std::string ExcludeTrailingPathDelimiter(std::string_view S) {
  std::string R(S);
  while (R.size() > 1 && R.back() == PathDelim) R.pop_back();
  return R;
}

std::string ExpandFileName(std::string_view FileName) {
  std::string Full;
  if (!FileName.empty() && FileName[0] == '/') {
    Full = std::string(FileName);
  } else {
    char Buf[4096];
    const char* Cwd = ::getcwd(Buf, sizeof Buf);
    Full = std::string(Cwd ? Cwd : "/") + "/" + std::string(FileName);
  }
  std::vector<std::string> Parts;
  size_t I = 0;
  while (I <= Full.size()) {
    size_t J = Full.find('/', I);
    if (J == std::string::npos) J = Full.size();
    std::string Part = Full.substr(I, J - I);
    if (Part == "..") {
      if (!Parts.empty()) Parts.pop_back();
    } else if (!Part.empty() && Part != ".") {
      Parts.push_back(Part);
    }
    I = J + 1;
  }
  std::string R;
  for (const std::string& P : Parts) R += "/" + P;
  if (R.empty()) R = "/";
  if (FileName.size() > 1 && FileName.back() == '/' && R != "/") R += '/';
  return R;
}
