#include "imaging/io/io_init.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <mutex>

#include "imaging/foundation/pixel_convert.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/temp_storage.h"
#include "imaging/io/cmyk.h"
#include "imaging/io/file_formats.h"
#include "imaging/io/quillot_io.h"
#include "imaging/foundation/kernels/quantizer.h"

TQxLzwHook QxGifLzwDecodeHook = nullptr;
TQxLzwHook QxGifLzwEncodeHook = nullptr;
TQxLzwHook QxTiffLzwDecodeHook = nullptr;
TQxLzwHook QxTiffLzwEncodeHook = nullptr;
bool QxUseFileExists = false;

std::string QxTwainLogFile;
std::string QxDebugLogFile;
bool QxBufferedReadRelative = false;
int32_t QxMetafileMaxSize = 8000;
bool QxAviInitialized = false;

void QxIOInitialize() {
  QxUseFileExists = false;
  // The LZW coders are plugged in by the further codecs when they start; until then there are none.
  QxTempFolder.clear();
  QxInitFileFormats();
  QxAviInitialized = false;
  QxTwainLogFile.clear();
  QxQuantizerMethod = -1;
  QxQuantizerSampling = -1;
  QxBufferedReadRelative = false;
  QxMetafileMaxSize = 8000;
  // Every CMYK pixel of the bitmap model goes through the I/O unit's conversion (profile or arithmetic).
  QxCMYKToRGBHook = &QxCMYK2RGB;
  QxRGBToCMYKHook = &QxRGB2CMYK;
}

void QxIOFinalize() {
  QxFreeFileFormats();
  QxFreeCMYKProfiles();
  QxFreeIOPlugins();
  QxAviInitialized = false;
}

void QxDebugLog(const std::string& Msg) {
  if (QxDebugLogFile.empty()) return;
  static std::mutex lock;
  std::lock_guard<std::mutex> l(lock);
  std::ofstream f(QxDebugLogFile, std::ios::app);
  if (!f) throw Exception("I/O error writing " + QxDebugLogFile);
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &t);
  f << buf << " : " << Msg << "\n";
  f.flush();
}

namespace {
// The I/O unit takes its place in the library start-up.
struct TQxIORegistrar {
  TQxIORegistrar() { QxRegisterStartStep(TQxStartStep::qxsIO, &QxIOInitialize, &QxIOFinalize); }
} QxIORegistrar;
}  // namespace
