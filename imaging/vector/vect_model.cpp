// The object model of TQuillotVect: records, drawing order, selection, shared bitmaps, polylines,
// angles, hit tests and copying between views.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <typeindex>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/kernels/dib.h"
#include "imaging/foundation/utils.h"
#include "imaging/vector/vect.h"
#include "platform/base/codepage.h"
#include "platform/base/numeric.h"
#include "platform/graphics/bitmap.h"

// ---------------------------------------------------------------- units and fonts

const char* QxUnitName(TQxUnits Unit) {
  static const char* const kNames[QxUnitCount] = {"pixels", "inches",  "km",         "mt",   "cm",   "mm",
                                                  "microns", "nanometers", "feet", "yards", "miles"};
  const int i = int(Unit);
  return i >= 0 && i < QxUnitCount ? kNames[i] : "";
}

uint32_t QxCodePageOfCharset(uint8_t Charset) {
  if (Charset == 161) return 1253;
  if (Charset == 204) return 1251;
  return 1252;
}

namespace {
void PutI32(uint8_t* P, int32_t V) { std::memcpy(P, &V, 4); }
int32_t GetI32(const uint8_t* P) {
  int32_t V;
  std::memcpy(&V, P, 4);
  return V;
}
}  // namespace

void QxLogFontToBytes(const TQxLogFont& F, uint8_t Out[QxLogFontSize]) {
  std::memset(Out, 0, QxLogFontSize);
  PutI32(Out, F.Height);
  PutI32(Out + 4, F.Width);
  PutI32(Out + 8, F.Escapement);
  PutI32(Out + 12, F.Orientation);
  PutI32(Out + 16, F.Weight);
  const uint8_t b[8] = {F.Italic, F.Underline, F.StrikeOut, F.CharSet, F.OutPrecision, F.ClipPrecision, F.Quality,
                        F.PitchAndFamily};
  std::memcpy(Out + 20, b, 8);
  std::string face = Utf8ToCodePage(F.FaceName, QxCodePageOfCharset(F.CharSet));
  if (face.size() > 31) face.resize(31);
  std::memcpy(Out + 28, face.data(), face.size());
}

TQxLogFont QxLogFontFromBytes(const uint8_t In[QxLogFontSize]) {
  TQxLogFont F;
  F.Height = GetI32(In);
  F.Width = GetI32(In + 4);
  F.Escapement = GetI32(In + 8);
  F.Orientation = GetI32(In + 12);
  F.Weight = GetI32(In + 16);
  F.Italic = In[20];
  F.Underline = In[21];
  F.StrikeOut = In[22];
  F.CharSet = In[23];
  F.OutPrecision = In[24];
  F.ClipPrecision = In[25];
  F.Quality = In[26];
  F.PitchAndFamily = In[27];
  size_t n = 0;
  while (n < 32 && In[28 + n]) ++n;
  F.FaceName = CodePageToUtf8(std::string_view(reinterpret_cast<const char*>(In + 28), n),
                              QxCodePageOfCharset(F.CharSet));
  return F;
}

TFontStyles QxLogFontStyles(const TQxLogFont& F) {
  TFontStyles S;
  if (F.Weight >= 700) S.Include(TFontStyle::fsBold);
  if (F.Italic) S.Include(TFontStyle::fsItalic);
  if (F.Underline) S.Include(TFontStyle::fsUnderline);
  if (F.StrikeOut) S.Include(TFontStyle::fsStrikeOut);
  return S;
}

TQxLogFont QxLogFontOf(const TFont& Font) {
  TQxLogFont F;
  F.Height = Font.Height();
  F.Escapement = F.Orientation = Font.Orientation();
  F.Weight = Font.Style().Contains(TFontStyle::fsBold) ? 700 : 400;
  F.Italic = Font.Style().Contains(TFontStyle::fsItalic);
  F.Underline = Font.Style().Contains(TFontStyle::fsUnderline);
  F.StrikeOut = Font.Style().Contains(TFontStyle::fsStrikeOut);
  F.CharSet = Font.Charset();
  F.FaceName = Font.Name();
  return F;
}

void QxApplyLogFont(const TQxLogFont& F, TFont& Font) {
  Font.SetName(F.FaceName.empty() ? std::string("Arial") : F.FaceName);
  Font.SetHeight(F.Height);
  Font.SetStyle(QxLogFontStyles(F));
  Font.SetCharset(F.CharSet);
  Font.SetOrientation(F.Escapement);
}

