#include "imaging/foundation/qx_streams.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "platform/base/files.h"

namespace {
// A memory stream whose reads deliver at most Limit bytes, as pipes and some decoders do.
class TTrickleStream : public TMemoryStream {
 public:
  explicit TTrickleStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    return TMemoryStream::Read(Buffer, Count < FLimit ? Count : FLimit);
  }

 private:
  int64_t FLimit;
};

class TShortWriteStream : public TMemoryStream {
 public:
  int64_t Accept = 1 << 30;
  int64_t Write(const void* Buffer, int64_t Count) override {
    return TMemoryStream::Write(Buffer, Count < Accept ? Count : Accept);
  }
};

std::vector<uint8_t> Ramp(size_t N) {
  std::vector<uint8_t> V(N);
  for (size_t I = 0; I < N; ++I) V[I] = static_cast<uint8_t>(I * 7 + I / 256);
  return V;
}
}  // namespace

TEST(NulStream, CountsWithoutStoring) {
  TNulStream N;
  uint8_t Buf[10] = {};
  EXPECT_EQ(N.Write(Buf, 10), 10);
  N.Seek(4, TSeekOrigin::soBeginning);
  N.Write(Buf, 2);
  EXPECT_EQ(N.Position(), 6);
  EXPECT_EQ(N.Size(), 10);
  EXPECT_EQ(N.Seek(0, TSeekOrigin::soEnd), 10);
  N.Seek(5, TSeekOrigin::soCurrent);
  EXPECT_EQ(N.Size(), 15);
}

TEST(MemStream, ReadsCallersBlockAndWritesNothing) {
  const char Data[] = "abcdef";
  TQxMemStream M(Data, 6);
  M.Seek(-2, TSeekOrigin::soEnd);
  char Buf[4] = {};
  EXPECT_EQ(M.Read(Buf, 4), 2);
  EXPECT_STREQ(Buf, "ef");
  EXPECT_EQ(M.Write("zz", 2), 0);
  M.SetSize(0);
  EXPECT_EQ(M.Size(), 6);
}

TEST(BufferedReadStream, RelativeBaseSizeAndEnd) {
  TMemoryStream Src;
  std::vector<uint8_t> D = Ramp(300);
  Src.WriteBuffer(D.data(), 300);
  Src.SetPosition(100);
  TQxBufferedReadStream B(&Src, 64, true);
  EXPECT_EQ(B.Position(), 0);
  EXPECT_EQ(B.Size(), 200);
  uint8_t X;
  B.Seek(0, TSeekOrigin::soBeginning);
  ASSERT_EQ(B.Read(&X, 1), 1);
  EXPECT_EQ(X, D[100]);
  B.Seek(197, TSeekOrigin::soBeginning);
  uint8_t Buf[10];
  EXPECT_EQ(B.Read(Buf, 10), 3);
  EXPECT_TRUE(B.EndReached());
  EXPECT_EQ(Buf[2], D[299]);
  EXPECT_EQ(B.Seek(-5, TSeekOrigin::soCurrent), 195);
  EXPECT_FALSE(B.EndReached());
  EXPECT_EQ(B.Seek(200, TSeekOrigin::soBeginning), 200);
  EXPECT_TRUE(B.EndReached());
  EXPECT_EQ(B.Seek(-1000, TSeekOrigin::soCurrent), 0);
  EXPECT_EQ(B.Seek(0, TSeekOrigin::soEnd), 200);
  EXPECT_EQ(B.Seek(4, TSeekOrigin::soEnd), 196);
  EXPECT_EQ(B.Read(Buf, 0), 0);
  try {
    B.Write(Buf, 1);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "TQxBufferedReadStream cannot write!");
  }
  Src.SetPosition(100);  // the buffered reader leaves the source wherever its last refill did
  TQxBufferedReadStream Abs(&Src, 64, false);
  EXPECT_EQ(Abs.Position(), 100);
  EXPECT_EQ(Abs.Size(), 300);
}

