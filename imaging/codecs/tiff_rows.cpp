// Turning the stored rows of a TIFF strip or tile into bitmap pixels: decompression, unpacking of narrow
// samples, the horizontal predictor, and the conversion per photometric interpretation.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/codecs/lzw.h"
#include "imaging/codecs/tiff_internal.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/mask.h"
#include "imaging/foundation/utils.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/params.h"

#if __has_include("imaging/codecs/ccitt.h")
#include "imaging/codecs/ccitt.h"
#define QV_TIFF_HAVE_CCITT 1
#else
#define QV_TIFF_HAVE_CCITT 0
#endif

namespace {

uint8_t Reversed(uint8_t B) {
  QxReverseBits8(B);
  return B;
}

// One strip's (or tile's, or plane's) decompressor: hands out one stored row per call.
class TRowSource {
 public:
  TRowSource(TTIFFVars& V, const uint8_t* Data, size_t Length, int64_t RowBytes, int64_t Width, int64_t Rows)
      : V_(V), data_(Data), len_(Length), rowBytes_(RowBytes), width_(Width), rows_(Rows) {
#if QV_TIFF_HAVE_CCITT
    if (V.Compression >= 2 && V.Compression <= 4) refRow_.assign(size_t((Width + 7) / 8), 0xFF);
#endif
  }
  ~TRowSource() {
    if (lzwState_) reinterpret_cast<TQxTiffLzwDecodeProc>(V_.LzwDecode)(nullptr, 0, lzwState_, V_.FillOrder, 0);
  }
  TRowSource(const TRowSource&) = delete;
  TRowSource& operator=(const TRowSource&) = delete;

  // The next stored row into Row (RowBytes bytes); false when it cannot be decompressed.
  bool Next(uint8_t* Row) {
    const size_t R = size_t(rowBytes_);
    switch (V_.Compression) {
      case 1: {
        // Bytes missing at the end of a short file read as zeros.
        const size_t have = pos_ < len_ ? std::min(R, len_ - pos_) : 0;
        if (have) std::memcpy(Row, data_ + pos_, have);
        if (have < R) std::memset(Row + have, 0, R - have);
        pos_ += R;
        // The fill order reverses the bits of every byte, those of wider samples too.
        if (V_.FillOrder == 2)
          for (size_t i = 0; i < R; ++i) Row[i] = Reversed(Row[i]);
        return true;
      }
      case 32773: return PackBits(Row);
      case 8:
      case 32946: return Inflated(Row);
      case 5: {
        if (!V_.LzwDecode) return false;
        if (rowBytes_ > INT32_MAX) return false;
        const uint8_t* out = reinterpret_cast<TQxTiffLzwDecodeProc>(V_.LzwDecode)(
            data_, int32_t(R), lzwState_, V_.FillOrder, int64_t(len_));
        if (!out) return false;
        std::memcpy(Row, out, R);
        return true;
      }
#if QV_TIFF_HAVE_CCITT
      case 2:
      case 3:
      case 4: return Ccitt(Row);
#endif
      default: return false;
    }
  }

  // CCITT data ran out: the rest of the strip keeps what the bitmap held.
  bool Exhausted() const { return exhausted_; }

 private:
  bool PackBits(uint8_t* Row) {
    const size_t R = size_t(rowBytes_);
    std::memset(Row, 0, R);
    const bool rev = V_.FillOrder == 2;
    size_t out = 0;
    while (out < R && pos_ < len_) {
      const int8_t c = int8_t(rev ? Reversed(data_[pos_]) : data_[pos_]);
      ++pos_;
      if (c >= 0) {
        const size_t n = size_t(c) + 1;
        for (size_t i = 0; i < n && pos_ < len_; ++i, ++pos_)
          if (out < R) Row[out++] = rev ? Reversed(data_[pos_]) : data_[pos_];
      } else if (c != -128) {
        if (pos_ >= len_) break;
        const uint8_t b = rev ? Reversed(data_[pos_]) : data_[pos_];
        ++pos_;
        const size_t n = size_t(1 - c);
        for (size_t i = 0; i < n && out < R; ++i) Row[out++] = b;
      }
    }
    return true;
  }

