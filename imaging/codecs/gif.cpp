#include "imaging/codecs/gif.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/lzw.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/qx_streams.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/view_base.h"
#include "imaging/io/io_init.h"
#include "imaging/io/params.h"
#include "imaging/foundation/kernels/color_ops.h"
#include "imaging/foundation/kernels/quantizer.h"
#include "platform/base/codepage.h"
#include "platform/base/exceptions.h"
#include "platform/base/streams.h"

namespace {

// LZW turns one coded byte into at most about 1400 pixels (a table run of ever longer strings); a frame
// larger than this many pixels per byte left in the stream cannot be filled and is not allocated.
constexpr int64_t kMaxPixelsPerByte = 2048;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put16(std::vector<uint8_t>& v, int32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

int64_t Remaining(TStream& S) {
  if (!S.SizeKnown()) return INT64_MAX;
  return std::max<int64_t>(0, S.Size() - S.Position());
}

// Moves over Count bytes; false when the stream ends first (left at its end).
bool Skip(TStream& S, int64_t Count) {
  if (Count <= 0) return true;
  if (Remaining(S) < Count) {
    if (S.SizeKnown()) S.SetPosition(S.Size());
    return false;
  }
  S.Seek(Count, TSeekOrigin::soCurrent);
  return true;
}

// Moves over data sub-blocks up to and including the zero-length one; false when the stream ends first.
bool SkipSubBlocks(TStream& S) {
  for (;;) {
    uint8_t n = 0;
    if (S.Read(&n, 1) != 1) return false;
    if (n == 0) return true;
    if (!Skip(S, n)) return false;
  }
}

// A colour table as stored (red, green, blue) into 256 entries, zero past the file's.
bool ReadTable(TStream& S, int32_t Bits, TQxRGB* Table) {
  const int32_t n = 1 << Bits;
  uint8_t raw[768];
  if (S.Read(raw, 3 * n) != 3 * n) return false;
  std::fill(Table, Table + 256, TQxRGB{0, 0, 0});
  for (int32_t i = 0; i < n; ++i) Table[i] = TQxRGB{raw[3 * i + 2], raw[3 * i + 1], raw[3 * i]};
  return true;
}

struct TGifControl {
  uint8_t Packed = 0;
  uint16_t Delay = 0;
  uint8_t TransIndex = 0;
};

void ReadControl(TStream& S, TGifControl& C) {
  C = TGifControl{};
  uint8_t size = 0;
  if (S.Read(&size, 1) != 1) return;
  uint8_t d[255] = {};
  const int64_t got = S.Read(d, size);
  if (got >= 4) {
    C.Packed = d[0];
    C.Delay = U16(d + 1);
    C.TransIndex = d[3];
  }
  if (got == size) SkipSubBlocks(S);
}

void ReadComments(TStream& S, TIOParamsVals& P) {
  for (;;) {
    uint8_t n = 0;
    if (S.Read(&n, 1) != 1 || n == 0) return;
    char text[255];
    const int64_t got = S.Read(text, n);
    const size_t len = strnlen(text, static_cast<size_t>(std::max<int64_t>(got, 0)));
    if (len > 0) P.GifComments.push_back(CodePageToUtf8(std::string_view(text, len)));
    if (got < n) return;
  }
}

class TGifReader {
 public:
  TGifReader(TStream& S, TQxBitmap* B, int32_t& Frames, TIOParamsVals& P, TQxProgressInfo& Pr, bool ParamsOnly,
             TQxMask*& Mask, bool NoMask)
      : S_(S), B_(B), frames_(Frames), P_(P), Pr_(Pr), paramsOnly_(ParamsOnly), mask_(Mask), noMask_(NoMask) {}

  void Run() {
    frames_ = 0;
    Pr_.Report(0);
    if (Pr_.Aborting()) return;
    uint8_t h[13];
    if (S_.Read(h, 13) != 13 || std::memcmp(h, "GIF", 3) != 0) return Fail();
    P_.GifVersion.assign(reinterpret_cast<const char*>(h), 6);
    P_.GifWinWidth = U16(h + 6);
    P_.GifWinHeight = U16(h + 8);
    P_.GifRatio = h[12];
    P_.SetDpiX(QxDefaultDpiX);
    P_.SetDpiY(QxDefaultDpiY);
    P_.SamplesPerPixel = 1;
    // The I/O component reads a file once per frame up to the wanted one: comments must not pile up.
    P_.GifComments.clear();
    if (h[10] & 0x80) {
      globalBits_ = (h[10] & 7) + 1;
      if (!ReadTable(S_, globalBits_, global_)) return Finish(true);
      P_.GifBackground = global_[h[11]];
      if (Remaining(S_) == 0) Fail();
    }
    bool found = false;
    while (!failed_ && !Pr_.Aborting()) {
      uint8_t b = 0;
      if (S_.Read(&b, 1) != 1 || b == 0x3B) break;
      if (b == 0x21) {
        uint8_t label = 0;
        if (S_.Read(&label, 1) != 1) break;
        if (label == 0xF9 && frames_ == P_.GifImageIndex)
          ReadControl(S_, control_);
        else if (label == 0xFE)
          ReadComments(S_, P_);
        else
          SkipSubBlocks(S_);
      } else if (b == 0x2C) {
        uint8_t d[9];
        if (S_.Read(d, 9) != 9) break;
        if (frames_ == P_.GifImageIndex) {
          found = true;
          if (!Frame(d)) break;
        } else {
          const int64_t local = (d[8] & 0x80) ? 3 << ((d[8] & 7) + 1) : 0;
          if (Skip(S_, local + 1)) SkipSubBlocks(S_);
        }
        ++frames_;
      }
    }
    // A frame that is not in the file cannot be loaded; a lone frame without pixels is no picture either.
    if (found && emptyFrame_ && frames_ == 1 && !paramsOnly_ && !failed_) {
      P_.ReadError = "The GIF file's only image is empty (its width or height is 0)";
      return Finish(true);
    }
    Finish(!found && !paramsOnly_);
  }

 private:
  void Fail() {
    failed_ = true;
    Pr_.Abort();
  }

  void Finish(bool Failed) {
    if (Failed) Fail();
    P_.SetImageCount(frames_);
    if (!failed_ && !Pr_.Aborting()) Pr_.Report(100);
  }

  // False ends the walk (the frame could not be read).
  bool Frame(const uint8_t* d) {
    Pr_.Report(30);
    if (Pr_.Aborting()) return false;
    TQxRGB local[256];
    int32_t bits = 0;
    const TQxRGB* table = nullptr;
    if (d[8] & 0x80) {
      bits = (d[8] & 7) + 1;
      if (!ReadTable(S_, bits, local)) {
        Fail();
        return false;
      }
      table = local;
    } else if (globalBits_ > 0) {
      bits = globalBits_;
      table = global_;
    } else {
      // No table at all: a gray ramp as deep as the coded indexes.
      const int64_t at = S_.Position();
      uint8_t m = 8;
      if (S_.Read(&m, 1) != 1) m = 8;
      S_.SetPosition(at);
      bits = std::clamp<int32_t>(m, 1, 8);
      const int32_t n = 1 << bits;
      for (int32_t i = 0; i < 256; ++i) {
        const uint8_t v = i < n ? static_cast<uint8_t>(i * 255 / (n - 1)) : 0;
        local[i] = TQxRGB{v, v, v};
      }
      table = local;
    }
    const int32_t w = U16(d + 4), h = U16(d + 6);
    const bool interlaced = (d[8] & 0x40) != 0;
    P_.GifTranspColor = table[control_.TransIndex];
    P_.GifXPos = U16(d);
    P_.GifYPos = U16(d + 2);
    P_.Width = P_.OriginalWidth = w;
    P_.Height = P_.OriginalHeight = h;
    P_.GifDelayTime = control_.Delay;
    P_.GifTransparent = control_.Packed & 1;
    P_.GifAction = static_cast<uint8_t>((control_.Packed >> 2) & 7);
    P_.GifInterlaced = interlaced;

    std::vector<uint8_t> index;
    const bool empty = w == 0 || h == 0;
    emptyFrame_ = empty;
    if (paramsOnly_ || empty) {
      if (!Skip(S_, 1)) return false;
      SkipSubBlocks(S_);
    } else {
      const int64_t pixels = static_cast<int64_t>(w) * h;
      // A stream of unknown size leaves only the caller's limit to check.
      if (!QxPictureFits(P_, w, h, S_.SizeKnown() ? Remaining(S_) : -1, kMaxPixelsPerByte)) {
        Fail();
        return false;
      }
      try {
        index.assign(static_cast<size_t>(pixels), 0);
      } catch (const std::bad_alloc&) {
        Fail();
        return false;
      }
      const int64_t at = S_.Position();
      if (TQxGifLzwDecodeProc decode = QxGifLzwDecoder(P_)) decode(&S_, h, w, interlaced, index.data());
      if (S_.Position() == at) {
        Fail();
        return false;
      }
      Pr_.Report(70);
      if (Pr_.Aborting()) return false;
    }
    P_.BitsPerSample = bits;
    P_.SetColorMap(table, 1 << bits);
    if (paramsOnly_ || empty) return true;

    const bool bw = bits == 1 && table[0] == TQxRGB{0, 0, 0} && table[1] == TQxRGB{255, 255, 255};
    if (!bw && (w > 65000 || h > 65000) && Remaining(S_) < 2000) {
      Fail();
      return false;
    }
    const TQxPixelFormat fmt =
        bw ? TQxPixelFormat::qx1g : P_.NativePixelFormat ? TQxPixelFormat::qx8p : TQxPixelFormat::qx24RGB;
    if (!B_->Allocate(w, h, fmt)) {
      Fail();
      return false;
    }
    if (fmt == TQxPixelFormat::qx8p) {
      B_->PaletteColors = 1 << bits;
      for (int32_t i = 0; i < (1 << bits); ++i) B_->SetPaletteColor(i, table[i]);
    }
    const bool useMask = !noMask_ && P_.GifTransparent;
    bool created = false;
    if (useMask) {
      if (!mask_) {
        mask_ = new TQxMask;
        created = true;
      }
      mask_->Allocate(w, h, 8);
      mask_->Fill(255);
    }
    const uint8_t trans = control_.TransIndex;
    bool anyTransparent = false;
    const int32_t rowLen = B_->RowLen();
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* src = index.data() + static_cast<int64_t>(y) * w;
      uint8_t* dst = B_->Scanline(y);
      if (fmt == TQxPixelFormat::qx1g) {
        std::memset(dst, 0, static_cast<size_t>(rowLen));
        for (int32_t x = 0; x < w; ++x)
          if (src[x]) dst[x >> 3] = static_cast<uint8_t>(dst[x >> 3] | (0x80 >> (x & 7)));
      } else if (fmt == TQxPixelFormat::qx8p) {
        std::memcpy(dst, src, static_cast<size_t>(w));
      } else {
        auto* p = reinterpret_cast<TQxRGB*>(dst);
        for (int32_t x = 0; x < w; ++x) p[x] = table[src[x]];
      }
      if (useMask) {
        uint8_t* m = mask_->Scanline(y);
        for (int32_t x = 0; x < w; ++x)
          if (src[x] == trans) {
            m[x] = 0;
            anyTransparent = true;
          }
      }
    }
    if (useMask) {
      if (!anyTransparent && created) {
        delete mask_;
        mask_ = nullptr;
      } else {
        mask_->Full = !anyTransparent;
        mask_->SyncBoundingBox();
      }
    }
    return true;
  }

  TStream& S_;
  TQxBitmap* B_;
  int32_t& frames_;
  TIOParamsVals& P_;
  TQxProgressInfo& Pr_;
  bool paramsOnly_;
  TQxMask*& mask_;
  bool noMask_;
  bool failed_ = false;
  bool emptyFrame_ = false;
  int32_t globalBits_ = 0;
  TQxRGB global_[256] = {};
  TGifControl control_;
};

// The nearest of the first Count entries, the first of equals.
int32_t Nearest(const TQxRGB* Table, int32_t Count, TQxRGB C) {
  return QxNearestPaletteIndex(Table, Count, QxPackRGB(C));
}

// Writes to the stream and records a short write; later writes are dropped.
struct TCheckedWriter {
  TStream* S;
  TQxProgressInfo& Pr;
  bool Failed = false;
  void Put(const std::vector<uint8_t>& V) {
    if (Failed || V.empty()) return;
    if (S->Write(V.data(), static_cast<int64_t>(V.size())) != static_cast<int64_t>(V.size())) Fail();
  }
  void Fail() {
    Failed = true;
    Pr.Abort();
  }
};

// Replaces FileName's content by Data through a file beside it, so that a failed write leaves it whole.
void ReplaceFileContent(const std::string& FileName, TMemoryStream& Data) {
  std::string tmp = FileName + ".XXXXXX";
  const int fd = mkstemp(tmp.data());
  if (fd < 0) throw EFCreateError("Cannot create file \"" + tmp + "\"");
  struct stat st {};
  if (::stat(FileName.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  const auto* p = static_cast<const uint8_t*>(Data.Memory());
  int64_t left = Data.Size();
  bool ok = true;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(std::min<int64_t>(left, 1 << 20)));
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= n;
  }
  if (::close(fd) != 0) ok = false;
  if (!ok || std::rename(tmp.c_str(), FileName.c_str()) != 0) {
    std::remove(tmp.c_str());
    throw EWriteError("Cannot write file \"" + FileName + "\"");
  }
}

// Copies sub-blocks up to the zero-length one; a cut last one is copied as far as it goes. False when the
// stream ended first.
bool CopySubBlocks(TStream& Out, TStream& In) {
  for (;;) {
    uint8_t n = 0;
    if (In.Read(&n, 1) != 1) return false;
    Out.WriteBuffer(&n, 1);
    if (n == 0) return true;
    const bool whole = Remaining(In) >= n;
    GifCopyBytes(&Out, &In, n);
    if (!whole) return false;
  }
}

}  // namespace