// Every buffer size and every source that reads short must deliver the same bytes, byte by byte and in blocks.
TEST(BufferedReadStream, ShortSourceReadsAndBufferBoundaries) {
  std::vector<uint8_t> D = Ramp(1000);
  for (int64_t Trickle : {int64_t(1), int64_t(7), int64_t(1 << 20)})
    for (int32_t BufSize : {1, 3, 64, 8192}) {
      TTrickleStream Src(Trickle);
      Src.WriteBuffer(D.data(), 1000);
      Src.SetPosition(0);
      TQxBufferedReadStream B(&Src, BufSize);
      std::vector<uint8_t> Got;
      uint8_t X;
      for (int I = 0; I < 500; ++I)
        if (B.ReadByte(X)) Got.push_back(X);
      uint8_t Block[137];
      int64_t N;
      while ((N = B.Read(Block, sizeof Block)) > 0) Got.insert(Got.end(), Block, Block + N);
      EXPECT_EQ(Got, D) << "trickle " << Trickle << " buffer " << BufSize;
      B.Seek(998, TSeekOrigin::soBeginning);
      EXPECT_TRUE(B.ReadByte(X));
      EXPECT_EQ(X, D[998]);
      // Large blocks, read past the buffer, then a seek back into what was read and a byte from there.
      std::vector<uint8_t> Big(1200);
      B.Seek(3, TSeekOrigin::soBeginning);
      EXPECT_EQ(B.Read(Big.data(), 600), 600);
      EXPECT_TRUE(std::equal(Big.begin(), Big.begin() + 600, D.begin() + 3));
      EXPECT_EQ(B.Read(Big.data(), 1200), 397);
      EXPECT_TRUE(B.EndReached());
      EXPECT_TRUE(std::equal(Big.begin(), Big.begin() + 397, D.begin() + 603));
      B.Seek(-400, TSeekOrigin::soCurrent);
      EXPECT_TRUE(B.ReadByte(X));
      EXPECT_EQ(X, D[600]) << "trickle " << Trickle << " buffer " << BufSize;
    }
}

TEST(BufferedReadStream, SourceShorterThanItsSizeEndsTheRead) {
  // A source that claims more bytes than it can deliver must not hand out stale buffer bytes.
  class TLyingStream : public TMemoryStream {
   public:
    int64_t Size() override { return TMemoryStream::Size() + 50; }
  } Src;
  std::vector<uint8_t> D = Ramp(100);
  Src.WriteBuffer(D.data(), 100);
  Src.SetPosition(0);
  TQxBufferedReadStream B(&Src, 16);
  std::vector<uint8_t> Buf(150);
  EXPECT_EQ(B.Read(Buf.data(), 150), 100);
  EXPECT_TRUE(B.EndReached());
}

TEST(WideFileStream, ModesAndErrorTexts) {
  std::string Name = TempDirectory() + "qv_wfs_" + std::to_string(::getpid());
  try {
    TQxWideFileStream F(Name, 3);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "Cannot open file \"" + Name + "\". Invalid argument");
  }
  EXPECT_FALSE(FileExists(Name));
  try {
    TQxWideFileStream F(Name, 0x20);
    FAIL();
  } catch (const EFOpenError& E) {
    EXPECT_EQ(E.Message(), "Cannot open file \"" + Name + "\". No such file or directory");
  }
  {
    TQxWideFileStream F(Name, 0xFFFF);
    F.WriteBuffer("data", 4);
  }
  TQxWideFileStream R(Name, 0x20);
  EXPECT_EQ(R.Size(), 4);
  DeleteFile(Name);
}

