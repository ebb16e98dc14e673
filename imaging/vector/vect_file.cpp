// The vector-objects stream ("QXV", versions '1' to 'R') and the image-plus-objects container, and their
// place in the I/O component's load dispatch and detection.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/services.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/zstreams.h"
#include "imaging/vector/vect.h"
#include "platform/base/codepage.h"
#include "platform/base/streams.h"

namespace {

constexpr char kFirstVersion = '1', kLastVersion = 'R';
constexpr int kMaxGroupDepth = 32;
// Inflated object data larger than this is taken for a damaged stream.
constexpr int64_t kMaxObjectData = int64_t(512) << 20;
// The smallest object record of any version (no handle, empty name): checked against what remains.
constexpr int64_t kMinRecordSize = 40;

struct EBadVect : std::runtime_error {
  EBadVect() : std::runtime_error("damaged vector-objects stream") {}
};

// ---- writing ----
void W8(TStream* S, uint8_t V) { S->WriteBuffer(&V, 1); }
void W32(TStream* S, int32_t V) { S->WriteBuffer(&V, 4); }
void WD(TStream* S, double V) { S->WriteBuffer(&V, 8); }
void WStr(TStream* S, const std::string& Raw) {
  W32(S, int32_t(Raw.size()));
  if (!Raw.empty()) S->WriteBuffer(Raw.data(), int64_t(Raw.size()));
}
void WFont(TStream* S, const std::optional<TQxLogFont>& F) {
  if (!F) {
    W8(S, 0);
    return;
  }
  W8(S, 1);
  uint8_t b[QxLogFontSize];
  QxLogFontToBytes(*F, b);
  S->WriteBuffer(b, QxLogFontSize);
}

}  // namespace

// ---- reading the inflated object data, every count checked against what is left ----
struct TQxVectReader {
  const uint8_t* P;
  int64_t N;
  int64_t Pos = 0;
  int64_t Left() const { return N - Pos; }
  void Need(int64_t C) const {
    if (C < 0 || C > Left()) throw EBadVect();
  }
  void Get(void* D, int64_t C) {
    Need(C);
    std::memcpy(D, P + Pos, size_t(C));
    Pos += C;
  }
  uint8_t U8() {
    uint8_t v;
    Get(&v, 1);
    return v;
  }
  bool B() { return U8() != 0; }
  int32_t I32() {
    int32_t v;
    Get(&v, 4);
    return v;
  }
  double D() {
    double v;
    Get(&v, 8);
    if (!std::isfinite(v)) v = 0;
    return v;
  }
  std::string Str() {
    const int32_t n = I32();
    Need(n);
    std::string s(reinterpret_cast<const char*>(P + Pos), size_t(n));
    Pos += n;
    return s;
  }
  std::optional<TQxLogFont> Font() {
    if (!B()) return std::nullopt;
    uint8_t b[QxLogFontSize];
    Get(b, QxLogFontSize);
    return QxLogFontFromBytes(b);
  }
};

namespace {
using TReader = TQxVectReader;

// A stream over a TReader's bytes, for custom objects that read their own data.
class TReaderStream : public TStream {
 public:
  explicit TReaderStream(TReader& R) : FR(R) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t c = std::max<int64_t>(0, std::min(Count, FR.Left()));
    if (c > 0) FR.Get(Buffer, c);
    return c;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    int64_t p = Origin == TSeekOrigin::soBeginning ? Offset : Origin == TSeekOrigin::soCurrent ? FR.Pos + Offset
                                                                                                : FR.N + Offset;
    FR.Pos = std::clamp<int64_t>(p, 0, FR.N);
    return FR.Pos;
  }

 private:
  TReader& FR;
};

