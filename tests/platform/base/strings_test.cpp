#include "platform/base/strings.h"

#include <gtest/gtest.h>

TEST(StringList, SortedListsIgnoreOrRefuseDuplicatesWithoutCase) {
  TStringList L;
  L.SetSorted(true);
  L.Add("pear");
  L.Add("Apple");
  L.Add("apple");  // same text without case: ignored
  L.Add("fig");
  EXPECT_EQ(L.CommaText(), "Apple,fig,pear");
  EXPECT_EQ(L.IndexOf("PEAR"), 2);
  L.SetDuplicates(TDuplicates::dupError);
  EXPECT_THROW(L.Add("FIG"), EStringListError);
  EXPECT_THROW(L.Insert(0, "x"), EStringListError);
  L.SetCaseSensitive(true);
  L.SetDuplicates(TDuplicates::dupAccept);
  L.Add("apple");
  EXPECT_EQ(L.Count(), 4);
  EXPECT_THROW(L.Strings(4), EStringListError);
}

TEST(StringList, NamesValuesTextAndCommaText) {
  TStringList L;
  int Changes = 0;
  L.OnChange = [&](TStrings*) { ++Changes; };
  L.SetText("a=1\r\nB=two=2\nlone\r\n\r\n");
  EXPECT_EQ(Changes, 1);  // one notice for the whole update
  ASSERT_EQ(L.Count(), 4);
  EXPECT_EQ(L.Values("b"), "two=2");
  EXPECT_EQ(L.Names(1), "B");
  EXPECT_EQ(L.Names(2), "");
  L.SetValues("A", "");
  EXPECT_EQ(L.IndexOfName("a"), -1);
  L.SetValues("c", "3");
  EXPECT_EQ(L.Strings(L.Count() - 1), "c=3");

  TStringList C;
  C.SetCommaText("one, \"two words\",\"say \"\"hi\"\"\",,last");
  ASSERT_EQ(C.Count(), 5);
  EXPECT_EQ(C[1], "two words");
  EXPECT_EQ(C[2], "say \"hi\"");
  EXPECT_EQ(C[3], "");
  EXPECT_EQ(C.CommaText(), "one,\"two words\",\"say \"\"hi\"\"\",,last");
}

TEST(StringHelpers, NumbersAndText) {
  EXPECT_EQ(StrToIntDef(" 42 ", 0), 42);
  EXPECT_EQ(StrToIntDef("$1F", 0), 31);
  EXPECT_EQ(StrToIntDef("4x", -1), -1);
  EXPECT_EQ(StrToIntDef("2147483648", -1), -1);
  EXPECT_THROW(StrToInt("abc"), EConvertError);
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(FloatToStr(0.1), "0.1");
  EXPECT_EQ(FloatToStr(1234567.0), "1234567");
  EXPECT_EQ(FloatToStr(1e20), "1E+20");
  DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(2.5), "2,5");
  EXPECT_DOUBLE_EQ(StrToFloatDef("1,25", 0), 1.25);
  EXPECT_DOUBLE_EQ(StrToFloatDef("1.25", -1), -1);
  DecimalSeparator = '.';
  EXPECT_EQ(FloatToStrF(3.14159, TFloatFormat::ffFixed, 15, 2), "3.14");
  EXPECT_EQ(Trim("\t x y \r\n"), "x y");
  EXPECT_EQ(UpperCase("abcÄ"), "ABCÄ");
  EXPECT_TRUE(SameText("Options", "OPTIONS"));
  EXPECT_EQ(Pos("lo", "hello"), 4);
  EXPECT_EQ(Copy("hello", 2, 100), "ello");
  EXPECT_EQ(Copy("hello", 9, 1), "");
  EXPECT_EQ(StringReplace("aXbxc", "x", "-", rfReplaceAll | rfIgnoreCase), "a-b-c");
  EXPECT_EQ(Format("%s=%d", "k", 5), "k=5");
}

TEST(StringHelpers, Paths) {
  EXPECT_EQ(ExtractFilePath("/a/b/c.png"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.png"), "c.png");
  EXPECT_EQ(ExtractFileExt("/a/b.d/c"), "");
  EXPECT_EQ(ExtractFileExt("/a/b/c.tar.gz"), ".gz");
  EXPECT_EQ(ChangeFileExt("/a/b/c.png", ".jpg"), "/a/b/c.jpg");
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".jpg"), "/a.b/c.jpg");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(ExpandFileName("/a/./b/../c"), "/a/c");
  EXPECT_EQ(ExpandFileName("/.."), "/");
}