uint8_t QxFontQualityOf(uint8_t TextQuality) {
  static const uint8_t kTable[7] = {4, 5, 6, 0, 1, 3, 2};
  return TextQuality < 7 ? kTable[TextQuality] : 0;
}

// ---------------------------------------------------------------- custom object classes

namespace {
struct TCustomEntry {
  std::string Name;
  TQxVCustomObjectFactory Factory;
  std::type_index Type{typeid(void)};
};
std::vector<TCustomEntry>*& CustomRegistry() {
  static std::vector<TCustomEntry>* r = nullptr;
  return r;
}
}  // namespace

void QxRegisterCustomObjectClass(const std::string& Name, TQxVCustomObjectFactory Factory) {
  if (!CustomRegistry()) CustomRegistry() = new std::vector<TCustomEntry>();
  if (!Factory) return;
  std::type_index t{typeid(void)};
  if (auto probe = Factory()) {
    const TQxVCustomObject& made = *probe;
    t = std::type_index(typeid(made));
  }
  for (auto& e : *CustomRegistry())
    if (e.Name == Name) {
      e.Factory = std::move(Factory);
      e.Type = t;
      return;
    }
  CustomRegistry()->push_back({Name, std::move(Factory), t});
}

std::unique_ptr<TQxVCustomObject> QxCreateCustomObject(const std::string& Name) {
  if (!CustomRegistry()) return nullptr;
  for (auto& e : *CustomRegistry())
    if (e.Name == Name) {
      auto obj = e.Factory();
      if (obj) {
        obj->Owner = nullptr;
        obj->Handle = -1;
        obj->Flag = false;
      }
      return obj;
    }
  return nullptr;
}

std::string QxCustomObjectClassName(const TQxVCustomObject& Instance) {
  if (!CustomRegistry()) return {};
  const std::type_index t(typeid(Instance));
  for (auto& e : *CustomRegistry())
    if (e.Type == t) return e.Name;
  return {};
}

void QxFreeCustomObjectClasses() {
  delete CustomRegistry();
  CustomRegistry() = nullptr;
}

// ---------------------------------------------------------------- free geometry routines

void QxAngleBox(const TPoint Points[3], TRect& Rect) {
  const int32_t vx = Points[1].X, vy = Points[1].Y;
  const int32_t hw = std::abs(vx - std::max(Points[0].X, Points[2].X));
  const int32_t hh = std::abs(vy - std::max(Points[0].Y, Points[2].Y));
  Rect = TRect(vx - hw, vy - hh, vx + hw, vy + hh);
}

int32_t TQuillotVect::AnglePointCount(const TPoint Points[3]) {
  int32_t n = 0;
  while (n < 3 && Points[n].X != QxAngleUnset) ++n;
  return n;
}

// ---------------------------------------------------------------- records

TQxVObject* TQuillotVect::ObjectRecord(int32_t Handle) {
  if (Handle == QxHandleTemplate) return &FTemplate;
  if (Handle == QxHandleLast) Handle = int32_t(FObjects.size()) - 1;
  if (Handle < 0 || Handle >= int32_t(FObjects.size())) return nullptr;
  return &FObjects[size_t(Handle)];
}

void TQuillotVect::GrowArrays() {
  // Room for 522 more whenever the count reaches a multiple of 512: few reallocations, handles stay indexes.
  if (FObjects.capacity() <= FObjects.size()) FObjects.reserve(FObjects.size() + 522);
  if (FOrder.capacity() <= FOrder.size()) FOrder.reserve(FOrder.size() + 522);
}

namespace {
bool OrderedKind(TQxVObjectKind K) {
  return K != TQxVObjectKind::qvkLine && K != TQxVObjectKind::qvkRuler && K != TQxVObjectKind::qvkPolyline &&
         K != TQxVObjectKind::qvkLabelledLine;
}
}  // namespace