void ReadGifStream(TStream* Stream, TQxBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                   TQxProgressInfo& Progress, bool ParamsOnly, TQxMask*& Mask, bool NoMask) {
  TQxBitmap scratch;
  TGifReader(*Stream, Bitmap ? Bitmap : &scratch, FrameCount, Params, Progress, ParamsOnly, Mask, NoMask).Run();
}

void WriteGifStream(TStream* Stream, TQxBitmap* Bitmap, TIOParamsVals& Params, TQxProgressInfo& Progress) {
  Progress.Report(0);
  if (Progress.Aborting()) return;
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->Width() > 65535 || Bitmap->Height() > 65535) {
    Progress.Abort();
    return;
  }
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  int32_t n = Params.BitsPerSample;
  if (n < 1 || n > 8) n = 8;
  const TQxPixelFormat fmt = Bitmap->PixelFormat();
  std::unique_ptr<TQxBitmap> copy;
  TQxBitmap* work = Bitmap;
  auto convertedCopy = [&](TQxPixelFormat f) {
    copy = std::make_unique<TQxBitmap>();
    if (!copy->Allocate(W, H, f)) return false;
    copy->ConvertFrom(Bitmap);
    work = copy.get();
    return true;
  };
  const bool oneBit = n == 1;
  int32_t count = 1 << n;
  if (oneBit) {
    if (fmt != TQxPixelFormat::qx1g) {
      TQxRGB c1{}, c2{};
      copy = QxTwoColorBitmap(Bitmap, c1, c2);
      if (copy)
        work = copy.get();
      else if (!convertedCopy(TQxPixelFormat::qx1g))
        return Progress.Abort();
    }
  } else if (fmt != TQxPixelFormat::qx8p && fmt != TQxPixelFormat::qx24RGB) {
    if (!convertedCopy(TQxPixelFormat::qx24RGB)) return Progress.Abort();
  }
  // A 1-bit picture is written black and white from its bits alone; its alpha has no index to go to.
  const bool alpha = !oneBit && Bitmap->HasAlphaChannel();
  int32_t transIndex = -1;
  if (alpha) {
    --count;
    transIndex = count;
    Params.GifTransparent = 1;
  }

  std::vector<uint8_t> index(static_cast<size_t>(static_cast<int64_t>(W) * H));
  TQxRGB table[256] = {};
  uint8_t background = 0, transparent = 0;
  if (oneBit) {
    table[1] = TQxRGB{255, 255, 255};
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = work->Scanline(y);
      uint8_t* dst = index.data() + static_cast<int64_t>(y) * W;
      for (int32_t x = 0; x < W; ++x) dst[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    background = static_cast<uint8_t>(Nearest(table, 2, Params.GifBackground));
    transparent = static_cast<uint8_t>(Nearest(table, 2, Params.GifTranspColor));
  } else {
    TQxQuantizer q(work, table, count);
    const bool rgb = work->PixelFormat() == TQxPixelFormat::qx24RGB;
    // Indexes the table cannot hold (a palette longer than the depth, the colour the quantizer missed)
    // go to the nearest entry, never to the transparency index or past the table.
    auto indexOf = [&](TQxRGB c) {
      const int32_t k = rgb ? q.RGBIndex(c) : -1;
      return static_cast<uint8_t>(k >= 0 && k < count ? k : Nearest(table, count, c));
    };
    uint8_t remap[256];
    if (!rgb)
      for (int32_t i = 0; i < 256; ++i)
        remap[i] = i < count ? static_cast<uint8_t>(i) : static_cast<uint8_t>(Nearest(table, count, work->PaletteColor(i)));
    TQxBitmap* a = alpha ? Bitmap->GetAlphaChannel() : nullptr;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* row = work->Scanline(y);
      const uint8_t* ar = a ? a->Scanline(y) : nullptr;
      uint8_t* dst = index.data() + static_cast<int64_t>(y) * W;
      if (rgb) {
        const auto* p = reinterpret_cast<const TQxRGB*>(row);
        for (int32_t x = 0; x < W; ++x) dst[x] = indexOf(p[x]);
      } else {
        for (int32_t x = 0; x < W; ++x) dst[x] = remap[row[x]];
      }
      if (ar)
        for (int32_t x = 0; x < W; ++x)
          if (ar[x] < 255) dst[x] = static_cast<uint8_t>(transIndex);
    }
    background = indexOf(Params.GifBackground);
    transparent = alpha ? static_cast<uint8_t>(transIndex) : indexOf(Params.GifTranspColor);
  }
  if (alpha) table[transIndex] = Params.GifTranspColor;
  Progress.Report(30);
  if (Progress.Aborting()) return;

  std::vector<uint8_t> head;
  std::string version = Params.GifVersion.substr(0, 6);
  if (version.size() < 6) version += std::string("GIF89a").substr(version.size());
  head.insert(head.end(), version.begin(), version.end());
  Put16(head, W);
  Put16(head, H);
  head.push_back(static_cast<uint8_t>(0x80 + (n - 1) * 16 + (n - 1)));
  head.push_back(background);
  head.push_back(0);
  for (int32_t i = 0; i < (1 << n); ++i) {
    head.push_back(table[i].r);
    head.push_back(table[i].g);
    head.push_back(table[i].b);
  }
  head.insert(head.end(), {0x21, 0xF9, 0x04, static_cast<uint8_t>((Params.GifAction & 7) * 4 + (Params.GifTransparent ? 1 : 0))});
  Put16(head, Params.GifDelayTime);
  head.push_back(transparent);
  head.push_back(0);
  head.push_back(0x2C);
  Put16(head, Params.GifXPos);
  Put16(head, Params.GifYPos);
  Put16(head, W);
  Put16(head, H);
  head.push_back(Params.GifInterlaced ? 64 : 0);
  TCheckedWriter out{Stream, Progress};
  out.Put(head);
  if (out.Failed) return;

  Progress.Report(70);
  if (Progress.Aborting()) return;
  TQxGifLzwEncodeProc encode = QxGifLzwEncoder(Params);
  if (!encode) return Progress.Abort();
  try {
    encode(Stream, H, W, Params.GifInterlaced != 0, index.data(), n);
  } catch (const EWriteError&) {
    return out.Fail();
  }

  std::vector<uint8_t> tail{0x21, 0xFE};
  for (const std::string& line : Params.GifComments) {
    // Longer lines go on in further sub-blocks; an empty one would end the extension early.
    const std::string text = Utf8ToCodePage(line);
    for (size_t i = 0; i < text.size(); i += 255) {
      const size_t len = std::min<size_t>(255, text.size() - i);
      tail.push_back(static_cast<uint8_t>(len));
      tail.insert(tail.end(), text.begin() + static_cast<std::ptrdiff_t>(i),
                  text.begin() + static_cast<std::ptrdiff_t>(i + len));
    }
  }
  tail.push_back(0);
  tail.push_back(0x3B);
  out.Put(tail);
  if (!out.Failed) Progress.Report(100);
}