// Inflates a whole zlib block; false unless it ends properly (checksum included) within the limit.
bool InflateAll(const uint8_t* In, size_t N, std::vector<uint8_t>& Out, int64_t Limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(In);
  z.avail_in = uInt(N);
  uint8_t buf[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    const size_t got = sizeof buf - z.avail_out;
    if (int64_t(Out.size() + got) > Limit) {
      rc = Z_DATA_ERROR;
      break;
    }
    Out.insert(Out.end(), buf, buf + got);
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

int32_t ReadI32(TStream* S) {
  int32_t v;
  if (S->Read(&v, 4) != 4) throw EBadVect();
  return v;
}

bool IsKindByte(uint8_t K) { return K <= uint8_t(TQxVObjectKind::qvkCustom); }

TBrushStyle BrushOf(uint8_t V) { return V <= uint8_t(TBrushStyle::bsDiagCross) ? TBrushStyle(V) : TBrushStyle::bsSolid; }
TPenStyle PenOf(uint8_t V) { return V <= uint8_t(TPenStyle::psAlternate) ? TPenStyle(V) : TPenStyle::psSolid; }

std::string TextToFile(const std::string& Utf8, const std::optional<TQxLogFont>& F) {
  return Utf8ToCodePage(Utf8, QxCodePageOfCharset(F ? F->CharSet : 0));
}
std::string TextFromFile(const std::string& Raw, const std::optional<TQxLogFont>& F) {
  return CodePageToUtf8(Raw, QxCodePageOfCharset(F ? F->CharSet : 0));
}

}  // namespace

// The parts of a view that a load replaces, kept aside so that a bad stream leaves the view as it was.
struct TQxVectSavedState {
  std::vector<TQxVObject> Objects;
  std::vector<int32_t> Order, Selection;
  double MeasureScale = 1;
};

// ---------------------------------------------------------------- writing

void TQuillotVect::WriteObjectRecord(TStream* S, int32_t Handle) {
  if (Handle == QxHandleNone) {
    for (int32_t h : FOrder) WriteObjectRecord(S, h);
    return;
  }
  TQxVObject* rp = ObjectRecord(Handle);
  if (!rp) return;
  const TQxVObject& r = *rp;
  const auto k = r.Kind;
  W32(S, Handle);
  W32(S, r.x1), W32(S, r.y1), W32(S, r.x2), W32(S, r.y2);
  W8(S, uint8_t(k));
  W8(S, r.KeepAspect);
  W8(S, r.BlendOperation);
  W8(S, r.SoftShadow.Enabled);
  WD(S, r.SoftShadow.Radius);
  W32(S, r.SoftShadow.OffsetX), W32(S, r.SoftShadow.OffsetY);
  W32(S, r.SoftShadow.Intensity);
  S->WriteBuffer(&r.SoftShadow.ShadowColor, 3);
  WStr(S, Utf8ToCodePage(r.Name.value_or(""), 1252));
  W32(S, r.Tag);
  W32(S, r.PenColor);
  W8(S, uint8_t(r.PenStyle));
  W32(S, r.PenWidth);
  W32(S, r.BrushColor);
  W8(S, uint8_t(r.BrushStyle));
  W8(S, r.Flags);
  W32(S, r.Transparency);
  W8(S, r.Highlight);
  W8(S, r.TextQuality);
  {
    const int32_t m = r.OwnedUserData.empty() ? 0 : int32_t(r.OwnedUserData.size());
    W32(S, m);
    if (m > 0) S->WriteBuffer(r.OwnedUserData.data(), m);
  }
  if (k == TQxVObjectKind::qvkLabelledLine) {
    W32(S, r.LabelColor);
    W8(S, uint8_t(r.LabelBrushStyle));
    W8(S, r.LabelAtEnd);
    W8(S, r.LabelFrame);
  }
  if (k == TQxVObjectKind::qvkLine || k == TQxVObjectKind::qvkLabelledLine) {
    W8(S, r.StartShape), W8(S, r.EndShape);
    W32(S, r.EndShapeWidth), W32(S, r.EndShapeLength);
  }
  if (k == TQxVObjectKind::qvkArc) WD(S, r.StartAngle), WD(S, r.EndAngle);
  if (k == TQxVObjectKind::qvkBitmap) {
    W32(S, r.BitmapIndex);
    W8(S, r.BitmapFrame);
    WStr(S, TextToFile(r.Text.value_or(""), r.Font));
  }
  if (k == TQxVObjectKind::qvkText || k == TQxVObjectKind::qvkLabelledLine || k == TQxVObjectKind::qvkCustom) {
    W8(S, r.TextAlign);
    W8(S, r.AutoSize);
    WStr(S, TextToFile(r.Text.value_or(""), r.Font));
    WFont(S, r.Font);
    W32(S, int32_t(r.TextPath.size()));
    if (!r.TextPath.empty()) {
      for (const auto& p : r.TextPath) WD(S, p.X), WD(S, p.Y);
      W32(S, r.CharAngle);
    }
  }
  if (k == TQxVObjectKind::qvkMemo) {
    // The memo's text is the editor's own 8-bit text.
    const std::string& t = r.Text ? *r.Text : std::string();
    WStr(S, t);
    WFont(S, r.Font);
    const bool hasIdx = r.CharFormatIndexes.has_value();
    W8(S, hasIdx);
    if (hasIdx)
      for (size_t i = 0; i < t.size(); ++i)
        W32(S, i < r.CharFormatIndexes->size() ? (*r.CharFormatIndexes)[i] : 0);
    const int32_t f = r.CharFormats ? int32_t(r.CharFormats->size()) : 0;
    W32(S, f);
    for (int32_t i = 0; i < f; ++i) S->WriteBuffer(&(*r.CharFormats)[size_t(i)], sizeof(TQxCharFormat));
    W8(S, r.UniformFormat);
    W8(S, r.AutoSize);
    W32(S, r.LineSpacing);
    W32(S, r.MemoFrameColor);
    W8(S, uint8_t(r.MemoFrameStyle));
    W8(S, r.TextAlign);
    W32(S, r.FixedCharHeight);
    W8(S, r.MemoBitmap);
    if (r.MemoBitmap) {
      W32(S, r.BitmapIndex);
      W8(S, r.BitmapFrame);
    }
    for (double m : r.MemoMargins) WD(S, m);
    W8(S, uint8_t(r.CharBackStyle));
  }
  W8(S, r.Editable);
  if (k == TQxVObjectKind::qvkRuler) {
    W8(S, uint8_t(r.RulerUnit));
    W8(S, r.RulerStyle);
    WFont(S, r.Font);
  }
  if (k == TQxVObjectKind::qvkPolyline) {
    W32(S, int32_t(r.Points.size()));
    for (const auto& p : r.Points) W32(S, p.X), W32(S, p.Y);
    W32(S, r.PointBounds.Left), W32(S, r.PointBounds.Top), W32(S, r.PointBounds.Right),
        W32(S, r.PointBounds.Bottom);
    W8(S, r.Closed);
  }
  if (k == TQxVObjectKind::qvkAngle) {
    for (const auto& p : r.AnglePoints) W32(S, p.X), W32(S, p.Y);
    WFont(S, r.Font);
  }
  if (k == TQxVObjectKind::qvkCustom) {
    const std::string name = r.Custom ? QxCustomObjectClassName(*r.Custom) : std::string();
    W8(S, !name.empty());
    if (!name.empty()) {
      WStr(S, name);
      r.Custom->SaveToStream(*S);
    }
  }
}

void TQuillotVect::SaveObjectsToStream(TStream* S) {
  PackSharedBitmaps();
  const int64_t start = S->Position();
  S->WriteBuffer("QXV", 3);
  W8(S, uint8_t(kLastVersion));
  W32(S, 0);
  WD(S, MeasureScale);
  W32(S, int32_t(FBitmaps.size()));
  for (int32_t i = 0; i < int32_t(FBitmaps.size()); ++i) {
    int32_t c = FBitmaps[size_t(i)].RefCount;
    if (FTemplate.BitmapIndex == i) --c;  // the template is not saved
    TQxBitmap* b = FBitmaps[size_t(i)].Bitmap.get();
    // A picture that could not be read stays empty; it is stored as no picture at all.
    if (!b || b->Width() <= 0 || b->Height() <= 0) c = std::min(c, 0);
    W32(S, c);
    if (c > 0) {
      TQuillotIO io(b);
      io.SavePngStream(*S);
    }
  }
  {
    TZCompressionStream z(*S, 2);
    W32(&z, int32_t(FOrder.size()));
    WriteObjectRecord(&z, QxHandleNone);
    z.Finish();
  }
  const int64_t end = S->Position();
  S->SetPosition(start + 4);
  W32(S, int32_t(end - start));
  S->SetPosition(end);
}

// ---------------------------------------------------------------- reading

void TQuillotVect::ReadRecordInto(TQxVectReader& R, char v, bool WithBitmaps, int Depth) {
  TQxVObject o;
  if (v >= '<') R.I32();
  o.x1 = R.I32(), o.y1 = R.I32(), o.x2 = R.I32(), o.y2 = R.I32();
  const uint8_t kb = R.U8();
  if (!IsKindByte(kb)) throw EBadVect();
  o.Kind = TQxVObjectKind(kb);
  const auto k = o.Kind;
  o.KeepAspect = v >= 'M' ? R.B() : false;
  o.BlendOperation = v >= 'R' ? R.U8() : 0;
  if (v <= '<') {
    o.SoftShadow = TQxVSoftShadow{};
    o.SoftShadow.OffsetX = o.SoftShadow.OffsetY = 2;
  } else {
    o.SoftShadow.Enabled = R.B();
    o.SoftShadow.Radius = R.D();
    o.SoftShadow.OffsetX = R.I32();
    o.SoftShadow.OffsetY = R.I32();
    if (v >= 'O') {
      o.SoftShadow.Intensity = R.I32();
      R.Get(&o.SoftShadow.ShadowColor, 3);
    }
  }
  o.Name = CodePageToUtf8(R.Str(), 1252);
  o.Tag = R.I32();
  o.PenColor = R.I32();
  o.PenStyle = PenOf(R.U8());
  o.PenWidth = R.I32();
  o.BrushColor = R.I32();
  o.BrushStyle = BrushOf(R.U8());
  o.Flags = R.U8();
  o.Transparency = v >= '=' ? R.I32() : 255;
  o.Highlight = v >= '@' ? R.B() : false;
  o.TextQuality = v >= 'Q' ? R.U8() : 0;
  std::vector<uint8_t> user;
  if (v >= 'I') {
    const int32_t m = R.I32();
    R.Need(m);
    user.assign(R.P + R.Pos, R.P + R.Pos + m);
    R.Pos += m;
  }
  int32_t groupCount = 0;
  if (k == TQxVObjectKind::qvkNone) {
    groupCount = R.I32();
    if (groupCount < 0 || groupCount > R.Left() / kMinRecordSize || Depth >= kMaxGroupDepth) throw EBadVect();
  }
  if (k == TQxVObjectKind::qvkLabelledLine) {
    o.LabelColor = R.I32();
    o.LabelBrushStyle = BrushOf(R.U8());
    o.LabelAtEnd = R.U8();
    if (v >= 'P') o.LabelFrame = R.U8();
  }
  if (k == TQxVObjectKind::qvkLine || k == TQxVObjectKind::qvkLabelledLine) {
    o.StartShape = R.U8(), o.EndShape = R.U8();
    o.EndShapeWidth = R.I32(), o.EndShapeLength = R.I32();
  }
  if (k == TQxVObjectKind::qvkArc) o.StartAngle = R.D(), o.EndAngle = R.D();
  int32_t bitmapIndex = -1;
  std::string rawText;
  bool haveText = false;
  if (k == TQxVObjectKind::qvkBitmap) {
    bitmapIndex = R.I32();
    if (v >= 'B') o.BitmapFrame = R.B();
    if (v >= 'F') rawText = R.Str(), haveText = true;
  }
  if (k == TQxVObjectKind::qvkText || k == TQxVObjectKind::qvkLabelledLine || k == TQxVObjectKind::qvkCustom) {
    if (v >= '4') o.TextAlign = R.U8();
    if (v >= '9') o.AutoSize = R.B();
    rawText = R.Str(), haveText = true;
    o.Font = R.Font();
    o.CharAngle = -10;
    if (v >= '?') {
      const int32_t c = R.I32();
      if (c < 0 || c > R.Left() / 16) throw EBadVect();
      if (c > 0) {
        o.TextPath.resize(size_t(c));
        for (auto& p : o.TextPath) p.X = R.D(), p.Y = R.D();
        o.CharAngle = R.I32();
      }
    }
  }
  if (haveText) o.Text = TextFromFile(rawText, o.Font);
  if (k == TQxVObjectKind::qvkMemo) {
    o.Text = R.Str();
    o.Font = R.Font();
    const bool hasIdx = v < 'C' ? true : R.B();
    if (hasIdx) {
      const int64_t n = int64_t(o.Text->size());
      R.Need(n * 4);
      std::vector<int32_t> idx{}; idx.resize(size_t(n));
      for (auto& i : idx) i = R.I32();
      o.CharFormatIndexes = std::move(idx);
    }
    const int32_t f = R.I32();
    if (f < 0 || f > R.Left() / int64_t(sizeof(TQxCharFormat))) throw EBadVect();
    std::vector<TQxCharFormat> fmts{}; fmts.resize(size_t(f));
    for (auto& fm : fmts) R.Get(&fm, sizeof(TQxCharFormat));
    // Indexes that point past the list would make the editor read outside it.
    if (o.CharFormatIndexes)
      for (int32_t& i : *o.CharFormatIndexes)
        if (i < 0 || i >= f) {
          if (f == 0) throw EBadVect();
          i = 0;
        }
    if (hasIdx || f > 0) o.CharFormats = std::move(fmts);
    o.UniformFormat = R.B();
    o.AutoSize = R.B();
    o.LineSpacing = R.I32();
    o.MemoFrameColor = R.I32();
    o.MemoFrameStyle = PenOf(R.U8());
    o.TextAlign = R.U8();
    o.FixedCharHeight = R.I32();
    if (v >= 'I') {
      o.MemoBitmap = R.B();
      if (o.MemoBitmap) {
        bitmapIndex = R.I32();
        if (v >= 'B') o.BitmapFrame = R.B();
      }
    }
    if (v >= 'H')
      for (double& m : o.MemoMargins) m = R.D();
    o.CharBackStyle = v >= 'L' ? BrushOf(R.U8()) : TBrushStyle(0);
  }
  o.Editable = v >= 'J' ? R.B() : true;
  auto fallbackFont = [&](int32_t Height) {
    TQxLogFont f = FTemplate.Font.value_or(TQxLogFont{});
    f.Height = Height;
    f.FaceName = "Arial";
    return f;
  };
  if (k == TQxVObjectKind::qvkRuler) {
    if (v >= '5') {
      const uint8_t u = R.U8();
      o.RulerUnit = u < QxUnitCount ? TQxUnits(u) : TQxUnits::qxuPIXELS;
      o.RulerStyle = R.U8();
      if (v >= 'A') o.Font = R.Font();
    } else {
      o.RulerUnit = FMUnit;
      o.RulerStyle = 2;
    }
    if (!o.Font) o.Font = fallbackFont(12);
  }
  if (k == TQxVObjectKind::qvkPolyline) {
    if (v >= '8') {
      const int32_t p = R.I32();
      if (p < 0 || p > R.Left() / 8) throw EBadVect();
      o.Points.resize(size_t(p));
      for (auto& pt : o.Points) pt.X = R.I32(), pt.Y = R.I32();
      o.PointBounds.Left = R.I32(), o.PointBounds.Top = R.I32(), o.PointBounds.Right = R.I32(),
      o.PointBounds.Bottom = R.I32();
      o.Closed = v >= ';' ? R.B() : false;
    }
  }
  if (k == TQxVObjectKind::qvkAngle) {
    if (v >= ':')
      for (auto& p : o.AnglePoints) p.X = R.I32(), p.Y = R.I32();
    if (v >= 'K') o.Font = R.Font();
    if (!o.Font) o.Font = fallbackFont(10);
  }
  if (k == TQxVObjectKind::qvkCustom && v >= 'N') {
    if (R.B()) {
      const std::string name = R.Str();
      auto inst = QxCreateCustomObject(name);
      // Without its class the instance's data cannot be skipped: the stream cannot be read further.
      if (!inst) throw EBadVect();
      inst->Owner = this;
      inst->Created();
      TReaderStream rs(R);
      if (!inst->LoadFromStream(rs)) throw EBadVect();
      o.Custom = std::move(inst);
    }
  }
  if (k == TQxVObjectKind::qvkNone) {
    for (int32_t i = 0; i < groupCount; ++i) ReadRecordInto(R, v, WithBitmaps, Depth + 1);
    return;
  }
  // The bitmap index is given after the copy, so the slot counts one reference per object using it.
  const int32_t h = AddObjectCopy(o);
  TQxVObject& n = FObjects[size_t(h)];
  n.OwnedUserData = std::move(user);
  n.UserDataLength = int32_t(n.OwnedUserData.size());
  if (WithBitmaps && (k == TQxVObjectKind::qvkBitmap || (k == TQxVObjectKind::qvkMemo && n.MemoBitmap)) &&
      bitmapIndex >= 0 && bitmapIndex < int32_t(FBitmaps.size()) && FBitmaps[size_t(bitmapIndex)].Bitmap) {
    n.BitmapIndex = bitmapIndex;
    ++FBitmaps[size_t(bitmapIndex)].RefCount;
  }
}

int32_t TQuillotVect::ReadObjectRecord(TStream* Stream, char Version, bool WithBitmaps) {
  // Reads one record from a stream holding object records (for instance the inflated object data).
  const int64_t pos = Stream->Position();
  const int64_t size = Stream->Size();
  if (size - pos <= 0) return QxHandleNone2;
  std::vector<uint8_t> buf(size_t(size - pos));
  Stream->ReadBuffer(buf.data(), int64_t(buf.size()));
  TReader r{buf.data(), int64_t(buf.size())};
  const size_t before = FObjects.size();
  try {
    ReadRecordInto(r, Version, WithBitmaps, 0);
  } catch (...) {
    Stream->SetPosition(pos);
    throw;
  }
  Stream->SetPosition(pos + r.Pos);
  return FObjects.size() > before ? int32_t(FObjects.size()) - 1 : QxHandleNone2;
}

bool TQuillotVect::IsVectObjectsStream(TStream* Stream) {
  if (!Stream) return false;
  const int64_t p = Stream->Position();
  char h[4];
  bool ok = false;
  try {
    ok = Stream->Read(h, 4) == 4 && std::memcmp(h, "QXV", 3) == 0 && h[3] > '0' && h[3] <= kLastVersion;
  } catch (...) {
    ok = false;
  }
  Stream->SetPosition(p);
  return ok;
}

bool TQuillotVect::LoadObjectsFromStream(TStream* S) {
  if (!S) return false;
  char h[4];
  if (S->Read(h, 4) != 4 || std::memcmp(h, "QXV", 3) != 0 || h[3] < kFirstVersion || h[3] > kLastVersion)
    return false;
  const char v = h[3];
  const int64_t start = S->Position() - 4;
  const int64_t streamSize = S->Size();

  CancelInteraction();
  // Everything that a load replaces is set aside and put back when the stream turns out to be bad.
  TQxVectSavedState saved;
  saved.Objects.swap(FObjects);
  saved.Order.swap(FOrder);
  saved.Selection.swap(FSelection);
  saved.MeasureScale = MeasureScale;
  std::vector<TSlot> savedBitmaps;
  savedBitmaps.swap(FBitmaps);
  const int32_t savedTemplateIndex = FTemplate.BitmapIndex;
  FTemplate.BitmapIndex = -1;
  const bool savedShare = FShareBitmaps;
  FShareBitmaps = true;

  bool ok = false;
  try {
    const int32_t total = ReadI32(S);
    if (total < 8 || start + total > streamSize) throw EBadVect();
    const int64_t end = start + total;
    if (v == '1') {
      MeasureScale = double(ReadI32(S));
    } else {
      double d;
      if (S->Read(&d, 8) != 8) throw EBadVect();
      MeasureScale = std::isfinite(d) ? d : 1.0;
    }
    const int32_t slots = ReadI32(S);
    if (slots < 0 || slots > (end - S->Position()) / 4) throw EBadVect();
    FBitmaps.resize(size_t(slots));
    for (int32_t i = 0; i < slots; ++i) {
      const int32_t c = ReadI32(S);
      if (c <= 0) continue;
      auto b = std::make_unique<TQxBitmap>();
      {
        TQuillotIO io(b.get());
        if (v > '2')
          io.LoadPngStream(*S);
        else
          io.LoadBmpStream(*S);
        if (io.Aborting) b->FreeImage(true);
      }
      if (S->Position() > end) throw EBadVect();
      if (v >= '7' && v <= '<') {
        const int32_t L = ReadI32(S);
        if (L < 0 || L > end - S->Position()) throw EBadVect();
        std::vector<uint8_t> packed{};
        packed.resize(size_t(L));
        if (L > 0) S->ReadBuffer(packed.data(), L);
        if (b->Width() > 0 && b->Height() > 0) {
          TQxBitmap* a = b->GetAlphaChannel();
          const int64_t rl = a->RowLen();
          std::vector<uint8_t> rows;
          if (!InflateAll(packed.data(), packed.size(), rows, rl * a->Height()) ||
              int64_t(rows.size()) < rl * a->Height())
            throw EBadVect();
          for (int32_t y = a->Height() - 1, k = 0; y >= 0; --y, ++k)
            std::memcpy(a->Scanline(y), rows.data() + int64_t(k) * rl, size_t(rl));
        }
      }
      FBitmaps[size_t(i)].Bitmap = std::move(b);
    }
    // The objects: inflated at once (bounded), then read with every count checked against what is left.
    const int64_t packedLen = end - S->Position();
    if (packedLen < 0) throw EBadVect();
    std::vector<uint8_t> packed{};
    packed.resize(size_t(packedLen));
    if (packedLen > 0) S->ReadBuffer(packed.data(), packedLen);
    std::vector<uint8_t> data;
    if (!InflateAll(packed.data(), packed.size(), data, kMaxObjectData)) throw EBadVect();
    TReader r{data.data(), int64_t(data.size())};
    const int32_t count = r.I32();
    if (count < 0 || count > r.Left() / kMinRecordSize) throw EBadVect();
    for (int32_t i = 0; i < count; ++i) ReadRecordInto(r, v, true, 0);
    // Slots no object uses are of no further use.
    for (auto& s : FBitmaps)
      if (s.RefCount == 0) s.Bitmap.reset();
    S->SetPosition(end);
    ok = true;
  } catch (...) {
    ok = false;
  }
  FShareBitmaps = savedShare;
  if (!ok) {
    FObjects.swap(saved.Objects);
    FOrder.swap(saved.Order);
    FSelection.swap(saved.Selection);
    FBitmaps.swap(savedBitmaps);
    MeasureScale = saved.MeasureScale;
    FTemplate.BitmapIndex = savedTemplateIndex;
    return false;
  }
  // The template keeps its bitmap: it goes into a slot of the new table.
  if (savedTemplateIndex >= 0 && savedTemplateIndex < int32_t(savedBitmaps.size()) &&
      savedBitmaps[size_t(savedTemplateIndex)].Bitmap) {
    const int32_t slot = NewSharedBitmapSlot();
    FBitmaps[size_t(slot)].Bitmap = std::move(savedBitmaps[size_t(savedTemplateIndex)].Bitmap);
    FBitmaps[size_t(slot)].RefCount = 1;
    FTemplate.BitmapIndex = slot;
  }
  FSelection.clear();
  RecomputeUnitScales();
  // The old objects are gone now: as after ClearAllObjects.
  DoVectorialChanged();
  UpdateView();
  return true;
}

bool TQuillotVect::LoadObjectsFromFile(const std::string& FileName) {
  if (FileName.empty()) return false;
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadObjectsFromStream(&f);
  } catch (const Exception&) {
    return false;
  }
}

