// Block transfers between canvases: any ternary raster operation, stretching, transparent copies and
// gradients. The common cases (plain copies and fills of equal formats) run as row copies.
#include <cstring>
#include <immintrin.h>
#include <unordered_map>

#include "platform/base/parallel.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/device.h"

using qvgfx::TBrushSource;
using qvgfx::TDevice;
using qvgfx::TSurface;

namespace {

// Maps native values of a source bitmap to native values of the destination, as a blit converts them.
class TConverter {
 public:
  TConverter(const TDevice& Src, const TDevice& Dst) : FSrc(*Src.S.Bmp), FDst(*Dst.S.Bmp) {
    int SB = Src.S.Bpp, DB = Dst.S.Bpp;
    FMask = Dst.S.Mask();
    if (SB == 1 && DB == 1) {
      FKind = 0;
    } else if (SB == 1) {
      // 0 takes the destination's text colour, 1 its background colour.
      FKind = 1;
      FLut[0] = Dst.Native(Dst.St.TextColor);
      FLut[1] = Dst.Native(Dst.St.BkColor);
    } else if (DB == 1) {
      // The source's background colour becomes 1, every other colour 0.
      FKind = 2;
      FKey = Src.St.BkColor & 0xFFFFFF;
    } else if (SB == DB && (SB > 8 || FSrc.ColorTable() == FDst.ColorTable())) {
      FKind = 0;
    } else if ((SB == 24 || SB == 32) && (DB == 24 || DB == 32)) {
      FKind = 0;
    } else if (SB <= 8) {
      FKind = 1;
      for (uint32_t I = 0; I < (1u << SB); ++I) FLut[I] = qvgfx::ColorToNative(FDst, qvgfx::NativeToColor(FSrc, I));
    } else {
      FKind = 3;
    }
  }
  bool Identity() const { return FKind == 0; }
  uint32_t operator()(uint32_t V) {
    switch (FKind) {
      case 0: return V & FMask;
      case 1: return FLut[V & 0xFF];
      case 2: return qvgfx::NativeToColor(FSrc, V) == FKey ? 1u : 0u;
      default: {
        auto It = FCache.find(V);
        if (It != FCache.end()) return It->second;
        uint32_t R = qvgfx::ColorToNative(FDst, qvgfx::NativeToColor(FSrc, V));
        if (FCache.size() < 65536) FCache.emplace(V, R);
        return R;
      }
    }
  }

 private:
  const TBitmap& FSrc;
  const TBitmap& FDst;
  int FKind = 0;
  uint32_t FMask = 0xFFFFFFFF;
  COLORREF FKey = 0;
  uint32_t FLut[256] = {};
  std::unordered_map<uint32_t, uint32_t> FCache;
};

#if defined(__x86_64__) || defined(__i386__)
// Widens 16 three-byte pixels at a time to four bytes with a zero top byte; returns the pixels done.
// Every 16-byte load stays inside the 3 * N source bytes.
__attribute__((target("ssse3"))) int32_t Widen24To32Ssse3(uint32_t* O, const uint8_t* P, int32_t N) {
  const __m128i lo = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i hi = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  int32_t X = 0;
  for (; X + 16 <= N; X += 16, P += 48, O += 16) {
    const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));        // pixels 0-5
    const __m128i B = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16));   // pixels 5-10
    const __m128i C = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 32));   // pixels 10-15
    _mm_storeu_si128(reinterpret_cast<__m128i*>(O), _mm_shuffle_epi8(A, lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(O + 4), _mm_shuffle_epi8(_mm_alignr_epi8(B, A, 12), lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(O + 8), _mm_shuffle_epi8(_mm_alignr_epi8(C, B, 8), lo));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(O + 12), _mm_shuffle_epi8(C, hi));
  }
  return X;
}

