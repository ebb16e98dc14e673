#include "imaging/foundation/helpers.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

#include "imaging/foundation/bitmap.h"
#include "platform/base/files.h"
#include "platform/base/numeric.h"
#include "platform/base/streams.h"
#include "platform/base/strings.h"
#include "platform/base/system.h"
#include "platform/base/clock.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"

// ---- encoders ----

int32_t QxAscii85Group(const uint8_t*& Src, int32_t Count, char*& Dest) {
  if (Count < 1) Count = 1;
  if (Count > 4) Count = 4;
  uint32_t V = 0;
  for (int32_t I = 0; I < 4; ++I) V = (V << 8) | (I < Count ? Src[I] : 0u);
  Src += Count;
  if (V == 0 && Count == 4) {
    *Dest++ = 'z';
    return 1;
  }
  char Digits[5];
  for (int I = 4; I >= 0; --I) {
    Digits[I] = static_cast<char>(V % 85 + 33);
    V /= 85;
  }
  for (int32_t I = 0; I <= Count; ++I) *Dest++ = Digits[I];
  return Count + 1;
}

int64_t QxAscii85MaxLength(int64_t Count) {
  int64_t Chars = (Count / 4 + 1) * 5;
  return Chars + (Chars / 75 + 1) * 2 + 4;
}

int64_t QxAscii85Encode(const uint8_t*& Src, int64_t Count, char*& Dest, int64_t& Written) {
  int64_t Result = 0;
  int64_t Line = 0;
  while (Count > 0) {
    int32_t N = static_cast<int32_t>(Count < 4 ? Count : 4);
    int32_t C = QxAscii85Group(Src, N, Dest);
    Count -= N;
    Written += C;
    Result += C;
    Line += C;
    if (Line > 74) {
      *Dest++ = '\r';
      *Dest++ = '\n';
      Result += 2;
      Line = 0;
    }
  }
  *Dest++ = '~';
  *Dest++ = '>';
  *Dest++ = '\r';
  *Dest++ = '\n';
  return Result + 4;
}

// Every piece carries at least one input byte and costs at most twice its input; then the end byte.
int64_t QxRunLengthMaxLength(int64_t Len) { return 2 * Len + 1; }

int64_t QxRunLengthEncode(const uint8_t* Src, int64_t Len, uint8_t* Dest) {
  int64_t Out = 0;
  int64_t I = 0;
  while (I < Len) {
    int64_t Run = 1;
    while (I + Run < Len && Run < 128 && Src[I + Run] == Src[I]) ++Run;
    if (Run >= 2) {
      Dest[Out++] = static_cast<uint8_t>(257 - Run);
      Dest[Out++] = Src[I];
      I += Run;
      continue;
    }
    int64_t N = 1;
    while (I + N < Len && N < 128 && Src[I + N] != Src[I + N - 1]) ++N;
    Dest[Out++] = static_cast<uint8_t>(N - 1);
    std::memcpy(Dest + Out, Src + I, static_cast<size_t>(N));
    Out += N;
    I += N;
  }
  Dest[Out++] = 128;
  return Out;
}

