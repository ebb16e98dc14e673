#include "imaging/foundation/qx_streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/base/strings.h"

// ---- TNulStream ----

int64_t TNulStream::ReadBytes(void*, int64_t Count) {
  if (Count <= 0) return 0;
  FPosition += Count;
  if (FPosition > FSize) FSize = FPosition;
  return Count;
}

int64_t TNulStream::WriteBytes(const void*, int64_t Count) {
  if (Count <= 0) return 0;
  FPosition += Count;
  if (FPosition > FSize) FSize = FPosition;
  return Count;
}

int64_t TNulStream::SeekPosition(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case TSeekOrigin::soBeginning: FPosition = Offset; break;
    case TSeekOrigin::soCurrent: FPosition += Offset; break;
    case TSeekOrigin::soEnd: FPosition = FSize; break;
  }
  if (FPosition < 0) FPosition = 0;
  if (FPosition > FSize) FSize = FPosition;
  return FPosition;
}

void TNulStream::SetSize(int64_t NewSize) {
  FSize = NewSize < 0 ? 0 : NewSize;
  if (FPosition > FSize) FPosition = FSize;
}

// ---- TQxBufferedReadStream ----

TQxBufferedReadStream::TQxBufferedReadStream(TStream* Source, int32_t BufferSize, bool Relative) : FSource(Source) {
  int64_t Pos = Source->Position();
  FBase = Relative ? Pos : 0;
  FSourceSize = Source->Size();
  FPosition = Pos;
  SetBufferSize(BufferSize);
}

TQxBufferedReadStream::~TQxBufferedReadStream() = default;

void TQxBufferedReadStream::SetBufferSize(int32_t Size) {
  if (Size < 1) Size = 1;
  FBuffer.reset(new uint8_t[static_cast<size_t>(Size)]);
  FBufferSize = Size;
  FillBuffer();
}

void TQxBufferedReadStream::FillBuffer() {
  FSource->SetPosition(FPosition);
  // Keep how much really arrived: bytes past it are not the source's.
  int64_t N = FSource->Read(FBuffer.get(), FBufferSize);
  FFilled = N > 0 ? static_cast<int32_t>(N) : 0;
  FIndex = 0;
}

int64_t TQxBufferedReadStream::ReadBytes(void* Buffer, int64_t Count) {
  FEndReached = false;
  int64_t Left = FSourceSize - FPosition;
  if (Left < 0) Left = 0;
  if (Count > Left) {
    FEndReached = true;
    Count = Left;
  }
  if (Count <= 0) return 0;
  auto* Out = static_cast<uint8_t*>(Buffer);
  int64_t Done = 0;
  while (Done < Count) {
    if (FIndex >= FFilled && Count - Done >= FBufferSize) {
      // A block at least as large as the buffer goes straight to the caller: passing it through the
      // buffer would copy it a second time.
      FSource->SetPosition(FPosition);
      const int64_t N = FSource->Read(Out + Done, Count - Done);
      FIndex = FFilled = 0;
      if (N <= 0) {
        FEndReached = true;
        break;
      }
      FPosition += N;
      Done += N;
      continue;
    }
    if (FIndex >= FFilled) {
      FillBuffer();
      if (FFilled == 0) {
        // The source delivered less than its size promised.
        FEndReached = true;
        break;
      }
    }
    int64_t N = std::min<int64_t>(Count - Done, FFilled - FIndex);
    std::memcpy(Out + Done, FBuffer.get() + FIndex, static_cast<size_t>(N));
    FIndex += static_cast<int32_t>(N);
    FPosition += N;
    Done += N;
  }
  return Done;
}

int64_t TQxBufferedReadStream::WriteBytes(const void*, int64_t) {
  throw Exception("TQxBufferedReadStream cannot write!");
}

void TQxBufferedReadStream::SetSize(int64_t) { throw Exception("TQxBufferedReadStream cannot write!"); }

int64_t TQxBufferedReadStream::SeekPosition(int64_t Offset, TSeekOrigin Origin) {
  FEndReached = false;
  int64_t Target;
  switch (Origin) {
    case TSeekOrigin::soBeginning: Target = FBase + Offset; break;
    case TSeekOrigin::soCurrent: Target = FPosition + Offset; break;
    case TSeekOrigin::soEnd: Target = FSourceSize - (Offset < 0 ? -Offset : Offset); break;
    default: Target = FPosition; break;
  }
  // Nothing lies before the logical start.
  if (Target < FBase) Target = FBase;
  if (Target >= FSourceSize) {
    Target = FSourceSize;
    FEndReached = true;
  }
  int64_t NewIndex = FIndex + (Target - FPosition);
  if (NewIndex >= 0 && NewIndex < FFilled) {
    FIndex = static_cast<int32_t>(NewIndex);
    FPosition = Target;
  } else {
    FPosition = Target;
    FillBuffer();
  }
  return FPosition - FBase;
}

