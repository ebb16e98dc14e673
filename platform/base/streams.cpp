#include "platform/base/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/base/strings.h"

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count > 0 && Read(Buffer, Count) != Count) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count > 0 && Write(Buffer, Count) != Count) throw EWriteError(SWriteError);
}

int64_t TStream::Size() {
  int64_t Pos = Seek(0, TSeekOrigin::soCurrent);
  int64_t Result = Seek(0, TSeekOrigin::soEnd);
  Seek(Pos, TSeekOrigin::soBeginning);
  return Result;
}

void TStream::SetSize(int64_t) {}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const int64_t MaxBufSize = 0xF000;
  int64_t Result = Count;
  std::vector<uint8_t> Buffer(static_cast<size_t>(Count > MaxBufSize ? MaxBufSize : (Count > 0 ? Count : 1)));
  while (Count > 0) {
    int64_t N = Count > MaxBufSize ? MaxBufSize : Count;
    Source->ReadBuffer(Buffer.data(), N);
    WriteBuffer(Buffer.data(), N);
    Count -= N;
  }
  return Result;
}

// ---- THandleStream ----

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FHandle < 0) return 0;
  int64_t Done = 0;
  auto* P = static_cast<uint8_t*>(Buffer);
  while (Done < Count) {
    ssize_t N = ::read(FHandle, P + Done, static_cast<size_t>(Count - Done));
    if (N < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FHandle < 0) return 0;
  int64_t Done = 0;
  auto* P = static_cast<const uint8_t*>(Buffer);
  while (Done < Count) {
    ssize_t N = ::write(FHandle, P + Done, static_cast<size_t>(Count - Done));
    if (N < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int Whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET : (Origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END);
  off_t R = ::lseek(FHandle, static_cast<off_t>(Offset), Whence);
  return R < 0 ? -1 : static_cast<int64_t>(R);
}

void THandleStream::SetSize(int64_t NewSize) {
  int64_t Pos = Position();
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) throw EStreamError(SWriteError);
  if (Pos > NewSize) Seek(NewSize, TSeekOrigin::soBeginning);
}

// ---- TFileStream ----

int FileOpenMode(const std::string& FileName, uint16_t Mode) {
  if (Mode == fmCreate) return ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  unsigned Access = Mode & 3;
  unsigned Share = (Mode & 0xF0) >> 4;
  if (Access == 3 || Share > 4) {
    errno = EINVAL;
    return -1;
  }
  static const int Flags[3] = {O_RDONLY, O_WRONLY, O_RDWR};
  int Fd = ::open(FileName.c_str(), Flags[Access] | O_CLOEXEC);
  if (Fd >= 0) {
    // A directory opens read-only on POSIX; it is no file.
    struct stat St;
    if (::fstat(Fd, &St) == 0 && S_ISDIR(St.st_mode)) {
      ::close(Fd);
      errno = EISDIR;
      return -1;
    }
  }
  return Fd;
}

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode)
    : THandleStream(FileOpenMode(FileName, Mode)), FFileName(FileName) {
  if (FHandle < 0) {
    int Err = errno;
    if (Mode == fmCreate) throw EFCreateError(Format(SFCreateError, ExpandFileName(FileName).c_str(), SysErrorMessage(Err).c_str()));
    throw EFOpenError(Format(SFOpenError, ExpandFileName(FileName).c_str(), SysErrorMessage(Err).c_str()));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// ---- memory streams ----

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  FMemory = Ptr;
  FSize = Size;
}

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  int64_t N = FSize - FPosition;
  if (N > Count) N = Count;
  std::memcpy(Buffer, static_cast<uint8_t*>(FMemory) + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case TSeekOrigin::soBeginning: FPosition = Offset; break;
    case TSeekOrigin::soCurrent: FPosition += Offset; break;
    case TSeekOrigin::soEnd: FPosition = FSize + Offset; break;
  }
  if (FPosition < 0) FPosition = 0;
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
  if (FSize > 0) Stream->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream F(FileName, fmCreate);
  SaveToStream(&F);
}

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
  if (NewCapacity == FCapacity) return;
  if (NewCapacity <= 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  void* P = std::realloc(FMemory, static_cast<size_t>(NewCapacity));
  if (!P) throw EOutOfMemory("Out of memory");
  FMemory = P;
  FCapacity = NewCapacity;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  int64_t OldPos = FPosition;
  if (NewSize > FCapacity) {
    // Round up to 8 KB so that growing writes do not reallocate every time.
    int64_t Cap = (NewSize + 0x1FFF) & ~int64_t(0x1FFF);
    SetCapacity(Cap);
  }
  // Grown bytes read as zeros, never as stale memory.
  if (NewSize > FSize) std::memset(static_cast<uint8_t*>(FMemory) + FSize, 0, static_cast<size_t>(NewSize - FSize));
  FSize = NewSize;
  if (OldPos > NewSize) FPosition = NewSize;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  int64_t End = FPosition + Count;
  if (End > FSize) {
    if (End > FCapacity) {
      int64_t Cap = FCapacity + FCapacity / 4;
      if (Cap < End) Cap = End;
      Cap = (Cap + 0x1FFF) & ~int64_t(0x1FFF);
      SetCapacity(Cap);
    }
    if (FPosition > FSize) std::memset(static_cast<uint8_t*>(FMemory) + FSize, 0, static_cast<size_t>(FPosition - FSize));
    FSize = End;
  }
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
  return Count;
}

void TMemoryStream::Clear() {
  SetCapacity(0);
  FSize = 0;
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  int64_t Count = Stream->Size();
  SetSize(Count);
  if (Count > 0) Stream->ReadBuffer(FMemory, Count);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&F);
}