  bool Inflated(uint8_t* Row) {
    const size_t R = size_t(rowBytes_);
    if (!inflated_) {
      inflated_ = true;
      // Only what the strip's rows need is inflated, so a small bomb cannot grow past the picture.
      block_.assign(size_t(R) * size_t(rows_), 0);
      z_stream z{};
      // The fill order applies to the compressed bytes.
      std::vector<uint8_t> reversed;
      if (V_.FillOrder == 2) {
        reversed.resize(len_);
        for (size_t i = 0; i < len_; ++i) reversed[i] = Reversed(data_[i]);
      }
      if (inflateInit(&z) == Z_OK) {
        z.next_in = const_cast<Bytef*>(reversed.empty() ? data_ : reversed.data());
        z.avail_in = uInt(std::min<size_t>(len_, UINT32_MAX));
        size_t done = 0;
        while (done < block_.size()) {
          const size_t chunk = std::min<size_t>(block_.size() - done, 1u << 30);
          z.next_out = block_.data() + done;
          z.avail_out = uInt(chunk);
          const int r = inflate(&z, Z_NO_FLUSH);
          done += chunk - z.avail_out;
          if (r != Z_OK) break;
          if (z.avail_out != 0 && z.avail_in == 0) break;
        }
        inflatedBytes_ = done;
        inflateEnd(&z);
      }
    }
    const size_t at = size_t(row_) * R;
    ++row_;
    if (at + R > inflatedBytes_) return false;
    std::memcpy(Row, block_.data() + at, R);
    return true;
  }

#if QV_TIFF_HAVE_CCITT
  bool Ccitt(uint8_t* Row);
#endif