// ---- TQxWideFileStream ----

int QxFileCreateW(const std::string& FileName) { return FileOpenMode(FileName, fmCreate); }

int QxFileOpenW(const std::string& FileName, uint16_t Mode) {
  if (Mode == fmCreate) return -1;
  return FileOpenMode(FileName, Mode);
}

TQxWideFileStream::TQxWideFileStream(const std::string& FileName, uint16_t Mode)
    : THandleStream(Mode == fmCreate ? QxFileCreateW(FileName) : QxFileOpenW(FileName, Mode)) {
  if (FHandle < 0) {
    int Err = errno;
    std::string Full = ExpandFileName(FileName);
    if (Mode == fmCreate) throw EFCreateError(Format(SFCreateError, Full.c_str(), SysErrorMessage(Err).c_str()));
    throw EFOpenError(Format(SFOpenError, Full.c_str(), SysErrorMessage(Err).c_str()));
  }
}

TQxWideFileStream::~TQxWideFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// ---- stream routines ----

void QxWriteChecked(TStream* Stream, bool& Aborting, const void* Buffer, int64_t Count) {
  if (Stream->Write(Buffer, Count) < Count) Aborting = true;
}

void QxWriteChecked(TStream* Stream, std::atomic<bool>& Aborting, const void* Buffer, int64_t Count) {
  if (Stream->Write(Buffer, Count) < Count) Aborting = true;
}

void QxWriteChecked(TStream* Stream, std::atomic<bool>* Aborting, const void* Buffer, int64_t Count) {
  if (Stream->Write(Buffer, Count) < Count && Aborting) *Aborting = true;
}

// Streams whose size cannot be asked (the compression streams) answer -1 here.
static int64_t KnownSize(TStream* S) {
  if (!S->SizeKnown()) return -1;
  try {
    return S->Size();
  } catch (const Exception&) {
    return -1;
  }
}

int64_t QxCopyStream(TStream* Dest, TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  int64_t Size = KnownSize(Source);
  if (Size >= 0) {
    int64_t Left = Size - Source->Position();
    Count = std::max<int64_t>(0, std::min(Count, Left));
  }
  if (Count <= 0) return 0;
  const int64_t MaxBuf = 0x2FFFF;
  std::vector<uint8_t> Buf(static_cast<size_t>(std::min(Count, MaxBuf)));
  int64_t Left = Count;
  while (Left > 0) {
    int64_t N = std::min<int64_t>(Left, static_cast<int64_t>(Buf.size()));
    Source->ReadBuffer(Buf.data(), N);
    Dest->WriteBuffer(Buf.data(), N);
    Left -= N;
  }
  return Count;
}

void QxWriteAnsiString(TStream* Stream, const std::string& Text) {
  int32_t Len = static_cast<int32_t>(Text.size());
  uint8_t L[4] = {uint8_t(Len), uint8_t(Len >> 8), uint8_t(Len >> 16), uint8_t(Len >> 24)};
  Stream->WriteBuffer(L, 4);
  if (Len > 0) Stream->WriteBuffer(Text.data(), Len);
}

bool QxReadAnsiString(TStream* Stream, std::string& Text) {
  Text.clear();
  uint8_t L[4];
  if (Stream->Read(L, 4) != 4) return false;
  int32_t Len = static_cast<int32_t>(uint32_t(L[0]) | (uint32_t(L[1]) << 8) | (uint32_t(L[2]) << 16) |
                                     (uint32_t(L[3]) << 24));
  if (Len == 0) return true;
  if (Len < 0) return false;
  // A length beyond what the stream still holds is damage; never allocate for it.
  int64_t Size = KnownSize(Stream);
  if (Size >= 0 && Len > Size - Stream->Position()) return false;
  Text.resize(static_cast<size_t>(Len));
  int64_t Got = Stream->Read(Text.data(), Len);
  if (Got < Len) {
    Text.resize(static_cast<size_t>(Got > 0 ? Got : 0));
    return false;
  }
  return true;
}

void QxWriteLine(TStream* Stream, const std::string& Text) {
  if (!Text.empty()) Stream->WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
  Stream->WriteBuffer("\r\n", 2);
}
