#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "imaging/foundation/pdf_objects.h"
#include "platform/base/streams.h"

namespace {

std::string Text(TQxPDFObject& o) {
  TMemoryStream s;
  o.WriteTo(s);
  const auto* m = static_cast<const char*>(s.Memory());
  return std::string(m, m + s.Size());
}

}  // namespace

TEST(PdfObjects, DirectObjectSyntax) {
  TQxPDFNameObject name("A B#");
  EXPECT_EQ(Text(name), "/A#20B#");
  TQxPDFNameObject high("\xE9t\xC3");
  EXPECT_EQ(Text(high), "/#E9t#C3");
  TQxPDFStringObject str("a(b)\\c\n");
  EXPECT_EQ(Text(str), "(a\\(b\\)\\\\c\\n)");
  TQxPDFStringObject accented("caf\xC3\xA9");  // UTF-8 in, code page 1252 out
  EXPECT_EQ(Text(accented), "(caf\xE9)");
  // A comma decimal separator in the locale changes nothing.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  TQxPDFNumericObject a(595), b(0.5), c(-12.25);
  EXPECT_EQ(Text(a), "595");
  EXPECT_EQ(Text(b), "0.5");
  EXPECT_EQ(Text(c), "-12.25");
  // Never an exponent: PDF has none.
  const std::pair<double, const char*> plain[] = {{1e20, "100000000000000000000"},
                                                  {1.5e-7, "0.00000015"},
                                                  {-2.5e-5, "-0.000025"},
                                                  {123456.75, "123456.75"},
                                                  {-1e-300 * 1e-30, "0"}};
  for (const auto& [v, text] : plain) {
    TQxPDFNumericObject n(v);
    EXPECT_EQ(Text(n), text) << v;
  }
  std::setlocale(LC_NUMERIC, saved.c_str());
  TQxPDFRefObject ref(5, 0);
  EXPECT_EQ(Text(ref), "5 0 R");
  TQxPDFArrayObject arr;
  arr.Add(new TQxPDFBooleanObject(true));
  arr.Add(new TQxPDFNumericObject(1));
  EXPECT_EQ(Text(arr), "[true 1 ]");
  TQxPDFDictionaryObject dict;
  dict.Add("Type", new TQxPDFNameObject("Page"));
  dict.Add("Count", new TQxPDFNumericObject(2));
  EXPECT_EQ(Text(dict), "<< /Type /Page\n/Count 2\n>>");
}

TEST(PdfObjects, StreamLengthFollowsItsData) {
  TQxPDFStreamObject s;
  s.SetData("0123456789", 10);
  EXPECT_EQ(Text(s), "<< /Length 10\n>>\nstream\n0123456789\nendstream");
}

TEST(PdfObjects, DocumentBodyWithCrossReferenceTable) {
  TQxPDFObjectList list;
  auto* catalog = QxPDFAddCatalog(list);
  std::vector<TQxPDFDictionaryObject*> pages;
  auto* content = TQxPDFStreamObject::CreateWithData("q Q", 3).release();
  QxPDFAddObject(list, content);
  auto* box = new TQxPDFArrayObject();
  box->Add(new TQxPDFNumericObject(0));
  QxPDFAddPage(list, pages, nullptr, content->ObjectNumber, box);
  auto* pagesDict = QxPDFAddPages(list, pages);
  auto* info = new TQxPDFDictionaryObject();
  QxPDFAddObject(list, info);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(catalog->ObjectNumber, 1);
  EXPECT_EQ(pagesDict->ObjectNumber, 4);

  TMemoryStream s;
  QxPDFWriteHeader(s);
  QxPDFWriteObjects(s, list);
  QxPDFWriteTrailer(s, list, *info);
  const auto* m = static_cast<const char*>(s.Memory());
  const std::string t(m, m + s.Size());
  EXPECT_EQ(t.substr(0, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
  EXPECT_NE(t.find("<< /Type /Catalog\n/Pages 4 0 R\n>>"), std::string::npos);
  EXPECT_NE(t.find("/Parent 4 0 R"), std::string::npos);
  EXPECT_NE(t.find("/Kids [3 0 R ]\n/Count 1"), std::string::npos);
  const size_t xref = t.find("xref\n0 6\n0000000000 65535 f \n");
  ASSERT_NE(xref, std::string::npos);
  // Each entry points at its object's header line.
  for (int i = 0; i < 5; ++i) {
    const size_t entry = xref + 9 + 20 * (i + 1);
    const size_t offset = std::stoul(t.substr(entry, 10));
    EXPECT_EQ(t.substr(offset, std::to_string(i + 1).size() + 6), std::to_string(i + 1) + " 0 obj");
    EXPECT_EQ(t.substr(entry + 10, 10), " 00000 n \n");
  }
  EXPECT_NE(t.find("trailer\n<< /Size 6\n/Root 1 0 R\n/Info 5 0 R\n>>\nstartxref\n" + std::to_string(xref) +
                   "\n%%EOF\n"),
            std::string::npos);
  for (auto* o : list) delete o;
}
