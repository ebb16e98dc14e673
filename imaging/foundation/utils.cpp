#include "imaging/foundation/utils.h"

#include <cmath>

#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "platform/base/numeric.h"
#include "platform/graphics/canvas.h"

int32_t QxGrayWeightRed = 21;
int32_t QxGrayWeightGreen = 71;
int32_t QxGrayWeightBlue = 8;
uint8_t QxDialogsBackground = 0;

void QxResetGrayWeights() {
  QxGrayWeightRed = 21;
  QxGrayWeightGreen = 71;
  QxGrayWeightBlue = 8;
  QxDialogsBackground = 0;
}

// ---- THash1 ----

THash1::THash1(int32_t Bits) {
  if (Bits < 0) Bits = 0;
  if (Bits > 24) Bits = 24;
  FBits = Bits;
  FBucketCount = 1u << Bits;
  FValues.assign(FBucketCount, 0);
  FKinds.assign(FBucketCount, 0);
  FExtras.assign(FBucketCount, 0);
}

THash1::~THash1() {
  for (uint32_t B = 0; B < FBucketCount; ++B) {
    if (FKinds[B] != 2) continue;
    auto* It = reinterpret_cast<THash1Item*>(FValues[B]);
    while (It) {
      THash1Item* Next = It->Next;
      delete It;
      It = Next;
    }
  }
}

bool THash1::Insert(uint32_t Value, uint32_t& Bucket, THash1Item*& NewItem) {
  Bucket = BucketOf(Value);
  NewItem = nullptr;
  switch (FKinds[Bucket]) {
    case 0:
      FKinds[Bucket] = 1;
      FValues[Bucket] = Value;
      break;
    case 1: {
      if (static_cast<uint32_t>(FValues[Bucket]) == Value) return false;
      NewItem = new THash1Item{Value, nullptr, 0};
      auto* Old = new THash1Item{static_cast<uint32_t>(FValues[Bucket]), NewItem, FExtras[Bucket]};
      FValues[Bucket] = reinterpret_cast<uintptr_t>(Old);
      FKinds[Bucket] = 2;
      break;
    }
    default: {
      auto* It = reinterpret_cast<THash1Item*>(FValues[Bucket]);
      while (true) {
        if (It->Value == Value) return false;
        if (!It->Next) break;
        It = It->Next;
      }
      NewItem = new THash1Item{Value, nullptr, 0};
      It->Next = NewItem;
      break;
    }
  }
  ++FCount;
  return true;
}

bool THash1::AddValue(uint32_t Value) {
  uint32_t Bucket;
  THash1Item* Item;
  return Insert(Value, Bucket, Item);
}

// ---- routines ----

void QxOrderCorners(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  if (X1 > X2) QxSwapInt(X1, X2);
  if (Y1 > Y2) QxSwapInt(Y1, Y2);
}

int32_t QxRoundUp(long double X) {
  int64_t T = Trunc(X);
  return static_cast<int32_t>(Frac(X) > 0 ? T + 1 : T);
}

int32_t QxRoundDown(long double X) {
  int64_t T = Trunc(X);
  return static_cast<int32_t>(Frac(X) < 0 ? T - 1 : T);
}

void QxTColorToRGB(TColor Color, TQxRGB& Result) {
  uint32_t C = static_cast<uint32_t>(ColorToRGB(Color));
  Result.r = static_cast<uint8_t>(C & 0xFF);
  Result.g = static_cast<uint8_t>((C >> 8) & 0xFF);
  Result.b = static_cast<uint8_t>((C >> 16) & 0xFF);
}

TQxRGB QxTColorToRGB(TColor Color) {
  TQxRGB R;
  QxTColorToRGB(Color, R);
  return R;
}

uint32_t QxTColorToARGB(TColor Color, uint8_t Alpha) {
  return QxSwapRedBlue(static_cast<uint32_t>(ColorToRGB(Color))) | (uint32_t(Alpha) << 24);
}

int32_t QxMaskBitWidth(uint32_t Mask) {
  int32_t Start = 31;
  for (int32_t B = 0; B <= 30; ++B)
    if (Mask & (1u << B)) {
      Start = B;
      break;
    }
  int32_t N = 0;
  for (int32_t B = Start; B <= 31 && (Mask & (1u << B)); ++B) ++N;
  return N;
}

int32_t QxBitsForCount(uint32_t N) {
  if (N == 0) return -1;
  int32_t High = 31;
  while (!(N & (1u << High))) --High;
  return (N & (N - 1)) == 0 ? High : High + 1;
}

int64_t QxRowBytes(int64_t Width, int32_t BitsPerPixel, int32_t AlignBits) {
  int64_t Bits = Width * BitsPerPixel;
  if (AlignBits == 32) return ((Bits + 31) >> 5) << 2;
  if (AlignBits < 8) AlignBits = 8;
  return ((Bits + AlignBits - 1) / AlignBits) * (AlignBits / 8);
}

int32_t QxVclPixelFormatBits(TPixelFormat Format) {
  switch (Format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit: return 15;
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
  }
}

TQxPixelFormat QxVclToPixelFormat(TPixelFormat Format) {
  switch (Format) {
    case TPixelFormat::pf1bit: return TQxPixelFormat::qx1g;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return TQxPixelFormat::qx8p;
    default: return TQxPixelFormat::qx24RGB;
  }
}

