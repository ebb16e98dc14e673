#pragma once
// The further codecs plug into the I/O component through QxCodecServices (imaging/foundation/services.h).
// Each unit fills the entries of its formats; QxRegisterFurtherCodecs fills them all. The program calls it
// once at start-up, before the first load or save; tests call the one they need.

void QxRegisterFurtherCodecs();

void QxRegisterLzwCoders();    // lzw.cpp: the GIF and TIFF LZW coder hooks
void QxRegisterGifCodec();     // gif.cpp
void QxRegisterPcxCodecs();    // pcx.cpp: PCX and DCX
void QxRegisterTgaCodec();     // tga.cpp
void QxRegisterPsdCodec();     // psd.cpp
void QxRegisterTiffCodec();    // tiff*.cpp
void QxRegisterCCITTCoders();  // ccitt.cpp
void QxRegisterJpeg2000Codec();  // jpeg2000.cpp
void QxRegisterDicomCodec();     // dicom*.cpp
void QxRegisterHdpCodec();       // hdp*.cpp; before the format registry is first used
