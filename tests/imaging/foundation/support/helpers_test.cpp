#include "imaging/foundation/helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <vector>

#include "platform/base/files.h"
#include "platform/base/streams.h"
#include "platform/base/strings.h"

namespace {
std::string Ascii85(const std::vector<uint8_t>& In, int64_t* WrittenOut = nullptr) {
  std::vector<char> Out(static_cast<size_t>(QxAscii85MaxLength(static_cast<int64_t>(In.size()))));
  const uint8_t* Src = In.data();
  char* Dest = Out.data();
  int64_t Written = 0;
  int64_t N = QxAscii85Encode(Src, static_cast<int64_t>(In.size()), Dest, Written);
  EXPECT_EQ(Dest - Out.data(), N);
  if (WrittenOut) *WrittenOut = Written;
  return std::string(Out.data(), static_cast<size_t>(N));
}

std::string Base64(const std::vector<uint8_t>& In, int32_t LineLength = 76) {
  TMemoryStream M;
  if (!In.empty()) M.WriteBuffer(In.data(), static_cast<int64_t>(In.size()));
  M.SetPosition(0);
  std::string Text;
  QxBase64EncodeStream(&M, Text, LineLength);
  return Text;
}

std::string RunLength(const std::string& In) {
  std::vector<uint8_t> Out(static_cast<size_t>(QxRunLengthMaxLength(static_cast<int64_t>(In.size()))));
  int64_t N = QxRunLengthEncode(reinterpret_cast<const uint8_t*>(In.data()), static_cast<int64_t>(In.size()), Out.data());
  return std::string(reinterpret_cast<char*>(Out.data()), static_cast<size_t>(N));
}

std::string Hex(const std::vector<uint8_t>& V) {
  std::string R;
  for (uint8_t B : V) R += Format("%02x", B);
  return R;
}

// Output of Python's standard library for Expr applied to the bytes; empty when Python is missing.
bool Python(const std::string& Expr, const std::vector<uint8_t>& Data, std::string& Out) {
  if (!FileExists("/usr/bin/python3")) return false;
  std::string Cmd = "/usr/bin/python3 -c \"import base64,sys; d=bytes.fromhex('" + Hex(Data) +
                    "'); sys.stdout.write(" + Expr + ")\"";
  FILE* P = ::popen(Cmd.c_str(), "r");
  if (!P) return false;
  Out.clear();
  char Buf[4096];
  size_t N;
  while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0) Out.append(Buf, N);
  return ::pclose(P) == 0;
}

std::string Strip(std::string S, const std::string& Drop) {
  std::string R;
  for (char C : S)
    if (Drop.find(C) == std::string::npos) R += C;
  return R;
}
}  // namespace

TEST(Encoders, Ascii85Edges) {
  int64_t Written = 0;
  EXPECT_EQ(Ascii85({0, 0, 0, 0}, &Written), "z~>\r\n");
  EXPECT_EQ(Written, 1);
  EXPECT_EQ(Ascii85({0}), "!!~>\r\n");
  EXPECT_EQ(Ascii85({'M', 'a', 'n', ' '}), "9jqo^~>\r\n");
  // Lines break once they pass 74 characters: after the 15th five-character group.
  std::vector<uint8_t> Long(80, 0xFF);
  std::string S = Ascii85(Long, &Written);
  EXPECT_EQ(S.find("\r\n"), 75u);
  EXPECT_EQ(Written, 100);
  EXPECT_EQ(static_cast<int64_t>(S.size()), 100 + 2 + 4);
}

