#include "imaging/io/zstreams.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* ZMessage(int code) {
  switch (code) {
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "";
  }
}

constexpr int kLevels[4] = {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION};
constexpr const char* kInvalidOp = "Invalid ZStream operation!";
constexpr const char* kOutputLimit = "inflated data past its limit";

}  // namespace

int32_t ZCheckCompressResult(int32_t Code) {
  if (Code < 0) throw EZCompressionError(ZMessage(Code));
  return Code;
}

int32_t ZCheckDecompressResult(int32_t Code) {
  if (Code < 0) throw EZDecompressionError(ZMessage(Code));
  return Code;
}

TCustomZStream::TCustomZStream(TStream& Strm)
    : FStrm(Strm), FStrmPos(Strm.Position()), FZRec(std::make_unique<z_stream_s>()),
      FBuffer(new uint8_t[BufferSize]) {
  std::memset(FZRec.get(), 0, sizeof(z_stream_s));
}

TCustomZStream::~TCustomZStream() = default;

void TCustomZStream::DoProgress() {
  if (OnProgress) OnProgress(this);
}

TZCompressionStream::TZCompressionStream(TStream& Dest, uint8_t Level) : TCustomZStream(Dest) {
  FZRec->next_out = FBuffer.get();
  FZRec->avail_out = BufferSize;
  ZCheckCompressResult(deflateInit_(FZRec.get(), kLevels[Level & 3], ZLIB_VERSION, sizeof(z_stream)));
}

void TZCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  FZRec->next_in = nullptr;
  FZRec->avail_in = 0;
  try {
    if (FStrm.Position() != FStrmPos) FStrm.SetPosition(FStrmPos);
    for (;;) {
      int r = ZCheckCompressResult(deflate(FZRec.get(), Z_FINISH));
      if (r == Z_STREAM_END) break;
      FStrm.WriteBuffer(FBuffer.get(), BufferSize - FZRec->avail_out);
      FZRec->next_out = FBuffer.get();
      FZRec->avail_out = BufferSize;
    }
    if (FZRec->avail_out < static_cast<uInt>(BufferSize))
      FStrm.WriteBuffer(FBuffer.get(), BufferSize - FZRec->avail_out);
    FStrmPos = FStrm.Position();
  } catch (...) {
    deflateEnd(FZRec.get());
    throw;
  }
  ZCheckCompressResult(deflateEnd(FZRec.get()));
}

TZCompressionStream::~TZCompressionStream() {
  // Errors cannot leave a destructor; callers that need to know call Finish first.
  try {
    Finish();
  } catch (...) {
  }
}

int64_t TZCompressionStream::Read(void*, int64_t) { throw EZCompressionError(kInvalidOp); }

int64_t TZCompressionStream::Write(const void* Buffer, int64_t Count) {
  if (FFinished) throw EZCompressionError(kInvalidOp);
  const auto* p = static_cast<const uint8_t*>(Buffer);
  int64_t left = Count;
  if (FStrm.Position() != FStrmPos) FStrm.SetPosition(FStrmPos);
  while (left > 0) {
    const uInt chunk = static_cast<uInt>(std::min<int64_t>(left, 1 << 30));
    FZRec->next_in = const_cast<Bytef*>(p);
    FZRec->avail_in = chunk;
    while (FZRec->avail_in > 0) {
      ZCheckCompressResult(deflate(FZRec.get(), Z_NO_FLUSH));
      if (FZRec->avail_out == 0) {
        FStrm.WriteBuffer(FBuffer.get(), BufferSize);
        FZRec->next_out = FBuffer.get();
        FZRec->avail_out = BufferSize;
        FStrmPos = FStrm.Position();
        DoProgress();
      }
    }
    p += chunk;
    left -= chunk;
  }
  FTotalIn += Count;
  return Count;
}

int64_t TZCompressionStream::Seek(int64_t, TSeekOrigin) { return FTotalIn; }

TZDecompressionStream::TZDecompressionStream(TStream& Source) : TCustomZStream(Source) {
  FZRec->next_in = FBuffer.get();
  FZRec->avail_in = 0;
  ZCheckDecompressResult(inflateInit_(FZRec.get(), ZLIB_VERSION, sizeof(z_stream)));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(FZRec.get()); }

int64_t TZDecompressionStream::Write(const void*, int64_t) { throw EZDecompressionError(kInvalidOp); }