int64_t QxVclRowBytes(int64_t Width, TPixelFormat Format) {
  return QxRowBytes(Width, QxVclPixelFormatBits(Format), 32);
}

namespace {
struct TReverseTable {
  uint8_t T[256];
  TReverseTable() {
    for (int I = 0; I < 256; ++I) {
      uint8_t R = 0;
      for (int B = 0; B < 8; ++B)
        if (I & (1 << B)) R = static_cast<uint8_t>(R | (0x80 >> B));
      T[I] = R;
    }
  }
};
const TReverseTable GReverse;
}  // namespace

void QxReverseBits8(uint8_t& B) { B = GReverse.T[B]; }

void QxReverseBits32(uint32_t& V) {
  uint32_t S = QxSwap32(V);
  V = uint32_t(GReverse.T[S & 0xFF]) | (uint32_t(GReverse.T[(S >> 8) & 0xFF]) << 8) |
      (uint32_t(GReverse.T[(S >> 16) & 0xFF]) << 16) | (uint32_t(GReverse.T[S >> 24]) << 24);
}

void QxSwap16Array(void* P, int64_t Count) {
  auto* B = static_cast<uint8_t*>(P);
  for (int64_t I = 0; I < Count; ++I) {
    uint8_t T = B[2 * I];
    B[2 * I] = B[2 * I + 1];
    B[2 * I + 1] = T;
  }
}

long double QxIntPower(long double Base, int32_t Exponent) {
  int64_t E = Exponent;
  bool Neg = E < 0;
  uint64_t N = static_cast<uint64_t>(Neg ? -E : E);
  long double R = 1;
  long double B = Base;
  while (N) {
    if (N & 1) R *= B;
    B *= B;
    N >>= 1;
  }
  return Neg ? 1 / R : R;
}

long double QxFloatPower(long double Base, long double Exponent) {
  if (Exponent == 0) return 1;
  if (Base == 0 && Exponent > 0) return 0;
  if (std::truncl(Exponent) == Exponent && std::fabs(Exponent) <= 2147483647.0L)
    return QxIntPower(Base, static_cast<int32_t>(Exponent));
  return std::exp2l(Exponent * std::log2l(Base));
}

double QxPowerDouble(double Base, double Exponent) {
  if (std::trunc(Exponent) == Exponent && std::fabs(Exponent) < 2147483648.0) {
    int32_t E = static_cast<int32_t>(Exponent);
    if (E == 0) return 1;
    if (Base == 0) return 0;
    if (E == 1) return Base;
    if (E == 2) return Base * Base;
    if (E == -1) return 1 / Base;
    if (E == -2) return 1 / (Base * Base);
    return static_cast<double>(QxIntPower(Base, E));
  }
  if (Base == 0) return 0;
  return std::exp2(Exponent * std::log2(Base));
}

// ---- text boxes ----

void QxDrawTextBox(TCanvas* Canvas, int32_t& X, int32_t& Y, TColor FrameColor1, TColor FrameColor2,
                   int32_t ClientHeight, int32_t ClientWidth, TBitmap* SaveBitmap, TBrush* Brush, TFont* Font,
                   const std::string& Text) {
  if (!Canvas) return;
  try {
    if (Font) Canvas->Font()->Assign(*Font);
    if (Brush) Canvas->Brush()->Assign(*Brush);
    int32_t W = Canvas->TextWidth(Text) + 12;
    int32_t H = Canvas->TextHeight(Text) + 12;
    X = QxMaxInt(X, 0);
    Y = QxMaxInt(Y, 0);
    X = QxMinInt(X, ClientWidth - W - 1);
    Y = QxMinInt(Y, ClientHeight - H - 1);
    if (SaveBitmap) {
      SaveBitmap->SetPixelFormat(TPixelFormat::pf24bit);
      SaveBitmap->SetSize(W, H);
      SaveBitmap->Canvas()->SetCopyMode(cmSrcCopy);
      SaveBitmap->Canvas()->CopyRect(Rect(0, 0, W, H), Canvas, Rect(X, Y, X + W, Y + H));
    }
    Canvas->FillRect(Rect(X + 6, Y + 6, X + W, Y + H));
    QxDrawTwoColorFrame(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, FrameColor1, FrameColor2);
    Canvas->TextOut(X + 9, Y + 9, Text);
  } catch (const std::exception&) {
    // Drawing helpers never fail their caller.
  }
}

void QxDrawHintBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& SizeText, const std::string& Text) {
  if (!Canvas) return;
  try {
    TQxCanvas C(Canvas, true, true);
    TFont* F = C.GetFont();
    F->SetName("Arial");
    F->SetSize(9);
    F->SetColor(clBlack);
    C.Brush()->SetColor(0x60FFFF);
    C.Brush()->SetStyle(TBrushStyle::bsSolid);
    C.Brush()->SetTransparency(128);
    int32_t W = QxMaxInt(C.TextWidth(Text), C.TextWidth(SizeText)) + 12;
    int32_t H = C.TextHeight(Text) + 12;
    X = QxMaxInt(X, 0);
    Y = QxMaxInt(Y, 0);
    C.FillRect(Rect(X + 6, Y + 6, X + W, Y + H));
    QxDrawTwoColorFrame(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, 8421504, 16777215);
    Canvas->Brush()->SetStyle(TBrushStyle::bsClear);
    Canvas->TextOut(X + 9, Y + 9, Text);
  } catch (const std::exception&) {
  }
}