int32_t TQuillotVect::AddObjectCopy(const TQxVObject& ASource) {
  // The source may be a record of this view: find it again after the array grew.
  const TQxVObject* src = &ASource;
  int64_t inside = -1;
  if (!FObjects.empty() && src >= FObjects.data() && src < FObjects.data() + FObjects.size())
    inside = src - FObjects.data();
  GrowArrays();
  if (inside >= 0) src = &FObjects[size_t(inside)];
  const TQxVObject& Source = *src;
  TQxVObject c;
  // The plain fields; owned data is copied by kind below.
  c.x1 = Source.x1, c.y1 = Source.y1, c.x2 = Source.x2, c.y2 = Source.y2;
  c.Kind = Source.Kind;
  c.Transparency = Source.Transparency;
  c.KeepAspect = Source.KeepAspect;
  c.BlendOperation = Source.BlendOperation;
  c.StartShape = Source.StartShape, c.EndShape = Source.EndShape;
  c.EndShapeWidth = Source.EndShapeWidth, c.EndShapeLength = Source.EndShapeLength;
  c.LabelColor = Source.LabelColor, c.LabelBrushStyle = Source.LabelBrushStyle;
  c.LabelAtEnd = Source.LabelAtEnd, c.LabelFrame = Source.LabelFrame, c.LabelBox = Source.LabelBox;
  c.PenColor = Source.PenColor, c.PenStyle = Source.PenStyle, c.PenWidth = Source.PenWidth;
  c.BrushColor = Source.BrushColor, c.BrushStyle = Source.BrushStyle;
  c.Highlight = Source.Highlight;
  c.StartAngle = Source.StartAngle, c.EndAngle = Source.EndAngle;
  c.BitmapFrame = Source.BitmapFrame;
  c.TextQuality = Source.TextQuality, c.TextAlign = Source.TextAlign;
  c.AutoSize = Source.AutoSize, c.UniformFormat = Source.UniformFormat;
  c.CharAngle = Source.CharAngle, c.Editable = Source.Editable;
  c.LineSpacing = Source.LineSpacing;
  c.MemoFrameColor = Source.MemoFrameColor, c.MemoFrameStyle = Source.MemoFrameStyle;
  c.FixedCharHeight = Source.FixedCharHeight, c.MemoBitmap = Source.MemoBitmap;
  std::copy(Source.MemoMargins, Source.MemoMargins + 4, c.MemoMargins);
  c.CharBackStyle = Source.CharBackStyle;
  c.Tag = Source.Tag, c.Flags = Source.Flags;
  c.RulerUnit = Source.RulerUnit, c.RulerStyle = Source.RulerStyle;
  c.EditStartRect = Source.EditStartRect;
  c.DrawnExtent = Source.DrawnExtent, c.DrawnMargin = Source.DrawnMargin;
  c.SoftShadow = Source.SoftShadow;
  c.BitmapIndex = -1;

  FObjects.push_back(std::move(c));
  const int32_t h = int32_t(FObjects.size()) - 1;
  FOrder.push_back(h);
  TQxVObject& n = FObjects[size_t(h)];
  const TQxVObjectKind k = Source.Kind;

  if (k == TQxVObjectKind::qvkCustom && Source.Custom) {
    n.Custom = Source.Custom->Clone();
    if (n.Custom) {
      n.Custom->Owner = this;
      n.Custom->SetHandle(h);
    }
  }
  if (k == TQxVObjectKind::qvkBitmap || (k == TQxVObjectKind::qvkMemo && Source.MemoBitmap))
    SetObjBitmapIndex(h, Source.BitmapIndex);
  if (k == TQxVObjectKind::qvkText || k == TQxVObjectKind::qvkLabelledLine || k == TQxVObjectKind::qvkCustom) {
    n.Text = Source.Text ? *Source.Text : std::string();
    n.Font = Source.Font;
    if (!Source.TextPath.empty()) n.TextPath = Source.TextPath;
  }
  if (k == TQxVObjectKind::qvkMemo) {
    n.Text = Source.Text;
    n.Font = Source.Font;
    if (Source.CharFormatIndexes) {
      n.CharFormatIndexes = Source.CharFormatIndexes;
      n.CharFormats = Source.CharFormats ? Source.CharFormats : std::vector<TQxCharFormat>();
    }
  }
  if (k == TQxVObjectKind::qvkRuler || k == TQxVObjectKind::qvkAngle) n.Font = Source.Font;
  n.Name = Source.Name ? *Source.Name : std::string();
  if (OrderedKind(k) && k != TQxVObjectKind::qvkNone) QxOrderCorners(n.x1, n.y1, n.x2, n.y2);
  if (k == TQxVObjectKind::qvkPolyline) {
    n.Points = Source.Points;
    n.Points.shrink_to_fit();
    n.PointBounds = Source.PointBounds;
    n.Closed = Source.Closed;
  } else {
    for (int i = 0; i < 3; ++i) n.AnglePoints[i] = Source.AnglePoints[i];
  }
  return h;
}