  TTIFFVars& V_;
  const uint8_t* data_;
  size_t len_;
  int64_t rowBytes_, width_, rows_;
  size_t pos_ = 0;
  void* lzwState_ = nullptr;
  bool inflated_ = false;
  std::vector<uint8_t> block_;
  size_t inflatedBytes_ = 0;
  int64_t row_ = 0;
  std::vector<uint8_t> refRow_;
  int64_t bitPos_ = 0;
  bool exhausted_ = false;
};

#if QV_TIFF_HAVE_CCITT
bool TRowSource::Ccitt(uint8_t* Row) {
  const int64_t bits = int64_t(len_) * 8;
  if (V_.Compression == 2) {
    if (pos_ >= len_) {
      exhausted_ = true;
      return true;
    }
    const int32_t used = CCITTDecodeMH(Row, data_ + pos_, int64_t(len_ - pos_), int32_t(width_), V_.FillOrder);
    pos_ += size_t(std::max(used, 1));
    return true;
  }
  if (bitPos_ >= bits) {
    exhausted_ = true;
    return true;
  }
  if (V_.Compression == 3 && !(V_.T4Options & 1))
    bitPos_ = CCITTDecode1D(Row, data_, int64_t(len_), int32_t(width_), bitPos_, V_.FillOrder);
  else
    bitPos_ = CCITTDecode2D(Row, data_, int64_t(len_), int32_t(width_), refRow_.data(), bitPos_, V_.FillOrder,
                            V_.Compression == 3 ? true : (V_.T4Options & 4) != 0);
  return true;
}
#endif

// Narrow samples to one byte each; gray levels spread to 0..255.
void Unpack(const TTIFFVars& V, uint8_t* Row, int64_t RowBytes, int64_t Width, std::vector<uint8_t>& Tmp) {
  const int32_t bps = V.BitsPerSample;
  if (bps == 4) {
    Tmp.assign(Row, Row + RowBytes);
    for (int64_t i = 0; i < RowBytes; ++i) {
      Row[2 * i] = uint8_t(Tmp[size_t(i)] >> 4);
      Row[2 * i + 1] = uint8_t(Tmp[size_t(i)] & 15);
    }
  } else if ((bps == 2 || bps == 3 || bps >= 5) && bps <= 7 && !(V.Compression >= 2 && V.Compression <= 4)) {
    Tmp.assign(Row, Row + RowBytes);
    for (int64_t x = 0; x < Width; ++x) {
      uint32_t v = 0;
      const int64_t bit0 = x * bps;
      for (int32_t b = 0; b < bps; ++b) {
        const int64_t bit = bit0 + b;
        v = (v << 1) | ((Tmp[size_t(bit >> 3)] >> (7 - (bit & 7))) & 1);
      }
      Row[x] = uint8_t(v);
    }
  } else {
    return;
  }
  // Gray levels span 0..255 by repeating their bits (4 bits: × 17, 2 bits: × 85, 3 bits: 7 gives 255).
  if (V.Photometric == 0 || V.Photometric == 1) {
    const int64_t n = bps == 4 ? RowBytes * 2 : Width;
    for (int64_t i = 0; i < n; ++i) Row[i] = QxWidenTo8(Row[i], bps);
  }
}

void Swap16(uint8_t* Row, int64_t Words) {
  for (int64_t i = 0; i < Words; ++i) std::swap(Row[2 * i], Row[2 * i + 1]);
}
void Swap32(uint8_t* Row, int64_t Words) {
  for (int64_t i = 0; i < Words; ++i) {
    std::swap(Row[4 * i], Row[4 * i + 3]);
    std::swap(Row[4 * i + 1], Row[4 * i + 2]);
  }
}

// Horizontal differencing undone, modulo 2^bits, over the stored row.
void UndoPredictor(const TTIFFVars& V, uint8_t* Row, int64_t Width, int32_t Spp) {
  if (V.Compression != 5 && V.Compression != 8 && V.Compression != 32946) return;
  if (V.Predictor == 3 && V.BitsPerSample == 32) {
    // Floating-point predictor: byte differences over the row, whose samples are stored as planes of their
    // bytes, most significant plane first; the result is in host order.
    const int64_t samples = Width * Spp, n = samples * 4;
    for (int64_t i = Spp; i < n; ++i) Row[i] = uint8_t(Row[i] + Row[i - Spp]);
    std::vector<uint8_t> planes(Row, Row + n);
    for (int64_t k = 0; k < samples; ++k)
      for (int b = 0; b < 4; ++b) Row[4 * k + b] = planes[size_t((3 - b) * samples + k)];
    return;
  }
  if (V.Predictor != 2) return;
  if (V.BitsPerSample == 8) {
    for (int64_t i = Spp; i < Width * Spp; ++i) Row[i] = uint8_t(Row[i] + Row[i - Spp]);
  } else if (V.BitsPerSample == 16) {
    auto* w = reinterpret_cast<uint16_t*>(Row);
    for (int64_t i = Spp; i < Width * Spp; ++i) {
      uint16_t a, b;
      std::memcpy(&a, w + i, 2);
      std::memcpy(&b, w + i - Spp, 2);
      a = uint16_t(a + b);
      std::memcpy(w + i, &a, 2);
    }
  }
}

uint16_t W16(const uint8_t* P) {
  uint16_t v;
  std::memcpy(&v, P, 2);
  return v;
}

int32_t ChunkyCase(const TTIFFVars& V) {
  const int32_t ph = V.Photometric, spp = V.SamplesPerPixel, bps = V.BitsPerSample;
  // Floating-point samples (0 to 1) become 8 bits; other sample formats of 32 bits have no conversion.
  if (V.SampleFormat == 3 || bps == 32) {
    if (V.SampleFormat != 3 || bps != 32 || V.Predictor == 2) return 0;
    if (((ph == 0 || ph == 1) && spp >= 1) || (ph == 2 && spp >= 3)) return 20;
    return 0;
  }
  if (ph == 2 && (spp == 3 || spp == 4) && bps == 8) return 1;
  if (ph == 2 && spp >= 4 && V.ExtraCount > 0 && bps == 8) return 2;
  if (ph == 2 && spp == 3 && bps == 16) return 3;
  if (ph == 2 && spp == 4 && bps == 16) return 4;
  if (ph == 2 && spp == 1 && bps == 16) return 5;
  if (ph == 3 && spp == 1 && bps == 1) return 6;
  if (ph == 3 && spp == 2 && bps == 8) return 7;
  if (ph == 3 && bps <= 8) return 8;
  if ((ph == 0 || ph == 1) && spp == 1 && bps >= 2 && bps <= 8) return 9;
  if ((ph == 0 || ph == 1) && spp >= 2 && bps == 8) return 10;
  if ((ph == 0 || ph == 1) && spp == 1 && bps == 16) return 11;
  if ((ph == 0 || ph == 1) && spp >= 2 && bps == 16) return 18;
  if (ph == 3 && spp == 1 && bps == 16) return 19;
  if ((ph == 0 || ph == 1) && spp == 1 && bps == 1) return 12;
  if (ph == 5 && spp == 4 && bps == 8) return 13;
  if (ph == 5 && spp >= 5 && bps == 8) return 14;
  if (ph == 5 && spp == 4 && bps == 16) return 15;
  if (ph == 8 && spp == 3 && bps == 8) return 16;
  if (ph == 6 && spp == 3 && bps == 8 && V.YCbCrSubH == 2 && V.YCbCrSubV == 1) return 17;
  return 0;
}

bool CaseSwaps16(int32_t Case) {
  return Case == 3 || Case == 4 || Case == 5 || Case == 11 || Case == 15 || Case == 18 || Case == 19;
}

// A colour stored premultiplied by its alpha (associated alpha) back to its own value.
uint8_t Unassociate(uint8_t C, uint8_t A) {
  if (A == 255) return C;
  const double v = C / std::max(1.0 / 255.0, A / 255.0);
  return v >= 255.0 ? 255 : uint8_t(v);
}

// A floating-point sample (0 = black, 1 = full) as 8 bits.
uint8_t FloatTo8(const uint8_t* P) {
  float f;
  std::memcpy(&f, P, 4);
  if (!(f > 0.0f)) return 0;  // NaN too
  if (f >= 1.0f) return 255;
  return uint8_t(std::lround(f * 255.0f));
}

TQxRGB MapColor(const TTIFFVars& V, uint32_t Index) {
  return Index < V.ColorMap.size() ? V.ColorMap[Index] : TQxRGB{0, 0, 0};
}

// Per-strip conversion state: scratch buffers and the progress bookkeeping.
struct TConverter {
  TTIFFVars& V;
  TQxBitmap* B;
  TQxPixelFormat Format;
  int32_t Case;
  std::vector<uint8_t> Tmp, Conv;