// Sixteen pixels a step as two 256-bit registers of eight, four pixels in each 128-bit half, each half
// loaded from where its pixels start. The last load of a step reads 4 bytes past the step's 48, so the
// loop stops two pixels early: every load stays inside the 3 * N source bytes.
__attribute__((target("avx2"))) int32_t Widen24To32Avx2(uint32_t* O, const uint8_t* P, int32_t N) {
  const __m256i Spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4, 5,
                                          -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int32_t X = 0;
  for (; X + 18 <= N; X += 16, P += 48, O += 16) {
    const __m256i A = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 12)), 1);
    const __m256i B = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 24))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 36)), 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(O), _mm256_shuffle_epi8(A, Spread));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(O + 8), _mm256_shuffle_epi8(B, Spread));
  }
  return X;
}
#endif

// Widens N three-byte pixels to four bytes with a zero top byte.
void Widen24To32(uint32_t* O, const uint8_t* P, int32_t N) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool Avx2 = __builtin_cpu_supports("avx2");
  static const bool Ssse3 = __builtin_cpu_supports("ssse3");
  if (Avx2) {
    const int32_t Done = Widen24To32Avx2(O, P, N);
    O += Done;
    P += static_cast<int64_t>(Done) * 3;
    N -= Done;
  }
  if (Ssse3) {
    const int32_t Done = Widen24To32Ssse3(O, P, N);
    O += Done;
    P += static_cast<int64_t>(Done) * 3;
    N -= Done;
  }
#endif
  // Four pixels from three words at a time, then four-byte reads, never past the row's end.
  for (; N > 4; N -= 4, P += 12, O += 4) {
    uint32_t W0, W1, W2;
    std::memcpy(&W0, P, 4);
    std::memcpy(&W1, P + 4, 4);
    std::memcpy(&W2, P + 8, 4);
    O[0] = W0 & 0xFFFFFFu;
    O[1] = (W0 >> 24) | ((W1 & 0xFFFFu) << 8);
    O[2] = (W1 >> 16) | ((W2 & 0xFFu) << 16);
    O[3] = W2 >> 8;
  }
  for (; N > 1; --N, P += 3) {
    uint32_t V;
    std::memcpy(&V, P, 4);
    *O++ = V & 0xFFFFFFu;
  }
  if (N == 1) *O = P[0] | (P[1] << 8) | (static_cast<uint32_t>(P[2]) << 16);
}

bool UsesSource(uint8_t Op) { return ((Op >> 2) & 0x33) != (Op & 0x33); }
bool UsesPattern(uint8_t Op) { return ((Op >> 4) & 0x0F) != (Op & 0x0F); }

int BytesPerPixel(int Bpp) { return Bpp == 15 ? 2 : Bpp / 8; }

// Source index for destination steps From .. To - 1 of N over a source extent of M (mirrored when
// Flip); only the steps that can land in the bitmap are kept.
class TStretchMap {
 public:
  TStretchMap(int32_t N, int32_t M, bool Flip, int64_t From, int64_t To) {
    From = std::clamp<int64_t>(From, 0, N);
    To = std::clamp<int64_t>(To, From, N);
    this->From = static_cast<int32_t>(From);
    this->To = static_cast<int32_t>(To);
    FMap.resize(static_cast<size_t>(To - From));
    // Unstretched (every plain copy to the window) needs no division per step.
    for (int64_t I = From; I < To; ++I) {
      int32_t S = static_cast<int32_t>(N == M ? I : I * M / N);
      FMap[static_cast<size_t>(I - From)] = Flip ? M - 1 - S : S;
    }
  }
  int32_t operator[](size_t I) const { return FMap[I - static_cast<size_t>(From)]; }
  // Element I of the map sits at Data()[I - From].
  const int32_t* Data() const { return FMap.data(); }
  int32_t From = 0, To = 0;

 private:
  std::vector<int32_t> FMap;
};

}  // namespace

bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc,
                int32_t WSrc, int32_t HSrc, uint32_t Rop) {
  if (!Dest) return false;
  uint8_t Op = static_cast<uint8_t>(Rop >> 16);
  bool NeedS = UsesSource(Op), NeedP = UsesPattern(Op);
  if (NeedS && !Src) return false;
  Dest->RequiredState();
  if (NeedS) Src->RequiredState();
  TDevice D(Dest);
  if (!D.Valid() || W == 0 || H == 0) return true;
  if (NeedS && (WSrc == 0 || HSrc == 0)) return true;
  if (!NeedS) {
    WSrc = W;
    HSrc = H;
  }
  bool FlipX = (W < 0) != (WSrc < 0), FlipY = (H < 0) != (HSrc < 0);
  if (W < 0) {
    X += W;
    W = -W;
  }
  if (H < 0) {
    Y += H;
    H = -H;
  }
  if (WSrc < 0) {
    XSrc += WSrc;
    WSrc = -WSrc;
  }
  if (HSrc < 0) {
    YSrc += HSrc;
    HSrc = -HSrc;
  }
  int32_t DX0 = D.DX(X), DY0 = D.DY(Y);
  TStretchMap MapX(W, WSrc, FlipX, static_cast<int64_t>(D.Bounds.Left) - DX0, static_cast<int64_t>(D.Bounds.Right) - DX0);
  TStretchMap MapY(H, HSrc, FlipY, static_cast<int64_t>(D.Bounds.Top) - DY0, static_cast<int64_t>(D.Bounds.Bottom) - DY0);
  bool Plain = W == WSrc && H == HSrc && !FlipX && !FlipY;

  if (!NeedS) {
    // Pattern and destination only.
    TBrushSource BS(D, *Dest->Brush());
    uint32_t M = D.S.Mask();
    bool Solid = BS.Solid();
    bool Stream = static_cast<int64_t>(W) * H * 4 > qvgfx::StreamingBytes;
    for (int32_t I = MapY.From; I < MapY.To; ++I)
      D.Span(DY0 + I, DX0 + MapX.From, DX0 + MapX.To, [&](int32_t Yy, int32_t A, int32_t B) {
        if (Op == 0xF0 && Solid && D.S.Bpp == 32) {
          qvgfx::FillRow32(reinterpret_cast<uint32_t*>(D.S.Row(Yy)) + A, B - A, BS.SolidValue(), Stream);
          return;
        }
        for (int32_t Xx = A; Xx < B; ++Xx) {
          uint32_t P = 0;
          if (NeedP && !BS.At(Xx, Yy, P)) P = D.S.Get(Xx, Yy);
          D.S.Set(Xx, Yy, qvgfx::ApplyRop3(Op, P, 0, D.S.Get(Xx, Yy)) & M);
        }
      });
    if (Stream) qvgfx::StreamFence();
    return true;
  }

  TDevice S(Src);
  if (!S.S.Valid()) return true;
  int32_t SX0 = S.DX(XSrc), SY0 = S.DY(YSrc);
  TConverter Conv(S, D);
  TBrushSource BS(D, *Dest->Brush());
  uint32_t M = D.S.Mask();
  bool SameBitmap = S.S.Bmp == D.S.Bmp;
  int Bpp = D.S.Bpp;
  bool RowCopy = Op == 0xCC && Conv.Identity() && S.S.Bpp == Bpp && Bpp >= 8;
  // Overlapping copies inside one bitmap go in the direction that reads rows before writing them.
  bool Upward = SameBitmap && DY0 > SY0;
  bool OneClip = D.Clip.size() == 1;
  bool Mixed24And32 = Op == 0xCC && !SameBitmap && ((S.S.Bpp == 24 && Bpp == 32) || (S.S.Bpp == 32 && Bpp == 24));
  // The columns split into runs: Step 1 runs read consecutive source pixels (copied as blocks), Step 0
  // runs hold the rest, pixel by pixel. Only columns whose source exists are in a run.
  struct TRun {
    int32_t Dst, Src, Len, Step;
  };
  std::vector<TRun> Runs;
  if (RowCopy && !Plain) {
    for (int32_t Xx = MapX.From; Xx < MapX.To;) {
      int32_t SX = SX0 + MapX[static_cast<size_t>(Xx)];
      if (SX < 0 || SX >= S.S.Width) {
        ++Xx;
        continue;
      }
      int32_t E = Xx + 1;
      while (E < MapX.To && MapX[static_cast<size_t>(E)] == MapX[static_cast<size_t>(E - 1)] + 1 &&
             SX0 + MapX[static_cast<size_t>(E)] < S.S.Width)
        ++E;
      if (E - Xx >= 16 && !FlipX) {
        Runs.push_back({Xx, MapX[static_cast<size_t>(Xx)], E - Xx, 1});
      } else {
        E = Xx + 1;
        while (E < MapX.To && SX0 + MapX[static_cast<size_t>(E)] >= 0 && SX0 + MapX[static_cast<size_t>(E)] < S.S.Width &&
               !(E + 16 <= MapX.To && !FlipX && MapX[static_cast<size_t>(E + 15)] == MapX[static_cast<size_t>(E)] + 15))
          ++E;
        if (!Runs.empty() && Runs.back().Step == 0 && Runs.back().Dst + Runs.back().Len == Xx) Runs.back().Len += E - Xx;
        else Runs.push_back({Xx, MapX[static_cast<size_t>(Xx)], E - Xx, 0});
      }
      Xx = E;
    }
  }
  // Indexed by destination column; the base is kept as an offset because the map may be empty
  // (no storage) and a pointer moved before its array is not a valid pointer.
  struct TColumnMap {
    const int32_t* Base;
    int64_t Off;
    int32_t operator[](int64_t X) const { return Base[X - Off]; }
  } const MX{MapX.Data(), static_cast<int64_t>(MapX.From) + DX0};
  std::vector<uint32_t> Line;
  // First is the first row of the band being drawn: a row may repeat the row above only inside its band.
  auto DoRow = [&](int32_t K, int32_t First) {
    int32_t I = Upward ? MapY.To - 1 - K : MapY.From + K;
    int32_t SY = SY0 + MapY[static_cast<size_t>(I)];
    if (SY < 0 || SY >= S.S.Height) return;
    D.Span(DY0 + I, DX0 + MapX.From, DX0 + MapX.To, [&](int32_t Yy, int32_t A, int32_t B) {
      // Clip the span to the source columns that exist.
      if (Plain) {
        A = static_cast<int32_t>(std::max<int64_t>(A, static_cast<int64_t>(DX0) - SX0));
        B = static_cast<int32_t>(std::min<int64_t>(B, static_cast<int64_t>(DX0) - SX0 + S.S.Width));
        if (A >= B) return;
      }
      if (RowCopy && Plain && !SameBitmap) {
        int BPP = BytesPerPixel(Bpp);
        std::memcpy(D.S.Row(Yy) + static_cast<int64_t>(A) * BPP, S.S.Row(SY) + static_cast<int64_t>(SX0 + A - DX0) * BPP,
                         static_cast<size_t>(B - A) * BPP);
        return;
      }
      if (RowCopy && Plain) {
        int BPP = BytesPerPixel(Bpp);
        std::memmove(D.S.Row(Yy) + static_cast<int64_t>(A) * BPP, S.S.Row(SY) + static_cast<int64_t>(SX0 + A - DX0) * BPP,
                     static_cast<size_t>(B - A) * BPP);
        return;
      }
      if (RowCopy && !SameBitmap) {
        int BPP = BytesPerPixel(Bpp);
        uint8_t* Out = D.S.Row(Yy);
        // A row that repeats the source row of the row above is a copy of that row.
        if (OneClip && K > First && MapY[static_cast<size_t>(I)] == MapY[static_cast<size_t>(I - 1)] && !Upward) {
          std::memcpy(Out + static_cast<int64_t>(A) * BPP, D.S.Row(Yy - 1) + static_cast<int64_t>(A) * BPP,
                           static_cast<size_t>(B - A) * BPP);
          return;
        }
        const uint8_t* In = S.S.Row(SY);
        for (const TRun& Rn : Runs) {
          int32_t RA = std::max(A, DX0 + Rn.Dst), RB = std::min(B, DX0 + Rn.Dst + Rn.Len);
          if (RA >= RB) continue;
          int32_t SX = SX0 + Rn.Src + (FlipX ? -(RA - DX0 - Rn.Dst) : (RA - DX0 - Rn.Dst));
          if (Rn.Step == 1) {
            std::memcpy(Out + static_cast<int64_t>(RA) * BPP, In + static_cast<int64_t>(SX) * BPP,
                             static_cast<size_t>(RB - RA) * BPP);
          } else if (Bpp == 32) {
            auto* O = reinterpret_cast<uint32_t*>(Out);
            const auto* Src32 = reinterpret_cast<const uint32_t*>(In) + SX0;
            for (int32_t Xx = RA; Xx < RB; ++Xx) O[Xx] = Src32[MX[Xx]];
          } else if (BPP == 3) {
            // Four bytes at a time where the pixel read past is still in the source row and the one
            // written past is the next to be written; the few others byte by byte. The map rises from
            // left to right (falls when mirrored), so those sit at one end and the last pixel.
            const uint8_t* Src24 = In + static_cast<int64_t>(SX0) * 3;
            const int32_t Last = S.S.Width - 1 - SX0;  // map values below it have a pixel after them
            auto Three = [&](int32_t Xx) {
              const uint8_t* P = Src24 + static_cast<int64_t>(MX[Xx]) * 3;
              uint8_t* O = Out + static_cast<int64_t>(Xx) * 3;
              O[0] = P[0];
              O[1] = P[1];
              O[2] = P[2];
            };
            int32_t Lo = RA, Hi = RB - 1;
            if (FlipX)
              for (; Lo < Hi && MX[Lo] >= Last; ++Lo) Three(Lo);
            else
              while (Hi > Lo && MX[Hi - 1] >= Last) --Hi;
            for (int32_t Xx = Lo; Xx < Hi; ++Xx) {
              uint32_t V;
              std::memcpy(&V, Src24 + static_cast<int64_t>(MX[Xx]) * 3, 4);
              std::memcpy(Out + static_cast<int64_t>(Xx) * 3, &V, 4);
            }
            for (int32_t Xx = std::max(Hi, Lo); Xx < RB; ++Xx) Three(Xx);
          } else {
            for (int32_t Xx = RA; Xx < RB; ++Xx)
              std::memcpy(Out + static_cast<int64_t>(Xx) * BPP, In + static_cast<int64_t>(SX0 + MX[Xx]) * BPP,
                          static_cast<size_t>(BPP));
          }
        }
        return;
      }
      if (Mixed24And32) {
        // Plain copies between 24- and 32-bit rows, converted a row at a time.
        const uint8_t* In = S.S.Row(SY);
        uint8_t* Out = D.S.Row(Yy);
        if (Plain) {
          const uint8_t* P = In + static_cast<int64_t>(SX0 + A - DX0) * S.S.Bpp / 8;
          if (Bpp == 32) {
            Widen24To32(reinterpret_cast<uint32_t*>(Out) + A, P, B - A);
          } else {
            uint8_t* O = Out + static_cast<int64_t>(A) * 3;
            for (int32_t N = B - A; N > 0; --N, P += 4, O += 3) {
              O[0] = P[0];
              O[1] = P[1];
              O[2] = P[2];
            }
          }
          return;
        }
        for (int32_t Xx = A; Xx < B; ++Xx) {
          int32_t SX = SX0 + MX[Xx];
          if (SX < 0 || SX >= S.S.Width) continue;
          const uint8_t* P = In + static_cast<int64_t>(SX) * (S.S.Bpp / 8);
          if (Bpp == 32) {
            reinterpret_cast<uint32_t*>(Out)[Xx] = P[0] | (P[1] << 8) | (static_cast<uint32_t>(P[2]) << 16);
          } else {
            uint8_t* O = Out + static_cast<int64_t>(Xx) * 3;
            O[0] = P[0];
            O[1] = P[1];
            O[2] = P[2];
          }
        }
        return;
      }
      if (SameBitmap) {
        // Read the source row first so that an overlapping write cannot feed itself.
        Line.resize(static_cast<size_t>(B - A));
        for (int32_t Xx = A; Xx < B; ++Xx) {
          int32_t SX = SX0 + MapX[static_cast<size_t>(Xx - DX0)];
          Line[static_cast<size_t>(Xx - A)] = (SX >= 0 && SX < S.S.Width) ? S.S.Get(SX, SY) : 0xFFFFFFFFu;
        }
      }
      for (int32_t Xx = A; Xx < B; ++Xx) {
        int32_t SX = SX0 + MapX[static_cast<size_t>(Xx - DX0)];
        if (SX < 0 || SX >= S.S.Width) continue;
        uint32_t SV = SameBitmap ? Line[static_cast<size_t>(Xx - A)] : S.S.Get(SX, SY);
        uint32_t Sv = Conv(SV);
        if (Op == 0xCC) {
          D.S.Set(Xx, Yy, Sv);
          continue;
        }
        uint32_t P = 0;
        if (NeedP && !BS.At(Xx, Yy, P)) P = D.S.Get(Xx, Yy);
        D.S.Set(Xx, Yy, qvgfx::ApplyRop3(Op, P, Sv, D.S.Get(Xx, Yy)) & M);
      }
    });
  };
  const int32_t Rows = MapY.To - MapY.From;
  // Copies between two bitmaps write each row from the source alone; large ones (a window's worth of
  // pixels) are spread over the cores.
  if (!SameBitmap && (RowCopy || Mixed24And32) && static_cast<int64_t>(W) * Rows >= (1 << 16)) {
    ParallelBands(0, Rows, std::max<int32_t>(4, 8192 / std::max(W, 1)), [&](int32_t First, int32_t Last) {
      for (int32_t K = First; K < Last; ++K) DoRow(K, First);
    });
  } else {
    for (int32_t K = 0; K < Rows; ++K) DoRow(K, 0);
  }
  return true;
}

bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc, uint32_t Rop) {
  return StretchBlt(Dest, X, Y, W, H, Src, XSrc, YSrc, W, H, Rop);
}

bool PatBlt(HDC DC, int32_t X, int32_t Y, int32_t W, int32_t H, uint32_t Rop) {
  uint8_t Op = static_cast<uint8_t>(Rop >> 16);
  if (UsesSource(Op)) return false;
  return StretchBlt(DC, X, Y, W, H, nullptr, 0, 0, W, H, Rop);
}

namespace {

template <typename Skip>
bool MaskedStretch(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc,
                   int32_t WSrc, int32_t HSrc, Skip&& SkipPixel) {
  if (!Dest || !Src) return false;
  if (W <= 0 || H <= 0 || WSrc <= 0 || HSrc <= 0) return false;
  Dest->RequiredState();
  Src->RequiredState();
  TDevice D(Dest), S(Src);
  if (!D.Valid() || !S.S.Valid()) return true;
  TConverter Conv(S, D);
  int32_t DX0 = D.DX(X), DY0 = D.DY(Y), SX0 = S.DX(XSrc), SY0 = S.DY(YSrc);
  TStretchMap MapX(W, WSrc, false, static_cast<int64_t>(D.Bounds.Left) - DX0, static_cast<int64_t>(D.Bounds.Right) - DX0);
  TStretchMap MapY(H, HSrc, false, static_cast<int64_t>(D.Bounds.Top) - DY0, static_cast<int64_t>(D.Bounds.Bottom) - DY0);
  for (int32_t I = MapY.From; I < MapY.To; ++I) {
    int32_t SY = SY0 + MapY[static_cast<size_t>(I)];
    if (SY < 0 || SY >= S.S.Height) continue;
    D.Span(DY0 + I, DX0 + MapX.From, DX0 + MapX.To, [&](int32_t Yy, int32_t A, int32_t B) {
      for (int32_t Xx = A; Xx < B; ++Xx) {
        int32_t MXi = MapX[static_cast<size_t>(Xx - DX0)], SX = SX0 + MXi;
        if (SX < 0 || SX >= S.S.Width) continue;
        uint32_t V = S.S.Get(SX, SY);
        if (SkipPixel(V, MXi, MapY[static_cast<size_t>(I)])) continue;
        D.S.Set(Xx, Yy, Conv(V));
      }
    });
  }
  return true;
}

}  // namespace

