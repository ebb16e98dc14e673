#include "imaging/view/layer.h"
#include "imaging/view/view_internal.h"

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <unordered_map>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/utils.h"
#include "imaging/processing/geometry.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/processing/proc.h"
#include "imaging/view/view.h"
#include "platform/base/exceptions.h"
#include "platform/base/numeric.h"
#include "platform/base/parallel.h"
#include "platform/base/streams.h"
#include "platform/graphics/bitmap.h"

TQxLayerId QxNewLayerId() {
  static std::mutex m;
  static std::mt19937_64 gen{std::random_device{}()};
  std::lock_guard<std::mutex> lock(m);
  TQxLayerId id;
  uint64_t a = gen(), b = gen();
  std::memcpy(id.data(), &a, 8);
  std::memcpy(id.data() + 8, &b, 8);
  id[6] = uint8_t((id[6] & 0x0F) | 0x40);  // version 4
  id[8] = uint8_t((id[8] & 0x3F) | 0x80);
  return id;
}

TQxLayer::TQxLayer(TQuillotView* AView, TQxBitmap* ABitmap, bool Wrap) : View(AView) {
  LayerId = QxNewLayerId();
  if (Wrap) {
    Bitmap = ABitmap;
  } else {
    auto b = std::make_unique<TQxBitmap>();
    if (ABitmap) {
      if (ABitmap->Location() == TQxLocation::qxTBitmap && ABitmap->GetTBitmap()) {
        auto tb = std::make_unique<TBitmap>(1, 1, TPixelFormat::pf24bit);
        tb->SetPixelFormat(ABitmap->GetTBitmap()->PixelFormat());
        tb->SetSize(ABitmap->Width(), ABitmap->Height());
        b->AttachTBitmap(tb.get(), true);
        OwnedTBitmap = tb.release();
      } else {
        b->SetLocation(ABitmap->Location());
        if (ABitmap->Width() > 0 && ABitmap->Height() > 0)
          b->Allocate(ABitmap->Width(), ABitmap->Height(), ABitmap->PixelFormat());
      }
    }
    Bitmap = b.release();
  }
  OwnsBitmap = true;
  ResetProperties();
}

TQxLayer::~TQxLayer() {
  if (OwnsBitmap) {
    delete Bitmap;
    delete OwnedTBitmap;
  }
  Bitmap = nullptr;
  OwnedTBitmap = nullptr;
  if (UserDataLen > 0) std::free(UserData);
  FreeMaskCache();
}

void TQxLayer::FreeMaskCache() {
  delete MaskCache;
  MaskCache = nullptr;
}

void TQxLayer::ResetProperties() {
  Visible = ShowBox = Selectable = true;
  Opacity = 255;
  PosX = PosY = Width = Height = 0;
  DrawnRect = TRect();
  ScreenMap = TQxLayerScreenMap();
  for (TPoint& p : Outline) p = TPoint();
  ClipToBase = Locked = IsMask = DimOutside = false;
  Aux = TQxLayerAux();
  BlendOperation = 0;
  UserData = nullptr;
  UserDataLen = 0;
  SetRotationAngle(0);
  RotationCenterX = RotationCenterY = 0.5;
}

void TQxLayer::CopyPropertiesFrom(TQxLayer* Other) {
  if (!Other || Other == this) return;
  Width = Other->Width;
  Height = Other->Height;
  if (Bitmap && Other->Bitmap) Bitmap->AssignFrom(Other->Bitmap);
  Visible = Other->Visible;
  ShowBox = Other->ShowBox;
  Selectable = Other->Selectable;
  Opacity = Other->Opacity;
  PosX = Other->PosX;
  PosY = Other->PosY;
  DrawnRect = Other->DrawnRect;
  ClipToBase = Other->ClipToBase;
  Locked = Other->Locked;
  Aux = Other->Aux;
  BlendOperation = Other->BlendOperation;
  UserData = Other->UserData;
  ResampleFilter = Other->ResampleFilter;
  UseResampleFilter = Other->UseResampleFilter;
  Name = Other->Name;
  IsMask = Other->IsMask;
  DimOutside = Other->DimOutside;
}

void TQxLayer::SetRotationAngle(double Angle) {
  if (std::trunc(Angle) == Angle && std::fmod(Angle, 360.0) == 0.0)
    RotationAngle = 0;
  else
    RotationAngle = Angle;
}

