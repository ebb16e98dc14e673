// Decodes arbitrary bytes as fax data of every kind, then checks that the decoded rows survive a round trip
// through each encoder.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/codecs/ccitt.h"
#include "platform/base/streams.h"

namespace {

using TImage = std::vector<std::vector<uint8_t>>;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Encodes rows given in the decoder convention (1 = white) and decodes them back.
void RoundTrip(const TImage& rows, int width, int scheme, int fillOrder) {
  const size_t rowBytes = size_t((width + 7) / 8);
  TMemoryStream ms;
  std::atomic<bool> aborting{false};
  uint8_t pending = 0;
  int32_t bits = 0;
  void* ref = nullptr;
  for (const auto& decoded : rows) {
    std::vector<uint8_t> row(rowBytes);
    for (size_t i = 0; i < rowBytes; ++i) row[i] = uint8_t(~decoded[i]);
    switch (scheme) {
      case 0: CCITTEncodeMH(row.data(), width, &ms, aborting, fillOrder); break;
      case 1: CCITTEncodeMHRow(row.data(), width, &ms, pending, bits, aborting, fillOrder); break;
      case 2: CCITTEncodeG3_2D(row.data(), width, &ms, pending, bits, ref, aborting, fillOrder); break;
      default: CCITTEncodeG4(row.data(), width, &ms, pending, bits, ref, aborting, fillOrder); break;
    }
  }
  if (scheme == 2) CCITTEncodeG3_2D(nullptr, width, &ms, pending, bits, ref, aborting, fillOrder);
  if (scheme == 3) CCITTEncodeG4(nullptr, width, &ms, pending, bits, ref, aborting, fillOrder);
  if (bits) ms.Write(&pending, 1);
  Check(!aborting && ref == nullptr);
  const std::vector<uint8_t> data(static_cast<const uint8_t*>(ms.Memory()),
                                  static_cast<const uint8_t*>(ms.Memory()) + ms.Size());
  std::vector<uint8_t> refRow(rowBytes, 0xFF);
  int64_t pos = 0, offset = 0;
  const uint8_t lastMask = uint8_t(0xFF << ((8 - width % 8) % 8));
  for (const auto& expected : rows) {
    std::vector<uint8_t> row(rowBytes);
    if (scheme == 0)
      offset += CCITTDecodeMH(row.data(), data.data() + offset, int64_t(data.size()) - offset, width, fillOrder);
    else if (scheme == 1)
      pos = CCITTDecode1D(row.data(), data.data(), int64_t(data.size()), width, pos, fillOrder);
    else
      pos = CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), width, refRow.data(), pos, fillOrder,
                          scheme == 2);
    for (size_t i = 0; i < rowBytes; ++i) {
      const uint8_t mask = i + 1 == rowBytes ? lastMask : 0xFF;
      Check(((row[i] ^ expected[i]) & mask) == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int width = 1 + ((data[0] | data[1] << 8) & 0x1FFF);
  const int fillOrder = data[2] & 1 ? 2 : 1;
  const int scheme = (data[2] >> 1) & 3;
  const bool eolFill = data[2] & 8;
  // An exact copy, so that any read past the end is caught.
  const std::vector<uint8_t> in(data + 3, data + size);
  const int64_t len = int64_t(in.size());
  const size_t rowBytes = size_t((width + 7) / 8);

  TImage rows;
  std::vector<uint8_t> ref(rowBytes, 0xFF);
  int64_t pos = 0, offset = 0;
  for (int y = 0; y < 64 && (scheme == 0 ? offset < len : pos < len * 8); ++y) {
    std::vector<uint8_t> row(rowBytes);
    int64_t next = pos;
    switch (scheme) {
      case 0: {
        const int32_t used = CCITTDecodeMH(row.data(), in.data() + offset, len - offset, width, fillOrder);
        Check(used >= 0 && used <= len - offset);
        offset += used;
        if (used == 0) y = 64;
        break;
      }
      case 1: next = CCITTDecode1D(row.data(), in.data(), len, width, pos, fillOrder); break;
      default:
        next = CCITTDecode2D(row.data(), in.data(), len, width, ref.data(), pos, fillOrder, scheme == 2 || eolFill);
        break;
    }
    if (scheme != 0) {
      Check(next > pos && next <= len * 8);
      pos = next;
    }
    rows.push_back(std::move(row));
  }
  if (!rows.empty()) RoundTrip(rows, width, data[2] >> 4 & 3, fillOrder);
  return 0;
}
