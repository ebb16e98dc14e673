#include "imaging/codecs/codecs.h"

#include "imaging/codecs/raw/camera_raw.h"

#include <mutex>

void QxRegisterFurtherCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    // HD Photo joins the format registry only when available, and the registry is filled at first use.
    QxRegisterHdpCodec();
    QxRegisterLzwCoders();
    QxRegisterCCITTCoders();
    QxRegisterGifCodec();
    QxRegisterPcxCodecs();
    QxRegisterTgaCodec();
    QxRegisterPsdCodec();
    QxRegisterTiffCodec();
    QxRegisterJpeg2000Codec();
    QxRegisterDicomCodec();
    QxRegisterCameraRawCodec();
  });
}