void TQuillotVect::FreeTextData(TQxVObject& Rec) {
  Rec.Text.reset();
  Rec.CharFormatIndexes.reset();
  Rec.CharFormats.reset();
}

void TQuillotVect::FreeObjectData(TQxVObject& Rec) {
  if (Rec.BitmapIndex >= 0) ReleaseSharedBitmap(Rec.BitmapIndex);
  Rec.BitmapIndex = -1;
  Rec.Name.reset();
  Rec.Font.reset();
  FreeTextData(Rec);
  Rec.TextPath.clear();
  Rec.Points.clear();
  Rec.ScreenPoints.clear();
  Rec.SoftShadow = TQxVSoftShadow{};
  Rec.Custom.reset();
  Rec.OwnedUserData.clear();
  Rec.UserData = nullptr;
  Rec.UserDataLength = 0;
}

void TQuillotVect::FreeAllObjectRecords() {
  for (int32_t h : FOrder) FreeObjectData(FObjects[size_t(h)]);
  FOrder.clear();
}

// ---------------------------------------------------------------- selection

void TQuillotVect::AddToSelection(int32_t Handle) {
  if (Handle == QxHandleLast) Handle = LastHandle();
  TQxVObject* r = ObjectRecord(Handle);
  if (!r || Handle < 0 || !(r->Flags & qvoSelectable)) return;
  FSelection.push_back(Handle);
}

void TQuillotVect::SelectObject(int32_t Handle) {
  AddToSelection(Handle);
  if (OnSelectObject) OnSelectObject(this);
}

bool TQuillotVect::IsSelected(int32_t Handle) const {
  if (Handle == QxHandleLast) Handle = LastHandle();
  return std::find(FSelection.begin(), FSelection.end(), Handle) != FSelection.end();
}

void TQuillotVect::RemoveFromSelection(int32_t Handle) {
  if (Handle == QxHandleLast) Handle = LastHandle();
  auto it = std::find(FSelection.begin(), FSelection.end(), Handle);
  if (it == FSelection.end()) return;
  FSelection.erase(it);
  FSelection.shrink_to_fit();
  if (OnSelectObject) OnSelectObject(this);
}

void TQuillotVect::ClearSelection() {
  FSelection.clear();
  FSelection.shrink_to_fit();
  if (OnSelectObject) OnSelectObject(this);
}

void TQuillotVect::UnselectAll() {
  ClearSelection();
  SetPaintDirty();
}

// ---------------------------------------------------------------- per-object data

void TQuillotVect::SetObjUserData(int32_t Handle, void* Data) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  r->OwnedUserData.clear();
  r->UserData = Data;
  r->UserDataLength = 0;
  if (Handle != QxHandleTemplate) SetPaintDirty();
}

void TQuillotVect::SetObjUserDataLen(int32_t Handle, int32_t Length) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  // A length makes the record own a copy of the block, so that it can be stored and copied safely.
  if (Length > 0 && r->UserData) {
    const uint8_t* p = static_cast<const uint8_t*>(r->UserData);
    r->OwnedUserData.assign(p, p + Length);
    r->UserData = nullptr;
  } else if (Length <= 0) {
    r->OwnedUserData.clear();
  }
  r->UserDataLength = std::max(0, Length);
  if (Handle != QxHandleTemplate) SetPaintDirty();
}

void TQuillotVect::SetObjFont(int32_t Handle, const TFont& Font) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  r->Font = QxLogFontOf(Font);
  r->PenColor = Font.Color();
  if (Handle != QxHandleTemplate) SetPaintDirty();
}

TFontStyles TQuillotVect::ObjFontStyles(int32_t Handle) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r || !r->Font) return {};
  return QxLogFontStyles(*r->Font);
}

void TQuillotVect::SetObjText(int32_t Handle, const std::string& Text) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  r->Text = Text;
  if (r->Kind == TQxVObjectKind::qvkMemo) {
    // The editor keeps one format index per character.
    r->CharFormatIndexes.reset();
    r->CharFormats.reset();
  }
  if (Handle != QxHandleTemplate) SetPaintDirty();
}

// ---------------------------------------------------------------- shared bitmaps

TQxBitmap* TQuillotVect::SharedBitmap(int32_t Index) const {
  if (Index < 0 || Index >= int32_t(FBitmaps.size())) return nullptr;
  return FBitmaps[size_t(Index)].Bitmap.get();
}

