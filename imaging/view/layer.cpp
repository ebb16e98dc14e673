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

// ---- QxMergeLayers ----

namespace {

struct MergeSide {
  TQxBitmap* S = nullptr;
  std::unique_ptr<TQxBitmap> Owned;
  int32_t X = 0, Y = 0, W = 0, H = 0;
  int32_t Op = 255;
  bool Expand = false;  // a 1-bit layer, expanded row by row
};

void PrepareSide(TQxLayer* L, TResampleFilter Filter, MergeSide& s) {
  s.S = L->Bitmap;
  s.W = L->DisplayWidth();
  s.H = L->DisplayHeight();
  if (s.S->Width() != s.W || s.S->Height() != s.H) {
    s.Owned = std::make_unique<TQxBitmap>();
    auto proc = TQuillotProc::CreateForBitmap(L->Bitmap);
    proc->ResampleInto(s.Owned.get(), s.W, s.H, Filter);
    s.S = s.Owned.get();
  }
  // Rows are read as 24-bit or 1-bit; gray, palette, 48-bit, CMYK and the rest would be read as 1-bit
  // rows and come out scrambled, so they are converted first (alpha channel kept).
  const TQxPixelFormat f = s.S->PixelFormat();
  if (f != TQxPixelFormat::qx24RGB && f != TQxPixelFormat::qx1g && !s.S->IsEmpty()) {
    auto converted = std::make_unique<TQxBitmap>();
    converted->AssignFrom(s.S);
    converted->SetPixelFormat(TQxPixelFormat::qx24RGB);
    s.Owned = std::move(converted);
    s.S = s.Owned.get();
  }
  s.X = L->PosX;
  s.Y = L->PosY;
  s.Op = L->Opacity;
  s.Expand = s.S->PixelFormat() != TQxPixelFormat::qx24RGB;
}

// Round half to even and clamp to 0..255. Adding and taking away 1.5 x 2^52 leaves the value rounded by
// the processor's default mode, as nearbyint does, without a library call per channel (|v| stays far below
// 2^51 here).
inline uint8_t RoundClampByte(double v) {
  constexpr double kMagic = 6755399441055744.0;
  const double r = (v + kMagic) - kMagic;
  return uint8_t(r < 0 ? 0 : (r > 255 ? 255 : r));
}

}  // namespace

