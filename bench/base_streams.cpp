// Byte-wise reading, the codecs' common pattern: the read-ahead reader against unbuffered streams.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "imaging/foundation/qx_lists.h"
#include "imaging/foundation/qx_streams.h"
#include "platform/base/files.h"
#include "platform/base/inifiles.h"

namespace {
constexpr int64_t DataSize = 1 << 20;

const std::string& DataFile() {
  static std::string Name = [] {
    std::string N = TempDirectory() + "qv_bench_streams_" + std::to_string(::getpid());
    std::string D(static_cast<size_t>(DataSize), '\0');
    for (size_t I = 0; I < D.size(); ++I) D[I] = static_cast<char>(I * 31);
    WriteFileBytes(N, D);
    return N;
  }();
  static struct TCleanup {
    ~TCleanup() { DeleteFile(Name); }
  } Cleanup;
  return Name;
}

void BM_FileByteReads(benchmark::State& State) {
  TFileStream F(DataFile(), fmOpenRead);
  for (auto _ : State) {
    F.SetPosition(0);
    uint8_t B;
    uint32_t Sum = 0;
    for (int64_t I = 0; I < DataSize / 16; ++I) {
      F.Read(&B, 1);
      Sum += B;
    }
    benchmark::DoNotOptimize(Sum);
  }
  State.SetBytesProcessed(State.iterations() * (DataSize / 16));
}
BENCHMARK(BM_FileByteReads);

void BM_BufferedFileByteReads(benchmark::State& State) {
  TFileStream F(DataFile(), fmOpenRead);
  for (auto _ : State) {
    F.SetPosition(0);
    TQxBufferedReadStream B(&F, TQxBufferedReadStream::DefaultBufferSize);
    uint8_t X;
    uint32_t Sum = 0;
    for (int64_t I = 0; I < DataSize / 16; ++I) {
      B.ReadByte(X);
      Sum += X;
    }
    benchmark::DoNotOptimize(Sum);
  }
  State.SetBytesProcessed(State.iterations() * (DataSize / 16));
}
BENCHMARK(BM_BufferedFileByteReads);

void BM_MemoryByteReads(benchmark::State& State) {
  TMemoryStream M;
  M.LoadFromFile(DataFile());
  for (auto _ : State) {
    M.SetPosition(0);
    uint8_t B;
    uint32_t Sum = 0;
    for (int64_t I = 0; I < DataSize / 16; ++I) {
      M.Read(&B, 1);
      Sum += B;
    }
    benchmark::DoNotOptimize(Sum);
  }
  State.SetBytesProcessed(State.iterations() * (DataSize / 16));
}
BENCHMARK(BM_MemoryByteReads);

void BM_IntegerListAdd(benchmark::State& State) {
  for (auto _ : State) {
    TQxIntegerList L;
    for (int32_t I = 0; I < 100000; ++I) L.AddValue(I);
    benchmark::DoNotOptimize(L.Data());
  }
  State.SetItemsProcessed(State.iterations() * 100000);
}
BENCHMARK(BM_IntegerListAdd);
}  // namespace

BENCHMARK_MAIN();
