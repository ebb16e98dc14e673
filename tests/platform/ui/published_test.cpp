// The published-property registry: text reaches the real setters; unknown names and kinds are skipped.
#include <gtest/gtest.h>

#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/published.h"

namespace {

TEST(Published, SetsIntegerStringAndStringListProperties) {
  TForm f(nullptr);
  auto* item = new TMenuItem(&f);
  auto* dlg = new TColorDialog(&f);
  int texts = 0;
  struct TCounting : TControl {
    using TControl::TControl;
    int* Count = nullptr;
    void CMTextChanged(TMessage& M) override {
      ++*Count;
      TControl::CMTextChanged(M);
    }
  };
  auto* c = new TCounting(&f);
  c->Count = &texts;
  c->SetParent(&f);

  EXPECT_TRUE(SetPropertyFromText(c, "Caption", "Amplitude =x"));
  EXPECT_EQ(c->Caption(), "Amplitude =x");
  EXPECT_EQ(texts, 1);  // through the setter
  EXPECT_TRUE(SetPropertyFromText(c, "hint", "Ajuster"));
  EXPECT_EQ(c->Hint(), "Ajuster");
  EXPECT_TRUE(SetPropertyFromText(&f, "Tag", "3"));
  EXPECT_EQ(f.Tag(), 3);
  EXPECT_TRUE(SetPropertyFromText(item, "Caption", "&Datei"));
  EXPECT_EQ(item->Caption(), "&Datei");
  EXPECT_TRUE(SetPropertyFromText(dlg, "CustomColors", "ColorA=FFFFFF"));
  EXPECT_EQ(dlg->CustomColors(), (std::vector<std::string>{"ColorA=FFFFFF"}));

  // Unknown names, dotted paths and kinds other than integer, string and string list do nothing.
  EXPECT_FALSE(SetPropertyFromText(c, "Nothing", "x"));
  EXPECT_FALSE(SetPropertyFromText(c, "Font.Name", "Arial"));
  EXPECT_FALSE(SetPropertyFromText(c, "Visible", "False"));
  EXPECT_TRUE(c->Visible());
  EXPECT_FALSE(SetPropertyFromText(nullptr, "Caption", "x"));
  EXPECT_THROW(SetPropertyFromText(c, "Tag", "abc"), EConvertError);
}

TEST(Published, LaterRegistrationForADerivedClassWins) {
  struct TSpecial : TControl {
    using TControl::TControl;
    std::string Seen;
  };
  RegisterStringProperty<TSpecial>("Caption", [](TSpecial* s, const std::string& v) { s->Seen = "special " + v; });
  TSpecial s(nullptr);
  TControl plain(nullptr);
  SetPropertyFromText(&s, "Caption", "x");
  SetPropertyFromText(&plain, "Caption", "y");
  EXPECT_EQ(s.Seen, "special x");
  EXPECT_EQ(s.Caption(), "");
  EXPECT_EQ(plain.Caption(), "y");
}

}  // namespace
