#pragma once
// String lists and the string, number and path helpers of the run-time library. Text is UTF-8;
// case folding and comparisons without "Ansi" in the name touch ASCII letters only.
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/exceptions.h"

class TStream;

enum class TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

class TStrings {
 public:
  using TNotifyEvent = std::function<void(TStrings* Sender)>;

  TStrings() = default;
  TStrings(const TStrings& Other) { Assign(Other); }
  TStrings& operator=(const TStrings& Other) {
    if (this != &Other) Assign(Other);
    return *this;
  }
  virtual ~TStrings() = default;

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // Index outside 0..Count-1 raises EStringListError "List index out of bounds (%d)".
  const std::string& Strings(int32_t Index) const;
  const std::string& operator[](int32_t Index) const { return Strings(Index); }
  virtual void SetStrings(int32_t Index, const std::string& S);
  void* Objects(int32_t Index) const;
  void SetObjects(int32_t Index, void* Obj);

  virtual int32_t Add(const std::string& S);
  int32_t AddObject(const std::string& S, void* Obj);
  virtual void Insert(int32_t Index, const std::string& S);
  void InsertObject(int32_t Index, const std::string& S, void* Obj);
  virtual void Delete(int32_t Index);
  virtual void Clear();
  void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  virtual int32_t IndexOf(const std::string& S) const;
  int32_t IndexOfObject(void* Obj) const;
  void AddStrings(const TStrings& Other);
  void Assign(const TStrings& Other);
  bool Equals(const TStrings& Other) const;

  // Name=Value lines.
  std::string Names(int32_t Index) const;
  std::string ValueFromIndex(int32_t Index) const;
  std::string Values(const std::string& Name) const;
  // An empty value deletes the line.
  void SetValues(const std::string& Name, const std::string& Value);
  int32_t IndexOfName(const std::string& Name) const;
  char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char C) { FNameValueSeparator = C; }

  // Lines joined by LineBreak (each line followed by it); setting splits on CR, LF or CR LF.
  std::string Text() const;
  void SetText(std::string_view Value);
  const std::string& LineBreak() const { return FLineBreak; }
  void SetLineBreak(std::string Value) { FLineBreak = std::move(Value); }
  // Comma-separated, items with spaces, commas or quotes quoted with '"' (quotes doubled).
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view Value);
  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char C) { FDelimiter = C; }
  char QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char C) { FQuoteChar = C; }
  bool StrictDelimiter() const { return FStrictDelimiter; }
  void SetStrictDelimiter(bool V) { FStrictDelimiter = V; }

  // UTF-8 files; a UTF-8 byte-order mark is skipped on load. Raises EFOpenError / EFCreateError.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;

  void BeginUpdate();
  void EndUpdate();
  int32_t UpdateCount() const { return FUpdateCount; }

  bool CaseSensitive() const { return FCaseSensitive; }
  virtual void SetCaseSensitive(bool Value) { FCaseSensitive = Value; }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

  struct TStringItem {
    std::string FString;
    void* FObject = nullptr;
    const std::string& operator*() const { return FString; }
    operator const std::string&() const { return FString; }
  };

 protected:
  int CompareStrings(const std::string& A, const std::string& B) const;
  void CheckIndex(int32_t Index, int32_t Limit) const;
  virtual void Changing() {}
  virtual void Changed() {}
  virtual void InsertItem(int32_t Index, const std::string& S, void* Obj);

  std::vector<TStringItem> FItems;
  int32_t FUpdateCount = 0;
  bool FCaseSensitive = false;
  char FNameValueSeparator = '=';
  char FDelimiter = ',';
  char FQuoteChar = '"';
  bool FStrictDelimiter = false;
  std::string FLineBreak = "\r\n";
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  TStringList(const TStringList& Other) : TStrings(Other) {}
  TStringList& operator=(const TStringList& Other) {
    TStrings::operator=(Other);
    return *this;
  }

  int32_t Add(const std::string& S) override;
  void Insert(int32_t Index, const std::string& S) override;  // EStringListError when Sorted
  void SetStrings(int32_t Index, const std::string& S) override;
  int32_t IndexOf(const std::string& S) const override;
  // Binary search of a sorted list: true and the index when found, else false and the insert point.
  bool Find(const std::string& S, int32_t& Index) const;
  void Sort();
  void CustomSort(const std::function<int(TStringList* List, int32_t Index1, int32_t Index2)>& Compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  void SetCaseSensitive(bool Value) override;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void Changing() override;
  void Changed() override;

 private:
  bool FSorted = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

// ---- string helpers -----------------------------------------------------------------------------

// The decimal separator of float text; '.' unless the program sets another.
extern char DecimalSeparator;

std::string IntToStr(int64_t Value);
std::string IntToHex(uint64_t Value, int Digits);
int32_t StrToInt(std::string_view S);  // EConvertError "'%s' is not a valid integer value"
int32_t StrToIntDef(std::string_view S, int32_t Default);
bool TryStrToInt(std::string_view S, int32_t& Value);
int64_t StrToInt64Def(std::string_view S, int64_t Default);
bool TryStrToInt64(std::string_view S, int64_t& Value);
// Decimal text in DecimalSeparator, with optional exponent; surrounding blanks allowed.
bool TextToFloat(std::string_view S, long double& Value);
double StrToFloat(std::string_view S);  // EConvertError "'%s' is not a valid floating point value"
double StrToFloatDef(std::string_view S, double Default);
// Shortest of 15 significant digits in general notation, with DecimalSeparator.
std::string FloatToStr(long double Value);
enum class TFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
std::string FloatToStrF(long double Value, TFloatFormat Format, int Precision, int Digits);
bool StrToBoolDef(std::string_view S, bool Default);
std::string BoolToStr(bool Value, bool UseBoolStrs = false);

// printf-style formatting into a std::string.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* Fmt, va_list Args);

std::string UpperCase(std::string_view S);
std::string LowerCase(std::string_view S);
std::string Trim(std::string_view S);  // drops characters <= ' ' at both ends
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);
int CompareStr(std::string_view A, std::string_view B);
int CompareText(std::string_view A, std::string_view B);
bool SameText(std::string_view A, std::string_view B);
// 1-based position of Sub in S, 0 when absent.
int32_t Pos(std::string_view Sub, std::string_view S);
// Index is 1-based; out-of-range parts are clipped.
std::string Copy(std::string_view S, int64_t Index, int64_t Count);
std::string QuotedStr(std::string_view S);
std::string DequotedStr(std::string_view S, char Quote = '"');
enum TReplaceFlag : uint8_t { rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(std::string_view S, std::string_view OldPattern, std::string_view NewPattern,
                          uint8_t Flags);
bool StartsText(std::string_view Sub, std::string_view S);
bool EndsText(std::string_view Sub, std::string_view S);

// ---- paths --------------------------------------------------------------------------------------
constexpr char PathDelim = '/';
std::string ExtractFilePath(std::string_view FileName);  // up to and including the last '/'
std::string ExtractFileDir(std::string_view FileName);   // the same without the trailing '/'
std::string ExtractFileName(std::string_view FileName);
std::string ExtractFileExt(std::string_view FileName);   // with the dot; "" when none
std::string ChangeFileExt(std::string_view FileName, std::string_view Extension);
std::string IncludeTrailingPathDelimiter(std::string_view S);
std::string ExcludeTrailingPathDelimiter(std::string_view S);
// Absolute, with "." and ".." resolved lexically.
std::string ExpandFileName(std::string_view FileName);
