// Drives the read-ahead reader with reads and seeks chosen by the input and checks every answer against
// a plain memory stream over the same bytes. Also feeds the input to the length-prefixed string reader.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/foundation/qx_streams.h"

namespace {
[[noreturn]] void Mismatch() { __builtin_trap(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 4) return 0;
  // Header: buffer size, start position, relative flag; then the operations; the whole input is the data.
  int32_t BufSize = 1 + (Data[0] | (Data[1] << 8)) % 300;
  int64_t Start = static_cast<int64_t>(Data[2]) % static_cast<int64_t>(Size);
  bool Relative = Data[3] & 1;

  TQxMemStream Src(Data, static_cast<int64_t>(Size));
  Src.SetPosition(Start);
  TQxBufferedReadStream B(&Src, BufSize, Relative);
  const int64_t Base = Relative ? Start : 0;
  const int64_t Length = static_cast<int64_t>(Size) - Base;
  int64_t Pos = Start - Base;  // the oracle's logical position
  if (B.Size() != Length || B.Position() != Pos) Mismatch();

  std::vector<uint8_t> Got(512);
  for (size_t I = 4; I + 1 < Size && I < 4 + 2 * 64; I += 2) {
    uint8_t Op = Data[I], Arg = Data[I + 1];
    switch (Op % 4) {
      case 0: {  // block read
        int64_t Want = Arg * 2;
        int64_t N = B.Read(Got.data(), Want);
        int64_t Expect = std::max<int64_t>(0, std::min(Want, Length - Pos));
        if (N != Expect || (N > 0 && std::memcmp(Got.data(), Data + Base + Pos, static_cast<size_t>(N)) != 0))
          Mismatch();
        Pos += N;
        break;
      }
      case 1: {  // byte reads
        for (int K = 0; K < Arg % 16; ++K) {
          uint8_t X;
          bool Ok = B.ReadByte(X);
          if (Ok != (Pos < Length) || (Ok && X != Data[Base + Pos])) Mismatch();
          if (Ok) ++Pos;
        }
        break;
      }
      case 2: {  // seek from the beginning or the current position
        int64_t Off = static_cast<int8_t>(Arg) * 3;
        bool FromStart = Op & 4;
        int64_t Target = FromStart ? Off : Pos + Off;
        Target = std::max<int64_t>(0, std::min(Target, Length));
        if (B.Seek(Off, FromStart ? TSeekOrigin::soBeginning : TSeekOrigin::soCurrent) != Target) Mismatch();
        Pos = Target;
        break;
      }
      default: {  // seek from the end
        int64_t Target = std::max<int64_t>(0, Length - Arg);
        if (B.Seek(Arg, TSeekOrigin::soEnd) != Target) Mismatch();
        Pos = Target;
        break;
      }
    }
    if (B.Position() != Pos) Mismatch();
  }

  TQxMemStream Strings(Data, static_cast<int64_t>(Size));
  std::string S;
  while (QxReadAnsiString(&Strings, S)) {
    if (S.size() > Size) Mismatch();
  }
  return 0;
}
