#include "platform/base/inifiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/base/files.h"

namespace {
std::string TempIni(const char* Tag) {
  return TempDirectory() + "qv_ini_" + Tag + "_" + std::to_string(::getpid()) + ".ini";
}
}  // namespace

TEST(IniFile, ProfileSemanticsOnRead) {
  TMemIniFile Ini("");
  Ini.SetText(
      "\xEF\xBB\xBF; leading comment\r\n"
      "[Options]\r\n"
      "  Space = 25  \r\n"
      "Quoted=\"  padded  \"\r\n"
      "Single='x'\r\n"
      "Half=\"open\r\n"
      "Flag=1\r\n"
      "Bad=abc\r\n"
      "Ratio=0.75\r\n"
      "space=99\r\n"
      "[Empty]\r\n"
      "[Ünïcode]\r\n"
      "Name=Grüße\r\n");
  EXPECT_EQ(Ini.ReadInteger("OPTIONS", "space", 0), 25);  // first of duplicate keys wins
  EXPECT_EQ(Ini.ReadString("options", "Quoted", ""), "  padded  ");
  EXPECT_EQ(Ini.ReadString("Options", "Single", ""), "x");
  EXPECT_EQ(Ini.ReadString("Options", "Half", ""), "\"open");
  EXPECT_TRUE(Ini.ReadBool("Options", "Flag", false));
  EXPECT_EQ(Ini.ReadInteger("Options", "Bad", -7), -7);
  EXPECT_TRUE(Ini.ReadBool("Options", "Bad", true));
  EXPECT_DOUBLE_EQ(Ini.ReadFloat("Options", "Ratio", 0), 0.75);
  EXPECT_EQ(Ini.ReadString("Options", "Missing", "def"), "def");
  EXPECT_EQ(Ini.ReadString("Ünïcode", "name", ""), "Grüße");
  EXPECT_TRUE(Ini.SectionExists("empty"));
  EXPECT_FALSE(Ini.ValueExists("Empty", "x"));
  TStringList Keys;
  Ini.ReadSection("Options", Keys);
  EXPECT_EQ(Keys.CommaText(), "Space,Quoted,Single,Half,Flag,Bad,Ratio");
  Ini.ReadSections(Keys);
  EXPECT_EQ(Keys.Count(), 3);
  Ini.ReadSectionValues("options", Keys);
  EXPECT_EQ(Keys.Values("Quoted"), "  padded  ");
  Ini.SetText("\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nk=v");  // a doubled byte-order mark
  EXPECT_EQ(Ini.ReadString("S", "k", ""), "v");
}

TEST(IniFile, WritesKeepOrderCommentsAndGoToDisk) {
  std::string Name = TempIni("write");
  WriteFileBytes(Name, "; keep me\n[A]\nx=1\nX=dup\n; tail of A\n\n[B]\ny=2\n");
  {
    TIniFile Ini(Name);
    Ini.WriteInteger("a", "X", 5);      // existing key keeps its place and spelling
    Ini.WriteString("A", "z", "new");   // new key after the last key of its section
    Ini.WriteBool("C", "On", true);     // new section at the end
    Ini.WriteFloat("C", "F", 1.5);
    Ini.DeleteKey("B", "Y");
  }
  EXPECT_EQ(ReadFileBytes(Name),
            "; keep me\r\n[A]\r\nx=5\r\nz=new\r\nX=dup\r\n; tail of A\r\n\r\n[B]\r\n[C]\r\nOn=1\r\nF=1.5\r\n");
  TMemIniFile Mem(Name);
  Mem.EraseSection("c");
  EXPECT_FALSE(Mem.SectionExists("C"));
  EXPECT_TRUE(TIniFile(Name).SectionExists("C"));  // a memory file writes only on UpdateFile
  Mem.UpdateFile();
  EXPECT_FALSE(TIniFile(Name).SectionExists("C"));
  DeleteFile(Name);
}

TEST(IniFile, MissingFileReadsEmptyAndUnwritableFileRaises) {
  TIniFile Ini(TempIni("absent"));
  EXPECT_EQ(Ini.ReadString("A", "b", "d"), "d");
  TMemIniFile Bad("/nonexistent-dir/x.ini");
  Bad.WriteString("A", "b", "c");
  EXPECT_THROW(Bad.UpdateFile(), EFCreateError);
  TIniFile Direct("/nonexistent-dir/x.ini");
  try {
    Direct.WriteInteger("A", "b", 1);
    FAIL();
  } catch (const EIniFileException& E) {
    EXPECT_EQ(E.Message(), "Unable to write to /nonexistent-dir/x.ini");
  }
}