void TQuillotVect::ObjectsExtent(TRect& Rect) {
  int32_t r = 0, b = 0;
  bool any = false;
  for (int32_t h : FOrder) {
    const TQxVObject& o = FObjects[size_t(h)];
    r = any ? std::max({r, o.x1, o.x2}) : std::max(o.x1, o.x2);
    b = any ? std::max({b, o.y1, o.y2}) : std::max(o.y1, o.y2);
    any = true;
  }
  Rect = any ? TRect(0, 0, r + 1, b + 1) : TRect(0, 0, 0, 0);
}

// ---------------------------------------------------------------- the container

void TQuillotVect::SaveAllToStream(TStream* S, int32_t LayersCompression) {
  const int64_t start = S->Position();
  W32(S, 0);
  SaveLayersToStream(S, LayersCompression);
  const int64_t p = S->Position();
  S->SetPosition(start);
  W32(S, int32_t(p));
  S->SetPosition(p);
  SaveObjectsToStream(S);
}

bool TQuillotVect::IsVectAllStream(TStream* S) {
  if (!S) return false;
  const int64_t p = S->Position();
  bool ok = false;
  try {
    int32_t off;
    if (S->Read(&off, 4) == 4 && off >= 4 && off <= S->Size() && QxIsLayersStream(S)) {
      S->SetPosition(off);
      ok = IsVectObjectsStream(S);
    }
  } catch (...) {
    ok = false;
  }
  S->SetPosition(p);
  return ok;
}

