#pragma once
// Small helpers shared by the fax-coder tests: bit strings, row images and a capturing stream.
#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/codecs/ccitt.h"
#include "platform/base/streams.h"

namespace ccitt_test {

// "0001 1 01" -> bytes, most significant bit first, spaces ignored, zero padded.
inline std::vector<uint8_t> BitsToBytes(const std::string& bits) {
  std::vector<uint8_t> out;
  int n = 0;
  for (char c : bits) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= uint8_t(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

inline int RowBytes(int width) { return (width + 7) / 8; }

inline bool Pixel(const std::vector<uint8_t>& row, int x) { return row[x >> 3] & (0x80 >> (x & 7)); }

// Bits past the width do not belong to the row.
inline std::vector<uint8_t> Masked(std::vector<uint8_t> row, int width) {
  if (width % 8) row[width / 8] &= uint8_t(0xFF << (8 - width % 8));
  return row;
}

inline std::vector<uint8_t> Complement(std::vector<uint8_t> row) {
  for (auto& b : row) b = uint8_t(~b);
  return row;
}

using TImage = std::vector<std::vector<uint8_t>>;  // rows in the encoder convention: 1 = black

// A picture with long runs, short runs, vertical edges that drift and rows that begin black.
inline TImage MakeImage(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  TImage img(height, std::vector<uint8_t>(RowBytes(width), 0));
  for (int y = 0; y < height; ++y) {
    auto& row = img[y];
    const int kind = int(rng() % 5);
    for (int x = 0; x < width; ++x) {
      bool black = false;
      switch (kind) {
        case 0: black = ((x + y) / 5) % 2; break;              // diagonal stripes: vertical modes
        case 1: black = rng() % 2; break;                      // noise: horizontal mode, short runs
        case 2: black = x >= width / 3 && x < width / 3 + y % 50; break;
        case 3: black = x % 3000 < 2700; break;                // runs past 2560
        default: black = (x % 17) < (y % 17); break;
      }
      if (black) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
  }
  return img;
}

// A memory stream that takes only Limit bytes.
class TShortStream : public TMemoryStream {
 public:
  explicit TShortStream(int64_t limit) : Limit(limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    const int64_t n = std::min<int64_t>(Count, std::max<int64_t>(Limit - Size(), 0));
    return n ? TMemoryStream::Write(Buffer, n) : 0;
  }

 private:
  int64_t Limit;
};

inline std::vector<uint8_t> Bytes(TMemoryStream& ms) {
  const auto* p = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(p, p + ms.Size());
}

enum class TScheme { MH, G3_1D, G3_2D, G4 };

// Encodes a picture as a whole strip, the carried bits flushed as the TIFF writer does.
inline std::vector<uint8_t> Encode(const TImage& img, int width, TScheme scheme, int fillOrder,
                                   std::atomic<bool>& aborting) {
  TMemoryStream ms;
  uint8_t pending = 0;
  int32_t bits = 0;
  void* ref = nullptr;
  for (const auto& row : img) {
    // Encoders may read up to 32-bit alignment; give them exactly that much.
    std::vector<uint8_t> padded(row);
    padded.resize(size_t((width + 31) / 32 * 4), 0xA5);
    switch (scheme) {
      case TScheme::MH: CCITTEncodeMH(padded.data(), width, &ms, aborting, fillOrder); break;
      case TScheme::G3_1D:
        CCITTEncodeMHRow(padded.data(), width, &ms, pending, bits, aborting, fillOrder);
        break;
      case TScheme::G3_2D:
        CCITTEncodeG3_2D(padded.data(), width, &ms, pending, bits, ref, aborting, fillOrder);
        break;
      case TScheme::G4: CCITTEncodeG4(padded.data(), width, &ms, pending, bits, ref, aborting, fillOrder); break;
    }
  }
  if (scheme == TScheme::G3_2D) CCITTEncodeG3_2D(nullptr, width, &ms, pending, bits, ref, aborting, fillOrder);
  if (scheme == TScheme::G4) CCITTEncodeG4(nullptr, width, &ms, pending, bits, ref, aborting, fillOrder);
  if (bits) ms.Write(&pending, 1);
  CCITTFreeRefRow(ref);
  return Bytes(ms);
}

// Decodes Height rows of a strip the way the TIFF reader walks it; rows come out 1 = white.
inline TImage Decode(const std::vector<uint8_t>& data, int width, int height, TScheme scheme, int fillOrder,
                     bool eolFill = false) {
  TImage out;
  std::vector<uint8_t> ref(RowBytes(width), 0xFF);
  int64_t pos = 0;
  int64_t offset = 0;
  for (int y = 0; y < height; ++y) {
    std::vector<uint8_t> row(RowBytes(width));  // exact size: an overrun shows under the sanitizer
    switch (scheme) {
      case TScheme::MH: {
        std::vector<uint8_t> rest(data.begin() + std::min<int64_t>(offset, data.size()), data.end());
        offset += CCITTDecodeMH(row.data(), rest.data(), int64_t(rest.size()), width, fillOrder);
        break;
      }
      case TScheme::G3_1D:
        pos = CCITTDecode1D(row.data(), data.data(), int64_t(data.size()), width, pos, fillOrder);
        break;
      case TScheme::G3_2D:
        pos = CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), width, ref.data(), pos, fillOrder, true);
        break;
      case TScheme::G4:
        pos = CCITTDecode2D(row.data(), data.data(), int64_t(data.size()), width, ref.data(), pos, fillOrder,
                            eolFill);
        break;
    }
    out.push_back(Masked(row, width));
  }
  return out;
}

}  // namespace ccitt_test
