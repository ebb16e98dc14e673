#pragma once
// Encoders, colour formulas, number text, byte order, sorting, string and path wrappers, temporary
// file names and system queries shared by the imaging library.
#include <cstdint>
#include <functional>
#include <string>

#include "imaging/foundation/types.h"
#include "platform/base/lists.h"
#include "platform/graphics/bitmap.h"

class TStream;
class TQxBitmap;
class TCanvas;
class TComponent;

// ---- encoders ------------------------------------------------------------------------------------
// Count (1..4) bytes as base-85 digits ("z" for four zero bytes); returns the characters written.
// Src and Dest advance past what was used and written.
int32_t QxAscii85Group(const uint8_t*& Src, int32_t Count, char*& Dest);
// The whole block with a CR LF after every line that passed 74 characters, then "~>" CR LF. Written
// grows by the group characters only; the result counts everything. Dest needs
// QxAscii85MaxLength(Count) bytes.
int64_t QxAscii85Encode(const uint8_t*& Src, int64_t Count, char*& Dest, int64_t& Written);
int64_t QxAscii85MaxLength(int64_t Count);
// PostScript RunLength; Dest needs QxRunLengthMaxLength(Len) bytes. Returns the bytes written.
int64_t QxRunLengthEncode(const uint8_t* Src, int64_t Len, uint8_t* Dest);
int64_t QxRunLengthMaxLength(int64_t Len);
// One group of up to 3 bytes as 4 characters.
void QxBase64Group(const uint8_t* Src, char* Dest, int32_t Len);
// From the stream's position to its end, LineLength/4 groups per line, each line ended by CR LF.
void QxBase64EncodeStream(TStream* Stream, std::string& TextFile, int32_t LineLength);
// Continued-fraction approximation of Value.
void QxFloatToFraction(int32_t& Num, int32_t& Den, double Value, double Accuracy);

// ---- colour formulas -----------------------------------------------------------------------------
TQxCIELab QxRGBToCIELab(const TQxRGB& RGB);
TQxRGB QxCIELabToRGB(const TQxCIELab& Lab);
void QxYCbCrToRGB(TQxRGB& RGB, int32_t Y, int32_t Cb, int32_t Cr);
// 2^(BitsPerSample x SamplesPerPixel) in 64 bits; exponents of 63 and more give INT64_MAX, negative
// inputs 0.
int64_t QxColorCount(int32_t BitsPerSample, int32_t SamplesPerPixel);
void QxSetGrayColorTable(TBitmap* Bitmap);
bool QxIsGrayColorTable(TBitmap* Bitmap);
void QxCopyColorTableToBitmap(TBitmap* Source, TQxBitmap* Dest);

// ---- number text ---------------------------------------------------------------------------------
// With the program's decimal separator, then with ',' and '.' swapped once; else Default.
long double QxParseFloat(const std::string& Text, long double Default);
char QxDecimalSeparator();
void QxFloatToDotText(std::string& Text, long double Value);
void QxFormatFloatDot(std::string& Text, long double Value);
inline int32_t QxIfInt(bool Condition, int32_t IfTrue, int32_t IfFalse) { return Condition ? IfTrue : IfFalse; }
inline int32_t QxIfInt2(bool Condition, int32_t IfTrue, int32_t IfFalse) { return Condition ? IfTrue : IfFalse; }
inline double QxIfDouble(bool Condition, double IfTrue, double IfFalse) { return Condition ? IfTrue : IfFalse; }

// ---- byte order and sorting ----------------------------------------------------------------------
inline uint32_t QxSwap16If(uint32_t Value, bool Swap) {
  return Swap ? ((Value & 0xFFFF0000u) | ((Value & 0xFF) << 8) | ((Value >> 8) & 0xFF)) : Value;
}
inline uint32_t QxSwap32If(uint32_t Value, bool Swap) {
  return Swap ? ((Value >> 24) | ((Value >> 8) & 0xFF00u) | ((Value << 8) & 0xFF0000u) | (Value << 24)) : Value;
}
using TQxCompareProc = std::function<int32_t(int32_t Index1, int32_t Index2)>;
using TQxExchangeProc = std::function<void(int32_t Index1, int32_t Index2)>;
void QxSortIndexed(int32_t Count, const TQxCompareProc& Compare, const TQxExchangeProc& Exchange);
void QxQuickSort(int32_t Low, int32_t High, const TQxCompareProc& Compare, const TQxExchangeProc& Exchange);
void QxCopyListItems(const TList* Source, TList* Dest);