  void Alpha(int64_t X, int64_t Y, uint8_t A) {
    if (!V.Mask || V.IgnoreAlpha) return;
    if (X < 0 || Y < 0 || X >= V.Mask->Width() || Y >= V.Mask->Height()) return;
    V.Mask->Full = false;
    V.Mask->Scanline(int32_t(Y))[X] = A;
  }

  void ToBGR(const void* Src, TQxColorLayout Layout, uint8_t* Dest, int64_t Count) {
    QxColorRowConverter(Src, Layout, Dest, TQxColorLayout::qxclBGR, int32_t(Count), V.Params);
  }

  // One unpacked, host-order, predictor-free row into bitmap row Y from pixel X, Count pixels.
  void Store(const uint8_t* S, int64_t Y, int64_t X, int64_t Count) {
    uint8_t* line = B->Scanline(int32_t(Y));
    const int32_t spp = V.SamplesPerPixel;
    const bool alpha = V.HasAlpha && !V.IgnoreAlpha && V.Mask;
    uint8_t* d24 = line + 3 * X;
    switch (Case) {
      case 1:
        if (spp == 4 && alpha) {
          const bool associated = V.ExtraCount > 0 && V.Extra[0] == 1;
          for (int64_t x = 0; x < Count; ++x, S += 4) {
            const uint8_t a = S[3];
            d24[3 * x] = associated ? Unassociate(S[2], a) : S[2];
            d24[3 * x + 1] = associated ? Unassociate(S[1], a) : S[1];
            d24[3 * x + 2] = associated ? Unassociate(S[0], a) : S[0];
            Alpha(X + x, Y, a);
          }
        } else if (spp == 3) {
          ToBGR(S, TQxColorLayout::qxclRGB, d24, Count);
        } else {
          Conv.resize(size_t(Count) * 3);
          for (int64_t x = 0; x < Count; ++x) std::memcpy(&Conv[size_t(x) * 3], S + 4 * x, 3);
          ToBGR(Conv.data(), TQxColorLayout::qxclRGB, d24, Count);
        }
        break;
      case 2: {
        bool pageAlpha = false;
        for (int32_t i = 0; i < V.ExtraCount; ++i) pageAlpha |= V.Extra[size_t(i)] == 1 || V.Extra[size_t(i)] == 2;
        // A pixel is spp samples, whatever the ExtraSamples count claims.
        const int64_t stride = spp;
        for (int64_t x = 0; x < Count; ++x, S += stride) {
          uint8_t b = S[2], g = S[1], r = S[0];
          for (int32_t i = 0; i < V.ExtraCount && 3 + i < spp; ++i) {
            const uint8_t a = S[3 + i];
            if (!alpha || !pageAlpha) continue;
            if (V.Extra[size_t(i)] == 1) {
              Alpha(X + x, Y, a);
              b = Unassociate(b, a);
              g = Unassociate(g, a);
              r = Unassociate(r, a);
            } else if (V.Extra[size_t(i)] == 2) {
              Alpha(X + x, Y, a);
            }
          }
          d24[3 * x] = b;
          d24[3 * x + 1] = g;
          d24[3 * x + 2] = r;
        }
        break;
      }
      case 3:
      case 4:
        if (Format == TQxPixelFormat::qxRGB48 && Case == 3) {
          std::memcpy(line + 6 * X, S, size_t(Count) * 6);
        } else if (Case == 3) {
          ToBGR(S, TQxColorLayout::qxclRGB48, d24, Count);
        } else {
          Conv.resize(size_t(Count) * 6);
          for (int64_t x = 0; x < Count; ++x) std::memcpy(&Conv[size_t(x) * 6], S + 8 * x, 6);
          if (alpha) {
            // The fourth word is the alpha; associated colours are divided by it.
            const bool associated = V.ExtraCount > 0 && V.Extra[0] == 1;
            for (int64_t x = 0; x < Count; ++x) {
              const uint16_t a = W16(S + 8 * x + 6);
              Alpha(X + x, Y, uint8_t(a >> 8));
              if (!associated || a == 65535) continue;
              for (int k = 0; k < 3; ++k) {
                uint16_t c;
                std::memcpy(&c, &Conv[size_t(x) * 6 + 2 * k], 2);
                const double v = a ? c * 65535.0 / a : 65535.0 * (c != 0);
                c = v >= 65535.0 ? 65535 : uint16_t(v);
                std::memcpy(&Conv[size_t(x) * 6 + 2 * k], &c, 2);
              }
            }
          }
          if (Format == TQxPixelFormat::qxRGB48)
            std::memcpy(line + 6 * X, Conv.data(), Conv.size());
          else
            ToBGR(Conv.data(), TQxColorLayout::qxclRGB48, d24, Count);
        }
        break;
      case 5:
        for (int64_t x = 0; x < Count; ++x) {
          const uint16_t w = W16(S + 2 * x);
          d24[3 * x + 2] = QxWidenTo8((w >> 10) & 31, 5);
          d24[3 * x + 1] = QxWidenTo8((w >> 5) & 31, 5);
          d24[3 * x] = QxWidenTo8(w & 31, 5);
        }
        break;
      case 6:
        for (int64_t x = 0; x < Count; ++x) {
          const TQxRGB c = MapColor(V, (S[x >> 3] >> (7 - (x & 7))) & 1);
          std::memcpy(d24 + 3 * x, &c, 3);
        }
        break;
      case 7:
        for (int64_t x = 0; x < Count; ++x) {
          const TQxRGB c = MapColor(V, S[2 * x]);
          std::memcpy(d24 + 3 * x, &c, 3);
          if (alpha) Alpha(X + x, Y, S[2 * x + 1]);
        }
        break;
      case 8: {
        const int64_t stride = V.BitsPerSample == 8 ? spp : 1;
        if (Format == TQxPixelFormat::qx8p) {
          for (int64_t x = 0; x < Count; ++x) line[X + x] = S[x * stride];
        } else {
          for (int64_t x = 0; x < Count; ++x) {
            const TQxRGB c = MapColor(V, S[x * stride]);
            std::memcpy(d24 + 3 * x, &c, 3);
          }
        }
        break;
      }
      case 9:
      case 10: {
        const int64_t stride = Case == 9 ? 1 : spp;
        const bool inv = V.Photometric == 0;
        if (Format == TQxPixelFormat::qx8g) {
          for (int64_t x = 0; x < Count; ++x) line[X + x] = inv ? uint8_t(255 - S[x]) : S[x];
        } else {
          for (int64_t x = 0; x < Count; ++x) {
            uint8_t g = inv ? uint8_t(255 - S[x * stride]) : S[x * stride];
            if (Case == 10 && alpha) {
              const uint8_t a = S[x * stride + 1];
              if (V.ExtraCount > 0 && V.Extra[0] == 1) g = Unassociate(g, a);
              Alpha(X + x, Y, a);
            }
            d24[3 * x] = d24[3 * x + 1] = d24[3 * x + 2] = g;
          }
        }
        break;
      }
      case 11: {
        const bool inv = V.Photometric == 0;
        if (Format == TQxPixelFormat::qx16g) {
          for (int64_t x = 0; x < Count; ++x) {
            uint16_t w = W16(S + 2 * x);
            if (inv) w = uint16_t(65535 - w);
            std::memcpy(line + 2 * (X + x), &w, 2);
          }
        } else {
          const int32_t shift = V.Software.compare(0, 15, "Look@Molli v1.1") == 0 ? 4 : 8;
          for (int64_t x = 0; x < Count; ++x) {
            uint32_t w = W16(S + 2 * x);
            if (inv) w = 65535 - w;
            const uint8_t g = uint8_t((w >> shift) & 0xFF);
            d24[3 * x] = d24[3 * x + 1] = d24[3 * x + 2] = g;
          }
        }
        break;
      }
      case 12: {
        const bool inv = (V.Photometric == 0 && (V.Compression == 1 || V.Compression >= 5)) ||
                         (V.Photometric == 1 && V.Compression >= 2 && V.Compression <= 4);
        // Tiles start on whole bytes: tile widths are multiples of 16.
        uint8_t* d = line + X / 8;
        const int64_t n = (Count + 7) / 8;
        for (int64_t i = 0; i < n; ++i) d[i] = inv ? uint8_t(~S[i]) : S[i];
        break;
      }
      case 13:
      case 14:
      case 15: {
        const int64_t stride = Case == 15 ? 4 : spp;
        const bool a5 = Case == 14 && alpha && V.ExtraCount > 0 && V.Extra[0] == 2;
        Conv.resize(size_t(Count) * 4);
        for (int64_t x = 0; x < Count; ++x) {
          for (int32_t k = 0; k < 4; ++k) {
            const uint8_t v = Case == 15 ? uint8_t(W16(S + 2 * (x * stride + k)) >> 8) : S[x * stride + k];
            Conv[size_t(x) * 4 + k] = uint8_t(255 - v);
          }
          if (a5) Alpha(X + x, Y, S[x * stride + 4]);
        }
        if (Format == TQxPixelFormat::qxCMYK)
          std::memcpy(line + 4 * X, Conv.data(), Conv.size());
        else
          ToBGR(Conv.data(), TQxColorLayout::qxclCMYK, d24, Count);
        break;
      }
      case 16: ToBGR(S, TQxColorLayout::qxclLab, d24, Count); break;
      case 17: {
        Conv.resize(size_t(Count) * 3 + 6);
        for (int64_t x = 0; x < Count; x += 2) {
          const uint8_t* g = S + 2 * x;
          Conv[size_t(x) * 3] = g[0];
          Conv[size_t(x) * 3 + 1] = g[2];
          Conv[size_t(x) * 3 + 2] = g[3];
          Conv[size_t(x) * 3 + 3] = g[1];
          Conv[size_t(x) * 3 + 4] = g[2];
          Conv[size_t(x) * 3 + 5] = g[3];
        }
        ToBGR(Conv.data(), TQxColorLayout::qxclYCbCr, d24, Count);
        break;
      }
      case 18: {
        // 16-bit gray with extra samples: the high bytes; the second sample is the alpha.
        const bool inv = V.Photometric == 0;
        const bool associated = V.ExtraCount > 0 && V.Extra[0] == 1;
        for (int64_t x = 0; x < Count; ++x) {
          const uint8_t* p = S + 2 * spp * x;
          uint8_t g = uint8_t(W16(p) >> 8);
          if (inv) g = uint8_t(255 - g);
          if (alpha) {
            const uint8_t a = uint8_t(W16(p + 2) >> 8);
            if (associated) g = Unassociate(g, a);
            Alpha(X + x, Y, a);
          }
          d24[3 * x] = d24[3 * x + 1] = d24[3 * x + 2] = g;
        }
        break;
      }
      case 19:
        for (int64_t x = 0; x < Count; ++x) {
          const TQxRGB c = MapColor(V, W16(S + 2 * x));
          std::memcpy(d24 + 3 * x, &c, 3);
        }
        break;
      case 20: {
        const bool rgb = V.Photometric == 2, inv = V.Photometric == 0;
        const int32_t colours = rgb ? 3 : 1;
        const bool associated = V.ExtraCount > 0 && V.Extra[0] == 1;
        for (int64_t x = 0; x < Count; ++x) {
          const uint8_t* p = S + 4 * spp * x;
          uint8_t c[3];
          for (int32_t k = 0; k < colours; ++k) c[k] = FloatTo8(p + 4 * k);
          if (inv) c[0] = uint8_t(255 - c[0]);
          if (!rgb) c[1] = c[2] = c[0];
          if (alpha && spp > colours) {
            const uint8_t a = FloatTo8(p + 4 * colours);
            if (associated)
              for (uint8_t& v : c) v = Unassociate(v, a);
            Alpha(X + x, Y, a);
          }
          d24[3 * x] = c[2];
          d24[3 * x + 1] = c[1];
          d24[3 * x + 2] = c[0];
        }
        break;
      }
      default: break;
    }
  }
};

void Progress(TTIFFVars& V, TQxProgressInfo& P, bool EveryRow) {
  ++P.Counter;
  const int32_t per = int32_t(P.Counter * P.Factor);
  if (EveryRow || per != V.LastPercent) {
    V.LastPercent = per;
    P.Report(per);
  }
}

// Bytes a stored row holds before unpacking, and the room it needs after.
int64_t StoredRowBytes(const TTIFFVars& V, int64_t Width) {
  if (ChunkyCase(V) == 17) return Width * 2;
  return (Width * V.SamplesPerPixel * V.BitsPerSample + 7) / 8;
}

}  // namespace