namespace {
const char Base64Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

void QxBase64Group(const uint8_t* Src, char* Dest, int32_t Len) {
  uint8_t B0 = Src[0], B1 = Len > 1 ? Src[1] : 0, B2 = Len > 2 ? Src[2] : 0;
  Dest[0] = Base64Chars[B0 >> 2];
  Dest[1] = Base64Chars[((B0 & 3) << 4) | (B1 >> 4)];
  Dest[2] = Len < 2 ? '=' : Base64Chars[((B1 & 15) << 2) | (B2 >> 6)];
  Dest[3] = Len < 3 ? '=' : Base64Chars[B2 & 63];
}

void QxBase64EncodeStream(TStream* Stream, std::string& TextFile, int32_t LineLength) {
  int32_t PerLine = LineLength / 4;
  int32_t InLine = 0;
  uint8_t In[3];
  char Out[4];
  while (true) {
    int64_t N = Stream->Read(In, 3);
    if (N <= 0) break;
    for (int64_t I = N; I < 3; ++I) In[I] = 0;
    QxBase64Group(In, Out, static_cast<int32_t>(N));
    TextFile.append(Out, 4);
    if (PerLine > 0 && ++InLine == PerLine) {
      TextFile += "\r\n";
      InLine = 0;
    }
    if (N < 3) break;
  }
  if (InLine > 0) TextFile += "\r\n";
}

void QxFloatToFraction(int32_t& Num, int32_t& Den, double Value, double Accuracy) {
  if (std::isnan(Value)) {
    // No number: the empty fraction a reader takes as unknown rather than a value.
    Num = 0;
    Den = 0;
    return;
  }
  int32_t S = Value < 0 ? -1 : 1;
  double F = std::fabs(Value);
  if (F > 1e19 || F > 2147483647.0) {
    // Beyond what a 32-bit numerator holds.
    Num = S * (F > 1e19 ? 999999999 : INT32_MAX);
    Den = 1;
    return;
  }
  if (F == std::trunc(F)) {
    Num = S * static_cast<int32_t>(F);
    Den = 1;
    return;
  }
  if (F < 1e-19) {
    Num = S;
    Den = 999999999;
    return;
  }
  double X = F;
  double A = std::floor(X);
  int64_t QPrev = 0, Q = 1;
  int64_t N = static_cast<int64_t>(std::trunc(F * Q + 0.5));
  Num = static_cast<int32_t>(N);
  Den = 1;
  for (int Step = 0; Step < 64; ++Step) {
    if (std::fabs(F - double(Num) / Den) < Accuracy) break;
    double Rest = X - A;
    if (Rest == 0) break;
    X = 1 / Rest;
    A = std::floor(X);
    if (A > 2147483647.0) break;
    int64_t QNew = static_cast<int64_t>(A) * Q + QPrev;
    if (QNew > INT32_MAX) break;
    int64_t NNew = static_cast<int64_t>(std::trunc(F * double(QNew) + 0.5));
    if (NNew > INT32_MAX) break;
    QPrev = Q;
    Q = QNew;
    Num = static_cast<int32_t>(NNew);
    Den = static_cast<int32_t>(QNew);
    if (X == A) break;  // the remaining term is whole
  }
  Num *= S;
}

// ---- colour formulas ----

TQxCIELab QxRGBToCIELab(const TQxRGB& RGB) {
  auto Lin = [](uint8_t C8) {
    double C = C8 / 255.0;
    return C <= 0.04045 ? C / 12.92 : std::pow((C + 0.055) / 1.055, 2.4);
  };
  double R = Lin(RGB.r), G = Lin(RGB.g), B = Lin(RGB.b);
  double X = (0.412453 * R + 0.35758 * G + 0.180423 * B) / 0.95047;
  double Y = 0.212671 * R + 0.71516 * G + 0.072169 * B;
  double Z = (0.019334 * R + 0.119193 * G + 0.950227 * B) / 1.088883;
  auto Fn = [](double T) { return T > 0.008856 ? std::cbrt(T) : 7.787 * T + 16.0 / 116.0; };
  double L = Y <= 0.008856 ? 903.3 * Y : 116 * Fn(Y) - 16;
  double A = 500 * (Fn(X) - Fn(Y));
  double Bv = 200 * (Fn(Y) - Fn(Z));
  auto ToS8 = [](double V) { return static_cast<int8_t>(std::clamp<int64_t>(Trunc(V), -128, 127)); };
  TQxCIELab Lab;
  Lab.l = static_cast<uint8_t>(std::clamp<int64_t>(Trunc(L * 255 / 100), 0, 255));
  Lab.a = ToS8(A);
  Lab.b = ToS8(Bv);
  return Lab;
}

TQxRGB QxCIELabToRGB(const TQxCIELab& Lab) {
  double L = Lab.l * 100.0 / 255.0;
  double Fy = (L + 16) / 116;
  double Fx = Fy + Lab.a / 500.0;
  double Fz = Fy - Lab.b / 200.0;
  auto Inv = [](double F) {
    double F3 = F * F * F;
    return F3 > 0.008856 ? F3 : (F - 0.13793103448) / 7.787;
  };
  double X = Inv(Fx) * 0.95047, Y = Inv(Fy), Z = Inv(Fz) * 1.08883;
  double R = 3.2406 * X - 1.5372 * Y - 0.4986 * Z;
  double G = -0.9689 * X + 1.8758 * Y + 0.0415 * Z;
  double B = 0.0557 * X - 0.204 * Y + 1.057 * Z;
  auto Gam = [](double V) {
    V = V <= 0.0031308 ? 12.92 * V : 1.055 * std::pow(V, 1 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::clamp<int64_t>(Round(V * 255), 0, 255));
  };
  return TQxRGB{Gam(B), Gam(G), Gam(R)};
}

void QxYCbCrToRGB(TQxRGB& RGB, int32_t Y, int32_t Cb, int32_t Cr) {
  auto C = [](double V) { return static_cast<uint8_t>(std::clamp<int64_t>(Trunc(V), 0, 255)); };
  RGB.r = C(Y + 1.402 * (Cr - 128));
  RGB.g = C(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128));
  RGB.b = C(Y + 1.772 * (Cb - 128));
}

