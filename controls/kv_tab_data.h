#pragma once
// What a tab strip holds: the kinds of tabs and captions, one tab's data, the list of tabs and the
// cache of the tabs' clip regions.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "controls/kv_colors.h"
#include "platform/base/types.h"
#include "platform/graphics/color.h"
#include "platform/graphics/region.h"
#include "platform/ui/component.h"

enum class TKvTabStyle : uint8_t { tsSingleSlant, tsDoubleSlant, tsCutCorner, tsRoundCorners, tsBackSlant };
enum class TKvTabSequence : uint8_t { tsStandard, tsReverse };
enum class TKvTabOrientation : uint8_t { toTop, toLeft, toBottom, toRight };
enum class TKvImagePosition : uint8_t { ipLeft, ipTop, ipRight, ipBottom, ipBack, ipStretch };
enum class TKvHorizontalAlignment : uint8_t { haLeft, haCenter, haRight };
enum class TKvVerticalAlignment : uint8_t { vaTop, vaCenter, vaBottom };
enum class TKvTabHotTrackStyle : uint8_t { htsTab, htsText };
enum class TKvTextStyle : uint8_t { tsHotTrack, tsSelected, tsUnselected, tsDisabledHighlight, tsDisabledShadow };

// One tab.
class TKvTabData : public TPersistent {
 public:
  std::string ClassName() const override { return "TKvTabData"; }
  // Copies what the user sees of another tab (not its place in the layout).
  void Assign(TPersistent* Source) override;

  std::string Caption;
  TColor Color = clBtnFace;
  int32_t DisabledIndex = -1;
  bool Enabled = true;
  std::string Hint;
  int32_t ImageIndex = -1;
  TRect RawRect;  // layout space: tabs on top, y growing towards the card
  bool Visible = true;
  int32_t Row = 0;  // 0 is the row next to the card
};

// The tabs of a strip; owns them.
class TKvTabDataList : public TPersistent {
 public:
  std::string ClassName() const override { return "TKvTabDataList"; }
  virtual int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  virtual TKvTabData* Items(int32_t Index) const;
  // Replaces (and frees) the tab at Index.
  virtual void SetItem(int32_t Index, TKvTabData* Item);
  // Appends; the list takes ownership.
  void Add(TKvTabData* Item);
  void Clear() { FItems.clear(); }
  void Assign(TPersistent* Source) override;

 private:
  std::vector<std::unique_ptr<TKvTabData>> FItems;
};

// One cached tab region.
class TKvTabRegionCacheItem {
 public:
  virtual ~TKvTabRegionCacheItem() { SetRegion(nullptr); }
  // Keeps Region (taking ownership) and frees the one held before.
  virtual void SetRegion(std::unique_ptr<TRegion> Region) { TabRegion = std::move(Region); }

  TRect TabRect{-1, -1, -1, -1};
  std::unique_ptr<TRegion> TabRegion;
};

// Tab regions by tab rectangle, most recently used first.
class TKvTabRegionCache {
 public:
  int32_t Capacity() const { return FCapacity; }
  // -1 caches every region; 0 and values below -1 raise.
  void SetCapacity(int32_t Value);
  // The region cached for Rect, or nil; the cache keeps ownership.
  const TRegion* Find(const TRect& Rect) const;
  // Caches Region for Rect (a rectangle already cached only moves to the front) and returns
  // the region now held for it.
  const TRegion* Add(const TRect& Rect, std::unique_ptr<TRegion> Region);
  void Clear() { FItems.clear(); }
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }

 private:
  void Trim(bool OneOnly);
  std::list<std::unique_ptr<TKvTabRegionCacheItem>> FItems;
  int32_t FCapacity = 1;
};

// The texts of the failures of tab painting.
inline constexpr const char* SKvCacheCapacity = "Capacity must be -1 (to cache all regions) or > 0";
inline constexpr const char* SKvErrorCreatingRegion = "Error creating region";
inline constexpr const char* SKvErrorSavingDC = "Error saving device context";
inline constexpr const char* SKvBadTabShape = "Incorrect number of points in tab shape";
