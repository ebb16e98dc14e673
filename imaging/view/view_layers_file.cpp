// The layers file: every layer of a view with its properties and pixels.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/services.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/zstreams.h"
#include "imaging/view/view.h"
#include "imaging/view/view_internal.h"
#include "platform/base/streams.h"
#include "platform/base/system.h"

namespace {

constexpr char kMagic[13] = {'Q', 'U', 'I', 'L', 'L', 'O', 'T', 'L', 'A', 'Y', 'E', 'R', 'S'};
constexpr int32_t kVersion = 6;
constexpr int32_t kHeaderSize = 25;


// Inflates a raw layer bitmap from Packed into Plain, never past the length its header states; false when
// the header is no raw bitmap or states more than MaxPixels pixels.
bool InflateRawBitmap(TStream& Packed, TMemoryStream& Plain, int64_t MaxPixels) {
  TZDecompressionStream z(Packed);
  std::vector<uint8_t> chunk(1 << 16);
  int64_t want = 0, pixels = -1;
  do {
    want = TQxBitmap::RawStreamLength(static_cast<const uint8_t*>(Plain.Memory()), Plain.Size(), pixels);
    if (want < 0 || pixels > MaxPixels) return false;
    while (Plain.Size() < want) {
      const int64_t got = z.Read(chunk.data(), std::min<int64_t>(int64_t(chunk.size()), want - Plain.Size()));
      if (got <= 0) return true;  // short: the raw reader refuses it
      Plain.WriteBuffer(chunk.data(), got);
    }
  } while (pixels < 0);
  return true;
}

// Reads of a record leave the field as it was when the stream ends early; Ok turns false then.
struct RecordReader {
  TStream* S;
  bool Ok = true;
  template <typename T>
  void Get(T& Field) {
    T v;
    if (Ok && S->Read(&v, sizeof(T)) == int64_t(sizeof(T)))
      Field = v;
    else
      Ok = false;
  }
  void GetBool(bool& Field) {
    uint8_t v = Field ? 1 : 0;
    Get(v);
    Field = v != 0;
  }
  int64_t Left() { return S->Size() - S->Position(); }
};

}  // namespace

bool QxIsLayersStream(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->Position();
  uint8_t h[kHeaderSize];
  const bool whole = Stream->Read(h, kHeaderSize) == kHeaderSize;
  Stream->SetPosition(pos);
  if (!whole || std::memcmp(h, kMagic, sizeof(kMagic)) != 0) return false;
  int32_t version;
  std::memcpy(&version, h + 13, 4);
  return version > 0;
}

