#include "platform/base/codepage.h"


namespace qv_codepage {
extern const uint16_t Cp1250[128];
extern const uint16_t Cp1251[128];
extern const uint16_t Cp1252[128];
extern const uint16_t Cp1253[128];
extern const uint16_t Cp1254[128];
}  // namespace qv_codepage

namespace {

const uint16_t* TableOf(uint32_t CodePage) {
  switch (CodePage) {
    case 1250: return qv_codepage::Cp1250;
    case 1251: return qv_codepage::Cp1251;
    case 1253: return qv_codepage::Cp1253;
    case 1254: return qv_codepage::Cp1254;
    default: return qv_codepage::Cp1252;
  }
}

void AppendUtf8(std::string& R, uint32_t C) {
  if (C < 0x80) {
    R += static_cast<char>(C);
  } else if (C < 0x800) {
    R += static_cast<char>(0xC0 | (C >> 6));
    R += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    R += static_cast<char>(0xE0 | (C >> 12));
    R += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    R += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    R += static_cast<char>(0xF0 | (C >> 18));
    R += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    R += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    R += static_cast<char>(0x80 | (C & 0x3F));
  }
}

constexpr uint32_t Invalid = 0xFFFFFFFFu;

// Decodes one code point at I (advancing I); Invalid for a broken sequence (I advances by one).
uint32_t NextUtf8(std::string_view S, size_t& I) {
  unsigned char B = static_cast<unsigned char>(S[I]);
  if (B < 0x80) {
    ++I;
    return B;
  }
  int N;
  uint32_t C, Min;
  if ((B & 0xE0) == 0xC0) {
    N = 1;
    C = B & 0x1F;
    Min = 0x80;
  } else if ((B & 0xF0) == 0xE0) {
    N = 2;
    C = B & 0x0F;
    Min = 0x800;
  } else if ((B & 0xF8) == 0xF0) {
    N = 3;
    C = B & 0x07;
    Min = 0x10000;
  } else {
    ++I;
    return Invalid;
  }
  if (I + static_cast<size_t>(N) >= S.size()) {
    ++I;
    return Invalid;
  }
  for (int K = 1; K <= N; ++K) {
    unsigned char X = static_cast<unsigned char>(S[I + static_cast<size_t>(K)]);
    if ((X & 0xC0) != 0x80) {
      ++I;
      return Invalid;
    }
    C = (C << 6) | (X & 0x3F);
  }
  if (C < Min || C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF)) {
    ++I;
    return Invalid;
  }
  I += static_cast<size_t>(N) + 1;
  return C;
}

}  // namespace

bool IsSupportedCodePage(uint32_t CodePage) { return CodePage >= 1250 && CodePage <= 1254; }

std::string CodePageToUtf8(std::string_view Text, uint32_t CodePage) {
  const uint16_t* T = TableOf(CodePage);
  std::string R;
  R.reserve(Text.size());
  for (char Ch : Text) {
    unsigned char B = static_cast<unsigned char>(Ch);
    AppendUtf8(R, B < 0x80 ? B : T[B - 0x80]);
  }
  return R;
}

std::string Utf8ToCodePage(std::string_view Text, uint32_t CodePage, char Replacement) {
  const uint16_t* T = TableOf(CodePage);
  std::string R;
  R.reserve(Text.size());
  size_t I = 0;
  while (I < Text.size()) {
    uint32_t C = NextUtf8(Text, I);
    if (C < 0x80) {
      R += static_cast<char>(C);
      continue;
    }
    char Out = Replacement;
    if (C != Invalid && C < 0x10000)
      for (int K = 0; K < 128; ++K)
        if (T[K] == C) {
          Out = static_cast<char>(0x80 + K);
          break;
        }
    R += Out;
  }
  return R;
}

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string R;
  R.reserve(Text.size());
  size_t I = 0;
  while (I < Text.size()) {
    uint32_t C = NextUtf8(Text, I);
    if (C == Invalid) C = 0xFFFD;
    if (C >= 0x10000) {
      C -= 0x10000;
      R += static_cast<char16_t>(0xD800 | (C >> 10));
      R += static_cast<char16_t>(0xDC00 | (C & 0x3FF));
    } else {
      R += static_cast<char16_t>(C);
    }
  }
  return R;
}

std::string Utf16ToUtf8(std::u16string_view Text) {
  std::string R;
  R.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    uint32_t C = Text[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[I + 1] - 0xDC00u);
      ++I;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = 0xFFFD;
    }
    AppendUtf8(R, C);
  }
  return R;
}

std::string Utf16BytesToUtf8(const void* Data, size_t ByteCount, bool BigEndian) {
  const auto* P = static_cast<const unsigned char*>(Data);
  std::u16string W;
  W.reserve(ByteCount / 2);
  for (size_t I = 0; I + 1 < ByteCount; I += 2)
    W += static_cast<char16_t>(BigEndian ? (P[I] << 8) | P[I + 1] : P[I] | (P[I + 1] << 8));
  return Utf16ToUtf8(W);
}

bool IsValidUtf8(std::string_view Text) {
  size_t I = 0;
  while (I < Text.size())
    if (NextUtf8(Text, I) == Invalid) return false;
  return true;
}