TEST(Encoders, Ascii85AndBase64MatchPython) {
  std::mt19937 Rng(7);
  std::vector<std::vector<uint8_t>> Samples = {{}, {1}, {1, 2}, {0, 0, 0, 0, 1}, {255, 255, 255, 255}};
  for (size_t Len : {57u, 58u, 300u, 1001u}) {
    std::vector<uint8_t> V(Len);
    for (auto& B : V) B = static_cast<uint8_t>(Rng() % 4 == 0 ? 0 : Rng());
    Samples.push_back(V);
  }
  std::string Py;
  if (!Python("'ok'", {}, Py)) GTEST_SKIP() << "/usr/bin/python3 not available";
  for (const auto& D : Samples) {
    ASSERT_TRUE(Python("base64.a85encode(d).decode()", D, Py));
    std::string Ours = Ascii85(D);
    EXPECT_EQ(Ours.substr(Ours.size() - 4), "~>\r\n");
    EXPECT_EQ(Strip(Ours.substr(0, Ours.size() - 4), "\r\n"), Py) << D.size();
    ASSERT_TRUE(Python("base64.encodebytes(d).decode()", D, Py));
    EXPECT_EQ(Strip(Base64(D), "\r"), Py) << D.size();  // 76-character lines, as Python writes them
  }
}

TEST(Encoders, Base64Edges) {
  EXPECT_EQ(Base64({'a', 'b', 'c'}), "YWJj\r\n");
  EXPECT_EQ(Base64({'a', 'b'}), "YWI=\r\n");
  EXPECT_EQ(Base64({'a'}), "YQ==\r\n");
  EXPECT_EQ(Base64({}), "");
  EXPECT_EQ(Base64(std::vector<uint8_t>(6, 0), 4), "AAAA\r\nAAAA\r\n");
  char G[4];
  const uint8_t In[3] = {0xFB, 0xFF, 0xBF};
  QxBase64Group(In, G, 3);
  EXPECT_EQ(std::string(G, 4), "+/+/");
}

TEST(Encoders, RunLength) {
  EXPECT_EQ(RunLength("AAAB"), std::string("\xFE" "A" "\x00" "B" "\x80", 5));
  EXPECT_EQ(RunLength("ABCC"), std::string("\x02" "ABC" "\x00" "C" "\x80", 7));
  EXPECT_EQ(RunLength(""), "\x80");
  std::string R = RunLength(std::string(130, 'x'));  // 128 then 2
  EXPECT_EQ(R, std::string("\x81x\xFFx\x80"));
  std::string Lit;
  for (int I = 0; I < 130; ++I) Lit += static_cast<char>(I);
  R = RunLength(Lit);
  EXPECT_EQ(static_cast<uint8_t>(R[0]), 127);
  EXPECT_EQ(static_cast<uint8_t>(R[129]), 1);
  EXPECT_EQ(R.size(), 1u + 128 + 1 + 2 + 1);
}

TEST(Helpers, FloatToFraction) {
  struct Case { double V; int32_t Num, Den; };
  for (Case C : {Case{0.5, 1, 2}, {-3, -3, 1}, {0.75, 3, 4}, {1.0 / 3, 1, 3}, {-2.25, -9, 4}, {1e-20, 1, 999999999},
                 {1e20, 999999999, 1}, {72.0, 72, 1}}) {
    int32_t N, D;
    QxFloatToFraction(N, D, C.V, 1e-6);
    EXPECT_EQ(N, C.Num) << C.V;
    EXPECT_EQ(D, C.Den) << C.V;
  }
  int32_t N, D;
  QxFloatToFraction(N, D, 3.14159265358979, 1e-6);
  EXPECT_NEAR(double(N) / D, 3.14159265358979, 1e-6);
  // Not a number: the unknown fraction 0/0.
  QxFloatToFraction(N, D, std::nan(""), 1e-6);
  EXPECT_EQ(N, 0);
  EXPECT_EQ(D, 0);
}

TEST(Helpers, ColourFormulas) {
  TQxCIELab Black = QxRGBToCIELab(TQxRGB{0, 0, 0});
  EXPECT_EQ(Black.l, 0);
  EXPECT_EQ(Black.a, 0);
  EXPECT_EQ(Black.b, 0);
  EXPECT_EQ(QxCIELabToRGB(TQxCIELab{255, 0, 0}), (TQxRGB{255, 255, 255}));
  TQxCIELab White = QxRGBToCIELab(TQxRGB{255, 255, 255});
  EXPECT_GE(White.l, 254);
  TQxRGB C;
  QxYCbCrToRGB(C, 255, 128, 255);  // red far beyond range: clamped
  EXPECT_EQ(C.r, 255);
  QxYCbCrToRGB(C, 100, 128, 128);
  EXPECT_EQ(C, (TQxRGB{100, 100, 100}));
  EXPECT_EQ(QxColorCount(8, 3), 16777216);
  EXPECT_EQ(QxColorCount(16, 3), int64_t(1) << 48);  // would wrap in 32 bits
  EXPECT_EQ(QxColorCount(16, 4), INT64_MAX);
  EXPECT_EQ(QxColorCount(1, 1), 2);
}

