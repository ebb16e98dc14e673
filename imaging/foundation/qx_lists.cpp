#include "imaging/foundation/qx_lists.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/base/exceptions.h"
#include "platform/base/streams.h"
#include "platform/base/strings.h"
#include "platform/base/system.h"

namespace {
uint8_t* AllocBlock(int64_t Bytes) {
  if (Bytes <= 0) return nullptr;
  auto* P = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(Bytes)));
  if (!P) throw EOutOfMemory("Out of memory");
  return P;
}
}  // namespace

// ---- TQxList ----

TQxList::~TQxList() { FreeData(); }

void TQxList::FreeData() {
  std::free(FData);
  FData = nullptr;
}

void TQxList::SetCount(int32_t N) {
  if (N < 0) N = 0;
  if (FCapacity < N) {
    int32_t NewCap = std::max<int64_t>(2 * int64_t(FCapacity), N) > INT32_MAX
                         ? N
                         : static_cast<int32_t>(std::max<int64_t>(2 * int64_t(FCapacity), N));
    uint8_t* Block = AllocBlock(int64_t(NewCap) * FItemSize);
    int32_t Keep = std::min(FCount, N);
    if (Keep > 0 && FData) std::memcpy(Block, FData, static_cast<size_t>(int64_t(Keep) * FItemSize));
    FreeData();
    FData = Block;
    FCapacity = NewCap;
  }
  FCount = N;
  FChanged |= 1;
}

void TQxList::Delete(int32_t Index) {
  if (Index < 0 || Index >= FCount) return;
  int32_t NewCount = FCount - 1;
  uint8_t* Block = AllocBlock(int64_t(NewCount) * FItemSize);
  if (Index > 0) std::memcpy(Block, FData, static_cast<size_t>(int64_t(Index) * FItemSize));
  if (Index < NewCount)
    std::memcpy(Block + int64_t(Index) * FItemSize, FData + int64_t(Index + 1) * FItemSize,
                static_cast<size_t>(int64_t(NewCount - Index) * FItemSize));
  FreeData();
  FData = Block;
  FCount = NewCount;
  FCapacity = NewCount;
  FChanged |= 1;
}

void TQxList::Clear() {
  FreeData();
  FCapacity = 0;
  FCount = 0;
  FChanged = 0;
}

void TQxList::CopyFrom(const TQxList* Source) {
  if (!Source || Source == this) return;
  uint8_t* Block = AllocBlock(int64_t(Source->FCount) * Source->FItemSize);
  if (Block) std::memcpy(Block, Source->FData, static_cast<size_t>(int64_t(Source->FCount) * Source->FItemSize));
  FreeData();
  FData = Block;
  FCount = Source->FCount;
  FCapacity = Source->FCount;
  FItemSize = Source->FItemSize;
  FChanged = Source->FChanged;
}

int32_t TQxList::Add(const void* ItemPointer) {
  SetCount(FCount + 1);
  std::memcpy(GetItemPtr(FCount - 1), ItemPointer, static_cast<size_t>(FItemSize));
  FChanged |= 1;
  return FCount - 1;
}

void TQxDoubleList::Clear() {
  TQxList::Clear();
  FItemSize = sizeof(double);
  std::fill(std::begin(Extra), std::end(Extra), 0.0);
}

void TQxDoubleList::CopyFrom(const TQxList* Source) {
  if (!Source) return;
  TQxList::CopyFrom(Source);
  if (auto* D = dynamic_cast<const TQxDoubleList*>(Source)) std::copy(std::begin(D->Extra), std::end(D->Extra), Extra);
}

void TQxIntegerList::Clear() {
  TQxList::Clear();
  std::fill(std::begin(Extra), std::end(Extra), 0);
  FItemSize = sizeof(int32_t);
}

void TQxIntegerList::CopyFrom(const TQxList* Source) {
  if (!Source) return;
  TQxList::CopyFrom(Source);
  if (auto* D = dynamic_cast<const TQxIntegerList*>(Source)) std::copy(std::begin(D->Extra), std::end(D->Extra), Extra);
}

void TQxRecordList::Clear() {
  TQxList::Clear();
  FItemSize = FRecordSize;
}

// ---- TQxByteArray ----

TQxByteArray::TQxByteArray(int32_t BlockSize) : FBlockSize(BlockSize < 1 ? 1 : BlockSize) {
  FCapacity = FBlockSize;
  FData = AllocBlock(FCapacity);
}

TQxByteArray::~TQxByteArray() { std::free(FData); }

void TQxByteArray::AddByte(uint8_t Value) {
  SetByteCount(FSize + 1);
  FData[FSize - 1] = Value;
}

void TQxByteArray::SetByteCount(int32_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  int64_t NewCap = FCapacity;
  if (NewSize > FSize) {
    if (NewSize > FCapacity) NewCap = int64_t(NewSize) + FBlockSize;
  } else if (NewSize < int64_t(FCapacity) - FBlockSize) {
    NewCap = int64_t(NewSize) + FBlockSize;
  }
  if (NewCap > INT32_MAX) throw EOutOfMemory("Out of memory");
  if (NewCap != FCapacity) {
    uint8_t* Block = AllocBlock(NewCap);
    int32_t Keep = std::min(FSize, NewSize);
    if (Keep > 0) std::memcpy(Block, FData, static_cast<size_t>(Keep));
    std::free(FData);
    FData = Block;
    FCapacity = static_cast<int32_t>(NewCap);
  }
  FSize = NewSize;
}

int32_t TQxByteArray::AppendFromStream(TStream* Stream, int32_t Count) {
  // Never grow for more than the stream can still deliver.
  int64_t Size = -1;
  try {
    if (Stream->SizeKnown()) Size = Stream->Size();
  } catch (const Exception&) {
  }
  if (Size >= 0) Count = static_cast<int32_t>(std::min<int64_t>(Count, std::max<int64_t>(0, Size - Stream->Position())));
  if (Count <= 0) return 0;
  int32_t Old = FSize;
  SetByteCount(static_cast<int32_t>(std::min<int64_t>(int64_t(Old) + Count, INT32_MAX)));
  int64_t Got = Stream->Read(FData + Old, FSize - Old);
  if (Got < 0) Got = 0;
  SetByteCount(Old + static_cast<int32_t>(Got));
  return static_cast<int32_t>(Got);
}

// ---- TQxWideStrings ----

const std::string& TQxWideStrings::GetItem(int32_t Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

// ---- TQxThreadPool ----

void TQxThreadPool::Add(TThread* Thread) {
  FThreads.emplace_back(Thread);
  Thread->Start();
}

void TQxThreadPool::WaitAll() {
  for (auto& T : FThreads) T->WaitFor();
  FThreads.clear();
}

// ---- core count ----

namespace {
std::atomic<int32_t> GCoreCount{-1};
}

int32_t QxProcessorCoreCount() {
  int32_t C = GCoreCount.load();
  if (C != -1) return C;
  C = ProcessorCoreCount();
  if (C < 1) C = 1;
  GCoreCount.store(C);
  return C;
}

void QxResetProcessorCoreCount() { GCoreCount.store(-1); }
