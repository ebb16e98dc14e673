#pragma once
// The library's own streams and the small stream routines the codecs share.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/streams.h"

// Stores nothing; measures how many bytes a writer would produce.
class TNulStream : public TStream {
 public:
  TNulStream() = default;
  int64_t ReadBytes(void* Buffer, int64_t Count);
  int64_t WriteBytes(const void* Buffer, int64_t Count);
  // Seeking from the end goes to the size (Offset ignored).
  int64_t SeekPosition(int64_t Offset, TSeekOrigin Origin);

  int64_t Read(void* Buffer, int64_t Count) override { return ReadBytes(Buffer, Count); }
  int64_t Write(const void* Buffer, int64_t Count) override { return WriteBytes(Buffer, Count); }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return SeekPosition(Offset, Origin); }
  int64_t Size() override { return FSize; }
  void SetSize(int64_t NewSize) override;

 private:
  int64_t FPosition = 0;
  int64_t FSize = 0;
};

// Read-only stream over a block the caller owns.
class TQxMemStream : public TCustomMemoryStream {
 public:
  TQxMemStream(const void* Buffer, int64_t Size) { SetPointer(const_cast<void*>(Buffer), Size); }
  int64_t WriteBytes(const void*, int64_t) { return 0; }
  int64_t Write(const void* Buffer, int64_t Count) override { return WriteBytes(Buffer, Count); }
  void SetSize(int64_t) override {}
};

// Read-ahead reader over another stream (not owned). With Relative, position 0 is where the source stood
// at construction; otherwise the source's own 0. The source's size is taken once, at construction.
class TQxBufferedReadStream : public TStream {
 public:
  static constexpr int32_t DefaultBufferSize = 8192;
  TQxBufferedReadStream(TStream* Source, int32_t BufferSize = DefaultBufferSize, bool Relative = false);
  ~TQxBufferedReadStream() override;

  void SetBufferSize(int32_t Size);
  void FillBuffer();
  int64_t ReadBytes(void* Buffer, int64_t Count);
  [[noreturn]] int64_t WriteBytes(const void* Buffer, int64_t Count);
  // From the end, the target is the size less the magnitude of Offset.
  int64_t SeekPosition(int64_t Offset, TSeekOrigin Origin);

  int64_t Read(void* Buffer, int64_t Count) override { return ReadBytes(Buffer, Count); }
  int64_t Write(const void* Buffer, int64_t Count) override { WriteBytes(Buffer, Count); }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return SeekPosition(Offset, Origin); }
  int64_t Size() override { return FSourceSize - FBase; }
  void SetSize(int64_t) override;

  // Set when a read was cut short or a seek reached the end.
  bool EndReached() const { return FEndReached; }

  // One byte, the hot path of byte-wise readers; false at the end.
  bool ReadByte(uint8_t& B) {
    if (FIndex < FFilled && FPosition < FSourceSize) {
      B = FBuffer[FIndex++];
      ++FPosition;
      FEndReached = false;
      return true;
    }
    return ReadBytes(&B, 1) == 1;
  }

 private:
  TStream* FSource;
  int32_t FBufferSize = 0;
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FPosition = 0;  // absolute position in the source
  int32_t FIndex = 0;     // next byte in the buffer
  int32_t FFilled = 0;    // bytes the last refill actually delivered
  int64_t FSourceSize = 0;
  int64_t FBase = 0;
  bool FEndReached = false;
};

// Mode fmCreate (0xFFFF) creates or truncates; other modes open an existing file with the fmOpen/fmShare
// bits (access 3 and sharing above 4 are invalid). Raises EFCreateError / EFOpenError.
class TQxWideFileStream : public THandleStream {
 public:
  TQxWideFileStream(const std::string& FileName, uint16_t Mode);
  ~TQxWideFileStream() override;
};

// File descriptors with the modes above; -1 on failure (an invalid Mode touches no file).
int QxFileCreateW(const std::string& FileName);
int QxFileOpenW(const std::string& FileName, uint16_t Mode);

// Writes Count bytes; a short write sets Aborting (never clears it).
void QxWriteChecked(TStream* Stream, bool& Aborting, const void* Buffer, int64_t Count);
void QxWriteChecked(TStream* Stream, std::atomic<bool>& Aborting, const void* Buffer, int64_t Count);
// The abort flag of a progress record; a null flag only drops the report.
void QxWriteChecked(TStream* Stream, std::atomic<bool>* Aborting, const void* Buffer, int64_t Count);
// Copies Count bytes (0: the whole Source from its start), limited to what Source has left; returns it.
int64_t QxCopyStream(TStream* Dest, TStream* Source, int64_t Count);
// A 32-bit little-endian length, then the bytes.
void QxWriteAnsiString(TStream* Stream, const std::string& Text);
// Reads what QxWriteAnsiString wrote. A negative length or one beyond what the stream still holds
// reads nothing, leaves Text empty and returns false; a short read keeps what was read and returns false.
bool QxReadAnsiString(TStream* Stream, std::string& Text);
// Text followed by CR LF.
void QxWriteLine(TStream* Stream, const std::string& Text);