void GifCopyBytes(TStream* Dest, TStream* Source, int64_t Count) {
  Count = std::min(Count, Remaining(*Source));
  uint8_t buf[4096];
  while (Count > 0) {
    const int64_t got = Source->Read(buf, std::min<int64_t>(Count, sizeof buf));
    if (got <= 0) return;
    Dest->WriteBuffer(buf, got);
    Count -= got;
  }
}

int32_t GifRemoveFrame(const char* FileName, int32_t Index, bool Save) {
  TMemoryStream in;
  {
    TQxWideFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    in.LoadFromStream(&f);
  }
  in.SetPosition(0);
  TMemoryStream out;
  uint8_t h[13];
  if (in.Read(h, 13) != 13 || std::memcmp(h, "GIF", 3) != 0) return 0;
  std::memcpy(h + 3, "89a", 3);
  out.WriteBuffer(h, 13);
  bool clean = true;
  if (h[10] & 0x80) {
    const int64_t n = 3 << ((h[10] & 7) + 1);
    clean = Remaining(in) >= n;
    GifCopyBytes(&out, &in, n);
  }
  int32_t counter = 0, kept = 0;
  while (clean) {
    uint8_t b = 0;
    if (in.Read(&b, 1) != 1) break;
    if (b == 0x2C) {
      uint8_t d[9];
      if (in.Read(d, 9) != 9) {
        clean = false;
        break;
      }
      const int64_t local = (d[8] & 0x80) ? 3 << ((d[8] & 7) + 1) : 0;
      if (counter == Index) {
        clean = Skip(in, local + 1) && SkipSubBlocks(in);
      } else {
        out.WriteBuffer(&b, 1);
        out.WriteBuffer(d, 9);
        clean = Remaining(in) >= local + 1;
        GifCopyBytes(&out, &in, local + 1);
        clean = clean && CopySubBlocks(out, in);
        ++kept;
      }
      ++counter;
    } else if (b == 0x21) {
      uint8_t label = 0;
      if (in.Read(&label, 1) != 1) {
        clean = false;
        break;
      }
      if (label == 0xF9 && counter == Index) {
        clean = SkipSubBlocks(in);
      } else {
        out.WriteBuffer(&b, 1);
        out.WriteBuffer(&label, 1);
        clean = CopySubBlocks(out, in);
      }
    } else if (b == 0x3B) {
      out.WriteBuffer(&b, 1);
      break;
    }
  }
  if (Save && clean) ReplaceFileContent(FileName, out);
  return kept;
}

void QxRegisterGifCodec() {
  if (!QxGifLzwDecodeHook && !QxGifLzwEncodeHook) QxRegisterLzwCoders();
  QxCodecServices.ReadGifStream = &ReadGifStream;
  QxCodecServices.WriteGifStream = &WriteGifStream;
  QxCodecServices.GifRemoveFrame = &GifRemoveFrame;
}