bool TQuillotVect::LoadAllFromStream(TStream* S) {
  if (!S) return false;
  const int64_t p = S->Position();
  int32_t off;
  if (S->Read(&off, 4) != 4 || off < p + 4 || off > S->Size()) {
    S->SetPosition(p);
    return false;
  }
  // The objects are checked first, so that a bad objects part leaves the layers alone too.
  if (!QxIsLayersStream(S)) return false;
  {
    S->SetPosition(off);
    if (!IsVectObjectsStream(S)) {
      S->SetPosition(p);
      return false;
    }
  }
  // All or nothing: the layers as they were come back when either part turns out bad further in.
  TMemoryStream before;
  SaveLayersToStream(&before, -2);
  auto restore = [&] {
    before.SetPosition(0);
    try {
      LoadLayersFromStream(&before);
    } catch (const Exception&) {
    }
    S->SetPosition(p);
    return false;
  };
  S->SetPosition(p + 4);
  bool layers = false;
  try {
    layers = LoadLayersFromStream(S);
  } catch (const Exception&) {
    layers = false;
  }
  if (!layers) return restore();
  S->SetPosition(off);
  if (!LoadObjectsFromStream(S)) return restore();
  return true;
}

bool TQuillotVect::LoadAllFromFile(const std::string& FileName) {
  if (FileName.empty()) return false;
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadAllFromStream(&f);
  } catch (const Exception&) {
    return false;
  }
}

