// Reading back what a test saved: a file's bytes, and the bytes without the lines that carry the time the
// file was written (PostScript and PDF), so that two saves can be compared.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

inline std::string ReadWholeFile(const std::filesystem::path& P) {
  std::string S;
  if (FILE* F = std::fopen(P.string().c_str(), "rb")) {
    char Buf[65536];
    for (size_t N; (N = std::fread(Buf, 1, sizeof Buf, F)) > 0;) S.append(Buf, N);
    std::fclose(F);
  }
  return S;
}

inline std::string WithoutDates(const std::string& Bytes) {
  std::string Out;
  size_t From = 0;
  while (From < Bytes.size()) {
    size_t End = Bytes.find('\n', From);
    End = End == std::string::npos ? Bytes.size() : End + 1;
    const std::string Line = Bytes.substr(From, End - From);
    if (Line.find("CreationDate") == std::string::npos) Out += Line;
    From = End;
  }
  return Out;
}