int64_t TZDecompressionStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  FZRec->next_out = static_cast<Bytef*>(Buffer);
  const uInt want = static_cast<uInt>(std::min<int64_t>(Count, 1 << 30));
  FZRec->avail_out = want;
  if (FStrm.Position() != FStrmPos) FStrm.SetPosition(FStrmPos);
  for (;;) {
    if (FZRec->avail_out == 0 || FLastCode == Z_STREAM_END) {
      if (FLastCode == Z_STREAM_END && FZRec->avail_in > 0) {
        // Push back what follows the compressed block so the next reader starts right after it.
        FStrm.Seek(-static_cast<int64_t>(FZRec->avail_in), TSeekOrigin::soCurrent);
        FStrmPos = FStrm.Position();
        FZRec->avail_in = 0;
      }
      break;
    }
    if (FZRec->avail_in == 0) {
      int64_t got = FStrm.Read(FBuffer.get(), BufferSize);
      if (got <= 0) break;
      FZRec->next_in = FBuffer.get();
      FZRec->avail_in = static_cast<uInt>(got);
      FStrmPos = FStrm.Position();
      DoProgress();
    }
    FLastCode = ZCheckDecompressResult(inflate(FZRec.get(), Z_NO_FLUSH));
    // A preset dictionary is never supplied: inflate would stop there forever.
    if (FLastCode == Z_NEED_DICT) throw EZDecompressionError("need dictionary");
  }
  const int64_t delivered = static_cast<int64_t>(want - FZRec->avail_out);
  FTotalOut += delivered;
  return delivered;
}

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  uint8_t scratch[8192];
  if (Offset == 0 && Origin == TSeekOrigin::soBeginning) {
    ZCheckDecompressResult(inflateReset(FZRec.get()));
    FZRec->next_in = FBuffer.get();
    FZRec->avail_in = 0;
    FStrm.SetPosition(0);
    FStrmPos = 0;
    FTotalOut = 0;
    FLastCode = 0;
  } else if ((Offset >= 0 && Origin == TSeekOrigin::soCurrent) ||
             (Origin == TSeekOrigin::soBeginning && Offset > FTotalOut)) {
    if (Origin == TSeekOrigin::soBeginning) Offset -= FTotalOut;
    while (Offset > 0) {
      int64_t n = std::min<int64_t>(Offset, sizeof scratch);
      ReadBuffer(scratch, n);
      Offset -= n;
    }
  } else if (Offset == 0 && Origin == TSeekOrigin::soEnd) {
    while (Read(scratch, sizeof scratch) > 0) {
    }
  } else if (!(Offset == 0 && Origin == TSeekOrigin::soCurrent)) {
    throw EZDecompressionError(kInvalidOp);
  }
  return FTotalOut;
}

int32_t ZDecompressBuffer(const void* InBuffer, int32_t InCount, uint8_t*& OutBuffer, int32_t OutEstimate,
                          int32_t& OutCount, int32_t OutLimit) {
  const int32_t step = std::max<int32_t>(256, int32_t(std::min<int64_t>((int64_t(InCount) + 255) / 256 * 256, INT32_MAX / 2)));
  OutLimit = std::max(OutLimit, 0);
  if (OutEstimate <= 0) OutEstimate = step;
  OutEstimate = std::min(OutEstimate, std::max(OutLimit, 1));
  std::vector<uint8_t> out(static_cast<size_t>(OutEstimate));
  z_stream z{};
  ZCheckDecompressResult(inflateInit_(&z, ZLIB_VERSION, sizeof(z_stream)));
  try {
    z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuffer));
    z.avail_in = static_cast<uInt>(std::max(InCount, 0));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    for (;;) {
      int r = ZCheckDecompressResult(inflate(&z, Z_NO_FLUSH));
      if (r == Z_STREAM_END) break;
      if (r == Z_NEED_DICT) throw EZDecompressionError("need dictionary");
      if (z.avail_out == 0) {
        const size_t done = out.size();
        if (done >= static_cast<size_t>(OutLimit)) {
          // Full at the limit: only the stream's end may follow, never another byte.
          uint8_t probe = 0;
          z.next_out = &probe;
          z.avail_out = 1;
          if (ZCheckDecompressResult(inflate(&z, Z_NO_FLUSH)) == Z_STREAM_END && z.avail_out == 1) break;
          throw EZDecompressionError(kOutputLimit);
        }
        const size_t grow = std::min<size_t>(static_cast<size_t>(step), static_cast<size_t>(OutLimit) - done);
        out.resize(done + grow);
        z.next_out = out.data() + done;
        z.avail_out = static_cast<uInt>(grow);
      } else if (z.avail_in == 0) {
        // Input used up before the end: inflate can make no further progress.
        throw EZDecompressionError(ZMessage(Z_BUF_ERROR));
      }
    }
  } catch (...) {
    inflateEnd(&z);
    throw;
  }
  ZCheckDecompressResult(inflateEnd(&z));
  OutCount = static_cast<int32_t>(z.total_out);
  OutBuffer = new uint8_t[static_cast<size_t>(std::max(OutCount, 1))];
  std::memcpy(OutBuffer, out.data(), static_cast<size_t>(OutCount));
  return 0;
}
