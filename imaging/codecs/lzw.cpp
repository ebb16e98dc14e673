#include "imaging/codecs/lzw.h"

#include "imaging/codecs/codecs.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/io_init.h"
#include "imaging/io/params.h"
#include "platform/base/streams.h"

void GifLzwDecode(TStream*, int32_t, int32_t, bool, uint8_t*) {}
void GifLzwEncode(TStream*, int32_t, int32_t, bool, const uint8_t*, int32_t) {}
uint8_t* TiffLzwDecode(const uint8_t*, int32_t, void*& State, int32_t, int64_t) {
  State = nullptr;
  return nullptr;
}
void TiffLzwEncode(const uint8_t*, int32_t, TStream*, void*& State) { State = nullptr; }

namespace {
template <class Proc>
Proc Pick(TQxLzwHook Own, TQxLzwHook Global) {
  // The I/O unit stores every coder under one untyped shape; this unit knows the real one.
  return reinterpret_cast<Proc>(Own ? Own : Global);
}
}  // namespace

TQxGifLzwDecodeProc QxGifLzwDecoder(const TIOParamsVals& P) {
  return Pick<TQxGifLzwDecodeProc>(P.GifLzwDecompress, QxGifLzwDecodeHook);
}
TQxGifLzwEncodeProc QxGifLzwEncoder(const TIOParamsVals& P) {
  return Pick<TQxGifLzwEncodeProc>(P.GifLzwCompress, QxGifLzwEncodeHook);
}
TQxTiffLzwDecodeProc QxTiffLzwDecoder(const TIOParamsVals& P) {
  return Pick<TQxTiffLzwDecodeProc>(P.TiffLzwDecompress, QxTiffLzwDecodeHook);
}
TQxTiffLzwEncodeProc QxTiffLzwEncoder(const TIOParamsVals& P) {
  return Pick<TQxTiffLzwEncodeProc>(P.TiffLzwCompress, QxTiffLzwEncodeHook);
}

void QxRegisterLzwCoders() {
  QxGifLzwDecodeHook = reinterpret_cast<TQxLzwHook>(&GifLzwDecode);
  QxGifLzwEncodeHook = reinterpret_cast<TQxLzwHook>(&GifLzwEncode);
  QxTiffLzwDecodeHook = reinterpret_cast<TQxLzwHook>(&TiffLzwDecode);
  QxTiffLzwEncodeHook = reinterpret_cast<TQxLzwHook>(&TiffLzwEncode);
  QxUpdateGifFormatCapability();
}
