#include "imaging/foundation/pdf_objects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/streams.h"

namespace {

void Put(TStream& s, const std::string& t) {
  if (!t.empty()) s.WriteBuffer(t.data(), int64_t(t.size()));
}

void FreeOwned(TQxPDFObject* o) {
  if (o && !o->OwnedElsewhere) delete o;
}

}  // namespace

void QxPDFWriteText(TStream& Stream, const std::string& Text) { Put(Stream, Text); }
void QxPDFWriteLine(TStream& Stream, const std::string& Text) { Put(Stream, Text + "\n"); }

std::string QxPDFPadLeft(const std::string& Text, size_t Width, char Ch) {
  return Text.size() >= Width ? Text : std::string(Width - Text.size(), Ch) + Text;
}

void TQxPDFRefObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  Put(Stream, std::to_string(Number) + " " + std::to_string(Generation) + " R");
}

void TQxPDFBooleanObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  Put(Stream, Value ? "true" : "false");
}

std::string QxPdfNumberText(double Value) {
  // PDF has no exponent notation: very large and very small numbers are written out in full.
  if (!std::isfinite(Value)) return "0";
  char buf[400];
  std::snprintf(buf, sizeof(buf), "%.15g", Value);
  if (std::strpbrk(buf, "eE")) {
    const int exp10 = int(std::floor(std::log10(std::fabs(Value))));
    const int decimals = std::clamp(14 - exp10, 0, 340);
    std::snprintf(buf, sizeof(buf), "%.*f", decimals, Value);
    char* end = buf + std::strlen(buf);
    if (std::strpbrk(buf, ".,")) {
      while (end > buf && end[-1] == '0') *--end = 0;
      if (end > buf && (end[-1] == '.' || end[-1] == ',')) *--end = 0;
    }
  }
  // Whatever the locale's decimal separator, PDF wants a point.
  for (char* p = buf; *p; ++p)
    if (*p == ',') *p = '.';
  if (std::strcmp(buf, "-0") == 0) return "0";
  return buf;
}

void TQxPDFNumericObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  Put(Stream, QxPdfNumberText(Value));
}

void TQxPDFStringObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  std::string out = "(";
  for (char c : Utf8ToCodePage(Text)) {
    switch (c) {
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      case '(': out += "\\("; break;
      case ')': out += "\\)"; break;
      case '\\': out += "\\\\"; break;
      default: out += c; break;
    }
  }
  out += ")";
  Put(Stream, out);
}

void TQxPDFNameObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  std::string out = "/";
  for (unsigned char c : Name) {
    if (c < '!' || c > '~') {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "#%02X", c);
      out += hex;
    } else {
      out += char(c);
    }
  }
  Put(Stream, out);
}

TQxPDFArrayObject::~TQxPDFArrayObject() {
  for (auto* o : Items) FreeOwned(o);
}

void TQxPDFArrayObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  Put(Stream, "[");
  for (auto* o : Items) {
    o->WriteTo(Stream);
    Put(Stream, " ");
  }
  Put(Stream, "]");
}

TQxPDFDictionaryObject::~TQxPDFDictionaryObject() {
  for (auto& e : Entries) FreeOwned(e.Value);
}

void TQxPDFDictionaryObject::Add(const std::string& Key, TQxPDFObject* Value) { Entries.push_back({Key, Value}); }

void TQxPDFDictionaryObject::Insert(size_t Index, const std::string& Key, TQxPDFObject* Value) {
  Entries.insert(Entries.begin() + std::min(Index, Entries.size()), TEntry{Key, Value});
}

void TQxPDFDictionaryObject::Set(const std::string& Key, TQxPDFObject* Value) {
  for (auto& e : Entries)
    if (e.Key == Key) {
      if (e.Value != Value) FreeOwned(e.Value);
      e.Value = Value;
      return;
    }
  Add(Key, Value);
}

TQxPDFObject* TQxPDFDictionaryObject::Find(const std::string& Key) const {
  for (const auto& e : Entries)
    if (e.Key == Key) return e.Value;
  return nullptr;
}

void TQxPDFDictionaryObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  Put(Stream, "<< ");
  for (auto& e : Entries) {
    Put(Stream, "/" + e.Key + " ");
    e.Value->WriteTo(Stream);
    Put(Stream, "\n");
  }
  Put(Stream, ">>");
}

TQxPDFStreamObject::TQxPDFStreamObject() : Dictionary(std::make_unique<TQxPDFDictionaryObject>()) {
  Dictionary->Add("Length", new TQxPDFNumericObject(0));
}

