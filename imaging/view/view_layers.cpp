// TQuillotView: the layer list, the current layer, hit tests and baking sizes and rotations.
#include <algorithm>
#include <cmath>

#include "imaging/foundation/bitmap.h"
#include "imaging/processing/geometry.h"
#include "imaging/processing/proc.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"

TQxLayer* TQuillotView::GetLayer(int32_t Index) const {
  if (Index < 0 || Index >= LayerCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FLayers[size_t(Index)];
}

TQxLayer* TQuillotView::CurrentLayer() const {
  if (FCurrentLayerIndex < 0 || FCurrentLayerIndex >= LayerCount()) return nullptr;
  return FLayers[size_t(FCurrentLayerIndex)];
}

std::vector<TQxLayer*> TQuillotView::LayerList() const { return FLayers; }

void TQuillotView::SyncLayers() {
  if (FLegacyTBitmap && FCurrentBitmap) {
    // Picks up a size or format changed on the platform bitmap; a bitmap whose storage moved elsewhere
    // keeps its pixels and leaves legacy mode.
    if (FCurrentBitmap->Location() == TQxLocation::qxTBitmap && FCurrentBitmap->GetTBitmap() == FLegacyTBitmap)
      FCurrentBitmap->AttachTBitmap(FLegacyTBitmap, false);
    else
      FLegacyTBitmap = nullptr;
  }
  if (TQxLayer* l = CurrentLayer()) l->Bitmap = FCurrentBitmap;
  if (!FLayers.empty() && FLayers[0]->Bitmap) {
    FImageWidth = FLayers[0]->Bitmap->Width();
    FImageHeight = FLayers[0]->Bitmap->Height();
  }
}

void TQuillotView::SetCurrentLayer(int32_t Index) {
  if (Index < 0 || Index >= LayerCount() || Index == FCurrentLayerIndex) return;
  if (FCurrentLayerIndex >= 0 && FCurrentLayerIndex < LayerCount()) {
    FLayers[size_t(FCurrentLayerIndex)]->Bitmap = FCurrentBitmap;
    // The selection keeps its place over the picture while another layer becomes current.
    if (FSelected) PushSelection();
  }
  FCurrentLayerIndex = Index;
  while (!FLayers[size_t(FCurrentLayerIndex)]->Selectable && FCurrentLayerIndex > 0 && RespectSelectable)
    --FCurrentLayerIndex;
  FCurrentBitmap = FLayers[size_t(FCurrentLayerIndex)]->Bitmap;
  FLegacyTBitmap = FCurrentBitmap->Location() == TQxLocation::qxTBitmap ? FCurrentBitmap->GetTBitmap() : nullptr;
  if (FSelected) PopSelection(true, 2);
  NotifyBitmapChange();
  UpdateView();
}

int32_t TQuillotView::AddLayer() {
  SyncLayers();
  auto* layer = new TQxLayer(this, FCurrentBitmap, false);
  FLayers.push_back(layer);
  const int32_t index = LayerCount() - 1;
  SetCurrentLayer(index);
  ClearImage();
  return index;
}

void TQuillotView::RemoveLayer(int32_t Index) {
  if (LayerCount() < 2 || Index < 0 || Index >= LayerCount()) return;
  SyncLayers();
  const int32_t current = FCurrentLayerIndex;
  int32_t removed = 1;
  if (Index + 1 < LayerCount() && FLayers[size_t(Index + 1)]->IsMask) {
    delete FLayers[size_t(Index + 1)];
    FLayers.erase(FLayers.begin() + Index + 1);
    removed = 2;
  }
  delete FLayers[size_t(Index)];
  FLayers.erase(FLayers.begin() + Index);
  if (LayerCount() == 0) {
    // Both layers of a last pair went; a view always keeps one.
    auto* l = new TQxLayer(this, nullptr, false);
    FLayers.push_back(l);
  }
  int32_t next;
  if (current >= Index && current < Index + removed)
    next = std::min(Index, LayerCount() - 1);
  else if (current >= Index + removed)
    next = current - removed;
  else
    next = current;
  FCurrentLayerIndex = -1;
  FCurrentBitmap = nullptr;
  SetCurrentLayer(next);
}

void TQuillotView::ClearLayers() {
  SyncLayers();
  while (LayerCount() > 1) {
    delete FLayers.back();
    FLayers.pop_back();
  }
  FCurrentLayerIndex = -1;
  SetCurrentLayer(0);
  TQxLayer* l0 = FLayers[0];
  l0->ResetProperties();
  l0->ShowBox = false;
  l0->Locked = true;
  ClearImage();
}

void TQuillotView::AdoptLayers(std::vector<TQxLayer*>& Layers, bool Replace) {
  if (Layers.empty()) return;
  SyncLayers();
  for (TQxLayer* l : Layers) l->View = this;
  if (Replace) {
    for (TQxLayer* l : FLayers) delete l;
    FLayers.clear();
  }
  FLayers.insert(FLayers.end(), Layers.begin(), Layers.end());
  Layers.clear();
  FCurrentLayerIndex = -1;
  FCurrentBitmap = nullptr;
  SetCurrentLayer(0);
}

int32_t TQuillotView::LayerAt(int32_t X, int32_t Y, bool HonourSelectable) {
  for (int32_t i = LayerCount() - 1; i >= 0; --i) {
    TQxLayer* l = FLayers[size_t(i)];
    if (!l->Selectable && RespectSelectable && HonourSelectable) continue;
    if (!l->Visible) continue;
    const TRect& r = l->DrawnRect;
    if (X < r.Left || X > r.Right || Y < r.Top || Y > r.Bottom) continue;
    TQxBitmap* b = l->Bitmap;
    if (!b->HasAlphaChannel() || FSelectionOptions.Contains(TQxSelectionOptionsItems::qxsoSelectTranspLayers)) return i;
    if (b->Width() <= 0 || b->Height() <= 0) continue;
    const int32_t lx = std::clamp(l->ClientToLayerX(X), 0, b->Width() - 1);
    const int32_t ly = std::clamp(l->ClientToLayerY(Y), 0, b->Height() - 1);
    if (b->GetAlpha(lx, ly) > 0) return i;
  }
  return -1;
}


bool TQuillotView::IsPointInLayer(int32_t X, int32_t Y, int32_t Index) {
  if (Index < 0 || Index >= LayerCount()) return false;
  TQxLayer* l = FLayers[size_t(Index)];
  if (!l->Visible) return false;
  if (l->RotationAngle != 0) return QxPointInPolygon(X, Y, l->Outline, 3);
  const TRect& r = l->DrawnRect;
  return X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom;
}

void TQuillotView::ApplyLayerSizes(int32_t Index) {
  SyncLayers();
  const int32_t before = FCurrentLayerIndex;
  for (int32_t i = 0; i < LayerCount(); ++i) {
    if (Index >= 0 && i != Index) continue;
    TQxLayer* l = FLayers[size_t(i)];
    if (l->Width == 0 && l->Height == 0) continue;
    SetCurrentLayer(i);
    auto proc = TQuillotProc::CreateForBitmap(l->Bitmap);
    proc->Resample(l->DisplayWidth(), l->DisplayHeight(), l->UseResampleFilter ? l->ResampleFilter : FZoomFilter);
    l->Width = 0;
    l->Height = 0;
  }
  SetCurrentLayer(before);
}

void TQuillotView::CropLayersToOpaque(int32_t Index) {
  SyncLayers();
  for (int32_t i = 0; i < LayerCount(); ++i) {
    if (Index >= 0 && i != Index) continue;
    auto proc = TQuillotProc::CreateForBitmap(FLayers[size_t(i)]->Bitmap);
    proc->CropToOpaque();
  }
  UpdateView();
}

void TQuillotView::ApplyLayerRotations(int32_t Index) {
  SyncLayers();
  const int32_t before = FCurrentLayerIndex;
  for (int32_t i = 0; i < LayerCount(); ++i) {
    if (Index >= 0 && i != Index) continue;
    TQxLayer* l = FLayers[size_t(i)];
    if (l->RotationAngle == 0) continue;
    ApplyLayerSizes(i);
    SetCurrentLayer(i);
    const int32_t w = l->DisplayWidth(), h = l->DisplayHeight();
    TPoint corners[4] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
    const int32_t px = l->PosX, py = l->PosY;
    l->Bitmap->GetAlphaChannel();
    auto proc = TQuillotProc::CreateForBitmap(l->Bitmap);
    proc->SetBackground(Background());
    proc->Rotate(l->RotationAngle, LayerRotateAntialias ? 1 : 0, LayerRotateQuality, -1);
    QxRotatePoints(corners, 3, int32_t(Trunc(w * l->RotationCenterX)), int32_t(Trunc(h * l->RotationCenterY)),
                  l->RotationAngle);
    int32_t minX = corners[0].X, minY = corners[0].Y;
    for (const TPoint& p : corners) {
      minX = std::min(minX, p.X);
      minY = std::min(minY, p.Y);
    }
    l->PosX = px + minX;
    l->PosY = py + minY;
    l->Width = l->Height = 0;
    l->SetRotationAngle(0);
    TRect r;
    QxOpaqueBounds(l->Bitmap, r);
    proc->CropToRect(r);
    l->PosX += r.Left;
    l->PosY += r.Top;
  }
  SetCurrentLayer(before);
  UpdateView();
}