int32_t TQuillotVect::SharedBitmapRefCount(int32_t Index) const {
  if (Index < 0 || Index >= int32_t(FBitmaps.size())) return 0;
  return FBitmaps[size_t(Index)].RefCount;
}

int32_t TQuillotVect::FindSharedBitmap(TQxBitmap* Bitmap) const {
  if (!Bitmap) return -1;
  for (int32_t i = int32_t(FBitmaps.size()) - 1; i >= 0; --i)
    if (FBitmaps[size_t(i)].Bitmap && QxBitmapsEqual(FBitmaps[size_t(i)].Bitmap.get(), Bitmap)) return i;
  return -1;
}

int32_t TQuillotVect::NewSharedBitmapSlot() {
  for (size_t i = 0; i < FBitmaps.size(); ++i)
    if (!FBitmaps[i].Bitmap && FBitmaps[i].RefCount == 0) return int32_t(i);
  FBitmaps.emplace_back();
  return int32_t(FBitmaps.size()) - 1;
}

void TQuillotVect::ReleaseSharedBitmap(int32_t Index) {
  if (Index < 0 || Index >= int32_t(FBitmaps.size())) return;
  TSlot& s = FBitmaps[size_t(Index)];
  if (s.RefCount <= 1) {
    s.Bitmap.reset();
    s.RefCount = 0;
  } else {
    --s.RefCount;
  }
}

void TQuillotVect::SetObjBitmapIndex(int32_t Handle, int32_t Index) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  const int32_t old = r->BitmapIndex;
  r->BitmapIndex = -1;
  if (Index < 0 || Index >= int32_t(FBitmaps.size()) || !FBitmaps[size_t(Index)].Bitmap) {
    ReleaseSharedBitmap(old);
    if (Handle != QxHandleTemplate) SetPaintDirty();
    return;
  }
  if (FShareBitmaps) {
    // Counted before the old reference goes, so that giving an object its own slot again keeps it.
    ++FBitmaps[size_t(Index)].RefCount;
    ReleaseSharedBitmap(old);
    ObjectRecord(Handle)->BitmapIndex = Index;
  } else {
    auto copy = std::make_unique<TQxBitmap>();
    copy->AssignFrom(FBitmaps[size_t(Index)].Bitmap.get());
    ReleaseSharedBitmap(old);
    const int32_t slot = NewSharedBitmapSlot();
    FBitmaps[size_t(slot)].Bitmap = std::move(copy);
    FBitmaps[size_t(slot)].RefCount = 1;
    ObjectRecord(Handle)->BitmapIndex = slot;
  }
  if (Handle != QxHandleTemplate) SetPaintDirty();
}

void TQuillotVect::SetObjBitmap(int32_t Handle, TQxBitmap* Bitmap) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  const int32_t old = r->BitmapIndex;
  r->BitmapIndex = -1;
  if (!Bitmap) {
    ReleaseSharedBitmap(old);
    if (Handle != QxHandleTemplate) SetPaintDirty();
    return;
  }
  int32_t slot = FShareBitmaps ? FindSharedBitmap(Bitmap) : -1;
  if (slot >= 0) {
    ++FBitmaps[size_t(slot)].RefCount;
    ReleaseSharedBitmap(old);
  } else {
    auto copy = std::make_unique<TQxBitmap>();
    copy->AssignFrom(Bitmap);
    ReleaseSharedBitmap(old);
    slot = NewSharedBitmapSlot();
    FBitmaps[size_t(slot)].Bitmap = std::move(copy);
    FBitmaps[size_t(slot)].RefCount = 1;
  }
  ObjectRecord(Handle)->BitmapIndex = slot;
  if (Handle != QxHandleTemplate) SetPaintDirty();
}

