#pragma once
// A small object model of PDF 1.4 syntax, and the routines that write a list of objects as a file body.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

class TQxPDFObject {
 public:
  virtual ~TQxPDFObject() = default;
  // Stores the stream position as the file offset, then writes the object's syntax.
  virtual void WriteTo(TStream& Stream) = 0;

  int32_t ObjectNumber = 0;  // set by QxPDFAddObject; 0 for direct objects
  int64_t FileOffset = 0;
  // An array or dictionary holding the object does not free it (the document does).
  bool OwnedElsewhere = false;
};

class TQxPDFRefObject : public TQxPDFObject {
 public:
  TQxPDFRefObject(int32_t Number, int32_t Generation) : Number(Number), Generation(Generation) {}
  void WriteTo(TStream& Stream) override;
  int32_t Number;
  int32_t Generation;
};

class TQxPDFBooleanObject : public TQxPDFObject {
 public:
  explicit TQxPDFBooleanObject(bool Value) : Value(Value) {}
  void WriteTo(TStream& Stream) override;
  bool Value;
};

// A number as PDF writes it: up to 15 significant digits, a point, no trailing zeros, never an exponent.
std::string QxPdfNumberText(double Value);

class TQxPDFNumericObject : public TQxPDFObject {
 public:
  explicit TQxPDFNumericObject(double Value) : Value(Value) {}
  void WriteTo(TStream& Stream) override;
  double Value;
};

// Text is UTF-8; it is written in the 8-bit code page.
class TQxPDFStringObject : public TQxPDFObject {
 public:
  explicit TQxPDFStringObject(std::string Text) : Text(std::move(Text)) {}
  void WriteTo(TStream& Stream) override;
  std::string Text;
};

class TQxPDFNameObject : public TQxPDFObject {
 public:
  explicit TQxPDFNameObject(std::string Name) : Name(std::move(Name)) {}
  void WriteTo(TStream& Stream) override;
  std::string Name;
};

class TQxPDFArrayObject : public TQxPDFObject {
 public:
  TQxPDFArrayObject() = default;
  ~TQxPDFArrayObject() override;
  TQxPDFArrayObject(const TQxPDFArrayObject&) = delete;
  TQxPDFArrayObject& operator=(const TQxPDFArrayObject&) = delete;
  void WriteTo(TStream& Stream) override;
  // Takes Obj over unless it is flagged owned elsewhere.
  void Add(TQxPDFObject* Obj) { Items.push_back(Obj); }
  std::vector<TQxPDFObject*> Items;
};

class TQxPDFDictionaryObject : public TQxPDFObject {
 public:
  TQxPDFDictionaryObject() = default;
  ~TQxPDFDictionaryObject() override;
  TQxPDFDictionaryObject(const TQxPDFDictionaryObject&) = delete;
  TQxPDFDictionaryObject& operator=(const TQxPDFDictionaryObject&) = delete;
  void WriteTo(TStream& Stream) override;
  // Appends an entry; the value is taken over unless it is flagged owned elsewhere.
  void Add(const std::string& Key, TQxPDFObject* Value);
  void Insert(size_t Index, const std::string& Key, TQxPDFObject* Value);
  // Replaces the value of Key (freeing the old one) or appends the entry.
  void Set(const std::string& Key, TQxPDFObject* Value);
  TQxPDFObject* Find(const std::string& Key) const;
  struct TEntry {
    std::string Key;
    TQxPDFObject* Value;
  };
  std::vector<TEntry> Entries;
};

class TQxPDFStreamObject : public TQxPDFObject {
 public:
  TQxPDFStreamObject();
  // The same plus a copy of the data.
  static std::unique_ptr<TQxPDFStreamObject> CreateWithData(const void* Data, size_t Length);
  void WriteTo(TStream& Stream) override;
  void SetData(const void* Data, size_t Length);
  std::vector<uint8_t> Data;
  std::unique_ptr<TQxPDFDictionaryObject> Dictionary;
};

using TQxPDFObjectList = std::vector<TQxPDFObject*>;

void QxPDFWriteLine(TStream& Stream, const std::string& Text);
void QxPDFWriteText(TStream& Stream, const std::string& Text);
std::string QxPDFPadLeft(const std::string& Text, size_t Width, char Ch);
void QxPDFAddObject(TQxPDFObjectList& List, TQxPDFObject* Obj);
// The objects these create are owned by the caller (the list does not own).
TQxPDFDictionaryObject* QxPDFAddCatalog(TQxPDFObjectList& List);
TQxPDFDictionaryObject* QxPDFAddPages(TQxPDFObjectList& List, const std::vector<TQxPDFDictionaryObject*>& Pages);
TQxPDFDictionaryObject* QxPDFAddPage(TQxPDFObjectList& List, std::vector<TQxPDFDictionaryObject*>& Pages,
                                     TQxPDFObject* Resources, int32_t ContentsNumber,
                                     TQxPDFArrayObject* MediaBox);
void QxPDFWriteHeader(TStream& Stream);
void QxPDFWriteObjects(TStream& Stream, const TQxPDFObjectList& List);
void QxPDFWriteTrailer(TStream& Stream, const TQxPDFObjectList& List, const TQxPDFDictionaryObject& Info);