int32_t TQxLayer::DisplayWidth() const {
  if (Width != 0) return Width;
  return Bitmap ? Bitmap->Width() : 0;
}

int32_t TQxLayer::DisplayHeight() const {
  if (Height != 0) return Height;
  return Bitmap ? Bitmap->Height() : 0;
}

int32_t TQxLayer::ClientToLayerX(int32_t X) const {
  int32_t dw = DisplayWidth();
  if (dw == 0 || !View) return 0;
  double b = View->ScreenToBitmapX(X - int32_t(Trunc(PosX * View->ScaleX())));
  // Multiplied first: b / dw * width loses the last pixel to rounding (55 / 150 * 150 < 55).
  return int32_t(Trunc(b * Bitmap->Width() / dw));
}

int32_t TQxLayer::ClientToLayerY(int32_t Y) const {
  int32_t dh = DisplayHeight();
  if (dh == 0 || !View) return 0;
  double b = View->ScreenToBitmapY(Y - int32_t(Trunc(PosY * View->ScaleY())));
  return int32_t(Trunc(b * Bitmap->Height() / dh));
}

int32_t TQxLayer::LayerToClientX(int32_t X) const {
  if (!View || !Bitmap || Bitmap->Width() == 0) return 0;
  return View->BitmapToScreenX(int32_t(Trunc(double(X) / Bitmap->Width() * DisplayWidth()))) +
         int32_t(Trunc(PosX * View->ScaleX()));
}

int32_t TQxLayer::LayerToClientY(int32_t Y) const {
  if (!View || !Bitmap || Bitmap->Height() == 0) return 0;
  return View->BitmapToScreenY(int32_t(Trunc(double(Y) / Bitmap->Height() * DisplayHeight()))) +
         int32_t(Trunc(PosY * View->ScaleY()));
}

// ---- layer record ----

namespace {

// The record keeps the caller's data reference in 32 bits. A pointer does not fit there, so the record
// carries a token that this process maps back to the pointer.
class UserDataTokens {
 public:
  uint32_t TokenOf(void* p) {
    if (!p) return 0;
    std::lock_guard<std::mutex> lock(m_);
    auto it = byPtr_.find(p);
    if (it != byPtr_.end()) return it->second;
    uint32_t t = uint32_t(byToken_.size() + 1);
    byToken_.push_back(p);
    byPtr_[p] = t;
    return t;
  }
  void* PtrOf(uint32_t t) {
    std::lock_guard<std::mutex> lock(m_);
    if (t == 0 || t > byToken_.size()) return nullptr;
    return byToken_[t - 1];
  }

 private:
  std::mutex m_;
  std::unordered_map<void*, uint32_t> byPtr_;
  std::vector<void*> byToken_;
};

UserDataTokens& Tokens() {
  static UserDataTokens t;
  return t;
}

template <class T>
T Get(TStream* s) {
  T v{};
  s->ReadBuffer(&v, sizeof(T));
  return v;
}
bool GetBool(TStream* s) { return Get<uint8_t>(s) != 0; }

}  // namespace