int64_t QxColorCount(int32_t BitsPerSample, int32_t SamplesPerPixel) {
  if (BitsPerSample < 0 || SamplesPerPixel < 0) return 0;
  int64_t Bits = int64_t(BitsPerSample) * SamplesPerPixel;
  if (Bits >= 63) return INT64_MAX;
  return int64_t(1) << Bits;
}

void QxSetGrayColorTable(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->PixelFormat() != TPixelFormat::pf8bit) return;
  std::vector<TRGBQuad> T(256);
  for (int I = 0; I < 256; ++I) T[I] = TRGBQuad{uint8_t(I), uint8_t(I), uint8_t(I), 0};
  Bitmap->SetColorTable(T);
}

bool QxIsGrayColorTable(TBitmap* Bitmap) {
  if (!Bitmap) return true;
  const std::vector<TRGBQuad>& T = Bitmap->ColorTable();
  for (size_t I = 0; I < T.size(); ++I)
    if (T[I].rgbRed != I || T[I].rgbGreen != I || T[I].rgbBlue != I) return false;
  return true;
}

void QxCopyColorTableToBitmap(TBitmap* Source, TQxBitmap* Dest) {
  if (!Source || !Dest || Source->PixelFormat() != TPixelFormat::pf8bit || Dest->PixelFormat() != TQxPixelFormat::qx8p)
    return;
  const std::vector<TRGBQuad>& T = Source->ColorTable();
  for (size_t I = 0; I < T.size() && I < 256; ++I)
    Dest->SetPaletteColor(static_cast<int32_t>(I), TQxRGB{T[I].rgbBlue, T[I].rgbGreen, T[I].rgbRed});
}

// ---- number text ----

long double QxParseFloat(const std::string& Text, long double Default) {
  long double V;
  if (TextToFloat(Text, V)) return V;
  std::string T = Text;
  size_t P = T.find(',');
  if (P != std::string::npos) {
    T[P] = '.';
  } else if ((P = T.find('.')) != std::string::npos) {
    T[P] = ',';
  }
  // Try the swapped text under both separators, so that "1.5" reads under a ',' locale.
  if (TextToFloat(T, V)) return V;
  char Saved = DecimalSeparator;
  DecimalSeparator = Saved == '.' ? ',' : '.';
  bool Ok = TextToFloat(Text, V);
  DecimalSeparator = Saved;
  return Ok ? V : Default;
}

char QxDecimalSeparator() { return DecimalSeparator; }

void QxFloatToDotText(std::string& Text, long double Value) {
  Text = FloatToStr(Value);
  for (char& C : Text)
    if (C == ',' || C == DecimalSeparator) C = '.';
}

void QxFormatFloatDot(std::string& Text, long double Value) { QxFloatToDotText(Text, Value); }