int32_t TiffChunkyCase(const TTIFFVars& V) { return ChunkyCase(V); }

bool TiffDecodeRows(TTIFFVars& V, TQxBitmap* Bitmap, int64_t Row, int64_t X, const uint8_t* Data, size_t DataLength,
                    int64_t DecodeWidth, int64_t StoreWidth, int64_t Rows, TQxProgressInfo& Progress) {
  const int32_t c = ChunkyCase(V);
  const int64_t R = StoredRowBytes(V, DecodeWidth);
  if (R <= 0) return true;
  TRowSource src(V, Data, DataLength, R, DecodeWidth, Rows);
  // Room for 4-bit samples doubling and narrow samples spreading to a byte each, plus a YCbCr group.
  std::vector<uint8_t> row(size_t(std::max<int64_t>(2 * R, DecodeWidth * V.SamplesPerPixel) + 8), 0);
  std::vector<uint8_t> tmp;
  TConverter conv{V, Bitmap, Bitmap->PixelFormat(), c, {}, {}};
  const int64_t height = Bitmap->Height();
  for (int64_t r = 0; r < Rows; ++r) {
    const int64_t y = Row + r;
    if (y >= height) break;
    if (!src.Next(row.data())) {
      Progress.Abort();
      return false;
    }
    if (src.Exhausted()) break;
    Unpack(V, row.data(), R, DecodeWidth, tmp);
    if (V.BitsPerSample == 16 && !V.LittleEndian && CaseSwaps16(c)) Swap16(row.data(), DecodeWidth * V.SamplesPerPixel);
    if (c == 20 && !V.LittleEndian && V.Predictor != 3) Swap32(row.data(), DecodeWidth * V.SamplesPerPixel);
    UndoPredictor(V, row.data(), DecodeWidth, V.SamplesPerPixel);
    if (c != 0 && StoreWidth > 0) conv.Store(row.data(), y, X, StoreWidth);
    ::Progress(V, Progress, false);
    if (Progress.Aborting()) break;
  }
  return true;
}

