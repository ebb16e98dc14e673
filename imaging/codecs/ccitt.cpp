#include "imaging/codecs/ccitt.h"

void CCITTInitTables() {}
void CCITTFreeTables() {}
int32_t CCITTDecodeMH(uint8_t*, const uint8_t*, int64_t, int32_t, int32_t) { return 0; }
int64_t CCITTDecode1D(uint8_t*, const uint8_t*, int64_t, int32_t, int64_t BitPos, int32_t) { return BitPos; }
int64_t CCITTDecode2D(uint8_t*, const uint8_t*, int64_t, int32_t, uint8_t*, int64_t BitPos, int32_t, bool) {
  return BitPos;
}
void CCITTEncodeMH(const uint8_t*, int32_t, TStream*, std::atomic<bool>& Aborting, int32_t) { Aborting = true; }
void CCITTEncodeMHRow(const uint8_t*, int32_t, TStream*, uint8_t&, int32_t&, std::atomic<bool>& Aborting,
                      int32_t) {
  Aborting = true;
}
void CCITTEncodeG3_2D(const uint8_t*, int32_t, TStream*, uint8_t&, int32_t&, void*&, std::atomic<bool>& Aborting,
                      int32_t) {
  Aborting = true;
}
void CCITTEncodeG4(const uint8_t*, int32_t, TStream*, uint8_t&, int32_t&, void*&, std::atomic<bool>& Aborting,
                   int32_t) {
  Aborting = true;
}
void CCITTFreeRefRow(void*& RefRow) { RefRow = nullptr; }
void QxRegisterCCITTCoders() {}
