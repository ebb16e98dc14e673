#include "platform/base/lists.h"

#include <algorithm>

#include "platform/base/exceptions.h"
#include "platform/base/strings.h"

void TList::CheckIndex(int32_t Index, int32_t Limit) const {
  if (Index < 0 || Index >= Limit) throw EListError(Format("List index out of bounds (%d)", Index));
}

void TList::SetCount(int32_t NewCount) {
  if (NewCount < 0) throw EListError(Format("List count out of bounds (%d)", NewCount));
  FItems.resize(static_cast<size_t>(NewCount), nullptr);
}

void TList::SetCapacity(int32_t NewCapacity) {
  if (NewCapacity < Count()) throw EListError(Format("List capacity out of bounds (%d)", NewCapacity));
  FItems.reserve(static_cast<size_t>(NewCapacity));
}

void* TList::Items(int32_t Index) const {
  CheckIndex(Index, Count());
  return FItems[static_cast<size_t>(Index)];
}

void TList::SetItems(int32_t Index, void* Item) {
  CheckIndex(Index, Count());
  FItems[static_cast<size_t>(Index)] = Item;
}

int32_t TList::Add(void* Item) {
  FItems.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int32_t Index, void* Item) {
  CheckIndex(Index, Count() + 1);
  FItems.insert(FItems.begin() + Index, Item);
}

void TList::Delete(int32_t Index) {
  CheckIndex(Index, Count());
  FItems.erase(FItems.begin() + Index);
}

int32_t TList::Remove(void* Item) {
  int32_t I = IndexOf(Item);
  if (I >= 0) Delete(I);
  return I;
}

void* TList::Extract(void* Item) {
  int32_t I = IndexOf(Item);
  if (I < 0) return nullptr;
  Delete(I);
  return Item;
}

int32_t TList::IndexOf(void* Item) const {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : static_cast<int32_t>(It - FItems.begin());
}

void TList::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1, Count());
  CheckIndex(Index2, Count());
  std::swap(FItems[static_cast<size_t>(Index1)], FItems[static_cast<size_t>(Index2)]);
}

void TList::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex, Count());
  CheckIndex(NewIndex, Count());
  void* Item = FItems[static_cast<size_t>(CurIndex)];
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, Item);
}

void TList::Clear() {
  FItems.clear();
  FItems.shrink_to_fit();
}

void TList::Pack() { FItems.erase(std::remove(FItems.begin(), FItems.end(), nullptr), FItems.end()); }

void TList::Sort(const TListSortCompare& Compare) {
  std::stable_sort(FItems.begin(), FItems.end(), [&](void* A, void* B) { return Compare(A, B) < 0; });
}