std::unique_ptr<TQxPDFStreamObject> TQxPDFStreamObject::CreateWithData(const void* Data, size_t Length) {
  auto s = std::make_unique<TQxPDFStreamObject>();
  s->SetData(Data, Length);
  return s;
}

void TQxPDFStreamObject::SetData(const void* Data, size_t Length) {
  const auto* p = static_cast<const uint8_t*>(Data);
  if (p && Length) this->Data.assign(p, p + Length);
  else this->Data.clear();
}

void TQxPDFStreamObject::WriteTo(TStream& Stream) {
  FileOffset = Stream.Position();
  Dictionary->Set("Length", new TQxPDFNumericObject(double(Data.size())));
  Dictionary->WriteTo(Stream);
  Put(Stream, "\nstream\n");
  if (!Data.empty()) Stream.WriteBuffer(Data.data(), int64_t(Data.size()));
  Put(Stream, "\nendstream");
}

void QxPDFAddObject(TQxPDFObjectList& List, TQxPDFObject* Obj) {
  List.push_back(Obj);
  Obj->ObjectNumber = int32_t(List.size());
}

TQxPDFDictionaryObject* QxPDFAddCatalog(TQxPDFObjectList& List) {
  auto* d = new TQxPDFDictionaryObject();
  d->Add("Type", new TQxPDFNameObject("Catalog"));
  QxPDFAddObject(List, d);
  return d;
}

TQxPDFDictionaryObject* QxPDFAddPages(TQxPDFObjectList& List, const std::vector<TQxPDFDictionaryObject*>& Pages) {
  auto* d = new TQxPDFDictionaryObject();
  QxPDFAddObject(List, d);
  d->Add("Type", new TQxPDFNameObject("Pages"));
  auto* kids = new TQxPDFArrayObject();
  for (auto* p : Pages) {
    kids->Add(new TQxPDFRefObject(p->ObjectNumber, 0));
    p->Set("Parent", new TQxPDFRefObject(d->ObjectNumber, 0));
  }
  d->Add("Kids", kids);
  d->Add("Count", new TQxPDFNumericObject(double(Pages.size())));
  if (!List.empty())
    if (auto* catalog = dynamic_cast<TQxPDFDictionaryObject*>(List[0]))
      catalog->Set("Pages", new TQxPDFRefObject(d->ObjectNumber, 0));
  return d;
}

TQxPDFDictionaryObject* QxPDFAddPage(TQxPDFObjectList& List, std::vector<TQxPDFDictionaryObject*>& Pages,
                                     TQxPDFObject* Resources, int32_t ContentsNumber,
                                     TQxPDFArrayObject* MediaBox) {
  auto* d = new TQxPDFDictionaryObject();
  d->Add("Type", new TQxPDFNameObject("Page"));
  if (Resources) d->Add("Resources", new TQxPDFRefObject(Resources->ObjectNumber, 0));
  d->Add("MediaBox", MediaBox);
  d->Add("Contents", new TQxPDFRefObject(ContentsNumber, 0));
  QxPDFAddObject(List, d);
  Pages.push_back(d);
  return d;
}

void QxPDFWriteHeader(TStream& Stream) {
  QxPDFWriteLine(Stream, "%PDF-1.4");
  QxPDFWriteLine(Stream, "%\xC8\xD2\xF0\xFE");
}

void QxPDFWriteObjects(TStream& Stream, const TQxPDFObjectList& List) {
  for (auto* o : List) {
    const int64_t pos = Stream.Position();
    QxPDFWriteLine(Stream, std::to_string(o->ObjectNumber) + " 0 obj");
    o->WriteTo(Stream);
    QxPDFWriteText(Stream, "\n");
    QxPDFWriteLine(Stream, "endobj");
    o->FileOffset = pos;
  }
}

void QxPDFWriteTrailer(TStream& Stream, const TQxPDFObjectList& List, const TQxPDFDictionaryObject& Info) {
  const int64_t x = Stream.Position();
  const std::string size = std::to_string(List.size() + 1);
  std::string t = "xref\n0 " + size + "\n0000000000 65535 f \n";
  for (auto* o : List) t += QxPDFPadLeft(std::to_string(o->FileOffset), 10, '0') + " 00000 n \n";
  t += "trailer\n<< /Size " + size + "\n/Root 1 0 R\n/Info " + std::to_string(Info.ObjectNumber) + " 0 R\n>>\n";
  t += "startxref\n" + std::to_string(x) + "\n%%EOF\n";
  Put(Stream, t);
}