void TQuillotView::SaveLayersToStream(TStream* Stream, int32_t Compression) {
  const int32_t savedCurrent = FCurrentLayerIndex;
  const bool savedRespect = RespectSelectable;
  RespectSelectable = false;
  struct Restore {
    TQuillotView* V;
    int32_t Current;
    bool Respect;
    ~Restore() {
      try {
        V->SetCurrentLayer(Current);
      } catch (...) {
      }
      V->RespectSelectable = Respect;
    }
  } restore{this, savedCurrent, savedRespect};

  // TIFF would keep only what its writer supports of a layer; PNG keeps colour and alpha.
  if (Compression == qxffTIFF) Compression = qxffPNG;
  Stream->WriteBuffer(kMagic, sizeof(kMagic));
  QxViewPut<int32_t>(Stream, kVersion);
  QxViewPut<int32_t>(Stream, Compression);
  QxViewPut<int32_t>(Stream, LayerCount());

  std::vector<int64_t> offsetFields;
  for (int32_t i = 0; i < LayerCount(); ++i) {
    const TQxLayer* L = FLayers[size_t(i)];
    QxViewPutBool(Stream, L->Visible);
    QxViewPutBool(Stream, L->ShowBox);
    QxViewPut<int32_t>(Stream, L->Opacity);
    QxViewPut<int32_t>(Stream, L->PosX);
    QxViewPut<int32_t>(Stream, L->PosY);
    QxViewPutBool(Stream, L->ClipToBase);
    QxViewPutBool(Stream, L->Locked);
    QxViewPut<uint8_t>(Stream, L->Aux.Flag);
    QxViewPut<double>(Stream, L->Aux.Rate);
    QxViewPut<uint8_t>(Stream, L->Aux.Style);
    QxViewPut<uint8_t>(Stream, L->Aux.Source);
    QxViewPut<uint8_t>(Stream, L->BlendOperation);
    QxViewPut<int32_t>(Stream, L->Width);
    QxViewPut<int32_t>(Stream, L->Height);
    QxViewPut<uint8_t>(Stream, uint8_t(L->ResampleFilter));
    QxViewPutBool(Stream, L->UseResampleFilter);
    QxViewPut<int32_t>(Stream, int32_t(L->Name.size()));
    if (!L->Name.empty()) Stream->WriteBuffer(L->Name.data(), int64_t(L->Name.size()));
    const int32_t u = L->UserData ? std::max(L->UserDataLen, 0) : 0;
    QxViewPut<int32_t>(Stream, u);
    if (u > 0) Stream->WriteBuffer(L->UserData, u);
    QxViewPutBool(Stream, L->IsMask);
    QxViewPutBool(Stream, L->Selectable);
    QxViewPutBool(Stream, L->DimOutside);
    offsetFields.push_back(Stream->Position());
    QxViewPut<int64_t>(Stream, 0);  // patched when the bitmap's place is known
  }

  for (int32_t i = 0; i < LayerCount(); ++i) {
    const int64_t at = Stream->Position();
    Stream->SetPosition(offsetFields[size_t(i)]);
    QxViewPut<int64_t>(Stream, at);
    Stream->SetPosition(at);
    SetCurrentLayer(i);
    TQxBitmap* B = CurrentBitmap();
    if (Compression == -1 || Compression == -2) {
      TMemoryStream tmp;
      int64_t guess = int64_t(B->Height()) * B->RowLen() / 2;
      if (B->HasAlphaChannel()) guess += int64_t(B->GetAlphaChannel()->Height()) * B->GetAlphaChannel()->RowLen();
      try {
        if (guess > 0 && guess < PhysicalMemory(true)) tmp.SetSize(guess);
      } catch (...) {
      }
      tmp.SetPosition(0);
      if (Compression == -1) {
        TZCompressionStream z(tmp, 2);
        B->SaveRawToStream(&z);
        z.Finish();
      } else {
        B->SaveRawToStream(&tmp);
      }
      const int64_t used = tmp.Position();
      QxViewPut<int32_t>(Stream, int32_t(used));
      if (used > 0) Stream->WriteBuffer(tmp.Memory(), used);
    } else {
      TQuillotIO* io = GetIO();
      TIOParamsVals& p = *io->Params;
      if (B->PixelFormat() == TQxPixelFormat::qx1g) {
        p.BitsPerSample = 1;
        p.SamplesPerPixel = 1;
      } else if (B->PixelFormat() == TQxPixelFormat::qx8g) {
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 1;
        p.JpegColorSpace = 1;
      } else {
        p.BitsPerSample = 8;
        p.SamplesPerPixel = 3;
        p.JpegColorSpace = 2;
      }
      io->SaveToStream(*Stream, Compression);
    }
    Stream->Seek(0, TSeekOrigin::soEnd);
  }
}

