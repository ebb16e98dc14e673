#include "imaging/codecs/codecs.h"

#include <mutex>

void QxRegisterFurtherCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    QxRegisterLzwCoders();
    QxRegisterCCITTCoders();
    QxRegisterGifCodec();
    QxRegisterPcxCodecs();
    QxRegisterTgaCodec();
    QxRegisterPsdCodec();
    QxRegisterTiffCodec();
    QxRegisterJpeg2000Codec();
    QxRegisterDicomCodec();
  });
}
