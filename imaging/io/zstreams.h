#pragma once
// Streams over zlib: write a deflated block into any stream, read one back as plain data.

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/base/exceptions.h"
#include "platform/base/streams.h"

struct z_stream_s;
class TObject;

class TCustomZStream : public TStream {
 public:
  ~TCustomZStream() override;
  std::function<void(TCustomZStream* Sender)> OnProgress;

 protected:
  explicit TCustomZStream(TStream& Strm);
  virtual void DoProgress();

  TStream& FStrm;
  int64_t FStrmPos;
  std::unique_ptr<z_stream_s> FZRec;
  std::unique_ptr<uint8_t[]> FBuffer;
  static constexpr int32_t BufferSize = 65536;
};

// Level index: 0 none, 1 fastest, 2 zlib default, 3 maximum.
class TZCompressionStream : public TCustomZStream {
 public:
  TZCompressionStream(TStream& Dest, uint8_t Level);
  // Finishes the data when Finish was not called; errors are swallowed here.
  ~TZCompressionStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Writes the end of the compressed data; raises EZCompressionError on failure. Idempotent.
  void Finish();

 private:
  bool FFinished = false;
  int64_t FTotalIn = 0;
};

class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream& Source);
  ~TZDecompressionStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

 private:
  int32_t FLastCode = 0;
  int64_t FTotalOut = 0;
};

int32_t ZCheckCompressResult(int32_t Code);
int32_t ZCheckDecompressResult(int32_t Code);
// Inflates InCount bytes of zlib data into a new block owned by the caller (free with delete[]). Data that
// would inflate past OutLimit bytes raises EZDecompressionError before the block grows that far.
int32_t ZDecompressBuffer(const void* InBuffer, int32_t InCount, uint8_t*& OutBuffer, int32_t OutEstimate,
                          int32_t& OutCount, int32_t OutLimit = INT32_MAX);