void TQuillotVect::SetObjBitmapFromIcon(int32_t Handle, int32_t IconId, int32_t Width, int32_t Height) {
  // The system's error icon, drawn here: a red disc with a white cross.
  (void)IconId;
  TQxBitmap b(std::max(1, Width), std::max(1, Height), TQxPixelFormat::qx24RGB);
  b.Fill(0xC0C0C0);
  TBitmap* tb = b.GetTBitmap();
  if (tb) {
    TCanvas* c = tb->Canvas();
    c->Brush()->SetColor(TColor(0xC0C0C0));
    c->FillRect(TRect(0, 0, Width, Height));
    c->Brush()->SetColor(TColor(0x0000E0));
    c->Pen()->SetColor(TColor(0x000080));
    c->Ellipse(Width / 8, Height / 8, Width - Width / 8, Height - Height / 8);
    c->Pen()->SetColor(clWhite);
    c->Pen()->SetWidth(std::max(1, Width / 12));
    c->MoveTo(Width * 3 / 8, Height * 3 / 8);
    c->LineTo(Width * 5 / 8, Height * 5 / 8);
    c->MoveTo(Width * 5 / 8, Height * 3 / 8);
    c->LineTo(Width * 3 / 8, Height * 5 / 8);
    b.SyncFromTBitmap();
  }
  SetObjBitmap(Handle, &b);
}

void TQuillotVect::PackSharedBitmaps() {
  std::vector<int32_t> map(FBitmaps.size(), -1);
  std::vector<TSlot> packed;
  for (size_t i = 0; i < FBitmaps.size(); ++i) {
    if (!FBitmaps[i].Bitmap) continue;
    map[i] = int32_t(packed.size());
    packed.push_back(std::move(FBitmaps[i]));
  }
  FBitmaps = std::move(packed);
  auto renumber = [&](TQxVObject& r) {
    if (r.BitmapIndex >= 0) r.BitmapIndex = r.BitmapIndex < int32_t(map.size()) ? map[size_t(r.BitmapIndex)] : -1;
  };
  renumber(FTemplate);
  for (auto& r : FObjects) renumber(r);
}

// ---------------------------------------------------------------- polylines

void TQuillotVect::ClearPolylinePoints(TQxVObject& Rec) {
  Rec.Points.clear();
  Rec.ScreenPoints.clear();
  Rec.PointBounds = TRect(0, 0, 0, 0);
}

void TQuillotVect::AddPolylinePoint(int32_t Handle, int32_t X, int32_t Y) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  if (!r->Points.empty() && r->Points.back().X == X && r->Points.back().Y == Y) return;
  if (r->Points.size() == r->Points.capacity()) r->Points.reserve(2 * (r->Points.size() + 1));
  r->Points.push_back(TPoint(X, Y));
  if (r->Points.size() == 1 && r->x1 > r->x2) {
    r->x1 = r->x2 = X;
    r->y1 = r->y2 = Y;
  } else {
    r->x1 = std::min(r->x1, X);
    r->y1 = std::min(r->y1, Y);
    r->x2 = std::max(r->x2, X);
    r->y2 = std::max(r->y2, Y);
  }
  r->PointBounds = TRect(r->x1, r->y1, r->x2, r->y2);
}

void TQuillotVect::PolylineScale(const TQxVObject& Rec, double& SX, double& SY) const {
  const int32_t w = Rec.PointBounds.Right - Rec.PointBounds.Left;
  const int32_t h = Rec.PointBounds.Bottom - Rec.PointBounds.Top;
  SX = w != 0 ? double(Rec.x2 - Rec.x1) / w : 1.0;
  SY = h != 0 ? double(Rec.y2 - Rec.y1) / h : 1.0;
}

void TQuillotVect::RefreshPolylineBounds(TQxVObject& Rec) {
  if (Rec.Points.empty()) return;
  double sx, sy;
  PolylineScale(Rec, sx, sy);
  TRect out(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN), raw = out;
  for (const TPoint& p : Rec.Points) {
    const int32_t x = Rec.x1 + int32_t(Round((p.X - Rec.PointBounds.Left) * sx));
    const int32_t y = Rec.y1 + int32_t(Round((p.Y - Rec.PointBounds.Top) * sy));
    out = TRect(std::min(out.Left, x), std::min(out.Top, y), std::max(out.Right, x), std::max(out.Bottom, y));
    raw = TRect(std::min(raw.Left, p.X), std::min(raw.Top, p.Y), std::max(raw.Right, p.X),
                std::max(raw.Bottom, p.Y));
  }
  Rec.x1 = out.Left, Rec.y1 = out.Top, Rec.x2 = out.Right, Rec.y2 = out.Bottom;
  Rec.PointBounds = raw;
}

// ---------------------------------------------------------------- hit tests