void TQxLayer::WriteToStream(TStream* Stream, bool WithBitmap) const {
  int64_t start = Stream->Position();
  QxViewPut<int32_t>(Stream, 0);
  Stream->WriteBuffer(LayerId.data(), 16);
  QxViewPut<int32_t>(Stream, Width);
  QxViewPut<int32_t>(Stream, Height);
  QxViewPutBool(Stream, Visible);
  QxViewPutBool(Stream, ShowBox);
  QxViewPutBool(Stream, Selectable);
  QxViewPut<int32_t>(Stream, Opacity);
  QxViewPut<int32_t>(Stream, PosX);
  QxViewPut<int32_t>(Stream, PosY);
  QxViewPut<int32_t>(Stream, DrawnRect.Left);
  QxViewPut<int32_t>(Stream, DrawnRect.Top);
  QxViewPut<int32_t>(Stream, DrawnRect.Right);
  QxViewPut<int32_t>(Stream, DrawnRect.Bottom);
  QxViewPutBool(Stream, ClipToBase);
  QxViewPutBool(Stream, Locked);
  uint8_t aux[24] = {};
  aux[0] = Aux.Flag;
  std::memcpy(aux + 8, &Aux.Rate, 8);
  aux[16] = Aux.Style;
  aux[17] = Aux.Source;
  Stream->WriteBuffer(aux, 24);
  QxViewPut<uint8_t>(Stream, BlendOperation);
  QxViewPut<uint32_t>(Stream, Tokens().TokenOf(UserData));
  QxViewPut<uint8_t>(Stream, uint8_t(ResampleFilter));
  QxViewPutBool(Stream, UseResampleFilter);
  QxViewPut<int32_t>(Stream, int32_t(Name.size()));
  if (!Name.empty()) Stream->WriteBuffer(Name.data(), int64_t(Name.size()));
  QxViewPutBool(Stream, IsMask);
  QxViewPutBool(Stream, DimOutside);
  QxViewPut<double>(Stream, RotationAngle);
  QxViewPut<double>(Stream, RotationCenterX);
  QxViewPut<double>(Stream, RotationCenterY);
  QxViewPutBool(Stream, WithBitmap);
  if (WithBitmap && Bitmap) Bitmap->SaveRawToStream(Stream);
  int64_t end = Stream->Position();
  int64_t len = end - start;
  if (len > INT32_MAX) throw EWriteError("Layer record too large");
  Stream->Seek(start, TSeekOrigin::soBeginning);
  QxViewPut<int32_t>(Stream, int32_t(len));
  Stream->Seek(end, TSeekOrigin::soBeginning);
}

void TQxLayer::ReadFromStream(TStream* Stream) {
  int64_t start = Stream->Position();
  int32_t len = Get<int32_t>(Stream);
  if (len < 123 || start + len > Stream->Size()) throw EReadError("Invalid layer record");
  TQxLayerId id;
  Stream->ReadBuffer(id.data(), 16);
  int32_t w = Get<int32_t>(Stream), h = Get<int32_t>(Stream);
  bool vis = GetBool(Stream), box = GetBool(Stream), sel = GetBool(Stream);
  int32_t op = Get<int32_t>(Stream), px = Get<int32_t>(Stream), py = Get<int32_t>(Stream);
  TRect dr;
  dr.Left = Get<int32_t>(Stream);
  dr.Top = Get<int32_t>(Stream);
  dr.Right = Get<int32_t>(Stream);
  dr.Bottom = Get<int32_t>(Stream);
  bool clip = GetBool(Stream), locked = GetBool(Stream);
  uint8_t aux[24];
  Stream->ReadBuffer(aux, 24);
  uint8_t blend = Get<uint8_t>(Stream);
  uint32_t token = Get<uint32_t>(Stream);
  uint8_t filter = Get<uint8_t>(Stream);
  bool useFilter = GetBool(Stream);
  int32_t n = Get<int32_t>(Stream);
  if (n < 0 || int64_t(n) > len - 123) throw EReadError("Invalid layer record");
  std::string name(size_t(n), '\0');
  if (n > 0) Stream->ReadBuffer(name.data(), n);
  bool isMask = GetBool(Stream), dim = GetBool(Stream);
  double angle = Get<double>(Stream), cx = Get<double>(Stream), cy = Get<double>(Stream);
  bool hasBitmap = GetBool(Stream);

  LayerId = id;
  Width = w;
  Height = h;
  Visible = vis;
  ShowBox = box;
  Selectable = sel;
  Opacity = op;
  PosX = px;
  PosY = py;
  DrawnRect = dr;
  ClipToBase = clip;
  Locked = locked;
  Aux.Flag = aux[0];
  std::memcpy(&Aux.Rate, aux + 8, 8);
  Aux.Style = aux[16];
  Aux.Source = aux[17];
  BlendOperation = blend;
  UserData = Tokens().PtrOf(token);
  ResampleFilter = filter <= uint8_t(TResampleFilter::rfProjectWB) ? TResampleFilter(filter) : TResampleFilter::rfNone;
  UseResampleFilter = useFilter;
  Name = std::move(name);
  IsMask = isMask;
  DimOutside = dim;
  RotationAngle = angle;
  RotationCenterX = cx;
  RotationCenterY = cy;
  if (hasBitmap && Bitmap) {
    if (!Bitmap->LoadRawFromStream(Stream)) throw EReadError("Invalid layer bitmap");
  }
  Stream->Seek(start + len, TSeekOrigin::soBeginning);
}