void QxMergeLayers(TQxLayer* Layer1, TQxLayer* Layer2, TQxLayer* MaskLayer, TQxBitmap* Destination,
                   TResampleFilter Filter, TColor BackgroundColor, bool Union) {
  const TQxBlendOperation op = Layer2->BlendOperation;
  MergeSide s1, s2;
  PrepareSide(Layer1, Filter, s1);
  PrepareSide(Layer2, Filter, s2);

  TQxBitmap* M = nullptr;
  std::unique_ptr<TQxBitmap> ownedMask;
  int32_t wm = 0, hm = 0, xm = 0, ym = 0;
  if (MaskLayer) {
    wm = MaskLayer->DisplayWidth();
    hm = MaskLayer->DisplayHeight();
    M = MaskLayer->Bitmap;
    if (M->Width() != wm || M->Height() != hm) {
      ownedMask = std::make_unique<TQxBitmap>(wm, hm, TQxPixelFormat::qx8g);
      QxStretchNearest(MaskLayer->Bitmap, ownedMask.get());
      M = ownedMask.get();
    }
    xm = MaskLayer->PosX;
    ym = MaskLayer->PosY;
  }

  int32_t &x1 = s1.X, &y1 = s1.Y, &x2 = s2.X, &y2 = s2.Y;
  if (x1 < 0) {
    x2 -= x1;
    xm -= x1;
    x1 = 0;
  }
  if (y1 < 0) {
    y2 -= y1;
    ym -= y1;
    y1 = 0;
  }
  if (x2 < 0) {
    x1 -= x2;
    xm -= x2;
    x2 = 0;
  }
  if (y2 < 0) {
    y1 -= y2;
    ym -= y2;
    y2 = 0;
  }
  int32_t right = std::max(x1 + s1.W, x2 + s2.W);
  int32_t bottom = std::max(y1 + s1.H, y2 + s2.H);
  int32_t left = Union ? std::min(x1, x2) : 0;
  int32_t top = Union ? std::min(y1, y2) : 0;
  int32_t W = right - left, H = bottom - top;

  if (Destination->Width() != W || Destination->Height() != H ||
      Destination->PixelFormat() != TQxPixelFormat::qx24RGB)
    Destination->Allocate(W, H, TQxPixelFormat::qx24RGB);
  TQxBitmap* dalpha = Destination->GetAlphaChannel();
  dalpha->Opaque = false;
  const TQxRGB bg = QxTColorToRGB(BackgroundColor);

  std::vector<uint8_t> full(size_t(std::max({s1.W, s2.W, 1})), 255);
  auto alphaRow = [&full](MergeSide& s, int32_t r) -> const uint8_t* {
    return s.S->HasAlphaChannel() ? s.S->GetAlphaChannel()->Scanline(r) : full.data();
  };
  std::atomic<bool> allOpaque{true};

  // Rows are independent; bands of them run on the processor's cores unless a bitmap maps its rows
  // from a file one at a time.
  auto maps = [](TQxBitmap* b) { return b && (b->MapsRows() || (b->HasAlphaChannel() && b->GetAlphaChannel()->MapsRows())); };
  const bool oneThread = maps(s1.S) || maps(s2.S) || maps(M) || maps(Destination);
  ParallelBands(top, top + H, oneThread ? INT32_MAX : 16, [&](int32_t rowFirst, int32_t rowLast) {
    std::vector<uint8_t> row1(s1.Expand ? size_t(std::max(s1.W, 0)) * 3 + 3 : 0);
    std::vector<uint8_t> row2(s2.Expand ? size_t(std::max(s2.W, 0)) * 3 + 3 : 0);
    auto colourRow = [](MergeSide& s, std::vector<uint8_t>& scratch, int32_t r) -> const TQxRGB* {
      uint8_t* row = s.S->Scanline(r);
      if (!s.Expand) return reinterpret_cast<const TQxRGB*>(row);
      QxExpandBitRow(row, scratch.data(), s.W);
      return reinterpret_cast<const TQxRGB*>(scratch.data());
    };
    bool opaque = true;
    for (int32_t r = rowFirst; r < rowLast; ++r) {
      const bool in1 = r - y1 >= 0 && r - y1 < s1.H;
      const bool in2 = r - y2 >= 0 && r - y2 < s2.H;
      const TQxRGB* p1 = in1 ? colourRow(s1, row1, r - y1) : nullptr;
      const uint8_t* a1 = in1 ? alphaRow(s1, r - y1) : nullptr;
      const TQxRGB* p2 = in2 ? colourRow(s2, row2, r - y2) : nullptr;
      const uint8_t* a2 = in2 ? alphaRow(s2, r - y2) : nullptr;
      const uint8_t* mrow = (M && r - ym >= 0 && r - ym < hm) ? M->Scanline(r - ym) : nullptr;
      TQxRGB* d = reinterpret_cast<TQxRGB*>(Destination->Scanline(r - top));
      uint8_t* da = dalpha->Scanline(r - top);
      for (int32_t c = left; c < left + W; ++c) {
        const int32_t j1 = c - x1, j2 = c - x2;
        const bool cov1 = j1 >= 0 && j1 < s1.W;
        const bool cov2 = j2 >= 0 && j2 < s2.W;
        TQxRGB P1 = bg, P2 = bg;
        int32_t al1 = 0, al2 = 0;
        if (cov1 && in1) {
          P1 = p1[j1];
          al1 = a1[j1];
        }
        if (cov2 && in2) {
          P2 = p2[j2];
          al2 = a2[j2];
        }
        int32_t m = 255;
        if (M) {
          int32_t mc = c - xm;
          m = (mrow && mc >= 0 && mc < wm) ? mrow[mc] : 0;
        }
        TQxRGB& out = d[c - left];
        uint8_t& outA = da[c - left];
        if (cov1 && cov2) {
          const int32_t e1 = std::min(al1, s1.Op);
          const int32_t e2 = M ? std::min({al2, m, s2.Op}) : std::min(al2, s2.Op);
          // Where one side is fully opaque or fully transparent the weighted mean is that side's colour
          // exactly (its rounding error is far below half a step), so it is taken as it stands.
          if (op == 0 && (e2 == 255 || e1 == 0)) {
            out = P2;
            outA = uint8_t(e1 == 0 ? e2 : 255);
          } else if (op == 0 && e2 == 0) {
            out = P1;
            outA = uint8_t(e1);
          } else {
            const double fa1 = e1 / 255.0;
            const double fa2 = e2 / 255.0;
            const double t = (1 - fa2) * fa1;
            const double A = fa2 + t;
            TQxRGB B = P2;
            if (op != 0) {
              B = P1;
              QxBlendPixel(P2, B, op, r);
            }
            if (A != 0) {
              out.r = RoundClampByte((B.r * fa2 + P1.r * t) / A);
              out.g = RoundClampByte((B.g * fa2 + P1.g * t) / A);
              out.b = RoundClampByte((B.b * fa2 + P1.b * t) / A);
            } else {
              out = B;
            }
            outA = RoundClampByte(A * 255);
          }
        } else if (cov1) {
          out = P1;
          outA = uint8_t(std::min(al1, s1.Op));
        } else if (cov2) {
          out = P2;
          outA = uint8_t(M ? std::min({al2, m, s2.Op}) : std::min(al2, s2.Op));
        } else {
          out = bg;
          outA = 0;
        }
        opaque = opaque && outA == 255;
      }
    }
    if (!opaque) allOpaque.store(false, std::memory_order_relaxed);
  });
  dalpha->Opaque = allOpaque.load();
  if (dalpha->Opaque) Destination->RemoveAlphaChannel(false);
}