double TQuillotVect::BitmapObjectDistance(const TQxVObject& Rec, int32_t X, int32_t Y) {
  double d = QxDistanceToRectOutline(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2, true, Rec.PenWidth);
  if (d != 0 || !AlphaHitTest) return d;
  TQxBitmap* b = SharedBitmap(Rec.BitmapIndex);
  if (!b || !b->HasAlphaChannel() || b->Width() <= 0 || b->Height() <= 0) return d;
  const double fx = double(Rec.x2 - Rec.x1) / b->Width(), fy = double(Rec.y2 - Rec.y1) / b->Height();
  int32_t bx = fx != 0 ? int32_t(Round((X - Rec.x1) / fx)) : 0;
  int32_t by = fy != 0 ? int32_t(Round((Y - Rec.y1) / fy)) : 0;
  bx = QxClampInt(bx, 0, b->Width() - 1);
  by = QxClampInt(by, 0, b->Height() - 1);
  return b->GetAlpha(bx, by) != 0 ? 0 : 1000;
}

double TQuillotVect::ObjectDistance(const TQxVObject& Rec, int32_t X, int32_t Y) {
  switch (Rec.Kind) {
    case TQxVObjectKind::qvkLine:
    case TQxVObjectKind::qvkLabelledLine: {
      double d = QxDistanceToSegment(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2);
      if (Rec.PenWidth > 1) d = std::max(0.0, d - Rec.PenWidth / 2.0);
      if (Rec.Kind == TQxVObjectKind::qvkLabelledLine)
        d = std::min(d, QxDistanceToRectOutline(X, Y, Rec.LabelBox.Left, Rec.LabelBox.Top, Rec.LabelBox.Right,
                                                Rec.LabelBox.Bottom, true, 1));
      return d;
    }
    case TQxVObjectKind::qvkBox:
      return QxDistanceToRectOutline(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2,
                                     Rec.BrushStyle != TBrushStyle::bsClear || FillHitBoxes, Rec.PenWidth);
    case TQxVObjectKind::qvkEllipse:
      return QxDistanceToEllipseOutline(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2, Rec.BrushStyle != TBrushStyle::bsClear,
                                        Rec.PenWidth);
    case TQxVObjectKind::qvkArc:
      return QxDistanceToEllipseOutline(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2, false, Rec.PenWidth);
    case TQxVObjectKind::qvkBitmap:
      return BitmapObjectDistance(Rec, X, Y);
    case TQxVObjectKind::qvkText:
    case TQxVObjectKind::qvkMemo:
    case TQxVObjectKind::qvkCustom:
      return QxDistanceToRectOutline(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2, true, Rec.PenWidth);
    case TQxVObjectKind::qvkRuler:
      return QxDistanceToSegment(X, Y, Rec.x1, Rec.y1, Rec.x2, Rec.y2);
    case TQxVObjectKind::qvkPolyline: {
      if (Rec.Points.empty()) return 1e6;
      double sx, sy;
      PolylineScale(Rec, sx, sy);
      const int32_t n = int32_t(Rec.Points.size());
      if (Rec.Closed && Rec.BrushStyle != TBrushStyle::bsClear &&
          QxPointInScaledPolygon(X, Y, Rec.Points.data(), n, Rec.PointBounds.Left, Rec.PointBounds.Top, Rec.x1,
                                 Rec.y1, sx, sy))
        return 0;
      return QxDistanceToPolyline(X, Y, Rec.Points.data(), n, Rec.PointBounds.Left, Rec.PointBounds.Top, Rec.x1,
                                  Rec.y1, sx, sy, Rec.PenWidth, Rec.Closed);
    }
    case TQxVObjectKind::qvkAngle: {
      const int32_t n = AnglePointCount(Rec.AnglePoints);
      if (n == 0) return 1e6;
      if (n == 1) return QxDistance(X, Y, Rec.AnglePoints[0].X, Rec.AnglePoints[0].Y);
      return QxDistanceToPolyline(X, Y, Rec.AnglePoints, n, 0, 0, 0, 0, 1.0, 1.0, 1, false);
    }
    default:
      return -1;
  }
}

