#pragma once
// Typed growable arrays, a growable byte buffer, a string list, a thread pool and the core count.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/lists.h"
#include "platform/base/threads.h"

class TStream;

// A growable array of fixed-size items in one block. Capacity doubles as items are added.
class TQxList {
 public:
  TQxList() = default;
  TQxList(const TQxList&) = delete;
  TQxList& operator=(const TQxList&) = delete;
  virtual ~TQxList();

  virtual void SetCount(int32_t N);
  // Outside 0..Count-1: ignored. The block shrinks to exactly Count-1 items.
  virtual void Delete(int32_t Index);
  virtual void Clear();
  // nullptr ignored; takes Source's items, item size and changed flag.
  virtual void CopyFrom(const TQxList* Source);
  int32_t Add(const void* ItemPointer);
  // No range check.
  void* GetItemPtr(int32_t Index) const { return FData + static_cast<int64_t>(Index) * FItemSize; }

  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  int32_t ItemSize() const { return FItemSize; }
  void* Data() const { return FData; }
  uint8_t Changed() const { return FChanged; }
  void SetChanged(uint8_t Value) { FChanged = Value; }

 protected:
  void FreeData();
  int32_t FCapacity = 0;
  int32_t FCount = 0;
  int32_t FItemSize = 0;
  uint8_t* FData = nullptr;
  uint8_t FChanged = 0;
};

class TQxDoubleList : public TQxList {
 public:
  TQxDoubleList() { Clear(); }
  void Clear() override;
  void CopyFrom(const TQxList* Source) override;
  double GetItem(int32_t Index) const { return static_cast<const double*>(Data())[Index]; }
  void SetItem(int32_t Index, double V) { static_cast<double*>(Data())[Index] = V; FChanged |= 1; }
  int32_t AddValue(double V) { return Add(&V); }
  // Values kept for the list's owner; the list never interprets them.
  double Extra[4] = {0, 0, 0, 0};
};

class TQxIntegerList : public TQxList {
 public:
  TQxIntegerList() { Clear(); }
  void Clear() override;
  void CopyFrom(const TQxList* Source) override;
  int32_t GetItem(int32_t Index) const { return static_cast<const int32_t*>(Data())[Index]; }
  void SetItem(int32_t Index, int32_t V) { static_cast<int32_t*>(Data())[Index] = V; FChanged |= 1; }
  int32_t AddValue(int32_t V) { return Add(&V); }
  int32_t Extra[4] = {0, 0, 0, 0};
};

class TQxRecordList : public TQxList {
 public:
  explicit TQxRecordList(int32_t RecordSize) : FRecordSize(RecordSize) { Clear(); }
  void Clear() override;
  void* GetItem(int32_t Index) const { return GetItemPtr(Index); }

 private:
  int32_t FRecordSize;
};

// Growable byte buffer; grows and shrinks in steps of BlockSize.
class TQxByteArray {
 public:
  explicit TQxByteArray(int32_t BlockSize);
  TQxByteArray(const TQxByteArray&) = delete;
  TQxByteArray& operator=(const TQxByteArray&) = delete;
  ~TQxByteArray();
  void AddByte(uint8_t Value);
  void SetByteCount(int32_t NewSize);
  // Reads up to Count bytes behind the content; keeps only what was read. Returns that count.
  int32_t AppendFromStream(TStream* Stream, int32_t Count);
  int32_t Size() const { return FSize; }
  int32_t Capacity() const { return FCapacity; }
  int32_t BlockSize() const { return FBlockSize; }
  uint8_t* Data() const { return FData; }

 private:
  int32_t FSize = 0;
  int32_t FCapacity = 0;
  int32_t FBlockSize;
  uint8_t* FData = nullptr;
};

// A list of owned strings (file names in UTF-8).
class TQxWideStrings {
 public:
  void Add(const std::string& Text) { FItems.push_back(Text); }
  // Index outside the list raises EListError.
  const std::string& GetItem(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::string> FItems;
};

// Owns the threads added to it until WaitAll has waited for them.
class TQxThreadPool {
 public:
  TQxThreadPool() = default;
  TQxThreadPool(const TQxThreadPool&) = delete;
  TQxThreadPool& operator=(const TQxThreadPool&) = delete;
  ~TQxThreadPool() { WaitAll(); }
  // Takes a thread created suspended and starts it.
  void Add(TThread* Thread);
  // Waits for every thread in the order added, frees them and empties the pool.
  void WaitAll();
  int32_t Count() const { return static_cast<int32_t>(FThreads.size()); }

 private:
  std::vector<std::unique_ptr<TThread>> FThreads;
};

// Physical processor cores, asked once and cached; at least 1.
int32_t QxProcessorCoreCount();
// Forgets the cached count (the utilities start step does this).
void QxResetProcessorCoreCount();