// ---- strings and paths (UTF-8; both '/' and '\\' and ':' separate path parts) --------------------
std::string QxTrimText(const std::string& Text);
std::string QxUpperText(const std::string& Text);
std::string QxLowerText(const std::string& Text);
std::string QxIntToText(int64_t Value);
int32_t QxTextToIntDef(const std::string& Text, int32_t Default);
std::string QxIntToHexText(uint64_t Value, int32_t Digits);
std::string QxCopyText(const std::string& Text, int32_t Index, int32_t Count);
int32_t QxTextPos(const std::string& SubText, const std::string& Text);
enum class TQxFloatFormat : uint8_t { ffGeneral = 0, ffExponent = 1, ffFixed = 2, ffNumber = 3 };
std::string QxFloatToTextF(long double Value, TQxFloatFormat Format, int32_t Precision, int32_t Digits);
void QxLowerFileExt(const std::string& FileName, bool WithDot, std::string& Ext);
void QxGetFileExt(const std::string& FileName, bool WithDot, std::string& Ext);
std::string QxLowerFileExtW(const std::string& FileName, bool WithDot);
std::string QxExtractFilePathW(const std::string& FileName);
std::string QxExtractFileNameW(const std::string& FileName);
// Heap copy (free with std::free); nullptr for nullptr.
char* QxDupPChar(const char* P);
char16_t* QxWideStrCopy(char16_t* Dest, const char16_t* Src);
// 1 http://, 2 https://, 3 ftp://, else 0 (case ignored).
int32_t QxURLKind(const std::string& Text);
int32_t QxURLKindW(const std::string& Text);
bool QxSameGUID(const void* A, const void* B);

// ---- files ---------------------------------------------------------------------------------------
// Size in bytes (64-bit); -1 when the file cannot be examined.
int64_t QxFileSizeByName(const std::string& FileName);
bool QxFileExists(const std::string& FileName);
bool QxFileExistsW(const std::string& FileName);
// Folder + Prefix + "-" + 8 hex digits + ".tmp", drawn again while such a file exists.
void QxUniqueTempFileName(const std::string& Prefix, const std::string& Folder, std::string& FileName);
// Seeds the generator the temporary names are drawn from (tests make it repeat).
void QxSetRandomSeed(uint32_t Seed);

// ---- system --------------------------------------------------------------------------------------
// The Windows-version code of the library; this system is none of those it knows, so 9.
int32_t QxWindowsVersion();
// The same table on given numbers (platform 1: 9x family; 2: NT family).
int32_t QxWindowsVersionOf(int32_t Platform, int32_t Major, int32_t Minor);
bool QxHasMMX();
bool QxIsRemoteSession();
int64_t QxPhysicalMemory(bool Available);
// Window-centring hook; nullptr after start-up.
using TQxCenterWindowProc = void (*)(uintptr_t Handle);
extern TQxCenterWindowProc QxCenterWindowHook;
// Centres the window horizontally and at a third of the free height on the screen (or runs the hook).
void QxCenterWindow(uintptr_t Handle);
// The window handle of Component or of its nearest windowed owner; 0 when none has a window yet.
uintptr_t QxOwnerWindowHandle(TComponent* Component);
// Up to 10 attempts, 20 ms apart.
bool QxOpenClipboardRetry();
// The primary mouse button (the right one when the buttons are swapped) is held now.
bool QxPrimaryMouseDown();
int32_t QxWideTextWidth(TCanvas* Canvas, const std::string& Text);
int32_t QxWideTextHeight(TCanvas* Canvas, const std::string& Text);