bool TiffPlanarDecodable(const TTIFFVars& V) {
  const int32_t bps = V.BitsPerSample, spp = V.SamplesPerPixel;
  if (V.SampleFormat == 3) return false;
  return (V.Photometric == 2 && spp >= 3 && (bps == 8 || bps == 16)) || (V.Photometric == 5 && spp >= 4 && bps == 8);
}

bool TiffDecodePlanarRows(TTIFFVars& V, TQxBitmap* Bitmap, int64_t Row, TQxProgressInfo& Progress, int64_t Rows,
                          int64_t Width, const std::vector<std::vector<uint8_t>>& Planes) {
  if (!TiffPlanarDecodable(V)) return true;
  const int32_t bps = V.BitsPerSample;
  const bool rgb = V.Photometric == 2;
  const int64_t R = Width * bps / 8;
  std::vector<std::unique_ptr<TRowSource>> src;
  for (const auto& p : Planes) src.push_back(std::make_unique<TRowSource>(V, p.data(), p.size(), R, Width, Rows));
  std::vector<std::vector<uint8_t>> rows(Planes.size(), std::vector<uint8_t>(size_t(R) + 8, 0));
  std::vector<uint8_t> cm(size_t(Width) * 4);
  const TQxPixelFormat fmt = Bitmap->PixelFormat();
  // A fourth plane of an RGB page is its alpha when the page has one.
  const bool alpha = rgb && rows.size() >= 4 && V.HasAlpha && !V.IgnoreAlpha && V.Mask;
  const bool associated = V.ExtraCount > 0 && V.Extra[0] == 1;
  if (alpha) V.Mask->Full = false;
  auto sample = [&](size_t P, int64_t X) -> uint16_t {
    if (bps == 8) return rows[P][size_t(X)];
    uint16_t w;
    std::memcpy(&w, &rows[P][size_t(2 * X)], 2);
    return w;
  };
  for (int64_t r = 0; r < Rows; ++r) {
    const int64_t y = Row + r;
    if (y >= Bitmap->Height()) break;
    for (size_t p = 0; p < src.size(); ++p) {
      if (!src[p]->Next(rows[p].data())) {
        Progress.Abort();
        return false;
      }
      if (bps == 16 && !V.LittleEndian) Swap16(rows[p].data(), Width);
      // Differences run along each plane, one sample per pixel.
      UndoPredictor(V, rows[p].data(), Width, 1);
    }
    uint8_t* line = Bitmap->Scanline(int32_t(y));
    if (rgb) {
      uint8_t* m = alpha ? V.Mask->Scanline(int32_t(y)) : nullptr;
      for (int64_t x = 0; x < Width; ++x) {
        uint16_t c[3] = {sample(0, x), sample(1, x), sample(2, x)};
        if (m) {
          const uint16_t a = sample(3, x);
          const uint16_t full = bps == 8 ? 255 : 65535;
          m[x] = bps == 8 ? uint8_t(a) : uint8_t(a >> 8);
          if (associated && a != full)
            for (uint16_t& v : c) {
              const double u = a ? double(v) * full / a : double(full) * (v != 0);
              v = u >= full ? full : uint16_t(u);
            }
        }
        if (fmt == TQxPixelFormat::qxRGB48) {
          std::memcpy(line + 6 * x, c, 6);
        } else {
          const int sh = bps == 16 ? 8 : 0;
          line[3 * x] = uint8_t(c[2] >> sh);
          line[3 * x + 1] = uint8_t(c[1] >> sh);
          line[3 * x + 2] = uint8_t(c[0] >> sh);
        }
      }
    } else {
      for (int64_t x = 0; x < Width; ++x)
        for (size_t p = 0; p < 4; ++p) cm[size_t(x) * 4 + p] = uint8_t(255 - rows[p][size_t(x)]);
      if (fmt == TQxPixelFormat::qxCMYK)
        std::memcpy(line, cm.data(), cm.size());
      else
        QxColorRowConverter(cm.data(), TQxColorLayout::qxclCMYK, line, TQxColorLayout::qxclBGR, int32_t(Width),
                            V.Params);
    }
    ::Progress(V, Progress, true);
    if (Progress.Aborting()) break;
  }
  return true;
}
