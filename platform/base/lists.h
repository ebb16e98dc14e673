#pragma once
// TList: a list of untyped pointers; the caller owns what they point to.
#include <cstdint>
#include <functional>
#include <vector>

class TList {
 public:
  using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

  TList() = default;
  virtual ~TList() = default;

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // Growing fills with nullptr; shrinking drops the last items.
  void SetCount(int32_t NewCount);
  int32_t Capacity() const { return static_cast<int32_t>(FItems.capacity()); }
  void SetCapacity(int32_t NewCapacity);

  // Index outside 0..Count-1 raises EListError "List index out of bounds (%d)".
  void* Items(int32_t Index) const;
  void SetItems(int32_t Index, void* Item);
  void* operator[](int32_t Index) const { return Items(Index); }

  int32_t Add(void* Item);
  void Insert(int32_t Index, void* Item);  // Index 0..Count
  void Delete(int32_t Index);
  int32_t Remove(void* Item);              // index it had, or -1
  void* Extract(void* Item);               // removes and returns it, or nullptr
  int32_t IndexOf(void* Item) const;
  void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }
  virtual void Clear();
  void Pack();  // drops nullptr entries
  void Sort(const TListSortCompare& Compare);

  void** List() { return FItems.data(); }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 protected:
  void CheckIndex(int32_t Index, int32_t Limit) const;
  std::vector<void*> FItems;
};