int32_t TQuillotVect::FindObjectAt(int32_t X, int32_t Y, bool SelectableOnly, double& Distance) {
  double best = 2147483647.0;
  int32_t result = QxHandleNone;
  // The part of the picture that shows, in bitmap pixels; 0 on the far edges means no limit.
  const int32_t vx1 = ViewOriginX(), vy1 = ViewOriginY();
  int32_t vx2 = vx1 + int32_t(std::trunc(VisibleWidth() * InvScaleX()));
  int32_t vy2 = vy1 + int32_t(std::trunc(VisibleHeight() * InvScaleY()));
  if (vx2 == 0 || VisibleWidth() == 0) vx2 = INT32_MAX;
  if (vy2 == 0 || VisibleHeight() == 0) vy2 = INT32_MAX;
  for (auto it = FOrder.rbegin(); it != FOrder.rend(); ++it) {
    const TQxVObject& r = FObjects[size_t(*it)];
    if (!(r.Flags & qvoVisible)) continue;
    if (SelectableOnly && !(r.Flags & qvoSelectable)) continue;
    if (!QxRectsOverlap(r.x1, r.y1, r.x2, r.y2, vx1, vy1, vx2, vy2)) continue;
    const double d = ObjectDistance(r, X, Y);
    if (d >= 0 && d < best) {
      best = d;
      result = *it;
    }
  }
  Distance = best;
  if (MaxHitDistance >= 0 && best > MaxHitDistance * InvScaleX()) result = QxHandleNone;
  return result;
}

int32_t TQuillotVect::ObjectAtClient(int32_t X, int32_t Y, double& Distance) {
  return FindObjectAt(ScreenToBitmapX(X), ScreenToBitmapY(Y), false, Distance);
}

void TQuillotVect::SelectObjectsInRect(int32_t Handle, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  auto test = [&](int32_t h) {
    const TQxVObject& r = FObjects[size_t(h)];
    int32_t a = r.x1, b = r.y1, c = r.x2, d = r.y2;
    QxOrderCorners(a, b, c, d);
    if (a >= X1 && c <= X2 && b >= Y1 && d <= Y2 && !IsSelected(h)) AddToSelection(h);
  };
  if (Handle == QxHandleNone) {
    for (int32_t h : FOrder) test(h);
  } else if (ObjectRecord(Handle) && Handle >= 0) {
    test(Handle);
  }
}

void TQuillotVect::SelectionBounds(TRect& Rect) {
  TQxBitmap* b = GetQxBitmap();
  Rect = TRect(b ? b->Width() : 0, b ? b->Height() : 0, 0, 0);
  for (int32_t h : FSelection) {
    const TQxVObject& r = FObjects[size_t(h)];
    Rect.Left = std::min({Rect.Left, r.x1, r.x2});
    Rect.Right = std::max({Rect.Right, r.x1, r.x2});
    Rect.Top = std::min({Rect.Top, r.y1, r.y2});
    Rect.Bottom = std::max({Rect.Bottom, r.y1, r.y2});
  }
}

void TQuillotVect::MoveObject(int32_t Handle, int32_t DX, int32_t DY) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r) return;
  r->x1 += DX, r->x2 += DX, r->y1 += DY, r->y2 += DY;
  if (r->Kind == TQxVObjectKind::qvkAngle)
    for (auto& p : r->AnglePoints)
      if (p.X != QxAngleUnset) p.X += DX, p.Y += DY;
}

// ---------------------------------------------------------------- copying

int32_t TQuillotVect::CopyObjectTo(int32_t Handle, TQuillotVect* Other) {
  TQxVObject* r = ObjectRecord(Handle);
  if (!r || !Other) return QxHandleNone;
  int32_t slot = -1;
  if (r->Kind == TQxVObjectKind::qvkBitmap || (r->Kind == TQxVObjectKind::qvkMemo && r->MemoBitmap)) {
    if (TQxBitmap* b = SharedBitmap(r->BitmapIndex)) {
      slot = Other->NewSharedBitmapSlot();
      Other->FBitmaps[size_t(slot)].Bitmap = std::make_unique<TQxBitmap>();
      Other->FBitmaps[size_t(slot)].Bitmap->AssignFrom(b);
      Other->FBitmaps[size_t(slot)].RefCount = 1;
    }
  }
  // The bitmap goes into the other view's table directly; the copy must not index this view's table.
  const int32_t saved = r->BitmapIndex;
  r->BitmapIndex = -1;
  const int32_t h = Other->AddObjectCopy(*r);
  r = ObjectRecord(Handle);
  r->BitmapIndex = saved;
  Other->FObjects[size_t(h)].BitmapIndex = slot;
  Other->SetPaintDirty();
  return h;
}

void TQuillotVect::CopyAllObjectsTo(TQuillotVect* Other) {
  if (!Other) return;
  const std::vector<int32_t> order = FOrder;
  for (int32_t h : order) CopyObjectTo(h, Other);
  Other->SetPaintDirty();
}
