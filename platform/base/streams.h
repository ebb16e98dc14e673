#pragma once
// Byte streams: the abstract TStream, handle and file streams, and memory streams.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/base/exceptions.h"

enum class TSeekOrigin : uint8_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Open modes of TFileStream: access in the low two bits, sharing in bits 4..6.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

constexpr const char* SReadError = "Stream read error";
constexpr const char* SWriteError = "Stream write error";
constexpr const char* SFCreateError = "Cannot create file \"%s\". %s";
constexpr const char* SFOpenError = "Cannot open file \"%s\". %s";

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  // Writes up to Count bytes; returns how many were written.
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  // Exactly Count bytes or EReadError / EWriteError.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);
  // False for streams whose size cannot be asked without consuming them (compression streams); readers
  // that check lengths against what is left then rely on the reads alone.
  virtual bool SizeKnown() { return true; }

  // Copies Count bytes from Source's position; Count 0 copies the whole Source from its start.
  // Returns the bytes copied; a short Source raises EReadError.
  int64_t CopyFrom(TStream* Source, int64_t Count);
};

// A stream over an open POSIX file descriptor. Does not close it.
class THandleStream : public TStream {
 public:
  explicit THandleStream(int Handle) : FHandle(Handle) {}
  int Handle() const { return FHandle; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;

 protected:
  int FHandle;
};

// A named file. fmCreate creates or truncates; other modes open an existing file.
// Failures raise EFCreateError / EFOpenError with the full path and the system's reason.
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& FileName, uint16_t Mode);
  ~TFileStream() override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
};

// Opens FileName for Mode and returns the descriptor, or -1 (errno set); an invalid Mode gives -1
// (errno EINVAL) without touching the file system.
int FileOpenMode(const std::string& FileName, uint16_t Mode);

class TCustomMemoryStream : public TStream {
 public:
  void* Memory() const { return FMemory; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }
  void SaveToStream(TStream* Stream);
  void SaveToFile(const std::string& FileName);

 protected:
  // Points the stream at a block it does not own.
  void SetPointer(void* Ptr, int64_t Size);
  void* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

// A growable block of memory the stream owns.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
  void Clear();
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  int64_t Capacity() const { return FCapacity; }
  void SetCapacity(int64_t NewCapacity);

 private:
  int64_t FCapacity = 0;
};