bool TQuillotView::LoadLayersFromStream(TStream* Stream) {
  // A layer bitmap stored in a format the I/O component detects as a layers file would load a layers
  // file inside this one, and so on without end: a view loads one layers file at a time.
  if (FLoadingLayers) return false;
  FLoadingLayers = true;
  struct Done {
    bool& Flag;
    ~Done() { Flag = false; }
  } done{FLoadingLayers};
  uint8_t h[kHeaderSize];
  if (!Stream || Stream->Read(h, kHeaderSize) != kHeaderSize || std::memcmp(h, kMagic, sizeof(kMagic)) != 0)
    return false;
  int32_t version, compression, count;
  std::memcpy(&version, h + 13, 4);
  std::memcpy(&compression, h + 17, 4);
  std::memcpy(&count, h + 21, 4);
  bool result = false;
  if (version >= 1) {
    for (int32_t i = LayerCount() - 1; i >= 1; --i) RemoveLayer(i);
    RecordReader r{Stream};
    for (int32_t k = 0; k < count; ++k) {
      // A count larger than the data adds no layers past the stream's end.
      if (k > 0 && r.Left() <= 0) break;
      if (k > 0) AddLayer();
      TQxLayer* L = FLayers[size_t(k)];
      r.GetBool(L->Visible);
      r.GetBool(L->ShowBox);
      r.Get(L->Opacity);
      r.Get(L->PosX);
      r.Get(L->PosY);
      r.GetBool(L->ClipToBase);
      r.GetBool(L->Locked);
      r.Get(L->Aux.Flag);
      r.Get(L->Aux.Rate);
      r.Get(L->Aux.Style);
      if (version >= 3) r.Get(L->Aux.Source);
      r.Get(L->BlendOperation);
      r.Get(L->Width);
      r.Get(L->Height);
      if (version >= 3) {
        uint8_t filter = uint8_t(L->ResampleFilter);
        r.Get(filter);
        if (filter <= uint8_t(TResampleFilter::rfProjectWB)) L->ResampleFilter = TResampleFilter(filter);
        r.GetBool(L->UseResampleFilter);
        int32_t n = 0;
        r.Get(n);
        if (r.Ok && n > 0 && n <= r.Left()) {
          L->Name.assign(size_t(n), '\0');
          r.Ok = Stream->Read(L->Name.data(), n) == n;
        } else if (r.Ok && n == 0) {
          L->Name.clear();
        } else {
          r.Ok = false;
        }
        int32_t u = 0;
        r.Get(u);
        if (r.Ok && u > 0 && u <= r.Left()) {
          void* data = std::malloc(size_t(u));
          if (data && Stream->Read(data, u) == u) {
            if (L->UserDataLen > 0) std::free(L->UserData);
            L->UserData = data;
            L->UserDataLen = u;
          } else {
            std::free(data);
            r.Ok = false;
          }
        } else if (r.Ok && u < 0) {
          r.Ok = false;
        }
        r.GetBool(L->IsMask);
      }
      if (version >= 4) r.GetBool(L->Selectable);
      if (version >= 6) r.GetBool(L->DimOutside);
      L->DrawnRect = TRect();
      int64_t offset = -1;
      r.Get(offset);
      if (!r.Ok) break;
      const int64_t next = Stream->Position();
      SetCurrentLayer(k);
      // A layer bitmap stored as a layers or objects file would load this file inside itself without end.
      const bool container = compression == qxffVect || compression == qxffLayers || compression == qxffLayersAndObjects;
      if (offset >= 0 && offset < Stream->Size() && !container) {
        Stream->SetPosition(offset);
        if (compression == -1 || compression == -2) {
          int32_t len = 0;
          if (Stream->Read(&len, 4) == 4 && len > 0) {
            TMemoryStream tmp;
            const int64_t take = std::min<int64_t>(len, Stream->Size() - Stream->Position());
            tmp.SetSize(take);
            if (take > 0) Stream->ReadBuffer(tmp.Memory(), take);
            tmp.SetPosition(0);
            if (compression == -1) {
              // The raw reader checks its counts against the stream's size, which an inflating stream
              // cannot tell: inflate into memory first, no more than the raw header says it holds.
              TMemoryStream plain;
              if (InflateRawBitmap(tmp, plain, GetIO()->Params->MaxPixels)) {
                plain.SetPosition(0);
                CurrentBitmap()->LoadRawFromStream(&plain);
              }
            } else {
              CurrentBitmap()->LoadRawFromStream(&tmp);
            }
          }
        } else {
          TQuillotIO* io = GetIO();
          const bool native = io->NativePixelFormat();
          if (L->IsMask) io->SetNativePixelFormat(true);
          try {
            io->LoadFromStreamAs(*Stream, compression);
          } catch (...) {
            io->SetNativePixelFormat(native);
            throw;
          }
          io->SetNativePixelFormat(native);
        }
      }
      Stream->SetPosition(next);
    }
    result = true;
  }
  if (FIO && !FLayers.empty() && FLayers[0]->Bitmap) {
    TIOParamsVals& p = *FIO->Params;
    p.Width = p.OriginalWidth = FLayers[0]->Bitmap->Width();
    p.Height = p.OriginalHeight = FLayers[0]->Bitmap->Height();
  }
  UpdateView();
  return result;
}

bool TQuillotView::LoadLayersFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadLayersFromStream(&f);
}

void TQuillotView::SaveLayersToFile(const std::string& FileName, int32_t Compression) {
  TFileStream f(FileName, fmCreate);
  SaveLayersToStream(&f, Compression);
}