TEST(StreamRoutines, CopyStreamCountsAndLimits) {
  TMemoryStream Src;
  std::vector<uint8_t> D = Ramp(0x30000 + 5);  // more than one copy buffer
  Src.WriteBuffer(D.data(), static_cast<int64_t>(D.size()));
  Src.SetPosition(10);
  TMemoryStream Dst;
  EXPECT_EQ(QxCopyStream(&Dst, &Src, 0), static_cast<int64_t>(D.size()));
  EXPECT_EQ(std::memcmp(Dst.Memory(), D.data(), D.size()), 0);
  Src.SetPosition(static_cast<int64_t>(D.size()) - 4);
  EXPECT_EQ(QxCopyStream(&Dst, &Src, 100), 4);
  EXPECT_EQ(QxCopyStream(&Dst, &Src, 100), 0);
}

TEST(StreamRoutines, WriteCheckedKeepsTheAbortFlag) {
  TShortWriteStream S;
  bool Aborting = false;
  QxWriteChecked(&S, Aborting, "abcd", 4);
  EXPECT_FALSE(Aborting);
  S.Accept = 2;
  QxWriteChecked(&S, Aborting, "abcd", 4);
  EXPECT_TRUE(Aborting);
  S.Accept = 100;
  QxWriteChecked(&S, Aborting, "abcd", 4);
  EXPECT_TRUE(Aborting);
  std::atomic<bool> Flag{false};
  S.Accept = 0;
  QxWriteChecked(&S, &Flag, "x", 1);
  EXPECT_TRUE(Flag);
  QxWriteChecked(&S, static_cast<std::atomic<bool>*>(nullptr), "x", 1);  // no flag: no crash
}

TEST(StreamRoutines, AnsiStringsRefuseLengthsBeyondTheStream) {
  TMemoryStream M;
  QxWriteAnsiString(&M, "héllo");
  QxWriteAnsiString(&M, "");
  QxWriteLine(&M, "PS");
  M.SetPosition(0);
  std::string S;
  EXPECT_TRUE(QxReadAnsiString(&M, S));
  EXPECT_EQ(S, "héllo");
  EXPECT_TRUE(QxReadAnsiString(&M, S));
  EXPECT_EQ(S, "");
  char Line[4];
  M.ReadBuffer(Line, 4);
  EXPECT_EQ(std::string(Line, 4), "PS\r\n");

  struct Case { uint32_t Length; const char* Why; };
  for (Case C : {Case{0x7FFFFFFF, "huge"}, {0x80000000u, "negative"}, {6, "one more than is left"}}) {
    TMemoryStream Bad;
    uint8_t L[4] = {uint8_t(C.Length), uint8_t(C.Length >> 8), uint8_t(C.Length >> 16), uint8_t(C.Length >> 24)};
    Bad.WriteBuffer(L, 4);
    Bad.WriteBuffer("abcde", 5);
    Bad.SetPosition(0);
    S = "old";
    EXPECT_FALSE(QxReadAnsiString(&Bad, S)) << C.Why;
    EXPECT_EQ(S, "") << C.Why;
  }
  TMemoryStream Cut;
  Cut.WriteBuffer("\x02\x00", 2);
  Cut.SetPosition(0);
  EXPECT_FALSE(QxReadAnsiString(&Cut, S));
}

// A stream that can only be read forward, like a decompressor: asking its size would consume it.
TEST(StreamRoutines, StreamsOfUnknownSizeAreReadWithoutAskingIt) {
  class TForwardOnly : public TMemoryStream {
   public:
    bool SizeKnown() override { return false; }
    int64_t Size() override { throw EStreamError("size asked"); }
  } Src;
  QxWriteAnsiString(&Src, "abc");
  Src.WriteBuffer("0123456789", 10);
  Src.SetPosition(0);
  std::string S;
  EXPECT_TRUE(QxReadAnsiString(&Src, S));
  EXPECT_EQ(S, "abc");
  TMemoryStream Dst;
  EXPECT_EQ(QxCopyStream(&Dst, &Src, 6), 6);
  EXPECT_EQ(std::memcmp(Dst.Memory(), "012345", 6), 0);
  EXPECT_THROW(QxCopyStream(&Dst, &Src, 100), EReadError);  // nothing to limit by: the short read shows
}