// ---- sorting ----

void QxSortIndexed(int32_t Count, const TQxCompareProc& Compare, const TQxExchangeProc& Exchange) {
  if (Count > 0) QxQuickSort(0, Count - 1, Compare, Exchange);
}

void QxQuickSort(int32_t Low, int32_t High, const TQxCompareProc& Compare, const TQxExchangeProc& Exchange) {
  while (Low < High) {
    int32_t I = Low, J = High;
    int32_t Pivot = Low + (High - Low) / 2;
    while (I <= J) {
      while (Compare(I, Pivot) < 0) ++I;
      while (Compare(J, Pivot) > 0) --J;
      if (I <= J) {
        if (I != J) {
          // The pivot element moves with the exchange.
          if (Pivot == I)
            Pivot = J;
          else if (Pivot == J)
            Pivot = I;
          Exchange(I, J);
        }
        ++I;
        --J;
      }
    }
    if (Low < J) QxQuickSort(Low, J, Compare, Exchange);
    Low = I;
  }
}

void QxCopyListItems(const TList* Source, TList* Dest) {
  if (!Source || !Dest) return;
  Dest->SetCount(Source->Count());
  for (int32_t I = 0; I < Source->Count(); ++I) Dest->SetItems(I, Source->Items(I));
}

// ---- strings and paths ----

std::string QxTrimText(const std::string& Text) { return Trim(Text); }
std::string QxUpperText(const std::string& Text) { return UpperCase(Text); }
std::string QxLowerText(const std::string& Text) { return LowerCase(Text); }
std::string QxIntToText(int64_t Value) { return IntToStr(Value); }
int32_t QxTextToIntDef(const std::string& Text, int32_t Default) { return StrToIntDef(Text, Default); }
std::string QxIntToHexText(uint64_t Value, int32_t Digits) { return IntToHex(Value, Digits); }
std::string QxCopyText(const std::string& Text, int32_t Index, int32_t Count) { return Copy(Text, Index, Count); }
int32_t QxTextPos(const std::string& SubText, const std::string& Text) { return Pos(SubText, Text); }

std::string QxFloatToTextF(long double Value, TQxFloatFormat Format, int32_t Precision, int32_t Digits) {
  return FloatToStrF(Value, static_cast<TFloatFormat>(Format), Precision, Digits);
}

namespace {
size_t LastSeparator(const std::string& FileName) { return FileName.find_last_of("/\\:"); }
}  // namespace

void QxLowerFileExt(const std::string& FileName, bool WithDot, std::string& Ext) {
  std::string Lower = LowerCase(FileName);
  size_t Sep = LastSeparator(Lower);
  size_t Dot = Lower.rfind('.');
  std::string R;
  if (Dot != std::string::npos && (Sep == std::string::npos || Dot > Sep)) R = Lower.substr(WithDot ? Dot : Dot + 1);
  Ext = R;
}

void QxGetFileExt(const std::string& FileName, bool WithDot, std::string& Ext) { QxLowerFileExt(FileName, WithDot, Ext); }

std::string QxLowerFileExtW(const std::string& FileName, bool WithDot) {
  std::string R;
  QxLowerFileExt(FileName, WithDot, R);
  return R;
}

std::string QxExtractFilePathW(const std::string& FileName) {
  size_t P = LastSeparator(FileName);
  return P == std::string::npos ? std::string() : FileName.substr(0, P + 1);
}

std::string QxExtractFileNameW(const std::string& FileName) {
  size_t P = LastSeparator(FileName);
  return P == std::string::npos ? FileName : FileName.substr(P + 1);
}

char* QxDupPChar(const char* P) {
  if (!P) return nullptr;
  size_t N = std::strlen(P) + 1;
  auto* R = static_cast<char*>(std::malloc(N));
  if (!R) throw EOutOfMemory("Out of memory");
  std::memcpy(R, P, N);
  return R;
}

char16_t* QxWideStrCopy(char16_t* Dest, const char16_t* Src) {
  char16_t* D = Dest;
  while ((*D++ = *Src++) != 0) {
  }
  return Dest;
}