void TQuillotVect::ProcLoadObjects(TStream* Stream) {
  Stream->SetPosition(0);
  LoadObjectsFromStream(Stream);
}

void TQuillotVect::ProcLoadAll(TStream* Stream) {
  Stream->SetPosition(0);
  LoadAllFromStream(Stream);
}

// ---------------------------------------------------------------- the I/O component's side

namespace {

bool ProbeObjects(TStream* S) { return TQuillotVect::IsVectObjectsStream(S); }
bool ProbeAll(TStream* S) { return TQuillotVect::IsVectAllStream(S); }

// Objects shown over a transparent picture of their extent.
void SizeToObjects(TQuillotVect& V) {
  TRect e;
  V.ObjectsExtent(e);
  TQxBitmap* b = V.GetQxBitmap();
  if (!b) return;
  b->Allocate(std::max(1, e.Right), std::max(1, e.Bottom), TQxPixelFormat::qx24RGB);
  b->Fill(double(V.Background() & 0xFFFFFF));
  b->GetAlphaChannel()->Fill(0);
}

int32_t LoadThroughIO(TQuillotIO& IO, TStream& Stream, bool All) {
  const bool wasAttached = dynamic_cast<TQuillotVect*>(IO.AttachedQuillot()) != nullptr;
  auto fail = [&] {
    IO.Aborting = true;
    IO.Params->ReadError = All ? "Not a valid layers-and-objects file" : "Not a valid vector-objects file";
    IO.DoFinishWork();
    return 0;
  };
  if (auto* v = dynamic_cast<TQuillotVect*>(IO.AttachedQuillot())) {
    if (All) {
      if (!v->LoadAllFromStream(&Stream)) return fail();
    } else {
      if (!v->LoadObjectsFromStream(&Stream)) return fail();
      SizeToObjects(*v);
      v->UpdateView();
    }
    IO.DoFinishWork();
    return 1;
  }
  (void)wasAttached;
  if (!IO.WorkBitmap()) return fail();
  TQuillotVect tmp(nullptr);
  if (All) {
    if (!tmp.LoadAllFromStream(&Stream)) return fail();
    tmp.MergeAllLayers();
  } else {
    if (!tmp.LoadObjectsFromStream(&Stream)) return fail();
    SizeToObjects(tmp);
  }
  tmp.DrawObjectsIntoImage(true);
  IO.WorkBitmap()->AssignFrom(tmp.GetQxBitmap());
  IO.DoFinishWork();
  return 1;
}

struct TFileHooks {
  TFileHooks() {
    QxCodecServices.IsVectObjectsStream = &ProbeObjects;
    QxCodecServices.IsVectAllStream = &ProbeAll;
    QxIOFormatHandler(qxffVect).LoadStream = [](TQuillotIO& IO, TStream& S) { return LoadThroughIO(IO, S, false); };
    QxIOFormatHandler(qxffLayersAndObjects).LoadStream = [](TQuillotIO& IO, TStream& S) {
      return LoadThroughIO(IO, S, true);
    };
  }
};

}  // namespace

void QxVectInstallFileHooks() { static TFileHooks hooks; }