TEST(Helpers, NumberText) {
  DecimalSeparator = ',';
  EXPECT_DOUBLE_EQ(static_cast<double>(QxParseFloat("1.5", 0)), 1.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(QxParseFloat("2,25", 0)), 2.25);
  std::string T;
  QxFloatToDotText(T, 2.5);
  EXPECT_EQ(T, "2.5");
  DecimalSeparator = '.';
  EXPECT_DOUBLE_EQ(static_cast<double>(QxParseFloat("1,5", 0)), 1.5);
  EXPECT_DOUBLE_EQ(static_cast<double>(QxParseFloat("x", 7)), 7);
  EXPECT_EQ(QxFloatToTextF(1.23456, TQxFloatFormat::ffFixed, 15, 2), "1.23");
}

TEST(Helpers, SortingStringsAndPaths) {
  std::vector<int> V = {5, 3, 9, 1, 5, 0, 7, 2, 8, 6, 4, 5};
  QxSortIndexed(static_cast<int32_t>(V.size()), [&](int32_t A, int32_t B) { return V[A] - V[B]; },
                [&](int32_t A, int32_t B) { std::swap(V[A], V[B]); });
  EXPECT_TRUE(std::is_sorted(V.begin(), V.end()));
  QxSortIndexed(0, nullptr, nullptr);

  std::string Ext;
  QxLowerFileExt("/Pics/Photo.JPEG", true, Ext);
  EXPECT_EQ(Ext, ".jpeg");
  QxLowerFileExt("/Pics.d/Photo", false, Ext);
  EXPECT_EQ(Ext, "");
  EXPECT_EQ(QxLowerFileExtW("a.PNG", false), "png");
  EXPECT_EQ(QxExtractFilePathW("C:\\dir\\x.png"), "C:\\dir\\");
  EXPECT_EQ(QxExtractFileNameW("/dir/x.png"), "x.png");
  EXPECT_EQ(QxURLKind("HTTPS://example.org/a.png"), 2);
  EXPECT_EQ(QxURLKind("ftp://x"), 3);
  EXPECT_EQ(QxURLKind("file:///x"), 0);
  EXPECT_EQ(QxWindowsVersionOf(2, 6, 2), 9);
  EXPECT_EQ(QxWindowsVersionOf(2, 5, 1), 5);
  EXPECT_EQ(QxWindowsVersionOf(1, 4, 90), 2);
  char* D = QxDupPChar("abc");
  EXPECT_STREQ(D, "abc");
  std::free(D);
  EXPECT_EQ(QxDupPChar(nullptr), nullptr);
  TList A, B;
  int X = 1, Y = 2;
  A.Add(&X);
  A.Add(&Y);
  QxCopyListItems(&A, &B);
  EXPECT_EQ(B.Items(1), &Y);
}

TEST(Helpers, FileSizeIsSixtyFourBit) {
  std::string Name = TempDirectory() + "qv_big_" + std::to_string(::getpid());
  int Fd = ::open(Name.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0600);
  ASSERT_GE(Fd, 0);
  bool Sized = ::ftruncate(Fd, int64_t(5) << 30) == 0;  // sparse: takes no space
  ::close(Fd);
  if (Sized) {
    EXPECT_EQ(QxFileSizeByName(Name), int64_t(5) << 30);
  }
  DeleteFile(Name);
  EXPECT_EQ(QxFileSizeByName(Name), -1);
  EXPECT_FALSE(QxFileExists(TempDirectory()));
}