bool TransparentBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc, int32_t YSrc,
                    int32_t WSrc, int32_t HSrc, COLORREF Transparent) {
  if (!Src || !Src->Bitmap()) return false;
  const TBitmap& SB = *Src->Bitmap();
  COLORREF Key = Transparent & 0xFFFFFF;
  return MaskedStretch(Dest, X, Y, W, H, Src, XSrc, YSrc, WSrc, HSrc,
                       [&](uint32_t V, int32_t, int32_t) { return qvgfx::NativeToColor(SB, V) == Key; });
}

bool TransparentStretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t W, int32_t H, HDC Src, int32_t XSrc,
                           int32_t YSrc, int32_t WSrc, int32_t HSrc, HDC Mask, int32_t XMask, int32_t YMask) {
  if (!Mask || !Mask->Bitmap()) return false;
  TBitmap* MB = Mask->Bitmap();
  return MaskedStretch(Dest, X, Y, W, H, Src, XSrc, YSrc, WSrc, HSrc, [&](uint32_t, int32_t MX, int32_t MY) {
    COLORREF C = MB->GetPixel(XMask + MX, YMask + MY);
    return C == 0xFFFFFFFF || C != 0;  // outside the mask or white: keep the destination
  });
}

bool GradientFill(HDC DC, const TRIVERTEX* Vertices, uint32_t NVertices, const GRADIENT_RECT* Rects, uint32_t NRects,
                  uint32_t Mode) {
  if (!DC || !Vertices || !Rects || Mode > GRADIENT_FILL_RECT_V) return false;
  TDevice D(DC);
  if (!D.Valid()) return true;
  for (uint32_t R = 0; R < NRects; ++R) {
    if (Rects[R].UpperLeft >= NVertices || Rects[R].LowerRight >= NVertices) return false;
    TRIVERTEX A = Vertices[Rects[R].UpperLeft], B = Vertices[Rects[R].LowerRight];
    if (B.x < A.x) std::swap(A.x, B.x);
    if (B.y < A.y) std::swap(A.y, B.y);
    bool Vert = Mode == GRADIENT_FILL_RECT_V;
    int32_t Span = Vert ? B.y - A.y : B.x - A.x;
    if (Span <= 0 || B.x <= A.x || B.y <= A.y) continue;
    const TRIVERTEX &C1 = Vertices[Rects[R].UpperLeft], &C2 = Vertices[Rects[R].LowerRight];
    auto Mix = [&](uint16_t P, uint16_t Q, int32_t I) {
      return static_cast<uint32_t>((P + (static_cast<int64_t>(Q) - P) * I / Span) >> 8) & 0xFF;
    };
    auto ValueAt = [&](int32_t I) {
      COLORREF C = RGB(static_cast<uint8_t>(Mix(C1.Red, C2.Red, I)), static_cast<uint8_t>(Mix(C1.Green, C2.Green, I)),
                       static_cast<uint8_t>(Mix(C1.Blue, C2.Blue, I)));
      uint32_t V = D.Native(C);
      if (D.S.Bpp == 32) V |= Mix(C1.Alpha, C2.Alpha, I) << 24;
      return V;
    };
    for (int32_t Yy = D.RowFrom(A.y); Yy < D.RowTo(B.y); ++Yy) {
      uint32_t RowV = Vert ? ValueAt(Yy - A.y) : 0;
      D.Span(D.DY(Yy), D.DX(A.x), D.DX(B.x), [&](int32_t Dy, int32_t L, int32_t Rr) {
        for (int32_t Xx = L; Xx < Rr; ++Xx) D.S.Set(Xx, Dy, Vert ? RowV : ValueAt(Xx - D.DX(A.x)));
      });
    }
  }
  return true;
}
