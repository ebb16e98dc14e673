#include "controls/kv_tab_data.h"

#include "platform/base/exceptions.h"

void TKvTabData::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TKvTabData*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  Caption = S->Caption;
  DisabledIndex = S->DisabledIndex;
  ImageIndex = S->ImageIndex;
  Color = S->Color;
  Enabled = S->Enabled;
  Visible = S->Visible;
  Hint = S->Hint;
}

TKvTabData* TKvTabDataList::Items(int32_t Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)].get();
}

void TKvTabDataList::SetItem(int32_t Index, TKvTabData* Item) {
  Items(Index);
  FItems[static_cast<size_t>(Index)].reset(Item);
}

void TKvTabDataList::Add(TKvTabData* Item) { FItems.emplace_back(Item); }

void TKvTabDataList::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TKvTabDataList*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  if (S == this) return;
  Clear();
  for (int32_t i = 0; i < S->Count(); ++i) {
    auto* T = new TKvTabData;
    T->Assign(S->Items(i));
    Add(T);
  }
}

void TKvTabRegionCache::SetCapacity(int32_t Value) {
  if (Value < -1 || Value == 0) throw Exception(SKvCacheCapacity);
  if (Value == FCapacity) return;
  FCapacity = Value;
  Trim(false);
}

const TRegion* TKvTabRegionCache::Find(const TRect& Rect) const {
  for (const auto& I : FItems)
    if (I->TabRect == Rect) return I->TabRegion.get();
  return nullptr;
}

const TRegion* TKvTabRegionCache::Add(const TRect& Rect, std::unique_ptr<TRegion> Region) {
  const TRegion* held = nullptr;
  auto it = FItems.begin();
  for (; it != FItems.end(); ++it)
    if ((*it)->TabRect == Rect) break;
  if (it != FItems.end()) {
    FItems.splice(FItems.begin(), FItems, it);
  } else {
    auto item = std::make_unique<TKvTabRegionCacheItem>();
    item->TabRect = Rect;
    item->SetRegion(std::move(Region));
    FItems.push_front(std::move(item));
  }
  held = FItems.front()->TabRegion.get();
  Trim(true);
  return held;
}

void TKvTabRegionCache::Trim(bool OneOnly) {
  if (FCapacity == -1) return;
  while (static_cast<int32_t>(FItems.size()) > FCapacity) {
    FItems.pop_back();
    if (OneOnly) break;
  }
}