int32_t QxURLKind(const std::string& Text) {
  if (StartsText("http://", Text)) return 1;
  if (StartsText("https://", Text)) return 2;
  if (StartsText("ftp://", Text)) return 3;
  return 0;
}

int32_t QxURLKindW(const std::string& Text) { return QxURLKind(Text); }

bool QxSameGUID(const void* A, const void* B) { return A && B && std::memcmp(A, B, 16) == 0; }

// ---- files ----

int64_t QxFileSizeByName(const std::string& FileName) { return FileSize64(FileName); }
bool QxFileExists(const std::string& FileName) { return FileExists(FileName); }
bool QxFileExistsW(const std::string& FileName) { return FileExists(FileName); }

namespace {
std::mutex GRandomLock;
std::mt19937& RandomEngine() {
  static std::mt19937 E{std::random_device{}()};
  return E;
}
}  // namespace

void QxSetRandomSeed(uint32_t Seed) {
  std::lock_guard<std::mutex> G(GRandomLock);
  RandomEngine().seed(Seed);
}

void QxUniqueTempFileName(const std::string& Prefix, const std::string& Folder, std::string& FileName) {
  do {
    uint32_t R;
    {
      std::lock_guard<std::mutex> G(GRandomLock);
      R = std::uniform_int_distribution<uint32_t>(0, 0x7FFFFFFE)(RandomEngine());
    }
    FileName = Folder + Prefix + "-" + IntToHex(R, 8) + ".tmp";
  } while (QxFileExists(FileName));
}

// ---- system ----

int32_t QxWindowsVersionOf(int32_t Platform, int32_t Major, int32_t Minor) {
  if (Platform == 1 && Major == 4) {
    if (Minor == 0) return 0;
    if (Minor == 10) return 1;
    if (Minor == 90) return 2;
  }
  if (Platform == 2) {
    if (Major == 4 && Minor == 0) return 3;
    if (Major == 5 && Minor == 0) return 4;
    if (Major == 5 && Minor == 1) return 5;
    if (Major == 5 && Minor == 2) return 6;
    if (Major == 6 && Minor == 0) return 7;
    if (Major == 6 && Minor == 1) return 8;
  }
  return 9;
}

int32_t QxWindowsVersion() { return 9; }

bool QxHasMMX() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}

bool QxIsRemoteSession() { return false; }

int64_t QxPhysicalMemory(bool Available) { return PhysicalMemory(Available); }

TQxCenterWindowProc QxCenterWindowHook = nullptr;

void QxCenterWindow(uintptr_t Handle) {
  if (QxCenterWindowHook) {
    QxCenterWindowHook(Handle);
    return;
  }
  TWinControl* W = FindControl(static_cast<HWND>(Handle));
  if (!W || !Screen) return;
  int32_t L = (Screen->Width() - W->Width()) / 2;
  int32_t T = (Screen->Height() - W->Height()) / 3;
  W->SetBounds(L, T, W->Width(), W->Height());
}

uintptr_t QxOwnerWindowHandle(TComponent* Component) {
  for (TComponent* C = Component; C; C = C->Owner())
    if (auto* W = dynamic_cast<TWinControl*>(C)) return W->HandleAllocated() ? static_cast<uintptr_t>(W->Handle()) : 0;
  return 0;
}

bool QxOpenClipboardRetry() {
  for (int I = 0; I < 10; ++I) {
    if (OpenClipboard(0)) return true;
    Sleep(20);
  }
  return false;
}

bool QxPrimaryMouseDown() { return GetKeyDown(GetSystemMetrics(SM_SWAPBUTTON) != 0 ? VK_RBUTTON : VK_LBUTTON); }

int32_t QxWideTextWidth(TCanvas* Canvas, const std::string& Text) { return Canvas ? Canvas->TextWidth(Text) : 0; }

int32_t QxWideTextHeight(TCanvas* Canvas, const std::string& Text) { return Canvas ? Canvas->TextHeight(Text) : 0; }
