#pragma once
// Profile (INI) files: [Section] headers and Key=Value lines, UTF-8.
// Sections and keys compare without regard to ASCII case; blanks around keys and values are dropped
// and one pair of matching surrounding quotes is stripped from a value when read; new keys go to the
// end of their section and new sections to the end of the file, other lines are kept as they were.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/strings.h"

class TCustomIniFile {
 public:
  explicit TCustomIniFile(std::string FileName) : FFileName(std::move(FileName)) {}
  virtual ~TCustomIniFile() = default;
  const std::string& FileName() const { return FFileName; }

  std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  // A value that is not a whole number (decimal or $/0x hexadecimal) yields Default.
  int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) const;
  void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
  // "0" is false, any other number true; other text yields Default.
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
  // Read with '.' or the program's decimal separator; written with '.'.
  double ReadFloat(const std::string& Section, const std::string& Ident, double Default) const;
  void WriteFloat(const std::string& Section, const std::string& Ident, double Value);

  bool SectionExists(const std::string& Section) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;
  void ReadSection(const std::string& Section, TStrings& Strings) const;        // keys
  void ReadSections(TStrings& Strings) const;                                   // section names
  void ReadSectionValues(const std::string& Section, TStrings& Strings) const;  // Key=Value lines
  void EraseSection(const std::string& Section);
  void DeleteKey(const std::string& Section, const std::string& Ident);

  // Writes the contents to FileName (UTF-8). Raises EFCreateError when the file cannot be written.
  virtual void UpdateFile();

  // The whole contents as file text, and parsing of such text (replacing the contents).
  std::string GetText() const;
  void SetText(std::string_view Text);

 protected:
  virtual void Modified() {}
  void LoadFromDisk();  // a missing or unreadable file gives empty contents

 private:
  struct TLine {
    std::string Key;   // empty for comments and blank lines
    std::string Value; // raw value text, or the raw line when Key is empty
  };
  struct TSection {
    std::string Name;
    std::vector<std::string> Preamble;  // unused for named sections
    std::vector<TLine> Lines;
  };
  const TSection* FindSection(const std::string& Section) const;
  TSection* FindSection(const std::string& Section);
  static const TLine* FindKey(const TSection& S, const std::string& Ident);
  std::string FFileName;
  std::vector<std::string> FLeading;  // lines before the first section
  std::vector<TSection> FSections;
};

// Every write goes to the file at once; a file that cannot be written raises EIniFileException
// "Unable to write to <name>".
class TIniFile : public TCustomIniFile {
 public:
  explicit TIniFile(std::string FileName);

 protected:
  void Modified() override;
};

// Held in memory; UpdateFile writes it.
class TMemIniFile : public TCustomIniFile {
 public:
  explicit TMemIniFile(std::string FileName);
  void Rename(const std::string& FileName, bool Reload);
};
