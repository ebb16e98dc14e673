#include "platform/base/streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/base/files.h"
#include "platform/base/strings.h"

namespace {
std::string TempName(const char* Tag) {
  return TempDirectory() + "qv_base_" + Tag + "_" + std::to_string(::getpid());
}
}  // namespace

TEST(MemoryStream, WriteSeekReadRoundTrip) {
  TMemoryStream M;
  const char Text[] = "hello, stream";
  M.WriteBuffer(Text, 13);
  EXPECT_EQ(M.Size(), 13);
  EXPECT_EQ(M.Position(), 13);
  M.Seek(-6, TSeekOrigin::soEnd);
  char Buf[8] = {};
  EXPECT_EQ(M.Read(Buf, 100), 6);
  EXPECT_STREQ(Buf, "stream");
  EXPECT_EQ(M.Read(Buf, 1), 0);
  // Writing past the end grows the stream; the gap keeps earlier content.
  M.SetPosition(20);
  M.WriteBuffer("x", 1);
  EXPECT_EQ(M.Size(), 21);
  EXPECT_EQ(std::memcmp(M.Memory(), Text, 13), 0);
  EXPECT_EQ(static_cast<char*>(M.Memory())[15], 0);  // the gap reads as zeros
  M.SetSize(40);
  EXPECT_EQ(static_cast<char*>(M.Memory())[39], 0);
  M.SetSize(5);
  EXPECT_EQ(M.Position(), 5);
  M.Clear();
  EXPECT_EQ(M.Size(), 0);
  EXPECT_EQ(M.Memory(), nullptr);
}

TEST(MemoryStream, ShortReadAndWriteRaiseWithTheirTexts) {
  TMemoryStream M;
  M.WriteBuffer("abc", 3);
  M.SetPosition(1);
  char Buf[4];
  try {
    M.ReadBuffer(Buf, 4);
    FAIL();
  } catch (const EReadError& E) {
    EXPECT_EQ(E.Message(), "Stream read error");
  }
  struct TFullStream : TMemoryStream {
    int64_t Write(const void*, int64_t Count) override { return Count / 2; }
  } Full;
  try {
    Full.WriteBuffer("abcd", 4);
    FAIL();
  } catch (const EWriteError& E) {
    EXPECT_EQ(E.Message(), "Stream write error");
  }
}

TEST(FileStream, RoundTripThroughFileAndCopyFrom) {
  std::string Name = TempName("rt");
  {
    TFileStream F(Name, fmCreate);
    F.WriteBuffer("0123456789", 10);
  }
  EXPECT_EQ(FileSize64(Name), 10);
  TMemoryStream M;
  M.LoadFromFile(Name);
  EXPECT_EQ(M.Size(), 10);
  {
    TFileStream F(Name, fmOpenRead | fmShareDenyWrite);
    F.SetPosition(7);
    TMemoryStream Dest;
    EXPECT_EQ(Dest.CopyFrom(&F, 0), 10);  // 0 = the whole source from its start
    EXPECT_EQ(std::memcmp(Dest.Memory(), "0123456789", 10), 0);
    F.SetPosition(8);
    EXPECT_THROW(Dest.CopyFrom(&F, 5), EReadError);
  }
  DeleteFile(Name);
}

TEST(FileStream, FailuresNameTheFullPathAndTheReason) {
  std::string Missing = TempName("missing");
  try {
    TFileStream F(Missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "Cannot open file \"" + Missing + "\". No such file or directory");
  }
  try {
    TFileStream F("/nonexistent-dir/x/y.bin", fmCreate);
    FAIL();
  } catch (const EFCreateError& E) {
    EXPECT_EQ(E.Message(), "Cannot create file \"/nonexistent-dir/x/y.bin\". No such file or directory");
  }
  // Access 3 is no mode; a directory is no file.
  EXPECT_THROW(TFileStream(TempDirectory(), fmOpenRead), EFOpenError);
  EXPECT_EQ(FileOpenMode(Missing, 3), -1);
  EXPECT_EQ(FileOpenMode(Missing, 0x50), -1);
}
